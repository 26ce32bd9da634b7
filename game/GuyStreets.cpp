// Attack hit boxes and the street queries of walking characters (see Guy.h).
#include "game/Guy.h"

#include "ZevEngine2/PS2/Extent.h"

// ---------------------------------------------------------------------------
// Hit boxes.

OffensiveCollision::OffensiveCollision()
    : Object(), collbox(0, Cuboid(VectorPos(0.0f, 0.0f, 0.0f), VectorPos(0.0f, 0.0f, 0.0f)))
{
    boundobj = nullptr;
    isbindactive = 0;
    flags = 0x1009;
    index = 0xFFFF;
    type = OBJT_STATIC;
    mat = Matrix(true);
}

OffensiveCollision::~OffensiveCollision()
{
    // The chain lives inside the object: nothing else may keep pointing at it.
    collision = nullptr;
}

bool OffensiveCollision::Acceptable(const Object* limb) const
{
    return limb != nullptr && limb != this && !(limb->flags & OBJF_DEAD) && limb->parent != nullptr;
}

bool OffensiveCollision::Bind(Object* limb, u16 nodeid)
{
    if (!Acceptable(limb))
        return false;
    boundobj = limb;
    isbindactive = 1;
    mat = limb->mat;
    radius = limb->radius;
    id = limb->id;
    collbox.box.box = limb->GetRawBox();
    collbox.box.id = nodeid;
    collision = collbox.Chain();
    if (parent != nullptr)
        Detach();
    limb->parent->Attach(this);
    // The collision walk goes down only through parts marked as having
    // collisions below them: mark the way from the body's root to the box.
    for (Object* o = limb->parent; o != nullptr; o = o->parent)
        o->flags |= OBJF_CHILDCOLLISION;
    return true;
}

void OffensiveCollision::Unbind()
{
    Detach();
    boundobj = nullptr;
    isbindactive = 0;
}

void OffensiveCollision::QueueBind(Object* limb, u16 nodeid)
{
    if (!Acceptable(limb))
        return;
    boundobj = limb;
    collbox.box.id = nodeid;
    isbindactive = 0;
}

void OffensiveCollision::QueueUnbind()
{
    boundobj = nullptr;
    isbindactive = 1;
}

void OffensiveCollision::Update()
{
    if (isbindactive == 0) {
        if (boundobj != nullptr && !Bind(boundobj, collbox.box.id))
            boundobj = nullptr;
        return;
    }
    if (boundobj == nullptr || (boundobj->flags & OBJF_DEAD)) {
        Unbind();
        return;
    }
    mat = boundobj->mat;
}

// ---------------------------------------------------------------------------
// Street queries.

namespace {

// The segment's curve parameter where it meets junction j.
float ParamAt(const RoadSeg* rs, const Junction* j)
{
    return rs->jtn[0] == j ? rs->bezier.c0[3] : 1.0f - rs->bezier.c3[3];
}

VectorXYZ Horizontal(VectorXYZ v) { return VectorXYZ(v[0], 0.0f, v[2]); }

// The direction in which a segment leaves j, from its end control points.
VectorXYZ LeavingByControls(const RoadSeg* rs, const Junction* j)
{
    const Bezier& b = rs->bezier;
    if (rs->jtn[0] == j)
        return Normalise(VectorXYZ((b.c1 - b.c0).v));
    return Normalise(VectorXYZ((b.c2 - b.c3).v));
}

}  // namespace

GROUNDTYPE GetGroundType(const GHCache& cache)
{
    int idx = cache.GetIndex();
    bool pavement = (idx & 0x8000) != 0;
    if (cache.pjunc != nullptr && (cache.prs == nullptr || cache.pjunc->nRoadsegs == 2)) {
        if (!pavement)
            return GroundType_InIntersection;
        static const GROUNDTYPE corners[4] = {GroundType_OnCornerSidewalk_LL, GroundType_OnCornerSidewalk_LR,
                                              GroundType_OnCornerSidewalk_UR, GroundType_OnCornerSidewalk_UL};
        return corners[idx & 3];
    }
    if (cache.prs == nullptr)
        return GroundType_Offroad;
    if (!pavement)
        return GroundType_InStreet;
    return (idx & 3) != 0 ? GroundType_OnStreetSidewalk_L : GroundType_OnStreetSidewalk_R;
}

const RoadSeg* GetRoadSegmentInDirection(const Junction* j, VectorDir dir, bool* endshere)
{
    if (j == nullptr)
        return nullptr;
    const RoadSeg* best = nullptr;
    float bestdot = -1e10f;
    for (int k = 0; k < j->nRoadsegs; k++) {
        const RoadSeg* rs = j->roadsegs[k];
        if (rs == nullptr)
            continue;
        VectorXYZ t = Normalise(VectorXYZ(rs->bezier.EvaluateTangent(ParamAt(rs, j))));
        if (rs->jtn[1] == j)
            t = -t;
        float d = Dot(t, VectorXYZ(dir));
        if (d > bestdot) {
            bestdot = d;
            best = rs;
        }
    }
    if (endshere != nullptr && best != nullptr)
        *endshere = best->jtn[1] == j;
    return best;
}

const RoadSeg* GetSideStreet(const Junction* j, const RoadSeg* rs, bool side)
{
    if (j == nullptr || j->nRoadsegs == 0)
        return nullptr;
    int i = j->Slot(rs);
    // A segment that does not meet the junction has no neighbours there.
    if (i < 0)
        return nullptr;
    int n = j->nRoadsegs;
    VectorXYZ N = rs->bezier.EvaluateNormal(ParamAt(rs, j));
    const RoadSeg* prev = j->roadsegs[(i + n - 1) % n];
    const RoadSeg* next = j->roadsegs[(i + 1) % n];
    if (prev == next)
        return prev;
    if (prev == nullptr || next == nullptr)
        return prev != nullptr ? prev : next;
    float dp = Dot(LeavingByControls(prev, j), N);
    float dn = Dot(LeavingByControls(next, j), N);
    return (dp < dn) != side ? prev : next;
}

void SetAroundCornerPos(RoadPos& pos, const Junction* j, const RoadSeg* rs, bool side)
{
    const RoadSeg* s = GetSideStreet(j, rs, side);
    pos.rs = const_cast<RoadSeg*>(s);
    if (s == nullptr)
        return;
    pos.t = ParamAt(s, j);
    VectorXYZ a = -LeavingByControls(rs, j);
    VectorXYZ n = s->bezier.EvaluateNormal(pos.t);
    pos.positiveoff = !(Dot(a, n) > 0.0f);
}

void SetAcrossStreetPos(RoadPos& pos, const Junction* j, const RoadSeg* rs, bool side)
{
    SetAroundCornerPos(pos, j, rs, !side);
}

void GetPathSpline(Bezier* b, VectorPos p0, VectorDir d0, VectorPos p1, VectorDir d1)
{
    VectorXYZ a = Horizontal(p0), e = Horizontal(p1);
    VectorXYZ h0 = Normalise(Horizontal(d0)), h1 = Normalise(Horizontal(d1));
    if (h0 == h1)
        return;
    VectorXYZ c = Normalise(e - a);
    VectorXYZ q0 = h0 - c * Dot(c, h0), q1 = h1 - c * Dot(c, h1);
    auto cross = [](VectorXYZ u, VectorXYZ v) { return u[0] * v[2] - u[2] * v[0]; };
    float den = cross(h0, h1);
    // Headings exactly opposite never cross: the straight curve serves.
    if (Dot(q0, q1) < 0.0f && den != 0.0f) {
        float s = cross(e - a, h1) / den;
        VectorXYZ X = a + h0 * s;
        b->c0 = Vector(a, 1.0f);
        b->c1 = Vector((a + X) * 0.5f, 0.0f);
        b->c2 = Vector((X + e) * 0.5f, 0.0f);
        b->c3 = Vector(e, 1.0f);
        return;
    }
    float L = (e - a).Length();
    b->c0 = Vector(a, 1.0f);
    b->c1 = Vector(a + h0 * (0.33333f * L), 0.0f);
    b->c2 = Vector(e - h1 * (0.33333f * L), 0.0f);
    b->c3 = Vector(e, 1.0f);
}
