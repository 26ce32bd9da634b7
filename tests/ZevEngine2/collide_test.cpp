#include <gtest/gtest.h>

#include "ZevEngine2/collision_support.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Object.h"

namespace {

using namespace colltest;

constexpr u16 KIND_A = 0x01;
constexpr u16 KIND_B = 0x02;
// Is kind A and listens to B, and the converse.
constexpr u16 ID_A = KIND_A | (KIND_B << 8);
constexpr u16 ID_B = KIND_B | (KIND_A << 8);

class Collide : public ::testing::Test
{
protected:
    void SetUp() override { Contacts().clear(); }
};

TEST_F(Collide, SphereCheckRejectsSpheresExactlyTouching)
{
    EXPECT_FALSE(SphereCheck(VectorPos(0, 0, 0), 1, VectorPos(2, 0, 0), 1));
    EXPECT_TRUE(SphereCheck(VectorPos(0, 0, 0), 1, VectorPos(1.99f, 0, 0), 1));
    // Within R on each axis but not within R of each other.
    EXPECT_FALSE(SphereCheck(VectorPos(0, 0, 0), 1, VectorPos(1.5f, 1.5f, 0), 1));
    EXPECT_TRUE(SphereCheck(VectorPos(0, 0, 5), 2, VectorPos(1.0f, 1.0f, 5), 1));
}

TEST_F(Collide, SpheresExactlyRadiiApartAreNotTold)
{
    Chain ca, cb;
    size_t a = ca.Ball(ID_A, 0, 0, 0, 1);
    ca.End();
    size_t b = cb.Ball(ID_B, 0, 0, 0, 1);
    cb.End();
    Hitter oa, ob;
    Place(oa, ca.At(a), VectorPos(0, 0, 0));
    Place(ob, cb.At(b), VectorPos(2, 0, 0));
    EXPECT_EQ(Collide2Objects(&oa, &ob), 0);
    EXPECT_TRUE(Contacts().empty());

    ob.SetPos(VectorPos(1.9f, 0, 0));
    EXPECT_EQ(Collide2Objects(&oa, &ob), 0);
    ASSERT_EQ(Contacts().size(), 2u);
    // First object first, then the second with the record flipped.
    EXPECT_EQ(Contacts()[0].receiver, &oa);
    EXPECT_FALSE(Contacts()[0].flipped);
    EXPECT_EQ(Contacts()[0].hitObj, &ob);
    EXPECT_EQ(Contacts()[0].myCol, ca.At(a));
    EXPECT_EQ(Contacts()[0].myID, ID_A);
    EXPECT_EQ(Contacts()[0].hisID, ID_B);
    EXPECT_EQ(Contacts()[1].receiver, &ob);
    EXPECT_TRUE(Contacts()[1].flipped);
    EXPECT_EQ(Contacts()[1].hitObj, &oa);
    EXPECT_EQ(Contacts()[1].myCol, cb.At(b));
    EXPECT_EQ(Contacts()[1].myID, ID_B);
}

// Two spheres of the first object both touch the second.
struct TwoOnOne
{
    TwoOnOne()
    {
        a1 = ca.Ball(ID_A, -0.5f, 0, 0, 1);
        a2 = ca.Ball(ID_A, 0.5f, 0, 0, 1);
        ca.End();
        b = cb.Ball(ID_B, 0, 0, 0, 1);
        cb.End();
        Place(oa, ca.At(a1), VectorPos(0, 0, 0));
        Place(ob, cb.At(b), VectorPos(0, 1, 0));
    }
    Chain ca, cb;
    size_t a1, a2, b;
    Hitter oa, ob;
};

TEST_F(Collide, FirstHandlerAnsweringOneStopsTheRunUntoldSecond)
{
    TwoOnOne t;
    t.oa.reply = 1;
    EXPECT_EQ(Collide2Objects(&t.oa, &t.ob), -1);
    ASSERT_EQ(Contacts().size(), 1u);
    EXPECT_EQ(Contacts()[0].receiver, &t.oa);
    EXPECT_EQ(CountFor(&t.ob), 0);
}

TEST_F(Collide, BothHandlersNegativeGiveThreeAndStop)
{
    TwoOnOne t;
    t.oa.reply = -1;
    t.ob.reply = -1;
    EXPECT_EQ(Collide2Objects(&t.oa, &t.ob), 3);
    EXPECT_EQ(Contacts().size(), 2u);   // the second sphere is not delivered

    Contacts().clear();
    t.oa.reply = 0;
    t.ob.reply = -7;
    EXPECT_EQ(Collide2Objects(&t.oa, &t.ob), 2);
    EXPECT_EQ(Contacts().size(), 2u);
}

TEST_F(Collide, OtherFirstRepliesEndThePairWithoutTellingTheSecond)
{
    TwoOnOne t;
    t.oa.reply = 5;   // positive: the run goes on with the second sphere
    EXPECT_EQ(Collide2Objects(&t.oa, &t.ob), 0);
    EXPECT_EQ(CountFor(&t.oa), 2);
    EXPECT_EQ(CountFor(&t.ob), 0);

    Contacts().clear();
    t.oa.reply = -5;   // negative: the run stops with bit 0
    EXPECT_EQ(Collide2Objects(&t.oa, &t.ob), 1);
    EXPECT_EQ(CountFor(&t.oa), 1);
    EXPECT_EQ(CountFor(&t.ob), 0);

    Contacts().clear();
    t.oa.reply = 0;   // all zero: every pair is delivered to both
    EXPECT_EQ(Collide2Objects(&t.oa, &t.ob), 0);
    EXPECT_EQ(CountFor(&t.oa), 2);
    EXPECT_EQ(CountFor(&t.ob), 2);
}

TEST_F(Collide, ListeningProbeIsToldAndTheShapesOwnerIsNot)
{
    constexpr u16 KIND_WALL = 0x04;
    CollBoxEnd probe(KIND_WALL << 8, Cuboid(VectorPos(-1, -1, -1), VectorPos(1, 1, 1)));
    Chain cw;
    size_t w = cw.Box(KIND_WALL | (0xFF << 8), -1, -1, -1, 1, 1, 1);
    cw.End();
    Hitter op, ow;
    Place(op, probe.Chain(), VectorPos(0, 0, 0));
    Place(ow, cw.At(w), VectorPos(1.5f, 0, 0));

    EXPECT_EQ(Collide2Objects(&op, &ow), 0);
    ASSERT_EQ(Contacts().size(), 1u);
    EXPECT_EQ(Contacts()[0].receiver, &op);

    Contacts().clear();
    EXPECT_EQ(Collide2Objects(&ow, &op), 0);   // the probe second: told flipped
    ASSERT_EQ(Contacts().size(), 1u);
    EXPECT_EQ(Contacts()[0].receiver, &op);
    EXPECT_TRUE(Contacts()[0].flipped);

    // A probe of another kind hears nothing; the pair is not even tested.
    Contacts().clear();
    probe.box.SetID(0, 0x08);
    EXPECT_EQ(Collide2Objects(&op, &ow), 0);
    EXPECT_TRUE(Contacts().empty());
}

TEST_F(Collide, BoundingBoxSendsOnlyItsChildrensContacts)
{
    Chain ca, cb;
    size_t bv = ca.Box(ID_A, -3, -3, -3, 3, 3, 3);
    ca.End();
    size_t near = ca.Ball(ID_A, 2, 0, 0, 1);
    size_t far = ca.Ball(ID_A, -2, 0, 0, 0.5f);   // inside the volume, away from b
    ca.End();
    ca.SetChild(bv, near);
    size_t b = cb.Ball(ID_B, 0, 0, 0, 1);
    cb.End();
    Hitter oa, ob;
    Place(oa, ca.At(bv), VectorPos(0, 0, 0));
    Place(ob, cb.At(b), VectorPos(3.5f, 0, 0));

    EXPECT_EQ(Collide2Objects(&oa, &ob), 0);
    ASSERT_EQ(Contacts().size(), 2u);
    EXPECT_EQ(Contacts()[0].myCol, ca.At(near));
    EXPECT_EQ(Contacts()[1].hisCol, ca.At(near));
    (void)far;

    // The same with the volume on the second object.
    Contacts().clear();
    EXPECT_EQ(Collide2Objects(&ob, &oa), 0);
    ASSERT_EQ(Contacts().size(), 2u);
    EXPECT_EQ(Contacts()[0].hisCol, ca.At(near));

    // A volume that is missed hides its children.
    Contacts().clear();
    ob.SetPos(VectorPos(4.5f, 0, 0));
    EXPECT_EQ(Collide2Objects(&oa, &ob), 0);
    EXPECT_TRUE(Contacts().empty());
}

TEST_F(Collide, WalkEndsWithAHitBoundingVolumesChildren)
{
    // [volume {sphere}, sphere]: the later top-level sphere also touches, but
    // a pair of objects is judged by the first volume it hits.
    Chain ca, cb;
    size_t bv = ca.Box(ID_A, -1, -1, -1, 1, 1, 1);
    size_t later = ca.Ball(ID_A, 0, 1.5f, 0, 1);
    ca.End();
    size_t inner = ca.Ball(ID_A, 0, 0, 0, 1);
    ca.End();
    ca.SetChild(bv, inner);
    size_t b = cb.Ball(ID_B, 0, 0, 0, 1);
    cb.End();
    Hitter oa, ob;
    Place(oa, ca.At(bv), VectorPos(0, 0, 0));
    Place(ob, cb.At(b), VectorPos(0.5f, 0.8f, 0));

    EXPECT_EQ(Collide2Objects(&oa, &ob), 0);
    std::vector<COLLISION*> mine;
    for (const Contact& c : Contacts())
        if (c.receiver == &oa)
            mine.push_back(c.myCol);
    EXPECT_EQ(mine, (std::vector<COLLISION*>{ca.At(inner)}));

    // And with the volume on the second object.
    Contacts().clear();
    EXPECT_EQ(Collide2Objects(&ob, &oa), 0);
    std::vector<COLLISION*> his;
    for (const Contact& c : Contacts())
        if (c.receiver == &ob)
            his.push_back(c.hisCol);
    EXPECT_EQ(his, (std::vector<COLLISION*>{ca.At(inner)}));

    // Without the volume's hit the later sphere is tested as usual.
    Contacts().clear();
    ob.SetPos(VectorPos(0, 2.6f, 0));
    EXPECT_EQ(Collide2Objects(&oa, &ob), 0);
    mine.clear();
    for (const Contact& c : Contacts())
        if (c.receiver == &oa)
            mine.push_back(c.myCol);
    EXPECT_EQ(mine, (std::vector<COLLISION*>{ca.At(later)}));
}

TEST_F(Collide, ChildrenAreTestedBeforeTheParentsOwnShapes)
{
    Chain ca, cc, cb;
    size_t a = ca.Ball(ID_A, 0, 0, 0, 1);
    ca.End();
    size_t c = cc.Ball(ID_A, 0, 0, 0, 0.5f);
    cc.End();
    size_t b = cb.Ball(ID_B, 0, 0, 0, 1);
    cb.End();

    Hitter parent, kid, off, other;
    Place(kid, cc.At(c), VectorPos(1, 0, 0));
    Place(off, cc.At(c), VectorPos(1, 0, 0));
    off.flags |= OBJF_NOCOLLISION;
    parent.Attach(&kid);
    parent.Attach(&off);
    Place(parent, ca.At(a), VectorPos(0, 0, 0));
    parent.flags |= OBJF_CHILDCOLLISION;
    Place(other, cb.At(b), VectorPos(1.2f, 0, 0));

    EXPECT_EQ(Collide2Objects(&parent, &other), 0);
    // The child's contact goes to the child (its handler), the parent's to the
    // parent; the child marked 0x2 takes no part.
    ASSERT_EQ(CountFor(&other), 2);
    ASSERT_EQ(CountFor(&kid), 1);
    ASSERT_EQ(CountFor(&parent), 1);
    EXPECT_EQ(CountFor(&off), 0);
    EXPECT_EQ(Contacts()[0].receiver, &kid);
    EXPECT_EQ(Contacts()[0].myPart, &kid);
    EXPECT_EQ(Contacts()[0].hitObj, &other);
    EXPECT_EQ(Contacts()[1].receiver, &other);
    EXPECT_EQ(Contacts()[1].hisPart, &kid);
    EXPECT_EQ(Contacts()[1].hitObj, &parent);
    EXPECT_EQ(Contacts()[2].receiver, &parent);

    // A child that answers negatively stops the run before the parents.
    Contacts().clear();
    kid.reply = -1;
    EXPECT_EQ(Collide2Objects(&parent, &other), 1);
    EXPECT_EQ(CountFor(&parent), 0);

    // Children of the second object are walked likewise.
    Contacts().clear();
    kid.reply = 0;
    EXPECT_EQ(Collide2Objects(&other, &parent), 0);
    EXPECT_EQ(CountFor(&kid), 1);
    EXPECT_EQ(CountFor(&parent), 1);
    parent.child = nullptr;
}

TEST_F(Collide, PlaneSetsAreTestedUnfilteredAndHearEverything)
{
    Chain cp, cs;
    size_t p = cp.PlaneCube(VectorPos(0, 0, 0), 1);
    cp.End();
    size_t s = cs.Ball(KIND_A | (KIND_B << 8), 0, 0, 0, 0.5f);
    size_t box = cs.Box(KIND_A | (KIND_B << 8), -0.25f, -0.25f, -0.25f, 0.25f, 0.25f, 0.25f);
    cs.End();
    Hitter op, os;
    Place(op, cp.At(p), VectorPos(0, 0, 0));
    op.radius = 2;
    Place(os, cs.At(s), VectorPos(1.4f, 0, 0));   // sphere reaches x = 0.9; box does not

    EXPECT_EQ(Collide2Objects(&os, &op), 0);
    ASSERT_EQ(CountFor(&os), 1);
    ASSERT_EQ(CountFor(&op), 1);
    EXPECT_EQ(Contacts()[0].myCol, cs.At(s));
    EXPECT_EQ(Contacts()[0].hisCol, cp.At(p));

    // The plane set first: both the sphere and (closer now) the box.
    Contacts().clear();
    os.SetPos(VectorPos(1.1f, 0, 0));
    EXPECT_EQ(Collide2Objects(&op, &os), 0);
    std::vector<COLLISION*> his;
    for (const Contact& c : Contacts())
        if (c.receiver == &op)
            his.push_back(c.hisCol);
    EXPECT_EQ(his, (std::vector<COLLISION*>{cs.At(s), cs.At(box)}));
    EXPECT_EQ(CountFor(&os), 2);

    // Outside every plane's reach: nothing.
    Contacts().clear();
    os.SetPos(VectorPos(1.6f, 0, 0));
    EXPECT_EQ(Collide2Objects(&op, &os), 0);
    EXPECT_TRUE(Contacts().empty());
}

TEST_F(Collide, SingleEntryTestWalksAHitVolumesWholeChildList)
{
    Chain ca, cb;
    size_t bv = ca.Box(ID_A, -2, -2, -2, 2, 2, 2);
    ca.End();
    size_t k1 = ca.Ball(ID_A, -1, 0, 0, 1);
    size_t k2 = ca.Ball(ID_A, 1, 0, 0, 1);
    ca.End();
    ca.SetChild(bv, k1);
    size_t b = cb.Box(ID_B, -3, -0.5f, -0.5f, 3, 0.5f, 0.5f);
    size_t b2 = cb.Ball(ID_B, 0, 0, 0, 5);   // not part of the single-entry test
    cb.End();
    Hitter oa, ob;
    Place(oa, ca.At(bv), VectorPos(0, 0, 0));
    Place(ob, cb.At(b), VectorPos(0, 1.2f, 0));

    CollisionRecord rec(&oa, &ob);
    EXPECT_EQ(rec.CollideFine(&oa, &ob, oa.mat, ob.mat, ca.At(bv), cb.At(b)), 0);
    std::vector<COLLISION*> mine;
    for (const Contact& c : Contacts())
        if (c.receiver == &oa)
        {
            mine.push_back(c.myCol);
            EXPECT_EQ(c.hisCol, cb.At(b));
        }
    EXPECT_EQ(mine, (std::vector<COLLISION*>{ca.At(k1), ca.At(k2)}));

    // Entry against entry: nothing else of either chain is visited.
    Contacts().clear();
    CollisionRecord rec2(&oa, &ob);
    EXPECT_EQ(rec2.CollideFine(&oa, &ob, oa.mat, ob.mat, ca.At(k2), cb.At(b)), 0);
    EXPECT_EQ(CountFor(&oa), 1);
    (void)b2;
}

TEST_F(Collide, HandlerDestroyingAnObjectEndsTheRun)
{
    // The first handler destroys the second object (which would take its
    // children and model with it): nothing more of the run is delivered.
    TwoOnOne t;
    t.oa.onHit = [&](CollisionRecord*) { t.ob.flags |= OBJF_DEAD; };
    EXPECT_EQ(Collide2Objects(&t.oa, &t.ob), 0);
    EXPECT_EQ(CountFor(&t.oa), 1);   // nothing more after the object died
    EXPECT_EQ(CountFor(&t.ob), 0);
}

// ---------------------------------------------------------------------------
// Plane sets and soups

// A floor of two triangles at y = 0 facing up (-y), x and z in [-2, 2]:
// face 0 holds x > z, face 1 x < z.
struct Floor
{
    explicit Floor(std::shared_ptr<Tree> tree = nullptr, u16 id0 = ID_B, u16 id1 = ID_B)
    {
        if (!tree)
            tree = Split(0, 0.0f, Leaf({0, 1}), Leaf({0, 1}));
        at = chain.Soup({VectorPos(-2, 0, -2), VectorPos(2, 0, -2), VectorPos(2, 0, 2), VectorPos(-2, 0, 2)},
                        {{id0, 0, 1, 2}, {id1, 0, 2, 3}}, tree);
        chain.End();
    }
    const CollSoup* Soup() { return chain.As<CollSoup>(at); }
    Chain chain;
    size_t at;
};

TEST_F(Collide, PlaneSetPointAndSphereTests)
{
    Chain c;
    size_t p = c.PlaneCube(VectorPos(0, 0, 0), 1);
    const CollPlanes* planes = c.As<CollPlanes>(p);
    EXPECT_TRUE(planes->Test(VectorPos(0.9f, -0.9f, 0)));
    EXPECT_FALSE(planes->Test(VectorPos(1, 0, 0)));   // on a plane is not inside

    // Placed at (10, 0, 0) turned a quarter about y; the radius counts.
    Matrix mp = RotY(1.5707964f);
    mp.SetTrans(VectorPos(10, 0, 0));
    Matrix id(true);
    EXPECT_TRUE(planes->Test(mp, Sphere(11.4f, 0, 0, 0.5f), id));
    EXPECT_FALSE(planes->Test(mp, Sphere(11.6f, 0, 0, 0.5f), id));
    EXPECT_TRUE(planes->Test(mp, Cuboid(VectorPos(-0.2f, -0.2f, -0.2f), VectorPos(0.2f, 0.2f, 0.2f)),
                             TransMatrix(10.9f, 0.5f, 0)));
    EXPECT_FALSE(planes->Test(mp, Cuboid(VectorPos(-0.2f, -0.2f, -0.2f), VectorPos(0.2f, 0.2f, 0.2f)),
                              TransMatrix(10, 1.3f, 0)));
}

TEST_F(Collide, SphereCentreBehindAFaceNeverTouchesIt)
{
    Floor f;
    Matrix id(true);
    EXPECT_EQ(f.Soup()->Test(id, Sphere(1, 0.1f, -1, 5), id, nullptr), 0);
    EXPECT_EQ(f.Soup()->Test(id, Sphere(1, 0.0f, -1, 5), id, nullptr), 0);
    EXPECT_EQ(f.Soup()->Test(id, Sphere(1, -0.8f, -1, 1), id, nullptr), 1);
    EXPECT_EQ(f.Soup()->Test(id, Sphere(1, -1.0f, -1, 1), id, nullptr), 0);   // exactly the radius away
}

TEST_F(Collide, SphereOverAFaceTouchesWithDepthOnTheFacePlane)
{
    Floor f;
    Chain cs;
    size_t s = cs.Ball(ID_A, 0, 0, 0, 1);
    cs.End();
    Hitter ofloor, oball;
    Place(ofloor, f.chain.At(f.at), VectorPos(0, 0, 0));
    ofloor.radius = 3;
    Place(oball, cs.At(s), VectorPos(1, -0.8f, -1));

    EXPECT_EQ(Collide2Objects(&oball, &ofloor), 0);
    ASSERT_EQ(CountFor(&oball), 1);   // face 0 only
    const Contact& c = Contacts()[0];
    EXPECT_EQ(c.receiver, &oball);
    EXPECT_EQ(c.hisCol, f.chain.At(f.at));
    EXPECT_EQ(c.hisID, ID_B);
    ExpectNear(c.tempnormal, VectorDir(0, -1, 0));
    ExpectNear(c.temppoint.xyz(), VectorPos(1, 0, -1));
    EXPECT_NEAR(c.temppoint[3], -0.2f, 1e-5f);
    EXPECT_EQ(CountFor(&ofloor), 1);
}

TEST_F(Collide, SphereBeyondAFaceEdgeTouchesAtTheEdge)
{
    Floor f;
    Matrix id(true);
    // Outside face 0 past its x = 2 edge, 0.5 above the plane.
    VectorPos out;
    Sphere s(2.5f, -0.5f, -1, 1);
    ASSERT_TRUE(Penetration(s, VectorPos(-2, 0, -2), VectorPos(2, 0, -2), VectorPos(2, 0, 2), &out));
    ExpectNear(out, VectorPos(2, 0, -1));
    EXPECT_NEAR(out[3], 0.5f - std::sqrt(0.75f), 1e-5f);
    EXPECT_EQ(f.Soup()->Test(id, s, id, nullptr), 1);
    // Further out the corner of the sphere no longer reaches the edge.
    EXPECT_FALSE(Penetration(s = Sphere(2.8f, -0.8f, -1, 1), VectorPos(-2, 0, -2), VectorPos(2, 0, -2),
                             VectorPos(2, 0, 2), &out));
}

TEST_F(Collide, SoupFirstPairsDeliverWithTheFaceIdOnTheSoupsSide)
{
    Floor f;
    Chain cs;
    size_t s = cs.Ball(ID_A, 0, 0, 0, 1);
    cs.End();
    Hitter ofloor, oball;
    Place(ofloor, f.chain.At(f.at), VectorPos(0, 0, 0));
    ofloor.radius = 3;
    Place(oball, cs.At(s), VectorPos(1, -0.8f, -1));

    EXPECT_EQ(Collide2Objects(&ofloor, &oball), 0);
    ASSERT_EQ(Contacts().size(), 2u);
    EXPECT_EQ(Contacts()[0].receiver, &ofloor);
    EXPECT_EQ(Contacts()[0].myID, ID_B);
    EXPECT_EQ(Contacts()[0].hisID, ID_A);
    EXPECT_EQ(Contacts()[1].receiver, &oball);
    EXPECT_EQ(Contacts()[1].hisID, ID_B);

    // A face of a kind the sphere ignores is not delivered.
    Floor deaf(nullptr, 0x0004, 0x0004);
    Place(ofloor, deaf.chain.At(deaf.at), VectorPos(0, 0, 0));
    ofloor.radius = 3;
    Contacts().clear();
    EXPECT_EQ(Collide2Objects(&ofloor, &oball), 0);
    EXPECT_EQ(Collide2Objects(&oball, &ofloor), 0);
    EXPECT_TRUE(Contacts().empty());
}

TEST_F(Collide, BoxInFrontOrBehindAFaceDoesNotTouchIt)
{
    Floor f;
    Matrix id(true);
    Cuboid half(VectorPos(-0.5f, -0.5f, -0.5f), VectorPos(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(f.Soup()->Test(id, half, TransMatrix(1, -0.6f, -1), nullptr), 0);   // wholly above
    EXPECT_EQ(f.Soup()->Test(id, half, TransMatrix(1, 0.6f, -1), nullptr), 0);    // wholly below
    EXPECT_EQ(f.Soup()->Test(id, half, TransMatrix(1, -0.3f, -1), nullptr), 1);   // through the floor
    EXPECT_EQ(f.Soup()->Test(id, half, TransMatrix(3, -0.3f, -1), nullptr), 0);   // beside the floor
}

TEST_F(Collide, BoxThroughAFaceReportsItsDeepestCornerInItsOwnFrame)
{
    Floor f;
    Chain cb;
    size_t b = cb.Box(ID_A, -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f);
    cb.End();
    Hitter ofloor, obox;
    Place(ofloor, f.chain.At(f.at), VectorPos(0, 0, 0));
    ofloor.radius = 3;
    Place(obox, cb.At(b), VectorPos(1, -0.3f, -1));

    EXPECT_EQ(Collide2Objects(&obox, &ofloor), 0);
    ASSERT_EQ(CountFor(&obox), 1);
    const Contact& c = Contacts()[0];
    ExpectNear(c.tempnormal, VectorDir(0, -1, 0));
    ExpectNear(c.temppoint.xyz(), VectorPos(-0.5f, 0.5f, -0.5f));   // the lowest corner
    EXPECT_NEAR(c.temppoint[3], -0.2f, 1e-5f);
}

TEST_F(Collide, ClippingKeepsInsideTrianglesAndDropsOutsideOnes)
{
    VectorPos in[3] = {VectorPos(0, 0, 0), VectorPos(0.5f, 0, 0), VectorPos(0, 0.5f, 0.5f)};
    VectorPos out[9];
    ASSERT_EQ(ClipPoly(in, 3, out), 3);
    for (int i = 0; i < 3; i++)
        ExpectNear(out[i], in[i], 0);

    VectorPos far[3] = {VectorPos(2, 0, 0), VectorPos(3, 0, 0), VectorPos(2, 1, 0)};
    EXPECT_EQ(ClipPoly(far, 3, out), 0);

    // Across +x: the corner beyond x = 1 is cut off.
    VectorPos across[3] = {VectorPos(0, 0, 0), VectorPos(2, 0, 0), VectorPos(0, 1, 0)};
    ASSERT_EQ(ClipPoly(across, 3, out), 4);
    ExpectNear(out[0], VectorPos(0, 0, 0));
    ExpectNear(out[1], VectorPos(1, 0, 0));
    ExpectNear(out[2], VectorPos(1, 0.5f, 0));
    ExpectNear(out[3], VectorPos(0, 1, 0));

    EXPECT_EQ(ClipPoly(in, CLIPPOLY_MAXIN + 1, out), 0);   // more than it has room for
}

TEST_F(Collide, ClosestPointAndInsidePoly)
{
    ExpectNear(ClosestPoint(VectorPos(0, 0, 0), VectorPos(2, 0, 0), VectorPos(1, 5, 0)), VectorPos(1, 0, 0));
    ExpectNear(ClosestPoint(VectorPos(0, 0, 0), VectorPos(2, 0, 0), VectorPos(-3, 1, 0)), VectorPos(0, 0, 0));
    ExpectNear(ClosestPoint(VectorPos(0, 0, 0), VectorPos(2, 0, 0), VectorPos(9, 1, 0)), VectorPos(2, 0, 0));
    ExpectNear(ClosestPoint(VectorPos(1, 1, 1), VectorPos(1, 1, 1), VectorPos(9, 1, 0)), VectorPos(1, 1, 1));

    VectorPos tri[3] = {VectorPos(0, 0, 0), VectorPos(1, 0, 0), VectorPos(0, 1, 0)};
    VectorPos n(0, 0, 1);
    EXPECT_TRUE(InsidePoly(VectorPos(0.25f, 0.25f, 0), n, tri, 3));
    EXPECT_FALSE(InsidePoly(VectorPos(1, 1, 0), n, tri, 3));
    EXPECT_FALSE(InsidePoly(VectorPos(0.25f, 0.25f, 0), VectorPos(0, 0, -1), tri, 3));
}

// A tree deeper than the searches' stacks: each split keeps its far side for
// later; face 1 is in the far side of the split 50 levels down (beyond the
// stacks' room) and face 0 in the deepest near side.
std::shared_ptr<Tree> DeepTree(int depth)
{
    std::shared_ptr<Tree> t = Leaf({0});
    for (int i = 0; i < depth; i++)
        t = Split(0, 0.0f, t, Leaf(depth - 1 - i == 50 ? std::vector<u16>{1} : std::vector<u16>{}));
    return t;
}

TEST_F(Collide, SoupSearchesDeeperThanTheirStacksFindEveryFace)
{
    Floor f(DeepTree(80), ID_B | (0x04), ID_B);
    Chain cs;
    size_t s = cs.Ball(ID_A, 0, 0, 0, 1);
    size_t b = cs.Box(ID_A, -0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f);
    cs.End();
    Matrix id(true);

    // Over the diagonal both faces are touched.
    Hitter ofloor, oball;
    Place(ofloor, f.chain.At(f.at), VectorPos(0, 0, 0));
    Place(oball, cs.At(s), VectorPos(0, -0.8f, 0));
    ofloor.radius = 3;
    EXPECT_EQ(Collide2Objects(&oball, &ofloor), 0);
    std::vector<u16> ids;
    for (const Contact& c : Contacts())
        if (c.receiver == &oball)
            ids.push_back(c.hisID);
    EXPECT_EQ(ids, (std::vector<u16>{ID_B | 0x04, ID_B}));

    // The box test (the smaller stack) as well.
    Contacts().clear();
    Place(oball, cs.At(b), VectorPos(0, -0.3f, 0));
    cs.As<CollSphere>(s)->SetID(0, 0);   // only the box this time
    EXPECT_EQ(Collide2Objects(&oball, &ofloor), 0);
    ids.clear();
    for (const Contact& c : Contacts())
        if (c.receiver == &oball)
            ids.push_back(c.hisID);
    EXPECT_EQ(ids, (std::vector<u16>{ID_B | 0x04, ID_B}));
}

}  // namespace
