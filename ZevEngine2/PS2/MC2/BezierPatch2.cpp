// BezierPatch2: bicubic patches tessellated on VU1.  SendBezierPatches
// unpacks the blend weights (t weights and t derivatives of the cubic
// Bernstein basis) at 0 and the patches into two 16-quadword slots, 0x40 and
// 0x50, in turn; the MSCAL of mc2BezierPatch tessellates the patch in 0x40,
// and each MSCNT continues with the other slot while the VIF fills the one
// just drawn.  A patch becomes t - 1 triangle strips of 2t vertices, each run
// through the ordinary batch steps (transform, texture matrix, lighting,
// kick) as a batch the routine writes for itself at MC2_PATCHWORK.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

// The MSCNT after a patch in slot 0x40 continues here, with slot 0x50.
constexpr u32 kSecondSlot = mc2BezierPatch + 8;
constexpr u32 kStride = 3;   // position, texture coordinates, normal

// Each reason is reported once: a pass of patches would flood the log.
enum Fault { BAD_TESSELATION, NO_SETUP, SMALL_BUFFERS, FAULTS };

void Report(Fault f, const char* what, u32 value)
{
    static bool reported[FAULTS];
    if (!reported[f])
        printf("VU1: mc2BezierPatch %s %u; patch not drawn\n", what, value);
    reported[f] = true;
}

// Point (i, j) of the patch in `slot` and its normal dP/du x dP/dv: i along
// a row (u), j across the rows (v).
void Point(vu1::Machine& vu, u32 slot, u32 t, u32 i, u32 j, float p[3], float n[3])
{
    const float* bu = vu.F(i);
    const float* du = vu.F(t + i);
    const float* bv = vu.F(j);
    const float* dv = vu.F(t + j);
    float pu[3] = {0, 0, 0}, pv[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
        p[k] = 0.0f;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const float* q = vu.F(slot + 4 * u32(r) + u32(c));
            const float b = bv[r] * bu[c], bdu = bv[r] * du[c], bdv = dv[r] * bu[c];
            for (int k = 0; k < 3; ++k) {
                p[k] += b * q[k];
                pu[k] += bdu * q[k];
                pv[k] += bdv * q[k];
            }
        }
    n[0] = pu[1] * pv[2] - pu[2] * pv[1];
    n[1] = pu[2] * pv[0] - pu[0] * pv[2];
    n[2] = pu[0] * pv[1] - pu[1] * pv[0];
}

void Put(vu1::Machine& vu, u32 addr, float x, float y, float z, u32 w)
{
    float* f = vu.F(addr);
    f[0] = x;
    f[1] = y;
    f[2] = z;
    vu.I(addr)[3] = w;
}

void Tessellate(vu1::Machine& vu, u32 slot)
{
    State& st = St(vu);
    DefaultBuffers(st);
    const u32 t = vu.Itop();
    const u32* setup = vu.I(MC2_PATCHSETUP);
    if (t < 2 || t > MC2_MAXTESSELATION)
        return Report(BAD_TESSELATION, "tessellation", t);
    if (setup[1] == 0)
        return Report(NO_SETUP, "set-up at", MC2_PATCHSETUP);
    if (Capacity(st) < 2 * t)
        return Report(SMALL_BUFFERS, "output buffers too small for strips of", 2 * t);

    // The patch runs as a batch of its own; what a material left for the
    // batches after it is put back afterwards.
    const State saved = st;
    const u32 verts = MC2_PATCHWORK;
    const u32 steps = verts + kStride * 2 * MC2_MAXTESSELATION;
    const u32 colour = setup[2];
    auto level = [](u32 byte) { return float(byte & 0xFF) / 128.0f; };
    Put(vu, steps, 0, 0, 0, mc2Transform / 8);
    vu.I(steps + 1)[0] = MC2_TEXMATRIX0;
    vu.I(steps + 1)[1] = 0;
    vu.F(steps + 1)[2] = 1.0f;
    vu.I(steps + 1)[3] = mc2TransformUV / 8;
    Put(vu, steps + 2, level(colour), level(colour >> 8), level(colour >> 16),
        (AsBits(level(colour >> 24)) & 0xFFFF0000u) | mc2DoLighting / 8);
    vu.I(steps + 3)[0] = 1;
    vu.I(steps + 3)[1] = setup[0];
    vu.I(steps + 3)[2] = setup[1];
    vu.I(steps + 3)[3] = mc2KickFlip / 8;

    st.stride = kStride;
    st.haveLocal = 0;
    st.noclip = 0;
    st.batch = 2;
    Batch& b = st.batches[2];
    b.used = 1;
    b.top = verts;
    b.resume = 0;
    b.skip = 0;
    for (u32 j = 0; j + 1 < t; ++j) {
        for (u32 i = 0; i < t; ++i)
            for (u32 side = 0; side < 2; ++side) {
                float p[3], n[3];
                Point(vu, slot, t, i, j + side, p, n);
                const u32 v = verts + kStride * (2 * i + side);
                Put(vu, v, p[0], p[1], p[2], 0);
                Put(vu, v + 1, 0, 0, 0, 0);
                Put(vu, v + 2, n[0], n[1], n[2], 0);
            }
        st.in = verts;
        st.n = b.count = 2 * t;
        b.outbuf = st.buf[st.cur];
        b.fogged = 0;
        std::memset(b.flags, 0, sizeof b.flags);
        RunSteps(vu, steps, steps + 4);
    }

    const u32 cur = st.cur;
    const u8 warned = st.chainWarned;
    st = saved;
    st.cur = cur;
    st.chainWarned = warned;
}

// MSCAL: the patch in slot 0x40; MSCNT continues with slot 0x50.
u32 BezierPatch(vu1::Machine& vu, u32)
{
    Tessellate(vu, MC2_PATCHSLOT0);
    return kSecondSlot;
}

u32 BezierPatchSecond(vu1::Machine& vu, u32)
{
    Tessellate(vu, MC2_PATCHSLOT1);
    return mc2BezierPatch;
}

}  // namespace
}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2BezierPatch, "mc2BezierPatch", mc2::BezierPatch);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2::kSecondSlot, "mc2BezierPatch1", mc2::BezierPatchSecond);
