// Road network records: boxes and traversal.
#include "game/Road.h"

#include <algorithm>

float RoadType::Radius() const
{
    return std::max(vXSect[iRightEdge][0], -vXSect[0][0]);
}

namespace {

Cuboid EmptyBox()
{
    return Cuboid(VectorPos(1e38f, 1e38f, 1e38f), VectorPos(-1e38f, -1e38f, -1e38f));
}

// The horizontal normal of a road direction t: unit(t.z, 0, -t.x).
VectorDir Across(const VectorDir& t)
{
    return Normalise(VectorDir(t[2], 0.0f, -t[0]));
}

}  // namespace

Cuboid RoadSeg::GetBox() const
{
    Cuboid box = EmptyBox();
    for (int i = 0; i < 4; i++)
        box += VectorPos(bezier[i].v);
    const float r = type->Radius();
    box.min = box.min - VectorDir(r, r, r);
    box.max = box.max + VectorDir(r, r, r);
    return box;
}

const RoadSeg* RoadSeg::Next(bool& forward) const
{
    const Junction* j = jtn[forward ? 1 : 0];
    if (j == nullptr)
        return nullptr;
    for (int k = 0; k < j->nRoadsegs; k++) {
        const RoadSeg* rs = j->roadsegs[k];
        if (rs == nullptr || rs == this || rs->id != id)
            continue;
        forward = rs->jtn[0] == j;
        return rs;
    }
    return nullptr;
}

int Junction::Slot(const RoadSeg* rs) const
{
    for (int k = 0; k < nRoadsegs; k++)
        if (roadsegs[k] == rs)
            return k;
    return -1;
}

const RoadSeg* Junction::Next(const RoadSeg* rs) const
{
    const int k = Slot(rs);
    if (k < 0)
        return nullptr;
    const RoadSeg* n = roadsegs[(k + 1) % nRoadsegs];
    return n != nullptr ? n : rs;
}

const RoadSeg* Junction::Prev(const RoadSeg* rs) const
{
    const int k = Slot(rs);
    if (k < 0)
        return nullptr;
    const RoadSeg* n = roadsegs[(k + nRoadsegs - 1) % nRoadsegs];
    return n != nullptr ? n : rs;
}

Cuboid Junction::GetBox() const
{
    float R = 0.0f;
    for (int k = 0; k < nRoadsegs; k++)
        R = std::max(R, roadsegs[k]->type->Radius());
    Cuboid box = EmptyBox();
    box += pos - VectorDir(R, R, R);
    box += pos + VectorDir(R, R, R);
    for (int k = 0; k < nRoadsegs; k++) {
        const RoadSeg* rs = roadsegs[k];
        const Bezier& b = rs->bezier;
        const float t = rs->jtn[0] == this ? b.c0[3] : 1.0f - b.c3[3];
        VectorDir tangent;
        const VectorPos p(b.EvaluateWithTangent(t, tangent).v);
        const VectorDir side = Across(Normalise(tangent)) * rs->type->Radius();
        box += p + side;
        box += p - side;
    }
    return box;
}

Cuboid GroundPatch::GetBox() const
{
    Cuboid box = EmptyBox();
    for (const Vector& p : patch.p)
        box += VectorPos(p.v);
    return box;
}
