// The tail meter (how far the player keeps behind the car he tails) and the
// spook meter (how often the tailed driver has grown suspicious).
#include <algorithm>

#include "game/HUD.h"

#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"

using namespace hudlayout;

namespace hudlayout {
Rect rectSpookIconGrayTI{0, 232, 16, 23};
Rect rectSpookIconWhiteTI{16, 232, 16, 23};
Rect rectSpookIconFlashTI{32, 232, 16, 23};
Rect rectTailMeterTI{128, 0, 16, 128};
}  // namespace hudlayout

namespace {

// A blend with a fixed factor: (source - frame) x alpha + frame, whatever
// the texels' own alpha.
constexpr ALPHA_MODE kFixedBlend = ALPHA_MODE(0 | 1 << 2 | 2 << 4 | 1 << 6);

void SpriteState(Render2D& r)
{
    if (r.texture != &HUDNewTexture())
        r.SetTexture(&HUDNewTexture(), TEXMODE_MODULATE);
    r.prim_reg |= PRIM_TME | PRIM_FST;
    r.SetZTest(ZTEST_ALWAYS);
}

}  // namespace

void MapDisplay::SetSpookValue(int n)
{
    if (n > spookMaxValue)
        return;
    for (int i = std::max(spookLastValue, 0); i < n && i < 5; i++)
        if (rfdiSpookIcon[i].flags == 0) {
            rfdiSpookIcon[i].flags = FDI_RISING;
            rfdiSpookIcon[i].iCount = 1;
            rfdiSpookIcon[i].iFadeTime = world.time;
        }
    spookValue = n;
}

void DispSpookInfo(Render2D& r2d, int iCurrSegments, int iSegments, FadeDispInfo& fdiFade, FadeDispInfo* fdiIcon)
{
    const int t = world.time - fdiFade.iFadeTime;
    float s = 1.0f;
    int alpha = 128;
    if (fdiFade.flags & FDI_FALLING) {
        // The row grows sixfold while it fades.
        if (t < 60) {
            alpha = (60 - t) * 128 / 60;
            s = 1.0f + float(t) * 0.083333336f;
        } else {
            fdiFade.flags = 0;
            alpha = 0;
        }
    }
    if (alpha == 0)
        return;
    SpriteState(r2d);
    const int n = std::min(iSegments, 5);
    const auto meter = [&] {
        r2d.SetAlpha(kFixedBlend, u32(alpha));
        r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
    };
    meter();
    // Scaled about (-81 - 7n, 36) from the right edge.
    const float cx = float(-81 - 7 * n);
    const int w = int(16.0f * s), h = int(24.0f * s);
    const int y = ScreenPoint::MapY(int(36.0f - 12.0f * s), SCRPOS_RIGHT | SCRPOS_TOP);
    for (int i = 0; i < n; i++) {
        const int x = ScreenPoint::MapX(int(cx + (float(7 * n - 14) - 14.0f * float(i)) * s), SCRPOS_RIGHT | SCRPOS_TOP);
        const Rect at{s16(x), s16(y), s16(int(float(w) * rc.ax)), s16(h)};
        DrawHUDSprite(r2d, at, i < iCurrSegments ? rectSpookIconWhiteTI : rectSpookIconGrayTI);
        FadeDispInfo& f = fdiIcon[i];
        if (f.flags == 0)
            continue;
        const int u = world.time - f.iFadeTime;
        int flash = 0;
        if (f.flags & FDI_RISING) {
            if (u < 24) {
                flash = u * 128 / 24;
            } else {
                flash = 128;
                f.flags = FDI_FALLING;
                f.iFadeTime = world.time;
            }
        } else if (u < 24) {
            flash = (24 - u) * 128 / 24;
        } else {
            f.iCount -= 1;
            if (f.iCount != 0) {
                f.flags = FDI_RISING;
                f.iFadeTime = world.time;
            } else {
                f.flags = 0;
            }
        }
        if (flash != 0) {
            r2d.SetAlpha(ALPHA_BLEND);
            r2d.SetColour(Colour(128, 128, 128, u8(std::min(flash, alpha))));
            DrawHUDSprite(r2d, at, rectSpookIconFlashTI);
            meter();
        }
    }
}

void DispTailDistInfo(Render2D& r2d, float fDist, FadeDispInfo& fdiFade, FadeDispInfo& fdiBlink)
{
    const Rect m = srectTailMeter.MapRect();
    const Rect icon = srectEnemyVehicleIcon.MapRect();
    SpriteState(r2d);
    r2d.SetAlpha(ALPHA_BLEND);
    int fade = 128;
    if (fdiFade.flags & FDI_FALLING) {
        const int t = world.time - fdiFade.iFadeTime;
        if (t < 60) {
            fade = (60 - t) * 128 / 60;
        } else {
            fdiFade.flags &= ~FDI_FALLING;
            fade = 0;
        }
    }
    r2d.SetColour(Colour(128, 128, 128, u8(fade)));
    DrawHUDSprite(r2d, m, rectTailMeterTI);
    // The car vanishes at once when the meter starts to go.
    if (fade == 128)
        DrawHUDSprite(r2d, icon, rectCarIconTI);

    const float rr = fDist * 0.71428573f;
    const float p = std::max(0.0f, rr * 0.32f);
    int offset;
    if (rr < 3.125f)
        offset = int(p * 32.0f) + 3;
    else if (rr < 46.875f)
        offset = int((rr - 3.125f) * 0.022857143f * 32.0f) + 35;
    else
        offset = int(std::min(1.0f, (rr - 46.875f) * 0.021333333f) * 46.0f) + 67;
    offset -= 8;

    // Too close: the arrow blinks, faster the closer.
    int blink = 0;
    if (rr >= 3.125f) {
        fdiBlink.flags = 0;
    } else {
        const int rate = int((1.0f - p) * -12.0f + 18.0f);
        if (fdiBlink.flags == 0) {
            fdiBlink.flags = FDI_RISING;
            fdiBlink.iFadeTime = world.time;
            fdiBlink.iRate = rate;
        }
        const int u = world.time - fdiBlink.iFadeTime;
        if (fdiBlink.flags & FDI_RISING) {
            if (u < fdiBlink.iRate) {
                blink = u * 128 / fdiBlink.iRate;
            } else {
                blink = 128;
                fdiBlink.flags = FDI_FALLING;
                fdiBlink.iFadeTime = world.time;
                fdiBlink.iRate = rate;
            }
        } else if (u < fdiBlink.iRate) {
            blink = (fdiBlink.iRate - u) * 128 / fdiBlink.iRate;
        } else {
            fdiBlink.flags = FDI_RISING;
            fdiBlink.iFadeTime = world.time;
            fdiBlink.iRate = rate;
        }
    }
    // The arrow points left at the scale: mirrored, its right edge 23 right
    // of the meter's left.
    const Rect arrow{s16(m.x + 13), s16(m.y + offset), 10, 19};
    DrawHUDSprite(r2d, arrow, Rect{s16(rectDistArrowTI.x + 10), rectDistArrowTI.y, -10, 19});
    if (blink != 0) {
        r2d.SetColour(Colour(128, 128, 128, u8(std::min(blink, fade))));
        DrawHUDSprite(r2d, arrow, Rect{s16(rectDistFlashTI.x + 10), rectDistFlashTI.y, -10, 19});
    }
}

void MapDisplay::DrawTail(Render2D& r)
{
    Object* root = rcoMain.p != nullptr ? rcoMain->GetRoot() : nullptr;
    const bool inCar = root != nullptr && root->type == OBJT_VEHICLE;
    const float dist = g_pgcTest != nullptr ? g_pgcTest->fTargDist : 0.0f;
    if (((flags & HUDF_TAIL) && inCar) || tailDrawn) {
        if (flags & HUDF_TAIL) {
            fdiTail.flags = FDI_STEADY;
        } else {
            if (fdiTail.flags == FDI_STEADY) {
                fdiTail.flags = FDI_FALLING;
                fdiTail.iFadeTime = world.time;
            }
            if (!(fdiSpook.flags & FDI_FALLING)) {
                fdiSpook.flags = FDI_FALLING;
                fdiSpook.iFadeTime = world.time;
            }
        }
        DispTailDistInfo(r, dist, fdiTail, fdiTailBlink);
        DispSpookInfo(r, spookLastValue, spookMaxValue, fdiSpook, rfdiSpookIcon);
        // The icons lit so far: up to the first still flashing in.
        const int from = spookLastValue;
        for (int i = from; i < spookValue && i < 5; i++)
            if (rfdiSpookIcon[i].flags != FDI_RISING)
                spookLastValue = i + 1;
        const int last = std::clamp(spookMaxValue, 1, 5) - 1;
        if (spookLastValue >= spookMaxValue && rfdiSpookIcon[last].flags == 0) {
            if (fdiSpook.flags == 0) {
                for (int i = 0; i <= last; i++)
                    rfdiSpookIcon[i] = FadeDispInfo{FDI_RISING, world.time, 0, 3};
                fdiSpook.flags = FDI_STEADY;
            } else if (fdiSpook.flags == FDI_STEADY) {
                fdiSpook.flags = FDI_FALLING;
                fdiSpook.iFadeTime = world.time;
            }
        }
        tailDrawn = (flags & HUDF_TAIL) || fdiTail.flags != 0 || fdiSpook.flags != 0;
    } else if (Enemy* fighter = (flags & HUDF_PLAYER) ? FighterTarget() : nullptr) {
        DrawCombat(r, fighter);
        tailDrawn = false;
    } else if (flags & HUDF_TAIL) {
        // On foot.
        DispTailDistInfo(r, dist, fdiTail, fdiTailBlink);
        DispSpookInfo(r, 3, 5, fdiSpook, rfdiSpookIcon);
        tailDrawn = (flags & HUDF_TAIL) || fdiTail.flags != 0;
    } else {
        tailDrawn = false;
    }
}
