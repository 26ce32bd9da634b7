// The level content services mission steps build with, and the setters
// that start each game mode.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "tests/ZevEngine2/kind_support.h"
#include "game/Camera.h"
#include "game/EntParams.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"
#include "game/controller_support.h"
#include "game/explode_support.h"

namespace {

// Ground at y = -2 everywhere within 1000 of the origin.
class FlatGround : public GroundChecker
{
public:
    float Check(const Object&, float best, VectorPos pos, VectorDir* normal) override
    {
        if (!enabled || pos[1] > -2.0f || fabsf(pos[0]) > 1000.0f || best != -1e38f)
            return best;
        if (normal != nullptr)
            *normal = VectorDir(0.0f, -1.0f, 0.0f);
        return -2.0f;
    }
    bool enabled = false;
};
FlatGround g_ground;

// The player's kind, for the services that make him: a Dace with a camera.
Camera g_playerCam;
int TestDace_mh(Object* o, OBJMESSAGE msg, void*)
{
    if (msg == OM_CREATE) {
        Dace* d = new Dace;
        d->messagehandler = TestDace_mh;
        d->cam = &g_playerCam;
        return int(reinterpret_cast<intptr_t>(d));
    }
    if (msg == OM_DIE) {
        delete static_cast<Dace*>(o);
        return -1;
    }
    return 0;
}

// A listener that keeps the mode messages the world hears, in order.
std::vector<std::pair<int, Object*>> g_heard;
int Listen_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL)
        g_heard.push_back({static_cast<SpecialMessage*>(data)->submsg, static_cast<SpecialMessage*>(data)->obj});
    return 0;
}

class Content : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        gc = gametest::Controller();
        gc->iFlags = 0;
        gc->pMission = nullptr;
        gc->pszDataRefused = nullptr;
        gc->mode = 0;
        gc->bCinematicOnly = false;
        noMap.emplace(gc->pmd, nullptr);
        noBars.emplace(gc->plb, nullptr);
        noFade.emplace(gc->pfs, nullptr);
        if (gc->pobjectlist == nullptr)
            gc->pobjectlist = new ObjectList;
        SetCurrentCam(nullptr);
        g_heard.clear();
        listener = new Object(Listen_mh);
        world.AddObject(listener, nullptr);
        // The modes' voice lines are chosen but not streamed: there is no
        // sound module here.
        voTracks = DaceVO.numtracks;
        DaceVO.numtracks = 0;
    }
    void TearDown() override
    {
        explodetest::DropCarDrivers();
        gc->pMission = nullptr;
        gc->pobjectlist->RemoveAll();
        world.Clear();
        SetCurrentCam(nullptr);
        dace = nullptr;
        g_ground.enabled = false;
        gc->iFlags = 0;
        gc->pszDataRefused = nullptr;
        DaceVO.numtracks = voTracks;
        noFade.reset();
        noBars.reset();
        noMap.reset();
    }
    u32 voTracks = 0;
    // The controller's map, bars and fade are off while a test runs.
    std::optional<gametest::Lend<MapDisplay>> noMap;
    std::optional<gametest::Lend<LetterBox>> noBars;
    std::optional<gametest::Lend<FadeScreen>> noFade;
    int Heard(int code) const
    {
        int n = 0;
        for (auto& h : g_heard)
            n += h.first == code ? 1 : 0;
        return n;
    }
    GameController* gc = nullptr;
    Object* listener = nullptr;
};

TEST_F(Content, CharactersStandOnTheGroundAtTheirPlaceholderOrTheDefaultSpot)
{
    explodetest::SlotFile f(48, [] {
        tools::P2BFile p;
        p.models.push_back(explodetest::BareModel(0.5f));
        p.AddNode(-1, tools::MakeNode(0));
        return p;
    }());
    // No ground: it stays at the default spot, 31.25 above the origin.
    Object* a = gc->CreateCharacterAt(48, 5, -77, nullptr, false);
    ASSERT_NE(a, nullptr);
    EXPECT_FLOAT_EQ(a->mat.w[0], 0.0f);
    EXPECT_FLOAT_EQ(a->mat.w[1], -31.25f);
    EXPECT_EQ(a->type, OBJT_CHARACTER);
    EXPECT_EQ(a->id, 5);
    EXPECT_TRUE(gc->pobjectlist->Find(a) != nullptr);
    // Ground at -2 under (x, -100, z): it stands on it.
    g_ground.enabled = true;
    Object* b = gc->CreateCharacterAt(48, 6, -77, nullptr, false);
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(b->mat.w[1], -2.0f);

    // Resuming a side trip: marked calls make nothing, the others do.
    gc->iFlags |= GCF_SIDETRIP_RUNNING;
    EXPECT_EQ(gc->CreateCharacterAt(48, 7, -77, nullptr, true), nullptr);
    EXPECT_NE(gc->CreateCharacterAt(48, 8, -77, nullptr, false), nullptr);
    Object* car = new Vehicle;
    car->id = 30;
    world.AddObject(car, nullptr);
    CarDriverParams cdp{-77};
    const int before = world.objectlist.Count();
    EXPECT_EQ(gc->CreateAICarDriver(40, 30, 8, cdp), 0);
    EXPECT_EQ(gc->CreateCinematicAt(15, -77), 0);
    EXPECT_EQ(world.objectlist.Count(), before);
    EXPECT_FALSE(gc->bCinematic);
    gc->iFlags = 0;

    // The player: id -1 of the kind "Dace" becomes `dace`, his camera
    // current.
    ScopedKind playerKind("Dace", TestDace_mh);
    char name[] = "Dace";
    Object* p = gc->CreateCharacterAt(48, -1, -77, name, false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<Object*>(dace), p);
    EXPECT_EQ(GetCurrentCam(), &g_playerCam);
    EXPECT_EQ(g_playerCam.target, p);
    // Made of a bare model, he has no body: his game would be lost at its
    // start.
    EXPECT_NE(gc->pszDataRefused, nullptr);
}

TEST_F(Content, CarsGetADriverWhoseTargetOutlivesTheCall)
{
    explodetest::CarSlot sampleCar(0, 0);
    Object* ph = new Object;
    ph->id = -60;
    ph->mat = TransMatrix(7, 0, 9);
    world.placeholderlist.AddTail(ph);
    Vehicle* car = static_cast<Vehicle*>(gc->CreateVehicleAt(0, 65, -60, false));
    ASSERT_NE(car, nullptr);
    EXPECT_EQ(car->id, 65);
    EXPECT_FLOAT_EQ(car->fFade, 1.0f);
    ASSERT_NE(car->rcoDriver.p, nullptr);
    // Its driver's first timer: five frames on.
    bool fiveFrames = false;
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        fiveFrames |= t->obj.p == car->rcoDriver.p && t->time == world.timePrecise + AnimTime(1280);
    EXPECT_TRUE(fiveFrames);

    CarDriverParams cdp{-60};
    gc->CreateAICarDriver(41, 65, 8, cdp);
    auto* d = static_cast<CarDriver*>(gc->FindById(41));
    ASSERT_NE(d, nullptr);
    // Told the placeholder's position, which it still finds after the call.
    EXPECT_FLOAT_EQ(d->vpTarget[0], 7.0f);
    EXPECT_FLOAT_EQ(d->vpTarget[2], 9.0f);
}

TEST_F(Content, PropsMarkersSplinesAndRemaps)
{
    Object* prop = gc->CreateObjectAt(250, -999, nullptr);
    EXPECT_EQ(prop, nullptr);   // nothing in the slot to build
    explodetest::SlotFile f(250, [] {
        tools::P2BFile p;
        p.models.push_back(explodetest::BareModel(0.5f));
        p.AddNode(-1, tools::MakeNode(0));
        return p;
    }());
    prop = gc->CreateObjectAt(250, -999, nullptr);
    ASSERT_NE(prop, nullptr);
    EXPECT_EQ(prop->type, OBJT_DYNAMIC);
    EXPECT_FLOAT_EQ(prop->mat.w[1], -3.125f);
    EXPECT_TRUE(gc->pobjectlist->Find(prop) == nullptr);

    VectorPos at(1, 2, 3);
    Object* arrow = CreateTargetObj(at, f.mf(), 0);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(arrow->id, 1001);
    EXPECT_EQ(arrow->flags & 0x20002u, 0x20002u);
    EXPECT_EQ(arrow->messagehandler, AnimLoopProc);
    arrow->Delete();

    gc->i16RCrimeVehRemap[3] = 5;
    gc->i16RCrimeVehRemap[4] = -1;
    gc->i16RCrimeCharRemap[2] = 60;
    EXPECT_EQ(gc->RemapRCrimeVehIndex(3), 4);
    EXPECT_EQ(gc->RemapRCrimeVehIndex(4), 4);
    EXPECT_EQ(gc->RemapRCrimeCharIndex(2), 11);
    gc->i16RCrimeVehRemap[3] = 0;
    gc->i16RCrimeCharRemap[2] = 0;

    alignas(16) Vector pts[4] = {Vector(0, 0, 0, 0), Vector(1, 0, 0, 1), Vector(2, 0, 0, 1), Vector(3, 0, 0, 1)};
    reinterpret_cast<Spline*>(pts)->SetCount(4);
    Matrix m = TransMatrix(0, 10, 0);
    Spline* copy = gc->CreateSplineCopy(m, reinterpret_cast<Spline*>(pts));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Count(), 4);
    EXPECT_FLOAT_EQ((*copy)[2][1], 10.0f);
    EXPECT_FLOAT_EQ((*copy)[2][3], 1.0f);
    free(copy);
}

TEST_F(Content, DriveToFightEscapeAndCruiseSetTheirModes)
{
    DriveToMissionParams timed{-3, 90, "there"};
    gc->SetDriveToMissionMode(timed, -1, false);
    EXPECT_EQ(gc->mode, 10);
    EXPECT_EQ(gc->iTimeDisplay, 90);
    EXPECT_EQ(gc->iFlags & GCF_NOTIMELIMIT, 0);
    ASSERT_NE(gc->pMission, nullptr);
    EXPECT_EQ(static_cast<DriveToMissionController*>(gc->pMission)->gameeventobj, gc);

    MapDisplay md(nullptr, nullptr);
    md.flags = 0;
    gc->pmd = &md;
    DriveToMissionParams open{-3, 0, "there"};
    gc->SetDriveToMissionMode(open, -1, true);
    EXPECT_EQ(gc->mode, 9);
    EXPECT_NE(gc->iFlags & GCF_NOTIMELIMIT, 0);
    EXPECT_EQ(md.flags & 0x4000000u, 0x4000000u);
    EXPECT_FALSE(static_cast<DriveToMissionController*>(gc->pMission)->bEnableWalkTo);
    gc->pmd = nullptr;

    // A fight with no parameters takes the set-up's; its stage is set
    // before it becomes the mode's controller.
    ControllerCombat_params cc{1, 2, 3, 4};
    gc->fightparams = &cc;
    gc->SetFightMissionMode(nullptr, -1);
    auto* fight = static_cast<FightMissionController*>(gc->pMission);
    ASSERT_NE(fight, nullptr);
    EXPECT_EQ(gc->mode, 4);
    EXPECT_EQ(fight->pfmp, &cc);
    EXPECT_EQ(fight->iStage, 1);
    gc->fightparams = nullptr;

    // Escape prepared, then started: one controller, epilogue then start.
    g_heard.clear();
    // The controllers only keep the parameters' address.
    alignas(16) static char block[256];
    auto& emp = *reinterpret_cast<EscapeMissionParams*>(block);
    gc->SetEscapeMissionMode(emp, -1, 1);
    Object* esc = gc->pMission;
    ASSERT_NE(esc, nullptr);
    const int objects = world.objectlist.Count();
    gc->SetEscapeMissionMode(emp, -1, 2);
    EXPECT_EQ(gc->pMission, esc);
    EXPECT_EQ(world.objectlist.Count(), objects);
    std::vector<int> order;
    for (auto& h : g_heard)
        if (h.first == SMSG_MODE_EPILOGUE || h.first == SMSG_MODE_START)
            order.push_back(h.first);
    EXPECT_EQ(order, std::vector<int>({SMSG_MODE_EPILOGUE, SMSG_MODE_START}));
    EXPECT_EQ(gc->mode, 12);

    // Cruising ends the running controller and makes none.
    g_heard.clear();
    gc->SetCruiseMissionMode(-1);
    EXPECT_EQ(gc->mode, 99);
    EXPECT_EQ(gc->pMission, nullptr);
    EXPECT_EQ(Heard(SMSG_MODE_END), 1);
}

TEST_F(Content, RacesShootOutsAndTheRandomCrimeSpawner)
{
    gc->SetRace247MissionMode(-1, 0);
    EXPECT_EQ(gc->mode, 16);
    EXPECT_EQ(gc->iTimeDisplay, 5400);

    Object* rival = new Object;
    rival->id = 44;
    world.AddObject(rival, nullptr);
    gc->SetRaceMissionMode(44, -1, 0);
    EXPECT_EQ(static_cast<RaceMissionController*>(gc->pMission)->rcTarget.p, rival);
    // Kept: the jet chase is not told its target.
    gc->SetLearJetMissionMode(44, -1, 0);
    EXPECT_EQ(static_cast<LearJetChaseMissionController*>(gc->pMission)->rcTarget.p, nullptr);

    // A tunnel camera is left current by a shoot-out; another is replaced
    // by the player's, turned his way.
    Dace player;
    player.mat = RotMatrix(VectorXYZ(0, 1.5707964f, 0));
    player.cam = &g_playerCam;
    dace = &player;
    Camera* tunnel = CreateFixedCameraFromCurrent(nullptr);
    tunnel->mode = CAMMODE_TUNNEL;
    SetCurrentCam(tunnel);
    alignas(16) static char block[256];
    auto& smp = *reinterpret_cast<ShootoutMissionParams*>(block);
    gc->SetShootoutMissionMode(smp, -1);
    EXPECT_EQ(GetCurrentCam(), tunnel);
    tunnel->mode = CAMMODE_FIXED;
    gc->SetShootoutMissionMode(smp, -1);
    EXPECT_EQ(GetCurrentCam(), &g_playerCam);
    EXPECT_EQ(gc->mode, 6);
    // The camera looks the way the player faces: its heading angy gives the
    // level view direction (sin angy, 0, cos angy), which is the player's z
    // row, whichever way he is turned (the engine's arc tangent is a
    // rational fit, good to a few thousandths).
    for (float turn : {0.0f, 0.7f, 1.5707964f, 2.5f, 3.1415927f, -1.2f, -2.8f}) {
        player.mat = RotMatrix(VectorXYZ(0, turn, 0));
        SetCurrentCam(tunnel);
        gc->SetShootoutMissionMode(smp, -1);
        EXPECT_NEAR(std::sin(g_playerCam.angy), player.mat.z[0], 5e-3f) << turn;
        EXPECT_NEAR(std::cos(g_playerCam.angy), player.mat.z[2], 5e-3f) << turn;
        EXPECT_EQ(g_playerCam.angygoal, g_playerCam.angy);
    }
    SetCurrentCam(nullptr);
    tunnel->Delete();
    dace = nullptr;

    gc->SetupGeneratedRandMission(3);
    auto* spawner = static_cast<RandomMissionSpawner*>(gc->prms);
    ASSERT_NE(spawner, nullptr);
    EXPECT_EQ(spawner->iCurrentIndex, 3);
    bool at720 = false;
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        at720 |= t->obj.p == spawner && t->time == world.timePrecise + AnimTime(720 * 256);
    EXPECT_TRUE(at720);
    gc->prms = nullptr;
}

}  // namespace
