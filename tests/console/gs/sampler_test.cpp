// The texture sampler as triangles use it: mip levels chosen from Q (L, K,
// LCM, MXL, MMIN) and read from the MIPTBP bases, wrap and region modes,
// every texture format with TEXA and the CLUT buffer, the CLD reload after
// drawing into a palette, and the four texture functions.  Expected values
// come from the GS's formulas, written out here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "console/gs/gs_draw_support.h"
#include "core/diag.h"
#include "gs/gs.h"

using namespace gstest;
using console::gs::Psm;
using console::gs::ResetGs;
using console::gs::Vram;

namespace {

constexpr u32 kCT32 = 0x00, kCT24 = 0x01, kCT16 = 0x02, kCT16S = 0x0A;
constexpr u32 kT8 = 0x13, kT4 = 0x14, kT8H = 0x1B, kT4HL = 0x24, kT4HH = 0x2C;
constexpr u32 kFbw = 4;
constexpr u32 kTexBlock = 0x1000;

u32 Pack(u32 r, u32 g, u32 b, u32 a)
{
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16) | ((a & 0xFF) << 24);
}

u32 Channel(u32 v, int i)
{
    return (v >> (8 * i)) & 0xFF;
}

u32 Pixel(int x, int y)
{
    return Vram().ReadPixel(Psm::kCT32, 0, kFbw, static_cast<u32>(x), static_cast<u32>(y));
}

void Start()
{
    ResetGs(true);
    SetUpContext(0, 0, kFbw, kCT32);
}

// A quad of two triangles over pixels [x0, x0 + w) x [y0, y0 + h).  UV
// primitives map texel (u0 + i) to pixel x0 + i through texel centres; STQ
// primitives take S/Q from s0 to s1 (and T/Q from t0 to t1) across the quad
// with the same Q at every vertex.
struct Quad {
    u32 x0 = 0, y0 = 0, w = 16, h = 16;
    u32 u0 = 0, v0 = 0;
    bool stq = false;
    float s0 = 0, s1 = 0, t0 = 0, t1 = 0, q = 1;
    u32 rgba = Pack(0x80, 0x80, 0x80, 0x80);
};

void DrawQuad(const Quad& d)
{
    PrimBits p;
    p.type = 4;
    p.tme = true;
    p.fst = !d.stq;
    Write(GsReg::PRIM, Prim(p));
    const u32 corner[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (const auto& c : corner) {
        Write(GsReg::RGBAQ, Rgbaq(Channel(d.rgba, 0), Channel(d.rgba, 1), Channel(d.rgba, 2), Channel(d.rgba, 3), d.q));
        const float s = c[0] ? d.s1 : d.s0, t = c[1] ? d.t1 : d.t0;
        Write(GsReg::ST, St(s * d.q, t * d.q));
        Write(GsReg::UV, Uv((d.u0 + c[0] * d.w) * 16 + 8, (d.v0 + c[1] * d.h) * 16 + 8));
        Write(GsReg::XYZ2, Xyz((d.x0 + c[0] * d.w) * 16, (d.y0 + c[1] * d.h) * 16, 0));
    }
}

// ---------------------------------------------------------------------------
// Mip levels: level n of a 64 x 64 CT32 texture at kTexBlock + 0x100 n.

u32 LevelBlock(u32 n)
{
    return kTexBlock + 0x100 * n;
}

u32 LevelColour(u32 n)
{
    return Pack(10 + 35 * n, 250 - 35 * n, 7 * n, 0x80);
}

void FillSolidLevels()
{
    for (u32 n = 0; n <= 6; ++n)
        for (u32 y = 0; y < (64u >> n); ++y)
            for (u32 x = 0; x < (64u >> n); ++x)
                Vram().WritePixel(Psm::kCT32, LevelBlock(n), 1, x, y, LevelColour(n));
}

void SelectMipTexture(const Tex1Bits& tex1)
{
    Tex0Bits t;
    t.tbp = LevelBlock(0);
    t.tbw = 1;
    t.psm = kCT32;
    t.tw = t.th = 6;
    t.tfx = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    Write(GsReg::TEX1_1, Tex1Full(tex1));
    Write(GsReg::MIPTBP1_1, Miptbp(LevelBlock(1), 1, LevelBlock(2), 1, LevelBlock(3), 1));
    Write(GsReg::MIPTBP2_1, Miptbp(LevelBlock(4), 1, LevelBlock(5), 1, LevelBlock(6), 1));
    Write(GsReg::CLAMP_1, Clamp(1, 1));
}

// LOD = (log2(1 / |Q|) << L) + K, or K alone with LCM 1.
double Lod(double q, const Tex1Bits& t)
{
    return (t.lcm ? 0.0 : std::log2(1.0 / std::fabs(q)) * (1 << t.l)) + t.k16 / 16.0;
}

// The colour a solid-level texture shows at that LOD: MMAG at LOD <= 0, else
// the nearest level (MIPMAP_NEAREST) or the two levels around the LOD mixed
// by its fraction (MIPMAP_LINEAR), never beyond MXL.
double ExpectedChannel(double lod, const Tex1Bits& t, int ch)
{
    if (lod <= 0 || t.mmin < 2)
        return Channel(LevelColour(0), ch);
    if (t.mmin == 2 || t.mmin == 4)
        return Channel(LevelColour(std::min<u32>(static_cast<u32>(std::floor(lod + 0.5)), t.mxl)), ch);
    const u32 n = static_cast<u32>(std::floor(lod));
    if (n >= t.mxl)
        return Channel(LevelColour(t.mxl), ch);
    const double f = lod - n;
    return (1 - f) * Channel(LevelColour(n), ch) + f * Channel(LevelColour(n + 1), ch);
}

// ---------------------------------------------------------------------------
// Texel expansion by the GS's rules, for the format matrix.

struct TexaValues {
    u32 ta0 = 0x30, ta1 = 0xC0;
    bool aem = true;
};

u32 Expand16(u32 p, const TexaValues& texa)
{
    const u32 rgb = p & 0x7FFF;
    const u32 a = (p & 0x8000) ? texa.ta1 : ((texa.aem && rgb == 0) ? 0 : texa.ta0);
    return Pack((p & 31) << 3, ((p >> 5) & 31) << 3, ((p >> 10) & 31) << 3, a);
}

}  // namespace

TEST(GsMipmap, LevelIsChosenFromAKnownQ)
{
    Start();
    FillSolidLevels();
    struct Case {
        double q;
        Tex1Bits tex1;
    };
    auto with = [](u32 mmin, u32 mxl, u32 l = 0, s32 k16 = 0, bool lcm = false) {
        Tex1Bits t;
        t.mmin = mmin;
        t.mxl = mxl;
        t.l = l;
        t.k16 = k16;
        t.lcm = lcm;
        return t;
    };
    const Case cases[] = {
        {1.0, with(2, 6)},            // LOD 0: magnification, level 0
        {0.5, with(2, 6)},            // LOD 1
        {0.25, with(2, 6)},           // LOD 2
        {0.125, with(2, 6)},          // LOD 3
        {1.0 / 32, with(2, 6)},       // LOD 5: MIPTBP2's second level
        {1.0 / 64, with(2, 6)},       // LOD 6
        {1.0 / 64, with(2, 4)},       // stops at MXL 4
        {-0.25, with(2, 6)},          // |Q|
        {0.25, with(2, 6, 1)},        // L = 1 doubles the log: LOD 4
        {0.25, with(2, 6, 0, -16)},   // K = -1.0: LOD 1
        {0.5, with(2, 6, 0, -4)},     // LOD 0.75 rounds to level 1
        {0.5, with(2, 6, 0, -12)},    // LOD 0.25 rounds to level 0
        {1.0, with(2, 6, 0, 48, true)},   // LCM 1: LOD = K = 3 whatever Q is
        {0.5, with(3, 6, 0, 8)},      // NEAREST_MIPMAP_LINEAR at LOD 1.5: levels 1 and 2 half and half
        {0.25, with(5, 6, 0, 4)},     // LINEAR_MIPMAP_LINEAR at LOD 2.25
        {0.125, with(5, 3, 0, 8)},    // LOD 3.5 with MXL 3: level 3 alone
    };
    int i = 0;
    for (const Case& c : cases) {
        SelectMipTexture(c.tex1);
        Quad d;
        d.stq = true;
        d.s0 = d.t0 = 0.25f;
        d.s1 = d.t1 = 0.75f;
        d.q = static_cast<float>(c.q);
        DrawQuad(d);
        const double lod = Lod(c.q, c.tex1);
        for (int ch = 0; ch < 4; ++ch)
            EXPECT_NEAR(static_cast<double>(Channel(Pixel(8, 8), ch)), ExpectedChannel(lod, c.tex1, ch), 1.0)
                << "case " << i << " (Q " << c.q << ", LOD " << lod << ") channel " << ch;
        ++i;
    }
}

TEST(GsMipmap, UvPrimitivesTakeTheLodFromKAlone)
{
    Start();
    FillSolidLevels();
    Tex1Bits t;
    t.mmin = 2;
    t.mxl = 6;
    t.k16 = 32;
    SelectMipTexture(t);
    Quad d;
    d.q = 0.01f;  // would be level 6 for an STQ primitive
    DrawQuad(d);
    EXPECT_EQ(Pixel(8, 8), LevelColour(2));
}

TEST(GsMipmap, MxlSevenStopsAtLevelSixWithOneWarning)
{
    Start();
    FillSolidLevels();
    console::ClearDiagLog();
    Tex1Bits t;
    t.mmin = 2;
    t.mxl = 7;
    for (int i = 0; i < 2; ++i) {
        SelectMipTexture(t);
        Quad d;
        d.stq = true;
        d.q = 1.0f / 1024;  // LOD 10
        DrawQuad(d);
        EXPECT_EQ(Pixel(8, 8), LevelColour(6));
    }
    int warnings = 0;
    for (const std::string& line : console::DiagLog())
        warnings += line.find("MXL 7") != std::string::npos;
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

TEST(GsMipmap, EachLevelIsAddressedAtItsOwnScale)
{
    Start();
    for (u32 n = 0; n <= 3; ++n)
        for (u32 y = 0; y < (64u >> n); ++y)
            for (u32 x = 0; x < (64u >> n); ++x)
                Vram().WritePixel(Psm::kCT32, LevelBlock(n), 1, x, y, Pack(x, y, n, 0x80));
    for (u32 n = 0; n <= 3; ++n) {
        Tex1Bits t;
        t.lcm = true;
        t.k16 = static_cast<s32>(16 * n);
        t.mmin = 2;
        t.mxl = 3;
        SelectMipTexture(t);
        Quad d;
        d.w = d.h = 64;
        DrawQuad(d);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(Pixel(x, y), Pack(x >> n, y >> n, n, 0x80)) << "level " << n << " at " << x << "," << y;
    }
}

TEST(GsMipmap, LevelFollowsQAcrossATriangle)
{
    Start();
    FillSolidLevels();
    Tex1Bits t;
    t.mmin = 2;
    t.mxl = 6;
    SelectMipTexture(t);
    // Q falls from 1 at the left edge to 1/40 at the right: every level shows.
    const double q[3] = {1.0, 1.0 / 40, 1.0 / 40};
    const double x[3] = {0, 63, 63}, y[3] = {0, 0, 63};
    PrimBits p;
    p.type = 3;
    p.tme = true;
    p.fst = false;
    Write(GsReg::PRIM, Prim(p));
    for (int i = 0; i < 3; ++i) {
        Write(GsReg::RGBAQ, Rgbaq(0x80, 0x80, 0x80, 0x80, static_cast<float>(q[i])));
        Write(GsReg::ST, St(0.5f * static_cast<float>(q[i]), 0.5f * static_cast<float>(q[i])));
        Write(GsReg::XYZ2, Xyz(static_cast<u32>(x[i] * 16), static_cast<u32>(y[i] * 16), 0));
    }
    int seen[7] = {};
    for (int py = 1; py < 62; ++py)
        for (int px = py + 1; px < 63; ++px) {
            // Q at the sample, linear in screen space (it does not depend on y
            // for this triangle).
            const double qs = q[0] + (q[1] - q[0]) * (px / 63.0);
            const double lod = Lod(qs, t);
            if (std::fabs(lod - std::floor(lod) - 0.5) < 0.1)
                continue;  // too close to a rounding boundary for the LOD's 1/16 steps
            const u32 level = lod <= 0 ? 0 : std::min<u32>(static_cast<u32>(std::floor(lod + 0.5)), 6);
            ASSERT_EQ(Pixel(px, py), LevelColour(level)) << px << "," << py << " LOD " << lod;
            ++seen[level];
        }
    for (int n = 0; n <= 5; ++n)
        EXPECT_GT(seen[n], 0) << "level " << n;
}

TEST(GsWrap, EveryModeOnBothSidesOfTheTexture)
{
    Start();
    // A 16 x 16 texture whose texel (x, y) records x and y.
    for (u32 y = 0; y < 16; ++y)
        for (u32 x = 0; x < 16; ++x)
            Vram().WritePixel(Psm::kCT32, kTexBlock, 1, x, y, Pack(x, y, 1, 0x80));
    Tex0Bits t;
    t.tbp = kTexBlock;
    t.tbw = 1;
    t.tw = t.th = 4;
    Write(GsReg::TEX0_1, Tex0(t));
    Write(GsReg::TEX1_1, Tex1(false, 0));
    struct Mode {
        u32 wm, min, max;
    };
    const Mode modes[] = {{0, 0, 0}, {1, 0, 0}, {2, 3, 9}, {3, 5, 8}};
    auto wrap = [](int c, const Mode& m) {
        switch (m.wm) {
        case 0: return c & 15;
        case 1: return std::clamp(c, 0, 15);
        case 2: return std::clamp(c, static_cast<int>(m.min), static_cast<int>(m.max));
        default: return (c & static_cast<int>(m.min)) | static_cast<int>(m.max);
        }
    };
    for (const Mode& mu : modes)
        for (const Mode& mv : modes) {
            Write(GsReg::CLAMP_1, Clamp(mu.wm, mv.wm, mu.min, mu.max, mv.min, mv.max));
            // S/Q from -1 to 3 over 64 pixels: texel u = px - 16 at pixel
            // centres shifted half a texel inside.
            Quad d;
            d.stq = true;
            d.w = d.h = 64;
            d.s0 = d.t0 = -1.0f + 0.5f / 16;
            d.s1 = d.t1 = 3.0f + 0.5f / 16;
            DrawQuad(d);
            for (int y = 0; y < 64; y += 3)
                for (int x = 0; x < 64; x += 3)
                    ASSERT_EQ(Pixel(x, y), Pack(wrap(x - 16, mu), wrap(y - 16, mv), 1, 0x80))
                        << "modes " << mu.wm << "/" << mv.wm << " at " << x << "," << y;
        }
}

TEST(GsWrap, RegionRepeatMasksSelectTexelsOfALargerImage)
{
    Start();
    for (u32 y = 0; y < 32; ++y)
        for (u32 x = 0; x < 256; ++x)
            Vram().WritePixel(Psm::kCT32, kTexBlock, 4, x, y, Pack(x, y, 7, 0x80));
    Tex0Bits t;
    t.tbp = kTexBlock;
    t.tbw = 4;
    t.tw = 8;
    t.th = 5;
    Write(GsReg::TEX0_1, Tex0(t));
    Write(GsReg::TEX1_1, Tex1(false, 0));
    // The 2-D drawer's channel mask on U, (u & 0xF7) | 8, and REGION_REPEAT
    // on V as well: (v & 3) | 0x10.
    Write(GsReg::CLAMP_1, Clamp(3, 3, 0xF7, 8, 3, 0x10));
    Quad d;
    d.w = 64;
    d.h = 32;
    d.u0 = 40;
    d.v0 = 5;
    DrawQuad(d);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const int u = 40 + x, v = 5 + y;
            ASSERT_EQ(Pixel(x, y), Pack((u & 0xF7) | 8, (v & 3) | 0x10, 7, 0x80)) << x << "," << y;
        }
    // The register value the 2-D drawer writes: REGION_REPEAT on U with
    // MINU 0xF7 and MAXU 8, REPEAT on V.
    Write(GsReg::CLAMP_1, 0x20F73);
    DrawQuad(d);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(Pixel(x, y), Pack(((40 + x) & 0xF7) | 8, (5 + y) & 31, 7, 0x80)) << x << "," << y;
}

TEST(GsClut, DrawingIntoAPaletteShowsAfterCld1AndNotAfterCld0)
{
    Start();
    constexpr u32 kClutPage = 0x90, kT8Block = 0x1400;
    // Palette A in the GS's CSM1 storage order: entry i at
    // x = (i & 7) | ((i >> 1) & 8), y = ((i >> 3) & 1) | ((i >> 4) & 0xE).
    auto slot_x = [](u32 i) { return (i & 7) | ((i >> 1) & 8); };
    auto slot_y = [](u32 i) { return ((i >> 3) & 1) | ((i >> 4) & 0xE); };
    std::vector<u32> a(256), b(256);
    for (u32 i = 0; i < 256; ++i) {
        a[i] = Pack(i, 3, 255 - i, 0x80);
        Vram().WritePixel(Psm::kCT32, kClutPage * 32, 1, slot_x(i), slot_y(i), a[i]);
    }
    for (u32 i = 0; i < 256; ++i)
        Vram().WritePixel(Psm::kT8, kT8Block, 2, i % 16, i / 16, i);
    Tex0Bits t;
    t.tbp = kT8Block;
    t.tbw = 2;
    t.psm = kT8;
    t.tw = t.th = 4;
    t.cbp = kClutPage * 32;
    t.cld = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    Write(GsReg::TEX1_1, Tex1(false, 0));
    Write(GsReg::CLAMP_1, Clamp(1, 1));
    Quad d;
    DrawQuad(d);

    // Draw into the palette as a 16 x 16 CT32 surface: its top eight rows
    // become green, so entries stored there change.
    Write(GsReg::FRAME_1, Frame(kClutPage, 1, kCT32));
    FlatSprite(0, 0, 16, 8, Rgbaq(0, 200, 0, 0x80));
    Write(GsReg::FRAME_1, Frame(0, kFbw, kCT32));
    for (u32 i = 0; i < 256; ++i)
        b[i] = slot_y(i) < 8 ? Pack(0, 200, 0, 0x80) : a[i];

    t.cld = 0;
    Write(GsReg::TEX0_1, Tex0(t));
    d.y0 = 16;
    DrawQuad(d);
    t.cld = 1;
    Write(GsReg::TEX0_1, Tex0(t));
    d.y0 = 32;
    DrawQuad(d);
    for (u32 i = 0; i < 256; ++i) {
        ASSERT_EQ(Pixel(i % 16, i / 16), a[i]) << i;
        ASSERT_EQ(Pixel(i % 16, 16 + i / 16), a[i]) << "CLD 0 keeps the loaded palette, entry " << i;
        ASSERT_EQ(Pixel(i % 16, 32 + i / 16), b[i]) << "CLD 1 reloads the drawn palette, entry " << i;
    }
}

TEST(GsTexture, EveryFormatExpandsThroughATriangle)
{
    struct Format {
        u32 psm;
        Psm mode;
        int bits;  // texel bits, 0 for the 24-bit mode
        bool indexed;
    };
    const Format formats[] = {
        {kCT32, Psm::kCT32, 32, false}, {kCT24, Psm::kCT24, 0, false},  {kCT16, Psm::kCT16, 16, false},
        {kCT16S, Psm::kCT16S, 16, false}, {kT8, Psm::kT8, 8, true},     {kT4, Psm::kT4, 4, true},
        {kT8H, Psm::kT8H, 8, true},     {kT4HL, Psm::kT4HL, 4, true},   {kT4HH, Psm::kT4HH, 4, true},
    };
    constexpr u32 kClutBlock = 0x1800;
    const TexaValues texa;
    std::mt19937 rng(99);
    for (const Format& f : formats)
        for (u32 cpsm : {0u, kCT16}) {
            if (!f.indexed && cpsm != 0)
                continue;
            Start();
            Write(GsReg::TEXA, gstest::Texa(texa.ta0, texa.aem, texa.ta1));
            // Whatever lies around the texels (the other bits of the words
            // T8H/T4HL/T4HH share) must not show.
            for (u32 y = 0; y < 16; ++y)
                for (u32 x = 0; x < 64; ++x)
                    Vram().WritePixel(Psm::kCT32, kTexBlock, 2, x, y, rng());
            std::vector<u32> raw(256);
            for (u32 i = 0; i < 256; ++i) {
                u32 r = rng();
                if (f.bits > 0 && f.bits < 32)
                    r &= (1u << f.bits) - 1;
                if (i < 3)  // black texels: AEM's case, with and without the alpha bit
                    r = (f.bits == 16 && i == 1) ? 0x8000 : 0;
                raw[i] = r;
                Vram().WritePixel(f.mode, kTexBlock, 2, i % 16, i / 16, r);
            }
            std::vector<u32> palette(256);
            if (f.indexed) {
                const u32 entries = f.bits == 8 ? 256 : 16;
                for (u32 i = 0; i < entries; ++i) {
                    palette[i] = cpsm == 0 ? rng() : (rng() & 0xFFFF);
                    if (i == 0 && cpsm != 0)
                        palette[i] = 0;  // expands to AEM's transparent black
                    // CSM1: 8-bit palettes as 16 x 16 with bits 3 and 4 of
                    // the index exchanged, 4-bit ones as 8 x 2.
                    const u32 x = entries == 256 ? ((i & 7) | ((i >> 1) & 8)) : (i & 7);
                    const u32 y = entries == 256 ? (((i >> 3) & 1) | ((i >> 4) & 0xE)) : (i >> 3);
                    Vram().WritePixel(cpsm == 0 ? Psm::kCT32 : Psm::kCT16, kClutBlock, 1, x, y, palette[i]);
                }
            }
            Tex0Bits t;
            t.tbp = kTexBlock;
            t.tbw = 2;
            t.psm = f.psm;
            t.tw = t.th = 4;
            t.cbp = kClutBlock;
            t.cpsm = cpsm;
            t.cld = 1;
            Write(GsReg::TEX0_1, Tex0(t));
            Write(GsReg::TEX1_1, Tex1(false, 0));
            Write(GsReg::CLAMP_1, Clamp(1, 1));
            DrawQuad(Quad{});
            for (u32 i = 0; i < 256; ++i) {
                u32 expected;
                if (f.indexed)
                    expected = cpsm == 0 ? palette[raw[i]] : Expand16(palette[raw[i]], texa);
                else if (f.bits == 32)
                    expected = raw[i];
                else if (f.bits == 16)
                    expected = Expand16(raw[i], texa);
                else
                    expected = (raw[i] & 0xFFFFFF) | ((texa.aem && (raw[i] & 0xFFFFFF) == 0) ? 0 : texa.ta0 << 24);
                ASSERT_EQ(Pixel(i % 16, i / 16), expected)
                    << "PSM 0x" << std::hex << f.psm << " CPSM 0x" << cpsm << std::dec << " texel " << i;
            }
        }
}

TEST(GsTexture, TextureFunctionsFollowTheirFormulas)
{
    Start();
    Tex0Bits t;
    t.tbp = kTexBlock;
    t.tbw = 1;
    t.tw = t.th = 0;  // one texel
    Write(GsReg::TEX1_1, Tex1(false, 0));
    Write(GsReg::CLAMP_1, Clamp(1, 1));
    const u32 pairs[][2] = {
        {Pack(0x80, 0x40, 0x10, 0x80), Pack(0x80, 0xFF, 0x33, 0x40)},
        {Pack(0xFF, 0xC0, 0x01, 0xFF), Pack(0xFF, 0x90, 0xFE, 0xFF)},  // saturates
        {Pack(0x20, 0x60, 0xA0, 0x30), Pack(0x7F, 0x81, 0x00, 0xE0)},
    };
    for (u32 tfx = 0; tfx < 4; ++tfx)
        for (bool tcc : {false, true})
            for (const auto& [fc, tc] : pairs) {
                Vram().WritePixel(Psm::kCT32, kTexBlock, 1, 0, 0, tc);
                t.tfx = tfx;
                t.tcc = tcc;
                Write(GsReg::TEX0_1, Tex0(t));
                Quad d;
                d.rgba = fc;
                DrawQuad(d);
                u32 expected[4];
                const u32 af = Channel(fc, 3), at = Channel(tc, 3);
                for (int ch = 0; ch < 3; ++ch) {
                    const u32 cf = Channel(fc, ch), ct = Channel(tc, ch);
                    switch (tfx) {
                    case 0: expected[ch] = std::min(255u, (cf * ct) >> 7); break;
                    case 1: expected[ch] = ct; break;
                    default: expected[ch] = std::min(255u, ((cf * ct) >> 7) + af); break;
                    }
                }
                switch (tfx) {
                case 0: expected[3] = tcc ? std::min(255u, (af * at) >> 7) : af; break;
                case 1: expected[3] = tcc ? at : af; break;
                case 2: expected[3] = tcc ? std::min(255u, at + af) : af; break;
                default: expected[3] = tcc ? at : af; break;
                }
                EXPECT_EQ(Pixel(5, 5), Pack(expected[0], expected[1], expected[2], expected[3]))
                    << "TFX " << tfx << " TCC " << tcc << " fragment 0x" << std::hex << fc << " texel 0x" << tc;
            }
}
