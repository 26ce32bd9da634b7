// PaletteSkin2: skinned vertices.  A skinned model's vertices are bound to up
// to three matrices of the palette the EE sends to VU1 address 0 (four
// quadwords a matrix, rows x, y, z, w, each the bone's bind-pose inverse times
// its current frame in the model's space).  mc2Skin blends each vertex's
// position, and its normal when asked, through those matrices in place in the
// input buffer, before the transform: the steps after it see the deformed
// model as if it had been stored that way.
//
// {weights slot, normal slot (0: none), 0}.  The weights slot holds three
// weights as floats in x, y, z and the three palette numbers in the bytes of
// its w word (bits 0..7, 8..15, 16..23); a weight of 0 leaves its matrix out.
// position = sum of weight_i * (p, 1) * M_i; normal = sum of weight_i * n * M_i
// (rotation rows only, written back at unit length).  A vertex whose weights
// are all 0 keeps its position and normal.  Positions are read as floats
// (skinned materials store float positions), and the position's w word (the
// no-kick flag) is kept.  A palette number whose matrix would reach the input
// buffer (past the palette the buffers were laid out around) is left out and
// reported once.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

// The first input quadword: the palette ends below it.
u32 PaletteLimit(const State& st)
{
    u32 limit = st.in;
    for (const Batch& b : st.batches)
        if (b.used && b.top < limit)
            limit = b.top;
    return limit;
}

u32 Skin(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 wslot = vu.I(pc)[0];
    const u32 nslot = vu.I(pc)[1];
    if (wslot == 0 || wslot >= st.stride) {
        static bool reported;
        if (!reported)
            printf("VU1: mc2Skin weights slot %u outside the %u-quadword vertex\n", wslot, st.stride);
        reported = true;
        return pc + 1;
    }
    const bool normals = nslot != 0 && nslot < st.stride && nslot != wslot;
    const u32 limit = PaletteLimit(st);
    for (u32 i = 0; i < st.n; ++i) {
        const float* wt = vu.F(InVertex(st, i, wslot));
        const u32 numbers = vu.I(InVertex(st, i, wslot))[3];
        float* pos = vu.F(InVertex(st, i, 0));
        float p[3] = {0.0f, 0.0f, 0.0f}, n[3] = {0.0f, 0.0f, 0.0f};
        float nin[3] = {0.0f, 0.0f, 0.0f};
        if (normals) {
            const float* v = vu.F(InVertex(st, i, nslot));
            for (int k = 0; k < 3; ++k)
                nin[k] = DecodeNormal(v[k]);
        }
        bool any = false;
        for (int j = 0; j < 3; ++j) {
            const float w = wt[j];
            if (w == 0.0f)
                continue;
            const u32 m = 4 * ((numbers >> (8 * j)) & 0xFF);
            if (m + 3 >= limit) {
                static bool reported;
                if (!reported)
                    printf("VU1: mc2Skin palette number %u reaches past the palette (%u quadwords)\n", m / 4,
                           limit);
                reported = true;
                continue;
            }
            const float* r0 = vu.F(m);
            const float* r1 = vu.F(m + 1);
            const float* r2 = vu.F(m + 2);
            const float* r3 = vu.F(m + 3);
            for (int k = 0; k < 3; ++k) {
                p[k] += w * (pos[0] * r0[k] + pos[1] * r1[k] + pos[2] * r2[k] + r3[k]);
                n[k] += w * (nin[0] * r0[k] + nin[1] * r1[k] + nin[2] * r2[k]);
            }
            any = true;
        }
        if (!any)
            continue;
        for (int k = 0; k < 3; ++k)
            pos[k] = p[k];
        if (normals) {
            // Written back as unit floats: below 2, they cannot be taken for
            // offset-encoded values.
            const float l2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
            const float s = l2 > 0.0f ? 1.0f / std::sqrt(l2) : 0.0f;
            float* v = vu.F(InVertex(st, i, nslot));
            for (int k = 0; k < 3; ++k)
                v[k] = n[k] * s;
        }
    }
    return pc + 1;
}

}  // namespace
}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Skin, "mc2Skin", mc2::Skin);
