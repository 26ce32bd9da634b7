// The VU1 machine: data and program memory, TOP/ITOP/TPC, microprogram runs
// started by VIF1, XGKICK to the GIF's PATH1, and the dump written with VU1
// errors.  A run is one call of a registered C++ function, which returns when
// the program would have reached its E bit; VIF1 reads its next code only
// after that, which is what FLUSHE and the double buffer guarantee on the
// console.
#include "vu/machine.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "gif/gif.h"
#include "vif/vif1.h"

namespace console::vu {
namespace {

vu1::Machine g_machine;

struct State {
    uint32_t tpc = vu1::kNoResume;
    bool running = false;
    Stats stats;
    std::string last_dump;
};

State& S()
{
    static State state;
    return state;
}

// Quadwords of one GIF tag's data: PACKED NLOOP x NREG, REGLIST the same in
// 64-bit halves rounded up, IMAGE (FLG 2 and 3) NLOOP.
uint32_t TagDataQuadwords(const u128& tag)
{
    const uint32_t nloop = static_cast<uint32_t>(tag.lo & 0x7FFF);
    const uint32_t flg = static_cast<uint32_t>(tag.lo >> 58) & 3;
    uint32_t nreg = static_cast<uint32_t>(tag.lo >> 60) & 15;
    if (nreg == 0)
        nreg = 16;
    switch (flg) {
    case 0: return nloop * nreg;
    case 1: return (nloop * nreg + 1) / 2;
    default: return nloop;
    }
}

void Run(const vu1::Entry& e, const char* how)
{
    State& s = S();
    if (s.running) {
        ReportError("a VU1 microprogram was started while another one runs");
        return;
    }
    ++s.stats.runs;
    s.stats.last_start = e.address;
    s.running = true;
    uint32_t next = e.fn(g_machine, 0);
    s.running = false;
    if (next != vu1::kNoResume && (next % 8 != 0 || next >= vu1::kProgramBytes)) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "VU1 routine %s returned 0x%08" PRIX32 " as the address to continue at, which is no "
                      "program address",
                      e.name, next);
        ReportError(message);
        next = vu1::kNoResume;
    }
    s.tpc = next;
    if (TraceOn("vu")) {
        if (next == vu1::kNoResume)
            Trace("vu", "VU1 %s %s (0x%04" PRIX32 ", TOP %" PRIu32 " ITOP %" PRIu32 ") ended", how, e.name, e.address,
                  g_machine.Top(), g_machine.Itop());
        else
            Trace("vu", "VU1 %s %s (0x%04" PRIX32 ", TOP %" PRIu32 " ITOP %" PRIu32 ") stopped, TPC 0x%04" PRIX32,
                  how, e.name, e.address, g_machine.Top(), g_machine.Itop(), next);
    }
}

void AppendLine(std::string& out, const char* fmt, ...) __attribute__((format(__printf__, 2, 3)));
void AppendLine(std::string& out, const char* fmt, ...)
{
    char line[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    out += line;
    out += '\n';
}

// Program memory as runs of consecutive slots of one image.
void AppendProgramMap(std::string& out)
{
    const uint64_t* prog = g_machine.Prog();
    uint32_t slot = 0;
    bool any = false;
    while (slot < vu1::kProgramInstructions) {
        const uint64_t v = prog[slot];
        if (v == 0) {
            ++slot;
            continue;
        }
        any = true;
        const uint32_t first = slot;
        if ((static_cast<uint32_t>(v) & 0xFFFF0000u) != vu1::kSlotMagic) {
            while (slot < vu1::kProgramInstructions && prog[slot] != 0 &&
                   (static_cast<uint32_t>(prog[slot]) & 0xFFFF0000u) != vu1::kSlotMagic)
                ++slot;
            AppendLine(out, "  0x%04" PRIX32 "-0x%04" PRIX32 ": not placeholder instructions", 8 * first,
                       8 * slot - 1);
            continue;
        }
        const uint16_t id = static_cast<uint16_t>(v & 0xFFFF);
        const uint32_t index = static_cast<uint32_t>(v >> 32);
        uint32_t expect = index;
        while (slot < vu1::kProgramInstructions && prog[slot] == vu1::Slot(id, expect)) {
            ++slot;
            ++expect;
        }
        const char* name = vu1::ProgramName(id);
        AppendLine(out, "  0x%04" PRIX32 "-0x%04" PRIX32 ": %s (id %u), instructions %" PRIu32 "..%" PRIu32,
                   8 * first, 8 * slot - 1, name ? name : "unregistered program", id, index, expect - 1);
    }
    if (!any)
        out += "  empty\n";
}

std::string StateText()
{
    const State& s = S();
    char line[200];
    std::snprintf(line, sizeof line, "VU1: TOP %" PRIu32 ", ITOP %" PRIu32 ", TPC %s0x%04" PRIX32 ", %" PRIu64
                  " runs, %" PRIu64 " XGKICKs\n",
                  g_machine.Top(), g_machine.Itop(), s.tpc == vu1::kNoResume ? "none " : "",
                  s.tpc == vu1::kNoResume ? 0u : s.tpc, s.stats.runs, s.stats.kicks);
    return line;
}

const bool g_registered = (RegisterResetHook("vu1", ResetVu1), RegisterStateReporter("vu1", StateText), true);

}  // namespace

void WriteInstruction(uint32_t index, uint64_t value)
{
    MachineAccess::Prog(g_machine)[index & (vu1::kProgramInstructions - 1)] = value;
}

void Mscal(uint32_t address, uint32_t top, uint32_t itop)
{
    (void)g_registered;
    MachineAccess::Latch(g_machine, top, itop);
    const vu1::Entry* e = LookupFor(address, "MSCAL");
    if (e == nullptr) {
        S().tpc = vu1::kNoResume;
        return;
    }
    Run(*e, "MSCAL");
}

void Mscnt(uint32_t top, uint32_t itop)
{
    MachineAccess::Latch(g_machine, top, itop);
    State& s = S();
    if (s.tpc == vu1::kNoResume) {
        ReportError("MSCNT: the last VU1 run ended without a point to continue at");
        return;
    }
    const vu1::Entry* e = LookupFor(s.tpc, "MSCNT");
    if (e == nullptr) {
        s.tpc = vu1::kNoResume;
        return;
    }
    Run(*e, "MSCNT");
}

uint32_t Tpc()
{
    return S().tpc;
}

const Stats& GetStats()
{
    return S().stats;
}

std::string DumpText()
{
    const State& s = S();
    const vif::Registers& r = vif::GetRegisters();
    std::string out;
    AppendLine(out, "VU1 dump: TOP %" PRIu32 ", ITOP %" PRIu32 ", TPC %s, last run started at 0x%04" PRIX32
               ", %" PRIu64 " runs",
               g_machine.Top(), g_machine.Itop(), s.tpc == vu1::kNoResume ? "none" : "set", s.stats.last_start,
               s.stats.runs);
    if (s.tpc != vu1::kNoResume)
        AppendLine(out, "  TPC 0x%04" PRIX32, s.tpc);
    AppendLine(out, "VIF1: BASE %" PRIu32 ", OFFSET %" PRIu32 ", TOPS %" PRIu32 ", ITOPS %" PRIu32 ", DBF %d, "
               "CYCLE 0x%04" PRIX32 ", MODE %" PRIu32 ", MASK 0x%08" PRIX32,
               r.base, r.ofst, r.tops, r.itops, r.dbf ? 1 : 0, r.cycle, r.mode, r.mask);
    out += "program memory:\n";
    AppendProgramMap(out);
    out += "data memory (zero quadwords left out):\n";
    for (uint32_t a = 0; a < vu1::kDataQuadwords; ++a) {
        const uint32_t* w = g_machine.I(a);
        if ((w[0] | w[1] | w[2] | w[3]) == 0)
            continue;
        const float* f = g_machine.F(a);
        AppendLine(out, "  %4" PRIu32 ": %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 "  (%g %g %g %g)", a,
                   w[0], w[1], w[2], w[3], static_cast<double>(f[0]), static_cast<double>(f[1]),
                   static_cast<double>(f[2]), static_cast<double>(f[3]));
    }
    return out;
}

const std::string& LastDump()
{
    return S().last_dump;
}

void ReportError(const char* message)
{
    State& s = S();
    s.last_dump = DumpText();
    ++s.stats.dumps;
    const std::string path = GetString("vu1-dump");
    bool written = false;
    if (!path.empty()) {
        if (std::FILE* f = std::fopen(path.c_str(), "a")) {
            std::fputs(s.last_dump.c_str(), f);
            std::fputs("\n", f);
            written = std::fclose(f) == 0;
        }
    }
    if (!written)
        std::fputs(s.last_dump.c_str(), stderr);
    Diag(Level::kError, "vu", "%s%s%s", message, written ? " (VU1 dump appended to " : "",
         written ? (path + ")").c_str() : "");
}

void OnVif1Reset()
{
    std::memset(g_machine.user, 0, sizeof g_machine.user);
}

void ResetVu1()
{
    std::memset(g_machine.mem, 0, sizeof g_machine.mem);
    std::memset(g_machine.user, 0, sizeof g_machine.user);
    std::memset(MachineAccess::Prog(g_machine), 0, vu1::kProgramBytes);
    MachineAccess::Latch(g_machine, 0, 0);
    S() = State{};
}

}  // namespace console::vu

namespace vu1 {

Machine& Vu1()
{
    return console::vu::g_machine;
}

void Machine::Xgkick(u32 qaddr)
{
    using namespace console;
    const uint32_t start = qaddr & (kDataQuadwords - 1);
    // Walk the tags to the one with EOP; a packet longer than data memory
    // would wrap onto itself.
    uint32_t total = 0;
    for (;;) {
        if (total >= kDataQuadwords) {
            char message[160];
            std::snprintf(message, sizeof message,
                          "XGKICK at %" PRIu32 ": no tag with EOP within 1,024 quadwords; nothing was sent", start);
            vu::ReportError(message);
            return;
        }
        const u128& tag = Q(start + total);
        total += 1 + vu::TagDataQuadwords(tag);
        if ((tag.lo >> 15) & 1)
            break;
    }
    if (total > kDataQuadwords) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "XGKICK at %" PRIu32 ": the packet is %" PRIu32 " quadwords, more than data memory holds",
                      start, total);
        vu::ReportError(message);
        return;
    }
    vu::State& s = vu::S();
    ++s.stats.kicks;
    s.stats.kicked_qwc += total;
    if (TraceOn("vu"))
        Trace("vu", "VU1 XGKICK %" PRIu32 ": %" PRIu32 " quadwords", start, total);
    const uint32_t first = std::min(total, kDataQuadwords - start);
    gif::Feed(gif::Path::kPath1, &mem[start], first);
    if (total > first)
        gif::Feed(gif::Path::kPath1, &mem[0], total - first);
}

}  // namespace vu1
