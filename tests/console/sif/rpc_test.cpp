#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <ee/kernel.h>
#include <ee/memmap.h>
#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/module.h>

#include "console/sif/echo_module.h"
#include "console/sif/iop_test_util.h"
#include "core/config.h"
#include "core/scheduler.h"
#include "ee/console_out.h"
#include "ee/intc.h"

namespace {

using console::Cycles;
using console::MicrosecondsToCycles;

// Remote-call buffers live in the program's data, as the game's do.
alignas(64) char g_send[512];
alignas(64) char g_recv[512];
sceSifClientData g_cd;
sceSifClientData g_cd2;

// What the end functions saw.
struct EndRecord {
    int calls = 0;
    bool in_interrupt = false;
    Cycles at = 0;
    std::string reply_seen;
};
EndRecord g_end;

void EndFunction(void* param)
{
    ++g_end.calls;
    g_end.in_interrupt = console::InInterrupt();
    g_end.at = console::Now();
    g_end.reply_seen = static_cast<const char*>(param);
}

class SifRpc : public iop_test::IopTest {
protected:
    void SetUp() override
    {
        IopTest::SetUp();
        std::memset(&g_cd, 0, sizeof g_cd);
        std::memset(&g_cd2, 0, sizeof g_cd2);
        std::memset(g_recv, 0, sizeof g_recv);
        g_end = EndRecord{};
        echo::SetRegisterDelay(0);
        echo::Served().clear();
        sceSifInitRpc(0);
    }
    void TearDown() override
    {
        console::SetOption("sif-latency-us", "20");
        IopTest::TearDown();
    }

    // Loads the echo module and binds `cd` to it.
    static void StartEcho(sceSifClientData* cd = &g_cd)
    {
        ASSERT_GT(iop_test::LoadIrx(echo::image, sizeof echo::image), 0);
        ASSERT_GT(iop_test::BindWithRetry(cd, echo::kServer), 0);
    }

    static Cycles Latency() { return MicrosecondsToCycles(20); }
};

TEST_F(SifRpc, BlockingCallReturnsTheReply)
{
    StartEcho();
    std::strcpy(g_send, "hello, iop");
    Cycles start = console::Now();
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, 0, g_send, 11, g_recv, 11, nullptr, nullptr), 0);
    EXPECT_STREQ(g_recv, "HELLO, IOP");
    EXPECT_EQ(sceSifCheckStatRpc(&g_cd), 0);
    // A request and a reply crossed the SIF.
    EXPECT_GE(console::Now() - start, 2 * Latency());
    EXPECT_NE(console::ConsoleText().find("IOP: echo module started\n"), std::string::npos);
}

TEST_F(SifRpc, TheSendBufferIsCopiedAtTheCall)
{
    StartEcho();
    std::strcpy(g_send, "before");
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, SIF_RPCM_NOWAIT, g_send, 7, g_recv, 7, nullptr, nullptr), 0);
    std::strcpy(g_send, "after!");  // the request already left
    while (sceSifCheckStatRpc(&g_cd))
        ee_spin(1000);
    EXPECT_STREQ(g_recv, "BEFORE");
}

TEST_F(SifRpc, AsyncCallStaysInFlightAndItsEndFunctionRunsInInterruptContextLater)
{
    StartEcho();
    std::strcpy(g_send, "async");
    Cycles start = console::Now();
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, SIF_RPCM_NOWAIT, g_send, 6, g_recv, 6, EndFunction, g_recv), 0);
    // Nothing has happened yet: the call returned at once.
    EXPECT_EQ(g_end.calls, 0);
    EXPECT_EQ(g_recv[0], 0);
    EXPECT_EQ(console::Now(), start);
    int polls = 0;
    while (sceSifCheckStatRpc(&g_cd)) {
        EXPECT_EQ(g_end.calls, 0);
        ee_spin(500);
        ++polls;
    }
    EXPECT_GT(polls, 1);
    EXPECT_EQ(g_end.calls, 1);
    EXPECT_TRUE(g_end.in_interrupt);
    EXPECT_EQ(g_end.reply_seen, "ASYNC");  // the reply had landed before the end function ran
    EXPECT_GE(g_end.at - start, 2 * Latency());
}

TEST_F(SifRpc, EndFunctionNeverRunsInsideTheCallEvenWithoutLatency)
{
    console::SetOption("sif-latency-us", "0");
    console::ResetScheduler();
    sceSifInitRpc(0);
    StartEcho();
    std::strcpy(g_send, "now");
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, SIF_RPCM_NOWAIT, g_send, 4, g_recv, 4, EndFunction, g_recv), 0);
    EXPECT_EQ(g_end.calls, 0);
    EXPECT_EQ(sceSifCheckStatRpc(&g_cd), 0);  // the poll's safe point completes it
    EXPECT_EQ(g_end.calls, 1);
}

TEST_F(SifRpc, DIntrDefersTheEndFunction)
{
    StartEcho();
    std::strcpy(g_send, "later");
    DIntr();
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, SIF_RPCM_NOWAIT, g_send, 6, g_recv, 6, EndFunction, g_recv), 0);
    for (int i = 0; i < 100; ++i)
        ee_spin(1000);  // far beyond the round trip
    EXPECT_STREQ(g_recv, "LATER");  // the reply landed...
    EXPECT_EQ(g_end.calls, 0);      // ...but its interrupt waits
    EXPECT_EQ(sceSifCheckStatRpc(&g_cd), 1);
    EIntr();
    EXPECT_EQ(g_end.calls, 1);
    EXPECT_TRUE(g_end.in_interrupt);
    EXPECT_EQ(sceSifCheckStatRpc(&g_cd), 0);
}

TEST_F(SifRpc, BindingBeforeTheServerExistsRetriesThenSucceeds)
{
    echo::SetRegisterDelay(500);
    ASSERT_GT(iop_test::LoadIrx(echo::image, sizeof echo::image), 0);
    ASSERT_EQ(sceSifBindRpc(&g_cd, echo::kServer, 0), 0);
    EXPECT_EQ(g_cd.serve, nullptr);  // the server registers 500 us after start
    int binds = iop_test::BindWithRetry(&g_cd, echo::kServer);
    EXPECT_GT(binds, 1);
    ASSERT_NE(g_cd.serve, nullptr);
    EXPECT_EQ(g_cd.server_id, echo::kServer);
    std::strcpy(g_send, "bound");
    EXPECT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, 0, g_send, 6, g_recv, 6, nullptr, nullptr), 0);
    EXPECT_STREQ(g_recv, "BOUND");
}

TEST_F(SifRpc, RequestsOfOneServerAreServedInOrder)
{
    console::ScopedDiagCapture capture;
    StartEcho(&g_cd);
    ASSERT_GT(iop_test::BindWithRetry(&g_cd2, echo::kServer), 0);
    static u32 first = 111, second = 222;
    static u32 r1, r2;
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kRecord, SIF_RPCM_NOWAIT, &first, 4, &r1, 4, nullptr, nullptr), 0);
    ASSERT_EQ(sceSifCallRpc(&g_cd2, echo::kRecord, SIF_RPCM_NOWAIT, &second, 4, &r2, 4, nullptr, nullptr), 0);
    EXPECT_EQ(sceSifCallRpc(&g_cd, echo::kRecord, 0, &first, 4, &r1, 4, nullptr, nullptr), -2);  // still in flight
    while (sceSifCheckStatRpc(&g_cd) || sceSifCheckStatRpc(&g_cd2))
        ee_spin(1000);
    EXPECT_EQ(echo::Served(), (std::vector<uint32_t>{111, 222}));
    EXPECT_EQ(r1, 111u);
    EXPECT_EQ(r2, 222u);
    EXPECT_TRUE(LogHas("while its previous call is in flight"));
}

TEST_F(SifRpc, ServerPullsMainMemoryWithGetOtherData)
{
    StartEcho();
    alignas(64) static unsigned char data[1000];
    u32 expect = 0;
    for (int i = 0; i < 1000; ++i) {
        data[i] = static_cast<unsigned char>(i * 7);
        expect += data[i];
    }
    static u32 req[2];
    req[0] = static_cast<u32>(reinterpret_cast<uintptr_t>(data));
    req[1] = sizeof data;
    static u32 sum;
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kPull, 0, req, 8, &sum, 4, nullptr, nullptr), 0);
    EXPECT_EQ(sum, expect);
}

TEST_F(SifRpc, ServerDmaToMainMemoryLandsAfterItsTransferTime)
{
    StartEcho();
    alignas(64) static unsigned char target[4096];
    std::memset(target, 0, sizeof target);
    static u32 req[3];
    req[0] = static_cast<u32>(reinterpret_cast<uintptr_t>(target));
    req[1] = sizeof target;
    req[2] = 0x5A;
    static u32 reply;
    Cycles start = console::Now();
    ASSERT_EQ(sceSifCallRpc(&g_cd, echo::kPush, 0, req, 12, &reply, 4, nullptr, nullptr), 0);
    for (unsigned char b : target)
        ASSERT_EQ(b, 0x5A);
    // The request's latency, then 2 us + 4,096 bytes at 100 MB/s polled to its
    // end by the server inside its critical section.
    Cycles dma = MicrosecondsToCycles(2) + console::TransferCycles(4096, 100);
    EXPECT_GE(echo::PushLandedAt() - start, Latency() + dma);
    EXPECT_LT(echo::PushLandedAt() - start, Latency() + dma + MicrosecondsToCycles(10));
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

TEST_F(SifRpc, ACallNothingWillAnswerIsReportedAsADeadlock)
{
    console::ScopedDiagCapture capture;
    StartEcho();
    EXPECT_LT(sceSifCallRpc(&g_cd, echo::kStuck, 0, g_send, 4, g_recv, 4, nullptr, nullptr), 0);
    EXPECT_TRUE(LogHas("deadlock"));
    EXPECT_TRUE(LogHas("prio 40 WAIT on semaphore"));
}

TEST_F(SifRpc, CallsAfterARebootReachNoServer)
{
    console::ScopedDiagCapture capture;
    StartEcho();
    ASSERT_NE(sceSifRebootIop("cdrom0:\\IOPRP.IMG;1"), 0);
    EXPECT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, 0, g_send, 4, g_recv, 4, nullptr, nullptr), 0);
    EXPECT_TRUE(LogHas("to server 0x7e57, which is not registered"));
    EXPECT_EQ(sceSifCheckStatRpc(&g_cd), 0);
    // The module can be loaded again and serves anew.
    std::memset(&g_cd, 0, sizeof g_cd);
    StartEcho();
    std::strcpy(g_send, "again");
    EXPECT_EQ(sceSifCallRpc(&g_cd, echo::kUpper, 0, g_send, 6, g_recv, 6, nullptr, nullptr), 0);
    EXPECT_STREQ(g_recv, "AGAIN");
}

TEST_F(SifRpc, TheModulesExportTableIsRegisteredOnce)
{
    StartEcho();
    const iop_library_t* lib = QueryLibraryEntryTable("echo");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->count, 5);
    EXPECT_NE(lib->entries[4], nullptr);
    // A second copy cannot register the same library and does not stay.
    EXPECT_LT(iop_test::LoadIrx(echo::image, sizeof echo::image), 0);
}

TEST_F(SifRpc, MisusesAreReported)
{
    console::ScopedDiagCapture capture;
    EXPECT_EQ(sceSifCallRpc(&g_cd, 1, 0, g_send, 4, g_recv, 4, nullptr, nullptr), -1);
    EXPECT_TRUE(LogHas("not bound"));
    EXPECT_EQ(sceSifBindRpc(nullptr, 1, 0), -1);
}

// SIF DMA from the EE side.
TEST_F(SifRpc, EeDmaLandsInIopMemoryAfterItsTransferTime)
{
    alignas(64) static unsigned char source[10'000];
    for (size_t i = 0; i < sizeof source; ++i)
        source[i] = static_cast<unsigned char>(i);
    unsigned char* dest = static_cast<unsigned char*>(sceSifAllocIopHeap(sizeof source));
    ASSERT_NE(dest, nullptr);
    std::memset(dest, 0, sizeof source);
    sceSifDmaData record{static_cast<u32>(reinterpret_cast<uintptr_t>(source)),
                         static_cast<u32>(reinterpret_cast<uintptr_t>(dest)), sizeof source, 0};
    Cycles start = console::Now();
    unsigned int id = sceSifSetDma(&record, 1);
    ASSERT_NE(id, 0u);
    Cycles expect = MicrosecondsToCycles(2) + console::TransferCycles(sizeof source, 100);
    EXPECT_GE(sceSifDmaStat(id), 0);
    EXPECT_EQ(dest[1], 0);  // nothing lands before the transfer's end
    while (sceSifDmaStat(id) >= 0)
        ee_spin(100);
    Cycles took = console::Now() - start;
    EXPECT_GE(took, expect);
    EXPECT_LT(took, expect + 400);
    EXPECT_EQ(std::memcmp(dest, source, sizeof source), 0);
}

TEST_F(SifRpc, EeDmaQueueFillsUpAndDrains)
{
    alignas(64) static unsigned char source[64];
    void* dest = sceSifAllocIopHeap(64);
    sceSifDmaData record{static_cast<u32>(reinterpret_cast<uintptr_t>(source)),
                         static_cast<u32>(reinterpret_cast<uintptr_t>(dest)), 64, 0};
    int accepted = 0;
    while (sceSifSetDma(&record, 1) != 0 && accepted < 1000)
        ++accepted;
    EXPECT_EQ(accepted, 32);
    ee_spin(1'000'000);
    EXPECT_NE(sceSifSetDma(&record, 1), 0u);
}

TEST_F(SifRpc, EeDmaToMemoryOutsideTheIopIsRefused)
{
    console::ScopedDiagCapture capture;
    alignas(64) static unsigned char source[64];
    alignas(64) static unsigned char not_iop[64];
    sceSifDmaData record{static_cast<u32>(reinterpret_cast<uintptr_t>(source)),
                         static_cast<u32>(reinterpret_cast<uintptr_t>(not_iop)), 64, 0};
    EXPECT_NE(sceSifSetDma(&record, 1), 0u);
    EXPECT_TRUE(LogHas("is refused"));
}

}  // namespace
