// Full-frame effects drawn over the finished picture.
//
// MotionBlurSmoothBrighten softens and brightens the whole frame: it shrinks
// the picture to half size with a 2 x 2 box blur and to quarter size,
// enlarges and accumulates these into a full-size image and lays that over
// the frame with the strength `level`.  The interface sets the strength to
// blur the picture behind its menus; the main loop draws it once per frame,
// after the post-draw list.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"

class MotionBlurSmoothBrighten
{
public:
    float level = 0.0f;   // 0 .. 1; below 3/128 nothing is drawn

    // Clamps level into 0 .. 1 and draws the passes over the frame being
    // drawn.  HQ asks for 32-bit temporary images (granted only while the
    // interface keeps nothing in graphics memory).  Without graphics memory
    // for the two temporary images the frame is left as it is.
    void Draw(bool HQ);
    // The same over a given picture (the frame being drawn for Draw).
    void DrawOver(Surface& picture, bool HQ);
};

extern MotionBlurSmoothBrighten gMotionBlurSmoothBrighten;

// Whether the user interface holds graphics memory (a saved frame or the
// loading picture); the blur then keeps to its smaller images.
bool UIUsesVRAM();

// ---------------------------------------------------------------- glows

#include "ZevEngine2/List.h"
#include "ZevEngine2/PS2/FogBlur.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"

// One lit lamp's glow for the frame it was seen in: an additive sprite over
// the lamp, a flare when the lamp is near, and a stretched reflection in the
// wet ground below.  Lamps own their Glow and link it into gGlows.
class Glow : public ELink<Glow>
{
public:
    Vector v0;   // x, y, z: the lamp; w: its Colour word
    Vector v1;   // x, y, z: the ground's normal below the lamp; w: its height above that ground

    // Places the glow at pos with colour col over the ground found below.
    void Set(VectorPos pos, Colour col);
    // The sprite, and the flare when the lamp is within 15.625.
    void DrawReal(RenderContext& rc, Render2D& r2d);
    // The reflection (the lamp mirrored in its ground), within 31.25.
    void DrawRefl(RenderContext& rc, Render2D& r2d, VectorXY scale);

    VectorPos Position() const { return VectorPos(v0[0], v0[1], v0[2]); }
    Colour GetColour() const;
};

class Glows : public EList<Glow>
{
public:
    VectorXY refl_scale;   // the reflection's width and height factors

    Glows();
    // Forgets this frame's glows; the lamps own them, so nothing is freed.
    void Clear() { InitList(); }
    void DrawReal(RenderContext& rc);
    void DrawRefl(RenderContext& rc);
};

extern Glows gGlows;

// The flare parts of a street lamp.
constexpr int NLAMPFLAREPARTS = 3;
extern const LensFlarePart lfpLamp[NLAMPFLAREPARTS];

// A lamp's lens flare (vehicle lights use it directly).
void LampLensFlare(RenderContext& rc, Render2D& r2d, VectorPos pos, Colour col);

// The glow sprite's picture, carried in the program.
extern Texture& glow;
