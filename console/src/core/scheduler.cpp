#include "core/scheduler.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <thread>
#include <unordered_map>
#include <vector>

#include <ee/memmap.h>

#include "core/config.h"
#include "core/diag.h"
#include "core/instance.h"
#include "core/watchdog.h"
#include "ee/intc.h"

namespace console {
namespace {

using HostClock = std::chrono::steady_clock;

// In real time the EE may run this far ahead of the host clock before it
// sleeps: spins are cheap, and sleeping for every one would cost more than it
// paces.
constexpr Cycles kRealTimeSlack = kBusHz / 500;  // 2 ms
// Longest single sleep, so the watchdog sees a waiting EE as alive.
constexpr Cycles kLongestSleep = kBusHz / 10;

struct Event {
    const char* name;
    std::function<void()> fn;
    bool tick;
};

// Events are keyed by (time, sequence); the sequence is also the event's id,
// so equal times fire in the order they were scheduled and no ordering ever
// depends on an address.
using EventKey = std::pair<Cycles, uint64_t>;

struct HardwareUnit {
    std::string name;
    int order;
    uint64_t registered;
    std::function<bool()> run;
    // The function `run` holds when it holds a plain one, called directly.
    bool (*plain)() = nullptr;
    bool (*idle)() = nullptr;
};

struct Named {
    std::string name;
    std::function<std::string()> report;
};

struct ResetHook {
    std::string name;
    std::function<void()> reset;
};

struct SchedulerState {
    Cycles now = 0;
    uint64_t next_seq = 1;
    std::map<EventKey, Event> events;
    std::unordered_map<EventId, Cycles> event_time;
    // Time of the earliest event (the largest time when there is none), kept
    // as the queue changes so a safe point compares it without a tree walk.
    Cycles next_due = std::numeric_limits<Cycles>::max();
    size_t tick_events = 0;
    bool in_service = false;
    Context context = Context::kMain;

    bool loaded = false;
    Costs costs;
    ClockPolicy policy = ClockPolicy::kVirtual;
    Cycles deadlock_ticks_only = 10 * kBusHz;
    HostClock::time_point origin;  // host time of virtual time 0 (real time)
};

Instance<SchedulerState> g_state;

SchedulerState& S()
{
    return g_state.Get();
}

// Wiring registered by the modules; it survives ResetScheduler.
std::vector<HardwareUnit>& Hardware()
{
    static std::vector<HardwareUnit> units;
    return units;
}

// Hardware().size() and data(), kept as units come and go: the service
// loop's walk then needs no division by the record's size on every step, and
// the quiet check at every safe point no guarded call.
size_t g_unit_count = 0;
HardwareUnit* g_units = nullptr;

std::vector<Named>& Reporters()
{
    static std::vector<Named> reporters;
    return reporters;
}

std::vector<ResetHook>& ResetHooks()
{
    static std::vector<ResetHook> hooks;
    return hooks;
}

std::function<bool()>& IopRunner()
{
    static std::function<bool()> runner;
    return runner;
}

// The runner as a plain function when it is one, and whether there is one.
bool (*g_iop_plain)() = nullptr;
bool g_iop_set = false;
bool (*g_iop_idle)() = nullptr;

// Whether every unit and the IOP runner (when there is one) can say they are
// idle; without that no safe point may skip the service loop.
bool g_all_probed = true;

// Words the game may store to directly (WatchPlainStores).
// Unused entries watch a word that stays zero, so the check at every safe
// point is a fixed run of loads without a loop.  Four is what the DMA
// channels the service loop runs need; more turn the skipping off.
constexpr size_t kMaxWatches = 4;
const uint32_t g_never_stored = 0;
const void* g_watch_words[kMaxWatches] = {&g_never_stored, &g_never_stored, &g_never_stored, &g_never_stored};
uint32_t g_watch_bits[kMaxWatches] = {};
size_t g_watch_count = 0;
bool g_watches_overflowed = false;

inline uint32_t WatchedBits(size_t i)
{
    uint32_t v;
    std::memcpy(&v, g_watch_words[i], sizeof v);
    return v & g_watch_bits[i];
}

inline bool WatchedBitSet()
{
    static_assert(kMaxWatches == 4);
    return (WatchedBits(0) | WatchedBits(1) | WatchedBits(2) | WatchedBits(3)) != 0;
}

// A forked child (death tests) services at its first safe point, as the IOP
// kernel forgets the parent's threads there.
const bool g_fork_handler = [] {
    pthread_atfork(nullptr, nullptr, [] { detail::g_quiet = false; });
    return true;
}();

void NoteWiring()
{
    detail::g_quiet = false;
    std::vector<HardwareUnit>& units = Hardware();
    g_unit_count = units.size();
    g_units = units.data();
    bool probed = !g_iop_set || g_iop_idle != nullptr;
    for (const HardwareUnit& u : units)
        probed = probed && u.idle != nullptr;
    g_all_probed = probed;
}

bool (*PlainFunction(const std::function<bool()>& fn))()
{
    bool (*const* p)() = fn.target<bool (*)()>();
    return p ? *p : nullptr;
}

int64_t OptionInRange(const char* name, int64_t fallback, int64_t low, int64_t high)
{
    int64_t v = GetInt(name, fallback);
    if (v < low || v > high) {
        Diag(Level::kError, "config", "--%s must be %lld..%lld, not %lld; using %lld", name,
             static_cast<long long>(low), static_cast<long long>(high), static_cast<long long>(v),
             static_cast<long long>(fallback));
        return fallback;
    }
    return v;
}

HostClock::duration CyclesToHost(Cycles c)
{
    uint64_t ns = (c / kBusHz) * 1'000'000'000ull + (c % kBusHz) * 1'000'000'000ull / kBusHz;
    return std::chrono::duration_cast<HostClock::duration>(std::chrono::nanoseconds(ns));
}

Cycles HostToCycles(HostClock::duration d)
{
    int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    if (ns <= 0)
        return 0;
    uint64_t u = static_cast<uint64_t>(ns);
    return (u / 1'000'000'000ull) * kBusHz + (u % 1'000'000'000ull) * kBusHz / 1'000'000'000ull;
}

void SetOrigin(SchedulerState& s)
{
    s.origin = HostClock::now() - CyclesToHost(s.now);
}

void Load(SchedulerState& s)
{
    s.loaded = true;
    Costs c;
    c.spin_iteration = OptionInRange("ee-spin-cycles", 1, 0, 1'000'000);
    c.register_access = OptionInRange("reg-access-cycles", 20, 0, 1'000'000);
    c.poll_call = OptionInRange("poll-call-cycles", 150, 0, 1'000'000);
    c.iop_call_us = OptionInRange("iop-call-us", 1, 0, 1'000'000);
    c.iop_spin_cycles = OptionInRange("iop-spin-cycles", 2, 0, 1'000'000);
    c.sif_latency_us = OptionInRange("sif-latency-us", 20, 0, 10'000'000);
    c.sif_dma_us = OptionInRange("sif-dma-us", 2, 0, 10'000'000);
    c.sif_dma_mbps = OptionInRange("sif-dma-mbps", 100, 1, 100'000);
    c.spu_xfer_mbps = OptionInRange("spu-xfer-mbps", 10, 1, 100'000);
    c.pad_cmd_fields = OptionInRange("pad-cmd-fields", 4, 0, 1'000);
    c.pad_align_fields = OptionInRange("pad-align-fields", 2, 0, 1'000);
    std::string cd = GetString("cd-model", "fast");
    if (cd == "instant")
        c.cd_model = CdModel::kInstant;
    else if (cd == "real")
        c.cd_model = CdModel::kReal;
    else if (cd != "fast")
        Diag(Level::kError, "config", "--cd-model must be instant, fast or real, not '%s'", cd.c_str());
    s.costs = c;

    s.deadlock_ticks_only = static_cast<Cycles>(OptionInRange("deadlock-sec", 10, 1, 1'000'000)) * kBusHz;

    std::string clock = GetString("clock", "virtual");
    if (clock == "realtime") {
        s.policy = ClockPolicy::kRealTime;
        SetOrigin(s);
    } else {
        if (clock != "virtual")
            Diag(Level::kError, "config", "--clock must be virtual or realtime, not '%s'", clock.c_str());
        s.policy = ClockPolicy::kVirtual;
    }
}

inline __attribute__((always_inline)) SchedulerState& Loaded()
{
    SchedulerState& s = S();
    if (!s.loaded)
        Load(s);
    return s;
}

Cycles HostNow(const SchedulerState& s)
{
    return HostToCycles(HostClock::now() - s.origin);
}

// Sleeps until the host clock reaches virtual time `target` (real time only),
// in slices short enough for the watchdog to see the EE alive.
void SleepUntil(const SchedulerState& s, Cycles target)
{
    for (;;) {
        Cycles host = HostNow(s);
        if (host >= target)
            return;
        PetWatchdog();
        std::this_thread::sleep_for(CyclesToHost(std::min(target - host, kLongestSleep)));
    }
}

// Moves the clock forward by `cost` under the clock policy.
void Advance(SchedulerState& s, Cycles cost, bool may_sleep)
{
    s.now += cost;
    if (s.policy != ClockPolicy::kRealTime)
        return;
    Cycles host = HostNow(s);
    if (host > s.now)
        s.now = host;  // the game computed longer than its costs: catch up
    else if (may_sleep && s.now - host > kRealTimeSlack)
        SleepUntil(s, s.now);
}

void NoteNextDue(SchedulerState& s)
{
    s.next_due = s.events.empty() ? std::numeric_limits<Cycles>::max() : s.events.begin()->first.first;
}

EventId Insert(Cycles when, const char* name, std::function<void()> fn, bool tick)
{
    SchedulerState& s = S();
    // An event may lie in the past (a field boundary the clock jumped over):
    // it keeps its time, so due events still fire in time order.
    EventId id = s.next_seq++;
    s.events.emplace(EventKey{when, id}, Event{name, std::move(fn), tick});
    s.event_time.emplace(id, when);
    s.next_due = std::min(s.next_due, when);
    if (tick)
        ++s.tick_events;
    return id;
}

// Fires the events of the earliest due time, in sequence order (including
// any scheduled for that same time while they fire).  Later times are left for
// the next turn of the service loop, so interrupts and IOP threads run between
// them: missed field boundaries are each dispatched in turn.
bool FireDueGroup(SchedulerState& s)
{
    if (s.events.empty() || s.events.begin()->first.first > s.now)
        return false;
    Cycles t = s.events.begin()->first.first;
    while (!s.events.empty() && s.events.begin()->first.first == t) {
        auto it = s.events.begin();
        Event ev = std::move(it->second);
        s.event_time.erase(it->first.second);
        s.events.erase(it);
        NoteNextDue(s);
        if (ev.tick)
            --s.tick_events;
        if (TraceOn("sched"))
            Trace("sched", "%llu event %s", static_cast<unsigned long long>(t), ev.name);
        ScopedContext ctx(Context::kService);
        ev.fn();
    }
    return true;
}

bool RunHardware()
{
    std::vector<HardwareUnit>& units = Hardware();
    ScopedContext ctx(Context::kService);
    bool any = false;
    for (;;) {
        bool pass = false;
        // Indexing, not iterators: a unit may register another while it runs.
        for (size_t i = 0; i < g_unit_count; ++i) {
            HardwareUnit& u = units[i];
            if (u.plain ? u.plain() : u.run())
                pass = true;
        }
        if (!pass)
            return any;
        any = true;
    }
}

bool RunIop()
{
    if (!g_iop_set)
        return false;
    ScopedContext ctx(Context::kService);
    return g_iop_plain ? g_iop_plain() : IopRunner()();
}

// True when a turn of the service loop would find nothing to do and change
// nothing: no event due, no IOP thread ready, every unit idle and no
// interrupt to deliver.  Only the EE main context outside the service loop
// asks.
bool Quiet(const SchedulerState& s)
{
    if (!g_all_probed || g_watches_overflowed)
        return false;
    if (s.next_due <= s.now || WatchedBitSet())
        return false;
    if (g_iop_idle && !g_iop_idle())
        return false;
    const HardwareUnit* units = g_units;
    for (size_t i = 0, n = g_unit_count; i < n; ++i)
        if (!units[i].idle())
            return false;
    return !InterruptReady();
}

void Service(SchedulerState& s)
{
    if (s.in_service)
        return;
    s.in_service = true;
    for (;;) {
        bool progress = FireDueGroup(s);
        if (RunIop())
            progress = true;
        if (RunHardware())
            progress = true;
        // One cause at a time: hardware its handler kicked runs before the
        // next cause is dispatched.
        if (DispatchPendingInterrupt())
            progress = true;
        if (!progress)
            break;
    }
    s.in_service = false;
}

const char* ContextName(Context c)
{
    switch (c) {
    case Context::kMain: return "EE main";
    case Context::kInterrupt: return "interrupt";
    case Context::kService: return "hardware";
    case Context::kIop: return "IOP";
    }
    return "?";
}

void ReportDeadlock(const SchedulerState& s, const char* what, const char* why)
{
    for (const Named& r : Reporters())
        Diag(Level::kInfo, "sched", "state of %s: %s", r.name.c_str(), r.report().c_str());
    Diag(Level::kError, "sched", "deadlock at cycle %llu: the EE waits for %s, %s",
         static_cast<unsigned long long>(s.now), what, why);
}

}  // namespace

namespace detail {
bool g_quiet = false;
}

Cycles Now()
{
    return S().now;
}

namespace {

// The main context's safe point under any clock policy, once the quick one
// below has declined.
__attribute__((noinline)) void MainSafePoint(SchedulerState& s, Cycles cost)
{
    Advance(s, cost, true);
    // The last safe point found nothing to do and nothing has changed since
    // but the clock: servicing now would change nothing either, unless an
    // event has fallen due.
    if (detail::g_quiet && s.now < s.next_due && !WatchedBitSet()) {
        WatchdogStamp(s.now);
        return;
    }
    Service(s);
    detail::g_quiet = Quiet(s);
    WatchdogStamp(s.now);
}

}  // namespace

void SafePoint(Cycles cost)
{
    // The cost is read as two words: a caller on this 32-bit target hands it
    // over as two word stores, which a single 64-bit load would wait for
    // until both had left the store buffer.
    uint32_t lo = static_cast<uint32_t>(cost), hi = static_cast<uint32_t>(cost >> 32);
    asm("" : "+r"(lo), "+r"(hi));
    cost = (Cycles{hi} << 32) | lo;
    WatchdogBeat();
    SchedulerState& s = Loaded();
    // MainSafePoint's skip on the virtual clock, without its call.  Outside
    // the main context it does what the branch below does.
    if (detail::g_quiet && s.policy == ClockPolicy::kVirtual) {
        const Cycles now = s.now + cost;
        if (now < s.next_due && !WatchedBitSet()) {
            // Stored as the two words it was summed in: moved whole, it
            // would go through an SSE register by a store and a reload that
            // waits for both words.
            uint32_t now_lo = static_cast<uint32_t>(now), now_hi = static_cast<uint32_t>(now >> 32);
            asm("" : "+r"(now_lo), "+r"(now_hi));
            std::memcpy(reinterpret_cast<char*>(&s.now), &now_lo, sizeof now_lo);
            std::memcpy(reinterpret_cast<char*>(&s.now) + sizeof now_lo, &now_hi, sizeof now_hi);
            WatchdogStamp(now);
            return;
        }
    }
    if (s.context != Context::kMain || s.in_service) {
        s.now += cost;
        WatchdogStamp(s.now);
        return;
    }
    MainSafePoint(s, cost);
}

void AdvanceClock(Cycles cost)
{
    SchedulerState& s = Loaded();
    Advance(s, cost, false);
    WatchdogStamp(s.now);
}

EventId ScheduleAt(Cycles when, const char* name, std::function<void()> fn)
{
    return Insert(when, name, std::move(fn), false);
}

EventId ScheduleIn(Cycles delay, const char* name, std::function<void()> fn)
{
    return Insert(S().now + delay, name, std::move(fn), false);
}

EventId ScheduleTickAt(Cycles when, const char* name, std::function<void()> fn)
{
    return Insert(when, name, std::move(fn), true);
}

bool Cancel(EventId id)
{
    SchedulerState& s = S();
    auto it = s.event_time.find(id);
    if (it == s.event_time.end())
        return false;
    auto ev = s.events.find(EventKey{it->second, id});
    if (ev->second.tick)
        --s.tick_events;
    s.events.erase(ev);
    s.event_time.erase(it);
    NoteNextDue(s);
    return true;
}

bool NextEventTime(Cycles* when)
{
    const SchedulerState& s = S();
    if (s.events.empty())
        return false;
    *when = s.events.begin()->first.first;
    return true;
}

void RegisterHardware(const char* name, int order, std::function<bool()> run, bool (*idle)())
{
    auto& units = Hardware();
    uint64_t registered = units.size();
    auto same = std::find_if(units.begin(), units.end(), [&](const HardwareUnit& u) { return u.name == name; });
    if (same != units.end()) {
        registered = same->registered;
        units.erase(same);
    } else {
        for (const HardwareUnit& u : units)
            registered = std::max(registered, u.registered + 1);
    }
    bool (*plain)() = PlainFunction(run);
    units.push_back(HardwareUnit{name, order, registered, std::move(run), plain, idle});
    std::stable_sort(units.begin(), units.end(), [](const HardwareUnit& a, const HardwareUnit& b) {
        return a.order != b.order ? a.order < b.order : a.registered < b.registered;
    });
    NoteWiring();
}

void UnregisterHardware(const char* name)
{
    auto& units = Hardware();
    units.erase(std::remove_if(units.begin(), units.end(),
                               [&](const HardwareUnit& u) { return u.name == name; }),
                units.end());
    NoteWiring();
}

void WatchPlainStores(const void* word, uint32_t bits)
{
    detail::g_quiet = false;
    for (size_t i = 0; i < g_watch_count; ++i) {
        if (g_watch_words[i] == word) {
            g_watch_bits[i] |= bits;
            return;
        }
    }
    if (g_watch_count == kMaxWatches) {
        g_watches_overflowed = true;
        return;
    }
    g_watch_words[g_watch_count] = word;
    g_watch_bits[g_watch_count] = bits;
    ++g_watch_count;
}

void UnregisterStateReporter(const char* name)
{
    auto& reporters = Reporters();
    reporters.erase(
        std::remove_if(reporters.begin(), reporters.end(), [&](const Named& r) { return r.name == name; }),
        reporters.end());
}

void SetIopRunner(std::function<bool()> run, bool (*idle)())
{
    g_iop_plain = PlainFunction(run);
    g_iop_set = static_cast<bool>(run);
    g_iop_idle = g_iop_set ? idle : nullptr;
    IopRunner() = std::move(run);
    NoteWiring();
}

bool WaitUntil(const char* what, const std::function<bool()>& done)
{
    SchedulerState& s = Loaded();
    if (s.context != Context::kMain || s.in_service) {
        Diag(Level::kError, "sched", "a blocking wait for %s in %s context", what, ContextName(s.context));
        return false;
    }
    SafePoint(0);
    Cycles ticks_only_since = s.now;
    for (;;) {
        if (done())
            return true;
        Cycles next;
        if (!NextEventTime(&next)) {
            ReportDeadlock(s, what, "and no event is left that could end the wait");
            return false;
        }
        if (s.tick_events < s.events.size())
            ticks_only_since = s.now;
        else if (s.now - ticks_only_since >= s.deadlock_ticks_only) {
            char why[96];
            std::snprintf(why, sizeof why, "and nothing but clock ticks has happened for %llu virtual seconds",
                          static_cast<unsigned long long>(s.deadlock_ticks_only / kBusHz));
            ReportDeadlock(s, what, why);
            return false;
        }
        if (next > s.now) {
            if (s.policy == ClockPolicy::kRealTime) {
                SleepUntil(s, next);
                s.now = std::max(next, HostNow(s));
            } else {
                s.now = next;
            }
        }
        SafePoint(0);
    }
}

void RegisterStateReporter(const char* name, std::function<std::string()> report)
{
    for (Named& r : Reporters()) {
        if (r.name == name) {
            r.report = std::move(report);
            return;
        }
    }
    Reporters().push_back(Named{name, std::move(report)});
}

std::string StateReport()
{
    std::string text;
    for (const Named& r : Reporters())
        text += r.name + ": " + r.report() + "\n";
    return text;
}

void RegisterResetHook(const char* name, std::function<void()> reset)
{
    for (ResetHook& h : ResetHooks()) {
        if (h.name == name) {
            h.reset = std::move(reset);
            return;
        }
    }
    ResetHooks().push_back(ResetHook{name, std::move(reset)});
}

const Costs& GetCosts()
{
    return Loaded().costs;
}

void SetClockPolicy(ClockPolicy policy)
{
    SchedulerState& s = Loaded();
    if (policy == ClockPolicy::kRealTime && s.policy != ClockPolicy::kRealTime)
        SetOrigin(s);
    s.policy = policy;
}

ClockPolicy GetClockPolicy()
{
    return Loaded().policy;
}

Context CurrentContext()
{
    return S().context;
}

ScopedContext::ScopedContext(Context context) : saved_(S().context)
{
    S().context = context;
}

ScopedContext::~ScopedContext()
{
    S().context = saved_;
}

void ResetScheduler()
{
    SchedulerState& s = S();
    s.now = 0;
    // Event ids keep counting, so an id held from before the reset can never
    // cancel a new event.
    s.events.clear();
    s.event_time.clear();
    NoteNextDue(s);
    s.tick_events = 0;
    s.in_service = false;
    s.context = Context::kMain;
    s.loaded = false;
    DisarmWatchdog();
    WatchdogStamp(0);
    for (ResetHook& h : ResetHooks())
        h.reset();
    detail::g_quiet = false;
}

}  // namespace console

void ee_spin(u32 n)
{
    console::SafePoint(static_cast<console::Cycles>(n) * console::Loaded().costs.spin_iteration);
}
