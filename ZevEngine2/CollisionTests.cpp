// Contact tests of the two shapes only collision has: convex plane sets and
// triangle soups.  A soup test with a record delivers one contact per touching
// face itself.
#include "ZevEngine2/Collision.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"

namespace {

// Room of the explicit node stacks of the soup searches.  A subtree that
// would not fit is searched by a nested search with a stack of its own, so
// deep trees cost stack frames, never lost faces or overwritten memory.
constexpr int SPHERE_STACK = 36;
constexpr int BOX_STACK = 32;

// Returned by a leaf visitor to end the search with no result (the run's
// objects were destroyed by a handler).
constexpr int SEARCH_ABANDONED = 0x7FFFFFFF;

VectorPos Vertex(const CollSoup* soup, int i)
{
    return VectorPos(soup->Verts()[i].xyz());
}

// The three vertices of a face; false when it names a vertex the soup does
// not have.
bool FaceVertices(const CollSoup* soup, const SoupFace& f, VectorPos& a, VectorPos& b, VectorPos& c)
{
    if (f.v[0] >= soup->count || f.v[1] >= soup->count || f.v[2] >= soup->count)
        return false;
    a = Vertex(soup, f.v[0]);
    b = Vertex(soup, f.v[1]);
    c = Vertex(soup, f.v[2]);
    return true;
}

// Visits the leaves of a soup's tree whose region meets the box [lo, hi]:
// at a split the part at or above the value (Link1) is kept for later and the
// part below (Link2) searched first.  The first non-zero visitor result ends
// the search and is returned.
template <int N, class Visit>
int SearchSoup(const SoupBSP* node, const VectorXYZ& lo, const VectorXYZ& hi, Visit& visit)
{
    const SoupBSP* stack[N];
    int sp = 0;
    for (;;)
    {
        while (node != nullptr && !node->IsLeaf())
        {
            const SoupBSP_Split* s = (const SoupBSP_Split*)node;
            int a = s->Axis();
            bool above = hi[a] >= s->value;
            bool below = lo[a] < s->value;
            if (above && below)
            {
                if (sp == N)
                {
                    int r = SearchSoup<N>(s->Link2(), lo, hi, visit);
                    if (r != 0)
                        return r;
                    node = s->Link1();
                    continue;
                }
                stack[sp++] = s->Link1();
                node = s->Link2();
            }
            else if (below)
                node = s->Link2();
            else if (above)
                node = s->Link1();
            else
                node = nullptr;   // bounds that are not numbers meet nothing
        }
        if (node != nullptr)
        {
            int r = visit((const SoupBSP_List*)node);
            if (r != 0)
                return r;
        }
        if (sp == 0)
            return 0;
        node = stack[--sp];
    }
}

// A sphere (centre c, radius r, in the triangle's frame) against the
// one-sided triangle a, b, c: the face's unit normal, the contact point and
// the depth (negative) on contact.
bool SphereFaceContact(VectorPos centre, float r, VectorPos a, VectorPos b, VectorPos c, VectorDir& n, VectorPos& p,
                       float& depth)
{
    n = Normalise(VectorDir((b - a) ^ (c - a)));
    float d = Dot(n, centre - a);
    if (!(0.0f < d && d < r))
        return false;

    VectorXYZ ca = a - centre, cb = b - centre, cc = c - centre;
    float e0 = Dot(ca ^ cb, n);
    float e1 = Dot(cb ^ cc, n);
    float e2 = Dot(cc ^ ca, n);
    if (e0 >= 0.0f && e1 >= 0.0f && e2 >= 0.0f)
    {
        p = centre - n * d;
        depth = d - r;
        return true;
    }

    // Outside the triangle: the nearest vertex or edge.
    if (e0 < 0.0f && e1 < 0.0f)
        p = b;
    else if (e0 < 0.0f && e2 < 0.0f)
        p = a;
    else if (e1 < 0.0f && e2 < 0.0f)
        p = c;
    else if (e0 < 0.0f)
        p = ClosestPoint(a, b, centre);
    else if (e1 < 0.0f)
        p = ClosestPoint(b, c, centre);
    else
        p = ClosestPoint(c, a, centre);

    // How far p lies inside the sphere along the normal.
    VectorXYZ pc = p - centre;
    float k = Dot(pc, n);
    float q = pc.LengthSq() - r * r;
    float disc = k * k - q;
    if (disc < 0.0f)
        return false;
    float t = -k - sqrtf(disc);
    if (t > 0.0f)
        return false;
    depth = t;
    return true;
}

// A world position taken into the frame of the orthonormal matrix m.
VectorPos IntoFrame(const Matrix& m, VectorPos world)
{
    VectorXYZ d = world - m.GetTrans();
    return VectorPos(Dot(d, m.x.xyz()), Dot(d, m.y.xyz()), Dot(d, m.z.xyz()));
}

}  // namespace

// ---------------------------------------------------------------------------
// Plane sets

bool CollPlanes::Test(VectorPos p) const
{
    const Plane* pl = Planes();
    for (int i = 0; i < count; i++)
        if (pl[i].Dist(p) >= 0.0f)
            return false;
    return true;
}

bool CollPlanes::Test(const Matrix& mp, Sphere s, const Matrix& ms) const
{
    VectorPos c = IntoFrame(mp, ms * s.Centre());
    float r = s[3];
    const Plane* pl = Planes();
    for (int i = 0; i < count; i++)
        if (pl[i].Dist(c) > r)
            return false;
    return true;
}

bool CollPlanes::Test(const Matrix& mp, const Cuboid& b, const Matrix& mb) const
{
    const Plane* pl = Planes();
    for (int i = 0; i < count; i++)
        if (!b.Test(mb, pl[i], mp))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Soups

template <int N, class Contact>
int CollSoup::TestFaces(const VectorXYZ& lo, const VectorXYZ& hi, CollisionRecord* rec, Contact& contact) const
{
    auto visit = [&](const SoupBSP_List* leaf) -> int {
        const u16* idx = leaf->Faces();
        for (int i = 0; i < leaf->Count(); i++)
        {
            const SoupFace& f = Faces()[idx[i]];
            if (rec != nullptr && !rec->SoupFacePasses(this, f.id))
                continue;
            VectorDir n;
            VectorPos p;
            float depth;
            if (!contact(f, n, p, depth))
                continue;
            if (rec == nullptr)
                return 1;
            rec->SetSoupFaceID(this, f.id);
            rec->tempnormal = n;
            rec->temppoint = Vector(p, depth);
            int res = rec->Send();
            if (res != 0)
                return res;
            if (rec->Gone())
                return SEARCH_ABANDONED;
        }
        return 0;
    };
    int r = SearchSoup<N>(&root, lo, hi, visit);
    return r == SEARCH_ABANDONED ? 0 : r;
}

int CollSoup::Test(const Matrix& ms, Sphere s, const Matrix& mo, CollisionRecord* rec) const
{
    VectorPos c = IntoFrame(ms, mo * s.Centre());
    float r = s[3];
    VectorXYZ lo = c - r, hi = c + r;

    auto contact = [&](const SoupFace& f, VectorDir& n, VectorPos& p, float& depth) {
        VectorPos a, b, cc;
        return FaceVertices(this, f, a, b, cc) && SphereFaceContact(c, r, a, b, cc, n, p, depth);
    };
    return TestFaces<SPHERE_STACK>(lo, hi, rec, contact);
}

int CollSoup::Test(const Matrix& ms, const Cuboid& b, const Matrix& mo, CollisionRecord* rec) const
{
    Matrix boxToSoup = mo * ms.Inverse();
    Matrix soupToBox = boxToSoup.Inverse();
    Matrix soupToUnit = soupToBox * b.UnitMat();
    Matrix unitToBox = b.InvUnitMat();
    Cuboid bounds = b.GetBox(boxToSoup);

    auto contact = [&](const SoupFace& f, VectorDir& nb, VectorPos& pb, float& depth) {
        VectorPos tri[3];
        if (!FaceVertices(this, f, tri[0], tri[1], tri[2]))
            return false;
        int flags[3];
        for (int k = 0; k < 3; k++)
        {
            tri[k] = soupToUnit * tri[k];
            flags[k] = ClipFlags(Vector(tri[k], 1.0f));
        }
        if ((flags[0] & flags[1] & flags[2]) != 0)
            return false;   // all beyond one face of the cube

        // The cube's corner furthest behind the face's plane.
        Plane pl(tri[0], tri[1], tri[2]);
        VectorDir n = pl.Normal();
        VectorPos k(n[0] < 0.0f ? 1.0f : -1.0f, n[1] < 0.0f ? 1.0f : -1.0f, n[2] < 0.0f ? 1.0f : -1.0f);
        if (pl.Dist(k) >= 0.0f)
            return false;   // the cube is wholly in front
        if (pl.Dist(VectorPos(-k)) < 0.0f)
            return false;   // wholly behind

        VectorPos point;
        if (InsidePoly(k, n, tri, 3))
            point = k;
        else
        {
            VectorPos g;
            if ((flags[0] | flags[1] | flags[2]) == 0)
                g = (tri[0] + tri[1] + tri[2]) * (1.0f / 3.0f);
            else
            {
                VectorPos clipped[3 + 6];
                int m = ClipPoly(tri, 3, clipped);
                if (m == 0)
                    return false;
                VectorXYZ sum = VectorXYZ::null();
                for (int j = 0; j < m; j++)
                    sum += clipped[j];
                g = sum * (1.0f / (float)m);
            }
            // Back from g along the normal until it meets a face of the
            // corner's octant.
            float t = 1e9f;
            for (int a = 0; a < 3; a++)
                if (n[a] != 0.0f)
                    t = std::min(t, (g[a] - k[a]) / n[a]);
            point = g - n * t;
        }

        pb = unitToBox * point;
        VectorPos ab = unitToBox * tri[0];
        nb = Normalise(VectorDir((unitToBox * tri[1] - ab) ^ (unitToBox * tri[2] - ab)));
        depth = Dot(nb, pb - ab);
        return true;
    };
    return TestFaces<BOX_STACK>(bounds.min, bounds.max, rec, contact);
}

// ---------------------------------------------------------------------------
// Helpers

int ClipPoly(VectorPos* in, int n, VectorPos* out)
{
    constexpr int ROOM = CLIPPOLY_MAXIN + 6;
    if (n <= 0 || n > CLIPPOLY_MAXIN)
        return 0;
    VectorPos buf[2][ROOM];
    for (int i = 0; i < n; i++)
        buf[0][i] = in[i];
    int cur = 0;
    // Faces +x, -x, +y, -y, +z, -z: a point is kept when sign * p[axis] <= 1.
    for (int face = 0; face < 6; face++)
    {
        int axis = face >> 1;
        float sign = (face & 1) ? -1.0f : 1.0f;
        const VectorPos* src = buf[cur];
        VectorPos* dst = buf[cur ^ 1];
        int m = 0;
        for (int i = 0; i < n; i++)
        {
            const VectorPos& prev = src[(i + n - 1) % n];
            const VectorPos& p = src[i];
            bool prevIn = sign * prev[axis] <= 1.0f;
            bool pIn = sign * p[axis] <= 1.0f;
            if (pIn != prevIn)
            {
                float t = (sign - prev[axis]) / (p[axis] - prev[axis]);
                dst[m++] = prev + (p - prev) * t;
            }
            if (pIn)
                dst[m++] = p;
        }
        n = m;
        if (n == 0)
            return 0;
        cur ^= 1;
    }
    for (int i = 0; i < n; i++)
        out[i] = buf[cur][i];
    return n;
}

VectorPos ClosestPoint(VectorPos a, VectorPos b, VectorPos p)
{
    VectorXYZ ab = b - a;
    float l2 = ab.LengthSq();
    if (l2 == 0.0f)
        return a;
    float t = Dot(ab, p - a) / l2;
    t = std::clamp(t, 0.0f, 1.0f);
    return a + ab * t;
}

bool InsidePoly(VectorPos p, VectorPos n, VectorPos* poly, int count)
{
    if (count <= 0)
        return false;
    VectorPos prev = poly[count - 1];
    for (int i = 0; i < count; i++)
    {
        if (Dot((prev - p) ^ (poly[i] - p), n) < 0.0f)
            return false;
        prev = poly[i];
    }
    return true;
}

bool Penetration(Sphere& s, VectorPos a, VectorPos b, VectorPos c, VectorPos* out)
{
    VectorDir n;
    VectorPos p;
    float depth;
    if (!SphereFaceContact(s.Centre(), s[3], a, b, c, n, p, depth))
        return false;
    if (out != nullptr)
    {
        *out = p;
        out->setw(depth);
    }
    return true;
}
