// Road and ground drawing: the strip renderer's batches read back from the
// frame's packet, and pictures drawn through VU1 and the GS compared with
// golden PNGs (a road with kerbs and a bend, a ground patch).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"
#include "ee/console_out.h"
#include "game/PS2/RoadDraw.h"
#include "game/Road.h"
#include "game/city_support.h"

namespace {

constexpr int kW = 256, kH = 128;

// A road kind in memory: the sample street's cross section (pavements 3
// wide, 0.05 above a carriageway 10 wide), its low-detail four points, the
// junction fill picture as its texture.
struct StreetKind
{
    alignas(16) u8 bytes[sizeof(RoadTypeFile) + 10 * sizeof(Vector)];
    RoadType& rt() { return *reinterpret_cast<RoadType*>(bytes); }

    StreetKind()
    {
        std::memset(bytes, 0, sizeof bytes);
        RoadType& t = rt();
        // x, y, and the shading the loader gives: 32767 after a flat step,
        // 0 after a vertical one (the kerb faces).
        const float full[6][3] = {{-8, -0.05f, 0},     {-5, -0.05f, 32767}, {-5, 0, 0},
                                  {5, 0, 32767},       {5, -0.05f, 0},      {8, -0.05f, 32767}};
        const float low[4][3] = {{-8, -0.05f, 0}, {-5, 0, 3000}, {5, 0, 32767}, {8, -0.05f, 3000}};
        // Texture s across the road in the words' high halves.
        auto word = [](float x, float shade) { return WordLane((LaneWord((x + 8) / 16) & 0xFFFF0000u) | u32(shade)); };
        // z: s at the previous point, w: s at this one.
        for (int i = 0; i < 6; ++i)
            t.vXSect[i] = Vector(full[i][0], full[i][1], word(full[i > 0 ? i - 1 : 0][0], full[i][2]),
                                 word(full[i][0], full[i][2]));
        for (int i = 0; i < 4; ++i)
            t.vXSect[6 + i] = Vector(low[i][0], low[i][1], word(low[i > 0 ? i - 1 : 0][0], low[i][2]),
                                     word(low[i][0], low[i][2]));
        t.iNumXSectPts = 6;
        t.iNumXSectLowPts = 4;
        t.iJuncLeft = 2;
        t.iJunc = 3;
        t.iRightEdge = 5;
        t.iJuncLeftLow = 1;
        t.iJuncLow = 2;
        t.iRightEdgeLow = 3;
        t.fTexVScale = 1.0f / 16.0f;
        t.ptex = &TPage_Jctn_Fill();
    }
};

// A centre line whose handle scales reproduce it at zero offset.
RoadSeg Segment(RoadType& rt, Vector a, Vector b, Vector c, Vector d)
{
    RoadSeg rs{};
    rs.bezier = Bezier(a, b, c, d);
    const Vector f1 = rs.bezier.Evaluate(1.0f / 3.0f), f2 = rs.bezier.Evaluate(2.0f / 3.0f);
    rs.bezier.c0.setw(0.0f);
    rs.bezier.c1.setw(1.0f / (f1 - a).xyz().Length());
    rs.bezier.c2.setw(1.0f / (f2 - d).xyz().Length());
    rs.bezier.c3.setw(0.0f);
    rs.type = &rt;
    return rs;
}

// Pixels of the frame not left at the clear colour (20, 20, 20).
int Covered()
{
    int n = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            n += (golden::FramePixel(x, y, kW) & 0xFFFFFF) != 0x141414;
    return n;
}

class RoadPictures : public ::testing::Test
{
protected:
    Surface draw, zbuf;
    RenderContext rc;

    void SetUp() override
    {
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        gsframe::SetFrameView(rc, kW, kH);
        // Above the road, looking ahead and down.
        rc.SetCameraMatrix(LookatMatrix(VectorPos(0, -6, -4), VectorPos(0, 0, 14)));
        rc.SetDirectionalLights(VectorDir(0.3f, 1.0f, 0.5f), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                                Vector(0.7f, 0.7f, 0.65f, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                                Vector(0.35f, 0.35f, 0.4f, 1));
    }
    // The built-in textures outlive the test: the renderer's hold on them is
    // let go while this test's texture manager still places them.
    void TearDown() override
    {
        therenderer.ClearTexture();
        TexManOff();
    }

    void Frame(const std::function<void()>& body)
    {
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
        rc.Begin();
        body();
        gsframe::SendFrame();
    }
    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }
};

TEST_F(RoadPictures, StraightRoadWithKerbsAndABend)
{
    StreetKind street;
    const RoadSeg straight = Segment(street.rt(), Vector(0, 0, 0, 0), Vector(0, 0, 5, 0), Vector(0, 0, 10, 0),
                                     Vector(0, 0, 15, 0));
    const RoadSeg bend = Segment(street.rt(), Vector(0, 0, 15, 0), Vector(0, 0, 25, 0), Vector(5, 0, 30, 0),
                                 Vector(20, 0, 32, 0));
    Frame([&] {
        BeginDrawRoads(rc);
        straight.Draw(rc);
        bend.Draw(rc);
        EndDrawRoads();
    });
    EXPECT_GT(Covered(), 5000);
    golden::ExpectFrameBuffer("road_straight_and_bend", kW, kH);
}

TEST_F(RoadPictures, GroundPatch)
{
    alignas(16) static GroundPatch gp;
    static GroundType grass;
    grass.ptex = &TPage_Jctn_Fill();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const bool inner = r > 0 && r < 3 && c > 0 && c < 3;
            gp.patch.p[4 * r + c] = Vector(-6.0f + 4.0f * float(c), inner ? -1.5f : 0.0f, 2.0f + 4.0f * float(r), 0);
        }
    gp.patch.p[0].setw(WordLane(FileWord(&grass)));
    gp.texmat = GroundPatchTexMat();
    gp.centre = Vector(0, -0.5f, 8, 9);
    Frame([&] {
        BeginDrawPatches(rc);
        gp.Draw(rc);
        EndDrawPatches();
    });
    EXPECT_GT(Covered(), 5000);
    golden::ExpectFrameBuffer("ground_patch", kW, kH);
}

// ---------------------------------------------------------------------------
// What the segment and kerb drawers write, read back from the packet.

class RoadPackets : public ::testing::Test
{
protected:
    RenderContext rc;
    StreetKind street;

    void SetUp() override
    {
        render_test::ResetRenderer();
        render_test::ResetTexman();
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        gsframe::SetFrameView(rc, kW, kH);
        rc.SetZRange(0.25f, 1000.0f);
        rc.SetCameraMatrix(Matrix(true));
        BeginDrawRoads(rc);
    }
    void TearDown() override
    {
        therenderer.ClearTexture();
        therenderer.EndScene();
    }
public:
    // The curve records of the first batch written from `from`.
    static std::vector<Vector> Records(const u32* from, u32* count = nullptr)
    {
        for (const u32* p = from; p < therenderer.p; ++p)
            if (p[0] == ROAD_BATCH_STCYCL && (p[1] & 0xFF00FFFFu) == ROAD_BATCH_UNPACK) {
                const u32 n = (p[1] >> 16) & 0xFF;
                if (count)
                    *count = n;
                const Vector* v = reinterpret_cast<const Vector*>(p + 2);
                return std::vector<Vector>(v, v + n - 1);
            }
        return {};
    }
};

TEST_F(RoadPackets, SegmentsLeftOutWriteNothing)
{
    const u32* from = therenderer.p;
    // Its junctions overlap along it: skipped before any test of the view.
    RoadSeg overlapped = Segment(street.rt(), Vector(0, 1, 5, 0), Vector(0, 1, 8, 0), Vector(0, 1, 11, 0),
                                 Vector(0, 1, 14, 0));
    overlapped.bezier.c0.setw(0.6f);
    overlapped.bezier.c3.setw(0.5f);
    overlapped.Draw(rc);
    EXPECT_EQ(therenderer.p, from);
    // The near end in view, the far end beyond 300.
    const RoadSeg far = Segment(street.rt(), Vector(0, 1, 250, 0), Vector(0, 1, 270, 0), Vector(0, 1, 290, 0),
                                Vector(0, 1, 310, 0));
    far.Draw(rc);
    EXPECT_EQ(therenderer.p, from);
    // A cross section of one point.
    StreetKind thin;
    thin.rt().iNumXSectPts = 1;
    const RoadSeg one = Segment(thin.rt(), Vector(0, 1, 5, 0), Vector(0, 1, 8, 0), Vector(0, 1, 11, 0),
                                Vector(0, 1, 14, 0));
    one.Draw(rc);
    EXPECT_EQ(therenderer.p, from);
}

// Beyond 64 at both ends the low-detail cross section is drawn: four
// records.
TEST_F(RoadPackets, DistantSegmentUsesTheLowDetailPoints)
{
    const RoadSeg mid = Segment(street.rt(), Vector(0, 1, 70, 0), Vector(0, 1, 80, 0), Vector(0, 1, 90, 0),
                                Vector(0, 1, 100, 0));
    u32 count = 0;
    const u32* from = therenderer.p;
    mid.Draw(rc);
    EXPECT_EQ(Records(from, &count).size(), 16u);
    EXPECT_EQ(count, 17u);
    const RoadSeg near = Segment(street.rt(), Vector(0, 1, 10, 0), Vector(0, 1, 40, 0), Vector(0, 1, 70, 0),
                                 Vector(0, 1, 100, 0));
    from = therenderer.p;
    near.Draw(rc);
    EXPECT_EQ(Records(from).size(), 24u);
}

// A point at x = 0 gives the centre curve raised by its height; the w
// values are its shading (s16 of its words) and its texture s.
TEST_F(RoadPackets, CentrePointReproducesTheCentreCurve)
{
    const RoadSeg rs = Segment(street.rt(), Vector(0, 1, 10, 0), Vector(4, 1, 20, 0), Vector(10, 2, 26, 0),
                               Vector(20, 2, 30, 0));
    const Vector pt(0.0f, -0.25f, WordLane((LaneWord(0.25f) & 0xFFFF0000u) | 16384),
                    WordLane((LaneWord(0.5f) & 0xFFFF0000u) | 32767));
    RoadRender rr;
    const u32* from = therenderer.p;
    ASSERT_TRUE(rr.Open(1));
    _DrawRoadSpline(rr, &pt, 1, rs.bezier, false);
    ASSERT_TRUE(rr.Close());
    const std::vector<Vector> r = Records(from);
    ASSERT_EQ(r.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(r[size_t(i)][0], rs.bezier[i][0]) << i;
        EXPECT_FLOAT_EQ(r[size_t(i)][1], rs.bezier[i][1] - 0.25f) << i;
        EXPECT_FLOAT_EQ(r[size_t(i)][2], rs.bezier[i][2]) << i;
    }
    EXPECT_FLOAT_EQ(r[0][3], 16384.0f / 32767.0f);
    EXPECT_FLOAT_EQ(r[1][3], 1.0f);
    EXPECT_EQ(LaneWord(r[2][3]) >> 16, LaneWord(0.5f) >> 16);
    EXPECT_EQ(LaneWord(r[3][3]) >> 16, LaneWord(0.25f) >> 16);
}

// Two pieces with one texture select it once; a change closes the open
// command block before selecting the next.
TEST_F(RoadPackets, TextureIsSelectedOnlyWhenItChanges)
{
    StreetKind other;
    other.rt().ptex = &TPage_Jctn_Crosswalk();
    const RoadSeg a = Segment(street.rt(), Vector(0, 1, 10, 0), Vector(0, 1, 12, 0), Vector(0, 1, 14, 0),
                              Vector(0, 1, 16, 0));
    const RoadSeg b = Segment(other.rt(), Vector(0, 1, 16, 0), Vector(0, 1, 18, 0), Vector(0, 1, 20, 0),
                              Vector(0, 1, 22, 0));
    const u32* from = therenderer.p;
    a.Draw(rc);
    a.Draw(rc);
    EXPECT_EQ(RoadRender::prevtex, &TPage_Jctn_Fill());
    therenderer.BeginCommands();   // a block left open by what came before
    b.Draw(rc);
    EXPECT_EQ(RoadRender::prevtex, &TPage_Jctn_Crosswalk());
    EXPECT_EQ(therenderer.unpack, nullptr);
    // A selection is a DIRECT block of texture registers: its GIF tag of
    // five A+D pairs (seven with mip levels).
    int selections = 0;
    for (const u32* p = from; p + 4 <= therenderer.p; ++p)
        selections += (p[0] == 0x8005u || p[0] == 0x8007u) && p[1] == 0x10000000u && p[2] == 0xEu && p[3] == 0;
    EXPECT_EQ(selections, 2);
}

// A kerb's handle scale 1 + |d| c1.w is held at 0.1 on the inside of a
// tight bend.
TEST_F(RoadPackets, TightKerbHoldsItsHandlesAtATenth)
{
    Bezier kerb(Vector(-2, 1, 10, 0), Vector(-2, 1, 12, -0.5f), Vector(0, 1, 14, -0.5f), Vector(2, 1, 14, 0));
    const Vector pts[2] = {Vector(3.0f, 0, 0, 0), Vector(4.0f, 0, 0, 0)};
    const u32* from = therenderer.p;
    DrawKerbSpline(street.rt(), pts, 2, kerb, 1, 0, 1, 0, false, rc);
    const std::vector<Vector> r = Records(from);
    ASSERT_EQ(r.size(), 8u);
    for (int p = 0; p < 2; ++p) {
        EXPECT_NEAR(r[size_t(4 * p + 1)][2] - r[size_t(4 * p)][2], 0.2f, 1e-5f) << p;   // 0.1 x (c1 - c0)
        EXPECT_NEAR(r[size_t(4 * p + 2)][0] - r[size_t(4 * p + 3)][0], -0.2f, 1e-5f) << p;
    }
}

// Curves across a patch: raised by the point's height, the last control
// point too unless flags bit 1 keeps the patch's own height there; with bit
// 0 the texture s runs from the first point's x, the first point's w2 0.
TEST_F(RoadPackets, PatchCurvesKeepTheFarRowWithFlagBit1)
{
    BezierPatch patch;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            patch[4 * r + c] = Vector(float(c), 1.0f, 10.0f + float(r), 0);
    const Vector pts[2] = {Vector(-2.0f, -0.5f, 0, 0), Vector(1.0f, -0.5f, 0, 0)};
    for (int flags : {0, 2, 3}) {
        RoadRender rr;
        const u32* from = therenderer.p;
        ASSERT_TRUE(rr.Open(2));
        _DrawPatchSpline(rr, pts, 2, patch, -2.0f, 1.0f / 3.0f, flags);
        ASSERT_TRUE(rr.Close());
        const std::vector<Vector> r = Records(from);
        ASSERT_EQ(r.size(), 8u);
        EXPECT_FLOAT_EQ(r[0][1], 0.5f);
        EXPECT_FLOAT_EQ(r[3][1], flags & 2 ? 1.0f : 0.5f) << flags;
        EXPECT_FLOAT_EQ(r[4][0], 3.0f);   // u = 1 at the second point
        if (flags & 1) {
            EXPECT_EQ(r[2][3], 0.0f);
            EXPECT_EQ(r[3][3], 0.0f);
            EXPECT_EQ(r[6][3], 0.0f);
            EXPECT_EQ(r[7][3], 3.0f);
        }
    }
}

// ---------------------------------------------------------------------------
// Ground patches: tessellation, texture selection and the texel-span cut.

// A flat patch from (x0, z0) to (x1, z1) at height y, of ground type gt.
void FlatPatch(GroundPatch& gp, GroundType* gt, float x0, float x1, float z0, float z1, float y)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            gp.patch.p[4 * r + c] = Vector(x0 + (x1 - x0) * float(c) / 3, y, z0 + (z1 - z0) * float(r) / 3, 0);
    gp.patch.p[0].setw(WordLane(FileWord(gt)));
    gp.texmat = GroundPatchTexMat();
    const float dx = x1 - x0, dz = z1 - z0;
    gp.centre = Vector(0.5f * (x0 + x1), y, 0.5f * (z0 + z1), 0.5f * std::sqrt(dx * dx + dz * dz));
}

// The patches sent from `from`: each goes by reference with the UNPACK into
// its slot; the first carries ITOP, the tessellation.
struct Sent
{
    int patches = 0;
    u32 tess = 0;
};
Sent PatchesSent(const u32* from)
{
    Sent s;
    for (const u32* p = from; p + 1 < therenderer.p; ++p)
        if ((p[1] == 0x6C100040u || p[1] == 0x6C100050u) && (p[0] >> 24 == 0x04 || p[0] >> 24 == 0x14 ||
                                                              p[0] >> 24 == 0x17)) {
            if (s.patches++ == 0)
                s.tess = p[0] & 0xFFFF;
        }
    return s;
}

TEST_F(RoadPackets, PatchTessellationFollowsScreenSize)
{
    alignas(16) static GroundPatch gp;
    FlatPatch(gp, nullptr, -2, 2, -12, -8, 1);   // behind the camera
    EXPECT_EQ(PatchTessellation(rc, gp), 24);
    FlatPatch(gp, nullptr, -0.5f, 0.5f, 600, 601, 1);   // small and far
    EXPECT_EQ(PatchTessellation(rc, gp), 3);
    FlatPatch(gp, nullptr, -30, 30, 2, 62, 1);   // large and near
    EXPECT_EQ(PatchTessellation(rc, gp), 24);
    FlatPatch(gp, nullptr, -4, 4, 40, 48, 1);   // between: radius x 32 / w
    const float w = (rc.world_screen * Vector(gp.Centre(), 1.0f))[3];
    EXPECT_EQ(PatchTessellation(rc, gp), int(gp.Radius() * 32 / w));
}

// A patch whose texture would span 2048 texels or more is cut into 2^k x
// 2^k patches (k at most 4), tessellated 2^k times less, at least 3.
TEST_F(RoadPackets, WidePatchesAreCutByTheirTexelSpan)
{
    static std::vector<u8> pixels(1024 + 256 * 256);
    static Texture big;
    big.Set(PSMT8, 256, 256, 256, pixels.data());
    static GroundType gt;
    gt.ptex = &big;
    alignas(16) static GroundPatch gp;
    EndDrawRoads();
    BeginDrawPatches(rc);
    // 256 texels per 16 units: 2048 texels across 128 units.
    struct Case
    {
        float width;
        int patches;
        u32 tess;
    } cases[] = {{127.0f, 1, 24}, {128.0f, 4, 12}, {2500.0f, 256, 3}};
    for (const Case& c : cases) {
        FlatPatch(gp, &gt, -c.width / 2, c.width / 2, 4, 14, 1);
        ASSERT_EQ(PatchTessellation(rc, gp), 24);
        const u32* from = therenderer.p;
        gp.Draw(rc);
        const Sent s = PatchesSent(from);
        EXPECT_EQ(s.patches, c.patches) << c.width;
        EXPECT_EQ(s.tess, c.tess) << c.width;
    }
    EndDrawPatches();
    BeginDrawRoads(rc);
}

// Consecutive patches of one ground type select its texture once; the pass
// starts with no type selected.
TEST_F(RoadPackets, PatchesOfOneGroundTypeSelectItsTextureOnce)
{
    static GroundType a, b;
    a.ptex = &TPage_Jctn_Fill();
    b.ptex = &TPage_Jctn_Crosswalk();
    alignas(16) static GroundPatch p1, p2, p3;
    FlatPatch(p1, &a, -4, 0, 6, 10, 1);
    FlatPatch(p2, &a, 0, 4, 6, 10, 1);
    FlatPatch(p3, &b, 4, 8, 6, 10, 1);
    EndDrawRoads();
    const u32* from = therenderer.p;
    BeginDrawPatches(rc);
    EXPECT_EQ(prevgtype, nullptr);
    p1.Draw(rc);
    p2.Draw(rc);
    p3.Draw(rc);
    EndDrawPatches();
    int selections = 0;
    for (const u32* p = from; p + 4 <= therenderer.p; ++p)
        selections += (p[0] == 0x8005u || p[0] == 0x8007u) && p[1] == 0x10000000u && p[2] == 0xEu && p[3] == 0;
    EXPECT_EQ(selections, 2);
    EXPECT_EQ(PatchesSent(from).patches, 3);
    BeginDrawRoads(rc);
}

// The test cities and the sample city, loaded into the world, walked for
// visibility from a camera and drawn as the game's frame draws them.
class CityPictures : public citytest::CityWorld
{
protected:
    Surface draw, zbuf;
    RenderContext rc;

    void SetUp() override
    {
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        gsframe::SetFrameView(rc, kW, kH);
        rc.SetDirectionalLights(VectorDir(0.3f, 1.0f, 0.5f), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                                Vector(0.7f, 0.7f, 0.65f, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                                Vector(0.35f, 0.35f, 0.4f, 1));
    }
    void TearDown() override
    {
        therenderer.ClearTexture();
        TexManOff();
        citytest::CityWorld::TearDown();
    }
    // Draws the city seen from `eye` looking at `at`.
    void Picture(VectorPos eye, VectorPos at)
    {
        rc.SetCameraMatrix(LookatMatrix(eye, at));
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
        rc.Begin();
        qt().ClearVisibility();
        qt().CalcSortedVisibility(rc);
        qt().DrawRoads(rc);
        qt().DrawObjects(rc);
        gsframe::SendFrame();
    }
};

// Thirteen copies of one building in a row across the view, all shown (no
// fades): the opaque ones of a model are drawn in batches of six matrices.
class CityBatches : public CityPictures
{
protected:
    void SetUp() override
    {
        CityPictures::SetUp();
        tools::CityDescription c = tools::TestCity(tools::TestCityKind::kCrossing);
        c.instances.clear();
        for (int i = 0; i < 13; ++i) {
            tools::CityInstance in;
            in.pos = VectorPos(128.0f + 7.0f * float(i - 6), -4.0f, 170.0f);
            in.id = u16(20 + i);
            c.instances.push_back(in);
        }
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    }
    // Draws the row's instances as the frame does; `fading` of them start
    // fading in.  Returns the sizes of the instance-matrix uploads.
    std::vector<u32> DrawRow(int fading)
    {
        rc.SetCameraMatrix(LookatMatrix(VectorPos(128, -20, 115), VectorPos(128, -4, 170)));
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
        rc.Begin();
        qt().ClearVisibility();
        qt().CalcSortedVisibility(rc);
        int listed = 0;
        qt().stObjects.ForEach([&](Instance* in, float) {
            in->State() = listed++ < fading ? 0x40 : INSTSTATE_SHOWN;
        });
        EXPECT_EQ(listed, 13);
        const u32* from = therenderer.p;
        qt().DrawObjects(rc);
        std::vector<u32> uploads;
        for (const u32* p = from; p + 4 <= therenderer.p; ++p)
            if (p[0] == MC2_INSTANCES && p[2] == 0 && p[3] == mc2SetGlobals / 8)
                uploads.push_back(p[1] / 4);
        // After the call no instance is a link of a queue and no model is
        // chained.
        qt().stObjects.ForEach([&](Instance* in, float) { EXPECT_EQ(in->obj, nullptr); });
        for (int m = 0; m < 1; ++m) {
            EXPECT_EQ(qt().mdlfiles[m].pNextWithInstances, nullptr);
            EXPECT_EQ(qt().mdlfiles[m].pFirstInstance, nullptr);
        }
        gsframe::SendFrame();
        return uploads;
    }
};

TEST_F(CityBatches, ThirteenInstancesDrawAsSixSixAndOne)
{
    EXPECT_EQ(DrawRow(0), (std::vector<u32>{6, 6}));
    const std::vector<u32> batched = golden::FramePicture(kW, kH);
    EXPECT_GT(Covered(), 3000);
    // Drawn singly, the same picture.
    instancing_off = 1;
    EXPECT_TRUE(DrawRow(0).empty());
    instancing_off = 0;
    EXPECT_TRUE(golden::FramePicture(kW, kH) == batched);
}

// An instance fading in is drawn by itself with its opacity; the other
// twelve still go in two batches.
TEST_F(CityBatches, FadingInstanceIsNeverBatched)
{
    EXPECT_EQ(DrawRow(1), (std::vector<u32>{6, 6}));
    EXPECT_EQ(DrawRow(2), (std::vector<u32>{6, 5}));
}

// The junction drawers on the test cities' junctions, in a road pass.
class JunctionPackets : public CityPictures
{
protected:
    // The first visible junction of n roads, seen from above it.
    Junction* Find(int n)
    {
        rc.SetCameraMatrix(LookatMatrix(VectorPos(140, -20, 100), VectorPos(128, -1, 128)));
        qt().ClearVisibility();
        qt().CalcSortedVisibility(rc);
        for (auto* l = qt().visjtnlist.Head(); !l->IsEOList(); l = l->Next())
            if (l->data->nRoadsegs == n)
                return l->data;
        return nullptr;
    }
    void Begin()
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        rc.Begin();
        BeginDrawRoads(rc);
    }
    void End()
    {
        EndDrawRoads();
        therenderer.EndScene();
    }
};

// A dead end caps from the left half and the middle of its cross section
// (the alley's eight points: five curves); it has no middle.
TEST_F(JunctionPackets, DeadEndCapsFromTheLeftHalf)
{
    Load(tools::TestCity(tools::TestCityKind::kDeadEnd));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    rc.SetCameraMatrix(LookatMatrix(VectorPos(150, -12, 110), VectorPos(168, -1, 128)));
    qt().ClearVisibility();
    qt().CalcSortedVisibility(rc);
    Junction* j = nullptr;
    for (auto* l = qt().visjtnlist.Head(); !l->IsEOList(); l = l->Next())
        if (l->data->pos[0] > 128.0f)
            j = l->data;
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->nRoadsegs, 1);
    Begin();
    const u32* from = therenderer.p;
    j->Draw(rc);
    EXPECT_EQ(RoadPackets::Records(from).size(), 4u * (8 / 2 + 1));
    from = therenderer.p;
    j->DrawMiddle(rc);
    EXPECT_EQ(therenderer.p, from);
    End();
}

// A junction flagged 4 is not drawn by Draw, but its middle is; a join of
// two roads has no middle.  The middle's texture frame goes to the
// translation row of the first texture matrix: matJunc applied to -pos.
TEST_F(JunctionPackets, FlaggedJunctionDrawsOnlyItsMiddle)
{
    Load(tools::TestCity(tools::TestCityKind::kTJunction));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    Junction* t = Find(3);
    ASSERT_NE(t, nullptr);
    Begin();
    t->u8Flags |= JUNCTION_FAKE;
    const u32* from = therenderer.p;
    t->Draw(rc);
    EXPECT_EQ(therenderer.p, from);
    t->DrawMiddle(rc);
    t->u8Flags &= u8(~JUNCTION_FAKE);
    EXPECT_GT(therenderer.p - from, 16);
    bool frame = false;
    for (const u32* p = from; p + 8 <= therenderer.p; ++p)
        if (p[0] == MC2_TEXMATRIX0 + 3 && p[1] == 1 && p[2] == 0 && p[3] == mc2SetGlobals / 8) {
            frame = true;
            EXPECT_FLOAT_EQ(WordLane(p[4]), -0.25f * t->pos[0]);
            EXPECT_FLOAT_EQ(WordLane(p[5]), -0.25f * t->pos[2]);
            EXPECT_FLOAT_EQ(WordLane(p[6]), 1.0f);
            EXPECT_FLOAT_EQ(WordLane(p[7]), 0.0f);
        }
    EXPECT_TRUE(frame);
    End();
}

TEST_F(JunctionPackets, JoinOfTwoRoadsHasNoMiddle)
{
    Load(tools::TestCity(tools::TestCityKind::kBend));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    Junction* bend = Find(2);
    ASSERT_NE(bend, nullptr);
    Begin();
    const u32* from = therenderer.p;
    bend->DrawMiddle(rc);
    EXPECT_EQ(therenderer.p, from);
    // The join itself: the first road's full points to its right edge.
    bend->Draw(rc);
    EXPECT_EQ(RoadPackets::Records(from).size(), 4u * 6);
    End();
}

// A road end with fewer than two points between its kerb points has no
// end piece at all.
TEST_F(JunctionPackets, EndWithoutACarriagewayDrawsNothing)
{
    StreetKind narrow;
    narrow.rt().iJuncLeft = 3;
    narrow.rt().iJunc = 3;
    const Bezier k(Vector(-5, 1, 10, 0), Vector(-5, 1, 12, 0), Vector(-3, 1, 14, 0), Vector(0, 1, 14, 0));
    Begin();
    const u32* from = therenderer.p;
    DrawJuncEndSpline(narrow.rt(), k, k, k, 5.0f, 0.0f, false, rc);
    EXPECT_EQ(therenderer.p, from);
    End();
}

// The low-detail model takes over beyond the switch depth; a switch depth
// of 0 means the model never switches.
TEST_F(CityBatches, LowDetailSwitchFollowsTheDepthAndZeroNeverSwitches)
{
    GEOMETRY* g = qt().mdlfiles[0].obj.geom;
    ASSERT_NE(g, nullptr);
    ASSERT_NE(g->lowresgeom, nullptr);
    const float saved = g->lowresdist;
    g->lowresdist = 1.0e9f;
    DrawRow(0);   // the textures' first upload
    DrawRow(0);
    const std::vector<u32> nearPicture = golden::FramePicture(kW, kH);
    g->lowresdist = 1.0f;
    DrawRow(0);
    const std::vector<u32> farPicture = golden::FramePicture(kW, kH);
    g->lowresdist = 0.0f;
    DrawRow(0);
    const std::vector<u32> zeroPicture = golden::FramePicture(kW, kH);
    g->lowresdist = saved;
    EXPECT_FALSE(farPicture == nearPicture);
    EXPECT_TRUE(zeroPicture == nearPicture);
}

// Road batches (curve records to address 0) and junction middles (the
// polygon's relative unpack) written from `from`.
struct Pieces
{
    int batches = 0, middles = 0;
};
Pieces PiecesFrom(const u32* from)
{
    Pieces n;
    for (const u32* p = from; p + 2 <= therenderer.p; ++p) {
        n.batches += p[0] == ROAD_BATCH_STCYCL && (p[1] & 0xFF00FFFFu) == ROAD_BATCH_UNPACK;
        // A middle polygon's batch ends ITOP n, MSCNT, FLUSH.
        n.middles += p + 3 <= therenderer.p && p[0] >> 24 == 0x04 && p[1] == VIF_MSCNT && p[2] == VIF_FLUSH;
    }
    return n;
}

// A T with a through road: kerbs in gaps 0 and 2 only and the through strip;
// in the middle only the stem's end (the alley's carriageway; its pavement
// ends at its right edge, so it has no pavement piece), no polygon.  An
// ordinary crossing: four kerbs, four ends and its middle.
TEST_F(JunctionPackets, ThroughRoadTAndOrdinaryCrossingPieces)
{
    Load(tools::TestCity(tools::TestCityKind::kTJunction));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
    Junction* t = Find(3);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(t->u8Flags & JUNCTION_THROUGHROAD);
    Begin();
    const u32* from = therenderer.p;
    t->Draw(rc);
    Pieces drawn = PiecesFrom(from);
    EXPECT_EQ(drawn.batches, 3);
    EXPECT_EQ(drawn.middles, 0);
    from = therenderer.p;
    t->DrawMiddle(rc);
    drawn = PiecesFrom(from);
    EXPECT_EQ(drawn.batches, 1);
    EXPECT_EQ(drawn.middles, 0);
    End();
    therenderer.ClearTexture();
    world.Reset();
    world.FreeCity();

    Load(tools::SampleCity());
    ASSERT_TRUE(SyncTo(VectorPos(-32.0f, 0.0f, -32.0f)));
    rc.SetCameraMatrix(LookatMatrix(VectorPos(-32, -40, -50), VectorPos(-32, -1, -32)));
    qt().ClearVisibility();
    qt().CalcSortedVisibility(rc);
    Junction* x = nullptr;
    for (auto* l = qt().visjtnlist.Head(); !l->IsEOList(); l = l->Next())
        if (l->data->pos[0] == -32.0f && l->data->pos[2] == -32.0f)
            x = l->data;
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(x->nRoadsegs, 4);
    ASSERT_FALSE(x->u8Flags & JUNCTION_THROUGHROAD);
    Begin();
    from = therenderer.p;
    x->Draw(rc);
    drawn = PiecesFrom(from);
    EXPECT_EQ(drawn.batches, 4);
    from = therenderer.p;
    x->DrawMiddle(rc);
    drawn = PiecesFrom(from);
    EXPECT_EQ(drawn.batches, 4);
    EXPECT_EQ(drawn.middles, 1);
    End();
}

// The four-road crossing of the test city (a through road with the side
// roads' ends and their crosswalks), the T-junction and the dead ends, each
// seen from above one corner.
TEST_F(CityPictures, CrossingTJunctionAndDeadEnd)
{
    const struct {
        tools::TestCityKind kind;
        const char* golden;
    } views[] = {{tools::TestCityKind::kCrossing, "city_crossing"},
                 {tools::TestCityKind::kTJunction, "city_t_junction"},
                 {tools::TestCityKind::kDeadEnd, "city_dead_end"}};
    for (const auto& v : views) {
        Load(tools::TestCity(v.kind));
        ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 128.0f)));
        const VectorPos at = v.kind == tools::TestCityKind::kDeadEnd ? VectorPos(168, -1, 128) : VectorPos(128, -1, 128);
        Picture(at + VectorPos(-14, -16, -22), at);
        EXPECT_GT(Covered(), 4000) << v.golden;
        golden::ExpectFrameBuffer(v.golden, kW, kH);
        therenderer.ClearTexture();
        world.Reset();
        world.FreeCity();
    }
}

// The sample city from the stand-in drive's start (placeholder -4), looking
// east along its street: the road and its pavements in front, buildings on
// both sides, the crossing ahead.
TEST_F(CityPictures, SampleCityFromTheDriveStart)
{
    Load(tools::SampleCity());
    ASSERT_TRUE(SyncTo(VectorPos(-84.0f, 0.0f, 38.5f)));
    Picture(VectorPos(-84.0f, -3.0f, 32.0f), VectorPos(-74.0f, -3.0f, 32.0f));
    EXPECT_GT(Covered(), 12000);
    // The sky stays clear; straight ahead at the bottom lies asphalt (grey).
    EXPECT_EQ(golden::FramePixel(128, 2, kW) & 0xFFFFFF, 0x141414u);
    const u32 road = golden::FramePixel(128, kH - 4, kW);
    const int r = int(road & 0xFF), g = int(road >> 8 & 0xFF), b = int(road >> 16 & 0xFF);
    EXPECT_GT(r, 0x20);
    EXPECT_LT(std::abs(r - g) + std::abs(g - b), 24);
    golden::ExpectFrameBuffer("city_from_drive_start", kW, kH);
}

// An ordinary crossing of the sample city (an avenue and a street, no
// through road) from above: the four road ends with their crosswalks, the
// kerbs round the corners and the filled middle.
TEST_F(CityPictures, SampleCityOrdinaryCrossing)
{
    Load(tools::SampleCity());
    ASSERT_TRUE(SyncTo(VectorPos(-32.0f, 0.0f, -32.0f)));
    Picture(VectorPos(-44.0f, -30.0f, -62.0f), VectorPos(-32.0f, -1.0f, -32.0f));
    EXPECT_GT(Covered(), 20000);
    golden::ExpectFrameBuffer("city_ordinary_crossing", kW, kH);
}

}  // namespace
