// The sound mixer's cost per field: every voice of both cores sounding a
// looped sound, mixed a field's worth of samples at a time as the field
// boundaries hand them over.  Held voices (the envelope's slow sustain) are
// what a game's ambient loops are; a fast release ticks the envelope at
// every sample.  Reported as output samples per second (items).
//   build/bench/console_bench --benchmark_filter=SoundMix
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/scheduler.h"
#include "spu2/spu2.h"
#include "spu2/spu_ram.h"

namespace {

constexpr uint32_t kLoop = 0x8000;
constexpr int kBlocks = 64;
constexpr uint64_t kFieldSamples = 800;  // 48 kHz over 60 fields

// A looped sound of kBlocks blocks on every voice, each with its own pitch,
// volumes and the registers' envelope.
void StartAllVoices(uint16_t adsr1, uint16_t adsr2)
{
    using namespace console::spu2;
    uint8_t* ram = SoundRam();
    for (int b = 0; b < kBlocks; ++b) {
        uint8_t* p = ram + kLoop + 16 * b;
        p[0] = static_cast<uint8_t>((b % 5) << 4 | (b % 9));
        p[1] = b == 0 ? kAdpcmLoopStart : (b == kBlocks - 1 ? kAdpcmLoopEnd | kAdpcmLoopRepeat : 0);
        for (int i = 2; i < 16; ++i)
            p[i] = static_cast<uint8_t>(0x3B * b + 0x17 * i);
    }
    ResetCores();
    for (int c = 0; c < kCores; ++c) {
        Core& core = GetCore(c);
        core.mixer = kMixVoicesLeft | kMixVoicesRight | kMixInputLeft | kMixInputRight;
        core.master_left = core.master_right = 0x3FFF;
        core.dry_left = core.dry_right = kVoiceMask;
        for (int v = 0; v < kVoicesPerCore; ++v) {
            Voice& voice = core.voices[v];
            voice.start_address = kLoop;
            voice.pitch = static_cast<uint16_t>(0x0800 + 0x0111 * v);
            voice.volume_left = static_cast<uint16_t>(0x0400 + 0x0100 * v);
            voice.volume_right = static_cast<uint16_t>(0x2000 - 0x0100 * v);
            voice.adsr1 = adsr1;
            voice.adsr2 = adsr2;
        }
        KeyOn(c, kVoiceMask);
    }
}

void MixFields(benchmark::State& state)
{
    for (auto _ : state) {
        const uint64_t next = console::spu2::SamplesMixed() + kFieldSamples;
        console::spu2::MixUntil(next * console::kSpuSample);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kFieldSamples));
}

void BM_SoundMixHeldVoices(benchmark::State& state)
{
    StartAllVoices(console::spu2::kDefaultAdsr1, console::spu2::kDefaultAdsr2);
    MixFields(state);
}
BENCHMARK(BM_SoundMixHeldVoices)->Unit(benchmark::kMicrosecond);

void BM_SoundMixSteppingEnvelopes(benchmark::State& state)
{
    // An exponential sustain falling at the fastest rate: a step every sample.
    StartAllVoices(console::spu2::kDefaultAdsr1, 0xC000);
    MixFields(state);
}
BENCHMARK(BM_SoundMixSteppingEnvelopes)->Unit(benchmark::kMicrosecond);

}  // namespace
