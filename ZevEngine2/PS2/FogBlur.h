// Full-screen effects drawn with 2-D primitives after the opaque world, all
// working inside GS memory without reading pixels back:
// - `Fog`: depth fog.  A 256-entry palette maps a depth byte to a fog alpha;
//   the Z buffer is rewritten so that the top byte of each word holds bits
//   8-15 of its depth (Render2D::MakeZAlpha), read as an 8-bit texture through
//   the palette and blended over the frame.
// - `Blur`: depth blur.  The frame is box-filtered to half size and blended
//   back over the far part of the scene.
// - `MotionBlur`: the frame redrawn over itself from a slightly smaller
//   centred rectangle with a fixed opacity.
// - `DoLensFlare`: a light's visibility measured on the GS (a depth test into
//   the frame's alpha, averaged down by half-size copies) and written into the
//   alpha of the flare texture's palette; then the flare quads along the line
//   from the screen centre through the light.
//
// The three effect objects are the globals gFog, gBlur and gMotionBlur.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"

class Fog
{
public:
    Texture texClut;            // 16 x 16 32-bit image whose pixels are clut
    alignas(16) Colour clut[256];   // the fog palette, in GS palette order
    Colour fogcolour;           // RGB of the fog; alpha of the last entry made
    float fog_start, fog_end;   // view distances where the fog starts and is full
    float fog_max;              // fog amount at fog_end (1 = opaque)

    Fog();

    // Stores the four values (the palette is made by MakePalette).
    void SetUp(Colour colour, float start, float end, float max);
    // Builds the palette for rc's depth mapping and installs the vertex fog
    // values in rc.  The GS copy of the palette is sent again at the next Draw.
    void MakePalette(RenderContext& rc);
    // The fog pass over the frame being drawn (drawing context 1); `draw`
    // gives only the size.  The Z buffer keeps its depths (its top byte, which
    // depth tests ignore, is overwritten).
    void Draw(Surface& draw, Surface& zbuf);
    // The nearest and farthest view distances the palette tells apart
    // (palette index 255 and 0).
    float NearLimit(RenderContext* rc);
    float FarLimit(RenderContext* rc);
};
static_assert(sizeof(Colour) * 256 == 64 * 16, "the palette is sent as 64 quadwords");

class Blur
{
public:
    float level;          // opacity of the blurred copy x 64 (1.5: 96 / 128)
    float blurdepthctr;   // kept for the tables that set them; not used
    float blurradius;
    float blurlevel;

    Blur() : level(1.5f), blurdepthctr(2.0f), blurradius(2.0f), blurlevel(1.0f) {}

    // Blends a half-size bilinear copy of s (the draw buffer) over the pixels
    // of the frame whose depth is 0x18000 or less (the far scene).
    void Draw(RenderContext& rc, Surface& s);
};

class MotionBlur
{
public:
    float level;       // opacity 0 .. 1 of the redrawn frame
    float scale;       // how much smaller the source rectangle is (per side)
    int reset_count;   // frames still to skip

    MotionBlur() : level(0.0f), scale(0.0f), reset_count(0) {}

    // Redraws s (the draw buffer) over the frame; skips the frame while
    // reset_count is counting down, and draws nothing below opacity 4 / 128.
    void Draw(Surface& s);
};

// One quad of a lens flare.
struct LensFlarePart
{
    s16 u0, v0, u1, v1;   // texel rectangle in the flare texture
    float xsize, ysize;   // half extents in pixels
    float offset;         // along the centre-to-light line: 0 centre, 1 the light
    float opacity;        // multiplies the colour's alpha
    int rotate;           // boolean: turn the quad's x axis along that line
};
static_assert(sizeof(LensFlarePart) == 28, "flare tables are laid out as 28-byte records");

extern Fog gFog;
extern Blur gBlur;
extern MotionBlur gMotionBlur;

// The near plane for which Fog::NearLimit is d.
float OptimalNearZForFog(RenderContext* rc, float d);

// One light's flare, drawn through the open r2d into drawBuff (drawing
// context 1 targets it).  pos is the light in world space, col the flare
// colour, fudgez the depth bias of the visibility test, texture a palette
// texture with a 256-entry palette whose alpha receives the visibility.  The
// alpha of drawBuff's top-left 14 x 8 pixels and of the 16 x 16 box around
// the light is used as scratch.  r2d keeps the flare texture, additive
// blending and the visibility test's test register afterwards.
void DoLensFlare(Render2D& r2d, RenderContext& rc, Surface& drawBuff, VectorPos pos, Colour col, int fudgez,
                 Surface& texture, const LensFlarePart* lfp, int nlfp);
