// A harness for the game modes: the game controller with a map display, a
// player at id -1 (in a car or on foot), placeholders, world ticks, and a
// recorder that stands between a controller and the game controller and
// notes every result and game event with its frame.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/game/levelcamera_support.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/controller_support.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace modetest {

struct Heard
{
    int code;
    Object* obj;
    int param0;
    int frame;
};

// Every special message the recorder hears, in order; passed on to the game
// controller when pass is set.
inline std::vector<Heard> g_heard;
inline bool g_pass = true;

inline int Recorder_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL)
        return 0;
    auto* m = static_cast<SpecialMessage*>(data);
    g_heard.push_back({m->submsg, m->obj, int(m->param[0]), world.time});
    if (g_pass && g_pgcTest != nullptr)
        g_pgcTest->SendMessage(OM_SPECIAL, m);
    return 0;
}

using levelcam::MakeSpline;

class ModeWorld : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.playbackSpeed = 1.0f;
        srand(7);
        gc = gametest::Controller();
        gc->messagehandler = GameController::staticmh;
        gc->iFlags = 0;
        gc->pMission = nullptr;
        gc->mode = 0;
        gc->bCinematic = false;
        gc->iMissionRet = 0;
        gc->iTimeDisplay = 0;
        gc->stats.nPoints = 0;
        // The controller's own map, bars and fade are put back afterwards:
        // it deletes them itself when the run ends.
        savedMap = gc->pmd;
        savedBars = gc->plb;
        savedFade = gc->pfs;
        gc->plb = nullptr;
        gc->pfs = nullptr;
        gc->bForceLevel = false;
        md = new MapDisplay();
        gc->pmd = md;
        // The voice lines are chosen (votype) but not streamed: no sound
        // module runs here.
        voTracks = DaceVO.numtracks;
        DaceVO.numtracks = 0;
        DaceVO.votype = 0;
        g_heard.clear();
        g_pass = true;
        recorder = new Object(Recorder_mh);
        player = new Dace;
        player->id = -1;
        player->type = OBJT_CHARACTER;
        player->mat = Matrix(true);
        dace = player;
    }
    void TearDown() override
    {
        world.StopTimer(gc);
        world.Clear();
        gc->pMission = nullptr;
        gc->pmd = savedMap;
        gc->plb = savedBars;
        gc->pfs = savedFade;
        gc->iFlags = 0;
        gc->mode = 0;
        // A suspect or enemy made of the test rig's bare model is refused as
        // unfit for its game; the refusal goes with this test's game.
        gc->pszDataRefused = nullptr;
        delete md;
        dace = nullptr;
        if (car != nullptr) {
            player->Detach();
            car->Delete();
        }
        player->Delete();
        recorder->Delete();
        DaceVO.numtracks = voTracks;
    }

    static void Ticks(int n)
    {
        for (int i = 0; i < n; i++)
            world.Update();
    }
    // Ticks until the game controller has a result (at most n); the frame
    // it came at, -1 none.
    int TicksToResult(int n)
    {
        for (int i = 0; i < n; i++) {
            world.Update();
            if (gc->iMissionRet != 0)
                return world.time;
        }
        return -1;
    }
    int Count(int code) const
    {
        int k = 0;
        for (const Heard& h : g_heard)
            k += h.code == code ? 1 : 0;
        return k;
    }
    static Object* Placeholder(int id, VectorPos at)
    {
        Object* ph = new Object;
        ph->id = s16(id);
        ph->type = OBJT_PLACEHOLDER;
        ph->mat = TransMatrix(at);
        world.placeholderlist.AddTail(ph);
        return ph;
    }
    // The player into a car standing at at (not in the world: the car only
    // carries him).
    void PutInCar(VectorPos at)
    {
        car = new Vehicle;
        car->type = OBJT_VEHICLE;
        car->mat = TransMatrix(at);
        player->mat = Matrix(true);
        car->Attach(player);
    }
    void MovePlayerTo(VectorPos at)
    {
        if (car != nullptr)
            car->mat.SetTrans(at);
        else
            player->mat.SetTrans(at);
    }

    GameController* gc = nullptr;
    MapDisplay* md = nullptr;
    MapDisplay* savedMap = nullptr;
    LetterBox* savedBars = nullptr;
    FadeScreen* savedFade = nullptr;
    Dace* player = nullptr;
    Vehicle* car = nullptr;
    Object* recorder = nullptr;
    u32 voTracks = 0;
};

}  // namespace modetest
