#include <gtest/gtest.h>

#include <vector>

#include "game/QuadTree.h"

namespace {

std::vector<RawObj*> Items(const KVWorld& w)
{
    std::vector<RawObj*> items;
    for (Link<RawObj>* l = w.rawobjPostList.Head(); !l->IsEOList(); l = l->Next())
        items.push_back(l->data);
    return items;
}

TEST(KVWorld, PostRawListAddsAtEitherEndAndMovesInsteadOfDuplicating)
{
    RawObj a, b, c;
    int freeBefore = linkpool.n;
    EXPECT_TRUE(world.AddPostRawObj(&a, true));
    EXPECT_TRUE(world.AddPostRawObj(&b, true));
    EXPECT_TRUE(world.AddPostRawObj(&c, false));
    EXPECT_EQ(Items(world), (std::vector<RawObj*>{&c, &a, &b}));

    EXPECT_TRUE(world.AddPostRawObj(&c, true));   // moved to the tail, not listed twice
    EXPECT_EQ(Items(world), (std::vector<RawObj*>{&a, &b, &c}));
    EXPECT_TRUE(world.AddPostRawObj(&b, false));
    EXPECT_EQ(Items(world), (std::vector<RawObj*>{&b, &a, &c}));
    EXPECT_EQ(linkpool.n, freeBefore - 3);

    world.RemovePostRawObj(&a);
    world.RemovePostRawObj(&a);   // absent: nothing happens
    EXPECT_EQ(Items(world), (std::vector<RawObj*>{&b, &c}));
    world.RemovePostRawObj(&b);
    world.RemovePostRawObj(&c);
    EXPECT_TRUE(world.rawobjPostList.IsEmpty());
    EXPECT_EQ(linkpool.n, freeBefore);
}

}  // namespace
