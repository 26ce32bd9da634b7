#include "ee/timer.h"

#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/regs_internal.h"
#include "ee/video.h"

namespace console {
namespace {

// Mode bits the model does not act on: gate, zero return, compare and
// overflow interrupts.
constexpr uint32_t kUnmodelledModeBits = 0x4 | 0x8 | 0x30 | 0x40 | 0x100 | 0x200;
constexpr uint32_t kModeWritable = 0x3FF;

struct TimerState {
    uint32_t mode = 0;
    uint32_t comp = 0;
    uint32_t hold = 0;
    uint32_t base_count = 0;  // count at base_time
    Cycles base_time = 0;     // last write of T0_COUNT, or last change of clock or CUE
    bool warned = false;
};

TimerState& S()
{
    static TimerState state;
    return state;
}

// floor(e × num / den) without overflow, for num × den below 2^64.
uint64_t MulDiv(uint64_t e, uint64_t num, uint64_t den)
{
    return (e / den) * num + (e % den) * num / den;
}

// Horizontal blanks in `elapsed` bus cycles at the current mode's line rate:
// PAL 625 × 25 Hz, NTSC 525 × 30,000 / 1,001 Hz, 480p twice NTSC.
uint64_t Lines(Cycles elapsed)
{
    switch (CurrentVideoMode()) {
    case VideoMode::kPal: return MulDiv(elapsed, 15'625, kBusHz);
    case VideoMode::kNtsc: return MulDiv(elapsed, 525 * 30'000, 1'001 * kBusHz);
    case VideoMode::k480p: return MulDiv(elapsed, 525 * 60'000, 1'001 * kBusHz);
    }
    return 0;
}

uint64_t Ticks(uint32_t mode, Cycles elapsed)
{
    switch (mode & kT0ModeClks) {
    case 0: return elapsed;
    case 1: return elapsed / 16;
    case 2: return elapsed / kTimerTick256;
    default: return Lines(elapsed);
    }
}

uint32_t CountNow(const TimerState& s)
{
    if (!(s.mode & kT0ModeCue))
        return s.base_count;
    return static_cast<uint32_t>((s.base_count + Ticks(s.mode, Now() - s.base_time)) & 0xFFFF);
}

const bool g_registered = [] {
    RegisterResetHook("timer0", ResetTimer0);
    SetRegisterOwner(
        EeReg::kT0Count, "timer0", [] { return uint64_t{Timer0Read(Timer0Reg::kCount)}; },
        [](uint64_t value) { Timer0Write(Timer0Reg::kCount, static_cast<uint32_t>(value)); });
    SetRegisterOwner(
        EeReg::kT0Mode, "timer0", [] { return uint64_t{Timer0Read(Timer0Reg::kMode)}; },
        [](uint64_t value) { Timer0Write(Timer0Reg::kMode, static_cast<uint32_t>(value)); });
    return true;
}();

}  // namespace

void Timer0Write(Timer0Reg reg, uint32_t value)
{
    TimerState& s = S();
    switch (reg) {
    case Timer0Reg::kCount:
        s.base_count = value & 0xFFFF;
        s.base_time = Now();
        break;
    case Timer0Reg::kMode: {
        uint32_t mode = value & kModeWritable;
        if ((mode & kUnmodelledModeBits) && !s.warned) {
            s.warned = true;
            Diag(Level::kWarning, "timer", "T0_MODE 0x%03x: gate, zero return and timer interrupts are not modelled",
                 value);
        }
        // A new clock or a start/stop keeps the count reached and counts on
        // from here.
        if ((mode ^ s.mode) & (kT0ModeClks | kT0ModeCue)) {
            s.base_count = CountNow(s);
            s.base_time = Now();
        }
        s.mode = mode;
        break;
    }
    case Timer0Reg::kComp: s.comp = value & 0xFFFF; break;
    case Timer0Reg::kHold: s.hold = value & 0xFFFF; break;
    }
}

uint32_t Timer0Read(Timer0Reg reg)
{
    const TimerState& s = S();
    switch (reg) {
    case Timer0Reg::kCount: return CountNow(s);
    case Timer0Reg::kMode: return s.mode;
    case Timer0Reg::kComp: return s.comp;
    case Timer0Reg::kHold: return s.hold;
    }
    return 0;
}

void ResetTimer0()
{
    S() = TimerState{};
}

}  // namespace console
