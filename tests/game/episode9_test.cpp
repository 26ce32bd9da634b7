// Episode 9's steps: the phone-call drives and their replays, the escape
// from the armed car, the race rows, and walks to its solved and unsolved
// ends.
#include "tests/game/missionsteps_support.h"

#include "game/Levels/M9Desc.h"

namespace {

class Episode9 : public Steps
{
};

TEST_F(Episode9, PhoneCallDrivesAndTheirReplays)
{
    int r = 0;
    // The first call: the drive, then the game; replayed, the game at once.
    const Trace call = Call(M9_S102G1_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(call.back(), "SetCineDriveMode(-1, 9)");
    EXPECT_TRUE(Has(call, "CreateAICarDriver(-5, -166, 5, {0})"));
    EXPECT_TRUE(Has(call, "LoadDaceCarMDLFile(null, 0, 2, 0)"));
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    const Trace replay = Call(M9_S102G1_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_FALSE(Has(replay, "SetCineDriveMode(-1, 9)"));
    EXPECT_EQ(Only(replay, {"SetDriveToMissionMode"}),
              Trace({"SetDriveToMissionMode({-201, 0, \"Strip Club\"}, 0, false)"}));

    // The call after midnight: the clock set past 24:00 wraps to 0:50.
    gc->iFlags = 0;
    const Trace late = Call(M9_S402G4_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(Has(late, "SetTimeOfDay(24, 50)"));
    EXPECT_EQ(world.time_of_day, 24u * 216000u + 50u * 3600u);
    EXPECT_EQ(world.time_of_day - 5184000u, 180000u);
    EXPECT_TRUE(Has(late, "PutObjectInCar(-2, -166, 117, false)"));
    EXPECT_EQ(late.back(), "SetCineDriveMode(-1, 10)");
    // A result in at entry 1: nothing started, the step waits.
    EXPECT_TRUE(Call(M9_S402G4_Main, 1, 1, &r).empty());
    EXPECT_EQ(r, 0);
    EXPECT_EQ(Call(M9_S402G4_Main, 1, 0, &r), Trace({"SetDriveToMissionMode({-205, 5400, \"Belmont Center\"}, 10, false)"}));
    EXPECT_EQ(r, 2);
    EXPECT_EQ(gc->mode, 10);
    EXPECT_EQ(Call(M9_S402G4_Main, 2, 2, &r), Cat({DrivingDestroy(), {TaskLine(TNUM_M9_G4, 3)}}));
    EXPECT_EQ(r, -1);
    // Replayed after a side trip the timed drive starts in the same call.
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    gc->iMissionRet = 0;
    EXPECT_EQ(Only(Call(M9_S402G4_Main, 0, 0, &r), {"SetDriveToMissionMode", "SetCineDriveMode"}),
              Trace({"SetDriveToMissionMode({-205, 5400, \"Belmont Center\"}, 10, false)"}));
    EXPECT_EQ(r, 2);
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    EXPECT_EQ(Only(Call(M9_S8G8_Main, 0, 0, &r), {"SetDriveToMissionMode", "SetCineDriveMode"}),
              Trace({"SetDriveToMissionMode({-210, 5400, \"Factory\"}, 10, false)"}));
    EXPECT_EQ(r, 2);
    // Row 10 with a result in at entry 1 tears down.
    gc->iFlags = 0;
    EXPECT_EQ(Call(M9_S8G8_Main, 1, 1, &r), Cat({DrivingDestroy(), {TaskLine(TNUM_M9_G8, 2)}}));
}

TEST_F(Episode9, TheEscapeMakesOnlyTheDriverAndTheRaceRowsDifferInTheirCinematic)
{
    const EnemyGenShooter_params& s = M9_S5_regsp_shooter;
    EXPECT_EQ(s.character, 1);
    EXPECT_EQ(s.id, -104);
    EXPECT_EQ(s.weapon, 13);
    EXPECT_EQ(M9_S5_EscapeParams.i32NumBadGuyGens, 1);
    EXPECT_EQ(M9_S5_rbggi[0].pvParams, static_cast<void*>(&M9_S5_regsp_driver));

    int r = 0;
    const Trace escape = Call(M9_S5G5_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    // The car is in slot 0 before the driving set, which leaves it alone.
    EXPECT_EQ(std::count(escape.begin(), escape.end(), std::string("LoadDaceCarMDLFile(null, 0, 2, 0)")), 0);
    EXPECT_TRUE(Has(escape, "LoadMDLFile(null, 0, 32, 0)"));
    EXPECT_TRUE(Has(escape, "SetEscapeMissionMode({62.5, 300, 31.25, 0.3125, 1}, 15, 1)"));
    const Trace game = Call(M9_S5G5_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(gc->FindById(-104), nullptr);
    EXPECT_TRUE(Has(game, "PutObjectInCar(-104, -167, 117, false)"));
    EXPECT_TRUE(Has(game, "SetVehicleInitialSpeed(-167, 0.20955)"));
    Call(M9_S5G5_Main, 2, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(gc->GetTaskState(TNUM_M9_G5), TS_PASSED);

    // The race's cars are kept for the race mode (none are made on this
    // empty disc) and forgotten with the level.
    Object dummy;
    pobjPellCar = &dummy;
    const Trace a = Call(M9_S9aG9_Main, 0, 0, &r);
    EXPECT_EQ(pobjPellCar, gc->FindById(-167));
    EXPECT_EQ(pobjDaceCar, gc->FindById(-166));
    pobjPellCar = &dummy;
    Call(M9_S9aG9_Main, 2, 2);
    EXPECT_EQ(pobjPellCar, nullptr);
    const Trace b = Call(M9_S9bG9_Main, 0, 0, &r);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] != b[i])
            EXPECT_EQ(std::make_pair(a[i], b[i]), std::make_pair(std::string("CreateCinematicAt(112, -210)"),
                                                                 std::string("CreateCinematicAt(113, -210)")));
    EXPECT_EQ(Call(M9_S9bG9_Main, 2, 1).back(), TaskLine(TNUM_M9_G9, 2));
}

TEST_F(Episode9, WonThroughItEndsSolvedAndALostEscapeEndsItUnsolved)
{
    StartAt(9, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->GetEpisodeState(9) == ES_SOLVED; });
    // The shoot-out won skips the last drive and the race: the bonus drive,
    // then episode 10.
    EXPECT_EQ(g_visits, (Visits{{9, 0}, {9, 1}, {9, 2}, {9, 3}, {9, 4}, {9, 5}, {9, 6}, {9, 7}, {9, 8}, {9, 9},
                                {9, 13}, {10, 0}, {10, 2}}));
    for (int t = TNUM_M9_G1; t <= TNUM_M9_G7; t++)
        EXPECT_EQ(gc->GetTaskState(TaskNumbers(t)), TS_PASSED) << t;

    g_visits.clear();
    StartAt(9, 7);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(9, 7); },
         [&] { return gc->GetEpisodeState(9) == ES_UNSOLVED; });
    EXPECT_EQ(g_visits, (Visits{{9, 7}, {10, 1}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M9_G5), TS_FAILED);

    // A lost club fight leads to the last drive.
    g_visits.clear();
    StartAt(9, 2);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(9, 2); },
         [&] { return gc->pgprCurr == &rgMissions[9].pgpr[10]; });
    EXPECT_EQ(g_visits, (Visits{{9, 2}, {9, 10}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M9_G2), TS_FAILED);
}

}  // namespace
