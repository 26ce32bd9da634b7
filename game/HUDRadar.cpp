// The radar: the map matrix, the streets around the player as thick lines
// and the mission's route over them.
#include <algorithm>
#include <cmath>

#include "game/HUD.h"

#include "ZevEngine2/PS2/Bezier.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"

const MapRoadTypeInfo MapRoadTypeInfos[20] = {
    {0x33808080, 1.0f}, {0x40808080, 2.0f}, {0x4C808080, 3.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f},
    {0x33808080, 1.0f}, {0x59007880, 6.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f},
    {0x33808080, 1.0f}, {0x59007880, 2.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f},
    {0x33808080, 1.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f}, {0x33808080, 1.0f},
};

namespace {

constexpr u32 kRouteColour = 0x66808080;
constexpr float kRouteWidth = 6.0f;

// The radar rectangle the strips are cut to while Draw2DRoads runs: a strip
// reaching past it would otherwise paint over the frame and the picture
// beside the radar.  Null outside Draw2DRoads (nothing is cut).
const Rect* clipRect = nullptr;

// The strip's vertices as ThickLine makes them, kept until the curve ends.
struct StripBuffer
{
    VectorXYZ v[16];
    int n = 0;
};
StripBuffer* capture = nullptr;

void PutVertex(Render2D& r2d, const VectorXYZ& p)
{
    if (capture != nullptr) {
        if (capture->n < 16)
            capture->v[capture->n++] = p;
        return;
    }
    r2d.SetVertex(p[0], p[1], u32(int(p[2])));
}

struct P2
{
    float x, y;
};

// One triangle cut to the rectangle (Sutherland-Hodgman against its four
// edges), written as a fan of triangles.
void ClippedTriangle(Render2D& r2d, const P2 tri[3], const Rect& rect, u32 z)
{
    P2 buf[2][12];
    int n = 3;
    std::copy(tri, tri + 3, buf[0]);
    const float lo[2] = {float(rect.x), float(rect.y)};
    const float hi[2] = {float(rect.x + rect.w), float(rect.y + rect.h)};
    int cur = 0;
    for (int edge = 0; edge < 4 && n > 0; edge++) {
        const int axis = edge & 1;
        const bool upper = edge >= 2;
        const float bound = upper ? hi[axis] : lo[axis];
        auto inside = [&](const P2& p) {
            const float c = axis == 0 ? p.x : p.y;
            return upper ? c <= bound : c >= bound;
        };
        const P2* in = buf[cur];
        P2* out = buf[cur ^ 1];
        int m = 0;
        for (int i = 0; i < n; i++) {
            const P2& a = in[i];
            const P2& b = in[(i + 1) % n];
            const bool ia = inside(a), ib = inside(b);
            if (ia)
                out[m++] = a;
            if (ia != ib) {
                const float ca = axis == 0 ? a.x : a.y, cb = axis == 0 ? b.x : b.y;
                const float t = (bound - ca) / (cb - ca);
                out[m++] = P2{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
            }
        }
        n = m;
        cur ^= 1;
    }
    for (int i = 1; i + 1 < n; i++) {
        const P2& a = buf[cur][0];
        const P2& b = buf[cur][i];
        const P2& c = buf[cur][i + 1];
        r2d.SetVertex(a.x, a.y, z);
        r2d.SetVertex(b.x, b.y, z);
        r2d.SetVertex(c.x, c.y, z);
    }
}

bool InsideRect(const VectorXYZ& p, const Rect& r)
{
    return p[0] >= float(r.x) && p[0] <= float(r.x + r.w) && p[1] >= float(r.y) && p[1] <= float(r.y + r.h);
}

// The unit direction from a to b in the screen plane.
VectorXYZ Dir2(const VectorXYZ& a, const VectorXYZ& b)
{
    const float dx = b[0] - a[0], dy = b[1] - a[1];
    const float l = std::sqrt(dx * dx + dy * dy);
    return l > 0.0f ? VectorXYZ(dx / l, dy / l, 0.0f) : VectorXYZ(0.0f, 0.0f, 0.0f);
}


}  // namespace

Bezier RoadCurve(const RoadSeg& rs)
{
    Bezier b = rs.bezier;
    if (rs.jtn[0] != nullptr)
        b.c0 = Vector(rs.jtn[0]->pos, 1.0f);
    if (rs.jtn[1] != nullptr)
        b.c3 = Vector(rs.jtn[1]->pos, 1.0f);
    return b;
}

Matrix CalcMapMatrix(const Rect& rectMap, const Matrix& matfCenter, const VectorDir& vdExtents)
{
    const float hw = float(rectMap.w) * 0.5f, hh = float(rectMap.h) * 0.5f;
    const float cx = float(rectMap.x + rectMap.w / 2), cy = float(rectMap.y + rectMap.h / 2);
    const Matrix inv = matfCenter.Inverse();
    const Matrix S(Vector(hw / vdExtents[0], 0.0f, 0.0f, 0.0f), Vector(0.0f, 1.0f, 0.0f, 0.0f),
                   Vector(0.0f, 0.0f, hh / vdExtents[2], 0.0f), Vector(0.0f, 0.0f, 0.0f, 1.0f));
    // Local x runs to the left of the screen, local z up it; height drops out.
    const Matrix T(Vector(-1.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, -1.0f, 0.0f, 0.0f),
                   Vector(cx, cy, 1.0f, 1.0f));
    return inv * S * T;
}

bool Bezier2DClip(const Bezier& bz, const Matrix& matClip)
{
    int right = 0, left = 0, below = 0, above = 0;
    for (int i = 0; i < 4; i++) {
        const VectorPos p = matClip * VectorPos(bz[i][0], bz[i][1], bz[i][2]);
        right += p[0] > 1.0f;
        left += p[0] < -1.0f;
        below += p[1] > 1.0f;
        above += p[1] < -1.0f;
    }
    return right < 4 && left < 4 && below < 4 && above < 4;
}

void ThickLine::SetVertex(Render2D& r2d, const VectorXYZ& pos)
{
    if (nPnts == 1) {
        const VectorXYZ d = Dir2(pos, prevPos1);
        const VectorXYZ n(d[1], -d[0], 0.0f);
        PutVertex(r2d, prevPos1 - n * thickness);
        PutVertex(r2d, prevPos1 + n * thickness);
    } else if (nPnts >= 2) {
        const VectorXYZ d1 = Dir2(prevPos2, prevPos1), d2 = Dir2(prevPos1, pos);
        const float nAx = d1[1], nAy = -d1[0], nBx = d2[1], nBy = -d2[0];
        const float cosang = d1[0] * d2[0] + d1[1] * d2[1];
        if (std::fabs(cosang) < 0.9999f) {
            // The mitre: where the two offset edges meet, on each side.
            // prevPos2 + nA t + d1 s = prevPos1 + nB t + d2 u, solved for s.
            const float det = d1[0] * (-d2[1]) - d1[1] * (-d2[0]);
            auto mitre = [&](float side) {
                const float ax = prevPos2[0] + nAx * thickness * side, ay = prevPos2[1] + nAy * thickness * side;
                const float bx = prevPos1[0] + nBx * thickness * side, by = prevPos1[1] + nBy * thickness * side;
                const float rx = bx - ax, ry = by - ay;
                const float s = (rx * (-d2[1]) - ry * (-d2[0])) / det;
                return VectorXYZ(ax + d1[0] * s, ay + d1[1] * s, prevPos1[2]);
            };
            PutVertex(r2d, mitre(1.0f));
            PutVertex(r2d, mitre(-1.0f));
        } else {
            const VectorXYZ nB(nBx, nBy, 0.0f);
            PutVertex(r2d, prevPos1 + nB * thickness);
            PutVertex(r2d, prevPos1 - nB * thickness);
        }
    }
    prevPos2 = prevPos1;
    prevPos1 = pos;
    nPnts += 1;
}

void DrawThickLineBezier(Render2D& r2d, const Matrix& mat, const Bezier& bz, float lineWidth, unsigned colour)
{
    Bezier b0, b1;
    bz.Split(0.5f, b0, b1);
    ThickLine tl;
    tl.thickness = lineWidth * 0.5f;
    tl.nPnts = 0;
    r2d.SetColour(Colour(u8(colour), u8(colour >> 8), u8(colour >> 16), u8(colour >> 24)));
    StripBuffer strip;
    capture = &strip;
    const Vector* pts[7] = {&b0.c0, &b0.c1, &b0.c2, &b0.c3, &b1.c1, &b1.c2, &b1.c3};
    for (const Vector* p : pts) {
        const VectorPos s = mat * VectorPos((*p)[0], (*p)[1], (*p)[2]);
        tl.SetVertex(r2d, VectorXYZ(s[0], s[1], s[2]));
    }
    // The end pair at the last point.
    const VectorXYZ d = Dir2(tl.prevPos1, tl.prevPos2);
    const VectorXYZ n(d[1], -d[0], 0.0f);
    PutVertex(r2d, tl.prevPos1 - n * tl.thickness);
    PutVertex(r2d, tl.prevPos1 + n * tl.thickness);
    capture = nullptr;

    bool whole = true;
    if (clipRect != nullptr)
        for (int i = 0; i < strip.n; i++)
            whole = whole && InsideRect(strip.v[i], *clipRect);
    if (whole) {
        r2d.Begin(PRIM_TRISTRIP);
        for (int i = 0; i < strip.n; i++)
            PutVertex(r2d, strip.v[i]);
        r2d.End();
    } else {
        r2d.Begin(PRIM_TRI);
        for (int i = 0; i + 2 < strip.n; i++) {
            const P2 tri[3] = {{strip.v[i][0], strip.v[i][1]},
                               {strip.v[i + 1][0], strip.v[i + 1][1]},
                               {strip.v[i + 2][0], strip.v[i + 2][1]}};
            ClippedTriangle(r2d, tri, *clipRect, u32(int(strip.v[i][2])));
        }
        r2d.End();
    }
    r2d.prim_reg &= ~7u;
}

void DrawThickLineRoad(Render2D& r2d, const Matrix& mat, const RoadSeg& rs)
{
    const int kind = rs.type != nullptr ? rs.type->type : 0;
    const MapRoadTypeInfo& info = MapRoadTypeInfos[kind < 20 ? kind : 0];
    DrawThickLineBezier(r2d, mat, RoadCurve(rs), info.lineWidth, info.colour);
}

void DrawThickLineSpline(Render2D& r2d, const Matrix& mat, const Matrix& mat2DRoadClip, Spline* pSpl, float lineWidth,
                         unsigned colour)
{
    if (pSpl == nullptr)
        return;
    const int n = pSpl->Count() >= 4 ? (pSpl->Count() - 1) / 3 : 0;
    for (int i = 0; i < n; i++) {
        const Bezier& bz = pSpl->GetBezier(i);
        if (Bezier2DClip(bz, mat2DRoadClip))
            DrawThickLineBezier(r2d, mat, bz, lineWidth, colour);
    }
}

void Draw2DRoads(Render2D& r2d, const Rect& rectMap, const Cuboid& cuboid, const Matrix& mat, int iMapFlags)
{
    const float cx = float(rectMap.x) + float(rectMap.w) * 0.5f, cy = float(rectMap.y) + float(rectMap.h) * 0.5f;
    const float sx = 2.0f / float(rectMap.w), sy = 2.0f / float(rectMap.h);
    const Matrix C(Vector(sx, 0.0f, 0.0f, 0.0f), Vector(0.0f, sy, 0.0f, 0.0f), Vector(0.0f, 0.0f, 0.0f, 0.0f),
                   Vector(-cx * sx, -cy * sy, 0.0f, 1.0f));
    const Matrix clip = mat * C;

    r2d.SetAlpha(ALPHA_ADD);
    r2d.SetTextureOff();
    r2d.SetAlphaTest(ALPHATEST_OFF);
    clipRect = &rectMap;

    if (!(u32(iMapFlags) & HUDF_COMPACTMAP))
        for (Visible2D v(cuboid, QN_ROADSEGS); *v; ++v) {
            const QuadNode* node = *v;
            for (int i = 0; i < node->nRoadSegs; i++) {
                const RoadSeg& rs = node->roadsegs[i];
                if (rs.flags & 1)
                    continue;
                if (!Bezier2DClip(RoadCurve(rs), clip))
                    continue;
                DrawThickLineRoad(r2d, mat, rs);
            }
        }
    if (g_pgcTest != nullptr)
        for (Link<Spline>* l = g_pgcTest->splRadarList.Head(); !l->IsEOList(); l = l->Next())
            DrawThickLineSpline(r2d, mat, clip, l->data, kRouteWidth, kRouteColour);
    clipRect = nullptr;
}
