#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <set>

#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Streamer.h"

namespace {

using streamtest::Pattern;

// A loading callback that counts its rounds and answers a set reply.  Each
// round stands for a drawn loading frame, which takes time.
class CountingCallback : public LoadingCallback {
public:
    explicit CountingCallback(int reply) : reply(reply) {}
    int operator()(void* p) override
    {
        calls++;
        EXPECT_EQ(p, nullptr);
        EXPECT_GT(LoadingCallback::bytes, 0);
        ee_spin(20000);
        return reply;
    }
    int reply;
    int calls = 0;
};

class FileLoadTest : public streamtest::StreamerTest {
protected:
    void TearDown() override
    {
        LoadingCallback::cbs.Clear();
        StreamerTest::TearDown();
    }
};

// Usable bytes of the heap block holding p.
u32 Reserved(void* p)
{
    return heaptest::BlockSize(heaptest::Header(p)) - 8;
}

TEST_F(FileLoadTest, LoadsTheWholeFileAligned)
{
    auto file = Pattern(70000, 1);
    StartWith({{"data/level.bin", file, ""}});
    unsigned len = 0;
    void* p = FileLoad("DATA\\LEVEL.BIN", &len);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(len, 70000u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
    EXPECT_EQ(memcmp(p, file.data(), file.size()), 0);
    EXPECT_EQ(numvfdsallocated, 0);  // the stream was closed
    free(p);
    EXPECT_EQ(FileLoad("DATA\\LEVEL.BIN", nullptr) != nullptr, true);
}

TEST_F(FileLoadTest, ReservesWholeLinesPlusOne)
{
    // 64 bytes take one 64-byte line, plus one line: 128; 65 bytes take two
    // lines plus one: 192.
    StartWith({{"a64", Pattern(64, 2), ""}, {"a65", Pattern(65, 3), ""}, {"a0", {}, ""}});
    void* p64 = FileLoad("A64", nullptr);
    void* p65 = FileLoad("A65", nullptr);
    ASSERT_NE(p64, nullptr);
    ASSERT_NE(p65, nullptr);
    EXPECT_GE(Reserved(p64), 128u);
    EXPECT_LT(Reserved(p64), 192u);
    EXPECT_GE(Reserved(p65), 192u);
    EXPECT_LT(Reserved(p65), 256u);
    unsigned len = 99;
    void* p0 = FileLoad("A0", &len);
    ASSERT_NE(p0, nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_GE(Reserved(p0), 64u);
    free(p64);
    free(p65);
    free(p0);
}

TEST_F(FileLoadTest, MissingFileGivesNullSilently)
{
    StartWith({{"a.bin", Pattern(10, 4), ""}});
    console::ClearConsoleText();
    unsigned len = 1234;
    EXPECT_EQ(FileLoad("NOPE.BIN", &len), nullptr);
    EXPECT_EQ(len, 1234u);
    char buf[16];
    EXPECT_EQ(FileLoadAt("NOPE.BIN", buf), nullptr);
    // Only the module's own line reports it.
    std::string text = console::ConsoleText();
    EXPECT_EQ(text.find("FileLoad"), std::string::npos) << text;
    EXPECT_EQ(numvfdsallocated, 0);
}

TEST_F(FileLoadTest, NoMemoryReportsFreeTotalsAndClosesTheStream)
{
    StartWith({{"big.bin", Pattern(300000, 5), ""}});
    // Take the heap down to less than the file needs.
    std::vector<void*> held;
    for (size_t chunk = 4u << 20; chunk >= 4096; chunk /= 2) {
        while (void* p = malloc(chunk))
            held.push_back(p);
    }
    unsigned biggest = 0;
    unsigned total = TotalFree(&biggest);
    ASSERT_LT(biggest, 300000u);
    console::ClearConsoleText();
    unsigned len = 0;
    EXPECT_EQ(FileLoad("BIG.BIN", &len), nullptr);
    EXPECT_EQ(len, 300000u);
    EXPECT_EQ(numvfdsallocated, 0);
    std::string text = console::ConsoleText();
    EXPECT_NE(text.find("BIG.BIN"), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(total) + " bytes free"), std::string::npos) << text;
    EXPECT_NE(text.find("largest block " + std::to_string(biggest)), std::string::npos) << text;
    for (void* p : held)
        free(p);
}

TEST_F(FileLoadTest, LoadAtFillsTheCallersBuffer)
{
    auto file = Pattern(5000, 6);
    StartWith({{"a.bin", file, ""}});
    u8* buf = static_cast<u8*>(malloc_align(5120, 64));
    memset(buf, 0xCC, 5120);
    EXPECT_EQ(FileLoadAt("A.BIN", buf), buf);
    EXPECT_EQ(memcmp(buf, file.data(), 5000), 0);
    EXPECT_EQ(buf[5000], 0xCC);
    EXPECT_EQ(FileLoadAt("A.BIN", nullptr), nullptr);
    EXPECT_EQ(numvfdsallocated, 0);
    free(buf);
}

TEST_F(FileLoadTest, CallbacksRunInListOrderUntilOneAnswers)
{
    StartWith({{"big.bin", Pattern(200000, 7), ""}});
    CountingCallback older(0), newer(0);
    older.AddCallback();
    newer.AddCallback();
    void* p = FileLoad("BIG.BIN", nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_GT(newer.calls, 0);
    EXPECT_EQ(older.calls, newer.calls);  // both ran in every round
    EXPECT_LE(LoadingCallback::bytes, 0);
    free(p);

    // A non-zero answer ends the round: the callback after it never runs.
    CountingCallback stopper(1);
    stopper.AddCallback();
    int before = older.calls;
    p = FileLoad("BIG.BIN", nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_GT(stopper.calls, 0);
    EXPECT_EQ(newer.calls, before);
    EXPECT_EQ(older.calls, before);
    free(p);
    EXPECT_TRUE(stopper.RemoveCallback());
    EXPECT_TRUE(newer.RemoveCallback());
    EXPECT_TRUE(older.RemoveCallback());
}

TEST_F(FileLoadTest, WaitRecordsTheStreamAndEndsWhenNothingIsPending)
{
    auto file = Pattern(10000, 8);
    StartWith({{"a.bin", file, ""}});
    int fd = StreamerOpen("A.BIN", 0);
    u8* buf = static_cast<u8*>(malloc_align(10048, 64));
    StreamerTransfer(fd, buf, 10000);
    LoadingCallback::Wait(fd);
    EXPECT_EQ(LoadingCallback::fd, fd);
    EXPECT_LE(LoadingCallback::bytes, 0);
    EXPECT_EQ(memcmp(buf, file.data(), 10000), 0);
    // Nothing pending: one poll and no callback round.
    CountingCallback cb(0);
    cb.AddCallback();
    LoadingCallback::Wait(fd);
    EXPECT_EQ(cb.calls, 0);
    cb.RemoveCallback();
    StreamerClose(fd);
    free(buf);
}

}  // namespace
