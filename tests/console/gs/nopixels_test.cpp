// --gs-no-pixels: runs that need the program's logic but not its pictures.
// The GS then takes every register as before but its primitives change no
// pixel; the option is taken at each reset.
#include <gtest/gtest.h>

#include "console/gs/gs_draw_support.h"
#include "core/config.h"
#include "gs/gs.h"

using namespace gstest;

namespace {

constexpr u32 kCT32 = 0x00;
constexpr u32 kFbw = 1;  // 64 pixels

u32 Pixel(u32 x, u32 y)
{
    return Vram().ReadPixel(Psm::kCT32, 0, kFbw, x, y);
}

// A reset with the option as given, then a red 4 x 4 sprite at the origin
// over a frame filled with 0x11223344.
void DrawWithOption(const char* value)
{
    console::SetOption("gs-no-pixels", value);
    ResetGs(true);
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 4; ++x)
            Vram().WritePixel(Psm::kCT32, 0, kFbw, x, y, 0x11223344u);
    SetUpContext(0, 0, kFbw, kCT32);
    FlatSprite(0, 0, 4, 4, Rgbaq(0xFF, 0, 0, 0x80));
}

}  // namespace

TEST(GsNoPixels, PrimitivesDrawNothingUntilAResetWithoutTheOption)
{
    DrawWithOption("1");
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 4; ++x)
            EXPECT_EQ(Pixel(x, y), 0x11223344u) << x << "," << y;

    DrawWithOption("0");
    EXPECT_EQ(Pixel(0, 0), 0x800000FFu);
    EXPECT_EQ(Pixel(3, 3), 0x800000FFu);
    console::ResetConfig();
    ResetGs(true);
}
