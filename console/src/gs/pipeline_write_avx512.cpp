// The writing stage with 512-bit vectors: row pieces written a 64-byte line
// of two rows at a time (pipeline_write.h).
#include <algorithm>
#include <array>

#include "gs/pipeline_write.h"

namespace console::gs::pipeline {

namespace {

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

}  // namespace

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

}  // namespace console::gs::pipeline
