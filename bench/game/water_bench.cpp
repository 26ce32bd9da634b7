// The ocean per drawn frame: the wave update, the 17 x 16 grid projected onto
// the sea and lifted onto the waves, and the strip handed to the renderer,
// seen from a camera 4 units up looking out to the horizon.
#include <benchmark/benchmark.h>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "game/Water.h"

namespace {

void BM_MC2TestWater(benchmark::State& state)
{
    texman.Init(12800, 3584);
    RenderContext rc;
    rc.SetAspectRatio(1.0f, 1.0f);
    rc.SetViewport(2048.0f, 2048.0f + 640.0f, 2048.0f, 2048.0f + 512.0f, 1.0f, 16000000.0f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.5555625f);
    rc.SetCameraMatrix(LookFromMatrix(VectorPos(0.0f, -4.0f, 0.0f), VectorDir(0.2f, 0.12f, 1.0f)));
    int frames = 0;
    for (auto _ : state) {
        if (frames % 64 == 0) {
            state.PauseTiming();
            therenderer.BeginScene(dmabuff[0], gifbuff[0], frames == 0);
            state.ResumeTiming();
        }
        MC2TestWater(rc);
        frames++;
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MC2TestWater);

}  // namespace
