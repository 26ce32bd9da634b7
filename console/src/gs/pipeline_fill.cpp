#include "gs/pipeline_fill.h"

#include "gs/simd.h"

namespace console::gs::pipeline {

namespace {

// Asks for the line holding `p`, read or written soon (an asm statement:
// GCC may drop a plain prefetch in a loop doing nothing else).
__attribute__((always_inline)) inline void PrefetchLine(const void* p)
{
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
}

}  // namespace

void PrefetchBlockRow(const u32* words, const RowCursor& row, u32 unit, u32 x0, u32 x1, u32 bx)
{
    for (u32 x = x0; x < x1; x += bx) {
        const u32* const block = words + ((row.Offset(x) >> unit) & (kMemoryWords - 1) & ~63u);
        for (u32 i = 0; i < 64; i += 16)
            PrefetchLine(block + i);
    }
}

namespace {

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

}  // namespace

// Whole blocks as copies of one block's 64 words (blocks start at
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

}  // namespace console::gs::pipeline
