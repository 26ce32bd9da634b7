// Throughput of GS local memory pixel access, per pixel storage mode, over
// full 640-pixel rows: the baseline the rasterizer's fast paths are measured
// against.  Pixels per second are reported as items per second.
#include <benchmark/benchmark.h>

#include "gs/gsmem.h"

namespace {

using namespace console::gs;

constexpr u32 kWidth = 640, kHeight = 512, kBw = 10;

LocalMemory& Memory()
{
    static auto* memory = new LocalMemory();
    return *memory;
}

// Single-pixel writes, the general path (mode looked up on each call).
void BM_WritePixel(benchmark::State& state)
{
    const Psm psm = static_cast<Psm>(state.range(0));
    LocalMemory& mem = Memory();
    u32 value = 0;
    for (auto _ : state) {
        for (u32 y = 0; y < kHeight; ++y)
            for (u32 x = 0; x < kWidth; ++x)
                mem.WritePixel(psm, 0, kBw, x, y, value++);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(PsmName(psm));
}

// Row writes through a cursor, as spans and transfers use them.
void BM_WriteRow(benchmark::State& state)
{
    const Psm psm = static_cast<Psm>(state.range(0));
    LocalMemory& mem = Memory();
    const Layout& layout = LayoutOf(psm);
    u32 value = 0;
    for (auto _ : state) {
        for (u32 y = 0; y < kHeight; ++y) {
            const RowCursor row(layout, 0, kBw, y);
            for (u32 x = 0; x < kWidth; ++x)
                mem.WriteAt(psm, row.Offset(x), value++);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(PsmName(psm));
}

// Row reads through a cursor, as spans and the display read-out use them.
void BM_ReadRow(benchmark::State& state)
{
    const Psm psm = static_cast<Psm>(state.range(0));
    const LocalMemory& mem = Memory();
    const Layout& layout = LayoutOf(psm);
    for (auto _ : state) {
        u32 sum = 0;
        for (u32 y = 0; y < kHeight; ++y) {
            const RowCursor row(layout, 0, kBw, y);
            for (u32 x = 0; x < kWidth; ++x)
                sum += mem.ReadAt(psm, row.Offset(x));
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(PsmName(psm));
}

void AllModes(benchmark::internal::Benchmark* b)
{
    for (Psm psm : kAllPsms)
        b->Arg(static_cast<int>(psm));
}

}  // namespace

BENCHMARK(BM_WritePixel)->Apply(AllModes);
BENCHMARK(BM_WriteRow)->Apply(AllModes);
BENCHMARK(BM_ReadRow)->Apply(AllModes);
