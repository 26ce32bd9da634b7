// The points counter: pop-ups flying to it, the 100 points a badge takes
// and gives back, and the queue's limit.
#include <gtest/gtest.h>

#include "game/hud_support.h"

#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/QuadTree.h"

namespace {

class HudPoints : public ::testing::Test
{
protected:
    MapDisplay md;
    hudtest::Packet pk;

    void SetUp() override
    {
        hudtest::SetUpScreen();
        hudtest::PinTextures(true);
        gametest::Controller()->bHUDOn = true;
        g_pgcTest->bInterior = true;
        hudPoints = HUD_Points{};
        md.Reset(nullptr, nullptr);
        md.flags = 0;   // the counter alone
        // The world straight onto the screen, 300 right and 200 down.
        rc.world_screen = Matrix(true);
        rc.world_screen.w = Vector(2348.0f, 2248.0f, 0.0f, 1.0f);
        world.time = 1000;
        hudPoints.prevTime = 1000;
    }
    void TearDown() override
    {
        hudtest::PinTextures(false);
        hudPoints = HUD_Points{};
        world.time = 0;
    }
    // Frames up to and including world time `until`, one tick each.
    void RunTo(int until)
    {
        while (world.time < until) {
            world.time++;
            md.DrawHUD(pk.r);
            pk.Take();
        }
    }
};

}  // namespace

TEST_F(HudPoints, AHundredPointsEarnABadgeThatFliesFlashesAndThenTheRestArrive)
{
    md.InitPoints(0, 0);
    md.AddPoints(150, VectorPos(10.0f, 20.0f, 0.0f));
    ASSERT_EQ(hudPoints.nNewPoints, 1);
    EXPECT_EQ(hudPoints.newPoints[0].scrPos[0], 310.0f);
    EXPECT_NEAR(hudPoints.newPoints[0].scrPos[1], 219.6875f, 1e-3f);
    RunTo(1029);   // the pop-up's flight
    EXPECT_EQ(hudPoints.nPoints, 0);
    RunTo(1030);
    EXPECT_EQ(hudPoints.nPoints, 1);   // one point a frame at one tick a frame
    RunTo(1129);
    EXPECT_EQ(hudPoints.nPoints, 100);
    EXPECT_EQ(hudPoints.fdiAddShield.flags, 6u);
    EXPECT_EQ(hudPoints.newPoints[0].points, 50);
    RunTo(1158);
    EXPECT_EQ(hudPoints.nPoints, 100);
    RunTo(1159);   // 30 frames into the flight the counter gives its 100 up
    EXPECT_EQ(hudPoints.nPoints, 0);
    RunTo(1188);
    EXPECT_EQ(hudPoints.nShields, 0);
    RunTo(1189);
    EXPECT_EQ(hudPoints.nShields, 1);
    EXPECT_EQ(hudPoints.fdiAddShield.flags, 13u);
    RunTo(1219);
    EXPECT_NE(hudPoints.fdiAddShield.flags, 0u);
    RunTo(1220);   // the flash is over: 90 frames in all
    EXPECT_EQ(hudPoints.fdiAddShield.flags, 0u);
    EXPECT_EQ(hudPoints.nPoints, 0);
    RunTo(1221);
    EXPECT_EQ(hudPoints.nPoints, 1);
    RunTo(1270);
    EXPECT_EQ(hudPoints.nPoints, 50);
    EXPECT_EQ(hudPoints.nNewPoints, 0);
}

TEST_F(HudPoints, ALossBelowZeroTakesABadgeBack)
{
    md.InitPoints(30, 1);
    md.AddPoints(-40, VectorPos(0.0f, 0.0f, 0.0f));
    RunTo(1059);   // 30 frames of flight, then 30 points out
    EXPECT_EQ(hudPoints.nPoints, 0);
    EXPECT_EQ(hudPoints.fdiSubShield.flags, 0u);
    RunTo(1060);   // the next point would go below 0: the badge goes
    EXPECT_EQ(hudPoints.fdiSubShield.flags, 13u);
    EXPECT_EQ(hudPoints.nPoints, 0);
    // The counter is red while the badge is on its way.
    md.DrawHUD(pk.r);
    bool red = false;
    for (const hudtest::Prim& p : pk.Take())
        red = red || p.colour == Colour(96, 0, 0, 128);
    EXPECT_TRUE(red);
    RunTo(1091);   // 30 frames of flash
    EXPECT_EQ(hudPoints.fdiSubShield.flags, 4u);
    RunTo(1150);
    EXPECT_EQ(hudPoints.nShields, 1);
    RunTo(1151);   // 60 frames of flight back
    EXPECT_EQ(hudPoints.nPoints, 100);
    EXPECT_EQ(hudPoints.nShields, 0);
    EXPECT_EQ(hudPoints.fdiSubShield.flags, 0u);
    RunTo(1161);   // the other 10 of the loss
    EXPECT_EQ(hudPoints.nPoints, 90);
    EXPECT_EQ(hudPoints.nNewPoints, 0);

    // Without badges the counter goes below 0.
    md.AddPoints(-95, VectorPos(0.0f, 0.0f, 0.0f));
    RunTo(1161 + 30 + 95);
    EXPECT_EQ(hudPoints.nPoints, -5);
}

TEST_F(HudPoints, TheTwentyFirstPopUpIsDroppedAndInitLeavesTheQueue)
{
    for (int i = 0; i < 21; i++)
        md.AddPoints(10, VectorPos(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(hudPoints.nNewPoints, 20);
    md.InitPoints(250, 2);
    EXPECT_EQ(hudPoints.nNewPoints, 20);
    EXPECT_EQ(hudPoints.nPoints, 250);
    // Two badges print the multiplier "2x" beside the badge.
    md.DrawHUD(pk.r);
    int scaled = 0;
    for (const hudtest::Prim& p : pk.Take())
        scaled += p.type == PRIM_TRISTRIP && p.colour.r == 128;
    EXPECT_EQ(scaled, 2);
}
