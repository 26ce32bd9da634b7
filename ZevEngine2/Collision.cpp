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
