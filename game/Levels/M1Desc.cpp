// The step functions of episode 1 and the pieces they are built from: each
// step's loads and releases, its scene and its game.
#include "game/Levels/M1Desc.h"

#include "game/Levels/BonusDT.h"

DriveToMissionParams M1_G1_DriveTo = {-201, 0, "The Firing Range"};
DriveToMissionParams M1G3DriveTo = {-250, 5400, "EOD"};
DriveToMissionParams M1_G4_DriveTo = {-206, 0, "China Bistro"};
ShootoutMissionParams M1_G6_ShootoutParams = {1};

namespace {

constexpr int kCarId = -166;

// ---- Step 1: the drive to the firing range

int M1_S1G1_Load(GameController& gc)
{
    gc.CheckMemory();
    return 1;
}

int M1_S1G1_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.CheckMemory();
    return 1;
}

int M1_S1(GameController& gc)
{
    gc.SetLevelNumber(1, 0);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, true);
    gc.CreateVehicleAt(0, kCarId, -200, true);
    return 1;
}

int M1_G1(GameController& gc)
{
    gc.SetLevelNumber(1, 0);
    gc.PutObjectInCar(-1, kCarId, 116, false);
    gc.SetVehicleInitialSpeed(kCarId, 0.09313334f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M1_G1_DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

// ---- Step 2: the firing range

int M1_S2G2_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {100, 140});
    gc.ResetTime();
    gc.SetTimeOfDay(15, 0, false);
    return 1;
}

int M1_S2G2_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M1_S2(GameController& gc)
{
    gc.SetLevelNumber(1, 1);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(49, -2, -1, nullptr, false);
    gc.CreateCharacterAt(50, -3, -1, nullptr, false);
    gc.CreateInteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL1\\FRANGEG2.P2B"), -1, 0);
    gc.ResetTime();
    gc.CreateCinematicAt(1, -1);
    gc.EndLoading();
    return 1;
}

int M1_G2(GameController& gc)
{
    gc.DestroyObject(-3);
    gc.SetFRangeMissionMode(30);
    return 1;
}

// ---- Steps 3 and 4: the range officer's scene, two endings

int M1_S3_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {100, 99});
    return 1;
}

int M1_S3_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M1_S3(GameController& gc, int level, int cinematic)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(1, level);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    gc.CreateCharacterAt(49, -2, -1, nullptr, false);
    gc.CreateCharacterAt(50, -3, -1, nullptr, false);
    gc.CreateInteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL1\\FRANGES3.P2B"), -1, 0);
    gc.CreateCinematicAt(cinematic, -1);
    return 1;
}

int M1_S3a(GameController& gc)
{
    return M1_S3(gc, 2, 2);
}

int M1_S3b(GameController& gc)
{
    return M1_S3(gc, 3, 3);
}

// ---- Step 5: the timed drive to the second building

int M1_G3_Load(GameController&)
{
    return 1;
}

int M1_G3(GameController& gc)
{
    gc.SetTimeOfDay(16, 25, false);
    gc.SetLevelNumber(1, 4);
    gc.SyncGridPosAt(-201, false);
    gc.CreateCharacterAt(48, -1, -201, szDace, false);
    gc.CreateVehicleAt(0, kCarId, -201, false);
    gc.PlaceCharacterAtExitPos(-1, -201);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M1G3DriveTo, 10, true);
    return 1;
}

// ---- Steps 6 and 7: the briefing at the second building, two endings

int M1_S4_Load(GameController& gc)
{
    gc.StartLoading();
    gc.CheckMemory();
    LoadCast(gc, 49, {150, 99, 126, 158});
    return 1;
}

int M1_S4_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M1_S4(GameController& gc, int level, int cinematic)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(1, level);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    for (int i = 0; i < 4; i++)
        gc.CreateCharacterAt(49 + i, -2 - i, -1, nullptr, false);
    gc.CreateInteriorAt(StepFile("KORVALIS\\DemoData\\Int\\EOD.P2B"), -1, 0);
    gc.CreateCinematicAt(cinematic, -1);
    return 1;
}

int M1_S4a(GameController& gc)
{
    return M1_S4(gc, 5, 4);
}

int M1_S4b(GameController& gc)
{
    return M1_S4(gc, 6, 5);
}

// ---- Step 8: the drive to the restaurant (replayed after a side trip)

int M1_S4a2G4_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.LoadMDLFile(nullptr, 1, 26, 10);
    gc.LoadMDLFile(nullptr, 2, 32, 10);
    gc.LoadMDLFile(nullptr, 3, 9, 0);
    gc.ResetTime();
    gc.EndLoading();
    gc.SetTimeOfDay(17, 0, false);
    return 1;
}

int M1_S4a2G4_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.CheckMemory();
    return 1;
}

int M1_S4a2(GameController& gc, bool bDoCinematic)
{
    gc.SetLevelNumber(1, 7);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-250, false);
    gc.CreateCharacterAt(48, -1, -250, szDace, true);
    gc.CreateVehicleAt(0, -166, -250, true);
    gc.CreateVehicleAt(1, -167, -250, true);
    gc.CreateVehicleAt(2, -168, -250, true);
    gc.CreateVehicleAt(3, -169, -250, true);
    if (bDoCinematic)
        gc.CreateCinematicAt(6, -250);
    return 1;
}

int M1_S4a2WithCinematic(GameController& gc)
{
    return M1_S4a2(gc, true);
}

// The player is not seated: he walks to his car.
int M1_S4a2G4(GameController& gc)
{
    gc.SetLevelNumber(1, 7);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M1_G4_DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

// ---- Step 9: the fight in the restaurant

int M1_S5_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {78, 150, 72, 164, 129});
    gc.LoadAnimGroup(10);
    gc.LoadAnimGroup(14);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M1_S5_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(10);
    gc.DestroyAnimGroup(14);
    FreeSlots(gc, 49, 53);
    gc.DestroyInterior(true);
    return 1;
}

// Slot 49 is the fight's opponent, not in the scene.
int M1_S5(GameController& gc)
{
    gc.SetLevelNumber(1, 8);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    for (int i = 0; i < 4; i++)
        gc.CreateCharacterAt(50 + i, -2 - i, -1, nullptr, false);
    gc.CreateInteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL1\\BISTROG5.P2B"), -1, 0);
    gc.ResetTime();
    gc.CreateCinematicAt(7, -1);
    return 1;
}

int M1_G5(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

// ---- Step 10: after the fight

int M1_S6a_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {150, 72, 78});
    return 1;
}

int M1_S6a_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M1_S6a(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(1, 9);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    for (int i = 0; i < 3; i++)
        gc.CreateCharacterAt(49 + i, -2 - i, -1, nullptr, false);
    gc.CreateInteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL1\\BISTROS6.P2B"), -1, 0);
    gc.CreateCinematicAt(8, -1);
    return 1;
}

// ---- Steps 11 and 12: the shoot-out outside the restaurant

void M1_S6Load(GameController& gc, bool sync)
{
    gc.CheckMemory();
    gc.StartLoading();
    LoadCast(gc, 49, {78, 150, 71});
    gc.LoadDaceCarMDLFile(nullptr, 1, 2, 0);
    gc.LoadMDLFile(nullptr, 2, 17, 0);
    gc.LoadMDLFile(nullptr, 3, 29, 0);
    gc.LoadMDLFile(nullptr, 4, 8, 0);
    gc.LoadMDLFile(nullptr, 5, 9, 0);
    if (sync)
        gc.SyncGridPosAt(-206, false);
    gc.ResetTime();
    gc.EndLoading();
}

int M1_S6a2G6_Load(GameController& gc)
{
    M1_S6Load(gc, false);
    return 1;
}

int M1_S6bG6_Load(GameController& gc)
{
    M1_S6Load(gc, true);
    return 1;
}

int M1_S6a2G6_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    FreeSlots(gc, 0, 5);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M1_S6bG6_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    FreeSlots(gc, 1, 5);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

void M1_S6Cast(GameController& gc)
{
    gc.CreateCharacterAt(48, -1, -206, szDace, false);
    gc.CreateCharacterAt(50, -2, -206, nullptr, false);
    gc.CreateCharacterAt(51, -3, -206, nullptr, false);
    gc.CreateVehicleAt(4, -166, -206, false);
    gc.CreateVehicleAt(5, -167, -206, false);
}

int M1_S6a2(GameController& gc)
{
    gc.SetLevelNumber(1, 10);
    gc.SyncGridPosAt(-206, false);
    M1_S6Cast(gc);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL1\\MG6A.P2B"), -206, 0);
    gc.ResetTime();
    gc.CreateCinematicAt(9, -206);
    return 1;
}

int M1_S6b(GameController& gc)
{
    gc.SetLevelNumber(1, 11);
    M1_S6Cast(gc);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL1\\MG6B.P2B"), -206, 0);
    gc.ResetTime();
    gc.CreateCinematicAt(10, -206);
    return 1;
}

// The scene's two cars and the cast member -3 are not in the shoot-out.
int M1_S6a2Clean(GameController& gc)
{
    gc.DestroyObject(-166);
    gc.DestroyObject(-167);
    gc.DestroyObject(-3);
    return 1;
}

int M1_S6bClean(GameController& gc)
{
    return M1_S6a2Clean(gc);
}

int M1_G6(GameController& gc)
{
    gc.SetShootoutMissionMode(M1_G6_ShootoutParams, 30);
    return 1;
}

}  // namespace

int M1_Driving_Load(GameController& gc)
{
    // The bonus drives' set, which this one ends the loading screen of.
    return LoadDrivingSet(gc, true);
}

int M1_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

int M1_S1G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        gc.CurrentTaskNumber = TNUM_M1_G1;
        M1_S1G1_Load(gc);
        M1_Driving_Load(gc);
        M1_S1(gc);
        if (gc.i8Loop != 2)
            M1_G1(gc);
        return 2;
    case 1:
        M1_G1(gc);
        return 2;
    case 2:
        if (gc.i8Loop == 2)
            gc.CleanupLevel();
        M1_S1G1_Destroy(gc);
        M1_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M1_G1, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M1_S2G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    // The driving set stays released (step 1 released it).
    static const StepPieces s = {true, TNUM_M1_G2, TNUM_M1_G2, true, M1_S2G2_Load, nullptr, M1_S2, nullptr,
                                 M1_G2, M1_S2G2_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M1_S3a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M1_G3, TNUM_M1_G3, false, M1_S3_Load, nullptr, M1_S3a, nullptr,
                                 nullptr, M1_S3_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M1_S3b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M1_G3, TNUM_M1_G3, false, M1_S3_Load, nullptr, M1_S3b, nullptr,
                                 nullptr, M1_S3_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M1_G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M1_G3, TNUM_M1_G3, false, M1_G3_Load, M1_Driving_Load, nullptr,
                                 nullptr, M1_G3, nullptr, M1_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M1_S4a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M1_G4, TNUM_M1_G4, false, M1_S4_Load, nullptr, M1_S4a, nullptr,
                                 nullptr, M1_S4_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M1_S4b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M1_G4, TNUM_M1_G4, false, M1_S4_Load, nullptr, M1_S4b, nullptr,
                                 nullptr, M1_S4_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M1_S4a2G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M1_G4, TNUM_M1_G4, true, M1_S4a2G4_Load, M1_Driving_Load,
                                 M1_S4a2WithCinematic, nullptr, M1_S4a2G4, M1_S4a2G4_Destroy, M1_Driving_Destroy, 0};
    if (iEntryIndex == 0 && (gc.iFlags & GCF_SIDETRIP_RUNNING)) {
        // Back from a side trip: the scene without its cinematic, the drive
        // at once.
        M1_S4a2G4_Load(gc);
        M1_Driving_Load(gc);
        M1_S4a2(gc, false);
        M1_S4a2G4(gc);
        return 2;
    }
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M1_S5G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M1_G5, TNUM_M1_G5, true, M1_S5_Load, nullptr, M1_S5, nullptr,
                                 M1_G5, M1_S5_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M1_S6a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M1_G6, TNUM_M1_G6, false, M1_S6a_Load, nullptr, M1_S6a, nullptr,
                                 nullptr, M1_S6a_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M1_S6a2G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M1_G6, TNUM_M1_G6, true, M1_S6a2G6_Load, nullptr, M1_S6a2,
                                 M1_S6a2Clean, M1_G6, M1_S6a2G6_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M1_S6bG6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M1_G6, TNUM_M1_G6, true, M1_S6bG6_Load, nullptr, M1_S6b, M1_S6bClean,
                                 M1_G6, M1_S6bG6_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
