// The 24/7 lap race on a closed driving course: from the start gate's
// signal the clock runs; the player must cross the start line the required
// number of times before it runs out.  The course objects he breaks and the
// times his car is pinned are counted.  Included by GameFEnt.h.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"

class Race247MissionController : public Object
{
public:
    enum { RACE_RUNNING = 0, RACE_OVER = 1 };
    static int Race247MissionController_mh(Object* o, OBJMESSAGE msg, void* data);
    static int staticmh(Object* o, OBJMESSAGE msg, void* data) { return Race247MissionController_mh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();

    Object* gameeventobj;
    VectorPos vpStartLine;
    VectorDir vdStartDir;
    int i16RaceTotalLaps;
    s16 i16DaceMaxLap;
    s16 i16DaceCurrLap;
    VectorPos vpLastDacePos;
    int iNumPinnings;
    int iBarrelsHit;
    int iBarriersHit;
    int iPedestriansHit;

private:
    void Init();
    void Frame();
    int Special(const SpecialMessage& m);
};

// The car ability each race level teaches, by the level.
extern const char* const rszCarAbilityNames[9];

// The object flag the start signal sets: the race clock runs.
constexpr u32 RACE247_CLOCK_RUNS = 0x800000;
