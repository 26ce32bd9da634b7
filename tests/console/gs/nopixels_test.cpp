// --gs-no-pixels: runs that need the program's logic but not its pictures.
// The GS then takes every register as before but its primitives change no
// pixel; the option is taken at each reset.
#include <gtest/gtest.h>

#include "console/gs/gs_draw_support.h"
#include "core/config.h"
#include "core/scheduler.h"
#include "ee/video.h"
#include "gs/gs.h"

using namespace gstest;

namespace {

constexpr u32 kCT32 = 0x00;
constexpr u32 kFbw = 1;  // 64 pixels

u32 Pixel(u32 x, u32 y)
{
    return Vram().ReadPixel(Psm::kCT32, 0, kFbw, x, y);
}

// A frame filled with 0x11223344, then a red 4 x 4 sprite at the origin.
void DrawRedSprite()
{
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 4; ++x)
            Vram().WritePixel(Psm::kCT32, 0, kFbw, x, y, 0x11223344u);
    SetUpContext(0, 0, kFbw, kCT32);
    FlatSprite(0, 0, 4, 4, Rgbaq(0xFF, 0, 0, 0x80));
}

// A reset with the option as given, then the red sprite.
void DrawWithOption(const char* value)
{
    console::SetOption("gs-no-pixels", value);
    ResetGs(true);
    DrawRedSprite();
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

// --gs-pixels-from N: nothing drawn in the fields before N, everything from
// field N on (the field the N-th boundary ends); field 1 is the whole run.
// --gs-pixels-for-kept: pixels in the fields shortly before a kept one.
TEST(GsNoPixels, PixelsFromAFieldDrawFromThatFieldOn)
{
    console::ResetScheduler();
    console::StartVideoTiming();
    console::SetOption("gs-pixels-from", "3");
    ResetGs(true);
    DrawRedSprite();  // field 1
    EXPECT_EQ(Pixel(0, 0), 0x11223344u);
    console::SafePoint(console::kPalField);
    ASSERT_EQ(console::FieldCount(), 1u);
    DrawRedSprite();  // field 2
    EXPECT_EQ(Pixel(3, 3), 0x11223344u);
    console::SafePoint(console::kPalField);
    ASSERT_EQ(console::FieldCount(), 2u);
    DrawRedSprite();  // field 3
    EXPECT_EQ(Pixel(0, 0), 0x800000FFu);
    EXPECT_EQ(Pixel(3, 3), 0x800000FFu);

    // Pixels only near kept fields: none in field 1 with field 30 the first
    // kept, then in the field just before it, and none after it.
    console::ResetScheduler();
    console::StartVideoTiming();
    console::ResetConfig();
    console::SetOption("gs-pixels-for-kept", "1");
    ResetGs(true);
    console::gs::SetKeptFields([](uint64_t field) { return field == 30; });
    DrawRedSprite();  // field 1
    EXPECT_EQ(Pixel(0, 0), 0x11223344u);
    console::SafePoint(28 * console::kPalField);
    DrawRedSprite();  // field 29
    EXPECT_EQ(Pixel(0, 0), 0x800000FFu);
    console::SafePoint(2 * console::kPalField);
    DrawRedSprite();  // field 31
    EXPECT_EQ(Pixel(0, 0), 0x11223344u);
    console::gs::SetKeptFields(nullptr);

    // From field 1: a run with pixels throughout, --gs-no-pixels or not.
    console::ResetScheduler();
    console::ResetConfig();
    console::SetOption("gs-no-pixels", "1");
    console::SetOption("gs-pixels-from", "1");
    ResetGs(true);
    DrawRedSprite();
    EXPECT_EQ(Pixel(0, 0), 0x800000FFu);
    console::ResetConfig();
    console::ResetScheduler();
    ResetGs(true);
}
