// Bullets: flight, the contacts they take, what they tell the struck object,
// their damage over distance, and their lifetime.
#include <gtest/gtest.h>

#include <vector>

#include "explode_support.h"

#include "game/controller_support.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/Weapons.h"
#include "tools/lib/sidegamefiles.h"

using namespace explodetest;

namespace {

constexpr float kTick = 1.2f;
constexpr int kBulletSlot = 248;
constexpr int kTargetSlot = 249;
constexpr u16 kIsProp = 0x0101;   // a kind-1 shape that hears kind 1
constexpr u16 kIsBody = 0x0109;   // the same, marked as a character's body part
constexpr int kBodySlot = 250;

// The bullets file: nodes 0 and 1 unused here, node 2 the bullet with a
// thin box one tick's flight (0.25) long on z.
tools::P2BFile BulletsFile()
{
    tools::P2BFile f;
    f.models = {BareModel(0.125f)};
    tools::CollisionChain box;
    box.Box(kIsProp, Cuboid(VectorPos(-0.01f, -0.01f, -0.125f), VectorPos(0.01f, 0.01f, 0.125f)));
    f.collisions.push_back(box);
    f.AddNode(-1, tools::MakeNode(0));
    f.AddNode(-1, tools::MakeNode(0));
    NODE b = tools::MakeNode(0);
    b.collision = 0;
    f.AddNode(-1, b);
    return f;
}

// Target files: node 0 a bodiless root with one part, a slab 0.1 deep whose
// front face lies at z = 0 in the root's frame.
tools::P2BFile TargetFile(u16 code = kIsProp)
{
    tools::P2BFile f;
    f.models = {BareModel(1.0f)};
    tools::CollisionChain slab;
    slab.Box(code, Cuboid(VectorPos(-1.0f, -1.0f, 0.0f), VectorPos(1.0f, 1.0f, 0.1f)));
    f.collisions.push_back(slab);
    f.AddNode(-1, tools::MakeNode(0));
    NODE part = tools::MakeNode(0);
    part.collision = 0;
    f.AddNode(0, part);
    return f;
}

std::vector<SpecialMessage> heard;   // what the recording parts were told
std::vector<Object*> hearers;
std::vector<VectorPos> hitPoints;   // read while the bullet still lives
std::vector<VectorDir> hitNormals;

int RecordingPart(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL) {
        const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
        heard.push_back(m);
        hearers.push_back(o);
        if (m.submsg == SMSG_BULLET_HIT) {
            hitPoints.push_back(*static_cast<VectorPos*>(m.param[0]));
            hitNormals.push_back(*static_cast<VectorDir*>(m.param[1]));
        }
    }
    if (msg == OM_DIE) {
        delete o;
        return -1;
    }
    return 0;
}

class Bullets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.SetPlaybackSpeed(1.2f);
        heard.clear();
        hearers.clear();
        hitPoints.clear();
        hitNormals.clear();
    }
    void TearDown() override
    {
        world.Clear();
        world.pedlist.RemoveAll();
    }

    // A target root at z (its part's front face there), with id; the part
    // records what it is told.
    Object* Target(float z, s16 id, OBJTYPE type = OBJT_STATIC, float y = 0.0f)
    {
        // A character's part is a body part.
        MDLFILE* mf = type == OBJT_CHARACTER ? bodies.mf() : targets.mf();
        Object* root = mf->GetHierarchy(0, sizeof(Object), 0);
        EXPECT_NE(root, nullptr);
        root->mat.SetTrans(VectorPos(0.0f, y, z));
        root->id = id;
        root->type = u8(type);
        root->child->messagehandler = RecordingPart;
        root->InitialiseChildCollisions();
        EXPECT_TRUE(world.AddObject(root, nullptr));
        return root;
    }

    bool Fire(int kind, bool precise, int lifetime = 77, s16 shooter = 7)
    {
        Weapon w = gWeapons[kind];
        return ShootBullet(Matrix(true), VectorDir(0.0f, 0.0f, 0.0f), bullets.mf(), 2, &w, shooter, lifetime, precise);
    }

    static Bullet* Flying() { return static_cast<Bullet*>(world.Find(OBJT_PROJECTILE)); }

    static void Tick()
    {
        world.Update();
        world.Collision();
    }

    SlotFile bullets{kBulletSlot, BulletsFile()};
    SlotFile targets{kTargetSlot, TargetFile()};
    SlotFile bodies{kBodySlot, TargetFile(kIsBody)};
};

TEST_F(Bullets, FlightSpeedsFirstTickPedestrianWarningsAndTheMissingModel)
{
    Listener a, b;
    a.messagehandler = Listener::mh;
    b.messagehandler = Listener::mh;
    world.pedlist.AddTail(&a);
    world.pedlist.AddTail(&b);

    ASSERT_TRUE(Fire(WEAP_PISTOL_RUGER, false));
    Bullet* bullet = Flying();
    ASSERT_NE(bullet, nullptr);
    EXPECT_EQ(bullet->type, OBJT_PROJECTILE);
    EXPECT_EQ(bullet->salvotype, WEAP_PISTOL_RUGER);
    for (Listener* l : {&a, &b}) {
        ASSERT_EQ(l->got.size(), 1u);
        EXPECT_EQ(l->got[0].submsg, 59);
        EXPECT_EQ(l->got[0].obj, bullet);
    }
    // Not on its creation tick; then 0.2083333 x 1.2 a tick.
    world.Update();
    EXPECT_EQ(bullet->Pos()[2], 0.0f);
    world.Update();
    EXPECT_NEAR(bullet->Pos()[2], 0.25f, 1e-6f);
    world.Update();
    EXPECT_NEAR(bullet->Pos()[2], 0.5f, 1e-6f);
    world.Clear();

    ASSERT_TRUE(Fire(WEAP_DACE_DEF, true));
    world.Update();
    world.Update();
    EXPECT_NEAR(Flying()->Pos()[2], 0.5f, 1e-6f);
    world.Clear();

    const int before = world.objectlist.Count();
    Weapon w = gWeapons[WEAP_DACE_DEF];
    EXPECT_FALSE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), nullptr, 2, &w, 7, 77, false));
    EXPECT_EQ(world.objectlist.Count(), before);
    EXPECT_EQ(Flying(), nullptr);
    EXPECT_EQ(a.got.size(), 2u);   // one warning per shot made, none for the failed one
    world.pedlist.RemoveAll();
}

TEST_F(Bullets, StrengthFallsOffOverSixAndAQuarterUnitsAndLifetimeEnds)
{
    ASSERT_TRUE(Fire(WEAP_DACE_DEF, false));
    Bullet* b = Flying();
    b->SetPos(VectorPos(0.0f, 0.0f, 3.125f));   // x = 0.5: halfway from 34 to 17
    EXPECT_FLOAT_EQ(b->GetStrength(), 25.5f);
    b->SetPos(VectorPos(6.0f, 0.0f, 8.0f));
    EXPECT_FLOAT_EQ(b->GetStrength(), 17.0f);
    b->SetPos(VectorPos(0.0f, 0.0f, 0.0f));
    b->bIsPrecise = 1;
    EXPECT_FLOAT_EQ(b->GetStrength(), 68.0f);

    // 77 frames of 256 at 307 a tick: gone on the 65th tick, not before.
    RCptr<Object> hold(b);
    for (int t = 0; t < 64; t++)
        world.Update();
    EXPECT_FALSE(b->IsDead());
    world.Update();
    EXPECT_TRUE(b->IsDead());
}

TEST_F(Bullets, HitTellsThePartOnceNearerWinsShooterAndPlaceholdersPassed)
{
    // A plain hit: one message at the part's front face, normal back along
    // the flight.
    Object* t = Target(3.0f, 30);
    ASSERT_TRUE(Fire(WEAP_PISTOL_RUGER, false));
    for (int i = 0; i < 30; i++)
        Tick();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].submsg, SMSG_BULLET_HIT);
    EXPECT_EQ(hearers[0], t->child);
    EXPECT_EQ(static_cast<Object*>(heard[0].param[2]), t->child);
    EXPECT_EQ(int(heard[0].param[3]), 0);
    ASSERT_EQ(hitPoints.size(), 1u);
    EXPECT_NEAR(hitPoints[0][2], 3.0f, 1e-5f);
    EXPECT_NEAR(hitPoints[0][0], 0.0f, 0.011f);
    EXPECT_NEAR(hitNormals[0][2], -1.0f, 1e-5f);
    EXPECT_NEAR(Length(hitNormals[0]), 1.0f, 1e-5f);
    EXPECT_EQ(Flying(), nullptr);
    world.Clear();
    heard.clear();
    hearers.clear();

    // The shooter's own root is flown through.
    Target(3.0f, 7);
    ASSERT_TRUE(Fire(WEAP_PISTOL_RUGER, false));
    for (int i = 0; i < 30; i++)
        Tick();
    EXPECT_TRUE(heard.empty());
    ASSERT_NE(Flying(), nullptr);
    EXPECT_GT(Flying()->Pos()[2], 5.0f);
    world.Clear();

    // Two slabs met in one pass (the farther listed first): the nearer is hit.
    Object* farther = Target(3.08f, 31);
    Object* nearer = Target(2.95f, 32);
    ASSERT_TRUE(Fire(WEAP_PISTOL_RUGER, false));
    for (int i = 0; i < 30; i++)
        Tick();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(hearers[0], nearer->child);
    EXPECT_NE(hearers[0], farther->child);
    world.Clear();
    heard.clear();
    hearers.clear();

    // A placeholder grazed in one pass does not shadow the wall behind it.
    Target(2.0f, 33, OBJT_PLACEHOLDER);
    Object* wall = Target(4.0f, 34);
    ASSERT_TRUE(Fire(WEAP_PISTOL_RUGER, false));
    for (int i = 0; i < 40; i++)
        Tick();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(hearers[0], wall->child);
}

TEST_F(Bullets, FireballFliesSlowAndSetsTheStruckBodyPartAlight)
{
    Object* t = Target(3.0f, 30);
    t->child->type = OBJT_BONE;
    Weapon fire = gWeapons[WEAP_FIREBALL];
    ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), bullets.mf(), 2, &fire, 7, 80, false));
    Bullet* b = Flying();
    Tick();
    Tick();
    EXPECT_NEAR(b->Pos()[2], 0.1041667f * kTick, 1e-6f);
    for (int i = 0; i < 40; i++)
        Tick();
    ASSERT_EQ(heard.size(), 4u);
    for (Object* h : hearers)
        EXPECT_EQ(h, t->child);
    EXPECT_EQ(heard[0].submsg, SMSG_BULLET_HIT);
    EXPECT_EQ(heard[1].submsg, SMSG_KNOCKBACK);
    // Pushed along the flattened normal's reverse: into the slab, along +z.
    EXPECT_NEAR(float(heard[1].param[0]), 0.0f, 1e-7f);
    EXPECT_NEAR(float(heard[1].param[1]), -0.2f * 0.0116417f, 1e-8f);
    EXPECT_NEAR(float(heard[1].param[2]), 0.0116417f, 1e-7f);
    EXPECT_EQ(heard[2].submsg, SMSG_DAMAGE);
    EXPECT_EQ(int(heard[2].param[0]), 20);
    EXPECT_EQ(heard[3].submsg, SMSG_SET_ON_FIRE);
}

// The dragon's own fireball file: a ball shot from 6.9 units, inside its
// reach of 80 frames at 0.1041667 (8.33 units), strikes a character's body
// part, hurts it by 20 and sets it alight; one beyond the reach never lands.
TEST_F(Bullets, TheDragonsFireballReachesABodyWithinItsFlightAndHurtsIt)
{
    SlotFile ball{kBulletSlot + 3, tools::FireballFile()};
    Weapon fire = gWeapons[WEAP_FIREBALL];
    for (float z : {6.9f, 8.6f}) {
        heard.clear();
        Object* t = Target(z, 30, OBJT_CHARACTER);
        ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), ball.mf(), 0, &fire, -121, 80, false));
        for (int i = 0; i < 100; i++)
            Tick();
        int damage = 0;
        bool alight = false;
        for (const SpecialMessage& m : heard) {
            if (m.submsg == SMSG_DAMAGE)
                damage += int(m.param[0]);
            alight = alight || m.submsg == SMSG_SET_ON_FIRE;
        }
        EXPECT_EQ(damage, z < 8.33f ? 20 : 0) << "target at " << z;
        EXPECT_EQ(alight, z < 8.33f) << "target at " << z;
        t->Delete();
        world.Update();
    }
}

// A recording character standing on the frame-call list.
Object* Character(std::vector<Object*>& keep)
{
    Object* c = new Object(RecordingPart);
    c->type = OBJT_CHARACTER;
    c->flags |= OBJF_FRAMECALL;
    world.framecalllist.AddTail(c);
    keep.push_back(c);
    return c;
}

TEST_F(Bullets, GrenadeIndoorsBlastsAtItsSecondBounceAndFliesOnHidden)
{
    GameController* gc = gametest::Controller();
    gc->bInterior = true;
    gc->fInteriorHeight = -1.0f;
    std::vector<Object*> chars;
    Object* near = Character(chars);
    Object* far = Character(chars);

    Matrix muzzle(true);
    muzzle.SetTrans(VectorPos(0.0f, -1.5f, 0.0f));
    Weapon w = gWeapons[WEAP_GREN_LAUNCH];
    ASSERT_TRUE(ShootBullet(muzzle, VectorDir(0, 0, 0), bullets.mf(), 2, &w, 7, 5, false));
    Bullet* g = Flying();
    RCptr<Object> hold(g);
    EXPECT_NEAR(g->vel[2], 0.1041667f, 1e-7f);

    int ticks = 0;
    bool bouncedOnce = false;
    while (g->bounceCount < 2 && ticks < 200) {
        // Stand the characters 1.5 and 2.0 units from where the grenade is.
        near->mat.SetTrans(VectorPos(g->Pos() + VectorDir(1.5f, 0.0f, 0.0f)));
        far->mat.SetTrans(VectorPos(g->Pos() + VectorDir(0.0f, 0.0f, -2.0f)));
        world.Update();
        ticks++;
        EXPECT_LE(g->Pos()[1], -1.0f);   // never below the floor
        if (g->bounceCount == 1 && !bouncedOnce) {
            bouncedOnce = true;
            EXPECT_LT(g->vel[1], 0.0f);   // going back up
            EXPECT_TRUE(heard.empty());
        }
    }
    ASSERT_EQ(g->bounceCount, 2);
    EXPECT_TRUE(g->flags & OBJF_HIDDEN);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(hearers[0], near);
    EXPECT_EQ(heard[0].submsg, SMSG_DAMAGE);
    EXPECT_EQ(int(heard[0].param[0]), 20);
    EXPECT_EQ(heard[0].obj, g);
    EXPECT_EQ(heard[1].submsg, SMSG_KNOCKBACK);
    EXPECT_NEAR(float(heard[1].param[0]), 0.0116417f, 1e-7f);
    EXPECT_NEAR(float(heard[1].param[1]), -0.2f * 0.0116417f, 1e-8f);
    EXPECT_NEAR(float(heard[1].param[2]), 0.0f, 1e-7f);

    // 240 frames whatever was asked: 201 ticks at 307 a tick.
    while (ticks < 200) {
        world.Update();
        ticks++;
    }
    EXPECT_FALSE(g->IsDead());
    world.Update();
    EXPECT_TRUE(g->IsDead());

    // A ball that bounced off the floor hurts nobody afterwards.
    Weapon ball = gWeapons[WEAP_TENNISBALL];
    ASSERT_TRUE(ShootBullet(muzzle, VectorDir(0, 0, 0), bullets.mf(), 2, &ball, 7, 80, false));
    Bullet* b = Flying();
    EXPECT_EQ(b->strength[0], 2.0f);
    for (int i = 0; i < 200 && b->bounceCount == 0 && b->strength[0] != 0.0f; i++)
        world.Update();
    EXPECT_EQ(b->strength[0], 0.0f);
    EXPECT_EQ(b->strength[1], 0.0f);

    gc->bInterior = false;
    world.Clear();   // the characters go with the frame-call list
}

// A ball thrown indoors at a character it meets in flight tells the struck
// part of the hit and bounces off; once it has bounced off the floor it is
// spent: a character it then runs into is told nothing, though the ball
// still bounces off it.
TEST_F(Bullets, ABallHitsACharacterBeforeItsFirstBounceAndNobodyAfter)
{
    GameController* gc = gametest::Controller();
    gc->bInterior = true;
    gc->fInteriorHeight = -1.0f;
    Matrix muzzle(true);
    muzzle.SetTrans(VectorPos(0.0f, -1.5f, 0.0f));
    Weapon ball = gWeapons[WEAP_TENNISBALL];

    // In flight: a character's part half a unit ahead at the ball's height.
    Object* before = Target(0.5f, 30, OBJT_CHARACTER, -1.5f);
    ASSERT_TRUE(ShootBullet(muzzle, VectorDir(0, 0, 0), bullets.mf(), 2, &ball, 7, 80, false));
    Bullet* b = Flying();
    RCptr<Object> hold(b);
    for (int i = 0; i < 40 && heard.empty(); i++)
        Tick();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].submsg, SMSG_BULLET_HIT);
    EXPECT_EQ(hearers[0], before->child);
    EXPECT_LT(b->vel[2], 0.0f);   // thrown back off the character
    world.Clear();
    heard.clear();
    hearers.clear();

    // Spent by the floor: the character it runs into afterwards hears nothing.
    ASSERT_TRUE(ShootBullet(muzzle, VectorDir(0, 0, 0), bullets.mf(), 2, &ball, 7, 80, false));
    Bullet* spent = Flying();
    RCptr<Object> hold2(spent);
    for (int i = 0; i < 200 && spent->strength[0] != 0.0f; i++)
        Tick();
    ASSERT_EQ(spent->strength[0], 0.0f);
    ASSERT_GT(spent->vel[2], 0.0f);
    for (int i = 0; i < 3; i++)
        Tick();   // clear of the floor
    const VectorPos at = spent->Pos();
    Target(at[2] + 0.1f, 31, OBJT_CHARACTER, at[1]);
    for (int i = 0; i < 10; i++)
        Tick();
    EXPECT_TRUE(heard.empty());
    EXPECT_LT(spent->vel[2], 0.0f);   // it did touch the character

    gc->bInterior = false;
}

TEST_F(Bullets, WhizzOnlyForOrdinaryBulletsCrossingWithinRange)
{
    Object* listener = new Object(RecordingPart);
    Bullet::whizobj = listener;
    auto crossings = [&](float off, bool precise) {
        heard.clear();
        Bullet::whizpos = VectorPos(off, 0.0f, 5.125f);   // met between ticks, 0.125 along
        EXPECT_TRUE(Fire(WEAP_PISTOL_RUGER, precise));
        for (int i = 0; i < 40; i++)
            world.Update();
        world.Clear();
        int n = 0;
        for (const SpecialMessage& m : heard)
            n += m.submsg == SMSG_EV_BULLET_WHIZZ;
        return n;
    };
    EXPECT_EQ(crossings(0.6f, false), 1);
    EXPECT_EQ(crossings(0.7f, false), 0);
    EXPECT_EQ(crossings(0.6f, true), 0);

    // A listener that has died is let go by the next bullet passing.
    listener->Delete();
    EXPECT_EQ(crossings(0.6f, false), 0);
    EXPECT_EQ(static_cast<Object*>(Bullet::whizobj), nullptr);
    Bullet::whizpos = VectorPos(0.0f, 0.0f, 0.0f);
}

}  // namespace
