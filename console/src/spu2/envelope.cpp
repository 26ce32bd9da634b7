#include "spu2/envelope.h"

#include <algorithm>

namespace console::spu2 {

int32_t SustainLevel(uint16_t adsr1)
{
    return ((adsr1 & 0x0F) + 1) * 0x800;
}

void Envelope::KeyOn()
{
    level_ = 0;
    Enter(EnvelopePhase::kAttack);
}

void Envelope::KeyOff()
{
    if (phase_ != EnvelopePhase::kOff)
        Enter(EnvelopePhase::kRelease);
}

void Envelope::Silence()
{
    level_ = 0;
    Enter(EnvelopePhase::kOff);
}

void Envelope::Enter(EnvelopePhase phase)
{
    phase_ = phase;
    waited_ = 0;
}

uint32_t Envelope::StepWait(const Rate& rate) const
{
    uint32_t wait = 1u << std::max(0, rate.shift - 11);
    if (rate.exponential && !rate.decrease && level_ > 0x6000)
        wait *= 4;
    return wait;
}

void Envelope::Apply(const Rate& rate)
{
    const uint32_t wait = StepWait(rate);
    // Only an exponential increase waits by the level.
    wait_ = rate.exponential && !rate.decrease ? 0 : wait;
    if (++waited_ < wait)
        return;
    waited_ = 0;
    int32_t step = rate.decrease ? -(8 - rate.step) : 7 - rate.step;
    step *= 1 << std::max(0, 11 - rate.shift);
    if (rate.exponential && rate.decrease)
        step = (step * level_) >> 15;  // rounds toward minus infinity, so the level does reach 0
    level_ = std::clamp(level_ + step, 0, kEnvelopeMax);
}

Envelope::Rate Envelope::PhaseRate(uint16_t adsr1, uint16_t adsr2) const
{
    switch (phase_) {
    case EnvelopePhase::kAttack:
        return {(adsr1 & 0x8000) != 0, false, (adsr1 >> 10) & 0x1F, (adsr1 >> 8) & 0x03};
    case EnvelopePhase::kDecay:
        return {true, true, (adsr1 >> 4) & 0x0F, 0};
    case EnvelopePhase::kSustain:
        return {(adsr2 & 0x8000) != 0, (adsr2 & 0x4000) != 0, (adsr2 >> 8) & 0x1F, (adsr2 >> 6) & 0x03};
    case EnvelopePhase::kOff:
    case EnvelopePhase::kRelease:
        break;
    }
    return {(adsr2 & 0x0020) != 0, true, adsr2 & 0x1F, 0};
}

void Envelope::Tick(uint16_t adsr1, uint16_t adsr2)
{
    if (phase_ == EnvelopePhase::kOff)
        return;
    Apply(PhaseRate(adsr1, adsr2));
    switch (phase_) {
    case EnvelopePhase::kOff:
        return;
    case EnvelopePhase::kAttack:
        if (level_ < kEnvelopeMax)
            return;
        Enter(EnvelopePhase::kDecay);
        // A sustain level at or above the peak means no decay at all.
        if (level_ <= SustainLevel(adsr1))
            Enter(EnvelopePhase::kSustain);
        return;
    case EnvelopePhase::kDecay:
        if (level_ <= SustainLevel(adsr1))
            Enter(EnvelopePhase::kSustain);
        return;
    case EnvelopePhase::kSustain:
        return;
    case EnvelopePhase::kRelease:
        if (level_ == 0)
            Enter(EnvelopePhase::kOff);
        return;
    }
}

uint32_t Envelope::StillTicks(uint16_t adsr1, uint16_t adsr2) const
{
    // The phase ends are checked after every tick, stepped or not.
    switch (phase_) {
    case EnvelopePhase::kOff:
        return 0;
    case EnvelopePhase::kAttack:
        if (level_ >= kEnvelopeMax)
            return 0;
        break;
    case EnvelopePhase::kDecay:
        if (level_ <= SustainLevel(adsr1))
            return 0;
        break;
    case EnvelopePhase::kSustain:
        break;
    case EnvelopePhase::kRelease:
        if (level_ == 0)
            return 0;
        break;
    }
    const uint32_t wait = StepWait(PhaseRate(adsr1, adsr2));
    return waited_ + 1 < wait ? wait - 1 - waited_ : 0;
}

uint32_t Envelope::TickThenStill(uint16_t adsr1, uint16_t adsr2)
{
    const EnvelopePhase phase = phase_;
    if (phase == EnvelopePhase::kOff)
        return 0;
    Tick(adsr1, adsr2);
    // Still in the same phase, the tick passed its end checks and the wait
    // is the one it used (when the level does not change it).
    if (phase_ != phase || wait_ == 0)
        return StillTicks(adsr1, adsr2);
    return waited_ + 1 < wait_ ? wait_ - 1 - waited_ : 0;
}

}  // namespace console::spu2
