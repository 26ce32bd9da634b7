#include "spu2/adpcm.h"

#include <algorithm>

namespace console::spu2 {

int AdpcmShift(uint8_t header)
{
    const int shift = header & 0x0F;
    return shift > 12 ? 9 : shift;
}

int AdpcmFilter(uint8_t header)
{
    const int filter = (header >> 4) & 0x07;
    return filter < kAdpcmFilterCount ? filter : 0;
}

void DecodeAdpcmBlock(const uint8_t* block, AdpcmHistory& history, int16_t out[kAdpcmBlockSamples])
{
    const int shift = AdpcmShift(block[0]);
    const int filter = AdpcmFilter(block[0]);
    const int32_t first = kAdpcmFilterFirst[filter];
    const int32_t second = kAdpcmFilterSecond[filter];
    int32_t s1 = history.s1, s2 = history.s2;
    for (uint32_t i = 0; i < kAdpcmBlockSamples; ++i) {
        const uint8_t byte = block[2 + i / 2];
        const int32_t nibble = (i & 1) ? byte >> 4 : byte & 0x0F;
        // The nibble is the top four bits of a signed 16-bit value.
        const int32_t scaled = static_cast<int16_t>(static_cast<uint16_t>(nibble << 12)) >> shift;
        const int32_t predicted = (s1 * first + s2 * second + 32) >> 6;
        const int32_t sample = std::clamp(scaled + predicted, -32768, 32767);
        out[i] = static_cast<int16_t>(sample);
        s2 = s1;
        s1 = sample;
    }
    history.s1 = s1;
    history.s2 = s2;
}

void DecodeAdpcm(std::span<const uint8_t> data, int16_t* out)
{
    AdpcmHistory history;
    for (size_t at = 0; at + kAdpcmBlockBytes <= data.size(); at += kAdpcmBlockBytes) {
        DecodeAdpcmBlock(data.data() + at, history, out);
        out += kAdpcmBlockSamples;
    }
}

}  // namespace console::spu2
