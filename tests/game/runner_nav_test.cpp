// A runner's way through a small road net written by the city writer: the
// walk band of its pavement and the band's slack, the choice at a two-road
// bend and at a crossing with a destination beyond it, the curved path onto
// the new pavement, and a flight along the pavement round the corner.
#include "game/cardriver_support.h"

#include "enemy_support.h"

#include "game/GameFEnt.h"

namespace {

using namespace drivetest;
using BA = BadGuyAnims;

class RunnerStreets : public DriverWorld
{
protected:
    // A crossing (4 roads) or a bend (2 roads: from the west, to the north)
    // at (128, 128).
    void Net(bool bend)
    {
        tools::CityDescription c;
        tools::AddSampleRoadKinds(c);
        if (bend) {
            const int j = AddJunction(c, 128, 128, 12.0f, 0);
            c.AddSegment(AddJunction(c, 68, 128, 0, 1), j, 1, tools::kRoadStreet);
            c.AddSegment(j, AddJunction(c, 128, 188, 0, 1), 4, tools::kRoadStreet);
            c.SortSlots();
        } else {
            AddCrossing(c, 1, tools::kRoadStreet, tools::kRoadStreet);
        }
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    }
    Enemy* Runner(VectorPos at, VectorDir facing)
    {
        char name[] = "RunnerEnemy";
        Object* o = g_pgcTest->CreateCharacterAt(enemyrig::kEnemySlot, 9, -1, name, false);
        if (o == nullptr)
            return nullptr;
        auto* e = static_cast<Enemy*>(o);
        e->mat = LookAlong(Normalise(facing));
        e->mat.SetTrans(at);
        e->ghc.Clear();
        const float y = world.GroundHeight(at, nullptr, &e->ghc);
        e->mat.SetTrans(VectorPos(at[0], y, at[2]));
        return e;
    }
};

// The middle of the right or left walk band of rs at parameter t.
VectorPos BandPoint(Enemy* e, const RoadSeg* rs, float t, bool right)
{
    e->UpdateRoadType(rs);
    const float o = right ? (e->SidewalkMinWalkWidth_R + e->SidewalkMaxWalkWidth_R) * 0.5f
                          : (e->SidewalkMinWalkWidth_L + e->SidewalkMaxWalkWidth_L) * 0.5f;
    return VectorPos(RoadSegOffset(rs->bezier, o).Evaluate(t).xyz());
}

}  // namespace

TEST_F(RunnerStreets, WalkBandIsTheMiddleHalfOfEachPavement)
{
    Net(false);
    enemyrig::Scene s;
    Enemy* e = Runner(VectorPos(100.0f, -1.0f, 130.0f), VectorDir(1, 0, 0));
    ASSERT_NE(e, nullptr);
    const RoadSeg* rs = e->ghc.prs;
    ASSERT_NE(rs, nullptr);
    const RoadType& t = *rs->type;
    e->calcrs = nullptr;
    e->UpdateRoadType(rs);
    const float lmin = t.vXSect[0][0] + 0.078125f, lmax = t.vXSect[t.iJuncLeft][0] - 0.078125f;
    const float rmin = t.vXSect[t.iJunc][0] + 0.078125f, rmax = t.vXSect[t.iRightEdge][0] - 0.078125f;
    EXPECT_FLOAT_EQ(e->SidewalkMinWalkWidth_L, lmin + (lmax - lmin) * 0.25f);
    EXPECT_FLOAT_EQ(e->SidewalkMaxWalkWidth_L, lmax - (lmax - lmin) * 0.25f);
    EXPECT_FLOAT_EQ(e->SidewalkMinWalkWidth_R, rmin + (rmax - rmin) * 0.25f);
    EXPECT_FLOAT_EQ(e->SidewalkMaxWalkWidth_R, rmax - (rmax - rmin) * 0.25f);
    EXPECT_EQ(e->calcrs, rs);

    // On the band's edge with the slack: no correction, the runner keeps to
    // the road's heading; beyond it the heading turns back toward the band.
    auto headingAt = [&](float side) {
        e->mode = 4;
        e->movesubmode = Enemy::MoveSub_Normal;
        e->mat = LookAlong(VectorDir(1, 0, 0));
        e->ghc.prs = const_cast<RoadSeg*>(rs);
        e->ghc.SetDir(VectorDir(1, 0, 0));
        e->ghc.rsres = Vector(side, 0.0f, 0.5f, 0.0f);
        e->MoveDownSidewalk();
        return e->lastmovedir;
    };
    const float edge = e->SidewalkMaxWalkWidth_R + 0.03125f;
    EXPECT_FLOAT_EQ(headingAt(edge)[2], 0.0f);
    const VectorDir out = headingAt(edge + 0.25f);
    EXPECT_NE(out[2], 0.0f);
    // The turn is back toward smaller offsets, and grows with the error.
    const VectorDir further = headingAt(edge + 0.5f);
    EXPECT_GT(std::fabs(further[2]), std::fabs(out[2]));
}

TEST_F(RunnerStreets, ABendAlwaysTurnsTheCorner)
{
    Net(true);
    enemyrig::Scene s;
    for (int i = 0; i < 8; i++) {
        Enemy* e = Runner(VectorPos(118.0f, -1.0f, 130.5f), VectorDir(1, 0, 0));
        ASSERT_NE(e, nullptr);
        const RoadSeg* from = e->ghc.prs;
        ASSERT_NE(from, nullptr);
        e->ghc.pjunc = from->jtn[0]->pos[0] > 100.0f ? from->jtn[0] : from->jtn[1];
        e->lastrs = from;
        e->ChooseIntersectionMode(GroundType_Invalid, VectorDir(1, 0, 0), false, VectorDir(0, 0, 0));
        EXPECT_EQ(e->movemode, Enemy::Move_AroundCorner);
        ASSERT_NE(e->nextroadpos.rs, nullptr);
        EXPECT_NE(e->nextroadpos.rs, from);
        e->Delete();
    }
}

TEST_F(RunnerStreets, ADestinationAcrossTheStreetTakesThatPavementAlongAPath)
{
    Net(false);
    enemyrig::Scene s;
    // On the right pavement of Mill Street just short of the crossing,
    // running east.
    Enemy* e = Runner(VectorPos(115.0f, -1.0f, 130.5f), VectorDir(1, 0, 0));
    ASSERT_NE(e, nullptr);
    const RoadSeg* from = e->ghc.prs;
    ASSERT_NE(from, nullptr);
    e->lastrs = from;
    const bool side = e->ghc.rsres[0] > 0.0f;
    Junction* j = from->jtn[0]->pos[0] > 100.0f ? from->jtn[0] : from->jtn[1];
    e->mat.SetTrans(VectorPos(122.0f, e->mat.w[1], 130.5f));
    e->ghc.pjunc = j;
    // The destination lies up the side street across Mill Street.
    RoadPos across;
    SetAcrossStreetPos(across, j, from, side);
    ASSERT_NE(across.rs, nullptr);
    VectorDir away = Normalise(across.rs->bezier.EvaluateTangent(across.t));
    if (across.t > 0.5f)
        away = -away;
    const VectorPos jp(j->pos.xyz());
    e->hasdest = true;
    e->destpos = jp + away * 50.0f;
    e->ChooseIntersectionMode(GroundType_Invalid, VectorDir(1, 0, 0), false, VectorDir(0, 0, 0));
    EXPECT_EQ(e->nextroadpos.rs, across.rs);
    EXPECT_EQ(e->nextroadpos.t, across.t);
    EXPECT_EQ(e->nextroadpos.positiveoff, across.positiveoff);
    EXPECT_EQ(e->movemode, Enemy::Move_AcrossIntersection);   // its segment meets the junction

    // The path ends 1.5625 along the band's middle from the junction end,
    // heading away from the junction.
    // (1.5625 over the band line's tangent length is the parameter step.)
    const VectorPos mouth = BandPoint(e, across.rs, across.t, across.positiveoff);
    const VectorPos end(e->pathspline.Evaluate(1.0f).xyz());
    const float o = across.positiveoff ? (e->SidewalkMinWalkWidth_R + e->SidewalkMaxWalkWidth_R) * 0.5f
                                       : (e->SidewalkMinWalkWidth_L + e->SidewalkMaxWalkWidth_L) * 0.5f;
    const Bezier band = RoadSegOffset(across.rs->bezier, o);
    const float step = 1.5625f / Length(band.EvaluateTangent(across.t));
    const VectorPos expected(band.Evaluate(across.t > 0.5f ? across.t - step : across.t + step).xyz());
    EXPECT_NEAR(end[0], expected[0], 1e-3f);
    EXPECT_NEAR(end[2], expected[2], 1e-3f);
    EXPECT_GT(Length(VectorDir(end - mouth)), 1.5f);
    EXPECT_GT(Length(VectorDir(end - jp)), Length(VectorDir(mouth - jp)));
    const VectorDir endDir = Normalise(e->pathspline.EvaluateTangent(1.0f));
    EXPECT_GT(Dot(endDir, away), 0.99f);
}

TEST_F(RunnerStreets, AFlightAlongThePavementAndRoundTheCorner)
{
    Net(false);
    enemyrig::Scene s;
    Enemy* e = Runner(VectorPos(90.0f, -1.0f, 133.75f), VectorDir(1, 0, 0));
    ASSERT_NE(e, nullptr);
    s.player->mat.SetTrans(VectorPos(84.0f, e->mat.w[1], 133.75f));
    e->commandeeringchance = 0.0f;
    const RoadSeg* start = e->ghc.prs;
    ASSERT_NE(start, nullptr);
    bool turned = false, offPavement = false;
    int modes = 0;
    for (int i = 0; i < 1200 && !turned; i++) {
        world.Update();
        // The player keeps 6.5 behind, along the street.
        s.player->mat.SetTrans(e->GetWorldPos() - VectorDir(6.5f, 0.0f, 0.0f));
        if (e->movemode != Enemy::Move_DownSidewalk)
            modes++;
        if (e->loctype == GroundType_InStreet && e->movemode == Enemy::Move_DownSidewalk)
            offPavement = true;
        if (e->ghc.prs != nullptr && e->ghc.prs != start && e->movemode == Enemy::Move_DownSidewalk)
            turned = true;
    }
    EXPECT_TRUE(turned);
    EXPECT_GT(modes, 0);   // it crossed or rounded the corner on a path
    EXPECT_FALSE(offPavement);
}

// ---------------------------------------------------------------------------
// Cars

namespace {

std::vector<std::pair<int, int>> g_driverHeard;
int DriverRecorder_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL && data != nullptr) {
        auto* m = static_cast<SpecialMessage*>(data);
        g_driverHeard.push_back({m->submsg, int(m->param[0])});
    }
    return 0;
}

}  // namespace

TEST_F(RunnerStreets, ADrivingRunnerLeavesItsCarAfter300FramesAtRestAndStopsItsDriver)
{
    Net(false);
    enemyrig::Scene s;
    Vehicle* v = nullptr;
    CarDriver* d = Car(100.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    ASSERT_NE(v, nullptr);
    Forget(v);   // the scene's world goes with the scene
    Enemy* e = Runner(VectorPos(100.0f, -1.0f, 133.75f), VectorDir(1, 0, 0));
    ASSERT_NE(e, nullptr);
    e->car = v;
    e->Start_Run_Driving();
    e->shootingchance = 0.0f;
    e->pursuitstarttime = world.time - 301;
    auto drive = [&](float frame, float speed) {
        e->frame = frame;
        v->vel = Vector(speed, 0.0f, 0.0f, 0.0f);
        e->Frame_Run_Driving();
    };
    // During a random crime the runner stays in its car.
    Object crime;
    g_pgcTest->prms = &crime;
    drive(100.0f, 0.0f);
    drive(1000.0f, 0.0f);
    EXPECT_EQ(e->mode, 8);
    EXPECT_EQ(e->carstoppedframe, 0.0f);
    g_pgcTest->prms = nullptr;
    drive(100.0f, 0.0f);                 // at rest from frame 100
    EXPECT_EQ(e->carstoppedframe, 100.0f);
    drive(400.0f, 0.0f);                 // 300 frames: not more than 300
    EXPECT_EQ(e->mode, 8);
    drive(400.5f, 0.05f);                // moving again: the count goes on
    EXPECT_EQ(e->carstoppedframe, 100.0f);
    drive(400.5f, 0.0f);
    EXPECT_EQ(e->mode, 7);               // getting out

    // Stopping the car: the driver hears where to drive off to, in order,
    // and the car's controls are let go.
    g_driverHeard.clear();
    d->messagehandler = DriverRecorder_mh;
    e->mode = 8;
    EXPECT_EQ(e->StopCar(), 1);
    d->messagehandler = reinterpret_cast<OBJMESSAGEHANDLER>(Name::Find("CarDriver"));
    const std::vector<std::pair<int, int>> expected = {
        {SMSG_CD_SET_DRIVE, 6}, {SMSG_CD_HOLD, 1}, {SMSG_CD_SET_DRIVE, 7}, {SMSG_CD_DEACTIVATE, 0}};
    EXPECT_EQ(g_driverHeard, expected);
    EXPECT_EQ(v->fBrake, 0.01f);
    EXPECT_EQ(v->fHandBrake, 0.01f);
    EXPECT_EQ(v->steer, 0.0f);
    EXPECT_EQ(e->mode, 9);
    e->car = nullptr;
    EXPECT_EQ(e->StopCar(), 0);
}

TEST_F(RunnerStreets, OnlyACarThatIsNotThePlayersAndNotWreckedIsTaken)
{
    Net(false);
    enemyrig::Scene s;
    Vehicle* v = nullptr;
    Car(104.0f, 131.0f, 1.0f, 0.0f, 0, &v);
    ASSERT_NE(v, nullptr);
    Forget(v);
    Object* driver = v->rcoDriver;
    auto tries = [&](float chance) {
        Enemy* e = Runner(VectorPos(100.0f, -1.0f, 131.0f), VectorDir(1, 0, 0));
        e->commandeeringchance = chance;
        e->SetTarget(nullptr);
        e->Move();
        const bool took = e->mode == 7;
        e->Delete();
        return took;
    };
    EXPECT_FALSE(tries(0.0f));
    v->strength = 0.6f * v->fBaseStrength;   // 60 %: not more than 60 %
    EXPECT_FALSE(tries(1.0f));
    v->strength = v->fBaseStrength;
    const s16 id = driver->id;
    driver->id = -1;                          // the player's car
    EXPECT_FALSE(tries(1.0f));
    driver->id = id;
    EXPECT_TRUE(tries(1.0f));
}

TEST_F(RunnerStreets, OnlyThePlayersCarBearingDownDuringACrimeMakesARunnerDive)
{
    Net(false);
    enemyrig::Scene s;
    Vehicle* v = nullptr;
    Car(104.0f, 133.75f, -1.0f, 0.0f, 0, &v);
    ASSERT_NE(v, nullptr);
    Forget(v);
    Enemy* e = Runner(VectorPos(100.0f, -1.0f, 133.75f), VectorDir(1, 0, 0));
    ASSERT_NE(e, nullptr);
    RCptr<Object> driver = v->rcoDriver;
    Object crime;
    // Dives out of 400 looks, with the car 4.0 away at 0.03 a frame.
    auto dives = [&](float offset, float dir, Object* by, Object* spawner) {
        g_pgcTest->prms = spawner;
        v->rcoDriver = by;
        v->mat.SetTrans(VectorPos(104.0f, v->mat.w[1], 133.75f + offset));
        v->vel = Vector(0.03f * dir, 0.0f, 0.0f, 0.0f);
        int n = 0;
        for (int i = 0; i < 400; i++)
            n += e->WatchForVehicles();
        return n;
    };
    srand(3);
    const int facing = dives(0.0f, -1.0f, s.player, &crime);
    // Chased by the player and facing the car: one in five.
    EXPECT_GT(facing, 50);
    EXPECT_LT(facing, 110);
    EXPECT_EQ(dives(0.3f, -1.0f, s.player, &crime) > 0, true);   // still within 0.3125 of its path
    EXPECT_EQ(dives(0.32f, -1.0f, s.player, &crime), 0);         // beside its path
    EXPECT_EQ(dives(0.0f, 1.0f, s.player, &crime), 0);           // driving away
    EXPECT_EQ(dives(0.0f, -1.0f, driver, &crime), 0);            // not the player's car
    EXPECT_EQ(dives(0.0f, -1.0f, s.player, nullptr), 0);         // no random crime
    v->rcoDriver = driver;
    // A car a little to the runner's side of its path, the runner facing
    // along the road (neither toward nor from that side): it jumps forward,
    // away from the car's side.
    g_pgcTest->prms = &crime;
    v->rcoDriver = s.player;
    v->mat.SetTrans(VectorPos(104.0f, v->mat.w[1], 133.7f));
    bool dove = false;
    for (int i = 0; i < 1000 && !dove; i++)
        dove = e->WatchForVehicles();
    ASSERT_TRUE(dove);
    EXPECT_EQ(e->diveani, +BA::CARTRANS_CAR_JUMP_FWD_ANI);
    EXPECT_FLOAT_EQ(e->divedir[2], 1.0f);
    g_pgcTest->prms = nullptr;
    v->rcoDriver = driver;
}

TEST_F(RunnerStreets, TheGeneratorWakesItsRunnerOnlyNearTheCamera)
{
    Net(false);
    enemyrig::Scene s;
    Enemy* e = Runner(VectorPos(100.0f, -1.0f, 133.75f), VectorDir(1, 0, 0));
    ASSERT_NE(e, nullptr);
    auto* g = reinterpret_cast<EnemyGenRunner*>(intptr_t(EnemyGenRunner::staticmh(nullptr, OM_CREATE, nullptr)));
    ASSERT_NE(g, nullptr);
    world.AddObject(g, nullptr);
    g->enemy = e;
    e->Hibernate();
    const Matrix savedView = rc.view_world;
    auto cameraAt = [](VectorPos p) { rc.view_world = TransMatrix(p[0], p[1], p[2]); };
    cameraAt(VectorPos(100.0f, -3.0f, 120.0f));   // near: it is woken
    g->SendMessage(OM_FRAME, nullptr);
    EXPECT_FALSE(e->IsHibernating());
    g->SendMessage(OM_FRAME, nullptr);            // awake near: nothing
    EXPECT_FALSE(e->IsHibernating());
    cameraAt(VectorPos(100.0f, -3.0f, 260.0f));   // beyond 125: asleep
    g->SendMessage(OM_FRAME, nullptr);
    EXPECT_TRUE(e->IsHibernating());
    g->enemy = nullptr;
    rc.view_world = savedView;
}
