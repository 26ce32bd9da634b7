// The fade and the cinema bars.
#include "game/GameFEnt.h"

#include <algorithm>
#include <type_traits>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "game/QuadTree.h"

namespace {
constexpr u32 kTopZ = 0xFFFFFF;
constexpr int kBarHeight = 50;
}  // namespace

void DrawScreenRect(int x0, int y0, int x1, int y1, Colour c, ALPHA_MODE alpha)
{
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetTextureOff();
    if (alpha != ALPHA_NONE)
        r2d.SetAlpha(alpha);
    else
        r2d.prim_reg &= ~PRIM_ABE;
    r2d.DrawRect(PixelX(float(x0)).v, PixelY(float(y0)).v, PixelX(float(x1)).v, PixelY(float(y1)).v, c, kTopZ);
    r2d.Close(therenderer);
}

FadeScreen::FadeScreen()
    : RawObj(mh), mode(FADE_MODE_OFF), alpha(ALPHA_NONE), colFade(0, 0, 0, 0), f16DeltaAlpha(0.0f),
      f16LastAlpha(0.0f), u16DeltaTime(0), bHold(false)
{
}

void FadeScreen::Enable(u16 time, Colour colour, u16 fromAlpha, u16 toAlpha, bool hold)
{
    world.RemovePostRawObj(this);
    colFade = colour;
    bHold = hold;
    u16DeltaTime = time;
    f16LastAlpha = float(fromAlpha);
    mode = FADE_MODE_FADE;
    alpha = ALPHA_BLEND;
    f16DeltaAlpha = float(int(toAlpha) - int(fromAlpha)) / float(std::max(int(time) - 4, 1));
    world.AddPostRawObj(this, true);
}

void FadeScreen::Disable()
{
    world.RemovePostRawObj(this);
}

int FadeScreen::mh(RawObj* ro, RAWOBJMESSAGE msg, void*, void*, void* ticks)
{
    if (msg == ROM_DRAW)
        static_cast<FadeScreen*>(ro)->Draw(int(reinterpret_cast<intptr_t>(ticks)));
    return 0;
}

void FadeScreen::Draw(int n)
{
    // A fade of no time takes its one step on its first draw, as a fade of
    // one frame does: its step is the whole difference.
    const int elapsed = std::min(std::max(int(u16DeltaTime), 1), std::max(n, 0));
    const float a = std::clamp(f16LastAlpha + f16DeltaAlpha * float(elapsed), 0.0f, 128.0f);
    f16LastAlpha = a;
    colFade.a = u8(a);
    DrawScreenRect(0, 0, Platform::GetWidth(), Platform::GetHeight(), colFade, alpha);
    u16DeltaTime = u16(std::max(int(u16DeltaTime) - elapsed, 0));
    if (u16DeltaTime == 0 && !bHold) {
        mode = FADE_MODE_OFF;
        world.RemovePostRawObj(this);
    }
}

LetterBox::LetterBox() : RawObj(mh), iMode(0), iOffset(0) {}

int LetterBox::mh(RawObj* ro, RAWOBJMESSAGE msg, void*, void*, void*)
{
    if (msg == ROM_DRAW)
        static_cast<LetterBox*>(ro)->Draw();
    return 0;
}

void LetterBox::Draw()
{
    int h = kBarHeight;
    if (iMode == 1) {
        iOffset += 1;
        if (iOffset >= kBarHeight)
            iMode = 0;
        else
            h = iOffset;
    } else if (iMode == 2) {
        iOffset -= 1;
        if (iOffset < 1) {
            world.RemovePostRawObj(this);
            return;
        }
        h = iOffset;
    } else if (iMode == 0) {
        h = iOffset;
    }
    const int w = Platform::GetWidth(), sh = Platform::GetHeight();
    DrawScreenRect(0, 0, w, h, Colour(0, 0, 0, 128), ALPHA_NONE);
    DrawScreenRect(0, sh - h, w, sh, Colour(0, 0, 0, 128), ALPHA_NONE);
}

