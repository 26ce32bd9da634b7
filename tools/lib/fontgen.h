// Font generator: draws the game's bitmap fonts from a small hand-made glyph
// table and lays them out as FONTFILE images (texture record, metrics, glyph
// table, palette, pixels), and writes them as C++ source for the game.
//
// Glyphs are drawn on a base grid of 5-ish columns: three rows for accents,
// seven for capitals and two for descenders.  A font scales that grid to its
// height (with 4 x 4 supersampling for the edges), optionally bold and
// condensed, and packs the glyphs' cells into its texture, smaller when the
// texture's size asks for it.  Accented
// Latin-1 letters are composed from a base letter and an accent.  The
// palette is white with an alpha ramp of 16 levels; 8-bit fonts index it
// with printable characters, so that the generated source shows the glyphs.
// Output depends only on the tables.
#pragma once

#include <string>
#include <vector>

#include <ee/types.h>

namespace tools {

struct FontLayout
{
    const char* name;     // the image's name in the game
    int psm;              // PSMT4 or PSMT8
    int texwidth;         // texture width in pixels
    int texheight;        // texture height in pixels; 0: as many rows as the
                          // glyphs need at full size
    int nchars;           // glyphs
    int fchar;            // code of the first glyph
    int height;           // glyph height (fontheight)
    int spacing;          // line advance
    bool bold;
    int condense;         // horizontal scale in eighths (8: none)
    bool padsymbols;      // code 0xB6 is the pad's cross button
    const char* drawn;    // when set, only these codes get pictures; lower
                          // case then shares upper case, others are empty
};

// The nine fonts the game carries, in the order it builds them.
const std::vector<FontLayout>& GameFonts();

// A glyph on the base grid: rows top to bottom (12 of them), bit c of a row
// is column c from the left.
struct BaseGlyph
{
    int width = 0;
    std::vector<u32> rows;
};
constexpr int kBaseRows = 12;      // accents 0-2, capitals 3-9, descenders 10-11
constexpr int kBaseCapTop = 3;

// The picture of character code c (without bold or pad symbols), or false
// when the table has none.
bool GlyphFor(int c, bool padsymbols, BaseGlyph& out);

// Checks the hand-made tables: every row of a glyph as wide as its first,
// only 'X' and '.', no more rows than the grid; false with the first problem.
bool CheckGlyphTables(std::string* error);

// The FONTFILE image of one font, padded to whole quadwords.  Each glyph
// takes a cell of the font's height, and cells share texels only where they
// are all clear.  A font with a texture height draws its glyphs as large as
// that texture allows (centred in their cells); false (with a reason) when
// even the smallest do not fit, or, without one, when the glyphs at full
// size need more than 1024 rows.
bool BuildFontImage(const FontLayout& fl, std::vector<u8>& image, std::string* error);

// C++ source that defines every font image of `layouts` and its FONTFILE
// reference.  Empty (with a reason) when a font cannot be built.
std::string FontSource(const std::vector<FontLayout>& layouts, std::string* error);

}  // namespace tools
