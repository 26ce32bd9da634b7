#include <gtest/gtest.h>

#include "ZevEngine2/PS2/Bezier.h"

namespace {

void ExpectNearXYZ(const VectorStore& actual, float x, float y, float z, float tol = 1e-5f)
{
    EXPECT_NEAR(actual[0], x, tol);
    EXPECT_NEAR(actual[1], y, tol);
    EXPECT_NEAR(actual[2], z, tol);
}

// A point array whose first element heads a spline: an L of two straight,
// evenly spaced segments, (0,0,0) -> (3,0,0) along x, then -> (3,0,3) along z.
struct LSpline
{
    alignas(16) Vector pts[7] = {
        Vector(0, 0, 0, 0), Vector(1, 0, 0, 0), Vector(2, 0, 0, 0), Vector(3, 0, 0, 0),
        Vector(3, 0, 1, 0), Vector(3, 0, 2, 0), Vector(3, 0, 3, 0),
    };
    LSpline() { spline().SetCount(7); }
    Spline& spline() { return *reinterpret_cast<Spline*>(pts); }
};

TEST(Spline, CountLivesInTheFirstPointsWBits)
{
    LSpline l;
    Spline& s = l.spline();
    int bits;
    std::memcpy(&bits, &l.pts[0][3], 4);
    EXPECT_EQ(bits, 7);   // an integer, not the float 7.0
    EXPECT_EQ(s.Count(), 7);
    EXPECT_EQ(s.NumSplines(), 2);
    // Segment 1 is points 3 to 6.
    const Bezier& seg = s.GetBezier(1);
    EXPECT_EQ(&seg.c0, &l.pts[3]);
    EXPECT_EQ(&seg.c3, &l.pts[6]);
    EXPECT_EQ(&s[4], &l.pts[4]);

    s.Set(Vector(-1, 2, -3, 99));
    ExpectNearXYZ(l.pts[0], -1, 2, -3, 0);
    EXPECT_EQ(s.Count(), 7);

    s.SetCount(3);
    EXPECT_EQ(s.NumSplines(), 0);
    s.SetCount(4);
    EXPECT_EQ(s.NumSplines(), 1);
    s.SetCount(10);
    EXPECT_EQ(s.NumSplines(), 3);
}

TEST(Spline, EvaluatePicksSegmentByIntegerPart)
{
    LSpline l;
    Spline& s = l.spline();
    ExpectNearXYZ(s.Evaluate(0.5f), 1.5f, 0, 0);
    ExpectNearXYZ(s.Evaluate(1.25f), 3, 0, 0.75f);
    ExpectNearXYZ(s.Tangent(0.5f), 3, 0, 0);
    ExpectNearXYZ(s.Tangent(1.5f), 0, 0, 3);
    // t = number of segments: the last segment at 1, the end point.
    ExpectNearXYZ(s.Evaluate(2.0f), 3, 0, 3);
    // Beyond it the last segment is extrapolated.
    ExpectNearXYZ(s.Evaluate(2.5f), 3, 0, 4.5f);
}

TEST(Spline, NegativeParameterStaysOnTheFirstSegment)
{
    LSpline l;
    Spline& s = l.spline();
    // Extrapolates segment 0 backwards instead of reading before the array.
    ExpectNearXYZ(s.Evaluate(-0.5f), -1.5f, 0, 0);
    ExpectNearXYZ(s.Evaluate(-1.5f), -4.5f, 0, 0);
    ExpectNearXYZ(s.Tangent(-1.5f), 3, 0, 0);
}

TEST(Spline, EmptySplineAnswersZeroVectorAndMinusOne)
{
    alignas(16) Vector pts[3] = {Vector(5, 5, 5, 0), Vector(6, 6, 6, 0), Vector(7, 7, 7, 0)};
    Spline& s = *reinterpret_cast<Spline*>(pts);
    s.SetCount(3);
    float t = 123;
    Vector p = s.ClosestPoint(VectorPos(1, 2, 3), &t);
    EXPECT_EQ(p, Vector(0, 0, 0, 1));
    EXPECT_EQ(t, -1.0f);
    t = 123;
    p = s.ClosestPointNR(VectorPos(1, 2, 3), 0.5f, &t);
    EXPECT_EQ(p, Vector(0, 0, 0, 1));
    EXPECT_EQ(t, -1.0f);
    EXPECT_EQ(s.Evaluate(0.5f), Vector(0, 0, 0, 1));
    EXPECT_EQ(Length(s, 2), 0.0f);
}

TEST(Spline, ClosestPointSearchesEverySegment)
{
    LSpline l;
    Spline& s = l.spline();
    float t;
    Vector p = s.ClosestPoint(VectorPos(3.5f, 0, 2), &t);
    ExpectNearXYZ(p, 3, 0, 2);
    EXPECT_NEAR(t, 1 + 2.0f / 3.0f, 1e-5f);
    p = s.ClosestPoint(VectorPos(1, 0, -1), &t);
    ExpectNearXYZ(p, 1, 0, 0);
    EXPECT_NEAR(t, 1.0f / 3.0f, 1e-5f);
    // Inside the L, nearer the second leg.
    p = s.ClosestPoint(VectorPos(2.5f, 0, 2), &t);
    ExpectNearXYZ(p, 3, 0, 2);
    s.ClosestPoint(VectorPos(2.5f, 0, 2), nullptr);
}

TEST(Spline, ClosestPointNRFromSeedsAndWithout)
{
    LSpline l;
    Spline& s = l.spline();
    float t;
    Vector p = s.ClosestPointNR(VectorPos(3.5f, 0, 2), -1, &t);
    ExpectNearXYZ(p, 3, 0, 2, 2e-3f);
    EXPECT_NEAR(t, 1 + 2.0f / 3.0f, 1e-3f);
    p = s.ClosestPointNR(VectorPos(1, 0, -1), 0.3f, &t);
    ExpectNearXYZ(p, 1, 0, 0, 2e-3f);
    EXPECT_NEAR(t, 1.0f / 3.0f, 1e-3f);
    // Past the start of the spline: clamped to its first point.
    p = s.ClosestPointNR(VectorPos(-2, 0, 0.5f), -1, &t);
    ExpectNearXYZ(p, 0, 0, 0);
    EXPECT_EQ(t, 0.0f);
    // Past the end.
    p = s.ClosestPointNR(VectorPos(3, 0, 5), 1.9f, &t);
    ExpectNearXYZ(p, 3, 0, 3);
    EXPECT_EQ(t, 2.0f);
}

TEST(Spline, LengthSumsTheSegments)
{
    LSpline l;
    EXPECT_FLOAT_EQ(Length(l.spline(), 0), 6.0f);
    EXPECT_FLOAT_EQ(Length(l.spline(), 2), 6.0f);
}

}  // namespace
