// The game camera's record, construction, message handler, per-frame
// dispatch, collision response and shake.
#include "game/Camera.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "game/GameFlow.h"
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

Camera::Camera() : Object(staticmh)
{
    // A camera made on the stack, not the object heap, gets no zero-filled
    // storage: what the view reads, and the blocks its death frees, are set
    // here.
    mat = Matrix(true);
    pvExtra = pvExtraSpl = nullptr;
    type = OBJT_CAMERA;
    zoom = 1.6f;
    nearz = 0.0f;
    fVertShake = fHorShake = 0.0f;
    VertShakeMode = HorShakeMode = SHAKE_NONE;
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
    pvExtra = pvExtraSpl = nullptr;   // no mode block yet, wherever it is made
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
        collision = pcollOwn = reinterpret_cast<COLLISION*>(block);
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
            InitTunnel();
        return 0;
    case OM_TIMER:
        // Timers lapse while a cinematic runs: the chain stops here and
        // starts again only when other code sets a timer.
        if (isCinemaRunning)
            return 0;
        if (cam != this && !(g_pgcTest != nullptr && g_pgcTest->mode == GCM_CINEWALK)) {
            CheckCameraTriggers();
        } else if (mode == CAMMODE_EXTERIORCINEINCAR) {
            // A different shot every three to four seconds.
            iTrack = (iTrack + 1 + int(randf() * 3.0f)) % 4;
            SpecialMessage look(SMSG_CAM_LOOK_AT, this, iTrack);
            staticmh(this, OM_SPECIAL, &look);
            world.SetTimer(this, AnimTime(u32((180.0f + 60.0f * randf()) * 256.0f)), nullptr);
            return 0;
        }
        world.SetTimer(this, AnimTime(u32((15 + int(randf() * 4.0f)) * 256)), nullptr);
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
        // Only the block this camera's constructor made is its own: an
        // index into a model file's table, a model file's entry or the zero
        // of a zero-filled camera belong to others.
        free(pcollOwn);
        if (collision == pcollOwn)
            collision = nullptr;
        pcollOwn = nullptr;
        delete this;
        return -1;
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<const SpecialMessage*>(extra);
        if (m != nullptr && m->submsg == SMSG_CAM_CHECK_TRIGGERS)
            CheckCameraTriggers();
        else if (m != nullptr && m->submsg == SMSG_CAM_LOOK_AT && mode == CAMMODE_EXTERIORCINEINCAR)
            TakeCineShot(m->param[0].i);
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
    const Camera* current = cam;
    switch (mode) {
    case CAMMODE_INCAR:
        UpdateInCarCam();
        break;
    case CAMMODE_NORMAL:
        UpdateFollow();
        break;
    case CAMMODE_CONTROLLED_DROP:
    case CAMMODE_CONTROLLED_ATTACH:
        if (target != nullptr)
            mat = target->GetWorldMatrix();
        break;
    case CAMMODE_COMBAT:
        UpdateCombat();
        break;
    case CAMMODE_PEDESTRIAN:
        UpdatePedestrian();
        break;
    case CAMMODE_RELATIVEPOS:
        UpdateRelativePos();
        break;
    case CAMMODE_LOCKED:
        if (iInterp != 0)
            PlayGlide(true);
        break;
    case CAMMODE_FIXED:
    case CAMMODE_LOCKEDAT:
    case CAMMODE_PATH:
    case CAMMODE_GROUP:
    case CAMMODE_ORBITING:
        if (current != this) {
            // Parked until a transition makes it current again.
            mat.SetTrans(bezPos.c3.xyz());
            world.StopFrameCall(this);
        } else if (mode == CAMMODE_ORBITING) {
            UpdateOrbitCamera();
        } else {
            UpdateLevelCamera();
        }
        break;
    case CAMMODE_ANIMCONTROLLED:
        UpdateAnimControlled();
        break;
    case CAMMODE_EXTERIORCINEINCAR:
        UpdateCineInCar();
        break;
    case CAMMODE_ONCAR:
        UpdateOnCar();
        break;
    case CAMMODE_TUNNEL:
        UpdateTunnel();
        break;
    case CAMMODE_CARARCADE:
        UpdateCarArcade();
        break;
    case CAMMODE_HELICOPTERTEST:
        UpdateHelicopter();
        break;
    default:
        // CAMMODE_INCAR_IN, CAMMODE_INCAR_OUT and values outside the modes
        // have no per-frame rule.
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

int Camera::Collision(CollisionRecord* cr)
{
    if (cr == nullptr)
        return 0;
    const Object* other = cr->HitObj();
    if (other == nullptr || other->id == -1)
        return 0;
    switch (other->type) {
    case OBJT_STATIC:
    case OBJT_CHARACTER:
    case OBJT_PLACEHOLDER:
    case OBJT_DEBRIS:
    case OBJT_DYNAMIC:
        break;
    default:
        return 0;
    }
    if (!cr->GetInfo())
        return 0;
    // The normal points from the other shape to the camera; the depth is
    // negative while the two overlap.
    const VectorDir n = cr->Normal();
    const float depth = cr->Dist();
    collideTime = world.timePrecise;
    const VectorPos pos = mat.GetTrans();
    const VectorPos anchor = target != nullptr ? VectorPos(target->GetWorldPos() + relpos) : pos;
    if (mode == CAMMODE_PEDESTRIAN) {
        // Pulled in along the wall: the next update places the camera at
        // this yaw and distance.
        const VectorPos p = pos - n * depth;
        const VectorDir toAnchor = Normalise(VectorDir(anchor - p));
        angy = ArcTan2(toAnchor[0], toAnchor[2]);
        dist = std::min(VectorDir(p - anchor).Length(), distgoal);
        if (n[1] > 0.8f)
            angxgoal -= 0.0017453f;
    } else {
        const VectorDir toAnchor = Normalise(VectorDir(anchor - pos));
        if (Dot(toAnchor, n) > -0.5f)
            mat.SetTrans(pos - n * depth);
        Update();
    }
    return 0;
}

// Declared for the player's precision aiming; the camera has nothing to do
// for it.
void Camera::SetPrecisionMode(bool) {}
