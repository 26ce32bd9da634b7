#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/regs.h>

#include <string>

#include "console/core/diag_support.h"
#include "console/dmac/dma_probe.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"

using namespace dmatest;

namespace {

using diagtest::LogHas;

alignas(16) u128 g_chain[4];

void BuildShortChain()
{
    g_chain[0] = Tag(SCE_DMA_TAG_CNT, 1);
    g_chain[1] = Q(1);
    g_chain[2] = Tag(SCE_DMA_TAG_END, 1);
    g_chain[3] = Q(2);
}

}  // namespace

TEST(LibDma, GetChanRefusesUnknownIds)
{
    ResetMachine();
    EXPECT_NE(sceDmaGetChan(SCE_DMA_VIF1), nullptr);
    EXPECT_NE(sceDmaGetChan(SCE_DMA_VIF1), sceDmaGetChan(SCE_DMA_GIF));
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    EXPECT_EQ(sceDmaGetChan(10), nullptr);
    EXPECT_EQ(sceDmaGetChan(-1), nullptr);
    EXPECT_TRUE(LogHas("there is no channel 10"));
}

TEST(LibDma, SyncWaitsForAStalledTransfer)
{
    ResetMachine();
    ScopedProbe vif(1);
    BuildShortChain();
    vif.probe.budget = 0;
    const console::Cycles release_at = 5000;
    console::ScheduleAt(release_at, "release probe", [&] { vif.probe.budget = 100; });

    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    sceDmaSend(ch, g_chain);
    EXPECT_TRUE(vif.probe.log.empty());

    console::Cycles before = console::Now();
    EXPECT_NE(sceDmaSync(ch, 1, 0), 0);
    EXPECT_EQ(console::Now() - before, console::GetCosts().poll_call);
    EXPECT_EQ(console::GetCosts().poll_call, 150u);

    EXPECT_EQ(sceDmaSync(ch, 0, 0), 0);
    EXPECT_GE(console::Now(), release_at);
    EXPECT_EQ(vif.probe.log, (std::vector<Delivery>{Data(Q(1)), Data(Q(2))}));
    EXPECT_EQ(sceDmaSync(ch, 1, 0), 0);
}

TEST(LibDma, SyncReportsADeadlockInsteadOfHanging)
{
    ResetMachine();
    ScopedProbe vif(1);
    BuildShortChain();
    vif.probe.budget = 0;
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    sceDmaSend(ch, g_chain);

    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    EXPECT_EQ(sceDmaSync(ch, 0, 0), -1);
    EXPECT_TRUE(LogHas("deadlock"));
    EXPECT_TRUE(LogHas("DMA channel 1 (VIF1)"));
    EXPECT_TRUE(LogHas("stalled by probe"));
    // Leave the channel idle for the next test.
    vif.probe.budget = 100;
    console::SafePoint(0);
}

TEST(LibDma, SendOnABusyChannelWaitsFirstFromTheMainContext)
{
    ResetMachine();
    ScopedProbe vif(1);
    BuildShortChain();
    vif.probe.budget = 1;
    console::ScheduleAt(1000, "release probe", [&] { vif.probe.budget = 100; });
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    sceDmaSend(ch, g_chain);
    ASSERT_EQ(ch->chcr.STR, 1u);

    console::ClearDiagLog();
    sceDmaSend(ch, g_chain);  // waits for the first transfer, then runs again
    EXPECT_TRUE(LogHas("is busy; waiting"));
    EXPECT_GE(console::Now(), 1000u);
    EXPECT_EQ(vif.probe.log.size(), 4u);
    EXPECT_EQ(ch->chcr.STR, 0u);
}

TEST(LibDma, SendOnABusyChannelFromAHandlerIsAnError)
{
    ResetMachine();
    ScopedProbe gif(2);
    BuildShortChain();
    gif.probe.budget = 0;
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_GIF);
    sceDmaSend(ch, g_chain);

    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    {
        console::ScopedContext handler(console::Context::kInterrupt);
        sceDmaSend(ch, g_chain);
        EXPECT_EQ(sceDmaSync(ch, 0, 0), -1);
    }
    EXPECT_TRUE(LogHas("error [dma] sceDmaSend: channel 2 (GIF) is busy"));
    EXPECT_TRUE(LogHas("error [dma] sceDmaSync"));
    gif.probe.budget = 100;
    console::SafePoint(0);
    EXPECT_EQ(gif.probe.log.size(), 2u);  // the first transfer only
}

TEST(LibDma, KickFromAHandlerRunsAfterTheHandler)
{
    ResetMachine();
    ScopedProbe gif(2);
    BuildShortChain();
    {
        console::ScopedContext handler(console::Context::kInterrupt);
        DPUT_D2_QWC(0);
        DPUT_D2_TADR(static_cast<u32>(reinterpret_cast<uintptr_t>(g_chain)));
        DPUT_D2_CHCR(0x145);
        EXPECT_TRUE(gif.probe.log.empty());
    }
    console::SafePoint(0);
    EXPECT_EQ(gif.probe.log.size(), 2u);
}

TEST(LibDma, ReceiveFromIpuEndsWhenAllQuadwordsArrived)
{
    ResetMachine();
    ScopedProbe ipu(3);
    alignas(16) static u128 out[4];
    ipu.probe.source = {Q(1), Q(2)};
    console::ScheduleIn(400, "more macroblock data", [&] { ipu.probe.source.push_back(Q(3)); });
    console::ScheduleIn(900, "more macroblock data", [&] { ipu.probe.source.push_back(Q(4)); });

    sceDmaRecvN(sceDmaGetChan(SCE_DMA_fromIPU), out, 4);
    int polls = 0;
    while (DGET_D3_CHCR() & 0x100)  // each read is a safe point: the events fire
        ++polls;
    EXPECT_GE(polls, 900 / 20 - 1);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(out[i], Q(i + 1)) << i;
}

TEST(LibDma, SendNormalToIpuDeliversTheBlock)
{
    ResetMachine();
    ScopedProbe ipu(4);
    alignas(16) static u128 bits[3] = {Q(1), Q(2), Q(3)};
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_toIPU);
    sceDmaSendN(ch, bits, 3);
    EXPECT_EQ(ipu.probe.log, (std::vector<Delivery>{Data(Q(1)), Data(Q(2)), Data(Q(3))}));
    EXPECT_EQ(ch->madr, static_cast<void*>(bits + 3));
    EXPECT_EQ(ch->qwc, 0u);
}

TEST(LibDma, WrongDirectionAndOversizeAreErrors)
{
    ResetMachine();
    alignas(16) static u128 buf[1];
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    sceDmaSendN(sceDmaGetChan(SCE_DMA_fromIPU), buf, 1);
    EXPECT_TRUE(LogHas("only receives"));
    sceDmaRecvN(sceDmaGetChan(SCE_DMA_GIF), buf, 1);
    EXPECT_TRUE(LogHas("only sends"));
    sceDmaSendN(sceDmaGetChan(SCE_DMA_toIPU), buf, 0x10000);
    EXPECT_TRUE(LogHas("65,535"));
    sceDmaSend(sceDmaGetChan(SCE_DMA_VIF0), buf);
    EXPECT_TRUE(LogHas("not modelled"));
    EXPECT_EQ(sceDmaGetChan(SCE_DMA_toIPU)->chcr.STR, 0u);
}

TEST(LibDma, ChannelWithoutPeripheralDiscardsWithAWarning)
{
    ResetMachine();
    console::dmac::Peripheral* saved = console::dmac::GetPeripheral(1);
    console::dmac::SetPeripheral(1, nullptr);
    BuildShortChain();
    console::ClearDiagLog();
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    sceDmaSend(ch, g_chain);
    EXPECT_EQ(ch->chcr.STR, 0u);
    EXPECT_TRUE(LogHas("warning [dma] channel 1 (VIF1): no peripheral attached"));
    console::dmac::SetPeripheral(1, saved);
}
