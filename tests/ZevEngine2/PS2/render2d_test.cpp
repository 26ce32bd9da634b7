#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/render_support.h"

using namespace render_test;
using chain::GifItem;

namespace {

// A Render2D_raw writing into a plain buffer, with its output decoded.
struct RawDrawer
{
    std::vector<u128> buf = std::vector<u128>(1024);
    Render2D_raw r;
    RawDrawer() { r.InitState(&buf[0].lo); }
    std::vector<GifItem> Items() const
    {
        const size_t qwc = size_t(r.p - &buf[0].lo) / 2;
        return chain::DecodeGif(std::vector<u128>(buf.begin(), buf.begin() + qwc));
    }
};

struct XY
{
    int x, y;
};
XY Xy(u64 xyz2)
{
    return XY{int(xyz2 & 0xFFFF), int(xyz2 >> 16 & 0xFFFF)};
}
int U(u64 uv)
{
    return int(uv & 0x3FFF);
}
int V(u64 uv)
{
    return int(uv >> 16 & 0x3FFF);
}

// Pixel widths of the sprites of a rectangle drawn at x = 0.
std::vector<int> StripWidths(const std::vector<GifItem>& items)
{
    auto xyz = chain::Regs(items, GS_XYZ2);
    std::vector<int> w;
    for (size_t i = 0; i + 1 < xyz.size(); i += 2)
        w.push_back((Xy(xyz[i + 1].value).x - Xy(xyz[i].value).x) / 16);
    return w;
}

Texture MakeTexture(int format, int w, int h)
{
    Texture t;
    t.Set(format, w, h, 0, nullptr);
    return t;
}

}  // namespace

// ------------------------------------------------------------- descriptors

TEST(Texture, FourBitHundredByTwentyGetsItsRegisterFields)
{
    Texture t = MakeTexture(PSMT4, 100, 20);
    EXPECT_EQ(tex0::TBW(t.tex0), 2u);   // two 64-pixel units per 128-pixel page
    EXPECT_EQ(tex0::TW(t.tex0), 7u);    // 100 rounds up to 128
    EXPECT_EQ(tex0::TH(t.tex0), 5u);    // 20 rounds up to 32
    EXPECT_EQ(tex0::PSM(t.tex0), u32(PSMT4));
    EXPECT_EQ(t.nblocks, 32);           // one 128 x 128 page
    EXPECT_EQ(tex0::TBP0(t.tex0), 0u);
    EXPECT_TRUE(t.tex0 >> 34 & 1);      // texture alpha
    EXPECT_TRUE(t.tex0 >> 61 & 1);      // palette load
}

TEST(Texture, FrameBuffersAt640By512TakeTheirBlocks)
{
    // 256-byte blocks: 640 x 512 pixels at 2, 4 and 4 bytes each.
    EXPECT_EQ(MakeTexture(PSMCT16S, 640, 512).nblocks, 640 * 512 * 2 / 256);
    EXPECT_EQ(MakeTexture(PSMCT32, 640, 512).nblocks, 640 * 512 * 4 / 256);
    Texture z = MakeTexture(0x831, 640, 512);
    EXPECT_EQ(z.nblocks, 640 * 512 * 4 / 256);
    EXPECT_EQ(tex0::PSM(z.tex0), u32(PSMZ24));
    EXPECT_EQ(tex0::TBW(z.tex0), 10u);
    EXPECT_EQ(MakeTexture(PSMCT32, 65, 33).nblocks, 2 * 2 * 32);   // whole pages
}

TEST(Texture, MipBasesFollowEachLevelRelativeToTheFirst)
{
    Texture t = MakeTexture(PSMCT32 | 0x300, 64, 64);
    // Levels of 64, 32 and 16 pixels take 64, 16 and 4 blocks; the level
    // after 16 x 16 (8 x 8) is the last.
    auto entry = [](int tbp, int tbw) { return u64(tbp) | u64(tbw) << 14; };
    EXPECT_EQ(t.miptbp1, entry(64, 1) | entry(80, 1) << 20 | entry(84, 1) << 40);
    EXPECT_EQ(t.miptbp2, 0u);
    EXPECT_EQ(MakeTexture(PSMCT32 | 0x300, 8, 64).miptbp1, 0u);   // too narrow for mips
}

TEST(Texture, SetVRAMPlacesItAndClearsDirty)
{
    Texture t = MakeTexture(PSMT8, 128, 64);
    const u64 before = t.tex0;
    t.format |= TEXF_DIRTY;
    t.SetVRAM(0x1234, 0x2ABC);
    EXPECT_EQ(t.GetVRAM(), 0x1234);
    EXPECT_EQ(t.GetCBP(), 0x2ABC);
    EXPECT_FALSE(t.IsDirty());
    EXPECT_EQ(t.tex0 & ~(0x3FFFull | 0x3FFFull << 37), before);
}

TEST(Surface, FixedPlacementHoldsItself)
{
    Surface s;
    s.Set(PSMCT32, 640, 512);
    s.SetVRAM(2560);
    EXPECT_EQ(s.refcount, 1);
    EXPECT_EQ(s.GetVRAM(), 2560);
    s.SetVRAM(0);
    EXPECT_EQ(s.refcount, 1);
    EXPECT_FALSE(s.IsZ());
    Surface z;
    z.Set(0x831, 16, 16);
    EXPECT_TRUE(z.IsZ());
}

// ---------------------------------------------------- rectangles, sprites

TEST(Render2D, SixtyFivePixelSquareIsDrawnAsStripsOf32_32And1)
{
    RawDrawer d;
    d.r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(65).v, PixelY(65).v, Colour(1, 2, 3, 4), 7);
    auto items = d.Items();
    EXPECT_EQ(StripWidths(items), (std::vector<int>{32, 32, 1}));
    auto xyz = chain::Regs(items, GS_XYZ2);
    EXPECT_EQ(Xy(xyz[0].value).y, PixelY(0).v);
    EXPECT_EQ(Xy(xyz[1].value).y, PixelY(65).v);
    EXPECT_EQ(xyz[0].value >> 32, 7u);
    EXPECT_EQ(chain::Regs(items, GS_RGBAQ)[0].value, Colour(1, 2, 3, 4).Word());
    // A flat sprite: PRIM SPRITE with Gouraud, no texture.
    EXPECT_EQ(chain::Regs(items, 0)[0].value, u64(PRIM_SPRITE | PRIM_IIP));
}

TEST(Render2D, RectSixtyFourPixelsWideIsOneSprite)
{
    RawDrawer d;
    d.r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(64).v, PixelY(200).v, Colour(0, 0, 0, 0), 0);
    EXPECT_EQ(StripWidths(d.Items()), (std::vector<int>{64}));
    RawDrawer e;   // wide but only 64 high: not cut either
    e.r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(640).v, PixelY(64).v, Colour(0, 0, 0, 0), 0);
    EXPECT_EQ(StripWidths(e.Items()), (std::vector<int>{640}));
}

TEST(Render2D, SpriteWithNegativeUWrapsOnUOnly)
{
    RawDrawer d;
    Texture t = MakeTexture(PSMCT32, 256, 256);
    d.r.SetTexture(&t, TEXMODE_DECAL);
    d.r.DrawSprite(PixelX(0).v, PixelY(0).v, PixelX(16).v, PixelY(16).v, -16, 8, 256, 264, 0);
    auto items = d.Items();
    auto uv = chain::Regs(items, GS_UV);
    ASSERT_EQ(uv.size(), 2u);
    EXPECT_EQ(U(uv[0].value), 0x1FF8);
    EXPECT_EQ(U(uv[1].value), 0x2108);
    EXPECT_EQ(V(uv[0].value), 8);
    EXPECT_EQ(V(uv[1].value), 264);
    // The texture group's region clamp first, then repeat on u, clamp on v.
    auto clamp = chain::Regs(items, GS_CLAMP_1);
    ASSERT_EQ(clamp.size(), 2u);
    EXPECT_EQ(clamp[0].value & 0xF, 10u);
    EXPECT_EQ(clamp[1].value, 0u | 1u << 2);
    EXPECT_EQ(chain::Regs(items, 0)[0].value, u64(PRIM_IIP | PRIM_SPRITE | PRIM_TME | PRIM_FST));
}

TEST(Render2D, StripedSpriteStepsUAndEndsExactlyAtU1)
{
    RawDrawer d;
    Texture t = MakeTexture(PSMCT32, 64, 64);
    d.r.SetTexture(&t, TEXMODE_DECAL);
    d.r.DrawSprite(PixelX(0).v, PixelY(0).v, PixelX(100).v, PixelY(100).v, 0, 0, 1000, 1000, 0);
    auto items = d.Items();
    EXPECT_EQ(StripWidths(items), (std::vector<int>{32, 32, 32, 4}));
    auto uv = chain::Regs(items, GS_UV);
    ASSERT_EQ(uv.size(), 8u);
    // 1000 texel units over 1600 position units: 320 per 512-unit strip.
    const int expect[8] = {0, 320, 320, 640, 640, 960, 960, 1000};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(U(uv[i].value), expect[i]) << i;
    EXPECT_EQ(V(uv[7].value), 1000);   // v is not split
}

TEST(Render2D, RectLeavesTheTexturePendingForTheNextSprite)
{
    RawDrawer d;
    Texture t = MakeTexture(PSMCT32, 64, 64);
    d.r.SetTexture(&t, TEXMODE_MODULATE);
    d.r.SetColour(Colour(9, 9, 9, 9));
    d.r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(8).v, PixelY(8).v, Colour(1, 1, 1, 1), 0);
    auto first = d.Items();
    EXPECT_TRUE(chain::Regs(first, GS_TEX0_1).empty());
    EXPECT_EQ(chain::Regs(first, GS_RGBAQ).size(), 2u);   // the pending colour, then the rectangle's
    EXPECT_TRUE(d.r.update_flags & R2D_TEXTURE);
    EXPECT_FALSE(d.r.update_flags & R2D_COLOUR);

    d.r.DrawSprite(PixelX(0).v, PixelY(0).v, PixelX(8).v, PixelY(8).v, 8, 8, 136, 136, 0);
    auto all = d.Items();
    auto tex0 = chain::Regs(all, GS_TEX0_1);
    ASSERT_EQ(tex0.size(), 1u);
    EXPECT_EQ(tex0[0].value, t.tex0);
    EXPECT_EQ(chain::Regs(all, GS_TEX1_1)[0].value, 1u << 5 | 1u << 6);   // linear both ways
    EXPECT_EQ(chain::Regs(all, GS_CLAMP_1)[0].value, 10u | 63u << 14 | 63ull << 34);
    EXPECT_FALSE(d.r.update_flags & R2D_TEXTURE);
    EXPECT_TRUE(d.r.update_flags & (R2D_TEXTURE << R2D_CONTEXT2));   // context 2 still to come
}

TEST(Render2D, SpriteIntoASurfaceSetsFrame2EachTimeAndKeepsContext1Pending)
{
    RawDrawer d;
    Texture t = MakeTexture(PSMCT32, 64, 64);
    Surface target;
    target.Set(PSMCT16, 128, 64);
    target.SetVRAM(320);
    d.r.SetTexture(&t, TEXMODE_DECAL);
    d.r.SetAlpha(ALPHA_BLEND, 0);
    d.r.SetMask(0xFF);
    d.r.DrawSprite2(target, PixelX(0).v, PixelY(0).v, PixelX(4).v, PixelY(4).v, 8, 8, 72, 72, 0);
    d.r.DrawSprite2(target, PixelX(4).v, PixelY(0).v, PixelX(8).v, PixelY(4).v, 8, 8, 72, 72, 0);
    auto items = d.Items();
    auto frame = chain::Regs(items, GS_FRAME_2);
    ASSERT_EQ(frame.size(), 2u);
    EXPECT_EQ(frame[0].value, u64(320 / 32) | 2u << 16 | u64(PSMCT16) << 24 | 0xFFull << 32);
    EXPECT_EQ(chain::Regs(items, GS_SCISSOR_2)[0].value, 127u << 16 | 63ull << 48);
    EXPECT_EQ(chain::Regs(items, GS_ALPHA_2).size(), 1u);
    EXPECT_EQ(chain::Regs(items, GS_TEX0_2).size(), 1u);
    EXPECT_TRUE(chain::Regs(items, GS_ALPHA_1).empty());
    EXPECT_EQ(d.r.update_flags & 0xFFFF, u32(R2D_ALPHA | R2D_TEXTURE));
    EXPECT_EQ(d.r.update_flags >> 16, 0u);
    EXPECT_TRUE(target.IsDirty());
    auto prim = chain::Regs(items, 0);
    EXPECT_TRUE(prim[0].value & PRIM_CTXT);
    EXPECT_TRUE(chain::Regs(items, GS_CLAMP_2).size() == 1u);   // no wrap override in context 2
}

TEST(Render2D, VertexListsOffsetAndModulate)
{
    RawDrawer d;
    Vertex2Dcol v[2];
    v[0].x = 1.5f;
    v[0].y = 2.0f;
    v[0].colour = Colour(200, 100, 255, 64);
    v[1].x = 10.0f;
    v[1].y = 20.0f;
    v[1].colour = Colour(128, 128, 128, 128);
    d.r._Draw(PRIM_TRISTRIP | PRIM_IIP, 100.0f, 50.0f, 3, Colour(0x80, 0x40, 0x20, 0x80), v, 2);
    auto items = d.Items();
    auto rgba = chain::Regs(items, GS_RGBAQ);
    ASSERT_EQ(rgba.size(), 3u);
    EXPECT_EQ(rgba[1].value, Colour(200, 50, 63, 64).Word());   // 255 x 0x20 >> 7 truncates
    EXPECT_EQ(rgba[2].value, Colour(128, 64, 32, 128).Word());
    auto xyz = chain::Regs(items, GS_XYZ2);
    EXPECT_EQ(Xy(xyz[0].value).x, int((1.5f + 100.0f + 2048.0f) * 16.0f));
    EXPECT_EQ(Xy(xyz[0].value).y, (2 + 50 + 2048) * 16);
    EXPECT_EQ(chain::Regs(items, 0)[0].value, u64(PRIM_TRISTRIP | PRIM_IIP));
    // NLOOP counts every quadword after the tag.
    EXPECT_EQ(items[0].taglo & 0x7FFF, 5u);
}

TEST(Render2D, DrawEnvironmentDithersOnlySixteenBitTargets)
{
    Surface draw, z, disp;
    draw.Set(PSMCT32, 640, 512);
    draw.SetVRAM(2560);
    z.Set(0x831, 640, 512);
    z.SetVRAM(7680);
    disp.Set(PSMCT16S, 640, 512);
    disp.SetVRAM(0);
    RawDrawer d;
    d.r.SetDrawEnvironment(draw, z, false);
    d.r.SetDrawEnvironment(disp, z, true);
    auto items = d.Items();
    const u32 order[] = {GS_FRAME_1, GS_XYOFFSET_1, GS_SCISSOR_1, GS_ZBUF_1, GS_FBA_1,
                         GS_PRMODECONT, GS_COLCLAMP, GS_DTHE, GS_DIMX, GS_PABE};
    ASSERT_EQ(items.size(), 20u);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(items[i].reg, order[i]) << i;
    EXPECT_EQ(items[0].taglo & 0x7FFF, 10u);
    EXPECT_EQ(items[3].value, u64(7680 / 32) | 1u << 24);   // Z24, written
    EXPECT_EQ(items[7].value, 0u);
    EXPECT_EQ(items[17].value, 1u);
    EXPECT_EQ(items[10].reg, u32(GS_FRAME_2));
    EXPECT_EQ(items[8].value, 0x6071253571603525ull);
    EXPECT_EQ(items[1].value, 0x8000ull | 0x8000ull << 32);
    EXPECT_TRUE(draw.IsDirty());
}

// ------------------------------------------------------- blocks on the chain

namespace {

class Render2DBlock : public FrameTest
{
protected:
    struct Tex
    {
        Pixels px{64 * 64 * 4};
        Texture t;
        Tex() { t.Set(PSMCT32, 64, 64, 0, px.data()); }
    };
};

size_t IndexAt(const chain::Walk& w, const u32* at)
{
    for (size_t i = 0; i < w.codes.size(); i++)
        if (w.codes[i].at == at)
            return i;
    return w.codes.size();
}

}  // namespace

TEST_F(Render2DBlock, EmptyOpenCloseLeavesANopThenTheFlush)
{
    Render2D r;
    r.Open(therenderer);
    const u32* code = reinterpret_cast<const u32*>(therenderer.direct) - 1;
    r.Close(therenderer);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    size_t i = IndexAt(w, code);
    ASSERT_LT(i + 1, w.codes.size());
    EXPECT_EQ(w.codes[i].code, 0u);
    size_t before = i - 1;
    while (before > 0 && w.codes[before].code == 0)
        --before;   // alignment NOPs
    EXPECT_EQ(w.codes[before].code, 0x11000000u);
    EXPECT_EQ(w.codes[i + 1].code, 0x11000000u);
}

TEST_F(Render2DBlock, SameTextureWritesNoBlockBreak)
{
    Tex a;
    Render2D r;
    r.Open(therenderer);
    r.SetTexture(&a.t, TEXMODE_DECAL);
    u64* p = r.p;
    u_long128* block = therenderer.direct;
    r.update_flags = 0;
    r.SetTexture(&a.t, TEXMODE_MODULATE);
    EXPECT_EQ(r.p, p);
    EXPECT_EQ(therenderer.direct, block);
    EXPECT_EQ(r.texmode, TEXMODE_MODULATE);
    EXPECT_EQ(r.update_flags, u32(R2D_TEXTURE | R2D_TEXTURE << R2D_CONTEXT2));
    EXPECT_EQ(a.t.refcount, 1);
    r.Close(therenderer);
    EXPECT_EQ(a.t.refcount, 0);
}

TEST_F(Render2DBlock, NewTextureBreaksTheBlockAroundItsUploadRequest)
{
    Tex a;
    Render2D r;
    r.Open(therenderer);
    r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(8).v, PixelY(8).v, Colour(1, 2, 3, 4), 0);
    r.SetTexture(&a.t, TEXMODE_DECAL);
    r.DrawSprite(PixelX(0).v, PixelY(0).v, PixelX(8).v, PixelY(8).v, 8, 8, 136, 136, 0);
    r.Close(therenderer);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    // DIRECT (rectangle) ... FLUSHA ... DIRECT (sprite): the upload's request
    // sits between the two blocks.
    std::vector<size_t> directs;
    for (size_t i = 0; i < w.codes.size(); i++)
        if (w.codes[i].Cmd() == 0x50)
            directs.push_back(i);
    ASSERT_GE(directs.size(), 3u);
    const size_t sprite = directs.back();
    bool flusha = false;
    for (size_t i = directs[0]; i < sprite; i++)
        flusha |= w.codes[i].Cmd() == 0x13;
    EXPECT_TRUE(flusha);
    auto last = chain::DecodeGif(chain::DirectData(chain::Walk{{}, {w.codes[sprite]}, true, ""}));
    EXPECT_EQ(chain::Regs(last, GS_TEX0_1).size(), 1u);
    EXPECT_EQ(tex0::TBP0(chain::Regs(last, GS_TEX0_1)[0].value), u32(kTexStart));
    EXPECT_EQ(TexManBatchCount(), 1);
}
