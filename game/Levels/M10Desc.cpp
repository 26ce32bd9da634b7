// The step functions of episode 10 and the pieces they are built from.  Its
// steps leave the current task number alone.
#include "game/Levels/M10Desc.h"

#include "game/BadGuy.h"
#include "game/Levels/BonusDT.h"

namespace {

EnemyGenRunner_params Gunman(s16 id)
{
    EnemyGenRunner_params p{};
    p.character = 4;
    p.id = id;
    p.weapon = 1;
    p.caronly = 1;
    p.shoot = 0.5f;
    p.init_strength = 100;
    p.badass = 0.75f;
    return p;
}

}  // namespace

DriveToMissionParams M10G1DriveTo = {-202, 0, "Airport"};
CarDriverParams cdpM10_G1 = {0};
EnemyGenRunner_params M10_S2_DriverParams = Gunman(-101);
EnemyGenRunner_params M10_S2_RunnerParams[2] = {Gunman(-102), Gunman(-103)};
PursuitMissionParams M10_S2_DrivingPursuitParams = {&M10_S2_DriverParams, -101, -202, 125.0f, 54.6875f, "Truck"};
BadGuyGenInfo M10_G2_rbggi[2] = {{BGGT_RUNNER, -202, &M10_S2_RunnerParams[0]},
                                 {BGGT_RUNNER, -202, &M10_S2_RunnerParams[1]}};
CarDriverParams cdpM10_G2 = {-205};
DriveToMissionParams M10_G3_RaceTo = {-206, 5400, "Downtown Bank"};
ShootoutMissionParams M10_G4_ShootoutParams = {1};
ShootoutMissionParams M10G5SniperParams = {1};
ShootoutMissionParams M10G6ShootoutParams = {1};
ShootoutMissionParams M10G9SniperParams = {1};

int M10_Driving_Load(GameController& gc)
{
    return MBonus_Driving_Load(gc);
}

int M10_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

namespace {

void Destroy(GameController& gc, std::initializer_list<int> ids)
{
    for (int id : ids)
        gc.DestroyObject(id);
}

// A police car with its siren on from the first frame.
void SirenCar(GameController& gc, int slot, int id, int ph)
{
    Object* car = gc.CreateVehicleAt(slot, id, ph, false);
    if (car != nullptr && car->messagehandler != nullptr) {
        SpecialMessage m(SMSG_CD_SUSPEND, nullptr);
        car->messagehandler(car, OM_SPECIAL, &m);
    }
}

// ---- Row 0: the briefing

int M10_S1a_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {150, 99, 128, 126, 158});
    return 1;
}

int M10_S1a(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(10, 0);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    CreateCast(gc, -1, {{49, -2}, {50, -3}, {51, -4}, {52, -5}, {53, -6}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    StepCinematic(gc, 114, -1);
    return 1;
}

int M10_S1a_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 53}, true, true);
}

// ---- Rows 1 and 2: the drive to the airport

int M10_G1_Load(GameController& gc, bool bS1b)
{
    gc.LoadMDLFile(szPhoneFile, kPhoneSlot, 0, 0);
    gc.SetLevelNumber(10, 2);
    gc.bEnableImpoundLots = true;
    const int p = bS1b ? -200 : -201;
    gc.SyncGridPosAt(p, false);
    gc.CreateCharacterAt(48, -1, p, szDace, true);
    gc.CreateVehicleAt(0, -166, p, true);
    gc.PutObjectInCar(-1, -166, 116, true);
    gc.CreateAICarDriver(-5, -166, 5, cdpM10_G1);
    StartAmbientLife(gc);
    gc.EndLoading();
    return 1;
}

int M10_G1(GameController& gc)
{
    gc.SetDriveToMissionMode(M10G1DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    return 1;
}

int M10_S1b(GameController& gc)
{
    M10_G1_Load(gc, true);
    gc.SetTimeOfDay(14, 40, false);
    return 1;
}

int M10_G1_Drive(GameController& gc)
{
    M10_S1b(gc);
    gc.SetVehicleInitialSpeed(-166, 0.06985f);
    return M10_G1(gc);
}

// ---- Row 3: the pursuit of the truck

int M10_S2_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {147, 162, 143, 118, 102});
    gc.LoadMDLFile(nullptr, 1, 25, 0);
    gc.ResetTime();
    M10_Driving_Load(gc);
    gc.SetTimeOfDay(17, 15, false);
    return 1;
}

int M10_S2(GameController& gc)
{
    gc.SetLevelNumber(10, 3);
    gc.SyncGridPosAt(-202, false);
    gc.CreateCharacterAt(48, -1, -202, szDace, false);
    CreateCast(gc, -202, {{49, -2}, {50, -3}, {51, -4}, {52, -5}});
    gc.CreateVehicleAt(0, -166, -202, false);
    // The truck's part 46 is not wanted.
    if (Object* truck = gc.CreateVehicleAt(1, -167, -202, false))
        if (Object* part = truck->FindSubObject(46)) {
            part->Detach();
            part->Delete();
        }
    gc.SetPursuitMissionMode(M10_S2_DrivingPursuitParams, -1, 1, false);
    for (BadGuyGenInfo& g : M10_G2_rbggi)
        gc.CreateBadGuyGenerator(g, true);
    gc.CreateCinematicAt(116, -202);
    return 1;
}

int M10_S2_Destroy(GameController& gc)
{
    Destroy(gc, {-2, -3, -4, -5});
    FreeSlots(gc, 49, 52);
    return 1;
}

int M10_G2(GameController& gc)
{
    gc.SetLevelNumber(10, 3);
    gc.PutObjectInCar(-101, -167, 116, false);
    gc.PutObjectInCar(-102, -167, 140, false);
    gc.PutObjectInCar(-103, -167, 141, false);
    gc.SetVehicleInitialSpeed(-167, 0.20955f);
    StartAmbientLife(gc);
    gc.CreateAICarDriver(-112, -167, 4, cdpM10_G2);
    gc.SetPursuitMissionMode(M10_S2_DrivingPursuitParams, 20, 2, false);
    gc.StartCurrentMission();
    return 1;
}

// ---- Row 4: the race to the bank

int M10_S3G3_Load(GameController& gc)
{
    LoadCast(gc, 1, {25, 7, 21, 9});
    gc.LoadMDLFile(nullptr, 49, 102, 0);
    M10_Driving_Load(gc);
    gc.SetTimeOfDay(17, 25, false);
    return 1;
}

int M10_S3(GameController& gc)
{
    gc.SetLevelNumber(10, 4);
    gc.SyncGridPosAt(-205, false);
    gc.CreateCharacterAt(48, -1, -205, szDace, true);
    for (int id : {-2, -3, -4, -5})
        gc.CreateCharacterAt(49, id, -205, nullptr, true);
    for (int i = 0; i < 5; i++)
        gc.CreateVehicleAt(i, -166 - i, -205, true);
    gc.CreateCinematicAt(117, -205);
    return 1;
}

int M10_S3G3_Destroy(GameController& gc)
{
    Destroy(gc, {-2, -3, -4, -5, -167, -168, -169, -170});
    gc.DestroyMDLFile(49, true);
    return 1;
}

int M10_G3(GameController& gc)
{
    gc.SetLevelNumber(10, 4);
    gc.SyncGridPosAt(-205, false);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M10_G3_RaceTo, 10, false);
    gc.EndLoading();
    return 1;
}

// ---- Row 5: the shoot-out outside

int M10_S4G4_Load(GameController& gc)
{
    gc.StartLoading();
    gc.FreeInteriorAnimGroups();
    LoadCast(gc, 49, {102, 150, 128, 140});
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {27, 37});
    StepEndLoading(gc);
    return 1;
}

// Whatever the last game's result, this game is played.
int M10_S4(GameController& gc)
{
    gc.iMissionRet = 0;
    gc.SetLevelNumber(10, 5);
    gc.SyncGridPosAt(-206, false);
    gc.CreateCharacterAt(48, -1, -206, szDace, false);
    CreateCast(gc, -206, {{50, -2}, {51, -3}, {52, -4}});
    gc.CreateVehicleAt(0, -166, -206, false);
    gc.CreateExteriorAt(StepFile("KORVALIS\\DemoData\\Int\\LEVEL10\\G4.P2B"), -206, 0);
    gc.ResetTime();
    gc.CreateCinematicAt(118, -206);
    return 1;
}

int M10_G4(GameController& gc)
{
    Destroy(gc, {-2, -3, -4});
    gc.SetShootoutMissionMode(M10_G4_ShootoutParams, 30);
    return 1;
}

int M10_S4G4_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52, 0, 1, 2}, false, true);
}

// Rows 3 to 5: entry 1 releases the scene (rows 3 and 4) and plays the
// game only when no result is in; otherwise, and at entry 2, tear down.
struct ReleaseThenGame
{
    TaskNumbers task;
    int (*entry0)(GameController&);
    int (*scene)(GameController&);
    bool replayable;                           // back from a side trip: no scene
    int (*sceneRelease)(GameController&);      // at entry 1
    int (*game)(GameController&);
    int (*release)(GameController&);           // at the teardown
    bool driving;
};

int Run(GameController& gc, int iEntryIndex, int iSuccess, const ReleaseThenGame& s)
{
    switch (iEntryIndex) {
    case 0:
        s.entry0(gc);
        if (!(s.replayable && (gc.iFlags & GCF_SIDETRIP_RUNNING))) {
            s.scene(gc);
            return 1;
        }
        [[fallthrough]];
    case 1:
        if (s.sceneRelease != nullptr)
            s.sceneRelease(gc);
        if (iSuccess == 0) {
            s.game(gc);
            return 2;
        }
        [[fallthrough]];
    case 2:
        if (s.release != nullptr)
            s.release(gc);
        if (s.driving)
            M10_Driving_Destroy(gc);
        ReportTask(gc, s.task, iSuccess);
        return -1;
    default:
        return 0;
    }
}

// ---- Rows 6, 7 and 12: inside the tower

int M10_S5aG5_Load(GameController& gc)
{
    gc.StartLoading();
    LoadCast(gc, 49, {102, 74, 109, 111});
    StepEndLoading(gc);
    return 1;
}

int M10_S5a(GameController& gc)
{
    gc.SetLevelNumber(10, 6);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    CreateCast(gc, -1, {{50, -2}, {51, -3}, {52, -4}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL10\\BLOBBYG5.P2B");
    StepCinematic(gc, 119, -1);
    return 1;
}

int M10_G5(GameController& gc)
{
    gc.SetShootoutMissionMode(M10G5SniperParams, 30);
    return 1;
}

int TowerRelease(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52}, false, true);
}

int M10_S6G6_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {102, 95, 164, 126});
    StepEndLoading(gc);
    return 1;
}

int M10_S6(GameController& gc)
{
    gc.SetLevelNumber(10, 7);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL10\\BHALOFG6.P2B");
    StepCinematic(gc, 120, -1);
    return 1;
}

int M10_G6(GameController& gc)
{
    gc.SetShootoutMissionMode(M10G6ShootoutParams, 30);
    return 1;
}

int M10_S902G9_Load(GameController& gc)
{
    gc.StartLoading();
    LoadCast(gc, 49, {102, 95, 164, 126});
    StepEndLoading(gc);
    return 1;
}

int M10_S902(GameController& gc)
{
    gc.SetLevelNumber(10, 12);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    CreateCast(gc, -1, {{49, -2}, {50, -3}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL10\\BHALOFG9.P2B");
    StepCinematic(gc, 125, -1);
    return 1;
}

int M10_G9(GameController& gc)
{
    gc.SetShootoutMissionMode(M10G9SniperParams, 30);
    return 1;
}

// ---- Row 8: the fight by the helicopter

int M10_S7G7_Load(GameController& gc)
{
    gc.StartLoading();
    LoadCast(gc, 49, {113, 82});
    gc.LoadAnimGroup(11);
    gc.LoadAnimGroup(10);
    gc.ResetTime();
    return 1;
}

// Whatever the last game's result, this game is played.
int M10_S7(GameController& gc)
{
    gc.iMissionRet = 0;
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    gc.CreateCharacterAt(50, -6, -1, nullptr, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL10\\OFHELIG7.P2B");
    StepCinematic(gc, 121, -1);
    return 1;
}

int M10_G7(GameController& gc)
{
    gc.SetLevelNumber(10, 8);
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M10_S7G7_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(10);
    gc.DestroyAnimGroup(11);
    return ReleaseStep(gc, {49, 50}, false, true);
}

// ---- Rows 9 to 11: the endings and the last scene

int M10_S8a_Load(GameController& gc)
{
    StepStartLoading(gc);
    LoadCast(gc, 49, {113, 128, 160, 150});
    gc.ResetTime();
    return 1;
}

int M10_S8a(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(10, 9);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    CreateCast(gc, -1, {{49, -2}, {50, -4}, {51, -5}, {51, -6}, {52, -7}});
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL10\\OFHELIS8.P2B");
    StepCinematic(gc, 122, -1);
    return 1;
}

int M10_S8a_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {49, 50, 51, 52}, true, true);
}

int M10_S8b_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadMDLFile(nullptr, 5, 27, 0);
    gc.LoadMDLFile(nullptr, 7, 37, 0);
    gc.ResetTime();
    return 1;
}

int M10_S8b(GameController& gc)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(10, 10);
    gc.LoadInteriorAnimGroups();
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    for (int id : {-167, -168, -169, -170})
        SirenCar(gc, 5, id, -1);
    gc.CreateVehicleAt(7, -171, -1, false);
    StepInterior(gc, "KORVALIS\\DemoData\\Int\\LEVEL10\\OFHELIS8.P2B");
    StepCinematic(gc, 123, -1);
    return 1;
}

int M10_S8b_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {}, true, true);
}

int M10_S901_Load(GameController& gc)
{
    StepStartLoading(gc);
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    LoadCast(gc, 1, {27, 37, 16});
    LoadCast(gc, 49, {150, 140, 100, 160});
    StepEndLoading(gc);
    return 1;
}

int M10_S901(GameController& gc)
{
    gc.SetLevelNumber(10, 11);
    gc.SyncGridPosAt(-206, false);
    gc.SetCinematicOnly();
    gc.CreateCharacterAt(48, -1, -206, szDace, false);
    CreateCast(gc, -206, {{49, -2}, {50, -3}, {51, -4}, {52, -5}, {52, -6}, {52, -7}});
    gc.CreateVehicleAt(0, -166, -206, false);
    SirenCar(gc, 2, -167, -206);
    SirenCar(gc, 1, -168, -206);
    SirenCar(gc, 1, -169, -206);
    SirenCar(gc, 1, -170, -206);
    SirenCar(gc, 3, -171, -206);
    StepCinematic(gc, 124, -206);
    return 1;
}

int M10_S901_Destroy(GameController& gc)
{
    return ReleaseStep(gc, {0, 1, 2, 49, 50, 51, 52}, true, true);
}

StepPieces SceneGame(TaskNumbers task, int (*load)(GameController&), int (*scene)(GameController&),
                     int (*game)(GameController&), int (*release)(GameController&))
{
    return {false, task, task, true, load, nullptr, scene, nullptr, game, release, nullptr, 0};
}

}  // namespace

int M10_S1a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M10_S1a_Load, M10_S1a, M10_S1a_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// Back from a side trip the call does nothing, so the step goes on to its
// game at once rather than wait for a call that never ends.
int M10_S1bG1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M10_G1, TNUM_M10_G1, false,   nullptr,             M10_Driving_Load,
                                 M10_S1b, nullptr,     M10_G1,      nullptr, M10_Driving_Destroy, 12};
    return CineDriveThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M10_G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = {false,   TNUM_M10_G1, TNUM_M10_G1,  false,   nullptr,             M10_Driving_Load,
                                 nullptr, nullptr,     M10_G1_Drive, nullptr, M10_Driving_Destroy, 0};
    return GameOnlyStep(gc, iEntryIndex, iSuccess, s);
}

int M10_S2G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const ReleaseThenGame s = {TNUM_M10_G2, M10_S2_Load, M10_S2, false, M10_S2_Destroy, M10_G2, nullptr, true};
    return Run(gc, iEntryIndex, iSuccess, s);
}

int M10_S3G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const ReleaseThenGame s = {TNUM_M10_G3, M10_S3G3_Load, M10_S3, true, M10_S3G3_Destroy, M10_G3, nullptr,
                                      true};
    return Run(gc, iEntryIndex, iSuccess, s);
}

int M10_S4G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const ReleaseThenGame s = {TNUM_M10_G4, M10_S4G4_Load, M10_S4, false, nullptr, M10_G4, M10_S4G4_Destroy,
                                      true};
    return Run(gc, iEntryIndex, iSuccess, s);
}

int M10_S5aG5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M10_G5, M10_S5aG5_Load, M10_S5a, M10_G5, TowerRelease);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M10_S6G6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M10_G6, M10_S6G6_Load, M10_S6, M10_G6, TowerRelease);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M10_S7G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M10_G7, M10_S7G7_Load, M10_S7, M10_G7, M10_S7G7_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M10_S8a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M10_S8a_Load, M10_S8a, M10_S8a_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M10_S8b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M10_S8b_Load, M10_S8b, M10_S8b_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M10_S901_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = SceneOnlyPieces(M10_S901_Load, M10_S901, M10_S901_Destroy);
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M10_S902G9_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = SceneGame(TNUM_M10_G9, M10_S902G9_Load, M10_S902, M10_G9, TowerRelease);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
