// The CLUT buffer: the GS's 1 KiB palette store between local memory and the
// texture sampler.  Indexed textures read their colours from here, never from
// local memory directly; the buffer is (re)loaded from memory only when TEX0
// or TEX2 is written with a CLD that asks for it.  Loading reads memory at
// that moment, so a palette drawn into afterwards is seen only after the next
// loading TEX0 write.
#pragma once

#include <ee/types.h>

#include <algorithm>
#include <iterator>
#include <map>

#include "gs/gsmem.h"
#include "gs/regs.h"

namespace console::gs {

// CLUT pixel formats (CPSM).
inline constexpr u32 kCpsmCT32 = 0x0;
inline constexpr u32 kCpsmCT16 = 0x2;
inline constexpr u32 kCpsmCT16S = 0xA;

// True for the indexed texture formats (T8, T4, T8H, T4HL, T4HH).
bool IsIndexed(Psm psm);
// Index bits of an indexed format: 8 or 4.
int IndexBits(Psm psm);

class ClutBuffer {
public:
    // Power-on: empty buffer, CBP0 = CBP1 = 0.
    void Reset();

    // Applies the CLD rule of a TEX0 (or TEX0 updated by TEX2) value just
    // written: 0 keeps the buffer; 1 loads; 2 and 3 load and set CBP0 or CBP1;
    // 4 and 5 load only when CBP differs from CBP0 or CBP1, then set it.
    // Non-indexed texture formats load nothing.  Returns true if it loaded.
    bool OnTex0(const LocalMemory& memory, const GsTex0& tex0);
    // Whether OnTex0 would load from memory for this value (which reads the
    // page at CBP): what a writer of that page must have finished first.
    bool WouldLoad(const GsTex0& tex0) const;

    // The raw entry `index` (of an `index_bits`-bit texture whose palette
    // starts at entry group `csa`), as stored in the format `cpsm`: a CT32
    // colour, or a 16-bit colour in the low half.
    u32 Entry(u32 cpsm, u32 csa, int index_bits, u32 index) const
    {
        const u32 e = index_bits == 4 ? ((csa << 4) + (index & 0xF)) : index & 0xFF;
        if (cpsm == kCpsmCT32)
            return halves_[e & 0xFF] | (static_cast<u32>(halves_[(e & 0xFF) + 256]) << 16);
        return halves_[e & 0x1FF];
    }

    // Changes whenever the entries may have changed, and is the same only for
    // the same entries (copies included), so colours worked out from them can
    // be kept while it holds.
    u64 Generation() const { return generation_; }

    u32 Cbp0() const { return cbp0_; }
    u32 Cbp1() const { return cbp1_; }

    // The entries and their generation alone, for a reader that keeps them
    // while this buffer is loaded again (queued drawing).
    ClutBuffer EntriesCopy() const
    {
        ClutBuffer c;
        std::copy(std::begin(halves_), std::end(halves_), c.halves_);
        c.generation_ = generation_;
        return c;
    }

private:
    void Load(const LocalMemory& memory, const GsTex0& tex0);

    // 512 half words.  A CT32 entry e keeps its low half at e and its high
    // half at e + 256, so the same store holds 256 CT32 or 512 CT16 entries.
    u16 halves_[512] = {};
    u32 cbp0_ = 0;
    u32 cbp1_ = 0;
    u64 generation_ = 0;  // 0: all entries zero

    // Recent loads from the memory with Id `loads_memory_`, by the TEX0
    // fields that chose their entries (CBP, CPSM, CSA, the index bits): the
    // buffer and its generation as the load left it, and memory's write
    // stamp then.  While nothing has written the palette since, a load again
    // takes its entries from here rather than from memory (the game switches
    // between a few palettes many times a frame).
    struct Remembered {
        u16 halves[512];
        u64 generation;
        u64 stamp;
    };
    std::map<u64, Remembered> loads_;
    u64 loads_memory_ = 0;
};

}  // namespace console::gs
