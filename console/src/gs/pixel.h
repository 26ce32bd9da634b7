// The pixel pipeline after rasterization: the texture function and fog that
// make a fragment's colour, then, per pixel and in the GS's order, the alpha
// test with its fail action, the destination alpha test, the depth test and
// Z write, blending (with PABE), dithering into 16-bit targets, the colour
// clamp, FBA, and the write through FBMSK.  All integer and bit-exact.
#pragma once

#include <ee/types.h>

#include "gs/color.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"

namespace console::gs {

// Step 4's test (ATST) of a pixel of alpha `a` against AREF.
bool AlphaPasses(AlphaTest test, s32 a, u32 aref);

// TFX and TCC: the fragment colour `f` combined with the texel `t`.
Color ApplyTextureFunction(u32 tfx, bool tcc, const Color& f, const Color& t);

// FGE: C = (F x C + (255 - F) x FOGCOL) >> 8 per colour channel.
Color ApplyFog(const Color& c, u32 f, u32 fogcol);

// Step 6, blending, of source `c` over destination `d`: ((A - B) x C >> 7) + D
// per colour channel with the ALPHA selectors (0 source, 1 destination, 2
// zero, or FIX for C); alpha is not blended.
inline Color BlendColor(u32 sel_a, u32 sel_b, u32 sel_c, u32 sel_d, s32 fix, const Color& c, const Color& d)
{
    const s32 factor = sel_c == 0 ? c.a : sel_c == 1 ? d.a : fix;
    auto pick = [](u32 sel, s32 cs, s32 cd) { return sel == 0 ? cs : sel == 1 ? cd : 0; };
    auto mix = [&](s32 cs, s32 cd) { return (((pick(sel_a, cs, cd) - pick(sel_b, cs, cd)) * factor) >> 7) + pick(sel_d, cs, cd); };
    return {mix(c.r, d.r), mix(c.g, d.g), mix(c.b, d.b), c.a};
}

// Steps 7 and 8: the dither value `dm` added to the colour channels, then the
// colour clamp (saturation; without it PackColor keeps the low eight bits).
inline void DitherAndClamp(s32 dm, bool colclamp, Color& out)
{
    out.r += dm;
    out.g += dm;
    out.b += dm;
    if (colclamp) {
        out.r = out.r < 0 ? 0 : out.r > 255 ? 255 : out.r;
        out.g = out.g < 0 ? 0 : out.g > 255 ? 255 : out.g;
        out.b = out.b < 0 ? 0 : out.b > 255 ? 255 : out.b;
    }
}

// The frame and Z buffer rows of one scan line, set up once per row.
class PixelRow {
public:
    PixelRow(const DrawEnv& env, u32 y);
    // The same with the frame's and Z buffer's layouts already looked up.
    PixelRow(const Layout& frame, const Layout& depth, const DrawEnv& env, u32 y)
        : y_(y), frame_(frame, env.frame.bp, env.frame.bw, y), depth_(depth, env.depth.bp, env.frame.bw, y)
    {
    }
    // The same from the buffers' bases and their width.
    PixelRow(const Layout& frame, u32 frame_bp, const Layout& depth, u32 depth_bp, u32 bw, u32 y)
        : y_(y), frame_(frame, frame_bp, bw, y), depth_(depth, depth_bp, bw, y)
    {
    }

    // From row y to row y + 1, with the layouts and state the row was
    // constructed from: then the row constructed for y + 1.
    void Down(const Layout& frame, const Layout& depth, const DrawEnv& env)
    {
        ++y_;
        frame_.Down(frame, env.frame.bw, y_);
        depth_.Down(depth, env.frame.bw, y_);
    }

    u32 Y() const { return y_; }
    u32 FrameOffset(u32 x) const { return frame_.Offset(x); }
    u32 DepthOffset(u32 x) const { return depth_.Offset(x); }
    const RowCursor& FrameRow() const { return frame_; }
    const RowCursor& DepthRow() const { return depth_; }

private:
    u32 y_;
    RowCursor frame_;
    RowCursor depth_;
};

// Steps 4 to 10 for one pixel of colour `c` (channels 0..255) and depth `z`
// at (x, row.Y()).  The caller has noted the blocks the primitive may write
// (LocalMemory::NoteWrite): no write stamp is touched here, so that rows of
// different bands may be drawn at once.
void WritePixel(const DrawEnv& env, LocalMemory& memory, const PixelRow& row, u32 x, const Color& c, u32 z);

// WritePixel with the per-primitive decisions taken once.  The common state
// of opaque drawing (a 32-bit frame, or a 16-bit one with or without
// dithering, without FBMSK, alpha tests or blending) is written inline, with
// or without a depth test; any other state goes through WritePixel.  Both give
// the same memory.
class PixelWriter {
public:
    PixelWriter(const DrawEnv& env, LocalMemory& memory)
        : env_(env),
          memory_(memory),
          words_(memory.DrawWords()),
          halves_(memory.DrawHalves()),
          simple_((env.frame.psm == Psm::kCT32 || env.frame.psm == Psm::kZ32 || env.frame.is16) &&
                  env.frame.fbmsk == 0 && !env.ate && !env.date && !env.blend),
          is16_(env.frame.is16),
          dither_(env.dither),
          depth_(env.depth.used),
          depth_test_(env.depth.test),
          depth_write_(env.depth.write),
          depth_psm_(env.depth.psm),
          depth_method_(env.depth.method),
          depth_max_(env.depth.max),
          colclamp_(env.colclamp),
          fba_(env.fba ? 0x80000000u : 0u)
    {
    }

    void Write(const PixelRow& row, u32 x, const Color& c, u32 z) const
    {
        if (!simple_) {
            WritePixel(env_, memory_, row, x, c, z);
            return;
        }
        if (depth_) {
            const u32 depth_offset = row.DepthOffset(x);
            const u32 zs = z < depth_max_ ? z : depth_max_;
            if (depth_test_) {
                const u32 stored = memory_.ReadAt(depth_psm_, depth_offset);
                const bool pass = depth_method_ == DepthTest::kGequal   ? zs >= stored
                                  : depth_method_ == DepthTest::kGreater ? zs > stored
                                                                         : depth_method_ != DepthTest::kNever;
                if (!pass)
                    return;
            }
            if (depth_write_)
                memory_.DrawAt(depth_psm_, depth_offset, zs);
        }
        Color out = c;
        if (dither_) {
            const s32 dm = env_.dimx[row.Y() & 3][x & 3];
            out.r += dm;
            out.g += dm;
            out.b += dm;
        }
        if (colclamp_) {
            out.r = out.r < 0 ? 0 : out.r > 255 ? 255 : out.r;
            out.g = out.g < 0 ? 0 : out.g > 255 ? 255 : out.g;
            out.b = out.b < 0 ? 0 : out.b > 255 ? 255 : out.b;
        }
        const u32 rgba = PackColor(out) | fba_;
        if (is16_)
            halves_[row.FrameOffset(x) & (kMemoryBytes / 2 - 1)] = static_cast<u16>(Narrow16(rgba));
        else
            words_[row.FrameOffset(x) & (kMemoryWords - 1)] = rgba;
    }

private:
    const DrawEnv& env_;
    LocalMemory& memory_;
    u32* words_;
    u16* halves_;
    bool simple_;
    bool is16_;
    bool dither_;
    bool depth_;
    bool depth_test_;
    bool depth_write_;
    Psm depth_psm_;
    DepthTest depth_method_;
    u32 depth_max_;
    bool colclamp_;
    u32 fba_;
};

}  // namespace console::gs
