// What the player on foot does with one contact: a foe's fist or foot is a
// blow, the world and cars are walls or ground, and other people are pushed
// apart, shoved aside or tackled.  Pushes are gathered and handed to the
// push-out the frame applies.
#include "game/Player.h"

#include <cmath>

#include "ZevEngine2/World.h"
#include "game/BadGuy.h"
#include "game/BadGuyAnims.h"
#include "game/GameFlow.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

using namespace pedanim;

namespace {

constexpr u32 kAttackBoxFlag = 0x1000;
constexpr u32 kAttackBits = 0x07800000;
constexpr int kTorsoNode = 20;
constexpr int SMSG_RELEASED = 32;

VectorDir Flat(VectorDir v) { return VectorDir(v[0], 0.0f, v[2]); }

bool PairedMove(u16 a)
{
    return Arrest(a) || In(a, GUNS_GRAPPLE_FAIL_ANI, GUNS_GRAPPLE_RELEASE_ANI) ||
           In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_ANI) ||
           In(a, STEALTH_GRAPPLE_DISARM_START_ANI, STEALTH_GRAPPLE_DISARM_P_FINISH_ANI);
}

bool PairedOpening(u16 a)
{
    return a == PED_ARREST_FAIL_ANI || a == PED_ARREST_START_ANI || a == PED_ARREST_RELEASE_ANI ||
           a == GUNS_GRAPPLE_START_ANI || In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_START_ANI) ||
           a == STEALTH_GRAPPLE_DISARM_START_ANI || a == STEALTH_GRAPPLE_DISARM_K_START_ANI ||
           a == STEALTH_GRAPPLE_DISARM_P_START_ANI;
}

// The player's own hit reactions, by which he cannot be struck again.
bool HitReaction(u16 a) { return Grappled(a) || In(a, COMBAT_RECOIL_LOW_L_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI) || GunRecoil(a); }

Guy* AsCharacter(Object* o) { return o != nullptr && o->type == OBJT_CHARACTER ? static_cast<Guy*>(o) : nullptr; }

// A foe knocked down, thrown against a wall, getting up, lying or run over:
// his limbs may still brush the player, but they strike nobody.
bool FoeOutOfTheFight(const Object* o)
{
    if (!HasEnemyHandler(o))
        return false;
    const u16 a = static_cast<const Guy*>(o)->mode2;
    return In(a, +BadGuyAnims::COMBAT_KNOCKDOWN_ANI, +BadGuyAnims::COMBAT_RECOIL_WALL_GETUP_ANI) ||
           a == +BadGuyAnims::LYING_DOWN_ANI || a == +BadGuyAnims::LYING_DOWN_RECOIL_ANI ||
           a == +BadGuyAnims::LYING_DOWN_DEAD_ANI || a == +BadGuyAnims::RUN_OVER_ANI ||
           a == +BadGuyAnims::RUN_OVER_DEAD_ANI;
}

}  // namespace

int Dace::Collision_Pedestrian(CollisionRecord* cr)
{
    if (cr == nullptr)
        return 0;
    Object* other = cr->HitObj();
    Object* part = cr->HisPart();
    if (other == nullptr)
        return 0;
    VectorDir hard(0.0f, 0.0f, 0.0f), soft(0.0f, 0.0f, 0.0f), ground(0.0f, 0.0f, 0.0f);
    const u16 a = mode2;
    const bool held = (Grappled(a) && !grappleseparation) || victimdata != nullptr;
    auto mySphere = [&]() {
        for (int i = 3; i <= 6; i++)
            if (cr->MyCol() == reinterpret_cast<COLLISION*>(&bodycollspheres[i]))
                return true;
        return false;
    };
    auto apply = [&]() {
        if (hard.LengthSq() > newpushoutvel.LengthSq())
            newpushoutvel = hard;
        AddToPopOut(ground, true);
        AddToSoftPopOut(soft, other);
    };

    // A foe's attack box.
    const bool attackerKind = other->type == OBJT_CHARACTER || other->type == OBJT_DYNAMIC;
    if (attackerKind && part != nullptr && (part->flags & kAttackBoxFlag)) {
        const bool alreadyHit = hitbyattacktime != Never && hitbyattacktime >= attackedtime && hitbyattackguy == other;
        const bool blow = !(other->type == OBJT_CHARACTER && (other->flags & 0x60000000)) && !HitReaction(a) &&
                          !FoeOutOfTheFight(other) && (!PairedMove(a) || PairedOpening(a)) && other->id >= -150 && other->id <= -101 &&
                          !Warning(a) && !(g_pgcTest != nullptr && g_pgcTest->bSuperDace) && !alreadyHit;
        if (blow && cr->GetInfo()) {
            Collision_Pedestrian_Blow(cr);
            soft = Flat(cr->Normal() * cr->Dist()) * -0.5f;
            apply();
            return -1;
        }
    }

    switch (other->type) {
    case OBJT_STATIC:
    case OBJT_DYNAMIC:
    case OBJT_DEBRIS:
    case OBJT_VEHICLE:
    case OBJT_PLACEHOLDER: {
        if (!cr->GetInfo())
            return 0;
        const VectorDir n = cr->Normal();
        if (collidestate == TURNING_STATIC_FULL || collidestate == TURNING_STATIC_HALF ||
            collidestate == BACK_STATIC_FULL || collidestate == BACK_STATIC_HALF ||
            collidestate == RETURNING_STATIC_FULL || collidestate == RETURNING_STATIC_HALF)
            return 0;
        if (other == static_cast<Object*>(car) && In(a, PED_SPRINT_JUMPCAR_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI))
            return 0;
        const bool dynamic = other->type == OBJT_DYNAMIC;
        const COLLISION* his = cr->HisCol();
        const bool typeThree = his != nullptr && his->type == 3;
        if (n[1] < -0.707f && !dynamic) {
            // Ground under him.
            COLLISION* c = part != nullptr ? part->GetCollision() : nullptr;
            if (c == nullptr)
                return 0;
            VectorDir gn(0.0f, -1.0f, 0.0f);
            const VectorPos at = Airborne(a) ? GroundReference() : GetWorldPos();
            const float h = GetObjectGroundHeight(c, part->GetWorldMatrix(), groundterrainy, at, &gn);
            if (groundobj != nullptr && groundobjy < h)
                return 0;
            if (groundobj != nullptr && groundobj != other) {
                const bool skip = held || a == PED_ARREST_LYINGDOWN_L_ANI || a == PED_ARREST_LYINGDOWN_R_ANI ||
                                  (offenseactive && mySphere() && !typeThree);
                if (!skip)
                    ground = Flat(groundobjnormal * -groundobjdist);
            }
            groundobj = other;
            groundobjy = h;
            groundobjdist = cr->Dist();
            groundobjnormal = Normalise(n);
        } else if (!held) {
            if (std::fabs(n[1]) >= 0.95f || a == PED_ARREST_LYINGDOWN_L_ANI || a == PED_ARREST_LYINGDOWN_R_ANI ||
                (offenseactive && dynamic && mySphere() && !typeThree))
                return 0;
            ground = Flat(n * -cr->Dist());
            if (collidestate == PULL_STATIC)
                ground = ground * 0.15f;
            if (PairedMove(a) && !PairedOpening(a)) {
                Guy* partner = AsCharacter(target) != nullptr ? AsCharacter(target) : AsCharacter(arrestguy);
                if (partner != nullptr) {
                    if (dynamic)
                        partner->AddToSoftPopOut(ground, other);
                    else
                        partner->AddToPopOut(ground, true);
                }
            }
            if (a == PED_ARREST_START_ANI && arrestguy != nullptr) {
                BlendToAnim(mode == DACEMODE_GUNS ? GUNS_IDLE_ANI : mode == DACEMODE_FISTS ? COMBAT_IDLE_ANI : PED_IDLE_ANI, 5);
                SendEvent(SMSG_RELEASED, arrestguy);
            } else if (a == GUNS_GRAPPLE_START_ANI && shieldTarget != nullptr) {
                BlendToAnim(GUNS_GRAPPLE_FAIL_ANI, 3);
                SendEvent(SMSG_RELEASED, shieldTarget, 1);
                shieldTarget = nullptr;
            } else if (In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_START_ANI) && target != nullptr &&
                       Dot(VectorDir(target->GetWorldPos() - GetWorldPos()),
                           VectorDir(other->GetWorldPos() - GetWorldPos())) > 0.0f) {
                BlendToAnim(COMBAT_RECOIL_HIGH_ANI, 20);
                curattack = &attackbase;
                flags &= ~kAttackBits;
                attackbuffer = ATTACK_NONE;
                SendEvent(SMSG_RELEASED, target);
            }
            if (collidestate == PULL_STATIC) {
                ground = ground * 0.15f;
            } else if (dynamic) {
                soft = ground;
                ground = VectorDir(0.0f, 0.0f, 0.0f);
            }
        } else {
            const VectorDir v = Flat(n * -cr->Dist());
            if (std::fabs(n[1]) < 0.95f && victimdata == nullptr && AsCharacter(target) != nullptr) {
                if (dynamic) {
                    AddToSoftPopOut(v, other);
                    soft = v;
                } else {
                    AddToPopOut(v, true);
                    ground = v;
                }
            } else if (target != nullptr) {
                AddToSoftPopOut(v, other);
                soft = v;
            }
        }
        apply();
        return 0;
    }
    default: break;
    }

    // Other people.
    Guy* guy = AsCharacter(other);
    if (guy == nullptr || (guy->flags & 0x40000000) || Grappled(a) || PairedMove(a) ||
        In(a, COMBAT_GRAPPLE_ARMBREAK_START_ANI, COMBAT_GRAPPLE_TRIP_START_ANI))
        return 0;
    if (guy->id >= 100 && !(guy->flags & 0x70000000) && (a == PED_RUN_ANI || a == PED_SPRINT_ANI)) {
        Object* torso = FindSubObject(kTorsoNode);
        const VectorPos from = torso != nullptr ? torso->GetWorldPos() : GetWorldPos();
        const bool left = Dot(VectorDir(guy->GetWorldPos() - from), VectorDir(mat.x.xyz())) < 0.0f;
        BlendToAnim(left ? PED_CHASE_SHOVE_LEFT_ANI : PED_CHASE_SHOVE_RIGHT_ANI, 3);
        return 0;
    }
    if (!cr->GetInfo())
        return 0;
    // A foe running along his line may be brought down.
    if (guy->id >= -150 && guy->id <= -101) {
        const VectorDir hz(guy->GetWorldMatrix().z.xyz()), mz(GetWorldMatrix().z.xyz());
        const float l = std::sqrt(hz.LengthSq() * mz.LengthSq());
        if (l > 0.0f && std::fabs(Dot(hz, mz) / l) > 0.707f)
            TryTackle(guy);
    }
    const VectorDir n = cr->Normal();
    if (mode == DACEMODE_FISTS || In(a, PED_CHASE_TACKLE_ANI, PED_CHASE_TACKLE_LAND_ANI)) {
        if (!cr->IsFlipped() && (hardpopmask != 0 || prevhardpopmask != 0))
            return 0;
        if (In(a, COMBAT_BLOCK_LOW_ANI, COMBAT_BLOCK_HIGH_2_ANI) || a == COMBAT_KNOCKDOWN_LAND_ANI ||
            In(a, COMBAT_LYINGDOWN_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI)) {
            // Nothing pushed.
        } else if (HitReaction(a)) {
            hard = Flat(n * -cr->Dist());
        } else {
            Object* mine = FindSubObject(kTorsoNode);
            Object* his = guy->FindSubObject(kTorsoNode);
            VectorDir outMe, outHim;
            if (mine != nullptr && his != nullptr && PushOutCharacter(mine, his, &outMe, &outHim, 1.0f, 1.5f)) {
                hard = outHim;
                soft = outMe;
            }
        }
    } else if (!(offenseactive && mySphere())) {
        hard = Flat(n * -cr->Dist());
    }
    apply();
    return 2;
}
