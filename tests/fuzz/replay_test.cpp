// Every saved input of tests/fuzz/corpus/<target>/ and every file our
// writers make for a target, run through the target as the fuzzer runs it.
// Inputs named "refuse-*" are the damaged files the loaders once let
// through: each must now be refused with a message.  Inputs named "says-*"
// are files the loader takes whose damage shows only where a part of them
// is used: each must now be used with a message saying what was wrong.
// Our writers' files must all be accepted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ee/console_out.h"
#include "fuzz/fuzz_target.h"

namespace {

std::filesystem::path CorpusDir()
{
    return std::filesystem::path(KORVALIS_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class Replay : public testing::TestWithParam<fuzz::Entry> {};

TEST_P(Replay, OurWritersFilesAreAccepted)
{
    const std::vector<fuzz::Seed> seeds = fuzz::Seeds(GetParam().name);
    ASSERT_FALSE(seeds.empty());
    for (const fuzz::Seed& s : seeds) {
        console::ClearConsoleText();
        EXPECT_TRUE(GetParam().target(s.bytes.data(), s.bytes.size())) << s.name << "\n" << console::ConsoleText();
    }
}

TEST_P(Replay, SavedInputsRunAndDamagedFilesAreRefusedWithAMessage)
{
    const std::filesystem::path dir = CorpusDir() / GetParam().name;
    // A loader the fuzzer has found nothing in has no saved inputs.
    if (!std::filesystem::exists(dir))
        GTEST_SKIP() << "no saved inputs in " << dir;
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file())
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path& f : files) {
        const std::vector<uint8_t> bytes = ReadAll(f);
        console::ClearConsoleText();
        const bool accepted = GetParam().target(bytes.data(), bytes.size());
        if (f.filename().string().starts_with("refuse-")) {
            EXPECT_FALSE(accepted) << f;
            EXPECT_FALSE(console::ConsoleText().empty()) << f << ": refused without a message";
        }
        if (f.filename().string().starts_with("says-")) {
            EXPECT_TRUE(accepted) << f;
            EXPECT_FALSE(console::ConsoleText().empty()) << f << ": used without a message";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Loaders, Replay, testing::ValuesIn(fuzz::Targets()),
                         [](const testing::TestParamInfo<fuzz::Entry>& info) { return info.param.name; });

}  // namespace

std::vector<fuzz::Entry>& fuzz::Targets()
{
    static std::vector<Entry> all;
    return all;
}
