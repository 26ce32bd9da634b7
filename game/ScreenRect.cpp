// Screen anchors.
#include "game/ScreenRect.h"

#include "game/MAIN.h"

int ScreenPoint::safeX = 0;
int ScreenPoint::safeY = 0;

int ScreenPoint::MapX(int x, u32 flags)
{
    int px = int(float(x) * rc.ax);
    if (flags & SCRPOS_LEFT)
        px += safeX;
    else if (flags & SCRPOS_RIGHT)
        px += int(rc.scrw) - safeX;
    else if (flags & SCRPOS_CENTERW)
        px += int(rc.scrw * 0.5f);
    return px;
}

int ScreenPoint::MapY(int y, u32 flags)
{
    int py = y;
    if (flags & SCRPOS_TOP)
        py += safeY;
    else if (flags & SCRPOS_BOTTOM)
        py += int(rc.scrh) - safeY;
    else if (flags & SCRPOS_CENTERH)
        py += int(rc.scrh * 0.5f);
    return py;
}

int ScreenRect::MapW() const
{
    return int(float(w) * rc.ax);
}
