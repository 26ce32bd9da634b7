// One tick of a four-wheeled car: engine and gearbox, each wheel's ground
// contact, suspension and tyre, drag, the rigid-body step and the special
// moves.  World y points down; the car's rows are x right, y down, z forward.
// Forces are velocity changes (the integrator has no mass); the time scale
// is the world's playback speed, read afresh by every step.
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Rain.h"
#include "game/SkidMarks.h"
#include "game/TestPart.h"
#include "game/Vehicle.h"
#include "game/VehicleFrame.h"
#include "game/smoke.h"

float g_fSlide = 0.25f;
float g_fRollResist = 0.05f;
float g_rgfTires[4];

namespace {

// The cinematic drive keeps the gearbox and the tyres quiet.
bool CinematicDrive()
{
    return g_pgcTest != nullptr && g_pgcTest->mode == 11;
}

float Clamp(float v, float lo, float hi)
{
    return std::min(std::max(v, lo), hi);
}

// c clamped to plus or minus l, keeping its sign.
float ClampAbs(float c, float l)
{
    return Clamp(c, -l, l);
}

VectorXZ HorizontalUnit(const VectorXYZ& v)
{
    return Normalise(VectorXZ(v[0], v[2]));
}

// The turn from the heading f toward the direction m (positive one way).
float TurnFrom(const VectorXZ& m, const VectorXZ& f)
{
    return m[0] * f[2] - f[0] * m[2];
}

void StopWheelSound(Wheel& w)
{
    Vehicle::StopSFX(&w.iChan);
}

}  // namespace

float Vehicle::CalcEnginePower()
{
    return fEngine > 0.05f ? fEngine * fPowerMult : 0.0f;
}

float Vehicle::CalcBodyRestOffset()
{
    if (wheel[0] == nullptr)
        return 0.0f;
    if (!bCycle)
        return wheel[0]->rest - kWheelLoad / wheel[0]->spring;
    if (pobjFork == nullptr)
        return wheel[0]->rest - kWheelLoad / wheel[0]->spring;
    const VectorPos p = pobjFork->mat * VectorPos(0.0f, wheel[0]->rest, 0.0f);
    return p[1] - (CalcCycleFrontWheelYOffset(kWheelLoad) / wheel[0]->spring) * pobjFork->mat.y[1];
}

void Vehicle::TimeScaledMoveDynamicObject2(VectorDir force, VectorDir torque)
{
    MoveDynamicObject2(force, torque, world.playbackSpeed);
}

void Vehicle::TimeScaledApplyLocalForce(VectorDir force, VectorPos point)
{
    ApplyLocalForce(force * world.playbackSpeed, point);
}

float Vehicle::EngineDemand()
{
    float e = fAccel * 999.99994f;
    if (!HasDriver()) {
        // An empty car stands with its hand brake on.
        fAccel = 0.0f;
        e = 0.0f;
        fHandBrake = 0.02f;
        fEngine = 0.0f;
    }
    if (bPeelOut)
        e = 1.0f;
    return e;
}

void Vehicle::EngineAndGears(float e, bool rearSkidding)
{
    const bool driver = HasDriver();
    const int driverId = DriverId();
    fEngine -= fEngine * fEngine * 0.025f;
    if (fEngine < e)
        fEngine += std::min(bPeelOut ? 0.045f : 0.075f, e - fEngine);
    // At most one shift a step; reverse and neutral are the driver's.
    int shift = 0;
    const bool downRequest = fAccel < 0.0000125f && rearSkidding && gear > 0 && fEngine < 0.75f;
    if (gear >= 2 && (fEngine < 0.6f || downRequest)) {
        gear--;
        fEngine *= fRatios[gear + 1] / fRatios[gear];
        shift = 13;
    } else if (!rearSkidding && gear > 0 && gear < 5 && fEngine > 0.975f) {
        gear++;
        fEngine *= fRatios[gear - 1] / fRatios[gear];
        shift = 12;
    }
    if (shift != 0 && !CinematicDrive() && driver && driverId < 0) {
        const int ch = sound.AllocChannel(false);
        if (ch >= 0) {
            sound.Play(ch, sndbank_car, u16(shift));
            sound.SetVolume(ch, 0.5f, 0.0f);
            sound.SetPosition(ch, GetWorldPos());
        }
    }
}

void Vehicle::MoveVehicle()
{
    const float s = world.playbackSpeed;
    const int driverId = DriverId();

    // 1. The peel-out burst pushes from just below the body's origin.
    if (vSpecialMove == VSpecialMove_PeelOutBurst) {
        if (--iBurstTimeLeft <= 0) {
            vSpecialMove = VSpecialMove_None;
        } else {
            const int q = iTotalBurstTime != 0 ? iBurstTimeLeft / iTotalBurstTime : 0;
            const float F = float(q + 1) * fBurstAccelValue * 0.5f;
            TimeScaledApplyLocalForce(VectorDir(0.0f, 0.0f, F), VectorPos(0.0f, 0.0625f, 0.0f));
        }
    }
    // 2.
    vel[1] += kVehGravity * s;
    // 3.
    auto skidding = [&](int i) { return wheel[i] != nullptr && (wheel[i]->flags & WHEELF_SKIDDING) != 0; };
    const bool allSkidding = skidding(0) && skidding(1) && skidding(2) && skidding(3);
    const bool rearSkidding = skidding(2) && skidding(3);
    // 4.
    const float fwd = Dot(vel.xyz(), mat.z.xyz());
    const int ag = std::abs(int(gear));
    float tgt = fEngine * fRatios[ag] * kRatioSpeed * fMaxCarSpeed;
    if (gear < 0)
        tgt = -tgt;
    // 5.
    const float e = EngineDemand();
    // 6.
    if (vSpecialMove == VSpecialMove_BeingPinned && --iBurstTimeLeft <= 0)
        vSpecialMove = VSpecialMove_None;
    // 7, 8.
    EngineAndGears(e, rearSkidding);
    // 9. The player's steering is squared for fine control near the centre.
    float a = steer;
    if (driverId == -1)
        a = steer * fabsf(steer) * 1.9098593f;

    VectorDir F(0.0f, 0.0f, 0.0f), T(0.0f, 0.0f, 0.0f);
    VectorDir normals(0.0f, 0.0f, 0.0f);
    int n = 0;
    const bool switchblade =
        vSpecialMove == VSpecialMove_BackSwitchBlade || vSpecialMove == VSpecialMove_FrontSwitchBlade;
    if (mat.y[1] <= 0.005f) {
        // 10. On its side or roof.
        OverturnedContact(F, T, 3);
    } else {
        // 11.
        const Matrix lvm = LocalVelocityMatrix();
        const float P = CalcEnginePower();
        float m = 10000.0f;
        float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        VectorDir Fcar(0.0f, 0.0f, 0.0f);
        for (int i = 0; i < 4; i++) {
            if (wheel[i] == nullptr)
                continue;
            const WheelResult r = MoveWheel(i, lvm, a, fwd, tgt, P, allSkidding);
            c[i] = r.compression;
            if (r.touching) {
                n++;
                normals += r.normal;
                if (wheel[i]->flags & WHEELF_DRIVEN)
                    m = std::min(m, r.engine);
            }
            // 13.
            Fcar += r.force;
            T += r.point ^ r.force;
        }
        // 12.
        if (m < 1.0f && fEngine != 0.0f)
            fEngine += m;
        if (switchblade) {
            Fcar[0] = 0.0f;
            Fcar[2] = 0.0f;
        }
        T[2] += (c[1] + c[3] - c[0] - c[2]) * fTBarFact;
        F = ToWorld(mat, Fcar);
    }
    const VectorDir tyreForce = F;

    // 14.
    const VectorPos old = mat.GetTrans();
    if (!switchblade) {
        const VectorDir h(vel[0], 0.0f, vel[2]);
        F -= h * (Cd * Length(h));
    }
    TimeScaledMoveDynamicObject2(F, T);
    // 15. A nearly stopped car does not creep.
    if (vel[0] * vel[0] + vel[2] * vel[2] < 8.470523e-08f) {
        mat.w[0] = old[0];
        mat.w[2] = old[2];
    }
    // 16.
    if (n < 3)
        vel[1] += 0.00046835912f * s;
    // 17.
    fEngine = Clamp(fEngine, 0.0f, 1.0f);
    // 18.
    VectorDir d(0.0f, 0.0f, 0.0f);
    if (n > 0)
        d = -Normalise(normals);
    // 19.
    bool twoWheelRan = false;
    SpecialMoveStep(tyreForce, a, twoWheelRan, n);
    // 20. Back onto four wheels.
    if (!twoWheelRan && n >= 1 && n <= 2 && mat.y[1] > 0.0f && Dot(d, mat.y.xyz()) < 0.9875f) {
        const VectorDir r = ToCar(mat, d ^ VectorDir(mat.y.xyz())) * 0.001f;
        angvel[0] -= r[0];
        angvel[1] -= r[1];
        angvel[2] -= r[2];
    }
    // 21.
    const float damp = fAngVelDamp * s;
    angvel[0] -= angvel[0] * damp;
    angvel[1] -= angvel[1] * damp;
    angvel[2] -= angvel[2] * damp;
}

void Vehicle::OverturnedContact(VectorDir& F, VectorDir& T, int wheelMask)
{
    const Matrix wvm = WorldVelocityMatrix();
    COLLISION* col = GetCollision();
    for (COLLISION* rec = col; rec != nullptr && rec->type == COLL_BOX; rec = reinterpret_cast<CollBox*>(rec)->Next()) {
        const Cuboid& box = reinterpret_cast<CollBox*>(rec)->box;
        for (int k = 0; k < 8; k++) {
            const bool bx = k & 1, bz = k & 2, by = k & 4;
            const float up = (bx ? mat.x[1] : -mat.x[1]) + (bz ? mat.z[1] : -mat.z[1]) + (by ? mat.y[1] : -mat.y[1]);
            if (up < 0.0f)
                continue;
            Wheel* w = wheel[k & wheelMask];
            VectorPos p;
            if (by) {
                if (w == nullptr)
                    continue;
                p = w->mat.GetTrans() + VectorDir(0.0f, w->radius, 0.0f);
            } else {
                p = VectorPos(bx ? box.max[0] : box.min[0], box.min[1], bz ? box.max[2] : box.min[2]);
            }
            const VectorPos wp = PointToWorld(mat, p);
            VectorDir normal;
            const float ground = world.GroundHeight(wp, &normal, w != nullptr ? &w->ghc : nullptr);
            const float depth = wp[1] - ground;
            if (depth <= 0.0f)
                continue;
            if (vel[1] > 0.0f)
                vel[1] -= depth * 0.03125f;
            const Vector v = wvm * Vector(p, 1.0f);
            float Fy = -depth * 0.015625f;
            if (v[1] > 0.0f)
                Fy = std::min(0.0f, Fy - v[1]);
            const VectorDir force(-0.025f * v[0], Fy - 0.05f * std::max(0.0f, v[1]), -0.025f * v[2]);
            F += force;
            T += VectorDir(wp - mat.GetTrans()) ^ force;
        }
    }
    T = ToCar(mat, T);
}

void Vehicle::SpecialMoveStep(const VectorDir& Fworld, float a, bool& twoWheelRan, int n)
{
    const VectorXZ hf = HorizontalUnit(mat.z.xyz());
    const VectorXZ hm = HorizontalUnit(vMiscSpecial.xyz());
    const float speed = Length(vel.xyz());
    const float r = radius != 0.0f ? radius : 1.0f;
    switch (vSpecialMove) {
    case VSpecialMove_EmergencyStop: {
        const VectorDir ms(vMiscSpecial.xyz());
        const float along = std::max(0.0f, Dot(ms, VectorDir(mat.z.xyz())));
        const VectorDir dv = ms * (0.25f * along * Dot(VectorDir(vel.xyz()), ms));
        vel[0] -= dv[0];
        vel[1] -= dv[1];
        vel[2] -= dv[2];
        const float c = ClampAbs(TurnFrom(hm, hf), speed / r);
        angvel[1] += 0.15f * c - 0.6125f * angvel[1];
        break;
    }
    case VSpecialMove_BackSwitchBlade:
    case VSpecialMove_FrontSwitchBlade: {
        const float av = vel[0] * vMiscSpecial[0] + vel[2] * vMiscSpecial[2];
        const float b = mat.z[0] * vMiscSpecial[0] + mat.z[2] * vMiscSpecial[2];
        float c = b <= 0.0f ? vMiscSpecial[3] : TurnFrom(hm, hf);
        c = ClampAbs(c, fabsf(av) / r);
        angvel[1] += 0.25f * c - 0.5f * angvel[1];
        if (fabsf(c) < 0.01f) {
            angvel[1] *= 0.5f;
            vSpecialMove = VSpecialMove_None;
        }
        break;
    }
    case VSpecialMove_90DegreeTurn:
    case VSpecialMove_BeingPinned: {
        const bool pinned = vSpecialMove == VSpecialMove_BeingPinned;
        const float lateral = fabsf(Dot(VectorDir(Fworld), VectorDir(mat.x.xyz())));
        const VectorDir add = VectorDir(vMiscSpecial.xyz()) * (0.4f * lateral);
        const float limit = pinned ? std::max(speed, 0.0232833f) / r : speed / r;
        vel[0] += add[0];
        vel[1] += add[1];
        vel[2] += add[2];
        const float c = ClampAbs(TurnFrom(hm, hf), limit);
        angvel[1] += (pinned ? 0.125f : 0.1f) * c - 0.6125f * angvel[1];
        if (fabsf(c) < 0.1f)
            vSpecialMove = VSpecialMove_None;
        break;
    }
    case VSpecialMove_TwoWheels_Left:
    case VSpecialMove_TwoWheels_Right: {
        if (n < 2)
            break;
        twoWheelRan = true;
        const float target = vSpecialMove == VSpecialMove_TwoWheels_Left ? -0.94247788f : 0.94247788f;
        const float err = target - mat.GetEuler()[2];
        const VectorXZ hv = HorizontalUnit(vel.xyz());
        const float drift = hv[0] * hf[2] - hf[0] * hv[2];
        angvel[1] += 5e-05f * drift + 0.001f * a - 0.125f * angvel[1];
        const VectorDir vc = ToCar(mat, vel.xyz());
        const VectorDir slip = ToWorld(mat, VectorDir(vc[0], vc[1], 0.0f)) * 0.05f;
        vel[0] -= slip[0];
        vel[1] -= slip[1];
        vel[2] -= slip[2];
        angvel[2] += 0.06125f * err - 0.375f * angvel[2];
        break;
    }
    default:
        break;
    }
}

float Vehicle::WheelBrake(Wheel& w, float b, bool driven, bool wasSkidding, float ratioSpeed)
{
    const float beta = std::min(b * fBrakeCoeff, fabsf(w.speed));
    if ((driven && fHandBrake != 0.0f) || !wasSkidding)
        w.speed = w.speed > 0.0f ? w.speed - beta : w.speed + beta;
    if (!driven)
        return 0.0f;
    const float kb = fabsf(w.speed) < 0.034925f ? 2.0f : 3.0f;
    return -beta / (kb * ratioSpeed);
}

float Vehicle::RollingResistance(float L, float speed)
{
    // Rolling backwards (or standing) the resistance is the full load share,
    // as the tuning was made with.
    if (speed > 0.0f)
        return -std::min(L * g_fRollResist, 0.25f * speed);
    return std::max(L * g_fRollResist, 0.25f * speed);
}

void Vehicle::TyreExtras(const Wheel& w, bool spinning, float fwd, VectorDir& Fw)
{
    if (w.bDamaged) {
        const VectorDir vc = ToCar(mat, vel.xyz());
        Fw[0] -= 0.01f * vc[0];
        Fw[2] -= 0.01f * vc[2];
        if (fabsf(fwd) > 0.011641667f)
            Fw[1] -= randf() * 0.001277343f;
    }
    if (spinning)
        Fw[0] += randf() * 0.0013020834f - 0.00065104169f;
}

void Vehicle::GroundPush(VectorDir& Fw, const VectorDir& nc, float depth, float vn, float kerbPush, bool kerb,
                         bool steep)
{
    if (!kerb) {
        Fw[0] += nc[0] * std::max(depth, 0.0f) * 0.2f;
        Fw[2] += nc[2] * std::max(depth, 0.0f) * 0.2f;
        if (steep && fabsf(nc[1]) < 0.707f)
            Fw -= nc * (std::min(0.0f, vn) * 0.125f);
    } else {
        Fw[0] -= nc[0] * kerbPush;
        Fw[2] -= nc[2] * kerbPush;
    }
}

// One wheel: ground, suspension, brakes, drive, grip or slide, its force
// and point of application in the car's frame, its effects and its spin.
WheelResult Vehicle::MoveWheel(int i, const Matrix& lvm, float a, float fwd, float tgt, float P, bool allSkidding)
{
    Wheel& w = *wheel[i];
    const float s = world.playbackSpeed;
    const bool steered = (w.flags & WHEELF_STEERED) != 0;
    const bool driven = (w.flags & WHEELF_DRIVEN) != 0;
    const bool wasSkidding = (w.flags & WHEELF_SKIDDING) != 0;
    const int ag = std::abs(int(gear));
    const float ratioSpeed = fRatios[ag] * kRatioSpeed * fMaxCarSpeed;
    WheelResult r{VectorDir(0.0f, 0.0f, 0.0f), VectorPos(0.0f, 0.0f, 0.0f), 0.0f, false,
                  VectorDir(0.0f, -1.0f, 0.0f), 0.0f};
    float delta = 0.0f;
    float f = 0.0f;

    // 1.
    const float theta = steered ? 0.875f * a : 0.0f;
    w.ang.y = theta;
    const float sn = sinf(theta), cs = cosf(theta);
    // 2.
    const VectorPos p = w.mat.GetTrans() + VectorDir(0.0f, w.radius, 0.0f);
    const VectorPos pw = PointToWorld(mat, p);
    const Vector v4 = lvm * Vector(p, 1.0f);
    const VectorDir v(v4[0], v4[1], v4[2]);
    // 3.
    VectorDir n;
    const float yg = world.GroundHeight(pw, &n, &w.ghc);
    const float depth = pw[1] - yg;
    const VectorPos G(pw[0], yg, pw[2]);
    r.normal = n;
    // 4.
    float b = driven ? (fHandBrake == 0.0f ? fBrake : std::max(fHandBrake, fBrake)) : fBrake;
    if (bPeelOut && steered)
        b = (i == 0 && a > 0.0f) || (i == 1 && a < 0.0f) ? 0.0f : 0.01f;
    // 5.
    const float h = PointToCar(mat, G)[1] - w.radius;
    const bool kerb = n[1] == 0.0f;
    const VectorDir nc = ToCar(mat, n);
    const float vn = Dot(v, nc);
    const float kerbPush = -std::min(fabsf(w.ghc.rsres[3]), 0.02f) * 0.125f + 0.25f * std::min(vn, 0.0f);
    bool marking = false;

    if (h < w.rest) {
        // 7. Suspension.
        r.touching = true;
        const float c = std::max(h, w.yoffset) - w.rest;
        float k = c * w.spring;
        const float L = -k * fabsf(nc[1]);
        if (w.yoffset < h || w.mat.w[1] < h) {
            k += (h - w.mat.w[1]) * w.damper;
            w.mat.w[1] = h;
        } else {
            // On the bump stop: the body's fall is stopped here. The check
            // on the fall is scaled by the world's speed, never the fall
            // itself (above normal speed that would multiply it at every
            // wheel and tick until the car flew apart).
            k += std::max(-0.234375f, h - w.mat.w[1]) * 0.05f;
            if (vel[1] > 0.0f)
                vel[1] = std::max(0.0f, vel[1] + (h - w.mat.w[1]) * 0.0078125f * s);
            w.mat.w[1] = w.yoffset;
        }
        r.compression = c;
        const bool newFrame = VehicleNewWholeFrame();
        // 8.
        if (gRain.density != 0.0f && newFrame) {
            const float kr = Clamp(Length(v) * gRain.density * 10.0f, 0.1f, 1.0f);
            Rain::Splash_Spawn(G, kr, kr);
        }
        // 9.
        if (newFrame && ((w.bDamaged && fabsf(fwd) > 0.011641667f) || h - w.yoffset < (w.rest - w.yoffset) * 0.2f)) {
            VectorPos q = G + RandSphere(0.15625f);
            q[1] = yg;
            Sparkler_Create(this, PointToCar(mat, q), 0.5f, 12.0f, 0.0f);
        }
        // 10.
        const float u = v[0] * sn + v[2] * cs;
        const float wl = v[0] * cs - v[2] * sn;
        VectorDir vg = v;
        vg[0] -= nc[0] * vn;
        vg[2] -= nc[2] * vn;
        const VectorDir sigma(vg[0] - sn * w.speed, 0.0f, vg[2] - cs * w.speed);
        // 11.
        if (b != 0.0f)
            delta = WheelBrake(w, b, driven, wasSkidding, ratioSpeed);
        // 12.
        if (driven) {
            const float ed = gear > 0 ? u - tgt : tgt - u;
            const float g = w.fKinGrip * 1250.0f * L;
            if (ed > 0.0f) {
                if (!wasSkidding) {
                    f = std::max(-g, -0.5f * ed);
                    if (gear <= 0)
                        f = -f;
                    delta += (ed * (bPeelOut ? 0.00125f : 0.5f) + f) / ratioSpeed;
                } else {
                    delta += ed * (bPeelOut ? 0.00125f : 0.125f) / ratioSpeed;
                }
            } else {
                const float D = fabsf(tgt) > 0.00001f ? P / (fabsf(tgt) * 8000.0f) : P;
                if (wasSkidding) {
                    if (fBrake == 0.0f && !bPeelOut)
                        delta += 0.125f * ed / ratioSpeed;
                } else {
                    if (float(gear) * u < 0.0f) {
                        // Rolling against the gear: static friction holds.
                        f = -sigma[2] * w.fStaticFact;
                        if (D == 0.0f && fabsf(u) < 0.001f)
                            f = -0.225f * u;
                    } else {
                        f = gear > 0 ? std::min(D, g) : std::max(-D, -g);
                    }
                    if (!bPeelOut)
                        delta += (0.5f * ed + f) / ratioSpeed;
                }
            }
            w.speed = (tgt + w.speed) * 0.5f;
        } else if (b == 0.0f) {
            w.speed += (u - w.speed) * 0.25f;
        }
        // 13.
        VectorDir sp = sigma;
        sp[2] *= b != 0.0f ? 0.375f : 0.2f;
        const float spLen = Length(sp);
        const VectorDir dl = spLen != 0.0f ? sp / spLen : VectorDir(0.0f, 0.0f, 1.0f);
        const float dlong = dl[0] * sn + dl[2] * cs;
        const float dlat = dl[0] * cs - dl[2] * sn;
        const float fd = (f != 0.0f || b != 0.0f) ? f + 0.25f * (driven ? u - w.speed : 0.0f) : 0.0f;
        const float mu = world.time - iLastCollTime <= 15 ? w.fSlip * 0.125f
                                                          : w.fSlip * (1.0f + 0.25f * fabsf(fwd) / fMaxCarSpeed);
        const bool spinning = driven && bPeelOut;
        float t;
        if (spinning || (L * mu) * (L * mu) < fd * fd + wl * wl) {
            // 14. Sliding.
            const float K = -std::min(std::min(2500.0f * L, 1.0f) * w.fKinGrip, spLen * g_fSlide);
            t = K * dlat;
            f = K * dlong;
            if (spinning) {
                if ((i == 2 && steer > 0.0f) || (i == 3 && steer < 0.0f))
                    f *= 1.9098593f * 2.0f * fabsf(steer);
                else
                    f = 0.0f;
                t *= 1.0f - 1.6711268f * fabsf(steer);
            } else if (driven) {
                if (fHandBrake == 0.0f && allSkidding)
                    t *= 1.2f;
                if (fabsf(dl[0]) > 0.1f && fBrake == 0.0f && fHandBrake == 0.0f)
                    w.speed += 0.5f * (u - w.speed) - 0.125f * f;
            } else {
                if (bPeelOut)
                    t *= 1.25f;
                w.speed += 0.5f * (u - w.speed);
            }
            w.flags |= WHEELF_SKIDDING;
            const float j = spinning ? 1.0f : std::min(12.0f * std::max(fabsf(0.5f * u), fabsf(wl)), 1.0f);
            marking = w.bDamaged || spinning || j >= 0.6f;
            if (marking) {
                if (spinning || world.time % 2 == 0)
                    SkidSmoke_Spawn(G, ToWorld(mat, v), driven ? j + 0.2f : j);
                if (HasDriver() && DriverId() < 0 && !CinematicDrive() && (spinning || j >= 1.0f)) {
                    if (w.iChan < 0) {
                        w.iChan = sound.AllocChannel(true);
                        if (w.iChan >= 0)
                            sound.Play(w.iChan, sndbank_car, 2);
                    }
                    if (w.iChan >= 0) {
                        sound.SetPitch(w.iChan, (j - 0.6f) * 0.875f + 0.85f, 0.0f);
                        sound.SetPosition(w.iChan, G);
                        if (vchannel* ch = sound.GetChannel(w.iChan)) {
                            ch->minVol = 0.0f;
                            ch->minVolAt = 31.25f;
                            ch->maxVol = 0.1f + 0.2f * j;
                            ch->maxVolAt = 0.0f;
                        }
                    }
                }
            } else {
                StopWheelSound(w);
            }
        } else {
            // 15. Gripping.
            t = -(sp[0] * cs - sp[2] * sn) * w.fStaticFact;
            if (b != 0.0f)
                f += -std::min(w.fKinGrip * 2500.0f * L, spLen * 0.125f) * dlong;
            // Rolling backwards (or standing) the resistance is the full
            // load share, as the tuning was made with.
            f += RollingResistance(L, w.speed);
            w.flags &= ~WHEELF_SKIDDING;
            // 16.
            StopWheelSound(w);
        }
        // 17.
        VectorDir Fw(f * sn + t * cs, k, f * cs - t * sn);
        TyreExtras(w, spinning, fwd, Fw);
        g_rgfTires[i] = k / nc[1];
        GroundPush(Fw, nc, depth, vn, kerbPush, kerb, true);
        r.force = Fw;
        r.point = VectorPos(p[0], p[1] * 0.6f, p[2]);
        r.engine = delta;
    } else if (kerb) {
        // 18. Beside a kerb: pushed off its face.
        r.force = VectorDir(-nc[0] * kerbPush, 0.0f, -nc[2] * kerbPush);
        r.point = p;
    } else {
        // 18. In the air: fully out, counted as skidding.
        w.flags |= WHEELF_SKIDDING;
        w.mat.w[1] = w.rest;
        w.speed = driven ? tgt : w.speed * 0.95f;
        StopWheelSound(w);
        r.point = p;
    }

    // 19. The skid mark.
    if (marking && w.pskdr == nullptr && HasDriver()) {
        const int limit = DriverId() == -1 ? SkidDraw::MAX_MARKS_PLAYER : SkidDraw::MAX_MARKS;
        if (SkidDraw::total < limit)
            w.pskdr = SkidDraw::Create();
    }
    if (w.pskdr != nullptr) {
        if (marking)
            w.pskdr->iFadeCount = 2;
        const bool finish = !marking && w.pskdr->iFadeCount == 0;
        if (w.pskdr->AddPos(G, n, finish)) {
            w.pskdr->flags |= SKID_FINISHED;
            w.pskdr = nullptr;
        }
    }
    // 20.
    if (w.radius != 0.0f)
        w.ang.x = FixAng(w.ang.x - w.speed / w.radius);
    w.mat.SetRot(VectorXYZ(w.ang));
    return r;
}
