// The player's animation state machine outside the car: what follows when
// his animation on foot, in a fist fight, with guns or sneaking reaches its
// end.  The answer is the reply to the loop: 0 lets the animation loop on,
// -1 says the loop was taken care of.
#include "game/Player.h"

#include <cmath>

#include "ZevEngine2/World.h"
#include "game/BadGuy.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"

using namespace pedanim;

namespace {

constexpr u32 kAttackBits = 0x07800000;
constexpr int kSoundFinishWindow = 6;
constexpr int kFootNode = 31;
constexpr int kHeadNode = 20;
constexpr float kPi = 3.14159265f;
constexpr float kDeg = kPi / 180.0f;

// Fight abilities the game awards.
constexpr u32 kAbilityGroundAttacks = 0x004;

enum : int
{
    SMSG_GRABBED_MSG = 31,
    SMSG_RELEASED = 32,
    SMSG_QUERY_FEMALE = 85,
    SMSG_PLAYER_ATTACKING = 96,
    SMSG_PED_SWITCH_MODE_A = 7363,
    SMSG_EV_PLAYER_BLOW_LANDED = 23003,
    SMSG_EV_ARREST = 23017,
    SMSG_EV_PLAYER_64 = 23064,
    SMSG_EV_PLAYER_65 = 23065,
    SMSG_EV_PLAYER_66 = 23066,
};

// Voice line types.
enum : int
{
    VO_InspectFemale = 5,
    VO_InspectMale = 6,
    VO_ReleaseFemale = 7,
    VO_ReleaseMale = 8,
    VO_ArrestFemale = 9,
    VO_ArrestMale = 10,
    VO_CombatTaunt = 22,
    VO_CombatOops = 23,
    VO_CombatFinish = 25,
    VO_GunsOops = 29,
    VO_InfiltrateTakedown = 50,
};

u32 FightAbility() { return g_pgcTest != nullptr ? g_pgcTest->stats.fightAbility : 0; }
bool Interior() { return g_pgcTest != nullptr && g_pgcTest->bInterior; }

int Ask(Object* to, int code, Object* from, Variant p0 = 0, Variant p1 = 0, Variant p2 = 0, Variant p3 = 0)
{
    if (to == nullptr)
        return 0;
    SpecialMessage m(code, from, p0, p1, p2, p3);
    return to->SendMessage(OM_SPECIAL, &m);
}

VectorPos NodePosOf(Object* o, int id)
{
    Object* n = o->FindSubObject(id);
    return n != nullptr ? n->GetWorldPos() : o->GetWorldPos();
}

bool ArmActive(const GunArm& a) { return !a.ModeIs(GunArm::UNARMED) && !a.ModeIs(GunArm::CARRYING_TO_UNARMED); }

// Fired within n frames, counted unsigned so a never-fired arm never counts.
bool FiredWithin(const GunArm& a, u32 n) { return ArmActive(a) && u32(world.time) - u32(a.lastshot) <= n; }

bool FiredLessThanAgo(const GunArm& a, int n)
{
    return ArmActive(a) && u32(a.lastshot) != 0x7FFFFFFFu && int(a.lastshot) > world.time - n;
}

// The turn of the player after a victim animation an enemy imposed.
float GrappledTurn(int bank, int index)
{
    static const struct { int bank, index; float deg; } turns[] = {
        {12, 19, -35.0f}, {10, 21, 53.0f}, {10, 24, 7.0f},  {14, 16, -35.0f},  {11, 19, -35.0f},
        {11, 22, 103.0f}, {13, 19, -9.5f}, {13, 22, 115.0f}, {13, 25, 153.5f},
    };
    for (const auto& t : turns)
        if (t.bank == bank && t.index == index)
            return t.deg * kDeg;
    return 0.0f;
}

int VictimCode(int anim)
{
    switch (anim) {
    case COMBAT_GRAPPLE_ARMBREAK_START_ANI: return 80;
    case COMBAT_GRAPPLE_ARMTWIST_START_ANI: return 81;
    case COMBAT_GRAPPLE_FIREMANTOSS_START_ANI: return 84;
    case COMBAT_GRAPPLE_HIPTHROW_START_ANI: return 85;
    case COMBAT_GRAPPLE_KNEEBASH_START_ANI: return 86;
    case COMBAT_GRAPPLE_LEGTHROW_START_ANI: return 87;
    case COMBAT_GRAPPLE_TRIP_START_ANI: return 88;
    default: return 0;
    }
}

}  // namespace

int Dace::Loop_PedestrianMode(Object* loopobj, int, bool fake)
{
    if (loopobj != this || victimdata != nullptr)
        return 0;
    const u16 a = mode2;
    const u32 now = u32(world.time);
    const bool finisher = curattack != nullptr && curattack->style == AttackInfo::STYLE_FINISHING;
    const u16 follow = DaceAnim::AnimTransitions[a];
    const int m = DaceAnim::AnimTransMorphLens[a];
    const u16 idle3 = mode == DACEMODE_GUNS ? GUNS_IDLE_ANI : mode == DACEMODE_FISTS ? COMBAT_IDLE_ANI : PED_IDLE_ANI;
    const u16 idle2 = mode == DACEMODE_GUNS ? GUNS_IDLE_ANI : PED_IDLE_ANI;
    auto turnBy = [&](float th) {
        const Matrix r = RotY(th) * mat;
        mat.x = r.x;
        mat.y = r.y;
        mat.z = r.z;
    };
    auto face = [&](Object* o) {
        if (o == nullptr)
            return;
        VectorDir d(o->GetWorldPos() - GetWorldPos());
        d = VectorDir(d[0], 0.0f, d[2]);
        if (d.LengthSq() <= 0.01f)
            return;
        d = Normalise(d);
        if (parent != nullptr) {
            const Matrix inv = ScaledInverse(parent->GetWorldMatrix());
            d = VectorDir(inv.x.xyz()) * d[0] + VectorDir(inv.y.xyz()) * d[1] + VectorDir(inv.z.xyz()) * d[2];
        }
        const Matrix l = LookAlong(d);
        mat.x = l.x;
        mat.y = l.y;
        mat.z = l.z;
    };
    auto followOn = [&]() {
        if (m != 0)
            BlendToAnim(follow, m);
        else
            SetAnim(follow);
    };
    auto clearAttack = [&]() { flags &= ~kAttackBits; };

    // The victory pose runs its three parts.
    if (a == COMBAT_IDLE_VICTORY_1_ANI) {
        DaceVO.Play(VO_CombatFinish, 0);
        BlendToAnim(COMBAT_IDLE_VICTORY_2_ANI, 10);
        return -1;
    }
    if (a == COMBAT_IDLE_VICTORY_2_ANI) {
        BlendToAnim(COMBAT_IDLE_VICTORY_3_ANI, 10);
        return -1;
    }
    if (a == COMBAT_IDLE_VICTORY_3_ANI)
        return 0;

    // A foe ready to be finished opens the finishing window.
    if (target != nullptr && finishingstartcount == Never && !Grappled(a) &&
        !In(a, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI) &&
        !In(a, COMBAT_RECOIL_LOW_L_ANI, COMBAT_RECOIL_BACK_HIGH_ANI) && !GunRecoil(a) &&
        !In(a, COMBAT_FINISH_PUNCH_ANI, COMBAT_FINISH_JUMPKICK_ANI) &&
        Ask(target, SMSG_Q_MELEE, this) != 0) {
        PlayCombatSfx(kSoundFinishWindow, GetWorldPos(), 1.0f);
        const u32 count = world.GetRealtimeCount();
        finishingstartcount = count == Never ? Never - 1 : count;
        for (DaceAnim::AttackType& k : finishingbuffer)
            k = ATTACK_NONE;
        if (target != nullptr && mode != DACEMODE_FISTS)
            SwitchToMode(DACEMODE_FISTS, false);
        else
            BlendToAnim(COMBAT_IDLE_ANI, 5);
    }

    // A buffered button carries the combo on.
    if (attackbuffer != ATTACK_NONE && finishingstartcount == Never && In(a, COMBAT_P_ANI, COMBAT_FINISH_JUMPKICK_ANI) &&
        curattackblock == -1) {
        bool chain = !(FightAbility() & kAbilityGroundAttacks);
        if (!chain) {
            chain = target == nullptr ||
                    VectorDir(target->GetWorldPos() - GetWorldPos()).LengthSq() >= 4.0f * AttackRingOuter * AttackRingOuter ||
                    Ask(target, SMSG_PLAYER_ATTACKING, nullptr) == 0;
        }
        if (chain && ChainCombatAttack(fake ? 5 : 0))
            return -1;
    }

    if (curattack != &attackbase && !In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_START_ANI) &&
        !In(a, GUNS_GRAPPLE_FAIL_ANI, GUNS_GRAPPLE_RELEASE_ANI)) {
        curattack = &attackbase;
        attackbuffer = ATTACK_NONE;
        clearAttack();
    }

    // A foe giving himself up to the player's guns.
    if (mode == DACEMODE_GUNS && target != nullptr && target->type == OBJT_CHARACTER && target->id >= -150 &&
        target->id <= -101 && !(target->flags & 0x80000000u) && HasEnemyHandler(target) &&
        static_cast<Enemy*>(static_cast<Object*>(target))->issurrendering)
        SendEvent(SMSG_EV_PLAYER_66, gameeventobj);

    // Attacks.
    if (In(a, COMBAT_BACK_H_ANI, COMBAT_BACK_P_ANI)) {
        turnBy(kPi);
        SetAnim(mode == DACEMODE_FISTS ? COMBAT_IDLE_ANI : PED_IDLE_ANI);
        return -1;
    }
    if (a == COMBAT_GRAPPLE_ANTICIPATE_ANI) {
        if (curattack->anim == COMBAT_GRAPPLE_ANTICIPATE_ANI && curattack->nextgrappleattack != nullptr)
            curattack = curattack->nextgrappleattack;
        PoseGrabNode(anims != nullptr ? anims[curattack->anim] : nullptr);
        face(target);
        const int grab = curattack->anim;
        int r = 0;
        if (target != nullptr && In(grab, COMBAT_GRAPPLE_ARMBREAK_START_ANI, COMBAT_GRAPPLE_TRIP_START_ANI)) {
            const int frames = anims != nullptr && anims[grab] != nullptr ? reinterpret_cast<const u16*>(anims[grab])[1] : 0;
            r = Ask(target, SMSG_GRABBED_MSG, this, grab, frames, 6, VictimCode(grab));
        }
        if (r > 0) {
            BlendToAnim(u16(grab), 3);
            clearAttack();
            curattackblock = curattackhit = -1;
            flags |= curattack->GetFlags();
        } else if (r < 0) {
            BlendToAnim(r == -1 ? COMBAT_GRAPPLE_BROKEN_1_ANI : COMBAT_GRAPPLE_BROKEN_2_ANI, 3, -1, -1, true);
            attackbuffer = ATTACK_NONE;
            clearAttack();
        } else {
            BlendToAnim(COMBAT_GRAPPLE_MISS_ANI, 10);
            curattack = &attackbase;
            attackbuffer = ATTACK_NONE;
            clearAttack();
        }
        return -1;
    }
    if (In(a, COMBAT_GRAPPLE_ARMBREAK_START_ANI, COMBAT_GRAPPLE_TRIP_START_ANI)) {
        grappleframe = frame;
        SetAnim(follow);
        return -1;
    }
    const bool otherAttack = In(a, COMBAT_P_ANI, COMBAT_FINISH_JUMPKICK_ANI) ||
                             In(a, COMBAT_GRAPPLE_ARMBREAK_ANI, COMBAT_GRAPPLE_TRIP_ANI) ||
                             In(a, COMBAT_RUNNING_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI);
    if (otherAttack) {
        if (mode != DACEMODE_FISTS) {
            BlendToAnim(PED_IDLE_ANI, 15);
            return -1;
        }
        if (In(a, COMBAT_GRAPPLE_ARMBREAK_ANI, COMBAT_GRAPPLE_TRIP_ANI)) {
            grappleframe = UnsetFrame;
            if (a == COMBAT_GRAPPLE_ARMTWIST_ANI || a == COMBAT_GRAPPLE_LEGTHROW_ANI)
                turnBy(kPi);
            else if (a == COMBAT_GRAPPLE_HIPTHROW_ANI)
                turnBy(-2.96706f);
            else if (a == COMBAT_GRAPPLE_ARMBREAK_ANI)
                turnBy(1.22173f);
            SetAnim(COMBAT_IDLE_ANI);
            return -1;
        }
        if (In(a, COMBAT_LYINGDOWN_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI) && follow != 0) {
            followOn();
            return -1;
        }
        if (finisher) {
            if ((rand() >> 29) == 0 && DaceVO.IsStopped())
                DaceVO.Play(VO_CombatTaunt, 30);
            if (a == COMBAT_FINISH_DROPKICK_ANI)
                BlendToAnim(COMBAT_KNOCKDOWN_GETUP_FRESH_ANI, 5);
            else
                BlendToAnim(COMBAT_IDLE_KATA_ANI, 15);
        } else {
            BlendToAnim(COMBAT_IDLE_ANI, 15);
        }
        return -1;
    }

    if (In(a, COMBAT_BLOCK_LOW_ANI, COMBAT_BLOCK_HIGH_2_ANI)) {
        BlendToAnim(COMBAT_MOVE_BACK_ANI, 8);
        return -1;
    }
    if (GunRecoil(a)) {
        if (mode != DACEMODE_GUNS) {
            BlendToAnim(PED_IDLE_ANI, 10);
        } else {
            switch (a) {
            case GUNS_FWALL_FIREBACK_RECOIL_L_ANI: BlendToAnim(GUNS_FWALL_FIREBACK_RETURN_L_ANI, 3); break;
            case GUNS_FWALL_FIREBACK_RECOIL_R_ANI: BlendToAnim(GUNS_FWALL_FIREBACK_RETURN_R_ANI, 3); break;
            case GUNS_HWALL_FIREBACK_RECOIL_L_ANI: BlendToAnim(GUNS_HWALL_FIREBACK_RETURN_L_ANI, 3); break;
            case GUNS_HWALL_FIREBACK_RECOIL_R_ANI: BlendToAnim(GUNS_HWALL_FIREBACK_RETURN_R_ANI, 3); break;
            default: BlendToAnim(GUNS_IDLE_ANI, 10); break;
            }
        }
        if (strength < 50.0f && (rand() >> 29) == 0 && DaceVO.IsStopped() &&
            DaceVO.GetTimeSincePlayed(VO_GunsOops) >= 601)
            DaceVO.Play(VO_GunsOops, 0);
        return -1;
    }
    if (In(a, COMBAT_RECOIL_LOW_L_ANI, COMBAT_RECOIL_BACK_HIGH_ANI) ||
        In(a, COMBAT_KNOCKDOWN_GETUP_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI)) {
        if (Object* e = GetLoneEnemyInRadius(AttackRingOuter)) {
            target = e;
            facemode = true;
            BlendToAnim(COMBAT_IDLE_ANI, 10);
        } else {
            BlendToAnim(mode == DACEMODE_FISTS ? COMBAT_IDLE_ANI : PED_IDLE_ANI, 10);
        }
        return -1;
    }

    auto gettingUp = [&]() {
        if (strength > 0.0f) {
            if (mode == DACEMODE_FISTS && (rand() & 1) == 0 && DaceVO.IsStopped())
                DaceVO.Play(VO_CombatOops, 0);
            u16 up = COMBAT_KNOCKDOWN_GETUP_FRESH_ANI;
            if (mode != DACEMODE_GUNS)
                up = strength > 66.6667f   ? COMBAT_KNOCKDOWN_GETUP_FRESH_ANI
                     : strength > 33.3333f ? COMBAT_KNOCKDOWN_GETUP_ANI
                                           : COMBAT_KNOCKDOWN_GETUP_TIRED_ANI;
            BlendToAnim(up, m);
        } else {
            flags |= GUYF_DEAD | 0x20000;
            SendEvent(SMSG_EV_CHARACTER_DIED, gameeventobj);
        }
        return -1;
    };

    switch (a) {
    case PED_IDLE_ANI:
        if (randf() < 0.2f) {
            BlendToAnim((rand() & 1) ? PED_IDLE_CHECKTIME_ANI : PED_IDLE_FOOTWORK_ANI, 10);
            return -1;
        }
        return 0;
    case PED_IDLE_LOOKAROUND_ANI:
    case PED_IDLE_FOOTWORK_ANI:
    case PED_IDLE_CHECKTIME_ANI:
    case DETECTIVE_CONFUSED_ANI: SetAnim(PED_IDLE_ANI); return -1;
    case PED_IDLE_GRABKNOB_ANI: return -1;
    case PED_IDLE_COMMANDEER_FAIL_ANI:
    case PED_ARREST_FAIL_ANI: BlendToAnim(idle3, 5); return 0;
    case PED_WALK_ANI: PedestrianModeWalk(); return 0;
    case PED_RUN_ANI:
    case PED_SPRINT_ANI: PedestrianModeRun(); return 0;
    case PED_CHASE_TRIP_ANI:
    case PED_CHASE_SHOVE_LEFT_ANI:
    case PED_CHASE_SHOVE_RIGHT_ANI: BlendToAnim(PED_RUN_ANI, m); return -1;
    case PED_CHASE_TACKLE_ANI:
    case PED_JUMP_TAKEOFF_STANDING_ANI:
    case PED_JUMP_TAKEOFF_RUNNING_ANI:
    case PED_JUMP_TAKEOFF_SPRINTING_ANI:
    case STEALTH_JUMP_ANI:
    case GUNS_JUMP_FWD_ANI:
    case GUNS_JUMP_BACK_ANI:
    case GUNS_JUMP_SIDE_L_ANI:
    case GUNS_JUMP_SIDE_R_ANI:
        followOn();
        jumpframe = frame;
        jumptime = now;
        return -1;
    case PED_CHASE_TACKLE_INAIR_ANI:
    case PED_JUMP_LAND_FALLING_HIGH_ANI:
    case STEALTH_JUMP_INAIR_ANI:
    case GUNS_JUMP_FWD_INAIR_ANI:
    case GUNS_JUMP_BACK_INAIR_ANI:
    case GUNS_JUMP_SIDE_L_INAIR_ANI:
    case GUNS_JUMP_SIDE_R_INAIR_ANI: flags |= 0x20000; return -1;
    case PED_CHASE_TACKLE_LAND_ANI: BlendToAnim(PED_IDLE_ANI, m); return -1;
    case PED_CHASE_RECOIL_ANI: SetAnim(PED_SPRINT_ANI); return -1;
    case PED_JUMP_AIRBORNE_STANDING_ANI:
    case PED_JUMP_AIRBORNE_RUNNING_ANI:
    case PED_JUMP_AIRBORNE_SPRINTING_ANI:
        BlendToAnim(u16(a - PED_JUMP_AIRBORNE_STANDING_ANI + PED_JUMP_FALLING_STANDING_ANI), m);
        return -1;
    case PED_JUMP_LAND_STANDING_ANI:
    case GUNS_JUMP_FWD_LAND_ANI:
    case GUNS_JUMP_BACK_LAND_ANI:
    case GUNS_JUMP_SIDE_L_LAND_ANI:
    case GUNS_JUMP_SIDE_R_LAND_ANI:
    case GUNS_IDLE_BLOWSMOKE_ANI: BlendToAnim(idle2, m); return -1;
    case PED_JUMP_LAND_RUNNING_ANI:
        SetAnim(PED_RUN_ANI);
        speed = 1.0f;
        return -1;
    case PED_JUMP_LAND_SPRINTING_ANI:
        SetAnim(PED_SPRINT_ANI);
        speed = 1.0f;
        return -1;
    case PED_JUMP_LAND_FALLING_ANI: SetAnim(PED_IDLE_ANI); return -1;
    case PED_SPRINT_JUMPCAR_LAND_L_ANI:
    case PED_SPRINT_JUMPCAR_LAND_R_ANI:
        BlendToAnim(mode == DACEMODE_GUNS ? (Interior() ? GUNS_RUN_INTERIOR_ANI : GUNS_RUN_EXTERIOR_ANI) : PED_RUN_ANI, 10);
        return -1;
    case PED_WARN_PHYSICAL_ANI:
        if (mode == DACEMODE_FISTS || combatuntilidleloop)
            BlendToAnim(COMBAT_IDLE_ANI, 5);
        else
            BlendToAnim(PED_IDLE_ANI, 30);
        return -1;
    case PED_WARN_GUN_ASSUME_ANI: {
        ShotIntoTheAir();
        AcquirePrimaryShootTarget(false, 0);
        if (target != nullptr)
            BlendToAnim(GUNS_IDLE_FIRE_ANI, 10);
        else
            BlendToAnim(PED_WARN_GUN_IDLE_ANI, m);
        SendEvent(SMSG_EV_PLAYER_SHOTS_B, gameeventobj);
        SendEvent(SMSG_EV_PLAYER_64, gameeventobj);
        return -1;
    }
    case PED_WARN_GUN_IDLE_ANI: {
        if (FiredLessThanAgo(leftgunarm, 30) || FiredLessThanAgo(rightgunarm, 30))
            return 0;
        rightgunarm.HolsterGun();
        rightgunarm.Reload();
        SetAnim(PED_WARN_GUN_REVERT_ANI);
        return -1;
    }
    case PED_WARN_GUN_REVERT_ANI:
        if (mode == DACEMODE_STEALTH)
            BlendToAnim(STEALTH_IDLE_ANI, 10);
        else
            SetAnim(PED_IDLE_ANI);
        return -1;
    case PED_ARREST_ANI:
        turnBy(1.20428f);
        if (mode == DACEMODE_GUNS)
            BlendToAnim(GUNS_IDLE_FIRE_ANI, 5);
        else if (mode == DACEMODE_FISTS)
            BlendToAnim(COMBAT_IDLE_ANI, 5);
        else
            SetAnim(PED_IDLE_ANI);
        arrestguy = nullptr;
        grappleframe = UnsetFrame;
        return -1;
    case PED_ARREST_START_ANI: {
        face(arrestguy);
        SetAnim(PED_ARREST_PAD_DOWN_ANI);
        DaceVO.Play(Ask(arrestguy, SMSG_QUERY_FEMALE, nullptr) != 0 ? VO_InspectFemale : VO_InspectMale, 0);
        return -1;
    }
    case PED_ARREST_PAD_DOWN_ANI: {
        if (Object* s = FindSubObject(kFootNode)) {
            const Matrix l = LookAlong(VectorDir(0.0f, 0.0f, 1.0f));
            s->mat.x = l.x;
            s->mat.y = l.y;
            s->mat.z = l.z;
        }
        const bool female = Ask(arrestguy, SMSG_QUERY_FEMALE, nullptr) != 0;
        const bool arrested = Ask(arrestguy, SMSG_EV_ARREST, this, static_cast<Object*>(arrestguy)) != 0;
        const int vo = arrested ? (female ? VO_ArrestFemale : VO_ArrestMale) : (female ? VO_ReleaseFemale : VO_ReleaseMale);
        SetAnim(arrested ? PED_ARREST_ANI : PED_ARREST_RELEASE_ANI);
        if (DaceVO.GetCurrentType() != vo)
            DaceVO.Play(vo, 0);
        if (!arrested) {
            arrestguy = nullptr;
            grappleframe = UnsetFrame;
        }
        return -1;
    }
    case PED_ARREST_RELEASE_ANI:
        BlendToAnim(PED_IDLE_ANI, 10);
        arrestguy = nullptr;
        grappleframe = UnsetFrame;
        return -1;
    case PED_ARREST_LYINGDOWN_L_ANI:
    case PED_ARREST_LYINGDOWN_R_ANI:
        BlendToAnim(mode == DACEMODE_GUNS ? GUNS_IDLE_FIRE_ANI : mode == DACEMODE_FISTS ? COMBAT_IDLE_ANI : PED_IDLE_ANI, m);
        arrestguy = nullptr;
        grappleframe = UnsetFrame;
        return -1;
    case DETECTIVE_COMMANDEER_ANI:
    case DETECTIVE_QUESTION_ANI:
        Ask(npcsubject, SMSG_PED_SWITCH_MODE_A, nullptr);
        npcsubject = nullptr;
        SetLookMode(NOT_LOOKING);
        BlendToAnim(PED_IDLE_ANI, 10);
        return -1;
    case COMBAT_IDLE_ANI: {
        if (mode != DACEMODE_FISTS) {
            if (!combatuntilidleloop)
                return 0;
            BlendToAnim(PED_IDLE_ANI, 30);
            combatuntilidleloop = false;
            mode = DACEMODE_ONFOOT;
            return -1;
        }
        if (combatuntilidleloop) {
            const bool busy = now - hitbyattacktime <= 300 || now - attacktime <= 300;
            if (!busy) {
                Object* n = FindNearestObject(GetWorldPos(), 1, 0xD0000000);
                if (n == nullptr || VectorDir(n->GetWorldPos() - GetWorldPos()).LengthSq() > CombatVicinity * CombatVicinity) {
                    BlendToAnim(PED_IDLE_ANI, 30);
                    combatuntilidleloop = false;
                    if (task < Task_Defeat)
                        SwitchToOnFootPedestrianMode();
                    return -1;
                }
            }
        }
        if (!facemode || target == nullptr)
            return 0;
        const VectorDir d(NodePosOf(target, kHeadNode) - NodePosOf(this, kHeadNode));
        const float dist = std::sqrt(d[0] * d[0] + d[2] * d[2]);
        const bool open = finishingstartcount != Never;
        if (dist < AttackRingOuter) {
            if (!open && int(static_cast<long long>(rand()) * 3 / 0x80000000LL) == 0) {
                BlendToAnim(COMBAT_IDLE_FAKEATTACK_ANI, m);
                return -1;
            }
            return 0;
        }
        if (dist > CombatVicinity && !open && int(static_cast<long long>(rand()) * 3 / 0x80000000LL) == 0) {
            BlendToAnim(COMBAT_IDLE_STRETCH_ANI, m);
            return -1;
        }
        return 0;
    }
    case COMBAT_IDLE_ENTER_FIGHT_ANI:
    case COMBAT_IDLE_BEGIN_FIGHT_ANI: BlendToAnim(COMBAT_IDLE_ANI, 10); return -1;
    case COMBAT_RUN_FWD_ANI:
        if (numloops >= 2 && !Interior() && !facemode) {
            BlendToAnim(PED_SPRINT_ANI, 5);
            return -1;
        }
        return 0;
    case COMBAT_GRAPPLED_ANI:
        if (strength > 0.0f)
            turnBy(GrappledTurn(grapplebankoverride, grappleindexoverride));
        else
            SendEvent(SMSG_EV_PLAYER_BLOW_LANDED, gameeventobj);
        return gettingUp();
    case COMBAT_GRAPPLE_BROKEN_1_ANI:
    case COMBAT_GRAPPLE_BROKEN_2_ANI: BlendToAnim(COMBAT_IDLE_ANI, 5); return -1;
    case COMBAT_KNOCKDOWN_ANI:
        jumpframe = frame;
        jumptime = now;
        SetAnim(follow);
        return 0;
    case COMBAT_KNOCKDOWN_LAND_ANI: return gettingUp();
    case STEALTH_IDLE_ANI:
        if (randf() < 0.2f) {
            BlendToAnim((rand() & 1) ? STEALTH_IDLE_CROUCH_ANI : STEALTH_IDLE_LOOKAROUND_ANI, m);
            return -1;
        }
        return 0;
    case STEALTH_IDLE_CROUCH_ANI:
    case STEALTH_IDLE_LOOKAROUND_ANI:
    case STEALTH_JUMP_LAND_ANI: BlendToAnim(STEALTH_IDLE_ANI, m); return -1;
    case STEALTH_GRAPPLE_DISARM_BACK_ANI: SetAnim(STEALTH_GRAPPLE_DISARM_IDLE_ANI); return -1;
    case STEALTH_GRAPPLE_DISARM_FINISH_ANI:
        if (attackbuffer == ATTACK_GRAPPLE) {
            SetAnim(STEALTH_GRAPPLE_DISARM_IDLE_ANI);
            return -1;
        }
        SetAnim(STEALTH_GRAPPLE_DISARM_DROP_ANI);
        Ask(target, SMSG_RELEASED, this);
        attackbuffer = ATTACK_NONE;
        return -1;
    case STEALTH_GRAPPLE_DISARM_DROP_ANI:
        turnBy(kPi);
        [[fallthrough]];
    case STEALTH_GRAPPLE_DISARM_K_FINISH_ANI:
    case STEALTH_GRAPPLE_DISARM_P_FINISH_ANI:
        DaceVO.Play(VO_InfiltrateTakedown, 0);
        grappleframe = UnsetFrame;
        SetAnim(STEALTH_IDLE_ANI);
        target = nullptr;
        return -1;
    case GUNS_IDLE_ANI:
    case GUNS_IDLE_2_ANI: {
        if (a == GUNS_IDLE_ANI && shootmode == SHOOT_PRECISION)
            return 0;
        const bool fired300 = FiredLessThanAgo(leftgunarm, 300) || FiredLessThanAgo(rightgunarm, 300);
        if (task <= Task_Defeat && !fired300) {
            BlendToAnim(GUNS_IDLE_PUTAWAY_ANI, 10);
            target = nullptr;
            return -1;
        }
        if (facemode && !FiredLessThanAgo(leftgunarm, 60) && !FiredLessThanAgo(rightgunarm, 60)) {
            facemode = false;
            SetShootMode(SHOOT_NONE);
            exclusiveshots = 0;
        }
        if (a == GUNS_IDLE_2_ANI) {
            BlendToAnim(GUNS_IDLE_ANI, 5);
            return -1;
        }
        if (facemode)
            return 0;
        if (randf() < 0.2f) {
            BlendToAnim(GUNS_IDLE_2_ANI, m);
            return -1;
        }
        return 0;
    }
    case GUNS_IDLE_RELOAD_ANI:
    case GUNS_PUNCH_ANI:
    case GUNS_KICK_ANI:
    case GUNS_FWALL_RELOAD_ANI:
    case GUNS_HWALL_RELOAD_ANI:
        // The guns put back in his hands show again, full.
        for (Object* g : {lgun, rgun})
            if (g != nullptr)
                g->flags &= ~OBJF_HIDDEN;
        for (GunArm* arm : {&leftgunarm, &rightgunarm})
            if (ArmActive(*arm))
                arm->weapon.bulletsLeft = arm->weapon.magSize;
        shootingframe = UnsetFrame;
        SetShootMode(SHOOT_NORMAL);
        BlendToAnim(collidestate == BACK_STATIC_HALF ? GUNS_HWALL_IDLE_ANI : GUNS_IDLE_ANI, m);
        SendEvent(SMSG_EV_PLAYER_65, gameeventobj);
        return 0;
    case GUNS_IDLE_PUTAWAY_ANI:
        for (GunArm* arm : {&leftgunarm, &rightgunarm})
            if (ArmActive(*arm))
                arm->weapon.bulletsLeft = arm->weapon.magSize;
        SetAnim(PED_IDLE_ANI);
        if (task == Task_Defeat)
            SwitchToOnFootCombatMode();
        else if (task < Task_Defeat)
            SwitchToOnFootPedestrianMode();
        return -1;
    case GUNS_IDLE_DRAWGUNS_ANI:
        if (task <= Task_Defeat)
            SwitchToOnFootShootingMode();
        SendEvent(SMSG_EV_PLAYER_64, gameeventobj);
        return 0;
    case GUNS_IDLE_FIRE_ANI:
    case GUNS_FWALL_FIREBACK_L_ANI:
    case GUNS_FWALL_FIREBACK_R_ANI:
        if (shootmode == SHOOT_PRECISION || FiredWithin(leftgunarm, 300) || FiredWithin(rightgunarm, 300))
            return 0;
        BlendToAnim(idle2, m);
        facemode = false;
        SetShootMode(SHOOT_NONE);
        exclusiveshots = 0;
        return -1;
    case GUNS_IDLE_BEGIN_FIRE_ANI:
    case GUNS_IDLE_RESTART_FIRE_ANI:
    case GUNS_HWALL_FIREAHEAD_ASSUME_ANI: BlendToAnim(GUNS_IDLE_FIRE_ANI, m); return -1;
    case GUNS_KILLED_ANI:
    case GUNS_FWALL_KILLED_ANI:
    case GUNS_HWALL_KILLED_ANI:
        SendEvent(SMSG_EV_CHARACTER_DIED, gameeventobj);
        flags |= GUYF_DEAD | 0x20000;
        return -1;
    case GUNS_WALK_ANI:
    case GUNS_RUN_INTERIOR_ANI:
    case GUNS_RUN_EXTERIOR_ANI:
    case GUNS_WALK_FWD_ANI:
    case GUNS_WALK_BACK_ANI:
    case GUNS_WALK_SIDE_L_ANI:
    case GUNS_WALK_SIDE_R_ANI:
    case GUNS_RUN_FWD_ANI:
    case GUNS_RUN_BACK_ANI:
    case GUNS_RUN_SIDE_L_ANI:
    case GUNS_RUN_SIDE_R_ANI:
        if (shootmode == SHOOT_PRECISION || mode == DACEMODE_GUNS || mode == DACEMODE_CINEWALK ||
            FiredWithin(leftgunarm, 60) || FiredWithin(rightgunarm, 60))
            return 0;
        BlendToAnim(speed > SprintThreshold ? PED_SPRINT_ANI : speed > RunThreshold ? PED_RUN_ANI : PED_WALK_ANI, 15);
        facemode = false;
        SetShootMode(SHOOT_NONE);
        return -1;
    case GUNS_GRAPPLE_FINISH_ANI:
    case GUNS_GRAPPLE_IDLE_FIRE_ANI:
    case GUNS_GRAPPLE_WALK_BACK_ANI:
    case GUNS_GRAPPLE_WALK_FWD_ANI:
    case GUNS_GRAPPLE_WALK_SIDE_L_ANI:
    case GUNS_GRAPPLE_WALK_SIDE_R_ANI: SetAnim(GUNS_GRAPPLE_IDLE_ANI); return -1;
    case GUNS_FWALL_FIREAHEAD_ANI:
        if (FiredWithin(leftgunarm, 60) || FiredWithin(rightgunarm, 60))
            return 0;
        BlendToAnim((rand() & 1) ? GUNS_FWALL_IDLE_L_ANI : GUNS_FWALL_IDLE_R_ANI, m);
        return -1;
    case GUNS_FWALL_BEGIN_FIREBACK_L_ANI:
    case GUNS_FWALL_BEGIN_FIREBACK_R_ANI:
        turnBy(kPi);
        SetAnim(a == GUNS_FWALL_BEGIN_FIREBACK_L_ANI ? GUNS_FWALL_FIREBACK_L_ANI : GUNS_FWALL_FIREBACK_R_ANI);
        facemode = true;
        SetShootMode(SHOOT_NORMAL);
        return -1;
    case GUNS_FWALL_FIREBACK_RETURN_L_ANI:
    case GUNS_FWALL_FIREBACK_RETURN_R_ANI:
        mat = backmat;
        collidestate = BACK_STATIC_FULL;
        SetAnim(a == GUNS_FWALL_FIREBACK_RETURN_L_ANI ? GUNS_FWALL_IDLE_L_ANI : GUNS_FWALL_IDLE_R_ANI);
        return -1;
    case GUNS_HWALL_FIREAHEAD_REVERT_ANI:
        if (FiredWithin(leftgunarm, 60) || FiredWithin(rightgunarm, 60))
            return 0;
        BlendToAnim(GUNS_HWALL_IDLE_ANI, m);
        return -1;
    case GUNS_HWALL_BEGIN_FIREBACK_L_ANI:
    case GUNS_HWALL_BEGIN_FIREBACK_R_ANI:
        turnBy(a == GUNS_HWALL_BEGIN_FIREBACK_L_ANI ? -2.35619f : 2.35619f);
        BlendToAnim(GUNS_HWALL_FIREAHEAD_ASSUME_ANI, 10);
        collidestate = FREE;
        return -1;
    case GUNS_HWALL_FIREBACK_RETURN_L_ANI:
    case GUNS_HWALL_FIREBACK_RETURN_R_ANI:
        mat = backmat;
        collidestate = BACK_STATIC_HALF;
        SetAnim(GUNS_HWALL_IDLE_ANI);
        return -1;
    case GUNS_GRAPPLE_RELEASE_ANI:
        turnBy(kPi);
        SetAnim(GUNS_IDLE_ANI);
        return -1;
    case GUNS_JUMP_FWD_SPIN_ANI:
        SetAnim(GUNS_JUMP_BACK_INAIR_ANI);
        turnBy(kPi);
        jumpframe = frame;
        jumptime = now;
        return -1;
    default: break;
    }
    if (follow != 0) {
        followOn();
        return -1;
    }
    return 0;
}
