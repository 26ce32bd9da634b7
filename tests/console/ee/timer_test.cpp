#include <gtest/gtest.h>

#include <ee/memmap.h>
#include <ee/regs.h>

#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/timer.h"
#include "ee/video.h"

namespace {

using console::Cycles;
using console::kBusHz;
using console::Timer0Reg;
using console::Timer0Read;
using console::Timer0Write;

class Timer0 : public testing::Test {
protected:
    void SetUp() override { console::ResetScheduler(); }
    void TearDown() override
    {
        console::ResetScheduler();
        console::ClearDiagLog();
    }

    // The game's start: mode 0x82 (bus / 256, counting), count 0.
    static void Start()
    {
        Timer0Write(Timer0Reg::kMode, 0x82);
        Timer0Write(Timer0Reg::kCount, 0);
    }
};

TEST_F(Timer0, CountsAt576KHz)
{
    Start();
    console::SafePoint(256 * 100 + 255);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 100u);
    console::SafePoint(1);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 101u);
    Start();
    console::SafePoint(kBusHz / 100);  // 10 ms at 576,000 ticks a second
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 5'760u);
}

TEST_F(Timer0, WrapsAt65536)
{
    Start();
    console::SafePoint(256ull * 65'535);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 65'535u);
    console::SafePoint(256);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 0u);
    console::SafePoint(256 * 5);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 5u);
}

TEST_F(Timer0, SixteenBitDifferenceMeasuresAFieldAcrossTheWrap)
{
    Timer0Write(Timer0Reg::kMode, 0x82);
    Timer0Write(Timer0Reg::kCount, 60'000);
    uint16_t before = static_cast<uint16_t>(Timer0Read(Timer0Reg::kCount));
    console::SafePoint(console::kPalField);
    uint16_t after = static_cast<uint16_t>(Timer0Read(Timer0Reg::kCount));
    EXPECT_LT(after, before);
    // A PAL field is 1/50 s: 11,520 ticks; 9,600 ticks make a 60 Hz frame.
    EXPECT_EQ(static_cast<uint16_t>(after - before), 11'520u);
}

TEST_F(Timer0, StoppedCounterHoldsItsCount)
{
    Start();
    console::SafePoint(256 * 10);
    Timer0Write(Timer0Reg::kMode, 0x02);  // CUE off
    console::SafePoint(256 * 1000);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 10u);
    Timer0Write(Timer0Reg::kMode, 0x82);
    console::SafePoint(256 * 3);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 13u);
}

TEST_F(Timer0, OtherClockSources)
{
    Timer0Write(Timer0Reg::kMode, 0x80);  // bus clock
    Timer0Write(Timer0Reg::kCount, 0);
    console::SafePoint(1234);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 1234u);

    Timer0Write(Timer0Reg::kMode, 0x81);  // bus / 16, counting on from 1,234
    console::SafePoint(16 * 10);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 1244u);

    Timer0Write(Timer0Reg::kMode, 0x83);  // horizontal blanks: PAL has 15,625 lines a second
    Timer0Write(Timer0Reg::kCount, 0);
    console::SafePoint(kBusHz);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 15'625u);
}

TEST_F(Timer0, UnmodelledModeBitsAreReportedOnce)
{
    console::ClearDiagLog();
    Timer0Write(Timer0Reg::kMode, 0x82 | 0x100);
    Timer0Write(Timer0Reg::kMode, 0x82 | 0x200);
    int warnings = 0;
    for (const std::string& line : console::DiagLog())
        warnings += line.find("[timer]") != std::string::npos;
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(Timer0Read(Timer0Reg::kMode), 0x282u);
}

TEST_F(Timer0, ResetStopsTheCounter)
{
    Start();
    console::SafePoint(256 * 10);
    console::ResetScheduler();
    console::SafePoint(256 * 10);
    EXPECT_EQ(Timer0Read(Timer0Reg::kCount), 0u);
    EXPECT_EQ(Timer0Read(Timer0Reg::kMode), 0u);
}

TEST_F(Timer0, RegisterAccessorsReachTheTimer)
{
    DPUT_T0_MODE(0x82);
    DPUT_T0_COUNT(0);
    ee_spin(256 * 1000);
    // Each accessor costs a little virtual time of its own.
    uint32_t count = DGET_T0_COUNT();
    EXPECT_GE(count, 1000u);
    EXPECT_LE(count, 1001u);
}

}  // namespace
