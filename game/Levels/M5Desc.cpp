// The step functions of episode 5 and the pieces they are built from.
// Every step stores its task as the current one first.
#include "game/Levels/M5Desc.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/Levels/BonusDT.h"
#include "game/MAIN.h"

namespace {

// The car followed, shown by the tail and the pursuit.
constexpr char kTailedCar[] = "The Grey Sedan";

Construct_EnemyGenShooter_params Ambusher(u8 character, s16 id)
{
    return Construct_EnemyGenShooter_params(character, id, 13, 0, 0, 0.0f, 0, 0, 0, 1, 1, NoTrigger(), NoTrigger(), 0,
                                            0.0f, 0, 0, 100, 1.0f, 0, 0, 0, 0, 0, 0);
}

}  // namespace

EnemyGenRunner_params M5_G1_DriverParams = RunnerParams(0, -101, 0, 1, 0, 0.0f, 0.0f, 0.0f, 0.5f);
TailMissionParams M5_G1_A_TailParams = {nullptr, -203, -167, 9.375f, 300.0f, 62.5f, 300.0f, false, kTailedCar};
CarDriverParams cdpM5_G1_A = {-203};
CarDriverParams cdpM5_G1_B = {-7};
PursuitMissionParams cdpM5_G1_B_PursuitParams = {nullptr, -101, -101, 125.0f, 54.6875f, kTailedCar};
DriveToMissionParams M5_G3_DriveTo = {-206, 0, "Diner"};
CarDriverParams cdpM5_S3b = {0};
DriveToMissionParams dtmpM5G4 = {-209, 7200, "Butcher Shop"};
ShootoutMissionParams M5_G6_ShootoutParams = {1};
// Built by code at start-up.
Construct_EnemyGenShooter_params M5_G7_regsp_shooter[2] = {Ambusher(0, -101), Ambusher(1, -103)};
EnemyGenRunner_params M5_G7_regsp_driver[2] = {RunnerParams(1, -102, 8, 1, 0, 0.25f, 1.0f, 0.0f, 1.0f),
                                               RunnerParams(0, -104, 8, 1, 0, 0.25f, 1.0f, 0.0f, 1.0f)};
BadGuyGenInfo M5_G7_rbggi[4] = {{BGGT_SHOOTER, -210, &M5_G7_regsp_shooter[0]},
                                {BGGT_RUNNER, -210, &M5_G7_regsp_driver[0]},
                                {BGGT_SHOOTER, -210, &M5_G7_regsp_shooter[1]},
                                {BGGT_RUNNER, -210, &M5_G7_regsp_driver[1]}};
EscapeMissionParams M5_G7_EscapeParams = {62.5f, 300, 31.25f, 0.3125f, 4, M5_G7_rbggi};
CarDriverParams cdpM5_G7 = {-1};
DriveToMissionParams M5G8DriveTo = {-209, 0, "Butcher Shop"};

namespace {

constexpr int kBinocularsId = 4110;
constexpr int kNoteId = 4124;

// The flags of the two two-game steps: the second game was started.
int iAlternate;
int iAlternateG1;

void Interior(GameController& gc, const char* file)
{
    gc.CreateInteriorAt(StepFile(file), -1, 0);
}

void Begin(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
}

// Characters at a placeholder, without kind names.
void Cast(GameController& gc, int ph, std::initializer_list<std::pair<int, int>> cast)
{
    for (const auto& c : cast)
        gc.CreateCharacterAt(c.first, c.second, ph, nullptr, false);
}

// Cars from slots first.. as ids -166.. at a placeholder.
void Cars(GameController& gc, int ph, int n)
{
    for (int i = 0; i < n; i++)
        gc.CreateVehicleAt(i, -166 - i, ph, false);
}

void Destroy(GameController& gc, std::initializer_list<int> ids)
{
    for (int id : ids)
        gc.DestroyObject(id);
}

int DrivingWithCar(GameController& gc)
{
    return M5_Driving_Load(gc, true);
}

void Booked(GameController& gc, int flag, bool report)
{
    if (flag)
        gc.iMissionRet += 2;
    if (report)
        ReportTask(gc, TNUM_M5_G1, gc.iMissionRet);
}

// ---- Rows 1 to 3: the tail, and the pursuit when it goes wrong

int M5_S1a_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 49, 145, 0);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 1, 37, 0);
    gc.LoadMDLFile(nullptr, 2, 24, 0);
    gc.LoadMDLFile(nullptr, 3, 16, 0);
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\BINOCULR.P2B", 128, 0, 0);
    gc.ResetTime();
    return 1;
}

int M5_S1a_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(128, true);
    gc.DestroyMDLFile(49, true);
    gc.CheckMemory();
    return 1;
}

int M5_S1a(GameController& gc)
{
    gc.SetLevelNumber(5, 0);
    gc.SyncGridPosAt(-200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, false);
    gc.CreateEnemyRunnerGen(&M5_G1_DriverParams);
    gc.CreateVehicleAt(0, -166, -200, false);
    // The car followed keeps its full model out to a thousand times its
    // usual distance: it must not change shape in the player's sight.
    if (Object* car = gc.CreateVehicleAt(1, -167, -200, false))
        if (car->geom != nullptr && car->geom->lowresgeom != nullptr)
            car->SetLowresGeomHierarchy(car->geom->lowresdist * 1000.0f);
    gc.CreateVehicleAt(2, -168, -200, false);
    gc.CreateVehicleAt(3, -169, -200, false);
    if (Object* b = gc.CreateObjectAt(128, -200, nullptr))
        b->id = kBinocularsId;
    gc.SetTailMissionMode(M5_G1_A_TailParams, -1, 1);
    gc.CreateCinematicAt(49, -200);
    gc.EndLoading();
    return 1;
}

int M5_S1bG1_Load(GameController& gc)
{
    gc.SetLevelNumber(5, 1);
    gc.SyncGridPosAt(-201, false);
    gc.CreateVehicleAt(0, -166, -201, false);
    gc.CreateCharacterAt(48, -1, -201, szDace, false);
    gc.CreateEnemyRunnerGen(&M5_G1_DriverParams);
    gc.CreateVehicleAt(1, -167, -202, false);
    gc.SetTailMissionMode(M5_G1_A_TailParams, -1, 1);
    return 1;
}

int M5_G1_A(GameController& gc)
{
    Destroy(gc, {kBinocularsId, -168, -169});
    gc.SetLevelNumber(5, 0);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.PutObjectInCar(-101, -167, 116, false);
    gc.CreateAICarDriver(-102, -167, 8, cdpM5_G1_A);
    gc.SetVehicleInitialSpeed(-166, 0.002328333f);
    gc.SetVehicleInitialSpeed(-167, 0.1397f);
    StartAmbientLife(gc);
    gc.SetTailMissionMode(M5_G1_A_TailParams, 5, 2);
    return 1;
}

int M5_G1_B(GameController& gc)
{
    gc.CreateAICarDriver(-102, -167, 4, cdpM5_G1_B);
    gc.SetPursuitMissionMode(cdpM5_G1_B_PursuitParams, 20, 0, true);
    return 1;
}

int M5_S1b_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 49, 145, 0);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 7, 27, 0);
    gc.LoadMDLFile(nullptr, 1, 37, 0);
    return 1;
}

int M5_S1b(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(5, 1);
    Cast(gc, -1, {{48, -1}, {49, -2}});
    Cars(gc, -1, 2);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL5\\DOJOS1B.P2B");
    gc.CreateCinematicAt(50, -1);
    gc.EndLoading();
    return 1;
}

int M5_S1b_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    for (int slot : {49, 0, 1, 7})
        gc.DestroyMDLFile(slot, true);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Rows 4 and 5: the house

int M5_S201_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    const int cars[][2] = {{7, 27}, {1, 37}, {2, 34}, {3, 18}};
    for (const auto& c : cars)
        gc.LoadMDLFile(nullptr, c[0], c[1], 0);
    gc.ResetTime();
    gc.EndLoading();
    return 1;
}

int M5_S201(GameController& gc)
{
    gc.SetLevelNumber(5, 3);
    gc.SyncGridPosAt(-203, false);
    Cast(gc, -203, {{48, -1}});
    Cars(gc, -203, 4);
    gc.CreateCinematicAt(51, -203);
    gc.SetTimeOfDay(1, 0, false);
    return 1;
}

int M5_S201_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 0, 3);
    gc.DestroyMDLFile(7, true);
    return 1;
}

int M5_S202G2_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {94, 93, 139, 130});
    gc.LoadAnimGroup(13);
    gc.LoadAnimGroup(14);
    return 1;
}

int M5_S202(GameController& gc)
{
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL5\\RDHSEG2.P2B");
    gc.CreateCinematicAt(52, -1);
    gc.EndLoading();
    return 1;
}

int M5_G2(GameController& gc)
{
    gc.SetLevelNumber(5, 4);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M5_S202G2_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(14);
    gc.DestroyAnimGroup(13);
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Rows 6 and 7: to the diner

int M5_S3a_Load(GameController& gc)
{
    gc.LoadMDLFile(nullptr, 1, 29, 10);
    gc.LoadMDLFile(nullptr, 2, 18, 10);
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\NOTE.P2B", 128, 0, 0);
    return 1;
}

int M5_S3a_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(128, true);
    gc.CleanupLevel();
    return 1;
}

int M5_S3a(GameController& gc)
{
    gc.SetLevelNumber(5, 5);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-203, false);
    gc.CreateCharacterAt(48, -1, -203, szDace, true);
    gc.CreateVehicleAt(0, -166, -203, true);
    gc.CreateVehicleAt(1, -168, -203, true);
    gc.CreateVehicleAt(2, -169, -203, true);
    if (Object* note = gc.CreateObjectAt(128, -203, nullptr))
        note->id = kNoteId;
    gc.CreateCinematicAt(53, -203);
    gc.EndLoading();
    return 1;
}

int M5_G3(GameController& gc)
{
    Destroy(gc, {-168, -169, kNoteId});
    gc.SetLevelNumber(5, 5);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.SetVehicleInitialSpeed(-166, 0.09313334f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M5_G3_DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

// The drive under the phone call.  It asks for the loading screen again
// at its end; the script's run closes it when the step returns.
int M5_S3b(GameController& gc)
{
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(5, 6);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-205, false);
    gc.CreateCharacterAt(48, -1, -205, szDace, false);
    gc.CreateVehicleAt(0, -166, -205, false);
    gc.PutObjectInCar(-1, -166, 116, false);
    gc.CreateAICarDriver(-5, -166, 5, cdpM5_S3b);
    StartAmbientLife(gc);
    gc.SetCineDriveMode(-1, 7);
    gc.StartLoading();
    return 1;
}

int M5_S3bLate(GameController& gc)
{
    gc.SetTimeOfDay(1, 40, false);
    return M5_S3b(gc);
}

// ---- Rows 8 to 10: to the butcher shop

int M5_S401_Load(GameController& gc)
{
    gc.SetTimeOfDay(0, 40, false);
    Begin(gc);
    gc.LoadMDLFile(nullptr, 49, 145, 0);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    const int cars[][2] = {{7, 27}, {1, 37}, {2, 23}, {3, 8}};
    for (const auto& c : cars)
        gc.LoadMDLFile(nullptr, c[0], c[1], 0);
    return 1;
}

int M5_S401(GameController& gc)
{
    gc.SetLevelNumber(5, 7);
    gc.SyncGridPosAt(-207, false);
    Cast(gc, -207, {{48, -1}, {49, -2}});
    Cars(gc, -207, 4);
    gc.ResetTime();
    gc.CreateCinematicAt(55, -207);
    gc.EndLoading();
    return 1;
}

int M5_S401_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(49, true);
    FreeSlots(gc, 0, 3);
    gc.DestroyMDLFile(7, true);
    return 1;
}

int M5_S402_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {145, 111, 95, 116});
    return 1;
}

int M5_S402(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(5, 8);
    Cast(gc, -1, {{48, -1}, {49, -2}, {50, -3}, {51, -4}, {52, -5}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL5\\DINERS4.P2B");
    gc.CreateCinematicAt(56, -1);
    gc.EndLoading();
    return 1;
}

int M5_S402_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    return 1;
}

// Two minutes on the clock; no street crimes on the way.
int M5_G4(GameController& gc)
{
    gc.SetTimeOfDay(2, 20, false);
    gc.SetLevelNumber(5, 9);
    gc.SyncGridPosAt(-208, false);
    gc.CreateCharacterAt(48, -1, -208, szDace, false);
    gc.CreateVehicleAt(0, 65, -208, false);
    gc.PutObjectInCar(-1, 65, 116, false);
    gc.SetVehicleInitialSpeed(65, 0.1397f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(dtmpM5G4, 10, false);
    gc.EndLoading();
    return 1;
}

// ---- Rows 11 and 12: the fight and the shoot-out in the shop

int M5_S5G5_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {69, 80});
    gc.LoadAnimGroup(10);
    gc.LoadAnimGroup(14);
    return 1;
}

int M5_S5(GameController& gc)
{
    gc.SetLevelNumber(5, 10);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(49, -2, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL5\\BSHOPG5.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(57, -1);
    gc.EndLoading();
    return 1;
}

int M5_G5(GameController& gc)
{
    gc.DestroyObject(-2);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M5_S5G5_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(14);
    gc.DestroyAnimGroup(10);
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M5_S6G6_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {69, 80, 79});
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\CARCASSA.P2B", 128, 0, 0);
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\CARCASSB.P2B", 129, 0, 0);
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\ICEBODY.P2B", 130, 0, 0);
    return 1;
}

int M5_S6(GameController& gc)
{
    gc.SetLevelNumber(5, 11);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(49, -2, -1, szShooterEnemy, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL5\\BSHOPBG6.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(58, -1);
    gc.EndLoading();
    return 1;
}

int M5_G6(GameController& gc)
{
    gc.DestroyObject(-2);
    gc.SetShootoutMissionMode(M5_G6_ShootoutParams, 30);
    return 1;
}

int M5_S6G6_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    FreeSlots(gc, 128, 130);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Rows 13 and 14: the ambush

int M5_S701_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {98, 145});
    return 1;
}

int M5_S701(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(5, 12);
    Cast(gc, -1, {{48, -1}, {49, -2}, {50, -5}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL5\\BFSHOPS7.P2B");
    gc.CreateCinematicAt(59, -1);
    gc.EndLoading();
    return 1;
}

int M5_S701_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M5_S702_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {80, 78, 98});
    LoadCast(gc, 0, {18, 23, 8});
    return 1;
}

int M5_S702(GameController& gc)
{
    gc.SetLevelNumber(5, 13);
    gc.SyncGridPosAt(-210, false);
    gc.CreateCharacterAt(48, -1, -210, szDace, false);
    Cast(gc, -210, {{51, -2}});
    Cars(gc, -210, 3);
    gc.SetEscapeMissionMode(M5_G7_EscapeParams, -1, 1);
    gc.CreateCinematicAt(60, -210);
    gc.EndLoading();
    return 1;
}

// Two to a car: the player and his partner, and each generator pair.
int M5_G7(GameController& gc)
{
    const int seats[][2] = {{-1, -166}, {-2, -166}, {-101, -167}, {-102, -167}, {-103, -168}, {-104, -168}};
    for (int i = 0; i < 6; i++)
        gc.PutObjectInCar(seats[i][0], seats[i][1], i % 2 == 0 ? 116 : 117, false);
    gc.SetVehicleInitialSpeed(-166, 0.1397f);
    gc.SetVehicleInitialSpeed(-167, 0.04656667f);
    gc.SetVehicleInitialSpeed(-168, 0.04656667f);
    gc.CreateAICarDriver(-4, -167, 9, cdpM5_G7);
    gc.CreateAICarDriver(-5, -168, 9, cdpM5_G7);
    StartAmbientLife(gc);
    gc.SetTargetObject(-167, true);
    gc.SetEscapeMissionMode(M5_G7_EscapeParams, 15, 2);
    return 1;
}

int M5_S702_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    FreeSlots(gc, 0, 2);
    return 1;
}

// ---- Rows 15 and 16: back to the shop in the rain

int M5_S8_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 49, 145, 0);
    return 1;
}

int M5_S8(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(5, 12);
    Cast(gc, -1, {{48, -1}, {49, -2}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL5\\RDHSES8.P2B");
    gc.CreateCinematicAt(61, -1);
    gc.EndLoading();
    return 1;
}

int M5_S8_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(49, true);
    gc.DestroyInterior(true);
    return 1;
}

int M5_G8(GameController& gc)
{
    gc.SetTimeOfDay(1, 10, false);
    gc.EnableRain(0.5f);
    gc.SetLevelNumber(5, 15);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-208, false);
    gc.CreateCharacterAt(48, -1, -208, szDace, true);
    gc.CreateVehicleAt(0, 65, -208, true);
    gc.PutObjectInCar(-1, 65, 116, false);
    gc.SetVehicleInitialSpeed(65, 0.1397f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M5G8DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

}  // namespace

int M5_Driving_Load(GameController& gc, bool bLoadCar)
{
    return LoadDrivingSet(gc, false, bLoadCar);
}

int M5_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

// Two games that book nothing: the tail, and when it ends undecided the
// pursuit, whose result is raised by 2 so the row's secondary jumps apply.
int M5_S1aG1_Main(GameController& gc, int iEntryIndex, int)
{
    switch (iEntryIndex) {
    case 0:
        gc.CurrentTaskNumber = TNUM_M5_G1;
        iAlternate = 0;
        M5_S1a_Load(gc);
        M5_Driving_Load(gc, true);
        gc.SetTimeOfDay(0, 40, false);
        M5_S1a(gc);
        return 1;
    case 1:
        M5_G1_A(gc);
        return 2;
    case 2:
        if (gc.iMissionRet == 0) {
            iAlternate = 1;
            M5_G1_B(gc);
            return 3;
        }
        [[fallthrough]];
    case 3:
        M5_S1a_Destroy(gc);
        M5_Driving_Destroy(gc);
        Booked(gc, iAlternate, false);
        return -1;
    default:
        return 0;
    }
}

int M5_S1b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M5_G1, TNUM_M5_G1, false, M5_S1b_Load, nullptr, M5_S1b, nullptr,
                                 nullptr, M5_S1b_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// The same two games started at once, and booked.
int M5_G1_Main(GameController& gc, int iEntryIndex, int)
{
    switch (iEntryIndex) {
    case 0:
        gc.CurrentTaskNumber = TNUM_M5_G1;
        iAlternateG1 = 0;
        M5_S1a_Load(gc);
        M5_Driving_Load(gc, true);
        gc.SetTimeOfDay(0, 40, false);
        M5_S1bG1_Load(gc);
        M5_G1_A(gc);
        return 1;
    case 1:
        if (gc.iMissionRet == 0) {
            iAlternateG1 = 1;
            M5_G1_B(gc);
            return 2;
        }
        [[fallthrough]];
    case 2:
        M5_S1a_Destroy(gc);
        M5_Driving_Destroy(gc);
        Booked(gc, iAlternateG1, true);
        return -1;
    default:
        return 0;
    }
}

int M5_S201_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M5_G2, TNUM_M5_G2, false, M5_S201_Load, nullptr, M5_S201, nullptr,
                                 nullptr, M5_S201_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M5_S202G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M5_G2, TNUM_M5_G2, true, M5_S202G2_Load, nullptr, M5_S202, nullptr,
                                 M5_G2, M5_S202G2_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M5_S3aG3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M5_G3, TNUM_M5_G3, true, M5_S3a_Load, DrivingWithCar, M5_S3a, nullptr,
                                 M5_G3, M5_S3a_Destroy, M5_Driving_Destroy, 0};
    if (iEntryIndex == 0) {
        // The diner's hour before the scene is built.
        gc.CurrentTaskNumber = TNUM_M5_G3;
        M5_S3a_Load(gc);
        M5_Driving_Load(gc, true);
        gc.SetTimeOfDay(1, 40, false);
        M5_S3a(gc);
        if (gc.iFlags & GCF_SIDETRIP_RUNNING) {
            M5_G3(gc);
            return 2;
        }
        return gc.i8Loop == 2 ? 2 : 1;
    }
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M5_S3bG3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M5_G3, TNUM_M5_G3, false, nullptr, DrivingWithCar, M5_S3bLate, nullptr,
                                 M5_G3, nullptr, M5_Driving_Destroy, kSceneStartsDrive};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M5_S401_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M5_G4, TNUM_M5_G4, false, M5_S401_Load, nullptr, M5_S401, nullptr,
                                 nullptr, M5_S401_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M5_S402_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M5_G4, TNUM_M5_G4, false, M5_S402_Load, nullptr, M5_S402, nullptr,
                                 nullptr, M5_S402_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M5_G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M5_G4, TNUM_M5_G4, false, nullptr, DrivingWithCar, nullptr, nullptr,
                                 M5_G4, nullptr, M5_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M5_S5G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M5_G5, TNUM_M5_G5, true, M5_S5G5_Load, nullptr, M5_S5, nullptr,
                                 M5_G5, M5_S5G5_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M5_S6G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M5_G6, TNUM_M5_G6, true, M5_S6G6_Load, nullptr, M5_S6, nullptr,
                                 M5_G6, M5_S6G6_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M5_S701_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M5_G7, TNUM_M5_G7, false, M5_S701_Load, nullptr, M5_S701, nullptr,
                                 nullptr, M5_S701_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// The escape starts only when the ambush's cinematic ended without a
// result; slot 0 holds the player's borrowed car, so his own is not loaded.
int M5_S702G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        gc.CurrentTaskNumber = TNUM_M5_G7;
        M5_S702_Load(gc);
        M5_Driving_Load(gc, false);
        gc.SetTimeOfDay(3, 35, false);
        M5_S702(gc);
        return gc.i8Loop == 2 ? 2 : 1;
    case 1:
        if (iSuccess == 0) {
            M5_G7(gc);
            return 2;
        }
        [[fallthrough]];
    case 2:
        if (gc.i8Loop == 2)
            gc.CleanupLevel();
        M5_S702_Destroy(gc);
        M5_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M5_G7, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M5_S8_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M5_G8, TNUM_M5_G8, false, M5_S8_Load, nullptr, M5_S8, nullptr,
                                 nullptr, M5_S8_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M5_G8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M5_G8, TNUM_M5_G8, false, nullptr, DrivingWithCar, nullptr, nullptr,
                                 M5_G8, nullptr, M5_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}
