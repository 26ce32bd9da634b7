// The road strip renderer's batches and the road drawers' packets, read back
// from the frame's packet as words: slices, their parameters and texture
// coordinates, batch framing, the junction middle's vertex order, and what
// the drawers leave out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/render_support.h"
#include "ee/console_out.h"
#include "game/PS2/RoadDraw.h"
#include "game/Road.h"

namespace {

float F(u32 w)
{
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

struct Slice
{
    float t, v;
};
struct Batch
{
    std::vector<Slice> slices;
    bool called = false;
};

// The road batches written from `from` to the packet's end: STCYCL, the
// slice UNPACK with its count, the slices, then ITOP, MSCAL, FLUSH unless
// the batch holds one slice.
std::vector<Batch> Batches(const u32* from)
{
    std::vector<Batch> out;
    const u32* p = from;
    while (p + 2 <= therenderer.p) {
        if (p[0] == ROAD_BATCH_STCYCL && (p[1] & 0xFF00FFFFu) == ROAD_SLICE_UNPACK) {
            const u32 n = (p[1] >> 16) & 0xFF;
            Batch b;
            for (u32 i = 0; i < n; ++i)
                b.slices.push_back({F(p[2 + 4 * i + 2]), F(p[2 + 4 * i + 1])});
            p += 2 + 4 * n;
            if (p + 3 <= therenderer.p && p[0] == VIF_ITOP(n) && p[1] == 0x14000720u && p[2] == VIF_FLUSH) {
                b.called = true;
                p += 3;
            }
            out.push_back(b);
        } else {
            ++p;
        }
    }
    return out;
}

class RoadBatches : public ::testing::Test
{
protected:
    RenderContext rc;

    void SetUp() override
    {
        render_test::ResetRenderer();
        render_test::ResetTexman();
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        rc.SetAspectRatio(1.0f, 1.0f);
        rc.SetViewport(2048, 2048 + 256, 2048, 2048 + 128, 1.0f, 16000000.0f);
        rc.SetZRange(0.25f, 1000.0f);
        rc.SetPerspective(1.0f);
        rc.SetCameraMatrix(Matrix(true));
        console::ClearConsoleText();
    }
    void TearDown() override { therenderer.EndScene(); }
};

Bezier Straight(float z0, float len)
{
    return Bezier(Vector(0, 1, z0, 0), Vector(0, 1, z0 + len / 3, 0), Vector(0, 1, z0 + 2 * len / 3, 0),
                  Vector(0, 1, z0 + len, 0));
}

// A straight road far away is one batch of two slices running a little past
// both ends (by 0.00234375 over the handle: 5 units here), framed as the
// generator expects; with texscale 0 its v runs 0 to 1.
TEST_F(RoadBatches, StraightFarRoadIsOneBatchOfTwoSlices)
{
    const u32* from = therenderer.p;
    RoadRender::RoadSplineSubdivide(rc, Straight(200, 15), -8, 8, 0.0f, 32.0f, false, false);
    EXPECT_EQ(from[0], 0x01000404u);
    EXPECT_EQ(from[1], 0x6C020100u);
    EXPECT_EQ(from[10], 0x04000002u);
    EXPECT_EQ(from[11], 0x14000720u);
    EXPECT_EQ(from[12], 0x11000000u);
    const auto b = Batches(from);
    ASSERT_EQ(b.size(), 1u);
    ASSERT_EQ(b[0].slices.size(), 2u);
    EXPECT_FLOAT_EQ(b[0].slices[0].t, -0.00234375f / 5.0f);
    EXPECT_FLOAT_EQ(b[0].slices[1].t, 1.0f + 0.00234375f / 5.0f);
    EXPECT_FLOAT_EQ(F(from[2]), std::pow(b[0].slices[0].t, 3.0f));
    EXPECT_FLOAT_EQ(F(from[5]), b[0].slices[0].t * b[0].slices[0].t);
    EXPECT_EQ(b[0].slices[0].v, 0.0f);
    EXPECT_EQ(b[0].slices[1].v, 1.0f);
}

// A near, long, bending road is cut finely: with texscale 0 every inner
// slice's v is its t (up to the strip's run past the curve's ends, here
// 0.00234375 / 39 of the parameter); past 31 pieces the strip goes on in a second batch
// from the first's last slice.
TEST_F(RoadBatches, NearBendIsCutIntoBatchesThatJoin)
{
    const Bezier bend(Vector(-6, 1, 1, 0), Vector(-6, 1, 40, 0), Vector(30, 1, 40, 0), Vector(60, 1, 10, 0));
    const u32* from = therenderer.p;
    RoadRender::RoadSplineSubdivide(rc, bend, -8, 8, 0.0f, 0.0f, false, false);
    const auto b = Batches(from);
    ASSERT_GE(b.size(), 2u);
    EXPECT_EQ(b[0].slices.size(), 32u);
    EXPECT_TRUE(b[0].called);
    EXPECT_EQ(b[1].slices.front().t, b[0].slices.back().t);
    for (const Batch& batch : b)
        for (size_t i = 1; i + 1 < batch.slices.size(); ++i)
            EXPECT_NEAR(batch.slices[i].v, batch.slices[i].t, 1e-4f);
    // The slices run forward without gaps.
    float last = -1.0f;
    for (const Batch& batch : b)
        for (const Slice& s : batch.slices) {
            EXPECT_GE(s.t, last);
            last = s.t;
        }
}

// Along a long road the texture coordinate restarts in whole tiles: a
// second slice at the same t, its v lower by a whole number.
TEST_F(RoadBatches, LongRoadRestartsItsTextureInWholeTiles)
{
    const Bezier road(Vector(-3, 1, 2, 0), Vector(-3, 1, 40, 0), Vector(-3, 1, 80, 0), Vector(-3, 1, 120, 0));
    const u32* from = therenderer.p;
    RoadRender::RoadSplineSubdivide(rc, road, -8, 8, 1.0f, 4.0f, true, false);
    int restarts = 0;
    for (const Batch& b : Batches(from))
        for (size_t i = 1; i < b.slices.size(); ++i)
            if (b.slices[i].t == b.slices[i - 1].t) {
                restarts++;
                const float drop = b.slices[i - 1].v - b.slices[i].v;
                EXPECT_GT(drop, 0.5f);
                EXPECT_NEAR(drop, std::round(drop), 1e-3f);
            }
    EXPECT_GT(restarts, 3);
}

// A low-detail call is one piece treated as off screen: its batch holds one
// slice and is uploaded without calling the generator.
TEST_F(RoadBatches, BatchOfOneSliceIsNotDrawn)
{
    const u32* from = therenderer.p;
    RoadRender::RoadSplineSubdivide(rc, Straight(20, 15), -8, 8, 0.0f, 32.0f, false, true);
    const auto b = Batches(from);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].slices.size(), 1u);
    EXPECT_FALSE(b[0].called);
    EXPECT_EQ(from[1], 0x6C010100u);
}

// The middle polygon zig-zags from both ends; only the first pair is
// flagged as closing no triangle.
TEST_F(RoadBatches, JunctionMiddleVerticesZigZag)
{
    for (int n : {3, 4}) {
        VectorPos pts[4] = {VectorPos(0, 1, 5), VectorPos(1, 1, 5), VectorPos(1, 1, 6), VectorPos(0, 1, 6)};
        RoadRender::DrawJunctionMiddle(rc, pts, n);
        // The vertices end 3 words before the packet's end (ITOP, MSCNT, FLUSH).
        const u32* end = therenderer.p - 3;
        EXPECT_EQ(end[0], VIF_ITOP(u32(n)));
        EXPECT_EQ(end[1], VIF_MSCNT);
        const u32* v = end - 12 * n;
        EXPECT_EQ(v[-1], 0x6C008000u | u32(3 * n) << 16);
        const int order3[] = {0, 2, 1}, order4[] = {0, 3, 1, 2};
        for (int k = 0; k < n; ++k) {
            const VectorPos& want = pts[n == 3 ? order3[k] : order4[k]];
            EXPECT_EQ(F(v[12 * k]), want[0]) << n << " " << k;
            EXPECT_EQ(F(v[12 * k + 2]), want[2]) << n << " " << k;
            EXPECT_EQ(v[12 * k + 3], k < 2 ? 0x8000u : 0u);
            EXPECT_EQ(F(v[12 * k + 9]), -1.0f);   // the normal points up
        }
    }
}

// The subdivision stack is bounded: a curve that never gets flat enough is
// drawn in the pieces the stack holds, and says so once.
TEST_F(RoadBatches, SubdivisionDeeperThanTheStackStops)
{
    const float saved = g_fDebug2;
    g_fDebug2 = -1.0f;   // every piece is cut again
    const u32* from = therenderer.p;
    RoadRender::RoadSplineSubdivide(rc, Straight(20, 15), -8, 8, 0.0f, 0.0f, false, false);
    RoadRender::RoadSplineSubdivide(rc, Straight(20, 15), -8, 8, 0.0f, 0.0f, false, false);
    g_fDebug2 = saved;
    EXPECT_FALSE(Batches(from).empty());
    const std::string text = console::ConsoleText();
    const auto first = text.find("deeper than the subdivision stack");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("deeper than the subdivision stack", first + 1), std::string::npos);
}

// More curve records than the generator's area holds: the batch is taken
// out of the packet again and reported.
TEST_F(RoadBatches, PieceOfMoreThan54PointsIsNotDrawn)
{
    const u32* from = therenderer.p;
    RoadRender rr;
    ASSERT_TRUE(rr.Open(55));
    for (int i = 0; i < 55 * 16; ++i)
        therenderer.Put(1.0f);
    EXPECT_FALSE(rr.Close());
    EXPECT_EQ(therenderer.p, from);
    EXPECT_EQ(therenderer.unpack, nullptr);
    EXPECT_NE(console::ConsoleText().find("more than 54 cross-section points"), std::string::npos);
    ASSERT_TRUE(rr.Open(54));
    for (int i = 0; i < 54 * 16; ++i)
        therenderer.Put(1.0f);
    EXPECT_TRUE(rr.Close());
    EXPECT_EQ((from[1] >> 16) & 0xFF, 4u * 54 + 1);
}

// A junction of more than 16 roads has no middle.
TEST_F(RoadBatches, JunctionOfMoreThan16RoadsHasNoMiddle)
{
    alignas(16) static u8 bytes[JunctionFile::Size(17)] = {};
    Junction& j = *reinterpret_cast<Junction*>(bytes);
    j.nRoadsegs = 17;
    const u32* from = therenderer.p;
    j.DrawMiddle(rc);
    EXPECT_EQ(therenderer.p, from);
    EXPECT_NE(console::ConsoleText().find("17 roads has no middle"), std::string::npos);
}

}  // namespace
