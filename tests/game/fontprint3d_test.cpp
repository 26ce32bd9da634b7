// Text in perspective: glyph packets of FontPrint3D, the street sign's text
// fitting and the street's name.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "game/city_support.h"

#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "game/CityLights.h"

namespace {

// A font of three glyphs 'A' to 'C', 10 pixels high: A at (0, 0) 6 wide
// advancing 7, B at (8, 0) 5 wide with k -2 advancing 5, C at (16, 0).
struct TestFont
{
    alignas(16) u8 bytes[FONTFILE_GLYPHS + 3 * sizeof(UVCHAR)] = {};
    FONTFILE* ff() { return reinterpret_cast<FONTFILE*>(bytes); }

    TestFont()
    {
        ff()->nChars = 3;
        ff()->fChar = 'A';
        ff()->fontheight = 10;
        UVCHAR* g = reinterpret_cast<UVCHAR*>(bytes + FONTFILE_GLYPHS);
        g[0] = UVCHAR{0, 0, 6, 7, 0, 0};
        g[1] = UVCHAR{8, 0, 5, 5, -2, 0};
        g[2] = UVCHAR{16, 0, 4, 5, 0, 0};
    }
};

u32 GsX(float x) { return u32(int((x + 2048.0f) * 16.0f)); }

}  // namespace

TEST(FontPrint3D, GlyphsArePacketsOfTheirOwnWithTheTextureRegistersInTheFirst)
{
    TestFont tf;
    Font font(tf.ff());
    alignas(16) u64 buf[256] = {};
    Render2D r;
    r.InitState(buf);
    r.texture = tf.ff();   // already selected: no block is broken
    Matrix m(true);
    m.w = Vector(100.0f, 200.0f, 5.0f, 1.0f);

    // Nothing to draw: the texture stays selected with its registers marked.
    FontPrint3D(font, r, m, "AB", 0);
    EXPECT_EQ(r.p, buf);
    EXPECT_EQ(r.texture, tf.ff());
    EXPECT_EQ(r.update_flags & 0x80008u, 0x80008u);
    EXPECT_EQ(r.prim_reg & 0x110u, 0x110u);
    FontPrint3D(font, r, m, "", -1);
    EXPECT_EQ(r.p, buf);

    // "A", a byte from 0x80 up, "Z" (no glyph), "B", "C"; n = 4 stops before C.
    const u32 prim = r.prim_reg;
    FontPrint3D(font, r, m, "A\x90ZBC", 4);
    // The first packet: tag, the texture group (flush, TEX0, TEX1, CLAMP), 8 A+D.
    const u64* t0 = buf;
    EXPECT_EQ(t0[0] & 0x7FFF, 12u);
    EXPECT_EQ((t0[0] >> 15) & 1, 1u);
    EXPECT_EQ((t0[0] >> 46) & 1, 1u);
    EXPECT_EQ((t0[0] >> 47) & 0x7FF, u64(prim | 4));
    EXPECT_EQ(t0[0] >> 60, 1u);
    EXPECT_EQ(t0[1], 0xEu);
    const u64* v = t0 + 2 + 8;   // after the four register quadwords
    // (x0, 0) with texel (0, 0); (x0, h) with (0, 10); (x1, 0) with (6, 0).
    EXPECT_EQ(v[0], u64(8) | u64(8) << 16);
    EXPECT_EQ(v[1], 0x03u);
    EXPECT_EQ(v[2] & 0xFFFF, GsX(100.0f));
    EXPECT_EQ((v[2] >> 16) & 0xFFFF, GsX(200.0f));
    EXPECT_EQ(v[2] >> 32, 5u);
    EXPECT_EQ(v[3], 0x05u);
    EXPECT_EQ(v[4], u64(8) | u64(16 * 10 + 8) << 16);
    EXPECT_EQ((v[6] >> 16) & 0xFFFF, GsX(210.0f));
    EXPECT_EQ(v[8], u64(16 * 6 + 8) | u64(8) << 16);
    EXPECT_EQ(v[10] & 0xFFFF, GsX(106.0f));
    // The second packet: 8 A+D only; B starts 2 left of the pen at 7.
    const u64* t1 = v + 16;
    EXPECT_EQ(t1[0] & 0x7FFF, 8u);
    EXPECT_EQ(t1[2], u64(16 * 8 + 8) | u64(8) << 16);
    EXPECT_EQ(t1[4] & 0xFFFF, GsX(105.0f));
    EXPECT_EQ(r.p, t1 + 18);   // C was not taken
    EXPECT_EQ(r.prim_reg & 7u, 0u);
    EXPECT_EQ(r.update_flags & 0xFFFFu, 0u);
    EXPECT_EQ(r.update_flags & 0x80000u, 0x80000u);
}

TEST(FontPrint3D, ASignNameIsCentredOrSqueezedToFourPixelsEachSide)
{
    // 8 or more pixels narrower: centred, unscaled.
    EXPECT_EQ(FitSignText(56, 64).x, 4);
    EXPECT_EQ(FitSignText(56, 64).scale, 1.0f);
    EXPECT_EQ(FitSignText(41, 64).x, 11);
    // Longer: squeezed to 56 and starting 4 in.
    EXPECT_EQ(FitSignText(57, 64).x, 4);
    EXPECT_FLOAT_EQ(FitSignText(112, 64).scale, 0.5f);
}

class RoadNames : public citytest::CityWorld
{
};

TEST_F(RoadNames, ANameAndItsKindsSuffix)
{
    Load(tools::TestCity(tools::TestCityKind::kTJunction));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, -1.0f, 128.0f)));
    RoadSeg* rs = FindRoadSeg(VectorPos(136.0f, -1.4f, 136.0f), VectorDir(1, 0, 0));
    ASSERT_NE(rs, nullptr);
    RoadInfo ri;
    ri = rs;
    char name[128];
    GetRoadName(name, ri);
    int len = 0, slen = 0;
    const char* bare = world.GetRoadName(len, ri.id);
    const char* suffix = world.GetRoadName(slen, ri.type->abbrev);
    ASSERT_NE(bare, nullptr);
    ASSERT_NE(suffix, nullptr);
    EXPECT_EQ(std::string(name), std::string(bare, size_t(len)) + " " + std::string(suffix, size_t(slen)));
    ri.type = nullptr;
    GetRoadName(name, ri);
    EXPECT_EQ(std::string(name), std::string(bare, size_t(len)));
}
