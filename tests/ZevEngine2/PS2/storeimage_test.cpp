#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <ee/regs.h>

#include "ZevEngine2/PS2/StoreImage.h"
#include "console/dmac/dma_probe.h"
#include "core/config.h"
#include "gs/gs.h"

using console::gs::Psm;
using console::gs::Vram;

namespace {

class StoreImageTest : public ::testing::Test
{
protected:
    std::string dir;

    void SetUp() override
    {
        dmatest::ResetMachine();
        console::gs::ResetGs(true);
        char tmpl[] = "/tmp/korvalis-storeimage-XXXXXX";
        dir = mkdtemp(tmpl);
        console::SetOption("host-dir", dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::vector<u8> Read(const std::string& name)
    {
        std::ifstream f(dir + "/" + name, std::ios::binary);
        return std::vector<u8>(std::istreambuf_iterator<char>(f), {});
    }
    bool Exists(const std::string& name) { return std::filesystem::exists(dir + "/" + name); }
};

u32 Get16(const std::vector<u8>& v, size_t at)
{
    return u32(v.at(at)) | u32(v.at(at + 1)) << 8;
}

u32 Get32(const std::vector<u8>& v, size_t at)
{
    return Get16(v, at) | Get16(v, at + 2) << 16;
}

// The fixed header fields of every file.
void ExpectHeader(const std::vector<u8>& f, u32 w, u32 h, u32 bits, u32 offset, u32 stride)
{
    ASSERT_GE(f.size(), 54u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(Get32(f, 2), f.size());
    EXPECT_EQ(f.size(), offset + stride * h);
    EXPECT_EQ(Get32(f, 6), 0u);
    EXPECT_EQ(Get32(f, 10), offset);
    EXPECT_EQ(Get32(f, 14), 40u);
    EXPECT_EQ(Get32(f, 18), w);
    EXPECT_EQ(Get32(f, 22), h);
    EXPECT_EQ(Get16(f, 26), 1u);
    EXPECT_EQ(Get16(f, 28), bits);
    for (size_t i = 30; i < 54; i++)
        EXPECT_EQ(f[i], 0) << "byte " << i;
}

}  // namespace

TEST_F(StoreImageTest, WholeThirtyTwoBitSurfaceIsWrittenBottomRowFirstInBgrOrder)
{
    Surface s;
    s.Set(PSMCT32, 640, 448);
    s.SetVRAM(0);
    for (u32 y = 0; y < 448; y++)
        for (u32 x = 0; x < 640; x++)
            Vram().WritePixel(Psm::kCT32, 0, 10, x, y, (x & 255) | (y & 255) << 8 | ((x + y) & 255) << 16 | 0x7Fu << 24);
    ASSERT_TRUE(StoreImage("host0:shot.bmp", s));
    const std::vector<u8> f = Read("shot.bmp");
    ASSERT_EQ(f.size(), 1146934u);
    ExpectHeader(f, 640, 448, 32, 54, 2560);
    auto pixel = [&f](u32 row_in_file, u32 x) { return Get32(f, 54 + row_in_file * 2560 + 4 * x); };
    // File row 0 is GS row 447; blue, green, red, alpha.
    EXPECT_EQ(pixel(0, 0), ((0 + 447) & 255) | (447 & 255) << 8 | 0u << 16 | 0x7Fu << 24);
    EXPECT_EQ(pixel(0, 300), ((300 + 447) & 255) | (447 & 255) << 8 | (300 & 255) << 16 | 0x7Fu << 24);
    EXPECT_EQ(pixel(447, 639), ((639 + 0) & 255) | 0u << 8 | (639 & 255) << 16 | 0x7Fu << 24);
}

TEST_F(StoreImageTest, SixteenBitPixelsSwapRedAndBlueAndInvertTheTopBit)
{
    const u16 in[4] = {0x001F, 0xFC00, 0x03E0, 0x8421};
    const u32 want[4] = {0xFC00, 0x001F, 0x83E0, 0x0421};
    for (u32 x = 0; x < 4; x++)
        Vram().WritePixel(Psm::kCT16, 64, 1, x, 0, in[x]);
    ASSERT_TRUE(StoreImage("host0:s16.bmp", 64, PSMCT16, 1, 0, 0, 4, 1));
    const std::vector<u8> f = Read("s16.bmp");
    ExpectHeader(f, 4, 1, 16, 54, 8);
    for (u32 x = 0; x < 4; x++)
        EXPECT_EQ(Get16(f, 54 + 2 * x), want[x]) << "pixel " << x;
}

TEST_F(StoreImageTest, RowsArePaddedToWholeWords)
{
    // 101 pixels of 24 bits: 303 bytes, padded to 304 so that BMP readers
    // find each row where it starts.
    for (u32 y = 0; y < 3; y++)
        for (u32 x = 0; x < 101; x++)
            Vram().WritePixel(Psm::kCT24, 0, 2, x, y, x | y << 8 | 0xAB0000u);
    ASSERT_TRUE(StoreImage("host0:s24.bmp", 0, PSMCT24, 2, 0, 0, 101, 3));
    const std::vector<u8> f = Read("s24.bmp");
    ExpectHeader(f, 101, 3, 24, 54, 304);
    for (u32 row = 0; row < 3; row++) {
        const size_t at = 54 + row * 304;
        EXPECT_EQ(f[at + 3 * 100], 0xAB);          // blue first
        EXPECT_EQ(f[at + 3 * 100 + 1], 2 - row);   // green: GS row 2 - row
        EXPECT_EQ(f[at + 3 * 100 + 2], 100);
        EXPECT_EQ(f[at + 303], 0);                 // the padding
    }
}

TEST_F(StoreImageTest, IndexedPicturesCarryAGreyPalette)
{
    for (u32 x = 0; x < 16; x++)
        Vram().WritePixel(Psm::kT8, 0, 2, x, 0, 17 * x);
    ASSERT_TRUE(StoreImage("host0:s8.bmp", 0, PSMT8, 2, 0, 0, 16, 1));
    std::vector<u8> f = Read("s8.bmp");
    ExpectHeader(f, 16, 1, 8, 54 + 1024, 16);
    EXPECT_EQ(Get32(f, 54 + 4 * 200), 200u | 200u << 8 | 200u << 16);
    for (u32 x = 0; x < 16; x++)
        EXPECT_EQ(f[54 + 1024 + x], 17 * x);

    // 4-bit: the left pixel of each byte goes to the high nibble.
    for (u32 x = 0; x < 5; x++)
        Vram().WritePixel(Psm::kT4, 256, 2, x, 0, x + 1);
    ASSERT_TRUE(StoreImage("host0:s4.bmp", 256, PSMT4, 2, 0, 0, 5, 1));
    f = Read("s4.bmp");
    ExpectHeader(f, 5, 1, 4, 54 + 64, 4);
    EXPECT_EQ(Get32(f, 54 + 4 * 15), 0xFFFFFFu);
    EXPECT_EQ(Get32(f, 54 + 4 * 1), 17u | 17u << 8 | 17u << 16);
    EXPECT_EQ(f[118], 0x12);
    EXPECT_EQ(f[119], 0x34);
    EXPECT_EQ(f[120], 0x50);
    EXPECT_EQ(f[121], 0x00);
}

TEST_F(StoreImageTest, TagTransferIsTurnedBackOn)
{
    DPUT_D1_CHCR(0);
    ASSERT_TRUE(StoreImage("host0:t.bmp", 0, PSMCT32, 1, 0, 0, 2, 2));
    EXPECT_EQ(DGET_D1_CHCR() & 0x40, 0x40u);
}

TEST_F(StoreImageTest, RefusesEmptyOrOutOfRangeRectanglesAndUnopenableNames)
{
    EXPECT_FALSE(StoreImage("host0:e.bmp", 0, PSMCT32, 1, 0, 0, 0, 4));
    EXPECT_FALSE(StoreImage("host0:e.bmp", 0, PSMCT32, 1, 2000, 0, 100, 4));
    EXPECT_FALSE(Exists("e.bmp"));
    EXPECT_FALSE(StoreImage("nohost.bmp", 0, PSMCT32, 1, 0, 0, 4, 4));
    EXPECT_FALSE(StoreImage("host0:missing/dir/x.bmp", 0, PSMCT32, 1, 0, 0, 4, 4));
}
