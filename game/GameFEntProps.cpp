// Interior props: breakable and sliding furniture, their wall splines, the
// still figures of cinematic loads and seating a character in a car.
#include "game/GameFEnt.h"

#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameEvents.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"
#include "game/cardrivr.h"
#include "game/explosn.h"

namespace {

constexpr u32 kStatic = 0x80000;   // part of the interior's static collision tree
constexpr u32 kStriking = 0x1000;  // the striking part of an attack
constexpr int kExplosionRecord = 15;
constexpr int kQueryHottie = 86;

Name nameProp("InteriorDamageable", int(reinterpret_cast<intptr_t>(&InteriorDamageable::staticmh)));

}  // namespace

const float InteriorDamageable::DefaultStaticFrictionLevel = 0.0005208334f;
const float InteriorDamageable::DefaultSlidingFrictionDamp = 0.02083333f;
const float InteriorDamageable::SlidingDamageFactor = 2.0f;

int InteriorDamageable::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        auto* p = new InteriorDamageable;
        if (p != nullptr) {
            p->messagehandler = staticmh;
            p->fStrength = 10.0f;
            p->sound_id = -1;
        }
        return int(reinterpret_cast<intptr_t>(p));
    }
    return static_cast<InteriorDamageable*>(o)->mh(msg, data);
}

void InteriorDamageable::Break()
{
    fStrength = 0.0f;
    RemoveObjectSplines(index);
    if (!Explode2(this) && bSliding)
        Delete();
}

void InteriorDamageable::TakeDamage(float amount)
{
    if (fStrength == 0.0f)
        return;
    fStrength = std::max(fStrength - amount, 0.0f);
    if (fStrength == 0.0f)
        Break();
}

int InteriorDamageable::Collision(CollisionRecord* rec)
{
    Object* other = rec->HitObj();
    Object* part = rec->HisPart();
    if (other == nullptr)
        return 0;
    const bool hasSound = sound_id != -1 && dist_heard > 0.0f;
    if (other->type == OBJT_VEHICLE) {
        const Vector v = static_cast<Vehicle*>(other)->vel;
        if (Length(VectorDir(v[0], v[1], v[2])) > 0.004656666f && FindSpecialIndex(kExplosionRecord) != 0)
            TakeDamage(fStrength);
        return 0;
    }
    if (other->type == OBJT_CHARACTER && part != nullptr && (part->flags & kStriking)) {
        SpecialMessage q(SMSG_Q_COLLISION, nullptr, rec);
        TakeDamage(float(other->SendMessage(OM_SPECIAL, &q)));
        return 0;
    }
    if (other->type == OBJT_CHARACTER && hasSound && delaySoundTime == 0) {
        if (sound_id >= 2)
            return 0;
        const int chan = sound.AllocChannel(false);
        if (chan >= 0) {
            sound.Play(chan, sndbank_dest, u16(sound_id + 36));
            sound.SetVolume(chan, 2.0f, 0.0f);
            sound.SetPosition(chan, GetWorldPos());
        }
        delaySoundTime = u32(min_interval) * 60;
        VectorPos here = GetWorldPos();
        for (ObjectLink* l = world.pedlist.Head(); !l->IsEOList(); l = l->Next()) {
            Object* ped = l->data;
            if (ped == nullptr || ped->IsDead())
                continue;
            if (Length(VectorDir(ped->GetWorldPos() - here)) < dist_heard)
                SendSpecial(ped, SMSG_CD_SUSPEND, this, &here);
        }
        world.StartFrameCall(this);
        return 0;
    }
    if (!bSliding)
        return 0;
    if (other->messagehandler == staticmh && static_cast<InteriorDamageable*>(other)->bSliding) {
        TakeDamage(fStrength);
        return 0;
    }
    if (!rec->GetInfo())
        return 0;
    const VectorDir n = rec->Normal();
    if (std::fabs(n[1]) >= 0.95f)
        return 0;
    if (flags & kStatic) {
        flags &= ~kStatic;
        world.bRebuildDynBSP = true;
    }
    VectorDir flat(n[0], 0.0f, n[2]);
    const float len = Length(flat);
    if (len > 0.0f)
        flat = flat * (1.0f / len);
    const VectorDir push = flat * -rec->Dist();
    for (int i = 0; i < 3; i++) {
        if (std::fabs(push[i]) <= std::fabs(vSliding[i]))
            continue;
        vSliding[i] = (push[i] >= 0.0f) == (vSliding[i] >= 0.0f) ? push[i] : vSliding[i] + push[i];
    }
    TakeDamage(SlidingDamageFactor * std::fabs(rec->Dist()));
    if (!IsDead())
        world.StartFrameCall(this);
    return 0;
}

int InteriorDamageable::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        if (type == OBJT_PLACEHOLDER)
            // A prop made here would belong to nothing: none is made.
            return 0;
        type = OBJT_DYNAMIC;
        flags |= kStatic;
        fStaticFrictionLevel = DefaultStaticFrictionLevel;
        fSlidingFrictionDamp = DefaultSlidingFrictionDamp;
        vSliding = VectorDir(0.0f, 0.0f, 0.0f);
        delaySoundTime = 0;
        {
            const u16 mask = bSliding ? 0x508 : (sound_id != -1 && dist_heard > 0.0f) ? 0x108 : 0x409;
            ModifyCollisionMaskHierarchy(mask, 0);
        }
        return 0;
    case OM_SPECIAL: {
        const auto* m = static_cast<SpecialMessage*>(data);
        if (m->submsg == SMSG_BULLET_HIT && m->obj != nullptr)
            TakeDamage(static_cast<Bullet*>(m->obj)->GetStrength());
        else if (m->submsg == SMSG_DAMAGE)
            TakeDamage(float(int(m->param[0])));
        else if (m->submsg == kQueryHottie)
            TakeDamage(10000.0f);
        return 0;
    }
    case OM_ANIMEVENT: {
        const auto* e = static_cast<AnimEventMessage*>(data);
        if (e != nullptr && e->event == kQueryHottie)
            Break();
        return 0;
    }
    case OM_COLLISION:
        return Collision(static_cast<CollisionRecord*>(data));
    case OM_FRAME:
        if (bSliding) {
            if (vSliding[0] != 0.0f || vSliding[1] != 0.0f || vSliding[2] != 0.0f) {
                mat.SetTrans(mat.GetTrans() + vSliding);
                vSliding = VectorDir(0.0f, 0.0f, 0.0f);
            } else {
                world.StopFrameCall(this);
            }
        } else {
            if (delaySoundTime > 0)
                delaySoundTime--;
            if (delaySoundTime == 0)
                world.StopFrameCall(this);
        }
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

void RemoveObjectSplines(u16 objindex)
{
    Object* player = PlayerObject();
    for (Link<WallSpline>* l = world.spllist.Head(); !l->IsEOList();) {
        Link<WallSpline>* next = l->Next();
        WallSpline* w = l->data;
        if (w != nullptr && w->objindex == objindex) {
            SendSpecial(player, SMSG_PLAYER_LEAVE_WALL, reinterpret_cast<Object*>(w->spline));
            l->Remove();
            free(w->spline);
            free(w);
        }
        l = next;
    }
}

void PutIn(Object* character, Vehicle* vehicle, int seat, int)
{
    if (character == nullptr || vehicle == nullptr)
        return;
    const int node = 0x8000 | (seat & 0x7FF);
    // A car without that seat takes the character at its body's origin.
    NODE* n = vehicle->FindNode(node);
    Matrix m = n != nullptr ? n->GetMatrix() : Matrix(true);
    m.w[1] -= vehicle->CalcBodyRestOffset();
    character->mat = m;
    if (seat == 120) {
        if (n != nullptr)
            if (Object* aim = character->FindSubObject(20))
                character->mat.w[1] = n->pos[1] - aim->GetRelativePos(character)[1];
    } else {
        character->mat.w[1] += 0.234375f;
    }
    character->Detach();
    vehicle->Attach(character);
}

int CharDefHandler(Object* obj, OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_DIE:
        delete obj;
        return -1;
    case OM_SPECIAL: {
        const auto* m = static_cast<SpecialMessage*>(data);
        if (m->submsg == SMSG_PUT_IN_VEHICLE && m->obj != nullptr && m->obj->type == OBJT_VEHICLE)
            PutIn(obj, static_cast<Vehicle*>(m->obj), m->param[0], m->param[1]);
        return 0;
    }
    default:
        return 0;
    }
}
