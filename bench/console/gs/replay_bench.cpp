// The demo's GS work replayed from the dumps the demo and game tests leave
// in the build tree (run them first): the first 120 fields of the demo
// (tests/demo.gsdump, as million pixels covered a second), and the drive
// and the bar fight (tests/drive.gsdump from field 300, tests/bar.gsdump
// from field 500, as fields a second) on the calling thread and with 1, 3
// and 7 draw threads.  Every field is read out as the run read it.
#include <unistd.h>

#include <filesystem>

#include "gs_bench_support.h"
#include "tools/lib/gsreplay.h"

namespace {

std::filesystem::path KeptDump(const char* name)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    self[n] = 0;
    return std::filesystem::path(self).parent_path().parent_path() / "tests" / name;
}

void BM_DemoReplay(benchmark::State& state)
{
    tools::GsReplayOptions options;
    options.dump = KeptDump("demo.gsdump").string();
    options.quiet = true;
    options.threads = state.range(0) ? console::gs::DefaultDrawThreads() : 0;
    tools::GsReplayResult result;
    std::string error;
    if (!tools::ReplayGsDump(options, result, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    // The pixels were counted once; the timed plays draw without counting.
    const double pixels = static_cast<double>(result.pixels);
    options.count_pixels = false;
    gsbench::Measure(state, "demo dump replayed (fields read out too)", state.range(0), pixels,
                     [&] { tools::ReplayGsDump(options, result, &error); });
}
BENCHMARK(BM_DemoReplay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A workload's fields from `from` on, each play timed from there (the
// fields before it are played untimed, as the state they start from).
void ReplayFields(benchmark::State& state, const char* dump, u32 from)
{
    tools::GsReplayOptions options;
    options.dump = KeptDump(dump).string();
    options.quiet = true;
    options.count_pixels = false;
    options.from = from;
    options.threads = static_cast<int>(state.range(0));
    tools::GsReplayResult result;
    std::string error;
    double seconds = 0;
    u64 fields = 0;
    for (auto _ : state) {
        if (!tools::ReplayGsDump(options, result, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(result.seconds);
        seconds += result.seconds;
        fields += result.fields;
    }
    state.counters["fields_per_s"] = seconds > 0 ? static_cast<double>(fields) / seconds : 0.0;
    state.SetLabel(std::to_string(state.range(0)) + " draw threads");
}

void BM_DriveReplay(benchmark::State& state)
{
    ReplayFields(state, "drive.gsdump", 300);
}
BENCHMARK(BM_DriveReplay)->Arg(0)->Arg(1)->Arg(3)->Arg(7)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_BarReplay(benchmark::State& state)
{
    ReplayFields(state, "bar.gsdump", 500);
}
BENCHMARK(BM_BarReplay)->Arg(0)->Arg(1)->Arg(3)->Arg(7)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
