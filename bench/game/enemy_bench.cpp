// Twenty shooters patrolling round the player and firing in bursts: whole
// world ticks a second (frames, animation, aim and shots of all twenty).
#include <benchmark/benchmark.h>

#include <cmath>

#include "tests/game/enemy_support.h"

static void BM_TwentyShootersPatrolAndFire(benchmark::State& state)
{
    enemyrig::Scene scene;
    srand(3);
    for (int i = 0; i < 20; i++) {
        const float a = 6.2831855f * float(i) / 20.0f;
        Enemy* e = scene.Shooter(VectorPos(6.0f * std::cos(a), 0.0f, 6.0f * std::sin(a)), WEAP_PISTOL_RUGER, 10 + i);
        if (e == nullptr) {
            state.SkipWithError("no shooter");
            return;
        }
        e->aggro = 0.7f;
    }
    scene.Ticks(2);   // all of them patrolling
    long frames = 0;
    for (auto _ : state) {
        scene.Ticks(1);
        frames++;
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["shots heard"] = benchmark::Counter(double(enemyrig::heard.shotAt));
}
BENCHMARK(BM_TwentyShootersPatrolAndFire)->Unit(benchmark::kMicrosecond);
