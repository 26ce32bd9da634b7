// The spline object mover: a steady stream of breakable props along a path,
// evenly spaced, entering at its start and going at its end.  While the
// player stands in one of its trigger volumes a new prop may carry a shooting
// enemy; the riders are foes of the current game mode.
#pragma once

#include "ZevEngine2/Object.h"
#include "game/EntParams.h"

class Spline;

// Set-up kind 26.
class SplineObjectMover : public Object
{
public:
    // Game-mode messages it takes and sends.
    enum {
        SMSG_EV_CHARACTER_DIED = 23006,
        SMSG_EV_ENEMY_SUBDUED = 23018,
        SMSG_MODE_START = 28001,
        SMSG_MODE_FOE_REMOVED = 28006,
        SMSG_MODE_FOE_ADDED = 28007,
    };
    // Riders take ids from here downwards, 25 in turn.
    static constexpr int kFirstRiderId = -125;
    static constexpr int kRiderIdEnd = -150;
    // Model slots of the props (3 kinds; riders stand on the first) and of
    // the rider characters (this plus the character).
    static constexpr int kPropSlot = 128;
    static constexpr int kCharacterSlotBase = 49;

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    // The path parameter (segment index plus fraction) of the i-th prop; the
    // number of segments past the end.
    float GetObjectSplineValue(int i);
    void GenerateObject(float splinepos, bool genshooter, bool athead);
    void GenerateShooter(Object* prop);

    SplineObjectMover_params* psomp;
    Spline* pSpline;          // its own copy of the path, freed with it
    Object* gameeventobj;     // the current game mode's controller
    float splinelength;
    float zevdensity;         // spacing in world units
    float movedist;           // the first prop's distance from the start
    ObjectList objlist;       // the props, newest first
    ObjectList shooterlist;   // the riders alive
    int shooterid;

private:
    bool PlayerInTrigger() const;
    void ReportGone(Object* rider);
};

// The rider's weapon kind for a mover's weapon code.
int MoverRiderWeapon(int code);
