#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include <ee/graph.h>
#include <ee/memmap.h>
#include <ee/pad.h>

#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/video.h"
#include "host/headless/pad_script.h"
#include "host/host.h"
#include "pad/pad.h"

namespace {

class RumbleProbe final : public console::host::RumbleSink {
public:
    void Set(int port, bool small_on, uint8_t large_level) override { calls.emplace_back(port, small_on, large_level); }
    std::vector<std::tuple<int, bool, int>> calls;
};

alignas(64) u_long128 g_dma[2][16];

class PadLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        console::ResetScheduler();
        console::pad::SetManagerLoaded(true);
        Script("");
    }
    void TearDown() override
    {
        console::host::SetBackend(console::host::Backend{});
        console::ResetConfig();
        console::ResetScheduler();
    }

    void Script(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(script_.Parse(text, "test", &error)) << error;
        console::host::Backend backend;
        backend.input = &script_;
        backend.rumble = &rumble_;
        console::host::SetBackend(backend);
    }

    static void ToField(uint64_t field)
    {
        while (console::FieldCount() < field)
            sceGsSyncV(0);
    }

    // Starts the library with both ports open and waits until pad 0 has
    // been identified.
    void OpenBoth()
    {
        ASSERT_EQ(scePadInit(0), 1);
        ASSERT_EQ(scePadPortOpen(0, 0, g_dma[0]), 1);
        ASSERT_EQ(scePadPortOpen(1, 0, g_dma[1]), 1);
        while (scePadGetState(0, 0) != PAD_STATE_FOUND)
            sceGsSyncV(0);
    }

    // Fields until the state leaves `state`, starting now.
    static int FieldsIn(int port, int state)
    {
        uint64_t start = console::FieldCount();
        while (scePadGetState(port, 0) == state)
            ee_spin(10000);
        return static_cast<int>(console::FieldCount() - start);
    }

    console::host::PadScriptInput script_;
    RumbleProbe rumble_;
};

TEST_F(PadLibrary, InitNeedsThePadManagerModule)
{
    console::pad::SetManagerLoaded(false);
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    EXPECT_EQ(scePadInit(0), 0);
    EXPECT_EQ(console::DiagErrorCount(), 1);
    console::pad::SetManagerLoaded(true);
    EXPECT_EQ(scePadInit(0), 1);
}

TEST_F(PadLibrary, MisuseIsReported)
{
    console::ScopedDiagCapture capture;
    console::ClearDiagLog();
    unsigned char data[32];
    EXPECT_EQ(scePadPortOpen(0, 0, g_dma[0]), 0);  // before scePadInit
    ASSERT_EQ(scePadInit(0), 1);
    EXPECT_EQ(scePadPortOpen(2, 0, g_dma[0]), 0);
    EXPECT_EQ(scePadPortOpen(0, 1, g_dma[0]), 0);
    EXPECT_EQ(scePadPortOpen(0, 0, reinterpret_cast<u_long128*>(reinterpret_cast<char*>(g_dma[0]) + 16)), 0);
    EXPECT_EQ(scePadRead(1, 0, data), 0);  // not open
    EXPECT_EQ(console::DiagErrorCount(), 5);
    EXPECT_EQ(scePadPortOpen(0, 0, g_dma[0]), 1);
    EXPECT_EQ(scePadPortOpen(0, 0, g_dma[0]), 0);  // twice
    EXPECT_EQ(console::DiagErrorCount(), 6);
}

TEST_F(PadLibrary, APlugTakesTwoFieldsToIdentifyInDigitalMode)
{
    Script("@10 pad1 connect\n");
    OpenBoth();
    ToField(9);
    EXPECT_EQ(scePadGetState(1, 0), PAD_STATE_DISCONNECTED);
    ToField(10);
    EXPECT_EQ(scePadGetState(1, 0), PAD_STATE_FINDING);
    ToField(11);
    EXPECT_EQ(scePadGetState(1, 0), PAD_STATE_FINDING);
    ToField(12);
    EXPECT_EQ(scePadGetState(1, 0), PAD_STATE_FOUND);
    unsigned char data[32] = {};
    EXPECT_EQ(scePadRead(1, 0, data), 4);
    EXPECT_EQ(data[1], 0x41);
    EXPECT_EQ(scePadInfoMode(1, 0, PAD_INFO_CURRENT_ID, 0), 4);
}

TEST_F(PadLibrary, APressScriptedAtAFieldIsInTheDataLatchedAtThatField)
{
    Script("@120 pad0 press CROSS\n@121 pad0 release CROSS\n");
    OpenBoth();
    unsigned char data[32];
    ToField(119);
    ASSERT_EQ(scePadRead(0, 0, data), 4);
    EXPECT_EQ(data[3], 0xFF);
    ToField(120);
    // Two reads within the field see the same latched data.
    ee_spin(1000);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(scePadRead(0, 0, data), 4);
        EXPECT_EQ(data[2], 0xFF);
        EXPECT_EQ(data[3], 0xFF & ~0x40);  // cross is bit 6 of the second byte, active low
    }
    ToField(121);
    ASSERT_EQ(scePadRead(0, 0, data), 4);
    EXPECT_EQ(data[3], 0xFF);
}

TEST_F(PadLibrary, SetUpCommandsExecuteForFourFields)
{
    OpenBoth();
    ASSERT_EQ(scePadSetMainMode(0, 0, 1, 3), 1);
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_EXECUTING);
    // A second command while one runs is refused.
    EXPECT_EQ(scePadEnterPressMode(0, 0), 0);
    EXPECT_EQ(FieldsIn(0, PAD_STATE_EXECUTING), 4);
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_STABLE);
    EXPECT_EQ(scePadInfoMode(0, 0, PAD_INFO_CURRENT_ID, 0), 7);

    ASSERT_EQ(scePadEnterPressMode(0, 0), 1);
    EXPECT_EQ(FieldsIn(0, PAD_STATE_EXECUTING), 4);
    unsigned char data[32];
    EXPECT_EQ(scePadRead(0, 0, data), 20);
    EXPECT_EQ(data[1], 0x79);

    ASSERT_EQ(scePadExitPressMode(0, 0), 1);
    EXPECT_EQ(FieldsIn(0, PAD_STATE_EXECUTING), 4);
    EXPECT_EQ(scePadRead(0, 0, data), 8);
    EXPECT_EQ(data[1], 0x73);
}

TEST_F(PadLibrary, CommandTimeFollowsTheOption)
{
    console::SetOption("pad-cmd-fields", "7");
    console::ResetScheduler();
    console::pad::SetManagerLoaded(true);
    Script("");
    OpenBoth();
    ASSERT_EQ(scePadSetMainMode(0, 0, 1, 3), 1);
    EXPECT_EQ(FieldsIn(0, PAD_STATE_EXECUTING), 7);
}

TEST_F(PadLibrary, CommandsNeedAReadyPad)
{
    Script("@1 pad0 disconnect\n");
    ASSERT_EQ(scePadInit(0), 1);
    ASSERT_EQ(scePadPortOpen(0, 0, g_dma[0]), 1);
    ToField(2);
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_DISCONNECTED);
    EXPECT_EQ(scePadSetMainMode(0, 0, 1, 3), 0);
    EXPECT_EQ(scePadEnterPressMode(0, 0), 0);
    EXPECT_EQ(scePadInfoPressMode(0, 0), 0);
    unsigned char data[32];
    EXPECT_EQ(scePadRead(0, 0, data), 0);
}

TEST_F(PadLibrary, DataCarriesButtonsSticksAndPressuresInPadOrder)
{
    Script("@20 pad0 press SELECT\n@20 pad0 press LEFT\n@20 pad0 press L2\n@20 pad0 press SQUARE\n"
           "@20 pad0 pressure SQUARE 0x40\n@20 pad0 stick L 0x10 0x20\n@20 pad0 stick R 0x30 0x40\n");
    OpenBoth();
    ASSERT_EQ(scePadSetMainMode(0, 0, 1, 3), 1);
    FieldsIn(0, PAD_STATE_EXECUTING);
    ASSERT_EQ(scePadEnterPressMode(0, 0), 1);
    FieldsIn(0, PAD_STATE_EXECUTING);
    ToField(20);
    unsigned char data[32];
    ASSERT_EQ(scePadRead(0, 0, data), 20);
    EXPECT_EQ(data[0], 0);
    // Select is bit 0 and left bit 7 of byte 2; L2 bit 0 and square bit 7 of
    // byte 3; 0 means pressed.
    EXPECT_EQ(data[2], 0x7E);
    EXPECT_EQ(data[3], 0x7E);
    EXPECT_EQ(data[4], 0x30);  // right x
    EXPECT_EQ(data[5], 0x40);  // right y
    EXPECT_EQ(data[6], 0x10);  // left x
    EXPECT_EQ(data[7], 0x20);  // left y
    const unsigned char pressures[12] = {0, 0xFF, 0, 0, 0, 0, 0, 0x40, 0, 0, 0xFF, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(data[8 + i], pressures[i]) << "pressure byte " << i;
}

TEST_F(PadLibrary, UnplugGivesStateZeroAndReplugStartsOverDigital)
{
    Script("@30 pad0 disconnect\n@40 pad0 connect\n");
    OpenBoth();
    ASSERT_EQ(scePadSetMainMode(0, 0, 1, 3), 1);
    FieldsIn(0, PAD_STATE_EXECUTING);
    ToField(29);
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_STABLE);
    ToField(30);
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_DISCONNECTED);
    unsigned char data[32];
    EXPECT_EQ(scePadRead(0, 0, data), 0);
    ToField(40);
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_FINDING);
    ToField(42);
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_FOUND);
    EXPECT_EQ(scePadRead(0, 0, data), 4);
    EXPECT_EQ(data[1], 0x41);
}

TEST_F(PadLibrary, MotorsFollowTheAlignmentAndStopWhenUnplugged)
{
    Script("@50 pad0 disconnect\n");
    OpenBoth();
    EXPECT_EQ(scePadInfoAct(0, 0, -1, 0), 2);
    const unsigned char swapped[6] = {1, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(scePadSetActAlign(0, 0, swapped), 1);
    EXPECT_EQ(FieldsIn(0, PAD_STATE_EXECUTING), 2);
    const unsigned char direct[6] = {200, 1, 0, 0, 0, 0};
    ASSERT_EQ(scePadSetActDirect(0, 0, direct), 1);
    ASSERT_EQ(rumble_.calls.size(), 1u);
    EXPECT_EQ(rumble_.calls[0], std::make_tuple(0, true, 200));
    ToField(50);
    ASSERT_EQ(rumble_.calls.size(), 2u);
    EXPECT_EQ(rumble_.calls[1], std::make_tuple(0, false, 0));
    EXPECT_EQ(scePadSetActDirect(0, 0, direct), 0);
    EXPECT_EQ(rumble_.calls.size(), 2u);
}

TEST_F(PadLibrary, AlignmentSetBeforeThePadIsFoundIsKept)
{
    ASSERT_EQ(scePadInit(0), 1);
    ASSERT_EQ(scePadPortOpen(0, 0, g_dma[0]), 1);
    const unsigned char align[6] = {0, 1, 0xFF, 0xFF, 0xFF, 0xFF};
    // The game aligns its motors right after opening, before any field.
    ASSERT_EQ(scePadSetActAlign(0, 0, align), 1);
    while (scePadGetState(0, 0) != PAD_STATE_FOUND)
        sceGsSyncV(0);
    const unsigned char direct[6] = {1, 99, 0, 0, 0, 0};
    ASSERT_EQ(scePadSetActDirect(0, 0, direct), 1);
    ASSERT_EQ(rumble_.calls.size(), 1u);
    EXPECT_EQ(rumble_.calls[0], std::make_tuple(0, true, 99));
}

}  // namespace
