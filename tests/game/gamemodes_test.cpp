// The game modes: the controllers' shared protocol, the timed and open
// drives to a glowing marker started by the game flow and won or lost, the
// marker's two stages and its shield price, the ambulance siren, the fist
// fight's ring and sideline and the shoot-out's stage checks.
#include "game/gamemodes_support.h"

#include <cmath>

#include "game/BadGuy.h"
#include "game/explode_support.h"
#include "tools/lib/props.h"

using namespace modetest;

namespace {

constexpr int kMarkerSlot = 144;

template <class T>
T* Make()
{
    return reinterpret_cast<T*>(intptr_t(T::staticmh(nullptr, OM_CREATE, nullptr)));
}

int Heard0(int code)
{
    for (const Heard& h : g_heard)
        if (h.code == code)
            return h.param0;
    return -999;
}

int IndexOf(int code)
{
    for (size_t i = 0; i < g_heard.size(); i++)
        if (g_heard[i].code == code)
            return int(i);
    return -1;
}

bool ShowsText(const MapDisplay& md, const char* text)
{
    for (const ScreenText& t : md.screentext)
        if (t.stPos != STP_NONE && std::string(t.cText) == text)
            return true;
    return false;
}

}  // namespace

TEST_F(ModeWorld, ControllersPassOnTheirEventRangeAndKeepOneStageEntryAtTheTail)
{
    g_pass = false;
    ShootoutMissionParams sp{1};
    auto* c = Make<ShootoutMissionController>();
    ASSERT_NE(c, nullptr);
    c->psmp = &sp;
    c->gameeventobj = recorder;
    world.AddObject(c, nullptr);

    for (int code : {22999, 23000, 23100, 23101, 28001 + 99})
        SendSpecial(c, code);
    ASSERT_EQ(g_heard.size(), 2u);
    EXPECT_EQ(g_heard[0].code, 23000);
    EXPECT_EQ(g_heard[1].code, 23100);

    // Added twice: one entry, moved to the tail.
    Object* a = new Object;
    Object* b = new Object;
    SendSpecial(c, SMSG_MODE_FOE_ADDED, a, 2);
    SendSpecial(c, SMSG_MODE_FOE_ADDED, b, 2);
    SendSpecial(c, SMSG_MODE_FOE_ADDED, a, 2);
    ASSERT_EQ(c->StageObjects[2].Count(), 2);
    EXPECT_EQ(c->StageObjects[2].Head()->data.p, b);
    EXPECT_EQ(c->StageObjects[2].Head()->Next()->data.p, a);
    // The shoot-out keeps its stage when an earlier one gets an enemy; a
    // stage outside 0..64 is ignored.
    SendSpecial(c, SMSG_MODE_FOE_ADDED, a, 0);
    SendSpecial(c, SMSG_MODE_SET_STAGE, nullptr, 65);
    SendSpecial(c, SMSG_MODE_FOE_ADDED, a, -1);
    EXPECT_EQ(SendSpecial(c, SMSG_MODE_GET_STAGE), 1);
    EXPECT_EQ(c->TotalStageObjects(), 3);
    // Stage 1 is empty: the next frame moves on to stage 2, which is not.
    Ticks(1);
    EXPECT_EQ(c->iStage, 2);
    SendSpecial(c, SMSG_MODE_FOE_REMOVED, a, 2);
    SendSpecial(c, SMSG_MODE_FOE_REMOVED, b, 2);
    Ticks(1);
    EXPECT_EQ(c->iStage, 63);

    // The fight lowers its stage to an earlier stage's new enemy.
    ControllerCombat_params cc{0, 0, 0, 0};
    auto* f = Make<FightMissionController>();
    f->pfmp = &cc;
    world.AddObject(f, nullptr);
    SendSpecial(f, SMSG_MODE_SET_STAGE, nullptr, 5);
    SendSpecial(f, SMSG_MODE_FOE_ADDED, b, 7);
    EXPECT_EQ(f->iStage, 5);
    SendSpecial(f, SMSG_MODE_FOE_ADDED, b, 3);
    EXPECT_EQ(f->iStage, 3);
    EXPECT_EQ(f->TotalStageObjects(), 2);
    a->Delete();
    b->Delete();
}

TEST_F(ModeWorld, AShootOutFromStage63IsWonAtItsFirstCheckUnlessThePlayerIsDownOrATriggerEndsIt)
{
    ShootoutMissionParams sp{63};
    // Won at the first 15-frame check; the text and voice of the mode.
    gc->SetShootoutMissionMode(sp, -1);
    auto* c = static_cast<ShootoutMissionController*>(gc->pMission);
    ASSERT_NE(c, nullptr);
    c->gameeventobj = recorder;
    EXPECT_TRUE(ShowsText(*md, "SHOOT SPA CREW"));
    int start = world.time;
    int at = TicksToResult(30);
    EXPECT_EQ(gc->iMissionRet, 1);
    EXPECT_GE(at - start, 15);
    EXPECT_LE(at - start, 16);
    EXPECT_EQ(DaceVO.votype, DaceVO_GunsFinish);

    // Not while the player is down; at the next check once he is up.
    world.StopTimer(gc);
    gc->iMissionRet = 0;
    g_heard.clear();
    player->flags |= 0x20000000;
    gc->SetShootoutMissionMode(sp, -1);
    static_cast<ShootoutMissionController*>(gc->pMission)->gameeventobj = recorder;
    EXPECT_EQ(TicksToResult(60), -1);
    player->flags &= ~0x20000000u;
    start = world.time;
    at = TicksToResult(30);
    EXPECT_EQ(gc->iMissionRet, 1);
    EXPECT_LE(at - start, 16);

    // Never while a player-mode trigger of the level ends the mode.
    world.StopTimer(gc);
    gc->iMissionRet = 0;
    gc->SetShootoutMissionMode(sp, -1);
    static_cast<ShootoutMissionController*>(gc->pMission)->gameeventobj = recorder;
    gc->iFlags |= GCF_PLACEMENT;
    EXPECT_EQ(TicksToResult(200), -1);
    // Its own player's death loses it.
    SendSpecial(gc->pMission, SMSG_EV_CHARACTER_DIED, player);
    EXPECT_EQ(gc->iMissionRet, 2);
}

// The drive started by the game flow: the marker comes up at placeholder -5
// with its look; far away nothing happens; within 3.125 the marker reports
// arrival and the mode is won within one of its checks (7.5 to 11.5
// frames).
TEST_F(ModeWorld, AnOpenDriveIsWonAtTheMarker)
{
    explodetest::SlotFile markers(kMarkerSlot, tools::AttentionGlowFile());
    Placeholder(-5, VectorPos(100.0f, 0.0f, 40.0f));
    PutInCar(VectorPos(0.0f, 0.0f, 0.0f));
    DriveToMissionParams p{-5, 0, "BAR"};
    gc->SetDriveToMissionMode(p, -1, true);
    EXPECT_EQ(gc->mode, 9);
    auto* c = static_cast<DriveToMissionController*>(gc->pMission);
    ASSERT_NE(c, nullptr);
    c->gameeventobj = recorder;
    ASSERT_NE(c->target, nullptr);
    GameModeTarget* t = c->target;
    EXPECT_EQ(t->GetWorldPos(), VectorPos(100.0f, 0.0f, 40.0f));
    EXPECT_EQ(t->i16Flags, 0);
    EXPECT_EQ(t->id, 0);
    EXPECT_EQ(t->flags & 0x20002u, 0x20002u);
    ASSERT_NE(t->child, nullptr);   // the column of node 24
    EXPECT_EQ(md->flags & 1u, 1u);
    EXPECT_EQ(md->GetCurrTargetPos(), VectorPos(100.0f, 0.0f, 40.0f));
    EXPECT_TRUE(ShowsText(*md, "RACE TO BAR"));
    EXPECT_EQ(DaceVO.votype, DaceVO_DriveToStart);

    EXPECT_EQ(TicksToResult(300), -1);
    MovePlayerTo(VectorPos(103.0f, 0.0f, 40.0f));
    const int start = world.time;
    const int at = TicksToResult(20);
    ASSERT_NE(at, -1);
    EXPECT_LE(at - start, 12);
    EXPECT_EQ(gc->iMissionRet, 1);
    // Arrival (23025 with the marker's id) came first, then the win; the
    // arrival line of an open drive.
    ASSERT_GE(IndexOf(SMSG_EV_TARGET_REACHED), 0);
    EXPECT_LT(IndexOf(SMSG_EV_TARGET_REACHED), IndexOf(SMSG_GC_SUBGAME_WON));
    EXPECT_EQ(Heard0(SMSG_EV_TARGET_REACHED), 0);
    EXPECT_EQ(Count(SMSG_GC_SUBGAME_WON), 1);
    EXPECT_EQ(DaceVO.votype, DaceVO_RaceToFinish);
}

// A drive of 90 frames: its clock runs down 15 frames a check and the loss
// comes once, at the sixth check.  Each check is armed from the tick that
// ran the last one, and the mode's ticks are 1.2 frames long, so the sixth
// comes 90 to 97.2 frames after the start.
TEST_F(ModeWorld, ATimedDriveIsLostOnceWhenItsClockRunsOut)
{
    explodetest::SlotFile markers(kMarkerSlot, tools::AttentionGlowFile());
    Placeholder(-5, VectorPos(100.0f, 0.0f, 40.0f));
    PutInCar(VectorPos(0.0f, 0.0f, 0.0f));
    DriveToMissionParams p{-5, 90, "BAR"};
    gc->SetDriveToMissionMode(p, -1, true);
    EXPECT_EQ(gc->mode, 10);
    auto* c = static_cast<DriveToMissionController*>(gc->pMission);
    ASSERT_NE(c, nullptr);
    c->gameeventobj = recorder;
    EXPECT_EQ(md->flags & 3u, 3u);
    EXPECT_EQ(DaceVO.votype, DaceVO_RaceToStart);
    const int start = world.time;
    const int at = TicksToResult(200);
    EXPECT_EQ(gc->iMissionRet, 2);
    EXPECT_GE(at - start, 90);
    EXPECT_LE(at - start, 97);
    EXPECT_EQ(gc->iTimeDisplay, 0);
    Ticks(100);
    EXPECT_EQ(Count(SMSG_GC_SUBGAME_LOST), 1);
    EXPECT_EQ(DaceVO.votype, DaceVO_RaceToAbort);
    // The average speed over the checks was the car's, standing: 0; the
    // distance told was 1.4 times the true one.
    EXPECT_NEAR(gc->fTargDist, 1.4f * std::sqrt(100.0f * 100.0f + 40.0f * 40.0f), 1e-3f);
}

TEST_F(ModeWorld, TwoStageMarkersWantThePlayerOnFootAndAShieldPricedOneRefusesUntilHeWalksAway)
{
    explodetest::SlotFile markers(kMarkerSlot, tools::AttentionGlowFile());
    g_pass = false;
    gc->pMission = recorder;
    auto* c = Make<DriveToMissionController>();
    c->bEnableWalkTo = true;
    VectorPos at(10.0f, 0.0f, 0.0f);
    GameModeTarget* t = c->CreateDriveToModeTargetObj(at, false, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->i16Flags, GMTF_TWOSTAGE);
    world.AddObject(t, nullptr);
    // The exit spots as a city would give them: the door 5 units on.
    t->mode = 1;
    t->vpSrceChar = VectorPos(15.0f, 0.0f, 0.0f);
    world.SetTimer(t, AnimTime(256), nullptr);

    // First stage: the car 2 from the marker.  The marker moves to the door
    // and reports arrival, but the car never enters it.
    PutInCar(VectorPos(12.0f, 0.0f, 0.0f));
    Ticks(15);
    EXPECT_EQ(t->mode, 2);
    EXPECT_EQ(t->GetWorldPos(), VectorPos(15.0f, -0.3125f, 0.0f));
    EXPECT_EQ(Count(SMSG_EV_TARGET_REACHED), 1);
    MovePlayerTo(VectorPos(15.0f, 0.0f, 0.0f));
    Ticks(60);
    EXPECT_EQ(Count(SMSG_MODE_FINISHED), 0);

    // A shield price: on foot on the door with 50 points he is refused, the
    // look hidden, the text posted.
    t->i16Flags |= GMTF_SHIELD;
    gc->stats.nPoints = 50;
    player->Detach();
    player->mat = TransMatrix(15.0f, 0.0f, 0.2f);
    Ticks(15);
    EXPECT_EQ(t->mode, 3);
    ASSERT_NE(t->child, nullptr);
    EXPECT_NE(t->child->flags & OBJF_HIDDEN, 0u);
    EXPECT_TRUE(ShowsText(*md, "ONE SHIELD REQUIRED TO ENTER!"));
    // Points enough now, but he must walk off first.
    gc->stats.nPoints = 150;
    Ticks(60);
    EXPECT_EQ(t->mode, 3);
    player->mat.SetTrans(VectorPos(15.0f, 0.0f, 3.2f));
    Ticks(15);
    EXPECT_EQ(t->mode, 2);
    EXPECT_EQ(t->child->flags & OBJF_HIDDEN, 0u);
    player->mat.SetTrans(VectorPos(15.0f, 0.0f, 0.2f));
    Ticks(15);
    EXPECT_EQ(Count(SMSG_MODE_FINISHED), 1);
    EXPECT_EQ(gc->stats.nPoints, 50u);
    EXPECT_EQ(dace->target.p, t);
    gc->pMission = nullptr;
    c->Delete();
}

// 120 frames up and 120 down in 7-frame steps: 18 steps a phase, the object
// gone at the 36th, frame 252.
TEST_F(ModeWorld, TheAmbulanceSirenGoesAtItsThirtySixthStep)
{
    auto* a = reinterpret_cast<AmbulanceSound*>(intptr_t(AmbulanceSound::AmbulanceSound_mh(nullptr, OM_CREATE, nullptr)));
    ASSERT_NE(a, nullptr);
    RCptr<Object> hold(a);
    world.AddObject(a, nullptr);
    const int start = world.time;
    int gone = -1;
    for (int i = 0; i < 400 && gone < 0; i++) {
        Ticks(1);
        if (a->IsDead()) {
            gone = world.time - start;
        } else if (world.time - start == 126) {
            EXPECT_EQ(a->mode, 1);   // the 18th step turned it round
        }
    }
    EXPECT_EQ(gone, 252);
}

namespace {

// A foe: a fighter as its kind makes it, at p (no model, not in the world:
// the fight only reads its place and writes its orders).
Enemy* Foe(VectorPos p)
{
    auto* e = reinterpret_cast<Enemy*>(intptr_t(Enemy::FighterEnemy_mh(nullptr, OM_CREATE, nullptr)));
    e->mat = TransMatrix(p);
    return e;
}

void ExpectAt(VectorPos got, float x, float z)
{
    EXPECT_NEAR(got[0], x, 1e-4f);
    EXPECT_NEAR(got[2], z, 1e-4f);
}

}  // namespace

TEST_F(ModeWorld, FightFoesTakeTheFrontTheRingAndTheSideline)
{
    // One active foe: the nearest becomes the front; the two others wait at
    // the sideline on its side, ahead and 40 degrees to its right-hand
    // (negative) side, 3.125 from the player.
    ControllerCombat_params one{0, 0, 0, 0};
    gc->SetFightMissionMode(&one, -1);
    auto* f = static_cast<FightMissionController*>(gc->pMission);
    ASSERT_NE(f, nullptr);
    f->gameeventobj = recorder;
    g_pass = false;
    Enemy* foes[3] = {Foe(VectorPos(0, 0, 5)), Foe(VectorPos(2, 0, 6)), Foe(VectorPos(-3, 0, 7))};
    for (Object* e : foes)
        SendSpecial(f, SMSG_EV_ADD_PASSIVE_FOE, e);
    Ticks(1);
    ASSERT_EQ(f->numactivefoes, 1);
    EXPECT_EQ(f->activefoes[0], foes[0]);
    EXPECT_EQ(foes[0]->attackmode, Enemy::AM_FRONT);
    EXPECT_EQ(foes[1]->attackmode, Enemy::AM_PASSIVE);
    EXPECT_EQ(foes[2]->attackmode, Enemy::AM_PASSIVE);
    // Taking foe 0 off the sideline moved the last one, foe 2, to index 0.
    ASSERT_EQ(f->passivefoes[0], foes[2]);
    ExpectAt(foes[2]->fightpos, 0.0f, 3.125f);
    const float a = -0.6981317f;
    ExpectAt(foes[1]->fightpos, 3.125f * std::sin(a), 3.125f * std::cos(a));
    EXPECT_NEAR(Length(VectorDir(foes[1]->fightpos)), 3.125f, 1e-4f);

    // All active (init_active 2): the second stands 1.875 behind the player,
    // across from the front foe.
    ControllerCombat_params all{0, 0, 2, 0};
    gc->SetFightMissionMode(&all, -1);
    f = static_cast<FightMissionController*>(gc->pMission);
    f->gameeventobj = recorder;
    for (Object* e : foes)
        SendSpecial(f, SMSG_EV_ADD_PASSIVE_FOE, e);
    Ticks(1);
    ASSERT_EQ(f->numactivefoes, 3);
    EXPECT_EQ(f->activefoes[0], foes[0]);
    EXPECT_EQ(f->activefoes[1], foes[1]);
    ExpectAt(foes[1]->fightpos, 0.0f, -1.875f);
    EXPECT_EQ(foes[1]->attackmode, Enemy::AM_ACTIVE);

    // The front foe dies: the foe moved into index 0 takes the front and the
    // time of the last switch stays.
    const int switched = f->lastfrontswitch;
    Ticks(5);
    SendSpecial(f, SMSG_EV_CHARACTER_DIED, foes[0]);
    ASSERT_EQ(f->numactivefoes, 2);
    EXPECT_EQ(f->activefoes[0], foes[2]);
    EXPECT_EQ(foes[2]->attackmode, Enemy::AM_FRONT);
    EXPECT_EQ(f->lastfrontswitch, switched);

    // A 33rd foe is turned away.
    std::vector<Enemy*> crowd;
    for (int i = 0; i < 33; i++) {
        crowd.push_back(Foe(VectorPos(float(i), 0, 20)));
        f->AddPassiveFoe(crowd.back());
    }
    EXPECT_EQ(f->numpassivefoes, 32);
    for (Object* e : crowd)
        e->Delete();
    for (Object* e : foes)
        e->Delete();
}

TEST_F(ModeWorld, FightFrontFoeSwitchesOnlyOnceThePlayerHasStoppedAttacking)
{
    // Two active foes; the second comes nearest while the player fights.
    ControllerCombat_params all{0, 0, 2, 0};
    gc->SetFightMissionMode(&all, -1);
    auto* f = static_cast<FightMissionController*>(gc->pMission);
    ASSERT_NE(f, nullptr);
    f->gameeventobj = recorder;
    Object* foes[2] = {Foe(VectorPos(0, 0, 5)), Foe(VectorPos(0, 0, 9))};
    for (Object* e : foes)
        SendSpecial(f, SMSG_EV_ADD_PASSIVE_FOE, e);
    Ticks(1);
    ASSERT_EQ(f->numactivefoes, 2);
    ASSERT_EQ(f->activefoes[0], foes[0]);
    foes[0]->mat.SetTrans(VectorPos(0, 0, 8));
    foes[1]->mat.SetTrans(VectorPos(0, 0, 2));
    const s8 mode = player->mode;
    player->mode = 3;
    // Attacked 60 frames ago: the front stays however long the fight runs.
    player->attackidle = 60;
    Ticks(70);
    EXPECT_EQ(f->activefoes[0], foes[0]);
    // 61 frames: the nearest takes the front.
    player->attackidle = 61;
    Ticks(1);
    EXPECT_EQ(f->activefoes[0], foes[1]);
    EXPECT_EQ(f->lastfrontswitch, ModeNow());
    player->mode = mode;
    for (Object* e : foes)
        e->Delete();
}

namespace {

// A controller stand-in for the triggers: answers its stage and notes what
// it is told.
int g_stage = 0;
int Stage_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL)
        return 0;
    auto* m = static_cast<SpecialMessage*>(data);
    g_heard.push_back({m->submsg, m->obj, int(m->param[0]), world.time});
    if (m->submsg == SMSG_MODE_GET_STAGE)
        return g_stage;
    if (m->submsg == SMSG_MODE_SET_STAGE)
        g_stage = m->param[0];
    return 0;
}

// The volume of the box c +- h.
Extent Volume(VectorPos c, float h)
{
    return Extent(Cuboid(c, h).UnitMat());
}

template <class T>
T* Trigger(Object* controller)
{
    T* t = Make<T>();
    world.AddObject(t, nullptr);
    SendSpecial(t, SMSG_MODE_START, controller, 6);
    world.SetTimer(t, AnimTime(256), nullptr);
    return t;
}

}  // namespace

TEST_F(ModeWorld, WaveTriggersRaiseTheStageOnceAndOnlyOnTheCrossingInModeTwo)
{
    Object* controller = new Object(Stage_mh);
    // Mode 2: volume 1 at x 0..10, volume 2 at x 10..20 (z -5..5).
    auto* w = Trigger<EnemyWaveTrigger>(controller);
    w->ewtp.trigger1 = Volume(VectorPos(5, 0, 0), 5.0f);
    w->ewtp.trigger2 = Volume(VectorPos(15, 0, 0), 5.0f);
    w->ewtp.triggermode = 2;
    w->ewtp.wave = 4;
    g_stage = 1;
    // Into volume 2 from outside both: nothing.
    player->mat.SetTrans(VectorPos(15, 0, 30));
    Ticks(10);
    player->mat.SetTrans(VectorPos(15, 0, 0));
    Ticks(10);
    EXPECT_EQ(Count(SMSG_MODE_SET_STAGE), 0);
    // Back into 1, then across into 2: the stage goes to the wave, once.
    player->mat.SetTrans(VectorPos(5, 0, 0));
    Ticks(10);
    player->mat.SetTrans(VectorPos(15, 0, 0));
    Ticks(10);
    EXPECT_EQ(Count(SMSG_MODE_SET_STAGE), 1);
    EXPECT_EQ(g_stage, 4);
    player->mat.SetTrans(VectorPos(5, 0, 0));
    Ticks(10);
    player->mat.SetTrans(VectorPos(15, 0, 0));
    Ticks(10);
    EXPECT_EQ(Count(SMSG_MODE_SET_STAGE), 1);

    // A controller at or past the wave is never set back.
    auto* later = Trigger<EnemyWaveTrigger>(controller);
    later->ewtp.trigger1 = Volume(VectorPos(15, 0, 0), 5.0f);
    later->ewtp.triggermode = 0;
    later->ewtp.wave = 2;
    Ticks(10);
    EXPECT_EQ(g_stage, 4);
    EXPECT_EQ(Count(SMSG_MODE_SET_STAGE), 1);
    EXPECT_EQ(Count(SMSG_MODE_GET_STAGE), 2);
    controller->Delete();
}

TEST_F(ModeWorld, ModeTriggersWithoutVolumesNeverFireAndATaskExitRepeatsWhileInside)
{
    Object* controller = new Object(Stage_mh);
    auto* none = Trigger<DaceModeTrigger>(controller);
    none->dmtp.task_exit = 1;
    Ticks(60);
    EXPECT_EQ(Count(SMSG_MODE_FINISHED), 0);

    auto* exit = Trigger<DaceModeTrigger>(controller);
    exit->dmtp.trigger3 = Volume(VectorPos(0, 0, 0), 2.0f);
    exit->dmtp.task_exit = 1;
    Ticks(60);
    // Every 2 to 5 frames over 60 frames: 12 to 30 times.
    EXPECT_GE(Count(SMSG_MODE_FINISHED), 12);
    EXPECT_LE(Count(SMSG_MODE_FINISHED), 30);
    for (const Heard& h : g_heard)
        EXPECT_EQ(h.obj, exit);

    // Without task_exit the player is put where the trigger stands.
    exit->dmtp.task_exit = 0;
    exit->mat = TransMatrix(1.0f, 0.0f, 1.0f);
    Ticks(6);
    EXPECT_EQ(player->mat.GetTrans(), VectorPos(1.0f, 0.0f, 1.0f));
    controller->Delete();
}
