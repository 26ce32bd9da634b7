// The sound module seen through its remote-call protocol alone: the test is
// its own client, and looks at the sound processor's voices and sound RAM
// directly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <ee/sif.h>
#include <iop/module_image.h>

#include "console/sif/iop_test_util.h"
#include "spu2/spu_ram.h"
#include "ZevEngine2/PS2/sound_support.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/PS2/iop/IOPSound.h"
#include "ZevEngine2/PS2/iop/IOPStream.h"

namespace {

using soundtest::Bank;
using soundtest::Round64;
using soundtest::Tone;
using soundtest::VoiceAt;

CONSOLE_MODULE_IMAGE(test_sound_image, "ZevSound", 256);
CONSOLE_MODULE_IMAGE(test_stream_image, "ZevStreamer", 256);

constexpr int kFreeWithoutBanks = 0x1FAFF0;

// Bank files sent from main memory: program data, which the module may pull.
alignas(64) u8 g_file[64 * 1024];
alignas(64) u8 g_send[SOUND_BUFFER_SIZE];
alignas(64) s32 g_recv[1];
alignas(64) SOUNDINFO g_info;

class IopSound : public streamtest::DiscTest {
protected:
    // The disc (when files are given), the streaming module, the sound
    // library and the sound module, initialised as the game does.
    void Start(const std::vector<tools::PakInputFile>& files = {})
    {
        if (!files.empty())
            MakeDisc(files);
        sceSifInitRpc(0);
        sceSifInitIopHeap();
        ASSERT_GT(iop_test::LoadIrx(libsd, 28573), 0);
        ASSERT_GE(iop_test::LoadIrx(test_stream_image, sizeof test_stream_image), 0);
        ASSERT_GT(iop_test::BindWithRetry(&stream_cd_, STREAM_RPC_SERVER), 0);
        u32 init[2] = {0x80000, 15};
        std::memcpy(g_send, init, 8);
        ASSERT_EQ(sceSifCallRpc(&stream_cd_, STREAMCMD_INIT, 0, g_send, 8, g_recv, 4, nullptr, nullptr), 0);
        ASSERT_GE(iop_test::LoadIrx(test_sound_image, sizeof test_sound_image), 0);
        ASSERT_GT(iop_test::BindWithRetry(&cd_, SOUND_RPC_SERVER), 0);
        ASSERT_EQ(Call(ZEVSOUND_INIT, {}), 1);
    }

    int CallBytes(int fno, const void* data, int size)
    {
        std::memcpy(g_send, data, size_t(size));
        g_recv[0] = 0x55555555;
        EXPECT_EQ(sceSifCallRpc(&cd_, u32(fno), 0, g_send, size, g_recv, 4, nullptr, nullptr), 0);
        return g_recv[0];
    }

    // A command with u16 arguments.
    int Call(int fno, std::initializer_list<u16> args)
    {
        std::vector<u16> v(args);
        return CallBytes(fno, v.data(), int(v.size() * 2));
    }

    int Call32(int fno, std::initializer_list<u32> args)
    {
        std::vector<u32> v(args);
        return CallBytes(fno, v.data(), int(v.size() * 4));
    }

    int LoadFromMemory(const std::vector<u8>& file)
    {
        EXPECT_LE(file.size(), sizeof g_file);
        std::memcpy(g_file, file.data(), file.size());
        return Call32(ZEVSOUND_LOADBANK_EE, {u32(reinterpret_cast<uintptr_t>(g_file)), u32(file.size())});
    }

    int LoadFromDisc(const std::string& name) { return CallBytes(ZEVSOUND_LOADBANK, name.c_str(), int(name.size() + 1)); }

    int Play(u16 bank, u16 index, u16 voice, u16 pitch = 256, u16 left = 0x3FFF, u16 right = 0x3FFF)
    {
        return Call(ZEVSOUND_PLAY, {bank, index, voice, pitch, left, right});
    }

    // A batch of records {command, length, u16 payload}.
    struct Batch {
        std::vector<u8> bytes;
        Batch& Add(u8 command, std::initializer_list<u16> args)
        {
            bytes.push_back(command);
            bytes.push_back(u8(args.size() * 2));
            for (u16 a : args) {
                bytes.push_back(u8(a));
                bytes.push_back(u8(a >> 8));
            }
            return *this;
        }
    };

    const SOUNDINFO& RunWithInfo(const Batch& b)
    {
        std::memcpy(g_send, b.bytes.data(), b.bytes.size());
        std::memset(&g_info, 0x55, sizeof g_info);
        EXPECT_EQ(sceSifCallRpc(&cd_, ZEVSOUND_BATCH_INFO, 0, g_send, int(b.bytes.size()), &g_info, sizeof g_info,
                                nullptr, nullptr),
                  0);
        return g_info;
    }

    static bool ConsoleHas(const std::string& line) { return console::ConsoleText().find(line) != std::string::npos; }

    sceSifClientData cd_{};
    sceSifClientData stream_cd_{};
};

TEST_F(IopSound, FreeSoundRamShrinksByEachBankRoundedUpPlusItsGap)
{
    // 140 samples are five 16-byte blocks: 80 bytes of data.
    const std::vector<u8> first = Bank({Tone("a", 1000, 140)});
    const std::vector<u8> second = Bank({Tone("b", 500, 28 * 10), Tone("c", 250, 28)});
    Start({{"VAGS/SECOND.SND", second, ""}});
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), kFreeWithoutBanks);

    ASSERT_EQ(LoadFromMemory(first), 0);
    const u32 s1 = 80;
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), int(kFreeWithoutBanks - (Round64(s1) + 64)));
    EXPECT_EQ(Call(ZEVSOUND_BANKSIZE, {0}), int(Round64(s1)));
    EXPECT_EQ(Call(ZEVSOUND_BANKBASE, {0}), int(SOUND_BANK_BASE));
    EXPECT_EQ(std::memcmp(console::spu2::SoundRam() + SOUND_BANK_BASE, first.data() + 64, s1), 0);

    // From the disc, through the streaming module: 11 blocks.
    ASSERT_EQ(LoadFromDisc("VAGS\\SECOND.SND"), 1);
    const u32 s2 = 176;
    const u32 base2 = SOUND_BANK_BASE + Round64(s1) + 64;
    EXPECT_EQ(Call(ZEVSOUND_BANKBASE, {1}), int(base2));
    EXPECT_EQ(Call(ZEVSOUND_BANKSIZE, {1}), int(Round64(s2)));
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), int(0x200000 - (base2 + Round64(s2) + 64)));
    EXPECT_EQ(std::memcmp(console::spu2::SoundRam() + base2, second.data() + 64, s2), 0);
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 2);
    // No such bank: size and base answer 0.
    EXPECT_EQ(Call(ZEVSOUND_BANKSIZE, {2}), 0);
    EXPECT_EQ(Call(ZEVSOUND_BANKBASE, {7}), 0);
}

TEST_F(IopSound, OnlyTheTopBankCanBeUnloaded)
{
    Start();
    EXPECT_EQ(Call(ZEVSOUND_UNLOADBANK, {0}), 0);
    EXPECT_TRUE(ConsoleHas("IOP: Sound bank index 0 cannot be unloaded (none are loaded)\n"));
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28)})), 0);
    ASSERT_EQ(Call32(ZEVSOUND_CREATESTREAM, {1000}), 1);
    const int free = Call(ZEVSOUND_FREERAM, {});

    EXPECT_EQ(Call(ZEVSOUND_UNLOADBANK, {0}), 0);
    EXPECT_TRUE(ConsoleHas("IOP: Sound bank index 0 cannot be unloaded (index 1 is last)\n"));
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 2);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), free);
    EXPECT_EQ(Play(0, 0, 2), 1);  // still playable

    EXPECT_EQ(Call(ZEVSOUND_DESTROYSTREAM, {1}), 0);
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 1);
    EXPECT_EQ(Call(ZEVSOUND_UNLOADBANK, {0}), 0);
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 0);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), kFreeWithoutBanks);
    // The module's memory for the header went with the bank: a new bank
    // lands where the first did.
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28)})), 0);
    EXPECT_EQ(Call(ZEVSOUND_BANKBASE, {0}), int(SOUND_BANK_BASE));
}

TEST_F(IopSound, PlayStartsTheSampleAtItsOwnRateTimesTheFactor)
{
    // 24 kHz plays at pitch 2048; the second sample starts 4 blocks in.
    Start();
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 100, 24000), Tone("b", 300, 28, 48000)})), 0);
    EXPECT_EQ(Play(0, 0, 5, 0x180, 0x1000, 0x2000), 1);
    EXPECT_EQ(VoiceAt(5).pitch, 2048 * 0x180 / 256);
    EXPECT_EQ(VoiceAt(5).volume_left, 0x1000);
    EXPECT_EQ(VoiceAt(5).volume_right, 0x2000);
    EXPECT_EQ(VoiceAt(5).start_address, SOUND_BANK_BASE);
    EXPECT_TRUE(VoiceAt(5).Sounding());

    EXPECT_EQ(Play(0, 1, 40), 1);  // voice 16 of core 1
    EXPECT_EQ(VoiceAt(40).pitch, 0x1000);
    EXPECT_EQ(VoiceAt(40).start_address, SOUND_BANK_BASE + 4 * 16);
    EXPECT_TRUE(VoiceAt(40).Sounding());
}

TEST_F(IopSound, PlayOfASampleBeyondTheBankStartsNothing)
{
    Start();
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28), Tone("b", 500, 28)})), 0);
    EXPECT_EQ(Play(0, 2, 7), 0);  // the sample count
    EXPECT_EQ(Play(1, 0, 8), 0);  // no bank 1
    EXPECT_EQ(Play(0, 0, 48), 0); // no voice 48
    EXPECT_FALSE(VoiceAt(7).Sounding());
    EXPECT_FALSE(VoiceAt(8).Sounding());
    EXPECT_EQ(VoiceAt(7).pitch, 0);
    EXPECT_EQ(console::spu2::GetCore(0).key_on, 0u);
    EXPECT_EQ(Play(0, 1, 7), 1);
    EXPECT_TRUE(VoiceAt(7).Sounding());
}

TEST_F(IopSound, PitchChangesWhilePausedApplyOnResume)
{
    Start();
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28 * 20, 48000, tools::AdpcmLoop::kWhole)})), 0);
    ASSERT_EQ(Play(0, 0, 3), 1);
    ASSERT_EQ(Play(0, 0, 27), 1);
    EXPECT_EQ(VoiceAt(3).pitch, 0x1000);

    EXPECT_EQ(Call(ZEVSOUND_PAUSE, {}), 0);
    EXPECT_EQ(VoiceAt(3).pitch, 0);
    EXPECT_EQ(VoiceAt(27).pitch, 0);
    Call(ZEVSOUND_PITCH, {3, 0x80});
    Call(ZEVSOUND_PITCH, {3, 0x200});
    EXPECT_EQ(VoiceAt(3).pitch, 0);  // still paused
    Call(ZEVSOUND_PAUSE, {});        // a second pause changes nothing

    EXPECT_EQ(Call(ZEVSOUND_RESUME, {}), 0);
    EXPECT_EQ(VoiceAt(3).pitch, 0x2000);   // the latest factor
    EXPECT_EQ(VoiceAt(27).pitch, 0x1000);  // unchanged voices get their own back

    // Above the register's 14 bits the voice plays at its top speed.
    Call(ZEVSOUND_PITCH, {3, 0x500});
    EXPECT_EQ(VoiceAt(3).pitch, 0x3FFF);
}

TEST_F(IopSound, InitVolumeStopAndVoiceQueries)
{
    Start();
    EXPECT_TRUE(ConsoleHas("IOP: Initializing sound.\n"));
    for (int core = 0; core < 2; core++) {
        const console::spu2::Core& c = console::spu2::GetCore(core);
        EXPECT_EQ(c.master_left, 0x3FFF);
        EXPECT_EQ(c.mixer, 0xFFCF);
        EXPECT_EQ(c.dry_left & c.dry_right, 0xFFFFFFu);
    }
    EXPECT_EQ(Call(99, {}), -1);  // no such command
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28 * 20, 48000, tools::AdpcmLoop::kWhole)})), 0);
    EXPECT_EQ(Call(ZEVSOUND_FIRSTSILENT, {}), 0);
    ASSERT_EQ(Play(0, 0, 0), 1);
    ASSERT_EQ(Play(0, 0, 25), 1);
    ee_spin(20 * console::kSpuSample);  // the envelopes rise
    EXPECT_EQ(Call(ZEVSOUND_SOUNDING, {0}), 1);
    EXPECT_EQ(Call(ZEVSOUND_SOUNDING, {1}), 0);
    EXPECT_EQ(Call(ZEVSOUND_FIRSTSILENT, {}), 1);
    EXPECT_EQ(Call(ZEVSOUND_MASK0, {}), 0x1);
    EXPECT_EQ(Call(ZEVSOUND_MASK1, {}), 0x2);
    const int addr = Call(ZEVSOUND_VOICEADDR, {25});
    EXPECT_GE(addr, int(SOUND_BANK_BASE));
    EXPECT_LT(addr, int(SOUND_BANK_BASE + 20 * 16));

    EXPECT_EQ(Call(ZEVSOUND_VOLUME, {25, 0x123, 0x456}), 0);
    EXPECT_EQ(VoiceAt(25).volume_left, 0x123);
    EXPECT_EQ(VoiceAt(25).volume_right, 0x456);

    EXPECT_EQ(Call(ZEVSOUND_STOP, {25}), 0);
    EXPECT_NE(VoiceAt(25).Phase(), console::spu2::EnvelopePhase::kSustain);
    ee_spin(100 * console::kSpuSample);
    EXPECT_EQ(Call(ZEVSOUND_MASK1, {}), 0);
    EXPECT_EQ(Call(ZEVSOUND_MASK0, {}), 1);  // the looping voice left alone sounds on
    EXPECT_EQ(Call(ZEVSOUND_STOP, {60}), -1);  // no such voice

    Call(ZEVSOUND_MASTERVOL, {0x1000, 0x2000});
    for (int core = 0; core < 2; core++) {
        EXPECT_EQ(console::spu2::GetCore(core).master_left, 0x1000);
        EXPECT_EQ(console::spu2::GetCore(core).master_right, 0x2000);
    }
}

TEST_F(IopSound, BatchWithInfoReportsTheVoicesItStarted)
{
    Start();
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28 * 8)})), 0);
    Batch b;
    b.Add(ZEVSOUND_PLAY, {0, 0, 3, 256, 0x3FFF, 0x3FFF}).Add(ZEVSOUND_PLAY, {0, 0, 30, 256, 0x3FFF, 0x3FFF});
    b.Add(ZEVSOUND_VOLUME, {30, 0x100, 0x200});
    ASSERT_EQ(b.bytes[0], 11);  // the play record's header word is 0x0C0B
    ASSERT_EQ(b.bytes[1], 12);
    const SOUNDINFO& info = RunWithInfo(b);
    EXPECT_EQ(info.activemask[0], 1u << 3);
    EXPECT_EQ(info.activemask[1], 1u << 6);
    EXPECT_GE(info.playaddr[3], SOUND_BANK_BASE);
    EXPECT_LT(info.playaddr[3], SOUND_BANK_BASE + 8 * 16);
    EXPECT_GE(info.playaddr[30], SOUND_BANK_BASE);
    EXPECT_LT(info.playaddr[30], SOUND_BANK_BASE + 8 * 16);
    EXPECT_EQ(info.playaddr[10], 0u);  // a voice never started
    EXPECT_EQ(VoiceAt(30).volume_left, 0x100);

    // A batch without info answers the last command's result.
    Batch plain;
    plain.Add(ZEVSOUND_PLAY, {0, 0, 4, 256, 0, 0}).Add(ZEVSOUND_PLAY, {0, 9, 5, 256, 0, 0});
    std::memcpy(g_send, plain.bytes.data(), plain.bytes.size());
    ASSERT_EQ(sceSifCallRpc(&cd_, ZEVSOUND_BATCH, 0, g_send, int(plain.bytes.size()), g_recv, 4, nullptr, nullptr), 0);
    EXPECT_EQ(g_recv[0], 0);
    EXPECT_TRUE(VoiceAt(4).Sounding());

    // The one-shot sample ends by itself: the next report has it silent.
    ee_spin(2 * 48 * 28 * 8 * console::kSpuSample / 48);
    const SOUNDINFO& later = RunWithInfo(Batch{});
    EXPECT_EQ(later.activemask[0], 0u);
    EXPECT_EQ(later.activemask[1], 0u);

    // A record running past the end of the batch ends it.
    Batch cut;
    cut.Add(ZEVSOUND_PLAY, {0, 0, 1, 256, 0x3FFF, 0x3FFF});
    cut.bytes.insert(cut.bytes.end(), {ZEVSOUND_PLAY, 12, 0, 0, 0, 0, 2, 0});
    RunWithInfo(cut);
    EXPECT_TRUE(VoiceAt(1).Sounding());
    EXPECT_FALSE(VoiceAt(2).Sounding());
    EXPECT_TRUE(ConsoleHas("IOP: Sound batch record 11 at byte 14 runs past the 22-byte batch.\n"));
}

TEST_F(IopSound, StreamBankPlaysFromItsBaseAtTheGivenPitch)
{
    Start();
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28)})), 0);
    ASSERT_EQ(Call32(ZEVSOUND_CREATESTREAM, {0x1000}), 1);
    const int base = Call(ZEVSOUND_BANKBASE, {1});
    EXPECT_EQ(base, int(SOUND_BANK_BASE + 64 + 64));
    EXPECT_EQ(Call(ZEVSOUND_BANKSIZE, {1}), 0x1000);
    EXPECT_EQ(Play(1, 77, 9, 0x0800), 1);  // the sample index does not matter
    EXPECT_EQ(VoiceAt(9).pitch, 0x0800);
    EXPECT_EQ(VoiceAt(9).start_address, u32(base));
    Call(ZEVSOUND_PITCH, {9, 0x200});
    EXPECT_EQ(VoiceAt(9).pitch, 0x1000);
}

TEST_F(IopSound, SoundRamOverflowRefusesTheBank)
{
    Start();
    // The largest bank that fits: its data rounded up to 64 and the 64-byte
    // gap after it (the banks start at 0x5010, so 48 bytes stay unused).
    const u32 fits = (kFreeWithoutBanks - 64) & ~63u;
    ASSERT_EQ(Call32(ZEVSOUND_CREATESTREAM, {fits + 1}), -1);
    char line[160];
    std::snprintf(line, sizeof line,
                  "IOP: Bank index 0 allocation caused sound RAM overflow: %d bytes available, %d needed\n",
                  kFreeWithoutBanks, int(fits + 64 + 64));
    EXPECT_TRUE(ConsoleHas(line)) << console::ConsoleText();
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 0);

    ASSERT_EQ(Call32(ZEVSOUND_CREATESTREAM, {fits}), 0);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), 48);
    EXPECT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28)})), -1);
    EXPECT_TRUE(ConsoleHas("IOP: Bank index 1 allocation caused sound RAM overflow: 48 bytes available, 128 needed\n"));
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 1);
    // A size past 32 bits of sound RAM is refused the same way.
    EXPECT_EQ(Call32(ZEVSOUND_CREATESTREAM, {0xFFFFFFF0u}), -1);
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 1);
}

TEST_F(IopSound, The33rdBankIsRefused)
{
    Start();
    for (int i = 0; i < SOUND_MAX_BANKS; i++)
        ASSERT_EQ(Call32(ZEVSOUND_CREATESTREAM, {64}), i);
    EXPECT_EQ(Call32(ZEVSOUND_CREATESTREAM, {64}), -1);
    EXPECT_TRUE(ConsoleHas("IOP: Bank index 32 allocation failed")) << console::ConsoleText();
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), SOUND_MAX_BANKS);
}

TEST_F(IopSound, BanksWithBadOffsetsOrSizesAreRefused)
{
    const std::vector<u8> good = Bank({Tone("a", 1000, 28 * 4), Tone("b", 1000, 28 * 2)});
    // Sample 1 said to start at the end of the data (6 blocks = 96 bytes).
    std::vector<u8> badstart = good;
    badstart[8] = 96 / 8;
    // More data announced than the file holds.
    std::vector<u8> badsize = good;
    badsize[2] = 200 / 8;
    // A header longer than the file: 300 samples in 70 bytes.
    std::vector<u8> shortheader(good.begin(), good.begin() + 70);
    shortheader[0] = 44;
    shortheader[1] = 1;
    Start({{"BADSTART.SND", badstart, ""}, {"SHORT.SND", shortheader, ""}});

    EXPECT_EQ(LoadFromMemory(badstart), -1);
    EXPECT_TRUE(ConsoleHas("sample 1 starts at 0x60, outside its 0x60 bytes of samples")) << console::ConsoleText();
    EXPECT_EQ(LoadFromMemory(badsize), -1);
    EXPECT_TRUE(ConsoleHas("and 200 bytes of samples do not fit in its 160 bytes")) << console::ConsoleText();
    EXPECT_EQ(LoadFromDisc("BADSTART.SND"), -1);
    EXPECT_TRUE(ConsoleHas("IOP: Bad sound bank BADSTART.SND: sample 1 starts at 0x60")) << console::ConsoleText();
    EXPECT_EQ(LoadFromDisc("SHORT.SND"), -1);
    EXPECT_TRUE(ConsoleHas("IOP: Bad sound bank SHORT.SND: 70 bytes, shorter than its 1204-byte header.\n"))
        << console::ConsoleText();
    EXPECT_EQ(LoadFromDisc("NONE.SND"), -1);
    EXPECT_TRUE(ConsoleHas("IOP: Unable to load bank NONE.SND.\n"));
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 0);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), kFreeWithoutBanks);

    // Nothing was left behind: a good bank still loads at the first place.
    EXPECT_EQ(LoadFromMemory(good), 0);
    EXPECT_EQ(Play(0, 1, 0), 1);
    EXPECT_EQ(VoiceAt(0).start_address, SOUND_BANK_BASE + 64);
}

// The samples of a bank read from the disc are sound data as the sound
// processor decodes it: each 16-byte block a shift of at most 12, a filter
// of at most 4 and flags of at most 7.  A bank whose body breaks that (its
// bytes damaged on the disc) is refused, naming the block, and leaves no
// bank and no sound RAM behind.
TEST_F(IopSound, ABankWhoseSamplesAreNotSoundDataIsRefused)
{
    const std::vector<u8> good = Bank({Tone("a", 1000, 28 * 4), Tone("b", 1000, 28 * 2)});
    // The six blocks of samples (4 + 2) end the file.
    const size_t body = good.size() - 6 * 16;
    std::vector<u8> filter = good, flags = good;
    filter[body + 4 * 16] = 0x5C;       // filter 5 in the first block of "b"
    flags[body + 16 + 1] = 0x80;        // flags beyond the three loop bits in "a"'s second block
    Start({{"FILTER.SND", filter, ""}, {"FLAGS.SND", flags, ""}, {"GOOD.SND", good, ""}});

    char line[128];
    EXPECT_EQ(LoadFromDisc("FILTER.SND"), -1);
    std::snprintf(line, sizeof line, "IOP: Bad sound bank FILTER.SND: the block at 0x%zx is not sound data.\n",
                  body + 4 * 16);
    EXPECT_TRUE(ConsoleHas(line)) << console::ConsoleText();
    EXPECT_EQ(LoadFromDisc("FLAGS.SND"), -1);
    std::snprintf(line, sizeof line, "IOP: Bad sound bank FLAGS.SND: the block at 0x%zx is not sound data.\n",
                  body + 16);
    EXPECT_TRUE(ConsoleHas(line)) << console::ConsoleText();
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 0);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), kFreeWithoutBanks);

    EXPECT_EQ(LoadFromDisc("GOOD.SND"), 0);
    EXPECT_EQ(Play(0, 1, 0), 1);
}

TEST_F(IopSound, ABankWithoutSamplesIsTheEmptyBank)
{
    const std::vector<u8> empty = Bank({});
    ASSERT_EQ(empty.size(), 64u);
    Start({{"EMPTY.SND", empty, ""}});
    ASSERT_EQ(LoadFromDisc("EMPTY.SND"), 0);
    EXPECT_EQ(Call(ZEVSOUND_BANKSIZE, {0}), 64);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), kFreeWithoutBanks - 128);
    // Three blocks: silence, the loop end, the stop.
    const u8* ram = console::spu2::SoundRam() + SOUND_BANK_BASE;
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(ram[i], 0) << i;
    EXPECT_EQ(ram[16], 0x0C);
    EXPECT_EQ(ram[17], 0x01);
    EXPECT_EQ(ram[32], 0x07);
    EXPECT_EQ(ram[33], 0x00);
    EXPECT_EQ(Play(0, 0, 0), 0);

    // From main memory, anything under 9 bytes is the empty bank too.
    EXPECT_EQ(LoadFromMemory(std::vector<u8>(8, 0xFF)), 1);
    EXPECT_EQ(LoadFromMemory(empty), 2);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), kFreeWithoutBanks - 3 * 128);
}

// A bank of samples zeroed in place reads as "no samples" over the bank's
// length: refused by name from the disc and from memory, not made silent.
TEST_F(IopSound, ABankZeroedInPlaceIsRefusedNotEmpty)
{
    const std::vector<u8> zeroed(Bank({Tone("a", 1000, 28 * 4), Tone("b", 1000, 28 * 2)}).size(), 0);
    ASSERT_GT(zeroed.size(), 64u);
    Start({{"ZEROED.SND", zeroed, ""}});
    EXPECT_EQ(LoadFromDisc("ZEROED.SND"), -1);
    char line[128];
    std::snprintf(line, sizeof line,
                  "IOP: Bad sound bank ZEROED.SND: its header names no samples, yet the bank holds %zu bytes.\n",
                  zeroed.size());
    EXPECT_TRUE(ConsoleHas(line)) << console::ConsoleText();
    EXPECT_EQ(LoadFromMemory(zeroed), -1);
    EXPECT_EQ(Call(ZEVSOUND_NUMBANKS, {}), 0);
    EXPECT_EQ(Call(ZEVSOUND_FREERAM, {}), kFreeWithoutBanks);
}

TEST_F(IopSound, SecondLayoutBanksReportTheirFlags)
{
    const std::vector<u8> two =
        Bank({Tone("a", 1000, 28, 48000, tools::AdpcmLoop::kOneShot, 0x0003), Tone("b", 1000, 56, 12000)},
             tools::BankLayout::kLayout2, 0x0012);
    Start({{"TWO.SND", two, ""}});
    ASSERT_EQ(LoadFromMemory(Bank({Tone("a", 1000, 28)})), 0);
    ASSERT_EQ(LoadFromDisc("TWO.SND"), 1);
    EXPECT_EQ(Call(ZEVSOUND_BANKFLAGS, {1}), 0x8012);
    EXPECT_EQ(Call(ZEVSOUND_SAMPLEFLAGS, {1, 0}), 3);
    EXPECT_EQ(Call(ZEVSOUND_SAMPLEFLAGS, {1, 1}), 0);
    EXPECT_EQ(Call(ZEVSOUND_SAMPLEFLAGS, {1, 2}), 0);
    EXPECT_EQ(Call(ZEVSOUND_BANKFLAGS, {0}), 0);  // the first layout has none
    EXPECT_EQ(Call(ZEVSOUND_SAMPLEFLAGS, {0, 0}), 0);
    EXPECT_EQ(Call(ZEVSOUND_BANKFLAGS, {5}), 0);

    // Offsets count in bytes: the second sample starts one block in.
    const u32 base = SOUND_BANK_BASE + 64 + 64;
    EXPECT_EQ(Play(1, 1, 2), 1);
    EXPECT_EQ(VoiceAt(2).start_address, base + 16);
    EXPECT_EQ(VoiceAt(2).pitch, 1024);  // 12 kHz
}

}  // namespace
