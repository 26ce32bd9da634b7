// The screen fade and the cinema bars drawn by the stand-in's GS over a test
// scene: the steps of a fade, a held fade, the bars sliding in and out a
// pixel a draw, and a golden picture of a half fade under the bars.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "game/hud_support.h"

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/GameFEnt.h"
#include "game/QuadTree.h"

namespace {

constexpr int kW = 640, kH = 512;
const Colour kBackground(40, 90, 150, 128);

class Overlays : public ::testing::Test
{
protected:
    Surface draw, zbuf;
    Surface savedDraw;

    void SetUp() override
    {
        gsframe::ResetForFrames(10240, 6144);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        hudtest::SetUpScreen();
        savedDraw = platformps2.drawbuffer;
        platformps2.drawbuffer.Set(PSMCT32, kW, kH);
    }
    void TearDown() override
    {
        world.rawobjPostList.RemoveAll();
        platformps2.drawbuffer = savedDraw;
        TexManOff();
    }

    // The scene: the background and three coloured blocks; then the
    // post-draw list with `ticks`.
    std::vector<u32> Frame(int ticks)
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, kBackground);
        r.Close(therenderer);
        DrawScreenRect(40, 20, 200, 200, Colour(230, 40, 40, 128), ALPHA_NONE);
        DrawScreenRect(240, 100, 420, 420, Colour(40, 200, 60, 128), ALPHA_NONE);
        DrawScreenRect(460, 300, 620, 500, Colour(250, 240, 220, 128), ALPHA_NONE);
        world.DrawPostRaw(rc, ticks);
        gsframe::SendFrame();
        return golden::FramePicture(kW, kH);
    }
    // Direct draws inside a frame of their own.
    void Scene(const std::function<void()>& body)
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        body();
        gsframe::SendFrame();
    }
    static u32 At(const std::vector<u32>& p, int x, int y) { return p[size_t(y * kW + x)] & 0xFFFFFF; }
    static bool Black(const std::vector<u32>& p, int x, int y) { return At(p, x, y) == 0; }
    static int OnList(const RawObj* o)
    {
        int n = 0;
        for (Link<RawObj>* l = world.rawobjPostList.Head(); !l->IsEOList(); l = l->Next())
            n += l->data == o ? 1 : 0;
        return n;
    }
};

}  // namespace

TEST_F(Overlays, FadeStepsStopAtTheirEndsAndAHeldFadeStaysUntilDisabled)
{
    FadeScreen f;
    // 0, 1, 4 and 5 frames: the whole difference in one step; the first
    // draw reaches it.
    for (int t : {0, 1, 4, 5}) {
        f.Enable(u16(t), Colour(0, 0, 0, 0), 0, 128, false);
        EXPECT_FLOAT_EQ(f.f16DeltaAlpha, 128.0f) << t;
        Scene([&] { f.Draw(1); });
        EXPECT_FLOAT_EQ(f.f16LastAlpha, 128.0f) << t;
    }
    // 24 frames: 128 / 20 a frame, held at 0 for its last 4; a draw of more
    // ticks than are left uses what is left.
    f.Enable(24, Colour(0, 0, 0, 0), 128, 0, false);
    Scene([&] { f.Draw(10); });
    EXPECT_FLOAT_EQ(f.f16LastAlpha, 64.0f);
    EXPECT_EQ(f.u16DeltaTime, 14);
    EXPECT_EQ(OnList(&f), 1);
    Scene([&] { f.Draw(100); });
    EXPECT_FLOAT_EQ(f.f16LastAlpha, 0.0f);
    EXPECT_EQ(f.u16DeltaTime, 0);
    EXPECT_EQ(f.mode, FADE_MODE_OFF);
    EXPECT_EQ(OnList(&f), 0);

    // Held: still drawn, opaque white, long after its time; gone after
    // Disable, its fields kept.
    f.Enable(4, Colour(255, 255, 255, 0), 0, 128, true);
    EXPECT_EQ(OnList(&f), 1);
    std::vector<u32> p;
    for (int i = 0; i < 8; i++)
        p = Frame(1);
    EXPECT_EQ(At(p, 320, 10), 0xFFFFFFu);
    EXPECT_EQ(OnList(&f), 1);
    f.Disable();
    p = Frame(1);
    EXPECT_EQ(At(p, 320, 10), 0x965A28u);
    EXPECT_FLOAT_EQ(f.f16LastAlpha, 128.0f);
}

TEST_F(Overlays, BarsSlideInAPixelADrawToFiftyAndSlideOutOffTheList)
{
    LetterBox lb;
    lb.iMode = 1;
    lb.iOffset = 0;
    world.AddPostRawObj(&lb, true);
    std::vector<u32> p;
    for (int k = 1; k <= 49; k++) {
        p = Frame(1);
        ASSERT_EQ(lb.iOffset, k);
    }
    // 49 rows at the top and the bottom.
    EXPECT_TRUE(Black(p, 320, 48));
    EXPECT_FALSE(Black(p, 320, 49));
    EXPECT_TRUE(Black(p, 320, kH - 49));
    EXPECT_FALSE(Black(p, 320, kH - 50));
    p = Frame(1);
    EXPECT_EQ(lb.iOffset, 50);
    EXPECT_EQ(lb.iMode, 0);
    EXPECT_TRUE(Black(p, 320, 49));
    EXPECT_FALSE(Black(p, 320, 50));
    for (int i = 0; i < 5; i++)
        p = Frame(1);
    EXPECT_TRUE(Black(p, 10, 49));
    EXPECT_FALSE(Black(p, 10, 50));

    // Out from 2: one row, then off the list without a draw.
    lb.iMode = 2;
    lb.iOffset = 2;
    p = Frame(1);
    EXPECT_TRUE(Black(p, 320, 0));
    EXPECT_FALSE(Black(p, 320, 1));
    p = Frame(1);
    EXPECT_FALSE(Black(p, 320, 0));
    EXPECT_FALSE(Black(p, 320, kH - 1));
    EXPECT_EQ(OnList(&lb), 0);
}

TEST_F(Overlays, AHalfFadeUnderTheBarsOverATestScene)
{
    LetterBox lb;
    lb.iMode = 0;
    lb.iOffset = 50;
    world.AddPostRawObj(&lb, true);
    FadeScreen f;
    // From 0 to 128 over 6 frames: 64 a frame once the 4 held frames are
    // taken off, so one draw reaches a half fade.
    f.Enable(6, Colour(0, 0, 0, 0), 0, 128, true);
    const std::vector<u32> p = Frame(1);
    EXPECT_FLOAT_EQ(f.f16LastAlpha, 64.0f);
    // Half of the background's red 40: 20; the bars stay black.
    EXPECT_EQ(At(p, 320, 60) & 0xFF, 20u);
    EXPECT_TRUE(Black(p, 320, 49));
    golden::ExpectPicture("overlays_fade_bars", kW, kH, p);
}
