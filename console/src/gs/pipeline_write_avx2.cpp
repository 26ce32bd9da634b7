// The writing stage with 256-bit vectors: row pieces written eight pixels
// of a column at a time (pipeline_write.h).
#include <array>

#include "gs/pipeline_write.h"

namespace console::gs::pipeline {

namespace {

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

template <int kFrame, int kDepth>
constexpr std::array<PiecesFn, 3> kOctetPiecesByEq = {WriteOctetPiecesAvx2<kFrame, kDepth, kNoBlend>,
                                                      WriteOctetPiecesAvx2<kFrame, kDepth, kBlendAny>,
                                                      WriteOctetPiecesAvx2<kFrame, kDepth, kBlendMix>};

}  // namespace

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

}  // namespace console::gs::pipeline
