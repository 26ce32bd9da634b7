// Decoders for the chains the renderer and the texture manager write, so that
// tests can read them back the way the hardware would: a DMA source-chain
// walk (tags CNT, NEXT, REF, REFE, END with their VIF codes), the VIF1 code
// stream it produces, and the GIF packets inside DIRECT blocks or on PATH3.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <ee/types.h>

namespace chain {

// One VIF1 code with its payload words (UNPACK, DIRECT, MPG, STMASK, STROW).
struct VifCode
{
    u32 code = 0;
    std::vector<u32> data;
    const u32* at = nullptr;   // where the code word lies in memory
    u32 Cmd() const { return (code >> 24) & 0x7F; }
    bool Irq() const { return code >> 31; }
    u32 Num() const { return (code >> 16) & 0xFF; }
    u32 Imm() const { return code & 0xFFFF; }
};

struct DmaTagSeen
{
    u16 qwc;
    u8 id;
    u32 next;
    u32 p0, p1;
    const void* at;
};

struct Walk
{
    std::vector<DmaTagSeen> tags;
    std::vector<VifCode> codes;
    bool ended = false;        // reached an END/REFE tag
    std::string error;         // why decoding stopped early, if it did
};

// Walks a VIF1 source chain from `start` (tag transfer on) and decodes its
// VIF codes.  Stops at END/REFE, after max_tags tags, or at a decoding error.
Walk WalkVif(const void* start, size_t max_tags = 200000);

// Walks a GIF-channel chain (no tag transfer) and returns its quadwords.
std::vector<u128> WalkGif(const void* start, bool* ended = nullptr, std::vector<DmaTagSeen>* tags = nullptr,
                          size_t max_tags = 100000);

// An A+D register write or image data seen in a GIF stream.
struct GifItem
{
    enum Kind { kReg, kImage } kind;
    u32 reg = 0;
    u64 value = 0;
    u32 qwc = 0;          // image quadwords
    bool eop = false;     // of the tag that carried it
    u64 taglo = 0;        // that tag's low half (PRE, PRIM, NLOOP)
};

// Decodes GIF packets (PACKED A+D only, and IMAGE) from quadwords.
std::vector<GifItem> DecodeGif(const std::vector<u128>& q, std::string* error = nullptr);
// The GIF packets of every DIRECT block in a VIF walk, in order.
std::vector<u128> DirectData(const Walk& w);

// Convenience filters.
std::vector<const VifCode*> Codes(const Walk& w, u32 cmd);
std::vector<GifItem> Regs(const std::vector<GifItem>& items, u32 reg);

}  // namespace chain
