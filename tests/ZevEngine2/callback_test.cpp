#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/Callback.h"

namespace {

// Records its calls in a shared log and replies with a set value.
class Probe : public Callback {
public:
    Probe(std::vector<int>& log, int id, int reply = 0) : log(log), id(id), reply(reply) {}
    int operator()(void* p) override
    {
        log.push_back(id);
        seen = p;
        return reply;
    }

    std::vector<int>& log;
    int id;
    int reply;
    void* seen = nullptr;
};

TEST(Callbacks, RunNewestFirstWithTheArgument)
{
    std::vector<int> log;
    Probe a(log, 1), b(log, 2), c(log, 3);
    Callbacks list;
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    EXPECT_EQ(list.First(), &c);
    int arg = 0;
    EXPECT_EQ(list.DoCallbacks(&arg), 0);
    EXPECT_EQ(log, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(a.seen, &arg);
}

TEST(Callbacks, NonZeroReplyEndsTheRun)
{
    std::vector<int> log;
    Probe a(log, 1), b(log, 2, 7), c(log, 3);
    Callbacks list;
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    EXPECT_EQ(list.DoCallbacks(nullptr), 7);
    EXPECT_EQ(log, (std::vector<int>{3, 2}));
}

TEST(Callbacks, RemoveUnlinksOnlyListedCallbacks)
{
    std::vector<int> log;
    Probe a(log, 1), b(log, 2), stranger(log, 9);
    Callbacks list;
    list.Add(&a);
    list.Add(&b);
    EXPECT_FALSE(list.Remove(&stranger));
    EXPECT_EQ(list.First(), &b);
    EXPECT_EQ(b.next, &a);
    EXPECT_TRUE(list.Remove(&a));
    EXPECT_FALSE(list.Remove(&a));
    list.DoCallbacks(nullptr);
    EXPECT_EQ(log, (std::vector<int>{2}));
    list.Clear();
    EXPECT_EQ(list.First(), nullptr);
}

TEST(Callbacks, AddingTwiceKeepsOneEntry)
{
    std::vector<int> log;
    Probe a(log, 1), b(log, 2);
    Callbacks list;
    list.Add(&a);
    list.Add(&b);
    list.Add(&a);
    list.DoCallbacks(nullptr);
    EXPECT_EQ(log, (std::vector<int>{2, 1}));
}

// A callback that takes itself off the list while it runs.
class OneShot : public Callback {
public:
    explicit OneShot(Callbacks& list) : list(list) {}
    int operator()(void*) override
    {
        calls++;
        list.Remove(this);
        return 0;
    }
    Callbacks& list;
    int calls = 0;
};

TEST(Callbacks, CallbackMayRemoveItselfDuringTheRun)
{
    std::vector<int> log;
    Callbacks list;
    Probe after(log, 1);
    OneShot once(list);
    list.Add(&after);
    list.Add(&once);
    list.DoCallbacks(nullptr);
    list.DoCallbacks(nullptr);
    EXPECT_EQ(once.calls, 1);
    EXPECT_EQ(log, (std::vector<int>{1, 1}));
}

}  // namespace
