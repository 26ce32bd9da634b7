// The window front end on SDL's dummy video and sound drivers (set by the
// test's environment), so it runs without a display.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/scheduler.h"
#include "host/host.h"
#include "host/sdl/sdl_frontend.h"

namespace {

using console::host::PadInput;
using console::host::sdl::Window;

class WindowFrontEnd : public testing::Test {
protected:
    void SetUp() override
    {
        // The test's environment names the dummy drivers; make sure of it
        // when the program is run by hand.
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        console::ResetConfig();
        console::ResetScheduler();
        std::string error;
        ASSERT_TRUE(console::host::sdl::Install(&error)) << error;
        window_ = console::host::sdl::InstalledWindow();
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override
    {
        console::host::sdl::Uninstall();
        console::ResetConfig();
        console::ResetScheduler();
    }

    static void Key(SDL_Scancode key, bool down)
    {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = key;
        SDL_PushEvent(&event);
    }

    static PadInput Pad0()
    {
        PadInput pads[2];
        console::host::Input().Poll(1, pads);
        return pads[0];
    }

    static console::host::RgbaImage Bars()
    {
        console::host::RgbaImage image;
        image.width = 640;
        image.height = 512;
        image.pixels.resize(640 * 512);
        const uint32_t colours[4] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF};
        for (uint32_t y = 0; y < 512; ++y)
            for (uint32_t x = 0; x < 640; ++x)
                image.pixels[y * 640 + x] = colours[x / 160];
        return image;
    }

    Window* window_ = nullptr;
};

TEST_F(WindowFrontEnd, InstallsEverySinkAndRunsOnTheRealTimeClock)
{
    const console::host::Backend& backend = console::host::GetBackend();
    EXPECT_EQ(backend.video, static_cast<console::host::VideoSink*>(window_));
    EXPECT_EQ(backend.rumble, static_cast<console::host::RumbleSink*>(window_));
    EXPECT_NE(backend.input, nullptr);
    EXPECT_NE(backend.shutdown, nullptr);
    EXPECT_EQ(console::GetClockPolicy(), console::ClockPolicy::kRealTime);
    int w = 0, h = 0;
    SDL_GetWindowSize(window_->SdlWindow(), &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 512);
}

TEST_F(WindowFrontEnd, PresentsFieldsOfAnySize)
{
    console::host::RgbaImage bars = Bars();
    for (uint32_t field = 1; field <= 5; ++field)
        console::host::Video().Present(bars, field, 0);
    console::host::RgbaImage small;
    small.width = 320;
    small.height = 224;
    small.pixels.assign(320 * 224, 0xFF808080);
    console::host::Video().Present(small, 6, 0);
    console::host::RgbaImage empty;
    console::host::Video().Present(empty, 7, 0);
}

TEST_F(WindowFrontEnd, KeyboardPlaysPadZero)
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
    console::host::Input().Poll(2, pads);
    EXPECT_FALSE(pads[1].connected);  // no second controller
}

TEST_F(WindowFrontEnd, F12WritesTheNextPictureToAPng)
{
    const std::string dir = testing::TempDir() + "window_smoke";
    std::filesystem::create_directories(dir);
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    Key(SDL_SCANCODE_F12, true);
    console::host::Video().Present(Bars(), 42, 0);
    std::filesystem::current_path(saved);
    ASSERT_EQ(window_->LastScreenshot(), "korvalis-field-000042.png");
    std::ifstream png(dir + "/" + window_->LastScreenshot(), std::ios::binary);
    std::vector<unsigned char> head(24);
    ASSERT_TRUE(png.read(reinterpret_cast<char*>(head.data()), 24));
    EXPECT_EQ(head[1], 'P');
    // IHDR: width and height, big-endian, after the signature and chunk header.
    EXPECT_EQ((head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19], 640);
    EXPECT_EQ((head[20] << 24) | (head[21] << 16) | (head[22] << 8) | head[23], 512);
    std::filesystem::remove_all(dir);
}

TEST_F(WindowFrontEnd, SoundWaitsForItsPrerollAndNeverQueuesTooMuch)
{
    if (!window_->HasAudio())
        GTEST_SKIP() << "no sound device";
    std::vector<int16_t> ten_ms(480 * 2, 0);
    for (int i = 0; i < 7; ++i)
        console::host::Audio().Write(ten_ms.data(), 480);
    EXPECT_FALSE(window_->AudioPlaying());
    console::host::Audio().Write(ten_ms.data(), 480);
    EXPECT_TRUE(window_->AudioPlaying());
    std::vector<int16_t> second(48000 * 2, 0);
    console::host::Audio().Write(second.data(), 48000);
    EXPECT_LE(window_->QueuedAudioBytes(), console::host::sdl::kAudioMaxQueuedBytes);
}

TEST_F(WindowFrontEnd, RumbleWithoutAControllerIsHarmless)
{
    console::host::Rumble().Set(0, true, 200);
    console::host::Rumble().Set(1, false, 0);
    PadInput pads[2];
    console::host::Input().Poll(3, pads);
}

TEST_F(WindowFrontEnd, EscapeEndsTheRun)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Key(SDL_SCANCODE_ESCAPE, true);
            Pad0();
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(WindowFrontEnd, ClosingTheWindowEndsTheRun)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SDL_Event quit{};
            quit.type = SDL_QUIT;
            SDL_PushEvent(&quit);
            console::host::Video().Present(Bars(), 1, 0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
