// Cinematics on a disc of written scenes: objects taken over and handed
// back, blocks streamed in as the animation loops, the skip to the final
// poses, the scene's events, and files that cannot be played.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ZevEngine2/PS2/soundstream_support.h"
#include "tools/lib/cinefile.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/Controller.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/cine.h"

namespace {

using streamsound::StreamSoundTest;

constexpr int kScene = 15;   // M2\M2_S4
constexpr u16 kLen = 10;

// What the controller and the scene's objects were told.
std::vector<int> g_done;
std::vector<int> g_objSpecials;
int g_cinemaOver = 0;

int Controller_mh(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == SMSG_GC_CINEMATIC_DONE)
        g_done.push_back(1);
    return 0;
}

int Prop_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL)
        g_objSpecials.push_back(static_cast<SpecialMessage*>(data)->submsg);
    if (msg == OM_CINEMAOVER)
        g_cinemaOver++;
    if (msg == OM_DIE) {
        delete o;
        return -1;
    }
    return 0;
}

// An entry moving from a to b over the block, with optional events.
tools::AniChar Move(VectorXYZ a, VectorXYZ b, u16 len, std::vector<u16> events = {})
{
    tools::AniStream pos(ANIM_TYPE_POS);
    pos.Vec(0, a).Vec(len, b);
    tools::AniChar c;
    c.length = len;
    c.bundles.push_back({0, {pos}});
    if (!events.empty()) {
        tools::AniStream ev(ANIM_TYPE_INSTANT);
        for (u16 e : events)
            ev.Event(2, e);
        c.bundles[0].streams.push_back(ev);
    }
    return c;
}

// A scene of the camera and objects 71 and 72 in `blocks` blocks (the last
// the final poses); object 71 fires 134 early in the first block.
std::vector<u8> Scene(int blocks)
{
    tools::CineScene s;
    s.starts = {{CINE_CAMERA_ID, VectorPos(0, -1, -5), Quaternion(Matrix(true))},
                {71, VectorPos(1, 0, 0), Quaternion(Matrix(true))},
                {72, VectorPos(-1, 0, 0), Quaternion(Matrix(true))}};
    for (int b = 0; b < blocks; b++) {
        tools::AniGroup g;
        const bool last = b == blocks - 1;
        g.chars.push_back(Move(VectorXYZ(0, -1, -5), VectorXYZ(0, -1, -4), last ? 1 : kLen));
        g.chars.push_back(Move(VectorXYZ(1, 0, 0), VectorXYZ(5, 0, 0), last ? 1 : kLen,
                               b == 0 ? std::vector<u16>{134} : std::vector<u16>{}));
        g.chars.push_back(Move(VectorXYZ(-1, 0, 0), VectorXYZ(-5, 0, 0), last ? 1 : kLen));
        s.blocks.push_back(g);
    }
    std::vector<u8> out;
    std::string error;
    EXPECT_TRUE(tools::WriteCinema(s, out, error)) << error;
    return out;
}

std::vector<int16_t> Tone()
{
    return std::vector<int16_t>(44100 / 2, 1000);
}

class Cinema : public StreamSoundTest
{
protected:
    void SetUp() override
    {
        StreamSoundTest::SetUp();
        self = this;
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
        gc = gametest::Controller();
        gc->messagehandler = Controller_mh;
        gc->bInterior = true;
        g_done.clear();
        g_objSpecials.clear();
        g_cinemaOver = 0;
        controller[0].pad = 0;
        CineLoadWait = [] { self->Frame(nullptr); };
        SetCurrentCam(nullptr);
    }
    void TearDown() override
    {
        if (pActor != nullptr)
            pActor->SendMessage(OM_DIE, nullptr);
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        gc->messagehandler = GameController::staticmh;
        gc->bInterior = false;
        controller[0].pad = 0;
        SetCurrentCam(nullptr);
        StreamSoundTest::TearDown();
    }
    void Disc(const std::vector<u8>& cin, bool withSound = true)
    {
        std::vector<tools::PakInputFile> files = {{"DemoData/Cine/M2/M2_S4.CIN", cin, ""}};
        if (withSound)
            files.push_back({"DemoData/Cine/M2/M2_S4.VB", tools::EncodeAdpcm(Tone(), tools::AdpcmLoop::kRaw), ""});
        Start(files);
    }
    Object* Prop(int id)
    {
        Object* o = new Object(Prop_mh);
        o->id = s16(id);
        o->radius = 2.0f;
        o->flags |= OBJF_FRAMECALL;
        o->mat = Matrix(true);
        world.AddObject(o, nullptr);
        return o;
    }
    // One displayed frame of the world; true while the scene runs.
    bool Tick()
    {
        Frame([] { world.Update(); });
        return pActor != nullptr;
    }
    int RunToEnd(int limit = 400)
    {
        int n = 0;
        while (Tick() && n < limit)
            n++;
        return n;
    }

    static Cinema* self;
    GameController* gc = nullptr;
};
Cinema* Cinema::self = nullptr;

TEST_F(Cinema, ObjectsAreTakenOverPlayedBlockByBlockAndHandedBack)
{
    Disc(Scene(3));
    Object* a = Prop(71);
    Object* b = Prop(72);
    Matrix place = TransMatrix(0, 0, 0);
    ParseActorScript(kScene, &place);
    ASSERT_NE(pActor, nullptr);
    EXPECT_EQ(world.mode, WORLD_MODE_CINEMA);
    EXPECT_TRUE(g_done.empty());
    ASSERT_TRUE(Tick());
    // Taken over: the scene's handler, no collision, a wide radius.
    EXPECT_EQ(a->messagehandler, ActorObject::TakeOver_mh);
    EXPECT_EQ(b->messagehandler, ActorObject::TakeOver_mh);
    EXPECT_TRUE(a->flags & OBJF_NOCOLLISION);
    EXPECT_FALSE(a->flags & OBJF_FRAMECALL);
    EXPECT_FLOAT_EQ(a->radius, 1000.0f);
    EXPECT_EQ(GetCurrentCam(), &CinemaCamera);
    EXPECT_EQ(isCinemaRunning, 1);
    // The two blocks of 10 frames, then the end: about 20 frames.
    const int frames = RunToEnd();
    EXPECT_GE(frames, 18);
    EXPECT_LE(frames, 24);
    EXPECT_EQ(g_done.size(), 1u);
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
    EXPECT_EQ(a->messagehandler, Prop_mh);
    EXPECT_FLOAT_EQ(a->radius, 2.0f);
    EXPECT_TRUE(a->flags & OBJF_FRAMECALL);
    EXPECT_EQ(g_cinemaOver, 2);
    EXPECT_EQ(isCinemaRunning, 0);
    EXPECT_EQ(GetCurrentCam(), &g_DefaultCamera);
    // Event 134 of object 71: 130, then 131.
    EXPECT_EQ(g_objSpecials, std::vector<int>({130, 131}));
}

TEST_F(Cinema, ATwoBlockSceneEndsWhenItsAnimationLoops)
{
    Disc(Scene(2), false);
    Prop(71);
    Prop(72);
    ParseActorScript(kScene, nullptr);
    ASSERT_NE(pActor, nullptr);
    const int frames = RunToEnd();
    EXPECT_GE(frames, 9);
    EXPECT_LE(frames, 13);
    EXPECT_EQ(g_done.size(), 1u);
}

TEST_F(Cinema, CrossSkipsToTheFinalPosesAndTheSceneEndsAFrameLater)
{
    Disc(Scene(3));
    Prop(71);
    Prop(72);
    ParseActorScript(kScene, nullptr);
    ASSERT_TRUE(Tick());
    ASSERT_TRUE(Tick());
    controller[0].pad = 0x400000;
    ASSERT_TRUE(Tick());
    controller[0].pad = 0;
    ASSERT_NE(pActor, nullptr);
    EXPECT_TRUE(pActor->Aborted);
    // A second abort changes nothing.
    AbortCinematic();
    EXPECT_EQ(pActor->pCinCon->stage, CIN_STAGE_LOADFINALLOC);
    int posed = -1, n = 0;
    while (pActor != nullptr && n < 100) {
        Tick();
        n++;
        if (posed < 0 && pActor != nullptr && pActor->DoneFinalPose)
            posed = n;
    }
    ASSERT_GT(posed, 0);
    EXPECT_EQ(n, posed + 1);
    EXPECT_EQ(g_done.size(), 1u);
}

TEST_F(Cinema, ScenesThatCannotBePlayedEndAtOnceAndNeverCrash)
{
    // Past the table: nothing.
    Disc(Scene(3));
    ParseActorScript(NUM_CINEMATICS, nullptr);
    EXPECT_EQ(pActor, nullptr);
    EXPECT_TRUE(g_done.empty());
    EXPECT_STREQ(CineNames[kScene].CINFile, "M2\\M2_S4.CIN");
    EXPECT_STREQ(CineNames[33].VAGFile, "M3\\M3_S7.VB");
    // No such file: the scene ends before it starts, and the script is told.
    ParseActorScript(0, nullptr);
    EXPECT_EQ(pActor, nullptr);
    EXPECT_EQ(g_done.size(), 1u);
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
}

TEST_F(Cinema, TruncatedAndDamagedFilesEndTheirSceneOnce)
{
    const std::vector<u8> good = Scene(3);
    std::mt19937 rng(151);
    std::vector<std::vector<u8>> cases = {{}, std::vector<u8>(good.begin(), good.begin() + 12),
                                          std::vector<u8>(good.begin(), good.begin() + 40),
                                          std::vector<u8>(good.begin(), good.end() - 30)};
    for (int k = 0; k < 8; k++) {
        std::vector<u8> bad = good;
        for (int f = 0; f < 6; f++)
            bad[rng() % (k < 4 ? 64 : bad.size())] ^= u8(1u << (rng() % 8));
        cases.push_back(bad);
    }
    for (size_t c = 0; c < cases.size(); c++) {
        StreamSoundTest::TearDown();
        StreamSoundTest::SetUp();
        world.Clear();
        g_done.clear();
        Disc(cases[c], false);
        Object* a = Prop(71);
        ParseActorScript(kScene, nullptr);
        RunToEnd(200);
        EXPECT_EQ(pActor, nullptr) << "case " << c;
        EXPECT_EQ(g_done.size(), 1u) << "case " << c;
        EXPECT_EQ(world.mode, WORLD_MODE_NORMAL) << "case " << c;
        EXPECT_EQ(a->messagehandler, Prop_mh) << "case " << c;
    }
}

}  // namespace

namespace {

TEST_F(Cinema, TheSampleSceneCutsBetweenItsThreeShots)
{
    const std::vector<tools::NamedScene> scenes = tools::SampleScenes();
    ASSERT_EQ(scenes[0].path, "M2/M2_S4");
    std::vector<u8> cin;
    std::string error;
    ASSERT_TRUE(tools::WriteCinema(scenes[0].scene, cin, error)) << error;
    Disc(cin);
    Prop(-1);
    Prop(-2);
    ParseActorScript(kScene, nullptr);
    ASSERT_NE(pActor, nullptr);
    // The camera stands still within each 60-frame shot: at the writer's
    // three eye points in turn.
    const VectorPos eyes[3] = {VectorPos(1.4f, -0.55f, -2.6f), VectorPos(0.45f, -0.5f, -1.6f),
                               VectorPos(-0.35f, -0.5f, 1.1f)};
    std::vector<int> shotsSeen;
    for (int n = 0; n < 400 && Tick(); n++) {
        if (GetCurrentCam() != &CinemaCamera)
            continue;
        const Vector at = CinemaCamera.mat.w;
        for (int s = 0; s < 3; s++)
            if (fabsf(at[0] - eyes[s][0]) < 1e-3f && fabsf(at[1] - eyes[s][1]) < 1e-3f &&
                fabsf(at[2] - eyes[s][2]) < 1e-3f && (shotsSeen.empty() || shotsSeen.back() != s))
                shotsSeen.push_back(s);
    }
    EXPECT_EQ(shotsSeen, std::vector<int>({0, 1, 2}));
    EXPECT_EQ(g_done.size(), 1u);
}

}  // namespace
