// Sound streams end to end: .VB files made by the encoder, on a synthetic
// disc, streamed through the ring buffer in sound RAM and heard in the
// mixer's output.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/soundstream_support.h"
#include "ZevEngine2/PS2/SoundStream.h"
#include "ZevEngine2/PS2/Streamer.h"

namespace {

using namespace streamsound;

constexpr double kRate = 24000;
constexpr size_t kQuarter = 6000;  // a quarter second at 24 kHz
constexpr u32 kRing = 16384;
constexpr u32 kHalf = kRing / 2;
constexpr const char* kTunePath = "KORVALIS\\DemoData\\Vags\\TUNE.VB";

// Twelve quarter seconds, each its own pitch: data from the wrong lap of
// the ring is heard as the wrong tone.
const std::vector<double> kTuneHz = {300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200, 1300, 1400};

alignas(64) u8 g_bankfile[4096];

class SoundStreams : public StreamSoundTest {
protected:
    // Runs frames with the bank's update until it stops; the frame count.
    int RunUntilStopped(StreamingSoundBank& bank, int limit = 400)
    {
        int frames = 0;
        while (bank.GetState() != BANK_STOPPED && frames < limit) {
            Frame([&] { bank.Update(); });
            frames++;
        }
        return frames;
    }

    static bool Sounding(const StreamingSoundBank& bank)
    {
        const vchannel* c = sound.GetChannel(bank.channel);
        return sound.ChannelValid(bank.channel) && (c->state == VCHAN_STARTED || c->state == VCHAN_PLAYING) &&
               ChannelVoice(bank.channel).Sounding();
    }
};

// The stream's refill transfer into sound RAM, without the stop marker: its
// end is marked as a loop back to the start instead.
class NoStopMarkerStream : public SoundFileStream {
public:
    NoStopMarkerStream() : SoundFileStream(24000) {}
    int TransferSound(void* addr, unsigned size, int markerflags) override
    {
        return SoundFileStream::TransferSound(addr, size, markerflags & ~STREAMER_SNDMARKER_STOPATEOF);
    }
};

TEST_F(SoundStreams, AVbFileIsHeardThroughTheRingAtItsRateAndLength)
{
    const std::vector<int16_t> pcm = Tune(kTuneHz, kQuarter, kRate);
    const std::vector<u8> vb = Vb(pcm);
    ASSERT_EQ(vb.size(), Blocks(pcm.size()) * 16);
    Start({{"DEMODATA/VAGS/TUNE.VB", vb, ""}});

    StreamingSoundBank bank(kRing + 100);
    EXPECT_EQ(bank.banksize, kRing);  // whole 128-byte units
    SoundFileStream file(24000);
    ASSERT_TRUE(file.Open(kTunePath, 0));
    EXPECT_EQ(file.streamlen, vb.size());
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));

    // Where the voice really is each time a half is refilled.
    int refills[2] = {0, 0};
    const size_t begin = NowSample();
    int frames = 0;
    while (bank.GetState() != BANK_STOPPED && frames++ < 400) {
        Frame([&] {
            const BufferState was = bank.GetState();
            bank.Update();
            const BufferState now = bank.GetState();
            int half = -1;
            if (was == BANK_PLAYING_1 && (now == BANK_LOADING_1 || now == BANK_ENDING))
                half = 0;
            if (was == BANK_PLAYING_2 && (now == BANK_LOADING_2 || now == BANK_ENDING))
                half = 1;
            if (half < 0)
                return;
            console::spu2::CatchUp();
            const u32 at = ChannelVoice(bank.channel).CurrentAddress() - bank.baseaddr;
            EXPECT_LT(at, kRing);
            EXPECT_NE(int(at / kHalf), half) << "refill of the half the voice is in, frame " << frames;
            refills[half]++;
        });
    }
    ASSERT_EQ(bank.GetState(), BANK_STOPPED);
    EXPECT_EQ(file.streamnum, -1);
    EXPECT_EQ(numvfdsallocated, 0);
    // After the first fill the halves take turns, the first half first.
    const int halves = int((vb.size() - kRing + kHalf - 1) / kHalf);
    EXPECT_EQ(refills[0], (halves + 1) / 2);
    EXPECT_EQ(refills[1], halves / 2);

    const std::vector<double> x = Left();
    const size_t onset = Onset(x, begin);
    ASSERT_LT(onset, x.size());
    EXPECT_LT(onset - begin, 5 * 960u);  // it starts as soon as the buffer is full
    // 24 kHz at 48 kHz output: each source sample lasts two output samples.
    // A tenth of a second from the middle of each quarter.
    for (size_t k = 0; k < kTuneHz.size(); k++) {
        const size_t from = onset + 2 * kQuarter * k + 3600;
        EXPECT_EQ(Loudest(x, from, 4800, kTuneHz), kTuneHz[k]) << "quarter " << k;
        EXPECT_GT(ToneAt(x, from, 4800, kTuneHz[k]), 8000 * 0.8) << "quarter " << k;
    }
    // The streamer marks the last block but one to stop the voice.
    const size_t played = LastSound(x) + 1 - onset;
    EXPECT_NEAR(double(played), double((Blocks(pcm.size()) - 1) * 28 * 2), 60);
    EXPECT_LT(LongestSilence(x, onset, onset + played), 28u);
}

TEST_F(SoundStreams, AStreamShorterThanTheBufferWaitsForPlayThenPlaysOnceAndEnds)
{
    const std::vector<int16_t> pcm = Tune({500, 700}, kQuarter, kRate);
    const std::vector<u8> vb = Vb(pcm);
    ASSERT_LT(vb.size(), kRing);
    Start({{"DEMODATA/VAGS/TUNE.VB", vb, ""}});

    StreamingSoundBank bank(kRing);
    SoundFileStream file(24000);
    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, false, 0));
    EXPECT_EQ(bank.GetState(), BANK_NEW_OPENING);
    EXPECT_FALSE(bank.PlayLoadedStream());
    for (int i = 0; i < 50 && bank.GetState() != BANK_OPENED_FULL; i++)
        Frame([&] { bank.Update(); });
    ASSERT_EQ(bank.GetState(), BANK_OPENED_FULL);
    for (int i = 0; i < 5; i++)
        Frame([&] { bank.Update(); });
    EXPECT_EQ(bank.GetState(), BANK_OPENED_FULL);
    EXPECT_EQ(LastSound(Left()), 0u);  // loaded and silent

    const size_t begin = NowSample();
    EXPECT_TRUE(bank.PlayLoadedStream());
    EXPECT_EQ(bank.GetState(), BANK_ENDING);
    RunUntilStopped(bank);
    EXPECT_EQ(bank.GetState(), BANK_STOPPED);
    EXPECT_EQ(file.streamnum, -1);
    EXPECT_EQ(numvfdsallocated, 0);
    EXPECT_TRUE(sound.ChannelValid(bank.channel));  // held for the next stream

    std::vector<double> x = Left();
    size_t onset = Onset(x, begin);
    EXPECT_LT(onset - begin, 2 * 960u);  // the data is there: the next frame
    EXPECT_EQ(Loudest(x, onset + 3600, 4800, {500, 700}), 500);
    EXPECT_EQ(Loudest(x, onset + 2 * kQuarter + 3600, 4800, {500, 700}), 700);
    EXPECT_NEAR(double(LastSound(x) + 1 - onset), double((Blocks(pcm.size()) - 1) * 56), 60);

    // Again, played as soon as loaded, through the same bank and channel.
    const int chan = bank.channel;
    const u16 number = bank.banknumber;
    ASSERT_TRUE(file.Open(kTunePath, 0));
    const size_t again = NowSample();
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    RunUntilStopped(bank);
    EXPECT_EQ(bank.channel, chan);
    EXPECT_EQ(bank.banknumber, number);
    x = Left();
    onset = Onset(x, again);
    ASSERT_LT(onset, x.size());
    EXPECT_NEAR(double(LastSound(x) + 1 - onset), double((Blocks(pcm.size()) - 1) * 56), 60);
}

TEST_F(SoundStreams, PitchIsAFactorBelow5500AndARateInHzFrom5500)
{
    Start({{"DEMODATA/VAGS/TUNE.VB", Vb(Tune({500}, 12000, kRate)), ""}});
    struct Case {
        unsigned streamrate;
        unsigned pitch;
        double hz;
    };
    const Case cases[] = {
        {24000, 0, 24000},                 // the stream's own rate
        {24000, 256, 24000},               // factor 1
        {24000, 512, 48000},               // factor 2
        {1000, 5499, 1000.0 * 5499 / 256}, // the largest factor
        {24000, 5500, 5500},               // the smallest rate in Hz
        {24000, 11025, 11025},
    };
    StreamingSoundBank bank(kRing);
    for (const Case& c : cases) {
        SoundFileStream file(c.streamrate);
        ASSERT_TRUE(file.Open(kTunePath, 0));
        ASSERT_TRUE(bank.LoadStream(&file, true, c.pitch));
        for (int i = 0; i < 20 && !Sounding(bank); i++)
            Frame([&] { bank.Update(); });
        ASSERT_TRUE(Sounding(bank)) << c.pitch;
        // The sound processor's unit: 4096 plays 48,000 samples a second.
        EXPECT_NEAR(ChannelVoice(bank.channel).pitch, c.hz * 4096 / 48000, 1.0) << c.pitch;
        bank.StopStream(false, false);
        Frame(nullptr);
    }
}

TEST_F(SoundStreams, StopStreamSilencesAndCanFreeTheChannelAndForgetTheBank)
{
    Start({{"DEMODATA/VAGS/TUNE.VB", Vb(Tune(kTuneHz, kQuarter, kRate)), ""}});
    StreamingSoundBank bank(kRing);
    SoundFileStream file(24000);
    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    for (int i = 0; i < 10; i++)
        Frame([&] { bank.Update(); });
    ASSERT_TRUE(Sounding(bank));

    // A voice line placed in the world: stopping keeps the channel, heard
    // flat again, and closes the file.
    sound.SetPosition(bank.channel, VectorPos(100.0f, 0.0f, 0.0f));
    const int chan = bank.channel;
    const u16 number = bank.banknumber;
    bank.StopStream(false, false);
    EXPECT_EQ(bank.GetState(), BANK_STOPPED);
    EXPECT_EQ(file.streamnum, -1);
    EXPECT_EQ(bank.channel, chan);
    EXPECT_TRUE(sound.ChannelValid(chan));
    EXPECT_EQ(sound.GetChannel(chan)->ppos, nullptr);
    EXPECT_EQ(bank.banknumber, number);
    Frame([&] { bank.Update(); });
    EXPECT_FALSE(Sounding(bank));

    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    for (int i = 0; i < 10; i++)
        Frame([&] { bank.Update(); });
    ASSERT_TRUE(Sounding(bank));
    const int voice = sound.GetChannel(bank.channel)->curhwchannel;
    bank.StopStream(true, true);
    EXPECT_EQ(bank.banknumber, 0xFFFF);
    EXPECT_EQ(bank.channel, -1);
    EXPECT_EQ(file.streamnum, -1);
    // Forgotten, not released: the bank is still in use.
    EXPECT_TRUE(sound.bankflags[number] & SNDBANK_INUSE);
    Frame(nullptr);
    EXPECT_FALSE(soundtest::VoiceAt(voice).Sounding());
    EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS);
    // Stopping again changes nothing.
    bank.StopStream(true, true);
    EXPECT_EQ(bank.channel, -1);
}

TEST_F(SoundStreams, AnEmptyFileEndsAtOnceWithoutReplayingWhatTheBufferHeld)
{
    Start({{"DEMODATA/VAGS/TUNE.VB", Vb(Tune({500}, kQuarter, kRate)), ""},
           {"DEMODATA/VAGS/EMPTY.VB", {}, ""}});
    StreamingSoundBank bank(kRing);
    SoundFileStream file(24000);
    // The ring holds a whole sound with its start and end markers.
    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    RunUntilStopped(bank);

    for (bool playwhenready : {true, false}) {
        ASSERT_TRUE(file.Open("KORVALIS\\DemoData\\Vags\\EMPTY.VB", 0));
        EXPECT_EQ(file.streamlen, 0u);
        const size_t begin = NowSample();
        ASSERT_TRUE(bank.LoadStream(&file, playwhenready, 0));
        Frame([&] { bank.Update(); });
        EXPECT_EQ(bank.GetState(), BANK_STOPPED);
        EXPECT_EQ(file.streamnum, -1);
        EXPECT_FALSE(bank.PlayLoadedStream());
        for (int i = 0; i < 10; i++)
            Frame([&] { bank.Update(); });
        EXPECT_LT(LastSound(Left()), begin) << playwhenready;
    }
    EXPECT_EQ(numvfdsallocated, 0);
}

TEST_F(SoundStreams, FilesThatAreNotWholeBlocksOrOffsetsPastTheEndAreRefused)
{
    Start({{"DEMODATA/VAGS/ODD.VB", std::vector<u8>(1000, 0), ""},
           {"DEMODATA/VAGS/GOOD.VB", std::vector<u8>(1024, 0), ""}});
    SoundFileStream file(24000);
    EXPECT_FALSE(file.Open("KORVALIS\\DemoData\\Vags\\ODD.VB", 0));
    EXPECT_TRUE(ConsoleHas("1000 bytes of sound data is not a whole number of blocks"));
    EXPECT_FALSE(file.IsValid());
    EXPECT_EQ(numvfdsallocated, 0);
    EXPECT_FALSE(file.Open("KORVALIS\\DemoData\\Vags\\GOOD.VB", 1040));
    EXPECT_TRUE(ConsoleHas("offset 1040 lies beyond the end of the file (1024 bytes)"));
    EXPECT_EQ(numvfdsallocated, 0);
    EXPECT_FALSE(file.Open("KORVALIS\\DemoData\\Vags\\NOSUCH.VB", 0));
    EXPECT_FALSE(file.Open(nullptr, 0));
    EXPECT_FALSE(file.Open("", 0));
    EXPECT_EQ(numvfdsallocated, 0);

    // Whole blocks from the offset on.
    ASSERT_TRUE(file.Open("KORVALIS\\DemoData\\Vags\\ODD.VB", 8));
    EXPECT_EQ(file.streamlen, 992u);
    // A second open closes the first.
    ASSERT_TRUE(file.Open("KORVALIS\\DemoData\\Vags\\GOOD.VB", 16));
    EXPECT_EQ(file.streamlen, 1008u);
    EXPECT_EQ(numvfdsallocated, 1);
    file.Close();
    file.Close();
    EXPECT_EQ(numvfdsallocated, 0);
    EXPECT_EQ(file.TransferSound(nullptr, 1024, 7), 0);  // closed: nothing to send
}

TEST_F(SoundStreams, AStreamWhoseVoiceCannotStartEndsInsteadOfWaitingForIt)
{
    Start({{"DEMODATA/VAGS/TUNE.VB", Vb(Tune(kTuneHz, kQuarter, kRate)), ""}});
    // Every voice busy with a looping tone.
    const std::vector<u8> loop = soundtest::Bank({soundtest::Tone("loop", 1000, 28 * 12, 48000,
                                                                  tools::AdpcmLoop::kWhole)});
    std::memcpy(g_bankfile, loop.data(), loop.size());
    const u16 loopbank = sound.LoadSoundBank(g_bankfile, u32(loop.size()), false);
    ASSERT_NE(loopbank, 0xFFFF);
    for (int i = 0; i < 48; i++)
        sound.Play(sound.AllocChannel(false), loopbank, 0);
    Frame(nullptr);

    StreamingSoundBank bank(kRing);
    SoundFileStream file(24000);
    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    const int frames = RunUntilStopped(bank, 30);
    EXPECT_EQ(bank.GetState(), BANK_STOPPED);
    EXPECT_LT(frames, 30);
    EXPECT_TRUE(ConsoleHas("Hardware sound channel allocation failed.\n"));
    EXPECT_EQ(file.streamnum, -1);
}

TEST_F(SoundStreams, AChannelLostToStopAllEndsTheStreamAndIsReplacedOnTheNextLoad)
{
    Start({{"DEMODATA/VAGS/TUNE.VB", Vb(Tune(kTuneHz, kQuarter, kRate)), ""}});
    StreamingSoundBank bank(kRing);
    SoundFileStream file(24000);
    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    for (int i = 0; i < 10; i++)
        Frame([&] { bank.Update(); });
    ASSERT_TRUE(Sounding(bank));

    sound.StopAll();  // a level change: every channel goes
    const int stale = bank.channel;
    EXPECT_FALSE(sound.ChannelValid(stale));
    Frame([&] { bank.Update(); });
    EXPECT_EQ(bank.GetState(), BANK_STOPPED);
    EXPECT_EQ(file.streamnum, -1);

    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    EXPECT_NE(bank.channel, stale);
    EXPECT_TRUE(sound.ChannelValid(bank.channel));
    for (int i = 0; i < 5; i++)
        Frame([&] { bank.Update(); });
    EXPECT_TRUE(Sounding(bank));
    EXPECT_EQ(bank.GetState(), BANK_PLAYING_1);
}

TEST_F(SoundStreams, AVoiceStillCirclingALapAfterTheEndIsStopped)
{
    Start({{"DEMODATA/VAGS/TUNE.VB", Vb(Tune({500, 700}, kQuarter, kRate)), ""}});
    StreamingSoundBank bank(kRing);
    NoStopMarkerStream file;
    ASSERT_TRUE(file.Open(kTunePath, 0));
    ASSERT_TRUE(bank.LoadStream(&file, true, 0));
    int ending = -1, frames = 0;
    while (bank.GetState() != BANK_STOPPED && frames < 300) {
        Frame([&] { bank.Update(); });
        frames++;
        if (ending < 0 && bank.GetState() == BANK_ENDING)
            ending = frames;
    }
    ASSERT_GE(ending, 0);
    ASSERT_EQ(bank.GetState(), BANK_STOPPED);
    EXPECT_TRUE(ConsoleHas("Sound stream still playing a lap after its end: stopped\n"));
    // Not before the voice has had a whole lap of the ring (16384 bytes at
    // 24 kHz, 50 frames a second) to meet a marker.
    const double lapframes = double(kRing / 16 * 28) / kRate * 50;
    EXPECT_GE(frames - ending, int(lapframes));
    EXPECT_LE(frames - ending, int(lapframes * 1.5));
    Frame(nullptr);
    EXPECT_FALSE(Sounding(bank));
}

TEST_F(SoundStreams, TheOwnerGoingStopsTheVoiceAndGivesTheBankBack)
{
    Start({{"DEMODATA/VAGS/TUNE.VB", Vb(Tune(kTuneHz, kQuarter, kRate)), ""}});
    SoundFileStream file(24000);
    const int banks = sound.GetNumBanksLoaded();
    for (u32 size : {kPreMadeBankSize, kRing}) {
        int voice = -1;
        {
            StreamingSoundBank bank(size);
            ASSERT_TRUE(file.Open(kTunePath, 0));
            ASSERT_TRUE(bank.LoadStream(&file, true, 0));
            for (int i = 0; i < 5; i++)
                Frame([&] { bank.Update(); });
            ASSERT_TRUE(Sounding(bank));
            voice = sound.GetChannel(bank.channel)->curhwchannel;
            if (size == kPreMadeBankSize)
                EXPECT_EQ(sound.freeprestreambanks, kPreMadeBanks - 1);
            else
                EXPECT_EQ(sound.GetNumBanksLoaded(), banks + 1);
        }
        file.Close();
        EXPECT_EQ(sound.freeprestreambanks, kPreMadeBanks);
        EXPECT_EQ(sound.GetNumBanksLoaded(), banks);
        Frame(nullptr);
        EXPECT_FALSE(soundtest::VoiceAt(voice).Sounding()) << size;
        EXPECT_EQ(sound.NumFreeChannels(), SOUND_VCHANNELS);
    }
}

}  // namespace
