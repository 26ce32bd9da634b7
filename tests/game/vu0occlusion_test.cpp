// The occlusion test's vector-unit-0 routine, fed edge rows written straight
// into VU0 data memory.  The rows are worked out here from the edge's ends:
// widened by 1/640 outwards in x and downwards in y, a little nearer in z.
#include <gtest/gtest.h>

#include <vector>

#include <vu/vu0.h>

#include "ZevEngine2/PS2/Vector.h"
#include "ee/console_out.h"
#include "game/VU0OcclusionMicro.h"

namespace {

struct End
{
    float x, y, z;
};

class Vu0Occlusion : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VU0::UploadCustomMicrocode(VU0MicrocodeOcclusion, VU0MicrocodeOcclusion + VU0OCCLUSION_INSTRUCTIONS);
        std::memset(vu0_data, 0, sizeof vu0_data);
    }

    // Stores the edges (left end first, sorted by left end) as the routine
    // reads them.
    static void Store(const std::vector<std::pair<End, End>>& edges)
    {
        Vector* mem = reinterpret_cast<Vector*>(vu0_data);
        const float w = 0.0015625f, dz = 1.5625e-7f;
        for (size_t k = 0; k < edges.size(); k++)
        {
            const End l{edges[k].first.x - w, edges[k].first.y + w, edges[k].first.z - dz};
            const End r{edges[k].second.x + w, edges[k].second.y + w, edges[k].second.z - dz};
            const float dx = r.x - l.x;
            mem[2 * k] = Vector(1 / dx - 1, -(r.y - l.y) / dx, -(r.z - l.z) / dx, 0);
            mem[2 * k + 1] = Vector(-l.x / dx - 0.5f, (r.y * l.x - l.y * r.x) / dx - 0.5f,
                                    (r.z * l.x - l.z * r.x) / dx - 0.5f, 0.5f);
        }
        mem[0].setwcomponent(int(2 * edges.size()));
    }

    static int Test(End a, End b) { return VU0OcclusionMicro(Vector(a.x, a.y, a.z, 1), Vector(b.x, b.y, b.z, 1)); }
};

// A flat edge from x -0.5 to 0.5 at y = -0.2 (y grows downwards), depth 0.5.
const std::pair<End, End> kRoof{{-0.5f, -0.2f, 0.5f}, {0.5f, -0.2f, 0.5f}};

TEST_F(Vu0Occlusion, NoStoredEdgesHideNothing)
{
    Store({});
    EXPECT_EQ(Test({-0.1f, 0.3f, 0.9f}, {0.1f, 0.3f, 0.9f}), 1);
}

TEST_F(Vu0Occlusion, EdgeBelowAndBehindAStoredEdgeIsHidden)
{
    Store({kRoof});
    EXPECT_EQ(Test({-0.3f, 0.1f, 0.9f}, {0.3f, 0.2f, 0.9f}), 0);
    // Above the line, in front of the depth, right of the span, left of it.
    EXPECT_EQ(Test({-0.3f, -0.4f, 0.9f}, {0.3f, -0.4f, 0.9f}), 1);
    EXPECT_EQ(Test({-0.3f, 0.1f, 0.3f}, {0.3f, 0.1f, 0.3f}), 1);
    EXPECT_EQ(Test({0.6f, 0.1f, 0.9f}, {0.8f, 0.1f, 0.9f}), 1);
    EXPECT_EQ(Test({-0.8f, 0.1f, 0.9f}, {-0.6f, 0.1f, 0.9f}), 1);
}

TEST_F(Vu0Occlusion, EdgeReachingOutOfTheRegionIsVisible)
{
    Store({kRoof});
    // Through the line, out past the span's right end, out of the depth.
    EXPECT_EQ(Test({-0.3f, 0.1f, 0.9f}, {0.3f, -0.5f, 0.9f}), 1);
    EXPECT_EQ(Test({0.2f, 0.1f, 0.9f}, {0.7f, 0.1f, 0.9f}), 1);
    EXPECT_EQ(Test({-0.3f, 0.1f, 0.9f}, {0.3f, 0.1f, 0.2f}), 1);
}

TEST_F(Vu0Occlusion, PiecesSetAsideAreHiddenByLaterEdges)
{
    // Two roofs meeting at x = 0; the second one lower.  An edge across the
    // seam is hidden only when both parts are.
    const std::pair<End, End> left{{-0.5f, -0.2f, 0.5f}, {0.0f, -0.2f, 0.5f}};
    const std::pair<End, End> right{{0.0f, 0.0f, 0.5f}, {0.5f, 0.0f, 0.5f}};
    Store({left, right});
    EXPECT_EQ(Test({-0.3f, 0.2f, 0.9f}, {0.3f, 0.2f, 0.9f}), 0);
    // Between the two roofs' heights on the right: visible there only.
    EXPECT_EQ(Test({-0.3f, -0.1f, 0.9f}, {0.3f, -0.1f, 0.9f}), 1);
    // The left part hidden by the first roof, the right part by a third one
    // further back: pieces go on to the edges after the one that cut them.
    const std::pair<End, End> far{{0.0f, -0.3f, 0.8f}, {0.5f, -0.3f, 0.8f}};
    Store({left, right, far});
    EXPECT_EQ(Test({-0.3f, -0.1f, 0.9f}, {0.3f, -0.1f, 0.9f}), 0);
    // A gap between two roofs shows through.
    Store({{{-0.5f, -0.2f, 0.5f}, {-0.1f, -0.2f, 0.5f}}, {{0.1f, -0.2f, 0.5f}, {0.5f, -0.2f, 0.5f}}});
    EXPECT_EQ(Test({-0.3f, 0.2f, 0.9f}, {0.3f, 0.2f, 0.9f}), 1);
}

TEST_F(Vu0Occlusion, SlopedEdgeHidesByItsLineAndDepthAtEachX)
{
    // Rising to the right (y falls) and receding.
    Store({{{-0.5f, 0.0f, 0.2f}, {0.5f, -0.4f, 0.6f}}});
    // Under the line everywhere, behind it everywhere.
    EXPECT_EQ(Test({-0.4f, 0.1f, 0.7f}, {0.4f, -0.2f, 0.7f}), 0);
    // At x = 0.4 the line is at y -0.36: a point at -0.3 is below it, one at
    // -0.45 above.
    EXPECT_EQ(Test({0.4f, -0.3f, 0.7f}, {0.4f, -0.3f, 0.7f}), 0);
    EXPECT_EQ(Test({0.4f, -0.45f, 0.7f}, {0.4f, -0.45f, 0.7f}), 1);
    // At x = -0.4 the edge's depth is 0.24: 0.3 is behind it, 0.2 in front.
    EXPECT_EQ(Test({-0.4f, 0.1f, 0.3f}, {-0.4f, 0.1f, 0.3f}), 0);
    EXPECT_EQ(Test({-0.4f, 0.1f, 0.2f}, {-0.4f, 0.1f, 0.2f}), 1);
}

TEST_F(Vu0Occlusion, RunningOutOfStackAnswersVisible)
{
    // The query rises in y and comes nearer along its length; edge k hides
    // only a short stretch of it around s = 0.95 - 0.009k, so every edge sets
    // the rest of the piece in hand aside and the stack grows by one per
    // edge.  A last, wide edge hides whatever is left.
    auto edges = [](int n) {
        std::vector<std::pair<End, End>> e;
        const float eps = 0.003f;
        for (int k = 0; k < n; k++)
        {
            const float c = 0.95f - 0.009f * k;
            const float y = -0.5f + (c - eps), z = 0.9f - 0.8f * (c + eps);
            e.push_back({{-0.85f, y, z}, {0.85f, y, z}});
        }
        e.push_back({{-0.9f, -0.9f, 0.0f}, {0.9f, -0.9f, 0.0f}});
        return e;
    };
    const End a{-0.8f, -0.5f, 0.9f}, b{0.8f, 0.5f, 0.1f};
    // Twenty edges nest twenty pieces: all hidden in the end.
    Store(edges(20));
    EXPECT_EQ(Test(a, b), 0);
    // A hundred do not fit beside the edge data: the routine gives up and
    // calls the edge visible instead of hiding it wrongly or writing over the
    // edges.
    Store(edges(100));
    const std::vector<u128> before(vu0_data, vu0_data + 2 * 101);
    EXPECT_EQ(Test(a, b), 1);
    EXPECT_TRUE(std::equal(before.begin() + 1, before.end(), vu0_data + 1));
}

TEST_F(Vu0Occlusion, RoutineNotLoadedAnswersVisible)
{
    Store({kRoof});
    std::fill(VU0::micromem + VU0Custom / 8, VU0::micromem + VU0Custom / 8 + VU0OCCLUSION_INSTRUCTIONS, 0);
    console::ClearConsoleText();
    EXPECT_EQ(Test({-0.3f, 0.1f, 0.9f}, {0.3f, 0.2f, 0.9f}), 1);
    VU0::UploadCustomMicrocode(VU0MicrocodeOcclusion, VU0MicrocodeOcclusion + VU0OCCLUSION_INSTRUCTIONS);
    EXPECT_EQ(Test({-0.3f, 0.1f, 0.9f}, {0.3f, 0.2f, 0.9f}), 0);
}

}  // namespace
