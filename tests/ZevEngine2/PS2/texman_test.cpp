#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/render_support.h"
#include "ee/console_out.h"

using namespace render_test;
using chain::GifItem;

namespace {

// A small texture area: four pages (128 blocks) above the palette pool.
constexpr int kStart = 1024;
constexpr int kPages = 4;
constexpr int kCount = kPages * 32 + TEXMAN_CLUT_BLOCKS;

struct Tex
{
    Pixels px;
    Texture t;
    Tex(int w, int h, int format = PSMCT32, int clutsize = 0) : px(size_t(w) * h * 4 * 2 + 1024)
    {
        t.Set(format, w, h, clutsize, px.data());
    }
};

class TexManTest : public FrameTest
{
protected:
    void SetUp() override
    {
        ResetRenderer();
        ResetTexman(kStart, kCount);
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        console::ClearConsoleText();
    }

    void NextFrame(int i) { therenderer.BeginScene(dmabuff[i & 1], gifbuff[i & 1], false); }

    // Everything the upload batches of the frame just closed send, in order.
    std::vector<GifItem> Uploads(std::vector<chain::DmaTagSeen>* tags = nullptr)
    {
        std::vector<GifItem> all;
        EXPECT_EQ(Batches()[TexManBatchCount()], nullptr) << "the frame is not closed";
        for (int i = 0; i < TexManBatchCount(); i++) {
            bool ended = false;
            auto q = chain::WalkGif(Batches()[i], &ended, tags);
            EXPECT_TRUE(ended) << "batch without END";
            auto items = chain::DecodeGif(q);
            all.insert(all.end(), items.begin(), items.end());
        }
        return all;
    }

    // Writes n quadwords of VIF NOPs into the chain (drawing between locks).
    void Filler(int n)
    {
        static u_long128 zero[64];
        therenderer.AddN(zero, n);
    }

    static bool Printed(const char* line) { return console::ConsoleText().find(line) != std::string::npos; }
};

}  // namespace

// -------------------------------------------------------- residency, cache

TEST_F(TexManTest, SameTextureInTwoFramesIsUploadedOnce)
{
    Tex a(32, 32);
    ASSERT_TRUE(a.t.Hold());
    EXPECT_EQ(TexManBatchCount(), 1);
    const int block = a.t.GetVRAM();
    a.t.Release();
    Finish();
    EXPECT_EQ(chain::Regs(Uploads(), GS_BITBLTBUF).size(), 1u);

    NextFrame(1);
    ASSERT_TRUE(a.t.Hold());
    EXPECT_EQ(a.t.GetVRAM(), block);
    a.t.Release();
    Finish();
    EXPECT_EQ(TexManBatchCount(), 0);
    EXPECT_EQ(Batches()[0], nullptr);
}

TEST_F(TexManTest, DirtyTextureIsUploadedAgainThoughCached)
{
    Tex a(32, 32);
    ASSERT_TRUE(a.t.Hold());
    a.t.Release();
    Finish();
    NextFrame(1);
    a.t.format |= TEXF_DIRTY;
    ASSERT_TRUE(a.t.Hold());
    EXPECT_FALSE(a.t.IsDirty());
    a.t.Release();
    Finish();
    EXPECT_EQ(TexManBatchCount(), 1);
    EXPECT_EQ(chain::Regs(Uploads(), GS_BITBLTBUF).size(), 1u);
}

TEST_F(TexManTest, AdjacentFreedRecordsMergeIntoOneRange)
{
    Tex a(32, 32), b(32, 32), c(32, 32);
    ASSERT_TRUE(a.t.Hold());
    ASSERT_TRUE(b.t.Hold());
    ASSERT_TRUE(c.t.Hold());
    // The middle one first: it merges with neither; a and c then merge with it.
    b.t.Release();
    a.t.Release();
    c.t.Release();
    texman.ClearCache();
    EXPECT_EQ(texman.NumFree(), 1);
    EXPECT_EQ(texman.NumCached(), 0);
    EXPECT_EQ(texman.NumSpare(), TEXMAN_RECORDS - 1);
    EXPECT_EQ(texman.free.next->block, kStart);
    EXPECT_EQ(texman.free.next->nblocks, kPages * 32);
}

TEST_F(TexManTest, EvictionTakesTheLeastRecentlyReleasedFirst)
{
    Tex t[kPages] = {Tex(32, 32), Tex(32, 32), Tex(32, 32), Tex(32, 32)};
    for (Tex& x : t)
        ASSERT_TRUE(x.t.Hold());
    const int order[kPages] = {1, 0, 3, 2};
    for (int i : order)
        t[i].t.Release();
    Tex e(32, 32);
    ASSERT_TRUE(e.t.Hold());
    EXPECT_FALSE(texman.IsResident(t[1].t.data));
    EXPECT_TRUE(texman.IsResident(t[0].t.data));
    EXPECT_TRUE(texman.IsResident(t[2].t.data));
    EXPECT_TRUE(texman.IsResident(t[3].t.data));
    EXPECT_EQ(e.t.GetVRAM(), t[1].t.GetVRAM());
    e.t.Release();
}

TEST_F(TexManTest, LockedTexturesAreNeverEvicted)
{
    Tex t[kPages] = {Tex(32, 32), Tex(32, 32), Tex(32, 32), Tex(32, 32)};
    for (Tex& x : t)
        ASSERT_TRUE(x.t.Hold());
    Tex e(32, 32);
    EXPECT_FALSE(e.t.Hold());
    EXPECT_EQ(e.t.refcount, 0);
    EXPECT_FALSE(texman.IsResident(e.t.data));
    for (Tex& x : t)
        EXPECT_TRUE(texman.IsResident(x.t.data));
    EXPECT_TRUE(Printed("TexManager: no room in graphics memory"));
    for (Tex& x : t)
        x.t.Release();
}

TEST_F(TexManTest, UnlockOfATagThatIsNotLockedIsIgnored)
{
    Tex a(32, 32);
    int junk = 0;
    ASSERT_TRUE(a.t.Hold());
    texman.Unlock(therenderer, &junk);
    EXPECT_EQ(texman.NumLocked(), 1);
    texman.Unlock(therenderer, a.t.data);
    texman.Unlock(therenderer, a.t.data);
    EXPECT_EQ(texman.NumLocked(), 0);
    EXPECT_EQ(texman.NumCached(), 1);
    a.t.refcount = 0;
}

// ------------------------------------------------------------------ palettes

TEST_F(TexManTest, PageAlignedPalettesLandOnlyInSlotsDivisibleBySixteen)
{
    std::vector<int> got;
    for (int i = 0; i < 5; i++)
        got.push_back(texman.ClutAllocFromPool(true));
    EXPECT_EQ(got, (std::vector<int>{0, 16, 32, 48, -1}));

    ResetTexman(kStart, kCount);
    Tex p(32, 32, PSMT8 | TEXF_CLUTPAGE, 256);
    ASSERT_TRUE(p.t.Hold());
    const int slot = (p.t.GetCBP() - texman.clutblockbase) / 4;
    EXPECT_EQ(slot % 16, 0);
    EXPECT_EQ(p.t.GetCBP() % 32, texman.clutblockbase % 32);   // on a page bound
    p.t.Release();
}

TEST_F(TexManTest, PalettePoolServesAllSixtyFourSlots)
{
    std::set<int> seen;
    for (int i = 0; i < 60; i++) {
        int s = texman.ClutAllocFromPool(false);
        EXPECT_NE(s % 16, 0) << "page slots are kept for page-aligned palettes";
        seen.insert(s);
    }
    for (int i = 0; i < 4; i++)
        seen.insert(texman.ClutAllocFromPool(false));
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), 63);
    EXPECT_EQ(texman.ClutAllocFromPool(false), -1);
    EXPECT_EQ(texman.clutpoolfreebits, 0u);
}

TEST_F(TexManTest, EvictedPaletteSlotIsHandedOnFromTheCache)
{
    for (int i = 0; i < TEXMAN_CLUT_SLOTS; i++)
        texman.ClutAllocFromPool(false);
    texman.clutpoolfreebits |= 1ull << 33;   // one slot for the first texture
    Tex a(16, 16, PSMT8, 256), b(16, 16, PSMT8, 256);
    ASSERT_TRUE(a.t.Hold());
    EXPECT_EQ(a.t.GetCBP(), texman.clutblockbase + 4 * 33);
    a.t.Release();
    ASSERT_TRUE(b.t.Hold());   // the pool is empty: a is evicted for its slot
    EXPECT_EQ(b.t.GetCBP(), texman.clutblockbase + 4 * 33);
    EXPECT_FALSE(texman.IsResident(a.t.data));
    EXPECT_EQ(texman.clutpoolfreebits, 0u);
    b.t.Release();
}

TEST_F(TexManTest, FailedLockGivesItsPaletteSlotBack)
{
    Tex t[kPages] = {Tex(32, 32), Tex(32, 32), Tex(32, 32), Tex(32, 32)};
    for (Tex& x : t)
        ASSERT_TRUE(x.t.Hold());
    const u64 bits = texman.clutpoolfreebits;
    Tex p(32, 32, PSMT8, 256);
    EXPECT_FALSE(p.t.Hold());
    EXPECT_EQ(texman.clutpoolfreebits, bits);
    for (Tex& x : t)
        x.t.Release();
}

// ------------------------------------------------------------------ batches

TEST_F(TexManTest, FrameWithoutUploadsStillEndsWithTheEndOfFrameSlot)
{
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    EXPECT_EQ(Batches()[0], nullptr);
    auto marks = chain::Codes(w, 0x07);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0]->code, 0x0700FFFFu);
    // The interrupt comes after everything else but the END tag.
    size_t i = size_t(marks[0] - &w.codes[0]);
    ASSERT_LT(i + 2, w.codes.size());
    EXPECT_EQ(w.codes[i + 2].code, 0x80000000u);
    for (size_t k = i + 3; k < w.codes.size(); k++)
        EXPECT_EQ(w.codes[k].code, 0u);
}

TEST_F(TexManTest, FirstUploadIsStartedFromTheSlotPlacedAtFrameStart)
{
    u32* slot = texman.vif1_lastrequest;
    Tex a(32, 32);
    ASSERT_TRUE(a.t.Hold());
    EXPECT_EQ(slot[0], 0x07000000u);   // MARK 0
    EXPECT_EQ(slot[1], 0x80000000u);   // NOP with the interrupt bit
    EXPECT_NE(texman.vif1_lastrequest, slot);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;

    // After the armed slot: FLUSHA, a TEXFLUSH block, a new (unarmed) slot.
    size_t i = 0;
    while (i < w.codes.size() && w.codes[i].at != slot)
        ++i;
    ASSERT_LT(i + 4, w.codes.size());
    size_t f = i + 2;
    while (f < w.codes.size() && w.codes[f].Cmd() != 0x13)
        ++f;
    ASSERT_LT(f + 1, w.codes.size());
    EXPECT_EQ(w.codes[f + 1].Cmd(), 0x50u);
    auto regs = chain::DecodeGif(chain::DirectData(chain::Walk{{}, {w.codes[f + 1]}, true, ""}));
    ASSERT_EQ(regs.size(), 1u);
    EXPECT_EQ(regs[0].reg, u32(GS_TEXFLUSH));

    // The batch: the transfer registers, the image with its end of packet, END.
    ASSERT_NE(Batches()[0], nullptr);
    EXPECT_EQ(Batches()[1], nullptr);
    std::vector<chain::DmaTagSeen> tags;
    auto items = Uploads(&tags);
    auto blt = chain::Regs(items, GS_BITBLTBUF);
    ASSERT_EQ(blt.size(), 1u);
    EXPECT_EQ(blt[0].value >> 32 & 0x3FFF, u64(a.t.GetVRAM()));
    EXPECT_EQ(blt[0].value >> 56 & 0x3F, u64(PSMCT32));
    EXPECT_EQ(blt[0].value >> 48 & 0x3F, 1u);   // 32 pixels: one 64-pixel buffer width
    EXPECT_EQ(chain::Regs(items, GS_TRXREG)[0].value, 32u | 32ull << 32);
    ASSERT_EQ(items.back().kind, GifItem::kImage);
    EXPECT_EQ(items.back().qwc, 256u);
    EXPECT_TRUE(items.back().eop);
    EXPECT_EQ(tags.back().id & 0x70, 0x70);
    a.t.Release();
}

TEST_F(TexManTest, UploadsCloseToTheLastSlotShareItsBatch)
{
    Tex a(32, 32), b(32, 32);
    ASSERT_TRUE(a.t.Hold());
    ASSERT_TRUE(b.t.Hold());
    EXPECT_EQ(TexManBatchCount(), 1);
    Finish();
    auto items = Uploads();
    std::vector<GifItem> images;
    for (const GifItem& g : items)
        if (g.kind == GifItem::kImage)
            images.push_back(g);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_FALSE(images[0].eop);
    EXPECT_TRUE(images[1].eop);
    a.t.Release();
    b.t.Release();
}

TEST_F(TexManTest, UploadsFurtherOnOpenANewBatchAtTheLastSlot)
{
    Tex a(32, 32), b(32, 32);
    ASSERT_TRUE(a.t.Hold());
    u32* second = texman.vif1_lastrequest;
    Filler(16);
    ASSERT_TRUE(b.t.Hold());
    EXPECT_EQ(TexManBatchCount(), 2);
    EXPECT_EQ(second[0], 0x07000001u);
    EXPECT_EQ(second[1], 0x80000000u);
    Finish();
    ASSERT_NE(Batches()[1], nullptr);
    EXPECT_EQ(Batches()[2], nullptr);
    // Each batch's first tag names its place in the list.
    EXPECT_EQ(reinterpret_cast<DMAtag*>(Batches()[0])->p[0], 0u);
    EXPECT_EQ(reinterpret_cast<DMAtag*>(Batches()[1])->p[0], 1u);
    a.t.Release();
    b.t.Release();
}

TEST_F(TexManTest, FourBitPaletteGoesUpAsEightByTwoBeforeThePixels)
{
    Tex a(32, 32, PSMT4, 16);
    ASSERT_TRUE(a.t.Hold());
    Finish();
    std::vector<chain::DmaTagSeen> tags;
    auto items = Uploads(&tags);
    auto blt = chain::Regs(items, GS_BITBLTBUF);
    auto reg = chain::Regs(items, GS_TRXREG);
    ASSERT_EQ(blt.size(), 2u);
    EXPECT_EQ(blt[0].value >> 32 & 0x3FFF, u64(a.t.GetCBP()));
    EXPECT_EQ(blt[0].value >> 56 & 0x3F, u64(PSMCT32));
    EXPECT_EQ(reg[0].value, 8u | 2ull << 32);
    EXPECT_EQ(blt[1].value >> 56 & 0x3F, u64(PSMT4));
    EXPECT_EQ(blt[1].value >> 48 & 0x3F, 2u);
    EXPECT_EQ(reg[1].value, 32u | 32ull << 32);
    // The pixels follow the 16 colours (64 bytes) of the palette.
    bool found = false;
    for (const auto& t : tags)
        if ((t.id & 0x70) == 0x30 && t.qwc == 32)
            found = t.next == u32(reinterpret_cast<uintptr_t>(a.t.data)) + 64;
    EXPECT_TRUE(found);
    a.t.Release();
}

TEST_F(TexManTest, MipChainGoesUpAsOnePageWideImage)
{
    Tex a(64, 64, PSMCT32 | 0x200);
    ASSERT_TRUE(a.t.Hold());
    Finish();
    auto items = Uploads();
    auto reg = chain::Regs(items, GS_TRXREG);
    ASSERT_EQ(reg.size(), 1u);
    // 1.5 x 64 x 64 pixels in rows 64 wide: 96 rows (at least a page's 32).
    EXPECT_EQ(reg[0].value, 64u | 96ull << 32);
    EXPECT_EQ(chain::Regs(items, GS_BITBLTBUF)[0].value >> 48 & 0x3F, 1u);
    a.t.Release();
}

TEST_F(TexManTest, RawTextureGoesUpAsOneRowPerBlock)
{
    Tex a(64, 32, PSMT8 | TEXF_RAW);
    ASSERT_TRUE(a.t.Hold());
    Finish();
    auto items = Uploads();
    auto blt = chain::Regs(items, GS_BITBLTBUF);
    ASSERT_EQ(blt.size(), 1u);
    EXPECT_EQ(blt[0].value >> 56 & 0x3F, u64(PSMCT32));
    EXPECT_EQ(chain::Regs(items, GS_TRXREG)[0].value, 64u | 32ull << 32);
    a.t.Release();
}

// ------------------------------------------------------------------- limits

TEST_F(TexManTest, RecordLimitFailsTheLockAndKeepsTheFreeRange)
{
    ResetTexman(0, 16384);
    int tags[TEXMAN_RECORDS];
    int ok = 0;
    for (int i = 0; i < TEXMAN_RECORDS; i++) {
        int block, clut;
        if (texman.Lock(therenderer, &tags[i], 32, 0, false, block, clut))
            ++ok;
    }
    EXPECT_EQ(ok, TEXMAN_RECORDS - 1);   // one record holds the free range
    EXPECT_EQ(texman.NumFree(), 1);
    EXPECT_EQ(texman.NumSpare(), 0);
    EXPECT_TRUE(Printed("TexManager: out of records"));
    texman.Unlock(therenderer, &tags[0]);
    texman.ClearCache();
    int block, clut;
    EXPECT_TRUE(texman.Lock(therenderer, &tags[TEXMAN_RECORDS - 1], 32, 0, false, block, clut));
}

TEST_F(TexManTest, BatchLimitFailsTheLock)
{
    static u_long128 bigGif[12000];
    Finish();
    therenderer.BeginScene(dmabuff[1], bigGif, false, RENDER_CHAIN_QWC, 12000);
    Tex a(8, 8);
    int ok = 0;
    for (int i = 0; i < TEXMAN_BATCHES + 5; i++) {
        a.t.format |= TEXF_DIRTY;   // uploaded again every time
        Filler(16);
        if (a.t.Hold()) {
            ++ok;
            a.t.Release();
        }
    }
    EXPECT_EQ(ok, TEXMAN_BATCHES - 1);   // the list keeps one entry for its end
    EXPECT_TRUE(Printed("TexManager: too many upload batches in one frame"));
    therenderer.EndScene();
    EXPECT_EQ(TexManBatchList(iGIF3Fill ^ 1)[TEXMAN_BATCHES - 1], nullptr);
}

TEST_F(TexManTest, FullUploadAreaFailsTheLockButCachedTexturesStillLock)
{
    static u_long128 smallGif[20];
    Tex cachedTex(32, 32);
    ASSERT_TRUE(cachedTex.t.Hold());
    cachedTex.t.Release();
    Finish();
    therenderer.BeginScene(dmabuff[1], smallGif, false, RENDER_CHAIN_QWC, 20);
    Tex t[3] = {Tex(8, 8), Tex(8, 8), Tex(8, 8)};
    int ok = 0;
    for (Tex& x : t) {
        Filler(16);
        if (x.t.Hold())
            ++ok;
    }
    EXPECT_EQ(ok, 2);
    EXPECT_EQ(t[2].t.refcount, 0);
    EXPECT_FALSE(texman.IsResident(t[2].t.data));
    EXPECT_TRUE(Printed("TexManager: upload area full"));
    EXPECT_TRUE(cachedTex.t.Hold());
    therenderer.EndScene();
    // Nothing was written past the area.
    bool ended = false;
    for (u_long128* const* b = TexManBatchList(iGIF3Fill ^ 1); *b; ++b)
        chain::WalkGif(*b, &ended);
    EXPECT_TRUE(ended);
    for (Tex& x : t)
        if (x.t.refcount)
            x.t.Release();
    cachedTex.t.Release();
}

TEST_F(TexManTest, RenderTargetReservesSpaceWithoutUpload)
{
    Surface s;
    s.Set(PSMCT32, 64, 32);
    ASSERT_TRUE(s.GetSurface());
    EXPECT_EQ(TexManBatchCount(), 0);
    EXPECT_TRUE(texman.IsResident(&s));
    EXPECT_EQ(s.GetVRAM(), kStart);
    s.FreeSurface();
    EXPECT_EQ(texman.NumLocked(), 0);
}
