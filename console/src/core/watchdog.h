// The scheduler's side of the watchdog (the public calls are in
// core/scheduler.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "core/scheduler.h"

namespace console {

namespace detail {
// Read by the watchdog thread: lock-free atomics with trivial destructors,
// so the thread may outlive main and the static destructors.
extern std::atomic<uint32_t> g_watchdog_beat;
// The virtual time as two words: a 64-bit atomic store on this 32-bit
// target goes through an SSE register, and a value just computed in two
// general registers would reach it by a store and a reload that waits for
// both word stores.  The report reads them once the EE has stopped reaching
// safe points, so they no longer change.
extern std::atomic<uint32_t> g_watchdog_virtual_lo;
extern std::atomic<uint32_t> g_watchdog_virtual_hi;
extern std::atomic<bool> g_watchdog_armed;
void ArmWatchdog();
}  // namespace detail

// Marks a safe point; arms the watchdog if it is not armed.  A 32-bit count
// bumped by a plain load and store (a lost beat among threads still changes
// it), never a locked 64-bit add, which the 32-bit build makes a
// compare-exchange loop.
inline void WatchdogBeat()
{
    detail::g_watchdog_beat.store(detail::g_watchdog_beat.load(std::memory_order_relaxed) + 1,
                                  std::memory_order_relaxed);
    if (!detail::g_watchdog_armed.load(std::memory_order_relaxed))
        detail::ArmWatchdog();
}

// Records the virtual time reached, for the watchdog's report.
inline void WatchdogStamp(Cycles now)
{
    detail::g_watchdog_virtual_lo.store(static_cast<uint32_t>(now), std::memory_order_relaxed);
    detail::g_watchdog_virtual_hi.store(static_cast<uint32_t>(now >> 32), std::memory_order_relaxed);
}

}  // namespace console
