// A voice's ADSR envelope generator, stepped once per 48 kHz output sample.
//
// ADSR1: bit 15 attack mode (0 linear, 1 exponential), bits 14-10 attack
// shift, bits 9-8 attack step (+7, +6, +5, +4), bits 7-4 decay shift (the
// decay is an exponential decrease with step -8), bits 3-0 sustain level
// ((N + 1) * 0x800).  ADSR2: bit 15 sustain mode, bit 14 sustain direction
// (1 decrease), bits 12-8 sustain shift, bits 7-6 sustain step (+7..+4 when
// increasing, -8..-5 when decreasing), bit 5 release mode, bits 4-0 release
// shift (step -8).
//
// One step: wait 1 << max(0, shift - 11) samples, then add the step shifted
// left by max(0, 11 - shift), saturating to 0..0x7FFF.  An exponential
// increase above 0x6000 waits four times as long; an exponential decrease
// scales the step by level / 0x8000.  Attack runs to 0x7FFF, decay down to
// the sustain level, sustain until key-off, release down to 0, where the
// voice stops.  The registers are read at every step, as the hardware does.
#pragma once

#include <cstdint>

namespace console::spu2 {

enum class EnvelopePhase { kOff, kAttack, kDecay, kSustain, kRelease };

constexpr int32_t kEnvelopeMax = 0x7FFF;

// The sound library's envelope after sceSdInit: fastest linear attack to full
// level, sustain level above full (so no decay), a held sustain (slowest
// linear increase), fastest linear release.
constexpr uint16_t kDefaultAdsr1 = 0x000F;
constexpr uint16_t kDefaultAdsr2 = 0x1FC0;

class Envelope {
public:
    // Starts the attack from level 0.
    void KeyOn();
    // Enters the release (no effect on a voice that is off).
    void KeyOff();
    // Stops at once with level 0 (a block ending without repeat).
    void Silence();

    // One output sample's worth of envelope.
    void Tick(uint16_t adsr1, uint16_t adsr2);

    // The ticks to come, with these registers, that only count towards the
    // phase's next step: neither the level nor the phase changes in them.
    uint32_t StillTicks(uint16_t adsr1, uint16_t adsr2) const;
    // Tick, then StillTicks.
    uint32_t TickThenStill(uint16_t adsr1, uint16_t adsr2);
    // Counts `ticks` of those (no more than StillTicks gave).
    void Wait(uint32_t ticks) { waited_ += ticks; }

    int32_t Level() const { return level_; }
    EnvelopePhase Phase() const { return phase_; }
    bool Active() const { return phase_ != EnvelopePhase::kOff; }

private:
    struct Rate {
        bool exponential;
        bool decrease;
        int shift;
        int step;  // the register's 2-bit step field (0 for the fixed -8)
    };
    void Enter(EnvelopePhase phase);
    void Apply(const Rate& rate);
    // The rate of the current phase (not kOff) as the registers give it.
    Rate PhaseRate(uint16_t adsr1, uint16_t adsr2) const;
    // The samples a step of `rate` waits at the current level.
    uint32_t StepWait(const Rate& rate) const;

    EnvelopePhase phase_ = EnvelopePhase::kOff;
    int32_t level_ = 0;
    uint32_t waited_ = 0;  // samples since the last step of this phase
    uint32_t wait_ = 0;    // the last tick's wait; 0 when it depends on the level
};

// The sustain level ADSR1 asks for (may be 0x8000, above any level).
int32_t SustainLevel(uint16_t adsr1);

}  // namespace console::spu2
