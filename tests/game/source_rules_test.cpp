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

// Source text with its comments removed, so prose may still mention the
// masks.
std::string StripComments(const std::string& text)
{
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

std::string CodeOf(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    return StripComments(ss.str());
}

// The two literal forms the rule forbids.
const std::regex& PhysMask()
{
    static const std::regex re(R"(&\s*0x0*FFFFFFF\b)", std::regex::icase);
    return re;
}

const std::regex& UncachedBit()
{
    static const std::regex re(R"(\|\s*0x20000000\b)", std::regex::icase);
    return re;
}

}  // namespace

TEST(SourceRules, GameCodeNeverMasksAddressesLiterally)
{
    const auto files = GameSources();
    ASSERT_GT(files.size(), 50u);
    for (const auto& file : files) {
        const std::string code = CodeOf(file);
        EXPECT_FALSE(std::regex_search(code, PhysMask())) << file << " masks a physical address; use EE_PHYS";
        EXPECT_FALSE(std::regex_search(code, UncachedBit())) << file << " forms an uncached address; use EE_UNCACHED";
    }
}

TEST(SourceRules, TheCheckSeesAMaskWrittenInCode)
{
    // The comment stripper must not hide code, or the rule above checks nothing.
    const std::string code = StripComments("// p & 0x0FFFFFFF in a comment\n"
                                           "u32 a = p & 0x0fffffff; /* x | 0x20000000 */\n"
                                           "u32 b = p | 0x20000000;\n");
    EXPECT_TRUE(std::regex_search(code, PhysMask()));
    EXPECT_TRUE(std::regex_search(code, UncachedBit()));
    EXPECT_EQ(code.find("comment"), std::string::npos);
    EXPECT_EQ(code.find("x |"), std::string::npos);
    // Comments alone leave nothing to find.
    EXPECT_FALSE(std::regex_search(StripComments("// a & 0x0FFFFFFF\n/* b | 0x20000000 */\n"), PhysMask()));
    EXPECT_FALSE(std::regex_search(StripComments("// a & 0x0FFFFFFF\n/* b | 0x20000000 */\n"), UncachedBit()));
}
