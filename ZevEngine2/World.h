// The world: the live objects of a level, the world clock, frame calls and
// timers.
//
// Once per logic tick the main loop calls Update, which advances the clocks,
// sends OM_FRAME to the objects that asked for frame calls and fires the
// timers that are due; once per displayed frame it calls Animate, which
// animates the hierarchies of self-animating objects.  Flags 0x10000 and
// 0x20000 are the truth about frame calls and animation: the list links are
// dropped lazily by the next walk.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"

// A time in 1/256 of a frame: world timers and animations count in it.
struct AnimTime
{
    u32 t;

    AnimTime() : t(0) {}
    AnimTime(u32 v) : t(v) {}

    operator float() const { return (float)t / 256.0f; }            // frames
    operator unsigned short() const { return (unsigned short)(t >> 8); }   // whole frames
    operator unsigned() const { return t; }

    AnimTime operator+(AnimTime b) const { return AnimTime(t + b.t); }
    AnimTime operator-(AnimTime b) const { return AnimTime(t - b.t); }
    AnimTime& operator+=(AnimTime b)
    {
        t += b.t;
        return *this;
    }
    AnimTime& operator-=(AnimTime b)
    {
        t -= b.t;
        return *this;
    }
    bool operator==(AnimTime b) const { return t == b.t; }
    bool operator!=(AnimTime b) const { return t != b.t; }
    bool operator<(AnimTime b) const { return t < b.t; }
    bool operator<=(AnimTime b) const { return t <= b.t; }
    bool operator>(AnimTime b) const { return t > b.t; }
    bool operator>=(AnimTime b) const { return t >= b.t; }
};
static_assert(sizeof(AnimTime) == 4);

// The global animation clock (Animation::anim_time), advanced by the world in
// every mode.  The animation player owns it and defines this accessor; until
// it is linked in, the world keeps a clock of its own.
AnimTime& AnimationClock();

// A pending timer message for an object.
class Timer : public Small<ELink<Timer>>
{
public:
    Timer(Object* o, AnimTime due, void* x) : time(due), extra(x), obj(o) {}

    AnimTime time;       // due, in world time
    void* extra;         // handed back with OM_TIMER
    RCptr<Object> obj;   // the object to notify
};

// Pending timers in ascending order of due time.
class TimerList : public EList<Timer>
{
public:
    // Removes every timer of obj; true when there was one.
    bool Remove(Object* obj);
    // Removes the timers whose object is dead.
    void Clean();
    // Deletes each timer's object (unless dead) and frees every timer.
    void DeleteAll();

    // The timer the sweep in progress goes on to; removing it moves the
    // sweep past it, so a timer handler may stop or delete any timer.
    Timer* cursor = nullptr;

private:
    void Drop(Timer* t);
};

enum WORLD_MODE_ENUM
{
    WORLD_MODE_NORMAL,
    WORLD_MODE_CINEMA,
    WORLD_MODE_PAUSED,
    WORLD_MODE_PAUSED_NODRAW,
    WORLD_MODE_SHELL,
    WORLD_MODE_DEBUG,
    WORLD_MODE_TOTAL,
};

// The world's particle objects; drawn by the particle drawer, which defines
// Draw.
class PartList : public ObjectList
{
public:
    void Draw(const RenderContext& rc);
};

class World
{
public:
    World();
    // Drops every link and timer (releasing their references); objects are
    // not deleted.
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Sends OM_INIT with extra; a negative reply rejects the object (false;
    // it is in no list and still the caller's).  Otherwise it joins the
    // animate and frame-call lists by its flags, takes flag 0x2 when it has no
    // collision at all, and joins the object list.
    bool AddObject(Object* obj, void* extra);
    // Takes the object out of the object list, then deletes it.
    void RemoveObject(Object* obj);
    // Deletes every object of the lists, frees the timers, zeroes the clocks.
    void Clear();

    // Frame calls and self-animation: Start sets the flag and adds a link
    // (even when one is there: the object is then served once per link); Stop
    // clears the flag (false when it was clear) and the next walk drops the
    // link.
    void StartFrameCall(Object* obj);
    bool StopFrameCall(Object* obj);
    void StartAnimating(Object* obj);
    bool StopAnimating(Object* obj);

    // OM_TIMER with extra to obj after delay; a timer goes before pending
    // ones due at the same time.
    void SetTimer(Object* obj, AnimTime delay, void* extra);
    bool StopTimer(Object* obj) { return timerlist.Remove(obj); }

    // Once per tick: clocks, frame calls, due timers.
    void Update();
    // Once per frame: the hierarchies of the self-animating objects.
    void Animate();

    // True when a light object (dead or alive) is on the frame-call list.
    bool HasLights() const;

    void ResetTime()
    {
        time = 0;
        timePrecise = 0;
    }
    Object* FindPlaceholder(int findid) const { return placeholderlist.Find(findid); }
    Object* Find(int findid) const { return objectlist.Find(findid); }
    Object* Find(OBJTYPE findtype) const { return objectlist.Find(findtype); }
    Object* Find(OBJTYPE findtype, VectorPos pos) const { return objectlist.Find(findtype, pos); }
    int FindUnusedID(int startid, int endid, int notfoundid) const
    {
        return objectlist.FindUnusedID(startid, endid, notfoundid);
    }
    void SetEntities(OBJMESSAGEHANDLER* table, int size)
    {
        entities = table;
        maxEntityID = (u16)size;
    }
    void SetPlaybackSpeed(float speed) { playbackSpeed = speed; }
    float GetPlaybackSpeed() const { return playbackSpeed; }
    float AdjustByPlaybackSpeed(float value) const { return value * playbackSpeed; }
    // The speed relative to normal play, whose playback speed is 1.2 (motion
    // made for 60 frames a second shown at 50): relative 1 is normal play,
    // 0.6 a slow motion at half of it.
    void SetRelativeSpeed(float speed) { playbackSpeed = speed * 1.2f; }
    float GetRelativeSpeed() const { return playbackSpeed * 0.833333f; }

    OBJMESSAGEHANDLER* entities;
    u16 maxEntityID;
    int time;                 // whole frames: timePrecise >> 8
    AnimTime timePrecise;     // advances only in normal mode
    float playbackSpeed;      // each tick adds (int)(playbackSpeed * 256) to the clocks
    WORLD_MODE_ENUM mode;
    ObjectList objectlist;
    ObjectList placeholderlist;
    ObjectList animlist;
    ObjectList framecalllist;
    TimerList timerlist;
    PartList partList;

private:
    void FrameCalls(bool cinema);
    void FireTimers();
};
