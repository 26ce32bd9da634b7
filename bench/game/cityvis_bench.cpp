// The city's per-frame visibility walk over the sample city, with the camera
// driving the stand-in route (east along Elm Street, south down Queen Avenue,
// east along Station Street) and back: the window follows the camera and the
// sorted draw lists are rebuilt each frame.
#include "citybench_support.h"

namespace {

using namespace citybench;

void BM_CalcSortedVisibilityAlongTheDrive(benchmark::State& state)
{
    if (!LoadSampleCity(state))
        return;
    const std::vector<VectorPos> path = Route(-3.0f, 2.0f);
    while (!world.SyncTo(path[0])) {
    }

    RenderContext rc;
    DriveView(rc);
    size_t i = 0;
    int listed = 0;
    for (auto _ : state) {
        rc.SetCameraMatrix(DriveCamera(path, i));
        world.quadtree->ClearVisibility();
        world.quadtree->CalcSortedVisibility(rc);
        listed += world.quadtree->stObjects.Count();
        i = (i + 1) % path.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["instances/frame"] = benchmark::Counter(double(listed) / double(state.iterations()));
    FreeSampleCity();
}
BENCHMARK(BM_CalcSortedVisibilityAlongTheDrive);

}  // namespace
