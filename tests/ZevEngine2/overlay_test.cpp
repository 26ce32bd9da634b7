#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ee/console_out.h"

#include "ZevEngine2/anim_events.h"
#include "ZevEngine2/anim_support.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/object_support.h"
#include "ZevEngine2/Utilities/OverlayAnim.h"

using namespace animtest;

namespace {

// A character: root (node 0) with bones of animation ids 1, 3, 9 and 12:
// root -> b1 -> b3 -> b9, and b12 as root's second child.
struct Skeleton
{
    Skeleton() : model({0xFFFF, 1, 3, 9, 12})
    {
        root = new Object(Listener_mh);
        root->type = OBJT_CHARACTER;
        model.Dress(root, 0);
        for (int i = 1; i <= 4; i++) {
            bone[i] = new Object;
            bone[i]->mat = Matrix(true);
            model.Dress(bone[i], i);
            bone[i]->blendAnim = new BlendAnimation(bone[i], nullptr, 0, 0, 0, 0);
        }
        root->Attach(bone[1]);
        bone[1]->Attach(bone[2]);
        bone[2]->Attach(bone[3]);
        root->Attach(bone[4]);
    }
    ~Skeleton() { root->Delete(); }
    Object* ById(int id) const
    {
        for (int i = 1; i <= 4; i++)
            if (model.nodes[size_t(i)].animation == id)
                return bone[i];
        return nullptr;
    }
    BlendAnimation* Anim(int id) const { return ById(id)->blendAnim; }

    FakeModel model;
    Object* root;
    Object* bone[5] = {};
};

// An overlay animation for the bones ids, each moving to x = its id.
AniGroup Gesture(std::vector<u16> ids, u16 length)
{
    AniGroup g;
    AniChar c;
    c.length = length;
    for (u16 id : ids)
        c.bundles.push_back(AniBundle{id, {PosStream({{0, {float(id), 0, 0}}, {length, {float(id), 0, 0}}})}});
    g.chars.push_back(std::move(c));
    return g;
}

using OverlayTest = AnimObjectTest;

TEST_F(OverlayTest, BonesMissingFromTheHierarchyStayUnbound)
{
    Skeleton s;
    OverlayAnim o;
    const int list[] = {3, 5, 9};
    o.Init(s.root, list, 3, 1.0f, 0.02f, 0.1f);
    ASSERT_EQ(o.m_tBoneCnt, 3);
    EXPECT_EQ(o.m_pOverlay[0].pObj, s.ById(3));
    EXPECT_EQ(o.m_pOverlay[1].pObj, nullptr);
    EXPECT_EQ(o.m_pOverlay[2].pObj, s.ById(9));
    EXPECT_EQ(o.m_pOverlay[2].id, 9);
    EXPECT_EQ(o.m_pOverlay[2].allowAnim, 1);
    EXPECT_FLOAT_EQ(o.GetFadeout(), 0.1f);
}

TEST_F(OverlayTest, WithoutAListEveryObjectIsAnEntryInWalkOrder)
{
    Skeleton s;
    OverlayAnim o;
    o.Init(s.root, nullptr, 0, 1.0f, 0.02f, 0.1f);
    ASSERT_EQ(o.m_tBoneCnt, 4);
    const int ids[] = {1, 3, 9, 12};   // children before later siblings
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(o.m_pOverlay[i].id, ids[i]);
        EXPECT_EQ(o.m_pOverlay[i].pObj, s.ById(ids[i]));
    }
}

TEST_F(OverlayTest, WeightRisesEntryByEntry)
{
    Skeleton s;
    LoadedGroup g(Gesture({1, 3, 9, 12}, 10));
    OverlayAnim o;
    const int list[] = {1, 3, 9, 12};
    o.Init(s.root, list, 4, 1.0f, 0.02f, 0.1f);
    o.PlayAnim(g.Char(0), 100.0f);
    EXPECT_EQ(o.Animate(100.0f), 1);
    const float weights[] = {0.0f, 0.02f, 0.04f, 0.06f};
    for (int i = 0; i < 4; i++) {
        BlendAnimation* b = s.Anim(list[i]);
        EXPECT_FLOAT_EQ(b->poseBlend, weights[i]) << "bone " << list[i];
        EXPECT_EQ(b->pose.flags, ANIMKEY_POS);
        EXPECT_FLOAT_EQ(b->pose.pos[0], float(list[i]));
    }
    EXPECT_FLOAT_EQ(o.m_blendVal, 0.08f);

    // The bone's own blend mixes the pose in (bone 12 is a face bone, left
    // alone outside cinematics).
    float times[2] = {100, 100};
    BlendAnimateHierarchy(s.root, times, 1.0f);
    EXPECT_FLOAT_EQ(s.ById(9)->mat.w[0], 9.0f * 0.04f);
    EXPECT_FLOAT_EQ(s.ById(12)->mat.w[0], 0.0f);
}

TEST_F(OverlayTest, WeightStopsAtItsCeiling)
{
    Skeleton s;
    LoadedGroup g(Gesture({1, 3}, 100));
    OverlayAnim o;
    const int list[] = {1, 3};
    o.Init(s.root, list, 2, 0.05f, 0.02f, 0.1f);
    o.PlayAnim(g.Char(0), 0.0f);
    for (int f = 0; f < 5; f++)
        o.Animate(float(f));
    EXPECT_FLOAT_EQ(o.m_blendVal, 0.05f);
    EXPECT_FLOAT_EQ(s.Anim(3)->poseBlend, 0.05f);
}

TEST_F(OverlayTest, EmptyAnimationStopsAtOnce)
{
    Skeleton s;
    LoadedGroup g(Gesture({1, 3}, 0));
    OverlayAnim o;
    const int list[] = {1, 3};
    o.Init(s.root, list, 2, 1.0f, 0.02f, 0.1f);
    o.PlayAnim(g.Char(0), 50.0f);
    EXPECT_TRUE(o.m_playing);
    EXPECT_EQ(o.Animate(50.0f), 0);
    EXPECT_FALSE(o.m_playing);
    EXPECT_EQ(o.Animate(51.0f), 0);
}

TEST_F(OverlayTest, PlayingEndsAtTheLengthAndLeavesTheWeights)
{
    Skeleton s;
    LoadedGroup g(Gesture({1, 3}, 10));
    OverlayAnim o;
    const int list[] = {1, 3};
    o.Init(s.root, list, 2, 1.0f, 0.1f, 0.1f);
    o.PlayAnim(g.Char(0), 0.0f);
    for (int f = 0; f < 10; f++)
        EXPECT_EQ(o.Animate(float(f)), 1) << "frame " << f;
    float w = s.Anim(3)->poseBlend;
    EXPECT_GT(w, 0.0f);
    EXPECT_EQ(o.Animate(10.0f), 0);
    EXPECT_FLOAT_EQ(s.Anim(3)->poseBlend, w);
}

TEST_F(OverlayTest, SwitchedOffBoneIsNeitherPlayedNorFaded)
{
    Skeleton s;
    LoadedGroup g(Gesture({1, 3, 9}, 100));
    OverlayAnim o;
    const int list[] = {1, 3, 9};
    o.Init(s.root, list, 3, 1.0f, 0.1f, 0.1f);
    BlendAnimation* b3 = s.Anim(3);
    b3->pose.flags = ANIMKEY_POS;
    b3->pose.pos = Vector(42, 0, 0, 1);
    b3->poseBlend = 0.5f;
    o.AllowBoneID(3, 0);
    o.PlayAnim(g.Char(0), 0.0f);
    for (int f = 0; f < 5; f++)
        o.Animate(float(f));
    EXPECT_FLOAT_EQ(b3->poseBlend, 0.5f);
    EXPECT_FLOAT_EQ(b3->pose.pos[0], 42.0f);
    EXPECT_GT(s.Anim(9)->poseBlend, 0.0f);
    o.Fadeout();
    o.m_playing = false;
    for (int f = 0; f < 3; f++)
        EXPECT_EQ(o.Animate(float(f)), 1);
    EXPECT_FLOAT_EQ(b3->poseBlend, 0.5f);
}

TEST_F(OverlayTest, FadeOutLowersTheWeightsToZero)
{
    Skeleton s;
    LoadedGroup g(Gesture({1, 3, 9}, 10));
    OverlayAnim o;
    const int list[] = {1, 3, 9};
    o.Init(s.root, list, 3, 0.01f, 0.01f, 0.5f);
    o.PlayAnim(g.Char(0), 0.0f);
    o.Animate(0.0f);
    o.Animate(1.0f);
    EXPECT_FLOAT_EQ(o.m_blendVal, 0.01f);
    s.Anim(1)->poseBlend = 0.0f;   // a bone already at rest
    o.Fadeout();
    EXPECT_TRUE(o.InFadeout());
    o.Animate(12.0f);   // past the length: playing ends
    EXPECT_FALSE(o.m_playing);
    int steps = 0;
    while (o.InFadeout() && steps < 100) {
        EXPECT_EQ(o.Animate(12.0f), 1);
        EXPECT_FLOAT_EQ(s.Anim(1)->poseBlend, 0.0f);
        steps++;
    }
    EXPECT_FALSE(o.InFadeout());
    EXPECT_EQ(s.Anim(3)->poseBlend, 0.0f);
    EXPECT_EQ(s.Anim(9)->poseBlend, 0.0f);
    // 0.01 in steps of 0.002 per bone over two bones: a few passes.
    EXPECT_LE(steps, 5);
    EXPECT_EQ(o.Animate(13.0f), 0);

    // Playing again stops the fade.
    o.Fadeout();
    o.PlayAnim(g.Char(0), 20.0f);
    EXPECT_FALSE(o.InFadeout());
}

TEST_F(OverlayTest, LaterInitWithMoreBonesGrowsTheEntries)
{
    {
        Skeleton s;
        OverlayAnim o;
        const int one[] = {3};
        o.Init(s.root, one, 1, 1.0f, 0.1f, 0.1f);
        const int four[] = {1, 3, 9, 12};
        o.Init(s.root, four, 4, 1.0f, 0.1f, 0.1f);
        ASSERT_EQ(o.m_tBoneCnt, 4);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(o.m_pOverlay[i].pObj, s.ById(four[i]));
        LoadedGroup g(Gesture({1, 3, 9, 12}, 10));
        o.PlayAnim(g.Char(0), 0.0f);
        o.Animate(1.0f);
    }
    ExpectHeapRestored();
}

TEST_F(OverlayTest, EventHandlerMayDeleteTheOverlaysOwner)
{
    {
        // The character owns the overlay; an event of the overlay deletes the
        // character, overlay and all.
        Skeleton* s = new Skeleton;
        OverlayAnim* o = new OverlayAnim;
        AniGroup grp = Gesture({1, 3}, 10);
        grp.chars[0].bundles[0].streams.push_back(AniStream(ANIM_TYPE_INSTANT).Event(0, 5));
        LoadedGroup g(grp);
        const int list[] = {1, 3};
        o->Init(s->root, list, 2, 1.0f, 0.1f, 0.1f);
        o->PlayAnim(g.Char(0), 0.0f);
        OnHeard() = [&](Object*, OBJMESSAGE msg, AnimEventMessage*) {
            if (msg != OM_ANIMEVENT)
                return;
            delete o;
            delete s;
        };
        EXPECT_EQ(o->Animate(0.0f), 1);
        EXPECT_EQ(CountHeard(OM_ANIMEVENT), 1);
    }
    ExpectHeapRestored();
}

}  // namespace
