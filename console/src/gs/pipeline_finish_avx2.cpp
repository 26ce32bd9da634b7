// The finish of a triangle's batch from a decoded texture with 256-bit
// vectors (pipeline_finish.h).
#include "gs/pipeline_finish.h"

namespace console::gs::pipeline {

namespace {

// BilinearFour of pixels k and k + 4 of a group of eight (in the low and
// the high half) from their texel quads, with wu = (16 - fu) x 0x00010001 +
// fu x 0x01000100 and wv = (16 - fv) + fv x 0x10000 in each pixel's 32-bit
// lane: first each row's channel weighted across, a x (16 - fu) + b x fu
// (one multiply-add of unsigned texel bytes by signed weight bytes, at most
// 255 x 16, never saturating; the upper and the lower row of a channel made
// neighbours), then the two rows' sums h0 x (16 - fv) + h1 x fv, a 16-bit
// multiply-add.  The sum of the four products, at most 255 x 256, comes out
// in each pixel's four 32-bit lanes, its channels in order.
template <int k>
GS_AVX2 __m256i BilinearPairs(const u32* texels, const volatile u32* o, __m256i wu, __m256i wv)
{
    const __m256i rows_bytes =
        _mm256_setr_epi8(0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15, 0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14,
                         3, 11, 7, 15);
    constexpr int kLane = k * 0x55;
    const __m256i rows = _mm256_maddubs_epi16(_mm256_shuffle_epi8(TexelQuads(texels, o, k), rows_bytes),
                                              _mm256_shuffle_epi32(wu, kLane));
    return _mm256_madd_epi16(rows, _mm256_shuffle_epi32(wv, kLane));
}

// BilinearFour of eight pixels from their texel quads at offsets o, with wu
// and wv as BilinearPairs takes them: the channels are left in 16-bit lanes
// (at most 255), pixels 0, 1 | 4, 5 in c01 and 2, 3 | 6, 7 in c23, as
// unpacklo_epi8 and unpackhi_epi8 would widen the packed samples.
GS_AVX2 void BilinearQuadsEight(const u32* texels, const volatile u32* o, __m256i wu, __m256i wv, __m256i& c01,
                                __m256i& c23)
{
    c01 = _mm256_srli_epi16(_mm256_packus_epi32(BilinearPairs<0>(texels, o, wu, wv), BilinearPairs<1>(texels, o, wu, wv)),
                            8);
    c23 = _mm256_srli_epi16(_mm256_packus_epi32(BilinearPairs<2>(texels, o, wu, wv), BilinearPairs<3>(texels, o, wu, wv)),
                            8);
}

// Finish for a decoded texture with 256-bit vectors, eight pixels a step:
// SampleDecodedSpan's columns, rows, weights and texel quads, BilinearFour's
// sums, and CombineFour lane for lane (every step keeps to the 128-bit
// halves, pixels 0-3 in the low one and 4-7 in the high one).
template <bool kRepeat, u32 kTfx, bool kTcc, bool kFog>
__attribute__((target("avx2"))) void FinishDecodedAvx2(const ShadeContext& sc, TriangleBatch& b)
{
    const DecodedTexture& d = *sc.tex->decoded;
    const int n = b.count;
    // Lanes past the last pixel sample at coordinate 0, inside the texture.
    ZeroTail(reinterpret_cast<u32*>(b.us), n);
    ZeroTail(reinterpret_cast<u32*>(b.vs), n);
    const int quads = (n + 3) & ~3;
    if (quads & 4) {
        _mm_store_si128(reinterpret_cast<__m128i*>(b.us + quads), _mm_setzero_si128());
        _mm_store_si128(reinterpret_cast<__m128i*>(b.vs + quads), _mm_setzero_si128());
    }
    const __m128i level = _mm_cvtsi32_si128(static_cast<int>(d.level));
    const __m256i eight = _mm256_set1_epi32(8), fifteen = _mm256_set1_epi32(15);
    const __m256i addu = _mm256_set1_epi32(d.u.add), andu = _mm256_set1_epi32(d.u.andm), plusu = _mm256_set1_epi32(d.u.plus);
    const __m256i addv = _mm256_set1_epi32(d.v.add), andv = _mm256_set1_epi32(d.v.andm), plusv = _mm256_set1_epi32(d.v.plus);
    const __m256i hiu = _mm256_set1_epi32(d.u.hi), hiv = _mm256_set1_epi32(d.v.hi), zero = _mm256_setzero_si256();
    const __m256i stride = _mm256_set1_epi32(static_cast<int>(d.stride));
    const __m256i fogcol16 = _mm256_broadcastsi128_si256(_mm_unpacklo_epi64(sc.fogcol16, sc.fogcol16));
    const u32* const texels = d.texels.data();
    const __m256i sixteen = _mm256_set1_epi32(16), sixteens = _mm256_set1_epi32(0x00100010);
    const __m256i across = _mm256_set1_epi32(0x00FF00FF), down = _mm256_set1_epi32(0xFFFF);
    // First the texel offsets and weights of the whole batch, then the
    // filter and the texture function.  (Asking for each group's texel
    // lines ahead, two prefetches a group, measured slower with the quads
    // in one row of pairs.)
    alignas(32) u32 offsets[kBatch + 8];
    alignas(32) u32 weights_u[kBatch + 8];
    alignas(32) u32 weights_v[kBatch + 8];
    for (int i = 0; i < n; i += 8) {
        const __m256i u = _mm256_sub_epi32(_mm256_sra_epi32(Load8(b.us + i), level), eight);
        const __m256i v = _mm256_sub_epi32(_mm256_sra_epi32(Load8(b.vs + i), level), eight);
        __m256i cu, cv;
        if constexpr (kRepeat) {
            cu = _mm256_add_epi32(_mm256_and_si256(_mm256_srai_epi32(u, 4), andu), plusu);
            cv = _mm256_add_epi32(_mm256_and_si256(_mm256_srai_epi32(v, 4), andv), plusv);
        } else {
            cu = _mm256_max_epi32(
                _mm256_min_epi32(_mm256_add_epi32(_mm256_and_si256(_mm256_add_epi32(_mm256_srai_epi32(u, 4), addu), andu), plusu), hiu),
                zero);
            cv = _mm256_max_epi32(
                _mm256_min_epi32(_mm256_add_epi32(_mm256_and_si256(_mm256_add_epi32(_mm256_srai_epi32(v, 4), addv), andv), plusv), hiv),
                zero);
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(offsets + i), _mm256_add_epi32(_mm256_madd_epi16(cv, stride), cu));
        // The weights as BilinearPairs takes them: 16 - f + f x 255 in
        // both 16-bit halves, and 16 - f + f x 0x10000.
        _mm256_store_si256(reinterpret_cast<__m256i*>(weights_u + i),
                           _mm256_add_epi32(_mm256_mullo_epi32(_mm256_and_si256(u, fifteen), across), sixteens));
        _mm256_store_si256(reinterpret_cast<__m256i*>(weights_v + i),
                           _mm256_add_epi32(_mm256_mullo_epi32(_mm256_and_si256(v, fifteen), down), sixteen));
    }
    for (int i = 0; i < n; i += 8) {
        __m256i t01, t23;
        BilinearQuadsEight(texels, offsets + i, Load8(weights_u + i), Load8(weights_v + i), t01, t23);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.colors + i),
                            CombineEight<kTfx, kTcc, kFog>(Load8(b.frag + i), t01, t23, Load8(b.fogs + i), fogcol16));
    }
}

struct DecodedFinishesAvx2 {
    template <bool kRepeat, u32 kTfx, bool kTcc, bool kFog>
    static constexpr TriangleFinishFn kFinish = &FinishDecodedAvx2<kRepeat, kTfx, kTcc, kFog>;
};

}  // namespace

TriangleFinishFn PickDecodedFinishAvx2(bool repeat, u32 tfx, bool tcc, bool fog)
{
    return PickDecodedFinish<DecodedFinishesAvx2>(repeat, tfx, tcc, fog);
}

}  // namespace console::gs::pipeline
