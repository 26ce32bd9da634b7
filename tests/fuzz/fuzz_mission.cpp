// A mission placement file: read as the world reads it at a mission's
// start, then every placeholder looked up by id as the mission's steps
// look them up, and the placeholders cleared.  Accepted when the world took
// the file.
#include "fuzz_target.h"

#include "ZevEngine2/Allocator.h"
#include "game/QuadTree.h"

FUZZ_TARGET(mission)
{
    void* buffer = malloc_align(size + 64, 64);
    if (buffer == nullptr)
        return false;
    std::memcpy(buffer, data, size);
    const bool taken = world.LoadMissionData(buffer, u32(size), "fuzz");
    float sum = 0.0f;
    for (ObjectLink* l = world.placeholderlist.Head(); !l->IsEOList(); l = l->Next())
        if (Object* found = world.placeholderlist.Find(l->data->id))
            sum += found->mat.w[0] + found->mat.x[1];
    static volatile float sink;
    sink = sink + sum;
    world.Reset();
    return taken;
}
