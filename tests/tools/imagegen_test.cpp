// The pictures carried in the program: the records the game reads, the sea
// tiling without seams, the flare's five shapes in their cells, and the
// copies linked into the program being the generator's, fixed up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tools/lib/imagegen.h"

#include "ZevEngine2/PS2/Image.h"
#include "game/Backdrop.h"
#include "game/ProgramImages.h"
#include "game/Water.h"

namespace {

const Texture& Record(const tools::ProgramImage& img)
{
    return *reinterpret_cast<const Texture*>(img.bytes.data());
}

u8 Px(const tools::ProgramImage& img, int x, int y)
{
    return img.bytes[tools::kImageDataOffset + 1024 + size_t(y * Record(img).width + x)];
}

TEST(ProgramImages, SeaIsA64Square8BitTileWhoseEdgesMeet)
{
    const tools::ProgramImage sea = tools::OceanImage();
    const Texture& t = Record(sea);
    EXPECT_EQ(t.Psm(), PSMT8);
    EXPECT_EQ(t.width, 64);
    EXPECT_EQ(t.height, 64);
    EXPECT_EQ(t.clutsize, 256);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(t.data), tools::kImageDataOffset);
    EXPECT_EQ(sea.bytes.size(), 48u + 1024 + 64 * 64);
    // Neighbours across the wrap differ no more than neighbours inside.
    int inside = 0, across = 0;
    for (int i = 0; i < 64; i++) {
        inside = std::max({inside, std::abs(Px(sea, i, 31) - Px(sea, i, 32)), std::abs(Px(sea, 31, i) - Px(sea, 32, i))});
        across = std::max({across, std::abs(Px(sea, i, 63) - Px(sea, i, 0)), std::abs(Px(sea, 63, i) - Px(sea, 0, i))});
    }
    EXPECT_LE(across, inside + 8);
}

// Cells from the top: glow (brightest at the middle, dark at the edge), thin
// ring (dark middle, bright at 0.8 of the radius), round spot, hexagon,
// disc with a bright rim.
TEST(ProgramImages, FlareHoldsItsFiveShapesInCellsOf64Rows)
{
    const tools::ProgramImage flare = tools::LensFlareImage();
    const Texture& t = Record(flare);
    EXPECT_EQ(t.width, 64);
    EXPECT_EQ(t.height, 320);
    auto at = [&](int cell, float r) { return int(Px(flare, 32 + int(r * 31.0f), cell * 64 + 32)); };
    EXPECT_GT(at(0, 0.0f), 200);
    EXPECT_EQ(at(0, 1.0f), 0);
    EXPECT_LT(at(1, 0.0f), 5);
    EXPECT_GT(at(1, 0.8f), 100);
    EXPECT_GT(at(2, 0.0f), at(2, 0.3f));
    EXPECT_EQ(at(2, 1.0f), 0);
    EXPECT_EQ(at(3, 0.2f), at(3, 0.5f));   // flat inside
    EXPECT_EQ(at(3, 0.95f), 0);
    EXPECT_GT(at(4, 0.8f), at(4, 0.3f));
    EXPECT_EQ(at(4, 0.95f), 0);
}

// The program's own copies, fixed at start-up: data is an address inside
// the image, and the bytes behind it are the generator's.
TEST(ProgramImages, LinkedImagesAreTheGeneratorsFixedUp)
{
    const tools::ProgramImage sea = tools::OceanImage(), flare = tools::LensFlareImage();
    EXPECT_EQ(Ocean.data, static_cast<void*>(Ocean_image + 48));
    EXPECT_EQ(LensFlare.data, static_cast<void*>(LensFlare_image + 48));
    EXPECT_EQ(std::memcmp(Ocean_image + 48, sea.bytes.data() + 48, sea.bytes.size() - 48), 0);
    EXPECT_EQ(std::memcmp(LensFlare_image + 48, flare.bytes.data() + 48, flare.bytes.size() - 48), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Ocean_image) % 16, 0u);
    EXPECT_EQ(LensFlare.height, 320);
}

}  // namespace
