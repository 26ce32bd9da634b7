// The step functions of episode 3 and the pieces they are built from.  Its
// steps leave the current task number alone, and its scenes followed by a
// game always play their game.
#include "game/Levels/M3Desc.h"

#include "game/Levels/BonusDT.h"
#include "game/MAIN.h"

namespace {

EnemyGenRunner_params Runner(u8 character, s16 id, u8 weapon, float shoot, float command, float badass)
{
    return RunnerParams(character, id, weapon, 1, 0, shoot, command, 0.0f, badass);
}

}  // namespace

DriveToMissionParams VurekDriveTo = {-4, 0, "Vurek's Residence"};
EnemyGenRunner_params M3_S2_DriverParams = Runner(0, -101, 0, 0.0f, 0.0f, 0.5f);
TailMissionParams M3_G2_A_TailParams = {nullptr, -7, -167, 9.375f, 300.0f, 62.5f, 300.0f, false, "The Vurek"};
CarDriverParams cdpM3_G2_A = {-7};
CarDriverParams cdpM3_G2_B = {-7};
PursuitMissionParams cdpM3_G2_B_PursuitParams = {nullptr, -101, -101, 125.0f, 54.6875f, "Vurek"};
// Built by code at start-up.
Construct_EnemyGenShooter_params M3_G3_regsp_shooter(3, -104, 13, 0, 0, 0.0f, 0, 0, 0, 1, 1, NoTrigger(), NoTrigger(), 0,
                                                     0.0f, 0, 0, 100, 1.0f, 0, 0, 0, 0, 0, 0);
EnemyGenRunner_params M3_G3_regsp_driver = Runner(2, -103, 8, 0.25f, 1.0f, 1.0f);
BadGuyGenInfo M3_G3_rbggi[2] = {{BGGT_SHOOTER, -101, &M3_G3_regsp_shooter},
                                {BGGT_RUNNER, -101, &M3_G3_regsp_driver}};
EscapeMissionParams M3_G3_A_EscapeParams = {62.5f, 300, 31.25f, 0.3125f, 2, M3_G3_rbggi};
CarDriverParams cdpM3_G2_ATemp = {-1};
CarDriverParams cdpM3_S4 = {0};
DriveToMissionParams M3_G4_DriveTo = {-11, 0, "Russian Spa"};
InfiltrateMissionParams M3_G5_InfiltrateParams = {"The Spa"};
ShootoutMissionParams M3_G7_ShootoutParams = {1};

namespace {

constexpr int kCarId = 65;

// The flag of the two-game step: the second game was started.
int iAlternate;

bool Resuming(const GameController& gc)
{
    return (gc.iFlags & GCF_SIDETRIP_RUNNING) != 0;
}

void Interior(GameController& gc, const char* file)
{
    gc.CreateInteriorAt(StepFile(file), -1, 0);
}

// ---- Rows 1 and 2: the briefings

int M3_S1A_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {149, 99, 122});
    gc.ResetTime();
    return 1;
}

int M3_S1B_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {149, 140, 122});
    gc.ResetTime();
    return 1;
}

int M3_S1_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M3_S1A(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(3, 0);
    gc.LoadInteriorAnimGroups();
    const int cast[][2] = {{48, -1}, {49, -2}, {50, -3}, {51, -101}};
    for (const auto& c : cast)
        gc.CreateCharacterAt(c[0], c[1], -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(23, -1);
    gc.EndLoading();
    return 1;
}

int M3_S1B(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(3, 1);
    gc.LoadInteriorAnimGroups();
    const int cast[][2] = {{48, -1}, {49, -2}, {50, -3}, {50, -4}, {51, -101}};
    for (const auto& c : cast)
        gc.CreateCharacterAt(c[0], c[1], -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL3\\WARE3S1B.P2B");
    gc.CreateCinematicAt(24, -1);
    gc.EndLoading();
    return 1;
}

// ---- Row 3: the drive to the suspect's residence

int M3_G1_Load(GameController& gc)
{
    gc.ResetTime();
    return 1;
}

// After a lost game the drive starts from the second spot.
int M3_G1(GameController& gc)
{
    gc.SetTimeOfDay(11, 0, false);
    const int start = gc.iMissionRet == 2 ? -3 : -2;
    gc.SetLevelNumber(3, 2);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(start, false);
    gc.CreateCharacterAt(48, -1, start, szDace, true);
    gc.CreateVehicleAt(0, kCarId, start, true);
    gc.PlaceCharacterAtExitPos(-1, start);
    StartAmbientLife(gc);
    gc.PutObjectInCar(-1, kCarId, 116, false);
    gc.SetVehicleInitialSpeed(kCarId, 0.09313334f);
    gc.SetDriveToMissionMode(VurekDriveTo, 0, true);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

// ---- Row 4: the suspect leaves

int M3_S2_01_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {149, 99, 126, 100});
    return 1;
}

int M3_S2_01_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M3_S2_01(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(3, 3);
    Object* last = nullptr;
    for (int i = 0; i < 4; i++)
        last = gc.CreateCharacterAt(49 + i, -2 - i, -1, nullptr, false);
    // Cast member -5's sub-object 4200 is switched by bit 0 of its flags.
    if (last != nullptr)
        if (Object* sub = last->FindSubObject(4200))
            sub->flags |= 1;
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(25, -1);
    gc.EndLoading();
    return 1;
}

// ---- Row 5: the tail, and the pursuit when the tail goes wrong

int M3_S2_02_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.LoadMDLFile(nullptr, 1, 7, 3);
    gc.LoadMDLFile(nullptr, 2, 10, 10);
    gc.LoadMDLFile(nullptr, 9, 21, 0);
    gc.LoadMDLFile(nullptr, 49, 95, 0);
    return 1;
}

int M3_S2_02_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(49, true);
    gc.DestroyMDLFile(9, true);
    gc.CheckMemory();
    return 1;
}

int M3_S2_02(GameController& gc)
{
    gc.SetLevelNumber(3, 4);
    gc.SyncGridPosAt(-100, false);
    gc.ResetTime();
    gc.EndLoading();
    gc.CreateVehicleAt(0, -166, -100, false);
    gc.CreateVehicleAt(1, -168, -100, false);
    gc.CreateVehicleAt(2, -169, -100, false);
    gc.CreateCharacterAt(48, -1, -100, szDace, false);
    gc.CreateEnemyRunnerGen(&M3_S2_DriverParams);
    gc.CreateVehicleAt(9, -167, -100, false);
    gc.SetTailMissionMode(M3_G2_A_TailParams, -1, 1);
    gc.CreateCinematicAt(26, -100);
    gc.EndLoading();
    return 1;
}

int M3_G2_A(GameController& gc)
{
    gc.DestroyObject(-168);
    gc.DestroyObject(-169);
    gc.SetLevelNumber(3, 4);
    gc.SyncGridPosAt(-6, false);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.PutObjectInCar(-101, -167, 116, false);
    gc.CreateAICarDriver(-102, -167, 8, cdpM3_G2_A);
    gc.SetVehicleInitialSpeed(-166, 0.1397f);
    gc.SetVehicleInitialSpeed(-167, 0.1397f);
    StartAmbientLife(gc);
    gc.SetTailMissionMode(M3_G2_A_TailParams, 5, 2);
    return 1;
}

int M3_G2_B(GameController& gc)
{
    iAlternate = 1;
    gc.CreateAICarDriver(-102, -167, 4, cdpM3_G2_B);
    gc.SetPursuitMissionMode(cdpM3_G2_B_PursuitParams, 20, 0, true);
    return 1;
}

// ---- Row 6: the ambush

int M3_S3_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {95, 86, 162, 143});
    gc.LoadMDLFile(nullptr, 10, 23, 0);
    return 1;
}

int M3_S3_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 52);
    gc.DestroyMDLFile(10, true);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M3_S3(GameController& gc)
{
    gc.SetLevelNumber(3, 5);
    gc.SyncGridPosAt(-101, false);
    gc.CreateCharacterAt(48, -1, -101, szDace, false);
    gc.CreateCharacterAt(49, -101, -101, nullptr, false);
    gc.CreateCharacterAt(50, -102, -101, nullptr, false);
    gc.CreateVehicleAt(0, -166, -101, false);
    gc.CreateVehicleAt(10, -168, -101, false);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL3\\CYPRS3.P2B"), -101, 0);
    gc.SetEscapeMissionMode(M3_G3_A_EscapeParams, -1, 1);
    gc.CreateCinematicAt(27, -101);
    gc.EndLoading();
    return 1;
}

// The escape's generators made the ambushers -103 and -104; both ride in
// car -168, at the wheel and in the second seat.
int M3_G3(GameController& gc)
{
    gc.DestroyObject(-101);
    gc.DestroyObject(-102);
    gc.DestroyMDLFile(49, true);
    gc.DestroyMDLFile(50, true);
    gc.DestroyMDLFile(9, true);
    gc.SyncGridPosAt(-101, false);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.PutObjectInCar(-103, -168, 116, false);
    gc.PutObjectInCar(-104, -168, 120, false);
    gc.SetVehicleInitialSpeed(-166, 0.1397f);
    gc.SetVehicleInitialSpeed(-168, 0.04656667f);
    gc.CreateAICarDriver(-5, -168, 9, cdpM3_G2_ATemp);
    gc.SetTargetObject(-168, true);
    StartAmbientLife(gc);
    gc.SetEscapeMissionMode(M3_G3_A_EscapeParams, 15, 2);
    return 1;
}

// ---- Rows 7, 8 and 9: to the spa

int M3_S4(GameController& gc, int iStartPH)
{
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(3, 6);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(iStartPH, false);
    gc.CreateCharacterAt(48, -1, iStartPH, szDace, false);
    gc.CreateVehicleAt(0, kCarId, iStartPH, false);
    gc.PutObjectInCar(-1, kCarId, 116, false);
    gc.CreateAICarDriver(-5, kCarId, 5, cdpM3_S4);
    StartAmbientLife(gc);
    return 1;
}

int M3_G4(GameController& gc)
{
    gc.SetDriveToMissionMode(M3_G4_DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

// The drive to the spa from one of two starting points, in the early
// evening.
int M3_S4A(GameController& gc)
{
    gc.SetTimeOfDay(18, 10, false);
    return M3_S4(gc, -8);
}

int M3_S4B(GameController& gc)
{
    gc.SetTimeOfDay(18, 10, false);
    return M3_S4(gc, -9);
}

int M3_S4c_Load(GameController& gc)
{
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 9, 21, 0);
    gc.LoadMDLFile(nullptr, 57, 95, 0);
    gc.ResetTime();
    return 1;
}

int M3_S4c_Destroy(GameController& gc)
{
    gc.DestroyObject(-101);
    gc.DestroyObject(-167);
    gc.DestroyMDLFile(9, true);
    gc.DestroyMDLFile(57, true);
    gc.CheckMemory();
    return 1;
}

int M3_S4c(GameController& gc)
{
    gc.SetLevelNumber(3, 8);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-104, false);
    gc.CreateCharacterAt(48, -1, -104, szDace, false);
    gc.CreateCharacterAt(57, -101, -104, nullptr, false);
    gc.CreateVehicleAt(0, -166, -104, false);
    gc.CreateVehicleAt(9, -167, -104, false);
    StartAmbientLife(gc);
    gc.CreateCinematicAt(30, -104);
    gc.EndLoading();
    return 1;
}

// ---- Row 10: at the spa

int M3_S5_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.LoadMDLFile(nullptr, 57, 151, 0);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M3_S5_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(57, true);
    gc.CheckMemory();
    return 1;
}

int M3_S5(GameController& gc)
{
    gc.SetLevelNumber(3, 9);
    gc.SyncGridPosAt(-102, false);
    gc.CreateCharacterAt(48, -1, -102, nullptr, false);
    gc.CreateCharacterAt(57, -101, -102, nullptr, false);
    gc.CreateCinematicAt(31, -102);
    gc.EndLoading();
    return 1;
}

// ---- Row 11: the infiltration

int M3_G5_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {162, 143, 83, 156});
    gc.LoadAnimGroup(4);
    gc.LoadAnimGroup(9);
    gc.ResetTime();
    return 1;
}

int M3_G5_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(4);
    gc.DestroyAnimGroup(9);
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    return 1;
}

int M3_G5a(GameController& gc)
{
    gc.SetLevelNumber(3, 10);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL3\\SpaSRoom.P2B");
    gc.EndLoading();
    gc.ResetTime();
    gc.SetInfiltrateMissionMode(M3_G5_InfiltrateParams, 35);
    // With a start camera's walk the player walks it first, then the
    // infiltration (mode 13) goes on.
    if (gc.pCamInitScript != nullptr)
        gc.SetCineWalkMode(-1, 2, gc.pCamInitScript, 13, 0);
    return 1;
}

// ---- Row 12: the first fight in the spa

int M3_S6_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {133, 83});
    for (int group : {13, 12, 11})
        gc.LoadAnimGroup(group);
    gc.ResetTime();
    return 1;
}

int M3_S6_Destroy(GameController& gc)
{
    for (int group : {11, 12, 13})
        gc.DestroyAnimGroup(group);
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M3_S6(GameController& gc)
{
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL3\\SPSHRMG6.P2B");
    gc.CreateCinematicAt(32, -1);
    gc.EndLoading();
    return 1;
}

int M3_G6(GameController& gc)
{
    gc.SetLevelNumber(3, 11);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

// ---- Row 13: the shoot-out by the pool

int M3_S7_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {86, 148, 162, 143, 151});
    gc.ResetTime();
    return 1;
}

int M3_S7_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 53);
    gc.DestroyInterior(true);
    return 1;
}

int M3_S7(GameController& gc)
{
    gc.SetLevelNumber(3, 12);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(50, -102, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL3\\SPPLRMG7.P2B");
    Demo_ContinueScreen(20.0f);
    gc.ResetTime();
    gc.CreateCinematicAt(33, -1);
    gc.EndLoading();
    return 1;
}

int M3_G7(GameController& gc)
{
    gc.DestroyObject(-102);
    gc.SetShootoutMissionMode(M3_G7_ShootoutParams, 55);
    return 1;
}

// ---- Rows 14 and 15: the suspect caught outside, the last fight

int M3_S8_01_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.LoadMDLFile(nullptr, 9, 23, 0);
    LoadCast(gc, 49, {162, 143});
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M3_S8_01_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    for (int slot : {9, 49, 50})
        gc.DestroyMDLFile(slot, true);
    gc.CheckMemory();
    return 1;
}

int M3_S8_01(GameController& gc)
{
    gc.SetLevelNumber(3, 13);
    gc.SyncGridPosAt(-103, false);
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -103, nullptr, false);
    gc.CreateCharacterAt(49, -101, -103, nullptr, false);
    gc.CreateCharacterAt(50, -102, -103, nullptr, false);
    gc.CreateVehicleAt(9, -166, -103, false);
    gc.CreateCinematicAt(34, -103);
    gc.EndLoading();
    return 1;
}

int M3_S8_02_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {162, 143, 151});
    for (int group : {10, 12, 13})
        gc.LoadAnimGroup(group);
    gc.ResetTime();
    return 1;
}

int M3_S8_02_Destroy(GameController& gc)
{
    for (int group : {13, 12, 10})
        gc.DestroyAnimGroup(group);
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

int M3_S8_02(GameController& gc)
{
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL3\\SPSHRMG8.P2B");
    gc.CreateCinematicAt(35, -1);
    gc.EndLoading();
    return 1;
}

int M3_G8(GameController& gc)
{
    gc.SetLevelNumber(3, 14);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

}  // namespace

int M3_Driving_Load(GameController& gc)
{
    return MBonus_Driving_Load(gc);
}

int M3_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

int M3_S1A_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M3_G1, TNUM_M3_G1, false, M3_S1A_Load, nullptr, M3_S1A, nullptr,
                                 nullptr, M3_S1_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M3_S1B_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M3_G1, TNUM_M3_G1, false, M3_S1B_Load, nullptr, M3_S1B, nullptr,
                                 nullptr, M3_S1_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M3_G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M3_G1, TNUM_M3_G1, false, M3_G1_Load, M3_Driving_Load, nullptr,
                                 nullptr, M3_G1, nullptr, M3_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M3_S2_01_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M3_G2, TNUM_M3_G2, false, M3_S2_01_Load, nullptr, M3_S2_01, nullptr,
                                 nullptr, M3_S2_01_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// Two games: a tail that ends undecided (result 0) turns into a pursuit of
// the same car, whose result is raised by 2 so the row's secondary jumps
// apply.
int M3_S2G2_02_Main(GameController& gc, int iEntryIndex, int)
{
    switch (iEntryIndex) {
    case 0:
        iAlternate = 0;
        M3_S2_02_Load(gc);
        M3_Driving_Load(gc);
        M3_S2_02(gc);
        gc.SetTimeOfDay(17, 10, false);
        return 1;
    case 1:
        M3_G2_A(gc);
        return 2;
    case 2:
        if (gc.iMissionRet == 0) {
            M3_G2_B(gc);
            return 3;
        }
        [[fallthrough]];
    case 3:
        M3_S2_02_Destroy(gc);
        M3_Driving_Destroy(gc);
        if (iAlternate)
            gc.iMissionRet += 2;
        ReportTask(gc, TNUM_M3_G2, gc.iMissionRet);
        return -1;
    default:
        return 0;
    }
}

int M3_S3G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M3_G3, TNUM_M3_G3, false, M3_S3_Load, M3_Driving_Load, M3_S3, nullptr,
                                 M3_G3, M3_S3_Destroy, M3_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M3_S4AG4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M3_G4, TNUM_M3_G4, false, nullptr, M3_Driving_Load, M3_S4A, nullptr,
                                 M3_G4, nullptr, M3_Driving_Destroy, 4};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M3_S4BG4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M3_G4, TNUM_M3_G4, false, nullptr, M3_Driving_Load, M3_S4B, nullptr,
                                 M3_G4, nullptr, M3_Driving_Destroy, 5};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M3_S4CG4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M3_Driving_Load(gc);
        gc.SetTimeOfDay(18, 10, false);
        M3_S4c_Load(gc);
        M3_S4c(gc);
        if (!Resuming(gc))
            return 1;
        [[fallthrough]];
    case 1:
        M3_S4c_Destroy(gc);
        M3_G4(gc);
        return 2;
    case 2:
        M3_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M3_G4, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M3_S5_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M3_G5, TNUM_M3_G5, false, M3_S5_Load, nullptr, M3_S5, nullptr,
                                 nullptr, M3_S5_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M3_G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M3_G5_Load(gc);
        M3_G5a(gc);
        return 1;
    case 1:
    case 2:
        M3_G5_Destroy(gc);
        ReportTask(gc, TNUM_M3_G5, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M3_S6G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M3_G6, TNUM_M3_G6, false, M3_S6_Load, nullptr, M3_S6, nullptr,
                                 M3_G6, M3_S6_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M3_S7G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    // The demo's third loading picture, before anything starts the loading
    // screen.
    static const StepPieces s = {false, TNUM_M3_G7, TNUM_M3_G7, false, M3_S7_Load, nullptr, M3_S7, nullptr,
                                 M3_G7, M3_S7_Destroy, nullptr, 0};
    if (iEntryIndex == 0)
        gc.iDemoLoadScreenOverride = 3;
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M3_S8_01_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M3_G8, TNUM_M3_G8, false, M3_S8_01_Load, nullptr, M3_S8_01, nullptr,
                                 nullptr, M3_S8_01_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M3_S8_02G8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M3_G8, TNUM_M3_G8, false, M3_S8_02_Load, nullptr, M3_S8_02, nullptr,
                                 M3_G8, M3_S8_02_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
