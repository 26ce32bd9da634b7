// Vertices transformed and lit per second by the VU1 microcode: batches of 72
// vertices (position, texture coordinates, normal) through a material of
// transform, lighting with two point lights and fog in the extra-lights
// chain, and a kick.  The GS is replaced by a sink that drops what it gets,
// so the figure is the microcode's own.
#include <benchmark/benchmark.h>

#include <vu/vu1.h>

#include <cstring>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "gif/gif.h"
#include "vu/machine.h"

namespace {

class NullSink : public console::gif::GsSink
{
public:
    void WriteRegister(u32, u64) override {}
    size_t WriteImageData(const u128*, size_t qwc) override { return qwc; }
};

u128 Q4(u32 x, u32 y, u32 z, u32 w)
{
    u128 q;
    const u32 v[4] = {x, y, z, w};
    std::memcpy(&q, v, 16);
    return q;
}
u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}
u128 Vec(float x, float y, float z, float w) { return Q4(Bits(x), Bits(y), Bits(z), Bits(w)); }
u128 Cmd(u32 routine, u32 x = 0, u32 y = 0, u32 z = 0) { return Q4(x, y, z, routine / 8); }

void SetUpVu(bool lights)
{
    console::vu::ResetVu1();
    for (u32 i = 0; i < vu1::kMicrocode2Instructions; ++i)
        console::vu::WriteInstruction(i, vu1::Slot(vu1::kProgramMicrocode2, i));
    RenderContext rc;
    rc.SetDirectionalLights(VectorDir(0, 1, 1), VectorDir(1, 0, 0), VectorDir(0, 0, 0), Vector(0.5f, 0.5f, 0.5f, 0),
                            Vector(0.2f, 0, 0, 0), Vector(0, 0, 0, 0), Vector(0.2f, 0.2f, 0.2f, 1));
    vu1::Machine& vu = vu1::Vu1();
    for (u32 i = 0; i < 4; ++i) {
        vu.Q(MC2_WORLDCULL + i) = rc.world_cull.Raw()[i];
        vu.Q(MC2_LIGHTCOLOURS + i) = rc.light_colour.Raw()[i];
    }
    for (u32 i = 0; i < 3; ++i)
        vu.Q(MC2_LIGHTDIRS + i) = rc.normal_light.Raw()[i];
    std::memcpy(&vu.Q(MC2_CLIPSCALE), &rc.clip_scale, 16);
    u32 a = MC2_LIGHTCHAIN;
    if (lights) {
        vu.Q(a++) = Cmd(mc2UnpackNormals, 2, 2, 2);
        for (int l = 0; l < 2; ++l) {
            vu.Q(a++) = Q4(Bits(float(l) - 0.5f), 0, Bits(5), (Bits(1.0f) & 0xFFFF0000u) | mc2GeneralLight / 8);
            vu.Q(a++) = Vec(0, 0, 0, 1);
            vu.Q(a++) = Vec(1, 0.5f, 0.25f, 0.19f);
        }
        vu.Q(a++) = Cmd(mc2ClampLights);
        vu.Q(a++) = Q4(Bits(0.99609375f - 0.8f), Bits(0.99609375f), 0, mc2Fog / 8);
        vu.Q(a++) = Vec(0, 0, 0.1f, -0.3f);
        vu.Q(a++) = Vec(0, 0, 0, 1);
    }
    vu.Q(a) = Cmd(mc2NoExtraLights);

    // Buffers, viewport, then the material block.
    const u128 program[] = {
        Cmd(mc2SetBuffers, MC2_OUTBUF1, MC2_OUTBUF2),
        Q4(Bits(320), Bits(256), Bits(7999999.5f), mc2SetViewport / 8),
        Vec(2368, 2304, 8000000.5f, 0),
        Cmd(mc2SetMaterial, 3, 4),
        Cmd(mc2Transform),
        Q4(Bits(1), Bits(1), Bits(1), (Bits(1.0f) & 0xFFFF0000u) | mc2DoLighting / 8),
        Cmd(mc2KickFlip, 1, 0x30004000u | 4u << 15, 0x412),
        Cmd(mc2Stop),
    };
    for (u32 i = 0; i < sizeof program / sizeof program[0]; ++i)
        vu.Q(i) = program[i];
    console::vu::Mscal(0, 0, 0);
    // One batch of a strip facing the camera, in each input half.
    for (u32 half : {0u, u32(MC2_INPUT_OFFSET)})
        for (u32 v = 0; v < MC2_MAXBATCH; ++v) {
            vu.Q(half + 3 * v) = Vec(float(v / 2) * 0.1f - 1.8f, float(v & 1) - 0.5f, 4.0f + 0.01f * float(v), 1);
            vu.Q(half + 3 * v + 1) = Vec(0, 0, 0, 0);
            vu.Q(half + 3 * v + 2) = Vec(0.1f, 0, -1, 0);
        }
}

void TransformAndLight(benchmark::State& state)
{
    NullSink sink;
    console::gif::ScopedSink scope(sink);
    SetUpVu(state.range(0) != 0);
    u32 half = 0;
    for (auto _ : state) {
        console::vu::Mscnt(half, MC2_MAXBATCH);
        half ^= MC2_INPUT_OFFSET;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * MC2_MAXBATCH);
    state.SetLabel(state.range(0) ? "directional + 2 point lights + fog" : "directional lights only");
}

}  // namespace

BENCHMARK(TransformAndLight)->Arg(0)->Arg(1);
