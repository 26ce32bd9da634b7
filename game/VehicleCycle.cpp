// One tick of a motorbike: the car's step cut down to two wheels, the front
// one in a steering telescopic fork, the rear one on a swinging arm, and a
// lean controller that banks the bike into its turns.  A bike lays no skid
// marks and throws no smoke, sparks or splashes.
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/VehicleFrame.h"

float g_fTest = 0.4f;
float g_fVehGain = 0.0375f;
float g_fVehDamp = 0.5f;

namespace {

// Below this forward speed the bike counts as standing.
constexpr float kStandingSpeed = 0.002328333f;
// The lean on the side stand (7 degrees toward it).
constexpr float kStandLean = -0.12217306f;
// The lean for full steer at speed (0.4375 pi).
constexpr float kLeanPerSteer = 1.3744469f;
// In reverse the engine gives at most this.
constexpr float kReverseEngine = 0.125f;

float Sign(float v)
{
    return v > 0.0f ? 1.0f : v < 0.0f ? -1.0f : 0.0f;
}

}  // namespace

VectorPos Vehicle::GetCycleWheelCyclePos(int i)
{
    Wheel* w = wheel[i != 0 ? 1 : 0];
    if (w == nullptr)
        return VectorPos(0.0f, 0.0f, 0.0f);
    VectorPos p = w->mat.GetTrans();
    if (i == 0) {
        if (pobjSlider != nullptr)
            p = pobjSlider->mat * p;
        if (pobjFork != nullptr)
            p = pobjFork->mat * p;
    } else if (pobjSwingArm != nullptr) {
        p = pobjSwingArm->mat * p;
    }
    return p;
}

float Vehicle::CalcCycleFrontWheelYOffset(float y)
{
    // The travel along the fork that gives a vertical move y.
    if (pobjFork == nullptr || pobjFork->mat.y[1] == 0.0f)
        return y;
    return y / pobjFork->mat.y[1];
}

int Vehicle::MoveCycleWheelY(int i, float dy)
{
    if (i == 0) {
        if (pobjSlider != nullptr)
            pobjSlider->mat.w[1] += CalcCycleFrontWheelYOffset(dy);
        return 0;
    }
    Wheel* w = wheel[1];
    if (pobjSwingArm == nullptr || w == nullptr || w->mat.w[2] == 0.0f)
        return 0;
    // The arm turns about its own origin by the angle that lifts the wheel
    // (at its distance along the arm) by dy.
    const Matrix r = RotX(-dy / w->mat.w[2]);
    Matrix& m = pobjSwingArm->mat;
    const Vector pos = m.w;
    Matrix rows = m;
    rows.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    m = rows * r;
    m.w = pos;
    return 0;
}

void Vehicle::ForkRotateToYAng(float a)
{
    if (pobjFork == nullptr)
        return;
    Matrix& m = pobjFork->mat;
    const VectorDir y(m.y.xyz());
    const VectorDir x = Normalise(y ^ VectorDir(0.0f, 0.0f, 1.0f));
    const VectorDir z = Normalise(x ^ y);
    Matrix rows(true);
    rows.x = Vector(x, 0.0f);
    rows.y = Vector(y, 0.0f);
    rows.z = Vector(z, 0.0f);
    const Vector pos = m.w;
    m = RotY(a) * rows;
    m.w = pos;
}

void Vehicle::MoveCycle()
{
    const float s = world.playbackSpeed;
    // 1.  No peel-out burst and no pinning here.
    vel[1] += kVehGravity * s;
    // 2.
    const bool rearSkidding = wheel[1] != nullptr && (wheel[1]->flags & WHEELF_SKIDDING) != 0;
    const float fwd = Dot(vel.xyz(), mat.z.xyz());
    // 3.
    if (gear < 0)
        fEngine = std::min(fEngine, kReverseEngine);
    const int ag = std::abs(int(gear));
    float tgt = fEngine * fRatios[ag] * kRatioSpeed * fMaxCarSpeed;
    if (gear < 0)
        tgt = -tgt;
    // The engine and the gearbox, as for a car.
    EngineAndGears(EngineDemand(), rearSkidding);

    VectorDir F(0.0f, 0.0f, 0.0f), T(0.0f, 0.0f, 0.0f);
    const bool upright = mat.y[1] > 0.005f;
    if (!upright) {
        // 5.  On its side: the body's corners on the ground, no lean control.
        OverturnedContact(F, T, 1);
    } else {
        const Matrix lvm = LocalVelocityMatrix();
        const float P = CalcEnginePower();
        float m = 10000.0f;
        VectorDir Fcar(0.0f, 0.0f, 0.0f);
        for (int i = 0; i < 2; i++) {
            if (wheel[i] == nullptr)
                continue;
            const WheelResult r = MoveCycleWheel(i, lvm, fwd, tgt, P);
            if (r.touching && (wheel[i]->flags & WHEELF_DRIVEN))
                m = std::min(m, r.engine);
            Fcar += r.force;
            T += r.point ^ r.force;
        }
        // 17.
        if (m < 1.0f && fEngine != 0.0f)
            fEngine += m;
        F = ToWorld(mat, Fcar);
        // 18.  Lean into the turn, or onto the side stand.
        const bool onStand = bKickStand && fabsf(fwd) < kStandingSpeed;
        const float target =
            onStand ? kStandLean
                    : steer * (std::min(fabsf(fwd) / fMaxCarSpeed, 0.5f) * 1.5f + 0.25f) * kLeanPerSteer;
        angvel[2] += (target - mat.GetEuler()[2]) * g_fVehGain - angvel[2] * g_fVehDamp;
    }
    // 19.
    const VectorPos old = mat.GetTrans();
    const VectorDir h(vel[0], 0.0f, vel[2]);
    F -= h * (Cd * Length(h));
    TimeScaledMoveDynamicObject2(F, T);
    if (vel[0] * vel[0] + vel[2] * vel[2] < 8.470523e-08f || (bKickStand && fabsf(fwd) < kStandingSpeed)) {
        mat.w[0] = old[0];
        mat.w[2] = old[2];
    }
    fEngine = std::clamp(fEngine, 0.0f, 1.0f);
    // 20.
    bPeelOut = false;
    const float damp = fAngVelDamp * s;
    angvel[0] -= angvel[0] * damp;
    angvel[1] -= angvel[1] * damp;
    angvel[2] -= angvel[2] * damp;
}

WheelResult Vehicle::MoveCycleWheel(int i, const Matrix& lvm, float fwd, float tgt, float P)
{
    Wheel& w = *wheel[i];
    const bool steered = (w.flags & WHEELF_STEERED) != 0;
    const bool driven = (w.flags & WHEELF_DRIVEN) != 0;
    const bool wasSkidding = (w.flags & WHEELF_SKIDDING) != 0;
    const int ag = std::abs(int(gear));
    const float ratioSpeed = fRatios[ag] * kRatioSpeed * fMaxCarSpeed;
    WheelResult r{VectorDir(0.0f, 0.0f, 0.0f), VectorPos(0.0f, 0.0f, 0.0f), 0.0f, false,
                  VectorDir(0.0f, -1.0f, 0.0f), 0.0f};
    float delta = 0.0f;
    float f = 0.0f;

    // 6.  The steering lock narrows with speed.
    const float theta = steered ? steer * (0.125f + 0.875f * (1.0f - fabsf(fwd) / fMaxCarSpeed)) : 0.0f;
    w.ang.y = theta;
    const float sn = sinf(theta), cs = cosf(theta);
    const VectorPos p = GetCycleWheelCyclePos(i) + VectorDir(0.0f, w.radius, 0.0f);
    const VectorPos pw = PointToWorld(mat, p);
    const Vector v4 = lvm * Vector(p, 1.0f);
    const VectorDir v(v4[0], v4[1], v4[2]);
    VectorDir n;
    const float yg = world.GroundHeight(pw, &n, &w.ghc);
    const float depth = pw[1] - yg;
    const VectorPos G(pw[0], yg, pw[2]);
    r.normal = n;
    // 7.
    float rest = w.rest, stop = w.yoffset;
    if (steered) {
        ForkRotateToYAng(theta);
        if (pobjFork != nullptr) {
            rest = (pobjFork->mat * VectorPos(0.0f, w.rest, 0.0f))[1];
            stop = (pobjFork->mat * VectorPos(0.0f, w.yoffset, 0.0f))[1];
        }
    }
    // 10.
    const bool braking = fBrake != 0.0f || (driven && fHandBrake != 0.0f);
    const float b = driven ? (fHandBrake == 0.0f ? fBrake : std::max(fHandBrake, fBrake)) : fBrake;
    const float h = PointToCar(mat, G)[1] - w.radius;
    const bool kerb = n[1] == 0.0f;
    const VectorDir nc = ToCar(mat, n);
    const float vn = Dot(v, nc);
    const float kerbPush = -std::min(fabsf(w.ghc.rsres[3]), 0.02f) * 0.125f + 0.25f * std::min(vn, 0.0f);
    const float centreY = GetCycleWheelCyclePos(i)[1];

    if (h < rest) {
        // 8.  Suspension.
        r.touching = true;
        const float c = std::max(h, stop) - rest;
        float k = c * w.spring;
        const float L = -k;
        if (stop < h) {
            const float d = h - centreY;
            k += d * w.damper;
            MoveCycleWheelY(i, d);
        } else {
            if (vel[1] > 0.0f)
                vel[1] = std::max(0.0f, vel[1] + (h - w.mat.w[1]) * 0.125f);
            MoveCycleWheelY(i, stop - centreY);
        }
        r.compression = c;
        const float u = v[0] * sn + v[2] * cs;
        const float wl = v[0] * cs - v[2] * sn;
        VectorDir vg = v;
        vg[0] -= nc[0] * vn;
        vg[2] -= nc[2] * vn;
        const VectorDir sigma(vg[0] - sn * w.speed, 0.0f, vg[2] - cs * w.speed);
        // 10.  Brakes.
        if (braking && b != 0.0f)
            delta = WheelBrake(w, b, driven, wasSkidding, ratioSpeed);
        // 11.  Drive.
        if (driven) {
            const float ed = gear > 0 ? u - tgt : tgt - u;
            const float g = w.fKinGrip * 1250.0f * L;
            const float D = fabsf(tgt) > 0.00001f ? P / (fabsf(tgt) * 8000.0f) : P;
            if (ed > 0.0f) {
                if (!wasSkidding) {
                    f = std::max(-g, -0.5f * ed);
                    if (gear <= 0)
                        f = -f;
                    delta += (ed * (bPeelOut ? 0.00125f : 0.5f) - f) / ratioSpeed;
                } else {
                    delta += ed * (bPeelOut ? 0.00125f : 0.125f) / ratioSpeed;
                }
            } else {
                if (wasSkidding) {
                    if (fBrake == 0.0f && !bPeelOut)
                        delta += 0.125f * ed / ratioSpeed;
                } else {
                    f = gear > 0 ? D : -D;
                    if (!bPeelOut)
                        delta += (0.5f * ed + f) / ratioSpeed;
                }
            }
            w.speed = (tgt + w.speed) * 0.5f;
        } else if (b == 0.0f) {
            w.speed += (u - w.speed) * 0.25f;
        }
        // 12.  One tyre law.
        const float sLen = Length(sigma);
        const VectorDir dl = sLen != 0.0f ? sigma / sLen : VectorDir(0.0f, 0.0f, 1.0f);
        const float dlong = dl[0] * sn + dl[2] * cs;
        const float st = sigma[0] * cs - sigma[2] * sn;
        const float Gt = g_fTest * w.fKinGrip * 2500.0f * L;
        float t = -Sign(st) * std::min(std::min(Gt, 0.125f * sLen), 0.125f * fabsf(st));
        if (braking)
            f += -std::min(Gt, 0.125f * sLen) * dlong;
        f += RollingResistance(L, w.speed);
        w.flags &= ~WHEELF_SKIDDING;
        StopSFX(&w.iChan);
        // 13.  Standing, the tyre does not push the bike sideways.
        if (fabsf(fwd) < kStandingSpeed && t * wl >= 0.0f)
            t = 0.0f;
        // 14.
        VectorDir Fw(f * sn + t * cs, k, f * cs - t * sn);
        TyreExtras(w, driven && bPeelOut, fwd, Fw);
        g_rgfTires[i] = nc[1] != 0.0f ? k / nc[1] : k;
        GroundPush(Fw, nc, depth, vn, kerbPush, kerb, false);
        r.force = Fw;
        r.point = VectorPos(p[0], p[1] * 0.5f, p[2]);
        r.engine = delta;
    } else if (kerb) {
        // 15.  Beside a kerb: pushed off its face.
        r.force = VectorDir(-nc[0] * kerbPush, 0.0f, -nc[2] * kerbPush);
        r.point = p;
    } else {
        // 15.  In the air: the wheel drops to its rest.
        w.flags |= WHEELF_SKIDDING;
        MoveCycleWheelY(i, rest - centreY);
        w.speed = driven ? tgt : w.speed * 0.95f;
        StopSFX(&w.iChan);
        r.point = p;
    }
    // The wheel rolls; its steering is the fork's.
    if (w.radius != 0.0f)
        w.ang.x = FixAng(w.ang.x - w.speed / w.radius);
    w.mat.SetRot(VectorXYZ(w.ang.x, 0.0f, w.ang.z));
    return r;
}
