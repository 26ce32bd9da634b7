#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/host/png_reader.h"
#include "core/config.h"
#include "host/headless/headless.h"
#include "host/headless/pad_script.h"
#include "host/headless/registry.h"
#include "host/host.h"

namespace {

namespace headless = console::host::headless;
using console::host::RgbaImage;

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A small picture whose pixels depend on the field, so every field differs.
RgbaImage Picture(uint32_t field)
{
    RgbaImage img;
    img.width = 5;
    img.height = 3;
    for (uint32_t i = 0; i < 15; ++i)
        img.pixels.push_back(0xFF000000u | (field * 0x010203u + i * 0x112233u));
    return img;
}

class Headless : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testing::TempDir() + "headless-" + std::to_string(getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir_);
    }
    void TearDown() override
    {
        headless::Uninstall();
        for (const char* option : {"frame-log", "dump-frames", "dump-at", "dump-every"})
            console::SetOption(option, "");
        console::SetOption("headless", "0");
        std::filesystem::remove_all(dir_);
    }

    std::string dir_;
};

TEST_F(Headless, FieldListsAreCommaSeparatedFieldNumbers)
{
    std::set<uint64_t> fields;
    std::string error;
    ASSERT_TRUE(headless::ParseFieldList("300,3,300,12", &fields, &error)) << error;
    EXPECT_EQ(fields, (std::set<uint64_t>{3, 12, 300}));
    for (const char* bad : {"", "3,,4", "4,", "x", "0", "-1", "2 3", "99999999999999999999"}) {
        std::set<uint64_t> none;
        EXPECT_FALSE(headless::ParseFieldList(bad, &none, &error)) << bad;
        EXPECT_NE(error.find("--dump-at"), std::string::npos);
    }
}

TEST_F(Headless, SettingsRefuseDumpChoicesWithoutADirectoryAndTheReverse)
{
    headless::Settings s;
    std::string error;
    console::SetOption("dump-at", "5");
    EXPECT_FALSE(headless::ReadSettings(&s, &error));
    EXPECT_NE(error.find("--dump-frames"), std::string::npos);

    console::SetOption("dump-at", "");
    console::SetOption("dump-frames", dir_);
    EXPECT_FALSE(headless::ReadSettings(&s, &error));
    EXPECT_NE(error.find("--dump-every"), std::string::npos);

    console::SetOption("dump-every", "0");
    EXPECT_FALSE(headless::ReadSettings(&s, &error));

    console::SetOption("dump-every", "25");
    console::SetOption("dump-at", "7");
    ASSERT_TRUE(headless::ReadSettings(&s, &error)) << error;
    EXPECT_TRUE(s.DumpsField(7));
    EXPECT_TRUE(s.DumpsField(50));
    EXPECT_FALSE(s.DumpsField(51));
}

TEST_F(Headless, LogsEveryFieldAndDumpsTheChosenOnes)
{
    headless::Settings s;
    s.frame_log = dir_ + "/frames.log";
    s.dump_dir = dir_ + "/dumps";  // made on opening
    s.dump_every = 2;
    s.dump_at = {5};
    std::filesystem::create_directories(dir_);
    headless::FrameOutput out;
    std::string error;
    ASSERT_TRUE(out.Open(s, &error)) << error;
    for (uint32_t field = 1; field <= 5; ++field)
        out.Present(Picture(field), field, 0);
    out.Close();
    out.Close();
    out.Present(Picture(6), 6, 0);  // after closing: ignored

    EXPECT_EQ(out.DumpsWritten(), 3u);
    for (uint32_t field = 1; field <= 6; ++field)
        EXPECT_EQ(std::filesystem::exists(headless::DumpPath(s.dump_dir, field)), field == 2 || field == 4 || field == 5)
            << field;
    EXPECT_EQ(headless::DumpPath("d", 123), "d/field-000123.png");

    const std::vector<std::string> lines = ReadLines(s.frame_log);
    ASSERT_EQ(lines.size(), 5u);
    for (uint32_t field = 1; field <= 5; ++field) {
        const RgbaImage img = Picture(field);
        char want[64];
        std::snprintf(want, sizeof want, "%u %08x 5 3", field,
                      png_reader::SlowCrc32(reinterpret_cast<const uint8_t*>(img.pixels.data()), 60));
        EXPECT_EQ(lines[field - 1], want);
    }

    png_reader::Picture pic;
    ASSERT_TRUE(png_reader::Load(headless::DumpPath(s.dump_dir, 4), pic));
    ASSERT_EQ(pic.width, 5u);
    ASSERT_EQ(pic.height, 3u);
    const RgbaImage img = Picture(4);
    for (uint32_t i = 0; i < 15; ++i)
        EXPECT_EQ(pic.At(i % 5, i / 5), img.pixels[i]) << i;
}

TEST_F(Headless, UnwritableOutputsAreReportedWhenOpening)
{
    headless::Settings s;
    s.frame_log = dir_ + "/missing/frames.log";
    headless::FrameOutput out;
    std::string error;
    EXPECT_FALSE(out.Open(s, &error));
    EXPECT_NE(error.find("frame log"), std::string::npos);

    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ + "/file") << "x";
    s.frame_log.clear();
    s.dump_dir = dir_ + "/file";
    s.dump_every = 1;
    EXPECT_FALSE(out.Open(s, &error));
    EXPECT_NE(error.find("dump directory"), std::string::npos);
}

TEST_F(Headless, InstallAddsAVideoSinkOnlyWhenPicturesAreWanted)
{
    std::string error;
    ASSERT_TRUE(headless::Install(&error)) << error;
    EXPECT_EQ(console::host::GetBackend().video, nullptr);
    EXPECT_NE(console::host::GetBackend().shutdown, nullptr);

    std::filesystem::create_directories(dir_);
    console::SetOption("frame-log", dir_ + "/f.log");
    ASSERT_TRUE(headless::Install(&error)) << error;
    ASSERT_NE(console::host::GetBackend().video, nullptr);
    console::host::Video().Present(Picture(1), 1, 0);
    console::host::GetBackend().shutdown(0);  // what console::Terminate runs
    EXPECT_EQ(ReadLines(dir_ + "/f.log").size(), 1u);
}

TEST_F(Headless, PadScriptIsTheInputWhenGiven)
{
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ + "/pads.txt") << "@3 pad0 press START\n";
    console::SetOption("pad-script", dir_ + "/pads.txt");
    std::string error;
    const bool installed = headless::Install(&error);
    console::SetOption("pad-script", "");
    ASSERT_TRUE(installed) << error;
    ASSERT_NE(console::host::GetBackend().input, nullptr);
    console::host::PadInput pads[2];
    console::host::Input().Poll(2, pads);
    EXPECT_EQ(pads[0].buttons, 0);
    console::host::Input().Poll(3, pads);
    EXPECT_EQ(pads[0].buttons, console::host::FindPadButton("START")->bit);
}

// A windowed front end for the selection tests.
bool g_window_installs = true;
int g_window_installed = 0;
bool InstallTestWindow(std::string* error)
{
    if (!g_window_installs) {
        *error = "no window today";
        return false;
    }
    ++g_window_installed;
    return true;
}

class FrontEnds : public Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        const char* display = std::getenv("DISPLAY");
        had_display_ = display != nullptr;
        if (display)
            saved_display_ = display;
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        had_wayland_ = wayland != nullptr;
        if (wayland)
            saved_wayland_ = wayland;
        unsetenv("WAYLAND_DISPLAY");
        console::host::RegisterFrontEnd({"test-window", true, 100, &InstallTestWindow});
        g_window_installs = true;
        g_window_installed = 0;
    }
    void TearDown() override
    {
        if (had_display_)
            setenv("DISPLAY", saved_display_.c_str(), 1);
        else
            unsetenv("DISPLAY");
        if (had_wayland_)
            setenv("WAYLAND_DISPLAY", saved_wayland_.c_str(), 1);
        Headless::TearDown();
    }

    bool had_display_ = false, had_wayland_ = false;
    std::string saved_display_, saved_wayland_;
};

TEST_F(FrontEnds, WindowWhenADisplayIsThereHeadlessOtherwise)
{
    setenv("DISPLAY", ":7", 1);
    EXPECT_STREQ(console::host::StartFrontEnd(), "test-window");
    EXPECT_EQ(g_window_installed, 1);

    console::SetOption("headless", "1");
    EXPECT_STREQ(console::host::StartFrontEnd(), "headless");
    console::SetOption("headless", "0");

    unsetenv("DISPLAY");
    EXPECT_FALSE(console::host::HostHasDisplay());
    EXPECT_STREQ(console::host::StartFrontEnd(), "headless");

    setenv("DISPLAY", ":7", 1);
    g_window_installs = false;
    EXPECT_STREQ(console::host::StartFrontEnd(), "headless");
    EXPECT_EQ(g_window_installed, 1);
}

TEST_F(FrontEnds, BadHeadlessOptionsInstallNothing)
{
    console::SetOption("headless", "1");
    console::SetOption("dump-every", "often");
    console::SetOption("dump-frames", dir_);
    EXPECT_EQ(console::host::StartFrontEnd(), nullptr);
}

}  // namespace
