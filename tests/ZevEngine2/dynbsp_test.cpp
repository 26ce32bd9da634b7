#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ee/console_out.h"

#include "ZevEngine2/collision_support.h"

#include "ZevEngine2/DynBsp.h"

namespace {

using namespace colltest;

constexpr u16 ID_STATIC = 0x02 | (0x01 << 8);
constexpr u16 ID_MOVER = 0x01 | (0x02 << 8);

// An object carrying one sphere (its broad-phase box is exactly centre ±
// radius).
struct Ball
{
    Ball(VectorPos at, float r, u16 id = ID_STATIC)
    {
        size_t s = chain.Ball(id, 0, 0, 0, r);
        chain.End();
        Place(obj, chain.At(s), at);
    }
    Chain chain;
    Hitter obj;
};

std::vector<Object*> Owners(const CollCuboidList& list)
{
    std::vector<Object*> v;
    for (CollCuboid* q = list.Head(); !q->IsEOList(); q = q->Next())
        v.push_back(q->pObject);
    return v;
}

// The objects live in the fixture, declared before the tree, so that the
// tree's counted references are dropped before the objects go.
class DynBsp : public ::testing::Test
{
protected:
    void SetUp() override { Contacts().clear(); }
    void Add(Object& o) { tree.CollCuboids.AddObject(&o, &o, o.mat); }
    Ball& MakeBall(VectorPos at, float r, u16 id = ID_STATIC)
    {
        balls.push_back(std::make_unique<Ball>(at, r, id));
        return *balls.back();
    }
    std::vector<std::unique_ptr<Ball>> balls;
    DynBspTree tree;
};

TEST_F(DynBsp, TouchingBoxesSplitAtTheTouchingPlane)
{
    Ball& a = MakeBall(VectorPos(0, 0, 0), 1);
    Ball& b = MakeBall(VectorPos(2, 0, 0), 1);
    Add(a.obj);
    Add(b.obj);
    tree.MakeTree();
    ASSERT_NE(tree.pTop, nullptr);
    DynBspNode* root = tree.pTop;
    EXPECT_EQ(root->nExtent, 2);
    EXPECT_EQ(root->Objects.Count(), 2);   // both stay at the node
    // Extent[0] is the side of the first box, Extent[1] the other's; they
    // meet at x = 1.
    Object* first = root->Objects.Head()->pObject;
    int left = first == &a.obj ? 0 : 1;
    EXPECT_EQ(root->Extent[left].min[0], -1.0f);
    EXPECT_EQ(root->Extent[left].max[0], 1.0f);
    EXPECT_EQ(root->Extent[1 - left].min[0], 1.0f);
    EXPECT_EQ(root->Extent[1 - left].max[0], 3.0f);
    EXPECT_EQ(root->Extent[0].min[1], -1.0f);
    EXPECT_EQ(root->Extent[0].max[2], 1.0f);
}

TEST_F(DynBsp, OverlappingBoxesLeaveTheNodeUnsplit)
{
    Ball& a = MakeBall(VectorPos(0, 0, 0), 1);
    Ball& b = MakeBall(VectorPos(1.5f, 0.5f, 0), 1);
    Add(a.obj);
    Add(b.obj);
    tree.MakeTree();
    ASSERT_NE(tree.pTop, nullptr);
    EXPECT_EQ(tree.pTop->nExtent, 1);
    EXPECT_EQ(tree.pTop->Objects.Count(), 2);
    EXPECT_EQ(tree.pTop->pChild[0], nullptr);
}

// A big prop at the origin, one at x = 10, one straddling the split between
// them, and two small ones inside each side.
struct Room
{
    template <class F>
    explicit Room(F make)
        : big(make(VectorPos(0, 0, 0), 2.0f)), right(make(VectorPos(10, 0, 0), 1.5f)),
          middle(make(VectorPos(5, 0, 0), 1.0f)), leftSmall(make(VectorPos(0, 0, 0), 0.5f)),
          rightSmall(make(VectorPos(10, 0, 0), 0.25f))
    {
    }
    void AddAll(DynBspTree& tree)
    {
        // Any order: the tree takes them largest first.
        for (Ball* b : {&rightSmall, &middle, &leftSmall, &right, &big})
            tree.CollCuboids.AddObject(&b->obj, &b->obj, b->obj.mat);
    }
    Ball &big, &right, &middle, &leftSmall, &rightSmall;
};

TEST_F(DynBsp, BoxAcrossASplitStaysAtTheNodeAndMeetsLaterBoxes)
{
    Room room([&](VectorPos at, float r) -> Ball& { return MakeBall(at, r); });
    room.AddAll(tree);
    EXPECT_EQ(tree.CollCuboids.nCollCuboids, 5);
    tree.MakeTree();
    EXPECT_TRUE(tree.TreeMade);
    EXPECT_TRUE(tree.CollCuboids.IsEmpty());
    EXPECT_EQ(tree.CollCuboids.nCollCuboids, 0);
    ExpectNear(tree.WorldExtent.min, VectorPos(-2, -2, -2));
    ExpectNear(tree.WorldExtent.max, VectorPos(11.5f, 2, 2));

    DynBspNode* root = tree.pTop;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->nExtent, 2);
    // The gap between [-2, 2] and [8.5, 11.5] is cut in its middle.
    EXPECT_FLOAT_EQ(root->Extent[0].max[0], 5.25f);
    EXPECT_FLOAT_EQ(root->Extent[1].min[0], 5.25f);
    EXPECT_EQ(Owners(root->Objects), (std::vector<Object*>{&room.big.obj, &room.right.obj, &room.middle.obj}));
    ASSERT_NE(root->pChild[0], nullptr);
    ASSERT_NE(root->pChild[1], nullptr);
    EXPECT_EQ(Owners(root->pChild[0]->Objects), (std::vector<Object*>{&room.leftSmall.obj}));
    EXPECT_EQ(Owners(root->pChild[1]->Objects), (std::vector<Object*>{&room.rightSmall.obj}));
    EXPECT_FLOAT_EQ(root->pChild[1]->Extent[0].min[0], 5.25f);

    // A mover over the split reaches the straddling box at the root.
    Ball& mover = MakeBall(VectorPos(5.5f, 0, 0), 0.75f, ID_MOVER);
    Add(mover.obj);
    tree.TestAndRemove();
    EXPECT_TRUE(tree.CollCuboids.IsEmpty());
    ASSERT_EQ(CountFor(&mover.obj), 1);
    EXPECT_EQ(CountFor(&room.middle.obj), 1);
    EXPECT_EQ(Contacts()[0].hitObj, &room.middle.obj);

    // One inside the right side meets the right-hand boxes only.
    Contacts().clear();
    mover.obj.SetPos(VectorPos(9.5f, 0, 0));
    Add(mover.obj);
    tree.TestAndRemove();
    EXPECT_EQ(CountFor(&mover.obj), 2);
    EXPECT_EQ(CountFor(&room.right.obj), 1);
    EXPECT_EQ(CountFor(&room.rightSmall.obj), 1);
}

TEST_F(DynBsp, PendingBoxesOfOneObjectAreNeverTestedTogether)
{
    // One mover with two overlapping spheres, another touching both.
    Chain c;
    size_t s1 = c.Ball(ID_MOVER | ID_STATIC, 0, 0, 0, 1);
    c.Ball(ID_MOVER | ID_STATIC, 0.5f, 0, 0, 1);
    c.End();
    Hitter twin;
    Place(twin, c.At(s1), VectorPos(0, 0, 0));
    Ball& other = MakeBall(VectorPos(0.25f, 1.5f, 0), 1, ID_MOVER | ID_STATIC);

    tree.MakeTree();   // nothing static: no tree, pending boxes only
    EXPECT_TRUE(tree.TreeMade);
    EXPECT_EQ(tree.pTop, nullptr);

    Add(twin);
    tree.TestAndRemove();
    EXPECT_TRUE(Contacts().empty());

    Add(twin);
    Add(other.obj);
    tree.TestAndRemove();
    // Each of the twin's spheres against the other object, both told.
    EXPECT_EQ(CountFor(&twin), 2);
    EXPECT_EQ(CountFor(&other.obj), 2);
    for (const colltest::Contact& k : Contacts())
        EXPECT_NE(k.receiver, k.hitObj);
}

TEST_F(DynBsp, DestroyedPropLeavesItsNodeWhenAMoverReachesIt)
{
    Room room([&](VectorPos at, float r) -> Ball& { return MakeBall(at, r); });
    room.AddAll(tree);
    tree.MakeTree();
    DynBspNode* leftNode = tree.pTop->pChild[0];
    ASSERT_NE(leftNode, nullptr);
    EXPECT_EQ(room.leftSmall.obj.refcount, 2);   // held by its box, as object and as part

    room.leftSmall.obj.flags |= OBJF_DEAD;
    // A mover elsewhere does not visit that node: the box stays.
    Ball& mover = MakeBall(VectorPos(10, 0, 0), 0.5f, ID_MOVER);
    Add(mover.obj);
    tree.TestAndRemove();
    EXPECT_EQ(leftNode->Objects.Count(), 1);

    // One over it drops the box (and its reference) without telling it.
    Contacts().clear();
    mover.obj.SetPos(VectorPos(0, 0, 0));
    Add(mover.obj);
    tree.TestAndRemove();
    EXPECT_TRUE(leftNode->Objects.IsEmpty());
    EXPECT_EQ(room.leftSmall.obj.refcount, 0);
    EXPECT_EQ(CountFor(&room.leftSmall.obj), 0);
    EXPECT_EQ(CountFor(&room.big.obj), 1);
    room.leftSmall.obj.flags &= ~OBJF_DEAD;

    // A prop taking no part in collision is passed over but kept.
    Contacts().clear();
    room.big.obj.flags |= OBJF_NOCOLLISION;
    Add(mover.obj);
    tree.TestAndRemove();
    EXPECT_EQ(CountFor(&room.big.obj), 0);
    EXPECT_EQ(tree.pTop->Objects.Count(), 3);
    room.big.obj.flags &= ~OBJF_NOCOLLISION;
}

TEST_F(DynBsp, BoxesOfEachShapeKind)
{
    Chain c;
    size_t first = c.Ball(ID_STATIC, 1, 0, 0, 0.5f);
    c.Box(ID_STATIC, -1, -2, -3, 1, 2, 3);
    c.PlaneCube(VectorPos(0, 0, 0), 1);
    c.Soup({VectorPos(0, 0, 0), VectorPos(1, 0, 0), VectorPos(0, 0, 1)}, {{ID_STATIC, 0, 1, 2}}, Leaf({0}));
    c.End();
    Chain k;
    size_t kid = k.Ball(ID_STATIC, 0, 0, 0, 1);
    k.End();

    Hitter o, child, ghost;
    Place(child, k.At(kid), VectorPos(0, 5, 0));
    Place(ghost, k.At(kid), VectorPos(0, 9, 0));
    ghost.flags |= OBJF_NOCOLLISION;
    o.Attach(&child);
    o.Attach(&ghost);
    o.flags |= OBJF_CHILDCOLLISION;
    // Turned a quarter about z (its x axis along world y), at (10, 0, 0).
    Place(o, c.At(first), VectorPos(10, 0, 0), RotZ(1.5707964f));
    o.radius = 7;

    console::ClearConsoleText();
    Add(o);
    EXPECT_NE(console::ConsoleText().find("Unsuppored coll method 2\n"), std::string::npos);
    ASSERT_EQ(tree.CollCuboids.nCollCuboids, 4);
    CollCuboid* q = tree.CollCuboids.Head();
    // The sphere: its centre turned into place, ± the radius.
    ExpectNear(q->cuboid.min, VectorPos(9.5f, 0.5f, -0.5f));
    ExpectNear(q->cuboid.max, VectorPos(10.5f, 1.5f, 0.5f));
    EXPECT_FLOAT_EQ(q->volume, 1.0f);
    EXPECT_EQ(q->pColl, c.At(first));
    // The box: twice its turned half size (x and y swap).
    q = q->Next();
    ExpectNear(q->cuboid.min, VectorPos(6, -2, -6));
    ExpectNear(q->cuboid.max, VectorPos(14, 2, 6));
    EXPECT_FLOAT_EQ(q->volume, 8.0f * 4.0f * 12.0f);
    // The soup: the object's radius about its origin.
    q = q->Next();
    ExpectNear(q->cuboid.min, VectorPos(3, -7, -7));
    ExpectNear(q->cuboid.max, VectorPos(17, 7, 7));
    // The child, placed under the parent's matrix; the 0x2 child has none.
    q = q->Next();
    EXPECT_EQ(q->pObject, &o);
    EXPECT_EQ(q->pPart, &child);
    ExpectNear(q->cuboid.min, VectorPos(4, -1, -1));
    ExpectNear(q->mat.GetTrans(), VectorPos(5, 0, 0));
    EXPECT_EQ(o.refcount, 7);       // object and part of three boxes, object of the child's
    EXPECT_EQ(child.refcount, 1);

    tree.RemoveNonBsp();
    EXPECT_EQ(tree.CollCuboids.nCollCuboids, 0);
    EXPECT_EQ(o.refcount, 0);
    EXPECT_EQ(child.refcount, 0);
    o.child = nullptr;
}

TEST_F(DynBsp, RemoveAllDropsTheTreeAndItsReferences)
{
    Room room([&](VectorPos at, float r) -> Ball& { return MakeBall(at, r); });
    room.AddAll(tree);
    tree.MakeTree();
    Ball& pending = MakeBall(VectorPos(3, 3, 3), 1, ID_MOVER);
    Add(pending.obj);
    EXPECT_EQ(room.big.obj.refcount, 2);
    tree.RemoveAll();
    EXPECT_FALSE(tree.TreeMade);
    EXPECT_EQ(tree.pTop, nullptr);
    EXPECT_TRUE(tree.CollCuboids.IsEmpty());
    for (Ball* b : {&room.big, &room.right, &room.middle, &room.leftSmall, &room.rightSmall, &pending})
        EXPECT_EQ(b->obj.refcount, 0);
}

TEST_F(DynBsp, DumpPrintsEachLevelOneBlankDeeper)
{
    Ball& a = MakeBall(VectorPos(0, 0, 0), 1);
    Ball& b = MakeBall(VectorPos(3, 0, 0), 1);
    Ball& c = MakeBall(VectorPos(3, 0, 0), 0.5f);
    Add(a.obj);
    Add(b.obj);
    Add(c.obj);
    tree.MakeTree();
    console::ClearConsoleText();
    tree.Dump();
    std::string text = console::ConsoleText();
    EXPECT_EQ(text.find("----- BSP DUMP -----\n"), 0u);
    // Root split at x = 1.5 between a and b; c went to b's side.
    EXPECT_NE(text.find("\n(-1.000000,-1.000000,-1.000000)->(1.500000,1.000000,1.000000)\n"), std::string::npos);
    EXPECT_NE(text.find("\n(1.500000,-1.000000,-1.000000)->(4.000000,1.000000,1.000000)\n"
                        " (1.500000,-1.000000,-1.000000)->(4.000000,1.000000,1.000000)\n"),
              std::string::npos);
}

TEST_F(DynBsp, ListTestsAndOffset)
{
    Ball& a = MakeBall(VectorPos(0, 0, 0), 1, ID_MOVER);
    Ball& b = MakeBall(VectorPos(5, 0, 0), 1, ID_STATIC);
    CollCuboidList la, lb;
    la.AddObject(&a.obj, &a.obj, a.obj.mat);
    lb.AddObject(&b.obj, &b.obj, b.obj.mat);
    EXPECT_EQ(la.Test(&lb), 0);
    EXPECT_TRUE(Contacts().empty());

    // Moving a's box (and its matrix) onto b.
    la.Offset(VectorDir(4.5f, 0, 0));
    EXPECT_FLOAT_EQ(la.Head()->cuboid.min[0], 3.5f);
    EXPECT_FLOAT_EQ(la.Head()->mat.w[0], 4.5f);
    EXPECT_EQ(la.Test(&lb), 0);
    EXPECT_EQ(CountFor(&a.obj), 1);
    EXPECT_EQ(CountFor(&b.obj), 1);

    // Against a tree holding b.
    Contacts().clear();
    lb.AddObject(&b.obj, &b.obj, b.obj.mat);
    tree.CollCuboids.AddObject(&b.obj, &b.obj, b.obj.mat);
    tree.MakeTree();
    b.obj.reply = -1;
    EXPECT_EQ(la.Test(&tree), 2);   // b answered negatively
    la.DeleteAll();
    lb.DeleteAll();
}

}  // namespace
