// The game controller the tests share: the start-up's one (g_pgcTest), made
// zero-filled with no script when no start-up has run in this process.
#pragma once

#include <algorithm>
#include <vector>

#include "game/GameFlow.h"

namespace gametest {

// Every controller made here.  A fixture that puts back the controller it
// found (often none) leaves the one its test made behind; each is kept here
// and deleted when the run ends.
inline std::vector<GameController*>& ControllersMade()
{
    static std::vector<GameController*> made;
    return made;
}

inline GameController* Controller()
{
    if (g_pgcTest == nullptr) {
        g_pgcTest = new GameController;
        ControllersMade().push_back(g_pgcTest);
    }
    return g_pgcTest;
}

// Deletes the current controller; the next Controller() makes a fresh one.
inline void DeleteController()
{
    std::vector<GameController*>& made = ControllersMade();
    made.erase(std::remove(made.begin(), made.end(), g_pgcTest), made.end());
    delete g_pgcTest;
    g_pgcTest = nullptr;
}

}  // namespace gametest
