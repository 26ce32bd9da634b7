// Writing stage of the specialised pipelines: the depth test and write,
// blending, dithering, the colour clamp, FBA and the stores, for spans of
// shaded pixels; picked once per state (MakeWriter).  The SSE2 writers are
// in pipeline_write.cpp, the AVX2 and AVX-512 ones (whole column octets and
// lines of two rows) in pipeline_write_avx2.cpp and _avx512.cpp, the rows of
// sprites into 16-bit frames in pipeline_write_sprite.cpp.
#pragma once

#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/pipeline.h"
#include "gs/pipeline_local.h"
#include "gs/pixel.h"

namespace console::gs::pipeline {

enum FrameClass { kFrame32, kFrame24, kFrame16 };
enum DepthClass { kNoDepth, kDepth32, kDepth24, kDepth16 };

// The depth test of four pixels, its values in vector form.  The Z values
// are clamped to ZMAX; 24- and 16-bit Z buffers then hold values below 2^24
// on both sides, so the test is one signed
// comparison: zs + zadd > stored, zadd 1 for GEQUAL, 0 for GREATER, 2^30 for
// a test that always passes and -2^30 for one that never does.  32-bit ones
// compare unsigned: passes when (greater & zgt) | (equal & zeq) | zall.
struct DepthQuadTest {
    __m128i maxv, maxf, zadd, zgt, zeq, zall;
    DepthQuadTest() = default;
    DepthQuadTest(u32 zmax, s64 zbias, u32 gt, u32 eq, u32 all)
        : maxv(_mm_set1_epi32(static_cast<int>(zmax))),
          maxf(_mm_set1_epi32(static_cast<int>(zmax ^ 0x80000000u))),
          zadd(_mm_set1_epi32(zbias > 0 ? 1 << 30 : zbias < -1 ? -(1 << 30) : static_cast<int>(zbias) + 1)),
          zgt(_mm_set1_epi32(static_cast<int>(gt))),
          zeq(_mm_set1_epi32(static_cast<int>(eq))),
          zall(_mm_set1_epi32(static_cast<int>(all)))
    {
    }

    // The lanes of Z values `z` that pass against the stored values
    // `stored` (a 24-bit buffer's top byte taken off), and in `zs` the
    // clamped Z values.
    template <int kDepth>
    __attribute__((always_inline)) __m128i Test(__m128i stored, __m128i z, __m128i& zs) const
    {
        const __m128i sign = _mm_set1_epi32(static_cast<int>(0x80000000u));
        const __m128i zf = _mm_xor_si128(z, sign);
        const __m128i over = _mm_cmpgt_epi32(zf, maxf);
        if constexpr (kDepth != kDepth32) {
            zs = _mm_xor_si128(z, _mm_and_si128(_mm_xor_si128(z, maxv), over));
            return _mm_cmpgt_epi32(_mm_add_epi32(zs, zadd), stored);
        } else {
            const __m128i zsf = _mm_xor_si128(zf, _mm_and_si128(_mm_xor_si128(zf, maxf), over));
            zs = _mm_xor_si128(zsf, sign);
            return _mm_or_si128(
                _mm_or_si128(_mm_and_si128(_mm_cmpgt_epi32(zsf, _mm_xor_si128(stored, sign)), zgt),
                             _mm_and_si128(_mm_cmpeq_epi32(zs, stored), zeq)),
                zall);
        }
    }
};

// Steps 6 to 8 for four pixels (sources `cs`, destinations `cd`, RGBA8),
// with the selectors as masks on packed pixels made once per span: A, B and
// D pick whole pixels of the source or the destination (neither: zero), C
// the alpha byte of either, or FIX.  ((A - B) x C >> 7) + D per colour
// channel in 16-bit lanes is taken as the high half of (A - B) x 4 times
// C x 128: both fit 16 signed bits and their product is (A - B) x C x 512,
// whose high half is the arithmetic shift by 7.  PABE (a source alpha below
// 0x80) makes A the source, B and D zero and C 0x80, which gives the source
// back.  Alpha is the source's; then the dither values and the clamp, or
// the low eight bits.
struct BlendQuad {
    __m128i as_, ad_, bs_, bd_, ds_, dd_, cs_, cd_, fix7, pabe;
    bool colclamp;
    static __m128i Whole(bool on) { return _mm_set1_epi32(on ? -1 : 0); }
    static __m128i Alpha(bool on) { return _mm_set1_epi32(on ? static_cast<int>(0xFF000000u) : 0); }
    BlendQuad() = default;
    BlendQuad(u32 sel_a, u32 sel_b, u32 sel_c, u32 sel_d, u32 fix, bool pabe_on, bool clamp)
        : as_(Whole(sel_a == 0)),
          ad_(Whole(sel_a == 1)),
          bs_(Whole(sel_b == 0)),
          bd_(Whole(sel_b == 1)),
          ds_(Whole(sel_d == 0)),
          dd_(Whole(sel_d == 1)),
          cs_(Alpha(sel_c == 0)),
          cd_(Alpha(sel_c == 1)),
          fix7(_mm_set1_epi32(sel_c >= 2 ? static_cast<int>((fix & 0xFF) << 7) : 0)),
          pabe(Whole(pabe_on)),
          colclamp(clamp)
    {
    }
};

// What finishing a pixel needs of the writer's state.
struct FinishQuad {
    __m128i fba;
    bool colclamp;
};

struct WriterState {
    u32* words;
    u16* halves;
    // Bits of a frame pixel a write keeps, in the frame's own format (FBMSK,
    // and the alpha of an RGB_ONLY alpha-test failure); a 24-bit frame's
    // top byte is kept whatever this says.
    u32 keep;
    u32 zmax;
    s64 zbias;  // passes when zs + zbias >= stored
    bool zwrite;
    bool colclamp;
    u32 fba;
    u32 sel_a, sel_b, sel_c, sel_d;
    s32 fix;
    bool pabe;
    const s32 (*dimx)[4];
    // The primitive's frame pixels and Z values lie in different memory, so
    // a span's depth stages and destination reads may all come before its
    // frame writes.
    bool disjoint = false;
    // The depth test as masks on an unsigned comparison of the clamped Z
    // with the stored one: passes when (greater & zgt) | (equal & zeq) | zall.
    u32 zgt = 0, zeq = 0, zall = 0;
    // The above in vector form for the four-pixel stages (MakeVectors).
    DepthQuadTest depth_quad;
    BlendQuad blend_quad;
    FinishQuad finish_quad;
};

inline void MakeVectors(WriterState& s)
{
    s.depth_quad = DepthQuadTest(s.zmax, s.zbias, s.zgt, s.zeq, s.zall);
    s.blend_quad = BlendQuad(s.sel_a, s.sel_b, s.sel_c, s.sel_d, static_cast<u32>(s.fix), s.pabe, s.colclamp);
    s.finish_quad = FinishQuad{_mm_set1_epi32(static_cast<int>(s.fba)), s.colclamp};
}

// Narrow16 of four pixels: the kept bits of R and B, and of G and A, moved
// into place by one multiply-add each (every product a multiple of 32 below
// 2^21), then down by five.
__attribute__((always_inline)) inline __m128i Narrow16Four(__m128i c)
{
    const __m128i rb = _mm_and_si128(c, _mm_set1_epi32(0x00F800F8));
    const __m128i ga = _mm_and_si128(_mm_srli_epi32(c, 8), _mm_set1_epi32(0x008000F8));
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(rb, _mm_set1_epi32((4096 << 16) | 4)),
                                      _mm_madd_epi16(ga, _mm_set1_epi32((8192 << 16) | 128)));
    return _mm_srli_epi32(sum, 5);
}

// Dithering, the colour clamp (or the wrap to eight bits), FBA and the
// narrowing of 16-bit targets for four unblended pixels at x, x + 1, ...:
// channels are 0..255 before dithering, so the 16-bit lanes hold every value
// exactly and the saturating pack is the clamp.
template <int kFrame, bool kDither>
__attribute__((always_inline)) inline __m128i FinishFour(const FinishQuad& f, __m128i dither_lo, __m128i dither_hi,
                                                         __m128i c)
{
    if constexpr (kDither) {
        const __m128i zero = _mm_setzero_si128();
        __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(c, zero), dither_lo);
        __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(c, zero), dither_hi);
        if (!f.colclamp) {
            const __m128i low8 = _mm_set1_epi16(0xFF);
            lo = _mm_and_si128(lo, low8);
            hi = _mm_and_si128(hi, low8);
        }
        c = _mm_packus_epi16(lo, hi);
    }
    c = _mm_or_si128(c, f.fba);
    if constexpr (kFrame == kFrame16)
        c = Narrow16Four(c);
    return c;
}

// The dither values on R, G and B of four pixels from x0 on (pixels 0 and 1
// in `lo`, 2 and 3 in `hi`): the same for every step of four along a row.
inline void DitherFour(const WriterState& w, const PixelRow& row, u32 x0, __m128i& lo, __m128i& hi)
{
    const s32* dm = w.dimx[row.Y() & 3];
    const s16 d0 = static_cast<s16>(dm[x0 & 3]), d1 = static_cast<s16>(dm[(x0 + 1) & 3]);
    const s16 d2 = static_cast<s16>(dm[(x0 + 2) & 3]), d3 = static_cast<s16>(dm[(x0 + 3) & 3]);
    lo = _mm_set_epi16(0, d1, d1, d1, 0, d0, d0, d0);
    hi = _mm_set_epi16(0, d3, d3, d3, 0, d2, d2, d2);
}

// The blending equations the writers are specialised for: any ALPHA
// selectors (with or without PABE), and the usual mix (Cs - Cd) x As + Cd
// without PABE.
enum BlendEq { kNoBlend, kBlendAny, kBlendMix };

template <int kEq, bool kDither>
__attribute__((always_inline)) inline __m128i BlendFour(const BlendQuad& m, __m128i cs, __m128i cd,
                                                       __m128i dither_lo, __m128i dither_hi)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i a, b, d, c7;
    if constexpr (kEq == kBlendMix) {
        a = cs;
        b = d = cd;
        c7 = _mm_and_si128(_mm_srli_epi32(cs, 17), _mm_set1_epi32(0x7F80));
    } else {
        a = _mm_or_si128(_mm_and_si128(cs, m.as_), _mm_and_si128(cd, m.ad_));
        b = _mm_or_si128(_mm_and_si128(cs, m.bs_), _mm_and_si128(cd, m.bd_));
        d = _mm_or_si128(_mm_and_si128(cs, m.ds_), _mm_and_si128(cd, m.dd_));
        c7 = _mm_or_si128(_mm_srli_epi32(_mm_or_si128(_mm_and_si128(cs, m.cs_), _mm_and_si128(cd, m.cd_)), 17), m.fix7);
        // PABE: sources whose alpha is below 0x80 come through as they are.
        const __m128i keep = _mm_andnot_si128(_mm_srai_epi32(cs, 31), m.pabe);
        a = _mm_or_si128(_mm_and_si128(keep, cs), _mm_andnot_si128(keep, a));
        b = _mm_andnot_si128(keep, b);
        d = _mm_andnot_si128(keep, d);
        c7 = _mm_or_si128(_mm_and_si128(keep, _mm_set1_epi32(0x80 << 7)), _mm_andnot_si128(keep, c7));
    }
    c7 = _mm_or_si128(c7, _mm_slli_epi32(c7, 16));
    auto half = [&](__m128i ah, __m128i bh, __m128i dh, __m128i ch, __m128i dither) __attribute__((always_inline)) {
        __m128i out = _mm_add_epi16(_mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(ah, bh), 2), ch), dh);
        if constexpr (kDither)
            out = _mm_add_epi16(out, dither);
        if (!m.colclamp)
            out = _mm_and_si128(out, _mm_set1_epi16(0xFF));
        return out;
    };
    const __m128i out = _mm_packus_epi16(
        half(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(d, zero),
             _mm_unpacklo_epi32(c7, c7), dither_lo),
        half(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(d, zero),
             _mm_unpackhi_epi32(c7, c7), dither_hi));
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    return _mm_or_si128(_mm_andnot_si128(alpha, out), _mm_and_si128(alpha, cs));
}

// Pieces of rows drawn with one writer: n pixels from x = px of `row`, whose
// colours and depths are entries at, at + 1, ... of a batch.
struct SpanPiece {
    const PixelRow* row;
    s32 px;
    int n, at;
};

using WriteFn = void (*)(const WriterState&, const PixelRow&, u32, int, const u32*, const u32*);
using FillFn = void (*)(const WriterState&, const PixelRow&, u32, int, u32, u32);
using PiecesFn = void (*)(const WriterState&, const SpanPiece*, int, const u32*, const u32*);

// WriteQuadPieces with 256-bit vectors, eight pixels of a column a step,
// for the undithered, unmasked writes of 32- and 24-bit frames whose
// layouts (and the Z buffer's) keep eight pixels in a column
// (OctetColumns), blended (equation `eq`) or not: null for any other writer.
PiecesFn PickOctetPiecesAvx2(int frame, int depth, int eq);

// The same with 512-bit vectors a line of two rows at a time, for layouts
// whose rows pair up (PairedColumns): null for any other writer.
PiecesFn PickLinePiecesAvx512(int frame, int depth, int eq);

// The writing stage for `env`, or false when the state needs the general
// per-pixel pipeline (an alpha test whose outcome varies from pixel to pixel,
// the destination alpha test).
struct Writer {
    WriterState state;
    WriteFn write = nullptr;
    WriteFn quads = nullptr;  // the write for frame and Z apart, when their layouts allow it
    PiecesFn quad_pieces = nullptr;  // `quads` for several pieces of rows at once, when made
    FillFn fill = nullptr;  // set when a constant colour may be filled
    bool flat_fill = false;
    bool frame_write = true;
    bool nothing = false;  // every pixel is dropped: nothing to draw
};

// `alpha` is the alpha every pixel of the primitive has, or -1 when it
// varies.  An alpha test with the same outcome for every pixel (NEVER and
// ALWAYS, or any test on a constant alpha) is taken once: its fail action
// becomes the writes this writer makes.
bool MakeWriter(const DrawEnv& env, LocalMemory& memory, Writer& w, s32 alpha = -1);

// The blending equation a state's writers are specialised for (BlendEq).
int BlendEqOf(const DrawEnv& env);
int FrameClassOf(Psm psm);
int DepthClassOf(const DepthTarget& d);

// Layouts by how a row's pixels lie in their columns' words (see
// pipeline_write.cpp): quads of 32-bit pixels, octets of them, octets whose
// rows pair up in 64-byte lines, and sixteen 16-bit pixels in eight words.
bool QuadColumns(Psm psm);
bool OctetColumns(Psm psm);
bool PairedColumns(Psm psm);
bool HalfColumns(Psm psm);

// Whether the frame pixels and Z values of the box [x0, x1) x [y0, y1) are
// sure to lie in different memory.
bool FrameAndDepthApart(const DrawEnv& env, s32 x0, s32 x1, s32 y0, s32 y1);

// The quad writer of a CT32 frame with no depth stage, blending, dithering
// or kept bits: the one whose rows WriteSpriteRowPair32 may write in pairs.
WriteFn PlainQuadWrite32();

// Sprite rows into 16-bit frames with no depth stage and no blending, a
// group of sixteen pixels at a time (pipeline_write_sprite.cpp).
WriteFn PickSpriteRowHalves(bool dither, bool masked, bool avx2);

// Pixels [x0, x1) (multiples of four) of an even row and the row below it
// of a CT32 frame, from their colours top[0 ..) and bottom[0 ..).
void WriteSpriteRowPair32(const WriterState& w, const PixelRow& row, u32 x0, u32 x1, const u32* top,
                          const u32* bottom);

// A half of BlendEight: (A - B) x C + D of four pixels' channels in 16-bit
// lanes, wrapped to eight bits without the colour clamp (`low8`).
GS_AVX2 __m256i BlendHalfEight(__m256i a, __m256i b, __m256i d, __m256i c, __m256i low8)
{
    return _mm256_and_si256(_mm256_add_epi16(_mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(a, b), 2), c), d),
                            low8);
}

// BlendFour of eight undithered pixels, pixels 0-3 in the low half and 4-7
// in the high one (every step keeps to the halves).
template <int kEq>
GS_AVX2 __m256i BlendEight(const BlendQuad& q, __m256i cs, __m256i cd)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i a, b, d, c7;
    if constexpr (kEq == kBlendMix) {
        a = cs;
        b = d = cd;
        c7 = _mm256_and_si256(_mm256_srli_epi32(cs, 17), _mm256_set1_epi32(0x7F80));
    } else {
        const __m256i as = _mm256_broadcastsi128_si256(q.as_), ad = _mm256_broadcastsi128_si256(q.ad_);
        const __m256i bs = _mm256_broadcastsi128_si256(q.bs_), bd = _mm256_broadcastsi128_si256(q.bd_);
        const __m256i ds = _mm256_broadcastsi128_si256(q.ds_), dd = _mm256_broadcastsi128_si256(q.dd_);
        const __m256i csel = _mm256_broadcastsi128_si256(q.cs_), cdsel = _mm256_broadcastsi128_si256(q.cd_);
        a = _mm256_or_si256(_mm256_and_si256(cs, as), _mm256_and_si256(cd, ad));
        b = _mm256_or_si256(_mm256_and_si256(cs, bs), _mm256_and_si256(cd, bd));
        d = _mm256_or_si256(_mm256_and_si256(cs, ds), _mm256_and_si256(cd, dd));
        c7 = _mm256_or_si256(_mm256_srli_epi32(_mm256_or_si256(_mm256_and_si256(cs, csel), _mm256_and_si256(cd, cdsel)), 17),
                             _mm256_broadcastsi128_si256(q.fix7));
        // PABE: sources whose alpha is below 0x80 come through as they are.
        const __m256i keep = _mm256_andnot_si256(_mm256_srai_epi32(cs, 31), _mm256_broadcastsi128_si256(q.pabe));
        a = _mm256_or_si256(_mm256_and_si256(keep, cs), _mm256_andnot_si256(keep, a));
        b = _mm256_andnot_si256(keep, b);
        d = _mm256_andnot_si256(keep, d);
        c7 = _mm256_or_si256(_mm256_and_si256(keep, _mm256_set1_epi32(0x80 << 7)), _mm256_andnot_si256(keep, c7));
    }
    c7 = _mm256_or_si256(c7, _mm256_slli_epi32(c7, 16));
    const __m256i low8 = _mm256_set1_epi16(q.colclamp ? -1 : 0xFF);
    const __m256i out = _mm256_packus_epi16(
        BlendHalfEight(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(d, zero),
                       _mm256_unpacklo_epi32(c7, c7), low8),
        BlendHalfEight(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi8(d, zero),
                       _mm256_unpackhi_epi32(c7, c7), low8));
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    return _mm256_or_si256(_mm256_andnot_si256(alpha, out), _mm256_and_si256(alpha, cs));
}

}  // namespace console::gs::pipeline
