// The fist fight's meters: the knockdown row under the fighter's strength
// (one segment for each knockdown still to come) and the finishing row at
// the bottom of the screen (the moves of the combination that finishes him,
// joined by a streak as they match, popping when it is complete).
#include <algorithm>

#include "game/HUD.h"

#include "game/BadGuy.h"
#include "game/Player.h"
#include "game/QuadTree.h"

using namespace hudlayout;

namespace hudlayout {
Rect rectKnockdownMeterWhiteTI{64, 232, 12, 18};
Rect rectKnockdownMeterGrayTI{48, 232, 12, 18};
Rect rectKnockdownMeterFlashTI{80, 232, 12, 18};
Rect rectKickTI{0, 0, 32, 32};
Rect rectPunchTI{0, 32, 32, 32};
Rect rectHighTI{0, 64, 32, 32};
Rect rectKickFlashTI{0, 96, 32, 32};
Rect rectPunchFlashTI{0, 128, 32, 32};
Rect rectHighFlashTI{0, 160, 32, 32};
Rect rectStreakTI{0, 192, 32, 32};
Rect rectStreakRightTI{0, 224, 32, 32};
Rect rectStreakLeftTI{31, 224, -32, 32};
}  // namespace hudlayout

namespace {

// Knockdown meter phases: shown, blinking (rising 1 / falling 2 with it),
// popping; exactly 2 is the fade-out.
constexpr u32 KD_BLINK = 8, KD_POP = 16;

// Finishing icon phases.
constexpr u32 FI_FADEOUT = 2, FI_SHOWN = 4, FI_WAIT = 0x20, FI_FLASHUP = 0x40, FI_FLASHDOWN = 0x80,
              FI_REMOVED = 0x100;
// The finishing row: shown, fading out, popping.  The streak: growing, complete.
constexpr u32 FR_SHOWN = 4, FR_FADEOUT = 2, FR_POP = 16, FS_GROWING = 0x40, FS_DONE = 4;

// The player's finishing moves while he is finishing.
constexpr u16 kFinishingFirst = 174, kFinishingLast = 182;
constexpr u32 kWindowClosed = 0x7FFFFFFF;

}  // namespace

void DispKnockdownMeter(Render2D& r2d, int iCurrSegments, int iSegments, FadeDispInfo& fdiFade, FadeDispInfo* fdiIcon)
{
    const int t = world.time - fdiFade.iFadeTime;
    float s = 1.0f;
    int alpha;
    if (fdiFade.flags == FDI_FALLING) {
        if (t < 60) {
            alpha = (60 - t) * 128 / 60;
        } else {
            fdiFade.flags = 0;
            alpha = 0;
        }
    } else if (fdiFade.flags == KD_POP) {
        // The row grows sixfold while it fades.
        if (t < 30) {
            alpha = (30 - t) * 128 / 30;
            s = 1.0f + float(t) * 0.16666667f;
        } else {
            s = 6.0f;
            fdiFade.flags = 0;
            alpha = 0;
        }
    } else {
        alpha = int((fdiFade.flags * 4) & 128);
    }
    if (alpha == 0)
        return;
    SetHUDSpriteState(r2d, HUDNewTexture(), alpha);

    int blink = 0;
    if (fdiFade.flags & KD_BLINK) {
        if (fdiFade.flags & FDI_RISING) {
            if (t < 12) {
                blink = t * 128 / 12;
            } else {
                blink = 128;
                fdiFade.flags = (fdiFade.flags & ~FDI_RISING) | FDI_FALLING;
                fdiFade.iFadeTime = world.time;
            }
        } else if (fdiFade.flags & FDI_FALLING) {
            if (t < 12) {
                blink = (12 - t) * 128 / 12;
            } else {
                fdiFade.flags = (fdiFade.flags & ~FDI_FALLING) | FDI_RISING;
                fdiFade.iFadeTime = world.time;
            }
        }
    }

    // The first segment stays at -92 from the right whatever the count at
    // full size; the row extends to the left and grows about its middle.
    const int n = std::clamp(iSegments, 0, 5);
    const int x0 = int(float((2 - n) * 4 - 92 - int(4.0f * float(n) * s)) + float(n - 1) * 8.0f * s);
    const int pitch = int(8.0f * s);
    for (int i = 0; i < n; i++) {
        const Rect R = ScreenRect{x0 - pitch * i, 41 - int(9.0f * s), int(12.0f * s), int(18.0f * s),
                                  SCRPOS_RIGHT | SCRPOS_TOP}
                           .MapRect();
        if (i < iCurrSegments) {
            DrawHUDSprite(r2d, R, rectKnockdownMeterWhiteTI);
            fdiIcon[i].flags = FDI_RISING;
            fdiIcon[i].iFadeTime = world.time;
        } else if (fdiIcon[i].flags & (FDI_RISING | FDI_FALLING)) {
            // The segment that went out last flashes from lit to dark.
            FlashSprite(r2d, 7.0f, R, rectKnockdownMeterWhiteTI, rectKnockdownMeterGrayTI, rectKnockdownMeterFlashTI,
                        fdiIcon[i]);
            r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
        } else {
            DrawHUDSprite(r2d, R, rectKnockdownMeterGrayTI);
        }
        if (blink != 0) {
            r2d.SetColour(Colour(128, 128, 128, u8(blink)));
            DrawHUDSprite(r2d, R, rectKnockdownMeterFlashTI);
            r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
        }
    }
}

void DrawFinishingIcon(Render2D& r2d, unsigned int iconType, const Rect& drect, int alpha, int flashAlpha)
{
    const Rect* icon = nullptr;
    const Rect* flash = nullptr;
    switch (iconType) {
    case 1: icon = &rectPunchTI, flash = &rectPunchFlashTI; break;
    case 2: icon = &rectKickTI, flash = &rectKickFlashTI; break;
    case 4: icon = &rectHighTI, flash = &rectHighFlashTI; break;
    default: return;
    }
    r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
    DrawHUDSprite(r2d, drect, *icon);
    if (flashAlpha != 0) {
        r2d.SetColour(Colour(128, 128, 128, u8(flashAlpha)));
        DrawHUDSprite(r2d, drect, *flash);
    }
}

void DispFinishingAttackInfo(Render2D& r2d, int count, FadeDispInfo& fdiFade, FadeDispInfo* fdiIcon,
                             FadeDispInfo& fdiStreak)
{
    count = std::clamp(count, 0, 8);
    SetHUDSpriteState(r2d, IconsCombatTexture(), 128);
    if (fdiFade.flags == 0)
        fdiFade.flags = FR_SHOWN;
    const int t = world.time - fdiFade.iFadeTime;
    float s = 1.0f;
    int a = 128;
    if (fdiFade.flags & FR_FADEOUT) {
        if (t < 30) {
            a = (30 - t) * 128 / 30;
        } else {
            fdiFade.flags = 0;
            for (int i = 0; i < 8; i++)
                fdiIcon[i].flags = 0;
            return;
        }
    } else if (fdiFade.flags & FR_POP) {
        if (t < 15) {
            a = (15 - t) * 128 / 15;
            s = 1.0f + float(t) * 0.33333334f;
        } else {
            fdiFade.flags = 0;
            for (int i = 0; i < 8; i++)
                fdiIcon[i].flags = 0;
            fdiStreak.flags = 0;
            return;
        }
    }

    // The row is centred on the bottom centre, its middle 56 up; a pop grows
    // it about the middle of the streak.
    const float c = float(-16 * count + 32 * fdiStreak.iRate + 16 * fdiStreak.iCount);
    const int size = int(32.0f * s);
    const int top = int(-56.0f - 16.0f * s);
    auto place = [&](int i) {
        const int x = int(c + (float(-16 * count + 32 * i) - c) * s);
        return ScreenRect{x, top, size, size, SCRPOS_BOTTOM | SCRPOS_CENTERW}.MapRect();
    };

    for (int i = 0; i < count; i++) {
        FadeDispInfo& f = fdiIcon[i];
        if (f.flags & FI_REMOVED)
            continue;
        const int u = world.time - f.iFadeTime;
        int flash = 0;
        if (f.flags & FI_FLASHUP) {
            if (u < 15) {
                flash = u * 128 / 15;
            } else {
                flash = 128;
                f.flags = (f.flags & ~FI_FLASHUP) | FI_FLASHDOWN | FI_SHOWN;
                f.iFadeTime = world.time;
            }
        } else if (f.flags & FI_FLASHDOWN) {
            if (u < 15)
                flash = (15 - u) * 128 / 15;
            else
                f.flags &= ~FI_FLASHDOWN;
        }
        int alpha = 0;
        if (f.flags & FI_FADEOUT) {
            if (u < 15) {
                alpha = (15 - u) * 128 / 15;
            } else {
                f.flags = (f.flags & ~FI_SHOWN) | FI_REMOVED;
            }
        } else if (f.flags & FI_SHOWN) {
            alpha = 128;
        } else if (f.flags & FI_WAIT) {
            alpha = 128;
            if (u >= 15) {
                f.flags = FI_FLASHUP | FI_SHOWN;
                f.iFadeTime = world.time;
            }
        }
        DrawFinishingIcon(r2d, unsigned(f.iRate), place(i), std::min(alpha, a), std::min(flash, a));
    }

    if (fdiStreak.flags != 0) {
        int sa = 128;
        if (fdiStreak.flags & FS_GROWING) {
            const int u = world.time - fdiStreak.iFadeTime;
            if (u < 30) {
                sa = u * 128 / 30;
            } else {
                fdiStreak.flags = FS_DONE;
                fdiFade.flags = FR_POP;
                fdiFade.iFadeTime = world.time;
            }
        }
        r2d.SetColour(Colour(128, 128, 128, u8(std::min(sa, a))));
        const int first = fdiStreak.iRate;
        DrawHUDSprite(r2d, place(first - 1), rectStreakLeftTI);
        for (int k = 0; k < fdiStreak.iCount; k++)
            DrawHUDSprite(r2d, place(first + k), rectStreakTI);
        DrawHUDSprite(r2d, place(first + fdiStreak.iCount), rectStreakRightTI);
    }
}

// The player's fighter target, or null.
Enemy* MapDisplay::FighterTarget() const
{
    if (dace == nullptr || rcoMain.p != dace)
        return nullptr;
    Object* t = dace->target.p;
    if (t == nullptr || t->type != OBJT_CHARACTER || t->messagehandler != &Enemy::FighterEnemy_mh)
        return nullptr;
    return static_cast<Enemy*>(t);
}

void MapDisplay::DrawCombat(Render2D& r, Enemy* fighter)
{
    // The fighter answers with the hits he still takes before he is dazed
    // and the hits that daze him when fresh.
    auto ask = [fighter](u32 what) {
        SpecialMessage q(what, nullptr);
        return fighter->messagehandler(fighter, OM_SPECIAL, &q);
    };
    const int v = ask(SMSG_Q_HUD_STRENGTH), m = ask(SMSG_Q_HUD_STRENGTH_MAX);
    if (v == 0) {
        if (!(fdiKDFade.flags & KD_BLINK)) {
            fdiKDFade.flags = FDI_STEADY | KD_BLINK | FDI_RISING;
            fdiKDFade.iFadeTime = world.time;
        }
    } else if (v < m) {
        fdiKDFade.flags = FDI_STEADY;
    } else if (fdiKDFade.flags == FDI_STEADY) {
        fdiKDFade.flags = FDI_FALLING;
        fdiKDFade.iFadeTime = world.time;
    }
    DispKnockdownMeter(r, v, m - 1, fdiKDFade, rfdiKDIcon);

    const Dace& p = *dace;
    int count = 0;
    for (int i = 0; i < 8; i++)
        if (p.finishingbuffer[i] != DaceAnim::ATTACK_NONE)
            count = i + 1;
    const bool open = p.finishingstartcount != kWindowClosed;
    const bool finishing = p.mode2 >= kFinishingFirst && p.mode2 <= kFinishingLast;
    if (open && !finishing) {
        for (int i = 0; i < count; i++)
            if (rfdiFinishingIcon[i].flags == 0) {
                rfdiFinishingIcon[i].flags = FI_FLASHUP;
                rfdiFinishingIcon[i].iFadeTime = world.time;
                rfdiFinishingIcon[i].iRate = s32(p.finishingbuffer[i]);
            }
        if (count != 0)
            DispFinishingAttackInfo(r, count, fdiFinishing, rfdiFinishingIcon, fdiStreak);
    } else if (finishing && fdiFinishing.flags != 0) {
        if (fdiStreak.flags == 0) {
            const int from = p.finishingbuffermatchindex, to = from + p.finishingbuffermatchlen;
            for (int i = 0; i < count; i++) {
                FadeDispInfo& f = rfdiFinishingIcon[i];
                if (i >= from && i < to) {
                    if (f.flags != FI_WAIT) {
                        f.flags = FI_WAIT;
                        f.iFadeTime = world.time;
                    }
                } else if (!(f.flags & (FI_FADEOUT | FI_REMOVED))) {
                    f.flags = FI_FADEOUT;
                    f.iFadeTime = world.time;
                }
            }
            fdiStreak = FadeDispInfo{FS_GROWING, world.time, from, p.finishingbuffermatchlen};
        }
        DispFinishingAttackInfo(r, count, fdiFinishing, rfdiFinishingIcon, fdiStreak);
    } else if (!open && !finishing && fdiFinishing.flags != 0) {
        count = 0;
        for (int i = 0; i < 8; i++)
            if (rfdiFinishingIcon[i].flags != 0)
                count = i + 1;
        if (fdiFinishing.flags == FR_SHOWN) {
            fdiFinishing.flags = FR_FADEOUT;
            fdiFinishing.iFadeTime = world.time;
        }
        DispFinishingAttackInfo(r, count, fdiFinishing, rfdiFinishingIcon, fdiStreak);
    }
}
