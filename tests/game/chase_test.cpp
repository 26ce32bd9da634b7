// The chases: the runner generator (the runner it makes from its record,
// the sleep it orders far from the camera, its query answer), the tail
// (too close, too far, arrived), the pursuit (a target killed as a runner or
// after changing kind, a car brought to a stop) and the escape (the pursuer
// left behind, the pursuers' generators made once and at most eight).
#include <gtest/gtest.h>

#include <vector>

#include "enemy_support.h"

#include "ZevEngine2/Physics.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/MAIN.h"

using namespace enemyrig;
using BA = BadGuyAnims;

namespace {

template <class T>
T* Make()
{
    auto* c = reinterpret_cast<T*>(intptr_t(T::staticmh(nullptr, OM_CREATE, nullptr)));
    return c;
}

int Say(Object* o, int code, Object* obj = nullptr, Variant p0 = 0)
{
    SpecialMessage m(code, obj, p0);
    return o->SendMessage(OM_SPECIAL, &m);
}

EnemyGenRunner_params RunnerRecord()
{
    EnemyGenRunner_params p{};
    p.character = u8(kEnemySlot - 49);
    p.id = 31;
    p.init_strength = 60;
    p.badass = 0.5f;
    return p;
}

// Counts the special codes an object is sent.
struct Listener : Enemy
{
    std::vector<int> codes;
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL && data != nullptr)
            static_cast<Listener*>(o)->codes.push_back(static_cast<SpecialMessage*>(data)->submsg);
        return 0;
    }
    Listener() : Enemy(mh, nullptr, 0) {}
};

struct CarShell : DynamicObject
{
    CarShell() { type = OBJT_VEHICLE; }
};

// The player's voice lines stay silent (no sound system here).
struct QuietVoice
{
    decltype(DaceVO.numtracks) saved = DaceVO.numtracks;
    QuietVoice() { DaceVO.numtracks = 0; }
    ~QuietVoice() { DaceVO.numtracks = saved; }
};

}  // namespace

// ---------------------------------------------------------------------------
// The runner generator

TEST(RunnerGenerator, MakesItsRunnerAndPutsItToSleepFarFromTheCamera)
{
    Scene s;
    EventLog ctl;
    EnemyGenRunner* g = Make<EnemyGenRunner>();
    ASSERT_NE(g, nullptr);
    EnemyGenRunner_params p = RunnerRecord();
    p.walking = 1;
    p.oblivious = 1;
    p.shoot = 0.25f;
    g->pegrp = static_cast<EnemyGenRunner_params*>(malloc(sizeof p));
    *g->pegrp = p;
    g->iRunnerId = 31;
    g->mat = Matrix(true);
    g->mat.SetTrans(VectorPos(0.0f, 0.0f, 8.0f));
    world.AddObject(g, nullptr);
    EXPECT_EQ(Say(g, 29001), 13);
    g->GenerateRunner();
    Enemy* r = g->enemy;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->id, 31);
    EXPECT_EQ(r->mode, 4);
    EXPECT_EQ(r->mode2, +BA::WALK_ANI);
    EXPECT_EQ(r->movespeed, Enemy::MOVE_WALK);
    EXPECT_TRUE(r->oblivious);
    EXPECT_EQ(r->strength, 60.0f);
    EXPECT_EQ(r->shootingchance, 0.25f);
    EXPECT_EQ(r->gameeventobj, g);
    EXPECT_TRUE(r->flags & 0x20);

    // Its events go on to the controller; its end clears the generator.
    g->gameeventobj = &ctl;
    Say(g, SMSG_EV_TARGET_BUSTED, r);
    EXPECT_EQ(ctl.Count(SMSG_EV_TARGET_BUSTED), 1);
    r->Delete();
    EXPECT_EQ(g->enemy, nullptr);
    EXPECT_EQ(ctl.Count(SMSG_EV_ENEMY_REMOVED), 1);

    // Beyond 125 from the camera: 22 on every frame.
    Listener far;
    far.mat = Matrix(true);
    far.mat.SetTrans(VectorPos(0.0f, 0.0f, 130.0f));
    rc.view_world = Matrix(true);
    g->enemy = &far;
    for (int i = 0; i < 3; i++)
        g->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(far.codes, (std::vector<int>{22, 22, 22}));
    g->enemy = nullptr;
    g->Delete();
}

// ---------------------------------------------------------------------------
// Tail

namespace {

struct TailRun
{
    EventLog gc;
    TailMissionParams tp{};
    TailMissionController* c = nullptr;
    Object* car = nullptr;

    explicit TailRun(bool abortOnDetection)
    {
        static s16 nextId = 77;
        car = new Object;
        car->id = nextId++;
        car->mat = Matrix(true);
        world.AddObject(car, nullptr);
        tp.iTargetId = car->id;
        tp.bAbortOnDetection = abortOnDetection;
        c = Make<TailMissionController>();
        c->ptmp = &tp;
        c->gameeventobj = &gc;
        world.AddObject(c, nullptr);
        Say(c, SMSG_MODE_START, c, 1);
    }
    void At(float z) { car->mat.SetTrans(VectorPos(0.0f, 0.0f, z)); }
    void Checks(int n)
    {
        for (int i = 0; i < n; i++)
            c->Check();
    }
};

}  // namespace

TEST(TailController, TooCloseTooFarAndArrived)
{
    Scene s;
    QuietVoice quiet;
    const float r = s.player->GetRoot()->radius;
    {
        // 600 frames too close (300 checks of 2 frames) with the abort set: lost.
        TailRun t(true);
        ASSERT_EQ(t.c->target, t.car);
        t.At(1.0f);
        t.Checks(299);
        EXPECT_TRUE(t.gc.codes.empty());
        t.Checks(1);
        EXPECT_EQ(t.gc.codes, (std::vector<int>{SMSG_GC_SUBGAME_LOST}));
    }
    {
        // Without it the script is told to run on (0); a random crime hears 23069.
        TailRun t(false);
        t.At(1.0f);
        t.Checks(300);
        EXPECT_EQ(t.gc.codes, (std::vector<int>{SMSG_GC_RUN_SCRIPT}));
        TailRun rnd(false);
        rnd.c->bRandomMission = true;
        rnd.At(1.0f);
        rnd.Checks(300);
        EXPECT_EQ(rnd.gc.codes, (std::vector<int>{SMSG_EV_TAIL_SPOOKED}));
    }
    {
        // Falling behind: 1800 frames in all; time in range does not reset it.
        TailRun t(true);
        t.At(50.0f + r);
        t.Checks(400);
        t.At(20.0f);
        t.Checks(100);
        EXPECT_EQ(t.c->iTooFarCounter, 800);
        t.At(50.0f + r);
        t.Checks(499);
        EXPECT_TRUE(t.gc.codes.empty());
        t.Checks(1);
        EXPECT_EQ(t.gc.codes, (std::vector<int>{SMSG_GC_SUBGAME_LOST}));
    }
    {
        // In range within 7.03125 of the destination: won.
        Object* ph = new Object;
        ph->id = 555;
        ph->mat = Matrix(true);
        ph->mat.SetTrans(VectorPos(0.0f, 0.0f, 27.0f));
        world.placeholderlist.AddTail(ph);
        TailRun t(true);
        t.tp.iPHId = 555;
        t.c->bStarted = false;
        Say(t.c, SMSG_MODE_START, t.c, 1);
        t.At(20.0f);   // 7.0 short of it
        t.Checks(1);
        EXPECT_EQ(t.gc.codes, (std::vector<int>{SMSG_GC_SUBGAME_WON}));
        world.placeholderlist.Remove(ph);
        delete ph;
    }
}

// ---------------------------------------------------------------------------
// Pursuit and escape

TEST(PursuitController, KillsCountByKindAndAStoppedCarIsCaught)
{
    Scene s;
    QuietVoice quiet;
    char name[] = "RunnerEnemy";
    for (bool morphedFirst : {false, true}) {
        Object* o = g_pgcTest->CreateCharacterAt(kEnemySlot, 21, -1, name, false);
        ASSERT_NE(o, nullptr);
        auto* r = static_cast<Enemy*>(o);
        r->mat.SetTrans(VectorPos(0.0f, 0.0f, 5.0f));
        if (morphedFirst)
            r->MorphIntoShooter();
        EventLog gc;
        PursuitMissionParams pp{nullptr, 0, 21, 125.0f, 54.6875f, "The Thug"};
        auto* c = Make<PursuitMissionController>();
        c->ppmp = &pp;
        c->gameeventobj = &gc;
        world.AddObject(c, nullptr);
        Say(c, SMSG_MODE_START, c, 2);
        ASSERT_EQ(c->target, r);
        const u32 points = g_pgcTest->stats.nPoints, bad = g_pgcTest->stats.nBadDisposals,
                  good = g_pgcTest->stats.nGoodDisposals;
        Say(c, SMSG_EV_CHARACTER_DIED, r);
        EXPECT_EQ(g_pgcTest->stats.nPoints, points + u32(morphedFirst ? 10 : -20));
        EXPECT_EQ(g_pgcTest->stats.nBadDisposals, bad + (morphedFirst ? 0 : 1));
        EXPECT_EQ(g_pgcTest->stats.nGoodDisposals, good + (morphedFirst ? 1 : 0));
        // The result, then the event itself passed on.
        EXPECT_EQ(gc.codes, (std::vector<int>{SMSG_GC_SUBGAME_WON, SMSG_EV_CHARACTER_DIED}));
        Say(c, SMSG_EV_CHARACTER_DIED, r);   // the result once only
        EXPECT_EQ(gc.codes,
                  (std::vector<int>{SMSG_GC_SUBGAME_WON, SMSG_EV_CHARACTER_DIED, SMSG_EV_CHARACTER_DIED}));
        c->Delete();
        r->Delete();
    }

    // A car below 0.006985 along its nose within 9.375: more than 180 frames
    // of checks (120 when the chase is for the car only).
    for (int caronly : {0, 1}) {
        CarShell car;
        car.mat = Matrix(true);
        car.mat.SetTrans(VectorPos(0.0f, 0.0f, 5.0f));
        car.vel = Vector(0.0f, 0.0f, 0.00698f, 0.0f);
        EnemyGenRunner_params rec = RunnerRecord();
        rec.caronly = u8(caronly);
        PursuitMissionParams pp{&rec, 21, 0, 125.0f, 54.6875f, "The Thug"};
        EventLog gc;
        auto* c = Make<PursuitMissionController>();
        c->ppmp = &pp;
        c->gameeventobj = &gc;
        c->target = &car;
        const int checks = caronly ? 120 / 15 : 180 / 15;
        for (int i = 0; i < checks; i++)
            c->Check();
        EXPECT_TRUE(gc.codes.empty()) << caronly;
        c->Check();
        EXPECT_EQ(gc.codes, (std::vector<int>{SMSG_GC_SUBGAME_WON})) << caronly;
        delete c;
    }
}

TEST(EscapeController, MakesItsGeneratorsOnceAndIsWonFarAway)
{
    Scene s;
    QuietVoice quiet;
    EnemyGenRunner_params rec = RunnerRecord();
    std::vector<BadGuyGenInfo> infos(10, BadGuyGenInfo{BGGT_RUNNER, 0, &rec});
    EscapeMissionParams ep{93.75f, 0, 0.0f, 0.0f, 10, infos.data()};
    EventLog gc;
    auto* c = Make<EscapeMissionController>();
    c->pemp = &ep;
    c->gameeventobj = &gc;
    world.AddObject(c, nullptr);
    Say(c, SMSG_MODE_EPILOGUE, c);
    EXPECT_EQ(c->iNumGens, 8);   // eight slots; infos past them make nothing
    Say(c, SMSG_MODE_EPILOGUE, c);
    EXPECT_EQ(c->iNumGens, 8);
    Object pursuer;
    pursuer.mat = Matrix(true);
    pursuer.mat.SetTrans(VectorPos(0.0f, 0.0f, 93.75f));
    c->pursuer = &pursuer;
    c->SendMessage(OM_FRAME, nullptr);
    EXPECT_TRUE(gc.codes.empty());
    pursuer.mat.SetTrans(VectorPos(0.0f, 0.0f, 93.8f));
    c->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(gc.codes, (std::vector<int>{SMSG_GC_SUBGAME_WON}));
    c->pursuer = nullptr;
}

TEST(ChaseControllers, AMissingTargetIsOnlyLookedForAgain)
{
    Scene s;
    QuietVoice quiet;
    EventLog gc;
    TailMissionParams tp{};
    tp.iTargetId = 4321;   // nobody
    auto* t = Make<TailMissionController>();
    t->ptmp = &tp;
    t->gameeventobj = &gc;
    world.AddObject(t, nullptr);
    Say(t, SMSG_MODE_START, t, 1);
    EXPECT_EQ(t->target, nullptr);
    for (int i = 0; i < 1000; i++)
        t->Check();
    // A runner not made yet: the pursuit takes the generator's once there is one.
    EnemyGenRunner_params rec = RunnerRecord();
    PursuitMissionParams pp{&rec, 21, 0, 125.0f, 54.6875f, "The Thug"};
    auto* p = Make<PursuitMissionController>();
    p->ppmp = &pp;
    p->gameeventobj = &gc;
    world.AddObject(p, nullptr);
    Say(p, SMSG_MODE_START, p, 5);
    ASSERT_NE(p->runner, nullptr);
    if (p->runner->enemy != nullptr)
        p->runner->DestroyRunner();   // as though it were not made yet
    p->target = nullptr;
    for (int i = 0; i < 100; i++)
        p->Check();
    // No result: the event object heard only the runner's going, passed on.
    EXPECT_EQ(gc.Count(SMSG_GC_SUBGAME_WON) + gc.Count(SMSG_GC_SUBGAME_LOST), 0);
    for (int code : gc.codes)
        EXPECT_TRUE(code >= 23000 && code <= 23100) << code;
    p->runner->GenerateRunner();
    ASSERT_NE(p->runner->enemy, nullptr);
    p->Check();
    EXPECT_EQ(p->target, p->runner->enemy);
}

// Each of the three passes every game event (23000..23100) on to its event
// object after its own handling, the player's warnings too, and nothing
// outside that range; the escape, once over, hears nothing at all.
TEST(ChaseControllers, GameEventsGoOnToTheEventObject)
{
    Scene s;
    QuietVoice quiet;
    const std::vector<int> sent = {22999, 23000, SMSG_EV_PLAYER_WARNING, SMSG_EV_PLAYER_COMBAT, 23100, 23101, 28004};
    const std::vector<int> passed = {23000, SMSG_EV_PLAYER_WARNING, SMSG_EV_PLAYER_COMBAT, 23100};
    EventLog tailLog, escapeLog, pursuitLog;
    TailMissionParams tp{};
    auto* t = Make<TailMissionController>();
    t->ptmp = &tp;
    t->gameeventobj = &tailLog;
    EscapeMissionParams ep{93.75f, 0, 0.0f, 0.0f, 0, nullptr};
    auto* e = Make<EscapeMissionController>();
    e->pemp = &ep;
    e->gameeventobj = &escapeLog;
    PursuitMissionParams pp{nullptr, 0, 4321, 125.0f, 54.6875f, "Nobody"};
    auto* p = Make<PursuitMissionController>();
    p->ppmp = &pp;
    p->gameeventobj = &pursuitLog;
    for (int code : sent) {
        Say(t, code);
        Say(e, code);
        Say(p, code);
    }
    EXPECT_EQ(tailLog.codes, passed);
    EXPECT_EQ(escapeLog.codes, passed);
    EXPECT_EQ(pursuitLog.codes, passed);
    e->mode = 1;
    Say(e, 23000);
    EXPECT_EQ(escapeLog.codes, passed);
    delete t;
    delete e;
    delete p;
}
