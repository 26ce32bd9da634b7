// Rasterization: walks the pixels a primitive covers, produces each pixel's
// colour (texture sample, texture function, fog) and hands it to the pixel
// pipeline.
//
// Sprite texture coordinates are evaluated exactly at every pixel from the
// two vertices, U(px) = U0 + (U1 - U0) x (16 px - X0) / (X1 - X0) rounded
// down to 1/16 texel, so a sprite cut into strips at pixel boundaries draws
// the same pixels as the whole.
//
// Triangles cover the samples their edge functions accept (top-left rule)
// and interpolate colour, Z, fog and texture coordinates linearly in screen
// space, in double precision; STQ coordinates are divided per pixel (S/Q,
// T/Q), which makes them perspective-correct, and the level of detail follows
// the pixel's Q.  Lines and points use the same per-pixel shading.
#pragma once

#include "gs/clut.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/setup.h"

namespace console::gs {

void RasterizeSprite(const DrawEnv& env, const SpriteSetup& sprite, LocalMemory& memory, const ClutBuffer& clut);

struct RowBands;
// The rows of `rows` of a sprite through the per-pixel path, for a sprite
// the specialised pipelines leave, drawn by a draw thread's band.  The
// sender has noted the blocks it writes.
void DrawSpriteRows(const DrawEnv& env, const SpriteSetup& sprite, LocalMemory& memory, const ClutBuffer& clut,
                    const RowBands& rows);

void RasterizeTriangle(const DrawEnv& env, const TriangleSetup& triangle, LocalMemory& memory, const ClutBuffer& clut);

// The pixels of a triangle's bounding box inside the scissor, [px_begin,
// px_end) x [py_begin, py_end), as SetupTriangle finds them.
struct PixelBox {
    s32 px_begin = 0, px_end = 0, py_begin = 0, py_end = 0;
};

// A triangle (v[0], v[1], v[2]) with a non-empty box: queued to the draw
// threads as its vertices, each band setting it up for itself, or set up
// and drawn here.
void RasterizeTriangleVertices(const DrawEnv& env, const Vertex* v, const PixelBox& box, LocalMemory& memory,
                               const ClutBuffer& clut);

void RasterizeLine(const DrawEnv& env, const LineSetup& line, LocalMemory& memory, const ClutBuffer& clut);

// One pixel (px, py), already inside the scissor, with the vertex's attributes.
void RasterizePoint(const DrawEnv& env, s32 px, s32 py, const double* attributes, LocalMemory& memory,
                    const ClutBuffer& clut);

// A texture coordinate S/Q (or T/Q) as 1/16 texel of a texture 2^size_log2
// texels across, rounded down; not-a-number gives 0 and the result stays
// within +-2^20 so that wrapping never overflows.
s32 TexelCoordinate16(double st_over_q, u32 size_log2);

// Counting of the pixels primitives cover (before any test), for replays
// that report a fill rate; off unless asked for.
void CountPixels(bool on);
u64 PixelsCovered();

// Draws through the reference path (on) or the fast paths (off, the
// default).  The reference path is the plain per-pixel pipeline every fast
// path must match byte for byte; tests switch between the two.
void SetReferencePath(bool on);
bool ReferencePath();

}  // namespace console::gs
