// Finishing stage of the specialised pipelines: the texture function and
// fog on packed RGBA8 colours, one, four (SSE2), eight (AVX2) or sixteen
// (AVX-512, in pipeline_finish_avx512.cpp) at a time, and the finish of a
// triangle's batch of pixels: their texels sampled and their colours made.
// In 16-bit lanes; the saturating pack is the reference's min(255, ...).
#pragma once

#include "gs/pipeline_sample.h"

namespace console::gs::pipeline {

inline __m128i Widen(u32 c)
{
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(c)), _mm_setzero_si128());
}

inline u32 Narrow(__m128i v)
{
    return static_cast<u32>(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
}

template <u32 kTfx, bool kTcc>
inline u32 TextureFunction(u32 f, u32 t)
{
    const u32 fa = f >> 24, ta = t >> 24;
    if constexpr (kTfx == 1) {  // DECAL
        return (t & 0xFFFFFF) | ((kTcc ? ta : fa) << 24);
    } else {
        __m128i m = _mm_srli_epi16(_mm_mullo_epi16(Widen(f), Widen(t)), 7);
        if constexpr (kTfx == 0) {  // MODULATE
            const u32 c = Narrow(m);
            return kTcc ? c : ((c & 0xFFFFFF) | (fa << 24));
        } else {  // HIGHLIGHT, HIGHLIGHT2
            m = _mm_add_epi16(m, _mm_set1_epi16(static_cast<s16>(fa)));
            const u32 rgb = Narrow(m) & 0xFFFFFF;
            u32 a = fa;
            if constexpr (kTcc)
                a = kTfx == 2 ? std::min(255u, ta + fa) : ta;
            return rgb | (a << 24);
        }
    }
}

// FGE: (F x C + (255 - F) x FOGCOL) >> 8 per colour channel; alpha kept.
inline u32 Fog(u32 c, u32 f, __m128i fogcol16)
{
    const s16 fi = static_cast<s16>(f & 0xFF);
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(Widen(c), _mm_set1_epi16(fi)),
                                    _mm_mullo_epi16(fogcol16, _mm_set1_epi16(static_cast<s16>(255 - fi))));
    return (Narrow(_mm_srli_epi16(v, 8)) & 0xFFFFFF) | (c & 0xFF000000u);
}

// A byte per pixel (bits 0-7 of each 32-bit lane) spread over the 16-bit
// lanes of that pixel's channels: pixels 0 and 1 in `lo`, 2 and 3 in `hi`.
inline void SpreadFour(__m128i v, __m128i& lo, __m128i& hi)
{
    const __m128i p = _mm_packs_epi32(v, v);
    const __m128i w = _mm_unpacklo_epi16(p, p);
    lo = _mm_unpacklo_epi32(w, w);
    hi = _mm_unpackhi_epi32(w, w);
}

// TextureFunction and Fog for four pixels: fragment colours `f`, texels `t`,
// fog values `fog` (0..255 in 32-bit lanes).  The same 16-bit products,
// sums and saturating packs as the one-pixel forms.
template <bool kTex, u32 kTfx, bool kTcc, bool kFog>
__attribute__((always_inline)) inline __m128i CombineFour(__m128i f, __m128i t, __m128i fog, __m128i fogcol16)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    __m128i c = f;
    if constexpr (kTex) {
        if constexpr (kTfx == 1) {  // DECAL
            c = _mm_or_si128(_mm_andnot_si128(alpha, t), _mm_and_si128(alpha, kTcc ? t : f));
        } else {
            __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(f, zero), _mm_unpacklo_epi8(t, zero)), 7);
            __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(f, zero), _mm_unpackhi_epi8(t, zero)), 7);
            if constexpr (kTfx == 0) {  // MODULATE
                c = _mm_packus_epi16(lo, hi);
                if constexpr (!kTcc)
                    c = _mm_or_si128(_mm_andnot_si128(alpha, c), _mm_and_si128(alpha, f));
            } else {  // HIGHLIGHT, HIGHLIGHT2
                __m128i fa_lo, fa_hi;
                SpreadFour(_mm_srli_epi32(f, 24), fa_lo, fa_hi);
                lo = _mm_add_epi16(lo, fa_lo);
                hi = _mm_add_epi16(hi, fa_hi);
                const __m128i a = !kTcc ? f : kTfx == 2 ? _mm_adds_epu8(t, f) : t;
                c = _mm_or_si128(_mm_andnot_si128(alpha, _mm_packus_epi16(lo, hi)), _mm_and_si128(alpha, a));
            }
        }
    }
    if constexpr (kFog) {
        __m128i f_lo, f_hi;
        SpreadFour(fog, f_lo, f_hi);
        const __m128i full = _mm_set1_epi16(255);
        fogcol16 = _mm_unpacklo_epi64(fogcol16, fogcol16);
        const __m128i lo = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(c, zero), f_lo),
                          _mm_mullo_epi16(fogcol16, _mm_sub_epi16(full, f_lo))), 8);
        const __m128i hi = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(c, zero), f_hi),
                          _mm_mullo_epi16(fogcol16, _mm_sub_epi16(full, f_hi))), 8);
        c = _mm_or_si128(_mm_andnot_si128(alpha, _mm_packus_epi16(lo, hi)), _mm_and_si128(alpha, c));
    }
    return c;
}

// The colour of a fragment with texel `t` (already sampled) or without one.
template <bool kTex, u32 kTfx, bool kTcc, bool kFog>
inline u32 Combine(u32 f, u32 t, u32 fog, __m128i fogcol16)
{
    u32 c = f;
    if constexpr (kTex)
        c = TextureFunction<kTfx, kTcc>(f, t);
    if constexpr (kFog)
        c = Fog(c, fog, fogcol16);
    return c;
}

// Shading context common to sprites and triangles.
struct ShadeContext {
    const Texturing* tex;
    const PrimitiveSampler* sampler;  // the general sampler, when not direct
    __m128i fogcol16;
};

template <int kClass, bool kBilinear, bool kDirect>
__attribute__((always_inline)) inline u32 Sample(const ShadeContext& sc, s32 u16, s32 v16)
{
    if constexpr (kDirect) {
        return SampleFast<kClass, kBilinear>(sc.tex->level, sc.tex->expand, u16, v16);
    } else {
        return PackColor(sc.sampler->Sample(sc.tex->lod, u16, v16));
    }
}

// Pixels of several short rows shaded together: the row pieces are packed
// one after another, so that sampling and the texture function run over
// whole quads of the batch rather than a partial quad at the end of every
// row.  The arrays leave room for the lanes of a last partial quad.  Three
// chunks: a triangle of up to 192 pixels is one batch, finished and written
// with one call each.
constexpr int kBatch = 3 * kChunk;

struct TriangleBatch {
    alignas(16) u32 frag[kBatch + 4];
    alignas(16) s32 us[kBatch + 4];
    alignas(16) s32 vs[kBatch + 4];
    alignas(16) u32 fogs[kBatch + 4];
    // Depths and colours have four entries of room before the first too:
    // the writing stage reads whole quads of the frame's columns.
    alignas(16) u32 depth_room[4 + kBatch + 4];
    alignas(16) u32 color_room[4 + kBatch + 4];
    u32* const depths = depth_room + 4;
    u32* const colors = color_room + 4;
    int count = 0;
};

// A triangle's shading after its rows have appended their pixels' colours,
// depths, fog and texture coordinates to a batch (TrianglePiece, at most
// kChunk pixels at a time): Finish makes the batch's colours.
using TriangleFinishFn = void (*)(const ShadeContext&, TriangleBatch&);
struct TriangleShadeFns {
    TriangleFinishFn finish;
};

// The finish of a triangle's batch for a state: Gouraud or flat, its
// texture coordinates (TexCoords), texture reads, function and fog.
TriangleShadeFns PickTriangleShade(bool gouraud, int coords, const Texturing& t, u32 tfx, bool tcc, bool fog);

// The finishes of a decoded texture with 256- and 512-bit vectors, `repeat`
// when both axes REPEAT (pipeline_finish_avx2.cpp, _avx512.cpp).
TriangleFinishFn PickDecodedFinishAvx2(bool repeat, u32 tfx, bool tcc, bool fog);
TriangleFinishFn PickDecodedFinishAvx512(bool repeat, u32 tfx, bool tcc, bool fog);

// SpreadEight: each pixel's value (below 2^15) in the four 16-bit lanes of
// its channels, pixels 0, 1 | 4, 5 in lo and 2, 3 | 6, 7 in hi, the layout
// of the 8-bit channels widened with unpacklo/unpackhi_epi8.
GS_AVX2 void SpreadEight(__m256i v, __m256i& lo, __m256i& hi)
{
    const __m256i words01 = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5, 0, 1, 0, 1, 0, 1, 0, 1, 4,
                                             5, 4, 5, 4, 5, 4, 5);
    const __m256i words23 = _mm256_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13, 8, 9, 8, 9, 8, 9,
                                             8, 9, 12, 13, 12, 13, 12, 13, 12, 13);
    lo = _mm256_shuffle_epi8(v, words01);
    hi = _mm256_shuffle_epi8(v, words23);
}

// CombineFour of eight pixels whose texels' channels come widened to 16-bit
// lanes as unpacklo_epi8 (t_lo) and unpackhi_epi8 (t_hi) widen them: the
// texture function multiplies them as they are; DECAL and the alpha of the
// highlights take them packed.
template <u32 kTfx, bool kTcc, bool kFog>
GS_AVX2 __m256i CombineEight(__m256i f, __m256i t_lo, __m256i t_hi, __m256i fog, __m256i fogcol16)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    __m256i c;
    if constexpr (kTfx == 1) {  // DECAL
        const __m256i t = _mm256_packus_epi16(t_lo, t_hi);
        c = _mm256_or_si256(_mm256_andnot_si256(alpha, t), _mm256_and_si256(alpha, kTcc ? t : f));
    } else {
        __m256i lo = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(f, zero), t_lo), 7);
        __m256i hi = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(f, zero), t_hi), 7);
        if constexpr (kTfx == 0) {  // MODULATE
            c = _mm256_packus_epi16(lo, hi);
            if constexpr (!kTcc)
                c = _mm256_or_si256(_mm256_andnot_si256(alpha, c), _mm256_and_si256(alpha, f));
        } else {  // HIGHLIGHT, HIGHLIGHT2
            __m256i fa_lo, fa_hi;
            SpreadEight(_mm256_srli_epi32(f, 24), fa_lo, fa_hi);
            lo = _mm256_add_epi16(lo, fa_lo);
            hi = _mm256_add_epi16(hi, fa_hi);
            const __m256i t = _mm256_packus_epi16(t_lo, t_hi);
            const __m256i a = !kTcc ? f : kTfx == 2 ? _mm256_adds_epu8(t, f) : t;
            c = _mm256_or_si256(_mm256_andnot_si256(alpha, _mm256_packus_epi16(lo, hi)), _mm256_and_si256(alpha, a));
        }
    }
    if constexpr (kFog) {
        __m256i f_lo, f_hi;
        SpreadEight(fog, f_lo, f_hi);
        const __m256i full = _mm256_set1_epi16(255);
        const __m256i lo = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(c, zero), f_lo),
                             _mm256_mullo_epi16(fogcol16, _mm256_sub_epi16(full, f_lo))), 8);
        const __m256i hi = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(c, zero), f_hi),
                             _mm256_mullo_epi16(fogcol16, _mm256_sub_epi16(full, f_hi))), 8);
        c = _mm256_or_si256(_mm256_andnot_si256(alpha, _mm256_packus_epi16(lo, hi)), _mm256_and_si256(alpha, c));
    }
    return c;
}

// CombineEight of texels given packed, as a sprite row reads them.
template <u32 kTfx, bool kTcc, bool kFog>
GS_AVX2 __m256i CombineEight(__m256i f, __m256i t, __m256i fog, __m256i fogcol16)
{
    const __m256i zero = _mm256_setzero_si256();
    return CombineEight<kTfx, kTcc, kFog>(f, _mm256_unpacklo_epi8(t, zero), _mm256_unpackhi_epi8(t, zero), fog,
                                          fogcol16);
}

// The finishes of a decoded texture, FinishFns::kFinish<kRepeat, kTfx, kTcc,
// kFog>, and the one a state takes.
template <class FinishFns, bool kRepeat, u32 kTfx, bool kTcc>
TriangleFinishFn PickDecodedFinish(bool fog)
{
    return fog ? FinishFns::template kFinish<kRepeat, kTfx, kTcc, true>
               : FinishFns::template kFinish<kRepeat, kTfx, kTcc, false>;
}

template <class FinishFns, bool kRepeat>
TriangleFinishFn PickDecodedFinish(u32 tfx, bool tcc, bool fog)
{
    switch ((tfx & 3) * 2 + tcc) {
    case 0: return PickDecodedFinish<FinishFns, kRepeat, 0, false>(fog);
    case 1: return PickDecodedFinish<FinishFns, kRepeat, 0, true>(fog);
    case 2: return PickDecodedFinish<FinishFns, kRepeat, 1, false>(fog);
    case 3: return PickDecodedFinish<FinishFns, kRepeat, 1, true>(fog);
    case 4: return PickDecodedFinish<FinishFns, kRepeat, 2, false>(fog);
    case 5: return PickDecodedFinish<FinishFns, kRepeat, 2, true>(fog);
    case 6: return PickDecodedFinish<FinishFns, kRepeat, 3, false>(fog);
    default: return PickDecodedFinish<FinishFns, kRepeat, 3, true>(fog);
    }
}

// The same with `repeat` (both axes REPEAT) given at run time.
template <class FinishFns>
TriangleFinishFn PickDecodedFinish(bool repeat, u32 tfx, bool tcc, bool fog)
{
    return repeat ? PickDecodedFinish<FinishFns, true>(tfx, tcc, fog) : PickDecodedFinish<FinishFns, false>(tfx, tcc, fog);
}

// FOGCOL in 16-bit lanes, as Fog and CombineFour take it.
inline __m128i FogColor16(u32 fogcol)
{
    return Widen(fogcol & 0xFFFFFF);
}

}  // namespace console::gs::pipeline
