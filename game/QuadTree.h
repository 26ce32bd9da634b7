// The city world: the game's one World, with the lightweight screen objects
// drawn after the scene.  The streamed city itself joins it later.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/DynBsp.h"

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

    // Once per tick, outdoors: every live top-level object against the later
    // ones of the object list (and the city).  A pair result with bit 0 set
    // ends the object's turn against further objects; a negative one (the
    // object was changed by the contact) tests it again from its first
    // partner, at most COLLISION_RETESTS times in one pass.
    void Collision();
    // Once per tick, indoors: the static interior objects (flag 0x80000) form
    // the dynamic BSP, built on the first call after a rebuild; the other
    // objects are tested against it and against each other.
    void InteriorCollision();
    // Collides one live top-level object with every other one now.
    void CollideObject(Object* obj1);
    // The first live object of the list (other than the two excluded ones)
    // whose shapes the segment p0-p1 meets, with the hit point and normal;
    // null when the segment is clear.
    Object* CheckRay(VectorPos p0, VectorPos p1, VectorPos* point, VectorDir* normal, Object* exclude1,
                     Object* exclude2, unsigned short mask);

    static constexpr int COLLISION_RETESTS = 16;

    List<RawObj> rawobjPostList;   // post-draw lightweight objects (HUD, fades)
    DynBspTree dynbsp;             // interior collision tree
    bool bRebuildDynBSP = false;   // set by contact handlers: rebuild the tree next tick
};

// The city's ground under a point (roads, junctions and ground patches), the
// one ground checker of the game.
class RoadGroundChecker : public GroundChecker
{
public:
    float Check(const Object& obj, float best, VectorPos pos, VectorDir* normal) override;
};

extern RoadGroundChecker roadgroundchecker;

extern KVWorld world;
