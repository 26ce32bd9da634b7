// A hundred cruising cars on the sample city, one world tick per iteration:
// every driver's cruise step (look-ahead, lanes, junctions, signals) and,
// for physical cars, every car's physics step.  Physical: the cars are held
// in the camera's near field; kinematic: the camera is far away, so they
// slide along the road curves.
#include "citybench_support.h"

#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/modelfile.h"
#include "game/MAIN.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

using namespace citybench;

constexpr int kCars = 100;

void CruiseHundredCars(benchmark::State& state, bool physical)
{
    if (!LoadSampleCity(state))
        return;
    while (!world.SyncTo(VectorPos(0, 0, 0))) {
    }
    std::string error;
    std::vector<u8> model;
    if (!tools::WriteP2B(tools::SampleVehicleFile(0), model, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    void* block = malloc_align(u32(model.size()), 64);
    std::memcpy(block, model.data(), model.size());
    Texture shared[tools::kVehicleSharedTextures]{};
    MDLFILE mf{};
    mf.SetBuffer(block);
    mf.Init(u32(model.size()), shared, tools::kVehicleSharedTextures);
    auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(Name::Find("CarDriver"));

    // In the right lanes of the eight road lines, east along the east-west
    // ones and south along the others, clear of the junctions.
    const float lines[4] = {-96.0f, -32.0f, 32.0f, 96.0f};
    std::vector<Vehicle*> cars;
    for (int i = 0; i < kCars; i++) {
        const bool eastwest = i % 8 < 4;
        const float line = lines[i % 4];
        const int slot = i / 8;                       // 13 a line
        const float along = -78.0f + 64.0f * float(slot % 3) + 8.0f * float(slot / 3);
        const float x = eastwest ? along : line + 2.5f, z = eastwest ? line - 2.5f : along;
        Vehicle* v = CreateVehicle(&mf, -1, -1, VectorPos(x, 0.0f, z), 0);
        if (v == nullptr) {
            state.SkipWithError("no memory for the cars");
            return;
        }
        const Vector fwd = eastwest ? Vector(1, 0, 0, 0) : Vector(0, 0, 1, 0);
        const Vector side = eastwest ? Vector(0, 0, -1, 0) : Vector(1, 0, 0, 0);
        v->mat = Matrix(side, Vector(0, 1, 0, 0), fwd,
                        Vector(x, -1.0f - (v->CalcBodyRestOffset() + v->wheel[0]->radius), z, 1.0f));
        v->flags |= OBJF_FRAMECALL;
        v->iLastCollTime = -1000;
        world.AddObject(v, nullptr);
        CarDriver* d = reinterpret_cast<CarDriver*>(mh(nullptr, OM_CREATE, nullptr));
        SpecialMessage put(SMSG_PUT_IN_VEHICLE, v);
        d->SendMessage(OM_SPECIAL, &put);
        d->id = s16(100 + i);
        SpecialMessage drive(SMSG_CD_SET_DRIVE, nullptr, 5);
        d->SendMessage(OM_SPECIAL, &drive);
        if (physical)
            d->iForceReal = 1 << 30;   // kept physical, with no swerve
        cars.push_back(v);
    }
    rc.world_view = TransMatrix(0.0f, 0.0f, physical ? 0.0f : 1000.0f);
    world.playbackSpeed = 1.0f;
    for (auto _ : state)
        world.Update();
    state.SetItemsProcessed(state.iterations() * kCars);
    int kinematic = 0;
    float speed = 0.0f;
    for (Vehicle* v : cars) {
        kinematic += v->mode != 0;
        speed += v->vel.xyz().Length();
    }
    state.counters["kinematic"] = double(kinematic) / double(kCars);
    state.counters["speed"] = double(speed) / double(kCars);
    for (Vehicle* v : cars)
        v->Delete();
    FreeSampleCity();
    free(block);
}

void BM_CruiseHundredPhysicalCarsOnTheSampleCity(benchmark::State& state)
{
    CruiseHundredCars(state, true);
}
void BM_CruiseHundredKinematicCarsOnTheSampleCity(benchmark::State& state)
{
    CruiseHundredCars(state, false);
}

}  // namespace

BENCHMARK(BM_CruiseHundredPhysicalCarsOnTheSampleCity)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CruiseHundredKinematicCarsOnTheSampleCity)->Unit(benchmark::kMicrosecond);
