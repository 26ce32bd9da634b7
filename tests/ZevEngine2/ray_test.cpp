#include <gtest/gtest.h>

#include "ZevEngine2/collision_support.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Object.h"

namespace {

using namespace colltest;

constexpr u16 KIND = 0x04;
constexpr u16 MASK = KIND << 8;   // a ray looking for KIND

const Cuboid kUnit(VectorPos(-1, -1, -1), VectorPos(1, 1, 1));

TEST(Ray, BoxIsHitThroughTheFaceItEnters)
{
    VectorPos hit;
    VectorDir n;
    ASSERT_TRUE(CheckRay(kUnit, VectorPos(-3, 0.5f, 0), VectorPos(3, 0.5f, 0), &hit, &n));
    ExpectNear(hit, VectorPos(-1, 0.5f, 0));
    ExpectNear(n, VectorDir(-1, 0, 0));
    EXPECT_EQ(n[3], -1.0f);   // the -x face: -x + min.x

    Cuboid b(VectorPos(0, 0, 0), VectorPos(2, 3, 4));
    ASSERT_TRUE(CheckRay(b, VectorPos(1, 8, 1), VectorPos(1, -2, 1), &hit, &n));
    ExpectNear(hit, VectorPos(1, 3, 1));
    ExpectNear(n, VectorDir(0, 1, 0));
    EXPECT_EQ(n[3], -3.0f);   // the +y face: y - max.y

    // The later axis wins only with a later entry.
    ASSERT_TRUE(CheckRay(kUnit, VectorPos(-3, -2, 0), VectorPos(1, 2, 0), &hit, &n));
    ExpectNear(hit, VectorPos(-1, 0, 0));
    ExpectNear(n, VectorDir(-1, 0, 0));
    ASSERT_TRUE(CheckRay(kUnit, VectorPos(-2, -3, 0), VectorPos(2, 1, 0), &hit, &n));
    ExpectNear(hit, VectorPos(0, -1, 0));
    ExpectNear(n, VectorDir(0, -1, 0));
}

TEST(Ray, RayFromInsideABoxReportsNoHit)
{
    EXPECT_FALSE(CheckRay(kUnit, VectorPos(0, 0, 0), VectorPos(5, 0, 0), nullptr, nullptr));
    EXPECT_FALSE(CheckRay(kUnit, VectorPos(0, 0, 0), VectorPos(0.5f, 0.5f, 0), nullptr, nullptr));
    EXPECT_FALSE(CheckRay(kUnit, VectorPos(-3, 2, 0), VectorPos(3, 2, 0), nullptr, nullptr));   // passes by
    EXPECT_FALSE(CheckRay(kUnit, VectorPos(-5, 0, 0), VectorPos(-2, 0, 0), nullptr, nullptr));  // stops short
    // The yes/no form counts a start inside.
    EXPECT_TRUE(CheckRay(kUnit, VectorPos(0, 0, 0), VectorPos(5, 0, 0)));
    EXPECT_TRUE(CheckRay(kUnit, VectorPos(-3, 0, 0), VectorPos(3, 0, 0)));
    EXPECT_FALSE(CheckRay(kUnit, VectorPos(-3, 2, 0), VectorPos(3, 2, 0)));
}

TEST(Ray, SegmentEndingOnASphereHitsIt)
{
    Sphere s(0, 0, 0, 1);
    VectorPos hit;
    VectorDir n;
    ASSERT_TRUE(CheckRay(s, VectorPos(-3, 0, 0), VectorPos(-1, 0, 0), &hit, &n));
    ExpectNear(hit, VectorPos(-1, 0, 0));
    ExpectNear(n, VectorDir(-1, 0, 0));
    EXPECT_FALSE(CheckRay(s, VectorPos(-3, 0, 0), VectorPos(-1.01f, 0, 0), &hit, &n));

    // A sphere of radius 2 hit on the slant: the normal is unit.
    Sphere big(1, 1, 1, 2);
    ASSERT_TRUE(CheckRay(big, VectorPos(1, -4, 1), VectorPos(1, 4, 1), &hit, &n));
    ExpectNear(hit, VectorPos(1, -1, 1));
    ExpectNear(n, VectorDir(0, -1, 0));

    EXPECT_FALSE(CheckRay(s, VectorPos(0.5f, 0, 0), VectorPos(5, 0, 0), &hit, &n));   // starts inside
    EXPECT_FALSE(CheckRay(s, VectorPos(-3, 0, 0), VectorPos(-6, 0, 0), &hit, &n));    // points away
    EXPECT_FALSE(CheckRay(s, VectorPos(-3, 0, 0), VectorPos(-3, 0, 0), &hit, &n));    // a point
    EXPECT_TRUE(CheckRay(VectorPos(0, 0, 0), 1, VectorPos(0.5f, 0, 0), VectorPos(5, 0, 0)));
    EXPECT_TRUE(CheckRay(VectorPos(0, 0, 0), 1, VectorPos(-3, 0.5f, 0), VectorPos(3, 0.5f, 0)));
    EXPECT_FALSE(CheckRay(VectorPos(0, 0, 0), 1, VectorPos(-3, 1.5f, 0), VectorPos(3, 1.5f, 0)));
}

TEST(Ray, FirstEntryOfTheChainWinsNotTheNearest)
{
    Chain c;
    size_t far = c.Box(KIND, 5, -1, -1, 6, 1, 1);
    c.Box(KIND, 1, -1, -1, 2, 1, 1);
    c.End();
    // The chain placed at (0, 0, 10) turned a quarter about y (its x axis
    // along world -z).
    Matrix m = RotY(1.5707964f);
    m.SetTrans(VectorPos(0, 0, 10));
    VectorPos hit;
    VectorDir n;
    ASSERT_TRUE(CheckRay(c.At(far), m, VectorPos(0, 0, 10), VectorPos(0, 0, 0), &hit, &n, MASK));
    ExpectNear(hit, VectorPos(0, 0, 5));
    ExpectNear(n, VectorDir(0, 0, 1));   // its -x face, facing the ray's start
}

TEST(Ray, MaskSelectsShapesButBoundingBoxesAreSolid)
{
    Chain c;
    size_t ball = c.Ball(KIND, 0, 0, 0, 1);
    c.End();
    VectorPos hit;
    Matrix id(true);
    EXPECT_TRUE(CheckRay(c.At(ball), id, VectorPos(-5, 0, 0), VectorPos(5, 0, 0), &hit, nullptr, MASK));
    EXPECT_FALSE(CheckRay(c.At(ball), id, VectorPos(-5, 0, 0), VectorPos(5, 0, 0), &hit, nullptr, 0x0800));

    // A bounding box of another kind answers as a solid box; its nested
    // sphere (far outside it) is never visited.
    Chain v;
    size_t bv = v.Box(0x10, -1, -1, -1, 1, 1, 1);
    v.End();
    size_t inner = v.Ball(KIND, 20, 0, 0, 1);
    v.End();
    v.SetChild(bv, inner);
    ASSERT_TRUE(CheckRay(v.At(bv), id, VectorPos(-5, 0, 0), VectorPos(5, 0, 0), &hit, nullptr, MASK));
    ExpectNear(hit, VectorPos(-1, 0, 0));
    EXPECT_FALSE(CheckRay(v.At(bv), id, VectorPos(15, 0, 0), VectorPos(25, 0, 0), &hit, nullptr, MASK));

    // Plane sets are not hit by rays.
    Chain p;
    size_t planes = p.PlaneCube(VectorPos(0, 0, 0), 1);
    p.End();
    EXPECT_FALSE(CheckRay(p.At(planes), id, VectorPos(-5, 0, 0), VectorPos(5, 0, 0), &hit, nullptr, 0xFF00));
}

TEST(Ray, ObjectRaysTryChildrenFirstInListOrder)
{
    Chain c;
    size_t box = c.Box(KIND, -1, -1, -1, 1, 1, 1);
    c.End();
    Hitter parent, farKid, nearKid;
    Place(parent, c.At(box), VectorPos(0, 0, 0));
    Place(farKid, c.At(box), VectorPos(6, 0, 0));
    Place(nearKid, c.At(box), VectorPos(3, 0, 0));
    parent.Attach(&farKid);
    parent.Attach(&nearKid);
    parent.flags |= OBJF_CHILDCOLLISION;
    parent.SetPos(VectorPos(0, 10, 0));

    VectorPos hit;
    VectorDir n;
    // From beyond the children toward the parent: the first child listed is
    // reported, and the parent's own box is not tried.
    ASSERT_TRUE(CheckRay(&parent, VectorPos(10, 10, 0), VectorPos(-10, 10, 0), &hit, &n, MASK));
    ExpectNear(hit, VectorPos(7, 10, 0));
    ExpectNear(n, VectorDir(1, 0, 0));

    farKid.flags |= OBJF_NOCOLLISION;
    ASSERT_TRUE(CheckRay(&parent, VectorPos(10, 10, 0), VectorPos(-10, 10, 0), &hit, &n, MASK));
    ExpectNear(hit, VectorPos(4, 10, 0));

    // With no child in the way the object's own chain answers.
    ASSERT_TRUE(CheckRay(&parent, VectorPos(0, 20, 0), VectorPos(0, 0, 0), &hit, &n, MASK));
    ExpectNear(hit, VectorPos(0, 11, 0));
    parent.child = nullptr;
}

// A floor of two triangles at y = 0 facing up (-y): face 0 holds x > z.
struct Floor
{
    explicit Floor(std::shared_ptr<Tree> tree, u16 id = KIND)
    {
        at = chain.Soup({VectorPos(-2, 0, -2), VectorPos(2, 0, -2), VectorPos(2, 0, 2), VectorPos(-2, 0, 2)},
                        {{id, 0, 1, 2}, {id, 0, 2, 3}}, tree);
        chain.End();
    }
    const CollSoup* Soup() { return chain.As<CollSoup>(at); }
    Chain chain;
    size_t at;
};

TEST(Ray, SoupIsHitFromTheFrontOnly)
{
    Floor f(Split(2, 0.0f, Leaf({0}), Leaf({1})));
    VectorPos hit;
    VectorDir n;
    ASSERT_TRUE(f.Soup()->CheckRay(VectorPos(0.5f, -3, -1), VectorPos(0.5f, 3, -1), &hit, &n, MASK));
    ExpectNear(hit, VectorPos(0.5f, 0, -1));
    ExpectNear(Normalise(n), VectorDir(0, -1, 0));
    EXPECT_FALSE(f.Soup()->CheckRay(VectorPos(0.5f, 3, -1), VectorPos(0.5f, -3, -1), &hit, &n, MASK));
    EXPECT_FALSE(f.Soup()->CheckRay(VectorPos(0.5f, -3, -1), VectorPos(0.5f, 3, -1), &hit, &n, 0x0800));
    EXPECT_FALSE(f.Soup()->CheckRay(VectorPos(0.5f, -3, -1), VectorPos(0.5f, -1, -1), &hit, &n, MASK));
    // Crossing the split: the near side (whole segment) misses face 0 and
    // the far part finds face 1.
    ASSERT_TRUE(f.Soup()->CheckRay(VectorPos(-1, -3, -1), VectorPos(-1, 3, 3), &hit, &n, MASK));
    ExpectNear(hit, VectorPos(-1, 0, 1));
}

TEST(Ray, SoupRayReportsTheNearestFaceOfALeaf)
{
    // Two floors, at y = 0 and y = -1 (higher), in one leaf.
    Chain c;
    size_t at = c.Soup({VectorPos(-2, 0, -2), VectorPos(2, 0, -2), VectorPos(2, 0, 2), VectorPos(-2, -1, -2),
                        VectorPos(2, -1, -2), VectorPos(2, -1, 2)},
                       {{KIND, 0, 1, 2}, {KIND, 3, 4, 5}}, Leaf({0, 1}));
    c.End();
    VectorPos hit;
    ASSERT_TRUE(c.As<CollSoup>(at)->CheckRay(VectorPos(1, -3, -1), VectorPos(1, 3, -1), &hit, nullptr, MASK));
    ExpectNear(hit, VectorPos(1, -1, -1));
}

// Splits at x = 0 nested on their near (x < 0) side, deeper than the ray
// search's stack; face 0 lies in the far side of the split 50 levels down.
std::shared_ptr<Tree> DeepTree(int depth)
{
    std::shared_ptr<Tree> t = Leaf({1});
    for (int i = 0; i < depth; i++)
        t = Split(0, 0.0f, t, Leaf(depth - 1 - i == 50 ? std::vector<u16>{0} : std::vector<u16>{}));
    return t;
}

TEST(Ray, SoupRayDeeperThanItsStackStillFindsTheFarFace)
{
    Floor f(DeepTree(80));
    VectorPos hit;
    ASSERT_TRUE(f.Soup()->CheckRay(VectorPos(-0.5f, -3, -1), VectorPos(1.5f, 3, -1), &hit, nullptr, MASK));
    ExpectNear(hit, VectorPos(0.5f, 0, -1));
}

// ---------------------------------------------------------------------------
// Ground heights

TEST(Ground, BoxTopCountsOverItsEdgesButNotAtItsBottom)
{
    Chain c;
    size_t box = c.Box(KIND, -1, 0, -1, 1, 2, 1);   // top y = 0, bottom y = 2
    c.End();
    Matrix m = RotY(1.5707964f);
    m.SetTrans(VectorPos(0, -3, 0));   // top at world y -3, bottom at -1
    VectorDir n(0, 0, 0);
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(box), m, 0, VectorPos(0.3f, -2, 0.2f), &n), -3.0f);
    ExpectNear(n, VectorDir(0, -1, 0));
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(box), m, 0, VectorPos(1, -2, 0.2f), nullptr), -3.0f);    // on its z side
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(box), m, 0, VectorPos(0.3f, -2, -1), nullptr), -3.0f);   // on its x side
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(box), m, 0, VectorPos(0.3f, -10, 0.2f), nullptr), -3.0f);  // far above
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(box), m, 0, VectorPos(0.3f, -1, 0.2f), nullptr), 0.0f);   // at the bottom
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(box), m, 0, VectorPos(1.01f, -2, 0), nullptr), 0.0f);     // beside
    // Higher terrain wins.
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(box), m, -4, VectorPos(0.3f, -2, 0.2f), nullptr), -4.0f);
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(nullptr, m, 7, VectorPos(0, 0, 0), nullptr), 7.0f);
}

TEST(Ground, NestedChainsAndLaterEntriesAreAllSearched)
{
    // [sphere volume {low box}, high box, plane set]
    Chain c;
    size_t vol = c.Ball(KIND, 0, 0, 0, 5);
    c.Box(KIND, -1, -2, -1, 1, 0, 1);   // top at -2
    c.PlaneCube(VectorPos(0, 0, 0), 10);
    c.End();
    size_t low = c.Box(KIND, -1, -1, -1, 1, 0, 1);   // top at -1
    c.End();
    c.SetChild(vol, low);
    Matrix id(true);
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(vol), id, 0, VectorPos(0, -0.5f, 0), nullptr), -2.0f);
    // Only the nested box reaches past x = 1.
    c.As<CollBox>(low)->box.max[0] = 3;
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(c.At(vol), id, 0, VectorPos(2, -0.5f, 0), nullptr), -1.0f);
}

TEST(Ground, SoupFaceCountsUpToJustAboveThePoint)
{
    Floor f(Split(0, 0.0f, Leaf({0, 1}), Leaf({0, 1})));
    VectorDir n;
    EXPECT_FLOAT_EQ(f.Soup()->GetHeight(VectorPos(0.5f, 0.3f, -1), &n), 0.0f);   // 0.3 above the point
    ExpectNear(Normalise(n), VectorDir(0, -1, 0));
    EXPECT_EQ(f.Soup()->GetHeight(VectorPos(0.5f, 0.32f, -1), &n), 1e38f);      // 0.32 above
    EXPECT_FLOAT_EQ(f.Soup()->GetHeight(VectorPos(0.5f, -7, -1), &n), 0.0f);    // far above: below it
    EXPECT_EQ(f.Soup()->GetHeight(VectorPos(2.5f, -1, 0), &n), 1e38f);          // off the floor

    // Through an object's chain, placed 5 higher: world y -5.
    Matrix m = TransMatrix(0, -5, 0);
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(f.chain.At(f.at), m, 0, VectorPos(0.5f, -4.8f, -1), &n), -5.0f);
    EXPECT_FLOAT_EQ(GetObjectGroundHeight(f.chain.At(f.at), m, 0, VectorPos(0.5f, -4.6f, -1), &n), 0.0f);
}

TEST(Ground, SlopedSoupFaceGivesTheHeightUnderThePoint)
{
    // One face rising 1 in y per unit of x (up is -y).
    Chain c;
    size_t at = c.Soup({VectorPos(0, 0, -2), VectorPos(4, -4, -2), VectorPos(4, -4, 2)}, {{KIND, 0, 1, 2}},
                       Leaf({0}));
    c.End();
    VectorDir n;
    EXPECT_FLOAT_EQ(c.As<CollSoup>(at)->GetHeight(VectorPos(3, -3.2f, -1), &n), -3.0f);
    EXPECT_EQ(c.As<CollSoup>(at)->GetHeight(VectorPos(3, 0, -1), &n), 1e38f);   // the face is 3 above
    EXPECT_TRUE(TestXZ(VectorDir(1, 0, 0), VectorDir(0, 0, 1)));
    EXPECT_FALSE(TestXZ(VectorDir(0, 0, 1), VectorDir(1, 0, 0)));
}

class FixedGround : public GroundChecker
{
public:
    explicit FixedGround(float y) : y(y) {}
    float Check(const Object&, float best, VectorPos, VectorDir* normal) override
    {
        order.push_back(this);
        if (y >= best && best != -1e38f)
            return best;
        if (normal != nullptr)
            *normal = VectorDir(0, -0.8f, 0.6f);
        return y;
    }
    float y;
    static std::vector<FixedGround*> order;
};
std::vector<FixedGround*> FixedGround::order;

TEST(Ground, GroundHeightAsksEveryCheckerNewestFirst)
{
    GroundChecker* saved = GroundChecker::list;
    Object o;
    VectorDir n(9, 9, 9);

    GroundChecker::list = nullptr;
    EXPECT_EQ(o.GroundHeight(VectorPos(1, 2, 3), &n), 0.0f);
    ExpectNear(n, VectorDir(0, -1, 0));
    EXPECT_EQ(o.GroundHeight(VectorPos(1, 2, 3), nullptr), 0.0f);

    {
        FixedGround low(-2), high(-5);   // high registered last: asked first
        EXPECT_EQ(GroundChecker::list, &high);
        FixedGround::order.clear();
        EXPECT_EQ(o.GroundHeight(VectorPos(0, 0, 0), &n), -5.0f);
        EXPECT_EQ(FixedGround::order, (std::vector<FixedGround*>{&high, &low}));
        ExpectNear(n, VectorDir(0, -0.8f, 0.6f));
        GroundChecker::list = saved;
    }
}

}  // namespace
