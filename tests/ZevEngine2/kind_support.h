// A kind registered for the length of a test: in front of every other kind
// of its name while it lives, and out of the registry when it goes.
//
// A static registration in a test file would sit beside the game's own kind
// of the same name, and which of the two a look-up finds would depend on the
// order in which the linker lays out the static initialisers.
#pragma once

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Object.h"

struct ScopedKind
{
    ScopedKind(const char* name, OBJMESSAGEHANDLER mh) : entry(name, int(reinterpret_cast<intptr_t>(mh))) {}
    ~ScopedKind()
    {
        for (Name** at = &Name::first; *at != nullptr; at = &(*at)->link)
            if (*at == &entry) {
                *at = entry.link;
                break;
            }
    }
    ScopedKind(const ScopedKind&) = delete;
    ScopedKind& operator=(const ScopedKind&) = delete;

    Name entry;
};
