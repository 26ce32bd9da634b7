// Specialised pixel pipelines.  The state that decides how a primitive's
// pixels are made (texture format class, filter, shading, texture function,
// fog, frame and Z formats, blending, dithering) is read once per primitive
// and picks a shading stage and a writing stage, each a template instance
// with no branches on that state in its pixel loop.  Spans are shaded into a
// small buffer of colours and depths, then written.  States the stages do not
// cover (per-pixel level of detail, alpha and destination alpha tests, FBMSK)
// are left to the general fast paths of the rasterizer.  Every stage gives
// exactly the bytes of the reference path.  The stages are in files of
// their own, pipeline_<stage>.{h,cpp}, listed in pipeline_local.h.
#pragma once

#include <ee/types.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "gs/clut.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/raster.h"
#include "gs/setup.h"

namespace console::gs {

// The rows a draw may touch: all of them, or the rows of one band of
// `count` interleaved bands of 2^shift rows (the draw threads' shares).
struct RowBands {
    u32 shift = 3;
    u32 count = 1;
    u32 index = 0;

    bool Has(s32 y) const { return count == 1 || ((static_cast<u32>(y) >> shift) % count) == index; }

    // Moves `y` to the first of these rows at or after it and returns the
    // end of its stretch (at most `end`): rows [y, result) are all ours.
    s32 Stretch(s32& y, s32 end) const
    {
        if (count == 1)
            return end;
        u32 strip = static_cast<u32>(y) >> shift;
        const u32 k = strip % count;
        if (k != index) {
            strip += (index + count - k) % count;
            y = static_cast<s32>(strip << shift);
        }
        return std::min(end, static_cast<s32>((strip + 1) << shift));
    }
};

// A texture level decoded to rows of RGBA8 texels with a border of one
// texel on every side, so that the bilinear filter reads two neighbouring
// texels with one load (pipeline_sample.h); shared by the primitives that read it.
struct DecodedTexture;
using DecodedTextureRef = std::shared_ptr<const DecodedTexture>;

// The blocks a primitive's frame and Z writes may touch, [lo, hi) each (an
// empty range for Z when it has none); `known` false when either buffer is
// not one stretch of memory there (see BlockRange).
struct TargetBlocks {
    bool known = false;
    u32 frame_lo = 0, frame_hi = 0, depth_lo = 0, depth_hi = 0;
    bool Overlap(u32 lo, u32 hi) const
    {
        return !known || (lo < frame_hi && frame_lo < hi) || (lo < depth_hi && depth_lo < hi);
    }
};

// The decoded copy of the texture level a triangle writing `targets` with
// the level of detail of `q` reads, or null when it reads memory directly
// (filter, format, wrap modes or size not covered, a texture lying in the
// memory the triangle writes, or too little use yet to repay the decoding).
// Kept per thread and rebuilt when memory's write stamps show the texture
// changed: called on the thread that sends drawing, once queued work that
// writes the texture has been drained.
DecodedTextureRef DecodeTexture(const DrawEnv& env, const LocalMemory& memory, const ClutBuffer& clut, float q,
                                const TargetBlocks& targets, u64 pixels);
// The same for a triangle drawn on the calling thread before it calls either
// again: the copy stays with the thread until then, and no reference to it
// is taken.
const DecodedTexture* DecodeTextureHere(const DrawEnv& env, const LocalMemory& memory, const ClutBuffer& clut,
                                        float q, const TargetBlocks& targets, u32 pixels);

// For tests: decode each texture DecodeTexture covers at its first use.
void DecodeTexturesAtFirstUse(bool on);

// A sprite made ready for the specialised pipelines once and drawn band by
// band (the draw threads' records), by several threads at once.
// PrepareSprite is false when the state is one the pipelines leave to the
// general path; the state, set-up, memory and CLUT must stay as they are
// until the sprite is drawn.  A plan is reused from sprite to sprite.
struct SpritePlan;
struct SpritePlanDelete {
    void operator()(SpritePlan* p) const;
};
using SpritePlanPtr = std::unique_ptr<SpritePlan, SpritePlanDelete>;
SpritePlanPtr MakeSpritePlan();
bool PrepareSprite(const DrawEnv& env, const SpriteSetup& sprite, LocalMemory& memory, const ClutBuffer& clut,
                   SpritePlan& plan);
void DrawPreparedSprite(const SpritePlan& plan, const RowBands& bands);

// Whether no byte a textured sprite's texels may lie in is one its frame
// pixels or Z values are written to (FBMSK, and an alpha test that always
// fails, leaving some bytes alone; one whose outcome varies taken as
// passing): then its texels stay as they are while it is drawn, and its rows
// may be drawn in any order.  Worked out byte by byte for sprites of a few
// thousand pixels at most (a buffer read into itself through another
// layout); false for larger ones whose texels and pixels share blocks.
bool SpriteTexelsApartByBytes(const DrawEnv& env, const SpriteSetup& sprite);

// Draw `sprite` or `triangle` through a specialised pipeline, sprite rows
// outside `bands` left alone.  False, having drawn nothing, when the state is
// one the pipelines leave to the general path.  A triangle reads its texels
// from `decoded` when given.
bool DrawSpriteSpecialised(const DrawEnv& env, const SpriteSetup& sprite, LocalMemory& memory,
                           const ClutBuffer& clut, const RowBands& bands);
bool DrawTriangleSpecialised(const DrawEnv& env, const TriangleSetup& triangle, LocalMemory& memory,
                             const ClutBuffer& clut, const TargetBlocks& targets,
                             const DecodedTexture* decoded = nullptr);

// A triangle made ready for the specialised pipelines once, then drawn band
// by band (the draw threads' records); `targets` are the blocks it writes.  What follows from the state alone is
// a shared record the preparing thread keeps for the last few states.
// PrepareTriangle is false, with nothing prepared, when the state is one the
// pipelines leave to the general path.  With `keep` the prepared triangle
// holds what it reads of `env`, the set-up and the palette, so that they may
// change before it is drawn (triangles whose rows need the set-up itself are
// refused), and *keep is the state record, to be kept until it is drawn;
// local memory, the CLUT buffer and `decoded` must stay as they are until
// then.
struct TriangleState;
using TriangleStateRef = std::shared_ptr<const TriangleState>;
struct alignas(16) PreparedTriangle {
    bool nothing = false;  // every pixel is dropped
    alignas(16) unsigned char room[1024];
};
bool PrepareTriangle(const DrawEnv& env, const TriangleSetup& triangle, LocalMemory& memory, const ClutBuffer& clut,
                     const DecodedTexture* decoded, const TargetBlocks& targets, PreparedTriangle& out,
                     TriangleStateRef* keep);
void DrawPreparedTriangle(const PreparedTriangle& triangle, const RowBands& bands);

// PrepareTriangle straight from the vertices v[0..3) of a triangle whose
// bounding box inside the scissor, [px_begin, px_end) x [py_begin, py_end),
// has pixels, without a TriangleSetup and without `keep`: the triangle is
// drawn before env and the vertices change.  Also false for the rare
// triangle whose rows need a whole set-up (PrepareTriangle takes it).
bool PrepareTriangleVertices(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                             s32 py_end, LocalMemory& memory, const ClutBuffer& clut, const DecodedTexture* decoded,
                             const TargetBlocks& targets, PreparedTriangle& out);

// DecodeTextureHere, PrepareTriangleVertices and DrawPreparedTriangle for
// a triangle drawn on the calling thread, in one call: false, having drawn
// nothing, when PrepareTriangleVertices would be, with `decoded` what
// DecodeTextureHere found for the paths left.
bool DrawTriangleVerticesSpecialised(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                                     s32 py_end, LocalMemory& memory, const ClutBuffer& clut,
                                     const TargetBlocks& targets, const DecodedTexture*& decoded);

// Helpers the rasterizer's paths share.

// Blocks [lo, hi) a buffer's pixels in [x0, x1) x [y0, y1) can lie in, or
// false when that is not one stretch of memory whose rows belong to their own
// pages (a row wider than the buffer spills into the next rows' pages, and a
// buffer past the end of memory wraps onto its start).
bool BlockRange(Psm psm, u32 bp, u32 bw, u32 x0, u32 x1, u32 y0, u32 y1, u32& lo, u32& hi);

// A buffer's pages as BlockRange walks them (its base, pages across and page
// size), for callers that find ranges of one buffer again and again.
struct PageGrid {
    u32 bp = 0, across = 0, shift_x = 0, shift_y = 0;
};
PageGrid GridOf(Psm psm, u32 bp, u32 bw);

// BlockRange over a grid from GridOf.
inline bool GridRange(const PageGrid& g, u32 x0, u32 x1, u32 y0, u32 y1, u32& lo, u32& hi)
{
    const u32 last_col = (x1 - 1) >> g.shift_x;
    if (last_col >= g.across)
        return false;
    lo = g.bp + ((y0 >> g.shift_y) * g.across + (x0 >> g.shift_x)) * kPageBlocks;
    const u64 end = g.bp + (static_cast<u64>((y1 - 1) >> g.shift_y) * g.across + last_col + 1) * kPageBlocks;
    if (end > kBlockCount)
        return false;
    hi = static_cast<u32>(end);
    return true;
}

// floor(a / b) for any signs, b != 0.  Quotients of 32-bit values, the
// usual ones, take the processor's division: a 64-bit one is a library call
// on this target.
inline s64 FloorDiv(s64 a, s64 b)
{
    if (a == static_cast<s32>(a) && b == static_cast<s32>(b) && a != INT32_MIN) {
        const s32 a32 = static_cast<s32>(a), b32 = static_cast<s32>(b);
        s32 q = a32 / b32;
        if ((a32 % b32 != 0) && ((a32 < 0) != (b32 < 0)))
            --q;
        return q;
    }
    s64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// floor() for values well inside the s32 range.  The library's floor is a
// call per use on this target.
inline s32 FloorToInt(double v)
{
    const s32 i = static_cast<s32>(v);
    return i - (v < static_cast<double>(i) ? 1 : 0);
}

// An interpolated value as an integer in [0, max], rounded down (truncation
// is rounding down once the value is known to be positive).
inline s32 ToChannel(double v, double max)
{
    if (!(v > 0.0))
        return 0;
    return static_cast<s32>(std::min(v, max));
}

inline u32 ToDepth(double z)
{
    if (!(z > 0.0))
        return 0;
    return static_cast<u32>(std::min(z, 4294967295.0));
}

inline bool RowMasked(u32 scanmsk, s32 y)
{
    return (scanmsk == 2 && (y & 1) == 0) || (scanmsk == 3 && (y & 1) == 1);
}

// A texture coordinate in 1/16 texel at pixel `p` of an axis whose sample
// positions run from c0 (coordinate t0) to c1 (coordinate t1), exactly.
inline s32 StepUv(s32 t0, s32 t1, s32 c0, s32 c1, s32 p)
{
    return static_cast<s32>(t0 + FloorDiv(static_cast<s64>(t1 - t0) * (16 * static_cast<s64>(p) - c0), c1 - c0));
}

// The same for S or T divided by Q and scaled to 1/16 texel of a texture
// 2^size_log2 texels across.
inline s32 StepStq(float t0, float t1, float q, u32 size_log2, s32 c0, s32 c1, s32 p)
{
    const double f = (16.0 * p - c0) / static_cast<double>(c1 - c0);
    const double t = t0 + (static_cast<double>(t1) - t0) * f;
    return TexelCoordinate16(t / q, size_log2);
}

// The texels a textured sprite reads on one level of its texture, as the
// rectangle [x0, x1] x [y0, y1] after the wrap modes.
struct SpriteTexels {
    u32 level;
    u32 x0, x1, y0, y1;
};

// The texel rectangles of the levels a sprite's Q picks (one, or two when
// it mixes levels); returns how many.  Its texture coordinates change
// monotonically along each axis, so the first and last column and row
// bound them.
u32 SpriteTexelRects(const DrawEnv& env, const SpriteSetup& s, SpriteTexels (&rects)[2]);

}  // namespace console::gs
