// Vehicles: the cars of the city, rigid bodies on four wheels with a driver.
//
// What is here so far is the record the game flow, the cinematics and the
// player touch, the driver reference and the passing of special messages to
// the driver.  The car's physics, its model set-up, tints and drawing come
// with the vehicles; until then each operation that would need them says
// once that it is not built and leaves the car as it is.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Physics.h"
#include "game/Road.h"

struct MDLFILE;

// Sub-objects of a car's body.
enum {
    VEHICLE_LEFT_DOOR = 16,
    VEHICLE_RIGHT_DOOR = 17,
};

struct VehicleWheel
{
    float radius;
    GHCache ghc;   // the ground under the wheel: its road segment, junction or patch
};

class Vehicle : public DynamicObject
{
public:
    Vehicle();

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    // The handler while a cinematic drives the car: OM_FRAME from the actor
    // each frame, OM_CINEMAOVER at the end.
    static int staticcinemh(Object* o, OBJMESSAGE msg, void* data);

    // The body's rest height over the wheels.
    float CalcBodyRestOffset();
    // The model's tint-set count; its first tint set through start.
    int iGetNumTintSets(int* start);
    // Starts the car forward at speed (per frame) along its z axis.
    void SetInitialSpeed(float speed);

    float strength;          // 0..100
    float fBaseStrength;     // 0..100
    float fFade;
    s8 i8Tint;
    bool bCycle;             // a motorcycle
    bool bKickStand;
    int iLastDrawnTime;
    s16 i16OrigIndex;        // the car's node in its model file
    VectorDir vdCOGOffset;   // centre of gravity from the model origin
    RCptr<Object> rcoDriver;
    VehicleWheel wheel[4];
};

// A new car of the given type from node iNodeIndex of pmf at pos; not yet in
// the world.  Null when no memory is left.
Vehicle* CreateVehicle(MDLFILE* pmf, int iNodeIndex, int iUnused, VectorPos pos, int iVehType);
