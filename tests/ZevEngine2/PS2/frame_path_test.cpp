// Whole frames through the stand-in: the renderer's chain sent on VIF1, the
// texture manager's batches started from the VIF1 interrupt on PATH3, the 2-D
// drawer's packets drawn by the GS, and the picture read back from GS memory.
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>
#include <ee/kernel.h>
#include <ee/regs.h>

#include <functional>
#include <string>
#include <vector>

#include "ZevEngine2/Callback.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"
#include "gif/gif.h"

using namespace render_test;

namespace {

// A 256 x 128 32-bit draw buffer at block 0, its Z buffer after it, textures
// from block 1024.
constexpr int kW = 256, kH = 128;
constexpr int kTexArea = 1024;

// Counts the image transfers the GS is given, passing everything on.
class UploadCounter : public console::gif::GsSink
{
public:
    int uploads = 0;
    void WriteRegister(u32 address, u64 value) override
    {
        if (address == GS_TRXDIR)
            ++uploads;
        console::gif::DefaultSink().WriteRegister(address, value);
    }
    size_t WriteImageData(const u128* data, size_t qwc) override
    {
        return console::gif::DefaultSink().WriteImageData(data, qwc);
    }
};

class FinishedCounter : public Callback
{
public:
    int frames = 0;
    int operator()(void*) override
    {
        ++frames;
        return 0;
    }
};
FinishedCounter g_finished;

// Texture data must lie where the DMA may read it: static storage.
alignas(16) u32 g_rgba[32 * 32];
alignas(16) u8 g_t4[64 + 128 * 32 / 2];     // 16 colours, then 4-bit pixels
alignas(16) u8 g_t8[1024 + 16 * 16];        // 256 colours, then 8-bit pixels

u32 Rgba(u8 r, u8 g, u8 b, u8 a = 0x80)
{
    return Colour(r, g, b, a).Word();
}

class FramePath : public ::testing::Test
{
protected:
    Surface draw, zbuf;
    UploadCounter counter;
    console::gif::ScopedSink sink{counter};
    int frame = 0;

    void SetUp() override
    {
        gsframe::ResetForFrames(kTexArea, 2048);
        SetGSyncCallback(&g_finished);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
    }

    void TearDown() override { TexManOff(); }

    // One frame: clear to (64, 64, 64), then `body`, sent and drawn.
    void Frame(const std::function<void(Render2D&)>& body)
    {
        therenderer.BeginScene(dmabuff[frame & 1], gifbuff[frame & 1], frame == 0);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(64, 64, 64, 128));
        body(r);
        r.Close(therenderer);
        gsframe::SendFrame();
        ++frame;
    }

    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }
};

// A 32 x 32 texture whose texel (x, y) is (8x, 8y, 100).
void FillGradient()
{
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            g_rgba[y * 32 + x] = Rgba(u8(8 * x), u8(8 * y), 100);
}

}  // namespace

TEST_F(FramePath, FrameWithoutUploadsStillReportsItsDrawingFinished)
{
    const int before = g_finished.frames;
    Frame([](Render2D&) {});
    EXPECT_EQ(g_finished.frames, before + 1);
    EXPECT_EQ(counter.uploads, 0);
    Frame([](Render2D&) {});
    EXPECT_EQ(g_finished.frames, before + 2);
}

TEST_F(FramePath, SameTextureInTwoFramesIsUploadedOnce)
{
    FillGradient();
    Texture t;
    t.Set(PSMCT32 | TEXF_POINT, 32, 32, 0, g_rgba);
    const int before = g_finished.frames;
    auto body = [&t](Render2D& r) {
        r.SetTexture(&t, TEXMODE_DECAL);
        r.DrawSprite(PixelX(0).v, PixelY(0).v, PixelX(32).v, PixelY(32).v, Texel(0).v, Texel(0).v, Texel(32).v,
                     Texel(32).v, 1);
    };
    Frame(body);
    EXPECT_EQ(counter.uploads, 1);
    EXPECT_EQ(Pixel(5, 7), Rgba(40, 56, 100));
    Frame(body);
    EXPECT_EQ(counter.uploads, 1);
    EXPECT_EQ(Pixel(31, 31), Rgba(248, 248, 100));
    EXPECT_EQ(g_finished.frames, before + 2);

    // Drawn over (dirty): sent again, with what the data now says.
    g_rgba[0] = Rgba(1, 2, 3);
    t.format |= TEXF_DIRTY;
    Frame(body);
    EXPECT_EQ(counter.uploads, 2);
    EXPECT_EQ(Pixel(0, 0), Rgba(1, 2, 3));
}

TEST_F(FramePath, PageAlignedPaletteIsUsedFromItsSlot)
{
    // Index i shows colour (i, 255 - i, 7); the palette is stored in the GS's
    // order (bits 3 and 4 of the index exchanged).
    u32* clut = reinterpret_cast<u32*>(g_t8);
    for (int i = 0; i < 256; i++)
        clut[Render2D_raw::ClutSwizzle(i)] = Rgba(u8(i), u8(255 - i), 7);
    for (int i = 0; i < 256; i++)
        g_t8[1024 + i] = u8(i);
    // Take the first slot of each page so that the palette cannot land there.
    texman.ClutAllocFromPool(true);
    Texture t;
    t.Set(PSMT8 | TEXF_CLUTPAGE | TEXF_POINT, 16, 16, 256, g_t8);
    Frame([&t](Render2D& r) {
        r.SetTexture(&t, TEXMODE_DECAL);
        r.DrawSprite(PixelX(0).v, PixelY(0).v, PixelX(16).v, PixelY(16).v, Texel(0).v, Texel(0).v, Texel(16).v,
                     Texel(16).v, 1);
    });
    const int slot = (t.GetCBP() - texman.clutblockbase) / 4;
    EXPECT_EQ(slot, 16);
    EXPECT_EQ(Pixel(0, 0), Rgba(0, 255, 7));
    EXPECT_EQ(Pixel(9, 1), Rgba(25, 230, 7));
    EXPECT_EQ(Pixel(15, 15), Rgba(255, 0, 7));
}

TEST_F(FramePath, InterruptPastTheBatchListStartsNoTransfer)
{
    Frame([](Render2D&) {});   // the list of this frame holds only its end
    DPUT_VIF1_MARK(3);
    VIF1Interrupt1(5);
    EXPECT_EQ(sceDmaGetChan(SCE_DMA_GIF)->chcr.STR, 0u);
    EXPECT_EQ(sceGsSyncPath(0, 0), 0);
}

// ------------------------------------------------------------- golden scene

// A 2-D scene with every kind of primitive this layer draws, compared with a
// picture kept with the tests.  On a mismatch the picture drawn is written
// beside the golden one.
TEST_F(FramePath, SceneMatchesTheGoldenPicture)
{
    FillGradient();
    u32* pal4 = reinterpret_cast<u32*>(g_t4);
    for (int i = 0; i < 16; i++)
        pal4[i] = Rgba(u8(16 * i), u8(128 + 8 * i), u8(255 - 16 * i));
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 128; x += 2)
            g_t4[64 + (y * 128 + x) / 2] = u8(((x / 8 + y / 4) & 15) | (((x / 8 + y / 4 + 1) & 15) << 4));
    u32* pal8 = reinterpret_cast<u32*>(g_t8);
    for (int i = 0; i < 256; i++)
        pal8[Render2D_raw::ClutSwizzle(i)] = Rgba(u8(i), u8(i / 2), u8(255 - i));
    for (int i = 0; i < 256; i++)
        g_t8[1024 + i] = u8((i % 16) * 16 + i / 16);

    Texture grad, four, eight;
    grad.Set(PSMCT32 | TEXF_POINT, 32, 32, 0, g_rgba);
    four.Set(PSMT4 | TEXF_POINT, 128, 32, 16, g_t4);
    eight.Set(PSMT8 | TEXF_CLUTPAGE | TEXF_POINT, 16, 16, 256, g_t8);

    Frame([&](Render2D& r) {
        // A 65 x 65 rectangle: strips of 32, 32 and 1 pixels.
        r.DrawRect(PixelX(8).v, PixelY(8).v, PixelX(73).v, PixelY(73).v, Colour(200, 40, 40, 128), 1);
        // The gradient at twice its size, u from -16 texels: wraps on u only.
        r.SetTexture(&grad, TEXMODE_DECAL);
        r.DrawSprite(PixelX(80).v, PixelY(8).v, PixelX(144).v, PixelY(72).v, -16 * 16, Texel(0).v, 16 * 16,
                     Texel(32).v, 1);
        // 4-bit with a 16-colour palette, one to one.
        r.SetTexture(&four, TEXMODE_DECAL);
        r.DrawSprite(PixelX(8).v, PixelY(84).v, PixelX(136).v, PixelY(116).v, Texel(0).v, Texel(0).v,
                     Texel(128).v, Texel(32).v, 1);
        // 8-bit with a page-aligned palette, magnified four times.
        r.SetTexture(&eight, TEXMODE_DECAL);
        r.DrawSprite(PixelX(160).v, PixelY(8).v, PixelX(224).v, PixelY(72).v, Texel(0).v, Texel(0).v,
                     Texel(16).v, Texel(16).v, 1);
        // Half-transparent white over the rectangle and the gradient.
        r.SetTextureOff();
        r.SetAlpha(ALPHA_BLEND);
        r.DrawRect(PixelX(40).v, PixelY(40).v, PixelX(120).v, PixelY(100).v, Colour(255, 255, 255, 64), 1);
    });

    // Spot checks worked out by hand, so that the golden picture is not the
    // only judge.
    EXPECT_EQ(Pixel(8, 8), Rgba(200, 40, 40));
    EXPECT_EQ(Pixel(72, 30), Rgba(200, 40, 40));
    EXPECT_EQ(Pixel(73, 30), Rgba(64, 64, 64));
    EXPECT_EQ(Pixel(30, 73), Rgba(64, 64, 64));
    EXPECT_EQ(Pixel(80, 8), Rgba(8 * 16, 0, 100));     // u -16 + 512.5 wraps to texel 16
    EXPECT_EQ(Pixel(112, 8), Rgba(0, 0, 100));         // half-way: texel 0
    EXPECT_EQ(Pixel(16, 84), pal4[1]);                 // 4-bit texel (8, 0): index 1
    EXPECT_EQ(Pixel(17, 84), pal4[2]);
    EXPECT_EQ(Pixel(160 + 4 * 3, 8 + 4 * 5), Rgba(53, 26, 202));   // 8-bit texel (3, 5): index 53
    // (Cs - Cd) x As / 128 + Cd of white at alpha 64 over the red rectangle;
    // the frame's alpha is the source's.
    EXPECT_EQ(Pixel(50, 50), Rgba(200 + (55 * 64 >> 7), 40 + (215 * 64 >> 7), 40 + (215 * 64 >> 7), 64));

    golden::ExpectFrameBuffer("render2d_scene", kW, kH);
}
