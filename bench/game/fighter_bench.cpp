// Eight fist fighters round a player who turns on the spot and throws a
// punch now and then: whole world ticks a second (fight frames, choosers,
// animation and blows of all eight).
#include <benchmark/benchmark.h>

#include <cmath>

#include "tests/game/enemy_support.h"

static void BM_EightFightersRoundThePlayer(benchmark::State& state)
{
    enemyrig::Scene scene;
    srand(4);
    for (int i = 0; i < 8; i++) {
        const float a = 6.2831855f * float(i) / 8.0f;
        char name[] = "FighterEnemy";
        Object* o = g_pgcTest->CreateCharacterAt(enemyrig::kEnemySlot, 20 + i, -1, name, false);
        if (o == nullptr) {
            state.SkipWithError("no fighter");
            return;
        }
        Enemy* e = static_cast<Enemy*>(o);
        e->mat.SetTrans(VectorPos(1.5f * std::cos(a), 0.0f, 1.5f * std::sin(a)));
        e->vobank = 255;
        e->aggro = 0.3f + 0.1f * float(i % 5);
        e->attackmode = i < 2 ? Enemy::AM_FRONT : Enemy::AM_PASSIVE;
        e->fightpos = VectorPos(1.0f * std::cos(a), 0.0f, 1.0f * std::sin(a));
    }
    long frames = 0;
    for (auto _ : state) {
        // The scripted player: a punch (a combo attack) 20 frames in 60.
        scene.player->mode2 = (frames % 60) < 20 ? 165 : 0;
        scene.player->mat = RotY(0.01f * float(frames));
        scene.Ticks(1);
        frames++;
        world.playbackSpeed = 1.0f;
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EightFightersRoundThePlayer)->Unit(benchmark::kMicrosecond);
