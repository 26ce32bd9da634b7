// What the level entities' handlers share.
#pragma once

#include <cstdint>

#include "ZevEngine2/Object.h"

// The reply to OM_CREATE of an entity of class T: a new zero-filled T whose
// handler is T::staticmh, or 0 without memory.
template <class T>
int NewEntityReply()
{
    T* o = new T;
    if (o != nullptr)
        o->messagehandler = T::staticmh;
    return int(reinterpret_cast<intptr_t>(o));
}
