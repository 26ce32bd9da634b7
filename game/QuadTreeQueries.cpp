// Queries on the city's window: the ground height under a point (with the
// moving object's cache), collisions of objects with the city's model
// instances, and rays against them.
#include "game/QuadTree.h"

namespace {

constexpr float NO_GROUND = -1e38f;

// A fixed stack of quad nodes; a push onto a full stack is dropped and said
// once per city.
class NodeStack
{
public:
    explicit NodeStack(QuadTree* qt) : qt(qt) {}
    void Push(QuadNode* n)
    {
        if (sp == QUADTREE_QUERY_STACK) {
            if (!qt->reportedQueryStack)
                printf("City: a query walk's stack is full; part of the city is skipped\n");
            qt->reportedQueryStack = true;
            return;
        }
        stack[sp++] = n;
    }
    QuadNode* Pop() { return sp > 0 ? stack[--sp] : nullptr; }

private:
    QuadTree* qt;
    QuadNode* stack[QUADTREE_QUERY_STACK];
    int sp = 0;
};

bool ContainsXZ(const Cuboid& b, VectorPos p)
{
    return b.min[0] <= p[0] && p[0] <= b.max[0] && b.min[2] <= p[2] && p[2] <= b.max[2];
}

constexpr u32 QN_SURFACES = QN_JUNCTIONS | QN_ROADSEGS | QN_GROUNDPATCHES;
constexpr unsigned OBJF_NOCOLL = 0x00000002;

bool LiveCollider(const Object* o)
{
    return !o->IsDead() && !(o->flags & OBJF_NOCOLL);
}

}  // namespace

float QuadTree::GetHeight(float sofar, VectorPos p, VectorDir* normal, GHCache* cache)
{
    float best = sofar;
    NodeStack stack(this);
    for (Grid& g : grid)
        if (g.root != nullptr && ContainsXZ(g.root->ext, p))
            stack.Push(g.root);
    // Whether the surface just found is close enough under p to remember.
    auto near = [&]() { return best < p[1] + GROUND_STEP; };
    // Every test is asked for a normal; a success hands it on and says
    // whether there is a cache to record the surface in.
    VectorDir n;
    auto found = [&](bool ok) {
        if (ok && normal != nullptr)
            *normal = n;
        return ok && cache != nullptr;
    };
    while (QuadNode* node = stack.Pop()) {
        if (!ContainsXZ(node->ext, p))
            continue;
        for (QuadNode* c : node->child)
            if (c != nullptr && (c->Flags() & QN_SURFACES))
                stack.Push(c);
        for (int i = 0; i < node->nRoadSegs; i++) {
            RoadSeg* rs = &node->roadsegs[i];
            if (found(rs->GetHeight(p, &n, best, cache))) {
                cache->prs = near() ? rs : nullptr;
                cache->pjunc = nullptr;
                cache->pgp = nullptr;
            }
        }
        Junction* j = node->junctions;
        for (int i = 0; i < node->nJunctions; i++, j = j->Next()) {
            if (found(j->GetHeight(p, &n, best, cache))) {
                cache->pjunc = near() ? j : nullptr;
                cache->prs = nullptr;
                cache->pgp = nullptr;
            }
        }
        for (int i = 0; i < node->nGroundPatches; i++) {
            GroundPatch* gp = &node->groundpatches[i];
            if (found(gp->GetHeight(p, &n, best, cache))) {
                cache->pgp = near() ? gp : nullptr;
                cache->prs = nullptr;
            }
        }
    }
    if (cache != nullptr)
        cache->SetPos(p);
    return best;
}

float KVWorld::GroundHeight(VectorPos p, VectorDir* normal, GHCache* cache)
{
    auto none = [normal]() {
        if (normal != nullptr)
            *normal = VectorDir(0.0f, -1.0f, 0.0f);
        return 0.0f;
    };
    if (quadtree == nullptr)
        return none();
    if (cache == nullptr) {
        const float h = quadtree->GetHeight(NO_GROUND, p, normal, nullptr);
        return h == NO_GROUND ? none() : h;
    }

    // The remembered surfaces write their normal here; without a normal
    // asked for they are asked for none (no wall push-back is recorded).
    float best = NO_GROUND;
    VectorDir n;
    VectorDir* tn = normal != nullptr ? &n : nullptr;
    auto took = [&](bool ok) {
        if (ok && normal != nullptr)
            *normal = n;
        return ok;
    };
    if (cache->prs != nullptr) {
        RoadSeg* old = cache->prs;
        if (!took(old->GetHeight(p, tn, best, cache))) {
            cache->prs = nullptr;
            for (Junction* j : old->jtn) {
                // A segment may end without a junction.
                if (j == nullptr)
                    continue;
                if (j->u8Flags & JUNCTION_FAKE) {
                    if (j->nRoadsegs != 2)
                        continue;
                    RoadSeg* other = j->roadsegs[j->roadsegs[0] == old ? 1 : 0];
                    if (other != nullptr && took(other->GetHeight(p, tn, best, cache))) {
                        cache->prs = other;
                        break;
                    }
                } else if (took(j->GetHeight(p, tn, best, cache))) {
                    cache->pjunc = j;
                    break;
                }
            }
        }
    } else if (cache->pjunc != nullptr) {
        Junction* j = cache->pjunc;
        if (!took(j->GetHeight(p, tn, best, cache))) {
            cache->pjunc = nullptr;
            for (int k = 0; k < j->nRoadsegs; k++) {
                RoadSeg* rs = j->roadsegs[k];
                if (rs != nullptr && took(rs->GetHeight(p, tn, best, cache))) {
                    cache->prs = rs;
                    break;
                }
            }
        }
    }
    if (cache->pgp != nullptr && !took(cache->pgp->GetHeight(p, tn, best, cache)))
        cache->pgp = nullptr;
    if (cache->prevpos[0] == 0.0f && cache->prevpos[1] == 0.0f && cache->prevpos[2] == 0.0f)
        cache->SetPos(p);
    if (best == NO_GROUND) {
        best = quadtree->GetHeight(NO_GROUND, p, normal, cache);
        if (best == NO_GROUND)
            best = none();
    }
    cache->SetPos(p);
    return best;
}

int QuadTree::Collide(Object* obj)
{
    const VectorPos at = obj->Pos();
    const Cuboid box(at, obj->radius);
    NodeStack stack(this);
    for (Grid& g : grid)
        if (g.root != nullptr && Overlaps(g.root->ext, box))
            stack.Push(g.root);
    while (QuadNode* node = stack.Pop()) {
        for (int k = 0; k < node->nObjects; k++) {
            Instance& in = node->objects[k];
            if (in.obj != nullptr) {
                if (!LiveCollider(in.obj))
                    continue;
                if (const int r = Collide2Objects(obj, in.obj))
                    return r;
                continue;
            }
            MdlfileCache& m = mdlfiles[in.mdlfileid];
            if (!m.Resident() || !SphereCheck(at, obj->radius, in.Pos(), m.obj.radius))
                continue;
            TempObject* t = tempobjpool.Bind(&in, &m);
            if (t == nullptr)
                continue;
            // A fresh record: not flipped, no contact information yet.
            CollisionRecord rec(obj, t);
            if (const int r = rec.Collide())
                return r;
        }
        for (QuadNode* c : node->child)
            if (c != nullptr && (c->Flags() & QN_INSTANCES) && Overlaps(c->ext, box))
                stack.Push(c);
    }
    return 0;
}

Object* QuadTree::CheckRay(VectorPos p0, VectorPos p1, VectorPos* point, VectorDir* normal, unsigned short mask,
                           int (*pcch)(Object*), Object* exclude1, Object* exclude2)
{
    const Cuboid box(VectorPos(Min(p0, p1)), VectorPos(Max(p0, p1)));
    const VectorPos c = (p0 + p1) * 0.5f;
    const float len = Length(VectorXYZ(p1 - p0));
    // The children toward p1 are handled first.
    const int q = (p0[0] < p1[0] ? 0 : 1) | (p0[2] < p1[2] ? 0 : 2);
    auto reaches = [&](VectorPos pos, float radius) {
        const float reach = radius + len;
        return VectorXYZ(pos - c).LengthSq() < reach * reach;
    };
    auto accepted = [&](Object* o) {
        return ::CheckRay(o, p0, p1, point, normal, mask) && (pcch == nullptr || pcch(o) != 0);
    };
    NodeStack stack(this);
    for (Grid& g : grid)
        if (g.root != nullptr && Overlaps(g.root->ext, box))
            stack.Push(g.root);
    while (QuadNode* node = stack.Pop()) {
        for (int i = 0; i < 4; i++) {
            QuadNode* ch = node->child[i ^ q];
            if (ch != nullptr && (ch->Flags() & QN_INSTANCES) && Overlaps(ch->ext, box))
                stack.Push(ch);
        }
        for (int k = 0; k < node->nObjects; k++) {
            Instance& in = node->objects[k];
            if (Object* o = in.obj) {
                if (o == exclude1 || o == exclude2 || !LiveCollider(o) || !reaches(o->Pos(), o->radius))
                    continue;
                if (accepted(o))
                    return o;
                continue;
            }
            MdlfileCache& m = mdlfiles[in.mdlfileid];
            if (!m.Resident() || !reaches(in.Pos(), m.obj.radius))
                continue;
            TempObject* t = tempobjpool.Bind(&in, &m);
            if (t != nullptr && accepted(t))
                return t;
        }
    }
    return nullptr;
}

bool Overlaps(const Cuboid& a, const Cuboid& b)
{
    for (int i = 0; i < 3; i++)
        if (a.max[i] < b.min[i] || b.max[i] < a.min[i])
            return false;
    return true;
}
