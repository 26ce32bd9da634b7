// The game on a damaged disc: for each kind of file the demo reads, a copy
// of the sample disc with one file of that kind cut short, given an offset
// or count that points outside it, or given a wrong first word.  Each run
// must name the file once, say what is wrong, and then go on without it
// (status 0) or end with a non-zero status; never crash, hang, trip the
// watchdog or the console's fault checks.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/lib/pak.h"
#include "tools/lib/sampledisc.h"

namespace {

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

struct GameRun
{
    int status = -1;     // exit status; -1 killed by a signal
    std::string output;
};

// Runs the game with `args`, killed from outside after `seconds` (status -1,
// as for any other signal).  KORVALIS_DAMAGE_GAME names another build's game
// program (the AddressSanitizer build's, run by hand).
GameRun RunGame(const std::string& args, int seconds)
{
    GameRun r;
    const char* other = std::getenv("KORVALIS_DAMAGE_GAME");
    const std::string program = other != nullptr ? other : BuiltProgram("game", "korvalis").string();
    const std::string cmd = "timeout -s KILL " + std::to_string(seconds) + " " + program + " " + args + " 2>&1";
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

struct RemoveOnExit
{
    std::filesystem::path dir;
    ~RemoveOnExit() { std::filesystem::remove_all(dir); }
};

const std::vector<tools::PakInputFile>& SampleFiles()
{
    static const std::vector<tools::PakInputFile> files = [] {
        std::vector<tools::PakInputFile> f;
        std::string error;
        EXPECT_TRUE(tools::SampleDiscFiles(f, error)) << error;
        return f;
    }();
    return files;
}

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return char(std::toupper(c)); });
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

enum class Damage { kCut, kOutside, kFirstWord };

const char* DamageName(Damage d)
{
    switch (d) {
    case Damage::kCut: return "cut short";
    case Damage::kOutside: return "offset outside";
    case Damage::kFirstWord: return "wrong first word";
    }
    return "?";
}

void PutWord(std::vector<u8>& bytes, size_t at, u32 value)
{
    if (at + 4 <= bytes.size())
        std::memcpy(bytes.data() + at, &value, 4);
}

// One file of a kind: where it lies, the byte offset of a 32-bit offset or
// count in it, how the game reaches it, and whether the game runs on without
// it (with its replacement: a built-in picture, silence; or without what the
// file holds: a model, a scene, the city) or ends.
struct Case
{
    const char* kind;
    const char* path;        // below the disc's root folder; "PAK" and "IMG" the two disc files
    size_t field;            // a 32-bit offset or count
    const char* run;         // the game's options
    bool runsOn;
    const char* damages;     // c cut short, o an offset outside, f a wrong first word: those the format can have
    bool cross = false;      // Cross at the continue prompt, to reach the file sooner
};

void Damaged(std::vector<u8>& bytes, Damage d, size_t field)
{
    switch (d) {
    case Damage::kCut: bytes.resize(bytes.size() / 2 + 3); break;   // not whole blocks either
    case Damage::kOutside: PutWord(bytes, field, 0x7FFFFFF0u); break;
    case Damage::kFirstWord: PutWord(bytes, 0, 0x4B4E554Au); break;   // "JUNK"
    }
}

// Writes the sample disc to dir with `c`'s file damaged.
void WriteDamagedDisc(const std::filesystem::path& dir, const Case& c, Damage d)
{
    std::vector<tools::PakInputFile> files = SampleFiles();
    const bool pak = std::strcmp(c.path, "PAK") == 0, img = std::strcmp(c.path, "IMG") == 0;
    if (!pak && !img) {
        auto it = std::find_if(files.begin(), files.end(),
                               [&](const tools::PakInputFile& f) { return Upper(f.path) == Upper(c.path); });
        ASSERT_NE(it, files.end()) << c.path << " is not on the sample disc";
        Damaged(it->data, d, c.field);
    }
    std::vector<u8> archive;
    std::string error;
    ASSERT_TRUE(tools::BuildPak(files, tools::kSampleDiscRoot, archive, error)) << error;
    if (pak)
        Damaged(archive, d, c.field);
    std::vector<u8> image = tools::SampleUpdateImage();
    if (img)
        Damaged(image, d, c.field);
    std::filesystem::create_directories(dir / "KORVALIS");
    ASSERT_TRUE(tools::WriteHostFile((dir / tools::kSampleDiscPak).string(), archive, error)) << error;
    ASSERT_TRUE(tools::WriteHostFile((dir / tools::kSampleDiscUpdateImage).string(), image, error)) << error;
}

std::string BaseName(const char* path)
{
    if (std::strcmp(path, "PAK") == 0)
        return "KORVALIS.PAK";
    if (std::strcmp(path, "IMG") == 0)
        return "IOPRP250.IMG";
    const std::string p = path;
    return Upper(p.substr(p.find_last_of('/') + 1));
}

void ExpectOneMessage(const Case& c, Damage d)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvalis-damage-" + std::to_string(getpid()));
    const RemoveOnExit cleanup{dir};
    std::filesystem::remove_all(dir);
    ASSERT_NO_FATAL_FAILURE(WriteDamagedDisc(dir, c, d));
    std::string run = std::string("--headless --disc ") + dir.string() + " " + c.run;
    if (c.cross) {
        const std::filesystem::path script = dir / "cross.pad";
        std::FILE* f = std::fopen(script.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("@300 pad0 press CROSS for 8\n@400 pad0 press CROSS for 8\n", f);
        std::fclose(f);
        run += " --pad-script " + script.string();
    }
    const GameRun r = RunGame(run, 120);
    const std::string what = std::string(c.kind) + " " + c.path + ", " + DamageName(d) + "\n" + r.output;
    ASSERT_NE(r.status, -1) << "killed (a crash, or hung and ended from outside): " << what;
    for (const char* fault : {"AddressSanitizer", "watchdog", "console: error", "console: fatal", "Assertion"})
        EXPECT_EQ(r.output.find(fault), std::string::npos) << fault << ": " << what;
    const std::string name = BaseName(c.path);
    int naming = 0;
    size_t start = 0;
    while (start < r.output.size()) {
        size_t end = r.output.find('\n', start);
        if (end == std::string::npos)
            end = r.output.size();
        const std::string line = r.output.substr(start, end - start);
        if (Upper(line).find(name) != std::string::npos) {
            naming++;
            std::fprintf(stdout, "%s, %s: status %d: %s\n", c.kind, DamageName(d), r.status, line.c_str());
        }
        start = end + 1;
    }
    EXPECT_EQ(naming, 1) << "lines naming " << name << ": " << what;
    EXPECT_EQ(r.status, c.runsOn ? 0 : 1) << what;
}

constexpr char kStartUp[] = "--exit-after-vblanks 300";
constexpr char kBar[] = "--start 2,6 --exit-after-vblanks 600";

// The files: the archive and the update image; those the start-up loads;
// the drive's placement file; the bar's set-up, scene and scene sound (the
// music and the voices are sound data read as the scene's is).  The model,
// layout and placement files' first word is a block count (the layout's and
// the placement's fixed, whatever it says); sound data has no head at all.
const Case kCases[] = {
    {"archive", "PAK", 8, kStartUp, false, "cof"},
    {"update image", "IMG", 8, kStartUp, true, "cof"},
    {"model", "DemoData/Char/DACE.P2B", 8, kStartUp, true, "cof"},
    {"set-up", "DemoData/Int/LEVEL2/BAR.P2B", 8, kBar, true, "cof", true},
    {"vehicle directory", "DemoData/Veh/VEHICLES.EXP", 8, kStartUp, true, "co"},
    {"vehicle models", "DemoData/Veh/VEHICLES.EXM", 8, kStartUp, true, "cof"},
    {"animation group", "DemoData/Char/DACEDEF.ANI", 4, kStartUp, true, "cof"},
    {"city index", "DemoCity/TEST.IDX", 4, kStartUp, true, "cof"},
    {"city layout", "DemoCity/TEST.EXP", 8, kStartUp, true, "co"},
    {"city cells", "DemoCity/TEST.MGD", 8, kStartUp, true, "cof"},
    {"city models", "DemoCity/TEST.EXM", 8, kStartUp, true, "cof"},
    {"placement", "DemoData/Missions/MISSION2.EXM", 8, kStartUp, true, "co"},
    {"cinematic", "DemoData/Cine/M2/M2_S4.CIN", 12, kBar, true, "cof", true},
    {"sound bank", "DemoData/Vags/SND_UI.SND", 4, kStartUp, true, "cof"},
    {"scene sound", "DemoData/Cine/M2/M2_S4.VB", 0, kBar, true, "c", true},
    {"still", "DemoData/ZEVWORKS.IPU", 4, kStartUp, true, "cof"},
};

class DamagedDisc : public ::testing::TestWithParam<Case>
{
};

TEST_P(DamagedDisc, NamesTheFileOnceAndGoesOnOrEnds)
{
    for (Damage d : {Damage::kCut, Damage::kOutside, Damage::kFirstWord})
        if (std::strchr(GetParam().damages, "cof"[int(d)]) != nullptr)
            ExpectOneMessage(GetParam(), d);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedDisc, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string n = info.param.kind;
                             std::replace(n.begin(), n.end(), ' ', '_');
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

}  // namespace
