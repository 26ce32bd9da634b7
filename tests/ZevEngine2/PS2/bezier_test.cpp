#include <gtest/gtest.h>

#include "ZevEngine2/PS2/Bezier.h"

namespace {

void ExpectNearXYZ(const VectorStore& actual, float x, float y, float z, float tol = 1e-5f)
{
    EXPECT_NEAR(actual[0], x, tol);
    EXPECT_NEAR(actual[1], y, tol);
    EXPECT_NEAR(actual[2], z, tol);
}

void ExpectNearVector(const VectorStore& actual, const VectorStore& expected, float tol = 1e-5f)
{
    for (int k = 0; k < 4; k++)
        EXPECT_NEAR(actual[k], expected[k], tol) << "lane " << k;
}

// Evenly spaced points on the x axis from 0 to 3: P(t) = (3t, 0, 0), and the
// w components 0..3 so that w runs as 3t too.
Bezier Straight() { return Bezier(Vector(0, 0, 0, 0), Vector(1, 0, 0, 1), Vector(2, 0, 0, 2), Vector(3, 0, 0, 3)); }

// A curve with some of everything: bends in x-z, climbs in y.
Bezier Wiggly() { return Bezier(Vector(0, 0, 0, 1), Vector(2, -1, 3, 2), Vector(5, 1, -1, -1), Vector(6, 2, 2, 0)); }

// The quarter circle of radius r about the origin from +x to +z with the
// usual handle length 0.5523 r.
Bezier QuarterCircle(float r)
{
    const float k = 0.55228475f * r;
    return Bezier(Vector(r, 0, 0, 0), Vector(r, 0, k, 0), Vector(k, 0, r, 0), Vector(0, 0, r, 0));
}

// The curve point from the Bernstein polynomials in double precision.
double Bernstein(const Bezier& b, int lane, double t)
{
    double u = 1 - t;
    return u * u * u * b.c0[lane] + 3 * t * u * u * b.c1[lane] + 3 * t * t * u * b.c2[lane] + t * t * t * b.c3[lane];
}

double BernsteinDerivative(const Bezier& b, int lane, double t)
{
    double u = 1 - t;
    return 3 * u * u * (b.c1[lane] - b.c0[lane]) + 6 * u * t * (b.c2[lane] - b.c1[lane]) +
           3 * t * t * (b.c3[lane] - b.c2[lane]);
}

// ---------------------------------------------------------------------------
// Evaluation

TEST(Bezier, StraightEvenCurveEvaluatesLinearly)
{
    Bezier b = Straight();
    for (float t : {0.0f, 0.125f, 0.5f, 0.8f, 1.0f})
    {
        ExpectNearVector(b.Evaluate(t), Vector(3 * t, 0, 0, 3 * t));
        ExpectNearXYZ(b.EvaluateTangent(t), 3, 0, 0);
    }
}

TEST(Bezier, EvaluateMatchesBernsteinPolynomialsOnAllFourLanes)
{
    Bezier b = Wiggly();
    for (float t : {0.0f, 0.1f, 0.37f, 0.5f, 0.9f, 1.0f, 1.3f})
    {
        Vector p = b.Evaluate(t);
        VectorDir d = b.EvaluateTangent(t);
        for (int lane = 0; lane < 4; lane++)
        {
            EXPECT_NEAR(p[lane], Bernstein(b, lane, t), 1e-5) << "t " << t << " lane " << lane;
            EXPECT_NEAR(d[lane], BernsteinDerivative(b, lane, t), 1e-4) << "t " << t << " lane " << lane;
        }
    }
}

TEST(Bezier, PowerVectorFormsAgreeAtTheThirds)
{
    Bezier b = Wiggly();
    ExpectNearVector(b.Evaluate(vp1_3), b.Evaluate(1.0f / 3.0f));
    ExpectNearVector(b.Evaluate(vp2_3), b.Evaluate(2.0f / 3.0f));
    ExpectNearXYZ(b.EvaluateTangent(vp1_3), BernsteinDerivative(b, 0, 1.0 / 3), BernsteinDerivative(b, 1, 1.0 / 3),
                  BernsteinDerivative(b, 2, 1.0 / 3), 1e-4f);
    VectorDir n1, n2;
    ExpectNearVector(b.EvaluateWithNormal(vp2_3, n1), b.EvaluateWithNormal(2.0f / 3.0f, n2));
    ExpectNearXYZ(n1, n2[0], n2[1], n2[2]);
}

TEST(Bezier, NormalIsUnitHorizontalAndUpCrossTangent)
{
    // Along +x the normal is (0, 1, 0) × (1, 0, 0) = (0, 0, -1).
    ExpectNearXYZ(Straight().EvaluateNormal(0.5f), 0, 0, -1);
    // Along +z it is (1, 0, 0); the climb in y does not count.
    Bezier alongZ(Vector(0, 0, 0, 0), Vector(0, 5, 1, 0), Vector(0, 10, 2, 0), Vector(0, 15, 3, 0));
    ExpectNearXYZ(alongZ.EvaluateNormal(0.3f), 1, 0, 0);

    Bezier b = Wiggly();
    VectorDir n, tangent;
    Vector p = b.EvaluateWithNormalAndTangent(0.4f, n, tangent);
    ExpectNearVector(p, b.Evaluate(0.4f));
    ExpectNearXYZ(tangent, b.EvaluateTangent(0.4f)[0], b.EvaluateTangent(0.4f)[1], b.EvaluateTangent(0.4f)[2]);
    EXPECT_NEAR(n.Length(), 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(n[1], 0.0f);
    EXPECT_NEAR(n[0] * tangent[0] + n[2] * tangent[2], 0.0f, 1e-5f);
    VectorDir t2;
    b.EvaluateWithTangent(0.4f, t2);
    ExpectNearXYZ(t2, tangent[0], tangent[1], tangent[2]);
}

// ---------------------------------------------------------------------------
// Subdivision

TEST(Bezier, SplitHalvesReproduceTheCurve)
{
    Bezier b = Wiggly();
    const float at = 0.3f;
    Bezier l, r;
    b.Split(at, l, r);
    for (float s : {0.0f, 0.25f, 0.6f, 1.0f})
    {
        ExpectNearVector(l.Evaluate(s), b.Evaluate(at * s), 1e-5f);
        ExpectNearVector(r.Evaluate(s), b.Evaluate(at + (1 - at) * s), 1e-5f);
    }
    ExpectNearVector(b.SplitLeft(at).c2, l.c2, 0);
    ExpectNearVector(b.SplitRight(at).c1, r.c1, 0);

    // The middle split.
    b.Split(l, r);
    for (float s : {0.0f, 0.4f, 1.0f})
    {
        ExpectNearVector(l.Evaluate(s), b.Evaluate(0.5f * s));
        ExpectNearVector(r.Evaluate(s), b.Evaluate(0.5f + 0.5f * s));
    }
    ExpectNearVector(b.SplitLeft().c1, l.c1, 0);
    ExpectNearVector(b.SplitRight().c2, r.c2, 0);
}

TEST(Bezier, SplitMayWriteOverItsSource)
{
    Bezier b = Wiggly();
    Bezier expectLeft = b.SplitLeft(), expectRight = b.SplitRight();
    Bezier other;
    b.Split(b, other);
    for (int k = 0; k < 4; k++)
    {
        ExpectNearVector(b[k], expectLeft[k], 0);
        ExpectNearVector(other[k], expectRight[k], 0);
    }
    b = Wiggly();
    b.Split(0.5f, other, b);
    for (int k = 0; k < 4; k++)
        ExpectNearVector(b[k], expectRight[k], 0);
}

TEST(Bezier, FlipMiddleAndUnMiddle)
{
    Bezier b = Wiggly();
    Bezier f = b.Flip();
    ExpectNearVector(f.Evaluate(0.2f), b.Evaluate(0.8f));

    // The middle piece is exact for a cubic.
    Bezier m = b.Middle(0.2f, 0.7f);
    for (float s : {0.0f, 0.3f, 1.0f})
        ExpectNearVector(m.Evaluate(s), b.Evaluate(0.2f + 0.5f * s), 2e-5f);
    Bezier whole = m.UnMiddle(0.2f, 0.7f);
    for (int k = 0; k < 4; k++)
        ExpectNearVector(whole[k], b[k], 1e-4f);
}

TEST(Bezier, CubicFormAgreesWithBezier)
{
    Bezier b = Wiggly();
    Cubic c = b;
    // d is the start, a + b + c + d the end.
    ExpectNearVector(c.w, b.c0, 0);
    ExpectNearVector(c.x + c.y + c.z + c.w, b.c3, 1e-5f);
    for (float t : {0.0f, 0.2f, 0.75f, 1.0f})
    {
        ExpectNearVector(c.Evaluate(t), b.Evaluate(t), 1e-5f);
        ExpectNearXYZ(c.EvaluateTangent(t), b.EvaluateTangent(t)[0], b.EvaluateTangent(t)[1],
                      b.EvaluateTangent(t)[2], 1e-4f);
        VectorDir n;
        c.EvaluateWithNormal(t, n);
        ExpectNearXYZ(n, b.EvaluateNormal(t)[0], b.EvaluateNormal(t)[1], b.EvaluateNormal(t)[2], 1e-5f);
    }
}

// ---------------------------------------------------------------------------
// Length

TEST(Bezier, LengthOfStraightCurveAtEveryLevel)
{
    EXPECT_FLOAT_EQ(Length(Straight(), 0), 3.0f);
    EXPECT_FLOAT_EQ(Length(Straight(), 3), 3.0f);
}

TEST(Bezier, LengthConvergesOnArcLength)
{
    Bezier b = QuarterCircle(10);
    // The arc length by Simpson's rule on |P'(t)|.
    const int n = 2000;
    double sum = 0;
    for (int i = 0; i <= n; i++)
    {
        double t = double(i) / n;
        double speed = std::hypot(BernsteinDerivative(b, 0, t), BernsteinDerivative(b, 2, t));
        sum += speed * (i == 0 || i == n ? 1 : (i % 2 ? 4 : 2));
    }
    double arc = sum / (3.0 * n);

    // Level 0 is the mean of the polygon (upper bound) and the chord (lower).
    const float k = 5.5228475f;
    float polygon = k + std::hypot(10 - k, 10 - k) + k;
    float chord = std::hypot(10.0f, 10.0f);
    EXPECT_NEAR(Length(b, 0), (polygon + chord) / 2, 1e-4f);
    double e0 = std::fabs(Length(b, 0) - arc);
    double e2 = std::fabs(Length(b, 2) - arc);
    double e5 = std::fabs(Length(b, 5) - arc);
    EXPECT_LT(e2, e0);
    EXPECT_LT(e5, e2);
    EXPECT_NEAR(Length(b, 5), arc, 1e-3);
}

// ---------------------------------------------------------------------------
// CalcParams and ClosestPoint

TEST(Bezier, CalcParamsOnTheStraightCurve)
{
    Bezier b = Straight();
    VectorDir dir;
    VectorXYZ r = b.CalcParams(VectorPos(1.5f, 0, 1), dir);
    ExpectNearXYZ(r, -1, 0, 0.5f);
    EXPECT_GT(dir[0], 0.0f);
    EXPECT_FLOAT_EQ(dir[2], 0.0f);

    // The other side, and beyond the end (t not clamped).
    ExpectNearXYZ(b.CalcParams(VectorPos(0.75f, 0, -2), dir), 2, 0, 0.25f);
    ExpectNearXYZ(b.CalcParams(VectorPos(4, 0, 0), dir), 0, 0, 4.0f / 3.0f);
    ExpectNearXYZ(b.CalcParams(VectorPos(-1.5f, 0, 0), dir), 0, 0, -0.5f);
}

TEST(Bezier, CalcParamsHeightIsTheChordUnderThePoint)
{
    // Straight and even in x-z, climbing evenly in y: the height is linear.
    Bezier b(Vector(0, 0, 0, 0), Vector(1, 1, 0, 0), Vector(2, 2, 0, 0), Vector(3, 3, 0, 0));
    VectorDir dir;
    ExpectNearXYZ(b.CalcParams(VectorPos(1.5f, -20, 0), dir), 0, 1.5f, 0.5f);
    ExpectNearXYZ(b.CalcParams(VectorPos(0.6f, 7, 3), dir), -3, 0.6f, 0.2f);
}

TEST(Bezier, CalcParamsKeepsLeftHalfOnTie)
{
    // Straight and even in plan, arched in y (highest at the middle).  The
    // point lies exactly across from the middle: the tie keeps the left
    // half, whose final piece ends at the middle and so climbs toward it.
    Bezier b(Vector(0, 0, 0, 0), Vector(1, 3, 0, 0), Vector(2, 3, 0, 0), Vector(3, 0, 0, 0));
    VectorDir dir;
    VectorXYZ r = b.CalcParams(VectorPos(1.5f, 0, 1), dir);
    EXPECT_NEAR(r[2], 0.5f, 1e-6f);
    EXPECT_NEAR(r[1], 2.25f, 1e-5f);
    EXPECT_GT(dir[1], 0.0f);
}

// The parameter of the nearest curve point in plan, by dense sampling.
float NearestInPlan(const Bezier& b, const VectorPos& pos, float* dist)
{
    double best = 1e30, bestT = 0;
    for (int i = 0; i <= 20000; i++)
    {
        double t = i / 20000.0;
        double d = std::hypot(Bernstein(b, 0, t) - pos[0], Bernstein(b, 2, t) - pos[2]);
        if (d < best)
        {
            best = d;
            bestT = t;
        }
    }
    *dist = float(best);
    return float(bestT);
}

TEST(Bezier, CalcParamsOnACurveMatchesNearestPoint)
{
    Bezier b = QuarterCircle(10);
    struct Case { float x, z, sign; } cases[] = {
        {12 * 0.8660254f, 12 * 0.5f, 1},   // outside the arc
        {8 * 0.5f, 8 * 0.8660254f, -1},    // inside
        {9.5f, 2.0f, -1},
    };
    for (const Case& c : cases)
    {
        VectorPos pos(c.x, 0, c.z);
        float dist;
        float t = NearestInPlan(b, pos, &dist);
        // The answer comes from a flat piece's chord, which turns away from
        // the curve's tangent by up to a few hundredths of a radian: for a
        // point 2 off the curve the foot moves by about 0.05 along it, or
        // 0.003 in t on this curve (|P'| about 15.7).
        VectorDir dir;
        VectorXYZ r = b.CalcParams(pos, dir);
        EXPECT_NEAR(r[2], t, 5e-3f) << c.x << "," << c.z;
        EXPECT_NEAR(std::fabs(r[0]), dist, 2e-2f) << c.x << "," << c.z;
        // The normal (0, 1, 0) × tangent points away from the arc's centre,
        // so the outside is the positive side.
        EXPECT_EQ(r[0] > 0, c.sign > 0) << c.x << "," << c.z;

        float ct, cd;
        Vector p = b.ClosestPoint(pos, &ct, &cd);
        EXPECT_NEAR(ct, t, 5e-3f);
        EXPECT_NEAR(-cd, r[0], 2e-2f);   // the opposite sign convention
        ExpectNearVector(p, b.Evaluate(ct), 0);
    }
}

TEST(Bezier, ClosestPointOnTheStraightCurve)
{
    Bezier b = Straight();
    float t, d;
    Vector p = b.ClosestPoint(VectorPos(1.5f, 0, 1), &t, &d);
    ExpectNearXYZ(p, 1.5f, 0, 0);
    EXPECT_FLOAT_EQ(t, 0.5f);
    EXPECT_FLOAT_EQ(d, 1.0f);

    // Beyond the ends the parameter is clamped.
    p = b.ClosestPoint(VectorPos(4, 0, 0.5f), &t, &d);
    ExpectNearXYZ(p, 3, 0, 0);
    EXPECT_FLOAT_EQ(t, 1.0f);
    p = b.ClosestPoint(VectorPos(-1, 0, 0.5f), &t, nullptr);
    ExpectNearXYZ(p, 0, 0, 0);
    EXPECT_FLOAT_EQ(t, 0.0f);
    b.ClosestPoint(VectorPos(1, 0, 1), nullptr, nullptr);   // outputs are optional
}

TEST(Bezier, CollapsedCurveGivesFiniteAnswers)
{
    // All four points at one place: no direction along or across.
    Bezier b(Vector(1, 2, 3, 0), Vector(1, 2, 3, 0), Vector(1, 2, 3, 0), Vector(1, 2, 3, 0));
    VectorPos pos(4, 0, 7);
    VectorDir dir;
    VectorXYZ r = b.CalcParams(pos, dir);
    EXPECT_EQ(r[0], 0.0f);
    EXPECT_EQ(r[1], 2.0f);
    EXPECT_TRUE(std::isfinite(r[2]));
    float t, d;
    Vector p = b.ClosestPoint(pos, &t, &d);
    ExpectNearXYZ(p, 1, 2, 3, 0);
    EXPECT_EQ(d, 0.0f);
    EXPECT_TRUE(std::isfinite(t));
    r = b.CalcParamsNR(pos, dir, 0.5f);
    EXPECT_EQ(r[0], 0.0f);
    EXPECT_EQ(r[2], 0.5f);
}

// ---------------------------------------------------------------------------
// CalcParamsNR

TEST(Bezier, CalcParamsNRStartedAtTheAnswerStopsAtOnce)
{
    Bezier b = Straight();
    VectorDir dir;
    VectorXYZ r = b.CalcParamsNR(VectorPos(1.5f, 0, 1), dir, 0.5f);
    EXPECT_FLOAT_EQ(r[2], 0.5f);   // no step taken
    EXPECT_FLOAT_EQ(r[0], -1.0f);
    EXPECT_FLOAT_EQ(r[1], 0.0f);
    ExpectNearXYZ(dir, 3, 0, 0);
}

TEST(Bezier, CalcParamsNRConvergesFromAfar)
{
    Bezier b = Straight();
    VectorDir dir;
    VectorXYZ r = b.CalcParamsNR(VectorPos(2.4f, 0, -0.5f), dir, 0.1f);
    EXPECT_NEAR(r[2], 0.8f, 2e-3f);
    EXPECT_NEAR(r[0], 0.5f, 1e-3f);

    // On a curve it agrees with the subdividing search.
    Bezier arc = QuarterCircle(10);
    VectorPos pos(9.5f, 0, 2);
    VectorXYZ nr = arc.CalcParamsNR(pos, dir, 0.5f);
    VectorXYZ sub = arc.CalcParams(pos, dir);
    EXPECT_NEAR(nr[2], sub[2], 3e-3f);
    EXPECT_NEAR(nr[0], sub[0], 2e-2f);
}

// ---------------------------------------------------------------------------
// OffsetApprox

// Evenly spaced points from a to b: P(t) = a + (b - a)t.
Bezier Line(const Vector& a, const Vector& b)
{
    return Bezier(a, a + (b - a) * (1.0f / 3.0f), a + (b - a) * (2.0f / 3.0f), b);
}

TEST(Intersect2D, CrossingStraightCurvesGiveTheirCrossingsParameters)
{
    // P1 = (3t, 0, 0) and P2 = (1.2, 5, -1 + 3s) meet at t = 0.4, s = 1/3;
    // the heights differ and play no part.
    const Bezier across = Line(Vector(1.2f, 5, -1, 0), Vector(1.2f, 5, 2, 0));
    float t1 = -1, t2 = -1;
    ASSERT_TRUE(Intersect2D(Straight(), across, &t1, &t2, 0.9f, 0.9f));
    EXPECT_NEAR(t1, 0.4f, 0.001f);
    EXPECT_NEAR(t2, 1.0f / 3.0f, 0.001f);

    // The diagonals of the square (0, 0)-(3, 3) cross at their middles.
    const Bezier up = Line(Vector(0, 0, 0, 0), Vector(3, 0, 3, 0));
    const Bezier down = Line(Vector(0, 0, 3, 0), Vector(3, 0, 0, 0));
    ASSERT_TRUE(Intersect2D(up, down, &t1, &t2, 0.2f, 1.0f));
    EXPECT_NEAR(t1, 0.5f, 0.001f);
    EXPECT_NEAR(t2, 0.5f, 0.001f);

    // A quarter circle meets the diagonal at its own middle (it is symmetric
    // about it), where the diagonal's parameter is x/3.
    const Bezier arc = QuarterCircle(2);
    ASSERT_TRUE(Intersect2D(arc, up, &t1, &t2, 0.3f, 0.3f));
    EXPECT_NEAR(t1, 0.5f, 0.002f);
    EXPECT_NEAR(t2, Bernstein(arc, 0, 0.5) / 3, 0.002f);
}

TEST(Intersect2D, ParallelMissedAndOutOfRangeCrossingsAreFalse)
{
    float t1 = -1, t2 = -1;
    // Parallel in x-z, whatever their heights: no step can be taken.
    const Bezier beside = Line(Vector(0, 2, 1, 0), Vector(3, 2, 1, 0));
    EXPECT_FALSE(Intersect2D(Straight(), beside, &t1, &t2, 0.5f, 0.5f));
    EXPECT_FALSE(Intersect2D(Straight(), Straight(), &t1, &t2, 0.2f, 0.7f));
    // An arch whose top stays below z = 2 never reaches the line there: the
    // steps leave the range or run out.
    const Bezier arch(Vector(0, 0, 0, 0), Vector(1, 0, 2, 0), Vector(2, 0, 2, 0), Vector(3, 0, 0, 0));
    const Bezier above = Line(Vector(0, 0, 2, 0), Vector(3, 0, 2, 0));
    EXPECT_FALSE(Intersect2D(arch, above, &t1, &t2, 0.5f, 0.5f));
    EXPECT_FALSE(Intersect2D(arch, above, &t1, &t2, 0.3f, 0.6f));
    EXPECT_EQ(t1, -1.0f);
    EXPECT_EQ(t2, -1.0f);

    // Parameters are held to [0.1, 1.1]: a crossing at t = 0.05 is refused,
    // one at 1.05 (just past the end) is found.
    const Bezier nearStart = Line(Vector(0.15f, 0, -1, 0), Vector(0.15f, 0, 2, 0));
    EXPECT_FALSE(Intersect2D(Straight(), nearStart, &t1, &t2, 0.5f, 0.5f));
    const Bezier pastEnd = Line(Vector(3.15f, 0, -1, 0), Vector(3.15f, 0, 2, 0));
    ASSERT_TRUE(Intersect2D(Straight(), pastEnd, &t1, &t2, 0.5f, 0.5f));
    EXPECT_NEAR(t1, 1.05f, 0.001f);
}

TEST(Bezier, OffsetOfStraightCurveIsParallel)
{
    Bezier o = Straight().OffsetApprox(1);
    // Moved along the normal (0, 0, -1); the ends keep their w.
    ExpectNearVector(o.c0, Vector(0, 0, -1, 0));
    ExpectNearXYZ(o.c1, 1, 0, -1);
    ExpectNearXYZ(o.c2, 2, 0, -1);
    ExpectNearVector(o.c3, Vector(3, 0, -1, 3));
    VectorDir dir;
    EXPECT_NEAR(Straight().CalcParams(VectorPos(o.Evaluate(0.3f).xyz()), dir)[0], 1.0f, 1e-5f);
}

TEST(Bezier, OffsetOfArcFollowsTheConcentricArc)
{
    // The normal of the quarter circle points away from its centre: moving
    // by +2 gives radius 12, by -2 radius 8.
    for (float dist : {2.0f, -2.0f})
    {
        Bezier o = QuarterCircle(10).OffsetApprox(dist);
        float radius = 10 + dist;
        ExpectNearXYZ(o.c0, radius, 0, 0, 1e-4f);
        ExpectNearXYZ(o.c3, 0, 0, radius, 1e-4f);
        for (float t : {0.1f, 0.33f, 0.5f, 0.8f})
        {
            Vector p = o.Evaluate(t);
            EXPECT_NEAR(std::hypot(p[0], p[2]), radius, radius * 2e-3f) << dist << " " << t;
        }
    }
}

}  // namespace
