#include "ZevEngine2/PS2/chain_support.h"

#include <cstring>

namespace chain {

namespace {

struct Word
{
    u32 v;
    const u32* at;
    int slot;   // position inside its quadword in the VIF FIFO
};

const u8* Ptr(u32 addr)
{
    return reinterpret_cast<const u8*>(static_cast<uintptr_t>(addr));
}

// Follows one source chain; calls data(ptr, qwc) for every block of data and
// tag(t) for every tag.  Returns false on an unsupported tag.
template <class OnTag, class OnData>
bool Follow(const void* start, size_t max_tags, bool* ended, std::string* error, OnTag on_tag, OnData on_data)
{
    const u8* t = static_cast<const u8*>(start);
    *ended = false;
    for (size_t n = 0; n < max_tags; n++) {
        DmaTagSeen seen;
        std::memcpy(&seen.qwc, t, 2);
        seen.id = t[3];
        std::memcpy(&seen.next, t + 4, 4);
        std::memcpy(&seen.p0, t + 8, 4);
        std::memcpy(&seen.p1, t + 12, 4);
        seen.at = t;
        on_tag(seen);
        const u32 id = seen.id & 0x70;
        switch (id) {
        case 0x10:   // CNT
            on_data(t + 16, seen.qwc);
            t = t + 16 + 16 * seen.qwc;
            break;
        case 0x20:   // NEXT
            on_data(t + 16, seen.qwc);
            t = Ptr(seen.next);
            break;
        case 0x30:   // REF
        case 0x40:   // REFS
            on_data(Ptr(seen.next), seen.qwc);
            t = t + 16;
            break;
        case 0x00:   // REFE
            on_data(Ptr(seen.next), seen.qwc);
            *ended = true;
            return true;
        case 0x70:   // END
            on_data(t + 16, seen.qwc);
            *ended = true;
            return true;
        default:
            *error = "unsupported DMA tag id " + std::to_string(id);
            return false;
        }
    }
    *error = "chain too long";
    return false;
}

}  // namespace

Walk WalkVif(const void* start, size_t max_tags)
{
    Walk w;
    std::vector<Word> words;
    Follow(
        start, max_tags, &w.ended, &w.error,
        [&](const DmaTagSeen& t) {
            w.tags.push_back(t);
            const u32* q = static_cast<const u32*>(t.at);
            words.push_back({t.p0, q + 2, 2});
            words.push_back({t.p1, q + 3, 3});
        },
        [&](const u8* data, u32 qwc) {
            const u32* q = reinterpret_cast<const u32*>(data);
            for (u32 i = 0; i < 4 * qwc; i++)
                words.push_back({q[i], q + i, int(i & 3)});
        });

    size_t i = 0;
    auto take = [&](VifCode& c, size_t n) {
        if (i + n > words.size()) {
            w.error = "VIF payload runs past the chain";
            return false;
        }
        for (size_t k = 0; k < n; k++)
            c.data.push_back(words[i++].v);
        return true;
    };
    while (i < words.size() && w.error.empty()) {
        VifCode c;
        c.code = words[i].v;
        c.at = words[i].at;
        ++i;
        const u32 cmd = c.Cmd();
        bool ok = true;
        if (cmd <= 0x07 || cmd == 0x10 || cmd == 0x11 || cmd == 0x13 || cmd == 0x14 || cmd == 0x15 ||
            cmd == 0x17) {
        } else if (cmd == 0x20) {
            ok = take(c, 1);
        } else if (cmd == 0x30 || cmd == 0x31) {
            ok = take(c, 4);
        } else if (cmd == 0x4A) {
            if (i < words.size() && (words[i].slot & 1))
                ++i;   // instructions start on a 64-bit boundary
            const u32 num = c.Num() ? c.Num() : 256;
            ok = take(c, 2 * num);
        } else if (cmd == 0x50 || cmd == 0x51) {
            if (i < words.size() && words[i].slot != 0) {
                w.error = "DIRECT data not quadword aligned";
                break;
            }
            const u32 qwc = c.Imm() ? c.Imm() : 65536;
            ok = take(c, 4 * qwc);
        } else if (cmd >= 0x60) {
            const u32 vn = (cmd >> 2) & 3, vl = cmd & 3;
            const u32 num = c.Num() ? c.Num() : 256;
            const u32 bits = (vn == 3 && vl == 3) ? 16 : (32u >> vl) * (vn + 1);
            ok = take(c, (num * bits + 31) / 32);
        } else {
            w.error = "unknown VIF code " + std::to_string(c.code);
            break;
        }
        if (!ok)
            break;
        w.codes.push_back(std::move(c));
    }
    return w;
}

std::vector<u128> WalkGif(const void* start, bool* ended, std::vector<DmaTagSeen>* tags, size_t max_tags)
{
    std::vector<u128> out;
    bool e = false;
    std::string error;
    Follow(
        start, max_tags, &e, &error,
        [&](const DmaTagSeen& t) {
            if (tags)
                tags->push_back(t);
        },
        [&](const u8* data, u32 qwc) {
            const u128* q = reinterpret_cast<const u128*>(data);
            out.insert(out.end(), q, q + qwc);
        });
    if (ended)
        *ended = e;
    return out;
}

std::vector<GifItem> DecodeGif(const std::vector<u128>& q, std::string* error)
{
    std::vector<GifItem> items;
    size_t i = 0;
    while (i < q.size()) {
        const u64 lo = q[i].lo, hi = q[i].hi;
        ++i;
        const u32 nloop = lo & 0x7FFF;
        const bool eop = (lo >> 15) & 1;
        const bool pre = (lo >> 46) & 1;
        const u32 prim = (lo >> 47) & 0x7FF;
        const u32 flg = (lo >> 58) & 3;
        const u32 nreg = (lo >> 60) ? u32(lo >> 60) : 16;
        if (pre)
            items.push_back(GifItem{GifItem::kReg, 0x00, prim, 0, eop, lo});
        if (flg == 0) {
            for (u32 l = 0; l < nloop; l++) {
                for (u32 r = 0; r < nreg; r++) {
                    if (i >= q.size()) {
                        if (error)
                            *error = "PACKED data runs past the stream";
                        return items;
                    }
                    const u32 desc = (hi >> (4 * r)) & 0xF;
                    const u128 d = q[i++];
                    if (desc == 0xE)
                        items.push_back(GifItem{GifItem::kReg, u32(d.hi & 0xFF), d.lo, 0, eop, lo});
                    else
                        items.push_back(GifItem{GifItem::kReg, 0x100 | desc, d.lo, 0, eop, lo});
                }
            }
        } else if (flg == 1) {
            i += (u64(nloop) * nreg + 1) / 2;
        } else {
            items.push_back(GifItem{GifItem::kImage, 0, 0, nloop, eop, lo});
            i += nloop;
        }
    }
    return items;
}

std::vector<u128> DirectData(const Walk& w)
{
    std::vector<u128> out;
    for (const VifCode& c : w.codes) {
        if (c.Cmd() != 0x50)
            continue;
        for (size_t k = 0; k + 3 < c.data.size(); k += 4) {
            u128 q;
            std::memcpy(&q, &c.data[k], 16);
            out.push_back(q);
        }
    }
    return out;
}

std::vector<const VifCode*> Codes(const Walk& w, u32 cmd)
{
    std::vector<const VifCode*> out;
    for (const VifCode& c : w.codes)
        if (c.Cmd() == cmd)
            out.push_back(&c);
    return out;
}

std::vector<GifItem> Regs(const std::vector<GifItem>& items, u32 reg)
{
    std::vector<GifItem> out;
    for (const GifItem& g : items)
        if (g.kind == GifItem::kReg && g.reg == reg)
            out.push_back(g);
    return out;
}

}  // namespace chain
