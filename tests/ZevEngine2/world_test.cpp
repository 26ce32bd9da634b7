#include <gtest/gtest.h>

#include <random>

#include "ee/console_out.h"

#include "ZevEngine2/object_support.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/World.h"

using objtest::CountHeard;
using objtest::HeapFree;
using objtest::Log;
using objtest::Probe;

namespace {

constexpr u32 kFrame = 256;   // one frame of AnimTime

class WorldTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Log().clear();
        console::ClearConsoleText();
        heapBefore = HeapFree();
        w = new World;   // the host's heap: a World is not a game object
    }
    void TearDown() override
    {
        w->Clear();
        delete w;
        EXPECT_EQ(HeapFree(), heapBefore);
        EXPECT_FALSE(objtest::SawBadFree());
    }

    Probe* NewProbe(int tag = 0, unsigned flags = 0)
    {
        Probe* p = new Probe;
        p->tag = tag;
        p->flags = flags;
        return p;
    }
    // The tags of the probes that heard msg, in order.
    std::vector<int> Heard(OBJMESSAGE msg)
    {
        std::vector<int> tags;
        for (const objtest::Heard& h : Log())
        {
            if (h.msg == msg)
                tags.push_back(h.tag);
        }
        return tags;
    }

    World* w = nullptr;
    unsigned heapBefore = 0;
};

TEST_F(WorldTest, AddObjectListsByFlagsOrRejects)
{
    int extra = 0;
    Probe* framed = NewProbe(1, OBJF_FRAMECALL | OBJF_SELFANIMATING);
    EXPECT_TRUE(w->AddObject(framed, &extra));
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].msg, OM_INIT);
    EXPECT_EQ(Log()[0].data, &extra);
    EXPECT_NE(w->objectlist.Find((Object*)framed), nullptr);
    EXPECT_NE(w->framecalllist.Find((Object*)framed), nullptr);
    EXPECT_NE(w->animlist.Find((Object*)framed), nullptr);
    EXPECT_TRUE(framed->flags & OBJF_NOCOLLISION);   // no chain and no colliding children

    Probe* rejected = NewProbe(2, OBJF_FRAMECALL);
    rejected->initReply = -1;
    EXPECT_FALSE(w->AddObject(rejected, nullptr));
    EXPECT_EQ(w->objectlist.Find((Object*)rejected), nullptr);
    EXPECT_EQ(w->framecalllist.Find((Object*)rejected), nullptr);
    EXPECT_EQ(rejected->refcount, 0);
    rejected->Delete();   // still the caller's

    CollSphereEnd chain(0x0101, Sphere(0, 0, 0, 1));
    Probe* solid = NewProbe(3);
    solid->collision = chain.Chain();
    EXPECT_TRUE(w->AddObject(solid, nullptr));
    EXPECT_FALSE(solid->flags & OBJF_NOCOLLISION);
    w->RemoveObject(solid);   // deleted while the chain is still in scope
}

TEST_F(WorldTest, RemoveObjectDeletesAndFreesIt)
{
    Probe* p = NewProbe(1);
    w->AddObject(p, nullptr);
    w->RemoveObject(p);
    EXPECT_EQ(CountHeard(OM_DIE, p), 1);
    EXPECT_FALSE(mal.IsAllocated(p));
    EXPECT_TRUE(w->objectlist.IsEmpty());
}

TEST_F(WorldTest, FrameCallsFollowTheFlagAndOneCallPerLink)
{
    Probe* p = NewProbe(1);
    w->AddObject(p, nullptr);
    w->StartFrameCall(p);
    w->Update();
    EXPECT_EQ(CountHeard(OM_FRAME, p), 1);
    EXPECT_EQ(Log().back().data, (void*)w);

    // Stopped and started again before the walk: two links, two calls.
    EXPECT_TRUE(w->StopFrameCall(p));
    EXPECT_FALSE(w->StopFrameCall(p));
    w->StartFrameCall(p);
    Log().clear();
    w->Update();
    EXPECT_EQ(CountHeard(OM_FRAME, p), 2);
    EXPECT_EQ(w->framecalllist.Count(), 2);

    // Stopped: the walk drops every stale link and calls nothing.
    w->StopFrameCall(p);
    Log().clear();
    w->Update();
    EXPECT_EQ(CountHeard(OM_FRAME), 0);
    EXPECT_TRUE(w->framecalllist.IsEmpty());
}

TEST_F(WorldTest, TimersDueTogetherFireInReverseOrderOfSetting)
{
    Probe* a = NewProbe(1);
    Probe* b = NewProbe(2);
    Probe* c = NewProbe(3);
    for (Probe* p : {a, b, c})
        w->AddObject(p, nullptr);
    w->SetTimer(a, 2 * kFrame, nullptr);
    w->SetTimer(b, 2 * kFrame, nullptr);
    w->SetTimer(c, 1 * kFrame, nullptr);

    w->Update();
    EXPECT_EQ(Heard(OM_TIMER), (std::vector<int>{3}));
    w->Update();
    EXPECT_EQ(Heard(OM_TIMER), (std::vector<int>{3, 2, 1}));
    EXPECT_TRUE(w->timerlist.IsEmpty());
    EXPECT_EQ(w->time, 2);
    EXPECT_EQ(w->timePrecise, AnimTime(2 * kFrame));
}

TEST_F(WorldTest, TimerCarriesItsExtraAndItsObjectsReference)
{
    Probe* p = NewProbe(1);
    w->AddObject(p, nullptr);
    int extra = 0;
    w->SetTimer(p, 0, &extra);
    EXPECT_EQ(p->refcount, 2);   // the object list and the timer
    w->Update();
    ASSERT_EQ(CountHeard(OM_TIMER, p), 1);
    EXPECT_EQ(Log().back().data, &extra);
    EXPECT_EQ(p->refcount, 1);
}

TEST_F(WorldTest, ReplyMinusTwoLeavesLaterTimersForTheNextTick)
{
    Probe* a = NewProbe(1);
    Probe* b = NewProbe(2);
    w->AddObject(a, nullptr);
    w->AddObject(b, nullptr);
    a->timerReply = -2;
    w->SetTimer(b, kFrame, nullptr);
    w->SetTimer(a, kFrame, nullptr);   // before b: same due time, set later

    w->Update();
    EXPECT_EQ(Heard(OM_TIMER), (std::vector<int>{1}));
    w->Update();
    EXPECT_EQ(Heard(OM_TIMER), (std::vector<int>{1, 2}));
}

TEST_F(WorldTest, TimerOfADeadObjectSendsNothingAndIsFreed)
{
    Probe* p = NewProbe(1);
    w->SetTimer(p, kFrame, nullptr);   // the timer's is the only reference
    p->Delete();
    EXPECT_TRUE(mal.IsAllocated(p));
    w->Update();
    EXPECT_EQ(CountHeard(OM_TIMER), 0);
    EXPECT_TRUE(w->timerlist.IsEmpty());
    EXPECT_FALSE(mal.IsAllocated(p));
}

// The sweep remembers the timer after the one it is handling: a handler may
// stop that very timer, or delete its object.
World* sweepWorld;
Probe* sweepVictim;

void StopVictimTimers(Probe*, OBJMESSAGE msg, void*)
{
    if (msg == OM_TIMER)
        sweepWorld->StopTimer(sweepVictim);
}

void ClearWorldOnTimer(Probe*, OBJMESSAGE msg, void*)
{
    if (msg == OM_TIMER)
        sweepWorld->Clear();
}

TEST_F(WorldTest, TimerHandlerMayStopTheNextTimer)
{
    Probe* a = NewProbe(1);
    Probe* b = NewProbe(2);
    Probe* c = NewProbe(3);
    for (Probe* p : {a, b, c})
        w->AddObject(p, nullptr);
    w->SetTimer(c, kFrame, nullptr);
    w->SetTimer(b, kFrame, nullptr);
    w->SetTimer(a, kFrame, nullptr);   // order a, b, c
    a->onMessage = StopVictimTimers;
    sweepWorld = w;
    sweepVictim = b;

    w->Update();
    EXPECT_EQ(Heard(OM_TIMER), (std::vector<int>{1, 3}));
    EXPECT_TRUE(w->timerlist.IsEmpty());
}

TEST_F(WorldTest, TimerHandlerMayClearTheWorld)
{
    Probe* a = NewProbe(1);
    Probe* b = NewProbe(2);
    w->AddObject(a, nullptr);
    w->AddObject(b, nullptr);
    w->SetTimer(b, kFrame, nullptr);
    w->SetTimer(a, kFrame, nullptr);
    a->onMessage = ClearWorldOnTimer;
    sweepWorld = w;

    w->Update();
    EXPECT_EQ(Heard(OM_TIMER), (std::vector<int>{1}));
    EXPECT_EQ(CountHeard(OM_DIE), 2);
    EXPECT_TRUE(w->objectlist.IsEmpty());
}

// An object whose OM_DIE stops its own timers, deleted by the timer list.
void StopOwnTimersOnDie(Probe* self, OBJMESSAGE msg, void*)
{
    if (msg == OM_DIE)
        sweepWorld->StopTimer(self);
}

TEST_F(WorldTest, TimerListDeleteAllSurvivesObjectsStoppingTheirTimers)
{
    Probe* a = NewProbe(1);
    Probe* b = NewProbe(2);
    a->onMessage = StopOwnTimersOnDie;
    sweepWorld = w;
    w->SetTimer(a, kFrame, nullptr);
    w->SetTimer(a, 2 * kFrame, nullptr);
    w->SetTimer(b, 3 * kFrame, nullptr);

    w->timerlist.DeleteAll();
    EXPECT_TRUE(w->timerlist.IsEmpty());
    EXPECT_EQ(CountHeard(OM_DIE, a), 1);
    EXPECT_EQ(CountHeard(OM_DIE, b), 1);
    EXPECT_FALSE(mal.IsAllocated(a));
    EXPECT_FALSE(mal.IsAllocated(b));
}

void ClearWorldOnFrame(Probe*, OBJMESSAGE msg, void*)
{
    if (msg == OM_FRAME)
        sweepWorld->Clear();
}

TEST_F(WorldTest, FrameHandlerMayClearTheWorld)
{
    Probe* a = NewProbe(1, OBJF_FRAMECALL);
    Probe* b = NewProbe(2, OBJF_FRAMECALL);
    w->AddObject(a, nullptr);
    w->AddObject(b, nullptr);
    a->onMessage = ClearWorldOnFrame;
    sweepWorld = w;

    w->Update();
    EXPECT_EQ(Heard(OM_FRAME), (std::vector<int>{1}));
    EXPECT_TRUE(w->framecalllist.IsEmpty());
}

TEST_F(WorldTest, CinemaModeStopsWorldTimeButNotTheAnimationClock)
{
    Probe* always = NewProbe(1, OBJF_FRAMECALL | OBJF_CINEMAFRAME);
    Probe* normal = NewProbe(2, OBJF_FRAMECALL);
    w->AddObject(always, nullptr);
    w->AddObject(normal, nullptr);
    w->SetTimer(normal, kFrame, nullptr);

    w->mode = WORLD_MODE_CINEMA;
    w->Update();
    w->Update();
    EXPECT_EQ(w->time, 0);
    EXPECT_EQ(w->timePrecise, AnimTime(0));
    EXPECT_EQ(AnimationClock(), AnimTime(2 * kFrame));
    EXPECT_EQ(Heard(OM_FRAME), (std::vector<int>{1, 1}));
    EXPECT_EQ(CountHeard(OM_TIMER), 0);

    w->mode = WORLD_MODE_PAUSED;
    w->Update();
    EXPECT_EQ(w->timePrecise, AnimTime(0));
    EXPECT_EQ(AnimationClock(), AnimTime(3 * kFrame));
    EXPECT_EQ(Heard(OM_FRAME).size(), 2u);

    w->mode = WORLD_MODE_NORMAL;
    w->Update();
    EXPECT_EQ(w->time, 1);
    EXPECT_EQ(CountHeard(OM_TIMER, normal), 1);
}

TEST_F(WorldTest, PlaybackSpeedScalesTheTickTruncated)
{
    w->SetPlaybackSpeed(0.3f);   // 76.8 -> 76 per tick
    for (int i = 0; i < 10; i++)
        w->Update();
    EXPECT_EQ(w->timePrecise, AnimTime(760));
    EXPECT_EQ(w->time, 2);
    EXPECT_EQ(AnimationClock(), AnimTime(760));
    EXPECT_FLOAT_EQ(w->AdjustByPlaybackSpeed(10.0f), 3.0f);

    // Relative speeds count from normal play at 1.2: a finishing move's slow
    // motion at 0.6 runs the world at 0.72, 184 of 256 per tick.
    w->SetRelativeSpeed(1.0f);
    EXPECT_FLOAT_EQ(w->GetPlaybackSpeed(), 1.2f);
    w->SetRelativeSpeed(0.6f);
    EXPECT_FLOAT_EQ(w->GetPlaybackSpeed(), 0.72f);
    EXPECT_NEAR(w->GetRelativeSpeed(), 0.6f, 1e-6f);
    w->Update();
    EXPECT_EQ(w->timePrecise, AnimTime(760 + 184));
}

TEST_F(WorldTest, ClearDeletesEverythingOnceAndZeroesTheClocks)
{
    Probe* a = NewProbe(1, OBJF_FRAMECALL | OBJF_SELFANIMATING);
    Probe* placeholder = NewProbe(2);
    Probe* timed = NewProbe(3);   // only a timer holds it
    w->AddObject(a, nullptr);
    w->placeholderlist.AddTail(placeholder);
    w->SetTimer(timed, 5 * kFrame, nullptr);
    w->Update();
    w->SetPlaybackSpeed(2.0f);
    w->mode = WORLD_MODE_CINEMA;

    w->Clear();
    EXPECT_EQ(CountHeard(OM_DIE, a), 1);
    EXPECT_EQ(CountHeard(OM_DIE, placeholder), 1);
    EXPECT_EQ(CountHeard(OM_DIE, timed), 1);
    EXPECT_EQ(w->time, 0);
    EXPECT_EQ(w->timePrecise, AnimTime(0));
    EXPECT_EQ(AnimationClock(), AnimTime(0));
    EXPECT_FLOAT_EQ(w->GetPlaybackSpeed(), 2.0f);   // speed and mode stay
    EXPECT_EQ(w->mode, WORLD_MODE_CINEMA);
    for (ObjectList* l : {&w->objectlist, &w->placeholderlist, &w->animlist, &w->framecalllist})
        EXPECT_TRUE(l->IsEmpty());
}

TEST_F(WorldTest, AnimateDropsStoppedObjectsAndSkipsWhenNotDrawn)
{
    Probe* a = NewProbe(1);
    w->AddObject(a, nullptr);
    w->StartAnimating(a);
    w->Animate();
    EXPECT_EQ(w->animlist.Count(), 1);
    EXPECT_TRUE(w->StopAnimating(a));
    EXPECT_FALSE(w->StopAnimating(a));
    w->mode = WORLD_MODE_PAUSED_NODRAW;
    w->Animate();
    EXPECT_EQ(w->animlist.Count(), 1);   // not walked at all
    w->mode = WORLD_MODE_NORMAL;
    w->Animate();
    EXPECT_TRUE(w->animlist.IsEmpty());
}

TEST_F(WorldTest, StressRandomLifetimesLeakNothing)
{
    console::SetConsoleEcho(false);
    std::mt19937 rng(1234);
    std::vector<Probe*> alive;   // created and not yet deleted
    ObjectList extra;            // a second list holding some of them
    int created = 0;
    while (created < 100000 || !alive.empty())
    {
        unsigned op = rng() % 8;
        if (created < 100000 && (alive.size() < 64 || (alive.size() < 512 && op < 3)))
        {
            Probe* p = NewProbe(created++);
            if (rng() % 2)
                p->flags |= OBJF_FRAMECALL;
            ASSERT_TRUE(w->AddObject(p, nullptr));
            if (rng() % 3 == 0)
                extra.AddTail(p);
            if (rng() % 4 == 0)
                w->SetTimer(p, rng() % 3 * kFrame, nullptr);
            alive.push_back(p);
            continue;
        }
        if (alive.empty())
            break;
        size_t i = rng() % alive.size();
        Probe* p = alive[i];
        switch (op)
        {
        case 3: {   // attach to another live top-level object
            Probe* q = alive[rng() % alive.size()];
            if (q != p && p->parent == nullptr && q->GetRoot() != p)
            {
                p->Detach();
                q->Attach(p);
            }
            break;
        }
        case 4:
            p->SendMessageUp(OM_SPECIAL, nullptr);
            break;
        case 5:
            w->Update();
            break;
        default: {   // delete it (detached first) with its sub-tree
            p->Detach();
            std::vector<Probe*> gone;
            auto collect = [&gone](auto& self, Object* o) -> void {
                gone.push_back(static_cast<Probe*>(o));
                for (Object* c = o->child; c != nullptr; c = c->sibling)
                    self(self, c);
            };
            collect(collect, p);
            p->Delete();
            for (Probe* g : gone)
            {
                EXPECT_TRUE(g->IsDead());
                EXPECT_TRUE(mal.IsAllocated(g));   // the world still refers to it
                alive.erase(std::find(alive.begin(), alive.end(), g));
            }
            if (rng() % 2)
            {
                w->objectlist.Clean();
                extra.Clean();
                w->timerlist.Clean();
            }
            break;
        }
        }
        if (Log().size() > 4096)
            Log().clear();
    }
    w->Update();
    extra.RemoveAll();
    w->Clear();
    console::SetConsoleEcho(true);
    EXPECT_TRUE(w->objectlist.IsEmpty());
    EXPECT_TRUE(w->timerlist.IsEmpty());
}

}  // namespace
