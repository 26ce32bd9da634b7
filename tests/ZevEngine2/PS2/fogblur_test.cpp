// Fog, depth blur, motion blur and lens flares: the fog palette against its
// distance formula, the packets the effects write, and whole frames drawn by
// the stand-in's GS compared pixel by pixel with values computed here from
// the blending, filtering and depth-test rules.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "ZevEngine2/PS2/FogBlur.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"

using console::gs::Psm;
using console::gs::Vram;

namespace {

// A context whose depth mapping has K = k (the depth range starts at k; both
// ends are exact in float) and near plane nearz.
RenderContext FogContext(float k, float nearz)
{
    RenderContext rc;
    rc.SetViewport(2048.0f, 2048.0f + 640.0f, 2048.0f, 2048.0f + 512.0f, k, 16000000.0f);
    rc.SetZRange(nearz, 1000.0f);
    return rc;
}

// The fog alpha of palette index i: the view distance of depth 256 i + 128,
// placed on the ramp from start (no fog) to end (128 x max).
int FogAlpha(float k, float nearz, float start, float end, float max, int i)
{
    const float d = nearz * k / float(256 * i + 128);
    const float c = d < start ? start : d > end ? end : d;
    return int((c - start) * 128.0f * max / (end - start)) & 0xFF;
}

// Palette storage position of entry i: bits 3 and 4 exchanged.
int Stored(int i)
{
    const int b3 = i >> 3 & 1, b4 = i >> 4 & 1;
    return (i & ~0x18) | b3 << 4 | b4 << 3;
}

constexpr float kK = 25600.0f;   // d(i) = nearz x 25600 / (256 i + 128): 200 .. 0.39 at nearz 1

}  // namespace

// ------------------------------------------------------------ the palette

TEST(FogPalette, EntriesEightAndSixteenSwapPlacesTwentyFourAndZeroStay)
{
    RenderContext rc = FogContext(kK, 1.0f);
    gFog.SetUp(Colour(10, 20, 30, 0), 1.0f, 20.0f, 1.0f);
    gFog.MakePalette(rc);
    const int a0 = FogAlpha(kK, 1, 1, 20, 1, 0), a8 = FogAlpha(kK, 1, 1, 20, 1, 8);
    const int a16 = FogAlpha(kK, 1, 1, 20, 1, 16), a24 = FogAlpha(kK, 1, 1, 20, 1, 24);
    // The four differ, so a wrong place shows.
    ASSERT_EQ(a0, 128);
    ASSERT_NE(a8, a16);
    ASSERT_NE(a16, a24);
    EXPECT_EQ(gFog.clut[16].a, a8);
    EXPECT_EQ(gFog.clut[8].a, a16);
    EXPECT_EQ(gFog.clut[24].a, a24);
    EXPECT_EQ(gFog.clut[0].a, a0);
}

TEST(FogPalette, InstallsVertexFogWithTheNearestEntrysAlpha)
{
    RenderContext rc = FogContext(kK, 100.0f);   // d(255) = 39: inside the ramp
    gFog.SetUp(Colour(1, 2, 3, 4), 10.0f, 50.0f, 0.5f);
    gFog.MakePalette(rc);
    EXPECT_EQ(rc.fog_mode, 0);
    EXPECT_EQ(rc.fog_colour, Colour(1, 2, 3, u8(FogAlpha(kK, 100, 10, 50, 0.5f, 255))));
    EXPECT_GT(rc.fog_colour.a, 0);
    const float s = 0.5f / 40.0f;
    for (const Vector* v : {&rc.fog_num, &rc.fog_den}) {
        EXPECT_FLOAT_EQ((*v)[0], 0.0f);
        EXPECT_FLOAT_EQ((*v)[1], 0.0f);
        EXPECT_FLOAT_EQ((*v)[2], -s);
        EXPECT_FLOAT_EQ((*v)[3], 1.0f + 10.0f * s);
    }
    // The context keeps 255/256 less the maximum and the minimum.
    EXPECT_FLOAT_EQ(rc.fog_max, 0.0f);
    EXPECT_FLOAT_EQ(rc.fog_min, 0.99609375f);
}

TEST(FogPalette, StartEqualToEndIsAStepAtTheStartWithoutDividingByZero)
{
    RenderContext rc = FogContext(kK, 1.0f);
    gFog.SetUp(Colour(9, 9, 9, 0), 10.0f, 10.0f, 0.5f);
    gFog.MakePalette(rc);
    for (int i = 0; i < 256; i++) {
        const float d = kK / float(256 * i + 128);
        EXPECT_EQ(gFog.clut[Stored(i)].a, d > 10.0f ? 64 : 0) << "index " << i;
    }
    for (int j = 0; j < 4; j++) {
        EXPECT_TRUE(std::isfinite(rc.fog_num[j]));
        EXPECT_TRUE(std::isfinite(rc.fog_den[j]));
    }
}

TEST(FogLimits, LimitsAreTheDistancesOfTheNearestAndFarthestIndex)
{
    RenderContext rc = FogContext(kK, 2.0f);
    EXPECT_FLOAT_EQ(gFog.NearLimit(&rc), 2.0f * kK / 65408.0f);
    EXPECT_FLOAT_EQ(gFog.FarLimit(&rc), 2.0f * kK / 128.0f);
    // The optimal near plane puts the nearest index at the given distance.
    const float nz = OptimalNearZForFog(&rc, 5.0f);
    EXPECT_FLOAT_EQ(nz, 5.0f * 65408.0f / kK);
    rc.SetZRange(nz, 1000.0f);
    EXPECT_FLOAT_EQ(gFog.NearLimit(&rc), 5.0f);
}

// -------------------------------------------------------------- packets

namespace {

class EffectPackets : public render_test::FrameTest
{
protected:
    Surface draw;

    void SetUp() override
    {
        FrameTest::SetUp();
        draw.Set(PSMCT32, 640, 512);
        draw.SetVRAM(2560);
        gMotionBlur = MotionBlur();
    }

    std::vector<chain::GifItem> Items()
    {
        chain::Walk w = Finish();
        EXPECT_TRUE(w.ended) << w.error;
        return chain::DecodeGif(chain::DirectData(w));
    }
};

}  // namespace

TEST_F(EffectPackets, MotionBlurBelowFourOf128DrawsNothing)
{
    gMotionBlur.level = 0.03f;   // 3.84 / 128
    gMotionBlur.Draw(draw);
    EXPECT_TRUE(Items().empty());
}

TEST_F(EffectPackets, MotionBlurAtFiveOf128BlendsWithFixedAlpha)
{
    gMotionBlur.level = 0.04f;   // 5.12 / 128
    gMotionBlur.Draw(draw);
    const auto items = Items();
    const auto alpha = chain::Regs(items, GS_ALPHA_1);
    ASSERT_EQ(alpha.size(), 1u);
    // (Cs - Cd) x FIX / 128 + Cd with FIX 5.
    EXPECT_EQ(alpha[0].value, 100u | 5ull << 32);
    // No depth is written: the alpha test never passes and fails to the frame.
    EXPECT_EQ(chain::Regs(items, GS_TEST_1).at(0).value, 0x31001u);
    EXPECT_EQ(draw.refcount, 1);   // the texture reference was given back
}

TEST_F(EffectPackets, MotionBlurSkipsAsManyFramesAsTheResetCount)
{
    gMotionBlur.level = 0.5f;
    gMotionBlur.reset_count = 2;
    gMotionBlur.Draw(draw);
    EXPECT_EQ(gMotionBlur.reset_count, 1);
    gMotionBlur.Draw(draw);
    EXPECT_EQ(gMotionBlur.reset_count, 0);
    EXPECT_TRUE(Items().empty());
    therenderer.BeginScene(dmabuff[1], gifbuff[1], false);
    gMotionBlur.Draw(draw);
    EXPECT_EQ(gMotionBlur.reset_count, 0);
    EXPECT_EQ(chain::Regs(Items(), GS_ALPHA_1).size(), 1u);
}

TEST_F(EffectPackets, MotionBlurScaleShrinksTheSourceRectangleAboutTheCentre)
{
    gMotionBlur.level = 0.5f;
    gMotionBlur.scale = 0.25f;   // 160 and 128 texels in from each side
    gMotionBlur.Draw(draw);
    const auto uv = chain::Regs(Items(), GS_UV);
    ASSERT_GE(uv.size(), 2u);
    EXPECT_EQ(uv.front().value, u64(160 * 16 + 8) | u64(128 * 16 + 8) << 16);
    EXPECT_EQ(uv.back().value, u64(480 * 16 + 8) | u64(384 * 16 + 8) << 16);
}

namespace {

class LensFlarePackets : public EffectPackets
{
protected:
    RenderContext rc;
    render_test::Pixels texels{256 * 4 + 64 * 64};
    Surface flare;
    static constexpr LensFlarePart kPart = {0, 0, 64, 64, 10.0f, 10.0f, 1.0f, 1.0f, 0};

    void SetUp() override
    {
        EffectPackets::SetUp();
        // Screen position = world position + (2048, 2048), depth = z, w = 1.
        rc.world_screen = Matrix(true);
        rc.world_screen.w = Vector(2048.0f, 2048.0f, 0.0f, 1.0f);
        flare.Texture::Set(PSMT8, 64, 64, 256, texels.data());
    }

    // The packets of one flare at (x, y, z) through an open drawer.
    std::vector<chain::GifItem> FlareAt(float x, float y, float z, int* written = nullptr)
    {
        Render2D r;
        r.Open(therenderer);
        const u64* before = r.p;
        DoLensFlare(r, rc, draw, VectorPos(x, y, z), Colour(0x80, 0x80, 0x80, 0x80), 16, flare, &kPart, 1);
        if (written)
            *written = int(r.p - before);
        r.Close(therenderer);
        return Items();
    }
};

}  // namespace

TEST_F(LensFlarePackets, LightNinePixelsLeftOfTheScreenDrawsNothing)
{
    int written = -1;
    EXPECT_TRUE(FlareAt(-8.5f, 100.5f, 1000.0f, &written).empty());
    EXPECT_EQ(written, 0);
    EXPECT_EQ(flare.refcount, 0);   // not even taken
}

TEST_F(LensFlarePackets, LightEightPixelsLeftStillRunsTheTest)
{
    const auto items = FlareAt(-7.5f, 100.5f, 1000.0f);
    // The two marks over the box (-16, 92)-(0, 108): alpha 0, then 0x80 at the
    // light's depth plus the fudge.  The light's screen depth 1000 lies in
    // the viewport's depth range 1 .. 16,000,000, which the GS holds the other
    // way round (nearer is larger): 16,000,001 - 1000, and 16 nearer.
    const auto rgba = chain::Regs(items, GS_RGBAQ);
    ASSERT_GE(rgba.size(), 2u);
    EXPECT_EQ(rgba[0].value, 0u);
    EXPECT_EQ(rgba[1].value, 0x80000080u);
    const auto xyz = chain::Regs(items, GS_XYZ2);
    ASSERT_GE(xyz.size(), 4u);
    EXPECT_EQ(xyz[0].value, u64((2048 - 16) * 16) | u64((2048 + 92) * 16) << 16 | 0xFFFFFFull << 32);
    EXPECT_EQ(xyz[3].value, u64((2048 + 0) * 16) | u64((2048 + 108) * 16) << 16 | 15999017ull << 32);
    // The last reduction targets the palette as a 16 x 16 32-bit frame.
    const auto frame2 = chain::Regs(items, GS_FRAME_2);
    ASSERT_FALSE(frame2.empty());
    EXPECT_EQ(frame2.back().value & 0x1FF, u64(flare.GetCBP() / 32));
    EXPECT_EQ(flare.GetCBP() % 32, 0);   // page-aligned
    EXPECT_TRUE(flare.format & TEXF_CLUTPAGE);
    EXPECT_EQ(flare.refcount, 0);   // the drawer's reference went at Close
}

TEST_F(LensFlarePackets, LightsBehindTheEyeOrBelowDepthZeroDrawNothing)
{
    int written = -1;
    rc.world_screen.w = Vector(2048.0f, 2048.0f, 0.0f, -1.0f);   // w < 0: behind
    EXPECT_TRUE(FlareAt(-100.0f, -100.0f, -10.0f, &written).empty());
    EXPECT_EQ(written, 0);
    rc.world_screen.w = Vector(2048.0f, 2048.0f, 0.0f, 1.0f);
    EXPECT_TRUE(FlareAt(100.0f, 100.0f, -1.0f, &written).empty());
    EXPECT_EQ(written, 0);
}

TEST_F(LensFlarePackets, TurnedPartAtTheExactCentreIsDrawnUnturned)
{
    static const LensFlarePart turned = {0, 0, 64, 64, 10.0f, 5.0f, 1.0f, 1.0f, 1};
    Render2D r;
    r.Open(therenderer);
    DoLensFlare(r, rc, draw, VectorPos(320.0f, 256.0f, 1000.0f), Colour(0x80, 0x80, 0x80, 0x80), 16, flare, &turned,
                1);
    r.Close(therenderer);
    const auto items = Items();
    const auto xyz = chain::Regs(items, GS_XYZ2);
    ASSERT_GE(xyz.size(), 4u);
    const int want[4][2] = {{310, 251}, {330, 251}, {310, 261}, {330, 261}};
    for (int i = 0; i < 4; i++) {
        const u64 v = xyz[xyz.size() - 4 + size_t(i)].value;
        EXPECT_EQ(v & 0xFFFF, u64((want[i][0] + 2048) * 16)) << i;
        EXPECT_EQ(v >> 16 & 0xFFFF, u64((want[i][1] + 2048) * 16)) << i;
    }
    EXPECT_EQ(chain::Regs(items, 0).back().value & 7, u64(PRIM_TRISTRIP));
}

// ------------------------------------------------------------- on the GS

namespace {

struct Rgba
{
    int r, g, b, a;
};
Rgba Unpack(u32 w)
{
    return Rgba{int(w & 0xFF), int(w >> 8 & 0xFF), int(w >> 16 & 0xFF), int(w >> 24)};
}
int Clamp255(int v)
{
    return v < 0 ? 0 : v > 255 ? 255 : v;
}
// The GS blend of one channel: ((A - B) x C >> 7) + D, clamped.
int Blend(int a, int b, int c, int d)
{
    return Clamp255(((a - b) * c >> 7) + d);
}

class EffectsOnGs : public gsframe::GsFrameTest
{
protected:
    static constexpr int kW = 128, kH = 64;
    static constexpr u32 kDrawBp = 0, kZBp = 128, kBw = 2;
    Surface draw, zbuf;
    std::mt19937 rng{4242};

    void SetUp() override
    {
        GsFrameTest::SetUp();
        draw.Set(PSMCT32, kW, kH);
        draw.SetVRAM(int(kDrawBp));
        zbuf.Set(PSMZ24 | TEXF_POINT, kW, kH);
        zbuf.SetVRAM(int(kZBp));
    }

    // One frame: both drawing contexts aimed at draw and zbuf, as the
    // platform leaves them, then `body`.
    void Scene(const std::function<void()>& body)
    {
        therenderer.BeginScene(dmabuff[frame & 1], gifbuff[frame & 1], frame == 0);
        Render2D env;
        env.Open(therenderer);
        env.SetDrawEnvironment(draw, zbuf, true);
        env.SetDrawEnvironment(draw, zbuf, false);
        env.Close(therenderer);
        body();
        therenderer.EndScene();
        therenderer.DrawScene();
        ASSERT_EQ(sceDmaSync(sceDmaGetChan(SCE_DMA_VIF1), 0, 0), 0);
        ASSERT_EQ(sceGsSyncPath(0, 0), 0);
        ++frame;
    }

    std::vector<u32> FillFrame()
    {
        std::vector<u32> v(kW * kH);
        for (u32 y = 0; y < kH; y++)
            for (u32 x = 0; x < kW; x++) {
                v[y * kW + x] = u32(rng());
                Vram().WritePixel(Psm::kCT32, kDrawBp, kBw, x, y, v[y * kW + x]);
            }
        return v;
    }

    // Depths from depth(x, y) with a random top byte above them (depth tests
    // ignore it).  Returns the 24-bit depths.
    std::vector<u32> FillDepth(const std::function<u32(u32, u32)>& depth)
    {
        std::vector<u32> z(kW * kH);
        for (u32 y = 0; y < kH; y++)
            for (u32 x = 0; x < kW; x++) {
                z[y * kW + x] = depth(x, y) & 0xFFFFFF;
                Vram().WritePixel(Psm::kZ32, kZBp, kBw, x, y, z[y * kW + x] | u32(rng()) << 24);
            }
        return z;
    }

    u32 Pixel(u32 x, u32 y) const { return Vram().ReadPixel(Psm::kCT32, kDrawBp, kBw, x, y); }
    u32 Depth(u32 x, u32 y) const { return Vram().ReadPixel(Psm::kZ24, kZBp, kBw, x, y); }

    // Counts pixels that differ from want(x, y), reporting the first few.
    int Mismatches(const std::function<u32(u32, u32)>& want, const char* what)
    {
        int bad = 0;
        for (u32 y = 0; y < kH; y++)
            for (u32 x = 0; x < kW; x++) {
                const u32 got = Pixel(x, y), exp = want(x, y);
                if (got != exp && bad++ < 5)
                    ADD_FAILURE() << what << " (" << x << ", " << y << "): " << std::hex << got << " for " << exp;
            }
        return bad;
    }

    void ExpectDepthsKept(const std::vector<u32>& z)
    {
        int bad = 0;
        for (u32 y = 0; y < kH; y++)
            for (u32 x = 0; x < kW; x++)
                bad += Depth(x, y) != z[y * kW + x];
        EXPECT_EQ(bad, 0);
    }
};

}  // namespace

TEST_F(EffectsOnGs, FogBlendsTheDepthsPaletteAlphaOverFarPixelsOnly)
{
    RenderContext rc = FogContext(kK, 1.0f);
    // Two frames with different fog: the second must use its own palette.
    const struct
    {
        Colour colour;
        float start, end, max;
    } fogs[2] = {{Colour(0x40, 0x90, 0xE0, 0), 1.0f, 40.0f, 1.0f}, {Colour(0xF0, 0x10, 0x80, 0), 0.5f, 8.0f, 0.6f}};
    for (const auto& fog : fogs) {
        const std::vector<u32> frame0 = FillFrame();
        // Mostly far depths (below 0x10000, where the fog applies), some
        // nearer, and the boundary values themselves.
        const std::vector<u32> z = FillDepth([&](u32 x, u32 y) -> u32 {
            if (x == 5)
                return 0x10000 - (y & 1);
            if (x == 6)
                return 0x10001;
            return u32(rng()) % 0x12000;
        });
        gFog.SetUp(fog.colour, fog.start, fog.end, fog.max);
        gFog.MakePalette(rc);
        Scene([&] { gFog.Draw(draw, zbuf); });

        const int bad = Mismatches(
            [&](u32 x, u32 y) {
                const u32 d = z[y * kW + x];
                const u32 old = frame0[y * kW + x];
                if (d > 0x10000)
                    return old;   // nearer than the palette reaches
                const int a = FogAlpha(kK, 1.0f, fog.start, fog.end, fog.max, int(d >> 8 & 0xFF));
                const Rgba c = Unpack(old);
                // Colour only: the frame's alpha stays.
                return u32(Blend(fog.colour.r, c.r, a, c.r)) | u32(Blend(fog.colour.g, c.g, a, c.g)) << 8 |
                       u32(Blend(fog.colour.b, c.b, a, c.b)) << 16 | (old & 0xFF000000u);
            },
            "fogged");
        EXPECT_EQ(bad, 0);
        ExpectDepthsKept(z);
    }
    EXPECT_EQ(gFog.texClut.refcount, 0);
}

TEST_F(EffectsOnGs, BlurBlendsAHalfSizeBoxFilteredCopyOverTheFarScene)
{
    const std::vector<u32> frame0 = FillFrame();
    const std::vector<u32> z = FillDepth([&](u32 x, u32) -> u32 { return x % 3 == 0 ? 0x18001 : u32(rng()) % 0x18001; });
    gBlur = Blur();
    RenderContext rc;
    Scene([&] { gBlur.Draw(rc, draw); });

    // The half-size copy: the mean of each 2 x 2 block (bilinear weights of
    // 64 / 256 each), alpha included.
    constexpr int hw = kW / 2, hh = kH / 2;
    std::vector<Rgba> half(hw * hh);
    for (int j = 0; j < hh; j++)
        for (int i = 0; i < hw; i++) {
            const Rgba t[4] = {Unpack(frame0[size_t(2 * j * kW + 2 * i)]), Unpack(frame0[size_t(2 * j * kW + 2 * i + 1)]),
                               Unpack(frame0[size_t((2 * j + 1) * kW + 2 * i)]),
                               Unpack(frame0[size_t((2 * j + 1) * kW + 2 * i + 1)])};
            half[size_t(j * hw + i)] = Rgba{(t[0].r + t[1].r + t[2].r + t[3].r) * 64 >> 8,
                                            (t[0].g + t[1].g + t[2].g + t[3].g) * 64 >> 8,
                                            (t[0].b + t[1].b + t[2].b + t[3].b) * 64 >> 8,
                                            (t[0].a + t[1].a + t[2].a + t[3].a) * 64 >> 8};
        }
    // Sampled back at full size: even pixels on a texel, odd ones halfway to
    // the next (the last clamped to the edge); blended at 96 / 128.
    auto sample = [&](int x, int y) {
        const int i0 = x / 2, j0 = y / 2, fu = (x & 1) * 8, fv = (y & 1) * 8;
        const int i1 = std::min(i0 + 1, hw - 1), j1 = std::min(j0 + 1, hh - 1);
        const Rgba& a = half[size_t(j0 * hw + i0)];
        const Rgba& b = half[size_t(j0 * hw + i1)];
        const Rgba& c = half[size_t(j1 * hw + i0)];
        const Rgba& d = half[size_t(j1 * hw + i1)];
        auto mix = [&](int Rgba::*ch) {
            return (a.*ch * (16 - fu) * (16 - fv) + b.*ch * fu * (16 - fv) + c.*ch * (16 - fu) * fv +
                    d.*ch * fu * fv) >> 8;
        };
        return Rgba{mix(&Rgba::r), mix(&Rgba::g), mix(&Rgba::b), mix(&Rgba::a)};
    };
    const int bad = Mismatches(
        [&](u32 x, u32 y) {
            const u32 old = frame0[y * kW + x];
            if (z[y * kW + x] > 0x18000)
                return old;   // near pixels stay sharp
            const Rgba s = sample(int(x), int(y)), c = Unpack(old);
            return u32(Blend(s.r, c.r, 96, c.r)) | u32(Blend(s.g, c.g, 96, c.g)) << 8 |
                   u32(Blend(s.b, c.b, 96, c.b)) << 16 | u32(s.a) << 24;
        },
        "blurred");
    EXPECT_EQ(bad, 0);
    ExpectDepthsKept(z);
    EXPECT_EQ(texman.NumLocked(), 0);   // the half-size target was given back
}

TEST_F(EffectsOnGs, MotionBlurWithoutScaleLeavesFrameAndDepthsAsTheyWere)
{
    const std::vector<u32> frame0 = FillFrame();
    const std::vector<u32> z = FillDepth([&](u32, u32) -> u32 { return u32(rng()); });
    gMotionBlur = MotionBlur();
    gMotionBlur.level = 0.5f;
    Scene([&] { gMotionBlur.Draw(draw); });
    EXPECT_EQ(Mismatches([&](u32 x, u32 y) { return frame0[y * kW + x]; }, "copied"), 0);
    ExpectDepthsKept(z);
}

namespace {

class LensFlareOnGs : public EffectsOnGs
{
protected:
    RenderContext rc;
    render_test::Pixels texels{256 * 4 + 64 * 64};
    Surface flare;
    std::vector<u32> palette = std::vector<u32>(256);
    static constexpr u8 kIndex = 7;

    void SetUp() override
    {
        EffectsOnGs::SetUp();
        rc.world_screen = Matrix(true);
        rc.world_screen.w = Vector(2048.0f, 2048.0f, 0.0f, 1.0f);
        u32* pal = static_cast<u32*>(texels.data());
        for (int i = 0; i < 256; i++) {
            palette[size_t(i)] = Colour(u8(3 * i), u8(0x40 + i / 2), u8(255 - i), u8(i)).Word();
            pal[i] = palette[size_t(i)];
        }
        std::memset(pal + 256, kIndex, 64 * 64);
        flare.Texture::Set(PSMT8, 64, 64, 256, texels.data());
    }

    u32 PaletteWord(int i) const
    {
        return Vram().ReadPixel(Psm::kCT32, u32(flare.GetCBP()), 1, u32(i % 16), u32(i / 16));
    }

    // A flare whose light has GS depth lightz: the viewport's depth range
    // 1 .. 16,000,000 is held the other way round in the GS (nearer is
    // larger), so its screen depth is 16,000,001 - lightz.
    void Flare(float x, float y, u32 lightz, const LensFlarePart* parts, int n, Colour col)
    {
        Scene([&] {
            Render2D r;
            r.Open(therenderer);
            DoLensFlare(r, rc, draw, VectorPos(x, y, float(16000001u - lightz)), col, 16, flare, parts, n);
            r.Close(therenderer);
        });
    }

    // The flare's colour added over a frame pixel: texel colour modulated by
    // the part's colour, alpha = part alpha x visibility / 128, added.
    u32 Lit(u32 old, Colour col, int visibility) const
    {
        const Rgba t = Unpack(palette[kIndex]), c = Unpack(old);
        const int as = std::min(255, (col.a * visibility) >> 7);
        const int r = std::min(255, (col.r * t.r) >> 7), g = std::min(255, (col.g * t.g) >> 7),
                  b = std::min(255, (col.b * t.b) >> 7);
        return u32(Blend(r, 0, as, c.r)) | u32(Blend(g, 0, as, c.g)) << 8 | u32(Blend(b, 0, as, c.b)) << 16 |
               u32(as) << 24;
    }
};

}  // namespace

TEST_F(LensFlareOnGs, EveryPaletteAlphaIsTheVisibleFractionOfTheBox)
{
    const u32 lightz = 1000;   // tested at 1016 with the fudge
    const std::vector<u32> frame0 = FillFrame();
    // In the box (72..87, 32..47) around the light at (80.5, 40.5), depths
    // just in front of and just behind the light, at random; elsewhere random.
    int visible = 0;
    const std::vector<u32> z = FillDepth([&](u32 x, u32 y) -> u32 {
        const bool in_box = x >= 72 && x < 88 && y >= 32 && y < 48;
        const u32 d = rng() % 3 == 0 ? 1017 : (rng() % 2 ? 1016 : 200);
        visible += in_box && d <= 1016;
        return in_box ? d : u32(rng());
    });
    ASSERT_GT(visible, 0);
    ASSERT_LT(visible, 256);
    const LensFlarePart part = {0, 0, 64, 64, 3.0f, 3.0f, 1.0f, 1.0f, 0};
    const Colour col(0x80, 0x60, 0x40, 0x80);
    Flare(80.5f, 40.5f, lightz, &part, 1, col);

    // 0x80 x visible / 256, the four halvings rounding down only at the end.
    const int want = visible / 2;
    for (int i = 0; i < 256; i++) {
        const u32 w = PaletteWord(i);
        ASSERT_EQ(w >> 24, u32(want)) << "entry " << i;
        ASSERT_EQ(w & 0xFFFFFF, palette[size_t(i)] & 0xFFFFFF) << "entry " << i;
    }
    // The scratch corner and the box keep their colours (only alpha was used).
    for (u32 y = 0; y < 8; y++)
        for (u32 x = 0; x < 14; x++)
            ASSERT_EQ(Pixel(x, y) & 0xFFFFFF, frame0[y * kW + x] & 0xFFFFFF) << x << ", " << y;
    EXPECT_EQ(Pixel(73, 46) & 0xFFFFFF, frame0[46 * kW + 73] & 0xFFFFFF);
    // The flare at the light, added with the measured visibility.
    for (u32 y = 39; y <= 41; y++)
        for (u32 x = 79; x <= 81; x++)
            EXPECT_EQ(Pixel(x, y), Lit(frame0[y * kW + x], col, want)) << x << ", " << y;
    ExpectDepthsKept(z);
    EXPECT_EQ(flare.refcount, 0);
}

TEST_F(LensFlareOnGs, HiddenLightAddsNothing)
{
    const std::vector<u32> frame0 = FillFrame();
    FillDepth([&](u32, u32) -> u32 { return 5000; });   // everything in front of it
    const LensFlarePart part = {0, 0, 64, 64, 4.0f, 4.0f, 1.0f, 1.0f, 0};
    Flare(80.5f, 40.5f, 1000, &part, 1, Colour(0x80, 0x80, 0x80, 0x80));
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(PaletteWord(i) >> 24, 0u) << "entry " << i;
    for (u32 y = 37; y < 44; y++)
        for (u32 x = 77; x < 84; x++)
            EXPECT_EQ(Pixel(x, y) & 0xFFFFFF, frame0[y * kW + x] & 0xFFFFFF) << x << ", " << y;
}

TEST_F(LensFlareOnGs, PartsSitAlongTheCentreToLightLineAndRotateOntoIt)
{
    const std::vector<u32> frame0 = FillFrame();
    FillDepth([&](u32, u32) -> u32 { return 0; });   // nothing hides the light
    // The light 20.5 pixels right of and below the centre (64, 32): the line
    // runs at 45 degrees.  A thin bar at the centre turned onto the line, one
    // unturned halfway, and one at the light with half the opacity.
    const LensFlarePart parts[3] = {{0, 0, 64, 64, 12.0f, 1.0f, 0.0f, 1.0f, 1},
                                    {0, 0, 64, 64, 2.0f, 2.0f, 0.5f, 1.0f, 0},
                                    {0, 0, 64, 64, 2.0f, 2.0f, 1.0f, 0.5f, 0}};
    const Colour col(0x80, 0x80, 0x80, 0x80);
    Flare(84.5f, 52.5f, 100, parts, 3, col);
    const int vis = 0x80;   // all 256 box pixels visible
    ASSERT_EQ(PaletteWord(0) >> 24, u32(vis));
    auto old = [&](u32 x, u32 y) { return frame0[y * kW + x]; };
    // The turned bar covers the diagonal through the centre, not the row.
    for (u32 k : {2u, 5u, 7u}) {
        EXPECT_EQ(Pixel(64 + k, 32 + k), Lit(old(64 + k, 32 + k), col, vis)) << k;
        EXPECT_EQ(Pixel(64 - k, 32 - k), Lit(old(64 - k, 32 - k), col, vis)) << k;
        EXPECT_EQ(Pixel(64 + k, 32 - k), old(64 + k, 32 - k)) << k;
    }
    EXPECT_EQ(Pixel(73, 32), old(73, 32));
    // Halfway: (74.25, 42.25).
    EXPECT_EQ(Pixel(74, 42), Lit(old(74, 42), col, vis));
    // At the light with alpha 0x40.
    EXPECT_EQ(Pixel(84, 52), Lit(old(84, 52), Colour(0x80, 0x80, 0x80, 0x40), vis));
}
