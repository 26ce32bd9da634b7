// The city's drawing along the stand-in drive over the sample city: the
// frame's packet for the road pass (segments, kerbs, junctions through the
// road generator's batches) and for the objects pass (instances, batches,
// ground patches), built each frame after the visibility walk.  Frames per
// second are the passes' own main-processor cost; the packets are not sent.
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "game/QuadTree.h"
#include "citybench_support.h"

namespace {

using namespace citybench;

bool LoadCityAt(benchmark::State& state, VectorPos start)
{
    if (!citybench::LoadSampleCity(state))
        return false;
    while (!world.SyncTo(start)) {
    }
    texman.Init(-1, -1);
    texman.Init(12800, 3584);
    return true;
}

template <class Pass>
void DrawAlongTheDrive(benchmark::State& state, Pass pass)
{
    const std::vector<VectorPos> path = Route(-3.0f, 2.0f);
    if (!LoadCityAt(state, path[0]))
        return;
    RenderContext rc;
    rc.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
    rc.SetAspectRatio(1.0f, 1.056f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.6f);
    size_t i = 0;
    double words = 0;
    for (auto _ : state) {
        const VectorPos at = path[i];
        const VectorPos next = path[(i + 1) % path.size()];
        const VectorDir ahead = next == at ? VectorDir(1, 0, 0) : VectorDir(next - at);
        state.PauseTiming();
        rc.SetCameraMatrix(LookatMatrix(at, at + ahead * 10.0f));
        world.quadtree->ClearVisibility();
        world.quadtree->CalcSortedVisibility(rc);
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        rc.Begin();
        InitTransparencies(rc);
        const u32* from = therenderer.p;
        state.ResumeTiming();
        pass(*world.quadtree, rc);
        state.PauseTiming();
        words += double(therenderer.p - from);
        therenderer.EndScene();
        therenderer.vifdraw = nullptr;
        state.ResumeTiming();
        i = (i + 1) % path.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["packet words/frame"] = benchmark::Counter(words / double(state.iterations()));
    FreeSampleCity();
}

void BM_RoadPassAlongTheDrive(benchmark::State& state)
{
    DrawAlongTheDrive(state, [](QuadTree& qt, RenderContext& rc) { qt.DrawRoads(rc); });
}
BENCHMARK(BM_RoadPassAlongTheDrive);

void BM_DrawObjectsAlongTheDrive(benchmark::State& state)
{
    DrawAlongTheDrive(state, [](QuadTree& qt, RenderContext& rc) { qt.DrawObjects(rc); });
}
BENCHMARK(BM_DrawObjectsAlongTheDrive);

}  // namespace
