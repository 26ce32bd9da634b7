#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/render_support.h"

using namespace render_test;
using chain::VifCode;

namespace {

u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}
float Float(u32 b)
{
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

// A context set up as the game's start-up does: 640 x 512, near 0.1, far
// 2000, camera at (1, 2, 3) looking along +z.
struct GameView
{
    RenderContext rc;
    explicit GameView(int proj = 0)
    {
        rc.SetAspectRatio(1.0f, 1.056f);
        rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
        rc.SetZRange(0.1f, 2000.0f);
        if (proj == 0)
            rc.SetPerspective(1.5f);
        else if (proj == 1)
            rc.SetParallel(0.01f);
        else
            rc.SetPerspectiveInfinite(1.5f);
        rc.SetCameraMatrix(TransMatrix(1, 2, 3));
    }
};

// The mc2SetGlobals commands of every command block after `from`: address,
// count and data quadwords.
struct Globals
{
    u32 addr, n;
    std::vector<std::vector<u32>> q;
};
std::vector<Globals> SetGlobalsAfter(const chain::Walk& w, const u32* from)
{
    std::vector<Globals> out;
    for (const VifCode& c : w.codes) {
        if (c.Cmd() != 0x6C || !(c.code & 0x8000) || c.at < from)
            continue;
        for (size_t k = 0; k + 3 < c.data.size();) {
            const u32 routine = (c.data[k + 3] & 0xFFFF) * 8;
            if (routine == mc2SetGlobals) {
                Globals g{c.data[k], c.data[k + 1], {}};
                for (u32 i = 0; i < g.n; ++i) {
                    const size_t b = k + 4 + 4 * i;
                    g.q.push_back({c.data[b], c.data[b + 1], c.data[b + 2], c.data[b + 3]});
                }
                out.push_back(g);
                k += 4 * (1 + g.n);
            } else if (routine == mc2SetViewport) {
                k += 8;
            } else {
                k += 4;
            }
        }
    }
    return out;
}

Vector AsVector(const std::vector<u32>& q)
{
    return Vector(Float(q[0]), Float(q[1]), Float(q[2]), Float(q[3]));
}

void ExpectMatrixEq(const Matrix& a, const Matrix& b)
{
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(Matrix)), 0);
}

class RenderContextChain : public FrameTest
{
};

}  // namespace

// ------------------------------------------------------------- set-up

TEST(RenderContext, ViewportGivesScaleTranslationAndGuardFactor)
{
    RenderContext rc;
    rc.SetAspectRatio(1.0f, 1.2f);
    rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
    EXPECT_EQ(rc.viewport_scale, Vector(320, 256, 7999999.5f, 0));
    EXPECT_EQ(rc.viewport_trans.xyz(), VectorXYZ(2368, 2304, 8000000.5f));
    EXPECT_FLOAT_EQ(rc.scrw, 640);
    EXPECT_FLOAT_EQ(rc.scrh, 512);
    EXPECT_FLOAT_EQ(rc.ay2, 1.2f * 320 / 256);
    EXPECT_FLOAT_EQ(rc.guardmult, 320.0f / 1024);
    // The viewport matrix maps -1 .. 1 onto the window.
    const Vector corner = rc.viewport_mat * Vector(1, -1, 0, 1);
    EXPECT_FLOAT_EQ(corner[0], 2048 + 640);
    EXPECT_FLOAT_EQ(corner[1], 2048);
}

TEST(RenderContext, EachProjectionMapsTheDepthRangeAndHasItsInverse)
{
    for (int proj = 0; proj < 3; ++proj) {
        GameView v(proj);
        const Matrix& p = v.rc.view_cull;
        auto ndcz = [&p](float z) {
            const Vector c = p * Vector(0, 0, z, 1);
            return c[2] / c[3];
        };
        EXPECT_NEAR(ndcz(0.1f), -1.0f, 1e-4f) << proj;
        if (proj != 2)
            EXPECT_NEAR(ndcz(2000.0f), 1.0f, 1e-4f) << proj;
        else
            EXPECT_LT(ndcz(1000.0f), 1.0f);
        const Matrix id = p * v.rc.cull_view;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(id[r][c], r == c ? 1.0f : 0.0f, 1e-4f) << proj << " " << r << c;
        EXPECT_EQ(int(v.rc.lastperspectivecall), proj == 0 ? 0 : proj == 1 ? 1 : 2);
    }
}

TEST(RenderContext, CameraMatrixDerivesTheWorldMatrices)
{
    GameView v;
    const Vector p(5, -2, 40, 1);
    const Vector view = v.rc.world_view * p;
    EXPECT_EQ(view, Vector(4, -4, 37, 1));
    const Vector cull = v.rc.world_cull * p;
    const Vector screen = v.rc.world_screen * p;
    EXPECT_NEAR(screen[0] / screen[3], 2368 + 320 * cull[0] / cull[3], 1e-2f);
    const Vector clip = v.rc.world_clip * p;
    EXPECT_FLOAT_EQ(clip[0], cull[0] * v.rc.guardmult);
    EXPECT_FLOAT_EQ(clip[2], cull[2]);
    const Vector back = v.rc.cull_world * cull;
    EXPECT_NEAR(back[0] / back[3], 5, 1e-3f);
}

TEST(RenderContext, ZOffsetOfZeroChangesNothing)
{
    for (int proj = 0; proj < 3; ++proj) {
        GameView v(proj);
        RenderContext before = v.rc;
        v.rc.ZOffset(0.0f);
        ExpectMatrixEq(v.rc.view_cull, before.view_cull);
        ExpectMatrixEq(v.rc.cull_view, before.cull_view);
        ExpectMatrixEq(v.rc.view_clip, before.view_clip);
        ExpectMatrixEq(v.rc.view_screen, before.view_screen);
        ExpectMatrixEq(v.rc.world_cull, before.world_cull);
        ExpectMatrixEq(v.rc.world_clip, before.world_clip);
        ExpectMatrixEq(v.rc.world_screen, before.world_screen);
        ExpectMatrixEq(v.rc.world_view, before.world_view);
        ExpectMatrixEq(v.rc.cull_world, before.cull_world);
        EXPECT_EQ(v.rc.cull_scale, before.cull_scale);
        EXPECT_EQ(v.rc.clip_scale, before.clip_scale);
        EXPECT_EQ(v.rc.nearz, before.nearz);
    }
}

TEST(RenderContext, ZOffsetRepeatsTheLastProjectionWithTheMovedRange)
{
    GameView v(2);
    v.rc.ZOffset(0.5f);
    GameView w(2);
    w.rc.SetZRange(0.6f, 2000.5f);
    w.rc.SetPerspectiveInfinite(1.5f);
    w.rc.SetCameraMatrix(TransMatrix(1, 2, 3));
    ExpectMatrixEq(v.rc.view_cull, w.rc.view_cull);
    ExpectMatrixEq(v.rc.world_cull, w.rc.world_cull);
}

TEST(RenderContext, FogAndDirectionalLightsAreStoredForTheMicrocode)
{
    RenderContext rc;
    rc.SetFog(1, Colour(10, 20, 30, 128), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1), 0.75f, 0.125f);
    EXPECT_FLOAT_EQ(rc.fog_max, 0.99609375f - 0.75f);
    EXPECT_FLOAT_EQ(rc.fog_min, 0.99609375f - 0.125f);
    EXPECT_EQ(rc.fog_colour, Colour(10, 20, 30, 128));

    rc.SetDirectionalLights(VectorDir(0, 0, 2), VectorDir(3, 0, 0), VectorDir(0, 0, 0), Vector(1, 0, 0, 0),
                            Vector(0, 1, 0, 0), Vector(0, 0, 1, 0), Vector(0.1f, 0.2f, 0.3f, 1));
    // Columns are the negated unit directions; a zero direction stays zero.
    EXPECT_EQ(rc.normal_light.Column(0), Vector(0, 0, -1, 0));
    EXPECT_EQ(rc.normal_light.Column(1), Vector(-1, 0, 0, 0));
    EXPECT_EQ(rc.normal_light.Column(2), Vector(0, 0, 0, 0));
    EXPECT_EQ(rc.normal_light.w, Vector(0, 0, 0, 1));
    EXPECT_EQ(rc.light_colour.w, Vector(0.1f, 0.2f, 0.3f, 1));
    rc.SetGlobalTransparency(0.5f);
    EXPECT_EQ(rc.GetGlobalTransparency(), 0.5f);
}

TEST(RenderContext, DefaultsDrawUnlitGeometryAsItIs)
{
    RenderContext rc;
    EXPECT_EQ(rc.light_colour.w, Vector(1, 1, 1, 1));
    EXPECT_EQ(rc.fog_mode, 0);
    EXPECT_EQ(rc.nlights, 0);
    EXPECT_EQ(rc.tesselation, 8);
    EXPECT_EQ(rc.mode, 0);
    EXPECT_FLOAT_EQ(rc.guardband, 1024);
    // The default view sees a point ahead and not one behind.
    EXPECT_EQ(rc.TestCull(VectorPos(0, 0, 10)), 0);
    EXPECT_NE(rc.TestCull(VectorPos(0, 0, -10), 1.0f), 0);
    rc.SetNumLights(12);
    EXPECT_EQ(rc.nlights, RC_MAXLIGHTS);
    EXPECT_EQ(&rc.GetLight(-3), &rc.lights[0]);
}

// ---------------------------------------------------------------- tests

TEST(RenderContext, PointCullFlagsNameThePlanes)
{
    GameView v;   // camera at (1, 2, 3)
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, 2, 50)), 0);
    EXPECT_EQ(v.rc.TestCull(VectorPos(200, 2, 50)), CLIP_POSX);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, -200, 50)), CLIP_NEGY);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, 2, 5000)), CLIP_POSZ);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, 2, 3.05f)), CLIP_NEGZ);
    // Behind the eye, on the axis: not in view (a mirrored test would say so).
    EXPECT_TRUE(v.rc.TestCull(VectorPos(1, 2, -7)) & CLIP_NEGZ);
}

TEST(RenderContext, SphereIsCulledOnlyWhenWhollyOutsideAPlane)
{
    GameView v;
    // The right plane at view depth 50 lies at x = 50 / (ax zoom) = 33.33.
    const float edge = 50.0f / 1.5f;
    // Centre just inside, and just outside but reaching in: both visible.
    EXPECT_EQ(v.rc.TestCull(VectorPos(1 + edge - 0.5f, 2, 53), 1.0f), 0);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1 + edge + 0.5f, 2, 53), 1.0f), 0);
    // Two radii beyond the plane (measured along its normal): culled.
    const float n = std::sqrt(1.5f * 1.5f + 1) / 1.5f;
    EXPECT_EQ(v.rc.TestCull(VectorPos(1 + edge + 2.0f * n, 2, 53), 1.0f), CLIP_POSX);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1 - edge - 2.0f * n, 2, 53), 1.0f), CLIP_NEGX);
    // Near and far.  Behind the eye a sphere also lies outside the side
    // planes, which pass through the eye.
    EXPECT_TRUE(v.rc.TestCull(VectorPos(1, 2, 3 - 5), 1.0f) & CLIP_NEGZ);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, 2, 3 + 0.05f), 0.01f), CLIP_NEGZ);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, 2, 3 + 0.5f), 1.0f), 0);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, 2, 3 + 2100), 5.0f), CLIP_POSZ);
    EXPECT_EQ(v.rc.TestCull(VectorPos(1, 2, 3 + 1998), 5.0f), 0);
}

TEST(RenderContext, BoxCullUsesTheCullMatrix)
{
    GameView v;
    const Cuboid box(VectorPos(-1, -1, -1), VectorPos(1, 1, 1));
    EXPECT_EQ(v.rc.TestCull(box, TransMatrix(1, 2, 50)), 0);
    EXPECT_EQ(v.rc.TestCull(box, TransMatrix(1, 2, -50)), 1);
    EXPECT_EQ(v.rc.TestCull(Cuboid(VectorPos(500, 0, 40), VectorPos(600, 5, 60))), 1);
}

TEST(RenderContext, ClipTestFindsSpheresLeavingTheGuardBandOrNearPlane)
{
    GameView v;
    EXPECT_FALSE(v.rc.TestClip(VectorPos(1, 2, 50), 1.0f));
    // Crossing the near plane.
    EXPECT_TRUE(v.rc.TestClip(VectorPos(1, 2, 3.5f), 1.0f));
    // The guard band reaches 3.2 screen half-widths: x = 3.2 z / 1.5.
    const float band = 3.2f * 50.0f / 1.5f;
    EXPECT_FALSE(v.rc.TestClip(VectorPos(1 + band - 3, 2, 53), 1.0f));
    EXPECT_TRUE(v.rc.TestClip(VectorPos(1 + band, 2, 53), 1.0f));
}

TEST(RenderContext, MipTestIsSixteenTimesLogDepthAndZeroBehind)
{
    GameView v;
    // Nearest point at depth 16: 16 * log2(16) = 64.
    EXPECT_EQ(v.rc.MipTest(VectorPos(1, 2, 3 + 17), 1.0f, 5), 64 + 5);
    EXPECT_EQ(v.rc.MipTest(VectorPos(1, 2, 3 + 33), 1.0f, 0), 80);
    // A sphere reaching behind the camera.
    EXPECT_EQ(v.rc.MipTest(VectorPos(1, 2, 3 + 2), 3.0f, 7), 0);
    EXPECT_EQ(v.rc.MipTest(VectorPos(1, 2, 3 - 10), 1.0f, 7), 0);
}

// ------------------------------------------------------ vector unit 1

TEST_F(RenderContextChain, BeginSendsTheMicrocodeByReferenceAndTheViewBlock)
{
    GameView v;
    const u32* from = therenderer.GetPtr();
    therenderer.nmats = 5;
    v.rc.Begin();
    EXPECT_EQ(therenderer.nmats, 0);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;

    bool ref = false;
    for (const chain::DmaTagSeen& t : w.tags)
        if (t.id == DMA_REF && t.qwc == MICROCODE2_QWC && t.next == u32(uintptr_t(Microcode2)) &&
            t.p0 == VIF_FLUSHE)
            ref = true;
    EXPECT_TRUE(ref);
    // After the microcode's eight MPGs: BASE 0, OFFSET 216, the block, MSCAL 0
    // (NOPs aside).
    std::vector<const VifCode*> after;
    bool base = false;
    for (const VifCode& c : w.codes) {
        base = base || (c.Cmd() == 0x03 && c.at >= from);
        if (base && c.code != 0)
            after.push_back(&c);
    }
    ASSERT_GE(after.size(), 5u);
    EXPECT_EQ(after[0]->code, 0x03000000u);
    EXPECT_EQ(after[1]->code, 0x020000D8u);
    EXPECT_EQ(after[2]->code, 0x01000404u);
    const VifCode& block = *after[3];
    EXPECT_EQ(block.Cmd(), 0x6Cu);
    EXPECT_EQ(after[4]->code, 0x14000000u);
    int mpgs = 0;
    for (const VifCode& c : w.codes)
        mpgs += c.Cmd() == 0x4A;
    EXPECT_EQ(mpgs, 8);

    const std::vector<u32>& d = block.data;
    ASSERT_EQ(d.size(), 4u * 18);
    EXPECT_EQ((std::vector<u32>(d.begin(), d.begin() + 4)),
              (std::vector<u32>{MC2_OUTBUF1, MC2_OUTBUF2, 0, mc2SetBuffers / 8}));
    EXPECT_EQ(d[7] & 0xFFFF, mc2SetViewport / 8);
    EXPECT_EQ(Float(d[4]), 320.0f);
    EXPECT_EQ(Float(d[8]), 2368.0f);
    const std::vector<Globals> g = SetGlobalsAfter(w, from);
    ASSERT_EQ(g.size(), 4u);
    EXPECT_EQ(g[0].addr, 906u);
    EXPECT_EQ(g[0].n, 4u);
    EXPECT_EQ(AsVector(g[0].q[3]), v.rc.light_colour.w);
    EXPECT_EQ(g[1].addr, 899u);
    EXPECT_EQ(AsVector(g[1].q[2]), v.rc.world_cull.z);
    EXPECT_EQ(g[2].addr, 898u);
    EXPECT_EQ(AsVector(g[2].q[0]), v.rc.clip_scale);
    EXPECT_EQ(g[3].addr, 910u);
    EXPECT_EQ(g[3].q[0], (std::vector<u32>{0, 0, 0, mc2NoExtraLights / 8}));
    EXPECT_EQ(d[d.size() - 1], mc2Stop / 8);
}

TEST_F(RenderContextChain, SetLightsWithoutLocalLightsOrFogSendsTwoGlobals)
{
    GameView v;
    const u32* from = therenderer.GetPtr();
    v.rc.SetLights(TransMatrix(5, 0, 0));
    const std::vector<Globals> g = SetGlobalsAfter(Finish(), from);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].addr, 903u);
    EXPECT_EQ(g[0].n, 3u);
    EXPECT_EQ(g[1].addr, 910u);
    EXPECT_EQ(g[1].n, 1u);
    EXPECT_EQ(g[1].q[0], (std::vector<u32>{0, 0, 0, mc2NoExtraLights / 8}));
}

TEST_F(RenderContextChain, ChainLengthsFollowLightsAndFog)
{
    struct Case {
        int lights;
        int fog;
        u32 count;
    };
    for (const Case c : {Case{0, 1, 4}, Case{1, 0, 6}, Case{3, 0, 12}, Case{2, 1, 12}, Case{4, 2, 18}}) {
        GameView v;
        v.rc.SetFog(c.fog, Colour(1, 2, 3, 4), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1), 1, 0);
        v.rc.SetNumLights(c.lights);
        for (int i = 0; i < c.lights; ++i) {
            v.rc.lights[i].SetPos(VectorPos(float(i), 0, 0));
            v.rc.lights[i].SetPointLight(10, false);
        }
        therenderer.BeginScene(dmabuff[0], gifbuff[0], false);
        const u32* from = therenderer.GetPtr();
        v.rc.SetLights(Matrix(true));
        const std::vector<Globals> g = SetGlobalsAfter(Finish(), from);
        ASSERT_EQ(g.size(), 2u);
        EXPECT_EQ(g[1].n, c.count) << c.lights << " lights, fog " << c.fog;
    }
}

TEST_F(RenderContextChain, LightsAndFogPlanesArriveInObjectSpace)
{
    GameView v;
    // Fog relative to the camera: amount = view z / 100.
    v.rc.SetFog(1, Colour(0, 0, 0, 128), Vector(0, 0, 0.01f, 0), Vector(0, 0, 0, 1), 1, 0);
    v.rc.SetNumLights(2);
    v.rc.lights[0].SetPos(VectorPos(12, 0, 0));
    v.rc.lights[0].SetColour(VectorXYZ(1, 0.5f, 0.25f));
    v.rc.lights[0].SetPointLight(8, false);
    v.rc.lights[1].SetPos(VectorPos(10, 5, 0));
    v.rc.lights[1].SetColour(VectorXYZ(0, 1, 0));
    v.rc.lights[1].SetSpotLight(0.5f, 20, VectorDir(0, 1, 0), true);
    // The object sits at (10, 0, 0), turned a quarter about y.
    const Matrix mat = RotY(1.5707964f) * TransMatrix(10, 0, 0);
    const u32* from = therenderer.GetPtr();
    v.rc.SetLights(mat);
    const std::vector<Globals> g = SetGlobalsAfter(Finish(), from);
    ASSERT_EQ(g.size(), 2u);
    const auto& q = g[1].q;
    ASSERT_EQ(q.size(), 12u);
    EXPECT_EQ(q[0], (std::vector<u32>{2, 2, 2, mc2UnpackNormals / 8}));
    // The last light comes first.  Its position taken back through mat.
    const Matrix inv = mat.Inverse();
    const Vector p1 = inv * Vector(10, 5, 0, 1);
    EXPECT_NEAR(Float(q[1][0]), p1[0], 1e-5f);
    EXPECT_NEAR(Float(q[1][1]), p1[1], 1e-5f);
    EXPECT_NEAR(Float(q[1][2]), p1[2], 1e-5f);
    // The routine in the low 16 bits of params.y changes it only slightly.
    EXPECT_EQ(q[1][3] & 0xFFFF, mc2GeneralLight / 8);
    EXPECT_EQ(q[1][3] & 0xFFFF0000u, Bits(1.0f) & 0xFFFF0000u);
    EXPECT_NEAR(Float(q[1][3]), 1.0f, 1.0f / 128);
    // -direction scaled by 1 / sin(0.5), and the cone term.
    const float s2 = std::sin(0.5f) * std::sin(0.5f);
    const Vector d1 = inv * Vector(0, 1, 0, 0);
    EXPECT_NEAR(Float(q[2][1]), -d1[1] / std::sqrt(s2), 1e-4f);
    EXPECT_NEAR(Float(q[2][3]), 1 - 1 / s2, 1e-3f);
    EXPECT_EQ(AsVector(q[3]).xyz(), VectorXYZ(0, 1, 0));
    EXPECT_FLOAT_EQ(Float(q[3][3]), 19.0f / 400);
    // Then the first light: world (12, 0, 0) is 2 along the object's axis.
    const Vector p0 = inv * Vector(12, 0, 0, 1);
    EXPECT_NEAR(Float(q[4][0]), p0[0], 1e-5f);
    EXPECT_NEAR(Float(q[4][2]), p0[2], 1e-5f);
    EXPECT_FLOAT_EQ(Float(q[6][3]), 19.0f / 64);
    EXPECT_EQ(q[7], (std::vector<u32>{0, 0, 0, mc2ClampLights / 8}));
    EXPECT_EQ(q[8], (std::vector<u32>{Bits(v.rc.fog_max), Bits(v.rc.fog_min), 0, mc2Fog / 8}));
    // The planes evaluated at an object point give what the view planes give
    // at its view position.
    const Vector po(3, -1, 7, 1);
    const Vector pv = v.rc.world_view * (mat * po);
    const Vector num = AsVector(q[9]), den = AsVector(q[10]);
    EXPECT_NEAR(Dot(po, num), pv[2] * 0.01f, 1e-4f);
    EXPECT_NEAR(Dot(po, den), 1.0f, 1e-5f);
    EXPECT_EQ(q[11], (std::vector<u32>{0, 0, 0, mc2NoExtraLights / 8}));
}

TEST_F(RenderContextChain, SetLightsDirectUnpacksTheChainAbsolutelyWithoutFog)
{
    GameView v;
    v.rc.SetFog(2, Colour(0, 0, 0, 128), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1), 1, 0);
    v.rc.SetNumLights(1);
    v.rc.lights[0].SetPos(VectorPos(4, 5, 6));
    v.rc.lights[0].SetPointLight(10, false);
    const u32* from = therenderer.GetPtr();
    therenderer.BeginCommands();   // an open block is closed first
    v.rc.SetLightsDirect();
    chain::Walk w = Finish();
    size_t i = 0;
    while (i < w.codes.size() && !(w.codes[i].Cmd() == 0x6C && w.codes[i].at >= from && !(w.codes[i].code & 0x8000)))
        ++i;
    ASSERT_LT(i, w.codes.size());
    const VifCode& u = w.codes[i];
    EXPECT_EQ(u.code, 0x6C00038Eu | 6u << 16);
    EXPECT_EQ(w.codes[i - 1].code, 0x01000404u);
    ASSERT_EQ(u.data.size(), 24u);
    EXPECT_EQ(Float(u.data[4]), 4.0f);   // world space
    EXPECT_EQ(u.data[23], mc2NoExtraLights / 8);
    EXPECT_EQ(u.data[19], mc2ClampLights / 8);
    // No MSCAL follows it.
    for (size_t k = i + 1; k < w.codes.size(); ++k)
        EXPECT_NE(w.codes[k].Cmd(), 0x14u);
}
