// The mission step functions, by episode.
#pragma once

#include <initializer_list>
#include <utility>

#include "game/EntParams.h"
#include "game/GameFlow.h"

// Shared by the episodes' step functions.
// A runner generator's record: not oblivious, full strength 100, no hand
// weapon, no tints.
EnemyGenRunner_params RunnerParams(u8 character, s16 id, u8 weapon, u8 caronly, u8 walking, float shoot,
                                   float command, float fight, float badass);
// A trigger volume that is not there (all zero).
Extent NoTrigger();
// Books a game's result as the task's state; a result that gives no state
// (a side-trip return, a forced level) books nothing.
void ReportTask(GameController& gc, TaskNumbers task, int iSuccess);
// The ambient life of a city game: pedestrians from slot 80 and cars from
// slot 1, generator id 100, five model slots each, at most 8 and 14.
void StartAmbientLife(GameController& gc);
// Loads character models into consecutive slots from first (extra 0).
void LoadCast(GameController& gc, int first, std::initializer_list<int> models);
// Frees slots first..last.
void FreeSlots(GameController& gc, int first, int last, bool bImmediate = true);
// The pieces a step is made of; a null piece is left out.
struct StepPieces
{
    bool setsTask;                             // entry 0 stores task as the current task
    TaskNumbers task;
    TaskNumbers reported;                      // the task the game's result is booked for
    bool loops;                                // a loop value of 2 plays the scene without its game
    int (*load)(GameController&);              // the step's own load
    int (*drivingLoad)(GameController&);       // the episode's driving set
    int (*scene)(GameController&);
    int (*clean)(GameController&);             // scene objects the game does not use
    int (*game)(GameController&);
    int (*release)(GameController&);           // the step's own release
    int (*drivingRelease)(GameController&);
    int track;                                 // a cinematic drive's voice track, or kSceneStartsDrive
};
// The cinematic drive is started by the scene itself, before it ends the
// loading.
constexpr int kSceneStartsDrive = -1;
// A scene only: entry 0 loads and builds it (with its cinematic), entry 1
// releases it; nothing is booked.
int SceneOnlyStep(GameController& gc, int iEntryIndex, const StepPieces& s);
// A scene, then a game: entry 0 the scene, entry 1 the game, entry 2 the
// release and the report.
int SceneThenGameStep(GameController& gc, int iEntryIndex, int iSuccess, const StepPieces& s);
// A game only: entry 0 loads and starts it, entry 1 releases and reports.
int GameOnlyStep(GameController& gc, int iEntryIndex, int iSuccess, const StepPieces& s);
// A cinematic drive, then a game: entry 0 the drive's scene and the drive
// (on a side-trip return the game at once), entry 1 the game unless a
// result is in already, then the release and the report.
int CineDriveThenGameStep(GameController& gc, int iEntryIndex, int iSuccess, const StepPieces& s);

// The building blocks of the later episodes' steps.
// CheckMemory, then StartLoading.
void StepStartLoading(GameController& gc);
// ResetTime, then EndLoading.
void StepEndLoading(GameController& gc);
// A room set at the default spot.
void StepInterior(GameController& gc, const char* file);
// The scene's cinematic at a placeholder, then EndLoading.
void StepCinematic(GameController& gc, int cinematic, int placeholder);
// Characters (slot, id) at a placeholder, without a kind name.
void CreateCast(GameController& gc, int placeholder, std::initializer_list<std::pair<int, int>> cast);
// A step's release: CleanupLevel when asked, the slots, the set when
// asked, CheckMemory.
int ReleaseStep(GameController& gc, std::initializer_list<int> slots, bool cleanup, bool interior);
// An extent whose four rows are all (0, 0, 0, 1), as the generators' records
// built by code carry.
Extent UnitRowsExtent();
// The pieces of a scene-only step.
StepPieces SceneOnlyPieces(int (*load)(GameController&), int (*scene)(GameController&),
                           int (*release)(GameController&));

// Kind names and file names as the services take them.
extern char szDace[];
extern char szShooterEnemy[];
inline char* StepFile(const char* name) { return const_cast<char*>(name); }
// The phone the player holds in the cinematic drives.
extern const char szPhoneFile[];
constexpr int kPhoneSlot = 205;

// Objects the later episodes' steps keep hold of: the helicopter, the
// player's car and the rival's car of the race (which the race mode reads).
extern Object* pobjChopper;
extern Object* pobjDaceCar;
extern Object* pobjPellCar;

// A shooter generator's record made by code at start-up: every field given,
// padding zero.
struct Construct_EnemyGenShooter_params : EnemyGenShooter_params
{
    Construct_EnemyGenShooter_params(u8 _character, s16 _id, u8 _weapon, s32 _path_arrive, s32 _path_move,
                                     float _diverge_m, u8 _endpoints, u8 _behavior, u8 _duck_fire, u16 _spawn_num,
                                     u8 _first_init, const Extent& _trigger_init, const Extent& _trigger_init2,
                                     u8 _triggermode, float _distance_init, s32 _first_tint, u8 _rnd_tint,
                                     s32 _init_strength, float _badass, s32 _init_wave, u8 _hostage,
                                     s32 _hostage_path, u8 _vo_bank, s8 _vo_pitch, s32 _hostage_tint);
};

// rgprTest (MissionTest.cpp)
GAMEDESCRIPTIONFUNCTION Mission_Test_Main;
GAMEDESCRIPTIONFUNCTION TestInt_Main;
GAMEDESCRIPTIONFUNCTION Explosion_Test_Main;
GAMEDESCRIPTIONFUNCTION RaceTrack_Test_Main;

// rgprM1 (M1Desc.cpp)
GAMEDESCRIPTIONFUNCTION M1_S1G1_Main;
GAMEDESCRIPTIONFUNCTION M1_S2G2_Main;
GAMEDESCRIPTIONFUNCTION M1_S3a_Main;
GAMEDESCRIPTIONFUNCTION M1_S3b_Main;
GAMEDESCRIPTIONFUNCTION M1_G3_Main;
GAMEDESCRIPTIONFUNCTION M1_S4a_Main;
GAMEDESCRIPTIONFUNCTION M1_S4b_Main;
GAMEDESCRIPTIONFUNCTION M1_S4a2G4_Main;
GAMEDESCRIPTIONFUNCTION M1_S5G5_Main;
GAMEDESCRIPTIONFUNCTION M1_S6a_Main;
GAMEDESCRIPTIONFUNCTION M1_S6a2G6_Main;
GAMEDESCRIPTIONFUNCTION M1_S6bG6_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM1_Main;   // the bonus drives: BonusDT.cpp

// rgprM2 (M2Desc.cpp)
GAMEDESCRIPTIONFUNCTION M2_S1A_Main;
GAMEDESCRIPTIONFUNCTION M2_G1_Main;
GAMEDESCRIPTIONFUNCTION M2_S2G2_Main;
GAMEDESCRIPTIONFUNCTION M2_G2Repeat_Main;
GAMEDESCRIPTIONFUNCTION M2_S3_Main;
GAMEDESCRIPTIONFUNCTION M2_G3_Main;
GAMEDESCRIPTIONFUNCTION M2_S4G4_Main;
GAMEDESCRIPTIONFUNCTION M2_S5_Main;
GAMEDESCRIPTIONFUNCTION M2_G5_Main;
GAMEDESCRIPTIONFUNCTION M2_G6A_Main;
GAMEDESCRIPTIONFUNCTION M2_G6B_Main;
GAMEDESCRIPTIONFUNCTION M2_S7A_Main;
GAMEDESCRIPTIONFUNCTION M2_S8_Main;
GAMEDESCRIPTIONFUNCTION M2_S9_Main;
GAMEDESCRIPTIONFUNCTION M2_JumpTo24_Main;
GAMEDESCRIPTIONFUNCTION M2_JumpTo25_Main;
GAMEDESCRIPTIONFUNCTION M2_GXDojo_Main;
GAMEDESCRIPTIONFUNCTION M2_S1BG1_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM2_Main;
GAMEDESCRIPTIONFUNCTION M2_S7_Main;

// rgprM3 (M3Desc.cpp)
GAMEDESCRIPTIONFUNCTION M3_S1A_Main;
GAMEDESCRIPTIONFUNCTION M3_S1B_Main;
GAMEDESCRIPTIONFUNCTION M3_G1_Main;
GAMEDESCRIPTIONFUNCTION M3_S2_01_Main;
GAMEDESCRIPTIONFUNCTION M3_S2G2_02_Main;
GAMEDESCRIPTIONFUNCTION M3_S3G3_Main;
GAMEDESCRIPTIONFUNCTION M3_S4AG4_Main;
GAMEDESCRIPTIONFUNCTION M3_S4BG4_Main;
GAMEDESCRIPTIONFUNCTION M3_S4CG4_Main;
GAMEDESCRIPTIONFUNCTION M3_S5_Main;
GAMEDESCRIPTIONFUNCTION M3_G5_Main;
GAMEDESCRIPTIONFUNCTION M3_S6G6_Main;
GAMEDESCRIPTIONFUNCTION M3_S7G7_Main;
GAMEDESCRIPTIONFUNCTION M3_S8_01_Main;
GAMEDESCRIPTIONFUNCTION M3_S8_02G8_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM3_Main;

// rgprM4 (M4Desc.cpp)
GAMEDESCRIPTIONFUNCTION M4_S1a_Main;
GAMEDESCRIPTIONFUNCTION M4_G1_Main;
GAMEDESCRIPTIONFUNCTION M4_S201_Main;
GAMEDESCRIPTIONFUNCTION M4_S202G2_Main;
GAMEDESCRIPTIONFUNCTION M4_S3G3_Main;
GAMEDESCRIPTIONFUNCTION M4_S4a_Main;
GAMEDESCRIPTIONFUNCTION M4_G4b_Main;
GAMEDESCRIPTIONFUNCTION M4_G4_Main;
GAMEDESCRIPTIONFUNCTION M4_S5G5_Main;
GAMEDESCRIPTIONFUNCTION M4_S6G6_Main;
GAMEDESCRIPTIONFUNCTION M4_S7a_Main;
GAMEDESCRIPTIONFUNCTION M4_S7b_Main;
GAMEDESCRIPTIONFUNCTION M4_G7_Main;
GAMEDESCRIPTIONFUNCTION M4_S8G8_Main;
GAMEDESCRIPTIONFUNCTION M4_S9G9_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM4_Main;

// rgprM5 (M5Desc.cpp)
GAMEDESCRIPTIONFUNCTION M5_S1aG1_Main;
GAMEDESCRIPTIONFUNCTION M5_S1b_Main;
GAMEDESCRIPTIONFUNCTION M5_G1_Main;
GAMEDESCRIPTIONFUNCTION M5_S201_Main;
GAMEDESCRIPTIONFUNCTION M5_S202G2_Main;
GAMEDESCRIPTIONFUNCTION M5_S3aG3_Main;
GAMEDESCRIPTIONFUNCTION M5_S3bG3_Main;
GAMEDESCRIPTIONFUNCTION M5_S401_Main;
GAMEDESCRIPTIONFUNCTION M5_S402_Main;
GAMEDESCRIPTIONFUNCTION M5_G4_Main;
GAMEDESCRIPTIONFUNCTION M5_S5G5_Main;
GAMEDESCRIPTIONFUNCTION M5_S6G6_Main;
GAMEDESCRIPTIONFUNCTION M5_S701_Main;
GAMEDESCRIPTIONFUNCTION M5_S702G7_Main;
GAMEDESCRIPTIONFUNCTION M5_S8_Main;
GAMEDESCRIPTIONFUNCTION M5_G8_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM5_Main;

// rgprM6 (M6Desc.cpp)
GAMEDESCRIPTIONFUNCTION M6_S1a_Main;
GAMEDESCRIPTIONFUNCTION M6_S1b_Main;
GAMEDESCRIPTIONFUNCTION M6_G1_Main;
GAMEDESCRIPTIONFUNCTION M6_S202G2_Main;
GAMEDESCRIPTIONFUNCTION M6_S3G3_Main;
GAMEDESCRIPTIONFUNCTION M6_S4G4_Main;
GAMEDESCRIPTIONFUNCTION M6_S5G5_Main;
GAMEDESCRIPTIONFUNCTION M6_S6AG6_Main;
GAMEDESCRIPTIONFUNCTION M6_S7G7_Main;
GAMEDESCRIPTIONFUNCTION M6_S8G8_Main;
GAMEDESCRIPTIONFUNCTION M6_S6BG6_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM6_Main;

// rgprM7 (M7Desc.cpp)
GAMEDESCRIPTIONFUNCTION M7_S1aG1_Main;
GAMEDESCRIPTIONFUNCTION M7_S1b_Main;
GAMEDESCRIPTIONFUNCTION M7_G1_Main;
GAMEDESCRIPTIONFUNCTION M7_S2G2_Main;
GAMEDESCRIPTIONFUNCTION M7_S3G3_Main;
GAMEDESCRIPTIONFUNCTION M7_G4_Main;
GAMEDESCRIPTIONFUNCTION M7_S5G5_Main;
GAMEDESCRIPTIONFUNCTION M7_S6a01_Main;
GAMEDESCRIPTIONFUNCTION M7_S6a02G6_Main;
GAMEDESCRIPTIONFUNCTION M7_S6b01_Main;
GAMEDESCRIPTIONFUNCTION M7_S6b02_Main;
GAMEDESCRIPTIONFUNCTION M7_S701_Main;
GAMEDESCRIPTIONFUNCTION M7_S702G7_Main;
GAMEDESCRIPTIONFUNCTION M7_S8G8_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM7_Main;

// rgprM8 (MissionM8.cpp)
GAMEDESCRIPTIONFUNCTION M8_S1a01_Main;
GAMEDESCRIPTIONFUNCTION M8_S1a02G1_Main;
GAMEDESCRIPTIONFUNCTION M8_S1b02G1_Main;
GAMEDESCRIPTIONFUNCTION M8_S2_Main;
GAMEDESCRIPTIONFUNCTION M8_G2_Main;
GAMEDESCRIPTIONFUNCTION M8_S3G3_Main;
GAMEDESCRIPTIONFUNCTION M8_S4a_Main;
GAMEDESCRIPTIONFUNCTION M8_G4_Main;
GAMEDESCRIPTIONFUNCTION M8_S4bG4_Main;
GAMEDESCRIPTIONFUNCTION M8_S501_Main;
GAMEDESCRIPTIONFUNCTION M8_S502G5_Main;
GAMEDESCRIPTIONFUNCTION M8_S601_Main;
GAMEDESCRIPTIONFUNCTION M8_S602G6_Main;
GAMEDESCRIPTIONFUNCTION M8_S7G7_Main;
GAMEDESCRIPTIONFUNCTION M8_S8a_Main;
GAMEDESCRIPTIONFUNCTION M8_S8b_Main;
GAMEDESCRIPTIONFUNCTION M8_S9G9_Main;
GAMEDESCRIPTIONFUNCTION M8_S2B_Main;

// rgprM9 (MissionM9.cpp)
GAMEDESCRIPTIONFUNCTION M9_S101_Main;
GAMEDESCRIPTIONFUNCTION M9_S102G1_Main;
GAMEDESCRIPTIONFUNCTION M9_S2G2_Main;
GAMEDESCRIPTIONFUNCTION M9_S3_Main;
GAMEDESCRIPTIONFUNCTION M9_G3_Main;
GAMEDESCRIPTIONFUNCTION M9_S401_Main;
GAMEDESCRIPTIONFUNCTION M9_S402G4_Main;
GAMEDESCRIPTIONFUNCTION M9_S5G5_Main;
GAMEDESCRIPTIONFUNCTION M9_S6G6_Main;
GAMEDESCRIPTIONFUNCTION M9_S7G7_Main;
GAMEDESCRIPTIONFUNCTION M9_S8G8_Main;
GAMEDESCRIPTIONFUNCTION M9_S9aG9_Main;
GAMEDESCRIPTIONFUNCTION M9_S9bG9_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM9_Main;

// rgprM10 (MissionM10.cpp)
GAMEDESCRIPTIONFUNCTION M10_S1a_Main;
GAMEDESCRIPTIONFUNCTION M10_S1bG1_Main;
GAMEDESCRIPTIONFUNCTION M10_G1_Main;
GAMEDESCRIPTIONFUNCTION M10_S2G2_Main;
GAMEDESCRIPTIONFUNCTION M10_S3G3_Main;
GAMEDESCRIPTIONFUNCTION M10_S4G4_Main;
GAMEDESCRIPTIONFUNCTION M10_S5aG5_Main;
GAMEDESCRIPTIONFUNCTION M10_S6G6_Main;
GAMEDESCRIPTIONFUNCTION M10_S7G7_Main;
GAMEDESCRIPTIONFUNCTION M10_S8a_Main;
GAMEDESCRIPTIONFUNCTION M10_S8b_Main;
GAMEDESCRIPTIONFUNCTION M10_S901_Main;
GAMEDESCRIPTIONFUNCTION M10_S902G9_Main;

// rgprM11 (MissionM11.cpp)
GAMEDESCRIPTIONFUNCTION M11_S1G1_Main;
GAMEDESCRIPTIONFUNCTION M11_S2G2_Main;
GAMEDESCRIPTIONFUNCTION M11_S3G3_Main;
GAMEDESCRIPTIONFUNCTION M11_S4a_Main;
GAMEDESCRIPTIONFUNCTION M11_S4bG4_Main;
GAMEDESCRIPTIONFUNCTION M11_S4c_Main;
GAMEDESCRIPTIONFUNCTION M11_G4_Main;
GAMEDESCRIPTIONFUNCTION M11_S5aG5_Main;
GAMEDESCRIPTIONFUNCTION M11_S5bG5_Main;
GAMEDESCRIPTIONFUNCTION M11_S6_Main;
GAMEDESCRIPTIONFUNCTION M11_G6_Main;
GAMEDESCRIPTIONFUNCTION M11_S7B01_Main;
GAMEDESCRIPTIONFUNCTION M11_S7B02G7_Main;
GAMEDESCRIPTIONFUNCTION M11_S8G8_Main;
GAMEDESCRIPTIONFUNCTION M11_S7AG7_Main;
GAMEDESCRIPTIONFUNCTION BDriveToM11_Main;

// rgprM12 (MissionM12.cpp)
GAMEDESCRIPTIONFUNCTION M12_S1a_Main;
GAMEDESCRIPTIONFUNCTION M12_S1bG1_Main;
GAMEDESCRIPTIONFUNCTION M12_G1_Main;
GAMEDESCRIPTIONFUNCTION M12_S2G2_Main;
GAMEDESCRIPTIONFUNCTION M12_S3aG3_Main;
GAMEDESCRIPTIONFUNCTION M12_S3bG3_Main;
GAMEDESCRIPTIONFUNCTION M12_S4a_Main;
GAMEDESCRIPTIONFUNCTION M12_S4b_Main;
GAMEDESCRIPTIONFUNCTION M12_G4_Main;
GAMEDESCRIPTIONFUNCTION M12_S5G5_Main;
GAMEDESCRIPTIONFUNCTION M12_S6G6_Main;
GAMEDESCRIPTIONFUNCTION M12_S7G7_Main;
GAMEDESCRIPTIONFUNCTION M12_S8a_Main;
GAMEDESCRIPTIONFUNCTION M12_S8b_Main;

// rgprM247 (Mission247.cpp)
GAMEDESCRIPTIONFUNCTION M247_ImpoundLot_Main;
GAMEDESCRIPTIONFUNCTION M247_GXDojo_Main;
GAMEDESCRIPTIONFUNCTION M247_FRange_Main;
GAMEDESCRIPTIONFUNCTION M247_Race_Main;
GAMEDESCRIPTIONFUNCTION M247_BonusRace_Main;
GAMEDESCRIPTIONFUNCTION M247_BonusFRange_Main;
GAMEDESCRIPTIONFUNCTION M247_BonusGXDojo_Main;

