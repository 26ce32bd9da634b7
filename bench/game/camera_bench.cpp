// One camera frame (shake off, the mode's update, shake on) of the on-foot
// camera following a walker, the chase camera behind a moving car, and an
// orbiting level camera framing a walker from its orbit.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "ZevEngine2/Allocator.h"
#include "game/Camera.h"
#include "game/Vehicle.h"

namespace {

// A walker going round a circle of radius 3 at walking pace.
void Walk(Object* o, int frame)
{
    const float a = float(frame) * 0.01f;
    o->mat = RotY(std::fmod(a + 1.5707964f, 6.2831853f) - 3.1415927f);
    o->SetPos(VectorPos(3.0f * std::sin(a), -1.0f, 3.0f * std::cos(a)));
}

void BM_PedestrianCameraFrame(benchmark::State& state)
{
    Object walker;
    Walk(&walker, 0);
    Camera c(&walker, VectorPos(0, 0, 0));
    c.InitPedestrianMode(&walker, true);
    int f = 0;
    for (auto _ : state) {
        Walk(&walker, ++f);
        c.SendMessage(OM_FRAME, nullptr);
        benchmark::DoNotOptimize(c.mat);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PedestrianCameraFrame);

void BM_ChaseCameraFrame(benchmark::State& state)
{
    Vehicle* car = new Vehicle;
    Walk(car, 0);
    Camera c(car, VectorPos(0, 0, 0));
    c.mode = CAMMODE_NORMAL;
    c.InitCarMode(car);
    c.CutToInCarCameraSettings();
    int f = 0;
    for (auto _ : state) {
        Walk(car, f += 4);
        car->vel = Vector(0.0f, 0.0f, 0.12f, 0.0f);
        c.SendMessage(OM_FRAME, nullptr);
        benchmark::DoNotOptimize(c.mat);
    }
    state.SetItemsProcessed(state.iterations());
    car->Delete();
}
BENCHMARK(BM_ChaseCameraFrame);

void BM_OrbitingCameraFrame(benchmark::State& state)
{
    Object walker;
    walker.id = 5;
    Walk(&walker, 0);
    // A circle of radius 9 in four segments.
    const float r = 9.0f, k = 0.5522848f * r;
    const float dx[4] = {1, 0, -1, 0}, dz[4] = {0, 1, 0, -1};
    std::vector<Vector> pts;
    for (int q = 0; q < 4; q++) {
        const int n = (q + 1) % 4;
        pts.push_back(Vector(dx[q] * r, -2.0f, dz[q] * r, 1.0f));
        pts.push_back(Vector(dx[q] * r + dx[n] * k, -2.0f, dz[q] * r + dz[n] * k, 1.0f));
        pts.push_back(Vector(dx[n] * r + dx[q] * k, -2.0f, dz[n] * r + dz[q] * k, 1.0f));
    }
    pts.push_back(pts[0]);
    Vector* block = static_cast<Vector*>(calloc(pts.size(), sizeof(Vector)));
    for (size_t i = 0; i < pts.size(); i++)
        block[i] = pts[i];
    reinterpret_cast<Spline*>(block)->SetCount(int(pts.size()));

    Camera* c = static_cast<Camera*>(calloc(1, sizeof(Camera)));
    c->messagehandler = Camera::staticmh;
    c->type = OBJT_CAMERA;
    c->mode = CAMMODE_ORBITING;
    c->target = &walker;
    c->zoom = c->fTargetZoom = 1.6f;
    c->fAccel = 0.09375f;
    c->mat = Matrix(true);
    c->SetPos(VectorPos(0, -2, -9));
    c->pvExtra = calloc(1, sizeof(OrbitingCamera_params));
    c->pvExtraSpl = block;
    c->relposgoal = VectorPos(0, -2, 0);
    c->fOrbRadius = r;
    SetCurrentCam(c);
    int f = 0;
    for (auto _ : state) {
        Walk(&walker, ++f);
        c->SendMessage(OM_FRAME, nullptr);
        benchmark::DoNotOptimize(c->mat);
    }
    state.SetItemsProcessed(state.iterations());
    c->Delete();
}
BENCHMARK(BM_OrbitingCameraFrame);

}  // namespace
