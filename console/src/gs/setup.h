// Primitive set-up: vertices in primitive coordinates become a primitive in
// window coordinates (XYOFFSET subtracted, 12.4 fixed point), clipped to the
// scissor rectangle, with the attributes the rasterizer steps.  One function
// per primitive kind.
#pragma once

#include <ee/types.h>
#include <emmintrin.h>

#include <algorithm>

#include "gs/clut.h"
#include "gs/color.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/regs.h"

namespace console::gs {

// What a sprite needs for its pixels.  Pixel (px, py) is covered when
// min(x0, x1) <= 16 px < max(x0, x1), likewise in y; texture coordinates step
// linearly from the first vertex to the second.
struct SpriteSetup {
    s32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // window coordinates in 1/16 pixel
    // Covered pixels inside the scissor: [px_begin, px_end) x [py_begin, py_end).
    s32 px_begin = 0, px_end = 0, py_begin = 0, py_end = 0;
    // UV primitives: U, V in 1/16 texel at the two vertices.
    s32 u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    // STQ primitives: S, T at the two vertices and the second vertex's Q.
    float s0 = 0, s1 = 0, t0 = 0, t1 = 0, q = 1;
    // Colour, Z and fog come from the second vertex.
    Color color;
    u32 z = 0;
    u32 fog = 0;
};

// Fills `setup` for the sprite (v0, v1); false when it covers no pixel.
bool SetupSprite(const DrawEnv& env, const Vertex& v0, const Vertex& v1, SpriteSetup& setup);

// The attributes a triangle, line or point carries to its pixels.  Colour
// channels 0..255, Z as an unsigned 32-bit value, fog 0..255, S, T, Q as
// written, U, V in 1/16 texel.
enum Attribute : int { kAttrR, kAttrG, kAttrB, kAttrA, kAttrZ, kAttrF, kAttrS, kAttrT, kAttrQ, kAttrU, kAttrV };
inline constexpr int kAttributeCount = 11;

// One attribute over the plane of a triangle, in double precision, taken
// from the first vertex so that a pixel on a vertex gets the vertex's value
// exactly: value(px, py) = a0 + gx (16 px - x0) + gy (16 py - y0), the
// gradients per 1/16 pixel.  Left unset until SetupTriangle fills it: a
// set-up is made for every triangle drawn, and fills only the planes its
// state reads (the colour channels under Gouraud shading, Z and fog, S, T and
// Q or U and V when textured) and Q's a0, which picks the level of detail.
struct AttributePlane {
    double a0;
    double gx;
    double gy;
    s32 x0, y0;

    double At(s32 px, s32 py) const { return a0 + gx * (16 * px - x0) + gy * (16 * py - y0); }
};

// Two attribute planes in the lanes of a register (lane 0 the first), each
// lane exactly the AttributePlane SetupTriangle makes, the first vertex
// their origin.  At evaluates them at a row's first pixel as
// AttributePlane::At does: (a0 + gx X) + gy Y, X and Y the offsets from the
// origin in 1/16 pixel.
struct PlanePair {
    __m128d a0, gx, gy;

    __m128d At(__m128d x, __m128d gy_y) const { return _mm_add_pd(_mm_add_pd(a0, _mm_mul_pd(gx, x)), gy_y); }
};

// The pairs the specialised pipelines read: R G and B A (Gouraud shading),
// Z F, S T or U V (textured), and Q in both lanes (STQ).  Those the state
// does not read are left unset.
struct TrianglePlanes {
    PlanePair rg, ba, zf, st, q;
    s32 x0 = 0, y0 = 0;  // the first vertex, the planes' origin
};

// An edge of a triangle as an integer edge function over window coordinates
// (1/16 pixel): a sample (X, Y) = (16 px, 16 py) is on the inside when
// gx X + gy Y + c >= 0.  The top-left rule is folded into c: a sample exactly
// on an edge counts only when the edge is a left edge (the inside lies to its
// right) or a horizontal top edge (the inside lies below it).
struct EdgeFunction {
    s64 gx = 0;
    s64 gy = 0;
    s64 c = 0;
    // For finding a row's bounds: the crossing of row Y (= 16 py) estimated
    // as slope Y + offset, i.e. -(gy Y + c) / (16 gx) (both 0 when gx is 0).
    double row_slope = 0, row_offset = 0;
    // 1 / |16 gx| (0 when gx is 0), for quotients by it without a division.
    double inv_g = 0;
};

struct TriangleSetup {
    EdgeFunction edges[3];
    // Pixels of the bounding box inside the scissor: [px_begin, px_end) x
    // [py_begin, py_end); each row is cut to its exact span by the edges.
    s32 px_begin = 0, px_end = 0, py_begin = 0, py_end = 0;
    AttributePlane planes[kAttributeCount];
    // Q is the same at every pixel (set up once for the filter choice).
    bool q_constant = true;
    // Flat shading (IIP 0): the colour of the vertex that completed the
    // triangle; Gouraud shading interpolates the channel planes instead.
    bool flat = false;
    Color flat_color;
};

// Fills `setup` for the triangle (v0, v1, v2), v2 being the vertex that
// completed it; false when it has no area or covers no pixel in the scissor.
bool SetupTriangle(const DrawEnv& env, const Vertex& v0, const Vertex& v1, const Vertex& v2, TriangleSetup& setup);

class TriangleRowWalker;

// SetupTriangle for the specialised pipelines, whose triangles have a box
// with pixels, [px_begin, px_end) x [py_begin, py_end) as SetupTriangle
// finds it: the walker placed on row py_begin, as one made from
// SetupTriangle's edges and box, and the plane pairs, each the same as
// SetupTriangle's.  False when the triangle has no area.
bool SetupTriangleWalkerAndPlanes(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                                  s32 py_end, TriangleRowWalker& walker, TrianglePlanes& planes);
// The same when ActiveSimdLevel() is known to be kAvx2 or above.
bool SetupTriangleWalkerAndPlanesAvx2(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end, s32 py_begin,
                                      s32 py_end, TriangleRowWalker& walker, TrianglePlanes& planes);

// The first pixel of row `py` inside the triangle and the one after the last:
// [begin, end), already cut to the scissor.  Empty when begin >= end.
void TriangleRowSpan(const TriangleSetup& setup, s32 py, s32& begin, s32& end);

// TriangleRowSpan for rows taken in order: each sloped edge's bound on the
// row is kept as an exact quotient and remainder and moved to the next row
// with a few additions, and each level edge becomes the range of rows it lets
// through, where TriangleRowSpan settles every row anew.  The same spans, row
// for row.
class TriangleRowWalker {
public:
    // Placed on row `py`.
    TriangleRowWalker(const TriangleSetup& setup, s32 py);
    // Not placed yet: for SetupTriangleWalkerAndPlanes to place, from a
    // triangle's edges and box, with no set-up to settle rows alone: such a
    // walker must not be used (see SettlesRowsAlone).
    TriangleRowWalker() = default;

    // True when rows are settled from the set-up it was made from, which
    // must then outlive it: when a bound could leave the 32-bit range.
    bool SettlesRowsAlone() const { return alone_; }

    // The current row's span, then on to the next row.
    void Span(s32& begin, s32& end) const
    {
        if (setup_) {
            TriangleRowSpan(*setup_, py_, begin, end);
            return;
        }
        SpanOfBounds(begin, end);
        if (py_ < first_row_ || py_ > last_row_)
            end = begin;
    }

    // Rows before FirstRow() and after LastRow() are empty: level edges
    // keep them out.
    s32 FirstRow() const { return first_row_; }
    s32 LastRow() const { return last_row_; }

    // Span for a row in [FirstRow(), LastRow()].
    void SpanInRows(s32& begin, s32& end) const
    {
        if (setup_) {
            TriangleRowSpan(*setup_, py_, begin, end);
            return;
        }
        SpanOfBounds(begin, end);
    }

    void Next()
    {
        ++py_;
        // rest + step_rest lies in [0, 2g): one carry at most.
        const __m128i r = _mm_add_epi32(rest_, step_rest_);
        const __m128i no_carry = _mm_cmpgt_epi32(g_, r);
        rest_ = _mm_sub_epi32(r, _mm_andnot_si128(no_carry, g_));
        bound_ = _mm_add_epi32(bound_, _mm_add_epi32(step_, _mm_andnot_si128(no_carry, carry_)));
    }

private:
    // The sloped edges' bounds and the box's columns, two lanes each side:
    // the first pixel inside on the left, and minus the last pixel inside
    // on the right, so that both sides take the greatest of their lanes.
    void SpanOfBounds(s32& begin, s32& end) const
    {
        auto max = [](__m128i a, __m128i b) __attribute__((always_inline)) {
            const __m128i gt = _mm_cmpgt_epi32(a, b);
            return _mm_or_si128(_mm_and_si128(gt, a), _mm_andnot_si128(gt, b));
        };
        const __m128i m = max(max(bound_, _mm_shuffle_epi32(bound_, _MM_SHUFFLE(2, 3, 0, 1))), box_);
        begin = _mm_cvtsi128_si32(m);
        end = std::max(begin, 1 - _mm_cvtsi128_si32(_mm_shuffle_epi32(m, _MM_SHUFFLE(2, 2, 2, 2))));
    }

    // Four edges in the lanes: two left edges, then two right ones.  A
    // triangle has one or two of each; the place of a missing one holds a
    // bound that never moves.
    __m128i bound_;      // the first (left edges) or minus the last (right edges) pixel inside
    __m128i rest_;       // the remainder of that division, 0 <= rest < g
    __m128i g_;          // |16 gx|
    __m128i step_;       // the bound's move from one row to the next without a carry
    __m128i carry_;      // and the further move with one
    __m128i step_rest_;
    __m128i box_;        // the box's first column twice, then minus its last twice
    s32 py_;
    s32 first_row_, last_row_;  // the rows level edges let through
    // Set when a bound could leave the 32-bit range: rows are settled alone
    // from setup_.
    bool alone_ = false;
    const TriangleSetup* setup_ = nullptr;

    template <typename Edge>
    void Place(const Edge (&edges)[3], s32 px_begin, s32 px_end, s32 py_end, s32 py);

    friend bool SetupTriangleWalkerAndPlanes(const DrawEnv& env, const Vertex* v, s32 px_begin, s32 px_end,
                                             s32 py_begin, s32 py_end, TriangleRowWalker& walker,
                                             TrianglePlanes& planes);
    // Places walkers from edges set up in vector registers.
    friend struct WalkerFromVectors;
};

// A line walked along its major axis: the pixels whose sample position on
// that axis runs from the rounded first vertex up to, not including, the
// rounded second one, each at the rounded position of the line on the minor
// axis.  Attributes are interpolated along the major axis; flat lines take the
// second vertex's colour.
struct LineSetup {
    s32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // window coordinates in 1/16 pixel
    bool x_major = true;
    s32 first = 0;  // major-axis pixel of the first vertex
    s32 last = 0;   // major-axis pixel of the second vertex (not drawn)
    double a0[kAttributeCount] = {};
    double a1[kAttributeCount] = {};
    bool flat = false;
    Color flat_color;
};

bool SetupLine(const DrawEnv& env, const Vertex& v0, const Vertex& v1, LineSetup& setup);

// The attributes of one vertex, as the planes and lines carry them.
void VertexAttributes(const Vertex& v, double* out);

// Draws one primitive of `type` whose vertices are `v[0..n)` (n as the type
// needs: 1, 2 or 3).
void DrawPrimitive(PrimType type, const DrawEnv& env, LocalMemory& memory, const ClutBuffer& clut, const Vertex* v);

// Lets the once-per-run AA1 report appear again.
void ResetSetupReports();

}  // namespace console::gs
