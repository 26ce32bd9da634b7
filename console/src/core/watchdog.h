// The scheduler's side of the watchdog (the public calls are in
// core/scheduler.h).
#pragma once

#include "core/scheduler.h"

namespace console {

// Marks a safe point; arms the watchdog if it is not armed.
void WatchdogBeat();

// Records the virtual time reached, for the watchdog's report.
void WatchdogStamp(Cycles now);

}  // namespace console
