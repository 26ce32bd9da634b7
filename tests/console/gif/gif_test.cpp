#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/regs.h>

#include <bit>
#include <string>
#include <vector>

#include "console/dmac/dma_probe.h"
#include "console/gif/gs_recorder.h"
#include "core/diag.h"
#include "gif/gif.h"
#include "gs/gs.h"

using console::gif::Feed;
using console::gif::Path;
using giftest::Ad;
using giftest::GifTag;
using giftest::RegWrite;

namespace {

constexpr uint32_t kPacked = 0;
constexpr uint32_t kReglist = 1;
constexpr uint32_t kImage = 2;

// Register descriptors.
constexpr uint64_t kDPrim = 0x0;
constexpr uint64_t kDRgbaq = 0x1;
constexpr uint64_t kDSt = 0x2;
constexpr uint64_t kDUv = 0x3;
constexpr uint64_t kDXyzf2 = 0x4;
constexpr uint64_t kDXyz2 = 0x5;
constexpr uint64_t kDTex0_1 = 0x6;
constexpr uint64_t kDFog = 0xA;
constexpr uint64_t kDAd = 0xE;
constexpr uint64_t kDNop = 0xF;

uint32_t FloatBits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

void FeedAll(Path path, const std::vector<u128>& qs)
{
    Feed(path, qs.data(), qs.size());
}

void Reset()
{
    dmatest::ResetMachine();
}

}  // namespace

TEST(GifPacked, AdWritesGoToTheAddressedRegisters)
{
    Reset();
    giftest::ScopedRecorder gs;
    FeedAll(Path::kPath2, {GifTag(3, true, kPacked, 1, kDAd), Ad(0x4C, 0x0000000000A00000ull),
                           Ad(0x50, 0x1234000000000000ull), Ad(0x3F, 0)});
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x4C, 0x0000000000A00000ull},
                                                          {0x50, 0x1234000000000000ull},
                                                          {0x3F, 0}}));
    EXPECT_FALSE(console::gif::PacketOpen(Path::kPath2));
    EXPECT_EQ(console::gif::Counters(Path::kPath2).packets, 1u);
}

TEST(GifPacked, RgbaqTakesQFromTheLastStAndEachTagStartsAtOne)
{
    Reset();
    giftest::ScopedRecorder gs;
    const float s = 0.25f, t = 0.75f, q = 2.5f;
    // ST then RGBAQ, twice: the first RGBAQ carries q, the second 4.0.
    const uint64_t st = uint64_t{FloatBits(s)} | uint64_t{FloatBits(t)} << 32;
    FeedAll(Path::kPath2, {GifTag(2, false, kPacked, 2, kDSt | kDRgbaq << 4),
                           {st, FloatBits(q)},
                           {0x11 | uint64_t{0x22} << 32, 0x33 | uint64_t{0x44} << 32},
                           {st, FloatBits(4.0f)},
                           {0x01 | uint64_t{0x02} << 32, 0x03 | uint64_t{0x80} << 32},
                           // A new tag: RGBAQ alone gets Q = 1.0.
                           GifTag(1, true, kPacked, 1, kDRgbaq),
                           {0x10 | uint64_t{0x20} << 32, 0x30 | uint64_t{0x40} << 32}});
    EXPECT_EQ(gs.recorder.ValuesOf(0x02), (std::vector<u64>{st, st}));
    const uint64_t rgba1 = 0x11 | 0x22 << 8 | 0x33 << 16 | uint64_t{0x44} << 24;
    const uint64_t rgba2 = 0x01 | 0x02 << 8 | 0x03 << 16 | uint64_t{0x80} << 24;
    const uint64_t rgba3 = 0x10 | 0x20 << 8 | 0x30 << 16 | uint64_t{0x40} << 24;
    EXPECT_EQ(gs.recorder.ValuesOf(0x01),
              (std::vector<u64>{rgba1 | uint64_t{FloatBits(q)} << 32, rgba2 | uint64_t{FloatBits(4.0f)} << 32,
                                rgba3 | uint64_t{FloatBits(1.0f)} << 32}));
}

TEST(GifPacked, AdcBitTurnsXyzf2AndXyz2IntoTheirNonDrawingForms)
{
    Reset();
    giftest::ScopedRecorder gs;
    const uint64_t x = 0x8123, y = 0x7456, z24 = 0xABCDEF, f = 0x9A;
    const uint64_t z32 = 0xFEDCBA98;
    // XYZF2 layout: X 0-15, Y 32-47, Z 68-91, F 100-107, ADC 111.
    const u128 xyzf{x | y << 32, z24 << 4 | f << 36};
    const u128 xyzf_adc{xyzf.lo, xyzf.hi | uint64_t{1} << 47};
    // XYZ2 layout: X 0-15, Y 32-47, Z 64-95, ADC 111.
    const u128 xyz{x | y << 32, z32};
    const u128 xyz_adc{xyz.lo, xyz.hi | uint64_t{1} << 47};
    FeedAll(Path::kPath1, {GifTag(2, true, kPacked, 2, kDXyzf2 | kDXyz2 << 4), xyzf_adc, xyz_adc, xyzf, xyz});

    const uint64_t xyzf_value = x | y << 16 | z24 << 32 | f << 56;
    const uint64_t xyz_value = x | y << 16 | z32 << 32;
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x0C, xyzf_value},
                                                          {0x0D, xyz_value},
                                                          {0x04, xyzf_value},
                                                          {0x05, xyz_value}}));
}

TEST(GifPacked, PrimUvFogAndRawDescriptorsConvert)
{
    Reset();
    giftest::ScopedRecorder gs;
    const uint64_t tex0 = 0x0123456789ABCDEFull;
    // PRE writes PRIM before the data; then PRIM (11 bits), UV (14-bit
    // fields), FOG (bits 100-107), TEX0_1 (the low half unchanged) and NOP.
    FeedAll(Path::kPath3, {GifTag(1, true, kPacked, 6, kDPrim | kDUv << 4 | kDFog << 8 | kDTex0_1 << 12 |
                                                          kDNop << 16 | kDAd << 20,
                                  true, 0x156),
                           {0xFFFF'FFFF'FFFF'F806ull, ~0ull},
                           {0xFFFF'C123'FFFF'C456ull, ~0ull},
                           {~0ull, uint64_t{0x5C} << 36},
                           {tex0, ~0ull},
                           {~0ull, ~0ull},
                           Ad(0x42, 0x44)});
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x00, 0x156},
                                                          {0x00, 0x006},
                                                          {0x03, 0x0456 | uint64_t{0x0123} << 16},
                                                          {0x0A, uint64_t{0x5C} << 56},
                                                          {0x06, tex0},
                                                          {0x42, 0x44}}));
}

TEST(GifReglist, ValuesGoInRegisterOrderAndAnOddCountPadsTheLastQuadword)
{
    Reset();
    giftest::ScopedRecorder gs;
    // NREG 3 (UV, XYZ2, RGBAQ) x NLOOP 1: three values in two quadwords, the
    // last upper half padding; the next tag follows at once.
    FeedAll(Path::kPath2, {GifTag(1, false, kReglist, 3, kDUv | kDXyz2 << 4 | kDRgbaq << 8), {0x100, 0x200},
                           {0x300, 0xDEADBEEF}, GifTag(2, true, kReglist, 2, kDUv | kDXyz2 << 4), {0x11, 0x12},
                           {0x21, 0x22}});
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x03, 0x100},
                                                          {0x05, 0x200},
                                                          {0x01, 0x300},
                                                          {0x03, 0x11},
                                                          {0x05, 0x12},
                                                          {0x03, 0x21},
                                                          {0x05, 0x22}}));
    EXPECT_FALSE(console::gif::PacketOpen(Path::kPath2));
    EXPECT_EQ(console::gif::Counters(Path::kPath2).tags, 2u);
}

TEST(GifTags, EmptyTagEndsThePacketOnlyWithEop)
{
    Reset();
    giftest::ScopedRecorder gs;
    FeedAll(Path::kPath2, {GifTag(0, false, kPacked, 1, kDAd, true, 0x7)});
    EXPECT_TRUE(console::gif::PacketOpen(Path::kPath2));
    FeedAll(Path::kPath2, {GifTag(0, true, kPacked, 1, kDAd)});
    EXPECT_FALSE(console::gif::PacketOpen(Path::kPath2));
    EXPECT_TRUE(gs.recorder.writes.empty());  // PRE is ignored in an empty tag
}

// IMAGE data arriving through the GIF channel: an A+D tag sets the transfer
// up, then two IMAGE tags whose data comes by several REF tags.
alignas(16) u128 g_image_chain[16];
alignas(16) u128 g_pixels[9];

TEST(GifImage, TransferSpanningTwoImageTagsAndSeveralDmaTransfersArrivesComplete)
{
    Reset();
    giftest::ScopedRecorder gs;
    for (uint32_t i = 0; i < 9; ++i)
        g_pixels[i] = dmatest::Q(0x100 + i);
    u128* c = g_image_chain;
    *c++ = dmatest::Tag(SCE_DMA_TAG_CNT, 6);
    *c++ = GifTag(4, true, kPacked, 1, kDAd);
    *c++ = Ad(0x50, uint64_t{0x00010000} << 32);
    *c++ = Ad(0x51, 0);
    *c++ = Ad(0x52, 4 | uint64_t{9} << 32);
    *c++ = Ad(0x53, 0);
    *c++ = GifTag(5, false, kImage, 0, 0);
    *c++ = dmatest::Tag(SCE_DMA_TAG_REF, 3, &g_pixels[0]);
    *c++ = dmatest::Tag(SCE_DMA_TAG_REF, 2, &g_pixels[3]);
    *c++ = dmatest::Tag(SCE_DMA_TAG_CNT, 1);
    *c++ = GifTag(4, true, kImage, 0, 0);
    *c++ = dmatest::Tag(SCE_DMA_TAG_REF, 1, &g_pixels[5]);
    *c++ = dmatest::Tag(SCE_DMA_TAG_REFE, 3, &g_pixels[6]);

    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_GIF);
    sceDmaSend(ch, g_image_chain);

    EXPECT_EQ(ch->chcr.STR, 0u);
    EXPECT_EQ(gs.recorder.image, std::vector<u128>(g_pixels, g_pixels + 9));
    EXPECT_EQ(gs.recorder.ValuesOf(0x52), (std::vector<u64>{4 | uint64_t{9} << 32}));
    EXPECT_FALSE(console::gif::PacketOpen(Path::kPath3));
    EXPECT_EQ(console::gif::Counters(Path::kPath3).tags, 3u);
}

TEST(GifImage, DataTheGsRefusesIsDiscardedAndThePathStaysInStep)
{
    Reset();
    giftest::ScopedRecorder gs;
    gs.recorder.image_budget = 1;
    console::ClearDiagLog();
    FeedAll(Path::kPath3, {GifTag(3, true, kImage, 0, 0), dmatest::Q(1), dmatest::Q(2), dmatest::Q(3),
                           GifTag(1, true, kPacked, 1, kDAd), Ad(0x3F, 0)});
    EXPECT_EQ(gs.recorder.image, std::vector<u128>{dmatest::Q(1)});
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x3F, 0}}));
    bool warned = false;
    for (const std::string& line : console::DiagLog())
        warned |= line.find("the GS took 1 of 3 IMAGE quadwords") != std::string::npos;
    EXPECT_TRUE(warned);
}

TEST(GifPaths, EachPathKeepsItsOwnPacketAcrossPieces)
{
    Reset();
    giftest::ScopedRecorder gs;
    // PATH3 delivers its tag and one of two A+D pairs, then PATH2 sends a
    // whole packet, then PATH3 finishes.
    FeedAll(Path::kPath3, {GifTag(2, true, kPacked, 1, kDAd), Ad(0x06, 0x33)});
    EXPECT_TRUE(console::gif::PacketOpen(Path::kPath3));
    uint32_t stat = DGET_GIF_STAT();
    EXPECT_EQ((stat >> 10) & 3, 3u);  // APATH: PATH3
    EXPECT_TRUE(stat & (1u << 9));    // OPH

    FeedAll(Path::kPath2, {GifTag(1, false, kPacked, 1, kDAd), Ad(0x42, 0x22)});
    stat = DGET_GIF_STAT();
    EXPECT_EQ((stat >> 10) & 3, 2u);  // PATH2 now active, PATH3 queued
    EXPECT_TRUE(stat & (1u << 6));
    FeedAll(Path::kPath2, {GifTag(0, true, kPacked, 1, kDAd)});

    FeedAll(Path::kPath3, {Ad(0x3F, 0x34)});
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x06, 0x33}, {0x42, 0x22}, {0x3F, 0x34}}));
    EXPECT_TRUE(console::gif::Idle());
    EXPECT_EQ(DGET_GIF_STAT() & 0xFC0u, 0u);
}

TEST(GifCtrl, ResetForgetsAHalfReceivedPacket)
{
    Reset();
    giftest::ScopedRecorder gs;
    FeedAll(Path::kPath2, {GifTag(4, true, kPacked, 1, kDAd), Ad(0x4C, 1), Ad(0x4E, 2)});
    DPUT_GIF_CTRL(1);
    EXPECT_TRUE(console::gif::Idle());
    // Without the reset this tag would be taken for the packet's third pair.
    FeedAll(Path::kPath2, {GifTag(1, true, kPacked, 1, kDAd), Ad(0x45, 1)});
    EXPECT_EQ(gs.recorder.writes, (std::vector<RegWrite>{{0x4C, 1}, {0x4E, 2}, {0x45, 1}}));
    EXPECT_TRUE(console::gif::Idle());
}

TEST(GifMode, ModeIsStoredAndShowsInStat)
{
    Reset();
    DPUT_GIF_MODE(4);
    EXPECT_EQ(DGET_GIF_STAT() & 5u, 4u);  // IMT, no M3R
    DPUT_GIF_CTRL(1);
    EXPECT_EQ(DGET_GIF_STAT() & 5u, 0u);
}

TEST(GifSink, DefaultSinkIsTheGsStandIn)
{
    Reset();
    FeedAll(Path::kPath2, {GifTag(2, true, kPacked, 1, kDAd), Ad(0x45, 1), Ad(0x44, 0x3031203131203120ull)});
    EXPECT_EQ(console::gs::ReadRegister(0x45), 1u);
    EXPECT_EQ(console::gs::ReadRegister(0x44), 0x3031203131203120ull);
}
