// The texture sampler: texel addressing with the four wrap modes, expansion
// of every texture format to 8-bit RGBA (TEXA for the 24- and 16-bit ones,
// the CLUT buffer for indexed ones), and the nearest and bilinear filters.
// Coordinates come in 1/16 texel, the precision the GS samples at; texel
// centres lie at +8.
#pragma once

#include <ee/types.h>

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
s32 WrapCoordinate(s32 c, u32 mode, u32 size_log2, u32 min, u32 max);

// A stored texel of the texture's format as RGBA8.
Color ExpandTexel(const TextureEnv& tex, const ClutBuffer& clut, u32 raw);

// Texel (u, v) of level 0, both already wrapped.
Color FetchTexel(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u, s32 v);

// Nearest: the texel containing (u, v).
Color SampleNearest(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16);

// Bilinear: the 2 x 2 texels around (u - 0.5, v - 0.5), weighted by the four
// fractional bits of that position on each axis.
Color SampleBilinear(const TextureEnv& tex, const LocalMemory& memory, const ClutBuffer& clut, s32 u16, s32 v16);

// Whether a primitive with this Q (1 for UV coordinates) samples bilinearly:
// the level of detail picks MMAG when it is 0 or less, MMIN otherwise.
// Reports once when the LOD would need a mip level above 0, which this
// sampler does not read yet (level 0 is used).
bool UsesBilinear(const TextureEnv& tex, float q);

// Lets the once-only mip report appear again (GS reset).
void ResetSamplerReports();

}  // namespace console::gs
