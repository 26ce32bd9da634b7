// Local memory of the graphics synthesizer: 4 MiB addressed in 256-byte
// blocks, with the page, block and column arrangement of every pixel storage
// mode the game uses.  Drawing, transfers, texture sampling, the display
// read-out and the asset tools all find pixels through this module, so data
// laid out by one of them is where the others look.  No drawing state lives
// here.
//
// Geometry: a page is 32 blocks (8 KiB), a block is four 64-byte columns.
// Pixel (x, y) of a buffer at block `bp` with width `bw` (in 64-pixel units)
// lies in page (y / page height) * pages across + x / page width, counted from
// `bp` in whole pages of 32 blocks; block numbers add modulo the memory size,
// so a base that is not page aligned and a buffer that runs off the end behave
// as on the hardware.
#pragma once

#include <ee/types.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace console::gs {

// Pixel storage modes, by the PSM code the GS registers carry.
enum class Psm : u8 {
    kCT32 = 0x00,
    kCT24 = 0x01,
    kCT16 = 0x02,
    kCT16S = 0x0A,
    kT8 = 0x13,
    kT4 = 0x14,
    kT8H = 0x1B,
    kT4HL = 0x24,
    kT4HH = 0x2C,
    kZ32 = 0x30,
    kZ24 = 0x31,
    kZ16 = 0x32,
    kZ16S = 0x3A,
};

inline constexpr std::array<Psm, 13> kAllPsms = {
    Psm::kCT32, Psm::kCT24, Psm::kCT16, Psm::kCT16S, Psm::kT8,  Psm::kT4,   Psm::kT8H,
    Psm::kT4HL, Psm::kT4HH, Psm::kZ32,  Psm::kZ24,   Psm::kZ16, Psm::kZ16S,
};

// The mode with this register code, or nothing for a code the GS does not
// define (the caller reports it).
std::optional<Psm> PsmFromCode(u32 code);
// "CT32", "T4HL", "Z16S", ...
const char* PsmName(Psm psm);
// Accepts the short name or the PSM-prefixed one ("ct16s", "PSMCT16S"), any case.
std::optional<Psm> PsmFromName(std::string_view name);

// Bits one pixel takes in host transfers: 32, 24, 16, 8 or 4.
int TransferBits(Psm psm);
// Host bytes of `pixels` pixels of a transfer (4-bit pixels two to a byte,
// a final odd one taking a whole byte).
u64 TransferBytes(Psm psm, u64 pixels);

inline constexpr u32 kMemoryBytes = 4u << 20;
inline constexpr u32 kMemoryWords = kMemoryBytes / 4;
inline constexpr u32 kBlockBytes = 256;
inline constexpr u32 kBlockCount = kMemoryBytes / kBlockBytes;  // 16,384
inline constexpr u32 kPageBlocks = 32;
inline constexpr u32 kColumnBytes = 64;

// The unit a layout addresses memory in.
enum class Unit : u8 { kWord, kHalf, kByte, kNibble };

// The arrangement shared by a family of modes (CT32 and CT24 share one, so do
// T8H, T4HL and T4HH, which are CT32 words seen through a bit field).  The
// table gives, for each pixel of a page in row-major order, its offset from
// the start of the page in the layout's unit when the page starts on a page
// boundary; PixelOffset adds the base.
struct Layout {
    Unit unit;
    u8 unit_shift;    // log2 of units in one block: 6, 7, 8 or 9
    u8 page_shift_x;  // log2 of the page width in pixels
    u8 page_shift_y;  // log2 of the page height in pixels
    u8 block_width;   // pixels
    u8 block_height;
    bool double_width_pages;  // 8- and 4-bit pages span two 64-pixel width units
    const u16* table;
};

const Layout& LayoutOf(Psm psm);

// Pages across a buffer `bw` 64-pixel units wide.  8- and 4-bit buffers take
// bw / 2; an odd width is rounded up so that no row of pages overlaps the next.
inline u32 PagesAcross(const Layout& layout, u32 bw)
{
    return layout.double_width_pages ? (bw + 1) >> 1 : bw;
}

// Offset of pixel (x, y) in the layout's unit from the start of memory.
inline u32 PixelOffset(const Layout& layout, u32 bp, u32 bw, u32 x, u32 y)
{
    const u32 px = layout.page_shift_x, py = layout.page_shift_y;
    const u32 page = (y >> py) * PagesAcross(layout, bw) + (x >> px);
    const u32 in_page = ((y & ((1u << py) - 1)) << px) | (x & ((1u << px) - 1));
    const u32 units = kBlockCount << layout.unit_shift;
    return (((bp + page * kPageBlocks) << layout.unit_shift) + layout.table[in_page]) & (units - 1);
}

// Block number (0 .. 16,383) holding pixel (x, y).
inline u32 PixelBlock(const Layout& layout, u32 bp, u32 bw, u32 x, u32 y)
{
    return PixelOffset(layout, bp, bw, x, y) >> layout.unit_shift;
}

// Offsets along one row of a buffer: the page-row arithmetic is done once, so
// each pixel costs a table load and an add (the rasterizer's spans, transfers
// and the display read-out).
class RowCursor {
public:
    RowCursor(const Layout& layout, u32 bp, u32 bw, u32 y)
        : shift_x_(layout.page_shift_x),
          unit_shift_(layout.unit_shift),
          mask_x_((1u << layout.page_shift_x) - 1),
          units_mask_((kBlockCount << layout.unit_shift) - 1),
          row_block_(bp + (y >> layout.page_shift_y) * PagesAcross(layout, bw) * kPageBlocks),
          row_table_(layout.table + ((y & ((1u << layout.page_shift_y) - 1)) << layout.page_shift_x))
    {
    }

    u32 Offset(u32 x) const
    {
        return (((row_block_ + (x >> shift_x_) * kPageBlocks) << unit_shift_) + row_table_[x & mask_x_]) & units_mask_;
    }

    // From row y to row `below` = y + 1 of the same buffer (`layout` and
    // `bw` as constructed): the next row of the page's table, or the top of
    // the next row of pages.  The cursor is then the one constructed for
    // `below`.
    void Down(const Layout& layout, u32 bw, u32 below)
    {
        if ((below & ((1u << layout.page_shift_y) - 1)) != 0) {
            row_table_ += mask_x_ + 1;
        } else {
            row_block_ += PagesAcross(layout, bw) * kPageBlocks;
            row_table_ = layout.table;
        }
    }

    // The parts of Offset(x), for walking a row's table several pixels at
    // a time: the base of x's page, the row's table in a page and its mask.
    u32 PageBase(u32 x) const { return (row_block_ + (x >> shift_x_) * kPageBlocks) << unit_shift_; }
    const u16* RowTable() const { return row_table_; }
    u32 MaskX() const { return mask_x_; }
    // log2 of the page width, and of the units in one page.
    u32 ShiftX() const { return shift_x_; }
    u32 PageShift() const { return unit_shift_ + 5; }
    u32 UnitsMask() const { return units_mask_; }
    // log2 of the bytes in one unit of Offset (words and halves only).
    u32 ByteShift() const { return 8 - unit_shift_; }

private:
    u32 shift_x_;
    u32 unit_shift_;
    u32 mask_x_;
    u32 units_mask_;
    u32 row_block_;
    const u16* row_table_;
};

// A rectangle of pixels, as TRXPOS/TRXREG give it.
struct Rect {
    u32 x = 0;
    u32 y = 0;
    u32 w = 0;
    u32 h = 0;
};

// The 4 MiB, zeroed at construction.  Pixel values are the raw stored bits of
// the mode: CT32/Z32 32 bits; CT24/Z24 the low 24; CT16(S)/Z16(S) 16; T8 8;
// T4 4; T8H, T4HL and T4HH bits 24-31, 24-27 and 28-31 of the 32-bit word at
// the same place, returned shifted down.  Writes change only the mode's bits:
// CT24 and Z24 keep the top byte, T8H/T4HL/T4HH the rest of the word.
class LocalMemory {
public:
    LocalMemory();
    LocalMemory(const LocalMemory& other);
    LocalMemory& operator=(const LocalMemory& other);

    // Raw access.  Writable access counts as a write anywhere (see Stamp).
    u32* Words()
    {
        NoteWriteAnywhere();
        return words_.data();
    }
    const u32* Words() const { return words_.data(); }
    // The same memory as bytes (the host is little-endian, as the GS is), half
    // words by half-word offset, and the whole as one span for dumps.
    u8* Bytes()
    {
        NoteWriteAnywhere();
        return reinterpret_cast<u8*>(words_.data());
    }
    const u8* Bytes() const { return reinterpret_cast<const u8*>(words_.data()); }
    u16* Halves()
    {
        NoteWriteAnywhere();
        return reinterpret_cast<u16*>(words_.data());
    }
    const u16* Halves() const { return reinterpret_cast<const u16*>(words_.data()); }

    // Writable access for drawing, whose caller has noted the blocks the
    // drawing may write (NoteWrite) on the thread that sends the drawing.
    u32* DrawWords() { return words_.data(); }
    u16* DrawHalves() { return reinterpret_cast<u16*>(words_.data()); }

    // Write stamps, so that copies of memory kept elsewhere (decoded
    // textures) know when they are out of date: every write marks the pages
    // it touches with a new stamp.  A copy made at Stamp() s is current while
    // WrittenSince(s, its blocks) is false.  Each memory has its own Id.
    u64 Stamp() const
    {
        stamp_seen_ = true;
        return stamp_;
    }
    u64 Id() const { return id_; }
    // The newest stamp a write took, without asking for one as Stamp()
    // does: while it stays the same, so does every WrittenSince answer.
    u64 LastWriteStamp() const { return stamp_; }
    bool WrittenSince(u64 stamp, u32 block_lo, u32 block_hi) const;
    void NoteWrite(u32 block_lo, u32 block_hi)
    {
        // Drawing notes the same pages again and again: pages inside a range
        // noted since the stamp was last read are passed over here.
        if (!stamp_seen_) {
            const u32 first = block_lo / kPageBlocks;
            const u32 end = std::min(kPages, block_hi / kPageBlocks + (block_hi % kPageBlocks != 0 ? 1 : 0));
            if ((first >= noted_[0].first && end <= noted_[0].end) ||
                (first >= noted_[1].first && end <= noted_[1].end))
                return;
        }
        NoteNewWrite(block_lo, block_hi);
    }
    void NoteWriteAnywhere() { anywhere_ = ++stamp_; }
    std::span<const u8> Raw() const { return {Bytes(), kMemoryBytes}; }

    void Clear();
    // Replaces the contents with a dump; false unless it is exactly 4 MiB.
    bool Load(std::span<const u8> dump);

    u32 ReadPixel(Psm psm, u32 bp, u32 bw, u32 x, u32 y) const;
    void WritePixel(Psm psm, u32 bp, u32 bw, u32 x, u32 y, u32 value);

    // The value at an offset of the mode's layout (PixelOffset, RowCursor),
    // taken modulo the memory.
    u32 ReadAt(Psm psm, u32 offset) const;
    void WriteAt(Psm psm, u32 offset, u32 value);
    // WriteAt for drawing, whose caller has noted the blocks the drawing may
    // write (NoteWrite) on the thread that sends it: touches no stamp, so
    // that draw threads may write rows of their own at once.
    void DrawAt(Psm psm, u32 offset, u32 value);
    // Writes `n` pixels of one row from x on, as WriteAt would one by one,
    // from host bytes packed TransferBits each; 8-, 16-, 24- and 32-bit
    // modes only.
    void WriteRow(Psm psm, const RowCursor& row, u32 x, u32 n, const u8* src);

    // Whole-rectangle host transfers in the packing of the GS's image
    // transfers: pixels left to right, top to bottom, TransferBits each, 4-bit
    // pixels low nibble first, with no padding between rows.  Both return
    // false, touching nothing, when the data is shorter than the rectangle.
    bool WriteRect(Psm psm, u32 bp, u32 bw, const Rect& rect, std::span<const u8> data);
    bool ReadRect(Psm psm, u32 bp, u32 bw, const Rect& rect, std::span<u8> out) const;

private:
    static constexpr u32 kPages = kBlockCount / kPageBlocks;

    void NoteNewWrite(u32 block_lo, u32 block_hi);

    std::vector<u32> words_;
    u64 id_;
    u64 stamp_ = 1;
    u64 anywhere_ = 1;
    std::vector<u64> page_stamps_;
    // The newest stamp of each group of 32 pages, so that a check of a
    // range whose groups are untouched looks at one stamp per group.
    std::vector<u64> group_stamps_;
    // The page ranges [first, end) noted since Stamp() was last asked for:
    // noting pages of one again changes nothing anyone can see, every stamp
    // handed out being older than theirs.
    struct PageRange {
        u32 first = 0, end = 0;
    };
    PageRange noted_[2];
    u32 noted_next_ = 0;
    mutable bool stamp_seen_ = true;
};

// A host-to-local transfer fed in pieces of any size: a 24-bit pixel may be
// split between two pieces, as it is between quadwords of IMAGE data.
class ImageWriter {
public:
    ImageWriter(LocalMemory& memory, Psm psm, u32 bp, u32 bw, const Rect& rect);

    // Stores pixels from `data` and returns the bytes used; stops at the end
    // of the rectangle, leaving the surplus to the caller.
    size_t Feed(std::span<const u8> data);

    bool Done() const { return done_ == total_; }
    u64 PixelsLeft() const { return total_ - done_; }

private:
    void Store(u32 value);

    LocalMemory& memory_;
    Psm psm_;
    u32 bp_;
    u32 bw_;
    Rect rect_;
    int bits_;
    u64 total_;
    u64 done_ = 0;
    u32 col_ = 0;
    u32 row_ = 0;
    u32 partial_ = 0;  // bytes of a pixel gathered so far
    int partial_bytes_ = 0;
};

}  // namespace console::gs
