// The VU1 machine's stand-in side: what VIF1 drives (program memory writes,
// microprogram starts) and what tests and reports read.  The microcode's side
// is <vu/vu1.h>.
#pragma once

#include <cstdint>
#include <string>

#include <vu/vu1.h>

namespace console::vu {

// Writes one program memory slot (MPG data); `index` wraps at 2,048.
void WriteInstruction(uint32_t index, uint64_t value);

// MSCAL/MSCALF: latches TOP and ITOP, then runs the entry at byte address
// `address` to its end and keeps the address it returns for MSCNT.
void Mscal(uint32_t address, uint32_t top, uint32_t itop);
// MSCNT: latches TOP and ITOP and continues at the address the last run
// returned.  An error diagnostic when that run left nothing to continue.
void Mscnt(uint32_t top, uint32_t itop);

// Where MSCNT would continue (vu1::kNoResume when nothing is left).
uint32_t Tpc();

// Counters for traces and tests.
struct Stats {
    uint64_t runs = 0;         // microprogram runs started by MSCAL or MSCNT
    uint64_t kicks = 0;        // XGKICKs
    uint64_t kicked_qwc = 0;   // quadwords sent through PATH1
    uint32_t last_start = 0;   // byte address of the last run's entry
    uint64_t dumps = 0;        // VU1 dumps written on errors
};
const Stats& GetStats();

// VU1's registers and the non-zero parts of its data memory, as written with
// a dispatch error; the last such dump (empty before the first).
std::string DumpText();
const std::string& LastDump();

// Reports a VU1 error: the dump goes to the file named by --vu1-dump (or to
// standard error), then the error diagnostic with `message`.
void ReportError(const char* message);

// VIF1 reset: the microcode's user area is cleared; memories stay.
void OnVif1Reset();

// Power-on state: memories, registers, user area and counters zeroed.
void ResetVu1();

// Registry internals the machine uses.
const vu1::Entry* LookupFor(uint32_t vu_address, const char* what);
// A line describing what program memory holds around `vu_address`.
std::string DescribeResident(uint32_t vu_address);

// Gives the stand-in write access to the machine's private registers.
struct MachineAccess {
    static uint64_t* Prog(vu1::Machine& m) { return m.prog_; }
    static void Latch(vu1::Machine& m, uint32_t top, uint32_t itop)
    {
        m.top_ = top;
        m.itop_ = itop;
    }
};

}  // namespace console::vu
