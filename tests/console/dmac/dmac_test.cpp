#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/memmap.h>
#include <ee/regs.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/core/diag_support.h"
#include "console/dmac/dma_probe.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "ee/memmap_internal.h"
#include "ee/regs_internal.h"

using namespace dmatest;

namespace {

using diagtest::LogHas;

// CNT -> CALL -> (CNT, RET) -> REF -> END, with VIF-code words in every tag.
// Static storage: chains must lie in memory a DMA may read.
alignas(16) u128 g_main[8];
alignas(16) u128 g_sub[4];
alignas(16) u128 g_ref[2];

void BuildCallChain()
{
    g_main[0] = Tag(SCE_DMA_TAG_CNT, 2, nullptr, 0x11, 0x12);
    g_main[1] = Q(1);
    g_main[2] = Q(2);
    g_main[3] = Tag(SCE_DMA_TAG_CALL, 1, g_sub, 0x21, 0x22);
    g_main[4] = Q(3);
    g_main[5] = Tag(SCE_DMA_TAG_REF, 2, g_ref, 0x31, 0x32);
    g_main[6] = Tag(SCE_DMA_TAG_END, 1, nullptr, 0x41, 0x42);
    g_main[7] = Q(8);
    g_sub[0] = Tag(SCE_DMA_TAG_CNT, 1, nullptr, 0x51, 0x52);
    g_sub[1] = Q(4);
    g_sub[2] = Tag(SCE_DMA_TAG_RET, 1, nullptr, 0x61, 0x62);
    g_sub[3] = Q(5);
    g_ref[0] = Q(6);
    g_ref[1] = Q(7);
}

std::vector<Delivery> DataOnly(std::initializer_list<uint32_t> ids)
{
    std::vector<Delivery> out;
    for (uint32_t id : ids)
        out.push_back(Data(Q(id)));
    return out;
}

}  // namespace

TEST(DmacChain, CallChainDeliversDataInOrder)
{
    ResetMachine();
    ScopedProbe vif(1);
    BuildCallChain();
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 0;
    sceDmaSend(ch, g_main);

    EXPECT_EQ(vif.probe.log, DataOnly({1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(ch->chcr.STR, 0u);
    EXPECT_EQ(ch->chcr.ASP, 0u);
    EXPECT_EQ(ch->asr0, static_cast<void*>(&g_main[5]));  // the CALL's return address
    EXPECT_TRUE(console::dmac::DStat() & (1u << 1));      // CIS1
}

TEST(DmacChain, TagTransferSendsUpperHalvesBeforeEachTagsData)
{
    ResetMachine();
    ScopedProbe vif(1);
    BuildCallChain();
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 1;
    sceDmaSend(ch, g_main);

    std::vector<Delivery> want = {
        TagUpper(0x11, 0x12), Data(Q(1)), Data(Q(2)),  // CNT
        TagUpper(0x21, 0x22), Data(Q(3)),              // CALL
        TagUpper(0x51, 0x52), Data(Q(4)),              // CNT in the subroutine
        TagUpper(0x61, 0x62), Data(Q(5)),              // RET
        TagUpper(0x31, 0x32), Data(Q(6)), Data(Q(7)),  // REF
        TagUpper(0x41, 0x42), Data(Q(8)),              // END
    };
    EXPECT_EQ(vif.probe.log, want);
    ch->chcr.TTE = 0;
}

TEST(DmacChain, TagTransferIsIgnoredOnTheGifChannel)
{
    ResetMachine();
    ScopedProbe gif(2);
    BuildCallChain();
    // Started as a texture batch is: QWC 0, TADR, then CHCR 0x145 (TTE set).
    DPUT_D2_QWC(0);
    DPUT_D2_TADR(static_cast<u32>(reinterpret_cast<uintptr_t>(g_main)));
    DPUT_D2_CHCR(0x145);

    EXPECT_EQ(gif.probe.log, DataOnly({1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(sceDmaGetChan(SCE_DMA_GIF)->chcr.STR, 0u);
}

TEST(DmacChain, NestedCallsUseBothReturnAddresses)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 top[4], mid[4], leaf[2];
    top[0] = Tag(SCE_DMA_TAG_CALL, 0, mid);
    top[1] = Tag(SCE_DMA_TAG_END, 1);
    top[2] = Q(30);
    mid[0] = Tag(SCE_DMA_TAG_CALL, 1, leaf);
    mid[1] = Q(10);
    mid[2] = Tag(SCE_DMA_TAG_RET, 1);
    mid[3] = Q(20);
    leaf[0] = Tag(SCE_DMA_TAG_RET, 1);
    leaf[1] = Q(15);

    sceDmaSend(sceDmaGetChan(SCE_DMA_VIF1), top);
    EXPECT_EQ(vif.probe.log, DataOnly({10, 15, 20, 30}));
}

TEST(DmacChain, ThirdCallLevelIsAnError)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 a[1], b[1], c[1], d[2];
    a[0] = Tag(SCE_DMA_TAG_CALL, 0, b);
    b[0] = Tag(SCE_DMA_TAG_CALL, 0, c);
    c[0] = Tag(SCE_DMA_TAG_CALL, 0, d);
    d[0] = Tag(SCE_DMA_TAG_END, 1);
    d[1] = Q(1);

    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    sceDmaSend(ch, a);
    EXPECT_TRUE(LogHas("both ASR levels in use"));
    EXPECT_TRUE(vif.probe.log.empty());
    EXPECT_EQ(ch->chcr.STR, 0u);
}

TEST(DmacChain, RefeWithoutDataEndsTheChain)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 chain[4];
    chain[0] = Tag(SCE_DMA_TAG_CNT, 1);
    chain[1] = Q(1);
    chain[2] = Tag(SCE_DMA_TAG_REFE, 0, nullptr);
    chain[3] = Tag(SCE_DMA_TAG_CNT, 0);  // never read

    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    sceDmaSend(ch, chain);
    EXPECT_EQ(vif.probe.log, DataOnly({1}));
    EXPECT_EQ(ch->chcr.STR, 0u);
    EXPECT_EQ(ch->tadr, static_cast<void*>(&chain[3]));
}

TEST(DmacChain, RefeSendsReferencedDataThenEnds)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 chain[2], data[2];
    data[0] = Q(5);
    data[1] = Q(6);
    chain[0] = Tag(SCE_DMA_TAG_REFE, 2, data);
    chain[1] = Tag(SCE_DMA_TAG_CNT, 0);  // never read

    sceDmaSend(sceDmaGetChan(SCE_DMA_VIF1), chain);
    EXPECT_EQ(vif.probe.log, DataOnly({5, 6}));
}

TEST(DmacChain, EmptyTagsAndNextAreFollowed)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 first[2], second[3];
    first[0] = Tag(SCE_DMA_TAG_CNT, 0);
    first[1] = Tag(SCE_DMA_TAG_NEXT, 0, second);
    second[0] = Tag(SCE_DMA_TAG_REFS, 0, nullptr);
    second[1] = Tag(SCE_DMA_TAG_END, 1);
    second[2] = Q(9);

    sceDmaSend(sceDmaGetChan(SCE_DMA_VIF1), first);
    EXPECT_EQ(vif.probe.log, DataOnly({9}));
}

TEST(DmacChain, RetWithEmptyStackEnds)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 chain[3];
    chain[0] = Tag(SCE_DMA_TAG_RET, 1);
    chain[1] = Q(4);
    chain[2] = Tag(SCE_DMA_TAG_CNT, 0);  // never read

    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    sceDmaSend(ch, chain);
    EXPECT_EQ(vif.probe.log, DataOnly({4}));
    EXPECT_EQ(ch->chcr.STR, 0u);
}

TEST(DmacChain, IrqBitEndsTheTransferOnlyWithTie)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 chain[4];
    chain[0] = Tag(SCE_DMA_TAG_CNT | SCE_DMA_TAG_IRQ, 1);
    chain[1] = Q(1);
    chain[2] = Tag(SCE_DMA_TAG_END, 1);
    chain[3] = Q(2);
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);

    ch->chcr.TIE = 0;
    sceDmaSend(ch, chain);
    EXPECT_EQ(vif.probe.log, DataOnly({1, 2}));

    vif.probe.log.clear();
    ch->chcr.TIE = 1;
    sceDmaSend(ch, chain);
    EXPECT_EQ(vif.probe.log, DataOnly({1}));
    EXPECT_EQ(ch->chcr.STR, 0u);
    EXPECT_TRUE(DGET_D_STAT() & (1u << 1));  // CIS1
    ch->chcr.TIE = 0;
}

TEST(DmacChain, StalledPeripheralResumesWhereItStopped)
{
    ResetMachine();
    ScopedProbe vif(1);
    BuildCallChain();
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 1;
    vif.probe.refuse_tags = true;
    sceDmaSend(ch, g_main);
    EXPECT_EQ(ch->chcr.STR, 1u);
    EXPECT_TRUE(console::dmac::ChannelStalled(1));
    EXPECT_TRUE(vif.probe.log.empty());

    // Tags go again, but only three quadwords: the subroutine's CNT stalls.
    vif.probe.refuse_tags = false;
    vif.probe.budget = 3;
    console::SafePoint(0);
    std::vector<Delivery> want = {TagUpper(0x11, 0x12), Data(Q(1)), Data(Q(2)), TagUpper(0x21, 0x22), Data(Q(3)),
                                  TagUpper(0x51, 0x52)};
    EXPECT_EQ(vif.probe.log, want);
    EXPECT_EQ(ch->chcr.STR, 1u);

    vif.probe.budget = 100;
    console::SafePoint(0);
    EXPECT_EQ(ch->chcr.STR, 0u);
    ASSERT_EQ(vif.probe.log.size(), 14u);
    EXPECT_EQ(vif.probe.log[6], Data(Q(4)));
    EXPECT_EQ(vif.probe.log.back(), Data(Q(8)));
    ch->chcr.TTE = 0;
}

TEST(DmacAddress, TagOrDataOutsideKnownRegionsIsAnError)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) u128 on_stack[2];
    on_stack[0] = Tag(SCE_DMA_TAG_END, 0);
    ASSERT_EQ(console::ClassifyAddress(on_stack, sizeof on_stack), console::Region::kInvalid);
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);

    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    sceDmaSend(ch, on_stack);
    EXPECT_TRUE(LogHas("error [dma]"));
    EXPECT_TRUE(LogHas("outside the program image"));
    EXPECT_EQ(ch->chcr.STR, 0u);
    EXPECT_TRUE(console::dmac::DStat() & (1u << 15));  // BEIS

    // A REF to the stack: the tag itself is fine, its data is not.
    alignas(16) static u128 chain[2];
    chain[0] = Tag(SCE_DMA_TAG_REF, 1, on_stack);
    chain[1] = Tag(SCE_DMA_TAG_END, 0);
    console::ClearDiagLog();
    sceDmaSend(ch, chain);
    EXPECT_TRUE(LogHas("REF at 0x"));
    EXPECT_TRUE(vif.probe.log.empty());
    EXPECT_EQ(ch->chcr.STR, 0u);
}

TEST(DmacAddress, MisalignedTagIsAnError)
{
    ResetMachine();
    ScopedProbe vif(1);
    alignas(16) static u128 chain[2];
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    sceDmaSend(sceDmaGetChan(SCE_DMA_VIF1), reinterpret_cast<char*>(chain) + 4);
    EXPECT_TRUE(LogHas("not quadword aligned"));
}

TEST(DmacScratchpad, Channel8CopiesFromScratchpadAtOnce)
{
    ResetMachine();
    u128* spr = reinterpret_cast<u128*>(EE_SPR_BASE + 0x1000);
    for (uint32_t i = 0; i < 4; ++i)
        spr[i] = Q(100 + i);
    alignas(16) static u128 dest[5];
    std::memset(dest, 0, sizeof dest);

    DPUT_D8_SADR(0x1000);
    DPUT_D8_MADR(static_cast<u32>(reinterpret_cast<uintptr_t>(dest)));
    DPUT_D8_QWC(4);
    DPUT_D8_CHCR(0x100);
    EXPECT_EQ(DGET_D8_CHCR() & 0x100, 0u);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(dest[i], Q(100 + i)) << i;
    EXPECT_EQ(dest[4], u128{});
    EXPECT_TRUE(DGET_D_STAT() & (1u << 8));  // CIS8
}

TEST(DmacScratchpad, SourceAddressKeepsOnlyTheScratchpadOffset)
{
    ResetMachine();
    u128* spr = reinterpret_cast<u128*>(EE_SPR_BASE + 0x1010);
    spr[0] = Q(7);
    alignas(16) static u128 dest[1];
    dest[0] = u128{};
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_fromSPR);
    ch->sadr = reinterpret_cast<void*>(EE_SPR_BASE + 0x1010);
    sceDmaRecvN(ch, dest, 1);
    EXPECT_EQ(dest[0], Q(7));
    EXPECT_EQ(ch->chcr.STR, 0u);
}

TEST(DmacRegisters, DStatStatusBitsClearByWritingOne)
{
    ResetMachine();
    ScopedProbe gif(2);
    alignas(16) static u128 chain[1];
    chain[0] = Tag(SCE_DMA_TAG_END, 0);
    sceDmaSend(sceDmaGetChan(SCE_DMA_GIF), chain);
    ASSERT_TRUE(console::dmac::DStat() & (1u << 2));
    console::WriteRegister(console::EeReg::kDStat, 1u << 2);
    EXPECT_EQ(console::dmac::DStat() & (1u << 2), 0u);
    console::WriteRegister(console::EeReg::kDStat, 1u << 18);  // CIM2 flips on
    console::WriteRegister(console::EeReg::kDStat, 1u << 18);  // and off
    EXPECT_EQ(console::dmac::DStat(), 0u);
}
