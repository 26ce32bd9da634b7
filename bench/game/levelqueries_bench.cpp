// The level queries along the stand-in's drive through the sample city, a
// quarter unit apart: the road under each point, the nearest road to it, and
// the city objects in a 10-unit box about it (queries a second).
#include "citybench_support.h"

#include "game/GameFEnt.h"

namespace {

using namespace citybench;

template <class Query>
void AlongTheDrive(benchmark::State& state, Query query)
{
    if (!LoadSampleCity(state))
        return;
    while (!world.SyncTo(VectorPos(0, 0, 0))) {
    }
    const std::vector<VectorPos> path = Route(-1.0f, 0.25f);
    size_t i = 0;
    int found = 0;
    for (auto _ : state) {
        found += query(path[i]);
        i = (i + 1) % path.size();
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations());
    state.counters["found/query"] = benchmark::Counter(double(found) / double(state.iterations()));
    FreeSampleCity();
}

void BM_FindRoadSegAlongTheDrive(benchmark::State& state)
{
    AlongTheDrive(state, [](VectorPos p) { return FindRoadSeg(p) != nullptr ? 1 : 0; });
}
BENCHMARK(BM_FindRoadSegAlongTheDrive);

void BM_FindNearestRoadSegAlongTheDrive(benchmark::State& state)
{
    AlongTheDrive(state, [](VectorPos p) {
        float t;
        return FindNearestRoadSeg(p, &t, false) != nullptr ? 1 : 0;
    });
}
BENCHMARK(BM_FindNearestRoadSegAlongTheDrive);

void BM_FindObjectsAlongTheDrive(benchmark::State& state)
{
    AlongTheDrive(state, [](VectorPos p) {
        RCptr<Object> out[32];
        return FindObjects(Cuboid(p, 5.0f), out, 32);
    });
}
BENCHMARK(BM_FindObjectsAlongTheDrive);

}  // namespace
