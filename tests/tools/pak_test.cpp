#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/iop/IOPStream.h"
#include "tools/lib/pak.h"

using tools::BuildPak;
using tools::PakEntry;
using tools::PakInputFile;
using tools::PakStoredName;
using tools::ReadPak;

namespace {

std::vector<u8> Bytes(size_t n, u8 seed)
{
    std::vector<u8> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = u8(seed + i * 7);
    return v;
}

u32 Word(const std::vector<u8>& a, size_t at)
{
    return u32(a[at]) | u32(a[at + 1]) << 8 | u32(a[at + 2]) << 16 | u32(a[at + 3]) << 24;
}

std::string Text(const std::vector<u8>& a, size_t at, size_t n)
{
    return std::string(reinterpret_cast<const char*>(a.data()) + at, n);
}

std::vector<PakInputFile> SampleFiles()
{
    return {
        {"a.txt", Bytes(5, 1), ""},
        {"dir/file.ext", Bytes(3000, 2), ""},
        {"dir/sub/x", {}, ""},
        {"other/y.bin", Bytes(2048, 3), ""},
    };
}

// A directory of the test's own under the temporary directory, named by the
// process so that parallel runs never share it, and removed with everything
// in it however the test ends.
struct ScratchDir
{
    explicit ScratchDir(const std::string& name)
        : path(testing::TempDir() + "pak_test_" + name + "_" + std::to_string(getpid()))
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() { std::filesystem::remove_all(path); }

    std::string path;
};

TEST(PakStoredName, UpperCasesAndPads)
{
    EXPECT_EQ(PakStoredName("file.ext"), "FILE.EXT    ");
    EXPECT_EQ(PakStoredName("README"), "README      ");
    EXPECT_EQ(PakStoredName("a.b.c"), "A.B.C       ");
}

TEST(PakStoredName, BytesAbove0x60Lose0x20)
{
    // Not only letters: '{' (0x7B) becomes '[' and '~' (0x7E) '^'; '`' (0x60)
    // stays, as does '_' (0x5F).
    EXPECT_EQ(PakStoredName("a{~`_"), "A[^`_       ");
}

TEST(PakStoredName, LongBaseNameIsCutAtTheDot)
{
    EXPECT_EQ(PakStoredName("longbasename.ext"), "LONGBASE.EXT");
    EXPECT_EQ(PakStoredName("abcdefgh.ext"), "ABCDEFGH.EXT");
    // Without a dot only 12 characters are kept.
    EXPECT_EQ(PakStoredName("abcdefghijklmnop"), "ABCDEFGHIJKL");
    // A long extension loses its tail.
    EXPECT_EQ(PakStoredName("abcdefghij.text"), "ABCDEFGH.TEX");
}

TEST(BuildPak, LaysOutDirectoriesDepthFirstAndFilesOnSectors)
{
    std::vector<u8> a;
    std::string error;
    ASSERT_TRUE(BuildPak(SampleFiles(), "KORVALIS", a, error)) << error;

    // Records: root (1 file) at 0, DIR (1 file) at 40, SUB (1 file) at 80,
    // OTHER (1 file) at 120; the block is 160 bytes, so data starts at sector 1.
    EXPECT_EQ(Text(a, 0, 8), "KORVALIS");
    EXPECT_EQ(Word(a, 8), 40u);    // root's first subdirectory: DIR
    EXPECT_EQ(Word(a, 12), 160u);  // root's sibling word: the block size
    EXPECT_EQ(Word(a, 16), 1u);
    EXPECT_EQ(Text(a, 20, 12), "A.TXT       ");
    EXPECT_EQ(Word(a, 32), 1u);
    EXPECT_EQ(Word(a, 36), 5u);

    EXPECT_EQ(Text(a, 40, 8), "DIR     ");
    EXPECT_EQ(Word(a, 48), 80u);   // child SUB
    EXPECT_EQ(Word(a, 52), 120u);  // sibling OTHER
    EXPECT_EQ(Text(a, 60, 12), "FILE.EXT    ");
    EXPECT_EQ(Word(a, 72), 2u);
    EXPECT_EQ(Word(a, 76), 3000u);

    EXPECT_EQ(Text(a, 80, 8), "SUB     ");
    EXPECT_EQ(Word(a, 88), 0u);
    EXPECT_EQ(Word(a, 92), 0u);
    EXPECT_EQ(Text(a, 100, 12), "X           ");
    EXPECT_EQ(Word(a, 112), 4u);  // FILE.EXT took sectors 2 and 3
    EXPECT_EQ(Word(a, 116), 0u);

    EXPECT_EQ(Text(a, 120, 8), "OTHER   ");
    EXPECT_EQ(Word(a, 132), 0u);
    EXPECT_EQ(Word(a, 152), 4u);  // the empty file takes no sector
    EXPECT_EQ(Word(a, 156), 2048u);

    ASSERT_EQ(a.size(), 5u * 2048);
    auto files = SampleFiles();
    EXPECT_TRUE(std::equal(files[0].data.begin(), files[0].data.end(), a.begin() + 2048));
    EXPECT_TRUE(std::equal(files[1].data.begin(), files[1].data.end(), a.begin() + 2 * 2048));
    EXPECT_TRUE(std::equal(files[3].data.begin(), files[3].data.end(), a.begin() + 4 * 2048));
    // Sector padding is zero.
    EXPECT_TRUE(std::all_of(a.begin() + 160, a.begin() + 2048, [](u8 b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(a.begin() + 2048 + 5, a.begin() + 4096, [](u8 b) { return b == 0; }));
}

TEST(BuildPak, SameFilesInAnyOrderGiveTheSameBytes)
{
    auto files = SampleFiles();
    std::vector<u8> first, second;
    std::string error;
    ASSERT_TRUE(BuildPak(files, "KORVALIS", first, error)) << error;
    std::reverse(files.begin(), files.end());
    files[0].path = "OTHER\\Y.BIN";  // other separators and case store the same way
    ASSERT_TRUE(BuildPak(files, "KORVALIS", second, error)) << error;
    EXPECT_EQ(first, second);
}

TEST(BuildPak, LargeDirectoryBlockSpansSectors)
{
    std::vector<PakInputFile> files;
    for (int i = 0; i < 150; i++)
        files.push_back({"f" + std::to_string(i), Bytes(1, u8(i)), ""});
    std::vector<u8> a;
    std::string error;
    ASSERT_TRUE(BuildPak(files, "KORVALIS", a, error)) << error;
    u32 block = 20 + 150 * 20;
    EXPECT_EQ(Word(a, 12), block);
    std::string root;
    std::vector<PakEntry> entries;
    ASSERT_TRUE(ReadPak(a, "big.pak", root, entries, error)) << error;
    ASSERT_EQ(entries.size(), 150u);
    u32 first = (block + 2047) / 2048;
    for (size_t i = 0; i < entries.size(); i++)
        EXPECT_EQ(entries[i].start, first + i) << entries[i].path;
}

TEST(BuildPak, RefusesUnusableInputNamingTheFile)
{
    std::vector<u8> a;
    std::string error;
    for (const char* bad : {"dir//x", "with space", "semi;colon", "tab\tname", "/lead", "trail/"}) {
        EXPECT_FALSE(BuildPak({{bad, {}, "host/file1"}}, "KORVALIS", a, error)) << bad;
        EXPECT_NE(error.find("host/file1"), std::string::npos) << error;
    }
}

TEST(BuildPak, RefusesTwoFilesWithOneStoredName)
{
    std::vector<u8> a;
    std::string error;
    EXPECT_FALSE(BuildPak({{"dir/abcdefghij.txt", {}, "one"}, {"DIR/ABCDEFGH.TXT", {}, "two"}}, "KORVALIS", a, error));
    EXPECT_NE(error.find("one"), std::string::npos) << error;
    EXPECT_NE(error.find("two"), std::string::npos) << error;
    EXPECT_NE(error.find("DIR\\ABCDEFGH.TXT"), std::string::npos) << error;
}

TEST(BuildPak, RefusesTopDirectoryNamedLikeTheRoot)
{
    std::vector<u8> a;
    std::string error;
    EXPECT_FALSE(BuildPak({{"korvalis/x", {}, "src"}}, "KORVALIS", a, error));
    EXPECT_NE(error.find("root"), std::string::npos) << error;
    // Deeper down the name is harmless.
    EXPECT_TRUE(BuildPak({{"dir/korvalis/x", {}, "src"}}, "KORVALIS", a, error)) << error;
    EXPECT_FALSE(BuildPak({}, "TOOLONGNAME", a, error));
}

TEST(ReadPak, ListsWhatWasBuilt)
{
    std::vector<u8> a;
    std::string error, root;
    ASSERT_TRUE(BuildPak(SampleFiles(), "KORVALIS", a, error)) << error;
    std::vector<PakEntry> entries;
    ASSERT_TRUE(ReadPak(a, "x.pak", root, entries, error)) << error;
    EXPECT_EQ(root, "KORVALIS");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].path, "A.TXT");
    EXPECT_EQ(entries[1].path, "DIR\\FILE.EXT");
    EXPECT_EQ(entries[2].path, "DIR\\SUB\\X");
    EXPECT_EQ(entries[3].path, "OTHER\\Y.BIN");
    EXPECT_EQ(entries[3].length, 2048u);
}

// Corrupts one word of a good archive and expects the reader's message to
// name the archive and the offset of the field.
void ExpectRefused(std::vector<u8> a, size_t at, u32 value, const std::string& offset)
{
    std::memcpy(a.data() + at, &value, 4);
    std::string error, root;
    std::vector<PakEntry> entries;
    EXPECT_FALSE(ReadPak(a, "bad.pak", root, entries, error)) << "field at " << at;
    EXPECT_NE(error.find("bad.pak: offset " + offset), std::string::npos) << error;
}

TEST(ReadPak, RefusesDamagedDirectories)
{
    std::vector<u8> good;
    std::string error;
    ASSERT_TRUE(BuildPak(SampleFiles(), "KORVALIS", good, error)) << error;
    ExpectRefused(good, 12, 0x100000, "0xC");  // block size beyond the archive
    ExpectRefused(good, 12, 8, "0xC");         // block smaller than the root record
    ExpectRefused(good, 8, 400, "0x");         // child outside the block
    ExpectRefused(good, 52, 40, "0x34");       // DIR's sibling points back at itself
    ExpectRefused(good, 48, 120, "0x28");      // DIR's subdirectory is OTHER, its sibling too
    ExpectRefused(good, 16, 0x7FFFFFFF, "0x10");  // root's file count runs past the block
    ExpectRefused(good, 32, 100, "0x20");      // A.TXT's start beyond the end
    ExpectRefused(good, 36, 0xFFFFFFFF, "0x20");  // A.TXT's length beyond the end
    std::vector<u8> a = good;
    a[20] = 0;  // a NUL inside a stored name
    std::vector<PakEntry> entries;
    std::string root;
    EXPECT_FALSE(ReadPak(a, "bad.pak", root, entries, error));
    EXPECT_NE(error.find("offset 0x14"), std::string::npos) << error;
    EXPECT_FALSE(ReadPak(std::span<const u8>(good.data(), 10), "short.pak", root, entries, error));
    EXPECT_NE(error.find("short.pak: offset 0x0"), std::string::npos) << error;
}

TEST(ReadPak, SurvivesRandomCorruption)
{
    std::vector<u8> good;
    std::string error;
    ASSERT_TRUE(BuildPak(SampleFiles(), "KORVALIS", good, error)) << error;
    std::mt19937 rng(12345);
    int refused = 0;
    for (int round = 0; round < 2000; round++) {
        std::vector<u8> a = good;
        int hits = 1 + int(rng() % 4);
        for (int h = 0; h < hits; h++) {
            size_t at = rng() % 160;  // inside the directory block
            a[at] = u8(rng());
        }
        if (rng() % 4 == 0)
            a.resize(rng() % a.size());
        std::string root;
        std::vector<PakEntry> entries;
        if (!ReadPak(a, "fuzz.pak", root, entries, error)) {
            refused++;
            EXPECT_EQ(error.rfind("fuzz.pak: offset 0x", 0), 0u) << error;
            continue;
        }
        for (const PakEntry& e : entries)
            EXPECT_LE(u64(e.start) * 2048 + e.length, a.size()) << e.path;
    }
    EXPECT_GT(refused, 0);
}

TEST(PakBuild, CommandBuildsListsAndIsRepeatable)
{
    const ScratchDir scratch("cmd");
    const std::string& dir = scratch.path;
    std::filesystem::create_directories(dir + "/in/Data");
    std::string error;
    ASSERT_TRUE(tools::WriteHostFile(dir + "/in/Data/Level.txt", Bytes(100, 9), error)) << error;
    ASSERT_TRUE(tools::WriteHostFile(dir + "/in/top.bin", Bytes(3, 4), error)) << error;

    std::string out1 = dir + "/one.pak", out2 = dir + "/two.pak", in = dir + "/in";
    std::vector<const char*> args1{out1.c_str(), in.c_str()};
    std::vector<const char*> args2{"--root", "KORVALIS", out2.c_str(), in.c_str()};
    ASSERT_EQ(tools::RunPakBuild(args1), 0);
    ASSERT_EQ(tools::RunPakBuild(args2), 0);
    std::vector<u8> one, two;
    ASSERT_TRUE(tools::ReadHostFile(out1, one, error));
    ASSERT_TRUE(tools::ReadHostFile(out2, two, error));
    EXPECT_EQ(one, two);

    std::string root;
    std::vector<PakEntry> entries;
    ASSERT_TRUE(ReadPak(one, out1, root, entries, error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "TOP.BIN");
    EXPECT_EQ(entries[1].path, "DATA\\LEVEL.TXT");

    // The listing names each file with its length.
    std::vector<const char*> list{"--list", out1.c_str()};
    testing::internal::CaptureStdout();
    EXPECT_EQ(tools::RunPakBuild(list), 0);
    const std::string listed = testing::internal::GetCapturedStdout();
    EXPECT_NE(listed.find("root KORVALIS, 2 files"), std::string::npos) << listed;
    EXPECT_NE(listed.find(" 3 TOP.BIN\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(" 100 DATA\\LEVEL.TXT\n"), std::string::npos) << listed;
    std::vector<const char*> bad{"--frobnicate"};
    EXPECT_EQ(tools::RunPakBuild(bad), 2);
    std::string missing = dir + "/missing";
    std::vector<const char*> nodir{out1.c_str(), missing.c_str()};
    EXPECT_EQ(tools::RunPakBuild(nodir), 1);
}

}  // namespace
