#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include <ee/graph.h>

#include "core/scheduler.h"
#include "ee/video.h"
#include "host/headless/pad_script.h"
#include "host/host.h"
#include "pad/pad.h"

#include "game/Rumble.h"

namespace {

class Rumble : public testing::Test {
protected:
    void SetUp() override
    {
        memset(controller, 0, sizeof controller);
        memset(rumblecontrollers, 0xCD, sizeof rumblecontrollers);
        RumbleController::Init();
    }

    // Levels of the one running rumble after each of `frames` updates.
    static std::vector<std::pair<int, int>> Levels(RumbleController& rc, int frames)
    {
        std::vector<std::pair<int, int>> out;
        for (int f = 1; f <= frames; ++f) {
            rc.Update(f);
            if (rc.iNumRumbles == 0)
                break;
            out.emplace_back(rc.rris[0].ru8CurrValue[0], rc.rris[0].ru8CurrValue[1]);
        }
        return out;
    }
};

TEST_F(Rumble, InitLeavesBothPadsWithoutRumbles)
{
    EXPECT_EQ(rumblecontrollers[0].iControllerNumber, 0);
    EXPECT_EQ(rumblecontrollers[1].iControllerNumber, 1);
    EXPECT_EQ(rumblecontrollers[0].iNumRumbles, 0);
    EXPECT_EQ(rumblecontrollers[1].iNumRumbles, 0);
}

TEST_F(Rumble, ImmediateRampStepsAndClampsUntilItsCountRunsOut)
{
    RumbleController& rc = rumblecontrollers[0];
    // Motor 0 climbs 100 per frame (clamped at 255); motor 1 falls 50 per
    // frame from 60 (clamped at 0).
    ASSERT_EQ(rc.AddRumbleImmediate(100, 0, 4, -50, 0, 4), 0);
    rc.rris[0].ru8CurrValue[1] = 60;
    // Frame 4 ends both counts and the rumble with them.
    std::vector<std::pair<int, int>> expected = {{100, 10}, {200, 0}, {255, 0}};
    EXPECT_EQ(Levels(rc, 10), expected);
    EXPECT_EQ(rc.iNumRumbles, 0);
}

TEST_F(Rumble, ImmediateRumbleEndsWhenTheFirstCountRunsOut)
{
    RumbleController& rc = rumblecontrollers[0];
    ASSERT_EQ(rc.AddRumbleImmediate(10, 0, 5, 20, 0, 3), 0);
    rc.Update(1);
    rc.Update(2);
    EXPECT_EQ(rc.iNumRumbles, 1);
    EXPECT_EQ(rc.rris[0].ru8CurrValue[0], 20);
    EXPECT_EQ(rc.rris[0].ru8CurrValue[1], 40);
    rc.Update(3);
    EXPECT_EQ(rc.iNumRumbles, 0);
}

TEST_F(Rumble, SetAndWaitStepsRunTogetherUntilTheFirstCountEnds)
{
    // Both motors set in one step; the wait ends when motor 0's 2 frames are
    // up; the next step sets motor 0 again while motor 1 keeps counting.
    RumbleInfo pattern[] = {{2, 30, 0, 4}, {-1, 10, 0, 2}, {-1, -5, 0, 3}, {0, 0, 0, 0}};
    RumbleController& rc = rumblecontrollers[0];
    ASSERT_EQ(rc.AddRumble(pattern), 0);
    EXPECT_EQ(rc.rris[0].priCurrent, &pattern[2]);
    std::vector<std::pair<int, int>> expected = {{10, 30}, {20, 60}, {15, 90}};
    EXPECT_EQ(Levels(rc, 10), expected);
    // Frame 4: motor 1's count runs out, which ends the wait; the next step
    // ends the pattern.
    EXPECT_EQ(rc.iNumRumbles, 0);
}

TEST_F(Rumble, LoopingPatternRunsUntilTheListIsCleared)
{
    RumbleInfo pattern[] = {{-1, 50, 0, 2}, {-1, -50, 0, 2}, {-3, 0, 0, 0}};
    RumbleController& rc = rumblecontrollers[0];
    ASSERT_EQ(rc.AddRumble(pattern), 0);
    std::vector<std::pair<int, int>> levels = Levels(rc, 200);
    ASSERT_EQ(levels.size(), 200u);
    for (size_t i = 0; i < levels.size(); ++i) {
        const int phase = static_cast<int>(i % 4);
        EXPECT_EQ(levels[i].first, phase == 0 ? 50 : phase == 1 ? 100 : phase == 2 ? 50 : 0) << "frame " << i + 1;
    }
    rc.iNumRumbles = 0;
    rc.Update(8);
    EXPECT_EQ(controller[0].actuator.u32Value0, 0u);
}

TEST_F(Rumble, LoopWithoutAWaitingStepEndsInsteadOfHanging)
{
    RumbleInfo pattern[] = {{1, 40, 0, 3}, {-3, 0, 0, 0}};
    RumbleController& rc = rumblecontrollers[0];
    ASSERT_EQ(rc.AddRumble(pattern), 0);
    EXPECT_EQ(rc.rris[0].priCurrent, nullptr);
    std::vector<std::pair<int, int>> expected = {{40, 0}, {80, 0}};
    EXPECT_EQ(Levels(rc, 10), expected);
    EXPECT_EQ(rc.iNumRumbles, 0);
}

TEST_F(Rumble, NinthRumbleIsRefused)
{
    RumbleController& rc = rumblecontrollers[1];
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rc.AddRumbleImmediate(1, 0, 100, 0, 0, 0), i);
    RumbleInfo pattern[] = {{-1, 1, 0, 1}, {0, 0, 0, 0}};
    EXPECT_EQ(rc.AddRumble(pattern), -1);
    EXPECT_EQ(rc.AddRumbleImmediate(1, 0, 1, 0, 0, 0), -1);
    EXPECT_EQ(rc.iNumRumbles, 8);
}

TEST_F(Rumble, EndedRumblesMoveLaterOnesDownAndStillCountThisFrame)
{
    RumbleController& rc = rumblecontrollers[0];
    rc.AddRumbleImmediate(0, 0, 5, 0, 0, 0);      // a
    rc.AddRumbleImmediate(0, 0, 0, 100, 0, 1);    // b: one frame at 100
    rc.AddRumbleImmediate(7, 0, 9, 0, 0, 0);      // c
    rc.Update(8);
    ASSERT_EQ(rc.iNumRumbles, 2);
    EXPECT_EQ(rc.rris[0].ru8Count[0], 4);
    EXPECT_EQ(rc.rris[1].ri8Vel[0], 7);
    // b ended in this frame but its level still counts.
    EXPECT_EQ(controller[0].actuator.u32Value1, 100u);
    EXPECT_EQ(controller[0].actuator.u32Value0, 0u);
}

TEST_F(Rumble, LevelsReachThePadOnlyOnEveryEighthFrame)
{
    RumbleController& rc = rumblecontrollers[1];
    rc.AddRumbleImmediate(20, 0, 100, 30, 0, 100);
    for (int frame = 1; frame <= 7; ++frame) {
        rc.Update(frame);
        EXPECT_EQ(controller[1].actuator.u32Value1, 0u) << "frame " << frame;
    }
    rc.Update(8);
    EXPECT_EQ(controller[1].actuator.u32Value0, 1u);  // 160 >= 128
    EXPECT_EQ(controller[1].actuator.u32Value1, 240u);
    rc.Update(9);
    EXPECT_EQ(controller[1].actuator.u32Value1, 240u);
    EXPECT_EQ(controller[0].actuator.u32Value1, 0u);
}

class RumbleProbe final : public console::host::RumbleSink {
public:
    void Set(int port, bool small_on, uint8_t large_level) override { calls.emplace_back(port, small_on, large_level); }
    std::vector<std::tuple<int, bool, int>> calls;
};

TEST(RumbleOnThePad, PatternsDriveTheHostMotors)
{
    console::ResetScheduler();
    console::pad::SetManagerLoaded(true);
    console::host::PadScriptInput script;
    ASSERT_TRUE(script.Parse("", "none", nullptr));
    RumbleProbe probe;
    console::host::Backend backend;
    backend.input = &script;
    backend.rumble = &probe;
    console::host::SetBackend(backend);
    memset(controller, 0, sizeof controller);
    controller[0].SetAnalog(true);
    Controller::Init();
    RumbleController::Init();

    // Large motor up 40 per frame for 5 frames, then down 40 per frame for 5.
    RumbleInfo pattern[] = {{-2, 40, 0, 5}, {-2, -40, 0, 5}, {0, 0, 0, 0}};
    bool added = false;
    for (int frame = 1; frame <= 40; ++frame) {
        while (console::FieldCount() < static_cast<uint64_t>(frame))
            sceGsSyncV(0);
        Controller::Update();
        if (frame == 15) {
            ASSERT_EQ(rumblecontrollers[0].AddRumble(pattern), 0);
            added = true;
        }
        RumbleController::UpdateAll(frame);
    }
    ASSERT_TRUE(added);
    // Levels 40, 80 .. 200 from frame 15, then down to 0 at frame 24.  Frame
    // 16 hands 80 to the controller and frame 24 hands 0; each reaches the
    // pad at the next frame's Controller::Update.
    std::vector<std::tuple<int, bool, int>> expected = {{0, false, 80}, {0, false, 0}};
    EXPECT_EQ(probe.calls, expected);

    console::host::SetBackend(console::host::Backend{});
    console::ResetScheduler();
}

}  // namespace
