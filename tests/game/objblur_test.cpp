// Blur trails: the poses a hierarchy gives up (its model nodes, in walk
// order), the ghosts' opacities and poses from the newest past pose down,
// the ring grown and shrunk, and the ways a blur ends.
#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/modeldraw_support.h"
#include "game/QuadTree.h"
#include "game/objblur.h"

namespace {

// What each ghost draw saw: the fade and the root's x.
struct Seen
{
    float alpha, x;
};
std::vector<Seen> seen;

int Recorder(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_RENDER) {
        seen.push_back({static_cast<RenderContext*>(data)->GetGlobalTransparency(), obj->mat.w[0]});
        return 1;
    }
    return 0;
}

class Blurs : public modeldraw::SceneTest
{
protected:
    Object* obj = nullptr;

    void SetUp() override
    {
        SceneTest::SetUp();
        seen.clear();
        obj = new Object(Recorder);
        obj->flags |= OBJF_DRAWSELF;
        obj->mat = Matrix(true);
        obj->radius = 1.0f;
        controller[0].pad = 0;
    }
    void TearDown() override
    {
        ObjectBlur::blurs = nullptr;
        controller[0].pad = 0;
        obj->Delete();
        SceneTest::TearDown();
    }

    void MoveTo(float x) { obj->mat.SetTrans(VectorPos(x, 0, 5)); }
    // One tick of the blur with the object at x.
    static void Tick(ObjectBlur* b) { b->SendMessage(OM_FRAME, &world); }
    std::vector<Seen> Render()
    {
        seen.clear();
        Frame([&] { RenderObjectBlurs(rc); });
        return seen;
    }
    // The root's x in pose slot i.
    static float SlotX(const ObjectBlur* b, int i) { return b->Slot(i)->w[0]; }
};

TEST_F(Blurs, MadeWithAtLeastOnePoseAndSetUpByItsInit)
{
    EXPECT_EQ(MakeObjectBlur(obj, 0, 1.0f), nullptr);
    EXPECT_EQ(MakeObjectBlur(obj, -3, 1.0f), nullptr);
    ObjectBlur* b = MakeObjectBlur(obj, 3, 0.9f);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->pBlurObj, obj);
    EXPECT_EQ(b->nNumBlurs, 3);
    EXPECT_EQ(b->nAllocBlurs, 3);
    EXPECT_EQ(b->nFrameDelay, 1);
    EXPECT_EQ(b->nMatsPerObj, 1);
    EXPECT_EQ(b->nCurrBuf, 0);
    EXPECT_EQ(b->vOpacity, 0.0f);   // the creation opacity is not used
    EXPECT_EQ(b->flags & 0x410000u, 0x410000u);
    EXPECT_NE(world.objectlist.Find(b), nullptr);
    // Captures every second tick.
    MoveTo(7);
    Tick(b);
    EXPECT_EQ(b->nCurrBuf, 1);
    EXPECT_EQ(SlotX(b, 0), 7.0f);
    EXPECT_EQ(b->mat.w[0], 7.0f);
    Tick(b);
    EXPECT_EQ(b->nCurrBuf, 1);
    Tick(b);
    EXPECT_EQ(b->nCurrBuf, 2);
    world.RemoveObject(b);
}

// Model nodes only, a node before its children and its children before its
// later siblings: root, its grandchild, then the root's second child.
TEST_F(Blurs, PosesHoldTheModelNodesInWalkOrder)
{
    Object* a = new Object;
    Object* g = new Object;
    Object* c = new Object;
    a->index = 0xFFFF;   // no model
    obj->Attach(a);
    a->Attach(g);
    obj->Attach(c);
    MoveTo(1);
    a->mat.SetTrans(VectorPos(2, 0, 0));
    g->mat.SetTrans(VectorPos(3, 0, 0));
    c->mat.SetTrans(VectorPos(4, 0, 0));
    ASSERT_EQ(ObjectBlur::CountMats(obj), 3);
    Matrix m[3];
    EXPECT_EQ(ObjectBlur::GetObjMatsRec(obj, m), m + 3);
    EXPECT_EQ(m[0].w[0], 1.0f);
    EXPECT_EQ(m[1].w[0], 3.0f);
    EXPECT_EQ(m[2].w[0], 4.0f);
    m[1].w.setx(30.0f);
    EXPECT_EQ(ObjectBlur::SetObjMatsRec(obj, m), m + 3);
    EXPECT_EQ(g->mat.w[0], 30.0f);
    EXPECT_EQ(a->mat.w[0], 2.0f);
}

// Ghost i of n (n - 1 down to 1) at i / n of the opacity in the pose of
// slot (nCurrBuf + i) mod n: the newest past pose first and most opaque;
// the live pose comes back afterwards and the fade is 1 again.
TEST_F(Blurs, GhostsFadeFromTheNewestPastPose)
{
    ObjectBlur* two = MakeObjectBlur(obj, 2, 1.0f);
    ASSERT_EQ(ChangeObjectBlur(two, 2, 0.8f), two);
    MoveTo(1);
    Tick(two);
    MoveTo(2);
    std::vector<Seen> s = Render();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_FLOAT_EQ(s[0].alpha, 0.4f);
    EXPECT_EQ(s[0].x, 1.0f);
    world.RemoveObject(two);

    ObjectBlur* four = MakeObjectBlur(obj, 4, 1.0f);
    four->Change(4, 1.0f);
    four->nFrameDelay = 0;
    for (int x = 1; x <= 3; x++) {
        MoveTo(float(x));
        Tick(four);
    }
    MoveTo(4);
    s = Render();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_FLOAT_EQ(s[0].alpha, 0.75f);
    EXPECT_FLOAT_EQ(s[1].alpha, 0.5f);
    EXPECT_FLOAT_EQ(s[2].alpha, 0.25f);
    EXPECT_EQ(s[0].x, 3.0f);
    EXPECT_EQ(s[1].x, 2.0f);
    EXPECT_EQ(s[2].x, 1.0f);
    EXPECT_EQ(obj->mat.w[0], 4.0f);
    EXPECT_EQ(rc.GetGlobalTransparency(), 1.0f);
    EXPECT_EQ(ObjectBlur::blurs, nullptr);
    // Not ticked, not listed: nothing drawn.
    EXPECT_TRUE(Render().empty());
    world.RemoveObject(four);
}

TEST_F(Blurs, AnOpacityNeverSetDrawsTransparentGhosts)
{
    ObjectBlur* b = MakeObjectBlur(obj, 3, 1.0f);
    Tick(b);
    const std::vector<Seen> s = Render();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].alpha, 0.0f);
    EXPECT_EQ(s[1].alpha, 0.0f);
    world.RemoveObject(b);
}

// Growing a ring of 4 whose next slot is the last: slots 0 to 2 stay and
// slots 4 and 5 take the oldest pose (slot 3); the next slot stays 3.
// With the next slot earlier, the copies follow it and the later old slots
// move to the end, so the ring still runs oldest to newest.
TEST_F(Blurs, GrowingTheRingKeepsItsOrder)
{
    ObjectBlur* b = MakeObjectBlur(obj, 4, 1.0f);
    for (int i = 0; i < 4; i++)
        b->Slot(i)->w.setx(float(10 + i));
    b->nCurrBuf = 3;
    ASSERT_EQ(b->Change(6, 0.5f), b);
    EXPECT_EQ(b->nNumBlurs, 6);
    EXPECT_EQ(b->nAllocBlurs, 6);
    EXPECT_EQ(b->nCurrBuf, 3);
    EXPECT_EQ(b->vOpacity, 0.5f);
    const float want3[] = {10, 11, 12, 13, 13, 13};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(SlotX(b, i), want3[i]) << i;
    world.RemoveObject(b);

    b = MakeObjectBlur(obj, 4, 1.0f);
    for (int i = 0; i < 4; i++)
        b->Slot(i)->w.setx(float(10 + i));
    b->nCurrBuf = 1;
    b->Change(6, 0.5f);
    EXPECT_EQ(b->nCurrBuf, 1);
    const float want1[] = {10, 11, 11, 11, 12, 13};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(SlotX(b, i), want1[i]) << i;
    world.RemoveObject(b);
}

// Within the buffer only the count changes; a count of 0 or a faint
// opacity ends the blur at its next tick and keeps the opacity it had.
TEST_F(Blurs, ShrinkingAllocatesNothingAndNothingEndsIt)
{
    ObjectBlur* b = MakeObjectBlur(obj, 5, 1.0f);
    b->Change(5, 0.7f);
    const Matrix* buf = b->pMatBuf;
    EXPECT_EQ(b->Change(3, 0.6f), b);
    EXPECT_EQ(b->pMatBuf, buf);
    EXPECT_EQ(b->nNumBlurs, 3);
    EXPECT_EQ(b->nAllocBlurs, 5);
    EXPECT_EQ(b->vOpacity, 0.6f);
    EXPECT_EQ(b->Change(5, 0.6f), b);
    EXPECT_EQ(b->pMatBuf, buf);

    EXPECT_EQ(b->Change(4, 0.05f), nullptr);
    EXPECT_EQ(b->nNumBlurs, 0);
    EXPECT_EQ(b->vOpacity, 0.6f);
    RCptr<Object> held(b);
    Tick(b);
    EXPECT_TRUE(b->IsDead());
}

// A blur ended after this frame's tick (its character deleted, say) stays on
// the render list but draws nothing and reads nothing from its hierarchy:
// the pose ring is left as it was.
TEST_F(Blurs, AnEndedBlurOnTheListIsLeftAlone)
{
    ObjectBlur* b = MakeObjectBlur(obj, 3, 1.0f);
    b->Change(3, 1.0f);
    MoveTo(1);
    Tick(b);
    ASSERT_TRUE(b->InList());
    EXPECT_EQ(ChangeObjectBlur(b, 0, 1.0f), nullptr);
    MoveTo(9);
    EXPECT_TRUE(Render().empty());
    EXPECT_EQ(ObjectBlur::blurs, nullptr);
    for (int i = 0; i < 3; i++)
        EXPECT_NE(SlotX(b, i), 9.0f) << i;
    RCptr<Object> held(b);
    Tick(b);
    EXPECT_TRUE(b->IsDead());
}

// Select newly pressed on the first pad ends every running blur.
TEST_F(Blurs, SelectOnTheFirstPadEndsTheBlur)
{
    ObjectBlur* b = MakeObjectBlur(obj, 3, 1.0f);
    RCptr<Object> held(b);
    controller[0].pad = BUT_SELECT;   // held only
    Tick(b);
    EXPECT_FALSE(b->IsDead());
    EXPECT_TRUE(b->InList());
    controller[0].pad = u32(BUT_SELECT) << 16;
    Tick(b);
    EXPECT_TRUE(b->IsDead());
    EXPECT_EQ(ObjectBlur::blurs, nullptr);
}

}  // namespace
