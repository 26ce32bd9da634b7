// Ray and ground-height queries against collision chains.
//
// World y points down: a smaller y is higher, so the ground searches keep the
// smallest y.
#include "ZevEngine2/Collision.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"

GroundChecker* GroundChecker::list = nullptr;

namespace {

// Room of the soup ray search's stack; a subtree that would not fit is
// searched by a nested search with a stack of its own.
constexpr int RAY_STACK = 32;

// A position of the world (or parent) frame in the frame placed by the
// orthonormal matrix m.
VectorPos IntoFrame(const Matrix& m, const VectorPos& p)
{
    VectorXYZ d = p - m.GetTrans();
    return VectorPos(Dot(d, m.x.xyz()), Dot(d, m.y.xyz()), Dot(d, m.z.xyz()));
}

// A box or sphere that bounds a nested chain.
bool HasNestedChain(const COLLISION* e)
{
    return (e->type == COLL_BOX || e->type == COLL_SPHERE) && ((const CollBox*)e)->child != 0;
}

bool MaskPasses(u16 mask, u16 id)
{
    return ((mask >> 8) & id & 0xFF) != 0;
}

// The point of the segment p0-p1 where axis a has the value v.
VectorPos PointAt(const VectorPos& p0, const VectorPos& p1, int a, float v)
{
    float t = (v - p0[a]) / (p1[a] - p0[a]);
    return p0 + (p1 - p0) * t;
}

// The slab walk of the box ray tests.  Entry and exit t within [0, 1]; face
// the entered face (-1 when the segment starts inside on every axis it
// moves along).  False when the segment misses the box.
bool Slabs(const Cuboid& b, const VectorPos& p0, const VectorPos& p1, float& tEnter, int& face)
{
    VectorXYZ d = p1 - p0;
    tEnter = 0.0f;
    float tExit = 1.0f;
    face = -1;
    for (int k = 0; k < 3; k++)
    {
        if (d[k] == 0.0f)
        {
            // Parallel to the slab: it must lie within it.
            if (p0[k] < b.min[k] || p0[k] > b.max[k])
                return false;
            continue;
        }
        float enter = (b.min[k] - p0[k]) / d[k];
        float exit = (b.max[k] - p0[k]) / d[k];
        int f = k;
        if (d[k] < 0.0f)
        {
            std::swap(enter, exit);
            f = k + 3;
        }
        if (enter > tExit || exit < tEnter)
            return false;
        if (enter > tEnter)
        {
            tEnter = enter;
            face = f;
        }
        if (exit < tExit)
            tExit = exit;
    }
    return true;
}

bool SegmentBoxMeets(const Cuboid& b, const VectorPos& p0, const VectorPos& p1)
{
    for (int k = 0; k < 3; k++)
    {
        float lo = std::min(p0[k], p1[k]), hi = std::max(p0[k], p1[k]);
        if (hi < b.min[k] || lo > b.max[k])
            return false;
    }
    return true;
}

// One leaf of a soup: the nearest face in front of p0 crossed by the
// segment.
bool RayLeaf(const CollSoup* soup, const SoupBSP_List* leaf, const VectorPos& p0, const VectorPos& p1, u16 mask,
             VectorPos& x, VectorDir& n)
{
    float best = 1.0f;
    const u16* idx = leaf->Faces();
    for (int i = 0; i < leaf->Count(); i++)
    {
        const SoupFace& f = soup->Faces()[idx[i]];
        if (!MaskPasses(mask, f.id))
            continue;
        if (f.v[0] >= soup->count || f.v[1] >= soup->count || f.v[2] >= soup->count)
            continue;
        VectorPos a(soup->Verts()[f.v[0]].xyz()), b(soup->Verts()[f.v[1]].xyz()), c(soup->Verts()[f.v[2]].xyz());
        VectorDir fn = (b - a) ^ (c - b);
        float den = Dot(fn, p0 - p1);
        if (!(den > 0.0f))
            continue;   // parallel or crossing from behind
        float num = Dot(fn, p0 - a);
        if (num < 0.0f || best * den <= num)
            continue;
        float t = num / den;
        VectorPos q = p0 + (p1 - p0) * t;
        VectorXYZ qa = a - q, qb = b - q, qc = c - q;
        if (Dot(qa ^ qb, fn) < 0.0f || Dot(qb ^ qc, fn) < 0.0f || Dot(qc ^ qa, fn) < 0.0f)
            continue;
        best = t;
        x = q;
        n = fn;
    }
    return best < 1.0f;
}

// The soup's ray search from one subtree, the side holding p0 first.
bool RaySearch(const CollSoup* soup, const SoupBSP* node, VectorPos p0, VectorPos p1, u16 mask, VectorPos& x,
               VectorDir& n)
{
    SoupStack stack[RAY_STACK];
    int sp = 0;
    for (;;)
    {
        while (!node->IsLeaf())
        {
            const SoupBSP_Split* s = (const SoupBSP_Split*)node;
            int a = s->Axis();
            float v = s->value;
            const SoupBSP* nearSide;
            SoupStack later;
            if (p0[a] < p1[a])
            {
                if (p1[a] < v)
                {
                    node = s->Link2();
                    continue;
                }
                if (v < p0[a])
                {
                    node = s->Link1();
                    continue;
                }
                nearSide = s->Link2();
                later = {s->Link1(), PointAt(p0, p1, a, v), p1};
            }
            else
            {
                if (p0[a] < v)
                {
                    node = s->Link2();
                    continue;
                }
                if (v < p1[a])
                {
                    node = s->Link1();
                    continue;
                }
                nearSide = s->Link1();
                if (p0[a] == p1[a])
                    later = {s->Link2(), p0, p1};
                else
                    later = {s->Link2(), PointAt(p0, p1, a, v), p1};
            }
            if (sp == RAY_STACK)
            {
                // No room to keep the far side: finish the near side now.
                if (RaySearch(soup, nearSide, p0, p1, mask, x, n))
                    return true;
                node = later.bsp;
                p0 = later.p0;
                p1 = later.p1;
                continue;
            }
            stack[sp++] = later;
            node = nearSide;
        }
        if (RayLeaf(soup, (const SoupBSP_List*)node, p0, p1, mask, x, n))
            return true;
        if (sp == 0)
            return false;
        --sp;
        node = stack[sp].bsp;
        p0 = stack[sp].p0;
        p1 = stack[sp].p1;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Shapes

bool CheckRay(const Sphere& s, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal)
{
    VectorPos c = s.Centre();
    float r = s[3];
    VectorXYZ d = p1 - p0;
    float dd = d.LengthSq();
    if (dd == 0.0f)
        return false;   // a point: no direction to enter by
    VectorXYZ cp = c - p0;
    float b = Dot(d, cp);
    if (b < 0.0f)
        return false;
    float q = cp.LengthSq() - r * r;
    if (q < 0.0f)
        return false;   // starts inside
    float disc = b * b - dd * q;
    if (disc < 0.0f)
        return false;
    float t = b - sqrtf(disc);
    if (t < 0.0f || t > dd)
        return false;
    VectorPos x = p0 + d * (t / dd);
    if (hit != nullptr)
        *hit = x;
    if (normal != nullptr)
        *normal = VectorDir((x - c) / r);
    return true;
}

bool CheckRay(const Cuboid& b, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal)
{
    if (!SegmentBoxMeets(b, p0, p1))
        return false;
    if (b.IsInside(p0) && b.IsInside(p1))
        return false;
    float t;
    int face;
    if (!Slabs(b, p0, p1, t, face) || face < 0)
        return false;
    if (hit != nullptr)
        *hit = p0 + (p1 - p0) * t;
    if (normal != nullptr)
    {
        Plane pl = b.GetPlane(face);
        *normal = pl.Normal();
        normal->setw(pl[3]);
    }
    return true;
}

bool CheckRay(const Cuboid& b, VectorPos p0, VectorPos p1)
{
    if (!SegmentBoxMeets(b, p0, p1))
        return false;
    if (b.IsInside(p0))
        return true;
    float t;
    int face;
    return Slabs(b, p0, p1, t, face);
}

bool CheckRay(VectorPos centre, float radius, VectorPos p0, VectorPos p1)
{
    VectorPos q = ClosestPoint(p0, p1, centre);
    return (q - centre).LengthSq() < radius * radius;
}

bool CollSoup::CheckRay(VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal, u16 mask) const
{
    VectorPos x;
    VectorDir n;
    if (!RaySearch(this, &root, p0, p1, mask, x, n))
        return false;
    if (hit != nullptr)
        *hit = x;
    if (normal != nullptr)
        *normal = n;
    return true;
}

// ---------------------------------------------------------------------------
// Chains and objects

bool CheckRay(COLLISION* chain, const Matrix& m, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal,
              u16 mask)
{
    if (chain == nullptr)
        return false;
    VectorPos l0 = IntoFrame(m, p0), l1 = IntoFrame(m, p1);
    VectorPos x;
    VectorDir n;
    for (COLLISION* e = chain; !e->IsEnd(); e = e->Next())
    {
        bool got = false;
        switch (e->type)
        {
        case COLL_SPHERE: {
            CollSphere* s = (CollSphere*)e;
            got = MaskPasses(mask, s->id) && ::CheckRay(s->sphere, l0, l1, &x, &n);
            break;
        }
        case COLL_BOX: {
            // A bounding box answers as a solid box, whatever the mask.
            CollBox* b = (CollBox*)e;
            got = (b->child != 0 || MaskPasses(mask, b->id)) && ::CheckRay(b->box, l0, l1, &x, &n);
            break;
        }
        case COLL_SOUP:
            got = ((CollSoup*)e)->CheckRay(l0, l1, &x, &n, mask);
            break;
        default:
            break;   // plane sets are not hit by rays
        }
        if (got)
        {
            if (hit != nullptr)
                *hit = m * x;
            if (normal != nullptr)
                *normal = m * n;
            return true;
        }
    }
    return false;
}

bool CheckRayChild(Object* o, const Matrix& m, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal,
                   u16 mask)
{
    for (Object* c = o->child; c != nullptr; c = c->sibling)
    {
        Matrix mc = c->mat * m;
        COLLISION* chain = c->GetCollision();
        if (chain != nullptr && !(c->flags & OBJF_NOCOLLISION) && CheckRay(chain, mc, p0, p1, hit, normal, mask))
            return true;
        if ((c->flags & OBJF_CHILDCOLLISION) && CheckRayChild(c, mc, p0, p1, hit, normal, mask))
            return true;
    }
    return false;
}

bool CheckRay(Object* o, VectorPos p0, VectorPos p1, VectorPos* hit, VectorDir* normal, u16 mask)
{
    if ((o->flags & OBJF_CHILDCOLLISION) && CheckRayChild(o, o->mat, p0, p1, hit, normal, mask))
        return true;
    COLLISION* chain = o->GetCollision();
    return chain != nullptr && CheckRay(chain, o->mat, p0, p1, hit, normal, mask);
}

// ---------------------------------------------------------------------------
// Ground heights

float Object::GroundHeight(VectorPos pos, VectorDir* normal) const
{
    float best = -1e38f;
    for (GroundChecker* g = GroundChecker::list; g != nullptr; g = g->next)
        best = g->Check(*this, best, pos, normal);
    if (best == -1e38f)
    {
        if (normal != nullptr)
        {
            (*normal)[0] = 0.0f;
            (*normal)[1] = -1.0f;
            (*normal)[2] = 0.0f;
        }
        return 0.0f;
    }
    return best;
}

float CollSoup::GetHeight(VectorPos p, VectorDir* normal) const
{
    const SoupBSP* node = &root;
    while (!node->IsLeaf())
    {
        const SoupBSP_Split* s = (const SoupBSP_Split*)node;
        node = p[s->Axis()] < s->value ? s->Link2() : s->Link1();
    }
    const SoupBSP_List* leaf = (const SoupBSP_List*)node;
    float best = 1e38f;
    const u16* idx = leaf->Faces();
    for (int i = 0; i < leaf->Count(); i++)
    {
        const SoupFace& f = Faces()[idx[i]];
        if (f.v[0] >= count || f.v[1] >= count || f.v[2] >= count)
            continue;
        VectorPos a(Verts()[f.v[0]].xyz()), b(Verts()[f.v[1]].xyz()), c(Verts()[f.v[2]].xyz());
        VectorDir d0 = a - p, d1 = b - p, d2 = c - p;
        if (!TestXZ(d0, d1) || !TestXZ(d1, d2) || !TestXZ(d2, d0))
            continue;
        VectorDir n = (b - a) ^ (c - b);
        if (n[1] == 0.0f)
            continue;   // an upright face has no height over a point
        float h = a[1] + (n[0] * (a[0] - p[0]) + n[2] * (a[2] - p[2])) / n[1];
        if (h < best && h > p[1] - 0.3125f)
        {
            best = h;
            if (normal != nullptr)
                *normal = n;
        }
    }
    return best;
}

// Entries in order; the nested chain of a bounding volume is always entered
// (no test) and the walk goes on after the volume.
static void ChainGround(COLLISION* e, const Matrix& m, const VectorPos& p, float& best, VectorDir* normal)
{
    for (; !e->IsEnd(); e = e->Next())
    {
        if (HasNestedChain(e))
        {
            ChainGround(((CollBox*)e)->Child(), m, p, best, normal);
            continue;
        }
        if (e->type == COLL_BOX)
        {
            const Cuboid& b = ((CollBox*)e)->box;
            if (b.min[0] <= p[0] && p[0] <= b.max[0] && b.min[2] <= p[2] && p[2] <= b.max[2] && p[1] < b.max[1])
            {
                // The box's top face under the point.
                float y = (m * VectorPos(p[0], b.min[1], p[2]))[1];
                if (y < best)
                {
                    best = y;
                    if (normal != nullptr)
                        *normal = VectorDir(-m.y.xyz());
                }
            }
        }
        else if (e->type == COLL_SOUP)
        {
            VectorDir n;
            float h = ((CollSoup*)e)->GetHeight(p, &n);
            if (h < 1e37f)
            {
                float y = (m * VectorPos(p[0], h, p[2]))[1];
                if (y < best)
                {
                    best = y;
                    if (normal != nullptr)
                        *normal = m * n;
                }
            }
        }
    }
}

float GetObjectGroundHeight(COLLISION* chain, const Matrix& m, float terrain, VectorPos pos, VectorDir* normal)
{
    float best = terrain;
    if (chain == nullptr)
        return best;
    ChainGround(chain, m, IntoFrame(m, pos), best, normal);
    return best;
}

// ---------------------------------------------------------------------------
// Projection of soups into a volume

Cuboid MatrixExtent(const Matrix& m)
{
    VectorXYZ h = Max(Max(Abs(m.x.xyz()), Abs(m.y.xyz())), Abs(m.z.xyz()));
    VectorPos w = m.GetTrans();
    return Cuboid(VectorPos(w - h), VectorPos(w + h));
}

// The faces named by the leaves under node that reach the volume's cube
// (not wholly beyond one of its faces); a face listed by several leaves is
// gathered once per leaf.
static int ProjectNode(CollSoup* soup, const SoupBSP* node, const Matrix& toVol, VectorPos** out, int max)
{
    if (!node->IsLeaf())
    {
        const SoupBSP_Split* s = (const SoupBSP_Split*)node;
        int n = ProjectNode(soup, s->Link2(), toVol, out, max);
        return n + ProjectNode(soup, s->Link1(), toVol, out + n, max - n);
    }
    const SoupBSP_List* leaf = (const SoupBSP_List*)node;
    const u16* idx = leaf->Faces();
    int n = 0;
    for (int i = 0; i < leaf->Count(); i++)
    {
        const SoupFace& f = soup->Faces()[idx[i]];
        if (f.v[0] >= soup->count || f.v[1] >= soup->count || f.v[2] >= soup->count)
            continue;
        int all = CLIP_ALL;
        for (int k = 0; k < 3; k++)
            all &= ClipFlags(Vector(toVol * VectorPos(soup->Verts()[f.v[k]].xyz()), 1.0f));
        if (all != 0)
            continue;
        if (n + 3 > max)
            break;
        for (int k = 0; k < 3; k++)
            out[n++] = &soup->Verts()[f.v[k]];
    }
    return n;
}

int CollSoup::Project(const Matrix& m, const Matrix& vol, VectorPos** out, int max)
{
    return ProjectNode(this, &root, m * vol, out, max);
}

int CollProject(Object* o, const Matrix& m, const Matrix& vol, VectorPos** out, int max)
{
    int n = 0;
    COLLISION* chain = o->GetCollision();
    if (chain == nullptr)
        return 0;
    for (COLLISION* e = chain; !e->IsEnd(); e = e->Next())
        if (e->type == COLL_SOUP)
            n += ((CollSoup*)e)->Project(m, vol, out + n, max - n);
    return n;
}
