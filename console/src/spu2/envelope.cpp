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

void Envelope::Apply(const Rate& rate)
{
    uint32_t wait = 1u << std::max(0, rate.shift - 11);
    int32_t step = rate.decrease ? -(8 - rate.step) : 7 - rate.step;
    step *= 1 << std::max(0, 11 - rate.shift);
    if (rate.exponential && !rate.decrease && level_ > 0x6000)
        wait *= 4;
    if (rate.exponential && rate.decrease)
        step = (step * level_) >> 15;  // rounds toward minus infinity, so the level does reach 0
    if (++waited_ < wait)
        return;
    waited_ = 0;
    level_ = std::clamp(level_ + step, 0, kEnvelopeMax);
}

void Envelope::Tick(uint16_t adsr1, uint16_t adsr2)
{
    switch (phase_) {
    case EnvelopePhase::kOff:
        return;
    case EnvelopePhase::kAttack:
        Apply({(adsr1 & 0x8000) != 0, false, (adsr1 >> 10) & 0x1F, (adsr1 >> 8) & 0x03});
        if (level_ < kEnvelopeMax)
            return;
        Enter(EnvelopePhase::kDecay);
        // A sustain level at or above the peak means no decay at all.
        if (level_ <= SustainLevel(adsr1))
            Enter(EnvelopePhase::kSustain);
        return;
    case EnvelopePhase::kDecay:
        Apply({true, true, (adsr1 >> 4) & 0x0F, 0});
        if (level_ <= SustainLevel(adsr1))
            Enter(EnvelopePhase::kSustain);
        return;
    case EnvelopePhase::kSustain:
        Apply({(adsr2 & 0x8000) != 0, (adsr2 & 0x4000) != 0, (adsr2 >> 8) & 0x1F, (adsr2 >> 6) & 0x03});
        return;
    case EnvelopePhase::kRelease:
        Apply({(adsr2 & 0x0020) != 0, true, adsr2 & 0x1F, 0});
        if (level_ == 0)
            Enter(EnvelopePhase::kOff);
        return;
    }
}

}  // namespace console::spu2
