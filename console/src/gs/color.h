// A colour on its way through the pixel pipeline: 8-bit channels widened to
// signed integers, so blending and dithering can leave 0..255 before the
// colour clamp brings them back.
#pragma once

#include <ee/types.h>

namespace console::gs {

struct Color {
    s32 r = 0;
    s32 g = 0;
    s32 b = 0;
    s32 a = 0;

    bool operator==(const Color&) const = default;
};

// RGBA bytes of a 32-bit colour as the GS stores it (R in the low byte).
inline Color UnpackColor(u32 rgba)
{
    return {static_cast<s32>(rgba & 0xFF), static_cast<s32>((rgba >> 8) & 0xFF), static_cast<s32>((rgba >> 16) & 0xFF),
            static_cast<s32>(rgba >> 24)};
}

// The low byte of each channel packed back into 32 bits.
inline u32 PackColor(const Color& c)
{
    return (static_cast<u32>(c.r) & 0xFF) | ((static_cast<u32>(c.g) & 0xFF) << 8) |
           ((static_cast<u32>(c.b) & 0xFF) << 16) | ((static_cast<u32>(c.a) & 0xFF) << 24);
}

// A 16-bit pixel (5:5:5:1) widened as the GS widens it when it reads one:
// each channel shifted up by three, the alpha bit as 0x80 or 0.
inline u32 Expand16(u32 pixel)
{
    return ((pixel & 0x1F) << 3) | (((pixel >> 5) & 0x1F) << 11) | (((pixel >> 10) & 0x1F) << 19) |
           ((pixel & 0x8000) ? 0x80000000u : 0u);
}

// A 32-bit colour narrowed to 16 bits: the top five bits of each channel and
// the top bit of alpha.
inline u32 Narrow16(u32 rgba)
{
    return ((rgba >> 3) & 0x1F) | (((rgba >> 11) & 0x1F) << 5) | (((rgba >> 19) & 0x1F) << 10) |
           ((rgba >> 31) << 15);
}

}  // namespace console::gs
