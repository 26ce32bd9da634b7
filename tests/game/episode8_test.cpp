// Episode 8's steps: the tail that turns into a pursuit, the drive to the
// hangar, the jet chase's and the helicopter escape's set-ups, and walks
// through the script to its solved and unsolved ends.
#include "tests/game/missionsteps_support.h"

#include "game/Levels/M8Desc.h"

namespace {

class Episode8 : public Steps
{
};

TEST_F(Episode8, EpisodeEightsTailRowsDifferOnlyInTheirCinematic)
{
    int r = 0;
    const Trace a = Call(M8_S1a02G1_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    const Trace b = Call(M8_S1b02G1_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] != b[i])
            EXPECT_EQ(std::make_pair(a[i], b[i]),
                      std::make_pair(std::string("CreateCinematicAt(87, -200)"),
                                     std::string("CreateCinematicAt(88, -200)")));
    EXPECT_TRUE(Has(a, "SetTailMissionMode({-201, -2, \"Mave\"}, -1, 1)"));
    EXPECT_TRUE(Has(a, "CreateEnemyRunnerGen({-2})"));

    // The tail, then, undecided, the pursuit of the renamed driver.
    EXPECT_EQ(Call(M8_S1a02G1_Main, 1, 0, &r).back(), "SetTailMissionMode({-201, -2, \"Mave\"}, 5, 2)");
    EXPECT_EQ(r, 2);
    gc->iMissionRet = 0;
    const Trace pursuit = Call(M8_S1a02G1_Main, 2, 0, &r);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(pursuit.front(), "CreateAICarDriver(-102, -167, 4, {-201})");
    EXPECT_EQ(pursuit.back(), "SetPursuitMissionMode({-105, -105, \"Mave\"}, 20, 0, true)");
    gc->iMissionRet = 1;
    const Trace end = Call(M8_S1a02G1_Main, 3, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(gc->iMissionRet, 3);
    EXPECT_EQ(end.back(), TaskLine(TNUM_M8_G1, 4));
    EXPECT_FALSE(Has(end, "CleanupLevel()"));

    // Looping: the scene, then at entry 2 the pursuit; the level is
    // cleaned up only on the way out.
    gc->i8Loop = 2;
    Call(M8_S1b02G1_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    gc->iMissionRet = 0;
    EXPECT_FALSE(Has(Call(M8_S1b02G1_Main, 2, 0, &r), "CleanupLevel()"));
    EXPECT_EQ(r, 3);
    gc->iMissionRet = 2;
    const Trace out = Call(M8_S1b02G1_Main, 3, 2, &r);
    EXPECT_EQ(out.front(), "CleanupLevel()");
    EXPECT_EQ(gc->iMissionRet, 4);
}

TEST_F(Episode8, EpisodeEightsDriveToTheHangarAndItsReplay)
{
    int r = 0;
    const Trace drive = Call(M8_S4bG4_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(drive.back(), "SetCineDriveMode(-1, 8)");
    EXPECT_TRUE(Has(drive, "CreateCharacterAt(48, -1, -206, \"Dace\", true)"));
    // A result already in: torn down without the drive's game.
    const Trace won = Call(M8_S4bG4_Main, 1, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(Only(won, {"SetDriveToMissionMode"}).empty());
    EXPECT_EQ(won, Cat({DrivingDestroy(), {TaskLine(TNUM_M8_G4, 2)}}));
    // Back from a side trip the drive would never end: the game at once.
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    const Trace replay = Call(M8_S4bG4_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Only(replay, {"SetDriveToMissionMode"}),
              Trace({"SetDriveToMissionMode({-207, 0, \"Airport Hanger\"}, 0, true)"}));
    // The game-only row: the same drive with its speed and no phone call.
    gc->iFlags = 0;
    const Trace g4 = Call(M8_G4_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(Has(g4, "SetVehicleInitialSpeed(-166, 0.06985)"));
    EXPECT_FALSE(Has(g4, "SetCineDriveMode(-1, 8)"));
}

TEST_F(Episode8, EpisodeEightsEscapeMakesTheHelicopterAndItsGunnersRecords)
{
    // The gunners' records, built by code.
    const EnemyGenShooter_params& s1 = M8_G9_regsp_shooter1;
    const EnemyGenShooter_params& s2 = M8_G9_regsp_shooter2;
    EXPECT_EQ(s1.id, -101);
    EXPECT_EQ(s1.weapon, 13);
    EXPECT_FLOAT_EQ(s1.badass, 0.75f);
    EXPECT_EQ(s2.character, 1);
    EXPECT_EQ(s2.id, -102);
    EXPECT_EQ(s2.weapon, 22);
    EXPECT_FLOAT_EQ(s2.badass, 0.2f);
    for (const Extent* e : {&s1.trigger_init, &s1.trigger_init2})
        for (int row = 0; row < 4; row++)
            EXPECT_EQ((*e)[row][3], 1.0f);
    EXPECT_EQ(M8_G9_rbggi[1].iPHId, -213);
    // The kind is registered once.
    int named = 0;
    for (Name* n = Name::first; n != nullptr; n = n->link)
        named += std::string(n->name) == "Helicopter";
    EXPECT_EQ(named, 1);

    int r = 0;
    pobjChopper = nullptr;
    const Trace scene = Call(M8_S9G9_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    ASSERT_NE(pobjChopper, nullptr);
    EXPECT_EQ(pobjChopper->id, -170);
    EXPECT_EQ(pobjChopper->messagehandler, &Helicopter::staticmh);
    EXPECT_EQ(gc->FindById(-170), pobjChopper);
    EXPECT_TRUE(Has(scene, "SetEscapeMissionMode({62.5, 300, 31.25, 0.3125, 2}, -1, 1)"));
    EXPECT_LT(IndexOf(scene, "CreateObjectAt(128, -213)"), IndexOf(scene, "CreateCinematicAt(101, -213)"));
    // No gunners were made here: it flies alone, renamed.
    Object* chopper = pobjChopper;
    const Trace game = Call(M8_S9G9_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(game.back(), "SetEscapeMissionMode({62.5, 300, 31.25, 0.3125, 2}, 15, 2)");
    EXPECT_EQ(chopper->id, -107);
    EXPECT_EQ(chopper->child, nullptr);
    Call(M8_S9G9_Main, 2, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(pobjChopper, nullptr);
    EXPECT_EQ(gc->GetTaskState(TNUM_M8_G9), TS_PASSED);
}

TEST_F(Episode8, EpisodeEightWonThroughEndsSolvedAndALostFightEndsItUnsolved)
{
    StartAt(8, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->GetEpisodeState(8) == ES_SOLVED; });
    // Solved, the episode starts over.
    EXPECT_EQ(g_visits, (Visits{{8, 0}, {8, 1}, {8, 3}, {8, 4}, {8, 5}, {8, 6}, {8, 7}, {8, 9}, {8, 10}, {8, 11},
                                {8, 12}, {8, 13}, {8, 14}, {8, 0}, {8, 1}}));
    EXPECT_EQ(gc->GetEpisodeState(8), ES_SOLVED);
    for (TaskNumbers t : {TNUM_M8_G1, TNUM_M8_G2, TNUM_M8_G3, TNUM_M8_G4, TNUM_M8_G5, TNUM_M8_G6, TNUM_M8_G7})
        EXPECT_EQ(gc->GetTaskState(t), TS_PASSED) << t;

    g_visits.clear();
    gc->iMainExitVal = 0;
    StartAt(8, 13);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(8, 13); },
         [&] { return gc->GetEpisodeState(8) == ES_UNSOLVED; });
    EXPECT_EQ(g_visits, (Visits{{8, 13}, {8, 15}, {8, 1}}));
    EXPECT_EQ(gc->GetEpisodeState(8), ES_UNSOLVED);
    EXPECT_EQ(gc->GetTaskState(TNUM_M8_G7), TS_FAILED);
}

}  // namespace
