// The cameras that follow a character on foot: the player's on-foot camera
// on its springs, the fight camera that chases a heading, and the simpler
// followers (a plain follower, one held beside the target, a fixed offset).
#include <algorithm>
#include <cmath>

#include "game/Camera.h"
#include "game/CameraMaths.h"

using namespace camera;

namespace {

constexpr float kGroundClearance = 0.3125f;
// Below the ground by more than this the camera is under a bridge or a roof
// and is left where it is.
constexpr float kUnderCover = 0.9375f;
constexpr float kEyeHeight = 0.46875f;
constexpr float kMaxAccel = 0.375f;

template <class T>
void Ease(T& v, const T& goal, float step)
{
    v = v + (goal - v) * step;
}

}  // namespace

float Camera::GetDirAngle(VectorDir d)
{
    const VectorDir local = target != nullptr ? IntoRotation(target->GetWorldMatrix(), d) : d;
    return ArcTan2(local[0], local[2]);
}

void Camera::UpdateFollow()
{
    if (target == nullptr)
        return;
    const VectorPos anchor = target->GetWorldMatrix() * relpos;
    const VectorPos cur = mat.GetTrans();
    const VectorPos wanted = anchor - dir * dist;
    VectorPos p = cur + VectorDir(wanted - cur) * absposstep;
    VectorPos look;
    if (dist > 0.01f) {
        const VectorPos base = cur + dir * dist;
        look = base + VectorDir(anchor - base) * lookstep;
    } else {
        // Too close to look at the anchor: look along the facing instead.
        const VectorPos base = cur + dir;
        look = base + VectorDir((p + dir) - base) * lookstep;
    }
    const float ground = GroundHeight(p, nullptr);
    if (ground - kGroundClearance < p[1] && p[1] < ground + kUnderCover)
        p[1] = ground - kGroundClearance;
    mat = Orientation(angx, angy) * LookatMatrix(p, look);
}

void Camera::UpdateCombat()
{
    if (target == nullptr)
        return;
    angx += (angxgoal - angx) * angxstep;
    dist += (distgoal - dist) * diststep;
    angy += (angygoal - angy) * angystep;
    Ease(relpos, relposgoal, relposstep);
    dirang = GetDirAngle(dir);
    diry = dir[1];

    // The heading closes on its goal but never passes it.
    const float d = FixAng(dirang - diranggoal);
    dirangspeed += dirangaccel * (d * d - std::fabs(dirangspeed));
    if (d > 0.0f) {
        dirangspeed = std::min(dirangspeed, d);
        dirang = FixAng(dirang - dirangspeed);
    } else {
        dirangspeed = std::min(dirangspeed, -d);
        dirang = FixAng(dirang + dirangspeed);
    }
    diry += (dirygoal - diry) * dirystep;
    const float flat = 1.0f - diry;
    dir = target->GetWorldMatrix() * VectorDir(Sin(dirang) * flat, diry, Cos(dirang) * flat);
    UpdateFollow();
}

void Camera::UpdatePedestrian()
{
    if (target == nullptr)
        return;
    Ease(relpos, relposgoal, relposstep);
    dir = VectorDir(Orientation(-angx, angy).z.xyz());
    angy = Yaw(dir);
    const VectorPos anchor = target->GetWorldMatrix() * relpos;
    const VectorPos wanted = anchor - dir * dist;
    const VectorPos pos = mat.GetTrans();

    vdVel = (VectorDir(wanted - pos) * fAccel - vdVel * 0.125f) * 0.333f;
    const VectorPos p = pos + vdVel;
    vdTargVel = VectorDir(anchor - vpLastTargetPos) * fAccel - vdTargVel * 0.125f;
    VectorPos look;
    if (dist > 0.01f)
        look = vpLastTargetPos + vdTargVel;
    else
        look = vpLastTargetPos + VectorDir((p + dir) - vpLastTargetPos) * lookstep;
    mat = LookatMatrix(p, look);
    vpLastTargetPos = look;
    // The springs stiffen again after every entry, so the camera catches up
    // gently.
    if (fAccel < kMaxAccel)
        fAccel = std::min(kMaxAccel, fAccel + 0.001875f);
}

void Camera::UpdateRelativePos()
{
    if (target == nullptr)
        return;
    const VectorPos tp = target->GetWorldPos();
    VectorDir h = VectorDir(mat.GetTrans() - tp);
    h[1] = 0.0f;
    h = Normalise(h);
    const VectorPos p(tp[0] + h[0] * dist, tp[1] + diry, tp[2] + h[2] * dist);
    mat = Orientation(angx, angy) * LookatMatrix(p, tp + relpos);
}

void Camera::UpdateHelicopter()
{
    if (target == nullptr)
        return;
    const Matrix tw = target->GetWorldMatrix();
    mat = LookatMatrix(tw * relpos, tw.GetTrans());
}

void Camera::InitPedestrianMode(Object* newtarget, bool threequartersview)
{
    mode = CAMMODE_PEDESTRIAN;
    target = newtarget;
    if (target == nullptr)
        return;
    const Matrix tw = target->GetWorldMatrix();
    const VectorPos tp = tw.GetTrans();
    // From far away the camera starts over at its place behind the target.
    const VectorPos q = tw * (threequartersview ? VectorPos(2.5f, -kEyeHeight, -2.5f)
                                                : VectorPos(0.0f, -0.0871557f, 0.9961947f));
    if (VectorDir(mat.GetTrans() - q).LengthSq() > 39.0625f)
        mat.SetTrans(q);
    const VectorPos pos = mat.GetTrans();
    const VectorDir z = VectorDir(mat.z.xyz());
    // The look point starts where the camera already looks.
    relpos = VectorPos(IntoRotation(tw, NearestOnLine(pos, z, tp) - tp));
    if (threequartersview) {
        angx = 0.0872665f;
        angy = 6.2831855f;
        dist = 1.0f;
    } else {
        angy = Yaw(z);
        angx = ArcSin(VectorX(z[1]));
        dist = VectorDir(pos - tp).Length();
    }
    relposgoal = VectorPos(0.0f, -kEyeHeight, 0.0f);
    distgoal = PedestrianDistanceGoal;
    angxgoal = angx;
    angygoal = angy;
    diststep = 0.1f;
    angystep = 0.03125f;
    absposstep = 0.125f;
    relposstep = 0.015625f;
    lookstep = 1.0f;
    angxstep = 1.0f;
    fAccel = 0.0375f;
    vdVel = vdTargVel = VectorDir(Vector::zero().xyz());
    vpLastTargetPos = tw * relpos;
    Update();
}

void Camera::InitCombatMode(Object* newtarget)
{
    mode = CAMMODE_COMBAT;
    target = newtarget;
    relpos = VectorPos(0.0f, -0.3125f, 0.0f);
    relposgoal = VectorPos(0.0f, 0.0f, 0.3125f);
    dist = distgoal = CombatDistanceGoal;
    diry = dirygoal = 0.25f;
    dirang = diranggoal = 0.0f;
    angx = angy = angxgoal = angygoal = 0.0f;
    dirangspeed = 0.0f;
    dirangaccel = 0.005f;
    absposstep = 0.125f;
    dirystep = 0.0625f;
    relposstep = 0.015625f;
    angystep = 0.03125f;
    lookstep = 1.0f;
    diststep = 1.0f;
    angxstep = 1.0f;
}

void Camera::ResetCam()
{
    if (mode != CAMMODE_PEDESTRIAN)
        return;
    relpos = relposgoal;
    dist = distgoal;
    dir = VectorDir(Orientation(-angx, angy).z.xyz());
    angy = Yaw(dir);
    const VectorPos look = (target != nullptr ? target->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f)) + relpos;
    vpLastTargetPos = look;
    mat = LookatMatrix(look - dir * dist, look);
    vdVel = vdTargVel = VectorDir(Vector::zero().xyz());
}

void Camera::SetCamToMatrix(Matrix& matNew)
{
    mat = matNew;
    if (mode != CAMMODE_PEDESTRIAN || target == nullptr)
        return;
    // Following goes on from this view.
    const VectorPos anchor = target->GetWorldMatrix() * relpos;
    const VectorDir z = VectorDir(matNew.z.xyz());
    angy = angygoal = Yaw(z);
    angx = ArcSin(VectorX(z[1]));
    const VectorPos pos = mat.GetTrans();
    dist = VectorDir(pos - anchor).Length();
    vpLastTargetPos = pos + z * dist;
    vdVel = vdTargVel = VectorDir(Vector::zero().xyz());
}
