// Map markers: one marker inside the radar or pinned to its edge, and the
// city's places (gas, parking, the 24/7 activities, restaurants).
#include <cmath>

#include "game/HUD.h"

#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"

using namespace hudlayout;

namespace {

constexpr u32 kFarZ = 0xFFFFFF;

const Rect* IconRect(MapDisplay::IconType icon)
{
    switch (icon) {
    case MapDisplay::MIT_TARGET: return &rectTargetTI;
    case MapDisplay::MIT_UTENSILS: return &rectUtensilsTI;
    case MapDisplay::MIT_GAS: return &rectGasTI;
    case MapDisplay::MIT_PARKING: return &rectParkingTI;
    case MapDisplay::MIT_CAR: return &rectCarTI;
    case MapDisplay::MIT_BARBELL: return &rectBarbellTI;
    case MapDisplay::MIT_CROSSHAIR: return &rectCrosshairTI;
    default: return nullptr;
    }
}

void TintedSprite(Render2D& r2d, const Rect& drect, const Rect& srect, Colour col)
{
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.SetColour(col);
    r2d.DrawSprite(drect, srect, kFarZ);
}

void DrawIcon(Render2D& r2d, float px, float py, Colour col, int iSize, MapDisplay::IconType icon)
{
    if (icon == MapDisplay::MIT_DOT) {
        DrawDot(r2d, Rect{s16(int(px) - iSize / 2), s16(int(py) - iSize / 2), s16(iSize), s16(iSize)}, col);
        return;
    }
    const Rect* tex = IconRect(icon);
    if (tex != nullptr)
        TintedSprite(r2d, Rect{s16(int(px) - 8), s16(int(py) - 8), 16, 16}, *tex, col);
}

struct Place
{
    int id;
    MapDisplay::IconType icon;
    bool yellow;
    bool activity;   // a 24/7 activity: being close sets near247
};

const Place kPlaces[] = {
    {258, MapDisplay::MIT_GAS, true, false},       {266, MapDisplay::MIT_CAR, false, true},
    {267, MapDisplay::MIT_CROSSHAIR, false, true}, {268, MapDisplay::MIT_BARBELL, false, true},
    {269, MapDisplay::MIT_PARKING, true, false},   {270, MapDisplay::MIT_DOT, true, false},
};

const Colour kYellow(128, 128, 0, 128), kCyan(0, 128, 128, 128);

}  // namespace

int MapDisplay::DrawMapTarget(Render2D& r2d, VectorPos& vpTarget, Colour col, int iSize, int, IconType iconType)
{
    const Rect m = srectMapUse.MapRect();
    const int cx = m.x + m.w / 2, cy = m.y + m.h / 2;
    const float dx = vpTarget[0] - float(cx), dy = vpTarget[1] - float(cy);
    if (std::fabs(dx) <= float(m.w / 2) && std::fabs(dy) <= float(m.h / 2)) {
        DrawIcon(r2d, vpTarget[0], vpTarget[1], col, iSize, iconType);
        return 0;
    }
    float px, py;
    if (std::fabs(dy) < std::fabs(dx)) {
        // Out through the left or the right side.
        px = float(dx < 0.0f ? m.x : m.x + m.w);
        py = float(cy) + float(m.w) * dy / (2.0f * std::fabs(dx));
        if (iconType == MIT_TARGET) {
            const Rect arrow{s16(dx < 0.0f ? int(px) - 10 : int(px)), s16(int(py) - 9), 10, 19};
            TintedSprite(r2d, arrow, dx < 0.0f ? rectMapEdgeArrowLeftTI : rectMapEdgeArrowRightTI, col);
            return 0;
        }
    } else {
        // Out through the top or the bottom.
        py = float(dy < 0.0f ? m.y : m.y + m.h);
        px = float(cx) + float(m.h) * dx / (2.0f * std::fabs(dy));
        if (iconType == MIT_TARGET) {
            const Rect arrow{s16(int(px) - 5), s16(dy < 0.0f ? int(py) - 9 : int(py)), 19, 10};
            r2d.SetAlpha(ALPHA_BLEND);
            r2d.SetColour(col);
            DrawSpriteRot90CCW(r2d, arrow, dy < 0.0f ? rectMapEdgeArrowTopTI : rectMapEdgeArrowBottomTI);
            return 0;
        }
    }
    DrawIcon(r2d, px, py, col, iSize, iconType);
    return 0;
}

void MapDisplay::DrawSubTargets(Render2D& r2d, const Cuboid& cuboid, const Matrix& matMap)
{
    near247 = false;
    const VectorPos me = dace != nullptr ? dace->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f);
    for (Visible2D v(cuboid, QN_INSTANCES); *v; ++v) {
        QuadNode* node = *v;
        for (int k = 0; k < node->nObjects; k++) {
            VectorPos at;
            const int id = node->GetIDAndPosition(k, &at);
            for (const Place& p : kPlaces) {
                if (p.id != id)
                    continue;
                if (p.activity && dace != nullptr) {
                    const float ddx = at[0] - me[0], ddz = at[2] - me[2];
                    if (std::sqrt(ddx * ddx + ddz * ddz) < 15.625f)
                        near247 = true;
                }
                VectorPos s = matMap * VectorPos(at[0], at[1], at[2]);
                DrawMapTarget(r2d, s, p.yellow ? kYellow : kCyan, 8, 0, p.icon);
                break;
            }
        }
    }
    if (g_pgcTest == nullptr)
        return;
    for (const Vector& h : g_pgcTest->rvHealthLocations) {
        if (h[3] == 0.0f)
            break;
        VectorPos s = matMap * VectorPos(h[0], h[1], h[2]);
        DrawMapTarget(r2d, s, kYellow, 8, 1, MIT_UTENSILS);
    }
}
