// Clipper2: what a kick draws.  The kick writes the batch's GIF tag in front
// of its output vertices and decides for each triangle whether it is drawn:
// vertices that restart a strip, triangles culled by facing (mc2BFCull), and
// triangles that leave the guard band or cross the near plane get the
// no-kick flag; when the batch is clipped, the crossing triangles are clipped
// in clip space and sent as fans of their own after the batch's packet.
//
// Facing is judged in homogeneous coordinates, so it stays right for
// triangles that reach behind the eye: a triangle is front-facing when, in
// strip order (every second triangle of a strip reversed), (v1 - v0) x
// (v2 - v0) points towards the eye; on screen (y down) it then runs
// counter-clockwise.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

enum : u32 { PRIM_TRIANGLE = 3, PRIM_TRISTRIP = 4, PRIM_TRIFAN = 5, PRIM_FGE = 0x20 };

// One vertex while a triangle is clipped.
struct ClipVertex
{
    float c[4];
    float uv[2];
    float col[4];
    float fog;
};

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t)
{
    ClipVertex r;
    for (int k = 0; k < 4; ++k) {
        r.c[k] = a.c[k] + t * (b.c[k] - a.c[k]);
        r.col[k] = a.col[k] + t * (b.col[k] - a.col[k]);
    }
    for (int k = 0; k < 2; ++k)
        r.uv[k] = a.uv[k] + t * (b.uv[k] - a.uv[k]);
    r.fog = a.fog + t * (b.fog - a.fog);
    return r;
}

// Signed distance of a clip-space point from plane p (>= 0 inside): the near
// plane, then the four guard-band planes.
float PlaneDistance(const float c[4], int p, float g)
{
    switch (p) {
    case 0: return c[2] + c[3];
    case 1: return c[3] - g * c[0];
    case 2: return c[3] + g * c[0];
    case 3: return c[3] - g * c[1];
    default: return c[3] + g * c[1];
    }
}

// A triangle clipped to the volume: at most 3 + 5 vertices.
int ClipPolygon(ClipVertex* poly, int n, float g)
{
    ClipVertex tmp[12];
    for (int p = 0; p < 5 && n >= 3; ++p) {
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const ClipVertex& a = poly[i];
            const ClipVertex& b = poly[(i + 1) % n];
            const float da = PlaneDistance(a.c, p, g), db = PlaneDistance(b.c, p, g);
            if (da >= 0.0f)
                tmp[m++] = a;
            if ((da >= 0.0f) != (db >= 0.0f))
                tmp[m++] = Lerp(a, b, da / (da - db));
        }
        n = m;
        for (int i = 0; i < n; ++i)
            poly[i] = tmp[i];
    }
    return n >= 3 ? n : 0;
}

ClipVertex LoadClipVertex(vu1::Machine& vu, const State& st, u32 i, const float c[4])
{
    ClipVertex v;
    for (int k = 0; k < 4; ++k)
        v.c[k] = c[k];
    const float* stq = vu.F(OutVertex(st, i));
    const float q = stq[2] != 0.0f ? stq[2] : 1.0f;
    v.uv[0] = stq[0] / q;
    v.uv[1] = stq[1] / q;
    const u32* rgba = vu.I(OutVertex(st, i) + 1);
    for (int k = 0; k < 4; ++k)
        v.col[k] = float(rgba[k] & 0xFF);
    v.fog = float((vu.I(OutVertex(st, i) + 2)[3] >> 4) & 0xFF);
    return v;
}

u32 RoundByte(float v)
{
    const float r = v + 0.5f;
    if (!(r > 0.0f))
        return 0;
    return r >= 255.0f ? 255u : u32(r);
}

// Sends a clipped polygon as fans of at most six vertices from the side area:
// in the flat colour with no texture coordinates and no fog when one is
// given, else in each corner's own.
void KickPolygon(vu1::Machine& vu, const State& st, const ClipVertex* poly, int n, const u32* flat, u32 tagupper,
                 u32 regs)
{
    const float nouv[2] = {0.0f, 0.0f};
    constexpr int kFanMax = (MC2_SIDEPACKET_QWC - 1) / 3;
    const u32 prim = (((tagupper >> 15) & 0x7FF) & ~7u) | PRIM_TRIFAN;
    const u32 upper = (tagupper & ~(0x7FFu << 15)) | prim << 15;
    for (int first = 1; first + 1 < n; first += kFanMax - 2) {
        const int count = std::min(kFanMax, n - first + 1);
        u32* tag = vu.I(MC2_SIDEPACKET);
        tag[0] = u32(count) | 0x8000u;
        tag[1] = upper;
        tag[2] = regs;
        tag[3] = 0;
        for (int j = 0; j < count; ++j) {
            const ClipVertex& v = j == 0 ? poly[0] : poly[first + j - 1];
            const u32 addr = MC2_SIDEPACKET + 1 + 3 * u32(j);
            if (flat) {
                WriteVertex(vu, st, addr, v.c, nouv, flat, 0xFF, false);
                continue;
            }
            const u32 rgba[4] = {RoundByte(v.col[0]), RoundByte(v.col[1]), RoundByte(v.col[2]), RoundByte(v.col[3])};
            WriteVertex(vu, st, addr, v.c, v.uv, rgba, RoundByte(v.fog), false);
        }
        vu.Xgkick(MC2_SIDEPACKET);
    }
}

// {mode}: 0 (and any value but 2) culls back faces, 2 front faces, at the
// next kick.  The swapped form culls the other side (mirrored matrices).
u32 BFCull(vu1::Machine& vu, u32 pc)
{
    St(vu).cullmode = vu.I(pc)[0] == 2 ? CULL_FRONT : CULL_BACK;
    return pc + 1;
}

u32 BFCullSwap(vu1::Machine& vu, u32 pc)
{
    St(vu).cullmode = vu.I(pc)[0] == 2 ? CULL_BACK : CULL_FRONT;
    return pc + 1;
}

// The eye in object space as a homogeneous point (w > 0) or, for a parallel
// view, a direction towards the viewer (w = 0): the point that local-to-cull
// takes to (0, 0, -1, 0), where every projection of the render context puts
// the eye.  False when the matrix has no inverse.
bool EyeInObjectSpace(vu1::Machine& vu, const State& st, float eye[4])
{
    float m[4][4];
    LocalCull(vu, st, m);
    // eye x m = (0, 0, -1, 0): the columns of m are the equations.
    float a[4][5];
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r)
            a[c][r] = m[r][c];
        a[c][4] = c == 2 ? -1.0f : 0.0f;
    }
    for (int col = 0; col < 4; ++col) {
        int piv = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[piv][col]))
                piv = r;
        if (!(std::fabs(a[piv][col]) > 1e-30f))
            return false;
        for (int k = 0; k < 5; ++k)
            std::swap(a[col][k], a[piv][k]);
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const float f = a[r][col] / a[col][col];
            for (int k = col; k < 5; ++k)
                a[r][k] -= f * a[col][k];
        }
    }
    for (int r = 0; r < 4; ++r)
        eye[r] = a[r][4] / a[r][r];
    return true;
}

// {slot}: both sides drawn, and every normal of the slot turned to face the
// eye (written back as a unit float), so that the lighting after it lights
// each vertex from the side it is seen from.
u32 TwoSided(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    st.cullmode = CULL_NONE;
    u32 slot = vu.I(pc)[0];
    if (slot == 0)
        slot = MC2_NORMAL_SLOT;
    float eye[4];
    if (slot >= st.stride || !EyeInObjectSpace(vu, st, eye))
        return pc + 1;
    for (u32 i = 0; i < st.n; ++i) {
        float p[3], n[3];
        Position(vu, st, i, p);
        Normal(vu, st, i, slot, false, n);
        const float d = n[0] * (eye[0] - p[0] * eye[3]) + n[1] * (eye[1] - p[1] * eye[3]) +
                        n[2] * (eye[2] - p[2] * eye[3]);
        const float s = d < 0.0f ? -1.0f : 1.0f;
        // Unit floats are below 2: they cannot be taken for offset-encoded
        // values afterwards.
        float* v = vu.F(InVertex(st, i, slot));
        for (int k = 0; k < 3; ++k)
            v[k] = s * n[k];
    }
    return pc + 1;
}

// {k, GIF tag upper word (PRE, PRIM, FLG, NREG), register list}: k = 0 the
// program goes on (another pass over the same output follows), 1 the batch's
// run ends, 2 the run ends and the next run on this input half only ends (an
// interleaved stream's extra MSCNT for a single-pass material).
u32 KickWith(vu1::Machine& vu, u32 pc, bool flip)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 1;
    const u32 k = vu.I(pc)[0];
    KickBatch(vu, vu.I(pc)[1], vu.I(pc)[2]);
    st.cullmode = CULL_NONE;
    if (flip)
        st.cur ^= 1;
    return AfterKick(st, pc, k);
}

u32 Kick(vu1::Machine& vu, u32 pc) { return KickWith(vu, pc, false); }
u32 KickFlip(vu1::Machine& vu, u32 pc) { return KickWith(vu, pc, true); }

// {k} and the batch's whole GIF tag in the next quadword: as mc2KickFlip,
// going on after the tag.
u32 KickFlipLong(vu1::Machine& vu, u32 pc)
{
    State& st = St(vu);
    if (!st.inBatch)
        return pc + 2;
    const u32 k = vu.I(pc)[0];
    const u32* tag = vu.I(pc + 1);
    if (((tag[1] >> 28) & 0xF) != 3) {
        static bool reported;
        if (!reported)
            printf("VU1: mc2KickFlipLong tag of %u registers not drawn\n", (tag[1] >> 28) & 0xF);
        reported = true;
    } else {
        KickBatch(vu, tag[1], tag[2]);
    }
    st.cullmode = CULL_NONE;
    st.cur ^= 1;
    return AfterKick(st, pc + 1, k);
}

// The clipper runs inside the kicks; as a command it does nothing.
u32 Clipper(vu1::Machine&, u32 pc) { return pc + 1; }

}  // namespace

u32 AfterKick(State& st, u32 pc, u32 k)
{
    if (k == 0)
        return pc + 1;
    if (k == 2 && st.batch < 2)
        CurBatch(st).skip = 1;
    return kStop;
}

float FacingDet(const float a[4], const float b[4], const float c[4])
{
    return a[0] * (b[1] * c[3] - c[1] * b[3]) - a[1] * (b[0] * c[3] - c[0] * b[3]) + a[3] * (b[0] * c[1] - c[0] * b[1]);
}

void ClipTest(const u32 oc[], u32 i0, u32 i1, u32 i2, bool hidden[], ClipList& clips)
{
    if (!(oc[i0] | oc[i1] | oc[i2]))
        return;
    hidden[i2] = true;
    if (!(oc[i0] & oc[i1] & oc[i2])) {
        clips.tri[clips.count][0] = u8(i0);
        clips.tri[clips.count][1] = u8(i1);
        clips.tri[clips.count][2] = u8(i2);
        ++clips.count;
    }
}

void SendBatch(vu1::Machine& vu, const State& st, const bool hidden[], u32 tagupper, u32 regs)
{
    for (u32 i = 0; i < st.n; ++i) {
        u32* w = &vu.I(OutVertex(st, i) + 2)[3];
        *w = hidden[i] ? *w | 0x8000u : *w & ~0x8000u;
    }
    u32* tag = vu.I(st.buf[st.cur]);
    tag[0] = st.n | 0x8000u;
    tag[1] = tagupper;
    tag[2] = regs;
    tag[3] = 0;
    vu.Xgkick(st.buf[st.cur]);
}

void KickClipped(vu1::Machine& vu, const State& st, const ClipList& clips, const float (*cc)[4], u32 tagupper,
                 u32 regs, bool flat)
{
    const float g = vu.F(MC2_CLIPSCALE)[3];
    for (int t = 0; t < clips.count; ++t) {
        const u8* tri = clips.tri[t];
        ClipVertex poly[12];
        u32 rgba[4];
        if (flat) {
            for (int j = 0; j < 3; ++j) {
                poly[j] = ClipVertex{};
                std::memcpy(poly[j].c, cc[tri[j]], sizeof poly[j].c);
            }
            // A flat triangle's colour is its last vertex's.
            const u32* col = vu.I(OutVertex(st, tri[2]) + 1);
            for (int k = 0; k < 4; ++k)
                rgba[k] = col[k];
        } else {
            for (int j = 0; j < 3; ++j)
                poly[j] = LoadClipVertex(vu, st, tri[j], cc[tri[j]]);
        }
        const int m = ClipPolygon(poly, 3, g);
        if (m >= 3)
            KickPolygon(vu, st, poly, m, flat ? rgba : nullptr, tagupper, regs);
    }
}

void KickBatch(vu1::Machine& vu, u32 tagupper, u32 regs)
{
    State& st = St(vu);
    Batch& b = CurBatch(st);
    const u32 n = st.n;
    u32 prim = (tagupper >> 15) & 0x7FF;
    if (b.fogged)
        prim |= PRIM_FGE;
    tagupper = (tagupper & ~(0x7FFu << 15)) | prim << 15;
    const u32 type = prim & 7;

    bool hidden[MC2_MAXBATCH];
    for (u32 i = 0; i < n; ++i)
        hidden[i] = (b.flags[i] & VF_RESTART) != 0;

    ClipList clips;
    float cc[MC2_MAXBATCH][4];
    const bool triangles = type == PRIM_TRIANGLE || type == PRIM_TRISTRIP || type == PRIM_TRIFAN;
    if (triangles && (st.cullmode != CULL_NONE || b.clip)) {
        float m[4][4];
        LocalCull(vu, st, m);
        u32 oc[MC2_MAXBATCH];
        const float g = vu.F(MC2_CLIPSCALE)[3];
        for (u32 i = 0; i < n; ++i) {
            float p[3];
            Position(vu, st, i, p);
            Through(m, p, cc[i]);
            oc[i] = b.clip ? Outcodes(cc[i], g) : 0;
        }
        auto judge = [&](u32 i0, u32 i1, u32 i2, bool odd) {
            if (st.cullmode != CULL_NONE) {
                const bool front = (FacingDet(cc[i0], cc[i1], cc[i2]) < 0.0f) != odd;
                if (front == (st.cullmode == CULL_FRONT)) {
                    hidden[i2] = true;
                    return;
                }
            }
            ClipTest(oc, i0, i1, i2, hidden, clips);
        };
        if (type == PRIM_TRISTRIP) {
            // Winding alternates from each strip's start: the batch's first
            // vertex or the last restart.
            u32 last = 1;
            for (u32 i = 0; i < n; ++i) {
                if (b.flags[i] & VF_RESTART) {
                    last = i;
                    continue;
                }
                if (i >= 2)
                    judge(i - 2, i - 1, i, ((i - last - 1) & 1) != 0);
            }
        } else if (type == PRIM_TRIANGLE) {
            for (u32 i = 2; i < n; i += 3)
                if (!hidden[i])
                    judge(i - 2, i - 1, i, false);
        } else {
            for (u32 i = 2; i < n; ++i)
                if (!hidden[i])
                    judge(0, i - 1, i, false);
        }
    }

    SendBatch(vu, st, hidden, tagupper, regs);
    KickClipped(vu, st, clips, cc, tagupper, regs, false);
}

}  // namespace mc2

using namespace mc2;

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2BFCull, "mc2BFCull", BFCull);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2BFCullSwap, "mc2BFCullSwap", BFCullSwap);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Kick, "mc2Kick", Kick);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2KickFlip, "mc2KickFlip", KickFlip);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2KickFlipLong, "mc2KickFlipLong", KickFlipLong);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2TwoSided, "mc2TwoSided", TwoSided);
CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Clipper, "Clipper", Clipper);
