#include "ZevEngine2/PS2/StoreImage.h"

#include <ee/graph.h>
#include <ee/hostio.h>
#include <ee/regs.h>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/Utilities.h"

namespace {

constexpr u32 kHeaderBytes = 54;   // file header 14, information header 40
constexpr u32 kD1TagTransfer = 0x40;   // D1_CHCR.TTE
constexpr u32 kGsMaxCoord = 2048;

void Put16(u8* p, u32 v)
{
    p[0] = u8(v);
    p[1] = u8(v >> 8);
}

void Put32(u8* p, u32 v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// GS order to BMP order, in place: red and blue exchanged (16-bit: the
// 5-bit fields, and the alpha bit inverted), 4-bit pixels with the left one
// in the high nibble.  8-bit indices are kept.
void ConvertRow(u8* row, u32 w, u32 factor)
{
    switch (factor) {
    case 8:
        for (u32 i = 0; i < w; i++)
            std::swap(row[4 * i], row[4 * i + 2]);
        break;
    case 6:
        for (u32 i = 0; i < w; i++)
            std::swap(row[3 * i], row[3 * i + 2]);
        break;
    case 4:
        for (u32 i = 0; i < w; i++) {
            const u32 v = row[2 * i] | u32(row[2 * i + 1]) << 8;
            const u32 out = (v & 0x1F) << 10 | (v & 0x3E0) | (v >> 10 & 0x1F) | ((v & 0x8000) ^ 0x8000);
            Put16(row + 2 * i, out);
        }
        break;
    case 1:
        for (u32 i = 0; i < (w + 1) / 2; i++)
            row[i] = u8(row[i] << 4 | row[i] >> 4);
        break;
    default:
        break;
    }
}

}  // namespace

bool StoreImage(const char* name, u16 bp, u8 psm, u16 bw, u32 x, u32 y, u32 w, u32 h)
{
    if (!name || w == 0 || h == 0 || x >= kGsMaxCoord || y >= kGsMaxCoord || w > kGsMaxCoord - x ||
        h > kGsMaxCoord - y) {
        printf("StoreImage: no picture in %ux%u at (%u, %u)\n", w, h, x, y);
        return false;
    }
    // Twice the bytes per pixel: 8, 6, 4, 2 or 1.
    const u32 factor = PsmFactor(psm);
    const u32 rowbytes = (w * factor + 1) / 2;
    // BMP rows are padded to whole 32-bit words.
    const u32 stride = (rowbytes + 3) & ~3u;
    const u32 colours = factor <= 2 ? (factor == 2 ? 256u : 16u) : 0u;
    const u32 offset = kHeaderBytes + 4 * colours;

    u8 header[kHeaderBytes] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, offset + stride * h);   // file size
    Put32(header + 10, offset);               // the pixels
    Put32(header + 14, 40);                   // information header size
    Put32(header + 18, w);
    Put32(header + 22, h);                    // positive: bottom row first
    Put16(header + 26, 1);                    // planes
    Put16(header + 28, 4 * factor);           // bits per pixel

    // One row at a time, with room for the padding; quadword aligned for the
    // read-back.
    u8* row = static_cast<u8*>(malloc((stride + 15) & ~15u));
    if (!row) {
        printf("StoreImage: no memory for a row of %u bytes\n", stride);
        return false;
    }
    const int fd = sceOpen(name, SCE_WRONLY | SCE_CREAT | SCE_TRUNC);
    if (fd < 0) {
        printf("StoreImage: cannot open %s\n", name);
        free(row);
        return false;
    }
    bool ok = sceWrite(fd, header, int(kHeaderBytes)) == int(kHeaderBytes);
    // Indexed pictures get a grey ramp, so that the indices can be seen.
    for (u32 i = 0; ok && i < colours; i++) {
        const u8 grey = u8(i * 255 / (colours - 1));
        const u8 entry[4] = {grey, grey, grey, 0};
        ok = sceWrite(fd, entry, 4) == 4;
    }

    sceGsStoreImage si;
    for (u32 n = 0; ok && n < h; n++) {
        const u32 r = y + h - 1 - n;
        sceGsSetDefStoreImage(&si, short(bp), short(bw), short(psm), short(x), short(r), short(w), 1);
        FlushCache(0);
        if (sceGsExecStoreImage(&si, reinterpret_cast<u_long128*>(row)) != 0) {
            ok = false;
            break;
        }
        sceGsSyncPath(0, 0);
        ConvertRow(row, w, factor);
        std::memset(row + rowbytes, 0, stride - rowbytes);
        ok = sceWrite(fd, row, int(stride)) == int(stride);
    }

    free(row);
    sceClose(fd);
    // The read-back turned tag transfer off; the frame chains need it.
    DPUT_D1_CHCR(DGET_D1_CHCR() | kD1TagTransfer);
    if (!ok)
        printf("StoreImage: %s was not written whole\n", name);
    return ok;
}

bool StoreImage(const char* name, const Surface& s)
{
    return StoreImage(name, u16(s.GetVRAM()), u8(s.format & TEXF_PSM), u16(tex0::TBW(s.tex0)), 0, 0, s.width,
                      s.height);
}
