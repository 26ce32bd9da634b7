#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/PS2/Packet.h"

namespace {

// A quadword-aligned buffer for chains.
struct Buffer {
    std::vector<u_long128> q;
    explicit Buffer(size_t n) : q(n, u_long128{0xDEADBEEFDEADBEEFull, 0xDEADBEEFDEADBEEFull}) {}
    u_long128* at(size_t i) { return q.data() + i; }
    DMAtag* tag(size_t i) { return reinterpret_cast<DMAtag*>(q.data() + i); }
    u32 word(size_t i) { return reinterpret_cast<u32*>(q.data())[i]; }
};

u32 Addr(const void* p)
{
    return static_cast<u32>(reinterpret_cast<uintptr_t>(p));
}

u64 GifLo(const u_long128& q)
{
    return q.lo;
}

u32 Nloop(const u_long128& q)
{
    return GifLo(q) & 0x7FFF;
}

bool Eop(const u_long128& q)
{
    return (GifLo(q) >> 15) & 1;
}

u32 Flg(const u_long128& q)
{
    return (GifLo(q) >> 58) & 3;
}

}  // namespace

TEST(DMApacket, CloseRightAfterOpenGivesEmptyTag)
{
    Buffer b(8);
    DMApacket pk(b.at(0));
    pk.Close(DMA_CNT);
    EXPECT_EQ(b.tag(0)->qwc, 0);
    EXPECT_EQ(b.tag(0)->id, DMA_CNT);
    EXPECT_EQ(pk.GetTag(), b.tag(1));
    EXPECT_EQ(pk.GetPtr(), reinterpret_cast<u32*>(b.at(1)) + 2);
}

TEST(DMApacket, CloseCountsDataAfterTheVifCodesAndPads)
{
    Buffer b(8);
    DMApacket pk(b.at(0));
    pk << 0x11u << 0x22u;              // the tag's two VIF codes
    pk << 1u << 2u << 3u << 4u << 5u;  // one quadword and one word of data
    pk.Close(DMA_END, true);
    EXPECT_EQ(b.tag(0)->qwc, 2);
    EXPECT_EQ(b.tag(0)->id, DMA_END | DMA_IRQ);
    EXPECT_EQ(b.tag(0)->p[0], 0x11u);
    EXPECT_EQ(b.word(8), 5u);
    EXPECT_EQ(b.word(9), 0u);  // padding is zero
    EXPECT_EQ(b.word(11), 0u);
}

TEST(DMApacket, RefAfterFreshTagReusesTheSlot)
{
    Buffer b(8);
    u_long128 data[4];
    DMApacket pk(b.at(0));
    u32* after = pk._Ref(DMA_REF, data, 4, 0xA, 0xB, false);
    EXPECT_EQ(after, reinterpret_cast<u32*>(b.at(1)));
    EXPECT_EQ(b.tag(0)->id, DMA_REF);
    EXPECT_EQ(b.tag(0)->qwc, 4);
    EXPECT_EQ(b.tag(0)->next, Addr(data));
    EXPECT_EQ(b.tag(0)->p[1], 0xBu);
    EXPECT_EQ(pk.NumReffedQW(), 4u);
}

TEST(DMApacket, RefAfterDataClosesItAsCnt)
{
    Buffer b(8);
    u_long128 data[2];
    DMApacket pk(b.at(0));
    pk << 0u << 0u << 7u;
    pk.Ref(data, 2);
    EXPECT_EQ(b.tag(0)->id, DMA_CNT);
    EXPECT_EQ(b.tag(0)->qwc, 1);
    EXPECT_EQ(b.tag(2)->id, DMA_REF);
    EXPECT_EQ(pk.GetTag(), b.tag(3));
}

TEST(DMApacket, AlignPutsWriterOnRequestedWord)
{
    Buffer b(4);
    DMApacket pk(b.at(0));
    pk.Align(2, 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pk.GetPtr()) & 15, 12u);
    pk << 1u;
    pk.Align(2, 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pk.GetPtr()) & 15, 12u);
    EXPECT_EQ(pk.GetPtr(), reinterpret_cast<u32*>(b.at(1)) + 3);
}

TEST(DMApacket, SkipReservesQuadwordsJumpedByNext)
{
    Buffer b(16);
    DMApacket pk(b.at(0));
    pk << 0u << 0u << 1u;
    u_long128* hole = pk.Skip(3);
    // The data word pads out its quadword; the hole follows it.
    EXPECT_EQ(hole, b.at(2));
    EXPECT_EQ(b.tag(0)->id, DMA_NEXT);
    EXPECT_EQ(b.tag(0)->qwc, 1);
    EXPECT_EQ(b.tag(0)->next, Addr(b.at(5)));
    EXPECT_EQ(pk.GetTag(), b.tag(5));
}

TEST(DMApacket, CallClosesWithTargetAndContinuesAfter)
{
    Buffer b(8);
    u_long128 sub[2];
    DMApacket pk(b.at(0));
    pk.Call(sub);
    EXPECT_EQ(b.tag(0)->id, DMA_CALL);
    EXPECT_EQ(b.tag(0)->next, Addr(sub));
    EXPECT_EQ(pk.GetTag(), b.tag(1));
}

TEST(VIFpacket, EmptyDirectBlockBecomesNop)
{
    Buffer b(8);
    VIFpacket vif(b.at(0));
    vif.OpenDirect();
    u32* code = vif.GetPtr() - 1;
    vif.CloseDirect();
    EXPECT_EQ(*code, VIF_NOP);
    EXPECT_EQ(vif.direct, nullptr);
}

TEST(VIFpacket, AddGifRegsWritesOneDirectBlockOfAPlusD)
{
    Buffer b(8);
    VIFpacket vif(b.at(0));
    u64 regs[4] = {0x1234, GS_TEST_1, 0x5678, GS_FRAME_1};
    vif.AddGifRegs(regs, 2);
    EXPECT_EQ(b.word(3), VIF_DIRECTQW(3));  // tag's second VIF code: DIRECT 3
    EXPECT_EQ(Nloop(b.q[1]), 2u);
    EXPECT_TRUE(Eop(b.q[1]));
    EXPECT_EQ(b.q[1].hi, u64{GS_AD});
    EXPECT_EQ(b.q[2].lo, 0x1234u);
    EXPECT_EQ(b.q[3].hi, u64{GS_FRAME_1});
}

TEST(VIFpacket, CloseUnpackComputesNumFromCycleAndFormat)
{
    Buffer b(8);
    VIFpacket vif(b.at(0));
    vif.Align(2, 2);
    vif << VIF_STCYCL(4, 4);
    vif.OpenUnpack(VIF_UNPACK_V4_32 | VIF_UNPACK_TOPS);
    for (int i = 0; i < 12; ++i)
        vif << static_cast<u32>(i);
    vif.CloseUnpack();
    EXPECT_EQ(b.word(3), 0x6C038000u);  // three V4-32 elements
    EXPECT_EQ(vif.unpack, nullptr);

    // V2-16 with a write cycle longer than the read cycle: WL 4, CL 2 doubles NUM.
    Buffer c(8);
    VIFpacket v2(c.at(0));
    v2.Align(2, 2);
    v2 << VIF_STCYCL(4, 2);
    v2.OpenUnpack(0x65000000);
    v2 << 1u << 2u;  // 8 bytes = two 4-byte elements
    v2.CloseUnpack();
    EXPECT_EQ((c.word(3) >> 16) & 0xFF, 4u);
}

TEST(VIFpacket, RefMpgSplitsIntoChunksOf128Quadwords)
{
    Buffer b(16);
    std::vector<u_long128> micro(300);
    VIFpacket vif(b.at(0));
    const u16 a = 0x100;
    vif.RefMpg(a, reinterpret_cast<const u64*>(micro.data()), 300);
    const u32 sizes[3] = {128, 128, 44};
    const u32 nums[3] = {0, 0, 88};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        DMAtag* t = b.tag(i);
        EXPECT_EQ(t->id, DMA_REF);
        EXPECT_EQ(t->qwc, sizes[i]);
        EXPECT_EQ(t->next, Addr(micro.data() + 128 * i));
        EXPECT_EQ(t->p[0], VIF_NOP);
        EXPECT_EQ(t->p[1] >> 24, 0x4Au);
        EXPECT_EQ((t->p[1] >> 16) & 0xFF, nums[i]);
        EXPECT_EQ(t->p[1] & 0xFFFF, a + 256u * i);
    }
}

TEST(VIFpacket, LoadImageOf16384QuadwordsGoesAsTwoChunks)
{
    Buffer b(32);
    // 32-bit 256 x 256 = 16,384 quadwords.
    std::vector<u_long128> image(16384);
    VIFpacket vif(b.at(0));
    vif.LoadImage(0x100, 0 /* PSMCT32 */, 4, reinterpret_cast<const u64*>(image.data()), 0, 0, 256, 256);
    // Tag 0: CNT holding DIRECT with the register block and the first IMAGE tag.
    EXPECT_EQ(b.tag(0)->id, DMA_CNT);
    EXPECT_EQ(b.word(3), VIF_DIRECTQW(6));
    EXPECT_EQ(Nloop(b.q[1]), 4u);
    EXPECT_EQ(b.q[2].lo >> 32, 0x100u | 4u << 16);  // BITBLTBUF DBP/DBW/DPSM
    EXPECT_EQ(b.q[4].lo, 256u | u64{256} << 32);     // TRXREG
    EXPECT_EQ(Nloop(b.q[6]), 16383u);
    EXPECT_EQ(Flg(b.q[6]), 2u);
    EXPECT_FALSE(Eop(b.q[6]));
    EXPECT_EQ(b.tag(7)->id, DMA_REF);
    EXPECT_EQ(b.tag(7)->qwc, 16383);
    EXPECT_EQ(b.tag(7)->p[1], VIF_DIRECTQW(16383));
    // Then the last IMAGE tag of one quadword and its reference.
    EXPECT_EQ(b.tag(8)->id, DMA_CNT);
    EXPECT_EQ(Nloop(b.q[9]), 1u);
    EXPECT_TRUE(Eop(b.q[9]));
    EXPECT_EQ(b.tag(10)->qwc, 1);
    EXPECT_EQ(b.tag(10)->next, Addr(image.data() + 16383));
}

TEST(GIFpacket, LoadImageSplitsIntoBandsOf1536Rows)
{
    Buffer b(64);
    const u32 w = 64, h = 2000;
    const u8 psm = 0x13;  // PSMT8: factor 2
    std::vector<u_long128> image(w * h * 2 / 32);
    GIFpacket gif(b.at(0));
    gif.LoadImage(0x200, psm, 1, reinterpret_cast<const u64*>(image.data()), 0, 0, w, h, true, true);
    // Band 1: registers with RRH 1536 and base 0x200.
    EXPECT_EQ(b.tag(0)->id, DMA_CNT);
    EXPECT_EQ(b.q[2].lo >> 32 & 0x3FFF, 0x200u);
    EXPECT_EQ(b.q[4].lo >> 32, 1536u);
    EXPECT_EQ(Nloop(b.q[6]), 64u * 1536 * 2 / 32);
    EXPECT_FALSE(Eop(b.q[6]));
    EXPECT_EQ(b.tag(7)->id, DMA_REF);
    EXPECT_EQ(b.tag(7)->qwc, 64 * 1536 * 2 / 32);
    // Band 2: 464 rows at the base moved by w x 3 x factor blocks.
    EXPECT_EQ(b.q[10].lo >> 32 & 0x3FFF, 0x200u + w * 3 * 2);
    EXPECT_EQ(b.q[12].lo >> 32, 464u);
    EXPECT_TRUE(Eop(b.q[14]));
    EXPECT_EQ(b.tag(15)->id, DMA_REF | DMA_IRQ);
    EXPECT_EQ(b.tag(15)->next, Addr(image.data() + 64 * 1536 * 2 / 32));
}

TEST(DMApacketSP, StreamedChainEqualsChainBuiltInPlace)
{
    // Build the same long chain twice: directly in memory and through the
    // scratchpad, which must stream it out in pieces.
    auto build = [](DMApacket& pk, bool sp) {
        auto& spk = static_cast<DMApacketSP&>(pk);
        for (u32 i = 0; i < 3000; ++i) {
            pk << 0u << 0u << i << i * 3 << i * 7;
            if (sp)
                spk.Close(DMA_CNT);
            else
                pk.Close(DMA_CNT);
        }
    };
    // Static, so the scratchpad channel's destination lies in the program
    // image, a region DMA may always reach.
    alignas(16) static u_long128 plain[8192];
    alignas(16) static u_long128 streamed[8192];
    DMApacket a(plain);
    a.Align(2, 0);  // as ScratchpadOn does
    build(a, false);
    a._Close(DMA_END, false);

    DMApacketSP s(streamed);
    s.ScratchpadOn();
    EXPECT_TRUE(s.InScratchpad());
    build(s, true);
    s.ScratchpadOff();
    EXPECT_FALSE(s.InScratchpad());
    s._Close(DMA_END, false);
    const size_t bytes = reinterpret_cast<u8*>(a.GetPtr()) - reinterpret_cast<u8*>(plain);
    ASSERT_EQ(static_cast<size_t>(reinterpret_cast<u8*>(s.GetPtr()) - reinterpret_cast<u8*>(streamed)), bytes);
    ASSERT_GT(bytes, 3u * 4096);  // several scratchpad buffers' worth
    EXPECT_EQ(std::memcmp(plain, streamed, bytes), 0);
}
