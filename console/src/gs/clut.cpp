#include "gs/clut.h"

#include <atomic>
#include <cstring>

#include "core/diag.h"
#include "gs/transfer.h"

namespace console::gs {
namespace {

std::atomic<u64> g_next_generation{1};

}  // namespace

bool IsIndexed(Psm psm)
{
    switch (psm) {
    case Psm::kT8:
    case Psm::kT4:
    case Psm::kT8H:
    case Psm::kT4HL:
    case Psm::kT4HH: return true;
    default: return false;
    }
}

int IndexBits(Psm psm)
{
    return (psm == Psm::kT8 || psm == Psm::kT8H) ? 8 : 4;
}

void ClutBuffer::Reset()
{
    for (u16& h : halves_)
        h = 0;
    cbp0_ = cbp1_ = 0;
    generation_ = 0;
    loads_.clear();
    loads_memory_ = 0;
}

bool ClutBuffer::WouldLoad(const GsTex0& tex0) const
{
    const auto psm = PsmFromCode(tex0.PSM());
    if (!psm || !IsIndexed(*psm))
        return false;
    switch (tex0.CLD()) {
    case 1:
    case 2:
    case 3: return true;
    case 4: return tex0.CBP() != cbp0_;
    case 5: return tex0.CBP() != cbp1_;
    default: return false;
    }
}

bool ClutBuffer::OnTex0(const LocalMemory& memory, const GsTex0& tex0)
{
    const auto psm = PsmFromCode(tex0.PSM());
    if (!psm || !IsIndexed(*psm))
        return false;
    const u32 cbp = tex0.CBP();
    switch (tex0.CLD()) {
    case 0: return false;
    case 1: break;
    case 2: cbp0_ = cbp; break;
    case 3: cbp1_ = cbp; break;
    case 4:
        if (cbp == cbp0_)
            return false;
        cbp0_ = cbp;
        break;
    case 5:
        if (cbp == cbp1_)
            return false;
        cbp1_ = cbp;
        break;
    default:
        Diag(Level::kWarning, "gs", "TEX0 CLD %u is not defined; the CLUT buffer is kept", tex0.CLD());
        return false;
    }
    Load(memory, tex0);
    return true;
}

namespace {

// The TEX0 fields that decide which entries a load stores and from where.
// CSA picks the entry group of 4-bit palettes only.
u64 LoadFields(const GsTex0& tex0, int bits)
{
    const u64 csa = bits == 4 ? tex0.CSA() : 0;
    return u64{tex0.CBP()} | u64{tex0.CPSM()} << 14 | csa << 18 | u64(bits == 8) << 23;
}

// Loads remembered before all are forgotten.
constexpr size_t kRememberedLoads = 64;

}  // namespace

// CSM1 storage: an 8-bit palette is a 16 x 16 rectangle at CBP in which entry
// i sits at x = bits 0-2 and 4 of i, y = bit 3 and bits 5-7 of i (bits 3 and 4
// exchanged against plain row order); a 4-bit palette is an 8 x 2 rectangle.
void ClutBuffer::Load(const LocalMemory& memory, const GsTex0& tex0)
{
    if (tex0.CSM() != 0) {
        Diag(Level::kError, "gs", "TEX0 selects CLUT storage mode CSM2, which is not supported");
        return;
    }
    const u32 cpsm = tex0.CPSM();
    Psm clut_psm;
    switch (cpsm) {
    case kCpsmCT32: clut_psm = Psm::kCT32; break;
    case kCpsmCT16: clut_psm = Psm::kCT16; break;
    case kCpsmCT16S: clut_psm = Psm::kCT16S; break;
    default:
        generation_ = g_next_generation.fetch_add(1, std::memory_order_relaxed);
        Diag(Level::kError, "gs", "TEX0 CPSM 0x%X is not a CLUT format", cpsm);
        return;
    }
    const Psm psm = *PsmFromCode(tex0.PSM());
    const int bits = IndexBits(psm);
    const u32 entries = bits == 8 ? 256 : 16;
    const u32 cbp = tex0.CBP();
    const u32 csa = tex0.CSA();
    if (cpsm == kCpsmCT32 && bits == 4 && csa >= 16)
        Diag(Level::kWarning, "gs", "TEX0 CSA %u with a CT32 CLUT wraps to entry group %u", csa, csa & 15);
    // Stores entry i (of the palette) as a load does.
    auto store = [&](u32 i, u32 value) {
        const u32 e = bits == 4 ? (csa << 4) + i : i;
        if (cpsm == kCpsmCT32) {
            halves_[e & 0xFF] = static_cast<u16>(value);
            halves_[(e & 0xFF) + 256] = static_cast<u16>(value >> 16);
        } else {
            halves_[e & 0x1FF] = static_cast<u16>(value);
        }
    };

    if (loads_memory_ != memory.Id()) {
        loads_.clear();
        loads_memory_ = memory.Id();
    }
    const u64 fields = LoadFields(tex0, bits);
    auto it = loads_.find(fields);
    // A palette is a 16 x 16 (or 8 x 2) rectangle of width 1 inside the first
    // page from CBP: the 32 blocks from CBP on.
    if (it != loads_.end() && !BlocksWrittenSince(memory, it->second.stamp, cbp, kPageBlocks)) {
        // The palette is as this load last read it: its entries are taken
        // from the buffer as that load left it.
        Remembered& r = it->second;
        if (bits == 8 && cpsm == kCpsmCT32) {
            std::memcpy(halves_, r.halves, sizeof halves_);  // all 256 entries, both halves
        } else {
            for (u32 i = 0; i < entries; ++i) {
                const u32 e = bits == 4 ? (csa << 4) + i : i;
                store(i, cpsm == kCpsmCT32 ? r.halves[e & 0xFF] | u32{r.halves[(e & 0xFF) + 256]} << 16
                                           : r.halves[e & 0x1FF]);
            }
        }
        // The same buffer as then has the same generation.
        if (std::memcmp(halves_, r.halves, sizeof halves_) == 0) {
            generation_ = r.generation;
            return;
        }
        generation_ = g_next_generation.fetch_add(1, std::memory_order_relaxed);
        std::memcpy(r.halves, halves_, sizeof halves_);
        r.generation = generation_;
        return;
    }

    generation_ = g_next_generation.fetch_add(1, std::memory_order_relaxed);
    // Row by row: entry i of row y (16 entries, or 8 of a 4-bit palette) is
    // pixel x of that row.
    const Layout& layout = LayoutOf(clut_psm);
    const u32 width = bits == 8 ? 16 : 8, height = entries / width;
    for (u32 y = 0; y < height; ++y) {
        const RowCursor row(layout, cbp, 1, y);
        for (u32 x = 0; x < width; ++x) {
            const u32 i = bits == 8 ? (x & 7) | ((x & 8) << 1) | ((y & 1) << 3) | ((y & 0xE) << 4) : y * 8 + x;
            store(i, memory.ReadAt(clut_psm, row.Offset(x)));
        }
    }
    if (loads_.size() >= kRememberedLoads && it == loads_.end())
        loads_.clear();
    Remembered& r = loads_[fields];
    std::memcpy(r.halves, halves_, sizeof halves_);
    r.generation = generation_;
    r.stamp = memory.Stamp();
}

}  // namespace console::gs
