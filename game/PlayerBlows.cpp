// Blows the player takes on foot: blocked or landed, the damage the
// attacker names, the recoil or knock-down, the sounds and sparks, the fight
// events, and the daze counter the enemy fighters read.
#include "game/Player.h"

#include <algorithm>

#include "ZevEngine2/World.h"
#include "game/BadGuy.h"
#include "game/GameFlow.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"

using namespace pedanim;

namespace {

constexpr u32 kLowBit = 0x00800000;
constexpr u32 kMidBit = 0x01000000;
constexpr u32 kFinishingBit = 0x02000000;
constexpr int SMSG_EV_PLAYER_BLOW_LANDED = 23003;
constexpr int SMSG_PLAYER_ATTACKING = 96;
constexpr u32 kDazeFrames = 121;
// A hit this far above his origin (y points down) is a high one.
constexpr float kHighHit = -0.421875f;
// A semitone down: the knock-down thud.
constexpr float kKnockdownPitch = 0.8409f;

bool Odd() { return (rand() & 1) != 0; }

}  // namespace

int Dace::CalculateBlockAni(unsigned int f)
{
    if (f & kLowBit)
        return COMBAT_BLOCK_LOW_ANI;
    if ((f & kMidBit) && Odd())
        return COMBAT_BLOCK_LOW_ANI;
    return Odd() ? COMBAT_BLOCK_HIGH_ANI : COMBAT_BLOCK_HIGH_2_ANI;
}

int Dace::CalculateRecoilAni(VectorPos localpt) { return localpt[1] < kHighHit ? COMBAT_RECOIL_HIGH_ANI : COMBAT_RECOIL_LOW_ANI; }

int Dace::CalculateBackRecoilAni(VectorPos localpt)
{
    return localpt[1] < kHighHit ? COMBAT_RECOIL_BACK_HIGH_ANI : COMBAT_RECOIL_BACK_LOW_ANI;
}

int Dace::CalculateKnockdownAni(VectorPos) { return COMBAT_KNOCKDOWN_ANI; }

int Dace::Collision_Pedestrian_Blow(CollisionRecord* cr)
{
    Object* attacker = cr->HitObj();
    const VectorPos point = cr->Point();
    const VectorDir rel(point - GetWorldPos());
    const VectorPos localpt(Dot(rel, VectorDir(mat.x.xyz())), Dot(rel, VectorDir(mat.y.xyz())), Dot(rel, VectorDir(mat.z.xyz())));
    const bool front = localpt[2] >= 0.0f;
    const u32 now = u32(world.time);
    const u32 previous = hitbyattacktime;
    hitbyattacktime = now;
    hitbyattackguy = attacker;

    if (target != nullptr && attacker == static_cast<Object*>(target) && HasEnemyHandler(attacker) &&
        (SendEvent(SMSG_PLAYER_ATTACKING, target) != 0 || SendEvent(SMSG_Q_MELEE, target) != 0))
        return -1;

    const u16 a = mode2;
    const bool blocking = In(a, COMBAT_BLOCK_LOW_ANI, COMBAT_BLOCK_HIGH_2_ANI);
    const bool busy = In(a, COMBAT_BACK_H_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI) || Grappled(a) ||
                      In(a, COMBAT_RECOIL_LOW_L_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI);
    const u32 aflags = attacker->flags;
    if (front && (blocking || a == COMBAT_MOVE_BACK_ANI || (!busy && lastrelativecontrollerdir[2] < 0.0f))) {
        BreakFinishing();
        if (!(blocking && previous != Never && now - previous < 6)) {
            BlendToAnim(u16(CalculateBlockAni(aflags)), 6);
            PlayCombatSfx(Odd() ? 1 : 0, point, 1.0f);
        }
        if (gameeventobj != nullptr)
            SendEvent(SMSG_EV_ATTACK_BLOCKED, gameeventobj);
        SendEvent(SMSG_EV_ATTACK_BLOCKED, attacker);
        if (strength > 1.0f)
            TakeFightingDamage(0.5f);
        return -1;
    }
    if (front && blocking)
        return -1;

    SpecialMessage q(SMSG_Q_COLLISION, nullptr);
    q.param[0].p = cr;
    const int damage = attacker->SendMessage(OM_SPECIAL, &q);

    const bool finishing = (aflags & kFinishingBit) != 0;
    const bool down = In(a, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_LAND_ANI);
    if (!down) {
        if (finishing) {
            dazedstarttime = Never;
            curhitstodaze = totalhitstodaze;
        } else {
            if (curhitstodaze != 0)
                curhitstodaze--;
            if (curhitstodaze == 0) {
                dazedstarttime = now;
                SendEvent(SMSG_EV_HIT_UNBLOCKED, gameeventobj);
            }
        }
    }
    BreakFinishing();
    TakeFightingDamage(float(damage));

    if (cr->GetInfo())
        SmokePuff_Spawn(point, 0.03125f);
    auto r = [](int n) { return int(static_cast<long long>(rand()) * n / 0x80000000LL); };
    if (finishing)
        FinishSpray_SpawnCluster(30 + r(11), point);
    else
        Sweat_SpawnCluster(10 + r(7), point, VectorDir(0.0f, 0.0f, 0.0f));
    if (g_pgcTest != nullptr)
        g_pgcTest->ScreenFlash(strength <= 0.0f ? 90.0f : 18.0f, Colour(0x80, 0x80, 0x80, 0x80));

    if (!down) {
        if (finishing || strength <= 0.0f) {
            SendEvent(SMSG_EV_PLAYER_BLOW_LANDED, gameeventobj);
            BlendToAnim(u16(CalculateKnockdownAni(localpt)), 3);
            airvelocity = VectorDir(0.0f, 0.000232833f, 0.006985f);
            PlayCombatSfx(17, point, kKnockdownPitch);
        } else {
            const u16 anim = u16(front ? CalculateRecoilAni(localpt) : CalculateBackRecoilAni(localpt));
            if (anim == mode2)
                SetAnim(anim, -1, -1);
            else
                BlendToAnim(anim, 3);
            if (target == nullptr) {
                target = GetLoneEnemyInRadius(AttackRingOuter);
                facemode = true;
            }
            const bool high = mode2 == COMBAT_RECOIL_HIGH_ANI || mode2 == COMBAT_RECOIL_BACK_HIGH_ANI;
            int n;
            if (damage >= 3)
                n = high ? 13 : 9;
            else if (damage == 2)
                n = high ? (Odd() ? 15 : 13) : (Odd() ? 9 : 11);
            else
                n = high ? 15 : 11;
            PlayCombatSfx(n + (Odd() ? 0 : 1), point, 1.0f);
        }
    }
    if (gameeventobj != nullptr)
        SendEvent(SMSG_EV_ATTACK_HIT, gameeventobj);
    SendEvent(SMSG_EV_ATTACK_HIT, attacker);
    return -1;
}

void Dace::UpdateDazeState()
{
    const u32 now = u32(world.time);
    auto refill = [&]() {
        curhitstodaze = s16(std::min<int>(curhitstodaze + 1, totalhitstodaze));
        dazecountertime = curhitstodaze >= totalhitstodaze ? Never : now;
    };
    if (dazedstarttime != Never) {
        if (now - dazedstarttime >= kDazeFrames) {
            dazedstarttime = Never;
            curhitstodaze = totalhitstodaze;
        }
    } else if (hitbyattacktime != Never) {
        if (now - hitbyattacktime >= kDazeFrames) {
            hitbyattacktime = Never;
            refill();
        }
    } else if (dazecountertime != Never) {
        if (now - dazecountertime >= kDazeFrames)
            refill();
    }
}
