// The row stage with 512-bit vectors (pipeline_rows.h).
#include "gs/pipeline_rows.h"

namespace console::gs::pipeline {

namespace {

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

template <class Steps>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"), flatten)) void DrawTriangleRowsAvx512(
    const TrianglePlan& p, const RowBands& bands)
{
    DrawTriangleRows<Steps>(p, bands);
}

template <bool kGouraud>
TriangleRowsFn PickRowsAvx512(int coords)
{
    switch (coords) {
    case kUv: return &DrawTriangleRowsAvx512<RowStepsAvx512<kGouraud, kUv>>;
    case kStq: return &DrawTriangleRowsAvx512<RowStepsAvx512<kGouraud, kStq>>;
    default: return &DrawTriangleRowsAvx512<RowStepsAvx512<kGouraud, kNoTex>>;
    }
}

}  // namespace

TriangleRowsFn PickTriangleRowsAvx512(bool gouraud, int coords)
{
    return gouraud ? PickRowsAvx512<true>(coords) : PickRowsAvx512<false>(coords);
}

}  // namespace console::gs::pipeline
