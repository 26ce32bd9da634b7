// The crowd and the traffic on the sample city: both ambient controllers
// keep walkers on the pavements and cars in the lanes round a camera on Elm
// Street; once they are full (10 walkers, up to 10 cars) each iteration is
// one whole world tick: every walker's mind, legs and animation, every
// driver and car, the generators' timers and the controllers' scans.
#include "citybench_support.h"

#include "tests/game/bystander_support.h"

#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/modelfile.h"
#include "game/GameFEnt.h"
#include "game/MAIN.h"
#include "game/Vehicle.h"

namespace {

void CrowdAndTraffic(benchmark::State& state)
{
    if (!citybench::LoadSampleCity(state))
        return;
    while (!world.SyncTo(VectorPos(0, 0, 32))) {
    }
    {
        enemyrig::Scene scene;
        pedrig::AddPedGroups(scene);
        srand(11);
        // The five ambient pedestrian slots hold the shooters' figure.
        for (int slot = 80; slot <= 84; slot++) {
            MdlFileInfo& m = g_GlobalMFI.rgmfi[slot];
            m = g_GlobalMFI.rgmfi[enemyrig::kEnemySlot];
            m.i16Id = s16(0x100 | (94 + slot - 80));
            m.i16Extra = 10;
            m.i16Flags = 0;
        }
        // One ambient car slot with the sample sedan.
        std::string error;
        std::vector<u8> model;
        if (!tools::WriteP2B(tools::SampleVehicleFile(0), model, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        void* block = malloc_align(u32(model.size()), 64);
        std::memcpy(block, model.data(), model.size());
        static Texture shared[tools::kVehicleSharedTextures]{};
        MdlFileInfo& car = g_GlobalMFI.rgmfi[1];
        car.smf.SetBuffer(block);
        car.smf.Init(u32(model.size()), shared, tools::kVehicleSharedTextures);
        car.i16Id = 0;
        car.i16Extra = 10;
        car.i16Flags = 0;
        car.i16Mirror = -1;

        // The camera on Elm Street looking east; the player stands there.
        const Matrix cam = LookatMatrix(VectorPos(-40, -1.5f, 30), VectorPos(0, -1.5f, 30));
        rc.view_world = cam;
        rc.world_view = cam.Inverse();
        scene.player->mat = TransMatrix(-40.0f, -1.0f, 30.0f);
        GameController* gc = g_pgcTest;
        gc->iNumPeds = gc->iNumVehs = 0;
        gc->pps = {nullptr, 0};
        gc->pvs = {nullptr, 0};
        gc->pPedGenCont = CreateRSPedGens(80, 8, 5, 100);
        gc->pVehGenCont = CreateRSVehGens(1, 14, 5, 100);
        for (int i = 0; i < 600; i++)
            world.Update();
        long ticks = 0;
        for (auto _ : state) {
            world.Update();
            ticks++;
        }
        state.counters["ticks/s"] = benchmark::Counter(double(ticks), benchmark::Counter::kIsRate);
        state.counters["walkers"] = benchmark::Counter(double(gc->iNumPeds));
        state.counters["cars"] = benchmark::Counter(double(gc->iNumVehs));
        world.Clear();
        pedrig::RemovePedGroups();
        for (int slot : {1, 80, 81, 82, 83, 84}) {
            g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
            g_GlobalMFI.rgmfi[slot].i16Id = -1;
            g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
        }
        free(block);
    }
    citybench::FreeSampleCity();
}
BENCHMARK(CrowdAndTraffic)->Unit(benchmark::kMicrosecond);

}  // namespace
