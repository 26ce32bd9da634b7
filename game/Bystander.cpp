// The crowd-wide calls on bystanders (see Bystander.h).
#include "game/Bystander.h"

#include "game/QuadTree.h"

void MessagePedestrians(int msg, Object* what)
{
    SpecialMessage m(msg, what);
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* ped = *it;
        // A destroyed pedestrian still listed until the next walk hears nothing.
        if (ped == nullptr || ped->IsDead() || ped->messagehandler == nullptr)
            continue;
        ped->messagehandler(ped, OM_SPECIAL, &m);
    }
}
