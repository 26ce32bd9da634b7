// Episode 10's steps: the truck pursuit whose scene goes first, the race
// replayed after a side trip, the scenes that clear the last result, and
// walks to its solved and unsolved ends.
#include "tests/game/missionsteps_support.h"

#include "game/Levels/M10Desc.h"

namespace {

class Episode10 : public Steps
{
};

TEST_F(Episode10, ScenesReleasedBeforeTheirGamesAndTheRaceReplayed)
{
    int r = 0;
    const Trace truck = Call(M10_S2G2_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(Has(truck, "SetPursuitMissionMode({-101, -202, \"Truck\"}, -1, 1, false)"));
    EXPECT_EQ(truck.back(), "CreateCinematicAt(116, -202)");
    // A result already in: the cast goes, no game, the task booked.
    const Trace torn = Call(M10_S2G2_Main, 1, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(Trace(torn.begin(), torn.begin() + 4),
              Trace({"DestroyObject(-2)", "DestroyObject(-3)", "DestroyObject(-4)", "DestroyObject(-5)"}));
    EXPECT_TRUE(Only(torn, {"SetPursuitMissionMode"}).empty());
    EXPECT_EQ(torn.back(), TaskLine(TNUM_M10_G2, 2));
    Call(M10_S2G2_Main, 0, 0);
    const Trace chase = Call(M10_S2G2_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(chase.front(), "DestroyObject(-2)");
    EXPECT_TRUE(Has(chase, "SetPursuitMissionMode({-101, -202, \"Truck\"}, 20, 2, false)"));

    // The race after a side trip: no scene, the race at once.
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    const Trace race = Call(M10_S3G3_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_TRUE(Only(race, {"CreateCinematicAt", "CreateCharacterAt"}).empty());
    EXPECT_LT(IndexOf(race, "DestroyObject(-170)"),
              IndexOf(race, "SetDriveToMissionMode({-206, 5400, \"Downtown Bank\"}, 10, false)"));
    EXPECT_EQ(gc->mode, 10);
    gc->iFlags = 0;
    const Trace scene = Call(M10_S3G3_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(scene.back(), "CreateCinematicAt(117, -205)");
    EXPECT_TRUE(Has(scene, "CreateVehicleAt(4, -170, -205, true)"));
}

TEST_F(Episode10, TheShootoutOutsideAndTheFightPlayWhateverCameBefore)
{
    int r = 0;
    for (GAMEDESCRIPTIONFUNCTION* f : {M10_S4G4_Main, M10_S7G7_Main}) {
        gc->iMissionRet = 2;
        Call(f, 0, 0, &r);
        EXPECT_EQ(r, 1);
        EXPECT_EQ(gc->iMissionRet, 0);
    }
    const Trace g4 = Call(M10_S4G4_Main, 1, gc->iMissionRet, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(g4, Trace({"DestroyObject(-2)", "DestroyObject(-3)", "DestroyObject(-4)",
                         "SetShootoutMissionMode({1}, 30)"}));
    // Its teardown frees its own files and the driving set it never loaded.
    const Trace end = Call(M10_S4G4_Main, 2, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(Has(end, "DestroyMDLFile(52, true)"));
    EXPECT_TRUE(Has(end, "DestroyMDLFile(205, true)"));
    EXPECT_EQ(end.back(), TaskLine(TNUM_M10_G4, 2));
}

TEST_F(Episode10, WonThroughItEndsSolvedAndALostFightEndsItUnsolved)
{
    StartAt(10, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->GetEpisodeState(10) == ES_SOLVED; });
    EXPECT_EQ(g_visits, (Visits{{10, 0}, {10, 2}, {10, 3}, {10, 4}, {10, 5}, {10, 6}, {10, 7}, {10, 8}, {10, 9},
                                {10, 0}, {10, 2}}));
    for (TaskNumbers t : {TNUM_M10_G1, TNUM_M10_G2, TNUM_M10_G3, TNUM_M10_G4, TNUM_M10_G5, TNUM_M10_G6, TNUM_M10_G7})
        EXPECT_EQ(gc->GetTaskState(t), TS_PASSED) << t;

    g_visits.clear();
    StartAt(10, 8);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(10, 8); },
         [&] { return gc->GetEpisodeState(10) == ES_UNSOLVED; });
    EXPECT_EQ(g_visits, (Visits{{10, 8}, {10, 10}, {10, 1}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M10_G7), TS_FAILED);
}

}  // namespace
