// The step functions of episode 8 and the pieces they are built from.  Its
// steps leave the current task number alone.
#include "game/Levels/M8Desc.h"

#include <cstring>

#include "ZevEngine2/EntTypes.h"
#include "game/BadGuy.h"
#include "game/Helicopter.h"
#include "game/Levels/BonusDT.h"

namespace {

EnemyGenRunner_params Driver()
{
    EnemyGenRunner_params p{};
    p.character = 0;
    p.id = -2;
    p.weapon = 0;
    p.caronly = 1;
    p.init_strength = 100;
    p.badass = 0.5f;
    return p;
}

}  // namespace

EnemyGenRunner_params M8_S1_DriverParams = Driver();
TailMissionParams M8_G1_A_TailParams = {nullptr, -201, -2, 9.375f, 300.0f, 62.5f, 300.0f, false, "Mave"};
CarDriverParams cdpM8_G1_A = {-201};
CarDriverParams cdpM8_G1_B = {-201};
PursuitMissionParams cdpM8_G1_B_PursuitParams = {nullptr, -105, -105, 125.0f, 54.6875f, "Mave"};
DriveToMissionParams M8G2RaceTo = {-204, 6300, "Gulag"};
// File-local: episode 2 has a record of the same name.
static DriveToMissionParams DynastyImportsDriveTo = {-207, 0, "Airport Hanger"};
CarDriverParams cdpM8_G4 = {0};
ShootoutMissionParams M8_G5_ShootoutParams = {1};
// Built by code at start-up: the helicopter's two gunners.
Construct_EnemyGenShooter_params M8_G9_regsp_shooter1(0, -101, 13, 0, 0, 0.0f, 0, 0, 0, 1, 1, UnitRowsExtent(), UnitRowsExtent(),
                                                      0, 0.0f, 0, 0, 100, 0.75f, 0, 0, 0, 0, 0, 0);
Construct_EnemyGenShooter_params M8_G9_regsp_shooter2(1, -102, 22, 0, 0, 0.0f, 0, 0, 0, 1, 1, UnitRowsExtent(), UnitRowsExtent(),
                                                      0, 0.0f, 0, 0, 100, 0.2f, 0, 0, 0, 0, 0, 0);
BadGuyGenInfo M8_G9_rbggi[2] = {{BGGT_SHOOTER, -213, &M8_G9_regsp_shooter1},
                                {BGGT_SHOOTER, -213, &M8_G9_regsp_shooter2}};
EscapeMissionParams M8_G9_EscapeParams = {62.5f, 300, 31.25f, 0.3125f, 2, M8_G9_rbggi};

// The gunship is made by its kind name.
static Name nameHelicopter("Helicopter", int(reinterpret_cast<intptr_t>(&Helicopter_mh)));

int M8_Driving_Load(GameController& gc)
{
    return MBonus_Driving_Load(gc);
}

int M8_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

namespace {

// The flag of the two-game step: the pursuit was started.
int iAlternate;

// The opening of a cinematic-only scene in a room: the player without a
// kind name and the cast at -1.
void RoomCinematic(GameController& gc, int level, std::initializer_list<std::pair<int, int>> cast)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(8, level);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    for (const auto& c : cast)
        gc.CreateCharacterAt(c.first, c.second, -1, nullptr, false);
}

void Cars(GameController& gc, int ph, std::initializer_list<std::pair<int, int>> cars)
{
    for (const auto& c : cars)
        gc.CreateVehicleAt(c.first, c.second, ph, false);
}

// ---- Row 0: the warehouse

int M8_S1a01_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {143, 162, 146});
    return 1;
}

int M8_S1a01(GameController& gc)
{
    RoomCinematic(gc, 0, {{49, -2}, {50, -3}, {51, -4}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL8\\MVSTRGS1.P2B");
    StepCinematic(gc, 86, -1);
    return 1;
}

int M8_S1a01_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Rows 1 and 2: the tail, and the pursuit when it goes undecided

int M8_S1a02G1_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 1, {10, 23, 8, 34});
    gc.LoadMDLFile(nullptr, 49, 114, 0);
    StepEndLoading(gc);
    return 1;
}

int M8_S1a02G1_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(49, true);
    gc.CheckMemory();
    return 1;
}

int M8_S1a02(GameController& gc, bool bS1B)
{
    gc.SetLevelNumber(8, 1);
    gc.SyncGridPosAt(-200, false);
    gc.CreateVehicleAt(0, -166, -200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, false);
    gc.CreateEnemyRunnerGen(&M8_S1_DriverParams);
    Cars(gc, -200, {{1, -167}, {2, -168}, {3, -169}, {4, -170}});
    gc.SetTailMissionMode(M8_G1_A_TailParams, -1, 1);
    StepCinematic(gc, bS1B ? 88 : 87, -200);
    return 1;
}

int M8_G1_A(GameController& gc)
{
    gc.SetLevelNumber(8, 2);
    gc.SyncGridPosAt(-6, false);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.PutObjectInCar(-2, -167, 116, false);
    gc.CreateAICarDriver(-102, -167, 8, cdpM8_G1_A);
    gc.SetVehicleInitialSpeed(-166, 0.1397f);
    gc.SetVehicleInitialSpeed(-167, 0.1397f);
    StartAmbientLife(gc);
    gc.SetTailMissionMode(M8_G1_A_TailParams, 5, 2);
    return 1;
}

int M8_G1_B(GameController& gc)
{
    iAlternate = 1;
    gc.CreateAICarDriver(-102, -167, 4, cdpM8_G1_B);
    gc.ReplaceCharacterID(-2, -105);
    gc.SetPursuitMissionMode(cdpM8_G1_B_PursuitParams, 20, 0, true);
    return 1;
}

int TailThenPursuit(GameController& gc, int iEntryIndex, bool bS1B)
{
    switch (iEntryIndex) {
    case 0:
        iAlternate = 0;
        M8_S1a02G1_Load(gc);
        M8_Driving_Load(gc);
        gc.SetTimeOfDay(22, 30, false);
        M8_S1a02(gc, bS1B);
        return gc.i8Loop == 2 ? 2 : 1;
    case 1:
        M8_G1_A(gc);
        return 2;
    case 2:
        // Also reached straight from the scene when the loop skips the tail.
        if (gc.iMissionRet == 0) {
            M8_G1_B(gc);
            return 3;
        }
        [[fallthrough]];
    case 3:
        if (gc.i8Loop == 2)
            gc.CleanupLevel();
        M8_S1a02G1_Destroy(gc);
        M8_Driving_Destroy(gc);
        if (iAlternate)
            gc.iMissionRet += 2;
        ReportTask(gc, TNUM_M8_G1, gc.iMissionRet);
        return -1;
    default:
        return 0;
    }
}

// ---- Rows 3 and 17: the diner

int M8_S2_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {114, 95, 72});
    return 1;
}

void Diner(GameController& gc, int cinematic)
{
    RoomCinematic(gc, 3, {{49, -2}, {50, -3}, {51, -5}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL8\\DINERS2.P2B");
    StepCinematic(gc, cinematic, -1);
}

int M8_S2(GameController& gc)
{
    Diner(gc, 89);
    return 1;
}

int M8_S2B(GameController& gc)
{
    Diner(gc, 90);
    return 1;
}

int M8_S2_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 4: the race against the clock

constexpr int kCarId = 65;

int M8_G2(GameController& gc)
{
    gc.SetTimeOfDay(22, 50, false);
    gc.SetLevelNumber(8, 4);
    gc.SyncGridPosAt(-202, false);
    gc.CreateCharacterAt(48, -1, -202, szDace, false);
    gc.CreateVehicleAt(0, kCarId, -202, false);
    gc.PutObjectInCar(-1, kCarId, 116, false);
    gc.SetVehicleInitialSpeed(kCarId, 0.09313334f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M8G2RaceTo, 10, false);
    return 1;
}

// ---- Row 5: the club fight

int M8_S3G3_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {118, 162, 132});
    for (int g : {10, 11, 12})
        gc.LoadAnimGroup(g);
    StepEndLoading(gc);
    return 1;
}

int M8_S3(GameController& gc)
{
    gc.SetLevelNumber(8, 5);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL8\\GCLUBG3.P2B");
    gc.ResetTime();
    StepCinematic(gc, 91, -1);
    return 1;
}

int FistFight(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M8_S3G3_Destroy(GameController& gc)
{
    for (int g : {12, 11, 10})
        gc.DestroyAnimGroup(g);
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 6: after the fight

int M8_S4a_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {118, 162, 132});
    return 1;
}

int M8_S4a(GameController& gc)
{
    RoomCinematic(gc, 6, {{49, -2}, {50, -3}, {51, -4}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL8\\GCLUBS4A.P2B");
    StepCinematic(gc, 92, -1);
    return 1;
}

// Slot 51 is left to later releases.
int M8_S4a_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M8_S4a_Release(GameController& gc)
{
    gc.CleanupLevel();
    return M8_S4a_Destroy(gc);
}

// ---- Rows 7 and 8: to the hangar at dawn

int M8_G4_Load(GameController& gc)
{
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(8, 7);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-206, false);
    gc.CreateCharacterAt(48, -1, -206, szDace, true);
    gc.CreateVehicleAt(0, -166, -206, true);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.CreateAICarDriver(-5, -166, 5, cdpM8_G4);
    StartAmbientLife(gc);
    gc.EndLoading();
    return 1;
}

int M8_G4(GameController& gc)
{
    gc.SetDriveToMissionMode(DynastyImportsDriveTo, 0, true);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

int M8_G4_Drive(GameController& gc)
{
    M8_G4_Load(gc);
    gc.SetTimeOfDay(5, 25, false);
    gc.SetVehicleInitialSpeed(-166, 0.06985f);
    return M8_G4(gc);
}

int M8_S4b(GameController& gc)
{
    M8_G4_Load(gc);
    gc.SetTimeOfDay(5, 25, false);
    return 1;
}

// ---- Row 9: at the hangar

int M8_S501_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 49, 114, 0);
    StepEndLoading(gc);
    return 1;
}

int M8_S501(GameController& gc)
{
    gc.SetLevelNumber(8, 9);
    gc.SyncGridPosAt(-215, false);
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -215, nullptr, false);
    gc.CreateCharacterAt(49, -2, -215, nullptr, false);
    gc.CreateVehicleAt(0, -166, -215, false);
    StepCinematic(gc, 94, -215);
    return 1;
}

int M8_S501_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(0, true);
    gc.DestroyMDLFile(49, true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 10: the hangar shoot-out

int M8_S502G5_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {102, 145, 147, 67});
    LoadCast(gc, 1, {7, 11, 15});
    StepEndLoading(gc);
    return 1;
}

int M8_S502(GameController& gc)
{
    gc.SetLevelNumber(8, 10);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    for (int i = 0; i < 3; i++)
        gc.CreateCharacterAt(50 + i, -5 - i, -1, nullptr, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL8\\AHANGG5.P2B");
    gc.ResetTime();
    StepCinematic(gc, 95, -1);
    return 1;
}

int M8_G5(GameController& gc)
{
    for (int id : {-5, -6, -7})
        gc.DestroyObject(id);
    gc.SetShootoutMissionMode(M8_G5_ShootoutParams, 30);
    return 1;
}

int M8_S502G5_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 52);
    FreeSlots(gc, 1, 3);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 11: inside the hangar

int M8_S601_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {145, 102});
    return 1;
}

int M8_S601(GameController& gc)
{
    RoomCinematic(gc, 11, {{49, -5}, {50, -8}, {50, -9}, {50, -10}, {50, -11}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL8\\HANGS601.P2B");
    StepCinematic(gc, 96, -1);
    return 1;
}

int M8_S601_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 12: the jet chase on the airfield.  The jet (-167) and the
// aircraft that follow it come with the airfield's placement data.

int M8_S602G6_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 1, 15, 0);
    gc.LoadMDLFile(nullptr, 57, 147, 0);
    StepEndLoading(gc);
    return 1;
}

int M8_S602(GameController& gc)
{
    gc.SetTimeOfDay(6, 20, false);
    gc.SetLevelNumber(8, 12);
    gc.SyncGridPosAt(-209, false);
    gc.CreateCharacterAt(48, -1, -209, szDace, false);
    gc.CreateCharacterAt(57, -101, -209, nullptr, false);
    gc.CreateVehicleAt(1, -166, -209, false);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL8\\MG6.P2B"), -209, 0);
    gc.SetLearJetMissionMode(-167, 2, 1);
    StepCinematic(gc, 97, -209);
    return 1;
}

int M8_G6(GameController& gc)
{
    gc.SetLevelNumber(8, 12);
    gc.DestroyObject(-101);
    gc.ReplaceObjectID(-167, -107);
    gc.PutObjectInCar(-1, -166, 116, true);
    gc.SetLearJetMissionMode(-107, 2, 2);
    gc.StartCurrentMission();
    return 1;
}

int M8_S602G6_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(57, true);
    gc.DestroyMDLFile(1, true);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 13: the fist fight by the runway

int M8_S7G7_Load(GameController& gc)
{
    gc.SyncGridPosAt(-209, false);
    StepStartLoading(gc);
    LoadCast(gc, 49, {113, 147});
    gc.LoadMDLFile(nullptr, 9, 11, 0);
    gc.LoadAnimGroup(11);
    StepEndLoading(gc);
    return 1;
}

int M8_S7(GameController& gc)
{
    gc.SetLevelNumber(8, 13);
    gc.CreateCharacterAt(48, -1, -209, szDace, false);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL8\\MG7.P2B"), -209, 0);
    gc.ResetTime();
    StepCinematic(gc, 98, -209);
    return 1;
}

int M8_S7G7_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(11);
    FreeSlots(gc, 49, 50);
    gc.DestroyMDLFile(9, true);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Rows 14 and 15: the endings

const std::initializer_list<std::pair<int, int>> kEndingCars = {{1, -166}, {2, -167}, {3, -168}, {3, -169}, {3, -170}};

void Ending(GameController& gc, int level)
{
    gc.SetLevelNumber(8, level);
    gc.SyncGridPosAt(-211, false);
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -211, szDace, false);
}

int M8_S8a_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 3, 27, 0);
    gc.LoadMDLFile(nullptr, 1, 15, 0);
    gc.LoadMDLFile(nullptr, 2, 37, 0);
    LoadCast(gc, 49, {150, 99, 128, 113, 140, 100});
    StepEndLoading(gc);
    return 1;
}

int M8_S8a(GameController& gc)
{
    Ending(gc, 14);
    for (int i = 0; i < 6; i++)
        gc.CreateCharacterAt(49 + i, -2 - i, -211, nullptr, false);
    Cars(gc, -211, kEndingCars);
    StepCinematic(gc, 99, -211);
    return 1;
}

int M8_S8a_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 1, 3);
    FreeSlots(gc, 49, 54);
    gc.CheckMemory();
    return 1;
}

int M8_S8b_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 1, 11, 0);
    gc.LoadMDLFile(nullptr, 3, 27, 0);
    gc.LoadMDLFile(nullptr, 2, 37, 0);
    StepEndLoading(gc);
    return 1;
}

int M8_S8b(GameController& gc)
{
    Ending(gc, 15);
    Cars(gc, -211, kEndingCars);
    StepCinematic(gc, 100, -211);
    return 1;
}

int M8_S8b_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 1, 3);
    gc.CheckMemory();
    return 1;
}

// ---- Row 16: the escape from the helicopter

const char szHelicopterFile[] = "KORVALIS\\DemoData\\Misc\\HELICPTR.P2B";
constexpr int kHelicopterSlot = 128;

int M8_S9G9_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {153, 143});
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {32, 25});
    gc.LoadMDLFile(szHelicopterFile, kHelicopterSlot, 0, 0);
    gc.ResetTime();
    return 1;
}

int M8_S9(GameController& gc)
{
    gc.SetTimeOfDay(22, 45, false);
    gc.SetLevelNumber(8, 16);
    gc.SyncGridPosAt(-213, false);
    gc.CreateCharacterAt(48, -1, -213, szDace, false);
    Cars(gc, -213, {{0, -166}, {1, -168}, {2, -169}});
    pobjChopper = gc.CreateObjectAt(kHelicopterSlot, -213,
                                    reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Helicopter"))));
    if (pobjChopper != nullptr)
        pobjChopper->id = -170;
    gc.SetTargetObject(-170, true);
    gc.SetEscapeMissionMode(M8_G9_EscapeParams, -1, 1);
    StepCinematic(gc, 101, -213);
    return 1;
}

// The escape's generators made the gunners -101 and -102; a gunner
// missing leaves the helicopter to fly without him.
int M8_G9(GameController& gc)
{
    gc.DestroyObject(-168);
    gc.DestroyObject(-169);
    gc.PutObjectInCar(-1, -166, 116, false);
    for (int i = 0; i < 2; i++)
        if (Enemy* gunner = AsEnemy(gc.FindById(-101 - i)))
            AttachEnemyToHelicopter(gunner, pobjChopper, i, false);
    gc.SetVehicleInitialSpeed(-166, 0.1397f);
    StartAmbientLife(gc);
    gc.ReplaceObjectID(-170, -107);
    gc.SetTargetObject(-107, true);
    gc.SetEscapeMissionMode(M8_G9_EscapeParams, 15, 2);
    return 1;
}

// The helicopter goes with the level: the pointer is not kept past it.
int M8_S9G9_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    pobjChopper = nullptr;
    FreeSlots(gc, 49, 50);
    FreeSlots(gc, 0, 2);
    gc.DestroyMDLFile(kHelicopterSlot, true);
    gc.CheckMemory();
    return 1;
}

}  // namespace

int M8_S1a01_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S1a01_Load, M8_S1a01, M8_S1a01_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_S1a02G1_Main(GameController& gc, int iEntryIndex, int)
{
    return TailThenPursuit(gc, iEntryIndex, false);
}

int M8_S1b02G1_Main(GameController& gc, int iEntryIndex, int)
{
    return TailThenPursuit(gc, iEntryIndex, true);
}

int M8_S2_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S2_Load, M8_S2, M8_S2_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_S2B_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S2_Load, M8_S2B, M8_S2_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M8_G2, TNUM_M8_G2, false,   nullptr,           M8_Driving_Load,
                                 nullptr, nullptr,    M8_G2,      nullptr, M8_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M8_S3G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M8_G3, TNUM_M8_G3,      true,   M8_S3G3_Load, nullptr,
                                 M8_S3,   nullptr,    FistFight,       M8_S3G3_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M8_S4a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S4a_Load, M8_S4a, M8_S4a_Release);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M8_G4, TNUM_M8_G4,  false,   nullptr,           M8_Driving_Load,
                                 nullptr, nullptr,    M8_G4_Drive, nullptr, M8_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

// Back from a side trip the drive does nothing, so the step goes on to its
// game at once rather than wait for a drive that never ends.
int M8_S4bG4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,  TNUM_M8_G4, TNUM_M8_G4, false,   nullptr,           M8_Driving_Load,
                                 M8_S4b, nullptr,    M8_G4,      nullptr, M8_Driving_Destroy, 8};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M8_S501_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S501_Load, M8_S501, M8_S501_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_S502G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,    TNUM_M8_G5, TNUM_M8_G5, true,              M8_S502G5_Load, nullptr,
                                 M8_S502, nullptr,    M8_G5,      M8_S502G5_Destroy, nullptr,        0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M8_S601_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S601_Load, M8_S601, M8_S601_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_S602G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M8_G6, TNUM_M8_G6, true,              M8_S602G6_Load, M8_Driving_Load,
                                 M8_S602, nullptr,    M8_G6,      M8_S602G6_Destroy, M8_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M8_S7G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M8_G7, TNUM_M8_G7, true,            M8_S7G7_Load, M8_Driving_Load,
                                 M8_S7, nullptr,    FistFight,  M8_S7G7_Destroy, M8_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M8_S8a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S8a_Load, M8_S8a, M8_S8a_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_S8b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M8_S8b_Load, M8_S8b, M8_S8b_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M8_S9G9_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false, TNUM_M8_G9, TNUM_M8_G9, true,             M8_S9G9_Load, M8_Driving_Load,
                                 M8_S9, nullptr,    M8_G9,      M8_S9G9_Destroy, M8_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
