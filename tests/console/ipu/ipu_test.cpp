// The IPU as a program reaches it: IPU_CMD and IPU_CTRL, DMA channel 4 in and
// channel 3 out, sceIpuSync.
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/ipu.h>
#include <ee/regs.h>

#include <cstring>
#include <string>

#include "console/core/diag_support.h"
#include "console/dmac/dma_probe.h"
#include "console/ipu/stream_writer.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ipu/ipu.h"

using ipustream::Writer;

namespace {

constexpr u32 kReset = 0x40000000;
constexpr u32 kFdec = 0x40000000;
constexpr u32 kIdec = 0x10000000;
constexpr u32 kQsc1 = 0x00010000;
constexpr u32 kRgb16 = 0x08000000;
constexpr u32 kBusy = 0x80000000;

alignas(16) u128 g_in[1024];
alignas(16) u128 g_out[16 * 64];

using diagtest::LogHas;

void Reset()
{
    dmatest::ResetMachine();
    console::ipu::ClearStats();
    console::ClearDiagLog();
    std::memset(g_out, 0xEE, sizeof g_out);
    DPUT_IPU_CTRL(kReset);
}

// Sends the writer's bytes (padded to whole quadwords) through channel 4.
void Send(const Writer& w)
{
    const size_t qwc = (w.Bytes().size() + 15) / 16;
    std::memset(g_in, 0, qwc * 16);
    std::memcpy(g_in, w.Bytes().data(), w.Bytes().size());
    sceDmaSendN(sceDmaGetChan(SCE_DMA_toIPU), g_in, static_cast<int>(qwc));
}

u32 Fdec(int n)
{
    DPUT_IPU_CMD(kFdec | static_cast<u32>(n));
    EXPECT_EQ(sceIpuSync(0, 0), 0);
    const u64 cmd = DGET_IPU_CMD();
    EXPECT_EQ(cmd >> 63, 0u);
    return static_cast<u32>(cmd);
}

// Receives `qwc` quadwords into g_out; true when the transfer completed.
bool Receive(int qwc)
{
    sceDmaRecvN(sceDmaGetChan(SCE_DMA_fromIPU), g_out, qwc);
    return (DGET_D3_CHCR() & 0x100) == 0;
}

u32 Pixel32(int mb, int i)
{
    u32 v;
    std::memcpy(&v, reinterpret_cast<const u8*>(g_out) + mb * 1024 + i * 4, 4);
    return v;
}

u32 Expected32(int y, int cb, int cr)
{
    u8 rgb[3];
    ipustream::Bt601(y, cb, cr, rgb);
    return rgb[0] | rgb[1] << 8 | rgb[2] << 16 | 0x80u << 24;
}

// Three flat macroblocks of different colours and a sequence end code.
Writer ThreeFlatMacroblocks()
{
    Writer w;
    ipustream::Predictors p;
    ipustream::FlatMacroblock(w, 180, 100, 150, p);
    ipustream::FlatMacroblock(w, 40, 200, 60, p);
    ipustream::FlatMacroblock(w, 235, 128, 128, p);
    w.End();
    return w;
}

}  // namespace

TEST(Ipu, FdecPeeksWithoutConsuming)
{
    Reset();
    Writer w;
    w.Put(0x12345678, 32);
    w.Put(0x9ABCDEF0, 32);
    w.Put(0x0F0F0F0F, 32);
    w.Put(0, 32);
    Send(w);
    EXPECT_EQ(DGET_IPU_CTRL() & 0xF, 1u);  // IFC: one quadword waiting

    EXPECT_EQ(Fdec(0), 0x12345678u);
    EXPECT_EQ(Fdec(0), 0x12345678u);  // a peek does not move the stream
    EXPECT_EQ(Fdec(8), 0x3456789Au);  // 8 bits consumed, the next 32 shown
    EXPECT_EQ(Fdec(0), 0x3456789Au);
    EXPECT_EQ(Fdec(32), 0xBCDEF00Fu);
    EXPECT_EQ(console::ipu::GetStats().fdec_commands, 5u);
}

TEST(Ipu, FdecPastTheEndOfAFinishedInputReadsZeros)
{
    Reset();
    Writer w;
    w.Put(0xAB, 8);
    Send(w);  // one quadword: 0xAB then 15 zero bytes
    EXPECT_EQ(Fdec(120), 0u);
    EXPECT_EQ(Fdec(32), 0u);
    EXPECT_EQ(DGET_IPU_CTRL() & kBusy, 0u);
}

TEST(Ipu, IdecDecodesUntilTheStartCodeAsItsOutputIsTaken)
{
    Reset();
    Send(ThreeFlatMacroblocks());
    DPUT_IPU_CMD(kIdec | kQsc1);

    // Nothing has taken the output: the decoder waits one macroblock ahead.
    EXPECT_NE(sceIpuSync(1, 0), 0);
    EXPECT_EQ((DGET_IPU_CTRL() >> 4) & 0xF, 8u);  // OFC
    EXPECT_EQ(console::ipu::GetStats().macroblocks, 1u);

    ASSERT_TRUE(Receive(3 * 64));
    EXPECT_EQ(sceIpuSync(1, 0), 0);
    EXPECT_EQ(sceIpuSync(0, 0), 0);
    const u32 ctrl = DGET_IPU_CTRL();
    EXPECT_TRUE(ctrl & 0x8000);        // SCD: stopped at the start code
    EXPECT_FALSE(ctrl & 0x4000);       // no error
    EXPECT_EQ((ctrl >> 8) & 0x3F, 0x3Fu);  // CBP: all six blocks coded

    const u32 colours[3] = {Expected32(180, 100, 150), Expected32(40, 200, 60), Expected32(235, 128, 128)};
    EXPECT_EQ(colours[2], 0x80FFFFFFu);
    for (int mb = 0; mb < 3; ++mb)
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(Pixel32(mb, i), colours[mb]) << "macroblock " << mb << " pixel " << i;
    EXPECT_EQ(console::ipu::GetStats().receives, (std::vector<uint32_t>{3 * 64}));
}

TEST(Ipu, Rgb16OutputTakesHalfAQuadwordPerPixelPair)
{
    Reset();
    Send(ThreeFlatMacroblocks());
    DPUT_IPU_CMD(kIdec | kRgb16 | kQsc1);
    ASSERT_TRUE(Receive(3 * 32));
    EXPECT_EQ(sceIpuSync(0, 0), 0);
    u8 rgb[3];
    ipustream::Bt601(40, 200, 60, rgb);
    const u16 expect = static_cast<u16>(rgb[0] >> 3 | (rgb[1] >> 3) << 5 | (rgb[2] >> 3) << 10 | 0x8000);
    const u16* px = reinterpret_cast<const u16*>(g_out) + 256;  // the second macroblock
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(px[i], expect);
    // Nothing beyond the three macroblocks was written.
    EXPECT_EQ(reinterpret_cast<const u8*>(g_out)[3 * 512], 0xEE);
}

TEST(Ipu, IdecSkipsItsForwardBitsAndTakesTheControlBits)
{
    Reset();
    // Five bits to skip, then one macroblock coded at 10-bit DC precision
    // (IDP 2): the DC values are four times the 8-bit ones.
    Writer w;
    w.Put("10110");
    ipustream::Predictors p{512, 512, 512};
    const int dc[6] = {4 * 180, 4 * 180, 4 * 180, 4 * 180, 4 * 100, 4 * 150};
    ipustream::DcOnlyMacroblock(w, dc, p);
    w.End();
    Send(w);
    DPUT_IPU_CTRL(2u << 16);
    EXPECT_EQ(DGET_IPU_CTRL() & 0x00FF0000, 0x00020000u);
    DPUT_IPU_CMD(kIdec | kQsc1 | 5);
    ASSERT_TRUE(Receive(64));
    EXPECT_EQ(Pixel32(0, 0), Expected32(180, 100, 150));
    EXPECT_EQ(Pixel32(0, 255), Expected32(180, 100, 150));
}

TEST(Ipu, CorruptStreamEndsTheCommandWithAnErrorAndNoMoreOutput)
{
    Reset();
    Writer w;
    ipustream::Predictors p;
    ipustream::FlatMacroblock(w, 180, 100, 150, p);
    ipustream::FlatMacroblock(w, 40, 200, 60, p);
    w.Put("1 001 1111 0000 1111 0000 1111");  // "001" is no intra macroblock type
    w.End();
    Send(w);
    DPUT_IPU_CMD(kIdec | kQsc1);
    EXPECT_FALSE(Receive(3 * 64));  // waits for a third macroblock that never comes
    const u32 ctrl = DGET_IPU_CTRL();
    EXPECT_EQ(ctrl & kBusy, 0u);
    EXPECT_TRUE(ctrl & 0x4000);           // ECD
    EXPECT_EQ((ctrl >> 4) & 0xF, 0u);     // OFC: nothing left to take
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_fromIPU);
    EXPECT_EQ(reinterpret_cast<u8*>(ch->madr) - reinterpret_cast<u8*>(g_out), 2 * 1024);
    EXPECT_EQ(Pixel32(1, 0), Expected32(40, 200, 60));
    EXPECT_TRUE(LogHas("warning [ipu] IDEC: no valid code"));
    EXPECT_EQ(console::ipu::GetStats().macroblocks, 2u);
    ch->chcr.STR = 0;  // give up the receive
    EXPECT_EQ(sceDmaSync(ch, 0, 0), 0);
}

TEST(Ipu, StreamCutInsideAMacroblockEndsTheCommand)
{
    Reset();
    Writer w;
    ipustream::Predictors p;
    for (int i = 0; i < 2; ++i)
        ipustream::FlatMacroblock(w, 60 + 50 * i, 90, 160, p);
    // The cut leaves the third macroblock's header and a garbled first block.
    w.Put("1 1 11111111 1");
    Send(w);
    DPUT_IPU_CMD(kIdec | kQsc1);
    EXPECT_FALSE(Receive(3 * 64));
    EXPECT_EQ(DGET_IPU_CTRL() & (kBusy | 0x4000), 0x4000u);
    EXPECT_EQ(console::ipu::GetStats().macroblocks, 2u);
    sceDmaGetChan(SCE_DMA_fromIPU)->chcr.STR = 0;
}

TEST(Ipu, IdecOnAFinishedEmptyInputEndsAtOnce)
{
    Reset();
    DPUT_IPU_CMD(kIdec | kQsc1);
    EXPECT_EQ(sceIpuSync(0, 0), 0);
    EXPECT_EQ(console::ipu::OutputQuadwords(), 0u);
    EXPECT_EQ(DGET_IPU_CTRL() & 0xC000, 0u);  // neither start code nor error
}

TEST(Ipu, ResetEmptiesBothFifosAndAbortsTheCommand)
{
    Reset();
    Send(ThreeFlatMacroblocks());
    DPUT_IPU_CMD(kIdec | kQsc1);
    EXPECT_NE(DGET_IPU_CTRL() & kBusy, 0u);
    DPUT_IPU_CTRL(kReset);
    EXPECT_EQ(DGET_IPU_CTRL(), 0u);
    EXPECT_EQ(console::ipu::OutputQuadwords(), 0u);
    EXPECT_EQ(Fdec(0), 0u);  // the input is gone
}

TEST(Ipu, WaitingForOutputNobodyTakesIsADeadlock)
{
    Reset();
    Send(ThreeFlatMacroblocks());
    DPUT_IPU_CMD(kIdec | kQsc1);
    console::ScopedDiagCapture capture;
    EXPECT_EQ(sceIpuSync(0, 0), -1);
    EXPECT_TRUE(LogHas("sceIpuSync"));
    EXPECT_TRUE(LogHas("busy with IDEC"));
    DPUT_IPU_CTRL(kReset);
}

TEST(Ipu, MisusesAreErrors)
{
    Reset();
    console::ScopedDiagCapture capture;
    DPUT_IPU_CMD(0x70000000);  // CSC
    EXPECT_TRUE(LogHas("IPU command CSC (0x70000000) is not modelled"));
    EXPECT_EQ(DGET_IPU_CTRL() & kBusy, 0u);

    Send(ThreeFlatMacroblocks());
    DPUT_IPU_CMD(kIdec | kQsc1);
    DPUT_IPU_CMD(kFdec);
    EXPECT_TRUE(LogHas("IPU_CMD 0x40000000 written while IDEC"));
    DPUT_IPU_CTRL(kReset);
}
