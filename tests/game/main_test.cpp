#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "core/png.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"

using namespace platform_test;

namespace {

int g_draws = 0;

int CountDraws(RawObj*, RAWOBJMESSAGE msg, void*, void*, void*)
{
    if (msg == ROM_DRAW)
        g_draws++;
    return 0;
}

class MainLoop : public ::testing::Test
{
protected:
    void SetUp() override { PowerOff(); }
    void TearDown() override
    {
        world.rawobjPostList.RemoveAll();
        PowerOff();
    }
};

// The game program beside this test program in the build tree.
std::filesystem::path GameProgram()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    self[n] = 0;
    return std::filesystem::path(self).parent_path().parent_path() / "game" / "korvalis";
}

struct GameRun
{
    int status = -1;
    std::string output;
};

GameRun RunGame(const std::string& args)
{
    GameRun r;
    const std::string cmd = GameProgram().string() + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, got);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

u32 PictureCrc(const console::host::RgbaImage& img)
{
    return console::Crc32(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(img.pixels.data()),
                                                   img.pixels.size() * sizeof(u32)));
}

}  // namespace

TEST_F(MainLoop, HundredBlanksShowTheClearedScreenWithAtMostFiftyFlips)
{
    MainStartUp(0, nullptr);
    RawObj hud(CountDraws);
    world.AddPostRawObj(&hud, true);
    g_draws = 0;

    BlankWatcher w;
    Platform::AddCallback(&w);
    int frames = 0;
    while (Platform::Count() < 100)
        MainFrame(frames++);
    Platform::RemoveCallback(&w);

    // Frames are shown two blanks apart at most once each.
    EXPECT_LE(w.FlipBlanks().size(), 50u);
    EXPECT_GE(w.FlipBlanks().size(), 40u);
    EXPECT_EQ(g_draws, frames);   // the post-draw objects are drawn each frame

    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    EXPECT_EQ(PictureDifferences(img, ExpectedClearPicture(640, 512)), 0);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

// The program itself, run headless as a person would.
TEST(KorvalisProgram, HeadlessRunPrintsStartUpAndDumpsTheDitheredClear)
{
    const std::filesystem::path program = GameProgram();
    ASSERT_TRUE(std::filesystem::exists(program)) << program << " is not built";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvalis-main-test-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    const std::filesystem::path log = dir / "frames.log";
    std::filesystem::create_directories(dir);

    GameRun r = RunGame("--headless --exit-after-vblanks 100 --frame-log " + log.string() + " --dump-frames " +
                    (dir / "png").string() + " --dump-at 100");
    EXPECT_EQ(r.status, 0) << r.output;

    // Start-up lines in order; the streamer and sound start-ups report only
    // their failures, between the module loads and the graphics set-up.
    const std::string& out = r.output;
    const size_t replace = out.find("Replace IOP\n");
    const size_t load = out.find("Load IRX's\n");
    const size_t graphics = out.find("_InitGraphics()\n");
    ASSERT_NE(replace, std::string::npos) << out;
    ASSERT_NE(load, std::string::npos) << out;
    ASSERT_NE(graphics, std::string::npos) << out;
    EXPECT_LT(replace, load);
    EXPECT_LT(load, graphics);
    for (const char* line : {"Streaming initialization failed.\n", "Sound initialization failed.\n"}) {
        const size_t at = out.find(line);
        if (at != std::string::npos) {
            EXPECT_GT(at, load) << line;
            EXPECT_LT(at, graphics) << line;
        }
    }
    const size_t stream = out.find("Streaming initialization failed.\n");
    const size_t sound = out.find("Sound initialization failed.\n");
    if (stream != std::string::npos && sound != std::string::npos) {
        EXPECT_LT(stream, sound);
    }

    // The last field shown is the grey clear, dithered to 16 bits.
    std::ifstream in(log);
    std::string line, last;
    int lines = 0;
    while (std::getline(in, line)) {
        last = line;
        lines++;
    }
    EXPECT_EQ(lines, 100);
    std::istringstream fields(last);
    unsigned field = 0, width = 0, height = 0;
    std::string crc;
    fields >> field >> crc >> width >> height;
    EXPECT_EQ(field, 100u);
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 512u);
    char want[16];
    std::snprintf(want, sizeof want, "%08x", PictureCrc(ExpectedClearPicture(640, 512)));
    EXPECT_EQ(crc, want);
    EXPECT_TRUE(std::filesystem::exists(dir / "png" / "field-000100.png"));

    std::filesystem::remove_all(dir);
}
