#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "console/host/png_reader.h"
#include "tools/lib/gsview.h"

using console::gs::LocalMemory;
using console::gs::Psm;

namespace {

std::vector<const char*> Args(std::initializer_list<const char*> list)
{
    return std::vector<const char*>(list);
}

void WriteFile(const std::string& path, const std::vector<u8>& data)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
}

std::vector<u8> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(GsView, ParsesABufferDescription)
{
    tools::GsViewOptions o;
    std::string error;
    const auto args = Args({"dump.bin", "out.png", "--psm", "ct16s", "--bp", "0x1C0", "--bw", "10", "--size",
                            "640x512", "--at", "0,8", "--alpha"});
    ASSERT_TRUE(tools::ParseGsViewArgs(args, o, error)) << error;
    EXPECT_EQ(o.dump, "dump.bin");
    EXPECT_EQ(o.out, "out.png");
    EXPECT_EQ(o.psm, Psm::kCT16S);
    EXPECT_EQ(o.bp, 0x1C0u);
    EXPECT_EQ(o.bw, 10u);
    EXPECT_EQ(o.w, 640u);
    EXPECT_EQ(o.h, 512u);
    EXPECT_EQ(o.y, 8u);
    EXPECT_TRUE(o.alpha);
    // A register code works as a mode.
    const auto by_code = Args({"d", "o", "--psm", "0x31", "--bp", "0", "--bw", "1", "--size", "8,8"});
    ASSERT_TRUE(tools::ParseGsViewArgs(by_code, o, error)) << error;
    EXPECT_EQ(o.psm, Psm::kZ24);
}

TEST(GsView, RefusesBadArgumentsWithAReason)
{
    struct Case {
        std::vector<const char*> args;
        const char* reason;
    };
    const Case cases[] = {
        {Args({"d", "o", "--psm", "CT8", "--bp", "0", "--bw", "1", "--size", "8,8"}), "unknown pixel storage mode"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "16384", "--bw", "1", "--size", "8,8"}), "--bp"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "0", "--bw", "0", "--size", "8,8"}), "--bw"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "0", "--bw", "1", "--size", "8"}), "--size"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "0", "--bw", "1", "--size", "0,8"}), "--size"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "0", "--bw", "1"}), "missing --size"},
        {Args({"d", "--psm", "CT32", "--bp", "0", "--bw", "1", "--size", "8,8"}), "expected a dump file"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "0", "--bw", "1", "--size", "8,8", "--at", "2045,0"}),
         "coordinate space"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "-1", "--bw", "1", "--size", "8,8"}), "--bp"},
        {Args({"d", "o", "--psm", "CT32", "--bp", "0", "--bw", "1", "--size", "8,8", "--zoom", "2"}),
         "unknown option --zoom"},
        {Args({"d", "o", "--psm"}), "--psm needs a value"},
    };
    for (const Case& c : cases) {
        tools::GsViewOptions o;
        std::string error;
        EXPECT_FALSE(tools::ParseGsViewArgs(c.args, o, error)) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << "'" << error << "' lacks '" << c.reason << "'";
    }
}

TEST(GsView, PixelsBecomeColoursByTheirMode)
{
    using tools::GsPixelToRgba;
    EXPECT_EQ(GsPixelToRgba(Psm::kCT32, 0x80332211, true), (std::array<u8, 4>{0x11, 0x22, 0x33, 0xFF}));
    EXPECT_EQ(GsPixelToRgba(Psm::kCT32, 0x40332211, true), (std::array<u8, 4>{0x11, 0x22, 0x33, 0x80}));
    EXPECT_EQ(GsPixelToRgba(Psm::kCT32, 0x00332211, false)[3], 0xFF);
    // 5:5:5:1 with the channels widened so that 31 becomes 255.
    EXPECT_EQ(GsPixelToRgba(Psm::kCT16, 0x801F, true), (std::array<u8, 4>{255, 0, 0, 255}));
    EXPECT_EQ(GsPixelToRgba(Psm::kCT16S, 0x0010 << 5, true), (std::array<u8, 4>{0, 0x84, 0, 0}));
    EXPECT_EQ(GsPixelToRgba(Psm::kT4, 0xF, false), (std::array<u8, 4>{255, 255, 255, 255}));
    EXPECT_EQ(GsPixelToRgba(Psm::kZ24, 0x123456, false)[0], 0x12);
    EXPECT_EQ(GsPixelToRgba(Psm::kZ16, 0xAB00, false)[0], 0xAB);
}

TEST(GsView, RendersTheRectangleOfTheBuffer)
{
    auto mem = std::make_unique<LocalMemory>();
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 3; ++x)
            mem->WritePixel(Psm::kCT16, 40, 2, 70 + x, 60 + y, (x + 1) | ((y + 1) << 5) | 0x8000);
    tools::GsViewOptions o;
    o.psm = Psm::kCT16;
    o.bp = 40;
    o.bw = 2;
    o.x = 70;
    o.y = 60;
    o.w = 3;
    o.h = 4;
    const std::vector<u8> rgba = tools::RenderGsView(*mem, o);
    ASSERT_EQ(rgba.size(), 3u * 4 * 4);
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 3; ++x) {
            const u8* px = &rgba[(y * 3 + x) * 4];
            EXPECT_EQ(px[0], ((x + 1) << 3) | ((x + 1) >> 2));
            EXPECT_EQ(px[1], ((y + 1) << 3) | ((y + 1) >> 2));
            EXPECT_EQ(px[2], 0);
        }
}

TEST(GsView, CommandWritesAPngAndRejectsAShortDump)
{
    // A directory of this run's own, so parallel runs never share files.
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / ("gsview_test_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    struct Cleanup {
        std::filesystem::path dir;
        ~Cleanup() { std::filesystem::remove_all(dir); }
    } cleanup{dir};
    const std::string dump = (dir / "dump.bin").string(), png = (dir / "out.png").string(),
                      short_dump = (dir / "short.bin").string();
    auto mem = std::make_unique<LocalMemory>();
    mem->WritePixel(Psm::kCT32, 0, 1, 0, 0, 0xFF0000FF);
    WriteFile(dump, std::vector<u8>(mem->Raw().begin(), mem->Raw().end()));
    WriteFile(short_dump, std::vector<u8>(1000, 0));

    const auto ok = Args({dump.c_str(), png.c_str(), "--psm", "CT32", "--bp", "0", "--bw", "1", "--size", "2,1"});
    EXPECT_EQ(tools::RunGsView(ok), 0);
    // The picture holds the written pixel (red in the low byte, opaque
    // without --alpha) and the untouched one beside it (black).
    png_reader::Picture pic;
    ASSERT_TRUE(png_reader::Decode(ReadFile(png), pic));
    ASSERT_EQ(pic.width, 2u);
    ASSERT_EQ(pic.height, 1u);
    EXPECT_EQ(pic.At(0, 0), 0xFF0000FFu);
    EXPECT_EQ(pic.At(1, 0), 0xFF000000u);

    const auto bad = Args({short_dump.c_str(), png.c_str(), "--psm", "CT32", "--bp", "0", "--bw", "1", "--size",
                           "2,1"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(tools::RunGsView(bad), 1);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find(short_dump + ": 1000 bytes"), std::string::npos) << message;

    const std::string absent = (dir / "no-such-dump").string();
    const auto missing = Args({absent.c_str(), png.c_str(), "--psm", "CT32", "--bp", "0",
                               "--bw", "1", "--size", "2,1"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(tools::RunGsView(missing), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open"), std::string::npos);
}
