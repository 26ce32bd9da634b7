// The mission drives' road choice (a bounded search over the road graph for
// the road that leads soonest toward the target), the first road of a car
// standing at a junction, and the sideways avoidance of the traffic ahead
// with its make-way requests.
#include "game/cardrivr.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "game/CityObjects.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

constexpr int kMaxCandidates = 16;
constexpr float kNoRoad = 15625.0f;

bool HasPriority(const RoadSeg* s)
{
    return s != nullptr && s->type != nullptr && (s->type->flags & 0x4) != 0;
}

// The direction a road leaves junction j in: toward its end point, or along
// its end handle when that end lies on the junction's centre.
VectorDir LeaveDir(const RoadSeg* r, const Junction* j)
{
    const bool starts = r->jtn[0] == j;
    const Bezier& b = r->bezier;
    VectorDir u = (starts ? b.c0.xyz() : b.c3.xyz()) - j->pos;
    if (u.Length() < 0.03125f)
        u = starts ? VectorDir(b.c1.xyz() - b.c0.xyz()) : VectorDir(b.c2.xyz() - b.c3.xyz());
    return Normalise(u);
}

}  // namespace

RoadSeg* CarDriver::EscapeFindNextRoadSeg(const Junction& junc, const RoadSeg& from, float fODist, float* pfScore,
                                          int iLevel)
{
    float best = kNoRoad;
    RoadSeg* answer = nullptr;
    for (int i = 0; i < junc.nRoadsegs; i++) {
        RoadSeg* R = junc.roadsegs[i];
        if (R == nullptr || R == &from)
            continue;
        if (R == prsTarget) {
            best = fODist * 0.25f;
            answer = R;
            continue;
        }
        if (!CheckRoadTransition(&from, &junc, R))
            continue;
        const Junction* K = R->jtn[0] == &junc ? R->jtn[1] : R->jtn[0];
        if (K == nullptr)
            continue;
        float len = fODist;
        float s = fGenPathScore(junc, *K, &len);
        if (iLevel > 0) {
            float sub = kNoRoad;
            EscapeFindNextRoadSeg(*K, *R, fODist + Length(VectorXYZ(K->pos - junc.pos)), &sub, iLevel - 1);
            s = std::min(sub, s);
        }
        if (R->type != nullptr && R->type->num_rightlanes == 0)
            s *= 1000.0f;
        if (s < best) {
            best = s;
            answer = R;
        }
    }
    *pfScore = best;
    return answer;
}

void CarDriver::EscapeScoreRoadSegs(const Junction& junc, const RoadSeg& from, float fODist, RoadSeg** rgrs,
                                    float* pfScores, int iLevel)
{
    int n = 0;
    for (int i = 0; i < junc.nRoadsegs; i++) {
        RoadSeg* R = junc.roadsegs[i];
        if (R == nullptr || R == &from || !CheckRoadTransition(&from, &junc, R))
            continue;
        float s;
        if (R == prsTarget) {
            s = fODist * 0.25f;
        } else {
            const Junction* K = R->jtn[0] == &junc ? R->jtn[1] : R->jtn[0];
            if (K == nullptr)
                continue;
            float len = fODist;
            s = fGenPathScore(junc, *K, &len);
            if (iLevel - 1 > 0) {
                float sub = kNoRoad;
                EscapeFindNextRoadSeg(*K, *R, fODist + Length(VectorXYZ(K->pos - junc.pos)), &sub, iLevel - 2);
                s = std::min(sub, s);
            }
            if (R->type != nullptr && R->type->num_rightlanes == 0)
                s *= 1000.0f;
        }
        if (n == kMaxCandidates)
            break;
        // Ascending; an equal score goes after those already listed.
        int at = n;
        while (at > 0 && pfScores[at - 1] > s) {
            rgrs[at] = rgrs[at - 1];
            pfScores[at] = pfScores[at - 1];
            at--;
        }
        rgrs[at] = R;
        pfScores[at] = s;
        n++;
    }
    rgrs[n] = nullptr;
    pfScores[n] = 0.0f;
}

int CarDriver::EscapeChooseNextRS()
{
    Junction* J = JunctionAhead();
    prsTarget = FindRoadSeg(vpTarget);
    i8LastCode = i8NextCode;
    if (J == nullptr) {
        i8NextCode = 0;
        return 0;
    }
    RoadSeg* cand[kMaxCandidates + 1];
    float score[kMaxCandidates + 1];
    EscapeScoreRoadSegs(*J, *rs, 0.0f, cand, score, 6);
    RoadSeg* chosen = nullptr;
    for (int i = 0; cand[i] != nullptr; i++) {
        const float si = score[i], sn = score[i + 1];
        const float W = 2.5f * (si + sn);
        const float x = i16DriveMode == 3 ? 0.0f : W * randf();
        if (si == 0.0f || sn == 0.0f || x <= W - si) {
            chosen = cand[i];
            break;
        }
    }
    if (chosen == nullptr) {
        i8NextCode = 0;
        return 0;
    }
    nextrs = chosen;
    int code;
    if (chosen->id == rs->id || J->nRoadsegs == 2)
        code = 0;
    else if (chosen == J->Next(rs))
        code = 1;
    else if (chosen == J->Prev(rs) && HasPriority(rs) && CheckLeftTurnPossible(rs, J))
        code = -1;
    else
        code = 0;
    if (code == 0 && !CheckStraightThroughPossible(rs, J)) {
        code = 1;
        nextrs = const_cast<RoadSeg*>(J->Next(rs));
    }
    i8NextCode = s8(code);
    return 0;
}

void CarDriver::SetCurrEscapeJuncAndNextRS()
{
    Junction* J = FindJunction(CarPos());
    if (J == nullptr)
        return;
    const VectorPos pos = CarPos();
    const VectorDir f = CarForward();
    const VectorDir h = Normalise(VectorDir(f[0], 0.0f, f[2]));
    RoadSeg* best = nullptr;
    float bestDot = 0.0f;
    for (int i = 0; i < J->nRoadsegs; i++) {
        RoadSeg* R = J->roadsegs[i];
        if (R == nullptr)
            continue;
        const bool starts = R->jtn[0] == J;
        const VectorXYZ ctrl = starts ? R->bezier.c1.xyz() : R->bezier.c2.xyz();
        if (Dot(VectorDir(ctrl - pos), h) <= 0.0f)
            continue;
        const float d = Dot(LeaveDir(R, J), h);
        if (d > bestDot) {
            bestDot = d;
            best = R;
        }
    }
    if (best == nullptr)
        return;
    rs = best;
    SetCurrentRSInfo(best->jtn[0] == J);
}

float CarDriver::DriveToCheckCars(Vehicle** rpveh, float* rfDist, int* piMaxCars, float* pfAcrossDist2,
                                  Vehicle** ppvehClosest)
{
    const VectorPos pos = CarPos();
    const VectorDir x = CarSide(), z = CarForward();
    const float r = pveh->radius;
    float nearest = 165.0f * std::max(kCDSpeedStep, fLastSpeed);
    const int cap = *piMaxCars;
    int count = 0;
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o == pveh || o->IsDead() || o->type != OBJT_VEHICLE)
            continue;
        Vehicle* V = static_cast<Vehicle*>(o);
        const VectorDir d = V->mat.GetTrans() - pos;
        const float f = Dot(d, z);
        const float rV = V->radius;
        if (f + rV > -r) {
            const VectorDir c = d - z * f;
            const float c2 = c.LengthSq();
            if (std::fabs(f) < r + rV && c2 < 2.44141f)
                iCDFlags |= Dot(d, x) >= 0.0f ? CDF_CARRIGHT : CDF_CARLEFT;
            if (f - rV >= 0.0f && f < nearest) {
                const float w = 0.46875f + rV * std::fabs(Dot(x, z));
                if (c2 < (w + 0.46875f) * (w + 0.46875f)) {
                    nearest = f;
                    *ppvehClosest = V;
                    *pfAcrossDist2 = z[0] * c[2] - c[0] * z[2] < 0.0f ? -c2 : c2;
                    iCDFlags |= CDF_BLOCKED;
                } else if (c2 < (w + 0.8203125f) * (w + 0.8203125f)) {
                    iCDFlags |= Dot(c, x) >= 0.0f ? CDF_NEARRIGHT : CDF_NEARLEFT;
                }
            }
        }
        // Every scanned car, nearest ahead first, while there is room.
        int at = count;
        while (at > 0 && rfDist[at - 1] > f)
            at--;
        if (at < cap) {
            for (int i = std::min(count, cap - 1); i > at; i--) {
                rpveh[i] = rpveh[i - 1];
                rfDist[i] = rfDist[i - 1];
            }
            rpveh[at] = V;
            rfDist[at] = f;
            count = std::min(count + 1, cap);
        }
    }
    *piMaxCars = count;
    return nearest;
}

void CarDriver::EscapeAvoidAmbientCars(VectorDir& dir)
{
    const bool backwards = !bTrans && !rsdir;
    const float u = backwards ? -fU : fU;
    const VectorDir along = backwards ? -dir : dir;
    iCDFlags &= ~(CDF_CARLEFT | CDF_CARRIGHT | CDF_BLOCKED | CDF_NEARLEFT | CDF_NEARRIGHT);
    Vehicle* cars[8];
    float dist[8];
    int n = 8;
    float across = 0.0f;
    Vehicle* B = nullptr;
    const float nearest = DriveToCheckCars(cars, dist, &n, &across, &B);
    const VectorPos pos = CarPos();
    if ((iCDFlags & CDF_BLOCKED) && B != nullptr) {
        const VectorDir p = B->mat.GetTrans() - pos;
        const float pa = Dot(p, along);
        const float g = pa - B->radius;
        const VectorDir cv = p - along * pa;
        const float cl = cv.Length();
        const float c = cv[0] * along[2] - along[0] * cv[2] >= 0.0f ? cl : -cl;
        const float need = std::fabs(Dot(VectorDir(B->mat.x.xyz()), along)) * B->radius + 0.9375f;
        float m;
        if (!bTrans)
            m = c >= 0.0f ? std::min(0.0f, c - need) : std::max(0.0f, c + need);
        else if (c >= 0.0f && u > -0.78125f)
            m = u + 0.703125f;
        else if (c < 0.0f && u < 0.78125f)
            m = u - 0.703125f;
        else
            m = 0.0f;
        const int code = (m > 0.0f ? 1 : 2) + (nearest < 120.0f * fLastSpeed ? 8 : 0);
        Object* bd = B->rcoDriver.p;
        if (bd != nullptr && bd->id != -1) {
            SpecialMessage mw(SMSG_CD_MAKE_WAY, nullptr, code);
            bd->SendMessage(OM_SPECIAL, &mw);
        } else if (bd != nullptr && g < 4.0f * pveh->radius && pveh->vel.xyz().Length() < 0.034925f) {
            // Right behind the player's car: no horn, just hold back.
            i16CheckTime = 1;
            pveh->fEngine *= 0.5f;
        }
        if ((m < 0.0f && (iCDFlags & CDF_CARLEFT)) || (m > 0.0f && (iCDFlags & CDF_CARRIGHT)))
            m = 0.0f;
        fForceLane = u + m;
        return;
    }
    if (bTrans) {
        fForceLane = u * 0.125f;
        return;
    }
    if (u == 0.0f || Dot(CarForward(), along) >= 0.999f) {
        const float first = GetLaneOffsetDist(0, nullptr, true), last = GetLaneOffsetDist(100, nullptr, true);
        if (u < first && !(iCDFlags & CDF_NEARRIGHT))
            fForceLane = u + (first - u) * 0.5f;
        else if (u > last && !(iCDFlags & CDF_NEARLEFT))
            fForceLane = u + (last - u) * 0.5f;
        else
            fForceLane = u + (GetLaneOffsetDist(i16DefLane, nullptr, true) - u) * 0.5f;
    }
}

namespace {

struct NearCar
{
    Vehicle* v;
    float lateral;   // its offset on the road, in the travel frame
    float ahead;     // its distance ahead along the road
};

}  // namespace

// The shared sideways avoidance of the chase and the tail: the two nearest
// cars in the path are passed on the side with room, and their drivers are
// asked to make way.  Answers the nearer record (null when none).
static NearCar AvoidCarsInPath(CarDriver& d, VectorDir& dir, float fRange, float fPathHalf, Object* exempt)
{
    Vehicle* car = d.pveh;
    const bool backwards = !d.bTrans && !d.rsdir;
    const float R = fRange * std::max(kCDSpeedStep, d.fLastSpeed);
    const float lo = d.GetLaneOffsetDist(0, nullptr, true) - 0.15625f;
    const float hi = d.GetLaneOffsetDist(100, nullptr, true) + 0.15625f;
    const float u = backwards ? -d.fU : d.fU;
    const VectorDir d2 = backwards ? -dir : dir;
    d.iCDFlags &= ~CDF_BLOCKED;
    NearCar recs[2] = {{nullptr, 0.0f, 0.0f}, {nullptr, 0.0f, 0.0f}};
    int n = 0;
    const VectorPos pos = d.CarPos();
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o == car || o == exempt || o->IsDead() || o->type != OBJT_VEHICLE)
            continue;
        Vehicle* V = static_cast<Vehicle*>(o);
        const VectorDir p = V->mat.GetTrans() - pos;
        const float a = Dot(p, d2);
        const float y = p[0] * d2[2] - p[2] * d2[0];
        if (!(a > 0.0f && a < R && std::fabs(y) < fPathHalf))
            continue;
        Object* vd = V->rcoDriver.p;
        if (vd != nullptr && vd->id != -1) {
            const bool same = Dot(VectorDir(V->mat.z.xyz()), d2) > 0.0f;
            SpecialMessage mw(SMSG_CD_MAKE_WAY, nullptr, (same && y >= 0.0f) || (!same && y < 0.0f) ? 10 : 9);
            vd->SendMessage(OM_SPECIAL, &mw);
        }
        const NearCar rec{V, u + y, a};
        if (n < 2) {
            recs[n++] = rec;
            if (n == 2 && recs[1].ahead < recs[0].ahead)
                std::swap(recs[0], recs[1]);
        } else if (a < recs[1].ahead) {
            recs[1] = rec;
            if (recs[1].ahead < recs[0].ahead)
                std::swap(recs[0], recs[1]);
        }
    }
    if (n == 0)
        return recs[0];
    float mn = recs[0].lateral, mx = recs[0].lateral;
    for (int i = 1; i < n; i++) {
        mn = std::min(mn, recs[i].lateral);
        mx = std::max(mx, recs[i].lateral);
    }
    float f = d.fForceLane;
    if (mn - u > 0.0f) {
        if (mn - 0.9375f < d.fForceLane) {
            f = mn - 0.9375f;
            d.iCDFlags |= CDF_BLOCKED;
        }
    } else if (mx - u < 0.0f) {
        if (d.fForceLane < mx + 0.9375f) {
            f = mx + 0.9375f;
            d.iCDFlags |= CDF_BLOCKED;
        }
    } else {
        d.iCDFlags |= CDF_BLOCKED;
        if (mx - mn > 1.40625f)
            f = 0.5f * (mn + mx);
        else if (u - mn < mx - u)
            f = mn - 0.9375f > lo ? mn - 0.9375f : mx + 0.9375f;
        else
            f = mx + 0.9375f < hi ? mx + 0.9375f : mn - 0.9375f;
    }
    d.fForceLane += (f - d.fForceLane) * 0.125f;
    return recs[0];
}

void CarDriver::ChaseAvoidAmbientCars(VectorDir& dir)
{
    Object* T = pobjTarget != nullptr ? pobjTarget->GetRoot() : nullptr;
    AvoidCarsInPath(*this, dir, 105.0f, 0.78125f, T);
}

void CarDriver::TailAvoidAmbientCars(VectorDir& dir)
{
    const NearCar nearest = AvoidCarsInPath(*this, dir, 135.0f, 0.859375f, nullptr);
    if (nearest.v == nullptr)
        return;
    const float gap = nearest.ahead - nearest.v->radius - pveh->radius - 0.3125f;
    const float v = std::max(0.0f, Dot(VectorDir(nearest.v->vel.xyz()), CarForward()));
    fDestSpeed = v + (fDestSpeed - v) * std::min(1.0f, std::max(0.0f, gap) * 0.106667f);
}
