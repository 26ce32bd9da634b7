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

// TFX and TCC: the fragment colour `f` combined with the texel `t`.
Color ApplyTextureFunction(u32 tfx, bool tcc, const Color& f, const Color& t);

// FGE: C = (F x C + (255 - F) x FOGCOL) >> 8 per colour channel.
Color ApplyFog(const Color& c, u32 f, u32 fogcol);

// The frame and Z buffer rows of one scan line, set up once per row.
class PixelRow {
public:
    PixelRow(const DrawEnv& env, u32 y);

    u32 Y() const { return y_; }
    u32 FrameOffset(u32 x) const { return frame_.Offset(x); }
    u32 DepthOffset(u32 x) const { return depth_.Offset(x); }

private:
    u32 y_;
    RowCursor frame_;
    RowCursor depth_;
};

// Steps 4 to 10 for one pixel of colour `c` (channels 0..255) and depth `z`
// at (x, row.Y()).
void WritePixel(const DrawEnv& env, LocalMemory& memory, const PixelRow& row, u32 x, const Color& c, u32 z);

}  // namespace console::gs
