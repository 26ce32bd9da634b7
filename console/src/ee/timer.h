// EE timer 0, the only timer the game uses.  The counter runs while CUE (bit 7
// of T0_MODE) is set: it counts the ticks of the clock CLKS selects (0: bus,
// 1: bus / 16, 2: bus / 256 = 576 kHz, 3: horizontal blanks of the current
// video mode) since the last write of T0_COUNT, modulo 65,536.  Gate,
// compare and overflow interrupts are not modelled.
#pragma once

#include <cstdint>

namespace console {

enum class Timer0Reg { kCount, kMode, kComp, kHold };

// Hardware addresses, for traces and the register dispatch table.
constexpr uint32_t kT0CountAddr = 0x10000000u;
constexpr uint32_t kT0ModeAddr = 0x10000010u;
constexpr uint32_t kT0CompAddr = 0x10000020u;
constexpr uint32_t kT0HoldAddr = 0x10000030u;

// T0_MODE bits.
constexpr uint32_t kT0ModeClks = 0x3;
constexpr uint32_t kT0ModeCue = 0x80;

// Register access at the current virtual time.  Neither is a safe point: the
// DPUT_/DGET_ accessors that call them are.
void Timer0Write(Timer0Reg reg, uint32_t value);
uint32_t Timer0Read(Timer0Reg reg);

// Power-on state: mode 0, count 0, stopped.  Part of ResetScheduler.
void ResetTimer0();

}  // namespace console
