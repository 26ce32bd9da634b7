// The dojo's training dummies: a board that drops in, faces the player,
// staggers back from his blows and breaks when its strength is spent, and a
// wooden dummy that also closes in on him and spins into a strike.  Each
// tells its event object (the dojo) which trained attack hit it.
#include "game/GameFEnt.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/GameEvents.h"
#include "game/Guy.h"
#include "game/QuadTree.h"
#include "game/BadGuy.h"
#include "game/PlayerAnim.h"
#include "game/explosn.h"

namespace {

constexpr u32 kShootable = 0x20;
constexpr u32 kStriking = 0x1000;
constexpr u32 kDown = 0x40000000;
constexpr u32 kOutOfAction = 0xE0000000;
constexpr u16 kCollisionMask = 0x509;
constexpr int kHitsToDaze = 3;
constexpr float kDropStep = 0.03125f;
constexpr float kLowest = -0.01f;
constexpr u16 kDropFrames = 40;
constexpr u16 kRegainFrames = 120;
constexpr u16 kRecoilFrames = 30;
constexpr float kTurnRate = 0.2f;
constexpr float kCreep = 0.005f;
constexpr float kHomeSq = 0.1f;
constexpr float kFaceSq = 1.25f;
constexpr int kWoodBlow = 5;
constexpr int kBreakingBlow = 999;

Name nameBoard("BoardDummy", int(reinterpret_cast<intptr_t>(&BoardDummy::BoardDummy_mh)));
Name nameWood("WoodDummy", int(reinterpret_cast<intptr_t>(&WoodDummy::WoodDummy_mh)));

u16 Now16()
{
    return u16(ModeNow() & 0xFFFF);
}

VectorDir Flat(VectorDir d)
{
    d[1] = 0.0f;
    return d;
}

float FlatDistSq(VectorPos a, VectorPos b)
{
    const VectorDir d = Flat(a - b);
    return Dot(d, d);
}

// The horizontal unit direction from a to b; zero when they stand together.
VectorDir FlatUnit(VectorPos from, VectorPos to)
{
    VectorDir d = Flat(to - from);
    const float l = std::sqrt(Dot(d, d));
    return l > 0.0f ? VectorDir(d * (1.0f / l)) : VectorDir(0.0f, 0.0f, 0.0f);
}

float TurnRate()
{
    return kTurnRate * world.playbackSpeed;
}

int ChanceOf100()
{
    return int((s64(rand()) * 100) >> 31);
}

void MoveBy(Object* o, VectorDir d)
{
    o->mat.SetTrans(VectorPos(o->mat.GetTrans() + d));
}

// A new dummy, zero-filled, with the kind's handler.
template <class T>
int NewDummy(OBJMESSAGEHANDLER mh)
{
    T* d = new T;
    if (d != nullptr)
        d->messagehandler = mh;
    return int(reinterpret_cast<intptr_t>(d));
}

}  // namespace

u16 DummyAttackBit(int anim)
{
    if (anim >= COMBAT_RUNNING_P_ANI && anim <= COMBAT_RUNNING_H_ANI)
        return 0x1;
    if (anim >= COMBAT_BACK_H_ANI && anim <= COMBAT_BACK_P_ANI)
        return 0x2;
    if (anim >= COMBAT_LYINGDOWN_P_ANI && anim <= COMBAT_LYINGDOWN_H_GETUP_ANI)
        return 0x4;
    switch (anim) {
    case COMBAT_FINISH_LOWLEGSWEEP_ANI: return 0x10;
    case COMBAT_FINISH_SPINUPPERCUT_ANI: return 0x20;
    case COMBAT_FINISH_SPINJUMPKICK_ANI: return 0x40;
    case COMBAT_FINISH_DROPKICK_ANI: return 0x80;
    case COMBAT_FINISH_DOUBLEFIST_ANI: return 0x100;
    case COMBAT_FINISH_WINDMILLKICK_ANI: return 0x200;
    case COMBAT_GRAPPLE_ARMTWIST_START_ANI: return 0x400;
    case COMBAT_GRAPPLE_ARMBREAK_START_ANI: return 0x800;
    case COMBAT_GRAPPLE_KNEEBASH_START_ANI: return 0x1000;
    default: return 0;
    }
}

u16 TrainingDummy::Elapsed() const
{
    return u16(Now16() - stateFrame);
}

void TrainingDummy::Restart()
{
    stateFrame = Now16();
}

namespace {

// What both kinds share.
struct DummyRules
{
    int stopped, recoil, finished;
    float maxRecoilSpeed;
};

void InitDummy(TrainingDummy* d)
{
    d->type = OBJT_DYNAMIC;
    d->id = -121;
    d->flags = (d->flags & ~OBJF_NOCOLLISION) | OBJF_FRAMECALL | kShootable;
    d->fSpeed = d->fDelay = d->fRotation = 0.0f;
    d->curhitstodaze = d->totalhitstodaze = kHitsToDaze;
    d->Restart();
    d->pTarget = world.objectlist.Find(-1);
    d->ModifyCollisionMaskHierarchy(kCollisionMask, 0);
}

// The drop from 1.25 above the resting place.
void DropIn(TrainingDummy* d, int stopped)
{
    VectorPos p = d->mat.GetTrans();
    p[1] = std::min(p[1] + kDropStep, kLowest);
    d->mat.SetTrans(p);
    if (d->Elapsed() >= kDropFrames) {
        d->state = stopped;
        d->Restart();
    }
}

// The rise out of view of a broken dummy, then its report and its end.
// True when it is gone.
bool RiseAway(TrainingDummy* d)
{
    MoveBy(d, VectorDir(0.0f, -kDropStep, 0.0f));
    if (d->Elapsed() < kDropFrames)
        return false;
    SendSpecial(d->gameeventobj, SMSG_EV_KNOCKED_DOWN, d);
    d->Delete();
    return true;
}

void CreepHome(TrainingDummy* d)
{
    const VectorPos here = d->mat.GetTrans();
    if (FlatDistSq(here, d->vpStartingPos) > kHomeSq)
        MoveBy(d, VectorDir(FlatUnit(here, d->vpStartingPos) * kCreep));
}

void RegainHit(TrainingDummy* d)
{
    if (d->Elapsed() >= kRegainFrames && d->curhitstodaze < d->totalhitstodaze) {
        d->curhitstodaze++;
        d->Restart();
    }
}

void TurnToPlayer(TrainingDummy* d)
{
    d->TurnToward(FlatUnit(d->GetWorldPos(), d->pTarget->GetWorldPos()), TurnRate());
}

// A blow in the resting state; any other contact pushes.
void Blow(TrainingDummy* d, CollisionRecord* rec, const DummyRules& r)
{
    Object* striker = rec->HitObj();
    Object* part = rec->HisPart();
    if (striker == nullptr || striker->type != OBJT_CHARACTER || part == nullptr || !(part->flags & kStriking))
        return;
    SpecialMessage ask(SMSG_Q_COLLISION, nullptr, rec);
    int strength = striker->SendMessage(OM_SPECIAL, &ask);
    if (strength <= 0)
        return;
    SendSpecial(striker, SMSG_EV_ATTACK_HIT, d);
    if (d->curhitstodaze == 0)
        d->curhitstodaze = d->totalhitstodaze;
    else if (d->curhitstodaze > 0)
        d->curhitstodaze--;
    const u16 bit = DummyAttackBit(static_cast<Guy*>(striker)->mode2);
    if (bit != 0 && d->gameeventobj != nullptr && SendSpecial(d->gameeventobj, SMSG_EV_TARGET_DOWN, d, int(bit)) != 0)
        strength = kBreakingBlow;
    if (d->fStrength != 0.0f) {
        d->fStrength = std::max(d->fStrength - float(strength), 0.0f);
        if (d->fStrength == 0.0f) {
            if (!Explode2(d)) {
                // Without its explosion the dummy cannot rise away: it is
                // reported down now, and then it goes.
                SendSpecial(d->gameeventobj, SMSG_EV_KNOCKED_DOWN, d);
                d->Delete();
                return;
            }
            d->flags |= kDown;
            d->state = r.finished;
            d->Restart();
            return;
        }
    }
    d->state = r.recoil;
    d->Restart();
    if (!rec->GetInfo())
        return;
    if (d->pTarget != nullptr) {
        d->vdRecoilDir = FlatUnit(d->GetWorldPos(), d->pTarget->GetWorldPos());
    } else {
        VectorDir n = Flat(VectorDir(-rec->Normal()));
        const float l = std::sqrt(Dot(n, n));
        d->vdRecoilDir = l > 0.0f ? VectorDir(n * (1.0f / l)) : n;
    }
    d->fSpeed = std::min(2.0f * std::fabs(rec->Dist()), r.maxRecoilSpeed);
}

void PushOut(TrainingDummy* d, CollisionRecord* rec)
{
    if (!rec->GetInfo())
        return;
    MoveBy(d, VectorDir(Flat(rec->Normal()) * -rec->Dist()));
}

// Messages both kinds answer alike; true with the reply when handled.
bool CommonSpecial(TrainingDummy* d, const SpecialMessage& m, int moving, int* reply)
{
    switch (m.submsg) {
    case SMSG_MODE_START:
        d->state = 0;
        d->Restart();
        d->vpStartingPos = d->mat.GetTrans();
        d->gameeventobj = m.obj;
        *reply = -1;
        return true;
    case SMSG_MODE_FINISHED:
        d->flags &= ~kShootable;
        d->state = moving;
        *reply = -1;
        return true;
    case SMSG_Q_MELEE:
        *reply = d->curhitstodaze == 0 ? 1 : 0;
        return true;
    case SMSG_Q_HUD_STRENGTH:
        *reply = d->curhitstodaze;
        return true;
    case SMSG_Q_HUD_STRENGTH_MAX:
        *reply = d->totalhitstodaze;
        return true;
    default:
        *reply = 0;
        return false;
    }
}

const DummyRules kBoardRules = {BoardDummy::BOARD_STOPPED, BoardDummy::BOARD_RECOIL, BoardDummy::BOARD_FINISHED, 1.0f};
const DummyRules kWoodRules = {WoodDummy::WOOD_STOPPED, WoodDummy::WOOD_RECOIL, WoodDummy::WOOD_FINISHED, 2.0f};

}  // namespace

// ---------------------------------------------------------------------------
// The board

int BoardDummy::BoardDummy_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewDummy<BoardDummy>(BoardDummy_mh);
    return static_cast<BoardDummy*>(o)->mh(msg, data);
}

int BoardDummy::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        InitDummy(this);
        state = BOARD_STOPPED;
        return 0;
    case OM_FRAME:
        switch (state) {
        case BOARD_START:
            DropIn(this, BOARD_STOPPED);
            break;
        case BOARD_STOPPED:
            if (pTarget != nullptr && FlatDistSq(GetWorldPos(), pTarget->GetWorldPos()) < kFaceSq)
                TurnToPlayer(this);
            else
                CreepHome(this);
            RegainHit(this);
            break;
        case BOARD_RECOIL:
            MoveBy(this, VectorDir(vdRecoilDir * -fSpeed));
            fSpeed *= 0.6f;
            if (pTarget != nullptr) {
                vdRecoilDir = FlatUnit(GetWorldPos(), pTarget->GetWorldPos());
                TurnToward(vdRecoilDir, TurnRate());
            }
            if (Elapsed() >= kRecoilFrames) {
                state = BOARD_STOPPED;
                Restart();
            }
            break;
        case BOARD_FINISHED:
            RiseAway(this);
            break;
        default:
            break;
        }
        return 0;
    case OM_COLLISION: {
        auto* rec = static_cast<CollisionRecord*>(data);
        Object* other = rec->HitObj();
        if (state == BOARD_STOPPED && other != nullptr && other->type == OBJT_CHARACTER)
            Blow(this, rec, kBoardRules);
        else if (other != nullptr && other->type == OBJT_STATIC)
            PushOut(this, rec);
        return 0;
    }
    case OM_SPECIAL: {
        int reply;
        CommonSpecial(this, *static_cast<SpecialMessage*>(data), BOARD_MOVING, &reply);
        return reply;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// The wooden dummy

int WoodDummy::WoodDummy_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewDummy<WoodDummy>(WoodDummy_mh);
    return static_cast<WoodDummy*>(o)->mh(msg, data);
}

namespace {

void StartAttack(WoodDummy* d)
{
    if (d->Elapsed() > kRecoilFrames && ChanceOf100() < 5) {
        d->state = WoodDummy::WOOD_ATTACK;
        d->flags |= kStriking;
        d->Restart();
    }
}

}  // namespace

int WoodDummy::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        InitDummy(this);
        state = WOOD_STOPPED;
        return 0;
    case OM_FRAME: {
        const float d2 = pTarget != nullptr ? FlatDistSq(GetWorldPos(), pTarget->GetWorldPos()) : 0.0f;
        switch (state) {
        case WOOD_START:
            DropIn(this, WOOD_STOPPED);
            break;
        case WOOD_MOVING:
            if (pTarget == nullptr)
                break;
            if (d2 > 0.625f && d2 < 1.875f) {
                TurnToPlayer(this);
                MoveBy(this, VectorDir(FlatUnit(GetWorldPos(), pTarget->GetWorldPos()) * kCreep));
                StartAttack(this);
            } else {
                state = WOOD_STOPPED;
                Restart();
            }
            break;
        case WOOD_STOPPED:
            if (pTarget != nullptr) {
                if (d2 < 0.625f) {
                    TurnToPlayer(this);
                    StartAttack(this);
                } else if (d2 < 3.125f) {
                    state = WOOD_MOVING;
                    Restart();
                } else {
                    CreepHome(this);
                }
            }
            if (state == WOOD_STOPPED)
                RegainHit(this);
            break;
        case WOOD_ATTACK:
            if (pTarget == nullptr || (pTarget->flags & kOutOfAction))
                break;
            if (d2 > 0.03125f)
                MoveBy(this, VectorDir(FlatUnit(GetWorldPos(), pTarget->GetWorldPos()) * 0.01f));
            {
                const VectorPos p = mat.GetTrans();
                mat = RotY(0.349066f) * mat;
                mat.SetTrans(p);
            }
            break;
        case WOOD_RECOIL:
            MoveBy(this, VectorDir(vdRecoilDir * fSpeed));
            fSpeed *= 0.7f;
            if (pTarget != nullptr) {
                vdRecoilDir = FlatUnit(pTarget->GetWorldPos(), GetWorldPos());
                TurnToward(vdRecoilDir, TurnRate());
            }
            if (Elapsed() >= kRecoilFrames) {
                state = WOOD_STOPPED;
                Restart();
            }
            break;
        case WOOD_FINISHED:
            RiseAway(this);
            break;
        default:
            break;
        }
        return 0;
    }
    case OM_COLLISION: {
        auto* rec = static_cast<CollisionRecord*>(data);
        Object* other = rec->HitObj();
        if (state == WOOD_STOPPED && other != nullptr && other->type == OBJT_CHARACTER && rec->HisPart() != nullptr &&
            (rec->HisPart()->flags & kStriking)) {
            Blow(this, rec, kWoodRules);
        } else if (other != nullptr &&
                   (other->type == OBJT_STATIC || (other->type == OBJT_DYNAMIC && other != this) ||
                    (other->type == OBJT_CHARACTER && other->id == -1))) {
            PushOut(this, rec);
        }
        return 0;
    }
    case OM_SPECIAL: {
        const auto& m = *static_cast<SpecialMessage*>(data);
        if (m.submsg == SMSG_Q_COLLISION) {
            if (state == WOOD_ATTACK) {
                state = WOOD_RECOIL;
                Restart();
                if (pTarget != nullptr)
                    vdRecoilDir = FlatUnit(GetWorldPos(), pTarget->GetWorldPos());
                fSpeed = 0.02f;
                flags &= ~kStriking;
            }
            return kWoodBlow;
        }
        int reply;
        CommonSpecial(this, m, WOOD_MOVING, &reply);
        return reply;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}
