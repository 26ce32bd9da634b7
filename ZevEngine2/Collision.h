// Collision shapes as they lie in model files, and the record of one contact.
//
// An object's collision chain is a run of entries in its model file's
// collision block (or a short chain built at run time for probes), each
// 16-byte aligned and starting with the 2-byte COLLISION head, ended by an
// entry of type COLL_END.  Boxes and spheres carry an id word: its low byte is
// the kinds the shape is, its high byte the kinds it wants to be told about.
// A box or sphere with a non-zero child offset is a bounding volume around a
// nested chain.  Files are used in place, so every record here is the file's
// own little-endian layout.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/PS2/Extent.h"

class Object;

enum COLLTYPES
{
    COLL_END,
    COLL_BOX,
    COLL_PLANES,
    COLL_SOUP,
    COLL_SPHERE,
};

// The head of every chain entry.
struct COLLISION
{
    u16 type;   // COLLTYPES

    // True at the end of a chain: a COLL_END entry, or an entry of unknown
    // type, which has no stride and so cannot be stepped over (a broken
    // model file; reported once).
    bool IsEnd() const;

    // The entry after this one; only for entries that are not IsEnd().
    COLLISION* Next();
    const COLLISION* Next() const { return const_cast<COLLISION*>(this)->Next(); }
};
static_assert(sizeof(COLLISION) == 2);

// Sets an id word from its two bytes: the kinds a shape is (low byte) and
// the kinds it listens to (high byte).
inline u16 MakeCollisionID(u16 is, u16 hears)
{
    return (u16)((is & 0xFF) | ((hears & 0xFF) << 8));
}

// Axis-aligned box in the object's frame; 48 bytes.
struct CollBox
{
    u16 type;        // COLL_BOX
    u16 id;
    u32 child;       // offset from this entry to its nested chain; 0 = a leaf
    u8 unused[8];
    Cuboid box;

    COLLISION* Head() { return (COLLISION*)this; }
    COLLISION* Next() { return (COLLISION*)((u8*)this + sizeof(CollBox)); }
    COLLISION* Child() { return (COLLISION*)((u8*)this + child); }
    void SetID(u16 is, u16 hears) { id = MakeCollisionID(is, hears); }
};
static_assert(sizeof(CollBox) == 48);
static_assert(offsetof(CollBox, id) == 2 && offsetof(CollBox, child) == 4 && offsetof(CollBox, box) == 16);

// Sphere in the object's frame (centre x, y, z, radius in w); 32 bytes.
struct CollSphere
{
    u16 type;        // COLL_SPHERE
    u16 id;
    u32 child;
    u8 unused[8];
    Sphere sphere;

    COLLISION* Head() { return (COLLISION*)this; }
    COLLISION* Next() { return (COLLISION*)((u8*)this + sizeof(CollSphere)); }
    COLLISION* Child() { return (COLLISION*)((u8*)this + child); }
    void SetID(u16 is, u16 hears) { id = MakeCollisionID(is, hears); }
};
static_assert(sizeof(CollSphere) == 32);
static_assert(offsetof(CollSphere, id) == 2 && offsetof(CollSphere, child) == 4 && offsetof(CollSphere, sphere) == 16);

// A convex volume of outward-facing planes: a point is inside when it lies
// strictly behind every plane.  No id word and no children.  16-byte head,
// then count planes.
struct CollPlanes
{
    u16 type;        // COLL_PLANES
    u16 count;
    u8 unused[12];

    Plane* Planes() { return (Plane*)((u8*)this + sizeof(CollPlanes)); }
    COLLISION* Head() { return (COLLISION*)this; }
    COLLISION* Next() { return (COLLISION*)((u8*)this + sizeof(CollPlanes) + 16 * count); }
};
static_assert(sizeof(CollPlanes) == 16 && sizeof(Plane) == 16);

// One triangle of a soup: an id word and three vertex indices.  The face's
// outward side is that of (v1 - v0) x (v2 - v0); faces are one-sided.
struct SoupFace
{
    u16 id;
    u16 v[3];
};
static_assert(sizeof(SoupFace) == 8);

// A node of a soup's search tree.  The two low bits of type say what it is: 0
// a leaf (SoupBSP_List), 1, 2 or 3 a split on x, y or z (SoupBSP_Split).
struct SoupBSP
{
    u16 type;

    bool IsLeaf() const { return (type & 3) == 0; }
    int Axis() const { return (type & 3) - 1; }   // splits only: 0 x, 1 y, 2 z
};
static_assert(sizeof(SoupBSP) == 2);

// A leaf: type >> 2 faces, their indices following.  2 + 2n bytes.
struct SoupBSP_List
{
    u16 type;

    int Count() const { return type >> 2; }
    const u16* Faces() const { return (const u16*)((const u8*)this + 2); }
};
static_assert(sizeof(SoupBSP_List) == 2);

// A split at value on its axis.  Link2, just after this node, holds what lies
// below value; Link1 what lies at or above it, at a 32-bit byte offset whose
// low 16 bits share type with the axis bits (the offset is a multiple of 4)
// and whose high 16 bits are in ununsed.
struct SoupBSP_Split
{
    u16 type;
    u16 ununsed;
    float value;

    int Axis() const { return (type & 3) - 1; }
    u32 Link1Offset() const { return (u32)(type & 0xFFFC) | ((u32)ununsed << 16); }
    SoupBSP* Link1() { return (SoupBSP*)((u8*)this + Link1Offset()); }
    SoupBSP* Link2() { return (SoupBSP*)((u8*)this + sizeof(SoupBSP_Split)); }
};
static_assert(sizeof(SoupBSP_Split) == 8);

// A triangle soup with its own search tree.  The vertex array is the last
// part of the entry.
struct CollSoup
{
    u16 type;          // COLL_SOUP
    u16 count;         // vertices
    u32 face_offset;   // from this entry to the faces
    u32 vert_offset;   // from this entry to the vertices
    SoupBSP root;      // the tree's first node; the others follow it

    SoupFace* Faces() { return (SoupFace*)((u8*)this + face_offset); }
    VectorPos* Verts() { return (VectorPos*)((u8*)this + vert_offset); }
    COLLISION* Head() { return (COLLISION*)this; }
    COLLISION* Next() { return (COLLISION*)((u8*)this + vert_offset + 16 * count); }
};
static_assert(sizeof(CollSoup) == 16);
static_assert(offsetof(CollSoup, face_offset) == 4 && offsetof(CollSoup, vert_offset) == 8 && offsetof(CollSoup, root) == 12);

// One-shape chains built at run time for probe objects.
struct CollBoxEnd
{
    CollBox box;
    COLLISION end;

    CollBoxEnd(int id, const Cuboid& c);
    COLLISION* Chain() { return box.Head(); }
};

struct CollSphereEnd
{
    CollSphere sphere;
    COLLISION end;

    CollSphereEnd(int id, const Sphere& s);
    COLLISION* Chain() { return sphere.Head(); }
};

// The radius about the object's origin that encloses the chain's top-level
// boxes and spheres (nested chains lie inside their bounding volume; plane
// sets and soups add nothing).
float CalcCollisionRadius(COLLISION* chain);

// One contact between two objects, the argument of OM_COLLISION.  Handlers
// read it from their own side: while flip is set (the second object's handler
// runs), "my" and "his" swap and the normal is negated so that it always
// points from the other shape toward the receiver.
class CollisionRecord
{
public:
    CollisionRecord(Object* o1, Object* o2);

    void Set(COLLISION* c1, COLLISION* c2, Object* p1, Object* p2)
    {
        col1 = c1;
        col2 = c2;
        part1 = p1;
        part2 = p2;
    }
    void SaveMatrix(const Matrix& m1, const Matrix& m2)
    {
        saveMat1 = m1;
        saveMat2 = m2;
    }

    float Dist() const { return dist; }
    VectorPos Point() const { return point; }
    VectorDir Normal() const { return flip ? VectorDir(-normal) : normal; }
    COLLISION* MyCol() const { return flip ? col2 : col1; }
    COLLISION* HisCol() const { return flip ? col1 : col2; }
    Object* MyPart() const { return flip ? part2 : part1; }
    Object* HisPart() const { return flip ? part1 : part2; }
    Object* HitObj() const { return flip ? obj1 : obj2; }
    u16 MyID() const { return flip ? id2 : id1; }
    u16 HisID() const { return flip ? id1 : id2; }
    bool IsFlipped() const { return flip; }
    void ToggleFlip() { flip = !flip; }
    bool InfoGot() const { return infoGot; }
    void ResetInfo() { infoGot = false; }

    // The contact point and normal (receiver's side) expressed in the frame
    // whose world matrix is m.
    VectorPos LocalPoint(Matrix& m) const;
    VectorDir LocalNormal(Matrix& m) const;

private:
    Matrix saveMat1;
    Matrix saveMat2;
    VectorPos point;
    VectorDir normal;
    float dist;
    COLLISION* col1;
    COLLISION* col2;
    Object* obj1;
    Object* obj2;
    Object* part1;
    Object* part2;
    int icorner;
    bool flip;
    bool infoGot;
    u16 id1;
    u16 id2;

public:
    VectorDir tempnormal;   // soup contact: face normal in the frame it was computed in
    Vector temppoint;       // soup contact: point in x, y, z, signed depth in w
};
