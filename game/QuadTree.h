// The city world: the game's one World, with the lightweight screen objects
// drawn after the scene.  The streamed city itself joins it later.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/World.h"

class KVWorld : public World
{
public:
    KVWorld() = default;
    ~KVWorld();

    // Puts pro on the post-draw list, at the tail (bTail) or the head; an item
    // already there is moved, never listed twice.  False only when no list
    // link could be had.
    bool AddPostRawObj(RawObj* pro, bool bTail);
    // Takes pro off the post-draw list; nothing happens when it is not there.
    void RemovePostRawObj(RawObj* pro);

    List<RawObj> rawobjPostList;   // post-draw lightweight objects (HUD, fades)
};

extern KVWorld world;
