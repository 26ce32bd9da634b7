// The full-frame blur and brighten on the stand-in's GS.
#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/fresh_run.h"
#include "game/fbfx.h"
#include "game/userintf.h"

namespace {

// A 256 x 128 picture at block 0, its Z buffer after it; the temporary
// images come from the texture area.
constexpr int kW = 256, kH = 128;

class FrameBlur : public ::testing::Test
{
protected:
    Surface draw, zbuf;

    void SetUp() override { Reset(2048); }
    void TearDown() override
    {
        TexManOff();
        gMotionBlurSmoothBrighten.level = 0.0f;
    }

    void Reset(int texBlocks)
    {
        gsframe::ResetForFrames(1024, texBlocks);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
    }

    // A dark picture with a white bar, a red block and a blue stripe (or,
    // flat, an even grey), then the blur at `level` (none when level is
    // negative); returns the picture.
    std::vector<u32> Frame(float level, bool hq = false, bool flat = false)
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, flat ? Colour(60, 60, 60, 128) : Colour(20, 20, 30, 128));
        if (!flat) {
            r.DrawRect(PixelX(40).v, PixelY(20).v, PixelX(56).v, PixelY(108).v, Colour(255, 255, 255, 128), 1);
            r.DrawRect(PixelX(100).v, PixelY(40).v, PixelX(160).v, PixelY(90).v, Colour(200, 30, 30, 128), 1);
            r.DrawRect(PixelX(190).v, PixelY(0).v, PixelX(194).v, PixelY(128).v, Colour(40, 80, 255, 128), 1);
        }
        r.Close(therenderer);
        if (level >= 0.0f) {
            gMotionBlurSmoothBrighten.level = level;
            gMotionBlurSmoothBrighten.DrawOver(draw, hq);
        }
        gsframe::SendFrame();
        return golden::FramePicture(kW, kH);
    }

    static int Red(u32 c) { return int(c & 0xFF); }
};

}  // namespace

TEST_F(FrameBlur, StrengthBelowThreeOf128DrawsNothingAndThreeDraws)
{
    const std::vector<u32> plain = Frame(-1.0f);
    EXPECT_EQ(Frame(0.02f), plain);           // 2 of 128
    EXPECT_NE(Frame(0.0234375f), plain);      // 3 of 128
}

// The colours and fixed alphas the passes write, in order, as the GS
// registers RGBAQ (1) and ALPHA_2 (0x43) in the frame's packet.
TEST_F(FrameBlur, TwelvePassesWithTheirColoursAndBlendStrengths)
{
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    const u32* from = therenderer.p;
    gMotionBlurSmoothBrighten.level = 0.75f;   // 96 of 128
    gMotionBlurSmoothBrighten.DrawOver(draw, false);
    const u32* to = therenderer.p;
    std::vector<u32> colours, fixes;
    const u64* q = reinterpret_cast<const u64*>((reinterpret_cast<uintptr_t>(from) + 15) & ~uintptr_t(15));
    for (; reinterpret_cast<const u32*>(q + 2) <= to; q += 2) {
        if (q[1] == 0x01)
            colours.push_back(u32(q[0]));
        else if (q[1] == 0x43)
            fixes.push_back(u32(q[0] >> 32));
    }
    therenderer.EndScene();
    // A B G R words of the table's A R G B colours; the rectangle of pass 11
    // and the last pass's neutral modulation included.
    const std::vector<u32> want = {0x80878787, 0x40A0A0A0, 0x2AA0A0A0, 0x20A0A0A0, 0x80B0B0B0, 0x80878787,
                                   0x38A0A0A0, 0x80878787, 0x20858585, 0x18909090, 0x02FFFFFF, 0x80808080};
    EXPECT_EQ(colours, want);
    // The blended passes' strengths, then the frame's: 96.
    EXPECT_EQ(fixes, (std::vector<u32>{0x40, 0x2A, 0x20, 0x38, 0x20, 0x18, 0x02, 96}));
}

TEST_F(FrameBlur, StrengthIsKeptWithinZeroToOne)
{
    Frame(1.5f);
    EXPECT_EQ(gMotionBlurSmoothBrighten.level, 1.0f);
    Frame(-0.5f);   // not drawn by the helper: set and drawn directly
    gMotionBlurSmoothBrighten.level = -0.5f;
    gMotionBlurSmoothBrighten.DrawOver(draw, false);
    EXPECT_EQ(gMotionBlurSmoothBrighten.level, 0.0f);
}

TEST_F(FrameBlur, WithoutGraphicsMemoryForItsImagesTheFrameIsLeftAsItIs)
{
    const std::vector<u32> plain = Frame(-1.0f);
    // Room for neither image, then room for the full-size one only.
    for (int blocks : {16, 300}) {
        Reset(blocks);
        EXPECT_EQ(Frame(1.0f), plain) << blocks << " blocks";
    }
}

TEST_F(FrameBlur, FullStrengthSoftensEdgesAndBrightensFlatAreas)
{
    auto at = [](const std::vector<u32>& p, int x, int y) { return Red(p[size_t(y * kW + x)]); };
    const std::vector<u32> plain = Frame(-1.0f);
    const std::vector<u32> blurred = Frame(1.0f);
    // The white bar (x 40 to 55) steps from the background at x 39 to
    // white at x 40; blurred, the columns either side of each edge lie
    // between the background and the bar's inside.
    ASSERT_EQ(at(plain, 39, 64), 20);
    ASSERT_EQ(at(plain, 40, 64), 255);
    const int outside = at(blurred, 30, 64), inside = at(blurred, 47, 64);
    for (int x : {38, 39, 55, 56}) {
        EXPECT_GT(at(blurred, x, 64), outside + 10) << x;
        EXPECT_LT(at(blurred, x, 64), inside - 10) << x;
    }
    // An even grey comes out brighter everywhere: in 32-bit images about
    // 60 x 1.37 (each pass's gain, weighted by its alpha), in 16-bit ones
    // less, since each of their steps drops the low three bits.
    const std::vector<u32> hq = Frame(1.0f, true, true);
    const std::vector<u32> lq = Frame(1.0f, false, true);
    for (int y : {0, 64, 127})
        for (int x : {0, 128, 255}) {
            EXPECT_NEAR(at(hq, x, y), 82, 3) << x << ", " << y;
            EXPECT_GT(at(lq, x, y), 60) << x << ", " << y;
        }
}

// The blur keeps every shape where it is: no enlarged copy of the picture's
// top-left quarter lands on the background.  Where the white bar (x 40 to
// 55, y 20 to 107) would fall doubled in size (x 80 to 111, y 40 and down),
// well away from every shape, the blurred background is as dark as it is
// in a corner far from all of them.
TEST_F(FrameBlur, NoShapeIsCopiedEnlargedOverTheBackground)
{
    auto at = [](const std::vector<u32>& p, int x, int y) { return Red(p[size_t(y * kW + x)]); };
    const std::vector<u32> blurred = Frame(1.0f);
    const int background = at(blurred, 20, 120);
    for (int y : {100, 110, 120})
        for (int x : {82, 96, 110})
            EXPECT_NEAR(at(blurred, x, y), background, 3) << x << ", " << y;
}

// The interface answers whether its loading picture holds graphics memory:
// not while no loading screen shows it.
TEST_F(FrameBlur, TheInterfaceHoldsGraphicsMemoryOnlyForItsLoadingPicture)
{
    Frame(1.0f, true);
    EXPECT_FALSE(UIUsesVRAM());
    UI.useLoadScrnBuffer = true;
    EXPECT_TRUE(UIUsesVRAM());
    UI.useLoadScrnBuffer = false;
}

TEST_F(FrameBlur, HalfStrengthMatchesTheGoldenPicture)
{
    Frame(0.5f);
    golden::ExpectFrameBuffer("fullframe_blur", kW, kH);
}

