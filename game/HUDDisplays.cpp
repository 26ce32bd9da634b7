// The player's and the enemies' strength bars, the head icon, the
// ammunition bars and the car damage icon.
#include <algorithm>

#include "game/HUD.h"

#include "game/QuadTree.h"
#include "game/Vehicle.h"

using namespace hudlayout;

namespace hudlayout {
Rect rectPlayerHealthGrayTI{0, 169, 16, 63};
Rect rectPlayerHealthRedTI{16, 169, 16, 63};
Rect rectPlayerHealthWhiteTI{32, 169, 16, 63};
Rect rectPlayerHealthFlashTI{48, 169, 16, 63};
Rect rectPlayerIconTI[4] = {{176, 0, 40, 64}, {176, 64, 40, 64}, {176, 128, 40, 64}, {176, 192, 40, 64}};
Rect rectAmmoGrayTI{80, 169, 16, 63};
Rect rectAmmoWhiteTI{96, 169, 16, 63};
Rect rectAmmoFlashTI{64, 169, -16, 63};
// The enemy's bars are the player's read mirrored.
Rect rectEnemyHealthGrayTI{16, 169, -16, 63};
Rect rectEnemyHealthRedTI{32, 169, -16, 63};
Rect rectEnemyHealthWhiteTI{48, 169, -16, 63};
Rect rectEnemyHealthFlashTI{64, 169, -16, 63};
Rect rectEnemyIconTI{0, 0, 40, 48};
Rect rectCarIconTI{216, 0, 40, 64};
Rect rectCarDamagedIconTI{216, 64, 40, 64};
}  // namespace hudlayout

HUD_GunGauges gunGauges;
HUD_Enemies enemies;

namespace {

// The health bars blink while 1 <= strength < 15.
int HealthBlink(float strength, FadeDispInfo& fdi)
{
    if (strength >= 1.0f && strength < 15.0f) {
        if (fdi.flags == 0) {
            fdi.flags = FDI_RISING;
            fdi.iFadeTime = world.time;
        }
        return BlinkAlpha(fdi);
    }
    fdi.flags = 0;
    return 0;
}

// The damage marks of the four parts: least damage (strength 25), most (0).
struct Mark
{
    Rect least, most;
};
const Mark kMarks[4] = {
    {{216, 64, 40, 6}, {216, 64, 40, 23}},     // front
    {{216, 88, 9, 22}, {216, 88, 20, 22}},     // left
    {{247, 88, 9, 22}, {236, 88, 20, 22}},     // right
    {{216, 121, 40, 7}, {216, 111, 40, 17}},   // back
};

}  // namespace

void DispDaceHead(Render2D& r2d, float badness, FadeDispInfo& fdiFade)
{
    const int alpha = FadeAlphaF(fdiFade);
    SetHUDSpriteState(r2d, HUDNewTexture(), alpha);
    const Rect at = srectPlayerIcon.MapRect();
    const float b = std::clamp(badness, 0.0f, 1.0f) * 3.0f;
    const int i = int(b);
    DrawHUDSprite(r2d, at, rectPlayerIconTI[i]);
    // The next face laid over by the fraction left over.
    const float frac = b - float(i);
    if (i < 3 && frac > 0.0f) {
        r2d.SetColour(Colour(128, 128, 128, u8(std::min(alpha, int(frac * 128.0f)))));
        DrawHUDSprite(r2d, at, rectPlayerIconTI[i + 1]);
    }
}

void DispNewStrengthInfoDace(Render2D& r2d, float fStrength, FadeDispInfo& fdi)
{
    const int blink = HealthBlink(fStrength, fdi);
    SetHUDSpriteState(r2d, HUDNewTexture(), 128);
    DrawGauge2(r2d, true, fStrength * 0.01f, srectPlayerHealth.MapRect(), rectPlayerHealthRedTI,
               fStrength < 1.0f ? rectPlayerHealthRedTI : rectPlayerHealthWhiteTI, rectPlayerHealthFlashTI, blink);
}

void DispAmmoInfo(Render2D& r2d, const Point& pos, float scale, float strength, float lastStrength, int fadeAlpha,
                  FadeDispInfo& fdi)
{
    const bool gained = strength > lastStrength;
    if ((strength < 5.0f || gained) && (fdi.flags == 0 || gained)) {
        fdi.flags = FDI_RISING;
        fdi.iFadeTime = world.time;
    }
    int blink = 0;
    if (fdi.flags & FDI_FALLING) {
        // At the end of a fall the blink goes on only while shots are short.
        const float t = float(world.time - fdi.iFadeTime);
        if (t >= 7.5f) {
            if (strength < 5.0f) {
                fdi.flags = FDI_RISING;
                fdi.iFadeTime = world.time;
            } else {
                fdi.flags = 0;
            }
            blink = 0;
        } else {
            blink = BlinkAlpha(fdi);
        }
    } else {
        blink = BlinkAlpha(fdi);
    }
    const int w = srectAmmo.MapW(), h = 63;
    const Rect d{s16(int(float(pos.x) + float(w / 2) - float(w) * scale / 2.0f)),
                 s16(int(float(pos.y) + float(h / 2) - float(h) * scale / 2.0f)), s16(int(float(w) * scale)),
                 s16(int(float(h) * scale))};
    DrawGauge2(r2d, false, strength * 0.03125f, d, rectAmmoGrayTI, rectAmmoWhiteTI, rectAmmoFlashTI,
               std::min(blink, fadeAlpha));
}

void DispNewStrengthInfoEnemy(Render2D& r2d, const Point& _pos, float scale, float fStrength, float fInitialStrength,
                              int fadeAlpha, FadeDispInfo& fdi)
{
    const int blink = HealthBlink(fStrength, fdi);
    const int w = srectEnemyHealth.MapW();
    const Rect d{s16(_pos.x), s16(_pos.y - int(8.0f * scale)), s16(int(float(w) * scale)), s16(int(63.0f * scale))};
    SetHUDSpriteState(r2d, HUDNewTexture(), fadeAlpha);
    const int a = std::min(blink, fadeAlpha);
    if (fInitialStrength < 100.0f)
        DrawGauge3(r2d, false, fInitialStrength * 0.01f, fStrength * 0.01f, d, rectEnemyHealthGrayTI,
                   rectEnemyHealthRedTI, rectEnemyHealthWhiteTI, rectEnemyHealthFlashTI, a);
    else
        DrawGauge2(r2d, false, fStrength * 0.01f, d, rectEnemyHealthRedTI, rectEnemyHealthWhiteTI,
                   rectEnemyHealthFlashTI, a);
}

void DispCarSectionDamage(Render2D& r2d, const Rect& iconRect, float sectionStrength, const Rect& minDam,
                          const Rect& maxDam)
{
    const Rect dam = blend(maxDam, minDam, sectionStrength * 0.04f);
    const Rect at{s16(iconRect.x + dam.x - 216), s16(iconRect.y + dam.y - 64), dam.w, dam.h};
    DrawHUDSprite(r2d, at, dam);
}

void DispCarStrengthInfo(Render2D& r2d, const Rect& screenRect, const Vehicle* car, FadeDispInfo& fdiFade,
                         FadeDispInfo& fdiFlash)
{
    if (car == nullptr)
        return;
    const int fade = FadeAlpha(fdiFade);
    SetHUDSpriteState(r2d, HUDNewTexture(), fade);
    DrawHUDSprite(r2d, screenRect, rectCarIconTI);
    float total = 0.0f;
    for (float s : car->rgpartstrength)
        total += s;
    const bool wrecked = total <= 10.0f;
    if (wrecked) {
        // The marks pulse, faster as the car nears its end.
        const int t = world.time - fdiFlash.iFadeTime;
        int pulse = 128;
        if (fdiFlash.flags == 0) {
            fdiFlash.flags = FDI_RISING;
            fdiFlash.iFadeTime = world.time;
            fdiFlash.iRate = 30;
        }
        if (fdiFlash.flags & FDI_RISING) {
            const int tt = world.time - fdiFlash.iFadeTime;
            if (tt < fdiFlash.iRate) {
                pulse = tt * 128 / fdiFlash.iRate;
            } else {
                pulse = 128;
                fdiFlash.flags = FDI_FALLING;
                fdiFlash.iFadeTime = world.time;
                fdiFlash.iRate = int(total * 1.5f + 15.0f);
            }
        } else if (fdiFlash.flags & FDI_FALLING) {
            if (t < fdiFlash.iRate) {
                pulse = (fdiFlash.iRate - t) * 128 / fdiFlash.iRate;
            } else {
                pulse = 0;
                fdiFlash.flags = FDI_RISING;
                fdiFlash.iFadeTime = world.time;
                fdiFlash.iRate = int(total * 1.5f + 15.0f);
            }
        }
        r2d.SetAlpha(ALPHA_BLEND);
        r2d.SetColour(Colour(128, 128, 128, u8(std::min(pulse, fade))));
    } else {
        fdiFlash.flags = 0;
    }
    for (int i = 0; i < 4; i++)
        DispCarSectionDamage(r2d, screenRect, wrecked ? 0.0f : car->rgpartstrength[i], kMarks[i].least,
                             kMarks[i].most);
}

void MapDisplay::ResetGuns()
{
    gunGauges.num = 0;
}

void MapDisplay::NotifyGunsSwapped()
{
    gunGauges.num = 0;
}

void MapDisplay::ResetEnemies()
{
    for (int i = 0; i < enemies.num && i < 12; i++)
        enemies.enemies[i].enemy = nullptr;
    enemies.num = 0;
}
