// The game controller the tests share: the start-up's one (g_pgcTest), made
// zero-filled with no script when no start-up has run in this process.
#pragma once

#include "game/GameFlow.h"
#include "game/QuadTree.h"

namespace gametest {

// The last controller made here (the start-up makes its own).
inline GameController*& ControllerMade()
{
    static GameController* made = nullptr;
    return made;
}

inline GameController* Controller()
{
    if (g_pgcTest == nullptr)
        g_pgcTest = ControllerMade() = new GameController;
    return g_pgcTest;
}

// No episode's placements, as at a program's start: none loaded, none
// remembered, and a drive without a destination goes on as without a file.
inline void ForgetEpisodePlacements()
{
    GameController::ForgetMissionFile();
    world.placeholderlist.DeleteAll();
    world.missionFileMissing = true;
}

}  // namespace gametest
