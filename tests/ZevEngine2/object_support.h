// Test objects shared by the object, object-list and world tests: a behaviour
// class following the game's handler convention that records what it hears.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Object.h"

namespace objtest {

struct Heard
{
    Object* obj;
    OBJMESSAGE msg;
    void* data;
    int tag = 0;   // the probe's tag when it heard: the probe may be gone since
};

// Every message any Probe hears, in order.
std::vector<Heard>& Log();
int CountHeard(OBJMESSAGE msg, Object* obj = nullptr);

// A behaviour class: its static handler forwards to the member mh.  Replies
// can be set per message; OM_DIE destroys the object as the game's classes do,
// after running the optional hook.
class Probe : public Object
{
public:
    Probe() : Object(Probe_mh) {}

    static int Probe_mh(Object* obj, OBJMESSAGE msg, void* data) { return static_cast<Probe*>(obj)->mh(msg, data); }
    int mh(OBJMESSAGE msg, void* data);

    int initReply = 0;
    int timerReply = 0;
    void (*onMessage)(Probe* self, OBJMESSAGE msg, void* data) = nullptr;
    int tag = 0;
};

// The heap's free total, with every pool chunk counted: a test compares it
// before and after.
inline unsigned HeapFree()
{
    return TotalFree();
}

// True when the game's free reported a block that was not allocated (a
// double free) since the console text was last cleared.
bool SawBadFree();

}  // namespace objtest
