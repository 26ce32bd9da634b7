#include "gs/raster.h"

#include <algorithm>
#include <cmath>

#include "gs/pixel.h"
#include "gs/texsample.h"

namespace console::gs {
namespace {

// floor(a / b) for any signs, b != 0.
s64 FloorDiv(s64 a, s64 b)
{
    s64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// A texture coordinate in 1/16 texel at pixel `p` of an axis whose sample
// positions run from c0 (coordinate t0) to c1 (coordinate t1), exactly.
s32 StepUv(s32 t0, s32 t1, s32 c0, s32 c1, s32 p)
{
    return static_cast<s32>(t0 + FloorDiv(static_cast<s64>(t1 - t0) * (16 * static_cast<s64>(p) - c0), c1 - c0));
}

// The same for S or T divided by Q and scaled to 1/16 texel of a texture
// 2^size_log2 texels across.
s32 StepStq(float t0, float t1, float q, u32 size_log2, s32 c0, s32 c1, s32 p)
{
    const double f = (16.0 * p - c0) / static_cast<double>(c1 - c0);
    const double t = t0 + (static_cast<double>(t1) - t0) * f;
    const double texels16 = std::floor(t / q * static_cast<double>(1 << size_log2) * 16.0);
    return static_cast<s32>(std::clamp(texels16, -1048576.0, 1048576.0));
}

bool RowMasked(u32 scanmsk, s32 y)
{
    return (scanmsk == 2 && (y & 1) == 0) || (scanmsk == 3 && (y & 1) == 1);
}

}  // namespace

void RasterizeSprite(const DrawEnv& env, const SpriteSetup& s, LocalMemory& memory, const ClutBuffer& clut)
{
    const bool textured = env.prim.tme;
    const bool uv = env.prim.fst;
    const bool bilinear = textured && UsesBilinear(env.tex, uv ? 1.0f : s.q);
    Color flat = s.color;
    if (!textured && env.prim.fge)
        flat = ApplyFog(flat, s.fog, env.fogcol);

    for (s32 py = s.py_begin; py < s.py_end; ++py) {
        if (RowMasked(env.scanmsk, py))
            continue;
        const PixelRow row(env, static_cast<u32>(py));
        s32 v16 = 0;
        if (textured)
            v16 = uv ? StepUv(s.v0, s.v1, s.y0, s.y1, py) : StepStq(s.t0, s.t1, s.q, env.tex.th, s.y0, s.y1, py);
        for (s32 px = s.px_begin; px < s.px_end; ++px) {
            Color c = flat;
            if (textured) {
                const s32 u16 =
                    uv ? StepUv(s.u0, s.u1, s.x0, s.x1, px) : StepStq(s.s0, s.s1, s.q, env.tex.tw, s.x0, s.x1, px);
                const Color t = bilinear ? SampleBilinear(env.tex, memory, clut, u16, v16)
                                         : SampleNearest(env.tex, memory, clut, u16, v16);
                c = ApplyTextureFunction(env.tex.tfx, env.tex.tcc, s.color, t);
                if (env.prim.fge)
                    c = ApplyFog(c, s.fog, env.fogcol);
            }
            WritePixel(env, memory, row, static_cast<u32>(px), c, s.z);
        }
    }
}

}  // namespace console::gs
