// The free screenshot camera on the second pad.
#include <gtest/gtest.h>

#include "ZevEngine2/PS2/Controller.h"
#include "game/Camera.h"
#include "game/CameraMaths.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

class ScreenshotCameraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.playbackSpeed = 1.0f;
        gametest::Controller()->bInterior = false;
        player.mat = Matrix(true);
        player.SetPos(VectorPos(10, -1, 20));
        dace = &player;
        // The follow switch lasts the whole game: whatever earlier frames
        // left it at, freeing the view turns it on, CROSS turns it off, and
        // the view goes back.
        SetCurrentCam(&view);
        Sticks(128, 128, 128, 128);
        Frame(BUT_SELECT);
        Frame(BUT_CROSS);
        Frame(BUT_SELECT);
        SetCurrentCam(nullptr);
        view.mat = Matrix(true);
        view.SetPos(VectorPos(10, -1, 10));
        view.mode = CAMMODE_PEDESTRIAN;
        view.target = &player;
        SetCurrentCam(&view);
        Sticks(128, 128, 128, 128);
        Press(0);
    }
    void TearDown() override
    {
        // Hand the view back if a test left it free.
        if (ScreenshotCameraFree()) {
            dace = &player;
            player.parent = nullptr;
            player.mode = 0;
            Press(BUT_SELECT);
            UpdateScreenshotCamera();
        }
        Press(0);
        SetCurrentCam(nullptr);
        dace = nullptr;
        world.Clear();
    }
    static void Press(u32 buttons) { controller[1].pad = (buttons << 16) | buttons; }
    static void Sticks(u8 rx, u8 ry, u8 lx, u8 ly)
    {
        controller[1].rdata[4 + ANA_RX] = rx;
        controller[1].rdata[4 + ANA_RY] = ry;
        controller[1].rdata[4 + ANA_LX] = lx;
        controller[1].rdata[4 + ANA_LY] = ly;
    }
    // One frame with these buttons newly pressed.
    static void Frame(u32 buttons = 0)
    {
        Press(buttons);
        UpdateScreenshotCamera();
    }

    Dace player;
    Camera view{nullptr, VectorPos(0, 0, 0)};
};

TEST_F(ScreenshotCameraTest, SelectFreesTheViewOnAPrivateTargetAndHandsItBack)
{
    Frame(BUT_SELECT);
    ASSERT_TRUE(ScreenshotCameraFree());
    EXPECT_EQ(view.mode, CAMMODE_LOCKEDAT);
    ASSERT_NE(view.target, nullptr);
    EXPECT_NE(view.target, static_cast<Object*>(&player));
    EXPECT_EQ(view.target->type, OBJT_ICON);
    EXPECT_FLOAT_EQ(view.target->GetWorldPos()[2], 20.0f);
    ASSERT_NE(view.pvExtra, nullptr);
    const auto* p = static_cast<const FixedCamera_params*>(view.pvExtra);
    EXPECT_EQ(p->dolly, 0.0f);
    EXPECT_EQ(p->distance, 0.0f);
    EXPECT_FLOAT_EQ(view.fAngRangeX, 2.0f * camera::kPi);
    EXPECT_FLOAT_EQ(view.fAngRangeY, camera::kPi);
    EXPECT_FALSE(view.bTargetBias);
    EXPECT_EQ(view.iTrack, 0);          // the follow switch was off; now on
    EXPECT_FLOAT_EQ(view.dist, 10.0f);  // camera 10 behind the player

    // Following: the target keeps to the player; CROSS leaves it where it is.
    player.SetPos(VectorPos(12, -1, 20));
    Frame();
    EXPECT_FLOAT_EQ(view.target->GetWorldPos()[0], 12.0f);
    Frame(BUT_CROSS);
    player.SetPos(VectorPos(14, -1, 20));
    Frame();
    EXPECT_FLOAT_EQ(view.target->GetWorldPos()[0], 12.0f);

    // Back on foot: the follow camera on the player, turned toward him, its
    // own block back.
    // (Flown 3 short of him, looking across his path.)
    view.mat = RotY(camera::kPi / 2.0f);
    view.SetPos(VectorPos(14, -1, 17));
    Frame(BUT_SELECT);
    EXPECT_FALSE(ScreenshotCameraFree());
    EXPECT_EQ(view.mode, CAMMODE_PEDESTRIAN);
    EXPECT_EQ(view.target, static_cast<Object*>(&player));
    EXPECT_EQ(view.pvExtra, nullptr);
    EXPECT_NEAR(camera::Yaw(view.mat.z.xyz()), 0.0f, 0.02f);

    // CROSS turned the switch off, so the next flight starts untracked, and
    // turns it on again.
    Frame(BUT_SELECT);
    EXPECT_EQ(view.iTrack, 0);
    Frame(BUT_SELECT);
    Frame(BUT_SELECT);
    EXPECT_EQ(view.iTrack, 1);
}

TEST_F(ScreenshotCameraTest, InACarTheTargetIsTheCarAndTheChaseCameraComesBack)
{
    Object car;
    car.mat = Matrix(true);
    car.SetPos(VectorPos(0, -1, 50));
    car.type = OBJT_VEHICLE;
    player.SetPos(VectorPos(0, 0, 0));
    player.parent = &car;
    player.mode = 6;
    Frame(BUT_SELECT);
    ASSERT_TRUE(ScreenshotCameraFree());
    EXPECT_FLOAT_EQ(view.target->GetWorldPos()[2], 50.0f);
    Frame(BUT_SELECT);
    EXPECT_EQ(view.mode, CAMMODE_INCAR);
    EXPECT_EQ(view.target, &car);
    player.parent = nullptr;
}

TEST_F(ScreenshotCameraTest, SticksMoveBeyondTheirDeadZoneOnly)
{
    Frame(BUT_SELECT);
    // 40 from the centre is still at rest.
    Sticks(128, 128, 168, 88);
    Frame();
    EXPECT_FLOAT_EQ(view.mat.GetTrans()[0], 10.0f);
    EXPECT_FLOAT_EQ(view.mat.GetTrans()[2], 10.0f);
    // 60 to the right: 60 x 1/192 = 0.3125 along the view's x row (the
    // view looked down +z, unturned, so that is +x).
    VectorPos before = view.mat.GetTrans();
    const VectorDir x(view.mat.x.xyz());
    Sticks(128, 128, 188, 128);
    Frame();
    EXPECT_NEAR(Dot(VectorDir(view.mat.GetTrans() - before), x), 0.3125f, 1e-5f);
    EXPECT_NEAR(VectorDir(view.mat.GetTrans() - before).Length(), 0.3125f, 1e-5f);
    // Pushed 60 up (forward) in an interior: a fifth of the step.
    gametest::Controller()->bInterior = true;
    before = view.mat.GetTrans();
    const VectorDir z(view.mat.z.xyz());
    Sticks(128, 128, 128, 68);
    Frame();
    gametest::Controller()->bInterior = false;
    EXPECT_NEAR(VectorDir(view.mat.GetTrans() - before).Length(), 0.0625f, 1e-5f);
    EXPECT_NEAR(Dot(VectorDir(view.mat.GetTrans() - before), z), 0.0625f, 1e-5f);
}

TEST_F(ScreenshotCameraTest, WithoutAPlayerSelectLeavesTheViewAlone)
{
    dace = nullptr;
    Frame(BUT_SELECT);
    EXPECT_FALSE(ScreenshotCameraFree());
    EXPECT_EQ(view.mode, CAMMODE_PEDESTRIAN);
    EXPECT_EQ(view.pvExtra, nullptr);
}

}  // namespace
