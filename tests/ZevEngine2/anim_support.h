// Test support for the animation tests: animation groups written with the
// tools' writer and fixed up in a game heap block, stand-in model files whose
// nodes carry animation ids, and objects to animate.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ee/console_out.h"
#include "tools/lib/aniwrite.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/anim_events.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/object_support.h"

namespace animtest {

using tools::AniBundle;
using tools::AniChar;
using tools::AniGroup;
using tools::AniStream;

inline std::vector<u8> Bytes(const AniGroup& g)
{
    std::vector<u8> bytes;
    std::string error;
    EXPECT_TRUE(tools::WriteAni(g, bytes, error)) << error;
    return bytes;
}

// A written group, fixed up in place in a 64-byte aligned game heap block
// as the loader leaves it.
class LoadedGroup
{
public:
    explicit LoadedGroup(const AniGroup& g)
    {
        std::vector<u8> bytes = Bytes(g);
        buffer = malloc_align(bytes.size() + 64, 64);
        memcpy(buffer, bytes.data(), bytes.size());
        char why[256] = "";
        EXPECT_TRUE(AnimGroup::Check(buffer, u32(bytes.size()), why)) << why;
        group = static_cast<AnimGroup*>(buffer);
        group->FixUp();
    }
    ~LoadedGroup() { free(buffer); }
    LoadedGroup(const LoadedGroup&) = delete;
    LoadedGroup& operator=(const LoadedGroup&) = delete;

    AnimChar* Char(int i) const { return group->pChars[i]; }
    AnimBundle* Bundle(int c, int b) const { return Char(c)->GetBundle(b); }
    AnimStream* Stream(int c, int b, int s) const { return Bundle(c, b)->pStreams[s]; }

    void* buffer;
    AnimGroup* group;
};

// One animation of one bundle.
inline AniGroup OneBundle(std::vector<AniStream> streams, u16 length, bool loops = false, u16 id = 0)
{
    AniGroup g;
    AniChar c;
    c.length = length;
    c.flags = loops ? 1 : 0;
    c.bundles.push_back(AniBundle{id, std::move(streams)});
    g.chars.push_back(std::move(c));
    return g;
}

inline AniStream PosStream(std::vector<std::pair<u16, VectorXYZ>> keys)
{
    AniStream s(ANIM_TYPE_POS);
    for (auto& k : keys)
        s.Vec(k.first, k.second);
    return s;
}

inline u16 Loop(u16 length)
{
    return u16(length | ANIM_LEN_LOOP);
}

// A model file without a file: only its node table, whose nodes carry the
// animation words objects are matched by.
struct FakeModel
{
    explicit FakeModel(std::vector<u16> animationWords)
    {
        nodes.resize(animationWords.size());
        for (size_t i = 0; i < nodes.size(); i++) {
            memset(&nodes[i], 0, sizeof(NODE));
            nodes[i].animation = animationWords[i];
            nodes[i].sibling = nodes[i].child = 0xFFFF;
        }
        memset(&mf, 0, sizeof(mf));
        mf.nodes = nodes.data();
        mf.nNodes = s16(nodes.size());
    }
    // Makes obj an object of node i.
    void Dress(Object* obj, int i)
    {
        obj->mdlfile = &mf;
        obj->index = u16(i);
    }

    std::vector<NODE> nodes;
    MDLFILE mf;
};

inline bool Near(const Vector& a, const Vector& b, float eps = 1e-5f)
{
    for (int i = 0; i < 4; i++) {
        if (std::fabs(a[i] - b[i]) > eps)
            return false;
    }
    return true;
}

inline std::string Show(const Vector& v)
{
    return "(" + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " + std::to_string(v[2]) + ", " +
           std::to_string(v[3]) + ")";
}

// The rotation by angle a about the y axis in the game's convention.
inline Quaternion RotYQuat(float a)
{
    return Quaternion(Vector(0.0f, -std::sin(a / 2), 0.0f, std::cos(a / 2)));
}

// Animations played on objects: the recording handler reset, the console
// text cleared, and after the test the heap checked whole.
class AnimObjectTest : public HeardTest
{
protected:
    void SetUp() override
    {
        HeardTest::SetUp();
        console::ClearConsoleText();
        before = TotalFree();
    }
    void TearDown() override
    {
        HeardTest::TearDown();
        EXPECT_FALSE(objtest::SawBadFree());
        heaptest::CheckHeap(mal);
    }
    // Everything a test made is gone again.
    void ExpectHeapRestored() { EXPECT_EQ(TotalFree(), before); }

    unsigned before = 0;
};

}  // namespace animtest
