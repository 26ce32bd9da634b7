// The demo as it plays headless: frames of the main loop over the timed
// drive (the player in car 65 driving east along Elm Street), with and
// without the display stand-in drawing pixels (--gs-no-pixels), and over the
// bar fight (its prompt and scene skipped with Cross, the player punching):
// the whole program's cost per frame.  DemoDriveThreads is the drive with
// the GS's default draw threads: its processor time counts every thread, so
// "wall fields/s" is its figure.  The counted frames start once the car
// is under way (or the fight has begun); the loading and the prompt before
// are played uncounted.  The GS draws on the program's own thread
// (--gs-threads 0), so the time is the process's processor time, which a
// loaded machine inflates far less than its clock: "fields/s" is the
// display's fields played per second of processor time (50 is real time),
// "wall fields/s" the same per second of the clock, "load" the machine's
// one-minute load average when the count ended.  The game starts once per
// process, so each benchmark runs alone:
//   build/bench/game_bench --benchmark_filter=DemoDrive/
//   build/bench/game_bench --benchmark_filter=DemoDriveThreads
//   build/bench/game_bench --benchmark_filter=DemoDriveNoPixels
//   build/bench/game_bench --benchmark_filter=DemoFight
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ZevEngine2/PS2/Platform.h"
#include "core/config.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "host/headless/headless.h"
#include "tools/lib/sampledisc.h"

namespace {

// The sample disc and the pad script in a scratch directory, the headless
// front end with the script as pad 0, the start-up and the run's first
// record; false (the benchmark skipped) when any of it fails.
bool StartDemo(benchmark::State& state, int episode, int record, const char* script, bool pixels = true,
               bool drawThreads = false)
{
    static bool started = false;
    if (started) {
        state.SkipWithError("the game starts once per process: run each demo benchmark alone");
        return false;
    }
    started = true;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvalis-demo-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string error;
    if (!tools::WriteSampleDisc((dir / "disc").string(), error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    std::ofstream(dir / "bench.pad") << script;
    console::SetOption("disc", (dir / "disc").string());
    console::SetOption("pad-script", (dir / "bench.pad").string());
    if (!drawThreads)
        console::SetOption("gs-threads", "0");
    if (!pixels)
        console::SetOption("gs-no-pixels", "1");
    if (!console::host::headless::Install(&error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    StartUp(0, nullptr);
    StartRun(episode, record);
    return true;
}

// Plays frames uncounted until the display has shown `from` fields, then
// counts the benchmark's frames.
void PlayFrames(benchmark::State& state, u32 from)
{
    while (Platform::Count() < from && g_pgcTest->iMainExitVal == 0)
        MainLoopFrame();
    const u32 first = Platform::Count();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        MainLoopFrame();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A run that ended on the way draws nothing more: its figure would say
    // nothing of the demo's frames.
    if (g_pgcTest->iMainExitVal != 0)
        state.SkipWithError("the run ended before the frames were counted");
    const double fields = double(Platform::Count() - first);
    state.counters["fields/s"] = benchmark::Counter(fields, benchmark::Counter::kIsRate);
    state.counters["wall fields/s"] = wall > 0 ? fields / wall : 0.0;
    double load[1] = {0};
    if (getloadavg(load, 1) == 1)
        state.counters["load"] = load[0];
}

// Cross on the prompt, L1 at the car's door, then the accelerator; counted
// from field 1300, the car under way.
const char kDrive[] = "@900 pad0 press CROSS for 2\n@1000 pad0 press L1 for 2\n@1150 pad0 press CROSS for 100000\n";

void BM_DemoDrive(benchmark::State& state)
{
    if (StartDemo(state, 2, 5, kDrive))
        PlayFrames(state, 1300);
}
BENCHMARK(BM_DemoDrive)->Unit(benchmark::kMillisecond)->Iterations(1500)->MeasureProcessCPUTime();

void BM_DemoDriveThreads(benchmark::State& state)
{
    if (StartDemo(state, 2, 5, kDrive, true, true))
        PlayFrames(state, 1300);
}
BENCHMARK(BM_DemoDriveThreads)->Unit(benchmark::kMillisecond)->Iterations(1500)->MeasureProcessCPUTime();

void BM_DemoDriveNoPixels(benchmark::State& state)
{
    if (StartDemo(state, 2, 5, kDrive, false))
        PlayFrames(state, 1300);
}
BENCHMARK(BM_DemoDriveNoPixels)->Unit(benchmark::kMillisecond)->Iterations(1500)->MeasureProcessCPUTime();

void BM_DemoFight(benchmark::State& state)
{
    // Cross on the bar's prompt and in its scene, then a punch a second;
    // counted from field 600, the thugs closing in.
    std::string script = "@300 pad0 press CROSS for 2\n@400 pad0 press CROSS for 2\n";
    for (int f = 500; f < 20000; f += 50)
        script += "@" + std::to_string(f) + " pad0 press SQUARE for 4\n";
    if (StartDemo(state, 2, 6, script.c_str()))
        PlayFrames(state, 600);
}
BENCHMARK(BM_DemoFight)->Unit(benchmark::kMillisecond)->Iterations(600)->MeasureProcessCPUTime();

}  // namespace
