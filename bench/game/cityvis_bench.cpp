// The city's per-frame visibility walk over the sample city, with the camera
// driving the stand-in route (east along Elm Street, south down Queen Avenue,
// east along Station Street) and back: the window follows the camera and the
// sorted draw lists are rebuilt each frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/lib/city.h"

#include "game/QuadTree.h"
#include "city_bench_support.h"

namespace {

using namespace citybench;

void BM_CalcSortedVisibilityAlongTheDrive(benchmark::State& state)
{
    tools::CityFiles city;
    std::string error;
    if (!tools::WriteCity(tools::SampleCity(), city, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    files[CITY_CELLS_PATH] = city.mgd;
    files[CITY_MODELS_PATH] = city.exm;
    cityio = MemoryIO();
    world.InitCity(HeapCopy(city.idx), u32(city.idx.size()), HeapCopy(city.exp), u32(city.exp.size()));
    const std::vector<VectorPos> path = Route();
    while (!world.SyncTo(path[0])) {
    }

    RenderContext rc;
    rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
    rc.SetAspectRatio(1.0f, 1.056f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.6f);
    size_t i = 0;
    int listed = 0;
    for (auto _ : state) {
        const VectorPos at = path[i];
        const VectorPos next = path[(i + 1) % path.size()];
        const VectorDir ahead = next == at ? VectorDir(1, 0, 0) : VectorDir(next - at);
        rc.SetCameraMatrix(LookatMatrix(at, at + ahead * 10.0f));
        world.quadtree->ClearVisibility();
        world.quadtree->CalcSortedVisibility(rc);
        listed += world.quadtree->stObjects.Count();
        i = (i + 1) % path.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["instances/frame"] = benchmark::Counter(double(listed) / double(state.iterations()));
    world.Reset();
    world.FreeCity();
    cityio = RealCityIO();
}
BENCHMARK(BM_CalcSortedVisibilityAlongTheDrive);

}  // namespace
