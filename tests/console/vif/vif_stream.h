// Builds VIF1 code streams word by word and sends them through DMA channel 1
// as a game's chain would, for the VIF1 and VU1 tests.
#pragma once

#include <ee/dma.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "console/dmac/dma_probe.h"

namespace viftest {

// VIF codes.
constexpr uint32_t kNop = 0x00000000;
constexpr uint32_t Stcycl(uint32_t cl, uint32_t wl) { return 0x01000000 | wl << 8 | cl; }
constexpr uint32_t Offset(uint32_t n) { return 0x02000000 | n; }
constexpr uint32_t Base(uint32_t n) { return 0x03000000 | n; }
constexpr uint32_t Itop(uint32_t n) { return 0x04000000 | n; }
constexpr uint32_t Stmod(uint32_t m) { return 0x05000000 | m; }
constexpr uint32_t Mark(uint32_t v) { return 0x07000000 | v; }
constexpr uint32_t Mscal(uint32_t address) { return 0x14000000 | address / 8; }
constexpr uint32_t Mscnt() { return 0x17000000; }
constexpr uint32_t kStmask = 0x20000000;
constexpr uint32_t kStrow = 0x30000000;
constexpr uint32_t kStcol = 0x31000000;
constexpr uint32_t Mpg(uint32_t num, uint32_t address) { return 0x4A000000 | (num & 0xFF) << 16 | address / 8; }

// UNPACK flags in the immediate.
constexpr uint32_t kUsn = 0x4000;
constexpr uint32_t kFlg = 0x8000;
constexpr uint32_t kMasked = 0x10000000;

// UNPACK with vn (components - 1) and vl (0: 32, 1: 16, 2: 8 bits, 3 with vn
// 3: V4-5).
constexpr uint32_t Unpack(uint32_t vn, uint32_t vl, uint32_t num, uint32_t address, uint32_t flags = 0)
{
    return 0x60000000 | vn << 26 | vl << 24 | (num & 0xFF) << 16 | (address & 0x3FF) | flags;
}

class Stream {
public:
    std::vector<uint32_t> words;

    Stream& operator<<(uint32_t w)
    {
        words.push_back(w);
        return *this;
    }
    // Pads with NOPs to a whole quadword.
    void Pad()
    {
        while (words.size() % 4 != 0)
            words.push_back(kNop);
    }
};

// DMA may only read static storage (or the heap arena): the chain is built
// here.
inline u128* ChainBuffer()
{
    alignas(16) static u128 buffer[8192];
    return buffer;
}

// Sends the stream (padded) as one CNT tag and an END tag, tag transfer off.
inline void Send(Stream stream)
{
    stream.Pad();
    const size_t qwc = stream.words.size() / 4;
    u128* c = ChainBuffer();
    c[0] = dmatest::Tag(SCE_DMA_TAG_CNT, static_cast<uint16_t>(qwc));
    std::memcpy(&c[1], stream.words.data(), 16 * qwc);
    c[1 + qwc] = dmatest::Tag(SCE_DMA_TAG_END, 0);
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 0;
    sceDmaSend(ch, c);
}

// Sends `qwc` quadwords at `data` by reference behind a tag carrying the two
// codes (tag transfer on), as VIFpacket::RefMpg and the main program's
// reference do.
inline void SendRef(const void* data, uint16_t qwc, uint32_t code0, uint32_t code1)
{
    u128* c = ChainBuffer();
    c[0] = dmatest::Tag(SCE_DMA_TAG_REF, qwc, data, code0, code1);
    c[1] = dmatest::Tag(SCE_DMA_TAG_END, 0);
    sceDmaChan* ch = sceDmaGetChan(SCE_DMA_VIF1);
    ch->chcr.TTE = 1;
    sceDmaSend(ch, c);
}

}  // namespace viftest
