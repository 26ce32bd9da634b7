// Throughput of the curve, patch and bounding-volume queries the road,
// movement and collision code make every frame: the baseline later
// optimisation is measured against.
#include <benchmark/benchmark.h>

#include "ZevEngine2/PS2/Bezier.h"

namespace {

Bezier RoadCurve()
{
    return Bezier(Vector(0, 0, 0, 0), Vector(20, -1, 5, 0), Vector(40, 1, -5, 0), Vector(60, 0, 10, 0));
}

void BM_BezierCalcParams(benchmark::State& state)
{
    Bezier b = RoadCurve();
    VectorPos pos(27.0f, 0.0f, 3.0f);
    VectorDir dir;
    for (auto _ : state) {
        VectorXYZ r = b.CalcParams(pos, dir);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BezierCalcParams);

void BM_BezierCalcParamsNR(benchmark::State& state)
{
    Bezier b = RoadCurve();
    VectorPos pos(27.0f, 0.0f, 3.0f);
    VectorDir dir;
    for (auto _ : state) {
        VectorXYZ r = b.CalcParamsNR(pos, dir, 0.5f);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BezierCalcParamsNR);

void BM_BezierClosestPoint(benchmark::State& state)
{
    Bezier b = RoadCurve();
    VectorPos pos(27.0f, 0.0f, 3.0f);
    for (auto _ : state) {
        float t, d;
        Vector p = b.ClosestPoint(pos, &t, &d);
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BezierClosestPoint);

void BM_BezierPatchCalcParams(benchmark::State& state)
{
    BezierPatch p;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            p.p[4 * r + c] = Vector(10.0f * c, 0.3f * ((r + c) % 3), 10.0f * r + 2.0f * c, 0.0f);
    VectorPos pos(14.0f, 0.0f, 17.0f);
    for (auto _ : state) {
        Vector result;
        VectorDir normal;
        bool ok = p.CalcParams(pos, result, normal);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BezierPatchCalcParams);

void BM_CuboidTest(benchmark::State& state)
{
    Cuboid c(VectorPos(-0.5f, -0.5f, -0.5f), VectorPos(0.5f, 0.5f, 0.5f));
    Matrix a = RotY(0.6f);
    Matrix b = RotZ(0.7f) * TransMatrix(1.3f, 0.0f, 0.0f);
    for (auto _ : state) {
        bool hit = c.Test(a, c, b);
        benchmark::DoNotOptimize(hit);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CuboidTest);

void BM_CuboidTestCull(benchmark::State& state)
{
    Cuboid c(VectorPos(0.5f, -0.5f, -0.5f), VectorPos(1.5f, 0.5f, 0.5f));
    Matrix m(true);
    for (auto _ : state) {
        int cull = c.TestCull(m);
        benchmark::DoNotOptimize(cull);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CuboidTestCull);

}  // namespace
