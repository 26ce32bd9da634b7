#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/lib/p2b.h"

#include "ZevEngine2/anim_events.h"
#include "ZevEngine2/anim_support.h"
#include "ZevEngine2/object_support.h"

using namespace animtest;

namespace {

class ObjectAnim : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedClock = Animation::anim_time;
        before = TotalFree();
    }
    void TearDown() override
    {
        for (Object* r : roots)
            r->Delete();
        Animation::anim_time = savedClock;
        EXPECT_EQ(TotalFree(), before) << "heap or pool memory left behind";
    }

    // An object of node `node`, with an empty blend animation unless told
    // otherwise, attached under parent (or kept as a root to delete).
    Object* Obj(FakeModel& m, int node, Object* parent, bool anim = true)
    {
        Object* o = new Object(Listener_mh);
        o->mat = Matrix(true);
        m.Dress(o, node);
        if (anim)
            o->blendAnim = new BlendAnimation(o, nullptr, 0, 0, 0, 0);
        if (parent != nullptr)
            parent->Attach(o);
        else
            roots.push_back(o);
        return o;
    }

    std::vector<Object*> roots;
    AnimTime savedClock;
    unsigned before = 0;
};

// One animation whose bundles drive the given node ids, each a constant
// position (x = id) and a rotation from identity to 1 radian about y over
// frames 0..10.
AniGroup File(std::vector<u16> ids, u16 length = 100, bool loops = false)
{
    AniGroup g;
    AniChar c;
    c.length = length;
    c.flags = loops ? 1 : 0;
    for (u16 id : ids)
    {
        AniStream rot(ANIM_TYPE_QUAT);
        rot.Rot(0, Quaternion(true)).Rot(10, RotYQuat(1.0f));
        c.bundles.push_back(AniBundle{id, {PosStream({{0, {float(id), 0, 0}}}), rot}});
    }
    g.chars.push_back(std::move(c));
    return g;
}

AnimBundle* Slot(Object* o, int i)
{
    return o->blendAnim->GetAnim(i)->data;
}

// ---------------------------------------------------------------------------
// Animation files

TEST_F(ObjectAnim, SetAnimFileMatchesBundlesToNodesByIdInWalkOrder)
{
    LoadedGroup g(File({1, 2, 5, 9, 0xFFFF}));
    FakeModel m({2, 5, 7, 9, 0xFFFF});
    Object* o[5];
    for (int i = 0; i < 5; i++)
        o[i] = Obj(m, i, nullptr);
    AnimChar* a = g.Char(0);
    int n = 0;
    EXPECT_TRUE(SetAnimFile(o[0], a, 30, &n, false, 0.5f, 7));   // bundle id 1 passed over
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Slot(o[0], 0), g.Bundle(0, 1));
    EXPECT_EQ(o[0]->blendAnim->animoffset, 30);
    EXPECT_EQ(o[0]->blendAnim->blendAmount, 0.5f);
    EXPECT_EQ(o[0]->blendAnim->sndBank, 7);
    EXPECT_TRUE(SetAnimFile(o[1], a, 30, &n, false, 1.0f, 7));
    // Node 7 has no bundle: it gets an empty slot and the index waits for 9.
    EXPECT_FALSE(SetAnimFile(o[2], a, 30, &n, false, 1.0f, 7));
    EXPECT_EQ(o[2]->blendAnim->animCnt, 1);
    EXPECT_EQ(Slot(o[2], 0), nullptr);
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(SetAnimFile(o[3], a, 30, &n, false, 1.0f, 7));
    EXPECT_EQ(Slot(o[3], 0), g.Bundle(0, 3));
    // A node without an animation id takes nothing, not even bundle 0xFFFF.
    EXPECT_FALSE(SetAnimFile(o[4], a, 30, &n, false, 1.0f, 7));
    EXPECT_EQ(Slot(o[4], 0), nullptr);
    // Bundles used up: an empty second slot; both slots in use: nothing.
    EXPECT_FALSE(SetAnimFile(o[0], a, 30, &n, false, 1.0f, 7));
    EXPECT_EQ(o[0]->blendAnim->animCnt, 2);
    n = 1;
    EXPECT_FALSE(SetAnimFile(o[0], a, 30, &n, false, 1.0f, 7));
    EXPECT_EQ(o[0]->blendAnim->animCnt, 2);
    // Emptied first, it takes the bundle again.
    n = 0;
    EXPECT_TRUE(SetAnimFile(o[0], a, 0, &n, true, 1.0f, 7));
    EXPECT_EQ(o[0]->blendAnim->animCnt, 1);
    EXPECT_FALSE(SetAnimFile(nullptr, a, 0, &n, false, 1.0f, 0));
    EXPECT_FALSE(SetAnimFile(o[0], nullptr, 0, &n, false, 1.0f, 0));
}

TEST_F(ObjectAnim, HierarchyWalkPassesOverSelfAnimatingSubtreesOtherFilesAndObjectsWithoutAnimation)
{
    LoadedGroup g(File({1, 2, 3, 4, 5, 6, 7, 8}));
    FakeModel m({1, 2, 3, 4, 5, 6, 7, 8});
    FakeModel other({6});
    Object* root = Obj(m, 0, nullptr);
    Object* a = Obj(m, 1, root);
    Object* a1 = Obj(m, 2, a);
    Object* s = Obj(m, 3, root);
    Object* s1 = Obj(m, 4, s);
    Object* b = Obj(other, 0, root);
    Object* c = Obj(m, 6, root, false);
    Object* d = Obj(m, 7, root);
    s->flags |= OBJF_SELFANIMATING;

    root->SetAnimFileHierarchy(g.Char(0), 12, true, 1.0f, 3);
    EXPECT_EQ(Slot(root, 0), g.Bundle(0, 0));
    EXPECT_EQ(Slot(a, 0), g.Bundle(0, 1));
    EXPECT_EQ(Slot(a1, 0), g.Bundle(0, 2));
    EXPECT_EQ(Slot(d, 0), g.Bundle(0, 7));
    EXPECT_EQ(d->blendAnim->animoffset, 12);
    for (Object* untouched : {s, s1, b})
        EXPECT_EQ(untouched->blendAnim->animCnt, 0);
    EXPECT_EQ(c->blendAnim, nullptr);

    // The other walkers leave the same objects alone and cope with c.
    root->OffsetAnimation(10);
    EXPECT_EQ(a1->blendAnim->animoffset, 22);
    EXPECT_EQ(s1->blendAnim->animoffset, 0);
    root->SetPoseBlendHierarchy(0.5f, false);
    EXPECT_EQ(root->blendAnim->GetPoseBlend(), 0.0f);
    EXPECT_EQ(a->blendAnim->GetPoseBlend(), 0.5f);
    EXPECT_EQ(s->blendAnim->GetPoseBlend(), 0.0f);
    EXPECT_EQ(b->blendAnim->GetPoseBlend(), 0.0f);
    root->PoseAnimHierarchyToFrame(g.Char(0), 5.0f, true, 1.0f);
    EXPECT_EQ(s1->blendAnim->pose.flags, 0);
    EXPECT_EQ(d->blendAnim->pose.flags, ANIMKEY_POS | ANIMKEY_ROT);
    root->AddBlendAnimHierarchy(0, 0, 1.0f);   // no animation table: empty slots
    EXPECT_EQ(a->blendAnim->animCnt, 2);
    EXPECT_EQ(s->blendAnim->animCnt, 0);
    root->ClearBlendAnimHierarchy();
    EXPECT_EQ(root->blendAnim->animCnt, 0);
    EXPECT_EQ(d->blendAnim->animCnt, 0);

    // A self-animating root is not started itself; its children are.
    root->flags |= OBJF_SELFANIMATING;
    root->SetAnimFileHierarchy(g.Char(0), 0, true, 1.0f, 3);
    EXPECT_EQ(root->blendAnim->animCnt, 0);
    EXPECT_EQ(Slot(a, 0), g.Bundle(0, 1));
}

TEST_F(ObjectAnim, CrossFadeHandsOverFromTheOldAnimationToTheNew)
{
    LoadedGroup ga(File({1, 2}, 100, true));
    AniGroup second = File({1, 2}, 100, true);
    for (AniBundle& bundle : second.chars[0].bundles)
        bundle.streams[0] = PosStream({{0, {5, 0, 0}}});
    LoadedGroup gb(second);
    FakeModel m({1, 2});

    Object* fresh = Obj(m, 0, nullptr);
    fresh->XFadeAnimFileHierarchy(ga.Char(0), 4, 0, -1, true);   // nothing playing: no fade
    EXPECT_EQ(fresh->blendAnim->animCnt, 1);
    EXPECT_EQ(fresh->blendAnim->blendAmount, 1.0f);
    EXPECT_EQ(fresh->blendAnim->flags & ANIMF_XFADE, 0);

    Object* root = Obj(m, 0, nullptr);
    Object* kid = Obj(m, 1, root);
    root->SetAnimFileHierarchy(ga.Char(0), 0, true, 1.0f, -1);
    AnimateHierarchy(root, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(root->mat.w[0], 1.0f);
    root->XFadeAnimFileHierarchy(gb.Char(0), 4, 1, -1, true);
    for (Object* o : {root, kid})
    {
        EXPECT_EQ(o->blendAnim->animCnt, 2);
        EXPECT_EQ(Slot(o, 0), gb.Bundle(0, o == root ? 0 : 1));
        EXPECT_EQ(Slot(o, 1), ga.Bundle(0, o == root ? 0 : 1));
        EXPECT_EQ(o->blendAnim->GetAnim(1)->blendAmount, 1.0f);
        EXPECT_EQ(o->blendAnim->xfadeSpeed, 4);
        EXPECT_EQ(o->blendAnim->flags & (ANIMF_XFADE | ANIMF_XFADEHOLD), ANIMF_XFADE | ANIMF_XFADEHOLD);
    }
    // The old pose (x 1) gives way to the new (x 5) by a quarter a frame.
    const float expect[4] = {2.0f, 3.0f, 4.0f, 5.0f};
    for (int i = 0; i < 4; i++)
    {
        AnimateHierarchy(root, 2.0f + i, 1.0f);
        EXPECT_FLOAT_EQ(root->mat.w[0], expect[i]) << "pass " << i;
    }
    EXPECT_EQ(root->blendAnim->animCnt, 1);
    EXPECT_EQ(kid->blendAnim->flags & ANIMF_XFADE, 0);
}

TEST_F(ObjectAnim, CrossFadeFreezesTwoRunningSlotsAndKeepsToItsOwnHierarchy)
{
    LoadedGroup g(File({1, 2, 3}));
    FakeModel m({1, 2, 3});
    Object* root = Obj(m, 0, nullptr);
    Object* x = Obj(m, 1, root);
    Object* y = Obj(m, 2, root);   // x's sibling: not part of x's hierarchy
    Object* selfAnim = Obj(m, 2, x);
    selfAnim->flags |= OBJF_SELFANIMATING;
    for (Object* o : {x, y, selfAnim})
    {
        o->blendAnim->AddAnim(g.Bundle(0, 0), 0, 1.0f, 100, 0, -1);
        o->blendAnim->AddAnim(g.Bundle(0, 1), 0, 0.3f, 100, 0, -1);
    }
    x->mat.SetTrans(VectorPos(7, 8, 9));

    x->XFadeAnimFileHierarchy(g.Char(0), 6, 0, -1, false);
    EXPECT_EQ(Slot(x, 0), g.Bundle(0, 1));
    Animation* old = x->blendAnim->GetAnim(1);
    EXPECT_TRUE(old->flags & ANIMF_FROZEN);
    EXPECT_TRUE(Near(old->lastEval.pos, Vector(7, 8, 9, 1))) << Show(old->lastEval.pos);
    EXPECT_EQ(x->blendAnim->flags & ANIMF_XFADEHOLD, 0);
    for (Object* o : {y, selfAnim})
    {
        EXPECT_EQ(o->blendAnim->animCnt, 2);
        EXPECT_EQ(o->blendAnim->flags & ANIMF_FROZEN, 0);
        EXPECT_EQ(Slot(o, 0), g.Bundle(0, 0));
        EXPECT_EQ(o->blendAnim->GetAnim(1)->blendAmount, 0.3f);
        EXPECT_EQ(o->blendAnim->xfadeSpeed, 0);
    }
}

TEST_F(ObjectAnim, PoseToFrameEvaluatesOrBlendsThePoseKeys)
{
    LoadedGroup g(File({1, 2}));
    FakeModel m({1, 2});
    Object* root = Obj(m, 0, nullptr);
    Object* kid = Obj(m, 1, root);
    // Rotations run from identity to 1 radian over frames 0..10.
    Quaternion halfway = SLERP(Quaternion(true), RotYQuat(1.0f), 0.5f);
    root->PoseAnimHierarchyToFrame(g.Char(0), 5.0f, false, 1.0f);
    EXPECT_EQ(root->blendAnim->pose.flags, 0);
    AnimRTKey& pose = kid->blendAnim->pose;
    EXPECT_EQ(pose.flags, ANIMKEY_POS | ANIMKEY_ROT);
    EXPECT_TRUE(Near(pose.pos, Vector(2, 0, 0, 1))) << Show(pose.pos);   // the kid's own bundle
    EXPECT_TRUE(Near(pose.ang, halfway)) << Show(pose.ang);

    pose.pos = Vector(0, 0, 0, 1);
    pose.ang = Quaternion(true);
    root->PoseAnimHierarchyToFrame(g.Char(0), 10.0f, false, 0.5f);
    EXPECT_TRUE(Near(pose.pos, Vector(1, 0, 0, 1))) << Show(pose.pos);
    EXPECT_TRUE(Near(pose.ang, halfway)) << Show(pose.ang);
}

TEST_F(ObjectAnim, StartMatrixIsThePoseTheAnimationOpensWith)
{
    AniStream rot(ANIM_TYPE_COMP_QUAT);
    rot.Rot(0, RotYQuat(0.7f)).Rot(20, Quaternion(true));
    AniStream pos = PosStream({{0, {3, 4, 5}}, {20, {0, 0, 0}}});
    LoadedGroup g(OneBundle({pos, rot}, 20, false, 4));
    FakeModel m({4, 5});
    Object* o = Obj(m, 0, nullptr);
    o->mat.SetTrans(VectorPos(1, 1, 1));
    Matrix start = o->GetAnimStartMatrix(g.Char(0));

    float times[2] = {0.0f, 0.0f};
    BlendAnimation played(o, g.Bundle(0, 0), 0, 20, 0, 0);
    played.Animate(o, times, 1, 0.0f, nullptr);
    for (int r = 0; r < 4; r++)
        EXPECT_TRUE(Near(start[r], o->mat[r])) << r << ": " << Show(start[r]) << " vs " << Show(o->mat[r]);

    // A stream without keys does not count.
    LoadedGroup trailing(OneBundle({pos, AniStream(ANIM_TYPE_POS)}, 20, false, 4));
    EXPECT_TRUE(Near(o->GetAnimStartMatrix(trailing.Char(0)).w, Vector(3, 4, 5, 1)));

    Object* unmatched = Obj(m, 1, nullptr);
    unmatched->mat.SetTrans(VectorPos(1, 2, 3));
    Matrix same = unmatched->GetAnimStartMatrix(g.Char(0));
    for (int r = 0; r < 4; r++)
        EXPECT_TRUE(Near(same[r], unmatched->mat[r]));
}

// ---------------------------------------------------------------------------
// The model file's own animation table

class ModelAnims
{
public:
    ModelAnims()
    {
        tools::P2BFile f;
        auto node = [&](int parent, u16 animation, u16 id) {
            NODE n = tools::MakeNode(MDL_NOGEOM, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), id);
            n.animation = animation;
            return f.AddNode(parent, n);
        };
        int root = node(-1, 0, 1);
        node(root, 1, 2);
        node(root, 0xFFFF, 3);
        node(root, 2, 4);
        for (u16 i = 0; i < 3; i++)
        {
            AniStream s = PosStream({{0, {float(i), 0, 0}}});
            f.anims.push_back(tools::P2BAnimNode{u16(i & 1), u16(10 + i), i, {{ANIM_TYPE_POS, 1, s.Keys()}}});
        }
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        store.resize(bytes.size() / 16 + 1);
        memcpy(store.data(), bytes.data(), bytes.size());
        mf = {};
        mf.SetBuffer(store.data());
        EXPECT_TRUE(mf.Init(u32(bytes.size())));
    }
    AnimBundle* Rec(int i) { return mf.anmfile[i]->Bundle(); }

    std::vector<u128> store;
    MDLFILE mf;
};

TEST_F(ObjectAnim, ModelAnimationsComeFromTheTableWithinItsBounds)
{
    ModelAnims file;
    Object* root = file.mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(root, nullptr);
    roots.push_back(root);
    Object* kid = root->FindSubObject(2);
    Object* none = root->FindSubObject(3);
    Object* selfAnim = root->FindSubObject(4);
    selfAnim->flags |= OBJF_SELFANIMATING;
    EXPECT_EQ(root->GetAnimRec(2), file.mf.anmfile[2]);
    EXPECT_EQ(root->GetAnimRec(3), nullptr);
    EXPECT_EQ(kid->GetAnimRec(-2), nullptr);
    EXPECT_EQ(none->GetAnimRec(0), nullptr);

    Animation::anim_time = AnimTime(0x01234567);
    root->blendAnim = new BlendAnimation(root, nullptr, 0, 0, 0, 0);
    BlendAnimation* kept = root->blendAnim;
    root->AllocBlendAnimHierarchy(0x80);
    EXPECT_EQ(root->blendAnim, kept);
    EXPECT_TRUE(kid->blendAnim->flags == 0 && selfAnim->blendAnim != nullptr);
    EXPECT_EQ(kid->blendAnim->animoffset, 0x2345);
    delete root->blendAnim;
    root->blendAnim = nullptr;
    root->AllocBlendAnimHierarchy(0x80);
    EXPECT_EQ(root->blendAnim->flags & ANIMF_RELATIVE, ANIMF_RELATIVE);

    kid->blendAnim->flags |= ANIMF_FROZEN;
    root->blendAnim->flags &= ~ANIMF_REBASE;
    root->SetAnimHierarchy(1, 40);
    EXPECT_EQ(Slot(root, 0), file.Rec(1));
    EXPECT_EQ(root->blendAnim->animLen, 11 | ANIM_LEN_LOOP);
    EXPECT_EQ(root->blendAnim->flags & ANIMF_REBASE, ANIMF_REBASE);
    EXPECT_EQ(Slot(kid, 0), file.Rec(2));
    EXPECT_EQ(kid->blendAnim->animCnt, 1);
    EXPECT_EQ(kid->blendAnim->flags & ANIMF_FROZEN, 0);
    EXPECT_EQ(none->blendAnim->animCnt, 0);
    EXPECT_EQ(selfAnim->blendAnim->animCnt, 0);

    root->AddBlendAnimHierarchy(1, 5, 0.25f);   // the kid's entry 1 + 1 is the last
    Animation* added = kid->blendAnim->GetAnim(1);
    ASSERT_EQ(kid->blendAnim->animCnt, 2);
    EXPECT_EQ(added->data, file.Rec(2));
    EXPECT_EQ(added->blendAmount, 0.25f);
    EXPECT_EQ(added->animLen, 0xFFFF);
    EXPECT_EQ(added->sndBank, -1);
    EXPECT_EQ(none->blendAnim->animCnt, 1);   // an empty slot keeps it in step
    EXPECT_EQ(none->blendAnim->GetAnim(0)->data, nullptr);
}

}  // namespace
