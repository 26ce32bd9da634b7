// Drawing the road network: each road piece is a family of curves along the
// road, one per cross-section point, written straight into the frame's packet
// as one road batch, then cut into slices by the strip renderer.  Segments,
// kerbs, dead-end caps, joins, through roads, junction ends (with crosswalks)
// and junction middles.
#include <algorithm>
#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "game/ProgramImages.h"
#include "game/PS2/RoadDraw.h"
#include "game/Road.h"

// The crosswalk texture frame: a point (X, Y, Z) of the frame maps to (4X,
// 0.75Z), four stripes per unit across.
Matrix matCrossWalk(Vector(4, 0, 0, 0), Vector(0, 0, 0, 0), Vector(0, 0.75f, 0, 0), Vector(0, 0, 1, 0));

// The junction pictures the build draws into the program (tools/jctntex),
// usable once the start-up has fixed them.
Texture& TPage_Jctn_Fill()
{
    FixProgramImages();
    return ProgramImageRecord(TPage_Jctn_Fill_image);
}

Texture& TPage_Jctn_Crosswalk()
{
    FixProgramImages();
    return ProgramImageRecord(TPage_Jctn_Crosswalk_image);
}

namespace {

bool g_bigJunctionReported;

// The signed low half of a shading word, as a fraction.
float S16(float word) { return float(s16(LaneWord(word) & 0xFFFF)) / 32767.0f; }

// down x d, made unit (zero stays zero).
VectorXYZ SideOf(const VectorXYZ& d)
{
    VectorXYZ n(d[2], 0.0f, -d[0]);
    n.Normalise();
    return n;
}

void PutRecord(const VectorXYZ P[4], float w0, float w1, float w2, float w3)
{
    const float w[4] = {w0, w1, w2, w3};
    for (int i = 0; i < 4; ++i) {
        therenderer.Put(P[i][0]);
        therenderer.Put(P[i][1]);
        therenderer.Put(P[i][2]);
        therenderer.Put(w[i]);
    }
}

// The w values of the road form from a point's shading words.
void PutShaded(const VectorXYZ P[4], const Vector& pt) { PutRecord(P, S16(pt[2]), S16(pt[3]), pt[3], pt[2]); }

// A curve's handles and end normals, read once per family.
struct Frame
{
    VectorXYZ c0, c1, c2, c3, h01, h32, N0, N3;
    float s1, s2;   // c1.w, c2.w

    explicit Frame(const Bezier& b)
        : c0(b.c0.xyz()), c1(b.c1.xyz()), c2(b.c2.xyz()), c3(b.c3.xyz()), h01(c1 - c0), h32(c2 - c3),
          N0(SideOf(c1 - c0)), N3(SideOf(c3 - c2)), s1(b.c1[3]), s2(b.c2[3])
    {
    }
    // The junction form: handles grown by their rate per unit moved, held
    // at a tenth so that they never reverse.
    void Junction(VectorXYZ P[4], float d0, float d1, float y, bool clampLow) const
    {
        const VectorXYZ h(0.0f, y, 0.0f);
        float k0 = 1.0f + std::fabs(d0) * s1, k1 = 1.0f + std::fabs(d1) * s2;
        if (clampLow) {
            k0 = std::max(k0, 0.1f);
            k1 = std::max(k1, 0.1f);
        }
        P[0] = c0 + h + N0 * d0;
        P[1] = P[0] + h01 * k0;
        P[3] = c3 + h + N3 * d1;
        P[2] = P[3] + h32 * k1;
    }
};

Cuboid BoxOf(std::initializer_list<const Bezier*> curves)
{
    const VectorPos first(curves.begin()[0]->c0.xyz());
    Cuboid box(first, first + VectorPos(0.0f, 0.0f, 0.0f));
    for (const Bezier* b : curves)
        for (int i = 0; i < 4; ++i)
            box += VectorPos((*b)[i].xyz());
    return box;
}
Cuboid BoxOf(std::initializer_list<VectorXYZ> pts)
{
    const VectorPos first(*pts.begin());
    Cuboid box(first, first + VectorPos(0.0f, 0.0f, 0.0f));
    for (const VectorXYZ& p : pts)
        box += VectorPos(p);
    return box;
}

Bezier Plain(const VectorXYZ& a, const VectorXYZ& b, const VectorXYZ& c, const VectorXYZ& d)
{
    return Bezier(Vector(a, 0.0f), Vector(b, 0.0f), Vector(c, 0.0f), Vector(d, 0.0f));
}

}  // namespace

// ---------------------------------------------------------------- builders

void _DrawRoadSpline(RoadRender&, const Vector* pv, int n, const Bezier& bezier, bool)
{
    const Frame f(bezier);
    VectorDir N1, N2;
    const VectorXYZ F1 = bezier.EvaluateWithNormal(1.0f / 3.0f, N1).xyz();
    const VectorXYZ F2 = bezier.EvaluateWithNormal(2.0f / 3.0f, N2).xyz();
    for (int i = 0; i < n; ++i) {
        const float x = pv[i][0];
        const VectorXYZ h(0.0f, pv[i][1], 0.0f);
        VectorXYZ P[4];
        if (x == 0.0f) {
            P[0] = f.c0 + h;
            P[1] = P[0] + f.h01;
            P[3] = f.c3 + h;
            P[2] = P[3] + f.h32;
        } else {
            P[0] = f.c0 + h + f.N0 * x;
            P[1] = P[0] + f.h01 * ((F1 + N1 * x - P[0]).Length() * f.s1);
            P[3] = f.c3 + h + f.N3 * x;
            P[2] = P[3] + f.h32 * ((F2 + N2 * x - P[3]).Length() * f.s2);
        }
        PutShaded(P, pv[i]);
    }
}

void _DrawJuncSpline(RoadRender&, const Vector* pv, int n, const Bezier& bezier, bool)
{
    const Frame f(bezier);
    for (int i = 0; i < n; ++i) {
        VectorXYZ P[4];
        f.Junction(P, pv[i][0], pv[i][0], pv[i][1], false);
        PutRecord(P, S16(pv[i][2]), S16(pv[i][3]), pv[i][3], i == 0 ? -1.0f : pv[i][2]);
    }
}

void _DrawJuncSplineExtend(RoadRender&, const Vector* pv, int n, const Bezier& bezier, bool, int nExtend)
{
    const Frame f(bezier);
    // An extra point beyond an edge shades like the point it extends; its
    // texture coordinates repeat one of that point's words.
    auto put = [&](const Vector& pt, float dx, float dy, float s, float t) {
        VectorXYZ P[4];
        f.Junction(P, pt[0] + dx, pt[0] + dx, pt[1] + dy, false);
        PutRecord(P, S16(pt[2]), S16(pt[3]), s, t);
    };
    if (n <= 0)
        return;
    if (nExtend & 1)
        put(pv[0], -0.21875f, 0.009375f, pv[0][2], pv[0][2]);
    for (int i = 0; i < n; ++i)
        put(pv[i], 0.0f, 0.0f, pv[i][3], pv[i][2]);
    if (nExtend & 2)
        put(pv[n - 1], 0.21875f, 0.009375f, pv[n - 1][3], pv[n - 1][3]);
}

void _DrawPatchSpline(RoadRender&, const Vector* pv, int n, const BezierPatch& patch, float xoff, float xscale,
                      int flags)
{
    for (int i = 0; i < n; ++i) {
        const Bezier b = patch.EvaluateU((pv[i][0] - xoff) * xscale);
        const VectorXYZ h(0.0f, pv[i][1], 0.0f);
        VectorXYZ P[4] = {b.c0.xyz() + h, b.c1.xyz() + h, b.c2.xyz() + h, b.c3.xyz()};
        if (!(flags & 2))
            P[3] = P[3] + h;
        if (flags & 1)
            // Across the piece from its first point; the first point has no
            // previous one and starts at 0.
            PutRecord(P, S16(pv[i][2]), S16(pv[i][3]), i == 0 ? 0.0f : pv[i - 1][0] - pv[0][0], pv[i][0] - pv[0][0]);
        else
            PutShaded(P, pv[i]);
    }
}

// Hands a closed batch to the strip renderer: clipped with its edge curves,
// or plain with its lateral extent.
static void Subdivide(RenderContext& rc, RoadRender& rr, bool clipped, const Bezier& centre, const Bezier& left,
                      const Bezier& right, float xl, float xr, float texscale)
{
    if (!rr.Close())
        return;
    const float tile = RoadTileLimit();
    if (clipped)
        RoadRender::RoadSplineSubdivide(rc, centre, left, right, texscale, tile);
    else
        RoadRender::RoadSplineSubdivide(rc, centre, xl, xr, texscale, tile, false, false);
}

void DrawKerbSpline(const RoadType& rt, const Vector* pv, int n, const Bezier& bezKerb, float xscale0, float xoff0,
                    float xscale1, float xoff1, bool, RenderContext& rc)
{
    if (n < 2)
        return;
    const float xl = pv[0][0], xr = pv[n - 1][0];
    const Bezier left = JunctionOffset(bezKerb, xl * xscale0 + xoff0, xl * xscale1 + xoff1);
    const Bezier right = JunctionOffset(bezKerb, xr * xscale0 + xoff0, xr * xscale1 + xoff1);
    const Cuboid box = BoxOf({&left, &right});
    if (box.TestCull(rc.world_cull))
        return;
    SelectRoadTexture(rt.ptex);
    RoadRender rr;
    if (!rr.Open(n))
        return;
    const Frame f(bezKerb);
    for (int i = 0; i < n; ++i) {
        VectorXYZ P[4];
        f.Junction(P, pv[i][0] * xscale0 + xoff0, pv[i][0] * xscale1 + xoff1, pv[i][1], true);
        PutShaded(P, pv[i]);
    }
    const Bezier& centre = xl < 0.0f ? right : left;
    Subdivide(rc, rr, box.TestClip(rc.world_clip), centre, left, right, xl, xr, rt.fTexVScale);
}

// ---------------------------------------------------------------- segments

void RoadSeg::Draw(RenderContext& rc) const
{
    if (bezier.c0[3] > 1.0f - bezier.c3[3])
        return;
    const RoadType& rt = *type;
    const float r = rt.Radius();
    int all = ~0;
    for (int i = 0; i < 4; ++i)
        all &= rc.TestCull(VectorPos(bezier[i].xyz()), r);
    if (all)
        return;
    const float z0 = (rc.world_view * Vector(bezier.c0.xyz(), 1.0f))[2];
    const float z3 = (rc.world_view * Vector(bezier.c3.xyz(), 1.0f))[2];
    if (std::max(z0, z3) > 300.0f)
        return;
    const bool low = std::min(z0, z3) > 64.0f;
    const Vector* pv = low ? rt.vXSect + rt.iNumXSectPts : rt.vXSect;
    const int n = low ? rt.iNumXSectLowPts : rt.iNumXSectPts;
    if (n < 2)
        return;
    SelectRoadTexture(rt.ptex);
    RoadRender rr;
    if (!rr.Open(n))
        return;
    _DrawRoadSpline(rr, pv, n, bezier, low);
    bool clipped = false;
    for (int i = 0; i < 4 && !clipped; ++i)
        clipped = rc.TestClip(VectorPos(bezier[i].xyz()), r);
    const float xl = rt.vXSect[0][0], xr = rt.vXSect[rt.iRightEdge][0];
    if (clipped)
        Subdivide(rc, rr, true, bezier, bezier.OffsetApprox(xl), bezier.OffsetApprox(xr), xl, xr, rt.fTexVScale);
    else
        Subdivide(rc, rr, false, bezier, bezier, bezier, xl, xr, rt.fTexVScale);
}

// ---------------------------------------------------------------- junctions


namespace {

// The full or low-detail cross section of a kind and its index fields.
struct XSect
{
    const Vector* pv;
    int n, junc, juncLeft, rightEdge;

    XSect(const RoadType& rt, bool low)
    {
        if (low) {
            pv = rt.vXSect + rt.iNumXSectPts;
            n = rt.iNumXSectLowPts;
            junc = rt.iJuncLow;
            juncLeft = rt.iJuncLeftLow;
            rightEdge = rt.iRightEdgeLow;
        } else {
            pv = rt.vXSect;
            n = rt.iNumXSectPts;
            junc = rt.iJunc;
            juncLeft = rt.iJuncLeft;
            rightEdge = rt.iRightEdge;
        }
    }
};

float Width(const RoadType& rt) { return rt.vXSect[rt.iRightEdge][0] - rt.vXSect[0][0]; }

// A road's end point at a junction and the unit direction out of it there.
VectorXYZ EndAt(const RoadSeg* rs, bool ends, VectorXYZ* dir)
{
    const Bezier& b = rs->bezier;
    VectorXYZ d = ends ? (b.c3 - b.c2).xyz() : (b.c0 - b.c1).xyz();
    d.Normalise();
    if (dir)
        *dir = d;
    return ends ? b.c3.xyz() : b.c0.xyz();
}

// The through road's curve across a junction of four or more roads.
Bezier ThroughCurve(const Junction& j)
{
    VectorXYZ D0, D2;
    const VectorXYZ E0 = EndAt(j.roadsegs[0], j.Ends(j.roadsegs[0]), &D0);
    const VectorXYZ E2 = EndAt(j.roadsegs[2], j.Ends(j.roadsegs[2]), &D2);
    const float L = (E2 - E0).Length();
    return Plain(E0, E0 + D0 * (L / 3.0f), E2 + D2 * (L / 3.0f), E2);
}

void UseRoadTexture(const RoadType& rt)
{
    SelectRoadTexture(rt.ptex);
    if (RoadRender::projective) {
        RoadRender::projective = 0;
        RoadRender::mtlNormal.Set(VS_DESCRIPTOR(RoadRender::vd), Vector(0, 0, 0, 0));
        therenderer.EndCommands();
        therenderer.Put(VIF_FLUSH);
    }
}

Texture& JunctionFill() { return TPage_Jctn_Fill(); }
Texture& JunctionCrosswalk() { return TPage_Jctn_Crosswalk(); }

void UseCrosswalk(const VectorXYZ& at, const VectorXYZ& along)
{
    const Matrix F = LookFromMatrix(VectorPos(at), VectorDir(along));
    const Matrix inv = F.Inverse();
    RoadRender::SetProjective(&JunctionFill(), &JunctionCrosswalk(), inv * matCrossWalk);
}

// The paved end piece of a road: a patch from the mouth rows to the closing
// row, drawn with the road's texture or a crosswalk.
void DrawEndPatch(RenderContext& rc, const RoadType& rt, const BezierPatch& patch, const Vector* pv, int n, float xl,
                  float xr, bool reverse, bool road, int roadflags, const Cuboid& box, const Bezier& centre,
                  const Bezier& left, const Bezier& right)
{
    const float xoff = reverse ? xr : xl;
    const float xscale = (reverse ? -1.0f : 1.0f) / (xr - xl);
    if (road)
        UseRoadTexture(rt);
    RoadRender rr;
    if (!rr.Open(n))
        return;
    _DrawPatchSpline(rr, pv, n, patch, xoff, xscale, road ? roadflags : 3);
    if (box.TestClip(rc.world_clip))
        Subdivide(rc, rr, true, centre, left, right, 0, 0, road ? rt.fTexVScale : 0.0f);
    else
        Subdivide(rc, rr, false, centre, centre, centre, xoff, xr, road ? rt.fTexVScale : 0.0f);
}

}  // namespace

void DrawJuncEndSpline(const RoadType& rt, const Bezier& bezLeft, const Bezier& bezRight, const Bezier& bezEnd,
                       float xe, float ye, bool flip, RenderContext& rc)
{
    const XSect xs(rt, false);
    const int n = xs.junc - xs.juncLeft + 1;
    if (n < 2)
        return;
    const Vector* pv = xs.pv + xs.juncLeft;
    const float xl = pv[0][0], xr = pv[n - 1][0];
    {
        const Bezier beze = JunctionOffset(bezEnd, xe);
        const Bezier bezl = JunctionOffset(bezLeft, xe, flip ? xr : -xl);
        const Bezier bezr = JunctionOffset(bezRight, flip ? -xl : xr, xe);
        const Cuboid box = BoxOf({beze.c0.xyz(), beze.c3.xyz(), bezl.c3.xyz(), bezr.c0.xyz()});
        if (box.TestCull(rc.world_cull))
            return;
        const Vector h(0.0f, ye, 0.0f, 0.0f);
        const BezierPatch patch = MouthPatch(bezl, bezr, Bezier(beze.c0 + h, beze.c1 + h, beze.c2 + h, beze.c3 + h), true);
        const bool road = rt.flags & 0x20;
        if (!road)
            UseCrosswalk(bezRight.c0.xyz(), (bezRight.c1 - bezRight.c0).xyz());
        DrawEndPatch(rc, rt, patch, pv, n, xl, xr, flip, road, 2, box, bezRight, bezl.Flip(), bezr);
    }
    // The pavement beyond the right edge, at the road's own height.
    const int m = xs.n - xs.rightEdge;
    if (m < 2)
        return;
    const Vector* pp = xs.pv + xs.rightEdge;
    const float xf = pp[0][0], xlast = pp[m - 1][0];
    const Bezier beze = JunctionOffset(bezEnd, xe);
    const Bezier bezl = JunctionOffset(bezLeft, xe, flip ? xf : -xlast);
    const Bezier bezr = JunctionOffset(bezRight, flip ? -xlast : xf, xe);
    const Cuboid box = BoxOf({beze.c0.xyz(), beze.c3.xyz(), bezl.c3.xyz(), bezr.c0.xyz()});
    if (box.TestCull(rc.world_cull))
        return;
    const BezierPatch patch = MouthPatch(bezl, bezr, beze, false);
    DrawEndPatch(rc, rt, patch, pp, m, xlast, xf, flip, true, 0, box, bezRight, bezl.Flip(), bezr);
}

void Junction::Draw(RenderContext& rc) const
{
    if (u8Flags & JUNCTION_FAKE)
        return;
    if (rc.TestCull(pos, radius))
        return;
    const float depth = (rc.world_view * Vector(pos, 1.0f))[2];
    if (depth > 300.0f)
        return;
    const bool low = depth - radius > 64.0f;
    const int n = nRoadsegs;
    if (n == 1) {
        // A dead end: U-shaped curves round the end from the left half of
        // the cross section.
        const RoadSeg* r = roadsegs[0];
        const RoadType& rt = *r->type;
        const XSect xs(rt, low);
        VectorXYZ D;
        const VectorXYZ E = EndAt(r, Ends(r), &D);
        const VectorXYZ S(-D[2], 0.0f, D[0]);
        const int m = xs.n / 2 + 1;
        if (xs.n < 2)
            return;
        SelectRoadTexture(rt.ptex);
        RoadRender rr;
        if (!rr.Open(m))
            return;
        for (int i = 0; i < m; ++i) {
            const float x = xs.pv[i][0];
            const VectorXYZ h(0.0f, xs.pv[i][1], 0.0f);
            VectorXYZ P[4];
            P[0] = E + h - S * x;
            P[1] = P[0] - D * x;
            P[3] = E + h + S * x;
            P[2] = P[3] - D * x;
            PutShaded(P, xs.pv[i]);
        }
        const float r2 = rt.vXSect[rt.iRightEdge][0];
        const Bezier centre = Plain(E - S * r2, E - S * r2 - D * r2, E + S * r2 - D * r2, E + S * r2);
        if (rc.TestClip(pos, radius))
            Subdivide(rc, rr, true, centre, centre.OffsetApprox(0.0f), centre.OffsetApprox(r2), 0, r2,
                      rt.fTexVScale);
        else if (rr.Close())
            RoadRender::RoadSplineSubdivide(rc, centre, 0.0f, r2, rt.fTexVScale, RoadTileLimit(), false, low);
        return;
    }
    if (n == 2) {
        // A join: the first road's edges carried onto the second's.
        const RoadType& rt0 = *roadsegs[0]->type;
        const RoadType& rt1 = *roadsegs[1]->type;
        const float scale = Width(rt1) / Width(rt0);
        const float offset = rt1.vXSect[0][0] - rt0.vXSect[0][0] * scale;
        const XSect xs(rt0, low);
        const int m = xs.rightEdge + 1;
        if (m < 2)
            return;
        const bool s = Ends(roadsegs[0]);
        const Bezier A = pbezCurbs[1 - s].Flip(), B = pbezCurbs[s];
        const float xl = xs.pv[0][0], xr = xs.pv[m - 1][0];
        const Bezier oa = JunctionOffset(A, xl, xl * scale + offset);
        const Bezier ob = JunctionOffset(B, xr, xr * scale + offset);
        const Cuboid box = BoxOf({&oa, &ob});
        if (box.TestCull(rc.world_cull))
            return;
        SelectRoadTexture(rt0.ptex);
        RoadRender rr;
        if (!rr.Open(m))
            return;
        const Frame fa(A), fb(B);
        for (int i = 0; i < m; ++i) {
            const float x = xs.pv[i][0];
            const float d0 = s ? x : x * scale + offset, d1 = s ? x * scale + offset : x;
            const Frame& f = i < m / 2 ? fa : fb;
            const VectorXYZ h(0.0f, xs.pv[i][1], 0.0f);
            VectorXYZ P[4];
            P[0] = f.c0 + h + fa.N0 * d0;
            P[1] = P[0] + fa.h01 * std::max(1.0f + std::fabs(d0) * f.s1, 0.1f);
            P[3] = f.c3 + h + fa.N3 * d1;
            P[2] = P[3] + fa.h32 * std::max(1.0f + std::fabs(d1) * f.s2, 0.1f);
            PutShaded(P, xs.pv[i]);
        }
        Subdivide(rc, rr, box.TestClip(rc.world_clip), A, oa, ob, xl, xr, rt0.fTexVScale);
        return;
    }
    // Kerbs round every corner.
    for (int i = 0; i < n; ++i) {
        if (i == 1 && n == 3 && (u8Flags & JUNCTION_THROUGHROAD))
            continue;
        const RoadSeg* prev = roadsegs[(i + n - 1) % n];
        const RoadSeg* next = roadsegs[i];
        const RoadType& rt0 = *prev->type;
        const RoadType& rt1 = *next->type;
        const Bezier& K = pbezCurbs[i];
        const float r = std::max(rt0.Radius(), rt1.Radius());
        int all = ~0;
        for (int k = 0; k < 4; ++k)
            all &= rc.TestCull(VectorPos(K[k].xyz()), r);
        if (all)
            continue;
        const bool e0 = Ends(prev), e1 = Ends(next);
        // Each side's pavement band: its inner x (the kerb point's, negated
        // on the left) and its width.
        struct Band
        {
            bool right;
            float inner, width;
        };
        auto band = [](const RoadType& rt, bool right) {
            const float j = rt.vXSect[right ? rt.iJunc : rt.iJuncLeft][0];
            const float edge = rt.vXSect[right ? rt.iRightEdge : 0][0];
            return Band{right, right ? j : -j, std::fabs(edge - j)};
        };
        const Band b0 = band(rt0, e0), b1 = band(rt1, !e1);
        bool usePrev;
        if ((rt0.flags ^ rt1.flags) & 0x80)
            usePrev = rt0.flags & 0x80;
        else if ((rt0.flags ^ rt1.flags) & 0x08)
            usePrev = rt0.flags & 0x08;
        else
            usePrev = Width(rt0) > Width(rt1);
        const RoadType& rt = usePrev ? rt0 : rt1;
        const Band& own = usePrev ? b0 : b1;
        const Band& other = usePrev ? b1 : b0;
        const float scale = own.width > 0.0f ? other.width / own.width : 1.0f;
        const float offset = other.inner - own.inner * scale;
        const XSect xs(rt, low);
        const int first = own.right ? xs.junc : 0;
        const int last = own.right ? xs.rightEdge : xs.juncLeft;
        const Vector* pv = xs.pv + first;
        const int m = last - first + 1;
        if (own.right) {
            if (usePrev)
                DrawKerbSpline(rt, pv, m, K, 1, 0, scale, offset, low, rc);
            else
                DrawKerbSpline(rt, pv, m, K, scale, offset, 1, 0, low, rc);
        } else {
            if (usePrev)
                DrawKerbSpline(rt, pv, m, K.Flip(), scale, -offset, 1, 0, low, rc);
            else
                DrawKerbSpline(rt, pv, m, K.Flip(), 1, 0, scale, -offset, low, rc);
        }
    }
    if (!(u8Flags & JUNCTION_THROUGHROAD))
        return;
    // The through road.
    const RoadSeg* r0 = roadsegs[0];
    const RoadType& rt = *r0->type;
    const XSect xs(rt, low);
    const bool end = Ends(r0);
    SelectRoadTexture(rt.ptex);
    RoadRender rr;
    if (!rr.Open(xs.n + 2))
        return;
    Bezier curve;
    float xl, xr;
    if (n == 3) {
        curve = end ? pbezCurbs[1] : pbezCurbs[1].Flip();
        if (end) {
            _DrawJuncSplineExtend(rr, xs.pv + xs.juncLeft, xs.n - xs.juncLeft, curve, low, 1);
        } else {
            _DrawJuncSplineExtend(rr, xs.pv, xs.junc + 1, curve, low, 2);
            if (!low && rt.iNumXSectPts - rt.iRightEdge >= 2)
                _DrawJuncSpline(rr, rt.vXSect + rt.iRightEdge, rt.iNumXSectPts - rt.iRightEdge, curve, low);
        }
        xl = rt.vXSect[0][0];
        xr = rt.vXSect[rt.iRightEdge][0];
    } else {
        curve = end ? ThroughCurve(*this) : ThroughCurve(*this).Flip();
        _DrawJuncSplineExtend(rr, xs.pv + xs.juncLeft, xs.junc - xs.juncLeft + 1, curve, low, 3);
        xl = xs.pv[xs.juncLeft][0];
        xr = xs.pv[xs.junc][0];
        if (!low && rt.iNumXSectPts - rt.iRightEdge >= 2) {
            _DrawJuncSpline(rr, rt.vXSect + rt.iRightEdge, rt.iNumXSectPts - rt.iRightEdge, curve, low);
            xr = rt.vXSect[rt.iNumXSectPts - 1][0];
        }
    }
    bool clipped = false;
    for (int k = 0; k < 4 && !clipped; ++k)
        clipped = rc.TestClip(VectorPos(curve[k].xyz()), rt.Radius());
    Subdivide(rc, rr, clipped, curve, curve.OffsetApprox(xl), curve.OffsetApprox(xr), xl, xr, rt.fTexVScale);
}

void Junction::DrawMiddle(RenderContext& rc) const
{
    const int n = nRoadsegs;
    if (n < 3)
        return;
    if (n > 16) {
        if (!g_bigJunctionReported)
            printf("Roads: a junction of %d roads has no middle drawn (16 at most)\n", n);
        g_bigJunctionReported = true;
        return;
    }
    // The junction's texture frame: its fills repeat from its own centre.
    const Vector t = matJunc.x * -pos[0] + matJunc.y * -pos[1] + matJunc.z * -pos[2] + matJunc.w;
    therenderer.BeginCommands();
    therenderer.SetGlobals(MC2_TEXMATRIX0 + 3, 1, reinterpret_cast<const u64*>(&t));

    const RoadType& rt0 = *roadsegs[0]->type;
    const bool r0ends = Ends(roadsegs[0]);
    if (u8Flags & JUNCTION_THROUGHROAD) {
        const Vector& pj = rt0.vXSect[rt0.iJunc];
        const Vector& pl = rt0.vXSect[rt0.iJuncLeft];
        if (n == 3) {
            const float xe = r0ends ? -pl[0] : pj[0], ye = r0ends ? pl[1] : pj[1];
            DrawJuncEndSpline(*roadsegs[2]->type, pbezCurbs[2], pbezCurbs[0], pbezCurbs[1].Flip(), xe, ye,
                              !Ends(roadsegs[2]), rc);
        } else {
            const Bezier T = ThroughCurve(*this);
            const float x1 = r0ends ? pj[0] : -pl[0], y1 = r0ends ? pj[1] : pl[1];
            const float x3 = r0ends ? -pl[0] : pj[0], y3 = r0ends ? pl[1] : pj[1];
            DrawJuncEndSpline(*roadsegs[1]->type, pbezCurbs[1], pbezCurbs[2], T, x1, y1, !Ends(roadsegs[1]), rc);
            DrawJuncEndSpline(*roadsegs[3]->type, pbezCurbs[3], pbezCurbs[0], T.Flip(), x3, y3, !Ends(roadsegs[3]), rc);
        }
        return;
    }
    const VectorXYZ h(0.0f, rt0.vXSect[rt0.iJunc][1], 0.0f);
    Bezier F[16], S[16];
    for (int g = 0; g < n; ++g) {
        const RoadSeg* prev = roadsegs[(g + n - 1) % n];
        const RoadSeg* next = roadsegs[g];
        const RoadType& a = *prev->type;
        const RoadType& b = *next->type;
        const float d0 = Ends(prev) ? a.vXSect[a.iJunc][0] : -a.vXSect[a.iJuncLeft][0];
        const float d1 = Ends(next) ? -b.vXSect[b.iJuncLeft][0] : b.vXSect[b.iJunc][0];
        JunctionOffset(pbezCurbs[g], d0, d1).Split(F[g], S[g]);
    }
    VectorPos corner[16];
    for (int i = 0; i < n; ++i) {
        const int g1 = (i + 1) % n;
        corner[i] = VectorPos(F[g1].c3.xyz() + h);
    }
    for (int i = 0; i < n; ++i) {
        const int g1 = (i + 1) % n;
        const RoadSeg* seg = roadsegs[i];
        const RoadType& rt = *seg->type;
        const VectorXYZ a = S[i].c3.xyz(), b = F[g1].c0.xyz();
        const VectorXYZ p = S[i].c0.xyz() + h, q = corner[i];
        const Cuboid box = BoxOf({a, b, p, q});
        if (box.TestCull(rc.world_cull))
            continue;
        const int m = rt.iJunc - rt.iJuncLeft + 1;
        if (m < 2)
            continue;
        const VectorXYZ row0[4] = {a, (a * 2.0f + b) * (1.0f / 3.0f), (a + b * 2.0f) * (1.0f / 3.0f), b};
        const VectorXYZ row3[4] = {p, (p * 2.0f + q) * (1.0f / 3.0f), (p + q * 2.0f) * (1.0f / 3.0f), q};
        const VectorXYZ A = row0[1] + (S[i].c2.xyz() - a), B = row0[2] + (F[g1].c1.xyz() - b);
        const VectorXYZ rows[16] = {row0[0], row0[1], row0[2], row0[3], S[i].c2.xyz(), A, B, F[g1].c1.xyz(),
                                    S[i].c1.xyz(), (A + row3[1]) * 0.5f, (B + row3[2]) * 0.5f, F[g1].c2.xyz(),
                                    row3[0], row3[1], row3[2], row3[3]};
        BezierPatch patch;
        for (int k = 0; k < 16; ++k)
            patch[k] = Vector(rows[k], 0.0f);
        const Vector* pv = rt.vXSect + rt.iJuncLeft;
        const float xl = pv[0][0], xr = pv[m - 1][0];
        const bool road = rt.flags & 0x20;
        if (!road)
            UseCrosswalk(b, F[g1].c1.xyz() - b);
        const Bezier edge = road ? Plain(a, S[i].c2.xyz(), S[i].c1.xyz(), p) : Plain(b, F[g1].c1.xyz(), F[g1].c2.xyz(), q);
        DrawEndPatch(rc, rt, patch, pv, m, xl, xr, !Ends(seg), road, 2, box, F[g1], edge, F[g1]);
    }
    SelectRoadTexture(&JunctionFill());
    RoadRender::DrawJunctionMiddle(rc, corner, n);
}
