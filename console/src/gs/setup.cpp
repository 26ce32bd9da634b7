#include "gs/setup.h"

#include <emmintrin.h>
#include <immintrin.h>
#include <x86intrin.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>

#include "core/diag.h"
#include "gs/drawstats.h"
#include "gs/pipeline.h"
#include "gs/raster.h"
#include "gs/simd.h"

namespace console::gs {
namespace {

bool g_aa1_reported = false;

// The first pixel whose sample position 16 px is at or after `c` (1/16 pixel).
s32 FirstPixelAtOrAfter(s32 c)
{
    return (c + 15) >> 4;
}

// The pixel nearest a position in 1/16 pixel (halves round up).
s32 NearestPixel(s32 c)
{
    return (c + 8) >> 4;
}

s32 WindowX(const DrawEnv& env, const Vertex& v)
{
    return static_cast<s32>(v.x) - static_cast<s32>(env.ofx);
}

s32 WindowY(const DrawEnv& env, const Vertex& v)
{
    return static_cast<s32>(v.y) - static_cast<s32>(env.ofy);
}

// The window coordinates of a triangle's vertices side by side in vector
// lanes: x0 y0 x1 y1 in `a`, x2 y2 twice in `c`.
inline __attribute__((always_inline)) void WindowCoordinates(const DrawEnv& env, const Vertex* v, __m128i& a,
                                                             __m128i& c)
{
    static_assert(offsetof(Vertex, y) == offsetof(Vertex, x) + 4 &&
                  offsetof(DrawEnv, ofy) == offsetof(DrawEnv, ofx) + 4);
    auto load2 = [](const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); };
    const __m128i offset = _mm_unpacklo_epi64(load2(&env.ofx), load2(&env.ofx));
    a = _mm_sub_epi32(_mm_unpacklo_epi64(load2(&v[0].x), load2(&v[1].x)), offset);
    c = _mm_sub_epi32(_mm_unpacklo_epi64(load2(&v[2].x), load2(&v[2].x)), offset);
}

// The edge from (ax, ay) to (bx, by) of a triangle whose vertices run so that
// the inside lies where the cross product with the edge is positive.  Window
// coordinates are 16-bit values less 16-bit offsets, so the gradients fit 18
// bits: their products with coordinates are single widening multiplications,
// and exact in double precision too.
// What a walker reads of an edge (as EdgeFunction has it), for set-ups that
// keep no edges.
struct WalkerEdge {
    s32 gx, gy;
    s64 c;
    double inv_g;
};

template <bool kRowEstimate, typename Edge>
inline __attribute__((always_inline)) Edge MakeEdge(s32 ax, s32 ay, s32 bx, s32 by)
{
    Edge e;
    // E(X, Y) = (bx - ax)(Y - ay) - (by - ay)(X - ax); its gradient points
    // into the triangle.
    const s32 gx = ay - by, gy = bx - ax;
    e.gx = gx;
    e.gy = gy;
    // Samples exactly on the edge: kept on left edges (gradient to the right)
    // and top edges (horizontal, gradient downwards), dropped otherwise.
    const bool top_left = gx > 0 || (gx == 0 && gy > 0);
    const s32 drop = top_left ? 0 : 1;
    e.c = static_cast<s64>(-gx) * ax - static_cast<s64>(gy) * ay - drop;
    if (gx != 0) {
        const double neg_inv_g16 = -1.0 / (16.0 * static_cast<double>(gx));
        // c as a double, exactly (below 2^37).
        [[maybe_unused]] const double c = -static_cast<double>(gx) * ax - static_cast<double>(gy) * ay - drop;
        if constexpr (kRowEstimate) {
            e.row_slope = static_cast<double>(gy) * neg_inv_g16;
            e.row_offset = c * neg_inv_g16;
        }
        e.inv_g = gx > 0 ? -neg_inv_g16 : neg_inv_g16;
    } else {
        e.inv_g = 0;
    }
    return e;
}

void SetupPoint(const DrawEnv& env, const Vertex& v, LocalMemory& memory, const ClutBuffer& clut)
{
    const s32 px = NearestPixel(WindowX(env, v));
    const s32 py = NearestPixel(WindowY(env, v));
    if (px < env.scax0 || px > env.scax1 || py < env.scay0 || py > env.scay1)
        return;
    double attributes[kAttributeCount];
    VertexAttributes(v, attributes);
    RasterizePoint(env, px, py, attributes, memory, clut);
}

}  // namespace

void VertexAttributes(const Vertex& v, double* out)
{
    const Color c = UnpackColor(v.rgba);
    out[kAttrR] = c.r;
    out[kAttrG] = c.g;
    out[kAttrB] = c.b;
    out[kAttrA] = c.a;
    out[kAttrZ] = v.z;
    out[kAttrF] = v.f;
    out[kAttrS] = v.s;
    out[kAttrT] = v.t;
    out[kAttrQ] = v.q;
    out[kAttrU] = v.u;
    out[kAttrV] = v.v;
}

bool SetupSprite(const DrawEnv& env, const Vertex& v0, const Vertex& v1, SpriteSetup& s)
{
    s.x0 = WindowX(env, v0);
    s.y0 = WindowY(env, v0);
    s.x1 = WindowX(env, v1);
    s.y1 = WindowY(env, v1);
    s.px_begin = std::max(FirstPixelAtOrAfter(std::min(s.x0, s.x1)), env.scax0);
    s.px_end = std::min(FirstPixelAtOrAfter(std::max(s.x0, s.x1)), env.scax1 + 1);
    s.py_begin = std::max(FirstPixelAtOrAfter(std::min(s.y0, s.y1)), env.scay0);
    s.py_end = std::min(FirstPixelAtOrAfter(std::max(s.y0, s.y1)), env.scay1 + 1);
    if (s.px_begin >= s.px_end || s.py_begin >= s.py_end)
        return false;
    s.u0 = static_cast<s32>(v0.u);
    s.u1 = static_cast<s32>(v1.u);
    s.v0 = static_cast<s32>(v0.v);
    s.v1 = static_cast<s32>(v1.v);
    s.s0 = v0.s;
    s.s1 = v1.s;
    s.t0 = v0.t;
    s.t1 = v1.t;
    s.q = v1.q;
    s.color = UnpackColor(v1.rgba);
    s.z = v1.z;
    s.fog = v1.f;
    return true;
}

namespace {

// The edges and plane pairs of a triangle with window coordinates (x, y)
// and twice its signed area area2 != 0; each pair the state reads goes to
// pair(k, planes), k the attribute of its first lane (R, B, Z, S or U, Q).
template <bool kRowEstimates, typename Edge, typename PairSink>
inline __attribute__((always_inline)) void EdgesAndPlanes(const DrawEnv& env, const Vertex& v0, const Vertex& v1,
                                                          const Vertex& v2, const s32 (&x)[3], const s32 (&y)[3],
                                                          double area2, Edge (&edges)[3], PairSink&& pair)
{
    // Edges taken in the order that puts the inside on the positive side.
    if (area2 > 0) {
        edges[0] = MakeEdge<kRowEstimates, Edge>(x[0], y[0], x[1], y[1]);
        edges[1] = MakeEdge<kRowEstimates, Edge>(x[1], y[1], x[2], y[2]);
        edges[2] = MakeEdge<kRowEstimates, Edge>(x[2], y[2], x[0], y[0]);
    } else {
        edges[0] = MakeEdge<kRowEstimates, Edge>(x[0], y[0], x[2], y[2]);
        edges[1] = MakeEdge<kRowEstimates, Edge>(x[2], y[2], x[1], y[1]);
        edges[2] = MakeEdge<kRowEstimates, Edge>(x[1], y[1], x[0], y[0]);
    }

    // Attribute planes through the three vertices: with d1 = P1 - P0 and
    // d2 = P2 - P0, the gradient solves a(P) = a0 + g . (P - P0) at P1, P2.
    // Two attributes at a time, each lane the same operations in the same
    // order as one attribute alone; only the pairs the state reads.
    const __m128d dx1 = _mm_set1_pd(static_cast<double>(x[1] - x[0]));
    const __m128d dy1 = _mm_set1_pd(static_cast<double>(y[1] - y[0]));
    const __m128d dx2 = _mm_set1_pd(static_cast<double>(x[2] - x[0]));
    const __m128d dy2 = _mm_set1_pd(static_cast<double>(y[2] - y[0]));
    const __m128d inv_area2 = _mm_set1_pd(1.0 / area2);
    auto plane_pair = [&](__m128d a0, __m128d a1, __m128d a2) __attribute__((always_inline)) {
        const __m128d da1 = _mm_sub_pd(a1, a0), da2 = _mm_sub_pd(a2, a0);
        const __m128d gx = _mm_mul_pd(_mm_sub_pd(_mm_mul_pd(da1, dy2), _mm_mul_pd(da2, dy1)), inv_area2);
        const __m128d gy = _mm_mul_pd(_mm_sub_pd(_mm_mul_pd(da2, dx1), _mm_mul_pd(da1, dx2)), inv_area2);
        return PlanePair{a0, gx, gy};
    };
    if (env.prim.iip) {
        __m128d rg[3], ba[3];
        const Vertex* v[3] = {&v0, &v1, &v2};
        for (int i = 0; i < 3; ++i) {
            // The four channels as 32-bit lanes, then two at a time as doubles.
            const __m128i zero = _mm_setzero_si128();
            const __m128i c = _mm_unpacklo_epi16(
                _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v[i]->rgba)), zero), zero);
            rg[i] = _mm_cvtepi32_pd(c);
            ba[i] = _mm_cvtepi32_pd(_mm_shuffle_epi32(c, 0xEE));
        }
        pair(kAttrR, plane_pair(rg[0], rg[1], rg[2]));
        pair(kAttrB, plane_pair(ba[0], ba[1], ba[2]));
    }
    // Z and F are unsigned 32-bit: each as a signed value less 2^31, then
    // 2^31 added back, exactly.
    static_assert(offsetof(Vertex, f) == offsetof(Vertex, z) + 4 && offsetof(Vertex, t) == offsetof(Vertex, s) + 4);
    auto zf = [](const Vertex& w) {
        const __m128i zf32 = _mm_xor_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&w.z)),
                                           _mm_set1_epi32(static_cast<int>(0x80000000u)));
        return _mm_add_pd(_mm_cvtepi32_pd(zf32), _mm_set1_pd(2147483648.0));
    };
    pair(kAttrZ, plane_pair(zf(v0), zf(v1), zf(v2)));
    if (env.prim.tme) {
        if (env.prim.fst) {
            auto uv = [](const Vertex& w) {
                return _mm_set_pd(static_cast<double>(w.v), static_cast<double>(w.u));
            };
            pair(kAttrU, plane_pair(uv(v0), uv(v1), uv(v2)));
        } else {
            auto st = [](const Vertex& w) {
                return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&w.s))));
            };
            auto q = [](const Vertex& w) { return _mm_set1_pd(static_cast<double>(w.q)); };
            pair(kAttrS, plane_pair(st(v0), st(v1), st(v2)));
            pair(kAttrQ, plane_pair(q(v0), q(v1), q(v2)));  // Q in both lanes
        }
    }
}

// Twice the signed area of the triangle with window coordinates (x, y),
// exact as a double: window coordinates have 17 bits at most, so each
// product is below 2^35.
inline double TwiceArea(const s32 (&x)[3], const s32 (&y)[3])
{
    return static_cast<double>(x[1] - x[0]) * (y[2] - y[0]) - static_cast<double>(y[1] - y[0]) * (x[2] - x[0]);
}

// The walker's lanes for each way three edges fall into left edges (bits 0
// to 2 of the index) and right ones (bits 3 to 5): the first and second
// left edge, then the first and second right one, lane 3 standing in for a
// missing left edge and lane 4 for a missing right one.
struct EdgeLanes {
    alignas(16) s32 lanes[64][4];
};

constexpr EdgeLanes MakeEdgeLanes()
{
    EdgeLanes t{};
    for (int m = 0; m < 64; ++m) {
        int left[2] = {3, 3}, right[2] = {4, 4}, lefts = 0, rights = 0;
        for (int e = 0; e < 3; ++e) {
            if ((m >> e) & 1 && lefts < 2)
                left[lefts++] = e;
            if ((m >> (e + 3)) & 1 && rights < 2)
                right[rights++] = e;
        }
        t.lanes[m][0] = left[0];
        t.lanes[m][1] = left[1];
        t.lanes[m][2] = right[0];
        t.lanes[m][3] = right[1];
    }
    return t;
}

constexpr EdgeLanes kEdgeLanes = MakeEdgeLanes();

}  // namespace

// SetupTriangleWalkerAndPlanes with the three edges side by side in vector
// lanes and the plane pairs two at a time.  The walker's integers are the
// same whatever computes them: each quotient floor(k / g) is the floor of the
// correctly rounded k / g in double precision, which is exact here (|k| <
// 2^38, so the rounding error stays below 1 / g, the least distance from a
// quotient that is not whole to the next whole number), and every product and
// sum below is exact in double precision.  The planes take the very
// operations of EdgesAndPlanes, lane for lane (no contraction into fused
// multiply-adds).
struct WalkerFromVectors {
    __attribute__((target("avx2"), always_inline)) static bool Setup(const DrawEnv& env, const Vertex* v, s32 px_begin,
                                                      s32 px_end, s32 py_begin, s32 py_end,
                                                      TriangleRowWalker& walker, TrianglePlanes& planes)
    {
        // x0 y0 x1 y1 and x2 y2 x2 y2, and the differences from the first
        // vertex x1 - x0, y1 - y0, x2 - x0, y2 - y0, as integers and doubles.
        __m128i v01, v22;
        WindowCoordinates(env, v, v01, v22);
        const __m128i dv = _mm_sub_epi32(_mm_unpackhi_epi64(v01, v22), _mm_unpacklo_epi64(v01, v01));
        const __m256d dvd = _mm256_cvtepi32_pd(dv);
        // (x1 - x0)(y2 - y0) - (y1 - y0)(x2 - x0), exact.
        const __m128d cross = _mm_mul_pd(_mm256_castpd256_pd128(dvd),
                                         _mm_cvtepi32_pd(_mm_shuffle_epi32(dv, _MM_SHUFFLE(1, 0, 2, 3))));
        const double area2 = _mm_cvtsd_f64(_mm_sub_sd(cross, _mm_unpackhi_pd(cross, cross)));
        if (area2 == 0)
            return false;
        static_assert(offsetof(TrianglePlanes, y0) == offsetof(TrianglePlanes, x0) + 4);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&planes.x0), v01);

        // Edges from A to B, the inside on their positive side: (0 1), (1 2),
        // (2 0) or (0 2), (2 1), (1 0).  Lane 3 is an edge from a vertex to
        // itself, which counts as neither side nor level.
        const bool positive = area2 > 0;
        // x0 x1 x2 x2 and y0 y1 y2 y2, the middle lanes swapped for (0 2 1).
        const __m128 v01f = _mm_castsi128_ps(v01), v22f = _mm_castsi128_ps(v22);
        __m128i xs = _mm_castps_si128(_mm_shuffle_ps(v01f, v22f, _MM_SHUFFLE(0, 0, 2, 0)));
        __m128i ys = _mm_castps_si128(_mm_shuffle_ps(v01f, v22f, _MM_SHUFFLE(1, 1, 3, 1)));
        if (!positive) {
            xs = _mm_shuffle_epi32(xs, _MM_SHUFFLE(3, 1, 2, 0));
            ys = _mm_shuffle_epi32(ys, _MM_SHUFFLE(3, 1, 2, 0));
        }
        const __m128i ax = xs, ay = ys;
        const __m128i bx = _mm_shuffle_epi32(xs, _MM_SHUFFLE(3, 0, 2, 1));
        const __m128i by = _mm_shuffle_epi32(ys, _MM_SHUFFLE(3, 0, 2, 1));
        const __m128i zero = _mm_setzero_si128();
        const __m128i gx = _mm_sub_epi32(ay, by), gy = _mm_sub_epi32(bx, ax);
        const __m128i level = _mm_cmpeq_epi32(gx, zero);
        const __m128i left = _mm_cmpgt_epi32(gx, zero), right = _mm_cmpgt_epi32(zero, gx);
        // Samples on the edge kept on left and top edges: drop is 0 there, 1
        // elsewhere.
        const __m128i keep = _mm_or_si128(left, _mm_and_si128(level, _mm_cmpgt_epi32(gy, zero)));
        const __m128i drop = _mm_add_epi32(keep, _mm_set1_epi32(1));
        // The divisor: |16 gx|, or |16 gy| for level edges (1 in lane 3).
        const __m128i d = _mm_max_epi32(_mm_slli_epi32(_mm_abs_epi32(_mm_blendv_epi8(gx, gy, level)), 4),
                                        _mm_set1_epi32(1));
        const __m128i dk = _mm_slli_epi32(gy, 4);

        // k = gy 16 py + c, c = -gx ax - gy ay - drop, all exact.
        const __m256d gxd = _mm256_cvtepi32_pd(gx), gyd = _mm256_cvtepi32_pd(gy);
        const __m256d c = _mm256_sub_pd(_mm256_sub_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_setzero_pd(), gxd),
                                                                    _mm256_cvtepi32_pd(ax)),
                                                      _mm256_mul_pd(gyd, _mm256_cvtepi32_pd(ay))),
                                        _mm256_cvtepi32_pd(drop));
        const __m256d k = _mm256_add_pd(_mm256_mul_pd(gyd, _mm256_set1_pd(16.0 * py_begin)), c);
        const __m256d dd = _mm256_cvtepi32_pd(d), dkd = _mm256_cvtepi32_pd(dk);
        const __m256d q = _mm256_floor_pd(_mm256_div_pd(k, dd));
        const __m256d step = _mm256_floor_pd(_mm256_div_pd(dkd, dd));
        const __m256d rest = _mm256_sub_pd(k, _mm256_mul_pd(q, dd));
        const __m256d step_rest = _mm256_sub_pd(dkd, _mm256_mul_pd(step, dd));

        // Bounds that could leave the 32-bit range: |q| above 2^29, or
        // (|step| + 1) rows above it.
        const s32 rows = std::max(1, py_end - py_begin);
        const __m256d sign = _mm256_set1_pd(-0.0), limit = _mm256_set1_pd(static_cast<double>(1 << 29));
        const __m256d far = _mm256_or_pd(
            _mm256_cmp_pd(_mm256_andnot_pd(sign, q), limit, _CMP_GT_OQ),
            _mm256_cmp_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_andnot_pd(sign, step), _mm256_set1_pd(1.0)),
                                        _mm256_set1_pd(static_cast<double>(rows))),
                          limit, _CMP_GT_OQ));
        const int sided = _mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(left, right)));
        if (_mm256_movemask_pd(far) & sided & 7) {
            walker.alone_ = true;
            return true;
        }

        const __m128i qi = _mm256_cvtpd_epi32(q);
        const __m128i lane3 = _mm_setr_epi32(0, 0, 0, -1);
        // The edges in lanes 0 to 2, the stand-ins for missing left and right
        // edges in lanes 3 and 4, each field moved to its walker lanes.
        const int m = (_mm_movemask_ps(_mm_castsi128_ps(left)) & 7) | (_mm_movemask_ps(_mm_castsi128_ps(right)) & 7) << 3;
        const __m256i lanes = _mm256_castsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(kEdgeLanes.lanes[m])));
        auto place = [&](__m128i edges, s32 left_fill, s32 right_fill) __attribute__((always_inline, target("avx2"))) {
            const __m128i lo = _mm_blendv_epi8(edges, _mm_set1_epi32(left_fill), lane3);
            return _mm256_castsi256_si128(
                _mm256_permutevar8x32_epi32(_mm256_set_m128i(_mm_set1_epi32(right_fill), lo), lanes));
        };
        walker.bound_ = place(_mm_sub_epi32(zero, qi), px_begin, 1 - px_end);
        walker.rest_ = place(_mm256_cvtpd_epi32(rest), 0, 0);
        walker.g_ = place(d, 1, 1);
        walker.step_ = place(_mm_sub_epi32(zero, _mm256_cvtpd_epi32(step)), 0, 0);
        walker.carry_ = place(_mm_set1_epi32(-1), 0, 0);
        walker.step_rest_ = place(_mm256_cvtpd_epi32(step_rest), 0, 0);
        walker.box_ = _mm_setr_epi32(px_begin, px_begin, 1 - px_end, 1 - px_end);
        walker.py_ = py_begin;
        walker.alone_ = false;
        walker.setup_ = nullptr;
        // Level edges, q = floor(k / |16 gy|): where k grows from row to row
        // they let rows through from py + max(0, -q), where it falls up to
        // py + max(-1, q).
        const __m128i py = _mm_set1_epi32(py_begin);
        const __m128i grows = _mm_and_si128(level, _mm_cmpgt_epi32(gy, zero));
        const __m128i falls = _mm_and_si128(level, _mm_cmpgt_epi32(zero, gy));
        __m128i first = _mm_blendv_epi8(py, _mm_add_epi32(py, _mm_max_epi32(zero, _mm_sub_epi32(zero, qi))), grows);
        __m128i last = _mm_blendv_epi8(_mm_set1_epi32(py_end),
                                       _mm_add_epi32(py, _mm_max_epi32(_mm_set1_epi32(-1), qi)), falls);
        first = _mm_max_epi32(first, _mm_shuffle_epi32(first, _MM_SHUFFLE(1, 0, 3, 2)));
        last = _mm_min_epi32(last, _mm_shuffle_epi32(last, _MM_SHUFFLE(1, 0, 3, 2)));
        walker.first_row_ = _mm_cvtsi128_si32(_mm_max_epi32(first, _mm_shuffle_epi32(first, _MM_SHUFFLE(2, 3, 0, 1))));
        walker.last_row_ = _mm_cvtsi128_si32(_mm_min_epi32(last, _mm_shuffle_epi32(last, _MM_SHUFFLE(2, 3, 0, 1))));

        // The plane pairs, R G B A and Z F with S T or U V four lanes at a
        // time, Q in both lanes of its own.
        const __m256d dx1 = _mm256_permute4x64_pd(dvd, 0x00), dy1 = _mm256_permute4x64_pd(dvd, 0x55);
        const __m256d dx2 = _mm256_permute4x64_pd(dvd, 0xAA), dy2 = _mm256_permute4x64_pd(dvd, 0xFF);
        const __m256d inv_area2 = _mm256_set1_pd(1.0 / area2);
        struct Quad {
            __m256d a0, gx, gy;
        };
        auto plane_quad = [&](__m256d a0, __m256d a1, __m256d a2) __attribute__((always_inline, target("avx2"))) {
            const __m256d da1 = _mm256_sub_pd(a1, a0), da2 = _mm256_sub_pd(a2, a0);
            const __m256d pgx = _mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(da1, dy2), _mm256_mul_pd(da2, dy1)), inv_area2);
            const __m256d pgy = _mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(da2, dx1), _mm256_mul_pd(da1, dx2)), inv_area2);
            return Quad{a0, pgx, pgy};
        };
        auto low = [](const Quad& p) __attribute__((always_inline, target("avx2"))) {
            return PlanePair{_mm256_castpd256_pd128(p.a0), _mm256_castpd256_pd128(p.gx), _mm256_castpd256_pd128(p.gy)};
        };
        auto high = [](const Quad& p) __attribute__((always_inline, target("avx2"))) {
            return PlanePair{_mm256_extractf128_pd(p.a0, 1), _mm256_extractf128_pd(p.gx, 1),
                             _mm256_extractf128_pd(p.gy, 1)};
        };
        if (env.prim.iip) {
            auto rgba = [&](const Vertex& w) __attribute__((always_inline, target("avx2"))) {
                return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(w.rgba))));
            };
            const Quad p = plane_quad(rgba(v[0]), rgba(v[1]), rgba(v[2]));
            planes.rg = low(p);
            planes.ba = high(p);
        }
        // Z and F are unsigned 32-bit: each as a signed value less 2^31, then
        // 2^31 added back, exactly.
        auto zf = [](const Vertex& w) __attribute__((always_inline, target("avx2"))) {
            const __m128i zf32 = _mm_xor_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&w.z)),
                                               _mm_set1_epi32(static_cast<int>(0x80000000u)));
            return _mm_add_pd(_mm_cvtepi32_pd(zf32), _mm_set1_pd(2147483648.0));
        };
        auto st = [&](const Vertex& w) __attribute__((always_inline, target("avx2"))) {
            if (env.prim.fst)
                return _mm_set_pd(static_cast<double>(w.v), static_cast<double>(w.u));
            return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&w.s))));
        };
        auto zfst = [&](const Vertex& w) __attribute__((always_inline, target("avx2"))) {
            return _mm256_set_m128d(st(w), zf(w));
        };
        const Quad p = plane_quad(zfst(v[0]), zfst(v[1]), zfst(v[2]));
        planes.zf = low(p);
        if (env.prim.tme) {
            planes.st = high(p);
            if (!env.prim.fst) {
                auto qq = [](const Vertex& w) __attribute__((always_inline)) { return _mm_set1_pd(static_cast<double>(w.q)); };
                const __m128d a0 = qq(v[0]), da1 = _mm_sub_pd(qq(v[1]), a0), da2 = _mm_sub_pd(qq(v[2]), a0);
                const __m128d inv = _mm256_castpd256_pd128(inv_area2);
                planes.q = PlanePair{
                    a0,
                    _mm_mul_pd(_mm_sub_pd(_mm_mul_pd(da1, _mm256_castpd256_pd128(dy2)),
                                          _mm_mul_pd(da2, _mm256_castpd256_pd128(dy1))),
                               inv),
                    _mm_mul_pd(_mm_sub_pd(_mm_mul_pd(da2, _mm256_castpd256_pd128(dx1)),
                                          _mm_mul_pd(da1, _mm256_castpd256_pd128(dx2))),
                               inv)};
            }
        }
        return true;
    }
};

__attribute__((target("avx2"))) bool SetupTriangleWalkerAndPlanesAvx2(const DrawEnv& env, const Vertex* v,
                                                                      s32 px_begin, s32 px_end, s32 py_begin,
                                                                      s32 py_end, TriangleRowWalker& walker,
                                                                      TrianglePlanes& planes)
{
    return WalkerFromVectors::Setup(env, v, px_begin, px_end, py_begin, py_end, walker, planes);
}

bool SetupTriangleWalkerAndPlanes(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                                  s32 py_end, TriangleRowWalker& walker, TrianglePlanes& planes)
{
    if (ActiveSimdLevel() >= SimdLevel::kAvx2)
        return SetupTriangleWalkerAndPlanesAvx2(env, v, px_begin, px_end, py_begin, py_end, walker, planes);
    const s32 x[3] = {WindowX(env, v[0]), WindowX(env, v[1]), WindowX(env, v[2])};
    const s32 y[3] = {WindowY(env, v[0]), WindowY(env, v[1]), WindowY(env, v[2])};
    const double area2 = TwiceArea(x, y);
    if (area2 == 0)
        return false;
    planes.x0 = x[0];
    planes.y0 = y[0];
    WalkerEdge edges[3];
    EdgesAndPlanes<false>(env, v[0], v[1], v[2], x, y, area2, edges,
                          [&](int k, const PlanePair& pp) __attribute__((always_inline)) {
                              switch (k) {
                              case kAttrR: planes.rg = pp; break;
                              case kAttrB: planes.ba = pp; break;
                              case kAttrZ: planes.zf = pp; break;
                              case kAttrQ: planes.q = pp; break;
                              default: planes.st = pp; break;
                              }
                          });
    walker.Place(edges, px_begin, px_end, py_end, py_begin);
    return true;
}

bool SetupTriangle(const DrawEnv& env, const Vertex& v0, const Vertex& v1, const Vertex& v2, TriangleSetup& s)
{
    const s32 x[3] = {WindowX(env, v0), WindowX(env, v1), WindowX(env, v2)};
    const s32 y[3] = {WindowY(env, v0), WindowY(env, v1), WindowY(env, v2)};
    const double area2 = TwiceArea(x, y);
    if (area2 == 0)
        return false;

    // Pixel bounds: sample positions 16 px from ceil(min / 16) to
    // floor(max / 16) (shifts round down).
    const s32 min_x = std::min({x[0], x[1], x[2]}), max_x = std::max({x[0], x[1], x[2]});
    const s32 min_y = std::min({y[0], y[1], y[2]}), max_y = std::max({y[0], y[1], y[2]});
    s.px_begin = std::max(-((-min_x) >> 4), env.scax0);
    s.px_end = std::min((max_x >> 4) + 1, env.scax1 + 1);
    s.py_begin = std::max(-((-min_y) >> 4), env.scay0);
    s.py_end = std::min((max_y >> 4) + 1, env.scay1 + 1);
    if (s.px_begin >= s.px_end || s.py_begin >= s.py_end)
        return false;

    // Q in both lanes of its pair: the second lane's plane is U's, which STQ
    // primitives do not read.
    EdgesAndPlanes<true>(env, v0, v1, v2, x, y, area2, s.edges,
                         [&](int k, const PlanePair& pp) __attribute__((always_inline)) {
                             AttributePlane& p = s.planes[k];
                             _mm_store_sd(&p.a0, pp.a0);
                             _mm_store_sd(&p.gx, pp.gx);
                             _mm_store_sd(&p.gy, pp.gy);
                             p.x0 = x[0];
                             p.y0 = y[0];
                             if (k + 1 < kAttributeCount) {
                                 AttributePlane& q = s.planes[k + 1];
                                 _mm_storeh_pd(&q.a0, pp.a0);
                                 _mm_storeh_pd(&q.gx, pp.gx);
                                 _mm_storeh_pd(&q.gy, pp.gy);
                                 q.x0 = x[0];
                                 q.y0 = y[0];
                             }
                         });
    // Q's value at the first vertex chooses the level of detail of
    // primitives whose Q is constant.
    s.planes[kAttrQ].a0 = v0.q;
    s.q_constant = v0.q == v1.q && v1.q == v2.q;
    s.flat = !env.prim.iip;
    s.flat_color = UnpackColor(v2.rgba);
    return true;
}

void TriangleRowSpan(const TriangleSetup& s, s32 py, s32& begin, s32& end)
{
    // Each edge bounds the row on one side: inside where 16 gx px + k >= 0.
    // The bound is estimated in double precision from the edge's slope and
    // offset (within a hair of the exact quotient -k / 16 gx) and then
    // settled with exact integer tests; bounds well outside the bounding box
    // are not settled at all (an estimate off by a hair there changes
    // nothing, the margin being two pixels).  This avoids 64-bit divisions,
    // which are library calls on this target, three times per row.  Window
    // coordinates are 16-bit, so gx, gy and 16 py fit 32 bits and their
    // products are single multiplications.
    s32 lo = s.px_begin, hi = s.px_end - 1;
    const s32 sample_y = 16 * py;
    for (const EdgeFunction& e : s.edges) {
        const s64 k = static_cast<s64>(static_cast<s32>(e.gy)) * sample_y + e.c;
        if (e.gx == 0) {
            if (k < 0)
                hi = lo - 1;
            continue;
        }
        const s32 g16 = 16 * static_cast<s32>(e.gx);
        auto inside = [&](s32 px) { return static_cast<s64>(g16) * px + k >= 0; };
        const double bound = e.row_slope * sample_y + e.row_offset;
        if (bound <= lo - 2.0 || bound >= hi + 2.0) {
            // Wholly one side of the box: either no limit or an empty row.
            if ((e.gx > 0) == (bound >= hi + 2.0))
                hi = lo - 1;
            continue;
        }
        s32 c = static_cast<s32>(bound);
        if (e.gx > 0) {
            // The first pixel inside.
            while (!inside(c))
                ++c;
            while (inside(c - 1))
                --c;
            lo = std::max(lo, c);
        } else {
            // The last pixel inside.
            while (!inside(c))
                --c;
            while (inside(c + 1))
                ++c;
            hi = std::min(hi, c);
        }
    }
    begin = lo;
    end = std::max(lo, hi + 1);
}

namespace {

// floor(n / g) and its remainder n - g floor(n / g), 0 <= rest < g, for
// |n| < kQuotientLimit and 0 < g < 2^23, from inv_g = 1 / g rounded: n inv_g
// lies within 2^-20 of n / g, so its truncation is the quotient or one off,
// which the remainder shows and one step mends.  No division.
constexpr s64 kQuotientLimit = s64{1} << 30;

inline s32 FloorQuotient(s32 n, s32 g, double inv_g, s32& rest)
{
    s32 q = static_cast<s32>(static_cast<double>(n) * inv_g);
    s32 r = n - q * g;
    if (r < 0) {
        --q;
        r += g;
    } else if (r >= g) {
        ++q;
        r -= g;
    }
    rest = r;
    return q;
}

}  // namespace

template <typename Edge>
inline void TriangleRowWalker::Place(const Edge (&edges)[3], s32 px_begin, s32 px_end, s32 py_end, s32 py)
{
    py_ = py;
    first_row_ = py;
    last_row_ = py_end;
    // Edge E's value at pixel px of the row is 16 gx px + k, k = gy Y + c,
    // and k grows by dk = 16 gy from one row to the next.
    constexpr s64 kLimit = s64{1} << 29;
    const u32 rows = static_cast<u32>(std::max(1, py_end - py));
    // The edges' fields, lane by lane (see bound_ ...): missing edges keep
    // the box's columns, with g 1 and no steps.
    alignas(16) s32 bound[4] = {px_begin, px_begin, 1 - px_end, 1 - px_end};
    alignas(16) s32 rest[4] = {}, g4[4] = {1, 1, 1, 1}, steps[4] = {}, carry[4] = {}, step_rests[4] = {};
    int lefts = 0, rights = 0;
    for (const Edge& e : edges) {
        // Gradients fit 18 bits (see MakeEdge) and 16 py 16 bits.
        const s32 gx = static_cast<s32>(e.gx), gy = static_cast<s32>(e.gy);
        const s64 k = static_cast<s64>(gy) * (16 * py) + e.c;
        const s32 dk = 16 * gy;
        if (gx == 0) {
            // A level edge lets rows through from where k turns non-negative
            // (k growing) or up to where it turns negative.
            if (dk > 0)
                first_row_ = static_cast<s32>(std::max<s64>(first_row_, py + (k >= 0 ? 0 : -FloorDiv(k, dk))));
            else if (k < 0)
                last_row_ = py - 1;
            else if (dk < 0)
                last_row_ = static_cast<s32>(std::min<s64>(last_row_, py + FloorDiv(k, -dk)));
            continue;
        }
        const s32 g = 16 * (gx > 0 ? gx : -gx);
        // floor(dk / g) and its remainder, 0 <= rest < g.
        s32 step_rest;
        const s32 step = FloorQuotient(dk, g, e.inv_g, step_rest);
        // The bound from q = floor(k / g) and the remainder k - g q: the
        // first pixel inside a left edge is ceil(-k / g) = -q, with g bound +
        // k = k - g q its remainder (as k grows the bound falls); the last
        // pixel inside a right edge is q, its remainder k - g q too.
        s64 q;
        s32 r;
        if (k < kQuotientLimit && k > -kQuotientLimit) {
            q = FloorQuotient(static_cast<s32>(k), g, e.inv_g, r);
        } else {
            q = FloorDiv(k, g);
            r = static_cast<s32>(k - g * q);
        }
        const s64 b = gx > 0 ? -q : q;
        // |b| <= kLimit as one unsigned comparison; |step| + 1 and the rows
        // fit 32 bits, so their product is one widening multiplication.
        if (static_cast<u64>(b + kLimit) > static_cast<u64>(2 * kLimit) ||
            u64{static_cast<u32>(std::abs(step) + 1)} * rows > static_cast<u64>(kLimit)) {
            alone_ = true;
            break;
        }
        // Two of one side at most (the third edge bounds the other side).
        const int i = gx > 0 ? lefts++ : 2 + rights++;
        // Right edges' bounds are kept negated: as k grows, every lane
        // falls.
        bound[i] = static_cast<s32>(gx > 0 ? b : -b);
        rest[i] = r;
        g4[i] = g;
        steps[i] = -step;
        carry[i] = -1;
        step_rests[i] = step_rest;
    }
    auto load = [](const s32* a) { return _mm_load_si128(reinterpret_cast<const __m128i*>(a)); };
    bound_ = load(bound);
    rest_ = load(rest);
    g_ = load(g4);
    step_ = load(steps);
    carry_ = load(carry);
    step_rest_ = load(step_rests);
    box_ = _mm_setr_epi32(px_begin, px_begin, 1 - px_end, 1 - px_end);
}

TriangleRowWalker::TriangleRowWalker(const TriangleSetup& s, s32 py)
{
    Place(s.edges, s.px_begin, s.px_end, s.py_end, py);
    if (alone_)
        setup_ = &s;
}

bool SetupLine(const DrawEnv& env, const Vertex& v0, const Vertex& v1, LineSetup& s)
{
    s.x0 = WindowX(env, v0);
    s.y0 = WindowY(env, v0);
    s.x1 = WindowX(env, v1);
    s.y1 = WindowY(env, v1);
    s.x_major = std::abs(s.x1 - s.x0) >= std::abs(s.y1 - s.y0);
    s.first = NearestPixel(s.x_major ? s.x0 : s.y0);
    s.last = NearestPixel(s.x_major ? s.x1 : s.y1);
    if (s.first == s.last)
        return false;
    VertexAttributes(v0, s.a0);
    VertexAttributes(v1, s.a1);
    s.flat = !env.prim.iip;
    s.flat_color = UnpackColor(v1.rgba);
    return true;
}

namespace {

// The triangle's bounding box inside the scissor, as SetupTriangle finds it;
// false when SetupTriangle would find no area or no pixel.  The three
// vertices' coordinates side by side in vector lanes.
bool TriangleBox(const DrawEnv& env, const Vertex* v, PixelBox& box)
{
    static_assert(offsetof(DrawEnv, scax1) == offsetof(DrawEnv, scax0) + 4 &&
                  offsetof(DrawEnv, scay0) == offsetof(DrawEnv, scax0) + 8 &&
                  offsetof(DrawEnv, scay1) == offsetof(DrawEnv, scax0) + 12 && sizeof(PixelBox) == 16 &&
                  offsetof(PixelBox, px_end) == 4 && offsetof(PixelBox, py_begin) == 8 &&
                  offsetof(PixelBox, py_end) == 12);
    __m128i a, c;
    WindowCoordinates(env, v, a, c);
    // No area: (x1 - x0)(y2 - y0) = (y1 - y0)(x2 - x0), exact in double
    // precision (window coordinates have 17 bits at most).
    const __m128i d = _mm_sub_epi32(_mm_unpackhi_epi64(a, c), _mm_unpacklo_epi64(a, a));
    const __m128d products =
        _mm_mul_pd(_mm_cvtepi32_pd(d), _mm_cvtepi32_pd(_mm_shuffle_epi32(d, _MM_SHUFFLE(1, 0, 2, 3))));
    if (_mm_movemask_pd(_mm_cmpeq_pd(products, _mm_shuffle_pd(products, products, 1))) != 0)
        return false;
    auto select = [](__m128i m, __m128i x, __m128i y) {
        return _mm_or_si128(_mm_and_si128(m, x), _mm_andnot_si128(m, y));
    };
    auto min = [&](__m128i x, __m128i y) { return select(_mm_cmpgt_epi32(x, y), y, x); };
    auto max = [&](__m128i x, __m128i y) { return select(_mm_cmpgt_epi32(x, y), x, y); };
    const __m128i lo2 = min(a, c), hi2 = max(a, c);
    const __m128i lo = min(lo2, _mm_shuffle_epi32(lo2, _MM_SHUFFLE(1, 0, 3, 2)));
    const __m128i hi = max(hi2, _mm_shuffle_epi32(hi2, _MM_SHUFFLE(1, 0, 3, 2)));
    // The first pixel at or after the least coordinate and one past the last
    // at or before the greatest, x then y, then the scissor's bounds so laid
    // out: the greater of the firsts and the lesser of the ends.
    const __m128i bounds = _mm_add_epi32(_mm_unpacklo_epi64(lo, hi), _mm_setr_epi32(15, 15, 0, 0));
    const __m128i ends = _mm_add_epi32(_mm_srai_epi32(bounds, 4), _mm_setr_epi32(0, 0, 1, 1));
    const __m128i scissor = _mm_add_epi32(
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&env.scax0)), _MM_SHUFFLE(3, 1, 2, 0)),
        _mm_setr_epi32(0, 0, 1, 1));
    const __m128i take = _mm_xor_si128(_mm_cmpgt_epi32(ends, scissor), _mm_setr_epi32(0, 0, -1, -1));
    const __m128i b = select(take, ends, scissor);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&box), _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0)));
    return (_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(_mm_unpackhi_epi64(b, b), b))) & 3) == 3;
}

}  // namespace

namespace {

__attribute__((always_inline)) inline void DrawPrimitiveNow(PrimType type, const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const Vertex* v)
{
    switch (type) {
    case PrimType::kPoint: SetupPoint(env, v[0], memory, clut); return;
    case PrimType::kLine:
    case PrimType::kLineStrip: {
        LineSetup line;
        if (SetupLine(env, v[0], v[1], line))
            RasterizeLine(env, line, memory, clut);
        return;
    }
    case PrimType::kTriangle:
    case PrimType::kTriangleStrip:
    case PrimType::kTriangleFan: {
        // Only the box here: the triangle is set up where it is drawn.
        PixelBox box;
        if (TriangleBox(env, v, box))
            RasterizeTriangleVertices(env, v, box, memory, clut);
        return;
    }
    case PrimType::kSprite: {
        SpriteSetup sprite;
        if (SetupSprite(env, v[0], v[1], sprite))
            RasterizeSprite(env, sprite, memory, clut);
        return;
    }
    case PrimType::kReserved: return;
    }
}

// The pixels a primitive covers inside the scissor (before any test), for
// the draw accounts: a line's pixels along its major axis, a point's one.
u64 CoveredPixels(PrimType type, const DrawEnv& env, const Vertex* v)
{
    switch (type) {
    case PrimType::kPoint: {
        const s32 px = NearestPixel(WindowX(env, v[0])), py = NearestPixel(WindowY(env, v[0]));
        return px >= env.scax0 && px <= env.scax1 && py >= env.scay0 && py <= env.scay1 ? 1 : 0;
    }
    case PrimType::kLine:
    case PrimType::kLineStrip: {
        LineSetup line;
        return SetupLine(env, v[0], v[1], line) ? static_cast<u64>(std::abs(line.last - line.first)) : 0;
    }
    case PrimType::kTriangle:
    case PrimType::kTriangleStrip:
    case PrimType::kTriangleFan: {
        TriangleSetup t;
        u64 pixels = 0;
        if (SetupTriangle(env, v[0], v[1], v[2], t))
            for (s32 py = t.py_begin; py < t.py_end; ++py) {
                s32 begin, end;
                TriangleRowSpan(t, py, begin, end);
                pixels += static_cast<u64>(std::max(0, end - begin));
            }
        return pixels;
    }
    case PrimType::kSprite: {
        SpriteSetup s;
        return SetupSprite(env, v[0], v[1], s)
                   ? static_cast<u64>(s.px_end - s.px_begin) * static_cast<u64>(s.py_end - s.py_begin)
                   : 0;
    }
    case PrimType::kReserved: return 0;
    }
    return 0;
}

// DrawPrimitive with the draw accounts on: the primitive drawn and timed,
// then its pixels counted, untimed.
[[gnu::noinline]] void DrawPrimitiveCounted(PrimType type, const DrawEnv& env, LocalMemory& memory,
                                            const ClutBuffer& clut, const Vertex* v)
{
    StartDrawRecord();
    const u64 start = __rdtsc();
    DrawPrimitiveNow(type, env, memory, clut, v);
    const u64 ticks = __rdtsc() - start;
    RecordDraw(type, env, CoveredPixels(type, env, v), ticks);
}

}  // namespace

void DrawPrimitive(PrimType type, const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const Vertex* v)
{
    if (env.prim.aa1 && !g_aa1_reported) {
        g_aa1_reported = true;
        Trace("gs", "PRIM AA1 (antialiasing) is ignored");
    }
    if (DrawStatsOn()) [[unlikely]] {
        DrawPrimitiveCounted(type, env, memory, clut, v);
        return;
    }
    DrawPrimitiveNow(type, env, memory, clut, v);
}

void ResetSetupReports()
{
    g_aa1_reported = false;
}

}  // namespace console::gs
