#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <ee/graph.h>
#include <ee/kernel.h>
#include <ee/memmap.h>
#include <ee/regs.h>

#include "core/scheduler.h"
#include "ee/intc.h"
#include "ee/video.h"

namespace {

using console::Cycles;
using console::kBusHz;
using console::VideoMode;

volatile unsigned g_vsynccount = 0;

int VblankHandler(int)
{
    g_vsynccount = g_vsynccount + 1;
    EE_SYNC();
    EE_EI_IN_HANDLER();
    return -1;
}

class Video : public testing::Test {
protected:
    void SetUp() override
    {
        console::ResetScheduler();
        g_vsynccount = 0;
    }
    void TearDown() override
    {
        console::SetPresentHook(nullptr);
        console::SetPadLatchHook(nullptr);
        console::SetMixerHook(nullptr);
        console::ResetScheduler();
    }

    // The game's vertical-blank set-up: handler at the head of cause 2, one
    // field wait, then the cause enabled.
    static void InstallVblankHandler()
    {
        AddIntcHandler(console::kIntcVblankStart, VblankHandler, 0);
        sceGsSyncV(0);
        EnableIntc(console::kIntcVblankStart);
    }
};

TEST_F(Video, PalGivesFiftyHandlerCallsPerVirtualSecond)
{
    AddIntcHandler(console::kIntcVblankStart, VblankHandler, 0);
    EnableIntc(console::kIntcVblankStart);
    const Cycles start = console::Now();
    while (console::Now() < start + kBusHz)
        ee_spin(1000);
    EXPECT_EQ(g_vsynccount, 50u);
    EXPECT_EQ(console::FieldCount(), 50u);
}

TEST_F(Video, NtscGivesSixtyThousandHandlerCallsIn1001Seconds)
{
    console::SetVideoMode(VideoMode::kNtsc);
    AddIntcHandler(console::kIntcVblankStart, VblankHandler, 0);
    EnableIntc(console::kIntcVblankStart);
    // One jump over every boundary: each is still dispatched on its own.
    console::SafePoint(1001 * kBusHz - 1);
    EXPECT_EQ(g_vsynccount, 59'999u);
    console::SafePoint(1);
    EXPECT_EQ(g_vsynccount, 60'000u);
}

TEST_F(Video, BoundariesFollowTheExactFieldRates)
{
    // floor(k × 147,456,000 × 1,001 / 60,000) computed independently.
    for (uint64_t k : {1ull, 2ull, 3ull, 7ull, 10ull, 59'999ull, 60'000ull, 123'456'789ull}) {
        long double exact = static_cast<long double>(k) * 147'456'000.0L * 1001.0L / 60'000.0L;
        EXPECT_EQ(console::FieldBoundaryOffset(VideoMode::kNtsc, k), static_cast<Cycles>(exact)) << k;
        EXPECT_EQ(console::FieldBoundaryOffset(VideoMode::k480p, k), static_cast<Cycles>(exact)) << k;
        EXPECT_EQ(console::FieldBoundaryOffset(VideoMode::kPal, k), k * kBusHz / 50) << k;
    }
}

TEST_F(Video, NoFieldPassesBeforeTheTimingStarts)
{
    ee_spin(10'000'000);
    EXPECT_EQ(console::FieldCount(), 0u);
    EXPECT_FALSE(console::VideoTimingStarted());
    AddIntcHandler(console::kIntcVblankStart, VblankHandler, 0);
    EXPECT_EQ(console::NextFieldBoundary(), 10'000'000u + console::kPalField);
}

TEST_F(Video, GameCounterAgreesWithFieldCount)
{
    InstallVblankHandler();
    EXPECT_EQ(g_vsynccount, 1u);
    for (int i = 0; i < 5000; ++i) {
        ee_spin(1000 + i % 7);
        ASSERT_EQ(g_vsynccount, console::FieldCount());
    }
    EXPECT_GT(g_vsynccount, 1u);
}

TEST_F(Video, FieldTogglesInInterlacedModesOnly)
{
    console::SetVideoMode(VideoMode::kPal);
    std::vector<uint32_t> fields;
    for (int i = 0; i < 4; ++i) {
        console::WaitUntil("a field", [n = console::FieldCount()] { return console::FieldCount() > n; });
        fields.push_back(console::CsrField());
    }
    EXPECT_EQ(fields, (std::vector<uint32_t>{1, 0, 1, 0}));

    console::SetVideoMode(VideoMode::k480p);
    fields.clear();
    for (int i = 0; i < 3; ++i) {
        console::WaitUntil("a field", [n = console::FieldCount()] { return console::FieldCount() > n; });
        fields.push_back(console::CsrField());
    }
    // The boundary that switches to 480p clears FIELD, and it stays 0.
    EXPECT_EQ(fields, (std::vector<uint32_t>{0, 0, 0}));
}

TEST_F(Video, BoundaryRunsPresentPadMixerFieldInterruptInOrder)
{
    std::string order;
    auto probe = [&](const char* name) {
        return [&order, name](uint64_t field, Cycles boundary) {
            EXPECT_EQ(boundary, console::kPalField);
            order += name;
            order += std::to_string(field);
            order += console::CsrField() ? "F" : "f";
            order += (console::IntcStat() & (1u << console::kIntcVblankStart)) ? "I " : "i ";
        };
    };
    console::SetPresentHook(probe("present"));
    console::SetPadLatchHook(probe("pad"));
    console::SetMixerHook(probe("mixer"));
    console::StartVideoTiming();
    console::SafePoint(console::kPalField + 1000);
    EXPECT_EQ(order, "present1fi pad1fi mixer1fi ");
    EXPECT_EQ(console::CsrField(), 1u);
    EXPECT_EQ(console::IntcStat(), 1u << console::kIntcVblankStart);  // masked: stays pending
}

TEST_F(Video, ModeChangeTakesEffectAtTheNextBoundary)
{
    console::SetVideoMode(VideoMode::kPal);
    console::SafePoint(console::kPalField + console::kPalField / 2);
    console::SetVideoMode(VideoMode::kNtsc);
    EXPECT_EQ(console::CurrentVideoMode(), VideoMode::kPal);
    EXPECT_EQ(console::NextFieldBoundary(), 2 * console::kPalField);
    console::WaitUntil("the boundary", [] { return console::FieldCount() == 2; });
    EXPECT_EQ(console::CurrentVideoMode(), VideoMode::kNtsc);
    // NTSC fields are 1,001 / 60,000 s; boundary k of the new mode lies at
    // floor(k x bus clock x 1,001 / 60,000) after the switch.
    auto ntsc = [](uint64_t k) { return static_cast<Cycles>(k * kBusHz * 1001 / 60'000); };
    EXPECT_EQ(console::NextFieldBoundary(), 2 * console::kPalField + ntsc(1));
    console::WaitUntil("ten more", [] { return console::FieldCount() == 12; });
    EXPECT_EQ(console::Now(), 2 * console::kPalField + ntsc(10));
}

TEST_F(Video, GsSyncVWaitsForTheNextBoundaryAndAlternatesFields)
{
    int first = sceGsSyncV(0);
    EXPECT_EQ(console::Now(), console::kPalField);
    int second = sceGsSyncV(0);
    EXPECT_EQ(console::Now(), 2 * console::kPalField);
    int third = sceGsSyncV(0);
    EXPECT_NE(first, second);
    EXPECT_EQ(first, third);
    EXPECT_EQ((DGET_GS_CSR() >> 13) & 1, static_cast<u64>(third));
    ee_spin(1000);
    sceGsSyncV(0);
    EXPECT_EQ(console::Now(), 4 * console::kPalField);
}

TEST_F(Video, RealTimeDispatchesEveryMissedVerticalBlank)
{
    console::SetClockPolicy(console::ClockPolicy::kRealTime);
    InstallVblankHandler();
    // Fields that passed while the handler was being installed (a busy host
    // may stall the test that long) were never the handler's to see.
    const uint64_t fields0 = console::FieldCount();
    const unsigned calls0 = g_vsynccount;
    // The "game" computes for several fields without a safe point.
    std::this_thread::sleep_for(std::chrono::milliseconds(90));
    ee_spin(1);
    EXPECT_GE(console::FieldCount() - fields0, 4u);
    EXPECT_EQ(g_vsynccount - calls0, console::FieldCount() - fields0);
}

}  // namespace
