// The car driver: the object that sits in a car's driver seat and drives it
// (kind "CarDriver").
//
// What is here so far: the kind's creation, the seat taking and the hold and
// lock messages a character or the game flow sends it, and the drive command
// kept for the drive modes.  The driving itself comes with the traffic;
// until then a drive command says once that it is not built and the car
// stays where it is.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"

// Special messages of the car driver and of the characters that take seats.
enum {
    SMSG_CD_SET_DRIVE = 1,      // obj: target or route; param0: drive mode; param1: VectorPos* target
    SMSG_CD_MAKE_WAY = 2,
    SMSG_CD_DEACTIVATE = 3,
    SMSG_CD_QUERY_FLAG = 4,
    SMSG_CD_HOLD = 5,           // param0 0 sets CDF_HELD, otherwise clears it
    SMSG_PUT_IN_VEHICLE = 26,   // obj: the car; param0: seat or attach point
    SMSG_CD_SUSPEND = 101,
    SMSG_CD_RESUME = 102,
    SMSG_CD_SEAT_TAKEN = 103,   // obj: the character now in the seat
    SMSG_CD_LOCK = 104,
};

// CarDriver::iCDFlags
enum {
    CDF_HELD = 0x1000,
    CDF_SEATTAKEN = 0x800,
    CDF_UNSEATED = 0x8000,
};

class CarDriver : public Object
{
public:
    // The kind's handler: OM_CREATE makes a new driver.
    static int CarDriver_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    Object* gameeventobj;     // receives the driver's game events
    Object* pobjTarget;       // the drive command's target
    VectorPos vpTarget;
    int iCDFlags;
    int iRefCount;            // suspensions outstanding
    s16 i16DriveMode;         // low byte the mode; 0x100 follow a route
};
