// Pedestrians on a small road net: the pavement lane, the corners of a bend
// and of a crossing with signals, waiting at the kerb and crossing.
#include "game/cardriver_support.h"

#include "tests/game/bystander_support.h"

#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/Allocator.h"
#include "game/GameFEnt.h"

namespace {

using namespace drivetest;
using B = Bystander;

class PedStreets : public DriverWorld
{
protected:
    // A crossing at (128, 128) with signals, or a bend there (two roads).
    void Net(bool bend)
    {
        tools::CityDescription c;
        tools::AddSampleRoadKinds(c);
        const int k = tools::kRoadStreet;
        if (bend) {
            const int j = AddJunction(c, 128, 128, 12.0f, 0);
            c.AddSegment(AddJunction(c, 68, 128, 0, 1), j, 1, k);
            c.AddSegment(j, AddJunction(c, 128, 188, 0, 1), 4, k);
            c.SortSlots();
        } else {
            AddCrossing(c, 2, k, k, 60.0f, 14.0f);   // timed lights
        }
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
        scene = std::make_unique<enemyrig::Scene>();
        pedrig::AddPedGroups(*scene);
        // The junction at (128, 128), from a road that meets it.
        GHCache cache{};
        world.GroundHeight(VectorPos(100.0f, -0.5f, 128.0f), nullptr, &cache);
        J = nullptr;
        if (cache.prs != nullptr)
            for (Junction* j : cache.prs->jtn)
                if (j != nullptr && std::fabs(j->pos[0] - 128.0f) < 0.01f && std::fabs(j->pos[2] - 128.0f) < 0.01f)
                    J = j;
    }
    void TearDown() override
    {
        if (scene != nullptr) {
            world.Clear();
            pedrig::RemovePedGroups();
            scene.reset();
        }
        DriverWorld::TearDown();
    }
    // A point of a corner pavement of the junction and its ground cache.
    bool Corner(VectorPos* at, GHCache* cache, int wanted = -1)
    {
        for (float r = 8.0f; r < 16.0f; r += 0.25f)
            for (int a = 0; a < 144; a++) {
                const float ang = 6.2831853f * float(a) / 144.0f;
                const VectorPos p(128.0f + r * std::cos(ang), -1.0f, 128.0f + r * std::sin(ang));
                GHCache c{};
                world.GroundHeight(p, nullptr, &c);
                const GROUNDTYPE g = GetGroundType(c);
                if (c.pjunc == J && g >= GroundType_OnCornerSidewalk_LL && g <= GroundType_OnCornerSidewalk_UL &&
                    (wanted < 0 || (c.GetIndex() & 0x7FFF) == wanted)) {
                    *at = p;
                    *cache = c;
                    return true;
                }
            }
        return false;
    }
    // A walker just stepped from the road lastrs onto the corner at p.
    void StepOntoCorner(B* b, VectorPos p, const GHCache& c, const RoadSeg* from)
    {
        b->mat.SetTrans(p);
        b->ghc = c;
        b->area = B::Area_Intersection;
        b->prevarea = B::Area_Road;
        b->newarea = true;
        b->loctype = GetGroundType(c);
        b->lastrs = const_cast<RoadSeg*>(from);
        b->lastjunc = J;
        b->action = B::Action_WalkOnSidewalk;
    }

    // Of 60 walkers stepping from a road onto a corner, how many go to the
    // kerb (the others walk round the corner).
    int ToTheKerb(bool bend)
    {
        Net(bend);
        if (J == nullptr || J->nRoadsegs != (bend ? 2 : 4))
            return -1;
        VectorPos p;
        GHCache c{};
        if (!Corner(&p, &c)) {
            // A bend answers its pavements as its roads' own: the corner is
            // named by hand (corner 0, just inside the kerb's middle).
            const Vector k = J->Kerb(0).Evaluate(0.5f);
            p = VectorPos(k[0], k[1], k[2]);
            c.pjunc = J;
            c.SetIndex(GHC_LEFTPAVEMENT);
        }
        B* b = pedrig::MakePed(64, p);
        int kerb = 0, corner = 0;
        for (int i = 0; i < 60; i++) {
            StepOntoCorner(b, p, c, J->roadsegs[(c.GetIndex() & 0x7FFF) % J->nRoadsegs]);
            EXPECT_TRUE(b->ChooseNewStreetPath());
            kerb += b->action == B::Action_WalkToKerb;
            corner += b->action == B::Action_ExitCorner;
        }
        EXPECT_EQ(kerb + corner, 60);
        return kerb;
    }

    std::unique_ptr<enemyrig::Scene> scene;
    Junction* J = nullptr;
};

TEST_F(PedStreets, ABendAlwaysTakesTheWalkerRoundTheCorner) { EXPECT_EQ(ToTheKerb(true), 0); }

TEST_F(PedStreets, ACrossingSendsTwoWalkersInThreeToTheKerb)
{
    const int kerb = ToTheKerb(false);
    EXPECT_GT(kerb, 28);
    EXPECT_LT(kerb, 52);
}

TEST_F(PedStreets, AtTheKerbItSetsOffWithItsWalkInTheFrameTheLightsAllowAndTheScaredRunAtOnce)
{
    Net(false);
    ASSERT_NE(J, nullptr);
    VectorPos p;
    GHCache c;
    ASSERT_TRUE(Corner(&p, &c));
    const int n = J->nRoadsegs;
    const int K = (c.GetIndex() & 0x7FFF) % n, P = K == 0 ? n - 1 : K - 1;
    B* b = pedrig::MakePed(64, p);
    b->ghc = c;
    b->GetIntersectionPaths(J);
    auto safe = [&](int cross, int side, int t) {
        return J->GetSignalCommand(*J->roadsegs[cross], t) == 12 || J->GetSignalCommand(*J->roadsegs[side], t) == 1;
    };
    // A time when the crossing of road K may not be taken.
    int t0 = -1;
    for (int t = 0; t < 4800 && t0 < 0; t++)
        if (!safe(K, P, t))
            t0 = t;
    ASSERT_GE(t0, 0);

    // Waiting at the kerb: it re-tests every frame and sets off walking in
    // the first frame the signals allow.
    b->crossnum = K;
    b->sidecrossnum = P;
    b->path = b->crosswalk[K];
    b->endpath = false;
    b->action = B::Action_WaitForLight;
    b->SetAnim(IDLE_ANI);
    int waited = 0;
    bool crossed = false;
    for (int t = t0; t < t0 + 4800 && !crossed; t++) {
        world.time = t;
        b->mat.SetTrans(p);
        b->WalkThePath();
        if (safe(K, P, t)) {
            EXPECT_EQ(b->action, B::Action_CrossStreet);
            EXPECT_EQ(b->mode2, WALK_ANI);
            crossed = true;
        } else {
            ASSERT_EQ(b->action, B::Action_WaitForLight);
            ASSERT_EQ(b->mode2, IDLE_ANI);
            waited++;
        }
    }
    EXPECT_TRUE(crossed);
    EXPECT_GT(waited, 0);

    // At the middle of the corner: a calm walker crosses the road it picked
    // only when the lights allow (walking), else waits; a scared one runs
    // across at once in its running gait.
    for (int i = 0; i < 40; i++) {
        world.time = t0 + 37 * i;
        for (B::ThoughtType th : {B::Thought_None, B::Thought_Scared}) {
            b->SetThought(th, nullptr, VectorPos(0.0f, 0.0f, 0.0f), 600.0f);
            b->SetAnim(RUN_ANI);
            b->mat.SetTrans(p);
            b->ghc = c;
            b->area = B::Area_Intersection;
            b->loctype = GetGroundType(c);
            b->action = B::Action_WalkToKerb;
            EXPECT_TRUE(b->ChooseNewStreetPath());
            EXPECT_EQ(b->lastkerbnum, K);
            EXPECT_TRUE((b->crossnum == K && b->sidecrossnum == P) || (b->crossnum == P && b->sidecrossnum == K));
            if (th == B::Thought_Scared) {
                EXPECT_EQ(b->action, B::Action_CrossStreet);
                EXPECT_EQ(b->mode2, RUN_ANI);
            } else if (safe(b->crossnum, b->sidecrossnum, world.time)) {
                EXPECT_EQ(b->action, B::Action_CrossStreet);
                EXPECT_EQ(b->mode2, WALK_ANI);
            } else {
                EXPECT_EQ(b->action, B::Action_WaitForLight);
                EXPECT_EQ(b->mode2, IDLE_ANI);
            }
        }
    }
}

TEST_F(PedStreets, AWalkerKeepsToItsPavementLane)
{
    Net(false);
    ASSERT_NE(J, nullptr);
    // On Mill Street's pavement west of the crossing, facing east.
    GHCache c{};
    world.GroundHeight(VectorPos(100.0f, -0.5f, 128.0f), nullptr, &c);
    ASSERT_NE(c.prs, nullptr);
    B* b = pedrig::MakePed(64, VectorPos(100.0f, -1.0f, 128.0f));
    b->GetRoadPaths(c.prs);
    const Bezier lane = b->sidewalk[2];
    const Vector start = lane.Evaluate(0.3f);
    b->mat = LookAlong(VectorDir(1.0f, 0.0f, 0.0f));
    b->mat.SetTrans(VectorPos(start[0], start[1], start[2]));
    b->fScale = 1.0f;
    b->iLastDrawnTime = world.time;
    const float x0 = start[0];
    float worst = 0.0f;
    for (int f = 0; f < 240; f++) {
        world.time++;
        b->iLastDrawnTime = world.time;
        b->SendMessage(OM_FRAME, nullptr);
        ASSERT_FALSE(b->IsDead());
        VectorDir dir;
        const VectorXYZ at = c.prs->bezier.CalcParams(b->mat.GetTrans(), dir);
        if (f > 60)
            worst = std::max(worst, std::fabs(std::fabs(at[0]) - std::fabs(b->rightsideleftlane)));
    }
    // It walked east along the lane, within a stride of it.
    EXPECT_GT(b->mat.GetTrans()[0] - x0, 2.0f);
    EXPECT_LT(worst, 0.3f);
    EXPECT_EQ(b->action, B::Action_WalkOnSidewalk);
}

TEST_F(PedStreets, AThrownBodyFallsUntilItMeetsTheGroundThenRollsOrLies)
{
    Net(false);
    for (u16 thrown : {KNOCKED_AWAY_ANI, KNOCKED_UP_ANI}) {
        B* b = pedrig::MakePed(64, VectorPos(100.0f, -1.0f, 126.0f));
        const float ground = world.GroundHeight(VectorPos(100.0f, -1.5f, 126.0f), nullptr, nullptr);
        ASSERT_LT(ground, 0.0f);
        b->fScale = 1.0f;
        b->mat.SetTrans(VectorPos(100.0f, ground - 1.0f, 126.0f));   // a unit up in the air
        b->SetAnim(thrown);
        b->hitvel = VectorDir(0.01f, -0.02f, 0.0f);
        b->SendMessage(OM_FRAME, nullptr);
        EXPECT_FLOAT_EQ(b->hitvel[1], -0.02f + 0.000851562f);
        int frames = 1;
        while (b->mode2 == thrown && frames < 400) {
            world.time++;
            b->SendMessage(OM_FRAME, nullptr);
            frames++;
        }
        EXPECT_GT(frames, 20);
        EXPECT_EQ(b->mode2, thrown == KNOCKED_AWAY_ANI ? ROLL_ANI : LYING_DOWN_ANI);
        EXPECT_EQ(b->hitvel.LengthSq(), 0.0f);
        EXPECT_FLOAT_EQ(b->mat.GetTrans()[1], ground);
        b->Delete();
    }
}

TEST_F(PedStreets, BothPopulationsFillTheStreetsWithinTheirCapsAndGoWithoutATrace)
{
    Net(false);
    ASSERT_NE(J, nullptr);
    // The five ambient pedestrian slots hold the shooters' figure, car slot
    // 1 the sample sedan.
    for (int slot = 80; slot <= 84; slot++) {
        MdlFileInfo& m = g_GlobalMFI.rgmfi[slot];
        m = g_GlobalMFI.rgmfi[enemyrig::kEnemySlot];
        m.i16Id = s16(0x100 | (94 + slot - 80));
        m.i16Extra = 10;
        m.i16Flags = 0;
    }
    std::string error;
    std::vector<u8> model;
    ASSERT_TRUE(tools::WriteP2B(tools::SampleVehicleFile(0), model, error)) << error;
    void* block = scene->rig.Block(model);
    static Texture shared[tools::kVehicleSharedTextures]{};
    MdlFileInfo& carslot = g_GlobalMFI.rgmfi[1];
    const MdlFileInfo savedCar = carslot;
    carslot.smf.SetBuffer(block);
    ASSERT_TRUE(carslot.smf.Init(u32(model.size()), shared, tools::kVehicleSharedTextures));
    carslot.i16Id = 0;
    carslot.i16Extra = 10;
    carslot.i16Flags = 0;
    carslot.i16Mirror = -1;

    GameController* gc = g_pgcTest;
    gc->mode = 0;
    const Matrix cam = LookatMatrix(VectorPos(100, -1.5f, 120), VectorPos(128, -1.5f, 128));
    rc.view_world = cam;
    rc.world_view = cam.Inverse();
    scene->player->mat = TransMatrix(100.0f, -1.0f, 120.0f);
    // Levels in a row: once the pools have grown, each gives back all it
    // took.
    unsigned freeAfter[3] = {};
    for (int level = 0; level < 3; level++) {
        gc->iNumPeds = gc->iNumVehs = 0;
        gc->pps = {nullptr, 0};
        gc->pvs = {nullptr, 0};
        gc->pPedGenCont = CreateRSPedGens(80, 8, 5, 100);
        gc->pVehGenCont = CreateRSVehGens(1, 14, 5, 100);
        int most = 0, mostCars = 0;
        for (int f = 0; f < 900; f++) {
            world.Update();
            most = std::max(most, gc->iNumPeds);
            mostCars = std::max(mostCars, gc->iNumVehs);
            ASSERT_LE(gc->iNumPeds, 10);
            ASSERT_LE(gc->iNumVehs, 10);
        }
        EXPECT_GT(most, 5);
        EXPECT_GT(mostCars, 0);
        // The level goes with walkers and cars alive.
        world.Clear();
        EXPECT_EQ(gc->pps.ppg, nullptr);
        EXPECT_EQ(gc->pvs.pvg, nullptr);
        EXPECT_EQ(gc->pPedGenCont, nullptr);
        EXPECT_EQ(gc->pVehGenCont, nullptr);
        EXPECT_EQ(gc->iNumPeds, 0);
        EXPECT_EQ(gc->iNumVehs, 0);
        freeAfter[level] = TotalFree();
    }
    EXPECT_EQ(freeAfter[2], freeAfter[1]);
    for (int slot = 80; slot <= 84; slot++) {
        g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
        g_GlobalMFI.rgmfi[slot].i16Id = -1;
        g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
    }
    carslot = savedCar;
}

}  // namespace

namespace {

// The car generators follow the roads near the camera, but only those the
// player stands level with: a road more than 0.9375 above or below him has
// none.
TEST_F(PedStreets, CarGeneratorsOnlyOnRoadsLevelWithThePlayer)
{
    Net(false);
    const Matrix cam = LookatMatrix(VectorPos(100, -1.5f, 120), VectorPos(128, -1.5f, 128));
    rc.view_world = cam;
    rc.world_view = cam.Inverse();
    VehGenController* c = CreateRSVehGens(1, 14, 5, 100);
    ASSERT_NE(c, nullptr);
    RoadSeg* segs[VehGenController::iMaxVehGenList];
    const int n = c->GetCloseRSList(segs, VehGenController::iMaxVehGenList);
    ASSERT_GT(n, 0);
    const float road = segs[0]->bezier.c0[1];
    for (int i = 0; i < n; i++) {
        ASSERT_EQ(segs[i]->bezier.c0[1], road);   // a flat net
        ASSERT_EQ(segs[i]->bezier.c3[1], road);
    }
    auto gensWithPlayerAt = [&](float dy) {
        scene->player->mat = TransMatrix(100.0f, road + dy, 120.0f);
        c->SendMessage(OM_TIMER, nullptr);
        return int(c->i16NumVehGens);
    };
    EXPECT_EQ(gensWithPlayerAt(0.0f), n);
    EXPECT_EQ(gensWithPlayerAt(0.93f), n);
    EXPECT_EQ(gensWithPlayerAt(-0.93f), n);
    EXPECT_EQ(gensWithPlayerAt(0.95f), 0);
    EXPECT_EQ(gensWithPlayerAt(-0.95f), 0);
    world.Clear();
}

}  // namespace
