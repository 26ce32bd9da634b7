#include "ZevEngine2/PS2/Packet.h"

#include <ee/regs.h>

namespace {

u32 PhysAddr(const void* addr)
{
    return static_cast<u32>(reinterpret_cast<uintptr_t>(EE_PHYS(addr)));
}

// BITBLTBUF, TRXPOS, TRXREG and TRXDIR of a host-to-local transfer.
void ImageTransferRegs(u64 regs[8], u16 bp, u8 psm, u16 bw, u32 x, u32 y, u32 w, u32 h)
{
    regs[0] = static_cast<u64>(bp | static_cast<u32>(bw) << 16 | static_cast<u32>(psm) << 24) << 32;
    regs[1] = GS_BITBLTBUF;
    regs[2] = static_cast<u64>(x & 0x7FF) << 32 | static_cast<u64>(y & 0x7FF) << 48;
    regs[3] = GS_TRXPOS;
    regs[4] = (w & 0xFFF) | static_cast<u64>(h & 0xFFF) << 32;
    regs[5] = GS_TRXREG;
    regs[6] = 0;
    regs[7] = GS_TRXDIR;
}

// Fills a tag's count, id (with the interrupt bit) and address; mark is 0.
void SetTag(DMAtag* t, u32 qwc, int id, bool irq, u32 next)
{
    t->qwc = static_cast<u16>(qwc);
    t->mark = 0;
    t->id = static_cast<u8>(id | (irq ? DMA_IRQ : 0));
    t->next = next;
}

// Pads the write position with zero words up to a quadword boundary.
void PadToQuadword(u32*& p)
{
    while (reinterpret_cast<uintptr_t>(p) & 15)
        *p++ = 0;
}

// Quadwords between a tag and the padded end of its data.
u32 TagQwc(const DMAtag* t, const void* end)
{
    return static_cast<u32>((reinterpret_cast<const u8*>(end) - reinterpret_cast<const u8*>(t)) / 16 - 1);
}

// Writes a reference tag into `slot`: `qwc` quadwords at `addr` with two VIF codes.
void SetRefTag(DMAtag* slot, int id, const void* addr, u32 qwc, u32 op1, u32 op2, bool irq)
{
    SetTag(slot, qwc, id, irq, PhysAddr(addr));
    slot->p[0] = op1;
    slot->p[1] = op2;
}

u_long128 TagQuad(const sceGifTag& t)
{
    u_long128 q;
    std::memcpy(&q, &t, sizeof q);
    return q;
}

}  // namespace

sceGifTag MakeGifTag(u32 nloop, bool eop, u32 flg, u32 nreg, u64 regs, bool pre, u32 prim)
{
    u64 lo = (nloop & 0x7FFF) | static_cast<u64>(eop) << 15 | static_cast<u64>(pre) << 46 |
             static_cast<u64>(prim & 0x7FF) << 47 | static_cast<u64>(flg & 3) << 58 | static_cast<u64>(nreg & 15) << 60;
    u_long128 q{lo, regs};
    sceGifTag t;
    std::memcpy(&t, &q, sizeof t);
    return t;
}

// ---------------------------------------------------------------- DMApacket

u32* DMApacket::_Close(int id, bool irq)
{
    PadToQuadword(p);
    SetTag(tag, TagQwc(tag, p), id, irq, 0);
    return p;
}

void DMApacket::Close(int id, bool irq)
{
    u32* end = _Close(id, irq);
    tag = reinterpret_cast<DMAtag*>(end);
    p = end + 2;
}

void DMApacket::Next(u_long128* addr, bool irq)
{
    _Close(DMA_NEXT, irq);
    tag->next = PhysAddr(addr);
    tag = reinterpret_cast<DMAtag*>(addr);
    p = reinterpret_cast<u32*>(addr) + 2;
}

u_long128* DMApacket::Skip(u32 n)
{
    Align(2, 0);
    u_long128* reserved = reinterpret_cast<u_long128*>(p);
    Next(reserved + n);
    return reserved;
}

u32* DMApacket::_Ref(int id, const void* addr, u32 qwc, u32 op1, u32 op2, bool irq)
{
    reffed += qwc;
    if (p > reinterpret_cast<u32*>(tag) + 2)
        Close(DMA_CNT);
    DMAtag* slot = tag;
    SetRefTag(slot, id, addr, qwc, op1, op2, irq);
    tag = slot + 1;
    p = reinterpret_cast<u32*>(tag) + 2;
    return reinterpret_cast<u32*>(slot + 1);
}

void DMApacket::Call(const void* addr, bool irq)
{
    DMAtag* closing = tag;
    Close(DMA_CALL, irq);
    closing->next = PhysAddr(addr);
}

void DMApacket::Align(u32 bit, u32 pos)
{
    const uintptr_t mask = (uintptr_t{4} << bit) - 1;
    const uintptr_t want = (4 * pos) & mask;
    while ((reinterpret_cast<uintptr_t>(p) & mask) != want)
        *p++ = 0;
}

void DMApacket::AddN(const u_long128* src, int n)
{
    if (n <= 0)
        return;
    std::memcpy(p, src, static_cast<size_t>(n) * 16);
    p += 4 * n;
}

// --------------------------------------------------------------- DMApacketSP
// The scratchpad buffer starts above the first 4 KiB (used by other code) and
// ends below 0x70003FF1; a close that might not fit 4 KiB more streams first.

bool DMApacketSP::InScratchpad() const
{
    return reinterpret_cast<uintptr_t>(p) > 0x70000FFFu && reinterpret_cast<uintptr_t>(p) < 0x70004000u;
}

u32* DMApacketSP::_Close(int id, bool irq)
{
    if (InScratchpad() && reinterpret_cast<uintptr_t>(p) + 4096 > 0x70003FF1u)
        _Flush();
    PadToQuadword(p);
    DMAtag* at = tag;
    if (InScratchpad() && reinterpret_cast<uintptr_t>(tag) < 0x70001000u) {
        // The tag was streamed out already: patch it where it now lies.
        at = reinterpret_cast<DMAtag*>(reinterpret_cast<u8*>(tag) + (reinterpret_cast<uintptr_t>(mainram) - 0x70001000u));
    }
    SetTag(at, TagQwc(tag, p), id, irq, 0);
    return p;
}

void DMApacketSP::Close(int id, bool irq)
{
    u32* end = _Close(id, irq);
    tag = reinterpret_cast<DMAtag*>(end);
    p = end + 2;
}

u32* DMApacketSP::_Ref(int id, const void* addr, u32 qwc, u32 op1, u32 op2, bool irq)
{
    // Close pending data with the scratchpad-aware close; the base then finds
    // a fresh tag and reuses its slot.
    if (p > reinterpret_cast<u32*>(tag) + 2)
        Close(DMA_CNT);
    return DMApacket::_Ref(id, addr, qwc, op1, op2, irq);
}

void DMApacketSP::_Flush()
{
    u8* spr = reinterpret_cast<u8*>(0x70001000u);
    u32 whole = static_cast<u32>((reinterpret_cast<u8*>(p) - spr) / 16);
    u32 qwc = static_cast<u32>((reinterpret_cast<u8*>(p) - spr + 15) / 16);
    if (qwc) {
        // From-scratchpad channel, normal mode; SADR is the offset in the scratchpad.
        DPUT_D8_SADR(0x1000);
        DPUT_D8_MADR(static_cast<u32>(reinterpret_cast<uintptr_t>(EE_PHYS(mainram))));
        DPUT_D8_QWC(qwc);
        DPUT_D8_CHCR(0x100);
        while (DGET_D8_CHCR() & 0x100)
            ;
    }
    // A partly written quadword continues at the buffer's start.
    std::memcpy(spr, spr + whole * 16, 16);
    mainram += whole * 4;
    p -= whole * 4;
    tag = reinterpret_cast<DMAtag*>(reinterpret_cast<u8*>(tag) - whole * 16);
}

void DMApacketSP::ScratchpadOn()
{
    if (InScratchpad())
        return;
    Align(2, 0);
    mainram = p;
    tag = reinterpret_cast<DMAtag*>(reinterpret_cast<u8*>(tag) - (reinterpret_cast<u8*>(p) - reinterpret_cast<u8*>(0x70001000u)));
    p = reinterpret_cast<u32*>(0x70001000u);
}

void DMApacketSP::ScratchpadOff()
{
    if (!InScratchpad())
        return;
    Align(2, 0);
    _Flush();
    p = mainram;
    tag = reinterpret_cast<DMAtag*>(reinterpret_cast<u8*>(tag) + (reinterpret_cast<uintptr_t>(mainram) - 0x70001000u));
}

// ---------------------------------------------------------------- VIFpacket

void VIFpacket::OpenDirect()
{
    Align(2, 3);
    *p++ = VIF_DIRECT;
    direct = reinterpret_cast<u_long128*>(p);
}

void VIFpacket::CloseDirect()
{
    u32* code = reinterpret_cast<u32*>(direct) - 1;
    u32 qwc = static_cast<u32>((reinterpret_cast<u8*>(p) - reinterpret_cast<u8*>(direct)) / 16);
    // An empty block must not reach VIF1 as DIRECT 0 (which means 65,536).
    *code = qwc ? (VIF_DIRECT | qwc) : VIF_NOP;
    direct = nullptr;
}

void VIFpacket::Add(const sceGifTag* t)
{
    u32 nreg = t->NREG ? t->NREG : 16;
    OpenDirect();
    AddN(reinterpret_cast<const u_long128*>(t), 1 + static_cast<int>(t->NLOOP * nreg));
    CloseDirect();
}

void VIFpacket::AddGifRegs(const u64* gifdata, int n)
{
    OpenDirect();
    sceGifTag t = MakeGifTag(static_cast<u32>(n), true, 0, 1, GS_AD);
    AddN(reinterpret_cast<const u_long128*>(&t), 1);
    for (int i = 0; i < n; ++i) {
        Put(gifdata[2 * i]);
        Put(gifdata[2 * i + 1]);
    }
    CloseDirect();
}

void VIFpacket::OpenUnpack(u32 code)
{
    *p = code;
    unpack = p;
    ++p;
}

void VIFpacket::CloseUnpack()
{
    u32 stcycl = unpack[-1];
    u32 cl = stcycl & 0xFF;
    u32 wl = (stcycl >> 8) & 0xFF;
    u32 vn = (*unpack >> 26) & 3;
    u32 vl = (*unpack >> 24) & 3;
    u32 element = (4 * (vn + 1)) >> vl;
    u32 bytes = static_cast<u32>((reinterpret_cast<u8*>(p) - reinterpret_cast<u8*>(unpack + 1)));
    u32 num = cl && element ? (bytes * wl) / (cl * element) : 0;
    *unpack = (*unpack & 0xFF00FFFFu) | (num & 0xFF) << 16;
    unpack = nullptr;
}

void VIFpacket::RefMpg(u16 vuaddr, const u64* micro, u32 size)
{
    const u8* src = reinterpret_cast<const u8*>(micro);
    u32 address = vuaddr;
    while (size > 0) {
        u32 n = std::min<u32>(size, 128);
        // 128 quadwords are 256 instructions, which the MPG code counts as 0.
        u32 mpg = 0x4A000000u | ((2 * n) & 0xFF) << 16 | (address & 0xFFFF);
        _Ref(DMA_REF, src, n, VIF_NOP, mpg, false);
        address += 2 * n;
        src += 16 * n;
        size -= n;
    }
}

void VIFpacket::LoadImage(u16 bp, u8 psm, u16 bw, const u64* image, u32 x, u32 y, u32 w, u32 h, bool irq)
{
    u32 qwc = w * h * PsmFactor(psm) / 32;
    const u8* data = reinterpret_cast<const u8*>(image);

    OpenDirect();
    sceGifTag t = MakeGifTag(4, true, 0, 1, GS_AD);
    AddN(reinterpret_cast<const u_long128*>(&t), 1);
    u64 regs[8];
    ImageTransferRegs(regs, bp, psm, bw, x, y, w, h);
    for (u64 r : regs)
        Put(r);

    while (qwc >= GIF_IMAGE_MAX_QWC + 1) {
        sceGifTag img = MakeGifTag(GIF_IMAGE_MAX_QWC, false, 2, 0, 0);
        AddN(reinterpret_cast<const u_long128*>(&img), 1);
        CloseDirect();
        _Ref(DMA_REF, data, GIF_IMAGE_MAX_QWC, VIF_NOP, VIF_DIRECTQW(GIF_IMAGE_MAX_QWC), false);
        data += 16 * GIF_IMAGE_MAX_QWC;
        qwc -= GIF_IMAGE_MAX_QWC;
        OpenDirect();
    }
    sceGifTag last = MakeGifTag(qwc, true, 2, 0, 0);
    AddN(reinterpret_cast<const u_long128*>(&last), 1);
    CloseDirect();
    _Ref(DMA_REF, data, qwc, VIF_NOP, VIF_DIRECTQW(qwc), irq);
}

// ------------------------------------------------------------- DMApacket128

u_long128* DMApacket128::_Close(int id, bool irq)
{
    SetTag(tag, TagQwc(tag, p), id, irq, 0);
    tag->p[0] = 0;
    tag->p[1] = 0;
    return p;
}

void DMApacket128::Close(int id, bool irq)
{
    u_long128* end = _Close(id, irq);
    tag = reinterpret_cast<DMAtag*>(end);
    p = end + 1;
}

void DMApacket128::Next(u_long128* addr, bool irq)
{
    _Close(DMA_NEXT, irq);
    tag->next = PhysAddr(addr);
    tag = reinterpret_cast<DMAtag*>(addr);
    p = addr + 1;
}

u_long128* DMApacket128::Skip(u32 n)
{
    u_long128* reserved = p;
    Next(reserved + n);
    return reserved;
}

u_long128* DMApacket128::_Ref(int id, const void* addr, u32 qwc, bool irq)
{
    if (p > reinterpret_cast<u_long128*>(tag) + 1)
        Close(DMA_CNT);
    DMAtag* slot = tag;
    SetRefTag(slot, id, addr, qwc, 0, 0, irq);
    tag = slot + 1;
    p = reinterpret_cast<u_long128*>(tag) + 1;
    return reinterpret_cast<u_long128*>(slot + 1);
}

// ---------------------------------------------------------------- GIFpacket

void GIFpacket::LoadImage(u16 bp, u8 psm, u16 bw, const u64* image, u32 x, u32 y, u32 w, u32 h, bool irq, bool bEop)
{
    const u32 factor = PsmFactor(psm);
    const u8* data = reinterpret_cast<const u8*>(image);
    u32 rows_left = h;
    do {
        u32 rows = std::min(rows_left, GIF_BAND_ROWS);
        bool last_band = rows == rows_left;
        Add(TagQuad(MakeGifTag(4, true, 0, 1, GS_AD)));
        u64 regs[8];
        ImageTransferRegs(regs, bp, psm, bw, x, y, w, rows);
        for (int i = 0; i < 4; ++i)
            Add(regs[2 * i], regs[2 * i + 1]);

        u32 qwc = w * rows * factor / 32;
        while (qwc >= GIF_IMAGE_MAX_QWC + 1) {
            Add(TagQuad(MakeGifTag(GIF_IMAGE_MAX_QWC, false, 2, 0, 0)));
            _Ref(DMA_REF, data, GIF_IMAGE_MAX_QWC, false);
            data += 16 * GIF_IMAGE_MAX_QWC;
            qwc -= GIF_IMAGE_MAX_QWC;
        }
        Add(TagQuad(MakeGifTag(qwc, last_band && bEop, 2, 0, 0)));
        _Ref(DMA_REF, data, qwc, last_band && irq);
        data += 16 * qwc;
        rows_left -= rows;
        // The next band lands 1,536 rows further down: w x 1,536 pixels at
        // factor/2 bytes each, in 256-byte blocks.
        bp = static_cast<u16>(bp + w * 3 * factor);
    } while (rows_left > 0);
}
