// The world's lists, clock, frame calls and timers.
#include "ZevEngine2/World.h"

#include "ZevEngine2/Utilities.h"

// The animation player animates a hierarchy at a time in frames.
void AnimateHierarchy(Object* obj, float time, float deltaTime);

// ---------------------------------------------------------------------------
// Timers

void TimerList::Drop(Timer* t)
{
    if (t == cursor)
        cursor = t->Next();
    t->UnLink();
    delete t;   // releases the reference
}

bool TimerList::Remove(Object* obj)
{
    bool removed = false;
    Timer* t = Head();
    while (!t->IsEOList())
    {
        Timer* next = t->Next();
        if (t->obj == obj)
        {
            Drop(t);
            removed = true;
        }
        t = next;
    }
    return removed;
}

void TimerList::Clean()
{
    Timer* t = Head();
    while (!t->IsEOList())
    {
        Timer* next = t->Next();
        if (t->obj == nullptr || t->obj->IsDead())
            Drop(t);
        t = next;
    }
}

void TimerList::DeleteAll()
{
    while (!IsEmpty())
    {
        Timer* t = Head();
        if (t == cursor)
            cursor = t->Next();
        // Unlinked first, its reference still held: the object's own
        // OM_DIE may stop its timers, and its storage must outlive the call.
        t->UnLink();
        Object* obj = t->obj;
        if (obj != nullptr && !obj->IsDead())
            obj->Delete();
        delete t;
    }
}

// ---------------------------------------------------------------------------
// The world

World::World()
    : entities(nullptr), maxEntityID(0), time(0), timePrecise(0), playbackSpeed(1.0f), mode(WORLD_MODE_NORMAL)
{
    AnimationClock() = 0;
}

World::~World()
{
    objectlist.RemoveAll();
    placeholderlist.RemoveAll();
    animlist.RemoveAll();
    framecalllist.RemoveAll();
    while (!timerlist.IsEmpty())
        delete timerlist.RemoveHead();
    partList.RemoveAll();
}

bool World::AddObject(Object* obj, void* extra)
{
    if (obj == nullptr)
        return false;
    if (obj->SendMessage(OM_INIT, extra) < 0)
        return false;
    if (obj->flags & OBJF_SELFANIMATING)
        animlist.AddTail(obj);
    if (obj->flags & OBJF_FRAMECALL)
        framecalllist.AddTail(obj);
    if (!obj->HasCollision() && !(obj->flags & OBJF_CHILDCOLLISION))
        obj->flags |= OBJF_NOCOLLISION;
    objectlist.AddTail(obj);
    return true;
}

void World::RemoveObject(Object* obj)
{
    objectlist.Remove(obj);
    obj->Delete();
}

void World::Clear()
{
    // An object in several lists is deleted by the first; the others find it
    // dead and only drop their links.
    objectlist.DeleteAll();
    placeholderlist.DeleteAll();
    animlist.DeleteAll();
    framecalllist.DeleteAll();
    timerlist.DeleteAll();
    partList.DeleteAll();
    time = 0;
    timePrecise = 0;
    AnimationClock() = 0;
}

void World::StartFrameCall(Object* obj)
{
    obj->flags |= OBJF_FRAMECALL;
    framecalllist.AddTail(obj);
}

bool World::StopFrameCall(Object* obj)
{
    if (!(obj->flags & OBJF_FRAMECALL))
        return false;
    obj->flags &= ~OBJF_FRAMECALL;
    return true;
}

void World::StartAnimating(Object* obj)
{
    obj->flags |= OBJF_SELFANIMATING;
    animlist.AddTail(obj);
}

bool World::StopAnimating(Object* obj)
{
    if (!(obj->flags & OBJF_SELFANIMATING))
        return false;
    obj->flags &= ~OBJF_SELFANIMATING;
    return true;
}

void World::SetTimer(Object* obj, AnimTime delay, void* extra)
{
    AnimTime due = timePrecise + delay;
    Timer* nt = new Timer(obj, due, extra);
    if (nt == nullptr)
    {
        printf("World: no memory for a timer of object 0x%08X\n", (unsigned)(uintptr_t)obj);
        return;
    }
    Timer* t = timerlist.Head();
    while (!t->IsEOList() && t->time < due)
        t = t->Next();
    nt->InsertBefore(t);
}

void World::Update()
{
    int step = (int)(playbackSpeed * 256.0f);
    AnimationClock() += AnimTime((u32)step);
    if (mode == WORLD_MODE_NORMAL)
    {
        timePrecise += AnimTime((u32)step);
        time = (int)(timePrecise.t >> 8);
        FrameCalls(false);
        FireTimers();
    }
    else if (mode == WORLD_MODE_CINEMA)
    {
        FrameCalls(true);
    }
}

// In cinema mode only the objects that also have flag 0x400000 are called.
void World::FrameCalls(bool cinema)
{
    ObjectList& list = framecalllist;
    ObjectLink* l = list.Head();
    while (!l->IsEOList())
    {
        list.cursor = l->Next();
        Object* obj = l->data;
        if (obj->IsDead() || !(obj->flags & OBJF_FRAMECALL))
            list.RemoveLink(l);
        else if (!cinema || (obj->flags & OBJF_CINEMAFRAME))
            obj->SendMessage(OM_FRAME, this);
        l = list.cursor;
    }
    list.cursor = nullptr;
}

// Each due timer is unlinked and freed before its object hears of it, so the
// handler may set it again.  A reply of -2 leaves the later timers for the
// next tick.  The sweep goes on from the timer that followed the handled one.
void World::FireTimers()
{
    Timer* t = timerlist.Head();
    while (!t->IsEOList() && timePrecise >= t->time)
    {
        timerlist.cursor = t->Next();
        t->UnLink();
        Object* obj = t->obj;
        void* extra = t->extra;
        // Read while the reference still holds the storage: a dead object's
        // storage may go with this timer.
        bool live = obj != nullptr && !obj->IsDead() && obj->messagehandler != nullptr;
        delete t;
        if (live && obj->SendMessage(OM_TIMER, extra) == -2)
            break;
        t = timerlist.cursor;
    }
    timerlist.cursor = nullptr;
}

void World::Animate()
{
    if (mode == WORLD_MODE_PAUSED_NODRAW)
        return;
    float now = (float)((unsigned)AnimationClock() / 256.0);
    ObjectList& list = animlist;
    ObjectLink* l = list.Head();
    while (!l->IsEOList())
    {
        list.cursor = l->Next();
        Object* obj = l->data;
        if (obj->IsDead() || !(obj->flags & OBJF_SELFANIMATING))
            list.RemoveLink(l);
        else
            AnimateHierarchy(obj, now, 1.0f);
        l = list.cursor;
    }
    list.cursor = nullptr;
}

bool World::HasLights() const
{
    for (ObjectLink* l = framecalllist.Head(); !l->IsEOList(); l = l->Next())
    {
        if (l->data->type == OBJT_LIGHT)
            return true;
    }
    return false;
}

