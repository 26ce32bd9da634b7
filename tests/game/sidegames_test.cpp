// The firing range and gun course scored from their targets' events, the
// lap and street races decided at their lines, and the small controllers:
// the impound lot, infiltration and free roaming.
#include "game/explode_support.h"
#include "game/gamemodes_support.h"

#include "tools/lib/sidegamefiles.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "ZevEngine2/PS2/Bezier.h"
#include "game/BadGuy.h"
#include "game/cardrivr.h"
#include "game/Camera.h"
#include "game/Bystander.h"
#include "game/userintf.h"

using modetest::g_heard;
using modetest::Heard;
using modetest::MakeSpline;

namespace {

int SinkMh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL)
        return 0;
    auto* m = static_cast<SpecialMessage*>(data);
    g_heard.push_back({m->submsg, m->obj, int(m->param[0]), world.time});
    return 0;
}

class SideGames : public modetest::ModeWorld
{
protected:
    void SetUp() override
    {
        ModeWorld::SetUp();
        sink = new Object(SinkMh);
        world.mode = WORLD_MODE_NORMAL;
    }
    void TearDown() override
    {
        world.mode = WORLD_MODE_NORMAL;
        for (Object* o : made)
            o->Delete();
        sink->Delete();
        ModeWorld::TearDown();
    }
    // A controller of class T reporting to the sink, in the world.
    // (set: the setter's fields, before the world has it.)
    template <class T>
    T* Controller(const std::function<void(T&)>& set = nullptr)
    {
        auto* c = reinterpret_cast<T*>(intptr_t(T::staticmh(nullptr, OM_CREATE, nullptr)));
        c->gameeventobj = sink;
        if (set)
            set(*c);
        world.AddObject(c, nullptr);
        made.push_back(c);
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
    int Heard(int code) const
    {
        int k = 0;
        for (const modetest::Heard& h : g_heard)
            k += h.code == code ? 1 : 0;
        return k;
    }

    Object* sink = nullptr;
    std::vector<Object*> made;
};

// ---------------------------------------------------------------------------
// The firing range

class Range : public SideGames
{
protected:
    TargetMoving* StaticTarget(u8 wave, float delaySeconds, float x)
    {
        auto* p = new TargetStatic_params{};
        p->wave = wave;
        p->delay = delaySeconds;
        params.emplace_back(p);
        auto* t = reinterpret_cast<TargetMoving*>(intptr_t(TargetMoving::staticmh(nullptr, OM_CREATE, nullptr)));
        t->bIsMoving = 0;
        t->ptsp = p;
        t->mat = TransMatrix(VectorPos(x, 0.0f, 4.0f));
        world.AddObject(t, nullptr);
        made.push_back(t);
        return t;
    }
    static void Shoot(Object* t, bool precise = false)
    {
        VectorPos at = t->GetWorldPos();
        VectorDir n(0.0f, 0.0f, -1.0f);
        SpecialMessage m(SMSG_BULLET_HIT, nullptr, &at, &n, nullptr, precise ? 1 : 0);
        t->SendMessage(OM_SPECIAL, &m);
    }
    // Ticks until the sink has heard `code` from obj, at most n; false when
    // it never came.
    bool TickUntil(int code, Object* obj, int n)
    {
        for (int i = 0; i < n; i++) {
            for (const modetest::Heard& h : g_heard)
                if (h.code == code && h.obj == obj)
                    return true;
            world.Update();
        }
        return false;
    }
    std::vector<std::unique_ptr<TargetStatic_params>> params;
};

TEST_F(Range, AWaveAdvancesOnlyWhenAllItsTargetsAreDoneAndTheRoundIsScored)
{
    gc->iChallengeValue = 1;   // "PRECISION AIM", goal 10
    auto* c = Controller<FRangeMissionController>();
    TargetMoving* a = StaticTarget(1, 0.0f, -1.0f);
    TargetMoving* b = StaticTarget(1, 1.0f, 0.0f);
    TargetMoving* later = StaticTarget(2, 0.0f, 1.0f);
    for (Object* t : {static_cast<Object*>(a), static_cast<Object*>(b), static_cast<Object*>(later)})
        SendSpecial(t, SMSG_MODE_START, c);
    SendSpecial(c, SMSG_MODE_START, c);
    EXPECT_EQ(TakeText(), "EARN PRECISION AIM");
    EXPECT_EQ(c->stats.numTargets, 3);
    EXPECT_EQ(c->waveObjects, 2);
    EXPECT_TRUE(later->flags & OBJF_HIDDEN);

    // One hit each on the first wave: they do not come back.
    Shoot(a);
    Shoot(b);
    EXPECT_EQ(c->stats.numHits, 2);
    EXPECT_EQ(c->stats.numTargetsHit, 0);
    ASSERT_TRUE(TickUntil(SMSG_EV_TARGET_DONE, a, 400));
    EXPECT_EQ(c->stats.wave, 0) << "one of the wave still runs";
    EXPECT_TRUE(later->flags & OBJF_HIDDEN);
    ASSERT_TRUE(TickUntil(SMSG_EV_TARGET_DONE, b, 400));
    EXPECT_EQ(c->stats.wave, 1);
    Ticks(1);
    EXPECT_FALSE(later->flags & OBJF_HIDDEN) << "the second wave comes up";
    EXPECT_TRUE(a->flags & OBJF_HIDDEN);

    // Five hits put the last one down.
    for (int i = 0; i < 5; i++)
        Shoot(later);
    EXPECT_EQ(c->stats.numTargetsHit, 1);
    EXPECT_EQ(later->state, 3);
    Shoot(later);   // leaving: no longer hit
    EXPECT_EQ(c->stats.numHits, 7);
    ASSERT_TRUE(TickUntil(SMSG_GC_SUBGAME_LOST, nullptr, 100));
    EXPECT_EQ(world.mode, WORLD_MODE_PAUSED);
    EXPECT_EQ(GetPauseScreenMode(), UI_ShootingRoundScreen);
    EXPECT_STREQ(c->stats.name, "PRECISION AIM UNEARNED...");
    printf("range result: %s hits %d kills %d goal %d earned %d\n", c->stats.name, c->stats.numHits,
           c->stats.numTargetsHit, cFrangeSession[1].numGoal, c->stats.bEarned);
}

TEST_F(Range, TenKillsEarnTheGoalUnlessAHeadShotOrAnInnocentLowersTheScore)
{
    auto score = [&](int bullseyes, int innocents) {
        g_heard.clear();
        auto* c = Controller<FRangeMissionController>();
        SendSpecial(c, SMSG_MODE_START, c);
        for (int i = 0; i < 10; i++)
            SendSpecial(c, SMSG_EV_TARGET_DOWN, nullptr, 1);
        for (int i = 0; i < bullseyes; i++)
            SendSpecial(c, SMSG_EV_BULLSEYE);
        for (int i = 0; i < innocents; i++)
            SendSpecial(c, SMSG_EV_INNOCENT_HIT);
        // The last target reports done.
        c->stats.numTargets = 1;
        c->waveObjects = 1;
        SendSpecial(c, SMSG_EV_TARGET_DONE);
        Ticks(1);
        world.mode = WORLD_MODE_NORMAL;
        return std::make_pair(Heard(SMSG_GC_SUBGAME_WON), std::string(c->stats.name));
    };
    gc->iChallengeValue = 0;
    EXPECT_EQ(score(0, 0), std::make_pair(1, std::string("TWO-HANDED FIRING EARNED!")));
    EXPECT_EQ(score(1, 0), std::make_pair(0, std::string("TWO-HANDED FIRING UNEARNED...")));
    EXPECT_EQ(score(0, 1).first, 0);
    // A challenge past the table scores against the last session.
    gc->iChallengeValue = 40;
    EXPECT_EQ(score(0, 0).second, "TOP ACCURACY EARNED!");
}

TEST_F(Range, AHitHighAboveTheRangeIsIgnored)
{
    auto* c = Controller<FRangeMissionController>();
    TargetMoving_params p{};
    p.wave = 1;
    p.speed = 1.0f;
    auto* t = reinterpret_cast<TargetMoving*>(intptr_t(TargetMoving::staticmh(nullptr, OM_CREATE, nullptr)));
    t->bIsMoving = 1;
    t->ptmp = &p;
    t->pSpline = MakeSpline({VectorPos(0, -40, 0), VectorPos(1, -40, 0), VectorPos(2, -40, 0), VectorPos(3, -40, 0)});
    world.AddObject(t, nullptr);
    made.push_back(t);
    SendSpecial(t, SMSG_MODE_START, c);
    Ticks(2);
    EXPECT_FALSE(t->flags & 0x20);
    Shoot(t);
    EXPECT_EQ(t->numHits, 0);
    EXPECT_EQ(Heard(SMSG_EV_TARGET_DOWN), 0);
    // The range's fields are the range's only: a gun course's targets send
    // their events but write nothing.
    auto* course = Controller<GunCourseMissionController>();
    TargetStatic_params sp{};
    sp.wave = 1;
    auto* s = reinterpret_cast<TargetMoving*>(intptr_t(TargetMoving::staticmh(nullptr, OM_CREATE, nullptr)));
    s->ptsp = &sp;
    world.AddObject(s, nullptr);
    made.push_back(s);
    SendSpecial(s, SMSG_MODE_START, course);
    for (int i = 0; i < 5; i++)
        Shoot(s);
    EXPECT_EQ(Heard(SMSG_EV_TARGET_DOWN), 5);
    EXPECT_EQ(course->stats.numHits, 5);
}

TEST_F(Range, TheGunCourseRefillsEachWaveAndAwardsTheNextUpgradeOnce)
{
    gc->stats.curGunUpgrade = 2;
    player->leftgunarm.weapon.magSize = player->rightgunarm.weapon.magSize = 8;
    player->leftgunarm.weapon.bulletsLeft = 1;
    player->rightgunarm.weapon.bulletsLeft = 0;
    auto* c = Controller<GunCourseMissionController>();
    SendSpecial(c, SMSG_MODE_START, c);
    EXPECT_EQ(TakeText(), "EARN .5 PISTOLS UPGRADE!");
    SendSpecial(c, SMSG_EV_TARGET_DOWN, nullptr, 1);
    SendSpecial(c, SMSG_EV_TARGET_DONE);
    EXPECT_EQ(player->leftgunarm.weapon.bulletsLeft, 8);
    EXPECT_EQ(player->rightgunarm.weapon.bulletsLeft, 8);
    EXPECT_EQ(c->stats.wave, 1);
    EXPECT_EQ(c->stats.numHits, 0);
    const int at = world.time;
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    EXPECT_EQ(TakeText(), "WON .5 PISTOLS UPGRADE!");
    EXPECT_EQ(gc->stats.curGunUpgrade, 3u);
    Ticks(119);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 0);
    Ticks(1);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 1);
    EXPECT_EQ(g_heard.back().frame, at + 120);
    // The last upgrade won: no more, and the name stays the last one's.
    auto* again = Controller<GunCourseMissionController>();
    SendSpecial(again, SMSG_MODE_FINISHED, again);
    EXPECT_EQ(gc->stats.curGunUpgrade, 3u);
    EXPECT_EQ(TakeText(), "WON .5 PISTOLS UPGRADE!");
    // A player who dies after the finish changes nothing.
    SendSpecial(again, SMSG_EV_CHARACTER_DIED, player);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 0);
}

// ---------------------------------------------------------------------------
// Races

class Race : public SideGames
{
protected:
    void SetUp() override
    {
        SideGames::SetUp();
        // The circuit's start line at the origin, crossed going +z.
        gc->psplMission = MakeSpline({VectorPos(0, 0, 0), VectorPos(0, 0, 1), VectorPos(0, 0, 2), VectorPos(0, 0, 3)});
        rival = new Object;
        rival->id = 44;
        rival->mat = TransMatrix(VectorPos(3.0f, 0.0f, -2.0f));
    }
    void TearDown() override
    {
        for (Object* o : made)
            o->Delete();
        made.clear();
        free(gc->psplMission);
        gc->psplMission = nullptr;
        delete rival;
        SideGames::TearDown();
    }
    // The player drives to z, one frame.
    void PlayerTo(float z)
    {
        MovePlayerTo(VectorPos(0.0f, 0.0f, z));
        Ticks(1);
    }
    void RivalTo(float z)
    {
        rival->mat.SetTrans(VectorPos(3.0f, 0.0f, z));
        Ticks(1);
    }
    // Round the circuit: away from the line, back up behind it and over.
    void PlayerLap()
    {
        MovePlayerTo(VectorPos(20.0f, 0.0f, -1.0f));
        Ticks(1);
        PlayerTo(-1.0f);
        PlayerTo(1.0f);
    }
    void RivalLap()
    {
        rival->mat.SetTrans(VectorPos(20.0f, 0.0f, -1.0f));
        Ticks(1);
        RivalTo(-1.0f);
        RivalTo(1.0f);
    }
    // The last centre text posted since the last look.
    std::string LastText()
    {
        std::string last, t;
        while (!(t = TakeText()).empty())
            last = t;
        return last;
    }
    Object* rival = nullptr;
};

TEST_F(Race, LapsCountOnlyForwardAndTheLastLapIsSaid)
{
    player->mat = TransMatrix(VectorPos(0.0f, 0.0f, -1.0f));
    auto* c = Controller<RaceMissionController>([&](RaceMissionController& r) { r.rcTarget = rival; });
    SendSpecial(c, SMSG_MODE_START, c);
    EXPECT_EQ(TakeText(), "BEAT PELL IN 5 LAPS!");
    PlayerTo(1.0f);    // over the line at the start: lap 0
    EXPECT_EQ(c->i16DaceCurrLap, 0);
    PlayerLap();
    EXPECT_EQ(LastText(), "4 LAPS TO GO...");
    // Back over the line and forward again: no new lap.
    PlayerTo(-1.0f);
    EXPECT_EQ(c->i16DaceCurrLap, 0);
    PlayerTo(1.0f);
    EXPECT_EQ(c->i16DaceCurrLap, 1);
    EXPECT_EQ(c->i16DaceMaxLap, 1);
    EXPECT_EQ(LastText(), "");
    // Far from the line, a crossing of its plane does not count.
    MovePlayerTo(VectorPos(20.0f, 0.0f, -1.0f));
    Ticks(1);
    MovePlayerTo(VectorPos(20.0f, 0.0f, 1.0f));
    Ticks(1);
    EXPECT_EQ(c->i16DaceCurrLap, 1);
    PlayerLap();
    EXPECT_EQ(LastText(), "3 LAPS TO GO...");
    PlayerLap();
    EXPECT_EQ(LastText(), "2 LAPS TO GO...");
    PlayerLap();
    EXPECT_EQ(LastText(), "1 LAP TO GO...");
    PlayerLap();
    EXPECT_EQ(c->mode, 1);
    const int at = world.time;
    // Later events change nothing.
    SendSpecial(c, SMSG_EV_CHARACTER_DIED, player);
    Ticks(299);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 0);
    Ticks(1);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 1);
    EXPECT_EQ(g_heard.back().frame, at + 300);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 0);
}

TEST_F(Race, TheRivalsFifthLapLoses)
{
    player->mat = TransMatrix(VectorPos(0.0f, 0.0f, -5.0f));
    auto* c = Controller<RaceMissionController>([&](RaceMissionController& r) { r.rcTarget = rival; });
    SendSpecial(c, SMSG_MODE_START, c);
    RivalTo(1.0f);   // the start
    for (int lap = 1; lap <= 4; lap++)
        RivalLap();
    EXPECT_EQ(c->i16TargetMaxLap, 4);
    EXPECT_EQ(c->mode, 0);
    RivalLap();
    EXPECT_EQ(c->mode, 1);
    Ticks(300);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 1);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 0);
}

TEST_F(Race, TheStreetRaceIsWonByWhoeverCrossesTheFinishFirst)
{
    gc->iChallengeValue = 1;
    player->mat = TransMatrix(VectorPos(0.0f, 0.0f, 20.0f));
    auto* c = Controller<StreetRaceMissionController>([&](StreetRaceMissionController& r) {
        r.rcTarget = rival;
        r.vpFinishLine = VectorPos(0.0f, 0.0f, 30.0f);
        r.vdFinishDir = VectorDir(0.0f, 0.0f, 1.0f);
    });
    SendSpecial(c, SMSG_MODE_START, c);
    EXPECT_EQ(TakeText(), "Street Race");
    PlayerTo(29.0f);
    EXPECT_EQ(c->mode, 0);
    PlayerTo(31.0f);
    EXPECT_EQ(TakeText(), "NEW CAR 3 AWARDED");
    RivalTo(29.0f);
    RivalTo(31.0f);
    Ticks(300);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 1);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 0);

    g_heard.clear();
    Controller<StreetRaceMissionController>([&](StreetRaceMissionController& r) {
        r.rcTarget = rival;
        r.vpFinishLine = VectorPos(3.0f, 0.0f, 30.0f);
        r.vdFinishDir = VectorDir(0.0f, 0.0f, 1.0f);
    });
    // Back over the finish counts as much as forward.
    RivalTo(29.0f);
    EXPECT_EQ(TakeText(), "NO CAR AWARDED");
    Ticks(300);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 1);
}

TEST_F(Race, TheRivalIsHeldOnTheGridLaunchedInTwoStepsAndTheResultCutsToTheFixedCamera)
{
    // The rival sits in his car; its driver is the one held and let go.
    auto* car = new Vehicle;
    car->type = OBJT_VEHICLE;
    car->mat = TransMatrix(VectorPos(3.0f, 0.0f, -2.0f));
    car->fEngine = 0.7f;
    car->gear = 3;
    car->bPeelOut = true;
    auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(Name::Find("CarDriver"));
    ASSERT_NE(mh, nullptr);
    auto* driver = reinterpret_cast<CarDriver*>(mh(nullptr, OM_CREATE, nullptr));
    car->rcoDriver = driver;
    Object* racer = new Object;
    racer->id = -2;
    racer->type = OBJT_CHARACTER;
    car->Attach(racer);
    // The level's fixed camera, as set-up files make it.
    FixedCamera_params* block = nullptr;
    Camera* fixed = levelcam::LevelCamera(CAMMODE_FIXED, VectorPos(0.0f, -2.0f, -8.0f), 0.0f, &block);
    world.objectlist.AddTail(fixed);

    player->mat = TransMatrix(VectorPos(0.0f, 0.0f, -1.0f));
    auto* c = Controller<RaceMissionController>([&](RaceMissionController& r) { r.rcTarget = racer; });
    SendSpecial(c, SMSG_MODE_START, c);
    // Held: engine idling, out of gear, revving on the grid.
    EXPECT_FLOAT_EQ(car->fEngine, 0.0001f);
    EXPECT_EQ(car->gear, 0);
    EXPECT_EQ(driver->i16DriveSubMode, 1);
    // 120 frames on: first gear, the launch.
    Ticks(119);
    EXPECT_EQ(car->gear, 0);
    Ticks(1);
    EXPECT_EQ(car->gear, 1);
    EXPECT_EQ(driver->i16DriveSubMode, 2);
    EXPECT_FLOAT_EQ(car->fEngine, 0.0001f);
    // 60 more: full engine, second gear, racing.
    Ticks(59);
    EXPECT_EQ(driver->i16DriveSubMode, 2);
    Ticks(1);
    EXPECT_FLOAT_EQ(car->fEngine, 1.0f);
    EXPECT_EQ(car->gear, 2);
    EXPECT_FALSE(car->bPeelOut);
    EXPECT_EQ(driver->i16DriveSubMode, 0);

    // The player's win shows him from the level's fixed camera, cut to at
    // once; the rival's shows the rival.
    EXPECT_NE(GetCurrentCam(), fixed);
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    EXPECT_EQ(GetCurrentCam(), fixed);
    EXPECT_EQ(fixed->target, static_cast<Object*>(player));
    auto* lost = Controller<RaceMissionController>([&](RaceMissionController& r) { r.rcTarget = racer; });
    SendSpecial(lost, SMSG_MODE_END, lost);
    EXPECT_EQ(fixed->target, racer);
    Ticks(300);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 1);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 1);
    // A street race's rivals set off for the finish at once: none is held.
    auto* street = Controller<StreetRaceMissionController>([&](StreetRaceMissionController& r) { r.rcTarget = racer; });
    SendSpecial(street, SMSG_MODE_START, street);
    EXPECT_FLOAT_EQ(car->fEngine, 1.0f);
    EXPECT_EQ(driver->i16DriveSubMode, 0);

    SetCurrentCam(&g_DefaultCamera);
    world.StopFrameCall(fixed);
    world.objectlist.Remove(fixed);
    fixed->Delete();
    car->rcoDriver = nullptr;
    driver->Delete();
    racer->Detach();
    racer->Delete();
    car->Delete();
}

TEST(RaceLines, ACrossingIsForwardOrBackwardOnlyNearTheLine)
{
    const VectorPos line(0.0f, 0.0f, 0.0f);
    const VectorDir dir(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(LineCrossing(VectorPos(0, 0, 0), VectorPos(0, 0, -1), line, dir, 36.0f), 1);
    EXPECT_EQ(LineCrossing(VectorPos(0, 0, -0.5f), VectorPos(0, 0, 0), line, dir, 36.0f), -1);
    EXPECT_EQ(LineCrossing(VectorPos(0, 0, 1), VectorPos(0, 0, 0.5f), line, dir, 36.0f), 0);
    EXPECT_EQ(LineCrossing(VectorPos(6, 0, 0.1f), VectorPos(6, 0, -0.1f), line, dir, 36.0f), 0);
    EXPECT_EQ(LineCrossing(VectorPos(6, 0, 0.1f), VectorPos(6, 0, -0.1f), line, dir, 144.0f), 1);
}

// ---------------------------------------------------------------------------
// The small controllers

TEST_F(SideGames, AnInfiltrationUnderTheSuperPowerSurvivesABust)
{
    InfiltrateMissionParams imp{"the warehouse"};
    auto* c = Controller<InfiltrateMissionController>();
    c->pimp = &imp;
    EXPECT_EQ(c->mode, InfiltrateMissionController::INF_SETUP);
    SendSpecial(c, SMSG_MODE_START, c);
    EXPECT_EQ(TakeText(), "Infiltrate the warehouse.");
    gc->bSuperDace = true;
    SendSpecial(c, SMSG_EV_TARGET_BUSTED, player);
    SendSpecial(c, SMSG_EV_CHARACTER_DIED, player);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 0);
    gc->bSuperDace = false;
    SendSpecial(c, SMSG_EV_TARGET_BUSTED, player);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 1);
    EXPECT_EQ(c->mode, InfiltrateMissionController::INF_LOST);
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON), 0);
    gc->bSuperDace = false;
}

// The wander controller's relays reach every pedestrian.
std::vector<int> g_pedGot;
int PedMh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL)
        g_pedGot.push_back(static_cast<SpecialMessage*>(data)->submsg);
    return 0;
}

TEST_F(SideGames, FreeRoamingRelaysThePlayersAlarmsToThePedestrians)
{
    g_pedGot.clear();
    Object ped(PedMh);
    world.pedlist.AddTail(&ped);
    auto* c = Controller<WanderMissionController>();
    for (int code : {SMSG_EV_PLAYER_WARNING, SMSG_EV_PLAYER_SHOTS_A, SMSG_EV_PLAYER_SHOTS_B, SMSG_EV_PLAYER_COMBAT})
        SendSpecial(c, code, player);
    EXPECT_EQ(g_pedGot, (std::vector<int>{56, 57, 58, 102}));
    world.pedlist.Remove(&ped);
    SendSpecial(c, SMSG_EV_CHARACTER_DIED, player);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_LOST), 1);
}

TEST_F(SideGames, TheImpoundLotWithoutItsSetUpMakesNoCarAndReportsTheAlternativeWin)
{
    gc->rcoIntExtSetup = nullptr;
    gc->stats.curCarUpgrade = 0;
    auto* c = Controller<ImpoundLotMissionController>();
    SendSpecial(c, SMSG_MODE_START, c);
    int cars = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        cars += l->data->type == OBJT_VEHICLE ? 1 : 0;
    EXPECT_EQ(cars, 0);
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON_ALT), 1);
    EXPECT_EQ(gc->i8VehTypeId, -1);
}

}  // namespace

// ---------------------------------------------------------------------------
// A whole range session on the sample disc's firing range, with scripted
// hits: every pop-up and moving target is shot five times as soon as it is
// up; the no-shoot figure is left alone.

namespace {

TEST_F(SideGames, TheDiscsFiringRangeRunsItsWavesToTheResultScreen)
{
    std::vector<u8> bytes;
    std::string error;
    ASSERT_TRUE(tools::WriteSetup(tools::FiringRangeSetup(), bytes, error)) << error;
    explodetest::SlotFile file(196, bytes);
    Placeholder(-50, VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(gc->LoadIntExtSetup(-50, file.mf(), true), nullptr);
    int targets = 0, innocents = 0;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
        targets += l->data->messagehandler == &TargetMoving::staticmh ? 1 : 0;
        innocents += l->data->messagehandler == &TargetInnocent::staticmh ? 1 : 0;
    }
    EXPECT_EQ(targets, 5);
    EXPECT_EQ(innocents, 1);
    // The scene before the game, whose start names no game: no target comes
    // up until the range starts (one up early would go uncounted and its
    // wave would never end).
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        if (l->data->messagehandler == &TargetMoving::staticmh || l->data->messagehandler == &TargetInnocent::staticmh)
            SendSpecial(l->data, SMSG_MODE_START, nullptr);
    Ticks(100);
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        if (l->data->messagehandler == &TargetMoving::staticmh) {
            EXPECT_EQ(static_cast<TargetMoving*>(static_cast<Object*>(l->data))->state, 0);
            EXPECT_TRUE(l->data->flags & OBJF_HIDDEN);
        }

    gc->iChallengeValue = 4;   // "LASER BEAM"
    gc->SetFRangeMissionMode(-1);
    auto* c = static_cast<FRangeMissionController*>(gc->pMission);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->messagehandler, &FRangeMissionController::staticmh);
    EXPECT_EQ(c->stats.numTargets, 5);
    int frames = 0;
    while (gc->iMissionRet == 0 && frames < 5000) {
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next()) {
            Object* o = l->data;
            if (o->IsDead() || o->messagehandler != &TargetMoving::staticmh || !(o->flags & 0x20))
                continue;
            auto* t = static_cast<TargetMoving*>(o);
            if (t->state != 1 && t->state != 2)
                continue;
            VectorPos at = t->GetWorldPos();
            VectorDir n(0.0f, 0.0f, -1.0f);
            SpecialMessage hit(SMSG_BULLET_HIT, nullptr, &at, &n, nullptr, 0);
            t->SendMessage(OM_SPECIAL, &hit);
        }
        world.Update();
        frames++;
    }
    EXPECT_EQ(c->stats.wave, 2);
    EXPECT_EQ(c->stats.numTargetsHit, 5);
    EXPECT_EQ(c->stats.numHits, 25);
    EXPECT_EQ(c->stats.numFriendlies, 0);
    EXPECT_EQ(c->stats.bEarned, 0);
    EXPECT_STREQ(c->stats.name, "LASER BEAM UNEARNED...");
    EXPECT_EQ(gc->iMissionRet, 2) << "the game controller heard the loss";
    EXPECT_EQ(GetPauseScreenMode(), UI_ShootingRoundScreen);
    printf("firing range: %s hits %d kills %d goal %d earned %d after %d frames\n", c->stats.name,
           c->stats.numHits, c->stats.numTargetsHit, cFrangeSession[4].numGoal, c->stats.bEarned, frames);
    // The record the result screen was handed, and the lines it shows.
    const sShootingRoundStats& shown = UI.ShootingRoundStats;
    EXPECT_STREQ(shown.name, "LASER BEAM UNEARNED...");
    EXPECT_EQ(shown.numHits, 25);
    EXPECT_EQ(shown.numTargetsHit, 5);
    EXPECT_EQ(shown.bEarned, 0);
    UIItem item{};
    for (UIID id : {UI_ShootRoundTitle, UI_ShootRoundTargetHits, UI_ShootRoundHits}) {
        item.ID = id;
        UI.ShootingRoundCode(nullptr, &item, UI_Init, nullptr);
    }
    EXPECT_STREQ(ShootingRoundName, "LASER BEAM UNEARNED...");
    EXPECT_STREQ(ShootingRoundStatsTargetHit, "TARGETS SHOT:       5");
    EXPECT_STREQ(ShootingRoundStatsHits, "HITS:              25");
    printf("firing range screen: \"%s\" \"%s\" \"%s\"\n", ShootingRoundName, ShootingRoundStatsTargetHit,
           ShootingRoundStatsHits);
}

}  // namespace

namespace {


TEST_F(SideGames, TheImpoundLotOffersOneCarPerUpgradeAtTheSetUpsCarPlaces)
{
    explodetest::CarSlot car0(0, 0);
    tools::P2BFile f;
    f.models = {explodetest::BareModel(1.0f)};
    const int root = f.AddNode(-1, tools::MakeNode(0));
    f.AddNode(root, tools::MakeNode(MDL_NOGEOM, VectorPos(4, 0, 6), VectorXYZ(0, 0, 0), 0x8001));
    f.AddNode(root, tools::MakeNode(MDL_NOGEOM, VectorPos(-4, 0, 6), VectorXYZ(0, 0, 0), 0x8002));
    explodetest::SlotFile setupFile(197, f);
    Object* setup = new Object;
    setupFile.mf()->GetHierarchyTo(setup, 0, 0);
    setup->mat = TransMatrix(10.0f, 0.0f, 0.0f);
    gc->rcoIntExtSetup = setup;
    gc->stats.curCarUpgrade = 0;
    auto* c = Controller<ImpoundLotMissionController>();
    SendSpecial(c, SMSG_MODE_START, c);
    std::vector<Object*> cars;
    for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
        if (!l->data->IsDead() && l->data->type == OBJT_VEHICLE)
            cars.push_back(l->data.p);
    ASSERT_EQ(cars.size(), 1u);
    EXPECT_NEAR(cars[0]->mat.w[0], 14.0f, 1e-4f);
    EXPECT_NEAR(cars[0]->mat.w[2], 6.0f, 1e-4f);
    // Starting a car takes it.
    SendSpecial(c, SMSG_EV_ENGINE_SFX, player);
    EXPECT_EQ(Heard(SMSG_GC_SUBGAME_WON_ALT), 1);
    explodetest::DropCarDrivers();
    gc->rcoIntExtSetup = nullptr;
    setup->Delete();
}

}  // namespace
