// Triangle fill rate of the GS stand-in's default drawing path (the
// specialised pipelines, on the calling thread and with the default draw
// threads) over a full 640 x 512 screen, reported as pixels per second
// (items per second, and in the summary).  The screen is covered
// by a triangle strip of quads of a given size (the argument, in pixels), so
// the small sizes show the per-triangle set-up cost and the large ones the
// per-pixel cost.  Textured strips are drawn as the microcode's output is:
// STQ with perspective, Gouraud colour, MODULATE, bilinear, a Z24 test; the
// blended ones add (Cs - Cd) x As + Cd.  The 128-pixel textured strips are
// measured again with the pipelines held to SSE2, for the wider kernels' gain.
#include <bit>
#include <string>

#include "gs/simd.h"
#include "gs_bench_support.h"

namespace {

using console::gs::GsReg;
using gsbench::W;

constexpr u32 kWidth = 640, kHeight = 512, kFbw = 10;
constexpr u32 kZbp = 160;          // Z24 buffer pages after the frame
// The 256 x 256 CT32 texture (TBW 4: 1,024 blocks) above the frame and the
// Z buffer (160 pages each, so the Z buffer ends at block 0x2800).
constexpr u32 kTexBlock = 0x2800;
static_assert(kTexBlock >= 2 * kZbp * 32 && kTexBlock + 4 * 8 * 32 <= 0x4000);

void SetUp()
{
    console::gs::ResetGs(false);
    W(GsReg::ALPHA_1, 0x44);  // (Cs - Cd) x As + Cd
    W(GsReg::FRAME_1, u64{kFbw} << 16);
    W(GsReg::ZBUF_1, (u64{1} << 24) | kZbp);                    // Z24, written
    W(GsReg::TEST_1, (u64{1} << 16) | (u64{2} << 17));        // ZTE, GEQUAL
    W(GsReg::SCISSOR_1, (u64{kHeight - 1} << 48) | (u64{kWidth - 1} << 16));
    W(GsReg::XYOFFSET_1, 0);
    W(GsReg::COLCLAMP, 1);
    console::gs::LocalMemory& mem = console::gs::Vram();
    u32 seed = 12345;
    for (u32 y = 0; y < 256; ++y)
        for (u32 x = 0; x < 256; ++x) {
            seed = seed * 1664525u + 1013904223u;
            mem.WritePixel(console::gs::Psm::kCT32, kTexBlock, 4, x, y, seed | 0x80000000u);
        }
    // A 256 x 256 CT32 texture, MODULATE, bilinear, repeating.
    const u64 tex0 = kTexBlock | (u64{4} << 14) | (u64{8} << 26) | (u64{8} << 30) | (u64{1} << 34);
    W(GsReg::TEX0_1, tex0);
    W(GsReg::TEX1_1, 0x61);
    W(GsReg::CLAMP_1, 0);
}

u64 FloatBits(float f)
{
    return std::bit_cast<u32>(f);
}

// One strip per row of quads; Q runs from 1 at the left to 1/4 at the right
// so that every quad is perspective-mapped.
void DrawScreen(u32 quad, bool textured, bool blend)
{
    const u64 prim = 4 | (1 << 3) | (textured ? (1 << 4) : 0) | (blend ? (1 << 6) : 0);  // Gouraud strip, STQ
    u32 z = 0x100000;
    for (u32 y = 0; y < kHeight; y += quad) {
        W(GsReg::PRIM, prim);
        for (u32 x = 0;; x += quad) {
            const float q = 1.0f - 0.75f * static_cast<float>(x) / kWidth;
            for (u32 row = 0; row < 2; ++row) {
                const u32 yy = y + row * quad;
                const float s = static_cast<float>(x) / 128.0f * q, t = static_cast<float>(yy) / 128.0f * q;
                W(GsReg::ST, FloatBits(s) | (FloatBits(t) << 32));
                W(GsReg::RGBAQ, (0x80u | (x & 0x7F) << 8 | (yy & 0x7F) << 16 | 0x80u << 24) | (FloatBits(q) << 32));
                W(GsReg::XYZ2, (x * 16) | (u64{yy * 16} << 16) | (u64{z} << 32));
            }
            if (x >= kWidth)
                break;
        }
        ++z;
    }
}

void BM_TriangleStrip(benchmark::State& state, bool textured, bool blend, const char* what)
{
    SetUp();
    const u32 quad = static_cast<u32>(state.range(0));
    gsbench::UseThreads(state, 1);
    gsbench::Measure(state, std::string(what) + " " + std::to_string(quad * quad / 2) + "-pixel triangles",
                     state.range(1), kWidth * kHeight, [&] { DrawScreen(quad, textured, blend); });
}

// Triangles of 8, 32, 128 and 512 pixels: quads of 4, 8, 16 and 32 pixels.
void Sizes(benchmark::internal::Benchmark* b)
{
    for (int quad : {4, 8, 16, 32})
        for (int threads : {0, 1})
            b->Args({quad, threads});
}

void BM_TriangleTextured(benchmark::State& state)
{
    BM_TriangleStrip(state, true, false, "STQ bilinear MODULATE Z24 GEQUAL,");
}
BENCHMARK(BM_TriangleTextured)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TriangleGouraud(benchmark::State& state)
{
    BM_TriangleStrip(state, false, false, "Gouraud Z24 GEQUAL,");
}
BENCHMARK(BM_TriangleGouraud)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The textured strips with the pipelines held to SSE2, beside the host's
// widest kernels above.
void BM_TriangleTexturedSse2(benchmark::State& state)
{
    console::gs::LimitSimdLevel(console::gs::SimdLevel::kSse2);
    BM_TriangleStrip(state, true, false, "STQ bilinear MODULATE Z24 GEQUAL (SSE2),");
    console::gs::LimitSimdLevel(console::gs::HostSimdLevel());
}
BENCHMARK(BM_TriangleTexturedSse2)->Args({16, 0})->Args({16, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TriangleBlended(benchmark::State& state)
{
    BM_TriangleStrip(state, true, true, "alpha-blended STQ bilinear Z24,");
}
BENCHMARK(BM_TriangleBlended)->Args({16, 0})->Args({16, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
