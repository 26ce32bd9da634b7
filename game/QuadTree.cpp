// The city world.
#include "game/QuadTree.h"

// Built by static initialisation before main; its lists need nothing else.
KVWorld world;

// The city's ground checker, linked in after the world is built.
RoadGroundChecker roadgroundchecker;

KVWorld::~KVWorld()
{
    dynbsp.RemoveAll();
    rawobjPostList.RemoveAll();
}

bool KVWorld::AddPostRawObj(RawObj* pro, bool bTail)
{
    rawobjPostList.Remove(pro);
    Link<RawObj>* l = bTail ? rawobjPostList.AddTail(pro) : rawobjPostList.AddHead(pro);
    return l != nullptr;
}

void KVWorld::RemovePostRawObj(RawObj* pro)
{
    rawobjPostList.Remove(pro);
}

// ---------------------------------------------------------------------------
// Collision passes and rays.
//
// Contact handlers may remove objects from the object list or destroy them,
// so each pass walks a snapshot of the list whose entries hold counted
// references: no link or object storage goes away under the walk.

namespace {

constexpr unsigned KVF_DEADORNOCOLL = OBJF_DEAD | OBJF_NOCOLLISION;   // 0x80000002
constexpr unsigned KVF_INTERIOR = 0x00080000;                         // a static interior object
constexpr unsigned KVF_DEADORINTERIOR = OBJF_DEAD | KVF_INTERIOR;     // 0x80080000

class ObjectSnapshot
{
public:
    explicit ObjectSnapshot(const ObjectList& list)
    {
        int count = list.Count();
        if (count == 0)
            return;
        objs = (Object**)malloc(count * sizeof(Object*));
        if (objs == nullptr)
        {
            printf("KVWorld: no memory to collide %d objects\n", count);
            return;
        }
        for (ObjectLink* l = list.Head(); !l->IsEOList(); l = l->Next())
        {
            Object* o = l->data;
            o->refcount++;
            objs[n++] = o;
        }
    }
    ~ObjectSnapshot()
    {
        for (int i = 0; i < n; i++)
            ReleaseObjectRef(objs[i]);
        free(objs);
    }
    ObjectSnapshot(const ObjectSnapshot&) = delete;
    ObjectSnapshot& operator=(const ObjectSnapshot&) = delete;

    Object** objs = nullptr;
    int n = 0;
};

bool TopLevelCollider(const Object* o)
{
    return !(o->flags & KVF_DEADORNOCOLL) && o->parent == nullptr;
}

// The pair rule of the outdoor passes: two colliding top-level objects that
// are not both static interior objects.
bool PairAllowed(const Object* a, const Object* b)
{
    return TopLevelCollider(a) && TopLevelCollider(b) && !((a->flags & b->flags) & KVF_INTERIOR);
}

// One object against the city's model instances: the first non-zero pair
// result, else 0.  The city's instances join here with its quad tree; until
// then there is nothing to touch.
int CollideAgainstCity(Object*)
{
    return 0;
}

// The city's model instances on a segment; null while there is no city.
Object* RayAgainstCity(VectorPos, VectorPos, VectorPos*, VectorDir*, unsigned short, Object*, Object*)
{
    return nullptr;
}

}  // namespace

void KVWorld::Collision()
{
    ObjectSnapshot snap(objectlist);
    for (int i = 0; i < snap.n; i++)
    {
        Object* a = snap.objs[i];
        if (!TopLevelCollider(a))
            continue;
        for (int retests = 0;; retests++)
        {
            int r = 0;
            for (int j = i + 1; j < snap.n; j++)
            {
                Object* b = snap.objs[j];
                if (!PairAllowed(a, b))
                    continue;
                r = Collide2Objects(a, b);
                if (r < 0 || (r & 1))
                    break;
            }
            if (r >= 0)
            {
                if (a->flags & KVF_DEADORINTERIOR)
                    break;
                r = CollideAgainstCity(a);
                if (r >= 0)
                    break;
            }
            // Changed by a contact: again from the first partner while it is
            // still a live top-level collider.
            if (!TopLevelCollider(a))
                break;
            if (retests == COLLISION_RETESTS)
            {
                printf("KVWorld: object %d still changing after %d retests\n", a->id, COLLISION_RETESTS);
                break;
            }
        }
    }
}

void KVWorld::CollideObject(Object* obj1)
{
    if (obj1 == nullptr || !TopLevelCollider(obj1))
        return;
    ObjectSnapshot snap(objectlist);
    for (int j = 0; j < snap.n; j++)
    {
        Object* b = snap.objs[j];
        if (b == obj1 || !PairAllowed(obj1, b))
            continue;
        if (Collide2Objects(obj1, b) & 1)
            break;
    }
    if (!(obj1->flags & KVF_DEADORINTERIOR))
        CollideAgainstCity(obj1);
}

void KVWorld::InteriorCollision()
{
    bRebuildDynBSP = false;
    if (!dynbsp.TreeMade)
    {
        // Adding boxes runs no handler, so the list is walked directly.
        for (ObjectLink* l = objectlist.Head(); !l->IsEOList(); l = l->Next())
        {
            Object* o = l->data;
            if ((o->flags & KVF_INTERIOR) && TopLevelCollider(o))
                dynbsp.CollCuboids.AddObject(o, o, o->mat);
        }
        dynbsp.MakeTree();
    }
    // The city's contacts run handlers, so this walk uses a snapshot.
    ObjectSnapshot snap(objectlist);
    for (int i = 0; i < snap.n; i++)
    {
        Object* o = snap.objs[i];
        if (!(o->flags & (KVF_DEADORNOCOLL | KVF_INTERIOR)) && o->parent == nullptr)
            dynbsp.CollCuboids.AddObject(o, o, o->mat);
        if (!(o->flags & KVF_DEADORINTERIOR))
            CollideAgainstCity(o);
    }
    dynbsp.TestAndRemove();
    if (bRebuildDynBSP)
    {
        bRebuildDynBSP = false;
        dynbsp.RemoveAll();
    }
}

Object* KVWorld::CheckRay(VectorPos p0, VectorPos p1, VectorPos* point, VectorDir* normal, Object* exclude1,
                          Object* exclude2, unsigned short mask)
{
    VectorPos c = (p0 + p1) * 0.5f;
    float len = Length(p1 - p0);
    for (ObjectLink* l = objectlist.Head(); !l->IsEOList(); l = l->Next())
    {
        Object* o = l->data;
        if (o == exclude1 || o == exclude2 || (o->flags & KVF_DEADORNOCOLL))
            continue;
        float reach = o->radius + len;
        if ((o->mat.GetTrans() - c).LengthSq() < reach * reach && ::CheckRay(o, p0, p1, point, normal, mask))
            return o;
    }
    return RayAgainstCity(p0, p1, point, normal, mask, exclude1, exclude2);
}

float RoadGroundChecker::Check(const Object&, float best, VectorPos, VectorDir*)
{
    // The city's roads, junctions and ground patches answer here once its
    // quad tree is built; until then no ground is known.
    return best;
}
