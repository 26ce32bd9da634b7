#include "core/watchdog.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/config.h"
#include "core/diag.h"

namespace console {
namespace detail {
std::atomic<uint32_t> g_watchdog_beat{0};
std::atomic<uint32_t> g_watchdog_virtual_lo{0};
std::atomic<uint32_t> g_watchdog_virtual_hi{0};
std::atomic<bool> g_watchdog_armed{false};
}  // namespace detail

namespace {

// Everything the watchdog thread reads is a lock-free atomic with a trivial
// destructor, so the thread may outlive main and the static destructors, and
// the process may fork (death tests) while it sleeps.
using detail::g_watchdog_armed;
using detail::g_watchdog_beat;
using detail::g_watchdog_virtual_hi;
using detail::g_watchdog_virtual_lo;
std::atomic<int64_t> g_limit_ms{0};
std::atomic<bool> g_thread_started{false};

constexpr auto kPoll = std::chrono::milliseconds(50);

[[noreturn]] void Fire(std::chrono::steady_clock::duration quiet)
{
    double seconds = std::chrono::duration<double>(quiet).count();
    // The EE is stopped outside the stand-in, so reading the modules' state
    // from this thread is a post-mortem, not a race with running code.
    std::string report = StateReport();
    if (!report.empty())
        std::fprintf(stderr, "console: state at the watchdog report:\n%s", report.c_str());
    Diag(Level::kFatal, "watchdog",
         "the EE has not reached a safe point for %.1f s of wall time (virtual time %llu cycles): a loop "
         "that neither calls the stand-in nor ee_spin never sees time pass",
         seconds, static_cast<unsigned long long>(uint64_t{g_watchdog_virtual_hi.load()} << 32 | g_watchdog_virtual_lo.load()));
    Terminate(3);
}

void Watch()
{
    uint32_t seen = g_watchdog_beat.load();
    auto quiet_since = std::chrono::steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(kPoll);
        auto now = std::chrono::steady_clock::now();
        uint32_t beat = g_watchdog_beat.load(std::memory_order_relaxed);
        int64_t limit = g_limit_ms.load(std::memory_order_relaxed);
        if (beat != seen || !g_watchdog_armed.load(std::memory_order_relaxed) || limit <= 0) {
            seen = beat;
            quiet_since = now;
            continue;
        }
        if (now - quiet_since >= std::chrono::milliseconds(limit))
            Fire(now - quiet_since);
    }
}

// A forked child has no watchdog thread; its first safe point starts one.
void AfterForkInChild()
{
    g_thread_started.store(false);
    g_watchdog_armed.store(false);
}

void Arm()
{
    int64_t seconds = GetInt("watchdog-sec", 30);
    g_limit_ms.store(seconds > 0 ? seconds * 1000 : 0);
    g_watchdog_armed.store(true);
    if (seconds <= 0 || g_thread_started.exchange(true))
        return;
    static const bool at_fork_registered = pthread_atfork(nullptr, nullptr, AfterForkInChild) == 0;
    (void)at_fork_registered;
    std::thread(Watch).detach();
}

void Beat()
{
    g_watchdog_beat.store(g_watchdog_beat.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

}  // namespace

void detail::ArmWatchdog()
{
    Arm();
}

void PetWatchdog()
{
    Beat();
}

void DisarmWatchdog()
{
    g_watchdog_armed.store(false);
}

}  // namespace console
