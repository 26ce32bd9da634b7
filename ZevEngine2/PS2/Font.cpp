#include "ZevEngine2/PS2/Font.h"

#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/Utilities.h"

namespace {

constexpr u32 kGlyphDepth = 0xFFFFFF;

// The pen while a text is walked: drawing keeps it in float pixels, the
// layout form in whole pixels.
template <class T>
struct Pen
{
    T x, y;
    T x1;          // line start
    T y0;          // top of the text
    int fwidth;    // field width of the right and centred alignments
    int align;
    int tab;
    int prev;      // advance of the last glyph
};

float FloorDiv(float a, float b)
{
    return floor(a / b);
}

int FloorDiv(int a, int b)
{
    int q = a / b;
    if (a % b != 0 && (a < 0) != (b < 0))
        --q;
    return q;
}

// The pen's x for the alignment in force, measuring the rest of the line.
template <class T>
void Realign(const Font& font, Pen<T>& pen, const char* rest)
{
    switch (pen.align) {
    case 0: pen.x = pen.x1; break;
    case 1: pen.x = pen.x1 + T(pen.fwidth - font.Len2(rest)); break;
    case 2: pen.x = pen.x1 + T((pen.fwidth - font.Len2(rest)) / 2); break;
    default: break;
    }
}

// Walks len characters of s (-1: all of them), calling glyph(index, pen) for
// each glyph before the pen moves on and colour(r, g, b) for colour codes.
// The layout form (`layout`) ignores colours, sets y absolutely with code 7
// and returns to the origin with code 13.  Returns the glyphs seen.
template <class T, class OnGlyph, class OnColour>
int Walk(const Font& font, const u8* s, int len, Pen<T>& pen, bool layout, OnGlyph glyph, OnColour colour)
{
    const FONTFILE& ff = *font.ff;
    int glyphs = 0;
    while (len != 0) {
        const int c = *s;
        if (c == 0)
            break;
        ++s;
        if (len > 0)
            --len;
        const int g = font.GlyphIndex(c);
        if (g >= 0) {
            const UVCHAR& uv = ff.Glyph(g);
            glyph(uv, pen);
            pen.x += T(uv.s);
            pen.prev = uv.s;
            ++glyphs;
            continue;
        }
        if (c > 20)
            continue;   // not in the font: skipped, the pen stays
        const char* rest = reinterpret_cast<const char*>(s);
        switch (c) {
        case 1:
            if (!layout && !(font.flags & FONT_NOCOLOUR))
                colour(s[0], s[1], s[2]);
            s += 3;
            break;
        case 2: pen.x += T(s8(*s++)); break;
        case 3: pen.y += T(s8(*s++)); break;
        case 4: pen.x = pen.x1 + T(*s++); break;
        case 5: pen.x -= T(font.Len2(rest) / 2); break;
        case 6: pen.x -= T(font.Len2(rest)); break;
        case 7: pen.y = layout ? T(*s++) : pen.y0 + T(*s++); break;
        case 8: pen.x -= T(pen.prev); break;
        case 9:
            // A tab width of 0 has no stops: the line starts at the pen.
            if (pen.tab > 0)
                pen.x1 = pen.x1 + FloorDiv(pen.x - pen.x1 + T(pen.tab), T(pen.tab)) * T(pen.tab);
            else
                pen.x1 = pen.x;
            pen.x = pen.x1;
            break;
        case 10:
            pen.y += T(ff.spacing);
            Realign(font, pen, rest);
            break;
        case 11: pen.y += T(ff.spacing); break;
        case 12: pen.y -= T(ff.spacing); break;
        case 13:
            if (layout) {
                pen.x = 0;
                pen.x1 = 0;
            }
            break;
        case 14:
            pen.fwidth = s[0] + 256 * s[1];
            s += 2;
            break;
        case 15: pen.align = 0; break;
        case 16:
            pen.align = 1;
            pen.x = pen.x1 + T(pen.fwidth - font.Len2(rest));
            break;
        case 17:
            pen.align = 2;
            pen.x = pen.x1 + T((pen.fwidth - font.Len2(rest)) / 2);
            break;
        case 18: pen.tab = *s++; break;
        case 19: pen.x1 = pen.x; break;
        case 20: Realign(font, pen, rest); break;
        default: break;
        }
    }
    return glyphs;
}

// The first alignment of a text, from its whole width.
template <class T>
void AlignStart(const Font& font, Pen<T>& pen, const char* string)
{
    if (font.align == 1)
        pen.x -= T(font.Len2(string));
    else if (font.align == 2)
        pen.x -= T(font.Len2(string) / 2);
}

u64 Uv(int u, int v)
{
    return u64(u32(u) & 0x3FFF) | u64(u32(v) & 0x3FFF) << 16;
}

u64 Xyz(int x, int y, u32 z)
{
    return u64(u32(x) & 0xFFFF) | u64(u32(y) & 0xFFFF) << 16 | u64(z) << 32;
}

}  // namespace

Font::Font(FONTFILE* _ff) : ff(_ff), tab(64), align(0), flags(0), mat{1.0f, 0.0f, 0.0f, 1.0f}
{
    // In the image `data` is an offset from its start.  A fixed-up address
    // always lies past the image's header, and an offset never reaches the
    // image's own address, so a second Font over the same image leaves the
    // address alone.
    const uintptr_t d = reinterpret_cast<uintptr_t>(ff->data);
    if (d < reinterpret_cast<uintptr_t>(ff))
        ff->data = reinterpret_cast<u8*>(ff) + d;
    if (ff->fChar + ff->nChars < 98)
        flags = FONT_UPPER;   // no glyph for 'a' or above
}

int Font::GlyphIndex(int c) const
{
    if ((flags & FONT_UPPER) && c >= 'a' && c <= 'z')
        c -= 32;
    const int g = c - ff->fChar;
    return g >= 0 && g < ff->nChars ? g : -1;
}

int Font::Len2(const char* string) const
{
    if (!string)
        return 0;
    const u8* s = reinterpret_cast<const u8*>(string);
    int total = 0;
    int last = -1;
    for (;;) {
        const int c = *s;
        if (c == 0)
            break;
        const int g = GlyphIndex(c);
        if (g >= 0) {
            if (last >= 0)
                total += ff->Glyph(last).s;
            last = g;
            ++s;
        } else if (c == 1) {
            s += 4;   // the code and its colour
        } else {
            break;
        }
    }
    if (last >= 0)
        total += ff->Glyph(last).k + ff->Glyph(last).w;
    return total;
}

void Font::DrawGlyph(Render2D& r2d, const UVCHAR& g, float x, float y)
{
    const int h = ff->fontheight;
    if (!(flags & FONT_MATRIX)) {
        r2d.DrawSprite(int((x + float(g.k) + 2048.0f) * 16.0f), int((y + 2048.0f) * 16.0f),
                       int((x + float(g.k) + float(g.w) + 2048.0f) * 16.0f), int((y + float(h) + 2048.0f) * 16.0f),
                       g.u * 16 + 8, g.v * 16 + 8, (g.u + g.w) * 16 + 8, (g.v + h) * 16 + 8, kGlyphDepth);
        return;
    }
    // Without a texture (one that could not be placed) there is nothing to
    // sample from.
    if (!r2d.texture)
        return;
    const float px[4] = {x + float(g.k), x + float(g.k), x + float(g.k + g.w), x + float(g.k + g.w)};
    const float py[4] = {y, y + float(h), y, y + float(h)};
    const int tu[4] = {g.u, g.u, g.u + g.w, g.u + g.w};
    const int tv[4] = {g.v, g.v + h, g.v, g.v + h};
    u64 uvxyz[8];
    for (int i = 0; i < 4; i++) {
        const float sx = px[i] * mat.a + py[i] * mat.c;
        const float sy = px[i] * mat.b + py[i] * mat.d;
        uvxyz[2 * i] = Uv(tu[i] * 16 + 8, tv[i] * 16 + 8);
        uvxyz[2 * i + 1] = Xyz(int((sx + 2048.0f) * 16.0f), int((sy + 2048.0f) * 16.0f), kGlyphDepth);
    }
    r2d._DrawUV(r2d.prim_reg | PRIM_TRISTRIP, uvxyz, 4);
}

void Font::Print(Render2D& r2d, float x, float y, float, const char* string, int len)
{
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.SetAlphaTest(ALPHATEST_GREATER, 0, ALPHAFAIL_KEEP);
    r2d.SetTexture(ff, TEXMODE_MODULATE);
    if (!string)
        return;
    if (flags & FONT_MATRIX) {
        // The start goes through the inverse, so that it lands where asked.
        // A singular matrix has none: the start is taken as it is.
        const float det = mat.a * mat.d - mat.b * mat.c;
        if (det != 0.0f) {
            const float ix = (mat.d * x - mat.c * y) / det;
            const float iy = (mat.a * y - mat.b * x) / det;
            x = ix;
            y = iy;
        }
    }
    Pen<float> pen{x, y, x, y, 0, align, tab, 0};
    AlignStart(*this, pen, string);
    Walk(
        *this, reinterpret_cast<const u8*>(string), len, pen, false,
        [&](const UVCHAR& g, const Pen<float>& at) { DrawGlyph(r2d, g, at.x, at.y); },
        [&](u8 r, u8 g, u8 b) { r2d.SetColour(Colour(r, g, b, 0x80)); });
}

int Font::Print(const char* string, int len, u16* p, u16* t)
{
    if (!string || !p || !t)
        return 0;
    Pen<int> pen{0, 0, 0, 0, 0, align, tab, 0};
    AlignStart(*this, pen, string);
    const int h = ff->fontheight;
    return Walk(
        *this, reinterpret_cast<const u8*>(string), len, pen, true,
        [&](const UVCHAR& g, const Pen<int>& at) {
            const int x0 = at.x + g.k, x1 = at.x + g.k + g.w;
            const int vx[4] = {x0, x0, x1, x1};
            const int vy[4] = {at.y, at.y + h, at.y, at.y + h};
            const int tu[4] = {g.u, g.u, g.u + g.w, g.u + g.w};
            const int tv[4] = {g.v, g.v + h, g.v, g.v + h};
            for (int i = 0; i < 4; i++) {
                *p++ = u16(vx[i]);
                *p++ = u16(vy[i]);
                *p++ = 0;
                *p++ = i < 2 ? 1 : 0;
                *t++ = u16(tu[i]);
                *t++ = u16(tv[i]);
            }
        },
        [](u8, u8, u8) {});
}

void Font::PrintV(Render2D& r2d, float x, float y, float z, const char* format, va_list ap)
{
    char buffer[256];
    vsformat(buffer, int(sizeof(buffer)), format, ap);
    Print(r2d, x, y, z, buffer, -1);
}

void Font::PrintF(Render2D& r2d, float x, float y, float z, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    PrintV(r2d, x, y, z, format, ap);
    va_end(ap);
}

void Font::PrintF(Render2D& r2d, int x, int y, int z, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    PrintV(r2d, float(x), float(y), float(z), format, ap);
    va_end(ap);
}
