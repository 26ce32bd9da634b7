// The model-file and animation-group registries on a disc of generated files
// (the sample vehicle group, character models, an animation group with its
// sound bank), and the game controller's services over them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/soundstream_support.h"
#include "tools/lib/aniwrite.h"
#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"
#include "game/GameFlow.h"
#include "game/Mannequin.h"

namespace {

using streamsound::StreamSoundTest;

std::vector<u8> Written(const tools::P2BFile& f)
{
    std::vector<u8> out;
    std::string error;
    EXPECT_TRUE(tools::WriteP2B(f, out, error)) << error;
    return out;
}

// The vehicle group's two files.
struct GroupFiles
{
    std::vector<u8> dir, data;
};

GroupFiles SampleGroupFiles()
{
    tools::ModelGroup group;
    GroupFiles g;
    std::string error;
    EXPECT_TRUE(tools::SampleVehicleGroup(group, error)) << error;
    EXPECT_TRUE(tools::WriteModelGroup(group, g.dir, g.data, error)) << error;
    return g;
}

std::vector<u8> SampleAni()
{
    tools::AniStream s(ANIM_TYPE_POS);
    s.Vec(0, VectorXYZ(0, 0, 0)).Vec(10, VectorXYZ(1, 0, 0));
    tools::AniGroup g;
    g.chars.push_back({0, 10, 0, 0, 0, {{1, {s}}}});
    std::vector<u8> out;
    std::string error;
    EXPECT_TRUE(tools::WriteAni(g, out, error)) << error;
    return out;
}

std::vector<u8> SampleBank()
{
    tools::BankInput in;
    in.name = "thud";
    in.sound.samples = streamsound::Tune({200}, 2000, 22050);
    in.sound.rate = 22050;
    std::vector<u8> bank;
    std::string error;
    EXPECT_TRUE(tools::BuildSoundBank({in}, tools::BankLayout::kLayout1, 0, bank, error)) << error;
    return bank;
}

class Registries : public StreamSoundTest
{
protected:
    void TearDown() override
    {
        Reset();
        StreamSoundTest::TearDown();
    }

    // The disc: the vehicle group, the police model in both details, a model
    // file the loader refuses, and animation group 5 with its sound bank.
    std::vector<tools::PakInputFile> Files(const GroupFiles& g)
    {
        std::vector<u8> broken = Written(tools::SampleCubeFile());
        broken[0] = 0xFF;   // a block count far beyond the file
        return {{"DemoData/Veh/VEHICLES.EXP", g.dir, ""},
                {"DemoData/Veh/VEHICLES.EXM", g.data, ""},
                {"DemoData/Char/POLICEMN.P2B", Written(tools::SampleCubeFile()), ""},
                {"DemoData/Lreschar/POLICEMN.P2B", Written(tools::SampleArmFile()), ""},
                {"DemoData/Char/BUM.P2B", broken, ""},
                {"DemoData/Char/DACEDEF.ANI", SampleAni(), ""},
                {"DemoData/Vags/DACEDEF.SND", SampleBank(), ""}};
    }

    void StartDisc()
    {
        Start(Files(SampleGroupFiles()));
        // No vertical blanks here: the streamer then asks for the transfer's
        // progress on every poll, as it does between blanks.
        vbcallbacks.vsynccount = 0;
        freeAtStart = TotalFree();
    }

    // Both registries back to their state at construction, every block freed.
    static void Reset()
    {
        for (int slot = 0; slot < MFI_NUMSLOTS; slot++) {
            g_GlobalMFI.DeleteMF(slot, true);
            g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
            g_GlobalMFI.rgmfi[slot].i16Id = -1;
            g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
        }
        if (MdlFileGroup* g = g_GlobalMFI.pmfgVehicles) {
            free(g->rmfai);
            free(g->file);
            free(g);
            g_GlobalMFI.pmfgVehicles = nullptr;
        }
        for (int i = 0; i < AGI_NUMSLOTS; i++) {
            g_GlobalAGI.DeleteAG(i);
            g_GlobalAGI.rgagi[i] = {nullptr, 0, 0, -1, false};
        }
        StreamMdlFile::ForgetRefusals();
    }

    static int Refs(int slot) { return g_GlobalMFI.rgmfi[slot].smf.refs; }
    static int Flags(int slot) { return g_GlobalMFI.rgmfi[slot].i16Flags; }

    unsigned freeAtStart = 0;
};

std::string Console()
{
    return console::ConsoleText();
}

}  // namespace

TEST_F(Registries, VehicleMembersStreamInWithTheSharedTexturesAndTheirNodes)
{
    StartDisc();
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    MdlFileGroup* g = g_GlobalMFI.pmfgVehicles;
    ASSERT_NE(g, nullptr);
    const unsigned withGroup = TotalFree();
    EXPECT_EQ(g->i16NumMdlfiles, tools::kVehicleCount);
    EXPECT_EQ(g->i16NumTextures, tools::kVehicleSharedTextures);

    for (int id : {0, 12, 47}) {
        MDLFILE* mf = g_GlobalMFI.LoadMF(5, nullptr, id, 0);
        ASSERT_EQ(mf, &g_GlobalMFI.rgmfi[5].smf);
        ASSERT_TRUE(mf->HasData()) << id;
        // The member of that id: its body is as long as the writer made it.
        EXPECT_FLOAT_EQ(mf->GetModel(0)->boxextent.v[2], tools::SampleVehicleHalfLength(id));
        // Its textures are the group's: image pointers into the directory.
        for (int t = 0; t < tools::kVehicleSharedTextures; t++)
            EXPECT_EQ(mf->GetTexture(t)->data, g->textures[t].data);
        const NODE* body = mf->GetNode(tools::kVehBodyNode);
        for (int w = 0; w < 4; w++)
            EXPECT_NE(mf->FindNode1(body->child, u16(tools::kVehWheelMount + w)), nullptr);
        for (int loc : {tools::kVehGetInLeft, tools::kVehGetInRight, tools::kVehSeatLeft, tools::kVehSeatRight})
            EXPECT_NE(mf->FindNode1(body->child, u16(loc)), nullptr);
        Object* car = mf->GetHierarchy(tools::kVehBodyNode, sizeof(Object), 0);
        ASSERT_NE(car, nullptr);
        EXPECT_NE(car->collision, nullptr);
        EXPECT_NE(car->FindSubObject(tools::kVehDoorLeftId), nullptr);
        EXPECT_NE(car->FindSubObject(tools::kVehDoorRightId), nullptr);
        car->Delete();
    }
    // The slot's block was replaced twice: only the last one was held.
    g_GlobalMFI.DeleteMF(5, true);
    EXPECT_EQ(TotalFree(), withGroup);
}

TEST_F(Registries, SameIdReloadsNothingButRestartsTheCountAndReplacesTheFlags)
{
    StartDisc();
    MDLFILE* mf = g_GlobalMFI.LoadMF(60, "KORVALIS\\DemoData\\Char\\POLICEMN.P2B", 140, MFI_DELETEONZERO);
    ASSERT_TRUE(mf->HasData());
    const ModelHeader* block = mf->header;
    EXPECT_EQ(g_GlobalMFI.GetMF(60, true), mf);
    EXPECT_EQ(g_GlobalMFI.IncrementRef(mf), 2);
    const unsigned held = TotalFree();
    // Kept as it is: a second load of the id a slot holds restarts its count.
    EXPECT_EQ(g_GlobalMFI.LoadMF(60, "KORVALIS\\DemoData\\Char\\POLICEMN.P2B", 140, MFI_RECYCLE), mf);
    EXPECT_EQ(mf->header, block);
    EXPECT_EQ(TotalFree(), held);
    EXPECT_EQ(Refs(60), 0);
    EXPECT_EQ(Flags(60), MFI_RECYCLE);
    // Another id replaces the block; null name: the character file of the id.
    g_GlobalMFI.LoadMF(60, nullptr, 0x18C, 0);
    EXPECT_TRUE(mf->HasData());
    EXPECT_EQ(mf->NumNodes(), int(tools::SampleArmFile().nodes.size()));
    g_GlobalMFI.DeleteMF(60, true);
    EXPECT_EQ(TotalFree(), freeAtStart);
}

TEST_F(Registries, MirrorsShareVehicle27AndCountOnThemselves)
{
    StartDisc();
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    const unsigned withGroup = TotalFree();
    // Without vehicle 27 loaded a mirror has nothing.
    g_GlobalMFI.LoadMF(6, nullptr, 38, 0);
    EXPECT_EQ(g_GlobalMFI.GetMF(6, true), nullptr);
    EXPECT_EQ(Refs(6), 0);

    MDLFILE* v27 = g_GlobalMFI.LoadMF(3, nullptr, 27, 0);
    ASSERT_TRUE(v27->HasData());
    const unsigned with27 = TotalFree();
    EXPECT_EQ(g_GlobalMFI.LoadMF(4, nullptr, 37, 0), v27);
    EXPECT_EQ(TotalFree(), with27);   // nothing loaded for the mirror
    EXPECT_EQ(g_GlobalMFI.rgmfi[4].i16Mirror, 3);
    EXPECT_EQ(g_GlobalMFI.GetMF(4, true), v27);
    EXPECT_EQ(Refs(4), 1);
    EXPECT_EQ(Refs(3), 0);
    EXPECT_EQ(g_GlobalMFI.FindById(27, 0, 47), 3);
    // Deleting the mirror frees nothing and leaves vehicle 27 loaded.
    g_GlobalMFI.DeleteMF(4, true);
    EXPECT_EQ(TotalFree(), with27);
    EXPECT_TRUE(v27->HasData());
    EXPECT_EQ(g_GlobalMFI.GetID(4), -1);
    g_GlobalMFI.DeleteMF(3, true);
    EXPECT_EQ(TotalFree(), withGroup);
}

// A slot's size is the length of the file it loaded (for a mirror, of the
// mirrored one's): the bound of what its users read from the header.
TEST_F(Registries, ASlotsSizeIsTheLengthOfTheFileItHandsOut)
{
    StartDisc();
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    EXPECT_EQ(g_GlobalMFI.GetMFSize(60), 0u);
    g_GlobalMFI.LoadMF(60, "KORVALIS\\DemoData\\Char\\POLICEMN.P2B", 140, 0);
    EXPECT_EQ(g_GlobalMFI.GetMFSize(60), u32(Written(tools::SampleCubeFile()).size()));
    g_GlobalMFI.LoadMF(3, nullptr, 27, 0);
    g_GlobalMFI.LoadMF(4, nullptr, 37, 0);
    EXPECT_EQ(g_GlobalMFI.GetMFSize(3), u32(g_GlobalMFI.pmfgVehicles->rmfai[27].iLength));
    EXPECT_EQ(g_GlobalMFI.GetMFSize(4), g_GlobalMFI.GetMFSize(3));
    g_GlobalMFI.DeleteMF(3, true);
    EXPECT_EQ(g_GlobalMFI.GetMFSize(3), 0u);
    EXPECT_EQ(g_GlobalMFI.GetMFSize(4), 0u);
}

TEST_F(Registries, ReleasesFreeOnZeroAndNeverWrapTheCount)
{
    StartDisc();
    const char* name = "KORVALIS\\DemoData\\Char\\POLICEMN.P2B";
    // Unreferenced: freed at once, and the flag is not kept.
    g_GlobalMFI.LoadMF(70, name, 140, 0);
    EXPECT_TRUE(g_GlobalMFI.SetDeleteOnZeroFlag(70));
    EXPECT_FALSE(g_GlobalMFI.HasData(70));
    EXPECT_EQ(g_GlobalMFI.GetID(70), -1);
    EXPECT_EQ(TotalFree(), freeAtStart);

    // Referenced twice: the release that reaches 0 frees it.
    g_GlobalMFI.LoadMF(70, name, 140, 0);
    g_GlobalMFI.IncrementRef(70);
    g_GlobalMFI.IncrementRef(70);
    EXPECT_TRUE(g_GlobalMFI.SetDeleteOnZeroFlag(70));
    EXPECT_EQ(Flags(70), MFI_DELETEONZERO);
    EXPECT_EQ(g_GlobalMFI.DecrementRef(70), 1);
    EXPECT_TRUE(g_GlobalMFI.HasData(70));
    EXPECT_EQ(g_GlobalMFI.DecrementRef(70), 0);
    EXPECT_FALSE(g_GlobalMFI.HasData(70));
    EXPECT_EQ(g_GlobalMFI.DecrementRef(70), -1);
    EXPECT_EQ(TotalFree(), freeAtStart);

    // A release of an unreferenced slot leaves the count at 0.
    g_GlobalMFI.LoadMF(71, name, 140, 0);
    EXPECT_EQ(g_GlobalMFI.DecrementRef(71), 0);
    EXPECT_EQ(g_GlobalMFI.IncrementRef(71), 1);

    // Deleteable slots go at the next sweep; DeleteMF(now) keeps only the
    // recycling mark.
    g_GlobalMFI.LoadMF(72, name, 140, MFI_RECYCLE | MFI_DELETEONZERO);
    g_GlobalMFI.DeleteMF(71, false);
    EXPECT_EQ(g_GlobalMFI.ClearDeleteableMF(), 0);
    EXPECT_FALSE(g_GlobalMFI.HasData(71));
    EXPECT_TRUE(g_GlobalMFI.HasData(72));
    g_GlobalMFI.DeleteMF(72, true);
    EXPECT_EQ(Flags(72), MFI_RECYCLE);
    EXPECT_EQ(TotalFree(), freeAtStart);
}

// A frame chain sends a model's call lists and vertex data by reference and
// is read by DMA after the game has moved on: a model given up while the
// frame being built, or the one waiting to be drawn, may still read it keeps
// its block until both have been drawn (a block freed at once was written
// over and the chain fed the new bytes to the vector unit as commands).
TEST_F(Registries, AModelGivenUpWhileAFrameMayReadItIsFreedOnceThatFrameIsDrawn)
{
    StartDisc();
    const char* name = "KORVALIS\\DemoData\\Char\\POLICEMN.P2B";
    VBFlip& flip = platformps2.vbflip;
    const int fill = flip.iFillBuff, disp = flip.iDispBuff;
    const bool filling = flip.filling, used0 = flip.used[0], used1 = flip.used[1], flipEnabled = flip.bFlipEnabled;
    auto drawn = [&](int chain) {   // the chain's end interrupt
        flip.iDispBuff = 1 - chain;
        flip.GSDone();
    };

    // A frame is being built (chain 0) while chain 1 waits to be drawn.
    g_GlobalMFI.LoadMF(70, name, 140, 0);
    flip.iFillBuff = 0;
    flip.filling = true;
    flip.used[0] = false;
    flip.used[1] = true;
    const void* block = g_GlobalMFI.rgmfi[70].smf.header;
    const u32 size = g_GlobalMFI.rgmfi[70].smf.length;
    ASSERT_NE(block, nullptr);
    g_GlobalMFI.DeleteMF(70, true);
    EXPECT_FALSE(g_GlobalMFI.HasData(70));   // gone for the game at once
    // ... but its block is held: a new block of its size lies elsewhere.
    void* other = malloc(size);
    EXPECT_NE(other, block);
    free(other);
    // A model file read whole (a fight's own models) is held the same way.
    MDLFILE* whole = LoadWholeModel(name);
    ASSERT_NE(whole, nullptr);
    FreeLoadedModel(whole);
    EXPECT_EQ(whole, nullptr);
    EXPECT_EQ(g_GlobalMFI.ReleaseRetired(), 2);
    drawn(1);
    EXPECT_EQ(g_GlobalMFI.ReleaseRetired(), 2);
    // The frame is closed, then drawn: the blocks go.
    flip.filling = false;
    flip.used[0] = true;
    flip.iFillBuff = 1;
    EXPECT_EQ(g_GlobalMFI.ReleaseRetired(), 2);
    drawn(0);
    g_GlobalMFI.Update();
    EXPECT_EQ(g_GlobalMFI.ReleaseRetired(), 0);

    // Between frames, with nothing waiting to be drawn, they go at once.
    g_GlobalMFI.LoadMF(70, name, 140, 0);
    g_GlobalMFI.DeleteMF(70, true);
    whole = LoadWholeModel(name);
    FreeLoadedModel(whole);
    EXPECT_EQ(g_GlobalMFI.ReleaseRetired(), 0);

    flip.iFillBuff = fill;
    flip.iDispBuff = disp;
    flip.filling = filling;
    flip.used[0] = used0;
    flip.used[1] = used1;
    flip.bFlipEnabled = flipEnabled;
}

TEST_F(Registries, FindByIdSkipsDeleteableAndRecycledSlotsAndGetIndexOnlySlots)
{
    StartDisc();
    const char* name = "KORVALIS\\DemoData\\Char\\POLICEMN.P2B";
    for (int slot : {90, 91, 92, 93})
        g_GlobalMFI.LoadMF(slot, name, 140, 0);
    g_GlobalMFI.DeleteMF(90, false);                                          // deleteable
    g_GlobalMFI.rgmfi[91].i16Flags = MFI_DELETEONZERO | MFI_RECYCLE;          // given up
    g_GlobalMFI.rgmfi[92].i16Flags = MFI_RECYCLE;
    EXPECT_EQ(g_GlobalMFI.FindById(140, 90, 93), 92);
    EXPECT_EQ(g_GlobalMFI.FindById(140, 90, 91), -1);
    EXPECT_EQ(g_GlobalMFI.FindById(141, 0, 255), -1);

    EXPECT_EQ(g_GlobalMFI.GetIndex(&g_GlobalMFI.rgmfi[93].smf), 93);
    EXPECT_EQ(g_GlobalMFI.GetIndex(&g_GlobalMFI.rgmfi[255].smf), 255);
    const MDLFILE* inside = reinterpret_cast<const MDLFILE*>(reinterpret_cast<const u8*>(&g_GlobalMFI.rgmfi[3]) + 4);
    EXPECT_EQ(g_GlobalMFI.GetIndex(inside), -1);
    MDLFILE other{};
    EXPECT_EQ(g_GlobalMFI.GetIndex(&other), -1);
    EXPECT_EQ(g_GlobalMFI.IncrementRef(&other), -1);
}

TEST_F(Registries, AssetsLoadWhilePolledAndFailedOpensLeaveEmptySlots)
{
    StartDisc();
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    const unsigned withGroup = TotalFree();
    // Started by the first call, done after some polls.
    EXPECT_FALSE(g_GlobalMFI.CheckAssetLoaded(100, 140, nullptr));
    EXPECT_EQ(g_GlobalMFI.GetExtra(100), 0);
    EXPECT_EQ(g_GlobalMFI.GetMF(100, false), nullptr);   // not handed out while arriving
    // Polled once a frame, as the controller does every fourth.
    int frames = 0;
    while (!g_GlobalMFI.CheckAssetLoaded(100, 140, nullptr) && frames < 60) {
        Frame([] { g_GlobalMFI.Update(); });
        frames++;
    }
    vbcallbacks.vsynccount = 0;
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 60);
    ASSERT_NE(g_GlobalMFI.GetMF(100, false), nullptr);
    EXPECT_TRUE(g_GlobalMFI.GetMF(100, false)->HasData());
    EXPECT_TRUE(g_GlobalMFI.CheckAssetLoaded(-1, 0, nullptr));

    // A missing file, a member past the group's end and a file the model
    // check refuses: each a failed open, reported once, its block freed.
    console::ClearConsoleText();
    const unsigned before = TotalFree();
    for (int i = 0; i < 30; i++) {
        Frame([] {
            EXPECT_FALSE(g_GlobalMFI.CheckAssetLoaded(101, 87, nullptr));   // BIKER.P2B is not there
            EXPECT_FALSE(g_GlobalMFI.CheckAssetLoaded(102, 94, nullptr));   // BUM.P2B is broken
            EXPECT_FALSE(g_GlobalMFI.CheckAssetLoaded(7, 48, nullptr));     // 48 members: 0..47
            g_GlobalMFI.Update();
        });
    }
    vbcallbacks.vsynccount = 0;
    EXPECT_EQ(streamtest::CountOf(Console(), "BIKER.P2B cannot be opened"), 1u) << Console();
    EXPECT_EQ(streamtest::CountOf(Console(), "is dropped"), 1u) << Console();
    EXPECT_EQ(streamtest::CountOf(Console(), "has no member 48"), 1u) << Console();
    for (int slot : {101, 102, 7}) {
        EXPECT_FALSE(g_GlobalMFI.HasData(slot));
        EXPECT_EQ(g_GlobalMFI.rgmfi[slot].smf.streamnum, -2);
    }
    EXPECT_EQ(TotalFree(), before);
    // The same through LoadMF: the slot is stamped and has no data.
    EXPECT_NE(g_GlobalMFI.LoadMF(103, nullptr, 94, 1), nullptr);
    EXPECT_EQ(g_GlobalMFI.GetID(103), 94);
    EXPECT_EQ(g_GlobalMFI.GetMF(103, true), nullptr);
    g_GlobalMFI.DeleteMF(100, true);
    EXPECT_EQ(TotalFree(), withGroup);
}

TEST_F(Registries, NoMemoryForTheBlockClosesTheStream)
{
    StartDisc();
    // Take the heap until no block of the model's size is left.
    std::vector<void*> taken;
    for (size_t size = size_t(1) << 26; size >= 1024; size /= 2)
        while (void* p = malloc(size))
            taken.push_back(p);
    const int streams = numvfdsallocated;
    StreamMdlFile smf;
    EXPECT_EQ(smf.Get("KORVALIS\\DemoData\\Char\\POLICEMN.P2B", true), -2);
    EXPECT_EQ(smf.streamnum, -2);
    EXPECT_EQ(numvfdsallocated, streams);
    for (void* p : taken)
        free(p);
    EXPECT_EQ(smf.Get("KORVALIS\\DemoData\\Char\\POLICEMN.P2B", true), 0);
    EXPECT_TRUE(smf.HasData());
    free(smf.header);
}

TEST_F(Registries, AnimationGroupsCountLoadsAndKeepTheirSoundBank)
{
    StartDisc();
    const int banks = sound.GetNumBanksLoaded();
    AnimGroup* pag = g_GlobalAGI.LoadAG(AnimGroup_DaceDefault, 0);
    ASSERT_NE(pag, nullptr);
    EXPECT_EQ(pag->count, 1);
    const int bank = g_GlobalAGI.GetSoundBank(AnimGroup_DaceDefault);
    EXPECT_GE(bank, 0);
    EXPECT_EQ(sound.GetNumBanksLoaded(), banks + 1);
    // A second load: the same group, one more load counted, flags replaced.
    EXPECT_EQ(g_GlobalAGI.LoadAG(AnimGroup_DaceDefault, AGI_DELETEONZERO), pag);
    EXPECT_EQ(g_GlobalAGI.GetAGI(AnimGroup_DaceDefault).refs, 1);
    EXPECT_EQ(g_GlobalAGI.GetAGI(AnimGroup_DaceDefault).i16Flags, AGI_DELETEONZERO);
    EXPECT_EQ(g_GlobalAGI.GetIndex(pag), AnimGroup_DaceDefault);
    // The release to 0 frees the group, keeping its bank for the next load.
    EXPECT_EQ(g_GlobalAGI.DecrementRef(pag), 0);
    EXPECT_EQ(g_GlobalAGI.GetAG(AnimGroup_DaceDefault), nullptr);
    EXPECT_EQ(g_GlobalAGI.DecrementRef(AnimGroup_DaceDefault), -1);
    ASSERT_NE(g_GlobalAGI.LoadAG(AnimGroup_DaceDefault, AGI_PERMANENT), nullptr);
    EXPECT_EQ(g_GlobalAGI.GetSoundBank(AnimGroup_DaceDefault), bank);
    EXPECT_EQ(sound.GetNumBanksLoaded(), banks + 1);
    // At 0 a release leaves 0; the teardown sweep keeps permanent groups.
    EXPECT_EQ(g_GlobalAGI.DecrementRef(AnimGroup_DaceDefault), 0);
    EXPECT_EQ(g_GlobalAGI.ClearNonPermanentAG(), 0);
    EXPECT_NE(g_GlobalAGI.GetAG(AnimGroup_DaceDefault), nullptr);
    g_GlobalAGI.GetAGI(AnimGroup_DaceDefault).i16Flags = AGI_DELETEABLE;
    EXPECT_EQ(g_GlobalAGI.ClearDeleteableAG(), 0);
    EXPECT_EQ(g_GlobalAGI.GetAG(AnimGroup_DaceDefault), nullptr);
    EXPECT_EQ(TotalFree(), freeAtStart);
    // Unnamed slots and a missing file load nothing.
    EXPECT_EQ(g_GlobalAGI.LoadAG(24, 0), nullptr);
    EXPECT_EQ(g_GlobalAGI.LoadAG(AnimGroup_Mutant, 0), nullptr);
    EXPECT_STREQ(GlobalAGI::GetAnimGroupBaseFileName(AnimGroup_NPCPedHomie), "NPCPHOBO");
    EXPECT_STREQ(GlobalAGI::GetAnimGroupBaseFileName(AnimGroup_NPCPedHobo), "NPCPHOM");
}

TEST(ModelFileNames, CharacterIdsNameTheirFilesInBothDetails)
{
    char buf[64];
    EXPECT_STREQ(GetModelFileName(0x18C, buf), "KORVALIS\\DemoData\\Lreschar\\POLICEMN.P2B");
    EXPECT_STREQ(GetModelFileName(140, buf), "KORVALIS\\DemoData\\Char\\POLICEMN.P2B");
    EXPECT_STREQ(GetModelFileName(64, buf), "KORVALIS\\DemoData\\Char\\DACE.P2B");
    EXPECT_STREQ(GetModelFileName(166, buf), "KORVALIS\\DemoData\\Char\\WRESTLER.P2B");
    EXPECT_STREQ(GetModelFileName(65, buf), "KORVALIS\\DemoData\\Char\\CHR065.P2B");
    EXPECT_EQ(GetModelFileName(63, buf), nullptr);
    EXPECT_EQ(GetModelFileName(167, buf), nullptr);
    // The ambient pedestrians' ids name the low-detail versions of their
    // own files.
    const char* peds[] = {"ASIANPOP", "BUM", "BSNSMAN", "GANGSTA", "GARDDLVR", "GRANDPA", "HOOKER", "MRKTNGGY",
                          "UPSCLWMN"};
    for (int i = 0; i < NUM_AMBPEDS; i++)
        EXPECT_STREQ(GetModelFileName(rgmfliAmbPedsBase[i].i16ModelID, buf),
                     ("KORVALIS\\DemoData\\Lreschar\\" + std::string(peds[i]) + ".P2B").c_str());
    // Every id 64..166 has its row, so the search finds each.
    for (int id = 64; id <= 166; id++)
        EXPECT_NE(GetModelFileName(id, buf), nullptr) << id;
}

// ---------------------------------------------------------------------------
// The game controller's services

namespace {

class ControllerSlots : public Registries
{
protected:
    void SetUp() override
    {
        Registries::SetUp();
        StartDisc();
        g_GlobalMFI.LoadVehicleMdlFileGroup();
        ASSERT_NE(g_GlobalMFI.pmfgVehicles, nullptr);
    }

    // The ambient car models present in slots 1..7, each once at most.
    static std::vector<int> CarModels()
    {
        std::vector<int> ids;
        for (int slot = 1; slot <= 7; slot++)
            if (g_GlobalMFI.HasData(slot))
                ids.push_back(g_GlobalMFI.GetID(slot));
        return ids;
    }

    GameController gc;
};

bool IsAmbientCar(int id)
{
    for (const ModelFileLoadInfo& r : rgmfliAmbCarsBase)
        if (r.i16ModelID == id)
            return true;
    return false;
}

}  // namespace

// The player's gun model follows the gun challenge: a change between two
// loads of the same episode swaps slot 160 for the challenge's gun file at
// once; no change loads nothing; a challenge without a gun leaves the slot
// empty.
TEST_F(Registries, AGunChallengeChangeReloadsTheGunSlotWithinTheEpisode)
{
    const std::vector<u8> cube = Written(tools::SampleCubeFile()), arm = Written(tools::SampleArmFile());
    ASSERT_NE(cube.size(), arm.size());
    Start({{"DemoData/Misc/DACEGUN1.P2B", cube, ""}, {"DemoData/Misc/DACEGUN2.P2B", arm, ""}});
    vbcallbacks.vsynccount = 0;
    GameController::ForgetMissionFile();
    GameController gc;
    constexpr int kNoEpisode = -5;   // an episode without a placement file
    gc.stats.curGunChallenge = 0;
    gc.LoadMissionFile(kNoEpisode);
    g_GlobalMFI.LoadMF(160, "KORVALIS\\DemoData\\Misc\\DACEGUN1.P2B", 0, 0);
    ASSERT_EQ(g_GlobalMFI.GetMFSize(160), u32(cube.size()));

    gc.stats.curGunChallenge = 1;
    EXPECT_FALSE(gc.LoadMissionFile(kNoEpisode));   // the same episode
    EXPECT_EQ(g_GlobalMFI.GetMFSize(160), u32(arm.size()));
    const MDLFILE* second = g_GlobalMFI.GetMF(160, false);
    EXPECT_FALSE(gc.LoadMissionFile(kNoEpisode));
    EXPECT_EQ(g_GlobalMFI.GetMF(160, false), second);   // unchanged: not loaded again

    gc.stats.curGunChallenge = 0;
    gc.LoadMissionFile(kNoEpisode);
    EXPECT_EQ(g_GlobalMFI.GetMFSize(160), u32(cube.size()));
    gc.stats.curGunChallenge = 7;
    gc.LoadMissionFile(kNoEpisode);
    EXPECT_EQ(g_GlobalMFI.GetMFSize(160), 0u);
    GameController::ForgetMissionFile();
}

TEST_F(ControllerSlots, FreeUpAmbientVehicleSlotTakesTheLeastUsedOrAnEmptySlot)
{
    for (int slot = 1; slot <= 4; slot++)
        gc.LoadMDLFile(nullptr, slot, slot, 0);
    const int refs[] = {3, 1, 1, 2};
    for (int slot = 1; slot <= 4; slot++)
        for (int r = 0; r < refs[slot - 1]; r++)
            g_GlobalMFI.IncrementRef(slot);
    // The first of the least used, kept until its last user lets go.
    EXPECT_EQ(gc.FreeUpAmbientVehicleSlot(), 2);
    EXPECT_EQ(Flags(2), MFI_DELETEONZERO | MFI_RECYCLE);
    EXPECT_TRUE(g_GlobalMFI.HasData(2));
    EXPECT_EQ(g_GlobalMFI.DecrementRef(2), 0);
    EXPECT_FALSE(g_GlobalMFI.HasData(2));
    EXPECT_EQ(Flags(2), MFI_RECYCLE);

    // Slot 2 is reserved now; an empty slot 3 beats the loaded ones.
    g_GlobalMFI.DeleteMF(3, true);
    EXPECT_EQ(gc.FreeUpAmbientVehicleSlot(), 3);
    // With every slot given up or held for deletion on zero: none.
    g_GlobalMFI.GetMFI(1).i16Flags |= MFI_DELETEONZERO;
    g_GlobalMFI.GetMFI(4).i16Flags |= MFI_RECYCLE;
    EXPECT_EQ(gc.FreeUpAmbientVehicleSlot(), -1);
}

TEST_F(ControllerSlots, AmbientFillsNeverLoadOneModelTwice)
{
    srand(7);
    gc.LoadFillAmbientCars();
    std::vector<int> first = CarModels();
    EXPECT_EQ(first.size(), 4u);
    for (int slot = 1; slot <= 4; slot++) {
        EXPECT_TRUE(IsAmbientCar(g_GlobalMFI.GetID(slot))) << slot;
        EXPECT_EQ(g_GlobalMFI.GetExtra(slot), [&] {
            for (const ModelFileLoadInfo& r : rgmfliAmbCarsBase)
                if (r.i16ModelID == g_GlobalMFI.GetID(slot))
                    return int(r.i16Extra);
            return -1;
        }());
    }
    // Slots 1..4 full: a second fill changes nothing.
    gc.LoadFillAmbientCars();
    EXPECT_EQ(CarModels(), first);
    // Two slots given up and emptied: the refill takes the two models not
    // present, never one already in a slot.
    for (int slot : {1, 3}) {
        g_GlobalMFI.DeleteMF(slot, true);
    }
    gc.LoadFillAmbientCars();
    std::vector<int> second = CarModels();
    std::sort(second.begin(), second.end());
    EXPECT_EQ(std::unique(second.begin(), second.end()), second.end());
    EXPECT_EQ(second.size(), 4u);

    // With all six ambient models already in slots 1..7 nothing loads.
    for (int slot = 1; slot <= 7; slot++)
        g_GlobalMFI.DeleteMF(slot, true);
    for (int i = 0; i < NUM_AMBCARS; i++)
        gc.LoadMDLFile(nullptr, 2 + i, rgmfliAmbCarsBase[i].i16ModelID, 0);
    const unsigned full = TotalFree();
    gc.LoadFillAmbientCars();
    EXPECT_FALSE(g_GlobalMFI.HasData(1));
    EXPECT_EQ(TotalFree(), full);
}

TEST_F(ControllerSlots, PedestrianFillsUseEachPedestrianOnceAndTheCarLoadFollowsThePlayersCar)
{
    // Only the police model is on this disc: the pedestrian fill is told
    // apart by the ids it stamps, each of the table once.
    srand(3);
    gc.LoadFillAmbientPeds();
    std::vector<int> ids;
    for (int slot = 80; slot <= 84; slot++)
        ids.push_back(g_GlobalMFI.GetID(slot));
    // Files that are not there leave the slots empty, so each fill may pick
    // again; the stamped ids of one fill are distinct table rows.
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
    for (int id : ids) {
        bool found = false;
        for (const ModelFileLoadInfo& r : rgmfliAmbPedsBase)
            found |= r.i16ModelID == id;
        EXPECT_TRUE(found) << id;
    }

    gc.i16CurrentDaceCar = 9;
    gc.LoadDaceCarMDLFile(nullptr, 5, 12, 4);
    EXPECT_EQ(g_GlobalMFI.GetID(5), 9);
    EXPECT_EQ(g_GlobalMFI.GetExtra(5), 4);
    gc.i16CurrentDaceCar = -1;
    gc.LoadDaceCarMDLFile(nullptr, 5, 12, 4);
    EXPECT_EQ(g_GlobalMFI.GetID(5), 12);
    EXPECT_FLOAT_EQ(g_GlobalMFI.GetMF(5, false)->GetModel(0)->boxextent.v[2], tools::SampleVehicleHalfLength(12));
    gc.DestroyMDLFile(256 + 5, true);
    EXPECT_FALSE(g_GlobalMFI.HasData(5));
}

TEST(GameControllerSpots, HealthSpotsAndVenuesMatchWithinTheSameSpotDistance)
{
    GameController gc;
    VectorPos a(10, 0, 5), b(20, 0, 5), c(30, 0, 5);
    EXPECT_EQ(gc.AddHealthLocation(a), 0);
    EXPECT_EQ(gc.AddHealthLocation(b), 1);
    EXPECT_EQ(gc.AddHealthLocation(c), 2);
    // Removing the middle one moves the last into its place.
    VectorPos nearB(20.03f, 0, 5), farB(20.05f, 0, 5);
    EXPECT_EQ(gc.RemoveHealthLocation(farB), -1);
    EXPECT_EQ(gc.RemoveHealthLocation(nearB), 1);
    EXPECT_EQ(gc.rvHealthLocations[1].v[0], 30.0f);
    EXPECT_EQ(gc.rvHealthLocations[2].v[3], 0.0f);
    EXPECT_EQ(gc.RemoveHealthLocation(b), -1);
    for (int i = 2; i < iMaxHealthLocations; i++)
        EXPECT_EQ(gc.AddHealthLocation(a), i);
    EXPECT_EQ(gc.AddHealthLocation(a), -1);   // a 13th
    EXPECT_EQ(gc.rvHealthLocations[11].v[3], 1.0f);

    // A new venue gets the first free level; a recorded one its own.
    VectorPos p(1, 2, 3), q(4, 5, 6);
    EXPECT_EQ(gc.GetDojo247LevelNumber(p), 0);
    EXPECT_EQ(gc.SetDojo247LevelNumber(p, 0), 0);
    EXPECT_EQ(gc.GetDojo247LevelNumber(p), 0);
    EXPECT_EQ(gc.GetDojo247LevelNumber(q), 1);
    VectorPos near(1, 2, 3.03f), far(1, 2, 3.05f);
    EXPECT_EQ(gc.GetDojo247LevelNumber(near), 0);
    EXPECT_EQ(gc.GetDojo247LevelNumber(far), 1);
    for (int i = 0; i < iMaxDojo247Levels; i++)
        gc.SetDojo247LevelNumber(q, i);
    EXPECT_EQ(gc.GetDojo247LevelNumber(p), 9);   // all taken, none matches: the last
    EXPECT_EQ(gc.SetDojo247LevelNumber(p, 10), -1);
    // The other two tables are apart from the dojo's and end at 6 and 8.
    EXPECT_EQ(gc.GetFRange247LevelNumber(q), 0);
    for (int i = 0; i < iMaxFRange247Levels; i++)
        gc.SetFRange247LevelNumber(q, i);
    EXPECT_EQ(gc.GetFRange247LevelNumber(p), 6);
    for (int i = 0; i < iMaxRace247Levels; i++)
        gc.SetRace247LevelNumber(q, i);
    EXPECT_EQ(gc.GetRace247LevelNumber(p), 8);
    EXPECT_EQ(gc.GetRace247LevelNumber(q), 0);
}

// ---------------------------------------------------------------------------
// Malformed vehicle groups

namespace {

// The directory in a 64-byte aligned heap block, as the file loader leaves it.
struct Loaded
{
    LayoutFile* file;
    u32 size;
    explicit Loaded(const std::vector<u8>& bytes)
        : file(static_cast<LayoutFile*>(malloc_align((bytes.size() + 63) | 63, 64))), size(u32(bytes.size()))
    {
        memcpy(file, bytes.data(), bytes.size());
        if (size >= sizeof(LayoutFile))
            file->blockCount = 6;
    }
    ~Loaded() { free(file); }
};

u32 Word(const std::vector<u8>& v, size_t at)
{
    u32 w;
    memcpy(&w, v.data() + at, 4);
    return w;
}

void SetWord(std::vector<u8>& v, size_t at, u32 w)
{
    memcpy(v.data() + at, &w, 4);
}

// Where the member table lies in the sample directory (descriptor 1).
size_t MemberTable(const std::vector<u8>& dir)
{
    return Word(dir, 4 + 8 * 1 + 4);
}

// A directory Check accepted makes a group whose members lie inside the
// data file and whose texture images inside the directory.
void ExpectSoundGroup(Loaded& l, u32 dataSize)
{
    MdlFileGroup g(l.file, "data");
    for (int i = 0; i < g.i16NumMdlfiles; i++) {
        ASSERT_GT(g.rmfai[i].iLength, 0);
        ASSERT_LE(u32(g.rmfai[i].iOffset) + u32(g.rmfai[i].iLength), dataSize);
    }
    for (int t = 0; t < g.i16NumTextures; t++) {
        const uintptr_t image = uintptr_t(g.textures[t].data);
        ASSERT_GE(image, uintptr_t(l.file));
        ASSERT_LT(image, uintptr_t(l.file) + l.size);
    }
    free(g.rmfai);
}

}  // namespace

TEST(VehicleGroupCheck, MalformedDirectoriesAreRefusedAndFuzzedOnesNeverReachOutside)
{
    const GroupFiles g = SampleGroupFiles();
    const u32 dataSize = u32(g.data.size());
    {
        Loaded l(g.dir);
        ASSERT_TRUE(MdlFileGroup::Check(l.file, l.size, dataSize, "sample"));
        ExpectSoundGroup(l, dataSize);
    }
    const size_t table = MemberTable(g.dir);
    struct Case
    {
        const char* what;
        std::vector<u8> dir;
        const char* says;
    };
    std::vector<Case> cases;
    auto with = [&](const char* what, const char* says, auto change) {
        std::vector<u8> d = g.dir;
        change(d);
        cases.push_back({what, d, says});
    };
    with("offsets not ascending", "not after member", [&](std::vector<u8>& d) { SetWord(d, table + 4 * 5, Word(d, table + 4 * 4)); });
    with("members past the data file", "past the", [&](std::vector<u8>& d) { SetWord(d, table + 4 * 48, dataSize + 16); });
    with("member table outside the file", "does not lie inside", [&](std::vector<u8>& d) { SetWord(d, 16, u32(d.size() - 8)); });
    with("block outside the file", "outside the file", [&](std::vector<u8>& d) { SetWord(d, 8, u32(d.size()) + 64); });
    with("textures over the member table", "refused", [&](std::vector<u8>& d) { SetWord(d, 8, u32(table & ~size_t(15))); });
    with("no member table", "no member table", [&](std::vector<u8>& d) { d[12] = 0xFF; d[13] = 0xFF; });
    with("cut short", "shorter than", [&](std::vector<u8>& d) { d.resize(40); });
    for (const Case& c : cases) {
        console::ClearConsoleText();
        Loaded l(c.dir);
        EXPECT_FALSE(MdlFileGroup::Check(l.file, l.size, dataSize, "fuzzed")) << c.what;
        EXPECT_NE(console::ConsoleText().find(c.says), std::string::npos) << c.what << ": " << console::ConsoleText();
    }

    // Random damage: whatever is accepted stays inside its files.
    std::mt19937 rng(22);
    int accepted = 0;
    for (int round = 0; round < 3000; round++) {
        std::vector<u8> d = g.dir;
        const int flips = 1 + int(rng() % 6);
        for (int f = 0; f < flips; f++) {
            // Mostly the directory and the member table, where offsets live.
            const size_t at = rng() % 2 ? rng() % 64 : rng() % 2 ? table + rng() % (4 * 49) : rng() % d.size();
            d[at % d.size()] ^= u8(1u << (rng() % 8));
        }
        if (rng() % 16 == 0)
            d.resize(rng() % d.size());
        Loaded l(d);
        if (MdlFileGroup::Check(l.file, l.size, dataSize, "fuzzed")) {
            accepted++;
            ExpectSoundGroup(l, dataSize);
        }
    }
    EXPECT_GT(accepted, 0);
    console::ClearConsoleText();
}

TEST_F(Registries, MalformedDirectoryOnTheDiscLeavesNoGroup)
{
    GroupFiles g = SampleGroupFiles();
    SetWord(g.dir, MemberTable(g.dir) + 4 * 48, u32(g.data.size()) + 4096);
    Start(Files(g));
    vbcallbacks.vsynccount = 0;
    const unsigned before = TotalFree();
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    EXPECT_EQ(g_GlobalMFI.pmfgVehicles, nullptr);
    EXPECT_NE(console::ConsoleText().find("there are no vehicles"), std::string::npos);
    EXPECT_EQ(TotalFree(), before);
    // Vehicle slots then load nothing, and say why.
    EXPECT_FALSE(g_GlobalMFI.LoadMF(2, nullptr, 3, 0)->HasData());
    EXPECT_NE(console::ConsoleText().find("there is no vehicle group"), std::string::npos);
}

TEST_F(Registries, MissingDataFileLeavesNoGroup)
{
    GroupFiles g = SampleGroupFiles();
    std::vector<tools::PakInputFile> files = Files(g);
    files.erase(files.begin() + 1);   // VEHICLES.EXM
    Start(files);
    vbcallbacks.vsynccount = 0;
    const unsigned before = TotalFree();
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    EXPECT_EQ(g_GlobalMFI.pmfgVehicles, nullptr);
    EXPECT_NE(console::ConsoleText().find("VEHICLES.EXM cannot be opened"), std::string::npos);
    EXPECT_EQ(TotalFree(), before);
}

TEST_F(Registries, DamagedMembersAreDroppedAndTheRestLoad)
{
    // Every member damaged in a few bytes of its own: each load either gives
    // a checked, fixed-up file or an empty slot, and nothing is kept after.
    GroupFiles g = SampleGroupFiles();
    tools::ModelGroup group;
    std::string error;
    ASSERT_TRUE(tools::SampleVehicleGroup(group, error)) << error;
    std::mt19937 rng(38);
    for (std::vector<u8>& m : group.members)
        for (int f = 0; f < 4; f++)
            m[rng() % std::min<size_t>(m.size(), 1024)] ^= u8(1u << (rng() % 8));
    ASSERT_TRUE(tools::WriteModelGroup(group, g.dir, g.data, error)) << error;
    Start(Files(g));
    vbcallbacks.vsynccount = 0;
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    ASSERT_NE(g_GlobalMFI.pmfgVehicles, nullptr);
    const unsigned withGroup = TotalFree();
    int loaded = 0;
    for (int id = 0; id < tools::kVehicleCount; id++) {
        MDLFILE* mf = g_GlobalMFI.LoadMF(9, nullptr, id, 0);
        if (id == 37 || id == 38)
            continue;
        if (mf->HasData()) {
            loaded++;
            // The body and the other roots (the wheel models) beside it.
            Object* car = mf->GetHierarchy(0, sizeof(Object), GH_SIBLINGS);
            while (car != nullptr) {
                Object* next = car->sibling;
                car->sibling = nullptr;
                car->Delete();
                car = next;
            }
        }
        g_GlobalMFI.DeleteMF(9, true);
        EXPECT_EQ(TotalFree(), withGroup) << id;
    }
    EXPECT_LT(loaded, tools::kVehicleCount - 2);
    console::ClearConsoleText();
}

// A vehicle group whose data is all zeros (its directory intact): each member
// is dropped and its slot stays empty, marked refused (damage, not a file the
// disc lacks), and the group's file is said once however many members load;
// a refused file of its own likewise.  The next run says each again, once.
TEST_F(Registries, AFileRefusedAtManyLoadsIsSaidOncePerRun)
{
    GroupFiles g = SampleGroupFiles();
    std::fill(g.data.begin(), g.data.end(), 0);
    Start(Files(g));
    vbcallbacks.vsynccount = 0;
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    ASSERT_NE(g_GlobalMFI.pmfgVehicles, nullptr);
    auto lines = [](const char* name) {
        const std::string text = console::ConsoleText();
        size_t n = 0;
        for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1))
            n++;
        return n;
    };
    for (int run = 0; run < 2; run++) {
        console::ClearConsoleText();
        for (int id : {3, 4, 5, 3}) {
            EXPECT_FALSE(g_GlobalMFI.LoadMF(9, nullptr, id, 0)->HasData()) << id;
            EXPECT_TRUE(g_GlobalMFI.IsRefused(9)) << id;
            g_GlobalMFI.DeleteMF(9, true);
        }
        for (int i = 0; i < 2; i++) {
            EXPECT_FALSE(g_GlobalMFI.LoadMF(61, "KORVALIS\\DemoData\\Char\\BUM.P2B", 150, 0)->HasData());
            EXPECT_TRUE(g_GlobalMFI.IsRefused(61));
            g_GlobalMFI.DeleteMF(61, true);
        }
        EXPECT_EQ(lines("VEHICLES.EXM"), 1u) << console::ConsoleText();
        EXPECT_EQ(lines("BUM.P2B"), 1u) << console::ConsoleText();
        StreamMdlFile::ForgetRefusals();
    }
    // A file the disc does not have is missing, not refused.
    EXPECT_FALSE(g_GlobalMFI.LoadMF(61, "KORVALIS\\DemoData\\Char\\NOSUCH.P2B", 151, 0)->HasData());
    EXPECT_FALSE(g_GlobalMFI.IsRefused(61));
}
