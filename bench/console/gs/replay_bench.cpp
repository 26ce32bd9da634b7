// The demo's GS work replayed from the dump the game tests leave in the
// build tree (tests/demo.gsdump; run the game tests first): every field's
// drawing and read-out, as million pixels covered a second.
#include <unistd.h>

#include <filesystem>

#include "gs_bench_support.h"
#include "tools/lib/gsreplay.h"

namespace {

std::filesystem::path DemoDump()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    self[n] = 0;
    return std::filesystem::path(self).parent_path().parent_path() / "tests" / "demo.gsdump";
}

void BM_DemoReplay(benchmark::State& state)
{
    tools::GsReplayOptions options;
    options.dump = DemoDump().string();
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

}  // namespace
