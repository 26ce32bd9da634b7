#include <gtest/gtest.h>

#include "ZevEngine2/PS2/Extent.h"

namespace {

constexpr float kPi = 3.14159265f;

void ExpectNearXYZ(const VectorStore& actual, float x, float y, float z, float tol = 1e-5f)
{
    EXPECT_NEAR(actual[0], x, tol);
    EXPECT_NEAR(actual[1], y, tol);
    EXPECT_NEAR(actual[2], z, tol);
}

Cuboid HalfCube(float h) { return Cuboid(VectorPos(-h, -h, -h), VectorPos(h, h, h)); }

// ---------------------------------------------------------------------------
// Plane

TEST(Plane, ThreePointsGiveNormalByRightHandRuleAndOffset)
{
    // (1,0,0) × (0,0,1) = (0,-1,0): the plane y = 5 facing up (y is down).
    Plane p(VectorPos(0, 5, 0), VectorPos(1, 5, 0), VectorPos(0, 5, 1));
    ExpectNearXYZ(p.Normal(), 0, -1, 0);
    EXPECT_FLOAT_EQ(p[3], 5.0f);
    EXPECT_FLOAT_EQ(p.Dist(VectorPos(7, 3, -2)), 2.0f);     // 2 above
    EXPECT_FLOAT_EQ(p.Dist(Vector(7, 3, -2, 1)), 2.0f);     // homogeneous form
    EXPECT_FALSE(p.Test(VectorPos(0, 3, 0)));
    EXPECT_TRUE(p.Test(VectorPos(0, 6, 0)));

    // Without normalising, the normal keeps the cross product's length.
    Plane raw(VectorPos(0, 5, 0), VectorPos(2, 5, 0), VectorPos(0, 5, 2), false);
    ExpectNearXYZ(raw.Normal(), 0, -4, 0);
    EXPECT_FLOAT_EQ(raw[3], 20.0f);
    raw.Normalise();
    ExpectNearXYZ(raw.Normal(), 0, -1, 0);
    EXPECT_FLOAT_EQ(raw[3], 5.0f);
}

// ---------------------------------------------------------------------------
// Cuboid: members

TEST(Cuboid, CornersPlanesAndContainment)
{
    Cuboid b(VectorPos(1, 2, 3), VectorPos(4, 6, 8));
    ExpectNearXYZ(b.Centre(), 2.5f, 4, 5.5f);
    ExpectNearXYZ(b.Extent(), 3, 4, 5);
    EXPECT_FLOAT_EQ(b.Volume(), 60.0f);
    ExpectNearXYZ(b.Corner(0), 1, 2, 3);
    ExpectNearXYZ(b.Corner(5), 4, 2, 8);
    ExpectNearXYZ(b.Corner2(3), 4, 2, 8);   // top face: y = min.y
    // Every corner lies on or behind all six outward face planes, the centre
    // strictly behind them, and a point just outside a face in front of it.
    for (int c = 0; c < 8; c++)
        for (int f = 0; f < 6; f++)
            EXPECT_LE(b.GetPlane(f).Dist(b.Corner(c)), 0.0f) << c << " " << f;
    for (int f = 0; f < 6; f++)
        EXPECT_TRUE(b.GetPlane(f).Test(b.Centre())) << f;
    EXPECT_GT(b.GetPlane(0).Dist(VectorPos(0.5f, 4, 5)), 0.0f);   // -x face
    EXPECT_GT(b.GetPlane(5).Dist(VectorPos(2, 4, 8.5f)), 0.0f);   // +z face

    EXPECT_TRUE(b.IsInside(VectorPos(1, 6, 5)));   // on faces
    EXPECT_FALSE(b.IsInside(VectorPos(0.99f, 4, 5)));
}

TEST(Cuboid, UnionIntersectionAndEmptiness)
{
    Cuboid a(VectorPos(0, 0, 0), VectorPos(2, 2, 2));
    Cuboid b(VectorPos(1, -1, 1), VectorPos(3, 1, 5));
    Cuboid u = a + b;
    ExpectNearXYZ(u.min, 0, -1, 0);
    ExpectNearXYZ(u.max, 3, 2, 5);
    Cuboid i = a & b;
    ExpectNearXYZ(i.min, 1, 0, 1);
    ExpectNearXYZ(i.max, 2, 1, 2);
    EXPECT_FALSE(i.IsEmpty());

    Cuboid far(VectorPos(5, 0, 0), VectorPos(6, 1, 1));
    EXPECT_TRUE((a & far).IsEmpty());
    EXPECT_TRUE((a & far).IsEmpty2D());
    EXPECT_FLOAT_EQ((a & far).Volume(), 0.0f);
    // Apart only in height: empty in 3-D, not in plan.
    Cuboid above(VectorPos(0, 5, 0), VectorPos(1, 6, 1));
    EXPECT_TRUE((a & above).IsEmpty());
    EXPECT_FALSE((a & above).IsEmpty2D());

    Cuboid grown = a;
    grown += VectorPos(-1, 4, 1);
    ExpectNearXYZ(grown.min, -1, 0, 0);
    ExpectNearXYZ(grown.max, 2, 4, 2);
}

TEST(Cuboid, UnitMatMapsBoxOntoCubeAndFlatAxisToZero)
{
    Cuboid b(VectorPos(0, 0, 0), VectorPos(2, 4, 0));
    Matrix m = b.UnitMat();
    ExpectNearXYZ(m * VectorPos(0, 0, 0), -1, -1, 0);
    ExpectNearXYZ(m * VectorPos(2, 4, 0), 1, 1, 0);
    ExpectNearXYZ(m * VectorPos(1, 2, 7), 0, 0, 0);   // z always 0
    ExpectNearXYZ(m * VectorPos(1.5f, 1, -3), 0.5f, -0.5f, 0);
}

TEST(Cuboid, InvUnitMatUndoesUnitMat)
{
    Cuboid b(VectorPos(-1, 2, 3), VectorPos(5, 4, 11));
    ExpectNearXYZ(b.InvUnitMat() * VectorPos(1, 1, 1), 5, 4, 11);
    ExpectNearXYZ(b.InvUnitMat() * VectorPos(-1, -1, -1), -1, 2, 3);
    VectorPos p(0.3f, 3.1f, 7.5f);
    ExpectNearXYZ(b.InvUnitMat() * (b.UnitMat() * p), p[0], p[1], p[2]);
}

TEST(Cuboid, GetBoxBoundsTheTransformedCorners)
{
    Cuboid b(VectorPos(-1, -2, -3), VectorPos(1, 2, 5));
    Matrix m = RotY(0.6f) * RotX(-0.3f) * TransMatrix(10, 0, -4);
    Cuboid box = b.GetBox(m);
    VectorPos lo = m * b.Corner(0), hi = lo;
    for (int c = 1; c < 8; c++)
    {
        lo = Min(lo, m * b.Corner(c));
        hi = Max(hi, m * b.Corner(c));
    }
    ExpectNearXYZ(box.min, lo[0], lo[1], lo[2], 1e-4f);
    ExpectNearXYZ(box.max, hi[0], hi[1], hi[2], 1e-4f);
}

// ---------------------------------------------------------------------------
// Cuboid: box against box

TEST(Cuboid, QuickTestCountsTouchingFacesAsOverlap)
{
    Cuboid a(VectorPos(0, 0, 0), VectorPos(1, 1, 1));
    Matrix id(true);
    EXPECT_TRUE(a.QuickTest(id, a, TransMatrix(1, 0, 0)));
    EXPECT_FALSE(a.QuickTest(id, a, TransMatrix(1.01f, 0, 0)));
    // The second box's frame is carried into the first's.
    EXPECT_TRUE(a.QuickTest(TransMatrix(5, 0, 0), a, TransMatrix(5.5f, 0.5f, 0)));
    EXPECT_FALSE(a.QuickTest(TransMatrix(5, 0, 0), a, TransMatrix(0.5f, 0.5f, 0)));
}

TEST(Cuboid, TestRejectsByFaceAxesAfterRadiusPasses)
{
    Cuboid c = HalfCube(0.5f);
    Matrix id(true);
    // 1.5 apart: within the radius sum 1.732 but separated on x.
    EXPECT_FALSE(c.Test(id, c, TransMatrix(1.5f, 0, 0)));
    EXPECT_TRUE(c.Test(id, c, TransMatrix(0.9f, 0, 0)));
    // Far apart: the radius test alone.
    EXPECT_FALSE(c.Test(id, c, TransMatrix(0, 3, 0)));
    // A box turned 45° about y reaches 0.707 toward the other.
    Matrix turned = RotY(kPi / 4);
    turned.w = Vector(1.15f, 0, 0, 1);
    EXPECT_TRUE(c.Test(id, c, turned));
    turned.w = Vector(1.25f, 0, 0, 1);
    EXPECT_FALSE(c.Test(id, c, turned));
}

TEST(Cuboid, TestRejectsByEdgeAxisWhenFacesOverlap)
{
    // A turned 45° about y presents a vertical edge along +x; B turned 45°
    // about z presents an edge along z toward -x.  The edges cross the x axis
    // at 0.707 and d - 0.707: only the axis y × z = x separates them once
    // d > 1.414, while the face axes separate only beyond d = 1.915.
    Cuboid c = HalfCube(0.5f);
    Matrix a = RotY(kPi / 4);
    Matrix b = RotZ(kPi / 4);
    b.w = Vector(1.6f, 0, 0, 1);
    EXPECT_TRUE(c.QuickTest(a, c, b));   // the face axes pass both ways
    EXPECT_TRUE(c.QuickTest(b, c, a));
    EXPECT_FALSE(c.Test(a, c, b));
    b.w = Vector(1.3f, 0, 0, 1);
    EXPECT_TRUE(c.Test(a, c, b));
    // Order of the boxes does not matter.
    EXPECT_TRUE(c.Test(b, c, a));
}

// ---------------------------------------------------------------------------
// Cuboid: box against plane

TEST(Cuboid, PlaneTestMeasuresToNearestPoint)
{
    Cuboid c = HalfCube(0.5f);
    Matrix id(true);
    Plane facing(-1, 0, 0, 2);   // x = 2, facing -x: the box is in front
    EXPECT_NEAR(c.Test2(id, facing, id), 1.5f, 1e-6f);
    EXPECT_FALSE(c.Test(id, facing, id));
    // Box moved to x = 1.8 crosses it.
    EXPECT_NEAR(c.Test2(TransMatrix(1.8f, 0, 0), facing, id), -0.3f, 1e-6f);
    EXPECT_TRUE(c.Test(TransMatrix(1.8f, 0, 0), facing, id));
    // The plane is given in the second matrix's frame: now at x = 3.
    EXPECT_NEAR(c.Test2(id, facing, TransMatrix(1, 0, 0)), 2.5f, 1e-6f);
    // A box turned 45° reaches 0.707 toward the plane.
    EXPECT_NEAR(c.Test2(RotY(kPi / 4), facing, id), 2.0f - 0.70710678f, 1e-5f);
    // Wholly behind the plane: true however far.
    EXPECT_TRUE(c.Test(TransMatrix(50, 0, 0), facing, id));
}

TEST(Cuboid, PlaneCarriedThroughRotatedFrame)
{
    // The local plane x = 1 facing -x, given in a frame turned 90° about z
    // (local x is world y): in world the plane y = 1 facing -y.
    Cuboid c = HalfCube(0.5f);
    Matrix frame = RotZ(kPi / 2);   // local x -> world y
    Plane local(-1, 0, 0, 1);
    // The box at the origin is 0.5 short of it.
    EXPECT_NEAR(c.Test2(Matrix(true), local, frame), 0.5f, 1e-5f);
    EXPECT_TRUE(c.Test(TransMatrix(0, 0.6f, 0), local, frame));
}

// ---------------------------------------------------------------------------
// Cuboid: segment clipping

TEST(Cuboid, ClipKeepsInsideSegmentAndLeavesMissUntouched)
{
    Cuboid c = HalfCube(0.5f);
    VectorPos p0(-0.2f, 0.1f, 0.3f), p1(0.4f, -0.4f, 0);
    EXPECT_TRUE(c.Clip(p0, p1));
    ExpectNearXYZ(p0, -0.2f, 0.1f, 0.3f, 0);
    ExpectNearXYZ(p1, 0.4f, -0.4f, 0, 0);

    // Beside the box.
    VectorPos q0(-2, 0, 0.8f), q1(2, 0, 0.8f);
    EXPECT_FALSE(c.Clip(q0, q1));
    ExpectNearXYZ(q0, -2, 0, 0.8f, 0);
    ExpectNearXYZ(q1, 2, 0, 0.8f, 0);

    // Past a corner: the segment's own box overlaps, the segment does not.
    VectorPos r0(-2, 0.9f, 0), r1(0.9f, -2, 0);
    EXPECT_FALSE(c.Clip(r0, r1));
    ExpectNearXYZ(r0, -2, 0.9f, 0, 0);
}

TEST(Cuboid, ClipCutsCrossingSegmentsAtTheFaces)
{
    Cuboid c = HalfCube(0.5f);
    VectorPos p0(-2, 0, 0), p1(2, 0, 0);
    EXPECT_TRUE(c.Clip(p0, p1));
    ExpectNearXYZ(p0, -0.5f, 0, 0);
    ExpectNearXYZ(p1, 0.5f, 0, 0);

    // Diagonal in x-z, entering through -x and leaving through +z.
    VectorPos q0(-1, 0, -0.25f), q1(0.5f, 0, 1.25f);
    EXPECT_TRUE(c.Clip(q0, q1));
    ExpectNearXYZ(q0, -0.5f, 0, 0.25f);
    ExpectNearXYZ(q1, -0.25f, 0, 0.5f);

    // Vertical, in either direction: only y is clamped.
    VectorPos v0(0.1f, -5, 0.2f), v1(0.1f, 5, 0.2f);
    EXPECT_TRUE(c.Clip(v0, v1));
    ExpectNearXYZ(v0, 0.1f, -0.5f, 0.2f);
    ExpectNearXYZ(v1, 0.1f, 0.5f, 0.2f);
    VectorPos w0(0.1f, 5, 0.2f), w1(0.1f, 0.2f, 0.2f);
    EXPECT_TRUE(c.Clip(w0, w1));
    ExpectNearXYZ(w0, 0.1f, 0.5f, 0.2f);
    ExpectNearXYZ(w1, 0.1f, 0.2f, 0.2f);
}

// ---------------------------------------------------------------------------
// Cuboid: view tests

TEST(Cuboid, CullAndClipAgainstClipSpace)
{
    Matrix id(true);   // homogeneous w = 1: the clip volume is [-1, 1]³
    Cuboid inside(VectorPos(-0.5f, -0.5f, -0.5f), VectorPos(0.5f, 0.5f, 0.5f));
    Cuboid straddling(VectorPos(0.5f, -0.5f, -0.5f), VectorPos(1.5f, 0.5f, 0.5f));
    Cuboid beyondX(VectorPos(2, -0.5f, -0.5f), VectorPos(3, 0.5f, 0.5f));
    Cuboid around(VectorPos(-5, -5, -5), VectorPos(5, 5, 5));   // holds the view
    Cuboid diagonal(VectorPos(2, 2, -0.5f), VectorPos(3, 3, 0.5f));

    EXPECT_EQ(inside.TestCull(id), 0);
    EXPECT_EQ(inside.TestClip(id), 0);
    EXPECT_EQ(straddling.TestCull(id), 0);
    EXPECT_EQ(straddling.TestClip(id), 1);
    EXPECT_EQ(beyondX.TestCull(id), 1);
    EXPECT_EQ(beyondX.TestClip(id), 1);
    // Every corner is outside some plane, but no plane has them all.
    EXPECT_EQ(around.TestCull(id), 0);
    EXPECT_EQ(around.TestClip(id), 1);
    EXPECT_EQ(diagonal.TestCull(id), 1);
}

TEST(Cuboid, CullUsesEachCornersOwnW)
{
    // A projection whose w is the point's depth z: the view is the pyramid
    // |x| <= z, |y| <= z, z <= z.
    Matrix proj(Vector(1, 0, 0, 0), Vector(0, 1, 0, 0), Vector(0, 0, 1, 1), Vector(0, 0, 0, 0));
    Cuboid nearEdge(VectorPos(4, -1, 5), VectorPos(6, 1, 5.5f));
    Cuboid outside(VectorPos(6, -1, 5), VectorPos(7, 1, 5.5f));
    EXPECT_EQ(nearEdge.TestCull(proj), 0);
    EXPECT_EQ(nearEdge.TestClip(proj), 1);
    EXPECT_EQ(outside.TestCull(proj), 1);
    // Under a matrix that moves it back in front.
    EXPECT_EQ(outside.TestCull(TransMatrix(-6.5f, 0, 0) * proj), 0);
}

// ---------------------------------------------------------------------------
// Sphere

TEST(Sphere, SphereTestIgnoresMatrixScaleOfRadius)
{
    Sphere a(0, 0, 0, 1), b(0, 0, 0, 1);
    Matrix id(true);
    EXPECT_TRUE(a.Test(id, b, TransMatrix(1.9f, 0, 0)));
    EXPECT_FALSE(a.Test(id, b, TransMatrix(2.0f, 0, 0)));   // touching is not overlap
    // The centre (1, 0, 0) scaled by 10 lies at 10; the radius stays 1.
    Sphere off(1, 0, 0, 1);
    EXPECT_TRUE(off.Test(ScaleMatrix(10, 10, 10), b, TransMatrix(11.9f, 0, 0)));
    EXPECT_FALSE(off.Test(ScaleMatrix(10, 10, 10), b, TransMatrix(12.5f, 0, 0)));
}

TEST(Sphere, BoxTestFacesEdgesAndCorners)
{
    Cuboid box = HalfCube(0.5f);
    Matrix id(true);
    auto hits = [&](float x, float y, float z, float r) { return Sphere(x, y, z, r).Test(id, box, id); };
    EXPECT_FALSE(hits(2, 0, 0, 1));        // face gap 1.5
    EXPECT_TRUE(hits(1.4f, 0, 0, 1));      // face gap 0.9
    EXPECT_TRUE(hits(0, 0, 0, 0.1f));      // centre inside
    // Edge along z: distance sqrt(0.7² + 0.7²) = 0.99 vs 0.75² * 2 = 1.125.
    EXPECT_TRUE(hits(1.2f, 1.2f, 0, 1));
    EXPECT_FALSE(hits(1.25f, 1.25f, 0, 1));
    // Corner: 3 * 0.5² = 0.75 vs 3 * 0.6² = 1.08.
    EXPECT_TRUE(hits(1, 1, 1, 1));
    EXPECT_FALSE(hits(1.1f, 1.1f, 1.1f, 1));
}

TEST(Sphere, BoxTestTakesBothFrames)
{
    Cuboid box = HalfCube(0.5f);
    Sphere s(0, 0, 0, 1);
    // A box scaled by 2 (half size 1 in world): the gap is measured in world units.
    EXPECT_FALSE(s.Test(TransMatrix(2.5f, 0, 0), box, ScaleMatrix(2, 2, 2)));
    EXPECT_TRUE(s.Test(TransMatrix(1.8f, 0, 0), box, ScaleMatrix(2, 2, 2)));
    // Both moved together: unchanged.
    Matrix move = RotY(0.7f) * TransMatrix(30, 4, -8);
    EXPECT_TRUE(Sphere(1, 1, 1, 1).Test(move, box, move));
    EXPECT_FALSE(Sphere(1.1f, 1.1f, 1.1f, 1).Test(move, box, move));
}

TEST(Sphere, PlaneTestCarriesThePlaneIntoTheSpheresFrame)
{
    Sphere s(0, 0, 0, 1);
    Matrix id(true);
    EXPECT_TRUE(s.Test(id, Plane(1, 0, 0, -2), id));    // behind x = 2 facing +x
    EXPECT_FALSE(s.Test(id, Plane(-1, 0, 0, 2), id));   // 2 in front
    EXPECT_TRUE(s.Test(TransMatrix(1.5f, 0, 0), Plane(-1, 0, 0, 2), id));
    // Plane moved to x = 2.6 by its own matrix: 1.1 in front again.
    EXPECT_FALSE(s.Test(TransMatrix(1.5f, 0, 0), Plane(-1, 0, 0, 2), TransMatrix(0.6f, 0, 0)));
}

TEST(Sphere, UnitMatMapsTheSphereOntoTheUnitSphere)
{
    Sphere s(1, -2, 3, 2);
    ExpectNearXYZ(s.UnitMat() * VectorPos(1, -2, 3), 0, 0, 0);
    ExpectNearXYZ(s.UnitMat() * VectorPos(3, -2, 3), 1, 0, 0);
    ExpectNearXYZ(s.UnitMat() * VectorPos(1, -2, 1), 0, 0, -1);
    const VectorPos p(0.5f, 7, -4);
    ExpectNearXYZ(s.InvUnitMat() * (s.UnitMat() * p), p[0], p[1], p[2]);
    ExpectNearXYZ(Sphere(5, 5, 5, 0).UnitMat() * p, 0, 0, 0);
}

TEST(Sphere, GrowingByPointsAndSpheres)
{
    Sphere s(0, 0, 0, 1);
    Sphere same = s + VectorPos(0.5f, 0.5f, 0);
    EXPECT_EQ(same, s);
    Sphere grown = s + VectorPos(3, 0, 0);
    ExpectNearXYZ(grown, 1, 0, 0);
    EXPECT_FLOAT_EQ(grown[3], 2.0f);

    Sphere big(1, 0, 0, 5);
    EXPECT_EQ(s + big, big);   // s lies inside big
    EXPECT_EQ(big + s, big);
    Sphere both = s + Sphere(4, 0, 0, 1);
    ExpectNearXYZ(both, 2, 0, 0);
    EXPECT_FLOAT_EQ(both[3], 3.0f);
    // Unequal radii: the result just holds both.
    Sphere mixed = s + Sphere(0, 6, 0, 2);
    EXPECT_NEAR(mixed[3], 4.5f, 1e-6f);
    EXPECT_NEAR((mixed.Centre() - VectorPos(0, -1, 0)).Length(), mixed[3], 1e-5f);
    EXPECT_NEAR((mixed.Centre() - VectorPos(0, 8, 0)).Length(), mixed[3], 1e-5f);
}

// ---------------------------------------------------------------------------
// Extent

Extent BoxExtent(const Cuboid& b) { return Extent(b.UnitMat()); }

TEST(Extent, UnsetExtentContainsNothing)
{
    Extent none(Matrix(false));
    EXPECT_FALSE(none.IsValid());
    EXPECT_FALSE(none.Within(VectorPos(0, 0, 0)));
    EXPECT_FALSE(none.EntirelyWithin(VectorPos(0, 0, 0), 0));
}

TEST(Extent, WithinAndRoundTrip)
{
    Extent e = BoxExtent(Cuboid(VectorPos(0, 0, 0), VectorPos(4, 2, 2)));
    EXPECT_TRUE(e.IsValid());
    EXPECT_TRUE(e.Within(VectorPos(1, 1, 1)));
    EXPECT_TRUE(e.Within(VectorPos(4, 2, 2)));   // on the corner
    EXPECT_FALSE(e.Within(VectorPos(5, 1, 1)));
    ExpectNearXYZ(e.ClipPos(VectorPos(3, 1, 1)), 0.5f, 0, 0);
    ExpectNearXYZ(e.ToWorld(VectorPos(-1, 1, 0)), 0, 2, 1);
}

TEST(Extent, EntirelyWithinScalesRadiusIntoTheCube)
{
    Extent e = BoxExtent(Cuboid(VectorPos(0, 0, 0), VectorPos(4, 2, 2)));
    EXPECT_TRUE(e.EntirelyWithin(VectorPos(2, 1, 1), 0.9f));
    EXPECT_FALSE(e.EntirelyWithin(VectorPos(2, 1, 1), 1.1f));   // pokes out in y and z
    EXPECT_TRUE(e.EntirelyWithin(VectorPos(1, 1, 1), 0.9f));    // 0.1 from x = 0
    EXPECT_FALSE(e.EntirelyWithin(VectorPos(0.5f, 1, 1), 0.9f));
}

TEST(Extent, SomeWithinWhenTheSpheresBoxReachesTheCube)
{
    // x maps by 1/2 into the cube, y and z by 1.
    Extent e = BoxExtent(Cuboid(VectorPos(0, 0, 0), VectorPos(4, 2, 2)));
    EXPECT_TRUE(e.SomeWithin(VectorPos(2, 1, 1), 0));
    EXPECT_FALSE(e.SomeWithin(VectorPos(5, 1, 1), 0.9f));    // cube x 1.5 - 0.45
    EXPECT_TRUE(e.SomeWithin(VectorPos(5, 1, 1), 1.1f));     // 1.5 - 0.55
    EXPECT_FALSE(e.SomeWithin(VectorPos(-1, 1, 1), 0.9f));   // -1.5 + 0.45
    EXPECT_TRUE(e.SomeWithin(VectorPos(-1, 1, 1), 1.9f));
    EXPECT_FALSE(e.SomeWithin(VectorPos(2, 3.5f, 1), 1.4f)); // cube y 2.5 - 1.4
    EXPECT_TRUE(e.SomeWithin(VectorPos(2, 3.5f, 1), 1.6f));
    // Straddling a face is some, not all.
    EXPECT_TRUE(e.SomeWithin(VectorPos(4, 1, 1), 0.5f));
    EXPECT_FALSE(e.EntirelyWithin(VectorPos(4, 1, 1), 0.5f));
    EXPECT_FALSE(Extent(Matrix(false)).SomeWithin(VectorPos(0, 0, 0), 10));
}

TEST(Extent, CheckRayMeetsTheBox)
{
    Extent e(Matrix(true));   // the cube [-1, 1]³ itself
    EXPECT_TRUE(e.CheckRay(VectorPos(-2, 0, 0), VectorPos(2, 0, 0)));    // through
    EXPECT_TRUE(e.CheckRay(VectorPos(0, 0, 0), VectorPos(5, 5, 5)));     // starts inside
    EXPECT_FALSE(e.CheckRay(VectorPos(2, 2, 0), VectorPos(2, -2, 0)));   // both beyond x = 1
    // Crossing the corner region between +y and +x.
    EXPECT_FALSE(e.CheckRay(VectorPos(0, 2.5f, 0), VectorPos(2.5f, 0, 0)));
    EXPECT_TRUE(e.CheckRay(VectorPos(0, 1.5f, 0), VectorPos(1.5f, 0, 0)));
    // Stops short of the box.
    EXPECT_FALSE(e.CheckRay(VectorPos(-3, 0, 0), VectorPos(-1.5f, 0, 0)));
}

TEST(Extent, TransformFollowsPlacement)
{
    Extent e = BoxExtent(HalfCube(1));
    e.Transform(TransMatrix(10, 0, 0));
    EXPECT_TRUE(e.Within(VectorPos(10.5f, 0, 0)));
    EXPECT_FALSE(e.Within(VectorPos(0, 0, 0)));
    Extent none(Matrix(false));
    none.Transform(TransMatrix(10, 0, 0));
    EXPECT_FALSE(none.IsValid());
}

}  // namespace
