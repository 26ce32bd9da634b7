// The game controller the tests share (gametest::Controller): made by the
// first test that needs one, deleted when the run ends, with the map, bars,
// fade and list it made.
#include <gtest/gtest.h>

#include "game/GameFlow.h"
#include "tests/game/controller_support.h"

namespace {

class SharedController : public testing::Environment
{
public:
    void TearDown() override
    {
        // Only one made by the shared helper: a start-up's controller went
        // with the machine its test powered off.
        if (g_pgcTest != nullptr && g_pgcTest == gametest::ControllerMade())
            delete g_pgcTest;
        g_pgcTest = nullptr;
    }
};

const testing::Environment* const g_sharedController = testing::AddGlobalTestEnvironment(new SharedController);

}  // namespace
