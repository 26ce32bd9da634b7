// The player made from the sample disc: his model, his animation groups with
// their sound banks and his hand-held models read through the disc streamer
// into the registries, then the game controller's creation service making
// him by his kind name; he walks into a run, stops, and goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZevEngine2/PS2/soundstream_support.h"
#include "tools/lib/sampledisc.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

using tools::PakInputFile;

// The disc's files the player needs, from the whole sample disc made once.
const std::vector<PakInputFile>& PlayerDiscFiles()
{
    static const std::vector<PakInputFile> files = [] {
        std::vector<PakInputFile> all, keep;
        std::string error;
        EXPECT_TRUE(tools::SampleDiscFiles(all, error)) << error;
        for (PakInputFile& f : all) {
            const std::string& p = f.path;
            const bool player = p == "DemoData/Char/DACE.P2B" || p == "DemoData/Misc/DACEGUN3.P2B" ||
                                p == "DemoData/Misc/BADGE.P2B" || p == "DemoData/Misc/SIREN.P2B" ||
                                p.rfind("DemoData/Char/DACE", 0) == 0 || p.rfind("DemoData/Vags/DACE", 0) == 0 ||
                                p == "DemoData/Char/NPCDEF.ANI" || p == "DemoData/Vags/NPCDEF.SND";
            if (player)
                keep.push_back(std::move(f));
        }
        return keep;
    }();
    return files;
}

class PlayerFromDisc : public streamsound::StreamSoundTest
{
protected:
    Name kind{"Dace", int(reinterpret_cast<intptr_t>(&Dace::Dace_mh))};

    void SetUp() override
    {
        // The files are made on the host, before the machine starts and its
        // watchdog times the emulated processor: the first test to want them
        // waits for the whole sample disc.
        PlayerDiscFiles();
        StreamSoundTest::SetUp();
    }
    void TearDown() override
    {
        if (dace != nullptr)
            dace->Delete();
        dace = nullptr;
        world.placeholderlist.RemoveAll();
        world.Clear();
        SetCurrentCam(nullptr);
        if (Name::first == &kind)
            Name::first = kind.link;
        for (int slot = 0; slot < MFI_NUMSLOTS; slot++) {
            g_GlobalMFI.DeleteMF(slot, true);
            g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
            g_GlobalMFI.rgmfi[slot].i16Id = -1;
            g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
        }
        for (int i = 0; i < AGI_NUMSLOTS; i++) {
            g_GlobalAGI.DeleteAG(i);
            g_GlobalAGI.rgagi[i] = {nullptr, 0, 0, -1, false};
        }
        StreamSoundTest::TearDown();
    }
};

}  // namespace

TEST_F(PlayerFromDisc, MadeByTheControllerHeStandsOnTheDiscsAnimations)
{
    ASSERT_FALSE(PlayerDiscFiles().empty());
    Start(PlayerDiscFiles());
    vbcallbacks.vsynccount = 0;
    ASSERT_NE(g_GlobalMFI.LoadMF(48, "KORVALIS\\DemoData\\Char\\DACE.P2B", 0, 0), nullptr);
    ASSERT_NE(g_GlobalMFI.LoadMF(DaceBody::GunModelSlot, "KORVALIS\\DemoData\\Misc\\DACEGUN3.P2B", 0, 0), nullptr);
    ASSERT_NE(g_GlobalMFI.LoadMF(DaceBody::BadgeModelSlot, "KORVALIS\\DemoData\\Misc\\BADGE.P2B", 0, 0), nullptr);
    ASSERT_NE(g_GlobalMFI.LoadMF(DaceBody::SirenModelSlot, "KORVALIS\\DemoData\\Misc\\SIREN.P2B", 0, 0), nullptr);
    for (int g : {int(AnimGroup_NPCDefault), int(AnimGroup_DaceDefault), int(AnimGroup_DaceCombat),
                  int(AnimGroup_DaceGuns), int(AnimGroup_DaceCar)})
        ASSERT_NE(g_GlobalAGI.LoadAG(g, 0), nullptr) << g;

    world.Clear();
    world.playbackSpeed = 1.2f;
    world.time = 100;
    GameController* gc = gametest::Controller();
    gc->iFlags = 0;
    gametest::Lend<ObjectList> noList(gc->pobjectlist, nullptr);
    gametest::Lend<FadeScreen> noFade(gc->pfs, nullptr);
    controller[0].ZeroData();
    Object* ph = new Object;
    ph->id = -5;
    ph->mat = TransMatrix(-3.0f, 0.0f, 1.0f);
    world.placeholderlist.AddTail(ph);
    char name[] = "Dace";
    Object* made = gc->CreateCharacterAt(48, -1, -5, name, false);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(static_cast<Object*>(dace), made);
    EXPECT_EQ(made->messagehandler, &Dace::Dace_mh);
    EXPECT_EQ(GetCurrentCam(), dace->cam);
    EXPECT_NEAR(dace->GetWorldPos()[0], -3.0f, 1e-5f);
    ASSERT_NE(dace->anims, nullptr);
    for (u16 a : {PED_IDLE_ANI, PED_WALK_ANI, PED_RUN_ANI, PED_SPRINT_ANI})
        EXPECT_NE(dace->anims[a], nullptr) << a;
    ASSERT_NE(dace->lgun, nullptr);
    ASSERT_NE(dace->rgun, nullptr);

    // The controller's fist fight, then a plain walk: the player's task and
    // mode follow.
    SpecialMessage start(SMSG_MODE_START, nullptr, 4);
    dace->SendMessage(OM_SPECIAL, &start);
    EXPECT_EQ(dace->task, Task_Defeat);
    EXPECT_EQ(dace->mode, DACEMODE_FISTS);
    SpecialMessage walk(SMSG_PLAYER_GAMEPLAY_MODE, nullptr, 12, 1);
    dace->SendMessage(OM_SPECIAL, &walk);
    dace->SwitchToMode(DACEMODE_ONFOOT, true);
    EXPECT_EQ(dace->task, Task_Escape);

    // With the pad left alone he stands: each frame from the world's frame
    // calls plays the disc's idle or one of its fidgets, and his hand moves
    // with the clips.  (Walking and running from the pad are the on-foot
    // tests'.)
    const VectorPos hand0 = dace->rhand->GetWorldPos();
    bool moved = false;
    for (int i = 0; i < 120; i++) {
        world.Update();
        EXPECT_TRUE(dace->mode2 == PED_IDLE_ANI || (dace->mode2 >= 81 && dace->mode2 <= 84)) << dace->mode2;
        moved = moved || VectorDir(dace->rhand->GetWorldPos() - hand0).LengthSq() > 1e-6f;
    }
    EXPECT_TRUE(moved);
    EXPECT_EQ(dace->cam->target, static_cast<Object*>(dace));
}
