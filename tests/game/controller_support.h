// The game controller the tests share: the start-up's one (g_pgcTest), made
// zero-filled with no script when no start-up has run in this process.
#pragma once

#include "game/GameFlow.h"

namespace gametest {

inline GameController* Controller()
{
    if (g_pgcTest == nullptr)
        g_pgcTest = new GameController;
    return g_pgcTest;
}

}  // namespace gametest
