#include "ee/console_out.h"

#include "ZevEngine2/object_support.h"

namespace objtest {

std::vector<Heard>& Log()
{
    static std::vector<Heard> log;
    return log;
}

int CountHeard(OBJMESSAGE msg, Object* obj)
{
    int n = 0;
    for (const Heard& h : Log())
    {
        if (h.msg == msg && (obj == nullptr || h.obj == obj))
            n++;
    }
    return n;
}

int Probe::mh(OBJMESSAGE msg, void* data)
{
    Log().push_back({this, msg, data, tag});
    // The hook may delete this probe (by clearing its world, say), so the
    // replies are read before it runs.
    const int init = initReply;
    const int timer = timerReply;
    if (onMessage != nullptr)
        onMessage(this, msg, data);
    switch (msg)
    {
    case OM_INIT:
        return init;
    case OM_TIMER:
        return timer;
    case OM_DIE:
        delete this;
        return 0;
    default:
        return 0;
    }
}

bool SawBadFree()
{
    return console::ConsoleText().find("is not an allocated heap block") != std::string::npos;
}

}  // namespace objtest
