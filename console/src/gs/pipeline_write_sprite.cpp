// The rows of sprites written whole: groups of sixteen 16-bit pixels (with
// an AVX2 form beside the SSE2 one), and pairs of CT32 rows
// (pipeline_write.h).
#include <algorithm>

#include "gs/pipeline_write.h"

namespace console::gs::pipeline {

namespace {

// A group of sixteen 16-bit pixels as its two column quads of words at word
// o, the bits of `keep` (in both halves of every word) left as they were
// with kMasked.
template <bool kMasked>
__attribute__((always_inline)) inline void StoreGroupHalves(u32* words, u32 o, __m128i q0, __m128i q1, __m128i keep)
{
    if constexpr (kMasked) {
        const __m128i old0 = LoadQuad(words, o), old1 = LoadQuad(words, o + 8);
        q0 = _mm_xor_si128(old0, _mm_andnot_si128(keep, _mm_xor_si128(old0, q0)));
        q1 = _mm_xor_si128(old1, _mm_andnot_si128(keep, _mm_xor_si128(old1, q1)));
    }
    StoreQuad(words, o, q0);
    StoreQuad(words, o + 8, q1);
}

// Sprite rows into 16-bit frames whose layout keeps sixteen pixels in the
// halves of eight words (HalfColumns), with no depth stage and no blending
// (the copy passes): each aligned group of sixteen pixels is finished
// (dithered, clamped, FBA set, narrowed) four pixels at a time and stored as
// two column quads of words, pixels 0-7 of the group in the low halves and
// 8-15 in the high ones.  A group wholly inside the span, with no FBMSK bit
// kept, is stored without reading the frame; others are merged with it.
// The bytes of WriteSpanQuads for the same pixels.
template <bool kDither, bool kMasked>
void WriteSpriteRowHalves(const WriterState& w, const PixelRow& row, u32 x0, int n, const u32* colors, const u32*)
{
    if (n <= 0)
        return;
    u32* const words = w.words;
    const RowCursor& fr = row.FrameRow();
    const u16* const tab = fr.RowTable();
    const u32 mx = fr.MaskX(), sx = fr.ShiftX(), ps = fr.PageShift(), units = fr.UnitsMask();
    const u32 page0 = fr.PageBase(0);
    __m128i dlo = _mm_setzero_si128(), dhi = _mm_setzero_si128();
    if constexpr (kDither)
        DitherFour(w, row, 0, dlo, dhi);
    const FinishQuad& finish = w.finish_quad;
    const __m128i keep = _mm_set1_epi32(kMasked ? static_cast<int>((w.keep & 0xFFFF) * 0x10001u) : 0);
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    // The words of the group at g (a multiple of 16) from the colours of
    // its pixels c[0 .. 15].
    auto finish_group = [&](const u32* c, __m128i& q0, __m128i& q1) __attribute__((always_inline)) {
        auto four = [&](int k) __attribute__((always_inline)) {
            return FinishFour<kFrame16, kDither>(finish, dlo, dhi,
                                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + k)));
        };
        q0 = _mm_or_si128(four(0), _mm_slli_epi32(four(8), 16));
        q1 = _mm_or_si128(four(4), _mm_slli_epi32(four(12), 16));
    };
    auto word_of = [&](u32 g) __attribute__((always_inline)) {
        return ((page0 + ((g >> sx) << ps) + tab[g & mx]) & units) >> 1;
    };
    // Pixels [first, end) of the group at g, merged with the frame.
    auto merge_group = [&](u32 g, s32 first, s32 end) __attribute__((always_inline)) {
        alignas(16) u32 c[16] = {};
        for (s32 k = first; k < end; ++k)
            c[k] = colors[static_cast<s32>(g - x0) + k];
        __m128i q0, q1;
        finish_group(c, q0, q1);
        auto lanes = [&](s32 base) __attribute__((always_inline)) {
            const __m128i k = _mm_add_epi32(_mm_set1_epi32(base), _mm_setr_epi32(0, 1, 2, 3));
            return _mm_and_si128(_mm_cmpgt_epi32(k, _mm_set1_epi32(first - 1)), _mm_cmplt_epi32(k, _mm_set1_epi32(end)));
        };
        const __m128i m0 =
            _mm_andnot_si128(keep, _mm_or_si128(_mm_and_si128(lanes(0), low16), _mm_andnot_si128(low16, lanes(8))));
        const __m128i m1 =
            _mm_andnot_si128(keep, _mm_or_si128(_mm_and_si128(lanes(4), low16), _mm_andnot_si128(low16, lanes(12))));
        const u32 o = word_of(g);
        const __m128i old0 = LoadQuad(words, o), old1 = LoadQuad(words, o + 8);
        StoreQuad(words, o, _mm_xor_si128(old0, _mm_and_si128(_mm_xor_si128(old0, q0), m0)));
        StoreQuad(words, o + 8, _mm_xor_si128(old1, _mm_and_si128(_mm_xor_si128(old1, q1), m1)));
    };
    const u32 end = x0 + static_cast<u32>(n);
    const u32 first = x0 & ~15u, last = (end - 1) & ~15u;
    if (first == last) {
        merge_group(first, static_cast<s32>(x0 - first), static_cast<s32>(end - first));
        return;
    }
    u32 g = first;
    if (x0 != first) {
        merge_group(first, static_cast<s32>(x0 - first), 16);
        g += 16;
    }
    const u32 stop = end - last == 16 ? end : last;
    for (; g < stop; g += 16) {
        __m128i q0, q1;
        finish_group(colors + (g - x0), q0, q1);
        const u32 o = word_of(g);
        StoreGroupHalves<kMasked>(words, o, q0, q1, keep);
    }
    if (stop != end)
        merge_group(last, 0, static_cast<s32>(end - last));
}

// WriteSpriteRowHalves eight pixels at a time (FinishFour and Narrow16Four
// on both halves of a 256-bit register, the dither values of pixels 4 to 7
// being those of 0 to 3); the groups the span only partly covers by
// WriteSpriteRowHalves itself.
template <bool kDither, bool kMasked>
__attribute__((target("avx2"))) void WriteSpriteRowHalvesAvx2(const WriterState& w, const PixelRow& row, u32 x0, int n,
                                                               const u32* colors, const u32* depths)
{
    const u32 end = x0 + static_cast<u32>(std::max(n, 0));
    const u32 first = (x0 + 15) & ~15u, last = end & ~15u;
    if (first >= last) {
        WriteSpriteRowHalves<kDither, kMasked>(w, row, x0, n, colors, depths);
        return;
    }
    if (x0 != first)
        WriteSpriteRowHalves<kDither, kMasked>(w, row, x0, static_cast<int>(first - x0), colors, depths);
    u32* const words = w.words;
    const RowCursor& fr = row.FrameRow();
    const u16* const tab = fr.RowTable();
    const u32 mx = fr.MaskX(), sx = fr.ShiftX(), ps = fr.PageShift(), units = fr.UnitsMask();
    const u32 page0 = fr.PageBase(0);
    __m128i dlo = _mm_setzero_si128(), dhi = _mm_setzero_si128();
    if constexpr (kDither)
        DitherFour(w, row, 0, dlo, dhi);
    const __m256i dlo8 = _mm256_broadcastsi128_si256(dlo), dhi8 = _mm256_broadcastsi128_si256(dhi);
    const __m256i fba = _mm256_broadcastsi128_si256(w.finish_quad.fba);
    const bool colclamp = w.finish_quad.colclamp;
    const __m128i keep = _mm_set1_epi32(kMasked ? static_cast<int>((w.keep & 0xFFFF) * 0x10001u) : 0);
    auto eight = [&](const u32* c) __attribute__((always_inline, target("avx2"))) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
        if constexpr (kDither) {
            const __m256i zero = _mm256_setzero_si256();
            __m256i lo = _mm256_add_epi16(_mm256_unpacklo_epi8(v, zero), dlo8);
            __m256i hi = _mm256_add_epi16(_mm256_unpackhi_epi8(v, zero), dhi8);
            if (!colclamp) {
                const __m256i low8 = _mm256_set1_epi16(0xFF);
                lo = _mm256_and_si256(lo, low8);
                hi = _mm256_and_si256(hi, low8);
            }
            v = _mm256_packus_epi16(lo, hi);
        }
        v = _mm256_or_si256(v, fba);
        const __m256i rb = _mm256_and_si256(v, _mm256_set1_epi32(0x00F800F8));
        const __m256i ga = _mm256_and_si256(_mm256_srli_epi32(v, 8), _mm256_set1_epi32(0x008000F8));
        const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(rb, _mm256_set1_epi32((4096 << 16) | 4)),
                                             _mm256_madd_epi16(ga, _mm256_set1_epi32((8192 << 16) | 128)));
        return _mm256_srli_epi32(sum, 5);
    };
    for (u32 g = first; g < last; g += 16) {
        // Pixels 0-3 and 8-11 of the group in the low quad, 4-7 and 12-15
        // in the high one.
        const u32* const c = colors + (g - x0);
        const __m256i q = _mm256_or_si256(eight(c), _mm256_slli_epi32(eight(c + 8), 16));
        const u32 o = ((page0 + ((g >> sx) << ps) + tab[g & mx]) & units) >> 1;
        StoreGroupHalves<kMasked>(words, o, _mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1), keep);
    }
    if (end != last)
        WriteSpriteRowHalves<kDither, kMasked>(w, row, last, static_cast<int>(end - last), colors + (last - x0), depths);
}

}  // namespace

WriteFn PickSpriteRowHalves(bool dither, bool masked, bool avx2)
{
    static constexpr WriteFn table[2][2][2] = {
        {{WriteSpriteRowHalves<false, false>, WriteSpriteRowHalves<false, true>},
         {WriteSpriteRowHalves<true, false>, WriteSpriteRowHalves<true, true>}},
        {{WriteSpriteRowHalvesAvx2<false, false>, WriteSpriteRowHalvesAvx2<false, true>},
         {WriteSpriteRowHalvesAvx2<true, false>, WriteSpriteRowHalvesAvx2<true, true>}}};
    return table[avx2][dither][masked];
}

// Pixels [x0, x1) (multiples of four) of an even row and the row below it
// of a CT32 frame, from their colours top[0 ..) and bottom[0 ..): each
// aligned quad of the two rows is a column's eight consecutive words (each
// row's pixels in pairs, the rows interleaved pair by pair), stored whole
// with two stores where the rows one by one take four.  The bytes of
// WriteSpanQuads with no depth stage, blending, dithering or kept bits.
void WriteSpriteRowPair32(const WriterState& w, const PixelRow& row, u32 x0, u32 x1, const u32* top,
                          const u32* bottom)
{
    u32* const words = w.words;
    const RowCursor& fr = row.FrameRow();
    const u16* const tab = fr.RowTable();
    const u32 mx = fr.MaskX(), sx = fr.ShiftX(), ps = fr.PageShift(), units = fr.UnitsMask();
    const u32 page0 = fr.PageBase(0);
    const FinishQuad& finish = w.finish_quad;
    const __m128i none = _mm_setzero_si128();
    for (u32 x = x0; x < x1;) {
        const u32 stop = std::min(x1, (x | mx) + 1);
        const u32 base = page0 + ((x >> sx) << ps);
        for (; x < stop; x += 4) {
            const u32 o = (base + tab[x & mx]) & units;
            const u32 i = x - x0;
            const __m128i a = FinishFour<kFrame32, false>(
                finish, none, none, _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i)));
            const __m128i b = FinishFour<kFrame32, false>(
                finish, none, none, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(words + o), _mm_unpacklo_epi64(a, b));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(words + o + 4), _mm_unpackhi_epi64(a, b));
        }
    }
}

}  // namespace console::gs::pipeline
