// The 3-D markers of the player's aiming: an aiming reticle that swings from
// the player toward his target on a damped spring, the indicator sitting on
// the target, the aiming reticle of a car's guns, and the precise reticle
// that jumps between the target's body parts.  Each faces the camera and
// keeps its size on screen.
#pragma once

#include "ZevEngine2/Object.h"

enum ReticleType
{
    RETICLE_TYPE_TARGET,
    RETICLE_TYPE_AIM,
    RETICLE_TYPE_CARAIM,
    RETICLE_TYPE_PRECISE,
};

// Kept in the object's mode byte.
enum TargetMode
{
    TARGET_MODE_FREE,
    TARGET_MODE_LOCKED,
    TARGET_MODE_PRECISEFREE,
    TARGET_MODE_PRECISELOCKED,
    TARGET_MODE_FADEOUT,
};

enum eBodyTarget
{
    TARGET_HEADSHOT,
    TARGET_LEFTARM,
    TARGET_RIGHTARM,
    TARGET_LEFTLEG,
    TARGET_RIGHTLEG,
};

class Reticle : public Object
{
public:
    VectorXYZ angSpd;          // swing speed: x pitch, y yaw
    VectorXYZ curAng;          // direction from the parent: x pitch, y yaw
    float gain;                // spring stiffness; 0 sits on the goal
    float damp;
    RCptr<Object> rcParent;    // what it swings around
    RCptr<Object> rcTarget;
    RCptr<Object> rcTargetInd; // an aiming reticle's indicator
    VectorPos vpLastTargetPos; // last tick's goal; the origin: none
    Object* lastTarget;        // the target of the last distance ramp
    float startDist;           // distance from the parent at the target change
    float lockTimer;           // frames since the target changed, up to 120
    s8 lastMode;               // the mode whose animation was last started
    ReticleType retType;

    void Init();
    int Update();
    void UpdatePos(VectorPos goal);
    void UpdateScale();
    void GetCurAng();
    void Target(Object* t);
    void Hide();
    bool PrecisionFire() const { return mode == TARGET_MODE_PRECISELOCKED; }
    bool Overlap(Object* o) const;
    int AnimLoop();
    // Lets go of the indicator (deleting it) and every link.
    int Die();

protected:
    // Starts animation n of its hierarchy now.
    void StartAnim(int n);
    // Hidden while the controller turns reticles off.
    void HideIfOff();
    void DeleteChildren();
};

class TargetIndicator : public Reticle
{
public:
    static Object* Create(Object* parent);
    void Init();
    int Update();
    static int TargetIndicator_mh(Object* obj, OBJMESSAGE msg, void* extra);
};

class AimingReticle : public Reticle
{
public:
    static Object* Create(Object* parent);
    void Init();
    int Update();
    // The precise reticle that takes over (this one when none could be made).
    Object* EngagePrecision();
    static int AimingReticle_mh(Object* obj, OBJMESSAGE msg, void* extra);
};

class CarAimReticle : public AimingReticle
{
public:
    static Object* Create(Object* parent);
    void Init();
    static int CarAimReticle_mh(Object* obj, OBJMESSAGE msg, void* extra);
};

class PreciseReticle : public AimingReticle
{
public:
    float fireTimer;
    RCptr<Object> baseRet;      // the aiming reticle it replaces
    int iBodyTarget;            // eBodyTarget; -1: a new one at each pick
    RCptr<Object> pBodyTarget;  // the target's sub-object 20
    VectorDir vdTargetOffset;   // the aim point from the target

    static Object* Create(Reticle* base);
    void Init(Reticle* base);
    int Update();
    int AnimLoop();
    void EndPrecision();
    static int PreciseReticle_mh(Object* obj, OBJMESSAGE msg, void* extra);

private:
    // Re-dresses the reticle from hierarchy h of the file in slot.
    void Take(int slot, int h);
};
