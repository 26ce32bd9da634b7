// Collisions and rays against the streamed city's model instances.
#include "game/city_support.h"

#include "ZevEngine2/collision_support.h"

namespace {

using citytest::CityWorld;
using namespace colltest;

constexpr u16 ID_ANY = 0x01 | (0x01 << 8);   // is kind 1 and listens to it
constexpr unsigned F_INTERIOR = 0x00080000;

// A ball of radius 1 on an object.
struct Ball
{
    explicit Ball(VectorPos at)
    {
        const size_t s = chain.Ball(ID_ANY, 0, 0, 0, 1);
        chain.End();
        Place(obj, chain.At(s), at);
    }
    Chain chain;
    Hitter obj;
};

class CityCollision : public CityWorld
{
protected:
    void SetUp() override
    {
        Contacts().clear();
        world.objectlist.RemoveAll();
        Load(tools::TestCity(tools::TestCityKind::kCrossing));
        ASSERT_TRUE(SyncTo(VectorPos(128, 0, 128)));
        // The crossing city's one building: a box 8 x 6 x 8 standing on the
        // pavement at (158, 158), its top at y = -7.05.
        for (Grid& g : qt().grid)
            for (int i = 0; i < g.nInstances; i++)
                if (g.instances[i].id == 7)
                    inst = &g.instances[i];
        ASSERT_NE(inst, nullptr);
        model = &qt().mdlfiles[inst->mdlfileid];
        ASSERT_TRUE(model->Resident());
    }
    void TearDown() override
    {
        world.objectlist.RemoveAll();
        CityWorld::TearDown();
    }
    Instance* inst = nullptr;
    MdlfileCache* model = nullptr;
};

const VectorPos kOnRoof(158.0f, -7.5f, 158.0f);

// The pooled temporary o is, or null.
TempObject* AsTemp(Object* o)
{
    TempObject* p = tempobjpool.pool;
    return o >= p && o < p + TempObjectPool::SIZE ? static_cast<TempObject*>(o) : nullptr;
}

}  // namespace

TEST_F(CityCollision, FallingOntoABuildingMeetsItsPlacedTemporary)
{
    Ball ball(kOnRoof);
    world.objectlist.AddTail(&ball.obj);
    world.Collision();
    ASSERT_EQ(Contacts().size(), 1u);
    const Contact& c = Contacts()[0];
    EXPECT_EQ(c.receiver, &ball.obj);
    TempObject* t = AsTemp(c.hitObj);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->inst, inst);
    EXPECT_EQ(t->id, 7);
    const Matrix m = inst->GetMatrix();
    for (int r = 0; r < 4; r++)
        ExpectNear(t->mat[r].xyz(), m[r].xyz());

    // A swaying model is met where it is drawn.
    Contacts().clear();
    model->obj.flags |= CITYMODEL_SWAYS;
    world.timePrecise.t = 4000;
    const Matrix sway = inst->GetDrawMatrix(model);
    EXPECT_GT((sway.x.xyz() - m.x.xyz()).Length(), 1e-4f);
    world.CollideObject(&ball.obj);
    ASSERT_EQ(Contacts().size(), 1u);
    t = AsTemp(Contacts()[0].hitObj);
    ASSERT_NE(t, nullptr);
    for (int r = 0; r < 4; r++)
        ExpectNear(t->mat[r].xyz(), sway[r].xyz());
    model->obj.flags &= ~CITYMODEL_SWAYS;

    // A model still on its way is passed over.
    Contacts().clear();
    model->streamnum = 0;
    world.Collision();
    EXPECT_TRUE(Contacts().empty());
    model->streamnum = -2;

    // Static interior objects meet neither each other nor the city.
    Ball other(kOnRoof + VectorDir(0.5f, 0.0f, 0.0f));
    ball.obj.flags |= F_INTERIOR;
    other.obj.flags |= F_INTERIOR;
    world.objectlist.AddTail(&other.obj);
    world.Collision();
    world.CollideObject(&ball.obj);
    EXPECT_TRUE(Contacts().empty());
}

TEST_F(CityCollision, RaysStopAtObjectsFirstThenTheCity)
{
    // A ray along x at the building's middle height crosses its west face
    // at x = 154.
    const VectorPos p0(140.0f, -4.0f, 158.0f), p1(170.0f, -4.0f, 158.0f);
    VectorPos hit;
    VectorDir n;
    Object* o = world.CheckRay(p0, p1, &hit, &n, nullptr, nullptr, 0xFFFF);
    TempObject* t = AsTemp(o);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->inst, inst);
    ExpectNear(hit, VectorPos(154.0f, -4.0f, 158.0f), 1e-3f);
    EXPECT_EQ(world.CheckRayCity(p0, p1, nullptr, nullptr, 0xFFFF, nullptr), o);
    // A filter refusing everything.
    EXPECT_EQ(qt().CheckRay(p0, p1, nullptr, nullptr, 0xFFFF, [](Object*) { return 0; }, nullptr, nullptr),
              nullptr);

    // A live object behind the wall is found first all the same.
    Ball behind(VectorPos(165.0f, -4.0f, 158.0f));
    world.objectlist.AddTail(&behind.obj);
    EXPECT_EQ(world.CheckRay(p0, p1, &hit, &n, nullptr, nullptr, 0xFFFF), &behind.obj);
    ExpectNear(hit, VectorPos(164.0f, -4.0f, 158.0f), 1e-3f);
    // Excluded, the wall answers.
    EXPECT_EQ(world.CheckRay(p0, p1, &hit, &n, &behind.obj, nullptr, 0xFFFF), o);

    // The building made real: excluded in the city walk too.
    Object* real = EnsureReal(o);
    ASSERT_NE(real, nullptr);
    ASSERT_EQ(inst->obj, real);
    EXPECT_EQ(qt().CheckRay(p0, p1, nullptr, nullptr, 0xFFFF, nullptr, nullptr, nullptr), real);
    EXPECT_EQ(qt().CheckRay(p0, p1, nullptr, nullptr, 0xFFFF, nullptr, real, nullptr), nullptr);
    EXPECT_EQ(world.CheckRay(p0, p1, nullptr, nullptr, &behind.obj, real, 0xFFFF), nullptr);
}
