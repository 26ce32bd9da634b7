// Bitmap fonts.  A FONTFILE is one image carried in the program's data: a
// texture record, the glyph table and, at `data`, the palette and the glyph
// pixels.  A Font prints text with it through a Render2D, one textured sprite
// per glyph (or a four-vertex strip when a 2 x 2 matrix is installed), and
// obeys the control codes embedded in the text:
//
//   1 r g b  colour (r, g, b, 0x80)      11  line down        12  line up
//   2 d      pen x += d (signed)         13  nothing (layout form: x = x1 = 0)
//   3 d      pen y += d (signed)         14 lo hi  field width = lo + 256 hi
//   4 n      pen x = line start + n      15  align left
//   5        centre the rest on the pen  16  align right in the field
//   6        end the rest at the pen     17  centre in the field
//   7 n      pen y = top + n             18 n  tab width = n
//   8        back by the last advance    19  line start = pen x
//   9        next tab stop               20  realign the rest
//   10       new line (then as 20)
//
// "The rest" is the text after the code up to the next code other than 1.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"

// One glyph: its top-left texel, drawn width, advance and the offset of the
// drawn quad from the pen.
struct UVCHAR
{
    u16 u, v;
    u8 w;   // drawn width in pixels
    u8 s;   // advance in pixels
    s8 k;   // horizontal offset of the quad from the pen
    s8 pad;
};
static_assert(sizeof(UVCHAR) == 8, "stored in font images");

// A font image: the texture record, then the metrics and nChars glyphs.  In
// the image `data` is the offset of the palette (followed by the pixels) from
// the image's start; the Font built over it turns it into an address.
class FONTFILE : public Texture
{
public:
    u8 nChars;       // glyphs
    u8 fChar;        // code of the first glyph
    u8 fontheight;   // every glyph quad is this tall
    u8 spacing;      // line advance
    UVCHAR uvChars[1];   // nChars of them

    const UVCHAR& Glyph(int i) const { return (&uvChars[0])[i]; }
};
constexpr int FONTFILE_METRICS = 40;   // offset of nChars in the image
constexpr int FONTFILE_GLYPHS = 44;    // offset of uvChars
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(Texture) == 40 && offsetof(FONTFILE, nChars) == FONTFILE_METRICS &&
                  offsetof(FONTFILE, spacing) == FONTFILE_METRICS + 3 && offsetof(FONTFILE, uvChars) == FONTFILE_GLYPHS,
              "the layout of font images");
#pragma GCC diagnostic pop

// 2 x 2 matrix: (x, y) -> (x a + y c, x b + y d).
struct alignas(16) Matrix2
{
    float a, b, c, d;
};

// Font flags.
constexpr u8 FONT_MATRIX = 1;     // glyphs are drawn through mat
constexpr u8 FONT_UPPER = 2;      // no lower case: 'a'..'z' print as 'A'..'Z'
constexpr u8 FONT_NOCOLOUR = 4;   // colour codes are ignored

class Font
{
public:
    FONTFILE* ff;
    u16 tab;     // tab width in pixels
    u8 align;    // 0 left, 1 right, 2 centred
    u8 flags;    // FONT_ bits
    Matrix2 mat;

    // Takes the image and makes its data offset an address.
    explicit Font(FONTFILE* _ff);
    explicit Font(FONTFILE& _ff) : Font(&_ff) {}

    void SetMat(Matrix2 m)
    {
        mat = m;
        flags |= FONT_MATRIX;
    }
    void ClearMat() { flags &= u8(~FONT_MATRIX); }
    Texture* GetTexture() const { return ff; }
    const UVCHAR& GetUV(int i) const { return ff->Glyph(i); }
    int Spacing() const { return ff->spacing; }
    int Height() const { return ff->fontheight; }

    // Width in pixels of the text up to the first code that is neither a
    // glyph nor a colour code; the last glyph counts k + w instead of its
    // advance.
    int Len2(const char* string) const;

    // Draws len characters (-1: up to the terminating zero) with the pen's
    // top-left at (x, y) pixels.  Glyphs are drawn at depth 0xFFFFFF; z is
    // not used.  Leaves r2d with the font's texture, alpha blending and the
    // alpha test (greater than 0) set.
    void Print(Render2D& r2d, float x, float y, float z, const char* string, int len);
    // Formats with the engine's formatter (at most 255 characters are kept)
    // and prints the whole result.
    void PrintF(Render2D& r2d, float x, float y, float z, const char* format, ...)
        __attribute__((format(__printf__, 6, 7)));
    void PrintF(Render2D& r2d, int x, int y, int z, const char* format, ...)
        __attribute__((format(__printf__, 6, 7)));

    // Layout form: for each glyph four vertices, (x, y, 0, flag) into p and
    // the texel (u, v) into t, pen from (0, 0), untransformed; the flag is 1
    // for the first two (they start a strip) and 0 for the last two.  Returns
    // the number of glyphs laid out.
    int Print(const char* string, int len, u16* p, u16* t);

    // Glyph index of character code c (after the upper-case fold), or -1.
    int GlyphIndex(int c) const;

private:
    void DrawGlyph(Render2D& r2d, const UVCHAR& g, float x, float y);
    void PrintV(Render2D& r2d, float x, float y, float z, const char* format, va_list ap);
};
static_assert(sizeof(Font) == 32, "allocated as 32-byte, 16-aligned records");

// The fonts carried in the program's data, each given to one Font at start-up.
extern FONTFILE& Arial;
extern FONTFILE& Font_GUI_text;
extern FONTFILE& Font_GUI_heading;
extern FONTFILE& Font_HelveticaBlack;
extern FONTFILE& Font_StreetSign;
extern FONTFILE& Font_UI_Large;
extern FONTFILE& Font_UI_Medium;
extern FONTFILE& Font_UI_Small;
extern FONTFILE& Font_LicPlate;
