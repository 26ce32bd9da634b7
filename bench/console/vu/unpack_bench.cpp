// VIF1 throughput into VU1: batches of vertex data unpacked into the double
// buffer, each followed by an MSCAL of a routine that does nothing, as a
// frame's vertex batches arrive.  Reported as unpacked vectors per second
// (items) and stream bytes per second.
#include <benchmark/benchmark.h>

#include <ee/dma.h>
#include <vu/vu1.h>

#include <cstring>
#include <vector>

#include "core/scheduler.h"
#include "dmac/dmac.h"

namespace {

constexpr u16 kBenchProgram = 0x1FE;

u32 Nothing(vu1::Machine&, u32)
{
    return vu1::kNoResume;
}

CONSOLE_VU1_PROGRAM(kBenchProgram, "unpack bench", 0, 1);
CONSOLE_VU1_ENTRY(kBenchProgram, 0, "Nothing", Nothing);

alignas(16) u128 g_chain[16384];

// One chain of `batches` blocks: UNPACK (relative, NUM 64 vectors of the
// format) + MSCAL 0; then END.  Returns the stream's quadword count.
size_t BuildChain(uint32_t cmd, uint32_t vector_bits, int batches)
{
    std::vector<uint32_t> w;
    w.push_back(0x01000404);  // STCYCL 4, 4
    w.push_back(0x4A010000);  // MPG 1 instruction to 0
    const u64 slot = vu1::Slot(kBenchProgram, 0);
    w.push_back(static_cast<uint32_t>(slot));
    w.push_back(static_cast<uint32_t>(slot >> 32));
    w.push_back(0x03000000);          // BASE 0
    w.push_back(0x02000000 | 216);    // OFFSET 216
    const uint32_t words = (64 * vector_bits + 31) / 32;
    for (int b = 0; b < batches; ++b) {
        while (w.size() % 4 != 3)
            w.push_back(0);
        w.push_back(cmd << 24 | 64 << 16 | 0x8000);
        for (uint32_t i = 0; i < words; ++i)
            w.push_back(0x3F800000u + i);
        w.push_back(0x14000000);  // MSCAL 0
    }
    while (w.size() % 4 != 0)
        w.push_back(0);
    const size_t qwc = w.size() / 4;
    g_chain[0] = u128{(qwc & 0xFFFF) | (u64{SCE_DMA_TAG_CNT} << 24), 0};
    std::memcpy(&g_chain[1], w.data(), 16 * qwc);
    g_chain[1 + qwc] = u128{u64{SCE_DMA_TAG_END} << 24, 0};
    return qwc;
}

void Run(benchmark::State& state, uint32_t cmd, uint32_t vector_bits)
{
    console::dmac::EnsureRegistered();
    console::ResetScheduler();
    console::dmac::ResetDmac();
    constexpr int kBatches = 64;
    const size_t qwc = BuildChain(cmd, vector_bits, kBatches);
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 0;
    for (auto _ : state) {
        sceDmaSend(ch, g_chain);
        benchmark::DoNotOptimize(vu1::Vu1().mem[0]);
    }
    state.SetItemsProcessed(state.iterations() * kBatches * 64);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(16 * qwc));
}

void BM_UnpackV4_32(benchmark::State& state)
{
    Run(state, 0x6C, 128);
}
BENCHMARK(BM_UnpackV4_32);

void BM_UnpackV3_16(benchmark::State& state)
{
    Run(state, 0x69, 48);
}
BENCHMARK(BM_UnpackV3_16);

void BM_UnpackV2_8Masked(benchmark::State& state)
{
    Run(state, 0x76, 16);  // V2-8 with the mask bit: the general path
}
BENCHMARK(BM_UnpackV2_8Masked);

}  // namespace
