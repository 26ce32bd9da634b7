// The GPS map screen: the loaded city's streets as bands over a dark ground,
// a cursor the stick moves, six zoom steps and a line naming the street under
// the cursor with its distance.  Opened over the frozen game like the other
// screens; Select closes it.
#include "game/userintf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "game/CityObjects.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/ProgramImages.h"
#include "game/QuadTree.h"
#include "game/Road.h"
#include "game/fbfx.h"

const float aMapScalePresets[NUM_MAP_ZOOMS] = {1000.0f, 820.0f, 640.0f, 460.0f, 280.0f, 100.0f};

const LevInfo aLevels[12] = {
    {0, 16, 128, 16, "The E.O.D. Station", nullptr},
    {1, 16, 128, 16, nullptr, "Tovin's Dojo"},
    {2, 0, 0, 0, nullptr, nullptr},
    {4, 16, 128, 16, "Race to the Red Lantern Bar!", "Red Lantern Bar"},
    {5, 128, 16, 16, nullptr, "Evil Thug"},
    {7, 128, 16, 16, nullptr, "Evil Thug"},
    {8, 16, 128, 16, "Drive to Dynasty Imports.", "Dynasty Imports"},
    {9, 16, 128, 16, "Drive to Dynasty Imports.", "Dynasty Imports"},
    {10, 0, 0, 0, nullptr, nullptr},
    {11, 0, 0, 0, nullptr, nullptr},
    {12, 128, 16, 16, nullptr, "Brusko"},
    {-1, 0, 0, 0, nullptr, nullptr},
};

const Rect Map_Triangle{0, 0, 31, 31}, Map_Square{32, 0, 31, 31}, Map_Fist{0, 32, 31, 31},
    Map_Wheel{32, 32, 31, 31}, Map_Gun{64, 32, 31, 31}, Map_Cursor{0, 65, 62, 62};

namespace {

constexpr float kMapAspect = 0.740741f;
constexpr float kMilesPerUnit = 0.00198839f;
constexpr u32 kTopZ = 0xFFFFFF;
const Colour kGround(0, 12, 28, 128);

const UISetup GPSItems[] = {
    {"MOVE", UI_NoData, nullptr, UI_GPSGuide, 0, 0, 0},   {"ZOOM +", UI_NoData, nullptr, UI_GPSGuide, 0, 0, 0},
    {"ZOOM -", UI_NoData, nullptr, UI_GPSGuide, 0, 0, 0}, {"ROUTE", UI_NoData, nullptr, UI_GPSGuide, 0, 0, 0},
    {"GOTO", UI_NoData, nullptr, UI_GPSGuide, 0, 0, 0},
};
const UIColSetup GPSColumns[] = {{64.0f, 116.0f, 32.0f, 5, GPSItems}};
const UIMenuSetup GPSMenuColumns[] = {{&GPSColumns[0], false}};

// The view the map shows for a wanted width and centre: the width limited to
// the loaded cells, the centre moved so that the whole view lies inside them.
struct MapView
{
    float width, depth;
    VectorPos centre;
    Cuboid box;
};
MapView ClampView(float scale, float aspect, VectorPos centre)
{
    const Cuboid loaded = world.LoadedExtent();
    const float bw = std::max(0.0f, loaded.max[0] - loaded.min[0]);
    const float bd = std::max(0.0f, loaded.max[2] - loaded.min[2]);
    MapView v;
    v.width = std::min({scale, bw, bd / aspect});
    v.depth = v.width * aspect;
    const float hx = v.width * 0.5f, hz = v.depth * 0.5f;
    const float cx = std::clamp(centre[0], loaded.min[0] + hx, std::max(loaded.min[0] + hx, loaded.max[0] - hx));
    const float cz = std::clamp(centre[2], loaded.min[2] + hz, std::max(loaded.min[2] + hz, loaded.max[2] - hz));
    v.centre = VectorPos(cx, 0.0f, cz);
    v.box = Cuboid(VectorPos(cx - hx, -1.0e6f, cz - hz), VectorPos(cx + hx, 1.0e6f, cz + hz));
    return v;
}

float HorizontalDistance(const VectorPos& a, const VectorPos& b)
{
    return std::hypot(a[0] - b[0], a[2] - b[2]);
}

VectorPos PlayerPosition()
{
    return dace != nullptr ? VectorPos(dace->GetWorldMatrix().GetTrans()) : VectorPos(0.0f, 0.0f, 0.0f);
}

}  // namespace

const UIScreenSetup GPSMenu = {::GPSMenuCode, "[GPS]", 32.0f, 32.0f, 1, GPSMenuColumns};

void GPSMenuCode(UIMenu* menu, UIItem* item, UIAction action, void* data)
{
    UI.GPSMenuCode(menu, item, action, data);
}

// ---------------------------------------------------------------- roads

void DrawStripRoad(Render2D& r2d, const Matrix& map, const RoadSeg& seg, float minWidth, float maxWidth,
                   float pixelsPerUnit, Colour colour)
{
    if (seg.type == nullptr)
        return;
    const float hw = std::max(seg.type->vXSect[seg.type->iRightEdge][0], -seg.type->vXSect[0][0]);
    if (hw < minWidth || hw > maxWidth)
        return;
    Bezier curve = RoadCurve(seg);
    Bezier b0, b1;
    curve.Split(b0, b1);
    const Vector* pts[7] = {&b0.c0, &b0.c1, &b0.c2, &b0.c3, &b1.c1, &b1.c2, &b1.c3};
    float px[7], py[7];
    for (int i = 0; i < 7; i++) {
        const VectorPos s = map * VectorPos((*pts[i])[0], (*pts[i])[1], (*pts[i])[2]);
        px[i] = s[0];
        py[i] = s[1];
    }
    float nx[7], ny[7];
    for (int k = 0; k < 6; k++) {
        const float dx = px[k + 1] - px[k], dy = py[k + 1] - py[k];
        const float len = std::hypot(dx, dy);
        // Coincident points (a very short road at this scale) give no side.
        const float f = len > 0.0f ? hw * pixelsPerUnit / len : 0.0f;
        nx[k] = dy * f;
        ny[k] = -dx * f;
    }
    nx[6] = nx[5];
    ny[6] = ny[5];
    r2d.SetColour(colour);
    r2d.Begin(PRIM_TRISTRIP);
    for (int i = 0; i < 7; i++) {
        r2d.SetVertex(px[i] + nx[i], py[i] + ny[i], kTopZ);
        r2d.SetVertex(px[i] - nx[i], py[i] - ny[i], kTopZ);
    }
    r2d.End();
    r2d.prim_reg &= ~7u;
}

void Draw2DRoadStrips(Render2D& r2d, const Cuboid& area, const Matrix& map, float minWidth, float maxWidth,
                      float pixelsPerUnit, Colour colour)
{
    Cuboid flat = area;
    flat.min[1] = flat.max[1] = 0.0f;
    for (Visible2D v(flat, QN_ROADSEGS); *v; ++v) {
        const QuadNode* node = *v;
        for (int i = 0; i < node->nRoadSegs; i++)
            DrawStripRoad(r2d, map, node->roadsegs[i], minWidth, maxWidth, pixelsPerUnit, colour);
    }
}

void UserInterface::DrawMapScreenMap(Render2D& r2d, float* scale, float aspect, VectorPos* centre, Rectf& rect)
{
    const MapView v = ClampView(*scale, aspect, *centre);
    *centre = v.centre;
    if (v.width < *scale - 2.5f)
        *scale = v.width;
    if (v.width <= 0.0f)
        return;
    const Matrix frame(Vector(-1.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, 1.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, 1.0f, 0.0f),
                       Vector(v.centre, 1.0f));
    const Rect r{s16(rect.x), s16(rect.y), s16(rect.w), s16(rect.h)};
    const Matrix map = CalcMapMatrix(r, frame, VectorDir(v.width * 0.5f, 0.0f, v.depth * 0.5f));
    const float ppu = 320.0f / v.width;

    r2d.SetTextureOff();
    r2d.SetAlpha(ALPHA_BLEND);
    const int a = std::clamp(int((900.0f - v.width) * 2.56f), 0, 256);
    if (a >= 5) {
        auto mix = [a](int road, int ground) { return u8((road * a + ground * (256 - a)) / 256); };
        Draw2DRoadStrips(r2d, v.box, map, 0.0f, 3.0f, ppu, Colour(mix(0x40, 0), mix(0x40, 12), mix(0x50, 28), 128));
    }
    Draw2DRoadStrips(r2d, v.box, map, 3.0f, 3.8f, ppu, Colour(0x60, 0x60, 0x70, 128));
    Draw2DRoadStrips(r2d, v.box, map, 3.8f, 100.0f, ppu, Colour(0x80, 0x80, 0x90, 128));
}

// ---------------------------------------------------------------- symbols

void UserInterface::DrawSpriteRot(Render2D& r2d, VectorXY Pos, VectorXY Dir, VectorXY Ctr, const Rectf& Icon,
                                  Colour col)
{
    const float dx = Dir[0], dy = Dir[1];
    const float px = -dy, py = dx;   // texture y on screen
    const float x0 = Pos[0] - (dx * Ctr[0] + px * Ctr[1]), y0 = Pos[1] - (dy * Ctr[0] + py * Ctr[1]);
    const float x1 = x0 + dx * Icon.w, y1 = y0 + dy * Icon.w;
    const float x2 = x1 + px * Icon.h, y2 = y1 + py * Icon.h;
    const float x3 = x0 + px * Icon.h, y3 = y0 + py * Icon.h;
    // The drawer's texel form puts the coordinates on texel centres.
    const float u0 = Icon.x, v0 = Icon.y, u1 = Icon.x + Icon.w, v1 = Icon.y + Icon.h;
    Vertex2Dtex fan[4];
    const float c[4][4] = {{x0, y0, u0, v0}, {x1, y1, u1, v0}, {x2, y2, u1, v1}, {x3, y3, u0, v1}};
    for (int i = 0; i < 4; i++) {
        fan[i].x = c[i][0];
        fan[i].y = c[i][1];
        fan[i].u = c[i][2];
        fan[i].v = c[i][3];
    }
    r2d.SetTextureMode(TEXMODE_MODULATE);
    r2d._Draw(r2d.prim_reg | PRIM_TME | PRIM_FST | u32(PRIM_TRIFAN), 0.0f, 0.0f, kTopZ, col, fan, 4);
    r2d.prim_reg &= ~7u;
}

int TargetPulse(int Counter)
{
    return 4 * std::abs(16 - Counter % 32);
}

float MapSymbolScale(float width)
{
    return std::clamp(320.0f / width, 0.7f, 1.0f);
}

void UserInterface::DrawMapIcons(Cuboid& MapExt, Rectf& DrawRect, int Counter)
{
    GameController* gc = g_pgcTest;
    const VectorPos& mn = MapExt.min;
    const VectorPos& mx = MapExt.max;
    const float ew = mx[0] - mn[0], ed = mx[2] - mn[2];
    if (ew <= 0.0f || ed <= 0.0f)
        return;
    auto screen = [&](const VectorPos& p) {
        return VectorXY(DrawRect.x + DrawRect.w * (p[0] - mn[0]) / ew, DrawRect.y + DrawRect.h * (1.0f - (p[2] - mn[2]) / ed));
    };
    auto onMap = [&](const VectorPos& p) {
        return p[0] >= mn[0] && p[0] <= mx[0] && 0.0f >= mn[1] && 0.0f <= mx[1] && p[2] >= mn[2] && p[2] <= mx[2];
    };
    const Rectf tri{float(Map_Triangle.x), float(Map_Triangle.y), float(Map_Triangle.w), float(Map_Triangle.h)};

    Render2D r2d;
    r2d.Open(therenderer);
    auto edgeArrow = [&](const VectorPos& p, Colour col) {
        const VectorPos c = MapExt.Centre();
        float ddx = p[0] - c[0], ddz = p[2] - c[2];
        const float ex = ew * 0.5f, ez = ed * 0.5f;
        if (ddx > ex || ddx < -ex) {
            const float f = (ddx > ex ? ex : -ex) / ddx;
            ddx *= f;
            ddz *= f;
        }
        if (ddz > ez || ddz < -ez) {
            const float f = (ddz > ez ? ez : -ez) / ddz;
            ddx *= f;
            ddz *= f;
        }
        const float l = std::hypot(ddx, ddz);
        if (l <= 0.0f)
            return;
        DrawSpriteRot(r2d, screen(VectorPos(c[0] + ddx, 0.0f, c[2] + ddz)), VectorXY(ddz / l, ddx / l),
                      VectorXY(16.0f, 24.0f), tri, col);
    };

    const LevInfo* row = nullptr;
    if (gc != nullptr)
        for (const LevInfo* l = aLevels; l->nLevel != -1; l++)
            if (l->nLevel == gc->i16CurrMission) {
                row = l;
                break;
            }
    zsTargetInfo = nullptr;
    r2d.SetTexture(&IconsMapTexture(), TEXMODE_MODULATE);
    r2d.SetAlpha(ALPHA_BLEND);

    const VectorPos player = PlayerPosition();
    const Colour white(255, 255, 255, 128);
    if (onMap(player)) {
        const Matrix m = dace != nullptr ? dace->GetWorldMatrix() : Matrix(true);
        const float s = MapSymbolScale(ew);
        const float l = std::hypot(m.x[0], m.x[2]);
        const VectorXY dir = l > 0.0f ? VectorXY(m.x[0] / l * s, -m.x[2] / l * s) : VectorXY(s, 0.0f);
        DrawSpriteRot(r2d, screen(player), dir, VectorXY(16.0f, 24.0f), tri, white);
    } else {
        edgeArrow(player, white);
    }

    MapDisplay* hud = gc != nullptr ? gc->pmd : nullptr;
    const bool hasTarget = hud != nullptr && ((hud->flags & 1) || hud->rcoTarget.p != nullptr);
    if (hasTarget) {
        const VectorPos target = (hud->flags & 1) ? hud->vpStaticTarget : hud->rcoTarget->GetWorldPos();
        TargetDist = HorizontalDistance(player, target);
        if (row != nullptr && HorizontalDistance(target, CurseWorld) * DrawRect.w / ew < 16.0f)
            zsTargetInfo = const_cast<char*>(row->zsTargetInfo);
        const int k = TargetPulse(Counter);
        const int r = row != nullptr ? row->TargetR : 16, g = row != nullptr ? row->TargetG : 127,
                  b = row != nullptr ? row->TargetB : 16;
        const Colour col(u8(r + k), u8(g + k), u8(b + k), 120);
        if (onMap(target)) {
            const Rectf sq{float(Map_Square.x), float(Map_Square.y), float(Map_Square.w), float(Map_Square.h)};
            DrawSpriteRot(r2d, screen(target), VectorXY(1.0f, 0.0f), VectorXY(16.0f, 16.0f), sq, col);
        } else {
            edgeArrow(target, col);
        }
    }

    const Colour yellow(255, 255, 64, 128);
    if (gc != nullptr) {
        const Rectf fist{float(Map_Fist.x), float(Map_Fist.y), float(Map_Fist.w), float(Map_Fist.h)};
        for (int i = 0; i < 4; i++) {
            const VectorPos& p = gc->rvpSubGames[i];
            if (p[0] == 0.0f && p[1] == 0.0f && p[2] == 0.0f)
                break;
            if (onMap(p))
                DrawSpriteRot(r2d, screen(p), VectorXY(1.0f, 0.0f), VectorXY(16.0f, 16.0f), fist, yellow);
        }
        const Rectf gun{float(Map_Gun.x), float(Map_Gun.y), float(Map_Gun.w), float(Map_Gun.h)};
        for (int i = 0; i < 8; i++) {
            Object* o = gc->rvpSubMissionTargets[i];
            if (o == nullptr)
                break;
            const VectorPos p = o->GetWorldPos();
            if (onMap(p))
                DrawSpriteRot(r2d, screen(p), VectorXY(1.0f, 0.0f), VectorXY(16.0f, 16.0f), gun, yellow);
        }
    }

    CurseScreen = VectorXY(DrawRect.x + MapCursor[0], DrawRect.y + MapCursor[1]);
    const Rectf cur{float(Map_Cursor.x), float(Map_Cursor.y), float(Map_Cursor.w), float(Map_Cursor.h)};
    DrawSpriteRot(r2d, CurseScreen, VectorXY(1.0f, 0.0f), VectorXY(32.0f, 32.0f), cur, white);
    CurseWorld[0] = mn[0] + ew * MapCursor[0] / DrawRect.w;
    CurseWorld[2] = mx[2] - ed * MapCursor[1] / DrawRect.h;
    CurseDist = HorizontalDistance(player, CurseWorld);
    r2d.Close(therenderer);
    r2d.texture = nullptr;
}

int ButtonGlyphRow(char letter)
{
    switch (letter) {
    case 's': return 31;
    case 'c': case 'o': return 62;
    case 'x': return 93;
    case 'a': case 't': return 125;
    default: return 0;
    }
}

void UserInterface::DrawButtonIcons(float xOffs, float yOffs, float* Pos, char* Buttons, int nButtons)
{
    if (nButtons <= 0)
        return;
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetTexture(&IconsButtonsTexture(), TEXMODE_DECAL);
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.SetAntiAlias(true);
    r2d.SetAlphaTest(ALPHATEST_GREATER, 0, ALPHAFAIL_KEEP);
    for (int i = 0; i < nButtons; i++) {
        const float x = xOffs + Pos[2 * i], y = yOffs + Pos[2 * i + 1];
        const float r = float(ButtonGlyphRow(Buttons[i]));
        r2d.DrawSprite(Rectf{x, y, 28.0f, 28.0f}, Rectf{0.0f, r, 28.0f, 28.0f}, kTopZ);
    }
    r2d.Close(therenderer);
    r2d.texture = nullptr;
}

// ---------------------------------------------------------------- the screen

void UserInterface::MapInfoText(UIMenu* menu)
{
    char line[128];
    if (zsTargetInfo != nullptr) {
        snprintf(line, sizeof line, "|%s > %.2f mi|", zsTargetInfo, TargetDist * kMilesPerUnit);
    } else {
        if (const RoadSeg* seg = FindRoadSeg(CurseWorld))
            LastStreetID = seg->id;
        int len = 0;
        const char* name = LastStreetID >= 0 ? world.GetRoadName(len, LastStreetID) : nullptr;
        snprintf(line, sizeof line, "|%.*s > %.2f mi|", name != nullptr ? len : 0, name != nullptr ? name : "",
                 CurseDist * kMilesPerUnit);
    }
    if (g_pGUIFont == nullptr)
        return;
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetColour(Colour(0, 12, 28, u8(menu->Alpha * 128.0f)));
    g_pGUIFont->Print(r2d, 176.0f + menu->OffsX, 32.0f + menu->OffsY, 0.0f, line, -1);
    snprintf(line, sizeof line, "|Press SELECT to continue | zoom %dx|", ZoomLevel + 1);
    g_pGUIFont->Print(r2d, 32.0f + menu->OffsX, 408.0f + menu->OffsY, 0.0f, line, -1);
    r2d.Close(therenderer);
}

// The zoom level a Circle (out) or Square (in) press aims at from the scale.
int NextZoomLevel(float scale, bool zoomIn)
{
    if (!zoomIn) {
        for (int l = 1; l < NUM_MAP_ZOOMS; l++)
            if (aMapScalePresets[l] - 50.0f < scale)
                return l - 1;
        return NUM_MAP_ZOOMS - 1;
    }
    for (int l = NUM_MAP_ZOOMS - 1; l >= 2; l--)
        if (scale < aMapScalePresets[l - 1] + 50.0f)
            return l;
    return 1;
}

void UserInterface::GPSMenuCode(UIMenu* menu, UIItem* item, UIAction action, void*)
{
    if (item != nullptr) {
        if (action == UI_Init)
            item->DrawBars = false;
        return;
    }
    if (action == UI_Init) {
        save_vsyncperdraw = vsyncperdraw;
        vsyncperdraw = 1;
        MapCenter = PlayerPosition();
        MapCenter[1] = 0.0f;
        ZoomLevel = 4;
        ZoomLeft = 0;
        MapScale = std::max(aMapScalePresets[4], 250.0f);
        MapCursor = Vector(152.0f, 96.0f, 0.0f, 0.0f);
        menu->AnalogDZone = 40;
        return;
    }
    if (action == UI_Exit) {
        vsyncperdraw = save_vsyncperdraw;
        CloseScreen();
        return;
    }
    if (action != UI_Update)
        return;

    if (menu->HitPad & UIPAD_SELECT)
        menu->Exit = true;
    // Move: the stick moves the cursor, else the d-pad pans the map.
    if (menu->isAnalogPad) {
        MapCursor[0] -= menu->AnalogX * 14.0f;
        MapCursor[1] -= menu->AnalogY * 14.0f;
    } else {
        const float dx = (menu->Pad & UIPAD_RIGHT) ? 1.0f : (menu->Pad & UIPAD_LEFT) ? -1.0f : 0.0f;
        const float dz = (menu->Pad & UIPAD_DOWN) ? -1.0f : (menu->Pad & UIPAD_UP) ? 1.0f : 0.0f;
        MapCenter[0] += dx * 0.0125f * MapScale;
        MapCenter[2] += dz * 0.0125f * MapScale;
    }
    // A cursor pushed past the edges scrolls the map instead.
    const float cx = std::clamp(MapCursor[0], 24.0f, 408.0f), cy = std::clamp(MapCursor[1], 24.0f, 296.0f);
    MapCenter[0] -= (cx - MapCursor[0]) * MapScale / 1120.0f;
    MapCenter[2] += (cy - MapCursor[1]) * MapScale / 1120.0f;
    MapCursor[0] = cx;
    MapCursor[1] = cy;
    // Zoom.
    const float before = MapScale;
    if (ZoomLeft > 0) {
        MapScale += AutoZoomAdd;
        if (--ZoomLeft == 0)
            MapScale = aMapScalePresets[ZoomLevel];
    } else if (menu->HitPad & (UIPAD_CIRCLE | UIPAD_SQUARE)) {
        const int level = NextZoomLevel(MapScale, (menu->HitPad & UIPAD_CIRCLE) == 0);
        ZoomLevel = u8(level);
        const float change = aMapScalePresets[level] - MapScale;
        ZoomLeft = u8(std::min(255.0f, std::fabs(change) / 45.0f));
        // A change below one step leaves the scale where it is.
        AutoZoomAdd = ZoomLeft > 0 ? change / float(ZoomLeft) : 0.0f;
        PlayUISample(1);
    }
    MapScale = std::clamp(MapScale, 100.0f, 1000.0f);
    const float f = 1.0f - MapScale / before;
    MapCenter[0] += (CurseWorld[0] - MapCenter[0]) * f;
    MapCenter[2] += (CurseWorld[2] - MapCenter[2]) * f;

    // The map goes straight into the frame, under the symbols and texts.
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetTextureOff();
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.DrawRect(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(640.0f).v, PixelY(512.0f).v, kGround, kTopZ);
    const VectorPos oldCentre = MapCenter;
    const float oldScale = MapScale;
    Rectf rect{0.0f, 0.0f, 640.0f, 512.0f};
    DrawMapScreenMap(r2d, &MapScale, kMapAspect, &MapCenter, rect);
    if (MapScale == oldScale && !(MapCenter == oldCentre)) {
        CurseWorld[0] += oldCentre[0] - MapCenter[0];
        CurseWorld[2] += oldCentre[2] - MapCenter[2];
        MapCursor[0] += (oldCentre[0] - MapCenter[0]) * 432.0f / MapScale;
        MapCursor[1] += (MapCenter[2] - oldCentre[2]) * 432.0f / MapScale;
    }
    r2d.Close(therenderer);

    const MapView view = ClampView(MapScale, kMapAspect, MapCenter);
    Cuboid box = view.box;
    DrawMapIcons(box, rect, int(menu->Counter));

    if (menu->Pad & UIPAD_CROSS) {
        Render2D t;
        t.Open(therenderer);
        t.SetTextureOff();
        t.SetAlpha(ALPHA_BLEND);
        t.SetColour(Colour(192, 0, 0, 128));
        const float sx = CurseScreen[0], sy = CurseScreen[1];
        t.Begin(PRIM_TRI);
        t.SetVertex(-16.0f, 496.0f, kTopZ);
        t.SetVertex(16.0f, 528.0f, kTopZ);
        t.SetVertex(sx, sy, kTopZ);
        t.SetVertex(656.0f, 496.0f, kTopZ);
        t.SetVertex(624.0f, 528.0f, kTopZ);
        t.SetVertex(sx, sy, kTopZ);
        t.End();
        t.prim_reg &= ~7u;
        t.Close(therenderer);
    }
    // The texts go over the map: the information lines and the legend.
    MapInfoText(menu);
    Render2D text;
    text.Open(therenderer);
    if (g_pGUIHead != nullptr) {
        text.SetColour(Colour(0, 12, 32, u8(menu->Alpha * 128.0f)));
        g_pGUIHead->Print(text, menu->TitleX + menu->OffsX, menu->TitleY + menu->OffsY, 0.0f, menu->zsTitle, -1);
    }
    if (g_pGUIFont != nullptr)
        for (UIColumn* col = menu->pCol; col != nullptr; col = col->pNext)
            for (int i = 0; i < col->nItems; i++) {
                const UIItem& it = col->aItems[i];
                text.SetColour(Colour(0, 12, 28, u8(it.Alpha * menu->Alpha * 128.0f)));
                g_pGUIFont->Print(text, col->x0 + menu->OffsX, col->y0 + col->dy * float(i) + menu->OffsY, 0.0f,
                                  it.zsTitle != nullptr ? it.zsTitle : "", -1);
            }
    text.Close(therenderer);
}
