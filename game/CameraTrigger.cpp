// How level cameras take the view over: their trigger volumes, and the cut
// or the 90-frame glide from the current camera to their own placement.
#include <cmath>

#include "ZevEngine2/World.h"
#include "game/Camera.h"
#include "game/CameraMaths.h"
#include "game/Player.h"
#include "game/QuadTree.h"

using namespace camera;

namespace {

constexpr float kThird = 0.33333f;
constexpr float kTwoPi = 6.2831853f;
// Cuts rather than glides: a turn of 135 degrees or more, or a jump of more
// than 3.125.
constexpr float kCutTurn = 2.3561945f;
constexpr float kCutDistance = 3.125f;
constexpr float kAimRaise = 0.40625f;

// The frame calls of a camera taking over: started once, however often a
// take-over happens before the world's next walk drops a stopped link.
void StartFrames(Camera* c)
{
    if (world.framecalllist.Find(c) == nullptr)
        world.StartFrameCall(c);
    else
        c->flags |= OBJF_FRAMECALL;
}

}  // namespace

bool Camera::CheckTriggers(Extent* rgExtents, int iNumExtents)
{
    if (rgExtents == nullptr)
        return false;
    const VectorPos p = dace != nullptr ? dace->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < iNumExtents; i++)
        if (rgExtents[i].IsValid() && rgExtents[i].Within(p))
            return true;
    return false;
}

void Camera::CheckCameraTriggers()
{
    Camera* current = cam;
    switch (mode) {
    case CAMMODE_FIXED: {
        float dolly, distance;
        // Only a whole fixed-camera block has triggers (DollyParams checks
        // the block's size).
        if (DollyParams(dolly, distance)) {
            FixedCamera_params* b = static_cast<FixedCamera_params*>(pvExtra);
            if (CheckTriggers(&b->trigger1, 4))
                SetupFixedCameraTransition(s8(b->transition_to));
        }
        break;
    }
    case CAMMODE_GROUP: {
        GroupCamera_params* b = static_cast<GroupCamera_params*>(pvExtra);
        if (b != nullptr && CheckTriggers(&b->trigger1, 1)) {
            float t = fSplT;
            const VectorPos dest = CalcTargetCameraPos(false, &t, 0.0f);
            SetupTransition(current, dest, angy, angx, zoom, s8(b->transition_to));
        }
        break;
    }
    case CAMMODE_PATH: {
        PathCamera_params* b = static_cast<PathCamera_params*>(pvExtra);
        Spline* s = static_cast<Spline*>(pvExtraSpl);
        if (b != nullptr && s != nullptr && s->NumSplines() > 0 && CheckTriggers(&b->trigger1, 4)) {
            mat = current->mat;
            fSplT = PathCamTargetT(target != nullptr ? target->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f));
            const VectorPos dest = s->Evaluate(fSplT).xyz();
            fSplVelT = fSplAccT = 0.0f;
            if (iTrack == 2)
                fAngRangeY = 0.0f;
            SetupTransition(current, dest, angy, angx, zoom, s8(b->transition_to));
        }
        break;
    }
    case CAMMODE_ORBITING: {
        OrbitingCamera_params* b = static_cast<OrbitingCamera_params*>(pvExtra);
        if (b != nullptr && CheckTriggers(&b->trigger1, 4)) {
            // Straight onto the orbit, without a glide.
            fSplT = OrbitCamClosestCameraPosT(current->mat.GetTrans());
            fSplVelT = fSplAccT = 0.0f;
            const VectorDir z = VectorDir(current->mat.z.xyz());
            angy = Yaw(z);
            angx = Pitch(z);
            fAccel = 0.09375f;
            vdVel = vdTargVel = VectorDir(Vector::zero().xyz());
            zoom = current->zoom;
            fZoomVel = 0.0f;
            if (b->transition_to != 1) {
                fBiasFactor = 1.0f;
                mat = current->mat;
            }
            StartFrames(this);
            SetCurrentCam(this);
        }
        break;
    }
    default:
        break;
    }
}

void Camera::SetupFixedCameraTransition(int iTransitiontype)
{
    float t = fSplT;
    const VectorPos dest = CalcTargetCameraPos(false, &t, 0.0f);
    SetupTransition(cam, dest, angy, angx, zoom, iTransitiontype);
}

void Camera::ForceCutTo()
{
    if (mode == CAMMODE_FIXED)
        SetupFixedCameraTransition(1);
}

void Camera::SetupTransition(Camera* pCurrCam, VectorPos vpDest, float fYaw, float fPitch, float fZoom, int iCutMode)
{
    if (pCurrCam == nullptr)
        pCurrCam = cam;
    // A straight glide in position and zoom.
    const Vector from(pCurrCam->mat.GetTrans().xyz(), pCurrCam->zoom);
    const Vector to(vpDest.xyz(), fZoom);
    const Vector step = (to - from) * kThird;
    bezPos = Bezier(from, from + step, to - step, to);

    // The angles turn the shorter way.
    const VectorDir facing = VectorDir(pCurrCam->mat.z.xyz());
    const float startYaw = Yaw(facing), startPitch = Pitch(facing);
    float endYaw = fYaw;
    float turn = endYaw - startYaw;
    if (turn > kPi)
        endYaw -= kTwoPi;
    else if (turn < -kPi)
        endYaw += kTwoPi;
    turn = endYaw - startYaw;

    if (target == nullptr)
        target = pCurrCam->target;
    if (target != nullptr && target->id == 0)
        target = dace;

    const float jump = VectorDir(vpDest - pCurrCam->mat.GetTrans()).Length();
    const bool cut = iCutMode == 1 || (iCutMode == 0 && (std::fabs(turn) >= kCutTurn || jump > kCutDistance));
    vpLastTargetPos[0] = kNoLookPoint;
    if (cut) {
        iInterp = 0;
        if (iTrack != 2 && mode != CAMMODE_GROUP && target != nullptr) {
            // Turned towards the target's head as far as the ranges allow.
            const VectorPos aim = target->GetWorldPos() - VectorPos(0.0f, kAimRaise, 0.0f);
            const VectorDir d = Normalise(VectorDir(aim - vpDest));
            const float offY = Clamp(FixAng(Yaw(d) - angy), -fAngRangeY, fAngRangeY);
            const float offX = Clamp(FixAng(Pitch(d) - angx), -fAngRangeX, fAngRangeX);
            mat = Orientation(angx + offX, angy + offY);
        }
        mat.SetTrans(vpDest);
        zoom = fZoom;
    } else {
        iInterp = 1;
        if (std::fabs(turn) > kPi / 2.0f && target != nullptr) {
            // A wide turn goes round the side the target is on.
            const VectorDir v = VectorDir(target->GetWorldPos() - pCurrCam->mat.GetTrans());
            const float side = v[0] * facing[2] - facing[0] * v[2];
            if (side > 0.0f && turn < 0.0f)
                endYaw += kTwoPi;
            else if (side <= 0.0f && turn > 0.0f)
                endYaw -= kTwoPi;
            turn = endYaw - startYaw;
        }
        mat = pCurrCam->mat;
        zoom = pCurrCam->zoom;
    }
    const float pitchTurn = fPitch - startPitch;
    bezAng = Bezier(Vector(startYaw, startPitch, 0.0f, 0.0f),
                    Vector(startYaw + turn * kThird, startPitch + pitchTurn * kThird, 0.0f, 0.0f),
                    Vector(endYaw - turn * kThird, fPitch - pitchTurn * kThird, 0.0f, 0.0f),
                    Vector(endYaw, fPitch, 0.0f, 0.0f));

    fdT = 0.0111111f;
    fT = 0.0f;
    fXAngVel = fYAngVel = 0.0f;
    if (mode == CAMMODE_FIXED || mode == CAMMODE_PATH || mode == CAMMODE_ORBITING)
        fBiasFactor = 0.5f;
    if (mode == CAMMODE_GROUP) {
        mat = pCurrCam->mat;
        zoom = pCurrCam->zoom;
        fBiasFactor = 0.5f;
    }
    StartFrames(this);
    SetCurrentCam(this);
}
