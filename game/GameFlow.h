// The game flow: the model-file and animation-group registries every object
// takes its data from, and the game controller's services over them (model
// slots for the mission steps, the ambient car and pedestrian models, the
// 24/7 venue and health-cart position tables).
//
// Model files are asked for by slot number, not by file name: the registry
// g_GlobalMFI holds 256 slots, each a model file streamed in from the disc
// and fixed up in place, shared by its users through a reference count.
// Slots 0..47 are members of the packed vehicle group; from 48 on each slot
// is one named file.  g_GlobalAGI holds the 32 animation groups, each with
// the sound bank of the same name.
#pragma once

#include <vector>

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/GameEvents.h"

// ---------------------------------------------------------------------------
// Model files

// Where one member of a packed group lies in the group's data file.
struct MdlFileAccessInfo
{
    int iOffset;
    int iLength;
};
static_assert(sizeof(MdlFileAccessInfo) == 8);

// A packed group of model files: a directory file loaded whole and kept (the
// shared textures and the members' offsets), and a data file from which each
// member is streamed.  Only the vehicle group exists.
struct MdlFileGroup
{
    // Takes a directory that Check accepted: fixes it up (block offsets,
    // texture image pointers) and lists the members.
    MdlFileGroup(LayoutFile* file, const char* name);

    // True when the size-byte directory (block count already 6) can be taken
    // with a data file of dataSize bytes: every block inside the file, the
    // texture records and their images inside it and apart from the member
    // table, member offsets ascending and inside the data file.  Otherwise
    // prints why, naming what (and dataName for a data file too short), and
    // returns false.
    static bool Check(const LayoutFile* file, u32 size, u32 dataSize, const char* what,
                      const char* dataName = "the data file");

    LayoutFile* file;
    const char* pszMdlfilesName;
    s16 i16NumTextures;
    s16 i16NumMdlfiles;
    Texture* textures;
    MdlFileAccessInfo* rmfai;
};

// A model file that arrives through the disc streamer.  header is the loaded
// block, null while there is none.
class StreamMdlFile : public MDLFILE
{
public:
    StreamMdlFile();

    // Starts streaming the named file into a new block; with wait, also
    // waits for it and fixes it up.  0 started (done when waiting), -1 busy
    // or the file cannot be opened or used, -2 no memory for the block.
    int Get(const char* name, bool wait);
    // The same for member `member` of a group; its shared textures fill the
    // member's texture references.
    int Get(MdlFileGroup& group, int member, bool wait);
    // Polls a running transfer (with wait: waits for it, the loading
    // callbacks running).  When the data has all arrived the stream is closed
    // and the block fixed up with shared[0..nShared): 1.  A block the model
    // file check refuses is freed and reported (the file stays absent): 0,
    // as when nothing finished.
    int Update(bool wait, Texture* shared, int nShared);

    bool IsIdle() const { return streamnum < 0; }

    u32 length;      // bytes of the block being or having been loaded
    u16 refs;        // kept by the registry
    s16 streamnum;   // streamer handle while a transfer runs; -2 none
    bool refused;    // the last file asked for is on the disc but was refused (empty or failing its check)
    char name[48];   // the file (and member) being or last loaded, for messages

    // Forgets which files' refusals were said: each run says them again.
    static void ForgetRefusals();
    // Whether a refusal of this file is still to be said this run (a user
    // refusing what the check passed); it counts as said from here on.
    bool RefusalToSay() const
    {
        if (RefusalSaid())
            return false;
        NoteRefusal();
        return true;
    }

private:
    int Start(const char* name, int offset, int size, bool wait, Texture* shared, int nShared);
    // Whether a refusal of this file (a member counts as its group's file)
    // has been said since ForgetRefusals; NoteRefusal records one said.
    bool RefusalSaid() const;
    void NoteRefusal() const;
};

// One registry slot.  The slot's address is the MDLFILE* handed to users.
struct MdlFileInfo
{
    StreamMdlFile smf;
    s16 i16Id;       // model id of the content, -1 none
    s16 i16Flags;    // MFI_*
    s16 i16Extra;    // the caller's value kept with the slot
    s16 i16Mirror;   // slot whose data this one shares, -1 none
};

// MdlFileInfo::i16Flags
enum {
    MFI_DELETEABLE = 0x1,      // freed by the next ClearDeleteableMF
    MFI_DELETEONZERO = 0x4,    // freed when the reference count reaches 0
    MFI_RECYCLE = 0x8,         // reserved for recycling by the ambient services
};

constexpr int MFI_NUMSLOTS = 256;
constexpr int MFI_NUMVEHICLESLOTS = 48;   // slots 0..47 are vehicle-group members

class GlobalMFI
{
public:
    GlobalMFI();

    // Loads and waits.  The id the slot already holds reloads nothing, but
    // flags replace the old ones and the count restarts at 0.  Vehicle ids
    // 37 and 38 load nothing: the slot mirrors the slot holding vehicle 27.
    // Returns the model file (the mirrored one for a mirror); it has no data
    // when the file could not be loaded.
    MDLFILE* LoadMF(int slot, const char* name, int id, int flags);
    // The slot's model file (the mirrored one for a mirror), null when it has
    // none; with addRef the slot's own count goes up.
    MDLFILE* GetMF(int slot, bool addRef);
    // The slot's last file is on the disc but was refused: the slot is empty
    // because of damage, not because the disc lacks the file.
    bool IsRefused(int slot) const { return unsigned(slot) < unsigned(MFI_NUMSLOTS) && rgmfi[slot].smf.refused; }
    // The size in bytes of the model file GetMF hands out, 0 when none: the
    // bound of what a user may read from its header.
    u32 GetMFSize(int slot);
    // now: frees the slot's own block (a mirror frees nothing) and forgets
    // its content, keeping only MFI_RECYCLE; otherwise marks it deleteable.
    int DeleteMF(int slot, bool now);
    // Frees every loaded slot marked deleteable.
    int ClearDeleteableMF();
    // Frees an unreferenced loaded slot at once, else marks it to be freed
    // by the release that brings its count to 0.  Always true.
    bool SetDeleteOnZeroFlag(int slot);
    // The new count, -1 when the slot has no data; a release at 0 leaves 0.
    int IncrementRef(int slot);
    int DecrementRef(int slot);
    int IncrementRef(const MDLFILE* mf);
    int DecrementRef(const MDLFILE* mf);
    // The slot whose model file mf is, -1 for any other pointer.
    int GetIndex(const MDLFILE* mf) const;
    // The first loaded slot in first..last holding id that is neither
    // deleteable nor both delete-on-zero and reserved; -1 when none.
    int FindById(int id, int first, int last) const;
    // Asynchronous load and poll: the first call for an id starts the
    // transfer (name null: the character file GetModelFileName names) and
    // answers false; later calls answer true once the data is there.
    bool CheckAssetLoaded(int slot, int id, const char* name);
    // Polls the running transfers (every fourth world frame).
    void Update();
    // Once at start-up: loads the vehicle group's directory.  A missing or
    // malformed directory is reported and leaves no group.
    void LoadVehicleMdlFileGroup();

    // Gives up a block a frame chain may still read (a model file's data):
    // freed at once between frames, otherwise once the chains being filled
    // or waiting to be drawn have been drawn.  Null is ignored.
    void Retire(void* block);
    // Blocks given up but perhaps still read by a frame chain not yet drawn;
    // each is freed once its fence has passed.  Returns how many still wait.
    int ReleaseRetired();

    MdlFileInfo& GetMFI(int slot) { return rgmfi[slot]; }
    int GetID(int slot) const { return rgmfi[slot].i16Id; }
    int GetExtra(int slot) const { return rgmfi[slot].i16Extra; }
    void SetExtra(int slot, int value) { rgmfi[slot].i16Extra = s16(value); }
    bool HasData(int slot) const { return rgmfi[slot].smf.HasData(); }

    MdlFileGroup* pmfgVehicles;
    MdlFileInfo rgmfi[MFI_NUMSLOTS];

private:
    struct Retired
    {
        void* block;
        DrawFence fence;
    };
    std::vector<Retired> retired;

    int StartLoad(int slot, int id, const char* name, bool wait);
    int Poll(int slot, bool wait);
    void Settle(int slot);
    void FreeData(int slot);
};

extern GlobalMFI g_GlobalMFI;

// Files of the vehicle group.
extern const char szVehicleGroupDir[];
extern const char szVehicleGroupData[];

// One character model file: ids 64..166.
struct MdlFNInfo
{
    int iID;
    const char* pfName;
    int iFlags;
};

constexpr int NUM_MDLFNINFO = 103;
extern const MdlFNInfo rmfniMain[NUM_MDLFNINFO];

// The path of a character model id's file into buffer (bit 0x100 of the id:
// the low-detail version); null when the id's low byte names no character.
char* GetModelFileName(int id, char* buffer);

// ---------------------------------------------------------------------------
// Animation groups

enum AnimGroups {
    AnimGroup_NPCDefault,
    AnimGroup_NPCSprint,
    AnimGroup_NPCPistol,
    AnimGroup_NPCMGun,
    AnimGroup_NPCGuard,
    AnimGroup_DaceDefault,
    AnimGroup_DaceCombat,
    AnimGroup_DaceGuns,
    AnimGroup_DaceCar,
    AnimGroup_DaceStealth,
    AnimGroup_NPCKungFu,
    AnimGroup_NPCKarate,
    AnimGroup_NPCBoxer,
    AnimGroup_NPCBrawler,
    AnimGroup_NPCKnife,
    AnimGroup_NPCMaleCombat,
    AnimGroup_NPCFemaleCombat,
    AnimGroup_NPCPedDefault,
    AnimGroup_NPCPedFemale,
    AnimGroup_NPCPedHomie,
    AnimGroup_NPCPedHobo,
    AnimGroup_NPCPedSenior,
    AnimGroup_NPCPedSlut,
    AnimGroup_Mutant,
    AnimGroup_NumNamed,
};

constexpr int AGI_NUMSLOTS = 32;

// AnimGroupInfo::i16Flags
enum {
    AGI_DELETEABLE = 0x1,
    AGI_PERMANENT = 0x2,       // survives level teardown; its sound bank is permanent
    AGI_DELETEONZERO = 0x4,
};

struct AnimGroupInfo
{
    AnimGroup* pag;   // null: not loaded
    u16 i16Flags;
    u16 refs;         // loads beyond the first
    s16 sndbank;      // the group's sound bank, -1 none loaded yet
    bool refused;     // the last load found the file on the disc but refused it
};

class GlobalAGI
{
public:
    GlobalAGI();

    // Loads the group (and, the first time, its sound bank); a loaded group
    // counts one more load.  The flags replace the old ones.  Null when the
    // file cannot be loaded, or the index names no group.
    AnimGroup* LoadAG(int index, short flags);
    // Frees the group; flags, count and sound bank stay.
    int DeleteAG(int index);
    int ClearDeleteableAG();
    // Frees every loaded group without AGI_PERMANENT (level teardown).
    int ClearNonPermanentAG();
    // The new count (0 stays 0), -1 when not loaded; the release to 0 of a
    // group marked AGI_DELETEONZERO frees it.
    int DecrementRef(int index);
    int DecrementRef(const AnimGroup* pag);
    int GetIndex(const AnimGroup* pag) const;
    // The base file name of a group, null for the unnamed slots.
    static const char* GetAnimGroupBaseFileName(int index);

    AnimGroupInfo& GetAGI(int index) { return rgagi[index]; }
    AnimGroup* GetAG(int index) const { return rgagi[index].pag; }
    // The group's file is on the disc but was refused at its last load.
    bool IsRefused(int index) const { return unsigned(index) < unsigned(AnimGroup_NumNamed) && rgagi[index].refused; }
    int GetSoundBank(int index) const { return rgagi[index].sndbank; }

    AnimGroupInfo rgagi[AGI_NUMSLOTS];
};

extern GlobalAGI g_GlobalAGI;
extern const char* const AnimGroupFileNames[AnimGroup_NumNamed];

// The model a slot holds as the ambient services see it: -1 when it is
// deleteable or holds nothing of its own and mirrors nothing.
int SlotModelId(int slot);

// ---------------------------------------------------------------------------
// The game controller

// A model id and the value kept with its slot.
struct ModelFileLoadInfo
{
    s16 i16ModelID;
    s16 i16Extra;
};

constexpr int NUM_AMBCARS = 6;
constexpr int NUM_AMBPEDS = 9;
extern const ModelFileLoadInfo rgmfliAmbCarsBase[NUM_AMBCARS];
extern const ModelFileLoadInfo rgmfliAmbPedsBase[NUM_AMBPEDS];

constexpr int iMaxHealthLocations = 12;
constexpr int iMaxDojo247Levels = 10;
constexpr int iMaxFRange247Levels = 7;
constexpr int iMaxRace247Levels = 9;

// ---------------------------------------------------------------------------
// Mission scripts

class GameController;

// A step function: (controller, step, last result).  0 or more: not finished,
// the value comes back as the step next time; negative: the record is done.
typedef int GAMEDESCRIPTIONFUNCTION(GameController& gc, int step, int ret);

// Jumps of a record: j moves by j + 1 records; these two end the episode.
constexpr int GPR_EPISODE_SOLVED = -256;
constexpr int GPR_EPISODE_UNSOLVED = -257;

struct GamePlayRecord
{
    GAMEDESCRIPTIONFUNCTION* pgdf;
    int iOffsetSuccess;            // results 0 and 1
    int iOffsetFailure;            // result 2
    int iOffsetSecondarySuccess;   // result 3
    int iOffsetSecondaryFailure;   // 4 and any other
};

struct MissionInfo
{
    GamePlayRecord* pgpr;
    const char* pMissionFile;      // null: no placement file
    s16 i16SuccessMission;         // negative: the run ends
    s16 i16SuccessTask;
    s16 i16FailureMission;
    s16 i16FailureTask;
};

constexpr int NUM_MISSIONS = 14;
extern MissionInfo rgMissions[NUM_MISSIONS];
// The records of each episode's table.
extern const int rgMissionRecordCounts[NUM_MISSIONS];

struct LevelSelectInfo
{
    s16 i16TaskOffset;
    s16 i16MissionNum;
};
constexpr int NUM_LEVELSELECT = 32;
extern const LevelSelectInfo rglsi[NUM_LEVELSELECT];

// ---------------------------------------------------------------------------
// Progress

enum eEpisodeState { ES_LOCKED, ES_OPEN, ES_UNSOLVED, ES_SOLVED };
enum eTaskState { TS_LOCKED, TS_OPEN, TS_PASSED, TS_FAILED, TS_SECONDARYFAILED };

enum TaskNumbers {
    TNUM_M1_G1, TNUM_M1_G2, TNUM_M1_G3, TNUM_M1_G4, TNUM_M1_G5, TNUM_M1_G6, TNUM_M1_Bonus_DT,
    TNUM_M2_G1, TNUM_M2_G2, TNUM_M2_G3, TNUM_M2_G4, TNUM_M2_G5, TNUM_M2_G6, TNUM_M2_G7a, TNUM_M2_G7b,
    TNUM_M2_G8, TNUM_M2_G9, TNUM_M2_Bonus_DT,
    TNUM_M3_G1, TNUM_M3_G2, TNUM_M3_G3, TNUM_M3_G4, TNUM_M3_G5, TNUM_M3_G6, TNUM_M3_G7, TNUM_M3_G8,
    TNUM_M3_Bonus_DT,
    TNUM_M4_G1, TNUM_M4_G2, TNUM_M4_G3, TNUM_M4_G4, TNUM_M4_G5, TNUM_M4_G6, TNUM_M4_G7, TNUM_M4_G8,
    TNUM_M4_G9, TNUM_M4_Bonus_DT,
    TNUM_M5_G1, TNUM_M5_G2, TNUM_M5_G3, TNUM_M5_G4, TNUM_M5_G5, TNUM_M5_G6, TNUM_M5_G7, TNUM_M5_G8,
    TNUM_M5_Bonus_DT,
    TNUM_M6_G1, TNUM_M6_G2, TNUM_M6_G3, TNUM_M6_G4, TNUM_M6_G5, TNUM_M6_G6, TNUM_M6_G7, TNUM_M6_G8,
    TNUM_M6_Bonus_DT,
    TNUM_M7_G1, TNUM_M7_G2, TNUM_M7_G3, TNUM_M7_G4, TNUM_M7_G5, TNUM_M7_G6, TNUM_M7_G7, TNUM_M7_G8,
    TNUM_M7_Bonus_DT,
    TNUM_M8_G1, TNUM_M8_G2, TNUM_M8_G3, TNUM_M8_G4, TNUM_M8_G5, TNUM_M8_G6, TNUM_M8_G7, TNUM_M8_G9,
    TNUM_M9_G1, TNUM_M9_G2, TNUM_M9_G3, TNUM_M9_G4, TNUM_M9_G5, TNUM_M9_G6, TNUM_M9_G7, TNUM_M9_G8,
    TNUM_M9_G9, TNUM_M9_Bonus_DT,
    TNUM_M10_G1, TNUM_M10_G2, TNUM_M10_G3, TNUM_M10_G4, TNUM_M10_G5, TNUM_M10_G6, TNUM_M10_G7, TNUM_M10_G9,
    TNUM_M11_G1, TNUM_M11_G2, TNUM_M11_G3, TNUM_M11_G4, TNUM_M11_G5, TNUM_M11_G6, TNUM_M11_G7, TNUM_M11_G8,
    TNUM_M11_Bonus_DT,
    TNUM_M12_G1, TNUM_M12_G2, TNUM_M12_G3, TNUM_M12_G4, TNUM_M12_G5, TNUM_M12_G6, TNUM_M12_G7,
    TNUM_NUMBER,
};
static_assert(TNUM_NUMBER == 106);

constexpr int NUM_EPISODES = 12;
constexpr int MAX_TASKS_PER_EPISODE = 14;

struct sPlayerStats
{
    u32 nPoints, nShields, nGoodDisposals, nBadDisposals, nPerpsEngaged, nPerpsDefeated, nCivsSearched;
    u32 nCivsArrested, nCivsInnocent, nPerpCasualties, nCivCasualties, nMissionComplete, nMissionFail;
    u32 nEpisodeComplete, nEpisodeFail, nCivilUnrest;
    u32 gunAbility, curGunChallenge, curGunUpgrade;
    float fAccuracy, fDamageMultiplier, fRecticleSpeed, fPrecisionZoom, fPrecisionSlow, fReloadSpeed;
    float fMaxShotDistance;
    u32 nShotsFired, nHitByBullet, nEnemyBulletHits, nHumanShields, nFriendlyBulletHits, nPrecisionShots;
    u32 nPrecisionHead, nPrecisionLimbs, nPrecisionMiss, nPrecisionDisables, nPrecisionKills;
    u32 fightAbility, curFightChallenge, curFightUpgrade;
    float fFightAttackSpeed;
    u32 nPunchesThrown, nPunchesLanded, nFriendlyPunch, nFriendlyKicked, nKicksThrown, nKicksLanded;
    u32 nGrapplesThrown, nGrapplesLanded, nPunched, nKicked, nGrappled, nKnockedDown;
    u32 carAbility, curCarChallenge, curCarUpgrade, nCarWrecked, nPublicDamage, nRedLightsRun, nCarsTaken;
    float fStabilizer, fMilesDriven, fAverageSpeed, fMaxInAirTime, fMaxJumpDistance;
    u32 nPedsHitByCar;
    char cLicense[8];   // the licence-plate text, no terminator
};
static_assert(sizeof(sPlayerStats) == 66 * 4 + 8);

struct sEpisodeStatus
{
    eEpisodeState esValue;
    float fCompletion;
};

struct sTaskStatus
{
    eTaskState tsValue;
};

struct SubGamePlayInfo
{
    s16 i16LevelNum;
    s16 i16PlaceHolderID;
    bool bDisabled;
    bool bAlive;
};
extern SubGamePlayInfo rsgpiTable[4];

// The record a side trip's sender points to (SMSG_GC_SIDE_TRIP's obj).
struct GameSubModeTargetMsg
{
    VectorPos vpSrceChar;
    VectorDir vdSrceCharDir;
    VectorPos vpSrceVeh;
    VectorDir vdSrceVehDir;
    VectorPos vpTargetPos;
    s16 i16SubLevelNumberTrigger;
    s8 i8VehTypeId;
    s8 i8VehTintSet;
    s16 i16TableIndex;
};

// Special messages of the game controller.
enum {
    SMSG_GC_RUN_SCRIPT = 0,
    SMSG_GC_SUBGAME_WON = 1,
    SMSG_GC_SUBGAME_WON_ALT = 2,
    SMSG_GC_SIDE_TRIP = 3,
    SMSG_GC_CINEMATIC_DONE = 5,
    SMSG_GC_RESTORE_GAMEPLAY = 6,
    SMSG_GC_RESTORE_GAMEPLAY_ALT = 7,
    SMSG_GC_FORCE_LEVEL = 9,
    SMSG_GC_CINE_WALK_DONE = 10,
    SMSG_GC_SUBGAME_LOST = -1,
    SMSG_GC_SUBGAME_LOST_ALT = -2,
    SMSG_GC_CLEANUP_LEVEL = -96,
};
// Broadcasts about the game mode are in GameEvents.h.
enum {
    SMSG_PLAYER_GAMEPLAY_MODE = 46633,
};

// GameController::iFlags
enum {
    GCF_WAITTIMER = 0x1,
    GCF_NOTIMELIMIT = 0x2,
    GCF_SIDETRIP_REQUESTED = 0x100,
    GCF_SIDETRIP_RUNNING = 0x200,
    GCF_PLACEMENT = 0x400,
    GCF_SIDETRIP_FINISHED = 0x800,
};

// Hand-over states of the controller's mode byte.
enum {
    GCM_CINEMATIC_ENDED = -126,
    GCM_MODE_ENDED = -127,
    GCM_TEARDOWN = -128,
    GCM_CINEDRIVE = 11,
    GCM_CINEWALK = 14,
};

class Camera;
class MapDisplay;
class LetterBox;
class FadeScreen;
class Vehicle;
class Spline;
// One row of a player script of the cinematic walk: a token, the frame it
// acts at and its data.
struct CinePlayerScript
{
    int iToken;
    int iTime;
    int iData;
    int iData2;
};
static_assert(sizeof(CinePlayerScript) == 16);
struct ControllerCombat_params;
struct DriveToMissionParams;
struct EscapeMissionParams;
struct PursuitMissionParams;
struct ShootoutMissionParams;
struct TailMissionParams;
struct InfiltrateMissionParams;
struct EnemyGenRunner_params;

// What a driver made for a mission step drives to: an object or placeholder.
struct CarDriverParams
{
    int iTargetId;
};
enum BadGuyGenType { BGGT_SHOOTER, BGGT_FIGHTER, BGGT_RUNNER, BGGT_GUARD };
// An enemy generator a mission step makes: its kind, its placeholder and its
// parameter block.
struct BadGuyGenInfo
{
    BadGuyGenType bggtMode;
    int iPHId;
    void* pvParams;
};
class PedGenController;
class VehGenController;
class PedGen;
class VehGen;

struct PendingPedSpawn
{
    PedGen* ppg;
    int iScore;
};
struct PendingVehSpawn
{
    VehGen* pvg;
    int iScore;
};

// The controller that carries the story: the current episode and record,
// the progress, the running game mode and its controller, the screen
// overlays and the services the mission steps build and run levels with.
// There is one, g_pgcTest, made at start-up and on the frame-call list for
// the whole program.
class GameController : public Object
{
public:
    // A zero-filled controller is expected (it is allocated that way);
    // script is the record to start at.
    explicit GameController(GamePlayRecord* script = nullptr);
    ~GameController();

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    int CleanupLevel();

    // Progress.
    static bool TaskNumberToEpisodeAndIndex(TaskNumbers t, int* episode, int* index);
    bool SetTaskState(TaskNumbers t, eTaskState s);
    eTaskState GetTaskState(TaskNumbers t) const;
    bool SetEpisodeState(int episode, eEpisodeState s);
    eEpisodeState GetEpisodeState(int episode) const;
    bool ResetAllEpisodeAndTaskStates();
    int MissionRetToTaskState(int ret) const;
    // The progress of a program just started: every episode and task
    // locked, no health carts or 24/7 results kept, the player's points,
    // counts and abilities at their starting values.
    void ResetProgress();

    // Episodes and the script.
    bool LoadMissionFile(int mission);
    bool SwitchToMission(int mission, int task, signed char loop);
    int ProcessGPRecord();
    // Forgets the episode last loaded, so the next switch reads its
    // placement file again (a new run after the world's reset).
    static void ForgetMissionFile();

    // Small services.
    Object* FindFixedCamera();
    Object* FindById(int id);
    int ReplaceCharacterID(int iOld, int iNew);
    int ReplaceObjectID(int iOld, int iNew);
    int CheckMemory();
    int GetPlatformCount();
    int ResetTime();
    void SetCinematicOnly();
    bool ReEnable24_7();
    int InitNewGameMode(int mode, int track, bool keep);
    void EpilogueNewGameMode(bool epilogue);
    void StartCurrentMission();
    void SetLevelNumber(int mission, int task);
    void SetTimeOfDay(int hours, int minutes, bool unused = false);
    bool SetVehicleInitialSpeed(int id, float speed);
    void StartLoading();
    void EndLoading();
    void UpdateDisplayParams(float dist, int time, float speed, int how);
    void FadeOut(float frames, bool hold);
    void FadeIn(float frames);
    void ScreenFlash(float frames, Colour c);
    void AddPoints(int points, const Object* at);

    // Set-up files: entities, interiors and exteriors.
    Object* LoadEntity(MDLFILE* pmf, int iNodeIndex, Matrix& matNewLocToWorld, bool bFixupGlobalIndices);
    Object* LoadIntExtSetup(int iPHId, MDLFILE* pmf, bool _bInterior);

    // Level content.
    Object* GenerateCharacter(Matrix& matOrig, MDLFILE* pmf, int iModelNum, OBJMESSAGEHANDLER mh, int iId);
    Object* GenerateVehicle(Matrix& matOrig, MDLFILE* pmf, OBJMESSAGEHANDLER mh, int iVehType, int iId,
                            int iCarDriverMode, void* pvCDPath);
    Object* CreateCharacterSub(Matrix& mat, int iMFIndex, int iID, char* pszObjName, bool bOffOnResume);
    // The model in `slot` passed its check but lacks what its user needs
    // (a character's body part, a gun, a hand to hold one): said once a run,
    // naming the file, and the game it was loaded for is lost (at its
    // start; with `running`, at once).
    void RefuseUnfitModel(int slot, const char* lacks, bool running);
    Object* CreateCharacter(int iMFIndex, int iID, char* pszObjName, bool bOffOnResume);
    Object* CreateCharacterAt(int iMFIndex, int iID, int iPlaceHolderID, char* pszObjName, bool bOffOnResume);
    Object* CreateVehicleAt(Matrix& mat, int iMFIndex, int iID, bool bOffOnResume);
    Object* CreateVehicleAt(int iMFIndex, int iID, int iPlaceHolderID, bool bOffOnResume);
    int CreateAICarDriver(int iId, int iVehId, int iDriveMode, CarDriverParams& cdp);
    Object* CreateObjectAt(int iMFIndex, int iPlaceHolderID, OBJMESSAGEHANDLER mh);
    Object* CreateEnemyRunnerGen(EnemyGenRunner_params* p);
    Object* CreateBadGuyGenerator(BadGuyGenInfo& info, bool bPreStart);
    int CreateMasterHealthGenerator(int iMaxToGen);
    int CreateMasterPedestrianGenerator(int iMFIndex, int iID, int iNumMdlfiles, int iMaxToGen,
                                        bool bDisableInitSpawn);
    int CreateMasterVehicleGenerator(int iMFIndex, int iID, int iNumMdlfiles, int iMaxToGen);
    int CreateInteriorAt(char* pFName, int iPlaceHolderID, int iMFID);
    int CreateExteriorAt(char* pFName, int iPlaceHolderID, int iMFID);
    int DestroyInterior(bool bImmediate);
    int CreateCinematicAt(int iCinematicIndex, int iPlaceHolderID);
    int ExplodeExteriorNear(int iId, int iPlaceHolderID);
    int DestroyObject(int iId);
    void LoadInteriorAnimGroups();
    void FreeInteriorAnimGroups();
    int CreateSubGamePlayTask(int) { return 0; }
    // The rain's strength, clamped to 0..1.
    void EnableRain(float density);
    int RemapRCrimeCharIndex(int iOrigIndex);
    int RemapRCrimeVehIndex(int iOrigIndex);
    Spline* CreateSplineCopy(Matrix& mat, Spline* pspl);

    // Game modes.
    int SetCruiseMissionMode(int iBGMTrack);
    int SetBonusDriveToMissionMode(int iBGMTrack, bool bDisableWalkto);
    int SetDriveToMissionMode(DriveToMissionParams& dtmp, int iBGMTrack, bool bDisableWalkto);
    int SetEscapeMissionMode(EscapeMissionParams& emp, int iBGMTrack, int iStartMode);
    int SetFightMissionMode(ControllerCombat_params* pccp, int iBGMTrack);
    int SetFootChaseMissionMode(PursuitMissionParams& pmp, int iBGMTrack);
    int SetPursuitMissionMode(PursuitMissionParams& pmp, int iBGMTrack, int iStartMode, bool bFromOtherMission);
    int SetImpoundLotMissionMode(int iBGMTrack);
    int SetLearJetMissionMode(int iTargetID, int iBGMTrack, int iStartMode);
    int SetRaceMissionMode(int iTargetID, int iBGMTrack, int iStartMode);
    int SetStreetRaceMissionMode(int iTargetID, int iFinishLinePHID, int iBGMTrack, int iStartMode);
    int SetRace247MissionMode(int iBGMTrack, int iStartMode);
    int SetShootoutMissionMode(ShootoutMissionParams& smp, int iBGMTrack);
    int SetDojoTrainingMode(int iBGMTrack);
    int SetFRangeMissionMode(int iBGMTrack);
    int SetGunCourseMissionMode(int iBGMTrack);
    int SetDragonMissionMode(int iBGMTrack);
    int SetDemonMissionMode(int iBGMTrack);
    int SetTailMissionMode(TailMissionParams& tmp, int iBGMTrack, int iStartMode);
    int SetWanderMissionMode(int iBGMTrack);
    int SetInfiltrateMissionMode(InfiltrateMissionParams& imp, int iBGMTrack);
    int SetupGeneratedRandMission(int iIndex);

    // The player and the car after a side trip; placement.
    int SyncGridPosAt(int iPlaceHolderID, bool bDisableResume);
    Vehicle* RestoreVehicle(VectorPos& vpPos, VectorDir& vdDir, int iVehTypeId, int iVehTintSet);
    Object* RestorePlayer(VectorPos& vpCharRestorePos, VectorDir& vdDir);
    int PlaceCharacterAtExitPos(int iID, int iPlaceHolderID);
    int PutObjectInCar(int iObjId, int iVehId, int iAttachPt, bool bForce);
    int SetTargetObject(int iID, bool bSetDaceTarget);

    // Cinematic drive and walk.
    int SetCineDriveMode(int iSrceID, int iJBVagIndex);
    Camera* CreateCineDriveCamera(Object* pobjTarget);
    int SetCineWalkMode(int iSrceID, int iTime, CinePlayerScript* pScript, int nextMode, int bGrowLB);

    // Model-file slots for the mission steps.  pFName null: the character
    // file of iMFID.
    int LoadMDLFile(const char* pFName, int iMFIndex, int iMFID, int iExtra);
    // As LoadMDLFile, but the player's current car model when there is one.
    int LoadDaceCarMDLFile(const char* pFName, int iMFIndex, int iMFID, int iExtra);
    int DestroyMDLFile(int iMFIndex, bool bImmediate);
    int LoadAnimGroup(int iAGIndex);
    int DestroyAnimGroup(int iAGIndex);

    // Fill the free ambient slots (cars 1..4, pedestrians 80..84) with
    // models chosen at random among those not already present.
    int LoadFillAmbientCars(int iStartMFIndex = 0, int iZone = 0);
    int LoadFillAmbientPeds(int iStartMFIndex = 0, int iZone = 0);
    // Gives up the least-used ambient slot (an empty one first): it is freed
    // when its last user lets go, and reserved meanwhile.  The slot, or -1.
    int FreeUpAmbientVehicleSlot();
    int FreeUpAmbientPedSlot();

    // Health-cart spots: the index used or freed, -1 when full / not found.
    int AddHealthLocation(VectorPos& vpPos);
    int RemoveHealthLocation(VectorPos& vpPos);
    // 24/7 venues: the level a venue position gave (the first free entry for
    // a new venue), and recording a venue at a level.
    int GetDojo247LevelNumber(VectorPos& vpPos);
    int SetDojo247LevelNumber(VectorPos& vpPos, int iLevelNumber);
    int GetFRange247LevelNumber(VectorPos& vpPos);
    int SetFRange247LevelNumber(VectorPos& vpPos, int iLevelNumber);
    int GetRace247LevelNumber(VectorPos& vpPos);
    int SetRace247LevelNumber(VectorPos& vpPos, int iLevelNumber);

    Camera* pcam{};
    ObjectList* pobjectlist{};
    int iTimerRet{};
    int iExitValue{};
    int iSndStream{};
    s16 i16CurrMission{}, i16CurrTask{};
    s16 i16SavedMission{}, i16SavedTask{};
    s16 i16ChooseMission{}, i16ChooseTask{};
    void* pvScript{};
    GamePlayRecord* pgprMissionStart{};
    GamePlayRecord* pgprCurr{};
    MapDisplay* pmd{};
    LetterBox* plb{};
    FadeScreen* pfs{};
    RCptr<Object> rcoSource{}, rcoTarget{}, rcoIntExtSetup{};
    VectorPos rvpSubGames[8]{};
    Object* rvpSubMissionTargets[16]{};
    VectorPos vpTarget{};
    bool bInterior{}, bCinematic{}, bCinematicOnly{};
    // What of the record's data is on the disc but was refused (its scene,
    // a model of its cast, its set-up), null while nothing: the record's
    // game cannot be played as made and ends as lost at its start.
    const char* pszDataRefused{};
    s8 i8Loop{};
    bool bUseDefInteriorLights{}, bNoAmbientVehs{}, bNoAmbientPeds{};
    float fInteriorHeight{};
    int iMission{};
    int iGPREntryIndex{};
    int iMissionRet{};
    int iCounter0{}, iCounter1{}, iCounter2{}, iCounter3{};
    float fTargDist{};
    int iTimeDisplay{};
    float fTargDistOutput{};
    int iTimeDisplayOutput{};
    int iIntervals{};
    float fAveSpeed{};
    char* pDestName{};
    int iNextMode{};
    Matrix matPH{};
    int iFlags{};
    int iValue{};
    int iNumPeds{}, iNumVehs{}, iNumAmbPedMFS{}, iNumAmbVehMFS{};
    PedGenController* pPedGenCont{};
    VehGenController* pVehGenCont{};
    PendingPedSpawn pps{};
    PendingVehSpawn pvs{};
    Object* pMission{};
    Spline* psplMission{};
    List<Spline> splRadarList{};
    CinePlayerScript* pCamInitScript{};
    ControllerCombat_params* fightparams{};
    s16 i16RCrimeCharRemap[8]{}, i16RCrimeVehRemap[8]{};
    s8 i8VehTypeId{}, i8VehTintSet{};
    VectorPos vpCharRestorePos{};
    VectorDir vdCharRestoreDir{};
    VectorPos vpVehRestorePos{};
    VectorDir vdVehRestoreDir{};
    VectorPos vpSavedTargetPos{};
    bool bRestoreInCar{}, bEnableImpoundLots{}, bForceLevel{}, bLoopLevel{};
    bool bSuperDace{}, bHUDOn{}, bReticleOn{}, bEnableAllCarMoves{}, bEnableAllCars{};
    Object* prms{};
    bool bRandomMissionActive{};
    s16 i16RCrimeOverride{}, i16RCrimeDifficultyLevel{};
    s16 i16CurrentDaceCar{};                           // the player's current car type, -1 none
    int iTODVel{};
    float fGoodPoints{}, fBadPoints{};
    int iMainExitVal{};                                // non-zero ends the run
    int iChallengeValue{}, iBonus247Override{}, iDemoLoadScreenOverride{};
    TaskNumbers CurrentTaskNumber{};
    sPlayerStats stats{};
    sEpisodeStatus rgesStatus[NUM_EPISODES]{};
    sTaskStatus rgtsStatus[NUM_EPISODES][MAX_TASKS_PER_EPISODE]{};
    Vector rvHealthLocations[iMaxHealthLocations]{};   // w 1.0: in use
    Vector rvDojo247Status[iMaxDojo247Levels]{};
    Vector rvFRange247Status[iMaxFRange247Levels]{};
    Vector rvRace247Status[iMaxRace247Levels]{};

    // The loading screen is up (StartLoading / EndLoading).
    static bool iUILoading;

private:
    // The script's records from the current one, as ProcessGPRecord runs
    // them.
    int RunScriptRecords();
    int Timer(int data);
    int Special(const SpecialMessage& m);
    void Teardown();
    void DeleteLevelObject(Object* o);
    void CineWalkDone();
    void ModeEnded(int extraWait);
    void RequestDestroyPostRaw();
};

// The task start camera's player script, patched by each task start camera
// a set-up makes (pCamInitScript points at it).
extern CinePlayerScript g_InitCamScript[5];

// Free services of the level content.
class GameModeTarget;
// A self-animating marker from node iModelNum of pmf at vpDest, id 1001;
// null without a model file.
Object* CreateTargetObj(VectorPos& vpDest, MDLFILE* pmf, int iModelNum);
// A side activity's entry marker for sub-level iLevelNum, table row
// iTableIndex, with node iModelNum of pmf as its effect; null without pmf.
GameModeTarget* CreateGameSubModeTargetObj(VectorPos& vpDest, MDLFILE* pmf, int iModelNum, int iLevelNum,
                                           int iTableIndex);
// Makes obj the scene object of node index of pmf under parent.
void SetupSceneObj(Object* obj, Object* parent, int index, MDLFILE* pmf);
// A self-animating marker's handler: it deletes itself on OM_DIE.
int AnimLoopProc(Object* obj, OBJMESSAGE msg, void* data);

// Every object of the world's list hears a special message.
void Broadcast(const SpecialMessage& m);

// The one controller, made by LoadGlobals.
extern GameController* g_pgcTest;

// Test support: while g_pfnServiceCall is set, each game-controller service
// a mission step calls tells it its call as one line, name and arguments
// ("SyncGridPosAt(-4, false)"; strings quoted, null pointers "null", floats
// with %g, records by their values).  Services that other services call
// on the way are not told.  Off (null) in the game.
typedef void SERVICECALLHOOK(const char* call);
extern SERVICECALLHOOK* g_pfnServiceCall;

class ServiceCall
{
public:
    explicit ServiceCall(const char* fmt, ...) __attribute__((format(__printf__, 2, 3)));
    ~ServiceCall() { depth--; }
    static int depth;
};
#define GC_SERVICE(...) ServiceCall serviceCall_(__VA_ARGS__)
// Printing helpers for the lines: a bool, and a string or null.
inline const char* TraceBool(bool b) { return b ? "true" : "false"; }
const char* TraceStr(const char* s);
