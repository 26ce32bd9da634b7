// The 24/7 lap race played on the sample disc: the program's start-up on
// the disc, then the 24/7 script's race row started as a side trip would
// start it.  The player sits in car 65 at the course's start, the gate
// counts down, the test puts the car over the start line after the signal,
// and the won race books the first car ability; with no side trip to go
// back to, the row starts again.
#include <cstdio>

#include "tests/game/disc_run_support.h"
#include "tools/lib/drivecourse.h"

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

class RaceOnDisc : public discrun::DiscRun
{
protected:
    static Race247MissionController* Race()
    {
        Object* m = g_pgcTest != nullptr ? g_pgcTest->pMission : nullptr;
        return m != nullptr && m->messagehandler == &Race247MissionController::staticmh
                   ? static_cast<Race247MissionController*>(m)
                   : nullptr;
    }
};

TEST_F(RaceOnDisc, TheRaceRowIsWonOverTheStartLineAndBooksTheFirstCarAbility)
{
    ASSERT_NO_FATAL_FAILURE(StartOnSampleDisc());
    GameController* gc = g_pgcTest;
    StartRun(13, 3);

    // The race runs once the course is built; the player is at the wheel
    // of car 65 at the course's start spot, on Elm Street.
    // (He takes his seat in his first frame.)
    ASSERT_TRUE(FramesUntil(300, [] { return Race() != nullptr && dace != nullptr && dace->parent != nullptr; }));
    Race247MissionController* race = Race();
    EXPECT_EQ(gc->iMission, 13);
    EXPECT_EQ(gc->iChallengeValue, 0);
    EXPECT_EQ(gc->stats.carAbility & 0x1u, 0x1u);   // lent for the race
    Object* car = dace->GetRoot();
    ASSERT_NE(car, static_cast<Object*>(dace));
    EXPECT_EQ(car->id, 65);
    EXPECT_EQ(car->type, OBJT_VEHICLE);
    EXPECT_NEAR(car->mat.w[0], 0.0f, 1.0f);
    EXPECT_NEAR(car->mat.w[2], 35.0f, 1.0f);
    // The course spline's end is the start line, 12 ahead, crossed eastward.
    EXPECT_NEAR(race->vpStartLine[0], tools::kCourseStartLine[0], 1e-3f);
    EXPECT_NEAR(race->vpStartLine[2], 35.0f, 1e-3f);
    EXPECT_NEAR(race->vdStartDir[0], 1.0f, 1e-4f);

    // The gate stands in the car's spot: it counts down and gives the start.
    EXPECT_EQ(race->flags & RACE247_CLOCK_RUNS, 0u);
    ASSERT_TRUE(FramesUntil(400, [&] { return (race->flags & RACE247_CLOCK_RUNS) != 0; }));
    EXPECT_EQ(race->i16DaceCurrLap, 0);
    EXPECT_EQ(gc->iTimeDisplay, 5400);
    MainLoopFrame();
    EXPECT_LT(gc->iTimeDisplay, 5400);   // the clock runs from the signal

    // Over the line: a few frames just short of it, then just past it.
    const VectorPos line = race->vpStartLine;
    for (float dx : {-2.0f, -2.0f, 2.0f, 2.0f}) {
        car->mat.w = Vector(line[0] + dx, car->mat.w[1], line[2], 1.0f);
        if (car->type == OBJT_VEHICLE)
            static_cast<DynamicObject*>(car)->vel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
        MainLoopFrame();
    }
    EXPECT_EQ(race->i16DaceMaxLap, 1);
    EXPECT_EQ(race->mode, Race247MissionController::RACE_OVER);

    // Reported two seconds later; the row books the level and starts again.
    ASSERT_TRUE(FramesUntil(300, [&] { return gc->stats.curCarChallenge == 1u; }));
    EXPECT_EQ(gc->stats.carAbility & 0x1u, 0x1u);
    EXPECT_TRUE(FramesUntil(400, [] { return Race() != nullptr && Race()->mode == Race247MissionController::RACE_RUNNING; }));
    EXPECT_EQ(gc->iMission, 13);
    EXPECT_EQ(gc->pgprCurr - rgMissions[13].pgpr, 3);
    EXPECT_EQ(gc->stats.curCarChallenge, 1u);
}

}  // namespace
