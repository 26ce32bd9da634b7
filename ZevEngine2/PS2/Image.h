// Image descriptors in graphics memory: `Texture` (an image kept in main
// memory and copied into GS memory while a frame uses it) and `Surface` (a
// render target, frame buffer or Z buffer placed in GS memory for good), with
// the GS register values derived from their format and size.  Also the colour
// and 2-D coordinate types every screen-space drawer shares.
//
// GS memory is counted in 256-byte blocks; a page is 32 blocks.
#pragma once

#include "ZevEngine2/Zev.h"

// Four colour bytes r, g, b, a; 0x80 is full intensity and full opacity.
struct Colour
{
    u8 r, g, b, a;

    Colour() = default;
    constexpr Colour(u8 _r, u8 _g, u8 _b, u8 _a) : r(_r), g(_g), b(_b), a(_a) {}
    // The RGBA word as the GS RGBAQ register holds it (Q = 0).
    constexpr u32 Word() const { return r | u32(g) << 8 | u32(b) << 16 | u32(a) << 24; }
    friend bool operator==(const Colour& x, const Colour& y) { return x.Word() == y.Word(); }
};
static_assert(sizeof(Colour) == 4);

// GS pixel storage formats used by the game (plain constants: they are
// combined with the TEXF_ bits below).
constexpr int PSMCT32 = 0x00, PSMCT24 = 0x01, PSMCT16 = 0x02, PSMCT16S = 0x0A;
constexpr int PSMT8 = 0x13, PSMT4 = 0x14, PSMT8H = 0x1B, PSMT4HL = 0x24, PSMT4HH = 0x2C;
constexpr int PSMZ32 = 0x30, PSMZ24 = 0x31, PSMZ16 = 0x32, PSMZ16S = 0x3A;

// `Texture::format` bits beside the pixel format in the low six.
constexpr int TEXF_PSM = 0x003F;
constexpr int TEXF_RAW = 0x0040;       // upload the image as raw 256-byte blocks
constexpr int TEXF_MIPS = 0x0700;      // mip levels after the first
constexpr int TEXF_POINT = 0x0800;     // point sampling, no bilinear filter
constexpr int TEXF_CLUTPAGE = 0x1000;  // the palette must sit page-aligned
constexpr int TEXF_DIRTY = 0x8000;     // the GS copy was drawn over: send it again

// Size class of a pixel format: 0 or 1 32/24-bit, 2 16-bit, 3 8-bit, 4 and
// above 4-bit (Z formats fall into the colour classes of their depth).
inline int PsmSizeClass(int psm) { return psm & 7; }

// Fields of the GS TEX0 value.
namespace tex0 {
inline u32 TBP0(u64 t) { return u32(t) & 0x3FFF; }
inline u32 TBW(u64 t) { return u32(t >> 14) & 0x3F; }
inline u32 PSM(u64 t) { return u32(t >> 20) & 0x3F; }
inline u32 TW(u64 t) { return u32(t >> 26) & 0xF; }
inline u32 TH(u64 t) { return u32(t >> 30) & 0xF; }
inline u32 CBP(u64 t) { return u32(t >> 37) & 0x3FFF; }
}  // namespace tex0

// An image for the GS.  The record is also stored in model files (40 bytes,
// `data` an offset there until the file is fixed up), so it has no virtual
// functions and its layout is fixed.
class Texture
{
public:
    u16 format;     // pixel format and TEXF_ bits
    u16 width, height;
    u16 clutsize;   // palette entries (0: none)
    u16 nblocks;    // GS blocks of the first level, whole pages
    u16 refcount;   // holders; 0 -> 1 makes it resident, 1 -> 0 releases it
    void* data;     // palette then pixels in main memory; null for a render target
    u64 tex0;       // GS TEX0 (TFX is added at use)
    u64 miptbp1;    // GS MIPTBP1/MIPTBP2 for levels 1-3 and 4-6, bases
    u64 miptbp2;    //   relative to TBP0

    // Stores the description (refcount 0) and derives the register values.
    void Set(int _format, int _width, int _height, int _clutsize, void* _data);
    // Derives nblocks, tex0 (TBP0 0, CBP 0) and the mip pointers.
    void Init();
    // Places the image at GS block tbp with its palette at block cbp; the GS
    // copy is then current (clears TEXF_DIRTY).
    void SetVRAM(int tbp, int cbp);

    // Makes the texture resident through the texture manager; on failure the
    // reference the caller took is given back and false is returned.
    bool Allocate();
    // Releases the texture manager's lock.
    void MarkFree();

    // Takes a reference (making it resident on the first); false when it could
    // not be placed, in which case no reference is held.
    bool Hold()
    {
        if (++refcount == 1)
            return Allocate();
        return true;
    }
    // Drops a reference (releasing the placement on the last).
    void Release()
    {
        if (refcount && --refcount == 0)
            MarkFree();
    }

    int Psm() const { return format & TEXF_PSM; }
    int SizeClass() const { return PsmSizeClass(format); }
    int MipLevels() const { return (format & TEXF_MIPS) >> 8; }
    bool IsDirty() const { return format & TEXF_DIRTY; }
    int GetVRAM() const { return int(tex0::TBP0(tex0)); }
    int GetCBP() const { return int(tex0::CBP(tex0)); }
};
static_assert(sizeof(Texture) == 40, "model files store this record");

// A pixel count in GS primitive units (1/16 pixel), no screen offset.
struct Pixel
{
    int v;
    Pixel() = default;
    constexpr Pixel(float p) : v(int(p * 16.0f)) {}
    static constexpr Pixel Raw(int units) { Pixel r(0.0f); r.v = units; return r; }
};
// Screen positions: (p + 2048) x 16, the screen's top-left at (2048, 2048).
struct PixelX : Pixel
{
    constexpr PixelX(float p) : Pixel((p + 2048.0f)) {}
};
struct PixelY : Pixel
{
    constexpr PixelY(float p) : Pixel((p + 2048.0f)) {}
};
// A texel coordinate: t x 16 + 8 (the texel's centre).
struct Texel
{
    int v;
    constexpr Texel(float t) : v(int(t * 16.0f + 8.0f)) {}
};

// Rectangles as callers give them: x0 = x, y0 = y, x1 = x + w, y1 = y + h.
struct Rect
{
    s16 x, y, w, h;
};
static_assert(sizeof(Rect) == 8);
struct Rectf
{
    float x, y, w, h;
};
struct Rectp
{
    Pixel x, y, w, h;   // already in GS units (x, y with the screen offset)
};

// A render target, frame buffer or Z buffer in GS memory.  It holds its own
// placement: `SetVRAM` gives it a fixed place (refcount 1), `GetSurface`
// reserves a place from the texture manager instead.
class Surface : public Texture
{
public:
    void Set(int _format, int _width, int _height) { Texture::Set(_format, _width, _height, 0, nullptr); }
    // A fixed place: the previous one (if held) is released first.
    void SetVRAM(int tbp, int cbp = 0);
    Rect WholeRect() const { return Rect{0, 0, s16(width), s16(height)}; }
    Rectf Extent() const { return Rectf{0.0f, 0.0f, float(width), float(height)}; }
    bool IsZ() const { return (format & 0x30) == 0x30; }
    bool IsPaletted() const { return SizeClass() >= 3; }
    // The palette of this surface seen as a 16 x 16 32-bit surface.
    Surface ClutSurface() const;
    // Reserves GS memory from the texture manager; false when there is none.
    bool GetSurface() { return Hold(); }
    void FreeSurface() { Release(); }
    void MakeDirty() { format |= TEXF_DIRTY; }
};
static_assert(sizeof(Surface) == sizeof(Texture));

// Still pictures decoded by the IPU (IPUBitmap, IPU).
#include "ZevEngine2/PS2/IPUBitmap.h"
