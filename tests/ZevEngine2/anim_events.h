// A message handler for the animation tests that records what animations
// tell their objects, and can act from inside the message.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Object.h"

namespace animtest {

struct Heard
{
    Object* handler;   // the object whose handler answered
    OBJMESSAGE msg;
    Object* obj;       // the animated object
    int slot;
    int event;
    u16 loopTime;
};

inline std::vector<Heard>& Heards()
{
    static std::vector<Heard> heard;
    return heard;
}

// What the handler does after recording, and its reply to OM_ANIMLOOP.
inline std::function<void(Object*, OBJMESSAGE, AnimEventMessage*)>& OnHeard()
{
    static std::function<void(Object*, OBJMESSAGE, AnimEventMessage*)> f;
    return f;
}
inline int& LoopReply()
{
    static int reply = 0;
    return reply;
}

inline int Listener_mh(Object* o, OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_ANIMEVENT:
    case OM_ANIMLOOP: {
        AnimEventMessage* m = static_cast<AnimEventMessage*>(data);
        Heards().push_back(Heard{o, msg, m->obj, m->slot, m->event, m->loopTime});
        if (OnHeard())
            OnHeard()(o, msg, m);
        return msg == OM_ANIMLOOP ? LoopReply() : 0;
    }
    case OM_DIE:
        delete o;
        return 0;
    default:
        return 0;
    }
}

inline int CountHeard(OBJMESSAGE msg)
{
    int n = 0;
    for (const Heard& h : Heards())
        n += h.msg == msg;
    return n;
}

// Resets the record and the hooks around each test.
class HeardTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Heards().clear();
        OnHeard() = nullptr;
        LoopReply() = 0;
        BlendAnimation::animateFace = false;
    }
    void TearDown() override
    {
        OnHeard() = nullptr;
        BlendAnimation::animateFace = false;
    }
};

}  // namespace animtest
