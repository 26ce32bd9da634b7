#include "vif/vif1.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "core/instance.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "ee/intc.h"
#include "ee/regs_internal.h"
#include "gif/gif.h"
#include "vif/unpack.h"
#include "vu/machine.h"

namespace console::vif {
namespace {

// Command numbers (bits 24-30 of a code).
enum Cmd : uint32_t {
    kNop = 0x00,
    kStcycl = 0x01,
    kOffset = 0x02,
    kBase = 0x03,
    kItop = 0x04,
    kStmod = 0x05,
    kMskpath3 = 0x06,
    kMark = 0x07,
    kFlushe = 0x10,
    kFlush = 0x11,
    kFlusha = 0x13,
    kMscal = 0x14,
    kMscalf = 0x15,
    kMscnt = 0x17,
    kStmask = 0x20,
    kStrow = 0x30,
    kStcol = 0x31,
    kMpg = 0x4A,
    kDirect = 0x50,
    kDirecthl = 0x51,
    kUnpackFirst = 0x60,
};

constexpr uint32_t kInterruptBit = 0x80000000u;
constexpr uint32_t kVuAddressMask = 0x3FF;

// What the next word of the stream is.  kCode: a VIF code.  kWords: data
// words of the code in hand (STMASK, STROW, STCOL).  kUnpack: UNPACK data,
// gathered until complete.  kMpg: instruction words for program memory.
// kDirect: quadwords for the GIF.  kAlign: words skipped up to the quadword
// boundary where a DIRECT block's data starts.
enum class Mode : uint8_t { kCode, kWords, kUnpack, kMpg, kDirect, kAlign };

struct State {
    Registers regs;
    Counters counters;
    Mode mode = Mode::kCode;
    uint32_t code = 0;         // the code whose data is being read
    uint32_t words_left = 0;   // kWords
    uint32_t word_index = 0;   // kWords: index of the next data word
    uint32_t direct_left = 0;  // kDirect, kAlign: quadwords still to pass on
    uint32_t direct_words[4] = {};
    std::vector<uint32_t> unpack_words;  // kUnpack: the data received so far
    unsigned unpack_first_pos = 0;       // position of its first word in its quadword
    uint32_t mpg_index = 0;              // kMpg: next program memory slot
    uint32_t mpg_low = 0;                // kMpg: low half of the slot being read
    bool irq_after_data = false;
    unsigned word_pos = 0;     // position of the next word within its quadword
    std::deque<uint32_t> held;  // received while stalled, processed first on resume
    bool stalled = false;      // VIS
    bool int_seen = false;     // INT
    bool mrk = false;
    bool er1 = false;
    bool warned_wl0 = false;
    uint64_t codes = 0;
};

Instance<State> g_state;

State& S()
{
    return g_state.Get();
}

uint32_t CmdOf(uint32_t code)
{
    return (code >> 24) & 0x7F;
}

const char* CmdName(uint32_t cmd)
{
    switch (cmd) {
    case kNop: return "NOP";
    case kStcycl: return "STCYCL";
    case kOffset: return "OFFSET";
    case kBase: return "BASE";
    case kItop: return "ITOP";
    case kStmod: return "STMOD";
    case kMskpath3: return "MSKPATH3";
    case kMark: return "MARK";
    case kFlushe: return "FLUSHE";
    case kFlush: return "FLUSH";
    case kFlusha: return "FLUSHA";
    case kMscal: return "MSCAL";
    case kMscalf: return "MSCALF";
    case kMscnt: return "MSCNT";
    case kStmask: return "STMASK";
    case kStrow: return "STROW";
    case kStcol: return "STCOL";
    case kMpg: return "MPG";
    case kDirect: return "DIRECT";
    case kDirecthl: return "DIRECTHL";
    default: return cmd >= kUnpackFirst ? "UNPACK" : "undefined";
    }
}

void Interrupt()
{
    State& s = S();
    s.stalled = true;
    s.int_seen = true;
    if (TraceOn("vif"))
        Trace("vif", "VIF1 interrupt bit: cause 5 raised, stalled until STC (MARK 0x%04" PRIX32 ")", s.regs.mark);
    RaiseIntc(kIntcVif1);
}

void FinishCommand()
{
    State& s = S();
    const bool irq = s.irq_after_data;
    s.mode = Mode::kCode;
    s.code = 0;
    s.irq_after_data = false;
    if (irq)
        Interrupt();
}

void BeginWords(uint32_t code, uint32_t words, Mode mode = Mode::kWords)
{
    State& s = S();
    if (words == 0)
        return;
    s.mode = mode;
    s.code = code;
    s.words_left = words;
    s.word_index = 0;
}

// MSCAL, MSCALF and MSCNT: the double-buffer update, then the microprogram
// runs to its end before the next code is read.
void StartMicroprogram(uint32_t cmd, uint32_t address)
{
    Registers& r = S().regs;
    r.top = r.tops;
    r.itop = r.itops;
    r.dbf = !r.dbf;
    r.tops = (r.base + (r.dbf ? r.ofst : 0)) & kVuAddressMask;
    if (cmd == kMscnt)
        vu::Mscnt(r.top, r.itop);
    else
        vu::Mscal(address, r.top, r.itop);
}

void FinishUnpack()
{
    State& s = S();
    Unpack(s.code, s.unpack_words.data(), s.unpack_words.size(), s.unpack_first_pos, s.regs.tops, s.regs,
               vu1::Vu1().mem);
    FinishCommand();
}

void BeginUnpack(uint32_t code)
{
    State& s = S();
    Registers& r = s.regs;
    ++s.counters.unpack;
    s.counters.last_unpack_code = code;
    if (!UnpackFormatDefined(code)) {
        s.er1 = true;
        Diag(Level::kError, "vif", "VIF1: UNPACK 0x%08" PRIX32 " has no defined format; its data is skipped", code);
    }
    if (((r.cycle >> 8) & 0xFF) == 0 && !s.warned_wl0) {
        s.warned_wl0 = true;
        Diag(Level::kWarning, "vif",
             "VIF1: UNPACK 0x%08" PRIX32 " with write cycle length 0 (CYCLE 0x%04" PRIX32
             "): every vector written in turn", code, r.cycle);
    }
    const uint32_t words = UnpackDataWords(code, r.cycle);
    if (TraceOn("vif")) {
        uint32_t num = (code >> 16) & 0xFF;
        Trace("vif", "VIF1 UNPACK %s%s%s NUM %" PRIu32 " to %" PRIu32 "%s, %" PRIu32 " data words",
              UnpackFormatName(code), (code & 0x10000000) ? " masked" : "", (code & 0x4000) ? " unsigned" : "",
              num == 0 ? 256 : num, code & kVuAddressMask, (code & 0x8000) ? " + TOPS" : "", words);
    }
    s.unpack_words.clear();
    s.unpack_first_pos = s.word_pos;
    s.code = code;
    if (words == 0) {
        FinishUnpack();  // only filled vectors: nothing to wait for
        return;
    }
    s.unpack_words.reserve(words);
    BeginWords(code, words, Mode::kUnpack);
}

void BeginMpg(uint32_t code, uint32_t num, uint32_t imm)
{
    State& s = S();
    ++s.counters.mpg;
    s.counters.last_mpg_address = imm * 8;
    if (s.word_pos & 1)
        Diag(Level::kWarning, "vif", "VIF1: MPG 0x%08" PRIX32 " whose instructions do not start on a 64-bit boundary",
             code);
    s.mpg_index = imm;
    if (TraceOn("vif"))
        Trace("vif", "VIF1 MPG %" PRIu32 " instructions to 0x%04" PRIX32, num == 0 ? 256 : num, (imm * 8) & 0x3FFF);
    BeginWords(code, 2 * (num == 0 ? 256 : num), Mode::kMpg);
}

void PassDirect(const u128* data, size_t qwc)
{
    State& s = S();
    gif::Feed(gif::Path::kPath2, data, qwc);
    s.direct_left -= static_cast<uint32_t>(qwc);
    if (s.direct_left == 0)
        FinishCommand();
}

// FLUSHE, FLUSH and FLUSHA wait for VU1 and the GIF paths.  Everything a
// path was given has already reached the GS, so the waits are satisfied; a
// packet still open on a path the flush waits for can never finish from
// there and is worth a warning.
void Flush(uint32_t cmd)
{
    const bool path1 = gif::PacketOpen(gif::Path::kPath1);
    const bool path2 = gif::PacketOpen(gif::Path::kPath2);
    const bool path3 = gif::PacketOpen(gif::Path::kPath3);
    if (cmd != kFlushe && (path1 || path2 || (cmd == kFlusha && path3)))
        Diag(Level::kWarning, "vif", "VIF1 %s with an unfinished GIF packet on PATH%d", CmdName(cmd),
             path1 ? 1 : (path2 ? 2 : 3));
}

void Execute(uint32_t code)
{
    State& s = S();
    ++s.codes;
    const uint32_t cmd = CmdOf(code);
    const uint32_t num = (code >> 16) & 0xFF;
    const uint32_t imm = code & 0xFFFF;
    const bool irq = (code & kInterruptBit) != 0;
    if (TraceOn("vif"))
        Trace("vif", "VIF1 %08" PRIX32 " %s%s", code, CmdName(cmd), irq ? " +I" : "");

    Registers& r = s.regs;
    switch (cmd) {
    case kNop:
        break;
    case kStcycl:
        r.cycle = imm;
        break;
    case kOffset:
        r.ofst = imm & kVuAddressMask;
        r.dbf = false;
        r.tops = r.base;
        break;
    case kBase:
        r.base = imm & kVuAddressMask;
        break;
    case kItop:
        r.itops = imm & kVuAddressMask;
        break;
    case kStmod:
        r.mode = imm & 3;
        if (r.mode == 3)
            Diag(Level::kWarning, "vif", "VIF1 STMOD 3 is undefined: UNPACKs add nothing");
        break;
    case kMskpath3:
        Diag(Level::kWarning, "vif", "VIF1 MSKPATH3 0x%08" PRIX32 " is not modelled: PATH3 stays open", code);
        break;
    case kMark:
        r.mark = imm;
        s.mrk = true;
        break;
    case kFlushe:
    case kFlush:
    case kFlusha:
        Flush(cmd);
        break;
    case kMscal:
    case kMscalf:
        ++s.counters.mscal;
        s.counters.last_mscal_address = imm * 8;
        StartMicroprogram(cmd, imm * 8);
        break;
    case kMscnt:
        ++s.counters.mscnt;
        StartMicroprogram(cmd, 0);
        break;
    case kStmask:
        BeginWords(code, 1);
        break;
    case kStrow:
    case kStcol:
        BeginWords(code, 4);
        break;
    case kMpg:
        BeginMpg(code, num, imm);
        break;
    case kDirect:
    case kDirecthl:
        // The data starts at the next quadword boundary (word_pos is already
        // the position after the code); DIRECT 0 means 65,536.
        s.code = code;
        s.direct_left = imm == 0 ? 0x10000 : imm;
        s.mode = s.word_pos == 0 ? Mode::kDirect : Mode::kAlign;
        break;
    default:
        if (cmd >= kUnpackFirst) {
            BeginUnpack(code);
            break;
        }
        s.er1 = true;
        Diag(Level::kError, "vif", "VIF1: undefined VIF code 0x%08" PRIX32 " (command 0x%02" PRIX32 ") skipped", code,
             cmd);
        break;
    }
    if (!irq)
        return;
    if (s.mode == Mode::kCode)
        Interrupt();
    else
        s.irq_after_data = true;
}

void DataWord(uint32_t w)
{
    State& s = S();
    switch (CmdOf(s.code)) {
    case kStmask: s.regs.mask = w; break;
    case kStrow: s.regs.row[s.word_index] = w; break;
    case kStcol: s.regs.col[s.word_index] = w; break;
    default: break;
    }
    ++s.word_index;
    if (--s.words_left == 0)
        FinishCommand();
}

void UnpackWord(uint32_t w)
{
    State& s = S();
    s.unpack_words.push_back(w);
    if (--s.words_left == 0)
        FinishUnpack();
}

void MpgWord(uint32_t w)
{
    State& s = S();
    if ((s.word_index & 1) == 0)
        s.mpg_low = w;
    else
        vu::WriteInstruction(s.mpg_index++, uint64_t{s.mpg_low} | uint64_t{w} << 32);
    ++s.word_index;
    if (--s.words_left == 0)
        FinishCommand();
}

// Whole quadwords of UNPACK or MPG data at once (the bulk of channel 1's
// traffic); returns the quadwords taken.
size_t BulkData(const u128* data, size_t count)
{
    State& s = S();
    const size_t n = std::min<size_t>(count, s.words_left / 4);
    if (s.mode == Mode::kUnpack) {
        const size_t old = s.unpack_words.size();
        s.unpack_words.resize(old + 4 * n);
        std::memcpy(s.unpack_words.data() + old, data, 16 * n);
    } else {
        for (size_t i = 0; i < n; ++i) {
            vu::WriteInstruction(s.mpg_index++, data[i].lo);
            vu::WriteInstruction(s.mpg_index++, data[i].hi);
        }
        s.word_index += static_cast<uint32_t>(4 * n);
    }
    s.words_left -= static_cast<uint32_t>(4 * n);
    if (s.words_left == 0) {
        if (s.mode == Mode::kUnpack)
            FinishUnpack();
        else
            FinishCommand();
    }
    return n;
}

void ProcessWord(uint32_t w)
{
    State& s = S();
    const unsigned pos = s.word_pos;
    s.word_pos = (pos + 1) & 3;
    switch (s.mode) {
    case Mode::kCode:
        // Execute sees the position after the code (DIRECT alignment).
        Execute(w);
        break;
    case Mode::kWords:
        DataWord(w);
        break;
    case Mode::kUnpack:
        UnpackWord(w);
        break;
    case Mode::kMpg:
        MpgWord(w);
        break;
    case Mode::kAlign:
        if (w != 0)
            Diag(Level::kWarning, "vif", "VIF1: word 0x%08" PRIX32 " between a DIRECT code and its quadword-aligned "
                 "data is skipped", w);
        if (pos == 3)
            s.mode = Mode::kDirect;
        break;
    case Mode::kDirect:
        s.direct_words[pos] = w;
        if (pos == 3) {
            const u128 q{uint64_t{s.direct_words[0]} | uint64_t{s.direct_words[1]} << 32,
                         uint64_t{s.direct_words[2]} | uint64_t{s.direct_words[3]} << 32};
            PassDirect(&q, 1);
        }
        break;
    }
}

// Processes the words held back by a stall; false while VIF1 is still
// stalled.
bool DrainHeld()
{
    State& s = S();
    while (!s.held.empty()) {
        if (s.stalled)
            return false;
        const uint32_t w = s.held.front();
        s.held.pop_front();
        ProcessWord(w);
    }
    return !s.stalled;
}

// Channel 1's peripheral.
class Vif1Port final : public dmac::Peripheral {
public:
    const char* Name() const override { return "VIF1"; }

    // The tag's two words sit where words 2 and 3 of the tag's quadword would
    // be, so the data after them starts on a quadword boundary.
    bool AcceptTag(uint64_t upper) override
    {
        State& s = S();
        if (!DrainHeld())
            return false;
        const uint32_t words[2] = {static_cast<uint32_t>(upper), static_cast<uint32_t>(upper >> 32)};
        if (s.mode != Mode::kCode) {
            // A block's data continues in this tag's data; the tag's own
            // words do not belong to it.
            if (words[0] != 0 || words[1] != 0)
                Diag(Level::kError, "vif",
                     "VIF1: DMA tag codes 0x%08" PRIX32 " 0x%08" PRIX32 " arrive while %s 0x%08" PRIX32
                     " still expects data; they are skipped",
                     words[0], words[1], CmdName(CmdOf(s.code)), s.code);
            s.word_pos = 0;
            return true;
        }
        s.word_pos = 2;
        for (uint32_t w : words) {
            if (s.stalled)
                s.held.push_back(w);
            else
                ProcessWord(w);
        }
        return true;
    }

    size_t Accept(const u128* data, size_t count) override
    {
        State& s = S();
        if (!DrainHeld())
            return 0;
        size_t i = 0;
        while (i < count && !s.stalled) {
            if (s.mode == Mode::kDirect && s.word_pos == 0) {
                const size_t n = std::min<size_t>(count - i, s.direct_left);
                PassDirect(data + i, n);
                i += n;
                continue;
            }
            if (s.word_pos == 0 && s.words_left >= 4 &&
                (s.mode == Mode::kUnpack || (s.mode == Mode::kMpg && (s.word_index & 1) == 0))) {
                i += BulkData(data + i, count - i);
                continue;
            }
            const u128& q = data[i++];
            const uint32_t words[4] = {static_cast<uint32_t>(q.lo), static_cast<uint32_t>(q.lo >> 32),
                                       static_cast<uint32_t>(q.hi), static_cast<uint32_t>(q.hi >> 32)};
            for (uint32_t w : words) {
                if (s.stalled)
                    s.held.push_back(w);
                else
                    ProcessWord(w);
            }
        }
        return i;
    }
};

Vif1Port g_port;

// Nothing held, or held behind a stall that only a register write ends.
bool HeldIdle()
{
    const State& s = S();
    return s.held.empty() || s.stalled;
}

// Words held back by a stall are processed as soon as STC has released it,
// even when channel 1 has nothing more to send.
bool RunHeld()
{
    State& s = S();
    if (s.held.empty() || s.stalled)
        return false;
    DrainHeld();
    return true;
}

void WriteFbrst(uint64_t value)
{
    const uint32_t v = static_cast<uint32_t>(value);
    State& s = S();
    if (v & kFbrstRst) {
        if (TraceOn("vif"))
            Trace("vif", "VIF1_FBRST reset");
        ResetVif1();
    }
    if (v & (kFbrstFbk | kFbrstStp))
        Diag(Level::kWarning, "vif", "VIF1_FBRST 0x%" PRIX32 ": force break and stop are not modelled", v);
    if (v & kFbrstStc) {
        if (TraceOn("vif") && s.stalled)
            Trace("vif", "VIF1_FBRST STC: stall cancelled");
        s.stalled = false;
        s.int_seen = false;
        s.er1 = false;
        HardwareMayHaveWork();
    }
}

void InstallRegisterOwners()
{
    SetRegisterOwner(
        EeReg::kVif1Stat, "vif1", [] { return uint64_t{Stat()}; },
        [](uint64_t) { Diag(Level::kWarning, "vif", "VIF1_STAT is read-only here; the write is ignored"); });
    SetRegisterOwner(
        EeReg::kVif1Fbrst, "vif1", [] { return uint64_t{0}; }, WriteFbrst);
    SetRegisterOwner(
        EeReg::kVif1Err, "vif1", [] { return uint64_t{S().regs.err}; },
        [](uint64_t v) { S().regs.err = static_cast<uint32_t>(v) & 7; });
    SetRegisterOwner(
        EeReg::kVif1Mark, "vif1", [] { return uint64_t{S().regs.mark}; },
        [](uint64_t v) {
            S().regs.mark = static_cast<uint32_t>(v) & 0xFFFF;
            S().mrk = false;
        });
}

const bool g_registered = (EnsureRegistered(), true);

}  // namespace

const Registers& GetRegisters()
{
    return S().regs;
}

const Counters& GetCounters()
{
    return S().counters;
}

uint32_t Stat()
{
    const State& s = S();
    uint32_t stat = 0;
    if (s.mode != Mode::kCode)
        stat |= kStatVpsWaiting;
    if (s.mrk)
        stat |= kStatMrk;
    if (s.regs.dbf)
        stat |= kStatDbf;
    if (s.stalled)
        stat |= kStatVis;
    if (s.int_seen)
        stat |= kStatInt;
    if (s.er1)
        stat |= kStatEr1;
    if (!s.held.empty())
        stat |= 1u << kStatFqcShift;
    return stat;
}

bool StalledOnInterrupt()
{
    return S().stalled;
}

bool Idle()
{
    const State& s = S();
    return !s.stalled && s.mode == Mode::kCode && s.held.empty();
}

std::string StateText()
{
    const State& s = S();
    char line[256];
    const char* mode = "between codes";
    switch (s.mode) {
    case Mode::kCode: break;
    case Mode::kWords: mode = "reading data words"; break;
    case Mode::kUnpack: mode = "reading UNPACK data"; break;
    case Mode::kMpg: mode = "reading MPG instructions"; break;
    case Mode::kDirect:
    case Mode::kAlign: mode = "passing DIRECT data to PATH2"; break;
    }
    std::snprintf(line, sizeof line,
                  "VIF1: %s%s, code 0x%08" PRIX32 ", %zu words held, MARK 0x%04" PRIX32 ", STAT 0x%08" PRIX32
                  "%s, %" PRIu64 " codes\n",
                  s.stalled ? "stalled by an interrupt bit (waiting for VIF1_FBRST STC), " : "", mode, s.code,
                  s.held.size(), s.regs.mark, Stat(),
                  s.stalled && !(IntcMask() & (1u << kIntcVif1)) ? ", INTC cause 5 masked" : "", s.codes);
    return line;
}

void ResetVif1()
{
    S() = State{};
    vu::OnVif1Reset();
}

void EnsureRegistered()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    (void)g_registered;
    InstallRegisterOwners();
    dmac::SetPeripheral(1, &g_port);
    RegisterHardware("vif1 held words", dmac::kUnitOrderVif1 + 1, RunHeld, HeldIdle);
    RegisterStateReporter("vif1", StateText);
    RegisterResetHook("vif1", ResetVif1);
}

}  // namespace console::vif
