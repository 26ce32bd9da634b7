// The row stage with 128-bit vectors, and the choice of a state's row
// driver (pipeline_rows.h).  Triangles' attributes are stepped pixel by
// pixel exactly as the reference steps them (one addition per pixel, in the
// same order), two to a register.
#include "gs/pipeline_rows.h"

#include <limits>

#include "gs/simd.h"

namespace console::gs::pipeline {

thread_local constinit std::array<RowEntry, kRows> t_rows;

namespace {

// The attributes at a row's next pixel, stepped by a TriangleSpan.
struct TriangleValues {
    __m128d rg, ba, zf, st, q;
};

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

}  // namespace

void WritePassingRuns(const TriangleState& st, const WriterState& ws, WriteFn write, const SpanPiece* pieces,
                      int count, const TriangleBatch& batch)
{
    for (int k = 0; k < count; ++k) {
        const SpanPiece& pc = pieces[k];
        const u32* const c = batch.colors + pc.at;
        const u32* const d = batch.depths + pc.at;
        for (int i = 0; i < pc.n;) {
            while (i < pc.n && !AlphaPasses(st.atst, static_cast<s32>(c[i] >> 24), st.aref))
                ++i;
            int j = i;
            while (j < pc.n && AlphaPasses(st.atst, static_cast<s32>(c[j] >> 24), st.aref))
                ++j;
            if (j > i)
                write(ws, *pc.row, static_cast<u32>(pc.px + i), j - i, c + i, d + i);
            i = j;
        }
    }
}

[[gnu::noinline]] const PixelRow& MakeRow(const TriangleState& st, s32 y, RowEntry& e)
{
    new (e.room) PixelRow(*st.frame_layout, st.frame_bp, *st.depth_layout, st.depth_bp, st.bw, static_cast<u32>(y));
    e.state_lo = static_cast<u32>(st.id);
    e.state_hi = static_cast<u32>(st.id >> 32);
    e.y = y;
    return *std::launder(reinterpret_cast<const PixelRow*>(e.room));
}

namespace {

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

template <class Steps>
__attribute__((flatten)) void DrawTriangleRowsSse2(const TrianglePlan& p, const RowBands& bands)
{
    DrawTriangleRows<Steps>(p, bands);
}

template <bool kGouraud, int kCoords>
TriangleRowsFn PickRowsSse2(bool fog)
{
    return fog ? &DrawTriangleRowsSse2<RowStepsSse2<kGouraud, kCoords, true>>
               : &DrawTriangleRowsSse2<RowStepsSse2<kGouraud, kCoords, false>>;
}

template <bool kGouraud>
TriangleRowsFn PickRowsSse2(int coords, bool fog)
{
    switch (coords) {
    case kUv: return PickRowsSse2<kGouraud, kUv>(fog);
    case kStq: return PickRowsSse2<kGouraud, kStq>(fog);
    default: return PickRowsSse2<kGouraud, kNoTex>(fog);
    }
}

}  // namespace

TriangleRowsFn PickTriangleRows(bool gouraud, int coords, bool fog, bool avx2)
{
    if (avx2 && !fog && ActiveSimdLevel() >= SimdLevel::kAvx512)
        return PickTriangleRowsAvx512(gouraud, coords);
    if (avx2)
        return PickTriangleRowsAvx2(gouraud, coords, fog);
    return gouraud ? PickRowsSse2<true>(coords, fog) : PickRowsSse2<false>(coords, fog);
}

}  // namespace console::gs::pipeline
