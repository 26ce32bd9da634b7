#include "gs/texsample.h"

#include <algorithm>
#include <cmath>

#include "core/diag.h"

namespace console::gs {
namespace {

bool g_mip_reported = false;

// 16-bit texel or CLUT entry with TEXA: the alpha bit picks TA1 or TA0, and
// with AEM a black texel whose alpha bit is clear is fully transparent.
Color Expand16WithTexa(const TextureEnv& tex, u32 pixel)
{
    const u32 rgb = pixel & 0x7FFF;
    Color c = UnpackColor(Expand16(pixel));
    c.a = static_cast<s32>((pixel & 0x8000) ? tex.ta1 : ((tex.aem && rgb == 0) ? 0 : tex.ta0));
    return c;
}

Color ExpandClutEntry(const TextureEnv& tex, u32 entry)
{
    if (tex.cpsm == kCpsmCT32)
        return UnpackColor(entry);
    return Expand16WithTexa(tex, entry);
}

}  // namespace

s32 WrapCoordinate(s32 c, u32 mode, u32 size_log2, u32 min, u32 max)
{
    switch (mode) {
    case kWrapRepeat: return c & ((1 << size_log2) - 1);
    case kWrapClamp: return std::clamp(c, 0, (1 << size_log2) - 1);
    case kWrapRegionClamp: return std::max(static_cast<s32>(min), std::min(c, static_cast<s32>(max)));
    default: return (c & static_cast<s32>(min)) | static_cast<s32>(max);
    }
}

Color ExpandTexel(const TextureEnv& tex, const ClutBuffer& clut, u32 raw)
{
    switch (tex.psm) {
    case Psm::kCT32:
    case Psm::kZ32: return UnpackColor(raw);
    case Psm::kCT24:
    case Psm::kZ24: {
        Color c = UnpackColor(raw & 0xFFFFFF);
        c.a = static_cast<s32>((tex.aem && (raw & 0xFFFFFF) == 0) ? 0 : tex.ta0);
        return c;
    }
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ16:
    case Psm::kZ16S: return Expand16WithTexa(tex, raw);
    default: return ExpandClutEntry(tex, clut.Entry(tex.cpsm, tex.csa, tex.index_bits, raw));
    }
}

Color FetchTexel(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u, s32 v)
{
    const u32 raw = memory.ReadPixel(tex.psm, tex.tbp, tex.tbw, static_cast<u32>(u), static_cast<u32>(v));
    return ExpandTexel(tex, clut, raw);
}

Color SampleNearest(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16)
{
    const s32 u = WrapCoordinate(u16 >> 4, tex.wms, tex.tw, tex.minu, tex.maxu);
    const s32 v = WrapCoordinate(v16 >> 4, tex.wmt, tex.th, tex.minv, tex.maxv);
    return FetchTexel(tex, memory, clut, u, v);
}

Color SampleBilinear(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16)
{
    const s32 us = u16 - 8, vs = v16 - 8;
    const s32 fu = us & 15, fv = vs & 15;
    const s32 u0 = WrapCoordinate(us >> 4, tex.wms, tex.tw, tex.minu, tex.maxu);
    const s32 u1 = WrapCoordinate((us >> 4) + 1, tex.wms, tex.tw, tex.minu, tex.maxu);
    const s32 v0 = WrapCoordinate(vs >> 4, tex.wmt, tex.th, tex.minv, tex.maxv);
    const s32 v1 = WrapCoordinate((vs >> 4) + 1, tex.wmt, tex.th, tex.minv, tex.maxv);
    const Color t00 = FetchTexel(tex, memory, clut, u0, v0);
    const Color t10 = FetchTexel(tex, memory, clut, u1, v0);
    const Color t01 = FetchTexel(tex, memory, clut, u0, v1);
    const Color t11 = FetchTexel(tex, memory, clut, u1, v1);
    const s32 w00 = (16 - fu) * (16 - fv), w10 = fu * (16 - fv), w01 = (16 - fu) * fv, w11 = fu * fv;
    auto mix = [&](s32 Color::*ch) { return (t00.*ch * w00 + t10.*ch * w10 + t01.*ch * w01 + t11.*ch * w11) >> 8; };
    return {mix(&Color::r), mix(&Color::g), mix(&Color::b), mix(&Color::a)};
}

bool UsesBilinear(const TextureEnv& tex, float q)
{
    // LOD in 1/16 units: K is 7.4 fixed point already.
    s32 lod16 = tex.k;
    if (!tex.lcm) {
        const float aq = std::fabs(q);
        const float log_inv_q = aq > 0.0f ? -std::log2(aq) : 64.0f;
        lod16 += static_cast<s32>(std::floor(log_inv_q * 16.0f)) * (1 << tex.l);
    }
    if (lod16 <= 0)
        return tex.mag_linear;
    if (tex.mxl > 0 && tex.mmin >= 2 && !g_mip_reported) {
        g_mip_reported = true;
        Diag(Level::kWarning, "gs", "mip levels above 0 are not sampled yet; level 0 is used");
    }
    // MMIN 0 nearest, 1 linear, 2 and 3 nearest within a level, 4 and 5
    // linear within a level.
    return tex.mmin == 1 || tex.mmin == 4 || tex.mmin == 5;
}

void ResetSamplerReports()
{
    g_mip_reported = false;
}

}  // namespace console::gs
