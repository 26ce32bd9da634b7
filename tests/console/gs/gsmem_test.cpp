#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "gs/gsmem.h"

using namespace console::gs;

namespace {

// The memory is 4 MiB: one per test program, cleared by each test that uses it.
LocalMemory& Memory()
{
    static LocalMemory* memory = new LocalMemory();
    memory->Clear();
    return *memory;
}

u32 PageWidth(const Layout& l) { return 1u << l.page_shift_x; }
u32 PageHeight(const Layout& l) { return 1u << l.page_shift_y; }
u32 UnitsPerPage(const Layout& l) { return kPageBlocks << l.unit_shift; }
// A buffer width (64-pixel units) exactly one page wide.
u32 OnePageWide(const Layout& l) { return l.double_width_pages ? 2 : 1; }

// Value bits of each mode's pixels.
int ValueBits(Psm psm)
{
    switch (psm) {
    case Psm::kCT32:
    case Psm::kZ32: return 32;
    case Psm::kCT24:
    case Psm::kZ24: return 24;
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ16:
    case Psm::kZ16S: return 16;
    case Psm::kT8:
    case Psm::kT8H: return 8;
    case Psm::kT4:
    case Psm::kT4HL:
    case Psm::kT4HH: return 4;
    }
    return 0;
}

u32 ValueMask(Psm psm)
{
    return ValueBits(psm) == 32 ? 0xFFFFFFFFu : (1u << ValueBits(psm)) - 1;
}

// Pixel `i` of a host transfer stream, unpacked bit by bit (little-endian
// bytes, 4-bit pixels low nibble first).
u32 StreamPixel(const std::vector<u8>& data, int bits, u64 i)
{
    u32 value = 0;
    for (int b = 0; b < bits; ++b) {
        const u64 bit = i * bits + b;
        value |= static_cast<u32>((data[bit / 8] >> (bit % 8)) & 1) << b;
    }
    return value;
}

}  // namespace

TEST(GsMem, EveryPageMapIsABijectionOntoThePage)
{
    for (Psm psm : kAllPsms) {
        SCOPED_TRACE(PsmName(psm));
        const Layout& l = LayoutOf(psm);
        std::vector<bool> seen(UnitsPerPage(l), false);
        for (u32 y = 0; y < PageHeight(l); ++y)
            for (u32 x = 0; x < PageWidth(l); ++x) {
                const u32 off = PixelOffset(l, 0, OnePageWide(l), x, y);
                ASSERT_LT(off, UnitsPerPage(l)) << x << "," << y;
                ASSERT_FALSE(seen[off]) << "pixel " << x << "," << y << " shares its place";
                seen[off] = true;
            }
        // As many pixels as units: every unit of the page is some pixel's.
        EXPECT_EQ(PageWidth(l) * PageHeight(l), UnitsPerPage(l));
    }
}

TEST(GsMem, WritingEveryPixelOfAPageFillsExactlyItsBytes)
{
    // Page 5 of memory, with the buffer one page wide starting there.
    const u32 bp = 5 * kPageBlocks;
    for (Psm psm : {Psm::kCT32, Psm::kCT16, Psm::kCT16S, Psm::kT8, Psm::kT4, Psm::kZ32, Psm::kZ16, Psm::kZ16S}) {
        SCOPED_TRACE(PsmName(psm));
        LocalMemory& mem = Memory();
        const Layout& l = LayoutOf(psm);
        for (u32 y = 0; y < PageHeight(l); ++y)
            for (u32 x = 0; x < PageWidth(l); ++x)
                mem.WritePixel(psm, bp, OnePageWide(l), x, y, 0xFFFFFFFFu);
        u32 filled = 0, outside = 0;
        for (u32 i = 0; i < kMemoryBytes; ++i) {
            const bool in_page = i / (kPageBlocks * kBlockBytes) == 5;
            if (in_page)
                filled += mem.Bytes()[i] == 0xFF;
            else
                outside += mem.Bytes()[i] != 0;
        }
        EXPECT_EQ(filled, kPageBlocks * kBlockBytes);
        EXPECT_EQ(outside, 0u);
    }
}

TEST(GsMem, DepthBlockOrdersAreColourOrdersXor24)
{
    const std::pair<Psm, Psm> pairs[] = {
        {Psm::kZ32, Psm::kCT32}, {Psm::kZ24, Psm::kCT24}, {Psm::kZ16, Psm::kCT16}, {Psm::kZ16S, Psm::kCT16S}};
    for (auto [z, ct] : pairs) {
        SCOPED_TRACE(PsmName(z));
        const Layout& lz = LayoutOf(z);
        const Layout& lc = LayoutOf(ct);
        for (u32 y = 0; y < PageHeight(lz); ++y)
            for (u32 x = 0; x < PageWidth(lz); ++x)
                ASSERT_EQ(PixelOffset(lz, 0, 1, x, y), PixelOffset(lc, 0, 1, x, y) ^ (24u << lz.unit_shift))
                    << x << "," << y;
    }
}

TEST(GsMem, BlocksSitInTheHardwareOrder)
{
    // Block numbers inside a page, row by row, as the hardware lays them out.
    const u32 ct32[4][8] = {
        {0, 1, 4, 5, 16, 17, 20, 21}, {2, 3, 6, 7, 18, 19, 22, 23},
        {8, 9, 12, 13, 24, 25, 28, 29}, {10, 11, 14, 15, 26, 27, 30, 31}};
    const u32 ct16[8][4] = {{0, 2, 8, 10},    {1, 3, 9, 11},    {4, 6, 12, 14},   {5, 7, 13, 15},
                            {16, 18, 24, 26}, {17, 19, 25, 27}, {20, 22, 28, 30}, {21, 23, 29, 31}};
    const u32 ct16s[8][4] = {{0, 2, 16, 18}, {1, 3, 17, 19}, {8, 10, 24, 26},  {9, 11, 25, 27},
                             {4, 6, 20, 22}, {5, 7, 21, 23}, {12, 14, 28, 30}, {13, 15, 29, 31}};
    for (u32 by = 0; by < 4; ++by)
        for (u32 bx = 0; bx < 8; ++bx) {
            // Every pixel of the block, not only its corner.
            for (u32 y = 0; y < 8; ++y)
                for (u32 x = 0; x < 8; ++x)
                    ASSERT_EQ(PixelBlock(LayoutOf(Psm::kCT32), 0, 1, bx * 8 + x, by * 8 + y), ct32[by][bx]);
            // T8 shares the 32-bit order with 16 x 16 blocks.
            EXPECT_EQ(PixelBlock(LayoutOf(Psm::kT8), 0, 2, bx * 16 + 15, by * 16 + 15), ct32[by][bx]);
        }
    for (u32 by = 0; by < 8; ++by)
        for (u32 bx = 0; bx < 4; ++bx) {
            for (u32 y = 0; y < 8; ++y)
                for (u32 x = 0; x < 16; ++x) {
                    ASSERT_EQ(PixelBlock(LayoutOf(Psm::kCT16), 0, 1, bx * 16 + x, by * 8 + y), ct16[by][bx]);
                    ASSERT_EQ(PixelBlock(LayoutOf(Psm::kCT16S), 0, 1, bx * 16 + x, by * 8 + y), ct16s[by][bx]);
                }
            // T4 shares the 16-bit order with 32 x 16 blocks.
            EXPECT_EQ(PixelBlock(LayoutOf(Psm::kT4), 0, 2, bx * 32 + 31, by * 16 + 15), ct16[by][bx]);
        }
    // Corners of the depth orders.
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kZ32), 0, 1, 0, 0), 24u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kZ32), 0, 1, 63, 31), 7u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kZ16), 0, 1, 32, 0), 16u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kZ16S), 0, 1, 48, 56), 7u);
}

TEST(GsMem, PixelsSitInTheHardwareColumnPlaces)
{
    // 32-bit: word of each pixel of an 8 x 2 column.
    const u32 col32[2][8] = {{0, 1, 4, 5, 8, 9, 12, 13}, {2, 3, 6, 7, 10, 11, 14, 15}};
    for (u32 y = 0; y < 8; ++y)
        for (u32 x = 0; x < 8; ++x)
            EXPECT_EQ(PixelOffset(LayoutOf(Psm::kCT32), 0, 1, x, y), (y / 2) * 16 + col32[y & 1][x]);

    // 16-bit: half word of each pixel of a 16 x 2 column.
    const u32 col16[2][16] = {{0, 2, 8, 10, 16, 18, 24, 26, 1, 3, 9, 11, 17, 19, 25, 27},
                              {4, 6, 12, 14, 20, 22, 28, 30, 5, 7, 13, 15, 21, 23, 29, 31}};
    for (u32 y = 0; y < 8; ++y)
        for (u32 x = 0; x < 16; ++x)
            EXPECT_EQ(PixelOffset(LayoutOf(Psm::kCT16), 0, 1, x, y), (y / 2) * 32 + col16[y & 1][x]);

    // 8-bit: byte of each pixel of a 16 x 4 column; odd columns exchange the
    // halves of each row.
    const u32 col8[2][4][16] = {
        {{0, 4, 16, 20, 32, 36, 48, 52, 2, 6, 18, 22, 34, 38, 50, 54},
         {8, 12, 24, 28, 40, 44, 56, 60, 10, 14, 26, 30, 42, 46, 58, 62},
         {33, 37, 49, 53, 1, 5, 17, 21, 35, 39, 51, 55, 3, 7, 19, 23},
         {41, 45, 57, 61, 9, 13, 25, 29, 43, 47, 59, 63, 11, 15, 27, 31}},
        {{32, 36, 48, 52, 0, 4, 16, 20, 34, 38, 50, 54, 2, 6, 18, 22},
         {40, 44, 56, 60, 8, 12, 24, 28, 42, 46, 58, 62, 10, 14, 26, 30},
         {1, 5, 17, 21, 33, 37, 49, 53, 3, 7, 19, 23, 35, 39, 51, 55},
         {9, 13, 25, 29, 41, 45, 57, 61, 11, 15, 27, 31, 43, 47, 59, 63}}};
    for (u32 y = 0; y < 16; ++y)
        for (u32 x = 0; x < 16; ++x)
            EXPECT_EQ(PixelOffset(LayoutOf(Psm::kT8), 0, 2, x, y), (y / 4) * 64 + col8[(y / 4) & 1][y & 3][x])
                << x << "," << y;

    // 4-bit: nibble of each pixel of a 32 x 4 column (even columns in full,
    // odd columns by their first and third rows).
    const u32 col4[4][32] = {
        {0, 8, 32, 40, 64, 72, 96, 104, 2, 10, 34, 42, 66, 74, 98, 106,
         4, 12, 36, 44, 68, 76, 100, 108, 6, 14, 38, 46, 70, 78, 102, 110},
        {16, 24, 48, 56, 80, 88, 112, 120, 18, 26, 50, 58, 82, 90, 114, 122,
         20, 28, 52, 60, 84, 92, 116, 124, 22, 30, 54, 62, 86, 94, 118, 126},
        {65, 73, 97, 105, 1, 9, 33, 41, 67, 75, 99, 107, 3, 11, 35, 43,
         69, 77, 101, 109, 5, 13, 37, 45, 71, 79, 103, 111, 7, 15, 39, 47},
        {81, 89, 113, 121, 17, 25, 49, 57, 83, 91, 115, 123, 19, 27, 51, 59,
         85, 93, 117, 125, 21, 29, 53, 61, 87, 95, 119, 127, 23, 31, 55, 63}};
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 32; ++x) {
            EXPECT_EQ(PixelOffset(LayoutOf(Psm::kT4), 0, 2, x, y), col4[y][x]) << x << "," << y;
            EXPECT_EQ(PixelOffset(LayoutOf(Psm::kT4), 0, 2, x, y + 8), 256 + col4[y][x]) << x << "," << y;
        }
    const u32 odd_row0[8] = {64, 72, 96, 104, 0, 8, 32, 40};
    const u32 odd_row2[8] = {1, 9, 33, 41, 65, 73, 97, 105};
    for (u32 x = 0; x < 8; ++x) {
        EXPECT_EQ(PixelOffset(LayoutOf(Psm::kT4), 0, 2, x, 4), 128 + odd_row0[x]);
        EXPECT_EQ(PixelOffset(LayoutOf(Psm::kT4), 0, 2, x, 6), 128 + odd_row2[x]);
    }
}

TEST(GsMem, SixteenBitWordsPairPixelWithPixelEightToTheRight)
{
    // Pixel x (x mod 16 < 8) takes the low half of a 32-bit word and x + 8
    // the high half, in every 16-bit mode and everywhere in a page.
    for (Psm psm : {Psm::kCT16, Psm::kCT16S, Psm::kZ16, Psm::kZ16S}) {
        SCOPED_TRACE(PsmName(psm));
        const Layout& l = LayoutOf(psm);
        for (u32 y = 0; y < 64; ++y)
            for (u32 x = 0; x < 64; ++x) {
                if (x & 8)
                    continue;
                const u32 lo = PixelOffset(l, 0, 1, x, y), hi = PixelOffset(l, 0, 1, x + 8, y);
                ASSERT_EQ(lo % 2, 0u);
                ASSERT_EQ(hi, lo + 1);
            }
    }
    // Seen through memory: the CT32 word at the pair's place holds both.
    LocalMemory& mem = Memory();
    mem.WritePixel(Psm::kCT16, 0, 1, 3, 5, 0x1234);
    mem.WritePixel(Psm::kCT16, 0, 1, 11, 5, 0xABCD);
    EXPECT_EQ(mem.Words()[PixelOffset(LayoutOf(Psm::kCT16), 0, 1, 3, 5) / 2], 0xABCD1234u);
    // Pixels 0..7 of a column row sit at the words of 32-bit pixels 0..7 of
    // the same row of a 32-bit column.
    for (u32 x = 0; x < 8; ++x)
        EXPECT_EQ(PixelOffset(LayoutOf(Psm::kCT16), 0, 1, x, 1) / 2, PixelOffset(LayoutOf(Psm::kCT32), 0, 1, x, 1));
}

TEST(GsMem, TwentyFourBitModesAreThirtyTwoBitWithoutTheTopByte)
{
    LocalMemory& mem = Memory();
    std::mt19937 rng(24);
    for (auto [m24, m32] : {std::pair{Psm::kCT24, Psm::kCT32}, std::pair{Psm::kZ24, Psm::kZ32}}) {
        SCOPED_TRACE(PsmName(m24));
        for (u32 y = 0; y < 40; ++y)
            for (u32 x = 0; x < 70; ++x) {
                const u32 v = rng();
                mem.WritePixel(m32, 64, 2, x, y, v);
                ASSERT_EQ(mem.ReadPixel(m24, 64, 2, x, y), v & 0xFFFFFF);
                mem.WritePixel(m24, 64, 2, x, y, 0xFF123456u);
                ASSERT_EQ(mem.ReadPixel(m32, 64, 2, x, y), (v & 0xFF000000u) | 0x123456u);
            }
    }
}

TEST(GsMem, HighBitModesAreFieldsOfTheThirtyTwoBitWord)
{
    LocalMemory& mem = Memory();
    std::mt19937 rng(8);
    for (u32 y = 0; y < 40; ++y)
        for (u32 x = 0; x < 70; ++x) {
            const u32 v = rng();
            mem.WritePixel(Psm::kCT32, 100, 2, x, y, v);
            ASSERT_EQ(mem.ReadPixel(Psm::kT8H, 100, 2, x, y), v >> 24);
            ASSERT_EQ(mem.ReadPixel(Psm::kT4HL, 100, 2, x, y), (v >> 24) & 0xF);
            ASSERT_EQ(mem.ReadPixel(Psm::kT4HH, 100, 2, x, y), v >> 28);
            mem.WritePixel(Psm::kT8H, 100, 2, x, y, 0xA5);
            ASSERT_EQ(mem.ReadPixel(Psm::kCT32, 100, 2, x, y), (v & 0xFFFFFF) | 0xA5000000u);
            mem.WritePixel(Psm::kT4HL, 100, 2, x, y, 0x3);
            ASSERT_EQ(mem.ReadPixel(Psm::kCT32, 100, 2, x, y), (v & 0xFFFFFF) | 0xA3000000u);
            mem.WritePixel(Psm::kT4HH, 100, 2, x, y, 0xC);
            ASSERT_EQ(mem.ReadPixel(Psm::kCT32, 100, 2, x, y), (v & 0xFFFFFF) | 0xC3000000u);
        }
}

TEST(GsMem, BufferWidthLaysPagesAcrossThenDown)
{
    // A 640-pixel CT32 buffer is 10 pages across.
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kCT32), 0, 10, 64, 0), 32u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kCT32), 0, 10, 0, 32), 320u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kCT16S), 0, 10, 639, 64), 320u + 9 * 32 + 18);
    // 8- and 4-bit pages are 128 pixels wide: width 10 gives 5 pages across.
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kT8), 0, 10, 128, 0), 32u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kT8), 0, 10, 0, 64), 160u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kT4), 0, 4, 0, 128), 64u);
    // An odd width of an 8-bit buffer is rounded up to whole pages, so its
    // rows of pages never overlap.
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kT8), 0, 1, 0, 64), 32u);
    EXPECT_EQ(PixelBlock(LayoutOf(Psm::kT8), 0, 3, 0, 64), 64u);
}

TEST(GsMem, BaseBlocksAddWithoutAlignmentAndWrapAtTheEnd)
{
    const Layout& l = LayoutOf(Psm::kCT32);
    // A base one block into a page shifts every block by one.
    EXPECT_EQ(PixelBlock(l, 1, 1, 0, 0), 1u);
    EXPECT_EQ(PixelBlock(l, 1, 1, 8, 0), 2u);
    EXPECT_EQ(PixelBlock(l, 1, 1, 56, 24), 32u);
    // The last block of memory: the next block of the page is block 0.
    EXPECT_EQ(PixelBlock(l, kBlockCount - 1, 1, 0, 0), kBlockCount - 1);
    EXPECT_EQ(PixelBlock(l, kBlockCount - 1, 1, 8, 0), 0u);
    LocalMemory& mem = Memory();
    mem.WritePixel(Psm::kCT32, kBlockCount - 1, 1, 8, 0, 0xDEADBEEF);
    EXPECT_EQ(mem.Words()[0], 0xDEADBEEFu);
    // Offsets far outside memory are taken modulo its size.
    mem.WriteAt(Psm::kT4, 0xFFFFFFFFu, 0x7);
    EXPECT_EQ(mem.Bytes()[kMemoryBytes - 1], 0x70);
}

TEST(GsMem, RowCursorAgreesWithPixelOffset)
{
    for (Psm psm : kAllPsms) {
        SCOPED_TRACE(PsmName(psm));
        const Layout& l = LayoutOf(psm);
        for (u32 y : {0u, 7u, 33u, 130u, 511u}) {
            const RowCursor row(l, 37, 10, y);
            for (u32 x = 0; x < 640; ++x)
                ASSERT_EQ(row.Offset(x), PixelOffset(l, 37, 10, x, y)) << x << "," << y;
        }
    }
}

TEST(GsMem, RectangleUploadedInEveryModeReadsBackIntact)
{
    std::mt19937 rng(6);
    const Rect rect{5, 3, 37, 21};  // odd width: 4-bit rows start mid-byte
    const u32 bp = 96, bw = 4;
    for (Psm psm : kAllPsms) {
        SCOPED_TRACE(PsmName(psm));
        LocalMemory& mem = Memory();
        // Old contents everywhere, to see what the upload leaves alone.
        for (u32 i = 0; i < kMemoryWords; ++i)
            mem.Words()[i] = i * 2654435761u;
        std::vector<u32> before;
        for (u32 y = 0; y < 30; ++y)
            for (u32 x = 0; x < 50; ++x)
                before.push_back(mem.ReadPixel(psm, bp, bw, x, y));

        const int bits = TransferBits(psm);
        std::vector<u8> data(TransferBytes(psm, rect.w * rect.h));
        for (u8& b : data)
            b = static_cast<u8>(rng());
        ASSERT_TRUE(mem.WriteRect(psm, bp, bw, rect, data));

        // Through single-pixel reads: inside, the stream's pixels; outside, the old values.
        for (u32 y = 0; y < 30; ++y)
            for (u32 x = 0; x < 50; ++x) {
                const bool inside = x >= rect.x && x < rect.x + rect.w && y >= rect.y && y < rect.y + rect.h;
                const u32 expect = inside ? StreamPixel(data, bits, (y - rect.y) * rect.w + (x - rect.x)) &
                                                ValueMask(psm)
                                          : before[y * 50 + x];
                ASSERT_EQ(mem.ReadPixel(psm, bp, bw, x, y), expect) << x << "," << y;
            }
        // Through a rectangle read: the same bytes (the unused high nibble of
        // an odd 4-bit count reads as zero).
        std::vector<u8> back(data.size());
        ASSERT_TRUE(mem.ReadRect(psm, bp, bw, rect, back));
        if (bits == 4 && (rect.w * rect.h) % 2)
            data.back() &= 0x0F;
        EXPECT_EQ(back, data);
    }
}

TEST(GsMem, ShortDataIsRefusedWithoutWriting)
{
    LocalMemory& mem = Memory();
    std::vector<u8> data(4 * 4 * 3 - 1, 0xFF);
    EXPECT_FALSE(mem.WriteRect(Psm::kCT24, 0, 1, Rect{0, 0, 4, 4}, data));
    EXPECT_EQ(mem.ReadPixel(Psm::kCT24, 0, 1, 0, 0), 0u);
    std::vector<u8> out(7);
    EXPECT_FALSE(mem.ReadRect(Psm::kT4, 0, 1, Rect{0, 0, 4, 4}, out));
}

TEST(GsMem, ImageWriterTakesPixelsSplitAcrossPieces)
{
    const Rect rect{2, 1, 7, 3};
    std::vector<u8> data(TransferBytes(Psm::kCT24, 21));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i * 7 + 1);
    std::vector<u8> whole(data.size()), pieces(data.size());

    LocalMemory& mem = Memory();
    ASSERT_TRUE(mem.WriteRect(Psm::kCT24, 10, 1, rect, data));
    ASSERT_TRUE(mem.ReadRect(Psm::kCT24, 10, 1, rect, whole));

    mem.Clear();
    ImageWriter writer(mem, Psm::kCT24, 10, 1, rect);
    // Sixteen-byte pieces, as quadwords arrive: pixels straddle them.  The
    // last piece carries surplus that the writer leaves unused.
    std::vector<u8> padded = data;
    padded.resize((data.size() + 15) / 16 * 16 + 16, 0xEE);
    size_t used = 0;
    for (size_t at = 0; at < padded.size(); at += 16)
        used += writer.Feed(std::span<const u8>(padded).subspan(at, 16));
    EXPECT_TRUE(writer.Done());
    EXPECT_EQ(used, data.size());
    ASSERT_TRUE(mem.ReadRect(Psm::kCT24, 10, 1, rect, pieces));
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(whole, data);
}

TEST(GsMem, TransfersWriteWhatPixelWritesWouldAndStampTheirPages)
{
    // A rectangle two pages wide starting one page before the end of memory:
    // rows cross a page edge and wrap to block 0.  Fed in pieces that split
    // rows and pixels, each mode's upload leaves memory as pixel-by-pixel
    // writes do, and marks exactly the pages it wrote as newer than a copy
    // taken before it.
    std::mt19937 rng(11);
    for (Psm psm : {Psm::kCT32, Psm::kCT24, Psm::kCT16, Psm::kCT16S, Psm::kT8, Psm::kT8H, Psm::kZ32, Psm::kZ16S}) {
        SCOPED_TRACE(PsmName(psm));
        const Layout& l = LayoutOf(psm);
        const u32 bw = 2 * OnePageWide(l);
        const u32 bp = kBlockCount - kPageBlocks;
        const Rect rect{PageWidth(l) - 5, 2, 9, 3};
        const int bits = TransferBits(psm);
        std::vector<u8> data(TransferBytes(psm, rect.w * rect.h));
        for (u8& b : data)
            b = static_cast<u8>(rng());

        LocalMemory& mem = Memory();
        for (u32 i = 0; i < kMemoryWords; ++i)
            mem.Words()[i] = i * 2654435761u;
        LocalMemory want = mem;
        for (u32 i = 0; i < rect.w * rect.h; ++i)
            want.WritePixel(psm, bp, bw, rect.x + i % rect.w, rect.y + i / rect.w, StreamPixel(data, bits, i));

        const u64 before = mem.Stamp();
        ImageWriter writer(mem, psm, bp, bw, rect);
        size_t used = 0;
        for (size_t at = 0; at < data.size(); at += 7)
            used += writer.Feed(std::span<const u8>(data).subspan(at, std::min<size_t>(7, data.size() - at)));
        EXPECT_TRUE(writer.Done());
        EXPECT_EQ(used, data.size());
        const LocalMemory& written = mem;  // const: reading marks nothing
        EXPECT_TRUE(std::equal(written.Words(), written.Words() + kMemoryWords, want.Words()));

        EXPECT_TRUE(mem.WrittenSince(before, bp, bp + kPageBlocks));  // the last page
        EXPECT_TRUE(mem.WrittenSince(before, 0, kPageBlocks));         // the first, wrapped onto
        EXPECT_FALSE(mem.WrittenSince(before, kPageBlocks, bp));       // none between
    }
}

// Write stamps against a plain record of when each page was last noted:
// a copy taken at any stamp must see exactly the writes noted after it,
// however often the same pages are noted again (drawing notes the same few
// pages triangle after triangle) and whenever stamps are taken between.
TEST(GsMem, StampsSeeEveryWriteNotedAfterThemAndNoOther)
{
    std::mt19937 rng(2026);
    auto mem = std::make_unique<LocalMemory>();
    constexpr u32 kPageCount = kBlockCount / kPageBlocks;
    std::vector<u64> noted_at(kPageCount, 0);  // the step each page was last noted in
    u64 step = 1;
    struct Held {
        u64 stamp, step;
    };
    std::vector<Held> held;
    std::vector<std::pair<u32, u32>> recent;  // ranges noted lately, noted again often
    for (int i = 0; i < 20000; ++i) {
        ++step;
        const u32 op = rng() % 10;
        if (op < 6) {
            std::pair<u32, u32> r;
            if (!recent.empty() && rng() % 3 != 0) {
                r = recent[rng() % recent.size()];
                // Now and then a range inside one noted before.
                if (rng() % 2 && r.second - r.first > 1)
                    r.first += rng() % (r.second - r.first - 1);
            } else {
                const u32 lo = rng() % kBlockCount;
                r = {lo, std::min(kBlockCount, lo + 1 + static_cast<u32>(rng() % 200))};
                recent.push_back(r);
                if (recent.size() > 4)
                    recent.erase(recent.begin());
            }
            mem->NoteWrite(r.first, r.second);
            for (u32 page = r.first / kPageBlocks; page * kPageBlocks < r.second; ++page)
                noted_at[page] = step;
        } else if (op < 8) {
            held.push_back({mem->Stamp(), step});
            if (held.size() > 8)
                held.erase(held.begin());
        } else if (!held.empty()) {
            const Held& h = held[rng() % held.size()];
            const u32 lo = rng() % kBlockCount;
            const u32 hi = std::min(kBlockCount, lo + 1 + static_cast<u32>(rng() % 300));
            bool want = false;
            for (u32 page = lo / kPageBlocks; page * kPageBlocks < hi; ++page)
                want = want || noted_at[page] > h.step;
            ASSERT_EQ(mem->WrittenSince(h.stamp, lo, hi), want) << "operation " << i;
        }
    }
}

TEST(GsMem, ModesByCodeAndName)
{
    EXPECT_EQ(PsmFromCode(0x31), Psm::kZ24);
    EXPECT_EQ(PsmFromCode(0x0A), Psm::kCT16S);
    EXPECT_FALSE(PsmFromCode(0x03).has_value());
    EXPECT_FALSE(PsmFromCode(0x831).has_value());  // a texture format word, not a mode
    EXPECT_EQ(PsmFromName("psmct16s"), Psm::kCT16S);
    EXPECT_EQ(PsmFromName("T4HH"), Psm::kT4HH);
    EXPECT_FALSE(PsmFromName("CT8").has_value());
    for (Psm psm : kAllPsms)
        EXPECT_EQ(PsmFromName(PsmName(psm)), psm);
    EXPECT_EQ(TransferBytes(Psm::kT4, 3), 2u);
    EXPECT_EQ(TransferBytes(Psm::kCT24, 5), 15u);
    EXPECT_EQ(TransferBytes(Psm::kT8H, 5), 5u);
}

// The 8-bit view of a 32-bit page (read 128 texels wide) holds each channel of
// the page's pixels at fixed places: rows 4b, 4b + 1 of the page hold the bytes
// of 16-pixel runs at texel rows 8b, 8b + 1 (red), the bytes of 8-pixel runs at
// rows 8b + 2, 8b + 3 (green); rows 4b + 2, 4b + 3 use texel rows 8b + 4 ..
// 8b + 7 the other way round.  Bit 3 of the texel column selects red/green
// (clear) or blue (set).  A depth page is the same with rows XOR 16 and
// columns XOR 32.  Drawing code copies one channel of a surface into an
// 8-bit index this way, so every byte must be where this says.
TEST(GsMem, EightBitViewOfAThirtyTwoBitPageFindsEachChannel)
{
    LocalMemory& mem = Memory();
    std::mt19937 rng(3);
    const u32 bp = 64;
    for (bool depth : {false, true}) {
        SCOPED_TRACE(depth ? "Z32 page" : "CT32 page");
        const Psm src = depth ? Psm::kZ32 : Psm::kCT32;
        u32 value[32][64];
        for (u32 y = 0; y < 32; ++y)
            for (u32 x = 0; x < 64; ++x) {
                value[y][x] = rng();
                mem.WritePixel(src, bp, 1, x, y, value[y][x]);
            }
        for (int channel = 0; channel < 3; ++channel) {
            const u32 blue = channel == 2 ? 8 : 0;
            auto texel = [&](u32 u, u32 v) { return mem.ReadPixel(Psm::kT8, bp, 2, (u & ~8u) | blue, v); };
            auto byte = [&](u32 x, u32 y) { return (value[y][x] >> (8 * channel)) & 0xFF; };
            for (u32 band = 0; band < 8; ++band) {
                const u32 ys = 4 * band, r = depth ? ys ^ 16 : ys;
                for (u32 half = 0; half < 2; ++half) {
                    const bool wide = (channel == 1) == (half == 1);
                    const u32 y = ys + 2 * half;
                    for (u32 dy = 0; dy < 2; ++dy)
                        for (u32 x = 0; x < 64; ++x) {
                            if (wide) {
                                const u32 c = (x & ~15u) ^ (depth ? 32 : 0);
                                const u32 v = 2 * r + (channel == 1 ? 6 : 0) + dy;
                                ASSERT_EQ(texel(2 * c + 8 + (x & 15), v), byte(x, y + dy)) << x << "," << y + dy;
                            } else {
                                const u32 c = (x & ~7u) ^ (depth ? 32 : 0);
                                const u32 v = 2 * r + (channel == 1 ? 2 : 4) + dy;
                                ASSERT_EQ(texel(2 * c + 4 + (x & 7), v), byte(x, y + dy)) << x << "," << y + dy;
                            }
                        }
                }
            }
        }
    }
}

// Copying the high byte of each Z16-view pixel x onto the CT16-view pixel
// x + 8 of the same 16-pixel run moves bits 8-15 of every 24-bit depth into
// the top byte of its word, where the T8H view reads it as an index.
TEST(GsMem, SixteenBitViewsMoveDepthBitsIntoTheTopByte)
{
    LocalMemory& mem = Memory();
    std::mt19937 rng(16);
    const u32 bp = 320, bw = 2;  // a 128 x 64 depth buffer
    std::vector<u32> z(128 * 64);
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 128; ++x) {
            z[y * 128 + x] = rng() & 0xFFFFFF;
            mem.WritePixel(Psm::kZ32, bp, bw, x, y, z[y * 128 + x]);
        }
    for (u32 y = 0; y < 128; ++y)
        for (u32 x = 0; x < 128; ++x) {
            if (x & 8)
                continue;
            const u32 texel = mem.ReadPixel(Psm::kZ16, bp, bw, x, y);
            const u32 old = mem.ReadPixel(Psm::kCT16, bp, bw, x + 8, y);
            mem.WritePixel(Psm::kCT16, bp, bw, x + 8, y, (old & 0x00FF) | (texel & 0xFF00));
        }
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 128; ++x) {
            ASSERT_EQ(mem.ReadPixel(Psm::kT8H, bp, bw, x, y), (z[y * 128 + x] >> 8) & 0xFF) << x << "," << y;
            ASSERT_EQ(mem.ReadPixel(Psm::kZ24, bp, bw, x, y), z[y * 128 + x]);
        }
}
