// Episode 11's steps: the race replayed after a side trip, the drive to the
// restaurant after its scene, the convoy's two scenes, and walks through
// the script.
#include "tests/game/missionsteps_support.h"

#include "game/Levels/M11Desc.h"

namespace {

class Episode11 : public Steps
{
};

TEST_F(Episode11, ReplaysRestaurantDriveConvoyAndTheLimousine)
{
    int r = 0;
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    const Trace race = Call(M11_S1G1_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(Only(race, {"SetDriveToMissionMode"}),
              Trace({"SetDriveToMissionMode({-201, 5400, \"Gulag Club\"}, 10, false)"}));
    EXPECT_EQ(gc->mode, 10);
    gc->iFlags = 0;
    EXPECT_EQ(Call(M11_S1G1_Main, 0, 0, &r).back(), "CreateCinematicAt(126, -200)");
    EXPECT_EQ(r, 1);

    // The scene before the drive to the restaurant keeps the driving set.
    Call(M11_S4a_Main, 0, 0, &r);
    EXPECT_EQ(r, 1);
    const Trace drive = Call(M11_S4a_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_FALSE(Has(drive, "SyncGridPosAt(-207, false)"));
    EXPECT_TRUE(Has(drive, "SetDriveToMissionMode({-208, 0, \"Pagoda Restaurant\"}, 0, false)"));
    const Trace end = Call(M11_S4a_Main, 2, 1, &r);
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(Has(end, "DestroyMDLFile(80, true)"));
    EXPECT_TRUE(Has(end, "DestroyMDLFile(3, true)"));
    EXPECT_EQ(gc->GetTaskState(TNUM_M11_G4), TS_PASSED);

    // The phone-call drive goes on to its game after a side trip.
    gc->iFlags = GCF_SIDETRIP_RUNNING;
    gc->iMissionRet = 0;
    const Trace call = Call(M11_S4bG4_Main, 0, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_FALSE(Has(call, "SetCineDriveMode(-1, 6)"));
    gc->iFlags = 0;

    // The convoy: the cinematic and the player's car differ.
    const Trace b = Call(M11_S7B02G7_Main, 0, 0, &r);
    const Trace a = Call(M11_S7AG7_Main, 0, 0, &r);
    EXPECT_FALSE(Has(b, "LoadDaceCarMDLFile(null, 0, 2, 0)"));
    EXPECT_TRUE(Has(a, "LoadDaceCarMDLFile(null, 0, 2, 0)"));
    EXPECT_EQ(Only(b, {"CreateCinematicAt"}), Trace({"CreateCinematicAt(137, -211)"}));
    EXPECT_EQ(Only(a, {"CreateCinematicAt"}), Trace({"CreateCinematicAt(135, -211)"}));
    EXPECT_EQ(M11_G7_A_EscapeParams.i32NumBadGuyGens, 3);
    EXPECT_EQ(M11_G7_regsp_shooter2.id, -102);
    EXPECT_EQ(M11_G7_regsp_shooter.character, 3);

    // The limousine's initial speed goes to its passenger, who ignores it.
    Call(M11_S2G2_Main, 0, 0, &r);
    const Trace limo = Call(M11_S2G2_Main, 1, 0, &r);
    EXPECT_EQ(r, 2);
    EXPECT_TRUE(Has(limo, "SetVehicleInitialSpeed(-2, 0.20955)"));
    EXPECT_FALSE(Has(limo, "SetVehicleInitialSpeed(-167, 0.20955)"));
}

TEST_F(Episode11, WonThroughItEndsSolvedALostConvoyUnsolvedAndALostChaseGoesToTheCall)
{
    const GamePlayRecord* rows = rgMissions[11].pgpr;
    StartAt(11, 0);
    Play([](std::pair<int, int>) { return false; }, [&] { return gc->GetEpisodeState(11) == ES_SOLVED; });
    EXPECT_EQ(g_visits, (Visits{{11, 0}, {11, 1}, {11, 2}, {11, 3}, {11, 6}, {11, 7}, {11, 9}, {11, 10}, {11, 14},
                                {11, 15}, {12, 0}, {12, 2}}));
    for (TaskNumbers t : {TNUM_M11_G1, TNUM_M11_G2, TNUM_M11_G3, TNUM_M11_G4, TNUM_M11_G5, TNUM_M11_G6, TNUM_M11_G7})
        EXPECT_EQ(gc->GetTaskState(t), TS_PASSED) << t;

    g_visits.clear();
    StartAt(11, 12);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(11, 12); },
         [&] { return gc->GetEpisodeState(11) == ES_UNSOLVED; });
    EXPECT_EQ(g_visits, (Visits{{11, 12}, {12, 1}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M11_G7), TS_FAILED);

    g_visits.clear();
    StartAt(11, 1);
    Play([](std::pair<int, int> at) { return at == std::pair<int, int>(11, 1); },
         [&] { return gc->pgprCurr == &rows[4]; });
    EXPECT_EQ(g_visits, (Visits{{11, 1}, {11, 4}}));
    EXPECT_EQ(gc->GetTaskState(TNUM_M11_G2), TS_FAILED);
    EXPECT_TRUE(Has(g_trace, "SetCineDriveMode(-1, 6)"));
}

}  // namespace
