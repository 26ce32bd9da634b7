// The game controller the tests share (gametest::Controller): made by the
// first test that needs one, deleted when the run ends, with the map, bars,
// fade and list it made.
#include <gtest/gtest.h>

#include "game/GameFlow.h"

namespace {

class SharedController : public testing::Environment
{
public:
    void TearDown() override
    {
        delete g_pgcTest;
        g_pgcTest = nullptr;
    }
};

const testing::Environment* const g_sharedController = testing::AddGlobalTestEnvironment(new SharedController);

}  // namespace
