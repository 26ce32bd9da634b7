// Stencil shadows.  Characters and vehicles cast shadows as shadow volumes:
// the shadow models of an object's hierarchy are extruded away from the light
// on vector unit 1 (overlay mc2ExtrudeEE) down to a ground plane, and the
// volumes are drawn into an off-screen 16-bit "stencil" colour buffer against
// a copy of the scene's depth; the finished buffer then darkens the frame
// towards a shadow colour.
//
// A StencilShadows lives for one shadow pass of a frame, after the opaque
// scene: constructed, then one or more InitRender / Extrude... / ExitRender
// sequences, then destroyed.
//
// How the counting works.  InitRender clears the stencil to 120 in each
// channel (15 in its 5-bit channels); the volumes' faces are drawn with
// additive blending and colours that wrap, adding 8 (one step) or 248 (one
// step back), and the depth test GEQUAL against zbuf2.  With a separate zbuf2
// the scene's depth is copied into it reversed (FlipZBuffer) and the volumes'
// depth is reversed too (the stencil's viewport negates depth), so the test
// passes where a face lies behind the scene: faces turned away from the eye
// count in, faces turned towards it count out, and a pixel ends at 128 or
// more exactly when its scene point lies inside a volume, wherever the camera
// is.  When the stencil is as wide as the Z buffer, zbuf2 is the scene's own
// depth buffer, which cannot be reversed in place; the depth is then compared
// the plain way and faces turned towards the eye count in.  ExitRender keeps
// each channel's top bit only and blends the pixels that have one towards the
// shadow colour.
//
// The scene's depth is left exactly as it was: nothing writes depth while
// the volumes are drawn.  A separate zbuf2 that is a whole multiple of zbuf's
// size takes the depth over (FlipZBuffer clears zbuf) and gives it back
// unchanged when the pass is destroyed; a smaller one only receives a copy,
// since a copy back from it would blur the scene's depth for what is drawn
// after the pass.  The frame's alpha is kept too.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

class RenderContext;
class Object;
struct MODEL;

// Z buffer format of zbuf2: 24-bit Z, point sampled.
constexpr int STENCIL_ZFORMAT = PSMZ24 | TEXF_POINT;
// The stencil's 16-bit colour format.
constexpr int STENCIL_FORMAT = PSMCT16S;
// The stencil's clear value in each colour channel; 128 and above is shadow.
constexpr int STENCIL_CLEAR = 120;

class StencilShadows
{
public:
    RenderContext& rc;
    Surface& draw;      // the frame's draw buffer
    Surface& zbuf;      // the scene's Z buffer
    Surface zbuf2;      // the depth the volumes are tested against
    Surface stencil;    // accumulates the volumes
    bool inplace;       // zbuf2 is zbuf itself

    // Loads the extrusion overlay, places zbuf2 (unless the stencil is as
    // wide as zbuf) and the stencil through the texture manager, copies the
    // depth across reversed (resized to the stencil; zbuf cleared when the
    // copy can come back exactly) and sets the stencil's viewport (depth
    // negated with a separate zbuf2).  When either surface cannot be placed
    // the pass draws nothing at all.
    StencilShadows(RenderContext& _rc, Surface& _draw, Surface& _zbuf, int stencilwidth, int stencilheight);
    // Copies the depth back when the constructor took it over, releases the
    // surfaces and restores the frame's drawing state (draw and zbuf in
    // context 1, dithering) and rc's viewport.
    ~StencilShadows();

    StencilShadows(const StencilShadows&) = delete;
    StencilShadows& operator=(const StencilShadows&) = delete;

    // Clears the stencil and sets the GS up for the volumes.
    void InitRender();
    // Darkens the pixels inside volumes towards colour (by its alpha) and
    // points drawing back at the frame.
    void ExitRender(Colour colour);

    // The volume of model placed by mat, for a light travelling along `light`
    // (world space) onto `plane` (world space, n.p + d > 0 above it).
    void Extrude(const MODEL* model, const Matrix& mat, const Vector& light, const Plane& plane);
    // obj and its later siblings placed under mat, and their children: every
    // node with a shadow model in a file with a shadow table.
    void Extrude(const Object* obj, const Matrix& mat, const Vector& light, const Plane& plane);
    // obj at its world matrix, and its children.
    void Extrude(const Object* obj, const Vector& light, const Plane& plane);

    // True when both surfaces were placed and the pass draws.
    bool Active() const;
};

// Writes the extrusion materials of model into the frame's chain after an
// open block holding its object matrix: one command block per change of
// vertex format (or of two-sidedness), each material's vertex data by
// reference.
void Extrude(const MODEL* model, const Vector& light, const Plane& plane);

// Moves the depth in zbuf into zbuf2 reversed (0xFFFFFF - Z, exactly) and
// clears zbuf to 0xFFFFFF; nothing when both are the same buffer.  Running it
// again the other way round brings the depth back unchanged.  Leaves context
// 1 drawing into the platform's draw buffer with zbuf2 as its depth.
void FlipZBuffer(RenderContext& rc, Surface& zbuf, Surface& zbuf2);

// The world-space box in which shadow casters are looked for: the camera,
// the cross-section of the view at depth dist, and both moved by shadlen
// along the light either way, enlarged by 10 on every side.
Cuboid ShadowExtent(RenderContext& rc, VectorDir light, float dist, float shadlen);
