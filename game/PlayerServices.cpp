// The player's services that every mode uses: starting animations, chaining
// melee attacks, the locomotion animation and its speed, the slow motion of
// finishing moves, going idle, head look and shoot modes, the reticles,
// health and death, the body spheres, the ground under him, wall planes for
// cover, and positioned sounds.
#include "game/Player.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/reticle.h"

// The footstep bank: no bank of its own is loaded, so footsteps ask bank 0.
unsigned short sndbank_foley = 0;

namespace {

// The world's relative speed a finishing move slows to, and its step.
constexpr float kSlowMoFloor = 0.6f;
constexpr float kTargetSpeed = 1.0f;
// Flag bits of the attack in progress on the object.
constexpr u32 kWarnPoseFlag = 0x2000;
// The camera's flag bit of precision aiming.
constexpr u32 kCamPrecisionFlag = 0x2;

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

bool IsWarnPose(u16 a) { return a == PED_WARN_PHYSICAL_ANI || InRange(a, PED_WARN_GUN_ASSUME_ANI, PED_WARN_GUN_RUN_ANI); }

bool IsAttackAnim(u16 a)
{
    if (InRange(a, COMBAT_GRAPPLED_ANI, COMBAT_GRAPPLE_BROKEN_2_ANI))
        return false;
    return InRange(a, COMBAT_BACK_H_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI) ||
           InRange(a, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_LAND_ANI) ||
           InRange(a, GUNS_PUNCH_ANI, GUNS_GRAPPLE_RELEASE_ANI) || a == PED_CHASE_TACKLE_INAIR_ANI ||
           InRange(a, PED_JUMP_AIRBORNE_STANDING_ANI, PED_JUMP_FALLING_SPRINTING_ANI) ||
           InRange(a, PED_SPRINT_JUMPCAR_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI) || a == STEALTH_JUMP_INAIR_ANI ||
           a == GUNS_JUMP_FWD_INAIR_ANI || a == GUNS_JUMP_BACK_INAIR_ANI || a == GUNS_JUMP_SIDE_L_INAIR_ANI ||
           a == GUNS_JUMP_SIDE_R_INAIR_ANI;
}

bool IsInCarAnim(u16 a)
{
    return InRange(a, CAR_IDLE_ANI, BIKE_WHEELIE_FIRE_R_ANI) || InRange(a, DRIVING_BRAKE_BACKWARDS_ANI, DRIVING_IDLE_SIREN_ON_ANI);
}

float Clamp(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }

// The playback factors of the gaits, from the movement speed.
float IdleToWalkFactor(float s) { return Clamp((s / 2.0f + 0.3125f) * 1.53846f, 0.75f, 1.25f); }
float WalkFactor(float s) { return Clamp((s / 2.0f + 0.2625f) * 2.85714f, 0.75f, 1.25f); }
float RunFactor(float s) { return Clamp((s / 4.0f + 0.3625f) * 2.22222f, 1.0f, 1.25f); }
float SprintFactor(float s) { return Clamp((s / 2.0f - 0.25f) * 5.0f, 0.75f, 1.25f); }
float FightMoveFactor(float s) { return Clamp(s / 2.0f + 0.5f, 0.5f, 1.0f); }
float GunStrafeFactor(float s) { return Clamp((s / 2.0f + 0.6f) * 1.25f, 0.75f, 1.25f); }

u16 GunRunFor(u16 walk)
{
    switch (walk) {
    case GUNS_WALK_SIDE_L_ANI: return GUNS_RUN_SIDE_L_ANI;
    case GUNS_WALK_SIDE_R_ANI: return GUNS_RUN_SIDE_R_ANI;
    case GUNS_WALK_BACK_ANI: return GUNS_RUN_BACK_ANI;
    default: return GUNS_RUN_FWD_ANI;
    }
}

u16 GunWalkFor(u16 run)
{
    switch (run) {
    case GUNS_RUN_SIDE_L_ANI: return GUNS_WALK_SIDE_L_ANI;
    case GUNS_RUN_SIDE_R_ANI: return GUNS_WALK_SIDE_R_ANI;
    case GUNS_RUN_BACK_ANI: return GUNS_WALK_BACK_ANI;
    default: return GUNS_WALK_FWD_ANI;
    }
}

u16 GunRunOutdoorsOrIn() { return g_pgcTest != nullptr && g_pgcTest->bInterior ? GUNS_RUN_INTERIOR_ANI : GUNS_RUN_EXTERIOR_ANI; }

bool IsSuperDace() { return g_pgcTest != nullptr && g_pgcTest->bSuperDace; }

void Flash(float frames, Colour c)
{
    if (g_pgcTest != nullptr)
        g_pgcTest->ScreenFlash(frames, c);
}

// A sample on a free channel, pinned at a world position.
int PlayAt(unsigned short bank, int sample, VectorPos pos)
{
    const int ch = sound.AllocChannel(false);
    if (ch < 0)
        return -1;
    sound.Play(ch, bank, u16(sample));
    sound.SetPosition(ch, pos);
    return ch;
}

}  // namespace

// ---------------------------------------------------------------------------
// Animation.

void Dace::SetAnim(u16 anim, int group, int index) { StartAnim(anim, 0, group, index, false, false); }

void Dace::BlendToAnim(u16 anim, int morph, int group, int index, bool flag)
{
    StartAnim(anim, morph, group, index, flag, true);
}

void Dace::StartAnim(u16 anim, int morph, int group, int index, bool flag, bool blend)
{
    const bool leftwarn = IsWarnPose(mode2);
    if (leftwarn)
        flags &= ~kWarnPoseFlag;
    for (OffensiveCollision& o : offcollobjs)
        o.Unbind();
    offenseactive = false;
    flags &= ~OBJF_NORELMOTION;

    AnimChar* a = nullptr;
    if (index >= 0) {
        const AnimGroup* g = group >= 0 ? g_GlobalAGI.GetAG(group) : nullptr;
        if (g != nullptr && index < g->count)
            a = g->pChars[index];
    } else if (anims != nullptr && anim < TOTAL_NUM_ANIS) {
        a = anims[anim];
    }
    const u8 bank = group >= 0 ? u8(group) : (animbanks != nullptr && anim < TOTAL_NUM_ANIS ? animbanks[anim] : 0);
    if (blend)
        Guy::BlendToAnim(anim, a, bank, morph, flag);
    else
        Guy::SetAnim(anim, a, bank);

    if (IsAttackAnim(anim)) {
        if (SendEvent(SMSG_EV_ATTACK_STARTED, gameeventobj, 4, int(anim)) == 0 && target != nullptr)
            SendEvent(SMSG_EV_ATTACK_STARTED, target, 4, int(anim));
    }
    if (leftwarn && !IsWarnPose(anim) && badge != nullptr)
        badge->flags |= OBJF_HIDDEN;
}

bool Dace::ChainAttack(DaceAnim::AttackType type, int morph)
{
    if (curattack == nullptr)
        return false;
    AttackInfo* next = nullptr;
    switch (type) {
    case ATTACK_PUNCH: next = curattack->nextpunchattack; break;
    case ATTACK_KICK: next = curattack->nextkickattack; break;
    case ATTACK_HIGHATTACK: next = curattack->nexthighattack; break;
    default: return false;
    }
    if (next == nullptr)
        return false;
    curattack = next;
    if (morph != 0)
        BlendToAnim(u16(next->anim), morph);
    else
        SetAnim(u16(next->anim));
    flags &= ~ATTACK_FLAG_MASK;
    curattackblock = curattackhit = -1;
    flags |= next->GetFlags();
    return true;
}

bool Dace::GoIdle()
{
    if (blendAnim != nullptr && (blendAnim->flags & ANIMF_XFADE))
        return false;
    const u16 idle = mode == DACEMODE_GUNS ? GUNS_FIRST_ANI : PED_IDLE_ANI;
    switch (mode2) {
    case PED_SPRINT_ANI:
        PedestrianModeNormal();
        BlendToAnim(PED_IDLE_ANI, 45);
        return true;
    case STEALTH_WALK_ANI:
    case STEALTH_RUN_ANI:
        PedestrianModeNormal();
        BlendToAnim(STEALTH_FIRST_ANI, 45);
        return true;
    case PED_WALK_ANI:
    case PED_RUN_ANI:
    case GUNS_WALK_ANI:
    case GUNS_RUN_INTERIOR_ANI:
    case GUNS_RUN_EXTERIOR_ANI:
        PedestrianModeNormal();
        BlendToAnim(idle, 30);
        return true;
    default:
        if (InRange(mode2, GUNS_WALK_FWD_ANI, GUNS_RUN_SIDE_R_ANI)) {
            PedestrianModeNormal();
            BlendToAnim(idle, 15);
            return true;
        }
        return false;
    }
}

// The locomotion rule of the animation playing: may start another gait; the
// factor scales the animation's speed; again asks for the new animation's
// rule in the same frame.
float Dace::LocomotionFactor(bool& again)
{
    again = false;
    const bool locked = blendAnim != nullptr && (blendAnim->flags & ANIMF_XFADE);
    const float s = speed;
    switch (mode2) {
    case PED_IDLE_ANI:
    case PED_IDLE_LOOKAROUND_ANI:
    case PED_IDLE_FOOTWORK_ANI:
    case PED_IDLE_CHECKTIME_ANI:
    case PED_ARREST_FAIL_ANI:
    case DETECTIVE_CONFUSED_ANI:
        PedestrianModeNormal();
        BlendToAnim(PED_WALK_ANI, 45);
        return IdleToWalkFactor(s);
    case PED_WALK_ANI:
        if (s < 0.36f || locked)
            return WalkFactor(s);
        BlendToAnim(PED_RUN_ANI, 20);
        PedestrianModeRun();
        again = true;
        return 1.0f;
    case PED_RUN_ANI:
        if (s < 0.34f && !locked) {
            PedestrianModeWalk();
            BlendToAnim(PED_WALK_ANI, 20);
            return 1.0f;
        }
        if (s < 0.81f || locked || norunning)
            return RunFactor(s);
        BlendToAnim(PED_SPRINT_ANI, 20);
        PedestrianModeRun();
        again = true;
        return 1.0f;
    case PED_SPRINT_ANI:
        if (s < 0.79f && !locked) {
            BlendToAnim(mode == DACEMODE_FISTS || combatuntilidleloop ? COMBAT_RUN_FWD_ANI : PED_RUN_ANI, 20);
            return 1.0f;
        }
        return SprintFactor(s);
    case COMBAT_IDLE_ANI:
    case COMBAT_IDLE_SETTLE_ANI:
    case COMBAT_IDLE_SETTLE_TAUNT_ANI:
    case COMBAT_IDLE_ASSUME_ANI:
    case COMBAT_IDLE_KATA_ANI:
    case COMBAT_IDLE_STRETCH_ANI:
    case COMBAT_IDLE_FAKEATTACK_ANI:
        if (facemode)
            BlendToAnim(COMBAT_MOVE_FWD_ANI, 10);
        else
            BlendToAnim(COMBAT_RUN_FWD_ANI, 15);
        again = true;
        return 1.0f;
    case COMBAT_MOVE_FWD_ANI:
    case COMBAT_MOVE_BACK_ANI:
    case COMBAT_MOVE_LEFT_ANI:
    case COMBAT_MOVE_RIGHT_ANI:
        if (!facemode) {
            BlendToAnim(COMBAT_RUN_FWD_ANI, 15);
            again = true;
            return 1.0f;
        }
        return FightMoveFactor(s);
    case COMBAT_RUN_FWD_ANI:
        return FightMoveFactor(s);
    case GUNS_IDLE_ANI:
    case GUNS_IDLE_2_ANI:
    case GUNS_IDLE_FIRE_ANI:
    case GUNS_FWALL_FIREBACK_L_ANI:
    case GUNS_FWALL_FIREBACK_R_ANI:
    case GUNS_HWALL_FIREBACK_L_ANI:
    case GUNS_HWALL_FIREBACK_R_ANI:
        BlendToAnim(facemode ? GUNS_WALK_FWD_ANI : GUNS_WALK_ANI, 15);
        again = true;
        return 1.0f;
    case GUNS_WALK_ANI:
        if (s < 0.36f || locked)
            return WalkFactor(s);
        if (!facemode && mode != DACEMODE_GUNS) {
            BlendToAnim(PED_WALK_ANI, 15);
            return 1.0f;
        }
        BlendToAnim(GunRunOutdoorsOrIn(), 15);
        PedestrianModeRun();
        return 1.0f;
    case GUNS_RUN_INTERIOR_ANI:
    case GUNS_RUN_EXTERIOR_ANI:
        if (s < 0.34f && !locked) {
            PedestrianModeWalk();
            BlendToAnim(GUNS_WALK_ANI, 15);
            return 1.0f;
        }
        return IdleToWalkFactor(s);
    case GUNS_WALK_FWD_ANI:
    case GUNS_WALK_SIDE_L_ANI:
    case GUNS_WALK_SIDE_R_ANI:
    case GUNS_WALK_BACK_ANI:
        if (mode2 == GUNS_WALK_FWD_ANI && !facemode) {
            BlendToAnim(GUNS_WALK_ANI, 15);
            again = true;
            return 1.0f;
        }
        if (s < 0.81f || locked)
            return GunStrafeFactor(s);
        BlendToAnim(GunRunFor(mode2), 10);
        PedestrianModeRun();
        return 1.0f;
    case GUNS_RUN_FWD_ANI:
    case GUNS_RUN_BACK_ANI:
    case GUNS_RUN_SIDE_L_ANI:
    case GUNS_RUN_SIDE_R_ANI: {
        if (mode != DACEMODE_GUNS)
            return 1.0f;
        if (mode2 == GUNS_RUN_FWD_ANI && !facemode) {
            const int now = world.time;
            bool shot = false;
            for (WorldTime t : firetimes)
                shot |= t != -1 && now - t < 180;
            if (!shot) {
                BlendToAnim(GunRunOutdoorsOrIn(), 15);
                again = true;
                return 1.0f;
            }
        }
        if (s < 0.79f && !locked) {
            PedestrianModeWalk();
            BlendToAnim(GunWalkFor(mode2), 10);
            again = true;
            return 1.0f;
        }
        return SprintFactor(s);
    }
    case STEALTH_IDLE_ANI:
    case STEALTH_IDLE_CROUCH_ANI:
    case STEALTH_IDLE_LOOKAROUND_ANI:
        BlendToAnim(STEALTH_WALK_ANI, 45);
        return IdleToWalkFactor(s);
    case STEALTH_WALK_ANI:
        if (s < 0.36f || locked)
            return WalkFactor(s);
        BlendToAnim(STEALTH_RUN_ANI, 15);
        return 1.0f;
    case STEALTH_RUN_ANI:
        if (s < 0.34f && !locked) {
            BlendToAnim(STEALTH_WALK_ANI, 15);
            return 1.0f;
        }
        return IdleToWalkFactor(s);
    default:
        return 1.0f;
    }
}

void Dace::Animate()
{
    animspeed = 1.0f;
    if (InRange(mode2, COMBAT_BACK_H_ANI, COMBAT_FINISH_JUMPKICK_ANI) ||
        InRange(mode2, COMBAT_RUNNING_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI))
        animspeed = 1.6f;

    // The world slows down through a finishing move and back up after it.
    const float r = world.GetRelativeSpeed();
    if (finishingstartcount != Never || InRange(mode2, COMBAT_FINISH_PUNCH_ANI, COMBAT_FINISH_JUMPKICK_ANI)) {
        if (r > kSlowMoFloor)
            world.SetRelativeSpeed(r - SlowMoTransitionSpeed);
    } else if (mode != DACEMODE_GUNS && r < kTargetSpeed) {
        world.SetRelativeSpeed(std::min(r + SlowMoTransitionSpeed, kTargetSpeed));
    }

    if (!IsInCarAnim(mode2)) {
        if (speed == 0.0f) {
            if (!InRange(mode2, COMBAT_FIRST_ANI, COMBAT_LAST_ANI))
                GoIdle();
        } else {
            // A gait change may hand over to the new animation's own rule;
            // a handful of hand-overs is the most any chain takes.
            float factor = 1.0f;
            for (int pass = 0; pass < 4; pass++) {
                bool again = false;
                factor = LocomotionFactor(again);
                if (!again)
                    break;
            }
            animspeed *= factor;
        }
    }
    AnimateHierarchy(animspeed);
}

void Dace::PedestrianModeNormal()
{
    if (cam != nullptr)
        cam->dirangaccel = Camera::AngleDirAccel;
}

void Dace::PedestrianModeWalk()
{
    if (cam != nullptr)
        cam->dirangaccel = Camera::AngleDirAccelMoving;
}

void Dace::PedestrianModeRun()
{
    if (cam != nullptr)
        cam->dirangaccel = Camera::AngleDirAccelSprinting;
}

void Dace::SetLookMode(LookMode m)
{
    if (m == lookmode)
        return;
    const u32 now = u32(world.time);
    if (lookmode == NOT_LOOKING) {
        pointhead = true;
        lookstart = lastlook = now;
    }
    if (m == ALWAYS_LOOKING) {
        pointhead = true;
        lookstart = now;
    } else if (m == NOT_LOOKING) {
        pointhead = false;
    }
    lookmode = m;
}

void Dace::SetShootMode(ShootMode s)
{
    if (s == shootmode)
        return;
    if (shootmode == SHOOT_NORMAL && s != SHOOT_PRECISION)
        facemode = false;
    if (shootmode == SHOOT_PRECISION) {
        if (auto* pr = static_cast<PreciseReticle*>(reticlePr.p)) {
            pr->EndPrecision();
            if (pr->IsDead() || pr->mode == TARGET_MODE_FADEOUT)
                reticlePr = nullptr;
        }
        if (mode != DACEMODE_DRIVING)
            BlendToAnim(GUNS_IDLE_FIRE_ANI, 15);
        if (cam != nullptr)
            cam->flags &= ~kCamPrecisionFlag;
        if (!leftgunarm.ModeIs(GunArm::UNARMED) && !leftgunarm.ModeIs(GunArm::CARRYING))
            leftgunarm.mode = GunArm::CARRYING;
    }
    switch (s) {
    case SHOOT_NORMAL:
        facemode = target != nullptr;
        target2 = nullptr;
        break;
    case SHOOT_RELOAD: shootingframe = UnsetFrame; break;
    case SHOOT_PRECISION:
        if (target != nullptr) {
            if (reticle != nullptr)
                static_cast<Reticle*>(reticle.p)->Hide();
            if (reticlePr == nullptr) {
                reticlePr = PreciseReticle::Create(static_cast<Reticle*>(reticle.p));
            } else {
                static_cast<PreciseReticle*>(reticlePr.p)->Init(static_cast<Reticle*>(reticle.p));
                reticlePr->flags &= ~OBJF_HIDDEN;
            }
            facemode = true;
        }
        if (mode != DACEMODE_DRIVING)
            BlendToAnim(GUNS_PRECISION_AIM_ANI, 15);
        if (rightgunarm.mode > GunArm::CARRYING)
            rightgunarm.mode = GunArm::CARRYING;
        leftgunarm.ImmediateRelaxArm();
        target2 = nullptr;
        speed = 0.0f;
        if (cam != nullptr)
            cam->flags |= kCamPrecisionFlag;
        break;
    case SHOOT_INAIR: break;
    default:
        shootingframe = UnsetFrame;
        facemode = false;
        break;
    }
    shootmode = s;
}

void Dace::UpdateReticle(bool incar)
{
    for (RCptr<Object>* r : {&reticle, &reticle2, &reticlePr})
        if (*r != nullptr && (*r)->IsDead())
            *r = nullptr;
    auto make = [&]() -> Object* {
        Object* at = biproot != nullptr ? biproot : this;
        return incar ? CarAimReticle::Create(at) : AimingReticle::Create(at);
    };
    if (target != nullptr) {
        if (reticle == nullptr)
            reticle = make();
        if (reticle != nullptr)
            static_cast<Reticle*>(reticle.p)->Target(target);
        if (reticlePr != nullptr)
            static_cast<Reticle*>(reticlePr.p)->Target(target);
    } else {
        DeleteReticle(reticle);
    }
    if (target2 != nullptr) {
        if (reticle2 == nullptr)
            reticle2 = make();
        if (reticle2 != nullptr) {
            static_cast<Reticle*>(reticle2.p)->Target(target2);
            static_cast<Reticle*>(reticle2.p)->Hide();
        }
    } else {
        DeleteReticle(reticle2);
    }
}

// ---------------------------------------------------------------------------
// Health.

void Dace::TakeDamage(float amount, int)
{
    if (amount == 0.0f || IsSuperDace())
        return;
    const float left = std::max(strength - amount, 0.0f);
    if (left <= 0.0f) {
        Flash(90.0f, Colour(128, 0, 0, 128));
        if (car != nullptr && parent == car) {
            flags |= GUYF_DYING | GUYF_DEAD;
            car->rcoDriver = nullptr;
            SendEvent(SMSG_EV_CHARACTER_DIED, gameeventobj);
        } else {
            flags |= GUYF_DYING;
            SetBlendFactorHierarchy(this, 1, 0.0f);
            blendamt = 0.0f;
            SendEvent(SMSG_EV_KNOCKED_DOWN, gameeventobj);
            if (mode == DACEMODE_CARTRANSITION)
                CancelGetIn();
        }
        if (world.GetRelativeSpeed() < 1.0f)
            world.playbackSpeed = 1.2f;
    } else if (amount >= 1.0f) {
        Flash(Clamp(amount * 6.0f, 18.0f, 60.0f), Colour(48, 0, 0, 128));
    }
    strength = left;
}

void Dace::TakeFightingDamage(float amount)
{
    if (amount == 0.0f || strength <= 0.0f || (flags & (GUYF_DYING | GUYF_DEAD)) || IsSuperDace())
        return;
    TakeDamage(amount, 0);
    if (strength <= 0.0f || (flags & (GUYF_DYING | GUYF_DEAD)))
        curhitstodaze = totalhitstodaze;
}

// ---------------------------------------------------------------------------
// Body spheres.

void Dace::UpdateBodyColl()
{
    if (biproot == nullptr)
        return;
    auto at = [&](Object* o) { return o != nullptr ? o->GetRelativePos(biproot) : VectorPos(0.0f, 0.0f, 0.0f); };
    auto parentof = [](Object* o) { return o != nullptr ? o->parent : nullptr; };
    // A joint sphere grows from a small core to hold the further joints.
    auto grow = [](VectorPos first, std::initializer_list<VectorPos> more, float core) {
        Sphere s(first, core);
        for (const VectorPos& p : more)
            s = s + p;
        return s;
    };
    const VectorPos torsoat = at(torso);
    Sphere s[8];
    s[0] = grow(at(rarm), {at(parentof(rhand)), torsoat}, 0.0625f);
    s[1] = grow(at(larm), {at(parentof(lhand)), torsoat}, 0.0625f);
    s[2] = grow(torsoat, {at(parentof(lfoot)), at(parentof(rfoot))}, 0.09375f);
    // The feet: around the ankle, a toe ahead and the sole below; in the air
    // the toe points down the leg instead.
    const bool airborne = mode2 == PED_JUMP_AIRBORNE_STANDING_ANI || mode2 == PED_JUMP_AIRBORNE_RUNNING_ANI ||
                          mode2 == PED_JUMP_AIRBORNE_SPRINTING_ANI || mode2 == COMBAT_KNOCKDOWN_INAIR_ANI;
    for (int side = 0; side < 2; side++) {
        Object* foot = side == 0 ? lfoot : rfoot;
        const VectorPos f = at(foot);
        const VectorPos toe = airborne ? VectorPos(f[0], f[1] + 0.078125f, f[2]) : VectorPos(f[0], f[1], f[2] + 0.078125f);
        const VectorPos sole(f[0], f[1] - 0.03125f, f[2]);
        s[3 + side] = grow(f, {toe, sole}, 0.03125f);
    }
    s[5] = Sphere(at(lhand), 0.046875f);
    s[6] = Sphere(at(rhand), 0.046875f);
    s[7] = Sphere(at(head), 0.09375f);
    for (int i = 0; i < 8; i++) {
        CollSphere& c = bodycollspheres[i];
        c.type = COLL_SPHERE;
        c.child = 0;
        c.id = (i == 3 || i == 4) ? footrootcollmask : rootcollmask;
        c.sphere = s[i];
    }
    bodycollspheres[8] = CollSphere{};
    bodycollspheres[8].type = COLL_END;
    biproot->collision = reinterpret_cast<COLLISION*>(bodycollspheres);
}

// ---------------------------------------------------------------------------
// Ground and walls.

float Dace::UpdateGroundAndLandableHeight(VectorPos pos, VectorDir* normal, GHCache* cache)
{
    GameController* gc = g_pgcTest;
    if (gc != nullptr && gc->bInterior) {
        groundterrainy = gc->fInteriorHeight;
        groundterrainnormal = VectorDir(0.0f, -1.0f, 0.0f);
    } else {
        groundterrainy = world.GroundHeight(pos, &groundterrainnormal, cache);
    }

    bool found = false;
    if (groundupdatetime == 0) {
        groundobj = nullptr;
        float best = groundterrainy;
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o == nullptr || o == this || o->IsDead())
                continue;
            COLLISION* c = o->GetCollision();
            if (c == nullptr)
                continue;
            VectorDir n(0.0f, -1.0f, 0.0f);
            const float h = GetObjectGroundHeight(c, o->GetWorldMatrix(), best, pos, &n);
            if (h < best) {
                best = h;
                groundobj = o;
                groundobjy = h;
                groundobjnormal = n.LengthSq() > 0.0f ? Normalise(n) : VectorDir(0.0f, -1.0f, 0.0f);
                groundobjdist = 0.0f;
                found = true;
            }
        }
    }

    if (found && groundobjy < groundterrainy) {
        groundy = groundobjy;
        groundnormal = groundobjnormal;
    } else {
        const bool held = (InRange(mode2, COMBAT_GRAPPLED_ANI, COMBAT_GRAPPLE_BROKEN_2_ANI) && !grappleseparation) ||
                          victimdata != nullptr || mode2 == PED_ARREST_LYINGDOWN_L_ANI ||
                          mode2 == PED_ARREST_LYINGDOWN_R_ANI;
        if (!held) {
            if (found)
                AddToPopOut(VectorDir(groundobjnormal[0] * groundobjdist, 0.0f, groundobjnormal[2] * groundobjdist), true);
            if (groundterrainnormal[1] == 0.0f && cache != nullptr)
                AddToPopOut(groundterrainnormal * std::fabs(cache->rsres[3]), true);
        }
        if (found)
            groundobj = nullptr;
        groundy = groundterrainy;
        groundnormal = groundterrainnormal;
    }
    if (normal != nullptr)
        *normal = groundnormal;
    return groundy;
}

void Dace::SetCollidePlaneAndExtent(const Matrix& wallmat, const Cuboid& box, VectorDir dir)
{
    const VectorDir up(0.0f, -1.0f, 0.0f);
    VectorDir perp = VectorDir(dir ^ up);
    if (perp.LengthSq() > 0.0f)
        perp = Normalise(perp);
    collideperp = perp;
    collidexyextent = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    // The six faces: +x, +y, +z at the box's maximum, -x, -y, -z at its
    // minimum.
    for (int f = 0; f < 6; f++) {
        const int axis = f % 3;
        const float sign = f < 3 ? 1.0f : -1.0f;
        VectorDir ln(0.0f, 0.0f, 0.0f);
        ln[axis] = sign;
        const float d = f < 3 ? box.max[axis] : -box.min[axis];
        const VectorDir wn = Normalise(VectorDir(VectorDir(wallmat.x.xyz()) * ln[0] + VectorDir(wallmat.y.xyz()) * ln[1] +
                                                 VectorDir(wallmat.z.xyz()) * ln[2]));
        if (Dot(wn, dir) <= 0.708f)
            continue;
        // The face's centre in the world gives the plane's distance.
        VectorPos c((box.min[0] + box.max[0]) * 0.5f, (box.min[1] + box.max[1]) * 0.5f, (box.min[2] + box.max[2]) * 0.5f);
        c[axis] = sign * d;
        const VectorPos wc = wallmat * c;
        collideplane = Plane(wn, -Dot(wn, VectorDir(wc)));
        // The face's half extents along the wall and up it: the box's corners
        // measured from the face centre.
        float along = 0.0f, vertical = 0.0f;
        for (int k = 0; k < 8; k++) {
            const VectorPos corner((k & 1) ? box.max[0] : box.min[0], (k & 2) ? box.max[1] : box.min[1],
                                   (k & 4) ? box.max[2] : box.min[2]);
            const VectorDir off(wallmat * corner - wc);
            along = std::max(along, std::fabs(Dot(off, perp)));
            vertical = std::max(vertical, std::fabs(off[1]));
        }
        collidexyextent = Vector(along, vertical, 0.0f, 0.0f);
        break;
    }
}

VectorDir Dace::GetAnimVelocity() const
{
    if (blendAnim == nullptr)
        return VectorDir(0.0f, 0.0f, 0.0f);
    return blendAnim->Velocity();
}

// ---------------------------------------------------------------------------
// Positioned sounds.

void Dace::PlayCombatSfx(int sample, VectorPos pos, float pitch)
{
    const int ch = PlayAt(sndbank_comb, sample, pos);
    if (ch >= 0 && pitch != 1.0f)
        sound.SetPitch(ch, pitch, 0.0f);
}

void Dace::PlayVOSfx(int sample, VectorPos pos) { PlayAt(sndbank_vo, sample, pos); }

void Dace::PlayFoleySfx(int base, int offset, VectorPos pos) { PlayAt(sndbank_foley, base + offset, pos); }
