// The window program's window on SDL's dummy video and sound drivers (set by
// the test's environment), so it runs without a display.  Built for the
// host's own architecture with the window program.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/sdl/sdl_frontend.h"

namespace {

using console::host::PadInput;
using console::host::sdl::Window;

class WindowProgram : public testing::Test {
protected:
    void SetUp() override
    {
        // The test's environment names the dummy drivers; make sure of it
        // when the program is run by hand.
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        std::string error;
        ASSERT_TRUE(window_.Open(1, true, &error)) << error;
    }
    void TearDown() override { window_.Close(); }

    static void Key(SDL_Scancode key, bool down)
    {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = key;
        SDL_PushEvent(&event);
    }

    PadInput Pad0()
    {
        PadInput pads[2];
        window_.ReadPads(pads);
        return pads[0];
    }

    static std::vector<uint32_t> Bars()
    {
        std::vector<uint32_t> pixels(640 * 512);
        const uint32_t colours[4] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF};
        for (uint32_t y = 0; y < 512; ++y)
            for (uint32_t x = 0; x < 640; ++x)
                pixels[y * 640 + x] = colours[x / 160];
        return pixels;
    }

    Window window_;
};

TEST_F(WindowProgram, OpensAtItsScaleAndRefusesAnotherScale)
{
    int w = 0, h = 0;
    SDL_GetWindowSize(window_.SdlWindow(), &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 512);
    window_.Close();
    std::string error;
    ASSERT_TRUE(window_.Open(2, false, &error)) << error;
    SDL_GetWindowSize(window_.SdlWindow(), &w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 1024);
    EXPECT_FALSE(window_.HasAudio());  // not asked for
    window_.Close();
    EXPECT_FALSE(window_.Open(9, false, &error));
    EXPECT_NE(error.find("1 to 8"), std::string::npos) << error;
    EXPECT_EQ(window_.SdlWindow(), nullptr);
}

TEST_F(WindowProgram, PresentsFieldsOfAnySize)
{
    const std::vector<uint32_t> bars = Bars();
    for (int field = 1; field <= 5; ++field) {
        window_.CountField();
        window_.Present(bars.data(), 640, 512);
    }
    const std::vector<uint32_t> small(320 * 224, 0xFF808080);
    window_.Present(small.data(), 320, 224);
    window_.Present(nullptr, 0, 0);
    EXPECT_FALSE(window_.QuitAsked());
}

TEST_F(WindowProgram, KeyboardPlaysPadZero)
{
    PadInput idle = Pad0();
    EXPECT_TRUE(idle.connected);
    EXPECT_EQ(idle.buttons, 0);
    EXPECT_EQ(idle.sticks[2], 0x80);

    Key(SDL_SCANCODE_X, true);
    Key(SDL_SCANCODE_UP, true);
    Key(SDL_SCANCODE_1, true);
    Key(SDL_SCANCODE_I, true);
    Key(SDL_SCANCODE_KP_6, true);
    PadInput pad = Pad0();
    EXPECT_EQ(pad.buttons, 0x0040 | 0x1000 | 0x0001);
    EXPECT_EQ(pad.pressure[6], 0xFF);   // cross
    EXPECT_EQ(pad.pressure[2], 0xFF);   // up
    EXPECT_EQ(pad.pressure[10], 0xFF);  // L2
    EXPECT_EQ(pad.sticks[3], 0x00);     // left stick up
    EXPECT_EQ(pad.sticks[2], 0x80);
    EXPECT_EQ(pad.sticks[0], 0xFF);     // right stick right

    // Opposite stick keys cancel out.
    Key(SDL_SCANCODE_K, true);
    Key(SDL_SCANCODE_X, false);
    pad = Pad0();
    EXPECT_EQ(pad.sticks[3], 0x80);
    EXPECT_EQ(pad.buttons, 0x1000 | 0x0001);
    EXPECT_EQ(pad.pressure[6], 0);

    PadInput pads[2];
    window_.ReadPads(pads);
    EXPECT_FALSE(pads[1].connected);  // no second controller
}

// F12 asks the game for a screenshot once per press, held keys not
// repeating; Escape and closing the window ask it to end the run.
TEST_F(WindowProgram, F12AsksForAScreenshotAndEscapeOrClosingForTheEnd)
{
    Key(SDL_SCANCODE_F12, true);
    SDL_Event repeat{};
    repeat.type = SDL_KEYDOWN;
    repeat.key.state = SDL_PRESSED;
    repeat.key.repeat = 1;
    repeat.key.keysym.scancode = SDL_SCANCODE_F12;
    SDL_PushEvent(&repeat);
    Key(SDL_SCANCODE_F12, false);
    Key(SDL_SCANCODE_F12, true);
    window_.Pump();
    EXPECT_EQ(window_.TakeScreenshotRequests(), 2u);
    EXPECT_EQ(window_.TakeScreenshotRequests(), 0u);
    EXPECT_FALSE(window_.QuitAsked());

    Key(SDL_SCANCODE_ESCAPE, true);
    window_.Pump();
    EXPECT_TRUE(window_.QuitAsked());

    window_.Close();
    std::string error;
    ASSERT_TRUE(window_.Open(1, false, &error)) << error;
    EXPECT_FALSE(window_.QuitAsked());
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    window_.Pump();
    EXPECT_TRUE(window_.QuitAsked());
}

TEST_F(WindowProgram, SoundWaitsForItsPrerollAndNeverQueuesTooMuch)
{
    ASSERT_TRUE(window_.HasAudio()) << "SDL's dummy sound driver opens a device";
    // 80 ms of pre-roll: seven 10 ms pieces are not enough, the eighth is.
    std::vector<int16_t> ten_ms(480 * 2, 0);
    for (int i = 0; i < 7; ++i)
        window_.Write(ten_ms.data(), 480);
    EXPECT_FALSE(window_.AudioPlaying());
    window_.Write(ten_ms.data(), 480);
    EXPECT_TRUE(window_.AudioPlaying());
    // A second at once is cut to the newest 250 ms.
    std::vector<int16_t> second(48000 * 2, 0);
    window_.Write(second.data(), 48000);
    EXPECT_LE(window_.QueuedAudioBytes(), 48000u * 4 * 250 / 1000);
}

TEST_F(WindowProgram, RumbleWithoutAControllerIsHarmless)
{
    window_.Set(0, true, 200);
    window_.Set(1, false, 0);
    window_.Set(7, true, 255);
    PadInput pads[2];
    window_.ReadPads(pads);
    EXPECT_TRUE(pads[0].connected);
}

}  // namespace
