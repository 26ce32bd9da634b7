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
// were scheduled; a time already past fires at the next service, in time
// order with the other due events.  `name` (for traces) must outlive the
// event: pass a literal.  Returns an id usable with Cancel.
using EventId = uint64_t;
EventId ScheduleAt(Cycles when, const char* name, std::function<void()> fn);
EventId ScheduleIn(Cycles delay, const char* name, std::function<void()> fn);
bool Cancel(EventId id);

// A hardware unit that the service loop runs until every unit is idle or
// stalled.  `run` does what it can and returns true if it made progress.
// Units run in ascending `order` (GIF PATH3 channel before VIF1, then IPU).
// `idle`, when given, answers without side effects whether `run` would return
// false and change nothing if it were called now; a safe point skips the
// service loop only when every unit, the IOP runner and the interrupt
// controller answer so and no event is due.  A unit without it keeps every
// safe point servicing.
void RegisterHardware(const char* name, int order, std::function<bool()> run, bool (*idle)() = nullptr);

// A change, outside the service loop, to state that an `idle` answer reads
// (a register write, a library call of the game's, an interrupt raised, an
// IOP thread made ready): the next safe point services even though the last
// one found nothing to do.  Changes the service loop makes itself need not
// call it.
namespace detail {
extern bool g_quiet;
}
inline void HardwareMayHaveWork()
{
    detail::g_quiet = false;
}

// Bits of a word the game may change with a plain store that no stand-in
// call sees (STR in a DMA channel's block): while any of them is set, every
// safe point services.  The word must outlive the run; more than four words
// keep every safe point servicing.
void WatchPlainStores(const void* word, uint32_t bits);

// Blocks the EE main context until `done` holds: services, and when nothing is
// due, moves the clock to the next event.  When no future event exists and the
// condition is still false it reports a deadlock naming `what` (with the state
// dump of every registered reporter) and returns false.
bool WaitUntil(const char* what, const std::function<bool()>& done);

// Adds a reporter whose text is printed with a deadlock or watchdog report.
void RegisterStateReporter(const char* name, std::function<std::string()> report);

// ---------------------------------------------------------------------------
// Time conversions.  Every derived rate is computed from the bus clock in
// integers, so results repeat exactly.

constexpr Cycles kIopCycle = 4;        // the IOP runs at a quarter of the bus clock
constexpr Cycles kTimerTick256 = 256;  // timer 0 at bus / 256 (576 kHz)
constexpr Cycles kSpuSample = 3'072;   // one 48 kHz output sample
constexpr Cycles kPalField = 2'949'120;

// Whole bus cycles in `us` microseconds (rounded down).
constexpr Cycles MicrosecondsToCycles(uint64_t us)
{
    return us * (kBusHz / 1000) / 1000;
}
// Bus cycles to move `bytes` at `mbytes_per_sec` million bytes per second.
constexpr Cycles TransferCycles(uint64_t bytes, uint64_t mbytes_per_sec)
{
    return mbytes_per_sec == 0 ? 0 : bytes * (kBusHz / 1000) / (mbytes_per_sec * 1000);
}

// ---------------------------------------------------------------------------
// Costs and latencies of the model, read from the options at start-up and at
// every ResetScheduler.

enum class CdModel { kInstant, kFast, kReal };

struct Costs {
    Cycles spin_iteration = 1;        // --ee-spin-cycles: ee_spin(N) costs N of these
    Cycles register_access = 20;      // --reg-access-cycles: one DPUT_/DGET_ accessor
    Cycles poll_call = 150;           // --poll-call-cycles: a polling library call
    uint32_t iop_call_us = 1;         // --iop-call-us: one IOP kernel call
    uint32_t iop_spin_cycles = 2;     // --iop-spin-cycles: IOP cycles per iop_spin iteration
    uint32_t sif_latency_us = 20;     // --sif-latency-us: SIF request and reply delivery
    uint32_t sif_dma_us = 2;          // --sif-dma-us: fixed part of a SIF DMA
    uint32_t sif_dma_mbps = 100;      // --sif-dma-mbps: SIF DMA rate
    CdModel cd_model = CdModel::kFast;  // --cd-model
    uint32_t spu_xfer_mbps = 10;      // --spu-xfer-mbps: sound-RAM transfer rate
    uint32_t pad_cmd_fields = 4;      // --pad-cmd-fields: a pad command (state 5)
    uint32_t pad_align_fields = 2;    // --pad-align-fields: actuator alignment
};
const Costs& GetCosts();

// ---------------------------------------------------------------------------
// Clock policies.  Virtual: time moves only by costs and by jumps to the next
// event in blocking waits.  Real time: the clock is slaved to the host's
// monotonic clock, never running more than 2 ms ahead of it, and blocking
// waits sleep until the next event's host time.  The initial policy comes
// from --clock (default virtual); a windowed front end switches to real time
// when --clock was not given.

enum class ClockPolicy { kVirtual, kRealTime };
void SetClockPolicy(ClockPolicy policy);
ClockPolicy GetClockPolicy();

// ---------------------------------------------------------------------------
// Execution contexts (one runs at a time).  kService is stand-in code run by
// the service loop (events, hardware); kIop is an IOP thread holding the baton.
// Outside the EE main context a safe point only advances the clock: service
// happens when control is back in the main context.

enum class Context { kMain, kInterrupt, kService, kIop };
Context CurrentContext();

// Marks the current context for the lifetime of the object (the IOP kernel
// around a thread's turn, the interrupt dispatcher around a handler chain).
class ScopedContext {
public:
    explicit ScopedContext(Context context);
    ~ScopedContext();
    ScopedContext(const ScopedContext&) = delete;
    ScopedContext& operator=(const ScopedContext&) = delete;

private:
    Context saved_;
};

// Advances the clock without servicing (costs incurred by IOP threads and
// interrupt handlers).  Events that fall due fire at the next service.
void AdvanceClock(Cycles cost);

// A clock tick that re-arms itself forever (field boundaries, the mixer).
// It fires like any event, but a blocking wait whose only future events are
// ticks reports a deadlock once --deadlock-sec virtual seconds (default 10)
// have passed without the condition becoming true.
EventId ScheduleTickAt(Cycles when, const char* name, std::function<void()> fn);

// Time of the earliest queued event, or false when the queue is empty.
bool NextEventTime(Cycles* when);

// The step of the service loop that runs ready IOP threads until none is
// ready; returns true if any ran.  Installed by the IOP kernel, with `idle`
// answering as a hardware unit's does (see RegisterHardware).
void SetIopRunner(std::function<bool()> run, bool (*idle)() = nullptr);

// Remove a hardware unit or a state reporter by name (a module shutting
// down, a test's probe), never from inside that unit's run.  Unknown names
// are ignored.
void UnregisterHardware(const char* name);
void UnregisterStateReporter(const char* name);

// The state of every reporter, one "name: text" block per reporter.
std::string StateReport();

// Called by ResetScheduler after the clock and queue are cleared, in
// registration order, so every module returns to its power-on state.
void RegisterResetHook(const char* name, std::function<void()> reset);

// Test hook: time 0, no events, costs and clock policy re-read from the
// options, the watchdog disarmed until the next safe point; then the reset
// hooks (interrupt controller, video timing, timer 0, ...).  Hardware units,
// reporters, reset hooks and the IOP runner stay registered.
void ResetScheduler();

// ---------------------------------------------------------------------------
// The watchdog: a host thread outside the simulation that ends the run with a
// report when the EE has not reached a safe point for --watchdog-sec seconds
// of wall time (default 30; 0 turns it off).  It is armed at the first safe
// point and costs the EE one atomic increment per safe point.

void DisarmWatchdog();
// Counts as reaching a safe point without touching the clock (long host-side
// work such as sleeping in a real-time wait).
void PetWatchdog();

}  // namespace console
