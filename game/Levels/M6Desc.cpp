// The step functions of episode 6 and the pieces they are built from.  Its
// steps leave the current task number alone; the step loads neither start
// nor keep up the loading screen: each ends it, and the scenes do not.
#include "game/Levels/M6Desc.h"

#include "game/Levels/BonusDT.h"
#include "game/MAIN.h"

DriveToMissionParams M6_G1_DriveTo = {-201, 0, "House Of Zhev"};
InfiltrateMissionParams M6_G2_InfiltrateParams = {"The Spa"};
ShootoutMissionParams M6_G4_ShootoutParams = {1};
ShootoutMissionParams M6_G8_ShootoutParams = {1};

namespace {

char szDragon[] = "Dragon";

void Interior(GameController& gc, const char* file)
{
    gc.CreateInteriorAt(StepFile(file), -1, 0);
}

// A step's load: its cast from slot 49 and its animation groups; the
// loading screen, started by whoever started it, ends.
void Load(GameController& gc, std::initializer_list<int> cast, std::initializer_list<int> groups)
{
    gc.CheckMemory();
    LoadCast(gc, 49, cast);
    for (int g : groups)
        gc.LoadAnimGroup(g);
    gc.ResetTime();
    gc.EndLoading();
}

// A room of the house with the player in it and its cinematic.
void Room(GameController& gc, int level, std::initializer_list<std::pair<int, int>> cast, const char* file,
          int cinematic)
{
    gc.SetLevelNumber(6, level);
    gc.CreateCharacterAt(48, -1, -1, szDace, false);
    for (const auto& c : cast)
        gc.CreateCharacterAt(c.first, c.second, -1, nullptr, false);
    Interior(gc, file);
    gc.ResetTime();
    gc.CreateCinematicAt(cinematic, -1);
}

// ---- Rows 1 and 2: the briefings

int M6_S1a_Load(GameController& gc)
{
    gc.CheckMemory();
    LoadCast(gc, 49, {99, 128, 126, 158});
    return 1;
}

int M6_S1b_Load(GameController& gc)
{
    gc.CheckMemory();
    LoadCast(gc, 49, {99, 128, 158});
    return 1;
}

// The player and the cast of slots 49..last as -3, -4, ... on the
// end-of-day set.
void Briefing(GameController& gc, int level, int last, int cinematic)
{
    gc.SetCinematicOnly();
    gc.SetLevelNumber(6, level);
    gc.CreateCharacterAt(48, -1, -1, nullptr, false);
    for (int slot = 49; slot <= last; slot++)
        gc.CreateCharacterAt(slot, 46 - slot, -1, nullptr, false);
    Interior(gc, "KORVALIS\\DemoData\\Int\\EOD.P2B");
    gc.CreateCinematicAt(cinematic, -1);
}

int M6_S1a(GameController& gc)
{
    Briefing(gc, 0, 52, 62);
    return 1;
}

int M6_S1b(GameController& gc)
{
    Briefing(gc, 1, 51, 63);
    return 1;
}

int M6_S1a_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 52);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

int M6_S1b_Destroy(GameController& gc)
{
    gc.CleanupLevel();
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.CheckMemory();
    return 1;
}

// ---- Row 3: the drive in the rain, from the door of the building at -200

int M6_G1_Load(GameController&)
{
    return 1;
}

int M6_G1(GameController& gc)
{
    gc.SetLevelNumber(6, 2);
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(-200, false);
    gc.CreateCharacterAt(48, -1, -200, szDace, true);
    gc.CreateVehicleAt(0, -166, -200, true);
    gc.PlaceCharacterAtExitPos(-1, -200);
    StartAmbientLife(gc);
    gc.SetDriveToMissionMode(M6_G1_DriveTo, 0, false);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

// ---- Rows 4 to 12: the house

int M6_S202G2_Load(GameController& gc)
{
    gc.LoadInteriorAnimGroups();
    Load(gc, {71, 78, 80}, {4, 9});
    return 1;
}

int M6_S202(GameController& gc)
{
    Room(gc, 4, {}, "KORVALIS\\DemoData\\Int\\LEVEL6\\HALLG2.P2B", 65);
    return 1;
}

int M6_G2(GameController& gc)
{
    gc.SetLevelNumber(6, 4);
    gc.SetInfiltrateMissionMode(M6_G2_InfiltrateParams, 35);
    return 1;
}

int M6_S202G2_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(4);
    gc.DestroyAnimGroup(9);
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

int M6_S3G3_Load(GameController& gc)
{
    Load(gc, {69, 70}, {10, 14});
    return 1;
}

int M6_S3(GameController& gc)
{
    Room(gc, 5, {}, "KORVALIS\\DemoData\\Int\\LEVEL6\\PARLRG3.P2B", 66);
    return 1;
}

int FistFight(GameController& gc)
{
    gc.SetFightMissionMode(nullptr, 25);
    return 1;
}

int M6_S3G3_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(14);
    gc.DestroyAnimGroup(10);
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M6_S4G4_Load(GameController& gc)
{
    Load(gc, {70, 81, 135}, {23});
    return 1;
}

int M6_S4(GameController& gc)
{
    Room(gc, 6, {}, "KORVALIS\\DemoData\\Int\\LEVEL6\\LIBRYG4.P2B", 67);
    return 1;
}

int M6_G4(GameController& gc)
{
    gc.SetShootoutMissionMode(M6_G4_ShootoutParams, 30);
    return 1;
}

int M6_S4G4_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    gc.DestroyAnimGroup(23);
    return 1;
}

int M6_S5G5_Load(GameController& gc)
{
    Load(gc, {67, 103, 105}, {});
    return 1;
}

int M6_S5(GameController& gc)
{
    Room(gc, 7, {{49, -2}, {50, -3}, {50, -4}}, "KORVALIS\\DemoData\\Int\\LEVEL6\\ALTARG5.P2B", 68);
    return 1;
}

int M6_G5(GameController& gc)
{
    gc.SetDemonMissionMode(30);
    return 1;
}

int M6_S5G5_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 51);
    gc.DestroyInterior(true);
    return 1;
}

int M6_S6G6_Load(GameController& gc)
{
    Load(gc, {103, 67}, {10});
    return 1;
}

int M6_S6A(GameController& gc)
{
    Room(gc, 8, {{50, -2}}, "KORVALIS\\DemoData\\Int\\LEVEL6\\STUDYG6.P2B", 69);
    return 1;
}

int M6_S6B(GameController& gc)
{
    Room(gc, 8, {{50, -2}}, "KORVALIS\\DemoData\\Int\\LEVEL6\\STUDYG6.P2B", 70);
    return 1;
}

int M6_S6G6_Destroy(GameController& gc)
{
    gc.DestroyAnimGroup(10);
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M6_S7G7_Load(GameController& gc)
{
    Load(gc, {67, 107}, {});
    return 1;
}

int M6_S7(GameController& gc)
{
    Room(gc, 9, {{49, -2}}, "KORVALIS\\DemoData\\Int\\LEVEL6\\CELLRG7.P2B", 71);
    return 1;
}

// The dragon is made from slot 50 under the id -1.
int M6_G7(GameController& gc)
{
    gc.CreateCharacterAt(50, -1, -1, szDragon, false);
    gc.SetDragonMissionMode(30);
    return 1;
}

int M6_S7G7_Destroy(GameController& gc)
{
    FreeSlots(gc, 49, 50);
    gc.DestroyInterior(true);
    return 1;
}

int M6_S8G8_Load(GameController& gc)
{
    Load(gc, {135}, {23});
    return 1;
}

int M6_S8(GameController& gc)
{
    Room(gc, 10, {}, "KORVALIS\\DemoData\\Int\\LEVEL6\\SEWERG8.P2B", 72);
    return 1;
}

int M6_G8(GameController& gc)
{
    gc.SetShootoutMissionMode(M6_G8_ShootoutParams, 30);
    return 1;
}

int M6_S8G8_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(49, true);
    gc.DestroyInterior(true);
    gc.DestroyAnimGroup(23);
    return 1;
}

// A scene then a game of this episode.
constexpr StepPieces Pieces(TaskNumbers t, int (*load)(GameController&), int (*scene)(GameController&),
                            int (*game)(GameController&), int (*release)(GameController&))
{
    return StepPieces{false, t, t, true, load, nullptr, scene, nullptr, game, release, nullptr, 0};
}

}  // namespace

int M6_Driving_Load(GameController& gc)
{
    return MBonus_Driving_Load(gc);
}

int M6_Driving_Destroy(GameController& gc)
{
    return MBonus_Driving_Destroy(gc);
}

int M6_S1a_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M6_G1, TNUM_M6_G1, false, M6_S1a_Load, nullptr, M6_S1a, nullptr,
                                 nullptr, M6_S1a_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

int M6_S1b_Main(GameController& gc, int iEntryIndex, int)
{
    static const StepPieces s = {false, TNUM_M6_G1, TNUM_M6_G1, false, M6_S1b_Load, nullptr, M6_S1b, nullptr,
                                 nullptr, M6_S1b_Destroy, nullptr, 0};
    return SceneOnlyStep(gc, iEntryIndex, s);
}

// The drive starts with the step and is set up again at entry 1; entry 2
// releases and books.
int M6_G1_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    switch (iEntryIndex) {
    case 0:
        M6_G1_Load(gc);
        M6_Driving_Load(gc);
        gc.EnableRain(1.0f);
        gc.SetTimeOfDay(19, 0, false);
        M6_G1(gc);
        return 2;
    case 1:
        M6_G1(gc);
        return 2;
    case 2:
        M6_Driving_Destroy(gc);
        ReportTask(gc, TNUM_M6_G1, iSuccess);
        return -1;
    default:
        return 0;
    }
}

int M6_S202G2_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G2, M6_S202G2_Load, M6_S202, M6_G2, M6_S202G2_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M6_S3G3_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G3, M6_S3G3_Load, M6_S3, FistFight, M6_S3G3_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M6_S4G4_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G4, M6_S4G4_Load, M6_S4, M6_G4, M6_S4G4_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M6_S5G5_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G5, M6_S5G5_Load, M6_S5, M6_G5, M6_S5G5_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M6_S6AG6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G6, M6_S6G6_Load, M6_S6A, FistFight, M6_S6G6_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M6_S7G7_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G7, M6_S7G7_Load, M6_S7, M6_G7, M6_S7G7_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M6_S8G8_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G8, M6_S8G8_Load, M6_S8, M6_G8, M6_S8G8_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}

int M6_S6BG6_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    static const StepPieces s = Pieces(TNUM_M6_G6, M6_S6G6_Load, M6_S6B, FistFight, M6_S6G6_Destroy);
    return SceneThenGameStep(gc, iEntryIndex, iSuccess, s);
}
