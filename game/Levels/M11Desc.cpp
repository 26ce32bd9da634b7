// The step functions of episode 11 and the pieces they are built from.  Its
// steps leave the current task number alone.
#include "game/Levels/M11Desc.h"

#include <cstring>

#include "game/Levels/BonusDT.h"
#include "game/Levels/M9Desc.h"

namespace {

EnemyGenRunner_params Runner(u8 character, s16 id, u8 weapon, u8 caronly, u8 walking, float shoot, float command,
                             float fight, float badass)
{
    EnemyGenRunner_params p{};
    p.character = character;
    p.id = id;
    p.weapon = weapon;
    p.caronly = caronly;
    p.walking = walking;
    p.shoot = shoot;
    p.command = command;
    p.fight = fight;
    p.init_strength = 100;
    p.badass = badass;
    return p;
}

}  // namespace

DriveToMissionParams M11_G1_RaceTo = {-201, 5400, "Gulag Club"};
EnemyGenRunner_params M11_S2_RunnerParams = Runner(0, -2, 1, 0, 1, 0.5f, 0.1f, 0.5f, 0.5f);
EnemyGenRunner_params M11_S2_DriverParams = Runner(1, -3, 1, 1, 1, 0.5f, 0.1f, 0.5f, 0.5f);
PursuitMissionParams M11_S2_DrivingPursuitParams = {&M11_S2_DriverParams, -2, -201, 125.0f, 54.6875f, "Limo"};
CarDriverParams cdpM11_G2 = {-204};
DriveToMissionParams M11_G4_DriveTo = {-208, 0, "Pagoda Restaurant"};
CarDriverParams cdpM11_G4 = {0};
ShootoutMissionParams M11_G5_ShootoutParams = {1};
DriveToMissionParams M11G6DriveTo = {-210, 0, "Airport"};
// Built by code at start-up.
Construct_EnemyGenShooter_params M11_G7_regsp_shooter(3, -101, 13, 0, 0, 0.0f, 0, 0, 0, 1, 1, UnitRowsExtent(), UnitRowsExtent(),
                                                      0, 0.0f, 0, 0, 100, 1.0f, 0, 0, 0, 0, 0, 0);
Construct_EnemyGenShooter_params M11_G7_regsp_shooter2(3, -102, 13, 0, 0, 0.0f, 0, 0, 0, 1, 1, UnitRowsExtent(), UnitRowsExtent(),
                                                       0, 0.0f, 0, 0, 100, 1.0f, 0, 0, 0, 0, 0, 0);
EnemyGenRunner_params M11_G7_regsp_driver = Runner(2, -100, 8, 1, 0, 0.25f, 1.0f, 0.0f, 1.0f);
BadGuyGenInfo M11_G7_rbggi[3] = {{BGGT_SHOOTER, -211, &M11_G7_regsp_shooter},
                                 {BGGT_SHOOTER, -211, &M11_G7_regsp_shooter2},
                                 {BGGT_RUNNER, -211, &M11_G7_regsp_driver}};
EscapeMissionParams M11_G7_A_EscapeParams = {62.5f, 300, 31.25f, 0.3125f, 3, M11_G7_rbggi};
CarDriverParams cdpM11_G7_ATemp = {-1};

// This episode's own record of the name episode 3 uses too: the limousine's
// passenger on foot.
static BadGuyGenInfo M3_G3_rbggi[1] = {{BGGT_RUNNER, -201, &M11_S2_RunnerParams}};

int M11_Driving_Load(GameController& gc, bool bLoadDacesCar)
{
    return M9_Driving_Load(gc, bLoadDacesCar);
}

int M11_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

namespace {

int DrivingWithCar(GameController& gc)
{
    return M11_Driving_Load(gc, true);
}

// ---- Row 0: the race at night

int M11_S1G1_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {150, 98, 136});
    LoadCast(gc, 1, {13, 4, 9, 17});
    M11_Driving_Load(gc, true);
    gc.SetTimeOfDay(3, 45, false);
    return 1;
}

int M11_S1(GameController& gc)
{
    gc.SetLevelNumber(11, 0);
    gc.SyncGridPosAt(-200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, true);
    for (int i = 0; i < 3; i++)
        gc.CreateCharacterAt(49 + i, -2 - i, -200, nullptr, false);
    for (int i = 0; i < 3; i++)
        gc.CreateVehicleAt(i, -166 - i, -200, false);
    gc.CreateCinematicAt(126, -200);
    return 1;
}

int M11_G1(GameController& gc)
{
    gc.SetLevelNumber(11, 0);
    gc.SyncGridPosAt(-200, false);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M11_G1_RaceTo, 10, false);
    gc.EndLoading();
    return 1;
}

int M11_S1G1_Destroy(GameController& gc)
{
    for (int id : {-2, -3, -4, -167, -168})
        gc.DestroyObject(id);
    FreeSlots(gc, 49, 51);
    gc.CheckMemory();
    return 1;
}

// ---- Row 1: the limousine

int M11_S2G2_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {147, 132});
    gc.LoadMDLFile(nullptr, 1, 21, 0);
    gc.ResetTime();
    M11_Driving_Load(gc, true);
    gc.SetTimeOfDay(4, 0, false);
    return 1;
}

int M11_S2(GameController& gc)
{
    gc.SetLevelNumber(11, 1);
    gc.SyncGridPosAt(-201, false);
    gc.CreateCharacterAt(48, -1, -201, szDace, false);
    gc.CreateVehicleAt(0, -166, -201, false);
    gc.CreateVehicleAt(1, -167, -201, false);
    gc.SetPursuitMissionMode(M11_S2_DrivingPursuitParams, -1, 1, false);
    gc.CreateBadGuyGenerator(M3_G3_rbggi[0], true);
    StepCinematic(gc, 127, -201);
    return 1;
}

// The initial speed goes to the passenger -2, as the script has it; the
// service leaves characters alone.
int M11_G2(GameController& gc)
{
    gc.SetLevelNumber(11, 1);
    gc.PutObjectInCar(-2, -167, 117, false);
    gc.PutObjectInCar(-3, -167, 116, false);
    gc.SetVehicleInitialSpeed(-2, 0.20955f);
    StartAmbientLife(gc);
    gc.CreateAICarDriver(-102, -167, 4, cdpM11_G2);
    gc.ReplaceCharacterID(-2, -105);
    gc.ReplaceCharacterID(-3, -105);
    gc.ReplaceObjectID(-167, -105);
    gc.SetPursuitMissionMode(M11_S2_DrivingPursuitParams, 20, 2, false);
    gc.StartCurrentMission();
    return 1;
}

int M11_S2G2_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 1}, true, false);
}

// ---- Row 2: the fight outside the restaurant

int M11_S3G3_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {132, 147});
    LoadCast(gc, 1, {21, 29, 34});
    gc.LoadAnimGroup(12);
    gc.SyncGridPosAt(-204, false);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M11_S3(GameController& gc)
{
    gc.SetLevelNumber(11, 2);
    gc.CreateCharacterAt(48, -1, -204, szDace, false);
    gc.CreateCharacterAt(50, -2, -204, nullptr, false);
    gc.CreateVehicleAt(0, -166, -204, false);
    gc.CreateVehicleAt(1, -167, -204, false);
    gc.ResetTime();
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL11\\G3.P2B"), -204, 0);
    StepCinematic(gc, 128, -204);
    return 1;
}

int FistFight(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M11_S3G3_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(12);
    return ReleaseStep(gc, {49, 50, 1, 2, 3}, false, true);
}

// ---- Rows 3, 4 and 6: to the restaurant

int M11_G4_Load(GameController& gc, bool bFromCinematic)
{
    gc.SetLevelNumber(11, 6);
    gc.bEnableImpoundLots = true;
    if (!bFromCinematic) {
        gc.SyncGridPosAt(-207, false);
        gc.CreateCharacterAt(48, -1, -207, szDace, true);
        gc.CreateVehicleAt(0, -166, -207, true);
        gc.PutObjectInCar(-1, -166, 116, false);
        gc.SetVehicleInitialSpeed(-166, 0.1397f);
    }
    StartAmbientLife(gc);
    if (!bFromCinematic)
        gc.EndLoading();
    return 1;
}

int M11_G4(GameController& gc)
{
    gc.SetDriveToMissionMode(M11_G4_DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

int M11_S4a_Load(GameController& gc)
{
    gc.ResetTime();
    gc.LoadMDLFile(nullptr, 49, 132, 0);
    gc.LoadMDLFile(nullptr, 1, 21, 10);
    gc.LoadMDLFile(nullptr, 2, 26, 10);
    gc.LoadMDLFile(nullptr, 3, 16, 1);
    gc.SyncGridPosAt(-204, false);
    gc.EndLoading();
    M11_Driving_Load(gc, true);
    return 1;
}

int M11_S4a(GameController& gc)
{
    gc.SetLevelNumber(11, 3);
    gc.CreateCharacterAt(48, -1, -204, szDace, false);
    gc.CreateCharacterAt(49, -2, -204, nullptr, false);
    for (int i = 0; i < 4; i++)
        gc.CreateVehicleAt(i, -166 - i, -204, false);
    StepCinematic(gc, 129, -204);
    return 1;
}

int M11_G4_AfterScene(GameController& gc)
{
    M11_G4_Load(gc, true);
    gc.SetTimeOfDay(16, 0, false);
    return M11_G4(gc);
}

// The driving set stays for the next row.
int M11_S4a_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 0, 1, 2, 3}, true, false);
}

int M11_S4b(GameController& gc)
{
    M11_Driving_Load(gc, true);
    gc.SetTimeOfDay(16, 0, false);
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(11, 4);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-206, false);
    gc.CreateCharacterAt(48, -1, -206, szDace, false);
    gc.CreateVehicleAt(0, -166, -206, false);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.CreateAICarDriver(-5, -166, 5, cdpM11_G4);
    StartAmbientLife(gc);
    return 1;
}

int M11_G4_Direct(GameController& gc)
{
    M11_G4_Load(gc, false);
    gc.SetTimeOfDay(16, 0, false);
    return M11_G4(gc);
}

int M11_S4c_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 49, 132, 0);
    return 1;
}

int M11_S4c(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(11, 5);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    gc.CreateCharacterAt(49, -2, -1, nullptr, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL11\\GCLUBS4C.P2B");
    StepCinematic(gc, 131, -1);
    return 1;
}

int M11_S4c_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49}, true, true);
}

// ---- Rows 7 to 9: the house

int M11_S5aG5_Load(GameController& gc)
{
    gc.StartLoading();
    LoadCast(gc, 49, {68, 79, 71, 69});
    gc.ResetTime();
    return 1;
}

int M11_S5bG5_Load(GameController& gc)
{
    gc.StartLoading();
    LoadCast(gc, 49, {68, 79, 71, 69, 132});
    gc.ResetTime();
    return 1;
}

void House(GameController& gc, bool withCast, int cinematic)
{
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    if (withCast) {
        gc.CreateCharacterAt(53, -2, -1, nullptr, false);
        gc.CreateCharacterAt(51, -3, -1, nullptr, false);
    }
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL11\\HSWUG5.P2B");
    StepCinematic(gc, cinematic, -1);
}

int M11_S5a(GameController& gc)
{
    House(gc, false, 132);
    return 1;
}

int M11_S5b(GameController& gc)
{
    House(gc, true, 133);
    return 1;
}

int M11_G5(GameController& gc)
{
    gc.SetShootoutMissionMode(M11_G5_ShootoutParams, 30);
    return 1;
}

int M11_S5aG5_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52}, false, true);
}

int M11_S5bG5_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 53}, false, true);
}

int M11_S6_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {67, 68, 79, 71});
    gc.ResetTime();
    return 1;
}

int M11_S6(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(11, 9);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    for (int i = 0; i < 4; i++)
        gc.CreateCharacterAt(49 + i, -2 - i, -1, nullptr, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL11\\HSWUS6.P2B");
    StepCinematic(gc, 134, -1);
    return 1;
}

int M11_S6_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52}, true, true);
}

// ---- Row 10: to the airport

int M11_G6(GameController& gc)
{
    gc.SetTimeOfDay(17, 30, false);
    gc.SetLevelNumber(11, 10);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-209, false);
    gc.CreateCharacterAt(48, -1, -209, szDace, true);
    gc.CreateVehicleAt(0, -166, -209, true);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.SetVehicleInitialSpeed(-166, 0.15134166f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M11G6DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

// ---- Rows 11, 12 and 14: the convoy

int M11_S7B01_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 49, 67, 0);
    gc.ResetTime();
    return 1;
}

int M11_S701(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(11, 11);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    gc.CreateCharacterAt(49, -2, -1, nullptr, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL11\\HSWUCHS7.P2B");
    StepCinematic(gc, 136, -1);
    return 1;
}

int M11_S7B01_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49}, true, true);
}

void M11_S702_Load(GameController& gc, bool bLoadDacesCar)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {151, 162, 143, 145, 118});
    LoadCast(gc, 1, {5, 11, 7});
    gc.ResetTime();
    M11_Driving_Load(gc, bLoadDacesCar);
    gc.SetTimeOfDay(19, 40, false);
}

int M11_S702_LoadNoCar(GameController& gc)
{
    M11_S702_Load(gc, false);
    return 1;
}

int M11_S702_LoadCar(GameController& gc)
{
    M11_S702_Load(gc, true);
    return 1;
}

void Convoy(GameController& gc, int cinematic)
{
    gc.SetLevelNumber(11, 12);
    gc.SyncGridPosAt(-211, false);
    gc.CreateCharacterAt(48, -1, -211, szDace, false);
    gc.CreateCharacterAt(52, -2, -211, nullptr, false);
    gc.CreateCharacterAt(53, -3, -211, nullptr, false);
    for (int i = 1; i <= 3; i++)
        gc.CreateVehicleAt(i, -166 - i, -211, false);
    gc.SetEscapeMissionMode(M11_G7_A_EscapeParams, -1, 1);
    StepCinematic(gc, cinematic, -211);
}

int M11_S702(GameController& gc)
{
    Convoy(gc, 137);
    return 1;
}

int M11_S7A(GameController& gc)
{
    Convoy(gc, 135);
    return 1;
}

int M11_G7(GameController& gc)
{
    gc.DestroyObject(-3);
    gc.DestroyMDLFile(53, true);
    gc.SyncGridPosAt(-101, false);
    gc.PutObjectInCar(-1, -167, 116, false);
    gc.PutObjectInCar(-100, -168, 117, false);
    gc.PutObjectInCar(-101, -168, 116, false);
    gc.PutObjectInCar(-102, -169, 116, false);
    gc.SetVehicleInitialSpeed(-167, 0.1397f);
    gc.SetVehicleInitialSpeed(-168, 0.04656667f);
    gc.SetVehicleInitialSpeed(-169, 0.04656667f);
    gc.CreateAICarDriver(-5, -168, 9, cdpM11_G7_ATemp);
    StartAmbientLife(gc);
    gc.SetTargetObject(-168, true);
    gc.SetEscapeMissionMode(M11_G7_A_EscapeParams, 15, 2);
    return 1;
}

int M11_S702_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 53, 1, 2, 3}, true, false);
}

// ---- Row 13: episode 8's club again

int M11_S8G8_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {118, 162, 132});
    for (int g : {10, 11, 12})
        gc.LoadAnimGroup(g);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M11_S8(GameController& gc)
{
    gc.SetLevelNumber(11, 13);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL8\\GCLUBG3.P2B");
    gc.ResetTime();
    StepCinematic(gc, 91, -1);
    return 1;
}

int M11_S8G8_Destroy(GameController& gc)
{
    for (int g : {12, 11, 10})
        gc.DestroyAnimGroup(g);
    return ReleaseStep(gc, {49, 50, 51}, false, true);
}

StepPieces SceneGame(TaskNumbers task, int (*load)(GameController&), int (*scene)(GameController&),
                     int (*game)(GameController&), int (*release)(GameController&), bool driving)
{
    return {false, task,    task, false, load, nullptr, scene, nullptr, game, release,
            driving ? M11_Driving_Destroy : nullptr, 0};
}

}  // namespace

// Back from a side trip the race starts at once.
int M11_S1G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M11_G1, M11_S1G1_Load, M11_S1, M11_G1, M11_S1G1_Destroy, true);
    if (iEntryIndex == 0) {
        M11_S1G1_Load(gc);
        M11_S1(gc);
        if (!(gc.iFlags & GCF_SIDETRIP_RUNNING))
            return 1;
        M11_G1(gc);
        return 2;
    }
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S2G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M11_G2, M11_S2G2_Load, M11_S2, M11_G2, M11_S2G2_Destroy, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S3G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,  TNUM_M11_G3, TNUM_M11_G3, false,            M11_S3G3_Load, DrivingWithCar,
                                 M11_S3, nullptr,     FistFight,   M11_S3G3_Destroy, M11_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S4a_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M11_S4a_Load(gc);
        M11_S4a(gc);
        return 1;
    case 1:
        if (iSuccess == 0) {
            M11_G4_AfterScene(gc);
            return 2;
        }
        [[fallthrough]];
    case 2:
        M11_S4a_Destroy(gc);
        ReportTask(gc, TNUM_M11_G4, iSuccess);
        return -1;
    default:
        return 0;
    }
}

// Back from a side trip the call does nothing, so the step goes on to its
// game at once rather than wait for a call that never ends.
int M11_S4bG4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M11_S4b(gc);
        if (!(gc.iFlags & GCF_SIDETRIP_RUNNING)) {
            gc.SetCineDriveMode(-1, 6);
            gc.EndLoading();
            return 1;
        }
        gc.EndLoading();
        iSuccess = gc.iMissionRet;
        [[fallthrough]];
    case 1:
        if (iSuccess == 0) {
            M11_G4(gc);
            return 2;
        }
        [[fallthrough]];
    case 2:
        M11_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M11_G4, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M11_S4c_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M11_S4c_Load, M11_S4c, M11_S4c_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M11_G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M11_G4, TNUM_M11_G4,   false,   nullptr,             DrivingWithCar,
                                 nullptr, nullptr,     M11_G4_Direct, nullptr, M11_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S5aG5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M11_G5, M11_S5aG5_Load, M11_S5a, M11_G5, M11_S5aG5_Destroy, false);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S5bG5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M11_G5, M11_S5bG5_Load, M11_S5b, M11_G5, M11_S5bG5_Destroy, false);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S6_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M11_S6_Load, M11_S6, M11_S6_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M11_G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M11_G6, TNUM_M11_G6, false,   nullptr,             DrivingWithCar,
                                 nullptr, nullptr,     M11_G6,      nullptr, M11_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S7B01_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M11_S7B01_Load, M11_S701, M11_S7B01_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M11_S7B02G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M11_G7, M11_S702_LoadNoCar, M11_S702, M11_G7, M11_S702_Destroy, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S8G8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M11_G8, M11_S8G8_Load, M11_S8, FistFight, M11_S8G8_Destroy, false);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M11_S7AG7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M11_G7, M11_S702_LoadCar, M11_S7A, M11_G7, M11_S702_Destroy, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
