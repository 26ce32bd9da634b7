#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/render_support.h"
#include "ee/console_out.h"

using namespace render_test;
using chain::VifCode;

namespace {

class RendererTest : public FrameTest
{
};

u32 Addr(const void* p)
{
    return u32(reinterpret_cast<uintptr_t>(p));
}

// Index of the first code at or after `from` in memory order of writing.
size_t FirstAfter(const chain::Walk& w, const u32* from, u32 cmd)
{
    for (size_t i = 0; i < w.codes.size(); i++)
        if (w.codes[i].Cmd() == cmd && w.codes[i].at >= from)
            return i;
    return w.codes.size();
}

// Command quadwords of every command block after `from`: {x, y, z, w}.
std::vector<std::vector<u32>> Commands(const chain::Walk& w, const u32* from)
{
    std::vector<std::vector<u32>> out;
    for (const VifCode& c : w.codes) {
        if (c.Cmd() != 0x6C || !(c.code & 0x8000) || c.at < from)
            continue;
        for (size_t k = 0; k + 3 < c.data.size(); k += 4)
            out.push_back({c.data[k], c.data[k + 1], c.data[k + 2], c.data[k + 3]});
    }
    return out;
}

Matrix MatrixNo(int i)
{
    float f = float(i);
    return Matrix(Vector(f, 1, 2, 3), Vector(4, f, 6, 7), Vector(8, 9, f, 11), Vector(12, 13, 14, f));
}

// A 32 x 32 32-bit texture (one page) with data, optionally mip-mapped.
struct TestTexture
{
    Pixels pixels{64 * 64 * 4 * 2};
    Texture tex;
    explicit TestTexture(int format = PSMCT32, int w = 32, int h = 32) { tex.Set(format, w, h, 0, pixels.data()); }
};

}  // namespace

// ------------------------------------------------------------- command blocks

TEST_F(RendererTest, EmptyCommandBlockStillCarriesTheEndQuadword)
{
    const u32* from = therenderer.GetPtr();
    therenderer._BeginCommands();
    EXPECT_NE(therenderer.unpack, nullptr);
    therenderer._EndCommands();
    EXPECT_EQ(therenderer.unpack, nullptr);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;

    size_t i = FirstAfter(w, from, 0x6C);
    ASSERT_LT(i, w.codes.size());
    EXPECT_EQ(w.codes[i - 1].code, 0x01000404u);
    EXPECT_EQ(w.codes[i].code, 0x6C018000u);   // NUM 1, relative to the double buffer
    EXPECT_EQ(w.codes[i].data, (std::vector<u32>{0, 0, 0, u32(mc2Stop) / 8}));
    EXPECT_EQ(w.codes[i + 1].code, 0x14000000u);   // MSCAL 0: the interpreter
}

TEST_F(RendererTest, CommandsAndGlobalsCountIntoTheUnpack)
{
    const u32* from = therenderer.GetPtr();
    const u64 globals[4] = {1, 2, 3, 4};
    therenderer.call(mc2SetBuffers, 432, 649, 0);
    therenderer.SetGlobals(906, 2, globals);
    therenderer.EndCommands();
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;

    size_t i = FirstAfter(w, from, 0x6C);
    ASSERT_LT(i, w.codes.size());
    EXPECT_EQ(w.codes[i].Num(), 5u);   // command, globals command + 2, end
    auto cmds = Commands(w, from);
    ASSERT_EQ(cmds.size(), 5u);
    EXPECT_EQ(cmds[0], (std::vector<u32>{432, 649, 0, u32(mc2SetBuffers) / 8}));
    EXPECT_EQ(cmds[1], (std::vector<u32>{906, 2, 0, u32(mc2SetGlobals) / 8}));
    EXPECT_EQ(cmds[2], (std::vector<u32>{1, 0, 2, 0}));
    EXPECT_EQ(cmds[4][3], u32(mc2Stop) / 8);
}

TEST_F(RendererTest, LocalMatrixCarriesItsRoutineInTheLowBitsOfW)
{
    const u32* from = therenderer.GetPtr();
    Matrix m = MatrixNo(5);
    m.x.setw(1.5f);
    therenderer.SetLocal(m, Sphere(1, 2, 3, 4));
    therenderer.EndCommands();
    auto cmds = Commands(Finish(), from);
    ASSERT_EQ(cmds.size(), 6u);
    u32 wbits;
    float w = 1.5f;
    std::memcpy(&wbits, &w, 4);
    EXPECT_EQ(cmds[0][3], (wbits & 0xFFFF0000u) | u32(mc2SetLocal) / 8);
    float r;
    std::memcpy(&r, &cmds[4][3], 4);
    EXPECT_EQ(r, 4.0f);
}

// ----------------------------------------------------------- matrix palette

TEST_F(RendererTest, MatrixPaletteLaysOutTheBuffersOnlyWhenTheCountChanges)
{
    static Matrix mats[10];
    for (int i = 0; i < 10; i++)
        mats[i] = MatrixNo(i);
    const u32* first = therenderer.GetPtr();
    therenderer.SetMatrixPalette(mats, 10, false);
    const u32* second = therenderer.GetPtr();
    therenderer.SetMatrixPalette(mats, 10, false);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;

    // k = (894 - 40) / 14 = 61: output buffers at 8k + 4n and 11k + 4n + 1.
    auto cmds = Commands(w, first);
    ASSERT_GE(cmds.size(), 1u);
    EXPECT_EQ(cmds[0], (std::vector<u32>{528, 712, 0, u32(mc2SetBuffers) / 8}));
    size_t base = FirstAfter(w, first, 0x03);
    ASSERT_LT(base, w.codes.size());
    EXPECT_EQ(w.codes[base].code, 0x03000000u | 40);
    EXPECT_EQ(w.codes[base + 1].code, 0x02000000u | 244);

    // The second call: no block, no BASE/OFFSET, only the FLUSH and the upload.
    EXPECT_EQ(Commands(w, second).size(), 0u);
    EXPECT_EQ(FirstAfter(w, second, 0x03), w.codes.size());
    EXPECT_LT(FirstAfter(w, second, 0x11), w.codes.size());
    EXPECT_EQ(therenderer.nmats, 10);
}

TEST_F(RendererTest, MatrixPaletteByReferenceSplitsAt64Matrices)
{
    static Matrix mats[65];
    therenderer.SetMatrixPalette(mats, 65, false);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    std::vector<chain::DmaTagSeen> refs;
    for (const auto& t : w.tags)
        if ((t.id & 0x70) == 0x30 && t.next >= Addr(mats) && t.next < Addr(mats + 65))
            refs.push_back(t);
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[0].qwc, 256);
    EXPECT_EQ(refs[0].next, Addr(mats));
    EXPECT_EQ(refs[0].p0, 0x01000404u);
    EXPECT_EQ(refs[0].p1, 0x6C000000u);   // NUM 0 = 256 quadwords at VU1 address 0
    EXPECT_EQ(refs[1].qwc, 4);
    EXPECT_EQ(refs[1].next, Addr(mats + 64));
    EXPECT_EQ(refs[1].p1, 0x6C040100u);   // 4 quadwords at 256
    EXPECT_EQ(therenderer.matpalette, reinterpret_cast<u_long128*>(mats));
}

TEST_F(RendererTest, SixtyFourMatricesByReferenceKeepTheUnpackFormat)
{
    // 256 quadwords must be written as NUM 0, not spill into the format bits.
    static Matrix mats[64];
    therenderer.SetMatrixPalette(mats, 64, false);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    int found = 0;
    for (const auto& t : w.tags) {
        if ((t.id & 0x70) == 0x30 && t.next == Addr(mats)) {
            EXPECT_EQ(t.qwc, 256);
            EXPECT_EQ(t.p1, 0x6C000000u);
            ++found;
        }
    }
    EXPECT_EQ(found, 1);
}

TEST_F(RendererTest, SmallCopiedPaletteTravelsInline)
{
    Matrix mats[2] = {MatrixNo(7), MatrixNo(9)};
    const u32* from = therenderer.GetPtr();
    therenderer.SetMatrixPalette(mats, 2, true);
    mats[0] = MatrixNo(100);   // the caller's matrices may change at once
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    size_t i = FirstAfter(w, from, 0x11);   // the FLUSH before the upload
    size_t st = FirstAfter(w, w.codes[i].at, 0x01);
    ASSERT_LT(st + 1, w.codes.size());
    for (size_t k = i + 1; k < st; k++)
        EXPECT_EQ(w.codes[k].code, 0u);   // only alignment between them
    const VifCode& up = w.codes[st + 1];
    EXPECT_EQ(up.code, 0x6C080000u);   // 8 quadwords at absolute address 0
    ASSERT_EQ(up.data.size(), 32u);
    Matrix first = MatrixNo(7);
    EXPECT_EQ(std::memcmp(up.data.data(), &first, 64), 0);
}

TEST_F(RendererTest, LargeCopiedPaletteIsReservedInTheChainAndReferenced)
{
    static Matrix mats[70];
    for (int i = 0; i < 70; i++)
        mats[i] = MatrixNo(i);
    therenderer.SetMatrixPalette(mats, 70, true);
    mats[0] = MatrixNo(1000);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    const u32 lo = Addr(dmabuff[0]), hi = Addr(dmabuff[0] + RENDER_CHAIN_QWC);
    std::vector<chain::DmaTagSeen> refs;
    for (const auto& t : w.tags)
        if ((t.id & 0x70) == 0x30 && t.p0 == 0x01000404u && t.next >= lo && t.next < hi)
            refs.push_back(t);
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[0].qwc, 256);
    EXPECT_EQ(refs[1].qwc, 24);
    Matrix first = MatrixNo(0);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(uintptr_t(refs[0].next)), &first, 64), 0);
}

TEST_F(RendererTest, EmptyPaletteRestoresTheDefaultLayoutOnce)
{
    static Matrix mats[4];
    therenderer.SetMatrixPalette(mats, 4, false);
    const u32* from = therenderer.GetPtr();
    therenderer.SetMatrixPalette(nullptr, 0, false);
    const u32* again = therenderer.GetPtr();
    therenderer.SetMatrixPalette(nullptr, 0, false);
    EXPECT_EQ(therenderer.GetPtr(), again);
    chain::Walk w = Finish();
    auto cmds = Commands(w, from);
    ASSERT_GE(cmds.size(), 1u);
    EXPECT_EQ(cmds[0], (std::vector<u32>{432, 649, 0, u32(mc2SetBuffers) / 8}));
    size_t base = FirstAfter(w, from, 0x03);
    ASSERT_LT(base + 1, w.codes.size());
    EXPECT_EQ(w.codes[base].code, 0x03000000u);
    EXPECT_EQ(w.codes[base + 1].code, 0x020000D8u);
    EXPECT_EQ(therenderer.nmats, 0);
}

TEST_F(RendererTest, PaletteTooLargeForVectorUnitMemoryIsRefused)
{
    static Matrix mats[224];
    const u32* before = therenderer.GetPtr();
    therenderer.SetMatrixPalette(mats, 224, false);
    EXPECT_EQ(therenderer.GetPtr(), before);
    EXPECT_EQ(therenderer.nmats, 0);
}

// ----------------------------------------------------------------- textures

TEST_F(RendererTest, RequestTextureOfNullReturnsZeroAndChangesNothing)
{
    TestTexture a;
    therenderer.RequestTexture(&a.tex, TEXMODE_MODULATE);
    EXPECT_EQ(therenderer.RequestTexture(nullptr, TEXMODE_DECAL), 0u);
    EXPECT_EQ(therenderer.texture, &a.tex);
    EXPECT_EQ(a.tex.refcount, 1);
    therenderer.ClearTexture();
}

TEST_F(RendererTest, RequestingTheCurrentTextureKeepsItsCount)
{
    TestTexture a, b;
    u64 t0 = therenderer.RequestTexture(&a.tex, TEXMODE_DECAL);
    EXPECT_EQ(a.tex.refcount, 1);
    EXPECT_EQ((t0 >> 35) & 3, u64(TEXMODE_DECAL));
    EXPECT_EQ(t0 & ~(3ull << 35), a.tex.tex0);
    therenderer.RequestTexture(&a.tex, TEXMODE_MODULATE);
    EXPECT_EQ(a.tex.refcount, 1);

    therenderer.RequestTexture(&b.tex, TEXMODE_MODULATE);
    EXPECT_EQ(a.tex.refcount, 0);
    EXPECT_EQ(b.tex.refcount, 1);
    EXPECT_EQ(texman.NumLocked(), 1);   // a went back to the cache
    EXPECT_EQ(texman.NumCached(), 1);
    therenderer.ClearTexture();
    EXPECT_EQ(b.tex.refcount, 0);
}

namespace {

// The A+D registers of the last DIRECT block written after `from`, and that
// block's size in quadwords.
std::vector<chain::GifItem> LastDirectRegs(const chain::Walk& w, const u32* from, u32* qwc = nullptr)
{
    const VifCode* last = nullptr;
    for (const VifCode& c : w.codes)
        if (c.Cmd() == 0x50 && c.at >= from)
            last = &c;
    if (qwc)
        *qwc = last ? last->Imm() : 0;
    std::vector<u128> q;
    if (last) {
        for (size_t k = 0; k + 3 < last->data.size(); k += 4) {
            u128 v;
            std::memcpy(&v, &last->data[k], 16);
            q.push_back(v);
        }
    }
    return chain::DecodeGif(q);
}

}  // namespace

TEST_F(RendererTest, UseWritesASixQuadwordBlockWithoutMips)
{
    TestTexture a;
    const u32* from = therenderer.GetPtr();
    therenderer.Use(&a.tex, TEXMODE_MODULATE, 5, 0);
    u32 qwc = 0;
    auto regs = LastDirectRegs(Finish(), from, &qwc);
    EXPECT_EQ(qwc, 6u);   // the GIF tag and five register pairs
    ASSERT_EQ(regs.size(), 5u);
    EXPECT_EQ(regs[0].taglo & 0x7FFF, 5u);
    const u32 order[] = {GS_TEXFLUSH, GS_TEXA, GS_CLAMP_1, GS_TEX0_1, GS_TEX1_1};
    EXPECT_EQ(regs[0].reg, order[0]);
    EXPECT_EQ(regs[1].reg, order[1]);
    EXPECT_EQ(regs[1].value, 0x8000000000ull);
    EXPECT_EQ(regs[2].reg, order[2]);
    EXPECT_EQ(regs[2].value, 5u);
    EXPECT_EQ(regs[3].reg, order[3]);
    EXPECT_EQ(regs[3].value, a.tex.tex0);   // TFX MODULATE = 0
    EXPECT_EQ(regs[4].reg, order[4]);
    EXPECT_EQ(regs[4].value, 0x160u);
    EXPECT_EQ(therenderer.texture, &a.tex);
    therenderer.ClearTexture();
}

TEST_F(RendererTest, UseWritesAnEightQuadwordBlockWithMipsBasedOnTheTexture)
{
    TestTexture a(PSMCT32 | 0x200, 64, 64);   // two mip levels
    ASSERT_NE(a.tex.miptbp1, 0u);
    const u32* from = therenderer.GetPtr();
    // mipKL: MXL 2, L 1, K 3.
    therenderer.Use(&a.tex, TEXMODE_DECAL, 0, 2 | 8 | 3 << 4);
    u32 qwc = 0;
    auto regs = LastDirectRegs(Finish(), from, &qwc);
    EXPECT_EQ(qwc, 8u);
    ASSERT_EQ(regs.size(), 7u);
    EXPECT_EQ(regs[0].taglo & 0x7FFF, 7u);
    const u64 tbp = tex0::TBP0(a.tex.tex0);
    ASSERT_NE(tbp, 0u);
    EXPECT_EQ(regs[2].reg, u32(GS_MIPTBP1_1));
    EXPECT_EQ(regs[2].value, a.tex.miptbp1 + tbp + (tbp << 20) + (tbp << 40));
    EXPECT_EQ(regs[3].reg, u32(GS_MIPTBP2_1));
    EXPECT_EQ(regs[3].value, a.tex.miptbp2 + tbp + (tbp << 20) + (tbp << 40));
    EXPECT_EQ(regs[5].value, a.tex.tex0 | 1ull << 35);
    EXPECT_EQ(regs[6].reg, u32(GS_TEX1_1));
    EXPECT_EQ(regs[6].value, 2u << 2 | 0x160 | 1u << 19 | 3ull << 32);
    therenderer.ClearTexture();
}

TEST_F(RendererTest, UseClosesAnOpenCommandBlockBeforeItsFlush)
{
    TestTexture a;
    const u32* from = therenderer.GetPtr();
    therenderer.call(mc2SetBuffers, 432, 649, 0);
    therenderer.Use(&a.tex, TEXMODE_DECAL, 0, 0);
    EXPECT_EQ(therenderer.unpack, nullptr);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    size_t u = FirstAfter(w, from, 0x6C);
    ASSERT_LT(u + 2, w.codes.size());
    EXPECT_EQ(w.codes[u].Num(), 2u);   // the command and the end quadword only
    EXPECT_EQ(w.codes[u + 1].code, 0x14000000u);
    EXPECT_EQ(w.codes[u + 2].code, 0x11000000u);
    therenderer.ClearTexture();
}

TEST_F(RendererTest, TwentyFourBitTexturesGetFullAlphaFromTexa)
{
    TestTexture a(PSMCT24);
    const u32* from = therenderer.GetPtr();
    therenderer.Use(&a.tex, TEXMODE_MODULATE, 0, 0);
    auto regs = LastDirectRegs(Finish(), from);
    ASSERT_GE(regs.size(), 2u);
    EXPECT_EQ(regs[1].value, 0x8000000080ull);
    therenderer.ClearTexture();
}

// ----------------------------------------------------------- Bezier patches

TEST(RendererBezier, BlendsMatchTheBernsteinPolynomials)
{
    const int n = 5;
    Vector B[2 * n];
    CalcBezierBlends(B, n);
    for (int i = 0; i < n; i++) {
        const float u = float(i) / (n - 1), s = 1 - u;
        const float w[4] = {s * s * s, 3 * u * s * s, 3 * u * u * s, u * u * u};
        const float d[4] = {-3 * s * s, 3 * s * s - 6 * u * s, 6 * u * s - 3 * u * u, 3 * u * u};
        for (int k = 0; k < 4; k++) {
            EXPECT_NEAR(B[i][k], w[k], 1e-5f) << "weight " << k << " at " << i;
            EXPECT_NEAR(B[n + i][k], d[k], 1e-4f) << "derivative " << k << " at " << i;
        }
    }
    EXPECT_EQ(B[n - 1], Vector(0, 0, 0, 1));
    EXPECT_EQ(B[2 * n - 1], Vector(0, 0, -3, 3));
    EXPECT_EQ(B[0], Vector(1, 0, 0, 0));
}

TEST_F(RendererTest, PatchesAlternateSlotsWhileTheMicrocodeRuns)
{
    static BezierPatch patches[3];
    const u32* from = therenderer.GetPtr();
    therenderer.SendBezierPatches(patches, 3, 6);
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;

    size_t blends = FirstAfter(w, from, 0x6C);
    ASSERT_LT(blends, w.codes.size());
    EXPECT_EQ(w.codes[blends].code, 0x6C0C0000u);   // 12 quadwords at absolute 0
    EXPECT_EQ(w.codes[blends - 2].code, 0x11000000u);

    std::vector<chain::DmaTagSeen> refs;
    for (const auto& t : w.tags)
        if (t.next >= Addr(patches) && t.next < Addr(patches + 3))
            refs.push_back(t);
    ASSERT_EQ(refs.size(), 3u);
    EXPECT_EQ(refs[0].p0, 0x04000006u);   // ITOP 6
    EXPECT_EQ(refs[0].p1, 0x6C100040u);
    EXPECT_EQ(refs[1].p0, 0x14000000u | mc2BezierPatch / 8);
    EXPECT_EQ(refs[1].p1, 0x6C100050u);
    EXPECT_EQ(refs[2].p0, 0x17000000u);
    EXPECT_EQ(refs[2].p1, 0x6C100040u);
    for (const auto& t : refs)
        EXPECT_EQ(t.qwc, 16);
    // The last patch is processed by one more MSCNT after its unpack.
    bool tail = false;
    for (size_t i = 0; i + 1 < w.codes.size(); i++)
        if (w.codes[i].code == 0x6C100040u && w.codes[i].at == &static_cast<const u32*>(refs[2].at)[3])
            tail = w.codes[i + 1].code == 0x17000000u;
    EXPECT_TRUE(tail);
}

TEST_F(RendererTest, OnePatchIsStartedByMscalAfterItsUnpack)
{
    static BezierPatch patch[1];
    therenderer.SendBezierPatches(patch, 1, 4);
    chain::Walk w = Finish();
    for (size_t i = 0; i + 1 < w.codes.size(); i++) {
        if (w.codes[i].code == 0x6C100040u) {
            EXPECT_EQ(w.codes[i + 1].code, 0x14000000u | mc2BezierPatch / 8);
            return;
        }
    }
    ADD_FAILURE() << "patch unpack not found";
}

// ------------------------------------------------------------ frame limits

TEST_F(RendererTest, EndSceneClosesTheChainAndMarksItReady)
{
    chain::Walk w = Finish();
    ASSERT_TRUE(w.ended) << w.error;
    EXPECT_EQ(therenderer.vifdraw, therenderer.vifstart);
    EXPECT_EQ(w.tags.back().id & 0x70, 0x70);
    // The frame's last request slot reports the end of drawing.
    bool mark = false;
    for (size_t i = 0; i + 2 < w.codes.size(); i++)
        if (w.codes[i].code == 0x0700FFFFu)
            mark = w.codes[i + 2].code == 0x80000000u;
    EXPECT_TRUE(mark);
}

TEST_F(RendererTest, FullChainStopsAppendingAndReportsOncePerFrame)
{
    static u_long128 small[600];
    ResetRenderer();
    therenderer.BeginScene(small, gifbuff[0], true, 600);
    console::ClearConsoleText();
    const u32 frames = therenderer.nFullFrames;
    static u64 data[2 * 40];
    for (int i = 0; i < 40; i++)
        therenderer.SetGlobals(900, 40, data);
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(10).v, PixelY(10).v, Colour(1, 2, 3, 4), 0);
    r2d.Close(therenderer);
    therenderer.EndScene();

    EXPECT_TRUE(therenderer.bFull);
    EXPECT_EQ(therenderer.nFullFrames, frames + 1);
    EXPECT_LE(therenderer.GetPtr(), reinterpret_cast<u32*>(small + 600));
    const std::string text = console::ConsoleText();
    const std::string line = "Renderer: frame chain full";
    ASSERT_NE(text.find(line), std::string::npos);
    EXPECT_EQ(text.find(line, text.find(line) + 1), std::string::npos);

    // The truncated frame is still a well-formed chain with its end slot.
    chain::Walk w = chain::WalkVif(small);
    ASSERT_TRUE(w.ended) << w.error;
    EXPECT_FALSE(chain::Codes(w, 0x07).empty());

    // The next frame starts with room again.
    therenderer.BeginScene(dmabuff[0], gifbuff[0], false);
    EXPECT_FALSE(therenderer.bFull);
    EXPECT_TRUE(therenderer.AllowFor(100));
}
