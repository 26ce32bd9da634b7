// Cubic Bezier curves and splines: evaluation, subdivision, arc length, and
// the queries the road and movement code make of where a position lies along
// and across a curve.
#include "ZevEngine2/PS2/Bezier.h"

alignas(16) const float Bezier::blend[4][4] = {
    {-1.0f, 3.0f, -3.0f, 1.0f},
    {3.0f, -6.0f, 3.0f, 0.0f},
    {-3.0f, 3.0f, 0.0f, 0.0f},
    {1.0f, 0.0f, 0.0f, 0.0f},
};

alignas(16) const float Bezier::tangentblend[4][4] = {
    {0.0f, 0.0f, 0.0f, 0.0f},
    {-3.0f, 9.0f, -9.0f, 3.0f},
    {6.0f, -12.0f, 6.0f, 0.0f},
    {-3.0f, 3.0f, 0.0f, 0.0f},
};

namespace
{
// The curve searches halve a piece until it is flat.  A finite curve is flat
// long before the piece's parameter span drops below float resolution (about
// 24 halvings); the bound only stops a curve holding NaNs from looping.
constexpr int kMaxHalvings = 40;

// Weights T0*row0 + T1*row1 + T2*row2 + T3*row3 of a blend table for the
// power vector (T0, T1, T2, T3) = (t³, t², t, 1).
inline Vector Weights(const float table[4][4], float t3, float t2, float t1, float t0)
{
    return Vector(table[0]) * t3 + Vector(table[1]) * t2 + Vector(table[2]) * t1 + Vector(table[3]) * t0;
}

// The four control points weighted by W.
inline Vector Blend(const Bezier& b, const Vector& w)
{
    return b.c0 * w[0] + b.c1 * w[1] + b.c2 * w[2] + b.c3 * w[3];
}

inline Vector PointAt(const Bezier& b, float t)
{
    return Blend(b, Weights(Bezier::blend, t * t * t, t * t, t, 1.0f));
}

inline Vector TangentAt(const Bezier& b, float t)
{
    return Blend(b, Weights(Bezier::tangentblend, t * t * t, t * t, t, 1.0f));
}

// normalise(T.z, 0, -T.x) = normalise((0, 1, 0) × T).
inline VectorDir HorizontalNormal(const Vector& tangent)
{
    return Normalise(VectorDir(tangent[2], 0.0f, -tangent[0]));
}

inline float CrossLengthSq(const Vector& a, const Vector& b) { return (a.xyz() ^ b.xyz()).LengthSq(); }

// A copy of the curve whose w components are the parameters of its control
// points, so that every piece split from it carries its own parameter range
// in c0.w .. c3.w.
Bezier WithParameters(const Bezier& b)
{
    Bezier r = b;
    r.c0.setw(0.0f);
    r.c1.setw(1.0f / 3.0f);
    r.c2.setw(2.0f / 3.0f);
    r.c3.setw(1.0f);
    return r;
}

// Halves the piece toward pos until it is flat: at each halving the half
// whose side of the split point pos lies on (over x and z) is kept, the left
// one on a tie.  With spanLimit the piece must also span less than a quarter
// of the curve's parameter range.
Bezier FlatPieceToward(Bezier b, const VectorPos& pos, bool spanLimit)
{
    for (int i = 0; i < kMaxHalvings; i++)
    {
        Vector d = b.c3 - b.c0;
        bool flat = (!spanLimit || d[3] < 0.25f) && CrossLengthSq(d, b.c1 - b.c0) < 0.001f &&
                    CrossLengthSq(d, b.c2 - b.c3) < 0.001f;
        if (flat)
            break;
        Bezier left, right;
        b.Split(left, right);
        Vector m = left.c3;
        float s = (pos[0] - m[0]) * (left.c2[0] - m[0]) + (pos[2] - m[2]) * (left.c2[2] - m[2]);
        b = s >= 0.0f ? left : right;
    }
    return b;
}
}  // namespace

// ---------------------------------------------------------------------------
// Evaluation

Vector Bezier::Evaluate(float t) const { return PointAt(*this, t); }

Vector Bezier::Evaluate(const VectorPos& T) const { return Blend(*this, Weights(blend, T[0], T[1], T[2], 1.0f)); }

VectorDir Bezier::EvaluateTangent(float t) const { return VectorDir(TangentAt(*this, t).v); }

VectorDir Bezier::EvaluateTangent(const VectorPos& T) const
{
    return VectorDir(Blend(*this, Weights(tangentblend, T[0], T[1], T[2], 1.0f)).v);
}

VectorDir Bezier::EvaluateNormal(float t) const { return HorizontalNormal(TangentAt(*this, t)); }

Vector Bezier::EvaluateWithTangent(float t, VectorDir& tangent) const
{
    tangent = VectorDir(TangentAt(*this, t).v);
    return PointAt(*this, t);
}

Vector Bezier::EvaluateWithNormal(float t, VectorDir& normal) const
{
    normal = HorizontalNormal(TangentAt(*this, t));
    return PointAt(*this, t);
}

Vector Bezier::EvaluateWithNormal(const VectorPos& T, VectorDir& normal) const
{
    normal = HorizontalNormal(Blend(*this, Weights(tangentblend, T[0], T[1], T[2], 1.0f)));
    return Evaluate(T);
}

Vector Bezier::EvaluateWithNormalAndTangent(float t, VectorDir& normal, VectorDir& tangent) const
{
    Vector d = TangentAt(*this, t);
    tangent = VectorDir(d.v);
    normal = HorizontalNormal(d);
    return PointAt(*this, t);
}

// ---------------------------------------------------------------------------
// Subdivision

void Bezier::Split(VectorX t, Bezier& bl, Bezier& br) const
{
    float s = t;
    float u = 1.0f - s;
    Vector q01 = c0 * u + c1 * s;
    Vector q12 = c1 * u + c2 * s;
    Vector q23 = c2 * u + c3 * s;
    Vector r0 = q01 * u + q12 * s;
    Vector r1 = q12 * u + q23 * s;
    Vector p = r0 * u + r1 * s;
    Bezier left(c0, q01, r0, p), right(p, r1, q23, c3);   // this may be bl or br
    bl = left;
    br = right;
}

Bezier Bezier::SplitLeft(VectorX t) const
{
    Bezier l, r;
    Split(t, l, r);
    return l;
}

Bezier Bezier::SplitRight(VectorX t) const
{
    Bezier l, r;
    Split(t, l, r);
    return r;
}

void Bezier::Split(Bezier& bl, Bezier& br) const
{
    Vector q01 = (c0 + c1) * 0.5f;
    Vector q12 = (c1 + c2) * 0.5f;
    Vector q23 = (c2 + c3) * 0.5f;
    Vector r0 = (q01 + q12) * 0.5f;
    Vector r1 = (q12 + q23) * 0.5f;
    Vector p = (r0 + r1) * 0.5f;
    Bezier left(c0, q01, r0, p), right(p, r1, q23, c3);   // this may be bl or br
    bl = left;
    br = right;
}

Bezier Bezier::SplitLeft() const
{
    Bezier l, r;
    Split(l, r);
    return l;
}

Bezier Bezier::SplitRight() const
{
    Bezier l, r;
    Split(l, r);
    return r;
}

Bezier Bezier::Flip() const { return Bezier(c3, c2, c1, c0); }

Bezier Bezier::Middle(float t0, float t1) const
{
    float k = (t1 - t0) / 3.0f;
    Vector p0 = PointAt(*this, t0), p1 = PointAt(*this, t1);
    return Bezier(p0, p0 + TangentAt(*this, t0) * k, p1 - TangentAt(*this, t1) * k, p1);
}

Bezier Bezier::UnMiddle(float t0, float t1) const
{
    // The whole curve's [0, 1] is this piece's [-t0/(t1 - t0), (1 - t0)/(t1 - t0)].
    float span = t1 - t0;
    return Middle(-t0 / span, (1.0f - t0) / span);
}

Bezier::operator Cubic() const
{
    return Cubic(Matrix(Blend(*this, Vector(blend[0])), Blend(*this, Vector(blend[1])),
                        Blend(*this, Vector(blend[2])), Blend(*this, Vector(blend[3]))));
}

float Length(const Bezier& b, int level)
{
    if (level <= 0)
    {
        float polygon = (b.c1 - b.c0).xyz().Length() + (b.c2 - b.c1).xyz().Length() + (b.c3 - b.c2).xyz().Length();
        return (polygon + (b.c3 - b.c0).xyz().Length()) * 0.5f;
    }
    Bezier l, r;
    b.Split(l, r);
    return Length(l, level - 1) + Length(r, level - 1);
}

// ---------------------------------------------------------------------------
// Where a position lies along and across the curve

VectorXYZ Bezier::CalcParams(VectorPos pos, VectorDir& dir) const
{
    Bezier b = FlatPieceToward(WithParameters(*this), pos, true);
    Vector d = b.c3 - b.c0;
    float dx = pos[0] - b.c0[0], dz = pos[2] - b.c0[2];
    float l2 = d[0] * d[0] + d[2] * d[2];
    // A piece with no horizontal extent (a curve collapsed to a point, or
    // running straight up) has no across: its start answers.
    float u = l2 > 0.0f ? (dx * d[0] + dz * d[2]) / l2 : 0.0f;
    float side = l2 > 0.0f ? (dx * d[2] - d[0] * dz) / sqrtf(l2) : 0.0f;
    float height = b.c0[1] + d[1] * u;
    float t = b.c0[3] + u * d[3];
    dir = VectorDir(d.v);
    return VectorXYZ(side, height, t);
}

Vector Bezier::ClosestPoint(VectorPos pos, float* t, float* d) const
{
    Bezier b = FlatPieceToward(WithParameters(*this), pos, false);
    Vector chord = b.c3 - b.c0;
    float dx = pos[0] - b.c0[0], dz = pos[2] - b.c0[2];
    float l2 = chord[0] * chord[0] + chord[2] * chord[2];
    float u = l2 > 0.0f ? (dx * chord[0] + dz * chord[2]) / l2 : 0.0f;
    float tt = std::clamp(b.c0[3] + u * chord[3], 0.0f, 1.0f);
    Vector result = Evaluate(tt);
    if (t)
        *t = tt;
    if (d)
    {
        float qx = pos[0] - result[0], qz = pos[2] - result[2];
        *d = l2 > 0.0f ? (chord[0] * qz - qx * chord[2]) / sqrtf(l2) : 0.0f;
    }
    return result;
}

VectorXYZ Bezier::CalcParamsNR(VectorPos pos, VectorDir& dir, float t) const
{
    // Point and tangent coefficients, formed once.
    Matrix points(Blend(*this, Vector(blend[0])), Blend(*this, Vector(blend[1])), Blend(*this, Vector(blend[2])),
                  Blend(*this, Vector(blend[3])));
    Matrix tangents(Blend(*this, Vector(tangentblend[0])), Blend(*this, Vector(tangentblend[1])),
                    Blend(*this, Vector(tangentblend[2])), Blend(*this, Vector(tangentblend[3])));
    Vector p, d;
    float ex = 0.0f, ez = 0.0f;
    for (int i = 0; i < 10; i++)
    {
        Vector T(t * t * t, t * t, t, 1.0f);
        p = points * T;
        d = tangents * T;
        ex = pos[0] - p[0];
        ez = pos[2] - p[2];
        float e = ex * d[0] + ez * d[2];
        if (fabsf(e) < 0.01f)
            break;
        t += e / (d[0] * d[0] + d[2] * d[2]);
    }
    float speed2 = d[0] * d[0] + d[2] * d[2];
    float side = speed2 > 0.0f ? (ex * d[2] - d[0] * ez) / sqrtf(speed2) : 0.0f;
    dir = VectorDir(d.v);
    return VectorXYZ(side, p[1], t);
}

bool Intersect2D(const Bezier& bez1, const Bezier& bez2, float* pf1, float* pf2, float t1, float t2)
{
    // The horizontal cross product a ⊗ b = a.z*b.x - a.x*b.z.
    auto cross = [](const VectorStore& a, const VectorStore& b) { return a[2] * b[0] - a[0] * b[2]; };
    // Within range unless outside [0.1, 1.1] (or not a number).
    auto inRange = [](float t) { return t >= 0.1f && t <= 1.1f; };
    for (int i = 0; i <= INTERSECT2D_STEPS; i++)
    {
        VectorDir tan1, tan2;
        Vector p1 = bez1.EvaluateWithTangent(t1, tan1);
        Vector p2 = bez2.EvaluateWithTangent(t2, tan2);
        Vector v(p2[0] - p1[0], 0.0f, p2[2] - p1[2], 0.0f);
        if (v[0] * v[0] + v[2] * v[2] < 0.01f * 0.01f)
        {
            *pf1 = t1;
            *pf2 = t2;
            return true;
        }
        if (i == INTERSECT2D_STEPS)
            break;
        // Solving p1 + tan1*d1 = p2 + tan2*d2 in x and z.
        float det = cross(tan1, tan2);
        if (det == 0.0f)
            return false;
        t1 += cross(v, tan2) / det;
        if (!inRange(t1))
            return false;
        t2 += cross(v, tan1) / det;
        if (!inRange(t2))
            return false;
    }
    return false;
}

Bezier Bezier::OffsetApprox(float dist) const
{
    VectorDir n1, n2;
    Vector f1 = EvaluateWithNormal(vp1_3, n1);
    Vector f2 = EvaluateWithNormal(vp2_3, n2);
    Vector d0 = c1 - c0, d1 = c2 - c3;

    // The ends move along the horizontal normals there; their w stays.
    VectorXYZ up(0.0f, 1.0f, 0.0f);
    Vector e0 = c0 + Vector(Normalise(up ^ d0.xyz()) * dist, 0.0f);
    Vector e3 = c3 + Vector(Normalise(d1.xyz() ^ up) * dist, 0.0f);

    // The handles keep their directions, scaled by how much the distance from
    // the end to the offset third point grew or shrank.
    VectorXYZ q1 = f1.xyz() + n1 * dist;
    VectorXYZ q2 = f2.xyz() + n2 * dist;
    float k1 = (q1 - e0.xyz()).Length() / (f1 - c0).xyz().Length();
    float k2 = (q2 - e3.xyz()).Length() / (f2 - c3).xyz().Length();
    return Bezier(e0, e0 + d0 * k1, e3 + d1 * k2, e3);
}

// ---------------------------------------------------------------------------
// Cubic

Vector Cubic::Evaluate(float t) const { return x * (t * t * t) + y * (t * t) + z * t + w; }

VectorDir Cubic::EvaluateTangent(float t) const { return VectorDir((x * (3.0f * t * t) + y * (2.0f * t) + z).v); }

VectorDir Cubic::EvaluateNormal(float t) const
{
    return HorizontalNormal(Vector(EvaluateTangent(t).v));
}

Vector Cubic::EvaluateWithNormal(float t, VectorDir& normal) const
{
    normal = EvaluateNormal(t);
    return Evaluate(t);
}

// ---------------------------------------------------------------------------
// Spline

namespace
{
// Segment min(trunc(t), n - 1), and 0 for t below 0 (or NaN).
inline int SegmentOf(float t, int n)
{
    if (!(t > 0.0f))
        return 0;
    if (t >= static_cast<float>(n - 1))
        return n - 1;
    return static_cast<int>(t);
}
}  // namespace

Vector Spline::Evaluate(float t) const
{
    int n = NumSplines();
    if (n == 0)
        return Vector::zero();
    int i = SegmentOf(t, n);
    return GetBezier(i).Evaluate(t - static_cast<float>(i));
}

VectorDir Spline::Tangent(float t) const
{
    int n = NumSplines();
    if (n == 0)
        return VectorDir::null();
    int i = SegmentOf(t, n);
    return GetBezier(i).EvaluateTangent(t - static_cast<float>(i));
}

Vector Spline::ClosestPoint(VectorPos pos, float* t) const
{
    float bestDist = -1.0f, bestT = -1.0f;
    Vector best = Vector::zero();
    int n = NumSplines();
    for (int i = 0; i < n; i++)
    {
        float u;
        Vector p = GetBezier(i).ClosestPoint(pos, &u, nullptr);
        float dist = (p.xyz() - pos).LengthSq();
        if (bestDist < 0.0f || dist < bestDist)
        {
            bestDist = dist;
            bestT = static_cast<float>(i) + u;
            best = p;
        }
    }
    if (t)
        *t = bestT;
    return best;
}

Vector Spline::ClosestPointNR(VectorPos pos, float seed, float* t) const
{
    int n = NumSplines();
    float bestDist = -1.0f, bestT = -1.0f;
    int bestSeg = -1;
    for (int i = 0; i < n; i++)
    {
        const Bezier& seg = GetBezier(i);
        float local = seed - static_cast<float>(i);
        float start = (seed < 0.0f || local < -1.0f || local > 2.0f) ? 0.5f : std::clamp(local, 0.0f, 1.0f);
        VectorDir dir;
        VectorXYZ r = seg.CalcParamsNR(pos, dir, start);
        float segT, dist;
        if (r[2] < 0.0f)
        {
            segT = 0.0f;
            dist = (seg.Evaluate(0.0f).xyz() - pos).Length();
        }
        else if (r[2] > 1.0f)
        {
            segT = 1.0f;
            dist = (seg.Evaluate(1.0f).xyz() - pos).Length();
        }
        else
        {
            segT = r[2];
            dist = fabsf(r[0]);
        }
        if (bestSeg < 0 || dist < bestDist)
        {
            bestSeg = i;
            bestDist = dist;
            bestT = segT;
        }
    }
    if (bestSeg < 0)
    {
        if (t)
            *t = -1.0f;
        return Vector::zero();
    }
    if (t)
        *t = static_cast<float>(bestSeg) + bestT;
    return GetBezier(bestSeg).Evaluate(bestT);
}

float Length(const Spline& s, int level)
{
    float total = 0.0f;
    int n = s.NumSplines();
    for (int i = 0; i < n; i++)
        total += Length(s.GetBezier(i), level);
    return total;
}
