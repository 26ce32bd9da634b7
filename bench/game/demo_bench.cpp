// The demo as it plays headless: frames of the main loop over the timed
// drive (the player in car 65 driving east along Elm Street) and over the bar
// fight (its prompt and scene skipped with Cross, the player punching), the
// whole program's cost per frame with the display stand-in's drawing.  The
// fields/s counter is the display's fields played per second of the
// machine's clock: 50 is real time.  The game starts once per process, so each
// benchmark runs alone:
//   build/bench/game_bench --benchmark_filter=DemoDrive
//   build/bench/game_bench --benchmark_filter=DemoFight
#include <benchmark/benchmark.h>

#include <unistd.h>

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
bool StartDemo(benchmark::State& state, int episode, int record, const char* script)
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
    if (!console::host::headless::Install(&error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    StartUp(0, nullptr);
    StartRun(episode, record);
    return true;
}

void PlayFrames(benchmark::State& state)
{
    const u32 first = Platform::Count();
    for (auto _ : state)
        MainLoopFrame();
    // A run that ended on the way draws nothing more: its figure would say
    // nothing of the demo's frames.
    if (g_pgcTest->iMainExitVal != 0)
        state.SkipWithError("the run ended before the frames were counted");
    state.counters["fields/s"] = benchmark::Counter(double(Platform::Count() - first), benchmark::Counter::kIsRate);
}

void BM_DemoDrive(benchmark::State& state)
{
    // Cross on the prompt, L1 at the car's door, then the accelerator.
    if (StartDemo(state, 2, 5, "@900 pad0 press CROSS for 2\n@1000 pad0 press L1 for 2\n@1150 pad0 press CROSS for 100000\n"))
        PlayFrames(state);
}
BENCHMARK(BM_DemoDrive)->Unit(benchmark::kMillisecond)->Iterations(1500)->UseRealTime();

void BM_DemoFight(benchmark::State& state)
{
    // Cross on the bar's prompt and in its scene, then a punch a second.
    std::string script = "@300 pad0 press CROSS for 2\n@400 pad0 press CROSS for 2\n";
    for (int f = 500; f < 20000; f += 50)
        script += "@" + std::to_string(f) + " pad0 press SQUARE for 4\n";
    if (StartDemo(state, 2, 6, script.c_str()))
        PlayFrames(state);
}
BENCHMARK(BM_DemoFight)->Unit(benchmark::kMillisecond)->Iterations(1500)->UseRealTime();

}  // namespace
