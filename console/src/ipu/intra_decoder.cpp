#include "ipu/intra_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include <immintrin.h>

#include "gs/simd.h"
#include "ipu/mpeg_tables.h"

namespace console::ipu {
namespace {

// One slot of a 16-bit lookup of a DCT coefficient table.
enum class DctKind : u8 { kNone, kCoefficient, kEndOfBlock, kEscape };

struct DctEntry {
    DctKind kind = DctKind::kNone;
    u8 length = 0;
    u8 run = 0;
    u8 level = 0;
};

constexpr int kLookupBits = 16;

std::vector<DctEntry> BuildLookup(DctTable table)
{
    std::vector<DctEntry> lookup(size_t{1} << kLookupBits);
    auto fill = [&lookup](Vlc vlc, DctEntry entry) {
        const u32 first = u32{vlc.code} << (kLookupBits - vlc.length);
        const u32 count = 1u << (kLookupBits - vlc.length);
        for (u32 i = 0; i < count; ++i)
            lookup[first + i] = entry;
    };
    for (const DctVlc& c : DctCodes(table))
        fill({c.code, c.length}, {DctKind::kCoefficient, c.length, c.run, c.level});
    const Vlc eob = DctEndOfBlock(table);
    fill(eob, {DctKind::kEndOfBlock, eob.length, 0, 0});
    fill(kDctEscape, {DctKind::kEscape, kDctEscape.length, 0, 0});
    return lookup;
}

const std::vector<DctEntry>& Lookup(DctTable table)
{
    static const std::vector<DctEntry> zero = BuildLookup(DctTable::kZero);
    static const std::vector<DctEntry> one = BuildLookup(DctTable::kOne);
    return table == DctTable::kOne ? one : zero;
}

// The longest DC size code is 10 bits, the longest address increment 11.
int ReadDcSize(BitReader& bits, bool luma)
{
    const std::array<Vlc, 12>& codes = luma ? DcSizeLuma() : DcSizeChroma();
    const u32 peek = bits.Peek(10);
    for (int size = 0; size < 12; ++size) {
        const Vlc& c = codes[size];
        if ((peek >> (10 - c.length)) == c.code) {
            bits.Skip(c.length);
            return size;
        }
    }
    return -1;
}

// The increment (1 or more), or -1 for no code.
int ReadAddressIncrement(BitReader& bits)
{
    int increment = 0;
    for (;;) {
        const u32 peek = bits.Peek(11);
        const MbaiVlc* found = nullptr;
        for (const MbaiVlc& c : MacroblockAddressIncrementCodes()) {
            if ((peek >> (11 - c.length)) == c.code) {
                found = &c;
                break;
            }
        }
        if (!found || bits.Overrun())
            return -1;
        bits.Skip(found->length);
        if (found->value == kMbaiEscape)
            increment += 33;
        else if (found->value != kMbaiStuffing)
            return increment + found->value;
    }
}

int SignExtend(u32 value, int bits)
{
    const u32 sign = 1u << (bits - 1);
    return static_cast<int>((value ^ sign) - sign);
}

// Reads and dequantises one block into `coefficients` (raster order).
// `component` is 0 for luma, 1 for Cb, 2 for Cr.
bool DecodeBlock(BitReader& bits, const PictureControl& pc, int component, SliceState& state,
                 int (&coefficients)[64], DecodeResult& result)
{
    // `near_end`: zero bits read past the end make no code; that is a
    // truncation, not a bad code.
    auto fail = [&](const char* what, bool near_end) {
        result.status = near_end ? DecodeStatus::kOverrun : DecodeStatus::kBadCode;
        result.what = what;
        return false;
    };

    const int size = ReadDcSize(bits, component == 0);
    if (size < 0)
        return fail("dct_dc_size", bits.BitsLeft() < 10);
    int diff = 0;
    if (size > 0) {
        const int v = static_cast<int>(bits.Read(size));
        diff = v < (1 << (size - 1)) ? v - ((1 << size) - 1) : v;
    }
    state.dc_pred[component] += diff;

    std::fill(std::begin(coefficients), std::end(coefficients), 0);
    const int dc_mult = pc.mpeg1 ? 8 : IntraDcMultiplier(pc.idp);
    int dc = state.dc_pred[component] * dc_mult;
    if (!pc.mpeg1)
        dc = std::clamp(dc, -2048, 2047);
    coefficients[0] = dc;
    int sum = dc;

    const std::vector<DctEntry>& lookup = Lookup(pc.intra_vlc_format && !pc.mpeg1 ? DctTable::kOne : DctTable::kZero);
    const std::array<u8, 64>& scan = pc.alternate_scan ? AlternateScan() : ZigzagScan();
    const std::array<u8, 64>& matrix = DefaultIntraMatrix();
    const int qs = QuantiserScale(state.quantiser_code, pc.non_linear_q, pc.mpeg1);

    int index = 0;
    for (;;) {
        const DctEntry& e = lookup[bits.Peek(kLookupBits)];
        int run = 0;
        int level = 0;
        switch (e.kind) {
        case DctKind::kNone:
            return fail("DCT coefficient", bits.BitsLeft() < kLookupBits);
        case DctKind::kEndOfBlock:
            bits.Skip(e.length);
            break;
        case DctKind::kEscape:
            bits.Skip(e.length);
            run = static_cast<int>(bits.Read(6));
            if (pc.mpeg1) {
                level = SignExtend(bits.Read(8), 8);
                if (level == 0)
                    level = static_cast<int>(bits.Read(8));
                else if (level == -128)
                    level = static_cast<int>(bits.Read(8)) - 256;
            } else {
                level = SignExtend(bits.Read(12), 12);
            }
            if (level == 0)
                return fail("escaped DCT level (0 is forbidden)", bits.Overrun());
            break;
        case DctKind::kCoefficient:
            bits.Skip(e.length);
            run = e.run;
            level = bits.Read(1) ? -e.level : e.level;
            break;
        }
        if (e.kind == DctKind::kEndOfBlock)
            break;
        index += run + 1;
        if (index > 63)
            return fail("DCT coefficient past the end of the block", bits.Overrun());
        const int pos = scan[index];
        int value;
        if (pc.mpeg1) {
            value = 2 * level * qs * matrix[pos] / 16;
            // MPEG-1 keeps reconstructed AC coefficients odd.
            if ((value & 1) == 0 && value != 0)
                value -= value > 0 ? 1 : -1;
        } else {
            value = 2 * level * matrix[pos] * qs / 32;
        }
        value = std::clamp(value, -2048, 2047);
        coefficients[pos] = value;
        sum += value;
    }
    // MPEG-2 mismatch control: an even sum toggles the last coefficient's
    // lowest bit.
    if (!pc.mpeg1 && (sum & 1) == 0)
        coefficients[63] ^= 1;
    return true;
}

struct IdctBasis {
    // basis[x][u] = C(u) / 2 * cos((2x + 1) u pi / 16), C(0) = 1 / sqrt(2);
    // by_u[u][x] the same numbers, for sums over x two at a time.
    alignas(16) double basis[8][8];
    alignas(16) double by_u[8][8];

    IdctBasis()
    {
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u) {
                basis[x][u] = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 *
                              std::cos((2 * x + 1) * u * std::numbers::pi / 16.0);
                by_u[u][x] = basis[x][u];
            }
    }
};

const IdctBasis& Basis()
{
    static const IdctBasis basis;
    return basis;
}

u8 ClampSample(int v)
{
    return static_cast<u8>(std::clamp(v, 0, 255));
}

// The GS's default dither matrix, indexed [y & 3][x & 3].
constexpr int kDither[4][4] = {
    {-4, 2, -3, 3},
    {0, -2, 1, -1},
    {-3, 3, -4, 2},
    {1, -1, 0, -2},
};

}  // namespace

PictureControl PictureControl::FromCtrl(u32 ctrl)
{
    PictureControl pc;
    pc.idp = static_cast<int>((ctrl >> 16) & 3);
    pc.alternate_scan = (ctrl >> 20) & 1;
    pc.intra_vlc_format = (ctrl >> 21) & 1;
    pc.non_linear_q = (ctrl >> 22) & 1;
    pc.mpeg1 = (ctrl >> 23) & 1;
    return pc;
}

SliceState SliceState::Start(const PictureControl& pc, int quantiser_code)
{
    SliceState s;
    const int mid = pc.mpeg1 ? 128 : 128 << pc.idp;
    s.dc_pred[0] = s.dc_pred[1] = s.dc_pred[2] = mid;
    s.quantiser_code = quantiser_code & 31;
    return s;
}

DecodeResult DecodeIntraMacroblock(BitReader& bits, const PictureControl& pc, bool dct_type_present,
                                   SliceState& state, MacroblockSamples& out)
{
    DecodeResult result;
    BitReader reader = bits;
    SliceState next = state;
    auto fail = [&](const char* what) {
        result.status = reader.BitsLeft() == 0 ? DecodeStatus::kOverrun : DecodeStatus::kBadCode;
        result.what = what;
        return result;
    };

    if (ReadAddressIncrement(reader) < 0)
        return fail("macroblock_address_increment");
    bool quant = false;
    if (reader.Peek(1) == kMbTypeIntra.code) {
        reader.Skip(kMbTypeIntra.length);
    } else if (reader.Peek(2) == kMbTypeIntraQuant.code) {
        reader.Skip(kMbTypeIntraQuant.length);
        quant = true;
    } else {
        return fail("macroblock_type (not an intra type)");
    }
    if (dct_type_present)
        result.field_dct = reader.Read(1) != 0;
    if (quant) {
        next.quantiser_code = static_cast<int>(reader.Read(5));
        if (next.quantiser_code == 0)
            return fail("quantiser_scale_code (0 is forbidden)");
    }

    int coefficients[64];
    u8 samples[64];
    for (int block = 0; block < 6; ++block) {
        const int component = block < 4 ? 0 : block - 3;
        if (!DecodeBlock(reader, pc, component, next, coefficients, result))
            return result;
        InverseDct(coefficients, samples);
        if (block < 4) {
            const int x0 = (block & 1) * 8;
            for (int r = 0; r < 8; ++r) {
                // Field DCT: the block holds every other line of one field.
                const int y = result.field_dct ? (block >> 1) + 2 * r : (block >> 1) * 8 + r;
                std::copy_n(samples + r * 8, 8, out.y + y * 16 + x0);
            }
        } else {
            std::copy_n(samples, 64, block == 4 ? out.cb : out.cr);
        }
    }
    if (reader.Overrun()) {
        result.status = DecodeStatus::kOverrun;
        result.what = "macroblock";
        return result;
    }
    bits = reader;
    state = next;
    return result;
}

namespace {

// InverseDct four x at a time: every lane does the multiplications and
// additions of the two-lane version, in the same order, and rounds by
// floor(s + 0.5) as it does.
__attribute__((target("avx2"))) void InverseDctAvx2(const int (&coefficients)[64], u8 (&samples)[64])
{
    const IdctBasis& b = Basis();
    alignas(32) double rows[64];
    int live_rows[8];
    int row_count = 0;
    for (int v = 0; v < 8; ++v) {
        const int* c = coefficients + v * 8;
        __m256d s0 = _mm256_setzero_pd();
        __m256d s1 = _mm256_setzero_pd();
        bool any = false;
        for (int u = 0; u < 8; ++u) {
            if (c[u] == 0)
                continue;
            any = true;
            const __m256d coefficient = _mm256_set1_pd(static_cast<double>(c[u]));
            s0 = _mm256_add_pd(s0, _mm256_mul_pd(_mm256_loadu_pd(&b.by_u[u][0]), coefficient));
            s1 = _mm256_add_pd(s1, _mm256_mul_pd(_mm256_loadu_pd(&b.by_u[u][4]), coefficient));
        }
        if (!any)
            continue;
        live_rows[row_count++] = v;
        _mm256_store_pd(&rows[v * 8], s0);
        _mm256_store_pd(&rows[v * 8 + 4], s1);
    }
    const __m256d half = _mm256_set1_pd(0.5);
    for (int y = 0; y < 8; ++y) {
        __m256d s0 = _mm256_setzero_pd();
        __m256d s1 = _mm256_setzero_pd();
        for (int i = 0; i < row_count; ++i) {
            const int v = live_rows[i];
            const __m256d weight = _mm256_set1_pd(b.basis[y][v]);
            s0 = _mm256_add_pd(s0, _mm256_mul_pd(weight, _mm256_load_pd(&rows[v * 8])));
            s1 = _mm256_add_pd(s1, _mm256_mul_pd(weight, _mm256_load_pd(&rows[v * 8 + 4])));
        }
        const __m128i r0 = _mm256_cvttpd_epi32(_mm256_floor_pd(_mm256_add_pd(s0, half)));
        const __m128i r1 = _mm256_cvttpd_epi32(_mm256_floor_pd(_mm256_add_pd(s1, half)));
        const __m128i words = _mm_packs_epi32(r0, r1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + y * 8), _mm_packus_epi16(words, words));
    }
}

}  // namespace

void InverseDct(const int (&coefficients)[64], u8 (&samples)[64])
{
    if (gs::ActiveSimdLevel() >= gs::SimdLevel::kAvx2) {
        InverseDctAvx2(coefficients, samples);
        return;
    }
    // Separable sums in double precision, rows first.  Most coefficients of a
    // block are zero and a zero term adds nothing to a sum (the sums start at
    // +0, so not even the sign of a zero changes): only the non-zero terms are
    // added, in the same order as a full sum would add them.  Each sum is
    // worked for two neighbouring x at once; every lane does the very
    // multiplications and additions, in the same order, of the sum alone.
    const IdctBasis& b = Basis();
    alignas(16) double rows[64];
    int live_rows[8];
    int row_count = 0;
    for (int v = 0; v < 8; ++v) {
        const int* c = coefficients + v * 8;
        int live[8];
        int count = 0;
        for (int u = 0; u < 8; ++u) {
            if (c[u] != 0)
                live[count++] = u;
        }
        if (count == 0)
            continue;
        live_rows[row_count++] = v;
        __m128d s[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
        for (int i = 0; i < count; ++i) {
            const int u = live[i];
            const __m128d coefficient = _mm_set1_pd(static_cast<double>(c[u]));
            for (int x = 0; x < 4; ++x)
                s[x] = _mm_add_pd(s[x], _mm_mul_pd(_mm_load_pd(&b.by_u[u][2 * x]), coefficient));
        }
        for (int x = 0; x < 4; ++x)
            _mm_store_pd(&rows[v * 8 + 2 * x], s[x]);
    }
    for (int y = 0; y < 8; ++y) {
        __m128d s[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
        for (int i = 0; i < row_count; ++i) {
            const int v = live_rows[i];
            const __m128d weight = _mm_set1_pd(b.basis[y][v]);
            for (int x = 0; x < 4; ++x)
                s[x] = _mm_add_pd(s[x], _mm_mul_pd(weight, _mm_load_pd(&rows[v * 8 + 2 * x])));
        }
        alignas(16) double sums[8];
        for (int x = 0; x < 4; ++x)
            _mm_store_pd(&sums[2 * x], s[x]);
        for (int x = 0; x < 8; ++x) {
            // floor(s + 0.5) without the library call: truncation toward
            // zero, one down for a negative fraction.
            const double t = sums[x] + 0.5;
            int rounded = static_cast<int>(t);
            if (t < rounded)
                --rounded;
            samples[y * 8 + x] = ClampSample(rounded);
        }
    }
}

namespace {

// The conversion itself, inlined into the macroblock loops.
inline __attribute__((always_inline)) Rgb ToRgb(int y, int cb, int cr)
{
    // ITU-R BT.601 with studio swing (Y 16..235, Cb and Cr 16..240 about
    // 128), coefficients in 8-bit fixed point.
    const int c = y - 16;
    const int d = cb - 128;
    const int e = cr - 128;
    return {ClampSample((298 * c + 409 * e + 128) >> 8), ClampSample((298 * c - 100 * d - 208 * e + 128) >> 8),
            ClampSample((298 * c + 516 * d + 128) >> 8)};
}

}  // namespace

Rgb YCbCrToRgb(int y, int cb, int cr)
{
    return ToRgb(y, cb, cr);
}

namespace {

// ToRgb for eight pixels of a row in 16-bit lanes, already clamped to
// 0..255: `luma` points at their eight Y samples, `cb` and `cr` at the four
// chroma samples they share in pairs.  The sums are the same integers as
// ToRgb's, each made by one multiply-add of two products.
struct Rgb8 {
    __m128i r, g, b;
};

inline __attribute__((always_inline)) Rgb8 ToRgb8(const u8* luma, const u8* cb, const u8* cr)
{
    const __m128i zero = _mm_setzero_si128();
    auto four = [](const u8* p) {
        u32 v;
        std::memcpy(&v, p, 4);
        return _mm_cvtsi32_si128(static_cast<int>(v));
    };
    const __m128i y8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma));
    const __m128i c = _mm_sub_epi16(_mm_unpacklo_epi8(y8, zero), _mm_set1_epi16(16));
    const __m128i cb4 = four(cb);
    const __m128i cr4 = four(cr);
    const __m128i d = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(cb4, cb4), zero), _mm_set1_epi16(128));
    const __m128i e = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(cr4, cr4), zero), _mm_set1_epi16(128));
    const __m128i one = _mm_set1_epi16(1);
    const __m128i round = _mm_set1_epi32(128);
    // Pairs of 16-bit factors for the interleaved (c, e), (c, d) and (e, 1).
    auto pair = [](short a, short b) { return _mm_setr_epi16(a, b, a, b, a, b, a, b); };
    const __m128i k_r = pair(298, 409);
    const __m128i k_gcd = pair(298, -100);
    const __m128i k_ge = pair(-208, 128);
    const __m128i k_b = pair(298, 516);
    auto channel = [](__m128i lo, __m128i hi) {
        const __m128i v = _mm_packs_epi32(_mm_srai_epi32(lo, 8), _mm_srai_epi32(hi, 8));
        return _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(255));
    };
    const __m128i ce_lo = _mm_unpacklo_epi16(c, e), ce_hi = _mm_unpackhi_epi16(c, e);
    const __m128i cd_lo = _mm_unpacklo_epi16(c, d), cd_hi = _mm_unpackhi_epi16(c, d);
    const __m128i e1_lo = _mm_unpacklo_epi16(e, one), e1_hi = _mm_unpackhi_epi16(e, one);
    Rgb8 out;
    out.r = channel(_mm_add_epi32(_mm_madd_epi16(ce_lo, k_r), round), _mm_add_epi32(_mm_madd_epi16(ce_hi, k_r), round));
    out.g = channel(_mm_add_epi32(_mm_madd_epi16(cd_lo, k_gcd), _mm_madd_epi16(e1_lo, k_ge)),
                    _mm_add_epi32(_mm_madd_epi16(cd_hi, k_gcd), _mm_madd_epi16(e1_hi, k_ge)));
    out.b = channel(_mm_add_epi32(_mm_madd_epi16(cd_lo, k_b), round), _mm_add_epi32(_mm_madd_epi16(cd_hi, k_b), round));
    return out;
}

}  // namespace

void ConvertRgb32(const MacroblockSamples& mb, u8* out)
{
    const __m128i alpha = _mm_set1_epi16(static_cast<short>(0x80 << 8));
    for (int y = 0; y < 16; ++y) {
        for (int half = 0; half < 2; ++half) {
            const int ci = (y >> 1) * 8 + half * 4;
            const Rgb8 p = ToRgb8(mb.y + y * 16 + half * 8, mb.cb + ci, mb.cr + ci);
            const __m128i rg = _mm_or_si128(p.r, _mm_slli_epi16(p.g, 8));
            const __m128i ba = _mm_or_si128(p.b, alpha);
            u8* o = out + (y * 16 + half * 8) * 4;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi16(rg, ba));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), _mm_unpackhi_epi16(rg, ba));
        }
    }
}

void ConvertRgb16(const MacroblockSamples& mb, bool dither, u8* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi16(255);
    const __m128i opaque = _mm_set1_epi16(static_cast<short>(0x8000));
    for (int y = 0; y < 16; ++y) {
        const int* row = kDither[y & 3];
        const __m128i d = dither ? _mm_setr_epi16(static_cast<short>(row[0]), static_cast<short>(row[1]),
                                                  static_cast<short>(row[2]), static_cast<short>(row[3]),
                                                  static_cast<short>(row[0]), static_cast<short>(row[1]),
                                                  static_cast<short>(row[2]), static_cast<short>(row[3]))
                                 : zero;
        auto five = [&](__m128i c) {
            return _mm_srli_epi16(_mm_min_epi16(_mm_max_epi16(_mm_add_epi16(c, d), zero), top), 3);
        };
        for (int half = 0; half < 2; ++half) {
            const int ci = (y >> 1) * 8 + half * 4;
            const Rgb8 p = ToRgb8(mb.y + y * 16 + half * 8, mb.cb + ci, mb.cr + ci);
            const __m128i v = _mm_or_si128(_mm_or_si128(five(p.r), _mm_slli_epi16(five(p.g), 5)),
                                           _mm_or_si128(_mm_slli_epi16(five(p.b), 10), opaque));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (y * 16 + half * 8) * 2), v);
        }
    }
}

}  // namespace console::ipu
