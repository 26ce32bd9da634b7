// What the modes ask the streamed city (roads, zones, objects in a box), the
// target markers and their collect effect, and the clearance probe.
#include "game/GameFEnt.h"

#include <cmath>
#include <cstring>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/CityObjects.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Road.h"

namespace {

constexpr int kMarkerSlot = 144;
constexpr float kNearReach = 31.25f;

Cuboid Around(VectorPos p, float r)
{
    return Cuboid(p, r);
}

}  // namespace

// ---------------------------------------------------------------------------
// Markers

Object* AttachTargetArrow(Object* obj, VectorPos pos, int type)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(kMarkerSlot, false);
    if (obj == nullptr || mf == nullptr)
        return nullptr;
    Object* marker = CreateTargetObj(pos, mf, type);
    if (marker == nullptr)
        return nullptr;
    marker->id = 1001;
    obj->Attach(marker);
    world.StartAnimating(marker);
    return marker;
}

int TargetObjLoopProc(Object* obj, OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_FRAME: {
        for (Vector* row : {&obj->mat.x, &obj->mat.y, &obj->mat.z})
            for (int i = 0; i < 3; i++)
                (*row)[i] *= 1.05f;
        obj->radius *= 1.05f;
        obj->GetRoot()->CalcRadius();
        return 0;
    }
    case OM_TIMER: {
        Object* root = obj->GetRoot();
        if (obj->parent != nullptr)
            obj->Detach();
        if (root != obj)
            root->CalcRadius();
        obj->Delete();
        return -2;
    }
    case OM_DIE:
        delete obj;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Roads, zones and objects

RoadSeg* FindRoadSeg(const Matrix& m, bool& forward)
{
    RoadSeg* rs = FindRoadSeg(m.GetTrans());
    if (rs == nullptr)
        return nullptr;
    VectorDir dir;
    rs->bezier.CalcParams(m.GetTrans(), dir);
    forward = Dot(dir, VectorDir(m.z[0], m.z[1], m.z[2])) > 0.0f;
    return rs;
}

RoadSeg* FindNearestRoadSeg(VectorPos pos, float* t, bool markedOnly)
{
    RoadSeg* best = nullptr;
    float bestd = 1e38f, bestt = 0.0f;
    for (Visible2D v(Around(pos, kNearReach), QN_ROADSEGS); *v; ++v) {
        QuadNode* n = *v;
        for (int i = 0; i < n->nRoadSegs; i++) {
            RoadSeg& rs = n->roadsegs[i];
            if (markedOnly && (rs.type == nullptr || !(rs.type->flags & 1)))
                continue;
            VectorDir dir;
            const VectorXYZ sp = rs.bezier.CalcParams(pos, dir);
            if (!(sp[2] > -0.125f && sp[2] < 1.125f))
                continue;
            const float d = std::fabs(sp[0]);
            if (d < bestd) {
                bestd = d;
                bestt = sp[2];
                best = &rs;
            }
        }
    }
    if (t != nullptr && best != nullptr)
        *t = bestt;
    return best;
}

int GetZone(VectorPos pos)
{
    int zone = -1;
    for (Visible2D v(Around(pos, 1.0f), -1); *v; ++v) {
        const u16 word = (*v)->zone;
        if (!(word & 0x8000))
            break;
        if (word != 0xFFFF)
            zone = word & 0x7FFF;
    }
    return zone;
}

int FindObjects(const Cuboid& box, RCptr<Object>* out, int capacity)
{
    int n = 0;
    const Matrix identity(true);
    for (Visible2D v(box, QN_INSTANCES); *v; ++v) {
        QuadNode* node = *v;
        for (int k = 0; k < node->nObjects; k++) {
            Object* o = node->GetObject(k);
            if (o == nullptr)
                continue;
            if (!box.Test(identity, o->GetRawBox(), o->GetWorldMatrix()))
                continue;
            if (out != nullptr && n < capacity)
                out[n] = o;
            n++;
        }
    }
    return n;
}

// ---------------------------------------------------------------------------
// The clearance probe

CollisionChecker::CollisionChecker() : Object(CollisionChecker_mh)
{
    std::memset(cs, 0, sizeof(cs));
    std::memset(cb, 0, sizeof(cb));
    for (int i = 0; i < MAXHITS; i++) {
        collobjs[i] = nullptr;
        collobjnormals[i] = VectorDir(0.0f, 0.0f, 0.0f);
        collobjdists[i] = 0.0f;
    }
    numcollobjs = 0;
    flags = 0;
    mat = Matrix(true);
}

int CollisionChecker::CollisionChecker_mh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<CollisionChecker*>(o)->mh(msg, data);
}

int CollisionChecker::mh(OBJMESSAGE msg, void* data)
{
    if (msg != OM_COLLISION)
        return 0;
    auto* rec = static_cast<CollisionRecord*>(data);
    Object* hit = rec->HitObj();
    for (int i = 0; i < numcollobjs; i++)
        if (collobjs[i] == hit)
            return 1;
    if (!rec->GetInfo() || numcollobjs >= MAXHITS)
        return 1;
    collobjs[numcollobjs] = hit;
    collobjnormals[numcollobjs] = rec->Normal();
    collobjdists[numcollobjs] = rec->Dist();
    numcollobjs++;
    return 1;
}

int CollisionChecker::CheckBox(Matrix m, Cuboid box, u8 mask, int t)
{
    mat = m;
    cb[0].type = COLL_BOX;
    cb[0].id = u16(mask << 8);
    cb[0].child = 0;
    cb[0].box = box;
    cb[1].type = COLL_END;
    collision = reinterpret_cast<COLLISION*>(&cb[0]);
    type = u8(t);
    radius = std::max(Length(VectorDir(box.min[0], box.min[1], box.min[2])),
                      Length(VectorDir(box.max[0], box.max[1], box.max[2])));
    return RunCheck();
}

int CollisionChecker::CheckSphere(Matrix m, Sphere s, u8 mask, int t)
{
    mat = m;
    cs[0].type = COLL_SPHERE;
    cs[0].id = u16(mask << 8);
    cs[0].child = 0;
    cs[0].sphere = s;
    cs[1].type = COLL_END;
    collision = reinterpret_cast<COLLISION*>(&cs[0]);
    type = u8(t);
    radius = Length(VectorDir(s[0], s[1], s[2])) + s[3];
    return RunCheck();
}

int CollisionChecker::CheckObjBox(Object* obj)
{
    mat = obj->GetWorldMatrix();
    cb[0].type = COLL_BOX;
    cb[0].id = u16(obj->GetCollisionMask() & 0xFF00);
    cb[0].child = 0;
    cb[0].box = obj->GetRawBox();
    cb[1].type = COLL_END;
    collision = reinterpret_cast<COLLISION*>(&cb[0]);
    radius = obj->radius;
    type = obj->type;
    return RunCheck();
}

int CollisionChecker::RunCheck()
{
    numcollobjs = 0;
    world.CollideObject(this);
    return numcollobjs;
}
