#include "tools/lib/fontgen.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"

namespace tools {

namespace {

// Where the image's fields lie: the texture record as the game declares it,
// then the metrics and the glyph table.
static_assert(offsetof(Texture, format) == 0 && offsetof(Texture, width) == 2 && offsetof(Texture, height) == 4 &&
              offsetof(Texture, clutsize) == 6 && offsetof(Texture, nblocks) == 8 &&
              offsetof(Texture, refcount) == 10 && offsetof(Texture, data) == 12 && offsetof(Texture, tex0) == 16 &&
              offsetof(Texture, miptbp1) == 24 && offsetof(Texture, miptbp2) == 32 && sizeof(Texture) == 40);
static_assert(offsetof(UVCHAR, u) == 0 && offsetof(UVCHAR, v) == 2 && offsetof(UVCHAR, w) == 4 &&
              offsetof(UVCHAR, s) == 5 && offsetof(UVCHAR, k) == 6 && sizeof(UVCHAR) == 8);

// ------------------------------------------------------------ glyph table

// Rows from the capital line down ('|' between rows): seven rows for
// capitals and x-height letters, two more for descenders.
struct GlyphDef
{
    int code;
    const char* rows;
};

const GlyphDef kGlyphs[] = {
    {' ', "...|...|...|...|...|...|..."},
    {'!', "X|X|X|X|X|.|X"},
    {'"', "X.X|X.X|...|...|...|...|..."},
    {'#', ".X.X.|.X.X.|XXXXX|.X.X.|XXXXX|.X.X.|.X.X."},
    {'$', "..X..|.XXXX|X.X..|.XXX.|..X.X|XXXX.|..X.."},
    {'%', "XX...|XX..X|...X.|..X..|.X...|X..XX|...XX"},
    {'&', ".X...|X.X..|X.X..|.X...|X.X.X|X..X.|.XX.X"},
    {'\'', "X|X|.|.|.|.|."},
    {'(', "..X|.X.|X..|X..|X..|.X.|..X"},
    {')', "X..|.X.|..X|..X|..X|.X.|X.."},
    {'*', ".....|..X..|X.X.X|.XXX.|X.X.X|..X..|....."},
    {'+', ".....|..X..|..X..|XXXXX|..X..|..X..|....."},
    {',', "..|..|..|..|..|.X|.X|X."},
    {'-', "....|....|....|XXXX|....|....|...."},
    {'.', ".|.|.|.|.|.|X"},
    {'/', "....X|...X.|...X.|..X..|.X...|.X...|X...."},
    {'0', ".XXX.|X...X|X..XX|X.X.X|XX..X|X...X|.XXX."},
    {'1', ".X.|XX.|.X.|.X.|.X.|.X.|XXX"},
    {'2', ".XXX.|X...X|....X|...X.|..X..|.X...|XXXXX"},
    {'3', "XXXX.|....X|....X|.XXX.|....X|....X|XXXX."},
    {'4', "...X.|..XX.|.X.X.|X..X.|XXXXX|...X.|...X."},
    {'5', "XXXXX|X....|XXXX.|....X|....X|X...X|.XXX."},
    {'6', "..XX.|.X...|X....|XXXX.|X...X|X...X|.XXX."},
    {'7', "XXXXX|....X|...X.|..X..|.X...|.X...|.X..."},
    {'8', ".XXX.|X...X|X...X|.XXX.|X...X|X...X|.XXX."},
    {'9', ".XXX.|X...X|X...X|.XXXX|....X|...X.|.XX.."},
    {':', ".|.|X|.|.|X|."},
    {';', "..|..|.X|..|..|.X|.X|X."},
    {'<', "...X|..X.|.X..|X...|.X..|..X.|...X"},
    {'=', "....|....|XXXX|....|XXXX|....|...."},
    {'>', "X...|.X..|..X.|...X|..X.|.X..|X..."},
    {'?', ".XXX.|X...X|....X|...X.|..X..|.....|..X.."},
    {'@', ".XXX.|X...X|X.XXX|X.X.X|X.XXX|X....|.XXXX"},
    {'A', ".XXX.|X...X|X...X|XXXXX|X...X|X...X|X...X"},
    {'B', "XXXX.|X...X|X...X|XXXX.|X...X|X...X|XXXX."},
    {'C', ".XXX.|X...X|X....|X....|X....|X...X|.XXX."},
    {'D', "XXXX.|X...X|X...X|X...X|X...X|X...X|XXXX."},
    {'E', "XXXXX|X....|X....|XXXX.|X....|X....|XXXXX"},
    {'F', "XXXXX|X....|X....|XXXX.|X....|X....|X...."},
    {'G', ".XXX.|X...X|X....|X.XXX|X...X|X...X|.XXXX"},
    {'H', "X...X|X...X|X...X|XXXXX|X...X|X...X|X...X"},
    {'I', "XXX|.X.|.X.|.X.|.X.|.X.|XXX"},
    {'J', "..XXX|...X.|...X.|...X.|...X.|X..X.|.XX.."},
    {'K', "X...X|X..X.|X.X..|XX...|X.X..|X..X.|X...X"},
    {'L', "X....|X....|X....|X....|X....|X....|XXXXX"},
    {'M', "X...X|XX.XX|X.X.X|X.X.X|X...X|X...X|X...X"},
    {'N', "X...X|X...X|XX..X|X.X.X|X..XX|X...X|X...X"},
    {'O', ".XXX.|X...X|X...X|X...X|X...X|X...X|.XXX."},
    {'P', "XXXX.|X...X|X...X|XXXX.|X....|X....|X...."},
    {'Q', ".XXX.|X...X|X...X|X...X|X.X.X|X..X.|.XX.X"},
    {'R', "XXXX.|X...X|X...X|XXXX.|X.X..|X..X.|X...X"},
    {'S', ".XXXX|X....|X....|.XXX.|....X|....X|XXXX."},
    {'T', "XXXXX|..X..|..X..|..X..|..X..|..X..|..X.."},
    {'U', "X...X|X...X|X...X|X...X|X...X|X...X|.XXX."},
    {'V', "X...X|X...X|X...X|X...X|X...X|.X.X.|..X.."},
    {'W', "X...X|X...X|X...X|X.X.X|X.X.X|X.X.X|.X.X."},
    {'X', "X...X|X...X|.X.X.|..X..|.X.X.|X...X|X...X"},
    {'Y', "X...X|X...X|.X.X.|..X..|..X..|..X..|..X.."},
    {'Z', "XXXXX|....X|...X.|..X..|.X...|X....|XXXXX"},
    {'[', "XXX|X..|X..|X..|X..|X..|XXX"},
    {'\\', "X....|.X...|.X...|..X..|...X.|...X.|....X"},
    {']', "XXX|..X|..X|..X|..X|..X|XXX"},
    {'^', "..X..|.X.X.|X...X|.....|.....|.....|....."},
    {'_', ".....|.....|.....|.....|.....|.....|.....|XXXXX"},
    {'`', "X.|.X|..|..|..|..|.."},
    {'a', ".....|.....|.XXX.|....X|.XXXX|X...X|.XXXX"},
    {'b', "X....|X....|XXXX.|X...X|X...X|X...X|XXXX."},
    {'c', "....|....|.XXX|X...|X...|X...|.XXX"},
    {'d', "....X|....X|.XXXX|X...X|X...X|X...X|.XXXX"},
    {'e', ".....|.....|.XXX.|X...X|XXXXX|X....|.XXX."},
    {'f', "..XX|.X..|XXXX|.X..|.X..|.X..|.X.."},
    {'g', ".....|.....|.XXXX|X...X|X...X|X...X|.XXXX|....X|.XXX."},
    {'h', "X....|X....|XXXX.|X...X|X...X|X...X|X...X"},
    {'i', "X|.|X|X|X|X|X"},
    {'j', "..X|...|..X|..X|..X|..X|..X|X.X|.X."},
    {'k', "X...|X...|X..X|X.X.|XX..|X.X.|X..X"},
    {'l', "X.|X.|X.|X.|X.|X.|.X"},
    {'m', ".....|.....|XX.X.|X.X.X|X.X.X|X.X.X|X.X.X"},
    {'n', ".....|.....|XXXX.|X...X|X...X|X...X|X...X"},
    {'o', ".....|.....|.XXX.|X...X|X...X|X...X|.XXX."},
    {'p', ".....|.....|XXXX.|X...X|X...X|X...X|XXXX.|X....|X...."},
    {'q', ".....|.....|.XXXX|X...X|X...X|X...X|.XXXX|....X|....X"},
    {'r', "....|....|X.XX|XX..|X...|X...|X..."},
    {'s', "....|....|.XXX|X...|.XX.|...X|XXX."},
    {'t', ".X..|.X..|XXXX|.X..|.X..|.X..|..XX"},
    {'u', ".....|.....|X...X|X...X|X...X|X...X|.XXXX"},
    {'v', ".....|.....|X...X|X...X|X...X|.X.X.|..X.."},
    {'w', ".....|.....|X...X|X...X|X.X.X|X.X.X|.X.X."},
    {'x', ".....|.....|X...X|.X.X.|..X..|.X.X.|X...X"},
    {'y', ".....|.....|X...X|X...X|X...X|X...X|.XXXX|....X|.XXX."},
    {'z', ".....|.....|XXXXX|...X.|..X..|.X...|XXXXX"},
    {'{', "..X|.X.|.X.|X..|.X.|.X.|..X"},
    {'|', "X|X|X|X|X|X|X|X"},
    {'}', "X..|.X.|.X.|..X|.X.|.X.|X.."},
    {'~', ".....|.....|.X...|X.X.X|...X.|.....|....."},
    // Windows Latin-1 additions used in European texts.
    {0x80, "..XXX|.X...|XXXX.|.X...|XXXX.|.X...|..XXX"},   // euro
    {0x82, "..|..|..|..|..|.X|.X|X."},                     // low quote
    {0x84, "....|....|....|....|....|.X.X|.X.X|X.X."},     // low double quote
    {0x85, ".....|.....|.....|.....|.....|.....|X.X.X"},   // ellipsis
    {0x8B, "...|...|..X|.X.|X..|.X.|..X"},                 // single angle quote
    {0x8C, ".XXXXX|X..X..|X..X..|X..XXX|X..X..|X..X..|.XXXXX"},   // OE
    {0x91, ".X|X.|XX|..|..|..|.."},                        // quotes
    {0x92, "XX|.X|X.|..|..|..|.."},
    {0x93, ".X..X|X..X.|XX.XX|.....|.....|.....|....."},
    {0x94, "XX.XX|.X..X|X..X.|.....|.....|.....|....."},
    {0x95, "...|...|.X.|XXX|.X.|...|..."},                 // bullet
    {0x96, "....|....|....|XXXX|....|....|...."},          // dashes
    {0x97, "......|......|......|XXXXXX|......|......|......"},
    {0x99, "XXX.X...X|.X..XX.XX|.X..X.X.X|.X..X...X|.........|.........|........."},   // trade mark
    {0x9B, "...|...|X..|.X.|..X|.X.|X.."},
    {0x9C, "......|......|.XX.X.|X..X.X|X..XXX|X..X..|.XX.XX"},   // oe
    {0xA0, "...|...|...|...|...|...|..."},                 // no-break space
    {0xA1, ".|.|X|.|X|X|X|X|X"},
    {0xA2, "..X..|.XXXX|X.X..|X.X..|X.X..|.XXXX|..X.."},
    {0xA3, "..XX.|.X..X|.X...|XXXX.|.X...|.X...|XXXXX"},
    {0xA4, ".....|X...X|.XXX.|.X.X.|.XXX.|X...X|....."},
    {0xA5, "X...X|.X.X.|..X..|XXXXX|..X..|XXXXX|..X.."},
    {0xA6, "X|X|X|.|X|X|X"},
    {0xA7, ".XXX|X...|.XX.|X..X|.XX.|...X|XXX."},
    {0xA8, "X.X|...|...|...|...|...|..."},
    {0xA9, "..XXX..|.X...X.|X..XX.X|X.X...X|X..XX.X|.X...X.|..XXX.."},   // copyright
    {0xAA, ".XX|..X|XXX|X.X|XXX|...|XXX"},
    {0xAB, ".....|.....|..X.X|.X.X.|X.X..|.X.X.|..X.X"},
    {0xAC, ".....|.....|.....|XXXXX|....X|.....|....."},
    {0xAD, "....|....|....|XXXX|....|....|...."},          // soft hyphen
    {0xAE, "..XXX..|.X...X.|X.XX..X|X.X.X.X|X.XX..X|.X.X.X.|..XXX.."},   // registered
    {0xAF, "XXXX|....|....|....|....|....|...."},
    {0xB0, ".X.|X.X|.X.|...|...|...|..."},
    {0xB1, ".....|..X..|..X..|XXXXX|..X..|..X..|XXXXX"},
    {0xB2, "XX.|..X|.X.|XXX|...|...|..."},
    {0xB3, "XX.|.XX|..X|XX.|...|...|..."},
    {0xB4, ".X|X.|..|..|..|..|.."},
    {0xB5, ".....|.....|X...X|X...X|X...X|XX..X|X.XX.|X....|X...."},
    {0xB6, ".XXXX|XXX.X|XXX.X|.XX.X|..X.X|..X.X|..X.X"},   // pilcrow
    {0xB7, ".|.|.|X|.|.|."},
    {0xB8, "..|..|..|..|..|..|..|.X|X."},
    {0xB9, ".X|XX|.X|.X|..|..|.."},
    {0xBA, ".X.|X.X|X.X|.X.|...|XXX|..."},
    {0xBB, ".....|.....|X.X..|.X.X.|..X.X|.X.X.|X.X.."},
    {0xBC, "X....X.|X...X..|X..X...|..X..X.|.X..XX.|X..XXXX|.....X."},
    {0xBD, "X....X.|X...X..|X..X...|..X.XX.|.X....X|X....X.|....XXX"},
    {0xBE, "XX...X.|.X..X..|XX.X...|..X..X.|.X..XX.|X..XXXX|.....X."},
    {0xBF, "..X..|.....|..X..|.X...|X....|X...X|.XXX."},
    {0xC6, ".XXXXX|X..X..|X..X..|XXXXX.|X..X..|X..X..|X..XXX"},   // AE
    {0xD0, "XXXX.|.X..X|.X..X|XXX.X|.X..X|.X..X|XXXX."},
    {0xD7, ".....|.....|X...X|.X.X.|..X..|.X.X.|X...X"},
    {0xD8, ".XXXX|X..XX|X.X.X|X.X.X|X.X.X|XX..X|XXXX."},
    {0xDE, "X....|XXXX.|X...X|X...X|XXXX.|X....|X...."},
    {0xDF, ".XX..|X..X.|X..X.|X.X..|X..X.|X...X|X.XX."},
    {0xE6, "......|......|.XX.X.|...X.X|.XXXXX|X..X..|.XX.XX"},   // ae
    {0xF0, ".XX..|...X.|.XXXX|X...X|X...X|X...X|.XXX."},
    {0xF7, ".....|..X..|.....|XXXXX|.....|..X..|....."},
    {0xF8, ".....|.....|.XXXX|X..XX|X.X.X|XX..X|XXXX."},
    {0xFE, "X....|X....|XXXX.|X...X|X...X|X...X|XXXX.|X....|X...."},
};

// Letters without a glyph of their own: a base drawn above or below the
// capital line.
const GlyphDef kBases[] = {
    {0x131, ".|.|X|X|X|X|X"},   // dotless i
};

// The pad's cross button, for the interface fonts.
const char* const kCrossButton = "..XXX..|.X...X.|X.X.X.X|X..X..X|X.X.X.X|.X...X.|..XXX..";
// What codes without a picture show.
const char* const kMissing = "XXXX|X..X|X..X|X..X|X..X|X..X|XXXX";

// Accents: over capitals on rows 0-1, over small letters on rows 2-3 (the
// ring takes one more); the cedilla hangs below on rows 10-11.
struct AccentDef
{
    char name;
    const char* rows;
};
const AccentDef kAccents[] = {
    {'`', "X.|.X"}, {'\'', ".X|X."}, {'^', ".X.|X.X"}, {'~', ".X.X|X.X."},
    {':', "...|X.X"}, {'o', ".X.|X.X|.X."}, {'v', "X.X|.X."}, {',', ".X|X."},
};

struct Composed
{
    int code;
    int base;
    char accent;
};
const Composed kComposed[] = {
    {0x8A, 'S', 'v'}, {0x8E, 'Z', 'v'}, {0x9A, 's', 'v'}, {0x9E, 'z', 'v'}, {0x9F, 'Y', ':'},
    {0xC0, 'A', '`'}, {0xC1, 'A', '\''}, {0xC2, 'A', '^'}, {0xC3, 'A', '~'}, {0xC4, 'A', ':'},
    {0xC5, 'A', 'o'}, {0xC7, 'C', ','}, {0xC8, 'E', '`'}, {0xC9, 'E', '\''}, {0xCA, 'E', '^'},
    {0xCB, 'E', ':'}, {0xCC, 'I', '`'}, {0xCD, 'I', '\''}, {0xCE, 'I', '^'}, {0xCF, 'I', ':'},
    {0xD1, 'N', '~'}, {0xD2, 'O', '`'}, {0xD3, 'O', '\''}, {0xD4, 'O', '^'}, {0xD5, 'O', '~'},
    {0xD6, 'O', ':'}, {0xD9, 'U', '`'}, {0xDA, 'U', '\''}, {0xDB, 'U', '^'}, {0xDC, 'U', ':'},
    {0xDD, 'Y', '\''}, {0xE0, 'a', '`'}, {0xE1, 'a', '\''}, {0xE2, 'a', '^'}, {0xE3, 'a', '~'},
    {0xE4, 'a', ':'}, {0xE5, 'a', 'o'}, {0xE7, 'c', ','}, {0xE8, 'e', '`'}, {0xE9, 'e', '\''},
    {0xEA, 'e', '^'}, {0xEB, 'e', ':'}, {0xEC, 0x131, '`'}, {0xED, 0x131, '\''}, {0xEE, 0x131, '^'},
    {0xEF, 0x131, ':'}, {0xF1, 'n', '~'}, {0xF2, 'o', '`'}, {0xF3, 'o', '\''}, {0xF4, 'o', '^'},
    {0xF5, 'o', '~'}, {0xF6, 'o', ':'}, {0xF9, 'u', '`'}, {0xFA, 'u', '\''}, {0xFB, 'u', '^'},
    {0xFC, 'u', ':'}, {0xFD, 'y', '\''}, {0xFF, 'y', ':'},
};

// Parses rows ('|' between them) into `g` from grid row `top`.
bool Parse(const char* text, int top, BaseGlyph& g, std::string* error)
{
    g.rows.assign(kBaseRows, 0);
    g.width = -1;
    int row = top;
    int col = 0;
    for (const char* s = text;; ++s) {
        if (*s == '|' || *s == 0) {
            if (g.width < 0)
                g.width = col;
            else if (col != g.width) {
                if (error)
                    *error = std::string("uneven rows in \"") + text + "\"";
                return false;
            }
            if (*s == 0)
                break;
            ++row;
            col = 0;
            continue;
        }
        if ((*s != 'X' && *s != '.') || row >= kBaseRows || col >= 31) {
            if (error)
                *error = std::string("bad glyph \"") + text + "\"";
            return false;
        }
        if (*s == 'X')
            g.rows[size_t(row)] |= 1u << col;
        ++col;
    }
    return true;
}

const char* FindDef(const GlyphDef* defs, size_t n, int code)
{
    for (size_t i = 0; i < n; i++)
        if (defs[i].code == code)
            return defs[i].rows;
    return nullptr;
}

const char* TableGlyph(int code)
{
    if (const char* r = FindDef(kGlyphs, std::size(kGlyphs), code))
        return r;
    return FindDef(kBases, std::size(kBases), code);
}

// Draws `part` into `g` with its left column at x.
void Blit(BaseGlyph& g, const BaseGlyph& part, int x)
{
    for (int r = 0; r < kBaseRows; r++)
        g.rows[size_t(r)] |= part.rows[size_t(r)] << x;
}

bool Compose(const Composed& c, BaseGlyph& out)
{
    BaseGlyph base, accent;
    const char* b = TableGlyph(c.base);
    const AccentDef* a = nullptr;
    for (const AccentDef& d : kAccents)
        if (d.name == c.accent)
            a = &d;
    if (!b || !a || !Parse(b, kBaseCapTop, base, nullptr))
        return false;
    const bool small = c.base >= 'a';
    const int top = c.accent == ',' ? 10 : small ? 2 : 0;
    if (!Parse(a->rows, top, accent, nullptr))
        return false;
    out.width = std::max(base.width, accent.width);
    out.rows.assign(kBaseRows, 0);
    Blit(out, base, (out.width - base.width) / 2);
    Blit(out, accent, (out.width - accent.width) / 2);
    return true;
}

// ------------------------------------------------------------- rendering

// Coverage levels of the alpha ramp.
constexpr int kLevels = 16;
// Palette indices of the levels in 8-bit fonts: printable characters, from
// empty to full, none of them a quote, a backslash or a question mark.
constexpr char kRamp[kLevels + 1] = " .:-=+*oxOX#%&@M";

u32 LevelAlpha(int level)
{
    return u32((level * 0x80 + (kLevels - 1) / 2) / (kLevels - 1));
}

// A glyph rendered at the font's size: width x height levels.
struct Rendered
{
    int width = 0;
    std::vector<u8> levels;
};

struct Scale
{
    int rows;      // base rows mapped onto the height
    int height;
    int condense;  // eighths
};

int ScaledWidth(int basewidth, const Scale& sc)
{
    // basewidth * height / rows * condense / 8, rounded up.
    const int num = basewidth * sc.height * sc.condense;
    const int den = sc.rows * 8;
    return (num + den - 1) / den;
}

// Box-filtered rendering with 4 x 4 samples per pixel; the top base row
// shown is `first`.
Rendered Render(const BaseGlyph& g, int first, const Scale& sc)
{
    Rendered out;
    out.width = ScaledWidth(g.width, sc);
    out.levels.assign(size_t(out.width) * size_t(sc.height), 0);
    for (int y = 0; y < sc.height; y++) {
        for (int x = 0; x < out.width; x++) {
            int hits = 0;
            for (int j = 0; j < 4; j++) {
                // Sample at (y + (2j + 1) / 8) pixels: base row
                // = floor(sample * rows / height).
                const int row = first + (8 * y + 2 * j + 1) * sc.rows / (8 * sc.height);
                if (row >= kBaseRows)
                    continue;
                for (int i = 0; i < 4; i++) {
                    const int col = (8 * x + 2 * i + 1) * sc.rows * 8 / (8 * sc.height * sc.condense);
                    if (col < g.width && (g.rows[size_t(row)] >> col & 1))
                        ++hits;
                }
            }
            out.levels[size_t(y) * size_t(out.width) + size_t(x)] = u8((hits * (kLevels - 1) + 8) / 16);
        }
    }
    return out;
}

void Embolden(BaseGlyph& g)
{
    for (u32& r : g.rows)
        r |= r << 1;
    ++g.width;
}

void Put16(std::vector<u8>& v, size_t at, u32 x)
{
    v[at] = u8(x);
    v[at + 1] = u8(x >> 8);
}

void Put32(std::vector<u8>& v, size_t at, u32 x)
{
    Put16(v, at, x);
    Put16(v, at + 2, x >> 16);
}

void Put64(std::vector<u8>& v, size_t at, u64 x)
{
    Put32(v, at, u32(x));
    Put32(v, at + 4, u32(x >> 32));
}

// Palette index of a level.
u8 LevelIndex(int psm, int level)
{
    return psm == PSMT8 ? u8(kRamp[level]) : u8(level);
}

// A glyph picture in its cell: `height` rows (the font's glyph height) of
// which the drawn glyph may use fewer, centred.
Rendered InCell(const Rendered& r, int rows, int height)
{
    Rendered cell;
    cell.width = r.width;
    cell.levels.assign(size_t(r.width) * size_t(height), 0);
    const int top = (height - rows) / 2;
    std::copy(r.levels.begin(), r.levels.end(), cell.levels.begin() + std::ptrdiff_t(top) * r.width);
    return cell;
}

// Places cells of `height` rows in a texture `width` wide and at most
// `rows` tall.  Every cell is drawn whole, so a texel inside a cell must
// show that cell's picture and nothing else; cells may share texels only
// where all of them are clear, which lets the clear margins above and below
// one row of glyphs take ink-free parts of the next.  First fit, left to
// right and top to bottom, in table order; the search for a cell starts one
// cell height above the last one placed, since the rows further up are full.
// Each texture row is kept as two bit sets: the texels some cell covers, and
// the texels with ink.
class CellPacker
{
public:
    CellPacker(int width, int rows, int height)
        : width_(width), rows_(rows), height_(height), words_(size_t(width + 63) / 64),
          cover_(size_t(rows) * words_, 0), ink_(size_t(rows) * words_, 0)
    {
    }

    // The top-left texel of a new cell for r, or false when none is left.
    bool Place(const Rendered& r, int& u, int& v)
    {
        if (r.width > width_ || height_ > rows_)
            return false;
        // The picture's rows and its full width as bits from texel 0.
        std::vector<u64> ink(size_t(height_) * words_, 0), full(words_, 0);
        for (int x = 0; x < r.width; x++) {
            full[size_t(x) / 64] |= u64(1) << (x % 64);
            for (int y = 0; y < height_; y++)
                if (r.levels[size_t(y) * size_t(r.width) + size_t(x)])
                    ink[size_t(y) * words_ + size_t(x) / 64] |= u64(1) << (x % 64);
        }
        std::vector<u64> fullAt(words_), inkAt(words_);
        for (v = std::max(0, last_ - height_); v + height_ <= rows_; v++) {
            for (u = 0; u + r.width <= width_; u++) {
                Shift(full.data(), u, fullAt.data());
                bool fits = true;
                for (int y = 0; y < height_ && fits; y++) {
                    Shift(&ink[size_t(y) * words_], u, inkAt.data());
                    const u64* cover = &cover_[size_t(v + y) * words_];
                    const u64* texink = &ink_[size_t(v + y) * words_];
                    for (size_t k = 0; k < words_ && fits; k++)
                        fits = !(texink[k] & fullAt[k]) && !(cover[k] & inkAt[k]);
                }
                if (!fits)
                    continue;
                for (int y = 0; y < height_; y++) {
                    Shift(&ink[size_t(y) * words_], u, inkAt.data());
                    for (size_t k = 0; k < words_; k++) {
                        cover_[size_t(v + y) * words_ + k] |= fullAt[k];
                        ink_[size_t(v + y) * words_ + k] |= inkAt[k];
                    }
                }
                last_ = v;
                bottom_ = std::max(bottom_, v + height_);
                return true;
            }
        }
        return false;
    }

    // Rows used so far.
    int Bottom() const { return bottom_; }

private:
    // The bits of src moved up by u places.
    void Shift(const u64* src, int u, u64* dst) const
    {
        const size_t s = size_t(u) / 64;
        const int b = u % 64;
        for (size_t k = 0; k < words_; k++) {
            u64 w = k >= s ? src[k - s] << b : 0;
            if (b && k >= s + 1)
                w |= src[k - s - 1] >> (64 - b);
            dst[k] = w;
        }
    }

    int width_, rows_, height_;
    size_t words_;
    std::vector<u64> cover_, ink_;
    int last_ = 0;
    int bottom_ = 0;
};

// The code whose picture a glyph shows under `drawn`, or -1 for none.
int PictureCode(const FontLayout& fl, int code)
{
    if (!fl.drawn)
        return code;
    if (std::strchr(fl.drawn, code) && code != 0)
        return code;
    if (code >= 'a' && code <= 'z' && std::strchr(fl.drawn, code - 32))
        return code - 32;
    return -1;
}

}  // namespace

const std::vector<FontLayout>& GameFonts()
{
    static const std::vector<FontLayout> fonts = {
        {"Arial", PSMT4, 128, 256, 95, 32, 24, 24, false, 8, false, nullptr},
        {"Font_GUI_text", PSMT8, 128, 320, 95, 32, 26, 26, false, 8, false, nullptr},
        {"Font_GUI_heading", PSMT8, 128, 384, 62, 32, 54, 54, true, 5, false, nullptr},
        {"Font_HelveticaBlack", PSMT8, 128, 64, 89, 32, 20, 20, true, 8, false, nullptr},
        {"Font_StreetSign", PSMT8, 256, 384, 224, 32, 32, 32, false, 7, false, nullptr},
        {"Font_UI_Large", PSMT8, 384, 192, 221, 32, 27, 27, false, 8, true, nullptr},
        {"Font_UI_Medium", PSMT8, 128, 320, 221, 32, 20, 20, false, 8, true, nullptr},
        {"Font_UI_Small", PSMT8, 128, 224, 221, 32, 16, 16, false, 8, true, nullptr},
        {"Font_LicPlate", PSMT8, 256, 288, 88, 32, 65, 65, true, 5, false,
         " -.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
    };
    return fonts;
}

bool GlyphFor(int c, bool padsymbols, BaseGlyph& out)
{
    if (padsymbols && c == 0xB6)
        return Parse(kCrossButton, kBaseCapTop, out, nullptr);
    if (const char* rows = FindDef(kGlyphs, std::size(kGlyphs), c))
        return Parse(rows, kBaseCapTop, out, nullptr);
    for (const Composed& k : kComposed)
        if (k.code == c)
            return Compose(k, out);
    return false;
}

bool CheckGlyphTables(std::string* error)
{
    BaseGlyph g;
    for (const GlyphDef& d : kGlyphs)
        if (!Parse(d.rows, kBaseCapTop, g, error))
            return false;
    for (const GlyphDef& d : kBases)
        if (!Parse(d.rows, kBaseCapTop, g, error))
            return false;
    for (const AccentDef& a : kAccents)
        if (!Parse(a.rows, 0, g, error))
            return false;
    for (const char* s : {kCrossButton, kMissing})
        if (!Parse(s, kBaseCapTop, g, error))
            return false;
    for (const Composed& c : kComposed) {
        if (!Compose(c, g)) {
            if (error)
                *error = "cannot compose code " + std::to_string(c.code);
            return false;
        }
    }
    return true;
}

bool BuildFontImage(const FontLayout& fl, std::vector<u8>& image, std::string* error)
{
    auto fail = [error, &fl](const std::string& why) {
        if (error)
            *error = std::string(fl.name) + ": " + why;
        return false;
    };
    if ((fl.psm != PSMT4 && fl.psm != PSMT8) || fl.nchars < 1 || fl.fchar < 1 ||
        fl.fchar + fl.nchars > 256 || fl.height < 1 || fl.height > 255 || fl.texwidth < 8 ||
        fl.texheight < 0 || fl.texheight > 1024 || fl.condense < 1)
        return fail("bad description");

    // The whole grid, accent rows included, spans the glyph height, so that
    // capitals take about 7/12 of it in every font.  A font whose texture is
    // too small for glyphs that tall draws them smaller, centred in their
    // cells, at the largest size whose cells fit.
    const int first = 0;
    int drawn = fl.height;
    int gap = 0;
    std::vector<UVCHAR> glyphs(size_t(fl.nchars));
    std::vector<Rendered> pictures;
    std::vector<int> picture_of;
    std::vector<std::pair<int, int>> at;
    int texheight = 0;
    for (;; drawn--) {
        if (drawn < 1)
            return fail("the glyphs do not fit " + std::to_string(fl.texwidth) + " x " +
                        std::to_string(fl.texheight) + " texels");
        const Scale sc{kBaseRows, drawn, fl.condense};
        gap = std::max(1, (drawn * fl.condense + sc.rows * 4) / (sc.rows * 8));

        // Render every picture once; glyphs that share one share its texels.
        pictures.clear();
        picture_of.assign(size_t(fl.nchars), -1);
        std::vector<int> code_picture(256, -1);
        BaseGlyph missing;
        Parse(kMissing, kBaseCapTop, missing, nullptr);
        for (int i = 0; i < fl.nchars; i++) {
            const int code = PictureCode(fl, fl.fchar + i);
            if (code < 0)
                continue;
            if (code_picture[size_t(code)] < 0) {
                BaseGlyph g;
                if (!GlyphFor(code, fl.padsymbols, g))
                    g = missing;
                if (fl.bold)
                    Embolden(g);
                code_picture[size_t(code)] = int(pictures.size());
                pictures.push_back(InCell(Render(g, first, sc), drawn, fl.height));
            }
            picture_of[size_t(i)] = code_picture[size_t(code)];
        }
        bool placed = true;
        for (const Rendered& r : pictures)
            placed = placed && r.width <= fl.texwidth;
        if (!placed && !fl.texheight)
            return fail("a glyph is wider than the texture");

        CellPacker packer(fl.texwidth, fl.texheight ? fl.texheight : 1024, fl.height);
        at.assign(pictures.size(), {0, 0});
        for (size_t p = 0; p < pictures.size() && placed; p++)
            placed = packer.Place(pictures[p], at[p].first, at[p].second);
        if (placed) {
            texheight = fl.texheight ? fl.texheight : (packer.Bottom() + 7) / 8 * 8;
            break;
        }
        if (!fl.texheight)
            return fail("the glyphs need more than 1024 rows");
    }

    for (int i = 0; i < fl.nchars; i++) {
        UVCHAR& g = glyphs[size_t(i)];
        g = UVCHAR{0, 0, 0, 0, 0, 0};
        const int p = picture_of[size_t(i)];
        if (p < 0)
            continue;
        g.u = u16(at[size_t(p)].first);
        g.v = u16(at[size_t(p)].second);
        g.w = u8(pictures[size_t(p)].width);
        g.s = u8(pictures[size_t(p)].width + gap);
    }

    // The image: record, metrics, glyphs, then palette and pixels from the
    // next 16-byte boundary.
    const int clutsize = fl.psm == PSMT8 ? 256 : 16;
    const size_t dataoff = (FONTFILE_GLYPHS + 8 * size_t(fl.nchars) + 15) & ~size_t(15);
    const size_t pixelbytes = fl.psm == PSMT8 ? size_t(fl.texwidth) * size_t(texheight)
                                                : (size_t(fl.texwidth) * size_t(texheight) + 1) / 2;
    const size_t total = (dataoff + 4 * size_t(clutsize) + pixelbytes + 15) & ~size_t(15);
    image.assign(total, 0);

    Texture t;
    t.Set(fl.psm, fl.texwidth, texheight, clutsize, nullptr);
    Put16(image, 0, t.format);
    Put16(image, 2, t.width);
    Put16(image, 4, t.height);
    Put16(image, 6, t.clutsize);
    Put16(image, 8, t.nblocks);
    Put16(image, 10, 0);
    Put32(image, 12, u32(dataoff));
    Put64(image, 16, t.tex0);
    Put64(image, 24, t.miptbp1);
    Put64(image, 32, t.miptbp2);
    image[FONTFILE_METRICS] = u8(fl.nchars);
    image[FONTFILE_METRICS + 1] = u8(fl.fchar);
    image[FONTFILE_METRICS + 2] = u8(fl.height);
    image[FONTFILE_METRICS + 3] = u8(fl.spacing);
    for (int i = 0; i < fl.nchars; i++) {
        const UVCHAR& g = glyphs[size_t(i)];
        const size_t o = FONTFILE_GLYPHS + 8 * size_t(i);
        Put16(image, o, g.u);
        Put16(image, o + 2, g.v);
        image[o + 4] = g.w;
        image[o + 5] = g.s;
        image[o + 6] = u8(g.k);
        image[o + 7] = u8(g.pad);
    }

    // White with the alpha of each level; 8-bit palettes in the GS's storage
    // order (bits 3 and 4 of the index exchanged).
    for (int level = 0; level < kLevels; level++) {
        const int index = LevelIndex(fl.psm, level);
        const int slot = fl.psm == PSMT8 ? Render2D_raw::ClutSwizzle(index) : index;
        Put32(image, dataoff + 4 * size_t(slot), 0x00FFFFFFu | LevelAlpha(level) << 24);
    }

    const size_t pix = dataoff + 4 * size_t(clutsize);
    const u8 blank = LevelIndex(fl.psm, 0);
    if (fl.psm == PSMT8)
        std::fill(image.begin() + std::ptrdiff_t(pix), image.begin() + std::ptrdiff_t(pix + pixelbytes), blank);
    for (size_t p = 0; p < pictures.size(); p++) {
        const Rendered& r = pictures[p];
        for (int gy = 0; gy < fl.height; gy++) {
            for (int gx = 0; gx < r.width; gx++) {
                const size_t tx = size_t(at[p].first + gx), ty = size_t(at[p].second + gy);
                const u8 index = LevelIndex(fl.psm, r.levels[size_t(gy) * size_t(r.width) + size_t(gx)]);
                const size_t n = ty * size_t(fl.texwidth) + tx;
                if (fl.psm == PSMT8)
                    image[pix + n] = index;
                else
                    image[pix + n / 2] |= u8(n & 1 ? index << 4 : index);
            }
        }
    }
    return true;
}

namespace {

bool Plain(u8 c)
{
    return c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?';
}

// Bytes as the inside of a string literal: printable characters as they are,
// the rest as octal escapes, as short as the next character allows (an
// escape takes up to three digits, so one followed by a digit gets all three).
void Quote(std::string& out, const u8* p, size_t n)
{
    char esc[8];
    for (size_t i = 0; i < n; i++) {
        if (Plain(p[i])) {
            out += char(p[i]);
            continue;
        }
        const bool digit_next = i + 1 < n && p[i + 1] >= '0' && p[i + 1] <= '7';
        std::snprintf(esc, sizeof(esc), digit_next ? "\\%03o" : "\\%o", p[i]);
        out += esc;
    }
}

void Line(std::string& out, const u8* p, size_t n)
{
    out += "    \"";
    Quote(out, p, n);
    out += "\"\n";
}

}  // namespace

std::string FontSource(const std::vector<FontLayout>& layouts, std::string* error)
{
    std::string out =
        "// The game's bitmap fonts.  Generated by tools/fontgen from its glyph table;\n"
        "// do not edit.  Each image is a FONTFILE: texture record, metrics, glyph\n"
        "// table, then from the next 16-byte boundary the palette and the pixels.  The\n"
        "// 8-bit fonts index their palette with printable characters, one texture row\n"
        "// per line below, so the glyphs can be seen here.\n"
        "#include \"ZevEngine2/PS2/Font.h\"\n";
    for (const FontLayout& fl : layouts) {
        std::vector<u8> image;
        if (!BuildFontImage(fl, image, error))
            return {};
        const u32 dataoff = u32(image[12]) | u32(image[13]) << 8;
        const u32 width = u32(image[2]) | u32(image[3]) << 8;
        const u32 height = u32(image[4]) | u32(image[5]) << 8;
        const size_t pix = dataoff + 4 * (fl.psm == PSMT8 ? 256u : 16u);
        const size_t rowbytes = fl.psm == PSMT8 ? width : width / 2;
        char head[256];
        std::snprintf(head, sizeof(head), "\n// %s: %d-bit, %u x %u, codes %d to %d, height %d.\n",
                      fl.name, fl.psm == PSMT8 ? 8 : 4, width, height, fl.fchar,
                      fl.fchar + fl.nchars - 1, fl.height);
        out += head;
        std::snprintf(head, sizeof(head), "alignas(16) static u8 %s_image[%zu + 1] =\n", fl.name, image.size());
        out += head;
        for (size_t o = 0; o < pix; o += 32)
            Line(out, image.data() + o, std::min<size_t>(32, pix - o));
        for (u32 r = 0; r < height; r++)
            Line(out, image.data() + pix + r * rowbytes, rowbytes);
        if (pix + height * rowbytes < image.size())
            Line(out, image.data() + pix + height * rowbytes, image.size() - pix - height * rowbytes);
        out.back() = ';';
        out += "\n";
        std::snprintf(head, sizeof(head), "FONTFILE& %s = *reinterpret_cast<FONTFILE*>(%s_image);\n", fl.name,
                      fl.name);
        out += head;
    }
    return out;
}

}  // namespace tools
