#include "ZevEngine2/Utilities/Occlusion.h"

#include <vu/vu0.h>

#include "ZevEngine2/PS2/RenderContext.h"
#include "game/VU0OcclusionMicro.h"

Vector Occlusion::vCheat(0.0f, 0.0f, 0.0004f, 0.0f);
Matrix Occlusion::matWToS(true);
s16 Occlusion::iFreeSize;
s16 Occlusion::iLinkedSize;
bool Occlusion::bSkipOcclusion;
OcclusionEdge* Occlusion::poeFree;
OcclusionEdge* Occlusion::poeHead;
OcclusionEdge Occlusion::rgocPool[Occlusion::POOLSIZE];

namespace {

// The levelled camera's x is narrowed so that the occlusion screen's -1 .. 1
// reaches a little beyond the camera's own view on both sides.
constexpr float kWidthScale = 0.7575758f;
// No occlusion when the camera looks more steeply than this up or down.
constexpr float kSteepForward = 0.95f;

// (x, y, w) determinant of three homogeneous points: its sign is the
// triangle's facing, right also for corners behind the eye.  Negative when
// the triangle faces the eye.
float Det(const Vector& a, const Vector& b, const Vector& c)
{
    return a[0] * (b[1] * c[3] - c[1] * b[3]) - a[1] * (b[0] * c[3] - c[0] * b[3]) +
           a[3] * (b[0] * c[1] - c[0] * b[1]);
}

float Cross2(const Vector& a, const Vector& b, const Vector& c)
{
    return (b[0] - a[0]) * (c[1] - b[1]) - (b[1] - a[1]) * (c[0] - b[0]);
}

// The point of a-b at x (a.x != b.x).
Vector AtX(const Vector& a, const Vector& b, float x)
{
    return a + (b - a) * ((x - a[0]) / (b[0] - a[0]));
}

// Orders p0, p1 by x and moves ends beyond x = +-1 onto the border; false
// when no part of the edge lies within -1 .. 1.
bool ClipToScreen(Vector& p0, Vector& p1)
{
    if (p1[0] < p0[0])
        std::swap(p0, p1);
    if (p1[0] < -1.0f || p0[0] > 1.0f)
        return false;
    if (p0[0] < -1.0f)
        p0 = AtX(p0, p1, -1.0f);
    if (p1[0] > 1.0f)
        p1 = AtX(p0, p1, 1.0f);
    return true;
}

bool Finite(const Vector& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

// --------------------------------------------------------- the edge region

OcclusionEdgeMat::Cut OcclusionEdgeMat::Classify(const Vector& a, const Vector& b, float& lo, float& hi) const
{
    const Vector va = a + row[0] * a[0] + row[1];
    const Vector vb = b + row[0] * b[0] + row[1];
    if (!Finite(va) || !Finite(vb))
        return CUT_PASS;   // nothing is hidden by what cannot be measured
    auto left = [](const Vector& v) { return v[0] < -0.5f; };
    auto right = [](const Vector& v) { return v[0] > 0.5f; };
    auto above = [](const Vector& v) { return v[1] < -0.5f; };
    auto front = [](const Vector& v) { return v[2] < -0.5f; };
    if ((right(va) && right(vb)) || (above(va) && above(vb)) || (front(va) && front(vb)))
        return CUT_PASS;
    auto hidden = [&](const Vector& v) { return !left(v) && !right(v) && !above(v) && !front(v); };
    if (hidden(va) && hidden(vb))
        return CUT_HIDDEN;
    if (left(va))
    {
        lo = vb[0] > va[0] ? std::min(1.0f, (-0.5f - va[0]) / (vb[0] - va[0])) : 1.0f;
        return CUT_LEFT;
    }
    // Each condition of the region is g >= 0 for a g linear along a-b; the
    // hidden part is where all of them hold.
    lo = 0.0f;
    hi = 1.0f;
    const float g[4][2] = {{va[0] + 0.5f, vb[0] + 0.5f},
                           {0.5f - va[0], 0.5f - vb[0]},
                           {va[1] + 0.5f, vb[1] + 0.5f},
                           {va[2] + 0.5f, vb[2] + 0.5f}};
    for (const auto& c : g)
    {
        if (c[0] < 0.0f && c[1] < 0.0f)
            return CUT_PASS;
        if (c[0] < 0.0f)
            lo = std::max(lo, c[0] / (c[0] - c[1]));
        else if (c[1] < 0.0f)
            hi = std::min(hi, c[0] / (c[0] - c[1]));
    }
    if (!(lo <= hi))
        return CUT_PASS;
    if (lo <= 0.0f && hi >= 1.0f)
        return CUT_HIDDEN;
    return CUT_PARTIAL;
}

// ------------------------------------------------------------- frame set-up

void Occlusion::Clear()
{
    iFreeSize = POOLSIZE;
    iLinkedSize = 0;
    for (int i = 0; i < POOLSIZE; i++)
        rgocPool[i].SetNext(i + 1 < POOLSIZE ? &rgocPool[i + 1] : nullptr);
    poeFree = &rgocPool[0];
    poeHead = nullptr;
    bSkipOcclusion = false;
    reinterpret_cast<Vector*>(vu0_data)[0].setwcomponent(0);
}

void Occlusion::Init(const RenderContext& rc)
{
    const Vector forward = rc.view_world.z;
    VectorDir f(forward[0], 0.0f, forward[2]);
    Matrix m = LookAlong(f);
    m.w = Vector(rc.view_world.w.xyz(), 1.0f);
    matWToS = VU0MatrixInverseAffine(m) * rc.view_cull;
    matWToS.Scale(VectorXYZ(kWidthScale, 1.0f, 1.0f));
    bSkipOcclusion = std::fabs(forward[1]) > kSteepForward;
    VU0::UploadCustomMicrocode(VU0MicrocodeOcclusion, VU0MicrocodeOcclusion + VU0OCCLUSION_INSTRUCTIONS);
}

// --------------------------------------------------------------- projection

int Occlusion::Project(const Matrix& mat, const Vector* corners, int n, Vector* out, bool* front)
{
    Vector h[MAXCORNERS];
    n = std::min(n, int(MAXCORNERS));
    for (int i = 0; i < n; i++)
        h[i] = mat * Vector(corners[i].xyz(), 1.0f);

    if (front)
    {
        // Seen from the front when some corner turns the outline the front's
        // way; a polygon seen from behind turns the other way at every one.
        *front = false;
        for (int i = 0; i < n && !*front; i++)
            *front = -Det(h[(i + n - 2) % n], h[(i + n - 1) % n], h[i]) > 0.0f;
    }

    // Clip at the near plane (z >= -w), then divide.
    int m = 0;
    for (int i = 0; i < n; i++)
    {
        const Vector& a = h[i];
        const Vector& b = h[(i + 1) % n];
        const float da = a[2] + a[3], db = b[2] + b[3];
        if (da >= 0.0f)
            out[m++] = a;
        if ((da >= 0.0f) != (db >= 0.0f))
            out[m++] = a + (b - a) * (da / (da - db));
    }
    for (int i = 0; i < m; i++)
    {
        const float w = out[i][3];
        out[i] = Vector(out[i][0] / w, out[i][1] / w, out[i][2] / w, 1.0f);
    }
    return m;
}

float Occlusion::Winding(const Vector* pts, int n, bool area)
{
    float w = Cross2(pts[0], pts[1], pts[2]);
    if (w == 0.0f && area)
    {
        for (int i = 1; i + 1 < n; i++)
            w += Cross2(pts[0], pts[i], pts[i + 1]);
    }
    return w;
}

// ---------------------------------------------------------------- occluders

void Occlusion::AddOccluder(Occluder& occ)
{
    if (iLinkedSize >= MAXLINKED || bSkipOcclusion)
        return;
    const int n = occ.Count();
    if (n < 3 || n > MAXCORNERS)
        return;
    Vector corners[MAXCORNERS];
    for (int i = 0; i < n; i++)
        corners[i] = Vector((&occ)[i].corner.xyz(), 1.0f);
    Vector pts[2 * MAXCORNERS];
    bool front = false;
    const int m = Project(matWToS, corners, n, pts, &front);
    if (!front || m < 3)
        return;

    float minx = 99999.0f;
    for (int i = 0; i < m; i++)
        minx = std::min(minx, pts[i][0]);
    OcclusionEdge* start = FindStartCheckEntry(minx);

    // The outline's top edges: those running the winding's way in x.
    const float winding = Winding(pts, m, true);
    if (winding == 0.0f)
        return;
    for (int i = 0, prev = m - 1; i < m; prev = i++)
    {
        if ((pts[i][0] - pts[prev][0]) * winding >= 0.0f)
            bCheckOcclusionEdge(pts[prev], pts[i], true, start);
    }
}

OcclusionEdge* Occlusion::FindStartCheckEntry(float x)
{
    OcclusionEdge* last = nullptr;
    for (OcclusionEdge* e = poeHead; e != nullptr && e->vPt1[0] <= x; e = e->Next())
        last = e;
    return last;
}

int Occlusion::bCheckOcclusionEdge(Vector p0, Vector p1, bool add, OcclusionEdge* start)
{
    if (!add)
        return bCheckOcclusionEdgeVU0(p0, p1);
    const int changed = bCheckOcclusionEdgeNew(p0, p1, start);
    if (changed)
        Mirror();
    return changed;
}

void Occlusion::Mirror()
{
    Vector* mem = reinterpret_cast<Vector*>(vu0_data);
    int k = 0;
    for (OcclusionEdge* e = poeHead; e != nullptr; e = e->Next(), k++)
    {
        mem[2 * k] = e->Mat.row[0];
        mem[2 * k + 1] = e->Mat.row[1];
    }
    mem[0].setwcomponent(2 * k);
}

// The stored edges hide parts of the new one: only what they leave visible is
// worth storing.  Pieces of the new edge (as parameters along it) are walked
// through the list; the new edge becomes the span from the first to the last
// visible piece, which loses nothing, since a part hidden by a stored edge
// hides nothing that edge does not.
int Occlusion::bCheckOcclusionEdgeNew(Vector p0, Vector p1, OcclusionEdge* start)
{
    if (!Finite(p0) || !Finite(p1) || !ClipToScreen(p0, p1))
        return 0;
    p0 += vCheat;
    p1 += vCheat;

    struct Piece
    {
        float s0, s1;
        OcclusionEdge* edge;
    };
    Piece stack[PIECESTACK];
    int depth = 0;
    float vis0 = 2.0f, vis1 = -1.0f;
    auto visible = [&](float s0, float s1) {
        vis0 = std::min(vis0, s0);
        vis1 = std::max(vis1, s1);
    };
    auto at = [&](float s) { return p0 + (p1 - p0) * s; };

    Piece cur{0.0f, 1.0f, start ? start : poeHead};
    for (;;)
    {
        bool done = false;
        if (cur.edge == nullptr)
        {
            visible(cur.s0, cur.s1);
            done = true;
        }
        else
        {
            float lo = 0.0f, hi = 1.0f;
            const float len = cur.s1 - cur.s0;
            OcclusionEdge* next = cur.edge->Next();
            switch (cur.edge->Mat.Classify(at(cur.s0), at(cur.s1), lo, hi))
            {
            case OcclusionEdgeMat::CUT_PASS:
                cur.edge = next;
                break;
            case OcclusionEdgeMat::CUT_HIDDEN:
                done = true;
                break;
            case OcclusionEdgeMat::CUT_LEFT:
                // Left of the span nothing further can hide it; the rest is
                // looked at against this edge again.
                visible(cur.s0, cur.s0 + lo * len);
                if (lo >= 1.0f)
                    done = true;
                else if (!(cur.s0 + lo * len > cur.s0))
                    // No step forward (a cut at the span's start, or one too
                    // small to move it): looking again would find the same
                    // cut for ever, so the rest goes on past this edge.
                    cur.edge = next;
                else
                    cur.s0 += lo * len;
                break;
            case OcclusionEdgeMat::CUT_PARTIAL:
            {
                const float h0 = cur.s0 + lo * len, h1 = cur.s0 + hi * len;
                if (hi < 1.0f)
                {
                    if (depth < PIECESTACK)
                        stack[depth++] = Piece{h1, cur.s1, next};
                    else
                        visible(h1, cur.s1);   // no room to look further: kept
                }
                if (lo > 0.0f)
                    cur = Piece{cur.s0, h0, next};
                else
                    done = true;
                break;
            }
            }
        }
        if (done)
        {
            if (depth == 0)
                break;
            cur = stack[--depth];
        }
    }
    if (vis0 > vis1 || poeFree == nullptr)
        return 0;

    OcclusionEdge* e = poeFree;
    poeFree = e->Next();
    iFreeSize--;
    const Vector a = at(vis0), b = at(vis1);
    e->vPt0 = Vector(a[0], a[1], a[2], 0.0f);
    e->vPt1 = Vector(b[0], b[1], b[2], 0.0f);
    const float dx = b[0] - a[0];
    e->vM = dx != 0.0f ? (e->vPt1 - e->vPt0) * (1.0f / dx) : Vector::null();
    e->vM.setw(0.0f);
    e->vB = e->vPt0 - e->vM * a[0];
    e->vB.setx(0.0f);
    e->vB.setw(0.0f);

    // The test region, widened a little outwards and downwards and moved a
    // little nearer.
    const Vector l = e->vPt0 + Vector(-EDGEWIDEN, EDGEWIDEN, -EDGENEARER, 0.0f);
    const Vector r = e->vPt1 + Vector(EDGEWIDEN, EDGEWIDEN, -EDGENEARER, 0.0f);
    const Vector d = r - l;
    e->Mat.row[0] = Vector(1.0f / d[0] - 1.0f, -d[1] / d[0], -d[2] / d[0], 0.0f);
    e->Mat.row[1] = Vector(-l[0] / d[0] - 0.5f, (r[1] * l[0] - l[1] * r[0]) / d[0] - 0.5f,
                           (r[2] * l[0] - l[2] * r[0]) / d[0] - 0.5f, 0.5f);

    // Linked before the first edge further right.
    OcclusionEdge* prev = nullptr;
    for (OcclusionEdge* s = start ? start : poeHead; s != nullptr && s->vPt0[0] <= a[0]; s = s->Next())
        prev = s;
    if (prev == nullptr)
    {
        e->SetNext(poeHead);
        poeHead = e;
    }
    else
    {
        e->SetNext(prev->Next());
        prev->SetNext(e);
    }
    iLinkedSize++;
    return 1;
}

int Occlusion::bCheckOcclusionEdgeVU0(Vector p0, Vector p1)
{
    if (!ClipToScreen(p0, p1))
        return 0;
    return VU0OcclusionMicro(p0, p1);
}

// -------------------------------------------------------------------- tests

bool Occlusion::bIsOccluded(const Matrix& mat, Vector* corners, bool bAllEdges)
{
    if (bSkipOcclusion)
        return false;
    Vector pts[8];
    const int n = Project(mat, corners, 4, pts, nullptr);
    if (n < 3)
        return true;
    const float winding = bAllEdges ? 0.0f : Winding(pts, n, false);
    for (int i = 0, prev = n - 1; i < n; prev = i++)
    {
        if (bAllEdges || (pts[i][0] - pts[prev][0]) * winding >= 0.0f)
        {
            if (bCheckOcclusionEdge(pts[prev], pts[i], false, nullptr))
                return false;
        }
    }
    return true;
}

bool Occlusion::bIsOccluded(const Cuboid& box, bool bAllEdges)
{
    Vector corners[4] = {Vector(box.min[0], box.min[1], box.min[2], 1.0f),
                         Vector(box.min[0], box.min[1], box.max[2], 1.0f),
                         Vector(box.max[0], box.min[1], box.max[2], 1.0f),
                         Vector(box.max[0], box.min[1], box.min[2], 1.0f)};
    return bIsOccluded(matWToS, corners, bAllEdges);
}

bool Occlusion::bIsOccluded(const Matrix& mat, const Cuboid& box, bool bAllEdges)
{
    return bIsOccluded(box.GetBox(mat), bAllEdges);
}
