#include <gtest/gtest.h>

#include "ee/console_out.h"

#include "ZevEngine2/object_support.h"
#include "ZevEngine2/Object.h"

using objtest::HeapFree;
using objtest::Log;
using objtest::Probe;

namespace {

class ObjectListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Log().clear();
        console::ClearConsoleText();
        heapBefore = HeapFree();
    }
    void TearDown() override
    {
        list.RemoveAll();
        for (Object* o : owned)
            o->Delete();
        EXPECT_EQ(HeapFree(), heapBefore);
        EXPECT_FALSE(objtest::SawBadFree());
    }

    // A live object with the given id, type and local position, in list.
    Probe* Add(int id, OBJTYPE type = OBJT_STATIC, VectorPos pos = VectorPos(0, 0, 0))
    {
        Probe* p = new Probe;
        p->id = (s16)id;
        p->type = (u8)type;
        p->mat = Matrix(true);
        p->SetPos(pos);
        list.AddTail(p);
        owned.push_back(p);
        return p;
    }
    void Kill(Probe* p)
    {
        owned.erase(std::find(owned.begin(), owned.end(), p));
        p->Delete();
    }

    ObjectList list;
    std::vector<Probe*> owned;
    unsigned heapBefore = 0;
};

TEST_F(ObjectListTest, FindUnusedIDSearchesWindowsOf32)
{
    for (int id = -150; id <= -140; id++)
        Add(id);
    EXPECT_EQ(list.FindUnusedID(-150, -101, -150), -139);

    for (int id = -139; id <= -111; id++)
        Add(id);
    // -150..-111 taken: the first window (-150..-119) is full, the second
    // window finds -110.
    EXPECT_EQ(list.FindUnusedID(-150, -101, -150), -110);

    for (int id = -110; id <= -101; id++)
        Add(id);
    EXPECT_EQ(list.FindUnusedID(-150, -101, -150), -150);   // all 50 taken
}

TEST_F(ObjectListTest, FindUnusedIDCountsUpwardAndTreatsDeadIdsAsFree)
{
    Add(1);
    Add(2);
    Probe* three = Add(3);
    Add(5);
    EXPECT_EQ(list.FindUnusedID(1, 10, -1), 4);
    EXPECT_EQ(list.FindUnusedID(1, 3, -1), -1);
    EXPECT_EQ(list.FindUnusedID(7, 7, -1), 7);
    Kill(three);   // dead but still listed
    EXPECT_EQ(list.FindUnusedID(1, 3, -1), 3);
}

TEST_F(ObjectListTest, SearchesSkipDeadObjectsWithoutDroppingThem)
{
    Probe* a = Add(7, OBJT_VEHICLE);
    Probe* b = Add(7, OBJT_VEHICLE);
    EXPECT_EQ(list.Find(7), a);
    EXPECT_EQ(list.Find(OBJT_VEHICLE), a);
    Kill(a);
    EXPECT_EQ(list.Find(7), b);
    EXPECT_EQ(list.Find(OBJT_VEHICLE), b);
    EXPECT_EQ(list.Count(), 2);              // the dead link stays
    EXPECT_NE(list.Find((Object*)a), nullptr);   // and can be found by pointer
    EXPECT_EQ(list.Find(8), nullptr);
    EXPECT_EQ(list.Find(OBJT_LIGHT), nullptr);

    list.Clean();
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Find((Object*)a), nullptr);
}

TEST_F(ObjectListTest, NearestFindUsesLocalTranslationAndFirstOfEquals)
{
    Probe* far = Add(4, OBJT_CHARACTER, VectorPos(10, 0, 0));
    Probe* tie1 = Add(4, OBJT_CHARACTER, VectorPos(0, 0, 3));
    Probe* tie2 = Add(4, OBJT_CHARACTER, VectorPos(0, 3, 0));
    Add(5, OBJT_VEHICLE, VectorPos(0, 0, 0));
    EXPECT_EQ(list.Find(OBJT_CHARACTER, VectorPos(0, 0, 0)), tie1);
    EXPECT_EQ(list.Find((short)4, VectorPos(9, 0, 0)), far);
    Kill(tie1);
    EXPECT_EQ(list.Find(OBJT_CHARACTER, VectorPos(0, 0, 0)), tie2);

    // A child is measured by its local translation, in its parent's frame.
    Object parent;
    parent.mat = Matrix(true);
    parent.SetPos(VectorPos(100, 0, 0));
    parent.Attach(far);
    EXPECT_EQ(list.Find(OBJT_CHARACTER, VectorPos(10, 0, 0)), far);
    far->Detach();
}

TEST_F(ObjectListTest, RemoveDropsOneLinkOfALiveOrDeadObject)
{
    Probe* a = Add(1);
    list.AddTail(a);   // listed twice: the list does not check
    EXPECT_EQ(a->refcount, 2);
    EXPECT_TRUE(list.Remove(a));
    EXPECT_EQ(a->refcount, 1);
    Kill(a);
    EXPECT_TRUE(list.Remove(a));   // dead: found and dropped, storage freed
    EXPECT_FALSE(list.Remove(a));
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(ObjectListTest, DeleteAllDetachesThenDeletesEachObjectOnce)
{
    Probe* root = Add(1);
    Probe* child = new Probe;
    root->Attach(child);
    list.AddTail(child);   // a child listed on its own, as well
    Probe* dead = Add(3);
    Kill(dead);
    owned.clear();

    list.DeleteAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(objtest::CountHeard(OM_DIE, root), 1);
    EXPECT_EQ(objtest::CountHeard(OM_DIE, child), 1);   // detached first, so its own deletion
    EXPECT_EQ(objtest::CountHeard(OM_DIE), 3);
}

// A handler that takes itself out of the list while dying must not cost the
// next object its deletion.
ObjectList* dyingList;
void LeaveListOnDie(Probe* self, OBJMESSAGE msg, void*)
{
    if (msg == OM_DIE)
        dyingList->Remove(self);
}

TEST_F(ObjectListTest, DeleteAllSurvivesAHandlerThatLeavesTheList)
{
    Probe* a = Add(1);
    Probe* b = Add(2);
    a->onMessage = LeaveListOnDie;
    dyingList = &list;
    owned.clear();

    list.DeleteAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(objtest::CountHeard(OM_DIE, a), 1);
    EXPECT_EQ(objtest::CountHeard(OM_DIE, b), 1);
}

TEST_F(ObjectListTest, DrawDropsDeadLinks)
{
    Probe* a = Add(1);
    Add(2);
    Kill(a);
    // No type bit in the filter: nothing is drawn, only dead links go.
    alignas(16) static char context[16];
    list.Draw(*reinterpret_cast<RenderContext*>(context), 0);
    EXPECT_EQ(list.Count(), 1);
}

}  // namespace
