// PartMicrocode: the particle overlay (particles and rain).  Its three
// routines are batch steps of a material program: a command block sets the
// output buffers, viewport, object matrix and a material {stride, 2} whose
// one-step program names one of them; each batch of particle records then
// follows with ITOP count and MSCNT (or inline with mc2ProcessVerts), at most
// 72 records a batch as for any vertices.  A routine projects every record
// of the batch itself and kicks its own GIF packets (PACKED, PRE with the
// command's PRIM), as many as the current output buffer needs; met by the
// interpreter outside a batch it does nothing.
//
// Command quadword {prim, colour, 0, routine}: prim is the GS PRIM value the
// packets carry; colour an RGBA word (r in the low byte, 0x80 = full) that
// mc2PartLine gives records without colours of their own.
//
// Records (one "vertex" of the batch, `stride` quadwords; positions in object
// space, through the object matrix and world_cull like any vertex):
//   mc2PartSprite 0x3A88, stride >= 4: {centre x, y, z, -}, {half width, half
//     height, -, -} (object units, camera-facing), {r, g, b, a} integers,
//     {u0, v0, u1, v1} integers in 1/16 texel (top-left, bottom-right).
//     Output per record: RGBAQ, UV, XYZF2 (no kick), UV, XYZF2.
//   mc2PartFlat 0x3900, stride >= 4: as the sprite, with the screen rotation
//     in radians in the second quadword's z; corners right-top, left-top,
//     right-bottom, left-bottom turned by it (a strip of two triangles).
//     Output: RGBAQ, (UV, XYZF2 no kick) x 2, (UV, XYZF2) x 2.
//   mc2PartLine 0x3BB8, stride >= 2: {start x, y, z, -}, {end x, y, z, -};
//     with stride >= 4 also {r, g, b, a} integers of the start and of the
//     end, otherwise the command's colour at both.  Output: RGBAQ, XYZF2 (no
//     kick), RGBAQ, XYZF2.
// The w words of the positions are not read.  A record whose centre (a line:
// either end) lies behind the near plane, outside the guard band or not in
// front of the eye is left out: particles are not clipped.  Screen
// coordinates and depth follow the main program's transform (README.md,
// section 4): nearer is larger.  A stride too short for the routine draws
// nothing (said once).
#include "ZevEngine2/PS2/MC2/PartMicrocode.h"

#include "ZevEngine2/PS2/MC2/Mc2Local.h"
#include "ZevEngine2/PS2/Vector.h"

namespace mc2 {
namespace {

// GIF register lists (PACKED, first register lowest): RGBAQ 1, UV 3, XYZF2 4.
constexpr u64 kSpriteRegs = 0x43431;
constexpr u64 kFlatRegs = 0x434343431;
constexpr u64 kLineRegs = 0x4141;
constexpr u32 kSpriteQwc = 5, kFlatQwc = 9, kLineQwc = 4;

// Where a routine writes: the current output buffer and how many quadwords it
// may fill (the distance between the two buffers).
struct OutArea
{
    u32 base;
    u32 qwc;
};

OutArea Area(State& st)
{
    if (st.buf[0] == 0 && st.buf[1] == 0) {
        st.buf[0] = MC2_OUTBUF1;
        st.buf[1] = MC2_OUTBUF2;
    }
    const u32 lo = std::min(st.buf[0], st.buf[1]), hi = std::max(st.buf[0], st.buf[1]);
    return OutArea{st.buf[st.cur], hi - lo};
}

// A cull-space point that may be drawn: in front of the eye, beyond the near
// plane and inside the guard band.
bool Drawable(const float c[4], float g)
{
    return c[3] > 0.0f && Outcodes(c, g) == 0;
}

// The PACKED XYZF2 quadword of screen point (x, y) (pixels) at depth z, as
// the main program's transform writes it.
void PutXyz(vu1::Machine& vu, u32 addr, const State& st, float x, float y, float zc, bool noKick)
{
    auto fixed4 = [](float v) -> u32 {
        const float f = v * 16.0f;
        if (!(f > 0.0f))
            return 0;
        return f >= 65535.0f ? 0xFFFFu : u32(f);
    };
    const float zlo = std::min(st.vtrans[2] - st.vscale[2], st.vtrans[2] + st.vscale[2]);
    const float zhi = std::max(st.vtrans[2] - st.vscale[2], st.vtrans[2] + st.vscale[2]);
    float z = st.vtrans[2] - st.vscale[2] * zc;
    if (!(z >= zlo))
        z = zlo;
    if (z > zhi)
        z = zhi;
    u32* q = vu.I(addr);
    q[0] = fixed4(x);
    q[1] = fixed4(y);
    q[2] = (u32(s32(z)) & 0xFFFFFFu) << 4;
    q[3] = noKick ? 0x8000u : 0u;
}

void PutColour(vu1::Machine& vu, u32 addr, const u32 rgba[4])
{
    u32* q = vu.I(addr);
    for (int k = 0; k < 4; ++k)
        q[k] = std::min<u32>(rgba[k], 255u);
}

void PutUv(vu1::Machine& vu, u32 addr, u32 u, u32 v)
{
    u32* q = vu.I(addr);
    q[0] = u & 0x3FFF;
    q[1] = v & 0x3FFF;
    q[2] = 0;
    q[3] = 0;
}

// A material whose records are too short for the routine: said once per
// routine (every batch would say it again), and the batch draws nothing.
void Refuse(const char* routine, u32 need, u32 stride)
{
    static const char* said[3];
    for (const char* s : said)
        if (s != nullptr && std::strcmp(s, routine) == 0)
            return;
    for (const char*& s : said)
        if (s == nullptr) {
            s = routine;
            break;
        }
    printf("VU1: %s records need %u quadwords, the material has %u\n", routine, need, stride);
}

void ColourOf(u32 word, u32 rgba[4])
{
    for (int k = 0; k < 4; ++k)
        rgba[k] = (word >> (8 * k)) & 0xFF;
}

// Writes the records of the batch through `one` (which fills `per`
// quadwords at an address and returns false for a record left out) into
// packets of as many records as the output buffer takes, kicking each.
template <class F>
void Emit(vu1::Machine& vu, u32 prim, u64 regs, u32 nreg, u32 per, F one)
{
    State& st = St(vu);
    const OutArea out = Area(st);
    if (out.qwc < 1 + per) {
        printf("VU1: particle output buffer of %u quadwords too small\n", out.qwc);
        return;
    }
    const u32 room = (out.qwc - 1) / per;
    u32 i = 0;
    while (i < st.n) {
        u32 k = 0;
        for (; i < st.n && k < room; ++i)
            if (one(i, out.base + 1 + k * per))
                ++k;
        if (k == 0)
            break;
        const u64 lo = u64(k) | 1ull << 15 | 1ull << 46 | u64(prim & 0x7FF) << 47 | u64(nreg & 0xF) << 60;
        u32* tag = vu.I(out.base);
        tag[0] = u32(lo);
        tag[1] = u32(lo >> 32);
        tag[2] = u32(regs);
        tag[3] = u32(regs >> 32);
        vu.Xgkick(out.base);
    }
}

// The object-to-cull matrix and the screen scale of one unit of object x and
// y at cull w = 1, for camera-facing sizes.
struct Frame
{
    float m[4][4];
    float kx, ky;
    float g;
};

void FrameFor(vu1::Machine& vu, const State& st, Frame& f)
{
    LocalCull(vu, st, f.m);
    f.kx = std::sqrt(f.m[0][0] * f.m[0][0] + f.m[1][0] * f.m[1][0] + f.m[2][0] * f.m[2][0]) * st.vscale[0];
    f.ky = std::sqrt(f.m[0][1] * f.m[0][1] + f.m[1][1] * f.m[1][1] + f.m[2][1] * f.m[2][1]) * st.vscale[1];
    f.g = vu.F(MC2_CLIPSCALE)[3];
}

// Sprites and flats share everything but the corners.
u32 Quad(vu1::Machine& vu, u32 pc, bool flat)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    if (st.stride < 4) {
        Refuse(flat ? "mc2PartFlat" : "mc2PartSprite", 4, st.stride);
        return pc + 1;
    }
    const u32 prim = vu.I(pc)[0];
    Frame f;
    FrameFor(vu, st, f);
    auto one = [&](u32 i, u32 at) {
        const float* centre = vu.F(InVertex(st, i, 0));
        const float* size = vu.F(InVertex(st, i, 1));
        const u32* col = vu.I(InVertex(st, i, 2));
        const u32* uv = vu.I(InVertex(st, i, 3));
        float c[4];
        Through(f.m, centre, c);
        if (!Drawable(c, f.g))
            return false;
        const float q = 1.0f / c[3];
        const float sx = st.vtrans[0] + st.vscale[0] * c[0] * q;
        const float sy = st.vtrans[1] + st.vscale[1] * c[1] * q;
        const float zc = c[2] * q;
        const float ex = size[0] * f.kx * q, ey = size[1] * f.ky * q;
        PutColour(vu, at, col);
        if (!flat) {
            PutUv(vu, at + 1, uv[0], uv[1]);
            PutXyz(vu, at + 2, st, sx - ex, sy - ey, zc, true);
            PutUv(vu, at + 3, uv[2], uv[3]);
            PutXyz(vu, at + 4, st, sx + ex, sy + ey, zc, false);
            return true;
        }
        // (-w, h) and (w, h) turned by the angle, in screen units.
        const Vector cs = VU0CosSin(FixAng(size[2]));
        const float co = cs[0], si = cs[1];
        const float w = size[0] * q, h = size[1] * q;
        const float ax = (co * -w - si * h) * f.kx, ay = (si * -w + co * h) * f.ky;
        const float bx = (co * w - si * h) * f.kx, by = (si * w + co * h) * f.ky;
        PutUv(vu, at + 1, uv[2], uv[1]);
        PutXyz(vu, at + 2, st, sx - ax, sy - ay, zc, true);
        PutUv(vu, at + 3, uv[0], uv[1]);
        PutXyz(vu, at + 4, st, sx - bx, sy - by, zc, true);
        PutUv(vu, at + 5, uv[2], uv[3]);
        PutXyz(vu, at + 6, st, sx + bx, sy + by, zc, false);
        PutUv(vu, at + 7, uv[0], uv[3]);
        PutXyz(vu, at + 8, st, sx + ax, sy + ay, zc, false);
        return true;
    };
    if (flat)
        Emit(vu, prim, kFlatRegs, 9, kFlatQwc, one);
    else
        Emit(vu, prim, kSpriteRegs, 5, kSpriteQwc, one);
    return pc + 1;
}

}  // namespace

u32 PartFlat(vu1::Machine& vu, u32 pc)
{
    return Quad(vu, pc, true);
}

u32 PartSprite(vu1::Machine& vu, u32 pc)
{
    return Quad(vu, pc, false);
}

u32 PartLine(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    if (st.stride < 2) {
        Refuse("mc2PartLine", 2, st.stride);
        return pc + 1;
    }
    const u32 prim = vu.I(pc)[0];
    u32 shared[4];
    ColourOf(vu.I(pc)[1], shared);
    Frame f;
    FrameFor(vu, st, f);
    auto one = [&](u32 i, u32 at) {
        float c0[4], c1[4];
        Through(f.m, vu.F(InVertex(st, i, 0)), c0);
        Through(f.m, vu.F(InVertex(st, i, 1)), c1);
        if (!Drawable(c0, f.g) || !Drawable(c1, f.g))
            return false;
        const bool own = st.stride >= 4;
        const u32* col0 = own ? vu.I(InVertex(st, i, 2)) : shared;
        const u32* col1 = own ? vu.I(InVertex(st, i, 3)) : shared;
        const float q0 = 1.0f / c0[3], q1 = 1.0f / c1[3];
        PutColour(vu, at, col0);
        PutXyz(vu, at + 1, st, st.vtrans[0] + st.vscale[0] * c0[0] * q0, st.vtrans[1] + st.vscale[1] * c0[1] * q0,
               c0[2] * q0, true);
        PutColour(vu, at + 2, col1);
        PutXyz(vu, at + 3, st, st.vtrans[0] + st.vscale[0] * c1[0] * q1, st.vtrans[1] + st.vscale[1] * c1[1] * q1,
               c1[2] * q1, false);
        return true;
    };
    Emit(vu, prim, kLineRegs, 4, kLineQwc, one);
    return pc + 1;
}

}  // namespace mc2
