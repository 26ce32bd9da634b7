// The driving course's objects and the 24/7 lap race: the start gate's
// light sequence and arm, the pop-up pedestrian, the breakable prop, the
// drone car, and the race's texts, clock and lap count.
#include "game/explode_support.h"
#include "game/gamemodes_support.h"

#include <string>

#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/MAIN.h"
#include "game/Weapons.h"
#include "game/cardrivr.h"

using modetest::g_heard;

namespace {

// A box of half size h about c in the unit-cube form of a trigger.
Extent Box(VectorPos c, float h)
{
    Matrix m(true);
    m.x = Vector(1.0f / h, 0.0f, 0.0f, 0.0f);
    m.y = Vector(0.0f, 1.0f / h, 0.0f, 0.0f);
    m.z = Vector(0.0f, 0.0f, 1.0f / h, 0.0f);
    m.w = Vector(-c[0] / h, -c[1] / h, -c[2] / h, 1.0f);
    return Extent(m);
}

Spline* NewSpline(std::initializer_list<VectorPos> pts)
{
    auto* s = static_cast<Spline*>(malloc_align(pts.size() * sizeof(Vector), 16));
    int i = 0;
    for (const VectorPos& p : pts)
        (*s)[i++] = Vector(p[0], p[1], p[2], 1.0f);
    s->SetCount(int(pts.size()));
    return s;
}

class Course : public modetest::ModeWorld
{
protected:
    void SetUp() override
    {
        ModeWorld::SetUp();
        modetest::g_pass = false;
        gc->pMission = recorder;
        for (int i : {DRVCRSE_SND_STEP, DRVCRSE_SND_WALK, DRVCRSE_SND_START})
            base[i] = Playing(i);
        MovePlayerTo(VectorPos(50.0f, 0.0f, 50.0f));
    }
    template <class T>
    T* Make()
    {
        return reinterpret_cast<T*>(intptr_t(T::staticmh(nullptr, OM_CREATE, nullptr)));
    }
    // Channels started with a sample of the car bank since the test began.
    int Started(int index) const { return Playing(index) - base[index]; }
    static int Playing(int index)
    {
        int n = 0;
        for (int i = 0; i < SOUND_VCHANNELS; i++) {
            const vchannel* c = sound.GetChannel(i);
            n += (c->flags & VCHAN_START) && c->curbank == sndbank_car && c->bankindex == index ? 1 : 0;
        }
        return n;
    }
    int HeardAt(int code) const
    {
        for (const modetest::Heard& h : g_heard)
            if (h.code == code)
                return h.frame;
        return -1;
    }
    int base[32] = {};
};

// delay 1.0: the countdown waits max(1, 60 - 120) = 1 frame for the first
// light step, then two steps of 60: the start signal comes 121 frames after
// the player enters.  A raised arm first comes down, 6 degrees a frame for
// 15 frames; after the signal it rises as long and the gate stops.
TEST_F(Course, TheGateCountsDownFromTheTriggerAndSignalsTheStart)
{
    DrvCrseGate_params p{};
    p.init_state = 1;
    p.trigger = Box(VectorPos(0.0f, 0.0f, 0.0f), 2.0f);
    p.delay = 1.0f;
    auto* g = Make<DrvCrseGate>();
    g->pdcgp = &p;
    Object* arm = new Object;
    arm->id = 1;
    arm->mat = Matrix(true);
    g->Attach(arm);
    world.AddObject(g, nullptr);
    EXPECT_EQ(g->mode, DrvCrseGate::GATE_WAIT_RAISED);
    EXPECT_NEAR(std::fabs(arm->mat.y[2]), 1.0f, 1e-5f);   // stood up by a quarter turn
    Ticks(5);
    EXPECT_EQ(g->mode, DrvCrseGate::GATE_WAIT_RAISED);

    MovePlayerTo(VectorPos(1.0f, 0.0f, 0.0f));
    Ticks(1);
    EXPECT_EQ(g->mode, DrvCrseGate::GATE_LOWERING);
    for (int k = 1; k <= 15; k++) {
        Ticks(1);
        EXPECT_NEAR(std::fabs(arm->mat.y[1]), std::fabs(std::sin(k * 0.10472f)), 1e-4f) << k;
    }
    EXPECT_NEAR(std::fabs(arm->mat.y[1]), 1.0f, 1e-4f);   // down: 15 x 6 degrees
    EXPECT_EQ(Started(DRVCRSE_SND_STEP), 0);
    Ticks(1);   // the turn that passes 0: the first light, the countdown
    const int countdown = world.time;
    EXPECT_EQ(g->iLightFrame, 2);
    EXPECT_EQ(g->mode, DrvCrseGate::GATE_COUNTDOWN);
    Ticks(1);
    EXPECT_EQ(Started(DRVCRSE_SND_STEP), 1);
    Ticks(60);
    EXPECT_EQ(g->iLightFrame, 4);
    EXPECT_EQ(Started(DRVCRSE_SND_STEP), 2);
    EXPECT_EQ(HeardAt(SMSG_EV_GATE_PASSED), -1);
    Ticks(60);
    EXPECT_EQ(HeardAt(SMSG_EV_GATE_PASSED), countdown + 121);
    EXPECT_EQ(g->iLightFrame, 6);
    EXPECT_EQ(Started(DRVCRSE_SND_START), 1);
    EXPECT_EQ(g->mode, DrvCrseGate::GATE_RAISING);
    Ticks(16);
    EXPECT_NEAR(std::fabs(arm->mat.y[2]), 1.0f, 1e-4f);   // up again
    EXPECT_EQ(g->iLightFrame, 0);
    EXPECT_EQ(g->flags & OBJF_FRAMECALL, 0u);
    EXPECT_EQ(modetest::ModeWorld::Count(SMSG_EV_GATE_PASSED), 1);

    // A gate standing in its own trigger at once (arm down): first light one
    // frame after the trigger, start 120 frames after that.
    DrvCrseGate_params q = p;
    q.init_state = 0;
    auto* h = Make<DrvCrseGate>();
    h->pdcgp = &q;
    g_heard.clear();
    world.AddObject(h, nullptr);
    Ticks(1);
    const int entered = world.time;
    Ticks(1);
    EXPECT_EQ(h->iLightFrame, 2);
    EXPECT_EQ(world.time, entered + 1);
    Ticks(120);
    EXPECT_EQ(HeardAt(SMSG_EV_GATE_PASSED), entered + 121);

    // A trigger whose w row has w = 0 is none: the player inside its box
    // never starts the gate.
    DrvCrseGate_params none = q;
    none.trigger.w = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    auto* n = Make<DrvCrseGate>();
    n->pdcgp = &none;
    world.AddObject(n, nullptr);
    MovePlayerTo(VectorPos(0.0f, 0.0f, 0.0f));
    Ticks(200);
    EXPECT_EQ(n->mode, DrvCrseGate::GATE_WAIT);
}

// Lowered 0.9375 until the player comes, up in 15 steps of 0.0625, then
// along its path with the walk loop playing; at the path's end the pop
// sound, and with no delay it stays.  A car at the threshold speed leaves
// it standing, a faster one breaks it; damage 11 breaks it, 10 does not.
TEST_F(Course, APedestrianRisesWalksItsPathAndBreaksOnlyToFastCarsAndBlows)
{
    DrvCrsePed_params p{};
    p.init_state = 0;
    p.trigger = Box(VectorPos(0.0f, 0.0f, 0.0f), 3.0f);
    p.speed = 3.0f;
    auto* ped = Make<DrvCrsePed>();
    ped->pdcpp = &p;
    // One curve of length 3 (tangent 3 throughout): 3 / 192 / 3 a frame,
    // 192 frames along it.
    ped->pSpline = NewSpline({VectorPos(10, 0, 0), VectorPos(11, 0, 0), VectorPos(12, 0, 0), VectorPos(13, 0, 0)});
    world.AddObject(ped, nullptr);
    EXPECT_FLOAT_EQ(ped->mat.w[1], 0.9375f);
    EXPECT_FLOAT_EQ(ped->mat.w[0], 10.0f);
    EXPECT_FLOAT_EQ(ped->fDeltaT, 1.0f / 192.0f);
    MovePlayerTo(VectorPos(1.0f, 0.0f, 0.0f));
    Ticks(1);
    EXPECT_EQ(ped->mode, DrvCrsePed::PED_RISING);
    EXPECT_EQ(Started(DRVCRSE_SND_STEP), 1);
    for (int k = 1; k <= 15; k++) {
        Ticks(1);
        EXPECT_NEAR(ped->mat.w[1], 0.9375f - 0.0625f * k, 1e-5f) << k;
    }
    EXPECT_EQ(Started(DRVCRSE_SND_WALK), 0);
    Ticks(1);
    EXPECT_EQ(ped->mode, DrvCrsePed::PED_WALK_UP);
    EXPECT_GE(ped->iSound, 0);
    EXPECT_EQ(Started(DRVCRSE_SND_WALK), 1);
    Ticks(96);
    EXPECT_NEAR(ped->mat.w[0], 11.5f, 1e-3f);   // half way at t = 0.5
    Ticks(100);
    EXPECT_FLOAT_EQ(ped->mat.w[0], 13.0f);
    EXPECT_EQ(ped->iSound, -1);
    EXPECT_EQ(Started(DRVCRSE_SND_STEP), 2);
    EXPECT_EQ(ped->flags & OBJF_FRAMECALL, 0u);
    Ticks(300);
    EXPECT_FLOAT_EQ(ped->mat.w[0], 13.0f);
    EXPECT_FLOAT_EQ(ped->mat.w[1], 0.0f);

    // Cars touching it: at exactly the threshold nothing, faster it breaks
    // and the race hears a pedestrian (2).
    Vehicle* slow = new Vehicle;
    Vehicle* fast = new Vehicle;
    slow->type = fast->type = OBJT_VEHICLE;
    slow->vel = Vector(0.0f, 0.0f, 0.00465667f, 0.0f);
    fast->vel = Vector(0.0f, 0.0f, 0.0047f, 0.0f);
    CollisionRecord bySlow(ped, slow), byFast(ped, fast);
    EXPECT_EQ(ped->SendMessage(OM_COLLISION, &bySlow), 0);
    EXPECT_EQ(Count(SMSG_EV_INNOCENT_HIT), 0);
    EXPECT_EQ(ped->SendMessage(OM_COLLISION, &byFast), -1);
    ASSERT_EQ(Count(SMSG_EV_INNOCENT_HIT), 1);
    EXPECT_EQ(g_heard.back().param0, 2);

    EXPECT_EQ(ped->SendMessage(OM_DAMAGE, reinterpret_cast<void*>(intptr_t(10))), 0);
    EXPECT_EQ(Count(SMSG_EV_INNOCENT_HIT), 1);
    EXPECT_EQ(ped->SendMessage(OM_DAMAGE, reinterpret_cast<void*>(intptr_t(11))), 1);
    EXPECT_EQ(Count(SMSG_EV_INNOCENT_HIT), 2);

    // With no mode running nothing breaks or reports.
    gc->pMission = nullptr;
    EXPECT_EQ(ped->SendMessage(OM_DAMAGE, reinterpret_cast<void*>(intptr_t(50))), 1);
    EXPECT_EQ(Count(SMSG_EV_INNOCENT_HIT), 2);
    slow->Delete();
    fast->Delete();
}

// Strength 10 and bullets of strength 4: the third breaks it and its kind
// is reported once; the blow query breaks at once; with no mode running
// nothing breaks.
TEST_F(Course, APropBreaksOnTheThirdBulletOrABlowAndReportsItsKindOnce)
{
    auto* prop = Make<DrvCrseProp>();
    EXPECT_FLOAT_EQ(prop->fStrength, 10.0f);
    prop->iType = 1;
    world.AddObject(prop, nullptr);
    EXPECT_EQ(prop->type, OBJT_STATIC);
    Bullet* b = new Bullet;
    b->strength[0] = b->strength[1] = 4.0f;
    SpecialMessage hit(SMSG_BULLET_HIT, b);
    for (int k = 1; k <= 3; k++) {
        prop->SendMessage(OM_SPECIAL, &hit);
        EXPECT_EQ(Count(SMSG_EV_INNOCENT_HIT), k == 3 ? 1 : 0) << k;
    }
    EXPECT_FLOAT_EQ(prop->fStrength, 0.0f);
    prop->SendMessage(OM_SPECIAL, &hit);
    ASSERT_EQ(Count(SMSG_EV_INNOCENT_HIT), 1);
    EXPECT_EQ(g_heard.back().param0, 1);

    auto* barrel = Make<DrvCrseProp>();
    barrel->iType = 0;
    world.AddObject(barrel, nullptr);
    SpecialMessage blow(86, nullptr);
    barrel->SendMessage(OM_SPECIAL, &blow);
    EXPECT_FLOAT_EQ(barrel->fStrength, 0.0f);
    ASSERT_EQ(Count(SMSG_EV_INNOCENT_HIT), 2);
    EXPECT_EQ(g_heard.back().param0, 0);

    gc->pMission = nullptr;
    auto* lone = Make<DrvCrseProp>();
    world.AddObject(lone, nullptr);
    lone->SendMessage(OM_SPECIAL, &blow);
    EXPECT_FLOAT_EQ(lone->fStrength, 0.0f);
    EXPECT_EQ(Count(SMSG_EV_INNOCENT_HIT), 2);
    b->Delete();
}

// The drone's car is sent racing along its path at the drone's speed, once,
// when the player comes; without a car the drone fires without effect.
TEST_F(Course, TheDroneSendsItsCarRacingAlongItsPathOnce)
{
    explodetest::CarSlot slot(7, 0);
    Matrix at(true);
    auto* car = static_cast<Vehicle*>(gc->CreateVehicleAt(at, 7, 101, false));
    ASSERT_NE(car, nullptr);
    auto* driver = static_cast<CarDriver*>(car->rcoDriver.p);
    ASSERT_NE(driver, nullptr);
    RaceCourseDroneCar_params p{};
    p.trigger = Box(VectorPos(0.0f, 0.0f, 0.0f), 3.0f);
    p.speed = 20.0f;
    auto* d = Make<DrvCrseDrone>();
    d->prcdc = &p;
    d->fSpeed = std::max(20.0f * 0.00232833f, 0.0116417f);
    d->pSpline = NewSpline({VectorPos(0, 0, 0), VectorPos(0, 0, 5), VectorPos(0, 0, 10), VectorPos(0, 0, 15)});
    d->rcCar = car;
    world.AddObject(d, nullptr);
    Ticks(3);
    EXPECT_NE(driver->i16DriveMode, 12);
    MovePlayerTo(VectorPos(0.0f, 0.0f, 1.0f));
    Ticks(1);
    EXPECT_EQ(d->mode, 1);
    EXPECT_EQ(driver->i16DriveMode, 12);
    EXPECT_FLOAT_EQ(driver->fSetSpeed, 20.0f * 0.00232833f);
    driver->fSetSpeed = 0.5f;
    Ticks(5);
    EXPECT_FLOAT_EQ(driver->fSetSpeed, 0.5f);   // once

    auto* bare = Make<DrvCrseDrone>();
    bare->prcdc = &p;
    world.AddObject(bare, nullptr);
    Ticks(1);
    EXPECT_EQ(bare->mode, 1);
    explodetest::DropCarDrivers();
}

// ---------------------------------------------------------------------------
// The lap race

class LapRace : public modetest::ModeWorld
{
protected:
    void SetUp() override
    {
        ModeWorld::SetUp();
        // A course whose spline ends at (10, 0, 0) heading +x.
        spline = NewSpline({VectorPos(-10, 0, 0), VectorPos(-10, 0, 8), VectorPos(10, 0, -8), VectorPos(10, 0, 0),
                            VectorPos(10, 0, 4), VectorPos(0, 0, 0), VectorPos(10, 0, 0)});
        gc->psplMission = spline;
        gc->iChallengeValue = 0;
        PutInCar(VectorPos(0.0f, 0.0f, 0.0f));
    }
    void TearDown() override
    {
        gc->psplMission = nullptr;
        free(spline);
        ModeWorld::TearDown();
    }
    Race247MissionController* Start()
    {
        auto* c = reinterpret_cast<Race247MissionController*>(
            intptr_t(Race247MissionController::staticmh(nullptr, OM_CREATE, nullptr)));
        c->gameeventobj = recorder;
        world.AddObject(c, nullptr);
        gc->pMission = c;
        gc->iTimeDisplay = 5400;
        SpecialMessage start(SMSG_MODE_START, c);
        c->SendMessage(OM_SPECIAL, &start);
        return c;
    }
    std::string TakeText()
    {
        for (ScreenText& st : md->screentext)
            if (st.stPos == STP_CENTER) {
                st.stPos = STP_NONE;
                return st.cText;
            }
        return "";
    }
    void Drive(float x)
    {
        MovePlayerTo(VectorPos(x, 0.0f, 0.0f));
        Ticks(1);
    }
    static void Send(Object* c, int code, Variant p0 = 0)
    {
        SpecialMessage m(code, nullptr, p0);
        c->SendMessage(OM_SPECIAL, &m);
    }
    Spline* spline = nullptr;
};

TEST_F(LapRace, TheStartMarksTheLineTheGateStartsTheClockAndOneLapWinsTwoSecondsLater)
{
    Race247MissionController* c = Start();
    EXPECT_EQ(TakeText(), "COMPLETE TRACK!");
    EXPECT_TRUE(md->flags & HUDF_COMPACTMAP);
    EXPECT_TRUE(md->flags & HUDF_STATICTARGET);
    EXPECT_FLOAT_EQ(md->vpStaticTarget[0], 10.0f);
    EXPECT_FLOAT_EQ(c->vdStartDir[0], 1.0f);

    // No clock before the signal; a crossing then still counts.
    Ticks(10);
    EXPECT_EQ(gc->iTimeDisplay, 5400);
    Drive(8.0f);
    Drive(12.0f);
    EXPECT_EQ(c->i16DaceCurrLap, 1);
    EXPECT_EQ(c->mode, Race247MissionController::RACE_OVER);
    EXPECT_EQ(TakeText(), "WON RACE\nPEELOUT ABILITY GAINED");
    const int won = world.time;
    const int at = TicksToResult(200);
    EXPECT_EQ(at, won + 120);
    EXPECT_EQ(gc->iMissionRet, 1);

    // Two laps: backing over the line and crossing again announces nothing
    // twice and finishes nothing early.
    // (The game flow has its result and would tear the level down: the
    // second race is only heard.)
    world.StopTimer(gc);
    g_heard.clear();
    modetest::g_pass = false;
    MovePlayerTo(VectorPos(0.0f, 0.0f, 0.0f));
    Race247MissionController* d = Start();
    TakeText();
    d->i16RaceTotalLaps = 2;
    Send(d, SMSG_EV_GATE_PASSED);
    EXPECT_TRUE(d->flags & RACE247_CLOCK_RUNS);
    EXPECT_TRUE(md->flags & HUDF_TIMER);
    Drive(8.0f);
    Drive(12.0f);
    EXPECT_EQ(TakeText(), "1 LAP TO GO...");
    Drive(8.0f);
    EXPECT_EQ(d->i16DaceCurrLap, 0);
    Drive(12.0f);
    EXPECT_EQ(d->i16DaceCurrLap, 1);
    EXPECT_EQ(TakeText(), "");
    EXPECT_EQ(d->mode, Race247MissionController::RACE_RUNNING);
    EXPECT_EQ(gc->iTimeDisplay, 5400 - 4);

    // The course's events: a barrier counted and passed on, a pinned player
    // car counted and shown.
    Send(d, SMSG_EV_INNOCENT_HIT, 1);
    EXPECT_EQ(d->iBarriersHit, 1);
    EXPECT_EQ(Count(SMSG_EV_INNOCENT_HIT), 1);
    car->rcoDriver = player;
    Send(d, SMSG_EV_CAR_PINNED, car);
    car->rcoDriver = nullptr;
    EXPECT_EQ(d->iNumPinnings, 1);
    EXPECT_EQ(TakeText(), "CAR PINNED!");

    // The clock runs out: lost at once, and a later finish is ignored.
    gc->iTimeDisplay = 2;
    Ticks(1);
    EXPECT_EQ(d->mode, Race247MissionController::RACE_RUNNING);
    Ticks(1);
    EXPECT_EQ(d->mode, Race247MissionController::RACE_OVER);
    EXPECT_EQ(TakeText(), "Lost Race...");
    EXPECT_EQ(Count(SMSG_GC_SUBGAME_LOST), 1);
    Send(d, SMSG_MODE_FINISHED);
    Ticks(200);
    EXPECT_EQ(Count(SMSG_GC_SUBGAME_WON), 0);
    EXPECT_EQ(TakeText(), "");
}

}  // namespace
