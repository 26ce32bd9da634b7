// Road geometry: sideways offsets of centre lines and kerbs, cross-section
// heights and walks, and the cheap on-road test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "game/Road.h"

namespace {

Vector P(float x, float z, float w = 0.0f) { return Vector(x, 0.0f, z, w); }

void ExpectSame(const Vector& a, const Vector& b, float tol = 0.0f)
{
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(a[i], b[i], tol) << "lane " << i;
}

// A road kind held in 16-byte aligned storage with its cross-section.
struct TestRoadType
{
    alignas(16) u8 bytes[32 + 16 * 16] = {};
    RoadType& type() { return *reinterpret_cast<RoadType*>(bytes); }

    TestRoadType(std::vector<VectorXY> pts, int iJuncLeft, int iJunc)
    {
        RoadType& t = type();
        t.iNumXSectPts = u8(pts.size());
        t.iJuncLeft = u8(iJuncLeft);
        t.iJunc = u8(iJunc);
        t.iRightEdge = u8(pts.size() - 1);
        for (size_t i = 0; i < pts.size(); i++)
            t.vXSect[i] = Vector(pts[i][0], pts[i][1], 0.0f, 0.0f);
    }
    const VECTOR* points() { return reinterpret_cast<const VECTOR*>(type().vXSect); }
};

// Carriageway at height 0 from -3 to 3, kerbs rising 0.15 over 0.05, a left
// pavement at -0.2 and a right one at -0.1.
TestRoadType Kerbed()
{
    return TestRoadType({{-5, -0.2f}, {-3.05f, -0.15f}, {-3, 0}, {3, 0}, {3.05f, -0.15f}, {5, -0.1f}}, 2, 3);
}

Bezier Mirror(const Bezier& b)
{
    Bezier m = b;
    for (int i = 0; i < 4; i++)
        m[i][2] = -m[i][2];
    return m;
}

}  // namespace

TEST(RoadGeometry, OffsetsKnownAnswers)
{
    // A straight centre line along +x, handles a third of its length with
    // unit scale: its normal is (0, 0, -1) everywhere.
    const Bezier straight(P(0, 0, 0.25f), P(1, 0, 1), P(2, 0, 1), P(3, 0, 0.5f));
    const Bezier off = RoadSegOffset(straight, 2.0f);
    ExpectSame(off.c0, Vector(0, 0, -2, 0.25f), 1e-6f);
    ExpectSame(off.c3, Vector(3, 0, -2, 0.5f), 1e-6f);
    // The distance to the moved third point is 1, so the handles keep their
    // length; their w is c0.w + (c1.w - c0.w) * 1 * c1.w.
    ExpectSame(off.c1, Vector(1, 0, -2, 1), 1e-6f);
    ExpectSame(off.c2, Vector(2, 0, -2, 1), 1e-6f);
    EXPECT_NEAR(off.Evaluate(0.5f)[2], -2.0f, 1e-6f);
    EXPECT_NEAR(off.Evaluate(0.5f)[0], 1.5f, 1e-6f);

    // With a step down of 0.5 the ends drop, the thirds do not, so the
    // handles grow to sqrt(1.25).
    const Bezier stepped = RoadSegOffset(straight, Vector(2, 0.5f, 0, 0));
    ExpectSame(stepped.c0, Vector(0, 0.5f, -2, 0.25f), 1e-6f);
    EXPECT_NEAR(stepped.c1[0], std::sqrt(1.25f), 1e-6f);
    EXPECT_NEAR(stepped.c1[1], 0.5f, 1e-6f);
    EXPECT_NEAR(stepped.c2[0], 3.0f - std::sqrt(1.25f), 1e-6f);

    // Only down: every point drops 0.5, handles and w kept.
    const Bezier curved(P(0, 0, 0.1f), P(1, 2, 0.3f), P(3, 2, 0.7f), P(4, 0, 0.9f));
    const Bezier lowered = RoadSegOffset(curved, Vector(0, 0.5f, 0, 0));
    for (int i = 0; i < 4; i++)
        ExpectSame(lowered[i], curved[i] + Vector(0, 0.5f, 0, 0));

    // No offset gives the curve back.
    const Bezier same = JunctionOffset(curved, 0.0f, 0.0f);
    for (int i = 0; i < 4; i++)
        ExpectSame(same[i], curved[i]);
    // A handle rate of -1 and an offset of at least 1 collapse the start
    // handle; the end handle grows by 1 + 0.5 * 2.
    Bezier rated = straight;
    rated.c1[3] = -1.0f;
    rated.c2[3] = 0.5f;
    const Bezier k = JunctionOffset(rated, -1.5f, 2.0f);
    ExpectSame(k.c0, Vector(0, 0, 1.5f, 0.25f), 1e-6f);
    ExpectSame(k.c1, k.c0);
    ExpectSame(k.c3, Vector(3, 0, -2, 0.5f), 1e-6f);
    ExpectSame(k.c2, Vector(1, 0, -2, 0.5f), 1e-6f);   // c3 + (c2 - c3) * 2
    ExpectSame(JunctionOffset(rated, 1.0f)[0], JunctionOffset(rated, 1.0f, 1.0f)[0]);

    // An end handle of no length takes its direction from the next distinct
    // point: the ends still move sideways and nothing is undefined.
    const Bezier flatstart(P(0, 0), P(0, 0), P(2, 0), P(3, 0));
    const Bezier j = JunctionOffset(flatstart, 1.0f, 1.0f);
    ExpectSame(j.c0, Vector(0, 0, -1, 0), 1e-6f);
    ExpectSame(j.c1, j.c0);
    const Bezier flatend(P(0, 0, 0), P(1, 0, 1), P(3, 0, 1), P(3, 0, 0));
    const Bezier r = RoadSegOffset(flatend, 1.0f);
    ExpectSame(r.c3, Vector(3, 0, -1, 0), 1e-6f);
    for (int i = 0; i < 4; i++)
        for (int c = 0; c < 4; c++)
            EXPECT_FALSE(std::isnan(r[i][c]));
}

TEST(RoadGeometry, CrossSectionHeightsAndLookups)
{
    TestRoadType kerbed = Kerbed();
    const RoadType& t = kerbed.type();
    EXPECT_FLOAT_EQ(t.CrossSectHeight(-9.0f), -0.2f);     // point 0's height
    EXPECT_FLOAT_EQ(t.CrossSectHeight(9.0f), -0.1f);      // the right edge's
    EXPECT_FLOAT_EQ(t.CrossSectHeight(5.0f), -0.1f);
    EXPECT_FLOAT_EQ(t.CrossSectHeight(0.0f), 0.0f);
    EXPECT_NEAR(t.CrossSectHeight(3.025f), -0.075f, 1e-5f);
    EXPECT_NEAR(t.CrossSectHeight(4.0f), -0.15f + 0.05f * (0.95f / 1.95f), 1e-6f);

    // A section ending in a vertical face gives the outer point's height at
    // the right edge.
    TestRoadType faced({{-1, 0}, {1, 0}, {1, -0.2f}}, 0, 1);
    EXPECT_FLOAT_EQ(faced.type().CrossSectHeight(1.0f), -0.2f);
    EXPECT_FLOAT_EQ(faced.type().CrossSectHeight(0.0f), 0.0f);

    const VECTOR* v = kerbed.points();
    EXPECT_EQ(GetXSect(-4.0f, v, 6), v + 0);
    EXPECT_EQ(GetXSect(-3.0f, v, 6), v + 2);
    EXPECT_EQ(GetXSect(2.99f, v, 6), v + 2);
    EXPECT_EQ(GetXSect(3.0f, v, 6), v + 3);
    EXPECT_EQ(GetXSect(4.99f, v, 6), v + 4);
}

TEST(RoadGeometry, SidewaysWalksStopAtKerbWalls)
{
    TestRoadType kerbed = Kerbed();
    const VECTOR* v = kerbed.points();
    float wall = 2.0f;
    // Right from the carriageway onto the kerb: the face [3, 3.05] rises 0.15
    // over 0.05 and its top lies above the feet.
    EXPECT_EQ(GetXSect(3.5f, v, 6, &wall, 0.0f, v + 3, false), v + 2);
    EXPECT_FLOAT_EQ(wall, 3.0f - 3.5f);
    // Feet above the kerb top: no wall.
    wall = 2.0f;
    EXPECT_EQ(GetXSect(3.5f, v, 6, &wall, -0.2f, v + 3, false), v + 4);
    EXPECT_EQ(wall, 0.0f);
    // Left, the mirror image.
    wall = -2.0f;
    EXPECT_EQ(GetXSect(-3.5f, v, 6, &wall, 0.0f, v + 3, false), v + 2);
    EXPECT_FLOAT_EQ(wall, -3.0f + 3.5f);
    // Within the carriageway nothing is in the way.
    wall = -2.0f;
    EXPECT_EQ(GetXSect(2.5f, v, 6, &wall, 0.0f, v + 3, false), v + 2);
    EXPECT_EQ(wall, 0.0f);

    // A rise of exactly 0.09375, or a run of exactly half the rise, is no wall.
    TestRoadType low({{-1, 0}, {0, 0}, {0.01f, -0.09375f}, {2, -0.09375f}}, 1, 1);
    wall = -0.5f;
    EXPECT_EQ(GetXSect(1.0f, low.points(), 4, &wall, 0.0f, low.points() + 1, false), low.points() + 2);
    EXPECT_EQ(wall, 0.0f);
    TestRoadType sloped({{-1, 0}, {0, 0}, {0.0625f, -0.125f}, {2, -0.125f}}, 1, 1);
    wall = -0.5f;
    EXPECT_EQ(GetXSect(1.0f, sloped.points(), 4, &wall, 0.0f, sloped.points() + 1, false), sloped.points() + 2);
    EXPECT_EQ(wall, 0.0f);
    TestRoadType steep({{-1, 0}, {0, 0}, {0.0625f, -0.126f}, {2, -0.126f}}, 1, 1);
    wall = -0.5f;
    GetXSect(1.0f, steep.points(), 4, &wall, 0.0f, steep.points() + 1, false);
    EXPECT_FLOAT_EQ(wall, -1.0f);
}

TEST(RoadGeometry, ConvexHullCheckBoundsTheRoad)
{
    const Bezier straight(P(0, 0), P(1, 0), P(2, 0), P(3, 0));
    const float r = 2.0f;
    EXPECT_TRUE(ConvexHullCheck(straight, VectorXZ(1.5f, r - 0.001f), r));
    EXPECT_FALSE(ConvexHullCheck(straight, VectorXZ(1.5f, r + 0.001f), r));
    EXPECT_TRUE(ConvexHullCheck(straight, VectorXZ(1.5f, -r + 0.001f), r));
    EXPECT_FALSE(ConvexHullCheck(straight, VectorXZ(1.5f, -r - 0.001f), r));
    // Just past either end along the road, well within r of it.
    EXPECT_FALSE(ConvexHullCheck(straight, VectorXZ(3.01f, 0), r));
    EXPECT_FALSE(ConvexHullCheck(straight, VectorXZ(-0.01f, 0), r));
    EXPECT_TRUE(ConvexHullCheck(straight, VectorXZ(2.99f, 0.5f), r));
    // A start handle of no length bounds nothing and takes its direction from
    // c2: the inside of the hull still passes.
    const Bezier flat(P(0, 0), P(0, 0), P(2, -2), P(4, 0));
    EXPECT_TRUE(ConvexHullCheck(flat, VectorXZ(2, -0.5f), 0.1f));
    EXPECT_FALSE(ConvexHullCheck(flat, VectorXZ(2, 0.5f), 0.1f));
}

TEST(RoadGeometry, ConvexHullTurnTableRows)
{
    const float r = 0.5f, e = 1.0f / 1024.0f;
    // Rows 1 to 4 turn from +x toward -z; rows 5 to 8 are their mirror images.
    const Bezier row1(P(0, 0), P(2, 0), P(3, -1), P(3, -3));
    const Bezier row2(P(0, 0), P(2, 0), P(1.5f, -0.5f), P(2, -2));
    const Bezier row3(P(0, 0), P(2, 0), P(0.5f, -1.5f), P(2, -2));
    const Bezier row4(P(0, 0), P(1, -0.5f), P(1, -2), P(2, 0));
    const Bezier rows[4] = {row1, row2, row3, row4};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(ConvexHullRow(rows[i]), i + 1);
        EXPECT_EQ(ConvexHullRow(Mirror(rows[i])), i + 5);
    }

    for (int m = 0; m < 2; m++) {
        const float zs = m == 0 ? 1.0f : -1.0f;   // the mirror flips z
        auto at = [&](const Bezier& b, float x, float z) {
            return ConvexHullCheck(m == 0 ? b : Mirror(b), VectorXZ(x, zs * z), r);
        };
        // Rows 2, 3 (6, 7): c0 -> c1 along x and c1 -> c3 along z pass at
        // exactly r outside.
        EXPECT_TRUE(at(row2, 1, r));
        EXPECT_FALSE(at(row2, 1, r + e));
        EXPECT_TRUE(at(row2, 2 + r, -1));
        EXPECT_TRUE(at(row3, 1, r));
        EXPECT_FALSE(at(row3, 1, r + e));
        EXPECT_TRUE(at(row3, 2 + r, -0.25f));
        // Rows 1 and 4 (5, 8): their edges along x need to be strictly within.
        EXPECT_FALSE(at(row1, 1, r));
        EXPECT_TRUE(at(row1, 1, r - e));
        EXPECT_FALSE(at(row4, 0.75f, r));
        EXPECT_TRUE(at(row4, 0.75f, r - e));
        // Inside is inside whatever the row.
        EXPECT_TRUE(at(row1, 2, -1));
        EXPECT_TRUE(at(row2, 1.5f, -0.75f));
        EXPECT_TRUE(at(row3, 1.5f, -0.75f));
        EXPECT_TRUE(at(row4, 1, -0.5f));
    }
}
