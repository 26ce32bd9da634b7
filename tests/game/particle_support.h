// The particle classes' test set-up: the resident particle files, written by
// the disc's own writer, placed in their registry slots on the game's heap
// once per test program; a world emptied before and after each test; a fixed random
// sequence, normal speed and no wind.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/partfiles.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/particle.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"

namespace parttest {

// The registry slots of the written files: the six resident ones in order,
// then the splash file.
constexpr int kPartSlots[7] = {212, 213, 214, 215, 216, 217, PARTFILE_SPLASH_SLOT};

// Puts a fixed-up model file of `size` bytes in a registry slot as its load
// would leave it (mf null empties the slot; the block stays the caller's).
inline void PutPartFile(int slot, const MDLFILE* mf, u32 size)
{
    MdlFileInfo& m = g_GlobalMFI.GetMFI(slot);
    static_cast<MDLFILE&>(m.smf) = mf != nullptr ? *mf : MDLFILE{};
    m.smf.length = mf != nullptr ? size : 0;
    m.smf.refs = 0;
    m.i16Id = mf != nullptr ? 0 : -1;
    m.i16Flags = 0;
    m.i16Mirror = -1;
}

// The written files: the six resident ones, then the splash file.
inline std::vector<tools::NamedFile> WrittenPartFiles()
{
    std::vector<tools::NamedFile> written;
    std::string error;
    EXPECT_TRUE(tools::ResidentParticleFiles(written, error)) << error;
    EXPECT_TRUE(tools::SplashParticleFile(written.emplace_back(), error)) << error;
    return written;
}

// The seven files in their slots.  Each file's block stays from one test to
// the next while it is still the heap block it was, its header and nodes as
// its load left them (drawing changes only the texture records); a test that
// emptied the registries (freeing the blocks) or built a new heap makes the
// next one load them again.
inline void LoadResidentFiles()
{
    static MDLFILE files[7];
    static u32 sizes[7];
    static std::vector<u8> loadedNodes[7];   // the header and nodes after the load
    bool intact = !loadedNodes[0].empty();
    for (int i = 0; i < 7 && intact; i++)
        intact = mal.IsAllocated(files[i].header) &&
                 std::memcmp(files[i].header, loadedNodes[i].data(), loadedNodes[i].size()) == 0;
    if (!intact) {
        const std::vector<tools::NamedFile> written = WrittenPartFiles();
        ASSERT_EQ(written.size(), 7u);
        for (size_t i = 0; i < written.size(); i++) {
            sizes[i] = u32(written[i].data.size());
            void* block = malloc_align(sizes[i], 64);
            ASSERT_NE(block, nullptr);
            std::memcpy(block, written[i].data.data(), sizes[i]);
            files[i] = MDLFILE{};
            files[i].SetBuffer(block);
            ASSERT_TRUE(files[i].Init(sizes[i])) << written[i].name;
            const u8* b = static_cast<const u8*>(block);
            const u8* e = reinterpret_cast<const u8*>(files[i].nodes + files[i].nNodes);
            loadedNodes[i].assign(b, e > b && e <= b + sizes[i] ? e : b + sizes[i]);
        }
    }
    for (int i = 0; i < 7; i++)
        PutPartFile(kPartSlots[i], &files[i], sizes[i]);
    PutPartFile(PARTFILE_SEWAGE_SLOT, nullptr, 0);
}

// Fresh copies of the seven files in their slots for as long as it lives: a
// drawing test needs texture records that no earlier frame has placed in
// graphics memory.  The next test's set-up puts the shared copies back.
class FreshResidentFiles
{
public:
    FreshResidentFiles()
    {
        const std::vector<tools::NamedFile> written = WrittenPartFiles();
        for (size_t i = 0; i < written.size() && i < 7; i++) {
            const u32 size = u32(written[i].data.size());
            blocks[i] = malloc_align(size, 64);
            std::memcpy(blocks[i], written[i].data.data(), size);
            MDLFILE mf{};
            mf.SetBuffer(blocks[i]);
            EXPECT_TRUE(mf.Init(size)) << written[i].name;
            PutPartFile(kPartSlots[i], &mf, size);
        }
    }
    ~FreshResidentFiles()
    {
        for (int i = 0; i < 7; i++) {
            PutPartFile(kPartSlots[i], nullptr, 0);
            free(blocks[i]);
        }
    }
    FreshResidentFiles(const FreshResidentFiles&) = delete;
    FreshResidentFiles& operator=(const FreshResidentFiles&) = delete;

private:
    void* blocks[7]{};
};

class ParticleWorld : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
        savedWind = WindGet();
        WindSet(VectorDir(0.0f, 0.0f, 0.0f));
        LoadResidentFiles();
        srand(1234);
    }
    void TearDown() override
    {
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
        WindSet(savedWind);
    }
    VectorDir savedWind;

    // n logic ticks of the world.
    static void Ticks(int n)
    {
        for (int i = 0; i < n; i++)
            world.Update();
    }
};

// Links of list that hold obj.
inline int LinksTo(const ObjectList& list, const Object* obj)
{
    int n = 0;
    for (ObjectLink* l = list.Head(); !l->IsEOList(); l = l->Next())
        n += l->data == obj ? 1 : 0;
    return n;
}

inline int Count(const PartManager* pm)
{
    return pm != nullptr ? pm->list.Count() : 0;
}

}  // namespace parttest
