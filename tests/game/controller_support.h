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

// Lends the controller a part of the test's own (its map display, letter
// box, screen fade or object list) for a scope, and gives it back its own
// after: the controller keeps what its constructor made.
template <class T>
class Lend
{
public:
    Lend(T*& part, T* lent) : part_(part), own_(part) { part_ = lent; }
    ~Lend() { part_ = own_; }
    Lend(const Lend&) = delete;
    Lend& operator=(const Lend&) = delete;

private:
    T*& part_;
    T* own_;
};

// No episode's placements, as at a program's start: none loaded, none
// remembered, and a drive without a destination goes on as without a file.
inline void ForgetEpisodePlacements()
{
    GameController::ForgetMissionFile();
    world.placeholderlist.DeleteAll();
    world.missionFileMissing = true;
}

}  // namespace gametest
