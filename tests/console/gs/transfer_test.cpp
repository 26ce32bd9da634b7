// Image transfers: host->local in IMAGE pieces, local->host, local->local.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "console/core/diag_support.h"
#include "console/gs/gs_draw_support.h"
#include "core/diag.h"
#include "gs/drawthreads.h"
#include "gs/gs.h"

using namespace gstest;
using console::gs::ImageTransferActive;
using console::gs::Psm;
using console::gs::ReadImageData;
using console::gs::ResetGs;
using console::gs::Vram;
using console::gs::WriteImageData;

namespace {

constexpr u32 kCT32 = 0x00, kCT24 = 0x01, kCT16 = 0x02, kT4 = 0x14;

using diagtest::LogHas;

void StartUpload(u32 dbp, u32 dbw, u32 psm, u32 x, u32 y, u32 w, u32 h)
{
    Write(GsReg::BITBLTBUF, BitBltBuf(0, 0, 0, dbp, dbw, psm));
    Write(GsReg::TRXPOS, TrxPos(0, 0, x, y));
    Write(GsReg::TRXREG, TrxReg(w, h));
    Write(GsReg::TRXDIR, 0);
}

void StartReadBack(u32 sbp, u32 sbw, u32 psm, u32 x, u32 y, u32 w, u32 h)
{
    Write(GsReg::BITBLTBUF, BitBltBuf(sbp, sbw, psm, 0, 0, 0));
    Write(GsReg::TRXPOS, TrxPos(x, y, 0, 0));
    Write(GsReg::TRXREG, TrxReg(w, h));
    Write(GsReg::TRXDIR, 1);
}

std::vector<u128> Quadwords(const std::vector<u8>& bytes)
{
    std::vector<u128> q((bytes.size() + 15) / 16);
    std::memcpy(q.data(), bytes.data(), bytes.size());
    return q;
}

std::vector<u8> RandomBytes(size_t n, u32 seed)
{
    std::mt19937 rng(seed);
    std::vector<u8> bytes(n);
    for (u8& b : bytes)
        b = static_cast<u8>(rng());
    return bytes;
}

// Sends `data` in IMAGE pieces of at most `piece` quadwords, as the packet
// writers split a large image.
void SendInPieces(const std::vector<u128>& data, size_t piece)
{
    for (size_t done = 0; done < data.size();) {
        const size_t n = std::min(piece, data.size() - done);
        ASSERT_TRUE(ImageTransferActive());
        ASSERT_EQ(WriteImageData(&data[done], n), n);
        done += n;
    }
}

std::vector<u8> ReadBackBytes(size_t bytes, size_t piece)
{
    std::vector<u128> q((bytes + 15) / 16);
    for (size_t done = 0; done < q.size();) {
        const size_t n = std::min(piece, q.size() - done);
        EXPECT_EQ(ReadImageData(&q[done], n), n);
        done += n;
    }
    std::vector<u8> out(bytes);
    std::memcpy(out.data(), q.data(), bytes);
    return out;
}

}  // namespace

TEST(GsTransfer, FourBitImageInPiecesOf16383QuadwordsReadsBackExactly)
{
    ResetGs(true);
    const u32 w = 1024, h = 512, dbw = 16, dbp = 0x0400;
    const std::vector<u8> image = RandomBytes(w * h / 2, 1);
    const std::vector<u128> data = Quadwords(image);
    ASSERT_EQ(data.size(), 16384u);
    StartUpload(dbp, dbw, kT4, 0, 0, w, h);
    SendInPieces(data, 16383);
    EXPECT_FALSE(ImageTransferActive());
    // Pixel 2k is the low nibble of byte k, pixel 2k + 1 the high one.
    for (u32 i : {0u, 1u, 2u, 1023u, 1024u, 1025u, 300001u, w * h - 1}) {
        const u32 expected = (image[i / 2] >> ((i & 1) * 4)) & 0xF;
        EXPECT_EQ(Vram().ReadPixel(Psm::kT4, dbp, dbw, i % w, i / w), expected) << "pixel " << i;
    }
    StartReadBack(dbp, dbw, kT4, 0, 0, w, h);
    EXPECT_EQ(ReadBackBytes(image.size(), 5000), image);
}

TEST(GsTransfer, TwentyFourBitImageInPiecesOf16383QuadwordsReadsBackExactly)
{
    ResetGs(true);
    u32* words = Vram().Words();
    for (u32 i = 0; i < console::gs::kMemoryWords; ++i)
        words[i] = 0xAB000000u;
    const u32 w = 640, h = 448, dbw = 10;
    const std::vector<u8> image = RandomBytes(w * h * 3, 2);
    const std::vector<u128> data = Quadwords(image);
    ASSERT_EQ(data.size(), 53760u);
    StartUpload(0, dbw, kCT24, 0, 0, w, h);
    SendInPieces(data, 16383);
    EXPECT_FALSE(ImageTransferActive());
    for (u32 i : {0u, 5u, 87376u, w * h - 1}) {
        const u32 expected = image[3 * i] | (image[3 * i + 1] << 8) | (image[3 * i + 2] << 16);
        const u32 word = Vram().ReadPixel(Psm::kCT32, 0, dbw, i % w, i / w);
        EXPECT_EQ(word & 0xFFFFFF, expected) << "pixel " << i;
        EXPECT_EQ(word >> 24, 0xABu) << "the top byte is not part of a 24-bit pixel";
    }
    StartReadBack(0, dbw, kCT24, 0, 0, w, h);
    EXPECT_EQ(ReadBackBytes(image.size(), 16383), image);
}

TEST(GsTransfer, PixelsSplitBetweenPiecesAreJoined)
{
    ResetGs(true);
    // 7 x 3 pixels of 24 bits: 63 bytes, so pixel 5 straddles the first two
    // quadwords and the last quadword is partly unused.
    const std::vector<u8> image = RandomBytes(63, 3);
    const std::vector<u128> data = Quadwords(image);
    StartUpload(0, 1, kCT24, 2, 1, 7, 3);
    for (size_t i = 0; i < data.size(); ++i) {
        EXPECT_TRUE(ImageTransferActive());
        EXPECT_EQ(WriteImageData(&data[i], 1), 1u);
    }
    EXPECT_FALSE(ImageTransferActive());
    for (u32 i = 0; i < 21; ++i) {
        const u32 expected = image[3 * i] | (image[3 * i + 1] << 8) | (image[3 * i + 2] << 16);
        EXPECT_EQ(Vram().ReadPixel(Psm::kCT24, 0, 1, 2 + i % 7, 1 + i / 7), expected) << i;
    }
}

TEST(GsTransfer, SurplusQuadwordsAreReported)
{
    ResetGs(true);
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    const std::vector<u128> data(3, u128{0x1111111122222222ull, 0x3333333344444444ull});
    StartUpload(0, 1, kCT32, 0, 0, 2, 2);
    EXPECT_EQ(WriteImageData(data.data(), 3), 3u);
    EXPECT_TRUE(LogHas("2 quadwords of image data beyond the end"));
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 1, 1), 0x33333333u);
}

TEST(GsTransfer, DataWithNoTransferOpenIsRefused)
{
    ResetGs(true);
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    const u128 q{1, 2};
    EXPECT_EQ(WriteImageData(&q, 1), 0u);
    EXPECT_TRUE(LogHas("no host->local transfer open"));
    u128 out{};
    EXPECT_EQ(ReadImageData(&out, 1), 0u);
    EXPECT_TRUE(LogHas("no local->host transfer open"));
}

TEST(GsTransfer, NewTrxdirEndsAnIncompleteTransferWithAWarning)
{
    ResetGs(true);
    console::ClearDiagLog();
    const u128 q{0x0102030405060708ull, 0x090A0B0C0D0E0F10ull};
    StartUpload(0, 1, kCT32, 0, 0, 4, 4);
    WriteImageData(&q, 1);
    StartUpload(0, 1, kCT32, 0, 0, 1, 1);
    EXPECT_TRUE(LogHas("12 pixels not sent"));
    EXPECT_EQ(console::DiagErrorCount(), 0);
    EXPECT_TRUE(ImageTransferActive());
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 1, 0), 0x01020304u) << "what was sent stays";
}

TEST(GsTransfer, HwregFeedsTheOpenTransfer)
{
    ResetGs(true);
    StartUpload(0, 1, kCT16, 4, 0, 4, 1);
    Write(GsReg::HWREG, 0x4444333322221111ull);
    EXPECT_FALSE(ImageTransferActive());
    for (u32 i = 0; i < 4; ++i)
        EXPECT_EQ(Vram().ReadPixel(Psm::kCT16, 0, 1, 4 + i, 0), 0x1111u * (i + 1));
}

// An upload sent again whole, unchanged, to the same rectangle finds its
// pixels already there and need not store them; every write to the
// rectangle in between (drawing on the calling thread or on draw threads,
// raw access, a local->local copy, an overlapping upload), a change of one
// byte, and a rectangle whose blocks wrap past the end of memory must still
// give the uploaded pixels.
TEST(GsTransfer, RepeatedUploadLeavesItsPixelsWhateverWroteThemSince)
{
    constexpr u32 w = 64, h = 32;  // one CT32 page: 32 blocks from DBP
    for (int threads : {0, 2}) {
        SCOPED_TRACE(threads);
        console::gs::SetDrawThreads(threads);
        // From 0x3FF0 the page's last 16 blocks wrap to blocks 0-15.
        for (u32 dbp : {0x0400u, 0x3FF0u}) {
            SCOPED_TRACE(dbp);
            ResetGs(true);
            std::vector<u8> image = RandomBytes(w * h * 4, dbp);
            auto upload_and_check = [&](const char* after) {
                SCOPED_TRACE(after);
                const std::vector<u128> data = Quadwords(image);
                StartUpload(dbp, 1, kCT32, 0, 0, w, h);
                ASSERT_EQ(WriteImageData(data.data(), data.size()), data.size());
                EXPECT_FALSE(ImageTransferActive());
                std::vector<u8> back(image.size());
                ASSERT_TRUE(Vram().ReadRect(Psm::kCT32, dbp, 1, {0, 0, w, h}, back));
                EXPECT_EQ(back, image);
            };
            upload_and_check("the first upload");
            const u64 stamp = Vram().Stamp();
            upload_and_check("nothing");
            EXPECT_EQ(Vram().Stamp(), stamp) << "an unchanged upload stores nothing";

            // Page `fbp` starts at block 0x400, or at block 0, the wrapped half.
            const u32 fbp = (dbp + 31) / 32 % 512;
            SetUpContext(0, fbp, 1, kCT32);
            FlatSprite(0, 0, 8, 8, Rgbaq(9, 9, 9, 9));
            upload_and_check("a sprite");

            Vram().Words()[fbp * 32 * 64 + 5] = 0x12345678;
            upload_and_check("a raw write");

            Write(GsReg::BITBLTBUF, BitBltBuf(0x2000, 1, kCT32, fbp * 32, 1, kCT32));
            Write(GsReg::TRXPOS, TrxPos(0, 0, 0, 0));
            Write(GsReg::TRXREG, TrxReg(8, 8));
            Write(GsReg::TRXDIR, 2);
            upload_and_check("a local->local copy");

            const std::vector<u128> small = Quadwords(std::vector<u8>(8 * 8 * 4, 0x5A));
            StartUpload(fbp * 32, 1, kCT32, 0, 0, 8, 8);
            ASSERT_EQ(WriteImageData(small.data(), small.size()), small.size());
            upload_and_check("an overlapping upload");

            image[1000] ^= 1;
            upload_and_check("one byte changed");

            Vram().WritePixel(Psm::kCT32, 0x2000, 1, 0, 0, 7);
            upload_and_check("a write elsewhere");
        }
    }
    console::gs::SetDrawThreads(0);
}

TEST(GsTransfer, LocalToHostPacksPixelsAndPadsTheLastQuadword)
{
    ResetGs(true);
    for (u32 x = 0; x < 3; ++x)
        Vram().WritePixel(Psm::kT4, 0, 2, x, 0, x + 1);
    StartReadBack(0, 2, kT4, 0, 0, 3, 1);
    u128 q{~0ull, ~0ull};
    EXPECT_EQ(ReadImageData(&q, 4), 1u);
    EXPECT_EQ(q.lo, 0x0321u);
    EXPECT_EQ(q.hi, 0u);

    Vram().WritePixel(Psm::kCT24, 0, 1, 0, 0, 0xAABBCC);
    Vram().WritePixel(Psm::kCT24, 0, 1, 1, 0, 0x112233);
    StartReadBack(0, 1, kCT24, 0, 0, 2, 1);
    EXPECT_EQ(ReadImageData(&q, 1), 1u);
    EXPECT_EQ(q.lo, 0x112233AABBCCull);
    EXPECT_EQ(q.hi, 0u);
}

TEST(GsTransfer, LocalToLocalCopiesARectangle)
{
    ResetGs(true);
    for (u32 y = 0; y < 8; ++y)
        for (u32 x = 0; x < 8; ++x)
            Vram().WritePixel(Psm::kCT32, 0, 1, x, y, y * 8 + x + 1);
    Write(GsReg::BITBLTBUF, BitBltBuf(0, 1, kCT32, 0x100, 2, kCT32));
    Write(GsReg::TRXPOS, TrxPos(0, 0, 70, 3));
    Write(GsReg::TRXREG, TrxReg(8, 8));
    Write(GsReg::TRXDIR, 2);
    for (u32 y = 0; y < 8; ++y)
        for (u32 x = 0; x < 8; ++x)
            ASSERT_EQ(Vram().ReadPixel(Psm::kCT32, 0x100, 2, 70 + x, 3 + y), y * 8 + x + 1);
}

TEST(GsTransfer, OverlappingCopyStartsFromTheCornerDirSays)
{
    ResetGs(true);
    for (u32 x = 0; x < 8; ++x)
        Vram().WritePixel(Psm::kCT32, 0, 1, x, 0, x + 1);
    // Shift right by one inside the same row, copying from the right end.
    Write(GsReg::BITBLTBUF, BitBltBuf(0, 1, kCT32, 0, 1, kCT32));
    Write(GsReg::TRXPOS, TrxPos(0, 0, 1, 0, 2));
    Write(GsReg::TRXREG, TrxReg(7, 1));
    Write(GsReg::TRXDIR, 2);
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, 0, 0), 1u);
    for (u32 x = 1; x < 8; ++x)
        EXPECT_EQ(Vram().ReadPixel(Psm::kCT32, 0, 1, x, 0), x) << x;
}

TEST(GsTransfer, LocalToLocalBetweenPixelSizesIsRefused)
{
    ResetGs(true);
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    Vram().WritePixel(Psm::kCT32, 0, 1, 0, 0, 0x12345678);
    Write(GsReg::BITBLTBUF, BitBltBuf(0, 1, kCT32, 0x100, 1, kCT16));
    Write(GsReg::TRXPOS, TrxPos(0, 0, 0, 0));
    Write(GsReg::TRXREG, TrxReg(1, 1));
    Write(GsReg::TRXDIR, 2);
    EXPECT_TRUE(LogHas("pixel sizes differ"));
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT16, 0x100, 1, 0, 0), 0u);
}
