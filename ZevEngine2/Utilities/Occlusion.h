// Occlusion by screen-space occluder edges.  Each frame the city's visibility
// pass (nearest cells first) feeds the occluder polygons it meets to the one
// Occlusion; their silhouette edges are kept in a list sorted by x, and later
// boxes (cells, quad-tree nodes, objects) are tested against that list and
// skipped when hidden.
//
// The screen is the camera's projection levelled: the camera's forward
// direction is flattened to the horizontal, so the stored edges form a
// skyline that does not depend on the camera's pitch.  An edge hides the
// region below it (y grows downwards) within its x span and behind its depth.
// Only the edges on the top of an outline are stored or tested, which is
// what makes a skyline: everything under a building's roof line and behind it
// is taken as hidden.
//
// The per-edge test runs as vector-unit-0 code (VU0OcclusionMicro, uploaded
// by Init each frame) against the edges' test data, which is mirrored into
// VU0 data memory whenever the list changes: quadword 0's w word holds
// 2 x the number of edges, edge k's two rows (OcclusionEdgeMat) lie at
// quadwords 2k and 2k + 1, and the routine keeps its stack of pieces still to
// test from quadword 256 downwards.
//
// Facing: an occluder takes part only when it is seen from its front, which
// is the side its corners appear counter-clockwise on the screen (y down);
// that is, (c1 - c0) x (c2 - c0) points towards the eye, as for triangles.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Vector.h"

class RenderContext;

// One corner of an occluder polygon, as stored in model and city files.  A
// polygon is a run of corners; the first one's w word holds the number of
// corners n as an integer, and the next polygon starts right after them.
struct Occluder
{
    VectorPos corner;

    // The number of corners of the polygon this record starts.
    int Count() const { return corner.wcomponent(); }
    // The polygon after this one (a list is walked by a count of polygons).
    Occluder* Next() { return this + std::max(Count(), 1); }
};
static_assert(sizeof(Occluder) == 16, "occluder records are read from files");

// The two quadwords the vector-unit routine reads for one edge.  For a point
// P, P + row0 x P.x + row1 is (t - 0.5, (P.y - line y) - 0.5, (P.z - line z) -
// 0.5), t being P's place along the edge's (widened) x span from 0 to 1; a
// clip test of it against +-0.5 says at once whether P lies left of the span,
// right of it, above the line (not hidden) or in front of the edge's depth
// (not hidden).
struct OcclusionEdgeMat
{
    Vector row[2];

    // How the segment a-b (a.x <= b.x) lies against this edge's region.
    enum Cut
    {
        CUT_PASS,      // no part of it is hidden by this edge
        CUT_HIDDEN,    // all of it is hidden
        CUT_LEFT,      // a lies left of the span: that part can never be hidden
        CUT_PARTIAL,   // the part from lo to hi (0 <= lo <= hi <= 1 along a-b) is hidden
    };
    // Classifies a-b; for CUT_LEFT, lo is where the segment enters the span
    // (1 when it never does); for CUT_PARTIAL lo and hi bound the hidden part.
    Cut Classify(const Vector& a, const Vector& b, float& lo, float& hi) const;
};
static_assert(sizeof(OcclusionEdgeMat) == 32, "mirrored into vector-unit memory");

// One stored silhouette edge in occlusion-screen space.
struct OcclusionEdge
{
    Vector vPt0;     // left end (x, y, z); its w word links to the next edge of a list
    Vector vPt1;     // right end
    Vector vM;       // (vPt1 - vPt0) / (vPt1.x - vPt0.x), zero when the two x are equal
    Vector vB;       // vPt0 - vM x vPt0.x with x = 0: the line's y and z at x = 0
    OcclusionEdgeMat Mat;

    OcclusionEdge* Next() const
    {
        OcclusionEdge* n;
        const int w = vPt0.wcomponent();
        std::memcpy(&n, &w, sizeof n);
        return n;
    }
    void SetNext(OcclusionEdge* n)
    {
        int w;
        std::memcpy(&w, &n, sizeof w);
        vPt0.setwcomponent(w);
    }
};
static_assert(sizeof(OcclusionEdge) == 96 && sizeof(OcclusionEdge*) == 4, "the link lives in a w word");

class Occlusion
{
public:
    static constexpr int POOLSIZE = 66;        // edges there are
    static constexpr int MAXLINKED = 50;       // no occluder is added once this many edges are stored
    static constexpr int MAXCORNERS = 64;      // occluders with more corners are not used
    static constexpr int PIECESTACK = 32;      // pieces pending while an edge is inserted
    static constexpr float OCCCENTER = 0.0f;
    static constexpr float OCCWIDTH = 1.0f;
    static constexpr float NEARCLIP = 0.1f;
    // Widening of an edge's test region: 1/640 outwards in x and downwards in
    // y, and a little nearer in z.
    static constexpr float EDGEWIDEN = 0.0015625f;
    static constexpr float EDGENEARER = 1.5625e-7f;
    // Moves a new edge's ends back in depth before it is compared and stored.
    static Vector vCheat;

    static Matrix matWToS;           // world to occlusion screen
    static s16 iFreeSize;            // edges in the free list
    static s16 iLinkedSize;          // edges in the active list
    static bool bSkipOcclusion;      // nothing occludes this frame
    static OcclusionEdge* poeFree;   // free list
    static OcclusionEdge* poeHead;   // active list, sorted by vPt0.x
    static OcclusionEdge rgocPool[POOLSIZE];

    // Empties the list (start of the visibility pass, and at start-up).
    static void Clear();
    // The frame's levelled projection from rc's camera and projection, and
    // the vector-unit routine uploaded.  Looking nearly straight up or down
    // (|forward.y| > 0.95) turns occlusion off for the frame.
    static void Init(const RenderContext& rc);
    // Adds the silhouette edges of the polygon that starts at occ.  Nothing is
    // added once MAXLINKED edges are stored, when occlusion is off, for a
    // polygon seen from behind, and for one that is degenerate (fewer than
    // three corners on screen, no area) or has more than MAXCORNERS corners.
    static void AddOccluder(Occluder& occ);
    // True when the box (its top face: y = min.y) is hidden.  bAllEdges tests
    // every edge of the face instead of only its top outline.  A face wholly
    // behind the camera counts as hidden; with occlusion off nothing is.
    static bool bIsOccluded(const Cuboid& box, bool bAllEdges);
    // The same for a box placed by mat (tested as its world-aligned bound).
    static bool bIsOccluded(const Matrix& mat, const Cuboid& box, bool bAllEdges);
    // Four world-space corners (w = 1) of a polygon projected with mat (the
    // callers pass matWToS).
    static bool bIsOccluded(const Matrix& mat, Vector* corners, bool bAllEdges);

    // The last edge whose right end lies at or left of x (null when the first
    // one already reaches past it): where an insertion starts.
    static OcclusionEdge* FindStartCheckEntry(float x);
    // add: inserts the edge p0-p1 (screen space) and mirrors the list into
    // vector-unit memory when it changed; returns 1 when an edge was stored.
    // Otherwise returns non-zero when some part of p0-p1 is hidden by no
    // stored edge.
    static int bCheckOcclusionEdge(Vector p0, Vector p1, bool add, OcclusionEdge* start);
    static int bCheckOcclusionEdgeNew(Vector p0, Vector p1, OcclusionEdge* start);
    static int bCheckOcclusionEdgeVU0(Vector p0, Vector p1);

private:
    // The n corners (n <= MAXCORNERS) through mat as points, clipped at the
    // near plane and divided by w, into out (room for 2n points); returns how
    // many there are.  front, when given, is set to whether the polygon is
    // seen from its front.
    static int Project(const Matrix& mat, const Vector* corners, int n, Vector* out, bool* front);
    // The 2-D winding of a projected polygon: the cross product of its first
    // two edges; with `area`, its signed area when those are in line (0 then
    // means the polygon has no area at all).
    static float Winding(const Vector* pts, int n, bool area);
    // Writes every stored edge's rows into vector-unit memory.
    static void Mirror();
};
