// Screen anchors: HUD places given in the 640 x 512 layout relative to an
// edge or the centre of the screen, mapped each frame to the render
// context's size.  x and widths follow the horizontal aspect factor so the
// layout keeps its shape on a wide picture; y and heights do not.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"

// Anchor bits of a place's flags.
enum ScreenPos
{
    SCRPOS_NONE = 0,
    SCRPOS_LEFT = 1,      // x from the left edge, inside the safe margin
    SCRPOS_RIGHT = 2,     // x from the right edge, inside the safe margin
    SCRPOS_TOP = 4,
    SCRPOS_BOTTOM = 8,
    SCRPOS_CENTERW = 16,  // x from the horizontal centre
    SCRPOS_CENTERH = 32,  // y from the vertical centre
};

struct ScreenPoint
{
    int x, y;
    u32 flags;

    // The margin kept from the screen's edges by every anchor (0, 0 unless
    // a display asks for one).
    static int safeX, safeY;
    static void SetSafeZone(int x, int y)
    {
        safeX = x;
        safeY = y;
    }

    int MapX() const { return MapX(x, flags); }
    int MapY() const { return MapY(y, flags); }
    void MapPoint(int& px, int& py) const
    {
        px = MapX();
        py = MapY();
    }

    // The anchor rules, shared with ScreenRect.
    static int MapX(int x, u32 flags);
    static int MapY(int y, u32 flags);
};

struct ScreenRect
{
    int x, y, w, h;
    u32 flags;

    int MapX() const { return ScreenPoint::MapX(x, flags); }
    int MapY() const { return ScreenPoint::MapY(y, flags); }
    int MapW() const;
    int MapH() const { return h; }
    Rect MapRect() const { return Rect{s16(MapX()), s16(MapY()), s16(MapW()), s16(MapH())}; }
};
