// The MPEG intra tables and the macroblock decoder, without the IPU's
// registers and DMA.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "console/ipu/stream_writer.h"
#include "gs/simd.h"
#include "ipu/intra_decoder.h"
#include "ipu/mpeg_tables.h"

using namespace console::ipu;
using ipustream::Writer;

namespace {

std::string BitString(u32 code, int length)
{
    std::string s;
    for (int i = length - 1; i >= 0; --i)
        s += ((code >> i) & 1) ? '1' : '0';
    return s;
}

// Every code of a DCT table as a bit string, sign bit excluded, with EOB and
// escape.
std::vector<std::string> DctCodeStrings(DctTable table)
{
    std::vector<std::string> codes;
    for (const DctVlc& c : DctCodes(table))
        codes.push_back(BitString(c.code, c.length));
    codes.push_back(BitString(DctEndOfBlock(table).code, DctEndOfBlock(table).length));
    codes.push_back(BitString(kDctEscape.code, kDctEscape.length));
    return codes;
}

// Sum of 2^-length over a table's codes; run/level codes count twice (the
// sign bit) at one bit more, which is 2^-length again.
double Kraft(const std::vector<std::string>& codes)
{
    double sum = 0.0;
    for (const std::string& c : codes)
        sum += std::ldexp(1.0, -static_cast<int>(c.size()));
    return sum;
}

bool PrefixFree(std::vector<std::string> codes)
{
    std::sort(codes.begin(), codes.end());
    for (size_t i = 1; i < codes.size(); ++i)
        if (codes[i].compare(0, codes[i - 1].size(), codes[i - 1]) == 0)
            return false;
    return true;
}

std::vector<std::string> VlcStrings(const std::array<Vlc, 12>& table)
{
    std::vector<std::string> v;
    for (const Vlc& c : table)
        v.push_back(BitString(c.code, c.length));
    return v;
}

// A reader over a hand-written stream.
struct Stream {
    std::vector<u8> bytes;
    BitReader reader;
    explicit Stream(const Writer& w) : bytes(w.Bytes()), reader(bytes, 0) {}
};

// The samples of an 8 x 8 block holding DC `dc` and one coefficient `value`
// at (u, v), straight from the inverse DCT's definition.
u8 ReferenceSample(int dc, int u, int v, int value, int x, int y)
{
    auto c = [](int k) { return k == 0 ? std::sqrt(0.5) : 1.0; };
    const double pi = std::numbers::pi;
    double s = dc / 8.0 + 0.25 * c(u) * c(v) * value * std::cos((2 * x + 1) * u * pi / 16) *
                              std::cos((2 * y + 1) * v * pi / 16);
    return static_cast<u8>(std::clamp(static_cast<int>(std::floor(s + 0.5)), 0, 255));
}

}  // namespace

TEST(IpuTables, DctTableZeroLeavesOnlyTheStartCodePrefixUnused)
{
    std::vector<std::string> codes = DctCodeStrings(DctTable::kZero);
    EXPECT_TRUE(PrefixFree(codes));
    // Run/level codes stand for two codes each (the sign bit): count them
    // once at their length without the sign.
    EXPECT_DOUBLE_EQ(Kraft(codes), 1.0 - std::ldexp(1.0, -12));
}

TEST(IpuTables, DctTableOneLeavesItsMovedCodesUnused)
{
    std::vector<std::string> codes = DctCodeStrings(DctTable::kOne);
    EXPECT_TRUE(PrefixFree(codes));
    // Besides the start-code prefix: six 12-bit and four 13-bit codes of
    // table zero whose pairs table one codes shorter.
    EXPECT_DOUBLE_EQ(Kraft(codes), 1.0 - 9 * std::ldexp(1.0, -12));
}

TEST(IpuTables, BothDctTablesCodeTheSameRunLevelPairsOnce)
{
    std::map<DctTable, std::set<std::pair<int, int>>> pairs;
    for (DctTable t : {DctTable::kZero, DctTable::kOne}) {
        for (const DctVlc& c : DctCodes(t)) {
            EXPECT_TRUE(pairs[t].insert({c.run, c.level}).second) << "run " << int(c.run) << " level " << int(c.level);
            EXPECT_GE(c.level, 1);
        }
    }
    EXPECT_EQ(pairs[DctTable::kZero], pairs[DctTable::kOne]);
    EXPECT_EQ(pairs[DctTable::kZero].size(), 111u);
    EXPECT_TRUE(pairs[DctTable::kZero].count({0, 40}));
    EXPECT_TRUE(pairs[DctTable::kZero].count({31, 1}));
    EXPECT_TRUE(pairs[DctTable::kZero].count({1, 18}));
}

TEST(IpuTables, DcSizeAndHeaderCodesArePrefixFree)
{
    for (const std::array<Vlc, 12>* t : {&DcSizeLuma(), &DcSizeChroma()}) {
        EXPECT_TRUE(PrefixFree(VlcStrings(*t)));
        EXPECT_DOUBLE_EQ(Kraft(VlcStrings(*t)), 1.0);
    }
    std::vector<std::string> mbai;
    std::set<int> values;
    for (const MbaiVlc& c : MacroblockAddressIncrementCodes()) {
        mbai.push_back(BitString(c.code, c.length));
        values.insert(c.value);
    }
    EXPECT_TRUE(PrefixFree(mbai));
    EXPECT_EQ(values.size(), 35u);  // 1..33, stuffing, escape
    EXPECT_TRUE(PrefixFree({BitString(kMbTypeIntra.code, kMbTypeIntra.length),
                            BitString(kMbTypeIntraQuant.code, kMbTypeIntraQuant.length)}));
}

TEST(IpuTables, ScansArePermutationsInTheStandardOrder)
{
    const std::array<u8, 64>& zz = ZigzagScan();
    const std::array<u8, 64>& alt = AlternateScan();
    for (const std::array<u8, 64>* scan : {&zz, &alt}) {
        std::set<int> seen(scan->begin(), scan->end());
        EXPECT_EQ(seen.size(), 64u);
        EXPECT_EQ((*scan)[0], 0);
        EXPECT_EQ((*scan)[63], 63);
    }
    EXPECT_EQ(std::vector<int>(zz.begin(), zz.begin() + 10), (std::vector<int>{0, 1, 8, 16, 9, 2, 3, 10, 17, 24}));
    EXPECT_EQ(std::vector<int>(zz.end() - 6, zz.end()), (std::vector<int>{61, 54, 47, 55, 62, 63}));
    // The alternate scan runs down the first column before it moves right.
    EXPECT_EQ(std::vector<int>(alt.begin(), alt.begin() + 10), (std::vector<int>{0, 8, 16, 24, 1, 9, 2, 10, 17, 25}));
}

TEST(IpuTables, QuantiserScales)
{
    EXPECT_EQ(QuantiserScale(1, false, false), 2);
    EXPECT_EQ(QuantiserScale(31, false, false), 62);
    EXPECT_EQ(QuantiserScale(7, false, true), 7);
    EXPECT_EQ(QuantiserScale(1, true, false), 1);
    EXPECT_EQ(QuantiserScale(8, true, false), 8);
    EXPECT_EQ(QuantiserScale(9, true, false), 10);
    EXPECT_EQ(QuantiserScale(31, true, false), 112);
    for (int code = 2; code < 32; ++code)
        EXPECT_GT(QuantiserScale(code, true, false), QuantiserScale(code - 1, true, false));
    EXPECT_EQ(DefaultIntraMatrix()[0], 8);
    EXPECT_EQ(DefaultIntraMatrix()[63], 83);
}

TEST(IpuDecoder, InverseDctOfADcOnlyBlockIsFlat)
{
    for (int dc : {0, 8, 1024, 8 * 200, 8 * 255, 2040}) {
        int f[64] = {};
        f[0] = dc;
        u8 s[64];
        InverseDct(f, s);
        for (u8 v : s)
            ASSERT_EQ(v, dc / 8) << "DC " << dc;
    }
    int f[64] = {};
    f[0] = -80;  // below black clamps to 0
    u8 s[64];
    InverseDct(f, s);
    EXPECT_EQ(s[0], 0);
}

TEST(IpuDecoder, InverseDctFollowsTheDefinition)
{
    // One AC coefficient at a time on a mid-grey DC.
    for (int pos : {1, 8, 9, 27, 63}) {
        int f[64] = {};
        f[0] = 1024;
        f[pos] = 300;
        u8 s[64];
        InverseDct(f, s);
        for (int i = 0; i < 64; ++i)
            ASSERT_NEAR(s[i], ReferenceSample(1024, pos % 8, pos / 8, 300, i % 8, i / 8), 1) << "coefficient " << pos;
    }
}

TEST(IpuDecoder, InverseDctMatchesTheFullSumsOnSparseAndDenseBlocks)
{
    // The pictures must not move by a single level: every sample equals the
    // plain separable sum over all 64 terms in double precision, rounded
    // with floor(s + 0.5), for blocks with whole zero rows, scattered
    // coefficients, dense blocks, saturated values and exact half-way sums.
    double basis[8][8];
    for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u)
            basis[x][u] = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * std::numbers::pi / 16.0);
    auto full = [&](const int (&f)[64], u8 (&out)[64]) {
        double rows[64];
        for (int v = 0; v < 8; ++v)
            for (int x = 0; x < 8; ++x) {
                double s = 0.0;
                for (int u = 0; u < 8; ++u)
                    s += basis[x][u] * f[v * 8 + u];
                rows[v * 8 + x] = s;
            }
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                double s = 0.0;
                for (int v = 0; v < 8; ++v)
                    s += basis[y][v] * rows[v * 8 + x];
                out[y * 8 + x] = static_cast<u8>(std::clamp(static_cast<int>(std::floor(s + 0.5)), 0, 255));
            }
    };
    // At the SSE2 level and at the host's (AVX2 where the CPU has it).
    for (auto level : {console::gs::SimdLevel::kSse2, console::gs::HostSimdLevel()}) {
        console::gs::LimitSimdLevel(level);
        u32 seed = 12345;
        auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return seed >> 8;
        };
        int mismatches = 0;
        for (int block = 0; block < 4000; ++block) {
            int f[64] = {};
            const int kind = block % 4;
            const int count = kind == 0 ? 1 + next() % 3 : kind == 1 ? 4 + next() % 12 : kind == 2 ? 64 : 1 + next() % 64;
            for (int i = 0; i < count; ++i) {
                const int pos = kind == 2 ? i : static_cast<int>(next() % 64);
                const int range = kind == 3 ? 4096 : 600;
                f[pos] = static_cast<int>(next() % range) - range / 2;
            }
            if (kind == 3)
                f[0] = std::clamp(f[0] * 8, -2048, 2047);
            else
                f[0] = 4 + 8 * static_cast<int>(next() % 256);  // DC on a half level: sums land on x.5
            u8 fast[64], want[64];
            InverseDct(f, fast);
            full(f, want);
            for (int i = 0; i < 64; ++i)
                mismatches += fast[i] != want[i];
        }
        EXPECT_EQ(mismatches, 0) << "vector level " << static_cast<int>(level);
    }
    console::gs::LimitSimdLevel(console::gs::HostSimdLevel());
}

TEST(IpuDecoder, ColourConversionKeepsTheStudioRange)
{
    EXPECT_EQ(YCbCrToRgb(16, 128, 128), (Rgb{0, 0, 0}));
    EXPECT_EQ(YCbCrToRgb(235, 128, 128), (Rgb{255, 255, 255}));
    EXPECT_EQ(YCbCrToRgb(0, 128, 128), (Rgb{0, 0, 0}));
    EXPECT_EQ(YCbCrToRgb(255, 128, 128), (Rgb{255, 255, 255}));
    // BT.601 primaries.
    EXPECT_EQ(YCbCrToRgb(81, 90, 240), (Rgb{255, 0, 0}));
    EXPECT_EQ(YCbCrToRgb(41, 240, 110), (Rgb{0, 0, 255}));
    const Rgb green = YCbCrToRgb(145, 54, 34);  // 8-bit rounding of the primaries
    EXPECT_LE(green.r, 1);
    EXPECT_GE(green.g, 254);
    EXPECT_LE(green.b, 1);
}

TEST(IpuDecoder, BitReaderPeeksTheSameBitsAnywhereAndZerosPastTheEnd)
{
    std::vector<u8> data(21);
    u32 seed = 99;
    for (u8& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<u8>(seed >> 16);
    }
    auto bit = [&](size_t i) { return i / 8 < data.size() ? (data[i / 8] >> (7 - i % 8)) & 1 : 0; };
    for (size_t pos = 0; pos <= data.size() * 8 + 8; ++pos) {
        for (int n = 1; n <= 32; ++n) {
            u32 want = 0;
            for (int k = 0; k < n; ++k)
                want = want << 1 | bit(pos + static_cast<size_t>(k));
            ASSERT_EQ(BitReader(data, pos).Peek(n), want) << "at bit " << pos << ", " << n << " bits";
        }
    }
}

TEST(IpuDecoder, MacroblockConversionsAgreeWithThePixelFormulaEverywhere)
{
    // Random macroblocks, one in four pushed to the ends of every range
    // (samples 0, 1, 254, 255 make the sums clamp both ways); each output
    // pixel must be the one-pixel conversion of its own luma and the chroma
    // of its 2 x 2 square, the RGB16 one after the dither pattern.
    constexpr int kDitherMatrix[4][4] = {{-4, 2, -3, 3}, {0, -2, 1, -1}, {-3, 3, -4, 2}, {1, -1, 0, -2}};
    u32 seed = 777;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    const u8 ends[] = {0, 1, 15, 16, 17, 127, 128, 129, 235, 240, 254, 255};
    int bad = 0;
    for (int n = 0; n < 400; ++n) {
        MacroblockSamples mb;
        auto sample = [&] { return n % 4 == 0 ? ends[next() % std::size(ends)] : static_cast<u8>(next()); };
        for (u8& v : mb.y)
            v = sample();
        for (u8& v : mb.cb)
            v = sample();
        for (u8& v : mb.cr)
            v = sample();
        u8 out32[kRgb32MacroblockBytes];
        u8 out16[kRgb16MacroblockBytes];
        u8 out16d[kRgb16MacroblockBytes];
        ConvertRgb32(mb, out32);
        ConvertRgb16(mb, false, out16);
        ConvertRgb16(mb, true, out16d);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int i = y * 16 + x;
                const int ci = (y >> 1) * 8 + (x >> 1);
                const Rgb p = YCbCrToRgb(mb.y[i], mb.cb[ci], mb.cr[ci]);
                bad += out32[i * 4] != p.r || out32[i * 4 + 1] != p.g || out32[i * 4 + 2] != p.b ||
                       out32[i * 4 + 3] != 0x80;
                for (int dithered = 0; dithered < 2; ++dithered) {
                    const int d = dithered ? kDitherMatrix[y & 3][x & 3] : 0;
                    auto five = [d](int c) { return std::clamp(c + d, 0, 255) >> 3; };
                    const int want = five(p.r) | five(p.g) << 5 | five(p.b) << 10 | 0x8000;
                    const u8* o = (dithered ? out16d : out16) + i * 2;
                    bad += (o[0] | o[1] << 8) != want;
                }
            }
        }
    }
    EXPECT_EQ(bad, 0);
}

TEST(IpuDecoder, DcOnlyMacroblockDecodesToTheExactFlatColour)
{
    Writer w;
    ipustream::Predictors p;
    ipustream::FlatMacroblock(w, 180, 100, 150, p);
    Stream s(w);
    SliceState state = SliceState::Start(PictureControl{}, 1);
    MacroblockSamples mb;
    DecodeResult r = DecodeIntraMacroblock(s.reader, PictureControl{}, false, state, mb);
    ASSERT_EQ(r.status, DecodeStatus::kOk) << r.what;
    EXPECT_EQ(s.reader.Position(), w.Bits());
    EXPECT_TRUE(std::all_of(std::begin(mb.y), std::end(mb.y), [](u8 v) { return v == 180; }));
    EXPECT_TRUE(std::all_of(std::begin(mb.cb), std::end(mb.cb), [](u8 v) { return v == 100; }));
    EXPECT_TRUE(std::all_of(std::begin(mb.cr), std::end(mb.cr), [](u8 v) { return v == 150; }));
    EXPECT_EQ(state.dc_pred[0], 180);
    EXPECT_EQ(state.dc_pred[1], 100);

    u8 rgb[3];
    ipustream::Bt601(180, 100, 150, rgb);
    u8 out32[kRgb32MacroblockBytes];
    ConvertRgb32(mb, out32);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(out32[i * 4], rgb[0]);
        ASSERT_EQ(out32[i * 4 + 1], rgb[1]);
        ASSERT_EQ(out32[i * 4 + 2], rgb[2]);
        ASSERT_EQ(out32[i * 4 + 3], 0x80);
    }
    u8 out16[kRgb16MacroblockBytes];
    ConvertRgb16(mb, false, out16);
    const u16 expect = static_cast<u16>(rgb[0] >> 3 | (rgb[1] >> 3) << 5 | (rgb[2] >> 3) << 10 | 0x8000);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(out16[i * 2] | out16[i * 2 + 1] << 8, expect);
}

TEST(IpuDecoder, DitherSpreadsAFlatColourAroundItsValue)
{
    MacroblockSamples mb;
    std::fill(std::begin(mb.y), std::end(mb.y), 126);
    std::fill(std::begin(mb.cb), std::end(mb.cb), 128);
    std::fill(std::begin(mb.cr), std::end(mb.cr), 128);
    u8 plain[kRgb16MacroblockBytes], dithered[kRgb16MacroblockBytes];
    ConvertRgb16(mb, false, plain);
    ConvertRgb16(mb, true, dithered);
    std::set<int> levels;
    for (int i = 0; i < 256; ++i) {
        const int red = dithered[i * 2] & 31;
        levels.insert(red);
        EXPECT_LE(std::abs(red - (plain[i * 2] & 31)), 1);
    }
    EXPECT_GT(levels.size(), 1u);
    // The pattern repeats every four pixels in both directions.
    EXPECT_EQ(dithered[0], dithered[8]);
    EXPECT_EQ(dithered[0], dithered[4 * 32]);
}

TEST(IpuDecoder, FieldDctPutsEachBlockOnEveryOtherLine)
{
    // Top blocks 200, bottom blocks 50, grey chroma.
    const int dc[6] = {200, 200, 50, 50, 128, 128};
    for (int field : {0, 1}) {
        Writer w;
        ipustream::Predictors p;
        ipustream::DcOnlyMacroblock(w, dc, p, field);
        Stream s(w);
        SliceState state = SliceState::Start(PictureControl{}, 1);
        MacroblockSamples mb;
        DecodeResult r = DecodeIntraMacroblock(s.reader, PictureControl{}, true, state, mb);
        ASSERT_EQ(r.status, DecodeStatus::kOk) << r.what;
        EXPECT_EQ(r.field_dct, field == 1);
        for (int y = 0; y < 16; ++y) {
            const int expect = field ? (y % 2 ? 50 : 200) : (y < 8 ? 200 : 50);
            ASSERT_EQ(mb.y[y * 16 + 3], expect) << "field " << field << " line " << y;
            ASSERT_EQ(mb.y[y * 16 + 12], expect) << "field " << field << " line " << y;
        }
    }
}

TEST(IpuDecoder, EscapedCoefficientIsDequantisedAsMpeg2AndMpeg1Say)
{
    // Luma block 0: DC 128 (no change), an escape with run 5 (zig-zag
    // position 6 = raster 3, weight 22), then end of block.  The other
    // blocks are flat.
    struct Case {
        bool mpeg1;
        const char* level_bits;
        int coefficient;
    };
    const Case cases[] = {
        // MPEG-2: 12-bit level -20; (2 * -20 * 22 * 2) / 32 = -55.
        {false, "111111101100", -55},
        // MPEG-1: 0x00 then 200; 2 * 200 * 1 * 22 / 16 = 550, made odd: 549.
        {true, "00000000 11001000", 549},
    };
    for (const Case& c : cases) {
        Writer w;
        w.Put("1 1");                // increment 1, intra
        w.Put("100");                // luma DC size 0
        w.Put("000001 000101");      // escape, run 5
        w.Put(c.level_bits);
        w.Put("10");                 // end of block
        for (int b = 1; b < 6; ++b)  // DC unchanged, end of block
            w.Put(b < 4 ? "100 10" : "00 10");
        Stream s(w);
        PictureControl pc;
        pc.mpeg1 = c.mpeg1;
        SliceState state = SliceState::Start(pc, 1);
        MacroblockSamples mb;
        DecodeResult r = DecodeIntraMacroblock(s.reader, pc, false, state, mb);
        ASSERT_EQ(r.status, DecodeStatus::kOk) << r.what;
        // Mismatch control leaves an odd sum alone (1024 - 55 and 1024 + 549).
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(mb.y[y * 16 + x], ReferenceSample(1024, 3, 0, c.coefficient, x, y))
                    << (c.mpeg1 ? "MPEG-1" : "MPEG-2") << " at " << x << "," << y;
        EXPECT_EQ(mb.y[8], 128);  // block 1 untouched
    }
}

TEST(IpuDecoder, QuantiserCodeInTheMacroblockChangesTheScale)
{
    // Type "01" with code 4 (scale 8), then a table-zero coefficient (0, 1)
    // "11" + sign 0 at zig-zag 1 = raster 1 (weight 16): 2 * 1 * 16 * 8 / 32 = 8.
    Writer w;
    w.Put("1 01 00100");
    w.Put("100 110 10");
    for (int b = 1; b < 6; ++b)
        w.Put(b < 4 ? "100 10" : "00 10");
    Stream s(w);
    SliceState state = SliceState::Start(PictureControl{}, 1);
    MacroblockSamples mb;
    ASSERT_EQ(DecodeIntraMacroblock(s.reader, PictureControl{}, false, state, mb).status, DecodeStatus::kOk);
    EXPECT_EQ(state.quantiser_code, 4);
    // Sum 1024 + 8 is even: mismatch control adds 1 at (7, 7).
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            auto c = [](int k) { return k == 0 ? std::sqrt(0.5) : 1.0; };
            const double pi = std::numbers::pi;
            double v = 128.0 + 0.25 * c(1) * c(0) * 8 * std::cos((2 * x + 1) * pi / 16) +
                       0.25 * 1 * std::cos((2 * x + 1) * 7 * pi / 16) * std::cos((2 * y + 1) * 7 * pi / 16);
            ASSERT_EQ(mb.y[y * 16 + x], static_cast<int>(std::floor(v + 0.5))) << x << "," << y;
        }
}

TEST(IpuDecoder, BadAndTruncatedMacroblocksAreToldApart)
{
    SliceState start = SliceState::Start(PictureControl{}, 1);
    MacroblockSamples mb;
    {
        Writer w;
        w.Put("1 00 1111 1111 1111 1111 1111");  // type "00" is not intra
        Stream s(w);
        SliceState state = start;
        DecodeResult r = DecodeIntraMacroblock(s.reader, PictureControl{}, false, state, mb);
        EXPECT_EQ(r.status, DecodeStatus::kBadCode);
        EXPECT_EQ(s.reader.Position(), 0u);
    }
    {
        Writer w;
        ipustream::Predictors p;
        ipustream::FlatMacroblock(w, 90, 128, 128, p);
        std::vector<u8> cut(w.Bytes().begin(), w.Bytes().end() - 1);
        BitReader reader(cut, 0);
        SliceState state = start;
        DecodeResult r = DecodeIntraMacroblock(reader, PictureControl{}, false, state, mb);
        EXPECT_EQ(r.status, DecodeStatus::kOverrun);
        EXPECT_EQ(state.dc_pred[0], 128);  // unchanged
    }
    {
        // A run that carries the coefficient index past 63.
        Writer w;
        w.Put("1 1 100");
        w.Put("000001 111110 000000000001");  // escape, run 62, level 1: index 63
        w.Put("000001 000000 000000000001");  // one more: index 64
        w.Put("10");
        Stream s(w);
        SliceState state = start;
        EXPECT_EQ(DecodeIntraMacroblock(s.reader, PictureControl{}, false, state, mb).status,
                  DecodeStatus::kBadCode);
    }
}
