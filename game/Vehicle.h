// Vehicles: the cars and motorbikes of the city, rigid bodies on sprung
// wheels with an engine and an automatic gearbox.
//
// Vehicle.cpp builds a car from its model and its row of the tuning table
// and answers its messages; VehiclePhysics.cpp moves it one tick (the body,
// then each wheel's contact and tyre); VehicleControl.cpp turns the player's
// pad into the car's control fields; VehicleSound.cpp sounds its engine,
// horn and siren; SkidMarks.cpp lays the marks a sliding wheel leaves.
// Whoever drives (the player, a car driver) writes steer, fAccel, fBrake,
// fHandBrake, gear, bPeelOut and vSpecialMove before the car's frame.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Physics.h"
#include "ZevEngine2/PS2/Controller.h"
#include "game/Road.h"

struct MDLFILE;
class CollisionRecord;
class RenderContext;
struct NODE;
class SkidDraw;

// Sub-objects of a car's body.
enum {
    VEHICLE_LEFT_DOOR = 16,
    VEHICLE_RIGHT_DOOR = 17,
};

// Wheel object flags.
enum : unsigned int {
    WHEELF_DRIVEN = 0x00800000,     // rear: driven and hand-braked
    WHEELF_STEERED = 0x01000000,    // front
    WHEELF_SKIDDING = 0x02000000,   // slid or hung in the air in the last step
};

enum VSpecialMove {
    VSpecialMove_None = 0,
    VSpecialMove_EmergencyStop = 1,
    VSpecialMove_BackSwitchBlade = 2,
    VSpecialMove_FrontSwitchBlade = 3,
    VSpecialMove_90DegreeTurn = 4,
    VSpecialMove_TwoWheels_Left = 5,
    VSpecialMove_TwoWheels_Right = 6,
    VSpecialMove_Boost = 7,
    VSpecialMove_Nitro = 8,
    VSpecialMove_BeingPinned = 9,
    VSpecialMove_PeelOutBurst = 10,
};

// Bits of the player's unlocked car moves (sPlayerStats::carAbility).
enum eCarAbility {
    PEEL_OUT = 1,
    EMERGENCY_STOP = 2,
    PIT_CARMOVE = 4,
    DOWNSHIFT_BOOST = 8,
    TURN90_DEGREES = 16,
    FWD_180DEGREES = 32,
    BACK_180DEGREES = 64,
    TWOWHEEL_TRICK = 128,
    NITRO_UPGRADE = 256,
};

// Special messages a vehicle answers or sends.
enum {
    SMSG_PLAYER_ANIM_A = 8002,
    SMSG_PLAYER_ANIM_B = 8003,
    SMSG_EV_ENGINE_SFX = 23027,
    SMSG_EV_CAR_NEAR_10 = 23052,
    SMSG_EV_CAR_NEAR_20 = 23053,
    SMSG_Q_29001 = 29001,
    // (To a car's driver, SMSG_CD_DRIVER_LEFT and SMSG_CD_PINNED: see
    // cardrivr.h.)
    // To the mission controller: obj was pinned by param 0.
    SMSG_EV_CAR_PINNED = 23067,
};

// The gear ratios, by the absolute value of the gear.
extern const float fRatios[6];
// The engine's road speed per unit of fEngine and of ratio is 40/11 of the
// car's top speed, as the single float nearest it.
constexpr float kRatioSpeed = 3.6363635f;
// Gravity per frame for vehicles, and one wheel's share of it.
constexpr float kVehGravity = 0.0009367182f;
constexpr float kWheelLoad = 0.00023417956f;

// Tyre tuning the wheel step reads.
extern float g_fSlide;
extern float g_fRollResist;
// Each wheel's suspension load of the last step.
extern float g_rgfTires[4];
// The motorbike's lateral grip share, and its lean controller's gain and
// damping.
extern float g_fTest;
extern float g_fVehGain;
extern float g_fVehDamp;
// A debug trigger: the next control call bursts this wheel (-1: none).
extern int g_iDamageWheel;
// Engine loudness, and the horn sound of each horn type.
extern float g_fEngineScaleVolume;
extern const int riHornSounds[3];

// A whole drawn frame begins on this tick: the effects made once a drawn
// frame are made now (every tick at normal speed).
bool VehicleNewWholeFrame();

// A node of a model and the object built from it (light mounts).
struct ObjectNode
{
    Object* obj;
    NODE* node;
};

// Double and triple taps of one button: the frames of the last two presses
// and the last frame the button was held.
struct ButtonTapInfo
{
    int rgiLastEdgeTime[2];
    int iLastDownTime;

    // Called on every frame the input is active: 0, 1 (double tap) or 3
    // (triple tap).
    int DownUpdate();
    // The last press began this frame.
    bool Hit() const;
};
static_assert(sizeof(ButtonTapInfo) == 12);

// One row of the vehicle tuning table; arrays by axle (0 front, 1 rear).
struct Vehicle_Info
{
    float rfK[2];
    float rfD[2];
    float fMaxCarSpeed;
    float fStrength;
    VECTOR rI;
    float fMass;
    float rfKinGrip[2];
    float rfSlip[2];
    float rfStaticFact[2];
    float fBrakeCoeff;
    float fCd;
    s16 i16StartTintOffset;
    s16 i16NumTintSets;
    VECTOR vCOGOffset;
    float fTBarFact;
    float fPowerMult;
    float fMaxPowerT;
    float fAngVelDamp;
    s8 i8HornType;
};

constexpr int NUM_VEHICLE_TYPES = 60;
extern const Vehicle_Info rvi[NUM_VEHICLE_TYPES];

// A sprung wheel: a child object of its car (of the motorbike's slider or
// swing arm).
class Wheel : public Object
{
public:
    // Builds the wheel's model: the rear wheel model (id 2) for a rear wheel
    // when the file has one, else node.
    Wheel(MDLFILE* mdl, int node, bool rear);

    // The spring, damper, grip, slip and static friction of axle a (0 front,
    // 1 rear; a motorbike's wheel index) from the tuning row.
    void Tune(const Vehicle_Info& vi, int a);
    // A burst tyre; true.  A burst tyre is not burst again.
    bool CauseDamage();

    float yoffset;    // bump stop: the highest wheel-centre position (y down)
    float rest;       // the wheel centre's rest height in its parent's frame
    float spring;
    float damper;
    float radius;
    float radiusf;
    float speed;      // rim speed along the wheel's forward, per frame
    VECTOR ang;       // x rolling, y steering
    SkidDraw* pskdr;  // the skid mark being laid
    int iChan;        // skid sound channel, -1 when none
    float fKinGrip;
    float fSlip;
    float fStaticFact;
    bool bDamaged;
    GHCache ghc;
};

// The per-wheel results the body step sums.
struct WheelResult
{
    VectorDir force;     // car frame
    VectorPos point;     // car frame
    float compression;   // 0 when not touching
    bool touching;
    VectorDir normal;    // world ground normal
    float engine;        // a driven wheel's proposed engine change
};

class Vehicle : public DynamicObject
{
public:
    enum KickOutMode {
        KICKOUT_NORMAL = 0,
        KICKOUT_PULLOUT = 1,
        KICKOUT_ESCAPE = 2,
        KICKOUT_ANGRY_FIGHT = 3,
        KICKOUT_ANGRY_SHOOT = 4,
        KICKOUT_SCARED = 5,
    };

    // A car without a model, standing at the origin (tests).
    Vehicle();
    Vehicle(MDLFILE* pmf, int iNodeIndex, int iWheelIndex, VectorPos pos, int iVehType);

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    // The handler while a cinematic drives the car: OM_FRAME from the actor
    // each frame, OM_CINEMAOVER at the end.
    static int staticcinemh(Object* o, OBJMESSAGE msg, void* data);

    // Construction and tuning (Vehicle.cpp).
    void ReloadVehicleParams();
    int iGetNumTintSets(int* start);
    void AdjustCenterOfGravity(VectorDir d);
    static bool bIsACycle(int iVehType);
    static void RemoveSharedExtraParts(Object* obj, bool remove4, bool remove5);
    bool CarAbility(int bits);
    static void SetCarAbility(int bits, int on);
    // Starts the car forward at speed (per frame) along its z axis.
    void SetInitialSpeed(float speed);
    // Repairs the car to strength s, its visible damage with it.
    void UnDamage(float s);

    // The frame and its broadcasts (Vehicle.cpp).
    void Frame();
    void SendGEMToDriversAndPeds(int code, float radius);
    void ClearFX();
    int NumWheels() const { return bCycle ? 2 : 4; }
    // Whether the car has a driver, and its id (0 without one).
    bool HasDriver() const { return rcoDriver != nullptr && !rcoDriver->IsDead(); }
    int DriverId() const { return HasDriver() ? rcoDriver->id : 0; }

    // Physics (VehiclePhysics.cpp).
    void MoveVehicle();
    float CalcEnginePower();
    float CalcBodyRestOffset();
    void TimeScaledMoveDynamicObject2(VectorDir force, VectorDir torque);
    void TimeScaledApplyLocalForce(VectorDir force, VectorPos point);

    // Player control (VehicleControl.cpp).
    void ControlVehicle(Controller& pad);
    int PinVehicle(bool side);

    // Sound (VehicleSound.cpp).
    void PlayEngineSFX();
    static void StopSFX(int* chan);
    void StopEngineSFX();
    int iSirenType();
    int EnableSiren();
    int DisableSiren();

    // Drivers, kick-out and doors (VehicleDriver.cpp).
    Object* AttachDriver(MDLFILE* drivermodel);
    Object* FindMeshDriver();
    Object* FindCharacterDriver(Object* except);
    Object* KickOutMeshDriver(KickOutMode mode, bool flag, Object* jacker);
    Object* KickOutCharacterDriver(KickOutMode mode, bool flag, Object* jacker);
    Object* KickOutDriver(KickOutMode mode, bool flag, Object* jacker);
    Object* MakeDoor(int id);

    // Collision and pinning (VehicleCollide.cpp).
    int Collide(CollisionRecord& cr);
    float CalcCollisionScaleFactor(Vehicle* pVeh);
    int CheckPinMove(Vehicle* pVeh, VectorPos vpPoint, VectorDir vdNormal, VectorPos vpPoint2, VectorDir vdNormal2);

    // Damage and repair (VehicleDamage.cpp).
    int DamageVehicleAt(VectorPos& vpLoc, float fDamage);
    void DamagePart(int iId);
    int DamageTotal();

    // Lights (Headlights.cpp).
    void FindLights();
    void QueueLights();
    void DrawLightCone(RenderContext* rc);

    // Motorbikes (VehicleCycle.cpp).
    void MoveCycle();
    VectorPos GetCycleWheelCyclePos(int i);
    float CalcCycleFrontWheelYOffset(float y);
    int MoveCycleWheelY(int i, float dy);
    void ForkRotateToYAng(float a);

    // Cinematic driving (VehicleCine.cpp).
    int cinemh(OBJMESSAGE msg, void* data);
    void MoveCineVehicle();
    void ForceEndCineFrame();

    float fFade;
    int nFrames;
    float fMass;
    float steer;
    float fDeltaSteer;
    float brakeaccel;
    float fBrake;
    float fAccel;
    float fHandBrake;
    s8 gear;
    s8 i8Tint;
    s16 i16OrigIndex;
    float fMaxCarSpeed;
    float fBrakeCoeff;
    float fEngine;
    float fTBarFact;
    float strength;
    float fBaseStrength;
    float rgpartstrength[4];
    u8 doors;
    bool bPeelOut;
    bool bCycle;
    bool bHorn;
    bool bSiren;
    int iLastTimeStartHorn;
    int iSndHorn;
    int iSndSiren;
    VSpecialMove vSpecialMove;
    float Cd;
    Wheel* wheel[4];
    Object* pobjFork;
    Object* pobjSlider;
    Object* pobjSwingArm;
    ObjectNode lights[4];
    int iLastBrakeLightTime;
    float steeringratio;
    Object* steeringwheel;
    RCptr<Object> rcoDriver;
    int enginesndchan[3];
    s16 i16VehType;
    int iNextCollEffectTime;
    int iLastCollTime;
    int iLastDrawnTime;
    Matrix matCinePrev;
    float fSaveY;
    int iLastDamageCollFrame;
    float fLastDamageValue;
    VectorDir vdCOGOffset;
    Vector vMiscSpecial;
    float fPowerMult;
    float fAngVelDamp;
    int iLastPropelTime;
    int iBurstTimeLeft;
    int iTotalBurstTime;
    float fBurstAccelValue;
    float fForwardBackLean;
    float fDeltaFBLean;
    bool bKickStand;
    ButtonTapInfo btiAccel, btiBrake, btiHandBrake, btiSteerLeft, btiSteerRight;
    int maxoccupancy;

private:
    // The wheel step of MoveVehicle for wheel i.
    WheelResult MoveWheel(int i, const Matrix& lvm, float a, float fwd, float tgt, float P, bool allSkidding);
    // The eight corner points of the body boxes on the ground; their wheels
    // are wheel[k & wheelMask] (3 for a car, 1 for a motorbike).
    void OverturnedContact(VectorDir& F, VectorDir& T, int wheelMask);
    // The engine's demand from the throttle (an empty car: none, hand brake
    // on), and the engine's rise and decay with at most one gear change.
    float EngineDemand();
    void EngineAndGears(float e, bool rearSkidding);
    // Pieces of the wheel steps: a brake's slowing of the wheel (the engine
    // change it asks of a driven wheel), the rolling resistance, a burst tyre's
    // drag and a spinning tyre's wobble, and the ground's push off a slope or
    // a kerb (steep: also against a steep face).
    float WheelBrake(Wheel& w, float b, bool driven, bool wasSkidding, float ratioSpeed);
    static float RollingResistance(float L, float speed);
    void TyreExtras(const Wheel& w, bool spinning, float fwd, VectorDir& Fw);
    static void GroundPush(VectorDir& Fw, const VectorDir& nc, float depth, float vn, float kerbPush, bool kerb,
                           bool steep);
    // The wheel step of MoveCycle for wheel i.
    WheelResult MoveCycleWheel(int i, const Matrix& lvm, float fwd, float tgt, float P);
    void SpecialMoveStep(const VectorDir& Fworld, float a, bool& twoWheelRan, int n);
    void BulletHit(const SpecialMessage& m);
    void Die();
    // The player's game-event object while the player drives this car.
    Object* PlayerEvents() const;
};

// A new car of the given type from node iNodeIndex of pmf at pos; not yet in
// the world.  Negative node indices name the file's body (id 0) and wheel
// (id 1) nodes.  Null, with nothing left allocated, when memory runs out.
Vehicle* CreateVehicle(MDLFILE* pmf, int iNodeIndex, int iWheelIndex, VectorPos pos, int iVehType);
