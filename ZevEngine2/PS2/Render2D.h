// Immediate 2-D drawing on the GS.  `Render2D_raw` is a small state machine
// that writes GS register settings and 2-D primitives as GIF packets (A+D and
// PACKED) at its write position `p`, normally inside an open DIRECT block of
// the frame's chain; `Render2D` opens and closes that block around it and
// swaps textures safely while it is open.
//
// Register state is cached and sent lazily: setters only mark their register
// group pending, separately for drawing context 1 (bit n of update_flags) and
// context 2 (bit n + 16), and the next primitive of that context writes the
// pending groups first.
//
// Coordinates are GS primitive units: 1/16 pixel with the screen's top-left
// at (2048, 2048) (PixelX/PixelY), texels in 1/16 with + 8 for the centre
// (Texel).  Every surface drawn to is set up with XYOFFSET (2048, 2048).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render.h"

// GS blend A | B << 2 | C << 4 | D << 6: (A - B) * C / 128 + D with
// 0 Cs / As, 1 Cd / Ad, 2 0 / FIX.  With C = 2 the factor is the fixed alpha
// in bits 32-39 of alpha_reg.
enum ALPHA_MODE {
    ALPHA_NONE = 0, ALPHA_BLEND = 68, ALPHA_ADD = 72, ALPHA_SUB = 66, ALPHA_BLENDINVALPHA = 1,
    ALPHA_SRCINVALPHA = 2, ALPHA_REVSUB = 6, ALPHA_LIGHTEN = 8, ALPHA_MULADD = 9, ALPHA_DESTBLEND = 17,
    ALPHA_SRCINVDESTALPHA = 18, ALPHA_DESTREVSUB = 22, ALPHA_LIGHTENDESTALPHA = 24, ALPHA_DESTADD = 25,
    ALPHA_KEEP = 64, ALPHA_DESTINVALPHA = 70, ALPHA_DESTLIGHTEN = 73, ALPHA_SUBDESTALPHA = 82,
    ALPHA_BLENDDESTALPHA = 84, ALPHA_DESTINVDESTALPHA = 86, ALPHA_ADDDESTALPHA = 88,
    ALPHA_DESTLIGHTENDESTALPHA = 89, ALPHA_CLEAR = 128, ALPHA_SUBMUL = 129, ALPHA_NEG = 130,
    ALPHA_REVSUBMUL = 132, ALPHA_DESTNEG = 134, ALPHA_MUL = 136, ALPHA_MULDEST = 137,
    ALPHA_SUBMULDESTALPHA = 145, ALPHA_NEGDESTALPHA = 146, ALPHA_REVSUBDESTALPHA = 148,
    ALPHA_DESTNEGDESTALPHA = 150, ALPHA_MULDESTALPHA = 152, ALPHA_DESTMULDESTALPHA = 153,
};

enum ALPHATEST {
    ALPHATEST_OFF = -1, ALPHATEST_NEVER = 0, ALPHATEST_ALWAYS = 1, ALPHATEST_LESS = 2, ALPHATEST_LEQUAL = 3,
    ALPHATEST_EQUAL = 4, ALPHATEST_GEQUAL = 5, ALPHATEST_GREATER = 6, ALPHATEST_NOTEQUAL = 7,
};
enum ALPHAFAIL { ALPHAFAIL_KEEP = 0, ALPHAFAIL_FB_ONLY = 1, ALPHAFAIL_ZB_ONLY = 2, ALPHAFAIL_RGB_ONLY = 3 };
enum DESTALPHATEST { DESTALPHATEST_OFF = -1, DESTALPHATEST_ZERO = 0, DESTALPHATEST_ONE = 1 };
enum ZTEST { ZTEST_NEVER = 0, ZTEST_ALWAYS = 1, ZTEST_GEQUAL = 2, ZTEST_GREATER = 3 };
enum PRIMITIVE_TYPE {
    PRIM_POINT = 0, PRIM_LINE = 1, PRIM_LINESTRIP = 2, PRIM_TRI = 3, PRIM_TRISTRIP = 4, PRIM_TRIFAN = 5,
};
constexpr u32 PRIM_SPRITE = 6;

// PRIM attribute bits (plain constants: they are combined with the types).
constexpr u32 PRIM_IIP = 0x8, PRIM_TME = 0x10, PRIM_FGE = 0x20, PRIM_ABE = 0x40, PRIM_AA1 = 0x80;
constexpr u32 PRIM_FST = 0x100, PRIM_CTXT = 0x200;

// Pending register groups (bit n for context 1, n + 16 for context 2).
enum R2D_GROUP {
    R2D_ALPHA = 1 << 0,     // ALPHA_c
    R2D_TEST = 1 << 1,      // TEST_c
    R2D_COLOUR = 1 << 2,    // RGBAQ
    R2D_TEXTURE = 1 << 3,   // TEXFLUSH, TEX0_c, TEX1_c, CLAMP_c
    R2D_FLUSH = 1 << 4,     // TEXFLUSH
    R2D_COLCLAMP = 1 << 5,  // COLCLAMP
};
constexpr u32 R2D_CONTEXT2 = 16;

struct Vertex2D
{
    float x, y;
};
struct Vertex2Dcol : Vertex2D
{
    Colour colour;
};
struct Vertex2Dtex : Vertex2D
{
    float u, v;   // texels
};
struct Vertex2Dtexcol : Vertex2Dtex
{
    Colour colour;
};

class Render2D_raw
{
public:
    Texture* texture;     // of textured primitives
    TEXMODE texmode;
    u64 alpha_reg;        // ALPHA (an ALPHA_MODE, fixed alpha in bits 32-39)
    u32 update_flags;     // pending groups
    u32 prim_reg;         // PRIM attribute bits without the type
    u32 test_reg;         // TEST
    u32 rgbaq_reg;        // current colour
    u32 mask_reg;         // FBMSK of every FRAME written
    u32 misc_flags;       // bit 0: colours wrap instead of clamping
    u64* tag;             // the GIF packet being built
    u64* p;               // write position (null: nothing is written)
    u64* limit;           // the end of the room given to p (null: unchecked)

    Render2D_raw();

    // Initial state (no texture, nothing pending, Gouraud, Z test on and
    // always passing) with packets written from `at` and, when `_limit` is
    // given, never past it.
    void InitState(u64* at, u64* _limit = nullptr);

    // One A+D quadword per pending group of `flags` (bit n or n + 16 selects
    // group n), for context 1 or 2; returns the position after them.
    u64* _SetState(u64* q, u32 flags, bool context2);
    // A packet with the pending context-1 groups but the texture, then reg.
    void SetRegister(u32 reg, u64 value);
    // FRAME, SCISSOR and XYOFFSET of a surface.
    void SetDraw(Surface& surface, bool context2);
    void SetZBuffer(Surface& surface, bool context2, bool update);
    // The whole drawing environment of a context: frame, offset, scissor,
    // Z buffer (written), FBA, PRMODECONT, COLCLAMP, dithering, PABE.
    void SetDrawEnvironment(Surface& draw, Surface& zbuf, bool context2);

    // A flat rectangle (x0, y0)-(x1, y1) in GS units.  Large ones are cut into
    // 32-pixel-wide strips.
    void DrawRect(int x0, int y0, int x1, int y1, Colour colour, u32 z);
    void DrawRect(const Rect& r, Colour colour, u32 z);
    void DrawRect(const Rectf& r, Colour colour, u32 z);
    void DrawRect(const Rectp& r, Colour colour, u32 z);
    // A textured rectangle with UV texel coordinates (1/16 texel).  Negative
    // texel coordinates are moved by 512.5 texels and wrap.
    void DrawSprite(int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1, u32 z);
    void DrawSprite(const Rect& dst, const Rect& src, u32 z);
    void DrawSprite(const Rectf& dst, const Rectf& src, u32 z);
    void DrawSprite(const Rectp& dst, const Rectp& src, u32 z);
    // The same into another surface through context 2.
    void DrawRect2(Surface& surface, int x0, int y0, int x1, int y1, Colour colour, u32 z);
    void DrawRect2(Surface& surface, const Rect& r, Colour colour, u32 z);
    void DrawRect2(Surface& surface, const Rectf& r, Colour colour, u32 z);
    void DrawSprite2(Surface& surface, int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1, u32 z);
    void DrawSprite2(Surface& surface, const Rect& dst, const Rect& src, u32 z);
    void DrawSprite2(Surface& surface, const Rectf& dst, const Rectf& src, u32 z);

    // n vertices of one primitive (a full PRIM value) offset by (x, y) pixels.
    void _Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2D* points, int n);
    void _Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2Dtex* points, int n);
    void _Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2Dcol* points, int n);
    void _Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2Dtexcol* points, int n);
    template <class V>
    void DrawPrim(PRIMITIVE_TYPE type, float x, float y, u32 z, Colour colour, const V* points, int n)
    {
        _Draw(prim_reg | u32(type), x, y, z, colour, points, n);
    }

    // Vertices one by one: Begin writes the pending state, SetVertex one
    // vertex in pixels, End closes the packet.
    void Begin(PRIMITIVE_TYPE type);
    void SetVertex(float x, float y, u32 z);
    void End();
    // n textured vertices already in GS units, each an (UV, XYZ2) value
    // pair, as one packet of primitive prim (a full PRIM value) after the
    // pending context-1 groups.
    void _DrawUV(u32 prim, const u64* uvxyz, int n);

    // Setters: store the field, mark the group pending in both contexts.
    void SetAlpha(ALPHA_MODE mode, u32 fix = 0)
    {
        alpha_reg = u64(mode) | u64(fix & 0xFF) << 32;
        prim_reg |= PRIM_ABE;
        Mark(R2D_ALPHA);
    }
    void SetAlphaTest(ALPHATEST test, int ref = 0, ALPHAFAIL fail = ALPHAFAIL_KEEP)
    {
        u32 bits = test == ALPHATEST_OFF ? 0u : 1u | u32(test) << 1 | u32(ref & 0xFF) << 4 | u32(fail & 3) << 12;
        test_reg = (test_reg & ~0x3FFFu) | bits;
        Mark(R2D_TEST);
    }
    void SetDestAlphaTest(DESTALPHATEST test)
    {
        test_reg &= ~0xC000u;
        if (test != DESTALPHATEST_OFF)
            test_reg |= 0x4000u | u32(test) << 15;
        Mark(R2D_TEST);
    }
    void SetZTest(ZTEST z)
    {
        test_reg = (test_reg & 0x7FFF) | 0x10000 | u32(z) << 17;
        Mark(R2D_TEST);
    }
    void SetColour(Colour c)
    {
        rgbaq_reg = c.Word();
        Mark(R2D_COLOUR);
    }
    void TexFlush() { Mark(R2D_FLUSH); }
    void SetTextureMode(TEXMODE m)
    {
        texmode = m;
        Mark(R2D_TEXTURE);
    }
    // The texture of textured primitives (no reference taken: Render2D's
    // SetTexture does that).
    void SetTexture(Texture* t, TEXMODE m)
    {
        texture = t;
        texmode = m;
        prim_reg |= PRIM_TME | PRIM_FST;
        Mark(R2D_TEXTURE);
    }
    void SetTextureOff()
    {
        prim_reg &= ~u32(PRIM_TME);
        Mark(R2D_TEXTURE);
    }
    void SetMask(u32 mask) { mask_reg = mask; }
    void SetMaskOff() { mask_reg = 0; }
    void SetColourClamp(bool wrap)
    {
        misc_flags = wrap ? (misc_flags | 1) : (misc_flags & ~1u);
        Mark(R2D_COLCLAMP);
    }
    void SetAntiAlias(bool on) { prim_reg = on ? (prim_reg | PRIM_AA1) : (prim_reg & ~u32(PRIM_AA1)); }
    // The GS draws lines one pixel wide; nothing to set.
    void SetLineWidth(int) {}
    // Palette storage order: bits 3 and 4 of an index exchanged.
    static int ClutSwizzle(int i) { return (i & ~0x18) | (i & 0x08) << 1 | (i & 0x10) >> 1; }

protected:
    void Mark(u32 group) { update_flags |= group | group << R2D_CONTEXT2; }
    bool Room(u32 qwc);
    void OpenPacket() { tag = p; p += 2; }
    void ClosePacket(bool pre, u32 prim);
    void AD(u32 reg, u64 value)
    {
        *p++ = value;
        *p++ = reg;
    }
    static u32 StateQuadwords(u32 flags);
    void FrameRegs(Surface& surface, bool context2);
    void RectPrim(bool context2, Surface* surface, int x0, int y0, int x1, int y1, Colour colour, u32 z);
    void SpritePrim(bool context2, Surface* surface, int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1,
                    u32 z);
    template <class V>
    void Vertices(u32 prim, float x, float y, u32 z, Colour colour, const V* points, int n);
};

// A 2-D drawer on the frame's chain: Open starts a DIRECT block that the
// Render2D_raw operations fill, Close ends it.
class Render2D : public Render2D_raw
{
public:
    // Ends an open command block, FLUSH, opens the DIRECT block and resets the
    // state.  On a full chain nothing is opened and drawing does nothing.
    void Open(Renderer& vif);
    // Closes the DIRECT block (an empty one becomes a NOP), releases the
    // texture, FLUSH.
    void Close(Renderer& vif);
    // Makes t the texture of textured primitives, holding a reference on it.
    // A different texture breaks the DIRECT block, since its upload request
    // must sit between blocks.
    void SetTexture(Texture* t, TEXMODE m);

    // Whole-surface copies that read GS memory in another pixel format (they
    // break the DIRECT block around the page lists they reference).
    // dest = palette[one byte of each srce word], the 256 32-bit colours at
    // GS block clut in the GS's palette order; srce is read as Z-buffer pages
    // (red: bits 0-7, green: 8-15, blue: 16-23 of the depth).
    void RedAsIndex(const Surface& srce, Surface& dest, int clut);
    void GreenAsIndex(const Surface& srce, Surface& dest, int clut);
    void BlueAsIndex(const Surface& srce, Surface& dest, int clut);
    // The copy behind the three: `list` is a page list (see PageRedAsIndex)
    // of qwc quadwords, `clamp` the CLAMP_2 value that picks the byte.
    void ChannelCopy(const Surface& srce, Surface& dest, int clut, u_long128* list, int qwc, u64 clamp);
    // Moves bits 8-15 of every depth of the Z buffer into the top byte of its
    // word, so that the depth can be read as an 8-bit (PSMT8H) palette index.
    void MakeZAlpha(Surface zbuf);

private:
    // Ends the DIRECT block at p (false when no block is open).
    bool BreakDirect();
    // Opens a new DIRECT block for p, when there is room for it.
    void ResumeDirect();
};

// One GIF packet that remaps a 64 x 32 page for a channel copy: a REGLIST
// tag (UV, XYZ2, UV, XYZ2) and 96 sprites that fetch one byte of each 32-bit
// word of the page read as PSMT8.  With `zbuff` the page is read in the block
// order of a Z buffer.  The blue list is the red one (the clamp picks the
// other byte).
class PageRedAsIndex
{
public:
    u_long128 data[193];
    PageRedAsIndex(int z, bool zbuff);
};
class PageGreenAsIndex
{
public:
    u_long128 data[193];
    PageGreenAsIndex(int z, bool zbuff);
};
class PageBlueAsIndex : public PageRedAsIndex
{
public:
    PageBlueAsIndex(int z, bool zbuff) : PageRedAsIndex(z, zbuff) {}
};
static_assert(sizeof(PageRedAsIndex) == 193 * 16 && sizeof(PageGreenAsIndex) == 193 * 16,
              "sent to the GS as they lie");
constexpr int PAGELIST_QWC = 193;

// Built at start-up for Z-buffer pages at z = 0x10000.
extern PageRedAsIndex rai;
extern PageGreenAsIndex gai;
extern PageBlueAsIndex bai;

// The page loop of the channel copies: for every 64 x 32 page of srce, a
// DIRECT block that points the context-2 texture (PSMT8, palette at clut,
// loaded with the first page only) and the offset at it, then the page list
// by reference.  The target must already be set; dest is not used.
void ChannelAsIndex(VIFpacket& vif, const Surface& srce, const Surface& dest, int clut, u_long128* copypage,
                    int qwc);
