// Entry of every test program: tests run the stand-in in strict mode, so any
// diagnostic of error level ends the test run with a clear message.
#include <gtest/gtest.h>

#include "core/config.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    console::Configure(argc, argv, console::ConfigureMode::kTest);
    return RUN_ALL_TESTS();
}
