// Collision chains: stepping, the enclosing radius, probe chains and the
// contact record.
#include "ZevEngine2/Collision.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"

bool COLLISION::IsEnd() const
{
    if (type <= COLL_SPHERE)
        return type == COLL_END;
    // Unknown types have no stride, so nothing after them can be reached.
    static bool reported;
    if (!reported)
        printf("COLLISION: unknown entry type %d at 0x%08X ends the chain\n", type, (unsigned)(uintptr_t)this);
    reported = true;
    return true;
}

COLLISION* COLLISION::Next()
{
    switch (type)
    {
    case COLL_BOX:
        return ((CollBox*)this)->Next();
    case COLL_PLANES:
        return ((CollPlanes*)this)->Next();
    case COLL_SOUP:
        return ((CollSoup*)this)->Next();
    case COLL_SPHERE:
        return ((CollSphere*)this)->Next();
    default:
        return nullptr;
    }
}

float CalcCollisionRadius(COLLISION* chain)
{
    float r = 0.0f;
    if (chain == nullptr)
        return r;
    for (COLLISION* c = chain; !c->IsEnd(); c = c->Next())
    {
        if (c->type == COLL_BOX)
        {
            const Cuboid& box = ((CollBox*)c)->box;
            VectorXYZ far = Max(VectorXYZ(-box.min), VectorXYZ(box.max));
            r = std::max(r, Length(far));
        }
        else if (c->type == COLL_SPHERE)
        {
            const Sphere& s = ((CollSphere*)c)->sphere;
            r = std::max(r, Length(VectorXYZ(s.v)) + s[3]);
        }
    }
    return r;
}

CollBoxEnd::CollBoxEnd(int id, const Cuboid& c)
{
    memset(this, 0, sizeof(*this));
    box.type = COLL_BOX;
    box.id = (u16)id;
    box.box = c;
    end.type = COLL_END;
}

CollSphereEnd::CollSphereEnd(int id, const Sphere& s)
{
    memset(this, 0, sizeof(*this));
    sphere.type = COLL_SPHERE;
    sphere.id = (u16)id;
    sphere.sphere = s;
    end.type = COLL_END;
}

CollisionRecord::CollisionRecord(Object* o1, Object* o2)
    : saveMat1(true), saveMat2(true), point(0, 0, 0), normal(0, 0, 0), dist(0), col1(nullptr), col2(nullptr),
      obj1(o1), obj2(o2), part1(nullptr), part2(nullptr), icorner(0), flip(false), infoGot(false), id1(0), id2(0),
      tempnormal(0, 0, 0), temppoint(0, 0, 0, 0)
{
}

// m is a world matrix; its axis rows are taken as orthonormal, so carrying
// into its frame is the offset projected on each axis.
VectorPos CollisionRecord::LocalPoint(Matrix& m) const
{
    VectorXYZ d = point - m.GetTrans();
    return VectorPos(Dot(d, VectorXYZ(m.x.v)), Dot(d, VectorXYZ(m.y.v)), Dot(d, VectorXYZ(m.z.v)));
}

VectorDir CollisionRecord::LocalNormal(Matrix& m) const
{
    VectorDir n = Normal();
    return VectorDir(Dot(n, VectorXYZ(m.x.v)), Dot(n, VectorXYZ(m.y.v)), Dot(n, VectorXYZ(m.z.v)));
}

// ---------------------------------------------------------------------------
// Object against object.

bool SphereCheck(VectorPos p1, float r1, VectorPos p2, float r2)
{
    VectorXYZ d = p1 - p2;
    float r = r1 + r2;
    if (fabsf(d[0]) >= r || fabsf(d[1]) >= r || fabsf(d[2]) >= r)
        return false;
    return d.LengthSq() < r * r;
}

int Collide2Objects(Object* a, Object* b)
{
    if (!SphereCheck(a->mat.GetTrans(), a->radius, b->mat.GetTrans(), b->radius))
        return 0;
    CollisionRecord rec(a, b);
    return rec.Collide();
}

bool CollisionRecord::Gone() const
{
    return (obj1 != nullptr && obj1->IsDead()) || (obj2 != nullptr && obj2->IsDead());
}

int CollisionRecord::Collide()
{
    int r;
    if (obj1->flags & OBJF_CHILDCOLLISION)
    {
        r = ChildCollisions1(obj1, obj2, obj1->mat, obj2->mat);
        if (r != 0 || Gone())
            return r;
    }
    if (obj2->flags & OBJF_CHILDCOLLISION)
    {
        r = ChildCollisions2(obj1, obj2, obj1->mat, obj2->mat);
        if (r != 0 || Gone())
            return r;
    }
    return CollideFine(obj1, obj2, obj1->mat, obj2->mat);
}

// The two walks read each child's next sibling only after checking that the
// run's objects are still alive: a destroyed object has freed its children.
int CollisionRecord::ChildCollisions1(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2)
{
    for (Object* c = o1->child; c != nullptr; c = c->sibling)
    {
        int r = 0;
        if (c->GetCollision() != nullptr && !(c->flags & OBJF_NOCOLLISION))
        {
            Matrix mc = c->mat * m1;
            if (SphereCheck(mc.GetTrans(), c->radius, m2.GetTrans(), o2->radius))
            {
                r = CollideFine(c, o2, mc, m2);
                if (r == 0 && !Gone() && (c->flags & OBJF_CHILDCOLLISION))
                    r = ChildCollisions1(c, o2, mc, m2);
                if (r == 0 && !Gone() && (o2->flags & OBJF_CHILDCOLLISION))
                    r = ChildCollisions2(c, o2, mc, m2);
            }
        }
        else if (c->flags & OBJF_CHILDCOLLISION)
        {
            Matrix mc = c->mat * m1;
            r = ChildCollisions1(c, o2, mc, m2);
        }
        if (r != 0 || Gone())
            return r;
    }
    return 0;
}

int CollisionRecord::ChildCollisions2(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2)
{
    for (Object* c = o2->child; c != nullptr; c = c->sibling)
    {
        int r = 0;
        if (c->GetCollision() != nullptr && !(c->flags & OBJF_NOCOLLISION))
        {
            Matrix mc = c->mat * m2;
            if (SphereCheck(m1.GetTrans(), o1->radius, mc.GetTrans(), c->radius))
            {
                r = CollideFine(o1, c, m1, mc);
                if (r == 0 && !Gone() && (c->flags & OBJF_CHILDCOLLISION))
                    r = ChildCollisions2(o1, c, m1, mc);
                if (r == 0 && !Gone() && (o1->flags & OBJF_CHILDCOLLISION))
                    r = ChildCollisions1(o1, c, m1, mc);
            }
        }
        else if (c->flags & OBJF_CHILDCOLLISION)
        {
            Matrix mc = c->mat * m2;
            r = ChildCollisions2(o1, c, m1, mc);
        }
        if (r != 0 || Gone())
            return r;
    }
    return 0;
}

int CollisionRecord::CollideFine(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2)
{
    COLLISION* c1 = o1->GetCollision();
    COLLISION* c2 = o2->GetCollision();
    if (c1 == nullptr || c2 == nullptr || c1->IsEnd())
        return 0;
    return FineFirst(c1, true, c2, true, o1, o2, m1, m2);
}

int CollisionRecord::CollideFine(Object* o1, Object* o2, const Matrix& m1, const Matrix& m2, COLLISION* c1,
                                 COLLISION* c2)
{
    if (c1 == nullptr || c2 == nullptr)
        return 0;
    return FineFirst(c1, false, c2, false, o1, o2, m1, m2);
}

namespace {

bool IsVolume(const COLLISION* e)
{
    return e->type == COLL_BOX || e->type == COLL_SPHERE;
}

// Boxes and spheres share the head: type, id, child offset.
u16 EntryID(const COLLISION* e)
{
    return ((const CollBox*)e)->id;
}

bool HasChildren(const COLLISION* e)
{
    return IsVolume(e) && ((const CollBox*)e)->child != 0;
}

COLLISION* FirstChild(COLLISION* e)
{
    return ((CollBox*)e)->Child();
}

// The yes/no test of two volumes (spheres and boxes), e1 placed by m1 and e2
// by m2.
bool VolumesTouch(COLLISION* e1, COLLISION* e2, const Matrix& m1, const Matrix& m2)
{
    if (e1->type == COLL_SPHERE)
    {
        const Sphere& s1 = ((CollSphere*)e1)->sphere;
        if (e2->type == COLL_SPHERE)
            return s1.Test(m1, ((CollSphere*)e2)->sphere, m2);
        return s1.Test(m1, ((CollBox*)e2)->box, m2);
    }
    const Cuboid& b1 = ((CollBox*)e1)->box;
    if (e2->type == COLL_SPHERE)
        return ((CollSphere*)e2)->sphere.Test(m2, b1, m1);
    return b1.Test(m1, ((CollBox*)e2)->box, m2);
}

// A plane set placed by mp against a volume placed by mv.
bool PlanesTouch(const CollPlanes* p, const Matrix& mp, COLLISION* v, const Matrix& mv)
{
    if (v->type == COLL_SPHERE)
        return p->Test(mp, ((CollSphere*)v)->sphere, mv);
    return p->Test(mp, ((CollBox*)v)->box, mv);
}

// A soup placed by ms against a volume placed by mv.
int SoupTest(const CollSoup* soup, const Matrix& ms, COLLISION* v, const Matrix& mv, CollisionRecord* rec)
{
    if (v->type == COLL_SPHERE)
        return soup->Test(ms, ((CollSphere*)v)->sphere, mv, rec);
    return soup->Test(ms, ((CollBox*)v)->box, mv, rec);
}

}  // namespace

int CollisionRecord::Deliver(COLLISION* e1, COLLISION* e2, Object* o1, Object* o2, const Matrix& m1,
                             const Matrix& m2)
{
    SaveMatrix(m1, m2);
    Set(e1, e2, o1, o2);
    return Send();
}

// e1's list against e2's.  A bounding volume of the first object that touches
// a leaf of the second sends the search into its nested chain, whose entries
// are each tested against the same entries of the second object; the walk
// ends with that chain, so a pair of objects is judged by one hit volume.
int CollisionRecord::FineFirst(COLLISION* e1, bool walk1, COLLISION* e2, bool walk2, Object* o1, Object* o2,
                               const Matrix& m1, const Matrix& m2)
{
    while (!e1->IsEnd())
    {
        bool found = false;
        if (IsVolume(e1))
            id1 = EntryID(e1);
        int r = FineSecond(e1, e2, walk2, o1, o2, m1, m2, found);
        if (r != 0 || Gone())
            return r;
        if (found)
            return FineFirst(FirstChild(e1), true, e2, walk2, o1, o2, m1, m2);
        if (!walk1)
            break;
        e1 = e1->Next();
    }
    return 0;
}

// One entry e1 against e2's list.  A hit on a bounding volume of the second
// object walks its nested chain, and the walk ends there.  When e1
// is itself a bounding volume nothing is delivered: a hit on a leaf sets
// found and ends the walk.
int CollisionRecord::FineSecond(COLLISION* e1, COLLISION* e2, bool walk2, Object* o1, Object* o2, const Matrix& m1,
                                const Matrix& m2, bool& found)
{
    bool e1Volume = HasChildren(e1);
    for (; !e2->IsEnd(); e2 = e2->Next())
    {
        int r = 0;
        bool hit = false;
        bool intoChildren = false;
        if (e2->type == COLL_SOUP)
        {
            // The soup delivers each touching face itself.
            if (IsVolume(e1))
            {
                const CollSoup* soup = (const CollSoup*)e2;
                SaveMatrix(m1, m2);
                if (e1Volume)
                {
                    if (SoupTest(soup, m2, e1, m1, nullptr))
                    {
                        found = true;
                        return 0;
                    }
                }
                else
                {
                    Set(e1, e2, o1, o2);
                    r = SoupTest(soup, m2, e1, m1, this);
                }
            }
        }
        else if (e1->type == COLL_SOUP)
        {
            if (IsVolume(e2))
            {
                const CollSoup* soup = (const CollSoup*)e1;
                if (HasChildren(e2))
                    intoChildren = SoupTest(soup, m1, e2, m2, nullptr) != 0;
                else
                {
                    id1 = 0;
                    id2 = EntryID(e2);
                    Set(e1, e2, o1, o2);
                    SaveMatrix(m1, m2);
                    r = SoupTest(soup, m1, e2, m2, this);
                }
            }
        }
        else if (e1->type == COLL_PLANES)
        {
            // A plane set tests every volume unfiltered, bounding volumes
            // included, and is solid: their nested chains are not visited.
            if (IsVolume(e2))
            {
                id1 = COLLID_PLANES;
                id2 = EntryID(e2);
                if (PlanesTouch((const CollPlanes*)e1, m1, e2, m2))
                    r = Deliver(e1, e2, o1, o2, m1, m2);
            }
        }
        else if (e2->type == COLL_PLANES)
        {
            id2 = COLLID_PLANES;
            hit = PlanesTouch((const CollPlanes*)e2, m2, e1, m1);
        }
        else
        {
            id2 = EntryID(e2);
            hit = CollisionIDsPass(id1, id2) && VolumesTouch(e1, e2, m1, m2);
        }

        if (hit)
        {
            if (HasChildren(e2))
                intoChildren = true;
            else if (e1Volume)
            {
                found = true;
                return 0;
            }
            else
                r = Deliver(e1, e2, o1, o2, m1, m2);
        }
        if (intoChildren)
        {
            r = FineSecond(e1, FirstChild(e2), true, o1, o2, m1, m2, found);
            return found ? 0 : r;
        }
        if (r != 0 || Gone())
            return r;
        if (!walk2)
            break;
    }
    return 0;
}

int CollisionRecord::Send()
{
    int r1 = 0;
    if (((id1 >> 8) & id2 & 0xFF) != 0)
        r1 = part1->SendMessageUp(OM_COLLISION, this);
    if (r1 == 1)
    {
        infoGot = false;
        flip = false;
        return -1;
    }
    if (r1 != 0 && r1 != -1)
    {
        infoGot = false;
        flip = false;
        return r1 < 0 ? 1 : 0;
    }
    // A first handler that destroyed either object has freed its children,
    // which the second delivery might reach.
    if (((id2 >> 8) & id1 & 0xFF) != 0 && !Gone())
    {
        flip = true;
        int r2 = part2->SendMessageUp(OM_COLLISION, this);
        infoGot = false;
        flip = false;
        return (r1 < 0 ? 1 : 0) + (r2 < 0 ? 2 : 0);
    }
    infoGot = false;
    flip = false;
    return r1 < 0 ? 1 : 0;
}

// A soup face is filtered against the other shape's id and its own id goes
// to the soup's side of the record.
bool CollisionRecord::SoupFacePasses(const CollSoup* soup, u16 faceid) const
{
    u16 other = (const COLLISION*)soup == col1 ? id2 : id1;
    return CollisionIDsPass(faceid, other);
}

void CollisionRecord::SetSoupFaceID(const CollSoup* soup, u16 faceid)
{
    if ((const COLLISION*)soup == col1)
        id1 = faceid;
    else
        id2 = faceid;
}
