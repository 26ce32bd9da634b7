// City props: their behaviour by node kind, damage, and road lookups.
#include "game/CityObjects.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Physics.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/CityDriveIns.h"
#include "game/CityLights.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/explosn.h"

namespace {

constexpr u16 STRENGTH_DEFAULT_WORD = 0x5555;
constexpr int STRENGTH_DEFAULT = 10;
constexpr int HARD_HIT = 11;          // hit points that blow an explosive prop up

bool Unbreakable(const Object* o) { return o->id >= 0x1000 && o->id <= 0x1FFF; }

// The node of a placeholder is its instance's; a real object's is its own.
int NodeOf(Object* o)
{
    if (o->type == OBJT_PLACEHOLDER && o->messagehandler == TempObject_mh) {
        const TempObject* t = static_cast<TempObject*>(o);
        return t->inst != nullptr ? t->inst->index : 0;
    }
    return o->index;
}

int DamageOf(void* data) { return int(reinterpret_cast<intptr_t>(data)); }

}  // namespace

int PropStrength(const void* params)
{
    if (params == nullptr)
        return STRENGTH_DEFAULT;
    const u16 s = *static_cast<const u16*>(params);
    return s == STRENGTH_DEFAULT_WORD ? STRENGTH_DEFAULT : s;
}

const ExteriorSpecific_params* PropParams(const MDLFILE* mf, int index)
{
    if (mf == nullptr || mf->nodes == nullptr || index < 0 || index >= mf->nNodes)
        return nullptr;
    const u32 at = mf->nodes[index].extra2;
    const u32 size = ModelFileSize(mf);
    if (at == 0 || u64(at) + sizeof(ExteriorSpecific_params) > size)
        return nullptr;
    return reinterpret_cast<const ExteriorSpecific_params*>(reinterpret_cast<const u8*>(mf->header) + at);
}

OBJMESSAGEHANDLER GetGridMessageHandler(Object* obj)
{
    MDLFILE* mf = obj->mdlfile;
    if (mf == nullptr || mf->nodes == nullptr || obj->index >= mf->nNodes)
        return nullptr;
    const NODE& node = mf->nodes[obj->index];
    if (node.extra < 0x1000) {
        switch (node.extra) {
        case 14: {
            // Only the eight kinds there are: any other value is scenery.
            const ExteriorSpecific_params* params = PropParams(mf, obj->index);
            if (params != nullptr && params->exttype < EXTTYPES)
                return mhExteriorSpecific[params->exttype];
            break;
        }
        case 34:
            return FreewaySign::_mh;
        case 42:
            return ExteriorInteractiveObject::_mh;
        case 258:
            return GasStation_mh;
        case 266:
        case 267:
        case 268:
        case 269:
        case 270:
            if (g_pgcTest != nullptr && g_pgcTest->bEnableImpoundLots) {
                static const OBJMESSAGEHANDLER spots[5] = {Race247_mh, FRange247_mh, Dojo247_mh, ImpoundLot_mh,
                                                           ImpoundLot_mh};
                return spots[node.extra - 266];
            }
            break;
        case 271:
            obj->flags |= CITYMODEL_SWAYS;
            break;
        default:
            break;
        }
    }
    return mf->FindSpecialIndex(obj->index, 15) != 0 ? ExteriorDamageable::_mh : nullptr;
}

// ---------------------------------------------------------------------------
// Damage

int GetHitPoints(Object* self, CollisionRecord* cr)
{
    (void)self;
    Object* other = cr->HitObj();
    if (other == nullptr)
        return 0;
    if (other->type == OBJT_VEHICLE) {
        const Vector& v = static_cast<DynamicObject*>(other)->vel;
        return int(std::sqrt(v[0] * v[0] + v[2] * v[2]) * 429.49182f);
    }
    if (other->type == OBJT_CHARACTER) {
        Object* part = cr->HisPart();
        if (part == nullptr || !(part->flags & 0x1000))
            return 0;   // only a striking limb hurts
        SpecialMessage q(SMSG_Q_COLLISION, nullptr, static_cast<void*>(cr));
        return other->SendMessage(OM_SPECIAL, &q);
    }
    return 0;
}

Object* ExteriorDamageable::Explode()
{
    Object* real = EnsureReal(this);
    if (real != nullptr)
        Explode2(real);
    return real;
}

int ExteriorDamageable::_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    ExteriorDamageable* self = static_cast<ExteriorDamageable*>(obj);
    switch (msg) {
    case OM_CREATE:
        return CreateProp<ExteriorDamageable>(_mh);
    case OM_COLLISION:
        if (!Unbreakable(obj) && GetHitPoints(obj, static_cast<CollisionRecord*>(data)) >= HARD_HIT)
            self->Explode();
        return 0;
    case OM_DAMAGE: {
        if (DamageOf(data) < HARD_HIT || Unbreakable(obj))
            return 0;
        Object* real = self->Explode();
        return real != nullptr && real->collision == nullptr ? 1 : 0;
    }
    case OM_DIE:
        delete self;
        return -1;
    default:
        return 0;
    }
}

bool DamageableObject::Damage(int damage)
{
    strength -= damage;
    if (strength > 0)
        return false;
    strength = 0;
    if (!Explode2(this))
        return false;
    messagehandler = nullptr;
    return true;
}

bool ExteriorInteractiveObject::Damage(int damage)
{
    if (damage == 0)
        return false;
    Object* real = EnsureReal(this);
    if (real == nullptr)
        return false;
    return static_cast<DamageableObject*>(real)->DamageableObject::Damage(damage);
}

int ExteriorInteractiveObject::_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    ExteriorInteractiveObject* self = static_cast<ExteriorInteractiveObject*>(obj);
    switch (msg) {
    case OM_CREATE:
        return CreateProp<ExteriorInteractiveObject>(_mh);
    case OM_INIT:
        if (obj->type != OBJT_PLACEHOLDER)
            self->strength = PropStrength(data);
        return 0;
    case OM_COLLISION:
        self->Damage(GetHitPoints(obj, static_cast<CollisionRecord*>(data)));
        return 0;
    case OM_DAMAGE: {
        const int damage = DamageOf(data);
        const int current = obj->type == OBJT_PLACEHOLDER ? PropStrength(PropParams(obj->mdlfile, NodeOf(obj))) : self->strength;
        return current < damage ? (self->Damage(damage) ? 1 : 0) : 0;
    }
    case OM_SPECIAL:
        if (data != nullptr && static_cast<SpecialMessage*>(data)->submsg == SMSG_BULLET_HIT)
            self->Damage(5);
        return 0;
    case OM_DIE:
        delete self;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// The dummy collision box

namespace {

struct DummyBox
{
    CollBox box;
    COLLISION end;
};

}  // namespace

int DummyCollisionObjProc(Object* obj, OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT: {
        DummyBox* b = static_cast<DummyBox*>(malloc_align(sizeof(DummyBox), 16));
        if (b == nullptr)
            return 0;
        std::memset(b, 0, sizeof *b);
        b->box.type = COLL_BOX;
        b->box.id = 256;
        b->box.box = Cuboid(VectorPos(-0.9375f, -0.9375f, -0.9375f), VectorPos(0.9375f, 0.9375f, 0.9375f));
        b->end.type = COLL_END;
        obj->collision = b->box.Head();
        return 0;
    }
    case OM_COLLISION:
        return obj->parent != nullptr ? obj->parent->SendMessageUp(OM_COLLISION, data) : 0;
    case OM_DIE:
        free(obj->collision);
        obj->collision = nullptr;
        delete obj;
        return -1;
    default:
        return 0;
    }
}

Object* CreateDummyCollisionObj()
{
    Object* o = new Object;
    if (o == nullptr)
        return nullptr;
    o->mat = Matrix(true);
    o->messagehandler = DummyCollisionObjProc;
    o->SendMessage(OM_INIT, nullptr);
    o->CalcRadius();
    return o;
}

// ---------------------------------------------------------------------------
// Road lookups

namespace {

// The nearest junction within 31.25 across (radius below 100) that `fits`.
template <class Fits>
Junction* NearestJunction(VectorPos pos, Fits fits)
{
    Junction* best = nullptr;
    float bestD = 1e38f;
    const Cuboid box(pos, VectorDir(31.25f, 31.25f, 31.25f));
    for (Visible2D v(box, QN_JUNCTIONS); *v; ++v) {
        QuadNode* n = *v;
        Junction* j = n->junctions;
        for (int k = 0; k < n->nJunctions; k++, j = j->Next()) {
            if (j->radius >= 100.0f || !fits(*j))
                continue;
            const float d = (VectorDir(j->pos - pos)).LengthSq();
            if (d < bestD) {
                bestD = d;
                best = j;
            }
        }
    }
    return best;
}

}  // namespace

Junction* FindJunction(VectorPos pos)
{
    return NearestJunction(pos, [](const Junction&) { return true; });
}

Junction* FindJunction(VectorPos pos, VectorDir)
{
    // A prop stands on the pavement: its junction lies below its origin.
    return NearestJunction(pos, [&](const Junction& j) { return pos[1] + 0.3125f < j.pos[1]; });
}

RoadSeg* FindRoadSeg(VectorPos pos)
{
    for (Visible2D v(Cuboid(pos, 1.0f), QN_ROADSEGS); *v; ++v) {
        QuadNode* n = *v;
        for (int i = 0; i < n->nRoadSegs; i++) {
            RoadSeg& rs = n->roadsegs[i];
            const float hw = rs.type != nullptr
                                 ? std::max(rs.type->vXSect[rs.type->iRightEdge][0], -rs.type->vXSect[0][0])
                                 : 0.0f;
            if (ConvexHullCheck(rs.bezier, VectorXZ(pos[0], pos[2]), hw))
                return &rs;
        }
    }
    return nullptr;
}

RoadSeg* FindRoadSeg(VectorPos pos, VectorDir dir)
{
    Junction* j = FindJunction(pos);
    if (j == nullptr)
        return nullptr;
    RoadSeg* best = nullptr;
    float bestDot = 0.0f;
    for (int i = 0; i < j->nRoadsegs; i++) {
        RoadSeg* rs = j->roadsegs[i];
        if (rs == nullptr)
            continue;
        const Bezier& b = rs->bezier;
        const VectorDir leave = rs->jtn[1] == j ? VectorDir(VectorXYZ(b.c2.v) - VectorXYZ(b.c3.v))
                                                : VectorDir(VectorXYZ(b.c1.v) - VectorXYZ(b.c0.v));
        const float d = Dot(Normalise(leave), dir);
        if (d > bestDot) {
            bestDot = d;
            best = rs;
        }
    }
    return best;
}

