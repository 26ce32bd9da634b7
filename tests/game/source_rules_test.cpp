// Rules the game's own sources keep on this host: physical and uncached
// addresses are spelled EE_PHYS / EE_UNCACHED (both the identity here), never
// as the console's literal masks, which would corrupt host pointers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> GameSources()
{
    std::vector<fs::path> files;
    for (const char* dir : {"ZevEngine2", "game"}) {
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(KORVALIS_SOURCE_DIR) / dir)) {
            const auto ext = entry.path().extension();
            if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h"))
                files.push_back(entry.path());
        }
    }
    return files;
}

// The text of a source file with its comments removed, so prose may still
// mention the masks.
std::string CodeOf(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    std::string code;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            if (i == std::string::npos)
                break;
            code += '\n';
        } else if (text.compare(i, 2, "/*") == 0) {
            i = text.find("*/", i + 2);
            if (i == std::string::npos)
                break;
            ++i;
        } else {
            code += text[i];
        }
    }
    return code;
}

}  // namespace

TEST(SourceRules, GameCodeNeverMasksAddressesLiterally)
{
    const std::regex phys(R"(&\s*0x0*FFFFFFF\b)", std::regex::icase);
    const std::regex uncached(R"(\|\s*0x20000000\b)", std::regex::icase);
    const auto files = GameSources();
    ASSERT_GT(files.size(), 50u);
    for (const auto& file : files) {
        const std::string code = CodeOf(file);
        EXPECT_FALSE(std::regex_search(code, phys)) << file << " masks a physical address; use EE_PHYS";
        EXPECT_FALSE(std::regex_search(code, uncached)) << file << " forms an uncached address; use EE_UNCACHED";
    }
}

TEST(SourceRules, TheCheckSeesAMaskWrittenInCode)
{
    // The comment stripper must not hide code, or the rule above checks nothing.
    const std::regex phys(R"(&\s*0x0*FFFFFFF\b)", std::regex::icase);
    const fs::path probe = fs::temp_directory_path() / "korvalis_source_rules_probe.cpp";
    {
        std::ofstream out(probe);
        out << "// p & 0x0FFFFFFF in a comment\nu32 a = p & 0x0fffffff; /* x */\n";
    }
    const std::string code = CodeOf(probe);
    fs::remove(probe);
    EXPECT_TRUE(std::regex_search(code, phys));
    EXPECT_EQ(code.find("comment"), std::string::npos);
}
