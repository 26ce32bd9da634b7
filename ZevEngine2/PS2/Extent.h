// Bounding volumes and their tests: planes, boxes in an object's own frame
// (Cuboid), spheres and oriented extents (Extent).
//
// Every test takes each volume together with the matrix that places it, so
// nothing has to be transformed in advance: collision calls them with the two
// objects' world matrices, view culling with a matrix that maps world space
// into homogeneous clip space (a point is inside when |x|, |y|, |z| <= w).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"

// Clip flags of a homogeneous point judged against its own w.
enum
{
    CLIP_POSX = 0x01,   // x > w
    CLIP_NEGX = 0x02,   // x < -w
    CLIP_POSY = 0x04,   // y > w
    CLIP_NEGY = 0x08,   // y < -w
    CLIP_POSZ = 0x10,   // z > w
    CLIP_NEGZ = 0x20,   // z < -w
    CLIP_ALL = 0x3F
};

// The clip flags above of the homogeneous point h.
int ClipFlags(const Vector& h);

// ---------------------------------------------------------------------------
// The plane n·p + w = 0 (normal in x, y, z).  Points with n·p + w < 0 lie
// behind it; the plane sets of the collision shapes face outward, so "behind"
// is "inside".
class Plane : public Vector
{
public:
    Plane() = default;
    Plane(float nx, float ny, float nz, float d) : Vector(nx, ny, nz, d) {}
    Plane(const Vector& v) : Vector(v) {}
    Plane(const VECTOR& v) : Vector(v) {}
    Plane(const VectorDir& n, float d) : Vector(n, d) {}
    // Through p0 with normal n: w = -(n·p0).
    Plane(const VectorDir& n, const VectorPos& p0) : Vector(n, -Dot(n, p0)) {}
    // Through three points, normal (p1 - p0) × (p2 - p0), made unit when asked.
    Plane(const VectorPos& p0, const VectorPos& p1, const VectorPos& p2, bool normalise = true);

    // Scales the plane so that its normal is unit (a zero normal gives the
    // all-zero plane).
    void Normalise();
    VectorDir Normal() const { return VectorDir(v128f{v[0], v[1], v[2], 0.0f}); }
    // All four components: n·p.xyz + w*p.w (a homogeneous point).
    float Dist(const Vector& p) const { return Dot(*this, p); }
    // The signed distance n·p + w (in units of |n|).
    float Dist(const VectorPos& p) const { return Dot(Normal(), p) + v[3]; }
    // True when p lies strictly behind the plane.
    bool Test(const VectorPos& p) const { return Dist(p) < 0.0f; }
};
static_assert(sizeof(Plane) == 16);

// ---------------------------------------------------------------------------
// An axis-aligned box in its own frame.  Stored as it lies in model files and
// collision chains: min then max, each four floats.
struct Cuboid
{
    VectorPos min, max;

    Cuboid() = default;
    Cuboid(const VectorPos& mn, const VectorPos& mx) : min(mn), max(mx) {}
    // centre ± half size
    Cuboid(const VectorPos& centre, const VectorDir& half) : min(centre - half), max(centre + half) {}
    // centre ± r on every axis
    Cuboid(const VectorPos& centre, const VectorW& r) : Cuboid(centre, float(r)) {}
    Cuboid(const VectorPos& centre, float r) : min(centre - r), max(centre + r) {}

    VectorPos Centre() const { return (min + max) * 0.5f; }
    // The full size max - min.
    VectorDir Extent() const { return VectorDir((max - min).v); }
    // Corner i: bit 0 chooses max.x, bit 1 max.y, bit 2 max.z (min otherwise).
    VectorPos Corner(int i) const;
    // Corner i of the box's top face (y = min.y, y being down): bit 0 chooses
    // max.x, bit 1 max.z.
    VectorPos Corner2(int i) const;
    // Face planes facing outward, in the order -x, -y, -z, +x, +y, +z (-x
    // is -x + min.x, +x is x - max.x): a point inside is behind all six.
    Plane GetPlane(int i) const;

    // The smallest box holding both (union), and holding the box and a point.
    Cuboid operator+(const Cuboid& b) const;
    Cuboid operator+(const VectorPos& p) const;
    Cuboid& operator+=(const Cuboid& b) { return *this = *this + b; }
    Cuboid& operator+=(const VectorPos& p) { return *this = *this + p; }
    // The intersection (empty when the boxes do not meet).
    Cuboid operator&(const Cuboid& b) const;
    Cuboid& operator&=(const Cuboid& b) { return *this = *this & b; }

    // Empty when max < min on some axis (x, y or z; x or z for IsEmpty2D).
    // A box of zero thickness is not empty.
    bool IsEmpty() const;
    bool IsEmpty2D() const;
    // Product of the three side lengths; 0 for an empty box.
    float Volume() const;
    // min <= p <= max on x, y and z.
    bool IsInside(const VectorPos& p) const;

    // The matrix mapping the box onto the cube [-1, 1]³ (an axis of zero size
    // maps everything to 0), and the one mapping the cube back onto the box.
    Matrix UnitMat() const;
    Matrix InvUnitMat() const;
    // The axis-aligned box of this box placed by mat.
    Cuboid GetBox(const Matrix& mat) const;

    // This box under mat1 against box2 under mat2: true when box2's
    // axis-aligned bound in this box's frame overlaps this box (touching
    // counts).
    bool QuickTest(const Matrix& mat1, const Cuboid& box2, const Matrix& mat2) const;
    // True when the two oriented boxes overlap (separating axes).
    bool Test(const Matrix& mat1, const Cuboid& box2, const Matrix& mat2) const;
    // True when the box under mat1 reaches the plane (given in mat2's frame)
    // or lies behind it.
    bool Test(const Matrix& mat1, Plane plane, const Matrix& mat2) const;
    // The signed distance from that plane to the box's nearest point
    // (negative when the box crosses it or lies behind it).
    float Test2(const Matrix& mat1, Plane plane, const Matrix& mat2) const;
    // Clips the segment p0-p1 to the box in place; false (ends untouched)
    // when it misses.
    bool Clip(VectorPos& p0, VectorPos& p1) const;
    // Against a clip-space matrix: TestCull is 1 when all eight corners lie
    // outside one and the same clip plane (the box can be dropped); TestClip
    // is 1 when any corner lies outside any (the box needs clipping).
    int TestCull(const Matrix& mat) const;
    int TestClip(const Matrix& mat) const;
};
static_assert(sizeof(Cuboid) == 32);

// ---------------------------------------------------------------------------
// A sphere: centre in x, y, z, radius in w.
class Sphere : public Vector
{
public:
    Sphere() = default;
    Sphere(const Vector& v) : Vector(v) {}
    Sphere(const VectorPos& centre, float radius) : Vector(centre, radius) {}
    Sphere(float x, float y, float z, float r) : Vector(x, y, z, r) {}

    VectorPos Centre() const { return VectorPos(v128f{v[0], v[1], v[2], 1.0f}); }
    VectorW Radius() const { return VectorW(v[3]); }

    // Maps the unit sphere onto this one: scale r, translation the centre.
    Matrix InvUnitMat() const;
    // Its inverse, mapping this sphere onto the unit sphere at the origin:
    // scale 1/r, translation -centre/r.  A sphere without a positive radius
    // maps everything to the origin.
    Matrix UnitMat() const;

    // Against another sphere: the centres placed by their matrices are
    // closer than r1 + r2 (radii are not scaled by the matrices).
    bool Test(const Matrix& mat1, Sphere sphere2, const Matrix& mat2) const;
    // Against an oriented box.
    bool Test(const Matrix& mat1, const Cuboid& box2, const Matrix& mat2) const;
    // Against a plane given in mat2's frame: true when the sphere reaches it
    // or lies behind it.
    bool Test(const Matrix& mat1, Plane plane, const Matrix& mat2) const;

    // The smallest sphere holding this one and p, or this one and s2.
    Sphere operator+(const VectorPos& p) const;
    Sphere operator+(const Sphere& s2) const;
};
static_assert(sizeof(Sphere) == 16);

// ---------------------------------------------------------------------------
// An oriented box given by the matrix that maps world space onto the cube
// [-1, 1]³.  A w row whose w component is 0 marks an unset extent (placement
// records hold all zeroes when they have none).
class Extent : public Matrix
{
public:
    Extent() {}
    Extent(const Matrix& m) : Matrix(m) {}

    bool IsValid() const { return w[3] != 0.0f; }
    // The position in the extent's cube.
    VectorPos ClipPos(const VectorPos& pos) const;
    // A position of the cube back in world space.
    VectorPos ToWorld(const VectorPos& unit) const;
    // True when the extent is set and pos maps into [-1, 1]³.
    bool Within(const VectorPos& pos) const;
    // True when the extent is set and the sphere (pos, radius) lies wholly
    // inside it.
    bool EntirelyWithin(const VectorPos& pos, float radius) const;
    // True when the extent is set and the box about the sphere (pos,
    // radius), taken in the extent's cube, reaches into [-1, 1]³: false only
    // when on some axis the sphere lies wholly beyond one face.
    bool SomeWithin(const VectorPos& pos, float radius) const;
    // True when the segment p0-p1 meets the extent's box.
    bool CheckRay(const VectorPos& p0, const VectorPos& p1) const;
    // Follows the box when the space it was given in is placed by m (file
    // coordinates to world): the new extent maps world space through the
    // inverse of m first.  An unset extent stays unset.
    void Transform(const Matrix& m);
};
static_assert(sizeof(Extent) == 64);
