// Occlusion by occluder edges: walls in front of a camera at the origin
// looking along +z hide boxes behind them and below their top, and nothing
// else.  The expected answers follow from where the boxes stand in the world.
#include <gtest/gtest.h>

#include <vector>

#include <vu/vu0.h>

#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/Utilities/Occlusion.h"
#include "game/VU0OcclusionMicro.h"

namespace {

// A polygon as a run of occluder records (the first one's w word holds the
// count).
std::vector<Occluder> Polygon(const std::vector<VectorPos>& corners)
{
    std::vector<Occluder> occ(corners.size());
    for (size_t i = 0; i < corners.size(); i++)
    {
        occ[i].corner = corners[i];
        occ[i].corner.setwcomponent(i == 0 ? int(corners.size()) : 0);
    }
    return occ;
}

// A wall facing the camera (corners counter-clockwise as the camera sees
// them: top-left, bottom-left, bottom-right, top-right; y is down) at depth
// z from x0 to x1, from y = top up to y = 2 on the ground.
std::vector<Occluder> Wall(float x0, float x1, float top, float z)
{
    return Polygon({VectorPos(x0, top, z), VectorPos(x0, 2, z), VectorPos(x1, 2, z), VectorPos(x1, top, z)});
}

// The same wall seen from behind (its corners the other way round).
std::vector<Occluder> BackWall(float x0, float x1, float top, float z)
{
    return Polygon({VectorPos(x1, top, z), VectorPos(x1, 2, z), VectorPos(x0, 2, z), VectorPos(x0, top, z)});
}

Cuboid Box(float x0, float x1, float top, float z0, float z1)
{
    return Cuboid(VectorPos(x0, top, z0), VectorPos(x1, top + 1.0f, z1));
}

class OcclusionTest : public ::testing::Test
{
protected:
    RenderContext rc;

    void SetUp() override
    {
        rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
        rc.SetAspectRatio(1.0f, 1.0f);
        rc.SetZRange(1.0f, 1000.0f);
        rc.SetPerspective(1.0f);
        rc.SetCameraMatrix(Matrix(true));
        Occlusion::Clear();
        Occlusion::Init(rc);
    }

    void Add(std::vector<Occluder> occ) { Occlusion::AddOccluder(occ[0]); }

    static int MirroredQuadwords() { return reinterpret_cast<const Vector*>(vu0_data)[0].wcomponent(); }
    static int ListLength()
    {
        int n = 0;
        for (OcclusionEdge* e = Occlusion::poeHead; e != nullptr; e = e->Next())
            n++;
        return n;
    }
};

TEST_F(OcclusionTest, WallHidesWhatIsBehindItAndBelowItsTop)
{
    Add(Wall(-5, 5, -5, 10));
    // The top edge and the two sides are stored and mirrored for the test.
    EXPECT_EQ(Occlusion::iLinkedSize, 3);
    EXPECT_EQ(MirroredQuadwords(), 2 * Occlusion::iLinkedSize);

    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-1, 1, -1, 20, 22), false));
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-1, 1, -1, 20, 22), true));
    // Reaching above the wall's top as the camera sees it.
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -15, 20, 22), false));
    // In front of the wall.
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -1, 4, 5), false));
    // Beside it, and half beside it.
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(14, 18, -1, 20, 22), false));
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(5, 12, -1, 20, 22), false));
}

TEST_F(OcclusionTest, BoxPlacedByAMatrixIsTestedWhereItStands)
{
    Add(Wall(-5, 5, -5, 10));
    const Cuboid box = Box(-1, 1, -1, -1, 1);
    EXPECT_TRUE(Occlusion::bIsOccluded(TransMatrix(0, 0, 21), box, false));
    EXPECT_FALSE(Occlusion::bIsOccluded(TransMatrix(16, 0, 21), box, false));
    EXPECT_FALSE(Occlusion::bIsOccluded(TransMatrix(0, 0, 4), box, false));
}

TEST_F(OcclusionTest, NearerWallsHideFartherOnesAndBoxesBehindBoth)
{
    // Two walls side by side hide a box behind the seam between them; a
    // lower wall behind a taller one adds little, and the box that only the
    // nearer one covers stays hidden.
    Add(Wall(-6, 0.5f, -5, 10));
    Add(Wall(0.5f, 6, -5, 10));
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-2, 2, -1, 20, 22), false));
    const int before = Occlusion::iLinkedSize;
    Add(Wall(-3, 3, -2, 15));
    EXPECT_LE(Occlusion::iLinkedSize, before + 3);
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-1, 1, -1, 30, 32), false));
    // A gap between two walls lets a box through.
    Occlusion::Clear();
    Add(Wall(-6, -1, -5, 10));
    Add(Wall(1, 6, -5, 10));
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -1, 40, 42), false));
    // The list stays sorted by left end.
    float x = -99.0f;
    for (OcclusionEdge* e = Occlusion::poeHead; e != nullptr; e = e->Next())
    {
        EXPECT_GE(e->vPt0[0], x);
        EXPECT_LE(e->vPt0[0], e->vPt1[0]);
        x = e->vPt0[0];
    }
}

TEST_F(OcclusionTest, OccluderSeenFromBehindAddsNoEdges)
{
    Add(BackWall(-5, 5, -5, 10));
    EXPECT_EQ(Occlusion::iLinkedSize, 0);
    EXPECT_EQ(MirroredQuadwords(), 0);
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -1, 20, 22), false));
}

TEST_F(OcclusionTest, DegenerateOccludersAddNothing)
{
    // Corners in a line, too few corners, and a polygon wholly behind the
    // camera.
    Add(Polygon({VectorPos(-5, -5, 10), VectorPos(0, -5, 10), VectorPos(5, -5, 10), VectorPos(2, -5, 10)}));
    Add(Polygon({VectorPos(-5, -5, 10), VectorPos(5, -5, 10)}));
    Add(Wall(-5, 5, -5, -10));
    EXPECT_EQ(Occlusion::iLinkedSize, 0);
    // A polygon whose first corners lie in a line still has a top.
    Add(Polygon({VectorPos(-5, 2, 10), VectorPos(0, 2, 10), VectorPos(5, 2, 10), VectorPos(5, -5, 10),
                 VectorPos(-5, -5, 10)}));
    EXPECT_GT(Occlusion::iLinkedSize, 0);
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-1, 1, -1, 20, 22), false));
}

TEST_F(OcclusionTest, BoxWhollyBehindTheNearPlaneCountsAsOccluded)
{
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-1, 1, -1, -10, -5), false));
    // One reaching in front of the camera does not.
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -1, -10, 5), false));
}

TEST_F(OcclusionTest, NothingIsOccludedWhenTheCameraLooksNearlyVertically)
{
    // Looking straight down (y is down): forward = (0, 1, 0).
    rc.SetCameraMatrix(Matrix(Vector(1, 0, 0, 0), Vector(0, 0, -1, 0), Vector(0, 1, 0, 0), Vector(0, -20, 0, 1)));
    Occlusion::Init(rc);
    EXPECT_TRUE(Occlusion::bSkipOcclusion);
    Add(Wall(-5, 5, -5, 10));
    EXPECT_EQ(Occlusion::iLinkedSize, 0);
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -1, 20, 22), false));
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -1, -10, -5), false));

    // Pitched down by less than that, occlusion works, and the skyline does
    // not depend on the pitch.
    const float s = 0.6f, c = 0.8f;
    rc.SetCameraMatrix(Matrix(Vector(1, 0, 0, 0), Vector(0, c, -s, 0), Vector(0, s, c, 0), Vector(0, 0, 0, 1)));
    Occlusion::Clear();
    Occlusion::Init(rc);
    EXPECT_FALSE(Occlusion::bSkipOcclusion);
    Add(Wall(-5, 5, -5, 10));
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-1, 1, -1, 20, 22), false));
}

TEST_F(OcclusionTest, EdgeWhollyOutsideTheScreenIsNotVisible)
{
    // Even with nothing stored, an edge off the screen's x range hides
    // nothing from view; one on screen is visible.
    EXPECT_EQ(Occlusion::bCheckOcclusionEdgeVU0(Vector(1.5f, 0, 0.5f, 1), Vector(3, 0, 0.5f, 1)), 0);
    EXPECT_EQ(Occlusion::bCheckOcclusionEdgeVU0(Vector(-3, 0, 0.5f, 1), Vector(-1.2f, 0.5f, 0.5f, 1)), 0);
    EXPECT_NE(Occlusion::bCheckOcclusionEdgeVU0(Vector(-3, 0, 0.5f, 1), Vector(0.5f, 0.5f, 0.5f, 1)), 0);
    // A box far off to the side is therefore hidden.
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(100, 110, -1, 10, 12), false));
}

TEST_F(OcclusionTest, FindStartCheckEntryGivesTheLastEdgeEndingLeftOfX)
{
    Add(Wall(-10, -6, -5, 10));
    Add(Wall(6, 10, -5, 10));
    EXPECT_EQ(Occlusion::FindStartCheckEntry(-0.9f), nullptr);
    OcclusionEdge* e = Occlusion::FindStartCheckEntry(0.0f);
    ASSERT_NE(e, nullptr);
    EXPECT_LE(e->vPt1[0], 0.0f);
    EXPECT_TRUE(e->Next() == nullptr || e->Next()->vPt1[0] > 0.0f);
}

TEST_F(OcclusionTest, NoOccluderIsAddedOnceFiftyEdgesAreStored)
{
    // Seventeen narrow walls of three edges each.
    for (int i = 0; i < 17; i++)
        Add(Wall(-12.8f + 1.5f * i, -12.0f + 1.5f * i, -5, 10));
    EXPECT_EQ(Occlusion::iLinkedSize, 51);
    Add(Wall(-2, 2, -5, 5));
    EXPECT_EQ(Occlusion::iLinkedSize, 51);
    // What only that last wall would hide is not hidden.
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-0.2f, 0.2f, -1, 7, 8), false));
}

TEST_F(OcclusionTest, EdgePoolRunningOutStopsAddingSafely)
{
    // Sixteen walls (48 edges) on the left, then a jagged wall with thirty
    // top edges on the right: the pool's 66 edges run out part way.
    for (int i = 0; i < 16; i++)
        Add(Wall(-12.8f + 0.75f * i, -12.5f + 0.75f * i, -5, 10));
    EXPECT_EQ(Occlusion::iLinkedSize, 48);
    std::vector<VectorPos> jag = {VectorPos(0.5f, -5, 10), VectorPos(0.5f, 2, 10), VectorPos(12.5f, 2, 10)};
    for (int i = 30; i >= 1; i--)
        jag.push_back(VectorPos(0.5f + 0.4f * i, (i & 1) ? -6.0f : -5.0f, 10));
    Add(Polygon(jag));
    EXPECT_EQ(Occlusion::iLinkedSize, Occlusion::POOLSIZE);
    EXPECT_EQ(Occlusion::iFreeSize, 0);
    EXPECT_EQ(ListLength(), Occlusion::POOLSIZE);
    EXPECT_EQ(MirroredQuadwords(), 2 * Occlusion::POOLSIZE);
    // The stored edges work: behind the first narrow wall and behind the
    // jagged wall's right part (its edges were added right to left) boxes are
    // hidden; behind its left part, whose edges found no room, they are not.
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(-25.5f, -25.3f, -1, 20, 20.1f), false));
    EXPECT_TRUE(Occlusion::bIsOccluded(Box(20, 22, -1, 20, 20.5f), false));
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(6, 8, -1, 20, 20.5f), false));
}

TEST_F(OcclusionTest, ClearEmptiesTheListAndTheMirroredCount)
{
    Add(Wall(-5, 5, -5, 10));
    ASSERT_GT(Occlusion::iLinkedSize, 0);
    Occlusion::Clear();
    EXPECT_EQ(Occlusion::iLinkedSize, 0);
    EXPECT_EQ(Occlusion::iFreeSize, Occlusion::POOLSIZE);
    EXPECT_EQ(Occlusion::poeHead, nullptr);
    EXPECT_EQ(MirroredQuadwords(), 0);
    EXPECT_FALSE(Occlusion::bIsOccluded(Box(-1, 1, -1, 20, 22), false));
}

TEST_F(OcclusionTest, InitLoadsTheVectorUnitRoutine)
{
    std::fill(VU0::micromem + VU0Custom / 8, VU0::micromem + VU0::kMicroInstructions, 0);
    Occlusion::Init(rc);
    EXPECT_TRUE(std::equal(VU0MicrocodeOcclusion, VU0MicrocodeOcclusion + VU0OCCLUSION_INSTRUCTIONS,
                           VU0::micromem + VU0Custom / 8));
}

}  // namespace
