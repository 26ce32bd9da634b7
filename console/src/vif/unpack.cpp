#include "vif/unpack.h"

#include <algorithm>
#include <cstring>

namespace console::vif {
namespace {

constexpr uint32_t kVuMask = 1023;

struct Format {
    unsigned components;  // vn + 1
    unsigned bits;        // per component; V4-5: the whole 16-bit element
    bool v45;
};

Format FormatOf(uint32_t code)
{
    const uint32_t cmd = (code >> 24) & 0x7F;
    const unsigned vn = (cmd >> 2) & 3;
    const unsigned vl = cmd & 3;
    if (vl == 3)
        return Format{4, 16, true};
    return Format{vn + 1, 32u >> vl, false};
}

uint32_t Component(const uint8_t* bytes, size_t offset, unsigned bits, bool usn)
{
    switch (bits) {
    case 32: {
        uint32_t v;
        std::memcpy(&v, bytes + offset, 4);
        return v;
    }
    case 16: {
        uint16_t v;
        std::memcpy(&v, bytes + offset, 2);
        return usn ? uint32_t{v} : static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
    }
    default: {
        const uint8_t v = bytes[offset];
        return usn ? uint32_t{v} : static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v)));
    }
    }
}

// The common case: no mask, no addition, every write cycle taking data (WL 0
// or CL = WL), so element i lands in quadword address + i as it is.
template <unsigned kComponents, unsigned kBits, bool kUsn>
void UnpackStraight(const uint8_t* bytes, size_t total_bytes, size_t source_start, uint32_t num, uint32_t address,
                    u128* vu_mem)
{
    constexpr size_t kComp = kBits / 8, kElem = kComp * kComponents;
    // Elements whose data is all there (the caller sized it with UnpackDataWords).
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(num, total_bytes / kElem));
    for (uint32_t i = 0; i < n; ++i) {
        const size_t off = size_t{i} * kElem;
        uint32_t v[4] = {0, 0, 0, 0};
        if constexpr (kComponents == 4 && kBits == 32) {
            std::memcpy(v, bytes + off, 16);
        } else {
            for (unsigned c = 0; c < kComponents; ++c)
                v[c] = Component(bytes, off + c * kComp, kBits, kUsn);
            if constexpr (kComponents == 1) {
                v[1] = v[2] = v[3] = v[0];
            } else if constexpr (kComponents == 2) {
                v[2] = v[0];
                v[3] = v[1];
            } else if constexpr (kComponents == 3) {
                const size_t next = off + kElem;
                if ((source_start + next) % 16 != 0 && next + kComp <= total_bytes)
                    v[3] = Component(bytes, next, kBits, kUsn);
            }
        }
        std::memcpy(&vu_mem[(address + i) & kVuMask], v, 16);
    }
}

template <unsigned kComponents, bool kUsn>
void UnpackStraightBits(unsigned bits, const uint8_t* bytes, size_t total_bytes, size_t source_start, uint32_t num,
                        uint32_t address, u128* vu_mem)
{
    switch (bits) {
    case 32: UnpackStraight<kComponents, 32, kUsn>(bytes, total_bytes, source_start, num, address, vu_mem); return;
    case 16: UnpackStraight<kComponents, 16, kUsn>(bytes, total_bytes, source_start, num, address, vu_mem); return;
    default: UnpackStraight<kComponents, 8, kUsn>(bytes, total_bytes, source_start, num, address, vu_mem); return;
    }
}

template <bool kUsn>
void UnpackStraightFormat(const Format& f, const uint8_t* bytes, size_t total_bytes, size_t source_start,
                          uint32_t num, uint32_t address, u128* vu_mem)
{
    switch (f.components) {
    case 1: UnpackStraightBits<1, kUsn>(f.bits, bytes, total_bytes, source_start, num, address, vu_mem); return;
    case 2: UnpackStraightBits<2, kUsn>(f.bits, bytes, total_bytes, source_start, num, address, vu_mem); return;
    case 3: UnpackStraightBits<3, kUsn>(f.bits, bytes, total_bytes, source_start, num, address, vu_mem); return;
    default: UnpackStraightBits<4, kUsn>(f.bits, bytes, total_bytes, source_start, num, address, vu_mem); return;
    }
}

}  // namespace

bool UnpackFormatDefined(uint32_t code)
{
    const uint32_t cmd = (code >> 24) & 0x7F;
    return cmd >= 0x60 && ((cmd & 3) != 3 || ((cmd >> 2) & 3) == 3);
}

const char* UnpackFormatName(uint32_t code)
{
    static const char* const kNames[16] = {"S-32",  "S-16",  "S-8",  "S-?",  "V2-32", "V2-16", "V2-8", "V2-?",
                                           "V3-32", "V3-16", "V3-8", "V3-?", "V4-32", "V4-16", "V4-8", "V4-5"};
    return kNames[(code >> 24) & 15];
}

uint32_t UnpackDataWords(uint32_t code, uint32_t cycle)
{
    uint32_t num = (code >> 16) & 0xFF;
    if (num == 0)
        num = 256;
    const uint32_t cl = cycle & 0xFF;
    const uint32_t wl = (cycle >> 8) & 0xFF;
    uint32_t elements = num;
    if (wl > cl)
        elements = cl * (num / wl) + std::min(num % wl, cl);
    const Format f = FormatOf(code);
    const uint32_t bits = f.v45 ? 16 : f.bits * f.components;
    return (elements * bits + 31) / 32;
}

void Unpack(uint32_t code, const uint32_t* words, size_t nwords, unsigned first_word_pos, uint32_t tops,
            Registers& regs, u128* vu_mem)
{
    if (!UnpackFormatDefined(code))
        return;
    const Format f = FormatOf(code);
    const bool masked = (code >> 28) & 1;
    const bool usn = (code >> 14) & 1;
    uint32_t num = (code >> 16) & 0xFF;
    if (num == 0)
        num = 256;
    const uint32_t address = (code & kVuMask) + (((code >> 15) & 1) ? tops : 0);
    const uint32_t cl = regs.cycle & 0xFF;
    const uint32_t wl = (regs.cycle >> 8) & 0xFF;
    const uint32_t block = std::max(cl, wl);
    const uint32_t mode = regs.mode;
    const uint32_t mask = masked ? regs.mask : 0;

    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(words);
    const size_t total_bytes = nwords * 4;
    const size_t comp_bytes = f.v45 ? 2 : f.bits / 8;
    const size_t elem_bytes = f.v45 ? 2 : comp_bytes * f.components;
    const size_t source_start = (first_word_pos & 3) * 4;
    if (!f.v45 && mask == 0 && mode != 1 && mode != 2 && (wl == 0 || wl == cl)) {
        if (usn)
            UnpackStraightFormat<true>(f, bytes, total_bytes, source_start, num, address, vu_mem);
        else
            UnpackStraightFormat<false>(f, bytes, total_bytes, source_start, num, address, vu_mem);
        return;
    }
    // V4-32 without mask or mode is most of the traffic: a straight copy.
    const bool plain = !f.v45 && f.components == 4 && f.bits == 32 && mask == 0 && mode == 0;

    size_t read = 0;  // elements taken from the data so far
    for (uint32_t i = 0; i < num; ++i) {
        uint32_t cycle;  // write cycle within the block: selects the mask row and COL
        uint32_t at;
        bool fill = false;
        if (wl == 0) {
            cycle = std::min<uint32_t>(i, 3);
            at = address + i;
        } else {
            cycle = i % wl;
            at = address + (i / wl) * block + cycle;
            fill = cycle >= cl;
        }
        uint32_t* dst = reinterpret_cast<uint32_t*>(&vu_mem[at & kVuMask]);

        uint32_t v[4] = {0, 0, 0, 0};
        if (!fill) {
            const size_t off = read * elem_bytes;
            ++read;
            if (off + elem_bytes > total_bytes)
                return;  // the caller sized the data with UnpackDataWords; nothing more to read
            if (plain) {
                std::memcpy(dst, bytes + off, 16);
                continue;
            }
            if (f.v45) {
                uint16_t h;
                std::memcpy(&h, bytes + off, 2);
                v[0] = (h & 0x1Fu) << 3;
                v[1] = ((h >> 5) & 0x1Fu) << 3;
                v[2] = ((h >> 10) & 0x1Fu) << 3;
                v[3] = ((h >> 15) & 1u) << 7;
            } else {
                for (unsigned c = 0; c < f.components; ++c)
                    v[c] = Component(bytes, off + c * comp_bytes, f.bits, usn);
                switch (f.components) {
                case 1:
                    v[1] = v[2] = v[3] = v[0];
                    break;
                case 2:
                    v[2] = v[0];
                    v[3] = v[1];
                    break;
                case 3: {
                    const size_t next = off + elem_bytes;
                    if ((source_start + next) % 16 != 0 && next + comp_bytes <= total_bytes)
                        v[3] = Component(bytes, next, f.bits, usn);
                    break;
                }
                default:
                    break;
                }
            }
        }

        const uint32_t row_k = std::min<uint32_t>(cycle, 3);
        for (unsigned c = 0; c < 4; ++c) {
            const uint32_t m = (mask >> (2 * (4 * row_k + c))) & 3;
            uint32_t value;
            switch (m) {
            case 0:
                if (fill) {
                    value = regs.row[c];
                } else if (mode == 1) {
                    value = v[c] + regs.row[c];
                } else if (mode == 2) {
                    regs.row[c] += v[c];
                    value = regs.row[c];
                } else {
                    value = v[c];
                }
                break;
            case 1:
                value = regs.row[c];
                break;
            case 2:
                value = regs.col[row_k];
                break;
            default:
                continue;  // write-protected
            }
            dst[c] = value;
        }
    }
}

}  // namespace console::vif
