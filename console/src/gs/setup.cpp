#include "gs/setup.h"

#include <algorithm>

#include "core/diag.h"
#include "gs/raster.h"

namespace console::gs {
namespace {

bool g_not_drawn_reported[8] = {};
bool g_aa1_reported = false;

// The first pixel whose sample position 16 px is at or after `c` (1/16 pixel).
s32 FirstPixelAtOrAfter(s32 c)
{
    return (c + 15) >> 4;
}

void ReportNotDrawn(PrimType type)
{
    bool& reported = g_not_drawn_reported[static_cast<u32>(type) & 7];
    if (reported)
        return;
    reported = true;
    Diag(Level::kWarning, "gs", "%s primitives are queued and kicked but not drawn yet", PrimTypeName(type));
}

void SetupPoint(const DrawEnv&, const Vertex&)
{
    ReportNotDrawn(PrimType::kPoint);
}

void SetupLine(PrimType type, const DrawEnv&, const Vertex&, const Vertex&)
{
    ReportNotDrawn(type);
}

void SetupTriangle(PrimType type, const DrawEnv&, const Vertex&, const Vertex&, const Vertex&)
{
    ReportNotDrawn(type);
}

}  // namespace

bool SetupSprite(const DrawEnv& env, const Vertex& v0, const Vertex& v1, SpriteSetup& s)
{
    s.x0 = static_cast<s32>(v0.x) - static_cast<s32>(env.ofx);
    s.y0 = static_cast<s32>(v0.y) - static_cast<s32>(env.ofy);
    s.x1 = static_cast<s32>(v1.x) - static_cast<s32>(env.ofx);
    s.y1 = static_cast<s32>(v1.y) - static_cast<s32>(env.ofy);
    s.px_begin = std::max(FirstPixelAtOrAfter(std::min(s.x0, s.x1)), env.scax0);
    s.px_end = std::min(FirstPixelAtOrAfter(std::max(s.x0, s.x1)), env.scax1 + 1);
    s.py_begin = std::max(FirstPixelAtOrAfter(std::min(s.y0, s.y1)), env.scay0);
    s.py_end = std::min(FirstPixelAtOrAfter(std::max(s.y0, s.y1)), env.scay1 + 1);
    if (s.px_begin >= s.px_end || s.py_begin >= s.py_end)
        return false;
    s.u0 = static_cast<s32>(v0.u);
    s.u1 = static_cast<s32>(v1.u);
    s.v0 = static_cast<s32>(v0.v);
    s.v1 = static_cast<s32>(v1.v);
    s.s0 = v0.s;
    s.s1 = v1.s;
    s.t0 = v0.t;
    s.t1 = v1.t;
    s.q = v1.q;
    s.color = UnpackColor(v1.rgba);
    s.z = v1.z;
    s.fog = v1.f;
    return true;
}

void DrawPrimitive(PrimType type, const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const Vertex* v)
{
    if (env.prim.aa1 && !g_aa1_reported) {
        g_aa1_reported = true;
        Trace("gs", "PRIM AA1 (antialiasing) is ignored");
    }
    switch (type) {
    case PrimType::kPoint: SetupPoint(env, v[0]); return;
    case PrimType::kLine:
    case PrimType::kLineStrip: SetupLine(type, env, v[0], v[1]); return;
    case PrimType::kTriangle:
    case PrimType::kTriangleStrip:
    case PrimType::kTriangleFan: SetupTriangle(type, env, v[0], v[1], v[2]); return;
    case PrimType::kSprite: {
        SpriteSetup sprite;
        if (SetupSprite(env, v[0], v[1], sprite))
            RasterizeSprite(env, sprite, memory, clut);
        return;
    }
    case PrimType::kReserved: return;
    }
}

void ResetSetupReports()
{
    for (bool& r : g_not_drawn_reported)
        r = false;
    g_aa1_reported = false;
}

}  // namespace console::gs
