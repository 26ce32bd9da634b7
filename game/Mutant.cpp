// The mutant: it waits crouched, stands or leaps when the player comes near,
// fights with two swipes and a jump attack, can be shot, and when dead and
// asked fades its body away.  Its animation is its state.
#include "game/Mannequin.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Collision.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"

namespace {

constexpr u32 kStriking = 0x1000;
constexpr u32 kDown = 0x40000000;
constexpr u32 kNever = 0x7FFFFFFF;
constexpr int kBlow = 10;
constexpr int kEventStrikeOn = 29, kEventStrikeOff = 30;
constexpr s16 kKillObjectId = 4096;
constexpr float kNear = 0.625f;
constexpr float kLeapRange = 0.9375f;
constexpr float kWakeRange = 3.125f;
constexpr float kAirborne = 0.3125f;
constexpr float kFallRate = 0.000851562f;
constexpr float kFadeRate = 0.00625f;   // 160 frames

Name nameMutant("Mutant", int(reinterpret_cast<intptr_t>(&Mutant::Mutant_mh)));

}  // namespace

const float Mutant::AttackRingInner = 0.625f;
const u16 Mutant::AnimDefs[NUM_MUTANT_ANIMS][3] = {
    {COMBAT_IDLE_ANI, AnimGroup_Mutant, 3},
    {COMBAT_IDLE_SPECIAL_ANI, AnimGroup_Mutant, 7},
    {COMBAT_IDLE_DUCK_ANI, AnimGroup_Mutant, 4},
    {COMBAT_IDLE_DUCK_ASSUME_ANI, AnimGroup_Mutant, 5},
    {COMBAT_FWD_ANI, AnimGroup_Mutant, 2},
    {COMBAT_KILLED_ANI, AnimGroup_Mutant, 11},
    {COMBAT_ATTACK_1_ANI, AnimGroup_Mutant, 0},
    {COMBAT_ATTACK_2_ANI, AnimGroup_Mutant, 1},
    {COMBAT_JUMP_ATTACK_ANI, AnimGroup_Mutant, 8},
    {COMBAT_JUMP_ATTACK_INAIR_ANI, AnimGroup_Mutant, 9},
    {COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI, AnimGroup_Mutant, 9},
    {COMBAT_JUMP_ATTACK_STRIKE_ANI, AnimGroup_Mutant, 10},
    {COMBAT_IDLE_RECOIL_ANI, AnimGroup_Mutant, 6},
};
AnimChar* Mutant::Anims[NUM_MUTANT_ANIMS];

int Mutant::Mutant_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewCreatureReply<Mutant>(Mutant_mh);
    return static_cast<Mutant*>(o)->mh(msg, data);
}

void Mutant::Start(int slot)
{
    BlendToAnim(u16(slot), Anims[slot], 0, 5, false);
}

void Mutant::Set(int slot)
{
    SetAnim(u16(slot), Anims[slot], 0);
}

void Mutant::Init()
{
    flags = (flags & ~OBJF_NOCOLLISION) | 0x10020;
    fadedeath = false;
    strength = initialstrength = 100.0f;
    aggro = 0.5f;
    pTarget = PlayerObject();
    deathtime = kNever;
    InitialiseChildCollisions();
    ModifyCollisionMaskHierarchy(0x908, 0);
    mat = Matrix(true);
    for (const auto& d : AnimDefs) {
        const AnimGroup* g = g_GlobalAGI.GetAG(d[1]);
        if (g != nullptr && d[2] < g->count)
            Anims[d[0]] = g->pChars[d[2]];
    }
    Set(COMBAT_IDLE_DUCK_ANI);
}

float Mutant::Ground() const
{
    if (g_pgcTest != nullptr && g_pgcTest->bInterior)
        return g_pgcTest->fInteriorHeight;
    return GroundHeight(GetWorldPos(), nullptr);
}

float Mutant::DistToPlayer() const
{
    if (pTarget == nullptr)
        return 1e30f;
    const VectorDir d = pTarget->GetWorldPos() - GetWorldPos();
    return std::sqrt(Dot(d, d));
}

void Mutant::TurnToPlayer()
{
    if (pTarget == nullptr)
        return;
    VectorDir d = pTarget->GetWorldPos() - GetWorldPos();
    d[1] = 0.0f;
    const float l = std::sqrt(Dot(d, d));
    if (l > 0.0f)
        TurnToward(VectorDir(d * (1.0f / l)), 0.1f * world.playbackSpeed);
}

bool Mutant::TargetInView()
{
    if (pTarget == nullptr)
        return false;
    Object* mine = FindSubObject(20);
    Object* his = pTarget->FindSubObject(20);
    if (mine == nullptr || his == nullptr)
        return false;
    const VectorPos a = mine->GetWorldPos(), b = his->GetWorldPos();
    VectorDir u = b - a;
    const float l = std::sqrt(Dot(u, u));
    if (l <= 0.0f)
        return false;
    const VectorDir fwd(mat.z[0], mat.z[1], mat.z[2]);
    if (Dot(VectorDir(u * (1.0f / l)), fwd) <= 0.866f)
        return false;
    VectorPos point;
    VectorDir normal;
    Object* hit = world.CheckRay(a, b, &point, &normal, nullptr, nullptr, 0xFF00);
    return hit == nullptr || hit->GetRoot() == pTarget;
}

void Mutant::Swipe()
{
    Start(randf() < 0.5f ? COMBAT_ATTACK_1_ANI : COMBAT_ATTACK_2_ANI);
}

void Mutant::Frame()
{
    AnimateHierarchy(1.0f);
    const float d = DistToPlayer();
    const VectorPos p = pRange != nullptr ? pRange->GetWorldPos() : GetWorldPos();
    switch (mode2) {
    case COMBAT_IDLE_ANI:
    case COMBAT_IDLE_SPECIAL_ANI:
        if (d < kNear && randf() < aggro * 0.5f)
            Swipe();
        else if (d < kLeapRange && randf() < aggro * 0.02f && TargetInView())
            Start(COMBAT_JUMP_ATTACK_ANI);
        break;
    case COMBAT_IDLE_DUCK_ANI:
        if (d < kWakeRange) {
            if (mode == MODE_LEAP) {
                if (TargetInView())
                    Start(COMBAT_JUMP_ATTACK_ANI);
            } else {
                Start(COMBAT_IDLE_DUCK_ASSUME_ANI);
            }
        }
        break;
    case COMBAT_IDLE_DUCK_ASSUME_ANI:
    case COMBAT_ATTACK_1_ANI:
    case COMBAT_ATTACK_2_ANI:
    case COMBAT_JUMP_ATTACK_ANI:
        TurnToPlayer();
        break;
    case COMBAT_FWD_ANI:
        if (d < kNear && randf() < aggro * 0.5f && TargetInView())
            Swipe();
        else if (d < kLeapRange && randf() < aggro * 0.02f && TargetInView())
            Start(COMBAT_JUMP_ATTACK_ANI);
        TurnToPlayer();
        break;
    case COMBAT_JUMP_ATTACK_INAIR_ANI:
    case COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI: {
        const float t = frame - jumpframe;
        vdFallSpeed[1] = t * kFallRate;
        if (Ground() - p[1] <= 0.0f) {
            Start(mode2 == COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI ? COMBAT_KILLED_ANI : COMBAT_JUMP_ATTACK_STRIKE_ANI);
        } else {
            mat.SetTrans(VectorPos(mat.GetTrans() + vdFallSpeed * (t * world.playbackSpeed)));
        }
        break;
    }
    case COMBAT_JUMP_ATTACK_STRIKE_ANI: {
        const float g = Ground();
        VectorPos here = mat.GetTrans();
        if (g < here[1]) {
            here[1] = g;
            mat.SetTrans(here);
        }
        break;
    }
    default:
        break;
    }
}

void Mutant::AnimLoop()
{
    switch (mode2) {
    case COMBAT_IDLE_ANI:
        if (randf() < aggro * 0.125f)
            Start(COMBAT_IDLE_SPECIAL_ANI);
        else if (DistToPlayer() < kWakeRange)
            Start(COMBAT_FWD_ANI);
        break;
    case COMBAT_IDLE_SPECIAL_ANI:
    case COMBAT_IDLE_DUCK_ASSUME_ANI:
    case COMBAT_ATTACK_1_ANI:
    case COMBAT_ATTACK_2_ANI:
    case COMBAT_JUMP_ATTACK_STRIKE_ANI:
    case COMBAT_IDLE_RECOIL_ANI:
        Start(COMBAT_IDLE_ANI);
        break;
    case COMBAT_JUMP_ATTACK_ANI: {
        jumpframe = frame;
        const float speed = Anims[COMBAT_JUMP_ATTACK_ANI] != nullptr ? AnimFileGetSpeed(Anims[COMBAT_JUMP_ATTACK_ANI]) : 0.0f;
        vdFallSpeed = VectorDir(VectorDir(mat.z[0], 0.0f, mat.z[2]) * (speed * world.playbackSpeed));
        vdFallSpeed[1] = 0.0f;
        if (flags & kDown) {
            Start(COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI);
        } else {
            Object* feet = FindSubObject(31);
            const VectorPos q = feet != nullptr ? feet->GetWorldPos() : GetWorldPos();
            Start(Ground() - q[1] > kAirborne ? COMBAT_JUMP_ATTACK_INAIR_ANI : COMBAT_JUMP_ATTACK_STRIKE_ANI);
        }
        break;
    }
    case COMBAT_KILLED_ANI:
        SendSpecial(gameeventobj, SMSG_EV_CHARACTER_DIED, this);
        break;
    default:
        break;
    }
}

void Mutant::Die()
{
    strength = 0.0f;
    flags |= kDown | OBJF_NOCOLLISION;
}

void Mutant::Collision(CollisionRecord* rec)
{
    Object* other = rec->HitObj();
    if (other == nullptr)
        return;
    if (other->type == OBJT_CHARACTER && other->id != -1) {
        if (rec->GetInfo()) {
            VectorDir n = rec->Normal();
            n[1] = 0.0f;
            mat.SetTrans(VectorPos(mat.GetTrans() + n * -rec->Dist()));
        }
    } else if (other->type == OBJT_STATIC && other->id == kKillObjectId) {
        Die();
        Start(COMBAT_KILLED_ANI);
    }
}

void Mutant::Fade(void* data)
{
    auto* rc = static_cast<RenderContext*>(data);
    if (deathtime == kNever || !fadedeath || deathtime >= u32(ModeNow()))
        return;
    const float f = std::min(float(u32(ModeNow()) - deathtime) * kFadeRate, 1.0f);
    flags &= ~OBJF_SHADOW;
    if (rc != nullptr)
        rc->light_colour.w.setw(1.0f - f);
    if (f >= 1.0f) {
        flags |= OBJF_HIDDEN;
        flags &= ~OBJF_DRAWSELF;
    }
}

int Mutant::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        Frame();
        return 0;
    case OM_COLLISION:
        Collision(static_cast<CollisionRecord*>(data));
        return 0;
    case OM_ANIMLOOP:
        if (data != nullptr && static_cast<AnimEventMessage*>(data)->slot == 0)
            AnimLoop();
        return 0;
    case OM_ANIMEVENT: {
        auto* e = static_cast<AnimEventMessage*>(data);
        if (e != nullptr && e->obj != nullptr) {
            if (e->event == kEventStrikeOn)
                e->obj->flags |= kStriking;
            else if (e->event == kEventStrikeOff)
                e->obj->flags &= ~kStriking;
        }
        return 0;
    }
    case OM_RENDER:
        Fade(data);
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        SendSpecial(gameeventobj, SMSG_EV_ENEMY_REMOVED, this);
        if (mdlfile != nullptr)
            g_GlobalMFI.DecrementRef(mdlfile);
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_MODE_START:
        gameeventobj = m.obj;
        Set(mode == MODE_GETUP ? COMBAT_IDLE_DUCK_ASSUME_ANI : COMBAT_IDLE_DUCK_ANI);
        return 0;
    case SMSG_MODE_BODY_TIMEOUT:
        fadedeath = true;
        flags |= OBJF_DRAWSELF;
        deathtime = u32(int(m.param[0]));
        return 0;
    case SMSG_BULLET_HIT: {
        const float s = m.obj != nullptr ? static_cast<Bullet*>(m.obj)->GetStrength() : 0.0f;
        if (s < strength) {
            strength -= s;
            Start(COMBAT_IDLE_RECOIL_ANI);
            return 0;
        }
        Die();
        if (mode2 == COMBAT_JUMP_ATTACK_INAIR_ANI)
            mode2 = COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI;   // it dies on landing
        else if (mode2 != COMBAT_JUMP_ATTACK_ANI)
            Start(COMBAT_KILLED_ANI);
        return 0;
    }
    case SMSG_Q_SHOOT_TARGET:
        return 1;
    case SMSG_Q_COLLISION:
        return kBlow;
    default:
        return 0;
    }
}
