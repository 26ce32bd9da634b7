// Sampling stage of the specialised pipelines: texel addressing and reads
// straight from local memory, the bilinear filter, and decoded copies of
// texture levels that triangles read with one load a sample.
//
// Texel addressing.  The in-page offset of the 32- and 16-bit layouts is an
// exclusive or of a part that depends only on x and a part that depends only
// on y, so a texel's offset is a row part plus a column part plus the two
// table entries combined; the 8- and 4-bit layouts rotate pixels by row and
// are read through the general sampler.
#pragma once

#include <climits>
#include <memory>
#include <vector>

#include "gs/clut.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/pipeline.h"
#include "gs/pipeline_local.h"
#include "gs/pixel.h"
#include "gs/texsample.h"

namespace console::gs {
namespace pipeline {

// One axis's wrap mode as max(lo, min((c & and) | or, hi)), which is each of
// the four modes exactly: REPEAT (c & size - 1), CLAMP (0 .. size - 1),
// REGION_CLAMP (MIN .. MAX) and REGION_REPEAT ((c & MIN) | MAX).
struct Wrap {
    s32 andm = -1, orm = 0, lo = INT_MIN, hi = INT_MAX;

    Wrap() = default;
    Wrap(u32 mode, u32 size_log2, u32 min, u32 max)
    {
        switch (mode) {
        case kWrapRepeat: andm = (1 << size_log2) - 1; break;
        case kWrapClamp:
            lo = 0;
            hi = (1 << size_log2) - 1;
            break;
        case kWrapRegionClamp:
            lo = static_cast<s32>(min);
            hi = static_cast<s32>(max);
            break;
        default:
            andm = static_cast<s32>(min);
            orm = static_cast<s32>(max);
            break;
        }
    }

    s32 operator()(s32 c) const
    {
        const s32 v = (c & andm) | orm;
        const s32 h = v < hi ? v : hi;
        return h > lo ? h : lo;
    }
};

// Level `lod.level` of a texture of a split layout, addressed directly.
struct TexLevel {
    const u32* words;
    const u16* halves;
    u32 units_mask;
    u32 tbp, row_stride;  // blocks per row of pages
    u32 shift, px, py, mx, my;
    const u16* tx;
    const u16* ty;
    Wrap wu, wv;
    u32 n;  // level number: coordinates shift down by it

    // The parts of a texel's offset that depend on its row and on its column.
    struct Row {
        u32 base, t;
    };
    struct Col {
        u32 base, t;
    };
    Row RowOf(u32 v) const { return {(tbp + (v >> py) * row_stride) << shift, ty[v & my]}; }
    Col ColOf(u32 u) const { return {((u >> px) * kPageBlocks) << shift, tx[u & mx]}; }
    u32 Offset(const Row& r, const Col& c) const { return (r.base + c.base + (r.t ^ c.t)) & units_mask; }

    // Layouts that do not split (the indexed ones) keep the row and column
    // positions within the page and look the pair up in the whole table.
    const u16* table = nullptr;
    Row RowInPage(u32 v) const { return {(tbp + (v >> py) * row_stride) << shift, (v & my) << px}; }
    Col ColInPage(u32 u) const { return {((u >> px) * kPageBlocks) << shift, u & mx}; }
    u32 OffsetInPage(const Row& r, const Col& c) const { return (r.base + c.base + table[r.t | c.t]) & units_mask; }

    // Either form, as the level's layout needs.
    Row RowFor(u32 v) const { return table ? RowInPage(v) : RowOf(v); }
    Col ColFor(u32 u) const { return table ? ColInPage(u) : ColOf(u); }
};

// Raw texels as RGBA8, per format class.  Indexed texels are picked out of
// their 32-bit word (a byte, a nibble or the top bits) and looked up in the
// palette already expanded to RGBA8.
enum TexClass { kTex32, kTex24, kTex16, kTexIndexed };

struct TexExpand {
    u32 ta0 = 0, ta1 = 0;
    bool aem = false;
    // Indexed: the index of the texel at offset o is
    // (words[o >> word_shift] >> (((o & sub_mask) << sub_shift) + bit)) & index_mask.
    const u32* palette = nullptr;
    u32 word_shift = 0, sub_mask = 0, sub_shift = 0, bit = 0, index_mask = 0;
};

// The offset of a texel from its row and column parts (RowFor, ColFor).
template <int kClass>
__attribute__((always_inline)) inline u32 OffsetOf(const TexLevel& l, const TexLevel::Row& r, const TexLevel::Col& c)
{
    return kClass == kTexIndexed ? l.OffsetInPage(r, c) : l.Offset(r, c);
}

template <int kClass>
inline u32 ReadTexel(const TexLevel& l, const TexExpand& e, u32 offset)
{
    if constexpr (kClass == kTexIndexed) {
        const u32 w = l.words[offset >> e.word_shift];
        return e.palette[(w >> (((offset & e.sub_mask) << e.sub_shift) + e.bit)) & e.index_mask];
    } else if constexpr (kClass == kTex32) {
        return l.words[offset];
    } else if constexpr (kClass == kTex24) {
        const u32 rgb = l.words[offset] & 0xFFFFFF;
        return rgb | ((e.aem && rgb == 0) ? 0u : e.ta0 << 24);
    } else {
        const u32 p = l.halves[offset];
        const u32 rgb = Expand16(p) & 0xFFFFFF;
        const u32 a = (p & 0x8000) ? e.ta1 : ((e.aem && (p & 0x7FFF) == 0) ? 0u : e.ta0);
        return rgb | (a << 24);
    }
}

// The bilinear mix of four RGBA8 texels with weights in 1/16 per axis, in
// 16-bit lanes: every product and sum stays below 2^16, so this is the
// integer formula of the reference sampler exactly.
__attribute__((always_inline)) inline u32 Bilinear(u32 t00, u32 t10, u32 t01, u32 t11, s32 fu, s32 fv)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t00)),
                                                           _mm_cvtsi32_si128(static_cast<int>(t10))),
                                        zero);
    const __m128i b = _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t01)),
                                                           _mm_cvtsi32_si128(static_cast<int>(t11))),
                                        zero);
    // Horizontal weights (16 - fu in lanes 0-3, fu in 4-7), then vertical
    // ones: the reference's four products regrouped, every partial sum below
    // 2^16.
    const __m128i left = _mm_set_epi16(0, 0, 0, 0, -1, -1, -1, -1);
    const __m128i fu8 = _mm_set1_epi16(static_cast<s16>(fu));
    const __m128i wu = _mm_add_epi16(_mm_sub_epi16(_mm_xor_si128(fu8, left), left),
                                     _mm_and_si128(left, _mm_set1_epi16(16)));
    const __m128i fv8 = _mm_set1_epi16(static_cast<s16>(fv));
    __m128i s = _mm_add_epi16(_mm_mullo_epi16(_mm_mullo_epi16(a, wu), _mm_sub_epi16(_mm_set1_epi16(16), fv8)),
                              _mm_mullo_epi16(_mm_mullo_epi16(b, wu), fv8));
    s = _mm_srli_epi16(_mm_add_epi16(s, _mm_srli_si128(s, 8)), 8);
    return static_cast<u32>(_mm_cvtsi128_si32(_mm_packus_epi16(s, s)));
}

// Bilinear for four pixels, texels tXY of pixel k in lane k, weights fu, fv
// (0..15) in 32-bit lanes: each axis mixed as (a << 4) + (b - a) f, which is
// a (16 - f) + b f exactly; the vertical mix, at most 255 x 256, is right
// modulo 2^16 however its signed partial products wrap.
__attribute__((always_inline)) inline __m128i BilinearFour(__m128i t00, __m128i t10, __m128i t01, __m128i t11,
                                                           __m128i fu, __m128i fv)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i fu16 = _mm_unpacklo_epi16(_mm_packs_epi32(fu, fu), _mm_packs_epi32(fu, fu));
    const __m128i fv16 = _mm_unpacklo_epi16(_mm_packs_epi32(fv, fv), _mm_packs_epi32(fv, fv));
    auto half = [&](__m128i a, __m128i b, __m128i c, __m128i d, __m128i wu, __m128i wv)
        __attribute__((always_inline)) {
            const __m128i h0 = _mm_add_epi16(_mm_slli_epi16(a, 4), _mm_mullo_epi16(_mm_sub_epi16(b, a), wu));
            const __m128i h1 = _mm_add_epi16(_mm_slli_epi16(c, 4), _mm_mullo_epi16(_mm_sub_epi16(d, c), wu));
            return _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(h0, 4), _mm_mullo_epi16(_mm_sub_epi16(h1, h0), wv)), 8);
        };
    const __m128i lo = half(_mm_unpacklo_epi8(t00, zero), _mm_unpacklo_epi8(t10, zero), _mm_unpacklo_epi8(t01, zero),
                            _mm_unpacklo_epi8(t11, zero), _mm_unpacklo_epi32(fu16, fu16),
                            _mm_unpacklo_epi32(fv16, fv16));
    const __m128i hi = half(_mm_unpackhi_epi8(t00, zero), _mm_unpackhi_epi8(t10, zero), _mm_unpackhi_epi8(t01, zero),
                            _mm_unpackhi_epi8(t11, zero), _mm_unpackhi_epi32(fu16, fu16),
                            _mm_unpackhi_epi32(fv16, fv16));
    return _mm_packus_epi16(lo, hi);
}

template <int kClass, bool kBilinear>
__attribute__((always_inline)) inline u32 SampleFast(const TexLevel& l, const TexExpand& e, s32 u16, s32 v16)
{
    constexpr bool kInPage = kClass == kTexIndexed;
    auto row_of = [&](u32 v) __attribute__((always_inline)) { return kInPage ? l.RowInPage(v) : l.RowOf(v); };
    auto col_of = [&](u32 u) __attribute__((always_inline)) { return kInPage ? l.ColInPage(u) : l.ColOf(u); };
    auto read = [&](const TexLevel::Row& r, const TexLevel::Col& c) __attribute__((always_inline)) {
        return ReadTexel<kClass>(l, e, kInPage ? l.OffsetInPage(r, c) : l.Offset(r, c));
    };
    const s32 un = u16 >> l.n, vn = v16 >> l.n;
    if constexpr (!kBilinear) {
        const u32 u = static_cast<u32>(l.wu(un >> 4)), v = static_cast<u32>(l.wv(vn >> 4));
        return read(row_of(v), col_of(u));
    } else {
        const s32 us = un - 8, vs = vn - 8;
        const s32 fu = us & 15, fv = vs & 15;
        const TexLevel::Col c0 = col_of(static_cast<u32>(l.wu(us >> 4)));
        const TexLevel::Col c1 = col_of(static_cast<u32>(l.wu((us >> 4) + 1)));
        const TexLevel::Row r0 = row_of(static_cast<u32>(l.wv(vs >> 4)));
        const TexLevel::Row r1 = row_of(static_cast<u32>(l.wv((vs >> 4) + 1)));
        return Bilinear(read(r0, c0), read(r0, c1), read(r1, c0), read(r1, c1), fu, fv);
    }
}

// Wrap::operator() on four coordinates.
struct Wrap4 {
    __m128i andm, orm, lo, hi;
    Wrap4() = default;
    explicit Wrap4(const Wrap& w)
        : andm(_mm_set1_epi32(w.andm)), orm(_mm_set1_epi32(w.orm)), lo(_mm_set1_epi32(w.lo)),
          hi(_mm_set1_epi32(w.hi))
    {
    }
    __m128i operator()(__m128i c) const
    {
        return Max32(Min32(_mm_or_si128(_mm_and_si128(c, andm), orm), hi), lo);
    }
    // REPEAT (and a region repeat without its OR part) is the mask alone.
    static bool MaskOnly(const Wrap& w) { return w.orm == 0 && w.lo == INT_MIN && w.hi == INT_MAX; }
};

// A level's addressing constants in vector form, made once per primitive.
struct TexLevel4 {
    Wrap4 wu, wv;
    __m128i level, mx, my, pxs, pys, col_shift, shift, tbp, stride, units;
    bool mask_only = false;  // both axes wrap by their mask alone

    TexLevel4() = default;
    explicit TexLevel4(const TexLevel& l)
        : wu(l.wu),
          wv(l.wv),
          level(_mm_cvtsi32_si128(static_cast<int>(l.n))),
          mx(_mm_set1_epi32(static_cast<int>(l.mx))),
          my(_mm_set1_epi32(static_cast<int>(l.my))),
          pxs(_mm_cvtsi32_si128(static_cast<int>(l.px))),
          pys(_mm_cvtsi32_si128(static_cast<int>(l.py))),
          col_shift(_mm_cvtsi32_si128(static_cast<int>(l.shift + 5))),  // x kPageBlocks, << shift
          shift(_mm_cvtsi32_si128(static_cast<int>(l.shift))),
          tbp(_mm_set1_epi32(static_cast<int>(l.tbp))),
          stride(_mm_set1_epi32(static_cast<int>(l.row_stride))),
          units(_mm_set1_epi32(static_cast<int>(l.units_mask))),
          mask_only(Wrap4::MaskOnly(l.wu) && Wrap4::MaskOnly(l.wv))
    {
        static_assert(kPageBlocks == 32);
    }
};

// Bilinear samples of a level for the n pixels whose texture coordinates
// are us[i], vs[i]: the wrap, the texel columns and rows and the four texel
// offsets of four pixels at once in 32-bit lanes (the same integer operations
// as SampleFast; indexed layouts, which do not split, look the in-page part
// up in the whole table), then the reads and the mix pixel by pixel; n is a
// multiple of four.  kMaskOnly: both axes wrap by their mask alone (the
// usual REPEAT), without the clamps.
template <int kClass, bool kMaskOnly>
void SampleBilinearSpan(const TexLevel& l, const TexLevel4& l4, const TexExpand& e, const s32* us, const s32* vs,
                        int n, u32* out)
{
    const Wrap4& w4u = l4.wu;
    const Wrap4& w4v = l4.wv;
    const __m128i andu = l4.wu.andm, andv = l4.wv.andm;
    auto wu = [&](__m128i c) __attribute__((always_inline)) {
        return kMaskOnly ? _mm_and_si128(c, andu) : w4u(c);
    };
    auto wv = [&](__m128i c) __attribute__((always_inline)) {
        return kMaskOnly ? _mm_and_si128(c, andv) : w4v(c);
    };
    const __m128i level = l4.level, mx = l4.mx, my = l4.my, pxs = l4.pxs, pys = l4.pys;
    const __m128i col_shift = l4.col_shift, shift = l4.shift, tbp = l4.tbp, stride = l4.stride, units = l4.units;
    const __m128i eight = _mm_set1_epi32(8), fifteen = _mm_set1_epi32(15), one = _mm_set1_epi32(1);
    alignas(16) u32 o[4][4];
    alignas(16) s32 cm[2][4], rm[2][4], f[2][4];
    for (int i = 0; i < n; i += 4) {
        const __m128i u = _mm_sub_epi32(_mm_sra_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(us + i)), level), eight);
        const __m128i v = _mm_sub_epi32(_mm_sra_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(vs + i)), level), eight);
        _mm_store_si128(reinterpret_cast<__m128i*>(f[0]), _mm_and_si128(u, fifteen));
        _mm_store_si128(reinterpret_cast<__m128i*>(f[1]), _mm_and_si128(v, fifteen));
        const __m128i u0 = wu(_mm_srai_epi32(u, 4)), u1 = wu(_mm_add_epi32(_mm_srai_epi32(u, 4), one));
        const __m128i v0 = wv(_mm_srai_epi32(v, 4)), v1 = wv(_mm_add_epi32(_mm_srai_epi32(v, 4), one));
        // Column parts ((u >> px) x kPageBlocks) << shift and row parts
        // (tbp + (v >> py) x row_stride) << shift; page rows and strides are
        // below 2^15, so the product is one 16-bit multiply-add.
        const __m128i cb0 = _mm_sll_epi32(_mm_srl_epi32(u0, pxs), col_shift);
        const __m128i cb1 = _mm_sll_epi32(_mm_srl_epi32(u1, pxs), col_shift);
        const __m128i rb0 = _mm_sll_epi32(_mm_add_epi32(tbp, _mm_madd_epi16(_mm_srl_epi32(v0, pys), stride)), shift);
        const __m128i rb1 = _mm_sll_epi32(_mm_add_epi32(tbp, _mm_madd_epi16(_mm_srl_epi32(v1, pys), stride)), shift);
        if constexpr (kClass == kTexIndexed) {
            // Layouts that do not split: the whole in-page table, indexed
            // by the row and column within the page.
            const __m128i ri0 = _mm_sll_epi32(_mm_and_si128(v0, my), pxs);
            const __m128i ri1 = _mm_sll_epi32(_mm_and_si128(v1, my), pxs);
            const __m128i ci0 = _mm_and_si128(u0, mx), ci1 = _mm_and_si128(u1, mx);
            alignas(16) u32 base[4][4], index[4][4];
            _mm_store_si128(reinterpret_cast<__m128i*>(base[0]), _mm_add_epi32(rb0, cb0));
            _mm_store_si128(reinterpret_cast<__m128i*>(base[1]), _mm_add_epi32(rb0, cb1));
            _mm_store_si128(reinterpret_cast<__m128i*>(base[2]), _mm_add_epi32(rb1, cb0));
            _mm_store_si128(reinterpret_cast<__m128i*>(base[3]), _mm_add_epi32(rb1, cb1));
            _mm_store_si128(reinterpret_cast<__m128i*>(index[0]), _mm_or_si128(ri0, ci0));
            _mm_store_si128(reinterpret_cast<__m128i*>(index[1]), _mm_or_si128(ri0, ci1));
            _mm_store_si128(reinterpret_cast<__m128i*>(index[2]), _mm_or_si128(ri1, ci0));
            _mm_store_si128(reinterpret_cast<__m128i*>(index[3]), _mm_or_si128(ri1, ci1));
            for (int j = 0; j < 4; ++j)
                for (int k = 0; k < 4; ++k)
                    o[j][k] = (base[j][k] + l.table[index[j][k]]) & l.units_mask;
        } else {
            _mm_store_si128(reinterpret_cast<__m128i*>(cm[0]), _mm_and_si128(u0, mx));
            _mm_store_si128(reinterpret_cast<__m128i*>(cm[1]), _mm_and_si128(u1, mx));
            _mm_store_si128(reinterpret_cast<__m128i*>(rm[0]), _mm_and_si128(v0, my));
            _mm_store_si128(reinterpret_cast<__m128i*>(rm[1]), _mm_and_si128(v1, my));
            const __m128i ct0 = _mm_set_epi32(l.tx[cm[0][3]], l.tx[cm[0][2]], l.tx[cm[0][1]], l.tx[cm[0][0]]);
            const __m128i ct1 = _mm_set_epi32(l.tx[cm[1][3]], l.tx[cm[1][2]], l.tx[cm[1][1]], l.tx[cm[1][0]]);
            const __m128i rt0 = _mm_set_epi32(l.ty[rm[0][3]], l.ty[rm[0][2]], l.ty[rm[0][1]], l.ty[rm[0][0]]);
            const __m128i rt1 = _mm_set_epi32(l.ty[rm[1][3]], l.ty[rm[1][2]], l.ty[rm[1][1]], l.ty[rm[1][0]]);
            auto offset = [&](__m128i rb, __m128i rt, __m128i cb, __m128i ct) __attribute__((always_inline)) {
                return _mm_and_si128(_mm_add_epi32(_mm_add_epi32(rb, cb), _mm_xor_si128(rt, ct)), units);
            };
            _mm_store_si128(reinterpret_cast<__m128i*>(o[0]), offset(rb0, rt0, cb0, ct0));
            _mm_store_si128(reinterpret_cast<__m128i*>(o[1]), offset(rb0, rt0, cb1, ct1));
            _mm_store_si128(reinterpret_cast<__m128i*>(o[2]), offset(rb1, rt1, cb0, ct0));
            _mm_store_si128(reinterpret_cast<__m128i*>(o[3]), offset(rb1, rt1, cb1, ct1));
        }
        auto texels = [&](const u32* at) __attribute__((always_inline)) {
            return _mm_set_epi32(static_cast<int>(ReadTexel<kClass>(l, e, at[3])),
                                 static_cast<int>(ReadTexel<kClass>(l, e, at[2])),
                                 static_cast<int>(ReadTexel<kClass>(l, e, at[1])),
                                 static_cast<int>(ReadTexel<kClass>(l, e, at[0])));
        };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         BilinearFour(texels(o[0]), texels(o[1]), texels(o[2]), texels(o[3]),
                                      _mm_load_si128(reinterpret_cast<const __m128i*>(f[0])),
                                      _mm_load_si128(reinterpret_cast<const __m128i*>(f[1]))));
    }
}

// What the texture needs for the primitive: a level of a split layout read
// directly, or the general sampler.
struct Texturing {
    TexLevel level{};
    TexLevel4 level4{};
    TexExpand expand;
    int tex_class = kTex32;
    bool direct = false;
    bool linear = false;
    LodChoice lod;
    u32 tw_log2 = 0, th_log2 = 0;  // level 0's size, which S and T scale to
    const DecodedTexture* decoded = nullptr;  // bilinear reads from a decoded copy
};

// The palette of an indexed texture as RGBA8, entry i the colour of index i.
// Expanding it costs more than a small primitive's pixels, so each thread keeps
// the last few, known by the CLUT buffer's generation and the settings that
// pick and expand entries.
const u32* ExpandedPalette(const TextureEnv& tex, const ClutBuffer& clut);

// Sets up the texture's direct reads when the level is fixed and the format
// has a split layout, or is indexed and `clut` is given; `direct` stays false
// otherwise.
void MakeTexturing(const TextureEnv& tex, const LocalMemory& memory, const LodChoice& lod, Texturing& t,
                   const ClutBuffer* clut = nullptr);

}  // namespace pipeline

// Stored texel (i, j) is texel (wrap(i - 1), wrap(j - 1)) of the level, so
// that the bilinear pair of raw columns c, c + 1 is stored columns
// idx(c), idx(c) + 1 with idx(c) = clamp(((c + add) & and) + plus, 0, size):
// for REPEAT (c & (size - 1)) + 1, for CLAMP clamp(c + 1, 0, size).  Rows
// likewise.  The texels are kept in pairs of rows: pair row j (0 .. height)
// holds stored rows j and j + 1 interleaved, texels[2 (j stride + i)] being
// stored texel (i, j) and the next one (i, j + 1), so that the four texels
// of a bilinear sample at stored column i and row j are the four words from
// texels + 2 (j stride + i): (i, j), (i, j + 1), (i + 1, j), (i + 1, j + 1).
// Every stored row but the first and the last is kept twice, so a copy
// takes about twice the level's bytes.
// Cache-line aligned, here and in TriangleState: the reference count next
// to the record changes on the sending thread while draw threads read it.
struct alignas(64) DecodedTexture {
    u32 level = 0;
    u32 width = 0, height = 0;
    u32 stride = 0;  // width + 2, in pairs
    struct Axis {
        s32 add, andm, plus, hi;
        bool repeat;
    };
    Axis u{}, v{};
    std::vector<u32> texels;
};

namespace pipeline {

// DecodeTexture's work (pipeline.h): the calling thread's copy, or null; the
// copy stays with the thread until its next call.
const DecodedTextureRef* FindDecodedTextureQuick(const DrawEnv& env, const LocalMemory& memory,
                                                 const ClutBuffer& clut, float q, const TargetBlocks& targets,
                                                 u32 pixels);

// Asks for the lines of a run of pixels' texel quads in a decoded level
// (the first pixel's and the last word of the pixel `last` after it;
// offsets written just before are read back rather than taken out of a
// register).
inline void PrefetchTexelQuads(const u32* texels, const volatile u32* offsets, int last)
{
    _mm_prefetch(reinterpret_cast<const char*>(texels + 2 * offsets[0]), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(texels + 2 * offsets[last] + 3), _MM_HINT_T0);
}

// The four texels of the decoded sample at offset o: (i, j), (i, j + 1),
// (i + 1, j), (i + 1, j + 1).
inline __m128i TexelQuad(const u32* texels, u32 o)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + 2 * static_cast<size_t>(o)));
}

// The most pixels SampleDecodedSpan takes: a batch of triangle pixels and
// the lanes of its last partial quad.
constexpr int kDecodedSpanMost = 3 * kChunk + 4;

// Bilinear samples from a decoded level for n pixels (a multiple of four)
// whose texture coordinates are us[i], vs[i]: the same raw columns, rows and
// weights as SampleBilinearSpan, each pixel's four texels read with one
// load, and given to sink(i, samples of pixels i .. i + 3).  kRepeat: both
// axes REPEAT.
template <bool kRepeat, class Sink>
__attribute__((always_inline)) inline void SampleDecodedSpan(const DecodedTexture& d, const s32* us, const s32* vs,
                                                             int n, Sink sink)
{
    const __m128i level = _mm_cvtsi32_si128(static_cast<int>(d.level));
    const __m128i eight = _mm_set1_epi32(8), fifteen = _mm_set1_epi32(15);
    const __m128i addu = _mm_set1_epi32(d.u.add), andu = _mm_set1_epi32(d.u.andm), plusu = _mm_set1_epi32(d.u.plus);
    const __m128i addv = _mm_set1_epi32(d.v.add), andv = _mm_set1_epi32(d.v.andm), plusv = _mm_set1_epi32(d.v.plus);
    const __m128i hiu = _mm_set1_epi32(d.u.hi), hiv = _mm_set1_epi32(d.v.hi), zero = _mm_setzero_si128();
    const __m128i stride = _mm_set1_epi32(static_cast<int>(d.stride));
    const u32* const texels = d.texels.data();
    // First the texel offsets and weights of all n pixels, each quad's texel
    // lines asked for as soon as its offsets are known; then the filter, the
    // lines by then on their way.
    alignas(16) u32 offsets[kDecodedSpanMost];
    alignas(16) u32 weights_u[kDecodedSpanMost];
    alignas(16) u32 weights_v[kDecodedSpanMost];
    for (int i = 0; i < n; i += 4) {
        const __m128i u = _mm_sub_epi32(_mm_sra_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(us + i)), level), eight);
        const __m128i v = _mm_sub_epi32(_mm_sra_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(vs + i)), level), eight);
        __m128i cu, cv;
        if constexpr (kRepeat) {
            cu = _mm_add_epi32(_mm_and_si128(_mm_srai_epi32(u, 4), andu), plusu);
            cv = _mm_add_epi32(_mm_and_si128(_mm_srai_epi32(v, 4), andv), plusv);
        } else {
            cu = Max32(Min32(_mm_add_epi32(_mm_and_si128(_mm_add_epi32(_mm_srai_epi32(u, 4), addu), andu), plusu), hiu), zero);
            cv = Max32(Min32(_mm_add_epi32(_mm_and_si128(_mm_add_epi32(_mm_srai_epi32(v, 4), addv), andv), plusv), hiv), zero);
        }
        // Stored rows and strides are below 2^11: one 16-bit multiply-add.
        _mm_store_si128(reinterpret_cast<__m128i*>(offsets + i), _mm_add_epi32(_mm_madd_epi16(cv, stride), cu));
        _mm_store_si128(reinterpret_cast<__m128i*>(weights_u + i), _mm_and_si128(u, fifteen));
        _mm_store_si128(reinterpret_cast<__m128i*>(weights_v + i), _mm_and_si128(v, fifteen));
        PrefetchTexelQuads(texels, offsets + i, 3);
    }
    for (int i = 0; i < n; i += 4) {
        const u32* const o = offsets + i;
        const __m128i q0 = TexelQuad(texels, o[0]), q1 = TexelQuad(texels, o[1]);
        const __m128i q2 = TexelQuad(texels, o[2]), q3 = TexelQuad(texels, o[3]);
        // The quads (t00, t01, t10, t11) of the four pixels transposed.
        const __m128i left01 = _mm_unpacklo_epi32(q0, q1), left23 = _mm_unpacklo_epi32(q2, q3);
        const __m128i right01 = _mm_unpackhi_epi32(q0, q1), right23 = _mm_unpackhi_epi32(q2, q3);
        const __m128i t00 = _mm_unpacklo_epi64(left01, left23), t01 = _mm_unpackhi_epi64(left01, left23);
        const __m128i t10 = _mm_unpacklo_epi64(right01, right23), t11 = _mm_unpackhi_epi64(right01, right23);
        sink(i, BilinearFour(t00, t10, t01, t11, _mm_load_si128(reinterpret_cast<const __m128i*>(weights_u + i)),
                             _mm_load_si128(reinterpret_cast<const __m128i*>(weights_v + i))));
    }
}

// The texel quads (TexelQuad) of pixels k and k + 4 of a group of eight
// whose offsets are o, in the low and the high half.  The offsets are read
// from memory each time they are used: made into scalars from a register
// they take two instructions each and, with the few general registers of
// this target, spill anyway.
GS_AVX2 __m256i TexelQuads(const u32* texels, const volatile u32* o, int k)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(TexelQuad(texels, o[k])), TexelQuad(texels, o[k + 4]), 1);
}

}  // namespace pipeline
}  // namespace console::gs
