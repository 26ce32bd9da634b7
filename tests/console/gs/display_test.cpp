#include <gtest/gtest.h>

#include <ee/graph.h>
#include <ee/regs.h>

#include <unistd.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/host/png_reader.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/video.h"
#include "gs/display.h"
#include "gs/gs.h"
#include "gs/gsmem.h"
#include "host/headless/headless.h"

namespace {

using console::gs::Psm;

// The display environment of both read circuits, set up and written the way
// the game's platform layer does it: a 16-bit display buffer shown by
// circuit 1, circuit 2 one line lower and one line shorter for the optional
// half-and-half de-flicker blend.
struct TwoCircuits {
    sceGsDispEnv env;
    tGS_DISPFB1 dispfb1;
    tGS_DISPLAY1 display1;

    void Init(u32 block, int w, int h, bool progressive)
    {
        sceGsSetDefDispEnv(&env, 10, static_cast<short>(w), static_cast<short>(h), 0, 0);
        env.dispfb.FBP = (block & 0x3FFF) >> 5;
        if (progressive && h == 512) {
            env.display.DX = 176;
            env.display.DY = 56;
            env.display.MAGH = 2;
            env.display.DW = 1494;
        }
        env.pmode.ALP = 0x80;
        dispfb1 = env.dispfb;
        display1 = env.display;
        env.dispfb.DBY = 1;
        env.display.DH = display1.DH - 1;
        env.pmode.EN1 = 1;
        env.pmode.EN2 = 0;
    }

    void Display(bool both)
    {
        env.pmode.EN1 = 1;
        env.pmode.EN2 = both;
        env.pmode.ALP = both ? 0x80 : 0xFF;
        DPUT_GS_PMODE(std::bit_cast<u64>(env.pmode));
        DPUT_GS_SMODE2(std::bit_cast<u64>(env.smode2));
        DPUT_GS_DISPFB2(std::bit_cast<u64>(env.dispfb));
        DPUT_GS_DISPLAY2(std::bit_cast<u64>(env.display));
        DPUT_GS_DISPLAY1(std::bit_cast<u64>(display1));
        DPUT_GS_DISPFB1(std::bit_cast<u64>(dispfb1));
    }
};

// Eight colour bars 80 pixels wide; green ramps with the row so that
// neighbouring lines differ; odd bars carry the alpha bit.
u16 BarPixel(u32 x, u32 y)
{
    static const u16 kR[8] = {31, 31, 0, 0, 31, 31, 0, 0};
    static const u16 kG[8] = {1, 1, 1, 1, 0, 0, 0, 0};
    static const u16 kB[8] = {31, 0, 31, 0, 31, 0, 31, 0};
    const u32 bar = (x / 80) & 7;
    const u16 g = kG[bar] ? static_cast<u16>(31 - (y & 15)) : static_cast<u16>(y & 15);
    return static_cast<u16>(kR[bar] | g << 5 | kB[bar] << 10 | ((bar & 1) ? 0x8000 : 0));
}

void FillBars(u32 block, u32 fbw, u32 w, u32 h)
{
    auto& vram = console::gs::Vram();
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x)
            vram.WritePixel(Psm::kCT16S, block, fbw, x, y, BarPixel(x, y));
}

// The displayed colour of a 16-bit pixel: each 5-bit channel c shows as
// c << 3 | c >> 2; the picture is opaque.
u32 Shown16(u16 v)
{
    auto widen = [](u32 c) { return c << 3 | c >> 2; };
    return widen(v & 31) | widen((v >> 5) & 31) << 8 | widen((v >> 10) & 31) << 16 | 0xFF000000u;
}

// The read circuits' merge per channel: a out of 255 of the upper colour.
u32 Merge(u32 upper, u32 lower, u32 a)
{
    u32 out = 0xFF000000u;
    for (int s = 0; s < 24; s += 8)
        out |= ((((upper >> s) & 0xFF) * a + ((lower >> s) & 0xFF) * (255 - a) + 127) / 255) << s;
    return out;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class Display : public testing::Test {
protected:
    void SetUp() override
    {
        console::ResetScheduler();
        console::gs::Vram().Clear();
        dir_ = testing::TempDir() + "display-" + std::to_string(getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        console::host::headless::Uninstall();
        for (const char* option : {"frame-log", "dump-frames", "dump-at", "dump-every"})
            console::SetOption(option, "");
        console::ResetScheduler();
        std::filesystem::remove_all(dir_);
    }

    // Frame log and dumps of the chosen fields into the test's directory.
    void StartHeadless(const std::string& dump_at)
    {
        console::SetOption("frame-log", dir_ + "/frames.log");
        console::SetOption("dump-frames", dir_);
        console::SetOption("dump-at", dump_at);
        std::string error;
        ASSERT_TRUE(console::host::headless::Install(&error)) << error;
    }

    static void RunFields(int n)
    {
        for (int i = 0; i < n; ++i)
            sceGsSyncV(0);
    }

    std::string dir_;
};

TEST_F(Display, GameSetUpShowsTheSixteenBitBufferAsA640By512Picture)
{
    StartHeadless("3");
    ASSERT_EQ(sceGsResetGraph(0, 1, 3, 0), 0);
    FillBars(0, 10, 640, 512);
    TwoCircuits disp;
    disp.Init(0, 640, 512, false);
    disp.Display(false);
    RunFields(3);
    console::host::headless::Uninstall();

    png_reader::Picture pic;
    ASSERT_TRUE(png_reader::Load(dir_ + "/field-000003.png", pic));
    ASSERT_EQ(pic.width, 640u);
    ASSERT_EQ(pic.height, 512u);
    std::vector<u32> expected(640 * 512);
    int wrong = 0;
    for (u32 y = 0; y < 512; ++y) {
        for (u32 x = 0; x < 640; ++x) {
            expected[y * 640 + x] = Shown16(BarPixel(x, y));
            if (pic.At(x, y) != expected[y * 640 + x] && ++wrong <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << pic.At(x, y) << ", expected "
                              << expected[y * 640 + x];
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/field-000002.png"));

    // One line per field; each carries the CRC of the picture's RGBA bytes.
    const std::vector<std::string> lines = ReadLines(dir_ + "/frames.log");
    ASSERT_EQ(lines.size(), 3u);
    char want[64];
    std::snprintf(want, sizeof want, "3 %08x 640 512",
                  png_reader::SlowCrc32(reinterpret_cast<const uint8_t*>(expected.data()), expected.size() * 4));
    EXPECT_EQ(lines[2], want);
    EXPECT_EQ(lines[0].substr(0, 2), "1 ");
    EXPECT_EQ(lines[1].substr(0, 2), "2 ");
}

TEST_F(Display, EveryFieldShowsMemoryAndRegistersAsTheyAreThen)
{
    // The de-flicker set-up over a 16-bit buffer; between fields: nothing,
    // a pixel of the buffer's last row of pages, a pixel of another buffer,
    // the background colour (the short circuit 2 shows it on the last
    // line), a raw store into the buffer.  Each field's logged CRC is that
    // of the picture read out afresh after it.
    StartHeadless("1");
    sceGsResetGraph(0, 1, 3, 0);
    FillBars(0, 10, 640, 512);
    TwoCircuits disp;
    disp.Init(0, 640, 512, false);
    DPUT_GS_BGCOLOR(0x102030);
    disp.Display(true);
    std::vector<u32> want;
    auto field = [&] {
        RunFields(1);
        console::host::RgbaImage img;
        console::gs::ReadOutCurrent(img);
        want.push_back(png_reader::SlowCrc32(reinterpret_cast<const uint8_t*>(img.pixels.data()), img.pixels.size() * 4));
    };
    field();
    field();
    console::gs::Vram().WritePixel(Psm::kCT16S, 0, 10, 600, 500, 0x7FFF);
    field();
    console::gs::Vram().WritePixel(Psm::kCT16S, 0x3000, 10, 600, 500, 0x1234);
    field();
    DPUT_GS_BGCOLOR(0x405060);
    field();
    console::gs::Vram().Words()[0] ^= 0x00FF00FFu;
    field();
    console::host::headless::Uninstall();

    const std::vector<std::string> lines = ReadLines(dir_ + "/frames.log");
    ASSERT_EQ(lines.size(), want.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        char expect[64];
        std::snprintf(expect, sizeof expect, "%zu %08x 640 512", i + 1, want[i]);
        EXPECT_EQ(lines[i], expect);
    }
    EXPECT_EQ(want[1], want[0]);
    EXPECT_NE(want[2], want[1]);
    EXPECT_EQ(want[3], want[2]);
    EXPECT_NE(want[4], want[3]);
    EXPECT_NE(want[5], want[4]);
}

TEST_F(Display, PmodeZeroShowsTheBackgroundColourAtTheSameSize)
{
    StartHeadless("2");
    sceGsResetGraph(0, 1, 3, 0);
    FillBars(0, 10, 640, 512);
    TwoCircuits disp;
    disp.Init(0, 640, 512, false);
    disp.Display(false);
    RunFields(1);
    DPUT_GS_BGCOLOR(0xCC8844);  // R 0x44, G 0x88, B 0xCC
    DPUT_GS_PMODE(0);
    RunFields(1);
    console::host::headless::Uninstall();

    png_reader::Picture pic;
    ASSERT_TRUE(png_reader::Load(dir_ + "/field-000002.png", pic));
    ASSERT_EQ(pic.width, 640u);
    ASSERT_EQ(pic.height, 512u);
    for (u32 y = 0; y < 512; y += 7)
        for (u32 x = 0; x < 640; x += 5)
            ASSERT_EQ(pic.At(x, y), 0xFFCC8844u) << x << ", " << y;
}

TEST_F(Display, BothCircuitsBlendEachLineHalfWithTheNext)
{
    sceGsResetGraph(0, 1, 3, 0);
    FillBars(0, 10, 640, 512);
    TwoCircuits disp;
    disp.Init(0, 640, 512, false);
    DPUT_GS_BGCOLOR(0x102030);
    disp.Display(true);
    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    ASSERT_EQ(img.width, 640u);
    ASSERT_EQ(img.height, 512u);
    for (u32 y = 0; y < 511; ++y)
        for (u32 x = 3; x < 640; x += 40)
            ASSERT_EQ(img.pixels[y * 640 + x], Merge(Shown16(BarPixel(x, y)), Shown16(BarPixel(x, y + 1)), 0x80))
                << x << ", " << y;
    // Circuit 2 is one line short: the last line blends with the background.
    EXPECT_EQ(img.pixels[511 * 640 + 100], Merge(Shown16(BarPixel(100, 511)), 0xFF102030u, 0x80));
}

TEST_F(Display, PixelAlphaBlendsCircuitOneOverTheBackground)
{
    // A 32-bit buffer whose alpha byte varies across the line, shown by
    // circuit 1 alone with MMOD 0 (the pixel's own alpha).
    auto& vram = console::gs::Vram();
    const u32 alphas[4] = {0x00, 0x40, 0x80, 0xFF};
    for (u32 x = 0; x < 64; ++x)
        vram.WritePixel(Psm::kCT32, 0, 1, x, 0, 0x00C08040u | alphas[x / 16] << 24);
    tGS_DISPFB1 fb{};
    fb.FBW = 1;
    fb.PSM = 0;
    tGS_DISPLAY1 area{};
    area.MAGH = 0;
    area.DW = 63;
    area.DH = 0;
    tGS_PMODE pmode{};
    pmode.EN1 = 1;
    pmode.CRTMD = 1;
    pmode.MMOD = 0;
    DPUT_GS_DISPFB1(std::bit_cast<u64>(fb));
    DPUT_GS_DISPLAY1(std::bit_cast<u64>(area));
    DPUT_GS_BGCOLOR(0x204060);
    DPUT_GS_PMODE(std::bit_cast<u64>(pmode));

    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    ASSERT_EQ(img.width, 64u);
    ASSERT_EQ(img.height, 1u);
    for (u32 i = 0; i < 4; ++i)
        EXPECT_EQ(img.pixels[i * 16 + 5], Merge(0x00C08040u, 0x00204060u, alphas[i])) << "alpha " << alphas[i];
    EXPECT_EQ(img.pixels[5], 0xFF204060u);   // alpha 0: the background
    EXPECT_EQ(img.pixels[60], 0xFFC08040u);  // alpha 0xFF: the pixel
}

TEST_F(Display, ColumnsPastTheBufferWidthShowWhatLiesBeneath)
{
    FillBars(0, 10, 640, 512);
    TwoCircuits disp;
    disp.Init(0, 640, 512, false);
    disp.dispfb1.DBX = 600;  // 40 columns left in a 640-pixel buffer
    DPUT_GS_BGCOLOR(0x0000FF);
    disp.Display(false);
    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    ASSERT_EQ(img.width, 640u);
    EXPECT_EQ(img.pixels[10 * 640 + 39], Shown16(BarPixel(639, 10)));
    EXPECT_EQ(img.pixels[10 * 640 + 40], 0xFF0000FFu);
    EXPECT_EQ(img.pixels[10 * 640 + 639], 0xFF0000FFu);
}

TEST_F(Display, FinerCircuitSetsThePixelAndCoarserPixelsRepeat)
{
    FillBars(0, 10, 640, 512);
    TwoCircuits disp;
    disp.Init(0, 640, 512, false);
    // Circuit 2 spreads 1,280 pixels over the same line, two clock units each.
    disp.env.dispfb.DBY = 0;
    disp.env.dispfb.FBW = 20;
    disp.env.display.MAGH = 1;
    disp.env.display.DH = 511;
    disp.Display(true);
    tGS_PMODE pmode = disp.env.pmode;
    pmode.ALP = 0xFF;  // circuit 1 only, over circuit 2
    DPUT_GS_PMODE(std::bit_cast<u64>(pmode));

    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    ASSERT_EQ(img.width, 1280u);
    ASSERT_EQ(img.height, 512u);
    for (u32 x = 0; x < 1280; x += 37)
        ASSERT_EQ(img.pixels[7 * 1280 + x], Shown16(BarPixel(x / 2, 7))) << x;
}

TEST_F(Display, ProgressiveSetUpIsShownAsTheRegistersSay)
{
    ASSERT_EQ(sceGsResetGraph(0, 0, 0x50, 0), 0);
    FillBars(0, 10, 640, 512);
    TwoCircuits disp;
    disp.Init(0, 640, 512, true);
    disp.Display(false);
    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    EXPECT_EQ(img.width, 1495u / 3);  // (DW + 1) / (MAGH + 1)
    EXPECT_EQ(img.height, 512u);
    EXPECT_EQ(img.pixels[300 * img.width + 497], Shown16(BarPixel(497, 300)));
    // Progressive fields: CSR.FIELD stays 0.
    EXPECT_EQ(sceGsSyncV(0), 0);
    EXPECT_EQ(sceGsSyncV(0), 0);
}

TEST_F(Display, DefaultEnvironmentIsReadCircuitTwoOverTheWholeBuffer)
{
    sceGsResetGraph(0, 1, 2, 0);
    sceGsDispEnv env;
    sceGsSetDefDispEnv(&env, 0, 512, 448, 0, 0);
    EXPECT_EQ(env.pmode.EN1, 0u);
    EXPECT_EQ(env.pmode.EN2, 1u);
    EXPECT_EQ(env.pmode.MMOD, 1u);
    EXPECT_EQ(env.smode2.INT, 1u);
    EXPECT_EQ(env.dispfb.FBW, 8u);
    console::gs::Vram().WritePixel(Psm::kCT32, 0, 8, 511, 447, 0x11223344);
    sceGsPutDispEnv(&env);
    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    ASSERT_EQ(img.width, 512u);
    ASSERT_EQ(img.height, 448u);
    EXPECT_EQ(img.pixels.back(), 0xFF223344u);
}

TEST_F(Display, ResetGraphSelectsTheFieldRateAndRefusesUnknownModes)
{
    ASSERT_EQ(sceGsResetGraph(0, 1, 2, 0), 0);
    sceGsSyncV(0);
    EXPECT_EQ(console::CurrentVideoMode(), console::VideoMode::kNtsc);
    ASSERT_EQ(sceGsResetGraph(0, 1, 3, 0), 0);
    sceGsSyncV(0);
    EXPECT_EQ(console::CurrentVideoMode(), console::VideoMode::kPal);
    const console::Cycles t0 = console::Now();
    sceGsSyncV(0);
    EXPECT_EQ(console::Now() - t0, console::kPalField);

    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    EXPECT_EQ(sceGsResetGraph(0, 1, 7, 0), -1);
    EXPECT_EQ(console::DiagErrorCount(), 1);
    EXPECT_EQ(console::gs::CurrentGraphMode().mode, console::VideoMode::kPal);
}

TEST(DisplayDeathTest, ExitAfterVblanksEndsWithZeroAfterFlushingTheFrameLog)
{
    const std::string log = testing::TempDir() + "display-exit-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    EXPECT_EXIT(
        {
            console::ResetScheduler();
            console::SetOption("frame-log", log);
            console::SetOption("exit-after-vblanks", "4");
            std::string error;
            if (!console::host::headless::Install(&error))
                std::_Exit(9);
            sceGsResetGraph(0, 1, 3, 0);
            TwoCircuits disp;
            disp.Init(0, 640, 512, false);
            disp.Display(false);
            for (;;)
                sceGsSyncV(0);
        },
        testing::ExitedWithCode(0), "4 fields shown");
    const std::vector<std::string> lines = ReadLines(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(0, 2), "4 ");
    EXPECT_NE(lines[3].find(" 640 512"), std::string::npos);
    std::remove(log.c_str());
}

}  // namespace
