// Broad phase for interiors: every collision shape of an object becomes a
// world-space axis-aligned box (CollCuboid).  The static props' boxes are put
// once into a binary partition of space (DynBspTree); each frame the moving
// objects' boxes are dropped through it and every overlapping pair of shapes
// gets the single-entry fine test of the contact walk.
//
// Box overlap is closed throughout: boxes that only touch overlap.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"

class DynBspTree;

// One shape of one object as a world box.  Both object references are
// counted.
class CollCuboid : public Small<ELink<CollCuboid>>
{
public:
    Matrix mat;               // world matrix of the shape's owner
    Cuboid cuboid;            // the world-space box
    RCptr<Object> pObject;    // the top-level object
    RCptr<Object> pPart;      // the object owning the shape (pObject or a descendant)
    COLLISION* pColl;         // the shape entry
    float volume;             // product of the box's side lengths
};
static_assert(sizeof(CollCuboid) == 128, "a broad-phase box fills one 128-byte pool block");

class CollCuboidList : public EList<CollCuboid>
{
public:
    CollCuboidList() : nCollCuboids(0) {}

    // Appends a box for each top-level entry of part's chain (a bounding
    // volume gets one box for itself; plane sets get none and are reported),
    // then, when part has children with collision, for theirs.  root is the
    // top-level object, m part's world matrix.
    void AddObject(Object* root, Object* part, const Matrix& m);

    // Every box of this list overlapping q (resp. every box of other, every
    // box of the tree) gets the fine test; the first non-zero result is
    // returned.
    int Test(CollCuboidList* other);
    int Test(DynBspTree* t);
    // Moves every box (and its matrix's translation) by d.
    void Offset(const VectorDir& d);

    int nCollCuboids;   // boxes added by AddObject

private:
    int Test(CollCuboid* q);
};

// A node of the partition: one region (nExtent 1, a leaf) or a region split
// in two (nExtent 2) with a subtree for each part, made when first needed.
// Boxes that straddle both parts stay at the node.  Nodes are 16-byte-aligned
// heap blocks.
class DynBspNode
{
public:
    DynBspNode(const Cuboid& region, CollCuboid* first);
    // Destroys the subtrees, then releases and frees the node's boxes.
    ~DynBspNode();

    // Files q at this node or below.
    void Recurse(CollCuboid* q);
    // Tests q against the boxes of this node and of every subtree whose
    // region it overlaps.
    int RecurseNoAdd(CollCuboid* q);
    // Tests q against the boxes of this node; boxes of dead objects are
    // dropped on the way.
    int CollideObjects(CollCuboid* q);
    // Prints the regions of this node and below, indent being the prefix of
    // this level (a buffer of DUMP_INDENT characters).
    void Dump(char* indent);

    static constexpr int DUMP_INDENT = 10240;

    Cuboid Extent[2];
    DynBspNode* pChild[2];
    int nExtent;
    CollCuboidList Objects;
};

class DynBspTree
{
public:
    DynBspTree() : pTop(nullptr), TreeMade(false) {}
    ~DynBspTree() { RemoveAll(); }
    DynBspTree(const DynBspTree&) = delete;
    DynBspTree& operator=(const DynBspTree&) = delete;

    // Builds the tree from every pending box, largest first; the tree is made
    // (TreeMade) even when there was nothing to put in it.
    void MakeTree();
    // Tests every pending box against the later pending boxes of other
    // objects and against the tree, and frees it.
    void TestAndRemove();
    int TestCuboid(CollCuboid* q);
    // Drops the tree (RemoveBsp), the pending boxes (RemoveNonBsp), or both.
    void RemoveBsp();
    void RemoveNonBsp();
    void RemoveAll()
    {
        RemoveBsp();
        RemoveNonBsp();
    }
    void Dump();

    Cuboid WorldExtent;
    CollCuboidList CollCuboids;   // pending boxes
    DynBspNode* pTop;
    bool TreeMade;

private:
    void InsertCuboid(CollCuboid* q);
};

// The fine test of two boxes' shapes, a record with obj1 = a's object and
// obj2 = b's.
int CollideFine(CollCuboid* a, CollCuboid* b);
// qsort order of MakeTree: largest volume first.
int SortCuboid(const void* x, const void* y);
// printf("%s(%f,%f,%f)->(%f,%f,%f)", prefix, min, max).
void PrintCuboid(const Cuboid& c, char* prefix);
