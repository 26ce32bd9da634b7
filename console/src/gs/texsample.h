// The texture sampler: texel addressing with the four wrap modes, expansion
// of every texture format to 8-bit RGBA (TEXA for the 24- and 16-bit ones,
// the CLUT buffer for indexed ones), and the nearest and bilinear filters.
// Coordinates come in 1/16 texel, the precision the GS samples at; texel
// centres lie at +8.
#pragma once

#include <ee/types.h>

#include <algorithm>

#include "gs/clut.h"
#include "gs/color.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"

namespace console::gs {

// Wrap modes (WMS/WMT).
inline constexpr u32 kWrapRepeat = 0;
inline constexpr u32 kWrapClamp = 1;
inline constexpr u32 kWrapRegionClamp = 2;
inline constexpr u32 kWrapRegionRepeat = 3;

// A texel coordinate after the axis's wrap mode: REPEAT modulo the size,
// CLAMP to 0 .. size - 1, REGION_CLAMP to MIN .. MAX, REGION_REPEAT
// (c & MIN) | MAX.
inline s32 WrapCoordinate(s32 c, u32 mode, u32 size_log2, u32 min, u32 max)
{
    switch (mode) {
    case kWrapRepeat: return c & ((1 << size_log2) - 1);
    case kWrapClamp: return std::clamp(c, 0, (1 << size_log2) - 1);
    case kWrapRegionClamp: return std::max(static_cast<s32>(min), std::min(c, static_cast<s32>(max)));
    default: return (c & static_cast<s32>(min)) | static_cast<s32>(max);
    }
}

// A stored texel of the texture's format as RGBA8.
Color ExpandTexel(const TextureEnv& tex, const ClutBuffer& clut, u32 raw);

// Texel (u, v) of level 0, both already wrapped.
Color FetchTexel(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u, s32 v);

// Nearest: the texel of level 0 containing (u, v).
Color SampleNearest(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16);

// Bilinear: the 2 x 2 texels of level 0 around (u - 0.5, v - 0.5), weighted
// by the four fractional bits of that position on each axis.
Color SampleBilinear(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16);

// What the level of detail selects for one pixel.
struct LodChoice {
    bool linear = false;  // bilinear within a level, else nearest
    u32 level = 0;        // the mip level read (the finer one when mixing)
    // MIPMAP_LINEAR between `level` and `level` + 1: the coarser level's
    // weight in 1/16 (0 reads `level` alone).
    u32 mix16 = 0;
};

// The level of detail in 1/16 for a pixel whose Q is `q` (1 for UV
// coordinates): LCM 0 gives (log2(1 / |Q|) << L) + K, LCM 1 gives K.  Q = 0
// counts as the smallest texture there is.
s32 LevelOfDetail16(const TextureEnv& tex, float q);

// The filter and level(s) for a level of detail: MMAG when it is 0 or less,
// MMIN otherwise.  The MIPMAP_NEAREST modes read the level nearest the LOD,
// the MIPMAP_LINEAR modes mix the two levels around it by its fraction; levels
// stop at MXL.
LodChoice ChooseLod(const TextureEnv& tex, s32 lod16);

// Both steps for a Q (the choice for a whole primitive when its Q is fixed).
inline LodChoice ChooseLodForQ(const TextureEnv& tex, float q)
{
    return ChooseLod(tex, tex.lod_matters ? LevelOfDetail16(tex, q) : 0);
}

// The texture colour at (u, v) in 1/16 texel of level 0 with the filter and
// level(s) `lod` chose.  On level n the coordinates, the size and the region
// bounds are level 0's shifted right by n.
Color SampleTexture(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, const LodChoice& lod,
                    s32 u16, s32 v16);

// SampleTexture with what stays fixed over a primitive worked out once: each
// level's bounds and base, the layout of the texture's format, and a direct
// read for 32-bit texels.  Sample gives exactly what SampleTexture gives for
// the same arguments; the rasterizer's fast paths use it.
class PrimitiveSampler {
public:
    PrimitiveSampler(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut);

    Color Sample(const LodChoice& lod, s32 u16, s32 v16) const;

private:
    struct Level {
        u32 tbp, tbw;
        u32 tw, th;
        u32 minu, maxu, minv, maxv;
    };

    Color Fetch(const Level& l, s32 u, s32 v) const;
    Color SampleLevel(u32 n, bool linear, s32 u16, s32 v16) const;

    const TextureEnv& tex_;
    const LocalMemory& memory_;
    const ClutBuffer& clut_;
    const Layout& layout_;
    bool direct32_;
    Level levels_[7];
};

// Reports once that TEX1 asks for automatic mip bases (MTBA), which the
// sampler does not derive: MIPTBP1 is used as written.
void ReportAutomaticMipBases();

// Reports once that TEX1's MXL is 7, which names no level; the sampler
// treats it as 6.
void ReportMxlBeyondLevels(u32 mxl);

// Lets the once-only reports appear again (GS reset).
void ResetSamplerReports();

}  // namespace console::gs
