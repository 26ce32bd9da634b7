#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "ee/console_out.h"

#include "ZevEngine2/object_support.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Object.h"

using objtest::HeapFree;
using objtest::Log;
using objtest::Probe;

namespace {

class ObjectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Log().clear();
        console::ClearConsoleText();
        heapBefore = HeapFree();
    }
    void TearDown() override { EXPECT_FALSE(objtest::SawBadFree()); }

    unsigned heapBefore = 0;
};

// ---------------------------------------------------------------------------
// Lifetime

TEST_F(ObjectTest, DeletedWhileInTwoListsIsDeadAtOnceAndFreedAtSecondRelease)
{
    {
        ObjectList first, second;
        Probe* p = new Probe;
        first.AddTail(p);
        second.AddTail(p);
        EXPECT_EQ(p->refcount, 2);

        p->Delete();
        EXPECT_TRUE(p->IsDead());
        EXPECT_EQ(p->messagehandler, nullptr);
        EXPECT_EQ((void*)p->geom, (void*)p);   // the storage's address, for the last release
        EXPECT_TRUE(mal.IsAllocated(p));

        first.Clean();
        EXPECT_TRUE(first.IsEmpty());
        EXPECT_TRUE(mal.IsAllocated(p));   // the second list still holds it
        EXPECT_TRUE(p->IsDead());          // and its flags are still readable
        EXPECT_FALSE(second.IsEmpty());

        second.Clean();
        EXPECT_TRUE(second.IsEmpty());
        EXPECT_FALSE(mal.IsAllocated(p));
    }
    EXPECT_EQ(HeapFree(), heapBefore);
}

TEST_F(ObjectTest, DeletedWhileUnlistedIsFreedAtOnce)
{
    Probe* p = new Probe;
    ASSERT_TRUE(mal.IsAllocated(p));
    p->Delete();
    EXPECT_FALSE(mal.IsAllocated(p));
    EXPECT_EQ(objtest::CountHeard(OM_DIE), 1);
    EXPECT_EQ(HeapFree(), heapBefore);

    // A plain object without a handler runs Object's own deleting destructor.
    Object* plain = new Object;
    plain->Delete();
    EXPECT_FALSE(mal.IsAllocated(plain));
    EXPECT_EQ(HeapFree(), heapBefore);
}

// A class whose Object part does not start its storage: the release must free
// the storage's start, which only the deleting destructor knows.
struct Prefix
{
    int words[8];
};

class OffsetProbe : public Prefix, public Object
{
public:
    OffsetProbe() : Object(OffsetProbe_mh) {}
    static int OffsetProbe_mh(Object* obj, OBJMESSAGE msg, void*)
    {
        if (msg == OM_DIE)
            delete static_cast<OffsetProbe*>(obj);
        return 0;
    }
};

TEST_F(ObjectTest, ReleaseFreesTheStorageStartOfAnOffsetObjectPart)
{
    OffsetProbe* op = new OffsetProbe;
    Object* asObject = op;
    void* storage = op;
    ASSERT_NE((void*)asObject, storage);
    {
        ObjectList list;
        list.AddTail(asObject);
        asObject->Delete();
        EXPECT_EQ(deletingobject, asObject);
        EXPECT_EQ((void*)asObject->geom, storage);
        EXPECT_TRUE(mal.IsAllocated(storage));
        list.RemoveAll();
        EXPECT_FALSE(mal.IsAllocated(storage));
    }
    EXPECT_EQ(HeapFree(), heapBefore);
}

TEST_F(ObjectTest, DeleteOfADeadObjectDoesNothing)
{
    ObjectList list;
    Probe* p = new Probe;
    list.AddTail(p);
    p->Delete();
    p->Delete();   // dead: no second destruction, no second release
    EXPECT_EQ(objtest::CountHeard(OM_DIE), 1);
    EXPECT_EQ(p->refcount, 0);   // the list's hold only: the next release frees
    EXPECT_TRUE(mal.IsAllocated(p));
    list.RemoveAll();
    EXPECT_FALSE(mal.IsAllocated(p));
    EXPECT_EQ(HeapFree(), heapBefore);
}

TEST_F(ObjectTest, DeletingAParentDeletesDescendantsDepthFirst)
{
    Probe* root = new Probe;
    Probe* c1 = new Probe;
    Probe* g = new Probe;
    Probe* c2 = new Probe;
    root->Attach(c1);
    root->Attach(c2);
    c1->Attach(g);

    root->Delete();
    std::vector<Object*> died;
    for (const objtest::Heard& h : Log())
    {
        if (h.msg == OM_DIE)
            died.push_back(h.obj);
    }
    // The grandchild goes through its parent's destructor before the next child.
    EXPECT_EQ(died, (std::vector<Object*>{root, c1, g, c2}));
    EXPECT_EQ(HeapFree(), heapBefore);
}

TEST_F(ObjectTest, SendMessageUpAnswersFromTheFirstHandlerWithThatObject)
{
    Probe parent;
    Object child;
    Object grandchild;
    parent.Attach(&child);
    child.Attach(&grandchild);
    parent.initReply = 7;

    int data = 0;
    EXPECT_EQ(grandchild.SendMessageUp(OM_INIT, &data), 7);
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].obj, &parent);
    EXPECT_EQ(Log()[0].data, &data);

    // No handler up to the root: 0, and nothing is called.
    Object lone;
    EXPECT_EQ(lone.SendMessageUp(OM_INIT, nullptr), 0);
    EXPECT_EQ(lone.SendMessage(OM_INIT, nullptr), 0);
    EXPECT_EQ(Log().size(), 1u);

    child.Detach();
    grandchild.Detach();
}

// A kind in the registry: OM_CREATE reaches the handler with the creation
// context in place of the object.
class Widget : public Object
{
public:
    Widget() : Object(Widget_mh) {}
    static int Widget_mh(Object* obj, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_CREATE)
        {
            Widget* w = new Widget;
            if (w != nullptr)
                w->context = obj;
            return (int)(intptr_t)w;
        }
        return static_cast<Widget*>(obj)->mh(msg, data);
    }
    int mh(OBJMESSAGE msg, void*)
    {
        if (msg == OM_DIE)
            delete this;
        return 0;
    }
    void* context = nullptr;
};

Name widgetName("ObjectTestWidget", (int)(intptr_t)Widget::Widget_mh);

TEST_F(ObjectTest, KindsAreCreatedByNameThroughOM_CREATE)
{
    auto handler = (OBJMESSAGEHANDLER)(intptr_t)Name::Find("ObjectTestWidget");
    ASSERT_NE(handler, nullptr);
    int fakeModelFile = 0;
    Object* obj = (Object*)(intptr_t)handler((Object*)(void*)&fakeModelFile, OM_CREATE, nullptr);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->messagehandler, Widget::Widget_mh);
    EXPECT_EQ(static_cast<Widget*>(obj)->context, (void*)&fakeModelFile);
    EXPECT_EQ(obj->flags, 0u);
    EXPECT_EQ(obj->refcount, 0);
    EXPECT_EQ(obj->parent, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(obj) % 16, 0u);   // matrices need 16-byte alignment
    obj->Delete();
    EXPECT_EQ(HeapFree(), heapBefore);
}

TEST_F(ObjectTest, CountedReferencesFollowAssignment)
{
    Probe* a = new Probe;
    Probe* b = new Probe;
    {
        RCptr<Object> r1(a);
        RCptr<Object> r2;
        r2 = r1;
        EXPECT_EQ(a->refcount, 2);
        r2 = b;
        EXPECT_EQ(a->refcount, 1);
        EXPECT_EQ(b->refcount, 1);
        r2 = r2;   // self-assignment keeps the count
        EXPECT_EQ(b->refcount, 1);
        EXPECT_EQ(r1->refcount, 1);
        EXPECT_EQ(&*r1, a);

        a->Delete();   // held by r1: storage kept
        EXPECT_TRUE(mal.IsAllocated(a));
        r1 = nullptr;  // the last reference frees it
        EXPECT_FALSE(mal.IsAllocated(a));
    }
    EXPECT_EQ(b->refcount, 0);
    b->Delete();
    EXPECT_EQ(HeapFree(), heapBefore);
}

TEST_F(ObjectTest, ReleasingAnUncountedLiveObjectIsReportedNotFreed)
{
    Probe* p = new Probe;
    ReleaseObjectRef(p);
    EXPECT_EQ(p->refcount, 0);
    EXPECT_TRUE(mal.IsAllocated(p));
    EXPECT_NE(console::ConsoleText().find("reference released twice"), std::string::npos);
    p->Delete();
    EXPECT_EQ(HeapFree(), heapBefore);
}

// ---------------------------------------------------------------------------
// Tree

MATCHER_P2(NearVec, expected, tol, "")
{
    for (int i = 0; i < 3; i++)
    {
        if (std::fabs(arg[i] - expected[i]) > tol)
            return false;
    }
    return true;
}

TEST(ObjectTree, AttachAppendsAndAttachQPrepends)
{
    Object root, a, b, c;
    root.Attach(&a);
    root.Attach(&b);
    root.AttachQ(&c);
    EXPECT_EQ(root.child, &c);
    EXPECT_EQ(c.sibling, &a);
    EXPECT_EQ(a.sibling, &b);
    EXPECT_EQ(b.sibling, nullptr);
    EXPECT_EQ(a.parent, &root);
    EXPECT_EQ(c.GetRoot(), &root);

    EXPECT_EQ(a.Detach(), &a);
    EXPECT_EQ(c.sibling, &b);
    EXPECT_EQ(a.parent, nullptr);
    EXPECT_EQ(a.sibling, nullptr);
    c.Detach();
    EXPECT_EQ(root.child, &b);
    b.Detach();
    EXPECT_EQ(root.child, nullptr);
}

TEST(ObjectTree, DetachLeavesRootsAndDeadObjectsAlone)
{
    Object root, a, b;
    root.Attach(&a);
    root.Attach(&b);
    EXPECT_EQ(root.Detach(), &root);
    EXPECT_EQ(root.child, &a);

    a.flags |= OBJF_DEAD;
    a.Detach();
    EXPECT_EQ(a.parent, &root);
    EXPECT_EQ(root.child, &a);
    a.flags &= ~OBJF_DEAD;
    a.Detach();
    b.Detach();
}

TEST(ObjectTree, WorldTransformsComposeNearestFirst)
{
    Object parent, child;
    parent.mat = RotY(1.5707964f);
    parent.mat.w = Vector(10, 0, 0, 1);
    child.mat = Matrix(true);
    child.mat.w = Vector(1, 0, 0, 1);
    parent.Attach(&child);

    // RotY turns x toward -z: (1, 0, 0) lands at (0, 0, -1), then moves by 10 in x.
    EXPECT_THAT(child.GetWorldPos(), NearVec(VectorPos(10, 0, -1), 1e-5f));
    EXPECT_THAT(child.GetWorldMatrix().GetTrans(), NearVec(VectorPos(10, 0, -1), 1e-5f));
    EXPECT_THAT(VectorXYZ(child.GetWorldMatrix().x.v), NearVec(VectorXYZ(0, 0, -1), 1e-5f));

    // Relative to the parent: the object's own matrix; to nothing: the world.
    Matrix rel = child.GetRelativeMatrix(&parent);
    for (int r = 0; r < 4; r++)
        EXPECT_EQ(rel[r], child.mat[r]);
    EXPECT_THAT(child.GetRelativePos(&parent), NearVec(VectorPos(1, 0, 0), 0));
    Matrix world = child.GetWorldMatrix();
    Matrix relNull = child.GetRelativeMatrix(nullptr);
    for (int r = 0; r < 4; r++)
        EXPECT_EQ(relNull[r], world[r]);

    // DetachW keeps the world place.
    child.DetachW();
    EXPECT_THAT(child.Pos(), NearVec(VectorPos(10, 0, -1), 1e-5f));
}

TEST(ObjectTree, RelativeToANonAncestorIsInItsFrame)
{
    Object a, b;
    a.mat = Matrix(true);
    a.mat.w = Vector(5, 0, 0, 1);
    b.mat = RotY(1.5707964f);   // axes x = (0, 0, -1), z = (1, 0, 0)
    b.mat.w = Vector(1, 0, 0, 1);

    // The offset (4, 0, 0) in b's axes: along b's z.
    EXPECT_THAT(a.GetRelativePos(&b), NearVec(VectorPos(0, 0, 4), 1e-5f));
    EXPECT_THAT(a.GetRelativeMatrix(&b).GetTrans(), NearVec(VectorPos(0, 0, 4), 1e-5f));
}

TEST(ObjectTree, FindSubObjectSearchesLaterSiblingsBeforeChildrenAndNeverSelf)
{
    Object root, c1, g1, c2;
    root.id = 9;
    c1.id = 1;
    g1.id = 9;
    c2.id = 9;
    root.Attach(&c1);
    root.Attach(&c2);
    c1.Attach(&g1);

    EXPECT_EQ(root.FindSubObject(9), &c2);
    EXPECT_EQ(root.FindSubObject(1), &c1);
    EXPECT_EQ(c1.FindSubObject(1), nullptr);   // its own id does not count
    EXPECT_EQ(c1.FindSubObject(9), &g1);
    EXPECT_EQ(root.FindSubObject(42), nullptr);

    g1.Detach();
    c1.Detach();
    c2.Detach();
}

TEST(ObjectTree, TurnTowardSnapsWithinItsLimit)
{
    Object o;
    o.mat = Matrix(true);
    o.mat.w = Vector(3, 4, 5, 1);
    VectorDir near(0.1f, 0, 1);   // about 0.0997 rad off the z axis
    EXPECT_TRUE(o.TurnToward(near, 0.2f));
    VectorDir dir = Normalise(near);
    EXPECT_THAT(VectorXYZ(o.mat.z.v), NearVec(dir, 1e-5f));
    EXPECT_NEAR(Dot(VectorXYZ(o.mat.x.v), dir), 0.0f, 1e-5f);
    EXPECT_EQ(o.mat.w, Vector(3, 4, 5, 1));
}

TEST(ObjectTree, TurnTowardStepsBeyondItsLimit)
{
    for (float side : {1.0f, -1.0f})
    {
        Object o;
        o.mat = Matrix(true);
        o.mat.w = Vector(3, 4, 5, 1);
        EXPECT_FALSE(o.TurnToward(VectorDir(side, 0, 0), 0.1f));
        VectorXYZ z(o.mat.z.v);
        // Turned toward the target side by atan(sin 0.1), about 0.0998 rad.
        EXPECT_NEAR(std::atan2(z[0], z[2]), side * std::atan(std::sin(0.1f)), 1e-4f);
        EXPECT_NEAR(z.Length(), 1.0f, 1e-5f);
        EXPECT_EQ(o.mat.w, Vector(3, 4, 5, 1));
    }
}

TEST(ObjectTree, CalcRadiusCoversCollisionAndChildren)
{
    CollSphereEnd sphere(0x0101, Sphere(3, 4, 0, 1));
    CollBoxEnd box(0x0101, Cuboid{VectorPos(-1, -1, -1), VectorPos(1, 1, 1)});
    Object root, child;
    root.collision = sphere.Chain();
    child.collision = box.Chain();
    child.mat = Matrix(true);
    child.mat.w = Vector(2, 0, 0, 1);
    root.Attach(&child);

    EXPECT_FLOAT_EQ(root.CalcRadius(), 6.0f);   // the sphere: |(3, 4, 0)| + 1
    EXPECT_FLOAT_EQ(child.radius, std::sqrt(3.0f));

    child.mat.w = Vector(10, 0, 0, 1);
    EXPECT_FLOAT_EQ(root.CalcRadius(), 10 + std::sqrt(3.0f));
    EXPECT_FLOAT_EQ(root.radius, 10 + std::sqrt(3.0f));
    child.Detach();
}

TEST(ObjectTree, FlagsAndCollisionMarksSpreadOverTheTree)
{
    CollBoxEnd box(0x0201, Cuboid{VectorPos(-1, -1, -1), VectorPos(1, 1, 1)});
    Object root, a, b, g;
    root.Attach(&a);
    root.Attach(&b);
    a.Attach(&g);
    g.collision = box.Chain();

    root.ModifyFlagsHierarchy(0x1 | 0x40, 0x40);
    for (Object* o : {&root, &a, &b, &g})
        EXPECT_EQ(o->flags, 0x1u);

    EXPECT_TRUE(root.InitialiseChildCollisions());
    EXPECT_TRUE(root.flags & OBJF_CHILDCOLLISION);
    EXPECT_TRUE(a.flags & OBJF_CHILDCOLLISION);
    EXPECT_FALSE(b.flags & OBJF_CHILDCOLLISION);
    EXPECT_FALSE(g.flags & OBJF_CHILDCOLLISION);   // it has its own chain, no colliding children

    // Without a chain of its own, the mask is the children's.
    EXPECT_EQ(root.GetCollisionMask(), 0x0201);
    root.ModifyCollisionMaskHierarchy(0x0400, 0x0001);
    EXPECT_EQ(box.box.id, 0x0600);
    EXPECT_EQ(root.GetCollisionMask(), 0x0600);

    g.Detach();
    a.Detach();
    b.Detach();
}

TEST(ObjectTree, CollisionBelow4096IsAnIndexIntoTheModelFile)
{
    Object o;
    o.collision = (COLLISION*)(uintptr_t)1;
    EXPECT_EQ(o.GetCollision(), nullptr);   // no model file: no chain
    EXPECT_FALSE(o.HasCollision());
    o.collision = (COLLISION*)(uintptr_t)4095;
    EXPECT_EQ(o.GetCollision(), nullptr);
    o.collision = (COLLISION*)(uintptr_t)4096;   // an address
    EXPECT_EQ(o.GetCollision(), (COLLISION*)(uintptr_t)4096);
    o.collision = nullptr;
}

// ---------------------------------------------------------------------------
// Hierarchy walks

std::vector<Object*> Walk(Object* root, ObjectHierarchyIterator::WALK how)
{
    std::vector<Object*> seen;
    ObjectHierarchyIterator it(root, how);
    while (Object* o = it.Next())
        seen.push_back(o);
    return seen;
}

struct SmallTree
{
    // root
    //   a       (children g1, g2)
    //   b       (child h)
    //   c
    Object root, a, b, c, g1, g2, h;
    SmallTree()
    {
        root.Attach(&a);
        root.Attach(&b);
        root.Attach(&c);
        a.Attach(&g1);
        a.Attach(&g2);
        b.Attach(&h);
    }
    ~SmallTree()
    {
        for (Object* o : {&g1, &g2, &h, &a, &b, &c})
            o->Detach();
    }
};

TEST(ObjectHierarchyIterator, VisitsChildrenBeforeLaterSiblings)
{
    SmallTree t;
    EXPECT_EQ(Walk(&t.root, ObjectHierarchyIterator::SKIP_SUBTREE),
              (std::vector<Object*>{&t.a, &t.g1, &t.g2, &t.b, &t.h, &t.c}));
}

TEST(ObjectHierarchyIterator, SelfAnimatingObjectsSkipTheSubTreeOrOnlyThemselves)
{
    SmallTree t;
    t.a.flags |= OBJF_SELFANIMATING;
    t.h.flags |= OBJF_SELFANIMATING;
    EXPECT_EQ(Walk(&t.root, ObjectHierarchyIterator::SKIP_SUBTREE), (std::vector<Object*>{&t.b, &t.c}));
    EXPECT_EQ(Walk(&t.root, ObjectHierarchyIterator::SKIP_OBJECT),
              (std::vector<Object*>{&t.g1, &t.g2, &t.b, &t.c}));
}

TEST(ObjectHierarchyIterator, PendingSiblingsBeyond32AreReportedNotOverrun)
{
    // A spine 40 deep whose every node also has a later sibling leaf: each
    // step down leaves one pending sibling.
    console::ClearConsoleText();
    std::vector<Object> spine(40), leaves(40);
    Object root;
    Object* parent = &root;
    for (int i = 0; i < 40; i++)
    {
        parent->Attach(&spine[i]);
        parent->Attach(&leaves[i]);
        parent = &spine[i];
    }
    std::vector<Object*> seen = Walk(&root, ObjectHierarchyIterator::SKIP_SUBTREE);
    // Every spine node; the last leaf, reached without the stack; and the 32
    // of the other 39 leaves that the stack could hold.
    EXPECT_EQ(seen.size(), 40u + 1u + 32u);
    EXPECT_NE(console::ConsoleText().find("more than 32 pending siblings"), std::string::npos);
    for (int i = 39; i >= 0; i--)
    {
        leaves[i].Detach();
        spine[i].Detach();
    }
}

}  // namespace
