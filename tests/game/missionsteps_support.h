// The harness of the story steps' tests: the trace of the services the
// steps call, the controller over an empty disc, and start-and-force helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "ZevEngine2/PS2/soundstream_support.h"
#include "ZevEngine2/EntTypes.h"
#include "game/Camera.h"
#include "tests/game/controller_support.h"
#include "game/GameFlow.h"
#include "game/Levels/BonusDT.h"
#include "game/Levels/M1Desc.h"
#include "game/Levels/M2Desc.h"
#include "game/Levels/M3Desc.h"
#include "game/QuadTree.h"
#include "game/Helicopter.h"
#include "game/cine.h"

namespace {

using Trace = std::vector<std::string>;

// What the services were asked, and where the script stood when a step was
// first called (episode, record), and the loading picture asked for at
// each start of the loading screen.
Trace g_trace;
std::vector<std::pair<int, int>> g_visits;
std::vector<int> g_overrides;

void Record(const char* call)
{
    g_trace.push_back(call);
    GameController* gc = g_pgcTest;
    if (gc == nullptr)
        return;
    if (std::string(call) == "StartLoading()") {
        g_overrides.push_back(gc->iDemoLoadScreenOverride);
        // The loading screen is not drawn here (there is no display): the
        // start finds a load under way.
        GameController::iUILoading = true;
    }
    if (gc->pgprCurr != nullptr && gc->iGPREntryIndex == 0) {
        const std::pair<int, int> at{gc->iMission, int(gc->pgprCurr - rgMissions[gc->iMission].pgpr)};
        if (g_visits.empty() || g_visits.back() != at)
            g_visits.push_back(at);
    }
}

// The lines of a trace that name one of the services.
[[maybe_unused]] Trace Only(const Trace& t, std::initializer_list<const char*> names)
{
    Trace out;
    for (const std::string& line : t)
        for (const char* n : names)
            if (line.rfind(std::string(n) + "(", 0) == 0)
                out.push_back(line);
    return out;
}

[[maybe_unused]] bool Has(const Trace& t, const std::string& line)
{
    return std::find(t.begin(), t.end(), line) != t.end();
}

[[maybe_unused]] size_t IndexOf(const Trace& t, const std::string& line)
{
    return size_t(std::find(t.begin(), t.end(), line) - t.begin());
}

[[maybe_unused]] Trace Cat(std::initializer_list<Trace> parts)
{
    Trace out;
    for (const Trace& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Where a walk went: (episode, record) of each record's first call.
using Visits = std::vector<std::pair<int, int>>;

// The trace line of a task's booked state.
inline std::string TaskLine(TaskNumbers t, int state)
{
    return "SetTaskState(" + std::to_string(int(t)) + ", " + std::to_string(state) + ")";
}

// The driving sets as the families give them.
const Trace kBonusDrivingLoad = {"StartLoading()",
                                 "FreeInteriorAnimGroups()",
                                 "CheckMemory()",
                                 "LoadDaceCarMDLFile(null, 0, 2, 0)",
                                 "LoadMDLFile(null, 5, 27, 1)",
                                 "LoadMDLFile(null, 6, 38, 10)",
                                 "LoadMDLFile(null, 7, 37, 10)",
                                 "LoadFillAmbientCars(1, -1)",
                                 "LoadFillAmbientPeds(80, -1)",
                                 "ResetTime()"};
const Trace kM1DrivingLoad = {"StartLoading()",
                              "FreeInteriorAnimGroups()",
                              "CheckMemory()",
                              "LoadDaceCarMDLFile(null, 0, 2, 0)",
                              "LoadMDLFile(null, 5, 27, 1)",
                              "LoadMDLFile(null, 6, 38, 10)",
                              "LoadMDLFile(null, 7, 37, 10)",
                              "LoadFillAmbientCars(1, -1)",
                              "LoadFillAmbientPeds(80, -1)",
                              "EndLoading()",
                              "ResetTime()"};
[[maybe_unused]] Trace DrivingDestroy()
{
    Trace t;
    for (int s : {0, 1, 2, 3, 4, 5, 6, 7, 80, 81, 82, 83, 84, 205})
        t.push_back("DestroyMDLFile(" + std::to_string(s) + ", true)");
    t.push_back("CheckMemory()");
    return t;
}
const Trace kAmbient = {"CreateMasterPedestrianGenerator(80, 100, 5, 8, false)",
                        "CreateMasterVehicleGenerator(1, 100, 5, 14)"};

// The controller over an empty disc: the platform, the streamer and the
// sound system run, so every scene's cinematic is looked for and, missing,
// ends as it starts; the continue pictures wait their blanks.
class Steps : public streamtest::StreamerTest
{
protected:
    void SetUp() override
    {
        StreamerTest::SetUp();
        // The platform as the game starts it (the pads among its modules),
        // then the streamer and the sound system on an empty disc.
        Platform::Init();
        ASSERT_NO_FATAL_FAILURE(StartWith({}));
        sound = SoundSystem(streamsound::kPreMadeBankSize, streamsound::kPreMadeBanks, true);
        ASSERT_EQ(SoundInit(), 1);
        Controller::Init();
        controller[0].pad = 0;
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        gametest::ForgetEpisodePlacements();
        // The controller's camera follows no one until a player is made
        // (an earlier test's player is gone).
        g_DefaultCamera.target = nullptr;
        saved = g_pgcTest;
        gc = new GameController(nullptr);
        ASSERT_NE(gc, nullptr);
        g_pgcTest = gc;
        g_trace.clear();
        g_visits.clear();
        g_overrides.clear();
        g_pfnServiceCall = Record;
    }
    void TearDown() override
    {
        g_pfnServiceCall = nullptr;
        world.StopTimer(gc);
        gc->CleanupLevel();
        world.StopTimer(gc);
        gc->Delete();
        g_pgcTest = saved;
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        GameController::iUILoading = false;
        sound = SoundSystem(streamsound::kPreMadeBankSize, streamsound::kPreMadeBanks, true);
        while (StreamerIsBusy()) {
        }
        platform_test::PowerOff();
        StreamerTest::TearDown();
    }
    // One call of a step, its trace alone.
    Trace Call(GAMEDESCRIPTIONFUNCTION* f, int entry, int success, int* result = nullptr)
    {
        g_trace.clear();
        const int r = f(*gc, entry, success);
        if (result != nullptr)
            *result = r;
        return g_trace;
    }
    void Send(int code)
    {
        SpecialMessage m(code, nullptr);
        gc->SendMessage(OM_SPECIAL, &m);
    }
    // The script started at a record, as the launcher starts a run.
    void StartAt(int episode, int record)
    {
        ASSERT_TRUE(gc->SwitchToMission(episode, record, 0));
        gc->iGPREntryIndex = 0;
        Send(SMSG_GC_RUN_SCRIPT);
    }
    // Ticks the world until the controller is back from a game's end (its
    // fade and teardown) or a cinematic drive, or the run has ended.
    void Settle()
    {
        for (int i = 0; i < 2000 && gc->iMainExitVal == 0; i++) {
            const int m = gc->mode;
            if (m != s8(GCM_MODE_ENDED) && m != s8(GCM_TEARDOWN) && m != GCM_CINEDRIVE && !gc->bCinematic &&
                world.mode != WORLD_MODE_CINEMA)
                return;
            world.Update();
        }
    }
    // A running game's result, posted as its mode controller posts it.
    void Result(bool won)
    {
        Send(won ? SMSG_GC_SUBGAME_WON : SMSG_GC_SUBGAME_LOST);
        Settle();
    }
    // Plays on from where the script stands: every game gets the result
    // lose(episode, record) asks for, until the run ends or stop says so.
    template <class Lose, class Stop>
    void Play(Lose lose, Stop stop)
    {
        for (int games = 0; games < 40 && gc->iMainExitVal == 0; games++) {
            Settle();
            if (gc->iMainExitVal != 0 || stop())
                return;
            ASSERT_NE(gc->pMission, nullptr) << "no game runs at episode " << gc->iMission << " record "
                                             << int(gc->pgprCurr - rgMissions[gc->iMission].pgpr);
            const std::pair<int, int> at{gc->iMission, int(gc->pgprCurr - rgMissions[gc->iMission].pgpr)};
            Result(!lose(at));
        }
    }

    GameController* gc = nullptr;
    GameController* saved = nullptr;
};

}  // namespace
