// Bitmap fonts: measuring, the control codes, the layout form, the packets of
// the drawing form, and a line of text in the game's fonts drawn by the GS.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"

namespace {

constexpr int kHeight = 12;
constexpr int kSpacing = 14;

// A font image made here: a 128 x 64 4-bit texture; glyph i at texel
// (8 (i % 16), 12 (i / 16) + 1) is 6 wide with advance 7, except
// 'A' {w 9, s 10}, 'B' {k 1, w 8, s 9} and 'W' {w 21, s 22}.
class TestFont
{
public:
    explicit TestFont(int nchars, int fchar = 32)
    {
        const size_t dataoff = (FONTFILE_GLYPHS + 8 * size_t(nchars) + 15) & ~size_t(15);
        store.resize((dataoff + 64 + 128 * 64 / 2 + 15) / 16);
        u8* base = reinterpret_cast<u8*>(store.data());
        ff = reinterpret_cast<FONTFILE*>(base);
        ff->Set(PSMT4, 128, 64, 16, reinterpret_cast<void*>(dataoff));
        ff->nChars = u8(nchars);
        ff->fChar = u8(fchar);
        ff->fontheight = kHeight;
        ff->spacing = kSpacing;
        for (int i = 0; i < nchars; i++)
            Glyph(fchar + i) = UVCHAR{u16(8 * (i % 16)), u16(12 * (i / 16) + 1), 6, 7, 0, 0};
        Set('A', 9, 10, 0);
        Set('B', 8, 9, 1);
        Set('W', 21, 22, 0);
    }

    UVCHAR& Glyph(int code) { return const_cast<UVCHAR&>(ff->Glyph(code - ff->fChar)); }
    void Set(int code, int w, int s, int k)
    {
        if (code - ff->fChar < ff->nChars) {
            Glyph(code).w = u8(w);
            Glyph(code).s = u8(s);
            Glyph(code).k = s8(k);
        }
    }

    std::vector<u128> store;
    FONTFILE* ff;
};

// One glyph of the layout form: its four vertices and texels.
struct Laid
{
    u16 p[16];
    u16 t[8];
    int X() const { return s16(p[0]); }
    int Y() const { return s16(p[1]); }
};

std::vector<Laid> Layout(Font& f, const char* s, int len = -1)
{
    std::vector<u16> p(64 * 16), t(64 * 8);
    const int n = f.Print(s, len, p.data(), t.data());
    std::vector<Laid> out(size_t(std::max(n, 0)));
    for (int i = 0; i < n; i++) {
        std::memcpy(out[size_t(i)].p, &p[size_t(i) * 16], sizeof(out[0].p));
        std::memcpy(out[size_t(i)].t, &t[size_t(i) * 8], sizeof(out[0].t));
    }
    return out;
}

}  // namespace

// ------------------------------------------------------------ measuring

// The nine fonts the program carries, as the game's own table gives them.
TEST(Font, CarriedFontsHaveTheTableSizesAndMetrics)
{
    struct Row
    {
        const char* name;
        const FONTFILE& ff;
        int psm, width, height, glyphs, first, fontheight, spacing;
    };
    const Row table[] = {
        {"Arial", Arial, PSMT4, 128, 256, 95, 32, 24, 24},
        {"Font_GUI_text", Font_GUI_text, PSMT8, 128, 320, 95, 32, 26, 26},
        {"Font_GUI_heading", Font_GUI_heading, PSMT8, 128, 384, 62, 32, 54, 54},
        {"Font_HelveticaBlack", Font_HelveticaBlack, PSMT8, 128, 64, 89, 32, 20, 20},
        {"Font_StreetSign", Font_StreetSign, PSMT8, 256, 384, 224, 32, 32, 32},
        {"Font_UI_Large", Font_UI_Large, PSMT8, 384, 192, 221, 32, 27, 27},
        {"Font_UI_Medium", Font_UI_Medium, PSMT8, 128, 320, 221, 32, 20, 20},
        {"Font_UI_Small", Font_UI_Small, PSMT8, 128, 224, 221, 32, 16, 16},
        {"Font_LicPlate", Font_LicPlate, PSMT8, 256, 288, 88, 32, 65, 65},
    };
    for (const Row& r : table) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.ff.Psm(), r.psm);
        EXPECT_EQ(r.ff.width, r.width);
        EXPECT_EQ(r.ff.height, r.height);
        EXPECT_EQ(r.ff.nChars, r.glyphs);
        EXPECT_EQ(r.ff.fChar, r.first);
        EXPECT_EQ(r.ff.fontheight, r.fontheight);
        EXPECT_EQ(r.ff.spacing, r.spacing);
        // Every glyph's quad lies inside the texture, and most glyphs are drawn.
        int drawn = 0;
        for (int i = 0; i < r.glyphs; i++) {
            const UVCHAR& g = r.ff.Glyph(i);
            EXPECT_LE(g.u + g.w, r.width) << i;
            EXPECT_LE(g.v + r.fontheight, r.height) << i;
            drawn += g.w > 0;
        }
        EXPECT_GT(drawn, r.glyphs / 3);
    }
}

TEST(Font, ConstructionFixesTheDataOffsetOnce)
{
    TestFont tf(95);
    const uintptr_t offset = reinterpret_cast<uintptr_t>(tf.ff->data);
    Font a(tf.ff);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(tf.ff->data), reinterpret_cast<uintptr_t>(tf.ff) + offset);
    EXPECT_EQ(a.tab, 64);
    EXPECT_EQ(a.align, 0);
    EXPECT_EQ(a.flags, 0);   // 95 glyphs from 32 reach the small letters
    EXPECT_EQ(a.mat.a, 1.0f);
    EXPECT_EQ(a.mat.b, 0.0f);
    EXPECT_EQ(a.mat.c, 0.0f);
    EXPECT_EQ(a.mat.d, 1.0f);
    // A second Font over the same image must not move the address again.
    Font b(*tf.ff);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(tf.ff->data), reinterpret_cast<uintptr_t>(tf.ff) + offset);
    EXPECT_EQ(b.GetTexture(), tf.ff);
    EXPECT_EQ(b.Height(), kHeight);
    EXPECT_EQ(b.Spacing(), kSpacing);
}

TEST(Font, Len2SumsAdvancesAndEndsWithTheLastGlyphsWidth)
{
    TestFont tf(95);
    Font f(tf.ff);
    EXPECT_EQ(f.Len2("AB"), 10 + 1 + 8);
    EXPECT_EQ(f.Len2("B"), 9);
    EXPECT_EQ(f.Len2("BA"), 9 + 9);
    EXPECT_EQ(f.Len2(""), 0);
    EXPECT_EQ(f.Len2("\n"), 0);
    // A colour code is stepped over with its three bytes (zeros included).
    EXPECT_EQ(f.Len2("A\x01\x00\x00\x00" "B"), 19);
    // Any other code ends the measure: the rest of the line only.
    EXPECT_EQ(f.Len2("AB\nWWW"), 19);
    EXPECT_EQ(f.Len2("AB\x7F" "W"), 19);
}

TEST(Font, WithoutLowerCaseGlyphsSmallLettersPrintAsCapitals)
{
    TestFont tf(62);   // codes 32 to 93
    Font f(tf.ff);
    EXPECT_EQ(f.flags, FONT_UPPER);
    EXPECT_EQ(f.Len2("ab"), f.Len2("AB"));
    const std::vector<Laid> g = Layout(f, "abc");
    ASSERT_EQ(g.size(), 3u);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(g[size_t(i)].t[0], tf.Glyph('A' + i).u);
        EXPECT_EQ(g[size_t(i)].t[1], tf.Glyph('A' + i).v);
    }
    // Just enough glyphs for 'a' (97 = 32 + 65): no folding.
    TestFont wide(66);
    EXPECT_EQ(Font(wide.ff).flags, 0);
}

// ---------------------------------------------------------- layout form

TEST(FontLayout, GlyphsAreFourVerticesAndTexelsWithStripFlags)
{
    TestFont tf(95);
    Font f(tf.ff);
    const std::vector<Laid> g = Layout(f, "AB");
    ASSERT_EQ(g.size(), 2u);
    const UVCHAR& b = tf.Glyph('B');
    // B: pen at 10, quad from 10 + k to 10 + k + w.
    const u16 p[16] = {11, 0, 0, 1, 11, kHeight, 0, 1, 19, 0, 0, 0, 19, kHeight, 0, 0};
    const u16 t[8] = {b.u, b.v, b.u, u16(b.v + kHeight), u16(b.u + 8), b.v, u16(b.u + 8), u16(b.v + kHeight)};
    EXPECT_EQ(std::memcmp(g[1].p, p, sizeof(p)), 0);
    EXPECT_EQ(std::memcmp(g[1].t, t, sizeof(t)), 0);
}

TEST(FontLayout, TabsMoveThePenAndTheLineStartToTheNextStop)
{
    TestFont tf(95);
    Font f(tf.ff);
    // Pen at x1 + 10: the next stop is x1 + 64; at x1 + 64 exactly, x1 + 128.
    EXPECT_EQ(Layout(f, "\x02\x0A\x09" "A").at(0).X(), 64);
    EXPECT_EQ(Layout(f, "\x02\x40\x09" "A").at(0).X(), 128);
    // The stop is also the new line start.
    EXPECT_EQ(Layout(f, "\x02\x0A\x09\x0A" "A").at(0).X(), 64);
    // Code 18 changes the width; a width of 0 has no stops.
    EXPECT_EQ(Layout(f, "\x12\x10\x02\x05\x09" "A").at(0).X(), 16);
    EXPECT_EQ(Layout(f, "\x12\x00\x02\x05\x09" "A").at(0).X(), 5);
}

TEST(FontLayout, AlignmentsStartFromTheTextWidth)
{
    TestFont tf(95);
    Font f(tf.ff);
    f.align = 2;
    EXPECT_EQ(Layout(f, "W").at(0).X(), -10);   // width 21: 10 pixels left
    f.align = 1;
    EXPECT_EQ(Layout(f, "W").at(0).X(), -21);
    EXPECT_EQ(Layout(f, "AB").at(0).X(), -19);
}

TEST(FontLayout, ControlCodesMoveThePen)
{
    TestFont tf(95);
    Font f(tf.ff);
    struct Case
    {
        const char* text;
        int x, y;   // where the last glyph's quad starts
    } cases[] = {
        {"\x03\xFB" "A", 0, -5},
        {"A\x04\x05" "B", 6, 0},                   // x = line start + 5, then k 1
        {"\x02\x05\x07\x09" "A", 5, 9},            // layout: y = 9
        {"A\x08" "A", 0, 0},                        // back by the last advance
        {"A\n" "B", 1, kSpacing},                   // new line at the line start
        {"A\x0B" "B", 11, kSpacing},
        {"A\x0C" "B", 11, -kSpacing},
        {"A\x0D" "B", 1, 0},                        // layout: back to the origin
        {"\x05" "AB", -9 + 11, 0},                  // centre the rest on the pen
        {"\x06" "AB", -19 + 11, 0},                 // end the rest at the pen
        {"\x0E\x64\x00\x10" "AB", 81 + 11, 0},      // right in a field of 100
        {"\x0E\x64\x00\x11" "AB", 40 + 11, 0},      // centred in it
        {"\x0E\x64\x00\x10" "A\n" "B", 92, kSpacing},   // the next line is realigned
        {"\x0E\x64\x00\x10" "A\x14" "B", 92, 0},
        {"\x0E\x64\x00\x10\x0F" "A\n" "B", 1, kSpacing},   // back to the left
        {"\x02\x05\x13" "A\n" "B", 6, kSpacing},   // the line starts where the pen was
        {"A\x01\x10\x20\x30" "B", 11, 0},           // colours are skipped
    };
    for (const Case& c : cases) {
        const std::vector<Laid> g = Layout(f, c.text);
        ASSERT_FALSE(g.empty()) << c.text;
        EXPECT_EQ(g.back().X(), c.x) << "text " << ::testing::PrintToString(std::string(c.text));
        EXPECT_EQ(g.back().Y(), c.y) << "text " << ::testing::PrintToString(std::string(c.text));
    }
}

TEST(FontLayout, LenCountsCharactersAndCodesButNotTheirParameters)
{
    TestFont tf(95);
    Font f(tf.ff);
    // A code without a glyph is skipped without moving the pen but counts.
    std::vector<Laid> g = Layout(f, "A\x7F" "BC", 3);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[1].X(), 11);
    g = Layout(f, "\x02\x05" "AB", 2);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(g[0].X(), 5);
    EXPECT_EQ(Layout(f, "AB", 100).size(), 2u);
    EXPECT_EQ(Layout(f, "AB", 0).size(), 0u);
}

// --------------------------------------------------------- drawing form

namespace {

struct Vertex
{
    u64 uv, xyz;
};

class FontDraw : public render_test::FrameTest
{
protected:
    TestFont tf{95};
    Font font{tf.ff};

    // The (UV, XYZ2) pairs written in the frame, in order, and the PRIM of
    // the packet that carried each.
    void Decode(std::vector<Vertex>& vertices, std::vector<u32>* prims = nullptr)
    {
        chain::Walk w = Finish();
        ASSERT_TRUE(w.ended) << w.error;
        const std::vector<chain::GifItem> items = chain::DecodeGif(chain::DirectData(w));
        u64 uv = 0;
        for (const chain::GifItem& it : items) {
            if (it.reg == GS_UV)
                uv = it.value;
            if (it.reg == GS_XYZ2) {
                vertices.push_back({uv, it.value});
                if (prims)
                    prims->push_back(u32(it.taglo >> 47 & 0x7FF));
            }
        }
    }
};

u64 Xyz(float x, float y)
{
    return u64(u32(int((x + 2048.0f) * 16.0f))) | u64(u32(int((y + 2048.0f) * 16.0f))) << 16 | 0xFFFFFFull << 32;
}

u64 Uv(int u, int v)
{
    return u64(u * 16 + 8) | u64(v * 16 + 8) << 16;
}

}  // namespace

TEST_F(FontDraw, GlyphsAreSpritesAtFullDepth)
{
    Render2D r;
    r.Open(therenderer);
    font.Print(r, 10.5f, 20.0f, 123.0f, "AB", -1);
    r.Close(therenderer);
    std::vector<Vertex> v;
    Decode(v);
    ASSERT_EQ(v.size(), 4u);
    const UVCHAR& a = tf.Glyph('A');
    const UVCHAR& b = tf.Glyph('B');
    EXPECT_EQ(v[0].uv, Uv(a.u, a.v));
    EXPECT_EQ(v[0].xyz, Xyz(10.5f, 20.0f));
    EXPECT_EQ(v[1].uv, Uv(a.u + 9, a.v + kHeight));
    EXPECT_EQ(v[1].xyz, Xyz(19.5f, 20.0f + kHeight));
    EXPECT_EQ(v[2].uv, Uv(b.u, b.v));
    EXPECT_EQ(v[2].xyz, Xyz(21.5f, 20.0f));   // pen 20.5, k 1
    EXPECT_EQ(v[3].xyz, Xyz(29.5f, 20.0f + kHeight));
}

TEST_F(FontDraw, NothingToPrintStillSetsBlendAlphaTestAndTexture)
{
    Render2D r;
    r.Open(therenderer);
    font.Print(r, 0.0f, 0.0f, 0.0f, "AB", 0);
    EXPECT_EQ(r.alpha_reg, u64(ALPHA_BLEND));
    EXPECT_TRUE(r.prim_reg & PRIM_ABE);
    EXPECT_EQ(r.test_reg & 0x3FFF, 13u);   // alpha test greater than 0, else keep
    EXPECT_EQ(r.texture, tf.ff);
    EXPECT_EQ(r.texmode, TEXMODE_MODULATE);
    EXPECT_TRUE(r.update_flags & R2D_TEXTURE);
    r.Close(therenderer);
    std::vector<Vertex> v;
    Decode(v);
    EXPECT_TRUE(v.empty());
}

TEST_F(FontDraw, ColourCodesSetTheColourUnlessIgnored)
{
    Render2D r;
    r.Open(therenderer);
    r.SetColour(Colour(1, 2, 3, 4));
    font.Print(r, 0.0f, 0.0f, 0.0f, "\x01\x10\x20\x30" "A", -1);
    EXPECT_EQ(r.rgbaq_reg, Colour(0x10, 0x20, 0x30, 0x80).Word());
    font.flags |= FONT_NOCOLOUR;
    font.Print(r, 50.0f, 0.0f, 0.0f, "\x01\x40\x50\x60" "A", -1);
    EXPECT_EQ(r.rgbaq_reg, Colour(0x10, 0x20, 0x30, 0x80).Word());
    r.Close(therenderer);
    std::vector<Vertex> v;
    Decode(v);
    // The ignored code's three bytes are consumed: A is drawn at the start.
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[2].xyz, Xyz(50.0f, 0.0f));
}

TEST_F(FontDraw, MatrixGlyphsAreStripsThroughTheMatrix)
{
    Render2D r;
    r.Open(therenderer);
    font.SetMat(Matrix2{2.0f, 0.0f, 0.5f, 2.0f});
    EXPECT_EQ(font.flags & FONT_MATRIX, FONT_MATRIX);
    font.Print(r, 100.0f, 50.0f, 0.0f, "A", -1);
    const u32 prim = r.prim_reg | PRIM_TRISTRIP;
    // A singular matrix has no inverse: the start is used as given.
    font.SetMat(Matrix2{0.0f, 0.0f, 0.0f, 0.0f});
    font.Print(r, 100.0f, 50.0f, 0.0f, "A", -1);
    font.ClearMat();
    EXPECT_EQ(font.flags & FONT_MATRIX, 0);
    r.Close(therenderer);
    std::vector<Vertex> v;
    std::vector<u32> prims;
    Decode(v, &prims);
    ASSERT_EQ(v.size(), 8u);
    for (u32 pr : prims)
        EXPECT_EQ(pr, prim & 0x7FF);
    // The start maps back to (100, 50): inverse of (100, 50) is (43.75, 25);
    // corner (px, py) lands at (2 px + 0.5 py, 2 py).
    const UVCHAR& a = tf.Glyph('A');
    const float x = 43.75f, y = 25.0f, w = 9.0f, h = kHeight;
    auto at = [](float px, float py) { return Xyz(2.0f * px + 0.5f * py, 2.0f * py); };
    EXPECT_EQ(v[0].xyz, at(x, y));
    EXPECT_EQ(v[1].xyz, at(x, y + h));
    EXPECT_EQ(v[2].xyz, at(x + w, y));
    EXPECT_EQ(v[3].xyz, at(x + w, y + h));
    EXPECT_EQ(v[0].uv, Uv(a.u, a.v));
    EXPECT_EQ(v[1].uv, Uv(a.u, a.v + kHeight));
    EXPECT_EQ(v[2].uv, Uv(a.u + 9, a.v));
    EXPECT_EQ(v[3].uv, Uv(a.u + 9, a.v + kHeight));
    EXPECT_EQ(v[4].xyz, Xyz(0.0f, 0.0f));
}

TEST_F(FontDraw, PrintFFormatsAndKeeps255Characters)
{
    Render2D r;
    r.Open(therenderer);
    font.PrintF(r, 0, 0, 0, "%c%d", 'A', 7);
    const std::string many(300, 'B');
    font.PrintF(r, 0.0f, 20.0f, 0.0f, "%s", many.c_str());
    r.Close(therenderer);
    std::vector<Vertex> v;
    Decode(v);
    ASSERT_EQ(v.size(), 2u * (2 + 255));
    EXPECT_EQ(v[2].uv, Uv(tf.Glyph('7').u, tf.Glyph('7').v));
}

// ------------------------------------------------------------ on the GS

namespace {

// Level of texel (x, y) of a font's pixels: 0 transparent .. 15 opaque.
int TexelLevel(const FONTFILE& ff, int x, int y)
{
    const u8* pal = static_cast<const u8*>(ff.data);
    const u8* pix = pal + 4 * ff.clutsize;
    const int n = y * ff.width + x;
    int index;
    if (ff.Psm() == PSMT8)
        index = Render2D_raw::ClutSwizzle(pix[n]);
    else
        index = n & 1 ? pix[n / 2] >> 4 : pix[n / 2] & 15;
    return pal[4 * index + 3] * 15 / 0x80;
}

// A texel of glyph g that is opaque with its right, lower and diagonal
// neighbours, so that bilinear sampling at it (or up to a texel past it)
// gives the full texture colour; false if there is none.
bool SolidTexel(const FONTFILE& ff, const UVCHAR& g, int& tx, int& ty)
{
    for (int y = g.v; y + 1 < g.v + ff.fontheight; y++)
        for (int x = g.u; x + 1 < g.u + g.w; x++) {
            bool solid = true;
            for (int j = 0; j <= 1; j++)
                for (int i = 0; i <= 1; i++)
                    solid &= TexelLevel(ff, x + i, y + j) == 15;
            if (solid) {
                tx = x;
                ty = y;
                return true;
            }
        }
    return false;
}

}  // namespace

class FontOnGs : public gsframe::GsFrameTest
{
};

// Two lines in two of the game's fonts (8-bit and 4-bit), compared with a
// picture kept with the tests; on a mismatch the picture drawn is written
// beside it.
TEST_F(FontOnGs, LinesOfTextMatchTheGoldenPicture)
{
    constexpr int kW = 256, kH = 64;
    Surface draw, zbuf;
    gsframe::PlaceBuffers(draw, zbuf, kW, kH);
    static Font large(Font_UI_Large);
    static Font arial(Arial);
    Frame([&](Render2D& r) {
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(40, 40, 40, 128));
        r.SetColour(Colour(128, 64, 32, 128));
        large.Print(r, 4.0f, 2.0f, 0.0f, "Korvalis 0123 \xC9\xE7\xB6", -1);
        r.SetColour(Colour(128, 128, 128, 128));
        arial.Print(r, 4.0f, 34.0f, 0.0f, "Pos = 16, -64 \x01\x20\x80\x20" "ok!", -1);
    });
    auto pixel = [](int x, int y) { return golden::FramePixel(x, y, kW); };

    // Worked out from the font images: an opaque texel of 'K' lands on the
    // text colour modulated by white (c * 255 >> 7), and blending at full
    // alpha keeps it; the frame's alpha is the source's 0x80.
    const FONTFILE& ff = Font_UI_Large;
    const UVCHAR& k = ff.Glyph('K' - ff.fChar);
    int tx = 0, ty = 0;
    ASSERT_TRUE(SolidTexel(ff, k, tx, ty));
    EXPECT_EQ(pixel(4 + k.k + tx - k.u, 2 + ty - k.v), Colour(255, 127, 63, 128).Word());
    EXPECT_EQ(pixel(250, 30), Colour(40, 40, 40, 128).Word());   // past the text
    // Arial's 'o' after the colour code is green; the layout form says where
    // its quad starts.
    const FONTFILE& fa = Arial;
    const std::vector<Laid> laid = Layout(arial, "Pos = 16, -64 \x01\x20\x80\x20" "ok!");
    ASSERT_EQ(laid.size(), 17u);
    const UVCHAR& o = fa.Glyph('o' - 32);
    ASSERT_TRUE(SolidTexel(fa, o, tx, ty));
    EXPECT_EQ(pixel(4 + laid[14].X() + tx - o.u, 34 + ty - o.v), Colour(63, 255, 63, 128).Word());

    golden::ExpectFrameBuffer("font_lines", kW, kH);
}

// The fonts whose textures hold their glyphs smaller than their cells: the
// glyphs still print as whole letters on one line, each from its own cell.
TEST_F(FontOnGs, FontsDrawnSmallerThanTheirCellsMatchTheGoldenPicture)
{
    constexpr int kW = 256, kH = 96;
    Surface draw, zbuf;
    gsframe::PlaceBuffers(draw, zbuf, kW, kH);
    static Font helvetica(Font_HelveticaBlack);
    static Font heading(Font_GUI_heading);
    Frame([&](Render2D& r) {
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(16, 24, 48, 128));
        r.SetColour(Colour(128, 128, 96, 128));
        helvetica.Print(r, 4.0f, 4.0f, 0.0f, "Korvalis 2 - Mission [07] ok?", -1);
        r.SetColour(Colour(128, 96, 32, 128));
        heading.Print(r, 4.0f, 32.0f, 0.0f, "Heading 42!", -1);
    });
    // The heading font has no small letters: they print as capitals.
    EXPECT_EQ(heading.Len2("Heading"), heading.Len2("HEADING"));
    EXPECT_EQ(golden::FramePixel(250, 90, kW), Colour(16, 24, 48, 128).Word());
    golden::ExpectFrameBuffer("font_small_cells", kW, kH);
}
