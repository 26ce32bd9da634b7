#include "gs/gsmem.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <string>

namespace console::gs {
namespace {

// Block numbers inside a page, row by row, as the GS arranges them.  The 8-bit
// mode shares the 32-bit order and the 4-bit mode the 16-bit one; the depth
// orders are the colour orders with bits 3 and 4 of the block number flipped
// (block number XOR 24).
constexpr u8 kBlocks32[4][8] = {
    {0, 1, 4, 5, 16, 17, 20, 21},
    {2, 3, 6, 7, 18, 19, 22, 23},
    {8, 9, 12, 13, 24, 25, 28, 29},
    {10, 11, 14, 15, 26, 27, 30, 31},
};
constexpr u8 kBlocksZ32[4][8] = {
    {24, 25, 28, 29, 8, 9, 12, 13},
    {26, 27, 30, 31, 10, 11, 14, 15},
    {16, 17, 20, 21, 0, 1, 4, 5},
    {18, 19, 22, 23, 2, 3, 6, 7},
};
constexpr u8 kBlocks16[8][4] = {
    {0, 2, 8, 10},   {1, 3, 9, 11},   {4, 6, 12, 14},  {5, 7, 13, 15},
    {16, 18, 24, 26}, {17, 19, 25, 27}, {20, 22, 28, 30}, {21, 23, 29, 31},
};
constexpr u8 kBlocksZ16[8][4] = {
    {24, 26, 16, 18}, {25, 27, 17, 19}, {28, 30, 20, 22}, {29, 31, 21, 23},
    {8, 10, 0, 2},    {9, 11, 1, 3},    {12, 14, 4, 6},   {13, 15, 5, 7},
};
constexpr u8 kBlocks16S[8][4] = {
    {0, 2, 16, 18},  {1, 3, 17, 19},  {8, 10, 24, 26}, {9, 11, 25, 27},
    {4, 6, 20, 22},  {5, 7, 21, 23},  {12, 14, 28, 30}, {13, 15, 29, 31},
};
constexpr u8 kBlocksZ16S[8][4] = {
    {24, 26, 8, 10}, {25, 27, 9, 11}, {16, 18, 0, 2},  {17, 19, 1, 3},
    {28, 30, 12, 14}, {29, 31, 13, 15}, {20, 22, 4, 6}, {21, 23, 5, 7},
};

// Word (0..15) of a 64-byte column holding 32-bit pixel (x, row) of its 8 x 2
// pixels: pairs of pixels side by side, the two rows interleaved pair by pair.
constexpr u32 ColumnWord(u32 x, u32 row)
{
    return (x & 1) | (row << 1) | ((x >> 1) << 2);
}

// A 32-bit block is 8 x 8 pixels in four columns of two rows.
constexpr u32 BlockOffset32(u32 bx, u32 by)
{
    return (by >> 1) * 16 + ColumnWord(bx, by & 1);
}

// A 16-bit block is 16 x 8: a column row holds 16 pixels in the words of the
// 32-bit arrangement, pixel x in the low half and pixel x + 8 in the high half.
constexpr u32 BlockOffset16(u32 bx, u32 by)
{
    return (BlockOffset32(bx & 7, by)) * 2 + (bx >> 3);
}

// An 8-bit block is 16 x 16 in four columns of 16 x 4.  The first two rows of
// a column take bytes 0 and 2 of its words, the last two bytes 1 and 3 with
// their pixels rotated by four places; odd columns swap which pair of rows
// is rotated.  The 4-bit block (32 x 16, columns of 32 x 4) does the same
// with nibbles 0, 2, 4, 6 and 1, 3, 5, 7.
constexpr u32 ColumnWordRotated(u32 bx, u32 by)
{
    const u32 column = by >> 2, upper = (by >> 1) & 1;
    const u32 x8 = (bx & 7) ^ ((upper ^ (column & 1)) << 2);
    return column * 16 + ColumnWord(x8, by & 1);
}

constexpr u32 BlockOffset8(u32 bx, u32 by)
{
    return ColumnWordRotated(bx, by) * 4 + (((bx >> 3) << 1) | ((by >> 1) & 1));
}

constexpr u32 BlockOffset4(u32 bx, u32 by)
{
    return ColumnWordRotated(bx, by) * 8 + (((bx >> 3) << 1) | ((by >> 1) & 1));
}

template <u32 kPageW, u32 kPageH, u32 kBlockW, u32 kBlockH, u32 kBlocksAcross>
constexpr std::array<u16, kPageW * kPageH> BuildPage(const u8 (&blocks)[32 / kBlocksAcross][kBlocksAcross],
                                                     u32 (*in_block)(u32, u32), u32 units_per_block)
{
    std::array<u16, kPageW * kPageH> table{};
    for (u32 y = 0; y < kPageH; ++y)
        for (u32 x = 0; x < kPageW; ++x) {
            const u32 block = blocks[y / kBlockH][x / kBlockW];
            table[y * kPageW + x] = static_cast<u16>(block * units_per_block + in_block(x % kBlockW, y % kBlockH));
        }
    return table;
}

constexpr auto kPageCT32 = BuildPage<64, 32, 8, 8, 8>(kBlocks32, BlockOffset32, 64);
constexpr auto kPageZ32 = BuildPage<64, 32, 8, 8, 8>(kBlocksZ32, BlockOffset32, 64);
constexpr auto kPageCT16 = BuildPage<64, 64, 16, 8, 4>(kBlocks16, BlockOffset16, 128);
constexpr auto kPageZ16 = BuildPage<64, 64, 16, 8, 4>(kBlocksZ16, BlockOffset16, 128);
constexpr auto kPageCT16S = BuildPage<64, 64, 16, 8, 4>(kBlocks16S, BlockOffset16, 128);
constexpr auto kPageZ16S = BuildPage<64, 64, 16, 8, 4>(kBlocksZ16S, BlockOffset16, 128);
constexpr auto kPageT8 = BuildPage<128, 64, 16, 16, 8>(kBlocks32, BlockOffset8, 256);
constexpr auto kPageT4 = BuildPage<128, 128, 32, 16, 4>(kBlocks16, BlockOffset4, 512);

constexpr Layout kLayoutCT32{Unit::kWord, 6, 6, 5, 8, 8, false, kPageCT32.data()};
constexpr Layout kLayoutZ32{Unit::kWord, 6, 6, 5, 8, 8, false, kPageZ32.data()};
constexpr Layout kLayoutCT16{Unit::kHalf, 7, 6, 6, 16, 8, false, kPageCT16.data()};
constexpr Layout kLayoutZ16{Unit::kHalf, 7, 6, 6, 16, 8, false, kPageZ16.data()};
constexpr Layout kLayoutCT16S{Unit::kHalf, 7, 6, 6, 16, 8, false, kPageCT16S.data()};
constexpr Layout kLayoutZ16S{Unit::kHalf, 7, 6, 6, 16, 8, false, kPageZ16S.data()};
constexpr Layout kLayoutT8{Unit::kByte, 8, 7, 6, 16, 16, true, kPageT8.data()};
constexpr Layout kLayoutT4{Unit::kNibble, 9, 7, 7, 32, 16, true, kPageT4.data()};

struct PsmEntry {
    Psm psm;
    const char* name;
    int transfer_bits;
    const Layout* layout;
};

constexpr PsmEntry kPsms[] = {
    {Psm::kCT32, "CT32", 32, &kLayoutCT32},  {Psm::kCT24, "CT24", 24, &kLayoutCT32},
    {Psm::kCT16, "CT16", 16, &kLayoutCT16},  {Psm::kCT16S, "CT16S", 16, &kLayoutCT16S},
    {Psm::kT8, "T8", 8, &kLayoutT8},         {Psm::kT4, "T4", 4, &kLayoutT4},
    {Psm::kT8H, "T8H", 8, &kLayoutCT32},     {Psm::kT4HL, "T4HL", 4, &kLayoutCT32},
    {Psm::kT4HH, "T4HH", 4, &kLayoutCT32},   {Psm::kZ32, "Z32", 32, &kLayoutZ32},
    {Psm::kZ24, "Z24", 24, &kLayoutZ32},     {Psm::kZ16, "Z16", 16, &kLayoutZ16},
    {Psm::kZ16S, "Z16S", 16, &kLayoutZ16S},
};

// Modes by register code (codes are 6 bits), so that finding a mode's layout
// on every pixel access costs one load.
constexpr std::array<const PsmEntry*, 64> BuildByCode()
{
    std::array<const PsmEntry*, 64> by_code{};
    for (const PsmEntry& e : kPsms)
        by_code[static_cast<u32>(e.psm)] = &e;
    return by_code;
}

constexpr std::array<const PsmEntry*, 64> kByCode = BuildByCode();

const PsmEntry& Entry(Psm psm)
{
    const PsmEntry* e = kByCode[static_cast<u32>(psm) & 63];
    return e ? *e : kPsms[0];  // only a value outside the enumeration finds none
}

}  // namespace

std::optional<Psm> PsmFromCode(u32 code)
{
    if (code >= kByCode.size() || !kByCode[code])
        return std::nullopt;
    return kByCode[code]->psm;
}

const char* PsmName(Psm psm)
{
    return Entry(psm).name;
}

std::optional<Psm> PsmFromName(std::string_view name)
{
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string_view key = upper;
    if (key.substr(0, 3) == "PSM")
        key.remove_prefix(3);
    for (const PsmEntry& e : kPsms)
        if (key == e.name)
            return e.psm;
    return std::nullopt;
}

int TransferBits(Psm psm)
{
    return Entry(psm).transfer_bits;
}

u64 TransferBytes(Psm psm, u64 pixels)
{
    return (pixels * static_cast<u64>(TransferBits(psm)) + 7) / 8;
}

const Layout& LayoutOf(Psm psm)
{
    return *Entry(psm).layout;
}

namespace {

u64 NewMemoryId()
{
    static std::atomic<u64> next{1};
    return next.fetch_add(1);
}

}  // namespace

constexpr u32 kGroupPages = 32;

LocalMemory::LocalMemory()
    : words_(kMemoryWords, 0), id_(NewMemoryId()), page_stamps_(kPages, 0), group_stamps_(kPages / kGroupPages, 0)
{
}

LocalMemory::LocalMemory(const LocalMemory& other)
    : words_(other.words_), id_(NewMemoryId()), page_stamps_(kPages, 0), group_stamps_(kPages / kGroupPages, 0)
{
}

LocalMemory& LocalMemory::operator=(const LocalMemory& other)
{
    if (this != &other) {
        words_ = other.words_;
        NoteWriteAnywhere();
    }
    return *this;
}

bool LocalMemory::WrittenSince(u64 stamp, u32 block_lo, u32 block_hi) const
{
    if (anywhere_ > stamp)
        return true;
    for (u32 page = block_lo / kPageBlocks; page < kPages && page * kPageBlocks < block_hi; ++page) {
        if (page % kGroupPages == 0 && group_stamps_[page / kGroupPages] <= stamp) {
            page += kGroupPages - 1;  // nothing in this group
            continue;
        }
        if (page_stamps_[page] > stamp)
            return true;
    }
    return false;
}

void LocalMemory::NoteNewWrite(u32 block_lo, u32 block_hi)
{
    const u32 first = block_lo / kPageBlocks;
    const u32 end = std::min(kPages, block_hi / kPageBlocks + (block_hi % kPageBlocks != 0 ? 1 : 0));
    if (stamp_seen_) {
        stamp_seen_ = false;
        noted_[0] = noted_[1] = PageRange{};
    } else {
        for (const PageRange& r : noted_)
            if (first >= r.first && end <= r.end)
                return;
    }
    noted_[noted_next_++ & 1] = PageRange{first, end};
    const u64 stamp = ++stamp_;
    for (u32 page = first; page < end; ++page) {
        page_stamps_[page] = stamp;
        group_stamps_[page / kGroupPages] = stamp;
    }
}

void LocalMemory::Clear()
{
    std::memset(words_.data(), 0, kMemoryBytes);
    NoteWriteAnywhere();
}

bool LocalMemory::Load(std::span<const u8> dump)
{
    if (dump.size() != kMemoryBytes)
        return false;
    std::memcpy(words_.data(), dump.data(), kMemoryBytes);
    NoteWriteAnywhere();
    return true;
}

// Offsets are masked to the memory in their unit, so any value is safe.
u32 LocalMemory::ReadAt(Psm psm, u32 offset) const
{
    switch (psm) {
    case Psm::kCT32:
    case Psm::kZ32: return words_[offset & (kMemoryWords - 1)];
    case Psm::kCT24:
    case Psm::kZ24: return words_[offset & (kMemoryWords - 1)] & 0xFFFFFF;
    case Psm::kT8H: return words_[offset & (kMemoryWords - 1)] >> 24;
    case Psm::kT4HL: return (words_[offset & (kMemoryWords - 1)] >> 24) & 0xF;
    case Psm::kT4HH: return words_[offset & (kMemoryWords - 1)] >> 28;
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ16:
    case Psm::kZ16S: return Halves()[offset & (kMemoryBytes / 2 - 1)];
    case Psm::kT8: return Bytes()[offset & (kMemoryBytes - 1)];
    case Psm::kT4: return (Bytes()[(offset >> 1) & (kMemoryBytes - 1)] >> ((offset & 1) * 4)) & 0xF;
    }
    return 0;
}

void LocalMemory::WriteAt(Psm psm, u32 offset, u32 value)
{
    const u32 page = ((offset >> LayoutOf(psm).unit_shift) / kPageBlocks) % kPages;
    page_stamps_[page] = group_stamps_[page / kGroupPages] = ++stamp_;
    DrawAt(psm, offset, value);
}

void LocalMemory::DrawAt(Psm psm, u32 offset, u32 value)
{
    // Merges `value` into the bits `mask` of the 32-bit word at the offset.
    auto merge = [&](u32 mask, u32 bits) {
        u32& word = words_[offset & (kMemoryWords - 1)];
        word = (word & ~mask) | (bits & mask);
    };
    switch (psm) {
    case Psm::kCT32:
    case Psm::kZ32: merge(0xFFFFFFFFu, value); return;
    case Psm::kCT24:
    case Psm::kZ24: merge(0x00FFFFFFu, value); return;
    case Psm::kT8H: merge(0xFF000000u, value << 24); return;
    case Psm::kT4HL: merge(0x0F000000u, value << 24); return;
    case Psm::kT4HH: merge(0xF0000000u, value << 28); return;
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ16:
    case Psm::kZ16S: DrawHalves()[offset & (kMemoryBytes / 2 - 1)] = static_cast<u16>(value); return;
    case Psm::kT8: reinterpret_cast<u8*>(words_.data())[offset & (kMemoryBytes - 1)] = static_cast<u8>(value); return;
    case Psm::kT4: {
        u8& byte = reinterpret_cast<u8*>(words_.data())[(offset >> 1) & (kMemoryBytes - 1)];
        const int shift = (offset & 1) * 4;
        byte = static_cast<u8>((byte & ~(0xF << shift)) | ((value & 0xF) << shift));
        return;
    }
    }
}

namespace {

// The pixels of one row run of a transfer: `put(offset, src)` stores the pixel
// whose packed bytes start at `src`; the pages written are stamped `stamp`.
template <int kBytes, typename Put>
void StoreRow(const RowCursor& row, u32 x, u32 n, const u8* src, u32 unit_shift, u64 stamp, u64* page_stamps,
              u64* group_stamps, u32 pages, Put put)
{
    u32 last_page = ~0u;
    for (u32 i = 0; i < n; ++i, src += kBytes) {
        const u32 offset = row.Offset(x + i);
        const u32 page = ((offset >> unit_shift) / kPageBlocks) % pages;
        if (page != last_page) {
            last_page = page;
            page_stamps[page] = group_stamps[page / kGroupPages] = stamp;
        }
        put(offset, src);
    }
}

template <typename T>
T LoadLittle(const u8* src)
{
    T value;
    std::memcpy(&value, src, sizeof value);
    return value;
}

}  // namespace

void LocalMemory::WriteRow(Psm psm, const RowCursor& row, u32 x, u32 n, const u8* src)
{
    if (n == 0)
        return;
    // One stamp for the run: it is newer than any stamp read before it, which
    // is all that WrittenSince asks of a write.
    const u64 stamp = ++stamp_;
    const u32 shift = LayoutOf(psm).unit_shift;
    u32* const words = words_.data();
    u64* const pages = page_stamps_.data();
    u64* const groups = group_stamps_.data();
    auto merge = [words](u32 offset, u32 mask, u32 bits) {
        u32& word = words[offset & (kMemoryWords - 1)];
        word = (word & ~mask) | (bits & mask);
    };
    switch (psm) {
    case Psm::kCT32:
    case Psm::kZ32:
        StoreRow<4>(row, x, n, src, shift, stamp, pages, groups, kPages, [words](u32 offset, const u8* p) {
            words[offset & (kMemoryWords - 1)] = LoadLittle<u32>(p);
        });
        return;
    case Psm::kCT24:
    case Psm::kZ24:
        StoreRow<3>(row, x, n, src, shift, stamp, pages, groups, kPages, [&merge](u32 offset, const u8* p) {
            merge(offset, 0x00FFFFFFu, p[0] | (u32{p[1]} << 8) | (u32{p[2]} << 16));
        });
        return;
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ16:
    case Psm::kZ16S: {
        u16* const halves = DrawHalves();
        StoreRow<2>(row, x, n, src, shift, stamp, pages, groups, kPages, [halves](u32 offset, const u8* p) {
            halves[offset & (kMemoryBytes / 2 - 1)] = LoadLittle<u16>(p);
        });
        return;
    }
    case Psm::kT8: {
        u8* const bytes = reinterpret_cast<u8*>(words);
        StoreRow<1>(row, x, n, src, shift, stamp, pages, groups, kPages,
                    [bytes](u32 offset, const u8* p) { bytes[offset & (kMemoryBytes - 1)] = *p; });
        return;
    }
    case Psm::kT8H:
        StoreRow<1>(row, x, n, src, shift, stamp, pages, groups, kPages,
                    [&merge](u32 offset, const u8* p) { merge(offset, 0xFF000000u, u32{*p} << 24); });
        return;
    case Psm::kT4:
    case Psm::kT4HL:
    case Psm::kT4HH: break;
    }
    // 4-bit modes pack two pixels to a byte: one at a time.
    for (u32 i = 0; i < n; ++i)
        WriteAt(psm, row.Offset(x + i), (src[i / 2] >> ((i & 1) * 4)) & 0xF);
}

u32 LocalMemory::ReadPixel(Psm psm, u32 bp, u32 bw, u32 x, u32 y) const
{
    return ReadAt(psm, PixelOffset(LayoutOf(psm), bp, bw, x, y));
}

void LocalMemory::WritePixel(Psm psm, u32 bp, u32 bw, u32 x, u32 y, u32 value)
{
    WriteAt(psm, PixelOffset(LayoutOf(psm), bp, bw, x, y), value);
}

bool LocalMemory::WriteRect(Psm psm, u32 bp, u32 bw, const Rect& rect, std::span<const u8> data)
{
    if (data.size() < TransferBytes(psm, static_cast<u64>(rect.w) * rect.h))
        return false;
    ImageWriter writer(*this, psm, bp, bw, rect);
    writer.Feed(data);
    return writer.Done();
}

bool LocalMemory::ReadRect(Psm psm, u32 bp, u32 bw, const Rect& rect, std::span<u8> out) const
{
    if (out.size() < TransferBytes(psm, static_cast<u64>(rect.w) * rect.h))
        return false;
    const Layout& layout = LayoutOf(psm);
    const int bits = TransferBits(psm);
    u8* dst = out.data();
    bool high_nibble = false;
    for (u32 row = 0; row < rect.h; ++row) {
        const RowCursor cursor(layout, bp, bw, rect.y + row);
        for (u32 col = 0; col < rect.w; ++col) {
            const u32 value = ReadAt(psm, cursor.Offset(rect.x + col));
            if (bits == 4) {
                if (high_nibble)
                    *dst++ |= static_cast<u8>(value << 4);
                else
                    *dst = static_cast<u8>(value);
                high_nibble = !high_nibble;
            } else {
                for (int b = 0; b < bits; b += 8)
                    *dst++ = static_cast<u8>(value >> b);
            }
        }
    }
    return true;
}

ImageWriter::ImageWriter(LocalMemory& memory, Psm psm, u32 bp, u32 bw, const Rect& rect)
    : memory_(memory),
      psm_(psm),
      bp_(bp),
      bw_(bw),
      rect_(rect),
      bits_(TransferBits(psm)),
      total_(rect.w == 0 ? 0 : static_cast<u64>(rect.w) * rect.h)
{
}

void ImageWriter::Store(u32 value)
{
    memory_.WritePixel(psm_, bp_, bw_, rect_.x + col_, rect_.y + row_, value);
    ++done_;
    if (++col_ == rect_.w) {
        col_ = 0;
        ++row_;
    }
}

size_t ImageWriter::Feed(std::span<const u8> data)
{
    size_t used = 0;
    if (bits_ == 4) {
        while (used < data.size() && done_ < total_) {
            const u8 byte = data[used++];
            Store(byte & 0xF);
            if (done_ < total_)
                Store(byte >> 4);
        }
        return used;
    }
    const int bytes_per_pixel = bits_ / 8;
    const Layout& layout = LayoutOf(psm_);
    while (used < data.size() && done_ < total_) {
        if (partial_bytes_ == 0) {
            // Whole pixels to the end of the row (or of the data) in one run.
            const u64 whole = (data.size() - used) / bytes_per_pixel;
            const u32 n = static_cast<u32>(std::min<u64>(rect_.w - col_, whole));
            if (n > 0) {
                memory_.WriteRow(psm_, RowCursor(layout, bp_, bw_, rect_.y + row_), rect_.x + col_, n,
                                 data.data() + used);
                used += static_cast<size_t>(n) * bytes_per_pixel;
                done_ += n;
                col_ += n;
                if (col_ == rect_.w) {
                    col_ = 0;
                    ++row_;
                }
                continue;
            }
        }
        partial_ |= static_cast<u32>(data[used++]) << (8 * partial_bytes_);
        if (++partial_bytes_ == bytes_per_pixel) {
            Store(partial_);
            partial_ = 0;
            partial_bytes_ = 0;
        }
    }
    return used;
}

}  // namespace console::gs
