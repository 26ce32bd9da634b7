// Primitive set-up: vertices in primitive coordinates become a primitive in
// window coordinates (XYOFFSET subtracted, 12.4 fixed point), clipped to the
// scissor rectangle, with the attributes the rasterizer steps.  One function
// per primitive kind; sprites are drawn, the other kinds are queued and
// kicked correctly but not drawn yet (reported once per kind).
#pragma once

#include <ee/types.h>

#include "gs/clut.h"
#include "gs/color.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/regs.h"

namespace console::gs {

// What a sprite needs for its pixels.  Pixel (px, py) is covered when
// min(x0, x1) <= 16 px < max(x0, x1), likewise in y; texture coordinates step
// linearly from the first vertex to the second.
struct SpriteSetup {
    s32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // window coordinates in 1/16 pixel
    // Covered pixels inside the scissor: [px_begin, px_end) x [py_begin, py_end).
    s32 px_begin = 0, px_end = 0, py_begin = 0, py_end = 0;
    // UV primitives: U, V in 1/16 texel at the two vertices.
    s32 u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    // STQ primitives: S, T at the two vertices and the second vertex's Q.
    float s0 = 0, s1 = 0, t0 = 0, t1 = 0, q = 1;
    // Colour, Z and fog come from the second vertex.
    Color color;
    u32 z = 0;
    u32 fog = 0;
};

// Fills `setup` for the sprite (v0, v1); false when it covers no pixel.
bool SetupSprite(const DrawEnv& env, const Vertex& v0, const Vertex& v1, SpriteSetup& setup);

// Draws one primitive of `type` whose vertices are `v[0..n)` (n as the type
// needs: 1, 2 or 3).
void DrawPrimitive(PrimType type, const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const Vertex* v);

// Lets the once-per-kind "not drawn yet" and AA1 reports appear again.
void ResetSetupReports();

}  // namespace console::gs
