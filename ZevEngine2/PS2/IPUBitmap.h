// Still pictures: full-screen pictures (the title picture, the loading
// picture, the end pictures on the disc) stored as intra-coded MPEG
// macroblock streams.  The IPU decodes them; the GIF channel writes the
// decoded macroblocks straight into GS memory.  A picture is decoded and
// uploaded in one blocking call.
#pragma once

#include "ZevEngine2/Zev.h"

#include <ee/ipu.h>

// Bits of a picture's flags byte (the first byte of its stream).
constexpr u8 IPUF_COLUMNS = 0x01;   // macroblocks column by column, not row by row
constexpr u8 IPUF_DCTTYPE = 0x04;   // each macroblock carries a DCT type bit
constexpr u8 IPUF_CTRLMASK = 0xFA;  // copied into IPU_CTRL bits 16-23

// A picture file: this 16-byte header (little-endian) and the bitstream.
// The header and the stream must lie on a 16-byte boundary: the stream goes
// to the IPU by DMA straight from where it lies.
class IPUBitmap
{
public:
    char id[4];     // "ipum"
    u32 length;     // bytes of bitstream after the header
    u16 width;      // pixels
    u16 height;
    u32 nframes;    // pictures in the stream; only the first is used
    u8 bs[];        // per picture: the flags byte, then its macroblocks

    int Width() const { return width; }
    int Height() const { return height; }
    int NumFrames() const { return int(nframes); }
    // 16 x 16 macroblocks that cover the picture.
    int NumMacroblocks() const { return ((width + 15) / 16) * ((height + 15) / 16); }

    // Decodes picture 0 into GS memory at block dbp, buffer width dbw (64-pixel
    // units; 0 = the picture's width rounded up) and storage mode psm: 32-bit
    // output for the 32/24-bit modes (psm & 7 < 2), 16-bit otherwise.
    // filesize is the number of bytes of the file that this header starts.
    // False, with a message and GS memory untouched, for a picture that is
    // not an "ipum" stream, whose stream runs past the end of its file, or
    // whose stream breaks off before its last macroblock; `name` (the file's,
    // when known) heads the message.
    bool Load(int dbp, int dbw, int psm, u32 filesize, const char* name = nullptr);

    // Decodes picture 0 into `out`: NumMacroblocks() macroblocks in stream
    // order, 1,024 bytes each in RGB32 or 512 in RGB16.  False, with a
    // message, as for Load; the macroblocks before the break are in `out`.
    bool Frame(void* out, bool rgb32, u32 filesize, const char* name = nullptr);
    bool Frame(sceIpuRGB32* out, u32 filesize) { return Frame(out, true, filesize); }
    bool Frame(sceIpuRGB16* out, u32 filesize) { return Frame(out, false, filesize); }

    // True for a header the decoder can take, whose stream (in whole
    // quadwords, as the transfer reads it) lies inside the filesize-byte
    // file; prints why not otherwise (`caller` names the operation or the file in the
    // message).
    bool Check(const char* caller, u32 filesize) const;
};
static_assert(sizeof(IPUBitmap) == 16, "the stream follows a 16-byte header");

// Class-level operations on the IPU and on the GS upload of its output.
class IPU
{
public:
    // The next 32 bits of the IPU's input without consuming them; then
    // consumes n bits (the IPU goes on with that command).
    static u32 _GetFDEC(int n);

    // Writes into `packet` a GIF-channel chain that moves decoded macroblocks
    // from `data` to GS memory (dbp, dbw, psm) at (dx, dy) for a w x h
    // picture: a whole column of macroblocks per transfer when `columns`, else
    // one transfer per macroblock.  The chain needs (⌈w/16⌉ ⌈h/16⌉ 6 + 5)
    // quadwords at most.  Returns the position after its end tag.
    static u_long128* Upload(u_long128* packet, void* data, int dbp, int dbw, int dx, int dy, int w, int h, int psm,
                             bool columns);
};
