// The graphics library's display calls: reset with the video mode, the
// default display environment and writing it to the display registers.
#include <ee/graph.h>
#include <ee/regs.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/diag.h"
#include "gs/display.h"
#include "gs/gs.h"

namespace console::gs {
namespace {

// Where a mode's visible picture starts (video clock units, raster lines) and
// how many clock units its visible line holds.  A default display spreads the
// buffer's width over the visible line in whole clock units per pixel.
struct ModeGeometry {
    uint32_t origin_x;
    uint32_t origin_y;
    uint32_t line_clocks;
};

ModeGeometry GeometryOf(VideoMode mode)
{
    switch (mode) {
    case VideoMode::kNtsc: return {636, 50, 2560};
    case VideoMode::kPal: return {656, 72, 2560};
    case VideoMode::k480p: return {232, 35, 1440};
    }
    return {656, 72, 2560};
}

bool DisplayablePsm(int psm)
{
    return psm == 0x00 || psm == 0x01 || psm == 0x02 || psm == 0x0A;
}

}  // namespace
}  // namespace console::gs

int sceGsResetGraph(short mode, short inter, short omode, short ffmode)
{
    using console::VideoMode;
    VideoMode video;
    switch (omode) {
    case 2: video = VideoMode::kNtsc; break;
    case 3: video = VideoMode::kPal; break;
    case 0x50: video = VideoMode::k480p; break;
    default:
        console::Diag(console::Level::kError, "gs", "sceGsResetGraph: unknown video mode 0x%X", omode);
        return -1;
    }
    if (mode != 0)
        console::Diag(console::Level::kWarning, "gs", "sceGsResetGraph: mode %d treated as 0", mode);
    const bool interlaced = video != VideoMode::k480p && inter != 0;
    console::gs::SetGraphMode({video, interlaced, ffmode != 0});
    console::SetVideoMode(video, interlaced);
    console::gs::ResetGs(false);

    // The display goes dark until a display environment is written.
    tGS_SMODE2 smode2{};
    smode2.INT = interlaced;
    smode2.FFMD = ffmode != 0;
    DPUT_GS_PMODE(0);
    DPUT_GS_SMODE2(std::bit_cast<u64>(smode2));
    return 0;
}

void sceGsSetDefDispEnv(sceGsDispEnv* disp, short psm, short w, short h, short dx, short dy)
{
    if (!disp) {
        console::Diag(console::Level::kError, "gs", "sceGsSetDefDispEnv: null environment");
        return;
    }
    std::memset(disp, 0, sizeof *disp);
    if (!console::gs::DisplayablePsm(psm) || w <= 0 || h <= 0 || w > 2048 || h > 2048) {
        console::Diag(console::Level::kError, "gs", "sceGsSetDefDispEnv: cannot display a %d x %d buffer of format 0x%X",
                      w, h, psm);
        return;
    }
    const console::gs::GraphMode graph = console::gs::CurrentGraphMode();
    const console::gs::ModeGeometry geo = console::gs::GeometryOf(graph.mode);

    // Read circuit 2 on, blended over the background with a fixed alpha.
    disp->pmode.EN1 = 0;
    disp->pmode.EN2 = 1;
    disp->pmode.CRTMD = 1;
    disp->pmode.MMOD = 1;
    disp->pmode.AMOD = 0;
    disp->pmode.SLBG = 0;
    disp->pmode.ALP = 0;

    disp->smode2.INT = graph.interlaced;
    disp->smode2.FFMD = graph.frame_mode;
    disp->smode2.DPMS = 0;

    disp->dispfb.FBP = 0;
    disp->dispfb.FBW = std::min((w + 63) / 64, 63);
    disp->dispfb.PSM = static_cast<u64>(psm);
    disp->dispfb.DBX = 0;
    disp->dispfb.DBY = 0;

    // Clock units per pixel, rounded to the nearest whole: 640 pixels take
    // 4 each of a 2,560-unit line, 2 each of a 1,440-unit one.
    const uint32_t per_pixel =
        std::clamp<uint32_t>((geo.line_clocks + static_cast<uint32_t>(w) / 2) / static_cast<uint32_t>(w), 1, 16);
    disp->display.MAGH = per_pixel - 1;
    disp->display.MAGV = 0;
    disp->display.DW = std::min<uint32_t>(per_pixel * static_cast<uint32_t>(w) - 1, 4095);
    disp->display.DH = static_cast<u64>(h - 1);
    const int x = static_cast<int>(geo.origin_x) + dx * static_cast<int>(per_pixel);
    const int y = static_cast<int>(geo.origin_y) + dy;
    disp->display.DX = static_cast<u64>(std::clamp(x, 0, 4095));
    disp->display.DY = static_cast<u64>(std::clamp(y, 0, 2047));

    disp->bgcolor = tGS_BGCOLOR{};
}

void sceGsPutDispEnv(const sceGsDispEnv* disp)
{
    if (!disp) {
        console::Diag(console::Level::kError, "gs", "sceGsPutDispEnv: null environment");
        return;
    }
    DPUT_GS_PMODE(std::bit_cast<u64>(disp->pmode));
    DPUT_GS_SMODE2(std::bit_cast<u64>(disp->smode2));
    DPUT_GS_DISPFB2(std::bit_cast<u64>(disp->dispfb));
    DPUT_GS_DISPLAY2(std::bit_cast<u64>(disp->display));
    DPUT_GS_BGCOLOR(std::bit_cast<u64>(disp->bgcolor));
}
