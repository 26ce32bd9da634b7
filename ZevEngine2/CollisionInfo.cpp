// Contact information: the point, normal and depth of a delivered contact,
// computed on demand from the two shapes and the matrices saved when it was
// delivered.
//
// Every rule works from the receiver's side (its shape "mine", the other
// "his") and yields the normal pointing from his shape toward mine.  The
// record keeps the normal as the first object sees it, so the result is
// negated while the second object's handler asks; Normal() negates it back.
#include "ZevEngine2/Collision.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"

namespace {

VectorDir Turn(const Matrix& m, const VectorXYZ& d)
{
    return m * VectorDir(d);
}

// The position p (world) in the frame placed by m.
VectorPos ToFrame(const Matrix& m, const VectorPos& p)
{
    return m.Inverse() * p;
}

bool StrictlyInside(const Cuboid& b, const VectorPos& p)
{
    for (int k = 0; k < 3; k++)
        if (!(b.min[k] < p[k] && p[k] < b.max[k]))
            return false;
    return true;
}

}  // namespace

bool CollisionRecord::GetInfo()
{
    if (infoGot)
        return true;

    COLLISION* mine = flip ? col2 : col1;
    COLLISION* his = flip ? col1 : col2;
    Matrix* mm = flip ? &saveMat2 : &saveMat1;
    Matrix* hm = flip ? &saveMat1 : &saveMat2;
    if (mine == nullptr || his == nullptr)
        return false;
    int tm = mine->type, th = his->type;
    VectorDir n;   // receiver's view

    if (tm == COLL_SPHERE && th == COLL_SPHERE)
    {
        const Sphere& sm = ((CollSphere*)mine)->sphere;
        const Sphere& sh = ((CollSphere*)his)->sphere;
        VectorPos c = *mm * sm.Centre();
        VectorPos o = *hm * sh.Centre();
        VectorXYZ d = c - o;
        n = Normalise(VectorDir(d));
        dist = d.Length() - sm[3] - sh[3];
        point = c - n * sm[3];
    }
    else if ((tm == COLL_SPHERE && th == COLL_BOX) || (tm == COLL_BOX && th == COLL_SPHERE))
    {
        bool sphereMine = tm == COLL_SPHERE;
        const Sphere& s = ((CollSphere*)(sphereMine ? mine : his))->sphere;
        const Cuboid& b = ((CollBox*)(sphereMine ? his : mine))->box;
        const Matrix& ms = sphereMine ? *mm : *hm;
        const Matrix& mb = sphereMine ? *hm : *mm;

        VectorPos cw = ms * s.Centre();
        VectorPos c = ToFrame(mb, cw);
        VectorXYZ r = mb.GetInvScale() * s[3];
        // The face the sphere is pushed out through most cheaply.
        int axis = 0;
        bool throughMax = true;
        float push = 0.0f;
        for (int k = 0; k < 3; k++)
        {
            float a = (b.max[k] - c[k]) + r[k];
            float bb = (c[k] + r[k]) - b.min[k];
            float p = std::min(a, bb);
            if (k == 0 || p < push)
            {
                axis = k;
                push = p;
                throughMax = a <= bb;
            }
        }
        VectorDir u = Normalise(VectorDir(mb[axis].xyz()));
        VectorDir towardSphere = throughMax ? u : VectorDir(-u);
        n = sphereMine ? towardSphere : VectorDir(-towardSphere);
        dist = -push;
        point = cw - towardSphere * s[3];
    }
    else if (tm == COLL_BOX && th == COLL_BOX)
    {
        CollBox* a = (CollBox*)mine;
        CollBox* b = (CollBox*)his;
        if (!CheckCorner(a, b, mm, hm))
            return false;
        if (!StrictlyInside(b->box, ToFrame(*hm, point)) && !CheckEdges(a, b, mm, hm))
        {
            // My corner is not inside him: try his corners against me.
            if (!CheckCorner(b, a, hm, mm))
                return false;
            if (!a->box.IsInside(ToFrame(*mm, point)) && !CheckEdges(b, a, hm, mm))
                return false;
            normal = -normal;
        }
        n = normal;
    }
    else if ((tm == COLL_SOUP && (th == COLL_SPHERE || th == COLL_BOX)) ||
             (th == COLL_SOUP && (tm == COLL_SPHERE || tm == COLL_BOX)))
    {
        // The face normal, kept in the soup's frame for a sphere contact and
        // in the box's for a box contact, points from the soup toward the
        // other shape.
        bool soupFirst = col1->type == COLL_SOUP;
        COLLISION* other = soupFirst ? col2 : col1;
        const Matrix& soupMat = soupFirst ? saveMat1 : saveMat2;
        const Matrix& otherMat = soupFirst ? saveMat2 : saveMat1;
        const Matrix& frame = other->type == COLL_SPHERE ? soupMat : otherMat;
        VectorDir face = Normalise(Turn(frame, tempnormal));
        point = frame * VectorPos(temppoint.xyz());
        dist = temppoint[3];
        bool soupMine = tm == COLL_SOUP;
        n = soupMine ? VectorDir(-face) : face;
    }
    else
        return false;

    normal = flip ? VectorDir(-n) : n;
    infoGot = true;
    return true;
}

bool CollisionRecord::CheckCorner(CollBox* a, CollBox* b, Matrix* ma, Matrix* mb)
{
    float best = -1e38f;
    int face = 0;
    for (int i = 0; i < 6; i++)
    {
        float v = a->box.Test2(*ma, b->box.GetPlane(i), *mb);
        if (v > best)
        {
            best = v;
            face = i;
            if (best > 0.0f)
                return false;   // a separating face: the boxes are apart
        }
    }
    normal = Normalise(Turn(*mb, b->box.GetPlane(face).Normal()));
    // a's corner furthest along -normal.
    VectorDir na = ma->Inverse() * normal;
    icorner = 0;
    for (int k = 0; k < 3; k++)
        if (na[k] < 0.0f)
            icorner |= 1 << k;
    point = *ma * a->box.Corner(icorner);
    dist = best;
    return true;
}

bool CollisionRecord::CheckEdges(CollBox* a, CollBox* b, Matrix* ma, Matrix* mb)
{
    Matrix bInv = mb->Inverse();
    Matrix aToB = *ma * bInv;
    VectorPos corner = a->box.Corner(icorner);
    for (int k = 0; k < 3; k++)
    {
        // The edge leaving the corner along axis k.
        VectorPos other = corner;
        other[k] = (icorner & (1 << k)) ? a->box.min[k] : a->box.max[k];
        VectorPos p0 = aToB * corner, p1 = aToB * other;
        if (!b->box.Clip(p0, p1))
            continue;
        VectorPos mid = (p0 + p1) * 0.5f;
        // The other two axes of a, each pointing into a from the corner.
        VectorDir d[2];
        int n = 0;
        for (int j = 0; j < 3; j++)
        {
            if (j == k)
                continue;
            VectorDir row((*ma)[j].xyz());
            if (icorner & (1 << j))
                row = -row;
            d[n++] = bInv * row;
        }
        if (CheckEdgeChooseFace(*mb, mid, b, d[0], d[1]))
            return true;
    }
    return false;
}

// p, d1 and d2 are in b's frame; the chosen direction is stored in world.
bool CollisionRecord::CheckEdgeChooseFace(const Matrix& mb, VectorPos p, CollBox* b, VectorDir d1, VectorDir d2)
{
    float push[2];
    bool got[2];
    VectorDir d[2] = {d1, d2};
    for (int i = 0; i < 2; i++)
    {
        VectorPos q0 = p, q1 = p + Normalise(d[i]) * 1000.0f;
        got[i] = b->box.Clip(q0, q1);
        push[i] = got[i] ? Length(q1 - q0) : 0.0f;
        got[i] = got[i] && push[i] > 0.0f;
    }
    int win;
    if (got[0] && got[1])
        win = push[0] < push[1] ? 0 : 1;
    else if (got[0])
        win = 0;
    else if (got[1])
        win = 1;
    else
        return false;
    dist = -push[win];
    normal = Normalise(Turn(mb, d[win]));
    return true;
}
