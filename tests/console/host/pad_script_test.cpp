#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/headless/pad_record.h"
#include "host/headless/pad_script.h"
#include "host/host.h"

namespace {

using console::host::PadInput;
using console::host::PadScriptInput;

bool Same(const PadInput& a, const PadInput& b)
{
    return a.connected == b.connected && a.buttons == b.buttons && std::memcmp(a.sticks, b.sticks, 4) == 0 &&
           std::memcmp(a.pressure, b.pressure, 12) == 0;
}

std::string ParseError(const std::string& text)
{
    PadScriptInput script;
    std::string error;
    EXPECT_FALSE(script.Parse(text, "s.pad", &error)) << text;
    return error;
}

TEST(PadScript, BadLinesAreRefusedWithTheirLineNumber)
{
    EXPECT_EQ(ParseError("# fine\n\n@5 pad0 jump\n"), "s.pad:3: unknown action 'jump'");
    EXPECT_EQ(ParseError("5 pad0 press CROSS\n"), "s.pad:1: expected @<vblank> at the start of the line");
    EXPECT_EQ(ParseError("@5 pad2 connect\n"), "s.pad:1: unknown pad 'pad2' (pad0 or pad1)");
    EXPECT_EQ(ParseError("@5 pad0 press X\n"), "s.pad:1: unknown button 'X'");
    EXPECT_EQ(ParseError("@5 pad0 press CROSS for 0\n"), "s.pad:1: expected 'for <fields>' with at least one field");
    EXPECT_EQ(ParseError("@5 pad0 stick L 0x100 0\n"), "s.pad:1: stick positions are bytes, 0 to 255");
    EXPECT_EQ(ParseError("@5 pad0 stick M 1 2\n"), "s.pad:1: expected 'stick L|R <x> <y>'");
    EXPECT_EQ(ParseError("@5 pad0 pressure START 3\n"), "s.pad:1: button START has no pressure");
    EXPECT_EQ(ParseError("@5 pad0 release CROSS now\n"), "s.pad:1: unexpected 'now' at the end of the line");
    EXPECT_EQ(ParseError("@-1 pad0 connect\n"), "s.pad:1: expected @<vblank> at the start of the line");
}

TEST(PadScript, MissingFileIsReported)
{
    PadScriptInput script;
    std::string error;
    EXPECT_FALSE(script.Load("/nonexistent/dir/none.pad", &error));
    EXPECT_NE(error.find("/nonexistent/dir/none.pad"), std::string::npos);
}

TEST(PadScript, StartsWithPadZeroConnectedAndIdle)
{
    PadScriptInput script;
    ASSERT_TRUE(script.Parse("", "s", nullptr));
    PadInput pads[2];
    script.Poll(1, pads);
    EXPECT_TRUE(pads[0].connected);
    EXPECT_FALSE(pads[1].connected);
    EXPECT_EQ(pads[0].buttons, 0);
    EXPECT_EQ(pads[0].sticks[2], 0x80);
}

TEST(PadScript, EventsApplyAtTheirFieldInFileOrder)
{
    PadScriptInput script;
    std::string error;
    // Out of time order in the file; equal times keep file order.
    ASSERT_TRUE(script.Parse("@20 pad0 release CROSS\n"
                             "@10 pad0 press CROSS   # a comment\n"
                             "@20 pad0 press CROSS\n"
                             "@15 pad1 connect\n"
                             "@15 pad1 stick L 1 2\n"
                             "@15 pad1 stick R 0x03 0x04\n",
                             "s", &error))
        << error;
    PadInput pads[2];
    script.Poll(9, pads);
    EXPECT_EQ(pads[0].buttons, 0);
    script.Poll(10, pads);
    EXPECT_EQ(pads[0].buttons, 0x0040);
    script.Poll(15, pads);
    EXPECT_TRUE(pads[1].connected);
    const uint8_t sticks[4] = {3, 4, 1, 2};  // right x, right y, left x, left y
    EXPECT_EQ(std::memcmp(pads[1].sticks, sticks, 4), 0);
    script.Poll(20, pads);
    EXPECT_EQ(pads[0].buttons, 0x0040);  // released, then pressed again
}

TEST(PadScript, PressForReleasesLaterAndPressuresFollowPresses)
{
    PadScriptInput script;
    std::string error;
    ASSERT_TRUE(script.Parse("@5 pad0 press R2 for 3\n"
                             "@6 pad0 pressure R2 0x33\n"
                             "@8 pad0 press UP\n",
                             "s", &error))
        << error;
    PadInput pads[2];
    script.Poll(5, pads);
    EXPECT_EQ(pads[0].buttons, 0x0002);
    EXPECT_EQ(pads[0].pressure[11], 0xFF);  // R2 is the last pressure byte
    script.Poll(6, pads);
    EXPECT_EQ(pads[0].pressure[11], 0x33);
    script.Poll(7, pads);
    EXPECT_EQ(pads[0].buttons, 0x0002);
    // Fields may be skipped: everything up to the polled field applies.
    script.Poll(9, pads);
    EXPECT_EQ(pads[0].buttons, 0x1000);
    EXPECT_EQ(pads[0].pressure[11], 0);
    EXPECT_EQ(pads[0].pressure[2], 0xFF);  // up
}

// A made-up person: buttons, sticks, triggers with partial pressure and a
// pad plugged and unplugged, changing at irregular fields.
class Player final : public console::host::InputSource {
public:
    void Poll(uint32_t vblank, PadInput pads[2]) override
    {
        console::host::DefaultPadInputs(pads);
        uint32_t seed = vblank / 3 * 2654435761u;
        auto next = [&] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 16;
        };
        pads[0].buttons = static_cast<uint16_t>(next());
        pads[0].sticks[2] = static_cast<uint8_t>(next());
        pads[0].sticks[1] = static_cast<uint8_t>(next());
        pads[0].pressure[10] = static_cast<uint8_t>(next());  // an analogue trigger
        pads[0].pressure[6] = (pads[0].buttons & 0x40) ? 0xFF : 0;
        pads[1].connected = (vblank / 50) % 2 == 1;
        pads[1].buttons = static_cast<uint16_t>(vblank % 7 == 0 ? 0x0800 : 0);
    }
};

TEST(PadRecorder, RecordingReplaysToTheSameInput)
{
    const std::string path = testing::TempDir() + "pad_record_test.pad";
    Player player;
    std::vector<PadInput> seen;
    {
        std::string error;
        auto recorder = console::host::PadRecorder::Open(player, path, &error);
        ASSERT_TRUE(recorder) << error;
        for (uint32_t field = 1; field <= 300; ++field) {
            PadInput pads[2];
            recorder->Poll(field, pads);
            seen.push_back(pads[0]);
            seen.push_back(pads[1]);
        }
    }
    PadScriptInput replay;
    std::string error;
    ASSERT_TRUE(replay.Load(path, &error)) << error;
    for (uint32_t field = 1; field <= 300; ++field) {
        PadInput pads[2];
        replay.Poll(field, pads);
        ASSERT_TRUE(Same(pads[0], seen[2 * (field - 1)])) << "pad 0 at field " << field;
        ASSERT_TRUE(Same(pads[1], seen[2 * (field - 1) + 1])) << "pad 1 at field " << field;
    }
    std::remove(path.c_str());
}

TEST(PadRecorder, WritesOnlyWhatChanged)
{
    PadInput before[2], after[2];
    console::host::DefaultPadInputs(before);
    console::host::DefaultPadInputs(after);
    std::string lines;
    console::host::AppendPadScriptLines(7, before, after, lines);
    EXPECT_EQ(lines, "");
    after[0].buttons = 0x0041;  // L2 and cross
    after[0].pressure[10] = 0x20;  // a light L2
    after[0].pressure[6] = 0xFF;
    after[1].connected = true;
    console::host::AppendPadScriptLines(7, before, after, lines);
    EXPECT_EQ(lines,
              "@7 pad0 press L2\n"
              "@7 pad0 press CROSS\n"
              "@7 pad0 pressure L2 0x20\n"
              "@7 pad1 connect\n");
}

}  // namespace
