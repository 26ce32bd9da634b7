// Cinematics: scenes of animated actors played from cinema files with their
// sound, the scene camera taking over the view.
//
// ParseActorScript starts scene n of CineNames: the cinema controller
// (ZevEngine2/Utilities/CinCont.h) streams the scene's file while a chain of
// actors plays it.  The first actor finds the objects the scene's start
// locations name (or the scene camera), takes each over with TakeOver_mh,
// drives its animation from the blocks as they arrive, and at the end hands
// every object back in its final pose and tells the game controller
// (SMSG_GC_CINEMATIC_DONE).  A scene whose file cannot be read ends at once
// with the same message, so the script always goes on.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/Utilities/CinCont.h"

class Camera;
class ObjectBlur;

struct sCineInfo
{
    const char* CINFile;
    const char* VAGFile;
};
constexpr int NUM_CINEMATICS = 151;
// The scenes, by mission: "M2\M2_S4.CIN" with its sound "M2\M2_S4.VB",
// relative to "KORVALIS\DemoData\Cine\".
extern const sCineInfo CineNames[NUM_CINEMATICS];

// The ids of a start location that name the scene camera.
constexpr int CINE_CAMERA_ID = 5000;
constexpr int CINE_CAMERA_ID2 = 12345;

class ActorObject : public Object
{
public:
    static int ActorObject_mh(Object* o, OBJMESSAGE msg, void* data);
    // The handler of an object the scene has taken over.
    static int TakeOver_mh(Object* o, OBJMESSAGE msg, void* data);

    void InitAO(ActorObject* first, ActorObject* prev, Matrix* m, CinemaController* cc);
    void SetAnimator(Object* obj, int id, int index);
    void GrabActorCinemaInfo();
    void SetStartLoc();
    void SetActorAnim();
    // One frame of this actor at the scene's time; the next actor.
    ActorObject* Cinemate(float time);
    // Moves every actor on to the next block; false when it is not there yet.
    bool Advance();
    int AnimLoop(Object* obj);
    void SpecMsg(int code);
    void SetFakeParentVehicle();
    void ReleaseFakeParent();
    void AdjustForFakeParent();
    void FreeObject();
    void FreeSiblings();
    void CleanUp();
    void Frame();

    CinemaController* pCinCon;
    Object* Animator;          // the object it animates; null for the camera actor
    ActorObject* First;        // the scene's first actor; null in the first itself
    ActorObject* NextActor;
    Camera* OldCam;
    Camera* TempCam;
    ObjectBlur* ObjBlurController;
    Matrix StartMatrix;        // the whole scene's placement
    Matrix LocalMatrix;        // the object's matrix when it was taken over
    RCptr<Object> rcoFakeParent;
    VectorPos vpFakeParentLast;
    int nCinemaIndex;
    int nObjectIndex;
    float frame;
    float LastBufFrame;
    int NextID;
    int CountDownToFinish;
    bool LoadedStartLoc, LoadedAnim, Finished, Cleaned, Aborted, DoneFinalPose, Hold, SettingFinalPose;
    OBJMESSAGEHANDLER save_mh;
    u32 save_flags;
    u32 save_anim_flags;
    float save_rad;
};

// The first actor of the running scene, null when none.
extern ActorObject* pActor;
// The actor being played this frame.
extern ActorObject* pCurrActor;
// Set while the camera actor of a scene runs.
extern int isCinemaRunning;
// The scene camera: the camera handler, zoom 1.6.
extern Camera CinemaCamera;

// The wait between polls while a scene loads: a vertical blank.
extern void (*CineLoadWait)();

// Starts scene n placed by *placement; waits until its first block and its
// sound are ready.  n of 151 or more does nothing.
void ParseActorScript(int n, Matrix* placement);
// Skips the running scene to its final poses; twice aborts once.
void AbortCinematic();
