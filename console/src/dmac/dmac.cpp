#include "dmac/dmac.h"

#include <array>
#include <bit>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include <ee/memmap.h>

#include "core/instance.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/memmap_internal.h"
#include "ee/regs_internal.h"

namespace console::dmac {
namespace {

constexpr int kChannelCount = 10;
constexpr uint32_t kMaxQwc = 0xFFFF;
// A chain that has not ended after this many tags loops forever.
constexpr uint64_t kMaxTagsPerTransfer = uint64_t{1} << 24;
constexpr uint32_t kDStatBeis = 1u << 15;
constexpr uint32_t kDStatStatusBits = 0x0000E3FFu;  // CIS0-9, SIS, MEIS, BEIS: write 1 to clear
constexpr uint32_t kDStatMaskBits = 0x63FF0000u;    // CIM0-9, SIM, MEIM: write 1 to flip
constexpr uintptr_t kScratchpadOffsetMask = 0x3FF0;

const char* const kChannelNames[kChannelCount] = {
    "VIF0", "VIF1", "GIF", "fromIPU", "toIPU", "fromSIF0", "toSIF1", "SIF2", "fromSPR", "toSPR",
};

const char* const kTagNames[8] = {"REFE", "CNT", "NEXT", "REF", "REFS", "CALL", "RET", "END"};

// Where a running transfer is.  kTag: the next step reads the tag at TADR;
// kTagUpper: the tag's upper half waits to go to the peripheral (TTE);
// kData: MADR/QWC describe the data still to move; kAfterData: the block is
// done and the walker decides whether the chain goes on.
enum class Phase : uint8_t { kIdle, kTag, kTagUpper, kData, kAfterData };

struct Channel {
    Phase phase = Phase::kIdle;
    bool chain = false;
    bool from_memory = false;
    bool tte = false;
    bool tie = false;
    bool end_after_data = false;
    bool stalled = false;
    bool running = false;
    bool warned_no_peripheral = false;
    uint64_t tag_upper = 0;
    uint64_t tags = 0;
    Peripheral* peripheral = nullptr;
};

struct State {
    std::array<sceDmaChan, kChannelCount> blocks{};
    std::array<Channel, kChannelCount> channels{};
    uint32_t d_stat = 0;
};

Instance<State> g_state;

State& S()
{
    return g_state.Get();
}

uintptr_t Addr(const void* p)
{
    return reinterpret_cast<uintptr_t>(p);
}

void* Ptr(uintptr_t a)
{
    return reinterpret_cast<void*>(a);
}

bool Modelled(int ch)
{
    return ch == 1 || ch == 2 || ch == 3 || ch == 4 || ch == 8;
}

// Every channel's direction is fixed by the hardware except VIF1's, which
// follows CHCR.DIR.
bool FromMemory(int ch, const tD_CHCR& chcr)
{
    switch (ch) {
    case 1: return chcr.DIR != 0;
    case 2:
    case 4: return true;
    default: return false;
    }
}

void Finish(int ch)
{
    sceDmaChan& b = S().blocks[ch];
    Channel& c = S().channels[ch];
    b.chcr.STR = 0;
    c.phase = Phase::kIdle;
    c.stalled = false;
    S().d_stat |= 1u << ch;
    if (TraceOn("dma"))
        Trace("dma", "ch%d %s: end after %" PRIu64 " tags", ch, kChannelNames[ch], c.tags);
}

// Ends the transfer with an error diagnostic; D_STAT shows a bus error.
__attribute__((format(__printf__, 2, 3))) void Fail(int ch, const char* fmt, ...)
{
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    const sceDmaChan& b = S().blocks[ch];
    Diag(Level::kError, "dma", "channel %d (%s): %s (TADR 0x%08" PRIXPTR ", MADR 0x%08" PRIXPTR ", QWC %" PRIu32 ")",
         ch, kChannelNames[ch], text, Addr(b.tadr), Addr(b.madr), b.qwc);
    S().d_stat |= kDStatBeis;
    Finish(ch);
}

// Every tag and every data block must lie in memory a DMA may touch.
bool CheckRange(int ch, uintptr_t addr, size_t bytes, const char* what)
{
    if (bytes == 0)
        return true;
    if (addr & 15) {
        Fail(ch, "%s address 0x%08" PRIXPTR " is not quadword aligned", what, addr);
        return false;
    }
    Region region = ClassifyAddress(Ptr(addr), bytes);
    if (region == Region::kInvalid || region == Region::kIopRam) {
        Fail(ch, "%s at 0x%08" PRIXPTR " (%zu bytes) lies outside the program image, the EE arena and the scratchpad",
             what, addr, bytes);
        return false;
    }
    return true;
}

void WarnNoPeripheral(int ch, const char* what)
{
    Channel& c = S().channels[ch];
    if (c.warned_no_peripheral)
        return;
    c.warned_no_peripheral = true;
    Diag(Level::kWarning, "dma", "channel %d (%s): no peripheral attached (not yet modelled); %s", ch,
         kChannelNames[ch], what);
}

void Begin(int ch)
{
    sceDmaChan& b = S().blocks[ch];
    Channel& c = S().channels[ch];
    Peripheral* peripheral = c.peripheral;
    bool warned = c.warned_no_peripheral;
    c = Channel{};
    c.peripheral = peripheral;
    c.warned_no_peripheral = warned;

    if (!Modelled(ch)) {
        Fail(ch, "this channel is not modelled");
        return;
    }
    c.from_memory = FromMemory(ch, b.chcr);
    if (b.chcr.MOD == 0) {
        if (b.qwc > kMaxQwc) {
            Fail(ch, "QWC %" PRIu32 " exceeds 0xFFFF", b.qwc);
            return;
        }
        c.phase = Phase::kData;
        if (!CheckRange(ch, Addr(b.madr), size_t{b.qwc} * 16, "data"))
            return;
    } else if (b.chcr.MOD == 1) {
        if (!c.from_memory) {
            Fail(ch, "destination chain mode is not modelled");
            return;
        }
        c.chain = true;
        // Only VIF1 understands the tag's upper half; the GIF would take it for
        // packet data, so tag transfer is ignored on every other channel.
        c.tte = (ch == 1) && b.chcr.TTE;
        c.tie = b.chcr.TIE;
        // A chain started with QWC > 0 first moves that block from MADR, then
        // reads its first tag at TADR.
        c.phase = b.qwc > 0 ? Phase::kData : Phase::kTag;
        if (b.qwc > kMaxQwc) {
            Fail(ch, "QWC %" PRIu32 " exceeds 0xFFFF", b.qwc);
            return;
        }
        if (!CheckRange(ch, Addr(b.madr), size_t{b.qwc} * 16, "data"))
            return;
    } else {
        Fail(ch, "mode %u (interleave) is not modelled", static_cast<unsigned>(b.chcr.MOD));
        return;
    }
    if (TraceOn("dma"))
        Trace("dma", "ch%d %s: start %s%s, TADR 0x%08" PRIXPTR " MADR 0x%08" PRIXPTR " QWC %" PRIu32, ch,
              kChannelNames[ch], c.chain ? "source chain" : (c.from_memory ? "normal send" : "normal receive"),
              c.tte ? " with tag transfer" : "", Addr(b.tadr), Addr(b.madr), b.qwc);
}

// Reads the tag at TADR and sets MADR, QWC, TADR and the call stack as the tag
// says.  False when the transfer failed.
bool ReadTag(int ch)
{
    sceDmaChan& b = S().blocks[ch];
    Channel& c = S().channels[ch];
    uintptr_t tadr = Addr(b.tadr);
    if (!CheckRange(ch, tadr, 16, "tag"))
        return false;
    if (++c.tags > kMaxTagsPerTransfer) {
        Fail(ch, "the chain has not ended after %" PRIu64 " tags", kMaxTagsPerTransfer);
        return false;
    }
    uint64_t lo;
    uint64_t hi;
    std::memcpy(&lo, Ptr(tadr), 8);
    std::memcpy(&hi, Ptr(tadr + 8), 8);
    const uint32_t qwc = static_cast<uint32_t>(lo & 0xFFFF);
    const unsigned id = static_cast<unsigned>(lo >> 28) & 7;
    const bool irq = (lo >> 31) & 1;
    const uintptr_t addr = static_cast<uint32_t>(lo >> 32);
    const uintptr_t after_tag = tadr + 16;
    const uintptr_t after_data = after_tag + uintptr_t{qwc} * 16;

    b.chcr.TAG = static_cast<uint32_t>(lo >> 16) & 0xFFFF;
    c.end_after_data = false;
    uintptr_t madr = after_tag;
    uintptr_t next_tadr = tadr;
    switch (id) {
    case 0:  // REFE
        madr = addr;
        next_tadr = after_tag;
        c.end_after_data = true;
        break;
    case 1:  // CNT
        next_tadr = after_data;
        break;
    case 2:  // NEXT
        next_tadr = addr;
        break;
    case 3:  // REF
    case 4:  // REFS
        madr = addr;
        next_tadr = after_tag;
        break;
    case 5:  // CALL
        if (b.chcr.ASP >= 2) {
            Fail(ch, "CALL tag at 0x%08" PRIXPTR " with both ASR levels in use", tadr);
            return false;
        }
        (b.chcr.ASP == 0 ? b.asr0 : b.asr1) = Ptr(after_data);
        b.chcr.ASP = b.chcr.ASP + 1;
        next_tadr = addr;
        break;
    case 6:  // RET
        if (b.chcr.ASP == 2) {
            next_tadr = Addr(b.asr1);
            b.chcr.ASP = 1;
        } else if (b.chcr.ASP == 1) {
            next_tadr = Addr(b.asr0);
            b.chcr.ASP = 0;
        } else {
            next_tadr = after_data;
            c.end_after_data = true;
        }
        break;
    case 7:  // END
        c.end_after_data = true;
        break;
    }
    if (irq && c.tie)
        c.end_after_data = true;
    b.madr = Ptr(madr);
    b.qwc = qwc;
    b.tadr = Ptr(next_tadr);
    c.tag_upper = hi;
    if (TraceOn("dma"))
        Trace("dma", "ch%d tag %s%s qwc %" PRIu32 " addr 0x%08" PRIXPTR " at 0x%08" PRIXPTR " upper 0x%016" PRIX64, ch,
              kTagNames[id], irq ? "+IRQ" : "", qwc, addr, tadr, hi);
    if (!CheckRange(ch, madr, size_t{qwc} * 16, kTagNames[id]))
        return false;
    c.phase = c.tte ? Phase::kTagUpper : Phase::kData;
    return true;
}

// Copies the block from the scratchpad; the source offset wraps within the
// scratchpad's 16 KiB as the hardware's does.
size_t CopyFromScratchpad(sceDmaChan& b)
{
    uintptr_t offset = Addr(b.sadr) & kScratchpadOffsetMask;
    if (offset + size_t{b.qwc} * 16 > EE_SPR_SIZE)
        Diag(Level::kWarning, "dma", "channel 8 (fromSPR): %" PRIu32 " quadwords from offset 0x%04" PRIXPTR
             " wrap around the scratchpad", b.qwc, offset);
    uint8_t* dst = static_cast<uint8_t*>(b.madr);
    for (uint32_t i = 0; i < b.qwc; ++i) {
        std::memcpy(dst + size_t{i} * 16, ScratchpadBase() + offset, 16);
        offset = (offset + 16) & kScratchpadOffsetMask;
    }
    b.sadr = Ptr(offset);
    return b.qwc;
}

// Moves what the peripheral takes or gives of the current block.
size_t MoveData(int ch)
{
    sceDmaChan& b = S().blocks[ch];
    Channel& c = S().channels[ch];
    if (b.qwc == 0)
        return 0;
    u128* mem = static_cast<u128*>(b.madr);
    size_t n;
    if (ch == 8) {
        n = CopyFromScratchpad(b);
    } else if (c.from_memory) {
        if (c.peripheral) {
            n = c.peripheral->Accept(mem, b.qwc);
        } else {
            WarnNoPeripheral(ch, "its data is discarded");
            n = b.qwc;
        }
    } else {
        if (c.peripheral) {
            n = c.peripheral->Produce(mem, b.qwc);
        } else {
            WarnNoPeripheral(ch, "it waits for data");
            n = 0;
        }
    }
    if (n > b.qwc) {
        Diag(Level::kError, "dma", "channel %d (%s): peripheral %s reported %zu of %" PRIu32 " quadwords", ch,
             kChannelNames[ch], c.peripheral ? c.peripheral->Name() : "-", n, b.qwc);
        n = b.qwc;
    }
    b.madr = mem + n;
    b.qwc -= static_cast<uint32_t>(n);
    return n;
}

// One hardware step of a channel: runs the transfer until it ends or the
// peripheral stalls.  Returns true if anything changed.
__attribute__((noinline)) bool Run(int ch)
{
    sceDmaChan& b = S().blocks[ch];
    Channel& c = S().channels[ch];
    if (c.running)
        return false;
    bool progress = false;
    if (c.phase == Phase::kIdle) {
        if (!b.chcr.STR)
            return false;
        Begin(ch);
        progress = true;
    } else if (!b.chcr.STR) {
        // STR cleared by a plain write to the block: the transfer stops.
        c.phase = Phase::kIdle;
        c.stalled = false;
        return true;
    }
    c.running = true;
    c.stalled = false;
    while (c.phase != Phase::kIdle && !c.stalled) {
        switch (c.phase) {
        case Phase::kIdle:
            break;
        case Phase::kTag:
            ReadTag(ch);
            progress = true;
            break;
        case Phase::kTagUpper:
            if (c.peripheral && !c.peripheral->AcceptTag(c.tag_upper)) {
                c.stalled = true;
                break;
            }
            if (!c.peripheral)
                WarnNoPeripheral(ch, "its data is discarded");
            c.phase = Phase::kData;
            progress = true;
            break;
        case Phase::kData:
            if (MoveData(ch) > 0)
                progress = true;
            if (b.qwc > 0)
                c.stalled = true;
            else
                c.phase = Phase::kAfterData;
            break;
        case Phase::kAfterData:
            if (!c.chain || c.end_after_data)
                Finish(ch);
            else
                c.phase = Phase::kTag;
            progress = true;
            break;
        }
    }
    c.running = false;
    return progress;
}

// An idle channel nobody started, whose unit does nothing.  STR is read from
// the block every time: the game may set or clear it with a plain write.
template <int ch>
bool ChannelIdle()
{
    const State& s = S();
    return s.channels[ch].phase == Phase::kIdle && !s.blocks[ch].chcr.STR && !s.channels[ch].running;
}

// A channel's unit in the service loop: an idle channel nobody started
// answers without the call.
template <int ch>
bool RunChannel()
{
    if (ChannelIdle<ch>())
        return false;
    return Run(ch);
}

uint32_t ChcrBits(const tD_CHCR& chcr)
{
    return std::bit_cast<uint32_t>(chcr);
}

void WriteChcr(int ch, uint64_t value)
{
    EnsureRegistered();
    sceDmaChan& b = S().blocks[ch];
    const tD_CHCR v = std::bit_cast<tD_CHCR>(static_cast<uint32_t>(value));
    if (b.chcr.STR) {
        if (!v.STR) {
            Diag(Level::kWarning, "dma", "channel %d (%s): transfer stopped by a CHCR write", ch, kChannelNames[ch]);
            b.chcr = v;
            S().channels[ch].phase = Phase::kIdle;
            S().channels[ch].stalled = false;
            return;
        }
        if (CurrentContext() != Context::kMain) {
            Diag(Level::kError, "dma", "channel %d (%s): CHCR 0x%08" PRIX32 " written in interrupt context while busy",
                 ch, kChannelNames[ch], static_cast<uint32_t>(value));
            return;
        }
        Diag(Level::kWarning, "dma", "channel %d (%s): CHCR written while busy; waiting for the running transfer", ch,
             kChannelNames[ch]);
        if (!WaitIdle(ch, "CHCR write on a busy DMA channel"))
            return;
    }
    b.chcr = v;
    if (v.STR)
        Kick(ch);
}

void WarnIfBusy(int ch, const char* reg)
{
    if (S().blocks[ch].chcr.STR)
        Diag(Level::kWarning, "dma", "channel %d (%s): %s written while the channel is busy", ch, kChannelNames[ch],
             reg);
}

void WriteDStat(uint64_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    S().d_stat &= ~(v & kDStatStatusBits);
    S().d_stat ^= v & kDStatMaskBits;
}

void InstallChcrOwner(EeReg reg, int ch)
{
    SetRegisterOwner(
        reg, "dmac", [ch] { return uint64_t{ChcrBits(S().blocks[ch].chcr)}; },
        [ch](uint64_t v) { WriteChcr(ch, v); });
}

void InstallRegisterOwners()
{
    InstallChcrOwner(EeReg::kD1Chcr, 1);
    InstallChcrOwner(EeReg::kD2Chcr, 2);
    InstallChcrOwner(EeReg::kD3Chcr, 3);
    InstallChcrOwner(EeReg::kD8Chcr, 8);
    sceDmaChan& d2 = S().blocks[2];
    sceDmaChan& d8 = S().blocks[8];
    SetRegisterOwner(
        EeReg::kD2Qwc, "dmac", [&d2] { return uint64_t{d2.qwc}; },
        [&d2](uint64_t v) {
            WarnIfBusy(2, "QWC");
            d2.qwc = static_cast<uint32_t>(v) & kMaxQwc;
        });
    SetRegisterOwner(
        EeReg::kD2Tadr, "dmac", [&d2] { return uint64_t{Addr(d2.tadr)}; },
        [&d2](uint64_t v) {
            WarnIfBusy(2, "TADR");
            d2.tadr = Ptr(static_cast<uint32_t>(v));
        });
    SetRegisterOwner(
        EeReg::kD8Madr, "dmac", [&d8] { return uint64_t{Addr(d8.madr)}; },
        [&d8](uint64_t v) { d8.madr = Ptr(static_cast<uint32_t>(v)); });
    SetRegisterOwner(
        EeReg::kD8Qwc, "dmac", [&d8] { return uint64_t{d8.qwc}; },
        [&d8](uint64_t v) { d8.qwc = static_cast<uint32_t>(v) & kMaxQwc; });
    SetRegisterOwner(
        EeReg::kD8Sadr, "dmac", [&d8] { return uint64_t{Addr(d8.sadr)}; },
        [&d8](uint64_t v) { d8.sadr = Ptr(static_cast<uint32_t>(v)); });
    SetRegisterOwner(
        EeReg::kDStat, "dmac", [] { return uint64_t{S().d_stat}; }, WriteDStat);
}

// The register owners go in before main: the table is a function-local static.
const bool g_owners_installed = (InstallRegisterOwners(), true);

std::string ChannelText(int ch)
{
    const sceDmaChan& b = S().blocks[ch];
    const Channel& c = S().channels[ch];
    char line[320];
    if (!b.chcr.STR) {
        std::snprintf(line, sizeof line, "ch%d %s: idle\n", ch, kChannelNames[ch]);
        return line;
    }
    const char* phase = "starting";
    switch (c.phase) {
    case Phase::kIdle: break;
    case Phase::kTag: phase = "next tag"; break;
    case Phase::kTagUpper: phase = "tag upper half"; break;
    case Phase::kData: phase = "data"; break;
    case Phase::kAfterData: phase = "end of block"; break;
    }
    const char* staller = c.peripheral ? c.peripheral->Name() : "a missing peripheral";
    std::snprintf(line, sizeof line,
                  "ch%d %s: busy, %s, at %s%s%s, TADR 0x%08" PRIXPTR " MADR 0x%08" PRIXPTR " QWC %" PRIu32
                  " ASP %u, %" PRIu64 " tags\n",
                  ch, kChannelNames[ch], c.chain ? "source chain" : "normal", phase, c.stalled ? ", stalled by " : "",
                  c.stalled ? staller : "", Addr(b.tadr), Addr(b.madr), b.qwc, static_cast<unsigned>(b.chcr.ASP),
                  c.tags);
    return line;
}

}  // namespace

void SetPeripheral(int channel, Peripheral* peripheral)
{
    if (channel != 1 && channel != 2 && channel != 3 && channel != 4) {
        Diag(Level::kError, "dma", "SetPeripheral: channel %d takes no peripheral", channel);
        return;
    }
    S().channels[channel].peripheral = peripheral;
    S().channels[channel].warned_no_peripheral = false;
}

Peripheral* GetPeripheral(int channel)
{
    return (channel >= 0 && channel < kChannelCount) ? S().channels[channel].peripheral : nullptr;
}

sceDmaChan* Block(int channel)
{
    return (channel >= 0 && channel < kChannelCount) ? &S().blocks[channel] : nullptr;
}

const char* ChannelName(int channel)
{
    return (channel >= 0 && channel < kChannelCount) ? kChannelNames[channel] : "?";
}

bool ChannelBusy(int channel)
{
    return S().blocks[channel].chcr.STR != 0;
}

bool ChannelStalled(int channel)
{
    return ChannelBusy(channel) && S().channels[channel].stalled;
}

uint32_t DStat()
{
    return S().d_stat;
}

std::string StateText()
{
    std::string text;
    for (int ch : {1, 2, 3, 4, 8})
        text += ChannelText(ch);
    char line[64];
    std::snprintf(line, sizeof line, "D_STAT 0x%08" PRIX32 "\n", S().d_stat);
    return text + line;
}

void ResetDmac()
{
    State& s = S();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        s.blocks[ch] = sceDmaChan{};
        Peripheral* peripheral = s.channels[ch].peripheral;
        s.channels[ch] = Channel{};
        s.channels[ch].peripheral = peripheral;
    }
    s.d_stat = 0;
}

void EnsureRegistered()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    (void)g_owners_installed;
    RegisterHardware("dmac ch2 GIF", kUnitOrderGif, RunChannel<2>, ChannelIdle<2>);
    RegisterHardware("dmac ch1 VIF1", kUnitOrderVif1, RunChannel<1>, ChannelIdle<1>);
    RegisterHardware("dmac ch4 toIPU", kUnitOrderToIpu, RunChannel<4>, ChannelIdle<4>);
    RegisterHardware("dmac ch3 fromIPU", kUnitOrderFromIpu, RunChannel<3>, ChannelIdle<3>);
    RegisterStateReporter("dmac", StateText);
    RegisterResetHook("dmac", ResetDmac);
    // The game starts or stops a channel with a plain store to STR as well
    // as through the register.
    tD_CHCR str{};
    str.STR = 1;
    for (int ch : {1, 2, 3, 4})
        WatchPlainStores(&S().blocks[ch].chcr, std::bit_cast<uint32_t>(str));
}

int ChannelIndex(const sceDmaChan* chan, const char* caller)
{
    const sceDmaChan* first = S().blocks.data();
    if (chan >= first && chan < first + kChannelCount)
        return static_cast<int>(chan - first);
    Diag(Level::kError, "dma", "%s: 0x%08" PRIXPTR " is not a DMA channel (use sceDmaGetChan)", caller, Addr(chan));
    return -1;
}

void Kick(int channel)
{
    EnsureRegistered();
    if (channel == 8 || !Modelled(channel))
        Run(channel);
}

bool WaitIdle(int channel, const char* what)
{
    std::string text =
        std::string(what) + ": DMA channel " + std::to_string(channel) + " (" + ChannelName(channel) + ")";
    return WaitUntil(text.c_str(), [channel] { return !ChannelBusy(channel); });
}

}  // namespace console::dmac
