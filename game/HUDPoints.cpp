// The points counter: score pop-ups flying from where they were earned to
// the counter, the counter itself and the badge earned for every 100 points.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "game/HUD.h"

#include "ZevEngine2/PS2/Bezier.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"

using namespace hudlayout;

namespace hudlayout {
Rect rectShieldTI{128, 168, 32, 35};
Rect rectShieldFlashTI{128, 208, 32, 35};
}  // namespace hudlayout

HUD_Points hudPoints;

namespace {

// Badge record bits: 8 flashing in place, 4 flying, 2 the counter squashed.
constexpr u32 BADGE_SQUASH = 2, BADGE_FLY = 4, BADGE_FLASH = 8;

void PrintAt(Render2D& r, Font& f, float x, float y, float sx, float sy, const char* text, Colour c)
{
    r.SetColour(c);
    HUDPrint(r, f, x, y, sx, sy, text);
}

// The badge centred on a point of its flight, at a fraction of its size.
void FlyingBadge(Render2D& r, const Vector& at, const Rect& S, float size, int a)
{
    const float w = float(S.w) * size, h = float(S.h) * size;
    const Rect d{s16(int(at[0] - w / 2.0f)), s16(int(at[1] - h / 2.0f)), s16(int(w)), s16(int(h))};
    r.SetAlpha(ALPHA_BLEND);
    r.SetColour(Colour(128, 128, 128, u8(a)));
    DrawHUDSprite(r, d, rectShieldTI);
}

}  // namespace

void MapDisplay::InitPoints(int pnts, int shlds)
{
    hudPoints.nPoints = pnts;
    hudPoints.nShields = shlds;
}

void MapDisplay::AddPoints(int val, const VectorPos& pos)
{
    if (hudPoints.nNewPoints >= 20)
        return;
    HUD_Points::Points& e = hudPoints.newPoints[hudPoints.nNewPoints];
    e.startTime = world.time;
    // A little above the place (y points down), on the screen.
    const Vector s = rc.world_screen * Vector(pos[0], pos[1] - 0.3125f, pos[2], 1.0f);
    const float w = s[3] != 0.0f ? s[3] : 1.0f;
    e.scrPos = VectorXY(s[0] / w - 2048.0f, s[1] / w - 2048.0f);
    e.scrPos[2] = s[2] / w;
    e.scrPos[3] = s[3];
    e.points = val;
    hudPoints.nNewPoints++;
}

void MapDisplay::DrawPoints(Render2D& r)
{
    HUD_Points& hp = hudPoints;
    const int now = world.time;
    if (!near247 && hp.fdiPoints.flags == 0 && hp.nNewPoints == 0) {
        hp.prevTime = now;
        return;
    }
    if (g_pfontHelveticaB == nullptr) {
        hp.prevTime = now;
        return;
    }
    Font& font = *g_pfontHelveticaB;
    int px, py;
    spntPoints.MapPoint(px, py);
    const int h = font.Height();
    const float cx = float(px), cy = float(py + h / 2);
    const Rect S = srectShield.MapRect();
    const Vector sCentre(float(S.x + S.w / 2), float(S.y + S.h / 2), 0.0f, 1.0f);

    // 1. The display's fade: in over 12 frames, held while points come or a
    // 24/7 place is near, out over 60 frames after 601 without.
    FadeDispInfo& fd = hp.fdiPoints;
    if (fd.flags == 0) {
        fd.flags = FDI_RISING;
        fd.iFadeTime = now;
    }
    int a = 128;
    const int ft = now - fd.iFadeTime;
    if (fd.flags & FDI_RISING) {
        if (ft >= 12) {
            fd.flags = FDI_STEADY;
            fd.iFadeTime = now;
        } else {
            a = ft * 128 / 12;
        }
    } else if (fd.flags & FDI_FALLING) {
        if (ft >= 60) {
            fd.flags = 0;
            a = 0;
        } else {
            a = (60 - ft) * 128 / 60;
        }
    } else if (fd.flags & FDI_STEADY) {
        if (hp.nNewPoints > 0 || near247) {
            fd.iFadeTime = now;
        } else if (ft >= 601) {
            fd.flags = FDI_FALLING;
            fd.iFadeTime = now;
        }
    }

    // 2. Points moved into the counter in this frame: two for every three
    // frames, and at least one when any time has passed (at one tick a frame
    // the two thirds would otherwise truncate to nothing and no points would
    // ever arrive).
    int rate = (now - hp.prevTime) * 2 / 3;
    if (rate < 1 && now > hp.prevTime)
        rate = 1;

    // 3. The pop-ups.
    bool lossMoved = false;
    char text[32];
    for (int i = 0; i < hp.nNewPoints;) {
        HUD_Points::Points& e = hp.newPoints[i];
        const int t = now - e.startTime;
        if (t < 30) {
            const float f = float(t) / 30.0f;
            const float x = e.scrPos[0] * (1.0f - f) + cx * f, y = e.scrPos[1] * (1.0f - f) + cy * f;
            const int pa = f < 0.75f ? 128 : int((1.0f - f) * 512.0f);
            std::snprintf(text, sizeof text, "%03d", std::abs(e.points));
            PrintAt(r, font, x, y, 1.0f, 1.0f, text,
                    e.points >= 0 ? Colour(128, 128, 128, u8(pa)) : Colour(96, 0, 0, u8(pa)));
            i++;
            continue;
        }
        if (hp.fdiAddShield.flags == 0 && hp.fdiSubShield.flags == 0) {
            if (e.points > 0) {
                int m = std::min(e.points, rate);
                if (hp.nPoints + m >= 100) {
                    m = 100 - hp.nPoints;
                    hp.fdiAddShield.flags = BADGE_FLY | BADGE_SQUASH;
                    hp.fdiAddShield.iFadeTime = now;
                }
                hp.nPoints += m;
                e.points -= m;
            } else if (e.points < 0) {
                int m = std::min(-e.points, rate);
                if (hp.nPoints - m < 0 && hp.nShields > 0) {
                    m = hp.nPoints;
                    hp.fdiSubShield.flags = BADGE_FLASH | BADGE_FLY | FDI_RISING;
                    hp.fdiSubShield.iFadeTime = now;
                }
                hp.nPoints -= m;
                e.points += m;
                lossMoved = lossMoved || m > 0;
            }
        }
        if (e.points == 0) {
            for (int k = i; k + 1 < hp.nNewPoints; k++)
                hp.newPoints[k] = hp.newPoints[k + 1];
            hp.nNewPoints--;
            continue;
        }
        i++;
    }

    // 4. A badge earned flies from the counter to its place.
    if (r.texture != &HUDNewTexture())
        r.SetTexture(&HUDNewTexture(), TEXMODE_MODULATE);
    r.prim_reg |= PRIM_TME | PRIM_FST;
    r.SetAlpha(ALPHA_BLEND);
    r.SetColour(Colour(128, 128, 128, 128));
    const Vector c0(cx, cy, 0.0f, 1.0f);
    FadeDispInfo& add = hp.fdiAddShield;
    if (add.flags != 0 && !(add.flags & BADGE_FLASH)) {
        const int t = now - add.iFadeTime;
        if (t < 60) {
            const Bezier fly(c0, c0 + Vector(-60.0f, -20.0f, 0.0f, 0.0f), c0 + Vector(-60.0f, -60.0f, 0.0f, 0.0f), sCentre);
            const float u = float(t) / 60.0f;
            FlyingBadge(r, fly.Evaluate(u), S, (1.0f + u) / 2.0f, a);
        } else {
            add.flags |= FDI_RISING | BADGE_FLASH;
            add.iFadeTime = now;
            hp.nShields += 1;
        }
    }
    // 5. A badge lost flies back to the counter (after its flash).
    FadeDispInfo& sub = hp.fdiSubShield;
    if (sub.flags != 0 && !(sub.flags & BADGE_FLASH)) {
        const int t = now - sub.iFadeTime;
        if (t > 30)
            sub.flags |= BADGE_SQUASH;
        if (t < 60) {
            const Bezier fly(c0, c0 + Vector(-100.0f, -20.0f, 0.0f, 0.0f), c0 + Vector(-100.0f, -60.0f, 0.0f, 0.0f),
                             sCentre);
            const float u = 1.0f - float(t) / 60.0f;
            FlyingBadge(r, fly.Evaluate(u), S, (1.0f + u) / 2.0f, a);
        } else {
            hp.nPoints += 100;
            hp.nShields -= 1;
            sub.flags = 0;
        }
    }
    // 6. The badge in its place.
    if (hp.nShields > 0) {
        if (add.flags & BADGE_FLASH) {
            FlashSprite(r, 15.0f, S, rectShieldTI, rectShieldTI, rectShieldFlashTI, add);
            if (!(add.flags & (FDI_RISING | FDI_FALLING)))
                add.flags = 0;
        } else if (sub.flags & BADGE_FLASH) {
            FlashSprite(r, 15.0f, S, rectShieldTI, rectShieldTI, rectShieldFlashTI, sub);
            if (!(sub.flags & (FDI_RISING | FDI_FALLING))) {
                sub.flags = BADGE_FLY;
                sub.iFadeTime = now;
            }
        } else {
            r.SetAlpha(ALPHA_BLEND);
            r.SetColour(Colour(128, 128, 128, u8(a)));
            DrawHUDSprite(r, S, rectShieldTI);
        }
    }
    // 7. The multiplier.
    if (hp.nShields >= 2) {
        std::snprintf(text, sizeof text, "%dx", hp.nShields);
        int mx, my;
        spntShieldMultiplier.MapPoint(mx, my);
        const float x = float(mx - int(0.325f * float(font.Len2(text))));
        PrintAt(r, font, x + 2.0f, float(my + 2), 0.65f, 0.65f, text, Colour(0, 0, 0, u8(a)));
        PrintAt(r, font, x, float(my), 0.65f, 0.65f, text, Colour(128, 128, 128, u8(a)));
    }
    // 8. The counter squashes while a badge takes its 100 points or gives
    // them back.
    float s = 1.0f;
    if ((add.flags & BADGE_SQUASH) && !(add.flags & BADGE_FLASH)) {
        const int t = now - add.iFadeTime;
        if (t < 30) {
            s = float(30 - t) / 30.0f;
        } else {
            hp.nPoints -= 100;
            add.flags &= ~BADGE_SQUASH;
        }
    } else if ((sub.flags & BADGE_SQUASH) && !(sub.flags & BADGE_FLASH)) {
        s = float(60 - (now - sub.iFadeTime)) / 30.0f;
    }
    // 9. The counter.
    std::snprintf(text, sizeof text, "%03d", hp.nPoints);
    const float x = float(px - font.Len2(text) / 2);
    const float y = float(py + int((1.0f - s) * float(h) / 2.0f));
    PrintAt(r, font, x + 2.0f, y + 2.0f, 1.0f, s, text, Colour(0, 0, 0, u8(a)));
    PrintAt(r, font, x, y, 1.0f, s, text,
            sub.flags != 0 || lossMoved ? Colour(96, 0, 0, u8(a)) : Colour(128, 128, 128, u8(a)));
    hp.prevTime = now;
}
