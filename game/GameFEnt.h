// The game flow's two screen overlays: the full-screen fade and the cinema
// bars.  Both are raw objects on the world's post-draw list, drawn after the
// scene, and take themselves off it when they are done.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"

enum FadeMode {
    FADE_MODE_OFF,
    FADE_MODE_FADE,
    FADE_MODE_FLASH,
};

class FadeScreen : public RawObj
{
public:
    FadeScreen();

    // Starts a fade of time frames from alpha fromAlpha to toAlpha (0..128,
    // 128 opaque) in colour, reaching it 4 frames before the time runs out;
    // with hold the last alpha stays on screen until Disable.
    void Enable(u16 time, Colour colour, u16 fromAlpha, u16 toAlpha, bool hold);
    // Off the post-draw list at once; the fields keep their values.
    void Disable();

    static int mh(RawObj* ro, RAWOBJMESSAGE msg, void* rc, void* ticks, void*);
    // One draw after n ticks: the alpha step and the rectangle.
    void Draw(int n);

    FadeMode mode;
    ALPHA_MODE alpha;
    Colour colFade;
    float f16DeltaAlpha;
    float f16LastAlpha;
    u16 u16DeltaTime;
    bool bHold;
};

class LetterBox : public RawObj
{
public:
    LetterBox();

    static int mh(RawObj* ro, RAWOBJMESSAGE msg, void* rc, void* ticks, void*);
    // One draw: a pixel more (slide in) or less (slide out) of each bar.
    void Draw();

    int iMode;     // 0 hold, 1 slide in, 2 slide out
    int iOffset;   // bar height in pixels
};

// The full-screen rectangle the overlays draw, over everything; separate so
// a test can watch what is drawn.
void DrawScreenRect(int x0, int y0, int x1, int y1, Colour c, ALPHA_MODE alpha);
