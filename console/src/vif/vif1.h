// VIF1: the decoder between DMA channel 1 and VU1/the GIF.  It reads a stream
// of 32-bit VIF codes and their data: tag upper halves (with CHCR.TTE) and
// the data quadwords of channel 1.  DIRECT/DIRECTHL blocks go to the GIF as
// PATH2; MARK, STCYCL, OFFSET, BASE, ITOP, STMOD, STMASK, STROW and STCOL set
// the registers; UNPACK writes VU1 data memory through the unpack engine
// (vif/unpack.h); MPG writes VU1 program memory; MSCAL, MSCALF and MSCNT run
// a VU1 microprogram to its end (vu/machine.h) with the double-buffer update
//     TOP <- TOPS, ITOP <- ITOPS, DBF toggles, TOPS <- BASE + (DBF ? OFFSET : 0)
// and OFFSET clears DBF and sets TOPS = BASE.  The FLUSH family is satisfied
// by construction (every path and the microprogram finish their work before
// VIF1 reads on).  A code with the interrupt bit raises INTC cause 5 once it
// has executed (after its data) and VIF1 stalls before the next code until
// VIF1_FBRST STC.  VIF1_STAT, VIF1_FBRST, VIF1_ERR and VIF1_MARK are owned
// here.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace console::vif {

// VIF1_STAT bits.
constexpr uint32_t kStatVpsMask = 0x3;      // 0 idle, 1 waiting for data
constexpr uint32_t kStatVpsWaiting = 0x1;
constexpr uint32_t kStatMrk = 1u << 6;      // MARK executed since the last VIF1_MARK write
constexpr uint32_t kStatDbf = 1u << 7;      // double buffer flag
constexpr uint32_t kStatVis = 1u << 10;     // stalled after an interrupt bit
constexpr uint32_t kStatInt = 1u << 11;     // interrupt bit seen
constexpr uint32_t kStatEr1 = 1u << 13;     // an undefined VIF code was seen
constexpr int kStatFqcShift = 24;

// VIF1_FBRST bits.
constexpr uint32_t kFbrstRst = 1u << 0;
constexpr uint32_t kFbrstFbk = 1u << 1;
constexpr uint32_t kFbrstStp = 1u << 2;
constexpr uint32_t kFbrstStc = 1u << 3;

// The registers the codes write.
struct Registers {
    uint32_t cycle = 0;  // STCYCL: CL bits 0-7, WL bits 8-15
    uint32_t mode = 0;   // STMOD
    uint32_t mask = 0;   // STMASK
    std::array<uint32_t, 4> row{};  // STROW
    std::array<uint32_t, 4> col{};  // STCOL
    uint32_t base = 0;
    uint32_t ofst = 0;
    uint32_t tops = 0;
    uint32_t itops = 0;
    uint32_t top = 0;   // TOPS latched by the last MSCAL/MSCNT
    uint32_t itop = 0;  // ITOPS latched by the last MSCAL/MSCNT
    uint32_t mark = 0;
    uint32_t err = 0;  // VIF1_ERR, stored only
    bool dbf = false;
};
const Registers& GetRegisters();

// Codes that reach VU1, counted for traces and tests.
struct Counters {
    uint32_t mscal = 0;   // MSCAL and MSCALF
    uint32_t mscnt = 0;
    uint32_t mpg = 0;
    uint32_t unpack = 0;
    uint32_t last_mscal_address = 0;  // in bytes (immediate x 8)
    uint32_t last_mpg_address = 0;    // in bytes
    uint32_t last_unpack_code = 0;
};
const Counters& GetCounters();

// VIF1_STAT as the register reads.
uint32_t Stat();

// True while VIF1 is stalled by an interrupt bit (until STC).
bool StalledOnInterrupt();

// True when VIF1 has nothing in hand: no stall, no code waiting for its data,
// no words held back.
bool Idle();

// One line for deadlock reports.
std::string StateText();

// VIF1_FBRST RST and power-on: registers, code state, held words and stall
// flags cleared.
void ResetVif1();

// Attaches VIF1 to channel 1 and installs its register owners, hardware unit,
// reporter and reset hook.  Idempotent; runs before main.
void EnsureRegistered();

}  // namespace console::vif
