// The traffic's junction choice (random turns within the lane rules, or a
// mission's route program), its look-ahead for cars and pedestrians in the
// way, and the crossing of a junction: approach, signals, waiting at the
// line and the turn curve onto the next segment.
#include "game/cardrivr.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

int Random(int n)
{
    return int((long long)rand() * n >> 31);
}

bool HasPriority(const RoadSeg* s)
{
    return s != nullptr && s->type != nullptr && (s->type->flags & 0x4) != 0;
}

// The live cars of the world other than own.
template <class F>
void ForOtherCars(const Vehicle* own, F f)
{
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o == own || o->IsDead() || o->type != OBJT_VEHICLE)
            continue;
        f(static_cast<Vehicle*>(o));
    }
}

int DriverId(const Vehicle* v)
{
    return v->rcoDriver.p != nullptr ? v->rcoDriver.p->id : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Exits

bool CarDriver::CheckForwardsLanes(const Junction* j, const RoadSeg* seg) const
{
    if (seg == nullptr || seg->type == nullptr || !(seg->type->flags & ROADTYPE_VEHICLES))
        return false;
    return seg->jtn[0] == j || seg->type->num_lanes - seg->type->num_rightlanes >= 1;
}

bool CarDriver::CheckRoadTransition(const RoadSeg*, const Junction* j, const RoadSeg* to) const
{
    return CheckForwardsLanes(j, to);
}

bool CarDriver::CheckLeftTurnPossible(const RoadSeg* prs, const Junction* j) const
{
    const RoadSeg* p = j->Prev(prs);
    if (p == nullptr || !CheckForwardsLanes(j, p))
        return false;
    if (j->u8Flags & JUNCTION_THROUGHROAD)
        return j->nRoadsegs > 0 && HasPriority(j->roadsegs[0]);
    return true;
}

bool CarDriver::CheckStraightThroughPossible(const RoadSeg* prs, const Junction* j) const
{
    bool fwd = rsdir;
    const RoadSeg* n = prs->Next(fwd);
    if (n == nullptr || !CheckForwardsLanes(j, n))
        return false;
    if (j->u8Flags & JUNCTION_THROUGHROAD) {
        const RoadSeg* first = j->nRoadsegs > 0 ? j->roadsegs[0] : nullptr;
        const RoadSeg* opposite = j->nRoadsegs > 1 ? j->roadsegs[j->nRoadsegs < 4 ? 1 : 2] : nullptr;
        return prs == first || prs == opposite || HasPriority(first);
    }
    return true;
}

float CarDriver::fGenPathScore(const Junction& a, const Junction& b, float* pfLength) const
{
    *pfLength += Length(VectorXYZ(b.pos - a.pos));
    float s = 0.25f * *pfLength + Length(VectorXYZ(b.pos - vpTarget));
    if (b.nRoadsegs == 1)
        s += 100000.0f;
    return s;
}

RoadSeg* CarDriver::GetNextRS(const RoadSeg* prs, bool bDir, signed char code)
{
    const Junction* j = prs->jtn[bDir ? 1 : 0];
    if (code < 0 && !HasPriority(prs))
        code = 0;
    const RoadSeg* exit = nullptr;
    if (j == nullptr) {
        exit = nullptr;
    } else if (j->nRoadsegs < 3) {
        exit = j->Next(prs);
    } else {
        for (int tries = 0; tries < 4 && exit == nullptr; tries++) {
            const RoadSeg* r = nullptr;
            switch (code) {
            case -2:
                r = j->Prev(prs) != nullptr ? j->Prev(j->Prev(prs)) : nullptr;
                if (r == nullptr || !CheckForwardsLanes(j, r))
                    r = nullptr, code = 1;
                break;
            case -1:
                r = j->Prev(prs);
                if (r == nullptr || !CheckForwardsLanes(j, r))
                    r = nullptr, code = -2;
                break;
            case 0: {
                bool fwd = bDir;
                r = prs->Next(fwd);
                if (r == nullptr || !CheckForwardsLanes(j, r))
                    r = nullptr, code = j->nRoadsegs < 4 ? 1 : -1;
                break;
            }
            case 1:
                r = j->Next(prs);
                if (r == nullptr || !CheckForwardsLanes(j, r))
                    r = nullptr, code = 2;
                break;
            case 2:
                r = j->Next(prs) != nullptr ? j->Next(j->Next(prs)) : nullptr;
                if (r == nullptr || !CheckForwardsLanes(j, r))
                    r = nullptr, code = -1;
                break;
            default:
                break;
            }
            exit = r;
        }
    }
    if (exit == nullptr)
        exit = prs;
    i8NextCode = exit->id != prs->id ? code : 0;
    return const_cast<RoadSeg*>(exit);
}

int CarDriver::ChooseNextRS()
{
    // A route program that only jumps back to its start would never yield a
    // code; a bounded number of jumps ends it instead.
    for (int jumps = 0;; jumps++) {
        i8LastCode = i8NextCode;
        if (!(i16DriveMode & 0x100) || pi8Route == nullptr)
            break;
        const u8 b = u8(*pi8Route++);
        if (b == 0x81) {
            pi8Route = pi8RouteOrig;
            if (jumps > 255)
                return -2;
            continue;
        }
        if (b == 0x80) {
            const s8 c = *pi8Route++;
            if (u8(c) == 0x80)
                return -2;
            nextrs = GetNextRS(rs, rsdir, c);
            return -1;
        }
        if (b == 0x82)
            return -126;
        i8NextCode = s8(b);
        nextrs = GetNextRS(rs, rsdir, i8NextCode);
        if (Random(8) == 0)
            i16DefLane = s16(Random(100));
        return 0;
    }
    const Junction* j = JunctionAhead();
    int code = Random(3) - 1;
    if (rs->type != nullptr && rs->type->speed > 0.75f)
        code = 0;
    if (code == -1 && i16CurrentLane != 0)
        code = 0;
    if (code == 1 && i16CurrentLane != Side(rsdir).iNumLanes - 1)
        code = 0;
    if (j != nullptr) {
        if (code == -1 && !CheckLeftTurnPossible(rs, j))
            code = j->nRoadsegs == 3 ? 1 : 0;
        if (code != 1 && !CheckStraightThroughPossible(rs, j))
            code = 1;
    }
    i8NextCode = s8(code);
    nextrs = GetNextRS(rs, rsdir, i8NextCode);
    if (Random(8) == 0)
        i16DefLane = s16(Random(100));
    return 0;
}

// ---------------------------------------------------------------------------
// Look-ahead

bool CarDriver::CheckToAdjust(float* pfStopDist, VectorDir* pvLead)
{
    iCDFlags &= ~(CDF_CARLEFT | CDF_CARRIGHT);
    const VectorPos pos = CarPos();
    const VectorDir right = CarSide();
    VectorDir h = CarForward();
    if (bTrans) {
        const float t = std::min(1.0f, fT + 30.0f * std::max(fLastSpeed, 0.0116417f) * fIVelT);
        h = Normalise(VectorDir(bez.Evaluate(t).xyz() - pos));
    }
    bool found = false;
    Object* playerRoot = dace != nullptr ? dace->GetRoot() : nullptr;
    ForOtherCars(pveh, [&](Vehicle* c) {
        const VectorDir v = c->mat.GetTrans() - pos;
        const float a = Dot(v, h);
        const VectorDir q = v - h * a;
        const float q2 = q.LengthSq();
        if (std::fabs(a) < pveh->radius + c->radius + 0.9375f && q2 < 2.44140625f)
            iCDFlags |= Dot(q, right) >= 0.0f ? CDF_CARRIGHT : CDF_CARLEFT;
        const float w = std::fabs(Dot(right, h) * c->radius) + 0.9375f;
        if (a >= 0.0f && a - c->radius < *pfStopDist && q2 < w * w) {
            found = true;
            *pvLead = VectorDir(c->vel.xyz());
            *pfStopDist = std::max(0.0f, a - c->radius);
        }
        if (c == playerRoot && Dot(VectorDir(c->mat.z.xyz()), h) < 0.0f && c->radius < a && a < 31.25f &&
            q2 < 0.878906f && a < 120.0f * c->vel.xyz().LengthSq()) {
            SpecialMessage m(SMSG_CD_MAKE_WAY, nullptr, Dot(q, right) >= 0.0f ? 1 : 2);
            SendMessage(OM_SPECIAL, &m);
        }
    });
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* p = *it;
        if (p == nullptr || p->IsDead() || p->parent != nullptr)
            continue;
        const VectorDir v = p->mat.GetTrans() - pos;
        const float along = Dot(v, h);
        const float a = along - 0.234375f;
        const VectorDir q = v - h * along;
        if (a >= 0.0f && q.LengthSq() < 0.609375f && a < *pfStopDist) {
            found = true;
            *pfStopDist = a;
            *pvLead = VectorDir(0.0f, 0.0f, 0.0f);
        }
    }
    return found;
}

bool CarDriver::CheckToStop(float* pfDist)
{
    const VectorPos pos = CarPos();
    const VectorDir h = CarForward(), right = CarSide();
    bool found = false;
    ForOtherCars(pveh, [&](Vehicle* c) {
        Object* d = c->rcoDriver.p;
        if (d == nullptr || d->id < 16 || d->messagehandler != CarDriver::CarDriver_mh ||
            !(static_cast<CarDriver*>(d)->iCDFlags & CDF_STOPPED))
            return;
        const VectorDir v = c->mat.GetTrans() - pos;
        const float a = Dot(v, h);
        const VectorDir q = v - h * a;
        const float w = std::fabs(Dot(right, h) * c->radius) + 0.9375f;
        if (a >= 0.0f && a - c->radius < *pfDist && q.LengthSq() < w * w) {
            *pfDist = std::max(a - c->radius, 0.0f);
            found = true;
        }
    });
    return found;
}

void FindClosestCars(Vehicle& car, Vehicle** ppNearest, Vehicle** ppSecond, float* pfDist2Nearest,
                     float* pfDist2Second)
{
    *ppNearest = *ppSecond = nullptr;
    *pfDist2Nearest = *pfDist2Second = 0.0f;
    const VectorPos pos = car.mat.GetTrans();
    const VectorDir f(car.mat.z.xyz());
    ForOtherCars(&car, [&](Vehicle* c) {
        const VectorDir v = c->mat.GetTrans() - pos;
        if (v[0] * f[0] + v[2] * f[2] < 0.0f)
            return;
        const float d2 = v[0] * v[0] + v[2] * v[2];
        if (*ppNearest == nullptr || d2 < *pfDist2Nearest) {
            *ppSecond = *ppNearest;
            *pfDist2Second = *pfDist2Nearest;
            *ppNearest = c;
            *pfDist2Nearest = d2;
        } else if (*ppSecond == nullptr || d2 < *pfDist2Second) {
            *ppSecond = c;
            *pfDist2Second = d2;
        }
    });
}

bool CarDriver::CheckLeftTurn(float* pfDist)
{
    const VectorPos pos = CarPos();
    const VectorDir f = CarForward(), right = CarSide();
    bool found = false;
    ForOtherCars(pveh, [&](Vehicle* c) {
        const VectorDir cf(c->mat.z.xyz());
        if (Dot(cf, f) >= 0.0f || DriverId(c) < 16)
            return;
        const VectorDir v = c->mat.GetTrans() - pos;
        const float a = Dot(v, f) - c->radius;
        if (a < 0.0f)
            return;
        const VectorDir w = v - f * a;
        const float lim = std::fabs(Dot(right, cf) * c->radius) + 3.75f + 0.46875f;
        if (Dot(w, right) < 0.0f && w.LengthSq() < lim * lim && a < *pfDist) {
            *pfDist = a;
            found = true;
        }
    });
    return found;
}

bool CarDriver::CheckToWaitAtJunction(const Junction*, const RoadSeg*, int)
{
    const VectorPos pos = CarPos();
    const VectorDir f = CarForward();
    bool clear = true;
    ForOtherCars(pveh, [&](Vehicle* c) {
        const VectorDir v = c->mat.GetTrans() - pos;
        if (v.LengthSq() >= 549.316f || Dot(v, f) < 0.0f)
            return;
        if ((f ^ VectorDir(c->mat.z.xyz()))[1] > 0.5f)
            clear = false;
    });
    return clear;
}

// ---------------------------------------------------------------------------
// Turn curves

namespace {

// The junction curve from S leaving along tS to E arriving along tE: the
// handles reach toward the crossing of the two lines (half the chord when
// they are nearly parallel), scaled by the turn side's factors and shortened
// for a turn back on itself.
Bezier TurnCurve(VectorPos S, VectorDir tS, VectorPos E, VectorDir tE, float kIn, float kOut, float kInOther,
                 float kOutOther)
{
    const VectorDir D = E - S;
    const VectorDir r = -tE;
    const float fDot = Dot(tS, r);
    const float side = D[0] * tS[2] - tS[0] * D[2];
    const float mi = side < 0.0f ? kIn : kInOther, mo = side < 0.0f ? kOut : kOutOther;
    float a, b;
    const float den = tS[0] * r[2] - r[0] * tS[2];
    if (std::fabs(fDot) > 0.95f || std::fabs(r[2]) < 0.01f || den == 0.0f) {
        a = b = 0.5f * std::sqrt(D[0] * D[0] + D[2] * D[2]);
    } else {
        a = (r[2] * D[0] - r[0] * D[2]) / den;
        b = (S[2] + a * tS[2] - E[2]) / r[2];
    }
    if (fDot < 0.0f) {
        a *= mi + fDot / 3.0f;
        b *= mo + fDot / 3.0f;
    } else {
        a *= mi;
        b *= mo;
    }
    return Bezier(Vector(S, 1.0f), Vector(S + tS * a, 0.0f), Vector(E + r * b, 0.0f), Vector(E, 1.0f));
}

}  // namespace

Bezier CalcTurnBezier(VectorPos& p0, VectorDir& d0, VectorPos& p3, VectorDir& d3)
{
    return TurnCurve(p0, d0, p3, d3, 0.5f, 0.5f, 0.75f, 0.75f);
}

Bezier CalcEscapeTurnBezier(VectorPos& vpPosSrce, VectorDir& vdTangSrce, VectorPos& vpPosDest, VectorDir& vdTangDest)
{
    return TurnCurve(vpPosSrce, vdTangSrce, vpPosDest, vdTangDest, 0.325f, 0.55f, 0.625f, 0.75f);
}

// ---------------------------------------------------------------------------
// Junction crossing

int CarDriver::CruiseDoJunctions(float dt, int iLane, int& iStopReason, float, float& t)
{
    const float rad = pveh->radius;
    const float W1 = std::max(180.0f * dt, 7.8125f * fIVelT) + rad * fIVelT;
    const float W2 = std::max(0.9375f * fIVelT, 30.0f * dt) + rad * fIVelT;
    const float M = rsdir ? frsT1 : frsT0;
    auto within = [&](float w) { return rsdir ? t > M - w : t < M + w; };
    Junction* J = JunctionAhead();
    const int code = i8NextCode;
    const bool left = code < 0;
    auto signal = [&]() { return J != nullptr ? J->GetSignalCommand(*rs, world.time) : 0; };

    if (i16DriveSubMode == 0) {
        if (!(within(W1) || (rsdir && code == 0 && t < frsT0 + W1)))
            return iLane;
        i16DriveSubMode = code != 0 ? 2 : 1;
        i16MiscCount = 0;
    }
    if (i16DriveSubMode == 1 || i16DriveSubMode == 2) {
        int lane = code >= 1 ? 100 : left ? 0 : iLane;
        if (rsdir ? t > M : t < M) {
            // Into the junction: the turn curve from here to the new
            // segment's entry in its lane.
            if (nextrs == nullptr || J == nullptr)
                return lane;
            const float u = fU;
            (void)(rs->type != nullptr ? rs->CrossSectHeight(u) : 0.0f);
            i16DriveSubMode = 0;
            bTrans = true;
            VectorPos start = CarPos();
            VectorDir startDir = Normalise(rs->bezier.EvaluateTangent(t));
            if (!rsdir)
                startDir = -startDir;
            rs = nextrs;
            rsdir = rs->jtn[0] == J;
            CalcRoadLaneOffsets();
            const int want = code >= 1 ? 100 : left ? 0 : i16CurrentLane;
            int idx = 0;
            const float o = GetLaneOffsetDist(want, &idx, false);
            i16TransitionFromLane = s16(idx);
            const VectorXYZ chord = rs->bezier.c3.xyz() - rs->bezier.c0.xyz();
            bool keep = chord.LengthSq() < 549.316f;
            if (J->nRoadsegs == 2 && J->roadsegs[0] != nullptr && J->roadsegs[1] != nullptr &&
                J->roadsegs[0]->id == J->roadsegs[1]->id)
                keep = true;
            i16CurrentLane = s16(GetMoveTowardsDefaultLane(idx, i16DefLane, keep ? 0 : 1));
            CalcRoadEndTVals();
            VectorPos end = EntryPoint(o, true);
            VectorDir endDir = Normalise(rs->bezier.EvaluateTangent(rsdir ? frsT0 : frsT1));
            if (!rsdir)
                endDir = -endDir;
            bez = CalcTurnBezier(start, startDir, end, endDir);
            fU = o;
            ChooseNextRS();
            t = 0.0f;
            return idx;
        }
        // A car let go from the line (i16MiscCount 1) drives in: a signal
        // that stays set (a give-way line, or "others go") would otherwise
        // send it back to wait there every other frame, for good.
        if (i16MiscCount == 0 && (world.time - iCreationTime < 15 || within(W2))) {
            const int state = signal() & 0xC;
            if (state == 4 || state == 8 || state == 12)
                i16DriveSubMode = s16(i16DriveSubMode + 2);
        }
        return lane;
    }
    if (i16DriveSubMode == 3 || i16DriveSubMode == 4) {
        const int lane = code >= 1 ? 100 : left ? 1 : iLane;
        const float W3 = 45.0f * dt + (rad + 0.3125f) * fIVelT;
        if (within(W3)) {
            iCDFlags |= CDF_STOPPED;
            const float R = std::max(0.0f, rsdir ? M - fT : fT - M);
            const float step = R * fVelT < rad + 0.3125f ? 0.0f : R * dt / W3;
            t = rsdir ? fT + step : fT - step;
            iStopReason |= 0x20;
        }
        const int sig = signal();
        const int state = sig & 0xC, low = sig & 3;
        bool go = false;
        if (state == 0) {
            float d = 15.625f;
            go = !left || !CheckLeftTurn(&d);
        } else if (state == 4) {
            go = left;
        } else if (low == 1) {
            go = !left;
        } else if (low == 2) {
            go = left;
        } else if (low == 3 && CheckToWaitAtJunction(J, rs, code)) {
            if (left) {
                i8NextCode = 0;
                nextrs = GetNextRS(rs, rsdir, 0);
            }
            go = true;
        }
        if (go) {
            i16DriveSubMode = s16(2 - (i16DriveSubMode & 1));
            i16MiscCount = 1;
        }
        return lane;
    }
    return iLane;
}
