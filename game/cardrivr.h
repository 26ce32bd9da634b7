// The car driver: the invisible object in a car's driver seat that drives it
// by writing the same controls a pad would (kind "CarDriver").
//
// One class serves the ambient traffic (cruising along the lanes, stopping
// for signals and for the cars ahead, turning at junctions) and every
// mission drive (drive to a place, flee, lead a tail, chase and ram, race).
// cardrivr.cpp holds the record's road state and the handler;
// CarDriverRoute.cpp the junction choice, the look-ahead and the junction
// crossing of the traffic; CarDriverCruise.cpp the cruise step;
// CarDriverEscape.cpp the escape road choice, the turn curves and the
// traffic avoidance of the mission drives; CarDriverDrive.cpp drive-to,
// chase, race and the step that turns a wanted direction into controls.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/GameEvents.h"
#include "game/Road.h"

class Vehicle;
class VehGen;

// Special messages of the car driver and of the characters that take seats.
enum {
    SMSG_CD_SET_DRIVE = 1,      // obj: target or route; param0: drive mode; param1: VectorPos* target; param2: Spline*
    SMSG_CD_MAKE_WAY = 2,       // param0: bit 1 swerve to smaller offsets, 2 to larger, 8 faster
    SMSG_CD_DEACTIVATE = 3,     // param0: non-zero releases the seat
    SMSG_CD_QUERY_FLAG = 4,
    SMSG_CD_HOLD = 5,           // param0 non-zero holds the driver, 0 releases it
    SMSG_PUT_IN_VEHICLE = 26,   // obj: the car; param0: seat or attach point
    SMSG_CD_RESUME = 102,
    SMSG_CD_SEAT_TAKEN = 103,   // obj: the character now in the seat
    SMSG_CD_LOCK = 104,
    SMSG_CD_NOP = 105,
    SMSG_CD_DRIVER_LEFT = 106,
    SMSG_CD_PINNED = 107,
    SMSG_EV_DRIVER_SHOT = 23011,
};

// CarDriver::iCDFlags
enum {
    CDF_STOPPED = 0x1,          // braking to a stop this frame
    CDF_CARLEFT = 0x2,          // a car alongside on the smaller-offset side
    CDF_CARRIGHT = 0x4,         // ... on the larger-offset side
    CDF_BLOCKED = 0x8,          // a car blocks the path ahead
    CDF_SAMEROAD = 0x10,        // the junction curve continues the same road
    CDF_NEARLEFT = 0x20,        // a car ahead close to the path on the -x side
    CDF_NEARRIGHT = 0x40,       // ... on the +x side
    CDF_ASLEEPORINACTIVE = 0x80,
    CDF_NOSTABILIZER = 0x100,
    CDF_PINNED = 0x200,
    CDF_SEATTAKEN = 0x800,
    CDF_HELD = 0x1000,
    CDF_REVERSING = 0x2000,
    CDF_ASLEEP = 0x4000,
    CDF_UNSEATED = 0x8000,      // inactive: may be removed when far from the camera
    CDF_COUNTED = 0x10000,      // counted by the game controller and the generator
};

// The lanes of one side of a road, numbered from the centre line outwards;
// entries past iNumLanes repeat the outermost lane.
struct RoadLaneInfo
{
    int iNumLanes;
    float rgfLaneOffsets[12];
};

// The speed step: car speeds are multiples of it (units per frame).
constexpr float kCDSpeedStep = 0.0232833f;
// The wheel's lock while backing out of a stuck place (7.5 degrees).
constexpr float kCDReverseSteer = 0.1309f;

class CarDriver : public Object
{
public:
    static int CarDriver_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    s16 i16DriveMode;         // low byte the mode; 0x100 follow the route program
    s16 i16DriveSubMode;
    int iCDFlags;
    VectorPos vpTarget;
    Object* pobjTarget;
    Vehicle* pveh;
    float fRestGroundOffset;  // body height above the ground at rest
    s8* pi8RouteOrig;
    s8* pi8Route;
    s8 i8NextCode;            // turn code chosen for the coming junction
    s8 i8LastCode;            // turn code of the junction being crossed
    RoadSeg* rs;
    RoadSeg* nextrs;
    RoadSeg* prsTarget;
    bool rsdir;               // along the curve (c0 toward c3)
    bool bTrans;              // on the junction curve bez
    bool bForceStopped;
    int iForceStoppedTime;
    int iLastDamageCollTime;
    Bezier bez;
    RoadLaneInfo rliLeft;     // travel against the curve
    RoadLaneInfo rliRight;    // travel along the curve
    float fT;
    float fU;
    float fVelT;
    float fIVelT;
    float fSpeedFact;
    float frsT0;
    float frsT1;
    float fLastSpeed;
    float fDestSpeed;
    float fStopDist;
    s16 i16CheckTime;
    s16 i16MiscCount;
    s16 i16DefLane;           // 0..99 (modulo the lane count), 100 the outermost
    s16 i16CurrentLane;
    s16 i16TransitionFromLane;
    s16 i16SaveMode;
    float fForceLane;
    float fSpeedMult;
    float fLastLaneModifier;
    int iForceReal;           // make-way countdown; keeps a cruising car physical
    int iForceCommand;
    Object* gameeventobj;
    VehGen* pvg;
    int iLastCmd;
    int iLastMoveTime;
    int iRefCount;            // suspensions outstanding
    int iCreationTime;
    int iDisableStabilizerTime;
    float fSetSpeed;
    Spline* pSpline;

    // Road state (cardrivr.cpp).
    void CalcRoadLaneOffsets();
    void InitCruiseToParams();
    int GetMoveTowardsDefaultLane(int iCurLane, int iWantLane, int iStep);
    float GetLaneOffsetDist(int iLane, int* piLane, bool bSigned);
    int GetCurrentLane(float fOffset, bool bSide);
    void CalcRoadEndTangent(VectorDir* pvd, bool bAtEnd);
    void CalcRoadEndTVals();
    void SetCurrentRSInfo(bool bDir);
    void SetCurrentRS();
    void SetCurrentRS(RoadSeg* prs);

    // Sleep and activity (cardrivr.cpp).
    void SleepWithCar();
    void WakeupWithCar();
    void DeActivate(bool bReleaseSeat);
    void ReActivate();

    // Junction choice (CarDriverRoute.cpp).
    int ChooseNextRS();
    RoadSeg* GetNextRS(const RoadSeg* prs, bool bDir, signed char code);
    bool CheckForwardsLanes(const Junction* j, const RoadSeg* seg) const;
    bool CheckRoadTransition(const RoadSeg* from, const Junction* j, const RoadSeg* to) const;
    bool CheckLeftTurnPossible(const RoadSeg* prs, const Junction* j) const;
    bool CheckStraightThroughPossible(const RoadSeg* prs, const Junction* j) const;
    float fGenPathScore(const Junction& a, const Junction& b, float* pfLength) const;

    // Following and junction crossing (CarDriverRoute.cpp).
    bool CheckToAdjust(float* pfStopDist, VectorDir* pvLead);
    bool CheckToStop(float* pfDist);
    bool CheckLeftTurn(float* pfDist);
    bool CheckToWaitAtJunction(const Junction* j, const RoadSeg* prs, int code);
    int CruiseDoJunctions(float dt, int iLane, int& iStopReason, float fStraightSpeed, float& t);

    // Cruising (CarDriverCruise.cpp).
    int CruiseTo();

    // Escape choice and avoidance (CarDriverEscape.cpp).
    int EscapeChooseNextRS();
    void EscapeScoreRoadSegs(const Junction& junc, const RoadSeg& from, float fODist, RoadSeg** rgrs,
                             float* pfScores, int iLevel);
    RoadSeg* EscapeFindNextRoadSeg(const Junction& junc, const RoadSeg& from, float fODist, float* pfScore,
                                   int iLevel);
    void SetCurrEscapeJuncAndNextRS();
    void EscapeAvoidAmbientCars(VectorDir& dir);
    float DriveToCheckCars(Vehicle** rpveh, float* rfDist, int* piMaxCars, float* pfAcrossDist2,
                           Vehicle** ppvehClosest);
    void TailAvoidAmbientCars(VectorDir& dir);

    // Mission drives (CarDriverDrive.cpp).
    int DriveTo();
    int ControlVehEscapeTo(float fNormalSpeed, float fTurnSpeed, VectorDir& dir, int iForceStop);
    int ControlTail(float fNormalSpeed, float fTurnSpeed, VectorDir& dir, int iForceStop);
    int DriveDoJunctions(float fadt, int& iForceStop, float fNormalSpeed, float fTurnSpeed, float& t);
    int SimulateDriveCar(VectorDir& dir, float fNewSpeed, float fMaxCarSpeed, float fadt);
    int Chase();
    int ControlVehChase(float fNormalSpeed, float fTurnSpeed, VectorDir& dir, int iForceStop);
    int ChaseDoJunctions(float fadt, int& iForceStop, float fNormalSpeed, float& t);
    int ChaseChooseNextRS(bool bInJunction);
    int ChaseRecalcJunctionBezier();
    void ChaseAvoidAmbientCars(VectorDir& dir);
    int Race();

    // Helpers shared by the steps.
    int Mode() const { return i16DriveMode & 0xFF; }
    const RoadLaneInfo& Side(bool dir) const { return dir ? rliRight : rliLeft; }
    // The junction ahead: the end one along the curve, the start one against.
    Junction* JunctionAhead() const { return rs->jtn[rsdir ? 1 : 0]; }
    // The end-of-drive notice to the game controller.
    void EndOfDrive();
    // The car's position, forward and side rows.
    VectorPos CarPos() const;
    VectorDir CarForward() const;
    VectorDir CarSide() const;
    // The new segment's end point where a junction curve arrives at it (its
    // entry parameter), moved by L sideways and raised to the body's height
    // above the road's centre (above its cross-section there with
    // bCrossHeight).
    VectorPos EntryPoint(float L, bool bCrossHeight) const;
    // While backing out of a stuck place: true when the frames for it are
    // over (the car is put back in first gear), else the car reverses with
    // the wheel locked to its side, throttle fAccel.
    bool BackingOutDone(int iFrames, float fAccel);
    // A mission drive without a road: finds the one under the car or leaving
    // the junction it stands at, and the road after it; false when none.
    bool FindMissionRoad(float fDestSpeedNoRoad);
    // Takes the car into the world's kinematic or physical simulation.
    void MakeKinematic();
    void MakePhysical();
};

// The junction curve of the traffic: from p0 leaving along d0 to p3 arriving
// along d3.
Bezier CalcTurnBezier(VectorPos& p0, VectorDir& d0, VectorPos& p3, VectorDir& d3);
// The junction curve of the mission drives (handles set by the turn's side).
Bezier CalcEscapeTurnBezier(VectorPos& vpPosSrce, VectorDir& vdTangSrce, VectorPos& vpPosDest,
                            VectorDir& vdTangDest);
// Among the other cars of the world's car list ahead of car, the nearest and
// the second nearest by horizontal distance (null and 0 when none).
void FindClosestCars(Vehicle& car, Vehicle** ppNearest, Vehicle** ppSecond, float* pfDist2Nearest,
                     float* pfDist2Second);
// The car a driver sits in (its parent) when that is a vehicle, else null.
Vehicle* DriverCar(const Object* driver);
