// The main loop's frames over the sample city at noon, with no characters:
// the stand-in drive's camera moves one stop a frame and each frame runs one
// logic tick (pads, the world's update and collision pass, the camera's
// collision), the world's animation and lights, the whole frame's draw, the
// interface, the flip, the sound and the three jukeboxes.  Frames per second
// are the program's own cost, the display stand-in's drawing included.
#include "ZevEngine2/PS2/Platform.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "citybench_support.h"

namespace {

using namespace citybench;

void BM_MainLoopFramesAlongTheDrive(benchmark::State& state)
{
    static bool started = false;
    if (!started) {
        StartUp(0, nullptr);
        started = true;
    }
    const std::vector<VectorPos> path = Route(-3.0f, 2.0f);
    if (!citybench::LoadSampleCity(state))
        return;
    while (!world.SyncTo(path[0])) {
    }
    world.time_of_day = KVWorld::DAY_FRAMES / 2;
    Camera view;
    SetCurrentCam(&view);
    size_t i = 0;
    int ticks = 0;
    for (auto _ : state) {
        view.mat = DriveCamera(path, i);
        // One tick owed: the frame neither waits nor catches up.
        iLastUpdateVSync = int(Platform::Count()) - 1;
        ticks += MainLoopFrame();
        i = (i + 1) % path.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ticks/frame"] = benchmark::Counter(double(ticks) / double(state.iterations()));
    SetCurrentCam(nullptr);
    FreeSampleCity();
}
BENCHMARK(BM_MainLoopFramesAlongTheDrive)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace
