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
    const Plane* Planes() const { return (const Plane*)((const u8*)this + sizeof(CollPlanes)); }
    COLLISION* Head() { return (COLLISION*)this; }
    COLLISION* Next() { return (COLLISION*)((u8*)this + sizeof(CollPlanes) + 16 * count); }

    // The point (in the set's frame) lies strictly behind every plane.
    bool Test(VectorPos p) const;
    // The set placed by mp against a sphere placed by ms: false when the
    // centre lies further than the radius in front of some plane.  mp must be
    // orthonormal; the radius is not scaled.
    bool Test(const Matrix& mp, Sphere s, const Matrix& ms) const;
    // Against a box placed by mb: the box reaches or lies behind every plane.
    bool Test(const Matrix& mp, const Cuboid& b, const Matrix& mb) const;
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
    const SoupBSP* Link1() const { return (const SoupBSP*)((const u8*)this + Link1Offset()); }
    const SoupBSP* Link2() const { return (const SoupBSP*)((const u8*)this + sizeof(SoupBSP_Split)); }
};
static_assert(sizeof(SoupBSP_Split) == 8);

class CollisionRecord;

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
    const SoupFace* Faces() const { return (const SoupFace*)((const u8*)this + face_offset); }
    const VectorPos* Verts() const { return (const VectorPos*)((const u8*)this + vert_offset); }
    COLLISION* Head() { return (COLLISION*)this; }
    COLLISION* Next() { return (COLLISION*)((u8*)this + vert_offset + 16 * count); }

    // Contact tests; ms is the soup's world matrix (orthonormal for the
    // sphere test), mo the other shape's.  Without a record: 1 at the first
    // touching face, else 0.  With one: each touching face that passes the id
    // filter is delivered through CollisionRecord::Send with its normal, point
    // and depth in tempnormal/temppoint, and the first non-zero Send result is
    // returned, else 0.
    int Test(const Matrix& ms, Sphere s, const Matrix& mo, CollisionRecord* rec) const;
    int Test(const Matrix& ms, const Cuboid& b, const Matrix& mo, CollisionRecord* rec) const;
    // The face walk behind both: contact(face, normal, point, depth) is tried
    // on each face of the leaves meeting [lo, hi] that rec lets through, and
    // each contact is answered as above (CollisionTests.cpp; N is the room of
    // the search's node stack).
    template <int N, class Contact>
    int TestFaces(const VectorXYZ& lo, const VectorXYZ& hi, CollisionRecord* rec, Contact& contact) const;

    // The first face hit by the segment p0-p1 (soup frame) whose id is one of
    // the kinds in mask's high byte, searching the side of each split that
    // holds p0 first; hit point and face normal (not unit) on a hit.
    bool CheckRay(VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal, u16 mask) const;
    // The highest face (smallest y) over or under p whose plane lies no more
    // than 0.3125 above p, found in the one leaf that holds p; 1e38 when none.
    float GetHeight(VectorPos p, VectorDir* normal) const;
    // Pointers to the vertices (three per face) of the faces that reach the
    // cube [-1, 1]^3 of the volume whose matrix vol maps world space onto it,
    // the soup being placed by m; at most max pointers; returns how many.
    int Project(const Matrix& m, const Matrix& vol, VectorPos** out, int max);
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

// The id word given to a plane set in a contact: plane sets carry no id, are
// tested against every kind and hear of every contact.
constexpr u16 COLLID_PLANES = 0xFFFF;

// Two id words pass when either one listens to a kind the other is.
inline bool CollisionIDsPass(u16 a, u16 b)
{
    return (((a >> 8) & b) & 0xFF) != 0 || (((b >> 8) & a) & 0xFF) != 0;
}

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

    // Collides obj1 with obj2: their collision-carrying children first, then
    // their own chains.  The first non-zero Send result, else 0.
    int Collide();
    // The children of o1 (resp. o2) against the other object, each child
    // pre-tested by its bounding sphere.
    int ChildCollisions1(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2);
    int ChildCollisions2(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2);
    // o1's whole chain against o2's whole chain, at world matrices m1, m2.
    int CollideFine(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2);
    // One entry against one entry (with their nested chains when they are
    // bounding volumes that are hit).
    int CollideFine(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2, COLLISION* c1, COLLISION* c2);
    // Tells the owners of the current pair of shapes, each only when it
    // listens to the other's kinds: 0 go on; -1 the first answered 1 (the
    // second is not told); else bit 0 = the first answered negatively, bit 1
    // = the second did.
    int Send();

    // The contact point, normal and depth of the delivered pair, computed
    // once from the receiver's side; false where there is no rule (plane
    // sets, soup with soup) or no contact is found.
    bool GetInfo();

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
    friend struct CollSoup;

    // True once either object of the run has been destroyed by a handler:
    // its children and chains may be gone, so the run stops.
    bool Gone() const;
    // The chain walks behind both forms of CollideFine: e1 (and, when walk1,
    // the entries after it) against e2 (and, when walk2, the entries after
    // it).  Nested chains of hit bounding volumes are walked whole.
    int FineFirst(COLLISION* e1, bool walk1, COLLISION* e2, bool walk2, Object* o1, Object* o2, const Matrix& m1,
                  const Matrix& m2);
    int FineSecond(COLLISION* e1, COLLISION* e2, bool walk2, Object* o1, Object* o2, const Matrix& m1,
                   const Matrix& m2, bool& found);
    int Deliver(COLLISION* e1, COLLISION* e2, Object* o1, Object* o2, const Matrix& m1, const Matrix& m2);
    // A soup face's id word: whether it passes against the other shape's id,
    // and where it goes in the record (the soup's side).
    bool SoupFacePasses(const CollSoup* soup, u16 faceid) const;
    void SetSoupFaceID(const CollSoup* soup, u16 faceid);

    // Box-against-box contact rules of GetInfo.
    bool CheckCorner(CollBox* a, CollBox* b, Matrix* ma, Matrix* mb);
    bool CheckEdges(CollBox* a, CollBox* b, Matrix* ma, Matrix* mb);
    bool CheckEdgeChooseFace(const Matrix& mb, VectorPos p, CollBox* b, VectorDir d1, VectorDir d2);

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

// ---------------------------------------------------------------------------
// Object against object.

// Bounding spheres p1/r1 and p2/r2 overlap (touching does not count).
bool SphereCheck(VectorPos p1, float r1, VectorPos p2, float r2);

// Collides two top-level objects when their bounding spheres meet: 0 when
// they miss or nothing was delivered, else the first non-zero Send result.
int Collide2Objects(Object* a, Object* b);

// Helpers of the soup contact tests, in the unit space of a box.
// Clips a polygon of at most CLIPPOLY_MAXIN vertices to the cube [-1, 1]^3
// (faces +x, -x, +y, -y, +z, -z in turn) into out, which has room for n + 6;
// returns the vertex count, 0 when nothing is left or n is out of range.
constexpr int CLIPPOLY_MAXIN = 10;
int ClipPoly(VectorPos* in, int n, VectorPos* out);
// The point of segment a-b nearest p (a for a zero-length segment).
VectorPos ClosestPoint(VectorPos a, VectorPos b, VectorPos p);
// p lies on the inner side of every edge of the polygon about the normal n.
bool InsidePoly(VectorPos p, VectorPos n, VectorPos* poly, int count);
// One triangle a, b, c (outward side (b - a) x (c - a)) against a sphere
// given in the triangle's frame: true on contact, with the contact point in
// out's x, y, z and the (negative) depth in its w.
bool Penetration(Sphere& s, VectorPos a, VectorPos b, VectorPos c, VectorPos* out);

// ---------------------------------------------------------------------------
// Rays and ground heights.

// One ground source (the city's roads and ground patches): constructed once
// as a static object, linked in at the head of the list, never removed.
class GroundChecker
{
public:
    // Given the best (smallest) ground y found so far under pos, the new
    // best; *normal (when given) is written when it improves.
    virtual float Check(const Object& obj, float best, VectorPos pos, VectorDir* normal) = 0;

    GroundChecker* next;
    static GroundChecker* list;

protected:
    GroundChecker() : next(list) { list = this; }
    ~GroundChecker() = default;
};

// The soup ray search's pending work: a subtree and its part of the segment.
struct SoupStack
{
    const SoupBSP* bsp;
    VectorPos p0;
    VectorPos p1;
};

// The segment p0-p1, given in the frame of o's parent, against o's children
// (when flag 0x8 is set; the first one hit wins) and then its own chain.
// Hit point and normal come back in the same frame; either may be null.  A
// sphere, a leaf box or a soup face is tried only when mask's high byte names
// one of its kinds.
bool CheckRay(Object* o, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal, u16 mask);
bool CheckRayChild(Object* o, const Matrix& m, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal,
                   u16 mask);
// A chain placed by m (orthonormal): the first entry in chain order that is
// hit wins.  A bounding box answers as a solid box; plane sets are passed.
bool CheckRay(COLLISION* chain, const Matrix& m, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal,
              u16 mask);
// Shapes in the segment's frame.  A segment that starts inside reports no
// hit.  The sphere's normal is (hit - centre) / radius; the box's is the
// entered face's plane (outward axis in x, y, z, plane constant in w).
bool CheckRay(const Sphere& s, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal);
bool CheckRay(const Cuboid& b, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal);
// Yes/no forms: a start inside counts.
bool CheckRay(const Cuboid& b, VectorPos p0, VectorPos p1);
bool CheckRay(VectorPos centre, float radius, VectorPos p0, VectorPos p1);

// The highest (smallest y) top under pos of the chain placed by m, or
// terrain when nothing there is higher; *normal gets the surface's upward
// normal in world space when it improves.
float GetObjectGroundHeight(COLLISION* chain, const Matrix& m, float terrain, VectorPos pos, VectorDir* normal);

// a.x*b.z - a.z*b.x >= 0: b lies on the one winding side of a seen from above.
inline bool TestXZ(VectorDir a, VectorDir b)
{
    return a[0] * b[2] - a[2] * b[0] >= 0.0f;
}

// The box [w - h, w + h], h the componentwise largest absolute axis row: it
// holds the unit cube under m.
Cuboid MatrixExtent(const Matrix& m);
// CollSoup::Project over every soup of the object's chain.
int CollProject(Object* o, const Matrix& m, const Matrix& vol, VectorPos** out, int max);
