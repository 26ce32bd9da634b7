// Throughput of the maths library's hot operations: the baseline later
// optimisation is measured against.
#include <benchmark/benchmark.h>

#include "ZevEngine2/PS2/Vector.h"

namespace {

Matrix SomeRotation(float a)
{
    return RotMatrix(VectorXYZ(a, a * 0.5f, a * 0.25f)) * TransMatrix(1.0f, 2.0f, 3.0f);
}

void BM_MatrixMultiply(benchmark::State& state)
{
    Matrix a = SomeRotation(0.3f), b = SomeRotation(1.1f);
    for (auto _ : state) {
        a = a * b;
        benchmark::DoNotOptimize(a);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixAffineInverse(benchmark::State& state)
{
    Matrix a = SomeRotation(0.7f);
    for (auto _ : state) {
        Matrix inv = a.Inverse();
        benchmark::DoNotOptimize(inv);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixAffineInverse);

void BM_MatrixFullInverse(benchmark::State& state)
{
    Matrix a = SomeRotation(0.7f);
    for (auto _ : state) {
        Matrix inv = FullInverse(a);
        benchmark::DoNotOptimize(inv);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixFullInverse);

void BM_MatrixToQuaternionAndBack(benchmark::State& state)
{
    Matrix a = SomeRotation(1.3f);
    for (auto _ : state) {
        Quaternion q(a);
        Matrix back(q);
        benchmark::DoNotOptimize(back);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixToQuaternionAndBack);

}  // namespace
