// Random street crimes: the records of a crime group (its parameter rows and
// its asset list) and the controller that runs one crime from its creation by
// the spawner until it deletes itself: loading its cast, placing it in the
// street, engaging the player, tracking every suspect, calling the police and
// booking the outcome.
//
// The controller's handler and its life cycle are in RandomCrimes.cpp, the
// cast and placement in RandomCrimesCast.cpp, the per-frame suspect book-
// keeping and the reactions in RandomCrimesEngage.cpp, the police and the
// wrap-up in RandomCrimesPolice.cpp.  The group tables and scripts that the
// controller calls live with the crime groups (RandCrimesGenerator*.cpp).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/EntParams.h"

class MDLFILE;
class RoadSeg;
class Enemy;
class Bystander;
class Vehicle;
class EnemyGenRunner;
class FightMissionController;
class TailMissionController;
struct TailMissionParams;

// ---------------------------------------------------------------------------
// Crime group records

enum AssetType {
    AT_AMBCHAR = 0,       // a character
    AT_AMBVEH = 1,        // a vehicle
    AT_ENVIRONMENT = 2,   // the crime's set-up model
    AT_PROP = 3,          // a prop
};

// One entry of a crime group's asset list.
struct AssetLoadParams
{
    // 0 names a file; below 256 a model id; 1024..1031 a character group;
    // 1122 / 1123 a vehicle / character already loaded in an ambient slot;
    // negative ends a list.
    s16 i16MFID;
    s16 i16Index;         // 0 in the lists; the controller's copy: the slot it went to, -1 none
    const char* pFName;   // file entries only
    AssetType atype;
    int iLevelMask;       // 0: every level; else used only when bit (1 << level) is set

    // The end entry.
    AssetLoadParams() : i16MFID(-1), i16Index(0), pFName(nullptr), atype(AT_AMBCHAR), iLevelMask(0) {}
    AssetLoadParams(int id, AssetType type, int mask)
        : i16MFID(s16(id)), i16Index(0), pFName(nullptr), atype(type), iLevelMask(mask)
    {
    }
    AssetLoadParams(const char* file, AssetType type, int mask)
        : i16MFID(0), i16Index(0), pFName(file), atype(type), iLevelMask(mask)
    {
    }
};

// One row of a crime group's table (one difficulty level).  The flags are
// 32-bit words.
struct RandMissParams
{
    int iIndex;           // crime index: group number - 100
    int iDifficulty;      // becomes the controller's level
    int emergent;         // built around objects the spawner hands over
    int gunfight;
    int policechase;
    float responsedist;   // a suspect this near the player engages the crime
    int carchase;
    int getaway;
    int driveby;
    int tail;
    int iRMCFlags;
    AssetLoadParams* palp;   // ended by a negative i16MFID
    float minradius;
    float maxradius;
    int minwait;          // frames before a generated crime starts loading
    int maxwait;
    int timetodo;         // frames before a crime left alone may lapse
    const char* startmsg; // centred on the HUD when the crime becomes active
    const char* goodcopmsg;
    const char* badcopmsg;
};

// The character groups 1024..1031, each a list of model ids ended by a
// negative value.
extern const s16* rgpi16CharGroups[8];

// ---------------------------------------------------------------------------
// The controller

// A generated suspect: its runner generator (whose enemy is the suspect).
struct EnemyGenInfo
{
    EnemyGenRunner* pegr;
    int iEGFlags;         // EGF_*
    bool incar;
    bool added;           // made by AddEnemy
};

// EnemyGenInfo::iEGFlags
enum {
    EGF_PASSEDNEAR = 2,   // the suspect has been beyond its near escape distance
};

class RandomMissionController;
typedef int (*RANDMISSIONCOMMANDERHANDLER)(Object* crime, int iEntry);
typedef void (*GETMISSIONPOSITIONHANDLER)(Object* crime);

// The group scripts, by crime index; null where there is no group.
extern RANDMISSIONCOMMANDERHANDLER rprmchRandomMissionCommander[40];
extern GETMISSIONPOSITIONHANDLER rprmchGetMissionPosition[40];

// The records used when a crime passes none.
extern ControllerCombat_params DefaultControllerCombatParams;
extern TailMissionParams DefaultTailMissionParams;
extern EnemyGenRunner_params DefaultEnemyParams;
extern EnemyGenRunner_params DefaultCopParams;
extern Vehicle_params DefaultCopCarParams;

// The crime's special codes (game events of the 23000..23100 range).
enum {
    SMSG_EV_RC_ASSIGN = 23056,        // obj: a bystander to turn into a suspect; param0: its id
    SMSG_EV_RC_ASSIGN_B = 23057,      // obj: a bystander victim; param0: its id
    SMSG_EV_RC_ASSIGN_C = 23058,      // obj: a car; param0: its id
    SMSG_EV_PLAYER_64 = 23064,
    SMSG_EV_PLAYER_65 = 23065,
    SMSG_EV_PLAYER_66 = 23066,
};

// The orders a crime and its group scripts give the cast (OM_SPECIAL codes
// the characters and drivers answer).  In a namespace of their own: the
// characters' files name some of them too.
namespace rcmsg {
enum {
    SMSG_CD_SET_DRIVE = 1,        // to a driver: param0 drive mode, param1 VectorPos* target
    SMSG_CD_DEACTIVATE = 3,
    SMSG_CD_HOLD = 5,             // to a driver: param0 1 hold, 0 go
    SMSG_PUT_IN_VEHICLE = 26,     // obj the car, param0 the seat (116 / 117)
    SMSG_GIVE_UP = 30,
    SMSG_ATTACK_OBJECT = 50,      // param0 the fighting style
    SMSG_ATTACK_OBJECT_NODAMAGE = 51,
    SMSG_SHOOT_OBJECT = 52,
    SMSG_SHOOT_OBJECT_NODAMAGE = 53,
    SMSG_RUN_AWAY_FROM = 54,
    SMSG_PED_WARNING_NEARBY = 56,
    SMSG_PED_SHOTS_A = 57,
    SMSG_PED_SHOTS_B = 58,
    SMSG_TAKE_HOSTAGE = 60,
    SMSG_ALLY_WITH = 61,
    SMSG_SEEK_OBJECT = 62,
    SMSG_WANDER = 63,
    SMSG_GET_IN_CAR = 64,
    SMSG_CONGREGATE = 65,         // param0..2 the point
    SMSG_REACT_TO = 67,
    SMSG_THREATEN = 68,
    SMSG_CHASE_OBJECT = 83,
    SMSG_STOP_CAR = 88,
    SMSG_TURN_INTO_HOSTAGE = 89,
    SMSG_STRUGGLE_WITH = 90,
    SMSG_CD_SUSPEND = 101,        // to a car: siren on
    SMSG_CD_RESUME = 102,         // to a car: siren off; to bystanders: combat nearby
    SMSG_CD_SEAT_TAKEN = 103,     // to an enemy: pull obj out of his car
    SMSG_CD_PINNED = 107,         // to the tailed driver: param0..2 where to stop
    SMSG_EV_THREATENED = 23036,   // a hostage set free
    SMSG_EV_FRONT_ANIM = 23049,   // the reply: frames since the crime began
    SMSG_Q_29001 = 29001,         // the reply names the kind: 13 a runner generator, 25 a vehicle
};
}  // namespace rcmsg

// The seats of a car the crimes use: the wheel and the passenger's.
enum { RC_SEAT_DRIVER = 116, RC_SEAT_PASSENGER = 117 };

// Controller modes (Object::mode).
enum {
    RCM_INACTIVE = 1,     // before the start, and once over (EndMission follows)
    RCM_ACTIVE_TAIL = 2,  // a tail crime waiting for its car to arrive
    RCM_HIBERNATE = 3,    // the target vehicle sleeps far from the player
    RCM_ACTIVE = 4,
    RCM_ENGAGED = 5,
    RCM_WRAPUP = 8,
};

// Timer data values.
enum {
    RCT_LOADING = 0,
    RCT_INACTIVE = 1,
    RCT_ACTIVE = 4,
    RCT_GETAWAY = 5,
    RCT_DESTROY = 10,
};

class RandomMissionController : public Object
{
public:
    static int RandomMissionController_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    ~RandomMissionController();

    // States and life cycle (RandomCrimes.cpp).
    void RCInit();
    void RCFrame();
    void RCFrameActive();
    void RCFrameHibernate();
    void RCFrameEngaged();
    void RCFrameWrapup();
    void RCFrameInactive();
    void RCCheckLoading();
    void RCCheckActive();
    void RCCheckInactive();
    void RCCheckDestroy();
    int InitMissionParameters();
    int InitialiseMissionEmergentPointers();
    void SetFightMissionMode(ControllerCombat_params* params);
    void SetTailMissionMode(TailMissionParams* params, Enemy* enemy);
    void EndMission();
    void DefaultDieHandler();
    void DestroySubMissionControllers();
    void UnloadFightingStyle();
    void ClearTheMapDisplay();

    // Cast and placement (RandomCrimesCast.cpp).
    int RequestAssets();
    int InitAssets(int n, AssetLoadParams* list, int level);
    bool CheckAssetsLoaded();
    int UnHoldLoadedAssets();
    int UnSetCopDeleteOnZero();
    MDLFILE* GetCharacterModelFile(int n);
    bool AddToUsedList(int id);
    bool InUsedList(int id);
    int PickFromGroup(int iGroupID, bool bUnique);
    int LoadPS2Setup(int slot, Matrix& mat, int level);
    int SetupInfoTables(Matrix& mat, int slot, int level);
    Enemy* AddEnemy(Matrix& mat);
    void MakeAddedEnemiesTargettable();
    Object* AttachTargetArrow(Object* obj);
    VectorPos GetRandCharacterSidewalkPosition(RoadSeg& rs, float t, VectorPos* across);
    VectorPos GetRandInRoadPosition(RoadSeg& rs, float t, VectorPos* across);
    Matrix CreateGeneratedRSInStreetPosition();
    Matrix CreateGeneratedRSRandomPosition(VectorPos* across);
    Matrix CreateGeneratedRSBehindPosition(float d);
    Vehicle* GetVehicle(int id);
    int AlignVehicleToStreet(int id);
    int AlignVehicleToStreet2(Vehicle* veh);
    int CheckTargetVehicleStatus();
    int PutGuyInCar(Vehicle* pVeh, Object* pObject, int iCarPos);
    int MoveRange(VectorDir d, int lo, int hi);

    // Engagement and messages (RandomCrimesEngage.cpp).
    int CheckAndUpdateEnemies(float* nearest);
    int CheckAndUpdateEnemiesEmergent(float* nearest);
    int CheckAndUpdateEnemiesGenerated(float* nearest);
    void SetNumMissionEnemies();
    Object* DaceProximityCheck(float* range);
    Object* DaceProximityCheckEmergent(float* range);
    Object* DaceProximityCheckGenerated(float* range);
    int HandleSpecialEnemyDoneMessages(SpecialMessage* m);
    int HandleSpecialEngagedMessages(SpecialMessage* m);
    int DefaultSpecialMessages(SpecialMessage* m);
    int SendMessageToRange(SpecialMessage* m, int lo, int hi);
    int SendMessageToAllEnemies(SpecialMessage* m);
    int SendAttackMessage(Enemy* e, Object* target);
    void EnemyReactToDace(Enemy* e);
    void EnemyReactToStreet(Enemy* e);
    int CheckEnemyGetawayStatus(Enemy* e);
    int GroupMutualMessage(int iSpecialMessage, int fightstyle, int iSrceGroupBlockID, int iDestGroupBlockID);
    int GroupSingleMessage(int iSpecialMessage, int fightstyle, int iSrceGroupBlockID, int iDestGroupBlockID);
    int FindEnemyGenInfoIndex(Object* obj);
    int FindEnemyGenInfoIndex(int id);

    // Police and wrap-up (RandomCrimesPolice.cpp).
    int CallTheCops(Vehicle* chaseme);
    void LoseTheCops();
    void ShutDownCar(Vehicle* car, int open);
    void UnlockMissionCars();
    void ShowMissionStats();
    void DestroyEnemies();
    void DestroyEnemiesEmergent();
    void DestroyEnemiesGenerated();
    void RemoveEnemy(Enemy* e);
    void RemoveBystander(Bystander* b);

    int i;
    RandMissParams* prmp;
    int iNumAssets;
    s16 i16numegi;
    s16 i16Level;
    AssetLoadParams ralp[16];
    EnemyGenInfo regi[16];
    EnemyGenInfo* pegiEngaged;
    s16 rgi16UsedList[16];
    bool dacepulledgun;
    bool pulldaceout;
    bool startgetaway;
    bool onfoot;
    bool gunfight, policechase;
    float responsedist;
    float enemydist2;
    bool carchase, getaway, driveby, tail;
    bool tailspooked;
    int fightstyle;
    bool enemyengaged;
    int starttime;
    int iCarStopSuccessCounter;
    int iLastTimeEnemiesInView;
    int iCallTheCopsTime;
    int iNumMissionGuys;
    int iNumMissionEnemies;
    int iNumEnemiesLeft;
    int iNumEnemiesEscaped, iNumEnemiesBusted, iNumEnemiesSubdued, iNumEnemiesKilled;
    int iNumHostagesFreed, iNumHostagesKilled, iNumCopsKilled;
    RCptr<Object> rcogameeventobj;
    ObjectList* pobjectlist;
    RANDMISSIONCOMMANDERHANDLER MissionCommander;
    GETMISSIONPOSITIONHANDLER GetMissionPosition;
    bool emergent;
    int iNumEmergentEnemies, iNumEmergentBystanders, iNumEmergentCars;
    RCptr<Object> emEnemy[16], emBystander[16], emCar[16];
    bool fightmission;
    int iNumEnemiesInCar;
    RCptr<Object> lastcop[2];
    RCptr<Object> lastcopcar;
    Matrix matLoc;
    VectorPos acrossstreetpos;
    Matrix tailMatLoc;
    ControllerCombat_params* fightparams;
    FightMissionController* pFightMissionController;
    TailMissionParams* tailparams;
    TailMissionController* pTailMissionController;
};

// What every group's creator makes: a zero-filled controller for the table
// row `row`, its handler set, level = the row's iDifficulty, the asset list
// emptied, parent (counted) as its event object, an empty object list, an
// empty used list and mode 1.  Null without memory or a row.  Not yet in the
// world; the groups built around handed-over objects then call
// InitialiseMissionEmergentPointers.
RandomMissionController* NewRandomMissionController(Object* parent, RandMissParams* row);
