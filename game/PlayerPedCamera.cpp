// The player's own camera while he is on his feet: the right stick turns it,
// walking pulls it behind him, a fist fight swings it to the side of the two
// fighters, a gun target is framed, precision aiming looks over his shoulder
// and a wall in stealth turns it along the wall.
#include "game/Player.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/World.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"

namespace {

constexpr float kDeg = 3.14159265f / 180.0f;
constexpr float kQuarterPi = 0.785398f;
const VectorPos kPrecisionCamPoint(-0.126f, -0.5f, 0.0f);
constexpr float kPrecisionCamDist = 0.22f;
const VectorPos kLookAtOffset(0.0f, -0.46875f, 0.0f);
constexpr int kVoiceGunsPrecisionAim = 30;
constexpr int kTorsoNode = 20;

VectorDir FlatUnit(VectorDir d)
{
    d = VectorDir(d[0], 0.0f, d[2]);
    return d.LengthSq() > 0.0f ? Normalise(d) : VectorDir(0.0f, 0.0f, 1.0f);
}

VectorPos AimPoint(Object* o)
{
    if (o->type == OBJT_CHARACTER)
        if (Object* n = o->FindSubObject(kTorsoNode))
            return n->GetWorldPos();
    return o->GetWorldPos();
}

bool ArmOut(const GunArm& a)
{
    return !a.ModeIs(GunArm::UNARMED) && !a.ModeIs(GunArm::CARRYING_TO_UNARMED) && !a.ModeIs(GunArm::CARRYING);
}

}  // namespace

void Dace::PedestrianMoveCamera(PlayerController& c)
{
    Camera* k = cam;
    if (k == nullptr)
        return;
    const int sx = StickAxis(c.rdata[4]);
    const int sy = StickAxis(c.rdata[5]);
    float yaw = float(sx);
    if (pedanim::In(mode2, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_LAND_ANI))
        return;

    VectorXY l(float(StickAxis(c.rdata[6])) * 0.0114943f, float(StickAxis(c.rdata[7])) * 0.0114943f);
    const float llen = std::sqrt(l[0] * l[0] + l[1] * l[1]);
    if (llen > 1.0f)
        l = VectorXY(l[0] / llen, l[1] / llen);

    const float t = std::clamp(k->dist - 0.25f, 0.0f, 1.0f);
    if (mode == DACEMODE_STEALTH)
        k->angx = 0.174533f * (1.0f + t);
    else if (mode != DACEMODE_GUNS)
        k->angx = 0.0872665f * (1.0f + t);

    const bool interior = g_pgcTest != nullptr && g_pgcTest->bInterior;
    const bool precision = shootmode == SHOOT_PRECISION;
    const VectorPos me = GetWorldPos();
    bool clampOnly = false;
    if (!interior && mode == DACEMODE_FISTS && target != nullptr) {
        // The side view of the two fighters, unless the stick steers.
        if (sx == 0 && k->target != nullptr) {
            const VectorDir d = FlatUnit(VectorDir(target->GetWorldPos() - me));
            VectorDir p(-d[2], 0.0f, d[0]);
            const VectorDir v = FlatUnit(VectorDir(k->target->GetRoot()->GetWorldPos() - k->mat.GetTrans()));
            if (Dot(v, p) < -0.2f)
                p = VectorDir(d[2], 0.0f, -d[0]);
            const float cross = p[2] * v[0] - p[0] * v[2];
            const float mag = std::trunc((1.0f - Dot(v, p)) * 256.0f);
            yaw = cross > 0.0f ? mag : -mag;
        }
        clampOnly = true;
    } else if ((mode == DACEMODE_GUNS || ArmOut(leftgunarm) || ArmOut(rightgunarm)) && (target != nullptr || precision)) {
        if (precision && frame - shootingframe > 50.0f) {
            const VectorDir fwd = target != nullptr ? FlatUnit(VectorDir(AimPoint(target) - me)) : FlatUnit(VectorDir(mat.z.xyz()));
            k->angy = steptoang(k->angy, Heading(fwd), 2.0f * Camera::LookVelYStep);
            VectorDir e;
            if (target != nullptr) {
                e = Normalise(VectorDir(AimPoint(this) - AimPoint(target)));
            } else if (lgun != nullptr) {
                const Matrix g = RotY(1.5707963f) * lgun->GetWorldMatrix();
                e = VectorDir(g.z.xyz()) * -0.5f;
            }
            k->angx = steptoang(k->angx, 5.0f * kDeg - ArcSin(e[1]), k->angxstep);
            if (g_pgcTest != nullptr)
                k->zoom += (g_pgcTest->stats.fPrecisionZoom - k->zoom) * 0.1f;
            k->dist += (kPrecisionCamDist - k->dist) * 0.5f;
            const bool wasThere = VectorDir(k->relposgoal - kPrecisionCamPoint).LengthSq() <= 0.003125f * 0.003125f;
            k->relposgoal = k->relposgoal + VectorDir(kPrecisionCamPoint - k->relposgoal) * (4.0f * Camera::LookVelYStep);
            k->relpos = k->relposgoal;
            const bool isThere = VectorDir(k->relposgoal - kPrecisionCamPoint).LengthSq() <= 0.003125f * 0.003125f;
            if (!wasThere && isThere &&
                (pedanim::In(mode2, GUNS_IDLE_FIRE_ANI, GUNS_IDLE_RESTART_FIRE_ANI) ||
                 pedanim::In(mode2, GUNS_FWALL_FIREAHEAD_ANI, GUNS_FWALL_BEGIN_FIREBACK_R_ANI) ||
                 pedanim::In(mode2, GUNS_HWALL_FIREAHEAD_ASSUME_ANI, GUNS_HWALL_FIREBACK_R_ANI)) &&
                DaceVO.IsStopped())
                DaceVO.Play(kVoiceGunsPrecisionAim, 0);
        } else if (target != nullptr) {
            k->relposgoal = k->relposgoal + VectorDir(kLookAtOffset - k->relposgoal) * Camera::LookVelYStep;
            if (k->zoom > 1.6f)
                k->zoom += (1.6f - k->zoom) * 0.1f;
            const VectorPos a = AimPoint(target);
            k->angy = steptoang(k->angy, Heading(FlatUnit(VectorDir(a - me))), 2.0f * k->angystep);
            const VectorDir e = Normalise(VectorDir(AimPoint(this) - a));
            k->angx = steptoang(k->angx, 10.0f * kDeg - std::clamp(ArcSin(e[1]), -10.0f * kDeg, 10.0f * kDeg), k->angxstep);
            k->Update();
        }
        clampOnly = true;
    } else if (target == nullptr) {
        if (!precision) {
            k->angx = steptoang(k->angx, k->angxgoal, k->angxstep * 0.01f);
            k->relposgoal = k->relposgoal + VectorDir(kLookAtOffset - k->relposgoal) * Camera::LookVelYStep;
            if (k->zoom > 1.6f)
                k->zoom += (1.6f - k->zoom) * 0.1f;
            if (std::fabs(k->angxgoal - 10.0f * kDeg) > 0.001f && world.timePrecise - k->collideTime > AnimTime(30720))
                k->angxgoal = steptoang(k->angxgoal, 10.0f * kDeg, k->angxstep);
            clampOnly = true;
        }
    } else {
        clampOnly = true;
    }
    if (clampOnly && !precision)
        k->dist = std::clamp(k->dist, 0.25f, 3.0f);

    // The right stick steers; for a while after, nothing else does.
    if (yaw != 0.0f || sy != 0 || std::fabs(lookvely) > 0.001f) {
        k->angy = steptoang(k->angy, FixAng(k->angy - yaw * 0.0078125f), Camera::LookVelYStep);
        if (k->iTrack != 1) {
            // Kept within the camera's range at once, so that not even one
            // frame puts it inside him.
            if (sy > 0 || k->dist > 0.25f)
                k->dist = std::clamp(k->dist + float(sy) * 0.00078125f, 0.25f, 3.0f);
            else
                k->dist = 0.25f;
        }
        k->fT = frame;
        if (mode != DACEMODE_GUNS)
            k->iTrack = 2;
        return;
    }

    if (k->iTrack == 1 && frame - k->fT > 20.0f) {
        k->distgoal = Camera::PedestrianDistanceGoal;
        k->iTrack = 0;
    }
    if (k->iTrack >= 2 && frame - k->fT > 180.0f)
        k->iTrack = 0;
    if (k->iTrack >= 2)
        return;
    k->dist += (k->distgoal - k->dist) * k->diststep * 0.2f;

    const bool r3 = (c.pad & BUT_THUMB_R) != 0;
    bool follow = false;
    float h = Heading(VectorDir(mat.z.xyz()));
    if (r3) {
        follow = true;
    } else if (collidestate == FREE && !pedanim::In(mode2, PED_IDLE_ANI, PED_IDLE_CHECKTIME_ANI) &&
               mode2 != PED_ARREST_FAIL_ANI) {
        follow = mode == DACEMODE_CINEWALK || (std::fabs(l[0]) > 0.2f && l[1] < 0.5f);
    }
    if (follow) {
        const Matrix m = RotX(-k->angx) * RotY(h);
        const VectorPos p = me + VectorDir(k->relpos);
        const VectorPos want = p - VectorDir(m.z.xyz()) * k->dist;
        VectorPos hit;
        VectorDir n;
        if (world.CheckRay(p, want, &hit, &n, this, nullptr, 0xFF00) != nullptr)
            k->dist += (Length(VectorDir(hit - p)) - k->dist) * k->diststep * 1.4f;
        float step = k->angystep;
        if (mode == DACEMODE_STEALTH)
            step *= l[1] > 0.0f ? 0.1f : 0.3f;
        k->angy = steptoang(k->angy, h, step);
        k->Update();
        return;
    }

    // Along the wall he has his back to, in stealth.
    if ((collidestate == BACK_STATIC_FULL || collidestate == BACK_STATIC_HALF) && mode == DACEMODE_STEALTH) {
        float wh = Heading(VectorDir(mat.z.xyz()) * -1.0f);
        bool strong = false;
        auto wallEnd = [&](float dt) {
            if (collspline == nullptr)
                return false;
            const VectorPos q(collspline->Evaluate(collsplinet + dt).xyz());
            const VectorDir toq = VectorDir(q - me);
            return toq.LengthSq() > 0.0f && Dot(VectorDir(mat.z.xyz()), Normalise(toq)) < -0.707107f;
        };
        switch (mode2) {
        case STEALTH_FWALL_WALK_L_ANI:
        case STEALTH_HWALL_WALK_L_ANI:
            wh += kQuarterPi;
            strong = true;
            break;
        case STEALTH_FWALL_WALK_R_ANI:
        case STEALTH_HWALL_WALK_R_ANI:
            wh -= kQuarterPi;
            strong = true;
            break;
        case STEALTH_FWALL_IDLE_L_ANI:
        case STEALTH_HWALL_IDLE_L_ANI: strong = wallEnd(-1.5f); break;
        case STEALTH_FWALL_IDLE_R_ANI:
        case STEALTH_HWALL_IDLE_R_ANI: strong = wallEnd(1.5f); break;
        default: break;
        }
        k->angy = steptoang(k->angy, wh, strong ? k->angystep : k->angystep * 0.1f);
        k->Update();
    }
}
