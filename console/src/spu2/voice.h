// One SPU2 voice: its registers (volumes, pitch, envelope settings, start
// address) and its playback state (the block being played, the loop address,
// the ADPCM history, the pitch counter and the envelope).
//
// Playback: the pitch counter gains `pitch` per output sample; each time it
// passes 0x1000 the voice moves on one source sample (0x1000 is one source
// sample per output sample, 48 kHz).  The output interpolates linearly
// between the previous and the current source sample by the counter's
// fraction, so at pitch 0x1000 the voice plays its decoded samples exactly,
// one sample late.  Leaving a block applies its flags (see adpcm.h).
#pragma once

#include <cstdint>

#include "spu2/adpcm.h"
#include "spu2/envelope.h"

namespace console::spu2 {

constexpr uint16_t kMaxPitch = 0x3FFF;

class Voice {
public:
    // Registers as the sound library writes them.
    uint16_t volume_left = 0;   // fixed-mode register values (bit 15 clear)
    uint16_t volume_right = 0;
    uint16_t pitch = 0;
    uint16_t adsr1 = kDefaultAdsr1;
    uint16_t adsr2 = kDefaultAdsr2;
    uint32_t start_address = 0;  // byte address in sound RAM

    // Key-on: plays from the start address (which is also the loop address
    // until a block says otherwise), envelope from 0, end flag cleared.
    void KeyOn(const uint8_t* ram);
    void KeyOff() { envelope_.KeyOff(); }

    // Up to `n` output samples into out, one step each: the envelope's tick,
    // the source sample times the envelope (before the volumes), then the
    // advance by the pitch, which sets the end flag when a block with the
    // loop-end flag is left.  Stops after the step that silences the voice;
    // returns the steps made.  The registers must not change meanwhile.
    int Render(const uint8_t* ram, int32_t* out, int n);

    bool Sounding() const { return envelope_.Active(); }
    int32_t EnvelopeLevel() const { return envelope_.Level(); }
    EnvelopePhase Phase() const { return envelope_.Phase(); }
    uint32_t CurrentAddress() const { return block_address_; }
    uint32_t LoopAddress() const { return loop_address_; }
    bool EndFlag() const { return end_flag_; }

    // Power-on state, registers included.
    void Reset() { *this = Voice{}; }

private:
    void LoadBlock(const uint8_t* ram, uint32_t address);
    void NextSourceSample(const uint8_t* ram);
    // The output at the counter's place with this envelope level, then the
    // advance by the pitch.
    int32_t Emit(const uint8_t* ram, int32_t level);

    Envelope envelope_;
    uint32_t block_address_ = 0;
    uint32_t loop_address_ = 0;
    int16_t block_[kAdpcmBlockSamples] = {};
    uint8_t block_flags_ = 0;
    uint32_t index_ = 0;  // the current source sample within the block
    AdpcmHistory history_;
    uint32_t counter_ = 0;  // fraction of a source sample, 12 bits
    int32_t previous_ = 0;
    int32_t current_ = 0;
    bool end_flag_ = false;
};

// The level a fixed-mode volume register gives: bits 14-0 are half the
// signed 16-bit level (0x3FFF = 0x7FFE, 0x4000 = -0x8000).
inline int32_t FixedVolume(uint16_t reg)
{
    return static_cast<int16_t>(static_cast<uint16_t>(reg << 1));
}

// Wraps a byte address into the 2 MiB of sound RAM.
uint32_t WrapAddress(uint32_t address);

}  // namespace console::spu2
