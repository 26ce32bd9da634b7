// The step functions of episode 9 and the pieces they are built from.  Its
// steps leave the current task number alone.
#include "game/Levels/M9Desc.h"

#include <cstring>

#include "game/Levels/BonusDT.h"

namespace {

EnemyGenRunner_params Driver()
{
    EnemyGenRunner_params p{};
    p.character = 1;
    p.id = -103;
    p.weapon = 8;
    p.caronly = 1;
    p.shoot = 0.25f;
    p.command = 1.0f;
    p.init_strength = 100;
    p.badass = 1.0f;
    return p;
}

}  // namespace

DriveToMissionParams M9G1DriveTo = {-201, 0, "Strip Club"};
DriveToMissionParams M9G3DriveTo = {-203, 0, "Club"};
DriveToMissionParams M9G4RaceTo = {-205, 5400, "Belmont Center"};
DriveToMissionParams M9G8RaceTo = {-210, 5400, "Factory"};
CarDriverParams cdpM9_G1 = {0};
CarDriverParams cdpM9_G4 = {0};
CarDriverParams cdpM9_G5 = {-1};
CarDriverParams cdpM9_G8 = {0};
CarDriverParams cdpM9_G9 = {0};
EnemyGenRunner_params M9_S5_regsp_driver = Driver();
// Built by code at start-up.
Construct_EnemyGenShooter_params M9_S5_regsp_shooter(1, -104, 13, 0, 0, 0.0f, 0, 0, 0, 1, 1, UnitRowsExtent(), UnitRowsExtent(), 0,
                                                     0.0f, 0, 0, 100, 1.0f, 0, 0, 0, 0, 0, 0);
BadGuyGenInfo M9_S5_rbggi[2] = {{BGGT_RUNNER, -205, &M9_S5_regsp_driver},
                                {BGGT_SHOOTER, -205, &M9_S5_regsp_shooter}};
// Only the first generator, the armed car's driver, is made.
EscapeMissionParams M9_S5_EscapeParams = {62.5f, 300, 31.25f, 0.3125f, 1, M9_S5_rbggi};
ShootoutMissionParams M9_G7_ShootoutParams = {1};

int M9_Driving_Load(GameController& gc, bool bLoadDacesCar)
{
    gc.StartLoading();
    gc.FreeInteriorAnimGroups();
    if (bLoadDacesCar)
        gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    gc.LoadFillAmbientCars(1, -1);
    gc.LoadFillAmbientPeds(80, -1);
    gc.ResetTime();
    return 1;
}

int M9_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

namespace {

int DrivingWithCar(GameController& gc)
{
    return M9_Driving_Load(gc, true);
}

// A cinematic-only scene in a room: the player without a kind name and the
// cast at -1.
void RoomCinematic(GameController& gc, int level, std::initializer_list<std::pair<int, int>> cast)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(9, level);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    for (const auto& c : cast)
        gc.CreateCharacterAt(c.first, c.second, -1, nullptr, false);
}

int RoomRelease(GameController& gc, std::initializer_list<int> slots)
{
    gc.CleanupLevel();
    for (int s : slots)
        gc.DestroyMDLFile(s, true);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// The close of a phone-call drive: the player's car driven for him, the
// city's life, and the call.
void PhoneDrive(GameController& gc, CarDriverParams& cdp)
{
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.CreateAICarDriver(-5, -166, 5, cdp);
    StartAmbientLife(gc);
    gc.EndLoading();
}

// ---- Row 0: the briefing

int M9_S101_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {149, 99, 128, 126, 158});
    return 1;
}

int M9_S101(GameController& gc)
{
    RoomCinematic(gc, 0, {{49, -2}, {50, -3}, {51, -4}, {52, -5}, {53, -6}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    StepCinematic(gc, 102, -1);
    return 1;
}

int M9_S101_Destroy(GameController& gc)
{
    return RoomRelease(gc, {49, 50, 51, 52, 53});
}

// ---- Row 1: the call on the road, the drive to the strip club

int M9_S102(GameController& gc)
{
    gc.SetTimeOfDay(19, 35, false);
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(9, 1);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, true);
    gc.CreateVehicleAt(0, -166, -200, true);
    PhoneDrive(gc, cdpM9_G1);
    return 1;
}

int M9_G1(GameController& gc)
{
    gc.SetDriveToMissionMode(M9G1DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

// ---- Row 2: the club fight

int M9_S2_Load(GameController& gc)
{
    gc.StartLoading();
    LoadCast(gc, 49, {157, 146, 156, 88, 89, 106, 95});
    for (int g : {10, 13, 14})
        gc.LoadAnimGroup(g);
    gc.ResetTime();
    return 1;
}

int M9_S2(GameController& gc)
{
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(48, -2, -1, nullptr, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL9\\SCLUBG2.P2B");
    StepCinematic(gc, 104, -1);
    return 1;
}

int M9_G2(GameController& gc)
{
    gc.DestroyObject(-2);
    gc.SetLevelNumber(9, 2);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

// The club's files are freed later, not at once.
int M9_S2_Destroy(GameController& gc)
{
    for (int g : {14, 13, 10})
        gc.DestroyAnimGroup(g);
    FreeSlots(gc, 49, 55, false);
    gc.DestroyInterior(false);
    return 1;
}

// ---- Row 3: after the fight

int M9_S3_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 49, 157, 0);
    LoadCast(gc, 51, {88, 146, 87});
    return 1;
}

int M9_S3(GameController& gc)
{
    RoomCinematic(gc, 3, {{49, -2}, {51, -3}, {52, -4}, {53, -5}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL9\\SCLUBS3.P2B");
    StepCinematic(gc, 105, -1);
    return 1;
}

int M9_S3_Destroy(GameController& gc)
{
    return RoomRelease(gc, {49, 51, 52, 53});
}

// ---- Row 4: the drive to the club

constexpr int kCarId = 65;

int M9_G3(GameController& gc)
{
    gc.SetTimeOfDay(22, 30, false);
    gc.SetLevelNumber(9, 4);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-201, false);
    gc.CreateCharacterAt(48, -1, -201, szDace, true);
    gc.CreateVehicleAt(0, kCarId, -201, true);
    gc.PlaceCharacterAtExitPos(-1, -201);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M9G3DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

// ---- Row 5: the parking lot

int M9_S401_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {124, 153, 126, 118});
    return 1;
}

int M9_S401(GameController& gc)
{
    RoomCinematic(gc, 5, {{49, -2}, {50, -3}, {51, -4}, {52, -5}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL9\\SPOTS4.P2B");
    StepCinematic(gc, 106, -1);
    return 1;
}

int M9_S401_Destroy(GameController& gc)
{
    return RoomRelease(gc, {49, 50, 51, 52});
}

// ---- Row 6: the call after midnight, the timed drive

int M9_S4G4_Load(GameController& gc)
{
    gc.LoadMDLFile(nullptr, 1, 32, 0);
    gc.LoadMDLFile(nullptr, 80, 124, 0);
    return 1;
}

int M9_S402(GameController& gc)
{
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(9, 6);
    gc.SyncGridPosAt(-204, false);
    gc.CreateCharacterAt(48, -1, -204, szDace, true);
    gc.CreateCharacterAt(80, -2, -204, nullptr, true);
    gc.CreateVehicleAt(1, -166, -204, true);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.PutObjectInCar(-2, -166, 117, false);
    gc.CreateAICarDriver(-5, -166, 5, cdpM9_G4);
    StartAmbientLife(gc);
    gc.EndLoading();
    return 1;
}

// ---- Row 7: the escape from the armed car

int M9_S5G5_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 0, {32, 27, 7, 21, 9});
    LoadCast(gc, 49, {124, 140});
    StepEndLoading(gc);
    // The player's car is in slot 0 already.
    M9_Driving_Load(gc, false);
    gc.SetTimeOfDay(0, 5, false);
    return 1;
}

int M9_S5(GameController& gc)
{
    gc.SetLevelNumber(9, 7);
    gc.SyncGridPosAt(-205, false);
    gc.CreateCharacterAt(48, -1, -205, szDace, false);
    gc.CreateCharacterAt(49, -2, -205, nullptr, false);
    for (int i = 0; i < 5; i++)
        gc.CreateVehicleAt(i, -166 - i, -205, false);
    gc.SetEscapeMissionMode(M9_S5_EscapeParams, 15, 1);
    StepCinematic(gc, 108, -205);
    return 1;
}

// The escape made only the armed car's driver, -103: seating -104 finds
// nobody.
int M9_G5(GameController& gc)
{
    gc.SetLevelNumber(9, 7);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.PutObjectInCar(-2, -166, 117, false);
    gc.PutObjectInCar(-103, -167, 116, false);
    gc.PutObjectInCar(-104, -167, 117, false);
    gc.SetVehicleInitialSpeed(-166, 0.20955f);
    gc.SetVehicleInitialSpeed(-167, 0.20955f);
    StartAmbientLife(gc);
    gc.CreateAICarDriver(-102, -167, 9, cdpM9_G5);
    gc.SetTargetObject(-167, true);
    gc.SetEscapeMissionMode(M9_S5_EscapeParams, 15, 2);
    gc.StartCurrentMission();
    return 1;
}

int M9_S5G5_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(50, true);
    gc.DestroyMDLFile(49, true);
    FreeSlots(gc, 0, 4);
    gc.CheckMemory();
    return 1;
}

// ---- Rows 8 and 9: the factory

int M9_S6G6_Load(GameController& gc)
{
    gc.SyncGridPosAt(-207, false);
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 49, 124, 0);
    LoadCast(gc, 1, {32, 5});
    gc.LoadAnimGroup(10);
    gc.LoadAnimGroup(12);
    StepEndLoading(gc);
    return 1;
}

void Factory(GameController& gc, int level, const char* file, int cinematic, bool second)
{
    gc.SetLevelNumber(9, level);
    gc.CreateCharacterAt(48, -1, -207, szDace, false);
    if (second)
        gc.CreateCharacterAt(50, -2, -207, nullptr, false);
    gc.CreateExteriorAt(StepFile(file), -207, 0);
    gc.ResetTime();
    StepCinematic(gc, cinematic, -207);
}

int M9_S6(GameController& gc)
{
    Factory(gc, 8, "KORVALIS\\DemoData\\Int\\LEVEL9\\MG6.P2B", 109, false);
    return 1;
}

int M9_G6(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M9_S6G6_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(10);
    gc.DestroyAnimGroup(12);
    for (int s : {49, 1, 2})
        gc.DestroyMDLFile(s, true);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M9_S7G7_Load(GameController& gc)
{
    gc.SyncGridPosAt(-207, false);
    StepStartLoading(gc);
    LoadCast(gc, 1, {32, 5});
    LoadCast(gc, 49, {102, 124});
    StepEndLoading(gc);
    return 1;
}

int M9_S7(GameController& gc)
{
    Factory(gc, 9, "KORVALIS\\DemoData\\Int\\LEVEL9\\MG7.P2B", 110, true);
    return 1;
}

int M9_G7(GameController& gc)
{
    gc.SetShootoutMissionMode(M9_G7_ShootoutParams, 30);
    return 1;
}

int M9_S7G7_Destroy(GameController& gc)
{
    for (int s : {49, 50, 1, 2})
        gc.DestroyMDLFile(s, true);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 10: the call, the timed drive to the factory

int M9_S8(GameController& gc)
{
    gc.SetTimeOfDay(22, 50, false);
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(9, 10);
    gc.SyncGridPosAt(-209, false);
    gc.CreateCharacterAt(48, -1, -209, szDace, false);
    gc.CreateVehicleAt(0, -166, -209, false);
    PhoneDrive(gc, cdpM9_G8);
    return 1;
}

int M9_G8(GameController& gc)
{
    gc.SetDriveToMissionMode(M9G8RaceTo, 10, false);
    return 1;
}

int M9_G4(GameController& gc)
{
    gc.SetDriveToMissionMode(M9G4RaceTo, 10, false);
    return 1;
}

// ---- Rows 11 and 12: the race

int M9_S9G9_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 49, 124, 0);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {25, 18, 32});
    StepEndLoading(gc);
    gc.SetTimeOfDay(0, 15, false);
    return 1;
}

void M9_S9(GameController& gc, bool bS9b)
{
    gc.SetLevelNumber(9, 12);
    gc.SyncGridPosAt(-210, false);
    gc.CreateCharacterAt(48, -1, -210, szDace, false);
    gc.CreateCharacterAt(49, -2, -210, nullptr, false);
    pobjDaceCar = gc.CreateVehicleAt(0, -166, -210, false);
    pobjPellCar = gc.CreateVehicleAt(3, -167, -210, false);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL9\\MG9.P2B"), -210, 0);
    gc.ResetTime();
    StepCinematic(gc, bS9b ? 113 : 112, -210);
}

int M9_S9a(GameController& gc)
{
    M9_S9(gc, false);
    return 1;
}

int M9_S9b(GameController& gc)
{
    M9_S9(gc, true);
    return 1;
}

// The race against character -2, whose car the race mode takes from
// pobjPellCar.
int M9_G9(GameController& gc)
{
    gc.SetLevelNumber(9, 12);
    gc.SyncGridPosAt(-210, false);
    gc.PutObjectInCar(-2, -167, 116, false);
    gc.CreateAICarDriver(-102, -167, 11, cdpM9_G9);
    gc.SetRaceMissionMode(-2, 2, 0);
    return 1;
}

// The race's cars go with the level: the pointers are not kept past it.
int M9_S9G9_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(49, true);
    FreeSlots(gc, 0, 3);
    gc.DestroyInterior(true);
    pobjDaceCar = nullptr;
    pobjPellCar = nullptr;
    gc.CheckMemory();
    return 1;
}

StepPieces SceneGame(TaskNumbers task, int (*load)(GameController&), int (*driving)(GameController&),
                     int (*scene)(GameController&), int (*game)(GameController&), int (*release)(GameController&),
                     bool loops = false)
{
    return {false, task,    task, loops, load, driving, scene, nullptr, game, release,
            driving != nullptr ? M9_Driving_Destroy : nullptr, 0};
}

// Row 6 and row 10: a phone-call drive then a timed drive.  Back from a
// side trip the call does nothing, so the step goes on to its game at once
// rather than wait for a call that never ends.
int PhoneThenTimedDrive(GameController& gc, int iEntryIndex, int iSuccess, int (*scene)(GameController&),
                        int (*game)(GameController&), int track, TaskNumbers task, bool waitAfterResult)
{
    switch (iEntryIndex) {
    case 0:
        scene(gc);
        if (!(gc.iFlags & GCF_SIDETRIP_RUNNING)) {
            gc.SetCineDriveMode(-1, track);
            return 1;
        }
        iSuccess = gc.iMissionRet;
        [[fallthrough]];
    case 1:
        if (iSuccess == 0) {
            game(gc);
            return 2;
        }
        if (waitAfterResult)
            return 0;
        [[fallthrough]];
    case 2:
        M9_Driving_Destroy(gc);
        ReportTask(gc, task, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M9_S402Drive(GameController& gc)
{
    M9_S4G4_Load(gc);
    M9_Driving_Load(gc, true);
    gc.SetTimeOfDay(24, 50, false);
    return M9_S402(gc);
}

int M9_S8Drive(GameController& gc)
{
    M9_Driving_Load(gc, true);
    return M9_S8(gc);
}

}  // namespace

int M9_S101_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M9_S101_Load, M9_S101, M9_S101_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M9_S102G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M9_G1, TNUM_M9_G1, false,   nullptr,           DrivingWithCar,
                                 M9_S102, nullptr,  M9_G1,      nullptr, M9_Driving_Destroy, 9};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M9_S2G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M9_G2, M9_S2_Load, nullptr, M9_S2, M9_G2, M9_S2_Destroy, true);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M9_S3_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M9_S3_Load, M9_S3, M9_S3_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M9_G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M9_G3, nullptr, DrivingWithCar, nullptr, M9_G3, nullptr);
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M9_S401_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M9_S401_Load, M9_S401, M9_S401_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// A result already in at entry 1 leaves the step waiting, starting nothing.
int M9_S402G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    return PhoneThenTimedDrive(gc, iEntryIndex, iSuccess, M9_S402Drive, M9_G4, 10, TNUM_M9_G4, true);
}

int M9_S5G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M9_G5, TNUM_M9_G5, false,          M9_S5G5_Load, nullptr,
                                 M9_S5, nullptr,    M9_G5,      M9_S5G5_Destroy, M9_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M9_S6G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M9_G6, M9_S6G6_Load, DrivingWithCar, M9_S6, M9_G6, M9_S6G6_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M9_S7G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M9_G7, M9_S7G7_Load, DrivingWithCar, M9_S7, M9_G7, M9_S7G7_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M9_S8G8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    return PhoneThenTimedDrive(gc, iEntryIndex, iSuccess, M9_S8Drive, M9_G8, 11, TNUM_M9_G8, false);
}

int M9_S9aG9_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M9_G9, M9_S9G9_Load, nullptr, M9_S9a, M9_G9, M9_S9G9_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M9_S9bG9_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M9_G9, M9_S9G9_Load, nullptr, M9_S9b, M9_G9, M9_S9G9_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
