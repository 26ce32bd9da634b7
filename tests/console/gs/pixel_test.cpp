// The pixel pipeline, one rule at a time.  Every expected value is computed
// here from the GS's published per-pixel formulas, not taken from the
// stand-in's output.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "console/gs/gs_draw_support.h"
#include "gs/gs.h"

using namespace gstest;
using console::gs::Psm;
using console::gs::ResetGs;
using console::gs::Vram;

namespace {

constexpr u32 kCT32 = 0x00, kCT24 = 0x01, kCT16 = 0x02, kCT16S = 0x0A;
constexpr u32 kFbw = 4;      // 256 pixels across
constexpr u32 kZPage = 64;   // Z buffer well away from the frame buffer
constexpr u32 kZBlock = kZPage * 32;

struct Rgba8 {
    int r, g, b, a;
};

u32 Pack(int r, int g, int b, int a)
{
    return static_cast<u32>(r & 0xFF) | (static_cast<u32>(g & 0xFF) << 8) | (static_cast<u32>(b & 0xFF) << 16) |
           (static_cast<u32>(a & 0xFF) << 24);
}

Rgba8 Unpack(u32 v)
{
    return {static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF),
            static_cast<int>(v >> 24)};
}

// 5:5:5:1 from 8-bit channels, truncating.
u32 Pack16(int r, int g, int b, int a)
{
    return static_cast<u32>((r >> 3) | ((g >> 3) << 5) | ((b >> 3) << 10) | ((a >> 7) << 15));
}

u32 Frame32(u32 x, u32 y)
{
    return Vram().ReadPixel(Psm::kCT32, 0, kFbw, x, y);
}

void SetFrame32(u32 x, u32 y, u32 value)
{
    Vram().WritePixel(Psm::kCT32, 0, kFbw, x, y, value);
}

void Start(u32 psm = kCT32)
{
    ResetGs(true);
    SetUpContext(0, 0, kFbw, psm);
}

PrimBits Blended()
{
    PrimBits p;
    p.abe = true;
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// Blending: per channel ((A - B) x C >> 7) + D.

TEST(GsBlend, HalfAlphaAveragesSourceAndDest)
{
    Start();
    for (u32 y = 0; y < 16; ++y)
        for (u32 x = 0; x < 256; ++x)
            SetFrame32(x, y, Pack(x, 255 - x, (x * 7) & 255, 0x80));
    Write(GsReg::ALPHA_1, Alpha(0, 1, 0, 1));  // (Cs - Cd) x As >> 7 + Cd
    for (u32 y = 0; y < 16; ++y)
        FlatSprite(0, y, 256, y + 1, Rgbaq(y * 17, 255 - y * 13, y * 5, 0x40), 0, Blended());

    for (u32 y = 0; y < 16; ++y)
        for (u32 x = 0; x < 256; ++x) {
            const Rgba8 cs{static_cast<int>(y * 17), static_cast<int>(255 - y * 13), static_cast<int>(y * 5), 0x40};
            const Rgba8 cd{static_cast<int>(x), static_cast<int>(255 - x), static_cast<int>((x * 7) & 255), 0x80};
            const Rgba8 got = Unpack(Frame32(x, y));
            ASSERT_EQ(got.r, (cs.r + cd.r) / 2) << x << "," << y;
            ASSERT_EQ(got.g, (cs.g + cd.g) / 2) << x << "," << y;
            ASSERT_EQ(got.b, (cs.b + cd.b) / 2) << x << "," << y;
            ASSERT_EQ(got.a, 0x40) << "alpha is not blended";
        }
}

TEST(GsBlend, EverySelectorCombinationFollowsTheFormula)
{
    Start();
    const Rgba8 dests[] = {{10, 200, 255, 0x00}, {128, 64, 0, 0x40}, {255, 255, 255, 0x80}, {0, 1, 2, 0xFF}};
    const Rgba8 cs{200, 30, 128, 0x60};
    const int fix = 0x50;
    Write(GsReg::COLCLAMP, 1);
    u32 row = 0;
    for (u32 a = 0; a < 3; ++a)
        for (u32 b = 0; b < 3; ++b)
            for (u32 c = 0; c < 3; ++c)
                for (u32 d = 0; d < 3; ++d, ++row) {
                    for (u32 i = 0; i < 4; ++i)
                        SetFrame32(i, row, Pack(dests[i].r, dests[i].g, dests[i].b, dests[i].a));
                    Write(GsReg::ALPHA_1, Alpha(a, b, c, d, fix));
                    FlatSprite(0, row, 4, row + 1, Rgbaq(cs.r, cs.g, cs.b, cs.a), 0, Blended());
                    for (u32 i = 0; i < 4; ++i) {
                        const Rgba8 cd = dests[i];
                        const int factor = c == 0 ? cs.a : c == 1 ? cd.a : fix;
                        auto pick = [](u32 s, int src, int dst) { return s == 0 ? src : s == 1 ? dst : 0; };
                        auto expect = [&](int src, int dst) {
                            const int v = (((pick(a, src, dst) - pick(b, src, dst)) * factor) >> 7) + pick(d, src, dst);
                            return std::clamp(v, 0, 255);
                        };
                        const Rgba8 got = Unpack(Frame32(i, row));
                        ASSERT_EQ(got.r, expect(cs.r, cd.r)) << "A" << a << " B" << b << " C" << c << " D" << d;
                        ASSERT_EQ(got.g, expect(cs.g, cd.g)) << "A" << a << " B" << b << " C" << c << " D" << d;
                        ASSERT_EQ(got.b, expect(cs.b, cd.b)) << "A" << a << " B" << b << " C" << c << " D" << d;
                        ASSERT_EQ(got.a, cs.a);
                    }
                }
}

TEST(GsBlend, PabeBlendsOnlySourcesWithAlphaMsbSet)
{
    Start();
    Write(GsReg::PABE, 1);
    Write(GsReg::ALPHA_1, Alpha(0, 1, 2, 1, 0x40));  // halfway with FIX 0x40
    for (u32 x = 0; x < 2; ++x)
        SetFrame32(x, 0, Pack(100, 100, 100, 0));
    FlatSprite(0, 0, 1, 1, Rgbaq(200, 0, 50, 0x7F), 0, Blended());
    FlatSprite(1, 0, 2, 1, Rgbaq(200, 0, 50, 0x80), 0, Blended());
    EXPECT_EQ(Frame32(0, 0), Pack(200, 0, 50, 0x7F)) << "alpha below 0x80: written unblended";
    EXPECT_EQ(Frame32(1, 0), Pack(150, 50, 75, 0x80));
}

TEST(GsBlend, ColclampSaturatesOrKeepsTheLowEightBits)
{
    Start();
    Write(GsReg::ALPHA_1, Alpha(0, 2, 2, 1, 0x80));  // Cs + Cd
    for (u32 clamp = 0; clamp < 2; ++clamp) {
        SetFrame32(clamp, 0, Pack(100, 100, 255, 0));
        Write(GsReg::COLCLAMP, clamp);
        FlatSprite(clamp, 0, clamp + 1, 1, Rgbaq(200, 100, 3, 0x20), 0, Blended());
    }
    EXPECT_EQ(Frame32(0, 0), Pack((200 + 100) & 0xFF, 200, (3 + 255) & 0xFF, 0x20));
    EXPECT_EQ(Frame32(1, 0), Pack(255, 200, 255, 0x20));
}

TEST(GsBlend, SixteenBitDestinationIsWidenedBeforeBlending)
{
    Start(kCT16);
    const u32 dests[] = {0x801F, 0x7C00, 0x03E0 | 0x8000, 0x1234};
    for (u32 i = 0; i < 4; ++i)
        Vram().WritePixel(Psm::kCT16, 0, kFbw, i, 0, dests[i]);
    Write(GsReg::COLCLAMP, 1);
    Write(GsReg::ALPHA_1, Alpha(0, 2, 1, 1));  // Cs x Ad >> 7 + Cd
    FlatSprite(0, 0, 4, 1, Rgbaq(64, 32, 16, 0x80), 0, Blended());
    for (u32 i = 0; i < 4; ++i) {
        const u32 p = dests[i];
        const int ad = (p & 0x8000) ? 0x80 : 0;
        const int r = std::min(255, ((64 * ad) >> 7) + static_cast<int>((p & 0x1F) << 3));
        const int g = std::min(255, ((32 * ad) >> 7) + static_cast<int>(((p >> 5) & 0x1F) << 3));
        const int b = std::min(255, ((16 * ad) >> 7) + static_cast<int>(((p >> 10) & 0x1F) << 3));
        EXPECT_EQ(Vram().ReadPixel(Psm::kCT16, 0, kFbw, i, 0), Pack16(r, g, b, 0x80)) << i;
    }
}

TEST(GsBlend, TwentyFourBitDestinationReadsAlphaAsOne)
{
    Start(kCT24);
    SetFrame32(0, 0, 0xAA000000u | Pack(0, 0, 0, 0));
    Write(GsReg::ALPHA_1, Alpha(0, 2, 1, 2));  // Cs x Ad >> 7
    FlatSprite(0, 0, 1, 1, Rgbaq(90, 60, 30, 0x10), 0, Blended());
    EXPECT_EQ(Frame32(0, 0), 0xAA000000u | Pack(90, 60, 30, 0)) << "Ad = 0x80, top byte kept";
}

// ---------------------------------------------------------------------------
// Depth test and write.

namespace {

void UseDepth(u32 zpsm, u32 ztst, bool zmsk = false)
{
    Write(GsReg::ZBUF_1, Zbuf(kZPage, zpsm, zmsk));
    TestBits t;
    t.zte = true;
    t.ztst = ztst;
    Write(GsReg::TEST_1, TestReg(t));
}

u32 DepthAt(Psm psm, u32 x, u32 y)
{
    return Vram().ReadPixel(psm, kZBlock, kFbw, x, y);
}

constexpr u32 kNever = 0, kAlways = 1, kGequal = 2, kGreater = 3;

}  // namespace

TEST(GsDepth, GequalKeepsTheNearer)
{
    Start();
    UseDepth(0x31, kGequal);
    const u64 red = Rgbaq(255, 0, 0, 0x80), green = Rgbaq(0, 255, 0, 0x80), blue = Rgbaq(0, 0, 255, 0x80);
    // Near first, then far: the far one is hidden.
    FlatSprite(0, 0, 8, 8, red, 1000);
    FlatSprite(0, 0, 8, 8, green, 500);
    // Far first, then near: the near one covers it.
    FlatSprite(8, 0, 16, 8, green, 500);
    FlatSprite(8, 0, 16, 8, red, 1000);
    for (u32 x = 0; x < 16; ++x) {
        EXPECT_EQ(Frame32(x, 3), Pack(255, 0, 0, 0x80)) << x;
        EXPECT_EQ(DepthAt(Psm::kZ24, x, 3), 1000u) << x;
    }
    // Equal depth passes GEQUAL.
    FlatSprite(0, 0, 4, 4, blue, 1000);
    EXPECT_EQ(Frame32(1, 1), Pack(0, 0, 255, 0x80));
}

TEST(GsDepth, GreaterRejectsEqualDepthAndNeverRejectsAll)
{
    Start();
    UseDepth(0x30, kAlways);
    FlatSprite(0, 0, 4, 1, Rgbaq(1, 1, 1, 0), 700);
    UseDepth(0x30, kGreater);
    FlatSprite(0, 0, 2, 1, Rgbaq(2, 2, 2, 0), 700);
    FlatSprite(2, 0, 4, 1, Rgbaq(3, 3, 3, 0), 701);
    EXPECT_EQ(Frame32(0, 0), Pack(1, 1, 1, 0));
    EXPECT_EQ(Frame32(3, 0), Pack(3, 3, 3, 0));
    EXPECT_EQ(DepthAt(Psm::kZ32, 3, 0), 701u);
    UseDepth(0x30, kNever);
    FlatSprite(0, 0, 4, 1, Rgbaq(9, 9, 9, 0), 0xFFFFFFFF);
    EXPECT_EQ(Frame32(0, 0), Pack(1, 1, 1, 0));
    EXPECT_EQ(DepthAt(Psm::kZ32, 0, 0), 700u);
}

TEST(GsDepth, EveryFormatClampsToItsRangeAndCompares)
{
    struct Case {
        u32 code;
        Psm psm;
        u32 max;
    };
    const Case cases[] = {{0x30, Psm::kZ32, 0xFFFFFFFFu},
                          {0x31, Psm::kZ24, 0xFFFFFFu},
                          {0x32, Psm::kZ16, 0xFFFFu},
                          {0x3A, Psm::kZ16S, 0xFFFFu}};
    const u32 z = 0x01234567;
    for (const Case& c : cases) {
        Start();
        // The top byte of a Z24 location belongs to whatever else lives there.
        Vram().WritePixel(Psm::kZ32, kZBlock, kFbw, 0, 0, 0xAB000000u);
        UseDepth(c.code, kAlways);
        FlatSprite(0, 0, 2, 1, Rgbaq(1, 1, 1, 1), z);
        EXPECT_EQ(DepthAt(c.psm, 0, 0), std::min(z, c.max)) << console::gs::PsmName(c.psm);
        if (c.psm == Psm::kZ24) {
            EXPECT_EQ(DepthAt(Psm::kZ32, 0, 0) >> 24, 0xABu);
        }
        // A larger Z clamps to the same stored maximum, so GREATER rejects it
        // and GEQUAL passes it (Z32 has no larger Z: the same Z is used).
        const u32 z2 = c.max == 0xFFFFFFFFu ? z : z + 1;
        UseDepth(c.code, kGreater);
        FlatSprite(0, 0, 1, 1, Rgbaq(2, 2, 2, 2), z2);
        EXPECT_EQ(Frame32(0, 0), Pack(1, 1, 1, 1)) << console::gs::PsmName(c.psm);
        UseDepth(c.code, kGequal);
        FlatSprite(1, 0, 2, 1, Rgbaq(3, 3, 3, 3), z2);
        EXPECT_EQ(Frame32(1, 0), Pack(3, 3, 3, 3)) << console::gs::PsmName(c.psm);
    }
}

TEST(GsDepth, ZmskTestsButNeverWrites)
{
    Start();
    UseDepth(0x31, kAlways);
    FlatSprite(0, 0, 2, 1, Rgbaq(1, 1, 1, 1), 300);
    UseDepth(0x31, kGequal, true);
    FlatSprite(0, 0, 1, 1, Rgbaq(2, 2, 2, 2), 200);
    FlatSprite(1, 0, 2, 1, Rgbaq(3, 3, 3, 3), 400);
    EXPECT_EQ(Frame32(0, 0), Pack(1, 1, 1, 1));
    EXPECT_EQ(Frame32(1, 0), Pack(3, 3, 3, 3));
    EXPECT_EQ(DepthAt(Psm::kZ24, 1, 0), 300u);
}

// ---------------------------------------------------------------------------
// Alpha test and its fail actions, destination alpha test.

TEST(GsAlphaTest, NeverWithFbOnlyWritesColourButNotZ)
{
    Start();
    Write(GsReg::ZBUF_1, Zbuf(kZPage, 0x31));
    // The stencil pass's TEST: ATE, ATST NEVER, AFAIL FB_ONLY, ZTE, ZTST GEQUAL.
    Write(GsReg::TEST_1, 0x51001);
    Vram().WritePixel(Psm::kZ24, kZBlock, kFbw, 1, 0, 200);
    FlatSprite(0, 0, 2, 1, Rgbaq(10, 20, 30, 0x40), 100);
    EXPECT_EQ(Frame32(0, 0), Pack(10, 20, 30, 0x40));
    EXPECT_EQ(DepthAt(Psm::kZ24, 0, 0), 0u) << "Z not written";
    EXPECT_EQ(Frame32(1, 0), 0u) << "the depth test still applies";
    EXPECT_EQ(DepthAt(Psm::kZ24, 1, 0), 200u);
}

TEST(GsAlphaTest, EachFailActionWritesWhatItNames)
{
    const u32 old_colour = Pack(1, 2, 3, 0x11), old_z = 5, new_z = 77;
    const u64 colour = Rgbaq(200, 150, 100, 0x77);
    struct Case {
        u32 afail;
        u32 frame;
        u32 z;
    };
    const Case cases[] = {
        {0, old_colour, old_z},                        // KEEP
        {1, Pack(200, 150, 100, 0x77), old_z},         // FB_ONLY
        {2, old_colour, new_z},                        // ZB_ONLY
        {3, Pack(200, 150, 100, 0x11), old_z},         // RGB_ONLY
    };
    for (const Case& c : cases) {
        Start();
        Write(GsReg::ZBUF_1, Zbuf(kZPage, 0x30));
        SetFrame32(0, 0, old_colour);
        Vram().WritePixel(Psm::kZ32, kZBlock, kFbw, 0, 0, old_z);
        TestBits t;
        t.ate = true;
        t.atst = 0;  // NEVER
        t.afail = c.afail;
        t.zte = true;
        t.ztst = kAlways;
        Write(GsReg::TEST_1, TestReg(t));
        FlatSprite(0, 0, 1, 1, colour, new_z);
        EXPECT_EQ(Frame32(0, 0), c.frame) << "AFAIL " << c.afail;
        EXPECT_EQ(DepthAt(Psm::kZ32, 0, 0), c.z) << "AFAIL " << c.afail;
    }
}

TEST(GsAlphaTest, ComparisonsFollowTheirMethod)
{
    Start();
    const int aref = 0x40;
    const int alphas[] = {0x3F, 0x40, 0x41};
    for (u32 method = 0; method < 8; ++method) {
        TestBits t;
        t.ate = true;
        t.atst = method;
        t.aref = aref;
        t.afail = 0;
        Write(GsReg::TEST_1, TestReg(t));
        for (u32 i = 0; i < 3; ++i) {
            const int a = alphas[i];
            FlatSprite(i, method, i + 1, method + 1, Rgbaq(9, 9, 9, a));
            const bool pass[] = {false, true, a < aref, a <= aref, a == aref, a >= aref, a > aref, a != aref};
            EXPECT_EQ(Frame32(i, method) != 0, pass[method]) << "ATST " << method << " alpha " << a;
        }
    }
}

TEST(GsAlphaTest, DestinationAlphaTestSelectsByTheAlphaBit)
{
    for (u32 datm = 0; datm < 2; ++datm) {
        Start();
        SetFrame32(0, 0, Pack(0, 0, 0, 0x7F));
        SetFrame32(1, 0, Pack(0, 0, 0, 0x80));
        TestBits t;
        t.date = true;
        t.datm = datm;
        Write(GsReg::TEST_1, TestReg(t));
        FlatSprite(0, 0, 2, 1, Rgbaq(5, 5, 5, 5));
        EXPECT_EQ(Frame32(0, 0) == Pack(5, 5, 5, 5), datm == 0);
        EXPECT_EQ(Frame32(1, 0) == Pack(5, 5, 5, 5), datm == 1);
    }
    // On a 16-bit target the alpha bit is bit 15.
    Start(kCT16S);
    Vram().WritePixel(Psm::kCT16S, 0, kFbw, 0, 0, 0x0000);
    Vram().WritePixel(Psm::kCT16S, 0, kFbw, 1, 0, 0x8000);
    TestBits t;
    t.date = true;
    t.datm = 1;
    Write(GsReg::TEST_1, TestReg(t));
    FlatSprite(0, 0, 2, 1, Rgbaq(0xF8, 0, 0, 0));
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT16S, 0, kFbw, 0, 0), 0x0000u);
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT16S, 0, kFbw, 1, 0), 0x001Fu);
}

// ---------------------------------------------------------------------------
// FBMSK, FBA.

TEST(GsFrameMask, Mask808080On16BitTargetKeepsOnlyEachChannelsTopBit)
{
    Start(kCT16S);
    Write(GsReg::FRAME_1, Frame(0, kFbw, kCT16S, 0x808080));
    std::mt19937 rng(7);
    u32 old[4][64];
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 64; ++x) {
            old[y][x] = rng() & 0xFFFF;
            Vram().WritePixel(Psm::kCT16S, 0, kFbw, x, y, old[y][x]);
        }
    const Rgba8 colours[] = {{0xFF, 0x00, 0x88, 0x80}, {0x00, 0xFF, 0x7F, 0x00}, {0x78, 0x87, 0x08, 0xFF},
                             {0x10, 0xE0, 0xF8, 0x7F}};
    for (u32 y = 0; y < 4; ++y)
        FlatSprite(0, y, 64, y + 1, Rgbaq(colours[y].r, colours[y].g, colours[y].b, colours[y].a));
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 64; ++x) {
            const Rgba8 c = colours[y];
            const u32 o = old[y][x];
            // Each 5-bit channel: its top bit from the old pixel, the rest new;
            // the alpha bit is not masked.
            const u32 r = (o & 0x10) | ((c.r >> 3) & 0xF);
            const u32 g = ((o >> 5) & 0x10) | ((c.g >> 3) & 0xF);
            const u32 b = ((o >> 10) & 0x10) | ((c.b >> 3) & 0xF);
            const u32 expected = r | (g << 5) | (b << 10) | ((c.a >> 7) << 15);
            ASSERT_EQ(Vram().ReadPixel(Psm::kCT16S, 0, kFbw, x, y), expected) << x << "," << y;
        }
}

TEST(GsFrameMask, Mask3FFFOn16BitTargetWritesOnlyTheHighByte)
{
    Start(kCT16);
    Write(GsReg::FRAME_1, Frame(0, kFbw, kCT16, 0x3FFF));
    for (u32 x = 0; x < 8; ++x)
        Vram().WritePixel(Psm::kCT16, 0, kFbw, x, 0, 0x5A5A + x * 0x1111);
    FlatSprite(0, 0, 8, 1, Rgbaq(0xC8, 0x98, 0x68, 0x80));
    const u32 drawn = Pack16(0xC8, 0x98, 0x68, 0x80);
    for (u32 x = 0; x < 8; ++x) {
        const u32 old = (0x5A5A + x * 0x1111) & 0xFFFF;
        EXPECT_EQ(Vram().ReadPixel(Psm::kCT16, 0, kFbw, x, 0), (old & 0x00FF) | (drawn & 0xFF00)) << x;
    }
}

TEST(GsFrameMask, MaskOn32BitTargetKeepsTheMaskedBits)
{
    Start();
    const u32 mask = 0xFF00F00F;
    Write(GsReg::FRAME_1, Frame(0, kFbw, kCT32, mask));
    SetFrame32(0, 0, 0x12345678);
    FlatSprite(0, 0, 1, 1, Rgbaq(0xAB, 0xCD, 0xEF, 0x42));
    EXPECT_EQ(Frame32(0, 0), (Pack(0xAB, 0xCD, 0xEF, 0x42) & ~mask) | (0x12345678u & mask));
}

TEST(GsFba, ForcesTheAlphaMsbOnWrite)
{
    Start();
    Write(GsReg::FBA_1, 1);
    FlatSprite(0, 0, 1, 1, Rgbaq(1, 2, 3, 0x10));
    EXPECT_EQ(Frame32(0, 0), Pack(1, 2, 3, 0x90));
    Start(kCT16);
    Write(GsReg::FBA_1, 1);
    FlatSprite(0, 0, 1, 1, Rgbaq(0xF8, 0, 0, 0));
    EXPECT_EQ(Vram().ReadPixel(Psm::kCT16, 0, kFbw, 0, 0), 0x801Fu);
}

// ---------------------------------------------------------------------------
// Dithering.

namespace {

// An ordered dither matrix as DIMX takes it: 3-bit two's complement entries,
// row y at bits 16y, column x at 4x within the row.
constexpr int kDither[4][4] = {{-4, 2, -3, 3}, {0, -2, 1, -1}, {-3, 3, -4, 2}, {1, -1, 0, -2}};

u64 DimxOf(const int (&m)[4][4])
{
    u64 v = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            v |= static_cast<u64>(m[y][x] & 7) << (y * 16 + x * 4);
    return v;
}

// A 64 x 64 CT32 texture at block 0x1000 filled from `rng`; returns texels.
std::vector<u32> RandomTexture(std::mt19937& rng)
{
    std::vector<u32> texels(64 * 64);
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 64; ++x) {
            texels[y * 64 + x] = rng();
            Vram().WritePixel(Psm::kCT32, 0x1000, 1, x, y, texels[y * 64 + x]);
        }
    return texels;
}

// A 1:1 copy of that texture to pixels (0, 0)-(64, 64): texel centres at +8.
void CopySprite()
{
    Tex0Bits tex;
    tex.tbp = 0x1000;
    tex.tbw = 1;
    tex.psm = kCT32;
    tex.tw = tex.th = 6;
    tex.tfx = 1;  // decal
    tex.tcc = true;
    Write(GsReg::TEX0_1, Tex0(tex));
    Write(GsReg::TEX1_1, Tex1(false, 0));
    Write(GsReg::CLAMP_1, Clamp(1, 1));
    PrimBits p;
    p.tme = true;
    Write(GsReg::PRIM, Prim(p));
    Write(GsReg::RGBAQ, Rgbaq(0x80, 0x80, 0x80, 0x80));
    Write(GsReg::UV, Uv(8, 8));
    Write(GsReg::XYZ2, Xyz(0, 0, 0));
    Write(GsReg::UV, Uv(64 * 16 + 8, 64 * 16 + 8));
    Write(GsReg::XYZ2, Xyz(64 * 16, 64 * 16, 0));
}

}  // namespace

TEST(GsDither, Ct32ToCt16sCopyMatchesTheFormula)
{
    Start(kCT16S);
    std::mt19937 rng(11);
    const std::vector<u32> texels = RandomTexture(rng);
    Write(GsReg::DTHE, 1);
    Write(GsReg::DIMX, DimxOf(kDither));
    Write(GsReg::COLCLAMP, 1);
    CopySprite();
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 64; ++x) {
            const Rgba8 t = Unpack(texels[y * 64 + x]);
            const int dm = kDither[y & 3][x & 3];
            auto ch = [&](int v) { return static_cast<u32>(std::clamp(v + dm, 0, 255) >> 3); };
            const u32 expected = ch(t.r) | (ch(t.g) << 5) | (ch(t.b) << 10) | (static_cast<u32>(t.a >> 7) << 15);
            ASSERT_EQ(Vram().ReadPixel(Psm::kCT16S, 0, kFbw, x, y), expected) << x << "," << y;
        }
}

TEST(GsDither, ThirtyTwoBitTargetsAreNotDithered)
{
    Start();
    std::mt19937 rng(12);
    const std::vector<u32> texels = RandomTexture(rng);
    Write(GsReg::DTHE, 1);
    Write(GsReg::DIMX, DimxOf(kDither));
    CopySprite();
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 64; ++x)
            ASSERT_EQ(Frame32(x, y), texels[y * 64 + x]) << x << "," << y;
}
