// Bicubic Bezier patches: evaluation, the x-z hull of the boundary, and the
// searches that find the (u, v) parameters and the height under a horizontal
// position (the ground of junctions and ground patches).
#include "ZevEngine2/PS2/Bezier.h"

#include <algorithm>

namespace
{
// The twelve boundary points in ring order, the first repeated.
const int kRing[BEZIERPATCH_HULL_MAX] = {0, 1, 2, 3, 7, 11, 15, 14, 13, 12, 8, 4, 0};

// The subdividing searches keep their pieces on a fixed stack.  A position
// shared by several pieces (on a split line) leaves extra pieces behind at
// each level; a search that runs out of room, or that has looked at this many
// pieces without an answer, gives up.
constexpr int kStackPieces = 32;
constexpr int kMaxPieces = 1024;

// (p - a).x*(b - a).z - (b - a).x*(p - a).z: positive when p lies outside the
// edge a -> b of a hull walked in ring order.
inline float EdgeCross(const VectorXZ& a, const VectorXZ& b, const VectorXZ& p)
{
    VectorXZ e = b - a, f = p - a;
    return f[0] * e[2] - e[0] * f[2];
}

// The turn a -> b -> p: (p - b).x*(b - a).z - (b - a).x*(p - b).z, positive
// when b is a dent in a hull walked in ring order.
inline float TurnCross(const VectorXZ& a, const VectorXZ& b, const VectorXZ& p)
{
    VectorXZ e = b - a, f = p - b;
    return f[0] * e[2] - e[0] * f[2];
}

// The four quarters of a patch, halved along u and along v, in the order
// (u low, v low), (u high, v low), (u low, v high), (u high, v high).  Each
// gets its half of the parameter ranges held in p[0].w .. p[3].w (u) and
// p[1].w .. p[13].w (v).
void SplitQuarters(const BezierPatch& patch, BezierPatch quarter[4])
{
    // Rows first: four rows of seven points.
    Vector rows[4][7];
    for (int r = 0; r < 4; r++)
    {
        Bezier left, right;
        patch.Row(r).Split(left, right);
        for (int k = 0; k < 4; k++)
            rows[r][k] = left[k];
        for (int k = 1; k < 4; k++)
            rows[r][3 + k] = right[k];
    }
    // Then the seven columns: a net of seven by seven.
    Vector net[7][7];
    for (int c = 0; c < 7; c++)
    {
        Bezier left, right;
        Bezier(rows[0][c], rows[1][c], rows[2][c], rows[3][c]).Split(left, right);
        for (int k = 0; k < 4; k++)
            net[k][c] = left[k];
        for (int k = 1; k < 4; k++)
            net[3 + k][c] = right[k];
    }

    float u0 = patch.p[0][3], u1 = patch.p[3][3], um = (u0 + u1) * 0.5f;
    float v0 = patch.p[1][3], v1 = patch.p[13][3], vm = (v0 + v1) * 0.5f;
    for (int q = 0; q < 4; q++)
    {
        int col0 = (q & 1) ? 3 : 0, row0 = (q & 2) ? 3 : 0;
        BezierPatch& piece = quarter[q];
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++)
                piece.p[4 * r + c] = net[row0 + r][col0 + c];
        piece.p[0].setw((q & 1) ? um : u0);
        piece.p[3].setw((q & 1) ? u1 : um);
        piece.p[1].setw((q & 2) ? vm : v0);
        piece.p[13].setw((q & 2) ? v1 : vm);
    }
}

// Pops pieces and, until `take` answers, replaces each by those of its
// quarters that lie over pos.  `take` returns true when the piece answers.
template <class Take>
bool Subdivide(const BezierPatch& patch, VectorXZ pos, Take take)
{
    BezierPatch stack[kStackPieces];
    int sp = 0;
    stack[sp] = patch;
    stack[sp].p[0].setw(0.0f);
    stack[sp].p[3].setw(1.0f);
    stack[sp].p[1].setw(0.0f);
    stack[sp].p[13].setw(1.0f);
    sp++;
    for (int examined = 0; sp > 0 && examined < kMaxPieces; examined++)
    {
        BezierPatch piece = stack[--sp];
        if (take(piece))
            return true;
        BezierPatch quarter[4];
        SplitQuarters(piece, quarter);
        for (int q = 0; q < 4; q++)
        {
            if (!quarter[q].ConvexHullCheck(pos))
                continue;
            if (sp == kStackPieces)
                return false;
            stack[sp++] = quarter[q];
        }
    }
    return false;
}

inline bool InRange(float x, float lo, float hi) { return x >= lo && x <= hi; }   // false for NaN
}  // namespace

// ---------------------------------------------------------------------------
// Evaluation

Bezier BezierPatch::EvaluateU(float u) const
{
    return Bezier(Row(0).Evaluate(u), Row(1).Evaluate(u), Row(2).Evaluate(u), Row(3).Evaluate(u));
}

Bezier BezierPatch::EvaluateV(float v) const
{
    return Bezier(Column(0).Evaluate(v), Column(1).Evaluate(v), Column(2).Evaluate(v), Column(3).Evaluate(v));
}

Vector BezierPatch::Evaluate(float u, float v) const { return EvaluateU(u).Evaluate(v); }

void BezierPatch::CalcInterior()
{
    p[5] = p[1] + p[4] - p[0];
    p[6] = p[2] + p[7] - p[3];
    p[9] = p[8] + p[13] - p[12];
    p[10] = p[11] + p[14] - p[15];
}

Sphere BezierPatch::CalcCentre() const
{
    Vector sum = p[0];
    for (int i = 1; i < 16; i++)
        sum += p[i];
    Vector centre = sum / 16.0f;
    float far2 = 0.0f;
    for (int i = 0; i < 16; i++)
        far2 = std::max(far2, (p[i] - centre).xyz().LengthSq());
    return Sphere(Vector(centre.xyz(), sqrtf(far2)));
}

// ---------------------------------------------------------------------------
// Boundary hull

int ConvexHull(const BezierPatch& patch, VectorXZ* hull)
{
    int n = 0;
    for (int k = 0; k < BEZIERPATCH_HULL_MAX; k++)
    {
        VectorXZ q = patch.p[kRing[k]].xz();
        // Drop the last point while it makes an outward turn; collinear
        // points stay.
        while (n >= 2 && TurnCross(hull[n - 2], hull[n - 1], q) > 0.0f)
            n--;
        hull[n++] = q;
    }
    return n;
}

bool ConvexHullCheck(VectorXZ xz, const VectorXZ* hull, int n)
{
    for (int i = 0; i < n - 1; i++)
        if (EdgeCross(hull[i], hull[i + 1], xz) > 0.0f)
            return false;
    return true;
}

bool ConvexHullCheck(VectorXZ p0, VectorXZ p1, VectorXZ p2, VectorXZ p3, VectorXZ pos)
{
    VectorXZ pts[4] = {p0, p1, p2, p3};
    std::sort(pts, pts + 4,
              [](const VectorXZ& a, const VectorXZ& b) { return a[0] < b[0] || (a[0] == b[0] && a[2] < b[2]); });
    // The lower chain left to right, then the upper chain back: a closed hull
    // that turns the way ConvexHull's does, so the same edge test applies.
    VectorXZ hull[8];
    int n = 0;
    for (int i = 0; i < 4; i++)
    {
        while (n >= 2 && TurnCross(hull[n - 2], hull[n - 1], pts[i]) > 0.0f)
            n--;
        hull[n++] = pts[i];
    }
    const int lower = n;
    for (int i = 2; i >= 0; i--)
    {
        while (n > lower && TurnCross(hull[n - 2], hull[n - 1], pts[i]) > 0.0f)
            n--;
        hull[n++] = pts[i];
    }
    // Collinear points make a hull without an inside, whose edge test holds
    // the whole line: the box of the points keeps pos on the segment.
    if (pos[0] < pts[0][0] || pos[0] > pts[3][0])
        return false;
    float zmin = std::min({p0[2], p1[2], p2[2], p3[2]}), zmax = std::max({p0[2], p1[2], p2[2], p3[2]});
    if (pos[2] < zmin || pos[2] > zmax)
        return false;
    return ::ConvexHullCheck(pos, hull, n);
}

bool ConvexHullCheck(const Bezier& b, VectorXZ pos)
{
    return ConvexHullCheck(b.c0.xz(), b.c1.xz(), b.c2.xz(), b.c3.xz(), pos);
}

bool BezierPatch::ConvexHullCheck(VectorXZ xz) const
{
    VectorXZ hull[BEZIERPATCH_HULL_MAX];
    int n = ConvexHull(*this, hull);
    return ::ConvexHullCheck(xz, hull, n);
}

// ---------------------------------------------------------------------------
// Locating a position

VectorXY EstimateBezierPatchParams(const BezierPatch& patch, VectorPos pos)
{
    const BezierPatch& P = patch;
    VectorXYZ q = pos - P.p[0].xyz();
    VectorXYZ diag = (P.p[15] - P.p[0]).xyz();
    VectorXYZ e = (P.p[3] - P.p[0]).xyz();

    // Two triangles either side of the diagonal p[0]-p[15]; pos is expressed
    // in the affine frame of its triangle.
    auto local = [&pos](const VectorXYZ& origin, const VectorXYZ& a, const VectorXYZ& b) {
        Matrix frame(Vector(a, 0.0f), Vector(b, 0.0f), Vector(a ^ b, 0.0f), Vector(origin, 1.0f));
        return frame.Inverse() * pos;
    };
    if (Dot(q ^ diag, e ^ diag) > 0.0f)
    {
        VectorXYZ o = P.p[3].xyz();
        VectorPos ab = local(o, P.p[0].xyz() - o, P.p[15].xyz() - o);
        return VectorXY(1.0f - ab[0], ab[1]);
    }
    if (P.p[15].xyz() == P.p[12].xyz())
        return VectorXY(0.0f, Dot(q, diag) / diag.LengthSq());   // collapsed edge
    VectorXYZ o = P.p[12].xyz();
    VectorPos ab = local(o, P.p[15].xyz() - o, P.p[0].xyz() - o);
    return VectorXY(ab[0], 1.0f - ab[1]);
}

bool BezierPatch::CalcParamsNR(VectorPos pos, Vector& result, VectorDir& normal, float u, float v) const
{
    Vector pt;
    VectorDir tu, tv;
    for (int i = 0; i < 10; i++)
    {
        Bezier bu = EvaluateU(u), bv = EvaluateV(v);
        tu = bv.EvaluateTangent(u);   // dP/du
        tv = bu.EvaluateTangent(v);   // dP/dv
        pt = bu.Evaluate(v);
        float ex = pos[0] - pt[0], ez = pos[2] - pt[2];
        float eu = ex * tu[0] + ez * tu[2];
        float ev = ex * tv[0] + ez * tv[2];
        if (fabsf(eu) + fabsf(ev) < 0.01f)
            break;
        if (eu != 0.0f)
            u += eu / (tu[0] * tu[0] + tu[2] * tu[2]);
        if (ev != 0.0f)
            v += ev / (tv[0] * tv[0] + tv[2] * tv[2]);
        if (!InRange(u, -0.1f, 1.1f) || !InRange(v, -0.1f, 1.1f))
            return false;
    }
    result = Vector(u, pt[1], v, 0.0f);
    normal = tu ^ tv;
    return true;
}

bool BezierPatch::CalcParams(VectorPos pos, Vector& result, VectorDir& normal) const
{
    VectorXZ xz = pos.xz();
    if (!ConvexHullCheck(xz))
        return false;
    return Subdivide(*this, xz, [&](const BezierPatch& piece) {
        VectorXY uv = EstimateBezierPatchParams(piece, pos);
        float u = std::clamp(float(uv[0]), 0.0f, 1.0f);
        float v = std::clamp(float(uv[1]), 0.0f, 1.0f);
        Vector r;
        VectorDir n;
        if (!piece.CalcParamsNR(pos, r, n, u, v))
            return false;
        float u0 = piece.p[0][3], u1 = piece.p[3][3];
        float v0 = piece.p[1][3], v1 = piece.p[13][3];
        result = r;
        result.setx(u0 + r[0] * (u1 - u0));
        result.setz(v0 + r[2] * (v1 - v0));
        normal = n;
        return true;
    });
}

float BezierPatch::Evaluate(VectorPos pos, VectorDir& normal) const
{
    VectorXZ xz = pos.xz();
    if (!ConvexHullCheck(xz))
        return 0.0f;
    float height = 0.0f;
    bool found = Subdivide(*this, xz, [&](const BezierPatch& piece) {
        if ((piece.p[0] - piece.p[15]).xyz().LengthSq() >= 0.1f)
            return false;
        // Small enough to take as the parallelogram spanned from p[0].
        VectorXYZ o = piece.p[0].xyz();
        VectorXYZ a = piece.p[3].xyz() - o, b = piece.p[12].xyz() - o;
        normal = a ^ b;
        float dx = pos[0] - o[0], dz = pos[2] - o[2];
        float s = (dx * a[0] + dz * a[2]) / (a[0] * a[0] + a[2] * a[2]);
        float t = (dx * b[0] + dz * b[2]) / (b[0] * b[0] + b[2] * b[2]);
        height = o[1] + s * a[1] + t * b[1];
        return true;
    });
    return found ? height : 0.0f;
}

float BezierPatch::EvaluateNR(VectorPos pos, VectorDir& normal, float u, float v) const
{
    Vector pt;
    VectorDir tu, tv;
    for (int i = 0; i < 100; i++)
    {
        Bezier bu = EvaluateU(u), bv = EvaluateV(v);
        tu = bv.EvaluateTangent(u);
        tv = bu.EvaluateTangent(v);
        pt = bu.Evaluate(v);
        float ex = pos[0] - pt[0], ez = pos[2] - pt[2];
        float eu = ex * tu[0] + ez * tu[2];
        float ev = ex * tv[0] + ez * tv[2];
        if (fabsf(eu) + fabsf(ev) < 0.01f)
            break;
        if (eu != 0.0f)
            u += eu / (tu[0] * tu[0] + tu[2] * tu[2]);
        if (ev != 0.0f)
            v += ev / (tv[0] * tv[0] + tv[2] * tv[2]);
    }
    if (!InRange(u, 0.0f, 1.0f) || !InRange(v, 0.0f, 1.0f))
        return 0.0f;
    normal = tu ^ tv;
    return pt[1];
}
