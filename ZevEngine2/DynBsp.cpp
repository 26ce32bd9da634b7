// Broad phase for interiors: a partition of world space built once from the
// static props' boxes, through which the moving objects' boxes are dropped
// every frame.
#include "ZevEngine2/DynBsp.h"

namespace {

bool Overlap(const Cuboid& a, const Cuboid& b)
{
    for (int k = 0; k < 3; k++)
        if (std::max(a.min[k], b.min[k]) > std::min(a.max[k], b.max[k]))
            return false;
    return true;
}

bool Dead(const Object* o)
{
    return (o->flags & OBJF_DEAD) != 0;
}

// Releases the box's references and gives it back to its pool.
void FreeCuboid(CollCuboid* q)
{
    delete q;
}

}  // namespace

// ---------------------------------------------------------------------------
// Boxes

void CollCuboidList::AddObject(Object* root, Object* part, const Matrix& m)
{
    COLLISION* chain = part->GetCollision();
    if (chain != nullptr && !(part->flags & OBJF_NOCOLLISION))
    {
        for (COLLISION* e = chain; !e->IsEnd(); e = e->Next())
        {
            Cuboid box;
            switch (e->type)
            {
            case COLL_SPHERE: {
                const Sphere& s = ((CollSphere*)e)->sphere;
                box = Cuboid(m * s.Centre(), s[3]);
                break;
            }
            case COLL_BOX: {
                const Cuboid& b = ((CollBox*)e)->box;
                VectorPos centre = m * b.Centre();
                VectorDir s = b.Extent();
                VectorDir h = Abs(m.x.xyz()) * s[0] + Abs(m.y.xyz()) * s[1] + Abs(m.z.xyz()) * s[2];
                box = Cuboid(centre, h);
                break;
            }
            case COLL_SOUP:
                box = Cuboid(m.GetTrans(), part->radius);
                break;
            default:
                printf("Unsuppored coll method %d\n", e->type);
                continue;
            }
            CollCuboid* q = new CollCuboid;
            if (q == nullptr)
                continue;   // the pool has reported it
            q->mat = m;
            q->cuboid = box;
            q->pObject = root;
            q->pPart = part;
            q->pColl = e;
            VectorDir size = box.Extent();
            q->volume = size[0] * size[1] * size[2];
            AddTail(q);
            nCollCuboids++;
        }
    }
    if (part->flags & OBJF_CHILDCOLLISION)
    {
        for (Object* c = part->child; c != nullptr; c = c->sibling)
            AddObject(root, c, c->mat * m);
    }
}

int CollCuboidList::Test(CollCuboid* q)
{
    for (CollCuboid* e = Head(); !e->IsEOList(); e = e->Next())
    {
        if (!Overlap(e->cuboid, q->cuboid))
            continue;
        int r = CollideFine(q, e);
        if (r != 0)
            return r;
    }
    return 0;
}

int CollCuboidList::Test(CollCuboidList* other)
{
    for (CollCuboid* e = Head(); !e->IsEOList(); e = e->Next())
    {
        int r = other->Test(e);
        if (r != 0)
            return r;
    }
    return 0;
}

int CollCuboidList::Test(DynBspTree* t)
{
    for (CollCuboid* e = Head(); !e->IsEOList(); e = e->Next())
    {
        int r = t->TestCuboid(e);
        if (r != 0)
            return r;
    }
    return 0;
}

void CollCuboidList::Offset(const VectorDir& d)
{
    for (CollCuboid* e = Head(); !e->IsEOList(); e = e->Next())
    {
        for (int k = 0; k < 3; k++)
        {
            e->cuboid.min[k] += d[k];
            e->cuboid.max[k] += d[k];
            e->mat.w[k] += d[k];
        }
    }
}

int CollideFine(CollCuboid* a, CollCuboid* b)
{
    CollisionRecord rec(a->pObject, b->pObject);
    return rec.CollideFine(a->pPart, b->pPart, a->mat, b->mat, a->pColl, b->pColl);
}

int SortCuboid(const void* x, const void* y)
{
    float vx = (*(CollCuboid* const*)x)->volume;
    float vy = (*(CollCuboid* const*)y)->volume;
    if (vx > vy)
        return -1;
    if (vx < vy)
        return 1;
    return 0;
}

void PrintCuboid(const Cuboid& c, char* prefix)
{
    printf("%s(%f,%f,%f)->(%f,%f,%f)", prefix, c.min[0], c.min[1], c.min[2], c.max[0], c.max[1], c.max[2]);
}

// ---------------------------------------------------------------------------
// Nodes

DynBspNode::DynBspNode(const Cuboid& region, CollCuboid* first) : pChild{nullptr, nullptr}, nExtent(1)
{
    Extent[0] = region;
    Extent[1] = region;
    Objects.AddTail(first);
}

DynBspNode::~DynBspNode()
{
    for (int k = 0; k < 2; k++)
    {
        if (pChild[k] != nullptr)
        {
            pChild[k]->~DynBspNode();
            free(pChild[k]);
            pChild[k] = nullptr;
        }
    }
    while (!Objects.IsEmpty())
        FreeCuboid(Objects.RemoveHead());
}

static DynBspNode* NewNode(const Cuboid& region, CollCuboid* first)
{
    void* mem = malloc_align(sizeof(DynBspNode), 16);
    if (mem == nullptr)
    {
        printf("DynBsp: no memory for a node\n");
        return nullptr;
    }
    return new (mem) DynBspNode(region, first);
}

void DynBspNode::Recurse(CollCuboid* q)
{
    DynBspNode* n = this;
    for (;;)
    {
        if (n->nExtent == 1)
        {
            // Split the region at the middle of the widest gap between the
            // node's first box e and q: Extent[0] is e's side, Extent[1] q's.
            if (!n->Objects.IsEmpty())
            {
                const Cuboid& e = n->Objects.Head()->cuboid;
                const Cuboid& c = q->cuboid;
                Cuboid region = n->Extent[0];
                n->nExtent = 2;
                n->Extent[1] = region;
                float best = -1e30f;
                for (int a = 0; a < 3; a++)
                {
                    float g = c.min[a] - e.max[a];   // q above e
                    if (g > best)
                    {
                        best = g;
                        n->Extent[0] = region;
                        n->Extent[1] = region;
                        if (best >= 0.0f)
                        {
                            float s = e.max[a] + g * 0.5f;
                            n->Extent[0].max[a] = s;
                            n->Extent[1].min[a] = s;
                        }
                    }
                    g = e.min[a] - c.max[a];   // e above q
                    if (g > best)
                    {
                        best = g;
                        n->Extent[0] = region;
                        n->Extent[1] = region;
                        if (best >= 0.0f)
                        {
                            float s = c.max[a] + g * 0.5f;
                            n->Extent[0].min[a] = s;
                            n->Extent[1].max[a] = s;
                        }
                    }
                }
                if (!(best >= 0.0f))
                    n->nExtent = 1;   // overlapping on every axis: no split
            }
            n->Objects.AddTail(q);
            return;
        }

        bool in0 = Overlap(q->cuboid, n->Extent[0]);
        bool in1 = Overlap(q->cuboid, n->Extent[1]);
        if (in0 == in1)
        {
            // Straddles the split (or, by rounding, lies in neither part).
            n->Objects.AddTail(q);
            return;
        }
        int k = in0 ? 0 : 1;
        if (n->pChild[k] == nullptr)
        {
            n->pChild[k] = NewNode(n->Extent[k], q);
            if (n->pChild[k] == nullptr)
                n->Objects.AddTail(q);   // kept here rather than lost
            return;
        }
        n = n->pChild[k];
    }
}

int DynBspNode::RecurseNoAdd(CollCuboid* q)
{
    int r = CollideObjects(q);
    if (r != 0)
        return r;
    for (int k = 0; k < nExtent; k++)
    {
        if (pChild[k] != nullptr && Overlap(q->cuboid, Extent[k]))
        {
            r = pChild[k]->RecurseNoAdd(q);
            if (r != 0)
                return r;
        }
    }
    return 0;
}

int DynBspNode::CollideObjects(CollCuboid* q)
{
    CollCuboid* next;
    for (CollCuboid* e = Objects.Head(); !e->IsEOList(); e = next)
    {
        next = e->Next();
        if (Dead(e->pObject))
        {
            e->UnLink();
            FreeCuboid(e);
            continue;
        }
        if (e->pObject->flags & OBJF_NOCOLLISION)
            continue;
        if (!Overlap(q->cuboid, e->cuboid))
            continue;
        int r = CollideFine(q, e);
        if (r != 0)
            return r;
        // A handler that destroyed the moving object has ended its tests.
        if (Dead(q->pObject))
            return 0;
    }
    return 0;
}

void DynBspNode::Dump(char* indent)
{
    size_t len = strlen(indent);
    for (int k = 0; k < nExtent; k++)
    {
        PrintCuboid(Extent[k], indent);
        printf("\n");
        if (pChild[k] != nullptr)
        {
            // One blank deeper, as long as the buffer has room.
            if (len + 1 < (size_t)DUMP_INDENT)
                strcat(indent, " ");
            pChild[k]->Dump(indent);
            indent[len] = 0;
        }
    }
}

// ---------------------------------------------------------------------------
// Tree

void DynBspTree::MakeTree()
{
    TreeMade = true;
    if (CollCuboids.IsEmpty())
        return;

    int n = CollCuboids.Count();
    CollCuboid** all = (CollCuboid**)malloc(n * sizeof(CollCuboid*));
    WorldExtent = CollCuboids.Head()->cuboid;
    for (CollCuboid* e = CollCuboids.Head(); !e->IsEOList(); e = e->Next())
        WorldExtent += e->cuboid;
    if (all == nullptr)
    {
        // No room to sort: insert in list order rather than lose the boxes.
        printf("DynBsp: no memory to sort %d boxes\n", n);
        while (!CollCuboids.IsEmpty())
            InsertCuboid(CollCuboids.RemoveHead());
    }
    else
    {
        for (int i = 0; i < n; i++)
            all[i] = CollCuboids.RemoveHead();
        qsort(all, n, sizeof(CollCuboid*), SortCuboid);
        for (int i = 0; i < n; i++)
            InsertCuboid(all[i]);
        free(all);
    }
    CollCuboids.nCollCuboids = 0;
}

void DynBspTree::InsertCuboid(CollCuboid* q)
{
    if (pTop == nullptr)
    {
        pTop = NewNode(WorldExtent, q);
        if (pTop == nullptr)
            FreeCuboid(q);
        return;
    }
    pTop->Recurse(q);
}

void DynBspTree::TestAndRemove()
{
    while (!CollCuboids.IsEmpty())
    {
        CollCuboid* q = CollCuboids.RemoveHead();
        TestCuboid(q);
        FreeCuboid(q);
    }
    CollCuboids.nCollCuboids = 0;
}

int DynBspTree::TestCuboid(CollCuboid* q)
{
    // Boxes of objects destroyed by earlier contacts take no further part.
    if (Dead(q->pObject))
        return 0;
    for (CollCuboid* p = CollCuboids.Head(); !p->IsEOList(); p = p->Next())
    {
        if (p->pObject == q->pObject || Dead(p->pObject) || !Overlap(q->cuboid, p->cuboid))
            continue;
        int r = CollideFine(q, p);
        if (r != 0)
            return r;
        if (Dead(q->pObject))
            return 0;
    }
    if (pTop != nullptr)
        return pTop->RecurseNoAdd(q);
    return 0;
}

void DynBspTree::RemoveBsp()
{
    TreeMade = false;
    if (pTop != nullptr)
    {
        pTop->~DynBspNode();
        free(pTop);
        pTop = nullptr;
    }
}

void DynBspTree::RemoveNonBsp()
{
    while (!CollCuboids.IsEmpty())
        FreeCuboid(CollCuboids.RemoveHead());
    CollCuboids.nCollCuboids = 0;
}

void DynBspTree::Dump()
{
    printf("----- BSP DUMP -----\n");
    if (pTop == nullptr)
        return;
    char* indent = (char*)malloc(DynBspNode::DUMP_INDENT);
    if (indent == nullptr)
        return;
    indent[0] = 0;
    pTop->Dump(indent);
    free(indent);
}
