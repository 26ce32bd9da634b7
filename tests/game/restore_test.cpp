// The player and car 65 rebuilt where they stood after a side trip, the city
// streamed in around a task's start, the placement services, and the
// cinematic drive and walk under the cinema bars.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "ZevEngine2/PS2/platform_support.h"
#include "game/city_support.h"
#include "game/explode_support.h"
#include "tests/game/player_support.h"

#include "ZevEngine2/EntTypes.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/Levels/Levels.h"
#include "game/cardrivr.h"
#include "game/userintf.h"
#include "ZevEngine2/PS2/Streamer.h"

namespace {

using playerrig::PlayerKind;
// Keeps the special messages it is sent.
struct Sink : Object
{
    std::vector<SpecialMessage> heard;
    Sink() : Object(Sink_mh) {}
    static int Sink_mh(Object* o, OBJMESSAGE msg, void* data)
    {
        auto* s = static_cast<Sink*>(o);
        if (msg == OM_SPECIAL)
            s->heard.push_back(*static_cast<SpecialMessage*>(data));
        if (msg == OM_DIE) {
            delete s;
            return -1;
        }
        return 0;
    }
};

// One flat patch in every cell from -6 to 6 on both axes.
tools::CityDescription PatchGrid()
{
    tools::CityDescription c;
    tools::AddSampleRoadKinds(c);
    for (int z = -6; z <= 6; z++)
        for (int x = -6; x <= 6; x++) {
            tools::CityPatch p;
            for (int i = 0; i < 16; i++)
                p.patch.p[i] = Vector(256.0f * x + 100 + 20 * (i % 4), -1.05f, 256.0f * z + 100 + 20 * (i / 4), 0);
            p.texmat = Matrix(true);
            p.groundtype = 0;
            c.patches.push_back(p);
        }
    return c;
}

// When a timer of obj is due, in frames from now; -1 without one.
int TimerFrames(Object* obj)
{
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        if (t->obj.p == obj)
            return int((t->time.t - world.timePrecise.t) / 256);
    return -1;
}

class Restore : public citytest::CityWorld
{
protected:
    playerrig::Rig rig;
    PlayerKind kind;
    LetterBox lb;
    GameController* gc = nullptr;
    ObjectList* savedList = nullptr;
    std::optional<gametest::Lend<LetterBox>> lentBars;

    void SetUp() override
    {
        ASSERT_EQ(playerrig::PlayerFiles().error, "");
        // Starting the frame counters again waits for vertical blanks.
        platform_test::PowerOff();
        Platform::Init();
        // The loading screen's clock starts with the machine: a frame drawn by
        // an earlier program would otherwise put its next one due at once.
        UI.last_vsync_ctr = Platform::Count();
        world.Clear();
        world.timePrecise = AnimTime(0);
        gc = gametest::Controller();
        gc->iFlags = 0;
        gc->mode = 0;
        gc->iMissionRet = 0;
        // The controller's own list is put back afterwards.
        savedList = gc->pobjectlist;
        gc->pobjectlist = nullptr;
        lentBars.emplace(gc->plb, &lb);
        gc->pcam = nullptr;
        lb.iMode = 0;
        lb.iOffset = 0;
        controller[0].ZeroData();
        SetCurrentCam(nullptr);
        rig.Resident();
    }
    void TearDown() override
    {
        // The controller outlives the test; its timers go before the world
        // lets go of what they hold.
        world.StopTimer(gc);
        explodetest::DropCarDrivers();
        if (dace != nullptr)
            dace->Delete();
        dace = nullptr;
        gc->rcoSource = nullptr;
        gc->rcoTarget = nullptr;
        lentBars.reset();
        gc->pobjectlist = savedList;
        gc->iFlags = 0;
        gc->mode = 0;
        gc->iMainExitVal = 0;
        world.RemovePostRawObj(&lb);
        world.placeholderlist.RemoveAll();
        world.Clear();
        SetCurrentCam(nullptr);
        citytest::CityWorld::TearDown();
        platform_test::PowerOff();
        // The streamer's server went with the machine: its client starts
        // over, as after power-on, so the next program started loads it again.
        irxloaded = 0;
        initialized = 0;
        numvfdsallocated = 0;
    }
    Object* Placeholder(int id, VectorPos at)
    {
        Object* ph = new Object;
        ph->id = s16(id);
        ph->mat = TransMatrix(at[0], at[1], at[2]);
        world.placeholderlist.AddTail(ph);
        return ph;
    }
    // The state a side trip leaves: where the player and his car stood.
    void SideTrip(int carType, bool inCar)
    {
        gc->vpCharRestorePos = VectorPos(300.0f, -1.0f, -200.0f);
        gc->vdCharRestoreDir = VectorDir(0.0f, 0.0f, -1.0f);
        gc->vpVehRestorePos = VectorPos(304.0f, -1.0f, -200.0f);
        gc->vdVehRestoreDir = VectorDir(1.0f, 0.0f, 0.0f);
        gc->i8VehTypeId = s8(carType);
        gc->i8VehTintSet = 1;
        gc->bRestoreInCar = inCar;
        gc->iFlags |= GCF_SIDETRIP_RUNNING;
    }
    bool OnPostList(RawObj* ro)
    {
        for (Link<RawObj>* l = world.rawobjPostList.Head(); !l->IsEOList(); l = l->Next())
            if (l->data == ro)
                return true;
        return false;
    }
};

// Back from a side trip taken by car: the city is streamed in where the
// player stood, car 65 is rebuilt where it stood, facing as it faced, with its
// tint and a driver, and the player sits in it at the driver's seat.
TEST_F(Restore, ASideTripByCarRebuildsCar65AndSeatsThePlayerWhereTheyStood)
{
    Load(PatchGrid());
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    explodetest::CarSlot sampleCar(3, 14);
    SideTrip(14, true);
    Placeholder(-4, VectorPos(-500.0f, -1.0f, 900.0f));
    frame = 77;
    EXPECT_EQ(gc->SyncGridPosAt(-4, false), 0);

    // The saved spot's cell, not the placeholder's, is the window's centre.
    EXPECT_EQ(qt().gridx, CellOf(300.0f));
    EXPECT_EQ(qt().gridz, CellOf(-200.0f));
    EXPECT_EQ(frame, 0);

    auto* car = static_cast<Vehicle*>(gc->FindById(65));
    ASSERT_NE(car, nullptr);
    EXPECT_EQ(car->type, OBJT_VEHICLE);
    EXPECT_NEAR(car->mat.w[0], 304.0f, 1e-4f);
    EXPECT_NEAR(car->mat.w[2], -200.0f, 1e-4f);
    EXPECT_NEAR(car->mat.z[0], 1.0f, 1e-5f);   // facing +x, as it was
    EXPECT_EQ(car->i8Tint, 1);
    EXPECT_NE(car->rcoDriver.p, nullptr);

    ASSERT_NE(dace, nullptr);
    EXPECT_EQ(dace->id, -1);
    EXPECT_EQ(dace->parent, car);
    EXPECT_EQ(dace->car, car);
    EXPECT_EQ(dace->mode, DACEMODE_DRIVING);
    EXPECT_EQ(GetCurrentCam(), dace->cam);
}

// On foot: only the player comes back, standing, facing as he faced; his
// camera is swung 40 degrees round him at its own distance.
TEST_F(Restore, ASideTripOnFootRebuildsOnlyThePlayerWithHisCameraSwungBeside)
{
    SideTrip(-1, false);
    gc->SyncGridPosAt(-4, false);
    EXPECT_EQ(gc->FindById(65), nullptr);
    ASSERT_NE(dace, nullptr);
    EXPECT_EQ(dace->parent, nullptr);
    EXPECT_NEAR(dace->mat.w[0], 300.0f, 1e-4f);
    EXPECT_NEAR(dace->mat.w[2], -200.0f, 1e-4f);
    EXPECT_NEAR(dace->mat.z[2], -1.0f, 1e-5f);
    Camera* c = dace->cam;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(GetCurrentCam(), c);
    const float len = sqrtf(c->relpos[0] * c->relpos[0] + c->relpos[1] * c->relpos[1] + c->relpos[2] * c->relpos[2]);
    EXPECT_NEAR(len, c->dist, 1e-4f);
    // The offset started straight behind along z (0, h, d): across the
    // ground it now leans 40 degrees away from z.
    const float across = atan2f(fabsf(c->relpos[0]), c->relpos[2]);
    EXPECT_NEAR(across, 0.6981317f, 1e-4f);
    const VectorPos at = dace->mat * c->relpos;
    EXPECT_NEAR(c->mat.w[0], at[0], 1e-4f);
    EXPECT_NEAR(c->mat.w[1], at[1], 1e-4f);
    EXPECT_NEAR(c->mat.w[2], at[2], 1e-4f);
}

// SyncGridPosAt outside a resume (or told to ignore it) moves the window to
// the placeholder; a missing placeholder loads nothing but the frame counters
// still start again.  The sync repeats until the city answers that the cells
// are in (kept: only a watchdog would stop it).
TEST_F(Restore, SyncGridPosAtMovesTheGridToThePlaceholder)
{
    Load(PatchGrid());
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    Placeholder(-4, VectorPos(3 * 256 + 128.0f, -1.0f, -2 * 256 + 128.0f));
    // A resume told to ignore the saved state: placeholder -4 it is.
    SideTrip(14, true);
    frame = 5;
    gc->SyncGridPosAt(-4, true);
    EXPECT_EQ(qt().gridx, CellOf(3 * 256 + 128.0f));
    EXPECT_EQ(qt().gridz, CellOf(-2 * 256 + 128.0f));
    EXPECT_TRUE(world.SyncTo(VectorPos(3 * 256 + 128.0f, -1.0f, -2 * 256 + 128.0f)));   // complete
    EXPECT_EQ(dace, nullptr);
    EXPECT_EQ(gc->FindById(65), nullptr);
    EXPECT_EQ(frame, 0);

    gc->iFlags = 0;
    disc.CellReads();
    frame = 9;
    gc->SyncGridPosAt(-12345, false);
    EXPECT_TRUE(disc.CellReads().empty());
    EXPECT_EQ(qt().gridx, CellOf(3 * 256 + 128.0f));
    EXPECT_EQ(frame, 0);
}

// A car whose model is not in slots 0..15 comes back from slot 0 with tint
// set 2.
TEST_F(Restore, ACarNoLongerLoadedComesBackFromSlotZeroWithTintTwo)
{
    explodetest::CarSlot slot0(0, 0);
    VectorPos p(10.0f, -1.0f, 20.0f);
    VectorDir d(0.0f, 0.0f, 1.0f);
    const int refs = g_GlobalMFI.rgmfi[0].smf.refs;
    Vehicle* car = gc->RestoreVehicle(p, d, 0x33, 5);
    ASSERT_NE(car, nullptr);
    EXPECT_EQ(car->id, 65);
    EXPECT_EQ(car->i8Tint, 2);
    EXPECT_EQ(g_GlobalMFI.rgmfi[0].smf.refs, refs + 1);
}

// Putting into a car: nothing while resuming unless forced; an object or car
// not found does nothing; a seated object is taken off its parent first.
TEST_F(Restore, PutObjectInCarWaitsOutAResumeUnlessForced)
{
    explodetest::CarSlot slot0(0, 0);
    VectorPos p(10.0f, -1.0f, 20.0f);
    VectorDir d(0.0f, 0.0f, 1.0f);
    Vehicle* car = gc->RestoreVehicle(p, d, 0, 0);
    ASSERT_NE(car, nullptr);
    VectorPos at(0.0f, -1.0f, 0.0f);
    VectorDir ahead(0.0f, 0.0f, 1.0f);
    ASSERT_NE(gc->RestorePlayer(at, ahead), nullptr);

    gc->iFlags |= GCF_SIDETRIP_RUNNING;
    gc->PutObjectInCar(-1, 65, 116, false);
    EXPECT_EQ(dace->parent, nullptr);
    gc->PutObjectInCar(-1, 99, 116, true);
    EXPECT_EQ(dace->parent, nullptr);
    gc->PutObjectInCar(-1, 65, 116, true);
    EXPECT_EQ(dace->parent, car);
    EXPECT_EQ(dace->mode, DACEMODE_DRIVING);

    // Another character, already riding on something, moves to the car.
    gc->iFlags = 0;
    Sink* rider = new Sink;
    rider->id = 12;
    world.AddObject(rider, nullptr);
    Object* horse = new Object;
    world.AddObject(horse, nullptr);
    horse->Attach(rider);
    gc->PutObjectInCar(12, 65, 3, false);
    EXPECT_EQ(rider->parent, nullptr);
    ASSERT_EQ(rider->heard.size(), 1u);
    EXPECT_EQ(rider->heard[0].submsg, SMSG_PUT_IN_VEHICLE);
    EXPECT_EQ(rider->heard[0].obj, car);
    EXPECT_EQ(rider->heard[0].param[0].i, 3);
}

// Leaving a building: without an exit spot the player stays where he is but
// his camera starts again; nothing at all while resuming.  The target object:
// the controller's, and the player's when asked.
TEST_F(Restore, ExitPlacementAndTargets)
{
    VectorPos at(6.0f, -1.0f, 7.0f);
    VectorDir ahead(0.0f, 0.0f, 1.0f);
    ASSERT_NE(gc->RestorePlayer(at, ahead), nullptr);
    Placeholder(-20, VectorPos(50.0f, -1.0f, 50.0f));
    Camera* c = dace->cam;
    ASSERT_EQ(c->mode, CAMMODE_PEDESTRIAN);
    c->mat.SetTrans(VectorPos(999.0f, -1.0f, 999.0f));
    const Matrix before = dace->mat;
    gc->iFlags |= GCF_SIDETRIP_RUNNING;
    gc->PlaceCharacterAtExitPos(-1, -20);
    EXPECT_FLOAT_EQ(c->mat.w[0], 999.0f);
    gc->iFlags = 0;
    gc->PlaceCharacterAtExitPos(-1, -20);
    EXPECT_EQ(std::memcmp(&before, &dace->mat, sizeof(Matrix)), 0);
    // Reset: back behind him at its distance.
    const VectorDir back = VectorDir(c->mat.GetTrans() - dace->mat.GetTrans());
    EXPECT_LT(back.Length(), c->dist + 3.0f);
    // A camera that looked at him from the front is turned round: behind
    // him as he faces (+z), at its distance, looking the way he looks.
    c->angy = c->angygoal = 3.1415927f;
    c->ResetCam();
    ASSERT_GT(c->mat.w[2], dace->mat.w[2]);
    gc->PlaceCharacterAtExitPos(-1, -20);
    EXPECT_NEAR(dace->mat.w[2] - c->mat.w[2], c->distgoal, 0.1f);
    EXPECT_NEAR(c->mat.w[0], dace->mat.w[0], 0.01f);
    EXPECT_GT(c->mat.z[2], 0.95f);

    Sink* crook = new Sink;
    crook->id = 40;
    world.AddObject(crook, nullptr);
    gc->SetTargetObject(40, false);
    EXPECT_EQ(gc->rcoTarget.p, crook);
    EXPECT_EQ(dace->target.p, nullptr);
    gc->SetTargetObject(40, true);
    EXPECT_EQ(dace->target.p, crook);
    gc->SetTargetObject(41, true);   // none: both kept
    EXPECT_EQ(gc->rcoTarget.p, crook);
    EXPECT_EQ(dace->target.p, crook);
    dace->target = nullptr;
}

// The cinematic drive: in a resume only the result is cleared.  An unknown
// id still gives the mode, the controller's 15-frame timer, the bars sliding
// in again and a target-less exterior camera (as made: zoom 1.6) with its own
// 180-frame timer, and no message.  With the player: his car is filmed (the
// first shot's zoom 2) and he is told; Cross held ends the drive at the
// timer and the previous camera takes over.
TEST_F(Restore, ACinematicDriveFilmsTheCarUnderTheBarsUntilItsTimer)
{
    gc->iMissionRet = 3;
    gc->mode = 9;
    gc->iFlags |= GCF_SIDETRIP_RUNNING;
    gc->SetCineDriveMode(-1, 0);
    EXPECT_EQ(gc->iMissionRet, 0);
    EXPECT_EQ(gc->mode, 9);
    EXPECT_TRUE(world.timerlist.IsEmpty());
    gc->iFlags = 0;

    Camera* before = new Camera(nullptr, VectorPos(0.0f, 0.0f, 0.0f));
    SetCurrentCam(before);
    lb.iMode = 2;
    lb.iOffset = 30;
    gc->SetCineDriveMode(-1234, 0);
    EXPECT_EQ(gc->mode, 11);
    EXPECT_EQ(TimerFrames(gc), 15);
    EXPECT_EQ(lb.iMode, 1);
    EXPECT_EQ(lb.iOffset, 0);
    EXPECT_TRUE(OnPostList(&lb));
    Camera* c = GetCurrentCam();
    ASSERT_NE(c, before);
    EXPECT_EQ(gc->pcam, before);
    EXPECT_EQ(c->mode, CAMMODE_EXTERIORCINEINCAR);
    EXPECT_EQ(c->target, nullptr);
    EXPECT_FLOAT_EQ(c->zoom, 1.6f);
    EXPECT_FLOAT_EQ(c->fBiasFactor, 0.5f);
    EXPECT_TRUE(c->flags & OBJF_FRAMECALL);
    EXPECT_EQ(TimerFrames(c), 180);
    EXPECT_TRUE(world.objectlist.Find(c) != nullptr);
    c->Delete();
    world.Clean();
    world.StopTimer(gc);
    SetCurrentCam(nullptr);
    before->Delete();
    world.Clean();

    // The player in car 65.
    explodetest::CarSlot slot0(0, 0);
    VectorPos p(10.0f, -1.0f, 20.0f);
    VectorDir d(0.0f, 0.0f, 1.0f);
    Vehicle* car = gc->RestoreVehicle(p, d, 0, 0);
    ASSERT_NE(gc->RestorePlayer(p, d), nullptr);
    gc->PutObjectInCar(-1, 65, 116, false);
    ASSERT_EQ(dace->parent, car);
    Camera* own = dace->cam;
    ASSERT_EQ(GetCurrentCam(), own);
    gc->SetCineDriveMode(-1, 0);
    EXPECT_EQ(gc->rcoSource.p, dace);
    EXPECT_EQ(dace->mode, DACEMODE_CINEDRIVE);   // told gameplay mode 11
    c = GetCurrentCam();
    EXPECT_EQ(c->target, dace);
    EXPECT_FLOAT_EQ(c->zoom, 2.0f);

    // Cross held when the controller's timer comes: the drive is over.
    controller[0].pad = 0x0040;
    gc->SendMessage(OM_TIMER, nullptr);
    EXPECT_EQ(GetCurrentCam(), own);
    EXPECT_TRUE(c->IsDead());
    EXPECT_EQ(lb.iMode, 2);
    controller[0].ZeroData();
    world.Clean();
    SetCurrentCam(nullptr);
}

// The cinematic walk: the player is handed the script and walks it under
// the bars; the controller's timers stop.  Without bGrowLB bars that were
// sliding out are held at their full 50 pixels; with it they slide in from
// nothing.  His report of the walk's end takes the next mode.
TEST_F(Restore, ACinematicWalkRunsUnderTheLetterboxUntilThePlayerIsDone)
{
    VectorPos at(0.0f, -1.0f, 0.0f);
    VectorDir ahead(0.0f, 0.0f, 1.0f);
    ASSERT_NE(gc->RestorePlayer(at, ahead), nullptr);
    world.SetTimer(gc, AnimTime(600 * 256), nullptr);
    CinePlayerScript script[2] = {{1, 0, 5, 0}, {0, 0, 0, 0}};
    lb.iMode = 2;
    lb.iOffset = 12;
    gc->SetCineWalkMode(-1, 400, script, 2, 0);
    EXPECT_EQ(gc->mode, 14);
    EXPECT_EQ(gc->iNextMode, 2);
    EXPECT_EQ(gc->rcoSource.p, dace);
    EXPECT_EQ(TimerFrames(gc), -1);
    EXPECT_EQ(lb.iMode, 0);
    EXPECT_EQ(lb.iOffset, 50);
    EXPECT_TRUE(OnPostList(&lb));
    EXPECT_EQ(dace->mode, DACEMODE_CINEWALK);
    EXPECT_EQ(dace->pCineScript, static_cast<void*>(script));

    // The player reports the walk done: mode 2, the bars slide away and he
    // is told to play on.
    SpecialMessage done(SMSG_GC_CINE_WALK_DONE, dace);
    gc->SendMessage(OM_SPECIAL, &done);
    EXPECT_EQ(gc->mode, 2);
    EXPECT_EQ(lb.iMode, 2);
    EXPECT_NE(dace->mode, DACEMODE_CINEWALK);

    // Growing bars start from nothing; an unknown walker is told nothing.
    gc->SetCineWalkMode(-555, 0, nullptr, 3, 1);
    EXPECT_EQ(lb.iMode, 1);
    EXPECT_EQ(lb.iOffset, 0);
    EXPECT_EQ(gc->mode, 14);
}

}  // namespace

namespace {

// The test scripts' step functions act on steps 0 and 1 only: any other step
// answers 0 and leaves the level alone.
TEST_F(Restore, TestScriptsDoNothingPastTheirTwoSteps)
{
    gc->mode = 5;
    const int objects = world.objectlist.Count();
    for (GAMEDESCRIPTIONFUNCTION* f : {Mission_Test_Main, TestInt_Main, Explosion_Test_Main, RaceTrack_Test_Main}) {
        EXPECT_EQ(f(*gc, 2, 0), 0);
        EXPECT_EQ(f(*gc, 7, 1), 0);
    }
    EXPECT_EQ(gc->mode, 5);
    EXPECT_EQ(world.objectlist.Count(), objects);
    EXPECT_EQ(dace, nullptr);
}

}  // namespace
