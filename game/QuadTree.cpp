// The city world.
#include <cstring>
#include <new>

#include "game/QuadTree.h"
#include "game/Backdrop.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Platform.h"

// Built by static initialisation before main, in this order: the world (its
// lists need nothing else), the sky, the temporary objects that stand for city
// instances, the empty occlusion test, and the city's ground checker, linked
// in after the world is built.
KVWorld world;
Backdrop bd;
TempObjectPool tempobjpool;
Occlusion occlusion = (Occlusion::Clear(), Occlusion());
RoadGroundChecker roadgroundchecker;

IndexTable* indextable = nullptr;
u32 indextablesize = 0;

KVWorld::~KVWorld()
{
    dynbsp.RemoveAll();
    vehlist.RemoveAll();
    pedlist.RemoveAll();
    rawobjPostList.RemoveAll();
}

namespace {

// Handlers may remove objects from the object list or destroy them, so walks
// that send messages go over a snapshot of the list whose entries hold
// counted references: no link or object storage goes away under the walk.
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

}  // namespace

// ---------------------------------------------------------------------------
// Start-up, missions and resets.

void KVWorld::Init()
{
    unsigned isize = 0, lsize = 0;
    void* index = FileLoad(CITY_INDEX_PATH, &isize);
    void* layout = FileLoad(CITY_LAYOUT_PATH, &lsize);
    InitCity(index, isize, layout, lsize);
    time_of_day = DAY_FRAMES / 2;
    bd.Init();
    bRebuildDynBSP = false;
    oceanenable = true;
}

void KVWorld::InitCity(void* index, u32 indexsize, void* layout, u32 layoutsize)
{
    FreeCity();
    reportedNoCity = false;
    char why[256] = "";
    const char* fault = nullptr;
    const char* file = CITY_INDEX_PATH;
    if (index == nullptr)
        fault = "the cell index is missing";
    else if (layout == nullptr)
        fault = "the layout is missing", file = CITY_LAYOUT_PATH;
    else if (!IndexTable::Check((const IndexTable*)index, indexsize))
        fault = "the cell index is malformed";
    else if (!QuadTree::CheckLayout((const LayoutFile*)layout, layoutsize, why))
        fault = "the layout is malformed", file = CITY_LAYOUT_PATH;
    void* mem = fault == nullptr ? malloc_align(sizeof(QuadTree), 16) : nullptr;
    if (fault == nullptr && mem == nullptr)
        fault = "no memory for the quad tree";
    if (fault != nullptr) {
        printf("City: %s (%s)%s%s; the world has no city\n", fault, file, why[0] ? ": " : "", why);
        reportedNoCity = true;
        free(index);
        free(layout);
        return;
    }
    indextable = (IndexTable*)index;
    indextablesize = indexsize;
    quadtree = new (mem) QuadTree((LayoutFile*)layout);
}

void KVWorld::FreeCity()
{
    if (quadtree != nullptr) {
        quadtree->~QuadTree();
        free(quadtree);
        quadtree = nullptr;
    }
    free(indextable);
    indextable = nullptr;
    indextablesize = 0;
}

bool KVWorld::HasCity()
{
    if (quadtree != nullptr)
        return true;
    if (!reportedNoCity)
        printf("City: the world has no city; nothing streams\n");
    reportedNoCity = true;
    return false;
}

void KVWorld::ClearPlaceholders()
{
    placeholderlist.DeleteAll();
}

bool KVWorld::LoadMission(const char* name)
{
    unsigned size = 0;
    void* buffer = FileLoad(name, &size);
    missionFileMissing = buffer == nullptr;
    if (buffer == nullptr) {
        printf("KVWorld: no mission file %s; no placeholders\n", name);
        ClearPlaceholders();
        return false;
    }
    return LoadMissionData(buffer, size, name);
}

bool KVWorld::LoadMissionData(void* buffer, u32 size, const char* name)
{
    ClearPlaceholders();
    MissionFile* m = (MissionFile*)buffer;
    bool ok = size >= sizeof(MissionFile);
    if (ok) {
        m->blockCount = 1;
        const HeaderBlock& b = m->block[0];
        ok = b.data < size && (b.data & 15) == 0 && u64(b.count) * 32 <= size - b.data;
        // The block accounts for the whole file: bytes past its records (a
        // file zeroed or padded in place) mean the header is not this file's.
        const u32 end = b.count == 0 ? 16 : b.data + u32(b.count) * 32;
        ok = ok && size <= end && (b.count == 0 || b.data >= 16);
    }
    if (!ok) {
        printf("KVWorld: the mission file %s is malformed; no placeholders\n", name);
        free(buffer);
        return false;
    }
    m->Header()->Fix();
    if (m->block[0].type == 0 && m->block[0].data != 0) {
        const Instance* in = (const Instance*)m->block[0].Data();
        for (int i = 0; i < m->block[0].count; i++) {
            Object* o = new Object();
            if (o == nullptr)
                break;
            o->type = OBJT_PLACEHOLDER;
            o->mat = in[i].GetMatrix();
            o->id = s16(in[i].id);
            if (placeholderlist.AddTail(o) == nullptr) {
                o->Delete();
                break;
            }
        }
    }
    free(buffer);
    return true;
}

void KVWorld::Reset()
{
    ResetTime();
    AnimationClock() = AnimTime(0);
    animlist.RemoveAll();
    framecalllist.RemoveAll();
    dynbsp.RemoveAll();
    // The window goes first: its cells delete the real objects they made.
    if (quadtree != nullptr) {
        quadtree->ClearVisibility();
        quadtree->ClearAllGrids();
    }
    {
        ObjectSnapshot snap(objectlist);
        for (int i = 0; i < snap.n; i++)
            if (snap.objs[i]->parent == nullptr && !snap.objs[i]->IsDead())
                snap.objs[i]->Delete();
    }
    objectlist.RemoveAll();
    ClearPlaceholders();
    timerlist.DeleteAll();
}

void KVWorld::Clean()
{
    dynbsp.RemoveAll();
    if (quadtree != nullptr) {
        quadtree->ClearVisibility();
        quadtree->ClearAllGrids();
    }
    objectlist.Clean();
    animlist.Clean();
    framecalllist.Clean();
    timerlist.Clean();
}

// ---------------------------------------------------------------------------
// City lookups.

bool KVWorld::SyncTo(VectorPos p)
{
    if (!HasCity())
        return true;
    return quadtree->SyncGrid(CellOf(p[0]), CellOf(p[2]), false);
}

bool KVWorld::ExistsAt(VectorPos p)
{
    if (!HasCity())
        return true;
    const Grid* g = quadtree->LoadedGrid(p);
    return g != nullptr && g->streamnum < 0;
}

bool KVWorld::CompleteAt(VectorPos p)
{
    if (!HasCity())
        return true;
    const Grid* g = quadtree->LoadedGrid(p);
    return g != nullptr && g->Complete();
}

bool KVWorld::CompleteAt(const Cuboid& box)
{
    return CompleteAt(VectorPos(box.min[0], 0.0f, box.min[2])) && CompleteAt(VectorPos(box.max[0], 0.0f, box.min[2])) &&
           CompleteAt(VectorPos(box.min[0], 0.0f, box.max[2])) && CompleteAt(VectorPos(box.max[0], 0.0f, box.max[2]));
}

Cuboid KVWorld::LoadedExtent() const
{
    if (quadtree == nullptr)
        return Cuboid(VectorPos(1e38f, 1e38f, 1e38f), VectorPos(-1e38f, -1e38f, -1e38f));
    return quadtree->CurrentMaxCuboid();
}

char* KVWorld::GetRoadName(int& len, int i) const
{
    if (quadtree == nullptr || i < 0 || i >= quadtree->num_roadnames) {
        len = 0;
        return nullptr;
    }
    len = int(quadtree->roadnames[i + 1] - quadtree->roadnames[i]);
    return quadtree->roadnames[i];
}

u32 KVWorld::GetRealtimeCount() const
{
    return Platform::Count();
}

Object* KVWorld::FindCityObject(int id, const Cuboid& box)
{
    for (Visible2D v(box, QN_INSTANCES); *v; ++v) {
        QuadNode* n = *v;
        for (int k = 0; k < n->nObjects; k++)
            if (n->objects[k].id == id)
                return n->GetObject(k);
    }
    return nullptr;
}

Object* KVWorld::FindClosestCityObject(VectorPos p, float radius)
{
    QuadNode* bestNode = nullptr;
    int bestK = 0;
    float best = 1e38f;
    for (Visible2D v(Cuboid(p, 0.078125f), QN_INSTANCES); *v; ++v) {
        QuadNode* n = *v;
        for (int k = 0; k < n->nObjects; k++) {
            const float d = (n->objects[k].Pos() - p).LengthSq();
            if (d < best) {
                best = d;
                bestNode = n;
                bestK = k;
                if (d < radius * radius)
                    return n->GetObject(k);
            }
        }
    }
    return bestNode != nullptr ? bestNode->GetObject(bestK) : nullptr;
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

// One object against the city's model instances; nothing to touch while
// there is no city.
int CollideAgainstCity(Object* o)
{
    return world.quadtree != nullptr ? world.quadtree->Collide(o) : 0;
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
    return quadtree != nullptr ? quadtree->CheckRay(p0, p1, point, normal, mask, nullptr, exclude1, exclude2) : nullptr;
}

Object* KVWorld::CheckRayCity(VectorPos p0, VectorPos p1, VectorPos* point, VectorDir* normal, unsigned short mask,
                              int (*pcch)(Object*))
{
    return quadtree != nullptr ? quadtree->CheckRay(p0, p1, point, normal, mask, pcch, nullptr, nullptr) : nullptr;
}

float RoadGroundChecker::Check(const Object&, float best, VectorPos pos, VectorDir* normal)
{
    return world.quadtree != nullptr ? world.quadtree->GetHeight(best, pos, normal, nullptr) : best;
}
