// The player's frame with his camera, one tick an iteration: made by his
// kind's handler from the generated model and groups, on foot, his speed
// swinging between a stand and a sprint so that the gait changes and their
// cross-fades are all in the cost, his camera following.
#include <benchmark/benchmark.h>

#include <cmath>

#include "tests/game/player_support.h"

#include "ZevEngine2/World.h"
#include "ZevEngine2/modelfile.h"
#include "game/Camera.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

void BM_PlayerFrameWithCamera(benchmark::State& state)
{
    playerrig::Rig rig;
    rig.Resident();
    world.playbackSpeed = 1.2f;
    Dace* d = playerrig::MakePlayer();
    int tick = 0;
    for (auto _ : state) {
        world.time++;
        d->speed = std::fabs(std::sin(0.01f * float(tick++)));
        d->SendMessage(OM_FRAME, &world);
        benchmark::DoNotOptimize(d->cam->mat);
    }
    state.SetItemsProcessed(state.iterations());
    d->Delete();
    world.Clear();
    SetCurrentCam(nullptr);
}

}  // namespace

BENCHMARK(BM_PlayerFrameWithCamera);
