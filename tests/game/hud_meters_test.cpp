// The tail and spook meters: the arrow's place and blink by distance, the
// spook icons' flashes and the row's growing fade.
#include <gtest/gtest.h>

#include "game/hud_support.h"

#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

using hudtest::Prim;

namespace {

class HudMeters : public ::testing::Test
{
protected:
    MapDisplay md;
    hudtest::Packet pk;

    void SetUp() override
    {
        hudtest::SetUpScreen();
        hudtest::PinTextures(true);
        md.Reset(nullptr, nullptr);
        world.time = 300;
    }
    void TearDown() override
    {
        hudtest::PinTextures(false);
        world.time = 0;
    }
    // The arrow's top relative to the meter's (92), and whether it blinks.
    std::pair<int, bool> Arrow(float dist, FadeDispInfo& fade, FadeDispInfo& blink)
    {
        DispTailDistInfo(pk.r, dist, fade, blink);
        const std::vector<Prim> p = pk.Take();
        int arrows = 0, top = -1000;
        for (const Prim& q : p)
            if (q.uv[0][1] == 232.0f || q.uv[0][1] == 208.0f) {
                arrows++;
                top = int(q.xy[0][1]) - 92;
            }
        return {top, arrows == 2};
    }
};

}  // namespace

TEST_F(HudMeters, TheTailArrowClimbsAndBlinksWhenTooClose)
{
    FadeDispInfo fade{}, blink{};
    // Distance 0: 5 above the meter's top, blinking with half period 6.
    EXPECT_EQ(Arrow(0.0f, fade, blink).first, -5);
    EXPECT_EQ(blink.flags, FDI_RISING);
    EXPECT_EQ(blink.iRate, 6);
    world.time += 3;
    EXPECT_EQ(Arrow(0.0f, fade, blink), std::make_pair(-5, true));
    world.time += 3;
    Arrow(0.0f, fade, blink);
    EXPECT_EQ(blink.flags, FDI_FALLING);
    // r = 3.125: the good zone's start, no blink.
    EXPECT_EQ(Arrow(4.375f, fade, blink), std::make_pair(27, false));
    EXPECT_EQ(blink.flags, 0u);
    EXPECT_EQ(Arrow(131.25f, fade, blink).first, 105);
    EXPECT_EQ(Arrow(500.0f, fade, blink).first, 105);

    // Fading out: the car icon goes at once, the scale fades over 60 frames.
    fade = FadeDispInfo{FDI_FALLING, world.time - 30, 0, 0};
    DispTailDistInfo(pk.r, 50.0f, fade, blink);
    const std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 2u);   // the scale and the arrow
    EXPECT_EQ(p[0].colour.a, 64);
    EXPECT_EQ(p[0].xy[0][0], 572.0f);
    // The arrow mirrored, pointing at the scale.
    EXPECT_EQ(p[1].uv[0][0], 170.0f);
    EXPECT_EQ(p[1].xy[0][0], 572.0f + 13.0f);
}

TEST_F(HudMeters, SpookIconsFlashOnceEachAndTheRowGrowsAsItFades)
{
    md.SetSpookValue(6);   // above the maximum of 5
    EXPECT_EQ(md.spookValue, 0);
    md.spookLastValue = 1;
    md.rfdiSpookIcon[2].flags = FDI_FALLING;   // already flashing
    md.SetSpookValue(3);
    EXPECT_EQ(md.spookValue, 3);
    EXPECT_EQ(md.rfdiSpookIcon[0].flags, 0u);
    EXPECT_EQ(md.rfdiSpookIcon[1].flags, FDI_RISING);
    EXPECT_EQ(md.rfdiSpookIcon[1].iCount, 1);
    EXPECT_EQ(md.rfdiSpookIcon[2].flags, FDI_FALLING);
    md.SetSpookValue(0);
    EXPECT_EQ(md.spookValue, 0);

    // Two flashes: 24 up and 24 down each, 96 frames.
    FadeDispInfo fade{}, icons[5] = {};
    icons[0] = FadeDispInfo{FDI_RISING, world.time, 0, 2};
    int frames = 0;
    while (icons[0].flags != 0 && frames < 200) {
        DispSpookInfo(pk.r, 1, 5, fade, icons);
        pk.Take();
        world.time++;
        frames++;
    }
    EXPECT_EQ(frames, 97);   // idle on the frame 96 after the start

    // At rest: five 16 x 24 icons leftward from 545; fading at t = 12:
    // twice the size at alpha 102.
    DispSpookInfo(pk.r, 2, 5, fade, icons);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].xy[0][0], 545.0f);
    EXPECT_EQ(p[0].xy[0][1], 24.0f);
    EXPECT_EQ(p[1].xy[0][0], 531.0f);
    EXPECT_EQ(p[0].uv[0][0], 16.0f);   // lit
    EXPECT_EQ(p[2].uv[0][0], 0.0f);    // unlit
    fade = FadeDispInfo{FDI_FALLING, world.time - 12, 0, 0};
    DispSpookInfo(pk.r, 2, 5, fade, icons);
    p = pk.Take();
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].xy[1][0] - p[0].xy[0][0], 32.0f);
    EXPECT_EQ(p[0].xy[1][1] - p[0].xy[0][1], 48.0f);
    EXPECT_EQ(p[0].colour.a, 102);
    EXPECT_EQ(p[0].alpha, u64(100) | u64(102) << 32);
    fade = FadeDispInfo{FDI_FALLING, world.time - 60, 0, 0};
    DispSpookInfo(pk.r, 2, 5, fade, icons);
    EXPECT_TRUE(pk.Take().empty());
    EXPECT_EQ(fade.flags, 0u);
}

TEST_F(HudMeters, TheHudShowsTheTailMeterAtTheWheelAndFadesItWhenTheTailEnds)
{
    gametest::Controller()->bHUDOn = true;
    g_pgcTest->bInterior = true;
    g_pgcTest->fTargDist = 20.0f;
    Vehicle car;
    Object driver;
    car.type = OBJT_VEHICLE;
    car.Attach(&driver);
    md.Reset(&driver, nullptr);
    md.flags = HUDF_TAIL;
    md.DrawHUD(pk.r);
    EXPECT_EQ(md.fdiTail.flags, FDI_STEADY);
    EXPECT_TRUE(md.tailDrawn);
    EXPECT_FALSE(pk.Take().empty());
    // The tail over: both meters fade out over 60 frames, then nothing.
    md.flags = 0;
    md.DrawHUD(pk.r);
    EXPECT_EQ(md.fdiTail.flags, FDI_FALLING);
    EXPECT_EQ(md.fdiSpook.flags, FDI_FALLING);
    world.time += 60;
    md.DrawHUD(pk.r);
    EXPECT_FALSE(md.tailDrawn);
    pk.Take();
    md.DrawHUD(pk.r);
    EXPECT_TRUE(pk.Take().empty());
    driver.Detach();
}
