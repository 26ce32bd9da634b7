#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ee/console_out.h"

#include "ZevEngine2/heap_check.h"
#include "ZevEngine2/fresh_run.h"
#include "ZevEngine2/List.h"

namespace {

// An intrusive element on the stack.
struct Item : ELink<Item> {
    int v = 0;
    explicit Item(int value) : v(value) {}
};

// An intrusive element from the small-block pools that counts its deaths.
int g_destroyed = 0;
struct Pooled : Small<ELink<Pooled>> {
    int v = 0;
    explicit Pooled(int value) : v(value) {}
    ~Pooled() { g_destroyed++; }
};

// A pointed-to element that ends its life through its own Delete, as game
// objects do.
struct SelfDeleting {
    int deletes = 0;
    void Delete() { deletes++; }
};

template <class T>
std::vector<int> Values(const EList<T>& list)
{
    std::vector<int> out;
    for (T* p = list.Head(); !p->IsEOList(); p = p->Next())
        out.push_back(p->v);
    return out;
}

template <class T>
std::vector<T*> Pointers(const List<T>& list)
{
    std::vector<T*> out;
    for (Link<T>* l = list.Head(); !l->IsEOList(); l = l->Next())
        out.push_back(l->data);
    return out;
}

bool PoolIsConsistent()
{
    const _List& free = linkpool;
    if (free.Count() != linkpool.n)
        return false;
    for (const _Link* l = free.Head(); !l->IsEOList(); l = l->next) {
        if (!linkpool.Owns(l))
            return false;
    }
    return true;
}

}  // namespace

TEST(List, EmptyListIsTwoSentinels)
{
    EList<Item> list;
    EXPECT_EQ(list.head.next, &list.tail);
    EXPECT_EQ(list.head.prev, nullptr);
    EXPECT_EQ(list.tail.next, nullptr);
    EXPECT_EQ(list.tail.prev, &list.head);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.Head()->IsEOList());   // a walk ends at once
    EXPECT_TRUE(list.Tail()->IsSOList());
    EXPECT_EQ(list.RemoveHead(), nullptr);
    EXPECT_EQ(list.RemoveTail(), nullptr);
    EXPECT_TRUE(list.IsEmpty());
    Item x(1);
    EXPECT_EQ(list.Item(0), nullptr);
    EXPECT_EQ(list.GetIndex(&x), -1);
}

TEST(List, AddAndRemoveAtBothEnds)
{
    EList<Item> list;
    Item a(1), b(2), c(3);
    EXPECT_EQ(list.AddTail(&a), &a);
    list.AddTail(&b);
    EXPECT_EQ(list.AddHead(&c), &c);
    EXPECT_EQ(Values(list), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Head(), &c);
    EXPECT_EQ(list.Tail(), &b);
    EXPECT_EQ(b.Prev(), &a);
    EXPECT_TRUE(c.Prev()->IsSOList());

    EXPECT_EQ(list.RemoveHead(), &c);
    EXPECT_EQ(list.RemoveTail(), &b);
    EXPECT_EQ(Values(list), (std::vector<int>{1}));
    EXPECT_EQ(a.Prev(), (Item*)&list.head);
    EXPECT_TRUE(a.Next()->IsEOList());
}

TEST(List, ItemAndIndexWalkFromTheHead)
{
    EList<Item> list;
    Item a(1), b(2), c(3), stranger(4);
    list.AddTail(&a);
    list.AddTail(&b);
    list.AddTail(&c);
    EXPECT_EQ(list.Item(0), &a);
    EXPECT_EQ(list[2], &c);
    EXPECT_EQ(list.Item(-1), nullptr);
    EXPECT_EQ(list.Item(list.Count()), nullptr);
    EXPECT_EQ(list.GetIndex(&b), 1);
    EXPECT_EQ(list.GetIndex(&stranger), -1);
}

TEST(List, InsertAtGivesIndexOrAppends)
{
    EList<Item> list;
    Item a(1), b(2), x(9), y(8), z(7), w(6);
    EXPECT_EQ(list.InsertAt(0, &x), &x);
    EXPECT_EQ(Values(list), (std::vector<int>{9}));

    list.InitList();
    list.AddTail(&a);
    list.AddTail(&b);
    list.InsertAt(5, &x);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 2, 9}));
    list.InsertAt(-3, &y);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 2, 9, 8}));
    list.InsertAt(1, &z);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 7, 2, 9, 8}));
    EXPECT_EQ(list.GetIndex(&z), 1);
    list.InsertAt(0, &w);
    EXPECT_EQ(Values(list), (std::vector<int>{6, 1, 7, 2, 9, 8}));
    // Index equal to the count appends.
    list.InitList();
    list.AddTail(&a);
    list.InsertAt(1, &b);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 2}));
}

TEST(List, LinksSpliceNextToEachOther)
{
    EList<Item> list;
    Item a(1), b(2), c(3);
    list.AddTail(&a);
    b.InsertAfter(&a);
    c.InsertBefore(&a);
    EXPECT_EQ(Values(list), (std::vector<int>{3, 1, 2}));

    // UnLink returns the link and leaves its own fields as they were, so a
    // walk standing on it can still step on.
    _Link* oldNext = a.next;
    _Link* oldPrev = a.prev;
    EXPECT_EQ(a.UnLink(), &a);
    EXPECT_EQ(a.next, oldNext);
    EXPECT_EQ(a.prev, oldPrev);
    EXPECT_EQ(Values(list), (std::vector<int>{3, 2}));
}

TEST(List, DeleteAllAndRemoveDeletePooledElements)
{
    EList<Pooled> list;
    for (int i = 0; i < 5; i++)
        list.AddTail(new Pooled(i));
    g_destroyed = 0;
    list.Item(2)->Remove();
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(Values(list), (std::vector<int>{0, 1, 3, 4}));
    list.DeleteAll();
    EXPECT_EQ(g_destroyed, 5);
    EXPECT_TRUE(list.IsEmpty());
}

TEST(LinkPool, BuiltWithLinksInArrayOrder)
{
    LinkPool<4> pool;
    EXPECT_EQ(pool.n, 4);
    const _List& free = pool;
    ASSERT_EQ(free.Count(), 4);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(free.Item(i), &pool.pool[i]);

    // Links go out at the head and come back at the tail.
    void* first = pool.Take();
    EXPECT_EQ(first, &pool.pool[0]);
    EXPECT_EQ(pool.n, 3);
    pool.Give(first);
    EXPECT_EQ(pool.n, 4);
    EXPECT_EQ(free.Tail(), &pool.pool[0]);
    EXPECT_EQ(free.Head(), &pool.pool[1]);
    EXPECT_TRUE(pool.Owns(&pool.pool[3]));
    EXPECT_FALSE(pool.Owns(&pool.n));
}

TEST(LinkPool, GlobalPoolCountsItsFreeList)
{
    EXPECT_TRUE(PoolIsConsistent());
    EXPECT_LE(linkpool.n, 1024);
    EXPECT_EQ(sizeof(linkpool.pool), 1024 * sizeof(Link<void>));
}

TEST(List, PointerLinksComeFromThePoolFirstInFirstOut)
{
    int x = 1;
    List<int> list;
    int n0 = linkpool.n;
    _Link* expected = linkpool.head.next;
    Link<int>* l = list.AddTail(&x);
    EXPECT_EQ((_Link*)l, expected);
    EXPECT_EQ(l->data, &x);
    EXPECT_EQ(linkpool.n, n0 - 1);

    EXPECT_TRUE(list.Remove(&x));
    EXPECT_EQ(linkpool.n, n0);
    EXPECT_EQ(linkpool.tail.prev, (_Link*)l);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_TRUE(PoolIsConsistent());
}

TEST(List, RemoveTakesOnlyTheFirstLinkOfAPointer)
{
    int x = 1, y = 2, z = 3;
    List<int> list;
    list.AddTail(&x);
    list.AddTail(&y);
    list.AddTail(&x);
    EXPECT_EQ(list.Find(&x), list.Head());
    EXPECT_EQ(list.Find(&z), nullptr);
    EXPECT_TRUE(list.Remove(&x));
    EXPECT_EQ(Pointers(list), (std::vector<int*>{&y, &x}));
    EXPECT_FALSE(list.Remove(&z));
    EXPECT_EQ(list.Count(), 2);
    list.RemoveAll();
}

TEST(List, RemoveAllGivesEveryLinkBack)
{
    int values[5] = {10, 11, 12, 13, 14};
    List<int> list;
    int n0 = linkpool.n;
    for (int& v : values)
        list.AddHead(&v);
    EXPECT_EQ(linkpool.n, n0 - 5);
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(linkpool.n, n0);
    EXPECT_EQ(values[0], 10);   // the elements are left alone
    EXPECT_TRUE(PoolIsConsistent());
}

TEST(List, PointerListIndexing)
{
    int x = 1, y = 2, w = 3, v = 4, missing = 5;
    List<int> list;
    EXPECT_EQ(list.GetIndex(&x), -1);
    EXPECT_EQ(list.RemoveHead(), nullptr);
    list.InsertAt(0, &x);
    list.AddTail(&y);
    list.InsertAt(-3, &w);
    list.InsertAt(1, &v);
    EXPECT_EQ(Pointers(list), (std::vector<int*>{&x, &v, &y, &w}));
    EXPECT_EQ(list.Item(1), &v);
    EXPECT_EQ(list[3], &w);
    EXPECT_EQ(list.Item(-1), nullptr);
    EXPECT_EQ(list.Item(4), nullptr);
    EXPECT_EQ(list.GetIndex(&y), 2);
    EXPECT_EQ(list.GetIndex(&missing), -1);

    int n = linkpool.n;
    EXPECT_EQ(list.RemoveHead(), &x);
    EXPECT_EQ(list.RemoveTail(), &w);
    EXPECT_EQ(linkpool.n, n + 2);
    EXPECT_EQ(Pointers(list), (std::vector<int*>{&v, &y}));
    list.RemoveAll();
}

TEST(List, DeleteAllOfPointersDeletesTheElements)
{
    int n0 = linkpool.n;
    List<Pooled> list;
    list.AddTail(new Pooled(1));
    list.AddTail(new Pooled(2));
    Pooled* third = new Pooled(3);
    list.AddTail(third);
    g_destroyed = 0;
    EXPECT_TRUE(list.Delete(third));
    EXPECT_EQ(g_destroyed, 1);
    list.DeleteAll();
    EXPECT_EQ(g_destroyed, 3);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(linkpool.n, n0);

    SelfDeleting a, b;
    List<SelfDeleting> objects;
    objects.AddTail(&a);
    objects.AddTail(&b);
    objects.DeleteAll();
    EXPECT_EQ(a.deletes, 1);
    EXPECT_EQ(b.deletes, 1);
    EXPECT_EQ(linkpool.n, n0);
}

TEST(LinkPool, ExhaustionFallsBackToSmallBlocks)
{
    const std::string report = "linkpool: all 1024 links in use";
    console::SetConsoleEcho(false);
    unsigned freeBefore = TotalFree();
    int n0 = linkpool.n;
    int ints[3] = {1, 2, 3};

    List<int> list;
    for (int i = 0; i < n0; i++)
        ASSERT_NE(list.AddTail(&ints[0]), nullptr);
    EXPECT_EQ(linkpool.n, 0);

    // The next links are not pool links, and everything still reads back.
    Link<int>* extra1 = list.AddTail(&ints[1]);
    Link<int>* extra2 = list.AddHead(&ints[2]);
    ASSERT_NE(extra1, nullptr);
    ASSERT_NE(extra2, nullptr);
    EXPECT_FALSE(linkpool.Owns(extra1));
    EXPECT_FALSE(linkpool.Owns(extra2));
    EXPECT_EQ(linkpool.n, 0);
    EXPECT_EQ(list.Count(), n0 + 2);
    EXPECT_EQ(list.Item(0), &ints[2]);
    EXPECT_EQ(list.Item(n0 + 1), &ints[1]);

    list.RemoveAll();
    console::SetConsoleEcho(true);
    EXPECT_EQ(linkpool.n, n0);
    EXPECT_TRUE(PoolIsConsistent());
    // Reported once for the run, not once per link.
    EXPECT_PRINTED_IN_FRESH_RUN(report, 1);
    // The fallback links went back to the small-block pool and its chunk back
    // to the heap.
    EXPECT_EQ(TotalFree(), freeBefore);
    heaptest::CheckHeap(mal);
}
