#include "ipu/ipu.h"

#include <ee/ipu.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <deque>

#include "core/instance.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "ee/regs_internal.h"
#include "ipu/intra_decoder.h"

namespace console::ipu {
namespace {

// The hardware's output FIFO: the decoder does not start a macroblock while
// this much output waits for channel 3.
constexpr size_t kOutputFifoQuadwords = 8;
constexpr size_t kInputFifoQuadwords = 8;
constexpr int kUnitOrder = (dmac::kUnitOrderToIpu + dmac::kUnitOrderFromIpu) / 2;

struct State {
    std::vector<u8> input;  // bytes delivered by channel 4 and not yet dropped
    size_t bit = 0;         // read position in `input`, in bits
    std::deque<u128> output;

    uint32_t control = 0;  // the picture bits of IPU_CTRL
    bool ecd = false;
    bool scd = false;
    uint32_t cbp = 0;

    uint32_t command = 0;  // the last command word
    bool busy = false;
    uint32_t result = 0;

    // IDEC in progress.
    PictureControl picture;
    SliceState slice;
    bool dct_type = false;
    bool dither = false;
    bool rgb16 = false;
    uint64_t decoded = 0;  // macroblocks of this IDEC

    // Channel 3 transfer being served (for the statistics).
    bool in_receive = false;
    const u128* next_out = nullptr;
};

Instance<State> g_state;

State& S()
{
    return g_state.Get();
}

Stats& MutableStats()
{
    static Stats stats;
    return stats;
}

uint32_t Code(uint32_t command)
{
    return command >> 28;
}

const char* CommandName(uint32_t code)
{
    static const char* const kNames[16] = {"BCLR", "IDEC",  "BDEC", "VDEC", "FDEC", "SETIQ", "SETVQ", "CSC",
                                           "PACK", "SETTH", "?",    "?",    "?",    "?",     "?",     "?"};
    return kNames[code & 15];
}

// Channel 4 has delivered everything it was asked for.
bool InputComplete()
{
    return !dmac::ChannelBusy(4);
}

size_t BitsAvailable(const State& s)
{
    const size_t total = s.input.size() * 8;
    return s.bit < total ? total - s.bit : 0;
}

// Drops consumed input once it is large, so a long stream does not keep
// every byte it ever held.
void Compact(State& s)
{
    const size_t consumed = std::min(s.bit / 8, s.input.size());
    if (consumed < 65536 || consumed < s.input.size() / 2)
        return;
    s.input.erase(s.input.begin(), s.input.begin() + static_cast<std::ptrdiff_t>(consumed));
    s.bit -= consumed * 8;
}

void Finish(State& s)
{
    s.busy = false;
    Compact(s);
}

bool RunFdec(State& s)
{
    const size_t skip = s.command & 63;
    if (BitsAvailable(s) < skip + 32 && !InputComplete())
        return false;
    BitReader reader(s.input, s.bit);
    reader.Skip(static_cast<int>(skip));
    // Past the end of a finished input the missing bits read as zero.
    s.result = reader.Peek(32);
    s.bit = reader.Position();
    if (TraceOn("ipu"))
        Trace("ipu", "FDEC %zu: 0x%08" PRIX32, skip, s.result);
    Finish(s);
    return true;
}

void PushMacroblock(State& s, const MacroblockSamples& mb)
{
    alignas(16) u8 bytes[kRgb32MacroblockBytes];
    size_t n;
    if (s.rgb16) {
        ConvertRgb16(mb, s.dither, bytes);
        n = kRgb16MacroblockBytes;
    } else {
        ConvertRgb32(mb, bytes);
        n = kRgb32MacroblockBytes;
    }
    for (size_t i = 0; i < n; i += 16) {
        u128 q;
        std::memcpy(&q, bytes + i, 16);
        s.output.push_back(q);
    }
    s.cbp = 0x3F;  // intra macroblocks code all six blocks
    ++s.decoded;
    ++MutableStats().macroblocks;
}

// Decodes one macroblock or ends the command.  False when it must wait for
// more input.
bool StepIdec(State& s)
{
    const bool complete = InputComplete();
    const size_t available = BitsAvailable(s);
    BitReader reader(s.input, s.bit);
    // 23 zero bits end the slice: a start code, or the end of the input.
    if (available < 23 && !complete)
        return false;
    if (reader.Peek(23) == 0) {
        if (available >= 23)
            s.scd = true;
        if (TraceOn("ipu"))
            Trace("ipu", "IDEC ends at bit %zu (%s)", s.bit, available >= 23 ? "start code" : "end of input");
        Finish(s);
        return true;
    }
    MacroblockSamples mb;
    const DecodeResult r = DecodeIntraMacroblock(reader, s.picture, s.dct_type, s.slice, mb);
    if (r.status == DecodeStatus::kOverrun && !complete)
        return false;
    if (r.status != DecodeStatus::kOk) {
        s.ecd = true;
        Diag(Level::kWarning, "ipu", "IDEC: %s at bit %zu of the input after %" PRIu64 " macroblocks: %s; decoding stops",
             r.status == DecodeStatus::kOverrun ? "the stream ends inside a macroblock" : "no valid code", s.bit,
             s.decoded, r.what);
        Finish(s);
        return true;
    }
    s.bit = reader.Position();
    PushMacroblock(s, mb);
    return true;
}

bool RunIdec(State& s)
{
    bool progress = false;
    while (s.busy && s.output.size() < kOutputFifoQuadwords) {
        if (!StepIdec(s))
            break;
        progress = true;
    }
    return progress;
}

// The hardware unit: advances the running command as far as input and
// output allow.
bool UnitIdle()
{
    return !S().busy;
}

bool RunUnit()
{
    State& s = S();
    if (!s.busy)
        return false;
    return Code(s.command) == kCmdFdec ? RunFdec(s) : RunIdec(s);
}

void WriteCommand(uint64_t value)
{
    State& s = S();
    const uint32_t v = static_cast<uint32_t>(value);
    if (s.busy) {
        Diag(Level::kError, "ipu", "IPU_CMD 0x%08" PRIX32 " written while %s (0x%08" PRIX32 ") still runs", v,
             CommandName(Code(s.command)), s.command);
        return;
    }
    const uint32_t code = Code(v);
    if (code != kCmdIdec && code != kCmdFdec) {
        Diag(Level::kError, "ipu", "IPU command %s (0x%08" PRIX32 ") is not modelled", CommandName(code), v);
        return;
    }
    s.command = v;
    s.ecd = false;
    s.scd = false;
    s.busy = true;
    HardwareMayHaveWork();
    if (TraceOn("ipu"))
        Trace("ipu", "%s 0x%08" PRIX32, CommandName(code), v);
    if (code == kCmdFdec) {
        ++MutableStats().fdec_commands;
        return;
    }
    ++MutableStats().idec_commands;
    if (v & (1u << 25)) {
        static bool warned = false;
        if (!warned)
            Diag(Level::kWarning, "ipu", "IDEC SGN (signed output) is not modelled; output stays unsigned");
        warned = true;
    }
    s.picture = PictureControl::FromCtrl(s.control);
    s.slice = SliceState::Start(s.picture, static_cast<int>((v >> 16) & 31));
    s.dct_type = (v >> 24) & 1;
    s.dither = (v >> 26) & 1;
    s.rgb16 = (v >> 27) & 1;
    s.decoded = 0;
    s.bit += v & 63;
}

void Reset(State& s)
{
    s.input.clear();
    s.bit = 0;
    s.output.clear();
    s.ecd = s.scd = false;
    s.cbp = 0;
    s.busy = false;
    s.result = 0;
    s.command = 0;
    s.in_receive = false;
    s.next_out = nullptr;
}

void WriteCtrl(uint64_t value)
{
    State& s = S();
    const uint32_t v = static_cast<uint32_t>(value);
    if (v & kCtrlRst) {
        if (s.busy && TraceOn("ipu"))
            Trace("ipu", "reset aborts %s", CommandName(Code(s.command)));
        Reset(s);
    }
    s.control = v & kCtrlPictureBits;
}

uint64_t ReadCommand()
{
    const State& s = S();
    return uint64_t{s.result} | (s.busy ? uint64_t{1} << 63 : 0);
}

class InputPort final : public dmac::Peripheral {
public:
    const char* Name() const override { return "IPU input"; }

    // The FIFO is modelled without a limit: channel 4 never stalls.
    size_t Accept(const u128* data, size_t count) override
    {
        const u8* bytes = reinterpret_cast<const u8*>(data);
        S().input.insert(S().input.end(), bytes, bytes + count * 16);
        return count;
    }
};

class OutputPort final : public dmac::Peripheral {
public:
    const char* Name() const override { return "IPU output"; }

    size_t Produce(u128* out, size_t count) override
    {
        State& s = S();
        if (!s.in_receive || out != s.next_out) {
            MutableStats().receives.push_back(static_cast<uint32_t>(count));
            s.in_receive = true;
        }
        const size_t n = std::min(count, s.output.size());
        std::copy_n(s.output.begin(), n, out);
        s.output.erase(s.output.begin(), s.output.begin() + static_cast<std::ptrdiff_t>(n));
        s.next_out = out + n;
        if (n == count)
            s.in_receive = false;
        return n;
    }
};

InputPort g_input;
OutputPort g_output;

const bool g_registered = (EnsureRegistered(), true);

}  // namespace

const Stats& GetStats()
{
    return MutableStats();
}

void ClearStats()
{
    MutableStats() = Stats{};
}

bool Busy()
{
    return S().busy;
}

uint32_t Ctrl()
{
    const State& s = S();
    const size_t unread = BitsAvailable(s) / 128;
    return static_cast<uint32_t>(std::min(unread, kInputFifoQuadwords)) |
           static_cast<uint32_t>(std::min(s.output.size(), kOutputFifoQuadwords)) << 4 | (s.cbp & 0x3F) << 8 |
           (s.ecd ? kCtrlEcd : 0) | (s.scd ? kCtrlScd : 0) | s.control | (s.busy ? kCtrlBusy : 0);
}

size_t OutputQuadwords()
{
    return S().output.size();
}

void ResetIpu()
{
    Reset(S());
    S().control = 0;
}

std::string StateText()
{
    const State& s = S();
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s%s, IPU_CTRL 0x%08" PRIX32 ", input %zu of %zu bits read, %zu output quadwords waiting, %" PRIu64
                  " macroblocks decoded",
                  s.busy ? "busy with " : "idle", s.busy ? CommandName(Code(s.command)) : "", Ctrl(), s.bit,
                  s.input.size() * 8, s.output.size(), GetStats().macroblocks);
    return line;
}

void EnsureRegistered()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    (void)g_registered;
    dmac::EnsureRegistered();
    SetRegisterOwner(EeReg::kIpuCmd, "ipu", ReadCommand, WriteCommand);
    SetRegisterOwner(EeReg::kIpuCtrl, "ipu", [] { return uint64_t{Ctrl()}; }, WriteCtrl);
    dmac::SetPeripheral(4, &g_input);
    dmac::SetPeripheral(3, &g_output);
    RegisterHardware("ipu", kUnitOrder, RunUnit, UnitIdle);
    RegisterStateReporter("ipu", StateText);
    RegisterResetHook("ipu", ResetIpu);
}

}  // namespace console::ipu

int sceIpuSync(int mode, u16 timeout)
{
    (void)timeout;
    using namespace console;
    ipu::EnsureRegistered();
    switch (mode) {
    case 0:
        if (CurrentContext() != Context::kMain) {
            if (!ipu::Busy())
                return 0;
            Diag(Level::kError, "ipu", "sceIpuSync: waiting for the IPU outside the EE main context");
            return -1;
        }
        return WaitUntil("sceIpuSync", [] { return !ipu::Busy(); }) ? 0 : -1;
    case 1:
        SafePoint(GetCosts().poll_call);
        return ipu::Busy() ? 1 : 0;
    default:
        Diag(Level::kError, "ipu", "sceIpuSync: unknown mode %d", mode);
        return -1;
    }
}
