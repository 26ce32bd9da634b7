// The game modes that run: the protocol every mode controller shares, the
// drive-to, fight and shoot-out controllers, the entry marker the player
// drives or walks to, the level queries the modes ask the city, and the
// clearance probe.  Included by GameFEnt.h.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/EntParams.h"
#include "game/GameEvents.h"
#include "game/HUD.h"
#include "ZevEngine2/Collision.h"

class RoadSeg;
class Junction;
struct RoadInfo;
struct Cuboid;
struct Sphere;

// ---------------------------------------------------------------------------
// The protocol

// The player: the player character while there is one, else the live object
// of the world with id -1; null when neither.
Object* PlayerObject();
// OM_SPECIAL {code, obj, p0} to `to` (nothing when null); its reply.
int SendSpecial(Object* to, int code, Object* obj = nullptr, Variant p0 = 0);
// A game event (23000..23100) goes on unchanged to the event object; every
// other code stays.
void ForwardGameEvent(Object* gameeventobj, const SpecialMessage& m);
// The world frame now.
int ModeNow();
// False while the game flow plays a cinematic: a mode start then waits.
bool ModeMayStart();
// The three protocol codes a mode controller answers alike: a start (unless
// a cinematic plays), an end and a finish.  True when m was one of them.
template <class Controller>
bool AnswerModeProtocol(Controller* c, const SpecialMessage& m)
{
    switch (m.submsg) {
    case SMSG_MODE_START:
        if (ModeMayStart())
            c->StartMission();
        return true;
    case SMSG_MODE_END:
        c->AbortMission();
        return true;
    case SMSG_MODE_FINISHED:
        c->FinishMission();
        return true;
    default:
        return false;
    }
}

// The stage bookkeeping of the fight and shoot-out: 65 lists of enemies by
// stage (63: every stage cleared) and the current stage.
class StageController : public Object
{
public:
    // Stage 0..64; others are ignored.
    void AddStageObject(Object* o, int stage);
    void RemoveStageObject(Object* o, int stage);
    // Moves past empty stages, from 1 up to 63.
    void UpdateStage();
    void ClearAllStages();
    int TotalStageObjects() const;
    // 28004..28007; true when the code was one of them, with its reply.
    bool StageMessage(const SpecialMessage& m, bool lowerOnAdd, int* reply);

    ObjectList StageObjects[65];
    int iStage;
};

// The gun-fight music of the shoot-out: heat up for each 60 frames of the
// player's shooting, cool down for each 60 idle.
struct GunMusic
{
    int firstdaceaction;
    int lastdaceidle;
    void Start();
    void Event(int code);
    void Frame();
};

// ---------------------------------------------------------------------------
// Drive-to

struct DriveToMissionParams
{
    int placeholderid;   // the destination placeholder (a bonus drive also the two below)
    int timelimit;       // frames, 0 none
    const char* destname;
};

class GameModeTarget;

class DriveToMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();
    // A marker for the destination at pos, id id; null without the marker
    // model (slot 144).  Not added to the world.
    GameModeTarget* CreateDriveToModeTargetObj(VectorPos& pos, bool timed, int id);

    Object* location;
    GameModeTarget* target;
    DriveToMissionParams* pdtmp;
    Object* gameeventobj;
    int iTimeCounter;
    bool bEnableWalkTo;
    bool bBonusDriveTo;

private:
    bool Timed() const { return pdtmp != nullptr && pdtmp->timelimit != 0; }
    void Check();
};

// Puts the player back on his feet on the pavement nearest him, out of his
// car, and removes the random crimes' characters.
void ResurrectDace();

// The ambulance siren that plays while a fallen player is carried off: 120
// frames up, 120 down, in 7-frame steps.
class AmbulanceSound : public Object
{
public:
    static int AmbulanceSound_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    int iSoundChan;
    int iTimeLeft;
};

// ---------------------------------------------------------------------------
// The entry marker

// i16Flags
enum {
    GMTF_SIDETRIP = 0x01,     // entering starts a side activity
    GMTF_TWOSTAGE = 0x02,     // the player must walk onto it at the door
    GMTF_LOOK8 = 0x08,        // second-stage look from node 8 (else 10)
    GMTF_ANYDIST = 0x10,      // the first stage counts at any distance
    GMTF_SHIELD = 0x20,       // entering costs a shield (100 points)
};

class GameModeTarget : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    // The collect effect on the first child, which it returns (null none).
    Object* RemoveAndDoTargetEffectOnChild();

    s16 i16Flags;
    s16 i16SubLevelNumberTrigger;
    VectorPos vpSrceChar;
    VectorDir vdSrceCharDir;
    VectorPos vpSrceVeh;
    VectorDir vdSrceVehDir;
    s16 i16TableIndex;
    int bForceOntoObject;

private:
    int Timer();
    bool FindExitSpots();
    void Enter(Object* player);
};

// Hands pObj to a holder that grows it for 60 frames and then deletes both;
// returns pObj.
Object* DoTargetEffectOnObject(Object* pObj);
// The spot in front of the building beside the road at pos, and the facing
// toward the road; false when the city there is not loaded or no road is.
bool bGetExitBuildingPos(VectorPos pos, VectorPos* pvpDest, VectorDir* pvdDest);
// The building rays' filter: every object.
int CheckModeTarget(Object* pObject);

// ---------------------------------------------------------------------------
// Fight and shoot-out

class FightMissionController : public StageController
{
public:
    enum { MAXFOES = 32 };
    enum { ACTCHANGE_NO_CHANGE, ACTCHANGE_INCREASE, ACTCHANGE_DECREASE, ACTCHANGE_ONE, ACTCHANGE_ALL };

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    bool AddPassiveFoe(Object* e);
    bool AddActiveFoe(Object* e);
    void PassivateFoe(int index);
    void ActivateFoe(int index);
    void MoveFoeToFront(int index);
    int FindClosestActiveFoe(bool includefrontactivefoe) const;
    int FindClosestPassiveFoe() const;
    void Frame();
    void StartMission();
    void AbortMission();
    void FinishMission();

    int lastfrontswitch;
    int lastattackhit;
    int lastupdate;
    ControllerCombat_params* pfmp;
    Object* gameeventobj;
    int minfoesactive;
    int activationmode;
    int activationChange;
    float SurroundRangeDist;
    float EnemySpreadAngle;
    float SidelineDist;
    int starttime;
    Object* activefoes[MAXFOES];
    int numactivefoes;
    Object* passivefoes[MAXFOES];
    int numpassivefoes;

private:
    void RecountActive();
    void ApplyActivationChange();
    void RemoveFoe(Object* e);
    void KnockdownCue(Object* c);
    void RelayToFoes(const SpecialMessage& m);
};

struct ShootoutMissionParams
{
    int startstage;
};

class ShootoutMissionController : public StageController
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();

    GunMusic music;
    ShootoutMissionParams* psmp;
    Object* gameeventobj;
};

// ---------------------------------------------------------------------------
// Level queries

// The marker hung on an object (id 1001, from slot 144); null without it.
Object* AttachTargetArrow(Object* obj, VectorPos pos, int type);
// The road segment under the matrix's position, and whether the matrix faces
// along it (untouched when there is none).
RoadSeg* FindRoadSeg(const Matrix& m, bool& forward);
// The segment nearest pos sideways among those whose nearest parameter lies
// strictly inside (-0.125, 1.125); markedOnly keeps typed roads with flag
// bit 0.  Its parameter through t.
RoadSeg* FindNearestRoadSeg(VectorPos pos, float* t, bool markedOnly);
// The zone the city's nodes give pos, -1 none.
int GetZone(VectorPos pos);
// The live objects whose boxes meet box: all are counted, at most capacity
// stored in out (which may be null).
int FindObjects(const Cuboid& box, RCptr<Object>* out, int capacity);
// The growing collect effect's handler.
int TargetObjLoopProc(Object* obj, OBJMESSAGE msg, void* data);

// ---------------------------------------------------------------------------
// The clearance probe: which objects a box or sphere would touch, with
// nothing moved or told.  Lives on its caller's stack.

class CollisionChecker : public Object
{
public:
    enum { MAXHITS = 8 };
    CollisionChecker();
    static int CollisionChecker_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    int CheckBox(Matrix m, Cuboid box, u8 mask, int type);
    int CheckSphere(Matrix m, Sphere s, u8 mask, int type);
    int CheckObjBox(Object* obj);
    int RunCheck();

    CollSphere cs[2];
    CollBox cb[2];
    Object* collobjs[MAXHITS];
    VectorDir collobjnormals[MAXHITS];
    float collobjdists[MAXHITS];
    int numcollobjs;
};

// ---------------------------------------------------------------------------
// Triggers: invisible volumes watched every 2 to 5 frames.

// Where the player stands against two volumes: 0 in either, 1 in both, 2
// just crossed from the first into the second (last: where he stood at the
// previous test).
bool TriggerValid(const Extent& first, const Extent& second, int mode, VectorPos p, VectorPos last);
// "No position yet": every component 1e12.
extern const VectorPos TriggerInitPos;

// Ends the task, or puts the player at the trigger, while he is inside.
class DaceModeTrigger : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    DaceModeTrigger_params dmtp;
    Object* gameeventobj;
};

// Hands the player its camera set-up while he is inside.
class DaceCamTrigger : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    DaceCamTrigger_params dctp;
    Object* gameeventobj;
};

// Raises the fight or shoot-out to its wave, once.
class EnemyWaveTrigger : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    bool TriggerValid() const;
    EnemyWaveTrigger_params ewtp;
    Object* gameeventobj;
    VectorPos lastdacepos;

private:
    void RaiseStage();
};

// ---------------------------------------------------------------------------
// Interior props

// A breakable interior prop: bullets, blows, cars and characters damage it,
// it may slide when pushed and make a noise pedestrians hear, and it blows
// apart with its wall splines when its strength is gone.
class Vehicle;
class InteriorDamageable : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int InteriorDamageable_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    void TakeDamage(float amount);

    static const float DefaultStaticFrictionLevel;
    static const float DefaultSlidingFrictionDamp;
    static const float SlidingDamageFactor;

    float fStrength;   // 0: not to be broken
    bool bSliding;
    float fStaticFrictionLevel;
    float fSlidingFrictionDamp;
    VectorDir vSliding;
    s16 sound_id;      // impact sound, -1 none
    u16 min_interval;  // seconds between impact sounds
    float dist_heard;  // 0: no sound
    u32 delaySoundTime;

private:
    void Break();
    int Collision(CollisionRecord* rec);
};

// A character for walking through interiors by the left stick alone, with a
// collision box and nothing else: made only by its kind name, for trying
// out an interior's walls.
class InteriorChar : public Object
{
public:
    InteriorChar();
    static int InteriorChar_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    CollBoxEnd cbTemp;
    VectorDir vdLastDelta;
    Matrix matLast;      // the camera's frame the stick is read in while held
    float fLastCYAng;    // the stick's last angle; 100 while at rest
    int iLastCntrlX, iLastCntrlY;
};

// Removes the wall splines of placed object objindex (the player lets go).
void RemoveObjectSplines(u16 objindex);
// The still figures of cinematic-only loads.
int CharDefHandler(Object* obj, OBJMESSAGE msg, void* data);
// Seats a character at seat node `seat` of the car, as its child.
void PutIn(Object* character, Vehicle* vehicle, int seat, int);

// ---------------------------------------------------------------------------
// Enemy generators: each makes its enemies by kind name when its mode has
// started, its wave has come and its trigger holds, tells the controller
// which stage they belong to and passes their game events on.

class Spline;

// The weapon a placement record's code gives a shooter: 0 the pistol, 1 the
// sub-machine gun, 2 blanks, 3 the shotgun, 5 the rifle, others code - 2;
// codes past the weapon table give the pistol.
int ShooterWeaponType(int code);
// The model slot of a placement record's character (+ 49) or hostage (+ 48);
// -1 past the registry.
int EnemyModelSlot(int code, int base);
// In a set-up loaded for a cinematic only, a generator whose enemy is made
// at the mode's start stands it there as a still figure instead: the model
// of `slot` (one more reference), the generator's matrix, the enemy's id and
// tint.  Null when the model is not loaded or memory is short.
Object* StandStillFigure(const Object* generator, int slot, s16 id, int tint);

class EnemyGenShooter : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int EnemyGenShooter_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    void GenerateShooter(bool dormant);
    bool TriggerValid() const;

    static const float ActivateDist;

    EnemyGenShooter_params* pegsp;
    Spline* pSplineArrive;
    Spline* pSplineMove;
    Object* enemy;
    Object* hostage;
    Spline* pSplineHostage;
    bool lastenemykilled;
    bool enemyescaped, enemybusted, enemysubdued, enemykilled;
    bool started;
    s16 numspawned;
    Object* gameeventobj;
    VectorPos lastdacepos;

private:
    void Report(int code, Object* o);
    void Wake();
};

class EnemyGenFighter : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int EnemyGenFighter_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    void GenerateFighter();

    static const float ActivateDist;

    EnemyGenFighter_params* pegfp;
    Spline* pSpline;
    Object* enemy;
    bool enemyescaped, enemybusted, enemysubdued, enemykilled;
    bool started;
    Object* gameeventobj;

private:
    void Report(int code, Object* o);
    void Hand();
};

// The guard: made by distance or volume (asleep until both hold when both
// are set), kept in the game's sub-mission targets and marked with an arrow
// while he has spotted the player.
class EnemyGenGuard : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int EnemyGenGuard_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    void GenerateGuard();

    EnemyGenGuard_params* peggp;
    Spline* pSpline;
    Object* enemy;
    bool enemyhibernating, enemykilled, started;
    Object* gameeventobj;
    Object* pHudArrowObj;

private:
    void Report(int code, Object* o);
    void RemoveArrow();
    void ForgetTarget();
};

// Hands obj's target arrow (sub-object 1001) to the vanishing effect; the
// arrow, or null when obj carries none.
Object* RemoveEnemyTarget(Object* obj);
