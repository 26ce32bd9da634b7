#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ZevEngine2/PS2/Font.h"
#include "tools/lib/fontgen.h"

using tools::BaseGlyph;
using tools::BuildFontImage;
using tools::FontLayout;
using tools::GameFonts;
using tools::GlyphFor;

namespace {

u32 Get16(const std::vector<u8>& v, size_t at)
{
    return u32(v[at]) | u32(v[at + 1]) << 8;
}

u32 Get32(const std::vector<u8>& v, size_t at)
{
    return Get16(v, at) | Get16(v, at + 2) << 16;
}

u64 Get64(const std::vector<u8>& v, size_t at)
{
    return u64(Get32(v, at)) | u64(Get32(v, at + 4)) << 32;
}

// A built image read back through its own fields.
struct Image
{
    std::vector<u8> bytes;
    int psm = 0, width = 0, height = 0, clutsize = 0, nchars = 0, fchar = 0, fontheight = 0;
    u32 data = 0;

    explicit Image(const FontLayout& fl)
    {
        std::string error;
        EXPECT_TRUE(BuildFontImage(fl, bytes, &error)) << error;
        psm = int(Get16(bytes, 0) & 0x3F);
        width = int(Get16(bytes, 2));
        height = int(Get16(bytes, 4));
        clutsize = int(Get16(bytes, 6));
        data = Get32(bytes, 12);
        nchars = bytes[40];
        fchar = bytes[41];
        fontheight = bytes[42];
    }

    UVCHAR Glyph(int i) const
    {
        const size_t o = FONTFILE_GLYPHS + 8 * size_t(i);
        return UVCHAR{u16(Get16(bytes, o)), u16(Get16(bytes, o + 2)), bytes[o + 4], bytes[o + 5], s8(bytes[o + 6]),
                      s8(bytes[o + 7])};
    }
    // Palette alpha of texel (x, y).
    u32 Alpha(int x, int y) const
    {
        const size_t pix = data + 4 * size_t(clutsize);
        const size_t n = size_t(y) * size_t(width) + size_t(x);
        int index;
        if (psm == PSMT8)
            index = Render2D_raw::ClutSwizzle(bytes[pix + n]);
        else
            index = n & 1 ? bytes[pix + n / 2] >> 4 : bytes[pix + n / 2] & 15;
        return Get32(bytes, data + 4 * size_t(index)) >> 24;
    }
};

FontLayout OneGlyph(int code, int height, bool bold = false)
{
    return FontLayout{"Test", PSMT8, 64, 1, code, height, height, bold, 8, false, nullptr};
}

std::string SourceFile()
{
    std::ifstream in(std::string(KORVALIS_SOURCE_DIR) + "/ZevEngine2/PS2/FontData.cpp", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(FontGen, GlyphTablesAreWellFormed)
{
    std::string error;
    EXPECT_TRUE(tools::CheckGlyphTables(&error)) << error;
    BaseGlyph g;
    for (int c = 32; c < 127; c++)
        EXPECT_TRUE(GlyphFor(c, false, g)) << "code " << c;
    for (int c = 0xC0; c < 0x100; c++)
        EXPECT_TRUE(GlyphFor(c, false, g)) << "code " << c;
}

TEST(FontGen, EveryGameFontIsBuiltAsDescribed)
{
    ASSERT_EQ(GameFonts().size(), 9u);
    for (const FontLayout& fl : GameFonts()) {
        SCOPED_TRACE(fl.name);
        const Image im(fl);
        EXPECT_EQ(im.psm, fl.psm);
        EXPECT_EQ(im.width, fl.texwidth);
        EXPECT_LE(im.height, 1024);
        EXPECT_EQ(im.clutsize, fl.psm == PSMT8 ? 256 : 16);
        EXPECT_EQ(std::tie(im.nchars, im.fchar, im.fontheight), std::tie(fl.nchars, fl.fchar, fl.height));
        EXPECT_EQ(im.bytes[43], fl.spacing);
        // Palette and pixels from the next 16-byte boundary after the table.
        EXPECT_EQ(im.data, (FONTFILE_GLYPHS + 8 * u32(fl.nchars) + 15) & ~15u);
        const size_t pixels = fl.psm == PSMT8 ? size_t(im.width) * size_t(im.height)
                                                : size_t(im.width) * size_t(im.height) / 2;
        EXPECT_EQ(im.bytes.size(), (im.data + 4 * size_t(im.clutsize) + pixels + 15) & ~size_t(15));
        // The register values say the same: format, a power-of-two extent
        // that holds the texture, nothing placed yet.
        const u64 tex0 = Get64(im.bytes, 16);
        EXPECT_EQ(tex0::PSM(tex0), u32(fl.psm));
        EXPECT_GE(1 << tex0::TH(tex0), im.height);
        EXPECT_LT(1 << tex0::TH(tex0), 2 * im.height);
        EXPECT_EQ(tex0::TBP0(tex0) | tex0::CBP(tex0), 0u);
        for (int i = 0; i < fl.nchars; i++) {
            const UVCHAR g = im.Glyph(i);
            EXPECT_LE(g.u + g.w, im.width);
            EXPECT_LE(g.v + fl.height, im.height);
            EXPECT_GE(g.s, g.w);
            EXPECT_EQ(g.k, 0);
        }
    }
}

TEST(FontGen, GlyphPicturesNeitherOverlapNorLeaveInkOutside)
{
    for (const FontLayout& fl : GameFonts()) {
        SCOPED_TRACE(fl.name);
        const Image im(fl);
        std::vector<int> owner(size_t(im.width) * size_t(im.height), -1);
        std::set<std::tuple<int, int, int>> rects;
        for (int i = 0; i < fl.nchars; i++) {
            const UVCHAR g = im.Glyph(i);
            if (g.w == 0 || !rects.insert({g.u, g.v, g.w}).second)
                continue;   // empty, or a picture shared with another code
            for (int y = g.v; y < g.v + fl.height; y++)
                for (int x = g.u; x < g.u + g.w; x++) {
                    int& o = owner[size_t(y) * size_t(im.width) + size_t(x)];
                    ASSERT_EQ(o, -1) << "glyphs " << o << " and " << i << " overlap";
                    o = i;
                }
        }
        for (int y = 0; y < im.height; y++)
            for (int x = 0; x < im.width; x++)
                if (owner[size_t(y) * size_t(im.width) + size_t(x)] < 0) {
                    ASSERT_EQ(im.Alpha(x, y), 0u) << "ink at " << x << ", " << y;
                }
    }
}

TEST(FontGen, PaletteIsWhiteWithAnAlphaRamp)
{
    for (const FontLayout& fl : {GameFonts()[0], GameFonts()[1]}) {
        const Image im(fl);
        std::set<u32> alphas;
        for (int i = 0; i < im.clutsize; i++) {
            const u32 c = Get32(im.bytes, im.data + 4 * size_t(i));
            if (c >> 24) {
                EXPECT_EQ(c & 0xFFFFFF, 0xFFFFFFu);
            }
            alphas.insert(c >> 24);
        }
        EXPECT_EQ(alphas.size(), 16u);
        EXPECT_EQ(*alphas.begin(), 0u);
        EXPECT_EQ(*alphas.rbegin(), 0x80u);
    }
}

TEST(FontGen, AtOnePixelPerGridSquareTheGlyphIsTheGrid)
{
    // Height 12 maps each of the 12 grid rows onto one pixel.
    for (bool bold : {false, true}) {
        const Image im(OneGlyph('A', tools::kBaseRows, bold));
        BaseGlyph g;
        ASSERT_TRUE(GlyphFor('A', false, g));
        const UVCHAR uv = im.Glyph(0);
        EXPECT_EQ(uv.w, g.width + (bold ? 1 : 0));
        EXPECT_EQ(uv.s, uv.w + 1);
        for (int y = 0; y < tools::kBaseRows; y++)
            for (int x = 0; x < uv.w; x++) {
                u32 bits = g.rows[size_t(y)];
                if (bold)
                    bits |= bits << 1;
                EXPECT_EQ(im.Alpha(uv.u + x, uv.v + y), (bits >> x & 1) ? 0x80u : 0u) << x << ", " << y;
            }
    }
    // Twice the size: each grid square becomes 2 x 2 pixels, all opaque or
    // all clear.
    BaseGlyph w;
    ASSERT_TRUE(GlyphFor('W', false, w));
    const Image big(OneGlyph('W', 2 * tools::kBaseRows));
    const UVCHAR uv = big.Glyph(0);
    EXPECT_EQ(uv.w, 2 * w.width);
    int ink = 0;
    for (int y = 0; y < 2 * tools::kBaseRows; y++)
        for (int x = 0; x < uv.w; x++) {
            const bool set = w.rows[size_t(y / 2)] >> (x / 2) & 1;
            ink += set;
            EXPECT_EQ(big.Alpha(uv.u + x, uv.v + y), set ? 0x80u : 0u) << x << ", " << y;
        }
    EXPECT_GT(ink, 0);
}

TEST(FontGen, AccentsSitAboveCapitalsAndSmallLettersAndCedillasBelow)
{
    BaseGlyph e, eacute, small, small_acute, c, ccedil;
    ASSERT_TRUE(GlyphFor('E', false, e));
    ASSERT_TRUE(GlyphFor(0xC9, false, eacute));
    ASSERT_TRUE(GlyphFor('e', false, small));
    ASSERT_TRUE(GlyphFor(0xE9, false, small_acute));
    ASSERT_TRUE(GlyphFor('C', false, c));
    ASSERT_TRUE(GlyphFor(0xC7, false, ccedil));
    EXPECT_EQ(eacute.width, e.width);
    for (int r = tools::kBaseCapTop; r < tools::kBaseRows; r++)
        EXPECT_EQ(eacute.rows[size_t(r)], e.rows[size_t(r)]);
    EXPECT_NE(eacute.rows[0] | eacute.rows[1], 0u);
    EXPECT_EQ(eacute.rows[2], 0u);   // a gap above the capital
    // Over a small letter the accent comes down to the capital line, with a
    // gap above the x-height.
    EXPECT_EQ(small_acute.rows[0] | small_acute.rows[1], 0u);
    EXPECT_NE(small_acute.rows[2] | small_acute.rows[3], 0u);
    EXPECT_EQ(small_acute.rows[4], 0u);
    for (int r = 5; r < tools::kBaseRows; r++)
        EXPECT_EQ(small_acute.rows[size_t(r)], small.rows[size_t(r)]);
    EXPECT_EQ(c.rows[10] | c.rows[11], 0u);
    EXPECT_NE(ccedil.rows[10] | ccedil.rows[11], 0u);
}

TEST(FontGen, InterfaceFontsDrawTheCrossButtonAndPlatesShareCapitals)
{
    // The interface fonts show the pad's cross button at 0xB6, others the
    // pilcrow.
    BaseGlyph cross, pilcrow;
    ASSERT_TRUE(GlyphFor(0xB6, true, cross));
    ASSERT_TRUE(GlyphFor(0xB6, false, pilcrow));
    EXPECT_NE(cross.rows, pilcrow.rows);
    for (int r = tools::kBaseCapTop; r < tools::kBaseCapTop + 7; r++)
        EXPECT_EQ(cross.rows[size_t(r)], cross.rows[size_t(2 * tools::kBaseCapTop + 6 - r)]);   // symmetric
    for (const FontLayout& fl : GameFonts())
        EXPECT_EQ(fl.padsymbols, std::string(fl.name).rfind("Font_UI_", 0) == 0) << fl.name;

    // The licence plates draw capitals, digits and a few marks; small letters
    // share the capitals, other codes are empty.
    const FontLayout& plate = GameFonts().back();
    ASSERT_EQ(std::string(plate.name), "Font_LicPlate");
    const Image im(plate);
    const UVCHAR a = im.Glyph('A' - 32), small_a = im.Glyph('a' - 32), bang = im.Glyph('!' - 32);
    EXPECT_EQ(std::tie(a.u, a.v, a.w, a.s), std::tie(small_a.u, small_a.v, small_a.w, small_a.s));
    EXPECT_GT(a.w, 0);
    EXPECT_EQ(bang.w, 0);
    EXPECT_EQ(bang.s, 0);
}

TEST(FontGen, RefusesFontsThatDoNotFit)
{
    std::vector<u8> image;
    std::string error;
    FontLayout narrow = OneGlyph('W', 100);
    narrow.texwidth = 16;
    EXPECT_FALSE(BuildFontImage(narrow, image, &error));
    EXPECT_NE(error.find("wider"), std::string::npos) << error;
    FontLayout tall{"Tall", PSMT8, 256, 224, 32, 200, 200, false, 8, false, nullptr};
    EXPECT_FALSE(BuildFontImage(tall, image, &error));
    EXPECT_NE(error.find("rows"), std::string::npos) << error;
    FontLayout bad = OneGlyph('A', 12);
    bad.psm = PSMCT32;
    EXPECT_FALSE(BuildFontImage(bad, image, &error));
}

// The program carries exactly what the generator makes, and the checked-in
// source is what it writes now.
TEST(FontGen, TheGameCarriesTheGeneratedImages)
{
    FONTFILE* linked[] = {&Arial,           &Font_GUI_text, &Font_GUI_heading, &Font_HelveticaBlack, &Font_StreetSign,
                          &Font_UI_Large, &Font_UI_Medium, &Font_UI_Small,    &Font_LicPlate};
    for (size_t i = 0; i < GameFonts().size(); i++) {
        SCOPED_TRACE(GameFonts()[i].name);
        std::vector<u8> image;
        ASSERT_TRUE(BuildFontImage(GameFonts()[i], image, nullptr));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(linked[i]) % 16, 0u);
        EXPECT_EQ(std::memcmp(linked[i], image.data(), image.size()), 0);
    }
    std::string error;
    const std::string source = tools::FontSource(GameFonts(), &error);
    ASSERT_FALSE(source.empty()) << error;
    EXPECT_TRUE(source == SourceFile()) << "ZevEngine2/PS2/FontData.cpp is out of date: run fontgen";
}
