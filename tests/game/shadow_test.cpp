// Model shadows: sized by the client's collision box, lying on the ground's
// slope, turning with the client, dying with it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/p2b.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/QuadTree.h"
#include "game/Shadow.h"

namespace {

// A ground the test switches on: height 0.5 under every point, its upward
// normal `normal` (y points down).  Ground checkers stay linked for the
// program's run, so this one answers only while `on`.
class SlopeGround : public GroundChecker
{
public:
    bool on = false;
    VectorDir normal{0.0f, -1.0f, 0.0f};
    float Check(const Object&, float best, VectorPos, VectorDir* n) override
    {
        if (!on)
            return best;
        if (n != nullptr)
            *n = normal;
        return 0.5f;
    }
};
SlopeGround g_slope;

// A client model: node 0 with collision box 0 spanning (-0.5, -0.2, -1) to
// (0.5, 0.2, 1), node 1 the shadow shape; neither has geometry.
struct ClientFile
{
    MDLFILE mf{};
    void* block = nullptr;

    ClientFile()
    {
        tools::P2BFile f;
        tools::CollisionChain box;
        box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-0.5f, -0.2f, -1.0f), VectorPos(0.5f, 0.2f, 1.0f)));
        f.collisions.push_back(box);
        NODE root = tools::MakeNode(MDL_NOGEOM);
        root.collision = 0;
        f.AddNode(-1, root);
        f.AddNode(-1, tools::MakeNode(MDL_NOGEOM));
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        block = malloc_align(u32(bytes.size()), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        mf.SetBuffer(block);
        EXPECT_TRUE(mf.Init(u32(bytes.size())));
    }
    ~ClientFile() { free(block); }
};

class Shadows : public ::testing::Test
{
protected:
    void SetUp() override { world.Clear(); }
    void TearDown() override
    {
        world.Clear();
        g_slope.on = false;
    }

    Object* Client(VectorPos at)
    {
        Object* o = file.mf.GetHierarchy(0, sizeof(Object), 0);
        o->mat = RotY(0.5f);
        o->mat.SetTrans(at);
        world.AddObject(o, nullptr);
        return o;
    }

    ClientFile file;
};

float Len(const Vector& v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

}  // namespace

TEST_F(Shadows, AClientWithAModelCollisionTakesTheTablesFirstBoxScaledBy1Point1)
{
    Object* client = Client(VectorPos(2.0f, -3.0f, 4.0f));
    ASSERT_EQ(uintptr_t(client->collision), 1u);   // handle 1: the table's first entry
    Shadow* s = static_cast<Shadow*>(CreateShadow(client, &file.mf, 1));
    ASSERT_NE(s, nullptr);
    EXPECT_FLOAT_EQ(s->scale[0], 0.55f);
    EXPECT_FLOAT_EQ(s->scale[1], 0.22f);
    EXPECT_FLOAT_EQ(s->scale[2], 1.1f);
    EXPECT_EQ(s->offset, -0.05f);
    EXPECT_EQ(s->index, 1);
    EXPECT_EQ(s->mat.GetTrans()[0], 2.0f);
    EXPECT_EQ(client->refcount, 2);   // the world's object list and the shadow
}

TEST_F(Shadows, OnASlopeItsUpAxisIsTheGroundNormalAndItsForwardFollowsTheClient)
{
    Object* client = Client(VectorPos(2.0f, -3.0f, 4.0f));
    Shadow* s = static_cast<Shadow*>(CreateShadow(client, &file.mf, 1));
    g_slope.on = true;
    const float k = 1.0f / std::sqrt(0.09f + 1.0f);
    g_slope.normal = VectorDir(0.3f * k, -1.0f * k, 0.0f);
    world.Update();
    // Dropped to the ground, 0.05 above it, under the client.
    EXPECT_EQ(s->mat.GetTrans()[0], 2.0f);
    EXPECT_FLOAT_EQ(s->mat.GetTrans()[1], 0.45f);
    EXPECT_EQ(s->mat.GetTrans()[2], 4.0f);
    // Rows scaled by the extents; unscaled, y is the normal and z lies in
    // the plane of the client's forward axis and the normal.
    const Vector y = s->mat.y, z = s->mat.z;
    EXPECT_NEAR(Len(y), 0.22f, 1e-5);
    EXPECT_NEAR(Len(s->mat.x), 0.55f, 1e-5);
    EXPECT_NEAR(Len(z), 1.1f, 1e-5);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(y[i] / 0.22f, g_slope.normal[i], 1e-5);
    const VectorDir f(client->mat.z.v);
    const VectorDir n = g_slope.normal;
    // (f x n) . z = 0: z is in the plane of f and n, and on f's side.
    const float cx = f[1] * n[2] - f[2] * n[1], cy = f[2] * n[0] - f[0] * n[2], cz = f[0] * n[1] - f[1] * n[0];
    EXPECT_NEAR(cx * z[0] + cy * z[1] + cz * z[2], 0.0f, 1e-5);
    EXPECT_GT(f[0] * z[0] + f[1] * z[1] + f[2] * z[2], 0.0f);
    EXPECT_NEAR(n[0] * z[0] + n[1] * z[1] + n[2] * z[2], 0.0f, 1e-5);
}

TEST_F(Shadows, ItDiesWithItsClientAndGivesItsReferenceBack)
{
    Object* client = Client(VectorPos(0.0f, 0.0f, 0.0f));
    Shadow* s = static_cast<Shadow*>(CreateShadow(client, &file.mf, 1));
    RCptr<Object> keep(client);   // read the count after the client's death
    client->Delete();
    EXPECT_FALSE(s->IsDead());
    world.Update();
    EXPECT_TRUE(s->IsDead());
    EXPECT_EQ(s->client, nullptr);
    // The world's list link and ours remain; its destruction took one.
    EXPECT_EQ(client->refcount, 1);
}

TEST_F(Shadows, AClientWithoutCollisionIsSizedByItsRadiusOrOne)
{
    Object* round = new Object;
    round->radius = 2.0f;
    world.AddObject(round, nullptr);
    Object* dot = new Object;
    world.AddObject(dot, nullptr);
    Shadow* a = static_cast<Shadow*>(CreateShadow(round, &file.mf, 1));
    Shadow* b = static_cast<Shadow*>(CreateShadow(dot, &file.mf, 1));
    EXPECT_FLOAT_EQ(a->scale[0], 2.2f);
    EXPECT_FLOAT_EQ(a->scale[2], 2.2f);
    EXPECT_FLOAT_EQ(b->scale[0], 1.0f);
    EXPECT_FLOAT_EQ(b->scale[1], 1.0f);
}

TEST(PreScale, ScalesTheAxisRowsInPlaceAndReturnsACopy)
{
    Matrix m = RotY(0.3f);
    m.SetTrans(VectorPos(5.0f, 6.0f, 7.0f));
    const Matrix before = m;
    const Matrix r = PreScale(m, VectorXYZ(2.0f, 3.0f, 4.0f));
    for (int i = 0; i < 3; i++) {
        EXPECT_FLOAT_EQ(m.x[i], before.x[i] * 2.0f);
        EXPECT_FLOAT_EQ(m.y[i], before.y[i] * 3.0f);
        EXPECT_FLOAT_EQ(m.z[i], before.z[i] * 4.0f);
        EXPECT_EQ(m.w[i], before.w[i]);
        EXPECT_EQ(r.x[i], m.x[i]);
    }
}
