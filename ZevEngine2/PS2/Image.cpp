#include "ZevEngine2/PS2/Image.h"

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/TexMan.h"

namespace {

int CeilDiv(int a, int b)
{
    return (a + b - 1) / b;
}

// Bits needed for v: 0 for 0, log2 for a power of two's predecessor + 1.
u32 BitLength(u32 v)
{
    u32 n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// Buffer width in 64-pixel units: one GS page row for 32/24/16-bit formats,
// two per 128-pixel page for 8- and 4-bit ones.
int BufferWidth(int sizeclass, int width)
{
    return sizeclass <= 2 ? CeilDiv(width, 64) : 2 * CeilDiv(width, 128);
}

}  // namespace

void Texture::Set(int _format, int _width, int _height, int _clutsize, void* _data)
{
    format = u16(_format);
    width = u16(_width);
    height = u16(_height);
    clutsize = u16(_clutsize);
    data = _data;
    refcount = 0;
    Init();
}

void Texture::Init()
{
    const int psm = Psm();
    const int sc = PsmSizeClass(psm);
    const int w = width, h = height;

    // GS pages are 8 KB: 64 x 32 pixels at 32 bits, 64 x 64 at 16, 128 x 64
    // at 8 and 128 x 128 at 4.
    int pw = 64, ph = 32;
    if (sc == 2) {
        ph = 64;
    } else if (sc == 3) {
        pw = 128;
        ph = 64;
    } else if (sc >= 4) {
        pw = 128;
        ph = 128;
    }
    nblocks = u16(CeilDiv(w, pw) * CeilDiv(h, ph) * 32);

    const u64 tw = w > 0 ? BitLength(u32(w - 1)) : 0;
    const u64 th = h > 0 ? BitLength(u32(h - 1)) : 0;
    tex0 = u64(BufferWidth(sc, w)) << 14 | u64(psm) << 20 | tw << 26 | th << 30 | 1ull << 34 | 1ull << 61;
    miptbp1 = 0;
    miptbp2 = 0;

    if ((format & TEXF_MIPS) && w >= 16 && h >= 16) {
        // Each level follows the previous one, counted in 256-byte blocks:
        // 8 x 8 pixels at 32 bits, 16 x 8 at 16, 16 x 16 at 8, 32 x 16 at 4.
        int bw = 8, bh = 8;
        if (sc == 2) {
            bw = 16;
        } else if (sc == 3) {
            bw = 16;
            bh = 16;
        } else if (sc >= 4) {
            bw = 32;
            bh = 16;
        }
        int offset = 0, cw = w, ch = h;
        for (int n = 1; n <= 6; n++) {
            offset += CeilDiv(cw, bw) * CeilDiv(ch, bh);
            cw /= 2;
            ch /= 2;
            int tbw = sc <= 1 ? CeilDiv(cw, 64) : 2 * CeilDiv(cw, 128);
            u64 entry = u64(offset & 0x3FFF) | u64(tbw & 0x3F) << 14;
            if (n <= 3)
                miptbp1 |= entry << (20 * (n - 1));
            else
                miptbp2 |= entry << (20 * (n - 4));
            if (cw < 16 || ch < 16)
                break;
        }
    }
}

void Texture::SetVRAM(int tbp, int cbp)
{
    tex0 = (tex0 & ~(0x3FFFull | 0x3FFFull << 37)) | u64(tbp & 0x3FFF) | u64(cbp & 0x3FFF) << 37;
    format &= u16(~TEXF_DIRTY);
}

bool Texture::Allocate()
{
    if (texman.Lock(therenderer, this))
        return true;
    if (refcount)
        --refcount;
    return false;
}

void Texture::MarkFree()
{
    texman.Unlock(therenderer, data ? data : this);
}

void Surface::SetVRAM(int tbp, int cbp)
{
    if (refcount)
        MarkFree();
    Texture::SetVRAM(tbp, cbp);
    refcount = 1;
}

Surface Surface::ClutSurface() const
{
    Surface s;
    s.Set(PSMCT32, 16, 16);
    s.Texture::SetVRAM(GetCBP(), 0);
    return s;
}
