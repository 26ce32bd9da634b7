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
// loading picture).  The interface provides the answer once it exists; until
// then this says no, and says so once.
bool UIUsesVRAM();
