// Transform2: vertex positions to the screen, and the texture-coordinate
// steps.  The transform maps each position through the object matrix and
// world_cull, writes the output vertex (ST with Q = 1/w, a white colour,
// XYZF2 through the viewport with no fog) and records the no-kick flag; later
// steps of the material overwrite ST and the colour, and the kick decides
// what is drawn.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {

void LocalCull(vu1::Machine& vu, const State& st, float m[4][4])
{
    static const float identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const float(*l)[4] = st.haveLocal ? st.local : identity;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k)
                s += l[r][k] * vu.F(MC2_WORLDCULL + k)[c];
            m[r][c] = s;
        }
}

u32 Outcodes(const float c[4], float g)
{
    const float x = g * c[0], y = g * c[1], w = c[3];
    return (x > w ? OC_POS_X : 0) | (x < -w ? OC_NEG_X : 0) | (y > w ? OC_POS_Y : 0) | (y < -w ? OC_NEG_Y : 0) |
           (c[2] < -w ? OC_NEAR : 0);
}

void Position(vu1::Machine& vu, const State& st, u32 i, float p[3])
{
    const float* v = vu.F(InVertex(st, i, 0));
    for (int k = 0; k < 3; ++k)
        p[k] = st.compressed ? v[k] - st.posoff[k] : v[k];
}

void Normal(vu1::Machine& vu, const State& st, u32 i, u32 slot, bool flip, float n[3])
{
    const float* v = vu.F(InVertex(st, i, slot));
    for (int k = 0; k < 3; ++k)
        n[k] = DecodeNormal(v[k]);
    const float l2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    const float s = l2 > 0.0f ? (flip ? -1.0f : 1.0f) / std::sqrt(l2) : 0.0f;
    for (int k = 0; k < 3; ++k)
        n[k] *= s;
}

void WriteVertex(vu1::Machine& vu, const State& st, u32 addr, const float c[4], const float uv[2],
                 const u32 rgba[4], u32 fog, bool adc)
{
    float w = c[3];
    if (std::fabs(w) < 1e-20f)
        w = w < 0.0f ? -1e-20f : 1e-20f;
    const float q = 1.0f / w;
    float* stq = vu.F(addr);
    stq[0] = uv[0] * q;
    stq[1] = uv[1] * q;
    stq[2] = q;
    stq[3] = 0.0f;
    u32* col = vu.I(addr + 1);
    for (int k = 0; k < 4; ++k)
        col[k] = rgba[k];

    // Screen x and y in 1/16 pixel; the GS takes 16 bits of each.
    auto fixed4 = [](float v) -> u32 {
        const float f = v * 16.0f;
        if (!(f > 0.0f))
            return 0;
        return f >= 65535.0f ? 0xFFFFu : u32(f);
    };
    const u32 x = fixed4(st.vtrans[0] + st.vscale[0] * c[0] * q);
    const u32 y = fixed4(st.vtrans[1] + st.vscale[1] * c[1] * q);
    // Depth runs the other way from the projection's z: the near plane maps
    // to trans + scale and the far plane to trans - scale, so nearer pixels
    // carry larger Z (the scene tests depth with GEQUAL and clears it to 1).
    // It is held within the viewport's range, and the GS keeps 24 bits.
    const float zlo = std::min(st.vtrans[2] - st.vscale[2], st.vtrans[2] + st.vscale[2]);
    const float zhi = std::max(st.vtrans[2] - st.vscale[2], st.vtrans[2] + st.vscale[2]);
    float z = st.vtrans[2] - st.vscale[2] * c[2] * q;
    if (!(z >= zlo))
        z = zlo;
    if (z > zhi)
        z = zhi;
    const u32 zi = u32(s32(z)) & 0xFFFFFFu;
    u32* xyzf = vu.I(addr + 2);
    xyzf[0] = x;
    xyzf[1] = y;
    xyzf[2] = zi << 4;
    xyzf[3] = (fog & 0xFF) << 4 | (adc ? 0x8000u : 0u);
}

void PutUV(vu1::Machine& vu, const State& st, u32 i, float u, float v)
{
    float* stq = vu.F(OutVertex(st, i));
    stq[0] = u * stq[2];
    stq[1] = v * stq[2];
}

namespace {

const u32 kWhite[4] = {0x80, 0x80, 0x80, 0x80};

u32 TransformBatch(vu1::Machine& vu, u32 pc, bool compressed, bool clipped)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    Batch& b = CurBatch(st);
    st.compressed = compressed;
    for (int k = 0; k < 3; ++k)
        st.posoff[k] = compressed ? vu.F(pc)[k] : 0.0f;
    st.uvoff = compressed ? HighHalf(vu.I(pc)[3]) : 0.0f;
    b.clip = clipped || !st.noclip;
    b.outbuf = st.buf[st.cur];

    float m[4][4];
    LocalCull(vu, st, m);
    for (u32 i = 0; i < st.n; ++i) {
        float p[3], c[4], uv[2] = {0.0f, 0.0f};
        Position(vu, st, i, p);
        const bool restart = (vu.I(InVertex(st, i, 0))[3] & 0x8000) != 0;
        b.flags[i] = restart ? VF_RESTART : 0;
        Through(m, p, c);
        if (st.stride >= 2) {
            const float* t = vu.F(InVertex(st, i, 1));
            uv[0] = t[0] - st.uvoff;
            uv[1] = t[1] - st.uvoff;
        }
        WriteVertex(vu, st, OutVertex(st, i), c, uv, kWhite, 0xFF, restart);
    }
    return pc + 1;
}

u32 Transform(vu1::Machine& vu, u32 pc) { return TransformBatch(vu, pc, false, false); }
u32 TransformClipped(vu1::Machine& vu, u32 pc) { return TransformBatch(vu, pc, false, true); }
u32 TransformCompressed(vu1::Machine& vu, u32 pc) { return TransformBatch(vu, pc, true, false); }
u32 TransformCompressedClipped(vu1::Machine& vu, u32 pc) { return TransformBatch(vu, pc, true, true); }

// {slot, offset}: texture coordinates from another input slot, less offset.
u32 SetUV(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 slot = vu.I(pc)[0];
    const float off = vu.F(pc)[1];
    for (u32 i = 0; i < st.n; ++i) {
        const float* t = vu.F(InVertex(st, i, slot));
        PutUV(vu, st, i, t[0] - off, t[1] - off);
    }
    return pc + 1;
}

// {matrix address, slot, w}: (slot x, y, z, w) through the 4 x 4 matrix at
// the address; its x and y are the texture coordinates.  The normalising
// form takes the slot as a normal (decoded, unit length) first.
u32 TransformUVWith(vu1::Machine& vu, u32 pc, bool normalise)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 mat = vu.I(pc)[0];
    const u32 slot = vu.I(pc)[1];
    const float w = vu.F(pc)[2];
    const float* m0 = vu.F(mat);
    const float* m1 = vu.F(mat + 1);
    const float* m2 = vu.F(mat + 2);
    const float* m3 = vu.F(mat + 3);
    for (u32 i = 0; i < st.n; ++i) {
        float s[3];
        if (normalise) {
            Normal(vu, st, i, slot, false, s);
        } else {
            const float* v = vu.F(InVertex(st, i, slot));
            s[0] = v[0];
            s[1] = v[1];
            s[2] = v[2];
        }
        const float u = s[0] * m0[0] + s[1] * m1[0] + s[2] * m2[0] + w * m3[0];
        const float v = s[0] * m0[1] + s[1] * m1[1] + s[2] * m2[1] + w * m3[1];
        PutUV(vu, st, i, u, v);
    }
    return pc + 1;
}

u32 TransformUV(vu1::Machine& vu, u32 pc) { return TransformUVWith(vu, pc, false); }
u32 TransformUVnorm(vu1::Machine& vu, u32 pc) { return TransformUVWith(vu, pc, true); }

// A number in [-1, 1] from the bits of a position and a lane, the same for
// the same vertex every frame.
float Jitter(const u32* p, u32 lane)
{
    u32 h = p[0] * 73856093u ^ p[1] * 19349663u ^ p[2] * 83492791u ^ lane * 2654435761u;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return float(h & 0xFFFF) / 32767.5f - 1.0f;
}

float Hold(float v, float lo, float hi)
{
    if (!(v >= lo))
        return lo;
    return v > hi ? hi : v;
}

// {lo, hi, jitter}: texture coordinates moved by up to jitter each, at random
// but the same for a vertex every frame, then held to [lo, hi].
u32 RandomClamp(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const float lo = vu.F(pc)[0], hi = vu.F(pc)[1], jitter = vu.F(pc)[2];
    for (u32 i = 0; i < st.n; ++i) {
        const float* stq = vu.F(OutVertex(st, i));
        const float q = stq[2] != 0.0f ? stq[2] : 1.0f;
        const u32* pos = vu.I(InVertex(st, i, 0));
        const float u = stq[0] / q + jitter * Jitter(pos, 0);
        const float v = stq[1] / q + jitter * Jitter(pos, 1);
        PutUV(vu, st, i, Hold(u, lo, hi), Hold(v, lo, hi));
    }
    return pc + 1;
}

// {slot}: vertices whose slot w word has bit 15 set get no drawing kick too.
u32 UnpackADC(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 slot = vu.I(pc)[0];
    Batch& b = CurBatch(st);
    for (u32 i = 0; i < st.n; ++i)
        if (vu.I(InVertex(st, i, slot))[3] & 0x8000) {
            b.flags[i] |= VF_RESTART;
            vu.I(OutVertex(st, i) + 2)[3] |= 0x8000;
        }
    return pc + 1;
}

}  // namespace
}  // namespace mc2

using namespace mc2;

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Transform, "mc2Transform", Transform);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2TransformClipped, "mc2TransformClipped", TransformClipped);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2TransformCompressed, "mc2TransformCompressed", TransformCompressed);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2TransformCompressedClipped, "mc2TransformCompressedClipped",
                  TransformCompressedClipped);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2SetUV, "mc2SetUV", SetUV);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2TransformUV, "mc2TransformUV", TransformUV);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2TransformUVnorm, "mc2TransformUVnorm", TransformUVnorm);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2RandomClamp, "mc2RandomClamp", RandomClamp);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2UnpackADC, "mc2UnpackADC", UnpackADC);
