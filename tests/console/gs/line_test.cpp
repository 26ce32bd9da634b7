// Lines, line strips and points: which pixels they cover and the colours
// they carry.  A line walks its major axis from the pixel nearest its first
// vertex up to, not including, the pixel nearest its second; on the minor
// axis it takes the pixel nearest the line at each pixel's sample position.
// A point is the one pixel nearest its vertex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>

#include "console/gs/gs_draw_support.h"
#include "gs/gs.h"

using namespace gstest;
using console::gs::Psm;
using console::gs::ResetGs;
using console::gs::Vram;

namespace {

constexpr u32 kCT32 = 0x00;
constexpr u32 kFbw = 4;

using PixelSet = std::set<std::pair<int, int>>;

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

// floor(a / b), b > 0.
long long FloorDiv(long long a, long long b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Nearest pixel to a position in 1/16 pixel, halves rounding up.
int Nearest(long long c16)
{
    return static_cast<int>(FloorDiv(c16 + 8, 16));
}

// The pixels of the line (x0, y0)-(x1, y1), coordinates in 1/16 pixel, by the
// rule at the top of this file, in exact integers.
PixelSet LinePixels(long long x0, long long y0, long long x1, long long y1)
{
    const bool x_major = std::llabs(x1 - x0) >= std::llabs(y1 - y0);
    const long long a0 = x_major ? x0 : y0, a1 = x_major ? x1 : y1;
    const long long b0 = x_major ? y0 : x0, b1 = x_major ? y1 : x1;
    PixelSet out;
    const int first = Nearest(a0), last = Nearest(a1);
    const int step = last > first ? 1 : -1;
    for (int m = first; m != last; m += step) {
        // The line's minor coordinate at major position 16 m, limited to the
        // segment: b0 + (b1 - b0) * f with f = (16 m - a0) / (a1 - a0) in [0, 1].
        long long num = 16LL * m - a0, den = a1 - a0;
        if (den < 0) {
            num = -num;
            den = -den;
        }
        num = std::max(0LL, std::min(num, den));
        const int n = static_cast<int>(FloorDiv(b0 * den + (b1 - b0) * num + 8 * den, 16 * den));
        out.insert(x_major ? std::make_pair(m, n) : std::make_pair(n, m));
    }
    return out;
}

PixelSet Drawn(int w, int h)
{
    PixelSet out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (Pixel(x, y) != 0)
                out.insert({x, y});
    return out;
}

void Line(u32 x0, u32 y0, u32 x1, u32 y1, u64 c0, u64 c1, PrimBits p = {})
{
    p.type = 1;
    Write(GsReg::PRIM, Prim(p));
    Write(GsReg::RGBAQ, c0);
    Write(GsReg::XYZ2, Xyz(x0, y0, 0));
    Write(GsReg::RGBAQ, c1);
    Write(GsReg::XYZ2, Xyz(x1, y1, 0));
}

}  // namespace

TEST(GsLine, HorizontalLineStopsBeforeItsSecondVertex)
{
    Start();
    Line(2 * 16, 5 * 16, 10 * 16, 5 * 16, Rgbaq(9, 9, 9, 9), Rgbaq(9, 9, 9, 9));
    PixelSet expected;
    for (int x = 2; x < 10; ++x)
        expected.insert({x, 5});
    EXPECT_EQ(Drawn(32, 32), expected);

    // Drawn the other way it starts at x = 10 and stops before x = 2.
    Start();
    Line(10 * 16, 5 * 16, 2 * 16, 5 * 16, Rgbaq(9, 9, 9, 9), Rgbaq(9, 9, 9, 9));
    expected.clear();
    for (int x = 3; x <= 10; ++x)
        expected.insert({x, 5});
    EXPECT_EQ(Drawn(32, 32), expected);
}

TEST(GsLine, RandomLinesCoverThePixelsNearestTheirPath)
{
    std::mt19937 rng(21);
    std::uniform_int_distribution<int> coord(0, 60 * 16);
    for (int n = 0; n < 200; ++n) {
        Start();
        const int x0 = coord(rng), y0 = coord(rng);
        int x1 = coord(rng), y1 = coord(rng);
        if (n % 4 == 0)
            x1 = x0 + (y1 - y0);  // exactly diagonal
        if (x1 < 0)
            x1 = 0;
        Line(static_cast<u32>(x0), static_cast<u32>(y0), static_cast<u32>(x1), static_cast<u32>(y1),
             Rgbaq(0xFF, 0xFF, 0xFF, 0xFF), Rgbaq(0xFF, 0xFF, 0xFF, 0xFF));
        ASSERT_EQ(Drawn(128, 128), LinePixels(x0, y0, x1, y1))
            << "line " << n << ": (" << x0 << "," << y0 << ")-(" << x1 << "," << y1 << ")";
    }
}

TEST(GsLine, StripDrawsEachSegmentAndNotItsLastVertex)
{
    Start();
    const long long pts[5][2] = {{40, 40}, {500, 72}, {530, 600}, {100, 900}, {60, 300}};
    PrimBits p;
    p.type = 2;
    Write(GsReg::PRIM, Prim(p));
    Write(GsReg::RGBAQ, Rgbaq(0x10, 0x20, 0x30, 0x80));
    for (const auto& pt : pts)
        Write(GsReg::XYZ2, Xyz(static_cast<u32>(pt[0]), static_cast<u32>(pt[1]), 0));
    PixelSet expected;
    for (int i = 0; i + 1 < 5; ++i) {
        const PixelSet seg = LinePixels(pts[i][0], pts[i][1], pts[i + 1][0], pts[i + 1][1]);
        expected.insert(seg.begin(), seg.end());
    }
    EXPECT_EQ(Drawn(64, 64), expected);
    EXPECT_EQ(expected.count({Nearest(pts[4][0]), Nearest(pts[4][1])}), 0u);
}

TEST(GsLine, GouraudColourRunsFromTheFirstVertexToTheSecond)
{
    Start();
    const u32 x0 = 3 * 16 + 5, x1 = 50 * 16 + 2;
    PrimBits p;
    p.iip = true;
    Line(x0, 7 * 16, x1, 9 * 16, Rgbaq(0, 255, 40, 0x80), Rgbaq(255, 0, 200, 0x00), p);
    const u32 c0[4] = {0, 255, 40, 0x80}, c1[4] = {255, 0, 200, 0};
    int checked = 0;
    for (const auto& [x, y] : LinePixels(x0, 7 * 16, x1, 9 * 16)) {
        const double f = std::clamp((16.0 * x - x0) / (static_cast<double>(x1) - x0), 0.0, 1.0);
        for (int ch = 0; ch < 4; ++ch)
            EXPECT_NEAR(static_cast<double>(Channel(Pixel(x, y), ch)), c0[ch] + f * (double(c1[ch]) - c0[ch]), 1.0)
                << "channel " << ch << " at " << x;
        ++checked;
    }
    EXPECT_EQ(checked, 47);

    // Flat lines take the second vertex's colour.
    Start();
    Line(x0, 7 * 16, x1, 9 * 16, Rgbaq(0, 255, 40, 0x80), Rgbaq(255, 0, 200, 0x00));
    for (const auto& [x, y] : LinePixels(x0, 7 * 16, x1, 9 * 16))
        EXPECT_EQ(Pixel(x, y), Pack(255, 0, 200, 0)) << x;
}

TEST(GsPoint, CoversThePixelNearestItsVertex)
{
    Start();
    Write(GsReg::PRIM, Prim({.type = 0}));
    const u32 positions[][2] = {{5 * 16 + 7, 3 * 16}, {9 * 16 + 8, 3 * 16 + 9}, {20 * 16, 20 * 16 + 15}};
    const int expected[][2] = {{5, 3}, {10, 4}, {20, 21}};
    for (int i = 0; i < 3; ++i) {
        Write(GsReg::RGBAQ, Rgbaq(i + 1, 2, 3, 4));
        Write(GsReg::XYZ2, Xyz(positions[i][0], positions[i][1], 0));
    }
    PixelSet drawn = Drawn(32, 32);
    ASSERT_EQ(drawn.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Pixel(expected[i][0], expected[i][1]), Pack(i + 1, 2, 3, 4)) << i;
}

TEST(GsPoint, ScissorDropsPointsOutsideAndZIsTested)
{
    Start();
    Write(GsReg::SCISSOR_1, Scissor(4, 10, 4, 10));
    Write(GsReg::ZBUF_1, Zbuf(0x60, 0x30));
    Write(GsReg::TEST_1, TestReg({.zte = true, .ztst = 2}));  // GEQUAL
    Write(GsReg::PRIM, Prim({.type = 0}));
    Write(GsReg::RGBAQ, Rgbaq(1, 1, 1, 1));
    Write(GsReg::XYZ2, Xyz(3 * 16, 5 * 16, 50));   // left of the scissor
    Write(GsReg::XYZ2, Xyz(5 * 16, 5 * 16, 50));   // drawn
    Write(GsReg::RGBAQ, Rgbaq(2, 2, 2, 2));
    Write(GsReg::XYZ2, Xyz(5 * 16, 5 * 16, 40));   // behind: fails GEQUAL
    Write(GsReg::XYZ2, Xyz(11 * 16, 11 * 16, 90)); // outside
    EXPECT_EQ(Pixel(3, 5), 0u);
    EXPECT_EQ(Pixel(5, 5), Pack(1, 1, 1, 1));
    EXPECT_EQ(Vram().ReadPixel(Psm::kZ32, 0x60 * 32, kFbw, 5, 5), 50u);
    EXPECT_EQ(Pixel(11, 11), 0u);
}
