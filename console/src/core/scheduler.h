// The one virtual clock and the scheduler that sequences all simulated
// hardware, interrupts and I/O-processor threads.  Time is counted in EE bus
// cycles (147,456,000 per second).  Every stand-in entry point is a safe point:
// it advances the clock by its cost and services whatever fell due.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace console {

using Cycles = uint64_t;
constexpr Cycles kBusHz = 147'456'000;

// Current virtual time in bus cycles since start-up.
Cycles Now();

// A safe point of the EE main context: advances the clock by `cost` and runs
// the service loop (due events, ready IOP threads, hardware, interrupts).
void SafePoint(Cycles cost);

// Events fire in (time, sequence) order; equal times fire in the order they
// were scheduled.  Returns an id usable with Cancel.
using EventId = uint64_t;
EventId ScheduleAt(Cycles when, const char* name, std::function<void()> fn);
EventId ScheduleIn(Cycles delay, const char* name, std::function<void()> fn);
bool Cancel(EventId id);

// A hardware unit that the service loop runs until every unit is idle or
// stalled.  `run` does what it can and returns true if it made progress.
// Units run in ascending `order` (GIF PATH3 channel before VIF1, then IPU).
void RegisterHardware(const char* name, int order, std::function<bool()> run);

// Blocks the EE main context until `done` holds: services, and when nothing is
// due, moves the clock to the next event.  When no future event exists and the
// condition is still false it reports a deadlock naming `what` (with the state
// dump of every registered reporter) and returns false.
bool WaitUntil(const char* what, const std::function<bool()>& done);

// Adds a reporter whose text is printed with a deadlock or watchdog report.
void RegisterStateReporter(const char* name, std::function<std::string()> report);

}  // namespace console
