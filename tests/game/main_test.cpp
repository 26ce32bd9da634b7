#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <thread>

#include "console/host/png_reader.h"
#include "tools/lib/p2b_sample.h"
#include "tools/lib/setupfile.h"
#include "host/headless/pad_script.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "ZevEngine2/PS2/sound_support.h"
#include "core/config.h"
#include "core/png.h"
#include "game/Camera.h"
#include "game/disc_run_support.h"
#include "game/explode_support.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/userintf.h"
#include "game/QuadTree.h"
#include "game/fbfx.h"

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
    GameController* savedGC = nullptr;

    void SetUp() override
    {
        PowerOffAll();
        // The random numbers as a program's start finds them.
        srand(1);
        savedGC = g_pgcTest;
    }
    // A start-up's controller, world, models and fonts go with it, and the
    // controller in use before it is put back.
    void TearDown() override
    {
        world.rawobjPostList.RemoveAll();
        discrun::EndStartedProgram(savedGC);
        PowerOffAll();
    }
    // The machine off, and with it the streaming client's memory of the
    // module it loaded: the next start-up loads the module afresh rather
    // than calling a server that went with the machine.
    static void PowerOffAll()
    {
        PowerOff();
        irxloaded = 0;
        initialized = 0;
        numvfdsallocated = 0;
    }
};

// A program of the build tree: the game, or a tool.
std::filesystem::path BuiltProgram(const char* dir, const char* name)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    self[n] = 0;
    return std::filesystem::path(self).parent_path().parent_path() / dir / name;
}

// The game program beside this test program in the build tree.
std::filesystem::path GameProgram()
{
    return BuiltProgram("game", "korvalis");
}

struct GameRun
{
    int status = -1;
    std::string output;
};

GameRun RunProgram(const std::filesystem::path& program, const std::string& args)
{
    GameRun r;
    const std::string cmd = program.string() + " " + args + " 2>&1";
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

GameRun RunGame(const std::string& args)
{
    return RunProgram(GameProgram(), args);
}

// Where each of `lines` first appears in `out`, failing the test for a
// missing one or one out of order.
void ExpectInOrder(const std::string& out, std::initializer_list<const char*> lines)
{
    size_t last = 0;
    for (const char* line : lines) {
        const size_t at = out.find(line);
        ASSERT_NE(at, std::string::npos) << "missing: " << line << "\n" << out;
        EXPECT_GE(at, last) << "out of order: " << line << "\n" << out;
        last = at;
    }
}

// Removes a test's scratch directory however the test ends.
struct RemoveOnExit
{
    std::filesystem::path dir;
    ~RemoveOnExit() { std::filesystem::remove_all(dir); }
};

// A new, empty scratch directory named after the test and this process.
std::filesystem::path ScratchDir(const char* name)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / (name + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// The sample disc made by the disc tool in dir/disc; fails the test when the
// game or the tool is not built or the tool fails.
void MakeSampleDisc(const std::filesystem::path& dir)
{
    const std::filesystem::path program = GameProgram();
    const std::filesystem::path mkdisc = BuiltProgram("tools", "mkdisc");
    ASSERT_TRUE(std::filesystem::exists(program)) << program << " is not built";
    ASSERT_TRUE(std::filesystem::exists(mkdisc)) << mkdisc << " is not built";
    const GameRun made = RunProgram(mkdisc, (dir / "disc").string());
    ASSERT_EQ(made.status, 0) << made.output;
}

png_reader::Picture ReadPicture(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    png_reader::Picture pic;
    EXPECT_TRUE(png_reader::Decode(file, pic)) << path;
    return pic;
}

u8 Red(u32 p) { return u8(p); }
u8 Green(u32 p) { return u8(p >> 8); }
u8 Blue(u32 p) { return u8(p >> 16); }

// The left channel of a stereo 16-bit WAVE file as the headless front end
// writes it.
std::vector<int16_t> WavLeft(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> left;
    for (size_t at = 12; at + 8 <= file.size();) {
        u32 size;
        std::memcpy(&size, &file[at + 4], 4);
        if (std::string(&file[at], 4) == "data") {
            for (size_t i = at + 8; i + 4 <= at + 8 + size && i + 4 <= file.size(); i += 4) {
                int16_t v;
                std::memcpy(&v, &file[i], 2);
                left.push_back(v);
            }
            break;
        }
        at += 8 + size;
    }
    return left;
}

int Peak(const std::vector<int16_t>& s, size_t from, size_t to)
{
    int peak = 0;
    for (size_t i = from; i < std::min(to, s.size()); i++)
        peak = std::max(peak, std::abs(int(s[i])));
    return peak;
}

u32 PictureCrc(const console::host::RgbaImage& img)
{
    return console::Crc32(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(img.pixels.data()),
                                                   img.pixels.size() * sizeof(u32)));
}

}  // namespace

TEST_F(MainLoop, HundredBlanksShowTheSkyOverTheClearWithAtMostFiftyFlips)
{
    // The start-up without a run: no script runs, the frames show the world.
    StartUp(0, nullptr);
    ASSERT_EQ(g_pgcTest->iMainExitVal, 0);
    RawObj hud(CountDraws);
    world.AddPostRawObj(&hud, true);
    g_draws = 0;

    BlankWatcher w;
    Platform::AddCallback(&w);
    int frames = 0;
    while (Platform::Count() < 100) {
        MainLoopFrame();
        frames++;
    }
    Platform::RemoveCallback(&w);

    // Frames are shown two blanks apart at most once each.
    EXPECT_LE(w.FlipBlanks().size(), 50u);
    EXPECT_GE(w.FlipBlanks().size(), 40u);
    EXPECT_EQ(g_draws, frames);   // the post-draw objects are drawn each frame

    // Without a disc the world draws its sky alone (a day sky above the
    // horizon) over the clear: the bottom rows stay the clear.
    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    const console::host::RgbaImage clear = ExpectedClearPicture(640, 512);
    int differ = 0;
    for (size_t i = 400 * 640; i < img.pixels.size(); i++)
        differ += ((img.pixels[i] ^ clear.pixels[i]) & 0xFFFFFF) != 0;
    EXPECT_EQ(differ, 0);
    const u32 sky = img.pixels[10 * 640 + 320];
    EXPECT_GT(Blue(sky), Red(sky) + 20);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

// An interior is lit by the light set of its lighting unless its set-up
// brings an ambient light of its own; then only the set-up's lights light
// it.  A white lit box fills the view in front of the camera; the set-up
// has a grey ambient light of colour 64 at intensity 0.5, which gives the
// lights 64 x 0.5 / 128 = 0.25 of white, and a face lit by that alone is
// drawn 0.25 x 128 = 32 in each channel.
TEST_F(MainLoop, AnInteriorWithItsOwnAmbientLightIsLitByItsLightsOnly)
{
    StartUp(0, nullptr);
    GameController* gc = g_pgcTest;
    auto frame = [&](bool ambient) {
        tools::SetupFile s;
        s.file.models.push_back(tools::BoxModel(4.0f, 4.0f, 1.0f, TEXID_NONE, true));
        const int room = s.file.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 6), VectorXYZ(0, 0, 0), 0x8001));
        if (ambient) {
            NODE light;
            std::string error;
            EXPECT_TRUE(tools::MakeLightNode(0, Colour(64, 64, 64, 255), 0.5f, 10.0f, 1.0f, VectorPos(0, 0, 0),
                                             VectorXYZ(0, 0, 0), light, error))
                << error;
            s.file.AddNode(room, light);
        }
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteSetup(s, bytes, error)) << error;
        explodetest::SlotFile f(195, bytes);
        EXPECT_NE(gc->LoadIntExtSetup(-1, f.mf(), true), nullptr);
        EXPECT_TRUE(gc->bInterior);
        EXPECT_EQ(gc->bUseDefInteriorLights, !ambient);
        // The camera stands where the set-up is put (31.25 above the
        // origin), looking at the box 5 in front of it.
        Camera view;
        view.mat = TransMatrix(0.0f, -31.25f, 0.0f);
        view.zoom = 1.6f;
        cam = &view;
        for (int i = 0; i < 4; i++)
            MainLoopFrame();
        console::host::RgbaImage img;
        console::gs::ReadOutCurrent(img);
        SetCurrentCam(nullptr);
        // The frame chains still to be drawn read the set-up's models: its
        // file goes only once they have been drawn.
        const DrawFence drawn = Platform::PlaceFence();
        while (!Platform::FencePassed(drawn))
            Platform::Sync();
        // The start-up's controller is in the world's frame calls and may
        // have timers: the world's clear would delete it through them, so it
        // is taken out first and its frame call put back after.
        world.StopTimer(gc);
        world.framecalllist.Remove(gc);
        world.Clear();
        world.StartFrameCall(gc);
        return img;
    };
    // The shown picture is the 16-bit display's: a 4 x 4 block of its
    // dither, whose sixteen offsets together pin the drawn value.
    const console::host::RgbaImage own = frame(true), lightset = frame(false);
    for (int y = 256; y < 260; y++)
        for (int x = 320; x < 324; x++) {
            const u32 grey = Shown16(32, x, y);
            EXPECT_EQ(own.pixels[size_t(y) * 640 + x] & 0xFFFFFF, grey | grey << 8 | grey << 16) << x << ", " << y;
        }
    // With the default lights the light set's ambient and its three lights
    // light the box: brighter than the set-up's own light alone.
    int brighter = 0;
    for (int y = 256; y < 260; y++)
        for (int x = 320; x < 324; x++)
            brighter += Red(lightset.pixels[size_t(y) * 640 + x]) > Red(own.pixels[size_t(y) * 640 + x]);
    EXPECT_EQ(brighter, 16);
    gc->bInterior = gc->bUseDefInteriorLights = false;
}

// The interface's blur at full strength over the cleared screen: the main
// loop lays it over every frame, and the even grey comes out brighter.
TEST_F(MainLoop, FullStrengthFrameBlurBrightensTheShownPicture)
{
    StartUp(0, nullptr);
    gMotionBlurSmoothBrighten.level = 1.0f;
    while (Platform::Count() < 20)
        MainLoopFrame();
    gMotionBlurSmoothBrighten.level = 0.0f;

    console::host::RgbaImage img;
    console::gs::ReadOutCurrent(img);
    const console::host::RgbaImage clear = ExpectedClearPicture(640, 512);
    for (int y : {10, 256, 500})
        for (int x : {10, 320, 630}) {
            const u32 got = img.pixels[size_t(y) * 640 + size_t(x)];
            const u32 plain = clear.pixels[size_t(y) * 640 + size_t(x)];
            EXPECT_GT(Red(got), Red(plain)) << x << ", " << y;
            EXPECT_GT(Blue(got), Blue(plain)) << x << ", " << y;
        }
}

// The program itself, run headless as a person would.
TEST(KorvalisProgram, HeadlessRunWithoutADiscPrintsTheStartUpAndEndsTheScriptAtOnce)
{
    const std::filesystem::path program = GameProgram();
    ASSERT_TRUE(std::filesystem::exists(program)) << program << " is not built";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvalis-main-test-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    const std::filesystem::path log = dir / "frames.log";
    std::filesystem::create_directories(dir);
    const RemoveOnExit cleanup{dir};

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
    // Without a disc the loads fail, each saying so, and the run goes on:
    // the eight start-up lines, then the first step (the timed drive) finds
    // no placement file and no driving cars and goes on to its continue
    // picture, which the run's end cuts short.
    ExpectInOrder(out, {"_InitGraphics()\n", "Loading world...\n", "Done loading world.\n", "Loading sound...\n",
                        " ZEVSOUND_LOADBANK failed\n", "Done loading sound.\n", "Loading characters...\n",
                        "DACE.P2B cannot be opened\n", "Done loading characters.\n", "Loading animations...\n",
                        "Done loading animations.\n",
                        "KVWorld: no mission file KORVALIS\\DemoData\\Missions\\Mission2.exm; no placeholders\n",
                        "GlobalMFI: vehicle 27 cannot be loaded: there is no vehicle group\n"});
    EXPECT_EQ(out.find("mission step M2_"), std::string::npos) << out;

    // One line a field, the last one dumped.
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
    EXPECT_TRUE(std::filesystem::exists(dir / "png" / "field-000100.png"));
}

TEST(KorvalisProgram, HelpListsTheOptionsAndAMissingDiscIsRefusedByName)
{
    const GameRun help = RunGame("--help");
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_NE(help.output.find("usage: "), std::string::npos) << help.output;
    for (const char* option : {"--disc VALUE", "--headless", "--exit-after-vblanks VALUE", "--pad-script VALUE"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option << "\n" << help.output;
    // Nothing of the game ran.
    EXPECT_EQ(help.output.find("_InitGraphics()"), std::string::npos) << help.output;

    const std::string missing =
        (std::filesystem::temp_directory_path() / ("korvalis-no-such-disc-" + std::to_string(getpid()))).string();
    const GameRun run = RunGame("--headless --exit-after-vblanks 5 --disc " + missing);
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("--disc " + missing + ": no such folder or file"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("_InitGraphics()"), std::string::npos) << run.output;
}

// The disc as a user gives it.  A file named as the disc, or a folder with
// no game in it, is refused before anything of the game runs, with one line
// naming it; the help says what the disc is.  A disc whose KORVALIS folder
// is a link to one elsewhere starts up as the sample disc itself does.
TEST(KorvalisProgram, ADiscIsAFolderHoldingTheGameWhereverItsFolderLies)
{
    const std::filesystem::path dir = ScratchDir("korvalis-disc-forms-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));

    const GameRun help = RunGame("--help");
    EXPECT_EQ(help.output.find("ISO"), std::string::npos) << help.output;

    std::ofstream(dir / "disc.iso") << "CD001";
    std::filesystem::create_directories(dir / "empty");
    for (const char* name : {"disc.iso", "empty"}) {
        const std::string disc = (dir / name).string();
        const GameRun run = RunGame("--headless --exit-after-vblanks 5 --disc " + disc);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_EQ(run.output.rfind("korvalis: --disc " + disc + ": ", 0), 0u) << run.output;
    }

    std::filesystem::create_directories(dir / "linked");
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::rename(dir / "disc" / "KORVALIS", dir / "elsewhere" / "KORVALIS");
    std::filesystem::create_directory_symlink(dir / "elsewhere" / "KORVALIS", dir / "linked" / "KORVALIS");
    const GameRun linked = RunGame("--headless --exit-after-vblanks 300 --disc " + (dir / "linked").string());
    EXPECT_EQ(linked.status, 0) << linked.output;
    ExpectInOrder(linked.output, {"Replace IOP\n", "Done loading world.\n", "Done loading sound.\n",
                                  "Done loading characters.\n", "Done loading animations.\n"});
    for (const char* failure : {"not on the disc", "Failed to create stream", "failed", "cannot be"})
        EXPECT_EQ(linked.output.find(failure), std::string::npos) << failure << "\n" << linked.output;
}

// A pad script that presses SELECT (leave the demo) at each of the fields.
std::filesystem::path LeaveScript(const std::filesystem::path& dir, std::initializer_list<int> fields)
{
    const std::filesystem::path path = dir / "leave.pad";
    std::ofstream out(path);
    for (int f : fields)
        out << "@" << f << " pad0 press SELECT for 2\n";
    return path;
}

// The demo as ./dev demo runs it headless, one run handed back: the title
// while the game starts, the eight loading lines, the timed drive's
// continue picture and then the streets at the drive's start, the player
// leaving the demo with SELECT (the drive's clock comes with its mode), the
// five closing screens, the hand-back.
TEST(KorvalisProgram, SampleDiscRunShowsTheTitleTheStreetsAndTheClosingScreensThenHandsBack)
{
    const std::filesystem::path dir = ScratchDir("korvalis-demo-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));

    const std::filesystem::path log = dir / "frames.log";
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() + " --exit-after-runs 1 --frame-log " +
                              log.string() + " --dump-frames " + (dir / "png").string() +
                              " --dump-at 1,2,3,4,5,6,7,8,1400,1600 --pad-script " + LeaveScript(dir, {1700}).string());
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectInOrder(r.output, {"Replace IOP\n", "Load IRX's\n", "_InitGraphics()\n", "Loading world...\n",
                             "Done loading world.\n", "Loading sound...\n", "Done loading sound.\n",
                             "Loading characters...\n", "Done loading characters.\n",
                             "Loading animations...\n", "Done loading animations.\n", "Run over: "});
    EXPECT_EQ(r.output.find("not built yet"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("mission step M2_"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("the world has no city"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("malformed"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("no mission file"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Loading characters...\n", r.output.find("Done loading characters.\n")),
              std::string::npos);
    // The player's model, his hand-held props and the animation groups the
    // start-up keeps load from the disc without a word.
    for (const char* file : {"Char\\DACE.P2B", "Misc\\BADGE.P2B", "Misc\\SIREN.P2B", "Char\\NPCDEF.ANI",
                             "Vags\\NPCDEF.SND", "Char\\DACEDEF.ANI", "Vags\\DACEDEF.SND", "Char\\DACECOMB.ANI",
                             "Vags\\DACECOMB.SND", "Char\\DACEGUNS.ANI", "Vags\\DACEGUNS.SND", "Char\\DACECAR.ANI",
                             "Vags\\DACECAR.SND"})
        EXPECT_EQ(r.output.find(std::string("KORVALIS\\DemoData\\") + file), std::string::npos) << file;
    // Every resident model and effect bank of the start-up is on the disc.
    for (const ResidentModel& m : ResidentModels())
        EXPECT_EQ(r.output.find(std::string(m.name) + " cannot be opened"), std::string::npos) << m.name;
    const size_t soundDone = r.output.find("Done loading sound.\n");
    EXPECT_EQ(r.output.rfind("ZEVSOUND_LOADBANK failed", soundDone), std::string::npos) << r.output;

    // One of the first fields shows the title picture (a red sky above, a
    // blue disc in the middle) before the first frame is flipped.
    int titles = 0;
    for (int field = 1; field <= 8; field++) {
        char name[32];
        std::snprintf(name, sizeof name, "field-%06d.png", field);
        const png_reader::Picture pic = ReadPicture(dir / "png" / name);
        if (pic.width != 640 || pic.height != 512)
            continue;
        const u32 sky = pic.At(10, 10), middle = pic.At(320, 240);
        titles += Red(sky) > 150 && Green(sky) < 60 && Blue(middle) > 200 && Red(middle) < 60;
    }
    EXPECT_GT(titles, 0);

    // Field 1400 shows the drive's continue picture; field 1600, after its
    // 20 seconds, the world again from the player's camera: the sky along
    // the top, and most of the picture changed.
    const png_reader::Picture wait = ReadPicture(dir / "png" / "field-001400.png");
    const png_reader::Picture pic = ReadPicture(dir / "png" / "field-001600.png");
    ASSERT_EQ(pic.width, 640u);
    ASSERT_EQ(pic.height, 512u);
    ASSERT_EQ(wait.width, 640u);
    const console::host::RgbaImage clear = ExpectedClearPicture(640, 512);
    int top = 0, changed = 0;
    for (u32 y = 0; y < 512; y++)
        for (u32 x = 0; x < 640; x++) {
            const bool covered = ((pic.At(x, y) ^ clear.pixels[size_t(y) * 640 + x]) & 0xFFFFFF) != 0;
            top += y < 40 && covered;
            changed += ((pic.At(x, y) ^ wait.At(x, y)) & 0xFFFFFF) != 0;
        }
    EXPECT_GT(top, 40 * 640 * 8 / 10);
    EXPECT_GT(changed, 640 * 512 * 8 / 10);

    // The closing screens: five of 600 blanks each close the run, so the
    // run has at least 1700 (up to the SELECT) + 3000 fields.
    std::ifstream in(log);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        lines++;
    EXPECT_GT(lines, 4700);
}

// A GS dump of the demo (made here, kept in the build tree for the replay
// benchmark) replays without the game to the run's own frame log, field by
// field, and with other thread counts than the run's.
TEST(KorvalisProgram, GsDumpOfTheDemoReplaysToTheRunsFrameLog)
{
    const std::filesystem::path program = GameProgram();
    const std::filesystem::path mkdisc = BuiltProgram("tools", "mkdisc");
    const std::filesystem::path replay = BuiltProgram("tools", "gsreplay");
    ASSERT_TRUE(std::filesystem::exists(program) && std::filesystem::exists(mkdisc) &&
                std::filesystem::exists(replay));
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvalis-gsdump-test-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const RemoveOnExit cleanup{dir};
    ASSERT_EQ(RunProgram(mkdisc, (dir / "disc").string()).status, 0);

    const std::filesystem::path dump = dir / "demo.gsdump", log = dir / "frames.log";
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() +
                              " --exit-after-vblanks 120 --gs-threads 3 --gs-dump " + dump.string() + " --frame-log " +
                              log.string());
    ASSERT_EQ(r.status, 0) << r.output;
    std::ifstream in(log);
    const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 120);

    // The reference path draws the same fields as the fast paths at any
    // number of draw threads.
    for (const char* threads : {"0", "8", "1 --reference"}) {
        const GameRun played = RunProgram(replay, dump.string() + " --gs-threads " + threads);
        ASSERT_EQ(played.status, 0) << played.output;
        // The replay's field lines, without its closing summary.
        std::string fields;
        std::istringstream lines(played.output);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("gsreplay:", 0) != 0)
                fields += line + "\n";
        EXPECT_EQ(fields, logged) << threads << " threads";
        EXPECT_NE(played.output.find("120 fields"), std::string::npos) << played.output;
    }
    // The benchmarks replay the same dump.
    std::filesystem::copy_file(dump, BuiltProgram("tests", "demo.gsdump"),
                               std::filesystem::copy_options::overwrite_existing);
}

// The launcher's "rain" argument: the same run with and without it differs
// only where streaks and splashes fall over the street the test drive's
// chase camera sees (the run is otherwise the same: rain takes no time from
// the clock, and the test drive has no crowd whose chance draws the rain's
// particles would change).
TEST(KorvalisProgram, TheRainArgumentRainsOverTheStreets)
{
    const std::filesystem::path dir = ScratchDir("korvalis-rain-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));

    png_reader::Picture pics[2];
    for (int rain = 0; rain < 2; rain++) {
        const std::string out = (dir / ("png" + std::to_string(rain))).string();
        const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() +
                                  " --start 0,0 --exit-after-vblanks 1600 --gs-pixels-for-kept --dump-frames " +
                                  out + " --dump-at 1600" + (rain ? " rain" : ""));
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output.find("Particles:"), std::string::npos) << r.output;
        pics[rain] = ReadPicture(std::filesystem::path(out) / "field-001600.png");
        ASSERT_EQ(pics[rain].width, 640u);
        ASSERT_EQ(pics[rain].height, 512u);
    }
    int streaked = 0, darker = 0;
    u64 dryLight = 0, wetLight = 0;
    for (u32 y = 0; y < 512; y++)
        for (u32 x = 0; x < 640; x++) {
            const u32 dry = pics[0].At(x, y), wet = pics[1].At(x, y);
            streaked += ((dry ^ wet) & 0xFFFFFF) != 0;
            darker += Blue(wet) < Blue(dry);
            dryLight += Red(dry) + Green(dry) + Blue(dry);
            wetLight += Red(wet) + Green(wet) + Blue(wet);
        }
    // Streaks and the rainy lighting sets change the view.  The player and
    // his car stand in it (they, and the HUD, stay much as they are), so the
    // greyer sky and the duller street are counted over the whole frame:
    // more than a third of it loses blue, and the frame as a whole is dimmer
    // by more than a tenth.  Streaks alone could do neither: pale lines over
    // the dark walls brighten them.
    EXPECT_GT(streaked, 5000);
    EXPECT_GT(darker, 640 * 512 / 3);
    EXPECT_LT(wetLight * 10, dryLight * 9);
}

// The continue prompt waits one blank a frame for its seconds x 60 blanks;
// a CROSS already pressed ends it at once; a still screen of 0 seconds only
// switches the loading screen on and off and reads the pads twice.
TEST_F(MainLoop, DemoScreensLastTheirBlanksOrEndOnCross)
{
    StartUp(0, nullptr);
    controller[0].pad = 0;
    u32 from = Platform::Count();
    EXPECT_EQ(Demo_ContinueScreen(20.0f), 0);
    EXPECT_EQ(Platform::Count() - from, 1200u);

    controller[0].pad = 0x40u << 16;   // CROSS newly pressed
    from = Platform::Count();
    Demo_ContinueScreen(20.0f);
    EXPECT_EQ(Platform::Count() - from, 0u);

    controller[0].pad = 0;
    from = Platform::Count();
    Demo_DisplayScreen(4, 0.0f);
    EXPECT_EQ(Platform::Count() - from, 2u);
    EXPECT_FALSE(GameController::iUILoading);
    EXPECT_EQ(g_pgcTest->iDemoLoadScreenOverride, 0);   // used once by the loading screen
}

// SELECT newly pressed asks to leave with 1, with START held 2 (either
// order); in the cinema mode the request marks the cinematic for abort.
TEST_F(MainLoop, LeaveRequestsByPadAndMode)
{
    const struct
    {
        u32 pad;
        int request;
    } cases[] = {{0x0100u << 16 | 0x0100u, 1},
                 {0x0800u << 16 | 0x0900u, 2},
                 {0x0100u << 16 | 0x0900u, 2},
                 {0x0100u, 0},
                 {0x0800u << 16 | 0x0800u, 0}};
    for (const auto& c : cases) {
        g_iDemoAbort = 0;
        bDemoForceAbortCinematic = 0;
        world.mode = WORLD_MODE_NORMAL;
        controller[0].pad = c.pad;
        LeaveRequest();
        EXPECT_EQ(g_iDemoAbort, c.request) << std::hex << c.pad;
        world.mode = WORLD_MODE_CINEMA;
        g_iDemoAbort = 0;
        LeaveRequest();
        EXPECT_EQ(g_iDemoAbort, 0);
        EXPECT_EQ(bDemoForceAbortCinematic, c.request != 0 ? 1 : 0);
    }
    world.mode = WORLD_MODE_NORMAL;
    bDemoForceAbortCinematic = 0;
    controller[0].pad = 0;
}

// Three runs with the launcher taking each hand-back: every run starts
// clean, reads the episode's placement file again (the first step finds it
// each time) and leaves the heap as the first run left it.  The runs play
// the test drive, whose world is the same whenever the player leaves it.
TEST(KorvalisProgram, ReturnedHandBacksStartCleanRunsThatLeaveTheHeapAsTheFirst)
{
    const std::filesystem::path dir = ScratchDir("korvalis-runs-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    // Each run is left with SELECT (the drive's clock comes with its mode):
    // a press every 400 fields ends each run soon after it starts.
    const std::filesystem::path script = dir / "leave.pad";
    {
        std::ofstream out(script);
        for (int f = 400; f <= 40000; f += 400)
            out << "@" << f << " pad0 press SELECT for 2\n";
    }
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() +
                              " --start 0,0 --exit-after-runs 3 --pad-script " + script.string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("no mission file"), std::string::npos) << r.output;
    std::vector<std::string> frees;
    for (size_t at = r.output.find("Run over: "); at != std::string::npos; at = r.output.find("Run over: ", at + 1))
        frees.push_back(r.output.substr(at, r.output.find('\n', at) - at));
    ASSERT_EQ(frees.size(), 3u) << r.output;
    EXPECT_EQ(frees[1], frees[0]);
    EXPECT_EQ(frees[2], frees[0]);
}

// The demo's other two records on the sample disc: the bar (episode 2,
// record 6) and the spa (episode 3, record 12) find every file they name:
// their cast, the karate group, the set-up files and the scenes with their
// sound; nothing the steps load is missing.
TEST(KorvalisProgram, TheBarAndTheSpaFindEveryFileTheyName)
{
    const std::filesystem::path dir = ScratchDir("korvalis-records-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    for (const char* start : {"2,6", "3,12"}) {
        const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() + " --exit-after-vblanks 1500 --start " +
                                  start);
        ASSERT_EQ(r.status, 0) << r.output;
        const size_t loaded = r.output.find("Done loading animations.\n");
        ASSERT_NE(loaded, std::string::npos) << r.output;
        const std::string steps = r.output.substr(loaded);
        EXPECT_EQ(steps.find("cannot be opened"), std::string::npos) << start << "\n" << steps;
        EXPECT_EQ(steps.find("Failed to create stream"), std::string::npos) << start << "\n" << steps;
        EXPECT_EQ(steps.find("GlobalAGI"), std::string::npos) << start << "\n" << steps;
        EXPECT_EQ(steps.find("no mission file"), std::string::npos) << start << "\n" << steps;
    }
}

// The bar fight left to the thugs (Cross ends the continue card first): the
// three karate thugs close in and fight the idle player until he is beaten,
// and the fight reports its loss.
TEST(KorvalisProgram, TheBarFightIsLostWhenThePlayerOnlyStandsThere)
{
    const std::filesystem::path dir = ScratchDir("korvalis-barfight-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const std::filesystem::path idle = dir / "idle.pad";
    std::ofstream(idle) << "@700 pad0 press CROSS for 2\n";
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() +
                              " --gs-no-pixels --start 2,6 --exit-after-vblanks 7600 --pad-script " + idle.string());
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectInOrder(r.output, {"Fight: begun\n", "Fight: lost\n"});
    EXPECT_EQ(r.output.find("Fight: won"), std::string::npos) << r.output;
}

// The launcher's start point: --start 3,12 runs the record episode 2's
// failure would go to; a malformed value is refused by name and the demo's
// start point stays.
TEST(KorvalisProgram, StartOptionChoosesTheFirstRecord)
{
    GameRun r = RunGame("--headless --exit-after-vblanks 30 --start 3,12");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("no mission file KORVALIS\\DemoData\\Missions\\Mission3.exm"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("Mission2.exm"), std::string::npos) << r.output;

    r = RunGame("--headless --exit-after-vblanks 30 --start 3");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("--start 3: expected EPISODE,RECORD; the run starts at 2,5\n"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("no mission file KORVALIS\\DemoData\\Missions\\Mission2.exm"), std::string::npos)
        << r.output;
}

namespace {

int g_ticksSeen = 0;
int g_endAfterTicks = 0;

// A frame-call object that counts the ticks it sees and ends the run on the
// chosen one.
int TickCounter(Object*, OBJMESSAGE msg, void*)
{
    if (msg == OM_FRAME && ++g_ticksSeen == g_endAfterTicks)
        g_pgcTest->iMainExitVal = -1;
    return 0;
}

}  // namespace

// The ticks of a frame follow the blank counter: seven blanks owed run four
// ticks, a frame in the same blank waits for the next and runs one; paused,
// the tick count still runs, mode 2 draws and mode 3 does not; a script end
// inside a batch skips its other ticks and the picture.
TEST_F(MainLoop, TicksFollowTheBlanksAndPausesAndTheScriptsEnd)
{
    StartUp(0, nullptr);
    RawObj hud(CountDraws);
    world.AddPostRawObj(&hud, true);
    Object counter(TickCounter);
    world.StartFrameCall(&counter);
    g_ticksSeen = 0;
    g_endAfterTicks = 0;

    iLastUpdateVSync = int(Platform::Count()) - 7;
    EXPECT_EQ(MainLoopFrame(), 4);
    EXPECT_EQ(g_ticksSeen, 4);

    iLastUpdateVSync = int(Platform::Count());
    const u32 before = Platform::Count();
    g_ticksSeen = 0;
    EXPECT_EQ(MainLoopFrame(), 1);
    EXPECT_EQ(g_ticksSeen, 1);
    EXPECT_GE(Platform::Count(), before + 1);

    for (WORLD_MODE_ENUM m : {WORLD_MODE_PAUSED, WORLD_MODE_PAUSED_NODRAW}) {
        world.mode = m;
        g_ticksSeen = 0;
        g_draws = 0;
        const int ticksBefore = vsyncprev;
        iLastUpdateVSync = int(Platform::Count()) - 2;
        EXPECT_EQ(MainLoopFrame(), 2);
        EXPECT_EQ(vsyncprev - ticksBefore, 2);
        EXPECT_EQ(g_ticksSeen, 0);   // the world stands still
        EXPECT_EQ(g_draws, m == WORLD_MODE_PAUSED ? 1 : 0);
    }
    world.mode = WORLD_MODE_NORMAL;

    g_ticksSeen = 0;
    g_draws = 0;
    g_endAfterTicks = 2;
    iLastUpdateVSync = int(Platform::Count()) - 4;
    MainLoopFrame();
    EXPECT_EQ(g_ticksSeen, 2);
    EXPECT_EQ(g_draws, 0);
    EXPECT_EQ(g_pgcTest->iMainExitVal, -1);
    g_pgcTest->iMainExitVal = 0;
    world.StopFrameCall(&counter);
    world.framecalllist.Remove(&counter);
}

namespace {

int g_cineTicks = 0;
int g_cineLeftAt = 0;
int g_cineExitSeenAt = 0;

// Stands in for a cinematic that ends when it is aborted: on the tick the
// abort is asked for, the scene is over and the world leaves the cinema
// mode.  Notes on which tick the run's end is first seen.
int CinematicEndsOnAbort(Object*, OBJMESSAGE msg, void*)
{
    if (msg != OM_FRAME)
        return 0;
    g_cineTicks++;
    if (world.mode == WORLD_MODE_CINEMA && bDemoForceAbortCinematic) {
        world.mode = WORLD_MODE_NORMAL;
        g_cineLeftAt = g_cineTicks;
    }
    if (g_pgcTest->iMainExitVal != 0 && g_cineExitSeenAt == 0)
        g_cineExitSeenAt = g_cineTicks;
    return 0;
}

}  // namespace

// SELECT pressed on pad 0 during a cinematic: the scene is aborted at once,
// play goes on, and the run ends with 2 two ticks after the cinema mode has
// been left (the tick that leaves it, one more, then the end).
TEST_F(MainLoop, SelectInACinematicAbortsItAndEndsTheRunTwoTicksAfterTheSceneIsLeft)
{
    console::host::PadScriptInput script;
    console::host::Backend backend;
    backend.input = &script;
    console::host::SetBackend(backend);
    StartUp(0, nullptr);
    std::string error;
    const uint64_t press = console::FieldCount() + 12;
    ASSERT_TRUE(script.Parse("@" + std::to_string(press) + " pad0 press SELECT for 6\n", "test", &error)) << error;

    Object scene(CinematicEndsOnAbort);
    world.StartFrameCall(&scene);
    scene.flags |= OBJF_CINEMAFRAME;   // called in the cinema mode too
    g_cineTicks = g_cineLeftAt = g_cineExitSeenAt = 0;
    // One tick a frame until the run ends; the frames before the press
    // draw nothing (the shell mode), the cinematic starts two before it.
    world.mode = WORLD_MODE_SHELL;
    for (int i = 0; i < 40 && g_pgcTest->iMainExitVal == 0; i++) {
        if (world.mode == WORLD_MODE_SHELL && console::FieldCount() + 2 >= press)
            world.mode = WORLD_MODE_CINEMA;
        iLastUpdateVSync = int(Platform::Count());
        EXPECT_EQ(MainLoopFrame(), 1);
    }
    world.StopFrameCall(&scene);
    world.framecalllist.Remove(&scene);
    console::host::SetBackend(console::host::Backend{});

    EXPECT_EQ(g_pgcTest->iMainExitVal, 2);
    ASSERT_GT(g_cineLeftAt, 0);
    EXPECT_EQ(g_cineExitSeenAt, g_cineLeftAt + 2);
    EXPECT_EQ(g_cineTicks, g_cineExitSeenAt);   // no tick after the end
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
    g_pgcTest->iMainExitVal = 0;
    g_iDemoAbort = 0;
    bDemoForceAbortCinematic = 0;
}

namespace {

int g_roundTicks = 0;
int g_roundEndsAt = 0;

// A dojo round's controller whose round ends on a chosen tick: it hands
// over its figures, chooses the summary screen and pauses the world.
int DojoRoundEnds(Object*, OBJMESSAGE msg, void*)
{
    if (msg == OM_FRAME && ++g_roundTicks == g_roundEndsAt) {
        sDojoRoundStats stats{5, 5, 4};
        SetDojoRoundStats(&stats);
        SetPauseScreenMode(UI_DojoSummaryScreen);
        world.mode = WORLD_MODE_PAUSED;
    }
    return 0;
}

}  // namespace

// A dojo round ending in the game's own loop: the world stops, the summary
// is built over the frozen frame after 15 frames of dimming and stays until
// Cross is pressed on pad 0; then play goes on from the same tick.
TEST_F(MainLoop, ADojoSummaryOpenedByARoundStaysOverTheFrozenGameUntilCross)
{
    console::host::PadScriptInput script;
    console::host::Backend backend;
    backend.input = &script;
    console::host::SetBackend(backend);
    StartUp(0, nullptr);
    static Font gui(Font_GUI_text), head(Font_GUI_heading), large(Font_UI_Large);
    g_pGUIFont = &gui;
    g_pGUIHead = &head;
    g_pfontUILarge = &large;
    Object round(DojoRoundEnds);
    world.StartFrameCall(&round);
    g_roundTicks = 0;
    g_roundEndsAt = 3;
    auto frame = [] {
        iLastUpdateVSync = int(Platform::Count());
        MainLoopFrame();
    };
    for (int f = 0; f < 3; f++)
        frame();
    EXPECT_EQ(world.mode, WORLD_MODE_PAUSED);
    for (int f = 0; f < 16; f++)
        frame();
    EXPECT_EQ(world.mode, WORLD_MODE_PAUSED_NODRAW);
    ASSERT_NE(UI.pCurrMenu, nullptr);
    EXPECT_STREQ(DojoRoundName, "SWEEP-KICK FINISH EARNED!");
    EXPECT_STREQ(DojoRoundStatsHit, "5 Hits");
    EXPECT_EQ(g_roundTicks, 3);   // the world stands still

    std::string error;
    const uint64_t press = console::FieldCount() + 4;
    ASSERT_TRUE(script.Parse("@" + std::to_string(press) + " pad0 press CROSS for 8\n", "test", &error)) << error;
    for (int f = 0; f < 20 && world.mode != WORLD_MODE_NORMAL; f++)
        frame();
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    EXPECT_EQ(GetPauseScreenMode(), UI_None);
    EXPECT_GE(console::FieldCount(), press);
    frame();
    EXPECT_EQ(g_roundTicks, 4);
    world.StopFrameCall(&round);
    world.framecalllist.Remove(&round);
    console::host::SetBackend(console::host::Backend{});
    g_pGUIFont = g_pGUIHead = g_pfontUILarge = nullptr;
}

// The sound listener is the current camera object's own matrix, and the
// identity when there is no camera object: a sound started 13 units from the
// origin is heard 13 away without a camera, 12 away from a camera standing
// at (3, 4, 0).
TEST_F(MainLoop, TheListenerIsTheCameraOrTheIdentityWithoutOne)
{
    StartUp(0, nullptr);
    alignas(64) static u8 file[16384];
    const std::vector<u8> bank = soundtest::Bank({soundtest::Tone("hum", 440, 4000, 22050)});
    ASSERT_LE(bank.size(), sizeof file);
    std::memcpy(file, bank.data(), bank.size());
    const u16 handle = sound.LoadSoundBank(file, u32(bank.size()), false);
    ASSERT_NE(handle, 0xFFFF);

    auto heardFrom = [&](Camera* listener) {
        cam = listener;
        const int c = sound.AllocChannel(false);
        sound.SetPosition(c, VectorPos(3.0f, 4.0f, 12.0f));
        sound.SetDoppler(c, true);
        sound.Play(c, handle, 0);
        iLastUpdateVSync = int(Platform::Count());
        MainLoopFrame();
        return sound.GetChannel(c)->dist;
    };
    Camera* const was = cam;
    EXPECT_FLOAT_EQ(heardFrom(nullptr), 13.0f);
    Camera standing;
    standing.SetPos(VectorPos(3.0f, 4.0f, 0.0f));
    EXPECT_FLOAT_EQ(heardFrom(&standing), 12.0f);
    SetCurrentCam(was);
    sound.StopAll();
}

// The five closing screens from the sample disc as the loading screen draws
// them, each for half a second after its fade from white: DEMOEND1..5,
// five distinct pictures, kept at a quarter of their size side by side.
// The screen's random flicker is pinned to one draw (the number of draws
// while a picture streams in follows the disc's timing).
TEST_F(MainLoop, ClosingScreensShowTheDiscsFivePictures)
{
    const std::filesystem::path dir = ScratchDir("korvalis-closing-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    std::string program = "main_test", option = "--disc", disc = (dir / "disc").string();
    char* args[] = {program.data(), option.data(), disc.data(), nullptr};
    int argc = 3;
    console::Configure(argc, args, console::ConfigureMode::kTest);
    StartUp(0, nullptr);

    constexpr int kTile = 160, kTileH = 128;
    std::vector<u32> strip(size_t(5 * kTile * kTileH));
    std::vector<std::vector<u32>> tiles;
    for (int screen = 4; screen <= 8; screen++) {
        // Demo_DisplayScreen's frames, the flicker pinned.
        controller[0].pad = 0;
        g_pgcTest->iDemoLoadScreenOverride = screen;
        g_pgcTest->StartLoading();
        SetDemoLoadState(1);
        for (int f = 0; f < 30; f++) {
            srand(1);
            UI.PrevBright = 128;
            for (Callback* cb = LoadingCallback::cbs.First(); cb != nullptr; cb = cb->next)
                if ((*cb)(nullptr) != 0)
                    break;
            Platform::Sync();
        }
        console::host::RgbaImage img;
        console::gs::ReadOutCurrent(img);
        ASSERT_EQ(img.pixels.size(), size_t(640 * 512));
        std::vector<u32> tile;
        for (int y = 0; y < kTileH; y++)
            for (int x = 0; x < kTile; x++) {
                const u32 p = img.pixels[size_t(4 * y) * 640 + size_t(4 * x)];
                tile.push_back(p);
                strip[size_t(y) * 5 * kTile + size_t(screen - 4) * kTile + size_t(x)] = p;
            }
        tiles.push_back(tile);
        g_pgcTest->EndLoading();
    }
    console::ResetConfig();
    for (size_t a = 0; a < tiles.size(); a++) {
        int white = 0;
        for (u32 p : tiles[a])
            white += (p & 0xFFFFFF) == 0xFFFFFF;
        EXPECT_LT(white, kTile * kTileH / 10) << "screen " << a + 4;   // faded in
        for (size_t b = a + 1; b < tiles.size(); b++)
            EXPECT_NE(tiles[a], tiles[b]) << a + 4 << " and " << b + 4;
    }
    golden::ExpectPicture("closing_screens", 5 * kTile, kTileH, strip);
}

// The studio card shows while the game starts, at its flickering grey
// level, and once the start-up has loaded the player's groups the title card
// fades in from white; both fields match golden pictures.
TEST(KorvalisProgram, StudioCardThenTitleCardShowWhileTheGameLoads)
{
    const std::filesystem::path dir = ScratchDir("korvalis-loading-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() +
                              " --exit-after-vblanks 130 --dump-frames " + (dir / "png").string() + " --dump-at 40,120");
    ASSERT_EQ(r.status, 0) << r.output;
    const struct
    {
        const char* field;
        const char* golden;
    } fields[] = {{"field-000040.png", "loading_studio"}, {"field-000120.png", "loading_title_fading_in"}};
    for (const auto& f : fields) {
        const png_reader::Picture pic = ReadPicture(dir / "png" / f.field);
        ASSERT_EQ(pic.width, 640u);
        ASSERT_EQ(pic.height, 512u);
        golden::ExpectPicture(f.golden, 640, 512, golden::PictureWords(pic));
    }
}

namespace {

// The w x h crop of a dumped field at (x, y), row by row.
std::vector<u32> Crop(const png_reader::Picture& pic, u32 x, u32 y, u32 w, u32 h)
{
    std::vector<u32> words;
    for (u32 r = y; r < y + h; r++)
        for (u32 c = x; c < x + w; c++)
            words.push_back(pic.At(c, r));
    return words;
}

// Dark grey pixels (the prompt's text) and warm card pixels in the band of
// the prompt line.
std::pair<int, int> PromptBand(const png_reader::Picture& pic)
{
    int text = 0, card = 0;
    for (u32 y = 464; y < 492; y++)
        for (u32 x = 144; x < 400; x++) {
            const int r = Red(pic.At(x, y)), g = Green(pic.At(x, y)), b = Blue(pic.At(x, y));
            text += r < 85 && g < 85 && b < 85 && std::abs(r - b) < 10 && std::abs(r - g) < 10;
            card += r > 100 && r > b + 15;
        }
    return {text, card};
}

}  // namespace

// The timed drive's briefing card shows the continue prompt over its bottom
// and a new Cross ends it long before its 20 seconds; the drive's HUD then
// shows in the top-left corner (strength, head, distance meter) and the
// radar's corner.  The bar fight (record 6, its card left with Cross too)
// shows its HUD corner.  Crops of the dumped fields match golden pictures.
TEST(KorvalisProgram, TheContinuePromptEndsOnCrossAndTheHudCornersShow)
{
    const std::filesystem::path dir = ScratchDir("korvalis-prompt-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    // Cross on the drive's card at field 500; on the bar's card and in its
    // scene at 300 and 400.
    auto script = [&](const char* name, std::initializer_list<int> fields) {
        const std::filesystem::path path = dir / name;
        std::ofstream out(path);
        for (int f : fields)
            out << "@" << f << " pad0 press CROSS for 8\n";
        return path.string();
    };
    const std::string disc = " --disc " + (dir / "disc").string() + " --pad-script ";
    GameRun r = RunGame("--headless" + disc + script("drive.pad", {500}) + " --exit-after-vblanks 600 --dump-frames " +
                        (dir / "drive").string() + " --dump-at 450,600");
    ASSERT_EQ(r.status, 0) << r.output;
    const png_reader::Picture card = ReadPicture(dir / "drive" / "field-000450.png");
    const png_reader::Picture drive = ReadPicture(dir / "drive" / "field-000600.png");
    ASSERT_EQ(card.width, 640u);
    ASSERT_EQ(drive.width, 640u);
    // The prompt's letters over the briefing card.
    EXPECT_GT(PromptBand(card).first, 300);
    EXPECT_GT(PromptBand(card).second, 3000);
    golden::ExpectPicture("drive_hud_top_left", 136, 200, Crop(drive, 16, 16, 136, 200));
    golden::ExpectPicture("drive_hud_radar", 140, 146, Crop(drive, 16, 358, 140, 146));

    r = RunGame("--headless" + disc + script("bar.pad", {300, 400}) + " --start 2,6 --exit-after-vblanks 550 --dump-frames " +
                (dir / "bar").string() + " --dump-at 550");
    ASSERT_EQ(r.status, 0) << r.output;
    const png_reader::Picture fight = ReadPicture(dir / "bar" / "field-000550.png");
    ASSERT_EQ(fight.width, 640u);
    golden::ExpectPicture("bar_fight_hud_top_left", 72, 80, Crop(fight, 16, 16, 72, 80));
}

// The demo's drive from the precinct (the default start; Cross ends the
// briefing card, the right stick turns the player's camera east down Elm
// Street): both ambient populations fill the streets round the precinct.
// The crowd's size is printed in the first check (every 15 frames) of each
// 600 frames, never above the caps of 10, with walkers and cars about once
// the drive runs; a field of the street matches its golden picture, and a
// second run draws it the same.
TEST(KorvalisProgram, ThePrecinctStreetFillsWithWalkersAndCarsWithinTheirCaps)
{
    const std::filesystem::path dir = ScratchDir("korvalis-precinct-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const std::filesystem::path pad = dir / "east.pad";
    std::ofstream(pad) << "@500 pad0 press CROSS for 8\n@540 pad0 stick R 0x00 0x80\n@577 pad0 stick R 0x80 0x80\n";
    const std::string args = "--headless --disc " + (dir / "disc").string() + " --pad-script " + pad.string() +
                             " --exit-after-vblanks 1250 --gs-pixels-for-kept --dump-frames ";
    const GameRun r = RunGame(args + (dir / "one").string() + " --dump-at 1100");
    ASSERT_EQ(r.status, 0) << r.output;

    std::vector<std::array<int, 3>> counts;   // walkers, cars, frame
    for (size_t at = r.output.find("crowd: "); at != std::string::npos; at = r.output.find("crowd: ", at + 1)) {
        std::array<int, 3> c{};
        ASSERT_EQ(sscanf(r.output.c_str() + at, "crowd: %d walkers (iNumPeds), %d cars (iNumVehs) at frame %d", &c[0],
                         &c[1], &c[2]),
                  3);
        counts.push_back(c);
    }
    ASSERT_GE(counts.size(), 2u) << r.output;
    for (size_t i = 0; i < counts.size(); i++) {
        EXPECT_LE(counts[i][0], 10);
        EXPECT_LE(counts[i][1], 10);
        if (i > 0) {
            EXPECT_GE(counts[i][2] / 600, counts[i - 1][2] / 600 + 1);
            EXPECT_LT(counts[i][2] % 600, 15);
        }
    }
    EXPECT_GT(counts.back()[0], 0);
    EXPECT_GT(counts.back()[1], 0);

    const png_reader::Picture street = ReadPicture(dir / "one" / "field-001100.png");
    ASSERT_EQ(street.width, 640u);
    ASSERT_EQ(street.height, 512u);
    golden::ExpectPicture("precinct_street_east", 640, 512, Crop(street, 0, 0, 640, 512));
    const GameRun again = RunGame(args + (dir / "two").string() + " --dump-at 1100");
    ASSERT_EQ(again.status, 0) << again.output;
    std::ifstream a(dir / "one" / "field-001100.png", std::ios::binary), b(dir / "two" / "field-001100.png", std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                           std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>()));
}

// The test episode's quick drive (record 0): car 65 is made at the default
// spot in Elm Street (x 0, z 35) with its origin on the road (a car's origin
// is at its wheels' bottom; the road lies 1 above the zero level).  The
// player is made at the same spot first and then put into the car at the
// driver's seat: his own camera follows the car from behind, whose dark
// blue paint fills the lower half of the view, still 150 fields on; that
// field matches its golden picture.
TEST(KorvalisProgram, TheTestDriveSeatsThePlayerInCar65AtTheDefaultSpot)
{
    const std::filesystem::path dir = ScratchDir("korvalis-testdrive-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() +
                              " --start 0,0 --exit-after-vblanks 500 --dump-frames " + (dir / "png").string() +
                              " --dump-at 350,500");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Mission_Test_Main is not built"), std::string::npos) << r.output;
    float x = 0, y = 0, z = 0;
    const size_t at = r.output.find("Mission_Test: car 65 at (");
    ASSERT_NE(at, std::string::npos) << r.output;
    ASSERT_EQ(sscanf(r.output.c_str() + at, "Mission_Test: car 65 at (%f, %f, %f)", &x, &y, &z), 3);
    EXPECT_NEAR(x, 0.0f, 0.001f);
    EXPECT_NEAR(z, 35.0f, 0.001f);
    EXPECT_NEAR(y, -1.0f, 0.02f);
    // Seated by the player's own car code: no placeholder answers for it.
    EXPECT_EQ(r.output.find("Stand-in: the player's driving"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Stand-in: the player's seating"), std::string::npos) << r.output;

    const png_reader::Picture early = ReadPicture(dir / "png" / "field-000350.png");
    const png_reader::Picture late = ReadPicture(dir / "png" / "field-000500.png");
    ASSERT_EQ(late.width, 640u);
    ASSERT_EQ(early.width, 640u);
    for (const png_reader::Picture* pic : {&early, &late}) {
        int paint = 0;
        for (u32 py = 260; py < 400; py++)
            for (u32 px = 100; px < 540; px++) {
                const u32 c = pic->At(px, py);
                paint += Red(c) < 60 && Blue(c) > Red(c) + 20;
            }
        EXPECT_GT(paint, 10000);
    }
    golden::ExpectPicture("testdrive_at_the_default_spot", 640, 512, Crop(late, 0, 0, 640, 512));
}

// The drive's opening, the player left idle and then getting into his car
// (Cross ends the briefing card at field 500, L1 at 620): his camera stands
// behind him on the pavement with the car in front of him, and as he gets
// in it swings round behind the car without ever going into it: the car's
// blue paint never fills half the picture, nor, while he stands idle, the
// bottom third of it.  Crops of both match their golden pictures: idle, the
// door open as he gets in, and seated with the camera behind the car.
TEST(KorvalisProgram, TheDrivesCameraStaysOutOfTheCarWhileThePlayerWaitsAndGetsIn)
{
    const std::filesystem::path dir = ScratchDir("korvalis-drivecam-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const std::filesystem::path pad = dir / "getin.pad";
    std::ofstream(pad) << "@500 pad0 press CROSS for 8\n@620 pad0 press L1 for 3\n";
    std::string at;
    for (int f = 610; f <= 800; f += 10)
        at += (at.empty() ? "" : ",") + std::to_string(f);
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() + " --pad-script " + pad.string() +
                              " --exit-after-vblanks 800 --dump-frames " + (dir / "png").string() + " --dump-at " + at);
    ASSERT_EQ(r.status, 0) << r.output;
    auto paint = [](const png_reader::Picture& pic, u32 y0, u32 y1) {
        int n = 0;
        for (u32 y = y0; y < y1; y++)
            for (u32 x = 0; x < 640; x++) {
                const u32 c = pic.At(x, y);
                n += Blue(c) > Red(c) + 40 && Blue(c) > Green(c) + 20;
            }
        return double(n) / (640.0 * double(y1 - y0));
    };
    for (int f = 610; f <= 800; f += 10) {
        char name[32];
        std::snprintf(name, sizeof name, "field-%06d.png", f);
        const png_reader::Picture pic = ReadPicture(dir / "png" / name);
        ASSERT_EQ(pic.width, 640u) << f;
        EXPECT_LT(paint(pic, 0, 512), 0.5) << "field " << f;
        if (f == 610) {
            EXPECT_LT(paint(pic, 341, 512), 0.25);
        }
    }
    // The goldens are crops of the car and the ground before it: the street
    // beyond, where the ambient walkers and cars stand, and the player's
    // own idle sway come out a little differently from run to run on a
    // busy machine.
    const struct
    {
        const char* field;
        const char* golden;
        int x, y, w, h;
    } golden[3] = {{"field-000610.png", "drive_idle_camera", 0, 340, 640, 172},
                   {"field-000690.png", "drive_getting_in", 200, 270, 380, 230},
                   {"field-000800.png", "drive_seated_behind_the_car", 200, 340, 270, 140}};
    for (const auto& g : golden) {
        const png_reader::Picture pic = ReadPicture(dir / "png" / g.field);
        golden::ExpectPicture(g.golden, g.w, g.h, Crop(pic, g.x, g.y, g.w, g.h));
    }
}

// The drive to the bar, throttle held, swung hard right into the avenue:
// the rear wheels slide, leaving dark marks, and their smoke hangs as soft
// grey puffs over the road behind and left of the car.  The golden is a
// crop of the car and the road behind it (the green glow at its right is
// a traffic light's), clear of the radar and of the crossing beyond, where
// the ambient walkers and cars pass.
TEST(KorvalisProgram, TheCarSkiddingIntoTheAvenueLeavesTyreSmoke)
{
    const std::filesystem::path dir = ScratchDir("korvalis-tyresmoke-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const std::filesystem::path pad = dir / "skid.pad";
    {
        std::ofstream out(pad);
        out << "@411 pad0 press CROSS for 2\n";
        for (int f = 466; f <= 526; f += 6)
            out << "@" << f << " pad0 press L1 for 3\n";
        out << "@600 pad0 press CROSS\n@600 pad0 stick L 0xC0 0x80\n@700 pad0 stick L 0x80 0x80\n"
               "@905 pad0 stick L 0xFF 0x80\n";
    }
    const GameRun r = RunGame("--headless --disc " + (dir / "disc").string() + " --pad-script " + pad.string() +
                              " --exit-after-vblanks 938 --gs-pixels-for-kept --dump-frames " +
                              (dir / "png").string() + " --dump-at 938");
    ASSERT_EQ(r.status, 0) << r.output;
    const png_reader::Picture pic = ReadPicture(dir / "png" / "field-000938.png");
    ASSERT_EQ(pic.width, 640u);
    golden::ExpectPicture("drive_with_tyre_smoke", 340, 200, Crop(pic, 150, 255, 340, 200));
}

namespace {

// Plays a scene record ("episode,record") of the sample disc headless, Cross
// ending its continue card at field 300, until field `exit_after`; gives the
// run and the picture of field `field`.
void PlaySceneToField(const char* prefix, const std::string& start, int field, int exit_after, GameRun* run,
                      png_reader::Picture* shot)
{
    const std::filesystem::path dir = ScratchDir(prefix);
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const std::filesystem::path pad = dir / "card.pad";
    std::ofstream(pad) << "@300 pad0 press CROSS for 2\n";
    *run = RunGame("--headless --disc " + (dir / "disc").string() + " --start " + start + " --pad-script " +
                   pad.string() + " --exit-after-vblanks " + std::to_string(exit_after) + " --dump-frames " +
                   (dir / "png").string() + " --dump-at " + std::to_string(field));
    ASSERT_EQ(run->status, 0) << run->output;
    char name[32];
    std::snprintf(name, sizeof name, "field-%06d.png", field);
    *shot = ReadPicture(dir / "png" / name);
    ASSERT_EQ(shot->width, 640u);
    ASSERT_EQ(shot->height, 512u);
}

}  // namespace

// The bar's scene (episode 2, record 6; Cross ends the continue card): the
// player walks up to the cast member over two shots and the third looks
// past the cast member's shoulder at him while the cast member gestures.
// A field of that shot matches its golden picture; the fight begins once
// the scene is over.
TEST(KorvalisProgram, TheBarsSceneShowsThePlayerFacingTheGesturingCastMember)
{
    GameRun r;
    png_reader::Picture shot;
    ASSERT_NO_FATAL_FAILURE(PlaySceneToField("korvalis-barscene-test-", "2,6", 470, 560, &r, &shot));
    EXPECT_NE(r.output.find("Fight: begun"), std::string::npos) << r.output;
    golden::ExpectPicture("bar_scene_last_shot", 640, 512, Crop(shot, 0, 0, 640, 512));
}

// The bar after the fight (episode 2, record 7), its set-up loaded for the
// cinematic only: the two thugs whose generators make them at the fight's
// start stand at the back of the room, left and right, past the cast
// member; a field of the scene's one shot matches its golden picture.
TEST(KorvalisProgram, TheBarAfterTheFightShowsItsTwoThugsStanding)
{
    GameRun r;
    png_reader::Picture shot;
    ASSERT_NO_FATAL_FAILURE(PlaySceneToField("korvalis-barafter-test-", "2,7", 240, 241, &r, &shot));
    EXPECT_EQ(r.output.find("cannot be opened"), std::string::npos) << r.output;
    golden::ExpectPicture("bar_after_the_fight_thugs", 640, 512, Crop(shot, 0, 0, 640, 512));
}

// The spa's scene (episode 3, record 12; Cross ends the continue card): one
// shot from in front of the player at his eye height, framing the standing
// figure from head to foot, matches its golden picture, right edge and all
// (the frame blur once laid a faint enlarged copy of the picture's top-left
// quarter over it: the player's shoulder stood at its right edge).
TEST(KorvalisProgram, TheSpasSceneFramesThePlayerStandingByThePool)
{
    GameRun r;
    png_reader::Picture shot;
    ASSERT_NO_FATAL_FAILURE(PlaySceneToField("korvalis-spascene-test-", "3,12", 380, 381, &r, &shot));
    golden::ExpectPicture("spa_scene_last_shot", 640, 512, Crop(shot, 0, 0, 640, 512));
}

namespace {

// The test interior (episode 0, record 1) played headless twice from the
// pad script `pad` for `fields` fields: the first run dumps the fields
// listed in `dumpAt` into dir/png; the two runs' frame logs hold a line a
// field and are alike.
void PlayTestInteriorTwice(const std::filesystem::path& dir, const std::string& pad, int fields,
                           const std::string& dumpAt)
{
    const std::filesystem::path script = dir / "run.pad";
    {
        std::ofstream out(script);
        out << pad;
    }
    // Both runs draw only the pictures the first keeps.
    const std::string run = "--headless --disc " + (dir / "disc").string() + " --start 0,1 --exit-after-vblanks " +
                            std::to_string(fields) + " --pad-script " + script.string() +
                            " --gs-pixels-for-kept --dump-at " + dumpAt + " --frame-log ";
    const GameRun first = RunGame(run + (dir / "first.log").string() + " --dump-frames " + (dir / "png").string());
    ASSERT_EQ(first.status, 0) << first.output;
    const GameRun second = RunGame(run + (dir / "second.log").string() + " --dump-frames " + (dir / "png2").string());
    ASSERT_EQ(second.status, 0) << second.output;
    auto text = [](const std::filesystem::path& p) {
        std::ifstream in(p);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string log = text(dir / "first.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), fields);
    EXPECT_EQ(text(dir / "second.log"), log);
}

// Every step-th pixel of every step-th row of a 640 x 512 picture.
std::vector<u32> Sampled(const png_reader::Picture& pic, u32 step)
{
    std::vector<u32> words;
    for (u32 y = 0; y < 512; y += step)
        for (u32 x = 0; x < 640; x += step)
            words.push_back(pic.At(x, y));
    return words;
}

}  // namespace

// The test interior (episode 0, record 1) played from the pad: the player
// walks ahead and stops, jumps, then punches three times.  Quarter-size
// pictures of the walk's end, the jump and the punches match their golden
// pictures, each differs from the others, and a second run draws every
// field the same.
TEST(KorvalisProgram, InTheTestInteriorThePadWalksJumpsAndPunchesThePlayerAlikeEachRun)
{
    const std::filesystem::path dir = ScratchDir("korvalis-onfoot-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    ASSERT_NO_FATAL_FAILURE(PlayTestInteriorTwice(dir,
                                                  "@600 pad0 stick L 0x80 0x00\n"   // ahead
                                                  "@700 pad0 stick L 0x80 0x80\n"
                                                  "@720 pad0 press TRIANGLE for 3\n"
                                                  "@800 pad0 press SQUARE for 3\n"
                                                  "@830 pad0 press SQUARE for 3\n"
                                                  "@860 pad0 press SQUARE for 3\n",
                                                  900, "650,760,830"));
    std::vector<std::vector<u32>> shots;
    for (const char* field : {"650", "760", "830"}) {
        const png_reader::Picture pic = ReadPicture(dir / "png" / ("field-000" + std::string(field) + ".png"));
        ASSERT_EQ(pic.width, 640u);
        ASSERT_EQ(pic.height, 512u);
        const std::vector<u32> words = Sampled(pic, 4);
        golden::ExpectPicture(std::string("player_interior_") + field, 160, 128, words);
        for (const std::vector<u32>& before : shots)
            EXPECT_NE(before, words) << field;
        shots.push_back(words);
    }
}

// The test interior with the guns out: the player turns to the standing-
// height wall, draws, fires five times at it, walks up to it, turns round
// and backs into cover against it with cross held.  Before the first shot
// the wall is bare and the floor clear; after the shots it shows bullet
// holes above his head and spent cases lie by his feet.  Half-size
// pictures of the shots and of him in cover match their golden pictures,
// and a second run draws every field the same.
TEST(KorvalisProgram, InTheTestInteriorThePadDrawsFiresAtTheWallAndTakesCoverAlikeEachRun)
{
    const std::filesystem::path dir = ScratchDir("korvalis-guns-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    ASSERT_NO_FATAL_FAILURE(PlayTestInteriorTwice(dir,
                                                  "@600 pad0 stick L 0xB0 0x00\n"   // to the wall, a little right
                                                  "@620 pad0 stick L 0x80 0x80\n"
                                                  "@640 pad0 press R1 for 3\n"       // draws, then fires
                                                  "@700 pad0 press R1 for 3\n"
                                                  "@730 pad0 press R1 for 3\n"
                                                  "@760 pad0 press R1 for 3\n"
                                                  "@790 pad0 press R1 for 3\n"
                                                  "@850 pad0 stick L 0x80 0x00\n"   // up to the wall
                                                  "@879 pad0 stick L 0x80 0x80\n"
                                                  "@900 pad0 stick L 0x80 0xB0\n"   // round, away from it
                                                  "@904 pad0 press CROSS for 150\n"  // and back into cover
                                                  "@914 pad0 stick L 0x80 0x80\n",
                                                  1000, "635,840,960"));

    // Holes: black on the wall above his head; cases: brass on the floor.
    auto count = [](const png_reader::Picture& pic, u32 y0, u32 y1, auto&& is) {
        int n = 0;
        for (u32 y = y0; y < y1; y++)
            for (u32 x = 160; x < 640; x++)
                n += is(pic.At(x, y));
        return n;
    };
    auto hole = [](u32 c) { return Red(c) < 20 && Green(c) < 20 && Blue(c) < 20; };
    auto brass = [](u32 c) { return Red(c) > 150 && Green(c) > 110 && Blue(c) < 60; };
    const png_reader::Picture before = ReadPicture(dir / "png" / "field-000635.png");
    const png_reader::Picture shots = ReadPicture(dir / "png" / "field-000840.png");
    ASSERT_EQ(before.width, 640u);
    ASSERT_EQ(shots.width, 640u);
    EXPECT_EQ(count(before, 140, 200, hole), 0);
    EXPECT_GT(count(shots, 140, 200, hole), 40);
    EXPECT_EQ(count(before, 300, 512, brass), 0);
    EXPECT_GT(count(shots, 300, 512, brass), 20);

    for (const char* field : {"840", "960"}) {
        const png_reader::Picture pic = ReadPicture(dir / "png" / ("field-000" + std::string(field) + ".png"));
        ASSERT_EQ(pic.height, 512u);
        golden::ExpectPicture(std::string("player_interior_guns_") + field, 320, 256, Sampled(pic, 2));
    }
}

// The test drive played with the pad: cross drives car 65 up Elm Street,
// L1 brakes it to a stop and the player gets out by the left door (the HUD
// shows his head in place of the car), a few steps on the left stick, then
// L1 beside the car walks him back to its door and seats him again.  The
// fields match golden pictures, and a second run gives the same frame CRCs.
TEST(KorvalisProgram, TheTestDriveIsDrivenLeftByTheLeftDoorAndEnteredAgain)
{
    const std::filesystem::path dir = ScratchDir("korvalis-getout-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const std::filesystem::path script = dir / "drive.pad";
    {
        std::ofstream out(script);
        out << "@600 pad0 press CROSS for 150\n"
               "@780 pad0 press L1 for 2\n"
               "@1150 pad0 stick L 0x80 0x00\n"
               "@1175 pad0 stick L 0x80 0x80\n"
               "@1200 pad0 press L1 for 2\n";
    }
    const std::string args = "--headless --disc " + (dir / "disc").string() +
                             " --start 0,0 --exit-after-vblanks 1500 --pad-script " + script.string() +
                             " --gs-pixels-for-kept --dump-at 760,1050,1500";
    // Both runs draw only the pictures the first keeps.
    const GameRun first =
        RunGame(args + " --frame-log " + (dir / "one.log").string() + " --dump-frames " + (dir / "png").string());
    ASSERT_EQ(first.status, 0) << first.output;
    const GameRun second =
        RunGame(args + " --frame-log " + (dir / "two.log").string() + " --dump-frames " + (dir / "png2").string());
    ASSERT_EQ(second.status, 0) << second.output;
    auto slurp = [](const std::filesystem::path& p) {
        std::ifstream in(p);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string one = slurp(dir / "one.log"), two = slurp(dir / "two.log");
    EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 1500);
    EXPECT_EQ(one, two);

    const struct
    {
        const char* field;
        const char* golden;
        bool driving;
    } fields[] = {{"field-000760.png", "testdrive_driving", true},
                  {"field-001050.png", "testdrive_out_by_the_left_door", false},
                  {"field-001500.png", "testdrive_seated_again", true}};
    for (const auto& f : fields) {
        const png_reader::Picture pic = ReadPicture(dir / "png" / f.field);
        ASSERT_EQ(pic.width, 640u);
        ASSERT_EQ(pic.height, 512u);
        // The HUD's vehicle icon, framed in red, shows while he drives.
        int red = 0;
        for (u32 y = 20; y < 90; y++)
            for (u32 x = 20; x < 85; x++) {
                const u32 c = pic.At(x, y);
                red += Red(c) > 180 && Green(c) < 80 && Blue(c) < 80;
            }
        if (f.driving)
            EXPECT_GT(red, 600) << f.field;
        else
            EXPECT_LT(red, 300) << f.field;
        std::vector<u32> words;
        for (u32 y = 0; y < 512; y++)
            for (u32 x = 0; x < 640; x++)
                words.push_back(pic.At(x, y));
        golden::ExpectPicture(f.golden, 640, 512, words);
    }
}

// A row played headless from its record to a field, whose picture is kept.
struct PlayedRow
{
    const char* start;   // EP,REC
    const char* set;     // the file the row's set is read from
    int field;
    const char* golden;
    GameRun run;
    const char* pad = nullptr;   // the pad script, if any
};

// Plays the rows side by side on the sample disc; each reads its set (none
// is missing) and its picture at the field matches the golden.
void PlayRowsToTheirGoldens(std::vector<PlayedRow>& rows, const std::string& extra = "")
{
    const std::filesystem::path dir = ScratchDir("korvalis-story-sets-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    std::vector<std::thread> runs;
    for (PlayedRow& r : rows)
        runs.emplace_back([&dir, &r, &extra] {
            const std::string out = (dir / r.start).string();
            std::string pad;
            if (r.pad != nullptr) {
                const std::filesystem::path script = dir / (std::string(r.start) + ".pad");
                std::ofstream(script) << r.pad;
                pad = " --pad-script " + script.string();
            }
            r.run = RunGame("--headless --disc " + (dir / "disc").string() + " --start " + r.start +
                            " --exit-after-vblanks " + std::to_string(r.field + 1) + " --dump-frames " + out +
                            " --dump-at " + std::to_string(r.field) + pad + extra);
        });
    for (std::thread& t : runs)
        t.join();
    for (const PlayedRow& r : rows) {
        SCOPED_TRACE(r.start);
        ASSERT_EQ(r.run.status, 0) << r.run.output;
        EXPECT_EQ(r.run.output.find(std::string(r.set) + " cannot be opened"), std::string::npos) << r.run.output;
        EXPECT_EQ(r.run.output.find("cannot be read"), std::string::npos) << r.run.output;
        char name[32];
        std::snprintf(name, sizeof name, "field-%06d.png", r.field);
        const png_reader::Picture pic = ReadPicture(dir / r.start / name);
        ASSERT_EQ(pic.width, 640u);
        ASSERT_EQ(pic.height, 512u);
        golden::ExpectPicture(r.golden, 640, 512, golden::PictureWords(pic));
    }
}

// One set of each of episodes 1 and 4 to 7 played from its record: the
// range, the auto shop, the house, the hall and the bar are read from the
// disc (none is missing) and the row's game is played in it; the picture of
// each, the player standing in the furnished room, matches its golden.
TEST(KorvalisProgram, TheStoryRowsPlayInTheirSets)
{
    std::vector<PlayedRow> rows = {{"1,1", "FRANGEG2.P2B", 660, "story_ep1_range", {}},
                                   {"4,4", "AUTOSHG2.P2B", 300, "story_ep4_auto_shop", {}},
                                   {"5,4", "RDHSEG2.P2B", 300, "story_ep5_house", {}},
                                   {"6,3", "HALLG2.P2B", 600, "story_ep6_hall", {}},
                                   {"7,3", "RDOBARG2.P2B", 300, "story_ep7_bar", {}}};
    PlayRowsToTheirGoldens(rows);
}

// One set of each of episodes 8 to 12, the jet chase on the airfield, the
// escape from the helicopter and the 24/7 activities, played from its record
// as the last test does: the club, the street race, the open office, the
// parlour, the hall; the jet taxiing to its runway; the helicopter and its
// gunner ahead of the player's car, turned round to face them; the impound
// lot, the dojo, the range, the lap race's course, the gun course and the
// gym.  (The bonus race is left out: its camera looks up from under the
// street.)
TEST(KorvalisProgram, TheLaterEpisodesTheAircraftAndThe247ActivitiesPlayInTheirSets)
{
    std::vector<PlayedRow> rows = {{"8,5", "GCLUBG3.P2B", 400, "story_ep8_club", {}},
                                   {"9,11", "MG9.P2B", 400, "story_ep9_street_race", {}},
                                   {"10,7", "BHALOFG6.P2B", 400, "story_ep10_office", {}},
                                   {"11,7", "HSWUG5.P2B", 400, "story_ep11_parlour", {}},
                                   {"12,4", "MMRMG3.P2B", 400, "story_ep12_hall", {}},
                                   {"8,12", "MG6.P2B", 800, "story_ep8_jet", {}},
                                   {"8,16", "HELICPTR.P2B", 600, "story_ep8_helicopter", {},
                                    "@420 pad0 stick L 0x00 0x80\n@420 pad0 press CROSS for 240\n"},
                                   {"13,0", "IMPOUND.P2B", 400, "activity_impound_lot", {}},
                                   {"13,1", "DOJO1.P2B", 400, "activity_dojo", {}},
                                   {"13,2", "FRANGE1.P2B", 400, "activity_range", {}},
                                   {"13,3", "COURSE1.P2B", 600, "activity_lap_race", {}},
                                   {"13,5", "GUNCRSE1.P2B", 400, "activity_gun_course", {}},
                                   {"13,6", "BNSGYM1.P2B", 400, "activity_bonus_fight", {}}};
    PlayRowsToTheirGoldens(rows, " --gs-pixels-for-kept --gs-threads 1");
}

// The last fight of episode 4 in its warehouse, left to its brawlers: they
// close in on the idle player and beat him within the run's bound, and the
// fight reports its loss.
TEST(KorvalisProgram, TheWarehouseFightIsLostWhenThePlayerOnlyStandsThere)
{
    const std::filesystem::path dir = ScratchDir("korvalis-warehouse-test-");
    const RemoveOnExit cleanup{dir};
    ASSERT_NO_FATAL_FAILURE(MakeSampleDisc(dir));
    const GameRun r = RunGame("--headless --gs-no-pixels --disc " + (dir / "disc").string() +
                              " --start 4,15 --exit-after-vblanks 12000 --exit-on-console 'Fight: lost'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("MG9.P2B cannot be opened"), std::string::npos) << r.output;
    ExpectInOrder(r.output, {"Fight: begun\n", "Fight: lost\n"});
    EXPECT_EQ(r.output.find("Fight: won"), std::string::npos) << r.output;
}
