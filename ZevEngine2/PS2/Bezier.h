// Cubic Bezier curves, their chains (Spline) and bicubic patches.
//
// Curves are the engine's path primitive: road centre lines and kerbs,
// pedestrian and car paths, camera and mission splines; patches are the ground
// of junctions.  All four components of a control point go through every
// blend and split, so a value kept in w is interpolated like a coordinate
// (the searches below use that to carry parameter ranges).  "Horizontal"
// means the x-z plane; y is height and points down.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/PS2/Extent.h"

class Cubic;

// ---------------------------------------------------------------------------
// A cubic Bezier curve, four control points (64 bytes, as stored in city
// files).
class Bezier
{
public:
    Vector c0, c1, c2, c3;

    Bezier() = default;
    Bezier(const Vector& a, const Vector& b, const Vector& c, const Vector& d) : c0(a), c1(b), c2(c), c3(d) {}

    Vector& operator[](int i) { return (&c0)[i]; }
    const Vector& operator[](int i) const { return (&c0)[i]; }

    // The point at t (all four components).  The VectorPos forms take the
    // power vector (t³, t², t) ready-made (vp1_3 and vp2_3 for the thirds);
    // its w is not read.
    Vector Evaluate(float t) const;
    Vector Evaluate(const VectorPos& T) const;
    // dP/dt, not normalised.
    VectorDir EvaluateTangent(float t) const;
    VectorDir EvaluateTangent(const VectorPos& T) const;
    // The unit horizontal normal (0, 1, 0) × tangent = normalise(T.z, 0, -T.x).
    VectorDir EvaluateNormal(float t) const;
    // The point plus the raw tangent and/or the unit normal, from one pass.
    Vector EvaluateWithTangent(float t, VectorDir& tangent) const;
    Vector EvaluateWithNormal(float t, VectorDir& normal) const;
    Vector EvaluateWithNormal(const VectorPos& T, VectorDir& normal) const;
    Vector EvaluateWithNormalAndTangent(float t, VectorDir& normal, VectorDir& tangent) const;

    // De Casteljau split at t into [0, t] and [t, 1]; the plain forms split at
    // the middle.  The curve may itself be one of the outputs.
    void Split(VectorX t, Bezier& bl, Bezier& br) const;
    Bezier SplitLeft(VectorX t) const;
    Bezier SplitRight(VectorX t) const;
    void Split(Bezier& bl, Bezier& br) const;
    Bezier SplitLeft() const;
    Bezier SplitRight() const;

    // (c3, c2, c1, c0): the same curve run backwards.
    Bezier Flip() const;
    // The piece between t0 and t1 as a curve of its own.
    Bezier Middle(float t0, float t1) const;
    // The opposite of Middle: taking this curve as the piece [t0, t1] of a
    // longer one, the whole of that curve (t0 != t1).
    Bezier UnMiddle(float t0, float t1) const;

    // The power-basis coefficients a, b, c, d: P(t) = a t³ + b t² + c t + d.
    operator Cubic() const;

    // Where pos lies across and along the curve: (side, height, t).  side is
    // the signed horizontal distance (negative on the +z side of a curve
    // running along +x), height the curve's y under the point, t the
    // parameter, not clamped (outside [0, 1] beyond the ends).  dir receives
    // the chord of the flat piece the answer came from.
    VectorXYZ CalcParams(VectorPos pos, VectorDir& dir) const;
    // The nearest point of the curve (t clamped to [0, 1]); its parameter and
    // the signed side distance (the opposite sign to CalcParams' side) through
    // the pointers when they are not null.
    Vector ClosestPoint(VectorPos pos, float* t, float* d) const;
    // (side, height, t) as CalcParams, by Newton steps from t; dir receives
    // the tangent.
    VectorXYZ CalcParamsNR(VectorPos pos, VectorDir& dir, float t) const;
    // A curve approximating this one moved sideways by dist along its
    // horizontal normal.
    Bezier OffsetApprox(float dist) const;

    // Bernstein weights as rows applied to (t³, t², t, 1), and their
    // derivatives.
    static const float blend[4][4];
    static const float tangentblend[4][4];
};
static_assert(sizeof(Bezier) == 64);

// Arc length estimate: level 0 is the mean of the control polygon's length
// and the chord; each further level halves the curve once more.
float Length(const Bezier& b, int level);

// Newton steps Intersect2D takes before it gives up.  Near a crossing the
// error squares with each step, so a start that converges at all gets there
// in a handful; the bound stops curves that only come close.
constexpr int INTERSECT2D_STEPS = 20;

// Where two curves cross in x-z (heights play no part), by Newton steps from
// the parameters (t1, t2): true with the parameters through pf1 and pf2 once
// the two points lie within 0.01 of each other.  False when a parameter
// leaves [0.1, 1.1] after its step, when the tangents are parallel in x-z
// (no step can be taken), or after INTERSECT2D_STEPS steps.
bool Intersect2D(const Bezier& bez1, const Bezier& bez2, float* pf1, float* pf2, float t1, float t2);

// ---------------------------------------------------------------------------
// The power-basis form: rows x, y, z, w hold a, b, c, d.
class Cubic : public Matrix
{
public:
    Cubic() {}
    Cubic(const Matrix& m) : Matrix(m) {}

    Vector Evaluate(float t) const;
    // 3a t² + 2b t + c
    VectorDir EvaluateTangent(float t) const;
    VectorDir EvaluateNormal(float t) const;
    Vector EvaluateWithNormal(float t, VectorDir& normal) const;
};

// ---------------------------------------------------------------------------
// A chain of cubic Beziers: the 16-byte head of an array of control points, of
// which the spline object is the first.  The first point's w holds the number
// of points as an integer (its bits, not a float).  Segment i is points
// 3i .. 3i + 3, sharing its end with the next segment's start.  A spline
// parameter has the segment in its integer part and the local parameter in
// its fraction.
class Spline : public Vector
{
public:
    int Count() const { return wcomponent(); }
    void SetCount(int n) { setwcomponent(n); }
    // (count - 1)/3 segments; none for fewer than four points.
    int NumSplines() const { return Count() >= 4 ? (Count() - 1) / 3 : 0; }
    const Bezier& GetBezier(int i) const { return *reinterpret_cast<const Bezier*>(&(*this)[3 * i]); }
    // Places the first point, keeping the count in its w.
    void Set(const Vector& p) { setxyz(p); }

    Vector& operator[](int i) { return reinterpret_cast<Vector*>(this)[i]; }
    const Vector& operator[](int i) const { return reinterpret_cast<const Vector*>(this)[i]; }

    // Segment min(trunc(t), segments - 1) at the local parameter t - segment:
    // t beyond the last segment extrapolates it, t below 0 the first.  A
    // spline without segments gives the zero vector (w = 1) and a zero tangent.
    Vector Evaluate(float t) const;
    VectorDir Tangent(float t) const;
    // The nearest point over all segments; the spline parameter through t
    // when not null (-1 and the zero vector with w = 1 without segments).
    Vector ClosestPoint(VectorPos pos, float* t) const;
    // The nearest point found by Newton steps from a seed parameter (a
    // negative seed starts every segment at its middle).
    Vector ClosestPointNR(VectorPos pos, float seed, float* t) const;
};
static_assert(sizeof(Spline) == 16);

// The sum of Length(segment, level) over the segments.
float Length(const Spline& s, int level);

// ---------------------------------------------------------------------------
// A bicubic patch: p[4r + c] is column c of row r.  u runs along a row, v
// across the rows; the corners are p[0] (0, 0), p[3] (1, 0), p[12] (0, 1) and
// p[15] (1, 1).  256 bytes, as stored in city files.
class BezierPatch
{
public:
    Vector p[16];

    Vector& operator[](int i) { return p[i]; }
    const Vector& operator[](int i) const { return p[i]; }

    Bezier Row(int r) const { return Bezier(p[4 * r], p[4 * r + 1], p[4 * r + 2], p[4 * r + 3]); }
    Bezier Column(int c) const { return Bezier(p[c], p[4 + c], p[8 + c], p[12 + c]); }
    Bezier Top() const { return Row(0); }       // v = 0
    Bezier Bottom() const { return Row(3); }    // v = 1
    Bezier Left() const { return Column(0); }   // u = 0
    Bezier Right() const { return Column(3); }  // u = 1

    // The curve in v through the four rows evaluated at u, and the curve in u
    // through the four columns evaluated at v.
    Bezier EvaluateU(float u) const;
    Bezier EvaluateV(float v) const;
    Vector Evaluate(float u, float v) const;
    Vector Evaluate(VectorXY uv) const { return Evaluate(float(uv[0]), float(uv[1])); }
    Vector Evaluate(VectorXZ uv) const { return Evaluate(float(uv[0]), float(uv[2])); }

    // Sets the four inner points by the parallelogram rule at each corner.
    void CalcInterior();
    // Bounding sphere: the mean of the points, radius to the farthest one.
    Sphere CalcCentre() const;

    // True when xz lies inside or on the x-z hull of the boundary points.
    bool ConvexHullCheck(VectorXZ xz) const;

    // Newton refinement from (u, v): true with result (u, height, v) and the
    // normal dP/du × dP/dv (not unit) unless a step leaves [-0.1, 1.1].
    bool CalcParamsNR(VectorPos pos, Vector& result, VectorDir& normal, float u, float v) const;
    // The same from scratch: the patch is subdivided until a piece's Newton
    // refinement succeeds.  False when pos is not over the patch.
    bool CalcParams(VectorPos pos, Vector& result, VectorDir& normal) const;
    // The height under pos by subdividing to nearly flat pieces; 0 when pos is
    // not over the patch.
    float Evaluate(VectorPos pos, VectorDir& normal) const;
    // The height under pos by Newton steps from (u, v); 0 (normal untouched)
    // when they end outside [0, 1]².
    float EvaluateNR(VectorPos pos, VectorDir& normal, float u, float v) const;
};
static_assert(sizeof(BezierPatch) == 256);

// Room a boundary hull needs: the twelve boundary points and the first again.
constexpr int BEZIERPATCH_HULL_MAX = 13;

// Writes the x-z hull of the patch's boundary ring (0, 1, 2, 3, 7, 11, 15, 14,
// 13, 12, 8, 4, 0) to hull (room for BEZIERPATCH_HULL_MAX) and returns the
// number of points written, the closing point included.
int ConvexHull(const BezierPatch& patch, VectorXZ* hull);
// True when xz lies inside or on the hull of n points (the closing point
// included) made by ConvexHull.
bool ConvexHullCheck(VectorXZ xz, const VectorXZ* hull, int n);
// True when pos lies inside or on the x-z convex hull of four points, in any
// order (a curve's control points for the second form).  Points all on one
// line hold only the segment between the outermost two.
bool ConvexHullCheck(VectorXZ p0, VectorXZ p1, VectorXZ p2, VectorXZ p3, VectorXZ pos);
bool ConvexHullCheck(const Bezier& b, VectorXZ pos);
// A first guess (u, v) for pos from the two corner triangles split along the
// diagonal p[0]-p[15].
VectorXY EstimateBezierPatchParams(const BezierPatch& patch, VectorPos pos);
