// The world's whole frame draw along the stand-in drive over the sample
// city at noon: fog and lights, the visibility walk, roads, city and live
// objects, shadows, sky, blurs, transparencies, particles and glows, as
// KVWorld::Draw builds the frame's packet.  Frames per second are the main
// processor's cost of building it; the packets are not sent.
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/light.h"
#include "game/QuadTree.h"
#include "game/LightSets.h"
#include "citybench_support.h"

namespace {

using namespace citybench;

void BM_WorldDrawAlongTheDrive(benchmark::State& state)
{
    const std::vector<VectorPos> path = Route(-3.0f, 2.0f);
    if (!citybench::LoadSampleCity(state))
        return;
    while (!world.SyncTo(path[0])) {
    }
    texman.Init(-1, -1);
    texman.Init(12800, 3584);
    Platform::GetDrawBuffer().Set(PSMCT32, 640, 512);
    Platform::GetZBuffer().Set(PSMZ24, 640, 512);
    LightContext lights;
    SetLightContext(&lights);
    world.SetColours(DaylightSet());
    world.time_of_day = KVWorld::DAY_FRAMES / 2;
    RenderContext rc;
    DriveView(rc);
    size_t i = 0;
    double words = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rc.SetCameraMatrix(DriveCamera(path, i));
        lights.Clear();
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        const u32* from = therenderer.p;
        state.ResumeTiming();
        world.Draw(rc, true, true);
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
    SetLightContext(nullptr);
    FreeSampleCity();
}
BENCHMARK(BM_WorldDrawAlongTheDrive);

}  // namespace
