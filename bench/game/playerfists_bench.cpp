// The player on foot in a fist fight, one tick an iteration: his frame, the
// end of his animation and a touch from each of four fighters around him
// (their bodies, no attack boxes), with his camera following.  Reports
// player ticks per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/game/player_support.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/modelfile.h"
#include "game/Camera.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

constexpr int kFighters = 4;

void BM_PlayerOnFootAmongFourFighters(benchmark::State& state)
{
    playerrig::Rig rig;
    rig.Resident();
    world.playbackSpeed = 1.2f;
    Dace* d = playerrig::MakePlayer();
    d->SwitchToMode(DACEMODE_FISTS, true);

    // Four foes in a ring just out of arm's reach; each answers 0.
    std::vector<playerrig::MessageSink*> foes;
    for (int i = 0; i < kFighters; i++) {
        auto* f = new playerrig::MessageSink;
        f->type = OBJT_CHARACTER;
        f->id = s16(-101 - i);
        const float x = (i & 1) ? 0.6f : -0.6f, z = (i & 2) ? 0.6f : -0.6f;
        f->mat = TransMatrix(x, 0.0f, z);
        world.objectlist.AddTail(f);
        foes.push_back(f);
    }
    d->target = foes[0];
    d->facemode = true;
    CollSphereEnd mine(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));
    CollSphereEnd his(0, Sphere(0.0f, -1.0f, 0.0f, 0.3f));

    for (auto _ : state) {
        world.time++;
        d->SendMessage(OM_FRAME, &world);
        benchmark::DoNotOptimize(d->Loop_PedestrianMode(d, 0, false));
        for (playerrig::MessageSink* f : foes) {
            CollisionRecord cr(d, f);
            cr.Set(mine.Chain(), his.Chain(), d, f);
            cr.SaveMatrix(d->GetWorldMatrix(), f->GetWorldMatrix());
            benchmark::DoNotOptimize(d->Collision_Pedestrian(&cr));
        }
        d->ClearPopOut();
        for (size_t i = 0; i < foes.size(); i++)
            foes[i]->mat = TransMatrix((i & 1) ? 0.6f : -0.6f, 0.0f, (i & 2) ? 0.6f : -0.6f);
        d->mat.SetTrans(VectorPos(0.0f, 0.0f, 0.0f));
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("player ticks");
    d->target = nullptr;
    d->Delete();
    for (playerrig::MessageSink* f : foes) {
        world.objectlist.Remove(f);
        delete f;
    }
    world.Clear();
    SetCurrentCam(nullptr);
}

}  // namespace

BENCHMARK(BM_PlayerOnFootAmongFourFighters);
