// Fist-fighting enemies: the fighter made by name, its wake distance, the
// attack-volume and paired-move events, styles and weapon models, turn
// limits and shuffles, the move choosers against a recording controller,
// daze counting, blocks, knock-down loops, the collision query and grabs;
// and a run in which a fighter made near the player walks up and attacks.
#include <gtest/gtest.h>

#include <cmath>

#include "enemy_support.h"

#include "ZevEngine2/Anim.h"
#include "game/BadGuyFighter.h"
#include "game/Weapons.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/miscfiles.h"
#include "tools/lib/p2b.h"

using namespace enemyrig;
using BA = BadGuyAnims;

namespace {

// A fight controller that answers the front-animation question with a set
// count and records every code it hears.
struct FightController : Object
{
    std::vector<int> codes;
    std::vector<int> attackAnims;   // param1 of each attack announcement
    int frontReply = 0;
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg != OM_SPECIAL || data == nullptr)
            return 0;
        auto* c = static_cast<FightController*>(o);
        const auto* m = static_cast<SpecialMessage*>(data);
        c->codes.push_back(m->submsg);
        if (m->submsg == 23007)
            c->attackAnims.push_back(m->param[1]);
        return m->submsg == 23049 ? c->frontReply : 0;
    }
    FightController() { messagehandler = mh; }
    int Count(int code) const { return int(std::count(codes.begin(), codes.end(), code)); }
};

Enemy* Fighter(VectorPos pos, int id = 9)
{
    char name[] = "FighterEnemy";
    Object* o = g_pgcTest->CreateCharacterAt(kEnemySlot, id, -1, name, false);
    if (o == nullptr)
        return nullptr;
    Enemy* e = static_cast<Enemy*>(o);
    e->mat.SetTrans(pos);
    e->vobank = 255;
    return e;
}

float Yaw(const Object* o) { return std::atan2(o->mat.z[0], o->mat.z[2]); }

}  // namespace

TEST(FighterEnemy, MadeByNameWakesByDistanceAndLeaves)
{
    Scene s;
    srand(5);
    Enemy* e = Fighter(VectorPos(50.0f, 0.0f, 0.0f));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->mode, 21);
    EXPECT_EQ(e->enemytype, Enemy::ENEMYTYPE_FIGHTER);
    EXPECT_FLOAT_EQ(e->strength, 100.0f);
    EXPECT_FLOAT_EQ(e->initialstrength, 100.0f);
    EXPECT_FLOAT_EQ(e->aggro, 0.5f);
    EXPECT_EQ(e->style, 5);
    EXPECT_EQ(e->combatoverlayanims, Enemy::MaleOverlayAnims);
    EXPECT_TRUE(e->mode2 == 84 || e->mode2 == 86);
    EXPECT_EQ(static_cast<Object*>(e->target), s.player);
    EXPECT_FALSE(world.pedlist.IsEmpty());

    // Asleep beyond sqrt(2197.265625) = 46.875: frames and touches answer 0.
    s.Ticks(1);
    EXPECT_TRUE(e->IsHibernating());
    CollisionRecord cr(e, s.player);
    EXPECT_EQ(e->SendMessage(OM_COLLISION, &cr), 0);
    e->mat.SetTrans(VectorPos(46.8f, 0.0f, 0.0f));
    s.Ticks(1);
    EXPECT_FALSE(e->IsHibernating());
    // A character with the fighter's own id touching it: -2.
    const int pid = s.player->id;
    s.player->id = e->id;
    EXPECT_EQ(e->SendMessage(OM_COLLISION, &cr), -2);
    s.player->id = s16(pid);

    FightController c;
    e->gameeventobj = &c;
    world.RemoveObject(e);
    EXPECT_EQ(c.Count(SMSG_EV_ENEMY_REMOVED), 1);
    EXPECT_TRUE(world.pedlist.IsEmpty());
}

TEST(FighterEnemy, EventsStylesWeaponsAndLoopCounting)
{
    Scene s;
    srand(7);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 2.0f));
    ASSERT_NE(e, nullptr);
    // Weapon models by kind; anything outside 2..12 is 20.
    const int want[] = {22, 13, 16, 14, 17, 21, 19, 18, 23, 15, 12};
    for (int k = 2; k <= 12; k++)
        EXPECT_EQ(Enemy::GetFightWeaponIndex(k), want[k - 2]) << k;
    EXPECT_EQ(Enemy::GetFightWeaponIndex(0), 20);
    EXPECT_EQ(Enemy::GetFightWeaponIndex(13), 20);

    // 29 binds the first free volume to the limb with mask 4; 30 unbinds it.
    Object* limb = e->rhand;
    ASSERT_NE(limb, nullptr);
    ASSERT_NE(limb->parent, nullptr);
    AnimEventMessage ev{limb, 0, 29, 0};
    e->SendMessage(OM_ANIMEVENT, &ev);
    EXPECT_TRUE(e->offenseactive);
    EXPECT_EQ(e->offcollobjs[0].boundobj, limb);
    AnimEventMessage ev2{e->lhand, 0, 29, 0};
    e->SendMessage(OM_ANIMEVENT, &ev2);
    EXPECT_EQ(e->offcollobjs[1].boundobj, e->lhand);
    ev.event = 30;
    e->SendMessage(OM_ANIMEVENT, &ev);
    EXPECT_TRUE(e->offenseactive);   // the left hand still strikes
    ev2.event = 30;
    e->SendMessage(OM_ANIMEVENT, &ev2);
    EXPECT_FALSE(e->offenseactive);

    // Paired-move hits: 10, 4, 6; none at zero strength.
    for (int k : {151, 152, 153}) {
        AnimEventMessage h{e, 0, k, 0};
        e->SendMessage(OM_ANIMEVENT, &h);
    }
    EXPECT_FLOAT_EQ(e->strength, 80.0f);
    e->strength = 0.0f;
    AnimEventMessage h{e, 0, 151, 0};
    e->SendMessage(OM_ANIMEVENT, &h);
    EXPECT_FLOAT_EQ(e->strength, 0.0f);
    e->strength = 100.0f;

    // Style change while idling keeps the idle.
    e->SetAnim(84);
    e->SetFightingStyle(1);
    EXPECT_EQ(e->mode2, 84);
    EXPECT_EQ(e->style, 1);
    EXPECT_EQ(e->combatoverlayanims, Enemy::KarateOverlayAnims);
    // In an attack the Male set lacks (104): a random combat idle.
    ASSERT_EQ(Enemy::MaleOverlayAnims[Enemy::CombatAnimOverlayIndex[104]], nullptr);
    e->SetAnim(104);
    e->SetFightingStyle(5);
    EXPECT_TRUE(e->mode2 == 84 || e->mode2 == 86);

    // Loops: A and B idles of one stance count on; another animation restarts.
    e->SetAnim(84);
    AnimEventMessage loop{e, 0, 0, 0};
    e->SendMessage(OM_ANIMLOOP, &loop);
    const int n = e->numloops;
    e->SetAnim(85);
    e->SendMessage(OM_ANIMLOOP, &loop);
    EXPECT_EQ(e->numloops, n + 1);
    e->SetAnim(124);
    e->SendMessage(OM_ANIMLOOP, &loop);
    EXPECT_EQ(e->numloops, 1);
}

TEST(FighterEnemy, TurnLimitsShufflesAndDazeCounts)
{
    Scene s;
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 2.0f));
    ASSERT_NE(e, nullptr);
    e->mat = Matrix(true);
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 2.0f));
    // Facing +z, goal behind: one frame turns at most 6 degrees x 0.48.
    world.playbackSpeed = 0.48f;
    e->FrameWalkTo(VectorPos(0.0f, 0.0f, 0.0f));
    EXPECT_NEAR(std::fabs(Yaw(e)), 0.05026548f, 2e-3f);
    EXPECT_LE(std::fabs(Yaw(e)), 0.05026548f + 1e-5f);
    world.playbackSpeed = 1.0f;
    // Straight above: no horizontal direction, no turn.
    e->mat = Matrix(true);
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 2.0f));
    e->FrameWalkTo(VectorPos(0.0f, -3.0f, 2.0f));
    EXPECT_FLOAT_EQ(Yaw(e), 0.0f);

    // Shuffle by the angle of the place; facing stays at the place ahead.
    // From a high stance the low member: back 131, left 127, walk 125, right 129.
    const VectorPos me(0.0f, 0.0f, 2.0f), ahead(0.0f, 0.0f, 10.0f);
    e->SetAnim(84);
    struct { float ang; int ani; } cases[] = {
        {3.0f, 131}, {-2.4f, 131}, {-2.3f, 127}, {-0.8f, 127}, {-0.7f, 125}, {0.7f, 125}, {0.8f, 129}, {2.3f, 129}, {2.4f, 131}};
    for (auto c : cases) {
        e->mat = Matrix(true);
        e->mat.SetTrans(me);
        const VectorPos p = me + VectorDir(std::sin(c.ang), 0.0f, std::cos(c.ang));
        EXPECT_EQ(e->FrameCombatShuffleTo(p, ahead, false), c.ani) << c.ang;
    }
    // Inside 0.3125 of its place the walk-around shuffles (here: walk 125).
    e->mat = Matrix(true);
    e->mat.SetTrans(me);
    EXPECT_NEAR(e->FrameCombatWalkAroundTo(me + VectorDir(0.0f, 0.0f, 0.2f), ahead, false), 0.2f, 1e-5f);
    EXPECT_EQ(e->mode2, 125);

    // Hits to daze: 3 at aggro 0, 6 at aggro 0.75.
    e->aggro = 0.75f;
    e->totalhitstodaze = e->curhitstodaze = -1;
    e->FighterFrame();
    EXPECT_EQ(e->totalhitstodaze, 6);
    e->aggro = 0.0f;
    e->totalhitstodaze = e->curhitstodaze = -1;
    e->FighterFrame();
    EXPECT_EQ(e->totalhitstodaze, 3);
    // Three unblocked hits daze; 120 frames later the counter is full again.
    for (int i = 0; i < 3; i++)
        e->FighterRegisterUnblockedHit(nullptr, 1, false);
    EXPECT_EQ(e->dazedstarttime, world.time);
    EXPECT_FLOAT_EQ(e->strength, 97.0f);
    world.time += 121;
    e->target = nullptr;
    e->UpdateDazeHits();
    EXPECT_EQ(e->dazedstarttime, -1);
    EXPECT_EQ(e->curhitstodaze, 3);
    // One hit, then one step back per 120 frames.
    e->FighterRegisterUnblockedHit(nullptr, 1, false);
    EXPECT_EQ(e->curhitstodaze, 2);
    world.time += 121;
    e->UpdateDazeHits();
    EXPECT_EQ(e->curhitstodaze, 3);
    // Never dazed with no hits to count.
    e->totalhitstodaze = e->curhitstodaze = 0;
    e->FighterRegisterUnblockedHit(nullptr, 1, false);
    EXPECT_EQ(e->dazedstarttime, -1);
}

TEST(FighterEnemy, ChoosersAgainstARecordingController)
{
    Scene s;
    srand(11);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.4f));
    ASSERT_NE(e, nullptr);
    FightController c;
    e->gameeventobj = &c;

    // No target: the distance counts as 1.25 and the idle routine runs.
    e->target = nullptr;
    e->combatmode = Enemy::CM_ATTACK;
    e->SetAnim(84);
    e->SelectFrontAnim(true);
    EXPECT_EQ(e->combatmode, Enemy::CM_NEUTRAL);
    EXPECT_TRUE(e->mode2 >= 84 && e->mode2 <= 87);
    e->target = s.player;

    // A reply 1..119 (or negative) holds the idle and leaves lastevent.
    for (int r : {1, 119, -5}) {
        c.frontReply = r;
        e->lastevent = 1234;
        e->combatmode = Enemy::CM_ATTACK;
        e->SetAnim(86);
        e->SelectFrontAnim(true);
        EXPECT_EQ(e->combatmode, Enemy::CM_NEUTRAL) << r;
        EXPECT_EQ(e->mode2, 87) << r;
        EXPECT_EQ(e->lastevent, 1234) << r;
    }
    // 0 and 120 let it choose: far away it runs (134).
    for (int r : {0, 120}) {
        c.frontReply = r;
        e->mat.SetTrans(VectorPos(0.0f, 0.0f, 3.0f));
        e->SelectFrontAnim(true);
        EXPECT_EQ(e->combatmode, Enemy::CM_APPROACH);
        EXPECT_EQ(e->mode2, 134);
        EXPECT_EQ(e->lastevent, world.time);
    }
    c.frontReply = 0;

    // A Male fighter never grabs and opens with 93, 95 or 97, announced
    // to the controller.
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 0.2f));
    e->aggro = 1.0f;
    for (int i = 0; i < 20; i++) {
        e->SetAnim(84);
        e->SelectAttackAnim(true);
        EXPECT_TRUE(e->mode2 == 93 || e->mode2 == 95 || e->mode2 == 97) << e->mode2;
        EXPECT_EQ(e->combatmode, Enemy::CM_ATTACK);
    }
    EXPECT_EQ(c.Count(23007), 20);
    // With the player busy (a combo attack) the active chooser never attacks.
    s.player->mode2 = 170;
    for (int i = 0; i < 20; i++) {
        e->combatmode = Enemy::CM_NEUTRAL;
        e->SetAnim(84);
        e->SelectActiveAnim();
        EXPECT_NE(e->combatmode, Enemy::CM_ATTACK);
    }
    // Free again: inside 0.625 it attacks outright.
    s.player->mode2 = 0;
    e->combatmode = Enemy::CM_NEUTRAL;
    e->SelectActiveAnim();
    EXPECT_EQ(e->combatmode, Enemy::CM_ATTACK);

    // The chance rule: p = 0 never, p = 1 always.
    for (int i = 0; i < 50; i++) {
        EXPECT_FALSE(fighter::Chance(0.0f));
        EXPECT_TRUE(fighter::Chance(1.0f));
    }
}

TEST(FighterEnemy, BlocksReactionsKnockdownsAndQueries)
{
    Scene s;
    srand(3);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.4f));
    ASSERT_NE(e, nullptr);
    // High stance blocks heights 2 and 3, low stance 1 and 2 (aggro 0 makes
    // the remaining draw a coin, so only the stance answers are fixed).
    e->SetAnim(84);
    EXPECT_EQ(e->ReactToAttack(1, 0, 3, 0, false), Enemy::CM_DEFEND);
    EXPECT_EQ(e->ReactToAttack(1, 0, 2, 0, false), Enemy::CM_DEFEND);
    e->SetAnim(86);
    EXPECT_EQ(e->ReactToAttack(1, 0, 1, 0, false), Enemy::CM_DEFEND);
    // Finishing, or a target 0.625 away: neutral.
    EXPECT_EQ(e->ReactToAttack(1, 0, 1, 0, true), Enemy::CM_NEUTRAL);
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 0.625f));
    EXPECT_EQ(e->ReactToAttack(1, 0, 1, 0, false), Enemy::CM_NEUTRAL);

    // The collision query: by style and attack, 0 without damage.
    e->SetAnim(99);
    SpecialMessage q(SMSG_Q_COLLISION, s.player);
    e->style = 0;
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &q), 10);
    e->style = 2;
    e->SetAnim(93);
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &q), 2);
    e->nodamage = true;
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &q), 0);
    e->nodamage = false;
    e->style = 5;

    // A grab is refused while attacking.
    SpecialMessage grab(31, s.player, 184);
    e->SetAnim(95);
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &grab), 0);
    // Male never breaks a grapple: accepted when close.
    e->SetAnim(84);
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 0.1f));
    e->aggro = 1.0f;
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &grab), 1);
    EXPECT_EQ(e->victimdata, &e->currentvictimdata);
    EXPECT_EQ(e->currentvictimdata.victimani, 123);
    e->victimdata = nullptr;

    // Knock-down loop counts: 3 at aggro 0, 1 at aggro 1.
    e->mode = 21;
    e->combatmode = Enemy::CM_KNOCKED_DOWN;
    for (float ag : {0.0f, 1.0f}) {
        e->aggro = ag;
        e->SetAnim(286);
        e->loopmode2 = 0;
        AnimEventMessage loop{e, 0, 0, 0};
        int loops = 0;
        while (e->mode2 == 286 && loops < 10) {
            e->SendMessage(OM_ANIMLOOP, &loop);
            loops++;
        }
        EXPECT_EQ(loops, ag == 0.0f ? 3 : 1);
        EXPECT_EQ(e->mode2, 138);
    }
    // Loops of another slot change nothing.
    e->SetAnim(135);
    AnimEventMessage other{e, 1, 0, 0};
    EXPECT_EQ(e->SendMessage(OM_ANIMLOOP, &other), 0);
    EXPECT_EQ(e->mode2, 135);
    // The aggression query.
    SpecialMessage ag(100, nullptr);
    e->aggro = 0.75f;
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &ag), 75);
}

TEST(FighterEnemy, MadeNearThePlayerWalksUpAndAttacks)
{
    Scene s;
    srand(1);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 2.0f));
    ASSERT_NE(e, nullptr);
    FightController c;
    e->gameeventobj = &c;
    e->aggro = 1.0f;
    const float start = (e->GetWorldPos() - s.player->GetWorldPos()).Length();
    float nearest = start;
    for (int i = 0; i < 900 && c.attackAnims.empty(); i++) {
        s.Ticks(1);
        nearest = std::min(nearest, (e->GetWorldPos() - s.player->GetWorldPos()).Length());
    }
    EXPECT_LT(nearest, start - 0.5f);
    ASSERT_FALSE(c.attackAnims.empty());
    const int a = c.attackAnims.front();
    EXPECT_TRUE(a == 93 || a == 95 || a == 97) << a;
    EXPECT_EQ(e->attackmode, Enemy::AM_FRONT);
}

TEST(FighterEnemy, BlowsBlockedOnceFinishersLaunchAndKillingBlowsSlowTheWorld)
{
    Scene s;
    srand(2);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.4f));
    ASSERT_NE(e, nullptr);
    FightController c;
    e->gameeventobj = &c;
    e->totalhitstodaze = e->curhitstodaze = 3;
    CollisionRecord cr(e, s.player);
    heard.collisionAnswer = 5;

    // Defending: blocked, registered once per attack, no damage.
    e->SetAnim(84);
    e->combatmode = Enemy::CM_DEFEND;
    EXPECT_EQ(e->FighterCollision_Blow(&cr), -1);
    EXPECT_EQ(e->FighterCollision_Blow(&cr), -1);
    EXPECT_EQ(c.Count(23009), 1);
    EXPECT_EQ(std::count(heard.codes.begin(), heard.codes.end(), 23009), 1);
    EXPECT_FLOAT_EQ(e->strength, 100.0f);

    // A finishing drop kick (179) lands through the guard, never dazes,
    // refills the counter and launches (0, 0.009313332, 0.034925003).
    s.player->flags |= 0x02000000;
    s.player->mode2 = 179;
    e->curhitstodaze = 1;
    EXPECT_EQ(e->FighterCollision_Blow(&cr), -1);
    EXPECT_FLOAT_EQ(e->strength, 95.0f);
    EXPECT_EQ(e->dazedstarttime, -1);
    EXPECT_EQ(e->curhitstodaze, 3);
    EXPECT_FLOAT_EQ(e->inAirSpeed[1], 0.009313332f);
    EXPECT_FLOAT_EQ(e->inAirSpeed[2], 0.034925003f);
    EXPECT_EQ(e->combatmode, Enemy::CM_KNOCKED_DOWN);
    EXPECT_EQ(e->mode2, 135);
    EXPECT_EQ(c.Count(23003), 1);
    EXPECT_EQ(c.Count(23008), 1);

    // Lying (286): only blows with 0x04000000 reach it.
    s.player->flags &= ~0x02000000u;
    s.player->mode2 = 0;
    e->SetAnim(286);
    e->combatmode = Enemy::CM_NEUTRAL;
    e->FighterCollision_Blow(&cr);
    EXPECT_FLOAT_EQ(e->strength, 95.0f);
    s.player->flags |= 0x04000000;
    e->FighterCollision_Blow(&cr);
    EXPECT_FLOAT_EQ(e->strength, 90.0f);
    EXPECT_EQ(e->mode2, 287);   // the lying recoil
    s.player->flags &= ~0x04000000u;

    // A blow that brings strength to exactly 0 kills: slow motion, 23004.
    e->SetAnim(84);
    e->flags &= ~0x04000000u;
    e->strength = 5.0f;
    e->FighterCollision_Blow(&cr);
    EXPECT_FLOAT_EQ(e->strength, 0.0f);
    EXPECT_FLOAT_EQ(world.playbackSpeed, 0.48f);
    EXPECT_EQ(e->combatmode, Enemy::CM_DEAD);
    EXPECT_EQ(c.Count(23004), 1);
    world.playbackSpeed = 1.0f;
}

TEST(FighterEnemy, LyingDodgeArrestAndCommands)
{
    Scene s;
    srand(6);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(e, nullptr);
    e->mat = Matrix(true);
    s.player->mat.SetTrans(VectorPos(0.3f, 0.0f, 0.2f));   // on the fighter's +x side, 0.36 away
    // A lying-down punch at a fighter of aggro 1: it rolls to +x first.
    e->aggro = 1.0f;
    e->SetAnim(286);
    SpecialMessage atk(23007, s.player, 4, 201);
    e->SendMessage(OM_SPECIAL, &atk);
    EXPECT_EQ(e->mode2, 140);
    // A get-up attack: it gets up.
    e->SetAnim(286);
    SpecialMessage getup(23007, s.player, 4, 205);
    e->SendMessage(OM_SPECIAL, &getup);
    EXPECT_EQ(e->mode2, 138);
    // At aggro 0 it stays and the loop count restarts.
    e->aggro = 0.0f;
    e->SetAnim(286);
    e->numloops = 2;
    e->SendMessage(OM_SPECIAL, &atk);
    EXPECT_EQ(e->mode2, 286);
    EXPECT_EQ(e->numloops, 0);

    // The lying arrest: accepted, 10 points, unrest down by one but not
    // below 0, one good disposal.
    g_pgcTest->stats = sPlayerStats{};
    g_pgcTest->stats.nCivilUnrest = 0;
    e->SetAnim(289);
    SpecialMessage arrest(31, s.player, 134);
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &arrest), 1);
    EXPECT_EQ(g_pgcTest->stats.nCivilUnrest, 0u);
    EXPECT_EQ(g_pgcTest->stats.nGoodDisposals, 1u);
    EXPECT_EQ(e->currentvictimdata.victimani, 259);
    EXPECT_TRUE(e->flags & 0x30000000);
    e->victimdata = nullptr;

    // 104: shoots at the player one time in five, runs otherwise.
    int shoot = 0;
    for (int i = 0; i < 500; i++) {
        gEnemyCommandLog.last = nullptr;
        SpecialMessage lock(104, nullptr);
        // Each answer changes the fighter's kind: ask the fighter's handler.
        Enemy::FighterEnemy_mh(e, OM_SPECIAL, &lock);
        shoot += gEnemyCommandLog.last != nullptr && std::string(gEnemyCommandLog.last) == "Enemy::ShootObject";
    }
    EXPECT_GT(shoot, 60);
    EXPECT_LT(shoot, 140);
}

namespace {

// A piece of scenery of the given kind holding one collision box (in its own
// frame) at pos.
struct Scenery : Object
{
    CollBoxEnd box;
    Scenery(u8 kind, VectorPos pos, const Cuboid& c) : box(MakeCollisionID(1, 1), c)
    {
        type = kind;
        mat = TransMatrix(pos);
        collision = box.Chain();
    }
};

// The record the collision pass hands the fighter when its ball touches s.
int Touch(Enemy* e, Scenery& s, CollSphereEnd& ball)
{
    CollisionRecord cr(e, &s);
    cr.Set(ball.Chain(), s.collision, e, &s);
    cr.SaveMatrix(e->GetWorldMatrix(), s.GetWorldMatrix());
    return e->SendMessage(OM_COLLISION, &cr);
}

}  // namespace

TEST(FighterEnemy, ThrownAgainstAWallItFallsLiesAndGetsUp)
{
    Scene s;
    srand(8);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(e, nullptr);
    FightController c;
    e->gameeventobj = &c;
    g_pgcTest->bInterior = false;
    // Flying back (136) with its back to the scenery, turned a little off +z.
    e->mat = RotY(0.3f);
    e->aggro = 1.0f;
    e->mode = 21;
    e->attackmode = Enemy::AM_FRONT;
    e->prevattackmode = Enemy::AM_FRONT;
    e->combatmode = Enemy::CM_KNOCKED_DOWN;
    e->SetAnim(136);
    e->flags |= ENEMYF_AIRBORNE;
    CollSphereEnd ball(MakeCollisionID(1, 1), Sphere(VectorPos(0.0f, -0.5f, -0.1f), 0.25f));
    // A placed object whose top is 0.5 above its feet is no wall.
    Scenery low(OBJT_PLACEHOLDER, VectorPos(0.0f, 0.0f, -0.4f),
                Cuboid(VectorPos(-2.0f, -0.5f, -0.1f), VectorPos(2.0f, 0.0f, 0.1f)));
    Touch(e, low, ball);
    EXPECT_EQ(e->mode2, 136);
    // A placed object standing 2 high is: the fighter hits it, faces away
    // from it and falls from it.
    Scenery wall(OBJT_PLACEHOLDER, VectorPos(0.0f, 0.0f, -0.4f),
                 Cuboid(VectorPos(-2.0f, -2.0f, -0.1f), VectorPos(2.0f, 0.0f, 0.1f)));
    Touch(e, wall, ball);
    EXPECT_EQ(e->mode2, 142);
    EXPECT_FALSE(e->flags & ENEMYF_AIRBORNE);
    EXPECT_NEAR(Yaw(e), 0.0f, 1e-4f);

    // The wall recoil ends in the wall fall; at aggro 1 the fighter lies
    // 120 frames, then gets up and takes a combat idle.
    AnimEventMessage end{e, 0, 0, 0};
    e->SendMessage(OM_ANIMLOOP, &end);
    ASSERT_EQ(e->mode2, 143);
    const float fell = e->frame;
    float up = -1.0f;
    for (int i = 0; i < 400 && up < 0.0f; i++) {
        s.Ticks(1);
        if (e->mode2 == 144)
            up = e->frame;
    }
    ASSERT_GE(up, 0.0f);
    EXPECT_GT(up - fell, 120.0f);
    EXPECT_LE(up - fell, 123.0f);
    e->SendMessage(OM_ANIMLOOP, &end);
    EXPECT_TRUE(e->mode2 == 84 || e->mode2 == 86 || e->mode2 == 89) << e->mode2;
}

TEST(FighterEnemy, IndoorFloorsTheHigherIsStoodOnAndWallsPopItOut)
{
    Scene s;
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(e, nullptr);
    e->mat = Matrix(true);
    e->mode = 21;
    e->SetAnim(84);
    g_pgcTest->bInterior = true;
    CollSphereEnd feet(MakeCollisionID(1, 1), Sphere(VectorPos(0.0f, -0.05f, 0.0f), 0.1f));
    // The floor's top at the feet (y 0), then one 0.05 higher (y down), then
    // one 0.03 lower, which changes nothing.
    Scenery floor(OBJT_STATIC, VectorPos(0.0f, 0.0f, 0.0f), Cuboid(VectorPos(-1, 0, -1), VectorPos(1, 0.2f, 1)));
    Scenery step(OBJT_STATIC, VectorPos(0.0f, -0.05f, 0.0f), Cuboid(VectorPos(-1, 0, -1), VectorPos(1, 0.2f, 1)));
    Scenery pit(OBJT_STATIC, VectorPos(0.0f, 0.03f, 0.0f), Cuboid(VectorPos(-1, 0, -1), VectorPos(1, 0.2f, 1)));
    Touch(e, floor, feet);
    EXPECT_EQ(static_cast<Object*>(e->groundobj), &floor);
    EXPECT_NEAR(e->groundobjy, 0.0f, 1e-4f);
    Touch(e, step, feet);
    EXPECT_EQ(static_cast<Object*>(e->groundobj), &step);
    EXPECT_NEAR(e->groundobjy, -0.05f, 1e-4f);
    Touch(e, pit, feet);
    EXPECT_EQ(static_cast<Object*>(e->groundobj), &step);
    // Outdoors the same floor is not taken for ground.
    e->groundobj = nullptr;
    g_pgcTest->bInterior = false;
    Touch(e, floor, feet);
    EXPECT_EQ(static_cast<Object*>(e->groundobj), nullptr);
    e->ClearPopOut();
    // A wall 0.04 into its ball from +x pops it out 0.95 of that, along -x.
    CollSphereEnd body(MakeCollisionID(1, 1), Sphere(VectorPos(0.0f, -0.5f, 0.0f), 0.2f));
    Scenery wall(OBJT_STATIC, VectorPos(0.16f, 0.0f, 0.0f), Cuboid(VectorPos(0, -2, -1), VectorPos(0.5f, 0, 1)));
    Touch(e, wall, body);
    const VectorDir pop = e->GetPopOut();
    EXPECT_NEAR(pop[0], -0.95f * 0.04f, 1e-5f);
    EXPECT_NEAR(pop[1], 0.0f, 1e-6f);
    EXPECT_NEAR(pop[2], 0.0f, 1e-6f);
}

TEST(FighterEnemy, AFreshBrawlerBreaksAGrappleAMaleNever)
{
    Scene s;
    srand(9);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.3f));
    ASSERT_NE(e, nullptr);
    e->mode = 21;
    e->aggro = 1.0f;
    e->SetFightingStyle(3);
    e->SetAnim(84);
    heard.grabAnswer = 1;
    // The player's grapple (184): the Brawler breaks it with one of its two
    // breaks, offered to the player with a 5-frame blend.
    SpecialMessage grab(31, s.player, 184);
    const int r = e->SendMessage(OM_SPECIAL, &grab);
    ASSERT_TRUE(r == -1 || r == -2) << r;
    EXPECT_EQ(e->mode2, r == -1 ? 117 : 118);
    EXPECT_EQ(heard.grabAnim, e->mode2);
    EXPECT_EQ(e->victimdata, nullptr);
    EXPECT_EQ(e->combatmode, Enemy::CM_RECOIL);
    EXPECT_TRUE(e->flags & ENEMYF_HOLDING);
    // When the player will not let go the Brawler is held after all.
    e->flags &= ~ENEMYF_HOLDING;
    e->SetAnim(84);
    heard.grabAnswer = 0;
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &grab), 1);
    EXPECT_EQ(e->mode2, 123);
    EXPECT_EQ(e->victimdata, &e->currentvictimdata);
    // A Male fighter never tries.
    e->victimdata = nullptr;
    e->flags &= ~ENEMYF_HOLDING;
    e->SetFightingStyle(5);
    e->SetAnim(84);
    heard.grabAnswer = 1;
    heard.grabAnim = -1;
    EXPECT_EQ(e->SendMessage(OM_SPECIAL, &grab), 1);
    EXPECT_EQ(heard.grabAnim, -1);
    EXPECT_EQ(e->mode2, 123);
}

// The sample disc's fighting kit: a fighter given melee weapon kind 9 holds
// hierarchy 18 of the disc's weapons file (one of its own bar models), and a
// Karate opener switches its attack volume on at the striking hand.
TEST(FighterEnemy, TheDiscsWeaponsAndBlowsStrikeWithTheHand)
{
    Scene s;
    srand(4);
    std::vector<u8> weapons;
    std::string error;
    for (const auto& [path, file] : tools::ResidentMiscFiles())
        if (path == "DemoData/Misc/WEAPONS.P2B")
            tools::WriteP2B(file, weapons, error);
    ASSERT_FALSE(weapons.empty()) << error;
    ASSERT_NE(s.rig.Model(158, weapons), nullptr);
    EXPECT_GE(g_GlobalMFI.GetMF(158, false)->nNodes, 24);

    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 5.0f));
    ASSERT_NE(e, nullptr);
    e->fightweapontype = 9;
    e->ReinitAsFighter();
    ASSERT_NE(e->fightweapon, nullptr);
    EXPECT_EQ(e->fightweapon->index, 18);
    EXPECT_NE(e->fightweapon->geom, nullptr);

    e->SetFightingStyle(1);
    e->mode = 21;
    e->attackmode = Enemy::AM_PASSIVE;
    e->prevattackmode = Enemy::AM_PASSIVE;
    e->SetAnim(93);
    Object* struck = nullptr;
    for (int i = 0; i < 40 && struck == nullptr; i++) {
        s.Ticks(1);
        for (const OffensiveCollision& o : e->offcollobjs)
            if (o.BoundObj() != nullptr)
                struck = o.BoundObj();
    }
    ASSERT_NE(struck, nullptr);
    EXPECT_TRUE(struck == e->lhand || struck == e->rhand);
}

// A fighter is busy in its fight while arriving, walking up to its target
// or fighting; waiting, idle, surrendering or fleeing it is not, and nothing
// that is not a fighter ever is.
TEST(FighterEnemy, BusyInItsFightOnlyWhileEngaged)
{
    Scene s;
    srand(3);
    Enemy* e = Fighter(s.player->GetWorldPos() + VectorPos(0.0f, 0.0f, 1.0f), -120);
    ASSERT_NE(e, nullptr);
    for (int m : {21, 22, 27}) {
        e->mode = u8(m);
        EXPECT_TRUE(FighterBusyInFight(e)) << m;
    }
    for (int m : {0, 3, 11, 28, 31}) {
        e->mode = u8(m);
        EXPECT_FALSE(FighterBusyInFight(e)) << m;
    }
    EXPECT_FALSE(FighterBusyInFight(s.player));
    EXPECT_FALSE(FighterBusyInFight(nullptr));
}

// Paired moves on the sample disc's clips.  Held in the player's arm-break
// (his grab names his own group 6, clip 80), a fighter is hurt by 10 as the
// throw strikes and is free to part from him near its end; the clips a
// Karate fighter's grapples make the held character play (its group 11,
// clips 19 and 22) hurt and part the same way: 4 + 6 and 10.
TEST(FighterEnemy, PairedMovesHurtTheHeldAndLetThemPart)
{
    Scene s;
    srand(2);
    Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 0.3f));
    ASSERT_NE(e, nullptr);
    e->mode = 21;
    e->SetAnim(84);   // Male: never breaks a grapple
    heard.grabAnswer = 0;
    SpecialMessage grab(31, s.player, 184, 0, 6, 80);
    ASSERT_EQ(e->SendMessage(OM_SPECIAL, &grab), 1);
    EXPECT_EQ(e->mode2, 123);
    EXPECT_FALSE(e->grappleseparation);
    float least = e->strength;
    bool parted = false;
    for (int i = 0; i < 60; i++) {
        s.Ticks(1);
        least = std::min(least, e->strength);
        parted = parted || e->grappleseparation;
    }
    EXPECT_FLOAT_EQ(least, 90.0f);
    EXPECT_TRUE(parted);

    const float hurt[2] = {10.0f, 10.0f};
    for (int i = 0; i < 2; i++) {
        const int clip = Enemy::GrappleVictimAnimInfo[1][i];
        Enemy* held = Fighter(VectorPos(3.0f * float(i + 1), 0.0f, 0.0f), 20 + i);
        ASSERT_NE(held, nullptr);
        held->mode = 29;   // carried by the move: only animated
        held->SetAnim(123, 11, clip);
        bool apart = false;
        for (int t = 0; t < 30; t++) {
            s.Ticks(1);
            apart = apart || held->grappleseparation;
        }
        EXPECT_FLOAT_EQ(held->strength, 100.0f - hurt[i]) << clip;
        EXPECT_TRUE(apart) << clip;
    }
}

// A bullet takes from a fighter by the bone kind of the part it strikes:
// the head everything left, an arm or leg twice the bullet's strength, the
// pelvis (no kind) the strength itself.
TEST(FighterEnemy, BulletsTakeByTheStruckBonesKind)
{
    Scene s;
    Bullet& b = *new Bullet;   // zero-filled, left to the world to free
    world.objectlist.AddTail(&b);
    b.mat = Matrix(true);
    b.strength[0] = b.strength[1] = 3.0f;
    auto after = [&](int bone) {
        Enemy* e = Fighter(VectorPos(0.0f, 0.0f, 2.0f));
        EXPECT_NE(e, nullptr);
        if (e == nullptr)
            return -1.0f;
        e->strength = 50.0f;
        Object* part = e->FindSubObject(tools::kHumanoidSkeleton[bone].subid);
        EXPECT_NE(part, nullptr) << bone;
        VectorPos at = part != nullptr ? part->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f);
        SpecialMessage hit(SMSG_BULLET_HIT, &b, &at, 0, part, &at);
        e->SendMessage(OM_SPECIAL, &hit);
        return e->strength;
    };
    EXPECT_EQ(after(tools::kBoneLeftUpperArm), 44.0f);
    EXPECT_EQ(after(tools::kBoneRightShin), 44.0f);
    EXPECT_EQ(after(tools::kBonePelvis), 47.0f);
    EXPECT_EQ(after(tools::kBoneHead), 0.0f);
}
