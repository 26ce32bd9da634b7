// The ground under a position on the road network: road segments, junctions
// (bends, through roads, ordinary junctions with their mouths, kerb corners
// and middle) and ground patches, with the per-object cache that lets a
// moving object start from its last answer.
#include <algorithm>
#include <cmath>

#include "game/Road.h"

GroundTestCounts groundtests;

bool GroundStepAccepts(float pos, float surface, float best)
{
    if (surface < pos)
        return pos < best ? surface > pos - GROUND_STEP : surface > best;
    return pos < best ? surface < best : best < pos - GROUND_STEP;
}

namespace {

constexpr float SEG_TMIN = -0.01f, SEG_TMAX = 1.01f;
constexpr float KERB_TMIN = -0.02f, KERB_TMAX = 1.02f;
constexpr float MOUTH_EDGE = -0.015625f;

const VECTOR* Points(const RoadType* rt) { return reinterpret_cast<const VECTOR*>(rt->vXSect); }

// unit((0, 1, 0) × t): the sideways direction of a road direction t.
VectorDir Side(const VectorDir& t) { return Normalise(VectorDir(t[2], 0.0f, -t[0])); }

// A lateral position found on (part of) a cross-section: the n points from v,
// the segment starting at seg, and the push-back of a wall (0: none).
struct SectionSpot
{
    const VECTOR* v;
    int n;
    const VECTOR* seg;
    float push;
};

// Height, step rule, cache and normal for a lateral position u on a section
// swept along a curve whose height under pos is yc, at parameter t with
// tangent there.  The index word is `index`, or for a road segment (rt given)
// the side of the carriageway u lies on.
bool FinishOnSection(const SectionSpot& at, float u, float yc, float t, const VectorDir& tangent, VectorPos pos,
                     VectorDir* normal, float& height, GHCache* cache, bool writeCache, const RoadType* rt, int index)
{
    const VECTOR* p = at.seg;
    const VECTOR* q = p < at.v + at.n - 1 ? p + 1 : p;
    float h;
    if (at.push == 0.0f) {
        h = q->x == p->x ? p->y : p->y + (q->y - p->y) * (u - p->x) / (q->x - p->x);
    } else {
        h = (at.push < 0.0f ? p : q)->y;
        u = 0.5f * (p->x + q->x);
    }
    const float S = yc + h;
    if (!GroundStepAccepts(pos[1], S, height))
        return false;
    if (cache != nullptr && writeCache) {
        if (rt != nullptr)
            index = u < rt->vXSect[rt->iJuncLeft][0]  ? GHC_LEFTPAVEMENT
                    : u > rt->vXSect[rt->iJunc][0]    ? GHC_RIGHTPAVEMENT
                                                       : GHC_CARRIAGEWAY;
        cache->rsres = Vector(u, yc, t, 0.0f);
        cache->SetDir(tangent);
        cache->SetIndex(index);
    }
    if (normal != nullptr) {
        VectorDir d;
        if (at.push == 0.0f)
            d = Side(tangent) * (q->x - p->x) + VectorDir(0.0f, q->y - p->y, 0.0f);
        else
            d = VectorDir(0.0f, at.push < 0.0f ? -1.0f : 1.0f, 0.0f);
        *normal = Normalise(VectorDir(d ^ tangent));
        if (at.push != 0.0f && cache != nullptr && writeCache)
            cache->SetPenetration(at.push);
    }
    height = S;
    return true;
}

// The sideways offsets of kerb i's ends: the carriageway edges of the roads
// in slots i - 1 and i on the kerb's side.
void KerbOffsets(const Junction* j, int i, float& d0, float& d1)
{
    const int n = j->nRoadsegs;
    const RoadSeg* a = j->roadsegs[(i + n - 1) % n];
    const RoadSeg* b = j->roadsegs[i];
    const Vector* xa = a->type->vXSect;
    const Vector* xb = b->type->vXSect;
    d0 = j->Ends(a) ? xa[a->type->iJunc][0] : -xa[a->type->iJuncLeft][0];
    d1 = j->Ends(b) ? -xb[b->type->iJuncLeft][0] : xb[b->type->iJunc][0];
}

Bezier KerbLine(const Junction* j, int i)
{
    float d0, d1;
    KerbOffsets(j, i, d0, d1);
    return JunctionOffset(j->Kerb(i), d0, d1);
}

// The lateral extent of a mouth: x at u = 0 and u = 1 across the road.
void MouthRange(const Junction* j, const RoadSeg* rs, float& x0, float& x1)
{
    const RoadType* rt = rs->type;
    const float l = rt->vXSect[rt->iJuncLeft][0], r = rt->vXSect[rt->iJunc][0];
    x0 = j->Ends(rs) ? l : r;
    x1 = j->Ends(rs) ? r : l;
}

// A through road's part of a section (points first .. last) swept along
// curve c, whose parameters under pos are (s, yc, t) with tangent: walls when
// the cache allows, the push-back or the segment under s.  False when s is
// off the part and no wall pushed back.
bool ThroughRoad(const Junction* j, const RoadType* rt, int first, int last, bool strict, float s, float yc, float t,
                 const VectorDir& tangent, VectorPos pos, GHCache* cache, SectionSpot& at)
{
    const VECTOR* v = Points(rt) + first;
    const int n = last - first + 1;
    at = SectionSpot{v, n, nullptr, 0.0f};
    const bool on = strict ? (v[0].x < s && s < v[n - 1].x) : (v[0].x <= s && s < v[n - 1].x);
    if (cache != nullptr && (rt->flags & ROADTYPE_KERBWALLS)) {
        const float u0 = cache->Was(j) && cache->GetIndex() == GHC_CARRIAGEWAY
                             ? cache->rsres[0]
                             : cache->GetPrevU(pos, VectorXYZ(s, yc, t), tangent);
        const VECTOR* mid = v + n / 2;
        float pw = u0;
        at.seg = GetXSect(s, v, n, &pw, pos[1] - yc, mid, mid->x < u0);
        at.push = pw;
        return on || at.push != 0.0f;
    }
    if (!on)
        return false;
    at.seg = GetXSect(s, v, n);
    return true;
}

}  // namespace

float GHCache::GetPrevU(VectorPos pos, VectorXYZ res, VectorDir dir) const
{
    if (rsres[3] == 0.0f)
        return res[0] + 1.1f * Dot(VectorXYZ(prevpos - pos), Side(dir));
    float w = rsres[3];
    if (Dot(GetDir(), dir) < 0.0f)
        w = -w;
    w += w < 0.0f ? -0.1f : 0.1f;
    return res[0] + w;
}

// ---------------------------------------------------------------------------
// Ground patches

bool GroundPatch::GetHeight(VectorPos pos, VectorDir* normal, float& height, GHCache* cache) const
{
    groundtests.surfaces++;
    Vector res;
    VectorDir n;
    if (cache != nullptr && cache->Was(this)) {
        if (!patch.CalcParamsNR(pos, res, n, cache->rsres[0], cache->rsres[2]))
            return false;
        if (res[0] < 0.0f || res[0] > 1.0f || res[2] < 0.0f || res[2] > 1.0f)
            return false;
    } else {
        if (!(Length(VectorXYZ(Centre() - pos)) < Radius()))
            return false;
        if (!patch.CalcParams(pos, res, n))
            return false;
        float best = height;
        // Coming off another patch's edge: a surface a step higher is
        // still taken.
        if (cache != nullptr && cache->pgp != nullptr &&
            (cache->rsres[0] < 0.0f || cache->rsres[0] > 1.0f || cache->rsres[2] < 0.0f || cache->rsres[2] > 1.0f))
            best += GROUND_STEP;
        if (!GroundStepAccepts(pos[1], res[1], best))
            return false;
    }
    height = res[1];
    if (normal != nullptr)
        *normal = Normalise(n);
    if (cache != nullptr)
        cache->rsres = Vector(res[0], res[1], res[2], 0.0f);
    return true;
}

// ---------------------------------------------------------------------------
// Road segments

bool RoadSeg::GetHeight(VectorPos pos, VectorDir* normal, float& height, GHCache* cache) const
{
    groundtests.surfaces++;
    const RoadType* rt = type;
    const VECTOR* xs = Points(rt);
    const int ire = rt->iRightEdge;
    const bool cached = cache != nullptr && cache->Was(this);
    VectorDir dir;
    VectorXYZ c;
    float tstart;
    if (cached) {
        tstart = cache->rsres[2];
        c = bezier.CalcParamsNR(pos, dir, tstart);
        if (c[2] < SEG_TMIN || c[2] > SEG_TMAX)
            return false;
    } else {
        if (!ConvexHullCheck(bezier, pos.xz(), rt->Radius()))
            return false;
        c = bezier.CalcParams(pos, dir);
        if (!GroundStepAccepts(pos[1], c[1], height) || c[2] < SEG_TMIN || c[2] > SEG_TMAX)
            return false;
        tstart = c[2];
    }

    // Refined on the centre line moved out to the position.
    VectorDir tangent;
    const VectorXYZ o = RoadSegOffset(bezier, c[0]).CalcParamsNR(pos, tangent, tstart);
    const float u = c[0] + o[0], yc = o[1], t = o[2];

    SectionSpot at{xs, ire + 1, nullptr, 0.0f};
    if (cache != nullptr && (rt->flags & ROADTYPE_KERBWALLS)) {
        const float u0 = cached ? cache->rsres[0] : cache->GetPrevU(pos, VectorXYZ(u, yc, t), tangent);
        if (u0 < xs[0].x) {
            at.push = u0 - xs[0].x;
            at.seg = xs;
        } else if (u0 > xs[ire].x) {
            // The segment that ends at the right edge, whose outer point is
            // the edge.
            at.push = u0 - xs[ire].x;
            at.seg = xs + ire - 1;
        } else {
            const VECTOR* mid = xs + (ire + 1) / 2;
            float pw = u0;
            at.seg = GetXSect(u, xs, ire + 1, &pw, pos[1] - yc, mid, mid->x < u0);
            at.push = pw;
            if ((u < xs[0].x || u >= xs[ire].x) && at.push == 0.0f)
                return false;
        }
    } else {
        if (u < xs[0].x || u >= xs[ire].x)
            return false;
        at.seg = GetXSect(u, xs, ire + 1);
    }
    return FinishOnSection(at, u, yc, t, tangent, pos, normal, height, cache, true, rt, 0);
}

// ---------------------------------------------------------------------------
// Junctions

bool GetHeightKerb(const Junction* j, VectorPos pos, VectorDir* normal, float& height, int i, GHCache* cache)
{
    groundtests.kerbs++;
    const int n = j->nRoadsegs;
    float d0, d1;
    KerbOffsets(j, i, d0, d1);
    const Bezier& kerb = j->Kerb(i);
    VectorDir tangent;
    const VectorXYZ c = JunctionOffset(kerb, d0, d1).CalcParams(pos, tangent);
    float s = c[0];
    const float yc = c[1], t = c[2];
    if (t < KERB_TMIN || t > KERB_TMAX || s < -0.01f)
        return false;
    s = std::max(s, 0.0f);

    // The pavements of the two roads on the corner's side.
    const RoadSeg* a = j->roadsegs[(i + n - 1) % n];
    const RoadSeg* b = j->roadsegs[i];
    const RoadType* ta = a->type;
    const RoadType* tb = b->type;
    auto rightWidth = [](const RoadType* rt) { return rt->vXSect[rt->iRightEdge][0] - rt->vXSect[rt->iJunc][0]; };
    auto leftWidth = [](const RoadType* rt) { return rt->vXSect[rt->iJuncLeft][0] - rt->vXSect[0][0]; };
    const bool aRight = j->Ends(a), bRight = !j->Ends(b);
    const float w0 = aRight ? rightWidth(ta) : leftWidth(ta);
    const float w1 = bRight ? rightWidth(tb) : leftWidth(tb);
    const Vector outer = JunctionOffset(kerb, d0 + w0, d1 + w1).Evaluate(t);
    const Vector inner = JunctionOffset(kerb, d0, d1).Evaluate(t);
    const float W = Length(VectorXYZ((outer - inner).xyz()));

    // Whose section the pavement takes: a marked kind, else the wider road.
    auto differ = [&](u8 bit) { return ((ta->flags ^ tb->flags) & bit) != 0; };
    bool useA;
    if (differ(0x80))
        useA = (ta->flags & 0x80) != 0;
    else if (differ(0x08))
        useA = (ta->flags & 0x08) != 0;
    else
        useA = ta->vXSect[ta->iRightEdge][0] - ta->vXSect[0][0] > tb->vXSect[tb->iRightEdge][0] - tb->vXSect[0][0];
    const RoadType* rt = useA ? ta : tb;
    const bool right = useA ? aRight : bRight;
    const float d = useA ? d0 : d1, w = useA ? w0 : w1;
    float x = W > 0.0f ? d + s * w / W : d;
    VectorDir tan = tangent;
    if (!right) {
        x = -x;
        tan = -tan;
    }
    const VECTOR* xs = Points(rt);
    const int first = right ? rt->iJunc - 1 : 0;
    const int last = right ? rt->iRightEdge : rt->iJuncLeft;
    SectionSpot at{xs + first, last - first + 1, nullptr, 0.0f};
    const VECTOR* pv = at.v;
    const int pn = at.n;

    const int index = GHC_LEFTPAVEMENT + i;
    const bool walls = cache != nullptr && cache->Was(j) && (rt->flags & ROADTYPE_KERBWALLS);
    float u0 = 0.0f;
    if (walls) {
        u0 = cache->rsres[0];
        if (cache->GetIndex() != index) {
            cache->SetIndex(index);
            u0 = right ? pv[0].x - 0.001f : pv[pn - 1].x + 0.001f;
            cache->rsres[0] = u0;
        }
    }
    const VECTOR* start = right ? pv : pv + pn - 1;
    const bool beyond = right ? x >= pv[pn - 1].x : x < pv[0].x;
    if (walls) {
        float pw = u0;
        at.seg = GetXSect(x, pv, pn, &pw, pos[1] - yc, start, right);
        at.push = pw;
        if (beyond && at.push == 0.0f)
            return false;
    } else {
        if (beyond)
            return false;
        at.seg = GetXSect(x, pv, pn);
    }
    return FinishOnSection(at, x, yc, t, tan, pos, normal, height, cache, true, nullptr, index);
}

bool GetHeightJuncEnd(const Junction* j, VectorPos pos, VectorDir* normal, float& height, int k, const Bezier& ref,
                      Vector v, GHCache* cache)
{
    groundtests.mouths++;
    const int n = j->nRoadsegs;
    const RoadSeg* rs = j->roadsegs[k];
    const RoadType* rt = rs->type;
    const Vector up(0.0f, v[1], 0.0f, 0.0f);
    Bezier R = JunctionOffset(ref, v[0]);
    for (int i = 0; i < 4; i++)
        R[i] += up;
    float unused, dk, dn;
    KerbOffsets(j, k, unused, dk);
    KerbOffsets(j, (k + 1) % n, dn, unused);
    const Bezier A = JunctionOffset(j->Kerb(k), v[0], dk);
    const Bezier B = JunctionOffset(j->Kerb((k + 1) % n), dn, v[0]);

    const BezierPatch p = MouthPatch(A, B, R, true);

    float x0, x1;
    MouthRange(j, rs, x0, x1);
    Vector res;
    VectorDir pn;
    const bool cached = cache != nullptr && cache->Was(j) && cache->GetIndex() == k;
    const bool solved = cached ? p.CalcParamsNR(pos, res, pn, (cache->rsres[0] - x0) / (x1 - x0), cache->rsres[2])
                               : p.CalcParams(pos, res, pn);
    if (!solved)
        return false;
    const float u = std::clamp(res[0], 0.0f, 1.0f), vv = res[2];
    const float x = x0 + u * (x1 - x0);
    const float S = res[1] + (1.0f - vv) * rt->CrossSectHeight(x);
    if (!GroundStepAccepts(pos[1], S, height))
        return false;
    if (cache != nullptr) {
        cache->rsres = Vector(x, res[1], vv, 0.0f);
        if (!cached)
            cache->SetIndex(k);
    }
    if (normal != nullptr)
        *normal = Normalise(pn);
    height = S;
    return true;
}

namespace {

// The road mouth of slot k - 1 beyond the middle polygon's edge from corner
// k - 1 to corner k.  1 answered, -1 rejected by the step rule (the query
// ends), 0 the mouth's patch does not hold the position.
int OrdinaryMouth(const Junction* j, const Bezier* kerbs, const VectorPos* C, int k, VectorPos pos, VectorDir* normal,
                  float& height, GHCache* cache)
{
    groundtests.mouths++;
    const int n = j->nRoadsegs;
    const int km1 = (k + n - 1) % n;
    const Bezier Rh = kerbs[km1].SplitRight();
    const Bezier Lh = kerbs[k].SplitLeft();
    const Vector c0(C[km1], 1.0f), c1(C[k], 1.0f);
    const BezierPatch p = MouthPatch(Rh, Lh, Bezier(c0, (c0 * 2.0f + c1) / 3.0f, (c0 + c1 * 2.0f) / 3.0f, c1), false);

    const RoadSeg* rs = j->roadsegs[km1];
    float x0, x1;
    MouthRange(j, rs, x0, x1);
    const RoadType* t0 = j->roadsegs[0]->type;
    const float yJ = t0->vXSect[t0->iJunc][1];
    Vector res;
    VectorDir pn;
    const bool cached = cache != nullptr && cache->Was(j) && cache->GetIndex() == km1;
    const bool solved = cached ? p.CalcParamsNR(pos, res, pn, (cache->rsres[0] - x0) / (x1 - x0), cache->rsres[2])
                               : p.CalcParams(pos, res, pn);
    if (!solved)
        return 0;
    const float u = std::clamp(res[0], 0.0f, 1.0f), v = res[2];
    const float x = x0 + u * (x1 - x0);
    const float S = res[1] + (1.0f - v) * rs->type->CrossSectHeight(x) + v * yJ;
    // The remembered mouth is followed without the step rule.
    if (!cached && !GroundStepAccepts(pos[1], S, height))
        return -1;
    if (cache != nullptr) {
        cache->rsres = Vector(x, res[1], v, 0.0f);
        cache->SetIndex(km1);
    }
    if (normal != nullptr)
        *normal = Normalise(pn);
    height = S;
    return 1;
}

bool OrdinaryJunction(const Junction* j, VectorPos pos, VectorDir* normal, float& height, GHCache* cache)
{
    const int n = j->nRoadsegs;
    constexpr int MAXROADS = 16;
    if (n < 3 || n > MAXROADS)
        return false;
    Bezier kerbs[MAXROADS];
    VectorPos C[MAXROADS];
    for (int i = 0; i < n; i++) {
        kerbs[i] = KerbLine(j, i);
        C[i] = VectorPos(kerbs[i].Evaluate(0.5f).v);
    }
    bool outside = false;
    for (int k = 0; k < n; k++) {
        const int km1 = (k + n - 1) % n;
        const float ex = C[k][0] - C[km1][0], ez = C[k][2] - C[km1][2];
        const float wx = pos[0] - C[km1][0], wz = pos[2] - C[km1][2];
        const float len = std::sqrt(ex * ex + ez * ez);
        if (!(len > 0.0f) || (ex * wz - wx * ez) / len >= MOUTH_EDGE)
            continue;
        const int r = OrdinaryMouth(j, kerbs, C, k, pos, normal, height, cache);
        if (r != 0)
            return r > 0;
        if (GetHeightKerb(j, pos, normal, height, km1, cache) || GetHeightKerb(j, pos, normal, height, k, cache))
            return true;
        outside = true;
    }
    if (outside)
        return false;

    // The middle: triangles cut in a zig-zag from both ends of the corners.
    int low = 1, high = n - 1, step = 0;
    while (step < n - 3) {
        const float ex = C[high][0] - C[low][0], ez = C[high][2] - C[low][2];
        const float wx = pos[0] - C[low][0], wz = pos[2] - C[low][2];
        if (ex * wz - wx * ez > 0.0f)
            break;
        if (step % 2 == 0)
            high--;
        else
            low++;
        step++;
    }
    const VectorPos X = step % 2 ? C[high + 1] : C[low - 1];
    const VectorDir N = VectorDir(C[high] - C[low]) ^ VectorDir(X - C[low]);
    if (N[1] == 0.0f)
        return false;
    const RoadType* t0 = j->roadsegs[0]->type;
    const float yJ = t0->vXSect[t0->iJunc][1];
    const float S = C[low][1] - (N[0] * (pos[0] - C[low][0]) + N[2] * (pos[2] - C[low][2])) / N[1] + yJ;
    if (!GroundStepAccepts(pos[1], S, height))
        return false;
    if (normal != nullptr)
        *normal = Normalise(N);
    height = S;
    return true;
}

// The junction point of road `rs` on one side as a mouth's edge: its x
// (negated for the left side, which faces the other way) and height.
Vector EdgePoint(const RoadSeg* rs, bool right)
{
    const RoadType* rt = rs->type;
    const Vector& p = rt->vXSect[right ? rt->iJunc : rt->iJuncLeft];
    return Vector(right ? p[0] : -p[0], p[1], 0.0f, 0.0f);
}

}  // namespace

bool Junction::GetHeight(VectorPos pos, VectorDir* normal, float& height, GHCache* cache) const
{
    groundtests.surfaces++;
    const float dx = pos[0] - this->pos[0], dz = pos[2] - this->pos[2];
    if (dx * dx + dz * dz > radius * radius)
        return false;
    const int n = nRoadsegs;
    for (int k = 0; k < n; k++)
        if (roadsegs[k] == nullptr)
            return false;

    if (n == 2) {
        // A bend: slot 0's section swept along the centre curve.
        const RoadSeg* rs = roadsegs[0];
        const RoadType* rt = rs->type;
        VectorDir tangent;
        const VectorXYZ c = Kerb(1).CalcParams(pos, tangent);
        if (!(c[2] > KERB_TMIN && c[2] < KERB_TMAX))
            return false;
        float s = c[0];
        if (!Ends(rs)) {
            s = -s;
            tangent = -tangent;
        }
        const VECTOR* xs = Points(rt);
        const int ire = rt->iRightEdge;
        if (!(xs[0].x < s && s < xs[ire].x))
            return false;
        const SectionSpot at{xs, ire + 1, GetXSect(s, xs, ire + 1), 0.0f};
        return FinishOnSection(at, s, c[1], c[2], tangent, pos, normal, height, cache, false, nullptr, 0);
    }

    if ((u8Flags & JUNCTION_THROUGHROAD) && n == 3) {
        // A road joining a through road (slots 0 and 1) along kerb 1.
        const RoadSeg* rs = roadsegs[0];
        const RoadType* rt = rs->type;
        const bool ends = Ends(rs);
        VectorDir tangent;
        const VectorXYZ c = Kerb(1).CalcParams(pos, tangent);
        if (c[2] > KERB_TMIN && c[2] < KERB_TMAX) {
            float s = c[0];
            if (!ends) {
                s = -s;
                tangent = -tangent;
            }
            const int first = ends ? rt->iJuncLeft : 0, last = ends ? rt->iRightEdge : rt->iJunc;
            SectionSpot at;
            if (ThroughRoad(this, rt, first, last, false, s, c[1], c[2], tangent, pos, cache, at))
                return FinishOnSection(at, s, c[1], c[2], tangent, pos, normal, height, cache, true, nullptr,
                                       GHC_CARRIAGEWAY);
        }
        if (GetHeightKerb(this, pos, normal, height, 0, cache) || GetHeightKerb(this, pos, normal, height, 2, cache))
            return true;
        return GetHeightJuncEnd(this, pos, normal, height, 2, Kerb(1).Flip(), EdgePoint(rs, !ends), cache);
    }

    if (u8Flags & JUNCTION_THROUGHROAD) {
        // A through road from slot 0 to slot 2 across a crossing, on a centre
        // curve built between the two roads' mouths: the points where their
        // centre lines leave the junction (at c0.w, 1 - c3.w), not the
        // centre lines' own end points.  Those both lie at the junction's
        // centre, and a curve between them would have no length to find a
        // position on.
        if (n != 4)
            return false;
        const RoadSeg* r0 = roadsegs[0];
        const RoadSeg* r2 = roadsegs[2];
        auto endOf = [this](const RoadSeg* rs, VectorDir& inward) {
            const Bezier& b = rs->bezier;
            const bool ends = Ends(rs);
            VectorDir tan;
            const Vector p = b.EvaluateWithTangent(ends ? 1.0f - b.c3[3] : b.c0[3], tan);
            inward = Normalise(ends ? tan : VectorDir(-tan));
            return p;
        };
        VectorDir in0, in2;
        const Vector e0 = endOf(r0, in0), e2 = endOf(r2, in2);
        const float third = Length(VectorXYZ((e2 - e0).xyz())) / 3.0f;
        const Bezier C(Vector(e0.xyz(), 0.0f), Vector(VectorXYZ(e0.xyz() + in0 * third), 0.0f),
                       Vector(VectorXYZ(e2.xyz() + in2 * third), 0.0f), Vector(e2.xyz(), 0.0f));
        const bool ends0 = Ends(r0);
        const Bezier along = ends0 ? C : C.Flip();
        const RoadType* rt = r0->type;
        VectorDir tangent;
        const VectorXYZ c = along.CalcParams(pos, tangent);
        if (c[2] > KERB_TMIN && c[2] < KERB_TMAX) {
            SectionSpot at;
            if (ThroughRoad(this, rt, rt->iJuncLeft, rt->iJunc, true, c[0], c[1], c[2], tangent, pos, cache, at))
                return FinishOnSection(at, c[0], c[1], c[2], tangent, pos, normal, height, cache, true, nullptr,
                                       GHC_CARRIAGEWAY);
        }
        for (int i = 0; i < 4; i++)
            if (GetHeightKerb(this, pos, normal, height, i, cache))
                return true;
        const bool threeFirst = cache != nullptr && cache->Was(this) && cache->GetIndex() == 3;
        for (int m = 0; m < 2; m++) {
            const bool three = (m == 0) == threeFirst;
            const bool ok = three ? GetHeightJuncEnd(this, pos, normal, height, 3, C.Flip(), EdgePoint(r0, !ends0), cache)
                                  : GetHeightJuncEnd(this, pos, normal, height, 1, C, EdgePoint(r0, ends0), cache);
            if (ok)
                return true;
        }
        return false;
    }

    return OrdinaryJunction(this, pos, normal, height, cache);
}
