// Still pictures through the IPU stand-in and the GIF channel into GS memory.
// Pictures are made by the still-picture encoder; the expected pixels come
// from decoding the same file directly with the intra decoder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/gif/gs_recorder.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "ee/console_out.h"
#include "gs/gs.h"
#include "ipu/ipu.h"
#include "tools/lib/ipuenc.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Packet.h"

using console::gs::Psm;

namespace {

// A picture file placed on the game's heap (64-byte aligned, as FileLoad
// places files), freed with the object.
struct Picture
{
    IPUBitmap* bm = nullptr;
    std::vector<u8> file;
    tools::IpuImage reference;  // the file decoded by the intra decoder

    Picture(int w, int h, u8 flags)
    {
        tools::IpuImage img = tools::SamplePicture("ipubitmap", w, h);
        std::string error;
        EXPECT_TRUE(tools::EncodeIpu(img, {flags, 1}, file, error)) << error;
        EXPECT_TRUE(tools::DecodeIpu(file, reference, error)) << error;
        bm = static_cast<IPUBitmap*>(malloc_align(file.size(), 64));
        std::memcpy(bm, file.data(), file.size());
    }
    ~Picture() { free(bm); }
    u32 Size() const { return u32(file.size()); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // Reference pixel (x, y) as the GS's 32-bit word with alpha 0x80.
    u32 Rgb32(int x, int y) const
    {
        const u8* p = &reference.rgba[(size_t(y) * reference.width + x) * 4];
        return p[0] | u32(p[1]) << 8 | u32(p[2]) << 16 | 0x80u << 24;
    }
};

void PowerOn()
{
    console::ResetScheduler();
    console::ipu::ClearStats();
    console::ClearDiagLog();
    console::ClearConsoleText();
}

bool ConsoleHas(const std::string& needle)
{
    return console::ConsoleText().find(needle) != std::string::npos;
}

// Pixel (x, y) of a picture decoded into macroblocks in stream order.
template <typename T>
T MacroblockPixel(const T* out, const IPUBitmap& bm, bool columns, int x, int y)
{
    const int mbw = (bm.Width() + 15) / 16, mbh = (bm.Height() + 15) / 16;
    const int index = columns ? (x / 16) * mbh + y / 16 : (y / 16) * mbw + x / 16;
    return out[index * 256 + (y % 16) * 16 + x % 16];
}

int Channel5(u32 rgb32, int shift)
{
    return int((rgb32 >> shift) & 0xFF);
}

// A 16-bit pixel is the 32-bit one truncated to five bits after a dither of
// -4..3: at most one step away.
void ExpectRgb16Near(u16 px, u32 rgb32, int x, int y)
{
    ASSERT_EQ(px >> 15, 1) << x << "," << y;
    for (int c = 0; c < 3; ++c) {
        const int got = (px >> (5 * c)) & 31;
        const int want = Channel5(rgb32, 8 * c);
        ASSERT_GE(got, (std::max(want - 4, 0)) >> 3) << x << "," << y;
        ASSERT_LE(got, std::min(want + 3, 255) >> 3) << x << "," << y;
    }
}

}  // namespace

TEST(IPUBitmap, A640x512PictureIsReceivedIn1023And257MacroblocksAsRgb32)
{
    PowerOn();
    Picture pic(640, 512, 0);
    ASSERT_EQ(pic.bm->NumMacroblocks(), 1280);
    u32* out = static_cast<u32*>(malloc(1280 * sizeof(sceIpuRGB32)));
    ASSERT_TRUE(pic.bm->Frame(reinterpret_cast<sceIpuRGB32*>(out), pic.Size()));
    EXPECT_EQ(console::ipu::GetStats().receives, (std::vector<uint32_t>{1023 * 64, 257 * 64}));
    for (int y = 0; y < 512; y += 3)
        for (int x = 0; x < 640; x += 5)
            ASSERT_EQ(MacroblockPixel(out, *pic.bm, false, x, y), pic.Rgb32(x, y)) << x << "," << y;
    EXPECT_EQ(sceIpuSync(1, 0), 0);  // the IPU is left idle
    free(out);
}

TEST(IPUBitmap, The16BitPictureIsReceivedInOnePart)
{
    PowerOn();
    Picture pic(640, 512, 0);
    u16* out = static_cast<u16*>(malloc(1280 * sizeof(sceIpuRGB16)));
    ASSERT_TRUE(pic.bm->Frame(reinterpret_cast<sceIpuRGB16*>(out), pic.Size()));
    EXPECT_EQ(console::ipu::GetStats().receives, (std::vector<uint32_t>{1280 * 32}));
    for (int y = 0; y < 512; y += 7)
        for (int x = 0; x < 640; x += 3)
            ExpectRgb16Near(MacroblockPixel(out, *pic.bm, false, x, y), pic.Rgb32(x, y), x, y);
    free(out);
}

TEST(IPUBitmap, LoadWritesThePictureIntoGsMemory)
{
    PowerOn();
    console::gs::ResetGs(true);
    // A width that is no multiple of 64 or 16: the buffer is 2 units wide and
    // the last macroblock column is partly outside the picture.
    Picture pic(120, 40, 0);
    ASSERT_TRUE(pic.bm->Load(0x40, 0, PSMCT32, pic.Size()));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            ASSERT_EQ(console::gs::Vram().ReadPixel(Psm::kCT32, 0x40, 2, u32(x), u32(y)), pic.Rgb32(x, y))
                << x << "," << y;
    EXPECT_FALSE(console::dmac::ChannelBusy(2));
}

TEST(IPUBitmap, LoadInColumnOrderAs16Bit)
{
    PowerOn();
    console::gs::ResetGs(true);
    Picture pic(640, 448, IPUF_COLUMNS);
    ASSERT_TRUE(pic.bm->Load(0x1000, 0, PSMCT16S, pic.Size()));
    EXPECT_EQ(console::ipu::GetStats().receives, (std::vector<uint32_t>{1120 * 32}));
    for (int y = 0; y < 448; y += 5)
        for (int x = 0; x < 640; x += 3)
            ExpectRgb16Near(u16(console::gs::Vram().ReadPixel(Psm::kCT16S, 0x1000, 10, u32(x), u32(y))),
                            pic.Rgb32(x, y), x, y);
}

TEST(IPUBitmap, ColumnOrderUploadsOneTransferPerColumn)
{
    PowerOn();
    Picture pic(640, 448, IPUF_COLUMNS);
    giftest::ScopedRecorder gs;
    ASSERT_TRUE(pic.bm->Load(0x200, 0, PSMCT16S, pic.Size()));
    // dbw 0 for 640 pixels becomes 10; 40 transfers of 16 x 448 pixels.
    EXPECT_EQ(gs.recorder.ValuesOf(GS_BITBLTBUF), (std::vector<u64>{u64(0x200) << 32 | u64(10) << 48 | u64(10) << 56}));
    EXPECT_EQ(gs.recorder.ValuesOf(GS_TRXREG), (std::vector<u64>{16 | u64(448) << 32}));
    std::vector<u64> pos = gs.recorder.ValuesOf(GS_TRXPOS);
    ASSERT_EQ(pos.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(pos[size_t(i)], u64(16 * i) << 32);
    EXPECT_EQ(gs.recorder.ValuesOf(GS_TRXDIR).size(), 40u);
    EXPECT_EQ(gs.recorder.image.size(), 1120u * 32u);
}

TEST(IPUBitmap, RowOrderUploadsOneTransferPerMacroblock)
{
    u_long128 packet[3 * 2 * 6 + 5];
    alignas(16) static u8 data[6 * 1024];
    u_long128* end = IPU::Upload(packet, data, 0x80, 1, 32, 16, 40, 20, PSMCT32, false);
    EXPECT_EQ(end, packet + 3 * 2 * 6 + 5);
    const DMAtag* first = reinterpret_cast<const DMAtag*>(&packet[0]);
    EXPECT_EQ(first->id, DMA_CNT);
    EXPECT_EQ(first->qwc, 3);
    EXPECT_EQ(packet[2].lo, u64(0x80) << 32 | u64(1) << 48);  // BITBLTBUF, PSMCT32
    EXPECT_EQ(packet[3].lo, 16 | u64(16) << 32);                // TRXREG 16 x 16
    for (int i = 0; i < 6; ++i) {
        const u_long128* mb = packet + 4 + 6 * i;
        const DMAtag* cnt = reinterpret_cast<const DMAtag*>(mb);
        const DMAtag* ref = reinterpret_cast<const DMAtag*>(mb + 5);
        EXPECT_EQ(cnt->id, DMA_CNT);
        EXPECT_EQ(cnt->qwc, 4);
        EXPECT_EQ(mb[2].lo, u64(32 + 16 * (i % 3)) << 32 | u64(16 + 16 * (i / 3)) << 48);  // TRXPOS
        EXPECT_EQ(mb[4].lo & 0x7FFF, 64u);                                                 // IMAGE NLOOP
        EXPECT_EQ((mb[4].lo >> 15) & 1, i == 5 ? 1u : 0u);                                 // EOP on the last
        EXPECT_EQ((mb[4].lo >> 58) & 3, 2u);
        EXPECT_EQ(ref->id, DMA_REF);
        EXPECT_EQ(ref->qwc, 64);
        EXPECT_EQ(ref->next, u32(uintptr_t(data + 1024 * i)));
    }
    EXPECT_EQ(reinterpret_cast<const DMAtag*>(end - 1)->id, DMA_END);
}

TEST(IPUBitmap, GetFdecPeeksThenConsumes)
{
    PowerOn();
    Picture pic(16, 16, IPUF_COLUMNS);
    DPUT_IPU_CTRL(0x40000000);
    sceDmaSendN(sceDmaGetChan(SCE_DMA_toIPU), pic.bm->bs, int((pic.bm->length + 15) / 16));
    const u32 first = u32(pic.bm->bs[0]) << 24 | u32(pic.bm->bs[1]) << 16 | u32(pic.bm->bs[2]) << 8 | pic.bm->bs[3];
    EXPECT_EQ(IPU::_GetFDEC(8), first);
    EXPECT_EQ(first >> 24, IPUF_COLUMNS);
    EXPECT_EQ(IPU::_GetFDEC(0), first << 8 | pic.bm->bs[4]);
    EXPECT_EQ(IPU::_GetFDEC(0), first << 8 | pic.bm->bs[4]);
    DPUT_IPU_CTRL(0x40000000);
}

TEST(IPUBitmap, BadHeadersAreRefusedWithAMessage)
{
    PowerOn();
    Picture pic(32, 32, 0);
    struct Case
    {
        void (*spoil)(IPUBitmap&);
        const char* message;
    };
    const Case cases[] = {
        {[](IPUBitmap& b) { b.id[3] = 'x'; }, "not an \"ipum\" picture"},
        {[](IPUBitmap& b) { b.width = 0; }, "no picture in it"},
        {[](IPUBitmap& b) { b.nframes = 0; }, "no picture in it"},
        {[](IPUBitmap& b) { b.width = 1025; }, "larger than the 1024 x 1024 pixels a texture can have"},
        {[](IPUBitmap& b) { b.width = b.height = 65535; }, "larger than the 1024 x 1024 pixels a texture can have"},
        {[](IPUBitmap& b) { b.length = 0; }, "its stream is empty or longer than one transfer"},
        {[](IPUBitmap& b) { b.length = 0x100000; }, "its stream is empty or longer than one transfer"},
    };
    for (const Case& c : cases) {
        std::memcpy(pic.bm, pic.file.data(), 16);
        c.spoil(*pic.bm);
        console::ClearConsoleText();
        EXPECT_FALSE(pic.bm->Load(0, 0, PSMCT32, pic.Size()));
        EXPECT_TRUE(ConsoleHas(std::string("IPUBitmap::Load: ") + c.message)) << console::ConsoleText();
    }
    // A picture that does not lie on a quadword boundary cannot be sent.
    u8* shifted = static_cast<u8*>(malloc_align(pic.file.size() + 16, 16)) + 8;
    std::memcpy(shifted, pic.file.data(), pic.file.size());
    console::ClearConsoleText();
    EXPECT_FALSE(reinterpret_cast<IPUBitmap*>(shifted)->Frame(static_cast<void*>(nullptr), true, pic.Size()));
    EXPECT_TRUE(ConsoleHas("16-byte boundary"));
    free(shifted - 8);
}

// A stored stream length that runs past the end of the file would have the
// transfer read beyond the file's buffer: the picture is refused before any
// transfer, also when only the last quadword's padding is missing.
TEST(IPUBitmap, StreamRunningPastItsFileIsRefusedBeforeAnyTransfer)
{
    PowerOn();
    console::gs::ResetGs(true);
    Picture pic(64, 48, 0);
    const u32 stream = pic.Size() - 16;
    ASSERT_EQ(pic.bm->length, stream);
    console::gs::Vram().WritePixel(Psm::kCT32, 0, 10, 5, 5, 0x12345678);
    struct Case
    {
        u32 length, filesize;
        const char* message;
    };
    const Case cases[] = {
        {stream + 16, pic.Size(), "runs past the end of its"},
        {0x7FFF0, pic.Size(), "runs past the end of its"},
        {stream - 15, pic.Size() - 16, "runs past the end of its"},   // rounded up by the transfer
        {stream, 15, "shorter than the 16-byte header"},
    };
    for (const Case& c : cases) {
        pic.bm->length = c.length;
        console::ClearConsoleText();
        console::ipu::ClearStats();
        EXPECT_FALSE(pic.bm->Load(0, 0, PSMCT32, c.filesize));
        EXPECT_TRUE(ConsoleHas(std::string("IPUBitmap::Load: ")) && ConsoleHas(c.message)) << console::ConsoleText();
        EXPECT_TRUE(console::ipu::GetStats().receives.empty());
        EXPECT_EQ(console::ipu::GetStats().fdec_commands, 0u);
        EXPECT_FALSE(console::dmac::ChannelBusy(4));
    }
    EXPECT_EQ(console::gs::Vram().ReadPixel(Psm::kCT32, 0, 10, 5, 5), 0x12345678u);
    // The same picture with its own length and size loads.
    pic.bm->length = stream;
    EXPECT_TRUE(pic.bm->Load(0, 0, PSMCT32, pic.Size()));
}

TEST(IPUBitmap, TruncatedPictureFailsWithoutHangingAndLeavesGsMemoryAlone)
{
    PowerOn();
    console::gs::ResetGs(true);
    Picture pic(640, 512, 0);
    pic.bm->length = (pic.bm->length / 3) & ~15u;  // the stream breaks off a third of the way in
    console::gs::Vram().WritePixel(Psm::kCT32, 0, 10, 5, 5, 0x12345678);
    console::ScopedDiagCapture capture;
    EXPECT_FALSE(pic.bm->Load(0, 0, PSMCT32, pic.Size()));
    EXPECT_TRUE(ConsoleHas("IPUBitmap::Frame: the picture's stream breaks off after ")) << console::ConsoleText();
    EXPECT_TRUE(ConsoleHas(" of 1280 macroblocks"));
    // Given its file's name, the line says it.
    EXPECT_FALSE(pic.bm->Load(0, 0, PSMCT32, pic.Size(), "KORVALIS\\DemoData\\DEMOEND1.IPU"));
    EXPECT_TRUE(ConsoleHas("IPUBitmap::KORVALIS\\DemoData\\DEMOEND1.IPU: the picture's stream breaks off after "))
        << console::ConsoleText();
    EXPECT_EQ(console::gs::Vram().ReadPixel(Psm::kCT32, 0, 10, 5, 5), 0x12345678u);
    EXPECT_FALSE(console::dmac::ChannelBusy(3));
    EXPECT_EQ(sceIpuSync(1, 0), 0);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

TEST(IPUBitmap, CorruptPictureFailsWithoutHanging)
{
    PowerOn();
    Picture pic(320, 240, IPUF_COLUMNS);
    for (u32 i = 200; i < 260; ++i)
        pic.bm->bs[i] = 0xFF;
    void* out = malloc(size_t(pic.bm->NumMacroblocks()) * 1024);
    console::ScopedDiagCapture capture;
    EXPECT_FALSE(pic.bm->Frame(out, true, pic.Size()));
    EXPECT_TRUE(ConsoleHas("breaks off after "));
    EXPECT_FALSE(console::dmac::ChannelBusy(3));
    EXPECT_EQ(sceIpuSync(1, 0), 0);
    // A good picture decodes afterwards.
    Picture good(32, 32, 0);
    EXPECT_TRUE(good.bm->Frame(out, true, good.Size()));
    free(out);
}

TEST(IPUBitmap, StreamWithMoreMacroblocksThanThePictureStillDecodes)
{
    PowerOn();
    Picture pic(64, 64, 0);
    pic.bm->height = 32;  // the stream holds twice what the header asks for
    void* out = malloc(16 * 1024);
    EXPECT_TRUE(pic.bm->Frame(out, true, pic.Size()));
    EXPECT_TRUE(ConsoleHas("holds more than the picture's 8 macroblocks"));
    EXPECT_EQ(sceIpuSync(1, 0), 0);
    EXPECT_EQ(console::ipu::OutputQuadwords(), 0u);
    free(out);
}
