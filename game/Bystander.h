// Bystanders: the ambient pedestrians, and the calls other parts of the game
// use to steer the crowd.
//
// What is here so far is the pedestrian's outside: the kind "Bystander" that
// a car's driver becomes when thrown out, with the fields and calls the cars
// use.  The pedestrian's own walking, fleeing and fighting come with the
// crowd; until then it stays where it was put and says so once.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "game/Vehicle.h"

class Bystander : public Object
{
public:
    // The kind's handler: OM_CREATE makes a new pedestrian.
    static int Bystander_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    // Leaves the car it sits in the way mode says.
    void LeaveCar(Vehicle::KickOutMode mode, bool flag);
    // Turns on whoever took its car (none: nobody).
    void ReactToCarjacker(Object* jacker);
    // The aggression of character index i, in 0..1; 0 for an index the
    // table does not know (-1: no character).
    static float GetPedAggression(int i);

    s16 charid;          // the character's model id, -1 none
    float fScale;
    // What the pedestrian was asked, kept until it acts on it.
    Object* pVehicle;    // the car it was put in (code 26)
    int iSeat;           // the put-in message's seat or attach point
    int nLeaveCar;
    Vehicle::KickOutMode lastLeave;
    bool bLastLeaveFlag;
    Object* pJacker;
    int nTimers;
};

// Sends OM_SPECIAL {msg, what} to every pedestrian of the world's list, in
// list order, straight to its handler; answers are dropped.
void MessagePedestrians(int msg, Object* what);
