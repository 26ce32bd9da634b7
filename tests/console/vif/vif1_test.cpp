#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>
#include <ee/kernel.h>
#include <ee/memmap.h>
#include <ee/regs.h>
#include <vu/vu1.h>

#include <string>
#include <vector>

#include "console/core/diag_support.h"
#include "console/dmac/dma_probe.h"
#include "console/gif/gs_recorder.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "gif/gif.h"
#include "vif/vif1.h"

using dmatest::Tag;
using giftest::Ad;
using giftest::GifTag;
using giftest::RegWrite;

namespace {

// VIF codes.
constexpr uint32_t kNop = 0x00000000;
constexpr uint32_t kIbit = 0x80000000;
constexpr uint32_t kFlush = 0x11000000;

constexpr uint32_t Direct(uint32_t qwc)
{
    return 0x50000000 | qwc;
}

constexpr uint32_t Mark(uint32_t value)
{
    return 0x07000000 | value;
}

constexpr uint64_t kAd = 0xE;

// A quadword of four VIF-stream words, the first in the lowest bits.
u128 Words(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3)
{
    return {uint64_t{w0} | uint64_t{w1} << 32, uint64_t{w2} | uint64_t{w3} << 32};
}

// Chains must lie where the DMA may read: static storage.
alignas(16) u128 g_chain[32];
alignas(16) u128 g_ref[8];

void Reset()
{
    dmatest::ResetMachine();
}

void Send(bool tte)
{
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = tte ? 1 : 0;
    sceDmaSend(ch, g_chain);
}

bool Vif1ChannelBusy()
{
    return sceDmaGetChan(SCE_DMA_VIF1)->chcr.STR != 0;
}

using diagtest::LogHas;

// What the VIF1 handler saw when it ran.
struct HandlerSeen {
    int calls = 0;
    u32 mark = 0;
    size_t gs_writes = 0;
    bool write_stc = false;
};
HandlerSeen g_seen;
const giftest::GsRecorder* g_recorder = nullptr;

int Vif1Handler(int)
{
    ++g_seen.calls;
    g_seen.mark = DGET_VIF1_MARK();
    g_seen.gs_writes = g_recorder ? g_recorder->writes.size() : 0;
    if (g_seen.write_stc) {
        DPUT_VIF1_MARK(0);
        DPUT_VIF1_FBRST(8);
    }
    return 0;
}

// A two-entry program at 0x80: the first run stops with MSCNT's address.
constexpr u16 kVifTestProgram = 0x1F0;
std::vector<u32> g_vif_test_tops;

u32 VifTestStart(vu1::Machine& vu, u32)
{
    g_vif_test_tops.push_back(vu.Top());
    return 0x88;
}

u32 VifTestResume(vu1::Machine& vu, u32)
{
    g_vif_test_tops.push_back(vu.Top());
    return vu1::kNoResume;
}

CONSOLE_VU1_PROGRAM(kVifTestProgram, "vif1 test program", 0x80, 2);
CONSOLE_VU1_ENTRY(kVifTestProgram, 0x80, "VifTestStart", VifTestStart);
CONSOLE_VU1_ENTRY(kVifTestProgram, 0x88, "VifTestResume", VifTestResume);

void InstallHandler(const giftest::GsRecorder& recorder, bool write_stc)
{
    g_seen = HandlerSeen{};
    g_seen.write_stc = write_stc;
    g_recorder = &recorder;
    AddIntcHandler(5, Vif1Handler, -1);
    EnableIntc(5);
}

}  // namespace

TEST(Vif1Direct, TagCodesOpenABlockThatReachesTheGifAsPath2)
{
    Reset();
    giftest::ScopedRecorder gs;
    u128* c = g_chain;
    *c++ = Tag(SCE_DMA_TAG_CNT, 4, nullptr, kNop, Direct(4));
    *c++ = GifTag(3, true, 0, 1, kAd);
    *c++ = Ad(0x4C, 0x11);
    *c++ = Ad(0x4E, 0x22);
    *c++ = Ad(0x3F, 0);
    *c++ = Tag(SCE_DMA_TAG_END, 0);
    Send(true);

    EXPECT_FALSE(Vif1ChannelBusy());
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x4C, 0x11}, {0x4E, 0x22}, {0x3F, 0}}));
    EXPECT_EQ(console::gif::Counters(console::gif::Path::kPath2).packets, 1u);
    EXPECT_TRUE(console::vif::Idle());
}

TEST(Vif1Direct, BlockSplitAcrossTwoTagsArrivesWhole)
{
    for (bool tte : {false, true}) {
        SCOPED_TRACE(tte ? "tag transfer on" : "tag transfer off");
        Reset();
        giftest::ScopedRecorder gs;
        u128* c = g_chain;
        if (tte) {
            *c++ = Tag(SCE_DMA_TAG_CNT, 2, nullptr, kNop, Direct(4));
        } else {
            *c++ = Tag(SCE_DMA_TAG_CNT, 3);
            *c++ = Words(kNop, kNop, kNop, Direct(4));
        }
        *c++ = GifTag(3, true, 0, 1, kAd);
        *c++ = Ad(0x40, 1);
        // The rest of the block comes from elsewhere; the REF's own codes are NOPs.
        *c++ = Tag(SCE_DMA_TAG_REF, 2, g_ref);
        *c++ = Tag(SCE_DMA_TAG_END, 0);
        g_ref[0] = Ad(0x41, 2);
        g_ref[1] = Ad(0x42, 3);
        Send(tte);

        EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x40, 1}, {0x41, 2}, {0x42, 3}}));
        EXPECT_TRUE(console::gif::Idle());
        EXPECT_TRUE(console::vif::Idle());
    }
}

TEST(Vif1Direct, DataStartsAtTheQuadwordAfterAMisplacedCode)
{
    Reset();
    giftest::ScopedRecorder gs;
    u128* c = g_chain;
    *c++ = Tag(SCE_DMA_TAG_CNT, 4);
    *c++ = Words(Mark(1), Direct(2), kNop, kNop);  // DIRECT in word 1: words 2 and 3 are skipped
    *c++ = GifTag(1, true, 0, 1, kAd);
    *c++ = Ad(0x45, 1);
    *c++ = Words(Mark(2), kNop, kNop, kNop);
    *c++ = Tag(SCE_DMA_TAG_END, 0);
    Send(false);
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x45, 1}}));
    EXPECT_EQ(DGET_VIF1_MARK(), 2u);
}

TEST(Vif1Direct, TagCodesInsideAnUnfinishedBlockAreAnError)
{
    Reset();
    giftest::ScopedRecorder gs;
    u128* c = g_chain;
    *c++ = Tag(SCE_DMA_TAG_CNT, 1, nullptr, kNop, Direct(2));
    *c++ = GifTag(1, true, 0, 1, kAd);
    *c++ = Tag(SCE_DMA_TAG_REF, 1, g_ref, Mark(3), kNop);
    *c++ = Tag(SCE_DMA_TAG_END, 0);
    g_ref[0] = Ad(0x46, 1);
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    Send(true);
    EXPECT_TRUE(LogHas("still expects data"));
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x46, 1}}));
    EXPECT_EQ(DGET_VIF1_MARK(), 0u);
}

TEST(Vif1Registers, CodesSetTheirRegisters)
{
    Reset();
    u128* c = g_chain;
    *c++ = Tag(SCE_DMA_TAG_CNT, 4, nullptr, 0x01000204 /* STCYCL WL 2 CL 4 */, 0x03000000 | 289 /* BASE */);
    *c++ = Words(0x02000000 | 216 /* OFFSET */, 0x04000123 /* ITOP */, 0x05000001 /* STMOD */, 0x20000000);
    *c++ = Words(0xAAAA5555 /* mask */, 0x30000000 /* STROW */, 10, 11);
    *c++ = Words(12, 13, 0x31000000 /* STCOL */, 20);
    *c++ = Words(21, 22, 23, Mark(0xBEEF));
    *c++ = Tag(SCE_DMA_TAG_END, 0, nullptr, kFlush, 0x13000000 /* FLUSHA */);
    Send(true);

    const console::vif::Registers& r = console::vif::GetRegisters();
    EXPECT_EQ(r.cycle, 0x0204u);
    EXPECT_EQ(r.base, 289u);
    EXPECT_EQ(r.ofst, 216u);
    EXPECT_EQ(r.tops, 289u);  // OFFSET sets TOPS to BASE and clears DBF
    EXPECT_FALSE(r.dbf);
    EXPECT_EQ(r.itops, 0x123u);
    EXPECT_EQ(r.mode, 1u);
    EXPECT_EQ(r.mask, 0xAAAA5555u);
    EXPECT_EQ(r.row, (std::array<uint32_t, 4>{10, 11, 12, 13}));
    EXPECT_EQ(r.col, (std::array<uint32_t, 4>{20, 21, 22, 23}));
    EXPECT_EQ(DGET_VIF1_MARK(), 0xBEEFu);
    EXPECT_TRUE(DGET_VIF1_STAT() & console::vif::kStatMrk);

    DPUT_VIF1_MARK(0);
    EXPECT_EQ(DGET_VIF1_MARK(), 0u);
    EXPECT_FALSE(DGET_VIF1_STAT() & console::vif::kStatMrk);
    DPUT_VIF1_ERR(2);
    EXPECT_EQ(console::vif::GetRegisters().err, 2u);

    DPUT_VIF1_FBRST(1);
    EXPECT_EQ(console::vif::GetRegisters().cycle, 0u);
    EXPECT_EQ(console::vif::GetRegisters().base, 0u);
    EXPECT_EQ(DGET_VIF1_STAT(), 0u);
}

TEST(Vif1Interrupt, RaisesCause5WithTheMarkAndStallsUntilStc)
{
    Reset();
    giftest::ScopedRecorder gs;
    InstallHandler(gs.recorder, false);
    u128* c = g_chain;
    *c++ = Tag(SCE_DMA_TAG_CNT, 0, nullptr, Mark(7), kNop | kIbit);
    *c++ = Tag(SCE_DMA_TAG_CNT, 2, nullptr, kNop, Direct(2));
    *c++ = GifTag(1, true, 0, 1, kAd);
    *c++ = Ad(0x3F, 9);
    *c++ = Tag(SCE_DMA_TAG_END, 0);
    Send(true);

    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_EQ(g_seen.mark, 7u);
    EXPECT_EQ(g_seen.gs_writes, 0u);
    // Without STC nothing after the interrupt bit moves, however long we wait.
    ee_spin(100000);
    EXPECT_TRUE(Vif1ChannelBusy());
    EXPECT_TRUE(gs.recorder.writes.empty());
    const uint32_t stat = DGET_VIF1_STAT();
    EXPECT_TRUE(stat & console::vif::kStatVis);
    EXPECT_TRUE(stat & console::vif::kStatInt);
    EXPECT_NE(sceGsSyncPath(1, 0), 0);

    DPUT_VIF1_FBRST(8);
    EXPECT_FALSE(Vif1ChannelBusy());
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x3F, 9}}));
    EXPECT_EQ(DGET_VIF1_STAT() & (console::vif::kStatVis | console::vif::kStatInt), 0u);
    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_EQ(sceGsSyncPath(1, 0), 0);
    EXPECT_EQ(sceGsSyncPath(0, 0), 0);
}

TEST(Vif1Interrupt, HandlerThatWritesStcLetsTheChainFinish)
{
    Reset();
    giftest::ScopedRecorder gs;
    InstallHandler(gs.recorder, true);
    u128* c = g_chain;
    for (uint32_t k : {1u, 2u}) {
        *c++ = Tag(SCE_DMA_TAG_CNT, 2, nullptr, kNop, Direct(2));
        *c++ = GifTag(1, true, 0, 1, kAd);
        *c++ = Ad(0x60 + k, k);
        *c++ = Tag(SCE_DMA_TAG_CNT, 0, nullptr, Mark(k), kNop | kIbit);
    }
    *c++ = Tag(SCE_DMA_TAG_END, 0);
    Send(true);

    EXPECT_EQ(g_seen.calls, 2);
    EXPECT_EQ(g_seen.mark, 2u);      // the last request's MARK
    EXPECT_EQ(g_seen.gs_writes, 2u);  // everything before it had arrived
    EXPECT_FALSE(Vif1ChannelBusy());
    EXPECT_EQ(DGET_VIF1_MARK(), 0u);
    EXPECT_EQ(gs.recorder.writes.size(), 2u);
}

TEST(Vif1Interrupt, BitOnADirectCodeFiresAfterItsData)
{
    Reset();
    giftest::ScopedRecorder gs;
    InstallHandler(gs.recorder, true);
    u128* c = g_chain;
    *c++ = Tag(SCE_DMA_TAG_CNT, 3, nullptr, Mark(4), Direct(3) | kIbit);
    *c++ = GifTag(2, true, 0, 1, kAd);
    *c++ = Ad(0x45, 1);
    *c++ = Ad(0x46, 2);
    *c++ = Tag(SCE_DMA_TAG_END, 0);
    Send(true);
    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_EQ(g_seen.gs_writes, 2u);
}

TEST(Vif1Interrupt, WordAfterTheBitWaitsInVif1UntilStc)
{
    Reset();
    giftest::ScopedRecorder gs;
    InstallHandler(gs.recorder, false);
    g_chain[0] = Tag(SCE_DMA_TAG_END, 0, nullptr, kNop | kIbit, Mark(5));
    Send(true);

    EXPECT_FALSE(Vif1ChannelBusy());  // the channel has delivered everything
    EXPECT_EQ(DGET_VIF1_MARK(), 0u);  // but the MARK waits behind the stall
    EXPECT_NE(sceGsSyncPath(1, 0), 0);
    DPUT_VIF1_FBRST(8);
    EXPECT_EQ(DGET_VIF1_MARK(), 5u);
    EXPECT_TRUE(console::vif::Idle());
}

TEST(Vif1Interrupt, MaskedCauseMakesSyncPathGiveUpAfterOneVirtualSecond)
{
    Reset();
    g_chain[0] = Tag(SCE_DMA_TAG_CNT, 0, nullptr, kNop | kIbit, kNop);
    g_chain[1] = Tag(SCE_DMA_TAG_END, 0);
    Send(true);  // cause 5 stays masked: nothing will write STC

    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    const console::Cycles start = console::Now();
    EXPECT_EQ(sceGsSyncPath(0, 0), -1);
    EXPECT_GE(console::Now() - start, console::kBusHz);
    EXPECT_TRUE(LogHas("still busy after one virtual second"));
    EXPECT_TRUE(LogHas("cause (5) is masked"));
}

TEST(Vif1Fbrst, ResetReleasesAStallAndForgetsHeldWords)
{
    Reset();
    g_chain[0] = Tag(SCE_DMA_TAG_END, 0, nullptr, kNop | kIbit, Mark(5));
    Send(true);
    EXPECT_TRUE(console::vif::StalledOnInterrupt());
    DPUT_VIF1_FBRST(1);
    EXPECT_TRUE(console::vif::Idle());
    EXPECT_EQ(DGET_VIF1_MARK(), 0u);
    EXPECT_EQ(sceGsSyncPath(0, 0), 0);
}

TEST(Vif1Vu, CodesReachVu1AndTheStreamStaysInStep)
{
    Reset();
    giftest::ScopedRecorder gs;
    g_vif_test_tops.clear();
    // Data words that would read as DIRECT codes if the stream lost its step.
    const uint32_t d = Direct(1);
    const u64 slot0 = vu1::Slot(kVifTestProgram, 0);
    const u64 slot1 = vu1::Slot(kVifTestProgram, 1);
    u128* c = g_chain;
    *c++ = Tag(SCE_DMA_TAG_CNT, 7);
    // STCYCL CL 1 WL 1; UNPACK V3-16 NUM 5: 5 x 3 x 16 bits = 7.5 words -> 8.
    *c++ = Words(0x01000101, 0x69050000, d, d);
    *c++ = Words(d, d, d, d);
    // MPG NUM 2 to 0x80 in the last word: two 64-bit instructions = 4 words.
    *c++ = Words(d, d, kNop, 0x4A020010);
    *c++ = Words(static_cast<uint32_t>(slot0), static_cast<uint32_t>(slot0 >> 32), static_cast<uint32_t>(slot1),
                 static_cast<uint32_t>(slot1 >> 32));
    *c++ = Words(0x14000010 /* MSCAL 0x80 */, 0x17000000 /* MSCNT */, kNop, Direct(2));
    *c++ = GifTag(1, true, 0, 1, kAd);
    *c++ = Ad(0x3F, 0x5A);
    *c++ = Tag(SCE_DMA_TAG_END, 0);
    Send(false);

    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x3F, 0x5A}}));
    const console::vif::Counters& n = console::vif::GetCounters();
    EXPECT_EQ(n.unpack, 1u);
    EXPECT_EQ(n.last_unpack_code, 0x69050000u);
    EXPECT_EQ(n.mpg, 1u);
    EXPECT_EQ(n.last_mpg_address, 0x80u);
    EXPECT_EQ(n.mscal, 1u);
    EXPECT_EQ(n.last_mscal_address, 0x80u);
    EXPECT_EQ(n.mscnt, 1u);
    // The UNPACK's halfwords (1, 0x5000, 1, 0x5000, ...) landed as V3s.
    EXPECT_EQ(vu1::Vu1().I(0)[0], 1u);
    EXPECT_EQ(vu1::Vu1().I(0)[1], 0x5000u);
    EXPECT_EQ(vu1::Vu1().I(1)[0], 0x5000u);  // component 3
    EXPECT_EQ(vu1::Vu1().I(4)[2], 1u);       // component 14
    EXPECT_EQ(vu1::Vu1().Prog()[0x80 / 8], slot0);
    EXPECT_EQ(vu1::Vu1().Prog()[0x88 / 8], slot1);
    // MSCAL ran the entry at 0x80, whose returned address MSCNT continued at.
    EXPECT_EQ(g_vif_test_tops, (std::vector<u32>{0, 0}));
    EXPECT_TRUE(console::vif::Idle());
}

TEST(Vif1Unpack, FillingUnpackReadsOnlyClOfEveryWlVectors)
{
    Reset();
    // STCYCL CL 1 WL 4; UNPACK S-32 NUM 6 writes 6 vectors but reads
    // 1 x (6 / 4) + min(6 mod 4, 1) = 2 words; MARK 9 must follow them.
    g_chain[0] = Tag(SCE_DMA_TAG_CNT, 1, nullptr, 0x01000401, 0x60060000);
    g_chain[1] = Words(Direct(1), Direct(1), Mark(9), kNop);
    g_chain[2] = Tag(SCE_DMA_TAG_END, 0);
    Send(true);
    EXPECT_EQ(DGET_VIF1_MARK(), 9u);
    EXPECT_TRUE(console::vif::Idle());
}

TEST(Vif1Codes, UndefinedCodeSetsEr1UntilStc)
{
    Reset();
    g_chain[0] = Tag(SCE_DMA_TAG_END, 0, nullptr, 0x12000000, Mark(3));
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    Send(true);
    EXPECT_TRUE(LogHas("undefined VIF code 0x12000000"));
    EXPECT_TRUE(DGET_VIF1_STAT() & console::vif::kStatEr1);
    EXPECT_EQ(DGET_VIF1_MARK(), 3u);
    DPUT_VIF1_FBRST(8);
    EXPECT_FALSE(DGET_VIF1_STAT() & console::vif::kStatEr1);
}
