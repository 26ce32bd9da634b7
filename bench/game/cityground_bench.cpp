// Ground heights along the stand-in's drive through the sample city, a
// quarter unit apart, asked at the feet of something that stands on the
// ground it found last: with its cache (the common case of something
// travelling along the roads) and without (every query searches the window).
#include "citybench_support.h"

namespace {

using namespace citybench;

void GroundAlongTheDrive(benchmark::State& state, bool cached)
{
    if (!LoadSampleCity(state))
        return;
    // The window around the origin holds the whole drive.
    while (!world.SyncTo(VectorPos(0, 0, 0))) {
    }
    const std::vector<VectorPos> path = Route(0.0f, 0.25f);
    GHCache cache;
    std::memset(&cache, 0, sizeof cache);
    size_t i = 0;
    float feet = -1.0f;
    VectorDir n;
    for (auto _ : state) {
        const VectorPos p(path[i][0], feet, path[i][2]);
        feet = world.GroundHeight(p, &n, cached ? &cache : nullptr);
        i = (i + 1) % path.size();
    }
    benchmark::DoNotOptimize(feet);
    state.SetItemsProcessed(state.iterations());
    state.counters["surface tests/query"] = benchmark::Counter(double(groundtests.surfaces) / double(state.iterations()));
    FreeSampleCity();
}

void BM_GroundHeightAlongTheDriveWithCache(benchmark::State& state)
{
    groundtests = {};
    GroundAlongTheDrive(state, true);
}
BENCHMARK(BM_GroundHeightAlongTheDriveWithCache);

void BM_GroundHeightAlongTheDriveWithoutCache(benchmark::State& state)
{
    groundtests = {};
    GroundAlongTheDrive(state, false);
}
BENCHMARK(BM_GroundHeightAlongTheDriveWithoutCache);

}  // namespace
