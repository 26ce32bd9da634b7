// Whole-surface GS tricks of the 2-D drawer: copying one byte of every
// 32-bit word of a buffer as an 8-bit palette index (the channel copies), and
// moving depth bits of the Z buffer into the top byte of each word
// (MakeZAlpha).  Both reinterpret GS memory in another pixel format: the GS
// reads a buffer through a texture of one format and writes it through a
// frame of another, and the block and column arrangements of the formats do
// the shuffling.
#include "ZevEngine2/PS2/Render2D.h"

namespace {

constexpr u64 kOffset2048 = 0x8000ull | 0x8000ull << 32;
// TEX0 fields of the copies.
constexpr u64 kTexSize1024 = 10ull << 26 | 10ull << 30;   // TW = TH = 10
constexpr u64 kTexAlpha = 1ull << 34;                     // TCC
constexpr u64 kDecal = u64(TEXMODE_DECAL) << 35;
constexpr u64 kClutLoad = 1ull << 61;                     // CLD 1
// SPRITE, TME, FST, CTXT.
constexpr u32 kSpriteUV2 = PRIM_SPRITE | PRIM_TME | PRIM_FST | PRIM_CTXT;
// UV XYZ2 UV XYZ2: one sprite per loop of a REGLIST packet.
constexpr u64 kSpriteRegs = 0x5353;
// Chain quadwords one page of a channel copy can take: the alignment and the
// DIRECT code, the A+D packet, the reference and its tag.
constexpr u32 kPageChainQwc = 6;

u64 Xyz(int x, int y, u32 z)
{
    return u64(u32(x) & 0xFFFF) | u64(u32(y) & 0xFFFF) << 16 | u64(z) << 32;
}

u64 Uv(int u, int v)
{
    return u64(u32(u) & 0x3FFF) | u64(u32(v) & 0x3FFF) << 16;
}

u64 FrameValue(const Surface& s, u32 mask)
{
    return u64(tex0::TBP0(s.tex0) / 32) | u64(tex0::TBW(s.tex0)) << 16 | u64(tex0::PSM(s.tex0)) << 24 |
           u64(mask) << 32;
}

u64 ScissorValue(const Surface& s)
{
    return u64(s.width ? s.width - 1 : 0) << 16 | u64(s.height ? s.height - 1 : 0) << 48;
}

// Pages of 64 x 32 pixels a 32-bit surface covers, across and down.
u32 PagesAcross(const Surface& s)
{
    return tex0::TBW(s.tex0);
}

u32 PageRows(const Surface& s)
{
    return (u32(s.height) + 31) / 32;
}

// Writes one sprite of a page list: target pixels (x0, y0)-(x1, y1) of the
// page, texels (u0, v0)-(u1, v1).
u64* PageSprite(u64* q, int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1, u32 z)
{
    *q++ = Uv(u0 * 16 + 8, v0 * 16 + 8);
    *q++ = Xyz((x0 + 2048) * 16, (y0 + 2048) * 16, z);
    *q++ = Uv(u1 * 16 + 8, v1 * 16 + 8);
    *q++ = Xyz((x1 + 2048) * 16, (y1 + 2048) * 16, z);
    return q;
}

u64* PageListTag(u_long128* data)
{
    sceGifTag t = MakeGifTag(96, true, 1, 4, kSpriteRegs);
    std::memcpy(data, &t, 16);
    return reinterpret_cast<u64*>(data + 1);
}

// The two rows of sprites of one 4-row band.  Wide: four 16-pixel sprites
// that fetch texels 2c + 8 .. 2c + 24 (c = 16i); narrow: eight 8-pixel sprites
// from 2c + 4 .. 2c + 12 (c = 8i).  With `zbuff` columns are read XOR 32 and
// rows XOR 16, the block order of a Z-buffer page.
u64* WideRow(u64* q, int ys, int v, bool zbuff, u32 z)
{
    for (int i = 0; i < 4; i++) {
        const int c = zbuff ? (16 * i) ^ 32 : 16 * i;
        q = PageSprite(q, 16 * i, ys, 16 * i + 16, ys + 2, 2 * c + 8, v, 2 * c + 24, v + 2, z);
    }
    return q;
}

u64* NarrowRow(u64* q, int ys, int v, bool zbuff, u32 z)
{
    for (int i = 0; i < 8; i++) {
        const int c = zbuff ? (8 * i) ^ 32 : 8 * i;
        q = PageSprite(q, 8 * i, ys, 8 * i + 8, ys + 2, 2 * c + 4, v, 2 * c + 12, v + 2, z);
    }
    return q;
}

}  // namespace

PageRedAsIndex::PageRedAsIndex(int z, bool zbuff)
{
    u64* q = PageListTag(data);
    for (int b = 0; b < 8; b++) {
        const int ys = 4 * b;
        const int r = zbuff ? ys ^ 16 : ys;
        q = WideRow(q, ys, 2 * r, zbuff, u32(z));
        q = NarrowRow(q, ys + 2, 2 * r + 4, zbuff, u32(z));
    }
}

PageGreenAsIndex::PageGreenAsIndex(int z, bool zbuff)
{
    u64* q = PageListTag(data);
    for (int b = 0; b < 8; b++) {
        const int ys = 4 * b;
        const int r = zbuff ? ys ^ 16 : ys;
        q = NarrowRow(q, ys, 2 * r + 2, zbuff, u32(z));
        q = WideRow(q, ys + 2, 2 * r + 6, zbuff, u32(z));
    }
}

PageRedAsIndex rai(0x10000, true);
PageGreenAsIndex gai(0x10000, true);
PageBlueAsIndex bai(0x10000, true);

// ------------------------------------------------------- textured vertices

void Render2D_raw::_DrawUV(u32 prim, const u64* uvxyz, int n)
{
    if (!uvxyz || n <= 0)
        return;
    const u32 fl = update_flags & 0xFFFF;
    const u32 qwc = StateQuadwords(fl) + 2 * u32(n);
    if (qwc > 0x7FFF || !Room(1 + qwc))
        return;
    OpenPacket();
    p = _SetState(p, fl, false);
    update_flags &= ~fl;
    for (int i = 0; i < n; i++) {
        AD(GS_UV, uvxyz[2 * i]);
        AD(GS_XYZ2, uvxyz[2 * i + 1]);
    }
    ClosePacket(true, prim);
}

// ------------------------------------------------------------ the copies

bool Render2D::BreakDirect()
{
    Renderer& vif = therenderer;
    if (!p || !vif.direct)
        return false;
    vif.SetPtr(reinterpret_cast<u32*>(p));
    vif.CloseDirect();
    return true;
}

void Render2D::ResumeDirect()
{
    Renderer& vif = therenderer;
    if (vif.AllowFor(2)) {
        vif.OpenDirect();
        p = reinterpret_cast<u64*>(vif.direct);
    } else {
        p = nullptr;
    }
}

void ChannelAsIndex(VIFpacket& vif, const Surface& srce, const Surface&, int clut, u_long128* copypage, int qwc)
{
    const u32 across = PagesAcross(srce);
    const u32 rows = PageRows(srce);
    if (!copypage || qwc <= 0 || !ChainAllowFor(vif, across * rows * kPageChainQwc))
        return;
    const u64 base = u64(kTexSize1024 | kTexAlpha | kDecal) | 2ull << 14 | u64(PSMT8) << 20 |
                     u64(clut & 0x3FFF) << 37;
    u32 k = 0;
    for (u32 y = 0; y < rows; y++) {
        for (u32 x = 0; x < across; x++, k++) {
            vif.OpenDirect();
            u64* q = reinterpret_cast<u64*>(vif.direct);
            sceGifTag t = MakeGifTag(3, true, 0, 1, GS_AD);
            std::memcpy(q, &t, 16);
            q += 2;
            // The list draws at (0, 0)-(64, 32): the offset puts it on page
            // (x, y) of the target.
            const u64 ox = u64(0x8000 - 0x400 * x) & 0xFFFF;
            const u64 oy = u64((0x800 - 32 * y) * 16) & 0xFFFF;
            const u64 tbp = (tex0::TBP0(srce.tex0) + 32 * k) & 0x3FFF;
            *q++ = 0;
            *q++ = GS_TEXFLUSH;
            *q++ = ox | oy << 32;
            *q++ = GS_XYOFFSET_2;
            // The palette is loaded with the first page only.
            *q++ = base | tbp | (k == 0 ? kClutLoad : 0);
            *q++ = GS_TEX0_2;
            vif.SetPtr(reinterpret_cast<u32*>(q));
            vif.CloseDirect();
            vif.RefDirect(copypage, u32(qwc));
        }
    }
}

void Render2D::ChannelCopy(const Surface& srce, Surface& dest, int clut, u_long128* list, int qwc, u64 clamp)
{
    const u32 fl = (update_flags >> R2D_CONTEXT2) & 0x3F & ~u32(R2D_TEXTURE);
    const u32 pages = PagesAcross(srce) * PageRows(srce);
    if (!Room(1 + StateQuadwords(fl) + 5 + pages * kPageChainQwc + 2))
        return;
    OpenPacket();
    p = _SetState(p, fl, true);
    update_flags &= ~(fl << R2D_CONTEXT2);
    AD(GS_FRAME_2, FrameValue(dest, mask_reg));
    AD(GS_SCISSOR_2, ScissorValue(dest));
    AD(GS_XYOFFSET_2, kOffset2048);
    AD(GS_CLAMP_2, clamp);
    AD(GS_TEX1_2, 1);   // fixed level of detail, nearest
    ClosePacket(true, prim_reg | kSpriteUV2);
    dest.MakeDirty();
    if (!BreakDirect())
        return;
    ChannelAsIndex(therenderer, srce, dest, clut, list, qwc);
    ResumeDirect();
    // The texture registers of context 2 now describe the last page.
    update_flags |= u32(R2D_TEXTURE) << R2D_CONTEXT2;
}

// REGION_REPEAT on u with mask 0xF7: bit 3 of u picks the byte of the word
// (fix 0 for red and green, 8 for blue); v repeats.
void Render2D::RedAsIndex(const Surface& srce, Surface& dest, int clut)
{
    ChannelCopy(srce, dest, clut, rai.data, PAGELIST_QWC, 0xF73);
}

void Render2D::GreenAsIndex(const Surface& srce, Surface& dest, int clut)
{
    ChannelCopy(srce, dest, clut, gai.data, PAGELIST_QWC, 0xF73);
}

void Render2D::BlueAsIndex(const Surface& srce, Surface& dest, int clut)
{
    ChannelCopy(srce, dest, clut, bai.data, PAGELIST_QWC, 0x20F73);
}

void Render2D::MakeZAlpha(Surface zbuf)
{
    // The Z buffer seen as 16-bit colour: twice the rows, but no more than
    // texel coordinates can reach (1023.9375).
    Surface view;
    view.Set(PSMCT16, zbuf.width, std::min(2 * int(zbuf.height), 1023));
    view.Texture::SetVRAM(zbuf.GetVRAM(), 0);
    const int w = view.width, h = view.height;
    const int sprites = (w + 15) / 16;

    const u32 fl = (update_flags >> R2D_CONTEXT2) & 0x3F & ~u32(R2D_TEXTURE);
    if (!Room(1 + StateQuadwords(fl) + 9 + 2 + 1 + 2 * u32(sprites) + 2 + 2))
        return;
    // Only the high byte of each 16-bit pixel is written.
    mask_reg = 0x3FFF;
    OpenPacket();
    p = _SetState(p, fl, true);
    update_flags &= ~(fl << R2D_CONTEXT2);
    AD(GS_FRAME_2, FrameValue(view, mask_reg));
    AD(GS_SCISSOR_2, ScissorValue(view));
    AD(GS_XYOFFSET_2, kOffset2048);
    AD(GS_CLAMP_2, 0);   // repeat
    AD(GS_TEXFLUSH, 0);
    AD(GS_TEX0_2, u64(view.GetVRAM()) | u64(w / 64) << 14 | u64(PSMZ16) << 20 | kTexSize1024 | kTexAlpha | kDecal);
    AD(GS_TEX1_2, 1);
    AD(GS_TEXA, 0x80ull << 32);   // TA1: a set top bit reads as alpha 0x80
    AD(GS_RGBAQ, 0x80808080ull | u64(0x3F800000) << 32);
    ClosePacket(true, kSpriteUV2);
    mask_reg = 0;
    if (!BreakDirect())
        return;

    // Each 16-pixel column copies its left eight texel columns, read in the
    // Z16 layout, onto its right eight pixels, written in the CT16 layout.
    ResumeDirect();
    if (!p)
        return;
    OpenPacket();
    for (int i = 0; i < sprites; i++) {
        *p++ = Uv(256 * i + 8, 8);
        *p++ = Xyz((16 * i + 8 + 2048) * 16, 2048 * 16, 0x10000);
        *p++ = Uv(256 * i + 136, 16 * h + 8);
        *p++ = Xyz((16 * i + 16 + 2048) * 16, (h + 2048) * 16, 0x10000);
    }
    sceGifTag t = MakeGifTag(u32(sprites), true, 1, 4, kSpriteRegs);
    std::memcpy(tag, &t, 16);
    tag = nullptr;
    if (!BreakDirect())
        return;
    therenderer.Put(VIF_FLUSHA);
    ResumeDirect();
    if (p && Room(2)) {
        OpenPacket();
        AD(GS_TEXFLUSH, 0);
        ClosePacket(false, 0);
    }
    // Context 2's texture registers and the shared colour were overwritten.
    update_flags |= u32(R2D_TEXTURE) << R2D_CONTEXT2;
    Mark(R2D_COLOUR);
}
