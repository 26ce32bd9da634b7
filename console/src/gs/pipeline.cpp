#include "gs/pipeline.h"

// GCC 12's AVX-512 intrinsics fill their unused operands with undefined
// vectors that its own uninitialised-value checks then report.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <emmintrin.h>
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <type_traits>
#include <vector>

#include "gs/drawthreads.h"
#include "gs/pixel.h"
#include "gs/simd.h"
#include "gs/texsample.h"

namespace console::gs {
namespace {

constexpr double kTexelLimit16 = 1048576.0;
// Pixels shaded before they are written.
constexpr int kChunk = 64;

// ---------------------------------------------------------------------------
// Texel addressing.  The in-page offset of the 32- and 16-bit layouts is an
// exclusive or of a part that depends only on x and a part that depends only
// on y, so a texel's offset is a row part plus a column part plus the two
// table entries combined; the 8- and 4-bit layouts rotate pixels by row and
// are read through the general sampler.

struct SplitLayout {
    bool split = false;
    u16 tx[128] = {};  // carries table[0] (not 0 in the depth layouts)
    u16 ty[128] = {};
};

SplitLayout Split(const Layout& layout)
{
    SplitLayout s;
    const u32 w = 1u << layout.page_shift_x, h = 1u << layout.page_shift_y;
    if (w > 128 || h > 128)
        return s;
    for (u32 x = 0; x < w; ++x)
        s.tx[x] = layout.table[x];
    for (u32 y = 0; y < h; ++y)
        s.ty[y] = static_cast<u16>(layout.table[y << layout.page_shift_x] ^ layout.table[0]);
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x)
            if (layout.table[(y << layout.page_shift_x) | x] != (s.tx[x] ^ s.ty[y]))
                return s;
    s.split = true;
    return s;
}

const SplitLayout& SplitOf(Psm psm)
{
    static const auto table = [] {
        std::array<SplitLayout, 64> t{};
        for (Psm p : kAllPsms)
            t[static_cast<u32>(p)] = Split(LayoutOf(p));
        return t;
    }();
    return table[static_cast<u32>(psm) & 63];
}

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

// Signed 32-bit minimum and maximum, which SSE2 lacks.
inline __m128i Min32(__m128i a, __m128i b)
{
    const __m128i gt = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(gt, b), _mm_andnot_si128(gt, a));
}

inline __m128i Max32(__m128i a, __m128i b)
{
    const __m128i gt = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(gt, a), _mm_andnot_si128(gt, b));
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

// ---------------------------------------------------------------------------
// Texture function and fog on packed RGBA8, in 16-bit lanes; the saturating
// pack is the reference's min(255, ...).

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

// Zeroes entries n .. of the last quad of a 16-byte aligned array that n
// does not fill (a few stores, where a loop would become a library call).
inline void ZeroTail(u32* a, int n)
{
    if ((n & 3) == 0)
        return;
    __m128i* q = reinterpret_cast<__m128i*>(a + (n & ~3));
    const __m128i keep = _mm_cmpgt_epi32(_mm_set1_epi32(n & 3), _mm_set_epi32(3, 2, 1, 0));
    _mm_store_si128(q, _mm_and_si128(_mm_load_si128(q), keep));
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

// ---------------------------------------------------------------------------
// Writing stage: depth test and write, blending, dithering, clamp, FBA and
// the store, for a span of shaded pixels.

enum FrameClass { kFrame32, kFrame24, kFrame16 };
enum DepthClass { kNoDepth, kDepth32, kDepth24, kDepth16 };

// The depth test of four pixels, its values in vector form.  The Z values are clamped to ZMAX; 24- and 16-bit Z buffers then
// hold values below 2^24 on both sides, so the test is one signed
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

void MakeVectors(WriterState& s)
{
    s.depth_quad = DepthQuadTest(s.zmax, s.zbias, s.zgt, s.zeq, s.zall);
    s.blend_quad = BlendQuad(s.sel_a, s.sel_b, s.sel_c, s.sel_d, static_cast<u32>(s.fix), s.pabe, s.colclamp);
    s.finish_quad = FinishQuad{_mm_set1_epi32(static_cast<int>(s.fba)), s.colclamp};
}


// A value of the frame's format (16-bit ones already narrowed) stored at an
// offset of its layout; 24-bit targets keep the top byte.
// With kMasked the bits of `keep` come from the stored pixel: FBMSK merges
// the 32-bit colour with the widened old pixel before narrowing, and the
// narrowing maps each kept bit to one bit of the 16-bit pixel, so this is the
// same merge done after it.
template <int kFrame, bool kMasked = false>
__attribute__((always_inline)) inline void StoreFrame(const WriterState& w, u32 offset, u32 value)
{
    if constexpr (kFrame == kFrame32) {
        u32& word = w.words[offset & (kMemoryWords - 1)];
        word = kMasked ? (word & w.keep) | (value & ~w.keep) : value;
    } else if constexpr (kFrame == kFrame24) {
        u32& word = w.words[offset & (kMemoryWords - 1)];
        const u32 keep = kMasked ? w.keep | 0xFF000000u : 0xFF000000u;
        word = (word & keep) | (value & ~keep);
    } else {
        u16& half = w.halves[offset & (kMemoryBytes / 2 - 1)];
        half = static_cast<u16>(kMasked ? (half & w.keep) | (value & ~w.keep) : value);
    }
}

template <int kDepth>
__attribute__((always_inline)) inline void StoreDepth(const WriterState& w, u32 offset, u32 zs)
{
    if constexpr (kDepth == kDepth32)
        w.words[offset & (kMemoryWords - 1)] = zs;
    else if constexpr (kDepth == kDepth24)
        w.words[offset & (kMemoryWords - 1)] = (w.words[offset & (kMemoryWords - 1)] & 0xFF000000u) | (zs & 0xFFFFFF);
    else if constexpr (kDepth == kDepth16)
        w.halves[offset & (kMemoryBytes / 2 - 1)] = static_cast<u16>(zs);
}

// The depth test and Z write of pixel x: false when the pixel is dropped.
template <int kDepth>
__attribute__((always_inline)) inline bool DepthStage(const WriterState& w, const PixelRow& row, u32 x, u32 z)
{
    if constexpr (kDepth == kNoDepth) {
        return true;
    } else {
        const u32 offset = row.DepthOffset(x);
        const u32 zs = std::min(z, w.zmax);
        u32 stored;
        if constexpr (kDepth == kDepth32)
            stored = w.words[offset & (kMemoryWords - 1)];
        else if constexpr (kDepth == kDepth24)
            stored = w.words[offset & (kMemoryWords - 1)] & 0xFFFFFF;
        else
            stored = w.halves[offset & (kMemoryBytes / 2 - 1)];
        if (static_cast<s64>(zs) + w.zbias < static_cast<s64>(stored))
            return false;
        if (w.zwrite)
            StoreDepth<kDepth>(w, offset, zs);
        return true;
    }
}

// RowCursor::Offset of x .. x + 3 in four lanes: one walk of the row's
// table when the four pixels lie in one page.
__attribute__((always_inline)) inline __m128i Offsets4(const RowCursor& c, u32 x)
{
    const u32 in_page = x & c.MaskX();
    if (in_page + 3 > c.MaskX())
        return _mm_set_epi32(static_cast<int>(c.Offset(x + 3)), static_cast<int>(c.Offset(x + 2)),
                             static_cast<int>(c.Offset(x + 1)), static_cast<int>(c.Offset(x)));
    const __m128i t = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c.RowTable() + in_page)),
                                         _mm_setzero_si128());
    return _mm_and_si128(_mm_add_epi32(_mm_set1_epi32(static_cast<int>(c.PageBase(x))), t),
                         _mm_set1_epi32(static_cast<int>(c.UnitsMask())));
}

// The depth stage of the four pixels x .. x + 3 whose Z values are `z`, lanes
// from `lanes` on left out: the bits of the pixels that pass.  Only for
// primitives whose frame and Z buffer lie apart, so that Z may be written
// before the colours; the four Z values are different memory.
template <int kDepth>
__attribute__((always_inline)) inline int DepthFour(const WriterState& w, const PixelRow& row, u32 x, __m128i z,
                                                    int lanes)
{
    if constexpr (kDepth == kNoDepth) {
        return lanes;
    } else {
        alignas(16) u32 offs[4];
        const __m128i o = Offsets4(row.DepthRow(), x);
        _mm_store_si128(reinterpret_cast<__m128i*>(offs), o);
        __m128i raw;
        if constexpr (kDepth == kDepth16)
            raw = _mm_set_epi32(w.halves[offs[3]], w.halves[offs[2]], w.halves[offs[1]], w.halves[offs[0]]);
        else
            raw = _mm_set_epi32(static_cast<int>(w.words[offs[3]]), static_cast<int>(w.words[offs[2]]),
                                static_cast<int>(w.words[offs[1]]), static_cast<int>(w.words[offs[0]]));
        const __m128i stored = kDepth == kDepth24 ? _mm_and_si128(raw, _mm_set1_epi32(0xFFFFFF)) : raw;
        const __m128i sign = _mm_set1_epi32(static_cast<int>(0x80000000u));
        const __m128i zf = _mm_xor_si128(z, sign), maxf = _mm_set1_epi32(static_cast<int>(w.zmax ^ 0x80000000u));
        const __m128i over = _mm_cmpgt_epi32(zf, maxf);
        const __m128i zsf = _mm_or_si128(_mm_and_si128(over, maxf), _mm_andnot_si128(over, zf));
        const __m128i zs = _mm_xor_si128(zsf, sign);
        const __m128i pass = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(_mm_cmpgt_epi32(zsf, _mm_xor_si128(stored, sign)),
                                       _mm_set1_epi32(static_cast<int>(w.zgt))),
                         _mm_and_si128(_mm_cmpeq_epi32(zs, stored), _mm_set1_epi32(static_cast<int>(w.zeq)))),
            _mm_set1_epi32(static_cast<int>(w.zall)));
        const int bits = _mm_movemask_ps(_mm_castsi128_ps(pass)) & lanes;
        if (w.zwrite && bits) {
            alignas(16) u32 v[4];
            __m128i out = zs;
            if constexpr (kDepth == kDepth24) {
                const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
                out = _mm_or_si128(_mm_and_si128(raw, top), _mm_andnot_si128(top, zs));
            }
            _mm_store_si128(reinterpret_cast<__m128i*>(v), out);
            if (bits == 15) {
                for (int k = 0; k < 4; ++k) {
                    if constexpr (kDepth == kDepth16)
                        w.halves[offs[k]] = static_cast<u16>(v[k]);
                    else
                        w.words[offs[k]] = v[k];
                }
                return bits;
            }
            for (int k = 0; k < 4; ++k)
                if (bits & (1 << k)) {
                    if constexpr (kDepth == kDepth16)
                        w.halves[offs[k]] = static_cast<u16>(v[k]);
                    else
                        w.words[offs[k]] = v[k];
                }
        }
        return bits;
    }
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

// The unblended span: colours finished four at a time, then the depth test
// and the stores pixel by pixel.
template <int kFrame, int kDepth, bool kDither, bool kMasked>
void WriteSpanOpaque(const WriterState& w, const PixelRow& row, u32 x0, int n, const u32* colors, const u32* depths)
{
    alignas(16) u32 out[kChunk];
    __m128i dither_lo = _mm_setzero_si128(), dither_hi = _mm_setzero_si128();
    if constexpr (kDither)
        DitherFour(w, row, x0, dither_lo, dither_hi);
    const FinishQuad& finish = w.finish_quad;
    for (int i = 0; i < n; i += 4)
        _mm_store_si128(reinterpret_cast<__m128i*>(out + i),
                        FinishFour<kFrame, kDither>(finish, dither_lo, dither_hi,
                                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(colors + i))));
    if (w.disjoint && n >= 4) {
        for (int i = 0; i < n; i += 4) {
            const u32 x = x0 + static_cast<u32>(i);
            const int bits = DepthFour<kDepth>(w, row, x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(depths + i)),
                                               n - i >= 4 ? 15 : (1 << (n - i)) - 1);
            if (!bits)
                continue;
            alignas(16) u32 offs[4];
            const __m128i o = Offsets4(row.FrameRow(), x);
            _mm_store_si128(reinterpret_cast<__m128i*>(offs), o);
            if (bits == 15) {
                for (int k = 0; k < 4; ++k)
                    StoreFrame<kFrame, kMasked>(w, offs[k], out[i + k]);
                continue;
            }
            for (int k = 0; k < 4; ++k)
                if (bits & (1 << k))
                    StoreFrame<kFrame, kMasked>(w, offs[k], out[i + k]);
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const u32 x = x0 + static_cast<u32>(i);
        if (!DepthStage<kDepth>(w, row, x, depths[i]))
            continue;
        StoreFrame<kFrame, kMasked>(w, row.FrameOffset(x), out[i]);
    }
}

// The destination as blending sees it, from the frame pixel at `offset`.
template <int kFrame>
__attribute__((always_inline)) inline u32 ReadDestination(const WriterState& w, u32 offset)
{
    if constexpr (kFrame == kFrame16)
        return Expand16(w.halves[offset & (kMemoryBytes / 2 - 1)]);
    else if constexpr (kFrame == kFrame24)
        return (w.words[offset & (kMemoryWords - 1)] & 0xFFFFFF) | 0x80000000u;
    else
        return w.words[offset & (kMemoryWords - 1)];
}

// The blending equations the writers are specialised for: any ALPHA
// selectors (with or without PABE), and the usual mix (Cs - Cd) x As + Cd
// without PABE.
enum BlendEq { kNoBlend, kBlendAny, kBlendMix };

int BlendEqOf(const DrawEnv& env)
{
    if (!env.blend)
        return kNoBlend;
    return env.sel_a == 0 && env.sel_b == 1 && env.sel_c == 0 && env.sel_d == 1 && !env.pabe ? kBlendMix : kBlendAny;
}

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

template <int kFrame, int kDepth, bool kBlend, bool kDither, bool kMasked>
void WriteSpan(const WriterState& w, const PixelRow& row, u32 x0, int n, const u32* colors, const u32* depths)
{
    u32* const words = w.words;
    u16* const halves = w.halves;
    if (kBlend && w.disjoint) {
        // Depth stages and destinations first, then the blend four pixels
        // at a time, then the frame writes.
        alignas(16) u32 dest[kChunk];
        alignas(16) u32 out[kChunk];
        alignas(16) u32 offsets[kChunk];
        int pass[kChunk / 4];
        for (int i = 0; i < n; i += 4) {
            const int bits = DepthFour<kDepth>(w, row, x0 + static_cast<u32>(i),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(depths + i)),
                                               n - i >= 4 ? 15 : (1 << (n - i)) - 1);
            pass[i / 4] = bits;
            _mm_store_si128(reinterpret_cast<__m128i*>(offsets + i), Offsets4(row.FrameRow(), x0 + static_cast<u32>(i)));
            for (int k = 0; k < 4; ++k)
                dest[i + k] = ReadDestination<kFrame>(w, offsets[i + k]);
        }
        __m128i dither_lo = _mm_setzero_si128(), dither_hi = _mm_setzero_si128();
        if constexpr (kDither)
            DitherFour(w, row, x0, dither_lo, dither_hi);
        const BlendQuad& masks = w.blend_quad;
        const FinishQuad& finish = w.finish_quad;
        for (int i = 0; i < n; i += 4) {
            const __m128i c = BlendFour<kBlendAny, kDither>(masks, _mm_loadu_si128(reinterpret_cast<const __m128i*>(colors + i)),
                                                 _mm_load_si128(reinterpret_cast<const __m128i*>(dest + i)),
                                                 dither_lo, dither_hi);
            _mm_store_si128(reinterpret_cast<__m128i*>(out + i),
                            FinishFour<kFrame, false>(finish, dither_lo, dither_hi, c));
        }
        for (int i = 0; i < n; i += 4) {
            const int bits = pass[i / 4];
            for (int k = 0; k < 4; ++k)
                if (bits & (1 << k))
                    StoreFrame<kFrame, kMasked>(w, offsets[i + k], out[i + k]);
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const u32 x = x0 + static_cast<u32>(i);
        if (!DepthStage<kDepth>(w, row, x, depths[i]))
            continue;
        const u32 foff = row.FrameOffset(x);
        u32 rgba = colors[i];
        if constexpr (kBlend || kDither) {
            Color out = UnpackColor(rgba);
            if constexpr (kBlend) {
                if (!(w.pabe && out.a < 0x80)) {
                    u32 dest;
                    if constexpr (kFrame == kFrame16)
                        dest = Expand16(halves[foff & (kMemoryBytes / 2 - 1)]);
                    else if constexpr (kFrame == kFrame24)
                        dest = (words[foff & (kMemoryWords - 1)] & 0xFFFFFF) | 0x80000000u;
                    else
                        dest = words[foff & (kMemoryWords - 1)];
                    out = BlendColor(w.sel_a, w.sel_b, w.sel_c, w.sel_d, w.fix, out, UnpackColor(dest));
                }
            }
            DitherAndClamp(kDither ? w.dimx[row.Y() & 3][x & 3] : 0, w.colclamp, out);
            rgba = PackColor(out);
        }
        rgba |= w.fba;
        StoreFrame<kFrame, kMasked>(w, foff, kFrame == kFrame16 ? Narrow16(rgba) : rgba);
    }
}

// Per PSM code, whether its layout has pixels of `unit` and every run of
// `run` pixels starting at a multiple of `run` in a page row passes
// `fits(table entries of the run)`.
template <class Fits>
std::array<bool, 64> LayoutsWhoseRuns(Unit unit, u32 run, Fits fits)
{
    std::array<bool, 64> t{};
    for (Psm p : kAllPsms) {
        const Layout& l = LayoutOf(p);
        bool ok = l.unit == unit && (1u << l.page_shift_x) >= run;
        const u32 w = 1u << l.page_shift_x, h = 1u << l.page_shift_y;
        for (u32 y = 0; ok && y < h; ++y)
            for (u32 x = 0; ok && x < w; x += run)
                ok = fits(l.table + (y << l.page_shift_x) + x);
        t[static_cast<u32>(p)] = ok;
    }
    return t;
}

// Layouts whose four pixels x .. x + 3 (x a multiple of four) are the words
// o, o + 1, o + 4 and o + 5 of their column, o being pixel x's offset: the
// 32-bit colour and depth layouts.  Such a quad is two 64-bit loads or stores.
bool QuadColumns(Psm psm)
{
    static const auto table = LayoutsWhoseRuns(Unit::kWord, 4, [](const u16* r) {
        return r[1] == r[0] + 1 && r[2] == r[0] + 4 && r[3] == r[0] + 5;
    });
    return table[static_cast<u32>(psm) & 63];
}

// Layouts whose eight pixels x .. x + 7 (x a multiple of eight) are the
// words o, o + 1, o + 4, o + 5, o + 8, o + 9, o + 12 and o + 13 of their
// column: four 64-bit loads or stores, none past the column's last word.
bool OctetColumns(Psm psm)
{
    static const auto table = LayoutsWhoseRuns(Unit::kWord, 8, [](const u16* r) {
        constexpr u16 kWords[8] = {0, 1, 4, 5, 8, 9, 12, 13};
        bool ok = (r[0] & 15) == 0 || (r[0] & 15) == 2;
        for (u32 k = 0; ok && k < 8; ++k)
            ok = r[k] == r[0] + kWords[k];
        return ok;
    });
    return table[static_cast<u32>(psm) & 63];
}

// OctetColumns layouts whose rows pair up in their columns: the eight pixels
// x .. x + 7 of an even row at word o with o & 15 == 0 and those of the row
// below at o + 2, so that the two rows' octets are the sixteen words of one
// 64-byte line, qwords 0, 2, 4, 6 the upper row's and 1, 3, 5, 7 the lower's.
bool PairedColumns(Psm psm)
{
    static const auto table = [] {
        std::array<bool, 64> t{};
        for (Psm p : kAllPsms) {
            const Layout& l = LayoutOf(p);
            const u32 w = 1u << l.page_shift_x, h = 1u << l.page_shift_y;
            bool ok = OctetColumns(p) && h % 2 == 0;
            for (u32 y = 0; ok && y < h; y += 2)
                for (u32 x = 0; ok && x < w; x += 8) {
                    const u16* const r = l.table + (y << l.page_shift_x) + x;
                    ok = (r[0] & 15) == 0 && r[w] == r[0] + 2;
                }
            t[static_cast<u32>(p)] = ok;
        }
        return t;
    }();
    return table[static_cast<u32>(psm) & 63];
}

// Layouts of 16-bit pixels whose sixteen pixels x .. x + 15 (x a multiple of
// 16) lie in the words w, w + 1, w + 4, w + 5, w + 8, w + 9, w + 12, w + 13,
// pixels x .. x + 7 in their low halves and x + 8 .. x + 15 in their high
// ones, w being the word of pixel x: the 16-bit colour and depth layouts.
bool HalfColumns(Psm psm)
{
    static const auto table = LayoutsWhoseRuns(Unit::kHalf, 16, [](const u16* r) {
        constexpr u16 kWords[8] = {0, 1, 4, 5, 8, 9, 12, 13};
        bool ok = (r[0] & 1) == 0;
        for (u32 k = 0; ok && k < 8; ++k)
            ok = r[k] == r[0] + 2 * kWords[k] && r[k + 8] == r[k] + 1;
        return ok;
    });
    return table[static_cast<u32>(psm) & 63];
}

// The words of the quad whose first pixel is at offset o, in pixel order.
__attribute__((always_inline)) inline __m128i LoadQuad(const u32* words, u32 o)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(words + o)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(words + o + 4)));
}

__attribute__((always_inline)) inline void StoreQuad(u32* words, u32 o, __m128i v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(words + o), v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(words + o + 4), _mm_unpackhi_epi64(v, v));
}

// The offset of pixel x (a multiple of four) of a row: quads never cross a page.
__attribute__((always_inline)) inline u32 QuadOffset(const RowCursor& c, u32 x)
{
    return (c.PageBase(x) + c.RowTable()[x & c.MaskX()]) & c.UnitsMask();
}

// Lanes of a quad as all-ones 32-bit masks: those from lane k on, and the
// first k.
alignas(16) constexpr s32 kLanesFrom[4][4] = {{-1, -1, -1, -1}, {0, -1, -1, -1}, {0, 0, -1, -1}, {0, 0, 0, -1}};
alignas(16) constexpr s32 kLanesBelow[5][4] = {
    {0, 0, 0, 0}, {-1, 0, 0, 0}, {-1, -1, 0, 0}, {-1, -1, -1, 0}, {-1, -1, -1, -1}};

__attribute__((always_inline)) inline __m128i LanesFrom(u32 k)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kLanesFrom[k]));
}

__attribute__((always_inline)) inline __m128i LanesBelow(u32 k)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kLanesBelow[k]));
}

// Expand16 of four 16-bit pixels, one in the low half of each lane.
inline __m128i Expand16Four(__m128i p)
{
    const __m128i r = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x1F)), 3);
    const __m128i g = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x3E0)), 6);
    const __m128i b = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x7C00)), 9);
    const __m128i a = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x8000)), 16);
    return _mm_or_si128(_mm_or_si128(r, g), _mm_or_si128(b, a));
}

// A span written in the quads of its row's columns (QuadColumns frame and
// depth layouts, frame and Z apart, or no depth stage): each aligned quad of
// pixels is loaded, tested, blended and stored whole, pixels of the quad
// outside the span or failing the test put back as they were.  The quads
// between the first and the last are whole, and are walked a page at a
// time.  `colors` and `depths` are read from three entries before the
// span's first to three after its last (lanes left unused).
template <int kFrame, int kDepth, int kBlend, bool kDither, bool kMasked>
class QuadSpanWriter {
    static constexpr bool k16 = kFrame == kFrame16;
    static constexpr bool kZ16 = kDepth == kDepth16;
    // Bits of the frame pixel a write keeps (FBMSK, a 24-bit frame's top byte).
    static constexpr bool kKeeps = kMasked || kFrame == kFrame24;

public:
    // What stays the same for every span of the writer's rows: the layouts'
    // masks and shifts and the vector constants.
    __attribute__((always_inline)) QuadSpanWriter(const WriterState& w, const PixelRow& row)
        : w_(w),
          words_(w.words),
          fmx_(row.FrameRow().MaskX()),
          dmx_(row.DepthRow().MaskX()),
          fsx_(row.FrameRow().ShiftX()),
          dsx_(row.DepthRow().ShiftX()),
          fps_(row.FrameRow().PageShift()),
          dps_(row.DepthRow().PageShift()),
          funits_(row.FrameRow().UnitsMask()),
          dunits_(row.DepthRow().UnitsMask()),
          // Quads are walked a page of both buffers at a time.
          pmx_(kDepth == kNoDepth ? fmx_ : std::min(fmx_, dmx_)),
          zwrite_(w.zwrite)
    {
    }

    // The span of n pixels from x0 of `row` (a row of the same layouts).
    __attribute__((always_inline)) void Span(const PixelRow& row, u32 x0, int n, const u32* colors,
                                             const u32* depths) const
    {
        if (n <= 0)
            return;
        // The rows' values are read before the stores, which the compiler
        // cannot tell apart from them; the vector constants are the writer's
        // own, read where they are used.
        const WriterState& w = w_;
        u32* const words = words_;
        const RowCursor& fr = row.FrameRow();
        const RowCursor& dr = row.DepthRow();
        const u16* const ftab = fr.RowTable();
        const u16* const dtab = dr.RowTable();
        const u32 fmx = fmx_, dmx = dmx_;
        const u32 fpage = fr.PageBase(0), dpage = dr.PageBase(0);
        const u32 fsx = fsx_, dsx = dsx_, fps = fps_, dps = dps_;
        const u32 funits = funits_, dunits = dunits_;
        const u32 pmx = pmx_;
        const __m128i keep_not = _mm_set1_epi32(
            static_cast<int>(~((kMasked ? w.keep : 0u) | (kFrame == kFrame24 ? 0xFF000000u : 0u))));
        const DepthQuadTest& depth_test = w.depth_quad;
        const bool zwrite = zwrite_;
        const BlendQuad& blend = w.blend_quad;
        const FinishQuad& finish = w.finish_quad;
        __m128i dither_lo = _mm_setzero_si128(), dither_hi = _mm_setzero_si128();
        if constexpr (kDither)
            DitherFour(w, row, 0, dither_lo, dither_hi);
        const __m128i low16 = _mm_set1_epi32(0xFFFF);
        const __m128i ones = _mm_set1_epi32(-1);

        // The quad at x, its lanes `lanes` (all of them when `whole`), in the
        // pages whose bases are fb and db.
        auto quad = [&](u32 x, __m128i lanes, bool whole, u32 fb, u32 db) __attribute__((always_inline)) {
            const int i = static_cast<int>(x - x0);
            __m128i m = lanes;
            if constexpr (kDepth != kNoDepth) {
                // 16-bit Z values are one half of each word (HalfColumns).
                u32 zo = (db + dtab[x & dmx]) & dunits;
                __m128i zshift = _mm_setzero_si128();
                if constexpr (kZ16) {
                    zshift = _mm_cvtsi32_si128(static_cast<int>((zo & 1) * 16));
                    zo >>= 1;
                }
                const __m128i raw = LoadQuad(words, zo);
                const __m128i stored = kDepth == kDepth24 ? _mm_and_si128(raw, _mm_set1_epi32(0xFFFFFF))
                                       : kZ16             ? _mm_and_si128(_mm_srl_epi32(raw, zshift), low16)
                                                          : raw;
                __m128i zs;
                const __m128i pass = depth_test.Test<kDepth>(
                    stored, _mm_loadu_si128(reinterpret_cast<const __m128i*>(depths + i)), zs);
                m = whole ? pass : _mm_and_si128(m, pass);
                if (_mm_movemask_ps(_mm_castsi128_ps(m)) == 0)
                    return;
                if (zwrite) {
                    __m128i zm = m;
                    if constexpr (kDepth == kDepth24)
                        zm = _mm_and_si128(zm, _mm_set1_epi32(0xFFFFFF));
                    if constexpr (kZ16) {
                        zm = _mm_and_si128(zm, _mm_sll_epi32(low16, zshift));
                        zs = _mm_sll_epi32(zs, zshift);
                    }
                    StoreQuad(words, zo, _mm_xor_si128(raw, _mm_and_si128(_mm_xor_si128(raw, zs), zm)));
                }
            }
            // 16-bit pixels likewise (HalfColumns): their half of each word is
            // merged into it.
            u32 fo = (fb + ftab[x & fmx]) & funits;
            __m128i fshift = _mm_setzero_si128();
            if constexpr (k16) {
                fshift = _mm_cvtsi32_si128(static_cast<int>((fo & 1) * 16));
                m = _mm_and_si128(m, _mm_sll_epi32(low16, fshift));
                fo >>= 1;
            }
            if constexpr (kKeeps)
                m = _mm_and_si128(m, k16 ? _mm_sll_epi32(keep_not, fshift) : keep_not);
            __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colors + i));
            if constexpr (kBlend != kNoBlend) {
                const __m128i old = LoadQuad(words, fo);
                __m128i cd = old;
                if constexpr (kFrame == kFrame24)
                    cd = _mm_or_si128(_mm_and_si128(old, _mm_set1_epi32(0xFFFFFF)),
                                      _mm_set1_epi32(static_cast<int>(0x80000000u)));
                else if constexpr (k16)
                    cd = Expand16Four(_mm_and_si128(_mm_srl_epi32(old, fshift), low16));
                c = FinishFour<kFrame, false>(finish, dither_lo, dither_hi,
                                              BlendFour<kBlend, kDither>(blend, c, cd, dither_lo, dither_hi));
                if constexpr (k16)
                    c = _mm_sll_epi32(c, fshift);
                StoreQuad(words, fo, _mm_xor_si128(old, _mm_and_si128(_mm_xor_si128(old, c), m)));
                return;
            }
            c = FinishFour<kFrame, kDither>(finish, dither_lo, dither_hi, c);
            if constexpr (!k16 && !kKeeps) {
                if ((kDepth == kNoDepth && whole) || _mm_movemask_ps(_mm_castsi128_ps(m)) == 15) {
                    StoreQuad(words, fo, c);
                    return;
                }
            }
            if constexpr (k16)
                c = _mm_sll_epi32(c, fshift);
            const __m128i old = LoadQuad(words, fo);
            StoreQuad(words, fo, _mm_xor_si128(old, _mm_and_si128(_mm_xor_si128(old, c), m)));
        };
        auto frame_base = [&](u32 x) { return fpage + ((x >> fsx) << fps); };
        auto depth_base = [&](u32 x) { return kDepth == kNoDepth ? 0u : dpage + ((x >> dsx) << dps); };

        const u32 end = x0 + static_cast<u32>(n);
        const u32 first = x0 & ~3u, last = (end - 1) & ~3u;
        const __m128i tail = LanesBelow(end - last);
        const u32 fb0 = frame_base(first), db0 = depth_base(first);
        if (first == last) {
            quad(first, _mm_and_si128(LanesFrom(x0 & 3), tail), false, fb0, db0);
            return;
        }
        quad(first, LanesFrom(x0 & 3), false, fb0, db0);
        u32 x = first + 4;
        if ((first | pmx) == (last | pmx)) {
            // The span lies in one page of both buffers.
            for (; x < last; x += 4)
                quad(x, ones, true, fb0, db0);
            quad(last, tail, false, fb0, db0);
            return;
        }
        while (x < last) {
            const u32 stop = std::min(last, (x | pmx) + 1);
            const u32 fb = frame_base(x), db = depth_base(x);
            for (; x < stop; x += 4)
                quad(x, ones, true, fb, db);
        }
        quad(last, tail, false, frame_base(last), depth_base(last));
    }

private:
    const WriterState& w_;
    u32* words_;
    u32 fmx_, dmx_, fsx_, dsx_, fps_, dps_, funits_, dunits_, pmx_;
    bool zwrite_;
};

template <int kFrame, int kDepth, int kBlend, bool kDither, bool kMasked>
void WriteSpanQuads(const WriterState& w, const PixelRow& row, u32 x0, int n, const u32* colors, const u32* depths)
{
    QuadSpanWriter<kFrame, kDepth, kBlend, kDither, kMasked>(w, row).Span(row, x0, n, colors, depths);
}

// Pieces of rows drawn with one writer: n pixels from x = px of `row`, whose
// colours and depths are entries at, at + 1, ... of a batch.
struct SpanPiece {
    const PixelRow* row;
    s32 px;
    int n, at;
};

// WriteSpanQuads of several pieces of rows of the same frame and Z buffers,
// set up once.
template <int kFrame, int kDepth, int kBlend, bool kDither, bool kMasked>
void WriteQuadPieces(const WriterState& w, const SpanPiece* pieces, int count, const u32* colors, const u32* depths)
{
    if (count <= 0)
        return;
    const QuadSpanWriter<kFrame, kDepth, kBlend, kDither, kMasked> writer(w, *pieces[0].row);
    for (int k = 0; k < count; ++k) {
        const SpanPiece& pc = pieces[k];
        writer.Span(*pc.row, static_cast<u32>(pc.px), pc.n, colors + pc.at, depths + pc.at);
    }
}

// Depth only (an alpha test that always fails with ZB_ONLY): the test and
// the Z write, the frame left alone.
template <int kDepth>
void WriteDepthOnly(const WriterState& w, const PixelRow& row, u32 x0, int n, const u32*, const u32* depths)
{
    for (int i = 0; i < n; ++i)
        DepthStage<kDepth>(w, row, x0 + static_cast<u32>(i), depths[i]);
}

// A span of one colour and depth with no depth test, blending or dithering:
// a walk of the row's table, writing Z too when it is written.
template <int kFrame, int kDepth>
void FillSpan(const WriterState& w, const PixelRow& row, u32 x0, int n, u32 rgba, u32 z)
{
    rgba |= w.fba;
    const u32 value = kFrame == kFrame16 ? Narrow16(rgba) : rgba;
    const u32 zs = std::min(z, w.zmax);
    const bool zwrite = kDepth != kNoDepth && w.zwrite;
    for (int i = 0; i < n; ++i) {
        const u32 x = x0 + static_cast<u32>(i);
        if (zwrite)
            StoreDepth<kDepth>(w, row.DepthOffset(x), zs);
        if (w.keep != 0)
            StoreFrame<kFrame, true>(w, row.FrameOffset(x), value);
        else
            StoreFrame<kFrame>(w, row.FrameOffset(x), value);
    }
}

using WriteFn = void (*)(const WriterState&, const PixelRow&, u32, int, const u32*, const u32*);
using FillFn = void (*)(const WriterState&, const PixelRow&, u32, int, u32, u32);
using PiecesFn = void (*)(const WriterState&, const SpanPiece*, int, const u32*, const u32*);

template <int kFrame, int kDepth, bool kMasked>
WriteFn PickWrite(bool blend, bool dither)
{
    if (blend)
        return dither ? WriteSpan<kFrame, kDepth, true, true, kMasked> : WriteSpan<kFrame, kDepth, true, false, kMasked>;
    return dither ? WriteSpanOpaque<kFrame, kDepth, true, kMasked> : WriteSpanOpaque<kFrame, kDepth, false, kMasked>;
}

template <int kFrame, int kDepth>
WriteFn PickWrite(bool blend, bool dither, bool masked)
{
    return masked ? PickWrite<kFrame, kDepth, true>(blend, dither) : PickWrite<kFrame, kDepth, false>(blend, dither);
}

// `pick` given the depth class as a compile-time constant.
template <class Pick>
WriteFn ForDepthClass(int depth, Pick pick)
{
    switch (depth) {
    case kDepth32: return pick(std::integral_constant<int, kDepth32>{});
    case kDepth24: return pick(std::integral_constant<int, kDepth24>{});
    case kDepth16: return pick(std::integral_constant<int, kDepth16>{});
    default: return pick(std::integral_constant<int, kNoDepth>{});
    }
}

template <int kFrame>
WriteFn PickWrite(int depth, bool blend, bool dither, bool masked)
{
    return ForDepthClass(depth, [&](auto d) { return PickWrite<kFrame, decltype(d)::value>(blend, dither, masked); });
}

template <int kFrame, int kDepth>
WriteFn PickQuadWrite(int eq, bool dither, bool masked)
{
    static constexpr WriteFn table[3][2][2] = {
        {{WriteSpanQuads<kFrame, kDepth, kNoBlend, false, false>, WriteSpanQuads<kFrame, kDepth, kNoBlend, false, true>},
         {WriteSpanQuads<kFrame, kDepth, kNoBlend, true, false>, WriteSpanQuads<kFrame, kDepth, kNoBlend, true, true>}},
        {{WriteSpanQuads<kFrame, kDepth, kBlendAny, false, false>, WriteSpanQuads<kFrame, kDepth, kBlendAny, false, true>},
         {WriteSpanQuads<kFrame, kDepth, kBlendAny, true, false>, WriteSpanQuads<kFrame, kDepth, kBlendAny, true, true>}},
        {{WriteSpanQuads<kFrame, kDepth, kBlendMix, false, false>, WriteSpanQuads<kFrame, kDepth, kBlendMix, false, true>},
         {WriteSpanQuads<kFrame, kDepth, kBlendMix, true, false>, WriteSpanQuads<kFrame, kDepth, kBlendMix, true, true>}},
    };
    return table[eq][dither][masked];
}

template <int kFrame>
WriteFn PickQuadWrite(int depth, int eq, bool dither, bool masked)
{
    return ForDepthClass(depth, [&](auto d) { return PickQuadWrite<kFrame, decltype(d)::value>(eq, dither, masked); });
}

// WriteQuadPieces for what PickQuadWrite picks WriteSpanQuads for, with or
// without dithering; null when the frame is masked.
template <int kFrame, int kDepth>
PiecesFn PickQuadPieces(int eq, bool dither)
{
    static constexpr PiecesFn table[3][2] = {
        {WriteQuadPieces<kFrame, kDepth, kNoBlend, false, false>, WriteQuadPieces<kFrame, kDepth, kNoBlend, true, false>},
        {WriteQuadPieces<kFrame, kDepth, kBlendAny, false, false>, WriteQuadPieces<kFrame, kDepth, kBlendAny, true, false>},
        {WriteQuadPieces<kFrame, kDepth, kBlendMix, false, false>, WriteQuadPieces<kFrame, kDepth, kBlendMix, true, false>},
    };
    return table[eq][dither];
}

template <int kFrame>
PiecesFn PickQuadPieces(int depth, int eq, bool dither, bool masked)
{
    if (masked)
        return nullptr;
    switch (depth) {
    case kDepth32: return PickQuadPieces<kFrame, kDepth32>(eq, dither);
    case kDepth24: return PickQuadPieces<kFrame, kDepth24>(eq, dither);
    case kDepth16: return PickQuadPieces<kFrame, kDepth16>(eq, dither);
    default: return PickQuadPieces<kFrame, kNoDepth>(eq, dither);
    }
}

// WriteQuadPieces with 256-bit vectors, eight pixels of a column a step,
// for the undithered, unmasked writes of 32- and 24-bit frames whose
// layouts (and the Z buffer's) keep eight pixels in a column
// (OctetColumns), blended (equation `eq`) or not: null for any other writer.
PiecesFn PickOctetPiecesAvx2(int frame, int depth, int eq);

// The same with 512-bit vectors a line of two rows at a time, for layouts
// whose rows pair up (PairedColumns): null for any other writer.
PiecesFn PickLinePiecesAvx512(int frame, int depth, int eq);

int FrameClassOf(Psm psm)
{
    switch (psm) {
    case Psm::kCT32:
    case Psm::kZ32: return kFrame32;
    case Psm::kCT24:
    case Psm::kZ24: return kFrame24;
    default: return kFrame16;
    }
}

int DepthClassOf(const DepthTarget& d)
{
    if (!d.used)
        return kNoDepth;
    switch (d.psm) {
    case Psm::kZ32:
    case Psm::kCT32: return kDepth32;
    case Psm::kZ24:
    case Psm::kCT24: return kDepth24;
    default: return kDepth16;
    }
}

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
bool MakeWriter(const DrawEnv& env, LocalMemory& memory, Writer& w, s32 alpha = -1)
{
    if (env.date && env.frame.has_alpha)
        return false;
    const DepthTarget& d = env.depth;
    WriterState& s = w.state;
    bool zwrite = d.write;
    u32 mask = env.frame.fbmsk;
    if (env.ate) {
        bool fails;
        if (env.atst == AlphaTest::kNever || env.atst == AlphaTest::kAlways)
            fails = env.atst == AlphaTest::kNever;
        else if (alpha >= 0)
            fails = !AlphaPasses(env.atst, alpha, env.aref);
        else
            return false;
        if (fails)
            switch (env.afail) {
            case AlphaFail::kKeep: w.nothing = true; break;
            case AlphaFail::kFbOnly: zwrite = false; break;
            case AlphaFail::kZbOnly: w.frame_write = false; break;
            case AlphaFail::kRgbOnly:
                zwrite = false;
                mask |= 0xFF000000u;
                break;
            }
    }
    s.words = memory.DrawWords();
    s.halves = memory.DrawHalves();
    s.zmax = d.max;
    s.zwrite = zwrite;
    constexpr s64 kPassAll = s64{1} << 40;
    if (!d.test)
        s.zbias = kPassAll;
    else
        switch (d.method) {
        case DepthTest::kNever: s.zbias = -kPassAll; break;
        case DepthTest::kAlways: s.zbias = kPassAll; break;
        case DepthTest::kGequal: s.zbias = 0; break;
        case DepthTest::kGreater: s.zbias = -1; break;
        }
    s.zall = s.zbias == kPassAll ? ~0u : 0u;
    s.zgt = s.zbias == 0 || s.zbias == -1 ? ~0u : 0u;
    s.zeq = s.zbias == 0 ? ~0u : 0u;
    s.colclamp = env.colclamp;
    s.fba = env.fba ? 0x80000000u : 0u;
    s.sel_a = env.sel_a;
    s.sel_b = env.sel_b;
    s.sel_c = env.sel_c;
    s.sel_d = env.sel_d;
    s.fix = static_cast<s32>(env.fix);
    s.pabe = env.pabe;
    s.dimx = env.dimx;
    MakeVectors(s);
    const int frame = FrameClassOf(env.frame.psm);
    // A depth test that passes every pixel without a Z write is no stage at
    // all: such a writer touches only the frame.
    const int depth = s.zbias == kPassAll && !zwrite ? kNoDepth : DepthClassOf(d);
    s.keep = frame == kFrame16 ? Narrow16(mask) : frame == kFrame24 ? mask & 0xFFFFFF : mask;
    if (!w.frame_write) {
        // Only Z can change.
        static constexpr WriteFn depth_only[4] = {WriteDepthOnly<kNoDepth>, WriteDepthOnly<kDepth32>,
                                                  WriteDepthOnly<kDepth24>, WriteDepthOnly<kDepth16>};
        w.nothing = w.nothing || depth == kNoDepth || !zwrite;
        w.write = depth_only[depth];
        return true;
    }
    const bool masked = s.keep != 0;
    switch (frame) {
    case kFrame32: w.write = PickWrite<kFrame32>(depth, env.blend, env.dither, masked); break;
    case kFrame24: w.write = PickWrite<kFrame24>(depth, env.blend, env.dither, masked); break;
    default: w.write = PickWrite<kFrame16>(depth, env.blend, env.dither, masked); break;
    }
    // Frame and Z layouts whose rows are walked a column quad at a time.
    const bool frame_quads = frame == kFrame16 ? HalfColumns(env.frame.psm) : QuadColumns(env.frame.psm);
    const bool depth_quads =
        depth == kNoDepth || (depth == kDepth16 ? HalfColumns(d.psm) : QuadColumns(d.psm));
    if (frame_quads && depth_quads) {
        const int eq = BlendEqOf(env);
        switch (frame) {
        case kFrame32:
            w.quads = PickQuadWrite<kFrame32>(depth, eq, env.dither, masked);
            w.quad_pieces = PickQuadPieces<kFrame32>(depth, eq, env.dither, masked);
            break;
        case kFrame24:
            w.quads = PickQuadWrite<kFrame24>(depth, eq, env.dither, masked);
            w.quad_pieces = PickQuadPieces<kFrame24>(depth, eq, env.dither, masked);
            break;
        default:
            w.quads = PickQuadWrite<kFrame16>(depth, eq, env.dither, masked);
            w.quad_pieces = PickQuadPieces<kFrame16>(depth, eq, env.dither, masked);
            break;
        }
        if (ActiveSimdLevel() >= SimdLevel::kAvx2 && !env.dither && !masked &&
            frame != kFrame16 && OctetColumns(env.frame.psm) &&
            (depth == kNoDepth || (depth != kDepth16 && OctetColumns(d.psm)))) {
            if (const PiecesFn octets = PickOctetPiecesAvx2(frame, depth, eq))
                w.quad_pieces = octets;
            const Layout& fl = LayoutOf(env.frame.psm);
            const Layout& dl = LayoutOf(d.psm);
            if (ActiveSimdLevel() >= SimdLevel::kAvx512 && PairedColumns(env.frame.psm) &&
                (depth == kNoDepth || (PairedColumns(d.psm) && dl.page_shift_x == fl.page_shift_x &&
                                       dl.unit_shift == fl.unit_shift))) {
                if (const PiecesFn lines = PickLinePiecesAvx512(frame, depth, eq))
                    w.quad_pieces = lines;
            }
        }
        // Without a depth stage the frame is all a quad touches, wherever
        // the Z buffer lies.
        if (depth == kNoDepth)
            w.write = w.quads;
    }
    if ((depth == kNoDepth || s.zbias == kPassAll) && !env.blend && !env.dither) {
        w.flat_fill = true;
        static constexpr FillFn fills[3][4] = {
            {FillSpan<kFrame32, kNoDepth>, FillSpan<kFrame32, kDepth32>, FillSpan<kFrame32, kDepth24>,
             FillSpan<kFrame32, kDepth16>},
            {FillSpan<kFrame24, kNoDepth>, FillSpan<kFrame24, kDepth32>, FillSpan<kFrame24, kDepth24>,
             FillSpan<kFrame24, kDepth16>},
            {FillSpan<kFrame16, kNoDepth>, FillSpan<kFrame16, kDepth32>, FillSpan<kFrame16, kDepth24>,
             FillSpan<kFrame16, kDepth16>},
        };
        w.fill = fills[frame][depth];
    }
    return true;
}

// ---------------------------------------------------------------------------
// Shading stage.

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
const u32* ExpandedPalette(const TextureEnv& tex, const ClutBuffer& clut)
{
    struct Entry {
        u64 generation = ~u64{0};
        u32 cpsm = 0, csa = 0, ta0 = 0, ta1 = 0;
        int index_bits = 0;
        bool aem = false;
        u32 colors[256] = {};
    };
    thread_local std::array<Entry, 4> cache;
    thread_local u32 next = 0;
    for (const Entry& e : cache)
        if (e.generation == clut.Generation() && e.cpsm == tex.cpsm && e.csa == tex.csa && e.ta0 == tex.ta0 &&
            e.ta1 == tex.ta1 && e.index_bits == tex.index_bits && e.aem == tex.aem)
            return e.colors;
    Entry& e = cache[next++ & 3];
    e.generation = clut.Generation();
    e.cpsm = tex.cpsm;
    e.csa = tex.csa;
    e.ta0 = tex.ta0;
    e.ta1 = tex.ta1;
    e.index_bits = tex.index_bits;
    e.aem = tex.aem;
    const u32 count = tex.index_bits == 4 ? 16 : 256;
    for (u32 i = 0; i < count; ++i)
        e.colors[i] = PackColor(ExpandTexel(tex, clut, i));
    return e.colors;
}

// Sets up the texture's direct reads when the level is fixed and the format
// has a split layout, or is indexed and `clut` is given; `direct` stays false
// otherwise.
void MakeTexturing(const TextureEnv& tex, const LocalMemory& memory, const LodChoice& lod, Texturing& t,
                   const ClutBuffer* clut = nullptr)
{
    t.lod = lod;
    t.tw_log2 = tex.tw;
    t.th_log2 = tex.th;
    t.linear = lod.linear;
    t.expand = {tex.ta0, tex.ta1, tex.aem};
    TexExpand& e = t.expand;
    switch (tex.psm) {
    case Psm::kCT32:
    case Psm::kZ32: t.tex_class = kTex32; break;
    case Psm::kCT24:
    case Psm::kZ24: t.tex_class = kTex24; break;
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ16:
    case Psm::kZ16S: t.tex_class = kTex16; break;
    case Psm::kT8: e.word_shift = 2, e.sub_mask = 3, e.sub_shift = 3, e.index_mask = 0xFF; break;
    case Psm::kT4: e.word_shift = 3, e.sub_mask = 7, e.sub_shift = 2, e.index_mask = 0xF; break;
    case Psm::kT8H: e.bit = 24, e.index_mask = 0xFF; break;
    case Psm::kT4HL: e.bit = 24, e.index_mask = 0xF; break;
    case Psm::kT4HH: e.bit = 28, e.index_mask = 0xF; break;
    }
    const bool indexed = IsIndexed(tex.psm);
    if (lod.mix16 != 0 || (indexed && !clut))
        return;
    const SplitLayout& split = SplitOf(tex.psm);
    if (!split.split && !indexed)
        return;
    const Layout& layout = LayoutOf(tex.psm);
    const u32 n = lod.level;
    TexLevel& l = t.level;
    l.words = memory.Words();
    l.halves = memory.Halves();
    l.units_mask = (kBlockCount << layout.unit_shift) - 1;
    l.tbp = tex.level_tbp[n];
    l.row_stride = PagesAcross(layout, tex.level_tbw[n]) * kPageBlocks;
    l.shift = layout.unit_shift;
    l.px = layout.page_shift_x;
    l.py = layout.page_shift_y;
    l.mx = (1u << layout.page_shift_x) - 1;
    l.my = (1u << layout.page_shift_y) - 1;
    l.tx = split.tx;
    l.ty = split.ty;
    const u32 tw = tex.tw > n ? tex.tw - n : 0, th = tex.th > n ? tex.th - n : 0;
    l.wu = Wrap(tex.wms, tw, tex.minu >> n, tex.maxu >> n);
    l.wv = Wrap(tex.wmt, th, tex.minv >> n, tex.maxv >> n);
    l.n = n;
    if (indexed) {
        t.tex_class = kTexIndexed;
        l.table = layout.table;
        e.palette = ExpandedPalette(tex, *clut);
    }
    t.level4 = TexLevel4(l);
    t.direct = true;
}

}  // namespace

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

namespace {

DecodedTexture::Axis DecodedAxis(u32 mode, u32 size)
{
    if (mode == kWrapRepeat)
        return {0, static_cast<s32>(size) - 1, 1, static_cast<s32>(size), true};
    return {1, -1, 0, static_cast<s32>(size), false};
}

// The raw texel a stored column or row holds.
u32 DecodedSource(const DecodedTexture::Axis& a, u32 stored, u32 size)
{
    const s32 c = static_cast<s32>(stored) - 1;
    return static_cast<u32>(a.repeat ? c & (static_cast<s32>(size) - 1) : std::clamp(c, 0, static_cast<s32>(size) - 1));
}

template <int kClass>
void DecodeLevel(const TexLevel& l, const TexExpand& e, DecodedTexture& d)
{
    std::vector<TexLevel::Col> cols(d.stride);
    for (u32 i = 0; i < d.stride; ++i)
        cols[i] = l.ColFor(DecodedSource(d.u, i, d.width));
    for (u32 j = 0; j < d.height + 2; ++j) {
        const TexLevel::Row r = l.RowFor(DecodedSource(d.v, j, d.height));
        // Stored row j is the upper row of pair row j and the lower of
        // pair row j - 1.
        u32* const upper = j <= d.height ? d.texels.data() + 2 * static_cast<size_t>(j) * d.stride : nullptr;
        u32* const lower = j > 0 ? d.texels.data() + 2 * static_cast<size_t>(j - 1) * d.stride + 1 : nullptr;
        for (u32 i = 0; i < d.stride; ++i) {
            const u32 t = ReadTexel<kClass>(l, e, OffsetOf<kClass>(l, r, cols[i]));
            if (upper)
                upper[2 * i] = t;
            if (lower)
                lower[2 * i] = t;
        }
    }
}

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

// ---------------------------------------------------------------------------
// Sprites.

// What stays fixed down a sprite's columns: the texel columns read one by
// one and their horizontal weights.  The bilinear mix is done as a
// horizontal then a vertical weighting, which is the reference's sum of four
// products regrouped: every partial sum is below 2^16 in the 16-bit lanes.
struct SpriteColumns {
    std::vector<TexLevel::Col> c0, c1;
    struct Weights {
        __m128i v;  // 16 - fu in lanes 0-3, fu in lanes 4-7
    };
    std::vector<Weights> wu;
};

struct SpriteRowArgs {
    const SpriteSetup* s;
    const s32* u16s;  // per column
    s32 v16;
    u32 fog;
    // Nearest: the texels of the row's columns, RGBA8.
    const u32* texels;
    // Bilinear: the two texel rows already weighted across (per column, the
    // four channels of t(u0) x (16 - fu) + t(u1) x fu in 16-bit lanes), and
    // the vertical weights 16 - fv and fv in every lane.
    const u64* h0;
    const u64* h1;
    __m128i wv0, wv1;
};

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

using RowFilterFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, const SpriteColumns&, int,
                            u64*);
using ColumnFilterFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, const SpriteColumns&, size_t,
                                u64*);

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

using ColumnReadFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, const TexLevel::Col*, int, u32*);

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

// How a run of consecutive texels of a row is read: a texel at a time, a
// column quad at a time (QuadColumns layouts) or sixteen 16-bit texels at a
// time (HalfColumns layouts).
enum RunRead { kRunTexels, kRunQuads, kRunHalves };

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

using RunReadFn = void (*)(const TexLevel&, const TexExpand&, const TexLevel::Row&, u32, int, u32*);


// Columns 0 .. n - 1 of a bilinear run whose texels are t[0 .. n] weighted
// across with one weight `wu` (SpriteColumns::Weights), four columns at a
// time: t[n + 1 .. n + 3] are read and out[n .. n + 2] written too.
inline void WeightRun(const u32* t, int n, __m128i wu, u64* out)
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

using WeightRunFn = void (*)(const u32*, int, __m128i, u64*);

// Columns 0 .. n - 1 of a texel row weighted across, column i mixing texels
// t[k0[i]] and t[k1[i]] with its weights wu[i]: two columns a register
// (entry n of k0, k1 and wu is read, and out[n] written, when n is odd).
inline void WeightPicked(const u32* t, const s32* k0, const s32* k1, const SpriteColumns::Weights* wu, int n, u64* out)
{
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < n; i += 2) {
        const __m128i a = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t[k0[i]])),
                                             _mm_cvtsi32_si128(static_cast<int>(t[k1[i]])));
        const __m128i b = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t[k0[i + 1]])),
                                             _mm_cvtsi32_si128(static_cast<int>(t[k1[i + 1]])));
        const __m128i ha = _mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), wu[i].v);
        const __m128i hb = _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wu[i + 1].v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_add_epi16(_mm_unpacklo_epi64(ha, hb), _mm_unpackhi_epi64(ha, hb)));
    }
}

// StepUv at p, p + 1, p + 2, ... an addition each: the floor division's
// quotient and remainder carried from one to the next (spans of c1 <= c0 are
// left to StepUv itself).
class UvStepper {
public:
    UvStepper(s32 t0, s32 t1, s32 c0, s32 c1, s32 p) : t0_(t0), t1_(t1), c0_(c0), c1_(c1), p_(p), d_(s64{c1} - c0)
    {
        if (d_ <= 0)
            return;
        const s64 n = static_cast<s64>(t1 - t0) * (16 * static_cast<s64>(p) - c0);
        q_ = FloorDiv(n, d_);
        r_ = n - q_ * d_;
        const s64 step = 16 * static_cast<s64>(t1 - t0);
        qs_ = FloorDiv(step, d_);
        rs_ = step - qs_ * d_;
    }

    s32 Value() const { return d_ > 0 ? static_cast<s32>(t0_ + q_) : StepUv(t0_, t1_, c0_, c1_, p_); }

    void Next()
    {
        ++p_;
        if (d_ <= 0)
            return;
        q_ += qs_;
        r_ += rs_;
        if (r_ >= d_) {
            r_ -= d_;
            ++q_;
        }
    }

private:
    s32 t0_, t1_, c0_, c1_, p_;
    s64 d_, q_ = 0, r_ = 0, qs_ = 0, rs_ = 0;
};

// Room for a sprite's arrays per texel row and pixel row, kept by each
// thread from sprite to sprite (what stays fixed down the columns is the
// sprite's plan's).
struct SpriteScratch {
    std::vector<u32> texels, row, shaded;
    std::vector<u64> filtered[2];
    std::vector<u32> pair;
};

thread_local SpriteScratch scratch;

// The readers of a texture class, picked once per sprite.
struct SpriteReaders {
    RunReadFn run;
    ColumnReadFn columns;
    RowFilterFn filter;
    ColumnFilterFn column_filter;
};

template <int kClass>
SpriteReaders ReadersOf(int read)
{
    return {read == kRunHalves  ? ReadTexelRun<kClass, kRunHalves>
            : read == kRunQuads ? ReadTexelRun<kClass, kRunQuads>
                                : ReadTexelRun<kClass, kRunTexels>,
            ReadColumnTexels<kClass>, FilterTexelRow<kClass>, FilterTexelColumn<kClass>};
}

SpriteReaders PickReaders(int tex_class, int read)
{
    switch (tex_class) {
    case kTex32: return ReadersOf<kTex32>(read == kRunHalves ? kRunTexels : read);
    case kTex24: return ReadersOf<kTex24>(read == kRunHalves ? kRunTexels : read);
    case kTex16: return ReadersOf<kTex16>(read == kRunQuads ? kRunTexels : read);
    default: return ReadersOf<kTexIndexed>(kRunTexels);
    }
}

using SpriteShadeFn = void (*)(const ShadeContext&, const SpriteRowArgs&, s32 col0, int n, u32* out);

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

template <u32 kTfx, bool kTcc, bool kFog>
__attribute__((target("avx2"))) void ShadeNearestRowAvx2(const ShadeContext& sc, const SpriteRowArgs& a, s32 col0,
                                                         int n, u32* out);

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

// The shading of a row's texels read as nearest reads them.
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

// ---------------------------------------------------------------------------
// Triangles.  Attributes are stepped pixel by pixel exactly as the reference
// steps them (one addition per pixel, in the same order), two to a register.

// A triangle's steps from one pixel to the next: R G, B A, Z F, S T (or U
// V), Q Q.
struct TriangleSpan {
    __m128d drg, dba, dzf, dst, dq;
    // STQ: the level's size in 1/16 texel, S/Q and T/Q's scales, in both
    // lanes each.
    __m128d scale_u, scale_v;
    Color flat;
};

// The attributes at a row's next pixel, stepped by a TriangleSpan.
struct TriangleValues {
    __m128d rg, ba, zf, st, q;
};

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

enum TexCoords { kNoTex, kUv, kStq };

// Constants of the two-lane conversions, read from memory where they are
// used (made in registers they would cost two instructions each).
alignas(16) constexpr double kTexelLimitPair[2] = {kTexelLimit16, kTexelLimit16};
alignas(16) constexpr double kNegTexelLimitPair[2] = {-kTexelLimit16, -kTexelLimit16};
alignas(16) constexpr double k255Pair[2] = {255.0, 255.0};
alignas(16) constexpr double kDepthMaxPair[2] = {4294967295.0, 4294967295.0};
alignas(16) constexpr double k2Pow31Pair[2] = {2147483648.0, 2147483648.0};
alignas(16) constexpr double kChannelLoPair[2] = {-1073741824.0, -1073741824.0};
alignas(16) constexpr double kChannelHiPair[2] = {1073741824.0, 1073741824.0};
alignas(16) constexpr double kDepthFogLoPair[2] = {-0.5, -std::numeric_limits<double>::infinity()};
alignas(16) constexpr double kDepthFogHiPair[2] = {1073741824.0, std::numeric_limits<double>::infinity()};

inline __m128d Pair(const double (&c)[2])
{
    return _mm_load_pd(c);
}

// FloorToInt of two values clamped to +-2^20, as std::clamp does: it keeps
// a not-a-number, which converts to the integer indefinite as the scalar
// conversion does, and no comparison moves it.  Values known not to be one
// are clamped with the constants as the instructions' memory operands.
template <bool kMayBeNaN>
inline __m128i ClampFloorTwo(__m128d x)
{
    __m128d c;
    if constexpr (kMayBeNaN)
        c = _mm_min_pd(Pair(kTexelLimitPair), _mm_max_pd(Pair(kNegTexelLimitPair), x));
    else
        c = _mm_max_pd(_mm_min_pd(x, Pair(kTexelLimitPair)), Pair(kNegTexelLimitPair));
    const __m128i i = _mm_cvttpd_epi32(c);
    const __m128i below =
        _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmplt_pd(c, _mm_cvtepi32_pd(i))), _MM_SHUFFLE(3, 1, 2, 0));
    return _mm_add_epi32(i, below);
}

// TexelCoordinate16 of two scaled values: not-a-number to 0, clamped to
// +-2^20 and rounded down, exactly as the scalar function does.
inline __m128i TexelCoordinatesTwo(__m128d x)
{
    return ClampFloorTwo<false>(_mm_and_pd(x, _mm_cmpord_pd(x, x)));
}

// ToChannel(v, 255) of two values: not-a-number and values at or below 0 to
// 0, the rest truncated below 256.
inline __m128i ToChannelTwo(__m128d v)
{
    const __m128i i = _mm_cvttpd_epi32(_mm_min_pd(v, Pair(k255Pair)));
    const __m128i positive = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpgt_pd(v, _mm_setzero_pd())), _MM_SHUFFLE(3, 1, 2, 0));
    return _mm_and_si128(i, positive);
}

// ToDepth of two values: negative and not-a-number to 0, at most 2^32 - 1,
// truncated; values from 2^31 on converted less 2^31, which is exact there.
inline __m128i ToDepthTwo(__m128d z)
{
    const __m128d c = _mm_min_pd(_mm_max_pd(z, _mm_setzero_pd()), Pair(kDepthMaxPair));
    const __m128d big = _mm_cmpge_pd(c, Pair(k2Pow31Pair));
    const __m128i i = _mm_cvttpd_epi32(_mm_sub_pd(c, _mm_and_pd(big, Pair(k2Pow31Pair))));
    const __m128i top = _mm_slli_epi32(_mm_shuffle_epi32(_mm_castpd_si128(big), _MM_SHUFFLE(3, 1, 2, 0)), 31);
    return _mm_or_si128(i, top);
}

// Whether the n pixels a row piece steps through from `v` keep their colours
// within +-2^30 and their Z above -1 and below 2^31, where truncation alone
// gives ToChannel's integer once the packs saturate (the clamp at 255 matters
// only from 2^31 on, where the conversion gives the integer indefinite) and
// ToDepth's (which is 0 from -1 to 0).  Fog is left to the full conversion:
// its lane is only required to be a number.
//
// The values are stepped one rounded addition of the same step at a time, so
// they never move back: each lies between the first, x, and the n-th.  While
// they stay below 2^32 in size each addition errs by at most 2^-21, so the
// n-th lies within 64 x 2^-21 = 2^-15 of x + n d; and once x and the estimate
// e = x + n d made in doubles are both below 2^31 in size, n d's product errs
// by at most 2^-20 and e's sum by 2^-22.  Checking x and e against bounds
// with a margin of 1/2 (Z's -1/2; the colours' 2^30 and Z's 2^30 far inside
// 2^31) then bounds every value, by induction over the pixels.  A not-a-number
// anywhere fails the comparisons (min and max pass it on from e, which is one
// whenever x or d is).
static_assert(kChunk <= 64, "PieceInRange's bounds allow for at most 64 additions");

template <bool kGouraud>
inline bool PieceInRange(const TriangleValues& v, const TriangleSpan& sp, int n)
{
    const __m128d k = _mm_set1_pd(static_cast<double>(n));
    auto inside = [&](__m128d x, __m128d d, const double (&lo)[2], const double (&hi)[2]) __attribute__((always_inline)) {
        const __m128d e = _mm_add_pd(x, _mm_mul_pd(k, d));
        return _mm_and_pd(_mm_cmple_pd(Pair(lo), _mm_min_pd(x, e)), _mm_cmple_pd(_mm_max_pd(x, e), Pair(hi)));
    };
    __m128d ok = inside(v.zf, sp.dzf, kDepthFogLoPair, kDepthFogHiPair);
    if constexpr (kGouraud)
        ok = _mm_and_pd(ok, _mm_and_pd(inside(v.rg, sp.drg, kChannelLoPair, kChannelHiPair),
                                       inside(v.ba, sp.dba, kChannelLoPair, kChannelHiPair)));
    return _mm_movemask_pd(ok) == 3;
}

// A span in two passes, so that the divisions, the texel reads and the
// colour arithmetic of neighbouring pixels overlap: fragment colour, depth,
// fog and texture coordinates (the row stage, per row piece, two pixels a
// step, kept in registers from the stepping to the batch); texels, texture
// function and fog (Finish, per batch).
//
// TrianglePiece appends n pixels of a row (n <= kChunk) from `values`,
// stepping them by `sp`; with kInRange the piece is one PieceInRange passes,
// whose colours and Z convert by truncation alone.
template <bool kGouraud, int kCoords, bool kFog, bool kInRange>
__attribute__((always_inline)) inline void TrianglePiece(const TriangleSpan& sp, TriangleValues& values, int n,
                                                         TriangleBatch& b)
{
    // Stepped in registers, not through memory, and put back for the next
    // chunk of the row.
    const int at = b.count;
    b.count += n;
    u32* const frag = b.frag + at;
    s32* const us = b.us + at;
    s32* const vs = b.vs + at;
    u32* const fogs = b.fogs + at;
    u32* const depths = b.depths + at;
    // ToChannel of four channels: min(255, v) keeps a not-a-number, which
    // converts to the integer indefinite; it and every value below 0
    // saturate to 0 in the packs, and truncation takes the rest down.
    const __m128d max = Pair(k255Pair);
    __m128d rg = values.rg, ba = values.ba, zf = values.zf, st = values.st, q = values.q;
    auto channels = [&]() __attribute__((always_inline)) {
        __m128i c;
        if constexpr (kInRange)
            c = _mm_unpacklo_epi64(_mm_cvttpd_epi32(rg), _mm_cvttpd_epi32(ba));
        else
            c = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_min_pd(max, rg)),
                                   _mm_cvttpd_epi32(_mm_min_pd(max, ba)));  // r g b a
        rg = _mm_add_pd(rg, sp.drg);
        ba = _mm_add_pd(ba, sp.dba);
        return c;
    };
    // The texture coordinates of a pixel, then on to the next.
    auto coords = [&]() __attribute__((always_inline)) {
        __m128d c = st;
        if constexpr (kCoords == kStq) {
            c = _mm_div_pd(st, q);
            q = _mm_add_pd(q, sp.dq);
        }
        st = _mm_add_pd(st, sp.dst);
        return c;
    };
    // Two pixels' values of an attribute pair (Z and fog, S/Q and T/Q or U
    // and V), one pixel's in each argument, made integers and stored.
    auto depth_fog = [&](__m128d z0, __m128d z1, int i) __attribute__((always_inline)) {
        const __m128d z = _mm_unpacklo_pd(z0, z1), f = _mm_unpackhi_pd(z0, z1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(depths + i), kInRange ? _mm_cvttpd_epi32(z) : ToDepthTwo(z));
        if constexpr (kFog)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(fogs + i), ToChannelTwo(f));
    };
    auto texels = [&](__m128d c0, __m128d c1, int i) __attribute__((always_inline)) {
        const __m128d u = _mm_unpacklo_pd(c0, c1), v = _mm_unpackhi_pd(c0, c1);
        if constexpr (kCoords == kStq) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(us + i), TexelCoordinatesTwo(_mm_mul_pd(u, sp.scale_u)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(vs + i), TexelCoordinatesTwo(_mm_mul_pd(v, sp.scale_v)));
        } else if constexpr (kCoords == kUv) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(us + i), ClampFloorTwo<true>(u));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(vs + i), ClampFloorTwo<true>(v));
        }
    };
    const __m128i flat = _mm_set1_epi32(static_cast<int>(PackColor(sp.flat)));
    int i = 0;
    for (; i + 2 <= n; i += 2) {
        if constexpr (kGouraud) {
            const __m128i c0 = channels();
            const __m128i c1 = channels();
            const __m128i c16 = _mm_packs_epi32(c0, c1);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(frag + i), _mm_packus_epi16(c16, c16));
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(frag + i), flat);
        }
        const __m128d z0 = zf;
        const __m128d z1 = _mm_add_pd(z0, sp.dzf);
        zf = _mm_add_pd(z1, sp.dzf);
        depth_fog(z0, z1, i);
        if constexpr (kCoords != kNoTex) {
            const __m128d c0 = coords();
            const __m128d c1 = coords();
            texels(c0, c1, i);
        }
    }
    if (i < n) {
        // The last pixel of an odd count: worked as a pair with itself (the
        // entry after it is room, or the next piece's first, written later).
        if constexpr (kGouraud) {
            const __m128i c16 = _mm_packs_epi32(channels(), _mm_setzero_si128());
            frag[i] = static_cast<u32>(_mm_cvtsi128_si32(_mm_packus_epi16(c16, c16)));
        } else {
            frag[i] = static_cast<u32>(_mm_cvtsi128_si32(flat));
        }
        const __m128d z0 = zf;
        zf = _mm_add_pd(z0, sp.dzf);
        depth_fog(z0, z0, i);
        if constexpr (kCoords != kNoTex) {
            const __m128d c0 = coords();
            texels(c0, c0, i);
        }
    }
    values.rg = rg;
    values.ba = ba;
    values.zf = zf;
    values.st = st;
    values.q = q;
}

template <bool kGouraud, int kCoords, int kClass, bool kBilinear, bool kDirect, u32 kTfx, bool kTcc, bool kFog>
struct TriangleShader {
static void Finish(const ShadeContext& sc, TriangleBatch& b)
{
    constexpr bool kTex = kCoords != kNoTex;
    const int n = b.count;
    u32* const frag = b.frag;
    s32* const us = b.us;
    s32* const vs = b.vs;
    u32* const fogs = b.fogs;
    u32* const colors = b.colors;
    // The lanes past the end of the last quad are worked on and left unused:
    // bilinear samples of them at coordinate 0 (direct reads stay inside
    // memory).
    const int quads = (n + 3) & ~3;
    ZeroTail(frag, n);
    if constexpr (kFog)
        ZeroTail(fogs, n);
    if constexpr (kTex && kDirect && kBilinear) {
        ZeroTail(reinterpret_cast<u32*>(us), n);
        ZeroTail(reinterpret_cast<u32*>(vs), n);
    } else if constexpr (kTex) {
        ZeroTail(colors, n);
    }
    // The texture function and fog of pixels i .. i + 3 whose texels are t.
    auto combine = [&](int i, __m128i t) __attribute__((always_inline)) {
        _mm_store_si128(reinterpret_cast<__m128i*>(colors + i),
                        CombineFour<kTex, kTfx, kTcc, kFog>(_mm_load_si128(reinterpret_cast<const __m128i*>(frag + i)), t,
                                                            _mm_load_si128(reinterpret_cast<const __m128i*>(fogs + i)),
                                                            sc.fogcol16));
    };
    if constexpr (kTex) {
        int sampled = 0;
        if constexpr (kDirect && kBilinear) {
            // Decoded textures are sampled and combined in one pass.
            const DecodedTexture* d = sc.tex->decoded;
            static_assert(kBatch + 4 <= kDecodedSpanMost);
            if (d && d->u.repeat && d->v.repeat) {
                SampleDecodedSpan<true>(*d, us, vs, quads, combine);
                return;
            }
            if (d) {
                SampleDecodedSpan<false>(*d, us, vs, quads, combine);
                return;
            }
            if (sc.tex->level4.mask_only)
                SampleBilinearSpan<kClass, true>(sc.tex->level, sc.tex->level4, sc.tex->expand, us, vs, quads, colors);
            else
                SampleBilinearSpan<kClass, false>(sc.tex->level, sc.tex->level4, sc.tex->expand, us, vs, quads, colors);
            sampled = quads;
        }
        for (int i = sampled; i < n; ++i)
            colors[i] = Sample<kClass, kBilinear, kDirect>(sc, us[i], vs[i]);
    }
    if constexpr (kTex || kFog) {
        for (int i = 0; i < quads; i += 4)
            combine(i, _mm_load_si128(reinterpret_cast<const __m128i*>(colors + i)));
    } else {
        for (int i = 0; i < quads; i += 4)
            _mm_store_si128(reinterpret_cast<__m128i*>(colors + i),
                            _mm_load_si128(reinterpret_cast<const __m128i*>(frag + i)));
    }
}
};

template <class Shader>
constexpr TriangleShadeFns ShadeFnsOf()
{
    return {&Shader::Finish};
}

template <bool kGouraud, int kCoords, int kClass, bool kBilinear, bool kDirect>
TriangleShadeFns PickTriangleShade(u32 tfx, bool tcc, bool fog)
{
#define GS_SHADE(tfx_, tcc_)                                                                        \
    fog ? ShadeFnsOf<TriangleShader<kGouraud, kCoords, kClass, kBilinear, kDirect, tfx_, tcc_, true>>()  \
        : ShadeFnsOf<TriangleShader<kGouraud, kCoords, kClass, kBilinear, kDirect, tfx_, tcc_, false>>()
    switch ((tfx & 3) * 2 + tcc) {
    case 0: return GS_SHADE(0, false);
    case 1: return GS_SHADE(0, true);
    case 2: return GS_SHADE(1, false);
    case 3: return GS_SHADE(1, true);
    case 4: return GS_SHADE(2, false);
    case 5: return GS_SHADE(2, true);
    case 6: return GS_SHADE(3, false);
    default: return GS_SHADE(3, true);
    }
#undef GS_SHADE
}

template <bool kGouraud, int kCoords>
TriangleShadeFns PickTriangleShade(const Texturing& t, u32 tfx, bool tcc, bool fog)
{
    if (!t.direct)
        return PickTriangleShade<kGouraud, kCoords, kTex32, false, false>(tfx, tcc, fog);
    switch (t.tex_class * 2 + t.linear) {
    case 0: return PickTriangleShade<kGouraud, kCoords, kTex32, false, true>(tfx, tcc, fog);
    case 1: return PickTriangleShade<kGouraud, kCoords, kTex32, true, true>(tfx, tcc, fog);
    case 2: return PickTriangleShade<kGouraud, kCoords, kTex24, false, true>(tfx, tcc, fog);
    case 3: return PickTriangleShade<kGouraud, kCoords, kTex24, true, true>(tfx, tcc, fog);
    case 4: return PickTriangleShade<kGouraud, kCoords, kTex16, false, true>(tfx, tcc, fog);
    case 5: return PickTriangleShade<kGouraud, kCoords, kTex16, true, true>(tfx, tcc, fog);
    case 6: return PickTriangleShade<kGouraud, kCoords, kTexIndexed, false, true>(tfx, tcc, fog);
    default: return PickTriangleShade<kGouraud, kCoords, kTexIndexed, true, true>(tfx, tcc, fog);
    }
}

template <bool kGouraud>
TriangleShadeFns PickTriangleShade(int coords, const Texturing& t, u32 tfx, bool tcc, bool fog)
{
    switch (coords) {
    case kUv: return PickTriangleShade<kGouraud, kUv>(t, tfx, tcc, fog);
    case kStq: return PickTriangleShade<kGouraud, kStq>(t, tfx, tcc, fog);
    default:
        return fog ? ShadeFnsOf<TriangleShader<kGouraud, kNoTex, kTex32, false, true, 0, false, true>>()
                   : ShadeFnsOf<TriangleShader<kGouraud, kNoTex, kTex32, false, true, 0, false, false>>();
    }
}

// The same rows four pixels a step with 256-bit vectors: a pixel's R G B A
// in one register and its Z F S T (or Z F U V) in another; S/Q and T/Q of
// two pixels in one division.  Every lane
// is stepped with the additions above in the same order, and each conversion
// gives the two-lane one's integers: a floor for TexelCoordinatesTwo and
// ClampFloorTwo (exact on the clamped values) and a floor less 2^31 for
// ToDepthTwo (exact on integers below 2^32).
#define GS_AVX2 __attribute__((target("avx2"), always_inline)) inline

GS_AVX2 __m128i FloorToIntFour(__m256d x)
{
    return _mm256_cvttpd_epi32(_mm256_round_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}

GS_AVX2 __m128i ToDepthFour(__m256d z)
{
    const __m256d c = _mm256_min_pd(_mm256_max_pd(z, _mm256_setzero_pd()), _mm256_set1_pd(4294967295.0));
    const __m256d whole = _mm256_round_pd(c, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m128i i = _mm256_cvttpd_epi32(_mm256_sub_pd(whole, _mm256_set1_pd(2147483648.0)));
    return _mm_xor_si128(i, _mm_set1_epi32(static_cast<int>(0x80000000u)));
}

// ToChannelTwo: not-a-number and values at or below 0 become 0 in the max.
GS_AVX2 __m128i ToChannelFour(__m256d v)
{
    return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_set1_pd(255.0), _mm256_max_pd(v, _mm256_setzero_pd())));
}

GS_AVX2 __m128i TexelCoordinatesFour(__m256d x)
{
    const __m256d known = _mm256_and_pd(x, _mm256_cmp_pd(x, x, _CMP_ORD_Q));
    return FloorToIntFour(_mm256_max_pd(_mm256_min_pd(known, _mm256_set1_pd(kTexelLimit16)), _mm256_set1_pd(-kTexelLimit16)));
}

// A not-a-number stays one through the clamp and converts to the integer
// indefinite, as in ClampFloorTwo<true>.
GS_AVX2 __m128i ClampFloorFour(__m256d x)
{
    return FloorToIntFour(_mm256_min_pd(_mm256_set1_pd(kTexelLimit16), _mm256_max_pd(_mm256_set1_pd(-kTexelLimit16), x)));
}

GS_AVX2 void Store4(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

GS_AVX2 __m256d JoinPairs(__m128d lo, __m128d hi)
{
    return _mm256_set_m128d(hi, lo);
}

// A triangle's steps as TrianglePieceAvx2 reads them: R G B A in one
// register, Z F S T (or Z F U V) in another.
struct TriangleSpanAvx2 {
    __m256d drgba, dzfst;
    __m256d scale_u, scale_v;  // STQ: TriangleSpan's scales in all four lanes
    __m128d dq;
    __m128i flat;  // the flat colour in all four lanes
};

struct TriangleValuesAvx2 {
    __m256d rgba, zfst;
    __m128d q;
};

// TrianglePiece's pixels from `values`, stepped by `sp`.
template <bool kGouraud, int kCoords, bool kFog>
GS_AVX2 void TrianglePieceAvx2(const TriangleSpanAvx2& sp, TriangleValuesAvx2& values, int n, TriangleBatch& b)
{
    const int at = b.count;
    b.count += n;
    u32* const frag = b.frag + at;
    s32* const us = b.us + at;
    s32* const vs = b.vs + at;
    u32* const fogs = b.fogs + at;
    u32* const depths = b.depths + at;
    constexpr bool kTex = kCoords != kNoTex;
    const __m256d zero = _mm256_setzero_pd();
    const __m256d max = _mm256_set1_pd(255.0);
    __m256d rgba = values.rgba, zfst = values.zfst;
    __m128d q = values.q;
    const __m256d drgba = sp.drgba, dzfst = sp.dzfst;
    const __m128d dq = sp.dq;
    const __m128d zero2 = _mm_setzero_pd();
    for (int i = 0; i < n; i += 4) {
        // Each value is used as soon as it is made, so that few are live
        // at once (eight vector registers): the colours packed two pixels
        // at a time, Q paired for the divisions, Z F S T of pixels 0 and 2,
        // 1 and 3 side by side.  The values after one, two and three pixels
        // are kept for a last group of fewer than four.
        __m256d rgba1 = zero, rgba2 = zero, rgba3 = zero;
        if constexpr (kGouraud) {
            rgba1 = _mm256_add_pd(rgba, drgba);
            const __m128i c01 = _mm_packs_epi32(_mm256_cvttpd_epi32(_mm256_min_pd(max, rgba)),
                                                _mm256_cvttpd_epi32(_mm256_min_pd(max, rgba1)));
            rgba2 = _mm256_add_pd(rgba1, drgba);
            rgba3 = _mm256_add_pd(rgba2, drgba);
            const __m128i c23 = _mm_packs_epi32(_mm256_cvttpd_epi32(_mm256_min_pd(max, rgba2)),
                                                _mm256_cvttpd_epi32(_mm256_min_pd(max, rgba3)));
            rgba = _mm256_add_pd(rgba3, drgba);
            Store4(frag + i, _mm_packus_epi16(c01, c23));
        } else {
            Store4(frag + i, sp.flat);
        }
        __m256d q02 = zero, q13 = zero;
        __m128d q1 = zero2, q2 = zero2, q3 = zero2;
        if constexpr (kCoords == kStq) {
            q1 = _mm_add_pd(q, dq);
            q2 = _mm_add_pd(q1, dq);
            q3 = _mm_add_pd(q2, dq);
            q02 = _mm256_set_m128d(q2, q);
            q13 = _mm256_set_m128d(q3, q1);
            q = _mm_add_pd(q3, dq);
        }
        const __m256d v0 = zfst;
        const __m256d v1 = _mm256_add_pd(v0, dzfst);
        const __m256d v2 = _mm256_add_pd(v1, dzfst);
        const __m256d v3 = _mm256_add_pd(v2, dzfst);
        zfst = _mm256_add_pd(v3, dzfst);
        const __m256d zf02 = _mm256_permute2f128_pd(v0, v2, 0x20), zf13 = _mm256_permute2f128_pd(v1, v3, 0x20);
        Store4(depths + i, ToDepthFour(_mm256_unpacklo_pd(zf02, zf13)));
        if constexpr (kFog)
            Store4(fogs + i, ToChannelFour(_mm256_unpackhi_pd(zf02, zf13)));
        if constexpr (kTex) {
            __m256d st02 = _mm256_permute2f128_pd(v0, v2, 0x31), st13 = _mm256_permute2f128_pd(v1, v3, 0x31);
            if constexpr (kCoords == kStq) {
                st02 = _mm256_div_pd(st02, q02);
                st13 = _mm256_div_pd(st13, q13);
            }
            const __m256d s = _mm256_unpacklo_pd(st02, st13), t = _mm256_unpackhi_pd(st02, st13);
            if constexpr (kCoords == kStq) {
                Store4(us + i, TexelCoordinatesFour(_mm256_mul_pd(s, sp.scale_u)));
                Store4(vs + i, TexelCoordinatesFour(_mm256_mul_pd(t, sp.scale_v)));
            } else {
                Store4(us + i, ClampFloorFour(s));
                Store4(vs + i, ClampFloorFour(t));
            }
        }
        if (n - i < 4) {
            // The last pixels, fewer than four: the values go on from the
            // last of them (the entries past the piece are room, or the
            // next piece's, written later).
            const int left = n - i;
            rgba = left == 1 ? rgba1 : left == 2 ? rgba2 : rgba3;
            zfst = left == 1 ? v1 : left == 2 ? v2 : v3;
            q = left == 1 ? q1 : left == 2 ? q2 : q3;
        }
    }
    values.rgba = rgba;
    values.zfst = zfst;
    values.q = q;
}

// The row stage with 512-bit vectors, for states without fog: a pixel's
// R G B A Z Q S T (R G B A Z F U V, or Z F past the colours) in one
// register, stepped with one addition a pixel, every lane in the order of
// TrianglePieceAvx2.  Four pixels a step: their colours converted as
// TrianglePieceAvx2 converts them, Z and Q, S and T gathered by permutes,
// S/Q and T/Q in one division.  The other conversions give the same
// integers too: Z truncated to an unsigned integer once raised to 0 (a
// not-a-number becomes 0 there too; above 2^32 - 1 the conversion's
// out-of-range result is 2^32 - 1 itself, so the upper clamp is left to
// it), and the texel coordinates rounded down by the conversion
// itself (exact on values clamped to +-2^20; a not-a-number U or V converts
// to the integer indefinite, as the truncation does).
#define GS_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"), always_inline)) inline
// 512-bit values pass only between functions inlined into the AVX-512 row
// drivers, never through an out-of-line call, so the compiler's note that
// such a call's ABI would differ without AVX-512 does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

GS_AVX512 __m512d JoinQuads(__m256d lo, __m256d hi)
{
    return _mm512_insertf64x4(_mm512_zextpd256_pd512(lo), hi, 1);
}

// R G B A of a pixel as integers, min(255, v) truncated: a not-a-number
// converts to the integer indefinite, which the saturating packs take to 0
// as they take every value below 0, as in TrianglePieceAvx2.
GS_AVX512 __m128i ChannelsOfOne(__m512d p)
{
    return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_set1_pd(255.0), _mm512_castpd512_pd256(p)));
}

struct TriangleSpanAvx512 {
    __m512d d;      // every lane's step
    __m512d scale;  // STQ: TriangleSpan's scale_u in the low four lanes, scale_v in the high four
    __m128i flat;   // the flat colour in all four lanes
};

// The batch entries at .. at + 3 made from their stepped values p[0 .. 3].
template <bool kGouraud, int kCoords>
GS_AVX512 void ConvertFourAvx512(const TriangleSpanAvx512& sp, const __m512d* p, TriangleBatch& b, int at)
{
    if constexpr (kGouraud) {
        const __m128i c01 = _mm_packs_epi32(ChannelsOfOne(p[0]), ChannelsOfOne(p[1]));
        const __m128i c23 = _mm_packs_epi32(ChannelsOfOne(p[2]), ChannelsOfOne(p[3]));
        Store4(b.frag + at, _mm_packus_epi16(c01, c23));
    } else {
        Store4(b.frag + at, sp.flat);
    }
    // Z Q S T of pixels 0 and 1, then 2 and 3.
    const __m512d hi01 = _mm512_shuffle_f64x2(p[0], p[1], 0xEE), hi23 = _mm512_shuffle_f64x2(p[2], p[3], 0xEE);
    const __m256d z =
        _mm512_castpd512_pd256(_mm512_permutex2var_pd(hi01, _mm512_set_epi64(13, 9, 5, 1, 12, 8, 4, 0), hi23));
    Store4(b.depths + at, _mm256_cvttpd_epu32(_mm256_max_pd(z, _mm256_setzero_pd())));
    if constexpr (kCoords != kNoTex) {
        const __m512d st = _mm512_permutex2var_pd(hi01, _mm512_set_epi64(15, 11, 7, 3, 14, 10, 6, 2), hi23);
        constexpr int kFloor = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC;
        const __m512d limit = _mm512_set1_pd(kTexelLimit16), neg_limit = _mm512_set1_pd(-kTexelLimit16);
        __m256i uv;
        if constexpr (kCoords == kStq) {
            const __m512d q = _mm512_permutex2var_pd(hi01, _mm512_set_epi64(13, 9, 5, 1, 13, 9, 5, 1), hi23);
            const __m512d x = _mm512_mul_pd(_mm512_div_pd(st, q), sp.scale);
            const __mmask8 known = _mm512_cmp_pd_mask(x, x, _CMP_ORD_Q);
            uv = _mm512_cvt_roundpd_epi32(_mm512_max_pd(_mm512_maskz_min_pd(known, x, limit), neg_limit), kFloor);
        } else {
            uv = _mm512_cvt_roundpd_epi32(_mm512_min_pd(limit, _mm512_max_pd(neg_limit, st)), kFloor);
        }
        Store4(b.us + at, _mm256_castsi256_si128(uv));
        Store4(b.vs + at, _mm256_extracti128_si256(uv, 1));
    }
}

// The row stage in two passes, so that the additions of a row are not held
// back by the conversions waiting on them and the rows of a batch overlap:
// each piece's pixels stepped into the stepped values of its batch entries,
// one addition a pixel and nothing else, in whole groups of four (the
// entries past the piece are room, or the next piece's, written later); then
// the batch's entries converted, four at a time, before it is finished.  The
// value after a piece is left in `value` when n is a multiple of four: a
// row's pieces but its last are kChunk long, and the value after a row's
// last piece is not read.
static_assert(kChunk % 4 == 0, "only a row's last piece may end inside a group of four");

GS_AVX512 void StepPieceAvx512(__m512d d, __m512d& value, int n, __m512d* stepped)
{
    __m512d v = value;
    for (int i = 0; i < n; i += 4) {
        stepped[i] = v;
        v = _mm512_add_pd(v, d);
        stepped[i + 1] = v;
        v = _mm512_add_pd(v, d);
        stepped[i + 2] = v;
        v = _mm512_add_pd(v, d);
        stepped[i + 3] = v;
        v = _mm512_add_pd(v, d);
    }
    value = v;
}

// The batch's n entries made from their stepped values, which have room for
// a last group of four after them: the group's entries past the last take
// the last one's value.  Kept out of line, once a batch: inlined into the row
// driver, its loop and the row loop shared the eight vector registers of a
// 32-bit build and both kept more of their values on the stack.
template <bool kGouraud, int kCoords>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"), noinline)) void ConvertBatchAvx512(
    const TriangleSpanAvx512& sp, __m512d* stepped, int n, TriangleBatch& b)
{
    for (int i = n; i & 3; ++i)
        stepped[i] = stepped[n - 1];
    for (int i = 0; i < n; i += 4)
        ConvertFourAvx512<kGouraud, kCoords>(sp, stepped + i, b, i);
}

// Finish for a decoded texture with 256-bit vectors, eight pixels a step:
// SampleDecodedSpan's columns, rows, weights and texel quads, BilinearFour's
// sums, and CombineFour lane for lane (every step keeps to the 128-bit
// halves, pixels 0-3 in the low one and 4-7 in the high one).
//
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

GS_AVX2 __m256i Load8(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
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

// The finishes of a decoded texture, FinishFns::kFinish<kRepeat, kTfx, kTcc,
// kFog>, of each vector width, and the one a state takes.
struct DecodedFinishesAvx2 {
    template <bool kRepeat, u32 kTfx, bool kTcc, bool kFog>
    static constexpr TriangleFinishFn kFinish = &FinishDecodedAvx2<kRepeat, kTfx, kTcc, kFog>;
};

struct DecodedFinishesAvx512 {
    template <bool kRepeat, u32 kTfx, bool kTcc, bool kFog>
    static constexpr TriangleFinishFn kFinish = &FinishDecodedAvx512<kRepeat, kTfx, kTcc, kFog>;
};

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

// The eight pixels of a column x .. x + 7 whose first is at offset o
// (OctetColumns), in pixel order, and their store.
GS_AVX2 __m256i LoadOctet(const u32* words, u32 o)
{
    const __m128d lo = _mm_loadh_pd(_mm_load_sd(reinterpret_cast<const double*>(words + o)),
                                    reinterpret_cast<const double*>(words + o + 4));
    const __m128d hi = _mm_loadh_pd(_mm_load_sd(reinterpret_cast<const double*>(words + o + 8)),
                                    reinterpret_cast<const double*>(words + o + 12));
    return _mm256_castpd_si256(_mm256_insertf128_pd(_mm256_castpd128_pd256(lo), hi, 1));
}

GS_AVX2 void StoreOctet(u32* words, u32 o, __m256i v)
{
    const __m128d lo = _mm256_castpd256_pd128(_mm256_castsi256_pd(v));
    const __m128d hi = _mm256_extractf128_pd(_mm256_castsi256_pd(v), 1);
    _mm_storel_pd(reinterpret_cast<double*>(words + o), lo);
    _mm_storeh_pd(reinterpret_cast<double*>(words + o + 4), lo);
    _mm_storel_pd(reinterpret_cast<double*>(words + o + 8), hi);
    _mm_storeh_pd(reinterpret_cast<double*>(words + o + 12), hi);
}

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

// The pieces' pixels in the aligned groups of eight of their columns: each
// group's stored Z values are loaded, tested and written back with those of
// the lanes outside the piece or failing the test as they were, and its
// colours (blended with the frame's, with kEq) stored whole when all eight
// pass and nothing is blended (else merged with the frame), as
// QuadSpanWriter does a quad at a time.  Colours and depths are read only
// for the lanes inside the piece.
template <int kFrame, int kDepth, int kEq>
__attribute__((target("avx2"))) void WriteOctetPiecesAvx2(const WriterState& w, const SpanPiece* pieces, int count,
                                                          const u32* colors, const u32* depths)
{
    if (count <= 0)
        return;
    u32* const words = w.words;
    const PixelRow& row0 = *pieces[0].row;
    const u32 fmx = row0.FrameRow().MaskX(), fsx = row0.FrameRow().ShiftX(), fps = row0.FrameRow().PageShift();
    const u32 funits = row0.FrameRow().UnitsMask();
    const u32 dmx = row0.DepthRow().MaskX(), dsx = row0.DepthRow().ShiftX(), dps = row0.DepthRow().PageShift();
    const u32 dunits = row0.DepthRow().UnitsMask();
    const DepthQuadTest& dq = w.depth_quad;
    const __m256i maxv = _mm256_broadcastsi128_si256(dq.maxv);
    const __m256i zadd = _mm256_broadcastsi128_si256(dq.zadd), zgt = _mm256_broadcastsi128_si256(dq.zgt);
    const __m256i zeq = _mm256_broadcastsi128_si256(dq.zeq), zall = _mm256_broadcastsi128_si256(dq.zall);
    const __m256i sign = _mm256_set1_epi32(static_cast<int>(0x80000000u));
    const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
    const __m256i fba = _mm256_set1_epi32(static_cast<int>(w.fba));
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const bool zwrite = w.zwrite;
    const BlendQuad& blend = w.blend_quad;
    for (int k = 0; k < count; ++k) {
        const SpanPiece& pc = pieces[k];
        const RowCursor& fr = pc.row->FrameRow();
        const RowCursor& dr = pc.row->DepthRow();
        const u16* const ftab = fr.RowTable();
        const u16* const dtab = dr.RowTable();
        const u32 fpage = fr.PageBase(0), dpage = dr.PageBase(0);
        const s32 x0 = pc.px, end = pc.px + pc.n;
        const __m256i from = _mm256_set1_epi32(x0 - 1), to = _mm256_set1_epi32(end);
        const u32* const c = colors + pc.at;
        const u32* const z = depths + pc.at;
        for (s32 g = x0 & ~7; g < end; g += 8) {
            const u32 x = static_cast<u32>(g);
            const s32 i = g - x0;
            const __m256i at = _mm256_add_epi32(lane, _mm256_set1_epi32(g));
            const __m256i inside = _mm256_and_si256(_mm256_cmpgt_epi32(at, from), _mm256_cmpgt_epi32(to, at));
            __m256i m = inside;
            int bits = 0xFF;
            if constexpr (kDepth != kNoDepth) {
                const u32 zo = (dpage + ((x >> dsx) << dps) + dtab[x & dmx]) & dunits;
                const __m256i raw = LoadOctet(words, zo);
                const __m256i stored = kDepth == kDepth24 ? _mm256_and_si256(raw, low24) : raw;
                const __m256i zv = _mm256_maskload_epi32(reinterpret_cast<const int*>(z + i), inside);
                // Clamped to ZMAX: the unsigned minimum.
                const __m256i zs = _mm256_min_epu32(zv, maxv);
                __m256i pass;
                if constexpr (kDepth != kDepth32) {
                    pass = _mm256_cmpgt_epi32(_mm256_add_epi32(zs, zadd), stored);
                } else {
                    const __m256i zsf = _mm256_xor_si256(zs, sign);
                    pass = _mm256_or_si256(
                        _mm256_or_si256(
                            _mm256_and_si256(_mm256_cmpgt_epi32(zsf, _mm256_xor_si256(stored, sign)), zgt),
                            _mm256_and_si256(_mm256_cmpeq_epi32(zs, stored), zeq)),
                        zall);
                }
                m = _mm256_and_si256(m, pass);
                bits = _mm256_movemask_ps(_mm256_castsi256_ps(m));
                if (!bits)
                    continue;
                if (zwrite) {
                    const __m256i zm = kDepth == kDepth24 ? _mm256_and_si256(m, low24) : m;
                    StoreOctet(words, zo, _mm256_xor_si256(raw, _mm256_and_si256(_mm256_xor_si256(raw, zs), zm)));
                }
            } else {
                bits = _mm256_movemask_ps(_mm256_castsi256_ps(m));
            }
            const u32 fo = (fpage + ((x >> fsx) << fps) + ftab[x & fmx]) & funits;
            __m256i cv = _mm256_maskload_epi32(reinterpret_cast<const int*>(c + i), m);
            if constexpr (kEq != kNoBlend) {
                // A 24-bit frame's pixels are blended with an alpha of 0x80.
                const __m256i old = LoadOctet(words, fo);
                const __m256i cd = kFrame == kFrame24 ? _mm256_or_si256(_mm256_and_si256(old, low24), sign) : old;
                cv = _mm256_or_si256(BlendEight<kEq>(blend, cv, cd), fba);
                if constexpr (kFrame == kFrame24)
                    m = _mm256_and_si256(m, low24);
                StoreOctet(words, fo, _mm256_xor_si256(old, _mm256_and_si256(_mm256_xor_si256(old, cv), m)));
                continue;
            }
            cv = _mm256_or_si256(cv, fba);
            if constexpr (kFrame == kFrame24) {
                // The frame's top byte is kept.
                m = _mm256_and_si256(m, low24);
            } else if (bits == 0xFF) {
                StoreOctet(words, fo, cv);
                continue;
            }
            const __m256i old = LoadOctet(words, fo);
            StoreOctet(words, fo, _mm256_xor_si256(old, _mm256_and_si256(_mm256_xor_si256(old, cv), m)));
        }
    }
}

// Lanes of a line (PairedColumns) from the lanes of an octet of its upper
// row: lane k of the octet is word (k / 2) x 4 + k % 2 of the line.  Those
// of the lower row are two words on.
constexpr std::array<u16, 256> kLineLanes = [] {
    std::array<u16, 256> t{};
    for (u32 m = 0; m < 256; ++m)
        for (u32 k = 0; k < 8; ++k)
            if (m >> k & 1)
                t[m] |= static_cast<u16>(1u << ((k >> 1) * 4 + (k & 1)));
    return t;
}();

// Lanes [lo, hi) of an octet, lo and hi in [0, 8]: the lanes from lo and
// those below hi.
alignas(16) constexpr u8 kOctetFrom[9] = {0xFF, 0xFE, 0xFC, 0xF8, 0xF0, 0xE0, 0xC0, 0x80, 0x00};
alignas(16) constexpr u8 kOctetBelow[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

inline u32 OctetLanes(s32 lo, s32 hi)
{
    return kOctetFrom[std::clamp(lo, 0, 8)] & kOctetBelow[std::clamp(hi, 0, 8)];
}

// WriteOctetPiecesAvx2 a line of two rows at a time: a piece of an even row
// followed by one of the row below is walked in the groups of eight of both
// pieces' columns together, each group one 64-byte line of Z values and one
// of pixels, loaded, tested and stored as single vectors (the stores masked
// to the lanes inside the pieces that pass, so that nothing else of the line
// is written); a piece with no such neighbour is walked alone, the other
// row's lanes of its lines left out.  The frame is read only to blend or to
// keep a 24-bit frame's top byte.  Frame and Z pages are alike (see
// PickLinePiecesAvx512): a pixel's page and row table differ between them,
// not how x picks its page and entry.
template <int kFrame, int kDepth, int kEq>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) void WriteLinePiecesAvx512(
    const WriterState& w, const SpanPiece* pieces, int count, const u32* colors, const u32* depths)
{
    if (count <= 0)
        return;
    u32* const words = w.words;
    const RowCursor& cursor0 = pieces[0].row->FrameRow();
    const u32 mx = cursor0.MaskX(), sx = cursor0.ShiftX(), ps = cursor0.PageShift(), units = cursor0.UnitsMask();
    const __m512i maxv = _mm512_set1_epi32(static_cast<int>(w.zmax));
    const __m512i zadd = _mm512_broadcast_i32x4(w.depth_quad.zadd);
    const __mmask16 zgt = w.zgt ? 0xFFFF : 0, zeq = w.zeq ? 0xFFFF : 0, zall = w.zall ? 0xFFFF : 0;
    const __m512i low24 = _mm512_set1_epi32(0xFFFFFF);
    const __m512i fba = _mm512_set1_epi32(static_cast<int>(w.fba));
    // Octets of the upper row in qwords 0, 2, 4, 6, of the lower in 1, 3, 5, 7.
    const __m512i interleave = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
    const bool zwrite = w.zwrite;
    const BlendQuad& blend = w.blend_quad;
    for (int k = 0; k < count;) {
        // The upper row's piece and the lower's; an absent one is given the
        // other's, with no pixels.
        const SpanPiece& first_piece = pieces[k];
        const u32 y = first_piece.row->Y();
        const bool odd = y & 1;
        const bool pair = !odd && k + 1 < count && pieces[k + 1].row->Y() == y + 1;
        const SpanPiece& up = first_piece;
        const SpanPiece& down = pieces[pair ? k + 1 : k];
        k += pair ? 2 : 1;
        const s32 ux0 = up.px, uend = odd ? ux0 : ux0 + up.n;
        const s32 dx0 = down.px, dend = pair || odd ? dx0 + down.n : dx0;
        // The line of pixel x of the row walked is its octet's offset less
        // `lift`.
        const u32 lift = odd ? 2 : 0;
        const RowCursor& fr = first_piece.row->FrameRow();
        const RowCursor& dr = first_piece.row->DepthRow();
        const u16* const ftab = fr.RowTable();
        const u16* const dtab = dr.RowTable();
        const u32 fpage = fr.PageBase(0) - lift, dpage = dr.PageBase(0) - lift;
        // Colours and depths of pixel x: entry x of these.
        const u32* const cu = colors + (up.at - ux0);
        const u32* const zu = depths + (up.at - ux0);
        const u32* const cd = colors + (down.at - dx0);
        const u32* const zd = depths + (down.at - dx0);
        const s32 last = std::max(uend, dend);
        for (s32 g = std::min(ux0, dx0) & ~7; g < last; g += 8) {
            const u32 x = static_cast<u32>(g);
            const __mmask8 mu = static_cast<__mmask8>(OctetLanes(ux0 - g, uend - g));
            const __mmask8 md = static_cast<__mmask8>(OctetLanes(dx0 - g, dend - g));
            const __mmask16 inside = static_cast<__mmask16>(kLineLanes[mu] | kLineLanes[md] << 2);
            const u32 page = (x >> sx) << ps;
            __mmask16 m = inside;
            if constexpr (kDepth != kNoDepth) {
                const u32 zo = (dpage + page + dtab[x & mx]) & units;
                const __m512i raw = _mm512_loadu_si512(words + zo);
                const __m512i zv = _mm512_permutex2var_epi64(_mm512_castsi256_si512(_mm256_maskz_loadu_epi32(mu, zu + g)),
                                                             interleave,
                                                             _mm512_castsi256_si512(_mm256_maskz_loadu_epi32(md, zd + g)));
                // Clamped to ZMAX: the unsigned minimum.
                const __m512i zs = _mm512_min_epu32(zv, maxv);
                if constexpr (kDepth != kDepth32) {
                    m = _mm512_mask_cmpgt_epi32_mask(inside, _mm512_add_epi32(zs, zadd), _mm512_and_si512(raw, low24));
                } else {
                    m = static_cast<__mmask16>((_mm512_mask_cmpgt_epu32_mask(inside, zs, raw) & zgt) |
                                               (_mm512_mask_cmpeq_epi32_mask(inside, zs, raw) & zeq) |
                                               (inside & zall));
                }
                if (!m)
                    continue;
                if (zwrite) {
                    // A 24-bit buffer keeps its top byte.
                    _mm512_mask_storeu_epi32(words + zo, m,
                                             kDepth == kDepth24 ? _mm512_ternarylogic_epi32(low24, zs, raw, 0xCA) : zs);
                }
            }
            const u32 fo = (fpage + page + ftab[x & mx]) & units;
            __m512i cv = _mm512_permutex2var_epi64(_mm512_castsi256_si512(_mm256_maskz_loadu_epi32(mu, cu + g)),
                                                   interleave,
                                                   _mm512_castsi256_si512(_mm256_maskz_loadu_epi32(md, cd + g)));
            if constexpr (kEq != kNoBlend || kFrame == kFrame24) {
                const __m512i old = _mm512_loadu_si512(words + fo);
                if constexpr (kEq != kNoBlend) {
                    // A 24-bit frame's pixels are blended with an alpha of 0x80.
                    const __m512i dest =
                        kFrame == kFrame24
                            ? _mm512_ternarylogic_epi32(old, low24, _mm512_set1_epi32(static_cast<int>(0x80000000u)), 0xEA)
                            : old;
                    const __m256i lo = BlendEight<kEq>(blend, _mm512_castsi512_si256(cv), _mm512_castsi512_si256(dest));
                    const __m256i hi =
                        BlendEight<kEq>(blend, _mm512_extracti64x4_epi64(cv, 1), _mm512_extracti64x4_epi64(dest, 1));
                    cv = _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
                }
                cv = _mm512_or_si512(cv, fba);
                // The frame's top byte is kept.
                if constexpr (kFrame == kFrame24)
                    cv = _mm512_ternarylogic_epi32(low24, cv, old, 0xCA);
            } else {
                cv = _mm512_or_si512(cv, fba);
            }
            _mm512_mask_storeu_epi32(words + fo, m, cv);
        }
    }
}

template <int kFrame, int kDepth>
constexpr std::array<PiecesFn, 3> kLinePiecesByEq = {WriteLinePiecesAvx512<kFrame, kDepth, kNoBlend>,
                                                     WriteLinePiecesAvx512<kFrame, kDepth, kBlendAny>,
                                                     WriteLinePiecesAvx512<kFrame, kDepth, kBlendMix>};

PiecesFn PickLinePiecesAvx512(int frame, int depth, int eq)
{
    static constexpr std::array<PiecesFn, 3> table[2][3] = {
        {kLinePiecesByEq<kFrame32, kNoDepth>, kLinePiecesByEq<kFrame32, kDepth32>, kLinePiecesByEq<kFrame32, kDepth24>},
        {kLinePiecesByEq<kFrame24, kNoDepth>, kLinePiecesByEq<kFrame24, kDepth32>, kLinePiecesByEq<kFrame24, kDepth24>},
    };
    if ((frame != kFrame32 && frame != kFrame24) || (depth != kNoDepth && depth != kDepth32 && depth != kDepth24) ||
        eq < kNoBlend || eq > kBlendMix)
        return nullptr;
    return table[frame == kFrame24][depth == kNoDepth ? 0 : depth == kDepth32 ? 1 : 2][eq];
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

#undef GS_AVX2

template <int kFrame, int kDepth>
constexpr std::array<PiecesFn, 3> kOctetPiecesByEq = {WriteOctetPiecesAvx2<kFrame, kDepth, kNoBlend>,
                                                      WriteOctetPiecesAvx2<kFrame, kDepth, kBlendAny>,
                                                      WriteOctetPiecesAvx2<kFrame, kDepth, kBlendMix>};

PiecesFn PickOctetPiecesAvx2(int frame, int depth, int eq)
{
    static constexpr std::array<PiecesFn, 3> table[2][3] = {
        {kOctetPiecesByEq<kFrame32, kNoDepth>, kOctetPiecesByEq<kFrame32, kDepth32>,
         kOctetPiecesByEq<kFrame32, kDepth24>},
        {kOctetPiecesByEq<kFrame24, kNoDepth>, kOctetPiecesByEq<kFrame24, kDepth32>,
         kOctetPiecesByEq<kFrame24, kDepth24>},
    };
    if ((frame != kFrame32 && frame != kFrame24) || (depth != kNoDepth && depth != kDepth32 && depth != kDepth24) ||
        eq < kNoBlend || eq > kBlendMix)
        return nullptr;
    return table[frame == kFrame24][depth == kNoDepth ? 0 : depth == kDepth32 ? 1 : 2][eq];
}

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

__m128i FogColor16(u32 fogcol)
{
    return Widen(fogcol & 0xFFFFFF);
}

// Asks for the line holding `p`, read or written soon (an asm statement:
// GCC may drop a plain prefetch in a loop doing nothing else).
__attribute__((always_inline)) inline void PrefetchLine(const void* p)
{
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
}

// Walks over columns wider than this go through whole pages in turn, which
// the processor foresees itself: they ask for nothing ahead.
constexpr u32 kBlocksAheadWidth = 64;

// Asks for the lines of the blocks at columns [x0, x1) (multiples of the
// block width `bx`) of a block row; `unit` is log2 of the row's offset
// units in a word (Unit).
void PrefetchBlockRow(const u32* words, const RowCursor& row, u32 unit, u32 x0, u32 x1, u32 bx)
{
    for (u32 x = x0; x < x1; x += bx) {
        const u32* const block = words + ((row.Offset(x) >> unit) & (kMemoryWords - 1) & ~63u);
        for (u32 i = 0; i < 64; i += 16)
            PrefetchLine(block + i);
    }
}

// A walk down the rows of a buffer's columns [x0, x1) asking for its blocks
// a block row ahead: at the first row of each block row, the blocks of the
// next block row of the band's (the passes over whole frames go through
// buffers far larger than the caches, block by block, which the processor
// does not foresee).
class BlocksAhead {
public:
    BlocksAhead(const Layout& layout, u32 bp, u32 bw, u32 x0, u32 x1)
        : layout_(&layout),
          bp_(bp),
          bw_(bw),
          unit_(static_cast<u32>(layout.unit)),
          bx_(layout.block_width),
          by_(layout.block_height),
          x0_(x0 & ~(bx_ - 1u)),
          x1_(x1)
    {
    }

    // Row y of the walk, which ends at row `end`.
    void Row(const u32* words, s32 y, s32 end, const RowBands& bands) const
    {
        if (x1_ - x0_ > kBlocksAheadWidth || (static_cast<u32>(y) & (by_ - 1)) != 0)
            return;
        s32 next = y + static_cast<s32>(by_);
        if (next >= end)
            return;
        bands.Stretch(next, end);
        if (next < end)
            PrefetchBlockRow(words, RowCursor(*layout_, bp_, bw_, static_cast<u32>(next)), unit_, x0_, x1_, bx_);
    }

private:
    const Layout* layout_;
    u32 bp_, bw_, unit_, bx_, by_, x0_, x1_;
};

// A value per pixel that repeats every four columns and rows (a flat colour,
// or one dithered): pixel (x, y) takes value[(y & 3) * 4 + (x & 3)].
struct FillPattern {
    u32 value[16];

    explicit FillPattern(u32 v)
    {
        for (u32& x : value)
            x = v;
    }
    FillPattern() = default;
    u32 At(u32 x, u32 y) const { return value[((y & 3) << 2) | (x & 3)]; }
};

// The blocks at columns [x0, x1) (multiples of the block width `bx`) of a
// block row, each set to the block image `image` (64 words), the bits of
// `keep` left as they were.  One value throughout (kUniform) is stored from
// a register; with nothing kept (!kMerge) the old words are not read.
template <bool kUniform, bool kMerge>
void FillBlockRow(u32* words, const RowCursor& row, bool halves, u32 x0, u32 x1, u32 bx, const u32* image, u32 keep)
{
    const __m128i kept = _mm_set1_epi32(static_cast<int>(keep));
    const __m128i* const src = reinterpret_cast<const __m128i*>(image);
    const __m128i one = _mm_set1_epi32(static_cast<int>(image[0] & ~keep));
    for (u32 x = x0; x < x1; x += bx) {
        const u32 offset = row.Offset(x);
        __m128i* const block =
            reinterpret_cast<__m128i*>(words + ((halves ? offset >> 1 : offset) & (kMemoryWords - 1) & ~63u));
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            __m128i v = kUniform ? one : _mm_andnot_si128(kept, _mm_load_si128(src + i));
            if constexpr (kMerge)
                v = _mm_or_si128(v, _mm_and_si128(_mm_load_si128(block + i), kept));
            _mm_store_si128(block + i, v);
        }
    }
}

// FillBlockRow eight words at a time.
template <bool kUniform, bool kMerge>
__attribute__((target("avx2"))) void FillBlockRowAvx2(u32* words, const RowCursor& row, bool halves, u32 x0, u32 x1,
                                                       u32 bx, const u32* image, u32 keep)
{
    const __m256i kept = _mm256_set1_epi32(static_cast<int>(keep));
    const __m256i* const src = reinterpret_cast<const __m256i*>(image);
    const __m256i one = _mm256_set1_epi32(static_cast<int>(image[0] & ~keep));
    for (u32 x = x0; x < x1; x += bx) {
        const u32 offset = row.Offset(x);
        __m256i* const block =
            reinterpret_cast<__m256i*>(words + ((halves ? offset >> 1 : offset) & (kMemoryWords - 1) & ~63u));
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            __m256i v = kUniform ? one : _mm256_andnot_si256(kept, _mm256_loadu_si256(src + i));
            if constexpr (kMerge)
                v = _mm256_or_si256(v, _mm256_and_si256(_mm256_loadu_si256(block + i), kept));
            _mm256_storeu_si256(block + i, v);
        }
    }
}

using FillBlockRowFn = void (*)(u32*, const RowCursor&, bool, u32, u32, u32, const u32*, u32);

// Stores `pattern` (merged under `word_mask`, its low half for 16-bit pixels) at
// every pixel of [x0, x1) x [y0, y1) of a buffer, rows outside `bands` left
// alone: whole blocks as copies of one block's 64 words (blocks start at
// multiples of four columns and rows, so every block holds the pattern
// alike), the edges row by row.
void FillRect(LocalMemory& memory, Psm psm, u32 bp, u32 bw, u32 x0, u32 x1, u32 y0, u32 y1,
              const FillPattern& pattern, u32 word_mask, const RowBands& bands)
{
    const Layout& layout = LayoutOf(psm);
    const bool halves = layout.unit == Unit::kHalf;
    const u32 bx = layout.block_width, by = layout.block_height;
    u32 cx0 = (x0 + bx - 1) / bx * bx, cx1 = x1 / bx * bx;
    const u32 cy0 = (y0 + by - 1) / by * by, cy1 = y1 / by * by;
    // A band must hold whole block rows for the blocks to be its own: its
    // rows a whole number of blocks high (block heights are powers of two).
    const bool core = cx0 < cx1 && cy0 < cy1 && (bands.count == 1 || ((1u << bands.shift) & (by - 1)) == 0);
    if (!core)
        cx0 = cx1 = x1;
    u32* const words = memory.DrawWords();
    u16* const hw = memory.DrawHalves();
    auto store = [&](u32 offset, u32 value) {
        if (halves) {
            u16& h = hw[offset & (kMemoryBytes / 2 - 1)];
            h = static_cast<u16>((h & ~word_mask) | (value & word_mask));
        } else {
            u32& w = words[offset & (kMemoryWords - 1)];
            w = (w & ~word_mask) | (value & word_mask);
        }
    };
    // Rows of the core with no pixel left or right of it are skipped whole.
    const bool core_rows_whole = cx0 == x0 && cx1 == x1;
    for (u32 y = y0; y < y1; ++y) {
        const bool in_core = core && y >= cy0 && y < cy1;
        if (in_core && core_rows_whole) {
            y = cy1 - 1;
            continue;
        }
        if (!bands.Has(static_cast<s32>(y)))
            continue;
        const RowCursor row(layout, bp, bw, y);
        for (u32 x = x0; x < (in_core ? cx0 : x1); ++x)
            store(row.Offset(x), pattern.At(x, y));
        if (in_core)
            for (u32 x = cx1; x < x1; ++x)
                store(row.Offset(x), pattern.At(x, y));
    }
    if (!core)
        return;
    // One block's words: pixel (x, y) of a block is at its offset's place
    // within the block.  One value throughout needs only the first word.
    alignas(32) u32 image[64];
    const u32 first = pattern.value[0];
    bool uniform = true;
    for (u32 v : pattern.value)
        uniform = uniform && (halves ? static_cast<u16>(v) == static_cast<u16>(first) : v == first);
    if (uniform) {
        image[0] = halves ? (first & 0xFFFF) * 0x10001u : first;
    } else {
        u16* const image_halves = reinterpret_cast<u16*>(image);
        const u32 in_block = halves ? 127 : 63;
        for (u32 y = 0; y < by; ++y)
            for (u32 x = 0; x < bx; ++x) {
                const u32 at = PixelOffset(layout, 0, bw, x, y) & in_block;
                if (halves)
                    image_halves[at] = static_cast<u16>(pattern.At(x, y));
                else
                    image[at] = pattern.At(x, y);
            }
        for (u32 w : image)
            uniform = uniform && w == image[0];
    }
    const u32 mask = halves ? (word_mask & 0xFFFF) * 0x10001u : word_mask;
    static constexpr FillBlockRowFn kFills[2][2] = {{FillBlockRow<false, false>, FillBlockRow<false, true>},
                                                    {FillBlockRow<true, false>, FillBlockRow<true, true>}};
    static constexpr FillBlockRowFn kFillsAvx2[2][2] = {
        {FillBlockRowAvx2<false, false>, FillBlockRowAvx2<false, true>},
        {FillBlockRowAvx2<true, false>, FillBlockRowAvx2<true, true>}};
    const FillBlockRowFn fill = (ActiveSimdLevel() >= SimdLevel::kAvx2 ? kFillsAvx2 : kFills)[uniform][mask != 0xFFFFFFFFu];
    // The band's block rows only: a band holds whole block rows here.
    for (s32 y = static_cast<s32>(cy0); y < static_cast<s32>(cy1);) {
        const s32 end = bands.Stretch(y, static_cast<s32>(cy1));
        for (; y < end; y += static_cast<s32>(by)) {
            // The block row below is asked for while this one is filled.
            if (cx1 - cx0 <= kBlocksAheadWidth && y + static_cast<s32>(by) < end)
                PrefetchBlockRow(words, RowCursor(layout, bp, bw, static_cast<u32>(y) + by), halves ? 1 : 0, cx0, cx1,
                                 bx);
            fill(words, RowCursor(layout, bp, bw, static_cast<u32>(y)), halves, cx0, cx1, bx, image, ~mask);
        }
        y = std::max(y, end);
    }
}

// Whether the frame pixels and Z values of the box [x0, x1) x [y0, y1) are
// sure to lie in different memory.
bool FrameAndDepthApart(const DrawEnv& env, s32 x0, s32 x1, s32 y0, s32 y1)
{
    if (!env.depth.used)
        return true;
    u32 flo, fhi, zlo, zhi;
    const u32 ux0 = static_cast<u32>(x0), ux1 = static_cast<u32>(x1);
    const u32 uy0 = static_cast<u32>(y0), uy1 = static_cast<u32>(y1);
    return BlockRange(env.frame.psm, env.frame.bp, env.frame.bw, ux0, ux1, uy0, uy1, flo, fhi) &&
           BlockRange(env.depth.psm, env.depth.bp, env.frame.bw, ux0, ux1, uy0, uy1, zlo, zhi) &&
           (fhi <= zlo || zhi <= flo);
}

// Whether the texels a textured sprite reads (on the levels its Q picks)
// lie apart from the frame pixels it writes and, when it writes Z (`zwrite`),
// from its Z values: a sprite reading what it writes must see each pixel as drawn
// so far, pixel by pixel.  Its texture coordinates change monotonically
// along each axis, so the first and last column and row bound them.
bool SpriteTextureApart(const DrawEnv& env, const SpriteSetup& s, bool zwrite)
{
    const u32 x0 = static_cast<u32>(s.px_begin), x1 = static_cast<u32>(s.px_end);
    const u32 y0 = static_cast<u32>(s.py_begin), y1 = static_cast<u32>(s.py_end);
    u32 flo, fhi, zlo = 0, zhi = 0;
    if (!BlockRange(env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, flo, fhi))
        return false;
    if (zwrite && !BlockRange(env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, zlo, zhi))
        return false;
    const TextureEnv& tex = env.tex;
    SpriteTexels rects[2];
    const u32 count = SpriteTexelRects(env, s, rects);
    for (u32 i = 0; i < count; ++i) {
        const SpriteTexels& r = rects[i];
        // Pages follow one another along a row of pages and on to the next
        // row: texels past the buffer's width lie in the pages after the
        // row's, which the same bounds take in.
        const Layout& layout = LayoutOf(tex.psm);
        const u64 across = PagesAcross(layout, tex.level_tbw[r.level]);
        const u32 lo = tex.level_tbp[r.level] +
                       static_cast<u32>(((r.y0 >> layout.page_shift_y) * across + (r.x0 >> layout.page_shift_x)) *
                                        kPageBlocks);
        const u64 end = tex.level_tbp[r.level] +
                        ((r.y1 >> layout.page_shift_y) * across + (r.x1 >> layout.page_shift_x) + 1) * kPageBlocks;
        if (end > kBlockCount)
            return false;
        const u32 hi = static_cast<u32>(end);
        if ((lo < fhi && flo < hi) || (lo < zhi && zlo < hi))
            return false;
    }
    return true;
}

// A flat sprite filled buffer by buffer with frame values `frame` (in the
// frame's format: FBA applied, 16-bit ones narrowed), Z written when it is
// written; false when the frame and Z buffer could share memory or rows are
// masked, where the pixel order matters.
bool FillSpriteByBlocks(const DrawEnv& env, const WriterState& ws, const SpriteSetup& s, LocalMemory& memory,
                        const FillPattern& frame, const RowBands& bands)
{
    if (env.scanmsk >= 2)
        return false;
    const u32 x0 = static_cast<u32>(s.px_begin), x1 = static_cast<u32>(s.px_end);
    const u32 y0 = static_cast<u32>(s.py_begin), y1 = static_cast<u32>(s.py_end);
    const bool zwrite = env.depth.used && ws.zwrite;
    u32 flo, fhi, zlo, zhi;
    if (!BlockRange(env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, flo, fhi))
        return false;
    if (zwrite) {
        if (!BlockRange(env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, zlo, zhi))
            return false;
        if (zlo < fhi && flo < zhi)
            return false;
        const u32 zs = std::min(s.z, env.depth.max);
        const int zc = DepthClassOf(env.depth);
        FillRect(memory, env.depth.psm, env.depth.bp, env.frame.bw, x0, x1, y0, y1, FillPattern(zs),
                 zc == kDepth24 ? 0xFFFFFFu : 0xFFFFFFFFu, bands);
    }
    const int fc = FrameClassOf(env.frame.psm);
    FillRect(memory, env.frame.psm, env.frame.bp, env.frame.bw, x0, x1, y0, y1, frame,
             ~ws.keep & (fc == kFrame24 ? 0xFFFFFFu : fc == kFrame16 ? 0xFFFFu : 0xFFFFFFFFu), bands);
    return true;
}

// The frame values of a flat colour `flat` as the writing stage leaves them
// without blending: dithered (16-bit frames with DTHE), clamped or wrapped,
// FBA applied and narrowed to the frame's format.
FillPattern FlatFramePattern(const DrawEnv& env, const Color& flat)
{
    FillPattern p;
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 4; ++x) {
            Color c = flat;
            DitherAndClamp(env.dither ? env.dimx[y][x] : 0, env.colclamp, c);
            if (env.fba)
                c.a |= 0x80;
            const u32 rgba = PackColor(c);
            p.value[y * 4 + x] = env.frame.is16 ? Narrow16(rgba) : rgba;
        }
    return p;
}

}  // namespace

PageGrid GridOf(Psm psm, u32 bp, u32 bw)
{
    const Layout& layout = LayoutOf(psm);
    return PageGrid{bp, PagesAcross(layout, bw), layout.page_shift_x, layout.page_shift_y};
}

bool BlockRange(Psm psm, u32 bp, u32 bw, u32 x0, u32 x1, u32 y0, u32 y1, u32& lo, u32& hi)
{
    return GridRange(GridOf(psm, bp, bw), x0, x1, y0, y1, lo, hi);
}

// A sprite made ready for the specialised pipelines once (PrepareSprite):
// its writing stage, its texture's reads and what stays fixed down its
// columns, then drawn band by band (DrawPreparedSprite), by several threads
// at once.  It points at the state, set-up, memory and CLUT it was prepared
// from, which stay as they are until it is drawn; what it keeps of its own
// (columns, palette) it keeps from sprite to sprite, for its room.
struct SpritePlan {
    const DrawEnv* given = nullptr;
    const SpriteSetup* s = nullptr;
    LocalMemory* memory = nullptr;
    // The state drawn: `given`, or one of these made from it.
    std::optional<DrawEnv> untested, without_depth;
    const DrawEnv* env = nullptr;
    Writer writer;
    bool alpha_test = false;
    bool nothing = false;  // nothing is drawn at all
    bool fill_depth = false;  // Z is filled by blocks first...
    bool draws = false;  // ...and then the frame drawn
    // Flat sprites: the colour, and whether it is filled by blocks.
    u32 rgba = 0;
    bool fill = false;
    FillPattern pattern;
    // Textured ones.
    bool uv = false;
    Texturing tex;
    alignas(16) u32 palette[256];
    std::optional<PrimitiveSampler> sampler;
    ShadeContext sc{};
    u32 tfx = 0;
    bool tcc = false, fog = false, avx2 = false;
    SpriteShadeFn shade = nullptr;
    int n = 0;
    std::vector<s32> u16s, ua, ub, fu;
    SpriteRowArgs args{};
    bool whole_rows = false;
    // Rows written two at a time (WriteSpriteRowPair32) by the walk of
    // one-texel-a-pixel sprites.
    bool row_pairs = false;
    std::vector<u32> depth_row_room;
    const u32* row_depths = nullptr;
    // The texel columns read: a run of consecutive texels, a window of
    // them, or each column on its own (see PrepareSprite).
    s32 lo = 0, hi = 0;
    bool run = false, window = false;
    int run_begin = 0, run_end = 0;
    SpriteReaders readers{};
    SpriteColumns cols;
    bool as_is = false, centred = false;
};

void SpritePlanDelete::operator()(SpritePlan* p) const
{
    delete p;
}

SpritePlanPtr MakeSpritePlan()
{
    return SpritePlanPtr(new SpritePlan);
}

namespace {

// The horizontal weights of a column whose texels mix with fraction f.
__m128i SpriteWeights(s32 f)
{
    const s16 a = static_cast<s16>(16 - f), b = static_cast<s16>(f);
    return _mm_set_epi16(b, b, b, b, a, a, a, a);
}

}  // namespace

bool PrepareSprite(const DrawEnv& given, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut,
                   SpritePlan& p)
{
    p.given = &given;
    p.s = &s;
    p.memory = &memory;
    p.untested.reset();
    p.without_depth.reset();
    p.sampler.reset();
    p.nothing = p.fill_depth = p.draws = false;
    Writer& writer = p.writer;
    writer = Writer{};
    const s32 alpha = given.prim.tme ? -1 : s.color.a;
    // An alpha test whose outcome varies from texel to texel, failing pixels
    // left alone: the sprite is drawn as one without the test, each row's
    // runs of passing pixels written once they are shaded.
    if (!MakeWriter(given, memory, writer, alpha)) {
        if (!given.prim.tme || !given.ate || given.afail != AlphaFail::kKeep || (given.date && given.frame.has_alpha))
            return false;
        p.untested.emplace(given);
        p.untested->ate = false;
        writer = Writer{};
        if (!MakeWriter(*p.untested, memory, writer, alpha))
            return false;
    }
    const bool alpha_test = p.untested.has_value();
    p.alpha_test = alpha_test;
    const DrawEnv& tested = p.untested ? *p.untested : given;
    // Rows are read whole before they are written: a sprite reading what it
    // writes is left to the general path, which keeps the pixel order.
    if (tested.prim.tme && !writer.nothing && !SpriteTextureApart(tested, s, writer.state.zwrite))
        return false;
    if (writer.nothing) {
        p.nothing = true;
        return true;
    }
    // A depth test that always passes, with no Z write (ZMSK, or the fail
    // action of an alpha test that always fails), leaves the Z buffer alone
    // and every pixel drawn, as no Z buffer would: the blur and brighten
    // passes' state.
    // A flat sprite whose depth test always passes and whose Z is written
    // apart from its frame pixels: Z is one value, filled by blocks first
    // (nothing of the sprite reads it), then the frame drawn likewise.
    // A textured one likewise: its texels lie apart from what it writes.
    p.fill_depth = !alpha_test && tested.depth.used && writer.state.zall != 0 && writer.state.zwrite &&
                   tested.scanmsk < 2 && FrameAndDepthApart(tested, s.px_begin, s.px_end, s.py_begin, s.py_end);
    if (tested.depth.used && writer.state.zall != 0 && (!writer.state.zwrite || p.fill_depth)) {
        p.without_depth.emplace(tested);
        p.without_depth->depth.used = p.without_depth->depth.test = p.without_depth->depth.write = false;
        writer = Writer{};
        if (!MakeWriter(*p.without_depth, memory, writer, alpha))
            return false;
        if (writer.nothing)
            return true;
    }
    p.draws = true;
    const DrawEnv& env = p.without_depth ? *p.without_depth : tested;
    p.env = &env;
    writer.state.disjoint = FrameAndDepthApart(env, s.px_begin, s.px_end, s.py_begin, s.py_end);
    if (writer.state.disjoint && writer.quads)
        writer.write = writer.quads;
    const WriterState& ws = writer.state;

    if (!env.prim.tme) {
        Color flat = s.color;
        if (env.prim.fge)
            flat = ApplyFog(flat, s.fog, env.fogcol);
        p.rgba = PackColor(flat);
        // Without blending or a depth test every pixel's value is known
        // beforehand, dithered or not.
        p.fill = writer.flat_fill ||
                 (env.dither && !env.blend && writer.frame_write && (!env.depth.used || ws.zall != 0));
        if (p.fill)
            p.pattern = FlatFramePattern(env, flat);
        return true;
    }

    const bool uv = env.prim.fst;
    p.uv = uv;
    const LodChoice lod = ChooseLodForQ(env.tex, uv ? 1.0f : s.q);
    Texturing& tex = p.tex;
    tex = Texturing{};
    MakeTexturing(env.tex, memory, lod, tex, &clut);
    // The palette is this thread's: the plan keeps its own copy.
    if (tex.expand.palette) {
        std::memcpy(p.palette, tex.expand.palette, sizeof p.palette);
        tex.expand.palette = p.palette;
    }
    if (!tex.direct)
        p.sampler.emplace(env.tex, memory, clut);
    p.sc = ShadeContext{&tex, p.sampler ? &*p.sampler : nullptr, FogColor16(env.fogcol)};
    // MODULATE by 0x80 in every channel taking the texel's alpha leaves the
    // texel as it is, as DECAL taking its alpha does.
    u32 tfx = env.tex.tfx;
    const bool tcc = env.tex.tcc, fog = env.prim.fge;
    if (tfx == 0 && tcc && !fog && PackColor(s.color) == 0x80808080u)
        tfx = 1;
    p.tfx = tfx;
    p.tcc = tcc;
    p.fog = fog;
    p.avx2 = ActiveSimdLevel() >= SimdLevel::kAvx2;
    p.shade = PickSpriteShade(tex, tfx, tcc, fog, p.avx2);

    const int n = s.px_end - s.px_begin;
    p.n = n;
    std::vector<s32>& u16s = p.u16s;
    u16s.resize(static_cast<size_t>(n));
    if (uv) {
        UvStepper u(s.u0, s.u1, s.x0, s.x1, s.px_begin);
        for (int i = 0; i < n; ++i, u.Next())
            u16s[static_cast<size_t>(i)] = u.Value();
    } else {
        for (s32 px = s.px_begin; px < s.px_end; ++px)
            u16s[static_cast<size_t>(px - s.px_begin)] = StepStq(s.s0, s.s1, s.q, env.tex.tw, s.x0, s.x1, px);
    }
    p.args = SpriteRowArgs{&s, u16s.data(), 0, s.fog, nullptr, nullptr, nullptr, {}, {}};
    // Rows whose colours are ready are written whole when the writing stage
    // goes by quads, which takes spans of any length (the others take
    // kChunk pixels at most).
    p.whole_rows = writer.quads && writer.write == writer.quads;
    // 16-bit frames with no depth stage or blending take their rows a group
    // of sixteen pixels at a time.
    if (p.whole_rows && env.frame.is16 && HalfColumns(env.frame.psm) && !env.blend && writer.frame_write &&
        (!env.depth.used || (ws.zall != 0 && !ws.zwrite)))
        writer.write = PickSpriteRowHalves(env.dither, ws.keep != 0, p.avx2);
    // Every row of a stretch drawn (no scan mask), the plain quad writer on
    // a CT32 frame: rows may be written in pairs.
    p.row_pairs = p.whole_rows && !alpha_test && env.frame.psm == Psm::kCT32 && env.scanmsk < 2 &&
                  writer.write == static_cast<WriteFn>(WriteSpanQuads<kFrame32, kNoDepth, kNoBlend, false, false>);
    p.row_depths = nullptr;
    if (p.whole_rows) {
        p.depth_row_room.assign(static_cast<size_t>(n) + 8, s.z);
        p.row_depths = p.depth_row_room.data() + 4;
    }
    if (!tex.direct)
        return true;

    // The texel columns (wrapped) of every pixel column, and the horizontal
    // weights.
    const TexLevel& l = tex.level;
    const bool linear = tex.linear;
    std::vector<s32>& ua = p.ua;
    std::vector<s32>& ub = p.ub;
    std::vector<s32>& fu = p.fu;
    // One entry of room past the last column for the reads two at a time.
    ua.resize(static_cast<size_t>(n) + 1);
    ub.resize(ua.size());
    fu.resize(ua.size());
    s32 lo = INT_MAX, hi = INT_MIN;
    for (int i = 0; i < n; ++i) {
        const s32 un = u16s[static_cast<size_t>(i)] >> l.n;
        if (!linear) {
            ua[i] = ub[i] = l.wu(un >> 4);
        } else {
            const s32 us = un - 8;
            fu[i] = us & 15;
            ua[i] = l.wu(us >> 4);
            ub[i] = l.wu((us >> 4) + 1);
        }
        lo = std::min({lo, ua[i], ub[i]});
        hi = std::max({hi, ua[i], ub[i]});
    }
    ua[n] = ub[n] = lo;
    fu[n] = 0;
    // Columns [run_begin, run_end) may be a run of consecutive texels (with
    // one weight when bilinear), read as a run; a first and a last column
    // held by a clamp at the texture's edge are not.
    auto is_run = [&](int b, int e) {
        if (e - b < 8)
            return false;
        for (int i = b; i < e; ++i)
            if (ua[i] != ua[b] + (i - b) || (linear && (ub[i] != ua[i] + 1 || fu[i] != fu[b])))
                return false;
        return true;
    };
    bool run = false;
    int run_begin = 0, run_end = 0;
    for (const auto& [b, e] : {std::pair{0, n}, std::pair{1, n}, std::pair{0, n - 1}, std::pair{1, n - 1}})
        if (is_run(b, e)) {
            run = true;
            run_begin = b;
            run_end = e;
            break;
        }
    // Otherwise, when the texels the columns read lie close together (a
    // magnified or halved texture), the texels lo .. hi are read as a run
    // and each column picks its own out of them; else each column is read
    // on its own.
    const bool window = !run && n > 0 && hi - lo < 2 * n + 16;
    const Psm tpsm = env.tex.psm;
    const int read = tex.tex_class == kTex16 && HalfColumns(tpsm)                                   ? kRunHalves
                     : (tex.tex_class == kTex32 || tex.tex_class == kTex24) && QuadColumns(tpsm) ? kRunQuads
                                                                                                  : kRunTexels;
    p.readers = PickReaders(tex.tex_class, read);
    // The columns read one by one: all of them, or the two outside a run;
    // with a window, the horizontal weights of every column.
    SpriteColumns& cols = p.cols;
    cols.c0.resize(ua.size());
    if (linear) {
        cols.c1.resize(ua.size());
        cols.wu.resize(ua.size());
    }
    for (int i = 0; i < n; ++i) {
        if (run && i >= run_begin && i < run_end)
            continue;
        if (linear)
            cols.wu[i].v = SpriteWeights(fu[i]);
        if (window)
            continue;
        cols.c0[i] = l.ColFor(static_cast<u32>(ua[i]));
        if (linear)
            cols.c1[i] = l.ColFor(static_cast<u32>(ub[i]));
    }
    if (linear)
        cols.wu[n].v = SpriteWeights(0);
    if (window)
        for (int i = 0; i <= n; ++i) {
            ua[i] -= lo;
            ub[i] -= lo;
        }
    p.lo = lo;
    p.hi = hi;
    p.run = run;
    p.window = window;
    p.run_begin = run_begin;
    p.run_end = run_end;
    // DECAL taking the texel's alpha, without fog: the texels are the colours.
    p.as_is = tfx == 1 && tcc && !fog;
    // Texel centres on the pixel centres across (every fu 0) and down (fv
    // 0): the weights are 16 x 16 on the first texel and 0 on the others, so
    // each pixel is that texel, as nearest reads it.
    bool centred = linear;
    for (int i = 0; i < n && centred; ++i)
        centred = fu[i] == 0;
    p.centred = centred;
    return true;
}

void DrawPreparedSprite(const SpritePlan& p, const RowBands& bands)
{
    if (p.nothing)
        return;
    const DrawEnv& given = *p.given;
    const SpriteSetup& s = *p.s;
    LocalMemory& memory = *p.memory;
    if (p.fill_depth) {
        const DrawEnv& tested = p.untested ? *p.untested : given;
        FillRect(memory, tested.depth.psm, tested.depth.bp, tested.frame.bw, static_cast<u32>(s.px_begin),
                 static_cast<u32>(s.px_end), static_cast<u32>(s.py_begin), static_cast<u32>(s.py_end),
                 FillPattern(std::min(s.z, tested.depth.max)),
                 DepthClassOf(tested.depth) == kDepth24 ? 0xFFFFFFu : 0xFFFFFFFFu, bands);
    }
    if (!p.draws)
        return;
    const DrawEnv& env = *p.env;
    const Writer& writer = p.writer;
    const WriterState& ws = writer.state;
    const bool alpha_test = p.alpha_test;
    const Layout& frame_layout = LayoutOf(env.frame.psm);
    const Layout& depth_layout = LayoutOf(env.depth.psm);
    // Room of a quad on either side of the span for the writing stage.
    alignas(16) u32 color_room[4 + kChunk + 4];
    alignas(16) u32 depth_room[4 + kChunk + 4];
    u32* const colors = color_room + 4;
    u32* const depths = depth_room + 4;
    for (u32& d : depth_room)
        d = s.z;

    if (!env.prim.tme) {
        const u32 rgba = p.rgba;
        if (p.fill && FillSpriteByBlocks(env, ws, s, memory, p.pattern, bands))
            return;
        for (u32& c : color_room)
            c = rgba;
        const BlocksAhead frame_ahead(frame_layout, env.frame.bp, env.frame.bw, static_cast<u32>(s.px_begin),
                                      static_cast<u32>(s.px_end));
        for (s32 y = s.py_begin; y < s.py_end;) {
            const s32 end = bands.Stretch(y, s.py_end);
            PixelRow row(frame_layout, depth_layout, env, static_cast<u32>(y));
            for (s32 py = y; py < end; ++py, row.Down(frame_layout, depth_layout, env)) {
                if (RowMasked(env.scanmsk, py))
                    continue;
                frame_ahead.Row(ws.words, py, s.py_end, bands);
                if (writer.flat_fill) {
                    writer.fill(ws, row, static_cast<u32>(s.px_begin), s.px_end - s.px_begin, rgba, s.z);
                    continue;
                }
                for (s32 px = s.px_begin; px < s.px_end; px += kChunk)
                    writer.write(ws, row, static_cast<u32>(px), std::min(kChunk, s.px_end - px), colors, depths);
            }
            y = std::max(y, end);
        }
        return;
    }

    const bool uv = p.uv;
    const Texturing& tex = p.tex;
    const ShadeContext& sc = p.sc;
    const u32 tfx = p.tfx;
    const bool tcc = p.tcc, fog = p.fog, avx2 = p.avx2;
    const SpriteShadeFn shade = p.shade;
    const int n = p.n;
    SpriteRowArgs args = p.args;
    const bool whole_rows = p.whole_rows;
    const u32* const row_depths = p.row_depths;
    // The span's pixels, or with the alpha test its runs of passing ones.
    auto write_span = [&](const PixelRow& row, u32 x, int k, const u32* c, const u32* d) {
        if (!alpha_test) {
            writer.write(ws, row, x, k, c, d);
            return;
        }
        for (int i = 0; i < k;) {
            while (i < k && !AlphaPasses(given.atst, static_cast<s32>(c[i] >> 24), given.aref))
                ++i;
            int j = i;
            while (j < k && AlphaPasses(given.atst, static_cast<s32>(c[j] >> 24), given.aref))
                ++j;
            if (j > i)
                writer.write(ws, row, x + static_cast<u32>(i), j - i, c + i, d + i);
            i = j;
        }
    };
    // Rows in pairs: an even row's colours wait here (with the writing
    // stage's room around them) for the row below, and the two are written
    // together; the quads the span only partly covers are written row by
    // row.
    const bool pairs = p.row_pairs && n >= 8;
    const u32 x_begin = static_cast<u32>(s.px_begin), x_end = static_cast<u32>(s.px_end);
    const u32 pair_begin = (x_begin + 3) & ~3u, pair_end = x_end & ~3u;
    std::vector<u32>& pair_room = scratch.pair;
    if (pairs)
        pair_room.resize(static_cast<size_t>(n) + 16);
    u32* const waiting = pair_room.data() + 4;
    std::optional<PixelRow> waiting_row;
    // Row py (of the stretch of rows y .. end - 1) in whole.
    auto write_row = [&](const PixelRow& row, s32 py, s32 y, s32 end, const u32* row_colors) {
        if (pairs && (py & 1) == 0 && py + 1 < end) {
            std::memcpy(waiting, row_colors, static_cast<size_t>(n) * sizeof(u32));
            waiting_row.emplace(row);
            return;
        }
        if (pairs && (py & 1) != 0 && py > y) {
            const PixelRow& above = *waiting_row;
            for (const auto& [r, c] : {std::pair<const PixelRow&, const u32*>{above, waiting},
                                       std::pair<const PixelRow&, const u32*>{row, row_colors}}) {
                writer.write(ws, r, x_begin, static_cast<int>(pair_begin - x_begin), c, row_depths);
                writer.write(ws, r, pair_end, static_cast<int>(x_end - pair_end), c + (pair_end - x_begin),
                             row_depths);
            }
            WriteSpriteRowPair32(ws, above, pair_begin, pair_end, waiting + (pair_begin - x_begin),
                                 row_colors + (pair_begin - x_begin));
            return;
        }
        writer.write(ws, row, x_begin, n, row_colors, row_depths);
    };
    // The band's rows only, a stretch of them at a time, each stretch
    // stepping v from its first row.
    const BlocksAhead frame_ahead(frame_layout, env.frame.bp, env.frame.bw, x_begin, x_end);
    auto each_row = [&](auto&& row_work) {
        for (s32 y = s.py_begin; y < s.py_end;) {
            const s32 end = bands.Stretch(y, s.py_end);
            UvStepper v(s.v0, s.v1, s.y0, s.y1, y);
            PixelRow row(frame_layout, depth_layout, env, static_cast<u32>(y));
            for (s32 py = y; py < end; ++py, v.Next(), row.Down(frame_layout, depth_layout, env)) {
                if (RowMasked(env.scanmsk, py))
                    continue;
                frame_ahead.Row(ws.words, py, s.py_end, bands);
                args.v16 = uv ? v.Value() : StepStq(s.t0, s.t1, s.q, env.tex.th, s.y0, s.y1, py);
                const u32* row_colors = row_work();
                if (row_colors && whole_rows && !alpha_test) {
                    write_row(row, py, y, end, row_colors);
                    continue;
                }
                if (row_colors && whole_rows) {
                    write_span(row, static_cast<u32>(s.px_begin), n, row_colors, row_depths);
                    continue;
                }
                for (s32 px = s.px_begin; px < s.px_end; px += kChunk) {
                    const int k = std::min(kChunk, s.px_end - px);
                    const u32* c = colors;
                    if (row_colors)
                        c = row_colors + (px - s.px_begin);
                    else
                        shade(sc, args, px - s.px_begin, k, colors);
                    write_span(row, static_cast<u32>(px), k, c, depths);
                }
            }
            y = std::max(y, end);
        }
    };
    if (!tex.direct) {
        each_row([] { return static_cast<const u32*>(nullptr); });
        return;
    }

    const TexLevel& l = tex.level;
    const bool linear = tex.linear;
    const std::vector<s32>& ua = p.ua;
    const std::vector<s32>& ub = p.ub;
    const std::vector<s32>& fu = p.fu;
    const s32 lo = p.lo, hi = p.hi;
    const bool run = p.run, window = p.window;
    const int run_begin = p.run_begin, run_end = p.run_end;
    const SpriteReaders& readers = p.readers;
    const SpriteColumns& cols = p.cols;
    // Texels of a run (with a texel after it when bilinear) or a window, and
    // room for the reads' overrun on either side; nearest keeps the row's
    // texels here too.
    std::vector<u32>& texel_room = scratch.texels;
    texel_room.resize(static_cast<size_t>(std::max(n, window ? hi - lo + 1 : 0)) + 64);
    u32* const run_texels = texel_room.data() + 16;
    std::vector<u32>& row_room = scratch.row;
    row_room.resize(static_cast<size_t>(n) + 64);
    u32* const row_texels = row_room.data() + 16;

    // The texels of texel row v at columns ua (nearest, or the first texels
    // of a bilinear sprite's), kept while the texel row stays.
    s32 texels_v = -1;
    auto texel_row = [&](s32 v) {
        if (v != texels_v) {
            const TexLevel::Row r = l.RowFor(static_cast<u32>(v));
            if (run) {
                readers.run(l, tex.expand, r, static_cast<u32>(ua[run_begin]), run_end - run_begin,
                            row_texels + run_begin);
                if (run_begin > 0)
                    readers.columns(l, tex.expand, r, cols.c0.data(), 1, row_texels);
                if (run_end < n)
                    readers.columns(l, tex.expand, r, cols.c0.data() + n - 1, 1, row_texels + n - 1);
            } else if (window) {
                readers.run(l, tex.expand, r, static_cast<u32>(lo), hi - lo + 1, run_texels);
                for (int i = 0; i < n; ++i)
                    row_texels[i] = run_texels[ua[i]];
            } else {
                readers.columns(l, tex.expand, r, cols.c0.data(), n, row_texels);
            }
            texels_v = v;
        }
        return row_texels;
    };
    // DECAL taking the texel's alpha, without fog: the texels are the colours.
    const bool as_is = p.as_is;
    // A row's colours, shaded whole (with room for the writing stage's
    // reads around them), and what they were shaded from: rows with the
    // same texel rows and vertical weight have the same colours.
    std::vector<u32>& shaded_room = scratch.shaded;
    shaded_room.resize(static_cast<size_t>(n) + 16);
    u32* const shaded = shaded_room.data() + 4;
    struct ShadedFrom {
        s32 v0 = -1, v1 = -1, fv = -1;
        bool operator==(const ShadedFrom&) const = default;
    } shaded_from;
    auto shade_row = [&](const ShadedFrom& from, SpriteShadeFn fn) -> const u32* {
        if (!(from == shaded_from)) {
            fn(sc, args, 0, n, shaded);
            shaded_from = from;
        }
        return shaded;
    };
    const bool centred = p.centred;
    // Every column one texel of a run (bilinear: with one horizontal
    // weight), no alpha test, rows written whole: the copy and brighten
    // passes.  The rows are walked here with their texel rows read, weighted
    // and shaded straight, as the general walk below does them: a bilinear
    // row with its texel centres on the pixel centres across and down as
    // nearest reads it.
    if (run && run_begin == 0 && run_end == n && !alpha_test && whole_rows) {
        const SpriteShadeFn plain_shade = linear ? PickNearestShade(tfx, tcc, fog, avx2) : shade;
        const u32 first_texel = static_cast<u32>(ua[0]);
        s32 read_v = -1;  // the texel row in row_texels
        // Bilinear: the texel rows weighted across in filtered[0] and [1].
        s32 slot_v[2] = {-1, -1};
        for (std::vector<u64>& f : scratch.filtered)
            f.resize(ua.size() + 8);
        u64* const slot[2] = {scratch.filtered[0].data(), scratch.filtered[1].data()};
        const __m128i wu = SpriteWeights(fu[0]);
        const WeightRunFn weigh = avx2 ? WeightRunAvx2 : WeightRun;
        // What `shaded` holds: texel rows v0 and v1 mixed with weight fv, or
        // (fv -2) texel row v0 as it is.
        s32 shaded_v0 = -1, shaded_v1 = -1, shaded_fv = -1;
        // The texel rows read go down (or up) with the rows drawn.
        const Layout& texel_layout = LayoutOf(env.tex.psm);
        const u32 level = tex.lod.level;
        const RowBands all_rows;
        const BlocksAhead texels_ahead(texel_layout, env.tex.level_tbp[level], env.tex.level_tbw[level], first_texel,
                                       first_texel + static_cast<u32>(n) + 1);
        const s32 texel_block_rows = texel_layout.block_height;
        const bool texels_down = uv ? s.v1 >= s.v0 : s.t1 >= s.t0;
        auto texels_read = [&](s32 tv) __attribute__((always_inline)) {
            if (texels_down)
                texels_ahead.Row(l.words, tv, INT_MAX, all_rows);
            else if ((tv & (texel_block_rows - 1)) == 0 && tv >= texel_block_rows)
                texels_ahead.Row(l.words, tv - texel_block_rows, INT_MAX, all_rows);
        };
        for (s32 y = s.py_begin; y < s.py_end;) {
            const s32 end = bands.Stretch(y, s.py_end);
            UvStepper v(s.v0, s.v1, s.y0, s.y1, y);
            PixelRow row(frame_layout, depth_layout, env, static_cast<u32>(y));
            for (s32 py = y; py < end; ++py, v.Next(), row.Down(frame_layout, depth_layout, env)) {
                if (RowMasked(env.scanmsk, py))
                    continue;
                frame_ahead.Row(ws.words, py, s.py_end, bands);
                const s32 v16 = uv ? v.Value() : StepStq(s.t0, s.t1, s.q, env.tex.th, s.y0, s.y1, py);
                s32 v0, v1, fv;
                if (!linear) {
                    v0 = v1 = l.wv((v16 >> l.n) >> 4);
                    fv = -2;
                } else {
                    const s32 vs = (v16 >> l.n) - 8;
                    fv = vs & 15;
                    v0 = l.wv(vs >> 4);
                    v1 = l.wv((vs >> 4) + 1);
                    if (centred && fv == 0) {
                        v1 = v0;
                        fv = -2;
                    }
                }
                const u32* row_colors = shaded;
                if (fv == -2) {
                    if (v0 != read_v) {
                        texels_read(v0);
                        readers.run(l, tex.expand, l.RowFor(static_cast<u32>(v0)), first_texel, n, row_texels);
                        read_v = v0;
                    }
                    if (as_is) {
                        row_colors = row_texels;
                    } else if (v0 != shaded_v0 || fv != shaded_fv) {
                        args.texels = row_texels;
                        plain_shade(sc, args, 0, n, shaded);
                        shaded_v0 = shaded_v1 = v0;
                        shaded_fv = fv;
                    }
                } else if (v0 != shaded_v0 || v1 != shaded_v1 || fv != shaded_fv) {
                    // The weighted row of texel row tv, kept in the slot not
                    // holding `keep`.
                    auto weighted = [&](s32 tv, s32 keep) __attribute__((always_inline)) {
                        if (slot_v[0] == tv)
                            return slot[0];
                        if (slot_v[1] == tv)
                            return slot[1];
                        const int k = slot_v[0] == keep ? 1 : 0;
                        texels_read(tv);
                        readers.run(l, tex.expand, l.RowFor(static_cast<u32>(tv)), first_texel, n + 1, run_texels);
                        weigh(run_texels, n, wu, slot[k]);
                        slot_v[k] = tv;
                        return slot[k];
                    };
                    args.h0 = weighted(v0, v1);
                    args.h1 = fv == 0 ? args.h0 : weighted(v1, v0);
                    args.wv0 = _mm_set1_epi16(static_cast<s16>(16 - fv));
                    args.wv1 = _mm_set1_epi16(static_cast<s16>(fv));
                    shade(sc, args, 0, n, shaded);
                    shaded_v0 = v0;
                    shaded_v1 = v1;
                    shaded_fv = fv;
                }
                write_row(row, py, y, end, row_colors);
            }
            y = std::max(y, end);
        }
        return;
    }
    if (!linear) {
        each_row([&]() -> const u32* {
            const s32 v = l.wv((args.v16 >> l.n) >> 4);
            args.texels = texel_row(v);
            return as_is ? args.texels : shade_row({v, v, 0}, shade);
        });
        return;
    }
    const SpriteShadeFn centred_shade = PickNearestShade(tfx, tcc, fog, avx2);

    // Two weighted texel rows, tagged with their row; a row below reuses the
    // one it shares with the row above.
    std::vector<u64>* const filtered = scratch.filtered;
    s32 filtered_v[2] = {-1, -1};
    for (int k = 0; k < 2; ++k)
        filtered[k].resize(ua.size() + 8);
    const __m128i run_weights = run ? SpriteWeights(fu[run_begin]) : _mm_setzero_si128();
    const WeightRunFn weight_run = avx2 ? WeightRunAvx2 : WeightRun;
    auto filtered_row = [&](s32 v, s32 keep) -> const u64* {
        for (int k = 0; k < 2; ++k)
            if (filtered_v[k] == v)
                return filtered[k].data();
        const int k = filtered_v[0] == keep ? 1 : 0;
        u64* out = filtered[k].data();
        const TexLevel::Row r = l.RowFor(static_cast<u32>(v));
        if (run) {
            readers.run(l, tex.expand, r, static_cast<u32>(ua[run_begin]), run_end - run_begin + 1, run_texels);
            weight_run(run_texels, run_end - run_begin, run_weights, out + run_begin);
            if (run_begin > 0)
                readers.column_filter(l, tex.expand, r, cols, 0, out);
            if (run_end < n)
                readers.column_filter(l, tex.expand, r, cols, static_cast<size_t>(n - 1), out);
        } else if (window) {
            readers.run(l, tex.expand, r, static_cast<u32>(lo), hi - lo + 1, run_texels);
            WeightPicked(run_texels, ua.data(), ub.data(), cols.wu.data(), n, out);
        } else {
            readers.filter(l, tex.expand, r, cols, n, out);
        }
        filtered_v[k] = v;
        return out;
    };
    each_row([&]() -> const u32* {
        const s32 vs = (args.v16 >> l.n) - 8, fv = vs & 15;
        const s32 v0 = l.wv(vs >> 4), v1 = l.wv((vs >> 4) + 1);
        if (centred && fv == 0) {
            args.texels = texel_row(v0);
            // Tagged apart from the mixed rows (fv -2).
            return as_is ? args.texels : shade_row({v0, v0, -2}, centred_shade);
        }
        if (ShadedFrom{v0, v1, fv} == shaded_from)
            return shaded;
        args.h0 = filtered_row(v0, v1);
        // A row with no weight below reads the one above twice: its
        // products with the zero weight are zero all the same.
        args.h1 = fv == 0 ? args.h0 : filtered_row(v1, v0);
        args.wv0 = _mm_set1_epi16(static_cast<s16>(16 - fv));
        args.wv1 = _mm_set1_epi16(static_cast<s16>(fv));
        return shade_row({v0, v1, fv}, shade);
    });
}

bool DrawSpriteSpecialised(const DrawEnv& given, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut,
                           const RowBands& bands)
{
    thread_local const SpritePlanPtr plan = MakeSpritePlan();
    if (!PrepareSprite(given, s, memory, clut, *plan))
        return false;
    DrawPreparedSprite(*plan, bands);
    return true;
}

namespace {
bool g_decode_at_first_use = false;
}  // namespace

void DecodeTexturesAtFirstUse(bool on)
{
    g_decode_at_first_use = on;
}

namespace {

// The decoded copies the calling thread keeps.
struct DecodedCache {
    struct Key {
        u64 memory;
        u32 psm, tbp, tbw, level, width, height, wms, wmt;
        u32 ta0, ta1, aem;         // formats expanded to RGBA8
        u64 generation;            // indexed: the palette
        u32 cpsm, csa, index_bits;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        DecodedTextureRef decoded;
        u64 stamp = 0;
        u64 wanted = 0;  // pixels drawn with it since it was last decoded
        u64 used = 0;
        u64 version = 0;  // changes whenever the entry is given another key
    };
    static constexpr size_t kEntries = 8;
    std::vector<Entry> entries = [] {
        std::vector<Entry> c;
        c.reserve(kEntries);  // entries stay where they are
        return c;
    }();
    u64 versions = 0;
    // The entry and the level's blocks the last call found, kept for the
    // run of triangles drawn in one state; its level of detail too, when
    // that does not follow Q (a state found there passed the checks on the
    // level with it), and whether the texture is indexed.
    struct Last {
        u64 serial = 0, memory = 0, generation = 0;
        u32 level = 0;
        Entry* entry = nullptr;
        u64 version = 0;  // the entry's, when it was found
        u32 lo = 0, hi = 0;
        LodChoice lod;
        bool lod_kept = false;
        bool indexed = false;
    };
};
thread_local DecodedCache t_decoded;
// What the quick look needs, apart: constant-initialised, it is reached
// without a check that the thread's copy was made.
struct DecodedQuick {
    DecodedCache::Last last;
    u64 uses = 0;
    // Memory's last write stamp when the copy `last` names, made at
    // copy_stamp, was last found current (0: not since `last` was set): while
    // memory has no newer write it stays current.
    u64 current_at = 0, copy_stamp = 0;
};
thread_local DecodedQuick t_decoded_quick;

// DecodeTexture's work: the calling thread's entry holding the decoded copy,
// or null.  The entry keeps its copy until the thread's next call.
[[gnu::noinline]] const DecodedTextureRef* FindDecodedTexture(const DrawEnv& env, const LocalMemory& memory,
                                                              const ClutBuffer& clut, float q,
                                                              const TargetBlocks& targets, u32 pixels)
{
    const TextureEnv& tex = env.tex;
    if (!env.prim.tme)
        return nullptr;
    using Key = DecodedCache::Key;
    using Entry = DecodedCache::Entry;
    using Last = DecodedCache::Last;
    constexpr size_t kEntries = DecodedCache::kEntries;
    std::vector<Entry>& cache = t_decoded.entries;
    u64& uses = t_decoded_quick.uses;
    u64& versions = t_decoded.versions;
    Last& last = t_decoded_quick.last;
    const bool lod_kept = env.prim.fst || !tex.lod_matters;
    LodChoice lod;
    if (lod_kept && env.serial != 0 && last.serial == env.serial && last.lod_kept) {
        lod = last.lod;
    } else {
        if ((tex.wms != kWrapRepeat && tex.wms != kWrapClamp) || (tex.wmt != kWrapRepeat && tex.wmt != kWrapClamp))
            return nullptr;
        lod = ChooseLodForQ(tex, env.prim.fst ? 1.0f : q);
        if (!lod.linear || lod.mix16 != 0)
            return nullptr;
    }
    const u32 n = lod.level;
    const bool indexed = IsIndexed(tex.psm);
    const u64 generation = indexed ? clut.Generation() : 0;
    Entry* e = nullptr;
    u32 lo, hi;
    u32 width, height;
    if (env.serial != 0 && last.serial == env.serial && last.memory == memory.Id() && last.level == n &&
        last.generation == generation && last.entry->version == last.version) {
        e = last.entry;
        lo = last.lo;
        hi = last.hi;
        width = e->key.width;
        height = e->key.height;
        if (targets.Overlap(lo, hi))
            return nullptr;
    } else {
        width = 1u << (tex.tw > n ? tex.tw - n : 0);
        height = 1u << (tex.th > n ? tex.th - n : 0);
        // Up to 1 MiB of texels: a larger level is rarely read all over.
        if (width > 1024 || height > 1024 || width * height > (1u << 18))
            return nullptr;
        // A triangle that writes the texels it reads sees its own writes.
        if (!BlockRange(tex.psm, tex.level_tbp[n], tex.level_tbw[n], 0, width, 0, height, lo, hi) ||
            targets.Overlap(lo, hi))
            return nullptr;
        const bool expanded = tex.psm != Psm::kCT32 && tex.psm != Psm::kZ32;
        const Key key{memory.Id(),
                      static_cast<u32>(tex.psm),
                      tex.level_tbp[n],
                      tex.level_tbw[n],
                      n,
                      width,
                      height,
                      tex.wms,
                      tex.wmt,
                      expanded ? tex.ta0 : 0,
                      expanded ? tex.ta1 : 0,
                      expanded ? static_cast<u32>(tex.aem) : 0,
                      generation,
                      indexed ? tex.cpsm : 0,
                      indexed ? tex.csa : 0,
                      indexed ? static_cast<u32>(tex.index_bits) : 0};
        for (Entry& c : cache)
            if (c.key == key)
                e = &c;
        if (!e) {
            if (cache.size() < kEntries) {
                e = &cache.emplace_back();
            } else {
                e = &cache[0];
                for (Entry& c : cache)
                    if (c.used < e->used)
                        e = &c;
                *e = Entry{};
            }
            e->key = key;
            e->version = ++versions;
        }
        last = Last{env.serial, memory.Id(), generation, n, e, e->version, lo, hi, lod, lod_kept, indexed};
    }
    e->used = ++uses;
    if (e->decoded && !memory.WrittenSince(e->stamp, lo, hi))
        return &e->decoded;
    if (e->decoded) {
        e->decoded.reset();
        e->wanted = 0;
    }
    // Decoding reads each texel once: worth it once the triangles drawn with
    // the texture have covered half as many pixels as it has texels.
    e->wanted += pixels;
    if (e->wanted * 2 < static_cast<u64>(width) * height && !g_decode_at_first_use)
        return nullptr;
    Texturing t;
    MakeTexturing(tex, memory, lod, t, &clut);
    if (!t.direct)
        return nullptr;
    auto d = std::make_shared<DecodedTexture>();
    d->level = n;
    d->width = width;
    d->height = height;
    d->stride = width + 2;
    d->u = DecodedAxis(tex.wms, width);
    d->v = DecodedAxis(tex.wmt, height);
    d->texels.resize(2 * static_cast<size_t>(d->stride) * (height + 1));
    switch (t.tex_class) {
    case kTex32: DecodeLevel<kTex32>(t.level, t.expand, *d); break;
    case kTex24: DecodeLevel<kTex24>(t.level, t.expand, *d); break;
    case kTex16: DecodeLevel<kTex16>(t.level, t.expand, *d); break;
    default: DecodeLevel<kTexIndexed>(t.level, t.expand, *d); break;
    }
    e->decoded = std::move(d);
    e->stamp = memory.Stamp();
    return &e->decoded;
}

// FindDecodedTexture, first trying what the last call found: the same state,
// its level of detail fixed, the same memory and palette, and the copy still
// current.
inline const DecodedTextureRef* FindDecodedTextureQuick(const DrawEnv& env, const LocalMemory& memory,
                                                        const ClutBuffer& clut, float q,
                                                        const TargetBlocks& targets, u32 pixels)
{
    DecodedQuick& c = t_decoded_quick;
    const DecodedCache::Last& last = c.last;
    if (env.prim.tme && env.serial != 0 && last.serial == env.serial && last.lod_kept &&
        (env.prim.fst || !env.tex.lod_matters) && last.memory == memory.Id() &&
        last.generation == (last.indexed ? clut.Generation() : 0) && last.entry->version == last.version) {
        if (targets.Overlap(last.lo, last.hi))
            return nullptr;
        DecodedCache::Entry* e = last.entry;
        if (e->decoded) {
            const u64 now = memory.LastWriteStamp();
            bool current = c.current_at == now && c.copy_stamp == e->stamp;
            if (!current && !memory.WrittenSince(e->stamp, last.lo, last.hi)) {
                current = true;
                c.current_at = now;
                c.copy_stamp = e->stamp;
            }
            if (current) {
                e->used = ++c.uses;
                return &e->decoded;
            }
        }
    }
    c.current_at = 0;
    return FindDecodedTexture(env, memory, clut, q, targets, pixels);
}

}  // namespace

DecodedTextureRef DecodeTexture(const DrawEnv& env, const LocalMemory& memory, const ClutBuffer& clut, float q,
                                const TargetBlocks& targets, u64 pixels)
{
    const DecodedTextureRef* d =
        FindDecodedTextureQuick(env, memory, clut, q, targets, static_cast<u32>(std::min<u64>(pixels, 0xFFFFFFFFu)));
    return d ? *d : nullptr;
}

const DecodedTexture* DecodeTextureHere(const DrawEnv& env, const LocalMemory& memory, const ClutBuffer& clut,
                                        float q, const TargetBlocks& targets, u32 pixels)
{
    const DecodedTextureRef* d = FindDecodedTextureQuick(env, memory, clut, q, targets, pixels);
    return d ? d->get() : nullptr;
}

namespace {

// Draws a prepared triangle's rows in `bands`: one call per triangle, picked
// once per state (PickTriangleRows) for its shading and vector level.
struct TrianglePlan;
using TriangleRowsFn = void (*)(const TrianglePlan&, const RowBands&);
TriangleRowsFn PickTriangleRows(bool gouraud, int coords, bool fog, bool avx2);

}  // namespace

// What a triangle's rows need that follows from its state alone: the
// writing and shading stages and the texture's addressing.  Made once for a
// run of triangles drawn in one state; built in place (the sampler and the
// writer point into it) and never moved.
struct alignas(64) TriangleState {
    struct Key {
        u64 serial = 0;
        const LocalMemory* memory = nullptr;
        const ClutBuffer* clut = nullptr;
        u64 clut_generation = 0;
        const DecodedTexture* decoded = nullptr;
        s32 flat_alpha = -1;  // untextured flat triangles: their alpha
        bool flat = false;
        u32 level = 0, mix16 = 0;
        bool linear = false;
        unsigned simd = 0;  // the vector level's generation it was picked in
        bool operator==(const Key&) const = default;
    };
    Key key;
    Writer writer;
    // The writing stage for triangles whose frame pixels and Z values lie
    // apart (the quads, when their layouts allow them).
    WriterState apart_state;
    WriteFn apart_write = nullptr;
    // The writes of several row pieces at once, when the writer has them.
    PiecesFn pieces_write = nullptr, apart_pieces_write = nullptr;
    Texturing tex;
    TextureEnv tex_env;  // what the general sampler reads
    std::optional<PrimitiveSampler> sampler;
    TriangleShadeFns shade{};
    TriangleRowsFn rows = nullptr;
    ShadeContext sc{};
    const Layout* frame_layout = nullptr;
    const Layout* depth_layout = nullptr;
    u32 frame_bp = 0, depth_bp = 0, bw = 0;
    u32 scanmsk = 0;
    bool gouraud = false, textured = false, uv = false, stq = false;
    bool texture_apart = true;  // no texture, or a decoded one
    s32 dimx[4][4] = {};
    u32 palette[256];  // an indexed texture's colours, kept with the state
    u64 id = 0;        // unique among the states made: names its rows in RowsOf
};

namespace {

// The x steps and row-start planes of a triangle's attributes, and the row
// walker placed on its first row.
struct TrianglePlan {
    const TriangleState* state;
    // The plane pairs and their origin, set up in place: those the state
    // does not read are left unset.
    TrianglePlanes planes;
    TriangleSpan steps;  // the x steps and the flat colour
    TriangleRowWalker walker;
    s32 px_begin, px_end, py_begin, py_end;  // the box's columns, and the rows with pixels
    bool apart;  // frame and Z apart
    // Rows are shaded ahead of writing the ones before them only when the
    // texture cannot be what this primitive writes.
    bool batch_rows;

    // Members are filled in by PrepareTriangle.
    explicit TrianglePlan(const TriangleRowWalker& w) : walker(w) {}
    // The walker too, by PrepareTriangleVertices.
    TrianglePlan() = default;

    // Fills in the other members for a triangle of `st` whose planes and
    // walker are in place, its bounding box [px_begin, px_end) x [py_begin,
    // py_end) inside the scissor, writing `targets`; the walker is on row
    // py_begin.
    void Fill(const DrawEnv& env, const TriangleState& st, Color flat, s32 px_begin, s32 px_end, s32 py_begin,
              s32 py_end, const TargetBlocks& targets);
};
static_assert(sizeof(TrianglePlan) <= sizeof(PreparedTriangle::room) && alignof(TrianglePlan) <= 16);
static_assert(std::is_trivially_destructible_v<TrianglePlan>);

// The slot of the state record StateFor last found or made on this thread
// (whatever it holds now), or null.
thread_local const TriangleStateRef* t_last_state = nullptr;

// The state record for `key`: the calling thread keeps the last few.
const TriangleStateRef* StateFor(const TriangleState::Key& key, const DrawEnv& env, LocalMemory& memory,
                                 const ClutBuffer& clut, const LodChoice& lod)
{
    constexpr size_t kStates = 4;
    thread_local std::array<TriangleStateRef, kStates> cache;
    thread_local u32 next = 0;
    // Triangles come in runs of one state: the last one found is tried first.
    thread_local u32 last = 0;
    if (key.serial != 0) {
        if (cache[last] && cache[last]->key == key)
            return t_last_state = &cache[last];
        for (u32 i = 0; i < kStates; ++i)
            if (cache[i] && cache[i]->key == key) {
                last = i;
                return t_last_state = &cache[i];
            }
    }
    Writer writer;
    if (!MakeWriter(env, memory, writer, key.flat_alpha))
        return nullptr;
    auto st = std::make_shared<TriangleState>();
    TriangleState& p = *st;
    static std::atomic<u64> ids{0};
    p.id = ++ids;
    p.key = key;
    p.writer = writer;
    std::copy(&env.dimx[0][0], &env.dimx[0][0] + 16, &p.dimx[0][0]);
    p.writer.state.dimx = p.dimx;
    p.apart_state = p.writer.state;
    p.apart_state.disjoint = true;
    p.apart_write = p.writer.quads ? p.writer.quads : p.writer.write;
    p.apart_pieces_write = p.writer.quads ? p.writer.quad_pieces : nullptr;
    p.pieces_write = p.writer.quads && p.writer.write == p.writer.quads ? p.writer.quad_pieces : nullptr;
    p.frame_layout = &LayoutOf(env.frame.psm);
    p.depth_layout = &LayoutOf(env.depth.psm);
    p.frame_bp = env.frame.bp;
    p.depth_bp = env.depth.bp;
    p.bw = env.frame.bw;
    p.scanmsk = env.scanmsk;
    p.textured = env.prim.tme;
    p.uv = env.prim.fst;
    p.stq = p.textured && !p.uv;
    p.gouraud = !key.flat;
    Texturing& tex = p.tex;
    if (p.textured) {
        MakeTexturing(env.tex, memory, lod, tex, &clut);
        if (!tex.direct) {
            p.tex_env = env.tex;
            p.sampler.emplace(p.tex_env, memory, clut);
        } else if (key.decoded && tex.linear && key.decoded->level == lod.level) {
            tex.decoded = key.decoded;
        }
        // The palette is copied: the expanded palettes a thread keeps may be
        // replaced while the state is still in use.
        if (tex.expand.palette) {
            std::copy(tex.expand.palette, tex.expand.palette + 256, p.palette);
            tex.expand.palette = p.palette;
        }
    }
    p.texture_apart = !p.textured || tex.decoded;
    const int coords = !p.textured ? kNoTex : p.uv ? kUv : kStq;
    p.shade = p.gouraud ? PickTriangleShade<true>(coords, tex, env.tex.tfx, env.tex.tcc, env.prim.fge)
                        : PickTriangleShade<false>(coords, tex, env.tex.tfx, env.tex.tcc, env.prim.fge);
    p.rows = PickTriangleRows(p.gouraud, coords, env.prim.fge, ActiveSimdLevel() >= SimdLevel::kAvx2);
    if (ActiveSimdLevel() >= SimdLevel::kAvx2) {
        const bool repeat = tex.decoded && tex.decoded->u.repeat && tex.decoded->v.repeat;
        if (tex.decoded && coords != kNoTex && ActiveSimdLevel() >= SimdLevel::kAvx512)
            p.shade.finish = PickDecodedFinish<DecodedFinishesAvx512>(repeat, env.tex.tfx, env.tex.tcc, env.prim.fge);
        else if (tex.decoded && coords != kNoTex)
            p.shade.finish = PickDecodedFinish<DecodedFinishesAvx2>(repeat, env.tex.tfx, env.tex.tcc, env.prim.fge);
    }
    p.sc = ShadeContext{&p.tex, p.sampler ? &*p.sampler : nullptr, FogColor16(env.fogcol)};
    last = next++ % kStates;
    TriangleStateRef& slot = cache[last];
    slot = std::move(st);
    return t_last_state = &slot;
}

}  // namespace

namespace {

// The state record for a triangle drawn in `env` whose Q at the first vertex
// is q0 (constant over the triangle or not), flat or not and, when flat,
// of the colour `flat`; null when the pipelines leave the triangle to the
// general path.
// What follows from the state alone is kept for the run of triangles drawn
// in it: the level of detail, unless it follows Q, and whether the texture
// is indexed.
struct FixedForState {
    u64 serial = 0;
    LodChoice lod;
    bool indexed = false;
};
thread_local FixedForState t_fixed;

// TriangleStateFor once the record last found is not the triangle's.
[[gnu::noinline]] const TriangleStateRef* FindTriangleState(const DrawEnv& env, LocalMemory& memory,
                                                            const ClutBuffer& clut, const DecodedTexture* decoded,
                                                            float q0, bool flat, Color flat_color)
{
    const bool textured = env.prim.tme;
    const bool uv = env.prim.fst;
    FixedForState& fixed = t_fixed;
    const bool keep = env.serial != 0 && (uv || !env.tex.lod_matters);
    LodChoice lod;
    bool indexed = false;
    if (textured) {
        if (keep && fixed.serial == env.serial) {
            lod = fixed.lod;
            indexed = fixed.indexed;
        } else {
            lod = ChooseLodForQ(env.tex, uv ? 1.0f : q0);
            indexed = IsIndexed(env.tex.psm);
            if (keep)
                fixed = FixedForState{env.serial, lod, indexed};
        }
    }
    const TriangleState::Key key{env.serial,
                                 &memory,
                                 &clut,
                                 indexed ? clut.Generation() : 0,
                                 textured ? decoded : nullptr,
                                 !textured && flat ? flat_color.a : -1,
                                 flat,
                                 lod.level,
                                 lod.mix16,
                                 lod.linear,
                                 SimdGeneration()};
    return StateFor(key, env, memory, clut, lod);
}

inline __attribute__((always_inline)) const TriangleStateRef* TriangleStateFor(
    const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const DecodedTexture* decoded, float q0,
    bool q_constant, bool flat, Color flat_color)
{
    const bool textured = env.prim.tme;
    const bool uv = env.prim.fst;
    if (textured && env.tex.lod_matters && !uv && !q_constant)
        return nullptr;  // the level of detail follows each pixel's Q
    const FixedForState& fixed = t_fixed;
    const bool keep = env.serial != 0 && (uv || !env.tex.lod_matters);
    // The record last found, when it is this triangle's: its key's fields
    // are compared one by one with what they would be, rather than a key
    // being built for it.
    if (env.serial != 0 && (!textured || (keep && fixed.serial == env.serial))) {
        const TriangleStateRef* last = t_last_state;
        if (last && *last) {
            const TriangleState::Key& k = (*last)->key;
            const s32 flat_alpha = !textured && flat ? flat_color.a : -1;
            const u64 generation = textured && fixed.indexed ? clut.Generation() : 0;
            const LodChoice lod = textured ? fixed.lod : LodChoice{};
            if (k.serial == env.serial && k.memory == &memory && k.clut == &clut &&
                k.decoded == (textured ? decoded : nullptr) && k.flat_alpha == flat_alpha && k.flat == flat &&
                k.clut_generation == generation && k.level == lod.level && k.mix16 == lod.mix16 &&
                k.linear == lod.linear && k.simd == SimdGeneration())
                return last;
        }
    }
    return FindTriangleState(env, memory, clut, decoded, q0, flat, flat_color);
}

}  // namespace

inline void TrianglePlan::Fill(const DrawEnv& env, const TriangleState& st, Color flat_color, s32 px_begin,
                               s32 px_end, s32 py_begin, s32 py_end, const TargetBlocks& targets)
{
    state = &st;
    // The blocks the triangle writes are known: frame and Z lie apart when
    // those ranges do not meet.
    apart = !env.depth.used || (targets.known && (targets.frame_hi <= targets.depth_lo ||
                                                  targets.depth_hi <= targets.frame_lo));
    // Rows the walker's level edges leave empty are dropped here, so that
    // rows are drawn without looking at them again.
    this->px_begin = px_begin;
    this->px_end = px_end;
    this->py_begin = py_begin;
    this->py_end = std::min(py_end, walker.LastRow() + 1);
    for (; this->py_begin < walker.FirstRow() && this->py_begin < this->py_end; ++this->py_begin)
        walker.Next();
    const __m128d sixteen = _mm_set1_pd(16.0);
    TriangleSpan& sp = steps;
    if (st.gouraud) {
        sp.drg = _mm_mul_pd(sixteen, planes.rg.gx);
        sp.dba = _mm_mul_pd(sixteen, planes.ba.gx);
    }
    sp.dzf = _mm_mul_pd(sixteen, planes.zf.gx);
    if (st.textured)
        sp.dst = _mm_mul_pd(sixteen, planes.st.gx);
    if (st.stq) {
        sp.dq = _mm_mul_pd(sixteen, planes.q.gx);  // Q in both lanes: S/Q and T/Q in one division
        sp.scale_u = _mm_set1_pd(static_cast<double>(1 << env.tex.tw) * 16.0);
        sp.scale_v = _mm_set1_pd(static_cast<double>(1 << env.tex.th) * 16.0);
    }
    sp.flat = flat_color;
    batch_rows = st.texture_apart || TextureApartFromTargets(env, px_begin, px_end, py_begin, py_end);
}

bool PrepareTriangle(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory, const ClutBuffer& clut,
                     const DecodedTexture* decoded, const TargetBlocks& targets, PreparedTriangle& out,
                     TriangleStateRef* keep)
{
    out.nothing = false;
    const TriangleStateRef* state = TriangleStateFor(env, memory, clut, decoded,
                                                     static_cast<float>(t.planes[kAttrQ].a0), t.q_constant, t.flat,
                                                     t.flat_color);
    if (!state)
        return false;
    const TriangleState& st = **state;
    if (st.writer.nothing) {
        out.nothing = true;
        return true;
    }
    TriangleRowWalker walker(t, t.py_begin);
    // A walker that settles rows alone reads the caller's set-up.
    if (keep && walker.SettlesRowsAlone())
        return false;
    // Copied only when it holds another record: the count of references is
    // one line every thread drawing in this state would take in turn.
    if (keep && keep->get() != state->get())
        *keep = *state;
    // The set-up's planes in pairs, as the rows step them.
    const bool uv = env.prim.fst;
    const int s_attr = uv ? kAttrU : kAttrS, t_attr = uv ? kAttrV : kAttrT;
    auto pair = [&](int a, int b) {
        const AttributePlane &pa = t.planes[a], &pb = t.planes[b];
        return PlanePair{_mm_set_pd(pb.a0, pa.a0), _mm_set_pd(pb.gx, pa.gx), _mm_set_pd(pb.gy, pa.gy)};
    };
    TrianglePlan& p = *new (out.room) TrianglePlan(walker);
    TrianglePlanes& planes = p.planes;
    planes.x0 = t.planes[kAttrZ].x0;
    planes.y0 = t.planes[kAttrZ].y0;
    if (st.gouraud) {
        planes.rg = pair(kAttrR, kAttrG);
        planes.ba = pair(kAttrB, kAttrA);
    }
    planes.zf = pair(kAttrZ, kAttrF);
    if (st.textured)
        planes.st = pair(s_attr, t_attr);
    if (st.stq)
        planes.q = pair(kAttrQ, kAttrQ);
    p.Fill(env, st, t.flat_color, t.px_begin, t.px_end, t.py_begin, t.py_end, targets);
    return true;
}

namespace {

// PrepareTriangleVertices, also taken in line by the triangles drawn here.
inline __attribute__((always_inline)) bool PrepareVertices(const DrawEnv& env, const Vertex* v, s32 px_begin,
                                                           s32 px_end, s32 py_begin, s32 py_end,
                                                           LocalMemory& memory, const ClutBuffer& clut,
                                                           const DecodedTexture* decoded,
                                                           const TargetBlocks& targets, PreparedTriangle& out)
{
    out.nothing = false;
    const bool flat = !env.prim.iip;
    const Color flat_color = UnpackColor(v[2].rgba);
    const TriangleStateRef* state = TriangleStateFor(
        env, memory, clut, decoded, v[0].q, v[0].q == v[1].q && v[1].q == v[2].q, flat, flat_color);
    if (!state)
        return false;
    const TriangleState& st = **state;
    if (st.writer.nothing) {
        out.nothing = true;
        return true;
    }
    TrianglePlan& p = *new (out.room) TrianglePlan;
    if (!(ActiveSimdLevel() >= SimdLevel::kAvx2
              ? SetupTriangleWalkerAndPlanesAvx2(env, v, px_begin, px_end, py_begin, py_end, p.walker, p.planes)
              : SetupTriangleWalkerAndPlanes(env, v, px_begin, px_end, py_begin, py_end, p.walker, p.planes)))
        return false;
    // Rows settled alone need a whole set-up: left to PrepareTriangle.
    if (p.walker.SettlesRowsAlone())
        return false;
    p.Fill(env, st, flat_color, px_begin, px_end, py_begin, py_end, targets);
    return true;
}

}  // namespace

bool PrepareTriangleVertices(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                             s32 py_end, LocalMemory& memory, const ClutBuffer& clut, const DecodedTexture* decoded,
                             const TargetBlocks& targets, PreparedTriangle& out)
{
    return PrepareVertices(env, v, px_begin, px_end, py_begin, py_end, memory, clut, decoded, targets, out);
}

bool DrawTriangleVerticesSpecialised(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                                     s32 py_end, LocalMemory& memory, const ClutBuffer& clut,
                                     const TargetBlocks& targets, const DecodedTexture*& decoded)
{
    const u32 pixels = static_cast<u32>(px_end - px_begin) * static_cast<u32>(py_end - py_begin);
    const DecodedTextureRef* d = FindDecodedTextureQuick(env, memory, clut, v[0].q, targets, pixels);
    decoded = d ? d->get() : nullptr;
    PreparedTriangle p;
    if (!PrepareVertices(env, v, px_begin, px_end, py_begin, py_end, memory, clut, decoded, targets, p))
        return false;
    if (!p.nothing) {
        const TrianglePlan& plan = *std::launder(reinterpret_cast<const TrianglePlan*>(p.room));
        plan.state->rows(plan, RowBands{});
    }
    return true;
}

namespace {

// The frame and Z rows of a state's rows, as the calling thread last made
// them: triangles drawn one after another in one state mostly cover the same
// rows.  Row y is kept in entry y mod kRows, so a batch of rows spanning fewer
// than kRows rows keeps each of its rows where it was found.
constexpr s32 kRows = 512;

struct RowEntry {
    // The state's id in two halves: two 32-bit compares on this target.
    u32 state_lo = 0, state_hi = 0;
    s32 y = -1;
    alignas(PixelRow) unsigned char room[sizeof(PixelRow)];
};
static_assert(std::is_trivially_copyable_v<PixelRow> && std::is_trivially_destructible_v<PixelRow>);
thread_local std::array<RowEntry, kRows> t_rows;

[[gnu::noinline]] const PixelRow& MakeRow(const TriangleState& st, s32 y, RowEntry& e)
{
    new (e.room) PixelRow(*st.frame_layout, st.frame_bp, *st.depth_layout, st.depth_bp, st.bw, static_cast<u32>(y));
    e.state_lo = static_cast<u32>(st.id);
    e.state_hi = static_cast<u32>(st.id >> 32);
    e.y = y;
    return *std::launder(reinterpret_cast<const PixelRow*>(e.room));
}

// The rows of one state as a triangle's row loop finds them: the calling
// thread's entries and the state's id looked up once.
struct RowFinder {
    RowEntry* rows;
    u32 id_lo, id_hi;
    const TriangleState& st;

    explicit RowFinder(const TriangleState& s)
        : rows(t_rows.data()), id_lo(static_cast<u32>(s.id)), id_hi(static_cast<u32>(s.id >> 32)), st(s)
    {
    }

    // Found inline; made out of line.
    const PixelRow& operator()(s32 y) const
    {
        RowEntry& e = rows[static_cast<u32>(y) % kRows];
        if (((e.state_lo ^ id_lo) | (e.state_hi ^ id_hi) | static_cast<u32>(e.y ^ y)) != 0) [[unlikely]]
            return MakeRow(st, y, e);
        return *std::launder(reinterpret_cast<const PixelRow*>(e.room));
    }
};

// Whether every row piece of a triangle passes PieceInRange, found once from
// the corners of its box.  The plane V = a0 + gx X + gy Y (in the stored
// doubles, exactly) takes its extremes over the box at the corners.  Where
// |a0|, |gx X| and |gy Y| are at most 2^31 at the corners, they are inside
// too, and a row's first value, made with three roundings of values below
// 2^33, lies within 2^-19 of V; so does each corner's value as computed.
// Each step adds 16 gx (exact, a power of two times gx) with a rounding
// error of at most 2^-21 while the values stay below 2^32, and a row has at
// most 2048 pixels: every value stepped lies within 2^-9 of V at its pixel.  Corners inside PieceInRange's bounds
// then keep every value inside them but for 2^-8, where truncation alone
// still gives the conversions' integers.  A not-a-number fails.
template <bool kGouraud>
bool BoxInRange(const TrianglePlan& p)
{
    if (p.px_end - p.px_begin > 2048)
        return false;
    const __m128d xs[2] = {_mm_set1_pd(16.0 * p.px_begin - p.planes.x0), _mm_set1_pd(16.0 * (p.px_end - 1) - p.planes.x0)};
    const __m128d ys[2] = {_mm_set1_pd(16.0 * p.py_begin - p.planes.y0), _mm_set1_pd(16.0 * (p.py_end - 1) - p.planes.y0)};
    const __m128d sign = _mm_set1_pd(-0.0), limit = _mm_set1_pd(2147483648.0);
    __m128d ok = _mm_cmpeq_pd(limit, limit);
    auto small = [&](__m128d t) __attribute__((always_inline)) {
        ok = _mm_and_pd(ok, _mm_cmple_pd(_mm_andnot_pd(sign, t), limit));
    };
    auto check = [&](const PlanePair& pl, const double (&lo)[2], const double (&hi)[2]) __attribute__((always_inline)) {
        small(pl.a0);
        for (const __m128d x : xs) {
            const __m128d gx_x = _mm_mul_pd(pl.gx, x);
            small(gx_x);
            for (const __m128d y : ys) {
                const __m128d gy_y = _mm_mul_pd(pl.gy, y);
                small(gy_y);
                const __m128d e = _mm_add_pd(_mm_add_pd(pl.a0, gx_x), gy_y);
                ok = _mm_and_pd(ok, _mm_and_pd(_mm_cmple_pd(Pair(lo), e), _mm_cmple_pd(e, Pair(hi))));
            }
        }
    };
    check(p.planes.zf, kDepthFogLoPair, kDepthFogHiPair);
    if constexpr (kGouraud) {
        check(p.planes.rg, kChannelLoPair, kChannelHiPair);
        check(p.planes.ba, kChannelLoPair, kChannelHiPair);
    }
    return _mm_movemask_pd(ok) == 3;
}

// The row stage with 128-bit vectors: a row's first values from the plane
// pairs, then TrianglePiece.
template <bool kGouraud, int kCoords, bool kFog>
struct RowStepsSse2 {
    using Values = TriangleValues;
    const TrianglePlan& p;
    const bool in_range;  // every piece passes PieceInRange

    explicit RowStepsSse2(const TrianglePlan& plan) : p(plan), in_range(BoxInRange<kGouraud>(plan)) {}

    // The values at sample (X, Y), the offsets from the planes' origin.
    Values Start(s32 X, s32 Y) const
    {
        const __m128d x = _mm_set1_pd(static_cast<double>(X)), y = _mm_set1_pd(static_cast<double>(Y));
        Values v{};
        if constexpr (kGouraud) {
            v.rg = p.planes.rg.At(x, _mm_mul_pd(p.planes.rg.gy, y));
            v.ba = p.planes.ba.At(x, _mm_mul_pd(p.planes.ba.gy, y));
        }
        v.zf = p.planes.zf.At(x, _mm_mul_pd(p.planes.zf.gy, y));
        if constexpr (kCoords != kNoTex)
            v.st = p.planes.st.At(x, _mm_mul_pd(p.planes.st.gy, y));
        if constexpr (kCoords == kStq)
            v.q = p.planes.q.At(x, _mm_mul_pd(p.planes.q.gy, y));
        return v;
    }

    void Piece(Values& v, int n, TriangleBatch& b) const
    {
        if (in_range || PieceInRange<kGouraud>(v, p.steps, n))
            TrianglePiece<kGouraud, kCoords, kFog, true>(p.steps, v, n, b);
        else
            TrianglePiece<kGouraud, kCoords, kFog, false>(p.steps, v, n, b);
    }
    // The pieces' entries are complete as they are appended.
    void Convert(TriangleBatch&) const {}
};

// The row stage with 256-bit vectors: R G B A and Z F S T (or Z F U V)
// evaluated four lanes at a time, each lane exactly as PlanePair::At does,
// then TrianglePieceAvx2.  The planes and steps are joined once per call.
template <bool kGouraud, int kCoords, bool kFog>
struct RowStepsAvx2 {
    using Values = TriangleValuesAvx2;
    __m256d a0_rgba, gx_rgba, gy_rgba, a0_zfst, gx_zfst, gy_zfst;
    TriangleSpanAvx2 sp;
    const PlanePair& pq;

    __attribute__((target("avx2"))) explicit RowStepsAvx2(const TrianglePlan& p) : pq(p.planes.q)
    {
        constexpr bool kTex = kCoords != kNoTex;
        const __m128d zero = _mm_setzero_pd();
        const __m256d zero4 = _mm256_setzero_pd();
        a0_rgba = gx_rgba = gy_rgba = sp.drgba = zero4;
        if constexpr (kGouraud) {
            a0_rgba = JoinPairs(p.planes.rg.a0, p.planes.ba.a0);
            gx_rgba = JoinPairs(p.planes.rg.gx, p.planes.ba.gx);
            gy_rgba = JoinPairs(p.planes.rg.gy, p.planes.ba.gy);
            sp.drgba = JoinPairs(p.steps.drg, p.steps.dba);
        }
        a0_zfst = JoinPairs(p.planes.zf.a0, kTex ? p.planes.st.a0 : zero);
        gx_zfst = JoinPairs(p.planes.zf.gx, kTex ? p.planes.st.gx : zero);
        gy_zfst = JoinPairs(p.planes.zf.gy, kTex ? p.planes.st.gy : zero);
        sp.dzfst = JoinPairs(p.steps.dzf, kTex ? p.steps.dst : zero);
        sp.scale_u = sp.scale_v = zero4;
        sp.dq = zero;
        if constexpr (kCoords == kStq) {
            sp.scale_u = JoinPairs(p.steps.scale_u, p.steps.scale_u);
            sp.scale_v = JoinPairs(p.steps.scale_v, p.steps.scale_v);
            sp.dq = p.steps.dq;
        }
        sp.flat = _mm_set1_epi32(static_cast<int>(PackColor(p.steps.flat)));
    }

    __attribute__((target("avx2"))) Values Start(s32 X, s32 Y) const
    {
        const __m256d x = _mm256_set1_pd(static_cast<double>(X)), y = _mm256_set1_pd(static_cast<double>(Y));
        Values v;
        v.rgba = _mm256_setzero_pd();
        if constexpr (kGouraud)
            v.rgba = _mm256_add_pd(_mm256_add_pd(a0_rgba, _mm256_mul_pd(gx_rgba, x)), _mm256_mul_pd(gy_rgba, y));
        v.zfst = _mm256_add_pd(_mm256_add_pd(a0_zfst, _mm256_mul_pd(gx_zfst, x)), _mm256_mul_pd(gy_zfst, y));
        v.q = _mm_setzero_pd();
        if constexpr (kCoords == kStq)
            v.q = pq.At(_mm256_castpd256_pd128(x), _mm_mul_pd(pq.gy, _mm256_castpd256_pd128(y)));
        return v;
    }

    __attribute__((target("avx2"))) void Piece(Values& v, int n, TriangleBatch& b) const
    {
        TrianglePieceAvx2<kGouraud, kCoords, kFog>(sp, v, n, b);
    }
    // The pieces' entries are complete as they are appended.
    void Convert(TriangleBatch&) const {}
};

// The row stage with 512-bit vectors (states without fog): every lane's
// first value as PlanePair::At makes it, each piece stepped into `stepped`
// (StepPieceAvx512), the batch's entries converted before it is finished
// (ConvertBatchAvx512).
template <bool kGouraud, int kCoords>
struct RowStepsAvx512 {
    using Values = __m512d;
    __m512d a0, gx, gy;
    TriangleSpanAvx512 sp;
    // The stepped values of the batch's entries, and room for a last group
    // of four.
    alignas(64) __m512d stepped[kBatch + 4];

    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) explicit RowStepsAvx512(const TrianglePlan& p)
    {
        a0 = Join(p.planes.rg.a0, p.planes.ba.a0, p.planes.zf.a0, p.planes.q.a0, p.planes.st.a0);
        gx = Join(p.planes.rg.gx, p.planes.ba.gx, p.planes.zf.gx, p.planes.q.gx, p.planes.st.gx);
        gy = Join(p.planes.rg.gy, p.planes.ba.gy, p.planes.zf.gy, p.planes.q.gy, p.planes.st.gy);
        sp.d = Join(p.steps.drg, p.steps.dba, p.steps.dzf, p.steps.dq, p.steps.dst);
        sp.scale = _mm512_setzero_pd();
        if constexpr (kCoords == kStq)
            sp.scale =
                JoinQuads(JoinPairs(p.steps.scale_u, p.steps.scale_u), JoinPairs(p.steps.scale_v, p.steps.scale_v));
        sp.flat = _mm_set1_epi32(static_cast<int>(PackColor(p.steps.flat)));
    }

    // R G | B A | Z Q (Z F) | S T (U V) from the plane pairs' lanes.
    GS_AVX512 static __m512d Join(__m128d rg, __m128d ba, __m128d zf, __m128d q, __m128d st)
    {
        const __m128d zero = _mm_setzero_pd();
        if constexpr (!kGouraud)
            rg = ba = zero;
        if constexpr (kCoords == kStq)
            zf = _mm_unpacklo_pd(zf, q);
        if constexpr (kCoords == kNoTex)
            st = zero;
        return JoinQuads(JoinPairs(rg, ba), JoinPairs(zf, st));
    }

    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) Values Start(s32 X, s32 Y) const
    {
        const __m512d x = _mm512_set1_pd(static_cast<double>(X)), y = _mm512_set1_pd(static_cast<double>(Y));
        return _mm512_add_pd(_mm512_add_pd(a0, _mm512_mul_pd(gx, x)), _mm512_mul_pd(gy, y));
    }

    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) void Piece(Values& v, int n, TriangleBatch& b)
    {
        StepPieceAvx512(sp.d, v, n, stepped + b.count);
        b.count += n;
    }

    __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) void Convert(TriangleBatch& b)
    {
        ConvertBatchAvx512<kGouraud, kCoords>(sp, stepped, b.count, b);
    }
};

// A triangle's rows in `bands` through the row stage `Steps`, batched for
// the finishing and writing stages.
template <class Steps>
inline void DrawTriangleRows(const TrianglePlan& p, const RowBands& bands)
{
    const TriangleState& st = *p.state;
    const WriterState& ws = p.apart ? st.apart_state : st.writer.state;
    const WriteFn write = p.apart ? st.apart_write : st.writer.write;
    const PiecesFn write_pieces = p.apart ? st.apart_pieces_write : st.pieces_write;
    const TriangleFinishFn finish = st.shade.finish;
    TriangleBatch batch;
    // Rows are in RowOf's entries, unchanged until the batch is written.
    s32 batch_first_row = 0;
    alignas(16) unsigned char piece_room[kBatch * sizeof(SpanPiece)];
    SpanPiece* const pieces = reinterpret_cast<SpanPiece*>(piece_room);
    int piece_count = 0;
    Steps steps(p);
    auto flush = [&] {
        if (!batch.count)
            return;
        steps.Convert(batch);
        finish(st.sc, batch);
        if (write_pieces) {
            write_pieces(ws, pieces, piece_count, batch.colors, batch.depths);
        } else {
            for (int k = 0; k < piece_count; ++k) {
                const SpanPiece& pc = pieces[k];
                write(ws, *pc.row, static_cast<u32>(pc.px), pc.n, batch.colors + pc.at, batch.depths + pc.at);
            }
        }
        batch.count = 0;
        piece_count = 0;
    };

    TriangleRowWalker walker = p.walker;
    const bool batch_rows = p.batch_rows;
    const s32 x0 = p.planes.x0, y0 = p.planes.y0;
    // Rows of this parity are masked (SCANMSK); -1 when none are.
    const s32 masked_parity = st.scanmsk == 2 ? 0 : st.scanmsk == 3 ? 1 : -1;
    // Only a triangle taller than RowFinder's entries can hold a batch
    // whose rows share an entry.
    const bool tall = p.py_end - p.py_begin > kRows;
    const RowFinder row_of(st);
    // The common case, taken by a loop of its own with none of the checks
    // below: rows batched, none masked, every row in its own entry of
    // RowFinder and no wider than a piece.
    const bool lean = batch_rows && masked_parity < 0 && !tall && p.px_end - p.px_begin <= kChunk;
    // Only the band's stretches of rows are drawn; the walker steps over
    // the others' rows.  [py_begin, py_end) holds only rows the walker's
    // level edges let through (see PrepareTriangle).
    for (s32 py = p.py_begin; py < p.py_end;) {
        s32 first = py;
        const s32 stop = bands.Stretch(first, p.py_end);
        if (first >= p.py_end)
            break;
        for (; py < first; ++py)
            walker.Next();
        if (lean) {
            for (; py < stop; ++py, walker.Next()) {
                s32 begin, end;
                walker.SpanInRows(begin, end);
                const int n = end - begin;
                if (n <= 0)
                    continue;
                typename Steps::Values v = steps.Start(16 * begin - x0, 16 * py - y0);
                if (batch.count + n > kBatch)
                    flush();
                new (&pieces[piece_count++]) SpanPiece{&row_of(py), begin, n, batch.count};
                steps.Piece(v, n, batch);
            }
            continue;
        }
        for (; py < stop; ++py, walker.Next()) {
            if ((py & 1) == masked_parity)
                continue;
            s32 begin, end;
            walker.SpanInRows(begin, end);
            if (begin >= end)
                continue;
            // The offsets from the planes' origin, exact as doubles.
            typename Steps::Values v = steps.Start(16 * begin - x0, 16 * py - y0);
            // A batch keeps to rows whose entries in RowFinder differ.
            if (tall && piece_count && py - batch_first_row >= kRows)
                flush();
            if (!piece_count)
                batch_first_row = py;
            const PixelRow* const row = &row_of(py);
            for (s32 px = begin; px < end; px += kChunk) {
                const int n = std::min(kChunk, end - px);
                if (batch.count + n > kBatch)
                    flush();
                new (&pieces[piece_count++]) SpanPiece{row, px, n, batch.count};
                steps.Piece(v, n, batch);
                if (!batch_rows)
                    flush();
            }
        }
    }
    flush();
}

template <class Steps>
__attribute__((flatten)) void DrawTriangleRowsSse2(const TrianglePlan& p, const RowBands& bands)
{
    DrawTriangleRows<Steps>(p, bands);
}

template <class Steps>
__attribute__((target("avx2"), flatten)) void DrawTriangleRowsAvx2(const TrianglePlan& p, const RowBands& bands)
{
    DrawTriangleRows<Steps>(p, bands);
}

template <class Steps>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"), flatten)) void DrawTriangleRowsAvx512(
    const TrianglePlan& p, const RowBands& bands)
{
    DrawTriangleRows<Steps>(p, bands);
}

template <bool kGouraud, int kCoords, bool kFog>
TriangleRowsFn PickTriangleRows(bool avx2)
{
    if constexpr (!kFog) {
        if (avx2 && ActiveSimdLevel() >= SimdLevel::kAvx512)
            return &DrawTriangleRowsAvx512<RowStepsAvx512<kGouraud, kCoords>>;
    }
    return avx2 ? &DrawTriangleRowsAvx2<RowStepsAvx2<kGouraud, kCoords, kFog>>
                : &DrawTriangleRowsSse2<RowStepsSse2<kGouraud, kCoords, kFog>>;
}

template <bool kGouraud, int kCoords>
TriangleRowsFn PickTriangleRows(bool fog, bool avx2)
{
    return fog ? PickTriangleRows<kGouraud, kCoords, true>(avx2) : PickTriangleRows<kGouraud, kCoords, false>(avx2);
}

template <bool kGouraud>
TriangleRowsFn PickTriangleRows(int coords, bool fog, bool avx2)
{
    switch (coords) {
    case kUv: return PickTriangleRows<kGouraud, kUv>(fog, avx2);
    case kStq: return PickTriangleRows<kGouraud, kStq>(fog, avx2);
    default: return PickTriangleRows<kGouraud, kNoTex>(fog, avx2);
    }
}

TriangleRowsFn PickTriangleRows(bool gouraud, int coords, bool fog, bool avx2)
{
    return gouraud ? PickTriangleRows<true>(coords, fog, avx2) : PickTriangleRows<false>(coords, fog, avx2);
}

}  // namespace

void DrawPreparedTriangle(const PreparedTriangle& prepared, const RowBands& bands)
{
    if (prepared.nothing)
        return;
    const TrianglePlan& p = *std::launder(reinterpret_cast<const TrianglePlan*>(prepared.room));
    p.state->rows(p, bands);
}

bool DrawTriangleSpecialised(const DrawEnv& env, const TriangleSetup& t, LocalMemory& memory,
                             const ClutBuffer& clut, const TargetBlocks& targets, const DecodedTexture* decoded)
{
    PreparedTriangle p;
    if (!PrepareTriangle(env, t, memory, clut, decoded, targets, p, nullptr))
        return false;
    DrawPreparedTriangle(p, RowBands{});
    return true;
}

namespace {

// The texels a run of raw coordinates [a, b] reads after a wrap mode, as
// [lo, hi].
void WrapRange(s32 a, s32 b, u32 mode, u32 size_log2, u32 min, u32 max, u32& lo, u32& hi)
{
    const s32 top = (1 << size_log2) - 1;
    switch (mode) {
    case kWrapRepeat:
        if (static_cast<s64>(b) - a >= top || (a & top) > (b & top)) {
            lo = 0;
            hi = static_cast<u32>(top);
        } else {
            lo = static_cast<u32>(a & top);
            hi = static_cast<u32>(b & top);
        }
        return;
    case kWrapClamp:
        lo = static_cast<u32>(std::clamp(a, 0, top));
        hi = static_cast<u32>(std::clamp(b, 0, top));
        return;
    case kWrapRegionClamp:
        lo = static_cast<u32>(std::max(static_cast<s32>(min), std::min(a, static_cast<s32>(max))));
        hi = static_cast<u32>(std::max(static_cast<s32>(min), std::min(b, static_cast<s32>(max))));
        return;
    default:
        lo = max;
        hi = min | max;
        return;
    }
}

}  // namespace

u32 SpriteTexelRects(const DrawEnv& env, const SpriteSetup& s, SpriteTexels (&rects)[2])
{
    const TextureEnv& tex = env.tex;
    const bool uv = env.prim.fst;
    auto u16_at = [&](s32 px) {
        return uv ? StepUv(s.u0, s.u1, s.x0, s.x1, px) : StepStq(s.s0, s.s1, s.q, tex.tw, s.x0, s.x1, px);
    };
    auto v16_at = [&](s32 py) {
        return uv ? StepUv(s.v0, s.v1, s.y0, s.y1, py) : StepStq(s.t0, s.t1, s.q, tex.th, s.y0, s.y1, py);
    };
    const s32 ua = u16_at(s.px_begin), ub = u16_at(s.px_end - 1);
    const s32 va = v16_at(s.py_begin), vb = v16_at(s.py_end - 1);
    const LodChoice lod = ChooseLodForQ(tex, uv ? 1.0f : s.q);
    u32 count = 0;
    for (u32 n = lod.level; n <= lod.level + (lod.mix16 != 0 ? 1u : 0u) && n < 7; ++n) {
        const u32 tw = tex.tw > n ? tex.tw - n : 0, th = tex.th > n ? tex.th - n : 0;
        // Raw texel coordinates: the one holding each end, or the two
        // around it for the bilinear filter.
        const s32 bias = lod.linear ? 8 : 0;
        const s32 u_lo = ((std::min(ua, ub) >> n) - bias) >> 4, u_hi = (((std::max(ua, ub) >> n) - bias) >> 4) + lod.linear;
        const s32 v_lo = ((std::min(va, vb) >> n) - bias) >> 4, v_hi = (((std::max(va, vb) >> n) - bias) >> 4) + lod.linear;
        SpriteTexels& r = rects[count++];
        r.level = n;
        WrapRange(u_lo, u_hi, tex.wms, tw, tex.minu >> n, tex.maxu >> n, r.x0, r.x1);
        WrapRange(v_lo, v_hi, tex.wmt, th, tex.minv >> n, tex.maxv >> n, r.y0, r.y1);
    }
    return count;
}

}  // namespace console::gs
