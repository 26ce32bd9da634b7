#include "gs/pixel.h"

#include <algorithm>

namespace console::gs {
namespace {

bool DepthPasses(DepthTest test, u32 z, u32 stored)
{
    switch (test) {
    case DepthTest::kNever: return false;
    case DepthTest::kAlways: return true;
    case DepthTest::kGequal: return z >= stored;
    case DepthTest::kGreater: return z > stored;
    }
    return true;
}

// The destination as blending and FBMSK see it: 32-bit RGBA, 16-bit pixels
// widened, and a 24-bit target's missing alpha read as 0x80.
u32 DestinationColor(const FrameTarget& frame, u32 raw)
{
    if (frame.is16)
        return Expand16(raw);
    if (!frame.has_alpha)
        return (raw & 0xFFFFFF) | 0x80000000u;
    return raw;
}


}  // namespace

bool AlphaPasses(AlphaTest test, s32 a, u32 aref)
{
    const s32 ref = static_cast<s32>(aref);
    switch (test) {
    case AlphaTest::kNever: return false;
    case AlphaTest::kAlways: return true;
    case AlphaTest::kLess: return a < ref;
    case AlphaTest::kLequal: return a <= ref;
    case AlphaTest::kEqual: return a == ref;
    case AlphaTest::kGequal: return a >= ref;
    case AlphaTest::kGreater: return a > ref;
    case AlphaTest::kNotequal: return a != ref;
    }
    return true;
}

Color ApplyTextureFunction(u32 tfx, bool tcc, const Color& f, const Color& t)
{
    Color v;
    switch (static_cast<TextureFunction>(tfx & 3)) {
    case TextureFunction::kModulate:
        v.r = std::min(255, (f.r * t.r) >> 7);
        v.g = std::min(255, (f.g * t.g) >> 7);
        v.b = std::min(255, (f.b * t.b) >> 7);
        v.a = tcc ? std::min(255, (f.a * t.a) >> 7) : f.a;
        break;
    case TextureFunction::kDecal:
        v = t;
        v.a = tcc ? t.a : f.a;
        break;
    case TextureFunction::kHighlight:
    case TextureFunction::kHighlight2:
        v.r = std::min(255, ((f.r * t.r) >> 7) + f.a);
        v.g = std::min(255, ((f.g * t.g) >> 7) + f.a);
        v.b = std::min(255, ((f.b * t.b) >> 7) + f.a);
        if ((tfx & 3) == static_cast<u32>(TextureFunction::kHighlight))
            v.a = tcc ? std::min(255, t.a + f.a) : f.a;
        else
            v.a = tcc ? t.a : f.a;
        break;
    }
    return v;
}

Color ApplyFog(const Color& c, u32 f, u32 fogcol)
{
    const s32 fi = static_cast<s32>(f & 0xFF), fo = 255 - fi;
    const Color fc = UnpackColor(fogcol);
    return {(fi * c.r + fo * fc.r) >> 8, (fi * c.g + fo * fc.g) >> 8, (fi * c.b + fo * fc.b) >> 8, c.a};
}

PixelRow::PixelRow(const DrawEnv& env, u32 y)
    : y_(y),
      frame_(LayoutOf(env.frame.psm), env.frame.bp, env.frame.bw, y),
      depth_(LayoutOf(env.depth.psm), env.depth.bp, env.frame.bw, y)
{
}

void WritePixel(const DrawEnv& env, LocalMemory& memory, const PixelRow& row, u32 x, const Color& c, u32 z)
{
    // 4. Alpha test.  A failing pixel still writes what its fail action allows.
    bool write_frame = true;
    bool write_depth = env.depth.used && env.depth.write;
    u32 mask = env.frame.fbmsk;
    if (env.ate && !AlphaPasses(env.atst, c.a, env.aref)) {
        switch (env.afail) {
        case AlphaFail::kKeep: return;
        case AlphaFail::kFbOnly: write_depth = false; break;
        case AlphaFail::kZbOnly: write_frame = false; break;
        case AlphaFail::kRgbOnly:
            write_depth = false;
            mask |= 0xFF000000u;
            break;
        }
    }

    const u32 frame_offset = row.FrameOffset(x);
    const Psm fpsm = env.frame.psm;
    bool have_raw = false;
    u32 raw = 0;
    auto frame_raw = [&] {
        if (!have_raw) {
            raw = memory.ReadAt(fpsm, frame_offset);
            have_raw = true;
        }
        return raw;
    };

    // Destination alpha test on the frame buffer's alpha bit (24-bit targets
    // have none and always pass).
    if (env.date && env.frame.has_alpha) {
        const u32 bit = env.frame.is16 ? (frame_raw() >> 15) & 1 : frame_raw() >> 31;
        if (bit != env.datm)
            return;
    }

    // 5. Depth test and write, Z clamped to what the format holds.
    if (env.depth.used) {
        const u32 depth_offset = row.DepthOffset(x);
        const u32 zs = std::min(z, env.depth.max);
        if (env.depth.test && !DepthPasses(env.depth.method, zs, memory.ReadAt(env.depth.psm, depth_offset)))
            return;
        if (write_depth)
            memory.DrawAt(env.depth.psm, depth_offset, zs);
    }
    if (!write_frame)
        return;

    // 6. Blending: ((A - B) x C >> 7) + D per colour channel; alpha is not
    // blended.  With PABE only sources whose alpha MSB is set blend.
    const bool blend = env.blend && !(env.pabe && c.a < 0x80);
    u32 dest = 0;
    if (blend || mask != 0)
        dest = DestinationColor(env.frame, frame_raw());
    Color out = c;
    if (blend)
        out = BlendColor(env.sel_a, env.sel_b, env.sel_c, env.sel_d, static_cast<s32>(env.fix), c, UnpackColor(dest));

    // 7. Dithering (16-bit targets only) and 8. the colour clamp.
    DitherAndClamp(env.dither ? env.dimx[row.Y() & 3][x & 3] : 0, env.colclamp, out);

    // 9. FBA forces the alpha MSB.
    if (env.fba)
        out.a |= 0x80;

    // 10. FBMSK on the 32-bit value, then the format's conversion.
    u32 rgba = PackColor(out);
    if (mask != 0)
        rgba = (rgba & ~mask) | (dest & mask);
    memory.DrawAt(fpsm, frame_offset, env.frame.is16 ? Narrow16(rgba) : rgba);
}

}  // namespace console::gs
