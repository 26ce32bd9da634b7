// The cameras of a car: the chase camera with its four views and the held
// look-back, the rigid mount on the car, the arcade mount, and the cinematic
// camera that cuts between four shots of a driving car.
#include <cmath>

#include "game/Camera.h"
#include "game/CameraMaths.h"
#include "game/Player.h"
#include "game/Vehicle.h"

using namespace camera;

const CamCustomSettings rgccs[4] = {
    {CAMMODE_INCAR, -0.3839725f, 1.875f, 0.1963495f, 0.0f},
    {CAMMODE_INCAR, -0.2443461f, 1.71875f, 0.1308997f, 0.0f},
    {CAMMODE_INCAR, -0.2443461f, 2.421875f, 0.1308997f, 0.0f},
    {CAMMODE_ONCAR, -0.2443461f, 2.421875f, 0.1308997f, 0.0f},
};
const CamCustomSettings ccsReverse = {CAMMODE_INCAR, -0.1919862f, 2.5f, 0.1963495f, 3.1415927f};

float g_fCamGainTest = 0.1f, g_fCamDampTest = 0.45f;
float g_fCamGainTest2 = 0.5f, g_fCamDampTest2 = 0.5f;
float g_fgaintest = 0.75f, g_fdamptest = 0.125f;

VectorPos rvdCarDriveCineRelPos[4] = {
    VectorPos(0.0134375f, -0.243125f, 0.483125f),
    VectorPos(0.3803125f, -0.2278125f, 0.00125f),
    VectorPos(0.0921875f, -0.2184375f, -0.3128125f),
    VectorPos(-1.9625f, -0.325f, 0.1334375f),
};
VectorPos rvdCarDriveCineRelTargetPos[4] = {
    VectorPos(0.02f, -0.325f, 0.0f),
    VectorPos(0.02f, -0.325f, 0.015625f),
    VectorPos(0.0921875f, -0.325f, 0.0f),
    VectorPos(0.02f, -0.325f, 0.1334375f),
};

namespace {

// The player's head is above his origin; the chase camera looks at it.
constexpr float kPlayerLookRaise = 0.234375f;
constexpr float kGroundClearance = 0.3125f;

void LoadSetting(Camera& c, const CamCustomSettings& s)
{
    c.mode = s8(s.camMode);
    c.relangx = s.fAngXGoal;
    c.distgoal = s.fDistGoal;
    c.angxgoal = s.fAngX;
    c.angygoal = s.fAngY;
}

}  // namespace

Matrix Camera::ChaseFrame(VectorPos& look) const
{
    // The car's facing, but never pitched up by more than 45 degrees, so a
    // car climbing a wall does not tip the view over.
    VectorDir z = VectorDir(target->GetRoot()->GetWorldMatrix().z.xyz());
    if (z[1] < -0.707f) {
        const float h = std::sqrt(z[0] * z[0] + z[2] * z[2]);
        if (h > 1e-6f)
            z = Normalise(VectorDir(z[0], -h, z[2]));
    }
    Matrix f = LookAlong(z);
    look = target->GetWorldPos();
    if (target == dace)
        look = look - VectorPos(f.y.xyz()) * kPlayerLookRaise;
    f.SetTrans(look);
    return f;
}

void Camera::KeepAboveGround()
{
    VectorPos p = mat.GetTrans();
    const float ground = GroundHeight(p, nullptr);
    if (p[1] > ground - kGroundClearance) {
        p[1] = ground - kGroundClearance;
        mat.SetTrans(p);
    }
}

void Camera::InitCarMode(Object* newtarget)
{
    if (mode == CAMMODE_INCAR)
        return;
    const CamCustomSettings& s = rgccs[iCurrCCS & 3];
    mode = CAMMODE_INCAR;
    target = newtarget;
    angx = angy = 0.0f;
    angxgoal = s.fAngX;
    dist = distgoal = s.fDistGoal;
    relangx = s.fAngXGoal;
    relpos = VectorPos(RotX(relangx).z.xyz() * -dist);
    dir = dirgoal = VectorDir(Vector::zero().xyz());
    dirang = 1.0f;
    angygoal = angy;
    // The look point starts where the car lies on the current line of sight.
    const VectorPos pos = mat.GetTrans();
    vpLastTargetPos = target != nullptr ? NearestOnLine(pos, VectorDir(mat.z.xyz()), target->GetWorldPos()) : pos;
}

void Camera::AdvanceCamSettings(bool bRestoreLast)
{
    const s8 old = mode;
    if (!bRestoreLast)
        iCurrCCS = (iCurrCCS + 1) % iNumCCS;
    iCurrCCS &= 3;
    const CamCustomSettings& s = rgccs[iCurrCCS];
    LoadSetting(*this, s);
    if (s.camMode == CAMMODE_CARARCADE)
        relpos = VectorPos(0.0f, 0.0f, s.fAngX);
    // Between two chase views only the pitch eases over; the distance and
    // offset angle wait for the next cut.
    if (!bRestoreLast && mode != old && mode == CAMMODE_INCAR)
        CutToInCarCameraSettings();
}

void Camera::SetReverseCamera(bool bSet)
{
    if (bSet && !bReverseCamera) {
        LoadSetting(*this, ccsReverse);
        CutToInCarCameraSettings();
        bReverseCamera = true;
    } else if (!bSet && bReverseCamera) {
        bReverseCamera = false;
        AdvanceCamSettings(true);
        CutToInCarCameraSettings();
    }
}

void Camera::CutToInCarCameraSettings()
{
    relpos = VectorPos(Orientation(relangx, angygoal).z.xyz() * -distgoal);
    if (target == nullptr)
        return;
    VectorPos look;
    const Matrix f = ChaseFrame(look);
    angx = angxgoal;
    const VectorPos eye = f * relpos;
    mat = Orientation(angx * dirang, angy) * LookatMatrix(eye, look);
    KeepAboveGround();
    dir = dirgoal = VectorDir::null();
}

void Camera::SetInCarSettingsFromCamera(Camera* pOldCam)
{
    if (pOldCam != nullptr)
        mat = pOldCam->mat;
    angx = angy = 0.0f;
    dir = dirgoal = VectorDir(Vector::zero().xyz());
    const VectorPos pos = mat.GetTrans();
    vpLastTargetPos = target != nullptr ? NearestOnLine(pos, VectorDir(mat.z.xyz()), target->GetWorldPos()) : pos;
}

void Camera::InitCarInMode(Object* newtarget, VectorPos)
{
    target = newtarget;
    mode = CAMMODE_INCAR_IN;
    if (target != nullptr) {
        const Matrix car = target->GetWorldMatrix();
        relposgoal = VectorPos(IntoRotation(car, mat.GetTrans() - car.GetTrans()));
    }
}

void Camera::InitCarOutMode(Object* newtarget, VectorPos)
{
    mode = CAMMODE_INCAR_OUT;
    target = newtarget;
    dirygoal = 0.25f;
    distgoal = 1.0f;
    angygoal = angxgoal = 0.0f;
}

int Camera::UpdateInCarCam()
{
    if (target == nullptr)
        return 0;
    // At rest the position spring is an eighth as stiff as at speed.
    float k = 1.0f;
    const Object* root = target->GetRoot();
    if (root->type == OBJT_VEHICLE) {
        const float s = std::min(1.0f, static_cast<const Vehicle*>(root)->vel.xyz().Length() * 42.949173f);
        k = (1.0f + 7.0f * s) / 8.0f;
    }
    VectorPos look;
    const Matrix f = ChaseFrame(look);
    angx += (angxgoal - angx) * 0.05f;

    // The camera spring works in the car's frame, softer sideways and up.
    const VectorDir c = IntoRotation(f, mat.GetTrans() - look);
    const VectorDir gain = VectorDir(0.5f, 0.75f, 1.0f) * g_fCamGainTest;
    const VectorDir damp = VectorDir(1.0f, 0.5f, 1.0f) * g_fCamDampTest;
    dir = dir + (VectorDir(relpos - c) * gain) * k - damp * dir;
    const VectorPos eye = f * VectorPos(c + dir);

    // The look point follows the car on a spring of its own.
    dirgoal = dirgoal + VectorDir(look - vpLastTargetPos) * (g_fCamGainTest2 * k) - dirgoal * g_fCamDampTest2;
    vpLastTargetPos += dirgoal;
    mat = Orientation(angx * dirang, angy) * LookatMatrix(eye, vpLastTargetPos);
    KeepAboveGround();
    return 0;
}

void Camera::UpdateOnCar()
{
    // Rigid on the car the player sits in, at the offset of the last cut.
    Object* carrier = dace != nullptr ? static_cast<Object*>(dace) : target;
    if (carrier == nullptr)
        return;
    const Matrix r = carrier->GetRoot()->GetWorldMatrix();
    const VectorPos eye = r * relpos;
    mat = r;
    mat.SetTrans(eye);
}

void Camera::UpdateCarArcade()
{
    if (target == nullptr)
        return;
    const Matrix r = target->GetRoot()->GetWorldMatrix();
    const VectorPos eye = r.GetTrans() - VectorPos(0.0f, distgoal, 0.0f);
    mat = LookatMatrix(eye, r * relpos);
}

void Camera::TakeCineShot(int shot)
{
    // A shot is placed on the car it films; without one the camera keeps
    // the view it was made with.
    if (shot < 0 || shot > 3 || target == nullptr)
        return;
    iTrack = shot;
    relpos = rvdCarDriveCineRelPos[shot];
    relposgoal = rvdCarDriveCineRelTargetPos[shot];
    dir = dirgoal = VectorDir(Vector::zero().xyz());
    zoom = 2.0f;
    const Matrix r = target->GetWorldMatrix();
    vpLastTargetPos = r * relposgoal;
    mat = LookatMatrix(r * relpos, vpLastTargetPos);
}

void Camera::UpdateCineInCar()
{
    if (target == nullptr)
        return;
    const Matrix r = target->GetWorldMatrix();
    VectorPos e = r * relpos;
    const VectorPos l = r * relposgoal;
    // Kept above the ground unless the shot is far below it (under a bridge).
    const float ground = GroundHeight(e, nullptr);
    if (ground - kGroundClearance < e[1] && e[1] < ground + 0.9375f)
        e[1] = ground - kGroundClearance;
    const VectorPos pos = mat.GetTrans();
    dir = VectorDir(e - pos) * g_fgaintest - dir * g_fdamptest;
    dirgoal = VectorDir(l - vpLastTargetPos);
    vpLastTargetPos = l;
    mat = LookatMatrix(pos + dir, l);
}
