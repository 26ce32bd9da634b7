// The streaming module seen through its remote-call protocol alone: the test
// is its own client, so the module's replies and deliveries are checked
// without the game's streamer client in between.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <ee/sif.h>
#include <iop/module_image.h>

#include "console/sif/iop_test_util.h"
#include "spu2/spu_ram.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/PS2/iop/IOPStream.h"

namespace {

CONSOLE_MODULE_IMAGE(test_streamer_image, "ZevStreamer", 256);

// Destinations of reads: program data, which SIF DMA may write.
alignas(64) u8 g_dest[256 * 1024];
alignas(64) u32 g_send[STREAM_ARGBUF_SIZE / 4];
alignas(64) s32 g_recv[4];

struct OpenReply {
    int channel;
    u32 position;
    u32 totalsize;
};

class IopStream : public streamtest::DiscTest {
protected:
    void SetUp() override
    {
        DiscTest::SetUp();
        std::memset(g_dest, 0xCC, sizeof g_dest);
        cd_ = sceSifClientData{};
    }

    // Loads the module, binds its server and initialises it as the game does.
    void Start(u32 bufmem = 0x80000, u32 streams = 15)
    {
        sceSifInitRpc(0);
        sceSifInitIopHeap();
        ASSERT_GE(iop_test::LoadIrx(test_streamer_image, sizeof test_streamer_image), 0);
        ASSERT_GT(iop_test::BindWithRetry(&cd_, STREAM_RPC_SERVER), 0);
        ASSERT_EQ(Call(STREAMCMD_INIT, {bufmem, streams}), 1);
    }

    int Call(int fno, std::initializer_list<u32> words)
    {
        int n = 0;
        for (u32 w : words)
            g_send[n++] = w;
        g_recv[0] = 0x55555555;
        EXPECT_EQ(sceSifCallRpc(&cd_, fno, 0, g_send, n * 4, g_recv, 4, nullptr, nullptr), 0);
        return g_recv[0];
    }

    OpenReply Open(const std::string& path, u32 offset = 0)
    {
        g_send[0] = offset;
        std::memcpy(&g_send[1], path.c_str(), path.size() + 1);
        EXPECT_EQ(sceSifCallRpc(&cd_, STREAMCMD_OPEN, 0, g_send, int(path.size() + 5), g_recv, 12, nullptr, nullptr),
                  0);
        return {g_recv[0], u32(g_recv[1]), u32(g_recv[2])};
    }

    int ReadEe(int channel, void* dest, u32 size)
    {
        return Call(STREAMCMD_READ_EE, {u32(channel), u32(reinterpret_cast<uintptr_t>(dest)), size});
    }

    // Waits in the module until nothing is pending; the final count.
    int Drain(int channel) { return Call(STREAMCMD_STATUS, {u32(channel), 1}); }

    // Reads size bytes at the channel's position into g_dest + at and checks
    // them against the file's bytes from `from`.
    void ReadAndCheck(int channel, const std::vector<u8>& file, u32 from, u32 size, u32 at = 0)
    {
        ReadEe(channel, g_dest + at, size);
        Drain(channel);
        ASSERT_LE(from + size, file.size());
        EXPECT_EQ(std::memcmp(g_dest + at, file.data() + from, size), 0) << "read of " << size << " at " << from;
    }

    // Puts the archive with the word at `at` replaced by `value` on the disc
    // and starts the module afresh on it.
    void StartDamaged(const std::vector<u8>& archive, size_t at, u32 value)
    {
        std::vector<u8> bad = archive;
        std::memcpy(bad.data() + at, &value, 4);
        console::ResetScheduler();
        console::ClearConsoleText();
        cd_ = sceSifClientData{};
        WritePak(bad);
        Start();
    }

    sceSifClientData cd_{};
};

TEST_F(IopStream, PathFormsFindTheSameFile)
{
    auto file = streamtest::Pattern(5000, 1);
    auto longname = streamtest::Pattern(300, 2);
    MakeDisc({{"dir/file.ext", file, ""},
              {"dir/file.ex", streamtest::Pattern(10, 3), ""},
              {"dir/longfilename.bin", longname, ""},
              {"top.txt", streamtest::Pattern(7, 4), ""}});
    Start();

    for (const char* path :
         {"\\KORVALIS\\DIR\\FILE.EXT;1", "korvalis/dir/file.ext", "DIR\\FILE.EXT", "dir/File.Ext;7"}) {
        OpenReply r = Open(path);
        ASSERT_GE(r.channel, 0) << path;
        EXPECT_EQ(r.totalsize, 5000u) << path;
        EXPECT_EQ(r.position, 0u);
        ReadAndCheck(r.channel, file, 0, 64);
        EXPECT_EQ(Call(STREAMCMD_CLOSE, {u32(r.channel)}), 0);
    }
    for (const char* path : {"DIR\\LONGFILENAME.BIN", "\\korvalis\\dir\\longfilexyz.bin", "dir/LONGFILE.BIN"}) {
        OpenReply r = Open(path);
        ASSERT_GE(r.channel, 0) << path;
        EXPECT_EQ(r.totalsize, 300u) << path;
        ReadAndCheck(r.channel, longname, 0, 300);
        Call(STREAMCMD_CLOSE, {u32(r.channel)});
    }
    EXPECT_GE(Open("top.txt").channel, 0);
    EXPECT_EQ(console::ConsoleText().find("Failed"), std::string::npos);
}

TEST_F(IopStream, UnknownFilesFailWithTheirMessage)
{
    MakeDisc({{"dir/file.ext", streamtest::Pattern(100, 1), ""}});
    Start();
    for (const char* path :
         {"DIR\\NOPE.EXT", "OTHER\\FILE.EXT", "DIR\\FILE.EX", "DIR", "\\KORVALIS\\KORVALIS\\DIR\\X"}) {
        OpenReply r = Open(path);
        EXPECT_EQ(r.channel, -1) << path;
        EXPECT_EQ(r.position, 0u);
        EXPECT_EQ(r.totalsize, 0u);
        std::string line = std::string("IOP: STREAM: Failed to create stream for CD file ") + path + ".\n";
        EXPECT_NE(console::ConsoleText().find(line), std::string::npos) << line;
    }
    // The failures gave their channels back: all 15 can still be opened.
    for (int i = 0; i < 15; i++)
        EXPECT_GE(Open("dir/file.ext").channel, 0);
    EXPECT_EQ(Open("dir/file.ext").channel, -1);
}

TEST_F(IopStream, MidFileReadIsRoundedToQuadwordsWithWarning)
{
    auto file = streamtest::Pattern(100, 5);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    OpenReply r = Open("A.BIN");
    ASSERT_EQ(r.channel, 0);
    ReadEe(r.channel, g_dest, 20);
    EXPECT_EQ(Drain(r.channel), 0);
    EXPECT_EQ(std::memcmp(g_dest, file.data(), 32), 0);
    EXPECT_EQ(g_dest[32], 0xCC);  // nothing beyond the rounded size

    char line[160];
    std::snprintf(line, sizeof line,
                  "IOP: STREAM: Bad transfer size 0x14 (adjusting to 0x20) from stream 0 to destination 0x%x.\n",
                  unsigned(reinterpret_cast<uintptr_t>(g_dest)));
    EXPECT_EQ(streamtest::CountOf(console::ConsoleText(), line), 1u) << console::ConsoleText();

    // The module's position moved by the rounded size.
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), 0, 1}), 32);
}

TEST_F(IopStream, ReadAtTheEndOfTheFileIsNotRounded)
{
    auto file = streamtest::Pattern(100, 6);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    OpenReply r = Open("A.BIN", 80);
    ASSERT_GE(r.channel, 0);
    EXPECT_EQ(r.position, 80u);
    ReadEe(r.channel, g_dest, 20);
    EXPECT_EQ(Drain(r.channel), -1);  // at the end, nothing in flight
    EXPECT_EQ(std::memcmp(g_dest, file.data() + 80, 20), 0);
    EXPECT_EQ(g_dest[20], 0xCC);
    EXPECT_EQ(console::ConsoleText().find("Bad transfer size"), std::string::npos);

    // A read asking beyond the end is clipped to the rest, also unrounded.
    Call(STREAMCMD_SEEK, {u32(r.channel), 90, 0});
    ReadEe(r.channel, g_dest + 64, 50);
    EXPECT_EQ(Drain(r.channel), -1);
    EXPECT_EQ(std::memcmp(g_dest + 64, file.data() + 90, 10), 0);
    EXPECT_EQ(g_dest[74], 0xCC);
    EXPECT_EQ(console::ConsoleText().find("Bad transfer size"), std::string::npos);
}

TEST_F(IopStream, RoundingNeverReachesPastTheEnd)
{
    auto file = streamtest::Pattern(100, 7);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    OpenReply r = Open("A.BIN", 70);
    ReadEe(r.channel, g_dest, 20);  // 30 bytes remain; 32 would run past the end
    EXPECT_EQ(Drain(r.channel), -1);
    EXPECT_EQ(std::memcmp(g_dest, file.data() + 70, 30), 0);
    EXPECT_EQ(g_dest[30], 0xCC);
    EXPECT_NE(console::ConsoleText().find("adjusting to 0x1e"), std::string::npos) << console::ConsoleText();
}

TEST_F(IopStream, SeekPastTheEndLandsOnTotalSize)
{
    auto file = streamtest::Pattern(5000, 8);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    OpenReply r = Open("A.BIN");
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), 1000000, 0}), 5000);
    EXPECT_EQ(Drain(r.channel), -1);
    EXPECT_EQ(Call(STREAMCMD_STATUS, {u32(r.channel), 0}), -1);
    // A negative target is huge as an unsigned position: also the end.
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), u32(-10), 0}), 5000);
    // Seeking to where the stream already is queues nothing.
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), 0, 1}), 5000);
}

TEST_F(IopStream, SeekModesThenReadDeliverTheRightBytes)
{
    auto file = streamtest::Pattern(10000, 9);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    OpenReply r = Open("A.BIN");
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), u32(-96), 2}), 9904);
    ReadAndCheck(r.channel, file, 9904, 96);
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), 2040, 0}), 2040);
    ReadAndCheck(r.channel, file, 2040, 32);  // across a sector boundary
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), 4096, 1}), 2040 + 32 + 4096);
    ReadAndCheck(r.channel, file, 2040 + 32 + 4096, 160);
    // A queued seek counts in the position later requests start from.
    Call(STREAMCMD_SEEK, {u32(r.channel), 16, 0});
    ReadEe(r.channel, g_dest, 48);
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(r.channel), 0, 1}), 64);
    Drain(r.channel);
    EXPECT_EQ(std::memcmp(g_dest, file.data() + 16, 48), 0);
}

TEST_F(IopStream, LongFilesAndOddChunksArriveIntact)
{
    auto big = streamtest::Pattern(200000, 10);
    MakeDisc({{"data/big.bin", big, ""}});
    Start();
    OpenReply r = Open("DATA\\BIG.BIN");
    ASSERT_GE(r.channel, 0);
    ReadAndCheck(r.channel, big, 0, 200000);
    // Chunks that leave a sector partly used, so the next buffer re-reads it.
    OpenReply s = Open("DATA\\BIG.BIN", 3000);
    u32 pos = 3000;
    for (u32 chunk : {1040u, 2064u, 48u, 40000u, 16u}) {
        ReadAndCheck(s.channel, big, pos, chunk);
        pos += chunk;
    }
}

TEST_F(IopStream, EveryDriveModelDeliversTheSameBytes)
{
    // With an instant drive the next buffer is read before the last piece's
    // SIF DMA has landed, so deliveries wait for it; with the slow drive the
    // reads dominate.
    auto big = streamtest::Pattern(150000, 24);
    MakeDisc({{"big.bin", big, ""}});
    for (const char* model : {"instant", "real", "fast"}) {  // fast, the default, last
        SCOPED_TRACE(model);
        console::SetOption("cd-model", model);
        console::ResetScheduler();
        cd_ = sceSifClientData{};
        std::memset(g_dest, 0xCC, sizeof g_dest);
        Start();
        OpenReply r = Open("BIG.BIN", 1000);
        ReadAndCheck(r.channel, big, 1000, 149000);
        EXPECT_EQ(g_dest[149000], 0xCC);
    }
}

TEST_F(IopStream, InterleavedStreamsKeepTheirOwnBuffers)
{
    auto a = streamtest::Pattern(70000, 11);
    auto b = streamtest::Pattern(90000, 12);
    MakeDisc({{"a.bin", a, ""}, {"b.bin", b, ""}});
    Start();
    int ca = Open("A.BIN").channel;
    int cb = Open("B.BIN").channel;
    ASSERT_GE(ca, 0);
    ASSERT_GE(cb, 0);
    // Queue alternating pieces without waiting in between.
    for (u32 i = 0; i < 4; i++) {
        ReadEe(ca, g_dest + i * 16384, 16384);
        ReadEe(cb, g_dest + 65536 + i * 20000, 20000);
    }
    Drain(ca);
    Drain(cb);
    EXPECT_EQ(std::memcmp(g_dest, a.data(), 65536), 0);
    EXPECT_EQ(std::memcmp(g_dest + 65536, b.data(), 80000), 0);
}

TEST_F(IopStream, FullQueueMakesTheCallerWait)
{
    // The first read waits for the drive while the following requests pile
    // up faster than they are served: beyond 64 the module holds the caller.
    auto file = streamtest::Pattern(4096, 25);
    MakeDisc({{"a.bin", streamtest::Pattern(100000, 26), ""}, {"b.bin", file, ""}});
    // B lies away from the directory just read: an 80 ms seek before its
    // first read lands.
    console::SetOption("cd-model", "real");
    console::ResetScheduler();
    Start();
    int c = Open("B.BIN").channel;
    console::Cycles start = console::Now();
    for (u32 i = 0; i < 100; i++)
        ReadEe(c, g_dest + i * 16, 16);
    // The 65th request could be queued only after the drive had delivered.
    EXPECT_GT(console::Now() - start, console::MicrosecondsToCycles(80'000));
    EXPECT_EQ(Drain(c), 0);
    EXPECT_EQ(std::memcmp(g_dest, file.data(), 1600), 0);
    EXPECT_EQ(g_dest[1600], 0xCC);
}

TEST_F(IopStream, StatusCountsBytesInFlight)
{
    auto file = streamtest::Pattern(50000, 13);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    int c = Open("A.BIN").channel;
    int pending = ReadEe(c, g_dest, 40000);
    EXPECT_GT(pending, 0);
    EXPECT_LE(pending, 40001);
    int later = Call(STREAMCMD_STATUS, {u32(c), 0});
    EXPECT_GT(later, 0);
    EXPECT_EQ(Drain(c), 0);  // 10000 bytes are left: not the end
    EXPECT_EQ(Call(STREAMCMD_TOTALSIZE, {u32(c)}), 50000);
}

TEST_F(IopStream, StopDropsQueuedReadsButFinishesTheCurrentOne)
{
    auto file = streamtest::Pattern(100000, 14);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    int c = Open("A.BIN").channel;
    ReadEe(c, g_dest, 32768);
    ReadEe(c, g_dest + 65536, 32768);
    ReadEe(c, g_dest + 131072, 32768);
    EXPECT_EQ(Call(STREAMCMD_STOP, {u32(c)}), 0);
    EXPECT_EQ(Drain(c), 0);
    EXPECT_EQ(std::memcmp(g_dest, file.data(), 32768), 0);
    EXPECT_EQ(g_dest[65536], 0xCC);
    EXPECT_EQ(g_dest[131072], 0xCC);
    // The stream stays open and goes on from where the served read ended.
    EXPECT_EQ(Call(STREAMCMD_SEEK, {u32(c), 0, 1}), 32768);
    ReadAndCheck(c, file, 32768, 1024, 200000);
}

TEST_F(IopStream, ReadIntoIopMemoryRepliesMinusOneOrTheClippedSize)
{
    auto file = streamtest::Pattern(3000, 15);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    u8* iop = static_cast<u8*>(sceSifAllocIopHeap(4096));
    ASSERT_NE(iop, nullptr);
    u32 addr = u32(reinterpret_cast<uintptr_t>(iop));
    int c = Open("A.BIN").channel;
    EXPECT_EQ(Call(STREAMCMD_READ_IOP, {u32(c), addr, 1000}), -1);
    EXPECT_EQ(Call(STREAMCMD_READ_IOP, {u32(c), addr + 1000, 0}), 0);
    EXPECT_EQ(Call(STREAMCMD_READ_IOP, {u32(c), addr + 1000, 5000}), 2000);  // cut at the end
    EXPECT_EQ(Drain(c), -1);
    EXPECT_EQ(std::memcmp(iop, file.data(), 3000), 0);
}

TEST_F(IopStream, SoundRamTransferMarksOnlyItsFirstAndLastPieces)
{
    // 80000 bytes take three buffers of 32 KiB: the start marker goes on the
    // first block of the first piece, the end marker on the last block of the
    // last piece, and the piece boundaries are left alone.
    auto file = streamtest::SoundPattern(80000, 30);
    MakeDisc({{"s.vb", file, ""}});
    Start();
    ASSERT_GE(iop_test::LoadIrx(libsd, 28573), 0);
    int c = Open("S.VB").channel;
    const u32 spu = 0x10000;
    EXPECT_GT(Call(STREAMCMD_READ_SPU, {u32(c), spu, 80000, SNDMARKER_START | SNDMARKER_END}), 0);
    EXPECT_EQ(Drain(c), -1);
    std::vector<u8> expected = file;
    expected[1] = 6;
    expected[80000 - 16 + 1] = 3;
    const u8* ram = console::spu2::SoundRam() + spu;
    EXPECT_EQ(std::vector<u8>(ram, ram + 80000), expected);
}

TEST_F(IopStream, SoundRamMarkersClearAndStopAtTheEnd)
{
    auto file = streamtest::SoundPattern(4096, 31);
    MakeDisc({{"s.vb", file, ""}});
    Start();
    ASSERT_GE(iop_test::LoadIrx(libsd, 28573), 0);
    int c = Open("S.VB").channel;
    // First half: no start, no end: flag bytes of the first two and the last
    // two blocks cleared.
    Call(STREAMCMD_READ_SPU, {u32(c), 0x20000, 2048, SNDMARKER_NOSTART | SNDMARKER_NOEND});
    Drain(c);
    // Second half, to the end of the file: stop there.
    Call(STREAMCMD_READ_SPU, {u32(c), 0x20000 + 2048, 2048, SNDMARKER_STOPATEOF | SNDMARKER_END});
    EXPECT_EQ(Drain(c), -1);
    std::vector<u8> expected = file;
    expected[1] = expected[17] = 0;
    expected[2048 - 32 + 1] = expected[2048 - 16 + 1] = 0;
    expected[4096 - 32 + 1] = 1;
    expected[4096 - 16 + 1] = 7;
    const u8* ram = console::spu2::SoundRam() + 0x20000;
    EXPECT_EQ(std::vector<u8>(ram, ram + 4096), expected);
}

// Streamed sound is played as it arrives, so blocks that are not sound data
// (a shift above 12, a filter above 4, flag bits beyond the three markers)
// reach sound RAM as silent blocks, and the file is said once however often
// it is streamed; the good blocks round them arrive as they are.
TEST_F(IopStream, SoundRamBlocksThatAreNotSoundDataArriveAsSilence)
{
    auto file = streamtest::SoundPattern(4096, 32);
    file[16 * 3] = 0x0D;       // shift 13
    file[16 * 100] = 0x50;     // filter 5
    file[16 * 200 + 1] = 0x84; // a flag bit beyond the markers
    MakeDisc({{"BAD.VB", file, ""}});
    Start();
    ASSERT_GE(iop_test::LoadIrx(libsd, 28573), 0);
    std::vector<u8> expected = file;
    for (size_t block : {3, 100, 200})
        std::fill(expected.begin() + std::ptrdiff_t(block * 16), expected.begin() + std::ptrdiff_t(block * 16 + 16), 0);
    console::ClearConsoleText();
    for (int pass = 0; pass < 2; pass++) {
        const int c = Open("BAD.VB").channel;
        ASSERT_GE(c, 0);
        Call(STREAMCMD_READ_SPU, {u32(c), 0x30000, 4096, SNDMARKER_NORMAL});
        Drain(c);
        Call(STREAMCMD_CLOSE, {u32(c)});
        const u8* ram = console::spu2::SoundRam() + 0x30000;
        EXPECT_EQ(std::vector<u8>(ram, ram + 4096), expected) << "pass " << pass;
    }
    const std::string text = console::ConsoleText();
    EXPECT_EQ(streamtest::CountOf(text, "Bad sound stream BAD.VB: the block at 0x30 is not sound data; it plays as "
                                        "silence."),
              1u)
        << text;
}

// A stream zeroed in place is silence of its own length: it arrives whole,
// and the file is said once, when its end has gone to sound RAM; a stream with
// sound in it is not said, even when only its last block sounds.
TEST_F(IopStream, AStreamOfZerosIsSaidOnceAtItsEnd)
{
    std::vector<u8> lastSounds(4096, 0);
    lastSounds[4096 - 16 + 5] = 0x21;
    MakeDisc({{"ZERO.VB", std::vector<u8>(4096, 0), ""}, {"LAST.VB", lastSounds, ""}});
    Start();
    ASSERT_GE(iop_test::LoadIrx(libsd, 28573), 0);
    console::ClearConsoleText();
    int pass = 0;
    for (const char* name : {"ZERO.VB", "LAST.VB", "ZERO.VB"}) {
        const int c = Open(name).channel;
        ASSERT_GE(c, 0);
        Call(STREAMCMD_READ_SPU, {u32(c), 0x30000, 2048, SNDMARKER_NORMAL});
        Drain(c);
        if (pass++ == 0)   // half of its zeros went: nothing is said yet
            EXPECT_EQ(streamtest::CountOf(console::ConsoleText(), "ZERO.VB"), 0u);
        Call(STREAMCMD_READ_SPU, {u32(c), 0x30000 + 2048, 2048, SNDMARKER_NORMAL});
        Drain(c);
        Call(STREAMCMD_CLOSE, {u32(c)});
    }
    const std::string text = console::ConsoleText();
    EXPECT_EQ(streamtest::CountOf(text, "Bad sound stream ZERO.VB: every block of its 4096 bytes is zero; it holds no "
                                        "sound."),
              1u)
        << text;
    EXPECT_EQ(streamtest::CountOf(text, "LAST.VB"), 0u) << text;
    const u8* ram = console::spu2::SoundRam() + 0x30000;
    EXPECT_EQ(std::vector<u8>(ram, ram + 4096), std::vector<u8>(4096, 0));
}

TEST_F(IopStream, ChannelTableAndClose)
{
    MakeDisc({{"a.bin", streamtest::Pattern(10, 16), ""}});
    Start();
    std::vector<int> open;
    for (int i = 0; i < 15; i++)
        open.push_back(Open("A.BIN").channel);
    EXPECT_EQ(Open("A.BIN").channel, -1);
    EXPECT_EQ(Call(STREAMCMD_CLOSE, {u32(open[3])}), 0);
    EXPECT_EQ(Open("A.BIN").channel, open[3]);
    // Commands on a channel that is not open are refused, not obeyed.
    EXPECT_EQ(Call(STREAMCMD_CLOSE, {31}), -1);
    EXPECT_EQ(Call(STREAMCMD_READ_EE, {40, u32(reinterpret_cast<uintptr_t>(g_dest)), 16}), -1);
    EXPECT_EQ(g_dest[0], 0xCC);
}

TEST_F(IopStream, SecondInitAndUnknownCommandsAreRefused)
{
    MakeDisc({{"a.bin", streamtest::Pattern(10, 17), ""}});
    Start();
    EXPECT_EQ(Call(STREAMCMD_INIT, {0x80000, 15}), 0);
    EXPECT_NE(console::ConsoleText().find("IOP: STREAM: Couldn't start streaming transport thread.\n"),
              std::string::npos);
    EXPECT_EQ(Call(11, {0}), -1);
    EXPECT_EQ(Call(0, {0}), -1);
}

TEST_F(IopStream, NameWithoutTerminatorIsRefused)
{
    MakeDisc({{"abcdefgh", streamtest::Pattern(10, 18), ""}});
    Start();
    g_send[0] = 0;
    std::memcpy(&g_send[1], "ABCDEFGH", 8);  // no NUL within the 12 bytes sent
    ASSERT_EQ(sceSifCallRpc(&cd_, STREAMCMD_OPEN, 0, g_send, 12, g_recv, 12, nullptr, nullptr), 0);
    EXPECT_EQ(g_recv[0], -1);
    EXPECT_NE(console::ConsoleText().find("without its terminator"), std::string::npos);
}

TEST_F(IopStream, DirectCommandsFromAnotherModule)
{
    // RunStreamCommand's open returns only the channel number.
    auto file = streamtest::Pattern(100, 19);
    MakeDisc({{"a.bin", file, ""}});
    Start();
    // Called from the EE context here; the commands used do not block.
    u32 req[3] = {0};
    std::memcpy(&req[1], "A.BIN", 6);
    int c = RunStreamCommand(STREAMCMD_OPEN, req, 10);
    ASSERT_GE(c, 0);
    u32 total[1] = {u32(c)};
    EXPECT_EQ(RunStreamCommand(STREAMCMD_TOTALSIZE, total, 4), 100);
    EXPECT_EQ(RunStreamCommand(STREAMCMD_TOTALSIZE, total, 0), -1);  // request too short
}

TEST_F(IopStream, WithoutADiscOpensFailInsteadOfWaiting)
{
    console::SetOption("disc", "");
    sceSifInitRpc(0);
    sceSifInitIopHeap();
    ASSERT_GE(iop_test::LoadIrx(test_streamer_image, sizeof test_streamer_image), 0);
    ASSERT_GT(iop_test::BindWithRetry(&cd_, STREAM_RPC_SERVER), 0);
    EXPECT_EQ(Call(STREAMCMD_INIT, {0x80000, 15}), 1);
    EXPECT_EQ(Open("A.BIN").channel, -1);
    std::string text = console::ConsoleText();
    EXPECT_NE(text.find("IOP: STREAM: Disk not ready.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("IOP: STREAM: Stream transfer thread not running.\n"), std::string::npos) << text;
}

TEST_F(IopStream, DamagedArchivesAreRefusedWithAMessage)
{
    std::vector<u8> good;
    std::string error;
    ASSERT_TRUE(tools::BuildPak({{"dir/file.ext", streamtest::Pattern(3000, 20), ""}}, "KORVALIS", good, error));
    struct Damage {
        size_t at;
        u32 value;
        const char* message;
    };
    // Layout: root record at 0 (no files), DIR at 20 with its file record at
    // 40; the block is 60 bytes.
    for (const Damage& d : {Damage{12, 0x100000, "directory size"},  // block beyond the archive
                            Damage{8, 0x400, "outside"},             // child past the block
                            Damage{16, 0x7FFFFFF, "file records"},   // root's file count beyond the block
                            Damage{52, 999, "reaches past the end"}, // DIR's file starts beyond the archive
                            Damage{28, 20, "points back"}}) {        // DIR is its own child
        SCOPED_TRACE(d.message);
        StartDamaged(good, d.at, d.value);
        EXPECT_EQ(Open("DIR\\FILE.EXT").channel, -1);
        std::string text = console::ConsoleText();
        EXPECT_NE(text.find("IOP: STREAM: Bad archive"), std::string::npos) << text;
        EXPECT_NE(text.find(d.message), std::string::npos) << text;
    }
}

// Links that all point forward but reach one record twice (a subdirectory
// link and a sibling link naming the same directory), or a record laid over
// another: the fix-up would turn a link into a pointer twice.  Refused
// before the fix-up, and no file opens.
TEST_F(IopStream, ArchivesReachingARecordTwiceAreRefused)
{
    std::vector<u8> good;
    std::string error;
    ASSERT_TRUE(tools::BuildPak({{"a/f.bin", streamtest::Pattern(100, 30), ""},
                                 {"b/g.bin", streamtest::Pattern(200, 31), ""}},
                                "KORVALIS", good, error));
    auto word = [&](size_t at) {
        u32 w;
        std::memcpy(&w, &good[at], 4);
        return w;
    };
    const u32 a = word(8);       // the root's first subdirectory
    const u32 b = word(a + 12);  // its sibling
    ASSERT_EQ(b, a + 40);        // A's head and its one file record, then B
    ASSERT_EQ(word(a + 8), 0u);  // A has no subdirectory of its own
    struct Damage {
        size_t at;
        u32 value;
    };
    for (const Damage& d : {Damage{a + 8, b},        // A's subdirectory is also its sibling
                            Damage{a + 16, 2}}) {    // A's second file record lies over B
        StartDamaged(good, d.at, d.value);
        EXPECT_EQ(Open("B\\G.BIN").channel, -1);
        EXPECT_EQ(Open("A\\F.BIN").channel, -1);
        const std::string text = console::ConsoleText();
        EXPECT_NE(text.find("IOP: STREAM: Bad archive \\KORVALIS\\KORVALIS.PAK;1: directory record at 0x"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("is reached twice or overlaps another.\n"), std::string::npos) << text;
    }
}

// An archive whose directories nest thousands deep: the root holds X.BIN,
// then a chain of directories "D" each the only subdirectory of the one
// before, the deepest holding Z.BIN.  The module takes it and opens X.BIN;
// the archive tool lists both files.
TEST_F(IopStream, DirectoriesNestedThousandsDeepAreTaken)
{
    constexpr u32 depth = 6000;
    constexpr u32 rootBytes = sizeof(DIRECTORY) + sizeof(DIRENTRY);
    const u32 blockBytes = rootBytes + depth * sizeof(DIRECTORY) + sizeof(DIRENTRY);
    const u32 firstSector = (blockBytes + PAK_SECTOR_SIZE - 1) / PAK_SECTOR_SIZE;
    const std::vector<u8> x = streamtest::Pattern(300, 40);
    std::vector<u8> pak((firstSector + 2) * PAK_SECTOR_SIZE, 0);
    auto put = [&](u32 at, const auto& record) { std::memcpy(&pak[at], &record, sizeof record); };
    auto dir = [](const char* name, u32 child, u32 sibling, s32 entries) {
        DIRECTORY d{};
        std::memcpy(d.name, name, sizeof d.name);
        d.child = child;
        d.sibling = sibling;
        d.entries = entries;
        return d;
    };
    auto file = [](const char* name, u32 start, u32 length) {
        DIRENTRY e{};
        std::memcpy(e.name, name, sizeof e.name);
        e.start = start;
        e.length = length;
        return e;
    };
    put(0, dir("KORVALIS", rootBytes, blockBytes, 1));
    put(sizeof(DIRECTORY), file("X.BIN       ", firstSector, u32(x.size())));
    for (u32 k = 0; k < depth; k++) {
        const u32 at = rootBytes + k * u32(sizeof(DIRECTORY));
        put(at, dir("D       ", k + 1 < depth ? at + u32(sizeof(DIRECTORY)) : 0, 0, k + 1 < depth ? 0 : 1));
    }
    put(rootBytes + depth * u32(sizeof(DIRECTORY)), file("Z.BIN       ", firstSector + 1, 5));
    std::memcpy(&pak[firstSector * PAK_SECTOR_SIZE], x.data(), x.size());

    WritePak(pak);
    Start();
    const OpenReply r = Open("X.BIN");
    ASSERT_GE(r.channel, 0) << console::ConsoleText();
    EXPECT_EQ(r.totalsize, x.size());
    ReadAndCheck(r.channel, x, 0, u32(x.size()));

    std::string root, error;
    std::vector<tools::PakEntry> entries;
    ASSERT_TRUE(tools::ReadPak(pak, "deep.pak", root, entries, error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "X.BIN");
    std::string deepest;
    for (u32 k = 0; k < depth; k++)
        deepest += "D\\";
    EXPECT_EQ(entries[1].path, deepest + "Z.BIN");
    EXPECT_EQ(entries[1].length, 5u);
}

TEST_F(IopStream, RandomCorruptionNeverCrashesOrHangs)
{
    auto file = streamtest::Pattern(3000, 21);
    std::vector<u8> good;
    std::string error;
    ASSERT_TRUE(tools::BuildPak({{"dir/file.ext", file, ""}, {"x.bin", streamtest::Pattern(70, 22), ""},
                                 {"dir/sub/y", streamtest::Pattern(5000, 23), ""}},
                                "KORVALIS", good, error));
    u32 block = u32(good[12]) | u32(good[13]) << 8;
    std::mt19937 rng(2024);
    int refused = 0, opened = 0;
    for (int round = 0; round < 60; round++) {
        std::vector<u8> bad = good;
        for (int h = 0, hits = 1 + int(rng() % 3); h < hits; h++)
            bad[rng() % block] = u8(rng());
        console::ResetScheduler();
        console::ClearConsoleText();
        cd_ = sceSifClientData{};
        WritePak(bad);
        Start();
        for (const char* path : {"DIR\\FILE.EXT", "X.BIN", "DIR\\SUB\\Y"}) {
            OpenReply r = Open(path);
            if (r.channel < 0) {
                refused++;
                continue;
            }
            opened++;
            ReadEe(r.channel, g_dest, r.totalsize < sizeof g_dest ? r.totalsize : sizeof g_dest);
            Drain(r.channel);
            Call(STREAMCMD_CLOSE, {u32(r.channel)});
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(opened, 0);
}

}  // namespace
