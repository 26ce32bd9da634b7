// The kind registry and the loading callbacks' registration.
#include "ZevEngine2/EntTypes.h"

// Zero-initialised before any static constructor runs, so registrations from
// other modules' static initialisers are safe in any order.
Name* Name::first;

Name::Name(const char* n, int v)
{
    link = first;
    name = const_cast<char*>(n);
    value = v;
    first = this;
}

int Name::Find(const char* n)
{
    if (n == nullptr)
        return 0;
    for (Name* e = first; e != nullptr; e = e->link)
    {
        if (e->name != nullptr && strcmp(e->name, n) == 0)
            return e->value;
    }
    return 0;
}

Callbacks LoadingCallback::cbs;
int LoadingCallback::fd;
int LoadingCallback::bytes;

void LoadingCallback::AddCallback()
{
    cbs.Add(this);
}

bool LoadingCallback::RemoveCallback()
{
    return cbs.Remove(this);
}
