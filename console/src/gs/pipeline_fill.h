// Whole blocks of one value: rectangles of a buffer filled block by block
// (the flat sprites' frames and Z), and the walk that asks for a buffer's
// blocks a block row ahead of the passes over whole frames.
#pragma once

#include "gs/gsmem.h"
#include "gs/pipeline.h"
#include "gs/pipeline_local.h"

namespace console::gs::pipeline {

// Walks over columns wider than this go through whole pages in turn, which
// the processor foresees itself: they ask for nothing ahead.
constexpr u32 kBlocksAheadWidth = 64;

// Asks for the lines of the blocks at columns [x0, x1) (multiples of the
// block width `bx`) of a block row; `unit` is log2 of the row's offset
// units in a word (Unit).
void PrefetchBlockRow(const u32* words, const RowCursor& row, u32 unit, u32 x0, u32 x1, u32 bx);

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

// Stores `pattern` (merged under `word_mask`, its low half for 16-bit pixels) at
// every pixel of [x0, x1) x [y0, y1) of a buffer, rows outside `bands` left
// alone.
void FillRect(LocalMemory& memory, Psm psm, u32 bp, u32 bw, u32 x0, u32 x1, u32 y0, u32 y1,
              const FillPattern& pattern, u32 word_mask, const RowBands& bands);

}  // namespace console::gs::pipeline
