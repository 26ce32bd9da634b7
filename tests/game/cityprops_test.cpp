// City props: the behaviour each model gets from its node's kind, the two
// damage behaviours, hit points of a contact, the dummy collision box, and
// the junction and road a prop belongs to.
#include <gtest/gtest.h>

#include "game/city_support.h"
#include "game/explode_support.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Physics.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/CityLights.h"
#include "game/CityObjects.h"
#include "game/explosn.h"
#include "game/GameEvents.h"

using namespace explodetest;

namespace {

constexpr int kSlot = 251;

// Root node 0 of kind `kind` (model 0, collision 0), with an explosion
// record (wreck model 1, no collision) when `explodes`.
tools::P2BFile PropModel(u16 kind, bool explodes)
{
    tools::P2BFile f;
    f.models = {BareModel(0.3f), BareModel(0.25f)};
    tools::CollisionChain box;
    box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-0.3f, -0.3f, -0.3f), VectorPos(0.3f, 0.3f, 0.3f)));
    f.collisions.push_back(box);
    NODE root = tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kind);
    root.collision = 0;
    f.AddNode(-1, root);
    if (explodes)
        f.AddNode(0, tools::MakeNode(0xF001));
    return f;
}

// A car moving along x at `speed` per tick.
struct Car : DynamicObject
{
    explicit Car(float speed)
    {
        type = OBJT_VEHICLE;
        vel = Vector(speed * 0.6f, 0.0f, speed * 0.8f, 0.0f);
    }
};

class Props : public ::testing::Test
{
protected:
    void SetUp() override { world.Clear(); }
    void TearDown() override { world.Clear(); }

    // The model's template object and its handler.
    static OBJMESSAGEHANDLER HandlerOf(MDLFILE* mf, unsigned* flags = nullptr)
    {
        Object t;
        t.mdlfile = mf;
        OBJMESSAGEHANDLER h = GetGridMessageHandler(&t);
        if (flags != nullptr)
            *flags = t.flags;
        return h;
    }

    // A real prop of the model made by its handler, with params for OM_INIT.
    static Object* RealProp(MDLFILE* mf, const void* params = nullptr, s16 id = 0)
    {
        OBJMESSAGEHANDLER h = HandlerOf(mf);
        Object* o = reinterpret_cast<Object*>(intptr_t(h(nullptr, OM_CREATE, nullptr)));
        mf->GetHierarchyTo(o, 0, GH_ANIMATE);
        o->id = id;
        world.AddObject(o, const_cast<void*>(params));
        return o;
    }

    static int Collide(Object* prop, Object* other)
    {
        CollisionRecord cr(prop, other);
        return prop->SendMessage(OM_COLLISION, &cr);
    }
    static int Damage(Object* prop, int d) { return prop->SendMessage(OM_DAMAGE, reinterpret_cast<void*>(intptr_t(d))); }
    static bool Wrecked(Object* prop) { return prop->geom != nullptr && prop->geom->index == 1; }
};

}  // namespace

TEST_F(Props, HandlersByKind)
{
    {
        SlotFile f(kSlot, PropModel(42, false));
        EXPECT_EQ(HandlerOf(f.mf()), ExteriorInteractiveObject::_mh);
    }
    {
        // An explosion record alone makes a prop explosive.
        SlotFile f(kSlot, PropModel(0, true));
        EXPECT_EQ(HandlerOf(f.mf()), ExteriorDamageable::_mh);
    }
    {
        SlotFile f(kSlot, PropModel(0x1234, false));
        EXPECT_EQ(HandlerOf(f.mf()), nullptr);
    }
    {
        // Kind 271 sways, and is explosive only by its record.
        unsigned flags = 0;
        SlotFile f(kSlot, PropModel(271, false));
        EXPECT_EQ(HandlerOf(f.mf(), &flags), nullptr);
        EXPECT_EQ(flags & 0x1000000u, 0x1000000u);
        SlotFile g(kSlot + 1, PropModel(271, true));
        EXPECT_EQ(HandlerOf(g.mf(), &flags), ExteriorDamageable::_mh);
        EXPECT_EQ(flags & 0x1000000u, 0x1000000u);
    }
}

TEST_F(Props, AnExplosivePropBlowsUpAtElevenHitPointsUnlessItsIdSavesIt)
{
    SlotFile f(kSlot, PropModel(0, true));
    Object* prop = RealProp(f.mf());
    // 0.0233 x 429.49182 = 10.007: 10 points, nothing happens.
    Car slow(0.0233f), fast(0.0257f);
    CollisionRecord crSlow(prop, &slow), crFast(prop, &fast);
    EXPECT_EQ(GetHitPoints(prop, &crSlow), 10);
    EXPECT_EQ(GetHitPoints(prop, &crFast), 11);
    Collide(prop, &slow);
    EXPECT_FALSE(Wrecked(prop));
    Collide(prop, &fast);
    EXPECT_TRUE(Wrecked(prop));

    // The wreck has no collision: a damage message that blows it up says so.
    Object* other = RealProp(f.mf());
    EXPECT_EQ(Damage(other, 10), 0);
    EXPECT_FALSE(Wrecked(other));
    EXPECT_EQ(Damage(other, 11), 1);
    EXPECT_TRUE(Wrecked(other));

    for (s16 id : {s16(0x1000), s16(0x1FFF)}) {
        Object* kept = RealProp(f.mf(), nullptr, id);
        Collide(kept, &fast);
        EXPECT_EQ(Damage(kept, 100), 0);
        EXPECT_FALSE(Wrecked(kept)) << id;
    }
}

TEST_F(Props, ABreakablePropWearsDownByDamageCollisionsAndBullets)
{
    SlotFile f(kSlot, PropModel(42, true));
    const u16 ten = 10;
    Object* a = RealProp(f.mf(), &ten);
    EXPECT_EQ(static_cast<DamageableObject*>(a)->strength, 10);
    EXPECT_EQ(Damage(a, 10), 0);
    EXPECT_EQ(static_cast<DamageableObject*>(a)->strength, 10);
    EXPECT_EQ(Damage(a, 11), 1);
    EXPECT_TRUE(Wrecked(a));
    EXPECT_EQ(a->messagehandler, nullptr);

    // Two knocks of 5 (0.0117 x 429.49 = 5.02).
    Object* b = RealProp(f.mf(), &ten);
    Car car(0.0117f);
    Collide(b, &car);
    EXPECT_EQ(static_cast<DamageableObject*>(b)->strength, 5);
    EXPECT_FALSE(Wrecked(b));
    Collide(b, &car);
    EXPECT_TRUE(Wrecked(b));

    // The default strength (0x5555 stands for 10): two bullets.
    const u16 deflt = 0x5555;
    Object* c = RealProp(f.mf(), &deflt);
    SpecialMessage bullet(SMSG_BULLET_HIT, nullptr);
    c->SendMessage(OM_SPECIAL, &bullet);
    EXPECT_FALSE(Wrecked(c));
    c->SendMessage(OM_SPECIAL, &bullet);
    EXPECT_TRUE(Wrecked(c));

    // Without an explosion record it wears to 0 and stays.
    SlotFile g(kSlot + 1, PropModel(42, false));
    Object* d = RealProp(g.mf(), &ten);
    EXPECT_EQ(Damage(d, 30), 0);
    EXPECT_EQ(static_cast<DamageableObject*>(d)->strength, 0);
    EXPECT_EQ(d->messagehandler, ExteriorInteractiveObject::_mh);
}

TEST_F(Props, ACharacterHurtsOnlyWithAStrikingPartAndSaysHowMuch)
{
    struct Fighter : Object
    {
        static int mh(Object*, OBJMESSAGE msg, void* data)
        {
            return msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == SMSG_Q_COLLISION ? 7 : 0;
        }
    } fighter;
    fighter.type = OBJT_CHARACTER;
    fighter.messagehandler = Fighter::mh;
    Object fist, elbow;
    fist.flags = 0x1000;
    Object prop;
    CollisionRecord cr(&prop, &fighter);
    cr.Set(nullptr, nullptr, &prop, &fist);
    EXPECT_EQ(GetHitPoints(&prop, &cr), 7);
    cr.Set(nullptr, nullptr, &prop, &elbow);
    EXPECT_EQ(GetHitPoints(&prop, &cr), 0);
    cr.Set(nullptr, nullptr, &prop, nullptr);
    EXPECT_EQ(GetHitPoints(&prop, &cr), 0);
    Object lamp;
    CollisionRecord still(&prop, &lamp);
    EXPECT_EQ(GetHitPoints(&prop, &still), 0);
}

TEST_F(Props, TheDummyBoxPassesItsContactsToItsProp)
{
    struct Owner : Object
    {
        static int mh(Object*, OBJMESSAGE msg, void*) { return msg == OM_COLLISION ? 42 : 0; }
    } owner;
    owner.messagehandler = Owner::mh;
    Object* box = CreateDummyCollisionObj();
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->collision, nullptr);
    ASSERT_EQ(box->collision->type, COLL_BOX);
    const CollBox* b = reinterpret_cast<const CollBox*>(box->collision);
    EXPECT_EQ(b->id, 256);
    EXPECT_EQ(b->box.max[0], 0.9375f);
    EXPECT_EQ(b->box.min[2], -0.9375f);
    EXPECT_TRUE(box->collision->Next()->IsEnd());
    EXPECT_NEAR(box->radius, 0.9375f * std::sqrt(3.0f), 1e-4f);
    CollisionRecord cr(box, nullptr);
    EXPECT_EQ(box->SendMessage(OM_COLLISION, &cr), 0);   // no prop yet
    owner.Attach(box);
    EXPECT_EQ(box->SendMessage(OM_COLLISION, &cr), 42);
    box->Detach();
    box->Delete();
}

class PropRoads : public citytest::CityWorld
{
};

TEST_F(PropRoads, APropsJunctionLiesBelowItAndItsRoadLeavesTowardItsFacing)
{
    Load(tools::TestCity(tools::TestCityKind::kTJunction));
    const float m = 128.0f;
    ASSERT_TRUE(SyncTo(VectorPos(m, -1.0f, m)));
    // The junction's centre is at y -1.
    EXPECT_EQ(FindJunction(VectorPos(m + 8.0f, -1.2f, m + 8.0f), VectorDir(1, 0, 0)), nullptr);
    Junction* j = FindJunction(VectorPos(m + 8.0f, -1.4f, m + 8.0f), VectorDir(1, 0, 0));
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->pos[0], m);
    EXPECT_EQ(FindJunction(VectorPos(m + 8.0f, -1.2f, m + 8.0f)), j);
    EXPECT_EQ(FindJunction(VectorPos(m + 400.0f, -1.4f, m + 400.0f), VectorDir(1, 0, 0)), nullptr);

    // East, south, and north where no road goes.
    RoadSeg* east = FindRoadSeg(VectorPos(m + 8.0f, -1.4f, m + 8.0f), VectorDir(1, 0, 0.2f));
    ASSERT_NE(east, nullptr);
    EXPECT_EQ(east->jtn[0], j);
    EXPECT_GT(east->bezier.c3[0], m + 50.0f);
    RoadSeg* south = FindRoadSeg(VectorPos(m + 8.0f, -1.4f, m + 8.0f), VectorDir(0.1f, 0, 1));
    ASSERT_NE(south, nullptr);
    EXPECT_GT(south->bezier.c3[2], m + 50.0f);
    RoadSeg* west = FindRoadSeg(VectorPos(m + 8.0f, -1.4f, m + 8.0f), VectorDir(-1, 0, -0.1f));
    ASSERT_NE(west, nullptr);
    EXPECT_EQ(west->jtn[1], j);
    EXPECT_EQ(FindRoadSeg(VectorPos(m + 8.0f, -1.4f, m + 8.0f), VectorDir(0, 0, -1)), nullptr);
}

// The sample disc's props: each kind gets the behaviour it is made for, and
// the breakable ones leave their wreck when hit hard.
TEST_F(Props, TheSampleDiscsPropsBehaveByTheirKind)
{
    using tools::PropKind;
    const struct {
        PropKind kind;
        OBJMESSAGEHANDLER mh;
    } kinds[] = {{PropKind::kTrafficLight, mhExteriorSpecific[7]}, {PropKind::kStreetLight, mhExteriorSpecific[2]},
                 {PropKind::kStreetSign, mhExteriorSpecific[4]},   {PropKind::kHydrant, ExteriorDamageable::_mh},
                 {PropKind::kBin, ExteriorDamageable::_mh},        {PropKind::kMailbox, ExteriorDamageable::_mh},
                 {PropKind::kBench, ExteriorInteractiveObject::_mh}, {PropKind::kTree, nullptr}};
    for (const auto& k : kinds) {
        const tools::PropFile p = tools::MakeProp(k.kind);
        SlotFile f(kSlot, p.file, p.params);
        unsigned flags = 0;
        EXPECT_EQ(HandlerOf(f.mf(), &flags), k.mh) << int(k.kind);
        EXPECT_EQ((flags & 0x1000000u) != 0, k.kind == PropKind::kTree) << int(k.kind);
        if (k.mh == ExteriorDamageable::_mh) {
            Object* prop = RealProp(f.mf());
            Damage(prop, 20);
            EXPECT_TRUE(Wrecked(prop)) << int(k.kind);
            world.Clear();
        }
    }
    // A traffic light's block: lights, lamp and sign; a street light glows.
    const tools::PropFile light = tools::MakeProp(PropKind::kTrafficLight);
    SlotFile f(kSlot, light.file, light.params);
    const ExteriorSpecific_params* params = PropParams(f.mf(), 0);
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(params->exttype, 7);
    EXPECT_GT(params->radius, 0.0f);
    int lamps[3] = {0, 0, 0};
    for (int i = 0; i < f.mf()->nNodes; i++)
        if (f.mf()->nodes[i].extra >= 0x8001 && f.mf()->nodes[i].extra <= 0x8003)
            lamps[f.mf()->nodes[i].extra - 0x8001]++;
    EXPECT_EQ(lamps[0], 2);   // both faces
    EXPECT_EQ(lamps[1], 2);
    EXPECT_EQ(lamps[2], 2);
}

// In the sample city every traffic light stands on a crossing's corner, more
// than 0.3125 above the junction's centre (the junction it looks for), and
// every T-junction of a side road with the ring has a street sign.
TEST(SampleCityProps, LightsStandAboveTheirCrossingsAndSignsMarkTheTJunctions)
{
    const tools::CityDescription c = tools::SampleCity();
    const u16 lightModel = u16(c.models.size() - 8 + int(tools::PropKind::kTrafficLight));
    const u16 signModel = u16(c.models.size() - 8 + int(tools::PropKind::kStreetSign));
    int lights = 0;
    std::vector<int> signsAt(c.junctions.size(), 0);
    for (const tools::CityInstance& in : c.instances) {
        if (in.model != lightModel && in.model != signModel)
            continue;
        int nearest = 0;
        float best = 1e30f;
        for (size_t j = 0; j < c.junctions.size(); j++) {
            const float dx = c.junctions[j].pos[0] - in.pos[0], dz = c.junctions[j].pos[2] - in.pos[2];
            if (dx * dx + dz * dz < best) {
                best = dx * dx + dz * dz;
                nearest = int(j);
            }
        }
        const tools::CityJunction& j = c.junctions[size_t(nearest)];
        if (in.model == lightModel) {
            lights++;
            EXPECT_EQ(j.slots.size(), 4u);
            EXPECT_LT(in.pos[1] + 0.3125f, j.pos[1]);
            EXPECT_LT(std::sqrt(best), j.radius);
        } else {
            signsAt[size_t(nearest)]++;
        }
    }
    EXPECT_EQ(lights, 16);   // four corners of the four crossings
    for (size_t j = 0; j < c.junctions.size(); j++)
        EXPECT_EQ(signsAt[j], c.junctions[j].slots.size() == 3 && (c.junctions[j].flags & JUNCTION_THROUGHROAD) ? 1 : 0)
            << j;
}
