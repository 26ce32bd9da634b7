// The side games and their special opponents: dojo training on board and
// wooden dummies, the firing range and gun course with their targets, the
// lap and street races, the boss fights and the small controllers of free
// roaming, the impound lot, the jet chase and infiltration.  Included by
// GameFEnt.h, which declares the mode protocol they share.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/EntParams.h"
#include "game/GameEvents.h"
#include "game/GameModes.h"
#include "game/userintf.h"

class Spline;
struct MDLFILE;

// The infiltration's record as the mission steps fill it.
struct InfiltrateMissionParams
{
    const char* targetname;   // the building's name on the screen
};

// ---------------------------------------------------------------------------
// Dojo dummies

// Board and wooden dummies share their fields; each kind has its own states
// and handler.
class TrainingDummy : public Object
{
public:
    // Elapsed frames since stateFrame, on the 16-bit frame clock.
    u16 Elapsed() const;
    void Restart();   // stateFrame = now

    int state;
    u16 stateFrame;
    float fRotation;
    VectorDir vdRecoilDir;
    VectorPos vpStartingPos;
    float fSpeed;
    float fDelay;
    float fStrength;   // 0: not to be broken
    int curhitstodaze;
    int totalhitstodaze;
    Object* pTarget;
    Object* gameeventobj;
};

class BoardDummy : public TrainingDummy
{
public:
    enum eBoardDummyState { BOARD_START, BOARD_MOVING, BOARD_STOPPED, BOARD_RECOIL, BOARD_FINISHED };
    static int BoardDummy_mh(Object* o, OBJMESSAGE msg, void* data);
    static int staticmh(Object* o, OBJMESSAGE msg, void* data) { return BoardDummy_mh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
};

class WoodDummy : public TrainingDummy
{
public:
    enum eWoodDummyState { WOOD_START, WOOD_MOVING, WOOD_STOPPED, WOOD_ATTACK, WOOD_RECOIL, WOOD_FINISHED };
    static int WoodDummy_mh(Object* o, OBJMESSAGE msg, void* data);
    static int staticmh(Object* o, OBJMESSAGE msg, void* data) { return WoodDummy_mh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
};

// The fight-ability bit an attack animation of the player trains (0 none).
u16 DummyAttackBit(int playerAnim);

// ---------------------------------------------------------------------------
// Dojo training

struct sDojoTrainRound
{
    u16 type;       // 0 board, 1 wood, others nothing
    u16 number;
    u16 strength;
    u16 setupType;  // 0 placement nodes, 1 one fixed node, 2 a line through the player
};
struct sDojoTrainSession
{
    u16 ability;
    u16 numGoal;
    const char* cAttackName;
    sDojoTrainRound round[4];
};
constexpr int NUM_TRAIN_SESSIONS = 9;
extern const sDojoTrainSession cTrainSession[NUM_TRAIN_SESSIONS];

class DojoTrainingModeController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();
    void InitRound();
    const sDojoTrainSession& Session() const;

    GunMusic music;
    int challenge;
    int round;     // 0..3; -1 once finished
    int targets;
    Object* gameeventobj;
    MDLFILE* pIntMF;
    sDojoRoundStats stats;
};

// ---------------------------------------------------------------------------
// Firing range and gun course

struct sFrangeSession
{
    s16 ability;    // gun-ability bit granted, -1 none
    u16 numGoal;
    const char* cChallengeName;
};
constexpr int NUM_FRANGE_SESSIONS = 9;
extern const sFrangeSession cFrangeSession[NUM_FRANGE_SESSIONS];
extern const char* const rszGunBonusUpgradeNames[3];

class FRangeMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();
    const sFrangeSession& Session() const;

    Object* gameeventobj;
    int waveObjects;
    sShootingRoundStats stats;
};

class GunCourseMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();

    GunMusic music;
    Object* gameeventobj;
    sShootingRoundStats stats;
};

// Moving (type 29) and static (type 38) range targets.
class TargetMoving : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int TargetMoving_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);

    TargetMoving_params* ptmp;
    TargetStatic_params* ptsp;
    u8 bIsMoving;
    int state;
    u16 stateFrame;
    int round;
    u8 bRecoil;
    u8 numHits;
    u16 recoilFrame;
    float fRotation;
    Spline* pSpline;
    float fLastT;
    float fLastTVel;
    float fSpeed;
    float fDelay;
    float fNextKnot;
    Object* gameeventobj;

private:
    FRangeMissionController* Range() const;
    void Activate();
    void SetState(int s);
    void Frame();
    void Turn();
    void BulletHit(const SpecialMessage& m);
};

// The no-shoot target (type 30).
class TargetInnocent : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int TargetInnocent_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);

    TargetInnocent_params* ptip;
    int state;
    u16 stateFrame;
    float fDelay;
    Object* gameeventobj;
    Object* pMovingTarget;

private:
    void SetState(int s);
};

// Hit points on a range target: offsets from its sub-object 20.
extern VectorDir FrangeHeadOffset, FrangeRHandOffset, FrangeLHandOffset, FrangeRFootOffset, FrangeLFootOffset;

// ---------------------------------------------------------------------------
// Races

class RaceMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();
    void SwitchToFixedCamera(Object* obj);

    RCptr<Object> rcTarget;
    Object* gameeventobj;
    VectorPos vpStartLine;
    VectorDir vdStartDir;
    int i16RaceTotalLaps;
    s16 i16DaceMaxLap, i16DaceCurrLap, i16TargetMaxLap, i16TargetCurrLap;
    VectorPos vpLastDacePos, vpLastTargetPos;
};

class StreetRaceMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();

    RCptr<Object> rcTarget;
    Object* gameeventobj;
    VectorPos vpFinishLine;
    VectorDir vdFinishDir;
    VectorPos vpLastDacePos, vpLastTargetPos;
};

// 1 forward, -1 backward, 0 no crossing of the line at `line` facing `dir`
// by a racer that moved from q to p; near: squared radius round the line
// point.
int LineCrossing(VectorPos p, VectorPos q, VectorPos line, VectorDir dir, float nearSq);

// ---------------------------------------------------------------------------
// Boss fights and the small controllers

class DragonMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();

    GunMusic music;
    Object* gameeventobj;
};

class DemonMissionController : public Object
{
public:
    static constexpr int kDemons = 12;
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();

    GunMusic music;
    Object* gameeventobj;
    MDLFILE* pmfDemon;
    ObjectList StageObjects[4];
    int iStage;

private:
    void StartStage();
    void FreeDemonFile();
};

class WanderMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    Object* gameeventobj;
};

class ImpoundLotMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission() { FinishMission(); }
    void FinishMission();
    Object* gameeventobj;
};

class LearJetChaseMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void AbortMission();
    void FinishMission();
    RCptr<Object> rcTarget;
    Object* gameeventobj;
};

class InfiltrateMissionController : public Object
{
public:
    enum { INF_SETUP, INF_RUNNING, INF_WON, INF_LOST };
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void PreStartMission() {}
    void StartMission();
    void AbortMission();
    void FinishMission();
    InfiltrateMissionParams* pimp;
    Object* gameeventobj;
};

// ---------------------------------------------------------------------------
// The mannequin generator (type 37): puts up a mannequin whenever its
// trigger holds and none of its own stands.

class Mannequin;
class EnemyGenMannequin : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int EnemyGenMannequin_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    // One mannequin, in the world when its model is there; the bool is not
    // used.
    void GenerateMannequin(bool);
    bool TriggerValid() const;

    static const float ActivateDist;

    MannequinShooter_params* pegsp;
    Spline* pSplineArrive;
    Mannequin* enemy;
    bool lastenemykilled;
    bool enemyescaped, enemybusted, enemysubdued, enemykilled;
    bool started;
    s16 numspawned;
    Object* gameeventobj;
    VectorPos lastdacepos;

private:
    void Report(int code, Object* o, int stage);
};

// The mutant generator (type 16): mutants one after another, as the
// shooter generator makes shooters, with a single trigger volume.
class Mutant;
class EnemyGenMutant : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    static int EnemyGenMutant_mh(Object* o, OBJMESSAGE msg, void* data) { return staticmh(o, msg, data); }
    int mh(OBJMESSAGE msg, void* data);
    void GenerateMutant(bool);
    bool TriggerValid() const;

    static const float ActivateDist;

    EnemyGenMutant_params* pegmp;
    Spline* pSplineArrive;
    Spline* pSplineMove;
    Mutant* pObj;
    bool lastenemykilled;
    bool started;
    s16 numspawned;
    Object* gameeventobj;
    VectorPos lastdacepos;

private:
    void Report(int code, Object* o);
};
