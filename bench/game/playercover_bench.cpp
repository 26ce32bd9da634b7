// The wall search: one CheckForSplineEntry an iteration over a level of 200
// wall segments (50 walls of four), the player beside one of them.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/game/player_support.h"

#include "ZevEngine2/World.h"
#include "ZevEngine2/modelfile.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

void BM_CheckForSplineEntry200Segments(benchmark::State& state)
{
    playerrig::Rig rig;
    rig.Resident();
    MDLFILE* mf = g_GlobalMFI.GetMF(48, false);
    auto* d = reinterpret_cast<Dace*>(intptr_t(Dace::Dace_mh(reinterpret_cast<Object*>(mf), OM_CREATE, nullptr)));
    mf->GetHierarchyTo(d, 0, GH_RELMOTION | GH_ANIMATE);
    d->mat = Matrix(true);
    // 50 walls of 13 points (four segments) in rows 2 units apart.
    std::vector<std::vector<Vector>> pts(50);
    std::vector<WallSpline> walls(50);
    world.spllist.RemoveAll();
    for (int w = 0; w < 50; w++) {
        for (int i = 0; i < 13; i++)
            pts[w].emplace_back(float(i) * 0.5f, 0.0f, float(w) * 2.0f, 0.0f);
        auto* s = reinterpret_cast<Spline*>(pts[w].data());
        s->SetCount(13);
        walls[w] = WallSpline{s, u16(w), (w & 1) != 0};
        world.spllist.AddTail(&walls[w]);
    }
    d->SetPos(VectorPos(3.0f, 0.0f, 50.2f));
    Dace::CheckSpline c;
    for (auto _ : state)
        benchmark::DoNotOptimize(d->CheckForSplineEntry(&c, 0.0f));
    state.SetItemsProcessed(state.iterations());
    world.spllist.RemoveAll();
    d->Delete();
    world.Clear();
}

}  // namespace

BENCHMARK(BM_CheckForSplineEntry200Segments);
