// The pictures carried in the program: the records the game reads, the sea
// tiling without seams, the flare's five shapes in their cells, and the
// copies linked into the program being the generator's, fixed up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/hudimage.h"
#include "tools/lib/imagegen.h"

#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "game/Backdrop.h"
#include "game/fbfx.h"
#include "game/ProgramImages.h"
#include "game/PS2/RoadDraw.h"
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
    FixProgramImages();
    const tools::ProgramImage sea = tools::OceanImage(), flare = tools::LensFlareImage();
    EXPECT_EQ(Ocean.data, static_cast<void*>(Ocean_image + 48));
    EXPECT_EQ(LensFlare.data, static_cast<void*>(LensFlare_image + 48));
    EXPECT_EQ(std::memcmp(Ocean_image + 48, sea.bytes.data() + 48, sea.bytes.size() - 48), 0);
    EXPECT_EQ(std::memcmp(LensFlare_image + 48, flare.bytes.data() + 48, flare.bytes.size() - 48), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Ocean_image) % 16, 0u);
    EXPECT_EQ(LensFlare.height, 320);
    // The lamps' glow: 32 x 32, white at its middle falling to black at the
    // rim and beyond.
    const tools::ProgramImage g = tools::GlowImage();
    EXPECT_EQ(glow.data, static_cast<void*>(glow_image + 48));
    EXPECT_EQ(std::memcmp(glow_image + 48, g.bytes.data() + 48, g.bytes.size() - 48), 0);
    ASSERT_EQ(glow.width, 32);
    const u8* px = glow_image + 48 + 1024;
    EXPECT_GT(px[16 * 32 + 16], 230);
    EXPECT_GT(px[16 * 32 + 16], px[16 * 32 + 24]);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[16 * 32], 0);
}

// The start-up's ten images: the fix makes each data word (the offset 48
// of the palette) an address inside its own image, once (a second call leaves every record as it was), and the global
// textures 0 and 1 become the highlight and the reflection.  The bytes are
// the generators': the junction pages 64 x 64, the skid mark's alpha fading
// to nothing at the edges of u, the highlight brightest in its middle, the
// reflection's sky blue above its ground.
TEST(ProgramImages, TheStartUpFixesItsTenImagesOnceAndFillsTheGlobalTextures)
{
    u8* const images[] = {TPage_Jctn_Fill_image, TPage_Jctn_Connect_Lines_image, TPage_Jctn_Crosswalk_image,
                          SkidMark_image,        HUD_New_image,                  Icons_Combat_image,
                          glow_image,            LensFlare_image,                Specular_image,
                          ReflectionMap_Generic_image};
    FixProgramImages();
    std::vector<Texture> fixed;
    for (u8* image : images) {
        const Texture& t = ProgramImageRecord(image);
        EXPECT_EQ(t.data, static_cast<void*>(image + 48));
        EXPECT_EQ(t.Psm(), PSMT8);
        EXPECT_EQ(t.clutsize, 256);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 16, 0u);
        fixed.push_back(t);
    }
    FixProgramImages();
    for (size_t i = 0; i < fixed.size(); i++)
        EXPECT_EQ(std::memcmp(&fixed[i], images[i], sizeof(Texture)), 0) << i;
    EXPECT_EQ(std::memcmp(&gtex[GTEX_SPECULAR], &Specular, sizeof(Texture)), 0);
    EXPECT_EQ(std::memcmp(&gtex[GTEX_REFLECTION], &ReflectionMap_Generic, sizeof(Texture)), 0);

    for (const tools::ProgramImage& g : {tools::SpecularImage(), tools::ReflectionImage(), tools::SkidMarkImage(),
                                         tools::HudNewImage(), tools::IconsCombatImage()}) {
        const u8* linked = g.name == std::string("Specular")      ? Specular_image
                           : g.name == std::string("SkidMark")    ? SkidMark_image
                           : g.name == std::string("HUD_New")     ? HUD_New_image
                           : g.name == std::string("Icons_Combat") ? Icons_Combat_image
                                                                   : ReflectionMap_Generic_image;
        EXPECT_EQ(std::memcmp(linked + 48, g.bytes.data() + 48, g.bytes.size() - 48), 0) << g.name;
    }
    for (const Texture* t : {&TPage_Jctn_Fill(), &TPage_Jctn_Crosswalk(), &TPage_Jctn_Connect_Lines}) {
        EXPECT_EQ(t->width, 64);
        EXPECT_EQ(t->height, 64);
    }
    EXPECT_EQ(&TPage_Jctn_Fill(), &ProgramImageRecord(TPage_Jctn_Fill_image));

    auto texel = [](const Texture& t, int x, int y) {
        const u32* clut = static_cast<const u32*>(t.data);
        const u8* px = static_cast<const u8*>(t.data) + 1024;
        return clut[Render2D_raw::ClutSwizzle(px[y * t.width + x])];
    };
    // The skid's rubber is darkest along the middle of the strip, lighter
    // towards both edges alike and across its grooves.
    EXPECT_EQ(texel(SkidMark, 0, 16) & 0xFF, texel(SkidMark, 31, 16) & 0xFF);
    EXPECT_GT(texel(SkidMark, 0, 16) & 0xFF, texel(SkidMark, 16, 4) & 0xFF);
    EXPECT_GT(texel(SkidMark, 16, 0) & 0xFF, texel(SkidMark, 16, 4) & 0xFF);
    EXPECT_GT(texel(Specular, 16, 16) & 0xFF, texel(Specular, 4, 16) & 0xFF);
    const u32 sky = texel(ReflectionMap_Generic, 0, 4), ground = texel(ReflectionMap_Generic, 0, 60);
    EXPECT_GT(sky >> 16 & 0xFF, sky & 0xFF);
    EXPECT_LT(ground >> 16 & 0xFF, ground & 0xFF);
}

}  // namespace
