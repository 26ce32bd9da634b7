#include <gtest/gtest.h>

#include <string>

#include <ee/kernel.h>
#include <ee/memmap.h>

#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/intc.h"

namespace {

// Handlers are plain functions, as the game's are; they record into these.
std::string g_trace;
int g_depth = 0;
int g_max_depth = 0;
int g_calls = 0;
int g_return = -1;
bool g_hardware_kicked = false;
bool g_hardware_done = false;
bool g_hardware_done_seen = false;

void Enter(char c)
{
    g_trace += c;
    ++g_calls;
    g_max_depth = std::max(g_max_depth, ++g_depth);
}

int Counting(int)
{
    Enter('x');
    --g_depth;
    return -1;
}

int HandlerA(int)
{
    Enter('a');
    --g_depth;
    return g_return;
}

int HandlerB(int)
{
    Enter('b');
    --g_depth;
    return -1;
}

int HandlerC(int)
{
    Enter('c');
    --g_depth;
    return -1;
}

int ByCause(int cause)
{
    Enter(static_cast<char>('0' + cause));
    --g_depth;
    return -1;
}

// Raises another cause and tries everything that could nest a dispatch.
int Raiser(int cause)
{
    Enter('r');
    console::RaiseIntc(cause + 1);
    EIntr();
    ee_spin(1000);
    EE_EI_IN_HANDLER();
    --g_depth;
    return -1;
}

int ContextProbe(int)
{
    Enter('p');
    EXPECT_EQ(console::CurrentContext(), console::Context::kInterrupt);
    EXPECT_TRUE(console::InInterrupt());
    EXPECT_FALSE(console::IntcEnabled());
    --g_depth;
    return -1;
}

int Kicker(int)
{
    Enter('k');
    g_hardware_kicked = true;
    --g_depth;
    return -1;
}

int AfterKick(int)
{
    Enter('h');
    g_hardware_done_seen = g_hardware_done;
    --g_depth;
    return -1;
}

class Intc : public testing::Test {
protected:
    void SetUp() override
    {
        console::ResetScheduler();
        g_trace.clear();
        g_depth = g_max_depth = g_calls = 0;
        g_return = -1;
        g_hardware_kicked = g_hardware_done = g_hardware_done_seen = false;
    }
    void TearDown() override
    {
        console::ResetScheduler();
        console::ClearDiagLog();
    }
};

TEST_F(Intc, CauseRaisedUnderDIntrRunsInsideEIntr)
{
    AddIntcHandler(console::kIntcVif1, Counting, -1);
    EnableIntc(console::kIntcVif1);
    EXPECT_EQ(DIntr(), 1);
    console::RaiseIntc(console::kIntcVif1);
    ee_spin(1000);
    EXPECT_EQ(g_calls, 0);
    EXPECT_EQ(EIntr(), 0);
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(EIntr(), 1);  // already enabled
    EXPECT_EQ(g_calls, 1);
}

TEST_F(Intc, HandlersNeverNest)
{
    AddIntcHandler(3, Raiser, -1);
    AddIntcHandler(4, ByCause, -1);
    EnableIntc(3);
    EnableIntc(4);
    console::RaiseIntc(3);
    ee_spin(10);
    EXPECT_EQ(g_trace, "r4");
    EXPECT_EQ(g_max_depth, 1);
    EXPECT_TRUE(console::IntcEnabled());
}

TEST_F(Intc, TwoPendingCausesRunLowestFirst)
{
    AddIntcHandler(7, ByCause, 0);
    AddIntcHandler(3, ByCause, 0);
    EnableIntc(7);
    EnableIntc(3);
    DIntr();
    console::RaiseIntc(7);
    console::RaiseIntc(3);
    EIntr();
    EXPECT_EQ(g_trace, "37");
}

TEST_F(Intc, HardwareRunsBetweenTwoCauses)
{
    console::RegisterHardware("test-unit", 1, [] {
        if (!g_hardware_kicked || g_hardware_done)
            return false;
        g_hardware_done = true;
        return true;
    });
    AddIntcHandler(3, Kicker, 0);
    AddIntcHandler(4, AfterKick, 0);
    EnableIntc(3);
    EnableIntc(4);
    DIntr();
    console::RaiseIntc(4);
    console::RaiseIntc(3);
    EIntr();
    console::UnregisterHardware("test-unit");
    EXPECT_EQ(g_trace, "kh");
    EXPECT_TRUE(g_hardware_done_seen);
}

TEST_F(Intc, HandlerRunsInInterruptContextWithInterruptsDisabled)
{
    AddIntcHandler(console::kIntcVif1, ContextProbe, 0);
    EnableIntc(console::kIntcVif1);
    console::RaiseIntc(console::kIntcVif1);
    ee_spin(1);
    EXPECT_EQ(g_trace, "p");
    EXPECT_EQ(console::CurrentContext(), console::Context::kMain);
    EXPECT_TRUE(console::IntcEnabled());
}

TEST_F(Intc, MaskedCauseStaysPendingUntilEnabled)
{
    AddIntcHandler(console::kIntcVif1, Counting, 0);
    console::RaiseIntc(console::kIntcVif1);
    ee_spin(1000);
    EXPECT_EQ(g_calls, 0);
    EXPECT_EQ(console::IntcStat(), 1u << console::kIntcVif1);
    EXPECT_EQ(EnableIntc(console::kIntcVif1), 1);
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(console::IntcStat(), 0u);
    EXPECT_EQ(EnableIntc(console::kIntcVif1), 0);
    EXPECT_EQ(DisableIntc(console::kIntcVif1), 1);
    EXPECT_EQ(DisableIntc(console::kIntcVif1), 0);
}

TEST_F(Intc, ChainRunsInListOrderAndZeroEndsIt)
{
    AddIntcHandler(3, HandlerA, -1);
    AddIntcHandler(3, HandlerB, 0);
    AddIntcHandler(3, HandlerC, -1);
    EnableIntc(3);
    console::RaiseIntc(3);
    ee_spin(1);
    EXPECT_EQ(g_trace, "bac");

    g_trace.clear();
    g_return = 0;
    console::RaiseIntc(3);
    ee_spin(1);
    EXPECT_EQ(g_trace, "ba");
}

TEST_F(Intc, RemovedHandlerIsNotCalled)
{
    int a = AddIntcHandler(3, HandlerA, -1);
    int b = AddIntcHandler(3, HandlerB, -1);
    EXPECT_GT(a, 0);
    EXPECT_NE(a, b);
    EnableIntc(3);
    EXPECT_EQ(RemoveIntcHandler(3, a), 0);
    console::RaiseIntc(3);
    ee_spin(1);
    EXPECT_EQ(g_trace, "b");
    {
        console::ScopedDiagCapture capture;
        EXPECT_EQ(RemoveIntcHandler(3, a), -1);
        EXPECT_EQ(RemoveIntcHandler(4, b), -1);
    }
    EXPECT_EQ(console::DiagErrorCount(), 2);
}

TEST_F(Intc, BadCausesAndPositionsAreDiagnosed)
{
    {
        console::ScopedDiagCapture capture;
        EXPECT_EQ(AddIntcHandler(15, Counting, 0), -1);
        EXPECT_EQ(AddIntcHandler(-1, Counting, 0), -1);
        EXPECT_EQ(AddIntcHandler(3, Counting, 7), -1);
        EXPECT_EQ(AddIntcHandler(3, nullptr, 0), -1);
        EXPECT_EQ(EnableIntc(15), -1);
    }
    EXPECT_EQ(console::DiagErrorCount(), 5);
}

TEST_F(Intc, RegisterViewsClearAndFlipBits)
{
    console::RaiseIntc(2);
    console::RaiseIntc(9);
    EXPECT_EQ(console::IntcStat(), 0x204u);
    console::IntcWriteStat(0x4);
    EXPECT_EQ(console::IntcStat(), 0x200u);
    console::IntcWriteMask(0x24);
    console::IntcWriteMask(0x4);
    EXPECT_EQ(console::IntcMask(), 0x20u);
}

TEST_F(Intc, InternalHandlersShareTheCauseLists)
{
    std::string seen;
    console::AddInternalIntcHandler(console::kIntcSbus, [&](int cause) {
        seen += static_cast<char>('0' + cause);
        return -1;
    }, -1);
    EnableIntc(console::kIntcSbus);
    DIntr();
    console::RaiseIntc(console::kIntcSbus);
    ee_spin(1);
    EXPECT_EQ(seen, "");
    EIntr();
    EXPECT_EQ(seen, "1");
}

}  // namespace
