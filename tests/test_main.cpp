// Entry of every test program: tests run the stand-in in strict mode, so any
// diagnostic of error level ends the test run with a clear message.
#include <gtest/gtest.h>

#include "core/config.h"
#include "core/scheduler.h"

namespace {

// The watchdog is armed by the first safe point and watches for the rest of
// the process.  Each test starts with it disarmed, so that a test which only
// does host-side work (building a disc, running the game as a program of its
// own) is not timed against a machine an earlier test left behind.
class WatchdogPerTest : public testing::EmptyTestEventListener
{
    void OnTestStart(const testing::TestInfo&) override { console::DisarmWatchdog(); }
    void OnTestEnd(const testing::TestInfo&) override { console::DisarmWatchdog(); }
};

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    console::Configure(argc, argv, console::ConfigureMode::kTest);
    testing::UnitTest::GetInstance()->listeners().Append(new WatchdogPerTest);
    return RUN_ALL_TESTS();
}
