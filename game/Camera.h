// The game camera: the world object from which the city is drawn.
//
// A camera follows, orbits, rides on or looks at its target according to its
// mode (one of the CAMMODES, kept in the Object mode byte).  Exactly one
// camera is current (cam, SetCurrentCam); the main loop hands its matrix,
// zoom and near plane to the view each frame.
//
// Camera.cpp holds the record, construction, message handler, per-frame
// dispatch, collision response and shake; CameraCar.cpp the chase, on-car,
// arcade and cinematic in-car modes; CameraFollow.cpp the modes that follow a
// character on foot; CameraLevel.cpp the fixed, path, orbiting, group, tunnel
// and animation-driven cameras that levels place; CameraTrigger.cpp their
// trigger volumes and the cuts and glides by which they take over the view.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/EntParams.h"

class CollisionRecord;

enum CAMMODES {
    CAMMODE_INCAR,
    CAMMODE_INCAR_IN,
    CAMMODE_INCAR_OUT,
    CAMMODE_NORMAL,
    CAMMODE_CONTROLLED_DROP,
    CAMMODE_CONTROLLED_ATTACH,
    CAMMODE_COMBAT,
    CAMMODE_PEDESTRIAN,
    CAMMODE_RELATIVEPOS,
    CAMMODE_LOCKED,
    CAMMODE_LOCKEDAT,
    CAMMODE_FIXED,
    CAMMODE_PATH,
    CAMMODE_ORBITING,
    CAMMODE_ANIMCONTROLLED,
    CAMMODE_EXTERIORCINEINCAR,
    CAMMODE_GROUP,
    CAMMODE_ONCAR,
    CAMMODE_TUNNEL,
    CAMMODE_CARARCADE,
    CAMMODE_HELICOPTERTEST,
    CAMMODE_NUMBER,
};
static_assert(CAMMODE_NUMBER == 21);

enum ShakeMode {
    SHAKE_NONE,
    SHAKE_MINOR,
    SHAKE_MAJOR,
};

// Special messages a camera answers.
enum {
    SMSG_CAM_LOOK_AT = 1,          // in the cinematic in-car mode: take shot param[0]
    SMSG_CAM_CHECK_TRIGGERS = 2,   // test the trigger volumes now
};

constexpr float CameraShakeFactor = 0.0015625f;
constexpr int NumMajorShakeFrames = 13;
constexpr int NumMinorShakeFrames = 9;
extern const int MajorShakeFrames[NumMajorShakeFrames];
extern const int MinorShakeFrames[NumMinorShakeFrames];

// ---------------------------------------------------------------------------
// The level cameras' parameter blocks (FixedCamera_params, PathCamera_params,
// OrbitingCamera_params, GroupCamera_params, TunnelCamera_params) are the
// set-up file's records (game/EntParams.h); the level loader copies them to
// the camera's pvExtra.  Distances are in level units (x 0.3125 in the
// world), ranges in degrees; transition_to 0 chooses, 1 cuts, other glides.

// ---------------------------------------------------------------------------
// An in-car view: the mode and the chase offset it loads.
struct CamCustomSettings
{
    int camMode;       // CAMMODES
    float fAngXGoal;   // pitch of the chase offset (negative: above the car)
    float fDistGoal;
    float fAngX;
    float fAngY;
};

extern const CamCustomSettings rgccs[4];
extern const CamCustomSettings ccsReverse;

// Chase-spring tunings: camera position, look point, cinematic shots.
extern float g_fCamGainTest, g_fCamDampTest;
extern float g_fCamGainTest2, g_fCamDampTest2;
extern float g_fgaintest, g_fdamptest;

// The four shots of the cinematic in-car camera, in the car's frame.
extern VectorPos rvdCarDriveCineRelPos[4];
extern VectorPos rvdCarDriveCineRelTargetPos[4];

// Velocity laws of the level cameras.
float GetNewAngVel(float fAngVel, float fAngDelta, float fAcc);
float GetNewDollyVel(float fDollyVel, float fLast, float fNew);

class Camera : public Object
{
public:
    // The fallback camera's: identity matrix, camera type, zoom 1.6.
    Camera();
    // Starts at the target's origin, looking down 1/16 turn, snapping to its
    // goals, with a small collision sphere; the mode is CAMMODE_INCAR.
    Camera(Object* _target, VectorPos _relpos);

    static int staticmh(Object* o, OBJMESSAGE msg, void* extra);
    int mh(OBJMESSAGE msg, void* extra);

    // The per-frame work of the mode.
    void Update();
    // A shake along the camera's y row (vertical) or x row; a running shake
    // of that axis is left alone.
    void Shake(bool vertical, bool major);
    void UpdateShake();
    int Collision(CollisionRecord* cr);
    // Moves the position by sign times this frame's shake offsets.
    void MoveAlongRows(float sign);

    // In-car modes.
    void InitCarMode(Object* newtarget);
    void InitCarInMode(Object* newtarget, VectorPos goalpos);
    void InitCarOutMode(Object* newtarget, VectorPos goalpos);
    void AdvanceCamSettings(bool bRestoreLast);
    void SetReverseCamera(bool bSet);
    void SetInCarSettingsFromCamera(Camera* pOldCam);
    void CutToInCarCameraSettings();
    int UpdateInCarCam();

    // Follow modes.
    void InitPedestrianMode(Object* newtarget, bool threequartersview);
    void InitCombatMode(Object* newtarget);
    void ResetCam();
    void SetCamToMatrix(Matrix& matNew);
    float GetDirAngle(VectorDir d);

    // Level cameras.
    VectorPos CalcTargetCameraPos(bool bIterative, float* pfT, float fRawYDelta);
    float PathCamTargetT(VectorPos vpPos);
    float PathCamTargetT(VectorPos vpPos, float fTCurr, float fYawDelta);
    float OrbitCamTargetT(VectorPos vpPos);
    float OrbitCamClosestCameraPosT(VectorPos vpPos);
    void UpdateOrbitCamera();
    bool AdjustDollyPos(float fDollyDist, float fDistanceO, VectorDir& vdDiffMount, VectorPos& vpVTarget);
    bool UpdateDollyPos(float fDollyDist, float fDistanceO, VectorDir& vdDiffMount, VectorPos& vpVTarget);
    bool QueryOffEdge(VectorPos vpVTarget);

    // Transitions and trigger volumes.
    void ForceCutTo();
    void SetupTransition(Camera* pCurrCam, VectorPos vpDest, float fYaw, float fPitch, float fZoom, int iCutMode);
    void SetupFixedCameraTransition(int iTransitiontype);
    void CheckCameraTriggers();
    bool CheckTriggers(Extent* rgExtents, int iNumExtents);
    void SetPrecisionMode(bool on);

    Object* target;
    VectorPos relpos;
    VectorPos vpLastTargetPos;       // x below -100000: not set yet
    VectorPos vpLastMainTargetPos;
    VectorDir dir;
    VectorDir vdVel;
    VectorDir vdTargVel;
    float fAccel;
    float dirang;
    float diry;
    float dist;
    float angx;
    float angy;
    float relangx;
    VectorPos relposgoal;
    VectorDir dirgoal;
    float diranggoal, dirygoal, distgoal, angxgoal, angygoal;
    float relposstep, dirystep, diststep, angxstep, angystep;
    float absposstep;                // 1.0 snaps
    float lookstep;                  // 1.0 snaps
    float dirangspeed, dirangaccel;
    float zoom;
    float nearz;                     // 0: the view's default
    Extent ext;
    int iInterp;                     // 0 at rest, 1 gliding, 2 re-aiming
    int iTrack;
    bool bTargetBias;
    float fT, fdT;
    float fSplT, fSplVelT, fSplAccT;
    Bezier bezPos;                   // w: zoom
    Bezier bezAng;                   // x yaw, y pitch
    float fXAngVel, fYAngVel;
    float fDollyVel;
    float fAngRangeX, fAngRangeY;
    float fOrbRadius;
    ShakeMode VertShakeMode, HorShakeMode;
    int VertShakeFrame, HorShakeFrame;
    AnimTime collideTime;
    float fVertShake, fHorShake;
    float fVertSpeed;
    float fBiasFactor;
    float fBiasVel;
    float fPathBias, fPathBiasVel;
    VectorPos vpMount;
    void* pvExtra;                   // the mode's data block, owned
    void* pvExtraSpl;                // a Spline, owned
    int iCurrCCS;
    bool bReverseCamera;
    bool bPrecisionMode;
    float fTargetZoom, fZoomVel;
    // The collision block the constructor allocated, the only one a camera
    // frees: cameras made zero-filled, or given a model file's entry, own
    // none.
    COLLISION* pcollOwn;

    static const int iNumCCS;
    static const float CombatDistanceGoal;
    static const float PedestrianDistanceGoal;
    static const float AngleDirAccel;
    static const float AngleDirAccelMoving;
    static const float AngleDirAccelSprinting;
    static const float AngleYStep;
    static const float RelPosStep;
    static const float PedAbsPosStep;
    static const float LookVelYStep;
    static const float LookAtStep;
    static const float CombatAbsPosStep;
    static const float CombatAngleX;
    static float DriveAbsPosStep;

private:
    // Per-frame rules of the modes.
    void UpdateFollow();
    void UpdateCombat();
    void UpdatePedestrian();
    void UpdateRelativePos();
    void UpdateHelicopter();
    void UpdateOnCar();
    void UpdateCarArcade();
    void UpdateCineInCar();
    void TakeCineShot(int shot);
    void UpdateLevelCamera();
    void UpdateTunnel();
    void InitTunnel();
    void UpdateAnimControlled();
    // Plays the glide of bezPos/bezAng one frame on; true while it runs.
    bool PlayGlide(bool turn);
    // The look point of a level camera (the bias blend included) and the main
    // target's alone.
    VectorPos LevelLookPoint(bool& biased, VectorPos& main, VectorPos& other);
    void BiasFixed(bool biased, bool collapsed, const VectorPos& viewMain);
    void AimLevel(const VectorPos& look, float s, bool gliding);
    void PlaceGroup(const VectorPos& look);
    void MovePathMount(const VectorPos& mainLook);
    // The car frame of the chase camera and its look point.
    Matrix ChaseFrame(VectorPos& look) const;
    void KeepAboveGround();
    // Distances of the level block in world units; false without a block.
    bool DollyParams(float& dolly, float& distance) const;
    // The point p in this camera's view space.
    VectorPos ToView(const VectorPos& p) const;
};
static_assert(sizeof(Camera) % 16 == 0);

// A new zero-filled fixed camera holding the current camera's view (zoom,
// near plane, matrix, angles); the caller adds it to the world.
Camera* CreateFixedCameraFromCurrent(Object* pobjTarget);

// The fallback camera, current whenever no other is.
extern Camera g_DefaultCamera;
// The current camera: never null after start-up.
extern Camera* cam;
void SetCurrentCam(Camera* c);
Camera* GetCurrentCam();
