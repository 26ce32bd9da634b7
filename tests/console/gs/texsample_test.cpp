// The texture sampler and the CLUT buffer: texel expansion with TEXA, wrap
// modes, palettes in the GS's storage order, and when the CLUT buffer loads.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/gs/gs_draw_support.h"
#include "gs/drawthreads.h"
#include "gs/gs.h"
#include "gs/texsample.h"

using namespace gstest;
using console::gs::Psm;
using console::gs::ResetGs;
using console::gs::Vram;

namespace {

constexpr u32 kCT32 = 0x00, kCT24 = 0x01, kCT16 = 0x02, kT8 = 0x13, kT4 = 0x14;
constexpr u32 kFbw = 4;
constexpr u32 kTexBlock = 0x1000;
constexpr u32 kClutBlock = 0x2000;

u32 Pack(u32 r, u32 g, u32 b, u32 a)
{
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16) | ((a & 0xFF) << 24);
}

u32 Pixel(u32 x, u32 y)
{
    return Vram().ReadPixel(Psm::kCT32, 0, kFbw, x, y);
}

void Start()
{
    ResetGs(true);
    SetUpContext(0, 0, kFbw, kCT32);
    Write(GsReg::CLAMP_1, Clamp(0, 0));
}

Tex0Bits Texture(u32 psm, u32 tw, u32 th)
{
    Tex0Bits t;
    t.tbp = kTexBlock;
    t.tbw = 2;
    t.psm = psm;
    t.tw = tw;
    t.th = th;
    t.tfx = 1;  // decal
    t.tcc = true;
    t.cbp = kClutBlock;
    return t;
}

// Draws texels (0, 0)-(w, h) 1:1 at pixels (0, y0).
void Copy(u32 w, u32 h, u32 y0 = 0)
{
    PrimBits p;
    p.tme = true;
    Write(GsReg::PRIM, Prim(p));
    Write(GsReg::RGBAQ, Rgbaq(0x80, 0x80, 0x80, 0x80));
    Write(GsReg::UV, Uv(8, 8));
    Write(GsReg::XYZ2, Xyz(0, y0 * 16, 0));
    Write(GsReg::UV, Uv(w * 16 + 8, h * 16 + 8));
    Write(GsReg::XYZ2, Xyz(w * 16, (y0 + h) * 16, 0));
}

// A 256-entry CT32 palette stored the way the game stores it: a 16 x 16
// image whose row-major position j holds entry i, j being i with bits 3 and
// 4 exchanged.
void StorePalette256(u32 cbp, const std::vector<u32>& palette)
{
    for (u32 i = 0; i < 256; ++i) {
        const u32 j = (i & ~0x18u) | ((i & 0x08) << 1) | ((i & 0x10) >> 1);
        Vram().WritePixel(Psm::kCT32, cbp, 1, j & 15, j >> 4, palette[i]);
    }
}

// A 16-entry palette as an 8 x 2 image, row-major.
void StorePalette16(u32 cbp, Psm psm, const std::vector<u32>& palette)
{
    for (u32 i = 0; i < 16; ++i)
        Vram().WritePixel(psm, cbp, 1, i & 7, i >> 3, palette[i]);
}

}  // namespace

TEST(GsTexture, SixteenBitTexelsExpandWithTexa)
{
    Start();
    const u32 texels[] = {0x801F, 0x03E0, 0x0000, 0x8000, 0x7C00};
    for (u32 x = 0; x < 5; ++x)
        Vram().WritePixel(Psm::kCT16, kTexBlock, 2, x, 0, texels[x]);
    for (bool aem : {false, true}) {
        Write(GsReg::TEXA, Texa(0x30, aem, 0xC0));
        Write(GsReg::TEX0_1, Tex0(Texture(kCT16, 3, 3)));
        Copy(5, 1);
        EXPECT_EQ(Pixel(0, 0), Pack(0xF8, 0, 0, 0xC0));
        EXPECT_EQ(Pixel(1, 0), Pack(0, 0xF8, 0, 0x30));
        EXPECT_EQ(Pixel(2, 0), Pack(0, 0, 0, aem ? 0 : 0x30)) << "black without the alpha bit";
        EXPECT_EQ(Pixel(3, 0), Pack(0, 0, 0, 0xC0)) << "black with the alpha bit keeps TA1";
        EXPECT_EQ(Pixel(4, 0), Pack(0, 0, 0xF8, 0x30));
    }
}

TEST(GsTexture, TwentyFourBitTexelsTakeTa0)
{
    Start();
    Vram().WritePixel(Psm::kCT32, kTexBlock, 2, 0, 0, 0x11223344);
    Vram().WritePixel(Psm::kCT32, kTexBlock, 2, 1, 0, 0xFF000000);
    for (bool aem : {false, true}) {
        Write(GsReg::TEXA, Texa(0x55, aem, 0xAA));
        Write(GsReg::TEX0_1, Tex0(Texture(kCT24, 3, 3)));
        Copy(2, 1);
        EXPECT_EQ(Pixel(0, 0), 0x55223344u) << "stored top byte ignored";
        EXPECT_EQ(Pixel(1, 0), aem ? 0u : 0x55000000u);
    }
}

TEST(GsTexture, EightBitPaletteIsReadInStorageOrder)
{
    Start();
    std::vector<u32> palette(256);
    for (u32 i = 0; i < 256; ++i)
        palette[i] = Pack(i, 255 - i, i * 3, 0x80);
    StorePalette256(kClutBlock, palette);
    for (u32 i = 0; i < 256; ++i)
        Vram().WritePixel(Psm::kT8, kTexBlock, 2, i % 16, i / 16, i);
    Tex0Bits t = Texture(kT8, 4, 4);
    t.cld = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    Copy(16, 16);
    for (u32 i = 0; i < 256; ++i)
        ASSERT_EQ(Pixel(i % 16, i / 16), palette[i]) << "index " << i;
}

TEST(GsTexture, FourBitPalettesSitInTheirCsaGroup)
{
    Start();
    std::vector<u32> a(16), b(16);
    for (u32 i = 0; i < 16; ++i) {
        a[i] = Pack(i * 16, 1, 2, 0x80);
        b[i] = Pack(3, i * 16, 4, 0x40);
    }
    StorePalette16(kClutBlock, Psm::kCT32, a);
    StorePalette16(kClutBlock + 4, Psm::kCT32, b);
    for (u32 i = 0; i < 16; ++i)
        Vram().WritePixel(Psm::kT4, kTexBlock, 2, i, 0, i);
    Tex0Bits t = Texture(kT4, 4, 4);
    // Two loads into different groups of the buffer; both stay.
    t.cld = 1;
    t.csa = 0;
    Write(GsReg::TEX0_1, Tex0(t));
    t.cbp = kClutBlock + 4;
    t.csa = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    t.cld = 0;
    t.csa = 0;
    Write(GsReg::TEX0_1, Tex0(t));
    Copy(16, 1, 0);
    t.csa = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    Copy(16, 1, 1);
    for (u32 i = 0; i < 16; ++i) {
        EXPECT_EQ(Pixel(i, 0), a[i]) << i;
        EXPECT_EQ(Pixel(i, 1), b[i]) << i;
    }
}

TEST(GsTexture, SixteenBitPaletteEntriesExpandWithTexa)
{
    Start();
    std::vector<u32> palette(16);
    for (u32 i = 0; i < 16; ++i)
        palette[i] = (i << 10) | ((i & 1) << 15);
    StorePalette16(kClutBlock, Psm::kCT16, palette);
    for (u32 i = 0; i < 16; ++i)
        Vram().WritePixel(Psm::kT4, kTexBlock, 2, i, 0, i);
    Write(GsReg::TEXA, Texa(0x11, false, 0x99));
    Tex0Bits t = Texture(kT4, 4, 4);
    t.cpsm = 0x2;
    t.cld = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    Copy(16, 1);
    for (u32 i = 0; i < 16; ++i)
        EXPECT_EQ(Pixel(i, 0), Pack(0, 0, i << 3, (i & 1) ? 0x99 : 0x11)) << i;
}

TEST(GsClut, LoadsWhenTex0IsWrittenNotWhenDrawn)
{
    Start();
    std::vector<u32> palette(16, Pack(10, 10, 10, 10));
    StorePalette16(kClutBlock, Psm::kCT32, palette);
    Tex0Bits t = Texture(kT4, 4, 4);
    t.cld = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    // Drawing into the palette afterwards is not seen by CLD 0 ...
    StorePalette16(kClutBlock, Psm::kCT32, std::vector<u32>(16, Pack(20, 20, 20, 20)));
    t.cld = 0;
    Write(GsReg::TEX0_1, Tex0(t));
    Copy(1, 1, 0);
    EXPECT_EQ(Pixel(0, 0), Pack(10, 10, 10, 10));
    // ... and is after a reload with CLD 1.
    t.cld = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    Copy(1, 1, 1);
    EXPECT_EQ(Pixel(0, 1), Pack(20, 20, 20, 20));
}

TEST(GsClut, Cld4ReloadsOnlyForADifferentCbp)
{
    Start();
    StorePalette16(kClutBlock, Psm::kCT32, std::vector<u32>(16, Pack(1, 1, 1, 1)));
    StorePalette16(kClutBlock + 4, Psm::kCT32, std::vector<u32>(16, Pack(2, 2, 2, 2)));
    Tex0Bits t = Texture(kT4, 4, 4);
    t.cld = 2;  // load and remember CBP0
    Write(GsReg::TEX0_1, Tex0(t));
    StorePalette16(kClutBlock, Psm::kCT32, std::vector<u32>(16, Pack(3, 3, 3, 3)));
    t.cld = 4;
    Write(GsReg::TEX0_1, Tex0(t));  // same CBP: kept
    Copy(1, 1, 0);
    t.cbp = kClutBlock + 4;
    Write(GsReg::TEX0_1, Tex0(t));  // new CBP: loaded
    Copy(1, 1, 1);
    t.cbp = kClutBlock;
    Write(GsReg::TEX0_1, Tex0(t));  // CBP0 moved on, so this loads again
    Copy(1, 1, 2);
    EXPECT_EQ(Pixel(0, 0), Pack(1, 1, 1, 1));
    EXPECT_EQ(Pixel(0, 1), Pack(2, 2, 2, 2));
    EXPECT_EQ(Pixel(0, 2), Pack(3, 3, 3, 3));
}

// A load that repeats the last one (same palette fields, same memory) may
// keep the buffer as it is, but only while nothing has written the palette:
// each way of writing memory (drawing on the calling thread and on draw
// threads, an upload, raw access), to a palette in one page and to one that
// wraps past the end of memory, makes the next load read it again.
TEST(GsClut, RepeatedLoadSeesEveryWriteToThePalette)
{
    constexpr u32 kOutPage = 0x40;  // the drawn texels, away from texture and palettes
    for (int threads : {0, 2}) {
        SCOPED_TRACE(threads);
        console::gs::SetDrawThreads(threads);
        // At 0x3FFE the palette's last two blocks wrap to blocks 0 and 1.
        for (u32 cbp : {kClutBlock, 0x3FFEu}) {
            SCOPED_TRACE(cbp);
            Start();
            Vram().WritePixel(Psm::kT8, kTexBlock, 2, 0, 0, 255);
            Tex0Bits t = Texture(kT8, 4, 4);
            t.cbp = cbp;
            t.cld = 1;
            u32 line = 0;
            // Loads the palette again and draws entry 255 at the next line.
            auto reload_and_draw = [&] {
                SetUpContext(0, kOutPage, 1, kCT32);
                Write(GsReg::TEX0_1, Tex0(t));
                Copy(1, 1, line);
                return Vram().ReadPixel(Psm::kCT32, kOutPage * 32, 1, 0, line++);
            };
            StorePalette256(cbp, std::vector<u32>(256, Pack(1, 1, 1, 1)));
            EXPECT_EQ(reload_and_draw(), Pack(1, 1, 1, 1));
            EXPECT_EQ(reload_and_draw(), Pack(1, 1, 1, 1));
            // Switching between two palettes, each loaded again and again.
            StorePalette256(0x2800, std::vector<u32>(256, Pack(6, 6, 6, 6)));
            for (int i = 0; i < 3; ++i) {
                t.cbp = 0x2800;
                EXPECT_EQ(reload_and_draw(), Pack(6, 6, 6, 6));
                t.cbp = cbp;
                EXPECT_EQ(reload_and_draw(), Pack(1, 1, 1, 1));
            }

            // A sprite drawn over entry 255, palette pixel (15, 15): in the
            // wrapped palette that is pixel (15, 7) of page 0.
            const bool wraps = cbp % 32 != 0;
            SetUpContext(0, wraps ? 0 : cbp / 32, 1, kCT32);
            FlatSprite(15, wraps ? 7 : 15, 16, wraps ? 8 : 16, Rgbaq(2, 2, 2, 2));
            EXPECT_EQ(reload_and_draw(), Pack(2, 2, 2, 2));

            // An upload of palette pixels (12, 15)-(15, 15).
            Write(GsReg::BITBLTBUF, BitBltBuf(0, 0, 0, cbp, 1, kCT32));
            Write(GsReg::TRXPOS, TrxPos(0, 0, 12, 15));
            Write(GsReg::TRXREG, TrxReg(4, 1));
            Write(GsReg::TRXDIR, 0);
            const std::vector<u32> pixels(4, Pack(3, 3, 3, 3));
            u128 q;
            std::memcpy(&q, pixels.data(), sizeof q);
            ASSERT_EQ(console::gs::WriteImageData(&q, 1), 1u);
            EXPECT_EQ(reload_and_draw(), Pack(3, 3, 3, 3));

            // Raw access to the memory.
            Vram().Words()[PixelOffset(console::gs::LayoutOf(Psm::kCT32), cbp, 1, 15, 15)] = Pack(4, 4, 4, 4);
            EXPECT_EQ(reload_and_draw(), Pack(4, 4, 4, 4));
            // A write elsewhere changes nothing.
            Vram().WritePixel(Psm::kCT32, 0x1800, 1, 0, 0, Pack(5, 5, 5, 5));
            EXPECT_EQ(reload_and_draw(), Pack(4, 4, 4, 4));
            t.cbp = 0x2800;
            EXPECT_EQ(reload_and_draw(), Pack(6, 6, 6, 6));
            t.cbp = cbp;
            EXPECT_EQ(reload_and_draw(), Pack(4, 4, 4, 4));
        }
    }
    console::gs::SetDrawThreads(0);
}

// Loads of 16-entry palettes into entry groups, and of a 256-entry CT16
// palette (the low half of the buffer), repeated: a load changes its own
// entries only, whatever the buffer held when the same load was last made.
TEST(GsClut, RepeatedLoadsChangeOnlyTheirOwnEntries)
{
    Start();
    std::vector<u32> a(16), b(16), c(16);
    for (u32 i = 0; i < 16; ++i) {
        a[i] = (i << 10) | 0x8000;
        b[i] = i << 5;
        c[i] = i | 0x8000;
    }
    StorePalette16(kClutBlock, Psm::kCT16, a);
    StorePalette16(kClutBlock + 4, Psm::kCT16, b);
    StorePalette16(kClutBlock + 8, Psm::kCT16, c);
    for (u32 i = 0; i < 16; ++i)
        Vram().WritePixel(Psm::kT4, kTexBlock, 2, i, 0, i);
    Write(GsReg::TEXA, Texa(0x11, false, 0x99));
    Tex0Bits t = Texture(kT4, 4, 4);
    t.cpsm = 0x2;
    u32 line = 0;
    // Loads palette `cbp` into group `csa` (or not, cld 0), then draws the
    // texture's 16 indices through group `draw_csa` and gives the colours.
    auto load_and_draw = [&](u32 cbp, u32 csa, u32 cld, u32 draw_csa) {
        t.cbp = cbp;
        t.csa = csa;
        t.cld = cld;
        Write(GsReg::TEX0_1, Tex0(t));
        t.csa = draw_csa;
        t.cld = 0;
        Write(GsReg::TEX0_1, Tex0(t));
        Copy(16, 1, line);
        std::vector<u32> out(16);
        for (u32 i = 0; i < 16; ++i)
            out[i] = Pixel(i, line);
        ++line;
        return out;
    };
    const std::vector<u32> colours_a = load_and_draw(kClutBlock, 0, 1, 0);
    const std::vector<u32> empty = load_and_draw(kClutBlock, 0, 0, 1);  // group 1 not loaded yet
    const std::vector<u32> colours_b = load_and_draw(kClutBlock + 4, 1, 1, 1);
    const std::vector<u32> colours_c = load_and_draw(kClutBlock + 8, 0, 1, 0);
    EXPECT_NE(colours_a, colours_b);
    EXPECT_NE(colours_a, colours_c);
    EXPECT_NE(empty, colours_b);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(load_and_draw(kClutBlock, 0, 1, 1), colours_b) << "group 1 is kept";
        EXPECT_EQ(load_and_draw(kClutBlock, 0, 0, 0), colours_a);
        EXPECT_EQ(load_and_draw(kClutBlock + 8, 0, 1, 0), colours_c);
        EXPECT_EQ(load_and_draw(kClutBlock + 4, 0, 1, 0), colours_b) << "the same palette in another group";
        EXPECT_EQ(load_and_draw(kClutBlock + 4, 1, 1, 1), colours_b);
    }

    // A 256-entry CT16 palette fills the low half of the buffer only: the
    // high entries of a CT32 palette loaded before it stay, as do its own.
    std::vector<u32> wide(256), narrow(256);
    for (u32 i = 0; i < 256; ++i) {
        wide[i] = Pack(i, 2, 3, 0x80);
        narrow[i] = 0x8000 | i;
    }
    StorePalette256(0x2800, wide);
    for (u32 i = 0; i < 256; ++i) {  // in the same storage order
        const u32 j = (i & ~0x18u) | ((i & 0x08) << 1) | ((i & 0x10) >> 1);
        Vram().WritePixel(Psm::kCT16, 0x2C00, 1, j & 15, j >> 4, narrow[i]);
    }
    for (u32 i = 0; i < 256; ++i)
        Vram().WritePixel(Psm::kT8, kTexBlock, 2, i % 16, i / 16, i);
    Tex0Bits t8 = Texture(kT8, 4, 4);
    t8.cld = 1;
    std::vector<std::vector<u32>> first;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        size_t k = 0;
        for (u32 cpsm : {0x0u, 0x2u, 0x0u}) {
            t8.cpsm = cpsm;
            t8.cbp = cpsm == 0 ? 0x2800 : 0x2C00;
            Write(GsReg::TEX0_1, Tex0(t8));
            Copy(16, 16, 8);
            std::vector<u32> out(256);
            for (u32 i = 0; i < 256; ++i)
                out[i] = Pixel(i % 16, 8 + i / 16);
            if (round == 0)
                first.push_back(out);
            else
                EXPECT_EQ(out, first[k]) << "load " << k;
            ++k;
        }
    }
    ASSERT_EQ(first.size(), 3u);
    for (u32 i = 0; i < 256; ++i) {
        EXPECT_EQ(first[0][i], wide[i]) << i;
        EXPECT_EQ(first[2][i], wide[i]) << i;
    }
}

TEST(GsClut, Tex2ChangesOnlyThePaletteFieldsOfTex0)
{
    Start();
    const u64 tex0 = Tex0(Texture(kT8, 5, 6));
    Write(GsReg::TEX0_1, tex0);
    Tex0Bits other;
    other.tbp = 0x3FFF;
    other.tbw = 63;
    other.psm = kT4;
    other.tw = other.th = 1;
    other.tcc = false;
    other.tfx = 3;
    other.cbp = 0x1234;
    other.cpsm = 0xA;
    other.csa = 5;
    other.cld = 0;
    Write(GsReg::TEX2_1, Tex0(other));
    const u64 palette_fields = (u64{0x3F} << 20) | (~u64{0} << 37);
    EXPECT_EQ(console::gs::ReadRegister(static_cast<u32>(GsReg::TEX0_1)),
              (tex0 & ~palette_fields) | (Tex0(other) & palette_fields));
    EXPECT_EQ(console::gs::ReadRegister(static_cast<u32>(GsReg::TEX0_2)), 0u);
}

TEST(GsTexture, WrapModesFollowTheirDefinitions)
{
    using console::gs::WrapCoordinate;
    // REPEAT: modulo the size.
    EXPECT_EQ(WrapCoordinate(70, 0, 6, 0, 0), 6);
    EXPECT_EQ(WrapCoordinate(-1, 0, 6, 0, 0), 63);
    // CLAMP: 0 .. size - 1.
    EXPECT_EQ(WrapCoordinate(-5, 1, 6, 0, 0), 0);
    EXPECT_EQ(WrapCoordinate(70, 1, 6, 0, 0), 63);
    // REGION_CLAMP: MIN .. MAX.
    EXPECT_EQ(WrapCoordinate(2, 2, 6, 3, 10), 3);
    EXPECT_EQ(WrapCoordinate(11, 2, 6, 3, 10), 10);
    EXPECT_EQ(WrapCoordinate(7, 2, 6, 3, 10), 7);
    // REGION_REPEAT: (c & MIN) | MAX, negative coordinates included.
    EXPECT_EQ(WrapCoordinate(0x35, 3, 6, 0x0F, 0x20), 0x25);
    EXPECT_EQ(WrapCoordinate(-1, 3, 6, 0x0F, 0x40), 0x4F);
}

TEST(GsTexture, RegionRepeatSelectsAPageOfALargerImage)
{
    Start();
    for (u32 y = 0; y < 8; ++y)
        for (u32 x = 0; x < 64; ++x)
            Vram().WritePixel(Psm::kCT32, kTexBlock, 2, x, y, Pack(x, y, 0, 0x80));
    Write(GsReg::TEX0_1, Tex0(Texture(kCT32, 6, 3)));
    // U: (u & 7) | 32 reads columns 32..39 repeatedly.
    Write(GsReg::CLAMP_1, Clamp(3, 0, 7, 32));
    Copy(16, 1);
    for (u32 x = 0; x < 16; ++x)
        EXPECT_EQ(Pixel(x, 0), Pack(32 + (x & 7), 0, 0, 0x80)) << x;
}
