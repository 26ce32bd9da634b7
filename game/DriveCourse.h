// The objects a driving course places besides its track: the start gate
// with its barrier arm and light sequence, pop-up pedestrian dummies that
// may walk across the track, props that break and drone cars that start
// racing when the player comes near.  The level loader makes them from the
// course file's records (types 39, 40, 45 and 46) and adds them to the
// world; whatever they report goes to the running mode controller.
// Included by GameFEnt.h.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/EntParams.h"

class Spline;

// The sample of the car bank each course object plays: the trigger, the
// pop and the light steps; the pedestrian's walk; the start signal.
enum
{
    DRVCRSE_SND_STEP = 19,
    DRVCRSE_SND_WALK = 20,
    DRVCRSE_SND_START = 23,
};

// The start gate: its sub-object 1 is the barrier arm; its animation's
// frames from the base frame b are the lights (b dark, b + 2, b + 4 and
// b + 6 the three steps).
class DrvCrseGate : public Object
{
public:
    enum { GATE_WAIT = 0, GATE_WAIT_RAISED = 1, GATE_COUNTDOWN = 2, GATE_LOWERING = 3, GATE_RAISING = 4 };
    static int DrvCrseGate_mh(Object* o, OBJMESSAGE msg, void* data);
    static int staticmh(Object* o, OBJMESSAGE msg, void* data) { return DrvCrseGate_mh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    // A sound of the car bank at the gate on a channel of its own, not held;
    // the channel, or the failed allocation's negative value.
    int PlayInstantSound(int bank, int index);

    DrvCrseGate_params* pdcgp;
    int iCount;
    int iLightFrame;   // the frame past the base the lights show: 0, 2, 4 or 6

private:
    void ShowLights(int step);
    void TurnArm(float angle);
    void StartCountdown();
};

// A pop-up pedestrian: stands up (or ducks) when the player comes near,
// then walks its path when it has one, and after its delay changes height
// again.
class DrvCrsePed : public Object
{
public:
    enum
    {
        PED_DOWN = 0,
        PED_UP = 1,
        PED_RISING = 2,
        PED_SINKING = 3,
        PED_WALK_UP = 4,
        PED_WALK_DOWN = 5,
        PED_TIMED_RISING = 6,
        PED_TIMED_SINKING = 7,
    };
    static int DrvCrsePed_mh(Object* o, OBJMESSAGE msg, void* data);
    static int staticmh(Object* o, OBJMESSAGE msg, void* data) { return DrvCrsePed_mh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    int PlayInstantSound(int bank, int index);
    // Blows up and tells the mode controller, only while one runs.
    void ExplodeMe();

    DrvCrsePed_params* pdcpp;
    int iCount;
    int iSound;
    float fT;
    float fDeltaT;
    Spline* pSpline;
    VectorPos vpUpPos;

private:
    void Init();
    void Frame();
    void Walk();
    void StopWalkSound();
    int Collision(CollisionRecord* rec);
};

// A barrel or barrier that breaks: its kind (0 barrel, 1 barrier) is what
// the race counts when it goes.
class DrvCrseProp : public Object
{
public:
    static int DrvCrseProp_mh(Object* o, OBJMESSAGE msg, void* data);
    static int staticmh(Object* o, OBJMESSAGE msg, void* data) { return DrvCrseProp_mh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    void ExplodeMe();
    // Nothing once broken; else the strength falls (not below 0) and the
    // prop goes when it reaches 0.
    void TakeDamage(float f);

    float fStrength;
    int iType;

private:
    int Collision(CollisionRecord* rec);
};

// A drone car waiting on the course: sent racing along its path, once,
// when the player comes near.
class DrvCrseDrone : public Object
{
public:
    static int DrvCrseDrone_mh(Object* o, OBJMESSAGE msg, void* data);
    static int staticmh(Object* o, OBJMESSAGE msg, void* data) { return DrvCrseDrone_mh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);

    RaceCourseDroneCar_params* prcdc;
    Spline* pSpline;
    RCptr<Object> rcCar;
    float fSpeed;

private:
    void Fire();
};

// Speeds in world units a frame: a car above this one breaks a course
// pedestrian or prop it touches.
constexpr float kDrvCrseBreakSpeed = 0.00465667f;
