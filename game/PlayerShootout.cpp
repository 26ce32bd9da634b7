// The player with his guns out: the gun-mode frame, strafing, gun jumps and
// dives with bullet time, reloading, the fire button turned into shots at
// one or two targets (with precision aiming), and bullets that kill him.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Player.h"
#include "game/PlayerAnim.h"
#include "game/ShotEffects.h"
#include "game/reticle.h"

namespace {

// The gun abilities of the game's statistics.
constexpr u32 PRECISION_FIRE = 1, BULLET_TIME = 2, DUAL_TARGET = 4;

constexpr int SMSG_RELEASED = 32;

constexpr float kUnscale = 0.8333333f;   // 1 / 1.2: world speed to relative speed

// Frames a gun he throws away lies on the floor before it goes.
constexpr int kDroppedGunLife = 2000;

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

template <typename... A>
bool OneOf(int v, A... a)
{
    return ((v == int(a)) || ...);
}

u32 Ability() { return g_pgcTest != nullptr ? g_pgcTest->stats.gunAbility : 0; }

bool IsFiring(int a)
{
    return OneOf(a, GUNS_IDLE_FIRE_ANI, GUNS_HWALL_FIREBACK_L_ANI, GUNS_HWALL_FIREBACK_R_ANI, GUNS_FWALL_FIREBACK_L_ANI,
                 GUNS_FWALL_FIREBACK_R_ANI);
}
bool IsFireStart(int a)
{
    return OneOf(a, GUNS_IDLE_BEGIN_FIRE_ANI, GUNS_IDLE_RESTART_FIRE_ANI, GUNS_HWALL_BEGIN_FIREBACK_L_ANI,
                 GUNS_HWALL_BEGIN_FIREBACK_R_ANI, GUNS_FWALL_BEGIN_FIREBACK_L_ANI, GUNS_FWALL_BEGIN_FIREBACK_R_ANI);
}
bool IsGunWalk(int a) { return In(a, GUNS_WALK_FWD_ANI, GUNS_RUN_SIDE_R_ANI); }
bool IsJumpStart(int a)
{
    return OneOf(a, GUNS_JUMP_FWD_ANI, GUNS_JUMP_BACK_ANI, GUNS_JUMP_SIDE_L_ANI, GUNS_JUMP_SIDE_R_ANI,
                 GUNS_JUMP_FWD_SPIN_ANI) ||
           In(a, GUNS_DIVE_BACK_ANI, GUNS_DIVE_SIDE_R_ANI);
}
bool IsInAir(int a)
{
    return OneOf(a, GUNS_JUMP_FWD_INAIR_ANI, GUNS_JUMP_BACK_INAIR_ANI, GUNS_JUMP_SIDE_L_INAIR_ANI,
                 GUNS_JUMP_SIDE_R_INAIR_ANI);
}
bool IsLanding(int a)
{
    return OneOf(a, GUNS_JUMP_FWD_LAND_ANI, GUNS_JUMP_BACK_LAND_ANI, GUNS_JUMP_SIDE_L_LAND_ANI,
                 GUNS_JUMP_SIDE_R_LAND_ANI);
}
bool IsGunJump(int a) { return IsJumpStart(a) || IsInAir(a) || IsLanding(a); }
bool IsAirborne(int a)
{
    return In(a, PED_JUMP_AIRBORNE_STANDING_ANI, PED_JUMP_FALLING_SPRINTING_ANI) || IsInAir(a) ||
           OneOf(a, PED_CHASE_TACKLE_INAIR_ANI, STEALTH_JUMP_INAIR_ANI, PED_SPRINT_JUMPCAR_L_ANI,
                 PED_SPRINT_JUMPCAR_LAND_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_L_ANI, PED_SPRINT_JUMPCAR_R_ANI,
                 PED_SPRINT_JUMPCAR_LAND_R_ANI, PED_SPRINT_JUMPCAR_SLIDE_R_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_L_ANI,
                 PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI, COMBAT_KNOCKDOWN_INAIR_ANI);
}
bool IsTouchingDown(int a)
{
    return OneOf(a, PED_JUMP_LAND_STANDING_ANI, PED_JUMP_LAND_RUNNING_ANI, PED_JUMP_LAND_SPRINTING_ANI,
                 PED_JUMP_LAND_FALLING_ANI, PED_JUMP_LAND_FALLING_HIGH_ANI, PED_CHASE_TACKLE_LAND_ANI,
                 STEALTH_JUMP_LAND_ANI) ||
           IsLanding(a);
}
bool IsAnyJump(int a)
{
    return In(a, PED_JUMP_TAKEOFF_STANDING_ANI, PED_JUMP_LAND_STANDING_ANI) || IsGunJump(a) ||
           In(a, STEALTH_JUMP_ANI, STEALTH_JUMP_LAND_ANI) || In(a, PED_CHASE_TACKLE_ANI, PED_CHASE_TACKLE_LAND_ANI) ||
           IsAirborne(a) || IsTouchingDown(a);
}
bool IsTackle(int a) { return In(a, PED_CHASE_TACKLE_ANI, PED_CHASE_TACKLE_LAND_ANI); }
bool IsGunRecoil(int a)
{
    return In(a, GUNS_IDLE_RECOIL_L_ANI, GUNS_IDLE_RECOIL_LOW_ANI) ||
           OneOf(a, GUNS_HWALL_RECOIL_ANI, GUNS_FWALL_RECOIL_ANI, GUNS_HWALL_FIREBACK_RECOIL_L_ANI,
                 GUNS_HWALL_FIREBACK_RECOIL_R_ANI, GUNS_FWALL_FIREBACK_RECOIL_L_ANI, GUNS_FWALL_FIREBACK_RECOIL_R_ANI);
}
bool IsReloading(int a) { return OneOf(a, GUNS_IDLE_RELOAD_ANI, GUNS_FWALL_RELOAD_ANI, GUNS_HWALL_RELOAD_ANI); }
bool IsArrest(int a) { return In(a, PED_ARREST_ANI, PED_ARREST_LYINGDOWN_R_ANI); }
bool IsShield(int a) { return In(a, GUNS_GRAPPLE_FAIL_ANI, GUNS_GRAPPLE_RELEASE_ANI); }
bool IsShieldHold(int a) { return In(a, GUNS_GRAPPLE_IDLE_ANI, GUNS_GRAPPLE_WALK_SIDE_R_ANI); }
bool IsBlowReceived(int a)
{
    return OneOf(a, COMBAT_GRAPPLED_ANI, COMBAT_GRAPPLE_BROKEN_1_ANI, COMBAT_GRAPPLE_BROKEN_2_ANI) ||
           In(a, COMBAT_FIRST_RECOIL_ANI, COMBAT_LAST_RECOIL_ANI) ||
           In(a, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI);
}
bool IsPaired(int a)
{
    return In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_ANI) ||
           In(a, STEALTH_GRAPPLE_DISARM_START_ANI, STEALTH_GRAPPLE_DISARM_P_FINISH_ANI);
}
bool IsIdle(int a)
{
    return OneOf(a, GUNS_IDLE_ANI, GUNS_IDLE_2_ANI, PED_IDLE_ANI, PED_IDLE_LOOKAROUND_ANI, PED_IDLE_FOOTWORK_ANI,
                 PED_IDLE_CHECKTIME_ANI, PED_ARREST_FAIL_ANI, STEALTH_IDLE_ANI, STEALTH_IDLE_CROUCH_ANI,
                 STEALTH_IDLE_LOOKAROUND_ANI, DETECTIVE_CONFUSED_ANI);
}
bool IsWarning(int a) { return a == PED_WARN_PHYSICAL_ANI || In(a, PED_WARN_GUN_ASSUME_ANI, PED_WARN_GUN_RUN_ANI); }
bool IsFullWallFire(int a) { return OneOf(a, 302, 303, 306, 307, 308); }
bool IsHalfWallFire(int a) { return OneOf(a, 320, 323, 324); }
bool IsReloadReady(int a)
{
    return OneOf(a, GUNS_IDLE_ANI, GUNS_IDLE_2_ANI, GUNS_HWALL_IDLE_ANI, GUNS_FWALL_IDLE_L_ANI, GUNS_FWALL_IDLE_R_ANI,
                 GUNS_HWALL_WALK_L_ANI, GUNS_HWALL_WALK_R_ANI, GUNS_FWALL_WALK_L_ANI, GUNS_FWALL_WALK_R_ANI,
                 GUNS_FWALL_FIREAHEAD_ANI, GUNS_HWALL_FIREAHEAD_ASSUME_ANI, GUNS_HWALL_FIREAHEAD_REVERT_ANI,
                 GUNS_RUN_INTERIOR_ANI, GUNS_RUN_EXTERIOR_ANI) ||
           IsFiring(a) || In(a, GUNS_IDLE_FIRE_ANI, GUNS_IDLE_RESTART_FIRE_ANI) ||
           In(a, GUNS_RUN_FWD_ANI, GUNS_RUN_SIDE_R_ANI);
}

// Animations in which no shot may start or go on.
bool FiringForbidden(int a)
{
    return In(a, 17, 19) || In(a, 55, 80) || In(a, 100, 109) || In(a, 111, 122) || In(a, 162, 206) ||
           In(a, 207, 209) || In(a, 214, 233) || a == 266 || a == 273 || In(a, 274, 276) || In(a, 282, 293) ||
           In(a, 315, 317) || In(a, 333, 335) || OneOf(a, 338, 340, 341, 343, 344, 346, 347) || In(a, 349, 354);
}
bool CoverFireAllowed(int a) { return OneOf(a, 302, 303, 306, 307, 308, 320, 323, 324, 325, 326); }
bool ShootingOrMoving(int a) { return In(a, 268, 270) || In(a, 294, 301) || In(a, 309, 312) || In(a, 327, 330); }

// The point a target is shot at: its torso, else its root.
VectorPos AimPoint(Object* t)
{
    if (Object* torso = t->FindSubObject(20))
        return torso->GetWorldPos();
    return t->GetRoot()->GetWorldPos();
}

float Dist2(VectorPos a, VectorPos b) { return VectorDir(a - b).LengthSq(); }

void RecoverWorldSpeed()
{
    const float r = world.playbackSpeed * kUnscale;
    if (r < 1.0f)
        world.playbackSpeed = std::min(r + Dace::SlowMoTransitionSpeed, 1.0f) * 1.2f;
}

}  // namespace

// The extra pitch of precision aiming with no target; -0.3..0.3.
float PrecisionFirePitch = 0.0f;

// Where the guns point with nothing to shoot at, in the player's frame.
const VectorDir GunAimOffset(0.0f, 0.0f, 3.125f);

// ---------------------------------------------------------------------------
// Shot times.

bool Dace::NoShotFor(int n) const
{
    bool any = false;
    u32 last = 0;
    for (WorldTime t : firetimes)
        if (u32(t) != 0xFFFFFFFFu) {
            any = true;
            last = std::max(last, u32(t));
        }
    return !any || int(last) < world.time - n;
}

void Dace::LogShot()
{
    auto earlier = [](u32 x, u32 y) { return (x != 0xFFFFFFFFu && x < y) || (x == 0xFFFFFFFFu && y != 0xFFFFFFFFu); };
    int choice = 0;
    for (int i : {2, 1, 3})
        if (!earlier(u32(firetimes[choice]), u32(firetimes[i])) && u32(firetimes[i]) != Never)
            choice = i;
    firetimes[choice] = world.time;
}

// ---------------------------------------------------------------------------
// The gun-mode frame.

void Dace::Frame_GunMode(PlayerController& pc)
{
    const u32 held = pc.pad & 0xFFFF;
    const u32 hit = pc.Hit();
    // 1.
    const bool activeAtEntry = IsFiring(mode2) || IsFireStart(mode2) || IsGunWalk(mode2) || IsJumpStart(mode2) ||
                               IsInAir(mode2) || IsLanding(mode2);
    // 2, 3.
    for (OffensiveCollision& oc : offcollobjs)
        oc.Update();
    attackbuffer = GetAttackType(pc);

    // 4. The walk-over a lying suspect ends in his arrest pose.
    if ((mode2 == PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI || mode2 == PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI) &&
        arrestguy != nullptr) {
        const Matrix pose = lyingdownarrestmat * arrestguy->GetWorldMatrix();
        const float len = arrestguy->victimdata != nullptr ? float(arrestguy->victimdata->morphlen) : 0.0f;
        const float gone = frame - firstanimframe;
        if (gone < len) {
            const int left = std::max(1, int(len - gone));
            const VectorPos at = mat.GetTrans();
            mat = Matrix(SLERP(Quaternion(mat), Quaternion(pose), 1.0f / float(left)));
            mat.SetTrans(at);
        } else {
            mat = pose;
            BlendToAnim(mode2 == PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI ? PED_ARREST_LYINGDOWN_L_ANI
                                                                      : PED_ARREST_LYINGDOWN_R_ANI,
                        20);
            flags &= ~0x100u;
        }
    }

    // 5, 6.
    if (IsJumpStart(mode2) && !(held & BUT_TRIANGLE))
        verticaljumpspeed = 0.01397f;
    const bool unlocked = (IsJumpStart(mode2) && mode2 != GUNS_JUMP_BACK_ANI && mode2 != GUNS_JUMP_FWD_SPIN_ANI) ||
                          (IsInAir(mode2) && mode2 != GUNS_JUMP_BACK_INAIR_ANI);
    leftgunarm.lockwrist = rightgunarm.lockwrist = !unlocked;

    // 7. Enemies that want to be shot at are looked out for.
    if (task <= Task_Defeat && (lastspottingtime == Never || int(lastspottingtime) < world.time - 45)) {
        for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o == nullptr || o->IsDead() || o->id < -150 || o->id > -101)
                continue;
            SpecialMessage q(SMSG_Q_SHOOT_TARGET, nullptr);
            if (o->SendMessage(OM_SPECIAL, &q) == 0)
                TrySpottingEnemy(o);
        }
    }

    // 8. Pickups being taken are drawn to the hands.
    if (mode2 == GUNS_IDLE_PICKUP_ANI && pLeftPUWeapon != nullptr) {
        auto* left = static_cast<Object*>(pLeftPUWeapon);
        if (left->parent == nullptr) {
            Object* ref = FindSubObject(31);
            if (ref == nullptr)
                ref = this;
            const Matrix rm = ref->GetWorldMatrix();
            left->TurnToward(VectorDir(rm.z.xyz()), 0.0349066f);
            left->SetPos(left->GetWorldPos() + VectorDir(ref->GetWorldPos() - left->GetWorldPos()) * 0.25f);
            if (pRightPUWeapon != nullptr && rhand != nullptr) {
                auto* right = static_cast<Object*>(pRightPUWeapon);
                right->TurnToward(VectorDir(rhand->GetWorldMatrix().z.xyz()), 0.0872665f);
                right->SetPos(right->GetWorldPos() + VectorDir(rhand->GetWorldPos() - right->GetWorldPos()) * 0.25f);
            }
        }
    }

    // 9, 10.
    CheckShootingTargets();
    if (shootmode == SHOOT_PRECISION && target != nullptr && leftgunarm.ModeIs(GunArm::CARRYING))
        leftgunarm.mode = GunArm::DRAWING_TO_AIM;

    // 11. The right stick nudges the choice of target.
    if (task != Task_Defeat && task != Task_Infiltrate && !IsArrest(mode2)) {
        const int rx = pc.Analog(ANA_RX);
        const int nudge = (rx >= 88 && rx <= 168) ? 0 : rx > 128 ? rx - 168 : rx - 88;
        if (shootmode == SHOOT_PRECISION) {
            if (nudge != 0) {
                shootingframe = UnsetFrame;
                SetShootMode(SHOOT_NORMAL);
            }
        } else {
            AcquirePrimaryShootTarget(false, nudge);
            if (Ability() & DUAL_TARGET)
                AcquireSecondaryShootTarget();
            else
                target2 = target.p;
        }
    }
    // 12.
    UpdateReticle(false);

    // 13. Tasks that forbid guns.
    if (task != Task_Shootout && (task == Task_Defeat || task == Task_Infiltrate || mode != DACEMODE_GUNS)) {
        SwitchToMode(DACEMODE_ONFOOT, true);
        return;
    }

    // 14.
    lookcomfort = COMFORTABLE;
    if (facemode && !IsArrest(mode2) && !IsShield(mode2) && !IsPaired(mode2) && !IsAirborne(mode2) &&
        !IsTouchingDown(mode2) && NoShotFor(60))
        facemode = false;
    SetLookMode(ALWAYS_LOOKING);

    // 15. Movement by cover state.
    if (IsArrest(mode2) || IsReloading(mode2) || mode2 == GUNS_IDLE_PUTAWAY_ANI || mode2 == GUNS_IDLE_PICKUP_ANI) {
        RecoverWorldSpeed();
    } else {
        PedestrianMoveCamera(pc);
        switch (collidestate) {
        case FREE:
        case PUSH_STATIC:
        case OUT_STATIC_FULL:
        case OUT_STATIC_HALF:
            if (shootmode != SHOOT_PRECISION)
                GunMoveFree(pc);
            break;
        default:
            curattack = &DaceAnim::attackbase;
            attackbuffer = DaceAnim::ATTACK_NONE;
            flags &= ~DaceAnim::ATTACK_FLAG_MASK;
            switch (collidestate) {
            case TURNING_STATIC_FULL:
            case TURNING_STATIC_HALF: GunMoveTurning(pc); break;
            case RETURNING_STATIC_FULL:
            case RETURNING_STATIC_HALF: GunMoveReturning(pc); break;
            case BACK_STATIC_FULL:
            case BACK_STATIC_HALF:
                if (IsFireStart(mode2))
                    break;
                if ((held & BUT_CROSS) && NoShotFor(60)) {
                    if (collidestate == BACK_STATIC_FULL)
                        GunMoveBackFull(pc);
                    else
                        GunMoveBackHalf(pc);
                    lookcomfort = UNCOMFORTABLE;
                } else {
                    collidestate = PULL_STATIC;
                    pushpullframe = frame;
                    BlendToAnim(GUNS_IDLE_ANI, 10);
                    speed = 0.0f;
                    lookcomfort = UNCOMFORTABLE;
                }
                break;
            case PULL_STATIC:
                speed = 0.0f;
                if (frame > pushpullframe + 10.0f)
                    collidestate = FREE;
                break;
            default: break;
            }
            break;
        }
    }

    // 16.
    if (cam != nullptr) {
        if (mode2 == GUNS_IDLE_ANI || mode2 == GUNS_IDLE_2_ANI)
            cam->dirangaccel = 0.00025f;
        else if (centercamera)
            cam->dirangaccel = 0.0005f;
        else
            cam->dirangaccel = cam->dirangspeed = 0.0f;
    }
    prevcollideobj = collideobj;
    collideobj = nullptr;

    // 17. Automatic reload.
    if (bCanReload && overlayPlaying < 0 &&
        OneOf(mode2, GUNS_IDLE_ANI, GUNS_IDLE_2_ANI, GUNS_FWALL_IDLE_L_ANI, GUNS_FWALL_IDLE_R_ANI,
              GUNS_HWALL_IDLE_ANI) &&
        frame - firstanimframe > 8.0f &&
        (leftgunarm.weapon.bulletsLeft + rightgunarm.weapon.bulletsLeft < 5 ||
         (leftgunarm.weapon.type < WEAP_SMG_G36 && leftgunarm.weapon.bulletsLeft <= 0)))
        GunReloadGuns();

    // 18. A remark from cover.
    if (OneOf(mode2, GUNS_FWALL_IDLE_L_ANI, GUNS_FWALL_IDLE_R_ANI, GUNS_HWALL_IDLE_ANI) && idle > 120 &&
        DaceVO.IsStopped()) {
        const int since = DaceVO.GetTimeSincePlayed(DaceVO_GunsCover);
        if (since == NEVER || since > 600)
            DaceVO.Play(DaceVO_GunsCover, 0);
    }

    // 19. Input.
    if (leftgunarm.mode >= GunArm::CARRYING || rightgunarm.mode >= GunArm::CARRYING) {
        if (IsArrest(mode2) || IsTouchingDown(mode2) || IsBlowReceived(mode2) || IsGunRecoil(mode2) ||
            IsReloading(mode2) || collidestate == PULL_STATIC || collidestate == TURNING_STATIC_FULL ||
            collidestate == TURNING_STATIC_HALF || collidestate == RETURNING_STATIC_FULL ||
            collidestate == RETURNING_STATIC_HALF || overlayPlaying == GUNS_IDLE_RELOAD_ANI) {
            for (GunArm* a : {&leftgunarm, &rightgunarm}) {
                if (OneOf(a->mode, GunArm::AIMING, GunArm::DRAWING_TO_AIM, GunArm::DRAWING_TO_SHOOT,
                          GunArm::AIMING_TO_SHOOT))
                    a->mode = GunArm::QUITTING_AIMING;
                else if (OneOf(a->mode, GunArm::JUST_SHOT, GunArm::RECOIL, GunArm::RECOIL_TO_AIM,
                               GunArm::RECOIL_TO_SHOOT))
                    a->mode = GunArm::RECOIL_TO_QUIT_AIMING;
            }
        } else if (curattack == &DaceAnim::attackbase) {
            const DaceAnim::AttackType type = GetAttackType(pc);
            if ((collidestate == FREE || collidestate == OUT_STATIC_FULL || collidestate == OUT_STATIC_HALF) &&
                !IsAnyJump(mode2) && !IsTackle(mode2) && !IsArrest(mode2) && !IsShield(mode2) && !IsPaired(mode2) &&
                mode2 != GUNS_PUNCH_ANI && mode2 != GUNS_KICK_ANI && !IsBlowReceived(mode2) && !IsGunRecoil(mode2)) {
                if (GunInput(pc, type))
                    return;
            }
            if (leftgunarm.mode >= GunArm::CARRYING || rightgunarm.mode >= GunArm::CARRYING)
                ShootoutTargetGuns(pc);
        }
    }

    // 20. Crouching.
    if ((held & BUT_CROSS) && speed == 0.0f && shootmode != SHOOT_PRECISION && collidestate == FREE &&
        NoShotFor(60) && mode2 != GUNS_HWALL_IDLE_ANI && mode2 != GUNS_IDLE_PICKUP_ANI)
        BlendToAnim(GUNS_HWALL_IDLE_ANI, 10);
    else if ((!(held & BUT_CROSS) || speed != 0.0f) && mode2 == GUNS_HWALL_IDLE_ANI && collidestate == FREE)
        BlendToAnim(GUNS_IDLE_ANI, 10);

    // 21. Reloading by hand.
    if ((hit & BUT_TRIGGER_R2) && bCanReload && overlayPlaying < 0 && IsReloadReady(mode2))
        reloadframe = frame;
    if (reloadframe != UnsetFrame && !(held & BUT_TRIGGER_R2) && IsReloadReady(mode2)) {
        GunReloadGuns();
        reloadframe = UnsetFrame;
    }

    // 22.
    if (mode2 == GUNS_GRAPPLE_START_ANI && shieldTarget != nullptr)
        TurnToward(VectorDir(shieldTarget->GetRoot()->GetWorldPos() - GetWorldPos()),
                   0.2617994f * world.playbackSpeed);

    // 23. Head.
    if (target == nullptr) {
        SetLookMode(NOT_LOOKING);
    } else {
        SetLookMode(aimingweapon || IsFiring(mode2) || IsFireStart(mode2) || IsGunWalk(mode2) ||
                            IsJumpStart(mode2) || IsInAir(mode2)
                        ? ALWAYS_LOOKING
                        : ALMOST_ALWAYS_LOOKING);
        if (target->type == OBJT_CHARACTER) {
            headpointguy = static_cast<Guy*>(target.p);
            Object* torso = target->FindSubObject(20);
            headpointloc = torso != nullptr ? torso->GetWorldPos() : target->GetRoot()->GetWorldPos();
        } else {
            headpointguy = nullptr;
            headpointloc = target->GetRoot()->GetWorldPos();
        }
    }

    // 24. Going idle.
    if (speed == 0.0f) {
        idle++;
        if (idle == 1 && shootmode != SHOOT_PRECISION && !IsBlowReceived(mode2) && !IsGunRecoil(mode2) &&
            !IsReloading(mode2) && !IsAnyJump(mode2) && !IsTackle(mode2) && !IsArrest(mode2) && !IsShield(mode2) &&
            !IsPaired(mode2) && mode2 != GUNS_PUNCH_ANI && mode2 != GUNS_KICK_ANI && !IsFiring(mode2) &&
            !IsFireStart(mode2) && mode2 != GUNS_FWALL_FIREAHEAD_ANI && mode2 != GUNS_HWALL_FIREAHEAD_ASSUME_ANI &&
            mode2 != GUNS_HWALL_FIREAHEAD_REVERT_ANI) {
            if (!GoIdle() && !IsIdle(mode2) && NoShotFor(120)) {
                facemode = false;
                SetShootMode(SHOOT_NONE);
                BlendToAnim(GUNS_IDLE_ANI, 15);
            }
            PedestrianModeNormal();
            if (biproot != nullptr) {
                const VectorPos at = biproot->mat.GetTrans();
                const Matrix look = LookAlong(VectorDir(0.0f, 0.0f, 1.0f));
                biproot->mat.x = look.x;
                biproot->mat.y = look.y;
                biproot->mat.z = look.z;
                biproot->mat.SetTrans(at);
            }
            usercam = false;
        }
    }
    // 25.
    if (IsShieldHold(mode2) && shieldTarget != nullptr)
        GunMoveHumanShield(pc);
    // 26.
    if (!IsIdle(mode2))
        centercamera = false;
    if (speed == 0.0f)
        idle++;

    // 27.
    if (!(flags & 0x20000u)) {
        if (collidestate == PULL_STATIC || (collidestate >= TURNING_STATIC_FULL && collidestate <= BACK_STATIC_HALF) ||
            collidestate == RETURNING_STATIC_FULL || collidestate == RETURNING_STATIC_HALF)
            AnimateHierarchy(1.0f);
        else
            Animate();
    }

    // 28. Cover.
    if (!(held & BUT_TRIGGER_R) && !IsJumpStart(mode2) && !IsInAir(mode2) && !IsLanding(mode2) &&
        !(flags & 0x60000000u) && (task == Task_Shootout || task < Task_Defeat))
        GunCover(pc);

    // 29. In the air and landing.
    if (IsAirborne(mode2)) {
        if (In(mode2, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_LAND_ANI)) {
            CombatKnockdownCheckGroundContact();
        } else {
            const VectorPos at = GroundReference();
            UpdateGroundAndLandableHeight(at, nullptr, &ghc);
            if (frame - jumpframe > 15.0f && (groundy <= at[1] || groundobj != nullptr)) {
                flags &= ~0x20000u;
                switch (mode2) {
                case GUNS_JUMP_BACK_INAIR_ANI: SetAnim(GUNS_JUMP_BACK_LAND_ANI); break;
                case GUNS_JUMP_FWD_INAIR_ANI: SetAnim(GUNS_JUMP_FWD_LAND_ANI); break;
                case GUNS_JUMP_SIDE_L_INAIR_ANI: SetAnim(GUNS_JUMP_SIDE_L_LAND_ANI); break;
                case GUNS_JUMP_SIDE_R_INAIR_ANI: SetAnim(GUNS_JUMP_SIDE_R_LAND_ANI); break;
                default: break;
                }
                jumpframe = UnsetFrame;
                droptime = Never;
                groundupdatetime = 0;
                jumptime = Never;
                const VectorPos p = mat.GetTrans();
                mat.SetTrans(VectorPos(p[0], groundy, p[2]));
            }
        }
    } else if (jumpframe == UnsetFrame || frame - jumpframe >= 7.0f) {
        if (collidestate == FREE)
            PedestrianCheckForFall();
    } else {
        // Just after a take-off only the ground height is kept up to date.
        UpdateGroundAndLandableHeight(GetWorldPos(), nullptr, &ghc);
    }

    // 30. The arms aim.
    AimGuns();

    // 31.
    const bool activeNow = IsFiring(mode2) || IsFireStart(mode2) || IsGunWalk(mode2) || IsJumpStart(mode2) ||
                           IsInAir(mode2) || IsLanding(mode2);
    if (gameeventobj != nullptr && !activeAtEntry && !activeNow)
        SendEvent(SMSG_EV_PLAYER_GUN_MODE, gameeventobj);

    // 32. The guns go away when nothing is left to shoot.
    if (task < Task_Defeat && shootmode == SHOOT_NONE && !IsReloading(mode2) && !IsFiring(mode2) &&
        !IsJumpStart(mode2) && !IsInAir(mode2) && !IsLanding(mode2) && leftgunarm.mode > GunArm::CARRYING &&
        rightgunarm.mode > GunArm::CARRYING) {
        SwitchToMode(DACEMODE_ONFOOT, false);
        BlendToAnim(GUNS_IDLE_PUTAWAY_ANI, 10);
        return;
    }

    // 33. Into a car.
    if (collidestate == FREE && shootmode != SHOOT_PRECISION && (hit & BUT_TRIGGER_L) && !IsBlowReceived(mode2) &&
        !IsGunRecoil(mode2) && !In(mode2, COMBAT_FIRST_BACK_ATTACK_ANI, COMBAT_LAST_LYINGDOWN_ATTACK_ANI) &&
        mode2 != GUNS_PUNCH_ANI && mode2 != GUNS_KICK_ANI && !IsShield(mode2) && !IsAnyJump(mode2) &&
        !IsTackle(mode2) && !In(mode2, 17, 19) && !In(mode2, 55, 80) && !IsWarning(mode2) &&
        mode2 != GUNS_IDLE_DRAWGUNS_ANI && mode2 != PED_IDLE_COMMANDEER_FAIL_ANI) {
        Vehicle* v = FindCar(true);
        if (v != nullptr && Dist2(reinterpret_cast<Object*>(v)->GetWorldPos(), GetWorldPos()) < 14.0625f &&
            TryGettingIn(v)) {
        } else {
            BlendToAnim(PED_IDLE_COMMANDEER_FAIL_ANI, 5);
        }
    }
}

// Step 19a/b of the frame: arrests, the shield grab, gun pickups, fists and
// gun blows.  True when the frame ends here.
bool Dace::GunInput(PlayerController& pc, DaceAnim::AttackType type)
{
    // a. An arrest: of the nearest one lying down, else of the nearest one
    // standing who is not dying.
    if (pc.Hit() & BUT_CIRCLE) {
        arrestguy = static_cast<Guy*>(FindNearestObject(GetWorldPos(), OBJT_CHARACTER, 0x10000000));
        bool held = arrestguy != nullptr && TryLyingDownArrest(arrestguy);
        if (!held) {
            arrestguy = static_cast<Guy*>(FindNearestObject(GetWorldPos(), OBJT_CHARACTER, 0xD0000000));
            held = arrestguy != nullptr && TryStandingUpArrest(arrestguy, false);
        }
        if (!held) {
            arrestguy = nullptr;
        } else {
            speed = 0.0f;
            for (GunArm* a : {&leftgunarm, &rightgunarm})
                if (a->mode > GunArm::CARRYING_TO_UNARMED)
                    a->mode = GunArm::CARRYING;
        }
    }
    // b.
    if (IsArrest(mode2) || type == DaceAnim::ATTACK_NONE)
        return false;
    if (type == DaceAnim::ATTACK_GRAPPLE) {
        if (!TryShieldGrab())
            TryGunPickup();
        return false;
    }
    if (shootmode == SHOOT_PRECISION)
        return false;
    if (task < Task_Defeat && type != DaceAnim::ATTACK_HIGHATTACK) {
        if (speed != 0.0f)
            return false;
        SwitchToMode(DACEMODE_ONFOOT, false);
        StartCombatAttack(type, false);
        combatuntilidleloop = true;
        return true;
    }
    if (type == DaceAnim::ATTACK_KICK)
        return false;
    // The gun table has no blow for every button: only a blow that was
    // found is started.
    const DaceAnim::AttackInfo* before = curattack;
    StartGunAttack(type);
    if (curattack == before)
        return false;
    BlendToAnim(u16(curattack->anim), 5);
    curattackblock = curattackhit = -1;
    collidestate = FREE;
    flags = (flags & ~DaceAnim::ATTACK_FLAG_MASK) | curattack->GetFlags();
    return false;
}

// Step 30: the arms aim at the reticle, or ahead with nothing to shoot at.
void Dace::AimGuns()
{
    if (mode2 == GUNS_PRECISION_AIM_ANI && blendAnim != nullptr && !(blendAnim->flags & 0x8))
        return;
    const bool raised = leftgunarm.mode > GunArm::CARRYING || rightgunarm.mode > GunArm::CARRYING;
    if (target == nullptr || !raised) {
        const Matrix w = GetWorldMatrix();
        auto ahead = [&](GunArm& a, float side) {
            const VectorPos base = a.upperarm != nullptr ? a.upperarm->GetWorldPos() : GetWorldPos();
            VectorDir off = GunAimOffset;
            if (IsWarning(mode2))
                off = VectorDir(side, 0.0f, 0.625f);
            const VectorDir turned = VectorDir(w.x.xyz()) * off[0] + VectorDir(w.y.xyz()) * off[1] +
                                     VectorDir(w.z.xyz()) * off[2];
            return base + turned;
        };
        leftgunarm.Frame(ahead(leftgunarm, 0.3125f));
        rightgunarm.Frame(ahead(rightgunarm, -0.3125f));
        return;
    }
    Object* r = reticle.p;
    if (reticle2 != nullptr && !(reticle2->flags & 0x80000000u) && shootatsecondary)
        r = reticle2.p;
    if (r == nullptr || (r->flags & 0x80000000u))
        return;
    const VectorPos at = r->GetWorldPos();
    leftgunarm.Frame(at);
    rightgunarm.Frame(at);
}

// ---------------------------------------------------------------------------
// The fire button.

void Dace::EmptyGuns()
{
    if (bCanReload) {
        if (overlayPlaying != GUNS_IDLE_RELOAD_ANI) {
            GunReloadGuns();
            SetShootMode(SHOOT_RELOAD);
            speed = 0.0f;
        }
        return;
    }
    for (GunArm* a : {&leftgunarm, &rightgunarm})
        if (a->IsActive())
            a->mode = GunArm::CARRYING;
    if (ShootingOrMoving(mode2))
        BlendToAnim(GUNS_IDLE_ANI, 15);
    facemode = false;
    SetShootMode(SHOOT_NONE);
}

bool Dace::FireAllowed(bool newpress) const
{
    if (FiringForbidden(mode2))
        return false;
    if (newpress && mode == DACEMODE_GUNS && collidestate != FREE && collidestate != OUT_STATIC_FULL &&
        collidestate != OUT_STATIC_HALF && !CoverFireAllowed(mode2))
        return false;
    return true;
}

// Steps 3-4 of a new press: which shot, and the cover animation it needs.
void Dace::StartPress(PlayerController& pc, bool automatic)
{
    const bool can = PedestrianSelectShot();
    if (target != nullptr || !automatic) {
        if (target != nullptr && IsFullWallFire(mode2)) {
            const Matrix w = GetWorldMatrix();
            const VectorDir to = Normalise(VectorDir(AimPoint(target.p) - w.GetTrans()));
            if (can || Dot(VectorDir(w.z.xyz()), to) > 0.0f) {
                if (mode2 != GUNS_FWALL_WALK_L_ANI && mode2 != GUNS_FWALL_WALK_R_ANI)
                    BlendToAnim(GUNS_FWALL_FIREAHEAD_ANI, 3);
            } else {
                collidestate = OUT_STATIC_FULL;
                backmat = mat;
                BlendToAnim(mode2 == GUNS_FWALL_IDLE_L_ANI ? GUNS_FWALL_BEGIN_FIREBACK_L_ANI
                                                            : GUNS_FWALL_BEGIN_FIREBACK_R_ANI,
                            3);
            }
        } else if (target != nullptr && IsHalfWallFire(mode2)) {
            if (!(can && (mode2 == GUNS_HWALL_WALK_L_ANI || mode2 == GUNS_HWALL_WALK_R_ANI))) {
                BlendToAnim(GUNS_HWALL_FIREAHEAD_ASSUME_ANI, 10);
                collidestate = FREE;
            }
        } else if (automatic) {
            BlendToAnim(GUNS_IDLE_BEGIN_FIRE_ANI, 3);
            facemode = true;
        } else {
            if (shootmode != SHOOT_PRECISION &&
                OneOf(mode2, GUNS_WALK_ANI, GUNS_RUN_INTERIOR_ANI, GUNS_RUN_EXTERIOR_ANI))
                WalkTo_Gun(Normalise(pc.wdir));
            facemode = true;
        }
    }
    if (automatic) {
        GunArm& next = shootrightgunnext ? rightgunarm : leftgunarm;
        if (next.ModeIs(GunArm::CARRYING))
            next.mode = GunArm::DRAWING_TO_AIM;
    }
    shootingframe = frame;
    SetShootMode(SHOOT_NORMAL);
}

void Dace::ShootoutTargetGuns(PlayerController& pc)
{
    const bool down = (pc.pad & BUT_TRIGGER_R) != 0;
    const bool automatic = leftgunarm.weapon.type >= 8;
    const bool pressing = shootingframe != UnsetFrame;
    if (!automatic) {
        if (down && !pressing) {
            if (shootmode == SHOOT_RELOAD || !FireAllowed(true))
                return;
            if (!leftgunarm.IsLoaded() && !rightgunarm.IsLoaded()) {
                EmptyGuns();
                return;
            }
            StartPress(pc, false);
        } else if (down) {
            if ((Ability() & PRECISION_FIRE) && !In(mode2, 338, 354) && collidestate == FREE &&
                shootmode != SHOOT_PRECISION && frame - shootingframe > 30.0f) {
                if (leftgunarm.IsLoaded()) {
                    if (FireAllowed(false)) {
                        SetShootMode(SHOOT_PRECISION);
                        PrecisionFirePitch = 0.0f;
                    } else {
                        shootingframe = UnsetFrame;
                        SetShootMode(SHOOT_NORMAL);
                    }
                } else if (bCanReload && overlayPlaying != GUNS_IDLE_RELOAD_ANI) {
                    if (leftgunarm.IsArmed())
                        leftgunarm.weapon.bulletsLeft = leftgunarm.weapon.magSize;
                    GunReloadGuns();
                    SetShootMode(SHOOT_RELOAD);
                    speed = 0.0f;
                }
            }
            if (shootmode == SHOOT_PRECISION)
                PrecisionStep(pc);
        } else {
            if (pressing) {
                if (mode2 == GUNS_IDLE_ANI)
                    BlendToAnim(GUNS_IDLE_BEGIN_FIRE_ANI, 3);
                if (target == nullptr)
                    facemode = true;
                PedestrianShootActiveGun();
                shootingframe = UnsetFrame;
            }
            if (shootmode == SHOOT_PRECISION &&
                !(world.time - int(leftgunarm.lastshot) < 21 && leftgunarm.IsLoaded()))
                SetShootMode(SHOOT_NORMAL);
        }
        return;
    }
    // Automatic weapons fire while the button is held.
    if (down && !pressing) {
        if (shootmode == SHOOT_RELOAD || !FireAllowed(true))
            return;
        if (target != nullptr && !leftgunarm.IsLoaded() && !rightgunarm.IsLoaded()) {
            EmptyGuns();
            return;
        }
        StartPress(pc, true);
    } else if (down) {
        if (leftgunarm.IsLoaded() || rightgunarm.IsLoaded()) {
            facemode = true;
            WalkTo_Gun(Normalise(pc.wdir));
            PedestrianShootActiveGun();
        } else {
            EmptyGuns();
        }
    } else {
        shootingframe = UnsetFrame;
        SetShootMode(SHOOT_NORMAL);
        if (target == nullptr)
            facemode = false;
    }
}

// Each frame of precision aiming with the button down.
void Dace::PrecisionStep(PlayerController& pc)
{
    if (!FireAllowed(false)) {
        shootingframe = UnsetFrame;
        SetShootMode(SHOOT_NORMAL);
        return;
    }
    const float s = world.playbackSpeed * kUnscale;
    const float slow = g_pgcTest != nullptr ? g_pgcTest->stats.fPrecisionSlow : 1.0f;
    world.playbackSpeed = 1.2f * (s + 0.1f * (slow - s));
    const int x = StickAxis(pc.rdata[6]);
    const int y = StickAxis(pc.rdata[7]);
    if (target != nullptr) {
        const VectorPos to = target->GetRoot()->GetWorldPos() - GetWorldPos();
        VectorDir flat(to[0], 0.0f, to[2]);
        if (flat.LengthSq() > 0.0f)
            TurnToward(Normalise(flat), world.playbackSpeed * 0.15708f);
        if (auto* pr = static_cast<PreciseReticle*>(reticlePr.p)) {
            int part = -1;
            if (y < -50 && std::abs(x) < 20)
                part = 0;
            else if (std::abs(y) < 20 && x < -50)
                part = 1;
            else if (std::abs(y) < 20 && x > 50)
                part = 2;
            else if (y > 20 && x < 6)
                part = 3;
            else if (y > 20)
                part = 4;
            pr->iBodyTarget = part;
        }
        return;
    }
    if (x != 0) {
        const VectorPos at = mat.GetTrans();
        mat = RotY(float(x) * float(x) * float(x) * 3.49066e-8f) * mat;
        mat.SetTrans(at);
    }
    BlendAnimation* ba = larm != nullptr ? larm->blendAnim : nullptr;
    auto pose = [&](float blend) {
        if (ba == nullptr)
            return;
        ba->pose.ang = Quaternion(RotZ(PrecisionFirePitch)) * ba->lastEval.ang;
        ba->pose.flags = 0x80;
        ba->poseBlend = blend;
    };
    if (y != 0) {
        PrecisionFirePitch = std::clamp(PrecisionFirePitch + float(y) * 0.0001f, -0.3f, 0.3f);
        pose(1.0f);
    } else if (PrecisionFirePitch != 0.0f) {
        if (std::fabs(PrecisionFirePitch) < 0.0001f) {
            PrecisionFirePitch = 0.0f;
            pose(0.0f);
        } else {
            pose(1.0f);
        }
    }
}

bool Dace::PedestrianSelectShot()
{
    if (target == nullptr)
        return false;
    const VectorPos p1 = AimPoint(target.p);
    const VectorPos p2 = target2 != nullptr ? AimPoint(target2.p) : p1;
    const bool la = leftgunarm.IsArmed(), ra = rightgunarm.IsArmed();
    if (!la || !ra) {
        GunArm& a = la ? leftgunarm : rightgunarm;
        shootrightgunnext = !la;
        return a.CanAimAt(p1);
    }
    bool leftdue;
    if (!leftgunarm.IsActive() && rightgunarm.IsActive())
        leftdue = true;
    else if (leftgunarm.IsActive() && !rightgunarm.IsActive())
        leftdue = false;
    else
        leftdue = leftgunarm.lastshot < rightgunarm.lastshot;

    const VectorPos me = GetWorldPos();
    const bool secondary = target2 != nullptr && exclusiveshots < 0 && !lastshotsecondary &&
                           !(Dist2(p1, me) < 6.25f && Dist2(p2, me) > 6.25f);
    if (secondary) {
        const bool a = leftgunarm.CanAimAt(p2), b = rightgunarm.CanAimAt(p2);
        if (a || b) {
            if (a && b)
                shootrightgunnext = Dot(VectorDir(p2 - me), VectorDir(GetWorldMatrix().x.xyz())) > 0.0f;
            else
                shootrightgunnext = b;
            shootatsecondary = true;
            return true;
        }
    }
    const bool a = leftgunarm.CanAimAt(p1), b = rightgunarm.CanAimAt(p1);
    if (!a && !b)
        return false;
    shootrightgunnext = (a && b) ? !leftdue : b;
    shootatsecondary = false;
    return true;
}

void Dace::PedestrianShootActiveGun()
{
    auto r4 = [] { return int(u32(rand()) >> 29); };
    auto r2 = [] { return int(u32(rand()) >> 30); };
    if (exclusiveshots == 0)
        exclusiveshots = 4 + r4();
    if (exclusiveshots > 0) {
        lastshotsecondary = false;
        if (--exclusiveshots == 0)
            exclusiveshots = -2 - r2();
    } else {
        if (shootatsecondary)
            exclusiveshots++;
        lastshotsecondary = shootatsecondary;
        if (exclusiveshots == 0)
            exclusiveshots = 4 + r4();
    }
    if (IsInAir(mode2))
        lastshotsecondary = false;

    sPlayerStats* stats = g_pgcTest != nullptr ? &g_pgcTest->stats : nullptr;
    Object* gun = nullptr;
    if (shootmode == SHOOT_PRECISION && leftgunarm.IsLoaded()) {
        if (stats != nullptr)
            stats->nPrecisionShots++;
        leftgunarm.isPreciseShot = true;
        LogShot();
        VectorPos at;
        if (target != nullptr && reticlePr != nullptr && !(reticlePr->flags & 0x80000000u)) {
            at = reticlePr->GetWorldPos();
        } else if (leftgunarm.gun != nullptr) {
            const Matrix g = RotY(1.5707964f) * leftgunarm.gun->GetWorldMatrix();
            at = g * VectorPos(0.01f, 0.05f, 0.9375f);
        } else {
            at = GetWorldPos();
        }
        leftgunarm.ShootAt(at);
        leftgunarm.isPreciseShot = false;
        gun = leftgunarm.gun;
        shootrightgunnext = true;
        for (GunArm* a : {&leftgunarm, &rightgunarm})
            if (a->IsActive())
                a->mode = GunArm::CARRYING;
    } else {
        if (stats != nullptr)
            stats->nShotsFired++;
        GunArm* arm = nullptr;
        if (shootrightgunnext && rightgunarm.IsLoaded())
            arm = &rightgunarm;
        else if (leftgunarm.IsLoaded())
            arm = &leftgunarm;
        else if (rightgunarm.IsLoaded())
            arm = &rightgunarm;
        if (arm != nullptr) {
            arm->ShootGun();
            LogShot();
            gun = arm->gun;
            shootrightgunnext = arm == &leftgunarm;
        }
    }
    if (gun != nullptr || shootmode == SHOOT_PRECISION) {
        if (target != nullptr) {
            SpecialMessage m(SMSG_SHOT_AT, gun);
            target->SendMessage(OM_SPECIAL, &m);
        }
        SendEvent(SMSG_EV_PLAYER_FIRED, gameeventobj);
    }
    aimingweapon = false;
}

// ---------------------------------------------------------------------------
// Bullets that hit him.

void Dace::TakeProjectileDamage(float amount)
{
    if (amount == 0.0f || strength <= 0.0f || (flags & 0x60000000u))
        return;
    TakeDamage(amount, 1);
    if (strength > 0.0f)
        return;
    if (g_pgcTest != nullptr)
        g_pgcTest->AddPoints(-20, this);
    world.playbackSpeed = 1.2f;
    if (reticlePr != nullptr && !(reticlePr->flags & 0x80000000u)) {
        reticlePr->flags |= OBJF_HIDDEN;
        shootingframe = UnsetFrame;
    }
    SetShootMode(SHOOT_NONE);
    if (cam != nullptr) {
        cam->zoom = 1.6f;
        cam->relposgoal = cam->relpos = VectorPos(0.0f, -0.46875f, 0.0f);
        cam->dist = cam->distgoal;
    }
    switch (mode) {
    case DACEMODE_GUNS:
        if ((mode2 == GUNS_GRAPPLE_START_ANI || IsShieldHold(mode2)) && shieldTarget != nullptr) {
            SpecialMessage m(SMSG_RELEASED, this);
            shieldTarget->SendMessage(OM_SPECIAL, &m);
            shieldTarget = nullptr;
        }
        BlendToAnim(collidestate == BACK_STATIC_FULL   ? GUNS_FWALL_KILLED_ANI
                    : collidestate == BACK_STATIC_HALF ? GUNS_HWALL_KILLED_ANI
                                                       : GUNS_KILLED_ANI,
                    5);
        break;
    case DACEMODE_CARTRANSITION: CancelCarTransition(); break;
    case DACEMODE_DRIVING: DetachFromCar(); break;
    default: BlendToAnim(GUNS_KILLED_ANI, 5); break;
    }
    collidestate = FREE;
}

// ---------------------------------------------------------------------------
// Moving with the guns out.

void Dace::GunMoveFree(PlayerController& pc)
{
    const u32 held = pc.pad & 0xFFFF;
    const u32 hit = pc.Hit();
    // 1. A held jump button jumps after 15 frames, a tap dives.
    if (jumpstartframe != UnsetFrame) {
        if (frame - jumpstartframe >= 15.0f) {
            StartGunJump(pc);
            jumpstartframe = UnsetFrame;
        } else if (!IsAnyJump(mode2) && !IsTackle(mode2) && !(held & BUT_TRIANGLE)) {
            StartGunDive(pc);
            jumpstartframe = UnsetFrame;
        }
    }
    // 2. Bullet time, from 5 to 35 frames after he left the ground in a gun
    // jump (the take-off's end marks `jumpframe`; a dive never leaves it).
    // The window is counted on the jump's own clips, the flight among them:
    // those are the frames he is off the ground with his guns out, and a
    // window that left out the gun flight clips would never open, since a
    // gun jump plays no other airborne clip.
    const bool window = IsGunJump(mode2) && jumpframe != UnsetFrame && frame - jumpframe >= 5.0f &&
                        frame - jumpframe <= 35.0f;
    if ((Ability() & BULLET_TIME) && window) {
        if (hit & BUT_TRIANGLE)
            jumpframe = frame - 35.0f;
        else
            world.playbackSpeed =
                std::max(world.playbackSpeed * kUnscale - SlowMoTransitionSpeed, SlowMoAnimationSpeed) * 1.2f;
    } else if (shootmode != SHOOT_PRECISION) {
        RecoverWorldSpeed();
    }
    // 3. Busy.
    auto leaveOut = [&] {
        if (collidestate == OUT_STATIC_FULL || collidestate == OUT_STATIC_HALF)
            collidestate = FREE;
    };
    if (IsBlowReceived(mode2) || IsGunRecoil(mode2) || IsAnyJump(mode2) || IsTackle(mode2)) {
        leaveOut();
        speed = 0.0f;
        return;
    }
    if (mode2 == GUNS_PUNCH_ANI || mode2 == GUNS_KICK_ANI || IsShield(mode2)) {
        leaveOut();
        if ((mode2 == GUNS_PUNCH_ANI || mode2 == GUNS_KICK_ANI) && target != nullptr) {
            const VectorPos to = target->GetRoot()->GetWorldPos() - GetWorldPos();
            if (VectorDir(to).LengthSq() < 0.299072265625f)
                TurnToward(VectorDir(to), 0.15707964f * world.playbackSpeed);
        }
        return;
    }
    if (IsArrest(mode2)) {
        leaveOut();
        return;
    }
    // 4, 5.
    speed = Length(VectorXYZ(pc.cdir));
    if ((hit & BUT_TRIANGLE) && CanJump()) {
        if (jumpstartframe == UnsetFrame)
            jumpstartframe = frame;
        return;
    }
    if (jumpstartframe != UnsetFrame)
        return;
    // 6.
    GunReorient();
    // 7. Out of cover.
    if (collidestate == OUT_STATIC_FULL || collidestate == OUT_STATIC_HALF) {
        if (speed != 0.0f) {
            collidestate = FREE;
        } else if ((mode2 == GUNS_FWALL_FIREBACK_L_ANI || mode2 == GUNS_FWALL_FIREBACK_R_ANI) &&
                   !leftgunarm.IsActive() && !rightgunarm.IsActive()) {
            collidestate = RETURNING_STATIC_FULL;
            BlendToAnim(mode2 == GUNS_FWALL_FIREBACK_L_ANI ? GUNS_FWALL_FIREBACK_RETURN_L_ANI
                                                           : GUNS_FWALL_FIREBACK_RETURN_R_ANI,
                        5);
            facemode = false;
            SetShootMode(SHOOT_NONE);
            exclusiveshots = 0;
            return;
        }
    }
    // 8, 9.
    if (shootmode == SHOOT_PRECISION || IsFireStart(mode2) || IsReloading(mode2))
        return;
    if (speed == 0.0f)
        return;
    const VectorDir dir = Normalise(pc.wdir);
    if (facemode)
        WalkTo_Gun(dir);
    else
        WalkTo(dir, 0.15707964f);   // the stride itself is the animate step's choice
}

void Dace::WalkTo_Gun(VectorDir dir)
{
    if (speed == 0.0f)
        return;
    if (target != nullptr)
        TurnToward(VectorDir(target->GetRoot()->GetWorldPos() - GetWorldPos()), 0.15707964f * world.playbackSpeed);
    else
        TurnToward(dir, 0.15707964f * world.playbackSpeed);
    const Matrix w = GetWorldMatrix();
    const VectorDir local(Dot(dir, VectorDir(w.x.xyz())), 0.0f, Dot(dir, VectorDir(w.z.xyz())));
    const float a = Heading(local);
    const bool running = OneOf(mode2, GUNS_RUN_INTERIOR_ANI, GUNS_RUN_EXTERIOR_ANI) || In(mode2, 298, 301);
    const int m = mode2;
    const bool back = m == GUNS_WALK_BACK_ANI || m == GUNS_RUN_BACK_ANI;
    const bool left = m == GUNS_WALK_SIDE_L_ANI || m == GUNS_RUN_SIDE_L_ANI;
    const bool fwd = m == GUNS_WALK_FWD_ANI || m == GUNS_RUN_FWD_ANI;
    const bool right = m == GUNS_WALK_SIDE_R_ANI || m == GUNS_RUN_SIDE_R_ANI;
    constexpr float d35 = 0.6108653f, d55 = 0.95993114f, d125 = 2.1816616f, d145 = 2.5307276f;
    int kind;   // 0 back, 1 left, 2 forward, 3 right
    if (a < -d145 || (back && a < -d125))
        kind = 0;
    else if (a < -d55 || (left && a < -d35))
        kind = 1;
    else if (a < d35 || (fwd && a < d55))
        kind = 2;
    else if (a < d125 || (right && a < d145))
        kind = 3;
    else
        kind = 0;
    static const u16 walk[4] = {GUNS_WALK_BACK_ANI, GUNS_WALK_SIDE_L_ANI, GUNS_WALK_FWD_ANI, GUNS_WALK_SIDE_R_ANI};
    static const u16 run[4] = {GUNS_RUN_BACK_ANI, GUNS_RUN_SIDE_L_ANI, GUNS_RUN_FWD_ANI, GUNS_RUN_SIDE_R_ANI};
    const u16 want = running ? run[kind] : walk[kind];
    if (want != mode2) {
        const bool reverse = (kind == 0 && fwd) || (kind == 2 && back) || (kind == 1 && right) || (kind == 3 && left);
        BlendToAnim(want, reverse ? 15 : 5);
        if (blendAnim != nullptr)
            blendAnim->flags |= 0x40;
    }
    idle = 0;
}

void Dace::StartGunJump(PlayerController& pc)
{
    jumpspeed = 0.0f;
    if (groundobj != nullptr) {
        const VectorPos at = mat.GetTrans();
        mat = LookAlong(VectorDir(mat.z.xyz()), VectorDir(groundobj->GetWorldMatrix().y.xyz()));
        mat.SetTrans(at);
    }
    const Matrix w = GetWorldMatrix();
    u16 anim;
    if (!facemode) {
        if (target != nullptr) {
            const VectorDir to = Normalise(VectorDir(target->GetRoot()->GetWorldPos() - w.GetTrans()));
            const float c = std::clamp(Dot(to, VectorDir(w.z.xyz())), -1.0f, 1.0f);
            const float ang = std::acos(c);
            if (ang <= 0.7853982f)
                anim = GUNS_JUMP_FWD_ANI;
            else if (ang > 2.3561947f)
                anim = GUNS_JUMP_FWD_SPIN_ANI;
            else
                anim = Dot(to, VectorDir(w.x.xyz())) < 0.0f ? GUNS_JUMP_SIDE_L_ANI : GUNS_JUMP_SIDE_R_ANI;
        } else {
            anim = (collidestate == OUT_STATIC_FULL || collidestate == OUT_STATIC_HALF) ? GUNS_JUMP_BACK_ANI
                                                                                       : GUNS_JUMP_FWD_ANI;
        }
    } else {
        const float a = Heading(pc.ldir);
        anim = (a < -2.3561947f || a >= 2.3561947f) ? GUNS_JUMP_BACK_ANI
               : a < -0.7853982f                   ? GUNS_JUMP_SIDE_L_ANI
               : a < 0.7853982f                    ? GUNS_JUMP_FWD_ANI
                                                   : GUNS_JUMP_SIDE_R_ANI;
    }
    BlendToAnim(anim, 1);
    collidestate = FREE;
    SendEvent(SMSG_EV_PLAYER_GUN_JUMP, gameeventobj);
    submode = PED_JUMPING_STANDING;
    verticaljumpspeed = 0.01397f;
}

void Dace::StartGunDive(PlayerController& pc)
{
    if (groundobj != nullptr) {
        const VectorPos at = mat.GetTrans();
        mat = LookAlong(VectorDir(mat.z.xyz()), VectorDir(groundobj->GetWorldMatrix().y.xyz()));
        mat.SetTrans(at);
    }
    if (!facemode) {
        BlendToAnim(GUNS_DIVE_FWD_ANI, 1);
        return;
    }
    const float a = Heading(pc.ldir);
    BlendToAnim((a < -2.3561947f || a >= 2.3561947f) ? GUNS_DIVE_BACK_ANI
                : a < -0.7853982f                   ? GUNS_DIVE_SIDE_L_ANI
                : a < 0.7853982f                    ? GUNS_DIVE_FWD_ANI
                                                    : GUNS_DIVE_SIDE_R_ANI,
                3);
}

// ---------------------------------------------------------------------------
// The shield and reloading.

bool Dace::TryShieldGrab()
{
    if (!(Ability() & 8))
        return false;
    Object* foe = FindNearestObject(GetWorldPos(), OBJT_CHARACTER, 0xD0000000u);
    if (foe == nullptr || (foe->flags & 0x70000000u) || Dist2(foe->GetWorldPos(), GetWorldPos()) >= 0.625f * 0.625f)
        return false;
    const Matrix saved = mat;
    {
        const VectorDir to = VectorDir(foe->GetWorldPos() - GetWorldPos());
        const VectorPos at = mat.GetTrans();
        mat = LookAlong(Normalise(VectorDir(to[0], 0.0f, to[2])));
        mat.SetTrans(at);
    }
    AnimChar* ac = DaceAnim::Anims[DaceAnim::gungrapple.anim];
    PoseGrabNode(ac, false);
    speed = 0.0f;
    for (GunArm* a : {&leftgunarm, &rightgunarm})
        if (a->mode > GunArm::CARRYING_TO_UNARMED)
            a->mode = GunArm::CARRYING;
    int answer = 0;
    if (g_pgcTest != nullptr && g_pgcTest->bInterior) {
        const int len = ac != nullptr ? int(reinterpret_cast<const u16*>(ac)[1]) : 0;
        SpecialMessage m(SMSG_GRABBED, this, int(GUNS_GRAPPLE_START_ANI), len, 2, 8);
        answer = foe->SendMessage(OM_SPECIAL, &m);
    }
    mat = saved;
    if (answer != 0) {
        BlendToAnim(GUNS_GRAPPLE_START_ANI, 3);
        curattack = &DaceAnim::gungrapple;
        grappleframe = frame;
        collidestate = FREE;
        shieldTarget = foe;
        target = nullptr;
        if (g_pgcTest != nullptr)
            g_pgcTest->stats.nHumanShields++;
    } else {
        BlendToAnim(GUNS_GRAPPLE_FAIL_ANI, 3);
    }
    return true;
}

void Dace::TryGunPickup()
{
    if (mode2 != GUNS_IDLE_ANI)
        return;
    Object* icon = FindNearestObject(GetWorldPos(), OBJT_ICON, 0xD0000000u);
    if (icon == nullptr)
        return;
    target2 = nullptr;
    if (Dist2(icon->GetWorldPos(), GetWorldPos()) >= 0.625f * 0.625f || icon->id != -999)
        return;
    auto* pu = static_cast<GunPickup*>(icon);
    // Only a gun dropped by this pickup goes to the right hand: one left
    // from a pickup that was cut short may be gone by now (dropped guns
    // expire).
    pRightPUWeapon = nullptr;
    if (!bHasLeftPickup) {
        pLeftPUWeapon = pu;
    } else {
        if (bHasRightPickup && rgun != nullptr) {
            CreateGunPickup(rgun->GetWorldMatrix(), VectorDir(0, 0, 0), &rightgunarm.weapon, kDroppedGunLife);
            rightgunarm.mode = GunArm::CARRYING_TO_UNARMED;
            rgun->Detach();
            rgun->Delete();
            rgun = rightgunarm.gun = nullptr;
        }
        if (lgun != nullptr) {
            pRightPUWeapon =
                CreateGunPickup(lgun->GetWorldMatrix(), VectorDir(0, 0, 0), &leftgunarm.weapon, kDroppedGunLife);
            leftgunarm.mode = GunArm::CARRYING_TO_UNARMED;
            lgun->Detach();
            lgun->Delete();
            lgun = leftgunarm.gun = nullptr;
        }
        pLeftPUWeapon = pu;
    }
    TurnToward(VectorDir(icon->GetWorldPos() - GetWorldPos()), 0.2617994f);
    BlendToAnim(GUNS_IDLE_PICKUP_ANI, 3);
}

void Dace::GunMoveHumanShield(PlayerController& pc)
{
    const u32 hit = pc.Hit();
    bool walk = true;
    // 1. The hold ends when he dies or is let go.
    if (shieldTarget != nullptr && ((shieldTarget->flags & 0x20000000u) || (hit & BUT_CIRCLE))) {
        BlendToAnim((shieldTarget->flags & 0x20000000u) ? GUNS_IDLE_RECOIL_L_ANI : GUNS_GRAPPLE_RELEASE_ANI, 8);
        SpecialMessage m(SMSG_RELEASED, this);
        shieldTarget->SendMessage(OM_SPECIAL, &m);
        shieldTarget = nullptr;
        curattack = &DaceAnim::attackbase;
        walk = false;
    }
    if (walk) {
        // 2.
        if (target != nullptr && rightgunarm.ModeIs(GunArm::CARRYING))
            rightgunarm.mode = GunArm::DRAWING_TO_AIM;
        // 3. Walking with him.
        if (Length(VectorXYZ(pc.cdir)) > 0.0f) {
            const float a = Heading(pc.ldir);
            u16 anim;
            int code;
            if (a < -2.1816616f || a >= 2.5307276f) {
                anim = GUNS_GRAPPLE_WALK_BACK_ANI;
                code = 33;
            } else if (a < -0.6108653f) {
                anim = GUNS_GRAPPLE_WALK_SIDE_L_ANI;
                code = 36;
            } else if (a < 0.95993114f) {
                anim = GUNS_GRAPPLE_WALK_FWD_ANI;
                code = 35;
            } else {
                anim = GUNS_GRAPPLE_WALK_SIDE_R_ANI;
                code = 37;
            }
            if (mode2 != anim)
                BlendToAnim(anim, 8);
            if (shieldTarget != nullptr)
                SendEvent(code, shieldTarget.p);
            if (target == nullptr && (code == 36 || code == 37)) {
                const VectorDir x(GetWorldMatrix().x.xyz());
                TurnToward(code == 36 ? -x : x, 0.03490659f * world.playbackSpeed);
            }
            collidestate = FREE;
        }
        // 4.
        if (target != nullptr) {
            VectorDir to = VectorDir(target->GetRoot()->GetWorldPos() - GetWorldPos());
            to[1] = 0.0f;
            if (to.LengthSq() > 0.0f)
                TurnToward(Normalise(to), 0.2617994f * world.playbackSpeed);
        }
    }
    // 5. Only the right gun fires past him.
    if ((hit & BUT_TRIGGER_R) && rightgunarm.IsLoaded()) {
        rightgunarm.ShootGun();
        LogShot();
        if (target != nullptr) {
            SpecialMessage m(SMSG_SHOT_AT, rightgunarm.gun);
            target->SendMessage(OM_SPECIAL, &m);
        }
        SendEvent(SMSG_EV_PLAYER_FIRED, gameeventobj);
    }
}

// A fresh gun of his own in a hand, hidden until the reload shows it.
Object* Dace::OwnGunInHand(bool right)
{
    MDLFILE* f = g_GlobalMFI.GetMF(baseWeapon.iGunMFIndex, false);
    if (f == nullptr)
        return nullptr;
    NODE* n = f->FindNodeById1(0, u16(baseWeapon.gunmdlindex));
    Object* g = f->GetHierarchy(n != nullptr ? u16(n - f->nodes) : 0, 112, 8);
    if (g == nullptr)
        return nullptr;
    NODE*& attach = right ? righthandattach : lefthandattach;
    const int id = right ? 0x8001 : 0x8002;
    if (Object* holder = FindNodeHierarchy(id, attach))
        holder->Attach(g, attach);
    g->flags |= OBJF_HIDDEN;
    return g;
}

void Dace::GunReloadGuns()
{
    struct Hand
    {
        bool& has;
        Object*& gun;
        GunArm& arm;
        bool right;
    };
    for (Hand h : {Hand{bHasRightPickup, rgun, rightgunarm, true}, Hand{bHasLeftPickup, lgun, leftgunarm, false}}) {
        if (!h.has || h.arm.gun == nullptr)
            continue;
        CreateGunPickup(h.arm.gun->GetWorldMatrix(), VectorDir(0, 0, 0), &h.arm.weapon, kDroppedGunLife);
        if (h.gun != nullptr) {
            h.gun->Detach();
            h.gun->Delete();
        }
        h.gun = OwnGunInHand(h.right);
        h.arm.gun = h.gun;
        h.arm.weapon = baseWeapon;
        h.has = false;
    }
    if (collidestate == BACK_STATIC_FULL) {
        BlendToAnim(GUNS_FWALL_RELOAD_ANI, 5);
    } else if (collidestate == BACK_STATIC_HALF) {
        BlendToAnim(GUNS_HWALL_RELOAD_ANI, 5);
    } else if (AnimChar* ac = DaceAnim::Anims[GUNS_IDLE_RELOAD_ANI]) {
        armOverlay.PlayAnim(ac, frame);
        overlayPlaying = GUNS_IDLE_RELOAD_ANI;
    }
    speed = 0.0f;
}
