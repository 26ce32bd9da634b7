// The demo end to end on the sample disc: the runs one after another as the
// launcher starts them, seen through the launcher's trace and run hook.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "console/host/png_reader.h"
#include "tests/demo/damage_trial.h"
#include "tests/ZevEngine2/PS2/golden_support.h"
#include "tests/demo/loop_script.h"
#include "tests/demo/run_process.h"
#include "tests/demo/run_state.h"
#include "tools/lib/stillcards.h"

namespace fs = std::filesystem;
using demo_test::BuildDir;
using demo_test::Execute;
using demo_test::Korvalis;
using demo_test::Outcome;
using demo_test::RunPoint;
using demo_test::Self;
using demo_test::Slurp;

namespace {

// A scratch directory with the sample disc, removed at the end.
class DemoRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               (std::string("korvalis-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const Outcome made = Execute((BuildDir() / "tools" / "mkdisc").string() + " " + (dir_ / "disc").string());
        ASSERT_EQ(made.status, 0) << made.output;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The game played in this program's own process with the run hook
    // writing `log`.
    Outcome Play(const std::string& log, const std::string& options)
    {
        return Execute(Self().string() + " --play " + (dir_ / log).string() + " --headless --disc " +
                       (dir_ / "disc").string() + " " + options);
    }
    std::string Script(const char* name, const std::string& text)
    {
        std::ofstream(dir_ / name) << text;
        return (dir_ / name).string();
    }
    void PlayLoops(const std::vector<demo_test::Loop>& loops);
    void ExpectStills(const std::vector<demo_test::StillMark>& marks);
    static std::string Kept(const char* name)
    {
        return (fs::path(KORVALIS_SOURCE_DIR) / "tests" / "demo" / "scripts" / name).string();
    }

    fs::path dir_;
};

// The records each run entered, "2,5 3,12", run by run.
std::vector<std::string> RecordsByRun(const std::vector<RunPoint>& points)
{
    std::vector<std::string> runs;
    for (const RunPoint& p : points) {
        if (p.kind == "start")
            runs.emplace_back();
        else if (p.kind == "record" && !runs.empty())
            runs.back() += (runs.back().empty() ? "" : " ") + std::to_string(p.episode) + "," + std::to_string(p.record);
    }
    return runs;
}

// Every run starts on the heap the first started on, and every hand-back
// leaves the heap, and as many objects, post-draw items, busy channels and
// locked textures, as the first.
void ExpectRunsLeaveNothing(const std::vector<RunPoint>& points)
{
    const RunPoint* start = nullptr;
    const RunPoint* back = nullptr;
    for (const RunPoint& p : points) {
        if (p.kind == "start") {
            if (start == nullptr)
                start = &p;
            EXPECT_EQ(p.free, start->free) << "run " << p.run;
        } else if (p.kind == "handback") {
            if (back == nullptr)
                back = &p;
            EXPECT_EQ(p.free, back->free) << "run " << p.run;
            EXPECT_EQ(p.objects, back->objects) << "run " << p.run;
            EXPECT_EQ(p.postdraw, back->postdraw) << "run " << p.run;
            EXPECT_EQ(p.channels, back->channels) << "run " << p.run;
            EXPECT_EQ(p.locked, back->locked) << "run " << p.run;
        }
    }
}

// What a still's field may differ from its picture, relative to the field's
// mean: the prompt's line, the film's flicker and the 16-bit storage (the
// dark cards with bright letters come to about two fifths).
constexpr double kStillLeft = 0.5;

// The disc's still a dumped field shows: of the ten stills, the one whose
// picture, scaled by the loading screen's flickering brightness, comes
// nearest the field, with the mean difference left relative to the field's
// mean brightness.
std::string ShownStill(const fs::path& png, double* left)
{
    static const char* const kStills[] = {"ZEVWORKS", "DEMTITLE", "DEMOSCR1", "DEMOSCR2", "DEMOSCR3",
                                          "DEMOEND1", "DEMOEND2", "DEMOEND3", "DEMOEND4", "DEMOEND5"};
    static std::vector<tools::IpuImage> pictures;
    if (pictures.empty())
        for (const char* name : kStills)
            pictures.push_back(tools::DiscStill(name, 640, 512));
    std::ifstream in(png, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    png_reader::Picture field;
    if (file.empty() || !png_reader::Decode(file, field) || field.width != 640 || field.height != 512)
        return "no picture";
    // Every fourth pixel of every fourth row, red, green and blue.
    auto each = [&](size_t k, auto&& f) {
        for (uint32_t y = 0; y < 512; y += 4)
            for (uint32_t x = 0; x < 640; x += 4)
                for (int c = 0; c < 3; c++)
                    f(double((field.At(x, y) >> (8 * c)) & 0xFF),
                      double(pictures[k].rgba[(size_t(y) * 640 + x) * 4 + size_t(c)]));
    };
    std::string best = "?";
    double bestError = 1e9;
    for (size_t k = 0; k < pictures.size(); k++) {
        // The brightness that fits best (least squares), then the mean
        // difference left, relative to the field's mean.
        double fr = 0, rr = 0, ff = 0, off = 0;
        each(k, [&](double f, double r) {
            fr += f * r;
            rr += r * r;
            ff += f;
        });
        const double gain = rr > 0 ? fr / rr : 0;
        each(k, [&](double f, double r) { off += std::abs(f - gain * r); });
        const double error = ff > 0 ? off / ff : 1.0;
        if (error < bestError) {
            bestError = error;
            best = kStills[k];
        }
    }
    *left = bestError;
    return best;
}

}  // namespace

// Each mark's field, dumped to dir/png, shows the mark's still.
void DemoRuns::ExpectStills(const std::vector<demo_test::StillMark>& marks)
{
    for (const demo_test::StillMark& m : marks) {
        char name[32];
        std::snprintf(name, sizeof name, "field-%06d.png", m.field);
        double left = 0;
        EXPECT_EQ(ShownStill(dir_ / "png" / name, &left), m.still) << "field " << m.field;
        EXPECT_LT(left, kStillLeft) << "field " << m.field;
    }
}

// Runs of the fixed-field script one after another: every run enters the
// drive's record and no other; the prompt's card and the closing cards show
// where the script expects them (a run left on its closing screens starts
// the next run clean); each hand-back comes from SELECT (exit value 1) and
// no run leaves anything behind.
void DemoRuns::PlayLoops(const std::vector<demo_test::Loop>& loops)
{
    const int count = int(loops.size());
    std::vector<demo_test::StillMark> marks;
    const std::string script = Script("loops.pad", demo_test::LoopScript(loops, &marks));
    std::string at;
    for (const demo_test::StillMark& m : marks)
        at += (at.empty() ? "" : ",") + std::to_string(m.field);
    const Outcome r = Play("loops.log", "--exit-after-runs " + std::to_string(count) + " --pad-script " + script +
                                            " --dump-frames " + (dir_ / "png").string() + " --dump-at " + at);
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectStills(marks);
    const std::vector<RunPoint> points = demo_test::ReadRunLog((dir_ / "loops.log").string());
    const std::vector<std::string> records = RecordsByRun(points);
    ASSERT_EQ(records.size(), size_t(count));
    for (int i = 0; i < count; i++)
        EXPECT_EQ(records[size_t(i)], "2,5") << "run " << i + 1 << ": " << demo_test::LoopName(loops[size_t(i)]);
    int handbacks = 0;
    for (const RunPoint& p : points)
        if (p.kind == "handback") {
            handbacks++;
            EXPECT_EQ(p.exit, 1) << "run " << p.run;
        }
    EXPECT_EQ(handbacks, count);
    ExpectRunsLeaveNothing(points);
}

// SELECT while the player stands at his car in the drive leaves the run
// (exit value 1); the closing cards still show and Cross skips each, the run
// hands back and the next run starts at the drive again (its card and
// prompt first): twice over, the second run on the heap the first started
// on.
TEST_F(DemoRuns, SelectInTheDriveLeavesTheRunAndTheNextStartsAtTheDriveAgain)
{
    using demo_test::Loop;
    std::vector<demo_test::StillMark> marks;
    const std::string script =
        Script("select.pad", demo_test::LoopScript({Loop::kSelectInDrive, Loop::kSelectInDrive}, &marks));
    std::string at;
    for (const demo_test::StillMark& m : marks)
        at += (at.empty() ? "" : ",") + std::to_string(m.field);
    const Outcome r = Play("runs.log", "--exit-after-runs 2 --pad-script " + script + " --dump-frames " +
                                           (dir_ / "png").string() + " --dump-at " + at);
    ASSERT_EQ(r.status, 0) << r.output;
    // The continue prompt's card, then each closing card until its Cross.
    ExpectStills(marks);
    const std::vector<RunPoint> points = demo_test::ReadRunLog((dir_ / "runs.log").string());
    EXPECT_EQ(RecordsByRun(points), (std::vector<std::string>{"2,5", "2,5"}));
    int handbacks = 0;
    for (const RunPoint& p : points)
        if (p.kind == "handback") {
            handbacks++;
            EXPECT_EQ(p.exit, 1) << "run " << p.run;
        }
    EXPECT_EQ(handbacks, 2);
    ExpectRunsLeaveNothing(points);
}

namespace {

// A run that was to have a window had one: the window program started with
// its sound device, and the run did not fall back to headless.
void ExpectTheWindowOpened(const Outcome& run)
{
    EXPECT_NE(run.output.find("korvalis-window: sound through SDL's dummy driver"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("could not start"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("running headless"), std::string::npos) << run.output;
}

// The "[demo] ..." lines of a trace file.
std::vector<std::string> DemoTrace(const fs::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("[demo] ", 0) == 0)
            lines.push_back(line);
    return lines;
}

}  // namespace

// The window front end on SDL's dummy drivers with the virtual clock plays a
// run as the headless one does: the same records at the same fields and the
// hand-back.  The play it records with --pad-record replays headless to the
// same trace.
TEST_F(DemoRuns, TheWindowPlaysARunAsHeadlessAndItsRecordingReplays)
{
    using demo_test::Loop;
    const std::string script = Script("select.pad", demo_test::LoopScript({Loop::kSelectInDrive}));
    const std::string disc = " --disc " + (dir_ / "disc").string() + " --exit-after-runs 1 --trace demo";
    const Outcome window =
        Execute("env DISPLAY=:0 SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " + Korvalis() + disc +
                " --clock virtual --pad-script " + script + " --pad-record " + (dir_ / "played.pad").string() +
                " --trace-file " + (dir_ / "window.trace").string());
    ASSERT_EQ(window.status, 0) << window.output;
    ExpectTheWindowOpened(window);
    const Outcome headless = Execute(Korvalis() + " --headless" + disc + " --pad-script " + script +
                                     " --trace-file " + (dir_ / "headless.trace").string());
    ASSERT_EQ(headless.status, 0) << headless.output;
    const Outcome replay = Execute(Korvalis() + " --headless" + disc + " --pad-script " +
                                   (dir_ / "played.pad").string() + " --trace-file " +
                                   (dir_ / "replay.trace").string());
    ASSERT_EQ(replay.status, 0) << replay.output;

    const std::vector<std::string> trace = DemoTrace(dir_ / "headless.trace");
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_NE(trace[0].find("run 1 starts at 2,5"), std::string::npos) << trace[0];
    EXPECT_NE(trace[1].find("run 1 enters record 2,5"), std::string::npos) << trace[1];
    EXPECT_NE(trace[2].find("run 1 handed back"), std::string::npos) << trace[2];
    EXPECT_EQ(DemoTrace(dir_ / "window.trace"), trace);
    EXPECT_EQ(DemoTrace(dir_ / "replay.trace"), trace);
}

// A run with the window on SDL's dummy drivers and the virtual clock writes
// the same files as the same run headless, byte for byte: the frame log, the
// sound, the frame dumps and the pad recording of a run that plays into the
// drive (Cross on the continue prompt, L1 at the car), and the GS recording
// of its start.
TEST_F(DemoRuns, TheWindowWritesTheSameFilesAsHeadless)
{
    const std::string script = Script("drive.pad", "@850 pad0 press CROSS for 3\n@900 pad0 press L1 for 3\n");
    const std::string window_env = "env DISPLAY=:0 SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ";
    auto run = [&](const std::string& how, const std::string& name, const std::string& options) {
        fs::create_directories(dir_ / name);
        return Execute(how + " --disc " + (dir_ / "disc").string() + " " + options + " --frame-log " +
                       (dir_ / name / "frames.log").string() + " --wav " + (dir_ / name / "sound.wav").string() +
                       " --dump-frames " + (dir_ / name / "png").string() + " --dump-at 100,949" +
                       " --pad-record " + (dir_ / name / "played.pad").string());
    };
    const std::string played = "--exit-after-vblanks 950 --pad-script " + script;
    const Outcome window = run(window_env + Korvalis() + " --clock virtual", "window", played);
    ASSERT_EQ(window.status, 0) << window.output;
    ExpectTheWindowOpened(window);
    const Outcome headless = run(Korvalis() + " --headless", "headless", played);
    ASSERT_EQ(headless.status, 0) << headless.output;

    for (const char* file : {"frames.log", "sound.wav", "png/field-000100.png", "png/field-000949.png", "played.pad"}) {
        const std::string got = Slurp(dir_ / "window" / file);
        EXPECT_FALSE(got.empty()) << file;
        EXPECT_TRUE(got == Slurp(dir_ / "headless" / file)) << file << " differs";
    }
    // The run is long enough to be worth comparing: a line per field, and
    // sound once the drive has started.
    const std::string log = Slurp(dir_ / "window" / "frames.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 950);
    const std::string wav = Slurp(dir_ / "window" / "sound.wav");
    ASSERT_EQ(wav.size(), 44u + 950u * 960 * 4);  // 48,000 stereo frames a second at 50 fields a second
    EXPECT_NE(wav.find_first_not_of('\0', 44), std::string::npos) << "the drive's sound is silent";
    EXPECT_NE(Slurp(dir_ / "window" / "played.pad").find("@850 pad0 press CROSS"), std::string::npos);

    const std::string start = "--exit-after-vblanks 100 --gs-dump ";
    const Outcome window_gs = Execute(window_env + Korvalis() + " --clock virtual --disc " + (dir_ / "disc").string() +
                                      " " + start + (dir_ / "window" / "gs.dump").string());
    ASSERT_EQ(window_gs.status, 0) << window_gs.output;
    const Outcome headless_gs = Execute(Korvalis() + " --headless --disc " + (dir_ / "disc").string() + " " + start +
                                        (dir_ / "headless" / "gs.dump").string());
    ASSERT_EQ(headless_gs.status, 0) << headless_gs.output;
    const std::string gs = Slurp(dir_ / "window" / "gs.dump");
    EXPECT_FALSE(gs.empty());
    EXPECT_TRUE(gs == Slurp(dir_ / "headless" / "gs.dump")) << "the GS recordings differ";
}

// Five runs of the fixed-field script, their stills drawn: SELECT on the
// prompt, in the drive and on the closing screens.
TEST_F(DemoRuns, RunsLeftAtEveryStageLeaveNothingBehind)
{
    using demo_test::Loop;
    PlayLoops({Loop::kSelectAtPrompt, Loop::kSelectInDrive, Loop::kSelectOnClosing, Loop::kSelectAtPrompt,
               Loop::kSelectInDrive});
}

// The losing branch with nobody at the pad, twice over: the continue prompt
// runs out, the player stands at his car until the drive's clock runs out,
// and the run goes on to the spa (episode 3, record 12) with its prompt,
// scene and shoot-out, where he stands until he is shot dead.  His death
// ends the run: the five closing screens show for their ten seconds each and
// the run hands back once, ended by the script's own end (exit value -1).
// Both runs give the same frame log (field and CRC of every picture) and the
// same WAV bytes.
TEST_F(DemoRuns, TheLosingBranchPlaysToItsHandBackAlikeTwice)
{
    // The field limit only guards against a run that never ends.
    constexpr int kGuard = 14000;
    constexpr int kEvery = 300;
    const std::string options = "--exit-after-runs 1 --exit-after-vblanks " + std::to_string(kGuard) +
                                " --pad-script " + Kept("loss.pad") + " --dump-frames " + (dir_ / "png").string() +
                                " --dump-at 80,160,900,5400 --dump-every " + std::to_string(kEvery) +
                                " --gs-pixels-for-kept --frame-log ";
    Outcome first, second;
    std::thread other([&] {
        second = Play("two.log", options + (dir_ / "two.frames").string() + " --wav " + (dir_ / "two.wav").string());
    });
    first = Play("one.log", options + (dir_ / "one.frames").string() + " --wav " + (dir_ / "one.wav").string());
    other.join();
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_EQ(second.status, 0) << second.output;
    // The spa's scene streams its blocks as the streamer delivers them,
    // with no complaint.
    EXPECT_EQ(first.output.find("Bad transfer size"), std::string::npos) << first.output;

    const std::vector<RunPoint> points = demo_test::ReadRunLog((dir_ / "one.log").string());
    EXPECT_EQ(RecordsByRun(points), (std::vector<std::string>{"2,5 3,12"}));
    long long spa = -1, handback = -1;
    int handbacks = 0;
    for (const RunPoint& p : points) {
        if (p.kind == "record" && p.record == 12)
            spa = p.field;
        if (p.kind == "handback") {
            handbacks++;
            handback = p.field;
            EXPECT_EQ(p.exit, -1);
        }
    }
    ASSERT_EQ(handbacks, 1) << "the death in the spa does not end the run";
    ASSERT_GT(spa, 0);
    // The closing screens take their 5 x 600 fields at the run's end, after
    // the spa's scene and shoot-out.
    constexpr int kScreen = 600;
    ASSERT_GT(handback, spa + 5 * kScreen);
    // The studio card, the title card, the drive's card with its prompt and
    // the spa's card with its prompt, each well inside its time; then each
    // closing card at the dumped field nearest its middle.
    std::vector<demo_test::StillMark> marks = {{80, "ZEVWORKS"}, {160, "DEMTITLE"}, {900, "DEMOSCR1"},
                                               {5400, "DEMOSCR3"}};
    static const char* const kClosing[5] = {"DEMOEND1", "DEMOEND2", "DEMOEND3", "DEMOEND4", "DEMOEND5"};
    for (int k = 0; k < 5; k++) {
        const long long middle = handback - (5 - k) * kScreen + kScreen / 2;
        marks.push_back({int((middle + kEvery / 2) / kEvery * kEvery), kClosing[k]});
    }
    ExpectStills(marks);
    const std::string frames = Slurp(dir_ / "one.frames");
    EXPECT_GE(std::count(frames.begin(), frames.end(), '\n'), handback);
    EXPECT_EQ(frames, Slurp(dir_ / "two.frames"));
    const std::string wav = Slurp(dir_ / "one.wav");
    EXPECT_GT(wav.size(), size_t(handback / 50) * 48000 * 4 * 9 / 10);
    EXPECT_TRUE(wav == Slurp(dir_ / "two.wav")) << "the two runs' sound differs";
}

namespace {

// The fields of a pad script's Cross presses, in order.
std::vector<long long> CrossPresses(const std::string& script)
{
    std::vector<long long> fields;
    std::istringstream in(script);
    for (std::string line; std::getline(in, line);)
        if (line.size() > 1 && line[0] == '@' && line.find(" press CROSS") != std::string::npos)
            fields.push_back(std::stoll(line.substr(1)));
    return fields;
}

// The output's "Fight: ..." lines, in order.
std::vector<std::string> FightLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Fight: ", 0) == 0)
            lines.push_back(line);
    return lines;
}

}  // namespace

// The winning branch, twice over.  The pad pilot plays the run in this
// program's own process, steering the car over the city's roads to the
// bar's marker, and its pad input is the script (so the script follows the
// game as its city, traffic and figures change); korvalis and the in-process
// player each replay that script: the drive's card with its prompt, the
// drive reaching the bar inside its 3600 ticks (episode 2, record 6
// entered), the bar's card with its prompt, its scene and the fight, won
// (the pilot strikes where a thug's guard leaves him open), the closing screens and the
// hand-back, with the script itself ending
// the run (exit value -1).  Both replays give the same frame log and the same
// WAV bytes.  The runs draw no pixels (--gs-no-pixels: the frame logs
// compare the same blank fields, the trace, sound and records carry the
// check); the bar's card is seen drawn in a short run of its own.  The
// generated script is kept beside the test program as win.pad, for runs by
// hand.
TEST_F(DemoRuns, TheWinningBranchPlaysToItsHandBackAlikeTwice)
{
    // The field limit only guards against a run that never ends: the
    // pilot's fist fight alone may last three minutes (9,000 fields).
    const std::string guard = " --gs-no-pixels --exit-after-runs 1 --exit-after-vblanks 20000";
    const std::string pad = (dir_ / "win.pad").string();
    const Outcome piloted = Execute(Self().string() + " --pilot " + pad + " " + (dir_ / "pilot.log").string() +
                                    " --headless --disc " + (dir_ / "disc").string() + guard);
    ASSERT_EQ(piloted.status, 0) << piloted.output;
    ASSERT_EQ(RecordsByRun(demo_test::ReadRunLog((dir_ / "pilot.log").string())),
              (std::vector<std::string>{"2,5 2,6"}))
        << piloted.output;
    std::error_code ignored;
    fs::copy_file(pad, BuildDir() / "tests" / "win.pad", fs::copy_options::overwrite_existing, ignored);
    // The script's first Cross ends the drive's prompt (the later ones in
    // the drive are the throttle); its first Cross after the bar's record
    // starts ends the bar's prompt.
    long long pilotBar = -1;
    for (const RunPoint& p : demo_test::ReadRunLog((dir_ / "pilot.log").string()))
        if (p.kind == "record" && p.record == 6)
            pilotBar = p.field;
    std::vector<long long> crosses;
    for (long long f : CrossPresses(Slurp(pad)))
        if (crosses.empty() || (crosses.size() == 1 && f > pilotBar))
            crosses.push_back(f);
    ASSERT_EQ(crosses.size(), 2u) << Slurp(pad);

    const std::string outputs = " --pad-script " + pad + " --frame-log ";
    Outcome played, replayed;
    std::thread other([&] {
        replayed = Execute(Korvalis() + " --headless --disc " + (dir_ / "disc").string() + guard +
                           " --trace demo --trace-file " + (dir_ / "two.trace").string() + " --pad-script " + pad +
                           " --frame-log " + (dir_ / "two.frames").string() + " --wav " + (dir_ / "two.wav").string());
    });
    played = Play("one.log", guard + outputs + (dir_ / "one.frames").string() + " --wav " + (dir_ / "one.wav").string());
    other.join();
    ASSERT_EQ(played.status, 0) << played.output;
    ASSERT_EQ(replayed.status, 0) << replayed.output;
    EXPECT_EQ(played.output.find("Bad transfer size"), std::string::npos) << played.output;

    const std::vector<RunPoint> points = demo_test::ReadRunLog((dir_ / "one.log").string());
    EXPECT_EQ(RecordsByRun(points), (std::vector<std::string>{"2,5 2,6"}));
    long long bar = -1, handback = -1;
    int handbacks = 0;
    for (const RunPoint& p : points) {
        if (p.kind == "record" && p.record == 6)
            bar = p.field;
        if (p.kind == "handback") {
            handbacks++;
            handback = p.field;
            EXPECT_EQ(p.exit, -1);
        }
    }
    ASSERT_EQ(handbacks, 1);
    // The drive's clock starts with the first Cross; the bar is reached
    // inside it, and its prompt waits for the second.
    EXPECT_GT(bar, crosses[0]);
    EXPECT_LT(bar, crosses[0] + 3600);
    EXPECT_GT(crosses[1], bar);
    // The pilot wins the bar fight, once.
    EXPECT_EQ(FightLines(played.output), (std::vector<std::string>{"Fight: begun", "Fight: won"})) << played.output;
    EXPECT_EQ(FightLines(piloted.output), (std::vector<std::string>{"Fight: begun", "Fight: won"}));
    // The closing screens take their 5 x 600 fields after the fight.
    ASSERT_GT(handback, crosses[1] + 5 * 600);

    // The bar's card with its prompt, drawn (the loss branch's test sees the
    // other cards drawn): the bar's record started on its own, its prompt
    // left waiting.
    const Outcome card = Execute(Korvalis() + " --headless --disc " + (dir_ / "disc").string() +
                                 " --start 2,6 --exit-after-vblanks 400 --dump-frames " + (dir_ / "png").string() +
                                 " --dump-at 390");
    ASSERT_EQ(card.status, 0) << card.output;
    ExpectStills({{390, "DEMOSCR2"}});

    // korvalis itself: the same records at the same fields and the hand-back.
    const std::vector<std::string> trace = DemoTrace(dir_ / "two.trace");
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_NE(trace[1].find("enters record 2,5"), std::string::npos) << trace[1];
    EXPECT_NE(trace[2].find("enters record 2,6 (field " + std::to_string(bar) + ")"), std::string::npos) << trace[2];
    EXPECT_NE(trace[3].find("handed back (field " + std::to_string(handback) + ")"), std::string::npos) << trace[3];
    const std::string frames = Slurp(dir_ / "one.frames");
    EXPECT_GE(std::count(frames.begin(), frames.end(), '\n'), handback);
    EXPECT_EQ(frames, Slurp(dir_ / "two.frames"));
    const std::string wav = Slurp(dir_ / "one.wav");
    EXPECT_GT(wav.size(), size_t(handback / 50) * 48000 * 4 * 9 / 10);
    EXPECT_TRUE(wav == Slurp(dir_ / "two.wav")) << "the two runs' sound differs";
}

namespace {

// A picture's mean red, green and blue.
std::array<double, 3> MeanColour(const fs::path& png)
{
    std::ifstream in(png, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    png_reader::Picture pic;
    std::array<double, 3> mean{};
    if (file.empty() || !png_reader::Decode(file, pic) || pic.width == 0)
        return mean;
    for (size_t i = 0; i + 2 < pic.bytes.size(); i += size_t(pic.channels))
        for (int c = 0; c < 3; c++)
            mean[size_t(c)] += pic.bytes[i + size_t(c)];
    const double n = double(pic.width) * pic.height;
    for (double& m : mean)
        m /= n;
    return mean;
}

// How far a mean colour leans to magenta: red and blue against green.
double Magenta(const std::array<double, 3>& c)
{
    return (c[0] + c[2]) / 2.0 - c[1];
}

// What ./dev demo runs when there is no display, read from ./dev itself:
// the fields it keeps, how many fields it runs and its pad script.
struct DevDemo {
    std::vector<int> kept;
    std::string fields;
    std::string script;
};

DevDemo ReadDevDemo()
{
    const std::string dev = Slurp(fs::path(KORVALIS_SOURCE_DIR) / "dev");
    auto value = [&](const std::string& option) {
        const size_t at = dev.find(option + " ");
        if (at == std::string::npos)
            return std::string();
        const size_t from = at + option.size() + 1;
        return dev.substr(from, dev.find_first_of(" \n", from) - from);
    };
    DevDemo d;
    std::istringstream kept(value("--dump-at"));
    for (std::string f; std::getline(kept, f, ',');)
        d.kept.push_back(std::atoi(f.c_str()));
    d.fields = value("--exit-after-vblanks");
    d.script = value("--pad-script");
    return d;
}

// The loudest left sample of a headless run's WAV file over fields
// [from, to): 48,000 frames a second, 50 fields a second.
int Peak(const std::string& wav, long long from, long long to)
{
    constexpr size_t kHeader = 44, kFrame = 4, kPerField = 48000 / 50;
    int peak = 0;
    for (size_t at = kHeader + size_t(from) * kPerField * kFrame;
         at + kFrame <= wav.size() && at < kHeader + size_t(to) * kPerField * kFrame; at += kFrame) {
        int16_t v;
        std::memcpy(&v, &wav[at], sizeof v);
        peak = std::max(peak, std::abs(int(v)));
    }
    return peak;
}

}  // namespace

// The winning branch's drive drawn, every other field from the drive's
// start until the bar's record has begun: no field's mean colour swings to
// magenta (red and blue rising against green by more than 12) and back
// within 20 fields.  The pad pilot plays it, its script replayed by
// korvalis with pixels.
TEST_F(DemoRuns, TheWinningDriveHasNoFieldThatFlashesMagenta)
{
    const std::string pad = (dir_ / "win.pad").string();
    const Outcome piloted = Execute(Self().string() + " --pilot " + pad + " " + (dir_ / "pilot.log").string() +
                                    " --headless --disc " + (dir_ / "disc").string() +
                                    " --gs-no-pixels --exit-after-runs 1 --exit-after-vblanks 12000");
    ASSERT_EQ(piloted.status, 0) << piloted.output;
    long long bar = -1;
    for (const RunPoint& p : demo_test::ReadRunLog((dir_ / "pilot.log").string()))
        if (p.kind == "record" && p.record == 6)
            bar = p.field;
    ASSERT_GT(bar, 0) << piloted.output;
    const long long last = bar + 100;
    const Outcome drawn = Execute(Korvalis() + " --headless --disc " + (dir_ / "disc").string() + " --pad-script " +
                                  pad + " --exit-after-vblanks " + std::to_string(last + 1) + " --dump-frames " +
                                  (dir_ / "png").string() + " --dump-every 2");
    ASSERT_EQ(drawn.status, 0) << drawn.output;
    std::vector<std::pair<long long, double>> lean;
    for (long long f = 2; f <= last; f += 2) {
        char name[32];
        std::snprintf(name, sizeof name, "field-%06lld.png", f);
        if (fs::exists(dir_ / "png" / name))
            lean.emplace_back(f, Magenta(MeanColour(dir_ / "png" / name)));
    }
    ASSERT_GT(lean.size(), size_t(bar / 2 - 10));
    for (size_t i = 1; i < lean.size(); i++) {
        if (lean[i].second - lean[i - 1].second <= 12.0)
            continue;
        for (size_t j = i + 1; j < lean.size() && j <= i + 10; j++)
            EXPECT_GT(lean[j].second - lean[i - 1].second, 12.0)
                << "field " << lean[i].first << " swings to magenta and is back by field " << lean[j].first;
    }
}

// The headless demo as ./dev demo plays it without a display: its pad
// script drives the player to the bar (episode 2, record 6 entered) and
// leaves the run in the bar fight.  Of the three fields it keeps the first
// lies in the drive (after the throttle's first press, before the bar), the
// second in the fight (begun and not over at that field) and the third
// shows the first closing card.  The cards are silent: the studio and title cards and
// the drive's card up to its Cross, the bar's card up to its Cross, the
// closing card; the drive is not.  No stream read is asked for out of step
// with the streamer.
TEST_F(DemoRuns, TheHeadlessDemoKeepsTheDriveTheBarFightAndAClosingCard)
{
    const DevDemo dev = ReadDevDemo();
    ASSERT_EQ(dev.script, "\"$ROOT/tests/demo/scripts/demo.pad\"");
    ASSERT_EQ(dev.kept.size(), 3u);
    const std::string script = Kept("demo.pad");
    std::string at;
    for (int f : dev.kept)
        at += (at.empty() ? "" : ",") + std::to_string(f);
    const Outcome r = Play("demo.log", "--exit-after-vblanks " + dev.fields + " --pad-script " + script +
                                           " --dump-frames " + (dir_ / "png").string() + " --dump-at " + at +
                                           " --gs-pixels-for-kept --wav " + (dir_ / "demo.wav").string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Bad transfer size"), std::string::npos) << r.output;
    const std::vector<RunPoint> points = demo_test::ReadRunLog((dir_ / "demo.log").string());
    ASSERT_EQ(RecordsByRun(points), (std::vector<std::string>{"2,5 2,6"})) << r.output;
    long long bar = -1;
    for (const RunPoint& p : points)
        if (p.kind == "record" && p.record == 6)
            bar = p.field;
    // Cross on the drive's prompt, the throttle, Cross on the bar's prompt.
    const std::vector<long long> crosses = CrossPresses(Slurp(script));
    ASSERT_GE(crosses.size(), 3u);
    const long long throttle = crosses[1];
    const auto afterBar = std::find_if(crosses.begin(), crosses.end(), [&](long long f) { return f > bar; });
    ASSERT_NE(afterBar, crosses.end());
    const long long barPrompt = *afterBar;

    // The drive's field lies in the drive, the fight's in the fight.
    const long long drive = dev.kept[0], fight = dev.kept[1], closing = dev.kept[2];
    EXPECT_GT(drive, throttle);
    EXPECT_LT(drive, bar);
    EXPECT_GT(fight, barPrompt);
    for (long long f : {drive, fight}) {
        char name[32];
        std::snprintf(name, sizeof name, "field-%06lld.png", f);
        EXPECT_TRUE(fs::exists(dir_ / "png" / name)) << name;
    }
    ExpectStills({{int(closing), "DEMOEND1"}});
    // The fight has begun by its field and is not over.
    const Outcome upToFight = Execute(Korvalis() + " --headless --gs-no-pixels --disc " + (dir_ / "disc").string() +
                                      " --exit-after-vblanks " + std::to_string(fight) + " --pad-script " + script);
    ASSERT_EQ(upToFight.status, 0) << upToFight.output;
    EXPECT_EQ(FightLines(upToFight.output), (std::vector<std::string>{"Fight: begun"})) << upToFight.output;

    const std::string wav = Slurp(dir_ / "demo.wav");
    EXPECT_EQ(Peak(wav, 0, crosses[0]), 0);
    EXPECT_EQ(Peak(wav, bar + 10, barPrompt), 0);
    EXPECT_EQ(Peak(wav, closing - 200, closing), 0);
    EXPECT_GT(Peak(wav, throttle, drive), 0);
}

// The bar's scene cut short with Cross: its actors are handed back where
// the played scene leaves them, so the fight starts as after the whole
// scene (the player in his fighting stance, the thugs within his reach) and
// ends: the player standing idle is beaten and the run goes on to its
// closing screens and hand-back, once.
TEST_F(DemoRuns, TheBarFightEndsWhenItsSceneIsCutShort)
{
    const std::string pad = (dir_ / "cut.pad").string();
    const Outcome r = Execute("env PAD_PILOT_CUT_SCENES=1 PAD_PILOT_STAND=1 " + Self().string() + " --pilot " + pad + " " +
                              (dir_ / "cut.log").string() + " --headless --disc " + (dir_ / "disc").string() +
                              " --gs-no-pixels --start 2,6 --exit-after-runs 1 --exit-after-vblanks 9000");
    ASSERT_EQ(r.status, 0) << r.output;
    // The prompt's Cross, then the one that cuts the scene.
    EXPECT_EQ(CrossPresses(Slurp(pad)).size(), 2u) << Slurp(pad);
    EXPECT_EQ(FightLines(r.output), (std::vector<std::string>{"Fight: begun", "Fight: lost"})) << r.output;
    int handbacks = 0;
    for (const RunPoint& p : demo_test::ReadRunLog((dir_ / "cut.log").string()))
        if (p.kind == "handback") {
            handbacks++;
            EXPECT_EQ(p.exit, -1);
        }
    EXPECT_EQ(handbacks, 1);
}

// The GS work of two of the demo's workloads, kept beside the test program
// as drive.gsdump and bar.gsdump for the replay benchmarks: the drive (its
// prompt taken, the player into his car and through the streets) and the
// bar fight (its prompt taken, the fists thrown).  Each dump replays,
// without the game and drawn on the calling thread alone, to its run's frame
// log, field for field.
TEST_F(DemoRuns, TheDriveAndTheBarFightLeaveGsDumpsThatReplayToTheirRuns)
{
    struct Workload {
        std::string name, options;
        int fields;
    };
    const std::string replay = (BuildDir() / "tools" / "gsreplay").string();
    for (const Workload& w : {Workload{"drive", " --pad-script " + Kept("drive.pad"), 1800},
                              Workload{"bar", " --start 2,6 --pad-script " + Kept("bar.pad"), 1500}}) {
        SCOPED_TRACE(w.name);
        const fs::path dump = dir_ / (w.name + ".gsdump"), log = dir_ / (w.name + ".frames");
        const Outcome run = Execute(Korvalis() + " --headless --disc " + (dir_ / "disc").string() + w.options +
                                    " --exit-after-vblanks " + std::to_string(w.fields) + " --gs-dump " +
                                    dump.string() + " --frame-log " + log.string());
        ASSERT_EQ(run.status, 0) << run.output;
        if (w.name == "bar") {
            EXPECT_EQ(FightLines(run.output), std::vector<std::string>{"Fight: begun"}) << run.output;
        }
        const std::string logged = Slurp(log);
        EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), w.fields);

        const Outcome played = Execute(replay + " " + dump.string() + " --gs-threads 0");
        ASSERT_EQ(played.status, 0) << played.output;
        std::string fields;
        std::istringstream lines(played.output);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("gsreplay:", 0) != 0)
                fields += line + "\n";
        EXPECT_TRUE(fields == logged) << "the replay's fields differ from the run's";

        const fs::path kept = BuildDir() / "tests" / (w.name + ".gsdump");
        std::error_code moved;
        fs::rename(dump, kept, moved);
        if (moved)
            fs::copy_file(dump, kept, fs::copy_options::overwrite_existing);
    }
}

// A hundred runs one after another, the pad pilot playing each as the long
// test's plan says: whole wins and losses, and runs left with SELECT on the
// continue prompt, in the drive, the bar's scene, the bar fight, the spa's
// scene, the shoot-out and on the closing screens, Cross skipping every
// card.  The pilot's input is the generated script (kept beside the test
// program as loops.pad, for runs by hand).  The process ends with status 0
// at the hundredth hand-back; each run enters the records of its branch and
// ends as it was left (-1 at the script's end, 2 from a scene, 1 elsewhere),
// a won drive's fight ends either way, and every run starts on the heap the
// first started on, every hand-back leaving what the first left.  No pixels
// are drawn (the fixed-field runs above see the cards).
TEST_F(DemoRuns, HundredRunsLeaveNothingBehind)
{
    using demo_test::Loop;
    constexpr int kRuns = 100;
    const std::vector<Loop> plan = demo_test::LoopMix(kRuns);
    for (Loop kind : {Loop::kWin, Loop::kLoss, Loop::kSelectAtPrompt, Loop::kSelectInDrive, Loop::kSelectInBarScene,
                      Loop::kSelectInFight, Loop::kSelectInSpaScene, Loop::kSelectInShootOut, Loop::kSelectOnClosing})
        ASSERT_NE(std::find(plan.begin(), plan.end(), kind), plan.end()) << demo_test::LoopName(kind);
    const std::string pad = (dir_ / "loops.pad").string();
    const Outcome r = Execute("env PAD_PILOT_PLAN=" + demo_test::PlanText(plan) + " " + Self().string() + " --pilot " +
                              pad + " " + (dir_ / "loops.log").string() + " --headless --disc " +
                              (dir_ / "disc").string() + " --gs-no-pixels --exit-after-runs " +
                              std::to_string(kRuns));
    ASSERT_EQ(r.status, 0) << r.output;
    std::error_code ignored;
    fs::copy_file(pad, BuildDir() / "tests" / "loops.pad", fs::copy_options::overwrite_existing, ignored);

    const std::vector<RunPoint> points = demo_test::ReadRunLog((dir_ / "loops.log").string());
    const std::vector<std::string> records = RecordsByRun(points);
    ASSERT_EQ(records.size(), size_t(kRuns));
    std::vector<int> exits;
    for (const RunPoint& p : points)
        if (p.kind == "handback")
            exits.push_back(p.exit);
    ASSERT_EQ(exits.size(), size_t(kRuns));
    for (size_t i = 0; i < plan.size(); i++) {
        const Loop loop = plan[i];
        const int exit = loop == Loop::kWin || loop == Loop::kLoss ? -1 : demo_test::LeavesAScene(loop) ? 2 : 1;
        EXPECT_EQ(records[i], demo_test::Records(loop)) << "run " << i + 1 << ": " << demo_test::LoopName(loop);
        EXPECT_EQ(exits[i], exit) << "run " << i + 1 << ": " << demo_test::LoopName(loop);
    }
    // The fight of each whole win ends, won or lost (those left with SELECT
    // end with their run).
    const std::vector<std::string> fights = FightLines(r.output);
    const long ended = std::count_if(fights.begin(), fights.end(), [](const std::string& l) { return l != "Fight: begun"; });
    EXPECT_EQ(ended, std::count(plan.begin(), plan.end(), Loop::kWin)) << r.output;
    ExpectRunsLeaveNothing(points);
}

namespace {

// The output's lines that name a file (its name, any case).
int LinesNaming(const std::string& output, const std::string& name)
{
    auto upper = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](char c) { return char(std::toupper(uint8_t(c))); });
        return s;
    };
    int n = 0;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        n += upper(line).find(upper(name)) != std::string::npos;
    return n;
}

// The pilot's measures of a run's output, by field: the rows of the screen
// the player and the foe nearest him cover.
std::map<int, std::pair<int, int>> FighterRows(const std::string& output)
{
    std::map<int, std::pair<int, int>> rows;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        int field = 0, player = 0, foe = 0;
        if (std::sscanf(line.c_str(), "Pilot: field %d: the player %d rows tall, his foe %d rows tall", &field, &player,
                        &foe) == 3)
            rows[field] = {player, foe};
    }
    return rows;
}

}  // namespace

// Beside the hundred runs: two runs each on a disc with one of the files
// that used to stop the demo loop damaged (the drive's placement file, the
// spa's scene, the player's model), nobody at the pad.  The damaged file is
// named once where it is read (the placement file and the scene at each run,
// the player's model once at start-up); each run ends its stage as lost and
// hands back within 12,000 fields of its start; the second run starts, ends
// the same way, and both start on the same heap and leave the same behind.
TEST_F(DemoRuns, RunsOnADamagedDiscEndTheStageThatNeedsTheFileAndTheNextRunStarts)
{
    struct Case {
        const char* file;
        const char* damage;
        int named;              // lines naming the file over the two runs
        const char* records;    // what each run enters
    };
    const Case cases[] = {
        {"MISSION2.EXM", "truncated", 2, "2,5 3,12"},
        {"M3_S7.CIN", "header flipped", 2, "2,5 3,12"},
        {"DACE.P2B", "truncated", 1, "2,5 3,12"},
    };
    std::vector<Outcome> outcomes(std::size(cases));
    std::vector<std::thread> runs;
    for (size_t k = 0; k < std::size(cases); k++) {
        const fs::path disc = dir_ / ("damaged-" + std::to_string(k));
        const Outcome made = Execute(Self().string() + " --damaged-disc " + disc.string() + " " + cases[k].file +
                                     " '" + cases[k].damage + "'");
        ASSERT_EQ(made.status, 0) << made.output;
        runs.emplace_back([&, k, disc] {
            outcomes[k] = Execute(Self().string() + " --play " + (dir_ / ("damaged-" + std::to_string(k) + ".log")).string() +
                                  " --headless --gs-no-pixels --disc " + disc.string() +
                                  " --exit-after-runs 2 --exit-after-vblanks 30000 --pad-script " + Kept("loss.pad"));
        });
    }
    for (std::thread& t : runs)
        t.join();
    for (size_t k = 0; k < std::size(cases); k++) {
        const Case& c = cases[k];
        SCOPED_TRACE(std::string(c.file) + " " + c.damage);
        ASSERT_EQ(outcomes[k].status, 0) << outcomes[k].output;
        EXPECT_EQ(LinesNaming(outcomes[k].output, c.file), c.named) << outcomes[k].output;
        const std::vector<RunPoint> points =
            demo_test::ReadRunLog((dir_ / ("damaged-" + std::to_string(k) + ".log")).string());
        EXPECT_EQ(RecordsByRun(points), (std::vector<std::string>{c.records, c.records}));
        long long start = -1;
        int handbacks = 0;
        for (const RunPoint& p : points) {
            if (p.kind == "start")
                start = p.field;
            if (p.kind == "handback") {
                handbacks++;
                EXPECT_EQ(p.exit, -1) << "run " << p.run;
                EXPECT_LE(p.field - start, 12000) << "run " << p.run;
            }
        }
        EXPECT_EQ(handbacks, 2);
        ExpectRunsLeaveNothing(points);
    }
}

// The damaged-disc trial's fixed sample (damage_trial.h): a few files of
// each kind a losing run reads, each damaged one way.  No case stalls or
// crashes; each of the files that used to stop the demo loop, truncated and
// with its header flipped, is named by exactly one line; a model that is no
// character's, as the player, a gunman or the player's gun, is refused as
// unfit; every other case is refused with a line naming its file, or used
// without changing the run's records.
TEST(DamagedDiscs, ASampleOfEachKindOfFileEndsEveryRunWithAHandBack)
{
    const fs::path dir = fs::temp_directory_path() / ("korvalis-damage-sample-" + std::to_string(getpid()));
    fs::remove_all(dir);
    const Outcome r = Execute(Self().string() + " --damage-trial " + dir.string() + " --sample --jobs 6");
    fs::remove_all(dir);
    ASSERT_EQ(r.status, 0) << r.output;
    // "| path | damage | branch | verdict | detail |"
    std::map<std::string, std::pair<std::string, std::string>> rows;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| ", 0) != 0)
            continue;
        std::vector<std::string> cells;
        std::istringstream row(line.substr(2));
        for (std::string cell; std::getline(row, cell, '|');)
            cells.push_back(cell.substr(cell.find_first_not_of(' '), cell.find_last_not_of(' ') - cell.find_first_not_of(' ') + 1));
        ASSERT_GE(cells.size(), 5u) << line;
        rows[cells[0] + " " + cells[1]] = {cells[3], cells[4]};
    }
    ASSERT_EQ(rows.size(), demo_test::DamageSample().size()) << r.output;
    for (const char* file : {"DemoData/Missions/MISSION2.EXM", "DemoData/Cine/M3/M3_S7.CIN", "DemoData/Char/DACE.P2B"})
        for (const char* damage : {"truncated", "header flipped"}) {
            const auto& [verdict, detail] = rows[std::string(file) + " " + damage];
            EXPECT_EQ(verdict, "refused") << file << " " << damage << ": " << detail;
            EXPECT_EQ(detail.find(" lines, first: "), std::string::npos) << file << " " << damage << ": " << detail;
        }
    // The model that passes its checks but is not fit for the fights: the
    // file named, the fight lost.
    for (const char* file : {"DemoData/Char/DACE.P2B", "DemoData/Char/CHR143.P2B", "DemoData/Misc/DACEGUN3.P2B"}) {
        const auto& [verdict, detail] = rows[std::string(file) + " replaced by says-marker-naming-no-model.p2b"];
        EXPECT_EQ(verdict, "refused") << file << ": " << detail;
    }
    // The walkers' moves with bytes inverted among their keys: the keys run
    // back in time, and the group is refused rather than played.
    EXPECT_EQ(rows["DemoData/Char/NPCPFEM.ANI body flipped"].first, "refused")
        << rows["DemoData/Char/NPCPFEM.ANI body flipped"].second;
    for (const auto& [kase, result] : rows) {
        const auto& [verdict, detail] = result;
        EXPECT_TRUE(verdict == "refused" || verdict == "used") << kase << ": " << verdict << ": " << detail;
        if (verdict == "used")
            EXPECT_EQ(detail.find("records"), std::string::npos) << kase << ": " << detail;
    }
}

// The fights are seen close up from inside their rooms.  The pad pilot
// fights the bar fight from the bar's record on, and stands in the spa's
// shoot-out; in the bar fight's pictures at its start and midway, and in
// the shoot-out's picture, the player and the foe nearest him each stand at
// least a fifth of the screen's height (the rows their bodies' parts cover
// in the picture's view, measured by the pilot).  The pictures match their
// goldens.
TEST_F(DemoRuns, TheFightsAreSeenCloseUp)
{
    struct Shot
    {
        int field;
        const char* golden;
    };
    struct Scene
    {
        const char* start;
        std::vector<Shot> shots;
        Outcome run;
    };
    std::vector<Scene> scenes = {{"2,6", {{600, "bar_fight_start"}, {800, "bar_fight_midway"}}, {}},
                                 {"3,12", {{500, "spa_shootout"}}, {}}};
    auto play = [&](Scene& sc) {
        std::string at;
        for (const Shot& s : sc.shots)
            at += (at.empty() ? "" : ",") + std::to_string(s.field);
        const fs::path dir = dir_ / sc.start;
        fs::create_directories(dir);
        sc.run = Execute("env PAD_PILOT_MEASURE=" + at + " " + Self().string() + " --pilot " + (dir / "pilot.pad").string() +
                         " " + (dir / "pilot.log").string() + " --headless --disc " + (dir_ / "disc").string() +
                         " --start " + sc.start + " --exit-after-vblanks " + std::to_string(sc.shots.back().field + 1) +
                         " --gs-pixels-for-kept --dump-frames " + (dir / "png").string() + " --dump-at " + at);
    };
    std::thread other([&] { play(scenes[1]); });
    play(scenes[0]);
    other.join();
    const int fifth = 512 / 5;
    for (const Scene& sc : scenes) {
        ASSERT_EQ(sc.run.status, 0) << sc.run.output;
        const std::map<int, std::pair<int, int>> rows = FighterRows(sc.run.output);
        for (const Shot& s : sc.shots) {
            SCOPED_TRACE(s.golden);
            ASSERT_EQ(rows.count(s.field), 1u) << sc.run.output;
            EXPECT_GT(rows.at(s.field).first, fifth);
            EXPECT_GT(rows.at(s.field).second, fifth);
            char name[32];
            std::snprintf(name, sizeof name, "field-%06d.png", s.field);
            std::ifstream in(dir_ / sc.start / "png" / name, std::ios::binary);
            const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            png_reader::Picture pic;
            ASSERT_TRUE(!file.empty() && png_reader::Decode(file, pic)) << name;
            ASSERT_EQ(pic.width, 640u);
            ASSERT_EQ(pic.height, 512u);
            golden::ExpectPicture(s.golden, 640, 512, golden::PictureWords(pic));
        }
    }
}
