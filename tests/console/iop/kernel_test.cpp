#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <iop/prelude.h>

#include <ee/kernel.h>

#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/console_out.h"
#include "iop/threadman.h"
#include "console/sif/iop_test_util.h"

namespace {

using console::Cycles;
using console::MicrosecondsToCycles;

// What the test threads did, in order, with the time they did it.
std::vector<std::string> g_log;
std::vector<Cycles> g_times;
int g_sema = 0;
int g_done = 0;

void Note(const std::string& what)
{
    g_log.push_back(what);
    g_times.push_back(console::Now());
}

int MakeThread(void (*entry)(void*), int priority)
{
    iop_thread_t param{TH_C, 0, entry, 0x800, static_cast<u32>(priority)};
    return CreateThread(&param);
}

int MakeSema(int initial, int max = 16)
{
    iop_sema_t param{0, 0, initial, max};
    return CreateSema(&param);
}

// Runs the machine until `n` test threads have finished.
bool WaitDone(int n)
{
    return console::iop::WaitForIop("the test threads", [n] { return g_done >= n; });
}

class IopKernel : public iop_test::IopTest {
protected:
    void SetUp() override
    {
        IopTest::SetUp();
        g_log.clear();
        g_times.clear();
        g_sema = 0;
        g_done = 0;
    }
};

void HighWaiter(void*)
{
    Note("high waits");
    WaitSema(g_sema);
    Note("high woke");
    ++g_done;
}

void LowSignaller(void*)
{
    Note("low signals");
    SignalSema(g_sema);
    Note("low after signal");
    ++g_done;
}

TEST_F(IopKernel, LowerPrioritySignallingAHigherOneIsPreemptedAtTheCall)
{
    g_sema = MakeSema(0);
    StartThread(MakeThread(LowSignaller, 20), nullptr);
    StartThread(MakeThread(HighWaiter, 10), nullptr);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(g_log, (std::vector<std::string>{"high waits", "low signals", "high woke", "low after signal"}));
}

void SignalInsideCriticalSection(void*)
{
    int state = 0;
    CpuSuspendIntr(&state);
    SignalSema(g_sema);
    Note("low still inside");
    CpuResumeIntr(state);
    Note("low after resume");
    ++g_done;
}

TEST_F(IopKernel, ACriticalSectionDefersTheHandOverToItsEnd)
{
    g_sema = MakeSema(0);
    StartThread(MakeThread(HighWaiter, 10), nullptr);
    StartThread(MakeThread(SignalInsideCriticalSection, 20), nullptr);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(g_log, (std::vector<std::string>{"high waits", "low still inside", "high woke", "low after resume"}));
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

void Named(void* arg)
{
    Note(static_cast<const char*>(arg));
    ++g_done;
}

TEST_F(IopKernel, EqualPrioritiesRunInTheOrderTheyBecameReady)
{
    const char* names[] = {"a", "b", "c"};
    StartThread(MakeThread(Named, 30), const_cast<char*>(names[0]));
    StartThread(MakeThread(Named, 30), const_cast<char*>(names[1]));
    StartThread(MakeThread(Named, 40), const_cast<char*>("low"));
    StartThread(MakeThread(Named, 30), const_cast<char*>(names[2]));
    StartThread(MakeThread(Named, 20), const_cast<char*>("high"));
    ASSERT_TRUE(WaitDone(5));
    EXPECT_EQ(g_log, (std::vector<std::string>{"high", "a", "b", "c", "low"}));
}

void SemaWaiter(void* arg)
{
    int r = WaitSema(g_sema);
    Note(std::string(static_cast<const char*>(arg)) + (r == KE_OK ? " got it" : " released"));
    ++g_done;
}

TEST_F(IopKernel, SemaphoreWaitersAreServedFirstComeFirstServed)
{
    g_sema = MakeSema(0);
    StartThread(MakeThread(SemaWaiter, 30), const_cast<char*>("first"));
    StartThread(MakeThread(SemaWaiter, 20), const_cast<char*>("second"));
    StartThread(MakeThread(SemaWaiter, 25), const_cast<char*>("third"));
    console::SafePoint(0);  // all three now wait, in priority order: second, third, first
    EXPECT_EQ(SignalSema(g_sema), KE_OK);
    EXPECT_EQ(SignalSema(g_sema), KE_OK);
    console::SafePoint(0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"second got it", "third got it"}));
    EXPECT_EQ(DeleteSema(g_sema), KE_OK);
    ASSERT_TRUE(WaitDone(3));
    EXPECT_EQ(g_log.back(), "first released");
}

TEST_F(IopKernel, SemaphoreCountsUpToItsMaximum)
{
    int s = MakeSema(1, 2);
    EXPECT_EQ(PollSema(s), KE_OK);
    EXPECT_EQ(PollSema(s), KE_SEMA_ZERO);
    EXPECT_EQ(SignalSema(s), KE_OK);
    EXPECT_EQ(SignalSema(s), KE_OK);
    EXPECT_EQ(SignalSema(s), KE_SEMA_OVF);
    EXPECT_EQ(PollSema(s), KE_OK);
    EXPECT_EQ(WaitSema(s), KE_OK);  // available, so even the EE context may take it
    EXPECT_EQ(DeleteSema(s), KE_OK);
    EXPECT_EQ(SignalSema(s), KE_UNKNOWN_SEMID);
    iop_sema_t bad{0, 0, 3, 2};
    EXPECT_LT(CreateSema(&bad), 0);
}

void Delayer(void*)
{
    Cycles before = console::Now();
    DelayThread(1000);
    g_times.push_back(console::Now() - before);
    ++g_done;
}

TEST_F(IopKernel, DelayThreadWakesExactlyAfterItsMicroseconds)
{
    StartThread(MakeThread(Delayer, 30), nullptr);
    ASSERT_TRUE(WaitDone(1));
    ASSERT_EQ(g_times.size(), 1u);
    EXPECT_EQ(g_times[0], MicrosecondsToCycles(1000));
    EXPECT_EQ(g_times[0], 147'456u);  // 1 ms of the 147.456 MHz bus clock
}

void Sleeper(void*)
{
    Note("sleeps");
    SleepThread();
    Note("woke");
    SleepThread();  // a wake-up was counted meanwhile: returns at once
    Note("woke again");
    ++g_done;
}

TEST_F(IopKernel, WakeupsOfARunningThreadAreCounted)
{
    int t = MakeThread(Sleeper, 30);
    StartThread(t, nullptr);
    console::SafePoint(0);
    iop_thread_info_t info{};
    ASSERT_EQ(ReferThreadStatus(t, &info), KE_OK);
    EXPECT_EQ(info.status, THS_WAIT);
    EXPECT_EQ(info.waitType, TSW_SLEEP);
    EXPECT_EQ(WakeupThread(t), KE_OK);
    EXPECT_EQ(WakeupThread(t), KE_OK);  // not sleeping yet: counted
    ASSERT_TRUE(WaitDone(1));
    EXPECT_EQ(g_log, (std::vector<std::string>{"sleeps", "woke", "woke again"}));
}

int g_observed = 0;
iop_thread_info_t g_info{};

void Observer(void* arg)
{
    ReferThreadStatus(*static_cast<int*>(arg), &g_info);
    ReferThreadStatus(TH_SELF, &g_info + 0);
    g_observed = g_info.status;
    ++g_done;
}

TEST_F(IopKernel, ReferThreadStatusReportsStateAndWait)
{
    g_sema = MakeSema(0);
    int waiter = MakeThread(SemaWaiter, 50);
    iop_thread_info_t info{};
    ASSERT_EQ(ReferThreadStatus(waiter, &info), KE_OK);
    EXPECT_EQ(info.status, THS_DORMANT);
    EXPECT_EQ(info.initPriority, 50);
    StartThread(waiter, const_cast<char*>("w"));
    ASSERT_EQ(ReferThreadStatus(waiter, &info), KE_OK);
    EXPECT_EQ(info.status, THS_READY);
    console::SafePoint(0);
    ASSERT_EQ(ReferThreadStatus(waiter, &info), KE_OK);
    EXPECT_EQ(info.status, THS_WAIT);
    EXPECT_EQ(info.waitType, TSW_SEMA);
    EXPECT_EQ(info.waitId, g_sema);

    int observer = MakeThread(Observer, 60);
    StartThread(observer, &observer);
    ASSERT_TRUE(WaitDone(1));
    EXPECT_EQ(g_observed, THS_RUN);  // a thread sees itself running

    SignalSema(g_sema);
    ASSERT_TRUE(WaitDone(2));
    ASSERT_EQ(ReferThreadStatus(waiter, &info), KE_OK);
    EXPECT_EQ(info.status, THS_DORMANT);
    EXPECT_EQ(ReferThreadStatus(9999, &info), KE_UNKNOWN_THID);
}

void Exiter(void*)
{
    Note("runs");
    ExitThread();
}

TEST_F(IopKernel, AnExitedThreadIsDormantAndCanStartAgain)
{
    int t = MakeThread(Exiter, 30);
    EXPECT_EQ(StartThread(t, nullptr), KE_OK);
    EXPECT_EQ(StartThread(t, nullptr), KE_NOT_DORMANT);
    console::SafePoint(0);
    EXPECT_EQ(StartThread(t, nullptr), KE_OK);
    console::SafePoint(0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"runs", "runs"}));
    EXPECT_EQ(DeleteThread(t), KE_OK);
    iop_thread_info_t info{};
    EXPECT_EQ(ReferThreadStatus(t, &info), KE_UNKNOWN_THID);
    iop_thread_t bad{TH_C, 0, Exiter, 0x800, 200};
    EXPECT_EQ(CreateThread(&bad), KE_ILLEGAL_PRIORITY);
}

void BlocksInCriticalSection(void*)
{
    int state = 0;
    CpuSuspendIntr(&state);
    DelayThread(10);
    CpuResumeIntr(state);
    ++g_done;
}

TEST_F(IopKernel, BlockingInsideACriticalSectionIsReported)
{
    console::ScopedDiagCapture capture;
    StartThread(MakeThread(BlocksInCriticalSection, 30), nullptr);
    ASSERT_TRUE(WaitDone(1));
    EXPECT_TRUE(LogHas("blocks (delay) inside CpuSuspendIntr"));
}

TEST_F(IopKernel, CriticalSectionsNestByTheirSavedState)
{
    int outer = -1, inner = -1;
    EXPECT_EQ(CpuSuspendIntr(&outer), KE_OK);
    EXPECT_EQ(CpuSuspendIntr(&inner), KE_CPUDI);
    EXPECT_TRUE(console::iop::InCriticalSection());
    CpuResumeIntr(inner);
    EXPECT_TRUE(console::iop::InCriticalSection());
    CpuResumeIntr(outer);
    EXPECT_FALSE(console::iop::InCriticalSection());
}

void WaitsForever(void*)
{
    WaitSema(g_sema);
}

TEST_F(IopKernel, AWaitNothingCanEndIsReportedWithEveryThreadsState)
{
    console::ScopedDiagCapture capture;
    g_sema = MakeSema(0);
    StartThread(MakeThread(WaitsForever, 42), nullptr);
    EXPECT_FALSE(WaitDone(1));
    EXPECT_TRUE(LogHas("deadlock"));
    EXPECT_TRUE(LogHas("prio 42 WAIT on semaphore"));
}

struct Unwound {
    ~Unwound() { ++g_done; }
};

void HoldsAnObject(void*)
{
    Unwound guard;
    SleepThread();
}

TEST_F(IopKernel, ARebootUnwindsEveryThread)
{
    int t = MakeThread(HoldsAnObject, 30);
    StartThread(t, nullptr);
    console::SafePoint(0);
    EXPECT_EQ(g_done, 0);
    console::iop::Reboot();
    EXPECT_EQ(g_done, 1);  // the thread's stack was unwound
    iop_thread_info_t info{};
    EXPECT_EQ(ReferThreadStatus(t, &info), KE_UNKNOWN_THID);
}

// A scenario mixing priorities, delays, semaphores and sleeping; every step
// is logged with its time.
void Producer(void*)
{
    for (int i = 0; i < 4; ++i) {
        DelayThread(150 + 50 * i);
        Note("produce " + std::to_string(i));
        SignalSema(g_sema);
        iop_spin(100);
    }
    ++g_done;
}

void Consumer(void* arg)
{
    for (int i = 0; i < 2; ++i) {
        WaitSema(g_sema);
        iop_sys_clock_t clock;
        GetSystemTime(&clock);
        Note(std::string(static_cast<const char*>(arg)) + " consumes at " + std::to_string(clock.lo));
    }
    ++g_done;
}

std::vector<std::string> RunScenario()
{
    console::ResetScheduler();
    g_log.clear();
    g_times.clear();
    g_done = 0;
    g_sema = MakeSema(0);
    StartThread(MakeThread(Consumer, 30), const_cast<char*>("x"));
    StartThread(MakeThread(Producer, 40), nullptr);
    StartThread(MakeThread(Consumer, 30), const_cast<char*>("y"));
    EXPECT_TRUE(WaitDone(3));
    std::vector<std::string> trace;
    for (size_t i = 0; i < g_log.size(); ++i)
        trace.push_back(std::to_string(g_times[i]) + " " + g_log[i]);
    return trace;
}

TEST_F(IopKernel, TwoRunsGiveIdenticalTraces)
{
    std::vector<std::string> first = RunScenario();
    std::vector<std::string> second = RunScenario();
    ASSERT_EQ(first.size(), 8u);
    EXPECT_EQ(first, second);
    // The consumers alternate, served in the order they waited.
    EXPECT_NE(first[1].find("x consumes"), std::string::npos);
    EXPECT_NE(first[3].find("y consumes"), std::string::npos);
}

TEST_F(IopKernel, SystemClockCountsIopCycles)
{
    ee_spin(4 * 36'864);  // 1 ms of IOP time
    iop_sys_clock_t clock{};
    GetSystemTime(&clock);
    EXPECT_EQ(clock.lo, 36'864u);
    u32 sec = 0, usec = 0;
    iop_sys_clock_t one_and_a_half{36'864'000u + 18'432'000u, 0};
    SysClock2USec(&one_and_a_half, &sec, &usec);
    EXPECT_EQ(sec, 1u);
    EXPECT_EQ(usec, 500'000u);
    iop_sys_clock_t back{};
    USec2SysClock(21, &back);
    EXPECT_EQ(back.lo, 774u);  // 21 us x 36.864 cycles, rounded down
}

void Spinner(void*)
{
    Cycles before = console::Now();
    iop_spin(1000);
    g_times.push_back(console::Now() - before);
    ++g_done;
}

TEST_F(IopKernel, IopSpinCostsTwoIopCyclesPerIteration)
{
    StartThread(MakeThread(Spinner, 30), nullptr);
    ASSERT_TRUE(WaitDone(1));
    ASSERT_EQ(g_times.size(), 1u);
    EXPECT_EQ(g_times[0], 2'000u * console::kIopCycle);  // about 54 us
}

void Printer(void*)
{
    printf("first line\nsecond ");
    printf("half\n");
    ++g_done;
}

TEST_F(IopKernel, IopPrintfTagsEveryLine)
{
    scePrintf("EE line\n");
    StartThread(MakeThread(Printer, 30), nullptr);
    ASSERT_TRUE(WaitDone(1));
    EXPECT_EQ(console::ConsoleText(), "EE line\nIOP: first line\nIOP: second half\n");
}

}  // namespace

namespace {

using IopKernelDeathTest = IopKernel;

// A thread made ready before a fork has no host thread in the child: the
// child's first turn must forget it (knowing it is another process, even
// though the parent had already asked) rather than hand the baton to it, and
// the child's own threads then run.
TEST_F(IopKernel, AForkedChildRunsItsOwnThreadsNotTheParentsReadyOnes)
{
    StartThread(MakeThread(Named, 20), const_cast<char*>("parent"));
    // Let the host thread that stands for the ready thread reach its wait
    // for the baton: forked while it is still starting up (inside the C
    // library's own locks), the child would find those locks held for ever.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(30);  // a baton handed to a thread that is not there never comes back
        console::SafePoint(0);  // the child's first turn
        g_log.clear();
        g_done = 0;
        StartThread(MakeThread(Named, 20), const_cast<char*>("child"));
        const bool ok = WaitDone(1) && g_log == std::vector<std::string>{"child"};
        std::_Exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(WaitDone(1));
    EXPECT_EQ(g_log, std::vector<std::string>{"parent"});
}

TEST_F(IopKernelDeathTest, AStrictErrorOnAnIopThreadEndsTheRun)
{
    EXPECT_EXIT(
        {
            console::ResetScheduler();
            StartThread(MakeThread(BlocksInCriticalSection, 30), nullptr);
            console::SafePoint(0);
            std::_Exit(0);
        },
        testing::ExitedWithCode(3), "blocks \\(delay\\) inside CpuSuspendIntr");
}

}  // namespace
