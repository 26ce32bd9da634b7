#include <gtest/gtest.h>

#include "ZevEngine2/PS2/Bezier.h"

namespace {

void ExpectNearXYZ(const VectorStore& actual, float x, float y, float z, float tol = 1e-5f)
{
    EXPECT_NEAR(actual[0], x, tol);
    EXPECT_NEAR(actual[1], y, tol);
    EXPECT_NEAR(actual[2], z, tol);
}

// Control points evenly spaced over the square (0, 0)..(3, 3) in x-z, with
// heights h[r][c]: x = 3u and z = 3v exactly, so the height under (x, z) is
// the Bezier surface's y at (x/3, z/3).
BezierPatch Grid(const float h[4][4])
{
    BezierPatch p;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            p.p[4 * r + c] = Vector(float(c), h[r][c], float(r), 0);
    return p;
}

const float kFlat[4][4] = {};
const float kHills[4][4] = {
    {0.0f, 0.5f, 0.2f, 0.0f},
    {0.3f, 1.5f, -1.0f, 0.4f},
    {-0.2f, 0.8f, 1.2f, 0.1f},
    {0.0f, -0.3f, 0.6f, 1.0f},
};

// The surface height by Bernstein sums in double precision.
double Height(const float h[4][4], double u, double v)
{
    auto b = [](int i, double t) {
        double s = 1 - t;
        const double w[4] = {s * s * s, 3 * t * s * s, 3 * t * t * s, t * t * t};
        return w[i];
    };
    double y = 0;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            y += b(r, v) * b(c, u) * h[r][c];
    return y;
}

TEST(BezierPatch, RowsColumnsAndEvaluation)
{
    BezierPatch p = Grid(kHills);
    ExpectNearXYZ(p.Top().c3, 3, 0, 0, 0);
    ExpectNearXYZ(p.Bottom().c0, 0, 0, 3, 0);
    ExpectNearXYZ(p.Left().c3, 0, 0, 3, 0);
    ExpectNearXYZ(p.Right().c1, 3, 0.4f, 1, 0);
    for (float u : {0.0f, 0.3f, 0.75f, 1.0f})
        for (float v : {0.0f, 0.5f, 0.9f})
        {
            Vector a = p.Evaluate(u, v);
            ExpectNearXYZ(a, 3 * u, float(Height(kHills, u, v)), 3 * v);
            // Through the column curves instead of the row curves.
            Vector b = p.EvaluateV(v).Evaluate(u);
            ExpectNearXYZ(b, a[0], a[1], a[2]);
            ExpectNearXYZ(p.Evaluate(VectorXY(u, v)), a[0], a[1], a[2], 0);
            ExpectNearXYZ(p.Evaluate(VectorXZ(u, v)), a[0], a[1], a[2], 0);
        }
}

TEST(BezierPatch, CalcInteriorOfParallelogramGivesItsBilinearSurface)
{
    // Boundary rows and columns straight and parallel: a sheared, sloping
    // parallelogram with corners a, a + e, a + f, a + e + f.
    VectorXYZ a(0, 0, 0), e(3, 1, 0), f(1, 2, 3);
    BezierPatch p;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            p.p[4 * r + c] = Vector(a + e * (c / 3.0f) + f * (r / 3.0f), 0.0f);
    for (int k : {5, 6, 9, 10})
        p.p[k] = Vector(100, 100, 100, 0);
    p.CalcInterior();
    for (float u : {0.0f, 0.2f, 0.5f, 1.0f})
        for (float v : {0.1f, 0.6f, 1.0f})
        {
            VectorXYZ expect = a + e * u + f * v;
            ExpectNearXYZ(p.Evaluate(u, v), expect[0], expect[1], expect[2]);
        }
}

TEST(BezierPatch, CalcCentreBoundsEveryPoint)
{
    BezierPatch p = Grid(kHills);
    Sphere s = p.CalcCentre();
    double sum = 0;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            sum += kHills[r][c];
    ExpectNearXYZ(s, 1.5f, float(sum / 16), 1.5f);
    float far = 0;
    for (const Vector& q : p.p)
        far = std::max(far, (q.xyz() - s.Centre()).Length());
    EXPECT_NEAR(s[3], far, 1e-5f);
}

// ---------------------------------------------------------------------------
// Hull

TEST(BezierPatch, HullIncludesItsEdges)
{
    BezierPatch p = Grid(kFlat);
    VectorXZ hull[BEZIERPATCH_HULL_MAX];
    EXPECT_EQ(ConvexHull(p, hull), 13);   // collinear boundary points stay
    EXPECT_TRUE(p.ConvexHullCheck(VectorXZ(1.5f, 1.5f)));
    EXPECT_TRUE(p.ConvexHullCheck(VectorXZ(1.5f, 0)));   // on an edge
    EXPECT_TRUE(p.ConvexHullCheck(VectorXZ(3, 3)));      // a corner
    EXPECT_FALSE(p.ConvexHullCheck(VectorXZ(1.5f, -0.01f)));
    EXPECT_FALSE(p.ConvexHullCheck(VectorXZ(3.01f, 1)));
    EXPECT_FALSE(p.ConvexHullCheck(VectorXZ(-1, 4)));
}

TEST(BezierPatch, FourPointHullInAnyOrder)
{
    // A square given corner to opposite corner.
    const VectorXZ a(0, 0), b(2, 2), c(2, 0), d(0, 2);
    EXPECT_TRUE(ConvexHullCheck(a, b, c, d, VectorXZ(1, 1)));
    EXPECT_TRUE(ConvexHullCheck(a, b, c, d, VectorXZ(1, 0)));   // on an edge
    EXPECT_TRUE(ConvexHullCheck(d, c, b, a, VectorXZ(2, 2)));   // a corner
    EXPECT_FALSE(ConvexHullCheck(a, b, c, d, VectorXZ(1, -0.01f)));
    EXPECT_FALSE(ConvexHullCheck(c, a, d, b, VectorXZ(2.5f, 1)));
    // A point inside the triangle of the other three is no corner.
    const VectorXZ t0(0, 0), t1(2, 0), t2(1, 2), dent(1, 0.5f);
    EXPECT_TRUE(ConvexHullCheck(t0, dent, t1, t2, VectorXZ(1, 0.2f)));
    EXPECT_FALSE(ConvexHullCheck(t0, dent, t1, t2, VectorXZ(0.2f, 1.5f)));
    // Points on one line hold the segment between the outer two.
    const VectorXZ l0(0, 0), l1(1, 1), l2(2, 2), l3(3, 3);
    EXPECT_TRUE(ConvexHullCheck(l2, l0, l3, l1, VectorXZ(1.5f, 1.5f)));
    EXPECT_FALSE(ConvexHullCheck(l2, l0, l3, l1, VectorXZ(4, 4)));
    EXPECT_FALSE(ConvexHullCheck(l2, l0, l3, l1, VectorXZ(1, 0)));

    // A curve's control points, in x and z (y is height and plays no part).
    const Bezier arch(Vector(0, 5, 0, 0), Vector(1, 0, 2, 0), Vector(2, -5, 2, 0), Vector(3, 0, 0, 0));
    EXPECT_TRUE(ConvexHullCheck(arch, VectorXZ(1.5f, 1)));
    EXPECT_TRUE(ConvexHullCheck(arch, VectorXZ(1.5f, 2)));
    EXPECT_FALSE(ConvexHullCheck(arch, VectorXZ(1.5f, 2.5f)));
    EXPECT_FALSE(ConvexHullCheck(arch, VectorXZ(0.25f, 1)));   // outside the slope c0-c1
}

TEST(BezierPatch, HullDropsDentsInTheBoundary)
{
    BezierPatch p = Grid(kFlat);
    p.p[1] = Vector(1, 0, 0.5f, 0);   // pulled in from the z = 0 edge
    VectorXZ hull[BEZIERPATCH_HULL_MAX];
    int n = ConvexHull(p, hull);
    EXPECT_EQ(n, 12);
    // Outside the boundary polygon but inside its hull.
    EXPECT_TRUE(ConvexHullCheck(VectorXZ(1, 0.2f), hull, n));
    EXPECT_TRUE(p.ConvexHullCheck(VectorXZ(1, 0.2f)));
}

// ---------------------------------------------------------------------------
// Locating positions

TEST(BezierPatch, EstimateOnBothTrianglesOfAFlatSquare)
{
    BezierPatch p = Grid(kFlat);
    VectorXY uv = EstimateBezierPatchParams(p, VectorPos(1.5f, 0, 0.75f));   // p[3]'s side
    EXPECT_NEAR(uv[0], 0.5f, 1e-6f);
    EXPECT_NEAR(uv[1], 0.25f, 1e-6f);
    uv = EstimateBezierPatchParams(p, VectorPos(0.75f, 0, 2.25f));   // p[12]'s side
    EXPECT_NEAR(uv[0], 0.25f, 1e-6f);
    EXPECT_NEAR(uv[1], 0.75f, 1e-6f);
}

TEST(BezierPatch, EstimateWithCollapsedEdge)
{
    // p[12] pulled onto p[15]: a triangle; the estimate runs along the diagonal.
    BezierPatch p = Grid(kFlat);
    p.p[12] = p.p[15];
    VectorXY uv = EstimateBezierPatchParams(p, VectorPos(1, 0, 2));
    EXPECT_EQ(uv[0], 0.0f);
    EXPECT_NEAR(uv[1], (1 * 3 + 2 * 3) / 18.0f, 1e-6f);
}

TEST(BezierPatch, CalcParamsOnAFlatSquare)
{
    BezierPatch p = Grid(kFlat);
    Vector result;
    VectorDir normal;
    ASSERT_TRUE(p.CalcParams(VectorPos(1.5f, 0, 0.75f), result, normal));
    EXPECT_NEAR(result[0], 0.5f, 1e-6f);
    EXPECT_NEAR(result[1], 0.0f, 1e-6f);
    EXPECT_NEAR(result[2], 0.25f, 1e-6f);
    // dP/du × dP/dv = (3, 0, 0) × (0, 0, 3): up, y being down.
    ExpectNearXYZ(normal, 0, -9, 0);

    EXPECT_FALSE(p.CalcParams(VectorPos(4, 0, 1), result, normal));
}

TEST(BezierPatch, CalcParamsOnACurvedPatch)
{
    BezierPatch p = Grid(kHills);
    for (VectorPos pos : {VectorPos(0.4f, 0, 2.7f), VectorPos(1.9f, -5, 1.1f), VectorPos(2.9f, 3, 0.2f)})
    {
        Vector result;
        VectorDir normal;
        ASSERT_TRUE(p.CalcParams(pos, result, normal));
        float u = pos[0] / 3, v = pos[2] / 3;
        EXPECT_NEAR(result[0], u, 2e-3f);
        EXPECT_NEAR(result[2], v, 2e-3f);
        EXPECT_NEAR(result[1], Height(kHills, u, v), 1e-2);
        EXPECT_LT(normal[1], 0.0f);   // facing up
    }
}

TEST(BezierPatch, CalcParamsNRStopsAtOnceFromTheAnswer)
{
    BezierPatch p = Grid(kFlat);
    Vector result;
    VectorDir normal;
    ASSERT_TRUE(p.CalcParamsNR(VectorPos(1.5f, 0, 0.75f), result, normal, 0.5f, 0.25f));
    EXPECT_EQ(result[0], 0.5f);
    EXPECT_EQ(result[2], 0.25f);
    EXPECT_EQ(result[1], 0.0f);

    // A position beyond the patch drives u past 1.1.
    EXPECT_FALSE(p.CalcParamsNR(VectorPos(5, 0, 1.5f), result, normal, 0.5f, 0.5f));
    EXPECT_FALSE(p.CalcParamsNR(VectorPos(1.5f, 0, -1), result, normal, 0.5f, 0.5f));
}

TEST(BezierPatch, EvaluateBySubdivisionFollowsTheSurface)
{
    BezierPatch p = Grid(kHills);
    for (VectorPos pos : {VectorPos(0.4f, 0, 2.7f), VectorPos(1.9f, 0, 1.1f), VectorPos(2.9f, 0, 0.2f)})
    {
        VectorDir normal;
        float h = p.Evaluate(pos, normal);
        EXPECT_NEAR(h, Height(kHills, pos[0] / 3, pos[2] / 3), 3e-2) << pos[0] << "," << pos[2];
        EXPECT_LT(normal[1], 0.0f);
    }
    VectorDir normal(7, 7, 7);
    EXPECT_EQ(p.Evaluate(VectorPos(-1, 0, 1), normal), 0.0f);
}

TEST(BezierPatch, EvaluateNRAndItsRangeCheck)
{
    // A plane sloping with x: y = x.
    float slope[4][4];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            slope[r][c] = float(c);
    BezierPatch p = Grid(slope);
    VectorDir normal;
    EXPECT_NEAR(p.EvaluateNR(VectorPos(1.5f, 0, 1.5f), normal, 0.1f, 0.9f), 1.5f, 1e-2f);
    ExpectNearXYZ(normal, 9, -9, 0, 1e-3f);   // (3, 3, 0) × (0, 0, 3)

    // Converges at u = 1.01, just outside: 0, and the normal is not touched.
    VectorDir untouched(7, 7, 7);
    EXPECT_EQ(p.EvaluateNR(VectorPos(3.03f, 0, 1.5f), untouched, 0.5f, 0.5f), 0.0f);
    ExpectNearXYZ(untouched, 7, 7, 7, 0);
}

TEST(BezierPatch, SubdivisionGivesUpOnDegeneratePatch)
{
    // Every point on one line: every quarter's hull holds the position and
    // no Newton refinement can succeed.  The search must end, unanswered.
    BezierPatch p;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            p.p[4 * r + c] = Vector(float(c), 0, 0, 0);
    Vector result;
    VectorDir normal;
    EXPECT_FALSE(p.CalcParams(VectorPos(1.5f, 0, 0), result, normal));
}

}  // namespace
