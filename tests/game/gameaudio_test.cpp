// The music and voice jukeboxes on a disc of generated pieces and lines:
// which piece is heard when, and which line follows which.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/soundstream_support.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"
#include "game/GameAudio.h"
#include "game/QuadTree.h"

namespace {

using namespace streamsound;

constexpr double kOnFootHz = 440, kInCarHz = 660, kGenericHz = 550;
// A full-volume tone of amplitude 8000 after both cores' master volumes.
constexpr double kFull = 8000 * (0x7FFE / 32768.0) * (0x7FFE / 32768.0);

// The archive path of a game path below "KORVALIS\".
std::string PakPath(const char* gamePath)
{
    std::string s = std::string(gamePath).substr(std::strlen("KORVALIS\\"));
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

class Jukeboxes : public StreamSoundTest
{
protected:
    void SetUp() override
    {
        StreamSoundTest::SetUp();
        std::vector<tools::PakInputFile> files;
        // Music: one second of a tone each, at the music rate.
        files.push_back({PakPath(songsamples[SONG_CITYBUSY].file), Vb(Tune({kOnFootHz}, 44100, 44100)), ""});
        files.push_back({PakPath(songsamples[SONG_DEMO].file), Vb(Tune({kInCarHz}, 44100, 44100)), ""});
        files.push_back({PakPath(songsamples[SONG_GUNDOWN].file), Vb(Tune({kGenericHz}, 44100, 44100)), ""});
        // Voice lines: a tenth of a second each, every line its own pitch.
        for (int row : {20, 86, 87, 88, 89, 90, 91, 92, 93, 112, 113, 114, 168, 169, 170})
            files.push_back({PakPath(DaceVOTrax[row].file), Vb(Tune({300.0 + 10 * row}, 2205, 22050)), ""});
        files.push_back({"DemoData/NPCVO/MaADIE.VB", Vb(Tune({500}, 2205, 22050)), ""});
        Start(files);
        world.time = 1000;
    }

    void TearDown() override
    {
        world.time = 0;
        StreamSoundTest::TearDown();
    }

    // Frames until the jukebox's state is `state`, at most limit (each
    // jukebox kind its own Update).
    template <class Jukebox>
    int RunUntil(Jukebox& jb, StreamJukebox::JukeboxState state, int limit = 120)
    {
        int frames = 0;
        while (jb.state != state && frames < limit) {
            Frame([&] { jb.Update(); });
            frames++;
        }
        return frames;
    }

    // The amplitude of each tone in the second half of each of n frames.
    std::vector<std::vector<double>> Listen(KVJukebox& jb, int n, const std::vector<double>& hz)
    {
        std::vector<size_t> starts;
        for (int i = 0; i < n; i++) {
            starts.push_back(NowSample());
            Frame([&] { jb.Update(); });
        }
        const std::vector<double> x = Left();
        std::vector<std::vector<double>> amps(hz.size());
        for (size_t k = 0; k < hz.size(); k++)
            for (size_t s : starts)
                amps[k].push_back(ToneAt(x, s + 480, 480, hz[k]));
        return amps;
    }
};

// A tone that is not playing still reads up to about a tenth of full in a
// window that holds no whole number of its periods.
constexpr double kAbsent = 0.15 * kFull;

// The first frame from which the amplitude stays above level.
int FirstAbove(const std::vector<double>& a, double level)
{
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] > level)
            return int(i);
    return -1;
}

}  // namespace

TEST_F(Jukeboxes, TrackNumbersFromTheMusicCountAreSilent)
{
    KVJukebox jb(0x18000, 1.0f, 44100);
    jb.PlayTrack(BGM_Combat_1, 1.0f, 0);
    EXPECT_NE(jb.cursong, nullptr);
    RunUntil(jb, StreamJukebox::PLAYING);
    const auto playing = Listen(jb, 10, {kGenericHz});
    EXPECT_GT(playing[0].back(), 0.8 * kFull);
    jb.PlayTrack(BGM_NumTracks, 1.0f, 0);   // stops the music, plays nothing
    EXPECT_EQ(jb.cursong, nullptr);
    EXPECT_EQ(jb.state, StreamJukebox::STOPPED);
    const auto after = Listen(jb, 20, {kGenericHz});
    EXPECT_LT(after[0].back(), 1.0);
    EXPECT_FALSE(jb.Event(SoundEvent_EnterCar));
}

TEST_F(Jukeboxes, GettingInFadesIntoTheInCarPieceAndOutFadesBackIn)
{
    KVJukebox jb(0x18000, 1.0f, 44100);
    // The ruling's call: volume 0.42, loop length 0.
    jb.PlayTrack(BGM_Special_DemoDriveTo, 0.42f, 0);
    EXPECT_EQ(jb.curvolume, 0.42f);
    EXPECT_EQ(jb.curlooplen, 0);
    jb.PlayTrack(BGM_Special_DemoDriveTo, 1.0f, 0);
    ASSERT_LT(RunUntil(jb, StreamJukebox::PLAYING), 120);
    auto a = Listen(jb, 10, {kOnFootHz, kInCarHz});
    EXPECT_GT(a[0].back(), 0.8 * kFull);   // on foot
    EXPECT_LT(a[1].back(), kAbsent);

    // In: the on-foot piece fades out over 40 blanks, then the in-car piece
    // sounds at once at full volume.
    EXPECT_FALSE(jb.Event(SoundEvent_EnterCar));
    a = Listen(jb, 80, {kOnFootHz, kInCarHz});
    EXPECT_NEAR(a[0][19], kFull / 2, 0.15 * kFull);
    EXPECT_LT(a[0][42], kAbsent);
    const int inCar = FirstAbove(a[1], 0.2 * kFull);
    ASSERT_GE(inCar, 39);
    EXPECT_GT(a[1][size_t(inCar) + 1], 0.8 * kFull);
    EXPECT_GT(a[1].back(), 0.8 * kFull);

    // Out: the in-car piece fades out over 40, the on-foot piece fades in
    // over 30.
    jb.Event(SoundEvent_ExitCar);
    a = Listen(jb, 100, {kOnFootHz, kInCarHz});
    EXPECT_NEAR(a[1][19], kFull / 2, 0.15 * kFull);
    const int onFoot = FirstAbove(a[0], 0.2 * kFull);
    ASSERT_GE(onFoot, 39);
    ASSERT_LT(onFoot + 30, 100);
    EXPECT_LT(a[0][size_t(onFoot) + 3], 0.6 * kFull);
    EXPECT_GT(a[0][size_t(onFoot) + 30], 0.8 * kFull);

    // Events with the music stopped change nothing.
    jb.Stop();
    EXPECT_FALSE(jb.Event(SoundEvent_EnterCar));
    EXPECT_EQ(jb.state, StreamJukebox::STOPPED);
}

TEST_F(Jukeboxes, AnOnFootSongStartedWhileDrivingBeginsInTheCar)
{
    Object* player = new Object();
    player->id = -1;
    player->mode = 5;
    ASSERT_TRUE(world.AddObject(player, nullptr));
    KVJukebox jb(0x18000, 1.0f, 44100);
    jb.PlayTrack(BGM_Special_DemoDriveTo, 1.0f, 0);
    ASSERT_LT(RunUntil(jb, StreamJukebox::PLAYING), 120);
    const auto a = Listen(jb, 10, {kOnFootHz, kInCarHz});
    EXPECT_GT(a[1].back(), 0.8 * kFull);
    EXPECT_LT(a[0].back(), kAbsent);
    world.RemoveObject(player);
}

TEST_F(Jukeboxes, VoiceTypesDrawFromTheirPools)
{
    DaceVOJukebox vo(0x18000, 1.0f, 22050, DaceVOTrax, NUM_DACEVOTRAX);
    EXPECT_EQ(DaceVOJukebox::GetTrack(DaceVO_Release_Female), 112);
    EXPECT_EQ(DaceVOJukebox::GetTrack(DaceVO_Release_Male), 112);
    EXPECT_EQ(DaceVOJukebox::GetTrack(DaceVO_TotalNumTypes), 331);
    EXPECT_EQ(DaceVOJukebox::GetTrack(0), 0);
    EXPECT_EQ(DaceVOJukebox::GetTrack(59), 0);
    EXPECT_FALSE(vo.Play(DaceVO_None, 0));
    EXPECT_EQ(vo.GetTimeSincePlayed(DaceVO_Release_Female), NEVER);
    EXPECT_EQ(vo.GetTimeSinceLastStop(), NEVER);

    // Type 7's own range is empty: always track 112.
    for (int i = 0; i < 5; i++) {
        ASSERT_TRUE(vo.Play(DaceVO_Release_Female, 0));
        EXPECT_EQ(vo.GetCurrentTrack(), 112);
        EXPECT_EQ(vo.NumberedFileJukebox::GetCurrentTrack(), 112);
    }
    // Three or more lines: never the line last played.
    srand(5);
    int last = vo.GetCurrentTrack();
    for (int i = 0; i < 30; i++) {
        ASSERT_TRUE(vo.Play(DaceVO_DriveToFinish, 0));
        const int t = vo.GetCurrentTrack();
        EXPECT_GE(t, 168);
        EXPECT_LE(t, 170);
        EXPECT_NE(t, last);
        EXPECT_EQ(vo.GetCurrentType(), DaceVO_DriveToFinish);
        last = t;
    }
    // A type counts as played until its line ends.
    world.time = 1100;
    for (int i = 0; i < 3; i++)
        Frame([&] { vo.Update(); });
    EXPECT_EQ(vo.GetTimeSincePlayed(DaceVO_DriveToFinish), 0);
    RunUntil(vo, StreamJukebox::STOPPED);
    EXPECT_EQ(vo.GetTimeSinceLastStop(), 0);
    world.time = 1130;
    EXPECT_EQ(vo.GetTimeSincePlayed(DaceVO_DriveToFinish), 30);

    // A two-line type whose lines are one file: the draw still ends.
    std::vector<NumberedFileJukebox::Track> same(DaceVOTrax, DaceVOTrax + NUM_DACEVOTRAX);
    same[101] = same[100];
    DaceVOJukebox one(0x18000, 1.0f, 22050, same.data(), NUM_DACEVOTRAX);
    one.lastsampleplayed[DaceVO_Random_Female] = 100;
    one.Play(DaceVO_Random_Female, 0);
    EXPECT_GE(one.GetCurrentTrack(), 100);
    EXPECT_LE(one.GetCurrentTrack(), 101);
}

TEST_F(Jukeboxes, ADelayedLineStartsThatManyWorldFramesLaterUnlessStopped)
{
    DaceVOJukebox vo(0x18000, 1.0f, 22050, DaceVOTrax, NUM_DACEVOTRAX);
    ASSERT_TRUE(vo.Play(DaceVO_DriveToFinish, 150));
    EXPECT_NE(vo.state, StreamJukebox::PLAYING);
    // World frames 1000..1150: cued, waiting; 1151 on: playing.
    int started = -1;
    for (int f = 0; f < 200 && started < 0; f++) {
        Frame([&] { vo.Update(); });
        if (vo.state == StreamJukebox::PLAYING)
            started = world.time;
        world.time++;
    }
    EXPECT_EQ(started, 1000 + 150 + 1);

    // Stopped before its frame: nothing starts.
    RunUntil(vo, StreamJukebox::STOPPED);
    ASSERT_TRUE(vo.Play(DaceVO_DriveToFinish, 150));
    Frame([&] { vo.Update(); });
    vo.Stop();
    for (int f = 0; f < 200; f++) {
        world.time++;
        Frame([&] { vo.Update(); });
        ASSERT_EQ(vo.state, StreamJukebox::STOPPED) << f;
    }
}

TEST_F(Jukeboxes, ADispatcherCallIsLeadInLineAndTailAndOnlyThenStops)
{
    DaceVOJukebox vo(0x18000, 1.0f, 22050, DaceVOTrax, NUM_DACEVOTRAX);
    srand(11);
    vo.PlayDispatcherVOTrack(20);
    EXPECT_EQ(vo.GetCurrentTrack(), 20);
    std::vector<int> heard;
    for (int f = 0; f < 300 && (heard.empty() || vo.state != StreamJukebox::STOPPED); f++) {
        Frame([&] { vo.Update(); });
        const int t = vo.NumberedFileJukebox::GetCurrentTrack();
        if (vo.state == StreamJukebox::PLAYING && (heard.empty() || heard.back() != t))
            heard.push_back(t);
        if (vo.state != StreamJukebox::STOPPED) {
            EXPECT_EQ(vo.GetTimeSinceLastStop(), NEVER) << f;
        }
        world.time++;
    }
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_GE(heard[0], 86);
    EXPECT_LE(heard[0], 89);
    EXPECT_EQ(heard[1], 20);
    EXPECT_GE(heard[2], 90);
    EXPECT_LE(heard[2], 93);
    EXPECT_EQ(vo.state, StreamJukebox::STOPPED);
    EXPECT_EQ(vo.GetTimeSinceLastStop(), 1);   // stamped in the frame the tail ended
}

TEST_F(Jukeboxes, CharacterLinesAreNamedByBankAndKind)
{
    BankedVBJukebox npc("KORVALIS\\DemoData\\NPCVO\\", NPCVOPrefixes, NPCVOSuffixes, 0x18000, 1.0f, 22050);
    EXPECT_FALSE(npc.PlayBankTrack(NPCVO_NOBANK, 10, 1.0f, -1));
    EXPECT_FALSE(npc.PlayBankTrack(NPCVOBank_LAST + 1, 10, 1.0f, -1));
    ASSERT_TRUE(npc.PlayBankTrack(NPCVOBank_Male_A, 10, 1.0f, -1));
    EXPECT_STREQ(npc.shellfile, "KORVALIS\\DemoData\\NPCVO\\MaADIE.VB");
    EXPECT_EQ(npc.GetCurrentBank(), 0);
    EXPECT_EQ(npc.GetCurrentTrack(), 10);
    // Positioned at a point: the channel is pinned there.
    ASSERT_TRUE(npc.PlayBankTrack(NPCVOBank_Male_A, 10, VectorPos(5, 0, 7), 1.0f));
    const int chan = npc.GetChannel();
    ASSERT_TRUE(sound.ChannelValid(chan));
    ASSERT_NE(sound.GetChannel(chan)->ppos, nullptr);
    EXPECT_EQ(sound.GetChannel(chan)->ppos->v[0], 5.0f);
    EXPECT_EQ(sound.GetChannel(chan)->ppos->v[2], 7.0f);
    EXPECT_FALSE(npc.PlayBankTrack(NPCVO_NOBANK, 10, VectorPos(5, 0, 7), 1.0f));
    // A line that is not on the disc does not sound.
    EXPECT_FALSE(npc.PlayBankTrack(NPCVOBank_Gimp, 0, 1.0f, -1));
}
