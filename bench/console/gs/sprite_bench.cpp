// Sprite fill rate of the GS stand-in's default drawing path (the specialised
// pipelines, on the calling thread and with the default draw threads) over a
// full 640 x 512 screen: flat fills (the frame clear), textured sprites
// (nearest and bilinear), the full-screen copy of a 32-bit frame into a
// 16-bit one in 32-pixel strips, bilinear and dithered, as the flip does,
// and the copy back into the 32-bit frame with Z written.
// Pixels per second are reported as items per second, and in the summary.
#include "gs_bench_support.h"

namespace {

using console::gs::GsReg;
using gsbench::W;

constexpr u32 kWidth = 640, kHeight = 512, kFbw = 10;
// The 1024 x 512 CT32 texture (TBW 16: 8,192 blocks) right after the
// 640 x 512 CT32 frame (5,120 blocks); it ends at block 0x3400, inside the
// 16,384 blocks of memory.
constexpr u32 kTexBlock = 0x1400;
static_assert(kTexBlock + 16 * 16 * 32 <= 0x4000);
constexpr u32 kCopyFbp = 0x3400 / 32;  // the 16-bit copy target's page (640 x 512 x 2 bytes: 80 pages)

// Context 1: a CT32 or CT16S frame at page 0, whole-screen scissor, no Z.
void SetUp(u32 frame_psm, bool dither)
{
    console::gs::ResetGs(false);
    W(GsReg::FRAME_1, (u64{frame_psm} << 24) | (u64{kFbw} << 16));
    W(GsReg::ZBUF_1, (u64{1} << 32) | (u64{1} << 24) | 160);
    W(GsReg::SCISSOR_1, (u64{kHeight - 1} << 48) | (u64{kWidth - 1} << 16));
    W(GsReg::XYOFFSET_1, 0);
    W(GsReg::TEST_1, 0);
    W(GsReg::DTHE, dither ? 1 : 0);
    W(GsReg::DIMX, 0x1302203131203120ull);
    W(GsReg::COLCLAMP, 1);
}

void FlatScreen()
{
    W(GsReg::PRIM, 6);
    W(GsReg::RGBAQ, 0x80405060);
    W(GsReg::XYZ2, 0);
    W(GsReg::XYZ2, (u64{kHeight * 16} << 16) | (kWidth * 16));
}

// The texture drawn over the whole screen: 1:1 with texel centres at +8
// (nearest), or shifted by half a texel so that the bilinear filter really
// mixes four texels (the copy pass's form).
void TexturedScreen(bool bilinear)
{
    const u64 tex0 = kTexBlock | (u64{16} << 14) | (u64{10} << 26) | (u64{9} << 30) | (u64{1} << 34) | (u64{1} << 35);
    W(GsReg::TEX0_1, tex0);
    W(GsReg::TEX1_1, bilinear ? 0x61 : 0x01);
    W(GsReg::CLAMP_1, 0x5);
    W(GsReg::PRIM, 6 | (1 << 4) | (1 << 8));
    W(GsReg::RGBAQ, 0x80808080);
    const u32 offset = bilinear ? 0 : 8;
    W(GsReg::UV, (offset << 16) | offset);
    W(GsReg::XYZ2, 0);
    W(GsReg::UV, (u64{kHeight * 16 + offset} << 16) | (kWidth * 16 + offset));
    W(GsReg::XYZ2, (u64{kHeight * 16} << 16) | (kWidth * 16));
}

// The CT32 frame at page 0 sampled into the CT16S buffer, dithered.
void CopyScreen()
{
    W(GsReg::FRAME_1, (u64{0x0A} << 24) | (u64{kFbw} << 16) | kCopyFbp);
    W(GsReg::DTHE, 1);
    W(GsReg::TEX0_1, (u64{kFbw} << 14) | (u64{10} << 26) | (u64{9} << 30) | (u64{1} << 34) | (u64{1} << 35));
    W(GsReg::TEX1_1, 0x60);
    W(GsReg::CLAMP_1, 0x5);
    W(GsReg::PRIM, 6 | (1 << 4) | (1 << 8));
    for (u32 x = 0; x < kWidth; x += 32) {
        W(GsReg::UV, (u64{16} << 16) | (x * 16 + 16));
        W(GsReg::XYZ2, x * 16);
        W(GsReg::UV, (u64{kHeight * 16 + 16} << 16) | ((x + 32) * 16 + 16));
        W(GsReg::XYZ2, (u64{kHeight * 16} << 16) | ((x + 32) * 16));
    }
}

// The CT16S buffer sampled back into the CT32 frame at page 0 in 32-pixel
// strips, texel centres on pixel centres, modulated by a grey just off
// 0x80, the Z buffer (Z24, right after the frame) written with a test that
// always passes: the brighten pass.
void CopyBack()
{
    W(GsReg::FRAME_1, u64{kFbw} << 16);
    W(GsReg::ZBUF_1, (u64{1} << 24) | 160);
    W(GsReg::TEST_1, 0x30000);
    W(GsReg::DTHE, 0);
    W(GsReg::TEX0_1, (u64{kCopyFbp * 32}) | (u64{kFbw} << 14) | (u64{0x0A} << 20) | (u64{10} << 26) | (u64{9} << 30) |
                         (u64{1} << 34));
    W(GsReg::TEX1_1, 0x60);
    W(GsReg::CLAMP_1, 0x5);
    W(GsReg::PRIM, 6 | (1 << 4) | (1 << 8));
    W(GsReg::RGBAQ, 0x80787878);
    for (u32 x = 0; x < kWidth; x += 32) {
        W(GsReg::UV, (u64{8} << 16) | (x * 16 + 8));
        W(GsReg::XYZ2, x * 16);
        W(GsReg::UV, (u64{kHeight * 16 + 8} << 16) | ((x + 32) * 16 + 8));
        W(GsReg::XYZ2, (u64{kHeight * 16} << 16) | ((x + 32) * 16));
    }
}

void FillTexture(u32 block, u32 tbw, u32 w, u32 h)
{
    console::gs::LocalMemory& mem = console::gs::Vram();
    u32 seed = 12345;
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            mem.WritePixel(console::gs::Psm::kCT32, block, tbw, x, y, seed);
        }
}

void BM_SpriteFlat(benchmark::State& state)
{
    const bool ct16 = state.range(0) != 0;
    SetUp(ct16 ? 0x0A : 0x00, ct16);
    gsbench::UseThreads(state, 1);
    gsbench::Measure(state, ct16 ? "flat sprite, CT16S dithered" : "flat sprite, CT32", state.range(1),
                     kWidth * kHeight, FlatScreen);
}
BENCHMARK(BM_SpriteFlat)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SpriteTextured(benchmark::State& state)
{
    SetUp(0x00, false);
    FillTexture(kTexBlock, 16, 1024, 512);
    const bool bilinear = state.range(0) != 0;
    gsbench::UseThreads(state, 1);
    gsbench::Measure(state, bilinear ? "textured sprite, CT32 bilinear" : "textured sprite, CT32 nearest",
                     state.range(1), kWidth * kHeight, [&] { TexturedScreen(bilinear); });
}
BENCHMARK(BM_SpriteTextured)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScreenCopy(benchmark::State& state)
{
    SetUp(0x00, false);
    FillTexture(0, kFbw, kWidth, kHeight);
    gsbench::UseThreads(state, 0);
    gsbench::Measure(state, "full-screen copy, CT32 to CT16S bilinear dithered", state.range(0), kWidth * kHeight,
                     CopyScreen);
}
BENCHMARK(BM_ScreenCopy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

void BM_ScreenCopyBack(benchmark::State& state)
{
    SetUp(0x00, false);
    FillTexture(0, kFbw, kWidth, kHeight);
    CopyScreen();
    gsbench::UseThreads(state, 0);
    gsbench::Measure(state, "full-screen copy, CT16S to CT32 modulated, Z written", state.range(0), kWidth * kHeight,
                     CopyBack);
}
BENCHMARK(BM_ScreenCopyBack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
