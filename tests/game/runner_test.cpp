// The runner: made by name and asleep far from the player, its flight (who
// is near, the serious time, the look-backs and the fire-back burst), the
// commands that change its kind, the messages it answers, the ends of its
// animations, a car that hits it, its car states and the guns out of the
// window; answers worked out from the rules.
#include <gtest/gtest.h>

#include <cmath>

#include "enemy_support.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/Physics.h"
#include "game/Weapons.h"
#include "game/cardrivr.h"

using namespace enemyrig;
using BA = BadGuyAnims;

namespace {

Enemy* Runner(VectorPos pos, int id = 9)
{
    char name[] = "RunnerEnemy";
    Object* o = g_pgcTest->CreateCharacterAt(kEnemySlot, id, -1, name, false);
    if (o == nullptr)
        return nullptr;
    Enemy* e = static_cast<Enemy*>(o);
    e->mat = Matrix(true);
    e->mat.SetTrans(pos);
    e->vobank = 255;
    return e;
}

int Say(Object* o, int code, Object* obj = nullptr, Variant p0 = 0, Variant p1 = 0)
{
    SpecialMessage m(code, obj, p0, p1);
    return o->SendMessage(OM_SPECIAL, &m);
}

// A car shell: its velocity is all a hit reads.
struct CarShell : DynamicObject
{
    CarShell() { type = OBJT_VEHICLE; }
};

}  // namespace

// ---------------------------------------------------------------------------
// Life

TEST(RunnerEnemy, MadeByNameSleepsFarAwayAndReportsItsEnd)
{
    Scene s;
    EventLog gen;
    Enemy* r = Runner(VectorPos(0.0f, 0.0f, 10.0f));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->messagehandler, &Enemy::RunnerEnemy_mh);
    EXPECT_EQ(static_cast<Object*>(*world.pedlist.Begin()), r);
    EXPECT_EQ(static_cast<Object*>(r->target), s.player);
    EXPECT_EQ(r->mode, 2);
    EXPECT_EQ(r->mode2, +BA::SPRINT_ANI);
    EXPECT_EQ(r->strength, 100.0f);
    EXPECT_EQ(r->enemytype, Enemy::ENEMYTYPE_RUNNER);

    // Exactly 46.875 away it goes to sleep; then collisions are ignored but
    // special messages still answered.
    r->mat.SetTrans(VectorPos(0.0f, 0.0f, 46.875f));
    r->SendMessage(OM_FRAME, nullptr);
    EXPECT_TRUE(r->IsHibernating());
    EXPECT_EQ(r->SendMessage(OM_COLLISION, nullptr), 0);
    r->iLastDrawnTime = 4321;
    EXPECT_EQ(Say(r, 29002), 4321);
    r->mat.SetTrans(VectorPos(0.0f, 0.0f, 46.8f));
    r->SendMessage(OM_FRAME, nullptr);
    EXPECT_FALSE(r->IsHibernating());

    AnimEventMessage loop{r, 1, 0, 0};
    EXPECT_EQ(r->SendMessage(OM_ANIMLOOP, &loop), -1);
    loop.slot = 2;
    EXPECT_EQ(r->SendMessage(OM_ANIMLOOP, &loop), 0);

    r->gameeventobj = &gen;
    r->Delete();
    EXPECT_EQ(gen.Count(SMSG_EV_ENEMY_REMOVED), 1);
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it)
        EXPECT_NE(static_cast<Object*>(*it), r);

    // Without a generator nothing is sent and it still goes.
    Enemy* lone = Runner(VectorPos(0.0f, 0.0f, 5.0f));
    ASSERT_NE(lone, nullptr);
    lone->Delete();
    EXPECT_EQ(gen.Count(SMSG_EV_ENEMY_REMOVED), 1);

    // A dead runner's storage lasts while something still links it: the
    // sound its feet made lets go at the sound system's next update, the
    // world at its next draw, the controller's list at the level's end.
    // After those, the heap has every byte back.
    auto letGo = [] {
        sound.Update(1, Matrix(true));
        world.objectlist.Clean();
        if (g_pgcTest->pobjectlist != nullptr)
            g_pgcTest->pobjectlist->Clean();
    };
    world.Update();
    letGo();
    const unsigned start = heaptest::GameHeapFree();
    for (int round = 0; round < 3; round++) {
        Enemy* e = Runner(VectorPos(0.0f, 0.0f, 5.0f));
        ASSERT_NE(e, nullptr);
        world.Update();
        e->Delete();
        world.Update();
        letGo();
        EXPECT_EQ(heaptest::GameHeapFree(), start) << "round " << round;
    }
}

// ---------------------------------------------------------------------------
// Flight

TEST(RunnerEnemy, FlightNearnessSeriousTimeLookBacksAndFireBack)
{
    Scene s;
    EventLog ev;
    world.time = 5000;
    Enemy* r = Runner(VectorPos(0.0f, 0.0f, -9.375f));
    ASSERT_NE(r, nullptr);
    r->gameeventobj = &ev;
    r->oblivious = true;
    r->aggro = 1.0f;
    // The player 9.375 ahead (the runner faces +z): not near.
    r->Frame_Run_Running();
    EXPECT_TRUE(r->oblivious);
    // n = trunc((1 - 1) x 120) = 0 draws nothing: exactly 7200 frames on.
    EXPECT_EQ(r->pursuitstarttime, 5000);
    EXPECT_EQ(r->pursuitserioustime, 5000 + 7200);
    // A look-back is due now, but the pursuit began this very frame.
    EXPECT_EQ(r->lastlookbacktime, -1);
    // 9.0 behind is not near either; 6.0 behind is.
    r->mat = Matrix(true);
    r->mat.SetTrans(VectorPos(0.0f, 0.0f, 9.0f));
    r->Frame_Run_Running();
    EXPECT_TRUE(r->oblivious);
    r->mat.SetTrans(VectorPos(0.0f, 0.0f, 6.0f));
    r->Frame_Run_Running();
    EXPECT_FALSE(r->oblivious);
    EXPECT_EQ(ev.Count(SMSG_EV_TARGET_BUSTED), 1);

    // Look-backs: at most one per 240 frames.
    r->lastlookbacktime = -1;
    r->SetAnim(+BA::SPRINT_ANI);
    r->BeginLookBack();
    EXPECT_EQ(r->lastlookbacktime, 5000);
    EXPECT_EQ(r->mode2, +BA::SPRINT_LOOKBACK_ANI);
    world.time = 5239;
    r->BeginLookBack();
    EXPECT_EQ(r->lastlookbacktime, 5000);
    world.time = 5240;
    r->BeginLookBack();
    EXPECT_EQ(r->lastlookbacktime, 5240);

    // Seen at exactly 12.5: runs fast; nearer it sprints in panic.
    r->lookbacktargetdist = 12.5f;
    r->EndLookBack();
    EXPECT_EQ(r->mode, 4);
    EXPECT_EQ(r->movespeed, Enemy::MOVE_RUN_FAST);
    r->lookbacktargetdist = 12.4f;
    r->panic = false;
    r->EndLookBack();
    EXPECT_EQ(r->mode, 2);
    EXPECT_EQ(r->movespeed, Enemy::MOVE_SPRINT);
    EXPECT_TRUE(r->panic);
    // Not seen before the serious time: one gait slower.
    r->lookbacktargetdist = 0.0f;
    r->movespeed = Enemy::MOVE_RUN_FAST;
    r->EndLookBack();
    EXPECT_EQ(r->movespeed, Enemy::MOVE_RUN_NORMAL);

    // Two shots left: the fire-back plays once more, then ends.
    r->SetAnim(+BA::SPRINT_FIREBACK_L_ANI);
    r->numshotsleft = 2;
    AnimEventMessage end{r, 0, 0, 0};
    EXPECT_EQ(r->SendMessage(OM_ANIMLOOP, &end), 0);
    EXPECT_EQ(r->numshotsleft, 1);
    EXPECT_EQ(r->SendMessage(OM_ANIMLOOP, &end), -1);
    EXPECT_EQ(r->numshotsleft, 0);
}

// A chaser turns to harassing only within 1.25 of its target.  A fleeing
// runner that knew its pursuer near and has no look-back planned looks back
// within the next 0..119 frames; one that did not know it near plans the
// next look-back 360..599 frames on.
TEST(RunnerEnemy, AChaserHarassesOnlyWithinReachAndANearPursuerBringsTheLookBackForward)
{
    Scene s;
    world.time = 3000;
    int id = 30;
    for (float d : {1.2f, 1.3f}) {
        Enemy* r = Runner(VectorPos(0.0f, 0.0f, d), id++);
        ASSERT_NE(r, nullptr);
        r->ChaseObject(s.player);
        r->wandertime = world.time + 1000;   // no wander decision this frame
        r->Frame_Run_Wander();
        EXPECT_EQ(r->harasstarget, d < 1.25f) << d;
        EXPECT_EQ(r->chasetarget, d >= 1.25f) << d;
    }

    for (unsigned seed : {3u, 4u, 5u, 6u, 7u, 8u}) {
        for (bool knew : {true, false}) {
            srand(seed);
            Enemy* r = Runner(VectorPos(0.0f, 0.0f, -30.0f), id++);   // no target: nobody near now
            ASSERT_NE(r, nullptr);
            r->mode = 4;
            r->movesubmode = Enemy::MoveSub_Normal;
            r->pursuitstarttime = world.time - 100;
            r->knowspursuernear = knew;
            r->nextlookbacktime = -1;
            r->Frame_Run_Running();
            const int wait = r->nextlookbacktime - world.time;
            if (knew && r->lastlookbacktime == world.time) {
                // Drawn 0: it looked back at once and planned the next one.
                EXPECT_GE(wait, 360) << seed;
                EXPECT_LE(wait, 599) << seed;
            } else if (knew) {
                EXPECT_GE(wait, 0) << seed;
                EXPECT_LE(wait, 119) << seed;
            } else {
                EXPECT_GE(wait, 360) << seed;
                EXPECT_LE(wait, 599) << seed;
            }
            EXPECT_FALSE(r->knowspursuernear);
        }
    }
    // A look-back planned for later is brought forward the same way.
    Enemy* r = Runner(VectorPos(0.0f, 0.0f, -30.0f), id++);
    ASSERT_NE(r, nullptr);
    r->mode = 4;
    r->movesubmode = Enemy::MoveSub_Normal;
    r->pursuitstarttime = world.time - 100;
    r->knowspursuernear = true;
    r->nextlookbacktime = world.time + 500;
    r->Frame_Run_Running();
    EXPECT_LE(r->nextlookbacktime - world.time, 119);
}

// ---------------------------------------------------------------------------
// Commands

TEST(RunnerEnemy, CommandsChangeKindAndSayItOnce)
{
    Scene s;
    EventLog ev;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    e->gameeventobj = &ev;
    Object other;
    e->SetTarget(&other);
    e->RunAwayFromObject(s.player);
    EXPECT_EQ(e->messagehandler, &Enemy::RunnerEnemy_mh);
    EXPECT_EQ(e->enemytype, Enemy::ENEMYTYPE_RUNNER);
    EXPECT_EQ(e->mode, 4);
    EXPECT_EQ(e->movespeed, Enemy::MOVE_RUN_FAST);
    EXPECT_EQ(static_cast<Object*>(e->target), nullptr);   // not the player: dropped
    ASSERT_EQ(ev.Count(SMSG_EV_ENEMY_MORPHED), 1);
    // The frame that morphed ends with -1.
    EXPECT_EQ(e->RunnerFrame(), -1);
    EXPECT_FALSE(e->morphed);
    // Already a runner in mode 4: no second report.
    e->RunAwayFromObject(s.player);
    EXPECT_EQ(ev.Count(SMSG_EV_ENEMY_MORPHED), 1);
    // An order to get into something that is not a car is not obeyed.
    Say(e, 64, &other);
    EXPECT_EQ(e->mode, 4);
    EXPECT_FALSE(other.flags & ENEMYF_ACTIVE);

    // A shooter whose target is the player keeps it.
    Enemy* k = s.Shooter(VectorPos(2.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, 8);
    ASSERT_NE(k, nullptr);
    k->SetTarget(s.player);
    EXPECT_TRUE(k->MorphIntoRunner());
    EXPECT_EQ(static_cast<Object*>(k->target), s.player);
    EXPECT_FALSE(k->MorphIntoRunner());   // already one

    // Giving up while driving outside a random crime: out of the car first.
    g_pgcTest->prms = nullptr;
    k->mode = 8;
    k->GiveUp();
    EXPECT_EQ(k->mode, 8);
    EXPECT_TRUE(k->gettingout);
    EXPECT_TRUE(k->caronly);
    k->mode = 4;
    k->GiveUp();
    EXPECT_EQ(k->mode, 11);
    EXPECT_EQ(k->mode2, +BA::GIVEUP_ANI);

    // Scooting over twice blends once.
    k->passenger = false;
    k->ScootOver();
    EXPECT_EQ(k->mode, 7);
    EXPECT_TRUE(k->passenger);
    k->SetAnim(+BA::SPRINT_ANI);
    k->ScootOver();
    EXPECT_EQ(k->mode2, +BA::SPRINT_ANI);

    // Kind changes through the commands: a fighter, then a shooter again.
    k->AttackObject(s.player, 1);
    EXPECT_EQ(k->messagehandler, &Enemy::FighterEnemy_mh);
    EXPECT_EQ(k->mode, 21);
    k->ShootObject(s.player);
    EXPECT_EQ(k->messagehandler, &Enemy::ShooterEnemy_mh);
    EXPECT_EQ(k->enemytype, Enemy::ENEMYTYPE_SHOOTER);
}

// ---------------------------------------------------------------------------
// Messages and animation ends

TEST(RunnerEnemy, MessagesAndTheEndsOfAnimations)
{
    Scene s;
    EventLog ev, other;
    Enemy* r = Runner(VectorPos(0.0f, 0.0f, 4.0f));
    ASSERT_NE(r, nullptr);

    // The player may tackle only a runner on the run that knows of him.
    r->oblivious = true;
    EXPECT_EQ(Say(r, 24), 0);
    r->oblivious = false;
    for (int m : {7, 8, 11, 15}) {
        r->mode = s8(m);
        EXPECT_EQ(Say(r, 24), 0) << m;
    }
    r->mode = 2;
    EXPECT_EQ(Say(r, 24), 1);

    // A grab is taken only while the runner gives itself up.
    EXPECT_EQ(Say(r, 31, s.player, 134), 0);
    EXPECT_EQ(r->victimdata, nullptr);

    // The first event object stays.
    EXPECT_EQ(Say(r, SMSG_MODE_START, &ev), 0);
    Say(r, SMSG_MODE_START, &other);
    EXPECT_EQ(r->gameeventobj, &ev);

    // Codes that change nothing.
    const float strength = r->strength;
    for (int c : {58, 59, 28002, 28003, 29001, 29005})
        EXPECT_EQ(Say(r, c), 0) << c;
    EXPECT_EQ(r->mode, 2);
    EXPECT_EQ(r->strength, strength);
    // Told to become a pedestrian it leaves the game for one made in its
    // place, scared of the one named.
    const int walkers = world.pedlist.Count();
    EXPECT_EQ(Say(r, 82, s.player), -1);
    EXPECT_TRUE(r->IsDead());
    EXPECT_EQ(world.pedlist.Count(), walkers);   // the runner off, the pedestrian on
    r = Runner(VectorPos(0.0f, 0.0f, 4.0f));
    ASSERT_NE(r, nullptr);
    Say(r, SMSG_MODE_START, &ev);

    // A driving runner takes no bullet; a surrendering one dies of any.
    r->mode = 8;
    Say(r, 20464, nullptr);
    EXPECT_EQ(r->strength, strength);
    r->mode = 11;
    Say(r, 20464, nullptr);
    EXPECT_EQ(r->strength, 0.0f);
    EXPECT_TRUE(r->flags & GUYF_DYING);

    // The death anim reports once.
    AnimEventMessage end{r, 0, 0, 0};
    r->SetAnim(+BA::KILLED_ANI);
    r->SendMessage(OM_ANIMLOOP, &end);
    r->SendMessage(OM_ANIMLOOP, &end);
    EXPECT_EQ(ev.Count(SMSG_EV_CHARACTER_DIED), 1);

    // Arrested: 10 points, a good disposal, subdued.
    Enemy* a = Runner(VectorPos(2.0f, 0.0f, 4.0f), 10);
    ASSERT_NE(a, nullptr);
    a->gameeventobj = &ev;
    const u32 points = g_pgcTest->stats.nPoints, good = g_pgcTest->stats.nGoodDisposals;
    a->SetAnim(+BA::ARRESTED_ANI);
    AnimEventMessage aend{a, 0, 0, 0};
    EXPECT_EQ(a->SendMessage(OM_ANIMLOOP, &aend), -1);
    EXPECT_EQ(g_pgcTest->stats.nPoints, points + 10);
    EXPECT_EQ(g_pgcTest->stats.nGoodDisposals, good + 1);
    EXPECT_EQ(ev.Count(SMSG_EV_ENEMY_SUBDUED), 1);
    EXPECT_TRUE(a->flags & GUYF_BUSTED);

    // Stopped with no will to shoot or fight: it surrenders.
    Enemy* st = Runner(VectorPos(-2.0f, 0.0f, 1.0f), 11);
    ASSERT_NE(st, nullptr);
    st->shootingchance = st->fightingchance = 0.0f;
    for (int i = 0; i < 20; i++) {
        st->mode = 2;
        st->SelectStoppedStrategy();
        EXPECT_EQ(st->mode, 11);
    }
}

TEST(RunnerEnemy, ACarPushesKnocksAwayOrRolls)
{
    Scene s;
    CarShell car;
    struct Case
    {
        float speed;
        float loss;
        u16 anim;
    };
    // Speeds toward the runner (the car's velocity is the hit normal without
    // contact information).
    for (const Case& c : {Case{0.0116f, 0.0f, +BA::SPRINT_ANI}, Case{0.02f, 1.0f, +BA::KNOCKED_AWAY_ANI},
                          Case{0.1397f, 16.0f, +BA::ROLL_ANI}}) {
        Enemy* r = Runner(VectorPos(0.0f, 0.0f, 4.0f), 12);
        ASSERT_NE(r, nullptr);
        car.vel = Vector(0.0f, 0.0f, c.speed, 0.0f);
        CollisionRecord cr(r, &car);
        EXPECT_EQ(r->CollideWithVehicleHit(&cr), VectorDir(0.0f, 0.0f, 0.0f)) << c.speed;
        EXPECT_EQ(r->strength, 100.0f - c.loss) << c.speed;
        EXPECT_EQ(r->mode2, c.anim) << c.speed;
        if (c.speed >= 0.1397f) {
            // Side factor 0 and the lift capped at 1/1920, upward (y down).
            EXPECT_FLOAT_EQ(r->hitvel[0], 0.0f);
            EXPECT_FLOAT_EQ(r->hitvel[1], -1.0f / 1920.0f);
            EXPECT_FLOAT_EQ(r->hitvel[2], 0.0f);
            EXPECT_EQ(r->mode, 6);
        }
        r->Delete();
    }
    // A shooter hit so becomes a runner that is hit.
    Enemy* sh = s.Shooter(VectorPos(0.0f, 0.0f, 4.0f));
    ASSERT_NE(sh, nullptr);
    car.vel = Vector(0.0f, 0.0f, 0.05f, 0.0f);
    CollisionRecord cr(sh, &car);
    sh->CollideWithVehicle(&cr);
    EXPECT_EQ(sh->messagehandler, &Enemy::RunnerEnemy_mh);
    EXPECT_EQ(sh->mode, 6);
}

// ---------------------------------------------------------------------------
// Guns out of a car

TEST(RunnerEnemy, ShotsOutOfACarByAimAngle)
{
    Scene s;
    Enemy* r = Runner(VectorPos(0.0f, 0.0f, 0.0f), 13);
    ASSERT_NE(r, nullptr);
    r->SetTarget(nullptr);
    Object aim;
    aim.mat = Matrix(true);
    // Straight behind: outside both arcs, nothing fires.
    r->leftdrivinggunarm.lastshot = r->rightdrivinggunarm.lastshot = 0;
    r->shootingchance = 1.0f;
    r->InitGunsDriving();
    ASSERT_TRUE(r->leftdrivinggunarm.IsArmed());
    const auto lmode = r->leftdrivinggunarm.GetMode(), rmode = r->rightdrivinggunarm.GetMode();
    r->FireGunDriving(&aim, VectorPos(0.0f, 0.0f, -5.0f), VectorDir(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(r->leftdrivinggunarm.GetMode(), lmode);
    EXPECT_EQ(r->rightdrivinggunarm.GetMode(), rmode);
    // 15 degrees: both arcs hold it (-135..25 and 5..175); the armed left
    // arm fires.
    const float a = 15.0f * 3.1415927f / 180.0f;
    r->FireGunDriving(&aim, VectorPos(std::sin(a) * 5.0f, 0.0f, std::cos(a) * 5.0f), VectorDir(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(r->leftdrivinggunarm.GetMode(), PresetGunArm::DRAWING_TO_SHOOT);
    EXPECT_EQ(r->rightdrivinggunarm.GetMode(), PresetGunArm::UNARMED);
    EXPECT_NEAR(r->leftdrivinggunarm.aimrangepos, (a + 2.3561945f) / (0.43633232f + 2.3561945f), 1e-4f);
}

TEST(RunnerEnemy, AfterARollItGetsUpOrLiesDead)
{
    Scene s;
    Enemy* r = Runner(VectorPos(0.0f, 0.0f, 4.0f), 14);
    ASSERT_NE(r, nullptr);
    AnimEventMessage end{r, 0, 0, 0};
    r->SetAnim(+BA::ROLL_ANI);
    EXPECT_EQ(r->SendMessage(OM_ANIMLOOP, &end), -1);
    EXPECT_EQ(r->mode2, +BA::GETUP_ANI);
    r->strength = -3.0f;
    r->SetAnim(+BA::ROLL_ANI);
    r->SendMessage(OM_ANIMLOOP, &end);
    EXPECT_EQ(r->mode2, +BA::LYING_DOWN_KILLED_ANI);
    EXPECT_EQ(r->strength, 0.0f);
}
