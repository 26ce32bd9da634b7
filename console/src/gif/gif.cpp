#include "gif/gif.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "ee/regs_internal.h"
#include "gs/gs.h"

namespace console::gif {
namespace {

constexpr uint32_t kOneFloat = 0x3F800000u;  // 1.0f, the Q every tag starts with

// Register descriptors of the tag's REGS field.
constexpr uint32_t kDescPrim = 0x0;
constexpr uint32_t kDescRgbaq = 0x1;
constexpr uint32_t kDescSt = 0x2;
constexpr uint32_t kDescUv = 0x3;
constexpr uint32_t kDescXyzf2 = 0x4;
constexpr uint32_t kDescXyz2 = 0x5;
constexpr uint32_t kDescFog = 0xA;
constexpr uint32_t kDescAd = 0xE;
constexpr uint32_t kDescNop = 0xF;

// GS register addresses the PACKED conversions target.
constexpr uint32_t kRegPrim = 0x00;
constexpr uint32_t kRegRgbaq = 0x01;
constexpr uint32_t kRegSt = 0x02;
constexpr uint32_t kRegUv = 0x03;
constexpr uint32_t kRegXyzf2 = 0x04;
constexpr uint32_t kRegXyz2 = 0x05;
constexpr uint32_t kRegFog = 0x0A;
constexpr uint32_t kRegXyzf3 = 0x0C;
constexpr uint32_t kRegXyz3 = 0x0D;

// GIF_MODE, GIF_CTRL and GIF_STAT bits.
constexpr uint32_t kModeM3r = 1u << 0;
constexpr uint32_t kModeImt = 1u << 2;
constexpr uint32_t kCtrlRst = 1u << 0;
constexpr uint32_t kCtrlPse = 1u << 3;
constexpr uint32_t kStatPse = 1u << 3;
constexpr uint32_t kStatP3q = 1u << 6;
constexpr uint32_t kStatP2q = 1u << 7;
constexpr uint32_t kStatP1q = 1u << 8;
constexpr uint32_t kStatOph = 1u << 9;
constexpr int kStatApathShift = 10;

const char* const kFormatNames[4] = {"PACKED", "REGLIST", "IMAGE", "IMAGE"};

struct PathState {
    bool open = false;      // inside a packet
    bool have_tag = false;  // the current tag still expects data
    bool eop = false;
    uint32_t flg = 0;
    uint32_t nreg = 0;
    uint64_t regs = 0;
    uint32_t loops_left = 0;  // NLOOP still to come
    uint32_t reg_index = 0;   // descriptor within the current loop
    PathCounters counters;
};

struct GifState {
    std::array<PathState, 4> paths{};  // indexed by path number; 0 unused
    uint32_t q_bits = kOneFloat;
    uint32_t mode = 0;
    bool pse = false;
    int last_fed = 0;
    GsSink* sink = nullptr;
};

GifState& S()
{
    static GifState state;
    return state;
}

int Index(Path path)
{
    return static_cast<int>(path);
}

PathState& At(Path path)
{
    return S().paths[Index(path)];
}

void Write(Path path, uint32_t address, uint64_t value)
{
    if (TraceOn("gif"))
        Trace("gif", "PATH%d   reg 0x%02" PRIX32 " = 0x%016" PRIX64, Index(path), address, value);
    // The default sink is the GS stand-in itself: called directly.
    if (GsSink* sink = S().sink)
        sink->WriteRegister(address, value);
    else
        gs::WriteRegister(address, value);
}

void EndTag(Path path, PathState& p)
{
    p.have_tag = false;
    if (!p.eop)
        return;
    p.open = false;
    ++p.counters.packets;
    if (TraceOn("gif"))
        Trace("gif", "PATH%d end of packet", Index(path));
}

// Moves to the next register descriptor; a finished loop counts down NLOOP.
void AdvanceRegister(Path path, PathState& p)
{
    if (++p.reg_index < p.nreg)
        return;
    p.reg_index = 0;
    if (--p.loops_left == 0)
        EndTag(path, p);
}

uint32_t Descriptor(const PathState& p)
{
    return static_cast<uint32_t>(p.regs >> (4 * p.reg_index)) & 0xF;
}

void ReadTag(Path path, PathState& p, const u128& q)
{
    const uint32_t nloop = static_cast<uint32_t>(q.lo & 0x7FFF);
    const bool eop = (q.lo >> 15) & 1;
    const bool pre = (q.lo >> 46) & 1;
    const uint32_t prim = static_cast<uint32_t>(q.lo >> 47) & 0x7FF;
    const uint32_t flg = static_cast<uint32_t>(q.lo >> 58) & 3;
    const uint32_t nreg = static_cast<uint32_t>(q.lo >> 60) & 0xF;

    ++p.counters.tags;
    p.open = true;
    p.eop = eop;
    p.flg = flg;
    p.nreg = nreg == 0 ? 16 : nreg;
    p.regs = q.hi;
    p.reg_index = 0;
    p.loops_left = nloop;
    // Every tag starts the PACKED conversion's Q afresh.
    S().q_bits = kOneFloat;
    if (TraceOn("gif"))
        Trace("gif", "PATH%d tag %s nloop %" PRIu32 " nreg %" PRIu32 " regs 0x%016" PRIX64 "%s%s", Index(path),
              kFormatNames[flg], nloop, p.nreg, p.regs, eop ? " EOP" : "", pre && flg == 0 ? " PRE" : "");
    if (nloop == 0) {
        // Only EOP counts in an empty tag.
        p.have_tag = false;
        EndTag(path, p);
        return;
    }
    p.have_tag = true;
    if (pre && flg == 0)
        Write(path, kRegPrim, prim);
}

// One PACKED quadword through descriptor `d`'s conversion, handed to
// write(address, value); nothing for NOP.
template <typename WriteFn>
inline __attribute__((always_inline)) void ConvertPacked(uint32_t d, const u128& q, WriteFn write)
{
    switch (d) {
    case kDescPrim:
        write(kRegPrim, q.lo & 0x7FF);
        break;
    case kDescRgbaq: {
        const uint64_t r = q.lo & 0xFF;
        const uint64_t g = (q.lo >> 32) & 0xFF;
        const uint64_t b = q.hi & 0xFF;
        const uint64_t a = (q.hi >> 32) & 0xFF;
        write(kRegRgbaq, r | g << 8 | b << 16 | a << 24 | uint64_t{S().q_bits} << 32);
        break;
    }
    case kDescSt:
        // S and T go to ST as they lie; Q waits for the next RGBAQ.
        S().q_bits = static_cast<uint32_t>(q.hi);
        write(kRegSt, q.lo);
        break;
    case kDescUv: {
        const uint64_t u = q.lo & 0x3FFF;
        const uint64_t v = (q.lo >> 32) & 0x3FFF;
        write(kRegUv, u | v << 16);
        break;
    }
    case kDescXyzf2: {
        // Bit 111 (ADC) turns the vertex into one that does not kick drawing.
        const uint64_t x = q.lo & 0xFFFF;
        const uint64_t y = (q.lo >> 32) & 0xFFFF;
        const uint64_t z = (q.hi >> 4) & 0xFFFFFF;
        const uint64_t f = (q.hi >> 36) & 0xFF;
        const bool adc = (q.hi >> 47) & 1;
        write(adc ? kRegXyzf3 : kRegXyzf2, x | y << 16 | z << 32 | f << 56);
        break;
    }
    case kDescXyz2: {
        const uint64_t x = q.lo & 0xFFFF;
        const uint64_t y = (q.lo >> 32) & 0xFFFF;
        const uint64_t z = q.hi & 0xFFFFFFFF;
        const bool adc = (q.hi >> 47) & 1;
        write(adc ? kRegXyz3 : kRegXyz2, x | y << 16 | z << 32);
        break;
    }
    case kDescFog:
        write(kRegFog, ((q.hi >> 36) & 0xFF) << 56);
        break;
    case kDescAd:
        write(static_cast<uint32_t>(q.hi & 0xFF), q.lo);
        break;
    case kDescNop:
        break;
    default:
        // TEX0, CLAMP, XYZF3, XYZ3 and the reserved 0xB: the low 64 bits go
        // to the register of that address unchanged.
        write(d, q.lo);
        break;
    }
}

// One PACKED quadword through its register descriptor's conversion.
void PackedQuadword(Path path, PathState& p, const u128& q)
{
    ConvertPacked(Descriptor(p), q, [path](uint32_t address, uint64_t value) { Write(path, address, value); });
    AdvanceRegister(path, p);
}

// PACKED quadwords of the current tag, as many of the `qwc` as it takes,
// straight to the GS stand-in (no other sink, no trace): the vertex packets
// every frame is made of.  Returns the quadwords taken.
size_t PackedToGs(Path path, PathState& p, const u128* data, size_t qwc)
{
    const auto write = [](uint32_t address, uint64_t value) { gs::WriteRegister(address, value); };
    const uint64_t regs = p.regs;
    const uint32_t nreg = p.nreg;
    uint32_t index = p.reg_index;
    size_t i = 0;
    while (i < qwc) {
        ConvertPacked(static_cast<uint32_t>(regs >> (4 * index)) & 0xF, data[i++], write);
        if (++index < nreg)
            continue;
        index = 0;
        if (--p.loops_left == 0) {
            p.reg_index = 0;
            EndTag(path, p);
            return i;
        }
    }
    p.reg_index = index;
    return i;
}

// REGLIST: two 64-bit register values per quadword; when NLOOP x NREG is
// odd, the upper half of the last quadword is padding.  A+D and NOP
// descriptors write nothing in this mode.
void ReglistQuadword(Path path, PathState& p, const u128& q)
{
    for (uint64_t value : {q.lo, q.hi}) {
        if (!p.have_tag)
            break;
        const uint32_t d = Descriptor(p);
        if (d != kDescAd && d != kDescNop)
            Write(path, d, value);
        AdvanceRegister(path, p);
    }
}

size_t ImageData(Path path, PathState& p, const u128* data, size_t qwc)
{
    const size_t n = std::min<size_t>(qwc, p.loops_left);
    if (TraceOn("gif"))
        Trace("gif", "PATH%d   image data %zu quadwords", Index(path), n);
    const size_t taken = CurrentSink().WriteImageData(data, n);
    if (taken < n)
        Diag(Level::kWarning, "gif",
             "PATH%d: the GS took %zu of %zu IMAGE quadwords (no host->local transfer expects them); the rest "
             "is discarded",
             Index(path), taken, n);
    p.loops_left -= static_cast<uint32_t>(n);
    if (p.loops_left == 0)
        EndTag(path, p);
    return n;
}

// Channel 2's peripheral: everything the GIF DMA channel sends is PATH3.
class Path3Port final : public dmac::Peripheral {
public:
    const char* Name() const override { return "GIF PATH3"; }

    size_t Accept(const u128* data, size_t count) override
    {
        Feed(Path::kPath3, data, count);
        return count;
    }
};

Path3Port g_path3_port;

void WriteCtrl(uint64_t value)
{
    const uint32_t v = static_cast<uint32_t>(value);
    if (v & kCtrlRst) {
        if (TraceOn("gif"))
            Trace("gif", "GIF_CTRL reset");
        ResetGif();
    }
    const bool pse = (v & kCtrlPse) != 0;
    if (pse && !S().pse)
        Diag(Level::kWarning, "gif", "GIF_CTRL PSE (temporary stop) is recorded but not modelled: transfers go on");
    S().pse = pse;
}

void WriteMode(uint64_t value)
{
    const uint32_t v = static_cast<uint32_t>(value);
    if ((v & kModeM3r) && !(S().mode & kModeM3r))
        Diag(Level::kWarning, "gif", "GIF_MODE M3R (PATH3 mask) is recorded but not modelled: PATH3 stays open");
    S().mode = v & (kModeM3r | kModeImt);
}

void InstallRegisterOwners()
{
    SetRegisterOwner(EeReg::kGifCtrl, "gif", nullptr, WriteCtrl);
    SetRegisterOwner(
        EeReg::kGifMode, "gif", [] { return uint64_t{S().mode}; }, WriteMode);
    SetRegisterOwner(
        EeReg::kGifStat, "gif", [] { return uint64_t{Stat()}; },
        [](uint64_t) { Diag(Level::kWarning, "gif", "GIF_STAT is read-only; the write is ignored"); });
}

const bool g_registered = (EnsureRegistered(), true);

}  // namespace

void SetSink(GsSink* sink)
{
    S().sink = sink;
}

GsSink& CurrentSink()
{
    return S().sink ? *S().sink : DefaultSink();
}

ScopedSink::ScopedSink(GsSink& sink) : previous_(S().sink)
{
    S().sink = &sink;
}

ScopedSink::~ScopedSink()
{
    S().sink = previous_;
}

void Feed(Path path, const u128* data, size_t qwc)
{
    PathState& p = At(path);
    p.counters.quadwords += qwc;
    // Without another sink or a trace, PACKED data goes to the GS a tag's
    // worth at a time.
    const bool straight = S().sink == nullptr && !TraceOn("gif");
    size_t i = 0;
    while (i < qwc) {
        S().last_fed = Index(path);
        if (!p.have_tag) {
            ReadTag(path, p, data[i++]);
            continue;
        }
        switch (p.flg) {
        case 0:
            if (straight)
                i += PackedToGs(path, p, data + i, qwc - i);
            else
                PackedQuadword(path, p, data[i++]);
            break;
        case 1:
            ReglistQuadword(path, p, data[i++]);
            break;
        default:
            i += ImageData(path, p, data + i, qwc - i);
            break;
        }
    }
}

bool PacketOpen(Path path)
{
    return At(path).open;
}

bool Idle()
{
    return !PacketOpen(Path::kPath1) && !PacketOpen(Path::kPath2) && !PacketOpen(Path::kPath3);
}

uint32_t Stat()
{
    const GifState& s = S();
    uint32_t stat = s.mode & (kModeM3r | kModeImt);
    if (s.pse)
        stat |= kStatPse;
    int active = 0;
    if (s.last_fed != 0 && s.paths[s.last_fed].open)
        active = s.last_fed;
    else
        for (int n = 1; n <= 3 && active == 0; ++n)
            if (s.paths[n].open)
                active = n;
    const uint32_t queued[4] = {0, kStatP1q, kStatP2q, kStatP3q};
    for (int n = 1; n <= 3; ++n)
        if (n != active && s.paths[n].open)
            stat |= queued[n];
    if (active != 0)
        stat |= kStatOph | static_cast<uint32_t>(active) << kStatApathShift;
    return stat;
}

float CurrentQ()
{
    float q;
    std::memcpy(&q, &S().q_bits, sizeof q);
    return q;
}

PathCounters Counters(Path path)
{
    return At(path).counters;
}

std::string StateText()
{
    std::string text;
    for (int n = 1; n <= 3; ++n) {
        const PathState& p = S().paths[n];
        char line[200];
        if (!p.open)
            std::snprintf(line, sizeof line, "PATH%d: idle\n", n);
        else if (!p.have_tag)
            std::snprintf(line, sizeof line, "PATH%d: inside a packet, waiting for its next tag\n", n);
        else
            std::snprintf(line, sizeof line,
                          "PATH%d: inside a packet, %s tag with %" PRIu32 " loops and descriptor %" PRIu32
                          " of %" PRIu32 " to go%s\n",
                          n, kFormatNames[p.flg], p.loops_left, p.reg_index, p.nreg, p.eop ? " (EOP)" : "");
        text += line;
    }
    char line[64];
    std::snprintf(line, sizeof line, "GIF_STAT 0x%08" PRIX32 "\n", Stat());
    return text + line;
}

void ResetGif()
{
    GifState& s = S();
    for (PathState& p : s.paths)
        p = PathState{};
    s.q_bits = kOneFloat;
    s.mode = 0;
    s.pse = false;
    s.last_fed = 0;
}

void EnsureRegistered()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    (void)g_registered;
    InstallRegisterOwners();
    dmac::SetPeripheral(2, &g_path3_port);
    RegisterStateReporter("gif", StateText);
    RegisterResetHook("gif", [] { ResetGif(); });
}

}  // namespace console::gif
