// Streamed music and jukeboxes end to end: pieces made by the encoder, on a
// synthetic disc, played back to back through one ring buffer and heard in
// the mixer's output; jukeboxes cued, played, faded and switched, checked by
// what is heard when.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/soundstream_support.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "ZevEngine2/Utilities/SoundStream2.h"

namespace {

using namespace streamsound;

constexpr double kRate = 24000;
constexpr double kFieldSamples = 960;  // output samples in one frame of the test loop
// A full-volume tone of amplitude 8000 after both cores' master volumes.
constexpr double kFull = 8000 * (0x7FFE / 32768.0) * (0x7FFE / 32768.0);

std::string PiecePath(const std::string& name)
{
    return "KORVALIS\\DemoData\\Vags\\" + name + ".VB";
}

tools::PakInputFile PieceFile(const std::string& name, const std::vector<u8>& vb)
{
    return {"DEMODATA/VAGS/" + name + ".VB", vb, ""};
}

class DynamicStream : public StreamSoundTest {
protected:
    int RunUntilStopped(StreamJukebox& jb, int limit = 600)
    {
        int frames = 0;
        while (jb.state != StreamJukebox::STOPPED && frames < limit) {
            Frame([&] { jb.Update(); });
            frames++;
        }
        return frames;
    }

    void RunUntil(StreamJukebox& jb, StreamJukebox::JukeboxState state, int limit = 60)
    {
        for (int i = 0; i < limit && jb.state != state; i++)
            Frame([&] { jb.Update(); });
        ASSERT_EQ(jb.state, state);
    }

    // The amplitude of a tone in each of the next n frames.
    std::vector<double> FrameAmplitudes(StreamJukebox& jb, int n, double hz)
    {
        std::vector<size_t> starts;
        for (int i = 0; i < n; i++) {
            starts.push_back(NowSample());
            Frame([&] { jb.Update(); });
        }
        const std::vector<double> x = Left();
        std::vector<double> amps;
        // The second half of each frame: the volume of the frame's update
        // has reached the voice by then.
        for (size_t s : starts)
            amps.push_back(ToneAt(x, s + 480, 480, hz));
        return amps;
    }
};

class Jukebox : public DynamicStream {};

// ------------------------------------------------------------ dynamic streams

TEST_F(DynamicStream, NotesPlayBackToBackThroughTheRingAndTheLastOneEndsTheStream)
{
    // Sixteen pieces of 1200 samples, each its own pitch and file; some carry
    // their own end or loop markers, which must neither stop nor loop the
    // voice in the middle of the music.
    constexpr int kPieces = 16;
    constexpr size_t kLen = 1200;
    const size_t blocks = Blocks(kLen), bytes = blocks * 16;
    std::vector<double> hz;
    std::vector<tools::PakInputFile> files;
    std::vector<std::string> paths;
    for (int k = 0; k < kPieces; k++) {
        hz.push_back(400 + 80 * k);
        const tools::AdpcmLoop loop =
            k % 3 == 0 ? tools::AdpcmLoop::kOneShot : k % 3 == 1 ? tools::AdpcmLoop::kWhole : tools::AdpcmLoop::kRaw;
        char name[8];
        std::snprintf(name, sizeof name, "P%02d", k);
        files.push_back(PieceFile(name, Vb(Tune({hz.back()}, kLen, kRate), loop)));
        paths.push_back(PiecePath(name));
    }
    Start(files);
    std::vector<DynamicSoundStream::Sample> samples;
    std::vector<SequencedSoundStream::Note> notes;
    for (int k = 0; k < kPieces; k++) {
        samples.push_back({paths[k].c_str(), 0, nullptr});
        notes.push_back({s16(k), s16(k + 1 < kPieces ? k + 1 : -1)});
    }
    SequenceJukebox::Track track = {samples.data(), notes.data(), 0};
    constexpr u32 kRing = 8192;  // about twelve pieces: refilled while playing
    SequenceJukebox jb(kRing, 1.0f, 24000, &track, 1);

    ASSERT_TRUE(jb.Cue(0));
    EXPECT_EQ(jb.state, StreamJukebox::CUEING);
    RunUntil(jb, StreamJukebox::CUED);
    const size_t begin = NowSample();
    ASSERT_TRUE(jb.PlayTrack(0, 1.0f, -1));
    EXPECT_EQ(jb.state, StreamJukebox::PLAYING);
    int mostopen = 0;
    for (int i = 0; i < 600 && jb.state != StreamJukebox::STOPPED; i++) {
        Frame([&] { jb.Update(); });
        mostopen = std::max(mostopen, numvfdsallocated);
        if (i == 3) {
            // Asked again for the track it is playing: it goes on.
            const int note = jb.GetCurrentNote();
            EXPECT_TRUE(jb.PlayTrack(0, 1.0f, -1));
            EXPECT_EQ(jb.GetCurrentNote(), note);
            EXPECT_EQ(jb.state, StreamJukebox::PLAYING);
        }
    }
    ASSERT_EQ(jb.state, StreamJukebox::STOPPED);
    EXPECT_EQ(numvfdsallocated, 0);
    // At most eight earlier pieces stay open beside the current one.
    EXPECT_LE(mostopen, 9);
    EXPECT_GE(mostopen, 2);

    const std::vector<double> x = Left();
    const size_t onset = Onset(x, begin);
    ASSERT_LT(onset, x.size());
    const size_t piece = blocks * 28 * 2;  // output samples of one piece
    for (int k = 0; k < kPieces; k++)
        EXPECT_EQ(Loudest(x, onset + piece * size_t(k) + 600, 1200, hz), hz[size_t(k)]) << "piece " << k;
    const size_t played = LastSound(x) + 1 - onset;
    EXPECT_NEAR(double(played), double(kPieces * piece - 56), 60);
    EXPECT_LT(LongestSilence(x, onset, onset + played), 28u);

    // The ring's last lap as the voice met it: the stop marker closes the
    // last piece; the pieces' own markers were cleared.
    const u8* ram = console::spu2::SoundRam() + jb.bank.baseaddr;
    const size_t total = kPieces * bytes;
    auto flag = [&](size_t streamoffset) { return ram[streamoffset % kRing + 1]; };
    EXPECT_EQ(flag(total - 16), 7);
    EXPECT_EQ(flag(total - 32), 1);
    for (int k = kPieces - 5; k < kPieces - 1; k++) {
        EXPECT_EQ(flag(size_t(k) * bytes), 0) << k;              // first block
        EXPECT_EQ(flag(size_t(k + 1) * bytes - 16), 0) << k;    // last block
    }
}

TEST_F(DynamicStream, BytesPendingCountsOnlyBytesOnTheirWay)
{
    const std::vector<u8> a = Vb(Tune({500}, 2800, kRate)), b = Vb(Tune({700}, 28000, kRate));
    Start({PieceFile("A", a), PieceFile("B", b)});
    const std::string pa = PiecePath("A"), pb = PiecePath("B");
    DynamicSoundStream::Sample samples[] = {{pa.c_str(), 0, nullptr}, {pb.c_str(), 0, nullptr}};
    const SequencedSoundStream::Note notes[] = {{0, 1}, {1, -1}};
    SequencedSoundStream stream(24000);
    stream.Start(notes, samples, 0);
    EXPECT_EQ(stream.GetFrequency(), 24000u);
    EXPECT_EQ(stream.GetCurrentNote(), 0);
    EXPECT_EQ(stream.GetNextNote(), 1);

    // All of A and the start of B into free sound RAM.
    EXPECT_EQ(stream.TransferSound(reinterpret_cast<void*>(uintptr_t(0x100000)), u32(a.size() + 1024), 7), -1);
    EXPECT_EQ(stream.cursample, 1);
    ASSERT_EQ(stream.numoldstreams, 1);  // A, its transfer still running
    const int fa = stream.oldstreams[0], fb = stream.curstream;
    for (int i = 0; i < 20 && stream.BytesPending(false) > 0; i++)
        Frame(nullptr);
    EXPECT_EQ(stream.BytesPending(false), 0);
    EXPECT_EQ(StreamerBytesPending(fa, false), -1);  // A is at its end

    // One byte of B still on its way must not be cancelled by A's end.
    cached_vfds[fb].pending = 1;
    EXPECT_EQ(stream.BytesPending(false), 1);
    cached_vfds[fb].pending = 0;

    // The next transfer closes A, whose transfers are done.
    EXPECT_EQ(stream.TransferSound(reinterpret_cast<void*>(uintptr_t(0x101000)), 1024, 0), -1);
    EXPECT_EQ(stream.numoldstreams, 0);
    stream.Close();
    EXPECT_EQ(stream.curstream, -1);
    EXPECT_EQ(numvfdsallocated, 0);
    EXPECT_EQ(stream.TransferSound(reinterpret_cast<void*>(uintptr_t(0x100000)), 1024, 7), 0);
}

TEST_F(DynamicStream, AMissingPieceEndsTheMusicAfterThePieceBeforeAndEmptyPiecesAreSkipped)
{
    const size_t len = 7200;  // 0.3 s
    const std::vector<u8> a = Vb(Tune({500}, len, kRate)), c = Vb(Tune({900}, len, kRate));
    Start({PieceFile("A", a), PieceFile("C", c), PieceFile("EMPTY", {})});
    const std::string pa = PiecePath("A"), pc = PiecePath("C"), pe = PiecePath("EMPTY"),
                      pm = PiecePath("MISSING");
    const SequencedSoundStream::Note notes[] = {{0, 1}, {1, 2}, {2, -1}};
    const size_t piece = Blocks(len) * 56;

    struct Case {
        const char* middle;
        std::vector<double> heard;
    };
    for (const Case& c : {Case{pm.c_str(), {500}}, Case{pe.c_str(), {500, 900}}}) {
        DynamicSoundStream::Sample samples[] = {
            {pa.c_str(), 0, nullptr}, {c.middle, 0, nullptr}, {pc.c_str(), 0, nullptr}};
        SequenceJukebox::Track track = {samples, notes, 0};
        SequenceJukebox jb(32768, 1.0f, 24000, &track, 1);
        const size_t begin = NowSample();
        ASSERT_TRUE(jb.PlayTrack(0, 1.0f, -1));
        EXPECT_EQ(jb.state, StreamJukebox::STARTING);
        const int frames = RunUntilStopped(jb);
        EXPECT_EQ(jb.state, StreamJukebox::STOPPED);
        // It ends where the music does, not a lap of the ring (60 frames)
        // later.
        EXPECT_LT(frames, int(double(c.heard.size() * piece) / kFieldSamples) + 15) << c.middle;
        EXPECT_FALSE(ConsoleHas("a lap after its end"));

        const std::vector<double> x = Left();
        const size_t onset = Onset(x, begin);
        ASSERT_LT(onset, x.size());
        for (size_t k = 0; k < c.heard.size(); k++)
            EXPECT_EQ(Loudest(x, onset + piece * k + 2400, 4800, {500, 900}), c.heard[k]) << c.middle;
        EXPECT_NEAR(double(LastSound(x) + 1 - onset), double(c.heard.size() * piece - 56), 60) << c.middle;
        EXPECT_EQ(numvfdsallocated, 0);
    }

    // A table that loops over an empty piece for ever has nothing to play.
    DynamicSoundStream::Sample empty[] = {{pe.c_str(), 0, nullptr}};
    SequenceJukebox::Track track = {empty, nullptr, 0};  // sample 0 repeated
    SequenceJukebox jb(32768, 1.0f, 24000, &track, 1);
    ASSERT_TRUE(jb.PlayTrack(0, 1.0f, -1));
    EXPECT_LT(RunUntilStopped(jb, 30), 30);
    EXPECT_TRUE(ConsoleHas("Sound stream: no data in 64 samples in a row"));
    EXPECT_EQ(numvfdsallocated, 0);
}

// --------------------------------------------------------------- jukeboxes

TEST_F(Jukebox, ATransitionReplacesTheFollowingPieceBehindTheMargin)
{
    // A, then B; a transition to C from A's end on.  Each two seconds long,
    // whole blocks.
    const size_t len = 1715 * 28;
    const std::vector<u8> a = Vb(Tune({500}, len, kRate)), b = Vb(Tune({1000}, len, kRate)),
                          c = Vb(Tune({1500}, len, kRate));
    Start({PieceFile("A", a), PieceFile("B", b), PieceFile("C", c)});
    const std::string pa = PiecePath("A"), pb = PiecePath("B"), pc = PiecePath("C");
    DynamicSoundStream::Sample samples[] = {{pa.c_str(), 0, nullptr}, {pb.c_str(), 0, nullptr}, {pc.c_str(), 0, nullptr}};
    const SequencedSoundStream::Note notes[] = {{0, 1}, {1, -1}, {2, -1}};
    SequenceJukebox::Track track = {samples, notes, 0};
    constexpr u32 kRing = 32768;
    const size_t piece = Blocks(len) * 56;
    const std::vector<double> tones = {500, 1000, 1500};

    // early: the margin ahead of the voice ends inside A; late: B has begun
    // within the margin, so B stays and C follows it.
    for (bool late : {false, true}) {
        SequenceJukebox jb(kRing, 1.0f, 24000, &track, 1);
        const size_t begin = NowSample();
        ASSERT_TRUE(jb.PlayTrack(0, 1.0f, -1));
        RunUntil(jb, StreamJukebox::PLAYING);
        for (int i = 0; i < (late ? 80 : 8); i++)
            Frame([&] { jb.Update(); });
        console::spu2::CatchUp();
        const u32 play = ChannelVoice(jb.GetChannel()).CurrentAddress() - jb.bank.baseaddr;
        if (late)
            ASSERT_GT(play + 8192, a.size() + 1000);
        else
            ASSERT_LT(play + 8192, a.size() - 1000);
        jb.Transition(2);
        for (int i = 0; i < 3; i++)
            Frame([&] { jb.Update(); });
        const u8* ram = console::spu2::SoundRam() + jb.bank.baseaddr;
        if (!late) {
            // A stays up to its end; C's data follows it to the ring's last
            // block (which carries the end marker).
            EXPECT_EQ(std::memcmp(ram + play + 8192, a.data() + play + 8192, a.size() - play - 8192), 0);
            EXPECT_EQ(std::memcmp(ram + a.size(), c.data(), kRing - 16 - a.size()), 0);
        } else {
            // The voice is in the second half, in A; B's start stays.
            EXPECT_GT(play, kRing / 2);
            EXPECT_EQ(std::memcmp(ram + a.size(), b.data(), kRing - 16 - a.size()), 0);
        }
        RunUntilStopped(jb);
        const std::vector<double> heard = late ? std::vector<double>{500, 1000, 1500} : std::vector<double>{500, 1500};
        const std::vector<double> x = Left();
        const size_t onset = Onset(x, begin);
        ASSERT_LT(onset, x.size());
        for (size_t k = 0; k < heard.size(); k++)
            EXPECT_EQ(Loudest(x, onset + piece * k + 38400, 9600, tones), heard[k]) << late << " piece " << k;
        EXPECT_NEAR(double(LastSound(x) + 1 - onset), double(heard.size() * piece - 56), 60) << late;
        EXPECT_LT(LongestSilence(x, onset, LastSound(x)), 28u);
    }
}

TEST_F(Jukebox, PlayTrackOnTheTrackPlayingGoesOnUndisturbed)
{
    Start({PieceFile("T0", Vb(Tune({800}, 48000, kRate))), PieceFile("T1", Vb(Tune({1200}, 48000, kRate)))});
    const std::string p0 = PiecePath("T0"), p1 = PiecePath("T1");
    NumberedFileJukebox::Track tracks[] = {{p0.c_str(), 0, 0}, {p1.c_str(), 0, 0}};
    NumberedFileJukebox jb(16384, 1.0f, 24000, tracks, 2);

    EXPECT_FALSE(jb.PlayTrack(2, 1.0f, -1));
    EXPECT_FALSE(jb.PlayTrack(-1, 1.0f, -1));
    EXPECT_FALSE(jb.Cue(2));
    EXPECT_EQ(jb.state, StreamJukebox::STOPPED);

    const size_t begin = NowSample();
    ASSERT_TRUE(jb.PlayTrack(0, 1.0f, -1));
    RunUntil(jb, StreamJukebox::PLAYING);
    for (int i = 0; i < 10; i++)
        Frame([&] { jb.Update(); });
    const int fd = jb.stream.streamnum;
    const int chan = jb.GetChannel();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(jb.PlayTrack(0, 0.5f, -1));
    EXPECT_EQ(jb.state, StreamJukebox::PLAYING);
    EXPECT_EQ(jb.GetCurrentTrack(), 0);
    for (int i = 0; i < 10; i++) {
        Frame([&] { jb.Update(); });
        EXPECT_EQ(sound.GetChannel(chan)->state, VCHAN_PLAYING);  // never started again
    }
    EXPECT_EQ(jb.stream.streamnum, fd);
    const std::vector<double> x = Left();
    const size_t onset = Onset(x, begin);
    EXPECT_LT(LongestSilence(x, onset, NowSample() - 1), 28u);
    EXPECT_EQ(Loudest(x, NowSample() - 2400, 2400, {800, 1200}), 800);

    // Another track replaces it.
    ASSERT_TRUE(jb.PlayTrack(1, 1.0f, -1));
    EXPECT_EQ(jb.GetCurrentTrack(), 1);
    RunUntil(jb, StreamJukebox::PLAYING);
    for (int i = 0; i < 10; i++)
        Frame([&] { jb.Update(); });
    EXPECT_EQ(Loudest(Left(), NowSample() - 2400, 2400, {800, 1200}), 1200);

    // A cued track plays when asked for.
    ASSERT_TRUE(jb.Cue(0));
    RunUntil(jb, StreamJukebox::CUED);
    ASSERT_TRUE(jb.PlayTrack(0, 1.0f, -1));
    EXPECT_EQ(jb.state, StreamJukebox::PLAYING);
    for (int i = 0; i < 10; i++)
        Frame([&] { jb.Update(); });
    EXPECT_EQ(Loudest(Left(), NowSample() - 2400, 2400, {800, 1200}), 800);
    jb.Stop(false);
    EXPECT_EQ(jb.state, StreamJukebox::STOPPED);
    EXPECT_EQ(numvfdsallocated, 0);
}

TEST_F(Jukebox, ACuedFileStartsOnPlayAndFadesOutAndInLinearly)
{
    // Four seconds of 1 kHz recorded at 48 kHz: 20 periods in every frame.
    Start({PieceFile("LINE", Vb(Tune({1000}, 192000, 48000)))});
    const std::string path = PiecePath("LINE");
    FileJukebox jb(0x18000, 1.0f, 48000);
    ASSERT_TRUE(jb.Cue(path.c_str(), 0, 0));
    EXPECT_EQ(jb.state, StreamJukebox::CUEING);
    RunUntil(jb, StreamJukebox::CUED);
    for (int i = 0; i < 5; i++)
        Frame([&] { jb.Update(); });
    EXPECT_EQ(jb.state, StreamJukebox::CUED);
    EXPECT_EQ(LastSound(Left()), 0u);  // nothing heard while cued

    const size_t play = NowSample();
    ASSERT_TRUE(jb.Play(0.5f, -1));
    EXPECT_EQ(jb.state, StreamJukebox::PLAYING);
    const std::vector<double> steady = FrameAmplitudes(jb, 10, 1000);
    const std::vector<double> x = Left();
    EXPECT_LT(Onset(x, play) - play, size_t(kFieldSamples));  // heard from the next frame
    const double a0 = kFull * 0.5;
    EXPECT_NEAR(steady.back(), a0, a0 * 0.03);

    // Over 50 blanks to silence.  The level a frame's update sets is heard
    // from the next frame's sound update on: in frame n (from 1) the voice
    // plays (52 - n) / 50 of the volume.
    jb.FadeOut(50);
    const std::vector<double> out = FrameAmplitudes(jb, 60, 1000);
    for (int n : {2, 12, 27, 42, 51})
        EXPECT_NEAR(out[size_t(n - 1)], a0 * (52 - n) / 50.0, a0 * 0.03) << n;
    for (int n = 52; n <= 60; n++)
        EXPECT_LT(out[size_t(n - 1)], 1.0) << n;
    for (size_t i = 1; i < out.size(); i++)
        EXPECT_LE(out[i], out[i - 1] + 1.0);
    EXPECT_EQ(jb.curfadeoutlen, 0);
    EXPECT_EQ(jb.state, StreamJukebox::PLAYING);  // the stream goes on, silent

    // Back up over 25 blanks.
    jb.FadeIn(25);
    const std::vector<double> in = FrameAmplitudes(jb, 30, 1000);
    for (int n : {2, 14, 26})
        EXPECT_NEAR(in[size_t(n - 1)], a0 * (n - 2) / 25.0, a0 * 0.03) << n;
    EXPECT_NEAR(in.back(), a0, a0 * 0.03);
    EXPECT_EQ(jb.curfadeinlen, 0);

    jb.Stop(false);
    EXPECT_EQ(jb.state, StreamJukebox::STOPPED);
    const std::vector<double> after = FrameAmplitudes(jb, 2, 1000);
    EXPECT_LT(after[1], 1.0);
    EXPECT_EQ(jb.stream.streamnum, -1);
}

TEST_F(Jukebox, AFadeOfLengthZeroSetsTheVolumeAtOnce)
{
    Start({PieceFile("LINE", Vb(Tune({1000}, 96000, 48000)))});
    const std::string path = PiecePath("LINE");
    FileJukebox jb(0x18000, 0.8f, 48000);
    jb.FadeOut(0);  // stopped: nothing to fade
    EXPECT_EQ(jb.curfadeoutlen, 0);
    ASSERT_TRUE(jb.Cue(path.c_str(), 0, 0));
    ASSERT_TRUE(jb.Play(0.5f, -1));
    EXPECT_EQ(jb.state, StreamJukebox::STARTING);
    RunUntil(jb, StreamJukebox::PLAYING);
    const vchannel& c = *sound.GetChannel(jb.GetChannel());
    EXPECT_FLOAT_EQ(c.volume, 0.4f);  // the volume times the jukebox's factor

    jb.FadeOut(0);
    EXPECT_EQ(c.volume, 0.0f);
    jb.FadeIn(0);
    EXPECT_FLOAT_EQ(c.volume, 0.4f);
    // A zero-length fade also ends a fade that was running.
    jb.FadeIn(30);
    EXPECT_EQ(c.volume, 0.0f);
    jb.FadeOut(0);
    for (int i = 0; i < 5; i++)
        Frame([&] { jb.Update(); });
    EXPECT_EQ(c.volume, 0.0f);
    EXPECT_EQ(jb.curfadeinlen, 0);
    jb.FadeOut(40);
    jb.FadeIn(0);
    for (int i = 0; i < 5; i++)
        Frame([&] { jb.Update(); });
    EXPECT_FLOAT_EQ(c.volume, 0.4f);

    const std::vector<double> heard = FrameAmplitudes(jb, 3, 1000);
    EXPECT_NEAR(heard[2], kFull * 0.4, kFull * 0.4 * 0.03);
    jb.Stop(false);
}

TEST_F(Jukebox, AStopDuringAFadeOutLeavesTheNextTrackAudible)
{
    Start({PieceFile("T0", Vb(Tune({800}, 96000, 48000))), PieceFile("T1", Vb(Tune({1200}, 96000, 48000)))});
    const std::string p0 = PiecePath("T0"), p1 = PiecePath("T1");
    NumberedFileJukebox::Track tracks[] = {{p0.c_str(), 0, 0}, {p1.c_str(), 0, 0}};
    NumberedFileJukebox jb(0x18000, 1.0f, 48000, tracks, 2);
    ASSERT_TRUE(jb.PlayTrack(0, 1.0f, -1));
    RunUntil(jb, StreamJukebox::PLAYING);
    jb.FadeOut(40);
    for (int i = 0; i < 10; i++)
        Frame([&] { jb.Update(); });
    ASSERT_TRUE(jb.PlayTrack(1, 1.0f, -1));  // stops track 0 half faded
    RunUntil(jb, StreamJukebox::PLAYING);
    const std::vector<double> heard = FrameAmplitudes(jb, 50, 1200);
    EXPECT_NEAR(heard.back(), kFull, kFull * 0.03);
    jb.Stop(false);
}

// Keeps playing the piece it is on; starts with the piece in *extra.
int LoopPiece(int current, void* extra)
{
    return current >= 0 ? current : *static_cast<int*>(extra);
}

TEST_F(Jukebox, AScriptedPieceStartedAfterAFadeOutFadesInFromSilence)
{
    // An on-foot piece and an in-car piece looped by the script: out of the
    // car the music fades out, stops, and the other piece fades in.  Each
    // piece is whole blocks and whole periods of its tone, so that it loops
    // seamlessly.
    const size_t len = 11200;
    Start({PieceFile("ONFOOT", Vb(Tune({600}, len, kRate))), PieceFile("INCAR", Vb(Tune({1200}, len, kRate)))});
    const std::string pf = PiecePath("ONFOOT"), pc = PiecePath("INCAR");
    DynamicSoundStream::Sample samples[] = {{pf.c_str(), 0, nullptr}, {pc.c_str(), 0, nullptr}};
    int startpiece = 0;
    ScriptJukebox jb(16384, 1.0f, 24000);
    ASSERT_TRUE(jb.Cue(samples, LoopPiece, &startpiece, 24000));
    ASSERT_TRUE(jb.Play(1.0f, 0));
    RunUntil(jb, StreamJukebox::PLAYING);
    EXPECT_EQ(jb.GetCurrentSample(), 0);
    // Two and a half laps of the piece, looped without a gap.
    const size_t begin = NowSample();
    for (int i = 0; i < 60; i++)
        Frame([&] { jb.Update(); });
    std::vector<double> x = Left();
    EXPECT_LT(LongestSilence(x, begin, NowSample() - 1), 28u);
    EXPECT_EQ(Loudest(x, NowSample() - 2400, 2400, {600, 1200}), 600);

    jb.FadeOut(20);
    for (int i = 0; i < 30 && jb.curfadeoutlen > 0; i++)
        Frame([&] { jb.Update(); });
    ASSERT_EQ(jb.curfadeoutlen, 0);
    jb.Stop(false);
    jb.FadeIn(30);
    jb.Transition(1);
    EXPECT_EQ(jb.state, StreamJukebox::STARTING);
    const size_t switched = NowSample();
    const std::vector<double> in = FrameAmplitudes(jb, 40, 1200);
    EXPECT_EQ(jb.state, StreamJukebox::PLAYING);
    EXPECT_EQ(jb.GetCurrentSample(), 1);
    x = Left();
    // (The old voice's last samples, in the frame its stop goes out.)
    const size_t onset = Onset(x, switched + size_t(kFieldSamples));
    ASSERT_LT(onset, x.size());
    // From silence: never a frame at full volume before the fade.
    double first = 0;
    for (size_t i = onset; i < onset + 2 * size_t(kFieldSamples); i++)
        first = std::max(first, std::abs(x[i]));
    EXPECT_LT(first, kFull * 0.4);
    EXPECT_NEAR(in.back(), kFull, kFull * 0.03);
    for (size_t i = 1; i < in.size(); i++)
        EXPECT_GE(in[i], in[i - 1] - kFull * 0.01);

    // The in-car piece loops on.
    for (int i = 0; i < 40; i++)
        Frame([&] { jb.Update(); });
    x = Left();
    EXPECT_LT(LongestSilence(x, onset, NowSample() - 1), 28u);
    EXPECT_EQ(Loudest(x, NowSample() - 2400, 2400, {600, 1200}), 1200);

    // Transition acts only on a stopped jukebox.
    jb.Transition(0);
    EXPECT_EQ(jb.GetCurrentSample(), 1);
    jb.Stop(false);
    EXPECT_EQ(jb.stream.cursample, -1);
    EXPECT_EQ(jb.GetCurrentSample(), -1);
    EXPECT_EQ(numvfdsallocated, 0);
}

}  // namespace
