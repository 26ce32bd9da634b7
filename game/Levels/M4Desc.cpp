// The step functions of episode 4 and the pieces they are built from.
// Every step stores its task as the current one first.
#include "game/Levels/M4Desc.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/Levels/BonusDT.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/TunnelGrate.h"

DriveToMissionParams M4_G1_DriveTo = {-203, 0, "Biker Hangout"};
EnemyGenRunner_params M4_S3_DriverParams = RunnerParams(8, -101, 1, 1, 1, 0.5f, 0.1f, 0.5f, 0.5f);
PursuitMissionParams M4_S3_DrivingPursuitParams = {&M4_S3_DriverParams, -101, -167, 125.0f, 54.6875f, "Talvern"};
CarDriverParams cdpM4_G3 = {-12};
CarDriverParams cdpM4_G4 = {0};
DriveToMissionParams M4_G4_DriveTo = {-207, 0, "The Gulag"};
InfiltrateMissionParams M4_G5_InfiltrateParams = {"The Gulag Club"};
ShootoutMissionParams M4_G6_ShootoutParams = {1};
DriveToMissionParams M4G7DriveTo = {-211, 5400, "Tovin's Dojo"};

namespace {

constexpr int kLiftId = 4224;
constexpr int kBinocularsId = 4110;
// How far the car on the lift sits above the lift's own origin.
constexpr float kLiftCarRaise = 0.2890625f;

void Interior(GameController& gc, const char* file)
{
    gc.CreateInteriorAt(StepFile(file), -1, 0);
}

void Begin(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
}

// The cast of a cinematic at placeholder -1, without kind names.
void Cast(GameController& gc, std::initializer_list<std::pair<int, int>> cast)
{
    for (const auto& c : cast)
        gc.CreateCharacterAt(c.first, c.second, -1, nullptr, false);
}

void Destroy(GameController& gc, std::initializer_list<int> ids)
{
    for (int id : ids)
        gc.DestroyObject(id);
}

// The player in his car at start, both kept over a side trip, rolling.
void PlayerInCar(GameController& gc, int start, int car, bool bOffOnResume)
{
    gc.SyncGridPosAt(start, false);
    gc.CreateCharacterAt(48, -1, start, szDace, bOffOnResume);
    gc.CreateVehicleAt(0, car, start, bOffOnResume);
    gc.PutObjectInCar(-1, car, 116, false);
}

// ---- Rows 1, 4, 7, 12 and 13: the briefings on the end-of-day set

int M4_S1a_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 50, {99, 128});
    return 1;
}

int M4_S1a(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(4, 0);
    Cast(gc, {{48, -1}, {50, -3}, {51, -4}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(36, -1);
    gc.EndLoading();
    return 1;
}

int M4_S1a_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M4_S201_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {149, 99, 95});
    return 1;
}

int M4_S201(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(4, 3);
    Cast(gc, {{49, -2}, {50, -3}, {51, -5}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(38, -1);
    gc.EndLoading();
    return 1;
}

int M4_S201_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

int M4_S4a_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {129, 128});
    return 1;
}

int M4_S4a(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(4, 6);
    Cast(gc, {{48, -1}, {49, -101}, {50, -4}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(41, -1);
    gc.EndLoading();
    return 1;
}

int M4_S4a_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M4_S7_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {147, 162, 143});
    return 1;
}

int M4_S7(GameController& gc, int level, int cinematic)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(4, level);
    Cast(gc, {{48, -1}, {49, -101}, {50, -102}, {51, -103}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL4\\NCLUBOG7.P2B");
    gc.CreateCinematicAt(cinematic, -1);
    gc.EndLoading();
    return 1;
}

int M4_S7a(GameController& gc)
{
    return M4_S7(gc, 11, 45);
}

int M4_S7b(GameController& gc)
{
    return M4_S7(gc, 12, 46);
}

int M4_S7_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Rows 2 and 3: the drive to the hangout

int M4_G1_Load(GameController&)
{
    return 1;
}

// From the second spot when the drive is set up again after an earlier one.
int M4_G1(GameController& gc, bool bInitDriving)
{
    const int start = bInitDriving ? -202 : -201;
    gc.SetLevelNumber(4, 2);
    gc.bEnableImpoundLots = true;
    PlayerInCar(gc, start, -166, true);
    gc.SetVehicleInitialSpeed(-166, 0.09313334f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M4_G1_DriveTo, 45, false);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

int M4_G1Noon(GameController& gc)
{
    gc.SetTimeOfDay(12, 0, false);
    gc.iTODVel = 30;
    return M4_G1(gc, false);
}

// ---- Row 5: the workshop fight

int M4_S202G2_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {87, 146, 130, 129});
    gc.LoadMDLFile(nullptr, 1, 26, 0);
    gc.LoadAnimGroup(13);
    gc.LoadAnimGroup(14);
    gc.ResetTime();
    return 1;
}

int M4_S202(GameController& gc)
{
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(52, -2, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL4\\AUTOSHG2.P2B");
    CreateCarLift(gc);
    gc.CreateCinematicAt(39, -1);
    gc.EndLoading();
    return 1;
}

int M4_G2(GameController& gc)
{
    gc.SetLevelNumber(4, 4);
    gc.DestroyObject(-2);
    gc.SetFightMissionMode(nullptr, 46);
    return 1;
}

int M4_S2_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(14);
    gc.DestroyAnimGroup(13);
    FreeSlots(gc, 49, 52);
    gc.DestroyMDLFile(1, true);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Row 6: the pursuit of the biker's car

int M4_S3G3_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadMDLFile(nullptr, 1, 11, 0);
    gc.LoadMDLFile(nullptr, 57, 129, 0);
    gc.ResetTime();
    return 1;
}

// The pursuit is set up during the cinematic (start mode 1) and started by
// the game.
int M4_S3(GameController& gc)
{
    gc.SetLevelNumber(4, 5);
    gc.SyncGridPosAt(-203, false);
    gc.CreateCharacterAt(48, -1, -203, szDace, false);
    gc.CreateVehicleAt(0, -166, -203, false);
    gc.CreateVehicleAt(1, -167, -203, false);
    gc.SetPursuitMissionMode(M4_S3_DrivingPursuitParams, -1, 1, false);
    gc.CreateCinematicAt(40, -203);
    gc.EndLoading();
    return 1;
}

// The player starts on foot beside his car; the pedestrians come in over
// time, none at once.
int M4_G3(GameController& gc)
{
    gc.iTODVel = 12;
    gc.SetLevelNumber(4, 5);
    gc.PutObjectInCar(-101, -167, 116, false);
    gc.SetVehicleInitialSpeed(-167, 0.116416655f);
    gc.CreateMasterPedestrianGenerator(80, 100, 5, 8, true);
    gc.CreateMasterVehicleGenerator(1, 100, 5, 14);
    gc.CreateAICarDriver(-102, -167, 4, cdpM4_G3);
    gc.SetPursuitMissionMode(M4_S3_DrivingPursuitParams, 47, 2, false);
    gc.StartCurrentMission();
    return 1;
}

int M4_S3G3_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    gc.DestroyMDLFile(57, true);
    gc.DestroyMDLFile(1, true);
    gc.CheckMemory();
    return 1;
}

// ---- Rows 8 and 9: to the club, driven under a phone call or alone

int M4_S4b(GameController& gc)
{
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(4, 7);
    gc.bEnableImpoundLots = true;
    PlayerInCar(gc, -205, 65, true);
    gc.CreateAICarDriver(-5, 65, 5, cdpM4_G4);
    StartAmbientLife(gc);
    gc.SetCineDriveMode(-1, 6);
    gc.EndLoading();
    return 1;
}

int M4_G4(GameController& gc)
{
    gc.SetDriveToMissionMode(M4_G4_DriveTo, 48, true);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

int M4_S4bEvening(GameController& gc)
{
    gc.SetTimeOfDay(20, 30, false);
    return M4_S4b(gc);
}

int M4_G4Night(GameController& gc)
{
    gc.iTODVel = 12;
    return M4_G4(gc);
}

int M4_G4_Load(GameController& gc)
{
    gc.SetLevelNumber(4, 8);
    gc.bEnableImpoundLots = true;
    PlayerInCar(gc, -206, -166, true);
    gc.SetVehicleInitialSpeed(-166, 0.09313334f);
    StartAmbientLife(gc);
    gc.EndLoading();
    return 1;
}

int M4_G4Evening(GameController& gc)
{
    M4_G4_Load(gc);
    gc.SetTimeOfDay(20, 30, false);
    gc.iTODVel = 12;
    return M4_G4(gc);
}

// ---- Row 10: into the club

int M4_S5G5_Load(GameController& gc)
{
    Begin(gc);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    const int cars[][2] = {{7, 27}, {5, 37}, {1, 7}, {2, 8}, {3, 21}, {4, 25}};
    for (const auto& c : cars)
        gc.LoadMDLFile(nullptr, c[0], c[1], 0);
    LoadCast(gc, 49, {162, 143, 151, 145, 158, 114});
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\BINOCULR.P2B", 128, 0, 0);
    gc.LoadAnimGroup(4);
    gc.LoadAnimGroup(9);
    gc.ResetTime();
    return 1;
}

int M4_S5(GameController& gc)
{
    gc.SetLevelNumber(4, 9);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Cast(gc, {{50, -3}, {51, -4}, {52, -5}, {53, -6}, {54, -7}});
    gc.CreateVehicleAt(0, -166, -1, false);
    gc.CreateVehicleAt(5, -167, -1, false);
    if (Object* b = gc.CreateObjectAt(128, -1, nullptr))
        b->id = kBinocularsId;
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL4\\MG5.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(43, -1);
    gc.EndLoading();
    return 1;
}

int M4_G5(GameController& gc)
{
    Destroy(gc, {-5, -6, -7, -166, -167, -168, -169, -170, kBinocularsId});
    FreeSlots(gc, 52, 54);
    gc.SetInfiltrateMissionMode(M4_G5_InfiltrateParams, 49);
    return 1;
}

int M4_S5_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(4);
    gc.DestroyAnimGroup(9);
    FreeSlots(gc, 49, 54);
    FreeSlots(gc, 0, 5);
    gc.DestroyMDLFile(7, true);
    gc.DestroyMDLFile(128, true);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Row 11: the shoot-out in the club

int M4_S6G6_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {162, 143, 118, 126, 158, 114});
    return 1;
}

int M4_S6(GameController& gc)
{
    gc.SetLevelNumber(4, 10);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Cast(gc, {{52, -4}, {53, -5}, {54, -6}, {51, -7}});
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL4\\NCLUBG6.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(44, -1);
    gc.EndLoading();
    return 1;
}

int M4_G6(GameController& gc)
{
    Destroy(gc, {4120, 4147, -4, -5, -6, -7});
    gc.SetShootoutMissionMode(M4_G6_ShootoutParams, 50);
    return 1;
}

int M4_S6G6_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 54);
    gc.DestroyInterior(true);
    return 1;
}

// ---- Row 14: the timed night drive to the dojo

int M4_G7_Load(GameController&)
{
    return 1;
}

// Ninety seconds on the clock; no street crimes on the way.
int M4_G7(GameController& gc)
{
    gc.SetTimeOfDay(23, 0, false);
    gc.iTODVel = 12;
    gc.SetLevelNumber(4, 13);
    PlayerInCar(gc, -210, -166, false);
    gc.SetVehicleInitialSpeed(-166, 0.09313334f);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M4G7DriveTo, 51, false);
    return 1;
}

// ---- Rows 15 and 16: the dojo fight and the last fight

int M4_S8G8_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {109, 153, 85});
    for (int group : {10, 12, 14})
        gc.LoadAnimGroup(group);
    return 1;
}

int M4_S8(GameController& gc)
{
    gc.SetLevelNumber(4, 14);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL4\\DOJOG8.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(47, -1);
    gc.EndLoading();
    return 1;
}

int M4_G8(GameController& gc)
{
    Destroy(gc, {4101, 4123, 4149});
    gc.SetFightMissionMode(nullptr, 52);
    return 1;
}

int M4_S8G8_Destroy(GameController& gc)
{
    for (int group : {14, 12, 10})
        gc.DestroyAnimGroup(group);
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

int M4_S9G9_Load(GameController& gc)
{
    Begin(gc);
    LoadCast(gc, 49, {162, 143, 118});
    gc.LoadMDLFile(nullptr, 7, 27, 0);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {37, 7, 8, 21, 25});
    for (int group : {10, 13, 12})
        gc.LoadAnimGroup(group);
    return 1;
}

int M4_S9(GameController& gc)
{
    gc.SetLevelNumber(4, 15);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\LEVEL4\\MG9.P2B");
    gc.ResetTime();
    gc.CreateCinematicAt(48, -1);
    gc.EndLoading();
    return 1;
}

int M4_G9(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 53);
    return 1;
}

int M4_S9_Destroy(GameController& gc)
{
    for (int group : {12, 13, 10})
        gc.DestroyAnimGroup(group);
    FreeSlots(gc, 49, 54);
    FreeSlots(gc, 0, 5);
    gc.DestroyMDLFile(7, true);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

}  // namespace

int M4_Driving_Load(GameController& gc)
{
    return MBonus_Driving_Load(gc);
}

int M4_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

int CreateCarLift(GameController&)
{
    Object* o = world.Find(kLiftId);
    if (o == nullptr)
        return 0;
    auto* lift = reinterpret_cast<CarLift*>(intptr_t(CarLift_mh(nullptr, OM_CREATE, o->mdlfile)));
    if (lift == nullptr)
        return 0;
    if (o->mdlfile != nullptr)
        o->mdlfile->GetHierarchyTo(lift, o->index, GH_ANIMATE | GH_NODEMATRIX);
    lift->id = o->id;
    lift->mat = o->GetWorldMatrix();
    world.AddObject(lift, nullptr);
    lift->ModifyCollisionMaskHierarchy(257, 0);
    o->Detach();
    world.RemoveObject(o);

    Object* car = world.Find(OBJT_VEHICLE);
    if (car == nullptr)
        return 0;
    // The car rides in the lift's frame, resting on its platform.
    car->mat = car->mat / lift->mat;
    car->mat.w[1] -= kLiftCarRaise;
    lift->Attach(car);
    lift->CalcRadius();
    lift->InitialiseChildCollisions();
    lift->flags &= ~unsigned(OBJF_SHADOW);
    car->flags &= ~unsigned(OBJF_SHADOW);
    world.objectlist.Remove(car);
    return 0;
}

int M4_S1a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M4_G1, TNUM_M4_G1, false, M4_S1a_Load, nullptr, M4_S1a, nullptr,
                                 nullptr, M4_S1a_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M4_G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G1, TNUM_M4_G1, false, M4_G1_Load, M4_Driving_Load, nullptr,
                                 nullptr, M4_G1Noon, nullptr, M4_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S201_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M4_G2, TNUM_M4_G2, false, M4_S201_Load, nullptr, M4_S201, nullptr,
                                 nullptr, M4_S201_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M4_S202G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G2, TNUM_M4_G2, true, M4_S202G2_Load, nullptr, M4_S202, nullptr,
                                 M4_G2, M4_S2_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S3G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G3, TNUM_M4_G3, true, M4_S3G3_Load, M4_Driving_Load, M4_S3, nullptr,
                                 M4_G3, M4_S3G3_Destroy, M4_Driving_Destroy, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S4a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M4_G4, TNUM_M4_G4, false, M4_S4a_Load, nullptr, M4_S4a, nullptr,
                                 nullptr, M4_S4a_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// The drive under the phone call; back from a side trip the call does not
// play again (the drive mode does nothing then), so the drive to the club
// starts in the same call instead of waiting for a call that never ends.
int M4_G4b_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G4, TNUM_M4_G4, false, nullptr, M4_Driving_Load, M4_S4bEvening,
                                 nullptr, M4_G4Night, nullptr, M4_Driving_Destroy, kSceneStartsDrive};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M4_G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G4, TNUM_M4_G4, false, nullptr, M4_Driving_Load, nullptr, nullptr,
                                 M4_G4Evening, nullptr, M4_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S5G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G5, TNUM_M4_G5, true, M4_S5G5_Load, nullptr, M4_S5, nullptr,
                                 M4_G5, M4_S5_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S6G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G6, TNUM_M4_G6, true, M4_S6G6_Load, nullptr, M4_S6, nullptr,
                                 M4_G6, M4_S6G6_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S7a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M4_G7, TNUM_M4_G7, false, M4_S7_Load, nullptr, M4_S7a, nullptr,
                                 nullptr, M4_S7_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M4_S7b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {true, TNUM_M4_G7, TNUM_M4_G7, false, M4_S7_Load, nullptr, M4_S7b, nullptr,
                                 nullptr, M4_S7_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M4_G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G7, TNUM_M4_G7, false, M4_G7_Load, M4_Driving_Load, nullptr,
                                 nullptr, M4_G7, nullptr, M4_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S8G8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G8, TNUM_M4_G8, true, M4_S8G8_Load, nullptr, M4_S8, nullptr,
                                 M4_G8, M4_S8G8_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M4_S9G9_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {true, TNUM_M4_G9, TNUM_M4_G9, true, M4_S9G9_Load, nullptr, M4_S9, nullptr,
                                 M4_G9, M4_S9_Destroy, nullptr, 0};
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
