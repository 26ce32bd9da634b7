#include <gtest/gtest.h>

#include "ZevEngine2/collision_support.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Object.h"

namespace {

using namespace colltest;

constexpr u16 ID_A = 0x01 | (0x02 << 8);
constexpr u16 ID_B = 0x02 | (0x01 << 8);

class Contact : public ::testing::Test
{
protected:
    void SetUp() override { Contacts().clear(); }
};

const colltest::Contact& For(Object* receiver)
{
    for (const colltest::Contact& c : Contacts())
        if (c.receiver == receiver)
            return c;
    static colltest::Contact none{};
    ADD_FAILURE() << "no contact for that receiver";
    return none;
}

// Two spheres of radius 1 whose centres are 1.5 apart along a diagonal.
struct TwoBalls
{
    TwoBalls()
    {
        a = ca.Ball(ID_A, 0, 0, 0, 1);
        ca.End();
        b = cb.Ball(ID_B, 0, 0, 0, 1);
        cb.End();
        Place(oa, ca.At(a), VectorPos(1, 2, 3));
        Place(ob, cb.At(b), VectorPos(1, 2, 3) + dir * 1.5f);
        oa.getInfo = ob.getInfo = true;
    }
    Chain ca, cb;
    size_t a, b;
    Hitter oa, ob;
    VectorDir dir = Normalise(VectorDir(1, 2, 2));
};

TEST_F(Contact, SpheresHalfOverlappedGiveDepthAndTheReceiversSurfacePoint)
{
    TwoBalls t;
    Collide2Objects(&t.oa, &t.ob);
    const colltest::Contact& ca = For(&t.oa);
    ASSERT_TRUE(ca.info);
    EXPECT_NEAR(ca.dist, -0.5f, 1e-5f);
    ExpectNear(ca.normal, -t.dir);   // from the other toward the receiver
    ExpectNear(ca.point, VectorPos(1, 2, 3) + t.dir);

    // The second handler sees the normal pointing toward itself; the point
    // was computed once for the pair, on the first receiver's surface.
    const colltest::Contact& cb = For(&t.ob);
    ASSERT_TRUE(cb.info);
    EXPECT_NEAR(cb.dist, -0.5f, 1e-5f);
    ExpectNear(cb.normal, t.dir);
    ExpectNear(cb.point, VectorPos(1, 2, 3) + t.dir);
}

TEST_F(Contact, InfoIsComputedOncePerPairUntilReset)
{
    TwoBalls t;
    t.oa.getInfo = t.ob.getInfo = false;
    // The second receiver asks, asks again from the other side (a
    // recomputation would give the first receiver's surface point), then
    // once more after a reset.
    VectorPos first, again, fresh;
    t.ob.onHit = [&](CollisionRecord* rec) {
        ASSERT_FALSE(rec->InfoGot());
        ASSERT_TRUE(rec->GetInfo());
        first = rec->Point();
        rec->ToggleFlip();
        ASSERT_TRUE(rec->GetInfo());
        again = rec->Point();
        rec->ResetInfo();
        ASSERT_TRUE(rec->GetInfo());
        fresh = rec->Point();
        rec->ToggleFlip();
    };
    Collide2Objects(&t.oa, &t.ob);
    ExpectNear(first, VectorPos(1, 2, 3) + t.dir * 0.5f);
    ExpectNear(again, first);
    ExpectNear(fresh, VectorPos(1, 2, 3) + t.dir);

    // Information of one delivery does not carry over to the next.
    t.ob.onHit = nullptr;
    t.ob.getInfo = true;
    int checked = 0;
    t.oa.onHit = [&](CollisionRecord* rec) {
        EXPECT_FALSE(rec->InfoGot());
        checked++;
    };
    Collide2Objects(&t.oa, &t.ob);
    Collide2Objects(&t.oa, &t.ob);
    EXPECT_EQ(checked, 2);
}

TEST_F(Contact, SphereAgainstABoxFaceTakesThatFacesAxis)
{
    Chain cs, cb;
    size_t s = cs.Ball(ID_A, 0, 0, 0, 1);
    cs.End();
    size_t b = cb.Box(ID_B, -2, -1, -3, 2, 1, 3);
    cb.End();
    Hitter os, ob;
    os.getInfo = ob.getInfo = true;
    // The box turned a quarter about y: its x axis points along world -z.
    Matrix rot = RotY(1.5707964f);
    Place(ob, cb.At(b), VectorPos(0, 0, 0), rot);
    // The sphere resting on the box's top (-y face, world y = -1), 0.25 in.
    Place(os, cs.At(s), VectorPos(0.5f, -1.75f, 0.5f));

    Collide2Objects(&os, &ob);
    const colltest::Contact& c = For(&os);
    ASSERT_TRUE(c.info);
    ExpectNear(c.normal, VectorDir(0, -1, 0));
    EXPECT_NEAR(c.dist, -0.25f, 1e-5f);
    ExpectNear(c.point, VectorPos(0.5f, -0.75f, 0.5f));
    const colltest::Contact& cbx = For(&ob);
    ASSERT_TRUE(cbx.info);
    ExpectNear(cbx.normal, VectorDir(0, 1, 0));

    // The box first: the box receiver's normal points from the sphere into
    // the box, and nothing depends on the order.
    Contacts().clear();
    Collide2Objects(&ob, &os);
    ExpectNear(For(&ob).normal, VectorDir(0, 1, 0));
    ExpectNear(For(&os).normal, VectorDir(0, -1, 0));
    EXPECT_NEAR(For(&ob).dist, -0.25f, 1e-5f);

    // Against the box's side (its local -x face, world +z) the push is the
    // side's.
    Contacts().clear();
    os.SetPos(VectorPos(0.5f, 0, 2.9f));
    Collide2Objects(&os, &ob);
    ExpectNear(For(&os).normal, VectorDir(0, 0, 1));
    EXPECT_NEAR(For(&os).dist, -0.1f, 1e-5f);
}

TEST_F(Contact, BoxOnBoxPiercingEdgeFindsTheShallowFace)
{
    Chain ca, cb;
    size_t a = ca.Box(ID_A, -1, -1, -1, 1, 1, 1);
    ca.End();
    size_t b = cb.Box(ID_B, -1, -1, -1, 1, 1, 1);
    cb.End();
    Hitter oa, ob;
    oa.getInfo = ob.getInfo = true;
    Place(oa, ca.At(a), VectorPos(0, 0, 0));
    Place(ob, cb.At(b), VectorPos(0, 1.8f, 0));   // 0.2 deep along y

    Collide2Objects(&oa, &ob);
    const colltest::Contact& c = For(&oa);
    ASSERT_TRUE(c.info);
    EXPECT_NEAR(c.dist, -0.2f, 1e-5f);
    ExpectNear(c.normal, VectorDir(0, -1, 0));   // out of b, toward a
    ExpectNear(For(&ob).normal, VectorDir(0, 1, 0));
}

TEST_F(Contact, BoxCornersInsideTheOtherBox)
{
    Chain ca, cb;
    size_t a = ca.Box(ID_A, -1, -1, -1, 1, 1, 1);
    ca.End();
    size_t b = cb.Box(ID_B, -1, -1, -1, 1, 1, 1);
    cb.End();
    Hitter oa, ob;
    oa.getInfo = true;
    Place(oa, ca.At(a), VectorPos(0, 0, 0));

    // b 0.1 into a's top (world y from 0.9), placed so that a's corner
    // (-1, 1, -1) lies strictly inside b.
    Place(ob, cb.At(b), VectorPos(-1.5f, 1.9f, -1.5f));
    Collide2Objects(&oa, &ob);
    const colltest::Contact& c = For(&oa);
    ASSERT_TRUE(c.info);
    ExpectNear(c.normal, VectorDir(0, -1, 0));
    EXPECT_NEAR(c.dist, -0.1f, 1e-5f);
    ExpectNear(c.point, VectorPos(-1, 1, -1));

    // Shifted the other way a's corner misses b, its edges stay outside b,
    // and b's corner (0.5, 0.9, 0.5) inside a gives the contact.
    Contacts().clear();
    ob.SetPos(VectorPos(1.5f, 1.9f, 1.5f));
    Collide2Objects(&oa, &ob);
    const colltest::Contact& d = For(&oa);
    ASSERT_TRUE(d.info);
    ExpectNear(d.normal, VectorDir(0, -1, 0));
    EXPECT_NEAR(d.dist, -0.1f, 1e-5f);
    ExpectNear(d.point, VectorPos(0.5f, 0.9f, 0.5f));
}

TEST_F(Contact, SoupContactIsTheFaceNormalSeenFromEachSide)
{
    Chain cf, cs;
    size_t f = cf.Soup({VectorPos(-2, 0, -2), VectorPos(2, 0, -2), VectorPos(2, 0, 2), VectorPos(-2, 0, 2)},
                       {{ID_B, 0, 1, 2}, {ID_B, 0, 2, 3}}, Leaf({0, 1}));
    cf.End();
    size_t s = cs.Ball(ID_A, 0, 0, 0, 1);
    cs.End();
    Hitter ofloor, oball;
    ofloor.getInfo = oball.getInfo = true;
    // The floor raised to y = -5 (its own frame at (0, -5, 0)).
    Place(ofloor, cf.At(f), VectorPos(0, -5, 0));
    ofloor.radius = 3;
    Place(oball, cs.At(s), VectorPos(1, -5.8f, -1));

    Collide2Objects(&oball, &ofloor);
    const colltest::Contact& c = For(&oball);
    ASSERT_TRUE(c.info);
    ExpectNear(c.normal, VectorDir(0, -1, 0));
    ExpectNear(c.point, VectorPos(1, -5, -1));
    EXPECT_NEAR(c.dist, -0.2f, 1e-5f);
    ExpectNear(For(&ofloor).normal, VectorDir(0, 1, 0));

    // The soup first: the same contact from each side.
    Contacts().clear();
    Collide2Objects(&ofloor, &oball);
    ExpectNear(For(&ofloor).normal, VectorDir(0, 1, 0));
    ExpectNear(For(&oball).normal, VectorDir(0, -1, 0));
    ExpectNear(For(&ofloor).point, VectorPos(1, -5, -1));
}

TEST_F(Contact, PlaneSetsHaveNoContactInformation)
{
    Chain cp, cs;
    size_t p = cp.PlaneCube(VectorPos(0, 0, 0), 1);
    cp.End();
    size_t s = cs.Ball(ID_A, 0, 0, 0, 1);
    cs.End();
    Hitter op, os;
    os.getInfo = true;
    Place(op, cp.At(p), VectorPos(0, 0, 0));
    op.radius = 2;
    Place(os, cs.At(s), VectorPos(1.5f, 0, 0));
    Collide2Objects(&os, &op);
    ASSERT_EQ(CountFor(&os), 1);
    EXPECT_FALSE(For(&os).info);
}

}  // namespace
