// The sound system over the real sound module: banks made by the bank
// builder, loaded from the disc or from memory, played through virtual
// channels and heard in the sound processor's registers and mixed output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <ee/sif.h>

#include "console/sif/iop_test_util.h"
#include "host/host.h"
#include "ZevEngine2/PS2/sound_support.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/PS2/platform_support.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/iop/IOPSound.h"

namespace {

using soundtest::Bank;
using soundtest::Tone;
using soundtest::VoiceAt;

constexpr u32 kFieldCycles = 2949120;  // one PAL field
constexpr u32 kStreamBankSize = 98304;
constexpr int kPreMadeBanks = 4;
constexpr u32 kFirstBankBase = SOUND_BANK_BASE + kPreMadeBanks * (kStreamBankSize + 64);

alignas(64) u8 g_bankfile[64 * 1024];

// Collects what the mixer hands over.
class CaptureSink final : public console::host::AudioSink {
public:
    void Write(const int16_t* stereo, size_t frames) override { samples.insert(samples.end(), stereo, stereo + 2 * frames); }
    std::vector<int16_t> samples;
};

// The left (0) or right (1) channel of n output samples from `from`.
std::vector<double> Channel(const std::vector<int16_t>& s, size_t from, size_t n, int side)
{
    std::vector<double> out;
    for (size_t i = from; i < from + n && 2 * i + 1 < s.size(); i++)
        out.push_back(s[2 * i + side]);
    return out;
}

class Sound : public streamtest::StreamerTest {
protected:
    void SetUp() override
    {
        StreamerTest::SetUp();
        console::host::Backend backend;
        backend.audio = &sink_;
        console::host::SetBackend(backend);
        ASSERT_GT(iop_test::LoadIrx(libsd, 28573), 0);
    }

    void TearDown() override
    {
        sound = SoundSystem(kStreamBankSize, kPreMadeBanks, true);  // drops its object references
        console::host::SetBackend(console::host::Backend{});
        StreamerTest::TearDown();
    }

    // The disc, the streamer and the sound system as the game starts them.
    void Start(const std::vector<tools::PakInputFile>& files = {{"EMPTY.BIN", {0}, ""}})
    {
        StartWith(files);
        sound = SoundSystem(kStreamBankSize, kPreMadeBanks, true);
        ASSERT_EQ(SoundInit(), 1);
        ASSERT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks);
    }

    u16 LoadFromMemory(const std::vector<u8>& file, bool permanent = false)
    {
        EXPECT_LE(file.size(), sizeof g_bankfile);
        std::memcpy(g_bankfile, file.data(), file.size());
        return sound.LoadSoundBank(g_bankfile, u32(file.size()), permanent);
    }

    // One displayed frame: the sound update, then a field of time, passed in
    // small steps so that the module answers soon after the update.
    static void Frame(int nframes = 1, const Matrix& listener = Matrix(true))
    {
        sound.Update(nframes, listener);
        for (int i = 0; i < 20; i++)
            ee_spin(kFieldCycles / 20);
    }

    static int Handle(int slot) { return slot | sound.vchannels[slot].curcount << 12; }
    static bool ConsoleHas(const std::string& line) { return console::ConsoleText().find(line) != std::string::npos; }

    CaptureSink sink_;
};

// A looping tone, so that voices keep sounding until stopped.
std::vector<u8> LoopBank()
{
    return Bank({Tone("loop", 1000, 28 * 12, 48000, tools::AdpcmLoop::kWhole)});
}

TEST_F(Sound, AStaleHandleIsRefusedEvenWhenItsSlotIsReused)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    const int c = sound.AllocChannel(false);
    ASSERT_EQ(c, 0 | 64 << 12);  // slot 0, its first count
    sound.FreeChannel(c);
    const int c2 = sound.AllocChannel(false);
    ASSERT_EQ(c2 & 0xFFF, c & 0xFFF);
    ASSERT_NE(c2, c);
    EXPECT_FALSE(sound.ChannelValid(c));
    EXPECT_TRUE(sound.ChannelValid(c2));

    sound.Play(c, bank, 0);
    sound.SetVolume(c, 0.25f, 0.0f);
    sound.SetPitch(c, 2.0f, 0.0f);
    sound.SetHoldStatus(c, true);
    sound.SetDoppler(c, true);
    sound.SetPosition(c, VectorPos(1.0f, 2.0f, 3.0f));
    const vchannel& v = sound.vchannels[c2 & 0xFFF];
    EXPECT_EQ(v.flags, 0);
    EXPECT_EQ(v.volume, 1.0f);
    EXPECT_EQ(v.pitch, 256);
    EXPECT_EQ(v.ppos, nullptr);
    EXPECT_FALSE(sound.IsPlaying(c));
    EXPECT_EQ(sound.GetPlayingAddress(c), 0u);
    sound.Stop(c);
    sound.FreeChannel(c);
    EXPECT_TRUE(sound.ChannelValid(c2));
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS - 1);
    Frame();
    EXPECT_FALSE(VoiceAt(0).Sounding());

    // Handles that name no slot at all.
    for (int bad : {-1, 0xFFF, 256 | 64 << 12}) {
        EXPECT_FALSE(sound.ChannelValid(bad));
        sound.Play(bad, bank, 0);
        EXPECT_FALSE(sound.IsPlaying(bad));
    }
    EXPECT_EQ(sound.GetChannel(-1), nullptr);

    // Every slot in use: -1 and the message; a freed slot is given out next.
    while (sound.NumFreeChannels() > 0)
        ASSERT_GE(sound.AllocChannel(false), 0);
    EXPECT_EQ(sound.AllocChannel(true), -1);
    EXPECT_TRUE(ConsoleHas("Virtual sound channel allocation failed.\n"));
    sound.FreeChannel(Handle(77));
    EXPECT_EQ(sound.AllocChannel(false) & 0xFFF, 77);
}

TEST_F(Sound, StopOnAPlayingChannelKillsItsHandleAndTheVoiceStopsNextUpdate)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    ASSERT_EQ(bank, kPreMadeBanks);
    const int c = sound.AllocChannel(false);
    sound.Play(c, bank, 0);
    EXPECT_TRUE(sound.IsPlaying(c));  // a start is pending
    Frame();
    EXPECT_TRUE(VoiceAt(0).Sounding());
    EXPECT_EQ(VoiceAt(0).start_address, kFirstBankBase);
    Frame();
    EXPECT_EQ(sound.vchannels[c & 0xFFF].state, VCHAN_PLAYING);

    sound.Stop(c);
    EXPECT_FALSE(sound.ChannelValid(c));
    EXPECT_FALSE(sound.IsPlaying(c));
    EXPECT_TRUE(VoiceAt(0).Sounding());                          // until the next update
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS - 1);  // the slot waits for it too
    Frame();
    EXPECT_FALSE(VoiceAt(0).Sounding());
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS);

    // A held channel keeps its handle, and plays again.
    const int h = sound.AllocChannel(true);
    sound.Play(h, bank, 0);
    Frame();
    Frame();
    sound.Stop(h);
    EXPECT_TRUE(sound.ChannelValid(h));
    EXPECT_FALSE(sound.IsPlaying(h));
    Frame();
    Frame();
    EXPECT_FALSE(VoiceAt(0).Sounding());
    sound.Play(h, bank, 0);
    Frame();
    EXPECT_TRUE(VoiceAt(0).Sounding());
    EXPECT_TRUE(sound.IsPlaying(h));
}

TEST_F(Sound, FinishedSoundsFreeTheirChannelsUnlessHeld)
{
    Start();
    const u16 bank = LoadFromMemory(Bank({Tone("short", 1000, 28 * 4)}));
    const int c = sound.AllocChannel(false);
    const int h = sound.AllocChannel(true);
    sound.Play(c, bank, 0);
    sound.Play(h, bank, 0);
    Frame();  // started
    Frame();  // playing; the sound ended during the field
    EXPECT_TRUE(sound.IsPlaying(c));
    Frame();  // the reply showed the voices silent
    EXPECT_FALSE(sound.ChannelValid(c));
    EXPECT_TRUE(sound.ChannelValid(h));
    EXPECT_FALSE(sound.IsPlaying(h));
    EXPECT_EQ(sound.vchannels[h & 0xFFF].state, VCHAN_IDLE);
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS - 1);
}

TEST_F(Sound, ADelayedStartCountsDownByTheFramesPassed)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    const int c = sound.AllocChannel(false);
    sound.GetChannel(c)->delay = 3;
    sound.Play(c, bank, 0);
    Frame();
    Frame();
    EXPECT_FALSE(VoiceAt(0).Sounding());
    EXPECT_TRUE(sound.IsPlaying(c));
    EXPECT_EQ(sound.GetChannel(c)->delay, 1);
    Frame();  // reaches 0 and starts in this frame
    EXPECT_TRUE(VoiceAt(0).Sounding());

    // Two frames at a time: 5, 3, 1, then 0 in the third update.
    const int d = sound.AllocChannel(false);
    sound.GetChannel(d)->delay = 5;
    sound.Play(d, bank, 0);
    Frame(2);
    Frame(2);
    EXPECT_FALSE(VoiceAt(1).Sounding());
    Frame(2);
    EXPECT_TRUE(VoiceAt(1).Sounding());
}

TEST_F(Sound, ABatchPast512BytesIsSentEarlyAndContinued)
{
    // 48 positioned starts are a play and a volume record each: 22 bytes,
    // 1,056 bytes in all, three batches.
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    int handles[48];
    for (int i = 0; i < 48; i++) {
        handles[i] = sound.AllocChannel(false);
        sound.SetPosition(handles[i], VectorPos(float(i), 1.0f, 0.0f));
        sound.Play(handles[i], bank, 0);
    }
    Frame();
    for (int i = 0; i < 48; i++) {
        const vchannel& ch = sound.vchannels[handles[i] & 0xFFF];
        ASSERT_EQ(ch.curhwchannel, i);
        ASSERT_TRUE(VoiceAt(i).Sounding()) << i;
        const u32 lr = SoundSystem::SFXCalcVolumeStereo(VectorPos(float(i), 1.0f, 0.0f),
                                                        ch.CalcVolume(std::sqrt(float(i * i + 1))));
        EXPECT_EQ(VoiceAt(i).volume_left, lr & 0xFFFF) << i;
        EXPECT_EQ(VoiceAt(i).volume_right, lr >> 16) << i;
    }
    EXPECT_EQ(sound.activehwchannels[0], 0xFFFFFFu);
    EXPECT_EQ(sound.activehwchannels[1], 0xFFFFFFu);
}

TEST_F(Sound, With48VoicesBusyStartsAreDroppedWithTheMessage)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    int handles[48];
    for (int& h : handles) {
        h = sound.AllocChannel(false);
        sound.Play(h, bank, 0);
    }
    Frame();
    Frame();
    const int late = sound.AllocChannel(false);
    const int held = sound.AllocChannel(true);
    sound.Play(late, bank, 0);
    sound.Play(held, bank, 0);
    Frame();
    EXPECT_EQ(streamtest::CountOf(console::ConsoleText(), "Hardware sound channel allocation failed.\n"), 2u);
    // The channel that is not held ended with its sound; the held one waits.
    EXPECT_FALSE(sound.ChannelValid(late));
    EXPECT_TRUE(sound.ChannelValid(held));
    EXPECT_FALSE(sound.IsPlaying(held));
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS - 49);

    // Once a voice is free again a start gets it.
    sound.Stop(handles[17]);
    Frame();
    Frame();
    sound.Play(held, bank, 0);
    Frame();
    EXPECT_EQ(sound.vchannels[held & 0xFFF].curhwchannel, 17);
    EXPECT_TRUE(VoiceAt(17).Sounding());
}

TEST_F(Sound, ABankFromTheDiscIsHeardInTheMixersOutput)
{
    // 1 kHz at amplitude 8000 for 0.2 s, and the same tone recorded at
    // 24 kHz; both from a bank made by the bank builder, on the disc.
    const std::vector<u8> file = Bank({Tone("a", 1000, 9600), Tone("b", 1000, 4800, 24000)});
    Start({{"DEMODATA/VAGS/TONES.SND", file, ""}});
    const u16 bank = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\TONES.SND", true);
    ASSERT_EQ(bank, kPreMadeBanks);
    EXPECT_EQ(sound.GetSoundBankSize(bank), int(soundtest::Round64(9600 / 28 * 16 + 16 + 4800 / 28 * 16 + 16)));

    // Half volume: each side is the sample times 0x2000 / 0x4000, times the
    // two full master volumes (0x3FFF is 0x7FFE / 0x8000).
    const int c = sound.AllocChannel(false);
    sound.Play(c, bank, 0);
    sound.SetVolume(c, 0.5f, 0.0f);
    const size_t update = size_t(console::Now() / console::kSpuSample);
    for (int i = 0; i < 14; i++)
        Frame();
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS);  // done and freed

    // The second sample at twice the pitch: 2 kHz.
    const int d = sound.AllocChannel(false);
    sound.Play(d, bank, 1);
    sound.SetPitch(d, 2.0f, 0.0f);
    const size_t update2 = size_t(console::Now() / console::kSpuSample);
    Frame();
    Frame();
    console::spu2::FlushAudio();

    // Each sound begins within two milliseconds of its update.
    auto onset = [this](size_t from) {
        size_t i = from;
        while (2 * i < sink_.samples.size() && sink_.samples[2 * i] == 0)
            i++;
        return i;
    };
    const size_t start = onset(update), start2 = onset(update2);
    EXPECT_LT(start - update, 96u);
    EXPECT_LT(start2 - update2, 96u);

    const double master = (0x7FFE / 32768.0) * (0x7FFE / 32768.0);
    const double expected = 8000 * 0.5 * master;
    // 480 samples from 10 ms in: exactly ten periods of 1 kHz (bin 10).
    for (int side = 0; side < 2; side++) {
        const std::vector<double> x = Channel(sink_.samples, start + 480, 480, side);
        ASSERT_EQ(x.size(), 480u);
        EXPECT_NEAR(soundtest::Amplitude(x, 10), expected, expected * 0.03) << side;
        EXPECT_LT(soundtest::Amplitude(x, 20), expected * 0.05) << side;
        const std::vector<double> y = Channel(sink_.samples, start2 + 480, 480, side);
        EXPECT_NEAR(soundtest::Amplitude(y, 20), 8000 * master, 8000 * 0.05) << side;
        EXPECT_LT(soundtest::Amplitude(y, 10), 8000 * 0.05) << side;
    }
    // Silence once the one-shot sample has ended (343 blocks of 28).
    double tail = 0;
    for (double v : Channel(sink_.samples, start + 343 * 28 + 48, 2400, 0))
        tail = std::max(tail, std::abs(v));
    EXPECT_EQ(tail, 0.0);
}

TEST_F(Sound, PositionedSoundIsHeardFromTheListenersFrame)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    // The listener at (10, 0, 5), turned a quarter turn about y.
    Matrix listener = RotY(1.5707964f);
    listener.w = Vector(10.0f, 0.0f, 5.0f, 1.0f);
    const VectorPos where(13.0f, -1.0f, 9.0f);
    auto local = [&](const VectorPos& p) {
        const float d[3] = {p[0] - 10.0f, p[1] - 0.0f, p[2] - 5.0f};
        float out[3];
        for (int axis = 0; axis < 3; axis++)
            out[axis] = d[0] * listener[axis][0] + d[1] * listener[axis][1] + d[2] * listener[axis][2];
        return VectorPos(out[0], out[1], out[2]);
    };

    const int c = sound.AllocChannel(false);
    sound.SetPosition(c, where);
    vchannel* ch = sound.GetChannel(c);
    ch->minVol = 0.2f;
    ch->minVolAt = 40.0f;
    ch->maxVol = 0.8f;
    ch->maxVolAt = 2.0f;
    sound.SetVolume(c, 0.9f, 0.0f);
    sound.Play(c, bank, 0);
    Frame(1, listener);

    // Stereo: half the attenuated volume each side, panned by x / d^2.
    const VectorPos p = local(where);
    const float dist = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const float v = std::clamp((0.8f - 0.6f * (dist - 2.0f) / 38.0f) * 0.9f, 0.0f, 1.0f);
    const float pan = std::clamp(p[0] / (dist * dist), -1.0f, 1.0f);
    const int left = int((1.0f - pan) * v / 2.0f * 16384.0f);
    const int right = int((1.0f + pan) * v / 2.0f * 16384.0f);
    EXPECT_NEAR(VoiceAt(0).volume_left, left, 1);
    EXPECT_NEAR(VoiceAt(0).volume_right, right, 1);
    EXPECT_NE(left, right);

    // Mono: the full attenuated volume on both sides.
    sound.SetStereoMode(false);
    Frame(1, listener);
    EXPECT_NEAR(VoiceAt(0).volume_left, int(v * 16384.0f), 1);
    EXPECT_EQ(VoiceAt(0).volume_left, VoiceAt(0).volume_right);

    // Past minVolAt only minVol is left; nearer than maxVolAt, maxVol.
    sound.SetPosition(c, VectorPos(10.0f, 0.0f, 105.0f));
    Frame(1, listener);
    EXPECT_NEAR(VoiceAt(0).volume_left, int(0.2f * 0.9f * 16384.0f), 1);
    sound.SetPosition(c, VectorPos(10.0f, 0.0f, 6.0f));
    Frame(1, listener);
    EXPECT_NEAR(VoiceAt(0).volume_left, int(0.8f * 0.9f * 16384.0f), 1);
}

TEST_F(Sound, AChannelFollowsItsObjectUntilTheObjectDies)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    Object* obj = new Object();
    ASSERT_NE(obj, nullptr);
    obj->mat = Matrix(true);
    obj->SetPos(VectorPos(0.0f, 0.0f, 10.0f));
    sound.SetStereoMode(false);
    const int c = sound.AllocChannel(false);
    sound.SetPosition(c, obj);
    EXPECT_EQ(obj->refcount, 1);
    sound.Play(c, bank, 0);
    Frame();
    // Default attenuation: full volume at 0, none at 80.
    EXPECT_EQ(VoiceAt(0).volume_left, int((1.0f - 10.0f / 80.0f) * 16384.0f));
    obj->SetPos(VectorPos(0.0f, 0.0f, 40.0f));
    Frame();
    EXPECT_EQ(VoiceAt(0).volume_left, int(0.5f * 16384.0f));

    obj->Delete();
    Frame();
    EXPECT_EQ(VoiceAt(0).volume_left, 0);
    EXPECT_EQ(VoiceAt(0).volume_right, 0);
    EXPECT_EQ(sound.GetChannel(c)->ppos, nullptr);
    EXPECT_EQ(sound.GetChannel(c)->obj.p, nullptr);
    EXPECT_TRUE(sound.IsPlaying(c));
}

TEST_F(Sound, DopplerPitchFollowsTheSpeedOfApproach)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    VectorPos where(0.0f, 0.0f, 20.0f);
    const int c = sound.AllocChannel(false);
    sound.SetPosition(c, where);
    vchannel* ch = sound.GetChannel(c);
    sound.SetDoppler(c, true);
    sound.Play(c, bank, 0);
    Frame();
    EXPECT_EQ(VoiceAt(0).pitch, 0);  // no speed known in the first frame

    // 0.5 units closer in a frame: 30 units a second toward the listener.
    ch->pos = VectorPos(0.0f, 0.0f, 19.5f);
    Frame();
    const float speed = (20.0f - 19.5f) / (1.0f / 60.0f);
    const int factor = int(256.0f * 107.61781f / (107.61781f - speed));
    EXPECT_GT(factor, 256);
    EXPECT_EQ(VoiceAt(0).pitch, 0x1000 * factor >> 8);

    // Moving away at 15 units a second over two frames lowers it.
    ch->pos = VectorPos(0.0f, 0.0f, 20.0f);
    Frame(2);
    const float away = (19.5f - 20.0f) / (2.0f / 60.0f);
    EXPECT_EQ(VoiceAt(0).pitch, 0x1000 * int(256.0f * 107.61781f / (107.61781f - away)) >> 8);

    // Faster than sound: silent.
    ch->pos = VectorPos(0.0f, 0.0f, 17.0f);
    Frame();
    EXPECT_EQ(VoiceAt(0).pitch, 0);

    // Doppler off: the channel's own pitch again.
    sound.SetDoppler(c, false);
    sound.SetPitch(c, 1.5f, 0.0f);
    Frame();
    EXPECT_EQ(VoiceAt(0).pitch, 0x1800);
}

TEST_F(Sound, PauseHaltsEveryVoiceAndStopAllLeavesNothingPaused)
{
    Start();
    const u16 bank = LoadFromMemory(LoopBank());
    const int a = sound.AllocChannel(false);
    const int b = sound.AllocChannel(true);
    sound.Play(a, bank, 0);
    sound.Play(b, bank, 0);
    sound.SetPitch(b, 0.5f, 0.0f);
    Frame();
    EXPECT_EQ(VoiceAt(1).pitch, 0x800);

    sound.PauseAll();
    EXPECT_TRUE(SoundSystem::IsPaused());
    EXPECT_EQ(VoiceAt(0).pitch, 0);
    EXPECT_EQ(VoiceAt(1).pitch, 0);
    sound.SetPitch(a, 2.0f, 0.0f);
    Frame();
    EXPECT_EQ(VoiceAt(0).pitch, 0);
    sound.UnPauseAll();
    EXPECT_FALSE(SoundSystem::IsPaused());
    EXPECT_EQ(VoiceAt(0).pitch, 0x2000);
    EXPECT_EQ(VoiceAt(1).pitch, 0x800);

    // Stopping everything while paused un-pauses the module too: pitch
    // changes of later sounds take effect.
    sound.PauseAll();
    sound.StopAll();
    EXPECT_FALSE(SoundSystem::IsPaused());
    EXPECT_FALSE(sound.ChannelValid(a));
    EXPECT_FALSE(sound.ChannelValid(b));
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS);
    Frame();
    EXPECT_FALSE(VoiceAt(0).Sounding());
    EXPECT_FALSE(VoiceAt(1).Sounding());
    const int c = sound.AllocChannel(false);
    sound.Play(c, bank, 0);
    Frame();
    sound.SetPitch(c, 0.75f, 0.0f);
    Frame();
    EXPECT_EQ(VoiceAt(sound.GetChannel(c)->curhwchannel).pitch, 0xC00);
}

TEST_F(Sound, ThePlayingAddressComesWithEachBatchReply)
{
    Start();
    const u16 bank = LoadFromMemory(Bank({Tone("long", 1000, 48000)}));
    const int c = sound.AllocChannel(false);
    sound.Play(c, bank, 0);
    const console::Cycles started = console::Now();
    sound.Update(1, Matrix(true));
    const u32 first = sound.GetPlayingAddress(c);  // waits for the reply
    EXPECT_GE(first, kFirstBankBase);
    EXPECT_LT(first, kFirstBankBase + 16);
    ee_spin(kFieldCycles);
    const console::Cycles sent = console::Now();
    sound.Update(1, Matrix(true));
    for (int i = 0; i < 20; i++)
        ee_spin(kFieldCycles / 200);  // the reply lands
    // The voice reads 16 bytes for every 28 samples played between the start
    // and the moment the module answered.
    const u32 addr = sound.GetPlayingAddress(c);
    const double low = double(sent - started) / console::kSpuSample * 16 / 28 - 32;
    const double high = double(console::Now() - started) / console::kSpuSample * 16 / 28 + 16;
    EXPECT_GE(double(addr - kFirstBankBase), low);
    EXPECT_LE(double(addr - kFirstBankBase), high);
    EXPECT_EQ(addr % 16, kFirstBankBase % 16);
}

TEST_F(Sound, StreamBanksComeFromThePreMadeOnesFirst)
{
    Start();
    for (int i = 0; i < kPreMadeBanks; i++)
        EXPECT_EQ(sound.bankflags[i], SNDBANK_PERMANENT | SNDBANK_STREAM);
    const int premade = 0x1FAFF0 - kPreMadeBanks * int(kStreamBankSize + 64);
    EXPECT_EQ(sound.GetSoundRAMFree(), premade);

    EXPECT_EQ(sound.CreateStreamBank(kStreamBankSize), 0);
    EXPECT_EQ(sound.CreateStreamBank(kStreamBankSize), 1);
    sound.FreeStreamBank(0);
    EXPECT_EQ(sound.CreateStreamBank(kStreamBankSize), 0);
    EXPECT_EQ(sound.GetStreamBase(1), SOUND_BANK_BASE + kStreamBankSize + 64);

    // Another size is a bank of its own on top.
    const int own = sound.CreateStreamBank(4096);
    EXPECT_EQ(own, kPreMadeBanks);
    EXPECT_EQ(sound.GetStreamBase(own), kFirstBankBase);
    const u16 loaded = LoadFromMemory(LoopBank());
    EXPECT_EQ(loaded, kPreMadeBanks + 1);
    EXPECT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks + 2);

    // A bank below the top is only marked unused, and goes with the top.
    sound.FreeStreamBank(own);
    EXPECT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks + 2);
    EXPECT_EQ(sound.bankflags[own], SNDBANK_STREAM);
    EXPECT_EQ(sound.UnloadSoundBank(loaded), 1);
    EXPECT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks);
    EXPECT_EQ(sound.GetSoundRAMFree(), premade);

    // Permanent banks stay.
    const u16 keep = LoadFromMemory(LoopBank(), true);
    EXPECT_EQ(sound.UnloadSoundBank(keep), 0);
    const u16 temp = LoadFromMemory(LoopBank());
    sound.UnloadNonPermanentSoundBanks();
    EXPECT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks + 1);
    EXPECT_EQ(sound.UnloadSoundBank(temp), 0);  // already gone
    sound.UnloadAllSoundBanks();
    EXPECT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks + 1);
}

TEST_F(Sound, BankQueriesAndLoadFailures)
{
    Start();
    const u16 two = LoadFromMemory(
        Bank({Tone("a", 1000, 28, 48000, tools::AdpcmLoop::kOneShot, 0x0021)}, tools::BankLayout::kLayout2, 0x0004));
    ASSERT_EQ(two, kPreMadeBanks);
    EXPECT_EQ(sound.GetSoundBankFlags(two), 0x8004);
    EXPECT_EQ(sound.GetSampleFlags(two, 0), 0x21);
    EXPECT_EQ(sound.GetSoundBankSize(two), 64);

    EXPECT_EQ(sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\MISSING.SND", true), 0xFFFF);
    EXPECT_TRUE(ConsoleHas("IOP: Unable to load bank KORVALIS\\DemoData\\Vags\\MISSING.SND.\n"));
    EXPECT_TRUE(ConsoleHas(" ZEVSOUND_LOADBANK failed\n"));
    std::vector<u8> bad = Bank({Tone("a", 1000, 28)});
    bad[2] = 100;  // 800 bytes of samples in an 80-byte file
    console::ClearConsoleText();
    EXPECT_EQ(LoadFromMemory(bad), 0xFFFF);
    EXPECT_TRUE(ConsoleHas("\nZEVSOUND_LOADBANK failed\n")) << console::ConsoleText();
    EXPECT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks + 1);
    // A failed bank number plays nothing.
    const int c = sound.AllocChannel(false);
    sound.Play(c, 0xFFFF, 0);
    Frame();
    Frame();
    Frame();
    EXPECT_FALSE(sound.ChannelValid(c));
    EXPECT_FALSE(VoiceAt(0).Sounding());
}

TEST_F(Sound, AnAnimationSoundKeyPlaysAPositionedSoundOnItsObject)
{
    Start();
    const u16 bank = LoadFromMemory(Bank({Tone("a", 1000, 28 * 40), Tone("b", 500, 28 * 40)}));
    Object* obj = new Object();
    obj->mat = Matrix(true);
    obj->SetPos(VectorPos(0.0f, 0.0f, 4.0f));
    AnimKeySound key{};
    key.sound = 1;
    auto put = [](char (&field)[4], float f) { std::memcpy(field, &f, 4); };
    put(key.minVol, 10.0f);
    put(key.minVolAt, 50.0f);
    put(key.maxVol, 90.0f);
    put(key.maxVolAt, 5.0f);
    put(key.pitch, 150.0f);
    Animation anim;
    anim.sndBank = s16(bank);
    PlayAnimSoundKey(obj, &anim, &key);
    ASSERT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS - 1);
    const vchannel& ch = sound.vchannels[0];
    EXPECT_EQ(ch.bankindex, 1);
    EXPECT_FLOAT_EQ(ch.minVol, 0.1f);
    EXPECT_FLOAT_EQ(ch.minVolAt, 40.0f);
    EXPECT_FLOAT_EQ(ch.maxVol, 0.9f);
    EXPECT_FLOAT_EQ(ch.maxVolAt, 4.0f);
    EXPECT_EQ(ch.pitch, 384);
    EXPECT_EQ(ch.obj.p, obj);
    Frame();
    EXPECT_EQ(VoiceAt(0).start_address, kFirstBankBase + 40 * 16);
    EXPECT_EQ(VoiceAt(0).pitch, 0x1800);

    // Without a bank of its own the key has nothing to play from.
    Animation none;
    none.sndBank = -1;
    PlayAnimSoundKey(obj, &none, &key);
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS - 1);
    obj->Delete();
}

TEST_F(Sound, AModuleThatCannotLoadFailsTheStartUpWithoutHanging)
{
    StartWith({{"EMPTY.BIN", {0}, ""}});
    // No IOP memory is left for the module's image.
    while (sceSifAllocIopHeap(4096)) {
    }
    EXPECT_EQ(SoundInit(), 0);
    EXPECT_TRUE(ConsoleHas("Can't load IOP sound module\n"));
    EXPECT_TRUE(ConsoleHas("bind error\n"));
    // Nothing is sent to a module that is not there.
    const int c = sound.AllocChannel(false);
    sound.Play(c, 0, 0);
    Frame();
    EXPECT_EQ(sound.LoadSoundBank("X.SND", false), 0xFFFF);
    EXPECT_EQ(sound.GetSoundRAMFree(), 0);
    EXPECT_EQ(console::DiagErrorCount(), 0);
}

TEST(SoundStartUp, ThePlatformStartsTheSoundModuleWithItsStreamBanks)
{
    platform_test::PowerOff();
    irxloaded = 0;
    initialized = 0;
    sound = SoundSystem(kStreamBankSize, kPreMadeBanks, true);
    Platform::Init();
    const std::string text = console::ConsoleText();
    EXPECT_NE(text.find("IOP: Initializing sound.\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Sound initialization failed.\n"), std::string::npos) << text;
    EXPECT_LT(text.find("Load IRX's\n"), text.find("IOP: Initializing sound.\n"));
    EXPECT_EQ(sound.GetNumBanksLoaded(), kPreMadeBanks);
    EXPECT_EQ(sound.GetSoundRAMFree(), 0x1FAFF0 - kPreMadeBanks * int(kStreamBankSize + 64));
    sound = SoundSystem(kStreamBankSize, kPreMadeBanks, true);
    platform_test::PowerOff();
}

}  // namespace
