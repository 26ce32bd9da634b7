#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

#include "spu2/adpcm.h"

namespace {

using console::spu2::AdpcmHistory;
using console::spu2::DecodeAdpcmBlock;
using console::spu2::kAdpcmBlockSamples;

// A block with the given header byte and leading nibbles (the rest 0),
// packed two to a byte, low nibble first.
std::array<uint8_t, 16> Block(uint8_t header, std::initializer_list<int> nibbles)
{
    std::array<uint8_t, 16> b{};
    b[0] = header;
    int i = 0;
    for (int n : nibbles) {
        b[2 + i / 2] |= static_cast<uint8_t>((n & 0x0F) << ((i & 1) * 4));
        ++i;
    }
    return b;
}

struct Decoded {
    int16_t s[kAdpcmBlockSamples];
};

Decoded Decode(const std::array<uint8_t, 16>& block, AdpcmHistory& history)
{
    Decoded d;
    DecodeAdpcmBlock(block.data(), history, d.s);
    return d;
}

Decoded Decode(const std::array<uint8_t, 16>& block)
{
    AdpcmHistory history;
    return Decode(block, history);
}

TEST(SpuAdpcm, FilterZeroPlacesTheNibbleByTheShift)
{
    // Shift 12: the nibble itself; low nibble first, 0xF is -1, 8 is -8.
    Decoded d = Decode(Block(0x0C, {1, 0xF, 7, 8, 0}));
    EXPECT_EQ(d.s[0], 1);
    EXPECT_EQ(d.s[1], -1);
    EXPECT_EQ(d.s[2], 7);
    EXPECT_EQ(d.s[3], -8);
    EXPECT_EQ(d.s[4], 0);
    // Shift 0: the nibble is the top four bits of the 16-bit sample.
    d = Decode(Block(0x00, {1, 0xF, 7, 8}));
    EXPECT_EQ(d.s[0], 4096);
    EXPECT_EQ(d.s[1], -4096);
    EXPECT_EQ(d.s[2], 28672);
    EXPECT_EQ(d.s[3], -32768);
    // Shift 4 in between: 1 << (12 - 4).
    EXPECT_EQ(Decode(Block(0x04, {1})).s[0], 256);
    // The last sample sits in the high nibble of byte 15.
    std::array<uint8_t, 16> last = Block(0x0C, {});
    last[15] = 0x30;
    EXPECT_EQ(Decode(last).s[27], 3);
}

TEST(SpuAdpcm, PredictorFiltersWeighTheTwoPreviousSamples)
{
    // Nibbles 1, 0, 0 at shift 0: a 4096 impulse, then (s1 * a + s2 * b + 32) >> 6.
    struct Case {
        uint8_t header;
        int16_t second, third;
    };
    const Case cases[] = {
        {0x10, 3840, 3600},   // (4096*60+32)>>6 = 3840;  (3840*60+32)>>6 = 3600
        {0x20, 7360, 9897},   // (4096*115+32)>>6 = 7360; (7360*115-4096*52+32)>>6 = 9897
        {0x30, 6272, 6084},   // (4096*98+32)>>6 = 6272;  (6272*98-4096*55+32)>>6 = 6084
        {0x40, 7808, 11044},  // (4096*122+32)>>6 = 7808; (7808*122-4096*60+32)>>6 = 11044
    };
    for (const Case& c : cases) {
        Decoded d = Decode(Block(c.header, {1, 0, 0}));
        EXPECT_EQ(d.s[0], 4096) << "filter " << (c.header >> 4);
        EXPECT_EQ(d.s[1], c.second) << "filter " << (c.header >> 4);
        EXPECT_EQ(d.s[2], c.third) << "filter " << (c.header >> 4);
    }
    // With shift 12 the nibbles add in units: filter 1, nibbles 7, 2:
    // 7, then 2 + (7*60+32)>>6 = 2 + 7 = 9.
    Decoded d = Decode(Block(0x1C, {7, 2}));
    EXPECT_EQ(d.s[0], 7);
    EXPECT_EQ(d.s[1], 9);
}

TEST(SpuAdpcm, PredictionsRoundDownAndSamplesSaturate)
{
    // (-4096*60+32)>>6 = -3839.5 rounded down.
    EXPECT_EQ(Decode(Block(0x10, {0xF, 0})).s[1], -3840);
    // Filter 4, shift 0, nibbles 7: 28672, then 28672 + 54656 saturates.
    Decoded d = Decode(Block(0x40, {7, 7, 7}));
    EXPECT_EQ(d.s[0], 28672);
    EXPECT_EQ(d.s[1], 32767);
    EXPECT_EQ(d.s[2], 32767);
    d = Decode(Block(0x40, {8, 8}));
    EXPECT_EQ(d.s[1], -32768);
}

TEST(SpuAdpcm, HistoryCarriesFromBlockToBlock)
{
    AdpcmHistory history;
    std::array<uint8_t, 16> first = Block(0x00, {});
    first[15] = 0x10;  // sample 27 = 4096, sample 26 = 0
    Decode(first, history);
    EXPECT_EQ(history.s1, 4096);
    EXPECT_EQ(history.s2, 0);
    Decoded d = Decode(Block(0x1C, {}), history);
    EXPECT_EQ(d.s[0], 3840);
    EXPECT_EQ(d.s[1], 3600);
    EXPECT_EQ(history.s1, d.s[27]);
    EXPECT_EQ(history.s2, d.s[26]);
}

TEST(SpuAdpcm, ReservedShiftsAndFiltersDecodeAsTheHardwareDoes)
{
    // Shifts 13 to 15 act as 9: 1 << 3.
    for (uint8_t shift : {13, 14, 15})
        EXPECT_EQ(Decode(Block(shift, {1})).s[0], 8) << int{shift};
    // Filters 5 to 7 predict nothing.
    AdpcmHistory history{1000, 500};
    EXPECT_EQ(Decode(Block(0x5C, {1}), history).s[0], 1);
}

TEST(SpuAdpcm, DecodingAStreamIgnoresFlagsAndPartialBlocks)
{
    std::array<uint8_t, 16> a = Block(0x0C, {1, 2}), b = Block(0x0C, {3});
    a[1] = 0x01;
    b[1] = 0x07;
    std::vector<uint8_t> data(a.begin(), a.end());
    data.insert(data.end(), b.begin(), b.end());
    data.insert(data.end(), 7, 0x55);  // a partial third block
    int16_t out[2 * kAdpcmBlockSamples + 1];
    out[2 * kAdpcmBlockSamples] = 12345;
    console::spu2::DecodeAdpcm(data, out);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[kAdpcmBlockSamples], 3);
    EXPECT_EQ(out[2 * kAdpcmBlockSamples], 12345);
}

}  // namespace
