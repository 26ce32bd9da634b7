#include <gtest/gtest.h>

#include <ee/regs.h>
#include <vu/vu0.h>
#include <vu/vu1.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/core/diag_support.h"
#include "console/gif/gs_recorder.h"
#include "console/vif/vif_stream.h"
#include "core/diag.h"
#include "vif/vif1.h"
#include "vu/machine.h"

using namespace viftest;

namespace {

using diagtest::LogHas;

// Test programs: a main program at 0 and two overlays sharing 0x3900, laid
// out like the game's (the second overlay has entries at indices 49 and 87).
constexpr u16 kMain = vu1::kFirstTestProgram;
constexpr u16 kOverlayA = vu1::kFirstTestProgram + 1;
constexpr u16 kOverlayB = vu1::kFirstTestProgram + 2;
constexpr u32 kMainInstructions = 64;

std::vector<std::string> g_ran;  // names of the routines run, in order
struct Seen {
    u32 top, itop, marker;
};
std::vector<Seen> g_seen;
int g_loops = 0;

u32 MainStart(vu1::Machine& vu, u32)
{
    g_ran.push_back("MainStart");
    g_seen.push_back({vu.Top(), vu.Itop(), vu.I(vu.Top())[0]});
    return vu1::kNoResume;
}

// Stops with MSCNT's address, like a kick routine stopping at its vertex loop.
u32 MainStop(vu1::Machine&, u32)
{
    g_ran.push_back("MainStop");
    g_loops = 0;
    return 0x60;
}

u32 MainLoop(vu1::Machine& vu, u32)
{
    g_ran.push_back("MainLoop");
    g_seen.push_back({vu.Top(), vu.Itop(), vu.I(vu.Top())[0]});
    return ++g_loops < 2 ? 0x60 : vu1::kNoResume;
}

// Reads the command block at TOP: {output address, 0, 0, 0} then three
// vertices {x, y, z, rgba}; writes a PACKED triangle (PRE, PRIM 3;
// RGBAQ, XYZ2 per vertex) at the output address and kicks it.
u32 KickTriangle(vu1::Machine& vu, u32)
{
    g_ran.push_back("KickTriangle");
    const u32 out = vu.I(vu.Top())[0];
    const u64 nreg = 2, regs = 0x51;  // RGBAQ, XYZ2
    vu.Q(out) = u128{3 | (1ull << 15) | (1ull << 46) | (3ull << 47) | (nreg << 60), regs};
    for (u32 v = 0; v < 3; ++v) {
        const u32* in = vu.I(vu.Top() + 1 + v);
        const u32 rgba = in[3];
        u32* c = vu.I(out + 1 + 2 * v);
        c[0] = rgba & 0xFF;
        c[1] = (rgba >> 8) & 0xFF;
        c[2] = (rgba >> 16) & 0xFF;
        c[3] = rgba >> 24;
        u32* p = vu.I(out + 2 + 2 * v);
        p[0] = in[0] << 4;
        p[1] = in[1] << 4;
        p[2] = in[2];
        p[3] = 0;
    }
    vu.Xgkick(out);
    return vu1::kNoResume;
}

u32 OverlayA(vu1::Machine&, u32)
{
    g_ran.push_back("OverlayA");
    return vu1::kNoResume;
}

u32 OverlayBFlat(vu1::Machine&, u32)
{
    g_ran.push_back("OverlayBFlat");
    return vu1::kNoResume;
}

u32 OverlayBSprite(vu1::Machine&, u32)
{
    g_ran.push_back("OverlayBSprite");
    return vu1::kNoResume;
}

u32 OverlayBLine(vu1::Machine& vu, u32)
{
    g_ran.push_back("OverlayBLine");
    // A main-program routine called from an overlay.
    if (const vu1::Entry* e = vu1::Find(kMain, "MainStart"))
        e->fn(vu, 0);
    return vu1::kNoResume;
}

CONSOLE_VU1_PROGRAM(kMain, "test main", 0x0000, kMainInstructions);
CONSOLE_VU1_ENTRY(kMain, 0x0000, "MainStart", MainStart);
CONSOLE_VU1_ENTRY(kMain, 0x0050, "MainStop", MainStop);
CONSOLE_VU1_ENTRY(kMain, 0x0060, "MainLoop", MainLoop);
CONSOLE_VU1_ENTRY(kMain, 0x0080, "KickTriangle", KickTriangle);
CONSOLE_VU1_PROGRAM(kOverlayA, "test overlay A", vu1::kOverlayAddress, vu1::kExtrudeInstructions);
CONSOLE_VU1_ENTRY(kOverlayA, 0x3900, "OverlayA", OverlayA);
CONSOLE_VU1_PROGRAM(kOverlayB, "test overlay B", vu1::kOverlayAddress, vu1::kParticlesInstructions);
CONSOLE_VU1_ENTRY(kOverlayB, 0x3900, "OverlayBFlat", OverlayBFlat);
CONSOLE_VU1_ENTRY(kOverlayB, 0x3A88, "OverlayBSprite", OverlayBSprite);
CONSOLE_VU1_ENTRY(kOverlayB, 0x3BB8, "OverlayBLine", OverlayBLine);

// Images live in static storage, where DMA may read them.
alignas(16) u128 g_stream[vu1::kMicrocode2StreamQuadwords];
alignas(16) u64 g_raw[2 * 128 * 2];

void Fresh()
{
    dmatest::ResetMachine();
    g_ran.clear();
    g_seen.clear();
}

// Uploads the main test program with its own MPG stream, by reference.
void UploadMain()
{
    const vu1::MpgChunk chunk{0, kMainInstructions};
    const u32 qwc = vu1::BuildMpgStream(g_stream, kMain, &chunk, 1);
    SendRef(g_stream, static_cast<uint16_t>(qwc), 0x10000000 /* FLUSHE */, kNop);
}

// Uploads a raw image as VIFpacket::RefMpg sends it: REF tags of at most 128
// quadwords, each carrying NOP and an MPG code in its upper half.
void UploadOverlay(u16 id, u32 instructions, u32 immediate = 0x720)
{
    u32 qwc = vu1::BuildRawImage(g_raw, id, instructions);
    u128* c = ChainBuffer();
    const u64* src = g_raw;
    while (qwc > 0) {
        const u32 n = qwc < 128 ? qwc : 128;
        *c++ = dmatest::Tag(SCE_DMA_TAG_REF, static_cast<uint16_t>(n), src, kNop,
                            0x4A000000u | ((2 * n) & 0xFF) << 16 | immediate);
        immediate += 2 * n;
        src += 2 * n;
        qwc -= n;
    }
    *c = dmatest::Tag(SCE_DMA_TAG_END, 0);
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 1;
    sceDmaSend(ch, ChainBuffer());
}

// A V4-32 quadword of integers.
void Push(Stream& s, u32 x, u32 y, u32 z, u32 w)
{
    s << x << y << z << w;
}

}  // namespace

TEST(Vu1Images, Microcode2StreamIs910QuadwordsAndLoadsEachChunk)
{
    Fresh();
    const u32 qwc = vu1::BuildMpgStream(g_stream, kMain, vu1::kMicrocode2Chunks, 8);
    ASSERT_EQ(qwc, 910u);
    const u32* w = reinterpret_cast<const u32*>(g_stream);
    // Chunk 0: NOP, MPG NUM 0 (256) to 0; chunk 7 starts after 7 x 514 words.
    EXPECT_EQ(w[0], 0u);
    EXPECT_EQ(w[1], 0x4A000000u);
    EXPECT_EQ(w[514 + 1], 0x4A000000u | 0x800 / 8);
    EXPECT_EQ(w[7 * 514 + 1], 0x4A130000u | 0x3800 / 8);
    EXPECT_EQ(w[4 * 910 - 2], 0u);
    EXPECT_EQ(w[4 * 910 - 1], 0u);

    SendRef(g_stream, static_cast<uint16_t>(qwc), 0x10000000 /* FLUSHE */, kNop);
    const u64* prog = vu1::Vu1().Prog();
    for (u32 i = 0; i < vu1::kMicrocode2Instructions; ++i)
        ASSERT_EQ(prog[i], vu1::Slot(kMain, i)) << "slot " << i;
    EXPECT_EQ(8 * vu1::kMicrocode2Instructions, 0x3898u);
    EXPECT_EQ(prog[0x3898 / 8], 0u);
    EXPECT_EQ(prog[0x3900 / 8], 0u);
    EXPECT_EQ(console::vif::GetCounters().mpg, 8u);
    EXPECT_TRUE(console::vif::Idle());
}

TEST(Vu1Images, RawImagesHaveTheOverlaySizesAndAZeroSpareHalf)
{
    struct Size {
        u32 instructions, bytes, quadwords;
    };
    for (Size s : {Size{vu1::kExtrudeInstructions, 648, 41}, Size{vu1::kParticlesInstructions, 1064, 67},
                   Size{vu1::kRoadGeneratorInstructions, 952, 60}}) {
        std::memset(g_raw, 0xFF, sizeof g_raw);
        EXPECT_EQ(vu1::BuildRawImage(g_raw, kOverlayA, s.instructions), s.quadwords);
        EXPECT_EQ(8 * s.instructions, s.bytes);
        EXPECT_EQ(g_raw[s.instructions - 1], vu1::Slot(kOverlayA, s.instructions - 1));
        EXPECT_EQ(g_raw[s.instructions], 0u) << "the spare half of the last quadword";
    }
}

TEST(Vu1Dispatch, OverlayAt0x3900ChangesWhatMscal0x720Runs)
{
    Fresh();
    UploadMain();
    UploadOverlay(kOverlayA, vu1::kExtrudeInstructions);
    Stream s;
    s << Mscal(0x3900);
    Send(s);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"OverlayA"}));

    UploadOverlay(kOverlayB, vu1::kParticlesInstructions);
    Stream t;
    t << Mscal(0x3900) << Mscal(0x3A88) << Mscal(0x0000);
    Send(t);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"OverlayA", "OverlayBFlat", "OverlayBSprite", "MainStart"}));
    EXPECT_EQ(vu1::Lookup(0x3A88)->name, std::string("OverlayBSprite"));
    EXPECT_EQ(vu1::Lookup(0x3A88)->index, 49u);
    EXPECT_EQ(vu1::Lookup(0x3BB8)->index, 87u);
    // The main program below 0x3900 is untouched by the overlays.
    EXPECT_EQ(vu1::Vu1().Prog()[kMainInstructions - 1], vu1::Slot(kMain, kMainInstructions - 1));
}

TEST(Vu1Dispatch, MissingEntryIsADiagnosticWithADump)
{
    Fresh();
    UploadMain();
    UploadOverlay(kOverlayB, vu1::kParticlesInstructions);
    UploadOverlay(kOverlayA, vu1::kExtrudeInstructions);  // shorter: B's tail stays beyond it
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();

    // A stale address: index 49 now belongs to overlay A, which has no entry there.
    Stream s;
    s << Itop(5) << Mscal(0x3A88);
    Send(s);
    EXPECT_TRUE(g_ran.empty());
    EXPECT_TRUE(LogHas("MSCAL: no VU1 routine at 0x3A88: test overlay A (id 257) is resident"));
    EXPECT_TRUE(LogHas("nearest entries: OverlayA at 0x3900"));
    const std::string& dump = console::vu::LastDump();
    EXPECT_NE(dump.find("ITOP 5"), std::string::npos) << dump;
    EXPECT_NE(dump.find("test overlay A (id 257), instructions 0..80"), std::string::npos) << dump;
    EXPECT_NE(dump.find("test overlay B (id 258), instructions 82..132"), std::string::npos) << dump;
    EXPECT_EQ(console::vu::Tpc(), vu1::kNoResume);

    // Past the end of every image: nothing is loaded there.
    console::ClearDiagLog();
    EXPECT_EQ(vu1::Lookup(0x3F00), nullptr);
    EXPECT_TRUE(LogHas("nothing is loaded at 0x3F00"));
    // A slot that is loaded, of a program without an entry at that index.
    console::ClearDiagLog();
    EXPECT_EQ(vu1::Lookup(0x0008), nullptr);
    EXPECT_TRUE(LogHas("test main (id 256) is resident"));
    EXPECT_TRUE(LogHas("nearest entries: MainStart at 0x0000, MainStop at 0x0050"));
    EXPECT_EQ(console::vu::GetStats().dumps, 3u);
}

TEST(Vu1Dispatch, MscntResumesAtTheReturnedTpc)
{
    Fresh();
    UploadMain();
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    Stream s;
    s << Mscal(0x0050) << Mscnt() << Mscnt();
    Send(s);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"MainStop", "MainLoop", "MainLoop"}));
    EXPECT_EQ(console::vu::Tpc(), vu1::kNoResume);
    EXPECT_EQ(console::DiagErrorCount(), 0);

    // Nothing is left to continue: MSCNT is an error and runs nothing.
    Stream t;
    t << Mscnt();
    Send(t);
    EXPECT_EQ(g_ran.size(), 3u);
    EXPECT_TRUE(LogHas("MSCNT: the last VU1 run ended without a point to continue at"));
}

TEST(Vu1DoubleBuffer, TopsAlternatesOverThreeMscalsAndOffsetResetsIt)
{
    Fresh();
    UploadMain();
    auto round = [](u32 marker, u32 extra) {
        Stream s;
        if (extra != 0)
            s << extra;
        s << Stcycl(4, 4) << Unpack(3, 0, 1, 0, kFlg);
        Push(s, marker, 0, 0, 0);
        s << Mscal(0);
        Send(s);
    };
    Stream setup;
    setup << Base(0) << Offset(216) << Itop(7);
    Send(setup);
    round(101, 0);
    round(102, Itop(9));
    round(103, 0);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].top, 0u);
    EXPECT_EQ(g_seen[1].top, 216u);
    EXPECT_EQ(g_seen[2].top, 0u);
    EXPECT_EQ(g_seen[0].itop, 7u);
    EXPECT_EQ(g_seen[1].itop, 9u);
    EXPECT_EQ(g_seen[2].itop, 9u);
    for (u32 i = 0; i < 3; ++i)
        EXPECT_EQ(g_seen[i].marker, 101 + i) << "the block unpacked before MSCAL " << i << " is at its TOP";
    EXPECT_EQ(console::vif::GetRegisters().tops, 216u);
    EXPECT_TRUE(DGET_VIF1_STAT() & console::vif::kStatDbf);

    // OFFSET in the middle of the cycle: DBF cleared, TOPS = BASE, so the
    // next block lands at BASE and the next MSCAL starts there.
    round(104, Offset(216));
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[3].top, 0u);
    EXPECT_EQ(g_seen[3].marker, 104u);
    EXPECT_EQ(vu1::Vu1().I(216)[0], 102u) << "the other half kept the second block";

    // The road pass's pair: BASE 289, OFFSET 96.
    Stream road;
    road << Base(289) << Offset(96);
    Send(road);
    round(105, 0);
    round(106, 0);
    EXPECT_EQ(g_seen[4].top, 289u);
    EXPECT_EQ(g_seen[5].top, 385u);
    EXPECT_EQ(g_seen[5].marker, 106u);
}

TEST(Vu1Xgkick, CommandBlockBecomesATrianglePacketOnPath1)
{
    Fresh();
    UploadMain();
    giftest::ScopedRecorder gs;
    Stream s;
    s << Base(0) << Offset(216) << Stcycl(4, 4) << Unpack(3, 0, 4, 0, kFlg);
    Push(s, 432, 0, 0, 0);
    Push(s, 100, 200, 0x1000, 0xFF0000FF);
    Push(s, 300, 200, 0x2000, 0xFF00FF00);
    Push(s, 200, 400, 0x3000, 0xFFFF0000);
    s << Mscal(0x80);
    Send(s);

    EXPECT_EQ(g_ran, (std::vector<std::string>{"KickTriangle"}));
    const u64 one = u64{0x3F800000} << 32;  // Q of RGBAQ after a tag
    EXPECT_EQ(gs.recorder.writes,
              (std::vector<giftest::RegWrite>{{0x00, 3},
                                              {0x01, 0xFF0000FF | one},
                                              {0x05, 100 * 16 | (200 * 16) << 16 | u64{0x1000} << 32},
                                              {0x01, 0xFF00FF00 | one},
                                              {0x05, 300 * 16 | (200 * 16) << 16 | u64{0x2000} << 32},
                                              {0x01, 0xFFFF0000 | one},
                                              {0x05, 200 * 16 | (400 * 16) << 16 | u64{0x3000} << 32}}));
    EXPECT_EQ(console::gif::Counters(console::gif::Path::kPath1).packets, 1u);
    EXPECT_EQ(console::vu::GetStats().kicked_qwc, 7u);
    EXPECT_TRUE(console::gif::Idle());
}

TEST(Vu1Xgkick, PacketWrapsAtTheEndOfDataMemory)
{
    Fresh();
    giftest::ScopedRecorder gs;
    vu1::Machine& vu = vu1::Vu1();
    vu.Q(1022) = giftest::GifTag(1, false, 0, 1, 0xE);
    vu.Q(1023) = giftest::Ad(0x3F, 1);
    vu.Q(0) = giftest::GifTag(2, true, 0, 1, 0xE);
    vu.Q(1) = giftest::Ad(0x45, 2);
    vu.Q(2) = giftest::Ad(0x46, 3);
    vu.Xgkick(1022 + 1024);  // addresses wrap
    EXPECT_EQ(gs.recorder.writes, (std::vector<giftest::RegWrite>{{0x3F, 1}, {0x45, 2}, {0x46, 3}}));

    // Tags that never end: an error, and nothing reaches the GIF.
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    for (u32 a = 0; a < vu1::kDataQuadwords; ++a)
        vu.Q(a) = giftest::GifTag(0, false, 0, 1, 0xE);
    vu.Xgkick(0);
    EXPECT_TRUE(LogHas("no tag with EOP within 1,024 quadwords"));
    EXPECT_EQ(gs.recorder.writes.size(), 3u);
}

TEST(Vu1Registry, FindChecksThatTheCalledProgramIsResident)
{
    Fresh();
    UploadMain();
    UploadOverlay(kOverlayB, vu1::kParticlesInstructions);
    Stream s;
    s << Mscal(0x3BB8);
    Send(s);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"OverlayBLine", "MainStart"}));

    // The main program's first slots overwritten (a stray upload): the call
    // from the overlay is refused with a diagnostic.
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    UploadOverlay(kOverlayA, 2, 0);
    g_ran.clear();
    Send(s);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"OverlayBLine"}));
    EXPECT_TRUE(LogHas("MainStart of test main is not resident at 0x0000: test overlay A (id 257) is resident"));
    EXPECT_EQ(vu1::Find(kMain, "NoSuchRoutine"), nullptr);
    EXPECT_TRUE(LogHas("no VU1 routine named NoSuchRoutine is registered in test main"));
}

TEST(Vu1Machine, Vif1ResetClearsTheUserAreaButNotTheMemories)
{
    Fresh();
    UploadMain();
    vu1::Machine& vu = vu1::Vu1();
    struct State {
        int material;
        float scale;
    };
    vu.User<State>() = State{7, 2.5f};
    vu.Q(10) = u128{1, 2};
    DPUT_VIF1_FBRST(1);
    EXPECT_EQ(vu.User<State>().material, 0);
    EXPECT_EQ(vu.User<State>().scale, 0.0f);
    EXPECT_EQ(vu.Q(10), (u128{1, 2}));
    EXPECT_EQ(vu.Prog()[0], vu1::Slot(kMain, 0));
    // Quadword views wrap at 1,024.
    EXPECT_EQ(&vu.Q(1034), &vu.Q(10));
    EXPECT_EQ(vu.F(10), reinterpret_cast<float*>(&vu.mem[10]));
}

TEST(Vu0Memory, ArraysHaveTheUnitsSizes)
{
    EXPECT_EQ(sizeof vu0_micro, 4096u);
    EXPECT_EQ(sizeof vu0_data, 4096u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(vu0_data) % 16, 0u);
}
