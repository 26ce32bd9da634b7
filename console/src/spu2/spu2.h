// The SPU2: two cores of 24 voices over the shared sound RAM, and the mixer
// that turns them into 48 kHz stereo 16-bit samples as virtual time passes.
//
// Output sample k (k = 1, 2, ...) is made at time k * kSpuSample.  Before any
// register is read or written the mixer catches up to the current time, so a
// change (a key-on, a pitch) takes effect at the next output sample.  At every
// field boundary the mixer catches up to the boundary and hands the samples
// made since the last hand-over to the host's AudioSink (always on the EE
// thread; samples made while an IOP thread holds the baton wait there).
//
// The mix: each voice's sample times its envelope, times its left and right
// volumes, summed into its core's dry mix when the voice's dry-mix switch is
// on and the core's mixer setting lets voices through (bits 11 and 10, left
// and right).  Core 0's output, after its master volume, is core 1's
// external input (core 1's mixer bits 3 and 2); core 1's output after its
// master volume is the console's output.  Each stage saturates to 16 bits.
// Not modelled: effects and reverb (the mixer setting's effect bits are kept
// and ignored), noise, pitch modulation, the cores' sound-data input, auto
// DMA and sweep volumes.
#pragma once

#include <cstdint>
#include <vector>

#include "core/scheduler.h"
#include "spu2/voice.h"

namespace console::spu2 {

constexpr int kCores = 2;
constexpr int kVoicesPerCore = 24;
constexpr uint32_t kVoiceMask = (1u << kVoicesPerCore) - 1;
constexpr uint32_t kOutputRate = 48'000;

// Mixer setting bits used by the model.
constexpr uint16_t kMixVoicesLeft = 1u << 11;
constexpr uint16_t kMixVoicesRight = 1u << 10;
constexpr uint16_t kMixInputLeft = 1u << 3;
constexpr uint16_t kMixInputRight = 1u << 2;

struct Core {
    Voice voices[kVoicesPerCore];
    uint16_t mixer = 0;          // the core's mixer setting
    uint16_t master_left = 0;    // fixed-mode master volumes
    uint16_t master_right = 0;
    uint32_t dry_left = 0;       // voices switched into the dry mix
    uint32_t dry_right = 0;
    uint32_t key_on = 0;         // last masks written
    uint32_t key_off = 0;

    // Voices whose end flag is set.
    uint32_t EndFlags() const;
};

// The one SPU2.  Callers catch the mixer up (CatchUp) before touching it.
Core& GetCore(int core);

// Key-on and key-off of the voices of `mask` on a core.
void KeyOn(int core, uint32_t mask);
void KeyOff(int core, uint32_t mask);

// Every core and voice to the state after sceSdInit: voices off, volumes and
// mixer settings 0, switches clear, envelopes at the default ADSR.  Sound RAM
// and the mixer's clock are kept.
void ResetCores();

// Makes every output sample due by time `t` (never goes back).
void MixUntil(Cycles t);
// MixUntil(Now()).
void CatchUp();

// Output samples made since power-on.
uint64_t SamplesMixed();

// Makes one output sample from the current state without the clock (tests).
void MixOneSample(int16_t out[2]);

// Catches up to the current time and hands every sample made so far to the
// host's audio sink.  Main context only.  The headless front end calls it at
// shutdown so the WAV ends where the run ended.
void FlushAudio();

}  // namespace console::spu2
