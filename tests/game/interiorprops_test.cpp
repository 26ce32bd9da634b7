// Interior props: strength, breaking, sliding against walls but not floors,
// two sliding props meeting, and the impact noise that pedestrians hear no
// more often than the prop's interval; seating a figure in a car; the
// interior walker.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/GameEvents.h"
#include "game/MAIN.h"
#include "game/GameFEnt.h"
#include "game/QuadTree.h"
#include "game/cardrivr.h"

namespace {

std::vector<int> g_pedHeard;
int Ped_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL)
        g_pedHeard.push_back(static_cast<SpecialMessage*>(data)->submsg);
    return 0;
}

class InteriorProps : public ::testing::Test
{
protected:
    void SetUp() override { world.Clear(); }
    void TearDown() override
    {
        world.pedlist.RemoveAll();
        world.Clear();
    }
    InteriorDamageable* Prop(CollSphereEnd& shape, VectorPos at, bool sliding)
    {
        auto* p = reinterpret_cast<InteriorDamageable*>(
            intptr_t(InteriorDamageable::staticmh(nullptr, OM_CREATE, nullptr)));
        p->collision = shape.Chain();
        p->radius = 0.5f;
        p->bSliding = sliding;
        p->mat = TransMatrix(at);
        world.AddObject(p, nullptr);
        return p;
    }
    static void Touch(Object* a, Object* b)
    {
        CollisionRecord rec(a, b);
        rec.Set(a->collision, b->collision, a, b);
        rec.SaveMatrix(a->GetWorldMatrix(), b->GetWorldMatrix());
        a->SendMessage(OM_COLLISION, &rec);
    }
    CollSphereEnd shapes[6] = {
        {MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)}, {MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)},
        {MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)}, {MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)},
        {MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)}, {MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)},
    };
};

}  // namespace

TEST_F(InteriorProps, StrengthBreaksSlidesAndMeetings)
{
    // Made with strength 10; an indestructible one (0) ignores any damage.
    InteriorDamageable* hard = Prop(shapes[0], VectorPos(50, 0, 0), false);
    EXPECT_FLOAT_EQ(hard->fStrength, 10.0f);
    EXPECT_EQ(hard->type, OBJT_DYNAMIC);
    EXPECT_NE(hard->flags & 0x80000u, 0u);
    SendSpecial(hard, SMSG_DAMAGE, nullptr, 4);
    EXPECT_FLOAT_EQ(hard->fStrength, 6.0f);
    hard->fStrength = 0.0f;
    SendSpecial(hard, SMSG_DAMAGE, nullptr, 1000);
    EXPECT_FLOAT_EQ(hard->fStrength, 0.0f);
    EXPECT_FALSE(hard->IsDead());

    // Two sliding props that touch: the one handling the contact breaks
    // (no explosion for it, so it goes); the other is untouched.
    InteriorDamageable* a = Prop(shapes[1], VectorPos(0, 0, 0), true);
    InteriorDamageable* b = Prop(shapes[2], VectorPos(0.8f, 0, 0), true);
    RCptr<Object> holdA(a);
    Touch(a, b);
    EXPECT_TRUE(a->IsDead());
    EXPECT_FLOAT_EQ(b->fStrength, 10.0f);

    // Pushed by a wall on its +x side: it leaves the static tree, slides
    // toward -x by the depth and takes twice the depth as damage; the next
    // frame moves it.
    Object* wall = new Object;
    wall->collision = shapes[3].Chain();
    wall->radius = 0.5f;
    wall->mat = TransMatrix(1.6f, 0, 0);
    world.AddObject(wall, nullptr);
    world.bRebuildDynBSP = false;
    Touch(b, wall);
    EXPECT_EQ(b->flags & 0x80000u, 0u);
    EXPECT_TRUE(world.bRebuildDynBSP);
    EXPECT_NEAR(b->vSliding[0], -0.2f, 1e-3f);
    EXPECT_NEAR(b->fStrength, 10.0f - 2.0f * 0.2f, 1e-3f);
    b->SendMessage(OM_FRAME, nullptr);
    EXPECT_NEAR(b->mat.w[0], 0.6f, 1e-3f);
    EXPECT_EQ(b->vSliding[0], 0.0f);
    // On the floor (the contact straight below): no slide, no damage.
    wall->mat = TransMatrix(0.6f, 0.8f, 0);
    const float before = b->fStrength;
    Touch(b, wall);
    EXPECT_EQ(b->vSliding[0], 0.0f);
    EXPECT_EQ(b->vSliding[1], 0.0f);
    EXPECT_FLOAT_EQ(b->fStrength, before);
}

TEST_F(InteriorProps, ImpactNoisesReachNearPedestriansNoMoreOftenThanTheInterval)
{
    InteriorDamageable* p = Prop(shapes[0], VectorPos(0, 0, 0), false);
    p->sound_id = 1;
    p->dist_heard = 5.0f;
    p->min_interval = 1;
    Object* near = new Object(Ped_mh);
    near->mat = TransMatrix(3, 0, 0);
    Object* far = new Object(Ped_mh);
    far->mat = TransMatrix(9, 0, 0);
    world.pedlist.AddTail(near);
    world.pedlist.AddTail(far);
    Object* walker = new Object;
    walker->type = OBJT_CHARACTER;
    walker->collision = shapes[1].Chain();
    walker->mat = TransMatrix(0.8f, 0, 0);
    g_pedHeard.clear();
    Touch(p, walker);
    ASSERT_EQ(g_pedHeard.size(), 1u);   // the near one only
    EXPECT_EQ(g_pedHeard[0], SMSG_CD_SUSPEND);
    EXPECT_EQ(p->delaySoundTime, 60u);
    // Again within the second: nothing; after 60 frames: heard again.
    Touch(p, walker);
    for (int i = 0; i < 59; i++)
        p->SendMessage(OM_FRAME, nullptr);
    Touch(p, walker);
    EXPECT_EQ(g_pedHeard.size(), 1u);
    p->SendMessage(OM_FRAME, nullptr);
    Touch(p, walker);
    EXPECT_EQ(g_pedHeard.size(), 2u);
    // A sound number of 2 or more: neither sound nor message.
    InteriorDamageable* quiet = Prop(shapes[2], VectorPos(0, 0, 0), false);
    quiet->sound_id = 2;
    quiet->dist_heard = 5.0f;
    Touch(quiet, walker);
    EXPECT_EQ(g_pedHeard.size(), 2u);
    EXPECT_EQ(quiet->delaySoundTime, 0u);
    walker->Delete();
    world.pedlist.RemoveAll();
    near->Delete();
    far->Delete();
}

// The interior walker made by name: the stick's rest band, a step of 103
// stick units along the camera's x taken once the stick leaves rest and
// kept while it is held, a turn of at most 0.125 a frame toward the step,
// and walls that push it back out.
TEST_F(InteriorProps, TheInteriorWalkerFollowsTheStickInTheCamerasFrame)
{
    auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("InteriorChar")));
    ASSERT_NE(mh, nullptr);
    auto* c = reinterpret_cast<InteriorChar*>(intptr_t(mh(nullptr, OM_CREATE, nullptr)));
    ASSERT_NE(c, nullptr);
    EXPECT_FLOAT_EQ(c->fLastCYAng, 100.0f);
    EXPECT_EQ(c->iLastCntrlX, 0xFFFF);
    EXPECT_FLOAT_EQ(c->cbTemp.box.box.min[1], -0.625f);
    world.AddObject(c, nullptr);
    EXPECT_EQ(c->collision, c->cbTemp.Chain());
    EXPECT_TRUE(c->flags & OBJF_FRAMECALL);

    u8* stick = &controller[0].rdata[4 + ANA_LX];
    const Matrix camera = rc.view_world;
    rc.view_world = Matrix(true);
    // 23 off centre either way is rest.
    stick[0] = 128 + 23;
    stick[1] = 128 - 23;
    world.Update();
    EXPECT_FLOAT_EQ(c->GetWorldPos()[0], 0.0f);
    EXPECT_FLOAT_EQ(c->fLastCYAng, 100.0f);
    // Full right: 255 - 152 = 103 units, 0.0243307 along x a frame; the
    // walker turns toward it by the small-angle step 0.125, atan(0.125)
    // once made square again.
    stick[0] = 255;
    stick[1] = 128;
    world.Update();
    EXPECT_NEAR(c->GetWorldPos()[0], 103 * 0.000236220f, 1e-6f);
    EXPECT_NEAR(std::atan2(c->mat.z[0], c->mat.z[2]), std::atan(0.125f), 1e-5f);
    // The camera turns a quarter while the stick is held: the walk keeps
    // its frame.  Let go and push again: the new frame's x is -z.
    rc.view_world = RotY(1.5707964f);
    world.Update();
    EXPECT_NEAR(c->GetWorldPos()[0], 2 * 103 * 0.000236220f, 1e-6f);
    stick[0] = 128;
    world.Update();
    stick[0] = 255;
    world.Update();
    EXPECT_NEAR(c->GetWorldPos()[2], -103 * 0.000236220f, 1e-5f);
    stick[0] = 128;

    // A wall overlapping its box by 0.04375 from +x pushes it back along x
    // only.
    c->mat = Matrix(true);
    Object wall;
    CollBoxEnd wallbox(MakeCollisionID(1, 1), Cuboid(VectorPos(0.05f, -2.0f, -1.0f), VectorPos(1.0f, 0.0f, 1.0f)));
    wall.collision = wallbox.Chain();
    wall.type = OBJT_STATIC;
    wall.mat = Matrix(true);
    CollisionRecord cr(c, &wall);
    cr.Set(c->collision, wall.collision, c, &wall);
    cr.SaveMatrix(c->GetWorldMatrix(), wall.GetWorldMatrix());
    c->SendMessage(OM_COLLISION, &cr);
    EXPECT_NEAR(c->GetWorldPos()[0], -0.04375f, 1e-5f);
    EXPECT_FLOAT_EQ(c->GetWorldPos()[1], 0.0f);
    EXPECT_FLOAT_EQ(c->GetWorldPos()[2], 0.0f);
    rc.view_world = camera;
}
