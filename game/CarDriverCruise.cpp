// One frame of the ambient traffic (drive mode 5): keep the lane, slow down
// behind the car ahead, stop at signals and obstacles, turn at junctions.
// Cars near the camera are driven through their controls; the others slide
// along the road curves without physics.
#include "game/cardrivr.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Utilities.h"
#include "game/GameFEnt.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

constexpr float k = kCDSpeedStep;
constexpr float kMaxSteer = 0.523599f;   // 30 degrees

float FlatSpeed(const Vehicle* v)
{
    return std::sqrt(v->vel[0] * v->vel[0] + v->vel[2] * v->vel[2]);
}

}  // namespace

void CarDriver::MakeKinematic()
{
    VectorDir chord;
    const VectorXYZ r = rs->bezier.CalcParams(CarPos(), chord);
    fT = r[2];
    fU = r[0];
    fVelT = rs->bezier.EvaluateTangent(fT).Length();
    fIVelT = fVelT > 0.0f ? 1.0f / fVelT : 0.0f;
    pveh->mode = 1;
    pveh->ClearFX();
    for (int i = 0; i < 4; i++)
        if (Wheel* w = pveh->wheel[i])
            w->mat.w[1] = fRestGroundOffset - w->radius;
}

void CarDriver::MakePhysical()
{
    Vehicle* car = pveh;
    car->mode = 0;
    car->vel = Vector(CarForward() * fLastSpeed, 0.0f);
    car->angvel = Vector::zeroes();
    car->fEngine = fLastSpeed < 0.5f * k ? 0.01f : 0.5f;
    car->gear = rs != nullptr && rs->type != nullptr && rs->type->speed > 0.75f ? 4 : 1;
    car->fBrake = car->fHandBrake = car->steer = 0.0f;
    for (int i = 0; i < 4; i++) {
        if (Wheel* w = car->wheel[i]) {
            w->speed = fLastSpeed;
            w->ghc.Clear();
            w->mat.w[1] = fRestGroundOffset - w->radius;
        }
    }
    VectorPos at = car->mat.GetTrans();
    at[1] += fRestGroundOffset - GROUND_STEP;
    VectorDir n;
    car->mat.w[1] = world.GroundHeight(at, &n, nullptr) - fRestGroundOffset;
}

int CarDriver::CruiseTo()
{
    Vehicle* car = pveh;
    const VectorDir fwd = CarForward();

    // 1. Traffic around the player's car drives with it: faster against it,
    // a little slower along it, fast on the highways.
    float s = 1.0f;
    Object* proot = dace != nullptr ? dace->GetRoot() : nullptr;
    if (proot != nullptr && proot->type == OBJT_VEHICLE) {
        const Vehicle* pc = static_cast<const Vehicle*>(proot);
        const float dp = Dot(fwd, VectorDir(pc->mat.z.xyz()));
        if (rs != nullptr && rs->type != nullptr && rs->type->speed > 0.75f)
            s = 1.8f;
        else if (pc == car)
            s = 1.0f;
        else if (dp > 0.0f)
            s = 1.0f - 0.2f * dp * std::min(std::max(pc->vel.xyz().Length(), 0.0f), 3.0f * k) / (3.0f * k);
        else
            s = 1.0f - 0.2f * dp;
    }

    // 2. The road.
    if (rs == nullptr) {
        bTrans = false;
        i16DriveSubMode = 0;
        i8NextCode = 0;
        if (pvg != nullptr && pvg->prs != nullptr)
            SetCurrentRS(pvg->prs);
        else
            SetCurrentRS();
        if (rs == nullptr)
            SetCurrEscapeJuncAndNextRS();
        if (rs != nullptr)
            ChooseNextRS();
    }

    // 3. Look-ahead, every few frames.
    int stopReason;
    if (--i16CheckTime <= 0) {
        const float dOld = fStopDist;
        fStopDist = std::max(0.5f * k, fLastSpeed) * 105.0f + car->radius;
        if (bForceStopped) {
            const float d2 = dace != nullptr ? VectorXYZ(dace->GetRoot()->GetWorldPos() - CarPos()).LengthSq() : 1e30f;
            if (d2 > 2.44140625f || world.time > iForceStoppedTime + 120)
                bForceStopped = false;
        }
        fDestSpeed = bTrans && i8LastCode != 0 ? 2.0f * k : 4.5f * k;
        VectorDir lead(0.0f, 0.0f, 0.0f);
        stopReason = CheckToAdjust(&fStopDist, &lead) ? 1 : 0;
        if (stopReason != 0) {
            float f = std::max(0.0f, Dot(lead, fwd));
            if (f > 0.1f * k) {
                i16CheckTime = s16(4 + rand() % 4);
                if (fStopDist < fLastSpeed * 105.0f + car->radius)
                    f *= 0.25f;
                fDestSpeed = 0.75f * f;
                if (bForceStopped) {
                    stopReason = 17;
                    fStopDist = dOld;
                } else {
                    stopReason = 0;
                }
            } else {
                i16CheckTime = s16(2 + rand() % 2);
                bForceStopped = true;
                iForceStoppedTime = world.time;
            }
        } else {
            i16CheckTime = s16(4 + rand() % 4);
            if (bForceStopped) {
                stopReason = 17;
                fStopDist = dOld;
            }
        }
    } else {
        stopReason = bForceStopped ? 17 : 0;
    }

    // 4. Speed ramp.
    float target = fDestSpeed * s * fSpeedFact;
    if (iForceReal != 0 && (iForceCommand & 8))
        target *= 1.2f;
    float v = fLastSpeed + std::clamp(target - fLastSpeed, -0.025f * k, 0.025f * k);
    const float vTurn = std::min(2.0f * k * s, v), vStraight = std::min(4.5f * k * s, v);
    v = bTrans && i8LastCode != 0 ? vTurn : vStraight;
    if (rs == nullptr) {
        // Nowhere to drive: stand.
        car->fBrake = 0.01f;
        car->fAccel = 0.0f;
        return 0;
    }

    // 5. Where the car is on its curve.
    VectorDir roadDir = fwd;
    if (car->mode == 0) {
        const Bezier& cur = bTrans ? bez : rs->bezier;
        VectorDir chord;
        const VectorXYZ r = cur.CalcParams(CarPos(), chord);
        fT = r[2];
        fU = r[0];
        const VectorDir tan = cur.EvaluateTangent(fT);
        fVelT = tan.Length();
        fIVelT = fVelT > 0.0f ? 1.0f / fVelT : 0.0f;
        roadDir = Normalise(tan);
    }

    // 6. The parameter step.
    const bool backwards = !bTrans && !rsdir;
    const float dt = v * fIVelT * world.playbackSpeed;
    float t = backwards ? fT - dt : fT + dt;

    // 7. Lane changes take effect near the middle of a segment.
    const float h = i16TransitionFromLane < i16CurrentLane ? 0.55f : 0.45f;
    int lane;
    if (bTrans)
        lane = i16TransitionFromLane;
    else if (rsdir)
        lane = fT >= h ? i16CurrentLane : i16TransitionFromLane;
    else
        lane = fT < h ? i16CurrentLane : i16TransitionFromLane;

    // 8. Junctions.
    iCDFlags &= ~CDF_STOPPED;
    const bool wasTrans = bTrans;
    if (!bTrans)
        lane = CruiseDoJunctions(dt, lane, stopReason, vStraight, t);
    const bool began = !wasTrans && bTrans;

    // 9. Braking to a stop behind an obstacle or at the line.
    if (bForceStopped || (!bTrans && (iCDFlags & CDF_STOPPED))) {
        iCDFlags |= CDF_STOPPED;
        float D = std::max(fStopDist - car->radius, 0.0f);
        if (stopReason & 0x20) {
            stopReason &= ~0x20;
            if (!bTrans)
                D = std::min(std::fabs(t - fT) * fVelT, D);
            fStopDist = D;
        }
        const float w = 0.0125f * D;
        if (std::fabs(w - fLastSpeed) > 0.05f * k)
            v = w < fLastSpeed ? fLastSpeed - 0.05f * k : fLastSpeed + std::min(0.125f * (w - fLastSpeed), 0.05f * k);
        else
            v = fLastSpeed + 0.125f * (w - fLastSpeed);
        t = !bTrans && !rsdir ? fT - v * fIVelT : fT + v * fIVelT;
        fStopDist -= fLastSpeed;
        if (std::fabs(D) < 0.15625f) {
            v = 0.0f;
            t = fT;
        }
    }

    // 10. The end of a turn.
    if (began) {
        t = 0.0f;
    } else if (bTrans && t >= 1.0f) {
        t = rsdir ? frsT0 : frsT1;
        bTrans = false;
        i16DriveSubMode = 0;
    }

    const VectorPos pos = CarPos();
    if (car->mode == 0) {
        // 11. A physical car: steer for the lane, work the pedals.
        fT = t;
        float m = 0.0f;
        if (iForceReal != 0) {
            if (iForceCommand & 1)
                m = -0.546875f;
            else if (iForceCommand & 2)
                m = 0.546875f;
            iForceReal--;
        }
        const float o = bTrans ? m : GetLaneOffsetDist(lane, nullptr, false) + (rsdir ? m : -m);
        fLastLaneModifier = m != 0.0f ? m : fLastLaneModifier * 0.99f;

        if (!(iCDFlags & CDF_REVERSING)) {
            if (!bTrans || car->vel.xyz().LengthSq() > 5.42113e-06f) {
                iLastMoveTime = world.time;
            } else {
                iForceReal++;
                if (world.time - iLastMoveTime > 600 && car->steer != 0.0f) {
                    iCDFlags |= CDF_REVERSING;
                    iLastMoveTime = world.time;
                    car->steer = (rand() & 0x100) ? kCDReverseSteer : -kCDReverseSteer;
                    return 0;
                }
            }
        } else if (!(iCDFlags & CDF_PINNED)) {
            iForceReal++;
            if (!BackingOutDone(75, 0.0005f))
                return 0;
        }

        VectorXZ aim;
        if (!bTrans) {
            // The sideways error is measured across the curve, so its
            // correction is too, whichever way the car travels.
            const float e = fU - o;
            const VectorDir side(e * roadDir[2], 0.0f, -e * roadDir[0]);
            const VectorDir r = backwards ? -roadDir : roadDir;
            const float u = std::max(r[0] * car->vel[0] + r[2] * car->vel[2], k);
            const VectorDir a = (r * 4.0f - side) * u;
            aim = VectorXZ(a[0], a[2]);
        } else {
            const VectorXYZ p = bez.Evaluate(fT + 8.0f * dt).xyz() - pos;
            aim = VectorXZ(p[0], p[2]);
        }
        const float angle = Angle(VectorXZ(fwd[0], fwd[2]), aim);
        car->steer = std::clamp(angle, -kMaxSteer, kMaxSteer);

        fLastSpeed = v;
        const float g = FlatSpeed(car);
        if (std::fabs(v) < 0.1f * k && g < 0.1f * k) {
            car->fHandBrake = 0.04f;
            car->fAccel = 0.0f;
            car->fBrake = v < g ? 0.005f : car->fBrake * 0.875f;
        } else {
            car->fHandBrake = 0.0f;
            if (v < g) {
                car->fAccel = 0.0f;
                if (v == 0.0f || g / v > 1.3f) {
                    const float b = std::min(g - v, 0.025f * k) * 8.58984f;
                    if (b > 0.0f)
                        car->fBrake += (b - car->fBrake) * 0.125f;
                    else
                        car->fBrake = b;
                } else {
                    car->fBrake *= 0.875f;
                }
            } else {
                car->fAccel = 0.001f - 0.00127324f * std::min(std::fabs(angle), 0.392699f);
                car->fBrake = 0.0f;
            }
        }

        if (iForceReal == 0 && !bTrans) {
            const VectorPos p = rc.world_view * pos;
            const float rc_ = car->radius;
            if (p[2] > rc_ + 14.0625f || p[2] < -(rc_ + 1.5625f))
                MakeKinematic();
        }
        return 0;
    }

    // 12. A kinematic car slides along the curve.
    const Bezier& cur = bTrans ? bez : rs->bezier;
    VectorDir side, tan;
    const VectorPos P(cur.EvaluateWithNormalAndTangent(t, side, tan).xyz());
    fT = t;
    fVelT = tan.Length();
    fIVelT = fVelT > 0.0f ? 1.0f / fVelT : 0.0f;
    VectorPos np;
    if (!bTrans) {
        const float e = GetLaneOffsetDist(lane, nullptr, false) - fU;
        if (!((e < 0.0f && (iCDFlags & CDF_CARLEFT)) || (e > 0.0f && (iCDFlags & CDF_CARRIGHT)))) {
            const float step = std::min({0.25f * fLastSpeed, 0.0130208f, std::fabs(0.5f * e)});
            fU += e < 0.0f ? -step : e > 0.0f ? step : 0.0f;
        }
        np = P + side * fU;
        np[1] += (rs->type != nullptr ? rs->CrossSectHeight(fU) : 0.0f) - fRestGroundOffset;
    } else {
        np = P;
    }
    if (!bTrans && !rsdir) {
        side = -side;
        tan = -tan;
    }
    const VectorDir vel = np - pos;
    car->vel = Vector(vel, 0.0f);
    fLastSpeed = v;
    const float flat = std::sqrt(vel[0] * vel[0] + vel[2] * vel[2]);
    VectorDir heading = fwd;
    if (flat > 0.01f) {
        const VectorDir ut = Normalise(tan);
        const VectorDir want = Normalise(VectorDir(vel[0], ut[1] * flat, vel[2]));
        const float cross = fwd[2] * want[0] - fwd[0] * want[2];
        const float th = std::clamp(0.125f * cross, -0.06125f, 0.06125f);
        const float c = std::cos(th), sn = std::sin(th);
        heading = Normalise(VectorDir(fwd[0] * c + fwd[2] * sn, want[1], fwd[2] * c - fwd[0] * sn));
    }
    const VectorDir x = Normalise(VectorDir(side - heading * Dot(side, heading)));
    const VectorDir y = heading ^ x;
    car->mat = Matrix(Vector(x, 0.0f), Vector(y, 0.0f), Vector(heading, 0.0f), Vector(np, 1.0f));

    const VectorPos p = rc.world_view * np;
    const float rc_ = car->radius;
    if (iForceReal != 0 ||
        (-(rc_ + 0.3125f) < p[2] && p[2] < rc_ + 13.125f && (p[2] < 2.0f * rc_ || std::fabs(p[0]) < p[2])))
        MakePhysical();
    return 0;
}
