// Head pointing on the player's generated body, one call a tick: the neck
// and both eyes turned toward a point that circles in front of him (the
// look always on, the cost of a frame with a glance under way), and the
// same with the glancing rhythm deciding when to look.
#include <benchmark/benchmark.h>

#include <cmath>

#include "tests/game/player_support.h"

#include "game/QuadTree.h"

namespace {

void PointHeadLoop(benchmark::State& state, DaceBody::LookMode mode)
{
    playerrig::Rig rig;
    rig.Resident();
    DaceBody* body = rig.Body();
    body->Init();
    body->lookmode = mode;
    body->pointhead = true;
    body->controlhead = true;
    const VectorPos head = body->head->GetWorldPos();
    int tick = 0;
    for (auto _ : state) {
        world.time++;
        const float a = 0.01f * float(tick++);
        body->headpointloc = VectorPos(head[0] + 3.0f * std::sin(a), head[1] + 0.5f * std::cos(3.0f * a), head[2] + 4.0f);
        body->PointHead();
        benchmark::DoNotOptimize(body->head->blendAnim->poseBlend);
    }
    state.SetItemsProcessed(state.iterations());
    body->Delete();
}

void BM_PointHeadAlwaysLooking(benchmark::State& state) { PointHeadLoop(state, DaceBody::ALWAYS_LOOKING); }
void BM_PointHeadSometimesLooking(benchmark::State& state) { PointHeadLoop(state, DaceBody::SOMETIMES_LOOKING); }

}  // namespace

BENCHMARK(BM_PointHeadAlwaysLooking);
BENCHMARK(BM_PointHeadSometimesLooking);
