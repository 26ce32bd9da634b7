// The mission drives: drive to a place, flee and lead a tail (modes 2, 3,
// 4, 8), chase and ram (9, 10) and race along a course (11, 12), and the
// step they share that turns a wanted direction and speed into the car's
// controls.
#include "game/cardrivr.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

constexpr float k = kCDSpeedStep;
constexpr float kMaxSteer = 0.523599f;
constexpr float kPi = 3.14159265f;
// The chase's turn and road speeds at a junction.
constexpr float kChaseTurnSpeed = 0.151342f;
constexpr float kChaseRoadSpeed = 0.20955f;

float FlatSpeed(const Vehicle* v)
{
    return std::sqrt(v->vel[0] * v->vel[0] + v->vel[2] * v->vel[2]);
}

VectorDir VelOf(const Object* o)
{
    return o != nullptr && o->type == OBJT_VEHICLE ? VectorDir(static_cast<const Vehicle*>(o)->vel.xyz())
                                                   : VectorDir(0.0f, 0.0f, 0.0f);
}

}  // namespace

// ---------------------------------------------------------------------------
// Drive to

int CarDriver::DriveTo()
{
    Vehicle* car = pveh;
    float fNormal = 4.0f * k, fTurn = 3.5f * k;
    if (rs == nullptr && !FindMissionRoad(9.0f * k))
        return 0;
    fLastSpeed = car->vel.xyz().Length();
    const Bezier& cur = bTrans ? bez : rs->bezier;
    VectorDir chord;
    const VectorXYZ r = cur.CalcParams(CarPos(), chord);
    fT = r[2];
    fU = r[0];
    VectorDir dir = Normalise(cur.EvaluateTangent(fT));

    switch (Mode()) {
    case 3:
        fNormal = car->fMaxCarSpeed;
        fTurn = std::min(0.5f * car->fMaxCarSpeed, 6.5f * k);
        EscapeAvoidAmbientCars(dir);
        break;
    case 4: {
        fNormal = 9.0f * k;
        fTurn = 6.5f * k;
        if (world.time - iCreationTime < 7200 && dace != nullptr) {
            const float d = Length(VectorXYZ(dace->GetRoot()->GetWorldPos() - CarPos()));
            if (d > 31.25f) {
                const float f = 1.0f - (std::min(d, 62.5f) - 31.25f) * 0.0288f;
                fNormal *= f;
                fTurn *= f;
            }
        }
        EscapeAvoidAmbientCars(dir);
        const VectorPos pos = CarPos();
        const float dx = vpTarget[0] - pos[0], dz = vpTarget[2] - pos[2];
        if (pobjTarget == nullptr && dx * dx + dz * dz < 244.140625f) {
            const float x = randf() * 1005.84f - 502.92f;
            const float z = randf() * 1005.84f - 502.92f;
            vpTarget = pos + VectorDir(x, 0.0f, z);
        }
        break;
    }
    case 8:
        fNormal = 5.5f * k;
        fTurn = 3.0f * k;
        fDestSpeed = 5.5f * k;
        TailAvoidAmbientCars(dir);
        break;
    default:
        break;
    }
    const float damage = car->strength == 0.0f ? 0.0f : 0.75f + 0.0025f * std::min(car->strength, 100.0f);
    fNormal *= damage;
    fTurn *= damage;

    // Getting free: a car that has stood for long backs up a little.
    const float v2 = car->vel.xyz().LengthSq();
    if (!(iCDFlags & CDF_REVERSING)) {
        if (v2 > 4.87902e-05f) {
            iLastMoveTime = world.time;
        } else if (world.time - iLastMoveTime > 150 && car->strength != 0.0f) {
            iCDFlags |= CDF_REVERSING;
            iLastMoveTime = world.time;
            car->steer = (rand() & 8) ? kCDReverseSteer : -kCDReverseSteer;
            return 0;
        }
    } else if (!(iCDFlags & CDF_PINNED)) {
        if (!BackingOutDone(105, 0.001f))
            return 0;
    }
    if (rs != nullptr) {
        if (Mode() == 8)
            ControlTail(fNormal, fTurn, dir, bForceStopped ? 17 : 0);
        else
            ControlVehEscapeTo(fNormal, fTurn, dir, bForceStopped ? 17 : 0);
    }
    return 0;
}

namespace {

// The path following of the drive-to modes; the tail ignores a pin and keeps
// its own speed at road ends.
int FollowPath(CarDriver& d, float fNormal, float fTurn, VectorDir& dir, int iForceStop, bool tail)
{
    Vehicle* car = d.pveh;
    float fNew = fNormal;
    if (d.bTrans) {
        fNew = fTurn;
        if (d.fT > 0.5f)
            fNew = fTurn + 2.0f * (d.fT - 0.5f) * (fNormal - fTurn) * std::fabs(car->mat.y[1]);
    }
    if (!tail && (d.iCDFlags & CDF_PINNED))
        fNew = 0.0f;
    const Bezier& cur = d.bTrans ? d.bez : d.rs->bezier;
    const VectorDir tan = cur.EvaluateTangent(d.fT);
    d.fVelT = tan.Length();
    d.fIVelT = d.fVelT > 0.0f ? 1.0f / d.fVelT : 0.0f;
    const float fadt = fNew * d.fIVelT;
    float t = d.fT + (!d.bTrans && !d.rsdir ? -fadt : fadt);
    d.iCDFlags &= ~CDF_STOPPED;
    if (!d.bTrans) {
        d.i16DefLane = s16(d.DriveDoJunctions(fadt, iForceStop, fNormal, fTurn, t));
        if (!tail)
            fNew = d.fDestSpeed;
        if (d.bTrans)
            d.fForceLane = 0.0f;
    } else if (t >= 1.0f) {
        t = d.rsdir ? d.frsT0 : d.frsT1;
        d.bTrans = false;
        d.i16DriveSubMode = 0;
    }
    d.fT = t;
    d.SimulateDriveCar(dir, fNew, car->fMaxCarSpeed, fadt);
    return 0;
}

}  // namespace

int CarDriver::ControlVehEscapeTo(float fNormalSpeed, float fTurnSpeed, VectorDir& dir, int iForceStop)
{
    return FollowPath(*this, fNormalSpeed, fTurnSpeed, dir, iForceStop, false);
}

int CarDriver::ControlTail(float fNormalSpeed, float fTurnSpeed, VectorDir& dir, int iForceStop)
{
    return FollowPath(*this, fNormalSpeed, fTurnSpeed, dir, iForceStop, true);
}

namespace {

// Onto nextrs through junction J, the one ahead.  Along a plain joint of
// one road straight on; otherwise on a junction curve from the car to the
// new segment's entry, `lateral` (given the old and the new travel
// directions) telling how far to its side.  The new segment's lanes and end
// parameters are read either way; true when a curve was begun.
template <class F>
bool CrossInto(CarDriver& d, Junction* J, F lateral)
{
    if (d.rs->id == d.nextrs->id && J->nRoadsegs < 3) {
        d.rs = d.nextrs;
        d.rsdir = d.rs->jtn[0] == J;
        d.CalcRoadLaneOffsets();
        d.CalcRoadEndTVals();
        return false;
    }
    d.bTrans = true;
    if (d.rs->id == d.nextrs->id)
        d.iCDFlags |= CDF_SAMEROAD;
    else
        d.iCDFlags &= ~CDF_SAMEROAD;
    VectorPos start = d.CarPos();
    VectorDir t0;
    d.CalcRoadEndTangent(&t0, true);
    const bool sameRoad = d.rs->id == d.nextrs->id;
    d.rs = d.nextrs;
    d.rsdir = d.rs->jtn[0] == J;
    d.CalcRoadLaneOffsets();
    d.CalcRoadEndTVals();
    VectorDir t3;
    d.CalcRoadEndTangent(&t3, false);
    const float L = lateral(t0, t3, sameRoad);
    VectorPos end = d.EntryPoint(L, false);
    d.bez = CalcEscapeTurnBezier(start, t0, end, t3);
    d.fU = L;
    return true;
}

// The middle of the current side's lanes.
float MiddleLane(CarDriver& d)
{
    return 0.5f * (d.GetLaneOffsetDist(0, nullptr, false) + d.GetLaneOffsetDist(100, nullptr, false));
}

}  // namespace

int CarDriver::DriveDoJunctions(float fadt, int&, float fNormalSpeed, float fTurnSpeed, float& t)
{
    const float rad = pveh->radius;
    const float ftApproach = 30.0f * fadt + rad * fIVelT;
    if (i16DriveSubMode == 0) {
        const bool near = rsdir ? frsT1 - ftApproach < t : t < frsT0 + ftApproach;
        if (near) {
            i16DriveSubMode = i8NextCode != 0 ? 2 : 1;
            i16MiscCount = 0;
            if (nextrs != nullptr && rs->id != nextrs->id)
                fDestSpeed = fTurnSpeed;
        } else {
            // Hold roughly where the car is, within the carriageway.
            fDestSpeed = fNormalSpeed;
            const float u = rsdir ? fU : -fU;
            const float first = GetLaneOffsetDist(0, nullptr, true), last = GetLaneOffsetDist(100, nullptr, true);
            const float want = std::clamp((fForceLane + u) * 0.5f, std::min(first, last), std::max(first, last));
            fForceLane += (want - fForceLane) * 0.25f;
            return i16DefLane;
        }
    }
    if (i16DriveSubMode < 0 || i16DriveSubMode >= 3)
        return i16DefLane;
    const int lane = i8NextCode > 0 ? 100 : i8NextCode < 0 ? 0 : i16DefLane;
    const bool enter = rsdir ? frsT1 < t + rad * fIVelT : t - rad * fIVelT < frsT0;
    Junction* J = JunctionAhead();
    if (!enter || nextrs == nullptr || J == nullptr)
        return lane;
    i16DriveSubMode = 0;
    if (CrossInto(*this, J, [this](VectorDir, VectorDir, bool) { return MiddleLane(*this); }))
        fDestSpeed = fTurnSpeed;
    EscapeChooseNextRS();
    t = 0.0f;
    return lane;
}

int CarDriver::SimulateDriveCar(VectorDir& dir, float fNewSpeed, float fMaxCarSpeed, float fadt)
{
    Vehicle* car = pveh;
    const VectorPos pos = CarPos();
    const VectorDir fwd = CarForward();
    const VectorXZ fwdXZ(fwd[0], fwd[2]);
    const float speed = FlatSpeed(car);
    const bool backwards = !bTrans && !rsdir;
    const float fOffset = backwards ? -fForceLane : fForceLane;
    float angle = 0.0f;
    bool turnHandBrake = false;
    if (i16DriveMode == 11 || i16DriveMode == 12) {
        const int n = pSpline != nullptr ? pSpline->NumSplines() : 0;
        float tt = fT + fadt;
        if (n > 0 && tt >= float(n))
            tt -= float(n);
        const VectorXYZ p = pSpline != nullptr ? pSpline->Evaluate(tt).xyz() - pos : VectorXYZ(fwd);
        angle = Angle(fwdXZ, VectorXZ(p[0], p[2]));
        car->steer = std::clamp(angle, -kMaxSteer, kMaxSteer);
        if (!(iCDFlags & CDF_PINNED))
            car->angvel[1] += 0.015f * car->steer - 0.125f * car->angvel[1];
    } else if (!bTrans) {
        const float lim =
            kMaxSteer * (0.75f + 0.25f * (1.0f - std::min(speed, fMaxCarSpeed) / std::max(fMaxCarSpeed, 1e-6f)));
        const float e = fU - fOffset;
        const VectorDir side(e * dir[2], 0.0f, -e * dir[0]);
        if (backwards)
            dir = -dir;
        const VectorDir aim = dir * 8.0f - side;
        angle = Angle(fwdXZ, VectorXZ(aim[0], aim[2]));
        if (std::fabs(angle) < 0.00872665f)
            angle = 0.0f;
        car->steer = std::clamp(angle, -lim, lim);
    } else {
        const float lt = std::min(fT + 8.0f * std::max(fadt, 0.06985f * fIVelT), 1.0f);
        VectorDir tg;
        const VectorXYZ p = bez.EvaluateWithTangent(lt, tg).xyz() - pos;
        const VectorXZ aim(p[0] + 3.0f * tg[0], p[2] + 3.0f * tg[2]);
        angle = Angle(fwdXZ, aim);
        car->steer = std::clamp(angle, -kMaxSteer, kMaxSteer);
        turnHandBrake = fT < 0.5f && !(iCDFlags & CDF_SAMEROAD) && fDestSpeed < fLastSpeed;
        // Slide correction: only slides toward the positive side of the
        // aim's normal are damped.
        const float al = std::sqrt(aim[0] * aim[0] + aim[2] * aim[2]);
        if (al > 0.0f) {
            const VectorDir perp(-aim[2] / al, 0.0f, aim[0] / al);
            const float s = std::max(0.0116417f, car->vel[0] * perp[0] + car->vel[2] * perp[2]);
            if (std::fabs(s) > 0.02794f) {
                const float g = 0.03f + 0.05f * std::min(1.0f, 0.64f * std::max(0.0f, std::fabs(fU) - 0.625f));
                const float f = s * g * std::fabs(car->mat.y[1]);
                car->vel[0] -= perp[0] * f;
                car->vel[2] -= perp[2] * f;
                car->angvel[1] *= 1.0f - std::fabs(0.125f * car->mat.x[1]);
            }
        }
        if (Mode() == 9) {
            const float w = 0.125f * angle;
            float& av = car->angvel[1];
            if (av * w >= 0.0f)
                av = w >= 0.0f ? std::min(w, 1.0625f * av) : std::max(w, 1.0625f * av);
        }
    }

    // The stabiliser damps a yaw against the steering.
    float& av = car->angvel[1];
    if (!(iCDFlags & (CDF_NOSTABILIZER | CDF_PINNED)) && std::fabs(car->steer) > 0.0174533f && car->steer * av < 0.0f &&
        std::fabs(av) > 0.03f)
        av -= (av > 0.0f ? 1.0f : -1.0f) * std::min(std::fabs(av) / 32.0f, 0.0025f);

    fLastSpeed = fNewSpeed;
    if (iCDFlags & CDF_BLOCKED)
        fNewSpeed *= 0.8f;
    fNewSpeed *= 1.0f - std::fabs(angle) / kPi;

    const bool handBrake = (0.75f * fNewSpeed < speed && std::fabs(angle) > 0.458149f) || std::fabs(fNewSpeed) < 0.00232833f;
    car->fHandBrake = handBrake ? 0.04f : 0.0f;
    car->bPeelOut = false;
    if (handBrake || turnHandBrake) {
        car->fBrake = fNewSpeed < speed ? 0.005f : 0.0f;
        car->fAccel = 0.0f;
    } else if (fNewSpeed < speed) {
        car->fAccel = std::max(0.0f, car->fAccel - 3.33333e-05f);
        car->fBrake = 0.0075f * std::clamp((speed - 1.5f * fNewSpeed) * 1717.97f, 0.0f, 1.0f);
    } else {
        car->fAccel = std::min(0.001f - 0.00031831f * std::min(std::fabs(angle), 0.392699f), car->fAccel + 6.66667e-05f);
        car->fBrake = 0.0f;
    }
    if (iCDFlags & CDF_PINNED) {
        car->fAccel = 0.0f;
        car->fBrake = 0.01f;
        car->steer = 0.0f;
        car->fEngine *= 0.5f;
        car->bPeelOut = false;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Chase

int CarDriver::Chase()
{
    Vehicle* car = pveh;
    const float fNormal = Mode() == 9 ? 13.0f * k : 8.0f * k;
    const float fTurn = Mode() == 9 ? 5.0f * k : 4.0f * k;
    fLastSpeed = car->vel.xyz().Length();
    if (rs == nullptr && !FindMissionRoad(car->fMaxCarSpeed))
        return 0;
    const Bezier& cur = bTrans ? bez : rs->bezier;
    VectorDir chord;
    const VectorXYZ r = cur.CalcParams(CarPos(), chord);
    fU = r[0];
    fT = r[2];
    VectorDir dir = Normalise(cur.EvaluateTangent(fT));
    ChaseAvoidAmbientCars(dir);
    if (rs != nullptr)
        ControlVehChase(fNormal, fTurn, dir, 0);
    return 0;
}

int CarDriver::ControlVehChase(float fNormalSpeed, float fTurnSpeed, VectorDir& dir, int)
{
    Vehicle* car = pveh;
    Object* T = pobjTarget != nullptr ? pobjTarget->GetRoot() : nullptr;
    if (T == nullptr || T->IsDead()) {
        car->fAccel = 0.0f;
        car->fBrake = 0.01f;
        return 0;
    }
    const bool tCar = T->type == OBJT_VEHICLE;
    const VectorPos pos = CarPos();
    const VectorPos tpos = T->GetWorldPos();
    const VectorDir X = CarSide(), Z = CarForward();
    const VectorDir dT = tpos - pos;
    const float z = Dot(dT, Z);
    const float dist2 = dT.LengthSq();
    const VectorDir tvel = VelOf(T);
    const float ts = tvel.Length();
    const float Tr = T->radius, r = car->radius;
    int state = mode;

    float fNew = fNormalSpeed;
    if (state >= 1 && state <= 3)
        fNew = ts + std::clamp(z - 0.3125f, -3.125f, 3.125f) * 0.0149013f;
    else if (state == 4)
        fNew = ts + std::clamp(z - 0.3125f, -3.125f, 3.125f) * 0.0298027f;

    VectorDir tan;
    if (bTrans) {
        if (state == 0) {
            const VectorDir a = Normalise(VectorDir(bez.c1.xyz() - bez.c0.xyz()));
            const VectorDir b = Normalise(VectorDir(bez.c3.xyz() - bez.c2.xyz()));
            fNew = fTurnSpeed + (fNormalSpeed - fTurnSpeed) * std::max(0.0f, Dot(a, b));
        }
        if (VectorXYZ(pos - bez.c3.xyz()).LengthSq() > 0.9375f)
            ChaseRecalcJunctionBezier();
        if (VectorXYZ(bez.c3.xyz() - bez.c0.xyz()).LengthSq() < 0.46875f || fT < -0.5f)
            fT = 1.0f;
        tan = bez.EvaluateTangent(std::clamp(fT, 0.0f, 1.0f));
    } else {
        if (state == 0 && tCar && dist2 < 39.0625f) {
            const float gap = Dot(dT, Normalise(tvel)) - (Tr + r);
            const float wanted = Mode() == 10 ? 3.125f : 0.625f;
            const float e = gap - wanted;
            if (e <= 0.0f)
                fNew = std::min(fNew, ts * (1.0f + e / wanted));
            else if (e < (fNew - ts) * 60.0f)
                fNew = std::min(fNew, ts + e / 60.0f);
        }
        tan = rs->bezier.EvaluateTangent(fT);
    }

    fVelT = tan.Length();
    fIVelT = fVelT > 0.0f ? 1.0f / fVelT : 0.0f;
    const float fadt = fNew * fIVelT;
    const bool backwards = !bTrans && !rsdir;
    float t = backwards ? fT - fadt : fT + fadt;
    iCDFlags &= ~CDF_STOPPED;

    if (!bTrans) {
        int fs = 0;
        i16DefLane = s16(ChaseDoJunctions(fadt, fs, fNormalSpeed, t));
        if (bTrans) {
            fForceLane = 0.0f;
        } else {
            VectorDir dir2 = Normalise(rs->bezier.EvaluateTangent(fT));
            const bool back = !rsdir;
            if (back)
                dir2 = -dir2;
            const float lo = GetLaneOffsetDist(0, nullptr, true) - 0.3125f;
            const float hi = GetLaneOffsetDist(100, nullptr, true) + 0.3125f;
            const float u = back ? -fU : fU;
            const float a = Dot(dT, dir2);
            const float lat = dT[0] * dir2[2] - dT[2] * dir2[0];
            const float ty = u + lat;
            float spot = lat > 0.0f ? ty - 1.17188f : ty + 1.17188f;
            auto outside = [&](float s) { return s < lo || s > hi; };
            if (outside(spot) && z > Tr + r + 1.5625f)
                spot = lat > 0.0f ? ty - 0.9375f : ty + 0.9375f;
            if (state == 0) {
                const float c = Dot(VectorDir(car->vel.xyz() - tvel), Z);
                const float brake = 214.746f * c * c;
                if (Mode() == 10 || !tCar || brake < z - (Tr + r + 1.5625f) || outside(spot)) {
                    const float want = std::clamp(z >= 15.625f ? 0.5f * (fForceLane + u) : 0.5f * (ty + u), lo, hi);
                    fForceLane += (want - fForceLane) * 0.25f;
                } else {
                    state = u < spot ? 1 : 2;
                }
            }
            if (state == 1 || state == 2) {
                if (dist2 > 87.8906f || z > Tr + r + 6.25f || (z > Tr && outside(spot))) {
                    state = 0;
                } else {
                    fForceLane += (std::clamp(u + (spot - u) * 0.5f, lo, hi) - fForceLane) * 0.0625f;
                    if (z < 0.75f * Tr)
                        state = 3;
                }
            } else if (state == 3) {
                if (z > 1.25f * Tr || car->vel.xyz().LengthSq() < 0.00338821f) {
                    state = 0;
                } else {
                    const float aim = std::clamp(ty < u ? ty - 0.9375f : ty + 0.9375f, lo, hi);
                    fForceLane += (aim - fForceLane) * 0.25f;
                }
            }
            if (i16DriveSubMode < 3 && a < -15.625f)
                rsdir = !rsdir;
        }
    } else if (t >= 1.0f) {
        VectorDir ch;
        const VectorXYZ p = rs->bezier.CalcParams(pos, ch);
        fU = p[0];
        t = rsdir ? frsT0 : frsT1;
        bTrans = false;
        i16DriveSubMode = 0;
        fForceLane = rsdir ? fU : -fU;
    } else {
        fForceLane = 0.0f;
    }
    mode = s8(state);
    fT = t;
    SimulateDriveCar(dir, fNew, car->fMaxCarSpeed, fadt);

    // Pursuit assists while upright and engaged.
    if (car->mat.y[1] > 0.75f && (state != 0 || dist2 < 3.125f * 3.125f)) {
        const float vx = Dot(VectorDir(car->vel.xyz()), X) * 0.125f;
        car->vel[0] -= X[0] * vx;
        car->vel[2] -= X[2] * vx;
        float push = 0.000194028f;
        if (Mode() == 10)
            push = std::clamp((fNew - Dot(VectorDir(car->vel.xyz()), Z)) / 60.0f, -0.00232833f, 0.000194028f);
        car->vel[0] += Z[0] * push;
        car->vel[2] += Z[2] * push;
        if (state == 3) {
            const VectorDir h = Normalise(VectorDir(dT[0], 0.0f, dT[2]));
            car->vel[0] += h[0] * (0.034925f / 60.0f);
            car->vel[2] += h[2] * (0.034925f / 60.0f);
        }
    }
    if (world.time - car->iLastDrawnTime < 4)
        iCDFlags &= ~CDF_ASLEEPORINACTIVE;
    else if (dist2 > 15.625f * 15.625f)
        iCDFlags |= CDF_ASLEEPORINACTIVE;
    else
        iCDFlags &= ~CDF_ASLEEPORINACTIVE;

    // Righting an overturned car out of the target's way.
    if (car->mat.y[1] < -0.707f && dist2 > 2197.27f && car->vel.xyz().LengthSq() < 0.000135528f) {
        car->mat.x = -car->mat.x;
        car->mat.y = -car->mat.y;
        car->vel = Vector::zeroes();
        car->angvel = Vector::zeroes();
        mat.w[1] -= 0.3125f;
    }
    return 0;
}

int CarDriver::ChaseDoJunctions(float fadt, int&, float, float& t)
{
    const float rad = pveh->radius;
    const float ftApproach = 150.0f * fadt + rad * fIVelT;
    if (i16DriveSubMode == 0) {
        const bool near = rsdir ? frsT1 - ftApproach < t : t < frsT0 + ftApproach;
        if (!near) {
            fDestSpeed = kChaseRoadSpeed;
            return i16DefLane;
        }
        ChaseChooseNextRS(false);
        i16MiscCount = 0;
        i16DriveSubMode = i8NextCode != 0 ? 2 : 1;
        if (i16DriveSubMode == 2)
            fDestSpeed = kChaseTurnSpeed;
    }
    if (i16DriveSubMode < 0 || i16DriveSubMode >= 3)
        return i16DefLane;
    const int lane = i8NextCode > 0 ? 100 : i8NextCode < 0 ? 0 : i16DefLane;
    fDestSpeed = kChaseTurnSpeed;
    const bool enter = rsdir ? frsT1 < t + rad * fIVelT : t - rad * fIVelT < frsT0;
    if (!enter)
        return lane;
    const float u = rsdir ? fU : -fU;
    i16DriveSubMode = 0;
    ChaseChooseNextRS(false);
    Junction* J = JunctionAhead();
    if (nextrs == nullptr || J == nullptr)
        return lane;
    // A sharp turn onto another road arrives in the middle of its lanes;
    // otherwise the car keeps its side offset, within the lanes.
    auto lateral = [&](VectorDir t0, VectorDir t3, bool sameRoad) {
        if (!sameRoad && Dot(t0, t3) < 0.707f)
            return MiddleLane(*this);
        const float first = GetLaneOffsetDist(0, nullptr, true), last = GetLaneOffsetDist(100, nullptr, true);
        const float L = std::clamp(u, std::min(first, last), std::max(first, last));
        return rsdir ? L : -L;
    };
    if (CrossInto(*this, J, lateral))
        fDestSpeed = kChaseTurnSpeed;
    t = 0.0f;
    return lane;
}

int CarDriver::ChaseChooseNextRS(bool bInJunction)
{
    const Junction* J = bInJunction ? rs->jtn[rsdir ? 0 : 1] : rs->jtn[rsdir ? 1 : 0];
    Object* T = pobjTarget != nullptr ? pobjTarget->GetRoot() : nullptr;
    if (J == nullptr || T == nullptr)
        return 0;
    const VectorPos G = T->GetWorldPos() + VectorDir(T->GetWorldMatrix().z.xyz()) * 7.8125f;
    const VectorDir g = G - J->pos;
    RoadSeg* best = nullptr;
    float bestScore = 100000.0f;
    for (int i = 0; i < J->nRoadsegs; i++) {
        RoadSeg* R = J->roadsegs[i];
        if (R == nullptr)
            continue;
        float score = CheckForwardsLanes(J, R) ? 0.0f : 5000.0f;
        const bool starts = R->jtn[0] == J;
        const Bezier& b = R->bezier;
        VectorDir u = (starts ? b.c0.xyz() : b.c3.xyz()) - J->pos;
        if (u.Length() < 0.03125f)
            u = starts ? VectorDir(b.c1.xyz() - b.c0.xyz()) : VectorDir(b.c2.xyz() - b.c3.xyz());
        u = Normalise(u);
        const float a = Dot(g, u);
        if (a < 0.0f)
            score += 1000.0f;
        score += VectorDir(g - u * a).Length();
        if (score < bestScore) {
            bestScore = score;
            best = R;
        }
    }
    if (best == nullptr)
        return 0;
    if (!bInJunction)
        i8NextCode = best == J->Next(rs) ? -1 : best == J->Prev(rs) ? 1 : 0;
    nextrs = best;
    return 0;
}

int CarDriver::ChaseRecalcJunctionBezier()
{
    ChaseChooseNextRS(true);
    if (nextrs == rs || nextrs == nullptr)
        return 0;
    Junction* J = rs->jtn[rsdir ? 0 : 1];
    VectorPos start = CarPos();
    VectorDir tg = Normalise(bez.EvaluateTangent(fT));
    rs = nextrs;
    rsdir = rs->jtn[0] == J;
    CalcRoadLaneOffsets();
    CalcRoadEndTVals();
    const float L = MiddleLane(*this);
    VectorPos end = EntryPoint(L, false);
    VectorDir t3;
    CalcRoadEndTangent(&t3, false);
    bez = CalcEscapeTurnBezier(start, tg, end, t3);
    fT = 0.0f;
    fU = L;
    return 0;
}

// ---------------------------------------------------------------------------
// Race

int CarDriver::Race()
{
    Vehicle* car = pveh;
    if (pSpline == nullptr || pSpline->NumSplines() == 0) {
        car->fAccel = 0.0f;
        car->fBrake = 0.01f;
        return 0;
    }
    float t = fT;
    pSpline->ClosestPointNR(CarPos(), fT, &t);
    fT = t;
    const VectorDir tan = pSpline->Tangent(fT);
    fVelT = tan.Length();
    fIVelT = fVelT > 0.0f ? 1.0f / fVelT : 0.0f;
    VectorDir dir = Normalise(tan);
    const float fNormal = i16DriveMode == 11 ? 8.0f * k : fSetSpeed;
    fLastSpeed = car->vel.xyz().Length();
    const float fadt = 30.0f * std::max(2.0f * k, fLastSpeed) * fIVelT;
    SimulateDriveCar(dir, fNormal, car->fMaxCarSpeed, fadt);
    if (i16DriveMode == 12 && fT >= float(pSpline->NumSplines()))
        DeActivate(false);
    return 0;
}
