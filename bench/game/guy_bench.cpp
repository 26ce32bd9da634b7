// Forty rig characters per tick: each body's animation step (a generated
// walk on the 22-bone rig) and its push-out: pushed apart from its
// neighbours by their boxes, against a wall, the combined push applied and
// the record cleared.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/humanoid.h"
#include "tools/lib/motion.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/modelfile.h"
#include "game/Guy.h"
#include "game/QuadTree.h"

namespace {

constexpr int kCharacters = 40;

void BM_RigCharactersAnimateAndPushOut(benchmark::State& state)
{
    std::string error;
    std::vector<u8> model;
    tools::WriteP2B(tools::HumanoidFile(tools::HumanoidLook{}), model, error);
    void* modelBlock = malloc_align(u32(model.size()), 64);
    std::memcpy(modelBlock, model.data(), model.size());
    MDLFILE mf{};
    mf.SetBuffer(modelBlock);
    mf.Init(u32(model.size()));

    tools::AnimGroupFiles group;
    tools::BuildAnimGroup({{0, tools::kMotionWalk, {0.02f, 1.0f, false}, 32, true, {}, {}}}, 1, tools::HumanoidLook{},
                          group, error);
    void* aniBlock = malloc_align(u32(group.ani.size()) + 64, 64);
    std::memcpy(aniBlock, group.ani.data(), group.ani.size());
    AnimGroup* ag = static_cast<AnimGroup*>(aniBlock);
    ag->FixUp();

    std::vector<Guy*> guys;
    for (int i = 0; i < kCharacters; i++) {
        Guy* g = new Guy;
        mf.GetHierarchyTo(g, 0, 0);
        g->mat = Matrix(true);
        g->SetPos(VectorPos(0.4f * float(i % 8), 0.0f, 0.4f * float(i / 8)));
        g->AllocBlendAnimHierarchy(0x80);   // the root moves by the clip's change
        g->SetAnim(0, ag->pChars[0], 0);
        g->ClearPopOut();
        guys.push_back(g);
    }
    world.playbackSpeed = 1.2f;
    int ticks = 0;
    for (auto _ : state) {
        world.time++;
        for (Guy* g : guys)
            g->AnimateHierarchy(1.0f);
        for (int i = 0; i < kCharacters; i++) {
            Guy* a = guys[size_t(i)];
            for (int j = 0; j < kCharacters; j++) {
                if (i == j)
                    continue;
                VectorDir outA;
                if (PushOutCharacter(a, guys[size_t(j)], &outA, nullptr, 1.0f, 1.0f))
                    a->AddToSoftPopOut(outA, guys[size_t(j)]);
            }
            a->AddToPopOut(VectorDir(0.01f, 0.0f, 0.0f), true);
        }
        for (Guy* g : guys) {
            VectorDir p = g->GetPopOut();
            benchmark::DoNotOptimize(p);
            g->ClearPopOut();
        }
        ticks++;
    }
    state.counters["ticks/s"] = benchmark::Counter(double(ticks), benchmark::Counter::kIsRate);
    for (Guy* g : guys)
        g->Delete();
    free(aniBlock);
    free(modelBlock);
}
BENCHMARK(BM_RigCharactersAnimateAndPushOut);

}  // namespace
