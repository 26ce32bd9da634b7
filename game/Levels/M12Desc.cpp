// The step functions of episode 12 and the pieces they are built from.  Its
// steps leave the current task number alone.
#include "game/Levels/M12Desc.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/Levels/BonusDT.h"

namespace {

EnemyGenRunner_params Driver(s16 id)
{
    EnemyGenRunner_params p{};
    p.character = 0;
    p.id = id;
    p.weapon = 8;
    p.caronly = 1;
    p.shoot = 0.25f;
    p.command = 1.0f;
    p.init_strength = 100;
    p.badass = 1.0f;
    return p;
}

}  // namespace

DriveToMissionParams M12_G1_RaceTo = {-202, 5400, "Mansion"};
InfiltrateMissionParams M12_G2_InfiltrateParams = {"Mansion"};
DriveToMissionParams M12_G4_DriveTo = {-204, 0, "City Impound Lot"};
EnemyGenRunner_params M12_G5_regsp_driver1 = Driver(-3);
EnemyGenRunner_params M12_G5_regsp_driver2 = Driver(-4);
BadGuyGenInfo M12_G5_rbggi[2] = {{BGGT_RUNNER, -204, &M12_G5_regsp_driver1},
                                 {BGGT_RUNNER, -204, &M12_G5_regsp_driver2}};
EscapeMissionParams M12_G5_A_EscapeParams = {62.5f, 300, 31.25f, 0.3125f, 2, M12_G5_rbggi};
CarDriverParams cdpM12_G5_ATemp = {-1};
ShootoutMissionParams M12_G6_ShootoutParams = {1};

int M12_Driving_Load(GameController& gc, bool bLoadStaticCars)
{
    gc.StartLoading();
    gc.FreeInteriorAnimGroups();
    if (bLoadStaticCars) {
        gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
        gc.LoadMDLFile(nullptr, 5, 27, 1);
        gc.LoadMDLFile(nullptr, 6, 38, 10);
        gc.LoadMDLFile(nullptr, 7, 37, 10);
    }
    gc.LoadFillAmbientCars(1, -1);
    gc.LoadFillAmbientPeds(80, -1);
    gc.ResetTime();
    return 1;
}

int M12_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

namespace {

int DrivingWithCars(GameController& gc)
{
    return M12_Driving_Load(gc, true);
}

// ---- Row 0: at the house

int M12_S1a_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 49, 145, 0);
    return 1;
}

int M12_S1a(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(12, 0);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    CreateCast(gc, -1, {{49, -2}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL12\\RDHSES1A.P2B");
    StepCinematic(gc, 139, -1);
    return 1;
}

int M12_S1a_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49}, true, true);
}

// ---- Rows 1 and 2: the race to the mansion

// After the scene the race starts where the scene left the player.
int M12_G1_Load(GameController& gc, bool bFromCinematic)
{
    gc.SetLevelNumber(12, 2);
    if (!bFromCinematic) {
        gc.SyncGridPosAt(-201, false);
        gc.CreateCharacterAt(48, -1, -201, szDace, true);
        gc.CreateVehicleAt(0, -166, -201, true);
        gc.PlaceCharacterAtExitPos(-1, -201);
    }
    StartAmbientLife(gc);
    if (!bFromCinematic)
        gc.EndLoading();
    return 1;
}

int M12_G1(GameController& gc)
{
    gc.SetDriveToMissionMode(M12_G1_RaceTo, 10, true);
    return 1;
}

int M12_S1b_Load(GameController& gc)
{
    gc.ResetTime();
    LoadCast(gc, 49, {145, 143, 162, 118});
    gc.LoadMDLFile(nullptr, 1, 5, 0);
    gc.LoadMDLFile(nullptr, 2, 7, 10);
    gc.LoadMDLFile(nullptr, 3, 11, 10);
    gc.EndLoading();
    M12_Driving_Load(gc, true);
    gc.SetTimeOfDay(21, 0, false);
    return 1;
}

int M12_S1b(GameController& gc)
{
    gc.SetLevelNumber(12, 1);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, false);
    CreateCast(gc, -200, {{49, -2}, {50, -3}, {51, -4}, {52, -5}});
    for (int i = 1; i <= 3; i++)
        gc.CreateVehicleAt(i, -165 - i, -200, false);
    gc.CreateCinematicAt(140, -200);
    return 1;
}

int M12_S1b_Destroy(GameController& gc)
{
    for (int id : {-2, -3, -4, -5})
        gc.DestroyObject(id);
    FreeSlots(gc, 49, 52);
    return 1;
}

int M12_G1_AfterScene(GameController& gc)
{
    M12_S1b_Destroy(gc);
    M12_G1_Load(gc, true);
    return M12_G1(gc);
}

int M12_G1_Direct(GameController& gc)
{
    M12_G1_Load(gc, false);
    gc.SetTimeOfDay(21, 0, false);
    return M12_G1(gc);
}

// ---- Row 3: into the mansion

int M12_S2G2_Load(GameController& gc)
{
    gc.LoadInteriorAnimGroups();
    LoadCast(gc, 49, {134, 106, 83});
    gc.LoadAnimGroup(4);
    gc.LoadAnimGroup(9);
    StepEndLoading(gc);
    return 1;
}

int M12_S2(GameController& gc)
{
    gc.SetLevelNumber(12, 3);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    CreateCast(gc, -1, {{49, -2}, {50, -3}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL12\\MNSNG2.P2B");
    gc.ResetTime();
    StepCinematic(gc, 141, -1);
    return 1;
}

int M12_G2(GameController& gc)
{
    gc.SetLevelNumber(12, 3);
    gc.DestroyObject(-2);
    gc.DestroyObject(-3);
    gc.SetInfiltrateMissionMode(M12_G2_InfiltrateParams, 35);
    return 1;
}

int M12_S2G2_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(4);
    gc.DestroyAnimGroup(9);
    return ReleaseStep(gc, {49, 50, 51}, false, true);
}

// ---- Rows 4 and 5: the fight in the master room

void M12_S3G3_Load(GameController& gc, bool withCast)
{
    gc.StartLoading();
    LoadCast(gc, 49, {156, 106, 68});
    if (withCast)
        LoadCast(gc, 52, {147, 114});
    gc.LoadAnimGroup(14);
    gc.LoadAnimGroup(10);
    gc.ResetTime();
}

int M12_S3aG3_Load(GameController& gc)
{
    M12_S3G3_Load(gc, true);
    return 1;
}

int M12_S3bG3_Load(GameController& gc)
{
    M12_S3G3_Load(gc, false);
    return 1;
}

void MasterRoom(GameController& gc, bool withCast, int cinematic)
{
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    if (withCast)
        CreateCast(gc, -1, {{52, -2}, {53, -3}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL12\\MMRMG3.P2B");
    StepCinematic(gc, cinematic, -1);
}

int M12_S3a(GameController& gc)
{
    MasterRoom(gc, true, 142);
    return 1;
}

int M12_S3b(GameController& gc)
{
    MasterRoom(gc, false, 143);
    return 1;
}

int M12_G3(GameController& gc)
{
    gc.SetLevelNumber(12, 4);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M12_S3aG3_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(10);
    gc.DestroyAnimGroup(14);
    return ReleaseStep(gc, {49, 50, 51, 52, 53}, false, true);
}

int M12_S3bG3_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(10);
    gc.DestroyAnimGroup(14);
    return ReleaseStep(gc, {49, 50, 51}, false, true);
}

// ---- Rows 6 and 7: after the fight

int M12_S4a_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {150, 147});
    return 1;
}

int M12_S4a(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(12, 6);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    CreateCast(gc, -1, {{49, -2}, {50, -3}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL12\\MMRMS4.P2B");
    StepCinematic(gc, 144, -1);
    return 1;
}

int M12_S4a_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50}, true, true);
}

int M12_S4b_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {150, 147, 106, 68, 134, 156});
    return 1;
}

// Four pairs of lookalikes: the second of each wears the other tints.
int M12_S4b(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(12, 7);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    CreateCast(gc, -1, {{49, -2}, {50, -3}});
    for (int i = 0; i < 4; i++) {
        gc.CreateCharacterAt(51 + i, -4 - 2 * i, -1, nullptr, false);
        if (Object* second = gc.CreateCharacterAt(51 + i, -5 - 2 * i, -1, nullptr, false))
            SetTintSet(second, 1, true);
    }
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL12\\MMRMS4.P2B");
    StepCinematic(gc, 145, -1);
    return 1;
}

int M12_S4b_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 53, 54}, true, true);
}

// ---- Row 8: to the impound garage

int M12_G4(GameController& gc)
{
    gc.SetTimeOfDay(22, 0, false);
    gc.SetLevelNumber(12, 8);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-203, false);
    gc.CreateCharacterAt(48, -1, -203, szDace, true);
    gc.CreateVehicleAt(0, -166, -203, true);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.SetVehicleInitialSpeed(-166, 0.06985f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M12_G4_DriveTo, 0, true);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

// ---- Row 9: the escape from two armed cars

int M12_S5G5_Load(GameController& gc)
{
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    LoadCast(gc, 49, {128, 97, 96});
    gc.LoadMDLFile(nullptr, 0, 5, 0);
    gc.LoadMDLFile(nullptr, 1, 13, 10);
    gc.LoadMDLFile(nullptr, 2, 23, 10);
    gc.LoadMDLFile(nullptr, 3, 7, 10);
    gc.ResetTime();
    M12_Driving_Load(gc, false);
    gc.SetTimeOfDay(23, 20, false);
    return 1;
}

int M12_S5(GameController& gc)
{
    gc.SetLevelNumber(12, 9);
    gc.SyncGridPosAt(-204, false);
    gc.CreateCharacterAt(48, -1, -204, szDace, false);
    CreateCast(gc, -204, {{49, -2}});
    const int cars[][2] = {{0, -166}, {7, -167}, {7, -168}, {2, -169}, {1, -170}, {3, -171}};
    for (const auto& c : cars)
        gc.CreateVehicleAt(c[0], c[1], -204, false);
    gc.SetEscapeMissionMode(M12_G5_A_EscapeParams, -1, 1);
    StepCinematic(gc, 146, -204);
    return 1;
}

// The escape's generators made the drivers -3 and -4.
int M12_G5(GameController& gc)
{
    gc.SyncGridPosAt(-204, false);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.ReplaceCharacterID(-3, -103);
    gc.ReplaceCharacterID(-4, -104);
    gc.PutObjectInCar(-103, -167, 116, false);
    gc.PutObjectInCar(-104, -168, 116, false);
    gc.SetVehicleInitialSpeed(-167, 0.09313334f);
    gc.CreateAICarDriver(-5, -167, 9, cdpM12_G5_ATemp);
    gc.SetTargetObject(-167, true);
    StartAmbientLife(gc);
    gc.SetEscapeMissionMode(M12_G5_A_EscapeParams, 15, 2);
    return 1;
}

int M12_S5G5_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51}, true, false);
}

// ---- Rows 10 and 11: outside the garage

int M12_S6G6_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {143, 151, 102, 150, 147});
    gc.LoadMDLFile(nullptr, 1, 5, 0);
    StepEndLoading(gc);
    M12_Driving_Load(gc, true);
    return 1;
}

// Whatever the last game's result, this game is played.
int M12_S6(GameController& gc)
{
    gc.iMissionRet = 0;
    gc.SetLevelNumber(12, 10);
    gc.SyncGridPosAt(-208, false);
    gc.CreateCharacterAt(48, -1, -208, szDace, false);
    CreateCast(gc, -208, {{52, -2}, {53, -3}, {51, -4}});
    gc.CreateVehicleAt(1, -166, -208, false);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL12\\G6.P2B"), -208, 0);
    gc.ResetTime();
    StepCinematic(gc, 147, -208);
    return 1;
}

int M12_G6(GameController& gc)
{
    gc.SetShootoutMissionMode(M12_G6_ShootoutParams, 30);
    return 1;
}

int M12_S6G6_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 53, 1}, false, true);
}

int M12_S7G7_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {147, 113, 143, 151, 102});
    gc.LoadMDLFile(nullptr, 1, 5, 0);
    gc.LoadAnimGroup(12);
    gc.SyncGridPosAt(-208, false);
    StepEndLoading(gc);
    return 1;
}

int M12_S7(GameController& gc)
{
    gc.SetLevelNumber(12, 11);
    gc.CreateCharacterAt(48, -1, -208, szDace, false);
    CreateCast(gc, -208, {{50, -3}, {51, -4}, {52, -5}, {53, -6}, {53, -7}, {53, -8}});
    gc.CreateVehicleAt(1, -166, -208, false);
    gc.ResetTime();
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL12\\G7.P2B"), -208, 0);
    StepCinematic(gc, 148, -208);
    return 1;
}

int FistFight(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M12_S7G7_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(12);
    return ReleaseStep(gc, {49, 50, 51, 52, 53, 1}, false, false);
}

// ---- Rows 12 and 13: the endings

void EndingCast(GameController& gc, int level)
{
    gc.SetLevelNumber(12, level);
    gc.SyncGridPosAt(-208, false);
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -208, szDace, false);
    CreateCast(gc, -208, {{49, -2}, {50, -3}, {51, -4}, {52, -5}, {53, -6}, {53, -7}, {53, -8}});
}

int M12_S8a_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {150, 147, 143, 151, 102});
    gc.LoadMDLFile(nullptr, 1, 5, 0);
    StepEndLoading(gc);
    return 1;
}

int M12_S8a(GameController& gc)
{
    EndingCast(gc, 12);
    StepCinematic(gc, 149, -208);
    return 1;
}

int M12_S8a_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 53, 1}, true, false);
}

int M12_S8b_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {128, 100, 143, 151, 102});
    gc.LoadMDLFile(nullptr, 2, 27, 0);
    gc.LoadMDLFile(nullptr, 1, 37, 0);
    StepEndLoading(gc);
    return 1;
}

int M12_S8b(GameController& gc)
{
    EndingCast(gc, 13);
    gc.CreateVehicleAt(1, -167, -208, false);
    gc.CreateVehicleAt(2, -168, -208, false);
    gc.CreateVehicleAt(2, -169, -208, false);
    StepCinematic(gc, 150, -208);
    return 1;
}

int M12_S8b_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 53, 1, 2}, true, false);
}

StepPieces SceneGame(TaskNumbers task, bool loops, int (*load)(GameController&), int (*scene)(GameController&),
                     int (*game)(GameController&), int (*release)(GameController&), bool driving)
{
    return {false, task,    task, loops, load, nullptr, scene, nullptr, game, release,
            driving ? M12_Driving_Destroy : nullptr, 0};
}

}  // namespace

int M12_S1a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M12_S1a_Load, M12_S1a, M12_S1a_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M12_S1bG1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s =
        SceneGame(TNUM_M12_G1, false, M12_S1b_Load, M12_S1b, M12_G1_AfterScene, nullptr, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M12_G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M12_G1, TNUM_M12_G1,   false,   nullptr,             DrivingWithCars,
                                 nullptr, nullptr,     M12_G1_Direct, nullptr, M12_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M12_S2G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M12_G2, true, M12_S2G2_Load, M12_S2, M12_G2, M12_S2G2_Destroy, false);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M12_S3aG3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s =
        SceneGame(TNUM_M12_G3, true, M12_S3aG3_Load, M12_S3a, M12_G3, M12_S3aG3_Destroy, false);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M12_S3bG3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s =
        SceneGame(TNUM_M12_G3, true, M12_S3bG3_Load, M12_S3b, M12_G3, M12_S3bG3_Destroy, false);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M12_S4a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M12_S4a_Load, M12_S4a, M12_S4a_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M12_S4b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M12_S4b_Load, M12_S4b, M12_S4b_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M12_G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M12_G4, TNUM_M12_G4, false,   nullptr,             DrivingWithCars,
                                 nullptr, nullptr,     M12_G4,      nullptr, M12_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M12_S5G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M12_G5, false, M12_S5G5_Load, M12_S5, M12_G5, M12_S5G5_Destroy, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M12_S6G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M12_G6, false, M12_S6G6_Load, M12_S6, M12_G6, M12_S6G6_Destroy, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

// It releases a driving set it never loaded, as the other steps of the
// garage do.
int M12_S7G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s =
        SceneGame(TNUM_M12_G7, false, M12_S7G7_Load, M12_S7, FistFight, M12_S7G7_Destroy, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M12_S8a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M12_S8a_Load, M12_S8a, M12_S8a_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M12_S8b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M12_S8b_Load, M12_S8b, M12_S8b_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}
