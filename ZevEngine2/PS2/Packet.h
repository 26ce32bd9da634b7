// Writers of DMA source chains: lists of 16-byte tags, each followed by the
// data it counts or pointing at data that stays where it lies.  `DMApacket`
// writes tags and raw words, `VIFpacket` adds the VIF codes of the VIF1 path
// (DIRECT blocks of GIF data, UNPACK blocks of VU1 data, MPG uploads),
// `DMApacket128`/`GIFpacket` write chains for the GIF channel (PATH3), and
// `DMApacketSP` builds in the scratchpad and streams finished parts to main
// memory.  The writers trust callers to stay inside the buffer they gave.
#pragma once

#include "ZevEngine2/Zev.h"

// Hardware source-chain tag.
struct DMAtag
{
    u16 qwc;   // quadwords of data after the tag, or at `next`
    u8 mark;   // always 0
    u8 id;     // bits 4-6 the tag id, bit 7 the interrupt request
    u32 next;  // physical address of referenced data or the next tag
    u32 p[2];  // two VIF codes executed by VIF1 with tag transfer on (0 = NOP)
};
static_assert(sizeof(DMAtag) == 16);

enum DMATAGID {
    DMA_REFE = 0x00,
    DMA_CNT = 0x10,
    DMA_NEXT = 0x20,
    DMA_REF = 0x30,
    DMA_REFS = 0x40,
    DMA_CALL = 0x50,
    DMA_RET = 0x60,
    DMA_END = 0x70,
    DMA_IRQ = 0x80,
};

// VIF codes (command in the top byte).
constexpr u32 VIF_NOP = 0x00000000;
constexpr u32 VIF_FLUSH = 0x11000000;
constexpr u32 VIF_MSCAL = 0x14000000;
constexpr u32 VIF_MSCNT = 0x17000000;
constexpr u32 VIF_DIRECT = 0x50000000;
inline constexpr u32 VIF_STCYCL(u32 wl, u32 cl) { return 0x01000000 | wl << 8 | cl; }
inline constexpr u32 VIF_ITOP(u32 value) { return 0x04000000 | value; }
inline constexpr u32 VIF_MSCALAT(u32 address) { return VIF_MSCAL | address / 8; }
inline constexpr u32 VIF_MPG(u32 num, u32 address) { return 0x4A000000 | (num & 0xFF) << 16 | address / 8; }
inline constexpr u32 VIF_DIRECTQW(u32 qwc) { return VIF_DIRECT | qwc; }
// UNPACK: vn (components - 1) in bits 26-27, vl (32/16/8/5 bits) in 24-25,
// NUM in 16-23, VU address in quadwords with bit 15 = relative to the double
// buffer (TOPS) and bit 14 = unsigned.
constexpr u32 VIF_UNPACK_V4_32 = 0x6C000000;
constexpr u32 VIF_UNPACK_TOPS = 0x8000;
constexpr u32 VIF_UNPACK_USN = 0x4000;

// GS general registers addressed by A+D.
enum GSREG {
    GS_PRIM = 0x00, GS_RGBAQ = 0x01, GS_ST = 0x02, GS_UV = 0x03, GS_XYZF2 = 0x04, GS_XYZ2 = 0x05,
    GS_TEX0_1 = 0x06, GS_TEX0_2 = 0x07, GS_CLAMP_1 = 0x08, GS_CLAMP_2 = 0x09, GS_FOG = 0x0A,
    GS_XYZF3 = 0x0C, GS_XYZ3 = 0x0D, GS_AD = 0x0E, GS_TEX1_1 = 0x14, GS_TEX1_2 = 0x15,
    GS_TEX2_1 = 0x16, GS_TEX2_2 = 0x17, GS_XYOFFSET_1 = 0x18, GS_XYOFFSET_2 = 0x19,
    GS_PRMODECONT = 0x1A, GS_PRMODE = 0x1B, GS_TEXCLUT = 0x1C, GS_SCANMSK = 0x22,
    GS_MIPTBP1_1 = 0x34, GS_MIPTBP1_2 = 0x35, GS_MIPTBP2_1 = 0x36, GS_MIPTBP2_2 = 0x37,
    GS_TEXA = 0x3B, GS_FOGCOL = 0x3D, GS_TEXFLUSH = 0x3F, GS_SCISSOR_1 = 0x40, GS_SCISSOR_2 = 0x41,
    GS_ALPHA_1 = 0x42, GS_ALPHA_2 = 0x43, GS_DIMX = 0x44, GS_DTHE = 0x45, GS_COLCLAMP = 0x46,
    GS_TEST_1 = 0x47, GS_TEST_2 = 0x48, GS_PABE = 0x49, GS_FBA_1 = 0x4A, GS_FBA_2 = 0x4B,
    GS_FRAME_1 = 0x4C, GS_FRAME_2 = 0x4D, GS_ZBUF_1 = 0x4E, GS_ZBUF_2 = 0x4F, GS_BITBLTBUF = 0x50,
    GS_TRXPOS = 0x51, GS_TRXREG = 0x52, GS_TRXDIR = 0x53, GS_HWREG = 0x54, GS_SIGNAL = 0x60,
    GS_FINISH = 0x61, GS_LABEL = 0x62,
};

// Largest NLOOP an IMAGE-mode GIF tag carries in one piece.
constexpr u32 GIF_IMAGE_MAX_QWC = 16383;
// Rows of one PATH3 upload band.
constexpr u32 GIF_BAND_ROWS = 1536;

// Bits per pixel / 4 of a GS pixel storage format: 32-bit 8, 24-bit 6,
// 16-bit 4, 8-bit 2, 4-bit 1.
inline u32 PsmFactor(u8 psm)
{
    u32 f = 8 - 2 * (psm & 7);
    return f == 0 ? 1 : f;
}

// Makes a GIF tag: NLOOP, EOP, PRE/PRIM, FLG, NREG and its register list.
sceGifTag MakeGifTag(u32 nloop, bool eop, u32 flg, u32 nreg, u64 regs, bool pre = false, u32 prim = 0);

class DMApacket
{
public:
    u32* p;        // write position, word aligned
    DMAtag* tag;   // the open tag: its data runs from tag + 8 bytes to p
    u32 reffed;    // quadwords referenced by REF tags since last cleared

    DMApacket() : p(nullptr), tag(nullptr), reffed(0) {}
    explicit DMApacket(u_long128* start) { Open(start); }

    void Open(u_long128* start)
    {
        tag = reinterpret_cast<DMAtag*>(start);
        p = reinterpret_cast<u32*>(start) + 2;
        reffed = 0;
    }

    u32* _Close(int id, bool irq);
    void Close(int id, bool irq = false);
    void Next(u_long128* addr, bool irq = false);
    u_long128* Skip(u32 n);
    u32* _Ref(int id, const void* addr, u32 qwc, u32 op1, u32 op2, bool irq);
    u32* Ref(const void* addr, u32 qwc, u32 op1 = 0, u32 op2 = 0, bool irq = false)
    {
        return _Ref(DMA_REF, addr, qwc, op1, op2, irq);
    }
    u32* RefE(const void* addr, u32 qwc, u32 op1 = 0, u32 op2 = 0, bool irq = false)
    {
        return _Ref(DMA_REFE, addr, qwc, op1, op2, irq);
    }
    u32* RefS(const void* addr, u32 qwc, u32 op1 = 0, u32 op2 = 0, bool irq = false)
    {
        return _Ref(DMA_REFS, addr, qwc, op1, op2, irq);
    }
    // Closes with CALL to `addr`: the DMA runs the chain there until its RET.
    void Call(const void* addr, bool irq = false);
    void Ret(bool irq = false) { Close(DMA_RET, irq); }
    void End(bool irq = false) { Close(DMA_END, irq); }
    void Align(u32 bit, u32 pos);
    void AddN(const u_long128* src, int n);

    u32 NumReffedQW() const { return reffed; }
    void ClearNumReffedQW() { reffed = 0; }
    u32* GetPtr() const { return p; }
    void SetPtr(u32* np) { p = np; }
    u_long128* GetAddress() const { return reinterpret_cast<u_long128*>(p); }
    DMAtag* GetTag() const { return tag; }
    // Room check hook: the writers themselves trust their callers.
    void AllowFor(u32) {}

    void Put(u32 v) { *p++ = v; }
    void Put(s32 v) { *p++ = static_cast<u32>(v); }
    void Put(float f)
    {
        u32 v;
        std::memcpy(&v, &f, 4);
        *p++ = v;
    }
    void Put(u64 v)
    {
        p[0] = static_cast<u32>(v);
        p[1] = static_cast<u32>(v >> 32);
        p += 2;
    }
    DMApacket& operator<<(u32 v) { Put(v); return *this; }
    DMApacket& operator<<(s32 v) { Put(v); return *this; }
    DMApacket& operator<<(float v) { Put(v); return *this; }
    DMApacket& operator<<(u64 v) { Put(v); return *this; }
};

// A DMA chain written in the scratchpad (buffer 0x70001000 to 0x70003FFF)
// and streamed to main memory by the from-scratchpad channel as it fills.
class DMApacketSP : public DMApacket
{
public:
    u32* mainram;  // where the scratchpad buffer's first byte lands in main memory

    DMApacketSP() : mainram(nullptr) {}
    explicit DMApacketSP(u_long128* start) : DMApacket(start), mainram(nullptr) {}

    void ScratchpadOn();
    void ScratchpadOff();
    void _Flush();
    u32* _Close(int id, bool irq);
    void Close(int id, bool irq = false);
    u32* _Ref(int id, const void* addr, u32 qwc, u32 op1, u32 op2, bool irq);
    bool InScratchpad() const;
};

class VIFpacket : public DMApacket
{
public:
    u_long128* direct;  // after the open DIRECT code, or null
    u32* unpack;        // the open UNPACK code, or null

    VIFpacket() : direct(nullptr), unpack(nullptr) {}
    explicit VIFpacket(u_long128* start) : DMApacket(start), direct(nullptr), unpack(nullptr) {}

    void OpenDirect();
    void CloseDirect();
    u32* RefDirect(const void* data, u32 qwc, bool irq = false)
    {
        return _Ref(DMA_REF, data, qwc, VIF_NOP, VIF_DIRECTQW(qwc), irq);
    }
    void Add(const sceGifTag* t);
    void AddGifRegs(const u64* gifdata, int n);
    // Opens an UNPACK block: `code` is the complete UNPACK code without NUM
    // (format, address and flags); the STCYCL before it must already be written.
    void OpenUnpack(u32 code);
    void CloseUnpack();
    void RefMpg(u16 vuaddr, const u64* micro, u32 size);
    void LoadImage(u16 bp, u8 psm, u16 bw, const u64* image, u32 x, u32 y, u32 w, u32 h, bool irq = false);
};

class DMApacket128
{
public:
    u_long128* p;  // write position, quadword aligned
    DMAtag* tag;   // the open tag; its data starts at tag + 16

    DMApacket128() : p(nullptr), tag(nullptr) {}
    explicit DMApacket128(u_long128* start) { Open(start); }

    void Open(u_long128* start)
    {
        tag = reinterpret_cast<DMAtag*>(start);
        p = start + 1;
    }
    u_long128* _Close(int id, bool irq);
    void Close(int id, bool irq = false);
    void Next(u_long128* addr, bool irq = false);
    u_long128* Skip(u32 n);
    u_long128* _Ref(int id, const void* addr, u32 qwc, bool irq);
    u_long128* Ref(const void* addr, u32 qwc, bool irq = false) { return _Ref(DMA_REF, addr, qwc, irq); }
    void End(bool irq = false) { Close(DMA_END, irq); }
    DMAtag* GetTag() const { return tag; }
    u_long128* GetPtr() const { return p; }
    void SetPtr(u_long128* np) { p = np; }
    void Add(const u_long128& q) { *p++ = q; }
    void Add(u64 lo, u64 hi)
    {
        p->lo = lo;
        p->hi = hi;
        ++p;
    }
};

class GIFpacket : public DMApacket128
{
public:
    GIFpacket() = default;
    explicit GIFpacket(u_long128* start) : DMApacket128(start) {}

    void LoadImage(u16 bp, u8 psm, u16 bw, const u64* image, u32 x, u32 y, u32 w, u32 h, bool irq, bool bEop);
};
