// Planes, boxes, spheres and extents: the bounding volumes of collision and of
// view culling.
#include "ZevEngine2/PS2/Extent.h"

namespace
{
// |row·n| over x, y, z.
inline float AbsDot(const Vector& row, const VectorXYZ& n) { return fabsf(Dot(row.xyz(), n)); }

// The half size of a box of full size `size` along the axis n, when the box's
// frame has the axis rows of m: 0.5*(|x·n|*size.x + |y·n|*size.y + |z·n|*size.z).
inline float HalfProjection(const Matrix& m, const VectorXYZ& size, const VectorXYZ& n)
{
    return 0.5f * (AbsDot(m.x, n) * size[0] + AbsDot(m.y, n) * size[1] + AbsDot(m.z, n) * size[2]);
}

// Radius about the frame's origin (not the box's centre) of a box: the length
// of the componentwise larger magnitude of max and -min.
inline float OriginRadius(const Cuboid& b)
{
    VectorXYZ far = Max(static_cast<const VectorXYZ&>(b.max), VectorXYZ(-b.min));
    return far.Length();
}

// The corner (min or max per axis) in the order (min, min, min),
// (max, min, min), (min, max, min), (max, max, min), then the same with max.z,
// taken as a homogeneous point through mat (all four components).
inline Vector HomogeneousCorner(const Cuboid& b, const Matrix& mat, int i)
{
    float cx = (i & 1) ? b.max[0] : b.min[0];
    float cy = (i & 2) ? b.max[1] : b.min[1];
    float cz = (i & 4) ? b.max[2] : b.min[2];
    return mat.w + mat.x * cx + mat.y * cy + mat.z * cz;
}
}  // namespace

int ClipFlags(const Vector& h)
{
    float w = h[3];
    int flags = 0;
    if (h[0] > w)
        flags |= CLIP_POSX;
    if (h[0] < -w)
        flags |= CLIP_NEGX;
    if (h[1] > w)
        flags |= CLIP_POSY;
    if (h[1] < -w)
        flags |= CLIP_NEGY;
    if (h[2] > w)
        flags |= CLIP_POSZ;
    if (h[2] < -w)
        flags |= CLIP_NEGZ;
    return flags;
}

// ---------------------------------------------------------------------------
// Plane

Plane::Plane(const VectorPos& p0, const VectorPos& p1, const VectorPos& p2, bool normalise)
{
    VectorXYZ n = (p1 - p0) ^ (p2 - p0);
    if (normalise)
        n.Normalise();
    *this = Plane(Vector(n, -Dot(n, p0)));
}

void Plane::Normalise()
{
    float l2 = Normal().LengthSq();
    if (l2 == 0.0f)
    {
        *this = Plane(Vector::null());
        return;
    }
    *this = Plane(*this * (1.0f / sqrtf(l2)));
}

// ---------------------------------------------------------------------------
// Cuboid: members

VectorPos Cuboid::Corner(int i) const
{
    return VectorPos((i & 1) ? max[0] : min[0], (i & 2) ? max[1] : min[1], (i & 4) ? max[2] : min[2]);
}

VectorPos Cuboid::Corner2(int i) const
{
    return VectorPos((i & 1) ? max[0] : min[0], min[1], (i & 2) ? max[2] : min[2]);
}

Plane Cuboid::GetPlane(int i) const
{
    switch (i)
    {
    case 0: return Plane(-1.0f, 0.0f, 0.0f, min[0]);
    case 1: return Plane(0.0f, -1.0f, 0.0f, min[1]);
    case 2: return Plane(0.0f, 0.0f, -1.0f, min[2]);
    case 3: return Plane(1.0f, 0.0f, 0.0f, -max[0]);
    case 4: return Plane(0.0f, 1.0f, 0.0f, -max[1]);
    case 5: return Plane(0.0f, 0.0f, 1.0f, -max[2]);
    default: return Plane(Vector::null());
    }
}

Cuboid Cuboid::operator+(const Cuboid& b) const { return Cuboid(Min(min, b.min), Max(max, b.max)); }

Cuboid Cuboid::operator+(const VectorPos& p) const { return Cuboid(Min(min, p), Max(max, p)); }

Cuboid Cuboid::operator&(const Cuboid& b) const { return Cuboid(Max(min, b.min), Min(max, b.max)); }

bool Cuboid::IsEmpty() const { return max[0] < min[0] || max[1] < min[1] || max[2] < min[2]; }

bool Cuboid::IsEmpty2D() const { return max[0] < min[0] || max[2] < min[2]; }

float Cuboid::Volume() const
{
    if (IsEmpty())
        return 0.0f;
    VectorDir s = Extent();
    return s[0] * s[1] * s[2];
}

bool Cuboid::IsInside(const VectorPos& p) const
{
    for (int k = 0; k < 3; k++)
        if (p[k] < min[k] || p[k] > max[k])
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Cuboid: frames

Matrix Cuboid::UnitMat() const
{
    // Per axis f = 1/size, or the size itself when it is not positive, so
    // that a flat axis maps everything to 0.  A point maps to (2p - min - max)*f.
    VectorDir size = Extent();
    float f[3];
    for (int k = 0; k < 3; k++)
        f[k] = size[k] > 0.0f ? 1.0f / size[k] : size[k];
    VectorXYZ mid = min + max;
    return Matrix(Vector(2.0f * f[0], 0.0f, 0.0f, 0.0f),
                  Vector(0.0f, 2.0f * f[1], 0.0f, 0.0f),
                  Vector(0.0f, 0.0f, 2.0f * f[2], 0.0f),
                  Vector(-mid[0] * f[0], -mid[1] * f[1], -mid[2] * f[2], 1.0f));
}

Matrix Cuboid::InvUnitMat() const
{
    Matrix m = ScaleMatrix((max - min) * 0.5f);
    m.w = Vector(Centre(), 1.0f);
    return m;
}

Cuboid Cuboid::GetBox(const Matrix& mat) const
{
    VectorPos c = mat * Centre();
    VectorDir size = Extent();
    VectorXYZ h = (Abs(mat.x.xyz()) * size[0] + Abs(mat.y.xyz()) * size[1] + Abs(mat.z.xyz()) * size[2]) * 0.5f;
    return Cuboid(VectorPos(c - h), VectorPos(c + h));
}

// ---------------------------------------------------------------------------
// Cuboid: tests between boxes

bool Cuboid::QuickTest(const Matrix& mat1, const Cuboid& box2, const Matrix& mat2) const
{
    // box2's frame into this box's frame, and box2's bound there.
    Matrix m = mat2 * mat1.Inverse();
    VectorPos c = m * box2.Centre();
    VectorXYZ hb = box2.Extent() * 0.5f;
    VectorXYZ e = Abs(m.x.xyz()) * hb[0] + Abs(m.y.xyz()) * hb[1] + Abs(m.z.xyz()) * hb[2];
    for (int k = 0; k < 3; k++)
        if (max[k] < c[k] - e[k] || c[k] + e[k] < min[k])
            return false;
    return true;
}

bool Cuboid::Test(const Matrix& mat1, const Cuboid& box2, const Matrix& mat2) const
{
    // Cheap rejection by the spheres about the two frames' origins.
    float r = OriginRadius(*this) + OriginRadius(box2);
    VectorXYZ dw = mat2.w.xyz() - mat1.w.xyz();
    if (dw.LengthSq() >= r * r)
        return false;

    // The six face axes.
    if (!QuickTest(mat1, box2, mat2) || !box2.QuickTest(mat2, *this, mat1))
        return false;

    // The nine edge-edge axes mat1.a × mat2.b.  The axes are not unit: both
    // sides of each comparison scale alike, and a zero axis (parallel edges)
    // separates nothing.
    VectorXYZ centreA = mat1 * Centre();
    VectorXYZ centreB = mat2 * box2.Centre();
    VectorXYZ d = centreB - centreA;
    VectorXYZ sizeA = Extent(), sizeB = box2.Extent();
    for (int a = 0; a < 3; a++)
    {
        VectorXYZ axisA = mat1[a].xyz();
        for (int b = 0; b < 3; b++)
        {
            VectorXYZ axis = axisA ^ mat2[b].xyz();
            float sep = fabsf(Dot(d, axis));
            if (sep > HalfProjection(mat1, sizeA, axis) + HalfProjection(mat2, sizeB, axis))
                return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Cuboid: tests against a plane

float Cuboid::Test2(const Matrix& mat1, Plane plane, const Matrix& mat2) const
{
    Vector p = VU0MatrixInverseTransposeAffine(mat2) * static_cast<const Vector&>(plane);
    float d = Dot(p, Vector(mat1 * Centre()));
    float r = HalfProjection(mat1, Extent(), p.xyz());
    return d - r;
}

bool Cuboid::Test(const Matrix& mat1, Plane plane, const Matrix& mat2) const
{
    Vector p = VU0MatrixInverseTransposeAffine(mat2) * static_cast<const Vector&>(plane);
    float d = Dot(p, Vector(mat1 * Centre()));
    if (d < 0.0f)
        return true;   // the centre is behind already
    float r = HalfProjection(mat1, Extent(), p.xyz());
    return d - r < 0.0f;
}

// ---------------------------------------------------------------------------
// Cuboid: segment clipping

bool Cuboid::Clip(VectorPos& p0, VectorPos& p1) const
{
    VectorPos lo = Min(p0, p1), hi = Max(p0, p1);
    for (int k = 0; k < 3; k++)
        if (hi[k] < min[k] || lo[k] > max[k])
            return false;
    if (IsInside(p0) && IsInside(p1))
        return true;

    VectorXYZ d = p1 - p0;
    if (d[0] == 0.0f && d[2] == 0.0f)
    {
        // Vertical: only y needs clamping.
        VectorPos& low = p0[1] <= p1[1] ? p0 : p1;
        VectorPos& high = p0[1] <= p1[1] ? p1 : p0;
        if (low[1] < min[1])
            low[1] = min[1];
        if (high[1] > max[1])
            high[1] = max[1];
        return true;
    }

    float t0 = 0.0f, t1 = 1.0f;
    for (int k = 0; k < 3; k++)
    {
        if (d[k] == 0.0f)
            continue;
        float enter = (min[k] - p0[k]) / d[k];
        float leave = (max[k] - p0[k]) / d[k];
        if (d[k] < 0.0f)
            std::swap(enter, leave);
        if (enter > t1 || leave < t0)
            return false;
        t0 = std::max(t0, enter);
        t1 = std::min(t1, leave);
    }
    VectorPos start = p0;
    p0 = start + d * t0;
    p1 = start + d * t1;
    return true;
}

// ---------------------------------------------------------------------------
// Cuboid: view tests

int Cuboid::TestCull(const Matrix& mat) const
{
    int all = CLIP_ALL;
    for (int i = 0; i < 8; i++)
    {
        all &= ClipFlags(HomogeneousCorner(*this, mat, i));
        if (all == 0)
            return 0;
    }
    return 1;
}

int Cuboid::TestClip(const Matrix& mat) const
{
    for (int i = 0; i < 8; i++)
        if (ClipFlags(HomogeneousCorner(*this, mat, i)) != 0)
            return 1;
    return 0;
}

// ---------------------------------------------------------------------------
// Sphere

Matrix Sphere::InvUnitMat() const
{
    float r = v[3];
    Matrix m = ScaleMatrix(r, r, r);
    m.w = Vector(Centre(), 1.0f);
    return m;
}

Matrix Sphere::UnitMat() const
{
    float f = v[3] > 0.0f ? 1.0f / v[3] : 0.0f;
    Matrix m = ScaleMatrix(f, f, f);
    m.w = Vector(VectorXYZ(Centre()) * -f, 1.0f);
    return m;
}

bool Sphere::Test(const Matrix& mat1, Sphere sphere2, const Matrix& mat2) const
{
    VectorXYZ d = (mat1 * Centre()) - (mat2 * sphere2.Centre());
    float r = v[3] + sphere2[3];
    return d.LengthSq() < r * r;
}

bool Sphere::Test(const Matrix& mat1, const Cuboid& box2, const Matrix& mat2) const
{
    // The sphere's frame into the box's frame; s undoes that frame's scale
    // per axis so that the face distances compare with the sphere's radius.
    Matrix m = mat1 * mat2.Inverse();
    VectorXYZ s = m.GetInvScale();
    VectorPos c = m * Centre();
    float r = v[3];

    int inside = 0;
    bool in[3];
    for (int k = 0; k < 3; k++)
    {
        float a = (box2.min[k] - c[k]) * s[k];
        float b = (c[k] - box2.max[k]) * s[k];
        if (!(a < r) || !(b < r))
            return false;
        in[k] = box2.min[k] < c[k] && c[k] < box2.max[k];
        inside += in[k];
    }
    if (inside >= 2)
        return true;

    // Distance to the nearest edge (one axis inside) or corner (none): the
    // corner is taken back into the sphere's frame and the inside axis left
    // out of the distance.
    VectorPos q(c[0] > box2.min[0] ? box2.max[0] : box2.min[0],
                c[1] > box2.min[1] ? box2.max[1] : box2.min[1],
                c[2] > box2.min[2] ? box2.max[2] : box2.min[2]);
    VectorPos qs = mat1.Inverse() * (mat2 * q);
    VectorXYZ d = qs - Centre();
    float dist2;
    if (in[2])
        dist2 = d[0] * d[0] + d[1] * d[1];
    else if (in[1])
        dist2 = d[0] * d[0] + d[2] * d[2];
    else if (in[0])
        dist2 = d[1] * d[1] + d[2] * d[2];
    else
        dist2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    return dist2 < r * r;
}

bool Sphere::Test(const Matrix& mat1, Plane plane, const Matrix& mat2) const
{
    // Into world by the inverse transpose of mat2, then into the sphere's
    // frame: component i is row i of mat1 dotted with the world plane.
    Vector pw = VU0MatrixInverseTransposeAffine(mat2) * static_cast<const Vector&>(plane);
    Vector ps(Dot(mat1.x, pw), Dot(mat1.y, pw), Dot(mat1.z, pw), Dot(mat1.w, pw));
    return Dot(ps.xyz(), Centre()) + ps[3] < v[3];
}

Sphere Sphere::operator+(const VectorPos& p) const
{
    VectorXYZ d = p - Centre();
    float r = v[3];
    float l2 = d.LengthSq();
    if (l2 <= r * r)
        return *this;
    float l = sqrtf(l2);
    VectorXYZ c = Centre() + d * ((l - r) / (2.0f * l));
    return Sphere(Vector(c, (l + r) * 0.5f));
}

Sphere Sphere::operator+(const Sphere& s2) const
{
    VectorXYZ d = s2.Centre() - Centre();
    float r1 = v[3], r2 = s2[3];
    float dr = r2 - r1;
    float l2 = d.LengthSq();
    if (l2 <= dr * dr)
        return r2 >= r1 ? s2 : *this;   // one holds the other
    float l = sqrtf(l2);
    VectorXYZ c = Centre() + d * ((l + r2 - r1) / (2.0f * l));
    return Sphere(Vector(c, (l + r1 + r2) * 0.5f));
}

// ---------------------------------------------------------------------------
// Extent

VectorPos Extent::ClipPos(const VectorPos& pos) const { return *this * pos; }

VectorPos Extent::ToWorld(const VectorPos& unit) const { return Inverse() * unit; }

bool Extent::Within(const VectorPos& pos) const
{
    if (!IsValid())
        return false;
    VectorPos c = ClipPos(pos);
    for (int k = 0; k < 3; k++)
        if (c[k] < -1.0f || c[k] > 1.0f)
            return false;
    return true;
}

// The sphere (pos, radius) against the extent's cube, axis by axis: its
// centre there and its radius scaled into it.  whole: every axis within
// [-1, 1]; otherwise no axis wholly beyond one face.
static bool SphereAgainstCube(const Extent& e, const VectorPos& pos, float radius, bool whole)
{
    if (!e.IsValid())
        return false;
    VectorPos c = e.ClipPos(pos);
    VectorXYZ r = e.GetScale() * radius;
    for (int k = 0; k < 3; k++)
    {
        float lo = c[k] - r[k], hi = c[k] + r[k];
        if (whole ? (hi > 1.0f || lo < -1.0f) : (lo > 1.0f || hi < -1.0f))
            return false;
    }
    return true;
}

bool Extent::EntirelyWithin(const VectorPos& pos, float radius) const
{
    return SphereAgainstCube(*this, pos, radius, true);
}

bool Extent::SomeWithin(const VectorPos& pos, float radius) const
{
    return SphereAgainstCube(*this, pos, radius, false);
}

bool Extent::CheckRay(const VectorPos& p0, const VectorPos& p1) const
{
    Vector h0 = *this * Vector(p0);
    Vector h1 = *this * Vector(p1);
    int f0 = ClipFlags(h0), f1 = ClipFlags(h1);
    if (f0 & f1)
        return false;   // both outside the same plane
    if (f0 == 0 || f1 == 0)
        return true;

    // Clip in homogeneous coordinates, one plane at a time.  For each plane
    // the distance inside is w - x (x <= w) or w + x (x >= -w).
    float tin = 0.0f, tout = 1.0f;
    bool entered = false;
    for (int k = 0; k < 3; k++)
    {
        for (int sign = 0; sign < 2; sign++)
        {
            float d0 = sign ? h0[3] + h0[k] : h0[3] - h0[k];
            float d1 = sign ? h1[3] + h1[k] : h1[3] - h1[k];
            if (d0 >= 0.0f && d1 >= 0.0f)
                continue;
            float t = d0 / (d0 - d1);
            if (d0 < 0.0f)
            {
                entered = true;
                tin = std::max(tin, t);
            }
            else
            {
                tout = std::min(tout, t);
            }
            if (tin > tout)
                return false;
        }
    }
    return entered;
}

void Extent::Transform(const Matrix& m)
{
    if (!IsValid())
        return;
    static_cast<Matrix&>(*this) = m.Inverse() * static_cast<const Matrix&>(*this);
}
