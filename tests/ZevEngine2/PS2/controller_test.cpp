#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include <ee/graph.h>

#include "core/config.h"
#include "core/scheduler.h"
#include "ee/video.h"
#include "host/headless/pad_record.h"
#include "host/headless/pad_script.h"
#include "host/host.h"
#include "pad/pad.h"

#include "ZevEngine2/PS2/Controller.h"

namespace {

class RumbleProbe final : public console::host::RumbleSink {
public:
    void Set(int port, bool small_on, uint8_t large_level) override { calls.emplace_back(port, small_on, large_level); }
    std::vector<std::tuple<int, bool, int>> calls;
};

// The game's loop reduced to what the pads need: one logic tick per field.
class ControllerTest : public testing::Test {
protected:
    void SetUp() override
    {
        console::ResetScheduler();
        console::pad::SetManagerLoaded(true);
        memset(controller, 0, sizeof controller);
    }
    void TearDown() override
    {
        console::host::SetBackend(console::host::Backend{});
        console::ResetConfig();
        console::ResetScheduler();
    }

    void Start(const std::string& text, bool analog = true, bool pressure = true)
    {
        std::string error;
        ASSERT_TRUE(script_.Parse(text, "test", &error)) << error;
        console::host::Backend backend;
        backend.input = &script_;
        backend.rumble = &rumble_;
        console::host::SetBackend(backend);
        controller[0].SetAnalog(analog);
        controller[0].Pressure(pressure);
        Controller::Init();
    }

    // One tick after the field boundary `field`.
    static void TickAt(uint64_t field)
    {
        while (console::FieldCount() < field)
            sceGsSyncV(0);
        Controller::Update();
    }
    // Ticks every field up to `field`.
    static void TickThrough(uint64_t field)
    {
        for (uint64_t f = console::FieldCount() + 1; f <= field; ++f)
            TickAt(f);
    }

    console::host::PadScriptInput script_;
    RumbleProbe rumble_;
};

TEST_F(ControllerTest, SetUpRunsOneCommandPerFrameThroughStateFive)
{
    Start("");
    Controller& c = controller[0];
    EXPECT_EQ(c.pad_type, PADT_DISCONNECTED);
    EXPECT_EQ(c.Analog(ANA_LX), 0x80);
    // Found at field 3 (two fields of identification), then a command.
    TickThrough(2);
    EXPECT_EQ(c.cont_init_mode, CONM_DISCONNECTED);
    TickAt(3);
    EXPECT_EQ(c.cont_init_mode, CONM_SETANALOG);
    // Analogue mode takes four fields; the pad reads as disconnected meanwhile.
    for (int f = 4; f <= 6; ++f) {
        TickAt(f);
        EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_EXECUTING) << "field " << f;
        EXPECT_EQ(c.pad_type, PADT_DISCONNECTED);
        EXPECT_EQ(c.cont_init_mode, CONM_SETANALOG);
    }
    TickAt(7);
    EXPECT_EQ(c.cont_init_mode, CONM_SETPRESSURE);
    TickThrough(10);
    EXPECT_EQ(c.cont_init_mode, CONM_SETPRESSURE);
    TickAt(11);
    EXPECT_EQ(c.cont_init_mode, CONM_READING);
    EXPECT_EQ(c.pad_type, PADT_DUALSHOCK);
    EXPECT_EQ(c.rdata[1], 0x79);
    // Pad 1 is not plugged in and never leaves the first step.
    EXPECT_EQ(controller[1].pad_type, PADT_DISCONNECTED);
    EXPECT_EQ(controller[1].cont_init_mode, CONM_DISCONNECTED);
}

TEST_F(ControllerTest, SyncWaitsOutARunningCommand)
{
    Start("");
    TickThrough(3);  // the analogue-mode command starts at field 3
    EXPECT_EQ(scePadGetState(0, 0), PAD_STATE_EXECUTING);
    EXPECT_EQ(controller[0].Sync(), PAD_STATE_STABLE);
    EXPECT_EQ(console::FieldCount(), 7u);
}

TEST_F(ControllerTest, APressShowsAsNewOnlyInItsFirstFrame)
{
    Start("@120 pad0 press CROSS\n@125 pad0 press SQUARE\n@130 pad0 release CROSS\n");
    Controller& c = controller[0];
    TickThrough(119);
    EXPECT_EQ(c.pad, 0u);
    TickAt(120);
    EXPECT_EQ(c.pad, 0x00400040u);
    EXPECT_TRUE(c.Hit(BUT_CROSS));
    // A second tick in the same field no longer counts it as new.
    Controller::Update();
    EXPECT_EQ(c.pad, 0x00000040u);
    TickThrough(124);
    EXPECT_EQ(c.pad, 0x00000040u);
    TickAt(125);
    EXPECT_EQ(c.pad, 0x008000C0u);
    EXPECT_TRUE(c.MultiHit(BUT_CROSS | BUT_SQUARE));
    EXPECT_TRUE(c.OnlyHit(BUT_SQUARE));
    EXPECT_TRUE(c.OnlyDown(BUT_CROSS | BUT_SQUARE));
    TickAt(126);
    EXPECT_FALSE(c.MultiHit(BUT_CROSS | BUT_SQUARE));
    EXPECT_TRUE(c.AllDown(BUT_CROSS | BUT_SQUARE));
    TickAt(130);
    EXPECT_EQ(c.pad, 0x00000080u);
    EXPECT_FALSE(c.AnyHit());
}

TEST_F(ControllerTest, UnplugGivesNoButtonsAndCentredSticksInTheSameFrame)
{
    Start("@20 pad0 press CIRCLE\n@20 pad0 stick L 0 0xFF\n@20 pad0 stick R 0x10 0x20\n"
          "@40 pad0 disconnect\n@50 pad0 connect\n");
    Controller& c = controller[0];
    TickThrough(39);
    EXPECT_EQ(c.Pad(), (u32)BUT_CIRCLE);
    EXPECT_EQ(c.Analog(ANA_LX), 0);
    EXPECT_EQ(c.Analog(ANA_LY), 0xFF);
    EXPECT_EQ(c.Analog(ANA_RX), 0x10);
    EXPECT_FLOAT_EQ(c.AnalogF(ANA_LX), -1.0f);
    TickAt(40);
    EXPECT_EQ(c.pad, 0u);
    EXPECT_EQ(c.pad_type, PADT_DISCONNECTED);
    for (int i = ANA_RX; i <= ANA_LY; ++i)
        EXPECT_EQ(c.Analog(i), 0x80) << "stick byte " << i;
    EXPECT_FLOAT_EQ(c.AnalogF(ANA_LX), 0.0f);
    // Plugged in again, the set-up runs once more: identification, then two
    // commands of four fields, then the held button reads as newly pressed.
    TickThrough(59);
    EXPECT_EQ(c.pad, 0u);
    TickAt(60);
    EXPECT_EQ(c.cont_init_mode, CONM_READING);
    EXPECT_EQ(c.pad, 0x00200020u);
}

TEST_F(ControllerTest, DigitalPadsReportTheirModeAndButtons)
{
    Start("@30 pad0 press START\n", false, false);
    TickThrough(30);
    Controller& c = controller[0];
    EXPECT_EQ(c.cont_init_mode, CONM_READING);
    EXPECT_EQ(c.rdata[1], 0x41);
    EXPECT_EQ(c.pad_type, (ContType)4);
    EXPECT_EQ(c.pad, 0x08000800u);
}

TEST_F(ControllerTest, MotorValuesAreSentOnlyWhenTheyChange)
{
    Start("");
    Controller& c = controller[0];
    TickThrough(12);
    ASSERT_EQ(c.cont_init_mode, CONM_READING);
    ASSERT_TRUE(c.actuator.enabled);
    EXPECT_TRUE(rumble_.calls.empty());
    c.SetActuators(127, 0);  // below 128 the small motor stays off: nothing changes
    TickAt(13);
    EXPECT_TRUE(rumble_.calls.empty());
    c.SetActuators(128, 90);
    TickAt(14);
    TickAt(15);
    c.SetActuator1(90);
    TickAt(16);
    ASSERT_EQ(rumble_.calls.size(), 1u);
    EXPECT_EQ(rumble_.calls[0], std::make_tuple(0, true, 90));
    c.SetActuator0(0);
    TickAt(17);
    ASSERT_EQ(rumble_.calls.size(), 2u);
    EXPECT_EQ(rumble_.calls[1], std::make_tuple(0, false, 90));
}

TEST_F(ControllerTest, MotorsWaitWhileThePadIsBusy)
{
    Start("");
    Controller& c = controller[0];
    TickThrough(3);
    c.SetActuators(255, 255);
    // Analogue mode runs until field 7, where the pressure command starts
    // at once and runs until field 11.
    TickThrough(10);
    EXPECT_TRUE(rumble_.calls.empty());
    TickAt(11);
    ASSERT_EQ(rumble_.calls.size(), 1u);
    EXPECT_EQ(rumble_.calls[0], std::make_tuple(0, true, 255));
}

// A made-up person: buttons and sticks changing every few fields, pad 1
// plugged in for a while and pad 0 pulled out once.
class Person final : public console::host::InputSource {
public:
    void Poll(uint32_t vblank, console::host::PadInput pads[2]) override
    {
        console::host::DefaultPadInputs(pads);
        uint32_t seed = (vblank / 5) * 2654435761u + 12345;
        auto next = [&] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 16;
        };
        pads[0].connected = vblank < 150 || vblank > 170;
        pads[0].buttons = static_cast<uint16_t>(next() & next());
        pads[0].sticks[2] = static_cast<uint8_t>(next());
        pads[0].sticks[3] = static_cast<uint8_t>(next());
        pads[0].pressure[11] = static_cast<uint8_t>(next());
        pads[1].connected = vblank > 40 && vblank < 260;
        pads[1].buttons = static_cast<uint16_t>(next() & 0x0F0F);
    }
};

struct Reading {
    u32 pad[2];
    u8 rdata[2][20];
    bool operator==(const Reading&) const = default;
};

TEST_F(ControllerTest, ARecordedScriptReplaysToTheSameReadings)
{
    auto play = [](console::host::InputSource& input) {
        console::ResetScheduler();
        console::pad::SetManagerLoaded(true);
        memset(controller, 0, sizeof controller);
        console::host::Backend backend;
        backend.input = &input;
        console::host::SetBackend(backend);
        controller[0].SetAnalog(true);
        controller[0].Pressure(true);
        controller[1].SetAnalog(true);
        Controller::Init();
        std::vector<Reading> readings;
        for (uint64_t field = 1; field <= 300; ++field) {
            TickAt(field);
            Reading r;
            for (int i = 0; i < 2; ++i) {
                r.pad[i] = controller[i].pad;
                memcpy(r.rdata[i], controller[i].rdata, sizeof r.rdata[i]);
            }
            readings.push_back(r);
        }
        return readings;
    };

    const std::string path = testing::TempDir() + "controller_replay.pad";
    Person person;
    std::vector<Reading> live;
    {
        std::string error;
        auto recorder = console::host::PadRecorder::Open(person, path, &error);
        ASSERT_TRUE(recorder) << error;
        live = play(*recorder);
    }
    console::host::PadScriptInput script;
    std::string error;
    ASSERT_TRUE(script.Load(path, &error)) << error;
    std::vector<Reading> replayed = play(script);
    ASSERT_EQ(replayed.size(), live.size());
    int differences = 0;
    for (size_t i = 0; i < live.size(); ++i)
        differences += !(live[i] == replayed[i]);
    EXPECT_EQ(differences, 0);
    // The run did read buttons on both pads.
    int pressed[2] = {0, 0};
    for (const Reading& r : live)
        for (int i = 0; i < 2; ++i)
            pressed[i] += (r.pad[i] >> 16) != 0;
    EXPECT_GT(pressed[0], 10);
    EXPECT_GT(pressed[1], 10);
    std::remove(path.c_str());
}

TEST(ControllerQueries, AnswerFromThePadWordAndData)
{
    Controller c;
    memset(&c, 0, sizeof c);
    c.ZeroData();
    EXPECT_EQ(c.Analog(ANA_RY), 0x80);
    EXPECT_EQ(c.Analog(ANA_CROSS), 0);
    c.pad = ((u32)BUT_CROSS << 16) | BUT_CROSS | BUT_TRIGGER_R;
    c.rdata[4 + ANA_R2] = 0xFF;
    c.rdata[4 + ANA_RX] = 0xC0;
    EXPECT_EQ(c.Pad(), (u32)(BUT_CROSS | BUT_TRIGGER_R));
    EXPECT_EQ(c.Hit(), (u32)BUT_CROSS);
    EXPECT_TRUE(c.Down(BUT_TRIGGER_R | BUT_SQUARE));
    EXPECT_FALSE(c.AllDown(BUT_TRIGGER_R | BUT_SQUARE));
    EXPECT_FALSE(c.OnlyDown(BUT_CROSS));
    EXPECT_TRUE(c.AnyDown());
    EXPECT_FALSE(c.AnyDown(BUT_START));
    EXPECT_FALSE(c.Hit(BUT_TRIGGER_R));
    EXPECT_TRUE(c.MultiHit(BUT_CROSS | BUT_TRIGGER_R));
    EXPECT_FLOAT_EQ(c.AnalogF(ANA_R2), 1.0f);
    EXPECT_FLOAT_EQ(c.AnalogF(ANA_RX), 0.5f);
    c.ZeroData();
    EXPECT_EQ(c.pad, 0u);
    EXPECT_FALSE(c.AnyDown());
}

}  // namespace
