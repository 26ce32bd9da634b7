// Road network records: boxes and traversal.
#include "game/Road.h"

#include <algorithm>
#include <cmath>

float RoadType::Radius() const
{
    return std::max(vXSect[iRightEdge][0], -vXSect[0][0]);
}

namespace {

Cuboid EmptyBox()
{
    return Cuboid(VectorPos(1e38f, 1e38f, 1e38f), VectorPos(-1e38f, -1e38f, -1e38f));
}

// The horizontal normal of a road direction t: unit(t.z, 0, -t.x).
VectorDir Across(const VectorDir& t)
{
    return Normalise(VectorDir(t[2], 0.0f, -t[0]));
}

}  // namespace

Cuboid RoadSeg::GetBox() const
{
    Cuboid box = EmptyBox();
    for (int i = 0; i < 4; i++)
        box += VectorPos(bezier[i].v);
    const float r = type->Radius();
    box.min = box.min - VectorDir(r, r, r);
    box.max = box.max + VectorDir(r, r, r);
    return box;
}

const RoadSeg* RoadSeg::Next(bool& forward) const
{
    const Junction* j = jtn[forward ? 1 : 0];
    if (j == nullptr)
        return nullptr;
    for (int k = 0; k < j->nRoadsegs; k++) {
        const RoadSeg* rs = j->roadsegs[k];
        if (rs == nullptr || rs == this || rs->id != id)
            continue;
        forward = rs->jtn[0] == j;
        return rs;
    }
    return nullptr;
}

int Junction::Slot(const RoadSeg* rs) const
{
    for (int k = 0; k < nRoadsegs; k++)
        if (roadsegs[k] == rs)
            return k;
    return -1;
}

const RoadSeg* Junction::Next(const RoadSeg* rs) const
{
    const int k = Slot(rs);
    if (k < 0)
        return nullptr;
    const RoadSeg* n = roadsegs[(k + 1) % nRoadsegs];
    return n != nullptr ? n : rs;
}

const RoadSeg* Junction::Prev(const RoadSeg* rs) const
{
    const int k = Slot(rs);
    if (k < 0)
        return nullptr;
    const RoadSeg* n = roadsegs[(k + nRoadsegs - 1) % nRoadsegs];
    return n != nullptr ? n : rs;
}

int GetGeneralSignalCommand(unsigned short flags, unsigned short timeoffset, int time)
{
    const int T = time + int(timeoffset);
    const bool first = (flags & SIGNAL_FIRSTGROUP) != 0;
    switch (flags & JUNCTION_SIGNALMASK) {
    case 0: {
        // Four phases of 480 ticks; the quotient truncates toward zero.
        const int phase = (T / 480) & 3;
        if (first)
            return phase == 0 ? 13 : phase == 1 ? 14 : 12;
        return phase == 2 ? 13 : phase == 3 ? 14 : 12;
    }
    case 1:
        return 1;
    case 2: {
        // Each group's half of 2400 ticks: green, then two warning stages.
        const int r = T % 2400;
        const int s = first ? r : r - 1200;
        if (s < 0 || s >= 1200)
            return 12;
        return s <= 900 ? 1 : s <= 1050 ? 4 : 8;
    }
    default:
        return first ? 1 : 15;
    }
}

int Junction::GetSignalCommand(const RoadSeg& rs, int time) const
{
    const int k = Slot(&rs);
    if (k < 0)
        return 0;
    const bool first = nRoadsegs == 3 ? k < 2 : (k & 1) == 0;
    return GetGeneralSignalCommand(u16(u8Flags | (first ? SIGNAL_FIRSTGROUP : 0)), u16TimeOffset, time);
}

Cuboid Junction::GetBox() const
{
    float R = 0.0f;
    for (int k = 0; k < nRoadsegs; k++)
        R = std::max(R, roadsegs[k]->type->Radius());
    Cuboid box = EmptyBox();
    box += pos - VectorDir(R, R, R);
    box += pos + VectorDir(R, R, R);
    for (int k = 0; k < nRoadsegs; k++) {
        const RoadSeg* rs = roadsegs[k];
        const Bezier& b = rs->bezier;
        const float t = rs->jtn[0] == this ? b.c0[3] : 1.0f - b.c3[3];
        VectorDir tangent;
        const VectorPos p(b.EvaluateWithTangent(t, tangent).v);
        const VectorDir side = Across(Normalise(tangent)) * rs->type->Radius();
        box += p + side;
        box += p - side;
    }
    return box;
}

Cuboid GroundPatch::GetBox() const
{
    Cuboid box = EmptyBox();
    for (const Vector& p : patch.p)
        box += VectorPos(p.v);
    return box;
}

// ---------------------------------------------------------------------------
// Road geometry

namespace {

bool FlatZero(const Vector& d) { return d[0] == 0.0f && d[2] == 0.0f; }

// The direction out of end `e` (0: c0 toward c1, 3: c3 toward c2).  Where the
// handle has no horizontal length the direction is taken toward the next
// distinct control point, so an end always has a normal.
Vector EndDirection(const Bezier& b, int e)
{
    const int step = e == 0 ? 1 : -1;
    Vector d = b[e + step] - b[e];
    for (int i = e + 2 * step; FlatZero(d) && i >= 0 && i <= 3; i += step)
        d = b[i] - b[e];
    return d;
}

VectorDir StartNormal(const Bezier& b) { return Across(VectorDir(EndDirection(b, 0).v)); }
// n(c3 - c2), that is (c2 - c3) × (0, 1, 0) normalised.
VectorDir EndNormal(const Bezier& b) { return Across(VectorDir((-EndDirection(b, 3)).v)); }

Vector Lift(const VectorXYZ& d) { return Vector(d, 0.0f); }

Bezier OffsetWithStep(const Bezier& b, float d, float dy)
{
    VectorDir n1, n2;
    const Vector p1 = b.EvaluateWithNormal(vp1_3, n1);
    const Vector p2 = b.EvaluateWithNormal(vp2_3, n2);
    const Vector down(0.0f, dy, 0.0f, 0.0f);
    const Vector e0 = b.c0 + down + Lift(StartNormal(b) * d);
    const Vector e3 = b.c3 + down + Lift(EndNormal(b) * d);
    const VectorXYZ q1 = p1.xyz() + n1 * d;
    const VectorXYZ q2 = p2.xyz() + n2 * d;
    const float l1 = (q1 - e0.xyz()).Length();
    const float l2 = (q2 - e3.xyz()).Length();
    return Bezier(e0, e0 + (b.c1 - b.c0) * (l1 * b.c1[3]), e3 + (b.c2 - b.c3) * (l2 * b.c2[3]), e3);
}

}  // namespace

Bezier RoadSegOffset(const Bezier& b, float d)
{
    return OffsetWithStep(b, d, 0.0f);
}

Bezier RoadSegOffset(const Bezier& b, Vector v)
{
    if (v[0] == 0.0f) {
        const Vector down(0.0f, v[1], 0.0f, 0.0f);
        return Bezier(b.c0 + down, b.c1 + down, b.c2 + down, b.c3 + down);
    }
    return OffsetWithStep(b, v[0], v[1]);
}

Bezier JunctionOffset(const Bezier& b, float d0, float d1)
{
    const Vector e0 = b.c0 + Lift(StartNormal(b) * d0);
    const Vector e3 = b.c3 + Lift(EndNormal(b) * d1);
    const float k0 = std::max(0.0f, 1.0f + b.c1[3] * std::fabs(d0));
    const float k1 = std::max(0.0f, 1.0f + b.c2[3] * std::fabs(d1));
    return Bezier(e0, e0 + (b.c1 - b.c0) * k0, e3 + (b.c2 - b.c3) * k1, e3);
}

Bezier JunctionOffset(const Bezier& b, float d)
{
    return JunctionOffset(b, d, d);
}

BezierPatch MouthPatch(const Bezier& a, const Bezier& b, const Bezier& edge, bool lean)
{
    // Sideways, unit-free: (x, y, z) to (z, 0, -x).
    auto across = [](const Vector& v) { return Vector(v[2], 0.0f, -v[0], 0.0f); };
    BezierPatch p;
    p[0] = a.c3;
    p[1] = (a.c3 * 2.0f + b.c0) * (1.0f / 3.0f);
    p[2] = (a.c3 + b.c0 * 2.0f) * (1.0f / 3.0f);
    p[3] = b.c0;
    p[4] = a.c2;
    p[5] = p[1] + (a.c2 - a.c3);
    p[6] = p[2] + (b.c1 - b.c0);
    p[7] = b.c1;
    for (int i = 0; i < 4; i++)
        p[12 + i] = edge[i];
    p[8] = lean ? a.c1 + across(a.c1 - edge.c0) * 0.2f : a.c1;
    p[9] = (p[5] + p[13]) * 0.5f;
    p[10] = (p[6] + p[14]) * 0.5f;
    p[11] = lean ? b.c2 + across(edge.c3 - b.c2) * 0.2f : b.c2;
    return p;
}

Bezier RoadSeg::Offset(float d) const
{
    return RoadSegOffset(bezier, d);
}

float RoadType::CrossSectHeight(float x) const
{
    x = std::clamp(x, vXSect[0][0], vXSect[iRightEdge][0]);
    int i = 0;
    while (i + 2 < iNumXSectPts && vXSect[i + 1][0] <= x)
        i++;
    const Vector& p = vXSect[i];
    const Vector& q = vXSect[i + 1];
    // A face at the very end of the section: its outer point.
    if (q[0] == p[0])
        return q[1];
    return p[1] + (q[1] - p[1]) * (x - p[0]) / (q[0] - p[0]);
}

VECTOR* GetXSect(float u, const VECTOR* v0, int n)
{
    int i = n / 2;
    if (v0[i].x <= u) {
        while (i + 1 < n && v0[i + 1].x <= u)
            i++;
    } else {
        while (i > 0 && v0[i].x > u)
            i--;
    }
    return const_cast<VECTOR*>(v0 + i);
}

VECTOR* GetXSect(float u, const VECTOR* v0, int n, float* pwall, float y, const VECTOR* v, bool dir)
{
    const float u0 = *pwall;
    const int last = n - 1;
    int i = int(v - v0);
    // The segment of the old position, searched only in the given direction.
    if (dir) {
        if (u0 > v0[last].x)
            i = last;
        else
            while (i < last && v0[i + 1].x < u0)
                i++;
    } else {
        if (u0 < v0[0].x)
            i = 0;
        else
            while (i > 0 && v0[i].x > u0)
                i--;
    }
    *pwall = 0.0f;
    VECTOR* const base = const_cast<VECTOR*>(v0);

    if (u0 < u) {
        if (i >= last || u < v0[i + 1].x)
            return base + i;
        const float h0 = v0[i].y;
        for (; i < last && v0[i].x <= u; i++) {
            const VECTOR& p = v0[i];
            const VECTOR& q = v0[i + 1];
            const float rise = h0 - q.y;
            if (rise > KERB_WALL_RISE && 2.0f * (q.x - p.x) < rise && q.y < y) {
                *pwall = p.x - u;
                return base + std::max(i - 1, 0);
            }
            if (u < q.x)
                return base + i;
        }
        return base + last;
    }

    if (u >= v0[i].x)
        return base + i;
    if (i >= last)
        i = last - 1;
    const float h0 = v0[i + 1].y;
    for (; i >= 0; i--) {
        const VECTOR& p = v0[i];
        const VECTOR& q = v0[i + 1];
        if (!(q.x > u))
            break;
        const float rise = h0 - p.y;
        if (rise > KERB_WALL_RISE && 2.0f * (q.x - p.x) < rise && p.y < y) {
            *pwall = q.x - u;
            return base + i + 1;
        }
        if (p.x <= u)
            return base + i;
    }
    return base;
}

namespace {

// The turn a -> b -> c in x-z: positive turning from +x toward -z.
float Turn(const Vector& a, const Vector& b, const Vector& c)
{
    return (b[2] - a[2]) * (c[0] - b[0]) - (b[0] - a[0]) * (c[2] - b[2]);
}

struct HullEdge
{
    u8 a, b;
    bool positive;   // the inside is where the signed distance is positive
    bool closed;     // a point exactly r outside still passes
};

struct HullRow
{
    u8 count;
    HullEdge edges[4];
};

// Row r - 1 of the turn table: the edges bounding the control polygon's hull.
constexpr HullRow kHullRows[8] = {
    {4, {{0, 1, true, false}, {1, 2, true, false}, {2, 3, true, false}, {0, 3, false, false}}},
    {3, {{0, 1, true, true}, {1, 3, true, true}, {0, 3, false, false}}},
    {4, {{0, 1, true, true}, {1, 3, true, true}, {0, 2, false, false}, {2, 3, false, false}}},
    {3, {{0, 3, true, false}, {0, 2, false, false}, {2, 3, false, false}}},
    {4, {{0, 3, true, false}, {0, 1, false, false}, {1, 2, false, false}, {2, 3, false, false}}},
    {3, {{0, 3, true, false}, {0, 1, false, true}, {1, 3, false, true}}},
    {4, {{0, 2, true, false}, {2, 3, true, false}, {0, 1, false, true}, {1, 3, false, true}}},
    {3, {{0, 2, true, false}, {2, 3, true, false}, {0, 3, false, false}}},
};

float DotXZ(const Vector& a, const Vector& b) { return a[0] * b[0] + a[2] * b[2]; }

}  // namespace

int ConvexHullRow(const Bezier& b)
{
    const float t1 = Turn(b.c0, b.c1, b.c2);
    const float t2 = Turn(b.c1, b.c2, b.c3);
    if (t1 > 0.0f) {
        if (t2 > 0.0f)
            return 1;
        if (Turn(b.c0, b.c1, b.c3) > 0.0f)
            return Turn(b.c0, b.c2, b.c3) > 0.0f ? 2 : 3;
        return 4;
    }
    if (t2 < 0.0f)
        return 5;
    if (Turn(b.c0, b.c1, b.c3) < 0.0f)
        return Turn(b.c0, b.c2, b.c3) < 0.0f ? 6 : 7;
    return 8;
}

bool ConvexHullCheck(const Bezier& b, VectorXZ p, float r)
{
    const Vector pt(p[0], 0.0f, p[2], 0.0f);
    float minx = b.c0[0], maxx = b.c0[0], minz = b.c0[2], maxz = b.c0[2];
    for (int i = 1; i < 4; i++) {
        minx = std::min(minx, b[i][0]);
        maxx = std::max(maxx, b[i][0]);
        minz = std::min(minz, b[i][2]);
        maxz = std::max(maxz, b[i][2]);
    }
    if (pt[0] < minx - r || pt[0] > maxx + r || pt[2] < minz - r || pt[2] > maxz + r)
        return false;

    const Vector f0 = pt - b.c0, f3 = pt - b.c3;
    if (DotXZ(f0, f0) < DotXZ(f3, f3)) {
        if (DotXZ(f0, EndDirection(b, 0)) < 0.0f)
            return false;
    } else if (DotXZ(f3, EndDirection(b, 3)) < 0.0f) {
        return false;
    }

    const HullRow& row = kHullRows[ConvexHullRow(b) - 1];
    for (int k = 0; k < row.count; k++) {
        const HullEdge& edge = row.edges[k];
        const Vector& a = b[edge.a];
        const float ex = b[edge.b][0] - a[0], ez = b[edge.b][2] - a[2];
        const float len = std::sqrt(ex * ex + ez * ez);
        // Two control points on one spot bound nothing.
        if (len == 0.0f)
            continue;
        const float s = ((pt[0] - a[0]) * ez - ex * (pt[2] - a[2])) / len;
        const bool pass = edge.positive ? (edge.closed ? s >= -r : s > -r) : (edge.closed ? s <= r : s < r);
        if (!pass)
            return false;
    }
    return true;
}
