// City props: the behaviour a city model gets from the kind of its root node
// (breakable and explosive props, lights and signs, drive-ins, activity
// spots), the damage they take, and road lookups for the props that belong
// to a junction or a street.
#pragma once

#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"

class Junction;
class RoadSeg;
class CollisionRecord;

// The parameter block of a prop node, inside its model file at the node's
// extra2.
struct ExteriorSpecific_params
{
    u16 exttype;      // which lights and signs it carries (bits 0-2)
    u16 pad0;
    u8 color[4];      // a street light's lamp: a, b, g, r
    float radius;     // a street light's range
    float size;
    u16 strength;     // 0x5555: the default, 10
    u16 pad1;
};
static_assert(sizeof(ExteriorSpecific_params) == 20);

// A zero-filled prop of class T with handler mh, as the reply of OM_CREATE
// (0 when there is no memory).
template <class T>
int CreateProp(OBJMESSAGEHANDLER mh)
{
    T* n = new T;
    if (n != nullptr)
        n->messagehandler = mh;
    return int(reinterpret_cast<intptr_t>(n));
}

// The strength a block stands for (0x5555: 10); 10 without a block.
int PropStrength(const void* params);

// The parameter block of node `index` of mf, null unless it lies inside the
// file.
const ExteriorSpecific_params* PropParams(const MDLFILE* mf, int index);

// The handler for every object of obj's model, by the kind of obj's node;
// null for scenery.  Kind 271 sets flag 0x1000000 (the model sways).
OBJMESSAGEHANDLER GetGridMessageHandler(Object* obj);

// A prop that blows up at the first hard hit.
class ExteriorDamageable : public Object
{
public:
    // Made real and blown up; the real object.
    Object* Explode();
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};

// A prop with a strength that wears down.
class DamageableObject : public Object
{
public:
    int strength;

    // Takes damage off; true when that blew it up (it then answers no more
    // messages).  A model without an explosion record stops at 0.
    bool Damage(int damage);
};

class ExteriorInteractiveObject : public DamageableObject
{
public:
    bool Damage(int damage);
    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
};

// The damage the other party of a contact deals to self: a vehicle by its
// horizontal speed, a character's striking part by asking it; 0 otherwise.
int GetHitPoints(Object* self, CollisionRecord* cr);

// An invisible box of half size 0.9375 that passes its contacts up to the
// object it is attached to.
Object* CreateDummyCollisionObj();
int DummyCollisionObjProc(Object* obj, OBJMESSAGE msg, void* data);

// The junction nearest pos (radius below 100) among those of the city's
// nodes that meet pos +- 31.25 across and, for a prop, the nearest one whose
// centre lies more than 0.3125 below it (dir is not used); null when none.
Junction* FindJunction(VectorPos pos);
Junction* FindJunction(VectorPos pos, VectorDir dir);
// The road leaving the junction nearest pos closest to dir; null when none
// leaves toward dir's side.
RoadSeg* FindRoadSeg(VectorPos pos, VectorDir dir);
// The first road segment (of the nodes around pos) whose curve, widened by
// its half-width, can hold pos; null when none.
RoadSeg* FindRoadSeg(VectorPos pos);
