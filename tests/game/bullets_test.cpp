// Bullets: flight, the contacts they take, what they tell the struck object,
// their damage over distance, and their lifetime.
#include <gtest/gtest.h>

#include <vector>

#include "explode_support.h"

#include "game/StandIns.h"
#include "game/Weapons.h"

using namespace explodetest;

namespace {

constexpr int kBulletSlot = 248;
constexpr int kTargetSlot = 249;
constexpr u16 kIsProp = 0x0101;   // a kind-1 shape that hears kind 1

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
tools::P2BFile TargetFile()
{
    tools::P2BFile f;
    f.models = {BareModel(1.0f)};
    tools::CollisionChain slab;
    slab.Box(kIsProp, Cuboid(VectorPos(-1.0f, -1.0f, 0.0f), VectorPos(1.0f, 1.0f, 0.1f)));
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
    }
    void TearDown() override
    {
        world.Clear();
        world.pedlist.RemoveAll();
    }

    // A target root at z (its part's front face there), with id; the part
    // records what it is told.
    Object* Target(float z, s16 id, OBJTYPE type = OBJT_STATIC)
    {
        Object* root = targets.mf()->GetHierarchy(0, sizeof(Object), 0);
        EXPECT_NE(root, nullptr);
        root->mat.SetTrans(VectorPos(0.0f, 0.0f, z));
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

}  // namespace
