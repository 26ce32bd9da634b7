// Episode 12's steps: the race after the scene, the renamed drivers of the
// escape, the steps that release what they never loaded, and walks to the
// solved and unsolved ends.
#include "tests/game/missionsteps_support.h"

#include "game/Levels/M12Desc.h"

namespace {

class Episode12 : public Steps
{
};

TEST_F(Episode12, TheRaceAfterItsSceneTheEscapesDriversAndTheLastFight)
{
    int r = 0;
    Call(M12_S1bG1_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    // The race starts where the scene left the player.
    const Trace race = Call(M12_S1bG1_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Trace(race.begin(), race.begin() + 4),
              Trace({"DestroyObject(-2)", "DestroyObject(-3)", "DestroyObject(-4)", "DestroyObject(-5)"}));
    EXPECT_TRUE(Only(race, {"SyncGridPosAt", "CreateCharacterAt", "CreateVehicleAt", "EndLoading"}).empty());
    EXPECT_EQ(race.back(), "SetDriveToMissionMode({-202, 5400, \"Mansion\"}, 10, true)");
    EXPECT_EQ(gc->mode, 10);

    // Without its own cars the driving set loads only the city's.
    const Trace escape = Call(M12_S5G5_Main, 0, 0, &r);
    EXPECT_FALSE(Has(escape, "LoadDaceCarMDLFile(null, 0, 2, 0)"));
    EXPECT_TRUE(Has(escape, "LoadFillAmbientCars(1, -1)"));
    EXPECT_TRUE(Has(escape, "SetEscapeMissionMode({62.5, 300, 31.25, 0.3125, 2}, -1, 1)"));
    const Trace game = Call(M12_S5G5_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_TRUE(Has(game, "PutObjectInCar(-103, -167, 116, false)"));
    EXPECT_TRUE(Has(game, "PutObjectInCar(-104, -168, 116, false)"));

    // The last fight loads no driving set and releases one.
    const Trace fight = Call(M12_S7G7_Main, 0, 0, &r);
    EXPECT_FALSE(Has(fight, "LoadFillAmbientCars(1, -1)"));
    const Trace end = Call(M12_S7G7_Main, 2, 2, &r);
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(Has(end, "DestroyMDLFile(80, true)"));
    EXPECT_EQ(end.back(), TaskLine(TNUM_M12_G7, 3));

    // The shoot-out outside is played whatever came before.
    gc->iMissionRet = 2;
    Call(M12_S6G6_Main, 0, 0, &r);
    EXPECT_EQ(gc->iMissionRet, 0);
}

// The last episode's state has no place among the stored episode states:
// the walks watch where the script goes after its end rows.
TEST_F(Episode12, WonThroughItEndsSolvedAndALostFightEndsItUnsolved)
{
    StartAt(12, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return g_visits.size() >= 12; });
    EXPECT_EQ(g_visits, (Visits{{12, 0}, {12, 2}, {12, 3}, {12, 4}, {12, 6}, {12, 8}, {12, 9}, {12, 10}, {12, 11},
                                {12, 12}, {12, 0}, {12, 2}}));
    for (int t = TNUM_M12_G1; t <= TNUM_M12_G7; t++)
        EXPECT_EQ(gc->GetTaskState(TaskNumbers(t)), TS_PASSED) << t;

    g_visits.clear();
    StartAt(12, 11);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(12, 11); },
         [&] { return g_visits.size() >= 3; });
    EXPECT_EQ(g_visits, (Visits{{12, 11}, {12, 13}, {12, 1}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M12_G7), TS_FAILED);
}

}  // namespace
