#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ee/console_out.h"

#include "ZevEngine2/fresh_run.h"
#include "ZevEngine2/object_support.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Model.h"

using objtest::HeapFree;

namespace {

// Nodes, models and collisions held in memory as a fixed-up model file
// presents them; mf() wires the handle to them.
class NodeSet
{
public:
    // A model whose bounding sphere has the given centre and radius.
    int Model(float r, VectorPos centre = VectorPos(0, 0, 0), u16 flags = 0, Vector box = Vector(1, 2, 3, 0))
    {
        ModelRec rec = {};
        MODEL* m = (MODEL*)rec.bytes;
        m->flags = flags;
        m->sphere = Sphere(centre, r);
        m->boxextent = box;
        models.push_back(rec);
        return int(models.size()) - 1;
    }
    int Box(const Cuboid& c)
    {
        boxes.emplace_back(0x0101, c);
        return int(boxes.size()) - 1;
    }
    // Appends a node as the last child of parent (or the last root).
    int Node(u16 model, int parent, u16 extra = 0, VectorPos pos = VectorPos(0, 0, 0), u16 collision = 0xFFFF)
    {
        NODE n = {};
        n.model = model;
        n.collision = collision;
        n.animation = 0xFFFF;
        n.sibling = 0xFFFF;
        n.child = 0xFFFF;
        n.extra = extra;
        n.pos = Vector(pos, 0.0f);
        n.ang = Vector(0, 0, 0, 0);
        int index = int(nodes.size());
        nodes.push_back(n);
        int last = -1;
        if (parent >= 0)
        {
            if (nodes[parent].child == 0xFFFF)
                nodes[parent].child = u16(index);
            else
                last = nodes[parent].child;
        }
        else if (index > 0)
        {
            last = 0;
        }
        if (last >= 0)
        {
            while (nodes[last].sibling != 0xFFFF)
                last = nodes[last].sibling;
            nodes[last].sibling = u16(index);
        }
        return index;
    }
    int Lod(u16 model, int parent, u16 dist = 0) { return Node(u16(model | NODETYPE_LOD << 12), parent, dist); }

    MDLFILE& mf()
    {
        modelPtrs.clear();
        for (ModelRec& r : models)
            modelPtrs.push_back((MODEL*)r.bytes);
        collPtrs.clear();
        for (CollBoxEnd& b : boxes)
            collPtrs.push_back(b.Chain());
        file = {};
        file.nodes = nodes.data();
        file.nNodes = s16(nodes.size());
        file.models = modelPtrs.data();
        file.nModels = s16(models.size());
        file.collisions = collPtrs.empty() ? nullptr : collPtrs.data();
        return file;
    }

    std::vector<NODE> nodes;

private:
    struct alignas(16) ModelRec
    {
        u8 bytes[80];
    };
    std::vector<ModelRec> models;
    std::vector<MODEL*> modelPtrs;
    std::vector<CollBoxEnd> boxes;
    std::vector<COLLISION*> collPtrs;
    MDLFILE file;
};

// Deletes a built object and its later siblings.
void DeleteAll(Object* o)
{
    while (o != nullptr)
    {
        Object* next = o->sibling;
        o->Delete();
        o = next;
    }
}

class Model : public ::testing::Test
{
protected:
    void SetUp() override
    {
        console::ClearConsoleText();
        heapBefore = HeapFree();
    }
    void TearDown() override
    {
        EXPECT_EQ(HeapFree(), heapBefore) << "the test left heap or pool memory behind";
        EXPECT_FALSE(objtest::SawBadFree());
    }
    unsigned heapBefore = 0;
};

// ---------------------------------------------------------------------------
// Levels of detail

// A base model of radius r with three level nodes below it (models 1, 2, 3),
// the second with switch distance secondExtra.
GEOMETRY* LodChain(NodeSet& s, float r, VectorPos centre, u16 secondExtra = 0)
{
    s.Model(r, centre);
    s.Model(1);
    s.Model(1);
    s.Model(1);
    int root = s.Node(0, -1);
    int l1 = s.Lod(1, root);
    int l2 = s.Lod(2, l1, secondExtra);
    s.Lod(3, l2);
    MDLFILE& mf = s.mf();
    GEOMETRY* g = new GEOMETRY(&mf, 0);
    g->SetLowRes(&mf, root, 0.0f);
    return g;
}

std::vector<float> Distances(GEOMETRY0* g)
{
    std::vector<float> d;
    for (; g != nullptr; g = g->lowresgeom)
    {
        d.push_back(g->lowresdist);
        if (g->lowresgeom == g)
            break;
    }
    return d;
}

TEST_F(Model, LevelsSwitchAtTenTimesASmallRadiusDoublingLevelByLevel)
{
    NodeSet s;
    GEOMETRY* g = LodChain(s, 4.0f, VectorPos(0, 0, 0));
    EXPECT_EQ(Distances(g), (std::vector<float>{40, 80, 160, 0}));
    EXPECT_EQ(g->GetLowRes(39.0f), g);
    EXPECT_EQ(g->GetLowRes(40.0f), g);   // drawn up to and at its distance
    EXPECT_EQ(g->GetLowRes(41.0f)->index, 1);
    EXPECT_EQ(g->GetLowRes(100.0f)->index, 2);
    EXPECT_EQ(g->GetLowRes(1e6f)->index, 3);
    delete g;
}

TEST_F(Model, LevelsSwitchAtFiveTimesALargeRadiusCountingTheSphereCentre)
{
    NodeSet s;
    // |centre| 5 and radius 0: R = 5.
    GEOMETRY* g = LodChain(s, 0.0f, VectorPos(3, 4, 0));
    EXPECT_FLOAT_EQ(g->Radius(), 5.0f);
    EXPECT_EQ(Distances(g), (std::vector<float>{25, 50, 100, 0}));
    delete g;
}

TEST_F(Model, ALevelNodeDistanceOverridesWhileTheDefaultKeepsDoubling)
{
    NodeSet s;
    GEOMETRY* g = LodChain(s, 4.0f, VectorPos(0, 0, 0), 300);
    EXPECT_EQ(Distances(g), (std::vector<float>{40, 300, 160, 0}));
    delete g;

    NodeSet o;
    o.Model(4);
    o.Model(1);
    int root = o.Node(0, -1);
    o.Lod(1, root);
    MDLFILE& mf = o.mf();
    GEOMETRY* h = new GEOMETRY(&mf, 0);
    h->SetLowRes(&mf, root, 12.0f);   // an override replaces the default
    EXPECT_EQ(Distances(h), (std::vector<float>{12, 0}));
    delete h;
}

TEST_F(Model, NothingIsDrawnBeyondALevelWithoutAModel)
{
    NodeSet s;
    s.Model(4);
    int root = s.Node(0, -1);
    s.Lod(0x700, root);
    MDLFILE& mf = s.mf();
    GEOMETRY* g = new GEOMETRY(&mf, 0);
    g->SetLowRes(&mf, root, 0.0f);
    EXPECT_EQ(g->lowresgeom, nullptr);
    EXPECT_EQ(g->GetLowRes(40.0f), g);
    EXPECT_EQ(g->GetLowRes(40.5f), nullptr);
    delete g;
}

TEST_F(Model, ALevelWithTheSameModelGoesOnAtAnyDepth)
{
    NodeSet s;
    s.Model(4);
    int root = s.Node(0, -1);
    s.Lod(0, root);   // the base model again
    MDLFILE& mf = s.mf();
    GEOMETRY* g = new GEOMETRY(&mf, 0);
    g->SetLowRes(&mf, root, 0.0f);
    EXPECT_EQ(g->lowresgeom, g);
    EXPECT_EQ(g->GetLowRes(1e9f), g);   // and does not loop
    delete g;   // stops at the level pointing at itself
}

TEST_F(Model, RebuildingTheChainFreesTheOldLevels)
{
    NodeSet s;
    GEOMETRY* g = LodChain(s, 4.0f, VectorPos(0, 0, 0));
    MDLFILE& mf = s.mf();
    unsigned withOneChain = HeapFree();
    for (int i = 0; i < 300; i++)
        g->SetLowRes(&mf, 0, 0.0f);
    EXPECT_EQ(HeapFree(), withOneChain);
    delete g;
}

TEST_F(Model, SetLowresGeomHierarchyCanPassTheParentsDistanceDown)
{
    NodeSet s;
    s.Model(4);   // parent: first switch at 40
    s.Model(1);   // child: first switch at 10 by default
    s.Model(1);
    int root = s.Node(0, -1);
    s.Lod(2, root);
    int child = s.Node(1, root);
    s.Lod(2, child);
    MDLFILE& mf = s.mf();
    Object* o = mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(o, nullptr);
    ASSERT_NE(o->child, nullptr);

    o->SetLowresGeomHierarchy(true);
    EXPECT_EQ(o->geom->lowresdist, 40.0f);
    EXPECT_EQ(o->child->geom->lowresdist, 40.0f);
    o->SetLowresGeomHierarchy(false);
    EXPECT_EQ(o->child->geom->lowresdist, 10.0f);
    o->SetLowresGeomHierarchy(25.0f);
    EXPECT_EQ(o->geom->lowresdist, 25.0f);
    EXPECT_EQ(o->child->geom->lowresdist, 25.0f);

    Object plain;
    EXPECT_FALSE(plain.SetLowresGeom(0.0f));
    o->Delete();
}

// ---------------------------------------------------------------------------
// Objects from nodes

TEST_F(Model, GetHierarchyBuildsTheTreeWithLinksIdsAndRadius)
{
    NodeSet s;
    s.Model(2);   // model 0: radius 2
    s.Model(1);   // model 1: radius 1
    int box = s.Box(Cuboid(VectorPos(-1, -2, -3), VectorPos(1, 2, 3)));
    int root = s.Node(0, -1, 11, VectorPos(5, 0, 0), u16(box));
    int c1 = s.Node(1, root, 12, VectorPos(0, 10, 0));
    int c2 = s.Node(0x700, root, 13, VectorPos(0, 0, 1));
    s.Node(1, c1, 14);
    MDLFILE& mf = s.mf();

    Object* o = mf.GetHierarchy(u16(root), 128, 0);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->index, root);
    EXPECT_EQ(o->id, 11);
    EXPECT_EQ(o->mdlfile, &mf);
    EXPECT_EQ(o->Pos(), VectorPos(5, 0, 0));
    ASSERT_NE(o->geom, nullptr);
    EXPECT_EQ(o->geom->index, 0);
    EXPECT_EQ(o->geom->pparams, o->geom->params);
    EXPECT_EQ((uintptr_t)o->collision, uintptr_t(box + 1));
    EXPECT_EQ(o->GetCollision(), mf.collisions[box]);

    Object* a = o->child;
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->sibling, nullptr);
    Object* b = a->sibling;
    EXPECT_EQ(a->id, 12);
    EXPECT_EQ(b->id, 13);
    EXPECT_EQ(b->index, c2);
    EXPECT_EQ(b->geom, nullptr);
    EXPECT_EQ(a->parent, o);
    EXPECT_EQ(b->parent, o);
    ASSERT_NE(a->child, nullptr);
    EXPECT_EQ(a->child->id, 14);
    EXPECT_EQ(a->child->parent, a);

    // Radii: a covers its child at its origin (1); b has nothing (0); o its
    // model (2), its box (|(1,2,3)|) and a at 10 with radius 1.
    EXPECT_FLOAT_EQ(a->radius, 1.0f);
    EXPECT_FLOAT_EQ(b->radius, 0.0f);
    EXPECT_FLOAT_EQ(o->radius, 11.0f);
    o->Delete();
}

// A marker (a node type the file check does not hold to the model table)
// whose number lies past the table: an object made of it, as a car makes its
// wheels of their mount nodes, has no model; one message says so.
TEST_F(Model, MarkerNodesNamingNoModelOfTheFileMakeObjectsWithoutOne)
{
    NodeSet s;
    s.Model(1);
    const int mount = s.Node(u16(0x8000 | 3), -1, 1);   // type 8, model 3 of 1
    const int drawn = s.Node(u16(0x8000 | 0), -1, 2);   // type 8, model 0: there
    MDLFILE& mf = s.mf();

    Object wheel;
    mf.GetHierarchyTo(&wheel, u16(mount), 0);
    EXPECT_EQ(wheel.geom, nullptr);
    EXPECT_EQ(wheel.index, mount);
    Object* debris = mf.ObjectFromNode(&mf.nodes[mount], sizeof(Object));
    ASSERT_NE(debris, nullptr);
    EXPECT_EQ(debris->geom, nullptr);
    EXPECT_FLOAT_EQ(debris->radius, 0.0f);
    debris->Delete();
    EXPECT_PRINTED_IN_FRESH_RUN("Model: node 0 names model 3 of 1; its object is made without one\n", 1);

    Object other;
    mf.GetHierarchyTo(&other, u16(drawn), 0);
    ASSERT_NE(other.geom, nullptr);
    EXPECT_EQ(other.geom->index, 0);
    DeleteGeometry(other.geom);
    other.geom = nullptr;
}

TEST_F(Model, TheRootsSiblingsAreBuiltOnlyWhenAsked)
{
    NodeSet s;
    s.Model(1);
    s.Node(0, -1, 1);
    s.Node(0, -1, 2);
    MDLFILE& mf = s.mf();
    Object* alone = mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(alone->sibling, nullptr);
    alone->Delete();

    Object* both = mf.GetHierarchy(0, sizeof(Object), GH_SIBLINGS);
    ASSERT_NE(both, nullptr);
    ASSERT_NE(both->sibling, nullptr);
    EXPECT_EQ(both->sibling->id, 2);
    DeleteAll(both);
}

TEST_F(Model, ARootThatIsNotAnObjectYieldsItsFirstEligibleSibling)
{
    NodeSet s;
    s.Model(1);
    s.Node(u16(0x8000 | 0), -1, 1);   // node type 8: not an object
    s.Node(u16(NODETYPE_LOD << 12), -1, 2);
    s.Node(0, -1, 3);
    MDLFILE& mf = s.mf();
    EXPECT_EQ(mf.GetHierarchy(0, 144, 0), nullptr);
    Object* o = mf.GetHierarchy(0, 144, GH_SIBLINGS);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->id, 3);
    EXPECT_GE(((MallocRec*)((u8*)o - 8))->size & MALLOC_SIZEMASK, 144u + 8);
    EXPECT_EQ(o->sibling, nullptr);
    DeleteAll(o);
}

TEST_F(Model, ABoneNodeMakesABoneOfAtLeast176Bytes)
{
    NodeSet s;
    s.Model(1);
    int root = s.Node(MDL_BONE, -1, 1);
    MDLFILE& mf = s.mf();
    Object* o = mf.GetHierarchy(u16(root), sizeof(Object), 0);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->type, OBJT_BONE);
    EXPECT_EQ(o->geom, nullptr);
    EXPECT_GE(((MallocRec*)((u8*)o - 8))->size & MALLOC_SIZEMASK, u32(sizeof(BoneObject)) + 8);
    o->Delete();
}

TEST_F(Model, SkinnedModelsGetTheirBonesRestInverse)
{
    NodeSet s;
    s.Model(1, VectorPos(0, 0, 0), MDL_SKINNED);
    int root = s.Node(0, -1);
    int b1 = s.Node(MDL_BONE, root, 1, VectorPos(0, 1, 0));
    s.nodes[b1].ang = Vector(0.3f, 0, 0, 0);
    int b2 = s.Node(MDL_BONE, b1, 2, VectorPos(0, 2, 0));
    s.nodes[b2].ang = Vector(0, 0.5f, 0, 0);
    MDLFILE& mf = s.mf();
    Object* o = mf.GetHierarchy(u16(root), sizeof(Object), 0);
    ASSERT_NE(o, nullptr);
    BoneObject* bone1 = (BoneObject*)o->child;
    BoneObject* bone2 = (BoneObject*)bone1->child;
    ASSERT_NE(bone2, nullptr);
    // The inverse of each bone's rest matrix in model space.
    Matrix rest2 = s.nodes[b2].GetMatrix() * s.nodes[b1].GetMatrix();
    Matrix id2 = rest2 * bone2->invinitmat;
    Matrix id1 = s.nodes[b1].GetMatrix() * bone1->invinitmat;
    Matrix one(true);
    for (int r = 0; r < 4; r++)
    {
        for (int c = 0; c < 4; c++)
        {
            EXPECT_NEAR(id1[r][c], one[r][c], 1e-5f);
            EXPECT_NEAR(id2[r][c], one[r][c], 1e-5f);
        }
    }
    o->Delete();
}

TEST_F(Model, GetHierarchyToRedressesAnObject)
{
    NodeSet s;
    s.Model(2);
    s.Model(3);
    int box = s.Box(Cuboid(VectorPos(-4, 0, 0), VectorPos(4, 0, 0)));
    int a = s.Node(0, -1, 1);
    int b = s.Node(1, -1, 2, VectorPos(7, 0, 0), u16(box));
    s.Node(0, b, 3, VectorPos(0, 10, 0));
    MDLFILE& mf = s.mf();
    Object* o = mf.GetHierarchy(u16(a), sizeof(Object), 0);
    ASSERT_NE(o, nullptr);
    o->id = 42;
    mf.GetHierarchyTo(o, u16(b), GH_NODEMATRIX);
    EXPECT_EQ(o->geom->index, 1);
    EXPECT_EQ(o->index, b);
    EXPECT_EQ(o->id, 42);   // kept
    EXPECT_EQ((uintptr_t)o->collision, uintptr_t(box + 1));
    EXPECT_EQ(o->Pos(), VectorPos(7, 0, 0));
    ASSERT_NE(o->child, nullptr);
    EXPECT_EQ(o->child->parent, o);
    EXPECT_FLOAT_EQ(o->radius, 12.0f);   // max(3, 4, 10 + 2)

    // The children of the previous dressing are left to the caller.
    Object* oldChild = o->child;
    mf.GetHierarchyTo(o, u16(a), GH_NOCHILDREN);
    EXPECT_EQ(o->child, nullptr);
    EXPECT_EQ(o->collision, nullptr);   // 0xFFFF + 1 wraps to none
    EXPECT_FLOAT_EQ(o->radius, 2.0f);
    oldChild->parent = nullptr;
    oldChild->Delete();
    o->Delete();
}

TEST_F(Model, AnIndexOutsideTheNodesBuildsNothing)
{
    NodeSet s;
    s.Model(1);
    s.Node(0, -1);
    MDLFILE& mf = s.mf();
    EXPECT_EQ(mf.GetHierarchy(5, sizeof(Object), 0), nullptr);
    MDLFILE empty = {};
    EXPECT_EQ(empty.GetHierarchy(0, sizeof(Object), 0), nullptr);
}

TEST_F(Model, AHierarchyCanBeAddedToTheWorld)
{
    NodeSet s;
    s.Model(1);
    int root = s.Node(0, -1, 5);
    s.Node(0, root, 6);
    MDLFILE& mf = s.mf();
    {
        World w;
        Object* o = mf.GetHierarchy(u16(root), sizeof(Object), 0);
        ASSERT_TRUE(w.AddObject(o, nullptr));
        EXPECT_EQ(w.Find(5), o);
        EXPECT_EQ(o->FindSubObject(6), o->child);
        w.Clear();
    }
}

// ---------------------------------------------------------------------------
// Searches

TEST_F(Model, NodeSearchesFollowSiblingChains)
{
    NodeSet s;
    s.Model(1);
    int root = s.Node(0, -1);
    int a = s.Node(0x700, root, 21);
    int b = s.Node(0x701, root, 22);
    int c = s.Node(0x702, root, 23);
    int special = s.Node(u16(0x704 | 15 << 12), root, 25);
    int deep = s.Node(0x703, b, 24);
    MDLFILE& mf = s.mf();

    EXPECT_EQ(mf.FindNode1(u16(a), 0x702), &mf.nodes[c]);
    EXPECT_EQ(mf.FindNode1(u16(c), 0x700), nullptr);   // starts at c, looks forward
    EXPECT_EQ(mf.FindNodeById1(u16(a), 22), &mf.nodes[b]);
    EXPECT_EQ(mf.FindNode(&mf.nodes[root], 0x702), &mf.nodes[c]);
    EXPECT_EQ(mf.FindSpecialIndex(root, 15), special);
    EXPECT_EQ(mf.FindSpecialIndex(root, 12), 0);

    MDLFILE none = {};   // no nodes at all: 0xFFFF must not touch them
    EXPECT_EQ(none.FindNode1(0xFFFF, 0), nullptr);
    EXPECT_EQ(none.FindNodeById1(0xFFFF, 0), nullptr);

    Object* o = mf.GetHierarchy(u16(root), sizeof(Object), 0);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->GetNode(), &mf.nodes[root]);
    EXPECT_EQ(o->FindNode(0x702), &mf.nodes[c]);
    EXPECT_EQ(o->FindNodeById(23), &mf.nodes[c]);
    EXPECT_EQ(o->FindSpecialIndex(15), special);
    NODE* found = nullptr;
    // Node 0x703 lies under b: found from the root, held by b's object.
    Object* holder = o->FindNodeHierarchy(0x703, found);
    EXPECT_EQ(found, &mf.nodes[deep]);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->index, b);
    EXPECT_EQ(o->FindNodeHierarchy(0x7AB, found), nullptr);
    EXPECT_EQ(found, nullptr);

    Object plain;
    EXPECT_EQ(plain.FindNode(0x700), nullptr);
    EXPECT_EQ(plain.FindSpecialIndex(15), 0);
    o->Delete();
}

TEST_F(Model, FindShadowsMarksEveryObjectWithAShadowAtOrBelowIt)
{
    NodeSet s;
    s.Model(1);
    int root = s.Node(0, -1);
    int a = s.Node(0, root);
    int b = s.Node(0, root);
    int a1 = s.Node(0, a);
    int top2 = s.Node(0, -1);
    s.nodes[a1].pos.setwcomponent(3);     // a shadow below a
    s.nodes[top2].pos.setwcomponent(1);   // the second root has one itself
    MDLFILE& mf = s.mf();
    Object* o = mf.GetHierarchy(0, sizeof(Object), GH_SIBLINGS);
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(o->FindShadows());
    Object* oa = o->child;
    Object* ob = oa->sibling;
    EXPECT_TRUE(o->flags & OBJF_SHADOW);
    EXPECT_TRUE(oa->flags & OBJF_SHADOW);
    EXPECT_TRUE(oa->child->flags & OBJF_SHADOW);
    EXPECT_FALSE(ob->flags & OBJF_SHADOW);
    EXPECT_TRUE(o->sibling->flags & OBJF_SHADOW);
    EXPECT_EQ(ob->index, b);
    DeleteAll(o);
}

// ---------------------------------------------------------------------------
// Tints, boxes and attaching

TEST_F(Model, SetTintSetReachesDescendantsAndOptionallySiblings)
{
    NodeSet s;
    s.Model(1);
    int root = s.Node(0, -1);
    s.Node(0, root);
    s.Node(0x700, root);   // no geometry: skipped
    s.Node(0, -1);
    MDLFILE& mf = s.mf();
    Object* o = mf.GetHierarchy(0, sizeof(Object), GH_SIBLINGS);
    ASSERT_NE(o, nullptr);
    SetTintSet(o, 3, true);
    EXPECT_EQ(o->geom->params[0], 3);
    EXPECT_EQ(o->child->geom->params[0], 3);
    EXPECT_EQ(o->sibling->geom->params[0], 0);
    SetTintSet(o, 5, false);
    EXPECT_EQ(o->sibling->geom->params[0], 5);
    SetTintSet(nullptr, 1, false);
    DeleteAll(o);
}

TEST_F(Model, BoxesComeFromTheModelTheCollisionBoxOrTheRadius)
{
    NodeSet s;
    s.Model(1, VectorPos(0, 1, 0), 0, Vector(2, 3, 4, 0));
    int box = s.Box(Cuboid(VectorPos(-1, -1, -1), VectorPos(1, 5, 1)));
    int withModel = s.Node(0, -1, 0, VectorPos(10, 0, 0));
    int withBox = s.Node(0x700, -1, 0, VectorPos(0, 0, 0), u16(box));
    s.Node(0x700, -1);
    MDLFILE& mf = s.mf();
    Object* o = mf.GetHierarchy(u16(withModel), sizeof(Object), GH_SIBLINGS);
    ASSERT_NE(o, nullptr);
    Object* ob = o->sibling;
    Object* bare = ob->sibling;
    ASSERT_EQ(ob->index, withBox);

    Cuboid raw = o->GetRawBox();
    EXPECT_EQ(raw.min, VectorPos(-2, -2, -4));
    EXPECT_EQ(raw.max, VectorPos(2, 4, 4));
    Cuboid world = o->GetBox();
    EXPECT_EQ(world.min, VectorPos(8, -2, -4));
    EXPECT_EQ(world.max, VectorPos(12, 4, 4));

    EXPECT_EQ(ob->GetRawBox().max, VectorPos(1, 5, 1));
    bare->radius = 2;
    bare->SetPos(VectorPos(0, 0, 7));
    EXPECT_EQ(bare->GetRawBox().min, VectorPos(-2, -2, -2));
    EXPECT_EQ(bare->GetBox().max, VectorPos(2, 2, 9));
    DeleteAll(o);
}

TEST_F(Model, AttachWithANodeTakesTheNodesMatrix)
{
    NodeSet s;
    int n = s.Node(0x700, -1, 0, VectorPos(1, 2, 3));
    s.nodes[n].ang = Vector(0, 1.0f, 0, 0);
    MDLFILE& mf = s.mf();
    Object parent;
    Object* first = new Object;
    Object* second = new Object;
    parent.Attach(first, &mf.nodes[n]);
    parent.AttachQ(second, &mf.nodes[n]);
    EXPECT_EQ(parent.child, second);
    EXPECT_EQ(second->sibling, first);
    Matrix m = mf.nodes[n].GetMatrix();
    EXPECT_EQ(first->mat.w, Vector(1, 2, 3, 1));
    EXPECT_EQ(second->mat.x, m.x);
    EXPECT_EQ(first->mat.z, RotY(1.0f).z);
    first->Detach();
    second->Detach();
    first->Delete();
    second->Delete();
}

}  // namespace
