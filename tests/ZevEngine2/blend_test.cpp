#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ee/console_out.h"

#include "ZevEngine2/anim_events.h"
#include "ZevEngine2/anim_support.h"
#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/object_support.h"

using namespace animtest;

namespace {

using BlendTest = AnimObjectTest;

// A position stream whose x is the time, from 0 to length.
AniStream Ramp(u16 length)
{
    return PosStream({{0, {0, 0, 0}}, {length, {float(length), 0, 0}}});
}

// An animated object with the recording handler, identity matrix.
Object* NewAnimated(AnimBundle* bundle, u16 length, u16 animFlags, u16 offset, u32 ctorFlags = 0)
{
    Object* obj = new Object(Listener_mh);
    obj->mat = Matrix(true);
    obj->blendAnim = new BlendAnimation(obj, bundle, ctorFlags, length, animFlags, offset);
    return obj;
}

int Pass(Object* obj, float t, float dt = 1.0f, int* sendLoop = nullptr)
{
    float times[2] = {t, t};
    return obj->blendAnim->Animate(obj, times, 1, dt, sendLoop);
}

float X(const Object* obj)
{
    return obj->mat.w[0];
}

// ---------------------------------------------------------------------------
// Time and loops

TEST_F(BlendTest, RelativeTimeWrapsWithTheSixteenBitClock)
{
    {
        AniGroup grp = OneBundle({Ramp(10000)}, 10000);
        AniChar loop;
        loop.length = 1000;
        loop.flags = 1;
        loop.bundles.push_back(AniBundle{0, {Ramp(1000)}});
        grp.chars.push_back(std::move(loop));
        LoadedGroup g(grp);

        Object* a = NewAnimated(g.Bundle(0, 0), 10000, 0, 100);
        Pass(a, 70000.0f);   // 70000 - 65536 - 100
        EXPECT_FLOAT_EQ(X(a), 4364.0f);
        a->Delete();

        // 50 - 100 is below zero: 65535 is added, so the time is 65485, which
        // a looping animation of 1000 frames shows as its frame 485.
        Object* b = NewAnimated(g.Bundle(1, 0), 1000, 1, 100);
        Pass(b, 50.0f);
        EXPECT_FLOAT_EQ(X(b), 485.0f);
        EXPECT_EQ(b->blendAnim->animoffset, 1100);
        b->Delete();
    }
    ExpectHeapRestored();
}

TEST_F(BlendTest, LoopingSlotWrapsOnlyPastItsLength)
{
    LoadedGroup g(OneBundle({Ramp(100)}, 100, true));
    Object* obj = NewAnimated(g.Bundle(0, 0), 100, 1, 0);
    Pass(obj, 100.0f);
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 0);
    EXPECT_EQ(obj->blendAnim->animoffset, 0);
    Pass(obj, 101.0f);
    ASSERT_EQ(CountHeard(OM_ANIMLOOP), 1);
    EXPECT_EQ(obj->blendAnim->animoffset, 100);
    EXPECT_EQ(Heards()[0].obj, obj);
    EXPECT_EQ(Heards()[0].slot, 0);
    EXPECT_EQ(Heards()[0].loopTime, 100);
    Pass(obj, 102.0f);
    EXPECT_FLOAT_EQ(X(obj), 2.0f);
    obj->Delete();
}

TEST_F(BlendTest, NonLoopingSlotFreezesOnItsLastPose)
{
    LoadedGroup g(OneBundle({Ramp(100)}, 100));
    Object* obj = NewAnimated(g.Bundle(0, 0), 100, 0, 0);
    Pass(obj, 99.0f);
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 0);
    Pass(obj, 100.0f);
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 1);
    EXPECT_TRUE(obj->blendAnim->flags & ANIMF_FROZEN);
    EXPECT_FLOAT_EQ(X(obj), 100.0f);
    for (float t : {150.0f, 230.0f, 300.0f}) {
        obj->mat.w = Vector(-1, -1, -1, 1);
        Pass(obj, t);
        EXPECT_FLOAT_EQ(X(obj), 100.0f) << "t " << t;
    }
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 1);
    obj->Delete();
}

TEST_F(BlendTest, TwoSlotsEndingTogetherSendOneMessageNamingSlotZero)
{
    LoadedGroup g(OneBundle({Ramp(10)}, 10));
    Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
    ASSERT_TRUE(obj->blendAnim->AddAnim(g.Bundle(0, 0), 0, 0.5f, 10, 0, -1));
    int sendLoop = 1;
    Pass(obj, 10.0f, 1.0f, &sendLoop);
    ASSERT_EQ(CountHeard(OM_ANIMLOOP), 1);
    EXPECT_EQ(Heards()[0].slot, 0);
    EXPECT_EQ(sendLoop, 0);
    EXPECT_TRUE(obj->blendAnim->GetAnim(1)->flags & ANIMF_FROZEN);

    // A walk that has already reported sends nothing more.
    Object* other = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
    Pass(other, 10.0f, 1.0f, &sendLoop);
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 1);
    obj->Delete();
    other->Delete();
}

// ---------------------------------------------------------------------------
// Slots, cross-fades and poses

TEST_F(BlendTest, CrossFadeRetiresTheOldAnimationAfterItsLength)
{
    {
        AniGroup grp = OneBundle({PosStream({{0, {0, 0, 0}}})}, 100, true);
        AniChar next;
        next.length = 100;
        next.flags = 1;
        next.bundles.push_back(AniBundle{0, {PosStream({{0, {10, 0, 0}}})}});
        grp.chars.push_back(std::move(next));
        LoadedGroup g(grp);
        Object* obj = NewAnimated(g.Bundle(0, 0), 100, 1, 0);
        BlendAnimation* b = obj->blendAnim;

        // The object code's cross-fade: the new animation in slot 1 with no
        // weight, swapped into slot 0, the old one at full weight in slot 1.
        ClearBlendAnimSlotHierarchy(obj, 1);
        ASSERT_TRUE(b->AddAnim(g.Bundle(1, 0), 50, 0.0f, 100, 1, -1));
        SwapBlendAnimHierarchy(obj, 0, 1);
        SetBlendFactorHierarchy(obj, 1, 1.0f);
        b->xfadeSpeed = 4;
        b->flags |= ANIMF_XFADE | ANIMF_XFADEHOLD;
        EXPECT_EQ(b->data, g.Bundle(1, 0));

        const float weights[] = {0.75f, 0.5f, 0.25f};
        for (int pass = 0; pass < 3; pass++) {
            Pass(obj, 60.0f + pass);
            EXPECT_EQ(b->animCnt, 2);
            EXPECT_FLOAT_EQ(b->GetAnim(1)->blendAmount, weights[pass]);
            EXPECT_FLOAT_EQ(X(obj), 10.0f * (1.0f - weights[pass]));
            EXPECT_EQ(b->animoffset, 60 + pass);   // held at the new animation's start
        }
        Pass(obj, 63.0f);
        EXPECT_EQ(b->animCnt, 1);
        EXPECT_FLOAT_EQ(b->GetAnim(1)->blendAmount, 0.0f);
        EXPECT_EQ(b->flags & (ANIMF_XFADE | ANIMF_XFADEHOLD), 0);
        EXPECT_FLOAT_EQ(X(obj), 10.0f);
        obj->Delete();
    }
    ExpectHeapRestored();
}

TEST_F(BlendTest, CrossFadeOfNoFramesEndsAtOnce)
{
    LoadedGroup g(OneBundle({Ramp(10)}, 10));
    Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
    BlendAnimation* b = obj->blendAnim;
    ASSERT_TRUE(b->AddAnim(g.Bundle(0, 0), 0, 1.0f, 10, 0, -1));
    b->xfadeSpeed = 0;
    b->UpdateXFade(0.0f);
    EXPECT_EQ(b->animCnt, 1);
    EXPECT_EQ(b->GetAnim(1)->blendAmount, 0.0f);
    obj->Delete();
}

TEST_F(BlendTest, AddAnimFillsTwoSlotsAndReusesTheSpare)
{
    {
        LoadedGroup g(OneBundle({Ramp(10)}, 10));
        Object* obj = new Object;
        obj->mat = Matrix(true);
        obj->blendAnim = new BlendAnimation(obj, nullptr, 0, 0, 0, 0);
        BlendAnimation* b = obj->blendAnim;
        EXPECT_EQ(b->animCnt, 0);
        EXPECT_TRUE(b->AddAnim(g.Bundle(0, 0), 0, 1.0f, 10, 0, -1));
        EXPECT_EQ(b->nextAnim, nullptr);   // the first goes to slot 0
        EXPECT_TRUE(b->AddAnim(g.Bundle(0, 0), 0, 0.5f, 10, 1, 3));
        Animation* spare = b->nextAnim;
        ASSERT_NE(spare, nullptr);
        EXPECT_EQ(spare->sndBank, 3);
        EXPECT_TRUE(spare->IsLooping());
        EXPECT_FALSE(b->AddAnim(g.Bundle(0, 0), 0, 0.5f, 10, 0, -1));
        b->ClearSlot(0);   // ignored
        b->ClearSlot(2);   // ignored
        EXPECT_EQ(b->animCnt, 2);
        b->ClearSlot(1);
        EXPECT_EQ(b->animCnt, 1);
        unsigned free1 = TotalFree();
        EXPECT_TRUE(b->AddAnim(g.Bundle(0, 0), 0, 0.25f, 10, 0, -1));
        EXPECT_EQ(b->nextAnim, spare);
        EXPECT_EQ(TotalFree(), free1);   // nothing allocated in steady play
        obj->Delete();
    }
    ExpectHeapRestored();
}

TEST_F(BlendTest, PoseIsMixedInAfterTheSlots)
{
    LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}})}, 10));
    Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
    AnimRTKey pose;
    pose.flags = ANIMKEY_POS | ANIMKEY_ROT;
    pose.pos = Vector(10, 0, 0, 1);
    pose.ang = RotYQuat(1.0f);
    obj->blendAnim->SetPose(&pose, 0.3f);
    Pass(obj, 1.0f);
    EXPECT_FLOAT_EQ(X(obj), 3.0f);
    Matrix r = Matrix(SLERP(Quaternion(true), RotYQuat(1.0f), 0.3f));
    EXPECT_TRUE(Near(obj->mat.z, r.z));
    obj->blendAnim->ClearPose();
    Pass(obj, 2.0f);
    EXPECT_FLOAT_EQ(X(obj), 0.0f);
    obj->Delete();
}

TEST_F(BlendTest, BaseKeyCombinesWithAbsoluteResults)
{
    LoadedGroup g(OneBundle({PosStream({{0, {1, 2, 3}}})}, 10));
    Object* obj = new Object(Listener_mh);
    obj->mat = Matrix(true);
    obj->mat.w = Vector(5, 0, 0, 1);
    obj->blendAnim = new BlendAnimation(obj, g.Bundle(0, 0), 0, 10, 0, 0);
    obj->blendAnim->flags |= ANIMF_BASEKEY;
    Pass(obj, 1.0f);
    EXPECT_TRUE(Near(obj->mat.w, Vector(6, 2, 3, 1)));
    obj->Delete();
}

TEST_F(BlendTest, RelativeSlotCanKeepItsPositionChangeOut)
{
    AniGroup grp = OneBundle({Ramp(100)}, 100);
    AniChar fast;
    fast.length = 100;
    fast.bundles.push_back(AniBundle{0, {PosStream({{0, {0, 0, 0}}, {100, {200, 0, 0}}})}});
    grp.chars.push_back(std::move(fast));
    LoadedGroup g(grp);
    for (bool keepOut : {false, true}) {
        Object* obj = NewAnimated(g.Bundle(0, 0), 100, 0, 0, 0x80);
        BlendAnimation* b = obj->blendAnim;
        ASSERT_TRUE(b->AddAnim(g.Bundle(1, 0), 0, 0.5f, 100, 0, -1));
        EXPECT_TRUE(b->GetAnim(1)->flags & ANIMF_RELATIVE);   // as slot 0
        if (keepOut)
            b->GetAnim(1)->flags |= ANIMF_NORELPOS;
        Pass(obj, 0.0f);
        b->flags &= ~ANIMF_REBASE;
        Pass(obj, 1.0f);
        Pass(obj, 2.0f);
        // Per frame slot 0 moves 1 and slot 1 moves 2.
        EXPECT_FLOAT_EQ(X(obj), keepOut ? 2.0f : 3.0f) << (keepOut ? "kept out" : "blended");
        obj->Delete();
    }
}

TEST_F(BlendTest, RelativeMotionLeavesAnObjectWithFlag100Alone)
{
    LoadedGroup g(OneBundle({Ramp(10), AniStream(ANIM_TYPE_INSTANT).Event(2, 9)}, 10));
    Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 0, 0x80);
    obj->flags |= OBJF_NORELMOTION;
    Matrix before = obj->mat;
    for (float t = 0; t < 5; t += 1)
        Pass(obj, t);
    for (int r = 0; r < 4; r++)
        EXPECT_TRUE(Near(obj->mat[r], before[r], 0.0f));
    EXPECT_EQ(CountHeard(OM_ANIMEVENT), 1);
    // The reference kept moving meanwhile: only the change since the last
    // pass (frame 4) moves the object.
    obj->flags &= ~OBJF_NORELMOTION;
    Pass(obj, 6.0f);
    EXPECT_FLOAT_EQ(X(obj), 2.0f);
    obj->Delete();
}

TEST_F(BlendTest, FaceBonesMoveOnlyWhenTheWalkAllowsIt)
{
    LoadedGroup g(OneBundle({PosStream({{0, {4, 0, 0}}})}, 10));
    FakeModel model({0xFFFF, 15, 0x8000 | 28, 29});
    Object* root = new Object(Listener_mh);
    root->type = OBJT_CHARACTER;
    model.Dress(root, 0);
    std::vector<Object*> bones;
    for (int i = 1; i <= 3; i++) {
        Object* b = new Object;
        b->mat = Matrix(true);
        model.Dress(b, i);
        b->blendAnim = new BlendAnimation(b, g.Bundle(0, 0), 0, 10, 0, 0);
        root->Attach(b);
        bones.push_back(b);
    }
    float times[2] = {1, 1};
    BlendAnimateHierarchy(root, times, 1.0f);
    EXPECT_FLOAT_EQ(X(bones[0]), 0.0f);   // id 15: a face bone
    EXPECT_FLOAT_EQ(X(bones[1]), 0.0f);   // id 28
    EXPECT_FLOAT_EQ(X(bones[2]), 4.0f);   // id 29
    EXPECT_FALSE(BlendAnimation::animateFace);

    root->type = OBJT_STATIC;
    BlendAnimateHierarchy(root, times, 1.0f);
    EXPECT_FLOAT_EQ(X(bones[0]), 4.0f);
    EXPECT_FLOAT_EQ(X(bones[1]), 4.0f);
    EXPECT_FALSE(BlendAnimation::animateFace);   // restored after the walk

    root->type = OBJT_CHARACTER;
    bones[0]->mat = Matrix(true);
    BlendAnimation::animateFace = true;   // a cinematic
    BlendAnimateHierarchy(root, times, 1.0f);
    EXPECT_FLOAT_EQ(X(bones[0]), 4.0f);
    root->Delete();
}

// ---------------------------------------------------------------------------
// Walks

struct Tree
{
    // root (handler, no animation) with children a (and its child a1) and b.
    Tree(AnimBundle* ends, u16 length)
    {
        root = new Object(Listener_mh);
        a = new Object;
        a1 = new Object;
        b = new Object;
        root->Attach(a);
        root->Attach(b);
        a->Attach(a1);
        for (Object* o : {a, a1, b}) {
            o->mat = Matrix(true);
            o->blendAnim = new BlendAnimation(o, ends, 0, length, 0, 0);
        }
    }
    Object *root, *a, *a1, *b;
};

TEST_F(BlendTest, LoopRepliesSteerTheWalk)
{
    LoadedGroup g(OneBundle({Ramp(10)}, 10));
    float times[2] = {10, 10};

    Tree t1(g.Bundle(0, 0), 10);
    LoopReply() = -1;   // stop below a
    EXPECT_EQ(BlendAnimateHierarchy(t1.root, times, 1.0f), 1);
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 1);   // from a only
    EXPECT_EQ(Heards()[0].obj, t1.a);
    EXPECT_FLOAT_EQ(X(t1.a), 10.0f);
    EXPECT_FLOAT_EQ(X(t1.a1), 0.0f);
    EXPECT_FLOAT_EQ(X(t1.b), 10.0f);
    t1.root->Delete();

    Heards().clear();
    Tree t2(g.Bundle(0, 0), 10);
    LoopReply() = -2;   // end the walk
    BlendAnimateHierarchy(t2.root, times, 1.0f);
    EXPECT_FLOAT_EQ(X(t2.a), 10.0f);
    EXPECT_FLOAT_EQ(X(t2.b), 0.0f);
    t2.root->Delete();
}

TEST_F(BlendTest, LoopHandlerMayDeleteTheObject)
{
    {
        LoadedGroup g(OneBundle({Ramp(10)}, 10));
        Object* root = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
        Object* child = new Object;
        child->blendAnim = new BlendAnimation(child, g.Bundle(0, 0), 0, 10, 0, 0);
        root->Attach(child);
        std::vector<std::pair<void*, u32>> poison;
        OnHeard() = [&](Object* o, OBJMESSAGE msg, AnimEventMessage*) {
            if (msg != OM_ANIMLOOP)
                return;
            o->Delete();
            for (u32 size : {32u, 64u, 112u, 128u, 256u})
                for (int i = 0; i < 40; i++) {
                    void* p = SmallAllocator::Alloc16(size);
                    memset(p, 0xA5, size);
                    poison.push_back({p, size});
                }
        };
        float times[2] = {10, 10};
        RCptr<Object> keep(root);
        BlendAnimateHierarchy(root, times, 1.0f);
        EXPECT_TRUE(root->IsDead());
        for (auto& p : poison)
            SmallAllocator::Free16(p.first, p.second);
    }
    ExpectHeapRestored();
}

TEST_F(BlendTest, WalkersAndSlotEditorsTreatSelfAnimatingObjectsDifferently)
{
    LoadedGroup g(OneBundle({Ramp(10)}, 10));
    Tree t(g.Bundle(0, 0), 10);
    t.a->flags |= OBJF_SELFANIMATING;
    float times[2] = {5, 5};
    BlendAnimateHierarchy(t.root, times, 1.0f);
    EXPECT_FLOAT_EQ(X(t.a), 0.0f);    // it animates itself
    EXPECT_FLOAT_EQ(X(t.a1), 0.0f);   // and its sub-tree with it
    EXPECT_FLOAT_EQ(X(t.b), 5.0f);

    SetBlendFactorHierarchy(t.a, 0, 0.25f);   // a itself is passed over, a1 is not
    EXPECT_FLOAT_EQ(t.a->blendAnim->blendAmount, 1.0f);
    EXPECT_FLOAT_EQ(t.a1->blendAnim->blendAmount, 0.25f);
    EXPECT_FLOAT_EQ(t.b->blendAnim->blendAmount, 0.25f);   // a's later sibling
    t.root->Delete();
}

// ---------------------------------------------------------------------------
// Slot editors

TEST_F(BlendTest, SetBaseMovesTheSlotWithoutSharingCursors)
{
    {
        AniGroup grp = OneBundle({Ramp(10)}, 10);
        AniChar other;
        other.length = 20;
        other.bundles.push_back(AniBundle{0, {PosStream({{0, {7, 0, 0}}})}});
        grp.chars.push_back(std::move(other));
        LoadedGroup g(grp);
        Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
        BlendAnimation* b = obj->blendAnim;
        ASSERT_TRUE(b->AddAnim(g.Bundle(1, 0), 3, 0.5f, 20, 0, 4));
        AnimRtStream** moved = b->GetAnim(1)->pStream;
        SetBaseBlendAnimHierarchy(obj, 1);
        EXPECT_EQ(b->animCnt, 1);
        EXPECT_EQ(b->data, g.Bundle(1, 0));
        EXPECT_EQ(b->animoffset, 3);
        EXPECT_EQ(b->sndBank, 4);
        EXPECT_EQ(b->pStream, moved);
        EXPECT_NE(b->GetAnim(1)->pStream, moved);
        Pass(obj, 5.0f);
        EXPECT_FLOAT_EQ(X(obj), 7.0f);
        SetBaseBlendAnimHierarchy(obj, 1);   // out of range now: ignored
        EXPECT_EQ(b->data, g.Bundle(1, 0));
        obj->Delete();   // every cursor freed once
    }
    ExpectHeapRestored();
}

TEST_F(BlendTest, SwapKeepsTheHoldFlagAtTheDestination)
{
    LoadedGroup g(OneBundle({Ramp(10)}, 10));
    Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 11);
    BlendAnimation* b = obj->blendAnim;
    ASSERT_TRUE(b->AddAnim(g.Bundle(0, 0), 22, 0.5f, 10, 0, -1));
    b->GetAnim(1)->flags |= ANIMF_NORELPOS;
    SwapBlendAnimHierarchy(obj, 1, 0);
    EXPECT_EQ(b->animoffset, 22);
    EXPECT_EQ(b->GetAnim(1)->animoffset, 11);
    EXPECT_TRUE(b->GetAnim(1)->flags & ANIMF_NORELPOS);   // stayed with slot 1
    EXPECT_TRUE(b->flags & ANIMF_NORELPOS);               // and moved with the state
    EXPECT_FLOAT_EQ(b->blendAmount, 0.5f);
    SwapBlendAnimHierarchy(obj, 0, 2);   // ignored
    EXPECT_EQ(b->animoffset, 22);
    obj->Delete();
}

TEST_F(BlendTest, CollapseAndFreezeHoldAPose)
{
    LoadedGroup g(OneBundle({Ramp(10)}, 10));
    Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
    BlendAnimation* b = obj->blendAnim;
    Matrix m = RotY(0.5f);
    m.w = Vector(3, 4, 5, 1);
    b->Collapse(m, 0.0f, 0, 1, 0);   // slot 1 not in use: ignored
    EXPECT_FALSE(b->flags & ANIMF_FROZEN);
    obj->mat = m;
    CollapseAnimSlotHierarchy(obj, 0.0f, 0, 0, 0);
    EXPECT_TRUE(b->flags & ANIMF_FROZEN);
    obj->mat = Matrix(true);
    Pass(obj, 5.0f);
    EXPECT_TRUE(Near(obj->mat.w, Vector(3, 4, 5, 1)));
    EXPECT_TRUE(Near(b->lastEval.ang, Quaternion(m)));

    Object* rel = NewAnimated(g.Bundle(0, 0), 10, 0, 0, 0x80);
    Object* sib = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
    rel->sibling = sib;
    FreezeAnimHierarchy(rel, 0, false);
    EXPECT_TRUE(rel->blendAnim->flags & ANIMF_FROZEN);
    EXPECT_TRUE(Near(rel->blendAnim->lastEval.pos, Vector(0, 0, 0, 0)));
    EXPECT_FALSE(sib->blendAnim->flags & ANIMF_FROZEN);
    sib->mat.w = Vector(8, 0, 0, 1);
    FreezeAnimHierarchy(rel, 0, true);
    EXPECT_TRUE(sib->blendAnim->flags & ANIMF_FROZEN);
    EXPECT_TRUE(Near(sib->blendAnim->lastEval.pos, Vector(8, 0, 0, 1)));
    rel->sibling = nullptr;
    rel->Delete();
    sib->Delete();
    obj->Delete();
}

TEST_F(BlendTest, VelocityBlendsTheSlotsInUse)
{
    AniGroup grp = OneBundle({Ramp(10)}, 10);
    AniChar fast;
    fast.length = 10;
    fast.bundles.push_back(AniBundle{0, {PosStream({{0, {0, 0, 0}}, {10, {30, 0, 0}}})}});
    grp.chars.push_back(std::move(fast));
    LoadedGroup g(grp);
    Object* obj = NewAnimated(g.Bundle(0, 0), 10, 0, 0);
    BlendAnimation* b = obj->blendAnim;
    ASSERT_TRUE(b->AddAnim(g.Bundle(1, 0), 0, 0.5f, 10, 0, -1));
    EXPECT_FLOAT_EQ(b->Velocity()[0], 2.0f);   // 1 + (3 - 1) * 0.5
    b->ClearSlot(1);
    EXPECT_FLOAT_EQ(b->Velocity()[0], 1.0f);   // the spare does not count
    obj->Delete();
}

}  // namespace
