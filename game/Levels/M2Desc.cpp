// The step functions of episode 2 and the pieces they are built from.
#include "game/Levels/M2Desc.h"

#include "game/Levels/BonusDT.h"
#include "game/MAIN.h"

DriveToMissionParams DojoDriveTo = {-3, 0, "Tovin's Dojo"};
DriveToMissionParams RedLanternDriveTo = {-5, 3600, "The Red Lantern Bar"};
DriveToMissionParams DynastyImportsDriveTo = {-9, 0, "Dynasty Imports"};

namespace {

EnemyGenRunner_params Runner(u8 character, u8 caronly)
{
    EnemyGenRunner_params p{};
    p.character = character;
    p.id = -101;
    p.weapon = 1;
    p.caronly = caronly;
    p.walking = 1;
    p.oblivious = 0;
    p.shoot = 0.5f;
    p.command = 0.1f;
    p.fight = 0.5f;
    p.init_strength = 100;
    p.badass = 0.5f;
    p.handweapon = 0;
    p.first_tint = 0;
    p.rnd_tint = 0;
    return p;
}

}  // namespace

EnemyGenRunner_params ThugRunnerParams = Runner(2, 0);
PursuitMissionParams ThugPursuitParams = {&ThugRunnerParams, 0, -7, 125.0f, 54.6875f, "The Thug"};
EnemyGenRunner_params M2_S9_ThugDriverParams = Runner(8, 1);
PursuitMissionParams M2_S9_ThugDrivingPursuitParams = {&M2_S9_ThugDriverParams, -101, -166, 125.0f, 54.6875f,
                                                       "The Thug"};
InfiltrateMissionParams M2_G7A_InfiltrateParams = {"The Warehouse"};
ShootoutMissionParams DynastyShootoutParams = {1};
ShootoutMissionParams DynastySniperParams = {1};
CarDriverParams cdpM2_G1 = {0};
CarDriverParams cdpM2_G6 = {0};
CarDriverParams cdpM2_G9 = {-12};
CinePlayerScript M2_G5_PScript[2] = {{0, 0, 92, 10}, {2, 120, 5, 0}};

namespace {

constexpr int kCarId = 65;

// A scene on one interior set at placeholder -1.
void Interior(GameController& gc, const char* file)
{
    gc.CreateInteriorAt(StepFile(file), -1, 0);
}

// ---- Row 1: the briefing

int M2_S1A_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {99, 95, 126, 78});
    return 1;
}

int M2_S1A_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    return 1;
}

int M2_S1A(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(2, 0);
    gc.LoadInteriorAnimGroups();
    const int cast[][2] = {{48, -1}, {49, -2}, {50, -3}, {50, -4}, {51, -5}, {51, -6}, {52, -7}};
    for (const auto& c : cast)
        gc.CreateCharacterAt(c[0], c[1], -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(11, -1);
    gc.EndLoading();
    return 1;
}

// ---- Row 2: the drive to the dojo

int M2_G1(GameController& gc)
{
    gc.SetTimeOfDay(15, 5, false);
    gc.SetLevelNumber(2, 1);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-2, false);
    gc.CreateCharacterAt(48, -1, -2, szDace, true);
    gc.CreateVehicleAt(0, kCarId, -2, true);
    gc.PlaceCharacterAtExitPos(-1, -2);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(DojoDriveTo, 0, false);
    gc.iTODVel = 12;
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

// ---- Rows 3 and 4: the dojo fight

int M2_S2_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {98});
    for (int group : {10, 11, 14, 13, 12})
        gc.LoadAnimGroup(group);
    gc.ResetTime();
    return 1;
}

int M2_S2_Destroy(GameController& gc)
{
    for (int group : {12, 13, 14, 11, 10})
        gc.DestroyAnimGroup(group);
    FreeSlots(gc, 49, 49, false);
    gc.DestroyInterior(false);
    return 1;
}

int M2_S2(GameController& gc)
{
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\DOJO.P2B");
    gc.CreateCinematicAt(13, -1);
    gc.EndLoading();
    return 1;
}

int M2_G2(GameController& gc)
{
    gc.SetLevelNumber(2, 2);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M2_G2Repeat(GameController& gc)
{
    gc.SetLevelNumber(2, 3);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\DOJO.P2B");
    gc.EndLoading();
    gc.ResetTime();
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

// ---- Row 5: after the dojo

int M2_S3_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {98});
    gc.ResetTime();
    return 1;
}

int M2_S3_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 49);
    gc.DestroyInterior(true);
    return 1;
}

int M2_S3(GameController& gc)
{
    gc.SetLevelNumber(2, 4);
    gc.LoadInteriorAnimGroups();
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\DOJO.P2B");
    gc.CreateCinematicAt(14, -1);
    gc.EndLoading();
    return 1;
}

// ---- Row 6: the timed drive to the bar

int M2_G3(GameController& gc)
{
    gc.SetTimeOfDay(13, 30, false);
    gc.SetLevelNumber(2, 5);
    gc.SyncGridPosAt(-4, false);
    gc.CreateCharacterAt(48, -1, -4, szDace, false);
    if (Object* car = gc.CreateVehicleAt(0, kCarId, -4, false)) {
        // Lifted clear of the kerb it was placed on: y points down.
        const VectorPos at = car->mat.GetTrans();
        car->SetPos(VectorPos(at[0] - 0.3125f * car->mat.y[0], at[1] - 0.3125f * car->mat.y[1],
                              at[2] - 0.3125f * car->mat.y[2]));
    }
    gc.PlaceCharacterAtExitPos(-1, -4);
    StartAmbientLife(gc);
    Demo_ContinueScreen(20.0f);
    gc.SetDriveToMissionMode(RedLanternDriveTo, 56, true);
    return 1;
}

// ---- Row 7: the bar fight

int M2_S4_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {71, 74});
    gc.LoadAnimGroup(11);
    gc.ResetTime();
    return 1;
}

int M2_S4(GameController& gc)
{
    gc.SetLevelNumber(2, 6);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(50, -2, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\BAR.P2B");
    Demo_ContinueScreen(20.0f);
    gc.CreateCinematicAt(15, -1);
    gc.EndLoading();
    return 1;
}

int M2_G4(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 55);
    return 1;
}

// ---- Row 8: after the bar fight

int M2_S5_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {71, 74});
    return 1;
}

int M2_S5_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M2_S5(GameController& gc)
{
    gc.SetLevelNumber(2, 7);
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    gc.CreateCharacterAt(50, -2, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\BAR.P2B");
    gc.CreateCinematicAt(16, -1);
    gc.EndLoading();
    return 1;
}

// ---- Row 9: the chase on foot

int M2_G5_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.LoadMDLFile(nullptr, 51, 71, 0);
    gc.ResetTime();
    return 1;
}

int M2_G5_Destroy(GameController& gc)
{
    FreeSlots(gc, 51, 51);
    return 1;
}

int M2_G5(GameController& gc)
{
    gc.SetTimeOfDay(17, 10, false);
    gc.SetLevelNumber(2, 8);
    gc.SyncGridPosAt(-6, false);
    gc.CreateCharacterAt(48, -1, -6, szDace, false);
    StartAmbientLife(gc);
    gc.SetFootChaseMissionMode(ThugPursuitParams, 20);
    gc.EndLoading();
    // The player walks his script first; the foot chase (mode 5) follows.
    gc.SetCineWalkMode(-1, 2, M2_G5_PScript, 5, 0);
    return 1;
}

// ---- Rows 10, 11 and 19: the cinematic drives

// The city drive scene: a computer driver has the player's car while the
// phone call plays.
int M2_CineDriveScene(GameController& gc, int placeholder, CarDriverParams& cdp)
{
    gc.SetTimeOfDay(17, 40, false);
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(2, 9);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(placeholder, false);
    gc.CreateCharacterAt(48, -1, placeholder, szDace, true);
    gc.CreateVehicleAt(0, kCarId, placeholder, true);
    gc.PutObjectInCar(-1, kCarId, 116, false);
    gc.CreateAICarDriver(-5, kCarId, 5, cdp);
    StartAmbientLife(gc);
    gc.EndLoading();
    return 1;
}

int M2_S6(GameController& gc, bool bS6B)
{
    return M2_CineDriveScene(gc, bS6B ? -12 : -8, cdpM2_G6);
}

int M2_S1B(GameController& gc)
{
    return M2_CineDriveScene(gc, -11, cdpM2_G1);
}

int M2_G6(GameController& gc)
{
    gc.SetDriveToMissionMode(DynastyImportsDriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

int M2_S1BG1(GameController& gc)
{
    gc.SetDriveToMissionMode(DojoDriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

int M2_S6A(GameController& gc)
{
    return M2_S6(gc, false);
}

int M2_S6B(GameController& gc)
{
    return M2_S6(gc, true);
}

// ---- Row 12: the warehouse infiltration

int M2_S7AG7A_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {80, 79});
    gc.LoadAnimGroup(4);
    gc.LoadAnimGroup(9);
    gc.ResetTime();
    return 1;
}

int M2_S7AG7A_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(4);
    gc.DestroyAnimGroup(9);
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M2_S7A(GameController& gc)
{
    gc.SetLevelNumber(2, 11);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\WARE_STL.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(19, -1);
    gc.EndLoading();
    return 1;
}

int M2_G7A(GameController& gc)
{
    gc.SetInfiltrateMissionMode(M2_G7A_InfiltrateParams, 35);
    return 1;
}

// ---- Row 13: the snipers

int M2_S8_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {113, 122, 79});
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M2_S8_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

int M2_S8(GameController& gc)
{
    gc.SetLevelNumber(2, 12);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(50, -102, -1, nullptr, false);
    gc.CreateCharacterAt(51, -103, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\WARE_SNP.P2B");
    gc.CreateCinematicAt(21, -1);
    return 1;
}

int M2_G8(GameController& gc)
{
    gc.SetShootoutMissionMode(DynastySniperParams, 30);
    return 1;
}

// ---- Rows 14 and 15: the car pursuit

int M2_S9_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.LoadMDLFile(nullptr, 1, 8, 0);
    gc.LoadMDLFile(nullptr, 57, 71, 0);
    gc.ResetTime();
    gc.EndLoading();
    gc.SetTimeOfDay(17, 0, false);
    return 1;
}

int M2_S9_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    for (int slot : {57, 1, 0})
        gc.DestroyMDLFile(slot, true);
    return 1;
}

int M2_S9(GameController& gc)
{
    gc.SetLevelNumber(2, 14);
    gc.SyncGridPosAt(-32, false);
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -32, szDace, false);
    gc.CreateVehicleAt(0, -2, -32, false);
    gc.CreateVehicleAt(1, -166, -32, false);
    gc.ExplodeExteriorNear(4096, -32);
    gc.SetPursuitMissionMode(M2_S9_ThugDrivingPursuitParams, -1, 1, false);
    gc.CreateCinematicAt(22, -32);
    return 1;
}

int M2_S9G9(GameController& gc)
{
    gc.SetLevelNumber(2, 13);
    gc.PutObjectInCar(-1, -2, 116, false);
    gc.PutObjectInCar(-101, -166, 116, false);
    gc.SetVehicleInitialSpeed(-2, 0.20955f);
    gc.SetVehicleInitialSpeed(-166, 0.20955f);
    StartAmbientLife(gc);
    gc.CreateAICarDriver(-102, -166, 4, cdpM2_G9);
    gc.SetPursuitMissionMode(M2_S9_ThugDrivingPursuitParams, 20, 2, false);
    gc.StartCurrentMission();
    return 1;
}

// ---- Rows 16 and 17: free driving at the 24/7 places

int M2_JumpTo(GameController& gc, int placeholder, bool generators)
{
    gc.SyncGridPosAt(placeholder, false);
    gc.CreateCharacterAt(48, -1, placeholder, szDace, false);
    gc.CreateVehicleAt(0, kCarId, placeholder, false);
    gc.PutObjectInCar(-1, kCarId, 116, false);
    if (generators) {
        gc.CreateMasterPedestrianGenerator(81, 100, 5, 8, false);
        gc.CreateMasterVehicleGenerator(1, 100, 5, 14);
    }
    gc.SetCruiseMissionMode(0);
    return 1;
}

int M2_JumpTo24(GameController& gc)
{
    return M2_JumpTo(gc, -24, true);
}

int M2_JumpTo25(GameController& gc)
{
    return M2_JumpTo(gc, -25, false);
}

// ---- Row 18: the 24/7 dojo fight

int M2_GXDojo_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {80, 123, 98, 79});
    gc.ResetTime();
    return 1;
}

int M2_GXDojo_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    return 1;
}

int M2_GXDojo(GameController& gc)
{
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\DOJO247.P2B");
    gc.ResetTime();
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

// ---- Row 21: the warehouse shoot-out

int M2_S7_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {80, 79, 122});
    gc.ResetTime();
    return 1;
}

int M2_S7_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

int M2_S7(GameController& gc)
{
    gc.SetLevelNumber(2, 20);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(51, -2, -1, nullptr, false);
    gc.CreateCharacterAt(49, -3, -1, szShooterEnemy, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL2\\WAREHSE.P2B");
    gc.CreateCinematicAt(20, -1);
    gc.EndLoading();
    return 1;
}

int M2_G7(GameController& gc)
{
    gc.DestroyObject(-2);
    gc.DestroyObject(-3);
    gc.SetShootoutMissionMode(DynastyShootoutParams, 30);
    return 1;
}

int M2_S8Clean(GameController& gc)
{
    gc.DestroyObject(-102);
    gc.DestroyObject(-103);
    return 1;
}

int M2_S7Clean(GameController& gc)
{
    gc.DestroyObject(-103);
    return 1;
}

}  // namespace

int M2_Driving_Load(GameController& gc)
{
    return MBonus_Driving_Load(gc);
}

int M2_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

int M2_S4_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(11);
    // After a lost fight the run goes on elsewhere: nothing of the bar stays.
    const bool now = gc.iMissionRet == 2;
    FreeSlots(gc, 49, 50, now);
    gc.DestroyInterior(now);
    return 1;
}

int M2_S1A_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M2_G1, TNUM_M2_G1, false, M2_S1A_Load, nullptr, M2_S1A, nullptr,
                                 nullptr, M2_S1A_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M2_G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M2_G1, TNUM_M2_G1, false, nullptr, M2_Driving_Load, nullptr, nullptr,
                                 M2_G1, nullptr, M2_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S2G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G2, TNUM_M2_G2, true, M2_S2_Load, nullptr, M2_S2, nullptr,
                                 M2_G2, M2_S2_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M2_G2Repeat_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M2_G2, TNUM_M2_G2, false, M2_S2_Load, nullptr, nullptr, nullptr,
                                 M2_G2Repeat, M2_S2_Destroy, nullptr, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S3_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M2_G3, TNUM_M2_G3, false, M2_S3_Load, nullptr, M2_S3, nullptr,
                                 nullptr, M2_S3_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M2_G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M2_G3, TNUM_M2_G3, false, nullptr, M2_Driving_Load, nullptr, nullptr,
                                 M2_G3, nullptr, M2_Driving_Destroy, 0};
    // The demo's first loading picture, before anything starts the loading
    // screen.
    if (iEntryIndex == 0)
        gc.iDemoLoadScreenOverride = 1;
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S4G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G4, TNUM_M2_G4, true, M2_S4_Load, nullptr, M2_S4, nullptr,
                                 M2_G4, M2_S4_Destroy, nullptr, 0};
    if (iEntryIndex == 0)
        gc.iDemoLoadScreenOverride = 2;
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S5_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M2_G5, TNUM_M2_G5, false, M2_S5_Load, nullptr, M2_S5, nullptr,
                                 nullptr, M2_S5_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M2_G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    // The driving set first, then the chase's own model.
    static const StepPieces s = {false, TNUM_M2_G5, TNUM_M2_G5, false, M2_Driving_Load, M2_G5_Load, nullptr,
                                 nullptr, M2_G5, M2_G5_Destroy, M2_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M2_G6A_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G6, TNUM_M2_G6, false, nullptr, M2_Driving_Load, M2_S6A, nullptr,
                                 M2_G6, nullptr, M2_Driving_Destroy, 2};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M2_G6B_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G6, TNUM_M2_G6, false, nullptr, M2_Driving_Load, M2_S6B, nullptr,
                                 M2_G6, nullptr, M2_Driving_Destroy, 3};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S7A_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G7a, TNUM_M2_G7a, true, M2_S7AG7A_Load, nullptr, M2_S7A, nullptr,
                                 M2_G7A, M2_S7AG7A_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G8, TNUM_M2_G8, true, M2_S8_Load, nullptr, M2_S8, M2_S8Clean,
                                 M2_G8, M2_S8_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S9_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    // The driving set after the step's own load fills only the ambient
    // slots still empty.
    static const StepPieces s = {true, TNUM_M2_G9, TNUM_M2_G9, true, M2_S9_Load, M2_Driving_Load, M2_S9, nullptr,
                                 M2_S9G9, M2_S9_Destroy, M2_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

// Free driving with no report: the step waits until something else moves
// the script on.
int M2_JumpTo24_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M2_G1, TNUM_M2_G1, false, nullptr, M2_Driving_Load, M2_JumpTo24,
                                 nullptr, nullptr, nullptr, M2_Driving_Destroy, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M2_JumpTo25_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M2_G1, TNUM_M2_G1, false, nullptr, M2_Driving_Load, M2_JumpTo25,
                                 nullptr, nullptr, nullptr, M2_Driving_Destroy, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M2_GXDojo_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M2_G1, TNUM_M2_G1, false, M2_GXDojo_Load, nullptr, M2_GXDojo, nullptr,
                                 nullptr, M2_GXDojo_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// Back from a side trip the phone call is not replayed: the drive-to game
// starts at once, as in the other cinematic drives (the drive mode does
// nothing while a step is replayed, so waiting for it would wait for ever).
int M2_S1BG1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G1, TNUM_M2_G1, false, nullptr, M2_Driving_Load, M2_S1B, nullptr,
                                 M2_S1BG1, nullptr, M2_Driving_Destroy, 1};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M2_S7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M2_G7b, TNUM_M2_G7a, true, M2_S7_Load, nullptr, M2_S7, M2_S7Clean,
                                 M2_G7, M2_S7_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
