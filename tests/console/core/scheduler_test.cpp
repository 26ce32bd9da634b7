#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <ee/memmap.h>

#include "console/core/diag_support.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"

namespace {

using console::Cycles;
using console::kBusHz;

class Scheduler : public testing::Test {
protected:
    void SetUp() override { console::ResetScheduler(); }
    void TearDown() override
    {
        console::SetOption("clock", "virtual");
        console::SetOption("ee-spin-cycles", "1");
        console::SetOption("deadlock-sec", "10");
        console::SetOption("reg-access-cycles", "20");
        console::ResetScheduler();
        console::ClearDiagLog();
    }

    static bool LogHas(const std::string& text) { return diagtest::LogHas(text); }
};

TEST_F(Scheduler, EqualTimesFireInInsertionOrder)
{
    std::string order;
    console::ScheduleAt(100, "a", [&] {
        order += 'a';
        // Scheduled for the same time while that time is firing: after the rest.
        console::ScheduleAt(100, "f", [&] { order += 'f'; });
    });
    console::ScheduleAt(50, "b", [&] { order += 'b'; });
    console::ScheduleAt(100, "c", [&] { order += 'c'; });
    console::ScheduleAt(100, "d", [&] { order += 'd'; });
    console::ScheduleAt(50, "e", [&] { order += 'e'; });
    console::SafePoint(100);
    EXPECT_EQ(order, "beacdf");
}

TEST_F(Scheduler, EventsFireOnlyWhenDueAndCancelledOnesNever)
{
    int fired = 0, cancelled = 0;
    console::ScheduleIn(100, "due", [&] { ++fired; });
    console::EventId id = console::ScheduleIn(100, "cancelled", [&] { ++cancelled; });
    EXPECT_TRUE(console::Cancel(id));
    EXPECT_FALSE(console::Cancel(id));
    console::SafePoint(99);
    EXPECT_EQ(fired, 0);
    console::SafePoint(1);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(console::Now(), 100u);
}

TEST_F(Scheduler, EeSpinAdvancesByItsIterationCount)
{
    ee_spin(1000);
    EXPECT_EQ(console::Now(), 1000u);
    ee_spin(0);
    EXPECT_EQ(console::Now(), 1000u);

    console::SetOption("ee-spin-cycles", "3");
    console::ResetScheduler();
    ee_spin(1000);
    EXPECT_EQ(console::Now(), 3000u);
}

TEST_F(Scheduler, SpinFiresEventsItPasses)
{
    Cycles seen = 0;
    console::ScheduleAt(500, "probe", [&] { seen = console::Now(); });
    ee_spin(1000);
    // The event fires in the spin's service, which sees the time already reached.
    EXPECT_EQ(seen, 1000u);
}

TEST_F(Scheduler, HardwareRunsInOrderUntilEveryUnitIsIdle)
{
    std::string trace;
    int gif_work = 0, vif_work = 2;
    // VIF1 (order 2) hands GIF work (order 1): the pass repeats until both idle.
    console::RegisterHardware("test-vif", 2, [&] {
        if (vif_work == 0)
            return false;
        --vif_work;
        ++gif_work;
        trace += 'v';
        return true;
    });
    console::RegisterHardware("test-gif", 1, [&] {
        if (gif_work == 0)
            return false;
        --gif_work;
        trace += 'g';
        return true;
    });
    console::SafePoint(0);
    console::UnregisterHardware("test-vif");
    console::UnregisterHardware("test-gif");
    EXPECT_EQ(trace, "vgvg");
    EXPECT_EQ(gif_work, 0);
}

TEST_F(Scheduler, WaitMovesTheClockToTheNextEvent)
{
    bool flag = false;
    console::ScheduleAt(1'000'000, "flag", [&] { flag = true; });
    console::ScheduleAt(3'000'000, "later", [] {});
    EXPECT_TRUE(console::WaitUntil("the flag", [&] { return flag; }));
    EXPECT_EQ(console::Now(), 1'000'000u);
}

TEST_F(Scheduler, WaitWithNoFutureEventReportsADeadlockWithEveryState)
{
    console::RegisterStateReporter("test-channel", [] { return std::string("channel 1 busy at tag 0x1000"); });
    bool ok;
    {
        console::ScopedDiagCapture capture;
        ok = console::WaitUntil("the reply of call 6", [] { return false; });
    }
    console::UnregisterStateReporter("test-channel");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(LogHas("deadlock"));
    EXPECT_TRUE(LogHas("the reply of call 6"));
    EXPECT_TRUE(LogHas("channel 1 busy at tag 0x1000"));
}

TEST_F(Scheduler, WaitWithOnlyClockTicksReportsADeadlockAfterTheLimit)
{
    console::SetOption("deadlock-sec", "2");
    console::ResetScheduler();
    constexpr Cycles kPeriod = kBusHz / 100;
    std::function<void()> tick = [&] { console::ScheduleTickAt(console::Now() + kPeriod, "tick", tick); };
    console::ScheduleTickAt(kPeriod, "tick", tick);
    bool ok;
    {
        console::ScopedDiagCapture capture;
        ok = console::WaitUntil("a reply nobody sends", [] { return false; });
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(LogHas("deadlock"));
    EXPECT_GE(console::Now(), 2 * kBusHz);
    EXPECT_LE(console::Now(), 2 * kBusHz + kPeriod);
}

TEST_F(Scheduler, WaitEndedByATickIsNoDeadlock)
{
    int ticks = 0;
    std::function<void()> tick = [&] {
        ++ticks;
        console::ScheduleTickAt(console::Now() + kBusHz, "tick", tick);
    };
    console::ScheduleTickAt(kBusHz, "tick", tick);
    EXPECT_TRUE(console::WaitUntil("three ticks", [&] { return ticks == 3; }));
    EXPECT_EQ(console::Now(), 3 * kBusHz);
}

TEST_F(Scheduler, BlockingOutsideTheMainContextIsRefused)
{
    bool ok;
    {
        console::ScopedDiagCapture capture;
        console::ScopedContext ctx(console::Context::kInterrupt);
        ok = console::WaitUntil("anything", [] { return false; });
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(LogHas("interrupt context"));
}

TEST_F(Scheduler, SafePointOutsideTheMainContextOnlyAdvancesTheClock)
{
    bool fired = false;
    console::ScheduleAt(5, "probe", [&] { fired = true; });
    {
        console::ScopedContext ctx(console::Context::kIop);
        console::SafePoint(10);
        EXPECT_FALSE(fired);
        EXPECT_EQ(console::Now(), 10u);
    }
    console::SafePoint(0);
    EXPECT_TRUE(fired);
}

TEST_F(Scheduler, ResetReturnsToTimeZeroWithAnEmptyQueue)
{
    bool fired = false;
    console::ScheduleAt(10, "stale", [&] { fired = true; });
    ee_spin(5);
    console::ResetScheduler();
    EXPECT_EQ(console::Now(), 0u);
    Cycles when;
    EXPECT_FALSE(console::NextEventTime(&when));
    ee_spin(20);
    EXPECT_FALSE(fired);
}

TEST_F(Scheduler, CostsComeFromTheOptions)
{
    EXPECT_EQ(console::GetCosts().register_access, 20u);
    EXPECT_EQ(console::GetCosts().poll_call, 150u);
    EXPECT_EQ(console::GetCosts().sif_latency_us, 20u);
    console::SetOption("reg-access-cycles", "33");
    console::ResetScheduler();
    EXPECT_EQ(console::GetCosts().register_access, 33u);

    console::SetOption("reg-access-cycles", "-1");
    console::ResetScheduler();
    {
        console::ScopedDiagCapture capture;
        EXPECT_EQ(console::GetCosts().register_access, 20u);
    }
    EXPECT_TRUE(LogHas("reg-access-cycles"));
}

TEST(SchedulerTime, ConversionsFollowTheBusClock)
{
    EXPECT_EQ(console::MicrosecondsToCycles(1'000'000), kBusHz);
    EXPECT_EQ(console::MicrosecondsToCycles(1000), 147'456u);  // DelayThread(1000) is exact
    EXPECT_EQ(console::MicrosecondsToCycles(20), 2'949u);      // 2,949.12 rounded down
    EXPECT_EQ(console::TransferCycles(10'000'000, 10), kBusHz);
    EXPECT_EQ(console::TransferCycles(100, 100), 147u);        // 1 us
    EXPECT_EQ(kBusHz / 48'000, console::kSpuSample);
    EXPECT_EQ(kBusHz / 50, console::kPalField);
}

// In real time the clock is paced by the host clock.  These check the pacing
// behaviour: never early (the clock must not run ahead of the host), and not
// grossly late; the upper bound leaves room for a busy machine running many
// tests at once.  They measure no performance.
TEST_F(Scheduler, RealTimeSpinsArePacedToTheHostClock)
{
    console::SetClockPolicy(console::ClockPolicy::kRealTime);
    const Cycles target = kBusHz / 10;  // 100 ms
    auto start = std::chrono::steady_clock::now();
    while (console::Now() < target)
        ee_spin(1000);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 80.0);
    EXPECT_LE(ms, 250.0);
}

TEST_F(Scheduler, RealTimeWaitSleepsUntilTheEvent)
{
    console::SetClockPolicy(console::ClockPolicy::kRealTime);
    bool flag = false;
    console::ScheduleAt(kBusHz / 10, "flag", [&] { flag = true; });
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(console::WaitUntil("the flag", [&] { return flag; }));
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 80.0);
    EXPECT_LE(ms, 250.0);
}

TEST_F(Scheduler, RealTimeClockCatchesUpWithTheHost)
{
    console::SetClockPolicy(console::ClockPolicy::kRealTime);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    console::SafePoint(0);
    EXPECT_GE(console::Now(), kBusHz / 1000 * 30);
}

TEST_F(Scheduler, ClockOptionSelectsThePolicy)
{
    EXPECT_EQ(console::GetClockPolicy(), console::ClockPolicy::kVirtual);
    console::SetOption("clock", "realtime");
    console::ResetScheduler();
    EXPECT_EQ(console::GetClockPolicy(), console::ClockPolicy::kRealTime);
}

using SchedulerDeathTest = Scheduler;

TEST_F(SchedulerDeathTest, StrictDeadlockEndsTheRun)
{
    EXPECT_EXIT(console::WaitUntil("a semaphore nobody signals", [] { return false; }), testing::ExitedWithCode(3),
                "deadlock.*a semaphore nobody signals");
}

TEST_F(SchedulerDeathTest, WatchdogAbortsALoopWithoutSafePoints)
{
    EXPECT_EXIT(
        {
            console::SetOption("watchdog-sec", "1");
            console::ResetScheduler();
            console::SafePoint(0);
            volatile unsigned spins = 0;
            for (;;)
                spins = spins + 1;
        },
        testing::ExitedWithCode(3), "watchdog.*not reached a safe point");
}

TEST_F(SchedulerDeathTest, WatchdogLeavesALoopWithSafePointsAlone)
{
    EXPECT_EXIT(
        {
            console::SetOption("watchdog-sec", "1");
            console::ResetScheduler();
            auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1300);
            while (std::chrono::steady_clock::now() < end)
                ee_spin(1000);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
