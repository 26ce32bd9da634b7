// The particle classes' test set-up: the resident particle files, written by
// the disc's own writer, placed in their slots on the game's heap once per
// test program; a world emptied before and after each test; a fixed random
// sequence and normal speed.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/partfiles.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"

namespace parttest {

// The six resident files in slots 212 to 217; each file's block stays for
// the program's run (the slots keep pointing at it).
inline void LoadResidentFiles()
{
    static MDLFILE files[6];
    static u32 sizes[6];
    static bool loaded = false;
    if (!loaded) {
        std::vector<tools::NamedFile> written;
        std::string error;
        ASSERT_TRUE(tools::ResidentParticleFiles(written, error)) << error;
        ASSERT_EQ(written.size(), 6u);
        for (size_t i = 0; i < written.size(); i++) {
            sizes[i] = u32(written[i].data.size());
            void* block = malloc_align(sizes[i], 64);
            ASSERT_NE(block, nullptr);
            std::memcpy(block, written[i].data.data(), sizes[i]);
            files[i].SetBuffer(block);
            ASSERT_TRUE(files[i].Init(sizes[i])) << written[i].name;
        }
        loaded = true;
    }
    for (int i = 0; i < 6; i++)
        PartFileSet(PARTFILE_FIRST_SLOT + i, &files[i], sizes[i]);
    PartFileSet(PARTFILE_SEWAGE_SLOT, nullptr, 0);
}

// Fresh copies of the six files in their slots for as long as it lives: a
// drawing test needs texture records that no earlier frame has placed in
// graphics memory.  The next test's set-up puts the shared copies back.
class FreshResidentFiles
{
public:
    FreshResidentFiles()
    {
        std::vector<tools::NamedFile> written;
        std::string error;
        EXPECT_TRUE(tools::ResidentParticleFiles(written, error)) << error;
        for (size_t i = 0; i < written.size() && i < 6; i++) {
            const u32 size = u32(written[i].data.size());
            blocks[i] = malloc_align(size, 64);
            std::memcpy(blocks[i], written[i].data.data(), size);
            files[i].SetBuffer(blocks[i]);
            EXPECT_TRUE(files[i].Init(size)) << written[i].name;
            PartFileSet(PARTFILE_FIRST_SLOT + int(i), &files[i], size);
        }
    }
    ~FreshResidentFiles()
    {
        for (int i = 0; i < 6; i++) {
            PartFileSet(PARTFILE_FIRST_SLOT + i, nullptr, 0);
            free(blocks[i]);
        }
    }
    FreshResidentFiles(const FreshResidentFiles&) = delete;
    FreshResidentFiles& operator=(const FreshResidentFiles&) = delete;

private:
    MDLFILE files[6]{};
    void* blocks[6]{};
};

class ParticleWorld : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
        LoadResidentFiles();
        srand(1234);
    }
    void TearDown() override
    {
        world.Clear();
        world.mode = WORLD_MODE_NORMAL;
        world.playbackSpeed = 1.0f;
    }

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
