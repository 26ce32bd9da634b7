// The EE interrupt controller and the kernel's handler dispatch: causes 0 to
// 14 with pending (INTC_STAT) and mask (INTC_MASK) bits, one handler list per
// cause, and the global interrupt-enable flag of DIntr/EIntr.  A raised cause
// is delivered at the next safe point of the EE main context when it is
// unmasked and interrupts are enabled: its handler chain runs in interrupt
// context with interrupts disabled, never nested, lowest cause first, and the
// service loop runs hardware again before the next cause.
#pragma once

#include <cstdint>
#include <functional>

namespace console {

constexpr int kIntcCauseCount = 15;

// Cause numbers of the EE interrupt controller.
enum IntcCause : int {
    kIntcGs = 0,
    kIntcSbus = 1,  // SIF: also the stand-in's completion path for async RPCs
    kIntcVblankStart = 2,
    kIntcVblankEnd = 3,
    kIntcVif0 = 4,
    kIntcVif1 = 5,
    kIntcVu0 = 6,
    kIntcVu1 = 7,
    kIntcIpu = 8,
    kIntcTimer0 = 9,
    kIntcTimer1 = 10,
    kIntcTimer2 = 11,
    kIntcTimer3 = 12,
    kIntcSfifo = 13,
    kIntcVu0Watchdog = 14,
};

// Sets a cause's pending bit (hardware, video timing, SIF).  Safe from any
// context; delivery waits for the next safe point of the EE main context.
void RaiseIntc(int cause);

// Adds a stand-in handler to a cause's list, as AddIntcHandler does for the
// game's (next: 0 = head, -1 = tail).  It is called in interrupt context like
// a game handler; returning 0 ends the chain.  Returns the handler id, usable
// with RemoveIntcHandler, or -1 on a bad cause or position.
int AddInternalIntcHandler(int cause, std::function<int(int)> handler, int next);

// Register views.  INTC_STAT: pending bits, a write of 1 clears.  INTC_MASK:
// enabled causes, a write of 1 flips the bit.
uint32_t IntcStat();
uint32_t IntcMask();
void IntcWriteStat(uint32_t value);
void IntcWriteMask(uint32_t value);

// The global EE interrupt-enable flag (EIntr/DIntr).
bool IntcEnabled();

// True while a handler chain runs.
bool InInterrupt();

// The service loop's interrupt step: if interrupts are enabled and an
// unmasked cause is pending, runs the lowest such cause's handler chain and
// returns true.  Does nothing outside the EE main context.
bool DispatchPendingInterrupt();

// Whether DispatchPendingInterrupt, called in the EE main context, would run
// a handler chain now.  No side effects.
bool InterruptReady();

// Power-on state: no handlers, nothing pending, every cause masked,
// interrupts enabled.  Part of ResetScheduler.
void ResetIntc();

}  // namespace console
