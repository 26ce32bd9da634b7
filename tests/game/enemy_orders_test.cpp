// Shooters taking orders, damage and bullets, grabbed and released by the
// player, holding hostages and giving up; guards at their posts, on their
// check rounds and patrols; cover and sniping: answers worked out from the
// rules, and runs in which a surrendering shooter drops his gun and a guard
// walks his round through a door and leaves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "enemy_support.h"
#include "explode_support.h"

#include "tools/lib/gunfiles.h"
#include "tools/lib/setupfile.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "game/Bystander.h"
#include "game/HUD.h"
#include "game/Weapons.h"

using namespace enemyrig;
using BA = BadGuyAnims;

namespace {

int Say(Enemy* e, int code, Object* obj = nullptr, Variant p0 = 0, Variant p1 = 0, Variant p2 = 0, Variant p3 = 0)
{
    SpecialMessage m(code, obj, p0, p1, p2, p3);
    return e->SendMessage(OM_SPECIAL, &m);
}

// The centre text posted since the last call, emptied for the next.
std::string CentreText(MapDisplay& md)
{
    for (ScreenText& st : md.screentext) {
        if (st.stPos == STP_CENTER) {
            std::string t = st.cText;
            st = ScreenText{};
            return t;
        }
    }
    return "";
}

float Facing(const Enemy* e, VectorDir d)
{
    VectorDir z(e->mat.z.xyz());
    z[1] = d[1] = 0.0f;
    return Dot(Normalise(z), Normalise(d));
}

// A straight path of one segment from a to a + (3, 0, 0).
Spline* StraightPath(Vector (&pts)[4], VectorPos a)
{
    for (int k = 0; k < 4; k++)
        pts[k] = Vector(a[0] + float(k), a[1], a[2], 1.0f);
    Spline* sp = reinterpret_cast<Spline*>(pts);
    sp->SetCount(4);
    return sp;
}

}  // namespace

// ---------------------------------------------------------------------------
// Orders and queries

TEST(EnemyOrders, CommandsTheCarRuleAndTheQueries)
{
    EventLog ctl, ctl2;
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    Object other;
    struct Cmd
    {
        int code;
        const char* name;
        bool obj, arg;
    };
    const Cmd cmds[] = {
        {50, "Enemy::AttackObject", true, true},        {51, "Enemy::AttackObjectNoDamage", true, true},
        {52, "Enemy::ShootObject", true, false},        {53, "Enemy::ShootObjectNoDamage", true, false},
        {54, "Enemy::RunAwayFromObject", true, false},  {55, "Enemy::HarassObject", true, false},
        {60, "Enemy::TakeObjectHostage", true, false},  {61, "Enemy::AllyWithObject", true, false},
        {62, "Enemy::SeekObject", true, false},         {63, "Enemy::Wander", false, false},
        {67, "Enemy::ReactToObject", true, false},      {68, "Enemy::ThreatenObject", true, true},
        {83, "Enemy::ChaseObject", true, false},        {89, "Enemy::TurnIntoHostage", false, false},
        {90, "Enemy::StruggleWithObject", true, false}, {97, "Enemy::BodySnatch", true, false},
        {103, "Enemy::PulloutObject", true, false},     {30, "Enemy::GiveUp", false, false},
    };
    for (const Cmd& c : cmds) {
        const int before = gEnemyCommandLog.count;
        gEnemyCommandLog.arg = 0;
        EXPECT_EQ(Say(e, c.code, &other, 7), 0) << c.code;
        EXPECT_EQ(gEnemyCommandLog.count, before + 1) << c.code;
        EXPECT_STREQ(gEnemyCommandLog.last, c.name) << c.code;
        EXPECT_EQ(gEnemyCommandLog.obj, c.obj ? &other : nullptr) << c.code;
        EXPECT_EQ(gEnemyCommandLog.arg, c.arg ? 7 : 0) << c.code;
    }
    // Turned into a bystander: -1, and the handler stops there.
    EXPECT_EQ(Say(e, 82, &other), -1);
    EXPECT_STREQ(gEnemyCommandLog.last, "Enemy::MorphIntoBystander");
    // The commands changed its kind on the way: a shooter again for the rest.
    e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, 14);
    ASSERT_NE(e, nullptr);
    // No car for a shooter who gave up.
    e->mode = 11;
    const int before = gEnemyCommandLog.count;
    Say(e, 64, &other);
    EXPECT_EQ(gEnemyCommandLog.count, before);
    // A chase enemy (-150..-101) hands the decisions to the car; others keep them.
    Enemy* chaser = s.Shooter(VectorPos(3.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, -120);
    ASSERT_NE(chaser, nullptr);
    Vehicle car, car2;
    chaser->flags |= ENEMYF_ACTIVE;
    e->mode = 24;
    e->flags |= ENEMYF_ACTIVE;
    // Something that is not a car: the order is not obeyed.
    Object notACar;
    const int beforeNotACar = gEnemyCommandLog.count;
    Say(e, 64, &notACar);
    EXPECT_EQ(gEnemyCommandLog.count, beforeNotACar);
    EXPECT_FALSE(notACar.flags & ENEMYF_ACTIVE);
    Say(chaser, 64, &car);
    Say(e, 64, &car2);
    EXPECT_FALSE(chaser->flags & ENEMYF_ACTIVE);
    EXPECT_TRUE(car.flags & ENEMYF_ACTIVE);
    EXPECT_TRUE(e->flags & ENEMYF_ACTIVE);
    EXPECT_TRUE(car2.flags & ENEMYF_ACTIVE);   // marked by the getting in itself
    // Queries and flags.
    e->iLastDrawnTime = 1234;
    EXPECT_EQ(Say(e, 29002), 1234);
    EXPECT_EQ(Say(e, 29003), 0);
    Say(e, 93);
    EXPECT_EQ(Say(e, 29003), 1);
    EXPECT_EQ(Say(e, 29004), 0);
    ASSERT_NE(e->rightgunarm.gun, nullptr);
    Say(e, 133);
    EXPECT_TRUE(e->rightgunarm.gun->flags & 1u);
    Say(e, 131);
    EXPECT_FALSE(e->rightgunarm.gun->flags & 1u);
    e->gameeventobj = nullptr;
    Say(e, 28001, &ctl);
    Say(e, 28001, &ctl2);
    EXPECT_EQ(e->gameeventobj, &ctl);
    for (int code : {24, 25, 58, 65, 91, 28002})
        EXPECT_EQ(Say(e, code, &other), 0) << code;
}

TEST(EnemyOrders, DamageKnockBackNoiseAndWarnings)
{
    EventLog events;
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    e->gameeventobj = &events;
    e->strength = 10.0f;
    Say(e, 27, nullptr, 4);
    EXPECT_FLOAT_EQ(e->strength, 6.0f);
    EXPECT_NE(e->rightgunarm.gun, nullptr);
    // Equal to what is left: killed, gun down, reported.
    Say(e, 27, nullptr, 6);
    EXPECT_EQ(e->strength, 0.0f);
    EXPECT_EQ(e->rightgunarm.gun, nullptr);
    EXPECT_EQ(e->mode2, +BA::LYING_DOWN_KILLED_ANI);
    EXPECT_TRUE(e->flags & GUYF_DYING);
    EXPECT_EQ(events.Count(SMSG_EV_CHARACTER_DIED), 1);
    Say(e, 27, nullptr, 6);
    EXPECT_EQ(events.Count(SMSG_EV_CHARACTER_DIED), 1);
    Enemy* beaten = s.Shooter(VectorPos(3.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, 8);
    beaten->strength = 10.0f;
    beaten->flags |= GUYF_DEAD;
    Say(beaten, 27, nullptr, 20);
    EXPECT_FLOAT_EQ(beaten->strength, 10.0f);

    // Knock-back: faces along the push; the knock-down restarts.
    Enemy* k = s.Shooter(VectorPos(-3.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, 9);
    k->flags |= ENEMYF_AIRBORNE;
    Say(k, 80, nullptr, 1.0f, -0.2f, 0.0f);
    EXPECT_GT(Facing(k, VectorDir(1.0f, 0.0f, 0.0f)), 0.999f);
    EXPECT_EQ(k->mode2, +BA::GUN_KNOCKDOWN_ANI);
    EXPECT_FALSE(k->flags & ENEMYF_AIRBORNE);
    k->frame += 6.0f;
    Say(k, 80, nullptr, 0.05f, 0.0f, 0.05f);   // too small to turn
    EXPECT_GT(Facing(k, VectorDir(1.0f, 0.0f, 0.0f)), 0.999f);
    EXPECT_EQ(k->firstanimframe, k->frame);

    // A noise is heard only in controller mode 13.
    Enemy* g = s.Shooter(VectorPos(0.0f, 0.0f, 6.0f), WEAP_PISTOL_RUGER, 11);
    const u16 was = g->mode2;
    VectorPos behind(0.0f, 0.0f, -4.0f), ahead(0.0f, 0.0f, 20.0f);
    g_pgcTest->mode = 12;
    Say(g, 101, nullptr, &behind);
    EXPECT_EQ(g->mode2, was);
    EXPECT_FALSE(g->bHeardNoise);
    g_pgcTest->mode = 13;
    Say(g, 101, nullptr, &behind);
    EXPECT_EQ(g->mode2, +BA::GUARD_WALK_ANI);
    EXPECT_TRUE(g->bHeardNoise);
    EXPECT_EQ(g->timeleft, 60);
    EXPECT_EQ(g->vdNoiseDir, VectorDir(0.0f, 0.0f, -1.0f));
    g->mat = TransMatrix(0.0f, 0.0f, 6.0f);
    Say(g, 101, nullptr, &ahead);
    EXPECT_EQ(g->mode2, +BA::GUARD_IDLE_LOOKAROUND_ANI);
    g_pgcTest->mode = 0;

    // Warnings count only within 10 of the player during a random mission,
    // for shooters, fighters and runners alike.
    Enemy* near = s.Shooter(VectorPos(0.0f, 0.0f, 9.9f), WEAP_PISTOL_RUGER, 12);
    Enemy* far = s.Shooter(VectorPos(0.0f, 0.0f, 10.1f), WEAP_PISTOL_RUGER, 13);
    g_pgcTest->bRandomMissionActive = false;
    Say(near, 56);
    EXPECT_FALSE(near->warnedbydace);
    g_pgcTest->bRandomMissionActive = true;
    Say(near, 57);
    Say(far, 56);
    EXPECT_TRUE(near->warnedbydace);
    EXPECT_FALSE(far->warnedbydace);
    EXPECT_EQ(Say(near, 29004), 1);
    int id = 14;
    for (const char* kind : {"FighterEnemy", "RunnerEnemy"}) {
        for (float d : {9.9f, 10.1f}) {
            char name[16];
            std::snprintf(name, sizeof name, "%s", kind);
            auto* e = static_cast<Enemy*>(g_pgcTest->CreateCharacterAt(kEnemySlot, id++, -1, name, false));
            ASSERT_NE(e, nullptr) << kind;
            e->vobank = 255;
            e->mat.SetTrans(VectorPos(-d, 0.0f, 0.0f));
            Say(e, d < 10.0f ? 56 : 57);
            EXPECT_EQ(e->warnedbydace, d < 10.0f) << kind << " at " << d;
        }
    }
    g_pgcTest->bRandomMissionActive = false;
}

TEST(EnemyOrders, BulletsByZoneWithPointsTextsAndCounters)
{
    Scene s;
    MapDisplay md;
    gametest::Lend<MapDisplay> lent(g_pgcTest->pmd, &md);
    g_pgcTest->stats = {};
    g_pgcTest->stats.fDamageMultiplier = 1.0f;
    Bullet& b = *new Bullet;   // zero-filled, left to the world to free
    world.objectlist.AddTail(&b);
    b.mat = Matrix(true);
    b.bIsPrecise = 0;
    b.strength[0] = b.strength[1] = 3.0f;
    b.sourceid = -1;
    b.sourcePos = VectorPos(0.0f, 0.0f, 0.0f);
    b.id = 555;
    Object part;
    int id = 20;
    auto fresh = [&](float z) {
        Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, z), WEAP_PISTOL_RUGER, id++);
        e->strength = 10.0f;
        return e;
    };
    auto hit = [&](Enemy* e, Object* where, bool zoned) {
        VectorPos at = where != nullptr ? where->GetWorldPos() : e->GetWorldPos() + VectorDir(0.0f, -0.9f, 0.0f);
        Say(e, SMSG_BULLET_HIT, &b, &at, 0, zoned ? &part : nullptr, zoned ? 1 : 0);
    };
    auto points = [] { return int(g_pgcTest->stats.nPoints); };

    // Head shots kill; who he was sets the score.
    struct Head
    {
        int kind;   // 0 perp, 1 hostage, 2 prisoner, 3 cop
        const char* text;
        int points;   // the zone's points and the felling bullet's
    };
    const Head heads[] = {{0, "PERP KILLED...", 10 + 10},
                          {1, "HOSTAGE KILLED...", -20},
                          {2, "PRISONER KILLED...", 10 + 10},
                          {3, "POLICEMAN KILLED...", -20}};
    for (const Head& h : heads) {
        Enemy* e = fresh(4.0f);
        EventLog ev;
        e->gameeventobj = &ev;
        struct Unhook
        {
            Enemy* e;
            ~Unhook() { e->gameeventobj = nullptr; }
        } unhook{e};
        e->ishostage = h.kind == 1;
        e->issurrendering = h.kind == 2;
        e->iscop = h.kind == 3;
        ASSERT_NE(e->head, nullptr);
        const int p0 = points();
        hit(e, e->head, true);
        EXPECT_EQ(CentreText(md), h.text);
        EXPECT_EQ(points() - p0, h.points) << h.text;
        EXPECT_EQ(e->strength, 0.0f);
        EXPECT_TRUE(e->flags & GUYF_DYING);
        EXPECT_EQ(e->rightgunarm.gun, nullptr);
        EXPECT_EQ(ev.Count(SMSG_EV_KNOCKED_DOWN), 1);
    }
    EXPECT_EQ(g_pgcTest->stats.nEnemyBulletHits, 2u);   // not the hostage's, not the cop's
    EXPECT_EQ(g_pgcTest->stats.nPrecisionHead, 4u);
    EXPECT_FLOAT_EQ(g_pgcTest->stats.fMaxShotDistance, 4.0f);

    // The right hand: double damage, then felled.
    Enemy* e = fresh(5.0f);
    ASSERT_NE(e->rhand, nullptr);
    int p0 = points();
    hit(e, e->rhand, true);
    EXPECT_EQ(CentreText(md), "PRECISE SHOT!");
    EXPECT_FLOAT_EQ(e->strength, 4.0f);
    EXPECT_EQ(e->mode2, +BA::GUN_RECOIL_ANI);
    EXPECT_EQ(e->timeleft, 1000);
    EXPECT_EQ(points(), p0);
    hit(e, e->rhand, true);
    EXPECT_EQ(CentreText(md), "PERP NEUTRALIZED!");
    EXPECT_EQ(points() - p0, 20);
    EXPECT_EQ(e->mode2, +BA::GUN_NEUTRALIZED_R_ANI);
    EXPECT_FLOAT_EQ(g_pgcTest->stats.fMaxShotDistance, 5.0f);
    EXPECT_EQ(g_pgcTest->stats.nPrecisionLimbs, 2u);
    EXPECT_EQ(g_pgcTest->stats.nPrecisionDisables, 1u);
    // A foot fells into the legs' animation.
    Enemy* f = fresh(3.0f);
    f->strength = 5.0f;
    hit(f, f->lfoot, true);
    EXPECT_EQ(f->mode2, +BA::GUN_NEUTRALIZED_LEGS_ANI);
    EXPECT_EQ(CentreText(md), "PERP NEUTRALIZED!");

    // Zone-less: a surrendering enemy killed costs 20 (the bullet still pays 10).
    Enemy* s1 = fresh(3.0f);
    s1->strength = 3.0f;
    s1->issurrendering = true;
    p0 = points();
    hit(s1, nullptr, false);
    EXPECT_EQ(CentreText(md), "PERP KILLED TRYING TO SURRENDER...");
    EXPECT_EQ(points() - p0, -20 + 10);
    // Lying on the ground the felling bullet pays 5.
    Enemy* lying = fresh(3.0f);
    lying->strength = 3.0f;
    lying->SetAnim(+BA::GUN_LYINGDOWN_ANI);
    p0 = points();
    hit(lying, nullptr, false);
    EXPECT_EQ(points() - p0, 10 + 5);
    // A duck recoils ducking; mode 36 takes no damage; a zone needs both params.
    Enemy* d = fresh(3.0f);
    d->SetAnim(+BA::GUN_DUCK_ANI);
    hit(d, nullptr, false);
    EXPECT_EQ(d->mode2, +BA::GUN_DUCK_RECOIL_ANI);
    EXPECT_FLOAT_EQ(d->strength, 7.0f);
    d->mode = 36;
    hit(d, d->head, true);
    EXPECT_FLOAT_EQ(d->strength, 7.0f);
    d->mode = 24;
    VectorPos at = d->head->GetWorldPos();
    Say(d, SMSG_BULLET_HIT, &b, &at, 0, &part, 0);
    EXPECT_FLOAT_EQ(d->strength, 4.0f);
    // Without a target he takes the shooter.
    Object* shooter = new Object;
    shooter->id = 77;
    world.objectlist.AddTail(shooter);
    b.sourceid = 77;
    d->target = nullptr;
    hit(d, nullptr, false);
    EXPECT_EQ(static_cast<Object*>(d->target), shooter);
}

TEST(EnemyOrders, TheStruckPartsKindChoosesHowHeFalls)
{
    Scene s;
    MapDisplay md;
    gametest::Lend<MapDisplay> lent(g_pgcTest->pmd, &md);
    g_pgcTest->stats = {};
    g_pgcTest->stats.fDamageMultiplier = 1.0f;
    Bullet& b = *new Bullet;   // zero-filled, left to the world to free
    world.objectlist.AddTail(&b);
    b.mat = Matrix(true);
    b.strength[0] = b.strength[1] = 3.0f;
    b.sourceid = 5;
    int id = 40;
    // A felling bullet through one of his own parts: the part's node kind
    // picks the fall, whether or not the hit names a zone.
    auto fell = [&](int sub, bool zoned) {
        Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, id++);
        e->strength = 2.0f;
        Object* part = e->FindSubObject(sub);
        EXPECT_NE(part, nullptr) << sub;
        VectorPos at = part->GetWorldPos();
        Say(e, SMSG_BULLET_HIT, &b, &at, 0, part, zoned ? 1 : 0);
        EXPECT_TRUE(e->flags & GUYF_DYING) << sub;
        return u16(e->mode2);
    };
    // The left upper arm (kind 30) and lower arm (31) fall to the left, the
    // right lower arm (50) to the right, the thighs and shins (62, 67, 63)
    // on the legs; the pelvis has no kind and dies outright.
    EXPECT_EQ(fell(2, false), +BA::GUN_NEUTRALIZED_L_ANI);
    EXPECT_EQ(fell(4, false), +BA::GUN_NEUTRALIZED_L_ANI);
    EXPECT_EQ(fell(5, false), +BA::GUN_NEUTRALIZED_R_ANI);
    EXPECT_EQ(fell(8, false), +BA::GUN_NEUTRALIZED_LEGS_ANI);
    EXPECT_EQ(fell(9, false), +BA::GUN_NEUTRALIZED_LEGS_ANI);
    const u16 pelvis = fell(21, false);
    EXPECT_TRUE(pelvis == +BA::GUN_KILLED_ANI || pelvis == +BA::GUN_KILLED2_ANI);
    // A zoned hit on the left hand itself (kind 31) falls to the left, where
    // the zone alone (a part of no kind) counts it with the other limbs.
    while (!CentreText(md).empty()) {
    }
    EXPECT_EQ(fell(0, true), +BA::GUN_NEUTRALIZED_L_ANI);
    EXPECT_EQ(CentreText(md), "PERP NEUTRALIZED!");
}

// The disc's bullet fired from beside the player at a standing shooter of
// the disc's figure strikes his body through the body spheres: a shot at the
// chest hurts him and he recoils; a precise shot at the head kills him with
// the head shot's text and points, and the mission hears he is down.
TEST(EnemyOrders, BulletsStrikeTheDiscFiguresBodyHurtAndKill)
{
    Scene s;
    MapDisplay md;
    gametest::Lend<MapDisplay> lent(g_pgcTest->pmd, &md);
    g_pgcTest->stats = {};
    g_pgcTest->stats.fDamageMultiplier = 1.0f;
    tools::P2BFile bulletsFile;
    for (auto& [path, file] : tools::WeaponModelFiles())
        if (path.find("BULLETS") != std::string::npos)
            bulletsFile = file;
    explodetest::SlotFile bullets{248, bulletsFile};
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    e->behavior = Enemy::STATIONARY;
    EventLog ev;
    e->gameeventobj = &ev;
    s.Ticks(2);
    const Weapon w = gWeapons[WEAP_PISTOL_RUGER];
    // Fired by the player (id -1) from half a unit before the point; the
    // world's collision pass of the ticks carries the hit.
    auto fire = [&](Object* at, bool precise, bool indoors) {
        const VectorPos p = at->GetWorldPos();
        Weapon copy = w;
        EXPECT_TRUE(ShootBullet(LookatMatrix(VectorPos(p[0], p[1], p[2] - 0.5f), p), VectorDir(0.0f, 0.0f, 0.0f),
                                bullets.mf(), 2, &copy, -1, 77, precise));
        for (int i = 0; i < 10 && world.Find(OBJT_PROJECTILE) != nullptr; i++) {
            world.Update();
            if (indoors)
                world.InteriorCollision();
            else
                world.Collision();
        }
        EXPECT_EQ(world.Find(OBJT_PROJECTILE), nullptr) << "the bullet stops at him";
    };

    ASSERT_NE(e->torso, nullptr);
    fire(e->torso, false, false);
    EXPECT_EQ(g_pgcTest->stats.nEnemyBulletHits, 1u);
    const float lost = 100.0f - e->strength;
    EXPECT_GE(lost, std::min(w.strength[0], w.strength[1]));
    EXPECT_LE(lost, std::max(w.strength[0], w.strength[1]));
    EXPECT_EQ(e->mode2, +BA::GUN_RECOIL_ANI);
    EXPECT_EQ(ev.Count(SMSG_EV_KNOCKED_DOWN), 0);

    // In a room, through the interiors' collision pass.
    const int p0 = int(g_pgcTest->stats.nPoints);
    fire(e->head, true, true);
    EXPECT_EQ(g_pgcTest->stats.nEnemyBulletHits, 2u);
    EXPECT_EQ(e->strength, 0.0f);
    EXPECT_TRUE(e->flags & GUYF_DYING);
    EXPECT_EQ(CentreText(md), "PERP KILLED...");
    EXPECT_EQ(g_pgcTest->stats.nPrecisionHead, 1u);
    EXPECT_EQ(int(g_pgcTest->stats.nPoints) - p0, 10 + 10);
    EXPECT_EQ(ev.Count(SMSG_EV_KNOCKED_DOWN), 1);
    e->gameeventobj = nullptr;
}

// ---------------------------------------------------------------------------
// Grabs

TEST(EnemyOrders, GrabbedWithinReachAndReleased)
{
    EventLog ev;
    Scene s;
    Object* grip = s.player->FindSubObject(31);
    ASSERT_NE(grip, nullptr);
    const VectorPos gp = grip->GetWorldPos();
    const u16 gunsGrab = Enemy::VictimDataTable[3].enemyani;
    const u16 arrest = Enemy::VictimDataTable[13].enemyani;
    s.player->mat = Matrix(true);
    Enemy* e = s.Shooter(gp + VectorDir(0.1f, 0.0f, 0.1f));
    ASSERT_NE(e, nullptr);
    e->Face(VectorDir(1.0f, 0.0f, 0.0f));
    // The arrest is not for him; the hold is within 0.15625.
    EXPECT_EQ(Say(e, 31, s.player, int(arrest)), 0);
    EXPECT_EQ(Say(e, 31, s.player, int(gunsGrab)), 1);
    EXPECT_EQ(e->victimdata, &e->currentvictimdata);
    EXPECT_EQ(e->mode2, +BA::GUN_GRAPPLED_ANI);
    EXPECT_GT(Facing(e, VectorDir(0.0f, 0.0f, 1.0f)), 0.999f);
    EXPECT_EQ(e->GetWorldPos(), gp);
    // Held: no second grab, no pop-out.
    e->SetAnim(+BA::GUN_GRAPPLED_IDLE_ANI);
    EXPECT_EQ(Say(e, 31, s.player, int(gunsGrab)), 0);
    Enemy* far = s.Shooter(gp + VectorDir(0.0f, 0.0f, 0.2f), WEAP_PISTOL_RUGER, 8);
    EXPECT_EQ(Say(far, 31, s.player, int(gunsGrab)), 0);
    EXPECT_EQ(far->victimdata, nullptr);
    // A prisoner is arrested.
    Enemy* p = s.Shooter(gp + VectorDir(0.0f, 0.0f, 0.2f), WEAP_PISTOL_RUGER, 9);
    p->issurrendering = true;
    EXPECT_EQ(Say(p, 31, s.player, int(arrest)), 1);
    EXPECT_EQ(p->mode2, +BA::ARRESTED_BUT_DOWN_ANI);

    // Released: a guard drops his gun, a downed enemy lies neutralized, a
    // hostage goes free as a bystander.
    Enemy* g = s.Shooter(gp, WEAP_PISTOL_RUGER, 10);
    g->mode = 32;
    Say(g, 32, s.player);
    EXPECT_EQ(g->mode2, +BA::GUARD_DISARMED_DROP_ANI);
    Enemy* down = s.Shooter(gp, WEAP_PISTOL_RUGER, 12);
    down->flags |= GUYF_DYING;
    down->victimdata = &down->currentvictimdata;
    Say(down, 32, s.player);
    EXPECT_EQ(down->rightgunarm.gun, nullptr);
    EXPECT_EQ(down->mode2, +BA::GUN_NEUTRALIZED_L_ANI);
    EXPECT_EQ(down->victimdata, nullptr);
    Enemy* h = s.Shooter(gp, WEAP_PISTOL_RUGER, 13);
    h->gameeventobj = &ev;
    h->ishostage = true;
    Say(h, 32, s.player);
    EXPECT_EQ(ev.Count(23036), 1);
    EXPECT_FALSE(h->ishostage);
    EXPECT_STREQ(gEnemyCommandLog.last, "Enemy::MorphIntoBystander");
    EXPECT_EQ(gEnemyCommandLog.obj, s.player);
}

// ---------------------------------------------------------------------------
// Hostages and surrender

namespace {

struct HostageAnswer
{
    int answer = 1;
    std::vector<SpecialMessage> got;
};
HostageAnswer hostageAnswer;

int Hostage_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL || data == nullptr)
        return 0;
    hostageAnswer.got.push_back(*static_cast<SpecialMessage*>(data));
    return hostageAnswer.answer;
}

}  // namespace

TEST(EnemyOrders, HostagesAreTakenAndLetGoAndTheSurrenderedDropTheirGuns)
{
    Scene s;
    hostageAnswer = HostageAnswer{};
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    Bystander* b = new Bystander;
    b->messagehandler = Hostage_mh;
    b->mat = TransMatrix(0.5f, 0.0f, 3.5f);
    world.objectlist.AddTail(b);
    // Refused: nothing held.
    hostageAnswer.answer = 0;
    EXPECT_FALSE(e->TakeHostage(b));
    EXPECT_EQ(e->hostage, nullptr);
    ASSERT_EQ(hostageAnswer.got.size(), 1u);
    const SpecialMessage& m = hostageAnswer.got[0];
    EXPECT_EQ(m.submsg, 31);
    EXPECT_EQ(m.obj, e);
    EXPECT_EQ(int(m.param[0]), 191);
    const int slot = Enemy::CombatAnimOverlayIndex[+BA::GUN_HOLDHOSTAGE_REACH_ANI];
    const AnimChar* reach = e->combatoverlayanims != nullptr && slot != -1 ? e->combatoverlayanims[slot]
                                                                           : e->anims[+BA::GUN_HOLDHOSTAGE_REACH_ANI];
    ASSERT_NE(reach, nullptr);
    EXPECT_EQ(int(m.param[1]), int(reach->length));
    EXPECT_EQ(int(m.param[2]), 2);
    EXPECT_EQ(int(m.param[3]), 8);
    EXPECT_EQ(e->FindSubObject(31)->mat.GetTrans(), VectorPos(0.5f, 0.0f, 0.5f));
    hostageAnswer.answer = 1;
    EXPECT_TRUE(e->TakeHostage(b));
    EXPECT_EQ(static_cast<Object*>(e->hostage), b);
    EXPECT_EQ(e->mode2, +BA::GUN_HOLDHOSTAGE_REACH_ANI);
    // Let go: unrest down by 2, told once.
    g_pgcTest->stats.nCivilUnrest = 5;
    hostageAnswer.got.clear();
    e->DropHostage();
    e->DropHostage();
    EXPECT_EQ(g_pgcTest->stats.nCivilUnrest, 3u);
    ASSERT_EQ(hostageAnswer.got.size(), 1u);
    EXPECT_EQ(hostageAnswer.got[0].submsg, 32);
    EXPECT_EQ(e->hostage, nullptr);
    e->hostage = b;
    g_pgcTest->stats.nCivilUnrest = 1;
    e->DropHostage();
    EXPECT_EQ(g_pgcTest->stats.nCivilUnrest, 0u);

    // Told to give up, he drops his gun in his first frame and keeps
    // turning to the player.
    e->mat = TransMatrix(0.3f, 0.0f, 3.0f);   // facing away from the player
    const VectorDir toPlayer(-0.3f, 0.0f, -3.0f);
    e->Surrender();
    e->SetAnim(+BA::GIVEUP_ANI);
    ASSERT_NE(e->rightgunarm.gun, nullptr);
    s.Ticks(1);
    EXPECT_EQ(e->rightgunarm.gun, nullptr);
    EXPECT_EQ(e->shootweapontype, -1);
    int pickups = 0;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
        pickups += (*it)->messagehandler == reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("GunPickup")));
    EXPECT_EQ(pickups, 1);
    EXPECT_LT(Facing(e, toPlayer), 0.0f);
    s.Ticks(31);   // half a turn at 6 degrees a frame
    EXPECT_EQ(e->mode, 11);
    EXPECT_GT(Facing(e, toPlayer), 0.999f);
}

// ---------------------------------------------------------------------------
// Guards

TEST(GuardEnemy, PostTimesStopAnimationsIdlesAndTheBust)
{
    EventLog events;
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, -4.0f));   // facing the player at the origin
    ASSERT_NE(e, nullptr);
    e->gameeventobj = &events;
    e->aggro = 1.0f;
    e->Start_Guard();
    EXPECT_EQ(e->mode, 32);
    EXPECT_EQ(e->timeleft, 60);
    EXPECT_EQ(e->mode2, +BA::GUARD_IDLE_ANI);
    e->aggro = 0.0f;
    e->Restart_Guard();
    EXPECT_EQ(e->timeleft, 300);

    // Dozing and cell talk stop when the countdown runs out.
    const Object* keep = e->target;
    e->target = nullptr;
    for (BA a : {BA::GUARD_IDLE_DOZINGOFF_ANI, BA::GUARD_IDLE_CELLTALK_ANI}) {
        e->SetAnim(+a);
        e->timeleft = 1;
        s.Ticks(1);
        EXPECT_EQ(e->mode2, +a);
        s.Ticks(1);
        EXPECT_EQ(e->mode2, +a + 1);
    }
    // The end of an idle: one time in five a special idle.
    srand(21);
    int specials = 0;
    AnimEventMessage loop{e, 0, 0, 0};
    for (int i = 0; i < 2000; i++) {
        e->SetAnim(+BA::GUARD_IDLE_ANI);
        e->ShooterAnimLoop(&loop);
        specials += e->mode2 == +BA::GUARD_IDLE_SPECIAL_1_ANI;
        ASSERT_TRUE(e->mode2 == +BA::GUARD_IDLE_SPECIAL_1_ANI || e->mode2 == +BA::GUARD_IDLE_ANI);
    }
    EXPECT_GT(specials, 300);
    EXPECT_LT(specials, 500);
    e->SetAnim(+BA::GUARD_IDLE_SPECIAL_2_ANI);
    e->ShooterAnimLoop(&loop);
    EXPECT_EQ(e->mode2, +BA::GUARD_IDLE_ANI);

    // He spots the player in front, looks round, and busts him still in view.
    e->target = const_cast<Object*>(keep);
    e->aggro = 1.0f;
    e->Restart_Guard();
    int spottedAt = -1;
    for (int i = 0; i < 60 && spottedAt < 0; i++) {
        s.Ticks(1);
        if (e->mode2 == +BA::GUARD_IDLE_LOOKAROUND_ANI)
            spottedAt = i;
    }
    ASSERT_GE(spottedAt, 0);
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_SPOTTED), 1);
    EXPECT_EQ(e->timeleft, 60 - 1);   // (0 * 2 + 1) * 60 at full aggression, counted once
    s.Ticks(59);
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_BUSTED), 0);
    s.Ticks(1);
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_BUSTED), 1);
    EXPECT_EQ(e->mode2, +BA::GUARD_ALARM_PULLOUTGUN_ANI);
}

TEST(GuardEnemy, ACheckRoundOpensTheDoorChecksComesBackAndLeaves)
{
    EventLog events;
    Scene s;
    alignas(16) static Vector pts[4];
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 3.0f), WEAP_PISTOL_RUGER, 10);
    ASSERT_NE(e, nullptr);
    e->gameeventobj = &events;
    e->target = nullptr;
    e->movepath = StraightPath(pts, VectorPos(0.0f, 0.0f, 3.0f));
    e->maxwander = 0.5f;
    e->delay = 0;
    e->destpatht = 1.0f;
    e->positivedir = true;
    Object* door = new Object;
    door->mat = TransMatrix(5.0f, 0.0f, 0.0f);
    door->id = 4000 - 10;
    world.objectlist.AddTail(door);
    EventLog* steam = EventLog::Make();
    steam->id = 4100 - 10;
    world.objectlist.AddTail(steam);
    const Matrix rest = door->mat;
    e->Start_Guard_Check();
    EXPECT_EQ(e->mode, 33);
    EXPECT_EQ(e->mode2, +BA::GUARD_WALK_ANI);
    EXPECT_EQ(steam->Count(SMSG_PATH_POINT_REACHED), 1);
    // 0.0523599 a frame up to 2.0944 (40 frames): it stops on reaching it.
    float expect = 0.0f;
    for (int i = 1; i <= 45; i++) {
        e->mat.SetTrans(VectorPos(0.3f + 0.02f * float(i), 0.0f, 3.0f));
        s.Ticks(1);
        if (expect < 2.0944f)
            expect += 0.0523599f;
        EXPECT_EQ(e->doorang, expect) << i;
    }
    EXPECT_GE(e->doorang, 2.0944f);
    EXPECT_LT(e->doorang, 2.0944f + 0.0523599f);
    const Matrix open = RotY(e->doorang) * rest;
    EXPECT_EQ(VectorDir(door->mat.x.xyz()), VectorDir(open.x.xyz()));
    // At the check point he checks; the check's end turns him round.
    e->mat.SetTrans(VectorPos(3.0f, 0.0f, 3.0f));
    s.Ticks(1);
    EXPECT_EQ(e->mode2, +BA::GUARD_IDLE_CHECK_ANI);
    AnimEventMessage loop{e, 0, 0, 0};
    e->ShooterAnimLoop(&loop);
    EXPECT_EQ(e->destpatht, 0.0f);
    EXPECT_FALSE(e->positivedir);
    EXPECT_EQ(e->mode2, +BA::GUARD_WALK_ANI);
    // Walking back over the first half the door closes at the same rate.
    e->mat.SetTrans(VectorPos(1.2f, 0.0f, 3.0f));
    s.Ticks(1);
    const float top = e->doorang;
    e->mat.SetTrans(VectorPos(1.1f, 0.0f, 3.0f));
    s.Ticks(1);
    EXPECT_NEAR(e->doorang, top - 0.0523599f, 1e-4f);
    // Home: reported once, the door at rest, and he is gone that frame.
    RCptr<Object> kept(e);   // keeps the storage to look at
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 3.0f));
    s.Ticks(1);
    EXPECT_EQ(events.Count(23014), 1);
    EXPECT_EQ(events.Count(SMSG_EV_ENEMY_REMOVED), 1);
    EXPECT_EQ(VectorDir(door->mat.x.xyz()), VectorDir(rest.x.xyz()));
    EXPECT_TRUE(kept->IsDead());
    s.Ticks(2);
    EXPECT_EQ(events.Count(23014), 1);
}

TEST(GuardEnemy, APatrolHearsANoiseWaitsAtItsEndsAndRaisesTheAlarmOnce)
{
    EventLog events;
    Scene s;
    alignas(16) static Vector pts[4];
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 6.0f), WEAP_PISTOL_RUGER, 10);
    ASSERT_NE(e, nullptr);
    e->gameeventobj = &events;
    e->target = nullptr;
    e->movepath = StraightPath(pts, VectorPos(0.0f, 0.0f, 6.0f));
    e->maxwander = 0.5f;
    e->delay = 5;
    e->Start_Guard_Patrol();
    EXPECT_EQ(e->mode, 35);
    EXPECT_FALSE(e->movepathcircular);
    EXPECT_EQ(e->cyclesleft, 0);
    // A noise behind: he stops, turns to it while the countdown runs, forgets it.
    e->mat = TransMatrix(1.0f, 0.0f, 6.0f);
    g_pgcTest->mode = 13;
    VectorPos noise(1.5f, 0.0f, -10.0f);
    Say(e, 101, nullptr, &noise);
    g_pgcTest->mode = 0;
    EXPECT_EQ(e->mode2, +BA::GUARD_WALK_ANI);
    s.Ticks(31);
    EXPECT_GT(Facing(e, VectorDir(0.0f, 0.0f, -1.0f)), 0.99f);
    EXPECT_TRUE(e->bHeardNoise);
    s.Ticks(30);
    EXPECT_FALSE(e->bHeardNoise);
    // At the far end he waits delay frames, then turns round.
    e->mat = TransMatrix(2.0f, 0.0f, 6.0f);
    e->destpatht = 1.0f;
    e->positivedir = true;
    e->SetAnim(+BA::GUARD_WALK_ANI);
    s.Ticks(1);
    e->mat = TransMatrix(3.0f, 0.0f, 6.0f);
    s.Ticks(1);
    EXPECT_EQ(e->mode2, +BA::GUARD_IDLE_ANI);
    EXPECT_EQ(e->timeleft, 5 - 1);
    AnimEventMessage loop{e, 0, 0, 0};
    e->timeleft = 0;
    e->cyclesleft = 0;
    e->ShooterAnimLoop(&loop);
    EXPECT_EQ(e->mode2, +BA::GUARD_WALK_ANI);
    EXPECT_FALSE(e->positivedir);
    EXPECT_EQ(e->destpatht, 0.0f);
    // Bumped into: 23010 once, when the countdown ends, then the vocal alarm.
    e->target = s.player;
    e->SetAnim(+BA::GUARD_BUMP_PULLOUTGUN_ANI);
    e->timeleft = 3;
    s.Ticks(3);
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_BUSTED), 0);
    s.Ticks(1);
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_BUSTED), 1);
    EXPECT_EQ(e->mode2, +BA::GUARD_ALARM_VOCAL_ANI);
    s.Ticks(5);
    EXPECT_EQ(events.Count(SMSG_EV_TARGET_BUSTED), 1);
}

// ---------------------------------------------------------------------------
// Cover and sniping

TEST(CoverEnemy, WithoutCoverDucksOrReloadsInCoverPeeksRightFirst)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 4.0f));
    ASSERT_NE(e, nullptr);
    e->mode = 24;
    e->targetspotted = false;
    e->aggro = 0.5f;
    e->Start_Shoot_TakeCover();
    EXPECT_EQ(e->mode, 24);
    EXPECT_EQ(e->mode2, +BA::GUN_DUCK_ANI);
    EXPECT_EQ(e->cyclesleft, 2);   // trunc(0.5 * 5)
    e->aggro = 1.0f;
    e->rightgunarm.weapon.bulletsLeft = 0;
    e->Start_Shoot_TakeCover();
    EXPECT_EQ(e->mode2, +BA::GUN_RELOAD_ANI);
    EXPECT_EQ(e->cyclesleft, 1);   // never below 1
    e->rightgunarm.Reload();

    // Ducking in cover with both sides clear: always the right side.
    e->targetspotted = true;
    srand(4);
    int walks = 0;
    for (int i = 0; i < 200; i++) {
        e->mode = 25;
        e->SetAnim(+BA::GUN_DUCK_ANI);
        e->cyclesleft = 0;
        e->Frame_Shoot_TakeCover();
        ASSERT_TRUE(e->mode2 == +BA::GUN_WALK_RIGHT_ANI || e->mode2 == +BA::GUN_DUCK_ROLL_R_ANI) << e->mode2;
        walks += e->mode2 == +BA::GUN_WALK_RIGHT_ANI;
        EXPECT_EQ(e->cyclesleft, e->mode2 == +BA::GUN_WALK_RIGHT_ANI ? 1 : 2);
    }
    EXPECT_GT(walks, 70);
    EXPECT_LT(walks, 130);
    // Not ducking: back to patrol.
    e->SetAnim(+BA::GUN_IDLE_ANI);
    e->cyclesleft = 0;
    e->mode = 25;
    e->Frame_Shoot_TakeCover();
    EXPECT_EQ(e->mode, 24);
    // Without a gun: gives up three times in four, else angry (a clip the
    // test figure lacks: the duck goes on).
    e->DropWeapon();
    int giveups = 0;
    for (int i = 0; i < 400; i++) {
        e->mode = 25;
        e->SetAnim(+BA::GUN_DUCK_ANI);
        e->cyclesleft = 0;
        e->Frame_Shoot_TakeCover();
        ASSERT_TRUE(e->mode2 == +BA::GIVEUP_ANI || e->mode2 == +BA::ANGRY_ANI || e->mode2 == +BA::GUN_DUCK_ANI);
        giveups += e->mode2 == +BA::GIVEUP_ANI;
        EXPECT_EQ(e->cyclesleft, 2);
    }
    EXPECT_GT(giveups, 260);
    EXPECT_LT(giveups, 340);
}

TEST(CoverEnemy, InTheSpaAShooterRunsToThePlacedPointThePillarHidesFromThePlayer)
{
    Scene s;
    // The spa as the sample disc holds it, built where its placeholder
    // stands (the world origin).
    std::vector<u8> spa;
    std::string err;
    const std::vector<tools::NamedSetup> files = tools::SampleSetupFiles();
    ASSERT_EQ(files[1].path, "Int/LEVEL3/SPPLRMG7.P2B");
    ASSERT_TRUE(tools::WriteSetup(files[1].setup, spa, err)) << err;
    MDLFILE* mf = s.rig.Model(195, spa);
    ASSERT_NE(mf, nullptr);
    Object* ph = new Object;
    ph->id = -5;
    ph->mat = Matrix(true);
    world.placeholderlist.AddTail(ph);
    ASSERT_NE(g_pgcTest->LoadIntExtSetup(-5, mf, true), nullptr);

    // A gunman deep in the room who has seen the player at the entrance.
    Enemy* e = s.Shooter(VectorPos(0.9f, 0.0f, 3.0f));
    ASSERT_NE(e, nullptr);
    e->target = s.player;
    e->targetspotted = true;
    e->aggro = 0.5f;
    e->mode = 24;
    e->SetAnim(+BA::GUN_IDLE_ANI);
    // Of the four points only the two at 1.35 deep have a pillar between
    // them and the player; the nearer of those to his chest is at x = 1.4.
    e->Start_Shoot_TakeCover();
    EXPECT_EQ(e->mode, 25);
    EXPECT_FLOAT_EQ(e->takecoverPos[0], 1.4f);
    EXPECT_FLOAT_EQ(e->takecoverPos[1], -0.375f);
    EXPECT_FLOAT_EQ(e->takecoverPos[2], 1.35f);
    EXPECT_EQ(e->mode2, e->RunAni());

    // With the player between the pillars, level with them, no pillar
    // stands in the way: no place qualifies and the gunman ducks where he
    // is.
    s.player->mat.SetTrans(VectorPos(0.0f, 0.0f, 1.6f));
    e->mode = 24;
    e->SetAnim(+BA::GUN_IDLE_ANI);
    e->Start_Shoot_TakeCover();
    EXPECT_EQ(e->mode, 24);
    EXPECT_EQ(e->mode2, +BA::GUN_DUCK_ANI);
    world.placeholderlist.RemoveAll();
}

TEST(CoverEnemy, WithoutPlacedPointsTheProbeTakesTheSpotBehindACarFirstThenAWall)
{
    Scene s;
    // One solid block (half size 0.25, sitting on the floor), made for each
    // object the probe should find.
    tools::P2BFile block;
    block.models = {explodetest::BareModel(0.25f)};
    tools::CollisionChain box;
    box.Box(MakeCollisionID(1, 0), Cuboid(VectorPos(-0.25f, -0.5f, -0.25f), VectorPos(0.25f, 0.0f, 0.25f)));
    block.collisions = {box};
    NODE n = tools::MakeNode(0);
    n.collision = 0;
    block.AddNode(-1, n);
    std::vector<u8> bytes;
    std::string err;
    ASSERT_TRUE(tools::WriteP2B(block, bytes, err)) << err;
    MDLFILE* mf = s.rig.Model(200, bytes);
    ASSERT_NE(mf, nullptr);
    auto place = [&](u8 type, VectorPos at) {
        Object* o = mf->GetHierarchy(0, sizeof(Object), 0);
        o->type = type;
        o->mat = TransMatrix(at[0], at[1], at[2]);
        o->CalcRadius();
        world.AddObject(o, nullptr);
        return o;
    };
    ASSERT_EQ(g_GlobalMFI.GetMF(195, false), nullptr) << "no placed points in this level";
    // The probe keeps the first object of the world's list it touches, so
    // the level's things stand in the list before the shooter, as they do
    // when a level is built before its generators run.
    Object* wall = place(OBJT_STATIC, VectorPos(0.0f, 0.0f, 1.5f));
    // The shooter at the origin looking along +z, the player 2 behind him.
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(e, nullptr);
    e->mat = Matrix(true);
    s.player->mat = TransMatrix(0.0f, 0.0f, -2.0f);

    // A wall 1.5 ahead: the spot 0.3125 beyond it as seen from the player.
    VectorPos out(0, 0, 0);
    EXPECT_EQ(e->CheckAreaForCover(&out), 1);
    EXPECT_NEAR(out[0], 0.0f, 1e-5f);
    EXPECT_NEAR(out[2], 1.5f + 0.3125f, 1e-5f);
    // A car in its place: the spot its own radius beyond it.
    wall->flags |= OBJF_NOCOLLISION;
    Object* car = place(OBJT_VEHICLE, VectorPos(0.0f, 0.0f, 2.5f));
    world.objectlist.Remove(car);   // ahead of the shooter in the list
    world.objectlist.AddHead(car);
    ASSERT_GT(car->radius, 0.0f);
    out = VectorPos(0, 0, 0);
    EXPECT_EQ(e->CheckAreaForCover(&out), 1);
    EXPECT_NEAR(out[2], 2.5f + car->radius, 1e-5f);
    // Nothing but himself in the box: nothing accepted.
    car->flags |= OBJF_NOCOLLISION;
    out = VectorPos(7, 7, 7);
    EXPECT_EQ(e->CheckAreaForCover(&out), 0);
}

TEST(CoverEnemy, SnipersPickNodesWaitTheirCountdownAndHideAtTheEnds)
{
    Scene s;
    Enemy* e = s.Shooter(VectorPos(0.0f, 0.0f, 6.0f));
    ASSERT_NE(e, nullptr);
    // A three-segment path: the ends go inward, the middle either way.
    alignas(16) static Vector pts[10];
    for (int k = 0; k < 10; k++)
        pts[k] = Vector(float(k), 0.0f, 6.0f, 1.0f);
    e->movepath = reinterpret_cast<Spline*>(pts);
    e->movepath->SetCount(10);
    ASSERT_EQ(e->movepath->NumSplines(), 3);
    e->patht = 0.2f;
    e->SetNextSnipingNode();
    EXPECT_EQ(e->destpatht, 1.0f);
    EXPECT_TRUE(e->positivedir);
    e->patht = 2.8f;
    e->SetNextSnipingNode();
    EXPECT_EQ(e->destpatht, 2.0f);
    EXPECT_FALSE(e->positivedir);
    for (int i = 0; i < 20; i++) {
        e->patht = 1.1f;
        e->SetNextSnipingNode();
        EXPECT_EQ(e->destpatht, e->positivedir ? 2.0f : 0.0f);
    }
    // A failed try waits below 180 frames at no aggression, below 60 at full.
    e->behavior = Enemy::STATIONARY;
    e->target = nullptr;
    e->targetspotted = false;
    for (float aggro : {0.0f, 1.0f}) {
        e->aggro = aggro;
        int most = 0;
        for (int i = 0; i < 300; i++) {
            e->SetAnim(+BA::GUN_IDLE_ANI);
            e->timeleft = 0;
            e->Frame_Shoot_Sniping();
            most = std::max(most, int(e->timeleft));
        }
        EXPECT_LE(most, aggro == 0.0f ? 179 : 59);
        EXPECT_GE(most, aggro == 0.0f ? 150 : 45);
    }
    // The decision comes only when the 40-frame countdown ends.
    e->target = s.player;
    e->pTargetTorso = s.player->FindSubObject(20);
    e->mat = TransMatrix(0.0f, 0.0f, 6.0f) * Matrix(true);
    e->Face(VectorDir(0.0f, 0.0f, -1.0f));
    e->Start_Shoot_Sniping();
    EXPECT_EQ(e->mode, 26);
    EXPECT_EQ(e->timeleft, 40);
    for (int i = 0; i < 40; i++) {
        e->rightgunarm.Reload();
        s.Ticks(1);
        EXPECT_EQ(heard.shotAt, 0) << i;
    }
    e->rightgunarm.Reload();
    s.Ticks(1);
    EXPECT_EQ(heard.shotAt, 1);
    EXPECT_EQ(e->mode2, +BA::GUN_IDLE_FIRE_ANI);
    EXPECT_EQ(e->timeleft, 40 - 1);

    // Running to node 0 with hiding: hides (36); the next arrival snipes again.
    e->hidebehavior = Enemy::START_HIDING;
    e->behavior = Enemy::MOVING;
    e->mode = 26;
    e->mat = TransMatrix(0.6f, 0.0f, 6.0f);
    e->patht = 0.2f;
    e->destpatht = 0.0f;
    e->positivedir = false;
    e->SetAnim(+BA::GUN_RUN_ANI);
    e->mat = TransMatrix(0.0f, 0.0f, 6.0f);
    e->Frame_Shoot_Sniping();
    EXPECT_EQ(e->mode, 36);
    EXPECT_EQ(e->mode2, +BA::GUN_DUCK_ANI);
    e->cyclesleft = 0;
    e->Frame_Shoot_TakeCover_Sniping();
    EXPECT_EQ(e->mode2, +BA::GUN_RUN_ANI);
    EXPECT_EQ(e->destpatht, 1.0f);
    e->mat = TransMatrix(3.0f, 0.0f, 6.0f);   // node 1
    e->Frame_Shoot_TakeCover_Sniping();
    EXPECT_EQ(e->mode, 26);
}
