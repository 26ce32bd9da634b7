// A fleeing runner's glances over its shoulder, its shots back at the
// pursuer, its duck for cover, its jump out of the way of the player's car
// and the speed sample that tells whether it slips.
#include "game/BadGuyRunnerShared.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Utilities.h"
#include "game/Vehicle.h"

using namespace runner;

namespace {

bool IsLookBackAni(u16 a) { return a == +BA::SPRINT_LOOKBACK_ANI || a == +BA::WALK_LOOKBACK_ANI; }
bool IsFireBackAni(u16 a) { return a == +BA::SPRINT_FIREBACK_L_ANI || a == +BA::SPRINT_FIREBACK_R_ANI; }

// Whether the ray from `from` toward `to` stopped `margin` short first meets
// something of `target`'s hierarchy: 1 the target, 0 nothing, -1 something else.
int RayMeets(VectorPos from, VectorPos to, float margin, Object* target, Object* self)
{
    const VectorDir d = to - from;
    const float len = Length(d);
    if (len <= margin)
        return 0;
    const VectorPos end = from + d * ((len - margin) / len);
    VectorPos hit;
    VectorDir n;
    Object* o = world.CheckRay(from, end, &hit, &n, self, nullptr, 0xFF00);
    if (o == nullptr)
        return 0;
    return o->GetRoot() == target ? 1 : -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Look-back

void Enemy::BeginLookBack()
{
    if (lastlookbacktime != -1 && world.time - lastlookbacktime < 240)
        return;
    lastlookbacktime = world.time;
    lookbacktargetdist = 0.0f;
    if (!IsLookBackAni(mode2))
        BlendToAnim(movespeed == MOVE_WALK ? +BA::WALK_LOOKBACK_ANI : +BA::SPRINT_LOOKBACK_ANI, 10);
}

void Enemy::LookBack()
{
    lookbacktargetdist = 0.0f;
    if (target == nullptr || target->IsDead())
        return;
    Object* tt = target->FindSubObject(SUB_TORSO);
    const VectorPos aim = tt != nullptr ? tt->GetWorldPos() : target->GetWorldPos();
    Object* from = eye != nullptr ? eye : torso;
    const VectorPos me = from != nullptr ? from->GetWorldPos() : GetWorldPos();
    if (Dist2(aim, GetWorldPos()) >= 3906.25f)
        return;
    // The rays end ever shorter of the torso while they meet the target
    // itself; the first clear one is checked one step longer.
    float m = 0.0625f;
    for (int i = 0; i < 64; i++) {
        const int r = RayMeets(me, aim, m, target, this);
        if (r < 0)
            return;
        if (r == 0) {
            if (RayMeets(me, aim, m - 0.03125f, target, this) > 0)
                lookbacktargetdist = Length(VectorDir(aim - GetWorldPos()));
            return;
        }
        m += 0.03125f;
    }
}

void Enemy::EndLookBack()
{
    if (lookbacktargetdist > 0.0f) {
        if (oblivious) {
            if (gameeventobj != nullptr)
                Send(gameeventobj, SMSG_EV_TARGET_BUSTED, this);
            oblivious = false;
        }
        if (lookbacktargetdist < 12.5f) {
            panic = true;
            Start_Run_Evasion();
        } else {
            Start_Run_Running(MOVE_RUN_FAST);
        }
        return;
    }
    int gait = MOVE_RUN_FAST;
    if (pursuitserioustime != -1 && world.time < pursuitserioustime) {
        switch (movespeed) {
        case MOVE_RUN_SLOW:
        case MOVE_WALK: gait = MOVE_WALK; break;
        case MOVE_RUN_NORMAL: gait = MOVE_RUN_SLOW; break;
        case MOVE_RUN_FAST: gait = MOVE_RUN_NORMAL; break;
        default: gait = MOVE_RUN_FAST; break;
        }
    }
    Start_Run_Running(gait);
    panic = false;
}

// ---------------------------------------------------------------------------
// Fire-back

void Enemy::BeginFireBack()
{
    lastfirebacktime = world.time;
    GunArm& a = rightgunarm;
    if (!a.IsArmed()) {
        if (a.gun == nullptr)
            a.gun = MakeHandGun(this, kGunSlot, 1, 0x8001);
        if (a.mode < GunArm::CARRYING)
            a.mode = GunArm::CARRYING;
    }
    if (!IsFireBackAni(mode2))
        BlendToAnim((rand() & 1) ? +BA::SPRINT_FIREBACK_L_ANI : +BA::SPRINT_FIREBACK_R_ANI, 10);
}

int Enemy::FireBack()
{
    if (target == nullptr)
        return 0;
    GunArm& a = rightgunarm;
    switch (a.mode) {
    case GunArm::JUST_SHOT:
    case GunArm::RECOIL:
    case GunArm::RECOIL_TO_AIM:
    case GunArm::RECOIL_TO_SHOOT:
    case GunArm::RECOIL_TO_QUIT_AIMING:
    case GunArm::DRAWING_TO_SHOOT:
    case GunArm::AIMING_TO_SHOOT:
        return 0;
    default:
        break;
    }
    if (a.weapon.bulletsLeft < 1)
        return 0;
    if (a.mode == GunArm::AIMING || a.mode == GunArm::POST_RECOIL)
        a.mode = GunArm::AIMING_TO_SHOOT;
    else if (a.mode == GunArm::CARRYING || a.mode == GunArm::DRAWING_TO_AIM)
        a.mode = GunArm::DRAWING_TO_SHOOT;
    Send(target, SMSG_SHOT_AT, a.gun);
    return 1;
}

void Enemy::EndFireBack() {}

// ---------------------------------------------------------------------------
// Take-cover

void Enemy::BeginTakeCover()
{
    if (mode2 == +BA::SPRINT_TAKECOVER_ANI)
        return;
    BlendToAnim(+BA::SPRINT_TAKECOVER_ANI, 10);
    numtakecoverloops = 3;
}

void Enemy::TakeCover() {}

void Enemy::EndTakeCover() { Start_Run_Running(movespeed); }

// ---------------------------------------------------------------------------
// The player's car

bool Enemy::WatchForVehicles()
{
    if (!RandomCrimeRunning() || mode == 6 || mode == 14)
        return false;
    Object* player = PlayerObject();
    const VectorPos me = GetWorldPos();
    const VectorDir fwd = Forward(this);
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o->type != OBJT_VEHICLE)
            continue;
        auto* v = static_cast<Vehicle*>(o);
        if (player == nullptr || static_cast<Object*>(v->rcoDriver) != player)
            continue;
        const VectorDir vel = Flat(VectorDir(v->Vel().xyz()));
        const float speed = Length(vel);
        if (speed <= 0.0f)
            continue;
        const VectorDir dir = vel * (1.0f / speed);
        const VectorDir d = Flat(v->GetWorldPos() - me);
        const VectorDir side(-dir[2], 0.0f, dir[0]);
        const bool approaching = Dot(d, dir) < 0.0f;
        const bool facing = Dot(Flat(fwd), dir) < 0.0f;
        const float d2 = Dot(d, d);
        const float along = Dot(d, dir);
        const float off2 = d2 - along * along;
        const bool fast = (d2 < 21.97265625f && speed >= 0.0232833f) || (d2 < 119.62890625f && speed >= 0.06985f);
        if (!fast || !approaching || off2 >= 0.09765625f)
            continue;
        const bool chasedByPlayer = static_cast<Object*>(target) == player && player != nullptr;
        const float chance = chasedByPlayer ? (facing ? 0.2f : 0.15f) : (facing ? 0.15f : 0.1f);
        if (randf() < chance) {
            const float s = Dot(d, side);
            const float f = Dot(fwd, side);
            if (s > 0.0f) {
                divedir = f > 0.0f ? side : -side;
                diveani = f > 0.0f ? +BA::CARTRANS_CAR_JUMP_BACK_ANI : +BA::CARTRANS_CAR_JUMP_FWD_ANI;
            } else {
                divedir = f > 0.0f ? side : -side;
                diveani = f > 0.0f ? +BA::CARTRANS_CAR_JUMP_FWD_ANI : +BA::CARTRANS_CAR_JUMP_BACK_ANI;
            }
            return true;
        }
    }
    return false;
}

void Enemy::SlipAndFall()
{
    const VectorPos p = GetWorldPos();
    if (lastworldtime == 2147483648.0f) {
        lastworldpos = p;
        lastworldtime = float(world.time);
        return;
    }
    if (mode2 != +BA::SPRINT_ANI)
        return;
    const float dt = float(world.time) - lastworldtime;
    if (dt > 0.0f) {
        const float measured = Length(VectorDir(p - lastworldpos)) / dt;
        AnimChar* a = anims != nullptr ? anims[+BA::SPRINT_ANI] : nullptr;
        const float own = a != nullptr ? AnimFileGetSpeed(a) : measured;
        if (std::fabs(measured - own) > 0.025f)
            slipcounter++;
        else
            slipcounter = 0;
    }
    lastworldpos = p;
    lastworldtime = float(world.time);
}
