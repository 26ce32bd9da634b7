// Callback lists.
#include "ZevEngine2/Callback.h"

void Callbacks::Add(Callback* cb)
{
    for (Callback* c = first; c; c = c->next) {
        if (c == cb)
            return;
    }
    cb->next = first;
    first = cb;
}

bool Callbacks::Remove(Callback* cb)
{
    for (Callback** link = &first; *link; link = &(*link)->next) {
        if (*link == cb) {
            *link = cb->next;
            return true;
        }
    }
    return false;
}

int Callbacks::DoCallbacks(void* p)
{
    Callback* c = first;
    while (c) {
        // Read the successor first: the callback may unlink itself.
        Callback* next = c->next;
        int reply = (*c)(p);
        if (reply != 0)
            return reply;
        c = next;
    }
    return 0;
}
