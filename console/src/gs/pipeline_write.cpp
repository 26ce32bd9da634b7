// The SSE2 writers of the writing stage and the choice of a state's
// writers (pipeline_write.h).
#include "gs/pipeline_write.h"

#include <algorithm>
#include <array>
#include <type_traits>

#include "gs/simd.h"

namespace console::gs {

using namespace pipeline;

namespace pipeline {
namespace {

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

}  // namespace

int BlendEqOf(const DrawEnv& env)
{
    if (!env.blend)
        return kNoBlend;
    return env.sel_a == 0 && env.sel_b == 1 && env.sel_c == 0 && env.sel_d == 1 && !env.pabe ? kBlendMix : kBlendAny;
}

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

bool MakeWriter(const DrawEnv& env, LocalMemory& memory, Writer& w, s32 alpha)
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

WriteFn PlainQuadWrite32()
{
    return WriteSpanQuads<kFrame32, kNoDepth, kNoBlend, false, false>;
}

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

}  // namespace pipeline

PageGrid GridOf(Psm psm, u32 bp, u32 bw)
{
    const Layout& layout = LayoutOf(psm);
    return PageGrid{bp, PagesAcross(layout, bw), layout.page_shift_x, layout.page_shift_y};
}

bool BlockRange(Psm psm, u32 bp, u32 bw, u32 x0, u32 x1, u32 y0, u32 y1, u32& lo, u32& hi)
{
    return GridRange(GridOf(psm, bp, bw), x0, x1, y0, y1, lo, hi);
}

}  // namespace console::gs
