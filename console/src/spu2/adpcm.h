// The SPU2's sample coding: 16-byte blocks of 28 four-bit samples.  Byte 0
// holds the predictor filter (bits 4-6) and the shift (bits 0-3); byte 1 the
// loop flags; bytes 2-15 the samples, two per byte, low nibble first.  Each
// sample is its nibble scaled by the shift plus a prediction from the two
// samples before it, so a voice (and the encoder in tools/) must carry that
// history from block to block.
#pragma once

#include <cstdint>
#include <span>

namespace console::spu2 {

constexpr uint32_t kAdpcmBlockBytes = 16;
constexpr uint32_t kAdpcmBlockSamples = 28;

// Flag byte bits.  A block with kLoopStart makes its address the voice's
// loop address; after a block with kLoopEnd the voice sets its end flag and
// either jumps to the loop address (kLoopRepeat also set) or falls silent.
constexpr uint8_t kAdpcmLoopEnd = 0x01;
constexpr uint8_t kAdpcmLoopRepeat = 0x02;
constexpr uint8_t kAdpcmLoopStart = 0x04;

// The five predictor filters: prediction = (s1 * first + s2 * second + 32)
// >> 6, s1 being the previous sample and s2 the one before.  Filters 5 to 7
// do not exist; blocks naming them decode as filter 0.
constexpr int kAdpcmFilterCount = 5;
constexpr int32_t kAdpcmFilterFirst[kAdpcmFilterCount] = {0, 60, 115, 98, 122};
constexpr int32_t kAdpcmFilterSecond[kAdpcmFilterCount] = {0, 0, -52, -55, -60};

// The two previous decoded samples.
struct AdpcmHistory {
    int32_t s1 = 0;
    int32_t s2 = 0;
};

// The effective shift of a header byte: the nibble is placed in the top of a
// 16-bit word and shifted right by this much.  Shift values 13 to 15 act as 9.
int AdpcmShift(uint8_t header);
int AdpcmFilter(uint8_t header);

// Decodes one 16-byte block into 28 samples, updating the history.
void DecodeAdpcmBlock(const uint8_t* block, AdpcmHistory& history, int16_t out[kAdpcmBlockSamples]);

// Decodes whole blocks (data.size() / 16 of them; a partial tail is ignored)
// from a zero history, ignoring the flags, into `out`, which must hold 28
// samples per block.
void DecodeAdpcm(std::span<const uint8_t> data, int16_t* out);

}  // namespace console::spu2
