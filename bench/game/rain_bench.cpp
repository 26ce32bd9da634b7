// The rain's frame on the main processor: the drop packet, the wind, the 49
// column and 343 cube tests, the splashes with their ground heights in the
// sample city, the command blocks of the cubes in view, and the drops moved.
// The camera rides 1.5 above the road along the stand-in's drive, looking
// ahead; the splashes age one tick a frame.  The chain is built, not sent.
#include "citybench_support.h"

#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "gs/gs.h"
#include "tools/lib/partfiles.h"

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "game/GameFlow.h"
#include "game/Rain.h"

namespace {

using namespace citybench;

// The splash file in its registry slot for the benchmark's run.
bool PlaceSplashFile(benchmark::State& state, void*& block)
{
    tools::NamedFile f;
    std::string error;
    if (!tools::SplashParticleFile(f, error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    block = HeapCopy(f.data);
    StreamMdlFile& smf = g_GlobalMFI.GetMFI(PARTFILE_SPLASH_SLOT).smf;
    smf.SetBuffer(block);
    if (!smf.Init(u32(f.data.size()))) {
        state.SkipWithError("the splash file was refused");
        return false;
    }
    smf.length = u32(f.data.size());
    return true;
}

void RainFrames(benchmark::State& state, float density)
{
    console::dmac::EnsureRegistered();
    console::ResetScheduler();
    console::gs::ResetGs(true);
    texman.vif_handlerid = -1;
    TexManOn();
    texman.Init(2048, 4096);
    void* splashfile = nullptr;
    if (!LoadSampleCity(state) || !PlaceSplashFile(state, splashfile))
        return;
    while (!world.SyncTo(VectorPos(0, 0, 0))) {
    }
    const std::vector<VectorPos> path = Route(-1.5f, 0.25f);
    RenderContext rc;
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.6f);
    gRain.SetDensity(density);
    gRain.SetSplashColour(Colour(100, 110, 130, 128));
    size_t i = 0;
    long cubes = 0, splashes = 0;
    for (auto _ : state) {
        const VectorPos at = path[i];
        const VectorPos ahead = path[(i + 8) % path.size()];
        rc.SetCameraMatrix(LookatMatrix(at, ahead == at ? at + VectorDir(1, 0, 0) : ahead));
        therenderer.BeginScene(dmabuff[0], gifbuff[0], false);
        gRain.Draw(rc);
        if (Splash::manager != nullptr) {
            Splash::manager->Update(1.0f);
            splashes += Splash::manager->list.Count();
        }
        cubes += gRain.cubesDrawn;
        i = (i + 1) % path.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["cubes drawn/frame"] = benchmark::Counter(double(cubes) / double(state.iterations()));
    state.counters["splashes alive"] = benchmark::Counter(double(splashes) / double(state.iterations()));
    world.Clear();
    FreeSampleCity();
    g_GlobalMFI.GetMFI(PARTFILE_SPLASH_SLOT).smf.header = nullptr;
    free(splashfile);
    gRain.SetDensity(0.0f);
    TexManOff();
}

void BM_RainDrawFullStrength(benchmark::State& state)
{
    RainFrames(state, 1.0f);
}
BENCHMARK(BM_RainDrawFullStrength);

void BM_RainDrawHalfStrength(benchmark::State& state)
{
    RainFrames(state, 0.5f);
}
BENCHMARK(BM_RainDrawHalfStrength);

}  // namespace
