// Dojo training: the dummies count blows toward a daze, regain one every 120
// resting frames and break when their strength is spent or the trained
// attack lands; the session places each round's dummies, counts only its
// attack, cycles rounds until its minute is up and keeps or withdraws the
// attack.
#include "game/explode_support.h"
#include "game/gamemodes_support.h"

#include "tools/lib/sidegamefiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ZevEngine2/Collision.h"
#include "game/BadGuy.h"
#include "game/Guy.h"
#include "game/PlayerAnim.h"
#include "game/userintf.h"

using explodetest::SlotFile;
using modetest::g_heard;
using modetest::Heard;

namespace {

constexpr int kInteriorSlot = 195;

// A character whose blows have the strength `blow` and whose animation is
// mode2; it notes what it is told.
int g_blow = 10;
std::vector<int> g_strikerGot;
int StrikerMh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL) {
        const int code = static_cast<SpecialMessage*>(data)->submsg;
        g_strikerGot.push_back(code);
        return code == SMSG_Q_COLLISION ? g_blow : 0;
    }
    if (msg == OM_DIE) {
        delete static_cast<Guy*>(o);
        return -1;
    }
    return 0;
}

// An event object that answers 23038 with `answer` and notes every event.
int g_answer = 0;
int SinkMh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL)
        return 0;
    auto* m = static_cast<SpecialMessage*>(data);
    g_heard.push_back({m->submsg, m->obj, int(m->param[0]), world.time});
    return m->submsg == SMSG_EV_TARGET_DOWN ? g_answer : 0;
}

class Dojo : public modetest::ModeWorld
{
protected:
    void SetUp() override
    {
        ModeWorld::SetUp();
        g_blow = 10;
        g_answer = 0;
        g_strikerGot.clear();
        striker = new Guy(StrikerMh);
        striker->type = OBJT_CHARACTER;
        fist = new Object;
        fist->flags = 0x1000;
        sink = new Object(SinkMh);
        world.mode = WORLD_MODE_NORMAL;
    }
    void TearDown() override
    {
        world.mode = WORLD_MODE_NORMAL;
        striker->Delete();
        delete fist;
        sink->Delete();
        ModeWorld::TearDown();
    }

    template <class T>
    T* Dummy(float strength)
    {
        auto* d = reinterpret_cast<T*>(intptr_t(T::staticmh(nullptr, OM_CREATE, nullptr)));
        d->mat = Matrix(true);
        d->fStrength = strength;
        world.AddObject(d, nullptr);
        SendSpecial(d, SMSG_MODE_START, sink);
        Ticks(40);   // the drop-in
        return d;
    }
    // One blow of the striker with animation anim on d.
    void Hit(Object* d, int anim)
    {
        striker->mode2 = u16(anim);
        CollisionRecord rec(d, striker);
        rec.Set(nullptr, nullptr, nullptr, fist);
        d->SendMessage(OM_COLLISION, &rec);
    }
    static int Ask(Object* d, int code) { return SendSpecial(d, code); }
    static bool Alive(Object* d)
    {
        return world.objectlist.Find(d->id) == d && !d->IsDead();
    }

    Guy* striker = nullptr;
    Object* fist = nullptr;
    Object* sink = nullptr;
};

TEST_F(Dojo, BlowsCountTowardADazeAndTheFourthRestoresIt)
{
    auto* d = Dummy<BoardDummy>(0.0f);
    ASSERT_EQ(d->state, BoardDummy::BOARD_STOPPED);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH_MAX), 3);
    std::vector<int> counts, melee;
    for (int i = 0; i < 4; i++) {
        Hit(d, COMBAT_P_ANI);
        counts.push_back(Ask(d, SMSG_Q_HUD_STRENGTH));
        melee.push_back(Ask(d, SMSG_Q_MELEE));
        // Back to rest before the next blow (the recoil lasts 30 frames).
        Ticks(30);
        EXPECT_EQ(d->state, BoardDummy::BOARD_STOPPED);
    }
    EXPECT_EQ(counts, (std::vector<int>{2, 1, 0, 3}));
    EXPECT_EQ(melee, (std::vector<int>{0, 0, 1, 0}));
    // Strength 0: never broken, and a plain punch trains nothing.
    EXPECT_TRUE(Alive(d));
    EXPECT_EQ(Count(SMSG_EV_TARGET_DOWN), 0);
    // Every counted blow told the striker it hit.
    int hits = 0;
    for (int c : g_strikerGot)
        hits += c == SMSG_EV_ATTACK_HIT ? 1 : 0;
    EXPECT_EQ(hits, 4);
    d->Delete();
}

TEST_F(Dojo, BlowsOutsideRestCountNothingAndHitsComeBackEvery120FramesAcrossTheWrap)
{
    // The 16-bit frame clock wraps during the rest.
    world.timePrecise = AnimTime(u32(65500) << 8);
    world.time = 65500;
    auto* d = Dummy<WoodDummy>(0.0f);
    Hit(d, COMBAT_P_ANI);
    ASSERT_EQ(d->state, WoodDummy::WOOD_RECOIL);
    Hit(d, COMBAT_P_ANI);   // during the recoil: not counted
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 2);
    Ticks(30);
    ASSERT_EQ(d->state, WoodDummy::WOOD_STOPPED);
    Hit(d, COMBAT_P_ANI);
    Ticks(30);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 1);
    ASSERT_LT(world.time & 0xFFFF, 65500);   // past the wrap
    Ticks(119);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 1) << "not yet 120 frames at rest";
    Ticks(1);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 2) << "one regained on the 120th frame";
    Ticks(119);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 2);
    Ticks(1);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 3);
    Ticks(200);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 3) << "never above the total";
    // The wooden dummy's own strike answers 5 in any state.
    EXPECT_EQ(Ask(d, SMSG_Q_COLLISION), 5);
    EXPECT_EQ(d->state, WoodDummy::WOOD_STOPPED);
    d->Delete();
}

TEST_F(Dojo, TheTrainedAttackBreaksADummyAtOnceAndItIsReportedDown)
{
    auto* d = Dummy<BoardDummy>(30.0f);
    // A trained attack the dojo does not count: damage 10 only.
    g_answer = 0;
    Hit(d, COMBAT_BACK_K_ANI);
    EXPECT_FLOAT_EQ(d->fStrength, 20.0f);
    ASSERT_EQ(Count(SMSG_EV_TARGET_DOWN), 1);
    EXPECT_EQ(g_heard.back().param0, 0x2);
    Ticks(30);
    // The dojo counts it: the blow breaks the dummy whatever its strength.
    // Without an explosion for it, it is reported down at once and goes.
    g_answer = 1;
    Hit(d, COMBAT_FINISH_LOWLEGSWEEP_ANI);
    EXPECT_EQ(g_heard.back().code, SMSG_EV_KNOCKED_DOWN);
    EXPECT_EQ(g_heard.back().obj, d);
    EXPECT_EQ(g_heard[g_heard.size() - 2].param0, 0x10);
}

TEST_F(Dojo, TheWoodenDummySpinsInAtANearPlayerAndItsStrikeSendsItReeling)
{
    auto* d = Dummy<WoodDummy>(0.0f);
    player->mat = TransMatrix(VectorPos(0.0f, 0.0f, 0.5f));
    d->pTarget = player;
    auto flat = [&] {
        VectorDir v = player->GetWorldPos() - d->GetWorldPos();
        v[1] = 0.0f;
        return std::sqrt(Dot(v, v));
    };
    // Within sqrt(0.625) of him it stands, turns to him and, after 30
    // frames at rest, attacks by a 5-in-100 chance each frame.
    const u16 rested = d->stateFrame;
    for (int i = 0; i < 3000 && d->state != WoodDummy::WOOD_ATTACK; i++)
        Ticks(1);
    ASSERT_EQ(d->state, WoodDummy::WOOD_ATTACK);
    EXPECT_GT(u16(d->stateFrame - rested), 30);
    EXPECT_TRUE(d->flags & 0x1000) << "its strike is live";
    EXPECT_NEAR(flat(), 0.5f, 1e-4f);
    // Attacking, it takes no blows.
    Hit(d, COMBAT_P_ANI);
    EXPECT_EQ(Ask(d, SMSG_Q_HUD_STRENGTH), 3);
    EXPECT_EQ(d->state, WoodDummy::WOOD_ATTACK);
    // A player who is down is left alone.
    const Matrix before = d->mat;
    player->flags |= 0x40000000;
    Ticks(3);
    EXPECT_EQ(std::memcmp(&before, &d->mat, sizeof(Matrix)), 0);
    player->flags &= ~0x40000000u;
    // Spinning 20 degrees a frame about its own upright while closing in
    // 0.01 a frame: eighteen frames turn it once round.
    for (int k = 1; k <= 18; k++) {
        const VectorDir z0(d->mat.z[0], d->mat.z[1], d->mat.z[2]);
        Ticks(1);
        const VectorDir z1(d->mat.z[0], d->mat.z[1], d->mat.z[2]);
        EXPECT_NEAR(std::acos(std::clamp(Dot(z0, z1), -1.0f, 1.0f)), 0.349066f, 1e-3f) << k;
        EXPECT_NEAR(flat(), 0.5f - 0.01f * float(k), 1e-4f) << k;
    }
    EXPECT_NEAR(d->mat.z[0], before.z[0], 1e-3f);
    EXPECT_NEAR(d->mat.z[2], before.z[2], 1e-3f);
    // Its strike lands (the struck one asks its strength): 5, and it
    // reels, first on into him by 0.02, then back off him.
    EXPECT_EQ(Ask(d, SMSG_Q_COLLISION), 5);
    EXPECT_EQ(d->state, WoodDummy::WOOD_RECOIL);
    EXPECT_FALSE(d->flags & 0x1000);
    const float at = flat();
    Ticks(1);
    EXPECT_NEAR(flat(), at - 0.02f, 1e-4f);
    Ticks(1);
    EXPECT_NEAR(flat(), at - 0.02f + 0.014f, 1e-4f);
    Ticks(27);
    EXPECT_EQ(d->state, WoodDummy::WOOD_RECOIL);
    Ticks(1);
    EXPECT_EQ(d->state, WoodDummy::WOOD_STOPPED) << "30 frames of it";
    d->Delete();
}

TEST(DojoAttackBits, EachTrainedAttackHasItsBit)
{
    EXPECT_EQ(DummyAttackBit(COMBAT_RUNNING_K_ANI), 0x1);
    EXPECT_EQ(DummyAttackBit(COMBAT_BACK_P_ANI), 0x2);
    EXPECT_EQ(DummyAttackBit(COMBAT_LYINGDOWN_K_GETUP_ANI), 0x4);
    EXPECT_EQ(DummyAttackBit(COMBAT_FINISH_WINDMILLKICK_ANI), 0x200);
    EXPECT_EQ(DummyAttackBit(COMBAT_GRAPPLE_KNEEBASH_START_ANI), 0x1000);
    EXPECT_EQ(DummyAttackBit(COMBAT_FINISH_KICK_ANI), 0);
    EXPECT_EQ(DummyAttackBit(COMBAT_GRAPPLE_TRIP_START_ANI), 0);
}

// ---------------------------------------------------------------------------
// The session

class DojoSession : public Dojo
{
protected:
    void SetUp() override
    {
        Dojo::SetUp();
        interior = std::make_unique<SlotFile>(kInteriorSlot, tools::DojoInteriorFile());
        gc->stats.fightAbility = 0;
        gc->stats.curFightChallenge = 0;
        player->mat = TransMatrix(VectorPos(2.0f, 0.0f, 5.0f));
    }
    void TearDown() override
    {
        world.mode = WORLD_MODE_NORMAL;
        if (c != nullptr)
            c->Delete();
        // The dummies go with the world.
        std::vector<Object*> dummies = Dummies();
        for (Object* d : dummies)
            d->Delete();
        interior.reset();
        Dojo::TearDown();
    }
    void Start(int challenge)
    {
        gc->iChallengeValue = challenge;
        c = reinterpret_cast<DojoTrainingModeController*>(
            intptr_t(DojoTrainingModeController::staticmh(nullptr, OM_CREATE, nullptr)));
        c->gameeventobj = sink;
        world.AddObject(c, nullptr);
        SendSpecial(c, SMSG_MODE_START, c);
        world.mode = WORLD_MODE_NORMAL;   // the round screen closed
    }
    static std::vector<Object*> Dummies()
    {
        std::vector<Object*> v;
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (l->data->messagehandler == &BoardDummy::BoardDummy_mh ||
                l->data->messagehandler == &WoodDummy::WoodDummy_mh)
                v.push_back(l->data);
        return v;
    }
    // Every dummy reported down: the next round comes.
    void DownAll()
    {
        for (Object* d : Dummies()) {
            SendSpecial(c, SMSG_EV_KNOCKED_DOWN, d);
            d->Delete();
        }
    }

    std::unique_ptr<SlotFile> interior;
    DojoTrainingModeController* c = nullptr;
};

TEST_F(DojoSession, EachRoundPutsItsDummiesWhereItsTableSays)
{
    Start(0);
    EXPECT_EQ(GetPauseScreenMode(), UI_DojoRoundScreen);
    EXPECT_EQ(gc->iTimeDisplay, 3600);
    EXPECT_EQ(gc->stats.fightAbility, 0x1u);
    // Round 0 {0,4,4,0}: boards at the placement nodes 0x8001..0x8004,
    // dropping in from 1.25 above.
    std::vector<Object*> r0 = Dummies();
    ASSERT_EQ(r0.size(), 4u);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(r0[i]->messagehandler, &BoardDummy::BoardDummy_mh);
        VectorPos p = r0[i]->mat.GetTrans();
        EXPECT_FLOAT_EQ(p[0], tools::kDojoSpots[i][0]);
        EXPECT_FLOAT_EQ(p[1], -1.25f);
        EXPECT_FLOAT_EQ(p[2], tools::kDojoSpots[i][2]);
        EXPECT_FLOAT_EQ(static_cast<TrainingDummy*>(r0[i])->fStrength, 4.0f);
    }
    // Round 1 {1,1,15,1}: one wooden dummy at node 0x8005.
    DownAll();
    std::vector<Object*> r1 = Dummies();
    ASSERT_EQ(r1.size(), 1u);
    EXPECT_EQ(r1[0]->messagehandler, &WoodDummy::WoodDummy_mh);
    EXPECT_FLOAT_EQ(r1[0]->mat.GetTrans()[0], tools::kDojoSpots[4][0]);
    EXPECT_FLOAT_EQ(r1[0]->mat.GetTrans()[2], tools::kDojoSpots[4][2]);
    EXPECT_FLOAT_EQ(static_cast<TrainingDummy*>(r1[0])->fStrength, 15.0f);
    // Round 2 {0,4,8,2}: boards in a line through the player along z, at
    // offsets 0, +0.625, -0.625, +1.25 (k = (i + 1) / 2, plus for odd i).
    DownAll();
    std::vector<Object*> r2 = Dummies();
    ASSERT_EQ(r2.size(), 4u);
    const float dz[4] = {0.0f, 0.625f, -0.625f, 1.25f};
    for (int i = 0; i < 4; i++) {
        EXPECT_FLOAT_EQ(r2[i]->mat.GetTrans()[0], 2.0f);
        EXPECT_FLOAT_EQ(r2[i]->mat.GetTrans()[2], 5.0f + dz[i]);
    }
    // Round 3, then round 0 again.
    DownAll();
    EXPECT_EQ(Dummies().size(), 2u);
    DownAll();
    EXPECT_EQ(Dummies().size(), 4u);
    EXPECT_EQ(c->round, 0);
}

TEST_F(DojoSession, OnlyTheSessionsAttackCountsAndAMissedGoalWithdrawsIt)
{
    Start(1);   // "SWEEP-KICK FINISH", goal 3
    Object* d = Dummies()[0];
    EXPECT_EQ(SendSpecial(c, SMSG_EV_TARGET_DOWN, d, 0x1), 0);
    EXPECT_EQ(c->stats.numHits, 0);
    EXPECT_EQ(SendSpecial(c, SMSG_EV_TARGET_DOWN, d, 0x10), 1);
    EXPECT_EQ(SendSpecial(c, SMSG_EV_TARGET_DOWN, d, 0x10), 1);
    EXPECT_EQ(c->stats.numHits, 2);
    // The other attack's event went on; the counted ones did not.
    int forwarded = 0;
    for (const Heard& h : g_heard)
        forwarded += h.code == SMSG_EV_TARGET_DOWN ? 1 : 0;
    EXPECT_EQ(forwarded, 1);
    EXPECT_EQ(gc->stats.fightAbility, 0x10u);
    // The minute runs out: won, the summary, and with 2 of 3 on a challenge
    // not yet passed the attack is taken back.
    Ticks(3599);
    EXPECT_EQ(Count(SMSG_GC_SUBGAME_WON), 0);
    Ticks(1);
    EXPECT_EQ(Count(SMSG_GC_SUBGAME_WON), 1);
    EXPECT_EQ(GetPauseScreenMode(), UI_DojoSummaryScreen);
    EXPECT_EQ(world.mode, WORLD_MODE_PAUSED);
    EXPECT_EQ(gc->stats.fightAbility, 0u);
    EXPECT_EQ(c->round, -1);
    printf("dojo result: %s hits %d goal %d kept %d\n", cTrainSession[1].cAttackName, c->stats.numHits,
           c->stats.numGoal, (gc->stats.fightAbility & cTrainSession[1].ability) != 0 ? 1 : 0);
}

TEST_F(DojoSession, APassedChallengeKeepsItsAttackAndAGoalMetKeepsItToo)
{
    gc->stats.curFightChallenge = 5;
    Start(2);
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    EXPECT_EQ(gc->stats.fightAbility, 0x20u);
    c->Delete();
    c = nullptr;
    for (Object* d : Dummies())
        d->Delete();

    gc->stats.curFightChallenge = 0;
    gc->stats.fightAbility = 0;
    Start(0);   // goal 6
    for (int i = 0; i < 6; i++)
        SendSpecial(c, SMSG_EV_TARGET_DOWN, Dummies()[0], 0x1);
    SendSpecial(c, SMSG_MODE_FINISHED, c);
    EXPECT_EQ(gc->stats.fightAbility, 0x1u);
    EXPECT_EQ(c->stats.goalType, 0);
}

TEST_F(DojoSession, AChallengePastTheTableTrainsTheLastSession)
{
    Start(12);
    EXPECT_EQ(c->stats.numGoal, 3);
    EXPECT_EQ(gc->stats.fightAbility, 0x4u);
    EXPECT_EQ(c->stats.goalType, 2);
}

}  // namespace

// ---------------------------------------------------------------------------
// Whole sessions through the game controller on the writer's dojo, with
// scripted blows: every dummy that stands at rest takes one blow of the
// given animation.  The session ends after its minute on the summary
// screen; what that screen receives and shows is printed.

namespace {

class DojoRun : public DojoSession
{
protected:
    struct Result
    {
        int blows = 0;
        std::vector<int> rounds;   // dummies put up by each round
        sDojoRoundStats record{};
        std::string title, hits;
    };
    Result Run(int challenge, int anim)
    {
        Result r;
        gc->iChallengeValue = challenge;
        gc->SetDojoTrainingMode(-1);
        auto* mission = static_cast<DojoTrainingModeController*>(gc->pMission);
        EXPECT_NE(mission, nullptr);
        if (mission == nullptr)
            return r;
        EXPECT_EQ(mission->messagehandler, &DojoTrainingModeController::staticmh);
        EXPECT_EQ(GetPauseScreenMode(), UI_DojoRoundScreen);
        world.mode = WORLD_MODE_NORMAL;   // the round screen closed
        auto starting = [] {
            int k = 0;
            for (Object* d : Dummies())
                k += !d->IsDead() && static_cast<TrainingDummy*>(d)->state == BoardDummy::BOARD_START ? 1 : 0;
            return k;
        };
        int round = mission->round;
        r.rounds.push_back(starting());
        int frames = 0;
        while (gc->iMissionRet == 0 && frames++ < 4000) {
            for (Object* d : Dummies())
                if (!d->IsDead() && static_cast<TrainingDummy*>(d)->state == BoardDummy::BOARD_STOPPED) {
                    Hit(d, anim);
                    r.blows++;
                }
            world.Update();
            if (gc->iMissionRet != 0)
                break;
            if (mission->round != round)
                r.rounds.push_back(starting());
            round = mission->round;
        }
        EXPECT_EQ(gc->iMissionRet, 1) << "a session always ends won";
        EXPECT_EQ(GetPauseScreenMode(), UI_DojoSummaryScreen);
        r.record = UI.DojoRoundStats;
        UIItem item{};
        item.ID = UI_DojoRoundTitle;
        UI.DojoSummaryCode(nullptr, &item, UI_Init, nullptr);
        item.ID = UI_DojoRoundHits;
        UI.DojoSummaryCode(nullptr, &item, UI_Init, nullptr);
        r.title = DojoRoundName;
        r.hits = DojoRoundStatsHit;
        printf("dojo session %d: \"%s\" \"%s\" (record: hits %d goal %d type %d) after %d frames, %d blows\n",
               challenge, r.title.c_str(), r.hits.c_str(), r.record.numHits, r.record.numGoal, r.record.goalType,
               frames, r.blows);
        world.mode = WORLD_MODE_NORMAL;
        return r;
    }
};

TEST_F(DojoRun, TheSweepKickSessionCountsEveryFinishingSweepAndKeepsTheAttack)
{
    const Result r = Run(1, COMBAT_FINISH_LOWLEGSWEEP_ANI);
    // Each sweep the dojo counts breaks its dummy at once; the rounds put up
    // 4 boards, 1 wooden dummy, 4 boards, 2 wooden dummies, and again.
    ASSERT_GE(r.rounds.size(), 8u);
    const int pattern[4] = {4, 1, 4, 2};
    for (size_t i = 0; i < r.rounds.size(); i++)
        EXPECT_EQ(r.rounds[i], pattern[i % 4]) << "round " << i;
    int put = 0;
    for (size_t i = 0; i + 1 < r.rounds.size(); i++)
        put += r.rounds[i];
    EXPECT_GE(r.blows, put) << "every finished round's dummies fell to one sweep each";
    EXPECT_EQ(r.record.numHits, r.blows);
    EXPECT_EQ(r.record.numGoal, 3);
    EXPECT_EQ(r.record.goalType, 4);
    EXPECT_EQ(r.title, "SWEEP-KICK FINISH EARNED!");
    EXPECT_EQ(r.hits, std::to_string(r.blows) + " Hits");
    EXPECT_EQ(gc->stats.fightAbility, 0x10u);
}

TEST_F(DojoRun, PlainPunchesBreakTheDummiesButTrainNothingAndTheAttackIsTakenBack)
{
    // Blows of 10: a board of strength 10 breaks at the first, a wooden
    // dummy of 15 at the second.
    const Result r = Run(1, COMBAT_P_ANI);
    ASSERT_GE(r.rounds.size(), 4u);
    EXPECT_EQ(r.rounds[0], 4);
    EXPECT_EQ(r.rounds[1], 1);
    EXPECT_EQ(r.record.numHits, 0);
    EXPECT_EQ(r.record.numGoal, 3);
    EXPECT_EQ(r.title, "SWEEP-KICK FINISH UNEARNED\x85");
    EXPECT_EQ(r.hits, "0 Hits");
    EXPECT_EQ(gc->stats.fightAbility, 0u);
}

}  // namespace
