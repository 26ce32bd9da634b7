// The row stage with 256-bit vectors (pipeline_rows.h).
#include "gs/pipeline_rows.h"

namespace console::gs::pipeline {

namespace {

// The same rows four pixels a step with 256-bit vectors: a pixel's R G B A
// in one register and its Z F S T (or Z F U V) in another; S/Q and T/Q of
// two pixels in one division.  Every lane
// is stepped with the additions above in the same order, and each conversion
// gives the two-lane one's integers: a floor for TexelCoordinatesTwo and
// ClampFloorTwo (exact on the clamped values) and a floor less 2^31 for
// ToDepthTwo (exact on integers below 2^32).
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

template <class Steps>
__attribute__((target("avx2"), flatten)) void DrawTriangleRowsAvx2(const TrianglePlan& p, const RowBands& bands)
{
    DrawTriangleRows<Steps>(p, bands);
}

template <bool kGouraud, int kCoords>
TriangleRowsFn PickRowsAvx2(bool fog)
{
    return fog ? &DrawTriangleRowsAvx2<RowStepsAvx2<kGouraud, kCoords, true>>
               : &DrawTriangleRowsAvx2<RowStepsAvx2<kGouraud, kCoords, false>>;
}

template <bool kGouraud>
TriangleRowsFn PickRowsAvx2(int coords, bool fog)
{
    switch (coords) {
    case kUv: return PickRowsAvx2<kGouraud, kUv>(fog);
    case kStq: return PickRowsAvx2<kGouraud, kStq>(fog);
    default: return PickRowsAvx2<kGouraud, kNoTex>(fog);
    }
}

}  // namespace

TriangleRowsFn PickTriangleRowsAvx2(bool gouraud, int coords, bool fog)
{
    return gouraud ? PickRowsAvx2<true>(coords, fog) : PickRowsAvx2<false>(coords, fog);
}

}  // namespace console::gs::pipeline
