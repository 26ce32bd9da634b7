// The VIF1 unpack engine: turns the data words of an UNPACK code into VU1
// data memory quadwords, bit for bit as the hardware does.
//
// Code: command 0x60-0x7F (vn bits 2-3: components - 1; vl bits 0-1: 32, 16,
// 8 bits or, with vn 3, V4-5; bit 4 masked), NUM bits 16-23 (vectors written,
// 0 = 256), immediate bits 0-9 address, bit 14 USN (zero extension), bit 15
// FLG (address relative to TOPS).
//
// Rules applied to vector i of NUM:
// - Write cycle (CYCLE: CL bits 0-7, WL bits 8-15): vectors go in blocks of
//   WL to address + (i / WL) * max(CL, WL) + i % WL, modulo 1,024.  With
//   WL <= CL every vector reads data ("skipping"); with WL > CL only the first
//   CL of each block do and the rest are filled ("filling").  WL 0 writes
//   every vector from data at consecutive addresses.
// - Elements: S-n writes its value to x, y, z and w; V2-n writes x, y and
//   repeats them in z, w; V3-n takes w from the component that follows in the
//   same 16-byte source quadword of the stream (0 when the vector ends on a
//   quadword boundary or the data ends); V4-5 expands a 5:5:5:1 halfword to
//   (r << 3, g << 3, b << 3, a << 7).  16- and 8-bit values are sign-extended
//   unless USN.
// - Mask (when the code's mask bit is set): MASK holds 2 bits per field, the
//   field of component c at write cycle k = i % WL being bits 2(4 min(k, 3) + c):
//   0 data, 1 ROW[c], 2 COL[min(k, 3)], 3 write-protected (left as it was).
// - Mode (MODE, applied to data fields only): 0 as is; 1 offset, ROW[c] added;
//   2 difference, ROW[c] += data and the sum written.
// - Filled vectors have no data: their data fields take ROW[c].
#pragma once

#include <cstddef>
#include <cstdint>

#include <ee/types.h>

#include "vif/vif1.h"

namespace console::vif {

// True for the sixteen command numbers that are UNPACK codes with a defined
// format (0x63, 0x67 and 0x6B and their masked forms are not).
bool UnpackFormatDefined(uint32_t code);

// Data words an UNPACK `code` reads with write cycle `cycle`: the vectors that
// take data, each (vn + 1) components of (32 >> vl) bits (V4-5: 16 bits),
// padded to a whole word.
uint32_t UnpackDataWords(uint32_t code, uint32_t cycle);

// Name of the format ("V3-16", "V4-5").
const char* UnpackFormatName(uint32_t code);

// Writes the vectors of UNPACK `code` into `vu_mem` (1,024 quadwords) from its
// `nwords` data words (UnpackDataWords of them), with CYCLE, MASK, ROW, COL
// and MODE from `regs`; difference mode updates regs.row.  `first_word_pos`
// is the position (0-3) of the first data word in its source quadword, which
// decides V3's w; `tops` is added to the address when FLG is set.
void Unpack(uint32_t code, const uint32_t* words, size_t nwords, unsigned first_word_pos, uint32_t tops,
            Registers& regs, u128* vu_mem);

}  // namespace console::vif
