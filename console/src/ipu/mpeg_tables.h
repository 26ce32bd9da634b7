// The fixed tables of MPEG-1/2 intra coding as the IPU's intra decoder (IDEC)
// reads them: variable-length codes of the macroblock address increment, the
// intra macroblock types, the DC size categories and the two DCT coefficient
// tables (table zero, and table one for the intra VLC format), the zig-zag
// and alternate scans, the default intra weighting matrix and the quantiser
// scales.  The decoder and the still-picture encoder in tools/ share this
// module, so what one writes is what the other reads.
//
// Codes are given most significant bit first: `code` holds `length` bits.
#pragma once

#include <ee/types.h>

#include <array>
#include <span>

namespace console::ipu {

struct Vlc {
    u16 code;
    u8 length;
};

// A run/level code of a DCT coefficient table.  `length` counts the code
// alone; the sign bit (1 = negative) follows it in the stream.
struct DctVlc {
    u16 code;
    u8 length;
    u8 run;
    u8 level;
};

// Table zero serves MPEG-1 and MPEG-2 with the intra VLC format off; table
// one is MPEG-2's alternative for intra blocks (IPU_CTRL IVF).
enum class DctTable : u8 { kZero, kOne };

std::span<const DctVlc> DctCodes(DctTable table);
// End of block: "10" in table zero, "0110" in table one.
Vlc DctEndOfBlock(DctTable table);
// Escape, followed by a 6-bit run and the level (12 bits two's complement in
// MPEG-2; 8 or 16 bits in MPEG-1).
inline constexpr Vlc kDctEscape{0b000001, 6};

// Macroblock address increment: values 1 to 33, then the two special codes.
struct MbaiVlc {
    u16 code;
    u8 length;
    u8 value;
};
inline constexpr u8 kMbaiStuffing = 34;  // MPEG-1 padding, skipped
inline constexpr u8 kMbaiEscape = 35;    // adds 33 to the increment that follows
std::span<const MbaiVlc> MacroblockAddressIncrementCodes();

// Macroblock types of an intra picture: "1" intra, "01" intra with a new
// quantiser scale code (5 bits after the type and the DCT type).
inline constexpr Vlc kMbTypeIntra{0b1, 1};
inline constexpr Vlc kMbTypeIntraQuant{0b01, 2};

// dct_dc_size codes by size 0 to 11.
const std::array<Vlc, 12>& DcSizeLuma();
const std::array<Vlc, 12>& DcSizeChroma();

// Scan order: coefficient n of a block's run/level sequence lies at raster
// index (v * 8 + u) scan[n].
const std::array<u8, 64>& ZigzagScan();
const std::array<u8, 64>& AlternateScan();

// The default intra weighting matrix, raster order (v * 8 + u).  The IPU
// starts with it after a reset; nothing here loads another.
const std::array<u8, 64>& DefaultIntraMatrix();

// The quantiser scale of a quantiser_scale_code (1 to 31): the code itself in
// MPEG-1, twice the code with the linear type, the non-linear table with
// IPU_CTRL QST.  Code 0 gives 0.
int QuantiserScale(int code, bool non_linear, bool mpeg1);

// DC multiplier of an intra DC precision (IDP 0..3 = 8 to 11 bits): 8, 4, 2, 1.
constexpr int IntraDcMultiplier(int idp)
{
    return 8 >> (idp & 3);
}

}  // namespace console::ipu
