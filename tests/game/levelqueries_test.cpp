// The level queries over synthetic cities: the road under a matrix and its
// direction, the nearest road within its parameter window, junctions too
// big to count, zones, objects in a box; and the clearance probe.
#include <gtest/gtest.h>

#include <vector>

#include "game/city_support.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/Collision.h"
#include "game/CityObjects.h"
#include "game/GameFEnt.h"
#include "game/GameModes.h"
#include "game/QuadTree.h"
#include "game/Road.h"

namespace {

constexpr float kM = 128.0f;

class Queries : public citytest::CityWorld
{
protected:
    void Open(tools::CityDescription c)
    {
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(kM, -1.0f, kM)));
    }
};

}  // namespace

TEST_F(Queries, RoadsUnderAMatrixAndTheNearestWithinItsParameterWindow)
{
    // One straight alley from x = 88 to 168 along z = 128.
    ASSERT_NO_FATAL_FAILURE(Open(tools::TestCity(tools::TestCityKind::kDeadEnd)));
    Matrix m = TransMatrix(kM, -1.0f, kM + 0.5f);
    bool forward = false;
    RoadSeg* rs = FindRoadSeg(m, forward);
    ASSERT_NE(rs, nullptr);
    // The alley runs from x 88 to 168: a matrix facing +x goes with it.
    const bool along = rs->bezier.c3[0] > rs->bezier.c0[0];
    m.z = Vector(1.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(FindRoadSeg(m, forward), rs);
    EXPECT_EQ(forward, along);
    m.z = Vector(-1.0f, 0.0f, 0.0f, 0.0f);
    FindRoadSeg(m, forward);
    EXPECT_EQ(forward, !along);
    // Off the road: null, and forward is left as it was.
    forward = true;
    EXPECT_EQ(FindRoadSeg(TransMatrix(kM, -1.0f, kM + 30.0f), forward), nullptr);
    EXPECT_TRUE(forward);

    // The nearest segment: its parameter must lie strictly inside
    // (-0.125, 1.125), found by the curve's own parameters beyond its ends.
    float t = -9.0f;
    EXPECT_EQ(FindNearestRoadSeg(VectorPos(kM + 10.0f, -1.0f, kM + 2.0f), &t, false), rs);
    VectorDir dir;
    EXPECT_NEAR(t, rs->bezier.CalcParams(VectorPos(kM + 10.0f, -1.0f, kM + 2.0f), dir)[2], 1e-6f);
    const VectorPos a(rs->bezier.c0[0], rs->bezier.c0[1], rs->bezier.c0[2]);
    const VectorPos b(rs->bezier.c3[0], rs->bezier.c3[1], rs->bezier.c3[2]);
    auto beyond = [&](float k) { return VectorPos(a[0] + (b[0] - a[0]) * k, -1.0f, a[2] + (b[2] - a[2]) * k); };
    for (float k : {1.125f, -0.125f}) {
        ASSERT_FLOAT_EQ(rs->bezier.CalcParams(beyond(k), dir)[2], k);
        EXPECT_EQ(FindNearestRoadSeg(beyond(k), &t, false), nullptr) << k;
    }
    EXPECT_EQ(FindNearestRoadSeg(beyond(1.12f), nullptr, false), rs);
    EXPECT_EQ(FindNearestRoadSeg(beyond(-0.12f), nullptr, false), rs);
    // Marked roads only: the alley's kind lacks flag bit 0 once cleared.
    RoadType* type = rs->type;
    ASSERT_NE(type, nullptr);
    const u8 flags = type->flags;
    type->flags = u8(flags | 1);
    EXPECT_EQ(FindNearestRoadSeg(beyond(0.5f), nullptr, true), rs);
    type->flags = u8(flags & ~1);
    EXPECT_EQ(FindNearestRoadSeg(beyond(0.5f), nullptr, true), nullptr);
    type->flags = flags;
}

TEST_F(Queries, BigJunctionsZonesAndObjectsInABox)
{
    tools::CityDescription c = tools::TestCity(tools::TestCityKind::kCrossing);
    // Three more boxes near the crossing's own, 2 apart.
    for (int i = 1; i <= 3; i++) {
        tools::CityInstance in = c.instances[0];
        in.pos = in.pos + VectorDir(2.0f * float(i), 0.0f, 0.0f);
        in.id = u16(7 + i);
        c.instances.push_back(in);
    }
    ASSERT_NO_FATAL_FAILURE(Open(c));

    // A junction of radius 100 never counts, even alone.
    Junction* j = FindJunction(VectorPos(kM, -1.0f, kM));
    ASSERT_NE(j, nullptr);
    j->radius = 99.9f;
    EXPECT_EQ(FindJunction(VectorPos(kM, -1.0f, kM)), j);
    j->radius = 100.0f;
    Junction* other = FindJunction(VectorPos(kM, -1.0f, kM));
    EXPECT_NE(other, j);   // a dead end further off, or none
    if (other != nullptr)
        EXPECT_LT(other->radius, 100.0f);
    j->radius = 12.0f;

    // Objects: counted whatever the room; stored up to it.
    const VectorPos at = c.instances[0].pos;
    const Cuboid box(at + VectorDir(-1.0f, -5.0f, -1.0f), at + VectorDir(7.0f, 5.0f, 1.0f));
    EXPECT_EQ(FindObjects(box, nullptr, 0), 4);
    RCptr<Object> two[3];
    EXPECT_EQ(FindObjects(box, two, 2), 4);
    EXPECT_NE(two[0].p, nullptr);
    EXPECT_NE(two[1].p, nullptr);
    EXPECT_NE(two[0].p, two[1].p);
    EXPECT_EQ(two[2].p, nullptr);
    EXPECT_EQ(FindObjects(Cuboid(at + VectorDir(0.0f, 0.0f, 30.0f), 1.0f), nullptr, 0), 0);
}

TEST_F(Queries, ZonesComeFromTheDeepestMarkedNodeUntilAnUnmarkedOne)
{
    Load(tools::SampleCity());
    ASSERT_TRUE(SyncTo(VectorPos(-84.0f, -1.0f, 38.5f)));
    // Zones: the nodes walked round a point, parents first.
    const VectorPos p(-84.0f, -1.0f, 38.5f);
    std::vector<QuadNode*> nodes;
    for (Visible2D v(Cuboid(p, 1.0f), -1); *v; ++v)
        nodes.push_back(*v);
    ASSERT_GE(nodes.size(), 3u);
    for (size_t i = 0; i < nodes.size(); i++)
        nodes[i]->zone = u16(0x8000 | (10 + i));
    EXPECT_EQ(GetZone(p), int(10 + nodes.size() - 1));   // the deepest wins
    nodes.back()->zone = 0xFFFF;                         // changes nothing
    EXPECT_EQ(GetZone(p), int(10 + nodes.size() - 2));
    nodes[1]->zone = 0x0005;                             // ends the walk
    EXPECT_EQ(GetZone(p), 10);
    nodes[0]->zone = 0x0005;
    EXPECT_EQ(GetZone(p), -1);

}

namespace {

int g_collisions = 0;
int Counting_mh(Object*, OBJMESSAGE msg, void*)
{
    if (msg == OM_COLLISION)
        g_collisions++;
    return 0;
}

}  // namespace

TEST(CollisionProbe, RecordsEachTouchedObjectOnceAndTellsItNothing)
{
    world.Clear();
    CollSphereEnd ball{MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)};
    Object* post = new Object(Counting_mh);
    post->collision = ball.Chain();
    post->radius = 0.5f;
    post->mat = TransMatrix(3.0f, 0.0f, 0.0f);
    world.AddObject(post, nullptr);
    g_collisions = 0;

    CollisionChecker probe;
    // A box reaching the post: recorded with the contact normal and
    // distance; the post is told nothing and stays.
    const Cuboid box(VectorPos(-1.0f, -1.0f, -1.0f), VectorPos(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(probe.CheckBox(TransMatrix(2.0f, 0.0f, 0.0f), box, 1, OBJT_DYNAMIC), 1);
    EXPECT_EQ(probe.collobjs[0], post);
    EXPECT_NEAR(Length(probe.collobjnormals[0]), 1.0f, 1e-3f);
    EXPECT_EQ(g_collisions, 0);
    EXPECT_EQ(post->mat.GetTrans(), VectorPos(3.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(probe.radius, std::sqrt(3.0f));
    EXPECT_EQ(probe.type, OBJT_DYNAMIC);
    // Mask 0 hears nothing; a second check starts from an empty table.
    EXPECT_EQ(probe.CheckBox(TransMatrix(2.0f, 0.0f, 0.0f), box, 0, OBJT_DYNAMIC), 0);
    EXPECT_EQ(probe.CheckSphere(TransMatrix(10.0f, 0.0f, 0.0f), Sphere(VectorPos(0, 0, 0), 1.0f), 1, OBJT_DYNAMIC), 0);
    EXPECT_EQ(probe.numcollobjs, 0);
    EXPECT_EQ(probe.CheckSphere(TransMatrix(2.0f, 0.0f, 0.0f), Sphere(VectorPos(0.5f, 0, 0), 0.5f), 1, 1), 1);
    EXPECT_FLOAT_EQ(probe.radius, 1.0f);
    // The same contact handed over twice is kept once.
    CollisionRecord rec(&probe, post);
    rec.Set(probe.collision, post->collision, &probe, post);
    rec.SaveMatrix(probe.mat, post->mat);
    EXPECT_EQ(probe.mh(OM_COLLISION, &rec), 1);
    EXPECT_EQ(probe.numcollobjs, 1);
    // A box with both corners at the origin has radius 0.
    probe.CheckBox(Matrix(true), Cuboid(VectorPos(0, 0, 0), VectorPos(0, 0, 0)), 1, OBJT_DYNAMIC);
    EXPECT_EQ(probe.radius, 0.0f);
    // CheckObjBox takes the object's radius, type and mask byte.
    post->type = OBJT_CHARACTER;
    probe.CheckObjBox(post);
    EXPECT_EQ(probe.radius, 0.5f);
    EXPECT_EQ(probe.type, OBJT_CHARACTER);
    EXPECT_EQ(probe.cb[0].id, u16(post->GetCollisionMask() & 0xFF00));
    EXPECT_EQ(g_collisions, 0);
    world.Clear();
}

// The exit-spot search in a city: along the alley (z = 128) stand two
// houses whose fronts face it at its edge, 3 off its centre line, the one to the
// east with a door on its front.  From a point on the alley's north side
// the spot faces the road (-z); it lies 0.3125 out from the door, or, with
// no door on the house the ray meets, 0.78125 out from the point toward the
// house; both stand on the ground.  Off the road there is none.
TEST_F(Queries, ExitSpotsBesideTheRoadAtADoorOrBeforeAHouse)
{
    tools::CityDescription c = tools::TestCity(tools::TestCityKind::kDeadEnd);
    tools::P2BFile house = c.models[0];   // 4 by 3 by 4 half sizes, solid
    house.AddNode(0, tools::MakeNode(MDL_NOGEOM, VectorPos(0.0f, 2.0f, -4.0f), VectorXYZ(0, 0, 0), 0x8000));
    c.models.push_back(house);
    for (int k = 0; k < 2; k++) {
        tools::CityInstance in;
        in.pos = VectorPos(kM + (k ? 12.0f : -12.0f), -1.05f - 3.0f, kM + 7.0f);
        in.model = u16(k);
        in.id = u16(20 + k);
        c.instances.push_back(in);
    }
    ASSERT_NO_FATAL_FAILURE(Open(c));

    VectorPos spot;
    VectorDir face;
    ASSERT_TRUE(bGetExitBuildingPos(VectorPos(kM + 12.0f, -1.0f, kM + 1.0f), &spot, &face));
    EXPECT_NEAR(face[0], 0.0f, 1e-4f);
    EXPECT_NEAR(face[2], -1.0f, 1e-4f);
    EXPECT_NEAR(spot[0], kM + 12.0f, 1e-3f);
    EXPECT_NEAR(spot[2], kM + 3.0f - 0.3125f, 1e-3f);
    EXPECT_NEAR(spot[1], -1.0f, 0.1f);

    ASSERT_TRUE(bGetExitBuildingPos(VectorPos(kM - 12.0f, -1.0f, kM + 1.0f), &spot, &face));
    EXPECT_NEAR(face[2], -1.0f, 1e-4f);
    EXPECT_NEAR(spot[0], kM - 12.0f, 1e-3f);
    EXPECT_NEAR(spot[2], kM + 1.0f + 0.78125f, 1e-3f);
    EXPECT_NEAR(spot[1], -1.0f, 0.1f);

    EXPECT_FALSE(bGetExitBuildingPos(VectorPos(kM, -1.0f, kM + 30.0f), &spot, &face));
}
