#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/PS2/Streamer.h"

namespace {

using streamtest::Pattern;

// A read destination on the game's heap (memory SIF DMA may write).
struct HeapBuffer {
    explicit HeapBuffer(size_t n) : size(n), p(static_cast<u8*>(malloc_align(n, 64))) { memset(p, 0xCC, n); }
    ~HeapBuffer() { free(p); }
    size_t size;
    u8* p;
};

// Polls as a loading loop does, until nothing is on its way.
int PollUntilDone(int fd)
{
    int pending;
    while ((pending = StreamerBytesPending(fd, false)) > 0) {
    }
    return pending;
}

class Streamer : public streamtest::StreamerTest {};

TEST_F(Streamer, InitLoadsOnceAndLaterCallsReturnAtOnce)
{
    StartWith({{"a.bin", Pattern(10, 1), ""}});
    EXPECT_EQ(irxloaded, 1);
    EXPECT_EQ(StreamerInit(), 1);
    EXPECT_FALSE(StreamerIsBusy());
}

TEST_F(Streamer, PathFormsOpenTheSameFile)
{
    auto file = Pattern(3000, 2);
    StartWith({{"dir/file.ext", file, ""},
               {"dir/file.txt", Pattern(3000, 4), ""},
               {"dir/longfile.dat", Pattern(500, 3), ""}});
    HeapBuffer buf(4096);
    for (const char* path : {"\\KORVALIS\\DIR\\FILE.EXT;1", "korvalis/dir/file.ext", "DIR\\FILE.EXT"}) {
        int fd = StreamerOpen(path, 0);
        ASSERT_GE(fd, 0) << path;
        memset(buf.p, 0xCC, buf.size);
        EXPECT_EQ(StreamerTransfer(fd, buf.p, 3000), 3000);
        EXPECT_LE(PollUntilDone(fd), 0);
        EXPECT_EQ(memcmp(buf.p, file.data(), 3000), 0) << path;
        StreamerClose(fd);
    }
    // A base name longer than 8 characters finds the file stored under its
    // first 8.
    int fd = StreamerOpen("dir\\LongFileName.dat", 0);
    EXPECT_EQ(StreamerTotalLength(fd), 500);
    StreamerClose(fd);
    EXPECT_EQ(StreamerOpen("DIR\\NOSUCH.EXT", 0), -1);
    EXPECT_EQ(numvfdsallocated, 0);
}

TEST_F(Streamer, AsyncOpenIsInFlightUntilTimePasses)
{
    StartWith({{"a.bin", Pattern(777, 5), ""}});
    int fd = StreamerCreate("A.BIN", 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(cached_vfds[fd].iopfd, -2);
    EXPECT_TRUE(StreamerIsBusy());
    // The length waits for the open to complete, then answers.
    EXPECT_EQ(StreamerTotalLength(fd), 777);
    EXPECT_GE(cached_vfds[fd].iopfd, 0);
    StreamerClose(fd);
}

TEST_F(Streamer, BytesPendingWaitsForAnOpenInFlight)
{
    StartWith({{"a.bin", Pattern(100, 6), ""}});
    int fd = StreamerCreate("A.BIN", 10);
    EXPECT_EQ(StreamerBytesPending(fd, false), 0);
    EXPECT_GE(cached_vfds[fd].iopfd, 0);
    EXPECT_EQ(cached_vfds[fd].fp, 10u);
    StreamerClose(fd);
}

TEST_F(Streamer, FailedAsyncOpenAnswersMinusOneUntilClosed)
{
    StartWith({{"a.bin", Pattern(100, 7), ""}});
    int fd = StreamerCreate("MISSING.BIN", 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(StreamerTotalLength(fd), -1);
    EXPECT_EQ(StreamerBytesPending(fd, false), -1);
    HeapBuffer buf(64);
    EXPECT_EQ(StreamerTransfer(fd, buf.p, 16), -1);
    EXPECT_FALSE(StreamerIsBusy());
    EXPECT_EQ(numvfdsallocated, 1);
    StreamerClose(fd);
    EXPECT_EQ(numvfdsallocated, 0);
}

TEST_F(Streamer, The65thCreateFailsWithoutACall)
{
    StartWith({{"a.bin", Pattern(100, 8), ""}});
    std::vector<int> fds;
    for (int i = 0; i < 64; i++) {
        int fd = StreamerCreate("A.BIN", 0);
        ASSERT_GE(fd, 0) << i;
        fds.push_back(fd);
    }
    while (StreamerIsBusy()) {
    }
    EXPECT_EQ(StreamerCreate("A.BIN", 0), -1);
    EXPECT_FALSE(StreamerIsBusy());
    EXPECT_EQ(StreamerOpen("A.BIN", 0), -1);
    EXPECT_FALSE(StreamerIsBusy());
    // The module has 15 channels: the opens beyond them failed there.
    int open = 0;
    for (int fd : fds)
        open += StreamerTotalLength(fd) == 100;
    EXPECT_EQ(open, 15);
    for (int fd : fds)
        StreamerClose(fd);
    EXPECT_EQ(numvfdsallocated, 0);
}

TEST_F(Streamer, ClosingTwiceLeavesTheFreeStackUnchanged)
{
    StartWith({{"a.bin", Pattern(100, 9), ""}});
    int a = StreamerOpen("A.BIN", 0);
    int b = StreamerOpen("A.BIN", 0);
    int c = StreamerOpen("A.BIN", 0);
    ASSERT_GE(c, 0);
    StreamerClose(a);
    std::vector<int> stack(vfdsallocated, vfdsallocated + STREAMER_MAX_FILES);
    int count = numvfdsallocated;
    EXPECT_EQ(count, 2);
    StreamerClose(a);
    EXPECT_FALSE(StreamerIsBusy());
    EXPECT_EQ(numvfdsallocated, count);
    EXPECT_EQ(std::vector<int>(vfdsallocated, vfdsallocated + STREAMER_MAX_FILES), stack);
    // The freed descriptor is the next one handed out.
    EXPECT_EQ(StreamerOpen("A.BIN", 0), a);
    StreamerClose(b);
    StreamerClose(c);
    StreamerClose(a);
}

TEST_F(Streamer, ReadPastTheEndAsksOnlyForTheRest)
{
    auto file = Pattern(100, 10);
    StartWith({{"a.bin", file, ""}});
    HeapBuffer buf(256);
    int fd = StreamerOpen("A.BIN", 0);
    EXPECT_EQ(StreamerTransfer(fd, buf.p, 1000), 100);
    EXPECT_EQ(cached_vfds[fd].fp, 100u);
    EXPECT_EQ(StreamerBytesPending(fd, true), -1);
    EXPECT_EQ(memcmp(buf.p, file.data(), 100), 0);
    EXPECT_EQ(buf.p[100], 0xCC);
    // At the end: 0 bytes, and the call is still made.  Until its reply
    // lands the cached count is 0; the module then answers end of file.
    EXPECT_EQ(StreamerTransfer(fd, buf.p + 128, 16), 0);
    EXPECT_TRUE(StreamerIsBusy());
    EXPECT_EQ(StreamerBytesPending(fd, false), 0);
    while (StreamerIsBusy()) {
    }
    EXPECT_EQ(StreamerBytesPending(fd, false), -1);
    EXPECT_EQ(buf.p[128], 0xCC);
    StreamerClose(fd);
}

TEST_F(Streamer, SeekPastTheEndThenStatusReportsEndOfFile)
{
    auto file = Pattern(5000, 11);
    StartWith({{"a.bin", file, ""}});
    HeapBuffer buf(64);
    int fd = StreamerOpen("A.BIN", 0);
    EXPECT_EQ(StreamerSeek(fd, 100000, STREAMER_SEEK_SET), 5000);
    EXPECT_EQ(cached_vfds[fd].fp, 5000u);
    EXPECT_EQ(StreamerTransfer(fd, buf.p, 16), 0);
    while (StreamerIsBusy()) {
    }
    EXPECT_EQ(PollUntilDone(fd), -1);
    EXPECT_EQ(StreamerSeek(fd, -16, STREAMER_SEEK_END), 4984);
    EXPECT_EQ(StreamerTransfer(fd, buf.p, 16), 16);
    EXPECT_EQ(PollUntilDone(fd), -1);
    EXPECT_EQ(memcmp(buf.p, file.data() + 4984, 16), 0);
    StreamerClose(fd);
    EXPECT_EQ(StreamerSeek(fd, 0, STREAMER_SEEK_SET), -1);
}

TEST_F(Streamer, PollsWhileBusyAreDeferredAndDispatchedLater)
{
    auto a = Pattern(40000, 12);
    auto b = Pattern(40000, 16);
    StartWith({{"a.bin", a, ""}, {"b.bin", b, ""}});
    HeapBuffer bufa(40000), bufb(40000);
    int fa = StreamerOpen("A.BIN", 0);
    int fb = StreamerOpen("B.BIN", 0);
    StreamerTransfer(fa, bufa.p, 40000);
    while (StreamerIsBusy()) {
    }
    StreamerTransfer(fb, bufb.p, 40000);
    ASSERT_TRUE(StreamerIsBusy());
    // B's read is in flight: a poll of A answers A's cached count and puts
    // its status request off instead of waiting.
    int cached = cached_vfds[fa].pending;
    EXPECT_GT(cached, 0);
    EXPECT_EQ(StreamerBytesPending(fa, false), cached);
    EXPECT_EQ(cached_vfds[fa].needstatus, 1);
    EXPECT_FALSE(DispatchWaitingStatusRPCCalls());  // still busy with B's read
    while (StreamerIsBusy()) {
    }
    EXPECT_EQ(cached_vfds[fa].needstatus, 1);
    EXPECT_TRUE(DispatchWaitingStatusRPCCalls());
    EXPECT_EQ(cached_vfds[fa].needstatus, 0);
    EXPECT_TRUE(StreamerIsBusy());
    EXPECT_LE(PollUntilDone(fa), 0);
    EXPECT_LE(PollUntilDone(fb), 0);
    EXPECT_EQ(memcmp(bufa.p, a.data(), 40000), 0);
    EXPECT_EQ(memcmp(bufb.p, b.data(), 40000), 0);
    while (StreamerIsBusy()) {
    }
    EXPECT_FALSE(DispatchWaitingStatusRPCCalls());
    StreamerClose(fa);
    StreamerClose(fb);
}

TEST_F(Streamer, StopDropsQueuedReads)
{
    auto file = Pattern(100000, 13);
    StartWith({{"a.bin", file, ""}});
    HeapBuffer buf(3 * 32768);
    int fd = StreamerOpen("A.BIN", 0);
    StreamerTransfer(fd, buf.p, 32768);
    StreamerTransfer(fd, buf.p + 32768, 32768);
    StreamerTransfer(fd, buf.p + 65536, 32768);
    EXPECT_EQ(StreamerStop(fd), 0);
    EXPECT_EQ(cached_vfds[fd].pending, 0);
    EXPECT_EQ(StreamerBytesPending(fd, false), 0);
    StreamerClose(fd);
    // Close waited for whatever the module still delivered; the last read
    // was dropped before it started.
    EXPECT_EQ(buf.p[65536 + 32767], 0xCC);
}

TEST_F(Streamer, BadDescriptorsAreRefused)
{
    StartWith({{"a.bin", Pattern(10, 14), ""}});
    HeapBuffer buf(64);
    for (int fd : {-1, 64, 1000, 5}) {
        EXPECT_EQ(StreamerTotalLength(fd), -1);
        EXPECT_EQ(StreamerTransfer(fd, buf.p, 16), -1);
        EXPECT_EQ(StreamerBytesPending(fd, true), -1);
        EXPECT_EQ(StreamerSeek(fd, 0, 0), -1);
        EXPECT_EQ(StreamerStop(fd), -1);
    }
    EXPECT_FALSE(StreamerIsBusy());
    EXPECT_EQ(StreamerClose(-1), -1);
}

TEST_F(Streamer, WithoutInitNothingOpens)
{
    MakeDisc({{"a.bin", Pattern(10, 15), ""}});
    EXPECT_EQ(StreamerOpen("A.BIN", 0), -1);
    EXPECT_EQ(StreamerCreate("A.BIN", 0), -1);
    EXPECT_EQ(numvfdsallocated, 0);
}

}  // namespace
