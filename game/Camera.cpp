// The game camera's record, construction, message handler and shake.
#include "game/Camera.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "game/QuadTree.h"
#include "game/cine.h"

const int MajorShakeFrames[NumMajorShakeFrames] = {40, 40, -32, -32, 24, 24, -16, -16, 8, 8, -4, -4, 0};
const int MinorShakeFrames[NumMinorShakeFrames] = {20, 20, -14, -14, 8, 8, 2, 2, 0};

const int Camera::iNumCCS = 4;
const float Camera::CombatDistanceGoal = 1.42875f;
const float Camera::PedestrianDistanceGoal = 1.0f;
const float Camera::AngleDirAccel = 0.005f;
const float Camera::AngleDirAccelMoving = 0.05f;
const float Camera::AngleDirAccelSprinting = 0.5f;
const float Camera::AngleYStep = 0.03125f;
const float Camera::RelPosStep = 0.015625f;
const float Camera::PedAbsPosStep = 0.125f;
const float Camera::LookVelYStep = 0.0625f;
const float Camera::LookAtStep = 0.0625f;
const float Camera::CombatAbsPosStep = 1.0f / 18.0f;
const float Camera::CombatAngleX = 0.1396263f;
float Camera::DriveAbsPosStep;

Camera g_DefaultCamera;
Camera* cam = &g_DefaultCamera;

void SetCurrentCam(Camera* c)
{
    cam = c != nullptr ? c : &g_DefaultCamera;
}

Camera* GetCurrentCam()
{
    return cam;
}

namespace {

// The modes' behaviour arrives with the player; until then each operation
// says once that it was asked for.
void NotBuilt(const char* what)
{
    static const char* said[32];
    for (const char*& s : said) {
        if (s == what)
            return;
        if (s == nullptr) {
            s = what;
            printf("camera: %s is not built yet\n", what);
            return;
        }
    }
}

}  // namespace

Camera::Camera() : Object(staticmh)
{
    mat = Matrix(true);
    type = OBJT_CAMERA;
    zoom = 1.6f;
    absposstep = lookstep = 1.0f;
    fBiasFactor = 0.5f;
}

Camera::Camera(Object* _target, VectorPos _relpos) : Object(staticmh)
{
    mat = Matrix(true);
    if (_target != nullptr)
        mat.SetTrans(_target->mat.GetTrans());
    relpos = _relpos;
    target = _target;
    angx = 0.19634955f;
    absposstep = lookstep = 1.0f;
    zoom = 1.6f;
    nearz = 0.0f;
    fBiasFactor = 0.5f;
    fVertShake = fHorShake = 0.0f;
    VertShakeMode = HorShakeMode = SHAKE_NONE;
    iTrack = 0;
    type = OBJT_CAMERA;
    flags = OBJF_FRAMECALL;
    radius = 0.1f;
    // One sphere of radius 0.1 at the origin, then the chain's end.
    u8* block = static_cast<u8*>(calloc(1, sizeof(CollSphere) + 16));
    if (block != nullptr) {
        CollSphere* s = reinterpret_cast<CollSphere*>(block);
        s->type = COLL_SPHERE;
        s->id = 0x1100;
        s->sphere = Sphere(0.0f, 0.0f, 0.0f, 0.1f);
        reinterpret_cast<COLLISION*>(s->Next())->type = COLL_END;
        collision = reinterpret_cast<COLLISION*>(block);
    }
}

Camera* CreateFixedCameraFromCurrent(Object* pobjTarget)
{
    void* p = calloc(1, sizeof(Camera));
    if (p == nullptr)
        return nullptr;
    Camera* c = static_cast<Camera*>(p);
    c->type = OBJT_CAMERA;
    c->mode = CAMMODE_FIXED;
    c->flags = 0;
    c->target = pobjTarget;
    c->messagehandler = Camera::staticmh;
    c->absposstep = c->lookstep = 1.0f;
    c->fBiasFactor = 0.5f;
    c->pvExtra = c->pvExtraSpl = nullptr;
    c->iTrack = 1;
    c->bTargetBias = false;
    c->fAngRangeX = c->fAngRangeY = 3.14159265f;
    c->zoom = cam->zoom;
    c->nearz = cam->nearz;
    c->mat = cam->mat;
    c->angy = cam->angy;
    c->angx = cam->angx;
    c->vpMount = cam->mat.GetTrans();
    return c;
}

int Camera::staticmh(Object* o, OBJMESSAGE msg, void* extra)
{
    return static_cast<Camera*>(o)->mh(msg, extra);
}

int Camera::mh(OBJMESSAGE msg, void* extra)
{
    switch (msg) {
    case OM_FRAME:
        // The shake is taken off before the mode's own smoothing sees the
        // position and put back after it.
        MoveAlongRows(-1.0f);
        Update();
        UpdateShake();
        MoveAlongRows(1.0f);
        return 0;
    case OM_INIT:
        if (mode == CAMMODE_TUNNEL)
            NotBuilt("the tunnel camera");
        return 0;
    case OM_TIMER:
        // Timers lapse while a cinematic runs.
        if (isCinemaRunning)
            return 0;
        if (cam != this)
            CheckCameraTriggers();
        world.SetTimer(this, AnimTime((15 + (rand() & 3)) * 256), nullptr);
        return 0;
    case OM_COLLISION:
        return Collision(static_cast<CollisionRecord*>(extra));
    case OM_DIE:
        if (cam == this)
            SetCurrentCam(nullptr);
        free(pvExtraSpl);
        pvExtraSpl = nullptr;
        if (mode == CAMMODE_PATH || mode == CAMMODE_ORBITING || mode == CAMMODE_GROUP || mode == CAMMODE_FIXED)
            free(pvExtra);
        pvExtra = nullptr;
        if (collision != nullptr && reinterpret_cast<uintptr_t>(collision) >= 4096)
            free(collision);
        collision = nullptr;
        delete this;
        return -1;
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<const SpecialMessage*>(extra);
        if (m != nullptr && m->submsg == SMSG_CAM_CHECK_TRIGGERS)
            CheckCameraTriggers();
        else if (m != nullptr && m->submsg == SMSG_CAM_LOOK_AT && mode == CAMMODE_EXTERIORCINEINCAR)
            NotBuilt("the cinematic in-car shots");
        return 0;
    }
    default:
        return 0;
    }
}

void Camera::MoveAlongRows(float sign)
{
    for (int i = 0; i < 3; i++) {
        if (fVertShake != 0.0f)
            mat.w[i] += sign * mat.y[i] * fVertShake;
        if (fHorShake != 0.0f)
            mat.w[i] += sign * mat.x[i] * fHorShake;
    }
}

void Camera::Update()
{
    switch (mode) {
    case CAMMODE_CONTROLLED_DROP:
    case CAMMODE_CONTROLLED_ATTACH:
        if (target != nullptr)
            mat = target->GetWorldMatrix();
        break;
    case CAMMODE_INCAR_IN:
    case CAMMODE_INCAR_OUT:
        break;
    default:
        if (mode >= 0 && mode < CAMMODE_NUMBER)
            NotBuilt("the camera's follow, in-car and level modes");
        break;
    }
}

void Camera::Shake(bool vertical, bool major)
{
    ShakeMode& m = vertical ? VertShakeMode : HorShakeMode;
    int& f = vertical ? VertShakeFrame : HorShakeFrame;
    if (m != SHAKE_NONE)
        return;
    f = 0;
    m = major ? SHAKE_MAJOR : SHAKE_MINOR;
}

void Camera::UpdateShake()
{
    auto step = [](ShakeMode& m, int& f) {
        if (m == SHAKE_NONE)
            return 0.0f;
        const int* table = m == SHAKE_MAJOR ? MajorShakeFrames : MinorShakeFrames;
        const int count = m == SHAKE_MAJOR ? NumMajorShakeFrames : NumMinorShakeFrames;
        if (f < count)
            return CameraShakeFactor * float(table[f++]);
        f = 0;
        m = SHAKE_NONE;
        return 0.0f;
    };
    fVertShake = step(VertShakeMode, VertShakeFrame);
    fHorShake = step(HorShakeMode, HorShakeFrame);
}

int Camera::Collision(CollisionRecord*)
{
    NotBuilt("the camera's collision response");
    return 0;
}

void Camera::InitPedestrianMode(Object*) { NotBuilt("Camera::InitPedestrianMode"); }
void Camera::InitCombatMode(Object*) { NotBuilt("Camera::InitCombatMode"); }
void Camera::InitCarMode(Object*) { NotBuilt("Camera::InitCarMode"); }
void Camera::InitCarInMode(Object*) { NotBuilt("Camera::InitCarInMode"); }
void Camera::InitCarOutMode(Object*) { NotBuilt("Camera::InitCarOutMode"); }
void Camera::AdvanceCamSettings() { NotBuilt("Camera::AdvanceCamSettings"); }
void Camera::SetReverseCamera(bool) { NotBuilt("Camera::SetReverseCamera"); }
void Camera::SetInCarSettingsFromCamera() { NotBuilt("Camera::SetInCarSettingsFromCamera"); }
void Camera::CutToInCarCameraSettings() { NotBuilt("Camera::CutToInCarCameraSettings"); }
void Camera::ResetCam() { NotBuilt("Camera::ResetCam"); }
void Camera::SetCamToMatrix(const Matrix&) { NotBuilt("Camera::SetCamToMatrix"); }
void Camera::ForceCutTo() { NotBuilt("Camera::ForceCutTo"); }
void Camera::SetupTransition(Camera*) { NotBuilt("Camera::SetupTransition"); }
void Camera::SetupFixedCameraTransition(Camera*) { NotBuilt("Camera::SetupFixedCameraTransition"); }
void Camera::CheckCameraTriggers() { NotBuilt("Camera::CheckCameraTriggers"); }
bool Camera::CheckTriggers()
{
    NotBuilt("Camera::CheckTriggers");
    return false;
}
float Camera::GetDirAngle()
{
    NotBuilt("Camera::GetDirAngle");
    return 0.0f;
}
void Camera::SetPrecisionMode(bool) {}
