// The texel rows of sprites: runs, windows and single columns of a texel
// row read as RGBA8, weighted across for the bilinear filter, and a row's
// colours shaded from them, with AVX2 forms beside the SSE2 ones
// (pipeline_sprite.h).
#include "gs/pipeline_sprite.h"

#include <algorithm>

namespace console::gs::pipeline {

namespace {

// The offsets of four columns' texels in a row of a split layout.
__attribute__((always_inline)) inline __m128i ColumnOffsets4(__m128i rbase, __m128i rt, __m128i units,
                                                            const TexLevel::Col* c)
{
    static_assert(sizeof(TexLevel::Col) == 8);
    const __m128 a = _mm_loadu_ps(reinterpret_cast<const float*>(c));
    const __m128 b = _mm_loadu_ps(reinterpret_cast<const float*>(c + 2));
    const __m128i base = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i t = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_and_si128(_mm_add_epi32(_mm_add_epi32(rbase, base), _mm_xor_si128(rt, t)), units);
}

// Column i of a texel row weighted across.
template <int kClass>
void FilterTexelColumn(const TexLevel& l, const TexExpand& e, const TexLevel::Row& r, const SpriteColumns& cols,
                       size_t i, u64* out)
{
    const u32 t0 = ReadTexel<kClass>(l, e, OffsetOf<kClass>(l, r, cols.c0[i]));
    const u32 t1 = ReadTexel<kClass>(l, e, OffsetOf<kClass>(l, r, cols.c1[i]));
    const __m128i t = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t0)), _mm_cvtsi32_si128(static_cast<int>(t1))),
        _mm_setzero_si128());
    const __m128i h = _mm_mullo_epi16(t, cols.wu[i].v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_add_epi16(h, _mm_srli_si128(h, 8)));
}

// One texel row weighted across for every column of a bilinear sprite.
template <int kClass>
void FilterTexelRow(const TexLevel& l, const TexExpand& e, const TexLevel::Row& r, const SpriteColumns& cols,
                    int columns, u64* out)
{
    const __m128i zero = _mm_setzero_si128();
    const size_t n = static_cast<size_t>(columns);
    size_t i = 0;
    if constexpr (kClass != kTexIndexed) {
        // Four columns at a time: their offsets in vectors, the texels read
        // one by one, two columns weighted per register.
        const __m128i rbase = _mm_set1_epi32(static_cast<int>(r.base)), rt = _mm_set1_epi32(static_cast<int>(r.t));
        const __m128i units = _mm_set1_epi32(static_cast<int>(l.units_mask));
        alignas(16) u32 o0[4], o1[4];
        for (; i + 4 <= n; i += 4) {
            _mm_store_si128(reinterpret_cast<__m128i*>(o0), ColumnOffsets4(rbase, rt, units, cols.c0.data() + i));
            _mm_store_si128(reinterpret_cast<__m128i*>(o1), ColumnOffsets4(rbase, rt, units, cols.c1.data() + i));
            for (size_t k = 0; k < 4; k += 2) {
                const __m128i a = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(ReadTexel<kClass>(l, e, o0[k]))),
                                                     _mm_cvtsi32_si128(static_cast<int>(ReadTexel<kClass>(l, e, o1[k]))));
                const __m128i b =
                    _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(ReadTexel<kClass>(l, e, o0[k + 1]))),
                                       _mm_cvtsi32_si128(static_cast<int>(ReadTexel<kClass>(l, e, o1[k + 1]))));
                const __m128i ha = _mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), cols.wu[i + k].v);
                const __m128i hb = _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), cols.wu[i + k + 1].v);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + k),
                                 _mm_add_epi16(_mm_unpacklo_epi64(ha, hb), _mm_unpackhi_epi64(ha, hb)));
            }
        }
    }
    for (; i < n; ++i)
        FilterTexelColumn<kClass>(l, e, r, cols, i, out);
}

// The texels of columns c[0 .. n) of a texel row, RGBA8 (nearest).
template <int kClass>
void ReadColumnTexels(const TexLevel& l, const TexExpand& e, const TexLevel::Row& r, const TexLevel::Col* c, int n,
                      u32* out)
{
    int i = 0;
    if constexpr (kClass != kTexIndexed) {
        const __m128i rbase = _mm_set1_epi32(static_cast<int>(r.base)), rt = _mm_set1_epi32(static_cast<int>(r.t));
        const __m128i units = _mm_set1_epi32(static_cast<int>(l.units_mask));
        alignas(16) u32 o[4];
        for (; i + 4 <= n; i += 4) {
            _mm_store_si128(reinterpret_cast<__m128i*>(o), ColumnOffsets4(rbase, rt, units, c + i));
            for (int k = 0; k < 4; ++k)
                out[i + k] = ReadTexel<kClass>(l, e, o[k]);
        }
    }
    for (; i < n; ++i)
        out[i] = ReadTexel<kClass>(l, e, OffsetOf<kClass>(l, r, c[i]));
}

// ReadTexel<kTex16> of four 16-bit texels, one in the low half of each lane.
inline __m128i ExpandTexels16(__m128i p, const TexExpand& e)
{
    const __m128i r = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x1F)), 3);
    const __m128i g = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x3E0)), 6);
    const __m128i b = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x7C00)), 9);
    const __m128i top = _mm_set1_epi32(0x8000);
    const __m128i set = _mm_cmpeq_epi32(_mm_and_si128(p, top), top);
    const __m128i black = _mm_and_si128(_mm_cmpeq_epi32(_mm_and_si128(p, _mm_set1_epi32(0x7FFF)), _mm_setzero_si128()),
                                        _mm_set1_epi32(e.aem ? -1 : 0));
    const __m128i a = _mm_or_si128(_mm_and_si128(set, _mm_set1_epi32(static_cast<int>(e.ta1 << 24))),
                                   _mm_andnot_si128(_mm_or_si128(set, black), _mm_set1_epi32(static_cast<int>(e.ta0 << 24))));
    return _mm_or_si128(_mm_or_si128(r, g), _mm_or_si128(b, a));
}

// ReadTexel<kTex16> of eight 16-bit texels in 16-bit lanes, stored at
// to[0 .. 7]: R and G of each texel formed in one 16-bit lane, B and A in
// another, then interleaved.
__attribute__((always_inline)) inline void Expand16Eight(__m128i p, const TexExpand& e, u32* to)
{
    const __m128i rg = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(p, _mm_set1_epi16(0x1F)), 3),
                                    _mm_slli_epi16(_mm_and_si128(p, _mm_set1_epi16(0x3E0)), 6));
    const __m128i b = _mm_and_si128(_mm_srli_epi16(p, 7), _mm_set1_epi16(0xF8));
    const __m128i set = _mm_srai_epi16(p, 15);
    const __m128i black = _mm_and_si128(_mm_cmpeq_epi16(_mm_and_si128(p, _mm_set1_epi16(0x7FFF)), _mm_setzero_si128()),
                                        _mm_set1_epi16(e.aem ? -1 : 0));
    const __m128i a = _mm_or_si128(_mm_and_si128(set, _mm_set1_epi16(static_cast<s16>(e.ta1 << 8))),
                                   _mm_andnot_si128(_mm_or_si128(set, black), _mm_set1_epi16(static_cast<s16>(e.ta0 << 8))));
    const __m128i ba = _mm_or_si128(b, a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi16(rg, ba));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4), _mm_unpackhi_epi16(rg, ba));
}

// ReadTexel<kTex24> of four 32-bit words.
inline __m128i ExpandTexels24(__m128i w, const TexExpand& e)
{
    const __m128i rgb = _mm_and_si128(w, _mm_set1_epi32(0xFFFFFF));
    const __m128i black = _mm_and_si128(_mm_cmpeq_epi32(rgb, _mm_setzero_si128()), _mm_set1_epi32(e.aem ? -1 : 0));
    return _mm_or_si128(rgb, _mm_andnot_si128(black, _mm_set1_epi32(static_cast<int>(e.ta0 << 24))));
}

// The texels u0 .. u0 + n - 1 of a texel row, columns that need no wrap, as
// RGBA8 with texel u0 at dest[0].  Quads and halves are read whole, so
// dest[-15] .. dest[n + 14] may be written.
template <int kClass, int kRead>
void ReadTexelRun(const TexLevel& l, const TexExpand& e, const TexLevel::Row& r, u32 u0, int n, u32* dest)
{
    const u32 end = u0 + static_cast<u32>(n);
    if constexpr (kRead != kRunTexels) {
        // Page by page: the page's part of the offset once, then the
        // column table (TexLevel::Offset of each group's first texel).
        // The level's fields in locals: the stores could alias them.
        constexpr u32 kGroup = kRead == kRunHalves ? 16 : 4;
        const u32* const words = l.words;
        const u16* const tx = l.tx;
        const u32 mx = l.mx, px = l.px, shift = l.shift, units = l.units_mask, rt = r.t;
        for (u32 u = u0 & ~(kGroup - 1); u < end;) {
            const u32 page_end = std::min(end, (u | mx) + 1);
            const u32 base = r.base + (((u >> px) * kPageBlocks) << shift);
            for (; u < page_end; u += kGroup) {
                const u32 o = (base + (rt ^ tx[u & mx])) & units;
                u32* const to = dest + static_cast<s32>(u - u0);
                if constexpr (kRead == kRunHalves) {
                    const u32 w = o >> 1;
                    // Each quad's low halves, then its high ones; texels
                    // 0-7 and 8-15 in 16-bit lanes.
                    auto split = [](__m128i q) __attribute__((always_inline)) {
                        q = _mm_shufflehi_epi16(_mm_shufflelo_epi16(q, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
                        return _mm_shuffle_epi32(q, _MM_SHUFFLE(3, 1, 2, 0));
                    };
                    const __m128i a = split(LoadQuad(words, w)), b = split(LoadQuad(words, w + 8));
                    Expand16Eight(_mm_unpacklo_epi64(a, b), e, to);
                    Expand16Eight(_mm_unpackhi_epi64(a, b), e, to + 8);
                } else {
                    __m128i q = LoadQuad(words, o);
                    if constexpr (kClass == kTex24)
                        q = ExpandTexels24(q, e);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), q);
                }
            }
        }
    } else {
        for (u32 u = u0; u < end; ++u)
            dest[u - u0] =
                ReadTexel<kClass>(l, e, OffsetOf<kClass>(l, r, kClass == kTexIndexed ? l.ColInPage(u) : l.ColOf(u)));
    }
}

}  // namespace

// Columns 0 .. n - 1 of a bilinear run whose texels are t[0 .. n] weighted
// across with one weight `wu` (SpriteColumns::Weights), four columns at a
// time: t[n + 1 .. n + 3] are read and out[n .. n + 2] written too.
void WeightRun(const u32* t, int n, __m128i wu, u64* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i w0 = _mm_unpacklo_epi64(wu, wu), w1 = _mm_unpackhi_epi64(wu, wu);
    for (int i = 0; i < n; i += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + 1));
        const __m128i lo =
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), w0), _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), w1));
        const __m128i hi =
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), w0), _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), w1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 2), hi);
    }
}

// WeightRun eight columns at a time: t[n + 1 .. n + 7] are read and
// out[n .. n + 6] written too.
// Each channel's two texels are paired bytes weighted by one multiply-add
// (16 - fu and fu as bytes; the sums are below 2^12, never saturated).
__attribute__((target("avx2"))) void WeightRunAvx2(const u32* t, int n, __m128i wu, u64* out)
{
    const int w0 = _mm_extract_epi16(wu, 0), w1 = _mm_extract_epi16(wu, 4);
    const __m256i w = _mm256_set1_epi16(static_cast<s16>(w0 | (w1 << 8)));
    for (int i = 0; i < n; i += 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + i + 1));
        // Columns 0 1 and 4 5 in `lo`, 2 3 and 6 7 in `hi`.
        const __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), w);
        const __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), w);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 4), _mm256_permute2x128_si256(lo, hi, 0x31));
    }
}

namespace {

template <int kClass>
SpriteReaders ReadersOf(int read)
{
    return {read == kRunHalves  ? ReadTexelRun<kClass, kRunHalves>
            : read == kRunQuads ? ReadTexelRun<kClass, kRunQuads>
                                : ReadTexelRun<kClass, kRunTexels>,
            ReadColumnTexels<kClass>, FilterTexelRow<kClass>, FilterTexelColumn<kClass>};
}

}  // namespace

SpriteReaders PickReaders(int tex_class, int read)
{
    switch (tex_class) {
    case kTex32: return ReadersOf<kTex32>(read == kRunHalves ? kRunTexels : read);
    case kTex24: return ReadersOf<kTex24>(read == kRunHalves ? kRunTexels : read);
    case kTex16: return ReadersOf<kTex16>(read == kRunQuads ? kRunTexels : read);
    default: return ReadersOf<kTexIndexed>(kRunTexels);
    }
}

namespace {

// The texture function and fog of four texels; DECAL taking the texel's
// alpha without fog is the texel itself.
template <u32 kTfx, bool kTcc, bool kFog>
__attribute__((always_inline)) inline __m128i CombineSprite(__m128i f, __m128i t, __m128i fog, __m128i fogcol16)
{
    if constexpr (kTfx == 1 && kTcc && !kFog)
        return t;
    else
        return CombineFour<true, kTfx, kTcc, kFog>(f, t, fog, fogcol16);
}

enum SpriteShadeKind { kSpriteSampled, kSpriteNearest, kSpriteBilinear };

// The colours of columns col0 .. col0 + n - 1 of a row, four pixels at a
// time; `out` has room for n rounded up to a multiple of four, and the row's
// texels or weighted rows are read that far too.  Nearest reads the row's
// texels, bilinear mixes its two weighted texel rows down, sampled ones go
// through the general sampler.
template <int kKind, u32 kTfx, bool kTcc, bool kFog>
void ShadeSpriteRow(const ShadeContext& sc, const SpriteRowArgs& a, s32 col0, int n, u32* out)
{
    const __m128i f = _mm_set1_epi32(static_cast<int>(PackColor(a.s->color)));
    const __m128i fog = _mm_set1_epi32(static_cast<int>(a.fog));
    if constexpr (kKind == kSpriteNearest) {
        const u32* t = a.texels + col0;
        for (int i = 0; i < n; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             CombineSprite<kTfx, kTcc, kFog>(
                                 f, _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i)), fog, sc.fogcol16));
    } else if constexpr (kKind == kSpriteBilinear) {
        const u64* h0 = a.h0 + col0;
        const u64* h1 = a.h1 + col0;
        const __m128i wv0 = a.wv0, wv1 = a.wv1;
        auto mix = [&](int i) __attribute__((always_inline)) {
            const __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + i));
            const __m128i bottom = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + i));
            return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(top, wv0), _mm_mullo_epi16(bottom, wv1)), 8);
        };
        for (int i = 0; i < n; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             CombineSprite<kTfx, kTcc, kFog>(f, _mm_packus_epi16(mix(i), mix(i + 2)), fog,
                                                             sc.fogcol16));
    } else {
        for (int i = 0; i < n; ++i)
            out[i] = PackColor(sc.sampler->Sample(sc.tex->lod, a.u16s[col0 + i], a.v16));
        ZeroTail(out, n);
        for (int i = 0; i < n; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             CombineFour<true, kTfx, kTcc, kFog>(
                                 f, _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + i)), fog, sc.fogcol16));
    }
}

// ShadeSpriteRow of a bilinear sprite eight pixels at a time (the last four
// on their own), the texture function and fog four at a time.
template <u32 kTfx, bool kTcc, bool kFog>
__attribute__((target("avx2"))) void ShadeBilinearRowAvx2(const ShadeContext& sc, const SpriteRowArgs& a, s32 col0,
                                                          int n, u32* out)
{
    const __m128i f = _mm_set1_epi32(static_cast<int>(PackColor(a.s->color)));
    const __m128i fog = _mm_set1_epi32(static_cast<int>(a.fog));
    const u64* h0 = a.h0 + col0;
    const u64* h1 = a.h1 + col0;
    const __m256i wv0 = _mm256_broadcastsi128_si256(a.wv0), wv1 = _mm256_broadcastsi128_si256(a.wv1);
    const auto mix = [=](int i) __attribute__((always_inline, target("avx2"))) {
        const __m256i top = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h0 + i));
        const __m256i bottom = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h1 + i));
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(top, wv0), _mm256_mullo_epi16(bottom, wv1)), 8);
    };
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        // Pixels 0 1 4 5 2 3 6 7 by 64-bit lanes, put in order.
        const __m256i c = _mm256_permute4x64_epi64(_mm256_packus_epi16(mix(i), mix(i + 4)), _MM_SHUFFLE(3, 1, 2, 0));
        if constexpr (kTfx == 1 && kTcc && !kFog) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), c);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             CombineSprite<kTfx, kTcc, kFog>(f, _mm256_castsi256_si128(c), fog, sc.fogcol16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4),
                             CombineSprite<kTfx, kTcc, kFog>(f, _mm256_extracti128_si256(c, 1), fog, sc.fogcol16));
        }
    }
    for (; i < n; i += 4) {
        const __m256i m = mix(i);
        const __m128i c = _mm_packus_epi16(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), CombineSprite<kTfx, kTcc, kFog>(f, c, fog, sc.fogcol16));
    }
}

// ShadeSpriteRow of a nearest sprite eight pixels at a time (the last four
// on their own).
template <u32 kTfx, bool kTcc, bool kFog>
__attribute__((target("avx2"))) void ShadeNearestRowAvx2(const ShadeContext& sc, const SpriteRowArgs& a, s32 col0,
                                                         int n, u32* out)
{
    const u32 rgba = PackColor(a.s->color);
    const __m256i f = _mm256_set1_epi32(static_cast<int>(rgba));
    const __m256i fog = _mm256_set1_epi32(static_cast<int>(a.fog));
    const __m256i fogcol16 = _mm256_broadcastsi128_si256(_mm_unpacklo_epi64(sc.fogcol16, sc.fogcol16));
    const u32* t = a.texels + col0;
    int i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            CombineEight<kTfx, kTcc, kFog>(f, Load8(t + i), fog, fogcol16));
    for (; i < n; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         CombineSprite<kTfx, kTcc, kFog>(_mm256_castsi256_si128(f),
                                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i)),
                                                         _mm256_castsi256_si128(fog), sc.fogcol16));
}

// The row shading of a kind (ShadeSpriteRow), or its AVX2 form (nearest and
// bilinear rows).
template <int kKind, bool kAvx2, u32 kTfx, bool kTcc, bool kFog>
constexpr SpriteShadeFn kSpriteRow = !kAvx2                      ? ShadeSpriteRow<kKind, kTfx, kTcc, kFog>
                                     : kKind == kSpriteNearest ? ShadeNearestRowAvx2<kTfx, kTcc, kFog>
                                                               : ShadeBilinearRowAvx2<kTfx, kTcc, kFog>;

template <int kKind, bool kAvx2 = false>
SpriteShadeFn PickSpriteShade(u32 tfx, bool tcc, bool fog)
{
    static constexpr SpriteShadeFn table[4][2][2] = {
        {{kSpriteRow<kKind, kAvx2, 0, false, false>, kSpriteRow<kKind, kAvx2, 0, false, true>},
         {kSpriteRow<kKind, kAvx2, 0, true, false>, kSpriteRow<kKind, kAvx2, 0, true, true>}},
        {{kSpriteRow<kKind, kAvx2, 1, false, false>, kSpriteRow<kKind, kAvx2, 1, false, true>},
         {kSpriteRow<kKind, kAvx2, 1, true, false>, kSpriteRow<kKind, kAvx2, 1, true, true>}},
        {{kSpriteRow<kKind, kAvx2, 2, false, false>, kSpriteRow<kKind, kAvx2, 2, false, true>},
         {kSpriteRow<kKind, kAvx2, 2, true, false>, kSpriteRow<kKind, kAvx2, 2, true, true>}},
        {{kSpriteRow<kKind, kAvx2, 3, false, false>, kSpriteRow<kKind, kAvx2, 3, false, true>},
         {kSpriteRow<kKind, kAvx2, 3, true, false>, kSpriteRow<kKind, kAvx2, 3, true, true>}},
    };
    return table[tfx & 3][tcc][fog];
}

}  // namespace

SpriteShadeFn PickNearestShade(u32 tfx, bool tcc, bool fog, bool avx2)
{
    return avx2 ? PickSpriteShade<kSpriteNearest, true>(tfx, tcc, fog) : PickSpriteShade<kSpriteNearest>(tfx, tcc, fog);
}

SpriteShadeFn PickSpriteShade(const Texturing& t, u32 tfx, bool tcc, bool fog, bool avx2)
{
    if (t.direct && t.linear && avx2)
        return PickSpriteShade<kSpriteBilinear, true>(tfx, tcc, fog);
    if (!t.direct)
        return PickSpriteShade<kSpriteSampled>(tfx, tcc, fog);
    return t.linear ? PickSpriteShade<kSpriteBilinear>(tfx, tcc, fog) : PickNearestShade(tfx, tcc, fog, avx2);
}

}  // namespace console::gs::pipeline
