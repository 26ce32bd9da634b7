#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/Utilities/StreamerFile.h"

namespace {

struct Line {
    std::string token;
    std::string value;
    bool root;
    bool operator==(const Line& o) const { return std::tie(token, value, root) == std::tie(o.token, o.value, o.root); }
};

std::ostream& operator<<(std::ostream& os, const Line& l)
{
    return os << "{\"" << l.token << "\", \"" << l.value << "\", " << (l.root ? "root" : "member") << "}";
}

// Every line Next gives (while it answers true) over the text.
std::vector<Line> ParseAll(const std::string& text)
{
    StreamerBlock block(text.data(), unsigned(text.size()));
    Parser p(block);
    std::vector<Line> lines;
    while (p.Next()) {
        lines.push_back({p.token, p.value, p.root});
        if (lines.size() > text.size() + 1)
            break;  // a parser that never ends would otherwise hang the test
    }
    return lines;
}

TEST(StreamerBlock, GivesBytesSignedThenEnd)
{
    const char text[] = {'A', char(0x80), char(0xFF)};
    StreamerBlock block(text, 3);
    EXPECT_TRUE(block.Exists());
    EXPECT_EQ(block.GetC(), 'A');
    EXPECT_EQ(block.GetC(), -128);
    EXPECT_EQ(block.GetC(), -1);  // a 0xFF byte reads like the end...
    EXPECT_EQ(block.outptr, 3);   // ...but is consumed
    EXPECT_EQ(block.GetC(), -1);
    EXPECT_EQ(block.outptr, 3);
}

TEST(Parser, RootAndMemberLinesWithCrLf)
{
    EXPECT_EQ(ParseAll("Key value with spaces\r\n  Sub 12\n"),
              (std::vector<Line>{{"Key", "value with spaces", true}, {"Sub", "12", false}}));
}

TEST(Parser, TabIndentsAndSeparates)
{
    EXPECT_EQ(ParseAll("\tSub\t\t7 8 \n"), (std::vector<Line>{{"Sub", "7 8 ", false}}));
}

TEST(Parser, LastLineWithoutLineEnd)
{
    StreamerBlock block("Key", 3);
    Parser p(block);
    ASSERT_TRUE(p.Next());
    EXPECT_STREQ(p.token, "Key");
    EXPECT_STREQ(p.value, "");
    EXPECT_TRUE(p.root);
    EXPECT_FALSE(p.Next());
    EXPECT_STREQ(p.token, "");
}

TEST(Parser, EmptyLinesVanishAndCommentsGiveEmptyTokens)
{
    EXPECT_EQ(ParseAll("\n\r\n; a comment\nA 1\n   ; indented comment\n\nB\n"),
              (std::vector<Line>{{"", "", true}, {"A", "1", true}, {"", "", false}, {"B", "", true}}));
}

TEST(Parser, CommentRunningIntoTheEndEndsTheInput)
{
    StreamerBlock block("A 1\n; no line end", 16);
    Parser p(block);
    ASSERT_TRUE(p.Next());
    EXPECT_FALSE(p.Next());
    EXPECT_STREQ(p.token, "");
}

TEST(Parser, BlankLineGivesEmptyToken)
{
    EXPECT_EQ(ParseAll("  \nA\n"), (std::vector<Line>{{"", "", false}, {"A", "", true}}));
}

TEST(Parser, ByteFFEndsTheLineAndReadingResumesAfterIt)
{
    std::string text = "Key first part\xFFNext 2\n";
    EXPECT_EQ(ParseAll(text), (std::vector<Line>{{"Key", "first part", true}, {"Next", "2", true}}));
}

TEST(Parser, LongTokenAndValueAreCutSafely)
{
    std::string token(100, 'T');
    std::string value(400, 'v');
    std::string text = token + " " + value + "\n  After x\n";
    auto lines = ParseAll(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].token, std::string(63, 'T'));
    EXPECT_EQ(lines[0].value, std::string(255, 'v'));
    EXPECT_EQ(lines[1], (Line{"After", "x", false}));
}

TEST(Parser, LongTokenDoesNotSpillIntoTheValue)
{
    std::string text = std::string(70, 'K') + "\n";
    auto lines = ParseAll(text);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].token.size(), 63u);
    EXPECT_EQ(lines[0].value, "");
}

TEST(Parser, IsComparesTheToken)
{
    StreamerBlock block("Ambient 1 2 3\n", 14);
    Parser p(block);
    ASSERT_TRUE(p.Next());
    EXPECT_TRUE(p.Is("Ambient"));
    EXPECT_TRUE(p == "Ambient");
    EXPECT_FALSE(p.Is("ambient"));
    EXPECT_FALSE(p == "Ambien");
}

// ---------------------------------------------------------------------------
// Files of the disc archive

class StreamerFileTest : public streamtest::StreamerTest {};

std::vector<u8> Bytes(const std::string& s)
{
    return std::vector<u8>(s.begin(), s.end());
}

// A keyword file of about 12 KB, so the reader wraps around its 2048-byte
// buffer several times, and the lines a parser must find in it.
struct KeywordFile {
    std::string text;
    std::vector<Line> lines;

    KeywordFile()
    {
        for (int block = 0; block < 100; block++) {
            std::string key = "Block" + std::to_string(block);
            std::string value = "name " + std::to_string(block * 7) + "  with  spaces ";
            text += key + " " + value + (block % 2 ? "\r\n" : "\n");
            lines.push_back({key, value, true});
            for (int m = 0; m < 4; m++) {
                std::string mkey = "Member" + std::to_string(m);
                std::string mval = std::to_string(block) + " " + std::to_string(m * 1000 + block);
                text += (m % 2 ? "\t" : "    ") + mkey + (m == 3 ? "\t" : " ") + mval + "\r\n";
                lines.push_back({mkey, mval, false});
            }
            if (block % 5 == 0) {
                text += "; comment on block " + std::to_string(block) + "\n\n\r\n";
                lines.push_back({"", "", true});
                text += "  ; indented comment\n";
                lines.push_back({"", "", false});
            }
            if (block == 33) {
                // A 0xFF byte ends the line like a line end.
                text += "Cut first half\xFF" "Second 2\n";
                lines.push_back({"Cut", "first half", true});
                lines.push_back({"Second", "2", true});
            }
        }
        text += "Final no line end";
        lines.push_back({"Final", "no line end", true});
    }
};

TEST_F(StreamerFileTest, ParserReadsALongKeywordFileFromTheArchive)
{
    KeywordFile kf;
    ASSERT_GT(kf.text.size(), 4096u * 2);  // the buffer wraps more than twice
    StartWith({{"data/lights.txt", Bytes(kf.text), ""}});
    {
        StreamerFile file("KORVALIS\\DATA\\LIGHTS.TXT");
        ASSERT_TRUE(file.Exists());
        EXPECT_EQ(file.endptr, int(kf.text.size()));
        Parser p(file);
        std::vector<Line> got;
        while (p.Next() && got.size() <= kf.lines.size())
            got.push_back({p.token, p.value, p.root});
        ASSERT_EQ(got.size(), kf.lines.size());
        for (size_t i = 0; i < got.size(); i++)
            EXPECT_EQ(got[i], kf.lines[i]) << "line " << i;
        EXPECT_FALSE(p.Next());
    }
    EXPECT_EQ(numvfdsallocated, 0);  // the file closed its stream
}

TEST_F(StreamerFileTest, BytesComeBackInOrderAcrossTheBufferHalves)
{
    std::string text;
    for (int i = 0; text.size() < 7000; i++)
        text += "line " + std::to_string(i) + " of the text\n";
    StartWith({{"t.txt", Bytes(text), ""}});
    StreamerFile file("T.TXT");
    std::vector<char> got(8000, '#');
    EXPECT_EQ(file.Read(got.data(), 8000), int(text.size()));
    EXPECT_EQ(std::string(got.data(), text.size()), text);
    EXPECT_EQ(file.GetC(), -1);
}

TEST_F(StreamerFileTest, ReadStopsAtAnFFByteAndGoesOnAfterIt)
{
    std::string text(3000, 'a');
    text += '\xFF';
    text += std::string(100, 'b');
    StartWith({{"t.bin", Bytes(text), ""}});
    StreamerFile file("T.BIN");
    std::vector<char> got(4000);
    EXPECT_EQ(file.Read(got.data(), 4000), 3000);
    EXPECT_EQ(file.Read(got.data(), 4000), 100);
    EXPECT_EQ(got[0], 'b');
}

// A file dropped at once, its first kilobyte still on its way: the read has
// landed or been dropped before the buffer goes back to the heap, so the
// heap's free-list words in the freed block stay intact (and, built with
// AddressSanitizer, nothing writes into the poisoned block).
TEST_F(StreamerFileTest, DroppedWhileReadingLeavesTheFreedBufferAlone)
{
    StartWith({{"t.bin", std::vector<u8>(5000, 0xEE), ""}});
    for (int i = 0; i < 8; i++) {
        char* buffer;
        {
            StreamerFile file("T.BIN");
            ASSERT_TRUE(file.Exists());
            buffer = file.buffer;
        }
        EXPECT_EQ(numvfdsallocated, 0);
        heaptest::CheckHeap(mal);
        // The heap gives the same block back; nothing arrives in it any more.
        char* again = static_cast<char*>(malloc_align(size_t(StreamerFile::BUFSIZE), 64));
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again, buffer);
        std::memset(again, 0x11, size_t(StreamerFile::BUFSIZE));
        while (StreamerIsBusy()) {
        }
        const int other = StreamerOpen("T.BIN", 0);  // a round trip through the module
        EXPECT_GE(other, 0);
        StreamerClose(other);
        EXPECT_EQ(std::count(again, again + StreamerFile::BUFSIZE, 0x11), StreamerFile::BUFSIZE);
        free(again);
    }
}

TEST_F(StreamerFileTest, MissingFileDoesNotExistAndReadsNothing)
{
    StartWith({{"t.txt", Bytes("x"), ""}});
    StreamerFile file("NOPE.TXT");
    EXPECT_FALSE(file.Exists());
    EXPECT_EQ(file.GetC(), -1);
    Parser p(file);
    EXPECT_FALSE(p.Next());
    EXPECT_EQ(numvfdsallocated, 0);
}

}  // namespace
