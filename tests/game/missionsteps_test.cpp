// The story's step functions: the protocol every step follows, the service
// calls of the demo's steps and of the episodes' model steps in order, the
// side-trip replays and the bonus drives, and walks through the scripts of
// episodes 1 to 3 with the games' results forced the way mode controllers
// report them.

#include "tests/game/missionsteps_support.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "ZevEngine2/PS2/soundstream_support.h"
#include "game/GameFlow.h"
#include "game/explode_support.h"
#include "game/Levels/BonusDT.h"
#include "game/Levels/M1Desc.h"
#include "game/Levels/M2Desc.h"
#include "game/Levels/M3Desc.h"
#include "game/Levels/M4Desc.h"
#include "game/Levels/M5Desc.h"
#include "game/Levels/M6Desc.h"
#include "game/Levels/M7Desc.h"
#include "game/QuadTree.h"
#include "game/Rain.h"
#include "game/TunnelGrate.h"
#include "game/cine.h"

namespace {

// ---------------------------------------------------------------------------
// The protocol

TEST_F(Steps, EntriesTheStepsDoNotHandleDoNothingAndAnswerZero)
{
    GAMEDESCRIPTIONFUNCTION* steps[] = {
        M1_S1G1_Main,   M1_S2G2_Main,    M1_S3a_Main,      M1_S3b_Main,      M1_G3_Main,      M1_S4a_Main,
        M1_S4b_Main,    M1_S4a2G4_Main,  M1_S5G5_Main,     M1_S6a_Main,      M1_S6a2G6_Main,  M1_S6bG6_Main,
        M2_S1A_Main,    M2_G1_Main,      M2_S2G2_Main,     M2_G2Repeat_Main, M2_S3_Main,      M2_G3_Main,
        M2_S4G4_Main,   M2_S5_Main,      M2_G5_Main,       M2_G6A_Main,      M2_G6B_Main,     M2_S7A_Main,
        M2_S8_Main,     M2_S9_Main,      M2_JumpTo24_Main, M2_JumpTo25_Main, M2_GXDojo_Main,  M2_S1BG1_Main,
        M2_S7_Main,     M3_S1A_Main,     M3_S1B_Main,      M3_G1_Main,       M3_S2_01_Main,   M3_S2G2_02_Main,
        M3_S3G3_Main,   M3_S4AG4_Main,   M3_S4BG4_Main,    M3_S4CG4_Main,    M3_S5_Main,      M3_G5_Main,
        M3_S6G6_Main,   M3_S7G7_Main,    M3_S8_01_Main,    M3_S8_02G8_Main,  BDriveToM1_Main, BDriveToM2_Main,
        BDriveToM3_Main, BDriveToM4_Main, BDriveToM5_Main,  BDriveToM6_Main,  BDriveToM7_Main, BDriveToM9_Main,
        BDriveToM11_Main};
    for (GAMEDESCRIPTIONFUNCTION* f : steps) {
        int r = -5;
        EXPECT_TRUE(Call(f, 7, 1, &r).empty());
        EXPECT_EQ(r, 0);
    }
    EXPECT_EQ(gc->CurrentTaskNumber, TNUM_M1_G1);   // untouched
}

TEST_F(Steps, SceneOnlyStepsLoadAtZeroAndReleaseAtOneWithoutATaskState)
{
    int r = 0;
    const Trace zero = Call(M1_S3a_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(gc->CurrentTaskNumber, TNUM_M1_G3);
    EXPECT_EQ(zero, Trace({"CheckMemory()", "StartLoading()", "LoadMDLFile(null, 49, 100, 0)",
                           "LoadMDLFile(null, 50, 99, 0)", "SetCinematicOnly()", "SetLevelNumber(1, 2)",
                           "CreateCharacterAt(48, -1, -1, null, false)", "CreateCharacterAt(49, -2, -1, null, false)",
                           "CreateCharacterAt(50, -3, -1, null, false)",
                           "CreateInteriorAt(\"KORVALIS\\DemoData\\Int\\LEVEL1\\FRANGES3.P2B\", -1, 0)",
                           "CreateCinematicAt(2, -1)"}));
    const Trace one = Call(M1_S3a_Main, 1, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(one, Trace({"CleanupLevel()", "DestroyMDLFile(49, true)", "DestroyMDLFile(50, true)",
                          "DestroyInterior(true)", "CheckMemory()"}));
    for (int t = 0; t < TNUM_NUMBER; t++)
        EXPECT_NE(gc->GetTaskState(TaskNumbers(t)), TS_PASSED);
}

TEST_F(Steps, ResultsBookTheirTaskStateExceptUnderAForcedLevel)
{
    int r = 0;
    EXPECT_EQ(Call(M1_G3_Main, 1, 2, &r), Cat({DrivingDestroy(), {"SetTaskState(2, 3)"}}));
    EXPECT_EQ(r, -1);
    EXPECT_EQ(gc->GetTaskState(TNUM_M1_G3), TS_FAILED);
    gc->SetTaskState(TNUM_M1_G3, TS_OPEN);
    gc->bForceLevel = true;
    EXPECT_TRUE(Only(Call(M1_G3_Main, 1, 2, &r), {"SetTaskState"}).empty());
    EXPECT_EQ(gc->GetTaskState(TNUM_M1_G3), TS_OPEN);
    gc->bForceLevel = false;
    // A side-trip return books nothing either.
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    EXPECT_TRUE(Only(Call(M1_G3_Main, 1, 1, &r), {"SetTaskState"}).empty());
}

// ---------------------------------------------------------------------------
// Episode 1's model steps

TEST_F(Steps, TheFirstDriveBuildsItsSceneAndStartsItsGameAtOnce)
{
    int r = 0;
    const Trace scene = {"SetLevelNumber(1, 0)", "SyncGridPosAt(-200, false)",
                         "CreateCharacterAt(48, -1, -200, \"Dace\", true)", "CreateVehicleAt(0, -166, -200, true)"};
    const Trace game = Cat({{"SetLevelNumber(1, 0)", "PutObjectInCar(-1, -166, 116, false)",
                             "SetVehicleInitialSpeed(-166, 0.0931333)"},
                            kAmbient,
                            {"SetDriveToMissionMode({-201, 0, \"The Firing Range\"}, 0, false)",
                             "SetupGeneratedRandMission(-1)"}});
    EXPECT_EQ(Call(M1_S1G1_Main, 0, 0, &r), Cat({{"CheckMemory()"}, kM1DrivingLoad, scene, game}));
    EXPECT_EQ(r, 2);
    EXPECT_TRUE(gc->bEnableImpoundLots);
    EXPECT_EQ(gc->mode, 9);   // the drive without a limit
    EXPECT_EQ(Call(M1_S1G1_Main, 1, 0, &r), game);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Call(M1_S1G1_Main, 2, 1, &r),
              Cat({{"CleanupLevel()", "CheckMemory()"}, DrivingDestroy(), {"SetTaskState(0, 2)"}}));
    EXPECT_EQ(r, -1);
    EXPECT_EQ(gc->GetTaskState(TNUM_M1_G1), TS_PASSED);
}

TEST_F(Steps, TheFiringRangeSceneThenGameAndItsSceneOnlyLoop)
{
    int r = 0;
    const Trace load = {"CheckMemory()", "StartLoading()", "LoadMDLFile(null, 49, 100, 0)",
                        "LoadMDLFile(null, 50, 140, 0)", "ResetTime()", "SetTimeOfDay(15, 0)"};
    const Trace scene = {"SetLevelNumber(1, 1)",
                         "LoadInteriorAnimGroups()",
                         "CreateCharacterAt(48, -1, -1, \"Dace\", false)",
                         "CreateCharacterAt(49, -2, -1, null, false)",
                         "CreateCharacterAt(50, -3, -1, null, false)",
                         "CreateInteriorAt(\"KORVALIS\\DemoData\\Int\\LEVEL1\\FRANGEG2.P2B\", -1, 0)",
                         "ResetTime()",
                         "CreateCinematicAt(1, -1)",
                         "EndLoading()"};
    const Trace release = {"DestroyMDLFile(49, true)", "DestroyMDLFile(50, true)", "DestroyInterior(true)"};
    EXPECT_EQ(Call(M1_S2G2_Main, 0, 0, &r), Cat({load, scene}));
    EXPECT_EQ(r, 1);
    EXPECT_EQ(gc->CurrentTaskNumber, TNUM_M1_G2);
    EXPECT_EQ(Call(M1_S2G2_Main, 1, 0, &r), Trace({"DestroyObject(-3)", "SetFRangeMissionMode(30)"}));
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Call(M1_S2G2_Main, 2, 1, &r), Cat({release, {"SetTaskState(1, 2)"}}));
    EXPECT_EQ(r, -1);

    // The loop value 2: the scene is played, the game never starts, and the
    // level is cleaned up before the release.
    gc->i8Loop = 2;
    Trace both = Call(M1_S2G2_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    const Trace two = Call(M1_S2G2_Main, 2, 0, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(two, Cat({{"CleanupLevel()"}, release, {"SetTaskState(1, 2)"}}));
    both.insert(both.end(), two.begin(), two.end());
    EXPECT_TRUE(Only(both, {"SetFRangeMissionMode"}).empty());
}

TEST_F(Steps, TheTimedDriveStartsOnFootAtTheRangesDoorWithNinetySeconds)
{
    int r = 0;
    EXPECT_EQ(Call(M1_G3_Main, 0, 0, &r),
              Cat({kM1DrivingLoad,
                   {"SetTimeOfDay(16, 25)", "SetLevelNumber(1, 4)", "SyncGridPosAt(-201, false)",
                    "CreateCharacterAt(48, -1, -201, \"Dace\", false)", "CreateVehicleAt(0, -166, -201, false)",
                    "PlaceCharacterAtExitPos(-1, -201)"},
                   kAmbient,
                   {"SetDriveToMissionMode({-250, 5400, \"EOD\"}, 10, true)"}}));
    EXPECT_EQ(r, 1);
    EXPECT_EQ(gc->mode, 10);
    EXPECT_EQ(gc->iTimeDisplay, 5400);
    EXPECT_EQ(gc->CurrentTaskNumber, TNUM_M1_G1);   // this step sets none
}

TEST_F(Steps, ReplayAfterASideTripSkipsTheSceneAndStartsTheDriveAtOnce)
{
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    int r = 0;
    const Trace t = Call(M1_S4a2G4_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    // Every creation at -250 is one the services skip on a resume.
    const Trace made = Only(t, {"CreateCharacterAt", "CreateVehicleAt"});
    EXPECT_EQ(made, Trace({"CreateCharacterAt(48, -1, -250, \"Dace\", true)", "CreateVehicleAt(0, -166, -250, true)",
                           "CreateVehicleAt(1, -167, -250, true)", "CreateVehicleAt(2, -168, -250, true)",
                           "CreateVehicleAt(3, -169, -250, true)"}));
    EXPECT_EQ(gc->FindById(-1), nullptr);
    EXPECT_EQ(gc->FindById(-166), nullptr);
    EXPECT_TRUE(Only(t, {"CreateCinematicAt"}).empty());
    EXPECT_TRUE(Has(t, "SetDriveToMissionMode({-206, 0, \"China Bistro\"}, 0, false)"));
    // The drive-to setter ends the replay.
    EXPECT_EQ(gc->iFlags & GCF_SIDETRIP_RUNNING, 0);

    // Without the replay the scene plays its cinematic and waits.
    const Trace scene = Call(M1_S4a2G4_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(Has(scene, "CreateCinematicAt(6, -250)"));
    EXPECT_TRUE(Only(scene, {"SetDriveToMissionMode"}).empty());
}

// ---------------------------------------------------------------------------
// The demo's three steps

TEST_F(Steps, TheTimedDriveToTheBarLiftsTheCarAndShowsTheContinuePictureFirst)
{
    int r = 0;
    const Trace t = Call(M2_G3_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(t, Cat({kBonusDrivingLoad,
                      {"SetTimeOfDay(13, 30)", "SetLevelNumber(2, 5)", "SyncGridPosAt(-4, false)",
                       "CreateCharacterAt(48, -1, -4, \"Dace\", false)", "CreateVehicleAt(0, 65, -4, false)",
                       "PlaceCharacterAtExitPos(-1, -4)"},
                      kAmbient,
                      {"Demo_ContinueScreen(20)", "SetDriveToMissionMode({-5, 3600, \"The Red Lantern Bar\"}, 56, true)"}}));
    ASSERT_EQ(g_overrides.size(), 1u);
    EXPECT_EQ(g_overrides[0], 1);   // set before the loading screen starts
    EXPECT_EQ(world.time_of_day, 13u * 216000u + 30u * 3600u);
    EXPECT_EQ(gc->mode, 10);
    EXPECT_EQ(gc->iTimeDisplay, 3600);
    EXPECT_EQ(Call(M2_G3_Main, 1, 2, &r), Cat({DrivingDestroy(), {"SetTaskState(9, 3)"}}));
    EXPECT_EQ(r, -1);
}

TEST_F(Steps, TheBarFightAndTheSpaShootoutFollowTheirScenes)
{
    int r = 0;
    const Trace bar = Call(M2_S4G4_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(gc->CurrentTaskNumber, TNUM_M2_G4);
    EXPECT_EQ(bar, Trace({"CheckMemory()", "StartLoading()", "LoadMDLFile(null, 49, 71, 0)",
                          "LoadMDLFile(null, 50, 74, 0)", "LoadAnimGroup(11)", "ResetTime()", "SetLevelNumber(2, 6)",
                          "LoadInteriorAnimGroups()", "CreateCharacterAt(48, -1, -1, \"Dace\", false)",
                          "CreateCharacterAt(50, -2, -1, null, false)",
                          "CreateInteriorAt(\"KORVALIS\\DemoData\\Int\\LEVEL2\\BAR.P2B\", -1, 0)",
                          "Demo_ContinueScreen(20)", "CreateCinematicAt(15, -1)", "EndLoading()"}));
    EXPECT_EQ(g_overrides, std::vector<int>({2}));
    EXPECT_EQ(Call(M2_S4G4_Main, 1, 0, &r), Trace({"SetFightMissionMode(null, 55)"}));
    EXPECT_EQ(r, 2);
    EXPECT_EQ(gc->mode, 4);

    g_overrides.clear();
    const Trace spa = Call(M3_S7G7_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(spa, Trace({"CheckMemory()", "StartLoading()", "LoadMDLFile(null, 49, 86, 0)",
                          "LoadMDLFile(null, 50, 148, 0)", "LoadMDLFile(null, 51, 162, 0)",
                          "LoadMDLFile(null, 52, 143, 0)", "LoadMDLFile(null, 53, 151, 0)", "ResetTime()",
                          "SetLevelNumber(3, 12)", "CreateCharacterAt(48, -1, -1, \"Dace\", false)",
                          "CreateCharacterAt(50, -102, -1, null, false)",
                          "CreateInteriorAt(\"KORVALIS\\DemoData\\Int\\LEVEL3\\SPPLRMG7.P2B\", -1, 0)",
                          "Demo_ContinueScreen(20)", "ResetTime()", "CreateCinematicAt(33, -1)", "EndLoading()"}));
    EXPECT_EQ(g_overrides, std::vector<int>({3}));
    EXPECT_EQ(Call(M3_S7G7_Main, 1, 0, &r), Trace({"DestroyObject(-102)", "SetShootoutMissionMode({1}, 55)"}));
    EXPECT_EQ(r, 2);
    // Episode 3 never loops its scenes: entry 2 releases at once.
    gc->i8Loop = 2;
    EXPECT_EQ(Call(M3_S7G7_Main, 2, 1, &r),
              Trace({"DestroyMDLFile(49, true)", "DestroyMDLFile(50, true)", "DestroyMDLFile(51, true)",
                     "DestroyMDLFile(52, true)", "DestroyMDLFile(53, true)", "DestroyInterior(true)",
                     "SetTaskState(24, 2)"}));
    EXPECT_EQ(r, -1);
}

TEST_F(Steps, TheBarIsFreedAtOnceAfterALostFightAndLaterAfterAWin)
{
    gc->iMissionRet = 2;
    g_trace.clear();
    M2_S4_Destroy(*gc);
    EXPECT_EQ(g_trace, Trace({"DestroyAnimGroup(11)", "DestroyMDLFile(49, true)", "DestroyMDLFile(50, true)",
                              "DestroyInterior(true)"}));
    gc->iMissionRet = 1;
    g_trace.clear();
    M2_S4_Destroy(*gc);
    EXPECT_EQ(g_trace, Trace({"DestroyAnimGroup(11)", "DestroyMDLFile(49, false)", "DestroyMDLFile(50, false)",
                              "DestroyInterior(false)"}));
}

// ---------------------------------------------------------------------------
// Cinematic drives, two games, side trips

TEST_F(Steps, CinematicDrivesPlayTheirDriveFirstUnlessReplayed)
{
    int r = 0;
    const Trace a = Call(M2_G6A_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(Has(a, "LoadMDLFile(\"KORVALIS\\DemoData\\Misc\\PHONE.P2B\", 205, 0, 0)"));
    EXPECT_TRUE(Has(a, "CreateAICarDriver(-5, 65, 5, {0})"));
    EXPECT_EQ(a.back(), "SetCineDriveMode(-1, 2)");
    EXPECT_EQ(gc->mode, GCM_CINEDRIVE);
    // The drive over with a result already: no game, the teardown.
    EXPECT_EQ(Call(M2_G6A_Main, 1, 1, &r), Cat({DrivingDestroy(), {"SetTaskState(12, 2)"}}));
    EXPECT_EQ(r, -1);
    EXPECT_EQ(Call(M2_G6A_Main, 1, 0, &r),
              Trace({"SetDriveToMissionMode({-9, 0, \"Dynasty Imports\"}, 0, false)", "SetupGeneratedRandMission(-1)"}));
    EXPECT_EQ(r, 2);

    // Replays: row 11 and the mended row 19 start their drive-to game in
    // the first call, without the drive.
    for (GAMEDESCRIPTIONFUNCTION* f : {M2_G6B_Main, M2_S1BG1_Main}) {
        gc->iFlags = GCF_SIDETRIP_RUNNING;
        const Trace t = Call(f, 0, 0, &r);
        EXPECT_EQ(r, 2);
        EXPECT_TRUE(Only(t, {"SetCineDriveMode"}).empty());
        EXPECT_EQ(Only(t, {"SetDriveToMissionMode"}).size(), 1u);
        EXPECT_EQ(gc->mode, 9);
    }
    gc->iFlags = 0;
    EXPECT_EQ(Call(M2_S1BG1_Main, 0, 0, &r).back(), "SetCineDriveMode(-1, 1)");
    EXPECT_EQ(r, 1);
}

TEST_F(Steps, AnUndecidedTailBecomesAPursuitWhoseWinTakesTheSecondaryJump)
{
    int r = 0;
    Call(M3_S2G2_02_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    const Trace tail = Call(M3_S2G2_02_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(tail.back(), "SetTailMissionMode({-7, -167, \"The Vurek\"}, 5, 2)");
    gc->iMissionRet = 0;
    EXPECT_EQ(Call(M3_S2G2_02_Main, 2, 0, &r),
              Trace({"CreateAICarDriver(-102, -167, 4, {-7})",
                     "SetPursuitMissionMode({-101, -101, \"Vurek\"}, 20, 0, true)"}));
    EXPECT_EQ(r, 3);
    // The pursuit is won: 1 + 2, booked as the secondary result.
    gc->iMissionRet = 1;
    const Trace end = Call(M3_S2G2_02_Main, 3, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(gc->iMissionRet, 3);
    EXPECT_EQ(end.back(), "SetTaskState(19, 4)");
    EXPECT_EQ(gc->GetTaskState(TNUM_M3_G2), TS_SECONDARYFAILED);
    // Run by the script: the row's secondary-success jump 3 leads to
    // record 8 (record + 1 + jump).
    ASSERT_TRUE(gc->SwitchToMission(3, 4, 0));
    gc->iGPREntryIndex = 2;
    gc->iMissionRet = 0;
    Send(SMSG_GC_RUN_SCRIPT);
    EXPECT_EQ(gc->iGPREntryIndex, 3);
    gc->iMissionRet = 1;
    g_visits.clear();
    Send(SMSG_GC_RUN_SCRIPT);
    EXPECT_EQ(gc->pgprCurr, &rgMissions[3].pgpr[8]);
    EXPECT_EQ(gc->pgprCurr->pgdf, M3_S4CG4_Main);
    EXPECT_EQ(g_visits, (std::vector<std::pair<int, int>>{{3, 8}}));

    // A tail won outright books a plain pass.
    g_pfnServiceCall = Record;
    Call(M3_S2G2_02_Main, 0, 0);
    gc->iMissionRet = 1;
    EXPECT_EQ(Call(M3_S2G2_02_Main, 2, 1, &r).back(), "SetTaskState(19, 2)");
    EXPECT_EQ(gc->iMissionRet, 1);
}

TEST_F(Steps, EpisodeThreeRecordsAndTheirQuirks)
{
    // The shooter of the ambush, built by code.
    const EnemyGenShooter_params& s = M3_G3_regsp_shooter;
    EXPECT_EQ(s.character, 3);
    EXPECT_EQ(s.id, -104);
    EXPECT_EQ(s.weapon, 13);
    EXPECT_EQ(s.spawn_num, 1);
    EXPECT_EQ(s.first_init, 1);
    EXPECT_EQ(s.init_strength, 100);
    EXPECT_FLOAT_EQ(s.badass, 1.0f);
    EXPECT_EQ(s.path_arrive.offset | s.path_move.offset | s.hostage_path.offset | s.first_tint | s.init_wave |
                  s.hostage_tint,
              0);
    EXPECT_EQ(s.endpoints | s.behavior | s.duck_fire | s.triggermode | s.rnd_tint | s.hostage | s.vo_bank, 0);
    EXPECT_EQ(s.trigger_init.w[3], 0.0f);
    EXPECT_EQ(M3_G3_rbggi[0].pvParams, &M3_G3_regsp_shooter);
    EXPECT_EQ(M3_G3_rbggi[1].bggtMode, BGGT_RUNNER);
    EXPECT_EQ(M3_G3_A_EscapeParams.pbggi, M3_G3_rbggi);

    // The residence drive starts at -3 after a lost game, else at -2.
    int r = 0;
    gc->iMissionRet = 2;
    EXPECT_TRUE(Has(Call(M3_G1_Main, 0, 2, &r), "SyncGridPosAt(-3, false)"));
    gc->iMissionRet = 1;
    EXPECT_TRUE(Has(Call(M3_G1_Main, 0, 1, &r), "SyncGridPosAt(-2, false)"));

    // The ambushers go into the car before the escape starts.
    const Trace esc = Call(M3_S3G3_Main, 1, 0, &r);
    EXPECT_LT(IndexOf(esc, "PutObjectInCar(-104, -168, 120, false)"),
              IndexOf(esc, "SetEscapeMissionMode({62.5, 300, 31.25, 0.3125, 2}, 15, 2)"));
    EXPECT_LT(IndexOf(esc, "PutObjectInCar(-103, -168, 116, false)"), esc.size());

    // The infiltration walks first only with a start script.
    EXPECT_TRUE(Only(Call(M3_G5_Main, 0, 0, &r), {"SetCineWalkMode"}).empty());
    CinePlayerScript walk[1] = {{0, 0, 0, 0}};
    gc->pCamInitScript = walk;
    EXPECT_EQ(Call(M3_G5_Main, 0, 0, &r).back(), "SetCineWalkMode(-1, 2, script, 13, 0)");
    gc->pCamInitScript = nullptr;
    // Its teardown runs at entry 1 or 2.
    for (int e : {1, 2}) {
        Call(M3_G5_Main, e, 1, &r);
        EXPECT_EQ(r, -1);
    }
}

// ---------------------------------------------------------------------------
// The bonus drives

TEST_F(Steps, BonusDrivesBookNothingAndTheMotorcycleTakesSlotZero)
{
    GAMEDESCRIPTIONFUNCTION* bonus[] = {BDriveToM1_Main, BDriveToM2_Main, BDriveToM3_Main,
                                        BDriveToM4_Main, BDriveToM5_Main, BDriveToM6_Main,
                                        BDriveToM7_Main, BDriveToM9_Main, BDriveToM11_Main};
    const struct
    {
        TaskNumbers task;
        int task_value, episode, level;
    } table[] = {{TNUM_M1_Bonus_DT, 6, 1, 12}, {TNUM_M2_Bonus_DT, 17, 2, 19}, {TNUM_M3_Bonus_DT, 26, 3, 15},
                 {TNUM_M4_Bonus_DT, 36, 4, 16}, {TNUM_M5_Bonus_DT, 45, 5, 16}, {TNUM_M6_Bonus_DT, 54, 6, 12},
                 {TNUM_M7_Bonus_DT, 63, 7, 14}, {TNUM_M9_Bonus_DT, 81, 9, 13}, {TNUM_M11_Bonus_DT, 98, 11, 15}};
    for (int i = 0; i < 9; i++) {
        int r = 0;
        const Trace t = Call(bonus[i], 0, 0, &r);
        EXPECT_EQ(r, 1);
        EXPECT_EQ(int(table[i].task), table[i].task_value);
        EXPECT_EQ(gc->CurrentTaskNumber, table[i].task);
        EXPECT_EQ(gc->i16CurrMission, table[i].episode);
        EXPECT_EQ(gc->i16CurrTask, table[i].level);
        // The loading screen started by the driving set stays up until the
        // drive's set-up ends it, last.
        EXPECT_EQ(t.front(), "StartLoading()");
        EXPECT_EQ(Only(t, {"EndLoading"}).size(), 1u);
        EXPECT_EQ(t.back(), "EndLoading()");
        EXPECT_TRUE(Has(t, "SetBonusDriveToMissionMode(0, false)"));
        EXPECT_TRUE(Has(t, "PutObjectInCar(-1, 65, 116, false)"));
        const bool motorcycle = bonus[i] == BDriveToM5_Main;
        const size_t freed = IndexOf(t, "DestroyMDLFile(0, true)"), loaded = IndexOf(t, "LoadMDLFile(null, 0, 31, 0)");
        EXPECT_EQ(loaded < t.size(), motorcycle) << i;
        if (motorcycle) {
            EXPECT_LT(freed, loaded);
            EXPECT_LT(IndexOf(t, "LoadDaceCarMDLFile(null, 0, 2, 0)"), freed);
        }
        for (int success : {0, 1, 2, 3}) {
            EXPECT_EQ(Call(bonus[i], 1, success, &r), DrivingDestroy());
            EXPECT_EQ(r, -1);
        }
        gc->CleanupLevel();
    }
    EXPECT_EQ(int(TNUM_M1_G1), 0);
    EXPECT_EQ(int(TNUM_M2_G1), 7);
    EXPECT_EQ(int(TNUM_M3_G1), 18);
    EXPECT_EQ(int(TNUM_M12_G7), 105);
}

// ---------------------------------------------------------------------------
// Walks through the scripts

TEST_F(Steps, EpisodeOneWonThroughGoesOnToEpisodeTwo)
{
    const eTaskState bonusBefore = gc->GetTaskState(TNUM_M1_Bonus_DT);
    StartAt(1, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->iMission == 2; });
    ASSERT_GE(g_visits.size(), 11u);
    g_visits.resize(11);
    EXPECT_EQ(g_visits, (std::vector<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {1, 4}, {1, 5}, {1, 7}, {1, 8},
                                                          {1, 9}, {1, 10}, {1, 12}, {2, 0}}));
    for (int t = TNUM_M1_G1; t <= TNUM_M1_G6; t++)
        EXPECT_EQ(gc->GetTaskState(TaskNumbers(t)), TS_PASSED) << t;
    EXPECT_EQ(gc->GetTaskState(TNUM_M1_Bonus_DT), bonusBefore);
    EXPECT_EQ(gc->GetEpisodeState(1), ES_SOLVED);
}

TEST_F(Steps, ALostShootoutClosesEpisodeOneAndGoesOnAtEpisodeTwosRowNineteen)
{
    StartAt(1, 10);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(1, 10); }, [&] { return gc->iMission == 2; });
    EXPECT_EQ(g_visits, (std::vector<std::pair<int, int>>{{1, 10}, {2, 18}}));
    EXPECT_EQ(gc->GetEpisodeState(1), ES_UNSOLVED);
    EXPECT_EQ(gc->GetTaskState(TNUM_M1_G6), TS_FAILED);
    // Row 19 drives to the dojo under its phone call first, then the game.
    EXPECT_TRUE(Has(g_trace, "SetCineDriveMode(-1, 1)"));
    EXPECT_EQ(gc->mode, 9);
}

TEST_F(Steps, EpisodeThreeWonThroughEndsTheRunAndALostFightEndsItEarly)
{
    StartAt(3, 0);
    Play([](std::pair<int, int>) { return false; }, [] { return false; });
    EXPECT_EQ(g_visits, (std::vector<std::pair<int, int>>{{3, 0}, {3, 2}, {3, 3}, {3, 4}, {3, 5}, {3, 6}, {3, 9},
                                                          {3, 10}, {3, 11}, {3, 12}}));
    EXPECT_EQ(gc->iMainExitVal, -1);
    for (TaskNumbers t : {TNUM_M3_G1, TNUM_M3_G2, TNUM_M3_G3, TNUM_M3_G4, TNUM_M3_G5, TNUM_M3_G6, TNUM_M3_G7})
        EXPECT_EQ(gc->GetTaskState(t), TS_PASSED) << t;

    g_visits.clear();
    gc->iMainExitVal = 0;
    StartAt(3, 11);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(3, 11); }, [] { return false; });
    EXPECT_EQ(g_visits, (std::vector<std::pair<int, int>>{{3, 11}}));
    EXPECT_EQ(gc->iMainExitVal, -1);
    EXPECT_EQ(gc->GetTaskState(TNUM_M3_G6), TS_FAILED);
}

// The demo's start: the timed drive, then the bar (won) or the spa (lost);
// each record's loading screen shows its own picture.
TEST_F(Steps, TheDemoRunsTheBarAfterAWonDriveAndTheSpaAfterALostOne)
{
    StartAt(2, 5);
    EXPECT_EQ(gc->mode, 10);
    EXPECT_EQ(gc->iTimeDisplay, 3600);
    Play([](std::pair<int, int>) { return false; }, [] { return false; });
    EXPECT_EQ(g_visits, (std::vector<std::pair<int, int>>{{2, 5}, {2, 6}}));
    EXPECT_EQ(gc->iMainExitVal, -1);
    EXPECT_EQ(g_overrides.front(), 1);
    EXPECT_NE(std::find(g_overrides.begin(), g_overrides.end(), 2), g_overrides.end());

    g_visits.clear();
    g_overrides.clear();
    gc->iMainExitVal = 0;
    StartAt(2, 5);
    Play([](std::pair<int, int> at) { return at.first == 2; }, [] { return false; });
    EXPECT_EQ(g_visits, (std::vector<std::pair<int, int>>{{2, 5}, {3, 12}}));
    EXPECT_EQ(gc->iMainExitVal, -1);
    EXPECT_EQ(g_overrides.front(), 1);
    EXPECT_NE(std::find(g_overrides.begin(), g_overrides.end(), 3), g_overrides.end());
    EXPECT_EQ(gc->GetEpisodeState(2), ES_UNSOLVED);
}

// ---------------------------------------------------------------------------
// Episode 4 and the car lift

using Visits = std::vector<std::pair<int, int>>;

TEST_F(Steps, EpisodeFourWonThroughGoesOnToEpisodeFive)
{
    StartAt(4, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->iMission == 5; });
    EXPECT_EQ(g_visits, (Visits{{4, 0}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {4, 6}, {4, 8}, {4, 9}, {4, 10}, {4, 11},
                                {4, 13}, {4, 14}, {4, 16}, {5, 0}}));
    for (int t = TNUM_M4_G1; t <= TNUM_M4_G8; t++)
        EXPECT_EQ(gc->GetTaskState(TaskNumbers(t)), TS_PASSED) << t;
    EXPECT_EQ(gc->GetEpisodeState(4), ES_SOLVED);
}

// The timed night drive: 23:00, ninety seconds on the clock, no street
// crimes; lost, the episode ends unsolved and episode 5 goes on at row 1.
TEST_F(Steps, EpisodeFoursTimedDriveLostEndsItUnsolved)
{
    StartAt(4, 13);
    Settle();
    EXPECT_EQ(gc->iTimeDisplay, 5400);
    EXPECT_EQ(gc->iTODVel, 12);
    EXPECT_TRUE(Has(g_trace, "SetTimeOfDay(23, 0)"));
    EXPECT_TRUE(Has(g_trace, "SetDriveToMissionMode({-211, 5400, \"Tovin's Dojo\"}, 51, false)"));
    EXPECT_TRUE(Only(g_trace, {"SetupGeneratedRandMission"}).empty());
    Play([](std::pair<int, int> at) { return at.first == 4; }, [&] { return gc->iMission == 5; });
    // Episode 5's row 1 is a cinematic that ends as it starts here.
    EXPECT_EQ(g_visits, (Visits{{4, 13}, {5, 1}, {5, 2}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M4_G7), TS_FAILED);
    EXPECT_EQ(gc->GetEpisodeState(4), ES_UNSOLVED);
}

TEST_F(Steps, EpisodeFoursPursuitStartsWithThePlayerOnFootAndNoPedestriansAtOnce)
{
    int r = 0;
    const Trace scene = Call(M4_S3G3_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(gc->CurrentTaskNumber, TNUM_M4_G3);
    EXPECT_EQ(Only(scene, {"SetPursuitMissionMode", "CreateCinematicAt"}),
              Trace({"SetPursuitMissionMode({-101, -167, \"Talvern\"}, -1, 1, false)", "CreateCinematicAt(40, -203)"}));
    EXPECT_EQ(Call(M4_S3G3_Main, 1, 0, &r),
              Trace({"SetLevelNumber(4, 5)", "PutObjectInCar(-101, -167, 116, false)",
                     "SetVehicleInitialSpeed(-167, 0.116417)",
                     "CreateMasterPedestrianGenerator(80, 100, 5, 8, true)",
                     "CreateMasterVehicleGenerator(1, 100, 5, 14)", "CreateAICarDriver(-102, -167, 4, {-12})",
                     "SetPursuitMissionMode({-101, -167, \"Talvern\"}, 47, 2, false)", "StartCurrentMission()"}));
    EXPECT_EQ(r, 2);
    EXPECT_EQ(gc->iTODVel, 12);
    EXPECT_EQ(M4_S3_DrivingPursuitParams.pegrp, &M4_S3_DriverParams);
    EXPECT_EQ(M4_S3_DriverParams.walking, 1);
    EXPECT_FLOAT_EQ(M4_S3_DriverParams.command, 0.1f);
    const Trace end = Call(M4_S3G3_Main, 2, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(end, Cat({{"CleanupLevel()", "DestroyMDLFile(57, true)", "DestroyMDLFile(1, true)", "CheckMemory()"},
                        DrivingDestroy(),
                        {"SetTaskState(" + std::to_string(int(TNUM_M4_G3)) + ", 2)"}}));
}

// The phone-call drive waits for the call; back from a side trip the call
// does not play again, so the drive to the club starts at once.
TEST_F(Steps, EpisodeFoursPhoneDriveGoesOnAtOnceAfterASideTrip)
{
    int r = 0;
    const Trace t = Call(M4_G4b_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(Only(t, {"SetCineDriveMode", "SetDriveToMissionMode"}), Trace({"SetCineDriveMode(-1, 6)"}));
    EXPECT_LT(IndexOf(t, "SetCineDriveMode(-1, 6)"), IndexOf(t, "EndLoading()"));
    EXPECT_TRUE(Has(t, "CreateAICarDriver(-5, 65, 5, {0})"));
    gc->CleanupLevel();

    gc->iFlags |= GCF_SIDETRIP_RUNNING;
    gc->iMissionRet = 0;
    const Trace back = Call(M4_G4b_Main, 0, 0, &r);
    gc->iFlags &= ~GCF_SIDETRIP_RUNNING;
    EXPECT_EQ(r, 2);
    EXPECT_EQ(back.back(), "SetupGeneratedRandMission(-1)");
    EXPECT_TRUE(Has(back, "SetDriveToMissionMode({-207, 0, \"The Gulag\"}, 48, true)"));
    EXPECT_EQ(gc->iTODVel, 12);

    // A result in at entry 1 tears down without the drive.
    EXPECT_EQ(Call(M4_G4b_Main, 1, 2, &r),
              Cat({DrivingDestroy(), {"SetTaskState(" + std::to_string(int(TNUM_M4_G4)) + ", 3)"}}));
    EXPECT_EQ(r, -1);
}

TEST_F(Steps, TheCarLiftTakesTheWorkshopsLiftObjectsPlaceAndCarriesTheFirstCar)
{
    // Without the lift object nothing is made.
    EXPECT_EQ(CreateCarLift(*gc), 0);
    EXPECT_EQ(world.objectlist.Count(), 0);

    // The lift object turned a quarter about y; the car one unit above it
    // (y is down) and two along its x.
    Object* o = new Object();
    ASSERT_NE(o, nullptr);
    o->id = 4224;
    o->mat = RotY(1.5707964f);
    o->mat.SetTrans(VectorPos(10.0f, -2.0f, 5.0f));
    o->flags |= OBJF_SHADOW;
    world.AddObject(o, nullptr);
    Object* car = new Object();
    ASSERT_NE(car, nullptr);
    car->type = OBJT_VEHICLE;
    car->id = -166;
    car->mat = o->mat;
    car->mat.SetTrans(o->mat * VectorPos(2.0f, -1.0f, 0.0f));
    car->flags |= OBJF_SHADOW;
    world.AddObject(car, nullptr);

    EXPECT_EQ(CreateCarLift(*gc), 0);
    Object* found = world.Find(4224);
    ASSERT_NE(found, nullptr);
    ASSERT_NE(found, o);
    EXPECT_EQ(found->messagehandler, &CarLift::staticmh);
    EXPECT_EQ(world.objectlist.Find(car), nullptr);
    EXPECT_EQ(world.Find(OBJT_VEHICLE), nullptr);
    EXPECT_EQ(car->parent, found);
    EXPECT_EQ(found->child, car);
    EXPECT_NEAR(car->mat.w[0], 2.0f, 1e-5f);
    EXPECT_NEAR(car->mat.w[1], -1.0f - 0.2890625f, 1e-5f);
    EXPECT_NEAR(car->mat.w[2], 0.0f, 1e-5f);
    EXPECT_NEAR(found->mat.w[0], 10.0f, 1e-6f);
    EXPECT_EQ(found->flags & OBJF_SHADOW, 0u);
    EXPECT_EQ(car->flags & OBJF_SHADOW, 0u);
    // It moves with the lift: its place in the world follows the lift's.
    EXPECT_NEAR(car->GetWorldPos()[1], -3.2890625f, 1e-5f);
    EXPECT_GE(found->radius, 2.0f);

    // A lift with no car in the world stays empty.
    found->Detach();
    world.RemoveObject(found);
    Object* o2 = new Object();
    ASSERT_NE(o2, nullptr);
    o2->id = 4224;
    world.AddObject(o2, nullptr);
    EXPECT_EQ(CreateCarLift(*gc), 0);
    Object* empty = world.Find(4224);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->messagehandler, &CarLift::staticmh);
    EXPECT_EQ(empty->child, nullptr);
}

// ---------------------------------------------------------------------------
// Episode 5

std::string Booked(TaskNumbers t, int state)
{
    return "SetTaskState(" + std::to_string(int(t)) + ", " + std::to_string(state) + ")";
}

TEST_F(Steps, EpisodeFiveWonThroughGoesOnToEpisodeSix)
{
    const eTaskState tailBefore = gc->GetTaskState(TNUM_M5_G1);
    StartAt(5, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->iMission == 6; });
    EXPECT_EQ(g_visits, (Visits{{5, 0}, {5, 3}, {5, 4}, {5, 5}, {5, 8}, {5, 9}, {5, 10}, {5, 11}, {5, 13}, {5, 16},
                                {6, 0}, {6, 2}}));
    // The first tail books nothing even when won.
    EXPECT_EQ(gc->GetTaskState(TNUM_M5_G1), tailBefore);
    for (int t = TNUM_M5_G2; t <= TNUM_M5_G7; t++)
        EXPECT_EQ(gc->GetTaskState(TaskNumbers(t)), TS_PASSED) << t;
    EXPECT_EQ(gc->GetEpisodeState(5), ES_SOLVED);
}

TEST_F(Steps, EpisodeFivesLostEscapeEndsItUnsolved)
{
    StartAt(5, 13);
    Play([](std::pair<int, int> at) { return at.first == 5; }, [&] { return gc->iMission == 6; });
    EXPECT_EQ(g_visits, (Visits{{5, 13}, {6, 1}, {6, 2}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M5_G7), TS_FAILED);
    EXPECT_EQ(gc->GetEpisodeState(5), ES_UNSOLVED);
}

// The tail that ends undecided turns into the pursuit; row 1 books nothing
// even then, row 3 books the raised result.
TEST_F(Steps, EpisodeFivesTailsBookOnlyWhenStartedAsAGame)
{
    int r = 0;
    Call(M5_S1aG1_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    const Trace tail = Call(M5_S1aG1_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(tail.front(), "DestroyObject(4110)");
    EXPECT_EQ(tail.back(), "SetTailMissionMode({-203, -167, \"The Grey Sedan\"}, 5, 2)");
    gc->iMissionRet = 0;
    EXPECT_EQ(Call(M5_S1aG1_Main, 2, 0, &r),
              Trace({"CreateAICarDriver(-102, -167, 4, {-7})",
                     "SetPursuitMissionMode({-101, -101, \"The Grey Sedan\"}, 20, 0, true)"}));
    EXPECT_EQ(r, 3);
    gc->iMissionRet = 1;
    EXPECT_TRUE(Only(Call(M5_S1aG1_Main, 3, 1, &r), {"SetTaskState"}).empty());
    EXPECT_EQ(r, -1);
    EXPECT_EQ(gc->iMissionRet, 3);
    gc->CleanupLevel();

    gc->iMissionRet = 0;
    const Trace start = Call(M5_G1_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(start.back(), "SetTailMissionMode({-203, -167, \"The Grey Sedan\"}, 5, 2)");
    EXPECT_TRUE(Has(start, "CreateVehicleAt(1, -167, -202, false)"));
    Call(M5_G1_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    gc->iMissionRet = 1;
    EXPECT_EQ(Call(M5_G1_Main, 2, 1, &r).back(), Booked(TNUM_M5_G1, TS_SECONDARYFAILED));
    EXPECT_EQ(r, -1);
}

TEST_F(Steps, EpisodeFivesEscapeSeatsTwoPerCarOnlyAfterAnUndecidedCinematic)
{
    int r = 0;
    const Trace scene = Call(M5_S702G7_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    // Slot 0 holds the borrowed car: the player's own is not loaded.
    EXPECT_TRUE(Has(scene, "LoadMDLFile(null, 0, 18, 0)"));
    EXPECT_FALSE(Has(scene, "LoadDaceCarMDLFile(null, 0, 2, 0)"));
    const Trace game = Call(M5_S702G7_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Only(game, {"PutObjectInCar"}),
              Trace({"PutObjectInCar(-1, -166, 116, false)", "PutObjectInCar(-2, -166, 117, false)",
                     "PutObjectInCar(-101, -167, 116, false)", "PutObjectInCar(-102, -167, 117, false)",
                     "PutObjectInCar(-103, -168, 116, false)", "PutObjectInCar(-104, -168, 117, false)"}));
    EXPECT_EQ(game.back(), "SetEscapeMissionMode({62.5, 300, 31.25, 0.3125, 4}, 15, 2)");
    gc->CleanupLevel();

    // A result in before the game: torn down at once.
    const Trace done = Call(M5_S702G7_Main, 1, 2, &r);
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(Only(done, {"PutObjectInCar", "SetEscapeMissionMode"}).empty());
    EXPECT_EQ(done.back(), Booked(TNUM_M5_G7, TS_FAILED));

    // The ambushers' records, built by code.
    EXPECT_EQ(M5_G7_regsp_shooter[1].character, 1);
    EXPECT_EQ(M5_G7_regsp_shooter[1].id, -103);
    EXPECT_EQ(M5_G7_regsp_shooter[0].weapon, 13);
    EXPECT_EQ(M5_G7_regsp_shooter[0].spawn_num, 1);
    EXPECT_FLOAT_EQ(M5_G7_regsp_shooter[0].badass, 1.0f);
    EXPECT_EQ(M5_G7_rbggi[2].pvParams, &M5_G7_regsp_shooter[1]);
    EXPECT_EQ(M5_G7_rbggi[3].bggtMode, BGGT_RUNNER);
    EXPECT_EQ(M5_G7_regsp_driver[1].id, -104);
}

TEST_F(Steps, EpisodeFivesTimedDriveHasTwoMinutesAndTheRainyDriveNoLimit)
{
    StartAt(5, 9);
    Settle();
    EXPECT_EQ(gc->iTimeDisplay, 7200);
    EXPECT_TRUE(Only(g_trace, {"SetupGeneratedRandMission"}).empty());

    int r = 0;
    const Trace t = Call(M5_G8_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(Has(t, "EnableRain(0.5)"));
    EXPECT_FLOAT_EQ(gRain.GetDensity(), 0.5f);
    EXPECT_TRUE(Has(t, "SetDriveToMissionMode({-209, 0, \"Butcher Shop\"}, 0, false)"));
    EXPECT_LT(IndexOf(t, "SetTimeOfDay(1, 10)"), IndexOf(t, "EnableRain(0.5)"));
}

// ---------------------------------------------------------------------------
// Episode 6

TEST_F(Steps, EpisodeSixWonThroughGoesOnToEpisodeSeven)
{
    StartAt(6, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->iMission == 7; });
    EXPECT_EQ(g_visits, (Visits{{6, 0}, {6, 2}, {6, 4}, {6, 5}, {6, 6}, {6, 7}, {6, 8}, {6, 9}, {6, 12}, {7, 0}}));
    for (int t = TNUM_M6_G1; t <= TNUM_M6_G7; t++)
        EXPECT_EQ(gc->GetTaskState(TaskNumbers(t)), TS_PASSED) << t;
    EXPECT_EQ(gc->GetEpisodeState(6), ES_SOLVED);
}

TEST_F(Steps, EpisodeSixsLostDemonEndsItUnsolved)
{
    StartAt(6, 7);
    Play([](std::pair<int, int> at) { return at.first == 6; }, [&] { return gc->iMission == 7; });
    EXPECT_EQ(g_visits, (Visits{{6, 7}, {7, 1}, {7, 2}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M6_G5), TS_FAILED);
    EXPECT_EQ(gc->GetEpisodeState(6), ES_UNSOLVED);
}

// The rain drive starts at the door of -200 at 19:00; the house's steps
// never start the loading screen, and their loads end it before the scene.
TEST_F(Steps, EpisodeSixsDriveRunsInTheRainAndItsLoadsStartNoLoadingScreen)
{
    GAMEDESCRIPTIONFUNCTION* house[] = {M6_S202G2_Main, M6_S3G3_Main, M6_S4G4_Main,  M6_S5G5_Main,
                                        M6_S6AG6_Main,  M6_S7G7_Main, M6_S8G8_Main, M6_S6BG6_Main};
    for (GAMEDESCRIPTIONFUNCTION* f : house) {
        gc->CurrentTaskNumber = TNUM_M1_G1;
        int r = 0;
        const Trace t = Call(f, 0, 0, &r);
        EXPECT_EQ(r, 1);
        EXPECT_FALSE(Has(t, "StartLoading()"));
        ASSERT_EQ(Only(t, {"EndLoading"}).size(), 1u);
        EXPECT_LT(IndexOf(t, "EndLoading()"), IndexOf(t, "CreateCharacterAt(48, -1, -1, \"Dace\", false)"));
        EXPECT_EQ(gc->CurrentTaskNumber, TNUM_M1_G1);
        gc->CleanupLevel();
    }
    // The two variants of the study differ only in their cinematic.
    Trace a = Call(M6_S6AG6_Main, 0, 0), b = Call(M6_S6BG6_Main, 0, 0);
    EXPECT_EQ(IndexOf(a, "CreateCinematicAt(69, -1)"), IndexOf(b, "CreateCinematicAt(70, -1)"));
    a.erase(a.begin() + IndexOf(a, "CreateCinematicAt(69, -1)"));
    b.erase(b.begin() + IndexOf(b, "CreateCinematicAt(70, -1)"));
    EXPECT_EQ(a, b);

    // The dragon is made from slot 50 under the player's id.
    EXPECT_EQ(Call(M6_S7G7_Main, 1, 0),
              Trace({"CreateCharacterAt(50, -1, -1, \"Dragon\", false)", "StartCurrentMission()"}));
    gc->CleanupLevel();

    StartAt(6, 2);
    Settle();
    EXPECT_FLOAT_EQ(gRain.GetDensity(), 1.0f);
    EXPECT_TRUE(Has(g_trace, "SetTimeOfDay(19, 0)"));
    EXPECT_LT(IndexOf(g_trace, "CreateVehicleAt(0, -166, -200, true)"),
              IndexOf(g_trace, "PlaceCharacterAtExitPos(-1, -200)"));
    EXPECT_EQ(gc->iGPREntryIndex, 2);
    EXPECT_EQ(gc->pgprCurr, &rgMissions[6].pgpr[2]);
}

// ---------------------------------------------------------------------------
// Episode 7

TEST_F(Steps, EpisodeSevenWonThroughEndsSolved)
{
    // The run ends at the episode's end instead of going on into episode 8.
    EXPECT_EQ(rgMissions[7].i16SuccessMission, 8);
    const s16 next = rgMissions[7].i16SuccessMission;
    rgMissions[7].i16SuccessMission = -1;
    StartAt(7, 0);
    Play([](std::pair<int, int>) { return false; }, [] { return false; });
    rgMissions[7].i16SuccessMission = next;
    EXPECT_EQ(g_visits, (Visits{{7, 0}, {7, 3}, {7, 4}, {7, 5}, {7, 6}, {7, 7}, {7, 8}, {7, 12}, {7, 14}}));
    EXPECT_EQ(gc->iMainExitVal, -1);
    for (int t = TNUM_M7_G1; t <= TNUM_M7_G7; t++)
        EXPECT_EQ(gc->GetTaskState(TaskNumbers(t)), TS_PASSED) << t;
    EXPECT_EQ(gc->GetEpisodeState(7), ES_SOLVED);
}

TEST_F(Steps, EpisodeSevensLostShootoutEndsItUnsolved)
{
    // The run ends here instead of going on into episode 8.
    const s16 next = rgMissions[7].i16FailureMission;
    rgMissions[7].i16FailureMission = -1;
    StartAt(7, 12);
    Play([](std::pair<int, int> at) { return at.first == 7; }, [] { return false; });
    rgMissions[7].i16FailureMission = next;
    EXPECT_EQ(g_visits, (Visits{{7, 12}}));
    EXPECT_EQ(gc->iMainExitVal, -1);
    EXPECT_EQ(gc->GetTaskState(TNUM_M7_G7), TS_FAILED);
    EXPECT_EQ(gc->GetEpisodeState(7), ES_UNSOLVED);
}

// A tail that ends undecided becomes a pursuit of the renamed driver, its
// result raised by 2.
TEST_F(Steps, EpisodeSevensTailsTurnIntoPursuitsWithRaisedResults)
{
    const struct
    {
        GAMEDESCRIPTIONFUNCTION* f;
        int target;
        TaskNumbers task;
    } tails[] = {{M7_S3G3_Main, -205, TNUM_M7_G3}, {M7_S5G5_Main, -207, TNUM_M7_G5}};
    for (const auto& t : tails) {
        int r = 0;
        Call(t.f, 0, 0, &r);
        EXPECT_EQ(r, 1);
        const Trace a = Call(t.f, 1, 0, &r);
        EXPECT_EQ(r, 2);
        EXPECT_TRUE(Has(a, "PutObjectInCar(-5, -167, 116, false)"));
        EXPECT_TRUE(Has(a, "CreateAICarDriver(-102, -167, 8, {" + std::to_string(t.target) + "})"));
        gc->iMissionRet = 0;
        EXPECT_EQ(Call(t.f, 2, 0, &r),
                  Trace({"CreateAICarDriver(-102, -167, 4, {" + std::to_string(t.target) + "})",
                         "SetPursuitMissionMode({-105, -105, \"Quillane\"}, 20, 0, true)"}));
        EXPECT_EQ(r, 3);
        gc->iMissionRet = 2;
        const Trace end = Call(t.f, 3, 2, &r);
        EXPECT_EQ(r, -1);
        EXPECT_EQ(gc->iMissionRet, 4);
        EXPECT_EQ(gc->GetTaskState(t.task), eTaskState(gc->MissionRetToTaskState(4)));
        gc->CleanupLevel();
    }
    // Lost outright, the tail books a plain failure.
    int r = 0;
    Call(M7_S3G3_Main, 0, 0, &r);
    gc->iMissionRet = 2;
    EXPECT_EQ(Call(M7_S3G3_Main, 2, 2, &r).back(), Booked(TNUM_M7_G3, TS_FAILED));
    EXPECT_EQ(gc->iMissionRet, 2);
}

TEST_F(Steps, EpisodeSevensFirstDriveAndEscape)
{
    int r = 0;
    Call(M7_S1aG1_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    const Trace drive = Call(M7_S1aG1_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Trace(drive.begin(), drive.begin() + 4),
              Trace({"DestroyObject(-167)", "DestroyObject(-168)", "DestroyObject(-169)", "SetLevelNumber(7, 2)"}));
    // No step release at the end: the driving set's, then the report.
    EXPECT_EQ(Call(M7_S1aG1_Main, 2, 1, &r), Cat({DrivingDestroy(), {Booked(TNUM_M7_G1, TS_PASSED)}}));
    EXPECT_EQ(r, -1);
    gc->CleanupLevel();

    const Trace scene = Call(M7_G4_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(Only(scene, {"CreateVehicleAt"}),
              Trace({"CreateVehicleAt(0, -166, -205, false)", "CreateVehicleAt(1, -167, -205, false)",
                     "CreateVehicleAt(2, -168, -205, false)", "CreateVehicleAt(2, -169, -205, false)",
                     "CreateVehicleAt(3, -170, -205, false)"}));
    const Trace escape = Call(M7_G4_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Trace(escape.begin(), escape.begin() + 2), Trace({"SyncGridPosAt(-204, false)", "DestroyObject(-170)"}));
    EXPECT_EQ(Only(escape, {"CreateAICarDriver"}),
              Trace({"CreateAICarDriver(-105, -168, 9, {-1})", "CreateAICarDriver(-106, -169, 9, {-1})"}));
    EXPECT_EQ(escape.back(), "SetEscapeMissionMode({62.5, 300, 31.25, 0.3125, 2}, 15, 2)");
    EXPECT_EQ(M7_G4_rbggi[1].pvParams, &M7_G4_regsp_driver2);
    EXPECT_EQ(M7_G4_regsp_driver2.character, 4);
    EXPECT_EQ(M7_G4_regsp_driver2.id, -9);
}

TEST_F(Steps, EpisodesFourToSevenIgnoreEntriesTheyDoNotHandle)
{
    GAMEDESCRIPTIONFUNCTION* steps[] = {
        M4_S1a_Main,     M4_G1_Main,      M4_S201_Main,    M4_S202G2_Main,  M4_S3G3_Main,    M4_S4a_Main,
        M4_G4b_Main,     M4_G4_Main,      M4_S5G5_Main,    M4_S6G6_Main,    M4_S7a_Main,     M4_S7b_Main,
        M4_G7_Main,      M4_S8G8_Main,    M4_S9G9_Main,    M5_S1aG1_Main,   M5_S1b_Main,     M5_G1_Main,
        M5_S201_Main,    M5_S202G2_Main,  M5_S3aG3_Main,   M5_S3bG3_Main,   M5_S401_Main,    M5_S402_Main,
        M5_G4_Main,      M5_S5G5_Main,    M5_S6G6_Main,    M5_S701_Main,    M5_S702G7_Main,  M5_S8_Main,
        M5_G8_Main,      M6_S1a_Main,     M6_S1b_Main,     M6_G1_Main,      M6_S202G2_Main,  M6_S3G3_Main,
        M6_S4G4_Main,    M6_S5G5_Main,    M6_S6AG6_Main,   M6_S7G7_Main,    M6_S8G8_Main,    M6_S6BG6_Main,
        M7_S1aG1_Main,   M7_S1b_Main,     M7_G1_Main,      M7_S2G2_Main,    M7_S3G3_Main,    M7_G4_Main,
        M7_S5G5_Main,    M7_S6a01_Main,   M7_S6a02G6_Main, M7_S6b01_Main,   M7_S6b02_Main,   M7_S701_Main,
        M7_S702G7_Main,  M7_S8G8_Main};
    for (GAMEDESCRIPTIONFUNCTION* f : steps) {
        int r = -5;
        EXPECT_TRUE(Call(f, 7, 1, &r).empty());
        EXPECT_EQ(r, 0);
    }
}

// The diner drive under the phone call asks for the loading screen at its
// end; the script's run closes it when the step has returned.
TEST_F(Steps, EpisodeFivesPhoneDriveReopensTheLoadingScreenWhichTheRunCloses)
{
    StartAt(5, 6);
    EXPECT_EQ(Only(g_trace, {"SetCineDriveMode", "StartLoading", "EndLoading"}),
              Trace({"StartLoading()", "SetCineDriveMode(-1, 7)", "StartLoading()", "EndLoading()"}));
    EXPECT_FALSE(GameController::iUILoading);
    EXPECT_EQ(gc->iGPREntryIndex, 1);

    // Back from a side trip the drive to the diner starts at once.
    gc->CleanupLevel();
    gc->iFlags |= GCF_SIDETRIP_RUNNING;
    gc->iMissionRet = 0;
    int r = 0;
    const Trace back = Call(M5_S3bG3_Main, 0, 0, &r);
    gc->iFlags &= ~GCF_SIDETRIP_RUNNING;
    EXPECT_EQ(r, 2);
    EXPECT_EQ(back.back(), "SetupGeneratedRandMission(-1)");
    EXPECT_TRUE(Has(back, "SetDriveToMissionMode({-206, 0, \"Diner\"}, 0, false)"));
}

// The lift built from the workshop's model node: its model and its
// collision box, marked for the characters and cars that touch it.
TEST_F(Steps, TheCarLiftIsBuiltFromTheLiftObjectsModelNode)
{
    tools::P2BFile f;
    f.models = {explodetest::BareModel(2.0f)};
    tools::CollisionChain box;
    box.Box(0x0001, Cuboid(VectorPos(-2.0f, -0.1f, -3.0f), VectorPos(2.0f, 0.1f, 3.0f)));
    f.collisions.push_back(box);
    f.AddNode(-1, tools::MakeNode(0));
    NODE liftNode = tools::MakeNode(0);
    liftNode.collision = 0;
    f.AddNode(-1, liftNode);
    explodetest::SlotFile file(195, f);
    Object* o = file.mf()->GetHierarchy(1, sizeof(Object), GH_ANIMATE);
    ASSERT_NE(o, nullptr);
    o->id = 4224;
    o->mat = TransMatrix(4.0f, -1.0f, 0.0f);
    world.AddObject(o, nullptr);

    EXPECT_EQ(CreateCarLift(*gc), 0);
    Object* lift = world.Find(4224);
    ASSERT_NE(lift, nullptr);
    ASSERT_NE(lift, o);
    EXPECT_EQ(lift->mdlfile, file.mf());
    EXPECT_EQ(lift->index, 1);
    ASSERT_NE(lift->geom, nullptr);
    EXPECT_EQ(lift->mat.w[0], 4.0f);
    ASSERT_TRUE(lift->HasCollision());
    EXPECT_EQ(lift->GetCollisionMask() & 257, 257);
    // It goes down under a character and back: its top is where it was made.
    EXPECT_EQ(static_cast<CarLift*>(lift)->fOrigY, -1.0f);
    lift->Detach();
    world.RemoveObject(lift);
}

}  // namespace
