#include <gtest/gtest.h>

#include <ee/kernel.h>
#include <ee/types.h>

#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"

TEST(Build, ThirtyTwoBitAddressModel)
{
    EXPECT_EQ(sizeof(void*), 4u);
    EXPECT_EQ(alignof(u128), 16u);
    EXPECT_EQ(sizeof(u64), 8u);
}

TEST(ConsoleOutput, ScePrintfIsCaptured)
{
    console::ClearConsoleText();
    scePrintf("value %d %s\n", 42, "ok");
    scePrintf("partial");
    EXPECT_EQ(console::ConsoleText(), "value 42 ok\npartial");
    scePrintf("\n");
}

TEST(ConsoleOutput, LongLinesAreKeptWhole)
{
    console::ClearConsoleText();
    console::SetConsoleEcho(false);
    std::string big(2000, 'x');
    scePrintf("%s\n", big.c_str());
    console::SetConsoleEcho(true);
    EXPECT_EQ(console::ConsoleText(), big + "\n");
}

TEST(Config, OptionsFromCommandLineWinAndAreRemoved)
{
    console::ResetConfig();
    char a0[] = "prog", a1[] = "--disc", a2[] = "/tmp/disc", a3[] = "game-arg", a4[] = "--exit-after-runs=3",
         a5[] = "--headless";
    char* argv[] = {a0, a1, a2, a3, a4, a5, nullptr};
    int argc = 6;
    console::Configure(argc, argv);
    EXPECT_EQ(argc, 2);
    EXPECT_STREQ(argv[1], "game-arg");
    EXPECT_EQ(console::GetString("disc"), "/tmp/disc");
    EXPECT_EQ(console::GetInt("exit-after-runs"), 3);
    EXPECT_TRUE(console::GetFlag("headless"));
    EXPECT_FALSE(console::GetFlag("hw-lag"));
    console::ResetConfig();
}

TEST(ConfigDeathTest, UnknownOptionIsRefused)
{
    char a0[] = "prog", a1[] = "--no-such-option";
    char* argv[] = {a0, a1, nullptr};
    int argc = 2;
    EXPECT_EXIT(console::Configure(argc, argv), testing::ExitedWithCode(2), "unknown option --no-such-option");
}

TEST(Diagnostics, CaptureKeepsErrorsWithoutEndingTheRun)
{
    console::ClearDiagLog();
    {
        console::ScopedDiagCapture capture;
        console::Diag(console::Level::kError, "dma", "bad address 0x%08x", 0x1234u);
    }
    ASSERT_EQ(console::DiagLog().size(), 1u);
    EXPECT_EQ(console::DiagLog()[0], "error [dma] bad address 0x00001234");
    EXPECT_EQ(console::DiagErrorCount(), 1);
    console::ClearDiagLog();
}

TEST(DiagnosticsDeathTest, StrictErrorExitsNonZero)
{
    console::SetOption("strict", "1");
    EXPECT_EXIT(console::Diag(console::Level::kError, "vif", "unknown code 0x%02x", 0x7f), testing::ExitedWithCode(3),
                "error \\[vif\\] unknown code 0x7f");
}

TEST(DiagnosticsDeathTest, WarningsNeverEndTheRun)
{
    console::SetOption("strict", "1");
    console::ClearDiagLog();
    // Outside any capture, in strict mode: a warning is logged, counts as no
    // error, and the run carries on to the checks below.
    console::Diag(console::Level::kWarning, "gs", "odd but legal %d", 7);
    ASSERT_EQ(console::DiagLog().size(), 1u);
    EXPECT_EQ(console::DiagLog()[0], "warning [gs] odd but legal 7");
    EXPECT_EQ(console::DiagErrorCount(), 0);
    console::ClearDiagLog();
}
