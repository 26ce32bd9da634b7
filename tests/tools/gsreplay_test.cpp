// GS dumps and their replay: a dump written through the GS entry points
// parses back to what was written and replays to the same memory; malformed
// dumps are refused with a message naming what is wrong and where.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "console/src/gs/gs.h"
#include "console/src/gs/gsdump.h"
#include "console/src/gs/regs.h"
#include "tools/lib/gsreplay.h"

namespace {

using console::gs::DumpKind;
using console::gs::DumpRecord;
using console::gs::GsReg;

std::filesystem::path TempFile(const char* name)
{
    return std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()));
}

std::vector<u8> ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void W(GsReg reg, u64 value)
{
    console::gs::WriteRegister(static_cast<u32>(reg), value);
}

// A flat sprite over a 64 x 32 CT32 frame and an uploaded 8 x 2 image.
void DrawSomething()
{
    W(GsReg::FRAME_1, u64{1} << 16);
    W(GsReg::SCISSOR_1, (u64{31} << 48) | (u64{63} << 16));
    W(GsReg::XYOFFSET_1, 0);
    W(GsReg::TEST_1, 0);
    W(GsReg::PRIM, 6);
    W(GsReg::RGBAQ, 0x80203040);
    W(GsReg::XYZ2, (u64{4 * 16} << 16) | (4 * 16));
    W(GsReg::XYZ2, (u64{20 * 16} << 16) | (40 * 16));
    W(GsReg::BITBLTBUF, (u64{0x40} << 32) | (u64{1} << 48));
    W(GsReg::TRXPOS, 0);
    W(GsReg::TRXREG, (u64{2} << 32) | 8);
    W(GsReg::TRXDIR, 0);
    u128 data[4];
    for (int i = 0; i < 4; ++i)
        data[i] = {0x0101010101010101ull * static_cast<u64>(2 * i + 1), 0x0101010101010101ull * static_cast<u64>(2 * i + 2)};
    console::gs::WriteImageData(data, 4);
}

TEST(GsDump, RecordsReplayToTheSameMemoryAndFields)
{
    const auto path = TempFile("gsdump-record");
    std::string error;
    console::gs::ResetGs(true);
    ASSERT_TRUE(console::gs::StartGsDump(path.string(), &error)) << error;
    DrawSomething();
    console::gs::DisplayRegisters regs;
    regs.pmode = 0x66;
    console::gs::DumpField(1, regs);
    console::gs::StartGsDump("", nullptr);
    const std::vector<u8> drawn(console::gs::Vram().Bytes(), console::gs::Vram().Bytes() + console::gs::kMemoryBytes);

    const std::vector<u8> bytes = ReadAll(path);
    std::vector<DumpRecord> records;
    ASSERT_TRUE(console::gs::ParseGsDump(bytes, records, &error)) << error;
    // FRAME..XYZ2 (8), four transfer registers, the image, the field.
    ASSERT_EQ(records.size(), 14u);
    EXPECT_EQ(records[0].kind, DumpKind::kRegister);
    EXPECT_EQ(records[0].address, static_cast<u32>(GsReg::FRAME_1));
    EXPECT_EQ(records[12].kind, DumpKind::kImage);
    EXPECT_EQ(records[12].count, 4u);
    EXPECT_EQ(records[13].kind, DumpKind::kField);
    EXPECT_EQ(records[13].display.pmode, 0x66u);

    console::gs::ResetGs(true);
    for (const DumpRecord& r : records)
        console::gs::ReplayRecord(r);
    const std::vector<u8> replayed(console::gs::Vram().Bytes(),
                                   console::gs::Vram().Bytes() + console::gs::kMemoryBytes);
    EXPECT_TRUE(replayed == drawn);
    console::gs::ResetGs(true);
    std::filesystem::remove(path);
}

// The accounts of a replay from a field on: a flat sprite the pipelines
// draw and a line the per-pixel path draws, each under its own state, with
// the pixels the rules give them (the sprite's columns 4..19 and rows 4..39
// where 16 x lies in [x0, x1); the line's pixels from its rounded first
// vertex up to its second), and nothing of the field before.
TEST(GsReplay, StatsAccountEachStatesPixelsToThePathThatDrewThem)
{
    const auto path = TempFile("gsdump-stats");
    std::string error;
    console::gs::ResetGs(true);
    ASSERT_TRUE(console::gs::StartGsDump(path.string(), &error)) << error;
    DrawSomething();
    console::gs::DisplayRegisters regs;
    console::gs::DumpField(1, regs);
    W(GsReg::PRIM, 6);
    W(GsReg::XYZ2, (u64{4 * 16} << 16) | (4 * 16));
    W(GsReg::XYZ2, (u64{20 * 16} << 16) | (40 * 16));
    W(GsReg::PRIM, 1);
    W(GsReg::XYZ2, (u64{2 * 16} << 16) | (3 * 16));
    W(GsReg::XYZ2, (u64{2 * 16} << 16) | (13 * 16));
    console::gs::DumpField(2, regs);
    console::gs::StartGsDump("", nullptr);

    tools::GsReplayOptions options;
    options.dump = path.string();
    options.from = 2;
    options.stats = true;
    tools::GsReplayResult result;
    ASSERT_TRUE(tools::ReplayGsDump(options, result, &error)) << error;
    EXPECT_EQ(result.fields, 1u);
    EXPECT_EQ(result.pixels, 36u * 16 + 10);
    ASSERT_EQ(result.stats.size(), 2u);
    // The per-pixel path's states come first.
    const console::gs::DrawStatsRow& line = result.stats[0];
    const console::gs::DrawStatsRow& sprite = result.stats[1];
    EXPECT_EQ(line.state.rfind("line flat untextured", 0), 0u) << line.state;
    EXPECT_EQ(line.primitives[1], 1u);
    EXPECT_EQ(line.pixels[1], 10u);
    EXPECT_EQ(line.primitives[0], 0u);
    EXPECT_EQ(sprite.state.rfind("sprite untextured", 0), 0u) << sprite.state;
    EXPECT_EQ(sprite.primitives[0], 1u);
    EXPECT_EQ(sprite.pixels[0], 36u * 16);
    EXPECT_EQ(sprite.pixels[1], 0u);
    EXPECT_GT(sprite.seconds[0] + line.seconds[1], 0.0);
    console::gs::ResetGs(true);
    std::filesystem::remove(path);
}

TEST(GsDump, MalformedDumpsAreRefusedWithAMessage)
{
    std::vector<u8> good(console::gs::kDumpMagic, console::gs::kDumpMagic + 8);
    auto reg = [&](std::vector<u8>& v) {
        v.push_back(1);
        v.push_back(0x4C);
        for (int i = 0; i < 8; ++i)
            v.push_back(0);
    };
    reg(good);
    struct Case {
        const char* what;
        std::vector<u8> bytes;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({"no header", std::vector<u8>{'G', 'S'}, "not a GS dump"});
    cases.push_back({"truncated register", std::vector<u8>(good.begin(), good.end() - 3), "truncated register record at byte 8"});
    std::vector<u8> unknown = good;
    unknown.push_back(9);
    cases.push_back({"unknown kind", unknown, "unknown record kind at byte 18"});
    std::vector<u8> past = good;
    for (u8 b : {2, 3, 0, 0, 0})  // 3 quadwords announced, 16 bytes given
        past.push_back(b);
    past.insert(past.end(), 16, 0xAB);
    cases.push_back({"image past the end", past, "image transfer past the end of the dump at byte 18"});
    std::vector<u8> field = good;
    field.push_back(6);
    field.insert(field.end(), 20, 0);
    cases.push_back({"truncated field", field, "truncated field record"});

    std::vector<DumpRecord> records;
    std::string error;
    EXPECT_TRUE(console::gs::ParseGsDump(good, records, &error)) << error;
    EXPECT_EQ(records.size(), 1u);
    const auto path = TempFile("gsdump-bad");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        error.clear();
        EXPECT_FALSE(console::gs::ParseGsDump(c.bytes, records, &error));
        EXPECT_TRUE(records.empty());
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        // The command refuses it too, with status 1 and nothing played.
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()),
                                                    static_cast<std::streamsize>(c.bytes.size()));
        tools::GsReplayOptions options;
        options.dump = path.string();
        tools::GsReplayResult result;
        EXPECT_FALSE(tools::ReplayGsDump(options, result, &error));
        EXPECT_EQ(result.fields, 0u);
        const char* args[] = {path.c_str(), "--quiet"};
        EXPECT_EQ(tools::RunGsReplay(args, stdout), 1);
    }
    std::filesystem::remove(path);
    const char* missing[] = {"--gs-threads", "9"};
    EXPECT_EQ(tools::RunGsReplay(missing, stdout), 2);
}

}  // namespace
