#include "gs/texsample.h"

#include <algorithm>
#include <cmath>

#include "core/diag.h"

namespace console::gs {
namespace {

bool g_mtba_reported = false;
bool g_mxl_reported = false;

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

namespace {

// One mip level as the filters address it.
struct LevelView {
    u32 tbp, tbw;
    u32 tw, th;  // log2 of the level's size
    u32 minu, maxu, minv, maxv;
};

LevelView ViewOfLevel(const TextureEnv& tex, u32 n)
{
    LevelView l;
    l.tbp = tex.level_tbp[n];
    l.tbw = tex.level_tbw[n];
    l.tw = tex.tw > n ? tex.tw - n : 0;
    l.th = tex.th > n ? tex.th - n : 0;
    l.minu = tex.minu >> n;
    l.maxu = tex.maxu >> n;
    l.minv = tex.minv >> n;
    l.maxv = tex.maxv >> n;
    return l;
}

Color FetchOn(const TextureEnv& tex, const LevelView& l, const LocalMemory& memory, const ClutBuffer& clut, s32 u,
              s32 v)
{
    const u32 raw = memory.ReadPixel(tex.psm, l.tbp, l.tbw, static_cast<u32>(u), static_cast<u32>(v));
    return ExpandTexel(tex, clut, raw);
}

Color NearestOn(const TextureEnv& tex, const LevelView& l, const LocalMemory& memory, const ClutBuffer& clut, s32 u16,
                s32 v16)
{
    const s32 u = WrapCoordinate(u16 >> 4, tex.wms, l.tw, l.minu, l.maxu);
    const s32 v = WrapCoordinate(v16 >> 4, tex.wmt, l.th, l.minv, l.maxv);
    return FetchOn(tex, l, memory, clut, u, v);
}

Color BilinearOn(const TextureEnv& tex, const LevelView& l, const LocalMemory& memory, const ClutBuffer& clut,
                 s32 u16, s32 v16)
{
    const s32 us = u16 - 8, vs = v16 - 8;
    const s32 fu = us & 15, fv = vs & 15;
    const s32 u0 = WrapCoordinate(us >> 4, tex.wms, l.tw, l.minu, l.maxu);
    const s32 u1 = WrapCoordinate((us >> 4) + 1, tex.wms, l.tw, l.minu, l.maxu);
    const s32 v0 = WrapCoordinate(vs >> 4, tex.wmt, l.th, l.minv, l.maxv);
    const s32 v1 = WrapCoordinate((vs >> 4) + 1, tex.wmt, l.th, l.minv, l.maxv);
    const Color t00 = FetchOn(tex, l, memory, clut, u0, v0);
    const Color t10 = FetchOn(tex, l, memory, clut, u1, v0);
    const Color t01 = FetchOn(tex, l, memory, clut, u0, v1);
    const Color t11 = FetchOn(tex, l, memory, clut, u1, v1);
    const s32 w00 = (16 - fu) * (16 - fv), w10 = fu * (16 - fv), w01 = (16 - fu) * fv, w11 = fu * fv;
    auto mix = [&](s32 Color::*ch) { return (t00.*ch * w00 + t10.*ch * w10 + t01.*ch * w01 + t11.*ch * w11) >> 8; };
    return {mix(&Color::r), mix(&Color::g), mix(&Color::b), mix(&Color::a)};
}

Color SampleLevel(const TextureEnv& tex, u32 n, bool linear, const LocalMemory& memory, const ClutBuffer& clut,
                  s32 u16, s32 v16)
{
    const LevelView l = ViewOfLevel(tex, n);
    // Level n's texels are 2^n of level 0's across: coordinates shift down.
    const s32 un = u16 >> n, vn = v16 >> n;
    return linear ? BilinearOn(tex, l, memory, clut, un, vn) : NearestOn(tex, l, memory, clut, un, vn);
}

}  // namespace

Color FetchTexel(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u, s32 v)
{
    return FetchOn(tex, ViewOfLevel(tex, 0), memory, clut, u, v);
}

Color SampleNearest(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16)
{
    return NearestOn(tex, ViewOfLevel(tex, 0), memory, clut, u16, v16);
}

Color SampleBilinear(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16)
{
    return BilinearOn(tex, ViewOfLevel(tex, 0), memory, clut, u16, v16);
}

s32 LevelOfDetail16(const TextureEnv& tex, float q)
{
    s32 lod16 = tex.k;
    if (!tex.lcm) {
        // log2(1 / |Q|) in 1/16, kept within what any level choice can use.
        const double aq = std::fabs(static_cast<double>(q));
        double log_inv_q = aq > 0.0 ? -std::log2(aq) : 64.0;
        log_inv_q = std::clamp(log_inv_q, -64.0, 64.0);
        lod16 += static_cast<s32>(std::floor(log_inv_q * 16.0)) * (1 << tex.l);
    }
    return lod16;
}

LodChoice ChooseLod(const TextureEnv& tex, s32 lod16)
{
    LodChoice c;
    if (lod16 <= 0) {
        c.linear = tex.mag_linear;
        return c;
    }
    // MMIN: 0 NEAREST, 1 LINEAR, 2 NEAREST_MIPMAP_NEAREST,
    // 3 NEAREST_MIPMAP_LINEAR, 4 LINEAR_MIPMAP_NEAREST, 5 LINEAR_MIPMAP_LINEAR.
    c.linear = tex.mmin == 1 || tex.mmin == 4 || tex.mmin == 5;
    const s32 mxl = static_cast<s32>(tex.mxl);
    switch (tex.mmin) {
    case 2:
    case 4: c.level = static_cast<u32>(std::min((lod16 + 8) >> 4, mxl)); break;
    case 3:
    case 5:
        if ((lod16 >> 4) >= mxl) {
            c.level = static_cast<u32>(mxl);
        } else {
            c.level = static_cast<u32>(lod16 >> 4);
            c.mix16 = static_cast<u32>(lod16 & 15);
        }
        break;
    default: break;
    }
    return c;
}

Color SampleTexture(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, const LodChoice& lod,
                    s32 u16, s32 v16)
{
    const Color fine = SampleLevel(tex, lod.level, lod.linear, memory, clut, u16, v16);
    if (lod.mix16 == 0)
        return fine;
    const Color coarse = SampleLevel(tex, lod.level + 1, lod.linear, memory, clut, u16, v16);
    const s32 w1 = static_cast<s32>(lod.mix16), w0 = 16 - w1;
    return {(fine.r * w0 + coarse.r * w1) >> 4, (fine.g * w0 + coarse.g * w1) >> 4, (fine.b * w0 + coarse.b * w1) >> 4,
            (fine.a * w0 + coarse.a * w1) >> 4};
}

PrimitiveSampler::PrimitiveSampler(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut)
    : tex_(tex),
      memory_(memory),
      clut_(clut),
      layout_(LayoutOf(tex.psm)),
      direct32_(tex.psm == Psm::kCT32 || tex.psm == Psm::kZ32)
{
    for (u32 n = 0; n < 7; ++n) {
        const LevelView v = ViewOfLevel(tex, n);
        levels_[n] = {v.tbp, v.tbw, v.tw, v.th, v.minu, v.maxu, v.minv, v.maxv};
    }
}

inline Color PrimitiveSampler::Fetch(const Level& l, s32 u, s32 v) const
{
    const u32 offset = PixelOffset(layout_, l.tbp, l.tbw, static_cast<u32>(u), static_cast<u32>(v));
    if (direct32_)
        return UnpackColor(memory_.Words()[offset & (kMemoryWords - 1)]);
    return ExpandTexel(tex_, clut_, memory_.ReadAt(tex_.psm, offset));
}

inline Color PrimitiveSampler::SampleLevel(u32 n, bool linear, s32 u16, s32 v16) const
{
    const Level& l = levels_[n];
    const s32 un = u16 >> n, vn = v16 >> n;
    if (!linear) {
        const s32 u = WrapCoordinate(un >> 4, tex_.wms, l.tw, l.minu, l.maxu);
        const s32 v = WrapCoordinate(vn >> 4, tex_.wmt, l.th, l.minv, l.maxv);
        return Fetch(l, u, v);
    }
    const s32 us = un - 8, vs = vn - 8;
    const s32 fu = us & 15, fv = vs & 15;
    const s32 u0 = WrapCoordinate(us >> 4, tex_.wms, l.tw, l.minu, l.maxu);
    const s32 u1 = WrapCoordinate((us >> 4) + 1, tex_.wms, l.tw, l.minu, l.maxu);
    const s32 v0 = WrapCoordinate(vs >> 4, tex_.wmt, l.th, l.minv, l.maxv);
    const s32 v1 = WrapCoordinate((vs >> 4) + 1, tex_.wmt, l.th, l.minv, l.maxv);
    const Color t00 = Fetch(l, u0, v0);
    const Color t10 = Fetch(l, u1, v0);
    const Color t01 = Fetch(l, u0, v1);
    const Color t11 = Fetch(l, u1, v1);
    const s32 w00 = (16 - fu) * (16 - fv), w10 = fu * (16 - fv), w01 = (16 - fu) * fv, w11 = fu * fv;
    return {(t00.r * w00 + t10.r * w10 + t01.r * w01 + t11.r * w11) >> 8,
            (t00.g * w00 + t10.g * w10 + t01.g * w01 + t11.g * w11) >> 8,
            (t00.b * w00 + t10.b * w10 + t01.b * w01 + t11.b * w11) >> 8,
            (t00.a * w00 + t10.a * w10 + t01.a * w01 + t11.a * w11) >> 8};
}

Color PrimitiveSampler::Sample(const LodChoice& lod, s32 u16, s32 v16) const
{
    const Color fine = SampleLevel(lod.level, lod.linear, u16, v16);
    if (lod.mix16 == 0)
        return fine;
    const Color coarse = SampleLevel(lod.level + 1, lod.linear, u16, v16);
    const s32 w1 = static_cast<s32>(lod.mix16), w0 = 16 - w1;
    return {(fine.r * w0 + coarse.r * w1) >> 4, (fine.g * w0 + coarse.g * w1) >> 4, (fine.b * w0 + coarse.b * w1) >> 4,
            (fine.a * w0 + coarse.a * w1) >> 4};
}

void ReportAutomaticMipBases()
{
    if (g_mtba_reported)
        return;
    g_mtba_reported = true;
    Diag(Level::kWarning, "gs", "TEX1 MTBA is not modelled: mip levels 1-3 keep the bases MIPTBP1 holds");
}

void ReportMxlBeyondLevels(u32 mxl)
{
    if (g_mxl_reported)
        return;
    g_mxl_reported = true;
    Diag(Level::kWarning, "gs", "TEX1 MXL %u is beyond the six mip levels; level 6 is the last", mxl);
}

void ResetSamplerReports()
{
    g_mtba_reported = false;
    g_mxl_reported = false;
}

}  // namespace console::gs
