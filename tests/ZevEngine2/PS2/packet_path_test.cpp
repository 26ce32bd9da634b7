// The game's own packet writers driving the DMA, VIF1 and GIF stand-ins: what
// a VIFpacket chain says must reach the GS unchanged.
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>

#include <algorithm>
#include <vector>

#include "console/dmac/dma_probe.h"
#include "console/gif/gs_recorder.h"
#include "gif/gif.h"
#include "vif/vif1.h"

#include "ZevEngine2/PS2/Packet.h"

namespace {

// 256 x 257 pixels of 32 bits: 16,448 quadwords, so LoadImage needs an IMAGE
// tag of 16,383 quadwords and one of 65.
constexpr u32 kWidth = 256;
constexpr u32 kHeight = 257;
constexpr u32 kImageQwc = kWidth * kHeight * 4 / 16;

alignas(16) u_long128 g_chain[64];
alignas(16) u64 g_image[kImageQwc * 2];

}  // namespace

TEST(PacketPath, VifPacketChainReachesTheGsIntact)
{
    dmatest::ResetMachine();
    giftest::ScopedRecorder gs;
    for (u32 i = 0; i < kImageQwc * 2; ++i)
        g_image[i] = 0x0123456789ABCDEFull * (i + 1);

    VIFpacket packet(g_chain);
    const u64 regs[6] = {0x44, GS_ALPHA_1, 0x30000, GS_TEST_1, 0, GS_TEXFLUSH};
    packet.AddGifRegs(regs, 3);
    packet.LoadImage(0x100, 0 /* PSMCT32 */, 4, g_image, 8, 16, kWidth, kHeight);
    packet.End();

    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 1;
    sceDmaSend(ch, g_chain);

    // The transfer registers in the GS's own layouts: BITBLTBUF DBP 32-45,
    // DBW 48-53, DPSM 56-61; TRXPOS DSAX 32-42, DSAY 48-58; TRXREG RRW 0-11,
    // RRH 32-43.
    const u64 bitbltbuf = u64{0x100} << 32 | u64{4} << 48;
    const u64 trxpos = u64{8} << 32 | u64{16} << 48;
    const u64 trxreg = u64{kWidth} | u64{kHeight} << 32;
    EXPECT_EQ(gs.recorder.writes, (std::vector<giftest::RegWrite>{{GS_ALPHA_1, 0x44},
                                                                   {GS_TEST_1, 0x30000},
                                                                   {GS_TEXFLUSH, 0},
                                                                   {GS_BITBLTBUF, bitbltbuf},
                                                                   {GS_TRXPOS, trxpos},
                                                                   {GS_TRXREG, trxreg},
                                                                   {GS_TRXDIR, 0}}));
    ASSERT_EQ(gs.recorder.image.size(), kImageQwc);
    const u128* expected = reinterpret_cast<const u128*>(g_image);
    EXPECT_TRUE(std::equal(gs.recorder.image.begin(), gs.recorder.image.end(), expected));

    EXPECT_EQ(ch->chcr.STR, 0u);
    // The register block, the transfer set-up (its A+D tag has EOP) and the
    // two IMAGE tags of the pixels.
    EXPECT_EQ(console::gif::Counters(console::gif::Path::kPath2).packets, 3u);
    EXPECT_EQ(console::gif::Counters(console::gif::Path::kPath2).tags, 4u);
    EXPECT_TRUE(console::vif::Idle());
    EXPECT_EQ(sceGsSyncPath(0, 0), 0);
}

namespace {

struct FormatCase {
    u8 psm;
    const char* name;
    u32 bits;
};

// Random but repeatable pixel bytes.
std::vector<u8> Pattern(size_t n, u32 seed)
{
    std::vector<u8> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = static_cast<u8>(seed >> 24);
    }
    return bytes;
}

}  // namespace

// An image sent by VIFpacket::LoadImage through DMA, VIF1 and the GIF into
// the GS and read back through local->host comes back byte for byte, in every
// format the game uploads.
TEST(PacketPath, ImageRoundTripsThroughTheGsInEveryFormat)
{
    const FormatCase cases[] = {{0x00, "PSMCT32", 32}, {0x02, "PSMCT16", 16}, {0x0A, "PSMCT16S", 16},
                                {0x13, "PSMT8", 8},    {0x14, "PSMT4", 4},    {0x31, "PSMZ24", 24}};
    constexpr u32 kW = 64, kH = 40;
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        dmatest::ResetMachine();
        const size_t bytes = size_t{kW} * kH * c.bits / 8;
        std::vector<u8> src = Pattern(bytes, c.psm + 7);
        alignas(16) static u_long128 image[kW * kH * 32 / 128];
        alignas(16) static u_long128 back[kW * kH * 32 / 128 + 1];
        std::memcpy(image, src.data(), bytes);
        std::memset(back, 0, sizeof back);

        VIFpacket packet(g_chain);
        packet.LoadImage(0x200, c.psm, 2, reinterpret_cast<const u64*>(image), 0, 8, kW, kH);
        packet.End();
        sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
        ch->chcr.TTE = 1;
        sceDmaSend(ch, g_chain);
        ASSERT_EQ(sceGsSyncPath(0, 0), 0);

        sceGsStoreImage si;
        sceGsSetDefStoreImage(&si, 0x200, 2, c.psm, 0, 8, kW, kH);
        ASSERT_EQ(sceGsExecStoreImage(&si, back), 0);
        EXPECT_EQ(std::memcmp(back, src.data(), bytes), 0);
    }
}
