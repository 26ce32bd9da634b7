// The step functions of episode 7 and the pieces they are built from.  Its
// steps leave the current task number alone.
#include "game/Levels/M7Desc.h"

#include "game/Levels/BonusDT.h"
#include "game/MAIN.h"

DriveToMissionParams M7_G1_DriveTo = {-202, 0, "Rodeo Bar"};
EnemyGenRunner_params M7_S3_DriverParams = RunnerParams(0, -5, 0, 1, 0, 0.0f, 0.0f, 0.0f, 0.5f);
EnemyGenRunner_params M7_S5_DriverParams = RunnerParams(0, -5, 0, 1, 0, 0.0f, 0.0f, 0.0f, 0.5f);
TailMissionParams M7_G3_A_TailParams = {nullptr, -205, -5, 9.375f, 300.0f, 62.5f, 300.0f, false, "The Vurek"};
TailMissionParams M7_G5_A_TailParams = {nullptr, -207, -5, 9.375f, 300.0f, 62.5f, 300.0f, false, "Quillane"};
CarDriverParams cdpM7_G3_A = {-205};
CarDriverParams cdpM7_G3_B = {-205};
CarDriverParams cdpM7_G5_A = {-207};
CarDriverParams cdpM7_G5_B = {-207};
CarDriverParams cdpM7_G4_ATemp = {-1};
PursuitMissionParams cdpM7_G3_B_PursuitParams = {nullptr, -105, -105, 125.0f, 54.6875f, "Quillane"};
PursuitMissionParams cdpM7_G5_B_PursuitParams = {nullptr, -105, -105, 125.0f, 54.6875f, "Quillane"};
EnemyGenRunner_params M7_G4_regsp_driver1 = RunnerParams(3, -8, 8, 1, 0, 0.25f, 1.0f, 0.0f, 1.0f);
EnemyGenRunner_params M7_G4_regsp_driver2 = RunnerParams(4, -9, 8, 1, 0, 0.25f, 1.0f, 0.0f, 1.0f);
BadGuyGenInfo M7_G4_rbggi[2] = {{BGGT_RUNNER, -8, &M7_G4_regsp_driver1}, {BGGT_RUNNER, -9, &M7_G4_regsp_driver2}};
EscapeMissionParams M7_G4_A_EscapeParams = {62.5f, 300, 31.25f, 0.3125f, 2, M7_G4_rbggi};
InfiltrateMissionParams M7_G6_InfiltrateParams = {"The Warehouse"};
ShootoutMissionParams M7_G7_ShootoutParams = {1};

namespace {

// The flags of the two two-game steps: the second game was started.
int iAlternateG3;
int iAlternateG5;

void Interior(GameController& gc, const char* file)
{
    gc.CreateInteriorAt(StepFile(file), -1, 0);
}

void Begin(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
}

void Loads(GameController& gc, std::initializer_list<std::pair<int, int>> slotModel)
{
    for (const auto& sm : slotModel)
        gc.LoadMDLFile(nullptr, sm.first, sm.second, 0);
}

// The player at a placeholder (with a kind name unless only a cinematic
// follows), then cast members slot -> id.
void Cast(GameController& gc, int ph, char* kind, std::initializer_list<std::pair<int, int>> cast)
{
    gc.CreateCharacterAt(48, -1, ph, kind, false);
    for (const auto& c : cast)
        gc.CreateCharacterAt(c.first, c.second, ph, nullptr, false);
}

void Cars(GameController& gc, int ph, std::initializer_list<std::pair<int, int>> cars)
{
    for (const auto& c : cars)
        gc.CreateVehicleAt(c.first, c.second, ph, false);
}

void Destroy(GameController& gc, std::initializer_list<int> ids)
{
    for (int id : ids)
        gc.DestroyObject(id);
}

// A two-game step: a tail, and when it ends undecided the pursuit of the
// same car, whose result is raised by 2 so the row's secondary jumps apply.
int TwoGames(GameController& gc, int iEntryIndex, int& flag, TaskNumbers task, int (*load)(GameController&),
             int (*scene)(GameController&), int (*gameA)(GameController&), int (*gameB)(GameController&),
             int (*release)(GameController&))
{
    switch (iEntryIndex) {
    case 0:
        flag = 0;
        load(gc);
        M7_Driving_Load(gc);
        scene(gc);
        return 1;
    case 1:
        gameA(gc);
        return 2;
    case 2:
        if (gc.iMissionRet == 0) {
            flag = 1;
            gameB(gc);
            return 3;
        }
        [[fallthrough]];
    case 3:
        release(gc);
        M7_Driving_Destroy(gc);
        if (flag)
            gc.iMissionRet += 2;
        ReportTask(gc, task, gc.iMissionRet);
        return -1;
    default:
        return 0;
    }
}

// ---- Rows 0 to 2: the drive to the bar

int M7_S1a_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    const int models[] = {7, 15, 18};
    for (int i = 0; i < 3; i++)
        gc.LoadMDLFile(nullptr, 1 + i, models[i], 10);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M7_S1a(GameController& gc)
{
    gc.SetLevelNumber(7, 0);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, true);
    Cars(gc, -200, {{0, -166}, {1, -167}, {2, -168}, {3, -169}});
    gc.CreateCinematicAt(73, -200);
    return 1;
}

// Only the scene's own cars go; the rest goes with the level.
int M7_S1a_Destroy(GameController& gc)
{
    Destroy(gc, {-167, -168, -169});
    return 1;
}

int M7_G1(GameController& gc, bool bInCar)
{
    gc.SetLevelNumber(7, 2);
    if (bInCar) {
        gc.PutObjectInCar(-1, -166, 116, false);
        gc.SetVehicleInitialSpeed(-166, 0.09313334f);
    } else {
        gc.PlaceCharacterAtExitPos(-1, -201);
    }
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M7_G1_DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

int M7_S1b_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {150, 99, 128, 126, 158});
    return 1;
}

int M7_S1b(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(7, 2);
    Cast(gc, -1, nullptr, {{49, -2}, {50, -3}, {51, -4}, {52, -5}, {53, -6}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(74, -1);
    return 1;
}

int M7_S1b_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 53);
    gc.DestroyInterior(true);
    return 1;
}

int M7_G1_Load(GameController& gc)
{
    gc.SetLevelNumber(7, 2);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-201, false);
    gc.CreateCharacterAt(48, -1, -201, szDace, true);
    gc.CreateVehicleAt(0, -166, -201, false);
    return 1;
}

int M7_G1_Destroy(GameController&)
{
    return 1;
}

// ---- Row 3: the bar fight

int M7_S2G2_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {87, 145, 95});
    gc.LoadAnimGroup(13);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M7_S2(GameController& gc)
{
    gc.SetLevelNumber(7, 3);
    gc.LoadInteriorAnimGroups();
    Cast(gc, -1, szDace, {{50, -5}, {51, -6}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL7\\RDOBARG2.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(75, -1);
    return 1;
}

int FistFight(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M7_S2G2_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(13);
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Row 4: the first tail

int M7_S3G3_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    Loads(gc, {{1, 37}, {49, 145}});
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M7_S3(GameController& gc)
{
    gc.SetLevelNumber(7, 4);
    gc.SyncGridPosAt(-202, false);
    gc.CreateVehicleAt(0, -166, -202, false);
    gc.CreateCharacterAt(48, -1, -202, szDace, false);
    gc.CreateEnemyRunnerGen(&M7_S3_DriverParams);
    gc.CreateVehicleAt(1, -167, -202, false);
    gc.SetTailMissionMode(M7_G3_A_TailParams, -1, 1);
    gc.CreateCinematicAt(76, -202);
    return 1;
}

int M7_G3_A(GameController& gc)
{
    gc.SetLevelNumber(7, 4);
    gc.PutObjectInCar(-5, -167, 116, false);
    gc.CreateAICarDriver(-102, -167, 8, cdpM7_G3_A);
    gc.SetVehicleInitialSpeed(-167, 0.1397f);
    StartAmbientLife(gc);
    gc.SetTailMissionMode(M7_G3_A_TailParams, 5, 2);
    return 1;
}

int M7_G3_B(GameController& gc)
{
    gc.CreateAICarDriver(-102, -167, 4, cdpM7_G3_B);
    gc.ReplaceCharacterID(-5, -105);
    gc.SetPursuitMissionMode(cdpM7_G3_B_PursuitParams, 20, 0, true);
    return 1;
}

int M7_S3G3_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(49, true);
    gc.DestroyMDLFile(1, true);
    return 1;
}

// ---- Row 5: the escape from the two chase cars

int M7_G4_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {145, 114, 140, 97, 96});
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 1, 10, 10);
    Loads(gc, {{2, 37}, {3, 24}});
    gc.ResetTime();
    return 1;
}

int M7_S4(GameController& gc)
{
    gc.SetLevelNumber(7, 5);
    gc.SyncGridPosAt(-205, false);
    Cast(gc, -205, szDace, {{49, -5}, {50, -6}, {51, -7}});
    Cars(gc, -205, {{0, -166}, {1, -167}, {2, -168}, {2, -169}, {3, -170}});
    gc.SetEscapeMissionMode(M7_G4_A_EscapeParams, -1, 1);
    gc.CreateCinematicAt(77, -205);
    return 1;
}

// The runner generators made the drivers -8 and -9; computer drivers take
// their cars after the player.
int M7_G4(GameController& gc)
{
    gc.SyncGridPosAt(-204, false);
    gc.DestroyObject(-170);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.PutObjectInCar(-8, -168, 116, false);
    gc.PutObjectInCar(-9, -169, 116, false);
    gc.SetVehicleInitialSpeed(-166, 0.1397f);
    gc.SetVehicleInitialSpeed(-168, 0.04656667f);
    gc.SetVehicleInitialSpeed(-169, 0.04656667f);
    gc.CreateAICarDriver(-105, -168, 9, cdpM7_G4_ATemp);
    gc.CreateAICarDriver(-106, -169, 9, cdpM7_G4_ATemp);
    gc.SetTargetObject(-168, true);
    StartAmbientLife(gc);
    gc.SetEscapeMissionMode(M7_G4_A_EscapeParams, 15, 2);
    return 1;
}

int M7_G4_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 53);
    gc.DestroyMDLFile(1, true);
    gc.DestroyMDLFile(2, true);
    return 1;
}

// ---- Row 6: the second tail

int M7_S5G5_Load(GameController& gc)
{
    Begin(gc);
    Loads(gc, {{1, 10}, {2, 29}, {3, 9}});
    LoadCast(gc, 49, {145, 114, 84});
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M7_S5(GameController& gc)
{
    gc.SetLevelNumber(7, 6);
    gc.SyncGridPosAt(-206, false);
    gc.CreateVehicleAt(0, -166, -206, false);
    Cast(gc, -206, szDace, {{50, -6}, {51, -7}});
    gc.CreateEnemyRunnerGen(&M7_S5_DriverParams);
    Cars(gc, -206, {{1, -167}, {2, -168}, {3, -169}});
    gc.SetTailMissionMode(M7_G5_A_TailParams, -1, 1);
    gc.CreateCinematicAt(78, -206);
    return 1;
}

int M7_G5_A(GameController& gc)
{
    Destroy(gc, {-6, -7, -168, -169});
    gc.SetLevelNumber(7, 6);
    gc.SyncGridPosAt(-6, false);
    gc.PutObjectInCar(-5, -167, 116, false);
    gc.CreateAICarDriver(-102, -167, 8, cdpM7_G5_A);
    gc.SetVehicleInitialSpeed(-167, 0.1397f);
    StartAmbientLife(gc);
    gc.SetTailMissionMode(M7_G5_A_TailParams, 5, 2);
    return 1;
}

int M7_G5_B(GameController& gc)
{
    gc.CreateAICarDriver(-102, -167, 4, cdpM7_G5_B);
    gc.ReplaceCharacterID(-5, -105);
    gc.SetPursuitMissionMode(cdpM7_G5_B_PursuitParams, 20, 0, true);
    return 1;
}

int M7_S5G5_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    FreeSlots(gc, 1, 3);
    return 1;
}

// ---- Rows 7 and 8: the warehouse

int M7_S6a01_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {10, 8, 15, 5, 25});
    LoadCast(gc, 51, {145, 114});
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M7_S6a01(GameController& gc)
{
    gc.SetLevelNumber(7, 7);
    gc.SyncGridPosAt(-207, false);
    Cast(gc, -207, nullptr, {{51, -5}, {52, -6}});
    Cars(gc, -207, {{0, -166}, {1, -167}});
    gc.CreateCinematicAt(79, -207);
    return 1;
}

int M7_S6a01_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 0, 5);
    FreeSlots(gc, 51, 52);
    return 1;
}

int M7_S6a02G6_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadInteriorAnimGroups();
    LoadCast(gc, 49, {146, 162, 151, 143});
    gc.LoadAnimGroup(4);
    gc.LoadAnimGroup(9);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M7_S6a02(GameController& gc)
{
    gc.SetLevelNumber(7, 8);
    gc.LoadInteriorAnimGroups();
    Cast(gc, -1, szDace, {{52, -2}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL7\\MVSTRGG6.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(80, -1);
    return 1;
}

int M7_G6(GameController& gc)
{
    gc.DestroyObject(-2);
    gc.SetLevelNumber(7, 8);
    gc.SetInfiltrateMissionMode(M7_G6_InfiltrateParams, 35);
    return 1;
}

int M7_S6a02G6_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(4);
    gc.DestroyAnimGroup(9);
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Rows 9 to 11: the gang garage's street

int M7_S6b01_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 7, 27, 0);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {37, 26, 7});
    LoadCast(gc, 49, {145, 97, 96});
    return 1;
}

int M7_S6b01(GameController& gc)
{
    gc.SetLevelNumber(7, 10);
    gc.SyncGridPosAt(-208, false);
    gc.SetCinematicOnly();
    Cast(gc, -208, szDace, {{49, -5}, {50, -6}, {51, -7}});
    Cars(gc, -208, {{0, -166}, {1, -167}, {1, -168}, {2, -169}, {3, -170}});
    gc.CreateCinematicAt(81, -208);
    return 1;
}

int M7_S6b01_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 0, 3);
    gc.DestroyMDLFile(7, true);
    FreeSlots(gc, 49, 51);
    return 1;
}

int M7_S6b02_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 7, 27, 0);
    LoadCast(gc, 1, {37, 10, 15, 22});
    LoadCast(gc, 49, {67, 145, 114, 97});
    return 1;
}

int M7_S6b02(GameController& gc)
{
    gc.SetLevelNumber(7, 10);
    gc.SyncGridPosAt(-211, false);
    gc.SetCinematicOnly();
    Cast(gc, -211, szDace, {{49, -2}, {50, -3}, {51, -4}, {52, -5}});
    Cars(gc, -211, {{1, -167}, {2, -168}, {3, -169}, {4, -170}});
    gc.CreateCinematicAt(82, -211);
    return 1;
}

int M7_S6b02_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 1, 4);
    gc.DestroyMDLFile(7, true);
    FreeSlots(gc, 49, 52);
    return 1;
}

int M7_S701_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 49, 67, 0);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {10, 8, 15, 5, 25});
    return 1;
}

int M7_S701(GameController& gc)
{
    gc.SetLevelNumber(7, 11);
    gc.SyncGridPosAt(-209, false);
    gc.SetCinematicOnly();
    Cast(gc, -209, szDace, {{49, -2}});
    Cars(gc, -209, {{0, -166}, {1, -167}});
    gc.CreateCinematicAt(83, -209);
    return 1;
}

int M7_S701_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(49, true);
    FreeSlots(gc, 0, 5);
    return 1;
}

// ---- Rows 12 and 13: the garage and outside it

int M7_S702G7_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {143, 162, 146, 145, 147, 114});
    return 1;
}

int M7_S702(GameController& gc)
{
    gc.SetLevelNumber(7, 12);
    gc.LoadInteriorAnimGroups();
    Cast(gc, -1, szDace, {{52, -2}, {53, -3}, {54, -4}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL7\\MVSTRGG7.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(84, -1);
    return 1;
}

int M7_G7(GameController& gc)
{
    gc.SetShootoutMissionMode(M7_G7_ShootoutParams, 30);
    return 1;
}

int M7_S702G7_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 54);
    gc.DestroyInterior(true);
    return 1;
}

int M7_S8G8_Load(GameController& gc)
{
    gc.SyncGridPosAt(-202, false);
    Begin(gc);
    gc.LoadMDLFile(nullptr, 7, 27, 0);
    LoadCast(gc, 1, {37, 23, 22, 32});
    LoadCast(gc, 49, {97, 96, 87});
    gc.LoadAnimGroup(10);
    gc.LoadAnimGroup(11);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M7_S8(GameController& gc)
{
    gc.SetLevelNumber(7, 13);
    Cast(gc, -202, szDace, {{51, -2}});
    gc.CreateVehicleAt(1, -167, -202, false);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL7\\MG8.P2B"), -202, 0);
    gc.ResetTime();
    gc.CreateCinematicAt(85, -202);
    return 1;
}

int M7_S8G8_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(11);
    gc.DestroyAnimGroup(10);
    FreeSlots(gc, 49, 51);
    FreeSlots(gc, 0, 4);
    gc.DestroyMDLFile(7, true);
    gc.DestroyInterior(true);
    return 1;
}

constexpr StepPieces Pieces(TaskNumbers t, bool loops, int (*load)(GameController&), int (*scene)(GameController&),
                            int (*game)(GameController&), int (*release)(GameController&))
{
    return StepPieces{false, t, t, loops, load, nullptr, scene, nullptr, game, release, nullptr, 0};
}

constexpr StepPieces Scene(int (*load)(GameController&), int (*scene)(GameController&),
                           int (*release)(GameController&))
{
    return StepPieces{false, TNUM_M7_G1, TNUM_M7_G1, false, load, nullptr, scene, nullptr, nullptr, release, nullptr,
                      0};
}

}  // namespace

int M7_Driving_Load(GameController& gc)
{
    gc.StartLoading();
    gc.FreeInteriorAnimGroups();
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    gc.LoadFillAmbientCars(1, -1);
    gc.LoadFillAmbientPeds(80, -1);
    gc.ResetTime();
    return 1;
}

int M7_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

// The drive starts from the scene's car; the scene's other cars go first.
// The release at the end is the driving set's alone: the rest goes with
// the level.
int M7_S1aG1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M7_S1a_Load(gc);
        M7_Driving_Load(gc);
        gc.SetTimeOfDay(11, 10, false);
        M7_S1a(gc);
        return 1;
    case 1:
        M7_S1a_Destroy(gc);
        M7_G1(gc, true);
        return 2;
    case 2:
        M7_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M7_G1, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M7_S1b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = Scene(M7_S1b_Load, M7_S1b, M7_S1b_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M7_G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M7_Driving_Load(gc);
        M7_G1_Load(gc);
        gc.SetTimeOfDay(11, 10, false);
        M7_G1(gc, true);
        return 1;
    case 1:
        M7_G1_Destroy(gc);
        M7_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M7_G1, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M7_S2G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M7_G2, true, M7_S2G2_Load, M7_S2, FistFight, M7_S2G2_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M7_S3G3_Main(GameController& gc, int iEntryIndex, int)
{
    return TwoGames(gc, iEntryIndex, iAlternateG3, TNUM_M7_G3, M7_S3G3_Load, M7_S3, M7_G3_A, M7_G3_B,
                    M7_S3G3_Destroy);
}

int M7_G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M7_G4_Load(gc);
        M7_Driving_Load(gc);
        gc.SetTimeOfDay(15, 10, false);
        M7_S4(gc);
        return 1;
    case 1:
        M7_G4(gc);
        return 2;
    case 2:
        M7_G4_Destroy(gc);
        M7_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M7_G4, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M7_S5G5_Main(GameController& gc, int iEntryIndex, int)
{
    return TwoGames(gc, iEntryIndex, iAlternateG5, TNUM_M7_G5, M7_S5G5_Load, M7_S5, M7_G5_A, M7_G5_B,
                    M7_S5G5_Destroy);
}

int M7_S6a01_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = Scene(M7_S6a01_Load, M7_S6a01, M7_S6a01_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M7_S6a02G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s =
        Pieces(TNUM_M7_G6, true, M7_S6a02G6_Load, M7_S6a02, M7_G6, M7_S6a02G6_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M7_S6b01_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = Scene(M7_S6b01_Load, M7_S6b01, M7_S6b01_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M7_S6b02_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = Scene(M7_S6b02_Load, M7_S6b02, M7_S6b02_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M7_S701_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = Scene(M7_S701_Load, M7_S701, M7_S701_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M7_S702G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M7_G7, true, M7_S702G7_Load, M7_S702, M7_G7, M7_S702G7_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M7_S8G8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M7_G8, false, M7_S8G8_Load, M7_S8, FistFight, M7_S8G8_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
