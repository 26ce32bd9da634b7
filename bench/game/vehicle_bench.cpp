// Sixty cars on the sample city, each driven at full throttle along the
// stand-in's drive: one physics step of every car per iteration (engine and
// gearbox, four ground queries with their caches, suspension, tyres and the
// body).  Every 240 ticks the cars are put back at their starts, so that
// they stay on the streets.
#include "citybench_support.h"

#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/modelfile.h"
#include "game/Vehicle.h"

namespace {

using namespace citybench;

constexpr int kCars = 60;
constexpr int kLap = 240;

void BM_MoveVehicleSixtyCarsOnTheSampleCity(benchmark::State& state)
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

    // Starts spread along the drive, each facing along it.
    const std::vector<VectorPos> path = Route(0.0f, 0.5f);
    Object driver;
    driver.id = 12;
    std::vector<Vehicle*> cars;
    std::vector<Matrix> starts;
    for (int i = 0; i < kCars; i++) {
        const size_t at = size_t(i) * (path.size() / 2 - 2) / kCars;
        VectorDir along = VectorDir(path[at + 1] - path[at]);
        Vehicle* v = CreateVehicle(&mf, -1, -1, path[at], 0);
        if (v == nullptr) {
            state.SkipWithError("no memory for the cars");
            return;
        }
        const Vector w = v->mat.w;
        v->mat = LookAlong(along);
        v->mat.w = w;
        v->rcoDriver = &driver;
        v->iLastCollTime = -1000;
        cars.push_back(v);
        starts.push_back(v->mat);
    }
    world.playbackSpeed = 1.0f;
    int tick = 0;
    for (auto _ : state) {
        if (++tick % kLap == 0) {
            for (int i = 0; i < kCars; i++) {
                cars[size_t(i)]->mat = starts[size_t(i)];
                cars[size_t(i)]->vel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
                cars[size_t(i)]->angvel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
                cars[size_t(i)]->gear = 1;
            }
        }
        world.time++;
        world.timePrecise = u32(world.time) * 256u;
        for (Vehicle* v : cars) {
            v->fAccel = 0.001f;
            v->MoveVehicle();
        }
    }
    state.SetItemsProcessed(state.iterations() * kCars);
    // Wheels touching the ground at the end (those in the air sit at their
    // rest height), and the cars' mean speed.
    int touching = 0;
    float speed = 0.0f;
    for (Vehicle* v : cars) {
        for (Wheel* w : v->wheel)
            touching += w->mat.w[1] != w->rest;
        speed += v->Speed();
    }
    state.counters["wheels down"] = double(touching) / double(4 * kCars);
    state.counters["speed"] = double(speed) / double(kCars);
    for (Vehicle* v : cars) {
        v->rcoDriver = nullptr;
        v->Delete();
    }
    FreeSampleCity();
    free(block);
}
BENCHMARK(BM_MoveVehicleSixtyCarsOnTheSampleCity)->Unit(benchmark::kMicrosecond);

}  // namespace
