// The finish of a triangle's batch from a decoded texture with 512-bit
// vectors (pipeline_finish.h).
#include "gs/pipeline_finish.h"

namespace console::gs::pipeline {

namespace {

// FinishDecodedAvx2 with 512-bit vectors, sixteen pixels a step: the same
// lane-for-lane steps with pixels 4j .. 4j + 3 in 128-bit lane j (the
// 256-bit layout twice over).  SpreadSixteen, CombineSixteen and
// BilinearPairsSixteen are SpreadEight, CombineEight and BilinearPairs so
// widened.
GS_AVX512 void SpreadSixteen(__m512i v, __m512i& lo, __m512i& hi)
{
    const __m512i words01 = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5));
    const __m512i words23 = _mm512_broadcast_i32x4(_mm_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13));
    lo = _mm512_shuffle_epi8(v, words01);
    hi = _mm512_shuffle_epi8(v, words23);
}

template <u32 kTfx, bool kTcc, bool kFog>
GS_AVX512 __m512i CombineSixteen(__m512i f, __m512i t_lo, __m512i t_hi, __m512i fog, __m512i fogcol16)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    __m512i c;
    if constexpr (kTfx == 1) {  // DECAL
        const __m512i t = _mm512_packus_epi16(t_lo, t_hi);
        c = _mm512_ternarylogic_epi32(alpha, t, kTcc ? t : f, 0xAC);
    } else {
        __m512i lo = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_unpacklo_epi8(f, zero), t_lo), 7);
        __m512i hi = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_unpackhi_epi8(f, zero), t_hi), 7);
        if constexpr (kTfx == 0) {  // MODULATE
            c = _mm512_packus_epi16(lo, hi);
            if constexpr (!kTcc)
                c = _mm512_ternarylogic_epi32(alpha, c, f, 0xAC);
        } else {  // HIGHLIGHT, HIGHLIGHT2
            __m512i fa_lo, fa_hi;
            SpreadSixteen(_mm512_srli_epi32(f, 24), fa_lo, fa_hi);
            lo = _mm512_add_epi16(lo, fa_lo);
            hi = _mm512_add_epi16(hi, fa_hi);
            const __m512i t = _mm512_packus_epi16(t_lo, t_hi);
            const __m512i a = !kTcc ? f : kTfx == 2 ? _mm512_adds_epu8(t, f) : t;
            c = _mm512_ternarylogic_epi32(alpha, _mm512_packus_epi16(lo, hi), a, 0xAC);
        }
    }
    if constexpr (kFog) {
        __m512i f_lo, f_hi;
        SpreadSixteen(fog, f_lo, f_hi);
        const __m512i full = _mm512_set1_epi16(255);
        const __m512i lo = _mm512_srli_epi16(
            _mm512_add_epi16(_mm512_mullo_epi16(_mm512_unpacklo_epi8(c, zero), f_lo),
                             _mm512_mullo_epi16(fogcol16, _mm512_sub_epi16(full, f_lo))), 8);
        const __m512i hi = _mm512_srli_epi16(
            _mm512_add_epi16(_mm512_mullo_epi16(_mm512_unpackhi_epi8(c, zero), f_hi),
                             _mm512_mullo_epi16(fogcol16, _mm512_sub_epi16(full, f_hi))), 8);
        c = _mm512_ternarylogic_epi32(alpha, _mm512_packus_epi16(lo, hi), c, 0xAC);
    }
    return c;
}

GS_AVX512 __m512i Load16(const void* p)
{
    return _mm512_loadu_si512(p);
}

// A 16-byte pattern four times over, as a 512-bit operand read from memory
// (made from a 128-bit one in a register it costs a shuffle where used).
struct alignas(64) LanePattern {
    s8 b[64];
};

constexpr LanePattern RepeatLanes(const s8 (&p)[16])
{
    LanePattern r{};
    for (int i = 0; i < 64; ++i)
        r.b[i] = p[i % 16];
    return r;
}

// BilinearPairs' byte order of a texel quad, and the shuffles spreading
// pixel k's weights (see BilinearPairsSixteen).
constexpr LanePattern kRowsBytes = RepeatLanes({0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15});

template <int k>
constexpr LanePattern kAcrossBytes = RepeatLanes({4 * k, 4 * k + 1, 4 * k, 4 * k + 1, 4 * k, 4 * k + 1, 4 * k, 4 * k + 1,
                                                  4 * k, 4 * k + 1, 4 * k, 4 * k + 1, 4 * k, 4 * k + 1, 4 * k, 4 * k + 1});
template <int k>
constexpr LanePattern kDownBytes = RepeatLanes({4 * k + 2, -128, 4 * k + 3, -128, 4 * k + 2, -128, 4 * k + 3, -128,
                                                4 * k + 2, -128, 4 * k + 3, -128, 4 * k + 2, -128, 4 * k + 3, -128});

GS_AVX512 __m512i Pattern(const LanePattern& p)
{
    return _mm512_load_si512(p.b);
}

// Pixels k, k + 4, k + 8 and k + 12 of a group of sixteen, whose weights
// come in one 32-bit lane each: bytes 16 - fu, fu, 16 - fv, fv, spread by
// byte shuffles into the forms BilinearPairs takes (16 - fu, fu in every
// pair of bytes; 16 - fv, fv in every pair of 16-bit lanes).
template <int k>
GS_AVX512 __m512i BilinearPairsSixteen(const u32* texels, const volatile u32* o, __m512i w)
{
    const __m512i quads = _mm512_inserti64x4(_mm512_castsi256_si512(TexelQuads(texels, o, k)), TexelQuads(texels, o + 8, k), 1);
    const __m512i rows =
        _mm512_maddubs_epi16(_mm512_shuffle_epi8(quads, Pattern(kRowsBytes)), _mm512_shuffle_epi8(w, Pattern(kAcrossBytes<k>)));
    return _mm512_madd_epi16(rows, _mm512_shuffle_epi8(w, Pattern(kDownBytes<k>)));
}

template <bool kRepeat, u32 kTfx, bool kTcc, bool kFog>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) void FinishDecodedAvx512(const ShadeContext& sc,
                                                                                        TriangleBatch& b)
{
    const DecodedTexture& d = *sc.tex->decoded;
    const int n = b.count;
    const __m128i level = _mm_cvtsi32_si128(static_cast<int>(d.level));
    const __m512i eight = _mm512_set1_epi32(8), fifteens = _mm512_set1_epi32(0x000F000F);
    const __m512i addu = _mm512_set1_epi32(d.u.add), andu = _mm512_set1_epi32(d.u.andm), plusu = _mm512_set1_epi32(d.u.plus);
    const __m512i addv = _mm512_set1_epi32(d.v.add), andv = _mm512_set1_epi32(d.v.andm), plusv = _mm512_set1_epi32(d.v.plus);
    const __m512i hiu = _mm512_set1_epi32(d.u.hi), hiv = _mm512_set1_epi32(d.v.hi), zero = _mm512_setzero_si512();
    const __m512i stride = _mm512_set1_epi32(static_cast<int>(d.stride));
    const __m512i fogcol16 = _mm512_broadcast_i32x4(_mm_unpacklo_epi64(sc.fogcol16, sc.fogcol16));
    const u32* const texels = d.texels.data();
    const __m512i sixteens = _mm512_set1_epi32(0x00100010), full = _mm512_set1_epi16(255);
    alignas(64) u32 offsets[kBatch + 16];
    alignas(64) u32 weights[kBatch + 16];
    for (int i = 0; i < n; i += 16) {
        // Lanes past the last pixel sample at coordinate 0, inside the
        // texture.
        const __mmask16 in = static_cast<__mmask16>(n - i >= 16 ? 0xFFFFu : (1u << (n - i)) - 1);
        const __m512i u = _mm512_sub_epi32(_mm512_sra_epi32(_mm512_maskz_loadu_epi32(in, b.us + i), level), eight);
        const __m512i v = _mm512_sub_epi32(_mm512_sra_epi32(_mm512_maskz_loadu_epi32(in, b.vs + i), level), eight);
        __m512i cu, cv;
        if constexpr (kRepeat) {
            cu = _mm512_add_epi32(_mm512_and_si512(_mm512_srai_epi32(u, 4), andu), plusu);
            cv = _mm512_add_epi32(_mm512_and_si512(_mm512_srai_epi32(v, 4), andv), plusv);
        } else {
            cu = _mm512_max_epi32(
                _mm512_min_epi32(_mm512_add_epi32(_mm512_and_si512(_mm512_add_epi32(_mm512_srai_epi32(u, 4), addu), andu), plusu), hiu),
                zero);
            cv = _mm512_max_epi32(
                _mm512_min_epi32(_mm512_add_epi32(_mm512_and_si512(_mm512_add_epi32(_mm512_srai_epi32(v, 4), addv), andv), plusv), hiv),
                zero);
        }
        _mm512_store_si512(offsets + i, _mm512_add_epi32(_mm512_madd_epi16(cv, stride), cu));
        // fu in the low and fv in the high 16 bits, times 255 plus 16:
        // bytes 16 - fu, fu, 16 - fv, fv.
        const __m512i f = _mm512_and_si512(_mm512_mask_blend_epi16(0xAAAAAAAAu, u, _mm512_slli_epi32(v, 16)), fifteens);
        _mm512_store_si512(weights + i, _mm512_add_epi32(_mm512_mullo_epi16(f, full), sixteens));
    }
    for (int i = 0; i < n; i += 16) {
        const volatile u32* const o = offsets + i;
        const __m512i w = Load16(weights + i);
        const __m512i t01 = _mm512_srli_epi16(
            _mm512_packus_epi32(BilinearPairsSixteen<0>(texels, o, w), BilinearPairsSixteen<1>(texels, o, w)), 8);
        const __m512i t23 = _mm512_srli_epi16(
            _mm512_packus_epi32(BilinearPairsSixteen<2>(texels, o, w), BilinearPairsSixteen<3>(texels, o, w)), 8);
        _mm512_storeu_si512(b.colors + i, CombineSixteen<kTfx, kTcc, kFog>(Load16(b.frag + i), t01, t23,
                                                                           Load16(b.fogs + i), fogcol16));
    }
}

struct DecodedFinishesAvx512 {
    template <bool kRepeat, u32 kTfx, bool kTcc, bool kFog>
    static constexpr TriangleFinishFn kFinish = &FinishDecodedAvx512<kRepeat, kTfx, kTcc, kFog>;
};

}  // namespace

TriangleFinishFn PickDecodedFinishAvx512(bool repeat, u32 tfx, bool tcc, bool fog)
{
    return PickDecodedFinish<DecodedFinishesAvx512>(repeat, tfx, tcc, fog);
}

}  // namespace console::gs::pipeline
