// The game camera: the world object from which the city is drawn.
//
// A camera follows, orbits, rides on or looks at its target according to its
// mode (one of the CAMMODES, kept in the Object mode byte).  Exactly one
// camera is current (cam, SetCurrentCam in MAIN); the main loop hands its
// matrix, zoom and near plane to the view each frame.
//
// What is here: the camera's whole record, its class-wide settings, the
// construction, the message handler with the per-frame dispatch of the modes
// that copy their target, and the shake.  The behaviour of the follow,
// in-car and level modes and the transitions comes with the player; until
// then their set-up operations report once that they are not built.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Vector.h"

struct CollisionRecord;

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

    // Mode set-up operations.  Those not built yet report once when used and
    // change nothing (the player's camera modes replace them).
    void InitPedestrianMode(Object* _target);
    void InitCombatMode(Object* _target);
    void InitCarMode(Object* _target);
    void InitCarInMode(Object* _target);
    void InitCarOutMode(Object* _target);
    void AdvanceCamSettings();
    void SetReverseCamera(bool reverse);
    void SetInCarSettingsFromCamera();
    void CutToInCarCameraSettings();
    void ResetCam();
    void SetCamToMatrix(const Matrix& m);
    void ForceCutTo();
    void SetupTransition(Camera* from);
    void SetupFixedCameraTransition(Camera* from);
    void CheckCameraTriggers();
    bool CheckTriggers();
    float GetDirAngle();
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
};

// A new zero-filled fixed camera holding the current camera's view (zoom,
// near plane, matrix, angles); the caller adds it to the world.
Camera* CreateFixedCameraFromCurrent(Object* pobjTarget);

// The fallback camera, current whenever no other is.
extern Camera g_DefaultCamera;
// The current camera: never null after start-up.
extern Camera* cam;
void SetCurrentCam(Camera* c);
Camera* GetCurrentCam();
