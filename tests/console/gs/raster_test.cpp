// Sprite set-up and rasterization: coverage, scissor, XYOFFSET, contexts,
// and the exact texel stepping the 2-D drawers and post effects rely on.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "console/gs/gs_draw_support.h"
#include "gs/gs.h"

using namespace gstest;
using console::gs::Psm;
using console::gs::ResetGs;
using console::gs::Vram;

namespace {

constexpr u32 kCT32 = 0x00;
constexpr u32 kFbw = 4;
constexpr u32 kTexBlock = 0x1000;

u32 Pack(u32 r, u32 g, u32 b, u32 a)
{
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16) | ((a & 0xFF) << 24);
}

u32 Pixel(u32 x, u32 y, u32 fbp = 0)
{
    return Vram().ReadPixel(Psm::kCT32, fbp * 32, kFbw, x, y);
}

void Start()
{
    ResetGs(true);
    SetUpContext(0, 0, kFbw, kCT32);
}

// Pixels of row `y` in [0, 32) that are not 0, as a bit mask.
u32 RowCoverage(u32 y)
{
    u32 mask = 0;
    for (u32 x = 0; x < 32; ++x)
        if (Pixel(x, y) != 0)
            mask |= 1u << x;
    return mask;
}

void Sprite16(u32 x0, u32 y0, u32 x1, u32 y1, u64 rgbaq)
{
    Write(GsReg::PRIM, Prim({}));
    Write(GsReg::RGBAQ, rgbaq);
    Write(GsReg::XYZ2, Xyz(x0, y0, 0));
    Write(GsReg::XYZ2, Xyz(x1, y1, 0));
}

// A `w` x `h` CT32 texture of random texels at kTexBlock, TBW `tbw`.
std::vector<u32> RandomTexture(u32 w, u32 h, u32 tbw, u32 seed)
{
    std::mt19937 rng(seed);
    std::vector<u32> texels(w * h);
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x) {
            texels[y * w + x] = rng();
            Vram().WritePixel(Psm::kCT32, kTexBlock, tbw, x, y, texels[y * w + x]);
        }
    return texels;
}

void SelectTexture(u32 tbw, u32 tw, u32 th, bool bilinear)
{
    Tex0Bits tex;
    tex.tbp = kTexBlock;
    tex.tbw = tbw;
    tex.psm = kCT32;
    tex.tw = tw;
    tex.th = th;
    tex.tfx = 1;  // decal
    tex.tcc = true;
    Write(GsReg::TEX0_1, Tex0(tex));
    Write(GsReg::TEX1_1, Tex1(bilinear, bilinear ? 1 : 0));
    Write(GsReg::CLAMP_1, Clamp(1, 1));
}

// A textured UV sprite: pixels (x0, y0)-(x1, y1), texels (u0, v0)-(u1, v1),
// all in 1/16 units.
void UvSprite(u32 x0, u32 y0, u32 x1, u32 y1, u32 u0, u32 v0, u32 u1, u32 v1)
{
    PrimBits p;
    p.tme = true;
    Write(GsReg::PRIM, Prim(p));
    Write(GsReg::RGBAQ, Rgbaq(0x80, 0x80, 0x80, 0x80));
    Write(GsReg::UV, Uv(u0, v0));
    Write(GsReg::XYZ2, Xyz(x0, y0, 0));
    Write(GsReg::UV, Uv(u1, v1));
    Write(GsReg::XYZ2, Xyz(x1, y1, 0));
}

u32 Channel(u32 v, int i)
{
    return (v >> (8 * i)) & 0xFF;
}

}  // namespace

TEST(GsSprite, CoversPixelsWhoseSamplePointLiesInside)
{
    Start();
    // X from 2.5 to 5.5: sample points 48, 64 and 80 (1/16) lie in [40, 88).
    Sprite16(40, 0, 88, 16, Rgbaq(1, 1, 1, 1));
    EXPECT_EQ(RowCoverage(0), 0b111000u);
    // Whole-pixel edges: the right edge is exclusive.
    Sprite16(16 * 8, 16 * 2, 16 * 10, 16 * 3, Rgbaq(1, 1, 1, 1));
    EXPECT_EQ(RowCoverage(2), 0b1100000000u);
    EXPECT_EQ(RowCoverage(3), 0u);
    // A sprite narrower than a pixel that contains no sample point draws nothing.
    Sprite16(16 * 20 + 1, 16 * 4, 16 * 20 + 15, 16 * 5, Rgbaq(1, 1, 1, 1));
    EXPECT_EQ(RowCoverage(4), 0u);
}

TEST(GsSprite, VertexOrderDoesNotMatter)
{
    Start();
    Sprite16(16 * 6, 16 * 3, 16 * 2, 16 * 1, Rgbaq(7, 7, 7, 7));
    EXPECT_EQ(RowCoverage(0), 0u);
    EXPECT_EQ(RowCoverage(1), 0b111100u);
    EXPECT_EQ(RowCoverage(2), 0b111100u);
    EXPECT_EQ(RowCoverage(3), 0u);
}

TEST(GsSprite, ColourComesFromTheSecondVertexWhateverTheShading)
{
    for (bool iip : {false, true}) {
        Start();
        PrimBits p;
        p.iip = iip;
        Write(GsReg::PRIM, Prim(p));
        Write(GsReg::RGBAQ, Rgbaq(10, 20, 30, 40));
        Write(GsReg::XYZ2, Xyz(0, 0, 0));
        Write(GsReg::RGBAQ, Rgbaq(50, 60, 70, 80));
        Write(GsReg::XYZ2, Xyz(16 * 4, 16 * 4, 0));
        for (u32 x = 0; x < 4; ++x)
            EXPECT_EQ(Pixel(x, 2), Pack(50, 60, 70, 80)) << "IIP " << iip;
    }
}

TEST(GsSprite, ScissorIsInclusiveInWholePixels)
{
    Start();
    Write(GsReg::SCISSOR_1, Scissor(3, 5, 1, 2));
    Sprite16(0, 0, 16 * 32, 16 * 8, Rgbaq(1, 1, 1, 1));
    EXPECT_EQ(RowCoverage(0), 0u);
    EXPECT_EQ(RowCoverage(1), 0b111000u);
    EXPECT_EQ(RowCoverage(2), 0b111000u);
    EXPECT_EQ(RowCoverage(3), 0u);
}

TEST(GsSprite, XyoffsetMovesPrimitiveCoordinatesToTheWindow)
{
    Start();
    // The 2-D drawers put the window's top-left at (2048, 2048).
    Write(GsReg::XYOFFSET_1, Xyoffset(2048 * 16, 2048 * 16));
    Sprite16((2048 + 4) * 16, (2048 + 1) * 16, (2048 + 6) * 16, (2048 + 2) * 16, Rgbaq(1, 1, 1, 1));
    EXPECT_EQ(RowCoverage(0), 0u);
    EXPECT_EQ(RowCoverage(1), 0b110000u);
    // Coordinates left of the offset are outside the window, clipped by the
    // scissor rather than wrapped.
    Sprite16((2048 - 4) * 16, (2048 + 3) * 16, (2048 + 2) * 16, (2048 + 4) * 16, Rgbaq(1, 1, 1, 1));
    EXPECT_EQ(RowCoverage(3), 0b11u);
}

TEST(GsSprite, ContextBitSelectsTheSecondRegisterSet)
{
    ResetGs(true);
    SetUpContext(0, 0, kFbw, kCT32);
    SetUpContext(1, 8, kFbw, kCT32);  // context 2 draws at page 8
    PrimBits p;
    p.ctxt = 1;
    FlatSprite(0, 0, 2, 2, Rgbaq(9, 8, 7, 6), 0, p);
    EXPECT_EQ(Pixel(1, 1, 0), 0u);
    EXPECT_EQ(Pixel(1, 1, 8), Pack(9, 8, 7, 6));
}

TEST(GsSprite, PrmodecontZeroTakesAttributesFromPrmode)
{
    ResetGs(true);
    SetUpContext(0, 0, kFbw, kCT32);
    SetUpContext(1, 8, kFbw, kCT32);
    Write(GsReg::PRMODECONT, 0);
    PrimBits attrs;
    attrs.ctxt = 1;
    Write(GsReg::PRMODE, Prim(attrs) & ~u64{7});
    FlatSprite(0, 0, 2, 2, Rgbaq(1, 2, 3, 4));  // PRIM says context 1
    EXPECT_EQ(Pixel(1, 1, 0), 0u);
    EXPECT_EQ(Pixel(1, 1, 8), Pack(1, 2, 3, 4));
    Write(GsReg::PRMODECONT, 1);
    FlatSprite(0, 0, 2, 2, Rgbaq(5, 6, 7, 8));
    EXPECT_EQ(Pixel(1, 1, 0), Pack(5, 6, 7, 8));
}

TEST(GsSprite, OneToOneCopyWithTexelCentresIsExact)
{
    Start();
    const std::vector<u32> tex = RandomTexture(64, 64, 1, 3);
    for (bool bilinear : {false, true}) {
        SelectTexture(1, 6, 6, bilinear);
        UvSprite(0, 0, 64 * 16, 64 * 16, 8, 8, 64 * 16 + 8, 64 * 16 + 8);
        for (u32 y = 0; y < 64; ++y)
            for (u32 x = 0; x < 64; ++x)
                ASSERT_EQ(Pixel(x, y), tex[y * 64 + x]) << x << "," << y << (bilinear ? " bilinear" : " nearest");
    }
}

TEST(GsSprite, BilinearTwoToOneReductionAveragesTwoByTwoTexels)
{
    Start();
    const std::vector<u32> tex = RandomTexture(64, 64, 1, 4);
    SelectTexture(1, 6, 6, true);
    // The blur's reduction: texels 1.0 .. w + 1.0 onto w / 2 pixels.
    UvSprite(0, 0, 32 * 16, 32 * 16, 16, 16, 65 * 16, 65 * 16);
    for (u32 y = 0; y < 32; ++y)
        for (u32 x = 0; x < 32; ++x)
            for (int c = 0; c < 4; ++c) {
                const u32 sum = Channel(tex[(2 * y) * 64 + 2 * x], c) + Channel(tex[(2 * y) * 64 + 2 * x + 1], c) +
                                Channel(tex[(2 * y + 1) * 64 + 2 * x], c) +
                                Channel(tex[(2 * y + 1) * 64 + 2 * x + 1], c);
                ASSERT_EQ(Channel(Pixel(x, y), c), sum / 4) << x << "," << y << " channel " << c;
            }
}

TEST(GsSprite, SplittingIntoThirtyTwoPixelStripsChangesNoPixel)
{
    // Ratios whose strip edges fall on whole 1/16 texels: 2:1 and 3:2, both
    // filters.  The whole sprite is drawn at page 0, the strips at page 32.
    struct Ratio {
        u32 texels, pixels;
    };
    for (const Ratio r : {Ratio{256, 128}, Ratio{192, 128}})
        for (bool bilinear : {false, true}) {
            ResetGs(true);
            SetUpContext(0, 0, kFbw, kCT32);
            RandomTexture(256, 64, 4, 5);
            SelectTexture(4, 8, 6, bilinear);
            const u32 h = 32;
            UvSprite(0, 0, r.pixels * 16, h * 16, 16, 8, (r.texels + 1) * 16, 64 * 16 + 8);
            SetUpContext(0, 32, kFbw, kCT32);
            for (u32 x = 0; x < r.pixels; x += 32) {
                const u32 u0 = 16 + x * 16 * r.texels / r.pixels;
                const u32 u1 = 16 + (x + 32) * 16 * r.texels / r.pixels;
                UvSprite(x * 16, 0, (x + 32) * 16, h * 16, u0, 8, u1, 64 * 16 + 8);
            }
            for (u32 y = 0; y < h; ++y)
                for (u32 x = 0; x < r.pixels; ++x)
                    ASSERT_EQ(Pixel(x, y, 32), Pixel(x, y, 0))
                        << x << "," << y << " ratio " << r.texels << ":" << r.pixels << (bilinear ? " bilinear" : "");
        }
}

TEST(GsSprite, StqCoordinatesMatchTheEquivalentUv)
{
    Start();
    const std::vector<u32> tex = RandomTexture(64, 64, 1, 6);
    SelectTexture(1, 6, 6, false);
    PrimBits p;
    p.tme = true;
    p.fst = false;
    Write(GsReg::PRIM, Prim(p));
    // S/Q from 8.5 / 64 to 56.5 / 64 over 48 pixels with Q = 2: the centre of
    // texel px + 8 at pixel px; T/Q from 0 to 1 over 64 rows.
    Write(GsReg::ST, St(2 * 8.5f / 64, 0.0f));
    Write(GsReg::RGBAQ, Rgbaq(0x80, 0x80, 0x80, 0x80, 2.0f));
    Write(GsReg::XYZ2, Xyz(0, 0, 0));
    Write(GsReg::ST, St(2 * 56.5f / 64, 2.0f));
    Write(GsReg::XYZ2, Xyz(48 * 16, 64 * 16, 0));
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 48; ++x)
            ASSERT_EQ(Pixel(x, y), tex[y * 64 + x + 8]) << x << "," << y;
}

TEST(GsSprite, ModulateScalesByTheVertexColour)
{
    Start();
    const std::vector<u32> tex = RandomTexture(64, 64, 1, 8);
    Tex0Bits t;
    t.tbp = kTexBlock;
    t.tbw = 1;
    t.tw = t.th = 6;
    t.tfx = 0;  // modulate
    t.tcc = true;
    Write(GsReg::TEX0_1, Tex0(t));
    Write(GsReg::CLAMP_1, Clamp(1, 1));
    PrimBits p;
    p.tme = true;
    Write(GsReg::PRIM, Prim(p));
    const u32 f[4] = {0x40, 0x80, 0xFF, 0x20};
    Write(GsReg::RGBAQ, Rgbaq(f[0], f[1], f[2], f[3]));
    Write(GsReg::UV, Uv(8, 8));
    Write(GsReg::XYZ2, Xyz(0, 0, 0));
    Write(GsReg::UV, Uv(16 * 16 + 8, 16 * 16 + 8));
    Write(GsReg::XYZ2, Xyz(16 * 16, 16 * 16, 0));
    for (u32 y = 0; y < 16; ++y)
        for (u32 x = 0; x < 16; ++x)
            for (int c = 0; c < 4; ++c) {
                const u32 expected = std::min(255u, (f[c] * Channel(tex[y * 64 + x], c)) >> 7);
                ASSERT_EQ(Channel(Pixel(x, y), c), expected) << x << "," << y << " channel " << c;
            }
}

TEST(GsSprite, FogBlendsTowardsTheFogColourBySecondVertexF)
{
    Start();
    Write(GsReg::FOGCOL, 0x0000FF);  // red fog
    PrimBits p;
    p.fge = true;
    Write(GsReg::PRIM, Prim(p));
    Write(GsReg::RGBAQ, Rgbaq(0, 200, 100, 0x80));
    Write(GsReg::XYZF2, Xyzf(0, 0, 0, 0xFF));
    Write(GsReg::XYZF2, Xyzf(16 * 2, 16, 0, 0x40));
    const u32 fv = 0x40, fo = 255 - 0x40;
    EXPECT_EQ(Pixel(0, 0), Pack((fo * 255) >> 8, (fv * 200) >> 8, (fv * 100) >> 8, 0x80));
}
