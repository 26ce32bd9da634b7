// The road strip renderer: batches of curve records and slices for the road
// generator, adaptive subdivision of a piece's centre curve, the junction
// middle polygon and the road pass's set-up.
#include "game/PS2/RoadDraw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <ee/memmap.h>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/light.h"
#include "game/Road.h"

Texture* RoadRender::prevtex = nullptr;
int RoadRender::projective = 0;
u16 RoadRender::vd = 0x1043;
Material RoadRender::mtlNormal;
Material RoadRender::mtlProject;
MultiMaterial<2> RoadRender::mtlDouble;

Matrix matJunc(Vector(0.25f, 0, 0, 0), Vector(0, 0, 0, 0), Vector(0, 0.25f, 0, 0), Vector(0, 0, 1, 0));
float g_fDebug = 8.0f;
float g_fDebug2 = 0.00025f;

namespace {

// How far a strip runs past its curve's ends (so that neighbouring strips
// overlap), and the cap on that as a parameter.
constexpr float kEndExtension = 0.00234375f;
constexpr float kExtensionCap = 0.1f;
constexpr float kEdgeMargin = 0.15625f;
constexpr float kDepthFloor = 0.25f;
// The bounding radius of world-space road geometry: it always needs clipping.
constexpr float kEverywhere = 1.0e30f;

// Each fault is reported once: a road pass would flood the log.
void ReportOnce(bool& done, const char* what)
{
    if (!done)
        printf("Roads: %s\n", what);
    done = true;
}
bool g_deepReported, g_longReported;

RoadRender::DRSInfo* StackBase() { return reinterpret_cast<RoadRender::DRSInfo*>(EE_SPR_BASE); }

float Dist(const Vector& a, const Vector& b) { return (a - b).xyz().Length(); }

// Guard-band free outcodes against ±w: six bits.
u32 Outcode(const Vector& c)
{
    const float w = c[3];
    u32 oc = 0;
    oc |= c[0] > w ? 0x01u : 0;
    oc |= c[0] < -w ? 0x02u : 0;
    oc |= c[1] > w ? 0x04u : 0;
    oc |= c[1] < -w ? 0x08u : 0;
    oc |= c[2] > w ? 0x10u : 0;
    oc |= c[2] < -w ? 0x20u : 0;
    return oc;
}

// The parameter range of a whole curve: a little past both ends.
void ExtendedRange(const Bezier& b, float& t0, float& t1)
{
    const float l01 = Dist(b.c1, b.c0), l23 = Dist(b.c2, b.c3);
    t0 = l01 > 0.0f ? std::max(-kEndExtension / l01, -kExtensionCap) : -kExtensionCap;
    t1 = 1.0f + (l23 > 0.0f ? std::min(kEndExtension / l23, kExtensionCap) : kExtensionCap);
}

// Texture coordinate along the curve at its control points (the w lanes).
void AlongCoordinates(const Bezier& b, float texscale, float w[4])
{
    if (texscale == 0.0f) {
        w[0] = 0.0f;
        w[1] = 1.0f / 3.0f;
        w[2] = 2.0f / 3.0f;
        w[3] = 1.0f;
        return;
    }
    w[0] = 0.0f;
    w[1] = texscale * Length(b.SplitLeft(1.0f / 3.0f), 0);
    w[2] = texscale * Length(b.SplitLeft(2.0f / 3.0f), 0);
    w[3] = texscale * Length(b, 0);
}

// The base record: the curve in view space with its texture coordinates.
void BaseRecord(RoadRender::DRSInfo& d, const RenderContext& rc, const Bezier& b, const float w[4], float t0,
                float t1)
{
    for (int i = 0; i < 4; ++i) {
        Vector p = rc.world_view * Vector(b[i].xyz(), 1.0f);
        p.setw(w[i]);
        d.bez[i] = p;
    }
    d.t0 = t0;
    d.t1 = t1;
    d.fl01 = Dist(d.bez[1], d.bez[0]);
    d.fl23 = Dist(d.bez[3], d.bez[2]);
}

RoadRender::RoadSlice* PutSlice(RoadRender::RoadSlice* s, float t, float v)
{
    s->txtxt = t * t * t;
    s->v = v;
    s->t = t;
    s->txt = t * t;
    return s + 1;
}

// The batches of one curve: slices written in order, a new batch when one
// is full, the texture coordinate restarted in whole tiles.
struct SliceWriter
{
    RoadRender::RoadSlice* s = nullptr;
    int n = 1;             // slices written + 1
    float voffset = 0.0f;
    float L = 0.0f;

    bool Start()
    {
        s = RoadRender::NewBatch();
        n = 1;
        return s != nullptr;
    }
    // A final piece: its start slice, a restart when its end would pass the
    // tile limit, and the batch's end at the last piece or when it is full.
    // False when the curve is done (or the frame has no room).
    bool Piece(const RoadRender::DRSInfo& d, bool skipped, bool last)
    {
        if (!(n == 1 && skipped)) {
            s = PutSlice(s, d.t0, d.bez[0][3] - voffset);
            n++;
        }
        if (L != 0.0f && n < int(ROAD_MAXSLICES) && d.bez[3][3] - voffset >= L) {
            voffset = std::trunc(d.bez[0][3]) + L;
            s = PutSlice(s, d.t0, d.bez[0][3] - voffset);
            n++;
        }
        if (last || n == int(ROAD_MAXSLICES)) {
            s = PutSlice(s, d.t1, d.bez[3][3] - voffset);
            RoadRender::KickBatch(s);
            if (last)
                return false;
            if (!Start())
                return false;
            voffset = std::trunc(d.bez[3][3]) + L;
        }
        return true;
    }
};

// Pushes the first half of the top piece above it, keeping the second half
// in place; false when the stack is full (the piece is then final).
bool Push(RoadRender::DRSInfo*& top, const Bezier& first, const Bezier& second, bool keepLengths)
{
    if (top + 1 >= StackBase() + ROAD_STACKDEPTH) {
        ReportOnce(g_deepReported, "a road piece cut deeper than the subdivision stack is drawn as it is");
        return false;
    }
    RoadRender::DRSInfo& up = top[1];
    RoadRender::DRSInfo& down = top[0];
    const float tm = 0.5f * (down.t0 + down.t1);
    for (int i = 0; i < 4; ++i) {
        up.bez[i] = first[i];
    }
    up.t0 = down.t0;
    up.t1 = tm;
    if (keepLengths) {
        const float parent01 = down.fl01, parent23 = down.fl23;
        const float second01 = Dist(second.c1, second.c0);
        up.fl01 = parent01 * 0.5f;
        up.fl23 = second01;
        down.fl01 = second01;
        down.fl23 = parent23 * 0.5f;
    }
    for (int i = 0; i < 4; ++i)
        down.bez[i] = second[i];
    down.t0 = tm;
    ++top;
    return true;
}

Bezier AsBezier(const RoadRender::DRSInfo& d) { return Bezier(d.bez[0], d.bez[1], d.bez[2], d.bez[3]); }

}  // namespace

// ---------------------------------------------------------------- batches

bool RoadRender::Open(int points)
{
    open = nullptr;
    if (!therenderer.AllowFor(u32(4 * points + 2)))
        return false;
    open = therenderer.p;
    therenderer.Put(ROAD_BATCH_STCYCL);
    therenderer.Put(ROAD_BATCH_UNPACK);
    therenderer.unpack = open + 1;
    return true;
}

bool RoadRender::Close()
{
    if (!open)
        return false;
    for (int i = 0; i < 4; ++i)
        therenderer.Put(0u);
    const u32 qwc = u32(therenderer.p - (open + 2)) / 4;
    therenderer.unpack = nullptr;
    if (qwc > u32(4 * ROAD_MAXRECORDS + 1)) {
        ReportOnce(g_longReported, "a road piece of more than 54 cross-section points is not drawn");
        therenderer.p = open;
        open = nullptr;
        return false;
    }
    open[1] |= (qwc & 0xFF) << 16;
    open = nullptr;
    return true;
}

RoadRender::RoadSlice* RoadRender::NewBatch()
{
    if (!therenderer.AllowFor(2 + ROAD_MAXSLICES + 1))
        return nullptr;
    therenderer.Put(ROAD_BATCH_STCYCL);
    therenderer.unpack = therenderer.p;
    therenderer.Put(ROAD_SLICE_UNPACK);
    return reinterpret_cast<RoadSlice*>(therenderer.p);
}

void RoadRender::KickBatch(RoadSlice* end)
{
    u32* unpack = therenderer.unpack;
    therenderer.p = reinterpret_cast<u32*>(end);
    const u32 count = u32(therenderer.p - (unpack + 1)) / 4;
    *unpack = (*unpack & 0xFF00FFFFu) | (count & 0xFF) << 16;
    therenderer.unpack = nullptr;
    if (count < 2)
        return;
    therenderer.Put(VIF_ITOP(count));
    therenderer.Put(VIF_MSCALAT(mcRoadGenerator));
    therenderer.Put(VIF_FLUSH);
}

// ---------------------------------------------------------------- the pass

void RoadRender::Begin(RenderContext& rc)
{
    // Their textures are selected apart from the materials (Renderer::Use),
    // so their primitives are textured here.
    mtlNormal.Enable(SM_TEXTURE | SM_LIGHTING);
    mtlNormal.prim_reg = u16(mtlNormal.prim_reg | PRIM_TME);
    mtlProject.Enable(SM_TEXTURE | SM_LIGHTING);
    mtlProject.prim_reg = u16(mtlProject.prim_reg | PRIM_TME);
    mtlProject.SetUV(0);
    mtlProject.texmat = MC2_TEXMATRIX0;
    SubMaterial& l0 = mtlDouble.m[0];
    l0.Enable(SM_LIGHTING);
    l0.SetUV(0);
    l0.texmat = MC2_TEXMATRIX0;
    l0.mip_reg = 0xFFFD0000u;
    SubMaterial& l1 = mtlDouble.m[1];
    l1.Enable(SM_CLAMP_V | SM_ALPHA);
    l1.SetUV(0);
    l1.texmat = MC2_TEXMATRIX1;
    l1.prim_reg = u16(l1.prim_reg | 64);
    l1.alpha_mode = 0x48;
    vd = 0x1043;
    prevtex = nullptr;
    projective = 0;

    therenderer.SetInputBuffers(ROAD_BASE, ROAD_OFFSET);
    therenderer.BeginCommands();
    // Road curves are in world space; strips are clipped where they need it.
    therenderer.SetLocal(Matrix(true), Sphere(Vector(0, 0, 0, kEverywhere)));
    // The generator's strips go to output buffers above its own areas.
    therenderer.SetOutputBuffers(MC2_ROAD_OUTBUF1, MC2_ROAD_OUTBUF2);
    therenderer.SetGlobals(MC2_LIGHTDIRS, 3, reinterpret_cast<const u64*>(&rc.normal_light));
    therenderer.SetGlobals(MC2_WORLDCULL, 4, reinterpret_cast<const u64*>(&rc.world_cull));
    therenderer.SetGlobals(MC2_CLIPSCALE, 1, reinterpret_cast<const u64*>(&rc.clip_scale));
    therenderer.SetGlobals(MC2_TEXMATRIX0, 4, reinterpret_cast<const u64*>(&matJunc));
    rc.nlights = 0;
    rc.SetLights(Matrix(true));
    mtlNormal.Set(VS_DESCRIPTOR(vd), Vector(0, 0, 0, 0));
    projective = 0;
    therenderer.EndCommands();
    therenderer.RefMpg(MC2_OVERLAY_IMM, mcRoadGeneratorEE, MCROADGENERATOR_QWC);
}

void RoadRender::End()
{
    therenderer.BeginCommands();
    therenderer.SetOutputBuffers(MC2_OUTBUF1, MC2_OUTBUF2);
    therenderer.EndCommands();
    therenderer.SetInputBuffers(0, MC2_INPUT_OFFSET);
}

void BeginDrawRoads(RenderContext& rc) { RoadRender::Begin(rc); }
void EndDrawRoads() { RoadRender::End(); }

void RoadRender::SetProjective(Texture* tex0, Texture* tex1, const Matrix& mat)
{
    therenderer.BeginCommands();
    therenderer.SetGlobals(MC2_TEXMATRIX1, 4, reinterpret_cast<const u64*>(&mat));
    Texture* tex[2] = {tex0, tex1};
    for (int i = 0; i < 2; ++i) {
        mtlDouble.m[i].texture = tex[i];
        if (tex[i])
            mtlDouble.m[i].flags = u16((mtlDouble.m[i].flags & ~3u) | SM_TEXMODE0 | SM_TEXTURE);
    }
    mtlDouble.Set(VS_DESCRIPTOR(vd), Vector(0, 0, 0, 0));
    prevtex = nullptr;
    projective = 2;
}

int RoadMipKL(const Texture* tex)
{
    // The road value -380 holds the K of a bias of a level and a half
    // toward the sharper levels; its low bits would name mip levels, which
    // come from the texture itself (none: the base level only).
    const int levels = tex ? std::min(tex->MipLevels(), 4) : 0;
    return (-380 & ~15) | levels;
}

void SelectRoadTexture(Texture* tex)
{
    if (tex == RoadRender::prevtex)
        return;
    therenderer.EndCommands();
    RoadRender::prevtex = tex;
    therenderer.Use(tex, 0, 0, RoadMipKL(tex));
}

float RoadTileLimit()
{
    const Texture* t = RoadRender::prevtex;
    if (!t || t->height == 0)
        return 0.0f;
    return float(2048 / int(t->height));
}

// ---------------------------------------------------------------- subdivision

void RoadRender::RoadSplineSubdivide(const RenderContext& rc, const Bezier& bezier, float left, float right,
                                     float texscale, float tilelimit, bool clip, bool lowres)
{
    SliceWriter out;
    if (!out.Start())
        return;
    float t0, t1, w[4];
    ExtendedRange(bezier, t0, t1);
    AlongCoordinates(bezier, texscale, w);
    out.L = tilelimit;
    if (texscale != 0.0f) {
        out.voffset = clip ? 0.0f : tilelimit - 1.0f;
        out.L = clip ? tilelimit * 0.5f : tilelimit;
    }
    DRSInfo* base = StackBase();
    DRSInfo* top = base;
    BaseRecord(*base, rc, bezier, w, t0, t1);
    const float l = left + kEdgeMargin, r = right + kEdgeMargin;
    const Vector up = rc.world_view.y;

    for (;;) {
        bool skipped = lowres;
        if (!skipped && clip) {
            // Off screen when the piece's widened outline lies wholly
            // outside one plane of the view volume.
            Vector a = up ^ (top->bez[1] - top->bez[0]);
            Vector b = up ^ (top->bez[2] - top->bez[3]);
            const float la = (top->bez[1] - top->bez[0]).xyz().Length();
            const float lb = (top->bez[2] - top->bez[3]).xyz().Length();
            a = la > 0.0f ? a * (1.0f / la) : a;
            b = lb > 0.0f ? b * (1.0f / lb) : b;
            const Vector pts[4] = {top->bez[0], top->bez[1], top->bez[3], top->bez[2]};
            u32 all = 0x3F;
            for (int i = 0; i < 4 && all; ++i) {
                const Vector& side = i < 2 ? a : b;
                for (float off : {r, l}) {
                    Vector p = pts[i] + side * off;
                    p.setw(1.0f);
                    all &= Outcode(rc.view_cull * p);
                    if (!all)
                        break;
                }
            }
            skipped = all != 0;
        }
        if (!skipped) {
            const float m = Dist(top->bez[2], top->bez[1]);
            const float c = Dist(top->bez[3], top->bez[0]);
            const float A = (top->fl01 + m + top->fl23 + c) * 0.5f;
            Bezier first, second;
            AsBezier(*top).Split(first, second);
            const float z0 = top->bez[0][2], z1 = top->bez[3][2], zm = second.c0[2];
            float d;
            if (z0 > 0.0f || z1 > 0.0f || zm > 0.0f)
                d = std::min({z0, z1, zm});
            else
                d = std::min({std::fabs(z0), std::fabs(z1), std::fabs(zm)});
            const float D = std::max(d - std::max(-l, r), kDepthFloor);
            const bool finer = (top->fl01 + m + top->fl23 - c) / D > g_fDebug2 || A / D > g_fDebug;
            if (finer && Push(top, first, second, true))
                continue;
        }
        if (!out.Piece(*top, skipped, top == base))
            return;
        --top;
    }
}

void RoadRender::RoadSplineSubdivide(const RenderContext& rc, const Bezier& bezier, const Bezier& bezleft,
                                     const Bezier& bezright, float texscale, float tilelimit)
{
    SliceWriter out;
    if (!out.Start())
        return;
    float t0, t1, w[4];
    ExtendedRange(bezier, t0, t1);
    AlongCoordinates(bezier, texscale, w);
    out.L = texscale != 0.0f ? tilelimit * 0.5f : tilelimit;
    DRSInfo* base = StackBase();
    DRSInfo* top = base;
    BaseRecord(*base, rc, bezier, w, t0, t1);
    // The culling volume: both edge curves in cull space, w grown by a tenth.
    const Matrix grow(Vector(1, 0, 0, 0), Vector(0, 1, 0, 0), Vector(0, 0, 1, 0), Vector(0, 0, 0, 1.1f));
    auto culled = [&](float ta, float tb) {
        u32 all = 0x3F;
        for (const Bezier* e : {&bezleft, &bezright})
            for (float t : {ta, tb, 0.5f * (ta + tb)}) {
                Vector p = e->Evaluate(t);
                p.setw(1.0f);
                all &= Outcode(grow * (rc.world_cull * p));
                if (!all)
                    return false;
            }
        return true;
    };

    for (;;) {
        const bool skipped = culled(top->t0, top->t1);
        if (!skipped) {
            const float d = std::max(top->bez[0][2], 0.1f);
            const float T = d * d * 0.00001f;
            const VectorXYZ chord = (top->bez[3] - top->bez[0]).xyz();
            const VectorXYZ h1 = (top->bez[1] - top->bez[0]).xyz(), h2 = (top->bez[2] - top->bez[3]).xyz();
            const bool finer = (chord ^ h1).LengthSq() > T || (chord ^ h2).LengthSq() > T;
            if (finer) {
                Bezier first, second;
                AsBezier(*top).Split(first, second);
                if (Push(top, first, second, false))
                    continue;
            }
        }
        if (!out.Piece(*top, skipped, top == base))
            return;
        --top;
    }
}

// ---------------------------------------------------------------- junction middles

void RoadRender::DrawJunctionMiddle(RenderContext&, VectorPos* pts, int n)
{
    if (n < 3)
        return;
    therenderer.BeginCommands();
    therenderer.SetLocal(Matrix(true), Sphere(Vector(0, 0, 0, kEverywhere)));
    therenderer.EndCommands();
    mtlProject.Set(VS_DESCRIPTOR(vd), Vector(0, 0, 0, 0));
    projective = 1;
    therenderer.EndCommands();
    if (!therenderer.AllowFor(u32(3 * n + 3)))
        return;
    therenderer.Align(2, 2);
    therenderer.Put(VIF_STCYCL(4, 4));
    u32* unpack = therenderer.p;
    therenderer.Put(ROAD_MIDDLE_UNPACK);
    int lo = 0, hi = n - 1, k = 0;
    auto vertex = [&](const VectorPos& p) {
        therenderer.Put(p[0]);
        therenderer.Put(p[1]);
        therenderer.Put(p[2]);
        therenderer.Put(k < 2 ? 0x8000u : 0u);   // the first pair closes no triangle
        for (float f : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, -1.0f, 0.0f, 1.0f})
            therenderer.Put(f);
        k++;
    };
    while (lo <= hi) {
        vertex(pts[lo]);
        if (lo != hi)
            vertex(pts[hi]);
        lo++;
        hi--;
    }
    *unpack |= u32(3 * n) << 16;
    therenderer.Put(VIF_ITOP(u32(n)));
    therenderer.Put(VIF_MSCNT);
    therenderer.Put(VIF_FLUSH);
}

// ---------------------------------------------------------------- ground patches

GroundType* prevgtype = nullptr;
int gpmip = -24;

namespace {

// Patch strips: Gouraud shaded, textured triangle strips, unmodulated.
constexpr u32 kPatchTag = 0x30004000u | (4u | 8u | 16u) << 15;
constexpr u32 kPatchRegs = 0x412;
constexpr int kMaxPatchCut = 4;

}  // namespace

Matrix GroundPatchTexMat()
{
    return Matrix(Vector(1.0f / 16, 0, 0, 0), Vector(0, 0, 0, 0), Vector(0, 1.0f / 16, 0, 0), Vector(0, 0, 0, 1));
}

void BeginDrawPatches(RenderContext& rc)
{
    therenderer.BeginCommands();
    const u32 setup[4] = {kPatchTag, kPatchRegs, 0x80808080u, 0};
    therenderer.SetGlobals(MC2_PATCHSETUP, 1, reinterpret_cast<const u64*>(setup));
    const Matrix texmat = GroundPatchTexMat();
    therenderer.SetGlobals(MC2_TEXMATRIX0, 4, reinterpret_cast<const u64*>(&texmat));
    therenderer.SetGlobals(MC2_WORLDCULL, 4, reinterpret_cast<const u64*>(&rc.world_cull));
    Vector clip = rc.clip_scale;
    clip.setw(0.5f);
    therenderer.SetGlobals(MC2_CLIPSCALE, 1, reinterpret_cast<const u64*>(&clip));
    therenderer.SetGlobals(MC2_LIGHTDIRS, 3, reinterpret_cast<const u64*>(&rc.normal_light));
    therenderer.SetGlobals(MC2_LIGHTCOLOURS, 4, reinterpret_cast<const u64*>(&rc.light_colour));
    therenderer.SetGlobals(MC2_CAMERAPOS, 1, reinterpret_cast<const u64*>(&rc.view_world.w));
    therenderer.EndCommands();
    prevgtype = nullptr;
}

void EndDrawPatches()
{
    therenderer.EndCommands();
    if (therenderer.AllowFor(1))
        therenderer.Put(VIF_FLUSH);
    // The patch routine leaves MSCNT continuing itself; the next drawer's
    // material block puts the batch loop back.
    therenderer.BeginCommands();
    therenderer.call(mc2Nop);
    therenderer.EndCommands();
}

void SplitBezierH(const Bezier& bez, Vector* out, int stride, int depth)
{
    Bezier l, r;
    bez.Split(l, r);
    if (depth <= 0) {
        for (int i = 0; i < 4; ++i) {
            out[i] = l[i];
            out[stride + i] = r[i];
        }
        return;
    }
    SplitBezierH(l, out, stride, depth - 1);
    SplitBezierH(r, out + (stride << depth), stride, depth - 1);
}

void SplitBezierV(const Bezier& bez, Vector* out, int stride, int depth)
{
    Bezier l, r;
    bez.Split(l, r);
    if (depth <= 0) {
        for (int i = 0; i < 4; ++i) {
            out[4 * i] = l[i];
            out[stride + 4 * i] = r[i];
        }
        return;
    }
    SplitBezierV(l, out, stride, depth - 1);
    SplitBezierV(r, out + (stride << depth), stride, depth - 1);
}

int PatchTessellation(const RenderContext& rc, const GroundPatch& gp)
{
    const Vector c = rc.world_screen * Vector(gp.Centre(), 1.0f);
    if (!(c[3] > 0.0f))
        return 24;
    const float t = gp.Radius() * 32.0f / c[3];
    return std::clamp(int(std::min(t, 1.0e6f)), 3, 24);
}

void GroundPatch::Draw(RenderContext& rc) const
{
    const VectorPos c = Centre();
    const float radius = Radius();
    if (rc.TestCull(c, radius))
        return;
    const int tess = PatchTessellation(rc, *this);
    FindBestLights(rc, c, radius, true);
    rc.SetLightsDirect();
    // The mip bias from the texture's scale on the ground.
    const float scale = std::sqrt(texmat.x[0] * texmat.x[0] + texmat.x[1] * texmat.x[1]);
    const int L = (scale > 0.0f ? std::ilogb(scale) : 0) + gpmip;
    GroundType* gt = Type();
    Texture* tex = gt ? gt->ptex : nullptr;
    if (gt != prevgtype) {
        prevgtype = gt;
        if (tex)
            therenderer.Use(tex, 0, 0, int(u32(L) << 4) | std::min(tex->MipLevels(), 7));
    }
    // The texels the patch spans at the mip level it is seen at.
    float S = 0.0f;
    if (tex) {
        float u0 = 1e30f, u1 = -1e30f, v0 = 1e30f, v1 = -1e30f;
        for (int k : {0, 3, 12, 15}) {
            const Vector uv = texmat * Vector(patch.p[k].xyz(), 1.0f);
            u0 = std::min(u0, uv[0]);
            u1 = std::max(u1, uv[0]);
            v0 = std::min(v0, uv[1]);
            v1 = std::max(v1, uv[1]);
        }
        const int m = std::max(rc.MipTest(c, radius, L) >> 4, 0);
        const float shrink = std::ldexp(1.0f, -std::min(m, 30));
        S = std::max((u1 - u0) * float(tex->width), (v1 - v0) * float(tex->height)) * shrink;
    }
    if (S < 2048.0f) {
        therenderer.SendBezierPatches(&patch, 1, tess);
        return;
    }
    int k = 1;
    while (k < kMaxPatchCut && !(2048.0f * float(1 << k) > S))
        k++;
    const int n = 1 << k;
    therenderer.EndCommands();
    if (!therenderer.AllowFor(u32(n * n * 16 + 2)))
        return;
    Vector* sub = reinterpret_cast<Vector*>(therenderer.Skip(u32(n * n * 16)));
    // The rows cut into n pieces each (in the scratchpad), then every column
    // of control points down the pieces.
    Vector* rows = reinterpret_cast<Vector*>(EE_SPR_BASE);
    for (int r = 0; r < 4; ++r)
        SplitBezierH(patch.Row(r), rows + r * 4 * n, 4, k - 1);
    for (int i = 0; i < n; ++i)
        for (int cc = 0; cc < 4; ++cc) {
            const Bezier column(rows[4 * i + cc], rows[4 * n + 4 * i + cc], rows[8 * n + 4 * i + cc],
                                rows[12 * n + 4 * i + cc]);
            SplitBezierV(column, sub + 16 * i + cc, 16 * n, k - 1);
        }
    therenderer.SendBezierPatches(reinterpret_cast<const BezierPatch*>(sub), n * n, std::max(tess >> k, 3));
}
