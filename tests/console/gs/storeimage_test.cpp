// The graphics library's read-back: what the game's screenshot code gets.
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/gs/gs_draw_support.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "gs/gs.h"

using namespace gstest;
using console::gs::Psm;
using console::gs::ResetGs;
using console::gs::Vram;

namespace {

constexpr u32 kCT32 = 0x00;

u32 BarColour(u32 bar)
{
    return (bar & 1 ? 0xFF : 0) | (bar & 2 ? 0xFF00 : 0) | (bar & 4 ? 0xFF0000 : 0) | 0x80000000u;
}

void Start()
{
    console::ResetScheduler();
    ResetGs(true);
}

}  // namespace

TEST(GsStoreImage, ReturnsWhatWasDrawnRowByRow)
{
    Start();
    SetUpContext(0, 0, 10, kCT32);
    for (u32 bar = 0; bar < 8; ++bar) {
        const u32 c = BarColour(bar);
        FlatSprite(bar * 80, 0, bar * 80 + 80, 16, Rgbaq(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, c >> 24));
    }
    sceDmaChan* vif1 = sceDmaGetChan(SCE_DMA_VIF1);
    vif1->chcr.TTE = 1;
    alignas(16) u32 row[640];
    for (u32 y = 0; y < 16; ++y) {
        sceGsStoreImage si;
        sceGsSetDefStoreImage(&si, 0, 10, kCT32, 0, y, 640, 1);
        std::memset(row, 0, sizeof row);
        ASSERT_EQ(sceGsExecStoreImage(&si, reinterpret_cast<u_long128*>(row)), 0);
        for (u32 x = 0; x < 640; ++x)
            ASSERT_EQ(row[x], BarColour(x / 80)) << x << "," << y;
    }
    EXPECT_EQ(vif1->chcr.TTE, 0u) << "the read-back leaves tag transfer off";
}

TEST(GsStoreImage, WritesExactlyTheRectanglesBytes)
{
    Start();
    for (u32 x = 0; x < 101; ++x)
        Vram().WritePixel(Psm::kCT24, 0, 2, x, 5, 0x10203 * (x + 1));
    alignas(16) u8 buffer[303 + 32];
    std::memset(buffer, 0xEE, sizeof buffer);
    sceGsStoreImage si;
    sceGsSetDefStoreImage(&si, 0, 2, 0x01, 0, 5, 101, 1);
    ASSERT_EQ(sceGsExecStoreImage(&si, reinterpret_cast<u_long128*>(buffer)), 0);
    for (u32 x = 0; x < 101; ++x) {
        const u32 v = (0x10203 * (x + 1)) & 0xFFFFFF;
        ASSERT_EQ(buffer[3 * x] | (buffer[3 * x + 1] << 8) | (buffer[3 * x + 2] << 16), static_cast<int>(v)) << x;
    }
    for (size_t i = 303; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 0xEE) << "byte " << i << " past the row was written";
}

TEST(GsStoreImage, SixteenBitPixelsComeBackAsStored)
{
    Start();
    Vram().WritePixel(Psm::kCT16S, 0x200, 1, 3, 7, 0x001F);
    Vram().WritePixel(Psm::kCT16S, 0x200, 1, 4, 7, 0x8000);
    alignas(16) u16 out[8] = {};
    sceGsStoreImage si;
    sceGsSetDefStoreImage(&si, 0x200, 1, 0x0A, 3, 7, 2, 1);
    ASSERT_EQ(sceGsExecStoreImage(&si, reinterpret_cast<u_long128*>(out)), 0);
    EXPECT_EQ(out[0], 0x001F);
    EXPECT_EQ(out[1], 0x8000);
    EXPECT_EQ(out[2], 0) << "nothing past the two pixels";
}

TEST(GsStoreImage, RefusesARequestThatIsNotARead)
{
    Start();
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    sceGsStoreImage si;
    sceGsSetDefStoreImage(&si, 0, 1, 0, 0, 0, 4, 4);
    si.trxdir = 0;
    alignas(16) u128 out[4] = {};
    EXPECT_EQ(sceGsExecStoreImage(&si, out), -1);
    EXPECT_GT(console::DiagErrorCount(), 0);
    EXPECT_FALSE(console::gs::ImageTransferActive()) << "nothing was started";
}
