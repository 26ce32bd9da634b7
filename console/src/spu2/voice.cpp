#include "spu2/voice.h"

#include <algorithm>

#include "spu2/spu_ram.h"

namespace console::spu2 {

uint32_t WrapAddress(uint32_t address)
{
    return address & (kSoundRamSize - 1);
}

void Voice::LoadBlock(const uint8_t* ram, uint32_t address)
{
    block_address_ = WrapAddress(address);
    // A block that would run past the end of sound RAM reads its tail from
    // the start, as the address counter wraps.
    uint8_t block[kAdpcmBlockBytes];
    for (uint32_t i = 0; i < kAdpcmBlockBytes; ++i)
        block[i] = ram[WrapAddress(block_address_ + i)];
    DecodeAdpcmBlock(block, history_, block_);
    block_flags_ = block[1];
    if (block_flags_ & kAdpcmLoopStart)
        loop_address_ = block_address_;
    index_ = 0;
}

void Voice::KeyOn(const uint8_t* ram)
{
    history_ = AdpcmHistory{};
    loop_address_ = WrapAddress(start_address);
    LoadBlock(ram, start_address);
    counter_ = 0;
    previous_ = 0;
    current_ = block_[0];
    end_flag_ = false;
    envelope_.KeyOn();
}

void Voice::NextSourceSample(const uint8_t* ram)
{
    previous_ = current_;
    if (++index_ == kAdpcmBlockSamples) {
        if (block_flags_ & kAdpcmLoopEnd) {
            end_flag_ = true;
            if (!(block_flags_ & kAdpcmLoopRepeat)) {
                // The voice falls silent; its address rests on the loop
                // address it would have jumped to.
                envelope_.Silence();
                block_address_ = loop_address_;
                current_ = 0;
                return;
            }
            LoadBlock(ram, loop_address_);
        } else {
            LoadBlock(ram, block_address_ + kAdpcmBlockBytes);
        }
    }
    current_ = block_[index_];
}

int32_t Voice::Emit(const uint8_t* ram, int32_t level)
{
    const int32_t fraction = static_cast<int32_t>(counter_ & 0x0FFF);
    const int32_t sample = previous_ + (((current_ - previous_) * fraction) >> 12);
    const int32_t out = (sample * level) >> 15;
    counter_ += pitch > kMaxPitch ? kMaxPitch : pitch;
    while (counter_ >= 0x1000 && envelope_.Active()) {
        counter_ -= 0x1000;
        NextSourceSample(ram);
    }
    return out;
}

int Voice::Render(const uint8_t* ram, int32_t* out, int n)
{
    int i = 0;
    while (i < n && envelope_.Active()) {
        const uint32_t still = envelope_.TickThenStill(adsr1, adsr2);
        const int32_t level = envelope_.Level();
        out[i++] = Emit(ram, level);
        // The steps whose envelope only waits: the level stays as it is.
        const uint32_t run = std::min<uint32_t>(still, static_cast<uint32_t>(n - i));
        uint32_t k = 0;
        while (k < run && envelope_.Active()) {
            ++k;
            out[i++] = Emit(ram, level);
        }
        // A voice that fell silent started its (off) phase afresh.
        if (envelope_.Active())
            envelope_.Wait(k);
    }
    return i;
}

}  // namespace console::spu2
