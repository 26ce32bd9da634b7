#include "ZevEngine2/PS2/IPUBitmap.h"

#include <ee/dma.h>
#include <ee/regs.h>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Packet.h"

namespace {

// IPU_CTRL: reset, and the decoder's state bits read while waiting.
constexpr u32 IPU_CTRL_RST = 0x40000000;
constexpr u32 IPU_CTRL_BUSY = 0x80000000;
constexpr u32 IPU_CTRL_OFC = 0x000000F0;

// IPU_CMD: FDEC with the bits to consume in 0-5; IDEC with its options.
constexpr u32 IPU_FDEC = 0x40000000;
constexpr u32 IPU_IDEC = 0x10000000;
constexpr u32 IDEC_DTD = 0x01000000;    // read a DCT type bit per macroblock
constexpr u32 IDEC_DTE = 0x04000000;    // dither the 16-bit output
constexpr u32 IDEC_RGB16 = 0x08000000;  // 16-bit output (OFM)
constexpr u32 IDEC_QSC1 = 0x00010000;   // quantiser scale code 1 to start with

constexpr u32 D_CHCR_STR = 0x100;

// The most macroblocks one receive takes: a transfer moves at most 0xFFFF
// quadwords, so 1,023 of 1,024 bytes or 2,047 of 512 bytes.
constexpr int MAX_RECV_RGB32 = 1023;
constexpr int MAX_RECV_RGB16 = 2047;

u32 PhysAddr(const void* addr)
{
    return u32(uintptr_t(EE_PHYS(addr)));
}

void Tag(u_long128*& p, u32 qwc, int id, const void* next)
{
    DMAtag* t = reinterpret_cast<DMAtag*>(p++);
    t->qwc = u16(qwc);
    t->mark = 0;
    t->id = u8(id);
    t->next = next ? PhysAddr(next) : 0;
    t->p[0] = 0;
    t->p[1] = 0;
}

void Gif(u_long128*& p, const sceGifTag& t)
{
    std::memcpy(p++, &t, sizeof t);
}

void AD(u_long128*& p, u64 value, u64 reg)
{
    p->lo = value;
    p->hi = reg;
    ++p;
}

// The TRXPOS of a transfer to (x, y).
u64 TrxPos(int x, int y)
{
    return u64(x & 0x7FF) << 32 | u64(y & 0x7FF) << 48;
}

// The decoder has finished (or given up) and holds no output: a receive
// still running can never complete.
bool DecoderStopped()
{
    u32 ctrl = DGET_IPU_CTRL();
    return !(ctrl & IPU_CTRL_BUSY) && !(ctrl & IPU_CTRL_OFC);
}

}  // namespace

bool IPUBitmap::Check(const char* caller, u32 filesize) const
{
    // A picture is shown as one texture, whose sides are at most 2^10.
    constexpr u32 kMaxSide = 1024;
    // The header itself is read only once the file is known to hold it.
    if (filesize < sizeof(IPUBitmap)) {
        printf("IPUBitmap::%s: its %u-byte file is shorter than the %u-byte header\n", caller, (unsigned)filesize,
               (unsigned)sizeof(IPUBitmap));
        return false;
    }
    const char* why = nullptr;
    // The transfer to the IPU moves whole quadwords.
    const u64 sent = (u64(length) + 15) / 16 * 16;
    if (std::memcmp(id, "ipum", 4) != 0)
        why = "not an \"ipum\" picture";
    else if (width == 0 || height == 0 || nframes == 0)
        why = "no picture in it";
    else if (width > kMaxSide || height > kMaxSide)
        why = "larger than the 1024 x 1024 pixels a texture can have";
    else if (length == 0 || sent / 16 > 0xFFFF)
        why = "its stream is empty or longer than one transfer";
    else if (uintptr_t(bs) & 15)
        why = "it does not lie on a 16-byte boundary";
    else if (sent > filesize - sizeof(IPUBitmap)) {
        printf("IPUBitmap::%s: its stream of %u bytes (%u in whole quadwords) runs past the end of its %u-byte "
               "file\n",
               caller, (unsigned)length, (unsigned)sent, (unsigned)filesize);
        return false;
    }
    if (!why)
        return true;
    printf("IPUBitmap::%s: %s\n", caller, why);
    return false;
}

u32 IPU::_GetFDEC(int n)
{
    DPUT_IPU_CMD(IPU_FDEC);
    sceIpuSync(0, 0);
    u32 bits = u32(DGET_IPU_CMD());
    DPUT_IPU_CMD(IPU_FDEC | u32(n));
    return bits;
}

bool IPUBitmap::Frame(void* out, bool rgb32, u32 filesize, const char* name)
{
    if (!Check(name != nullptr ? name : "Frame", filesize))
        return false;
    sceDmaChan* toipu = sceDmaGetChan(SCE_DMA_toIPU);
    sceDmaChan* fromipu = sceDmaGetChan(SCE_DMA_fromIPU);

    DPUT_IPU_CTRL(IPU_CTRL_RST);
    sceDmaSendN(toipu, bs, int((length + 15) / 16));
    u32 flags = IPU::_GetFDEC(8) >> 24;
    DPUT_IPU_CTRL((flags & IPUF_CTRLMASK) << 16);
    DPUT_IPU_CMD(IPU_IDEC | IDEC_DTE | (rgb32 ? 0 : IDEC_RGB16) | ((flags & IPUF_DCTTYPE) ? IDEC_DTD : 0) |
                 IDEC_QSC1);

    const int mbbytes = rgb32 ? int(sizeof(sceIpuRGB32)) : int(sizeof(sceIpuRGB16));
    const int most = rgb32 ? MAX_RECV_RGB32 : MAX_RECV_RGB16;
    const int total = NumMacroblocks();
    u8* p = static_cast<u8*>(out);
    int n = total;
    while (n > 0) {
        int m = n < most ? n : most;
        sceDmaRecvN(fromipu, p, m * mbbytes / 16);
        while (DGET_D3_CHCR() & D_CHCR_STR) {
            if (DecoderStopped()) {
                // A corrupt or truncated stream: the decoder stopped early,
                // so the receive would wait for ever.
                int got = int((static_cast<u8*>(fromipu->madr) - p) / mbbytes);
                fromipu->chcr.STR = 0;
                DPUT_IPU_CTRL(IPU_CTRL_RST);
                printf("IPUBitmap::%s: the picture's stream breaks off after %d of %d macroblocks\n",
                       name != nullptr ? name : "Frame", total - n + got, total);
                return false;
            }
        }
        p += m * mbbytes;
        n -= m;
    }
    if (sceIpuSync(1, 0)) {
        // More macroblocks than the picture's size: the decoder waits for
        // someone to take them.  The picture itself is complete.
        printf("IPUBitmap::Frame: the stream holds more than the picture's %d macroblocks\n", total);
        DPUT_IPU_CTRL(IPU_CTRL_RST);
    }
    sceIpuSync(0, 0);
    return true;
}

u_long128* IPU::Upload(u_long128* packet, void* data, int dbp, int dbw, int dx, int dy, int w, int h, int psm,
                       bool columns)
{
    const int mbw = (w + 15) / 16;
    const int mbh = (h + 15) / 16;
    const u32 mbbytes = (psm & 7) < 2 ? 1024 : 512;
    u_long128* p = packet;
    u8* src = static_cast<u8*>(data);

    Tag(p, 3, DMA_CNT, nullptr);
    Gif(p, MakeGifTag(2, false, 0, 1, GS_AD));
    AD(p, u64(dbp) << 32 | u64(dbw) << 48 | u64(psm) << 56, GS_BITBLTBUF);
    AD(p, u64(16) | u64(columns ? 16 * mbh : 16) << 32, GS_TRXREG);

    if (columns) {
        // A column of macroblocks is one contiguous 16-pixel-wide image.
        const u32 qwc = mbbytes * u32(mbh) / 16;
        for (int i = 0; i < mbw; i++) {
            Tag(p, 4, DMA_CNT, nullptr);
            Gif(p, MakeGifTag(2, false, 0, 1, GS_AD));
            AD(p, TrxPos(dx + 16 * i, dy), GS_TRXPOS);
            AD(p, 0, GS_TRXDIR);
            Gif(p, MakeGifTag(qwc, i == mbw - 1, 2, 0, 0));
            Tag(p, qwc, DMA_REF, src);
            src += mbbytes * u32(mbh);
        }
    } else {
        const u32 qwc = mbbytes / 16;
        for (int r = 0; r < mbh; r++) {
            for (int c = 0; c < mbw; c++) {
                Tag(p, 4, DMA_CNT, nullptr);
                Gif(p, MakeGifTag(2, false, 0, 1, GS_AD));
                AD(p, TrxPos(dx + 16 * c, dy + 16 * r), GS_TRXPOS);
                AD(p, 0, GS_TRXDIR);
                Gif(p, MakeGifTag(qwc, r == mbh - 1 && c == mbw - 1, 2, 0, 0));
                Tag(p, qwc, DMA_REF, src);
                src += mbbytes;
            }
        }
    }
    Tag(p, 0, DMA_END, nullptr);
    return p;
}

bool IPUBitmap::Load(int dbp, int dbw, int psm, u32 filesize, const char* name)
{
    if (!Check(name != nullptr ? name : "Load", filesize))
        return false;
    const bool rgb32 = (psm & 7) < 2;
    const int nmb = NumMacroblocks();
    // The decoded size is whole macroblocks, which for sides that are not
    // multiples of 16 is more than width x height pixels.
    u_long128* packet = static_cast<u_long128*>(malloc_align(size_t(nmb * 6 + 5) * 16, 16));
    void* pixels = malloc(size_t(nmb) * (rgb32 ? sizeof(sceIpuRGB32) : sizeof(sceIpuRGB16)));
    if (!packet || !pixels) {
        printf("IPUBitmap::Load: no memory for a %d x %d picture\n", width, height);
        free(pixels);
        free(packet);
        return false;
    }
    if (dbw == 0)
        dbw = (width + 63) / 64;

    bool ok = Frame(pixels, rgb32, filesize, name);
    FlushCache(0);
    if (ok) {
        IPU::Upload(EE_UNCACHED(packet), pixels, dbp, dbw, 0, 0, width, height, psm, bs[0] & IPUF_COLUMNS);
        sceDmaChan* gif = sceDmaGetChan(SCE_DMA_GIF);
        sceDmaSend(gif, EE_PHYS(packet));
        sceDmaSync(gif, 0, 0);
    }
    free(pixels);
    free(packet);
    return ok;
}
