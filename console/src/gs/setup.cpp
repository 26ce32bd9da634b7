#include "gs/setup.h"

#include <algorithm>
#include <cstdlib>

#include "core/diag.h"
#include "gs/pipeline.h"
#include "gs/raster.h"

namespace console::gs {
namespace {

bool g_aa1_reported = false;

// The first pixel whose sample position 16 px is at or after `c` (1/16 pixel).
s32 FirstPixelAtOrAfter(s32 c)
{
    return (c + 15) >> 4;
}

// The pixel nearest a position in 1/16 pixel (halves round up).
s32 NearestPixel(s32 c)
{
    return (c + 8) >> 4;
}

// ceil(a / b) for b > 0.
s64 CeilDiv(s64 a, s64 b)
{
    return -FloorDiv(-a, b);
}

s32 WindowX(const DrawEnv& env, const Vertex& v)
{
    return static_cast<s32>(v.x) - static_cast<s32>(env.ofx);
}

s32 WindowY(const DrawEnv& env, const Vertex& v)
{
    return static_cast<s32>(v.y) - static_cast<s32>(env.ofy);
}

// The edge from (ax, ay) to (bx, by) of a triangle whose vertices run so that
// the inside lies where the cross product with the edge is positive.
EdgeFunction MakeEdge(s64 ax, s64 ay, s64 bx, s64 by)
{
    EdgeFunction e;
    // E(X, Y) = (bx - ax)(Y - ay) - (by - ay)(X - ax); its gradient points
    // into the triangle.
    e.gx = -(by - ay);
    e.gy = bx - ax;
    e.c = -e.gx * ax - e.gy * ay;
    // Samples exactly on the edge: kept on left edges (gradient to the right)
    // and top edges (horizontal, gradient downwards), dropped otherwise.
    const bool top_left = e.gx > 0 || (e.gx == 0 && e.gy > 0);
    if (!top_left)
        e.c -= 1;
    if (e.gx != 0) {
        const double neg_inv_g16 = -1.0 / (16.0 * static_cast<double>(e.gx));
        e.row_slope = static_cast<double>(e.gy) * neg_inv_g16;
        e.row_offset = static_cast<double>(e.c) * neg_inv_g16;
    }
    return e;
}

void SetupPoint(const DrawEnv& env, const Vertex& v, LocalMemory& memory, const ClutBuffer& clut)
{
    const s32 px = NearestPixel(WindowX(env, v));
    const s32 py = NearestPixel(WindowY(env, v));
    if (px < env.scax0 || px > env.scax1 || py < env.scay0 || py > env.scay1)
        return;
    double attributes[kAttributeCount];
    VertexAttributes(v, attributes);
    RasterizePoint(env, px, py, attributes, memory, clut);
}

}  // namespace

void VertexAttributes(const Vertex& v, double* out)
{
    const Color c = UnpackColor(v.rgba);
    out[kAttrR] = c.r;
    out[kAttrG] = c.g;
    out[kAttrB] = c.b;
    out[kAttrA] = c.a;
    out[kAttrZ] = v.z;
    out[kAttrF] = v.f;
    out[kAttrS] = v.s;
    out[kAttrT] = v.t;
    out[kAttrQ] = v.q;
    out[kAttrU] = v.u;
    out[kAttrV] = v.v;
}

bool SetupSprite(const DrawEnv& env, const Vertex& v0, const Vertex& v1, SpriteSetup& s)
{
    s.x0 = WindowX(env, v0);
    s.y0 = WindowY(env, v0);
    s.x1 = WindowX(env, v1);
    s.y1 = WindowY(env, v1);
    s.px_begin = std::max(FirstPixelAtOrAfter(std::min(s.x0, s.x1)), env.scax0);
    s.px_end = std::min(FirstPixelAtOrAfter(std::max(s.x0, s.x1)), env.scax1 + 1);
    s.py_begin = std::max(FirstPixelAtOrAfter(std::min(s.y0, s.y1)), env.scay0);
    s.py_end = std::min(FirstPixelAtOrAfter(std::max(s.y0, s.y1)), env.scay1 + 1);
    if (s.px_begin >= s.px_end || s.py_begin >= s.py_end)
        return false;
    s.u0 = static_cast<s32>(v0.u);
    s.u1 = static_cast<s32>(v1.u);
    s.v0 = static_cast<s32>(v0.v);
    s.v1 = static_cast<s32>(v1.v);
    s.s0 = v0.s;
    s.s1 = v1.s;
    s.t0 = v0.t;
    s.t1 = v1.t;
    s.q = v1.q;
    s.color = UnpackColor(v1.rgba);
    s.z = v1.z;
    s.fog = v1.f;
    return true;
}

bool SetupTriangle(const DrawEnv& env, const Vertex& v0, const Vertex& v1, const Vertex& v2, TriangleSetup& s)
{
    const Vertex* v[3] = {&v0, &v1, &v2};
    s64 x[3], y[3];
    for (int i = 0; i < 3; ++i) {
        x[i] = WindowX(env, *v[i]);
        y[i] = WindowY(env, *v[i]);
    }
    const s64 area2 = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
    if (area2 == 0)
        return false;

    // Edges taken in the order that puts the inside on the positive side.
    int order[3] = {0, 1, 2};
    if (area2 < 0)
        std::swap(order[1], order[2]);
    for (int i = 0; i < 3; ++i) {
        const int a = order[i], b = order[(i + 1) % 3];
        s.edges[i] = MakeEdge(x[a], y[a], x[b], y[b]);
    }

    const s64 min_x = std::min({x[0], x[1], x[2]}), max_x = std::max({x[0], x[1], x[2]});
    const s64 min_y = std::min({y[0], y[1], y[2]}), max_y = std::max({y[0], y[1], y[2]});
    s.px_begin = std::max(static_cast<s32>(CeilDiv(min_x, 16)), env.scax0);
    s.px_end = std::min(static_cast<s32>(FloorDiv(max_x, 16)) + 1, env.scax1 + 1);
    s.py_begin = std::max(static_cast<s32>(CeilDiv(min_y, 16)), env.scay0);
    s.py_end = std::min(static_cast<s32>(FloorDiv(max_y, 16)) + 1, env.scay1 + 1);
    if (s.px_begin >= s.px_end || s.py_begin >= s.py_end)
        return false;

    // Attribute planes through the three vertices: with d1 = P1 - P0 and
    // d2 = P2 - P0, the gradient solves a(P) = a0 + g . (P - P0) at P1, P2.
    double a[3][kAttributeCount];
    for (int i = 0; i < 3; ++i)
        VertexAttributes(*v[i], a[i]);
    const double dx1 = static_cast<double>(x[1] - x[0]), dy1 = static_cast<double>(y[1] - y[0]);
    const double dx2 = static_cast<double>(x[2] - x[0]), dy2 = static_cast<double>(y[2] - y[0]);
    const double inv_area2 = 1.0 / static_cast<double>(area2);
    for (int k = 0; k < kAttributeCount; ++k) {
        AttributePlane& p = s.planes[k];
        const double da1 = a[1][k] - a[0][k], da2 = a[2][k] - a[0][k];
        p.a0 = a[0][k];
        p.gx = (da1 * dy2 - da2 * dy1) * inv_area2;
        p.gy = (da2 * dx1 - da1 * dx2) * inv_area2;
        p.x0 = static_cast<s32>(x[0]);
        p.y0 = static_cast<s32>(y[0]);
    }
    s.q_constant = v0.q == v1.q && v1.q == v2.q;
    s.flat = !env.prim.iip;
    s.flat_color = UnpackColor(v2.rgba);
    return true;
}

void TriangleRowSpan(const TriangleSetup& s, s32 py, s32& begin, s32& end)
{
    // Each edge bounds the row on one side: inside where 16 gx px + k >= 0.
    // The bound is estimated in double precision from the edge's slope and
    // offset (within a hair of the exact quotient -k / 16 gx) and then
    // settled with exact integer tests; bounds well outside the bounding box
    // are not settled at all (an estimate off by a hair there changes
    // nothing, the margin being two pixels).  This avoids 64-bit divisions,
    // which are library calls on this target, three times per row.  Window
    // coordinates are 16-bit, so gx, gy and 16 py fit 32 bits and their
    // products are single multiplications.
    s32 lo = s.px_begin, hi = s.px_end - 1;
    const s32 sample_y = 16 * py;
    for (const EdgeFunction& e : s.edges) {
        const s64 k = static_cast<s64>(static_cast<s32>(e.gy)) * sample_y + e.c;
        if (e.gx == 0) {
            if (k < 0)
                hi = lo - 1;
            continue;
        }
        const s32 g16 = 16 * static_cast<s32>(e.gx);
        auto inside = [&](s32 px) { return static_cast<s64>(g16) * px + k >= 0; };
        const double bound = e.row_slope * sample_y + e.row_offset;
        if (bound <= lo - 2.0 || bound >= hi + 2.0) {
            // Wholly one side of the box: either no limit or an empty row.
            if ((e.gx > 0) == (bound >= hi + 2.0))
                hi = lo - 1;
            continue;
        }
        s32 c = static_cast<s32>(bound);
        if (e.gx > 0) {
            // The first pixel inside.
            while (!inside(c))
                ++c;
            while (inside(c - 1))
                --c;
            lo = std::max(lo, c);
        } else {
            // The last pixel inside.
            while (!inside(c))
                --c;
            while (inside(c + 1))
                ++c;
            hi = std::min(hi, c);
        }
    }
    begin = lo;
    end = std::max(lo, hi + 1);
}

TriangleRowWalker::TriangleRowWalker(const TriangleSetup& s, s32 py)
    : lo_(s.px_begin), hi_(s.px_end - 1), py_(py), first_row_(py), last_row_(s.py_end)
{
    // Edge E's value at pixel px of the row is 16 gx px + k, k = gy Y + c,
    // and k grows by dk = 16 gy from one row to the next.
    constexpr s64 kLimit = s64{1} << 29;
    const s64 rows = std::max<s64>(1, s.py_end - py);
    Edge rights[3];
    int right_count = 0;
    for (const EdgeFunction& e : s.edges) {
        const s64 k = e.gy * (16 * static_cast<s64>(py)) + e.c;
        const s64 dk = 16 * e.gy;
        if (e.gx == 0) {
            // A level edge lets rows through from where k turns non-negative
            // (k growing) or up to where it turns negative.
            if (dk > 0)
                first_row_ = static_cast<s32>(std::max<s64>(first_row_, py + (k >= 0 ? 0 : -FloorDiv(k, dk))));
            else if (k < 0)
                last_row_ = py - 1;
            else if (dk < 0)
                last_row_ = static_cast<s32>(std::min<s64>(last_row_, py + FloorDiv(k, -dk)));
            continue;
        }
        const s64 g = 16 * (e.gx > 0 ? e.gx : -e.gx);
        const s64 step = FloorDiv(dk, g);
        Edge w;
        w.g = static_cast<s32>(g);
        w.step_rest = static_cast<s32>(dk - step * g);
        s64 bound;
        if (e.gx > 0) {
            // The first pixel inside: ceil(-k / g), its remainder g bound + k,
            // and as k grows the bound falls.
            bound = -FloorDiv(k, g);
            w.rest = static_cast<s32>(g * bound + k);
            w.step = static_cast<s32>(-step);
            w.carry = -1;
        } else {
            // The last pixel inside: floor(k / g), its remainder k - g bound.
            bound = FloorDiv(k, g);
            w.rest = static_cast<s32>(k - g * bound);
            w.step = static_cast<s32>(step);
            w.carry = 1;
        }
        if (bound > kLimit || bound < -kLimit || (std::abs(step) + 1) * rows > kLimit) {
            setup_ = &s;
            return;
        }
        w.bound = static_cast<s32>(bound);
        if (e.gx > 0)
            edges_[lefts_++] = w;
        else
            rights[right_count++] = w;
    }
    count_ = lefts_;
    for (int i = 0; i < right_count; ++i)
        edges_[count_++] = rights[i];
}

bool SetupLine(const DrawEnv& env, const Vertex& v0, const Vertex& v1, LineSetup& s)
{
    s.x0 = WindowX(env, v0);
    s.y0 = WindowY(env, v0);
    s.x1 = WindowX(env, v1);
    s.y1 = WindowY(env, v1);
    s.x_major = std::abs(s.x1 - s.x0) >= std::abs(s.y1 - s.y0);
    s.first = NearestPixel(s.x_major ? s.x0 : s.y0);
    s.last = NearestPixel(s.x_major ? s.x1 : s.y1);
    if (s.first == s.last)
        return false;
    VertexAttributes(v0, s.a0);
    VertexAttributes(v1, s.a1);
    s.flat = !env.prim.iip;
    s.flat_color = UnpackColor(v1.rgba);
    return true;
}

namespace {

// The triangle's bounding box inside the scissor, as SetupTriangle finds it;
// false when SetupTriangle would find no area or no pixel.
bool TriangleBox(const DrawEnv& env, const Vertex* v, PixelBox& box)
{
    const s64 x0 = WindowX(env, v[0]), x1 = WindowX(env, v[1]), x2 = WindowX(env, v[2]);
    const s64 y0 = WindowY(env, v[0]), y1 = WindowY(env, v[1]), y2 = WindowY(env, v[2]);
    if ((x1 - x0) * (y2 - y0) == (y1 - y0) * (x2 - x0))
        return false;
    box.px_begin = std::max(static_cast<s32>(CeilDiv(std::min({x0, x1, x2}), 16)), env.scax0);
    box.px_end = std::min(static_cast<s32>(FloorDiv(std::max({x0, x1, x2}), 16)) + 1, env.scax1 + 1);
    box.py_begin = std::max(static_cast<s32>(CeilDiv(std::min({y0, y1, y2}), 16)), env.scay0);
    box.py_end = std::min(static_cast<s32>(FloorDiv(std::max({y0, y1, y2}), 16)) + 1, env.scay1 + 1);
    return box.px_begin < box.px_end && box.py_begin < box.py_end;
}

}  // namespace

void DrawPrimitive(PrimType type, const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const Vertex* v)
{
    if (env.prim.aa1 && !g_aa1_reported) {
        g_aa1_reported = true;
        Trace("gs", "PRIM AA1 (antialiasing) is ignored");
    }
    switch (type) {
    case PrimType::kPoint: SetupPoint(env, v[0], memory, clut); return;
    case PrimType::kLine:
    case PrimType::kLineStrip: {
        LineSetup line;
        if (SetupLine(env, v[0], v[1], line))
            RasterizeLine(env, line, memory, clut);
        return;
    }
    case PrimType::kTriangle:
    case PrimType::kTriangleStrip:
    case PrimType::kTriangleFan: {
        // Only the box here: the triangle is set up where it is drawn.
        PixelBox box;
        if (TriangleBox(env, v, box))
            RasterizeTriangleVertices(env, v, box, memory, clut);
        return;
    }
    case PrimType::kSprite: {
        SpriteSetup sprite;
        if (SetupSprite(env, v[0], v[1], sprite))
            RasterizeSprite(env, sprite, memory, clut);
        return;
    }
    case PrimType::kReserved: return;
    }
}

void ResetSetupReports()
{
    g_aa1_reported = false;
}

}  // namespace console::gs
