// The 2-D drawer's whole-surface tricks: the channel-as-index copies and
// MakeZAlpha, checked as packets on the chain and as pixels drawn by the
// stand-in's GS, against values computed here from the source pixels.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"

using console::gs::Psm;
using console::gs::Vram;

namespace {

// One sprite of a page list, in page pixels and texels.
struct ListSprite
{
    int x0, y0, x1, y1;
    int u0, v0, u1, v1;
    u32 z;
};

std::vector<ListSprite> Sprites(const u_long128* data)
{
    std::vector<ListSprite> out;
    const u64* q = reinterpret_cast<const u64*>(data + 1);
    for (int i = 0; i < 96; i++, q += 4) {
        ListSprite s;
        s.u0 = int(q[0] & 0x3FFF);
        s.v0 = int(q[0] >> 16 & 0x3FFF);
        s.x0 = int(q[1] & 0xFFFF) / 16 - 2048;
        s.y0 = int(q[1] >> 16 & 0xFFFF) / 16 - 2048;
        s.z = u32(q[1] >> 32);
        s.u1 = int(q[2] & 0x3FFF);
        s.v1 = int(q[2] >> 16 & 0x3FFF);
        s.x1 = int(q[3] & 0xFFFF) / 16 - 2048;
        s.y1 = int(q[3] >> 16 & 0xFFFF) / 16 - 2048;
        out.push_back(s);
    }
    return out;
}

// Each pixel of the 64 x 32 page is drawn by exactly one sprite, and each
// sprite maps its texels one to one.
void ExpectPageCoveredOnce(const u_long128* data)
{
    std::vector<int> hits(64 * 32, 0);
    for (const ListSprite& s : Sprites(data)) {
        EXPECT_EQ(s.z, 0x10000u);
        EXPECT_EQ((s.u1 - s.u0) / 16, s.x1 - s.x0);
        EXPECT_EQ((s.v1 - s.v0) / 16, s.y1 - s.y0);
        EXPECT_EQ(s.u0 % 16, 8);
        for (int y = s.y0; y < s.y1; y++)
            for (int x = s.x0; x < s.x1; x++)
                if (x >= 0 && x < 64 && y >= 0 && y < 32)
                    hits[size_t(y * 64 + x)]++;
    }
    for (int i = 0; i < 64 * 32; i++)
        ASSERT_EQ(hits[size_t(i)], 1) << "pixel " << i % 64 << ", " << i / 64;
}

u64 TagLo(const u_long128* data)
{
    return data[0].lo;
}

}  // namespace

TEST(PageLists, EachIsOneRegisterListTagAndNinetySixSpritesCoveringThePage)
{
    for (const u_long128* data : {rai.data, gai.data, bai.data}) {
        const u64 lo = TagLo(data);
        EXPECT_EQ(lo & 0x7FFF, 96u);               // NLOOP
        EXPECT_EQ(lo >> 15 & 1, 1u);               // EOP
        EXPECT_EQ(lo >> 46 & 1, 0u);               // the primitive comes from before
        EXPECT_EQ(lo >> 58 & 3, 1u);               // REGLIST
        EXPECT_EQ(lo >> 60, 4u);                   // NREG
        EXPECT_EQ(data[0].hi, 0x5353u);            // UV XYZ2 UV XYZ2
        ExpectPageCoveredOnce(data);
    }
    // Blue is red's list: only the clamp differs.
    EXPECT_EQ(std::memcmp(rai.data, bai.data, sizeof(rai.data)), 0);
    EXPECT_NE(std::memcmp(rai.data, gai.data, sizeof(rai.data)), 0);
}

// ------------------------------------------------------------- packets

namespace {

class ChannelCopyPackets : public render_test::FrameTest
{
protected:
    Surface src, dest;
    static constexpr int kClut = 640;

    void SetUp() override
    {
        FrameTest::SetUp();
        src.Set(PSMZ32, 128, 64);
        src.SetVRAM(0);
        dest.Set(PSMCT32, 128, 64);
        dest.SetVRAM(128);
    }

    std::vector<chain::GifItem> Items(const chain::Walk& w) { return chain::DecodeGif(chain::DirectData(w)); }

    int RefsTo(const chain::Walk& w, const void* list)
    {
        int n = 0;
        for (const chain::DmaTagSeen& t : w.tags)
            if ((t.id & 0x70) == 0x30 && t.next == u32(uintptr_t(list)) && t.qwc == 193 && t.p1 == 0x50000000u + 193)
                ++n;
        return n;
    }
};

}  // namespace

TEST_F(ChannelCopyPackets, FirstPageLoadsThePaletteLaterPagesReuseIt)
{
    Render2D r;
    r.Open(therenderer);
    r.RedAsIndex(src, dest, kClut);
    r.Close(therenderer);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    const auto items = Items(w);

    const auto tex0 = chain::Regs(items, GS_TEX0_2);
    ASSERT_EQ(tex0.size(), 4u);   // 2 x 2 pages
    for (size_t k = 0; k < tex0.size(); k++) {
        const u64 v = tex0[k].value;
        EXPECT_EQ(v >> 61, k == 0 ? 1u : 0u) << "page " << k;
        EXPECT_EQ(tex0::TBP0(v), 32 * k);
        EXPECT_EQ(tex0::PSM(v), u32(PSMT8));
        EXPECT_EQ(tex0::CBP(v), u32(kClut));
    }
    // The page offsets put the list's 64 x 32 on each page of the target.
    const auto offs = chain::Regs(items, GS_XYOFFSET_2);
    ASSERT_EQ(offs.size(), 5u);   // the target's, then one per page
    const u64 want[4] = {0x8000ull | 0x8000ull << 32, 0x7C00ull | 0x8000ull << 32, 0x8000ull | 0x7E00ull << 32,
                         0x7C00ull | 0x7E00ull << 32};
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(offs[size_t(k) + 1].value, want[k]);

    EXPECT_EQ(RefsTo(w, rai.data), 4);
    EXPECT_TRUE(dest.IsDirty());
}

TEST_F(ChannelCopyPackets, ContextTwoTextureIsSentAgainAfterACopy)
{
    render_test::Pixels px(64 * 64 * 4);
    Texture t;
    t.Set(PSMCT32, 64, 64, 0, px.data());
    Render2D r;
    r.Open(therenderer);
    r.SetTexture(&t, TEXMODE_DECAL);
    r.DrawSprite2(dest, 0, 0, 16, 16, 8, 8, 24, 24, 1);   // sends the texture for context 2
    r.RedAsIndex(src, dest, kClut);
    r.DrawSprite2(dest, 0, 0, 16, 16, 8, 8, 24, 24, 1);
    r.Close(therenderer);
    chain::Walk w = Finish();
    const auto tex0 = chain::Regs(Items(w), GS_TEX0_2);
    ASSERT_EQ(tex0.size(), 6u);   // the texture, four pages, the texture again
    EXPECT_EQ(tex0.back().value & ~(3ull << 35), t.tex0);
}

TEST_F(ChannelCopyPackets, MakeZAlphaOnA512RowBufferUsesA1023RowView)
{
    Surface zbuf;
    zbuf.Set(0x831, 640, 512);
    zbuf.SetVRAM(2560);
    Render2D r;
    r.Open(therenderer);
    r.SetColour(Colour(1, 2, 3, 4));
    r.update_flags = 0;   // the colour is already sent
    r.MakeZAlpha(zbuf);
    EXPECT_EQ(r.mask_reg, 0u);
    // The copy overwrote the shared colour and context 2's texture.
    EXPECT_EQ(r.update_flags, u32(R2D_COLOUR | R2D_COLOUR << 16 | R2D_TEXTURE << 16));
    r.Close(therenderer);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    const auto items = Items(w);

    const auto frame = chain::Regs(items, GS_FRAME_2);
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_EQ(frame[0].value, 80u | 10u << 16 | u64(PSMCT16) << 24 | 0x3FFFull << 32);
    EXPECT_EQ(chain::Regs(items, GS_SCISSOR_2).at(0).value, 639ull << 16 | 1022ull << 48);
    const u64 tex0 = chain::Regs(items, GS_TEX0_2).at(0).value;
    EXPECT_EQ(tex0::TBP0(tex0), 2560u);
    EXPECT_EQ(tex0::PSM(tex0), u32(PSMZ16));

    // The sprite list: one REGLIST packet of 40 sprites, 16 pixels apart,
    // reaching texel row 1023.5 at most.
    const std::vector<u128> direct = chain::DirectData(w);
    const u128* list = nullptr;
    for (size_t i = 0; i < direct.size(); i++)
        if ((direct[i].lo >> 58 & 3) == 1 && direct[i].hi == 0x5353) {
            list = &direct[i];
            break;
        }
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->lo & 0x7FFF, 40u);
    const u64* last = reinterpret_cast<const u64*>(list + 1) + 4 * 39;
    EXPECT_EQ(last[0], u64(256 * 39 + 8) | 8ull << 16);
    EXPECT_EQ(last[1], u64((16 * 39 + 8 + 2048) * 16) | u64(2048 * 16) << 16 | 0x10000ull << 32);
    EXPECT_EQ(last[2], u64(256 * 39 + 136) | u64(1023 * 16 + 8) << 16);
    EXPECT_EQ(last[3], u64((16 * 39 + 16 + 2048) * 16) | u64((1023 + 2048) * 16) << 16 | 0x10000ull << 32);
    // Drawing resumes only after the GS has finished with the buffer.
    bool flusha = false;
    for (const chain::VifCode& c : w.codes)
        flusha |= c.code == 0x13000000u;
    EXPECT_TRUE(flusha);
}

// ------------------------------------------------------------ on the GS

namespace {

class ChannelCopyOnGs : public gsframe::GsFrameTest
{
protected:
    static constexpr u32 kClut = 1024;
    Surface zdummy;
    std::mt19937 rng{1234};

    void SetUp() override
    {
        GsFrameTest::SetUp();
        zdummy.Set(PSMZ32, 128, 64);
        zdummy.SetVRAM(1536);
        for (int i = 0; i < 256; i++) {
            const int pos = Render2D_raw::ClutSwizzle(i);
            Vram().WritePixel(Psm::kCT32, kClut, 1, u32(pos % 16), u32(pos / 16), Palette(i));
        }
    }

    static u32 Palette(int i) { return Colour(u8(i), u8(255 - i), u8(i * 7), 0x80).Word(); }

    // Fills a 128 x 64 buffer with random words.
    std::vector<u32> Fill(Psm psm, u32 bp)
    {
        std::vector<u32> v(128 * 64);
        for (u32 y = 0; y < 64; y++)
            for (u32 x = 0; x < 128; x++) {
                v[y * 128 + x] = u32(rng());
                Vram().WritePixel(psm, bp, 2, x, y, v[y * 128 + x]);
            }
        return v;
    }

    // Every pixel of the target at bp is palette[byte `shift` of src].
    void ExpectIndexed(const std::vector<u32>& src, u32 bp, int shift)
    {
        int bad = 0;
        for (u32 y = 0; y < 64; y++)
            for (u32 x = 0; x < 128; x++) {
                const u32 want = Palette(int(src[y * 128 + x] >> shift & 0xFF));
                const u32 got = Vram().ReadPixel(Psm::kCT32, bp, 2, x, y);
                if (got != want && bad++ < 5)
                    ADD_FAILURE() << "byte " << shift / 8 << " at (" << x << ", " << y << "): " << std::hex << got
                                  << " for " << want;
            }
        EXPECT_EQ(bad, 0);
    }

    // A 128 x 64 source of format psm at block 0 and three 32-bit targets
    // at blocks 128, 256 and 384.
    static void Place(Surface& src, int psm, Surface& red, Surface& green, Surface& blue)
    {
        src.Set(psm, 128, 64);
        src.SetVRAM(0);
        red.Set(PSMCT32, 128, 64);
        red.SetVRAM(128);
        green.Set(PSMCT32, 128, 64);
        green.SetVRAM(256);
        blue.Set(PSMCT32, 128, 64);
        blue.SetVRAM(384);
    }

    void Prepare(Render2D& r, Surface& dest)
    {
        r.SetDrawEnvironment(dest, zdummy, false);   // PRMODECONT, COLCLAMP, no dithering
        r.SetZBuffer(zdummy, true, false);           // no depth writes in context 2
        r.SetZTest(ZTEST_ALWAYS);
    }
};

}  // namespace

TEST_F(ChannelCopyOnGs, ZBufferBytesIndexThePalette)
{
    Surface src, red, green, blue;
    Place(src, PSMZ32, red, green, blue);
    const std::vector<u32> depth = Fill(Psm::kZ32, 0);
    Frame([&](Render2D& r) {
        Prepare(r, red);
        r.RedAsIndex(src, red, int(kClut));
        r.GreenAsIndex(src, green, int(kClut));
        r.BlueAsIndex(src, blue, int(kClut));
    });
    ExpectIndexed(depth, 128, 0);
    ExpectIndexed(depth, 256, 8);
    ExpectIndexed(depth, 384, 16);
    // The source is untouched.
    EXPECT_EQ(Vram().ReadPixel(Psm::kZ32, 0, 2, 77, 33), depth[33 * 128 + 77]);
}

TEST_F(ChannelCopyOnGs, ColourPageListsReadColourBuffers)
{
    static PageRedAsIndex red_list(0x10000, false);
    static PageGreenAsIndex green_list(0x10000, false);
    Surface src, red, green, blue;
    Place(src, PSMCT32, red, green, blue);
    const std::vector<u32> colours = Fill(Psm::kCT32, 0);
    Frame([&](Render2D& r) {
        Prepare(r, red);
        r.ChannelCopy(src, red, int(kClut), red_list.data, PAGELIST_QWC, 0xF73);
        r.ChannelCopy(src, green, int(kClut), green_list.data, PAGELIST_QWC, 0xF73);
        r.ChannelCopy(src, blue, int(kClut), red_list.data, PAGELIST_QWC, 0x20F73);
    });
    ExpectIndexed(colours, 128, 0);
    ExpectIndexed(colours, 256, 8);
    ExpectIndexed(colours, 384, 16);
}

namespace {

class MakeZAlphaOnGs : public gsframe::GsFrameTest
{
protected:
    std::mt19937 rng{99};

    // A Z24 buffer w x h at block 0 with random depths and a random top byte.
    std::vector<u32> FillDepth(Surface& zbuf, int w, int h)
    {
        zbuf.Set(0x831, w, h);
        zbuf.SetVRAM(0);
        const u32 bw = u32(w + 63) / 64;
        std::vector<u32> z(size_t(w) * size_t(h));
        for (u32 y = 0; y < u32(h); y++)
            for (u32 x = 0; x < u32(w); x++) {
                const u32 v = u32(rng());
                Vram().WritePixel(Psm::kZ32, 0, bw, x, y, v);
                z[y * u32(w) + x] = v & 0xFFFFFF;
            }
        return z;
    }

    void Run(Surface& zbuf, u32 test)
    {
        Surface draw;
        draw.Set(PSMCT32, zbuf.width, zbuf.height);
        draw.SetVRAM(zbuf.nblocks);
        Frame([&](Render2D& r) {
            r.SetDrawEnvironment(draw, zbuf, false);
            r.test_reg = test;
            r.update_flags |= R2D_TEST | R2D_TEST << 16;
            r.MakeZAlpha(zbuf);
        });
    }

    // Pixels whose top byte is not bits 8-15 of the depth, or whose depth
    // changed.
    int Wrong(const std::vector<u32>& z, int w, int h, int skip_row = -1)
    {
        const u32 bw = u32(w + 63) / 64;
        int bad = 0;
        for (u32 y = 0; y < u32(h); y++)
            for (u32 x = 0; x < u32(w); x++) {
                if (int(y) == skip_row)
                    continue;
                const u32 want = z[y * u32(w) + x];
                const u32 index = Vram().ReadPixel(Psm::kT8H, 0, bw, x, y);
                const u32 depth = Vram().ReadPixel(Psm::kZ24, 0, bw, x, y);
                if ((index != (want >> 8 & 0xFF) || depth != want) && bad++ < 5)
                    ADD_FAILURE() << "(" << x << ", " << y << "): index " << index << " depth " << std::hex << depth
                                  << " for " << want;
            }
        return bad;
    }
};

}  // namespace

TEST_F(MakeZAlphaOnGs, TopByteHoldsDepthBits8To15AndTheDepthStays)
{
    Surface zbuf;
    const std::vector<u32> z = FillDepth(zbuf, 128, 64);
    // Every pixel fails the alpha test and is written to the frame only.
    Run(zbuf, 0x31001);
    EXPECT_EQ(Wrong(z, 128, 64), 0);
}

TEST_F(MakeZAlphaOnGs, FiveHundredTwelveRowsAreConvertedButForTheLastViewRow)
{
    Surface zbuf;
    const std::vector<u32> z = FillDepth(zbuf, 64, 512);
    Run(zbuf, 0x31001);
    // The 16-bit view stops at row 1022 of 1024: the depths whose low halves
    // the Z16 layout puts in its last row (the texels the sprites would read
    // there) keep their old top byte.
    using console::gs::LayoutOf;
    using console::gs::PixelOffset;
    std::vector<bool> last_row_word(console::gs::kMemoryWords, false);
    for (u32 x = 0; x < 64; x += (x % 16 == 7) ? 9 : 1)
        last_row_word[PixelOffset(LayoutOf(Psm::kZ16), 0, 1, x, 1023) / 2] = true;
    int stale = 0, expected_stale = 0;
    for (u32 y = 0; y < 512; y++)
        for (u32 x = 0; x < 64; x++) {
            const bool last = last_row_word[PixelOffset(LayoutOf(Psm::kZ24), 0, 1, x, y)];
            const bool converted = Vram().ReadPixel(Psm::kT8H, 0, 1, x, y) == (z[y * 64 + x] >> 8 & 0xFF);
            expected_stale += last;
            if (!last) {
                EXPECT_TRUE(converted) << "(" << x << ", " << y << ")";
            }
            stale += !converted;
            ASSERT_EQ(Vram().ReadPixel(Psm::kZ24, 0, 1, x, y), z[y * 64 + x]);
        }
    EXPECT_EQ(expected_stale, 32);
    EXPECT_LE(stale, expected_stale);
}
