// The IPU, the EE's image decoder, as far as still pictures use it: an input
// FIFO fed by DMA channel 4 (to IPU), an output queue drained by channel 3
// (from IPU), the registers IPU_CMD and IPU_CTRL, and two commands:
//   FDEC (0x4 << 28 | n): skips n bits; the result register then holds the
//        next 32 bits of the stream, which stay unread.
//   IDEC (0x1 << 28): decodes intra macroblocks (ipu/intra_decoder.h) until
//        the next 23 bits are zero (a start code, or the end of the input
//        once channel 4 has delivered all of it).  Options: FB (bits 0-5)
//        bits skipped first, QSC (16-20) the starting quantiser code, DTD
//        (24) a dct_type bit per macroblock, DTE (26) dither, OFM (27)
//        RGB16 instead of RGB32.
// A bad code or a macroblock cut off by the end of the input ends IDEC with
// ECD set in IPU_CTRL (and a warning): no further output comes, so a reader
// waiting on channel 3 can tell by IPU_CTRL (not busy, OFC 0).
//
// The decoder runs as a hardware unit between the two channels.  It works at
// most one macroblock ahead of what channel 3 has taken (the hardware's
// output FIFO is 8 quadwords), so an IDEC whose output nobody takes stays
// busy.  IPU_CTRL: IFC 0-3 and OFC 4-7 (quadwords, at most 8), ECD 14, SCD
// 15, IDP 16-17, AS 20, IVF 21, QST 22, MP1 23, RST 30 (write: reset FIFOs,
// bit pointer and command), BUSY 31.  IPU_CMD reads the result in bits 0-31
// and busy in bit 63.  BCLR, BDEC, VDEC, SETIQ, SETVQ, CSC, PACK and SETTH
// are not modelled and are refused with an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace console::ipu {

// IPU_CTRL bits.
constexpr uint32_t kCtrlEcd = 1u << 14;
constexpr uint32_t kCtrlScd = 1u << 15;
constexpr uint32_t kCtrlPictureBits = 0x07FF0000;  // IDP, AS, IVF, QST, MP1, PCT
constexpr uint32_t kCtrlRst = 1u << 30;
constexpr uint32_t kCtrlBusy = 1u << 31;

// IPU_CMD codes (bits 28-31).
constexpr uint32_t kCmdIdec = 0x1;
constexpr uint32_t kCmdFdec = 0x4;

// Counters for tests and traces.
struct Stats {
    // Each channel 3 transfer the IPU served, in quadwords, oldest first.
    std::vector<uint32_t> receives;
    uint64_t macroblocks = 0;    // macroblocks decoded by IDEC
    uint64_t idec_commands = 0;
    uint64_t fdec_commands = 0;
};
const Stats& GetStats();
void ClearStats();

// True while a command runs.
bool Busy();

// IPU_CTRL as the register reads.
uint32_t Ctrl();

// Quadwords decoded and not yet taken by channel 3.
size_t OutputQuadwords();

// Power-on state (also part of ResetScheduler): FIFOs empty, no command,
// control bits 0.  Statistics are kept.
void ResetIpu();

// The IPU's state for deadlock reports.
std::string StateText();

// Registers the registers, the channel peripherals and the hardware unit;
// idempotent.  sceIpuSync and a static initialiser call it.
void EnsureRegistered();

}  // namespace console::ipu
