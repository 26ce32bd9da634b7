// The rasterizer's fast paths against the reference path: random primitives
// drawn with random drawing states over random memory must leave exactly the
// same bytes in local memory either way.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "console/gs/gs_draw_support.h"
#include "gs/drawthreads.h"
#include "gs/pipeline.h"
#include "gs/gs.h"
#include "gs/raster.h"
#include "gs/simd.h"

using namespace gstest;
using console::gs::ResetGs;
using console::gs::HostSimdLevel;
using console::gs::LimitSimdLevel;
using console::gs::SetReferencePath;
using console::gs::SimdLevel;
using console::gs::Vram;

namespace {

constexpr u32 kFramePsms[] = {0x00, 0x01, 0x02, 0x0A, 0x00, 0x00};  // CT32 weighted: its path is the fastest
constexpr u32 kZPsms[] = {0x30, 0x31, 0x32, 0x3A};
constexpr u32 kTexPsms[] = {0x00, 0x01, 0x02, 0x0A, 0x13, 0x14, 0x1B, 0x24, 0x2C, 0x00, 0x00};

// Everything one trial writes, as (register, value) pairs, so that both paths
// get the identical sequence.
struct Trial {
    std::vector<std::pair<GsReg, u64>> writes;
};

// Local memory's whole contents at random, to draw over.
std::vector<u8> RandomMemory(std::mt19937& rng)
{
    std::vector<u8> memory(console::gs::kMemoryBytes);
    for (auto& b : memory)
        b = static_cast<u8>(rng());
    return memory;
}

u32 Pick(std::mt19937& rng, u32 n)
{
    return static_cast<u32>(rng() % n);
}

bool Chance(std::mt19937& rng, u32 percent)
{
    return Pick(rng, 100) < percent;
}

float RandomFloat(std::mt19937& rng, float lo, float hi)
{
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

// With `masked_writes` every trial has an alpha test, mostly one whose
// outcome is the same for every pixel (NEVER or ALWAYS, each fail action),
// and often an FBMSK the game uses: the states of its stencil, copy and
// Z-only passes.
Trial MakeTrial(std::mt19937& rng, bool masked_writes = false)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };

    // Frame at page 0 (256 pixels wide), Z buffer (mostly) and texture further up.
    const bool simple = Chance(rng, 40);  // mostly the states the fast paths take
    const u32 fpsm = kFramePsms[Pick(rng, 6)];
    u32 fbmsk = simple || Chance(rng, 70) ? 0 : static_cast<u32>(rng());
    if (masked_writes) {
        constexpr u32 kGameMasks[] = {0, 0x808080, 0xFF000000, 0x3FFF};
        fbmsk = Chance(rng, 30) ? static_cast<u32>(rng()) : kGameMasks[Pick(rng, 4)];
    }
    w(GsReg::FRAME_1, Frame(0, 4, fpsm, fbmsk));
    // Now and then the Z buffer shares the frame's memory.
    w(GsReg::ZBUF_1, Zbuf(Chance(rng, 10) ? Pick(rng, 2) : 64, kZPsms[Pick(rng, 4)], Chance(rng, 20)));
    w(GsReg::XYOFFSET_1, Xyoffset(Pick(rng, 64), Pick(rng, 64)));
    const u32 sx0 = Pick(rng, 32), sy0 = Pick(rng, 32);
    w(GsReg::SCISSOR_1, Scissor(sx0, sx0 + 100 + Pick(rng, 150), sy0, sy0 + 100 + Pick(rng, 150)));
    TestBits test;
    test.ate = !simple && Chance(rng, 40);
    test.atst = Pick(rng, 8);
    test.aref = Pick(rng, 256);
    test.afail = Pick(rng, 4);
    test.date = !simple && Chance(rng, 30);
    if (masked_writes) {
        test.ate = true;
        test.atst = Chance(rng, 70) ? Pick(rng, 2) : Pick(rng, 8);  // NEVER, ALWAYS or any
        test.date = false;
    }
    test.datm = Pick(rng, 2);
    test.zte = Chance(rng, 60);
    test.ztst = Pick(rng, 4);
    w(GsReg::TEST_1, TestReg(test));
    // Any selectors, or the usual mix (Cs - Cd) x As + Cd, which the
    // writing stage has a path of its own for.
    if (Chance(rng, 25))
        w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, 0));
    else
        w(GsReg::ALPHA_1, Alpha(Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 256)));
    w(GsReg::PABE, Pick(rng, 2));
    w(GsReg::COLCLAMP, Pick(rng, 2));
    w(GsReg::FBA_1, Pick(rng, 2));
    w(GsReg::DTHE, Pick(rng, 2));
    w(GsReg::DIMX, (static_cast<u64>(rng()) << 32 | rng()) & 0x7777777777777777ull);
    w(GsReg::FOGCOL, Fogcol(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
    w(GsReg::SCANMSK, Chance(rng, 15) ? 2 + Pick(rng, 2) : 0);

    // Texture: any readable format, with a CLUT loaded from random memory.
    Tex0Bits tex;
    tex.tbp = 0x1000 + 32 * Pick(rng, 8);
    tex.tbw = 1 + Pick(rng, 4);
    tex.psm = kTexPsms[Pick(rng, 11)];
    tex.tw = 2 + Pick(rng, 7);
    tex.th = 2 + Pick(rng, 7);
    tex.tcc = Chance(rng, 50);
    tex.tfx = Pick(rng, 4);
    tex.cbp = 0x2000;
    tex.cpsm = Chance(rng, 50) ? 0x0 : (Chance(rng, 50) ? 0x2 : 0xA);
    tex.csa = Pick(rng, 32);
    tex.cld = 1;
    if (tex.cpsm == 0)
        tex.csa &= 15;
    w(GsReg::TEX0_1, Tex0(tex));
    Tex1Bits tex1;
    tex1.lcm = Chance(rng, 50);
    tex1.mxl = Pick(rng, 4);
    tex1.mmag = Chance(rng, 50);
    tex1.mmin = Pick(rng, 6);
    tex1.l = Pick(rng, 4);
    tex1.k16 = static_cast<s32>(Pick(rng, 96)) - 48;
    w(GsReg::TEX1_1, Tex1Full(tex1));
    w(GsReg::MIPTBP1_1, Miptbp(0x1100, 2, 0x1180, 1, 0x11C0, 1));
    w(GsReg::MIPTBP2_1, Miptbp(0x11E0, 1, 0x11F0, 1, 0x11F8, 1));
    const u32 wms = Pick(rng, 4), wmt = Pick(rng, 4);
    w(GsReg::CLAMP_1, Clamp(wms, wmt, Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
    w(GsReg::TEXA, Texa(Pick(rng, 256), Chance(rng, 50), Pick(rng, 256)));

    // One primitive of each kind's worth of vertices: points, lines, strips,
    // fans, triangles and sprites.
    PrimBits prim;
    prim.type = Pick(rng, 7);
    prim.iip = Chance(rng, 50);
    prim.tme = Chance(rng, 70);
    prim.fge = Chance(rng, 30);
    prim.abe = (!simple || masked_writes) && Chance(rng, 40);
    prim.fst = Chance(rng, 50);
    w(GsReg::PRIM, Prim(prim));
    const u32 vertices = prim.type == 6 ? 2 * (1 + Pick(rng, 3)) : 3 + Pick(rng, 4);
    for (u32 i = 0; i < vertices; ++i) {
        const float q = Chance(rng, 30) ? 1.0f : RandomFloat(rng, 0.05f, 4.0f);
        w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), q));
        w(GsReg::ST, St(RandomFloat(rng, -1.5f, 2.5f) * q, RandomFloat(rng, -1.5f, 2.5f) * q));
        w(GsReg::UV, Uv(Pick(rng, 1 << 13), Pick(rng, 1 << 13)));
        w(GsReg::FOG, FogReg(Pick(rng, 256)));
        w(GsReg::XYZ2, Xyz(Pick(rng, 300 * 16), Pick(rng, 300 * 16), static_cast<u32>(rng())));
    }
    return t;
}

// Local memory after the trial, drawn from `start` through the reference path
// or through the fast paths with `threads` draw threads and vector level
// `level`, into `out`.
void Draw(const Trial& t, const std::vector<u8>& start, bool reference, int threads, std::vector<u8>& out,
          SimdLevel level = HostSimdLevel())
{
    ResetGs(false);
    LimitSimdLevel(level);
    Vram().Load(start);
    SetReferencePath(reference);
    console::gs::SetDrawThreads(threads);
    for (const auto& [reg, value] : t.writes)
        Write(reg, value);
    SetReferencePath(false);
    out.assign(Vram().Bytes(), Vram().Bytes() + console::gs::kMemoryBytes);
}

// The vector levels the fast paths are compared at: SSE2 and every wider one
// the host runs.
const std::vector<SimdLevel> kLevels = [] {
    std::vector<SimdLevel> levels;
    for (int level = 0; level <= static_cast<int>(HostSimdLevel()); ++level)
        levels.push_back(static_cast<SimdLevel>(level));
    return levels;
}();

// The specialised pipelines on the calling thread and with 1, 2 and 8 draw
// threads, at each vector level, against the reference path.  A trial is `states` random states,
// each with its primitives, written one after another.
void CompareRandomTrials(u32 seed, int trials, bool masked_writes, int states = 1,
                         Trial (*make)(std::mt19937&, bool) = MakeTrial)
{
    std::mt19937 rng(seed);
    std::vector<u8> start = RandomMemory(rng);

    int changed = 0;
    const int kTrials = trials;
    std::vector<u8> reference, fast;
    for (int i = 0; i < kTrials && !::testing::Test::HasFailure(); ++i) {
        Trial trial = make(rng, masked_writes);
        for (int k = 1; k < states; ++k) {
            const Trial next = make(rng, masked_writes);
            trial.writes.insert(trial.writes.end(), next.writes.begin(), next.writes.end());
        }
        Draw(trial, start, true, 1, reference);
        if (reference != start)
            ++changed;
        for (SimdLevel level : kLevels)
            for (int threads : {0, 1, 2, 8}) {
                Draw(trial, start, false, threads, fast, level);
                if (reference != fast) {
                    size_t first = 0;
                    while (reference[first] == fast[first])
                        ++first;
                    ADD_FAILURE() << "trial " << i << ", " << threads << " threads, level " << static_cast<int>(level)
                                  << ": first difference at byte 0x" << std::hex << first;
                    break;
                }
            }
        // The next trial starts from what this one drew.
        std::swap(start, reference);
    }
    // The trials must really draw, or the comparison proves nothing.
    EXPECT_GT(changed, kTrials / 2);
    ResetGs(true);
}

TEST(GsFastPath, RandomPrimitivesAndStatesLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261207, 2000, false);
}

// More trials at both vector levels: two states a trial, then textures
// read from decoded copies.  The level is set for each drawing by Draw, so
// the SSE2 limit set first holds only until the first trial.
TEST(GsFastPath, RandomPrimitivesWithTheSse2PipelinesLeaveTheSameMemoryAsTheReference)
{
    using console::gs::SimdLevel;
    console::gs::LimitSimdLevel(SimdLevel::kSse2);
    EXPECT_EQ(console::gs::ActiveSimdLevel(), SimdLevel::kSse2);
    CompareRandomTrials(20261209, 600, false, 2);
    console::gs::DecodeTexturesAtFirstUse(true);
    CompareRandomTrials(20261210, 600, false);
    console::gs::DecodeTexturesAtFirstUse(false);
    console::gs::LimitSimdLevel(console::gs::HostSimdLevel());
}

// A buffer read through another layout into itself, as the pass that turns
// the Z buffer into alpha does: 16-bit frames read as Z16, Z16S or the
// other 16-bit colour layout (32-bit ones as Z32 or Z24), each sprite eight
// pixels wide copying the left half of its 16-pixel column onto the right
// half, under the masks such passes write with (mostly the top two bits),
// dithered or not, nearest or bilinear; now and then a sprite at any offset,
// whose texels and pixels share bytes.
Trial MakeLayoutShuffleTrial(std::mt19937& rng, bool)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    const bool wide = Chance(rng, 25);
    const u32 fpsm = wide ? 0x00 : (Chance(rng, 50) ? 0x02 : 0x0A);
    constexpr u32 kNarrowTextures[] = {0x32, 0x3A, 0x02, 0x0A};
    constexpr u32 kWideTextures[] = {0x30, 0x31, 0x00};
    const u32 tpsm = wide ? kWideTextures[Pick(rng, 3)] : kNarrowTextures[Pick(rng, 4)];
    constexpr u32 kMasks[] = {0x3FFF, 0x3FFF, 0xC000, 0, 0x7FFF};
    const u32 fbmsk = Chance(rng, 15) ? static_cast<u32>(rng()) : kMasks[Pick(rng, 5)];
    w(GsReg::FRAME_1, Frame(0, 4, fpsm, fbmsk));
    w(GsReg::ZBUF_1, Zbuf(64, 0x31, Chance(rng, 50)));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
    TestBits test;
    test.ate = Chance(rng, 60);
    test.atst = Chance(rng, 70) ? 0 : Pick(rng, 8);
    test.afail = Chance(rng, 70) ? 1 : Pick(rng, 4);
    test.aref = Pick(rng, 256);
    test.zte = Chance(rng, 20);
    test.ztst = Pick(rng, 4);
    w(GsReg::TEST_1, TestReg(test));
    w(GsReg::ALPHA_1, Alpha(Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 256)));
    w(GsReg::DTHE, Pick(rng, 2));
    w(GsReg::DIMX, (static_cast<u64>(rng()) << 32 | rng()) & 0x7777777777777777ull);
    w(GsReg::COLCLAMP, Pick(rng, 2));
    w(GsReg::FBA_1, Chance(rng, 20));
    Tex0Bits tex;
    tex.tbp = 0;
    tex.tbw = 4;
    tex.psm = tpsm;
    tex.tw = 10;
    tex.th = 10;
    tex.tcc = Chance(rng, 80);
    tex.tfx = Chance(rng, 70) ? 1 : Pick(rng, 4);
    w(GsReg::TEX0_1, Tex0(tex));
    w(GsReg::TEX1_1, Tex1(Chance(rng, 30), 0));
    w(GsReg::CLAMP_1, Clamp(0, 0));
    w(GsReg::TEXA, Texa(Pick(rng, 256), Chance(rng, 30), 0x80));
    PrimBits prim;
    prim.tme = true;
    prim.abe = Chance(rng, 20);
    prim.fst = true;
    w(GsReg::PRIM, Prim(prim));
    w(GsReg::RGBAQ, Rgbaq(0x80, 0x80, 0x80, 0x80));
    const u32 height = 8 + Pick(rng, 120), first = Pick(rng, 8), count = 1 + Pick(rng, 8);
    for (u32 i = first; i < first + count; ++i) {
        w(GsReg::UV, Uv(256 * i + 8, 8));
        w(GsReg::XYZ2, Xyz((16 * i + 8) * 16, 0, 0));
        w(GsReg::UV, Uv(256 * i + 136, 16 * height + 8));
        w(GsReg::XYZ2, Xyz((16 * i + 16) * 16, height * 16, 0));
    }
    if (Chance(rng, 25)) {
        const u32 x = Pick(rng, 200), y = Pick(rng, 200);
        w(GsReg::UV, Uv(Pick(rng, 256 * 16), Pick(rng, 256 * 16)));
        w(GsReg::XYZ2, Xyz(x * 16, y * 16, 0));
        w(GsReg::UV, Uv(Pick(rng, 256 * 16), Pick(rng, 256 * 16)));
        w(GsReg::XYZ2, Xyz((x + 1 + Pick(rng, 40)) * 16, (y + 1 + Pick(rng, 40)) * 16, 0));
    }
    return t;
}

TEST(GsFastPath, SpritesReadingTheirOwnBufferThroughAnotherLayoutLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261210, 200, false, 1, MakeLayoutShuffleTrial);
}

// Strips of small triangles into a 32- or 24-bit frame, over a Z buffer of
// their own (32 or 24 bits, any test, written or not) or with no depth test,
// Gouraud or textured, now and then with FBA, opaque or blended (any
// selectors with or without PABE, or the usual mix): row pieces start and
// end at every offset of their columns' groups of pixels, and the Z values
// of strips drawn over each other pass and fail pixel by pixel.
Trial StripsOverTheirOwnZBuffer(std::mt19937& rng, bool blended)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    w(GsReg::FRAME_1, Frame(0, 4, Chance(rng, 60) ? 0x00 : 0x01));
    w(GsReg::ZBUF_1, Zbuf(64, Chance(rng, 50) ? 0x30 : 0x31, Chance(rng, 25)));
    w(GsReg::XYOFFSET_1, Xyoffset(Pick(rng, 64), Pick(rng, 64)));
    const u32 sx0 = Pick(rng, 16), sy0 = Pick(rng, 16);
    w(GsReg::SCISSOR_1, Scissor(sx0, sx0 + 180 + Pick(rng, 60), sy0, sy0 + 90 + Pick(rng, 20)));
    w(GsReg::TEST_1, TestReg({.zte = Chance(rng, 85), .ztst = Pick(rng, 4)}));
    w(GsReg::PABE, 0);
    w(GsReg::COLCLAMP, Pick(rng, 2));
    w(GsReg::FBA_1, Chance(rng, 30));
    w(GsReg::DTHE, 0);
    w(GsReg::SCANMSK, 0);
    if (blended) {
        if (Chance(rng, 40))
            w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, 0));
        else
            w(GsReg::ALPHA_1, Alpha(Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 256)));
        w(GsReg::PABE, Pick(rng, 2));
    }
    Tex0Bits tex;
    tex.tbp = 0x1000;
    tex.tbw = 2;
    tex.tw = 7;
    tex.th = 7;
    tex.tcc = Chance(rng, 50);
    tex.tfx = Pick(rng, 4);
    w(GsReg::TEX0_1, Tex0(tex));
    w(GsReg::TEX1_1, Tex1(Chance(rng, 50), 1));
    w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
    const bool wide_z = Chance(rng, 50);
    // Now and then every vertex has one Z, so later strips meet the very
    // values the earlier ones wrote: the tests' equal cases.
    const bool one_z = Chance(rng, 30);
    const u32 z_all = wide_z ? static_cast<u32>(rng()) : Pick(rng, 1 << 24);
    for (int strip = 0; strip < 3; ++strip) {
        const PrimBits prim{.type = 4, .iip = Chance(rng, 70), .tme = Chance(rng, 60), .abe = blended, .fst = Chance(rng, 50)};
        const u32 quad = 3 + Pick(rng, 14), x0 = Pick(rng, 40), y0 = Pick(rng, 60);
        for (u32 row = 0; row < 1 + Pick(rng, 3); ++row) {
            w(GsReg::PRIM, Prim(prim));
            for (u32 i = 0; i <= 3 + Pick(rng, 12); ++i)
                for (u32 k = 0; k < 2; ++k) {
                    const float q = RandomFloat(rng, 0.5f, 2.0f);
                    w(GsReg::ST, St(RandomFloat(rng, -0.2f, 1.2f) * q, RandomFloat(rng, -0.2f, 1.2f) * q));
                    w(GsReg::UV, Uv(Pick(rng, 1 << 11), Pick(rng, 1 << 11)));
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), q));
                    const u32 x = x0 + i * quad, y = y0 + (row + k) * quad;
                    const u32 z = wide_z ? static_cast<u32>(rng()) : Pick(rng, 1 << 24);
                    w(GsReg::XYZ2, Xyz(x * 16 + Pick(rng, 16), y * 16 + Pick(rng, 16), one_z ? z_all : z));
                }
        }
    }
    return t;
}

Trial OpaqueStrips(std::mt19937& rng, bool)
{
    return StripsOverTheirOwnZBuffer(rng, false);
}

Trial BlendedStrips(std::mt19937& rng, bool)
{
    return StripsOverTheirOwnZBuffer(rng, true);
}

TEST(GsFastPath, OpaqueTriangleStripsOverTheirOwnZBufferLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261208, 150, false, 1, OpaqueStrips);
}

TEST(GsFastPath, BlendedTriangleStripsOverTheirOwnZBufferLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261211, 150, false, 1, BlendedStrips);
}

// Primitives queued to the draw threads keep the state they were sent in
// while the next state's registers are written (a triangle's state is
// prepared once and shared by the triangles drawn in it).
TEST(GsFastPath, PrimitivesQueuedAcrossStateChangesLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261208, 150, false, 6);
}

// Alpha tests of one outcome for the whole primitive and FBMSK are taken by
// the specialised pipelines' writing stage.
TEST(GsFastPath, AlphaTestFailActionsAndFrameMasksLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(1207, 400, true);
}

// A frame's life as the game draws it: buffer A cleared and drawn into,
// copied in strips by a bilinear sprite into buffer B (so each pixel row
// reads texel rows of the next band), then A cleared and drawn again while
// the copy may still be queued, and copied once more.  The copy must read A
// as it was, whatever the threads are doing.
Trial FrameAndCopies(std::mt19937& rng)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    Tex0Bits tex;
    tex.tbp = 0;  // buffer A at page 0, 256 x 128 CT32
    tex.tbw = 4;
    tex.psm = 0x00;
    tex.tw = 8;
    tex.th = 7;
    tex.tfx = 1;  // DECAL
    tex.tcc = true;
    for (int pass = 0; pass < 2; ++pass) {
        // Draw into A: a clear and some Gouraud triangles.
        w(GsReg::FRAME_1, Frame(0, 4, 0x00));
        w(GsReg::ZBUF_1, Zbuf(64, 0x31, true));
        w(GsReg::TEST_1, 0);
        w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 127));
        w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
        w(GsReg::PRIM, Prim({6, false, false, false, false, false}));
        w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
        w(GsReg::XYZ2, Xyz(0, 0, 0));
        w(GsReg::XYZ2, Xyz(256 * 16, 128 * 16, 0));
        w(GsReg::PRIM, Prim({4, true, false, false, false, false}));
        for (int i = 0; i < 12; ++i) {
            w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
            w(GsReg::XYZ2, Xyz(Pick(rng, 256 * 16), Pick(rng, 128 * 16), 0));
        }
        // Copy A to B (page 16) in 32-pixel strips, half a texel off so that
        // the filter mixes rows.
        w(GsReg::FRAME_1, Frame(16, 4, pass == 0 ? 0x00 : 0x0A));
        w(GsReg::DTHE, pass);
        w(GsReg::TEX0_1, Tex0(tex));
        w(GsReg::TEX1_1, Tex1(true, 1));
        w(GsReg::CLAMP_1, Clamp(2, 2, 0, 255, 0, 127));
        w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
        for (u32 x = 0; x < 256; x += 32) {
            w(GsReg::UV, Uv(x * 16 + 16, 16));
            w(GsReg::XYZ2, Xyz(x * 16, 0, 0));
            w(GsReg::UV, Uv((x + 32) * 16 + 16, 128 * 16 + 16));
            w(GsReg::XYZ2, Xyz((x + 32) * 16, 128 * 16, 0));
        }
    }
    return t;
}

TEST(GsFastPath, CopiesOfAFrameBeingRedrawnReadItAsTheReferenceDoes)
{
    std::mt19937 rng(7);
    const std::vector<u8> start(console::gs::kMemoryBytes, 0);
    std::vector<u8> reference, fast;
    for (int i = 0; i < 20 && !HasFailure(); ++i) {
        const Trial trial = FrameAndCopies(rng);
        Draw(trial, start, true, 0, reference);
        for (SimdLevel level : kLevels)
            for (int threads : {0, 1, 2, 8}) {
                Draw(trial, start, false, threads, fast, level);
                EXPECT_TRUE(reference == fast)
                    << "trial " << i << ", " << threads << " threads, level " << static_cast<int>(level);
            }
    }
    ResetGs(true);
}

// Streams of small triangles, queued as their vertices, alternate between
// drawing into one buffer and texturing from it into another, so that every
// state reads what queued triangles of the one before write (and the next
// writes what it reads).
Trial TriangleStreams(std::mt19937& rng)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    auto strip = [&](u32 x0, u32 y0, u32 quad, u32 across, u32 rows, bool textured) {
        for (u32 row = 0; row < rows; ++row) {
            w(GsReg::PRIM, Prim({4, true, textured, false, false, false, false}));
            for (u32 i = 0; i <= across; ++i)
                for (u32 k = 0; k < 2; ++k) {
                    const u32 x = x0 + i * quad, y = y0 + (row + k) * quad;
                    const float q = RandomFloat(rng, 0.5f, 2.0f);
                    w(GsReg::ST, St(RandomFloat(rng, -0.2f, 1.2f) * q, RandomFloat(rng, -0.2f, 1.2f) * q));
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128, q));
                    w(GsReg::XYZ2, Xyz(x * 16 + Pick(rng, 16), y * 16 + Pick(rng, 16), Pick(rng, 1 << 24)));
                }
        }
    };
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 127));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::TEST_1, TestReg({.zte = true, .ztst = 2}));
    w(GsReg::TEX1_1, Tex1(true, 1));
    w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
    for (int pass = 0; pass < 6; ++pass) {
        // Into A (page 0), Gouraud, or textured from C (page 32).
        const bool from_c = Chance(rng, 50);
        w(GsReg::FRAME_1, Frame(0, 4, 0x00));
        w(GsReg::ZBUF_1, Zbuf(64, 0x31, false));
        Tex0Bits tex;
        tex.tbp = 32 * 32;
        tex.tbw = 4;
        tex.tw = 8;
        tex.th = 7;
        tex.tfx = 0;
        w(GsReg::TEX0_1, Tex0(tex));
        strip(Pick(rng, 64), Pick(rng, 32), 4 + Pick(rng, 8), 8 + Pick(rng, 16), 4 + Pick(rng, 6), from_c);
        // Into C, textured from A.
        w(GsReg::FRAME_1, Frame(32, 4, Chance(rng, 50) ? 0x00 : 0x0A));
        w(GsReg::ZBUF_1, Zbuf(96, 0x31, false));
        tex.tbp = 0;
        w(GsReg::TEX0_1, Tex0(tex));
        strip(Pick(rng, 64), Pick(rng, 32), 4 + Pick(rng, 8), 8 + Pick(rng, 16), 4 + Pick(rng, 6), true);
    }
    return t;
}

TEST(GsFastPath, StreamsOfSmallTrianglesReadingWhatOthersDrewLeaveTheSameMemoryAsTheReference)
{
    std::mt19937 rng(11);
    std::vector<u8> start = RandomMemory(rng);
    std::vector<u8> reference, fast;
    for (int i = 0; i < 12 && !HasFailure(); ++i) {
        const Trial trial = TriangleStreams(rng);
        console::gs::DecodeTexturesAtFirstUse(i % 2 == 1);
        Draw(trial, start, true, 0, reference);
        EXPECT_TRUE(reference != start);
        for (int threads : {0, 1, 2, 8}) {
            Draw(trial, start, false, threads, fast);
            EXPECT_TRUE(reference == fast) << "trial " << i << ", " << threads << " threads";
        }
    }
    console::gs::DecodeTexturesAtFirstUse(false);
    ResetGs(true);
}

// Triangles whose attributes reach the edges of what the row conversions
// handle: slivers, whose steep planes take colours, Z and fog far outside
// their ranges within a row (Z about 0, 2^30, 2^31 and 2^32 besides any
// value), and Q, S and T of every kind a float can hold (zero of either sign,
// negative, tiny, subnormal, huge, infinite, not a number), at both vector
// levels and every thread count.
float EdgeFloat(std::mt19937& rng)
{
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const float kinds[] = {0.0f,  -0.0f, 1.0f, -1.0f, 1e-30f, -1e-30f, 1e-44f, 3e38f, -3e38f, kInf,
                           -kInf, std::numeric_limits<float>::quiet_NaN(), 1e6f, -1e6f, 0.5f, 2.0f};
    return Chance(rng, 50) ? kinds[Pick(rng, 16)] : RandomFloat(rng, -4.0f, 4.0f);
}

u32 EdgeDepth(std::mt19937& rng)
{
    const u32 near[] = {0u, 1u << 30, 1u << 31, 0xFFFFFFFFu};
    const u32 base = near[Pick(rng, 4)];
    switch (Pick(rng, 3)) {
    case 0: return base + Pick(rng, 64);
    case 1: return base - Pick(rng, 64);
    default: return static_cast<u32>(rng());
    }
}

// A random texture at block 0x1000 of up to 256 x 256 texels: bilinear
// `linear_percent` of the time, random wrap modes, fog colour, texture
// function and alpha source.
template <class Write>
void WriteRandomTexture(std::mt19937& rng, int linear_percent, Write w)
{
    w(GsReg::TEX1_1, Tex1(Chance(rng, linear_percent), 1));
    w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
    w(GsReg::FOGCOL, Fogcol(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
    Tex0Bits tex;
    tex.tbp = 0x1000;
    tex.tbw = 4;
    tex.tw = 2 + Pick(rng, 7);
    tex.th = 2 + Pick(rng, 7);
    tex.tfx = Pick(rng, 4);
    tex.tcc = Chance(rng, 50);
    w(GsReg::TEX0_1, Tex0(tex));
}

Trial EdgeAttributeTriangles(std::mt19937& rng, bool)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    w(GsReg::FRAME_1, Frame(0, 4, 0x00));
    w(GsReg::ZBUF_1, Zbuf(64, kZPsms[Pick(rng, 4)], false));
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::TEST_1, TestReg({.zte = true, .ztst = 1 + Pick(rng, 3)}));
    WriteRandomTexture(rng, 70, w);
    for (int k = 0; k < 24; ++k) {
        PrimBits prim;
        prim.type = 3;  // triangles
        prim.iip = Chance(rng, 80);
        prim.tme = Chance(rng, 70);
        prim.fge = Chance(rng, 30);
        prim.fst = Chance(rng, 30);
        w(GsReg::PRIM, Prim(prim));
        // A sliver: the third vertex a fraction of a pixel off the line
        // through the first two, or now and then an ordinary triangle.
        const bool sliver = Chance(rng, 75);
        const s32 x0 = static_cast<s32>(Pick(rng, 200 * 16)), y0 = static_cast<s32>(Pick(rng, 200 * 16));
        const s32 dx = static_cast<s32>(Pick(rng, 60 * 16)) + 16, dy = static_cast<s32>(Pick(rng, 60 * 16)) - 30 * 16;
        const s32 xs[3] = {x0, x0 + dx, sliver ? x0 + dx / 2 + static_cast<s32>(Pick(rng, 5)) - 2
                                               : x0 + static_cast<s32>(Pick(rng, 60 * 16))};
        const s32 ys[3] = {y0, y0 + dy, sliver ? y0 + dy / 2 + static_cast<s32>(Pick(rng, 9)) + 1
                                               : y0 + static_cast<s32>(Pick(rng, 60 * 16))};
        for (int v = 0; v < 3; ++v) {
            const float q = Chance(rng, 40) ? EdgeFloat(rng) : RandomFloat(rng, 0.05f, 4.0f);
            w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), q));
            w(GsReg::ST, Chance(rng, 40) ? St(EdgeFloat(rng), EdgeFloat(rng))
                                         : St(RandomFloat(rng, -1.5f, 2.5f) * q, RandomFloat(rng, -1.5f, 2.5f) * q));
            w(GsReg::UV, Uv(Pick(rng, 1 << 14), Pick(rng, 1 << 14)));
            w(GsReg::FOG, FogReg(Pick(rng, 256)));
            w(GsReg::XYZ2, Xyz(static_cast<u32>(std::clamp(xs[v], 0, 0xFFFF)), static_cast<u32>(std::clamp(ys[v], 0, 0xFFFF)),
                               EdgeDepth(rng)));
        }
    }
    return t;
}

TEST(GsFastPath, TrianglesWithAttributesAtTheEdgesOfTheirRangesLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261208, 60, false, 1, EdgeAttributeTriangles);
}

// Triangles at the edges of set-up: with no area (all three vertices on a
// line, or two at one place), wholly outside the scissor on any side,
// crossing its edges, with level and upright edges, smaller than a pixel,
// and reaching far outside the window from coordinates near the ends of
// their range (the offset making them negative or past the screen), flat or
// Gouraud, textured or not, over rows masked or not.  With the draw threads
// the larger ones cross many bands, each band walking only its own rows.
Trial SetUpEdgeTriangles(std::mt19937& rng, bool)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    w(GsReg::FRAME_1, Frame(0, 4, Chance(rng, 70) ? 0x00 : 0x02));
    w(GsReg::ZBUF_1, Zbuf(64, kZPsms[Pick(rng, 4)], Chance(rng, 20)));
    const u32 ofx = Chance(rng, 30) ? Pick(rng, 1 << 16) : 2048 * 16, ofy = Chance(rng, 30) ? Pick(rng, 1 << 16) : 2048 * 16;
    w(GsReg::XYOFFSET_1, Xyoffset(ofx, ofy));
    const u32 sx0 = Pick(rng, 64), sy0 = Pick(rng, 64);
    w(GsReg::SCISSOR_1, Scissor(sx0, sx0 + Pick(rng, 190), sy0, sy0 + Pick(rng, 190)));
    w(GsReg::TEST_1, TestReg({.zte = Chance(rng, 70), .ztst = Pick(rng, 4)}));
    w(GsReg::SCANMSK, Chance(rng, 20) ? 2 + Pick(rng, 2) : 0);
    WriteRandomTexture(rng, 60, w);
    // Window coordinates of the scissor's corners, in 1/16 pixel.
    const s32 left = static_cast<s32>(ofx + sx0 * 16), top = static_cast<s32>(ofy + sy0 * 16);
    for (int k = 0; k < 16; ++k) {
        PrimBits prim;
        prim.type = 3 + Pick(rng, 3);  // triangles, strips, fans
        prim.iip = Chance(rng, 60);
        prim.tme = Chance(rng, 60);
        prim.fge = Chance(rng, 30);
        prim.fst = Chance(rng, 40);
        w(GsReg::PRIM, Prim(prim));
        s32 xs[3], ys[3];
        const s32 cx = left + static_cast<s32>(Pick(rng, 260 * 16)) - 30 * 16;
        const s32 cy = top + static_cast<s32>(Pick(rng, 260 * 16)) - 30 * 16;
        const s32 size = 16 * static_cast<s32>(Chance(rng, 30) ? 1 + Pick(rng, 3) : 1 + Pick(rng, 120));
        auto near = [&](s32 c) { return c + static_cast<s32>(Pick(rng, 2 * size + 1)) - size; };
        for (int v = 0; v < 3; ++v) {
            xs[v] = near(cx);
            ys[v] = near(cy);
        }
        switch (Pick(rng, 7)) {
        case 0:  // on one line
            xs[2] = xs[0] + 2 * (xs[1] - xs[0]);
            ys[2] = ys[0] + 2 * (ys[1] - ys[0]);
            break;
        case 1:  // two vertices at one place
            xs[1] = xs[0];
            ys[1] = ys[0];
            break;
        case 2:  // a level and an upright edge, on pixel centres or not
            ys[1] = ys[0];
            xs[2] = Chance(rng, 50) ? xs[0] : xs[1];
            break;
        case 3:  // wholly outside the scissor, on any side
            for (int v = 0; v < 3; ++v) {
                (Chance(rng, 50) ? xs[v] : ys[v]) += (Chance(rng, 50) ? 1 : -1) * 400 * 16;
            }
            break;
        case 4:  // from the ends of the coordinate range
            for (int v = 0; v < 3; ++v) {
                xs[v] = Chance(rng, 50) ? static_cast<s32>(Pick(rng, 64)) : 0xFFFF - static_cast<s32>(Pick(rng, 64));
                ys[v] = Chance(rng, 50) ? static_cast<s32>(Pick(rng, 1 << 16)) : cy;
            }
            break;
        default: break;  // an ordinary one, often crossing the scissor's edges
        }
        for (int v = 0; v < 3; ++v) {
            const float q = Chance(rng, 60) ? 1.0f : RandomFloat(rng, 0.25f, 2.0f);
            w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), q));
            w(GsReg::ST, St(RandomFloat(rng, -1.5f, 2.5f) * q, RandomFloat(rng, -1.5f, 2.5f) * q));
            w(GsReg::UV, Uv(Pick(rng, 1 << 14), Pick(rng, 1 << 14)));
            w(GsReg::FOG, FogReg(Pick(rng, 256)));
            w(GsReg::XYZ2, Xyz(static_cast<u32>(std::clamp(xs[v], 0, 0xFFFF)),
                               static_cast<u32>(std::clamp(ys[v], 0, 0xFFFF)), EdgeDepth(rng)));
        }
    }
    return t;
}

TEST(GsFastPath, TrianglesAtTheEdgesOfSetUpLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261212, 120, false, 1, SetUpEdgeTriangles);
}

// Triangles whose lowest vertex or level bottom edge lies exactly on a row,
// mostly a multiple of 8 (half of them a band's first row), on pixel centres or
// between them, some of them less than a row tall, through an offset of a
// fraction of a pixel (only the window coordinates lie on the row): the
// draw threads send such a last row to no band, its samples all lying on
// edges that drop them.  Some end a little below the row instead.
Trial TrianglesEndingOnRows(std::mt19937& rng, bool)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    w(GsReg::FRAME_1, Frame(0, 4, Chance(rng, 70) ? 0x00 : 0x02));
    w(GsReg::ZBUF_1, Zbuf(64, kZPsms[Pick(rng, 4)], Chance(rng, 20)));
    const u32 ofx = 1024 * 16 + Pick(rng, 64), ofy = 1024 * 16 + Pick(rng, 64);
    w(GsReg::XYOFFSET_1, Xyoffset(ofx, ofy));
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
    w(GsReg::TEST_1, TestReg({.zte = Chance(rng, 70), .ztst = Pick(rng, 4)}));
    WriteRandomTexture(rng, 60, w);
    for (int k = 0; k < 24; ++k) {
        PrimBits prim;
        prim.type = Chance(rng, 70) ? 3 : 4;  // triangles, or a strip of quads on one bottom row
        prim.iip = Chance(rng, 60);
        prim.tme = Chance(rng, 60);
        prim.fst = Chance(rng, 40);
        w(GsReg::PRIM, Prim(prim));
        const s32 row = Chance(rng, 80) ? 8 * static_cast<s32>(1 + Pick(rng, 30)) : static_cast<s32>(1 + Pick(rng, 250));
        // Now and then a little below the row, which it then covers.
        const s32 bottom = row * 16 + (Chance(rng, 25) ? static_cast<s32>(Pick(rng, 16)) : 0);
        auto height = [&] { return Chance(rng, 30) ? 1 + static_cast<s32>(Pick(rng, 15)) : 1 + static_cast<s32>(Pick(rng, 40 * 16)); };
        auto column = [&] { return Chance(rng, 50) ? 16 * static_cast<s32>(Pick(rng, 250)) : static_cast<s32>(Pick(rng, 250 * 16)); };
        std::vector<std::pair<s32, s32>> points;
        if (prim.type == 4) {
            const s32 top = bottom - height(), step = 16 * (1 + static_cast<s32>(Pick(rng, 24)));
            for (s32 x = column() % (64 * 16); x < 250 * 16; x += step) {
                points.emplace_back(x, top);
                points.emplace_back(x, bottom);
            }
        } else {
            const bool level = Chance(rng, 40);  // a level bottom edge, or one lowest vertex
            points = {{column(), bottom}, {column(), level ? bottom : bottom - height()}, {column(), bottom - height()}};
        }
        for (const auto& [x, y] : points) {
            const float q = Chance(rng, 60) ? 1.0f : RandomFloat(rng, 0.25f, 2.0f);
            w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), q));
            w(GsReg::ST, St(RandomFloat(rng, -1.5f, 2.5f) * q, RandomFloat(rng, -1.5f, 2.5f) * q));
            w(GsReg::UV, Uv(Pick(rng, 1 << 14), Pick(rng, 1 << 14)));
            w(GsReg::XYZ2, Xyz(ofx + static_cast<u32>(x), ofy + static_cast<u32>(y), EdgeDepth(rng)));
        }
    }
    return t;
}

TEST(GsFastPath, TrianglesEndingExactlyOnARowLeaveTheSameMemoryAsTheReference)
{
    CompareRandomTrials(20261213, 60, false, 1, TrianglesEndingOnRows);
}

// Streams longer than the draw queue: tens of thousands of triangles of a
// few pixels, strip after strip down the screen, with a textured sprite
// (which waits for a record of its own) after every few strips, into A and
// then into C reading A.  The queue fills and goes round many times, the
// sprites wait for records the triangles' bands are still using, and rows far
// apart wait behind one slow band.
Trial LongStreams(std::mt19937& rng)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::TEST_1, TestReg({.zte = true, .ztst = 2}));
    w(GsReg::TEX1_1, Tex1(true, 1));
    w(GsReg::CLAMP_1, Clamp(0, 0));
    Tex0Bits tex;
    tex.tbw = 4;
    tex.tw = 8;
    tex.th = 8;
    for (int pass = 0; pass < 2; ++pass) {
        w(GsReg::FRAME_1, Frame(pass == 0 ? 0 : 32, 4, 0x00));
        w(GsReg::ZBUF_1, Zbuf(64, 0x31, false));
        tex.tbp = pass == 0 ? 96 * 32 : 0;  // then C reads A, drawn just before
        w(GsReg::TEX0_1, Tex0(tex));
        const u32 quad = 2 + Pick(rng, 2);
        const u32 across = 200 / quad;
        for (u32 y = Pick(rng, 4); y + quad < 250; y += quad) {
            const bool textured = Chance(rng, 70);
            w(GsReg::PRIM, Prim({4, true, textured, false, false, false, false}));
            for (u32 i = 0; i <= across; ++i)
                for (u32 k = 0; k < 2; ++k) {
                    const float q = RandomFloat(rng, 0.5f, 2.0f);
                    w(GsReg::ST, St(RandomFloat(rng, -0.2f, 1.2f) * q, RandomFloat(rng, -0.2f, 1.2f) * q));
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128, q));
                    w(GsReg::XYZ2, Xyz((8 + i * quad) * 16 + Pick(rng, 16), (y + k * quad) * 16 + Pick(rng, 16),
                                       Pick(rng, 1 << 24)));
                }
            if (Chance(rng, 15)) {
                // A textured sprite over the strips drawn so far.
                w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
                const u32 sx = Pick(rng, 200), sy = Pick(rng, y + 1);
                w(GsReg::RGBAQ, Rgbaq(128, 128, 128, 128));
                w(GsReg::UV, Uv(Pick(rng, 64) * 16, Pick(rng, 64) * 16));
                w(GsReg::XYZ2, Xyz(sx * 16, sy * 16, Pick(rng, 1 << 24)));
                w(GsReg::UV, Uv(Pick(rng, 256) * 16, Pick(rng, 256) * 16));
                w(GsReg::XYZ2, Xyz((sx + 16 + Pick(rng, 40)) * 16, (sy + 16 + Pick(rng, 40)) * 16, Pick(rng, 1 << 24)));
            }
        }
    }
    return t;
}

TEST(GsFastPath, StreamsLongerThanTheQueueLeaveTheSameMemoryAsTheReference)
{
    std::mt19937 rng(1208);
    std::vector<u8> start = RandomMemory(rng);
    std::vector<u8> reference, fast;
    for (int i = 0; i < 2 && !HasFailure(); ++i) {
        const Trial trial = LongStreams(rng);
        Draw(trial, start, true, 0, reference);
        EXPECT_TRUE(reference != start);
        for (SimdLevel level : kLevels)
            for (int threads : {0, 1, 2, 8}) {
                Draw(trial, start, false, threads, fast, level);
                EXPECT_TRUE(reference == fast)
                    << "trial " << i << ", " << threads << " threads, level " << static_cast<int>(level);
            }
        std::swap(start, reference);
    }
    ResetGs(true);
}

// Runs of triangles whose states change between strips while they write
// the same buffers and read the same blocks (the texture function, format,
// wrap modes and TEXA change; the texture is found again), into both halves of
// buffer A and into B, reading a texture that lies in A's lower half: rows
// of A that a run's triangles covered, or only rows between them, are read
// by the next run, and A's upper half is drawn while it reads the lower.
Trial RunsAcrossStates(std::mt19937& rng)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    Tex0Bits tex;
    tex.tbp = 16 * 32;  // A's rows 128 to 255
    tex.tbw = 4;
    tex.tw = 8;
    tex.th = 7;
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::TEX1_1, Tex1(true, 1));
    for (int pass = 0; pass < 8; ++pass) {
        const u32 kind = Pick(rng, 3);  // into A (Gouraud), into B from A, into A's upper half from its lower
        const bool textured = kind != 0;
        w(GsReg::FRAME_1, Frame(kind == 1 ? 96 : 0, 4, 0x00));
        w(GsReg::ZBUF_1, Zbuf(64, 0x31, false));
        w(GsReg::TEST_1, TestReg({.zte = true, .ztst = 1 + Pick(rng, 3)}));
        const u32 quad = 2 + Pick(rng, 12), across = 4 + Pick(rng, 20), rows = 2 + Pick(rng, 8);
        // Gaps between strips of triangles, so that a run's box holds rows
        // no triangle drew.
        const u32 gap = Chance(rng, 50) ? 0 : 1 + Pick(rng, 6);
        const u32 x0 = Pick(rng, 16);
        const u32 y0 = kind == 2 ? Pick(rng, 16) : (Chance(rng, 50) ? Pick(rng, 16) : 128 + Pick(rng, 16));
        for (u32 row = 0; row < rows; ++row) {
            // A state change on every row: the same buffers and texture.
            tex.tfx = Pick(rng, 4);
            tex.tcc = Chance(rng, 50);
            tex.psm = Chance(rng, 50) ? 0x00 : 0x01;  // CT32 or CT24: the same blocks, decoded apart
            w(GsReg::TEX0_1, Tex0(tex));
            w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
            w(GsReg::TEXA, Texa(Pick(rng, 256), Chance(rng, 50), Pick(rng, 256)));
            w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, 0));
            w(GsReg::PRIM, Prim({4, true, textured, false, Chance(rng, 30), false, false}));
            for (u32 i = 0; i <= across; ++i)
                for (u32 k = 0; k < 2; ++k) {
                    const u32 x = x0 + i * quad, y = std::min<u32>(y0 + row * (quad + gap) + k * quad, 255);
                    const float q = RandomFloat(rng, 0.5f, 2.0f);
                    w(GsReg::ST, St(RandomFloat(rng, -0.2f, 1.2f) * q, RandomFloat(rng, -0.2f, 1.2f) * q));
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), q));
                    w(GsReg::XYZ2, Xyz(x * 16 + Pick(rng, 16), y * 16 + Pick(rng, 16), Pick(rng, 1 << 24)));
                }
        }
    }
    return t;
}

TEST(GsFastPath, RunsOfTrianglesAcrossStatesReadWhatEarlierRunsDrewAsTheReferenceDoes)
{
    std::mt19937 rng(1209);
    std::vector<u8> start = RandomMemory(rng);
    std::vector<u8> reference, fast;
    for (int i = 0; i < 16 && !HasFailure(); ++i) {
        const Trial trial = RunsAcrossStates(rng);
        console::gs::DecodeTexturesAtFirstUse(i % 2 == 0);
        Draw(trial, start, true, 0, reference);
        EXPECT_TRUE(reference != start);
        for (int threads : {0, 1, 2, 8}) {
            Draw(trial, start, false, threads, fast);
            EXPECT_TRUE(reference == fast) << "trial " << i << ", " << threads << " threads";
        }
        start = reference;
    }
    console::gs::DecodeTexturesAtFirstUse(false);
    ResetGs(true);
}

// Palettes drawn and loaded while indexed primitives are queued: a palette
// page is drawn into (its triangles queued), the CLUT buffer loaded from it or
// from a page nobody draws (by TEX0 or TEX2), and T8 and T4 textures drawn
// through whatever the buffer holds, in random order.  A load must see the
// palette page with every earlier draw into it done, and primitives queued
// before a load must draw with the entries they were sent with.
Trial PalettesWhileQueued(std::mt19937& rng)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    constexpr u32 kPalettePage = 40, kQuietPalettePage = 56, kTexturePage = 48;
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 127));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::TEST_1, 0);
    w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, 0));
    Tex0Bits tex;
    tex.tbp = kTexturePage * 32;
    tex.tbw = 2;
    tex.tw = 7;
    tex.th = 6;
    tex.tfx = Pick(rng, 2);
    for (int step = 0; step < 14; ++step) {
        const u32 action = Pick(rng, 4);
        if (action == 3) {
            // A burst of sprites over every band, each through another entry
            // group of one loaded palette: a band drawing a sprite late must
            // still see its palette while the others go on to the next ones.
            w(GsReg::FRAME_1, Frame(0, 4, 0x00));
            w(GsReg::ZBUF_1, Zbuf(64, 0x31, true));
            w(GsReg::TEX1_1, Tex1(Chance(rng, 50), 1));
            w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
            w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
            tex.psm = 0x14;
            tex.cpsm = 0x0;
            tex.cbp = kPalettePage * 32;
            tex.csa = 0;
            tex.cld = 1;
            w(GsReg::TEX0_1, Tex0(tex));
            tex.cld = 0;
            const u32 first = Pick(rng, 16);
            for (u32 k = 0; k < 8; ++k) {
                tex.csa = (first + k) % 16;
                w(GsReg::TEX0_1, Tex0(tex));
                const u32 sx = Pick(rng, 128);
                w(GsReg::UV, Uv(Pick(rng, 64 * 16), Pick(rng, 32 * 16)));
                w(GsReg::XYZ2, Xyz(sx * 16, 0, 0));
                w(GsReg::UV, Uv(Pick(rng, 128 * 16), Pick(rng, 64 * 16)));
                w(GsReg::XYZ2, Xyz((sx + 16 + Pick(rng, 112)) * 16, 128 * 16, 0));
            }
        } else if (action == 0) {
            // Into the palette page, 64 pixels wide: Gouraud triangles over
            // its first 16 x 16 pixels (where a 256-entry palette lies).
            w(GsReg::FRAME_1, Frame(kPalettePage, 1, Chance(rng, 60) ? 0x00 : 0x02));
            w(GsReg::ZBUF_1, Zbuf(64, 0x31, true));
            w(GsReg::PRIM, Prim({3, true, false, false, false, false, false}));
            for (int i = 0; i < 2 + static_cast<int>(Pick(rng, 4)); ++i)
                for (u32 k = 0; k < 3; ++k) {
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
                    const u32 x = k == 1 ? 20 * 16 : Pick(rng, 4) * 16, y = k == 2 ? 20 * 16 : Pick(rng, 4) * 16;
                    w(GsReg::XYZ2, Xyz(x, y, 0));
                }
        } else if (action == 1) {
            // Load the buffer: by TEX0 or TEX2, from either page, in either
            // format, any entry group.
            tex.cbp = (Chance(rng, 75) ? kPalettePage : kQuietPalettePage) * 32;
            tex.cpsm = Chance(rng, 50) ? 0x0 : 0x2;
            tex.csa = Pick(rng, tex.cpsm == 0 ? 16 : 32);
            tex.psm = Chance(rng, 50) ? 0x13 : 0x14;
            tex.cld = 1;
            if (Chance(rng, 70))
                w(GsReg::TEX0_1, Tex0(tex));
            else
                w(GsReg::TEX2_1, Tex0(tex) & console::gs::kTex2Mask);
        } else {
            // Through the buffer as it is: a strip of bilinear or nearest
            // triangles and a sprite into frame A.
            w(GsReg::FRAME_1, Frame(0, 4, Chance(rng, 70) ? 0x00 : 0x0A));
            w(GsReg::ZBUF_1, Zbuf(64, 0x31, true));
            tex.cld = 0;
            w(GsReg::TEX0_1, Tex0(tex));
            w(GsReg::TEX1_1, Tex1(Chance(rng, 60), 1));
            w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
            w(GsReg::PRIM, Prim({4, true, true, false, false, false, true}));
            const u32 y0 = Pick(rng, 96), quad = 8 + Pick(rng, 16);
            for (u32 x = 0; x <= 256; x += quad)
                for (u32 k = 0; k < 2; ++k) {
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
                    w(GsReg::UV, Uv(Pick(rng, 128 * 16), Pick(rng, 64 * 16)));
                    w(GsReg::XYZ2, Xyz(x * 16 + Pick(rng, 16), (y0 + k * quad) * 16, 0));
                }
            w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
            const u32 sx = Pick(rng, 128), sy = Pick(rng, 64);
            w(GsReg::UV, Uv(Pick(rng, 64 * 16), Pick(rng, 32 * 16)));
            w(GsReg::XYZ2, Xyz(sx * 16, sy * 16, 0));
            w(GsReg::UV, Uv(Pick(rng, 128 * 16), Pick(rng, 64 * 16)));
            w(GsReg::XYZ2, Xyz((sx + 16 + Pick(rng, 112)) * 16, (sy + 8 + Pick(rng, 56)) * 16, 0));
        }
    }
    return t;
}

TEST(GsFastPath, PalettesLoadedWhileIndexedPrimitivesAreQueuedAreReadAsTheReferenceReadsThem)
{
    std::mt19937 rng(1210);
    std::vector<u8> start = RandomMemory(rng);
    std::vector<u8> reference, fast;
    for (int i = 0; i < 40 && !HasFailure(); ++i) {
        const Trial trial = PalettesWhileQueued(rng);
        Draw(trial, start, true, 0, reference);
        EXPECT_TRUE(reference != start);
        for (SimdLevel level : kLevels)
            for (int threads : {0, 1, 2, 8}) {
                Draw(trial, start, false, threads, fast, level);
                EXPECT_TRUE(reference == fast)
                    << "trial " << i << ", " << threads << " threads, level " << static_cast<int>(level);
            }
        start = reference;
    }
    ResetGs(true);
}

// Sprites the calling thread draws itself (an alpha test whose outcome
// varies from pixel to pixel, which only the general path takes) while strips
// of queued triangles draw into A reading C: into B reading C, into B reading
// A, into C, or into A, in random order.  Each must draw after the queued
// triangles it touches and before the ones sent after it.
Trial SpritesDrawnBesideQueuedTriangles(std::mt19937& rng)
{
    Trial t;
    auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
    constexpr u32 kA = 0, kB = 64, kC = 32;
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 127));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, 0));
    w(GsReg::TEX1_1, Tex1(true, 1));
    Tex0Bits tex;
    tex.tbw = 4;
    tex.tw = 8;
    tex.th = 7;
    tex.tfx = 0;
    for (int step = 0; step < 10; ++step) {
        if (Chance(rng, 50)) {
            // A strip of textured triangles into A from C.
            w(GsReg::FRAME_1, Frame(kA, 4, 0x00));
            w(GsReg::ZBUF_1, Zbuf(96, 0x31, false));
            w(GsReg::TEST_1, TestReg({.zte = true, .ztst = 1}));
            tex.tbp = kC * 32;
            w(GsReg::TEX0_1, Tex0(tex));
            w(GsReg::PRIM, Prim({4, true, true, false, false, false, true}));
            const u32 y0 = Pick(rng, 100), quad = 8 + Pick(rng, 12);
            for (u32 x = 0; x <= 256; x += quad)
                for (u32 k = 0; k < 2; ++k) {
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
                    w(GsReg::UV, Uv(Pick(rng, 256 * 16), Pick(rng, 128 * 16)));
                    w(GsReg::XYZ2, Xyz(x * 16 + Pick(rng, 16), (y0 + k * quad) * 16, 0));
                }
            continue;
        }
        // A sprite through the general path: into B, C or A, reading C or A.
        const u32 target = Pick(rng, 3), source = Pick(rng, 2);
        w(GsReg::FRAME_1, Frame(target == 0 ? kB : target == 1 ? kC : kA, 4, 0x00));
        w(GsReg::ZBUF_1, Zbuf(96, 0x31, true));
        w(GsReg::TEST_1, TestReg({.ate = true, .atst = 5 + Pick(rng, 2), .aref = 40 + Pick(rng, 160)}));
        tex.tbp = (source == 0 ? kC : kA) * 32;
        w(GsReg::TEX0_1, Tex0(tex));
        w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
        const u32 x0 = Pick(rng, 128), y0 = Pick(rng, 64);
        w(GsReg::UV, Uv(Pick(rng, 128 * 16), Pick(rng, 64 * 16)));
        w(GsReg::XYZ2, Xyz(x0 * 16, y0 * 16, 0));
        w(GsReg::UV, Uv(Pick(rng, 256 * 16), Pick(rng, 128 * 16)));
        w(GsReg::XYZ2, Xyz((x0 + 16 + Pick(rng, 112)) * 16, (y0 + 8 + Pick(rng, 56)) * 16, 0));
    }
    return t;
}

TEST(GsFastPath, SpritesDrawnOnTheCallingThreadBesideQueuedTrianglesDrawAsTheReference)
{
    std::mt19937 rng(1211);
    std::vector<u8> start = RandomMemory(rng);
    std::vector<u8> reference, fast;
    for (int i = 0; i < 40 && !HasFailure(); ++i) {
        const Trial trial = SpritesDrawnBesideQueuedTriangles(rng);
        Draw(trial, start, true, 0, reference);
        EXPECT_TRUE(reference != start);
        for (int threads : {0, 1, 2, 8}) {
            Draw(trial, start, false, threads, fast);
            EXPECT_TRUE(reference == fast) << "trial " << i << ", " << threads << " threads";
        }
        start = reference;
    }
    ResetGs(true);
}

// Image transfers among queued triangles that draw into A reading C:
// uploads into C (which they read), into A (which they write) or into B (which
// nothing queued touches), copies inside memory from A into B and from B into
// C, and read-backs of A, in random order.  Each must see and leave memory as
// if every primitive sent before it were drawn; the read-backs are compared
// too.
struct TransferTrial {
    Trial trial;
    std::vector<std::vector<u128>> uploads;  // per upload, in order
    std::vector<size_t> readbacks;           // quadwords per read-back, in order
    std::vector<int> order;                  // per step: -1 draw writes, 0 upload, 1 read-back
    std::vector<size_t> writes_per_step;

    void Write(GsReg reg, u64 value) { trial.writes.emplace_back(reg, value); }
    // Ends a step of the given kind with the writes made since the last.
    void EndStep(int kind)
    {
        order.push_back(kind);
        writes_per_step.push_back(trial.writes.size() - ended_at);
        ended_at = trial.writes.size();
    }
    size_t ended_at = 0;
};

void RunTransferTrial(const TransferTrial& t, const std::vector<u8>& start, bool reference, int threads,
                      std::vector<u8>& memory, std::vector<u128>& read)
{
    ResetGs(false);
    Vram().Load(start);
    SetReferencePath(reference);
    console::gs::SetDrawThreads(threads);
    read.clear();
    size_t at = 0, upload = 0, readback = 0;
    for (size_t step = 0; step < t.order.size(); ++step) {
        for (size_t k = 0; k < t.writes_per_step[step]; ++k, ++at)
            Write(t.trial.writes[at].first, t.trial.writes[at].second);
        if (t.order[step] == 0) {
            const auto& data = t.uploads[upload++];
            EXPECT_EQ(console::gs::WriteImageData(data.data(), data.size()), data.size());
        } else if (t.order[step] == 1) {
            std::vector<u128> q(t.readbacks[readback++]);
            EXPECT_EQ(console::gs::ReadImageData(q.data(), q.size()), q.size());
            read.insert(read.end(), q.begin(), q.end());
        }
    }
    SetReferencePath(false);
    memory.assign(Vram().Bytes(), Vram().Bytes() + console::gs::kMemoryBytes);
}

// Trials from `make`, each drawn by the reference and then by the fast
// paths on the calling thread and with 1, 2 and 8 draw threads at each
// vector level; memory and read-backs must match.  Each trial starts from
// what the last drew, and at least `min_changed` of them must change memory.
// With `alternate_decoding`, every second trial decodes textures at first use.
void CompareTransferTrials(u32 seed, int trials, TransferTrial (*make)(std::mt19937&), int min_changed,
                           bool alternate_decoding = false)
{
    std::mt19937 rng(seed);
    std::vector<u8> start = RandomMemory(rng);
    std::vector<u8> reference, fast;
    std::vector<u128> reference_read, fast_read;
    int changed = 0;
    for (int i = 0; i < trials && !::testing::Test::HasFailure(); ++i) {
        const TransferTrial trial = make(rng);
        console::gs::DecodeTexturesAtFirstUse(alternate_decoding && i % 2 == 1);
        RunTransferTrial(trial, start, true, 0, reference, reference_read);
        changed += reference != start;
        for (SimdLevel level : kLevels) {
            LimitSimdLevel(level);
            for (int threads : {0, 1, 2, 8}) {
                RunTransferTrial(trial, start, false, threads, fast, fast_read);
                EXPECT_TRUE(reference == fast)
                    << "trial " << i << ", " << threads << " threads, level " << static_cast<int>(level);
                EXPECT_TRUE(reference_read == fast_read)
                    << "trial " << i << ", " << threads << " threads, level " << static_cast<int>(level) << ": read-backs";
            }
        }
        LimitSimdLevel(HostSimdLevel());
        start = reference;
    }
    console::gs::DecodeTexturesAtFirstUse(false);
    EXPECT_GE(changed, min_changed);
    ResetGs(true);
}

TransferTrial TransfersAmongQueuedTriangles(std::mt19937& rng)
{
    TransferTrial t;
    constexpr u32 kA = 0, kB = 64, kC = 32;
    auto w = [&](GsReg reg, u64 value) { t.Write(reg, value); };
    auto step = [&](int kind) { t.EndStep(kind); };
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 127));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::TEST_1, 0);
    w(GsReg::TEX1_1, Tex1(true, 1));
    Tex0Bits tex;
    tex.tbp = kC * 32;
    tex.tbw = 4;
    tex.tw = 8;
    tex.th = 7;
    tex.tfx = 0;
    for (int i = 0; i < 12; ++i) {
        const u32 action = Pick(rng, 6);
        if (action < 2) {
            // A strip of textured triangles into A from C.
            w(GsReg::FRAME_1, Frame(kA, 4, 0x00));
            w(GsReg::ZBUF_1, Zbuf(96, 0x31, true));
            w(GsReg::TEX0_1, Tex0(tex));
            w(GsReg::PRIM, Prim({4, true, true, false, false, false, true}));
            const u32 y0 = Pick(rng, 100), quad = 8 + Pick(rng, 12);
            for (u32 x = 0; x <= 256; x += quad)
                for (u32 k = 0; k < 2; ++k) {
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
                    w(GsReg::UV, Uv(Pick(rng, 256 * 16), Pick(rng, 128 * 16)));
                    w(GsReg::XYZ2, Xyz(x * 16 + Pick(rng, 16), (y0 + k * quad) * 16, 0));
                }
            step(-1);
            continue;
        }
        const u32 x = Pick(rng, 32) * 4, y = Pick(rng, 96), width = 4 * (1 + Pick(rng, 30)), height = 1 + Pick(rng, 30);
        w(GsReg::TRXPOS, TrxPos(Pick(rng, 64), Pick(rng, 64), x, y));
        w(GsReg::TRXREG, TrxReg(width, height));
        if (action == 2) {
            // An upload of CT32 pixels into C, A or B.
            const u32 into = Pick(rng, 3) == 0 ? kC : Chance(rng, 50) ? kA : kB;
            w(GsReg::BITBLTBUF, BitBltBuf(0, 1, 0, into * 32, 4, 0x00));
            w(GsReg::TRXDIR, 0);
            std::vector<u128> data(width * height / 4);
            for (u128& q : data)
                q = u128{static_cast<u64>(rng()) << 32 | rng(), static_cast<u64>(rng()) << 32 | rng()};
            t.uploads.push_back(std::move(data));
            step(0);
        } else if (action == 3) {
            // A read-back of A.
            w(GsReg::BITBLTBUF, BitBltBuf(kA * 32, 4, 0x00, 0, 1, 0));
            w(GsReg::TRXPOS, TrxPos(x, y, 0, 0));
            w(GsReg::TRXDIR, 1);
            t.readbacks.push_back(width * height / 4);
            step(1);
        } else {
            // A copy from A into B, or from B into C.
            const bool a_to_b = Chance(rng, 50);
            w(GsReg::BITBLTBUF, BitBltBuf((a_to_b ? kA : kB) * 32, 4, 0x00, (a_to_b ? kB : kC) * 32, 4, 0x00));
            w(GsReg::TRXDIR, 2);
            step(-1);
        }
    }
    return t;
}

TEST(GsFastPath, TransfersAmongQueuedTrianglesSeeAndLeaveMemoryAsTheReference)
{
    CompareTransferTrials(1212, 40, TransfersAmongQueuedTriangles, 40);
}

// Textures replaced while queued work still reads them, as a streamed
// texture cache does: sprites and triangle strips read one of two textures
// (T, U) into frame A, sprites copy A into B behind the strips still drawing
// A (fenced), and uploads overwrite T or U, or read A or B back, while later
// work elsewhere is still queued.  A transfer waits only for the queued work
// that touches what it reads or writes: every primitive before it must see
// the old texels, every one after it the new, and every read-back what the
// reference drew.
TransferTrial TexturesReplacedWhileRead(std::mt19937& rng)
{
    TransferTrial t;
    // Pages: A 256 x 128 CT32 (16 pages), B likewise, textures T and U
    // 64 x 64 CT32 (2 pages each), palette page P.
    constexpr u32 kA = 0, kB = 16, kT = 32, kU = 34, kZ = 40, kP = 56;
    auto w = [&](GsReg reg, u64 value) { t.Write(reg, value); };
    auto step = [&](int kind) { t.EndStep(kind); };
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 127));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::TEST_1, 0);
    auto texture = [&](u32 page, bool indexed) {
        Tex0Bits tex;
        tex.tbp = page * 32;
        tex.tbw = 1;
        tex.tw = 6;
        tex.th = 6;
        tex.tfx = Pick(rng, 2);
        if (indexed) {
            // 8-bit indices into a palette loaded from page P.
            tex.psm = 0x13;
            tex.cbp = kP * 32;
            tex.cld = 1;
        }
        return Tex0(tex);
    };
    for (int i = 0; i < 16; ++i) {
        const u32 action = Pick(rng, 8);
        if (action < 3) {
            // Textured strips of sprites (or a triangle strip) from T or U into A.
            const bool from_t = Chance(rng, 50);
            w(GsReg::FRAME_1, Frame(kA, 4, 0x00));
            w(GsReg::ZBUF_1, Zbuf(kZ, 0x30, Chance(rng, 50)));
            w(GsReg::TEX1_1, Tex1(Chance(rng, 50), 0));
            w(GsReg::CLAMP_1, 0);
            w(GsReg::TEX0_1, texture(from_t ? kT : kU, Chance(rng, 25)));
            const u32 y0 = Pick(rng, 64), h = 16 + Pick(rng, 48);
            if (action < 2) {
                w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
                for (u32 x = 0; x < 256; x += 32) {
                    w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
                    w(GsReg::UV, Uv(Pick(rng, 32 * 16), Pick(rng, 32 * 16)));
                    w(GsReg::XYZ2, Xyz(x * 16, y0 * 16, Pick(rng, 1000)));
                    w(GsReg::UV, Uv((32 + Pick(rng, 32)) * 16, (32 + Pick(rng, 32)) * 16));
                    w(GsReg::XYZ2, Xyz((x + 32) * 16, (y0 + h) * 16, Pick(rng, 1000)));
                }
            } else {
                w(GsReg::PRIM, Prim({4, true, true, false, false, false, true}));
                for (u32 x = 0; x <= 256; x += 16)
                    for (u32 k = 0; k < 2; ++k) {
                        w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
                        w(GsReg::UV, Uv(Pick(rng, 64 * 16), Pick(rng, 64 * 16)));
                        w(GsReg::XYZ2, Xyz(x * 16 + Pick(rng, 16), (y0 + k * h) * 16, Pick(rng, 1000)));
                    }
            }
            step(-1);
            continue;
        }
        if (action == 3) {
            // A copy of a stretch of A into B in strips, or a flat clear of B.
            w(GsReg::FRAME_1, Frame(kB, 4, 0x00));
            w(GsReg::ZBUF_1, Zbuf(kZ, 0x30, true));
            const u32 y0 = Pick(rng, 64), h = 8 + Pick(rng, 56);
            if (Chance(rng, 70)) {
                Tex0Bits a;
                a.tbp = kA * 32;
                a.tbw = 4;
                a.tw = 8;
                a.th = 7;
                w(GsReg::TEX0_1, Tex0(a));
                w(GsReg::TEX1_1, Tex1(Chance(rng, 50), 0));
                w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
                for (u32 x = 0; x < 256; x += 32) {
                    w(GsReg::UV, Uv(x * 16 + 8, y0 * 16 + 8));
                    w(GsReg::XYZ2, Xyz(x * 16, y0 * 16, 0));
                    w(GsReg::UV, Uv((x + 32) * 16 + 8, (y0 + h) * 16 + 8));
                    w(GsReg::XYZ2, Xyz((x + 32) * 16, (y0 + h) * 16, 0));
                }
            } else {
                w(GsReg::PRIM, Prim({6, false, false, false, false, false, true}));
                w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
                w(GsReg::XYZ2, Xyz(0, y0 * 16, 0));
                w(GsReg::XYZ2, Xyz(256 * 16, (y0 + h) * 16, 0));
            }
            step(-1);
            continue;
        }
        const u32 width = 4 * (1 + Pick(rng, 16)), height = 1 + Pick(rng, 64);
        if (action < 7) {
            // An upload of CT32 texels into T, U or the palette's page.
            const u32 pick = Pick(rng, 5);
            const u32 into = pick < 2 ? kT : pick < 4 ? kU : kP;
            const u32 rows = into == kP ? 1 + Pick(rng, 16) : height;
            const u32 x = Pick(rng, 16) * 4, y = into == kP ? 0 : Pick(rng, 64 - rows + 1);
            w(GsReg::BITBLTBUF, BitBltBuf(0, 1, 0, into * 32, 1, 0x00));
            w(GsReg::TRXPOS, TrxPos(0, 0, x, y));
            w(GsReg::TRXREG, TrxReg(width, rows));
            w(GsReg::TRXDIR, 0);
            std::vector<u128> data(width * rows / 4);
            for (u128& q : data)
                q = u128{static_cast<u64>(rng()) << 32 | rng(), static_cast<u64>(rng()) << 32 | rng()};
            t.uploads.push_back(std::move(data));
            step(0);
        } else {
            // A read-back of A or B.
            const u32 from = Chance(rng, 50) ? kA : kB;
            w(GsReg::BITBLTBUF, BitBltBuf(from * 32, 4, 0x00, 0, 1, 0));
            w(GsReg::TRXPOS, TrxPos(Pick(rng, 64) * 4, Pick(rng, 64), 0, 0));
            w(GsReg::TRXREG, TrxReg(width, height));
            w(GsReg::TRXDIR, 1);
            t.readbacks.push_back(width * height / 4);
            step(1);
        }
    }
    return t;
}

TEST(GsFastPath, TexturesReplacedWhileQueuedWorkReadsThemAreReadAsTheReferenceReadsThem)
{
    CompareTransferTrials(4711, 30, TexturesReplacedWhileRead, 26);
}

// Passes that read a 16-bit buffer through another 16-bit layout into itself
// in strips, as channel shuffles do: alpha tests that always fail with a
// fail action that writes the frame alone, FBMSK keeping some bits, the Z
// buffer at the frame's own base; the strips are drawn through the per-pixel
// path, by the draw threads when they read none of the blocks they write.
// Around them: clears and triangles into the buffer, triangles reading it as
// a (decoded) texture, copies out of it, blended alpha-tested sprites over
// it, and transfers into, out of and within it, in random order.  Every one
// must see and leave memory as the reference does.
TransferTrial ShufflesAmongQueuedWork(std::mt19937& rng)
{
    TransferTrial t;
    constexpr u32 kA = 0, kB = 32, kZ = 64;  // pages: A 256 x 128 16-bit, B 256 x 128 CT32
    auto w = [&](GsReg reg, u64 value) { t.Write(reg, value); };
    auto step = [&](int kind) { t.EndStep(kind); };
    constexpr u32 k16[] = {0x02, 0x0A, 0x32, 0x3A};  // CT16, CT16S, Z16, Z16S
    const u32 frame_psm = k16[Pick(rng, 2)];
    w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 127));
    w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    w(GsReg::CLAMP_1, Clamp(1, 1));
    for (int i = 0; i < 10; ++i) {
        const u32 action = Pick(rng, 8);
        if (action < 2) {
            // Into A: a flat clear of part of it, then Gouraud triangles.
            w(GsReg::FRAME_1, Frame(kA, 4, frame_psm));
            w(GsReg::ZBUF_1, Zbuf(kZ, 0x31, true));
            w(GsReg::TEST_1, 0);
            w(GsReg::PRIM, Prim({6, false, false, false, false, false}));
            w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
            w(GsReg::XYZ2, Xyz(Pick(rng, 64) * 16, Pick(rng, 64) * 16, 0));
            w(GsReg::XYZ2, Xyz((128 + Pick(rng, 128)) * 16, (64 + Pick(rng, 64)) * 16, 0));
            w(GsReg::PRIM, Prim({4, true, false, false, false, false}));
            for (int k = 0; k < 10; ++k) {
                w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
                w(GsReg::XYZ2, Xyz(Pick(rng, 256 * 16), Pick(rng, 128 * 16), 0));
            }
            step(-1);
        } else if (action < 4) {
            // Shuffle strips: A read through another (or the same) layout
            // into A, each strip reading columns some way off its own.
            const u32 fbmsk = std::array<u32, 4>{0x3FFF, 0x7FFF, 0xC000, 0x0000}[Pick(rng, 4)];
            w(GsReg::FRAME_1, Frame(kA, 4, frame_psm, fbmsk));
            w(GsReg::ZBUF_1, Zbuf(kA, 0x31, Chance(rng, 30)));
            // Mostly NEVER with FB_ONLY or RGB_ONLY (Z left alone); at times
            // ZB_ONLY, or a test that passes some texels, which reach Z.
            TestBits test{.ate = true, .atst = 0, .afail = std::array<u32, 5>{1, 3, 1, 3, 2}[Pick(rng, 5)],
                          .zte = true, .ztst = 1};
            if (Chance(rng, 20)) {
                test.atst = 5;  // GEQUAL
                test.aref = Pick(rng, 256);
            }
            w(GsReg::TEST_1, TestReg(test));
            Tex0Bits tex;
            tex.tbp = kA * 32;
            tex.tbw = 4;
            tex.psm = k16[Pick(rng, 4)];
            tex.tw = 8;
            tex.th = 7;
            tex.tfx = 1;
            w(GsReg::TEX0_1, Tex0(tex));
            w(GsReg::TEX1_1, Tex1(Chance(rng, 30), 0));
            w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
            const u32 width = 8 << Pick(rng, 2), shift = 8 * Pick(rng, 5);
            for (u32 x = Pick(rng, 2) * width; x + width <= 256; x += 2 * width) {
                const u32 u = (x + 256 - shift) % 256;
                w(GsReg::UV, Uv(u * 16 + 8, 8));
                w(GsReg::XYZ2, Xyz(x * 16, 0, 0));
                w(GsReg::UV, Uv((u + width) * 16 + 8, 128 * 16 + 8));
                w(GsReg::XYZ2, Xyz((x + width) * 16, 128 * 16, 0));
            }
            step(-1);
        } else if (action == 4) {
            // Out of A: a bilinear copy into B, then triangles textured
            // from A into B, and blended alpha-tested sprites over A.
            w(GsReg::FRAME_1, Frame(kB, 4, 0x00));
            w(GsReg::ZBUF_1, Zbuf(kZ, 0x31, true));
            w(GsReg::TEST_1, 0);
            Tex0Bits tex;
            tex.tbp = kA * 32;
            tex.tbw = 4;
            tex.psm = frame_psm;
            tex.tw = 8;
            tex.th = 7;
            tex.tfx = 0;
            w(GsReg::TEX0_1, Tex0(tex));
            w(GsReg::TEX1_1, Tex1(true, 1));
            w(GsReg::PRIM, Prim({6, false, true, false, false, false, true}));
            for (u32 x = 0; x < 256; x += 32) {
                w(GsReg::RGBAQ, Rgbaq(128, 128, 128, 128));
                w(GsReg::UV, Uv(x * 16 + 8, 8));
                w(GsReg::XYZ2, Xyz(x * 16, 0, 0));
                w(GsReg::UV, Uv((x + 32) * 16 + 8, 128 * 16 + 8));
                w(GsReg::XYZ2, Xyz((x + 32) * 16, 128 * 16, 0));
            }
            w(GsReg::PRIM, Prim({4, true, true, false, false, false, true}));
            for (int k = 0; k < 12; ++k) {
                w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), 128));
                w(GsReg::UV, Uv(Pick(rng, 256 * 16), Pick(rng, 128 * 16)));
                w(GsReg::XYZ2, Xyz(Pick(rng, 256 * 16), Pick(rng, 128 * 16), 0));
            }
            w(GsReg::FRAME_1, Frame(kA, 4, frame_psm));
            w(GsReg::TEST_1, TestReg({.ate = true, .atst = 5, .aref = Pick(rng, 256), .afail = Pick(rng, 4)}));
            w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1));
            tex.tbp = kB * 32;
            tex.psm = 0x00;
            w(GsReg::TEX0_1, Tex0(tex));
            w(GsReg::PRIM, Prim({6, false, true, false, true, false, true}));
            for (int k = 0; k < 3; ++k) {
                const u32 x = Pick(rng, 200), y = Pick(rng, 100);
                w(GsReg::UV, Uv(Pick(rng, 2048), Pick(rng, 1024)));
                w(GsReg::XYZ2, Xyz(x * 16, y * 16, 0));
                w(GsReg::UV, Uv(Pick(rng, 4096), Pick(rng, 2048)));
                w(GsReg::XYZ2, Xyz((x + 8 + Pick(rng, 48)) * 16, (y + 8 + Pick(rng, 28)) * 16, 0));
            }
            step(-1);
        } else {
            const u32 x = Pick(rng, 32) * 4, y = Pick(rng, 96), width = 8 * (1 + Pick(rng, 15)),
                      height = 1 + Pick(rng, 30);
            w(GsReg::TRXPOS, TrxPos(Pick(rng, 64), Pick(rng, 64), x, y));
            w(GsReg::TRXREG, TrxReg(width, height));
            if (action == 5) {
                // An upload of 16-bit pixels into A.
                w(GsReg::BITBLTBUF, BitBltBuf(0, 1, 0, kA * 32, 4, frame_psm));
                w(GsReg::TRXDIR, 0);
                std::vector<u128> data(width * height / 8);
                for (u128& q : data)
                    q = u128{static_cast<u64>(rng()) << 32 | rng(), static_cast<u64>(rng()) << 32 | rng()};
                t.uploads.push_back(std::move(data));
                step(0);
            } else if (action == 6) {
                // A read-back of A as CT32 words.
                w(GsReg::BITBLTBUF, BitBltBuf(kA * 32, 4, 0x00, 0, 1, 0));
                w(GsReg::TRXPOS, TrxPos(x / 2, y / 2, 0, 0));
                w(GsReg::TRXDIR, 1);
                t.readbacks.push_back(width * height / 4);
                step(1);
            } else {
                // A copy from A into B as CT32 words.
                w(GsReg::BITBLTBUF, BitBltBuf(kA * 32, 4, 0x00, kB * 32, 4, 0x00));
                w(GsReg::TRXPOS, TrxPos(x / 2, y / 2, x, y));
                w(GsReg::TRXDIR, 2);
                step(-1);
            }
        }
    }
    step(-1);
    return t;
}

TEST(GsFastPath, ShufflesOfABufferIntoItselfAmongQueuedWorkLeaveTheSameMemoryAsTheReference)
{
    CompareTransferTrials(1213, 30, ShufflesAmongQueuedWork, 30, true);
}

// Bilinear triangles read decoded copies of their textures: every format,
// wrap mode and level the random trials give, decoded at first use.
TEST(GsFastPath, TrianglesReadingDecodedTexturesLeaveTheSameMemoryAsTheReference)
{
    console::gs::DecodeTexturesAtFirstUse(true);
    CompareRandomTrials(20261208, 1000, false);
    console::gs::DecodeTexturesAtFirstUse(false);
}

// Sprites that copy a texture one texel a pixel, as the copy and blur passes
// do, at every sub-texel offset and with every wrap mode, from the 32- and
// 16-bit formats and CT24, strips of any width and start: their columns are
// a run of texels with one weight, which the pipelines read a column's
// words at a time.
TEST(GsFastPath, OneTexelAPixelCopiesAtEveryOffsetLeaveTheSameMemoryAsTheReference)
{
    std::mt19937 rng(1208);
    std::vector<u8> start = RandomMemory(rng);
    // Black texels among the texture's (16-bit 0x0000 and 0x8000, 24-bit 0),
    // which TEXA's AEM makes transparent.
    for (u32 at = 0x1000 * 256; at < 0x2000 * 256; at += 4 * (1 + Pick(rng, 8)))
        for (u32 k = 0; k < 4; ++k)
            start[at + k] = k == 1 && Chance(rng, 50) ? 0x80 : 0;
    constexpr u32 kPsms[] = {0x00, 0x00, 0x30, 0x01, 0x02, 0x0A, 0x0A, 0x3A};
    std::vector<u8> reference, fast;
    int changed = 0;
    for (int i = 0; i < 120 && !HasFailure(); ++i) {
        Trial t;
        auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
        w(GsReg::FRAME_1, Frame(0, 4, Chance(rng, 80) ? 0x00 : 0x01, Chance(rng, 80) ? 0 : 0x00FF00FF));
        w(GsReg::ZBUF_1, Zbuf(64, 0x31, true));
        w(GsReg::TEST_1, 0);
        w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
        w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
        w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, 0));
        w(GsReg::DTHE, 0);
        Tex0Bits tex;
        tex.tbp = 0x1000;
        tex.tbw = 4;
        tex.psm = kPsms[Pick(rng, 8)];
        tex.tw = 6 + Pick(rng, 3);
        tex.th = 6 + Pick(rng, 3);
        tex.tfx = Pick(rng, 2);
        w(GsReg::TEX0_1, Tex0(tex));
        w(GsReg::TEX1_1, Tex1(true, 1));
        w(GsReg::TEXA, Texa(Pick(rng, 256), Chance(rng, 50), Pick(rng, 256)));
        w(GsReg::CLAMP_1, Clamp(Pick(rng, 4), Pick(rng, 4), Pick(rng, 32), 40 + Pick(rng, 200), Pick(rng, 32),
                                40 + Pick(rng, 200)));
        w(GsReg::PRIM, Prim({6, false, true, false, Chance(rng, 20), false, true}));
        w(GsReg::RGBAQ, Rgbaq(128, 128, 128, 128));
        const u32 x0 = Pick(rng, 200), width = 1 + Pick(rng, 120), y0 = Pick(rng, 200), height = 1 + Pick(rng, 50);
        // Any sub-texel offset; often at the texture's left or top edge,
        // where a clamp holds the first column or row.
        const u32 u0 = Chance(rng, 40) ? Pick(rng, 24) : Pick(rng, 300 * 16);
        const u32 v0 = Chance(rng, 40) ? Pick(rng, 24) : Pick(rng, 300 * 16);
        w(GsReg::UV, Uv(u0, v0));
        w(GsReg::XYZ2, Xyz(x0 * 16, y0 * 16, 0));
        w(GsReg::UV, Uv(u0 + width * 16, v0 + height * 16));
        w(GsReg::XYZ2, Xyz((x0 + width) * 16, (y0 + height) * 16, 0));
        Draw(t, start, true, 0, reference);
        for (SimdLevel level : kLevels)
            for (int threads : {0, 2, 8}) {
                Draw(t, start, false, threads, fast, level);
                EXPECT_TRUE(reference == fast)
                    << "copy " << i << ", " << threads << " threads, level " << static_cast<int>(level);
            }
        if (reference != start)
            ++changed;
    }
    // Blending with a texel alpha of 0 leaves the frame as it was; most copies draw.
    EXPECT_GT(changed, 100);
    ResetGs(true);
}

// The fast paths and the reference from `start` on a trial, at 0, 1, 2 and 8
// draw threads: whether the trial changed memory.
bool DrawsAsTheReference(const Trial& t, const std::vector<u8>& start, const char* what, int i)
{
    std::vector<u8> reference, fast;
    Draw(t, start, true, 0, reference);
    for (SimdLevel level : kLevels)
        for (int threads : {0, 1, 2, 8}) {
            Draw(t, start, false, threads, fast, level);
            EXPECT_TRUE(reference == fast)
                << what << " " << i << ", " << threads << " threads, level " << static_cast<int>(level);
        }
    return reference != start;
}

// Sprites that magnify, shrink or copy a texture of any format (the indexed
// ones through a CLUT) with either filter, any texture function, fog, wrap
// mode and colour (often 0x80 in every channel, which MODULATE leaves as the
// texel), into 32- and 16-bit frames dithered or not: their columns read a
// run of texels, a window of texels near each other or texels of their own,
// as their spacing has it.  Alpha tests on the texels' alpha leave the
// failing pixels alone.
TEST(GsFastPath, ScaledTexturedSpritesLeaveTheSameMemoryAsTheReference)
{
    std::mt19937 rng(1209);
    std::vector<u8> start = RandomMemory(rng);
    constexpr u32 kFrames[] = {0x00, 0x00, 0x01, 0x02, 0x0A};
    constexpr float kScales[] = {0.25f, 0.5f, 0.5f, 1.0f, 1.0f, 1.5f, 2.0f, 3.0f, 8.0f};
    int changed = 0;
    for (int i = 0; i < 160 && !HasFailure(); ++i) {
        Trial t;
        auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
        w(GsReg::FRAME_1, Frame(0, 4, kFrames[Pick(rng, 5)], Chance(rng, 80) ? 0 : 0x00FF00FF));
        w(GsReg::ZBUF_1, Zbuf(64, 0x31, Chance(rng, 50)));
        // Now and then an alpha test on the texels' alpha (the font's).
        TestBits test;
        test.ate = Chance(rng, 30);
        test.atst = Pick(rng, 8);
        test.aref = Pick(rng, 256);
        test.afail = Chance(rng, 70) ? 0 : Pick(rng, 4);
        test.zte = Chance(rng, 50);
        w(GsReg::TEST_1, TestReg(test));
        w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
        w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
        w(GsReg::ALPHA_1, Alpha(0, 1, 2, 1, 0x40));
        w(GsReg::DTHE, Pick(rng, 2));
        w(GsReg::DIMX, (static_cast<u64>(rng()) << 32 | rng()) & 0x7777777777777777ull);
        w(GsReg::COLCLAMP, Pick(rng, 2));
        w(GsReg::FOGCOL, Fogcol(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
        Tex0Bits tex;
        tex.tbp = 0x1000;
        tex.tbw = 4;
        tex.psm = kTexPsms[Pick(rng, 11)];
        tex.tw = 5 + Pick(rng, 4);
        tex.th = 5 + Pick(rng, 4);
        tex.tfx = Pick(rng, 4);
        tex.tcc = Chance(rng, 60);
        tex.cbp = 0x2000;
        tex.cpsm = Chance(rng, 50) ? 0x0 : 0xA;
        tex.csa = Pick(rng, 16);
        tex.cld = 1;
        w(GsReg::TEX0_1, Tex0(tex));
        const bool linear = Chance(rng, 50);
        w(GsReg::TEX1_1, Tex1(linear, linear ? 1 : 0));
        w(GsReg::TEXA, Texa(Pick(rng, 256), Chance(rng, 50), Pick(rng, 256)));
        w(GsReg::CLAMP_1, Clamp(Pick(rng, 4), Pick(rng, 4), Pick(rng, 32), 40 + Pick(rng, 200), Pick(rng, 32),
                                40 + Pick(rng, 200)));
        w(GsReg::PRIM, Prim({6, false, true, Chance(rng, 20), Chance(rng, 20), false, true}));
        w(GsReg::RGBAQ, Chance(rng, 50) ? Rgbaq(128, 128, 128, 128)
                                        : Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
        w(GsReg::FOG, FogReg(Pick(rng, 256)));
        const u32 x0 = Pick(rng, 200), width = 1 + Pick(rng, 160), y0 = Pick(rng, 200), height = 1 + Pick(rng, 60);
        const float su = kScales[Pick(rng, 9)], sv = kScales[Pick(rng, 9)];
        // Often texel centres on pixel centres (+ 8), as the blur passes draw.
        auto start_at = [&] {
            return Chance(rng, 30) ? 8 + 16 * Pick(rng, 300) : Chance(rng, 30) ? Pick(rng, 24) : Pick(rng, 300 * 16);
        };
        const u32 u0 = start_at(), v0 = start_at();
        w(GsReg::UV, Uv(u0, v0));
        w(GsReg::XYZ2, Xyz(x0 * 16, y0 * 16, 0));
        w(GsReg::UV, Uv(u0 + static_cast<u32>(static_cast<float>(width * 16) / su),
                        v0 + static_cast<u32>(static_cast<float>(height * 16) / sv)));
        w(GsReg::XYZ2, Xyz((x0 + width) * 16, (y0 + height) * 16, 0));
        if (DrawsAsTheReference(t, start, "sprite", i))
            ++changed;
    }
    EXPECT_GT(changed, 120);
    ResetGs(true);
}

// Flat sprites, dithered or not, blended or not, over 32-, 24- and 16-bit
// frames with FBMSK, FBA, the colour clamp, alpha tests of one outcome and Z
// tests that always pass: filled a block at a time where they cover whole
// blocks, wherever they start.
TEST(GsFastPath, FlatSpritesFilledByBlocksLeaveTheSameMemoryAsTheReference)
{
    std::mt19937 rng(1210);
    std::vector<u8> start = RandomMemory(rng);
    constexpr u32 kFrames[] = {0x00, 0x01, 0x02, 0x0A, 0x0A};
    int changed = 0;
    for (int i = 0; i < 120 && !HasFailure(); ++i) {
        Trial t;
        auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
        w(GsReg::FRAME_1, Frame(0, 4, kFrames[Pick(rng, 5)], Chance(rng, 70) ? 0 : static_cast<u32>(rng())));
        w(GsReg::ZBUF_1, Zbuf(64, kZPsms[Pick(rng, 4)], Chance(rng, 30)));
        TestBits test;
        test.ate = Chance(rng, 30);
        test.atst = Pick(rng, 2);
        test.afail = Pick(rng, 4);
        test.zte = Chance(rng, 50);
        test.ztst = Chance(rng, 80) ? 1 : Pick(rng, 4);
        w(GsReg::TEST_1, TestReg(test));
        w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
        w(GsReg::XYOFFSET_1, Xyoffset(Pick(rng, 4) * 16, Pick(rng, 4) * 16));
        w(GsReg::DTHE, Chance(rng, 70));
        w(GsReg::DIMX, (static_cast<u64>(rng()) << 32 | rng()) & 0x7777777777777777ull);
        w(GsReg::COLCLAMP, Pick(rng, 2));
        w(GsReg::FBA_1, Pick(rng, 2));
        w(GsReg::SCANMSK, Chance(rng, 10) ? 2 + Pick(rng, 2) : 0);
        const bool whole = Chance(rng, 50);
        const u32 x0 = whole ? 16 * Pick(rng, 8) : Pick(rng, 200), y0 = whole ? 8 * Pick(rng, 16) : Pick(rng, 200);
        const u32 x1 = std::min(256u, x0 + (whole ? 16 * (1 + Pick(rng, 8)) : 1 + Pick(rng, 120)));
        const u32 y1 = std::min(256u, y0 + (whole ? 8 * (1 + Pick(rng, 16)) : 1 + Pick(rng, 120)));
        // Blended ones too: Z, when its test always passes, is filled apart
        // from the frame.
        w(GsReg::ALPHA_1, Alpha(Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 3), Pick(rng, 256)));
        w(GsReg::PRIM, Prim({6, false, false, false, Chance(rng, 40), false, true}));
        w(GsReg::RGBAQ, Rgbaq(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
        const u32 z = static_cast<u32>(rng());
        w(GsReg::XYZ2, Xyz(x0 * 16, y0 * 16, z));
        w(GsReg::XYZ2, Xyz(x1 * 16, y1 * 16, z));
        if (DrawsAsTheReference(t, start, "fill", i))
            ++changed;
    }
    EXPECT_GT(changed, 60);
    ResetGs(true);
}

// Copies of a texture one texel a pixel, as the game's copy passes draw
// them, into 32-, 24- and 16-bit frames: dithered or not, with FBMSK, FBA,
// the colour clamp, alpha tests, Z tests that always pass with Z written or
// not, at any start and width (groups of pixels cut at either end) and any
// texel offset.
// Now and then the Z buffer lies over the texture, or the texture is the
// frame itself, shifted, so that pixels read what the sprite just wrote.
TEST(GsFastPath, CopyPassesIntoEveryFrameFormatLeaveTheSameMemoryAsTheReference)
{
    std::mt19937 rng(1211);
    std::vector<u8> start = RandomMemory(rng);
    constexpr u32 kFrames[] = {0x00, 0x01, 0x02, 0x0A, 0x0A, 0x00};
    constexpr u32 kTextures[] = {0x00, 0x01, 0x02, 0x0A, 0x0A, 0x13};
    constexpr u32 kGameMasks[] = {0x808080, 0xFF000000, 0x3FFF, 0x80008000};
    int changed = 0;
    for (int i = 0; i < 200 && !HasFailure(); ++i) {
        Trial t;
        auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
        const u32 fpsm = kFrames[Pick(rng, 6)];
        const u32 fbmsk = Chance(rng, 70) ? 0 : Chance(rng, 50) ? kGameMasks[Pick(rng, 4)] : static_cast<u32>(rng());
        w(GsReg::FRAME_1, Frame(0, 4, fpsm, fbmsk));
        const u32 where = Pick(rng, 100);  // < 15: Z over the texture; < 30: the texture is the frame
        w(GsReg::ZBUF_1, Zbuf(where < 15 ? 0x1000 / 32 : 64, kZPsms[Pick(rng, 4)], Chance(rng, 30)));
        // Alpha tests of one outcome, or of the texels' own alpha.
        TestBits test;
        test.ate = Chance(rng, 40);
        test.atst = Chance(rng, 50) ? Pick(rng, 2) : Pick(rng, 8);
        test.aref = Pick(rng, 256);
        test.afail = Chance(rng, 50) ? 0 : Pick(rng, 4);
        test.zte = Chance(rng, 90);
        test.ztst = Chance(rng, 85) ? 1 : Pick(rng, 4);
        w(GsReg::TEST_1, TestReg(test));
        w(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
        w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
        w(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, 0));
        w(GsReg::DTHE, Chance(rng, 60));
        w(GsReg::DIMX, (static_cast<u64>(rng()) << 32 | rng()) & 0x7777777777777777ull);
        w(GsReg::COLCLAMP, Pick(rng, 2));
        w(GsReg::FBA_1, Chance(rng, 20));
        w(GsReg::SCANMSK, Chance(rng, 10) ? 2 + Pick(rng, 2) : 0);
        w(GsReg::TEXA, Texa(Pick(rng, 256), Chance(rng, 50), Pick(rng, 256)));
        Tex0Bits tex;
        const bool feedback = where >= 15 && where < 30;
        tex.tbp = feedback ? 0 : 0x1000;
        tex.tbw = 4;
        tex.psm = feedback ? fpsm : kTextures[Pick(rng, 6)];
        tex.tw = 8;
        tex.th = 6 + Pick(rng, 3);
        tex.tcc = Chance(rng, 80);
        tex.tfx = Chance(rng, 70) ? 1 : 0;
        tex.cbp = 0x2000;
        tex.cld = 1;
        w(GsReg::TEX0_1, Tex0(tex));
        const bool linear = Chance(rng, 40);
        w(GsReg::TEX1_1, Tex1(linear, linear ? 1 : 0));
        w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
        w(GsReg::PRIM, Prim({6, false, true, false, Chance(rng, 10), false, true}));
        w(GsReg::RGBAQ, Chance(rng, 80) ? Rgbaq(128, 128, 128, 128) : Rgbaq(Pick(rng, 256), 128, 128, 128));
        const u32 x0 = Pick(rng, 200), width = 1 + Pick(rng, 200), y0 = Pick(rng, 200), height = 1 + Pick(rng, 60);
        // Texel centres on pixel centres, any whole texel off (a sub-texel
        // offset now and then for the nearest filter).
        const u32 u0 = 16 * Pick(rng, 64) + (linear || Chance(rng, 70) ? 8 : Pick(rng, 16));
        const u32 v0 = 16 * Pick(rng, 64) + (linear || Chance(rng, 70) ? 8 : Pick(rng, 16));
        const u32 z = static_cast<u32>(rng());
        w(GsReg::UV, Uv(u0, v0));
        w(GsReg::XYZ2, Xyz(x0 * 16, y0 * 16, z));
        w(GsReg::UV, Uv(u0 + width * 16, v0 + height * 16));
        w(GsReg::XYZ2, Xyz((x0 + width) * 16, (y0 + height) * 16, z));
        const std::string what = "copy (frame " + std::to_string(fpsm) + ", mask " + std::to_string(fbmsk) +
                                 ", texture " + std::to_string(tex.psm) + (feedback ? " the frame" : "") +
                                 (where < 15 ? ", Z over the texture" : "") + (linear ? ", bilinear" : "") + ")";
        if (DrawsAsTheReference(t, start, what.c_str(), i))
            ++changed;
    }
    EXPECT_GT(changed, 150);
    ResetGs(true);
}

// Passes drawn as strips of sprites side by side, each reading the texels
// under it a texel a pixel at a sub-texel offset (the bilinear filter mixing
// two texels across and two down with one pair of weights, or nearest
// reading one), as the game's flip copy and brighten passes draw them:
// into 16- and 32-bit frames, dithered or not, modulated or not, fogged now
// and then, with Z written by a test that always passes or no Z at all, rows
// cut by the scissor and masked by SCANMSK, strips of any width and start.
TEST(GsFastPath, PassesDrawnInStripsAtSubTexelOffsetsLeaveTheSameMemoryAsTheReference)
{
    std::mt19937 rng(1213);
    std::vector<u8> start = RandomMemory(rng);
    constexpr u32 kFrames[] = {0x0A, 0x0A, 0x02, 0x00, 0x01};
    constexpr u32 kTextures[] = {0x00, 0x00, 0x01, 0x02, 0x0A, 0x0A};
    constexpr u32 kOffsets[] = {0, 8, 16, 16, 24};
    int changed = 0;
    for (int i = 0; i < 60 && !HasFailure(); ++i) {
        Trial t;
        auto w = [&](GsReg reg, u64 value) { t.writes.emplace_back(reg, value); };
        const u32 fpsm = kFrames[Pick(rng, 5)];
        w(GsReg::FRAME_1, Frame(0, 4, fpsm, 0));
        w(GsReg::ZBUF_1, Zbuf(64, kZPsms[Pick(rng, 4)], Chance(rng, 30)));
        TestBits test;
        test.zte = Chance(rng, 60);
        test.ztst = 1;
        w(GsReg::TEST_1, TestReg(test));
        const u32 sx0 = Chance(rng, 60) ? 0 : Pick(rng, 40), sy0 = Chance(rng, 60) ? 0 : Pick(rng, 40);
        w(GsReg::SCISSOR_1, Scissor(sx0, 200 + Pick(rng, 56), sy0, 100 + Pick(rng, 156)));
        w(GsReg::XYOFFSET_1, Xyoffset(0, 0));
        w(GsReg::DTHE, Chance(rng, 60));
        w(GsReg::DIMX, (static_cast<u64>(rng()) << 32 | rng()) & 0x7777777777777777ull);
        w(GsReg::COLCLAMP, Pick(rng, 2));
        w(GsReg::FBA_1, Chance(rng, 20));
        w(GsReg::SCANMSK, Chance(rng, 15) ? 2 + Pick(rng, 2) : 0);
        w(GsReg::TEXA, Texa(Pick(rng, 256), Chance(rng, 50), Pick(rng, 256)));
        w(GsReg::FOGCOL, Fogcol(Pick(rng, 256), Pick(rng, 256), Pick(rng, 256)));
        Tex0Bits tex;
        tex.tbp = 0x1000;
        tex.tbw = 4;
        tex.psm = kTextures[Pick(rng, 6)];
        tex.tw = 8;
        tex.th = 8;
        tex.tcc = Chance(rng, 80);
        tex.tfx = Chance(rng, 60) ? 1 : 0;
        w(GsReg::TEX0_1, Tex0(tex));
        const bool linear = Chance(rng, 70);
        w(GsReg::TEX1_1, Tex1(linear, linear ? 1 : 0));
        w(GsReg::CLAMP_1, Clamp(Pick(rng, 2), Pick(rng, 2)));
        const bool fog = Chance(rng, 10);
        w(GsReg::PRIM, Prim({6, false, true, fog, false, false, true}));
        const u32 grey = Chance(rng, 50) ? 128 : 112 + Pick(rng, 24);
        w(GsReg::RGBAQ, Rgbaq(grey, grey, grey, Chance(rng, 70) ? 128 : Pick(rng, 256)));
        w(GsReg::FOG, FogReg(Pick(rng, 256)));
        const u32 uoff = Chance(rng, 70) ? kOffsets[Pick(rng, 5)] : Pick(rng, 32);
        const u32 voff = Chance(rng, 70) ? kOffsets[Pick(rng, 5)] : Pick(rng, 32);
        const u32 strip = Chance(rng, 60) ? 32 : 1 + Pick(rng, 64);
        const u32 x0 = Chance(rng, 60) ? 0 : Pick(rng, 40), y0 = Chance(rng, 60) ? 0 : Pick(rng, 40);
        const u32 x1 = x0 + 40 + Pick(rng, 200), y1 = y0 + 1 + Pick(rng, 120);
        const u32 z = static_cast<u32>(rng());
        for (u32 x = x0; x < x1; x += strip) {
            const u32 xe = std::min(x1, x + strip);
            w(GsReg::UV, Uv(x * 16 + uoff, y0 * 16 + voff));
            w(GsReg::XYZ2, Xyz(x * 16, y0 * 16, z));
            w(GsReg::UV, Uv(xe * 16 + uoff, y1 * 16 + voff));
            w(GsReg::XYZ2, Xyz(xe * 16, y1 * 16, z));
        }
        const std::string what = "strips (frame " + std::to_string(fpsm) + ", texture " + std::to_string(tex.psm) +
                                 (linear ? ", bilinear" : "") + ", offset " + std::to_string(uoff) + "," +
                                 std::to_string(voff) + ", width " + std::to_string(strip) + ")";
        if (DrawsAsTheReference(t, start, what.c_str(), i))
            ++changed;
    }
    EXPECT_GT(changed, 50);
    ResetGs(true);
}

// A textured strip drawn at `x0`: the same texture coordinates wherever it is.
void TexturedStrip(u32 x0)
{
    PrimBits prim;
    prim.type = 4;
    prim.tme = true;
    prim.fst = false;
    Write(GsReg::PRIM, Prim(prim));
    for (u32 i = 0; i < 4; ++i) {
        const u32 x = x0 + (i / 2) * 48, y = (i % 2) * 48;
        Write(GsReg::RGBAQ, Rgbaq(128, 128, 128, 128, 1.0f));
        Write(GsReg::ST, St(static_cast<float>(i / 2) * 1.25f - 0.1f, static_cast<float>(i % 2) * 0.9f + 0.05f));
        Write(GsReg::XYZ2, Xyz(x * 16, y * 16, 0));
    }
}

// A decoded texture is decoded again once memory under it changes: by
// drawing into it, by a host to local transfer, through LocalMemory's
// writes or its raw words.  Each strip, drawn with the same coordinates at
// its own place, must show the texture as it is then.
TEST(GsFastPath, ADecodedTextureChangedInAnyWayIsReadAsItIsNow)
{
    constexpr u32 kTexBlock = 0x1000;  // 64 x 64 CT32 (TBW 1), REPEAT both ways
    auto draw = [&](bool reference, int threads, std::vector<u8>& out) {
        ResetGs(false);
        SetReferencePath(reference);
        console::gs::SetDrawThreads(threads);
        console::gs::DecodeTexturesAtFirstUse(true);
        for (u32 y = 0; y < 64; ++y)
            for (u32 x = 0; x < 64; ++x)
                Vram().WritePixel(console::gs::Psm::kCT32, kTexBlock, 1, x, y, (x * 0x0301u) ^ (y * 0x050700u) ^ 0x80000000u);
        auto textured = [&] {
            SetUpContext(0, 0, 8, 0x00);
            Write(GsReg::TEX0_1, Tex0(Tex0Bits{.tbp = kTexBlock, .tbw = 1, .psm = 0x00, .tw = 6, .th = 6, .tcc = true}));
            Write(GsReg::TEX1_1, Tex1(true, 1));
            Write(GsReg::CLAMP_1, Clamp(0, 0));
        };
        textured();
        TexturedStrip(0);
        // Drawn into: a flat sprite over part of the texture.
        Write(GsReg::FRAME_1, Frame(kTexBlock / 32, 1, 0x00));
        FlatSprite(8, 8, 40, 30, Rgbaq(250, 10, 20, 128));
        textured();
        TexturedStrip(64);
        // Drawn into through the per-pixel path, which notes its writes
        // before it draws: a copy of the first strip with an alpha test
        // whose failing pixels still write the frame.
        Write(GsReg::FRAME_1, Frame(kTexBlock / 32, 1, 0x00, 0xFF000000u));
        Write(GsReg::TEST_1, TestReg({.ate = true, .atst = 5, .aref = 0x40, .afail = 1}));
        Write(GsReg::TEX0_1, Tex0(Tex0Bits{.tbp = 0, .tbw = 8, .psm = 0x00, .tw = 9, .th = 6, .tcc = true}));
        Write(GsReg::PRIM, Prim({.type = 6, .tme = true, .fst = true}));
        Write(GsReg::UV, Uv(0, 0));
        Write(GsReg::XYZ2, Xyz(30 * 16, 36 * 16, 0));
        Write(GsReg::UV, Uv(30 * 16, 24 * 16));
        Write(GsReg::XYZ2, Xyz(60 * 16, 60 * 16, 0));
        Write(GsReg::TEST_1, TestReg({}));
        textured();
        TexturedStrip(320);
        // A host to local transfer of a 8 x 8 square.
        Write(GsReg::BITBLTBUF, BitBltBuf(0, 0, 0, kTexBlock, 1, 0x00));
        Write(GsReg::TRXPOS, TrxPos(0, 0, 32, 40));
        Write(GsReg::TRXREG, TrxReg(8, 8));
        Write(GsReg::TRXDIR, 0);
        for (u32 i = 0; i < 32; ++i)
            Write(GsReg::HWREG, 0x00FF00FF00FFFF00ull + i * 0x0101010101010101ull);
        TexturedStrip(128);
        // LocalMemory's pixel writes, then its raw words (made, as the
        // transfers are, with no drawing queued).
        console::gs::DrainDrawQueue();
        for (u32 x = 0; x < 64; ++x)
            Vram().WritePixel(console::gs::Psm::kCT32, kTexBlock, 1, x, 20, 0xFF00FFFFu);
        TexturedStrip(192);
        console::gs::DrainDrawQueue();
        u32* words = Vram().Words();
        for (u32 i = 0; i < 1024; i += 3)
            words[kTexBlock * 64 + i] = 0x80123456u;
        TexturedStrip(256);
        console::gs::DecodeTexturesAtFirstUse(false);
        SetReferencePath(false);
        out.assign(Vram().Bytes(), Vram().Bytes() + console::gs::kMemoryBytes);
    };
    std::vector<u8> reference, fast;
    draw(true, 0, reference);
    // Each change shows: no two strips are alike.
    auto strip = [&](u32 n) {
        std::vector<u32> pixels;
        for (u32 y = 0; y < 48; ++y)
            for (u32 x = 0; x < 48; ++x)
                pixels.push_back(Vram().ReadPixel(console::gs::Psm::kCT32, 0, 8, n * 64 + x, y));
        return pixels;
    };
    for (u32 n = 0; n < 4; ++n)
        EXPECT_NE(strip(n), strip(n + 1)) << "strips " << n << " and " << n + 1;
    EXPECT_NE(strip(1), strip(5)) << "strip drawn after the per-pixel path";
    for (int threads : {0, 2, 8}) {
        draw(false, threads, fast);
        EXPECT_TRUE(reference == fast) << threads << " threads";
    }
    ResetGs(true);
}

// A forked child (as a death test is) has none of the draw threads: what
// was queued is drawn before the fork, and the child draws on threads of its
// own.
TEST(GsFastPath, AForkedChildDrawsWithThreadsOfItsOwn)
{
    ResetGs(true);
    console::gs::SetDrawThreads(4);
    const u64 frame = Frame(0, 4, 0x00);
    Write(GsReg::FRAME_1, frame);
    Write(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
    Write(GsReg::XYOFFSET_1, Xyoffset(0, 0));
    Write(GsReg::TEST_1, 0);
    FlatSprite(0, 0, 256, 256, Rgbaq(10, 20, 30, 40));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The parent's sprite is all there; the child's own one is drawn.
        bool ok = Vram().ReadPixel(console::gs::Psm::kCT32, 0, 4, 255, 255) == 0x281E140Au;
        FlatSprite(0, 0, 256, 256, Rgbaq(1, 2, 3, 4));
        ok = ok && Vram().ReadPixel(console::gs::Psm::kCT32, 0, 4, 200, 100) == 0x04030201u;
        std::_Exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ResetGs(true);
}

// A process may leave with drawing still queued: its own per-thread caches
// are gone by the time the queue is put away, which must end cleanly all the
// same.  The calling thread first draws small triangles of several states
// itself (filling its caches), then queues large ones and leaves.
TEST(GsFastPath, LeavingWithTrianglesQueuedEndsCleanly)
{
    for (int run = 0; run < 16; ++run) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ResetGs(true);
            console::gs::SetDrawThreads(4);
            Write(GsReg::FRAME_1, Frame(0, 4, 0x00));
            Write(GsReg::SCISSOR_1, Scissor(0, 255, 0, 255));
            Write(GsReg::XYOFFSET_1, Xyoffset(0, 0));
            Write(GsReg::TEST_1, 0);
            Tex0Bits tex;
            tex.tbp = 0x1000;
            tex.tbw = 1;
            tex.psm = 0x00;
            tex.tw = 6;
            tex.th = 6;
            Write(GsReg::TEX0_1, Tex0(tex));
            Write(GsReg::TEX1_1, Tex1(true, 1));
            PrimBits prim;
            prim.type = 3;
            prim.tme = true;
            prim.fst = false;
            prim.abe = true;
            for (u32 state = 0; state < 6; ++state) {
                Write(GsReg::ALPHA_1, Alpha(0, 1, 0, 1, state));
                Write(GsReg::PRIM, Prim(prim));
                for (u32 i = 0; i < 3; ++i) {
                    Write(GsReg::RGBAQ, Rgbaq(128, 128, 128, 128, 1.0f));
                    Write(GsReg::ST, St(0.1f * static_cast<float>(i), 0.2f));
                    Write(GsReg::XYZ2, Xyz((8 + 4 * (i % 2)) * 16, (8 + 4 * (i / 2)) * 16, 0));
                }
            }
            for (u32 strip = 0; strip < 200; ++strip)
                TexturedStrip(strip % 160);
            std::exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "run " << run << ", status " << status;
    }
}

}  // namespace
