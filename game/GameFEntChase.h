// The chases: the runner generator (one runner that it follows and puts to
// sleep far from the camera) and the three controllers of the chasing modes:
// tailing a car to its destination, escaping pursuers, and pursuing a
// runner or a car until it is caught.  Included by GameFEnt.h.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "game/EntParams.h"

class Enemy;
struct BadGuyGenInfo;

// An enemy of kind `kind` with the model of slot `slot`, built and in the
// world at the generator's place, told its id, aggro, model id and event
// object (the generator); null when the kind, the model or the memory is
// missing.  A fighter's melee weapon is given before it enters the world,
// where it takes the weapon in hand.
Enemy* MakeEnemy(const char* kind, int slot, Object* generator, s16 id, float aggro, int fightweapontype = 0);
// A runner's figures from its record: weapons, strength, gait, chances and
// tint; it is marked as spawned.
void SetUpRunner(Enemy* e, const EnemyGenRunner_params& p);

class EnemyGenRunner : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void GenerateRunner();
    // Makes the runner when the player is within gendist (0: anywhere) and
    // the city is there.
    void TryGeneratingRunner();
    void DestroyRunner();

    EnemyGenRunner_params* pegrp;   // owned
    int iRunnerId;
    float gendist;
    Enemy* enemy;
    bool enemyescaped, enemybusted, enemysubdued, enemykilled, started, ishostage, iscop;
    Object* gameeventobj;
};

struct TailMissionParams
{
    EnemyGenRunner_params* pegrp;
    int iPHId;          // the destination placeholder, 0 none
    int iTargetId;      // the car to follow
    float tooclose;
    float tooclosetime;
    float toofar;
    float toofartime;
    bool bAbortOnDetection;
    const char* destname;
};

struct PursuitMissionParams
{
    EnemyGenRunner_params* pegrp;   // null: a plain car target
    int i32RunnerId;
    int targetid;       // the runner's start placeholder, or the target's id
    float maxcarradius;
    float maxfootradius;
    const char* targetname;
};

struct EscapeMissionParams
{
    float far_escape;
    int fartime;
    float close;
    float tooclose;
    int i32NumBadGuyGens;
    BadGuyGenInfo* pbggi;
};

class TailMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void StartMission();
    void Check();
    void AbortMission();
    void FinishMission();
    void Spooked();
    void SwitchTargetMarker(bool close);

    Object* target;
    Object* targetmarker;
    TailMissionParams* ptmp;
    Object* gameeventobj;
    int iTooCloseCounter, iTooFarCounter, iLastVOTime;
    bool bIsClose, bSkipAbort, bStarted;
    VectorPos vpTailDest;
    bool bRandomMission;
    bool bTimerOn;
};

class EscapeMissionController : public Object
{
public:
    enum { MAXGENS = 8 };
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void PreStartMission(bool epilogue);
    void StartMission();
    void AbortMission();
    void FinishMission();

    Object* pursuer;
    EscapeMissionParams* pemp;
    Object* gameeventobj;
    int iNumGens;
    Object* rpvGens[MAXGENS];
};

class PursuitMissionController : public Object
{
public:
    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void Special(const SpecialMessage& m);
    void MakeRunnerGen();
    void PreStartMission();
    void StartMission();
    void Check();
    void AbortMission();
    void FinishMission();

    Object* target;
    Object* targetmarker;
    EnemyGenRunner* runner;
    PursuitMissionParams* ppmp;
    Object* gameeventobj;
    int iFailureCounter, iCarStopSuccessCounter, iCheckpointCounter;
    float fLastDistance;
    bool bFromOtherMission;
    bool bStarted;
    int iLastTauntTime, iLastOopsTime;
    int iLastTargetMode;   // the target's state last told on the console
};
