// The ammunition gauges of the player's guns: one or two gauges that fade
// in, slide and cross when the guns change hands, and balloon out when a gun
// goes.
#include <algorithm>

#include "game/HUD.h"

#include "game/GameEvents.h"
#include "game/QuadTree.h"

namespace {

// The two gauge places, from the top left.
const ScreenPoint kPlaceA{80, 24, 5}, kPlaceB{96, 24, 5};

// Gauge flags: slides arcing up (2), down (4) or straight (8), leaving (16),
// fading in (32), put away (64).
constexpr u16 GG_ARCUP = 2, GG_ARCDOWN = 4, GG_STRAIGHT = 8, GG_LEAVE = 16, GG_FADEIN = 32, GG_AWAY = 64;
constexpr u16 GG_SLIDES = GG_ARCUP | GG_ARCDOWN | GG_STRAIGHT;

bool Own(int gunType)
{
    return gunType < 4;   // the player's pistol and its upgrades
}

void Take(HUD_GunGauges::Gauge& g, const sDaceGunInfo& info, int i)
{
    g.gunType = s16(info.gunType[i]);
    g.curAmmo = g.lastAmmo = s16(info.curAmmo[i]);
    g.maxAmmo = s16(info.maxAmmo[i]);
    g.gun = info.gun[i];
}

void FadeIn(HUD_GunGauges::Gauge& g, const ScreenPoint* at, bool oneOfTwo)
{
    g.startScale = g.endScale = 1.0f;
    g.startAlpha = 0;
    g.endAlpha = oneOfTwo && Own(g.gunType) ? 64 : 128;
    g.startTime = world.time;
    g.flags = u16((g.flags | GG_FADEIN) & ~(GG_LEAVE | GG_AWAY));
    if (at != nullptr)
        g.startPos = g.endPos = *at;
}

void Leave(HUD_GunGauges::Gauge& g)
{
    g.startPos = g.endPos = kPlaceB;
    g.startScale = 1.0f;
    g.endScale = 5.0f;
    g.startAlpha = Own(g.gunType) ? 64 : 128;
    g.endAlpha = 0;
    g.startTime = world.time;
    g.flags = u16((g.flags | GG_LEAVE) & ~(GG_FADEIN | GG_AWAY));
}

void Slide(HUD_GunGauges::Gauge& g, const ScreenPoint& from, const ScreenPoint& to, u16 how)
{
    g.startPos = from;
    g.endPos = to;
    g.startScale = g.endScale = 1.0f;
    g.startTime = world.time;
    g.flags = u16(g.flags | how);
    // Another gun than the player's own pistol shows at full strength.
    g.startAlpha = g.endAlpha = Own(g.gunType) ? 64 : 128;
}

void Update(const sDaceGunInfo& info)
{
    HUD_GunGauges::Gauge* g = gunGauges.gauges;
    const bool own0 = Own(info.gunType[0]), own1 = Own(info.gunType[1]);
    const bool two = info.bAreActive[1] != 0 && (!own0 || !own1);
    const bool one = !two && (info.bAreActive[0] != 0 || info.bAreActive[1] != 0);
    int& num = gunGauges.num;
    if (two) {
        if (num == 0) {
            g[0].flags = g[1].flags = 0;
            Take(g[1], info, 1);
            FadeIn(g[1], &kPlaceB, true);
            Take(g[0], info, 0);
            FadeIn(g[0], &kPlaceA, true);
            num = 2;
        } else if (num == 1) {
            g[1].flags = 0;
            Take(g[1], info, 1);
            Slide(g[1], kPlaceA, kPlaceB, GG_STRAIGHT);
            Take(g[0], info, 0);
            FadeIn(g[0], nullptr, true);
            num = 2;
        } else if (g[1].gun == info.gun[0] && g[0].gun == info.gun[1]) {
            // The guns changed hands: the gauges cross.
            Take(g[1], info, 1);
            Slide(g[1], kPlaceA, kPlaceB, GG_ARCDOWN);
            Take(g[0], info, 0);
            Slide(g[0], kPlaceB, kPlaceA, GG_ARCUP);
        } else if (g[0].gun == info.gun[1]) {
            // A new first gun: the old second one goes.
            g[2] = g[1];
            Leave(g[2]);
            Take(g[1], info, 1);
            Slide(g[1], kPlaceA, kPlaceB, GG_STRAIGHT);
            Take(g[0], info, 0);
            FadeIn(g[0], nullptr, true);
            num = 3;
        } else {
            g[0].curAmmo = s16(info.curAmmo[0]);
            g[1].curAmmo = s16(info.curAmmo[1]);
        }
    } else if (one) {
        // Two pistols of the player's own count as one gauge.
        const int sum = info.curAmmo[0] + (info.bAreActive[1] != 0 ? info.curAmmo[1] : 0);
        if (num == 0) {
            Take(g[0], info, 0);
            g[0].curAmmo = g[0].lastAmmo = s16(sum);
            g[1].flags = 0;
            FadeIn(g[0], &kPlaceA, false);
            num = 1;
            return;
        }
        if (num >= 2 && !(g[1].flags & GG_LEAVE))
            Leave(g[1]);
        if (g[0].gun != info.gun[0])
            Take(g[0], info, 0);
        g[0].curAmmo = s16(sum);
        if (g[0].flags != 0 && g[0].flags != GG_FADEIN)
            FadeIn(g[0], &kPlaceA, false);
    } else {
        // No gun: the gauges are put away at once.
        for (int i = 0; i < num; i++)
            if (!(g[i].flags & GG_AWAY)) {
                g[i].flags |= GG_AWAY;
                g[i].startTime = world.time;
                g[i].startScale = g[i].endScale = 1.0f;
                g[i].startAlpha = 0;
                g[i].endAlpha = 128;
            }
    }
}

void Animate()
{
    for (int i = gunGauges.num - 1; i >= 0; i--) {
        HUD_GunGauges::Gauge& g = gunGauges.gauges[i];
        const int t = world.time - g.startTime;
        if ((g.flags & GG_SLIDES) && t < 30) {
            const float f = float(t) / 30.0f;
            const float bump = (1.0f - (2.0f * f - 1.0f) * (2.0f * f - 1.0f)) * 20.0f;
            float y = float(g.startPos.y) + float(g.endPos.y - g.startPos.y) * f;
            if (g.flags & GG_ARCUP)
                y -= bump;
            else if (g.flags & GG_ARCDOWN)
                y += bump;
            g.curPos = ScreenPoint{int(float(g.startPos.x) + float(g.endPos.x - g.startPos.x) * f), int(y),
                                   g.startPos.flags};
        } else {
            g.flags &= u16(~GG_SLIDES);
            g.curPos = g.endPos;
        }
        if (g.flags & GG_LEAVE) {
            if (t < 30) {
                const float f = float(t) / 30.0f;
                g.curScale = g.startScale + (g.endScale - g.startScale) * f;
                g.curAlpha = g.startAlpha + int(float(g.endAlpha - g.startAlpha) * f);
            } else {
                g.flags &= u16(~GG_LEAVE);
                g.curScale = g.endScale;
                g.curAlpha = g.endAlpha;
                gunGauges.num = i;
            }
        } else if (g.flags & GG_FADEIN) {
            // A gauge fading in stands at its full size.
            g.curScale = g.endScale;
            if (t < 30) {
                g.curAlpha = g.startAlpha + int(float(g.endAlpha - g.startAlpha) * float(t) / 30.0f);
            } else {
                g.flags &= u16(~GG_FADEIN);
                g.curAlpha = g.endAlpha;
            }
        } else if (g.flags & GG_AWAY) {
            gunGauges.num = i;
        } else {
            g.curScale = g.endScale;
            g.curAlpha = g.endAlpha;
        }
    }
}

}  // namespace

void MapDisplay::DrawGuns(Render2D& r)
{
    Object* player = rcoMain.p;
    if (player == nullptr || player->messagehandler == nullptr)
        return;
    sDaceGunInfo info{};
    SpecialMessage query(SMSG_Q_HUD_PLAYER, nullptr, &info);
    player->messagehandler(player, OM_SPECIAL, &query);
    Update(info);
    Animate();
    if (r.texture != &HUDNewTexture())
        r.SetTexture(&HUDNewTexture(), TEXMODE_MODULATE);
    r.prim_reg |= PRIM_TME | PRIM_FST;
    r.SetAlpha(ALPHA_BLEND);
    for (int i = 0; i < gunGauges.num; i++) {
        HUD_GunGauges::Gauge& g = gunGauges.gauges[i];
        r.SetColour(Colour(128, 128, 128, u8(g.curAlpha)));
        DispAmmoInfo(r, Point{g.curPos.MapX(), g.curPos.MapY()}, g.curScale, float(g.curAmmo), float(g.lastAmmo),
                     g.curAlpha, g.fdi);
        g.lastAmmo = g.curAmmo;
    }
}
