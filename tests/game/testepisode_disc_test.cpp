// The test episode's four records played on the sample disc from the
// program's start-up: the quick drive, the test room, the prop that blows up
// and the driving course.  Each finds every model it names on the disc and
// builds its level where its placeholders say.
#include "tests/game/disc_run_support.h"

#include <cstring>
#include "ee/video.h"
#include "host/headless/pad_script.h"
#include "tools/lib/sampledisc.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

int TestDamageable_mh(Object* o, OBJMESSAGE msg, void* data);

namespace {

constexpr int kTestEpisode = 0;

class TestEpisodeOnDisc : public discrun::DiscRun
{
protected:
    console::host::PadScriptInput pad;

    void TearDown() override
    {
        console::host::SetBackend(console::host::Backend{});
        DiscRun::TearDown();
    }
    // Starts the program on the sample disc at the test episode's record
    // (or another episode's), with the pad played from `script`.
    void Start(int record, const std::string& script = "", int episode = kTestEpisode)
    {
        std::string error;
        ASSERT_TRUE(pad.Parse(script, "test", &error)) << error;
        console::host::Backend backend;
        backend.input = &pad;
        console::host::SetBackend(backend);
        ASSERT_NO_FATAL_FAILURE(StartOnSampleDisc());
        StartRun(episode, record);
    }
    static bool Built() { return g_pgcTest->mode != 0 && dace != nullptr; }
    static Object* FindByHandler(OBJMESSAGEHANDLER mh)
    {
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList(); l = l->Next())
            if (l->data != nullptr && l->data->messagehandler == mh)
                return l->data;
        return nullptr;
    }
    // The model id a slot holds, -1 when it holds no loaded model.
    static int SlotId(int slot)
    {
        MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
        return mf != nullptr && mf->nodes != nullptr ? g_GlobalMFI.rgmfi[slot].i16Id : -1;
    }
    // The player sits in car 65 on its seat 116 (the car's node 0x8074).
    static void ExpectSeatedInCar65()
    {
        Object* root = dace->GetRoot();
        ASSERT_EQ(root->type, OBJT_VEHICLE);
        Vehicle* car = static_cast<Vehicle*>(root);
        EXPECT_EQ(car->id, 65);
        EXPECT_EQ(dace->car, car);
        const NODE* seat = car->FindNode(0x8074);
        ASSERT_NE(seat, nullptr);
        const VectorXYZ at = VectorXYZ(seat->Pos()) - VectorXYZ(car->vdCOGOffset);
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(dace->childpos[i], at[i], 1e-3f) << i;
    }
    static void ExpectNothingMissing()
    {
        const std::string out = console::ConsoleText();
        EXPECT_EQ(out.find("cannot be opened"), std::string::npos) << out;
        EXPECT_EQ(out.find("is not built"), std::string::npos) << out;
    }
};

// Record 0: the driving set is loaded (slots 5..7 the cars 27, 38, 37), car
// 65 stands on Elm Street at the default spot (0, 35) with the player in its
// driver's seat (116), and free driving (mode 99) runs with no controller.
TEST_F(TestEpisodeOnDisc, TheQuickDriveSeatsThePlayerInCar65AtTheDefaultSpot)
{
    ASSERT_NO_FATAL_FAILURE(Start(0));
    ASSERT_TRUE(FramesUntil(400, [] { return Built() && dace->parent != nullptr; }));
    EXPECT_EQ(g_pgcTest->mode, 99);
    EXPECT_EQ(g_pgcTest->pMission, nullptr);
    ASSERT_NO_FATAL_FAILURE(ExpectSeatedInCar65());
    Object* car = dace->GetRoot();
    EXPECT_NEAR(car->mat.w[0], 0.0f, 0.05f);
    EXPECT_NEAR(car->mat.w[2], 35.0f, 0.05f);
    EXPECT_NEAR(car->mat.w[1], -1.0f, 0.05f);   // on the road, 1 above the zero level
    EXPECT_EQ(SlotId(5), 27);
    EXPECT_EQ(SlotId(6), 38);
    EXPECT_EQ(SlotId(7), 37);
    ExpectNothingMissing();
}

// A program started in this process, played into the quick drive and ended
// gives the game's heap back whole: every block its start-up and its run took
// (the resident models, the vehicles' group and the cars read from it, the
// sky, the city, the fonts) is freed by the program's end.
TEST_F(TestEpisodeOnDisc, AProgramStartedPlayedAndEndedGivesTheHeapBack)
{
    const u32 freeBefore = heaptest::GameHeapFree();
    const int blocksBefore = heaptest::BlocksInUse();
    ASSERT_NO_FATAL_FAILURE(Start(0));
    ASSERT_NE(g_GlobalMFI.pmfgVehicles, nullptr);
    ASSERT_TRUE(FramesUntil(400, [] { return Built() && dace->parent != nullptr; }));
    EXPECT_LT(heaptest::GameHeapFree(), freeBefore);
    EndProgram();
    EXPECT_EQ(g_GlobalMFI.pmfgVehicles, nullptr);
    EXPECT_EQ(heaptest::BlocksInUse(), blocksBefore);
    EXPECT_EQ(heaptest::GameHeapFree(), freeBefore);
}

// A run that follows another is played as by a program just loaded: the
// points, shields and progress the last player earned are gone by its start.
TEST_F(TestEpisodeOnDisc, TheNextRunStartsWithNoneOfTheLastRunsPointsOrProgress)
{
    // Cross, pressed every few fields once the drive is built, skips the
    // closing cards of the run's end.
    std::string cards;
    for (int f = 420; f < 2400; f += 6)
        cards += "@" + std::to_string(f) + " pad0 press CROSS for 2\n";
    ASSERT_NO_FATAL_FAILURE(Start(0, cards));
    const sPlayerStats fresh = g_pgcTest->stats;
    ASSERT_EQ(fresh.nPoints, 0u);
    ASSERT_TRUE(FramesUntil(400, [] { return Built() && dace->parent != nullptr; }));

    g_pgcTest->AddPoints(350, nullptr);
    g_pgcTest->stats.nMissionComplete = 3;
    g_pgcTest->pmd->InitPoints(50, 3);
    g_pgcTest->SetTaskState(TNUM_M1_G2, TS_PASSED);
    g_pgcTest->SetEpisodeState(1, ES_OPEN);
    EndRun();
    StartRun(kTestEpisode, 0);

    EXPECT_EQ(std::memcmp(&g_pgcTest->stats, &fresh, sizeof fresh), 0);
    EXPECT_EQ(g_pgcTest->stats.nPoints, 0u);
    EXPECT_EQ(hudPoints.nPoints, 0);
    EXPECT_EQ(hudPoints.nShields, 0);
    EXPECT_EQ(g_pgcTest->GetTaskState(TNUM_M1_G2), TS_LOCKED);
    EXPECT_EQ(g_pgcTest->GetEpisodeState(1), ES_LOCKED);
}

// Record 1: the room's cast in slots 49..53 (162, 143, 83, 156, 156) with
// the fighting groups 10, 11, 14, 13 and 12, the player on foot in the room
// and the wander mode (7) running.
TEST_F(TestEpisodeOnDisc, TheTestRoomLoadsItsCastAndFightingStyles)
{
    ASSERT_NO_FATAL_FAILURE(Start(1));
    ASSERT_TRUE(FramesUntil(400, [] { return Built(); }));
    const int ids[] = {162, 143, 83, 156, 156};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(SlotId(49 + i), ids[i]) << "slot " << 49 + i;
    for (int group : {10, 11, 14, 13, 12})
        EXPECT_NE(g_GlobalAGI.GetAG(group), nullptr) << "group " << group;
    EXPECT_TRUE(g_pgcTest->bInterior);
    EXPECT_EQ(g_pgcTest->mode, 7);
    EXPECT_EQ(dace->parent, nullptr);
    ExpectNothingMissing();
}

// Record 2: the test prop stands 1.5625 ahead of the player and 0.3125 to
// his side; D-pad up (pressed once the room is long built) blows it up,
// which leaves nothing of it to draw.
TEST_F(TestEpisodeOnDisc, TheTestPropInFrontOfThePlayerBlowsUpOnThePadsUpButton)
{
    constexpr int kPress = 320;
    ASSERT_NO_FATAL_FAILURE(Start(2, "@" + std::to_string(kPress) + " pad0 press UP for 2\n"));
    ASSERT_TRUE(FramesUntil(400, [] { return Built() && FindByHandler(TestDamageable_mh) != nullptr; }));
    ASSERT_LT(console::FieldCount(), uint64_t(kPress));
    RCptr<Object> prop(FindByHandler(TestDamageable_mh));
    const VectorDir off(prop->mat.GetTrans() - dace->mat.GetTrans());
    EXPECT_NEAR(Dot(off, VectorDir(dace->mat.z.xyz())), 1.5625f, 0.01f);
    EXPECT_NEAR(Dot(off, VectorDir(dace->mat.x.xyz())), 0.3125f, 0.01f);
    EXPECT_EQ(g_pgcTest->mode, 7);
    while (console::FieldCount() < uint64_t(kPress) && prop->geom != nullptr)
        MainLoopFrame();
    EXPECT_NE(prop->geom, nullptr) << "blown up before the press";
    EXPECT_TRUE(FramesUntil(20, [&] { return prop->geom == nullptr; }));
    ExpectNothingMissing();
}

// Record 3: the course's cars 27, 38 and 37 in slots 5..7; the player at the
// wheel of car 65 at the course's spot (-900, on the street south of Elm
// Street), free driving.
TEST_F(TestEpisodeOnDisc, TheDrivingCourseSeatsThePlayerInCar65AtItsSpot)
{
    ASSERT_NO_FATAL_FAILURE(Start(3));
    ASSERT_TRUE(FramesUntil(400, [] { return Built() && dace->parent != nullptr; }));
    EXPECT_EQ(SlotId(5), 27);
    EXPECT_EQ(SlotId(6), 38);
    EXPECT_EQ(SlotId(7), 37);
    EXPECT_EQ(g_pgcTest->mode, 99);
    ASSERT_NO_FATAL_FAILURE(ExpectSeatedInCar65());
    Object* car = dace->GetRoot();
    EXPECT_NEAR(car->mat.w[0], 0.0f, 0.05f);
    EXPECT_NEAR(car->mat.w[2], -29.0f, 0.05f);
    EXPECT_NEAR(car->mat.w[1], -1.0f, 0.05f);
    ExpectNothingMissing();
}

// The bar (episode 2, record 6, Cross ending its continue card): the HUD is
// not drawn while the scene before the fight plays; the fight's start puts it
// up, at the front of the overlays.
TEST_F(TestEpisodeOnDisc, TheBarsSceneShowsNoHudUntilTheFightBegins)
{
    ASSERT_NO_FATAL_FAILURE(Start(6, "@300 pad0 press CROSS for 2\n", 2));
    auto hudUp = [] { return world.rawobjPostList.Find(g_pgcTest->pmd) != nullptr; };
    ASSERT_NE(g_pgcTest->pmd, nullptr);
    EXPECT_FALSE(hudUp());
    ASSERT_TRUE(FramesUntil(600, [] { return g_pgcTest->bCinematic; }));
    int sceneFields = 0;
    while (g_pgcTest->bCinematic && sceneFields < 600) {
        EXPECT_FALSE(hudUp()) << "scene field " << sceneFields;
        MainLoopFrame();
        sceneFields++;
    }
    EXPECT_GT(sceneFields, 60);
    ASSERT_TRUE(FramesUntil(120, hudUp));
    EXPECT_EQ(g_pgcTest->mode, 4);
    ASSERT_NE(g_pgcTest->pMission, nullptr);
    EXPECT_EQ(world.rawobjPostList.Head()->data, g_pgcTest->pmd);
    ExpectNothingMissing();
}

}  // namespace
