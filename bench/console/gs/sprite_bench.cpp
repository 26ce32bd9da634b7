// Sprite fill rate of the GS reference path over a full 640 x 512 screen:
// flat fills (the frame clear) and textured copies (the copy pass and the
// post effects), reported as pixels per second (items per second).
#include <benchmark/benchmark.h>

#include "gs/gs.h"
#include "gs/regs.h"

namespace {

using console::gs::GsReg;

constexpr u32 kWidth = 640, kHeight = 512, kFbw = 10;
constexpr u32 kTexBlock = 0x2800;  // above a 640 x 512 CT32 frame and a Z24 buffer

void W(GsReg reg, u64 value)
{
    console::gs::WriteRegister(static_cast<u32>(reg), value);
}

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

// A CT32 texture of 1024 x 512 (TBW 16) drawn over the whole screen: 1:1
// with texel centres at +8 (nearest), or shifted by half a texel so that the
// bilinear filter really mixes four texels (the copy pass's form).
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

void FillTexture()
{
    console::gs::LocalMemory& mem = console::gs::Vram();
    u32 seed = 12345;
    for (u32 y = 0; y < 512; ++y)
        for (u32 x = 0; x < 1024; ++x) {
            seed = seed * 1664525u + 1013904223u;
            mem.WritePixel(console::gs::Psm::kCT32, kTexBlock, 16, x, y, seed);
        }
}

void BM_SpriteFlat(benchmark::State& state)
{
    SetUp(static_cast<u32>(state.range(0)), state.range(0) != 0);
    for (auto _ : state) {
        FlatScreen();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(state.range(0) == 0 ? "CT32" : "CT16S dithered");
}
BENCHMARK(BM_SpriteFlat)->Arg(0x00)->Arg(0x0A)->Unit(benchmark::kMillisecond);

void BM_SpriteTextured(benchmark::State& state)
{
    SetUp(0x00, false);
    FillTexture();
    const bool bilinear = state.range(0) != 0;
    for (auto _ : state) {
        TexturedScreen(bilinear);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel(bilinear ? "CT32 bilinear" : "CT32 nearest");
}
BENCHMARK(BM_SpriteTextured)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
