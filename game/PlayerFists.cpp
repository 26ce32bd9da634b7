// The player's fist fight: the attack buttons started as blows from the
// stance or buffered for the combo, the finishing window in which a typed
// sequence picks a finishing move, the steps of the fighting stance, and the
// guns he shows on foot.
#include "game/Player.h"

#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"

using namespace pedanim;

namespace {

constexpr u32 kAttackPressed = 0x00F00000;
constexpr u32 kAttackBits = 0x07800000;
constexpr int SMSG_PLAYER_ATTACKING = 96;
constexpr int SMSG_FINISHER_BROKEN = 98;
// Vertical blanks of the finishing window: keys are ignored before the
// first, the move starts at the second.
constexpr u32 kFinishKeysFrom = 30;
constexpr u32 kFinishStartsAt = 90;
constexpr int kSoundFinishKeyEven = 4;
constexpr int kSoundFinishKeyOdd = 5;
constexpr int kSoundFinisher = 7;
constexpr int kSoundNoFinisher = 8;
// One semitone and its multiples: the finishing keys rise in pairs.
constexpr float kKeyPitch[4] = {1.0f, 1.09096f, 1.18921f, 1.29738f};
constexpr u32 kBlockLockout = 37;

enum : u32
{
    kAbilityRunning = 0x001,
    kAbilityBack = 0x002,
    kAbilityGround = 0x004,
    kAbilityGrapple = 0x008,
};

u32 Abilities() { return g_pgcTest != nullptr ? g_pgcTest->stats.fightAbility : 0; }

bool NoAttackStarts(u16 a)
{
    return Grappled(a) || In(a, COMBAT_RECOIL_LOW_L_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI) || GunRecoil(a) ||
           In(a, PED_CHASE_TACKLE_ANI, PED_CHASE_TACKLE_LAND_ANI) ||
           (In(a, PED_JUMP_TAKEOFF_STANDING_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI) && a != PED_JUMP_LAND_WALKING_ANI) ||
           In(a, STEALTH_JUMP_ANI, STEALTH_JUMP_LAND_ANI) || In(a, GUNS_JUMP_FWD_ANI, GUNS_DIVE_SIDE_R_ANI);
}

void PlayComb(int sample, float pitch)
{
    const int ch = sound.AllocChannel(false);
    if (ch < 0)
        return;
    sound.SetPitch(ch, pitch, 0.0f);
    sound.Play(ch, sndbank_comb, u16(sample));
}

}  // namespace

void Dace::CombatPerformAttacks(PlayerController& c)
{
    const bool pressed = (c.pad & kAttackPressed) != 0;
    const u32 now = u32(world.time);
    auto face = [&]() {
        if (target != nullptr && !facemode &&
            VectorDir(target->GetRoot()->GetWorldPos() - GetWorldPos()).LengthSq() < AttackRingOuter * AttackRingOuter)
            facemode = true;
    };

    if (curattack != &attackbase || In(mode2, COMBAT_LYINGDOWN_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI)) {
        attacktime = now;
        if (pressed) {
            AcquireFightTarget(true);
            if (target != nullptr && mode != DACEMODE_FISTS)
                SwitchToMode(DACEMODE_FISTS, false);
            attackbuffer = GetAttackType(c);
        }
        face();
        return;
    }

    if (finishingstartcount != Never) {
        const u32 count = world.GetRealtimeCount();
        if (count < finishingstartcount)
            finishingstartcount = count;
        const u32 elapsed = count - finishingstartcount;
        if (elapsed >= kFinishStartsAt) {
            StartCombatFinishingAttack();
            BreakFinishing();
            PlayComb(In(mode2, COMBAT_FINISH_PUNCH_ANI, COMBAT_FINISH_JUMPKICK_ANI) ? kSoundFinisher : kSoundNoFinisher, 1.0f);
            return;
        }
        if (elapsed < kFinishKeysFrom || target == nullptr || !pressed)
            return;
        int slot = 0;
        while (slot < 8 && finishingbuffer[slot] != ATTACK_NONE)
            slot++;
        if (slot == 8)
            return;
        const AttackType k = GetAttackType(c);
        PlayComb((slot & 1) ? kSoundFinishKeyOdd : kSoundFinishKeyEven, kKeyPitch[slot / 2]);
        if (k == ATTACK_PUNCH || k == ATTACK_KICK || k == ATTACK_HIGHATTACK)
            finishingbuffer[slot] = k;
        return;
    }

    if (NoAttackStarts(mode2))
        return;
    if (curattackblock != -1 && now - u32(curattackblock) < kBlockLockout)
        return;
    if (!pressed)
        return;
    AcquireFightTarget(true);
    if (target != nullptr && mode != DACEMODE_FISTS)
        SwitchToMode(DACEMODE_FISTS, false);
    StartCombatAttack(GetAttackType(c), false);
    face();
}

void Dace::StartCombatAttack(int attacktype, bool finishing)
{
    const AttackType type = AttackType(attacktype);
    if (finishing) {
        StartFinishingAttack(FinishingAttackType(attacktype));
    } else {
        const u32 ab = Abilities();
        VectorDir to(0.0f, 0.0f, 0.0f);
        if (target != nullptr)
            to = VectorDir(target->GetRoot()->GetWorldPos() - GetWorldPos());
        const float d2 = to.LengthSq();
        const bool behind = target != nullptr && d2 > 0.0f && Dot(VectorDir(mat.z.xyz()), Normalise(to)) < -0.707f;
        if ((ab & kAbilityBack) && target != nullptr && d2 < CombatVicinity * CombatVicinity && behind) {
            StartBackAttack(type);
        } else if ((ab & kAbilityRunning) && mode2 == COMBAT_RUN_FWD_ANI &&
                   !(blendAnim != nullptr && (blendAnim->flags & 0x10)) && speed > 0.75f) {
            StartRunningAttack(type);
        } else if ((ab & kAbilityGround) && target != nullptr && d2 < AttackRingOuter * AttackRingOuter &&
                   (type == ATTACK_PUNCH || type == ATTACK_KICK || type == ATTACK_HIGHATTACK) &&
                   SendEvent(SMSG_PLAYER_ATTACKING, target) > 0) {
            StartLyingDownAttack(type);
        } else if (type == ATTACK_GRAPPLE && !(ab & kAbilityGrapple)) {
            // No grapples yet: the stance goes on.
        } else {
            StartAttack(type);
        }
    }
    if (gameeventobj != nullptr)
        SendEvent(SMSG_EV_PLAYER_COMBAT, gameeventobj);
    BlendToAnim(u16(curattack->anim), curattack->style == AttackInfo::STYLE_FINISHING ? 8 : 5);
    flags &= ~kAttackBits;
    curattackhit = curattackblock = -1;
    flags |= curattack->GetFlags();
    attackbuffer = ATTACK_NONE;
}

bool Dace::ChainCombatAttack(int blendamount)
{
    if (!ChainAttack(attackbuffer, blendamount))
        return false;
    attackbuffer = ATTACK_NONE;
    return true;
}

void Dace::StartCombatFinishingAttack()
{
    finishingbuffermatchindex = -1;
    finishingbuffermatchlen = 0;
    const AttackType* k = finishingbuffer;
    if (k[0] == ATTACK_NONE)
        return;
    struct Line
    {
        AttackType a, b, c, d;
        FinishingAttackType two, three, four;
        u32 need3, need4;
    };
    static const Line lines[] = {
        {ATTACK_KICK, ATTACK_HIGHATTACK, ATTACK_KICK, ATTACK_HIGHATTACK, FINISH_KICK, FINISH_LOWLEGSWEEP, FINISH_DROPKICK,
         0x010, 0x080},
        {ATTACK_PUNCH, ATTACK_KICK, ATTACK_HIGHATTACK, ATTACK_PUNCH, FINISH_PUNCH, FINISH_SPINUPPERCUT, FINISH_DOUBLEFIST,
         0x020, 0x100},
        {ATTACK_HIGHATTACK, ATTACK_PUNCH, ATTACK_KICK, ATTACK_HIGHATTACK, FINISH_JUMPKICK, FINISH_SPINJUMPK,
         FINISH_WINDMILLKICK, 0x040, 0x200},
    };
    const u32 ab = Abilities();
    for (int i = 0; i <= 6 && k[i] != ATTACK_NONE; i++) {
        for (const Line& l : lines) {
            if (k[i] != l.a || k[i + 1] != l.b)
                continue;
            FinishingAttackType move = l.two;
            int len = 2;
            if (i <= 5 && k[i + 2] == l.c && (ab & l.need3)) {
                move = l.three;
                len = 3;
                if (i <= 4 && k[i + 3] == l.d && (ab & l.need4)) {
                    move = l.four;
                    len = 4;
                }
            }
            finishingbuffermatchindex = s16(i);
            finishingbuffermatchlen = s16(len);
            StartCombatAttack(move, true);
            return;
        }
    }
    if (k[0] == ATTACK_PUNCH || k[0] == ATTACK_KICK || k[0] == ATTACK_HIGHATTACK)
        StartCombatAttack(k[0], false);
}

void Dace::BreakFinishing()
{
    if (finishingstartcount == Never)
        return;
    if (target != nullptr)
        SendEvent(SMSG_FINISHER_BROKEN, target, In(mode2, COMBAT_FINISH_PUNCH_ANI, COMBAT_FINISH_JUMPKICK_ANI) ? 1 : 0);
    finishingstartcount = Never;
}

void Dace::WalkTo_Combat(VectorDir dir, float turnspeed)
{
    const VectorDir local(Dot(dir, VectorDir(mat.x.xyz())), Dot(dir, VectorDir(mat.y.xyz())), Dot(dir, VectorDir(mat.z.xyz())));
    if (target != nullptr && !In(mode2, COMBAT_RUNNING_P_ANI, COMBAT_RUNNING_H_ANI)) {
        VectorDir u(target->GetRoot()->GetWorldPos() - GetWorldPos());
        u = VectorDir(u[0], 0.0f, u[2]);
        if (u.LengthSq() > 0.0f)
            TurnToward(Normalise(u), turnspeed * world.playbackSpeed);
    }
    Camera* k = cam;
    if (speed != 0.0f) {
        const float a = (local[0] == 0.0f && local[2] == 0.0f) ? 0.0f : Heading(local);
        const u16 cur = mode2;
        u16 want;
        if (a < -2.53073f)
            want = COMBAT_MOVE_BACK_ANI;
        else if (a < -2.18166f)
            want = cur == COMBAT_MOVE_BACK_ANI ? COMBAT_MOVE_BACK_ANI : COMBAT_MOVE_LEFT_ANI;
        else if (a < -0.959931f)
            want = COMBAT_MOVE_LEFT_ANI;
        else if (a < -0.610865f)
            want = cur == COMBAT_MOVE_LEFT_ANI ? COMBAT_MOVE_LEFT_ANI : COMBAT_MOVE_FWD_ANI;
        else if (a < 0.610865f)
            want = COMBAT_MOVE_FWD_ANI;
        else if (a < 0.959931f)
            want = cur == COMBAT_MOVE_FWD_ANI ? COMBAT_MOVE_FWD_ANI : COMBAT_MOVE_RIGHT_ANI;
        else if (a < 2.18166f)
            want = COMBAT_MOVE_RIGHT_ANI;
        else if (a < 2.53073f)
            want = cur == COMBAT_MOVE_RIGHT_ANI ? COMBAT_MOVE_RIGHT_ANI : COMBAT_MOVE_BACK_ANI;
        else
            want = COMBAT_MOVE_BACK_ANI;
        facemodemovedir = (want == COMBAT_MOVE_FWD_ANI || want == COMBAT_MOVE_BACK_ANI) ? VectorDir(local[0], 0.0f, 0.0f)
                                                                                        : VectorDir(0.0f, 0.0f, local[2]);
        if (want != cur) {
            const bool reverse = (cur == COMBAT_MOVE_BACK_ANI && want == COMBAT_MOVE_FWD_ANI) ||
                                 (cur == COMBAT_MOVE_FWD_ANI && want == COMBAT_MOVE_BACK_ANI) ||
                                 (cur == COMBAT_MOVE_LEFT_ANI && want == COMBAT_MOVE_RIGHT_ANI) ||
                                 (cur == COMBAT_MOVE_RIGHT_ANI && want == COMBAT_MOVE_LEFT_ANI);
            BlendToAnim(want, reverse ? 15 : 5);
        }
        if (blendAnim != nullptr && blendAnim->nextAnim != nullptr)
            blendAnim->nextAnim->flags |= 0x40;
        idle = 0;
        if (k != nullptr) {
            const VectorDir g = VectorDir(k->dir[0], 0.0f, k->dir[2]) + VectorDir(0.0f, 0.3f, 0.0f);
            k->dirgoal = Normalise(g);
        }
    } else if (k != nullptr) {
        k->diranggoal = Dot(k->dir, VectorDir(mat.x.xyz())) > 0.0f ? 1.5707963f : -1.5707963f;
        k->distgoal = Camera::CombatDistanceGoal;
        if (target != nullptr) {
            const VectorDir t(target->GetWorldPos() - GetWorldPos());
            const VectorDir tl(Dot(t, VectorDir(mat.x.xyz())), Dot(t, VectorDir(mat.y.xyz())), Dot(t, VectorDir(mat.z.xyz())));
            k->relpos = VectorPos(0.0f, -0.46875f, 0.0f);
            k->relposgoal = VectorPos(0.0f, -0.46875f, 0.0f) + tl * 0.5f;
        }
        k->lookstep += (Camera::LookAtStep - k->lookstep) * 0.0625f;
        if (std::fabs(lookvely) > 0.001f) {
            lookvely -= lookvely * Camera::LookVelYStep;
            VectorDir d = k->dir + (VectorDir(0.0f, lookvely, 0.0f) ^ k->dir);
            d = Normalise(d);
            d = VectorDir(d[0], 0.0f, d[2]);
            if (d.LengthSq() > 0.0f)
                d = Normalise(d) * (1.0f - k->diry);
            d = VectorDir(d[0], k->diry, d[2]);
            k->dir = d;
            k->diranggoal = k->GetDirAngle(k->dir);
            usercam = true;
        }
    }
    if (k != nullptr) {
        k->angxgoal = Camera::CombatAngleX;
        k->distgoal = Camera::CombatDistanceGoal;
    }
}

void Dace::InitGunsPedestrian()
{
    for (GunArm* arm : {&rightgunarm, &leftgunarm}) {
        if (mode != DACEMODE_GUNS)
            arm->DisarmGun();
        else
            arm->ArmGun();
    }
    auto show = [](Object* gun, const GunArm& arm) {
        if (gun == nullptr)
            return;
        if (arm.ModeIs(GunArm::UNARMED) || arm.ModeIs(GunArm::CARRYING_TO_UNARMED))
            gun->flags |= 1u;
        else
            gun->flags &= ~1u;
    };
    show(rgun, rightgunarm);
    show(lgun, leftgunarm);
}
