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

using AnimationTest = AnimObjectTest;

AniStream Rotations(AnimType type, std::vector<std::pair<u16, float>> keys)
{
    AniStream s(type);
    for (auto& k : keys)
        s.Rot(k.first, RotYQuat(k.second));
    return s;
}

int CountNull(const Animation& a)
{
    int n = 0;
    for (int i = 0; i < a.streamCnt; i++)
        n += a.pStream[i] == nullptr;
    return n;
}

// ---------------------------------------------------------------------------
// Set and the cursors

TEST_F(AnimationTest, SetReusesTheRotationCursorAcrossKinds)
{
    {
        AniGroup grp;
        for (AnimType t : {ANIM_TYPE_COMP_QUAT, ANIM_TYPE_QUAT}) {
            AniChar c;
            c.length = 10;
            c.bundles.push_back(AniBundle{0, {Rotations(t, {{0, 0.0f}, {10, 1.0f}})}});
            grp.chars.push_back(std::move(c));
        }
        LoadedGroup g(grp);
        Animation* a = new Animation;
        a->Set(g.Char(0)->GetBundle(0), 10, 0, 0);
        ASSERT_EQ(a->streamCnt, 1);
        AnimRtStream* cursor = a->pStream[0];
        EXPECT_EQ(cursor->type, ANIM_TYPE_COMP_QUAT);
        a->Set(g.Char(1)->GetBundle(0), 10, 0, 0);
        EXPECT_EQ(a->streamCnt, 1);
        EXPECT_EQ(a->pStream[0], cursor);
        EXPECT_EQ(cursor->type, ANIM_TYPE_QUAT);
        // The rotation seeds the reference pose of relative motion.
        EXPECT_TRUE(Near(a->lastEval.ang, RotYQuat(0.0f)));
        delete a;
    }
    ExpectHeapRestored();
}

TEST_F(AnimationTest, SetKeepsOnlyTheLastingFlags)
{
    Animation a;
    a.flags = 0xFFFF;
    a.Set(nullptr, 20, 1, 7);
    EXPECT_EQ(a.flags, 0xFF45);
    EXPECT_EQ(a.animLen, 20 | ANIM_LEN_LOOP);
    EXPECT_EQ(a.animoffset, 7);
    EXPECT_TRUE(a.IsLooping());
}

TEST_F(AnimationTest, CameraEffectStreamGetsNoCursorAndIsSkipped)
{
    {
        AniStream fx(ANIM_TYPE_CAMFX);
        fx.CamFX(0, 1.0f, 2.0f, 3, 4);
        LoadedGroup g(OneBundle({std::move(fx), PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}})}, 10));
        Object* obj = new Object;
        obj->mat = Matrix(true);
        obj->blendAnim = new BlendAnimation(obj, g.Bundle(0, 0), 0, 10, 0, 0);
        EXPECT_EQ(obj->blendAnim->streamCnt, 2);
        EXPECT_EQ(CountNull(*obj->blendAnim), 1);
        AnimateObject(obj, 4.0f, 1);
        EXPECT_FLOAT_EQ(obj->mat.w[0], 4.0f);
        obj->Delete();
    }
    ExpectHeapRestored();
}

TEST_F(AnimationTest, FreeingTwiceIsHarmless)
{
    {
        LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {1, 0, 0}}})}, 10));
        Animation a;
        a.Set(g.Bundle(0, 0), 10, 0, 0);
        a.FreeStreamPtrs();
        a.FreeStreamPtrs();
        EXPECT_EQ(a.streamCnt, 0);
        // and the destructor frees nothing more
    }
    ExpectHeapRestored();
}

// ---------------------------------------------------------------------------
// AnimateObject

TEST_F(AnimationTest, AbsoluteStreamsSetTheMatrix)
{
    {
        AniStream scale(ANIM_TYPE_SCALE);
        scale.Vec(0, {2, 2, 2});
        LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {10, 20, 30}}}),
                                 Rotations(ANIM_TYPE_QUAT, {{0, 0.0f}, {10, 1.0f}}), std::move(scale)},
                                10));
        Object* obj = new Object;
        obj->mat = Matrix(true);
        obj->blendAnim = new BlendAnimation(obj, g.Bundle(0, 0), 0, 10, 0, 100);
        AnimateObject(obj, 105.0f, 1);
        EXPECT_TRUE(Near(obj->mat.w, Vector(5, 10, 15, 1)));
        Matrix r = Matrix(SLERP(RotYQuat(0.0f), RotYQuat(1.0f), 0.5f));
        VectorXYZ s = obj->mat.GetScale();
        EXPECT_NEAR(s[0], 2.0f, 1e-5f);
        EXPECT_NEAR(s[2], 2.0f, 1e-5f);
        EXPECT_TRUE(Near(obj->mat.z / 2.0f, Vector(Normalise(r.z.xyz()), 0.0f), 1e-4f))
            << Show(obj->mat.z) << " vs " << Show(r.z);
        obj->Delete();
    }
    ExpectHeapRestored();
}

TEST_F(AnimationTest, RelativeLoopingAnimationStopsMovingPastItsLength)
{
    {
        LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}})}, 10, true));
        Object* obj = new Object;
        obj->mat = RotY(1.5707964f);   // its x axis is the world's -z
        obj->blendAnim = new BlendAnimation(obj, g.Bundle(0, 0), 0x80, 10, 1, 0);
        obj->blendAnim->flags = ANIMF_RELATIVE;   // measure from the first key
        AnimateObject(obj, 5.0f, 1);
        EXPECT_TRUE(Near(obj->mat.w, Vector(obj->mat.x.xyz() * 5.0f, 1.0f), 1e-4f)) << Show(obj->mat.w);
        AnimateObject(obj, 10.0f, 1);
        Vector at10 = obj->mat.w;
        EXPECT_TRUE(Near(at10, Vector(obj->mat.x.xyz() * 10.0f, 1.0f), 1e-4f)) << Show(at10);
        for (float t : {11.0f, 12.0f, 15.0f, 19.0f}) {
            AnimateObject(obj, t, 1);
            EXPECT_TRUE(Near(obj->mat.w, at10)) << "t " << t << ": " << Show(obj->mat.w);
        }
        EXPECT_TRUE(obj->blendAnim->flags & ANIMF_REBASE);
        obj->Delete();
    }
    ExpectHeapRestored();
}

TEST_F(AnimationTest, AnimateHierarchyPassesOverSelfAnimatingObjects)
{
    {
        LoadedGroup g(OneBundle({PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}})}, 10));
        Object* a = new Object;
        Object* b = new Object;
        Object* c = new Object;
        a->sibling = b;
        b->Attach(c);
        for (Object* o : {a, b, c}) {
            o->mat = Matrix(true);
            o->blendAnim = new BlendAnimation(o, g.Bundle(0, 0), 0, 10, 0, 0);
        }
        b->flags |= OBJF_SELFANIMATING;
        EXPECT_EQ(AnimateHierarchy1(a, 3.0f, 1), 1);
        EXPECT_FLOAT_EQ(a->mat.w[0], 3.0f);
        EXPECT_FLOAT_EQ(b->mat.w[0], 0.0f);
        EXPECT_FLOAT_EQ(c->mat.w[0], 0.0f);   // the whole sub-tree
        a->sibling = nullptr;
        b->Delete();
        a->Delete();
    }
    ExpectHeapRestored();
}

// ---------------------------------------------------------------------------
// Read-outs

TEST_F(AnimationTest, GetFloatFallsBackToTheDefault)
{
    AniStream zoom(ANIM_TYPE_ZOOM);
    zoom.Float(0, 1.0f).Float(10, 2.0f);
    LoadedGroup g(OneBundle({std::move(zoom), PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}})}, 10));
    Object obj;
    obj.mat = Matrix(true);
    BlendAnimation* b = new BlendAnimation(&obj, g.Bundle(0, 0), 0, 10, 0, 0);
    obj.blendAnim = b;
    AnimateObject(&obj, 5.0f, 1);
    EXPECT_FLOAT_EQ(b->GetZoom(1.6f), 1.5f);
    EXPECT_FLOAT_EQ(b->GetNearZ(1.6f), 1.6f);
    EXPECT_FLOAT_EQ(b->GetFloat(ANIM_TYPE_POS, 1.6f), 1.6f);   // not a float stream
    unsigned short alpha = 1, scale = 1;
    EXPECT_EQ(b->GetBlur(&alpha, &scale), 0);
    // Velocity: the position segment's change per frame.
    EXPECT_TRUE(Near(Vector(b->Animation::Velocity(), 0.0f), Vector(1, 0, 0, 0)));
    obj.blendAnim = nullptr;
    delete b;
}

TEST_F(AnimationTest, SpeedIsTheRootMotionPerFrame)
{
    AniGroup grp;
    for (u16 first : {0, 10}) {
        AniChar c;
        c.length = 80;
        c.bundles.push_back(AniBundle{0, {PosStream({{first, {0, 0, 0}}, {u16(first + 30), {0, 0, 10}},
                                                     {u16(first + 60), {0, 0, 30}}})}});
        grp.chars.push_back(std::move(c));
    }
    grp.chars.push_back(AniChar{});   // no bundles
    {
        LoadedGroup g(grp);
        EXPECT_FLOAT_EQ(AnimFileGetSpeed(g.Char(0)), 0.5f);
        EXPECT_FLOAT_EQ(AnimFileGetSpeed(g.Char(1)), 0.5f);
        EXPECT_FLOAT_EQ(AnimFileGetSpeed(g.Char(2)), 0.0f);
    }
    ExpectHeapRestored();
}

// ---------------------------------------------------------------------------
// Instant keys

struct EventObject
{
    EventObject(AnimBundle* bundle, u16 length, u16 flags)
    {
        obj = new Object(Listener_mh);
        obj->mat = Matrix(true);
        obj->blendAnim = new BlendAnimation(obj, bundle, 0, length, flags, 0);
    }
    ~EventObject() { obj->Delete(); }
    // One world pass at clock frame t.
    void Pass(float t) { AnimateHierarchy(obj, t, 1.0f); }
    std::vector<int> Events() const
    {
        std::vector<int> e;
        for (const Heard& h : Heards())
            if (h.msg == OM_ANIMEVENT)
                e.push_back(h.event);
        return e;
    }

    Object* obj;
};

TEST_F(AnimationTest, FlagKeysChangeOnlyTheLowHalfOfTheFlags)
{
    AniStream ev(ANIM_TYPE_INSTANT);
    ev.Flag(1, 0x8000, 0).Flag(2, 0, 0xFFFF);
    LoadedGroup g(OneBundle({std::move(ev)}, 10));
    Object obj;
    obj.flags = 0x12348001;
    obj.blendAnim = new BlendAnimation(&obj, g.Bundle(0, 0), 0, 10, 0, 0);
    AnimateObject(&obj, 1.0f, 1);
    EXPECT_EQ(obj.flags, 0x12340001u);
    AnimateObject(&obj, 2.0f, 1);
    EXPECT_EQ(obj.flags, 0x1234FFFEu);
    delete obj.blendAnim;
    obj.blendAnim = nullptr;
}

TEST_F(AnimationTest, SoundKeysAreSteppedOverWhole)
{
    AniStream ev(ANIM_TYPE_INSTANT);
    tools::AniSound snd;
    snd.sound = 12;
    ev.Sound(1, snd).Event(1, 5).Sound(2, snd).Event(2, 6);
    LoadedGroup g(OneBundle({std::move(ev)}, 10));
    EventObject e(g.Bundle(0, 0), 10, 0);
    e.Pass(0.0f);
    EXPECT_TRUE(e.Events().empty());
    e.Pass(1.0f);
    EXPECT_EQ(e.Events(), std::vector<int>({5}));
    e.Pass(2.0f);
    EXPECT_EQ(e.Events(), std::vector<int>({5, 6}));
    EXPECT_EQ(Heards()[0].obj, e.obj);
    EXPECT_EQ(Heards()[0].slot, 0);
}

TEST_F(AnimationTest, TextureKeysWriteTheGeometrysChoiceWithinItsParameters)
{
    // A third key past the 14 choices, which the writer refuses: patched in.
    LoadedGroup g(OneBundle({AniStream(ANIM_TYPE_INSTANT).Texture(1, 0x8001, 0x1FF).Texture(2, 13, 7).Texture(3, 0, 1)},
                            10));
    AnimKeyTexture* keys = (AnimKeyTexture*)g.Stream(0, 0, 0)->pKeys;
    keys[2].index = 40;

    u8* block = (u8*)calloc(1, 128);
    GEOMETRY* geom = (GEOMETRY*)block;
    Object obj;
    obj.geom = geom;
    obj.blendAnim = new BlendAnimation(&obj, g.Bundle(0, 0), 0, 10, 0, 0);
    AnimateObject(&obj, 3.0f, 1);
    EXPECT_EQ(geom->params[3], 0xFF);   // choice 1, low 8 bits
    EXPECT_EQ(geom->params[15], 7);     // the last choice
    for (size_t i = size_t(geom->params - block) + 16; i < 128; i++)
        EXPECT_EQ(block[i], 0) << "byte " << i << " written past the parameters";
    obj.geom = nullptr;
    free(block);
    // Without geometry nothing is written and nothing fails.
    obj.blendAnim->Set(g.Bundle(0, 0), 10, 0, 0);
    AnimateObject(&obj, 3.0f, 1);
    delete obj.blendAnim;
    obj.blendAnim = nullptr;
}

TEST_F(AnimationTest, UnknownInstantKeyStallsTheStreamWithoutHanging)
{
    LoadedGroup g(OneBundle({AniStream(ANIM_TYPE_INSTANT).Event(1, 1).Event(2, 2).Event(3, 3)}, 10));
    AnimKeyInstant* second = (AnimKeyInstant*)(g.Stream(0, 0, 0)->pKeys + sizeof(AnimKeyEvent));
    second->type = 9;
    EventObject e(g.Bundle(0, 0), 10, 1);
    for (float t = 0; t < 35.0f; t += 1.0f)
        e.Pass(t);
    // The unknown key is never stepped over: the keys after it never fire.
    std::vector<int> events = e.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), 3), 0);
    EXPECT_GE(std::count(events.begin(), events.end(), 1), 1);
}

TEST_F(AnimationTest, LoopingEventsFireOncePerCycle)
{
    LoadedGroup g(OneBundle({AniStream(ANIM_TYPE_INSTANT).Event(0, 100).Event(10, 110)}, 20, true));
    EventObject e(g.Bundle(0, 0), 20, 1);
    std::vector<std::pair<int, int>> fired;   // (clock frame, event)
    float now = 0;
    OnHeard() = [&](Object*, OBJMESSAGE msg, AnimEventMessage* m) {
        if (msg == OM_ANIMEVENT)
            fired.push_back({int(now), m->event});
    };
    for (now = 0; now <= 45.0f; now += 1.0f)
        e.Pass(now);
    std::vector<std::pair<int, int>> expect = {{0, 100}, {10, 110}, {20, 100}, {30, 110}, {40, 100}};
    EXPECT_EQ(fired, expect);
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 2);
}

TEST_F(AnimationTest, EventsOfAnEndedAnimationDoNotFireAgain)
{
    LoadedGroup g(OneBundle({AniStream(ANIM_TYPE_INSTANT).Event(5, 7)}, 20));
    EventObject e(g.Bundle(0, 0), 20, 0);
    for (float t = 0; t <= 100.0f; t += 1.0f)
        e.Pass(t);
    EXPECT_EQ(e.Events(), std::vector<int>({7}));
    EXPECT_EQ(CountHeard(OM_ANIMLOOP), 1);
}

TEST_F(AnimationTest, EventHandlerMayRestartTheAnimation)
{
    {
        AniGroup grp = OneBundle({AniStream(ANIM_TYPE_INSTANT).Event(0, 1).Event(0, 2)}, 10);
        AniChar other;
        other.length = 10;
        other.bundles.push_back(AniBundle{0, {PosStream({{0, {0, 0, 0}}, {10, {10, 0, 0}}})}});
        grp.chars.push_back(std::move(other));
        LoadedGroup g(grp);
        {
            EventObject e(g.Bundle(0, 0), 10, 0);
            OnHeard() = [&](Object* o, OBJMESSAGE msg, AnimEventMessage*) {
                if (msg == OM_ANIMEVENT)
                    o->blendAnim->Set(g.Bundle(1, 0), 10, 0, 0);
            };
            e.Pass(0.0f);
            EXPECT_EQ(e.Events(), std::vector<int>({1}));   // the pass ended with the restart
            e.Pass(4.0f);
            EXPECT_FLOAT_EQ(e.obj->mat.w[0], 4.0f);         // the new animation plays
            EXPECT_EQ(e.Events(), std::vector<int>({1}));
        }
    }
    ExpectHeapRestored();
}

TEST_F(AnimationTest, EventHandlerMayDeleteTheWholeHierarchy)
{
    {
        LoadedGroup g(OneBundle({AniStream(ANIM_TYPE_INSTANT).Event(0, 1).Event(0, 2),
                                 PosStream({{0, {1, 0, 0}}, {10, {2, 0, 0}}})},
                                10));
        Object* root = new Object(Listener_mh);
        Object* child = new Object;
        Object* grandchild = new Object;
        Object* second = new Object;
        root->Attach(child);
        root->Attach(second);
        child->Attach(grandchild);
        for (Object* o : {child, grandchild, second})
            o->blendAnim = new BlendAnimation(o, g.Bundle(0, 0), 0, 10, 0, 0);
        // The freed records are at once reused and filled with garbage, so
        // that a pass going on with them would fail loudly.
        std::vector<std::pair<void*, u32>> poison;
        OnHeard() = [&](Object* o, OBJMESSAGE msg, AnimEventMessage*) {
            if (msg != OM_ANIMEVENT)
                return;
            o->Delete();   // the root, and with it everything below
            for (u32 size : {32u, 64u, 112u, 128u, 256u})
                for (int i = 0; i < 40; i++) {
                    void* p = SmallAllocator::Alloc16(size);
                    memset(p, 0xA5, size);
                    poison.push_back({p, size});
                }
        };
        RCptr<Object> keep(root);
        AnimateHierarchy(root, 0.0f, 1.0f);
        EXPECT_TRUE(root->IsDead());
        EXPECT_EQ(CountHeard(OM_ANIMEVENT), 1);
        for (auto& p : poison)
            SmallAllocator::Free16(p.first, p.second);
    }
    ExpectHeapRestored();
}

// ---------------------------------------------------------------------------
// Evaluated keys

TEST_F(AnimationTest, KeyFromAMatrixRebuildsIt)
{
    Matrix m = RotY(0.3f) * RotX(-0.7f);
    m.w = Vector(1, 2, 3, 1);
    AnimRTKey k;
    k.Set(m);
    EXPECT_EQ(k.flags, ANIMKEY_POS | ANIMKEY_ROT);
    EXPECT_TRUE(Near(k.scl, Vector(1, 1, 1, 0)));
    Matrix out(false);
    k.Evaluate(out);
    for (int r = 0; r < 4; r++)
        EXPECT_TRUE(Near(out[r], m[r], 1e-5f)) << "row " << r << ": " << Show(out[r]) << " vs " << Show(m[r]);
}

TEST_F(AnimationTest, KeyScaleGoesOnTheRotationRows)
{
    AnimRTKey k;
    k.flags = ANIMKEY_ROT | ANIMKEY_SCALE;
    k.ang = RotYQuat(0.5f);
    k.scl = Vector(2, 3, 4, 0);
    Matrix m(true);
    m.w = Vector(9, 9, 9, 1);
    k.Evaluate(m);
    Matrix r = Matrix(RotYQuat(0.5f));
    EXPECT_TRUE(Near(m.x, r.x * 2.0f));
    EXPECT_TRUE(Near(m.z, r.z * 4.0f));
    EXPECT_TRUE(Near(m.w, Vector(0, 0, 0, 1)));   // a rotation resets the position

    AnimRTKey s;
    s.flags = ANIMKEY_SCALE;
    s.scl = Vector(2, 2, 2, 0);
    Matrix n = RotY(0.5f);
    s.Evaluate(n);
    EXPECT_NEAR(Length(n.x.xyz()), 2.0f, 1e-5f);
}

TEST_F(AnimationTest, KeysInterpolateOnlyWhatBothHave)
{
    AnimRTKey a, b;
    a.flags = ANIMKEY_POS | ANIMKEY_ROT;
    a.pos = Vector(0, 0, 0, 0);
    a.ang = RotYQuat(0.0f);
    b.flags = ANIMKEY_POS;
    b.pos = Vector(10, 0, 0, 1);
    b.ang = RotYQuat(1.0f);
    a.Interpolate(&b, 0.25f);
    EXPECT_TRUE(Near(a.pos, Vector(2.5f, 0, 0, 0.25f)));
    EXPECT_TRUE(Near(a.ang, RotYQuat(0.0f)));   // b has no rotation

    AnimRTKey c = Interpolate(b, a, 0.5f);   // the free form follows the second key's parts
    EXPECT_EQ(c.flags, ANIMKEY_POS);
    EXPECT_TRUE(Near(c.pos, Vector(6.25f, 0, 0, 0)));   // w: neither carries one
}

}  // namespace
