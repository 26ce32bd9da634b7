// Safe points that find nothing to do skip the service loop.  Whatever falls
// due or appears between two safe points must still be serviced at the very
// next one, exactly as a full turn of the loop would.
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/kernel.h>
#include <ee/memmap.h>
#include <iop/prelude.h>

#include <string>
#include <vector>

#include "console/dmac/dma_probe.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "ee/intc.h"

namespace {

using console::Cycles;

// A unit whose work the test hands it; `runs` counts the service loop's calls.
int g_work = 0;
int g_runs = 0;

bool RunCounted()
{
    ++g_runs;
    if (g_work == 0)
        return false;
    --g_work;
    return true;
}

bool CountedIdle()
{
    return g_work == 0;
}

class QuietSafePoints : public testing::Test {
protected:
    void SetUp() override
    {
        console::dmac::EnsureRegistered();
        console::ResetScheduler();
        console::dmac::ResetDmac();
        g_work = 0;
        g_runs = 0;
        console::RegisterHardware("test-counted", 50, RunCounted, CountedIdle);
    }
    void TearDown() override
    {
        console::UnregisterHardware("test-counted");
        console::ResetScheduler();
    }

    // Two safe points with nothing to do: the second finds the first's answer.
    static void SettleQuiet()
    {
        console::SafePoint(0);
        console::SafePoint(0);
    }
};

TEST_F(QuietSafePoints, QuietSafePointsSkipTheLoopButKeepTheClock)
{
    SettleQuiet();
    const int runs = g_runs;
    const Cycles start = console::Now();
    for (int i = 0; i < 100; ++i)
        console::SafePoint(7);
    ee_spin(5);
    EXPECT_EQ(g_runs, runs);
    EXPECT_EQ(console::Now(), start + 700 + 5);

    // A unit that cannot say it is idle keeps every safe point servicing.
    int plain_runs = 0;
    console::RegisterHardware("test-unprobed", 60, [&] {
        ++plain_runs;
        return false;
    });
    console::SafePoint(0);
    console::SafePoint(0);
    console::UnregisterHardware("test-unprobed");
    EXPECT_EQ(plain_runs, 2);
    EXPECT_EQ(g_runs, runs + 2);
}

TEST_F(QuietSafePoints, EventsFireAtTheFirstSafePointThatReachesThem)
{
    SettleQuiet();
    std::vector<Cycles> seen;
    const Cycles t0 = console::Now();
    console::ScheduleAt(t0 + 100, "boundary", [&] { seen.push_back(console::Now()); });
    console::SafePoint(99);
    EXPECT_TRUE(seen.empty());
    console::SafePoint(1);  // exactly at the event's time
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], t0 + 100);

    // Scheduled from the main context for a time already passed: the next
    // safe point fires it, even one that costs nothing.
    SettleQuiet();
    console::ScheduleAt(t0 + 50, "late", [&] { seen.push_back(console::Now()); });
    console::SafePoint(0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], t0 + 100);

    // A cancelled earliest event leaves the later one to fire at its own time.
    SettleQuiet();
    console::EventId early = console::ScheduleIn(10, "cancelled", [&] { seen.push_back(0); });
    console::ScheduleIn(20, "kept", [&] { seen.push_back(console::Now()); });
    EXPECT_TRUE(console::Cancel(early));
    console::SafePoint(15);
    EXPECT_EQ(seen.size(), 2u);
    console::SafePoint(5);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2], t0 + 120);

    // Outside the main context a safe point only moves the clock, quiet or
    // not; the event waits for the main context's next one.
    SettleQuiet();
    console::ScheduleIn(10, "after the handler", [&] { seen.push_back(console::Now()); });
    {
        console::ScopedContext handler(console::Context::kInterrupt);
        console::SafePoint(4);
        console::SafePoint(30);
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(console::Now(), t0 + 154);
    console::SafePoint(0);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3], t0 + 154);
}

TEST_F(QuietSafePoints, WorkAnnouncedBetweenSafePointsRunsAtTheNext)
{
    SettleQuiet();
    const int runs = g_runs;
    g_work = 2;
    console::HardwareMayHaveWork();
    console::SafePoint(0);
    EXPECT_EQ(g_work, 0);
    EXPECT_GT(g_runs, runs);

    // Work an event hands over is found by the same service that fires it.
    SettleQuiet();
    console::ScheduleIn(40, "hand over", [] { g_work = 1; });
    console::SafePoint(40);
    EXPECT_EQ(g_work, 0);
}

alignas(16) u128 g_block[3];

TEST_F(QuietSafePoints, PlainStoresToStrStartAndStopChannels)
{
    dmatest::ScopedProbe vif(1);
    for (int i = 0; i < 3; ++i)
        g_block[i] = dmatest::Q(static_cast<uint32_t>(i + 1));
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.DIR = 1;
    ch->chcr.MOD = 0;
    ch->madr = g_block;
    ch->qwc = 3;
    SettleQuiet();
    ch->chcr.STR = 1;  // no register write: the game's own store
    console::SafePoint(0);
    EXPECT_EQ(vif.probe.log.size(), 3u);
    EXPECT_EQ(ch->chcr.STR, 0u);

    // A stalled transfer stopped by a plain store ends at the next safe point
    // and takes nothing more, even once its peripheral would.
    vif.probe.log.clear();
    vif.probe.budget = 1;
    ch->madr = g_block;
    ch->qwc = 3;
    ch->chcr.STR = 1;
    console::SafePoint(0);
    EXPECT_EQ(vif.probe.log.size(), 1u);
    EXPECT_TRUE(console::dmac::ChannelStalled(1));
    ch->chcr.STR = 0;
    console::SafePoint(0);
    EXPECT_FALSE(console::dmac::ChannelBusy(1));
    vif.probe.budget = 100;
    console::SafePoint(0);
    console::SafePoint(0);
    EXPECT_EQ(vif.probe.log.size(), 1u);
}

int g_handled = 0;

int CountingHandler(int)
{
    ++g_handled;
    return -1;
}

TEST_F(QuietSafePoints, InterruptsRaisedOrUnmaskedInTheMainContextAreDeliveredAtTheNextSafePoint)
{
    g_handled = 0;
    const int cause = console::kIntcTimer3;
    const int id = AddIntcHandler(cause, CountingHandler, 0);
    ASSERT_GT(id, 0);
    EnableIntc(cause);

    SettleQuiet();
    console::RaiseIntc(cause);
    console::SafePoint(0);
    EXPECT_EQ(g_handled, 1);

    // Raised while masked: the mask register's flip lets it through.
    DisableIntc(cause);
    console::RaiseIntc(cause);
    SettleQuiet();
    EXPECT_EQ(g_handled, 1);
    console::IntcWriteMask(1u << cause);
    console::SafePoint(0);
    EXPECT_EQ(g_handled, 2);

    // Raised while interrupts are off: delivered as EIntr turns them on.
    DIntr();
    console::RaiseIntc(cause);
    SettleQuiet();
    EXPECT_EQ(g_handled, 2);
    EIntr();
    EXPECT_EQ(g_handled, 3);

    RemoveIntcHandler(cause, id);
    DisableIntc(cause);
}

bool g_woke = false;
int g_wake_sema = 0;

void SemaWaiter(void*)
{
    WaitSema(g_wake_sema);
    g_woke = true;
}

TEST_F(QuietSafePoints, AnIopThreadWokenFromTheEeRunsAtTheNextSafePoint)
{
    g_woke = false;
    iop_sema_t sema{0, 0, 0, 1};
    g_wake_sema = CreateSema(&sema);
    iop_thread_t thread{TH_C, 0, SemaWaiter, 0x800, 30};
    StartThread(CreateThread(&thread), nullptr);
    SettleQuiet();
    ASSERT_FALSE(g_woke);
    EXPECT_EQ(SignalSema(g_wake_sema), KE_OK);
    console::SafePoint(0);
    EXPECT_TRUE(g_woke);
    DeleteSema(g_wake_sema);
}

}  // namespace
