// Triangles, strips and fans: coverage with the top-left rule, Gouraud and
// flat shading, perspective-correct and affine texture mapping, fog, and
// strip restarts with no-kick vertices.  Every expectation is computed here
// from the geometry in double precision, independently of the rasterizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "console/gs/gs_draw_support.h"
#include "gif/gif.h"
#include "gs/gs.h"
#include "gs/setup.h"
#include "gs/simd.h"

using namespace gstest;

namespace {

constexpr u32 kCT32 = 0x00;
constexpr u32 kFbw = 4;  // 256 pixels
constexpr u32 kTexBlock = 0x1000;
constexpr u32 kZbp = 0x60;  // Z buffer page, clear of the frame and the texture

u32 Pack(u32 r, u32 g, u32 b, u32 a)
{
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16) | ((a & 0xFF) << 24);
}

u32 Channel(u32 v, int i)
{
    return (v >> (8 * i)) & 0xFF;
}

u32 Pixel(s32 x, s32 y)
{
    return Vram().ReadPixel(Psm::kCT32, 0, kFbw, static_cast<u32>(x), static_cast<u32>(y));
}

void Start()
{
    ResetGs(true);
    SetUpContext(0, 0, kFbw, kCT32);
    Write(GsReg::COLCLAMP, 1);
}

// A vertex in 1/16 pixel with everything a triangle can carry.
struct Vtx {
    double x = 0, y = 0;  // 1/16 pixel, whole numbers
    u32 rgba = 0;
    u32 z = 0;
    u32 f = 0;
    float s = 0, t = 0, q = 1;
    u32 u = 0, v = 0;  // 1/16 texel
};

void Send(const Vtx& v, bool kick = true, bool with_fog = false)
{
    Write(GsReg::RGBAQ, Rgbaq(Channel(v.rgba, 0), Channel(v.rgba, 1), Channel(v.rgba, 2), Channel(v.rgba, 3), v.q));
    Write(GsReg::ST, St(v.s, v.t));
    Write(GsReg::UV, Uv(v.u, v.v));
    const u32 x = static_cast<u32>(v.x), y = static_cast<u32>(v.y);
    if (with_fog)
        Write(kick ? GsReg::XYZF2 : GsReg::XYZF3, Xyzf(x, y, v.z, v.f));
    else
        Write(kick ? GsReg::XYZ2 : GsReg::XYZ3, Xyz(x, y, v.z));
}

void Triangle(const Vtx& a, const Vtx& b, const Vtx& c, PrimBits p = {})
{
    p.type = 3;
    Write(GsReg::PRIM, Prim(p));
    Send(a, true, p.fge);
    Send(b, true, p.fge);
    Send(c, true, p.fge);
}

// The top-left rule stated geometrically: a sample exactly on an edge belongs
// to the triangle when a point just to its right, and a hair below that, lies
// strictly inside.  The nudges (2^-12 and 2^-24 of 1/16 pixel) are smaller
// than any step of the edge functions for coordinates up to 1024, and all the
// arithmetic below is exact in double precision at that size.
bool Covers(const double x[3], const double y[3], s32 px, s32 py)
{
    const double e = 1.0 / 4096.0;
    const double sx = 16.0 * px + e, sy = 16.0 * py + e * e;
    double d[3];
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        d[i] = (x[j] - x[i]) * (sy - y[i]) - (y[j] - y[i]) * (sx - x[i]);
    }
    return (d[0] > 0 && d[1] > 0 && d[2] > 0) || (d[0] < 0 && d[1] < 0 && d[2] < 0);
}

// Barycentric weights of sample (16 px, 16 py).
void Weights(const Vtx& a, const Vtx& b, const Vtx& c, s32 px, s32 py, double w[3])
{
    const double sx = 16.0 * px, sy = 16.0 * py;
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    w[0] = ((b.x - sx) * (c.y - sy) - (b.y - sy) * (c.x - sx)) / area;
    w[1] = ((c.x - sx) * (a.y - sy) - (c.y - sy) * (a.x - sx)) / area;
    w[2] = 1.0 - w[0] - w[1];
}

bool CoversTri(const Vtx& a, const Vtx& b, const Vtx& c, s32 px, s32 py)
{
    const double x[3] = {a.x, b.x, c.x}, y[3] = {a.y, b.y, c.y};
    return Covers(x, y, px, py);
}

// Clears pixels [0, 64) x [0, 64) to 0 with a sprite.
void ClearCorner()
{
    FlatSprite(0, 0, 64, 64, Rgbaq(0, 0, 0, 0));
}

Vtx At(double px, double py, u32 rgba = Pack(0xFF, 0xFF, 0xFF, 0x80))
{
    Vtx v;
    v.x = std::round(px * 16.0);
    v.y = std::round(py * 16.0);
    v.rgba = rgba;
    return v;
}

// A 64 x 64 CT32 texture at kTexBlock (TBW 1), TW = TH = 6.
void SelectTexture(bool bilinear, u32 wrap = 1, u32 tfx = 1)
{
    Tex0Bits t;
    t.tbp = kTexBlock;
    t.tbw = 1;
    t.psm = kCT32;
    t.tw = 6;
    t.th = 6;
    t.tfx = tfx;
    t.tcc = true;
    Write(GsReg::TEX0_1, Tex0(t));
    Write(GsReg::TEX1_1, Tex1(bilinear, bilinear ? 1 : 0));
    Write(GsReg::CLAMP_1, Clamp(wrap, wrap));
}

// The three vertices of a strongly perspective triangle, S and T given as
// S/Q and T/Q (the texture position) times Q.
void PerspectiveTriangle(Vtx v[3])
{
    const double pos[3][2] = {{4.3, 2.7}, {60.5, 10.2}, {12.1, 61.9}};
    const float q[3] = {1.0f, 0.25f, 0.5f};
    const float sq[3] = {0.05f, 0.95f, 0.1f}, tq[3] = {0.05f, 0.1f, 0.9f};
    for (int i = 0; i < 3; ++i) {
        v[i] = At(pos[i][0], pos[i][1], Pack(0x80, 0x80, 0x80, 0x80));
        v[i].q = q[i];
        v[i].s = sq[i] * q[i];
        v[i].t = tq[i] * q[i];
    }
}

// The texture position (in texels of a 64-texel texture) of a pixel, from
// S, T, Q interpolated linearly and divided per pixel.
void PerspectiveTexel(const Vtx v[3], s32 px, s32 py, double& u, double& t)
{
    double w[3];
    Weights(v[0], v[1], v[2], px, py, w);
    double s = 0, tt = 0, q = 0;
    for (int i = 0; i < 3; ++i) {
        s += w[i] * v[i].s;
        tt += w[i] * v[i].t;
        q += w[i] * v[i].q;
    }
    u = s / q * 64.0;
    t = tt / q * 64.0;
}

}  // namespace

TEST(GsTriangle, CoverageFollowsTheTopLeftRule)
{
    Start();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(8 * 16, 56 * 16);
    auto pick = [&](bool snap) {
        const int c = coord(rng);
        return static_cast<double>(snap ? c & ~15 : c);
    };
    int on_edge_samples = 0;
    for (int n = 0; n < 300; ++n) {
        // Whole-pixel vertices put samples exactly on edges; shared
        // coordinates make horizontal and vertical edges.
        const bool snap = n % 2 == 0;
        Vtx v[3];
        for (Vtx& p : v) {
            p.x = pick(snap);
            p.y = pick(snap);
            p.rgba = Pack(0xFF, 0xFF, 0xFF, 0xFF);
        }
        if (n % 5 == 1)
            v[1].y = v[0].y;
        if (n % 5 == 2)
            v[2].x = v[1].x;
        ClearCorner();
        Triangle(v[0], v[1], v[2]);
        for (s32 py = 0; py < 64; ++py)
            for (s32 px = 0; px < 64; ++px) {
                const bool expected = CoversTri(v[0], v[1], v[2], px, py);
                ASSERT_EQ(Pixel(px, py) != 0, expected)
                    << "triangle " << n << " (" << v[0].x << "," << v[0].y << ") (" << v[1].x << "," << v[1].y
                    << ") (" << v[2].x << "," << v[2].y << ") pixel " << px << "," << py;
                const double x[3] = {v[0].x, v[1].x, v[2].x}, y[3] = {v[0].y, v[1].y, v[2].y};
                for (int i = 0; i < 3; ++i) {
                    const int j = (i + 1) % 3;
                    if ((x[j] - x[i]) * (16.0 * py - y[i]) == (y[j] - y[i]) * (16.0 * px - x[i]))
                        ++on_edge_samples;
                }
            }
    }
    EXPECT_GT(on_edge_samples, 1000) << "the triangles should put many samples exactly on edges";
}

TEST(GsTriangle, StripCoversEachPixelOfItsQuadExactlyOnce)
{
    Start();
    // Additive blending counts how often each pixel is drawn: Cs + Cd.
    Write(GsReg::ALPHA_1, Alpha(0, 2, 2, 1, 0x80));
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        ClearCorner();
        // A zig-zag strip between the rows y = 4 and y = 40 from x = 8 to 56:
        // top and bottom vertices alternate, each row's inner vertices at
        // random increasing 1/16 positions.
        const int inner = 3 + round % 10;
        auto row = [&] {
            std::vector<double> xs{8 * 16, 56 * 16};
            std::uniform_int_distribution<int> pos(8 * 16 + 1, 56 * 16 - 1);
            while (static_cast<int>(xs.size()) < inner + 2) {
                const double x = pos(rng);
                if (std::find(xs.begin(), xs.end(), x) == xs.end())
                    xs.push_back(x);
            }
            std::sort(xs.begin(), xs.end());
            return xs;
        };
        const std::vector<double> top = row(), bottom = row();
        PrimBits p;
        p.type = 4;
        p.abe = true;
        Write(GsReg::PRIM, Prim(p));
        Vtx v;
        v.rgba = Pack(1, 0, 0, 0x80);
        for (size_t i = 0; i < top.size(); ++i) {
            v.x = top[i];
            v.y = 4 * 16;
            Send(v);
            v.x = bottom[i];
            v.y = 40 * 16;
            Send(v);
        }
        for (s32 py = 0; py < 64; ++py)
            for (s32 px = 0; px < 64; ++px) {
                const u32 inside = (px >= 8 && px < 56 && py >= 4 && py < 40) ? 1 : 0;
                ASSERT_EQ(Channel(Pixel(px, py), 0), inside) << "round " << round << " pixel " << px << "," << py;
            }
    }
}

TEST(GsTriangle, GouraudInterpolatesColourAndDepthAcrossTheTriangle)
{
    Start();
    Write(GsReg::ZBUF_1, Zbuf(kZbp, 0x30));
    Write(GsReg::TEST_1, TestReg({.zte = true, .ztst = 1}));
    Vtx v[3] = {At(3.5, 4.25, Pack(255, 0, 40, 0)), At(60.75, 20.5, Pack(0, 255, 200, 128)),
                At(20.1, 58.9, Pack(10, 30, 255, 255))};
    v[0].z = 1000;
    v[1].z = 0x00FFFFFF;
    v[2].z = 0x00800000;
    PrimBits p;
    p.iip = true;
    Triangle(v[0], v[1], v[2], p);
    int covered = 0;
    for (s32 py = 0; py < 64; ++py)
        for (s32 px = 0; px < 64; ++px) {
            if (!CoversTri(v[0], v[1], v[2], px, py)) {
                ASSERT_EQ(Pixel(px, py), 0u);
                continue;
            }
            ++covered;
            double w[3];
            Weights(v[0], v[1], v[2], px, py, w);
            for (int ch = 0; ch < 4; ++ch) {
                const double ref = w[0] * Channel(v[0].rgba, ch) + w[1] * Channel(v[1].rgba, ch) +
                                   w[2] * Channel(v[2].rgba, ch);
                ASSERT_NEAR(static_cast<double>(Channel(Pixel(px, py), ch)), ref, 1.0)
                    << "channel " << ch << " at " << px << "," << py;
            }
            const double zref = w[0] * v[0].z + w[1] * v[1].z + w[2] * v[2].z;
            ASSERT_NEAR(static_cast<double>(Vram().ReadPixel(Psm::kZ32, kZbp * 32, kFbw, px, py)), zref, 1.0);
        }
    EXPECT_GT(covered, 900);
}

TEST(GsTriangle, FlatShadingTakesTheVertexThatCompletesEachTriangle)
{
    Start();
    const Vtx v[4] = {At(2, 2, Pack(1, 2, 3, 4)), At(30, 2, Pack(5, 6, 7, 8)), At(2, 30, Pack(9, 10, 11, 12)),
                      At(30, 30, Pack(13, 14, 15, 16))};
    PrimBits p;
    p.type = 4;
    p.iip = false;
    Write(GsReg::PRIM, Prim(p));
    for (const Vtx& x : v)
        Send(x);
    for (s32 py = 0; py < 32; ++py)
        for (s32 px = 0; px < 32; ++px) {
            u32 expected = 0;
            if (CoversTri(v[0], v[1], v[2], px, py))
                expected = v[2].rgba;
            if (CoversTri(v[1], v[2], v[3], px, py))
                expected = v[3].rgba;
            ASSERT_EQ(Pixel(px, py), expected) << px << "," << py;
        }
}

TEST(GsTriangle, FanKeepsItsFirstVertex)
{
    Start();
    // A hexagon around (32, 32) as a fan from its centre: every pixel of the
    // hexagon is covered by one of the five triangles (the sixth side is open).
    const double cx = 32 * 16, cy = 32 * 16;
    std::vector<Vtx> rim;
    for (int k = 0; k < 6; ++k) {
        Vtx r;
        r.x = std::round(cx + 400 * std::cos(k * std::numbers::pi / 3));
        r.y = std::round(cy + 400 * std::sin(k * std::numbers::pi / 3));
        r.rgba = Pack(10 * (k + 1), 0, 0, 0x80);
        rim.push_back(r);
    }
    Vtx centre;
    centre.x = cx;
    centre.y = cy;
    PrimBits p;
    p.type = 5;
    Write(GsReg::PRIM, Prim(p));
    Send(centre);
    for (const Vtx& r : rim)
        Send(r);
    for (s32 py = 0; py < 64; ++py)
        for (s32 px = 0; px < 64; ++px) {
            u32 expected = 0;
            for (int k = 1; k < 6; ++k)
                if (CoversTri(centre, rim[k - 1], rim[k], px, py))
                    expected = rim[k].rgba;  // flat: the completing vertex
            ASSERT_EQ(Pixel(px, py), expected) << px << "," << py;
        }
}

TEST(GsTriangle, PerspectiveTextureMatchesADoublePrecisionReference)
{
    Start();
    // A smooth texture, so that the bilinear result is within one step of
    // the exact value wherever the sample lands.
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 64; ++x)
            Vram().WritePixel(Psm::kCT32, kTexBlock, 1, x, y, Pack(4 * x, 4 * y, 2 * (x + y), 0x80));
    SelectTexture(true);
    Vtx v[3];
    PerspectiveTriangle(v);
    PrimBits p;
    p.tme = true;
    p.fst = false;
    p.iip = true;
    Triangle(v[0], v[1], v[2], p);

    // The hardware's bilinear filter of the clamped texture at the exact
    // texture position: the 2 x 2 texels around (u - 0.5, v - 0.5) weighted
    // by that position's four fractional bits (1/16 texel), then >> 8.
    auto texel = [](s64 c) { return static_cast<int>(std::clamp<s64>(c, 0, 63)); };
    auto reference = [&](double u, double t, int ch) {
        const s64 us = static_cast<s64>(std::floor(u * 16.0)) - 8, ts = static_cast<s64>(std::floor(t * 16.0)) - 8;
        const s64 fu = us & 15, ft = ts & 15;
        const int u0 = texel(us >> 4), u1 = texel((us >> 4) + 1), t0 = texel(ts >> 4), t1 = texel((ts >> 4) + 1);
        auto value = [&](int x, int y) {
            const s64 c[4] = {4 * x, 4 * y, 2 * (x + y), 0x80};
            return c[ch];
        };
        return static_cast<double>((value(u0, t0) * (16 - fu) * (16 - ft) + value(u1, t0) * fu * (16 - ft) +
                                    value(u0, t1) * (16 - fu) * ft + value(u1, t1) * fu * ft) >>
                                   8);
    };

    int covered = 0;
    double worst_affine = 0;
    for (s32 py = 0; py < 64; ++py)
        for (s32 px = 0; px < 64; ++px) {
            const bool inside = CoversTri(v[0], v[1], v[2], px, py);
            ASSERT_EQ(Pixel(px, py) != 0, inside) << px << "," << py;
            if (!inside)
                continue;
            ++covered;
            double u, t;
            PerspectiveTexel(v, px, py, u, t);
            for (int ch = 0; ch < 4; ++ch)
                ASSERT_NEAR(static_cast<double>(Channel(Pixel(px, py), ch)), reference(u, t, ch), 1.0)
                    << "channel " << ch << " at " << px << "," << py << " (u " << u << ", v " << t << ")";
            // What mapping S/Q linearly (without the division) would give.
            double w[3];
            Weights(v[0], v[1], v[2], px, py, w);
            double ua = 0;
            for (int i = 0; i < 3; ++i)
                ua += w[i] * (v[i].s / v[i].q) * 64.0;
            worst_affine = std::max(worst_affine, std::fabs(reference(ua, t, 0) - Channel(Pixel(px, py), 0)));
        }
    EXPECT_GT(covered, 1000);
    EXPECT_GT(worst_affine, 20.0) << "the triangle should be far from affine";
}

TEST(GsTriangle, NearestPerspectiveSamplingPicksTheTexelUnderEachPixel)
{
    Start();
    std::mt19937 rng(3);
    std::vector<u32> texels(64 * 64);
    for (u32 y = 0; y < 64; ++y)
        for (u32 x = 0; x < 64; ++x) {
            texels[y * 64 + x] = rng() | 0x01000000u;  // never 0
            Vram().WritePixel(Psm::kCT32, kTexBlock, 1, x, y, texels[y * 64 + x]);
        }
    SelectTexture(false, 0);
    Vtx v[3];
    PerspectiveTriangle(v);
    PrimBits p;
    p.tme = true;
    p.fst = false;
    Triangle(v[0], v[1], v[2], p);
    int checked = 0;
    for (s32 py = 0; py < 64; ++py)
        for (s32 px = 0; px < 64; ++px) {
            if (!CoversTri(v[0], v[1], v[2], px, py))
                continue;
            double u, t;
            PerspectiveTexel(v, px, py, u, t);
            // Samples within a hair of a texel boundary may fall either way.
            if (std::fabs(u - std::round(u)) < 1e-3 || std::fabs(t - std::round(t)) < 1e-3)
                continue;
            const u32 expected = texels[(static_cast<int>(std::floor(t)) & 63) * 64 + (static_cast<int>(u) & 63)];
            ASSERT_EQ(Pixel(px, py), expected) << px << "," << py;
            ++checked;
        }
    EXPECT_GT(checked, 1000);
}

TEST(GsTriangle, UvCoordinatesAreInterpolatedAffinely)
{
    Start();
    std::mt19937 rng(5);
    std::vector<u32> texels(64 * 64);
    for (u32 i = 0; i < texels.size(); ++i) {
        texels[i] = rng() | 0x01000000u;
        Vram().WritePixel(Psm::kCT32, kTexBlock, 1, i % 64, i / 64, texels[i]);
    }
    SelectTexture(false, 0);
    Vtx v[3] = {At(2.5, 3.5), At(61.0, 8.25), At(9.75, 60.0)};
    const u32 uv[3][2] = {{8, 40}, {1000, 100}, {300, 1010}};
    for (int i = 0; i < 3; ++i) {
        v[i].u = uv[i][0];
        v[i].v = uv[i][1];
    }
    PrimBits p;
    p.tme = true;
    p.fst = true;
    Triangle(v[0], v[1], v[2], p);
    int checked = 0;
    for (s32 py = 0; py < 64; ++py)
        for (s32 px = 0; px < 64; ++px) {
            if (!CoversTri(v[0], v[1], v[2], px, py))
                continue;
            double w[3];
            Weights(v[0], v[1], v[2], px, py, w);
            const double u = (w[0] * v[0].u + w[1] * v[1].u + w[2] * v[2].u) / 16.0;
            const double t = (w[0] * v[0].v + w[1] * v[1].v + w[2] * v[2].v) / 16.0;
            if (std::fabs(u - std::round(u)) < 1e-3 || std::fabs(t - std::round(t)) < 1e-3)
                continue;
            ASSERT_EQ(Pixel(px, py), texels[(static_cast<int>(t) & 63) * 64 + (static_cast<int>(u) & 63)])
                << px << "," << py;
            ++checked;
        }
    EXPECT_GT(checked, 1000);
}

TEST(GsTriangle, FogBlendsTowardsTheFogColourByTheInterpolatedVertexFog)
{
    Start();
    const u32 fog[3] = {0xFF, 0x00, 0x80};
    Write(GsReg::FOGCOL, Fogcol(0x20, 0xC0, 0x60));
    Vtx v[3] = {At(2, 2, Pack(200, 100, 50, 0x80)), At(62, 6, Pack(200, 100, 50, 0x80)),
                At(8, 62, Pack(200, 100, 50, 0x80))};
    for (int i = 0; i < 3; ++i)
        v[i].f = fog[i];
    PrimBits p;
    p.fge = true;
    Triangle(v[0], v[1], v[2], p);
    const u32 fogcol[3] = {0x20, 0xC0, 0x60};
    for (s32 py = 0; py < 64; ++py)
        for (s32 px = 0; px < 64; ++px) {
            if (!CoversTri(v[0], v[1], v[2], px, py))
                continue;
            double w[3];
            Weights(v[0], v[1], v[2], px, py, w);
            // F is an 8-bit coefficient once interpolated.
            const u32 f = static_cast<u32>(std::floor(w[0] * fog[0] + w[1] * fog[1] + w[2] * fog[2]));
            for (int ch = 0; ch < 3; ++ch) {
                const double ref = (f * Channel(v[0].rgba, ch) + (255 - f) * fogcol[ch]) >> 8;
                ASSERT_NEAR(static_cast<double>(Channel(Pixel(px, py), ch)), ref, 1.0) << px << "," << py;
            }
            ASSERT_EQ(Channel(Pixel(px, py), 3), 0x80u) << "alpha is not fogged";
        }
    // XYZ2 vertices take the FOG register's value: F = 0 is all fog colour.
    Write(GsReg::FOG, FogReg(0));
    Write(GsReg::PRIM, Prim({.type = 3, .fge = true}));
    Write(GsReg::RGBAQ, Rgbaq(255, 255, 255, 0x80));
    Write(GsReg::XYZ2, Xyz(100 * 16, 0, 0));
    Write(GsReg::XYZ2, Xyz(120 * 16, 0, 0));
    Write(GsReg::XYZ2, Xyz(100 * 16, 20 * 16, 0));
    EXPECT_EQ(Pixel(101, 1), Pack(0x20 * 255 >> 8, 0xC0 * 255 >> 8, 0x60 * 255 >> 8, 0x80));
}

TEST(GsTriangle, StripRestartWithTwoNoKickVerticesDrawsNoBridge)
{
    Start();
    // Microcode output as the GIF receives it: PACKED ST, RGBAQ, XYZF2 with
    // bit 111 (ADC) set on the two vertices that start the second run.
    auto tag = [](u64 nloop, bool eop, bool pre, u64 prim, u64 nreg, u64 regs) {
        return u128{nloop | (u64{eop} << 15) | (u64{pre} << 46) | (prim << 47) | (nreg << 60), regs};
    };
    std::vector<u128> packet;
    const u64 strip = 4 | (1 << 3);  // Gouraud triangle strip
    packet.push_back(tag(7, true, true, strip, 3, 0x412));
    const double pos[7][2] = {{2, 2}, {2, 20}, {20, 2}, {20, 20}, {40, 2}, {40, 20}, {58, 2}};
    const bool adc[7] = {false, false, false, true, true, false, false};
    for (int i = 0; i < 7; ++i) {
        packet.push_back(u128{0, 0x3F800000});  // S = T = 0, Q = 1
        packet.push_back(u128{u64{0x40} | (u64{0x40} << 32), u64{0x40} | (u64{0x80} << 32)});
        const u64 x = static_cast<u64>(pos[i][0] * 16), y = static_cast<u64>(pos[i][1] * 16);
        packet.push_back(u128{x | (y << 32), (u64{100} << 4) | (u64{adc[i]} << 47)});
    }
    console::gif::Feed(console::gif::Path::kPath2, packet.data(), packet.size());

    auto vtx = [&](int i) { return At(pos[i][0], pos[i][1]); };
    for (s32 py = 0; py < 24; ++py)
        for (s32 px = 0; px < 64; ++px) {
            // Drawn: (0 1 2) and, after the restart, (3 4 5) and (4 5 6).
            // Not drawn: the bridges (1 2 3) and (2 3 4).
            const bool expected = CoversTri(vtx(0), vtx(1), vtx(2), px, py) ||
                                  CoversTri(vtx(3), vtx(4), vtx(5), px, py) ||
                                  CoversTri(vtx(4), vtx(5), vtx(6), px, py);
            ASSERT_EQ(Pixel(px, py) != 0, expected) << px << "," << py;
        }
    EXPECT_EQ(Pixel(15, 15), 0u) << "inside the bridge (1 2 3)";
    EXPECT_EQ(Pixel(25, 5), 0u) << "inside the bridge (2 3 4)";
    EXPECT_NE(Pixel(35, 15), 0u) << "inside (3 4 5)";
}

TEST(GsTriangle, ScissorAndOffsetClipCoverage)
{
    Start();
    Write(GsReg::XYOFFSET_1, Xyoffset(100 * 16, 200 * 16));
    Write(GsReg::SCISSOR_1, Scissor(10, 40, 5, 30));
    const Vtx v[3] = {At(100, 200), At(164, 200), At(100, 264)};
    Triangle(v[0], v[1], v[2]);
    const Vtx w[3] = {At(0, 0), At(64, 0), At(0, 64)};  // in window coordinates
    for (s32 py = 0; py < 64; ++py)
        for (s32 px = 0; px < 64; ++px) {
            const bool expected =
                CoversTri(w[0], w[1], w[2], px, py) && px >= 10 && px <= 40 && py >= 5 && py <= 30;
            ASSERT_EQ(Pixel(px, py) != 0, expected) << px << "," << py;
        }
}

TEST(GsTriangle, DegenerateTrianglesDrawNothing)
{
    Start();
    Triangle(At(2, 2), At(30, 30), At(16, 16));  // collinear
    Triangle(At(5, 5), At(5, 5), At(20, 8));      // two equal vertices
    for (s32 py = 0; py < 32; ++py)
        for (s32 px = 0; px < 32; ++px)
            ASSERT_EQ(Pixel(px, py), 0u) << px << "," << py;
}

TEST(GsTriangle, ZeroQSamplesWithoutFault)
{
    Start();
    Vram().WritePixel(Psm::kCT32, kTexBlock, 1, 0, 0, Pack(1, 2, 3, 4));
    Vram().WritePixel(Psm::kCT32, kTexBlock, 1, 63, 0, Pack(5, 6, 7, 8));
    SelectTexture(false, 1);
    // S/Q = 0/0 has no value: the sampler takes the texture's origin.  A
    // positive S over Q = 0 lies beyond the right edge and clamps there.
    Vtx v[3] = {At(2, 2), At(30, 2), At(2, 30)};
    for (Vtx& x : v) {
        x.q = 0.0f;
        x.s = x.t = 0.0f;
    }
    PrimBits p;
    p.tme = true;
    p.fst = false;
    Triangle(v[0], v[1], v[2], p);
    EXPECT_EQ(Pixel(5, 5), Pack(1, 2, 3, 4));
    for (Vtx& x : v)
        x.s = 0.5f;
    Triangle(v[0], v[1], v[2], p);
    EXPECT_EQ(Pixel(5, 5), Pack(5, 6, 7, 8));
}

// A random scissor and triangle of kind `kind`: 0 small, 1 screen-sized,
// 2 with a nearly level or nearly upright edge, 3 with vertices far outside
// the scissor, 4 anywhere in the coordinates' range with any offset (edge
// values far beyond 32 bits on the scissor's rows), 5 and 6 on whole pixels
// (level and upright edges lying on rows and columns of samples, and
// triangles a row or two high).  Only the positions and the scissor are set.
namespace {
void PlaceRandomTriangle(std::mt19937& rng, int kind, int trial, console::gs::DrawEnv& env,
                         console::gs::Vertex (&v)[3])
{
    env.ofx = env.ofy = 0x8000;
    env.scax0 = static_cast<s32>(rng() % 64);
    env.scay0 = static_cast<s32>(rng() % 64);
    env.scax1 = env.scax0 + 1 + static_cast<s32>(rng() % 700);
    env.scay1 = env.scay0 + 1 + static_cast<s32>(rng() % 500);
    const u32 spread = kind == 0 ? 16 * 12 : kind == 1 ? 16 * 400 : 16 * 2047;
    const u32 base = kind == 3 ? env.ofx - 16 * 1024 : env.ofx + 16 * 32;
    for (auto& p : v) {
        p.x = base + rng() % spread;
        p.y = base + rng() % spread;
    }
    if (kind == 4) {
        env.ofx = rng() & 0xFFFF;
        env.ofy = rng() & 0xFFFF;
        for (auto& p : v) {
            p.x = rng() & 0xFFFF;
            p.y = rng() & 0xFFFF;
        }
    }
    if (kind >= 5) {
        for (auto& p : v) {
            p.x = base + 16 * (rng() % (kind == 5 ? 3 : 40));
            p.y = base + 16 * (rng() % (kind == 5 ? 3 : 40));
        }
    }
    if (kind == 2) {
        if (trial & 4)
            v[1].y = v[0].y + rng() % 3;
        else
            v[1].x = v[0].x + rng() % 3;
    }
}
}  // namespace

// The specialised pipelines walk a triangle's rows with exact steps of each
// edge's bound; every row must get the span the row-by-row search settles,
// for small and screen-sized triangles, slivers, nearly level and nearly
// upright edges, vertices far outside the scissor or anywhere in their
// range, and either winding.
TEST(GsTriangle, WalkedRowSpansAreTheSpansEachRowSettlesAlone)
{
    std::mt19937 rng(515);
    console::gs::DrawEnv env;
    long rows = 0, covered = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        console::gs::Vertex v[3];
        PlaceRandomTriangle(rng, trial % 5, trial, env, v);
        console::gs::TriangleSetup t;
        if (!console::gs::SetupTriangle(env, v[0], v[1], v[2], t))
            continue;
        console::gs::TriangleRowWalker walker(t, t.py_begin);
        for (s32 py = t.py_begin; py < t.py_end; ++py, walker.Next()) {
            s32 b0, e0, b1, e1;
            console::gs::TriangleRowSpan(t, py, b0, e0);
            walker.Span(b1, e1);
            ++rows;
            if (b0 < e0)
                ++covered;
            ASSERT_EQ(b0 < e0, b1 < e1) << "trial " << trial << " row " << py;
            if (b0 < e0) {
                ASSERT_EQ(b0, b1) << "trial " << trial << " row " << py;
                ASSERT_EQ(e0, e1) << "trial " << trial << " row " << py;
            }
            // Rows the walker's level edges leave out are empty, and those
            // they let through get the same span without the rows' check.
            if (py < walker.FirstRow() || py > walker.LastRow()) {
                ASSERT_GE(b0, e0) << "trial " << trial << " row " << py;
            } else {
                walker.SpanInRows(b1, e1);
                ASSERT_EQ(b0 < e0, b1 < e1) << "trial " << trial << " row " << py;
                if (b0 < e0) {
                    ASSERT_EQ(b0, b1) << "trial " << trial << " row " << py;
                    ASSERT_EQ(e0, e1) << "trial " << trial << " row " << py;
                }
            }
        }
    }
    EXPECT_GT(rows, 100000);
    EXPECT_GT(covered, rows / 3);
}

// The pipelines set a triangle up from its vertices alone, at every vector
// level the host runs: the walker must give each row the span the whole
// set-up settles (or leave the rows to it exactly when a walker made from
// it would), and the plane pairs must be that set-up's planes to the bit.
TEST(GsTriangle, SetUpFromVerticesMatchesTheWholeSetUpAtEveryVectorLevel)
{
    using console::gs::SimdLevel;
    std::mt19937 rng(4242);
    long rows = 0, walked = 0;
    auto same = [](__m128d pair, int lane, double value) {
        double lanes[2];
        _mm_storeu_pd(lanes, pair);
        return std::memcmp(&lanes[lane], &value, sizeof value) == 0;
    };
    auto same_planes = [&](const console::gs::PlanePair& pair, const console::gs::AttributePlane& p0,
                           const console::gs::AttributePlane& p1) {
        return same(pair.a0, 0, p0.a0) && same(pair.gx, 0, p0.gx) && same(pair.gy, 0, p0.gy) &&
               same(pair.a0, 1, p1.a0) && same(pair.gx, 1, p1.gx) && same(pair.gy, 1, p1.gy);
    };
    for (int level = 0; level <= static_cast<int>(console::gs::HostSimdLevel()); ++level) {
        console::gs::LimitSimdLevel(static_cast<SimdLevel>(level));
        for (int trial = 0; trial < 4000; ++trial) {
            const int kind = trial % 7;
            console::gs::DrawEnv env;
            console::gs::Vertex v[3];
            PlaceRandomTriangle(rng, kind, trial, env, v);
            // Now and then a nearly level edge far from the scissor: bounds
            // and steps around the walker's limits.
            if (kind == 4 && (trial & 16))
                v[1].y = v[0].y + 1 + rng() % 2;
            env.prim.iip = rng() & 1;
            env.prim.tme = rng() & 1;
            env.prim.fst = rng() & 1;
            for (auto& p : v) {
                p.z = rng();
                p.f = rng() & 0xFF;
                p.rgba = rng();
                p.s = static_cast<float>(rng() % 100000) / 1000.0f - 50.0f;
                p.t = static_cast<float>(rng() % 100000) / 1000.0f - 50.0f;
                p.q = static_cast<float>(rng() % 1000 + 1) / 500.0f;
                p.u = rng() & 0x3FFF;
                p.v = rng() & 0x3FFF;
            }
            if (trial & 8)
                v[1].q = v[2].q = v[0].q;
            console::gs::TriangleSetup t;
            if (!console::gs::SetupTriangle(env, v[0], v[1], v[2], t))
                continue;
            console::gs::TriangleRowWalker walker;
            console::gs::TrianglePlanes planes;
            ASSERT_TRUE(console::gs::SetupTriangleWalkerAndPlanes(env, v, t.px_begin, t.px_end, t.py_begin, t.py_end,
                                                                  walker, planes))
                << "level " << level << " trial " << trial;
            const console::gs::TriangleRowWalker whole(t, t.py_begin);
            ASSERT_EQ(walker.SettlesRowsAlone(), whole.SettlesRowsAlone()) << "level " << level << " trial " << trial;
            if (walker.SettlesRowsAlone())
                continue;
            ++walked;
            for (s32 py = t.py_begin; py < t.py_end; ++py, walker.Next()) {
                s32 b0, e0, b1, e1;
                console::gs::TriangleRowSpan(t, py, b0, e0);
                walker.Span(b1, e1);
                ++rows;
                ASSERT_EQ(b0 < e0, b1 < e1) << "level " << level << " trial " << trial << " row " << py;
                if (b0 < e0) {
                    ASSERT_EQ(b0, b1) << "level " << level << " trial " << trial << " row " << py;
                    ASSERT_EQ(e0, e1) << "level " << level << " trial " << trial << " row " << py;
                }
            }
            using enum console::gs::Attribute;
            const auto& p = t.planes;
            EXPECT_EQ(planes.x0, p[kAttrZ].x0);
            EXPECT_EQ(planes.y0, p[kAttrZ].y0);
            EXPECT_TRUE(same_planes(planes.zf, p[kAttrZ], p[kAttrF])) << "level " << level << " trial " << trial;
            if (env.prim.iip) {
                EXPECT_TRUE(same_planes(planes.rg, p[kAttrR], p[kAttrG])) << "level " << level << " trial " << trial;
                EXPECT_TRUE(same_planes(planes.ba, p[kAttrB], p[kAttrA])) << "level " << level << " trial " << trial;
            }
            if (env.prim.tme && env.prim.fst) {
                EXPECT_TRUE(same_planes(planes.st, p[kAttrU], p[kAttrV])) << "level " << level << " trial " << trial;
            }
            if (env.prim.tme && !env.prim.fst) {
                EXPECT_TRUE(same_planes(planes.st, p[kAttrS], p[kAttrT])) << "level " << level << " trial " << trial;
                EXPECT_TRUE(same_planes(planes.q, p[kAttrQ], p[kAttrQ])) << "level " << level << " trial " << trial;
            }
        }
    }
    console::gs::LimitSimdLevel(console::gs::HostSimdLevel());
    // Nearly half the triangles need the walker, at every level the host
    // runs (an emulator may run only the first).
    const long levels = static_cast<long>(console::gs::HostSimdLevel()) + 1;
    EXPECT_GT(walked, 1500 * levels);
    EXPECT_GT(rows, 150000 * levels);
}
