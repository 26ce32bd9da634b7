// The player on foot and in fists mode: the frame, the pad turned into
// steering and actions, and his feet on the ground (drops, falls, jumps and
// knock-down flights).  The animation loop is in PlayerPedLoop.cpp.
#include "game/Player.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/World.h"

#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"
#include "game/ShotEffects.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/StandIns.h"
#include "game/Vehicle.h"

using namespace pedanim;

namespace {

// Gravity of drops, jumps and flights, per frame per frame.
constexpr float kGravity = 0.000851562f;
// A drop up to this far is stepped down at once.
constexpr float kStepDown = 0.0625f;
// Frames of dropping before the drop becomes a fall.
constexpr u32 kDropToFall = 21;
// Frames after a take-off in which no landing is looked for.
constexpr u32 kNoLandingFrames = 8;
// Launch speeds, units per frame upward.
constexpr float kTackleLaunch = 0.0162983f;
constexpr float kSprintLaunch = 0.0186267f;
constexpr float kRunLaunch = 0.0151342f;
constexpr float kStandLaunch = 0.0116417f;
// Landing speeds: harder than the first lands heavily, than the second kills.
constexpr float kHardLanding = -0.0372533f;
constexpr float kFatalLanding = -0.0745066f;
// Below this forward speed a jump goes straight up.
constexpr float kMinJumpSpeed = 0.00465667f;
// A car farther than this (squared) cannot be entered.
constexpr float kCarReach2 = 14.0625f;
// The stick speed under which the fight's move animations walk.
constexpr float kWalkSpeed = 0.01397f;
constexpr int kHeadNode = 20;
constexpr int kEyeNode = 14;
constexpr u16 kRightHandLocator = 0x8001;
constexpr u16 kLeftHandLocator = 0x8002;
constexpr u32 kPropSize = 0x70;
constexpr int kVoiceDeath = 56;
constexpr int kEvAnimEvent = 23059;

constexpr u32 kPadL1 = u32(BUT_TRIGGER_L) << 16;
constexpr u32 kPadR1 = u32(BUT_TRIGGER_R) << 16;
constexpr u32 kPadTriangle = u32(BUT_TRIANGLE) << 16;
constexpr u32 kPadCircle = u32(BUT_CIRCLE) << 16;
constexpr u32 kPadCross = u32(BUT_CROSS) << 16;
constexpr u32 kPadSquare = u32(BUT_SQUARE) << 16;
constexpr u32 kPadFaceNew = kPadTriangle | kPadCircle | kPadCross | kPadSquare;

bool SuperDace() { return g_pgcTest != nullptr && g_pgcTest->bSuperDace; }

VectorDir Flat(VectorDir v) { return VectorDir(v[0], 0.0f, v[2]); }

// The world position of a node of an object, or of the object itself.
VectorPos NodePos(Object* o, int id)
{
    Object* n = o->FindSubObject(id);
    return n != nullptr ? n->GetWorldPos() : o->GetWorldPos();
}

}  // namespace

// The point landings are measured at.  The body's sub-object 31 is the grab
// point on his chest, far above the soles, so his own position (the soles)
// is taken instead.
VectorPos Dace::GroundReference() const { return GetWorldPos(); }

// ---------------------------------------------------------------------------
// The frame.

void Dace::Frame_PedestrianMode(PlayerController& c)
{
    for (OffensiveCollision& oc : offcollobjs)
        oc.Update();

    // A face button late in a landed combo ends the blow at once, so the
    // buffered next one starts without waiting for the animation's end.
    const u32 now = u32(world.time);
    if (curattackhit != -1 && curattackblock == -1 && !(flags & 0x2000) && now - u32(curattackhit) >= 14 &&
        (c.pad & kPadFaceNew) && (mode == DACEMODE_FISTS || combatuntilidleloop) &&
        (In(mode2, COMBAT_BACK_H_ANI, COMBAT_KNIFE_THROW_ANI) || In(mode2, COMBAT_RUNNING_P_ANI, COMBAT_RUNNING_H_ANI)))
        Loop_PedestrianMode(this, 0, true);

    CheckOnFootTarget();
    UpdateDazeState();

    if (target != nullptr) {
        const float dist = Length(VectorDir(target->GetWorldPos() - mat.GetTrans()));
        auto walkOn = [&](u16 slow, u16 fast) { BlendToAnim(speed < kWalkSpeed ? slow : fast, 10); };
        if (mode != DACEMODE_FISTS) {
            facemode = false;
        } else if (task < Task_Defeat) {
            if (dist > CombatVicinity) {
                if (MoveAnim(mode2))
                    walkOn(PED_WALK_ANI, PED_RUN_ANI);
                SwitchToOnFootPedestrianMode();
                facemode = false;
                target = nullptr;
            }
        } else if ((task == Task_Defeat || task == Task_Shootout || task == Task_Infiltrate) && facemode) {
            if (dist > MaxCombatDist) {
                if (MoveAnim(mode2))
                    walkOn(PED_WALK_ANI, PED_RUN_ANI);
                SwitchToMode(DACEMODE_ONFOOT, false);
                facemode = false;
                target = nullptr;
            } else if (dist > CombatVicinity) {
                if (MoveAnim(mode2) && mode2 != COMBAT_MOVE_FWD_ANI)
                    walkOn(COMBAT_MOVE_FWD_ANI, COMBAT_RUN_FWD_ANI);
                facemode = false;
            }
        }
    }

    speed = Length(c.cdir);
    PedestrianMoveCamera(c);

    if (mode2 == PED_ARREST_START_ANI && arrestguy != nullptr)
        TurnToward(Flat(VectorDir(arrestguy->GetWorldPos() - mat.GetTrans())), 0.523599f * world.playbackSpeed);

    if (mode != DACEMODE_CINEWALK)
        PedestrianMovement(c);

    centercamera = (c.pad & BUT_THUMB_R) != 0;

    // Head look: the fight target, else whoever is nearest.
    Object* look = target != nullptr ? static_cast<Object*>(target) : FindNearestObject(mat.GetTrans(), 1, 0xD0000000);
    if (look == nullptr) {
        SetLookMode(NOT_LOOKING);
    } else {
        const bool guy = look->type == OBJT_CHARACTER;
        headpointguy = guy ? static_cast<Guy*>(look) : nullptr;
        headpointloc = guy ? NodePos(look, kHeadNode) : look->GetWorldPos();
        if (mode != DACEMODE_FISTS) {
            lookcomfort = LookComfort(0);
            SetLookMode(SOMETIMES_LOOKING);
        } else {
            lookcomfort = LookComfort(2);
            if (facemode && (In(mode2, COMBAT_BACK_H_ANI, COMBAT_FINISH_JUMPKICK_ANI) ||
                             In(mode2, COMBAT_RUNNING_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI) || mode2 == GUNS_PUNCH_ANI ||
                             mode2 == GUNS_KICK_ANI))
                SetLookMode(ALWAYS_LOOKING);
            else if (facemode && In(mode2, COMBAT_BLOCK_LOW_ANI, COMBAT_BLOCK_HIGH_2_ANI))
                SetLookMode(SOMETIMES_LOOKING);
            else if (Hit(mode2))
                SetLookMode(NOT_LOOKING);
            else
                SetLookMode(ALMOST_ALWAYS_LOOKING);
        }
    }

    Animate();

    if (Airborne(mode2)) {
        if (mode2 == COMBAT_KNOCKDOWN_INAIR_ANI)
            CombatKnockdownCheckGroundContact();
        else if (submode != PED_JUMPING_OVERHOOD)
            PedestrianCheckGroundContact();
    } else {
        PedestrianCheckForFall();
    }

    lastrelativecontrollerdir = c.ldir;
}

void Dace::Frame_CineWalkMode(PlayerController&)
{
    StandInUsed("the player's cinematic walk");
    Animate();
}

// ---------------------------------------------------------------------------
// Steering and actions.

void Dace::WalkTo(VectorDir dir, float turnspeed)
{
    if (speed == 0.0f)
        return;
    TurnToward(Normalise(dir), turnspeed * world.playbackSpeed);
    idle = 0;
}

void Dace::PedestrianMovement(PlayerController& c)
{
    const u32 pad = c.pad;
    const u16 a = mode2;
    auto carEntry = [&]() -> bool {
        Vehicle* v = FindCar(true);
        if (v != nullptr && VectorDir(v->GetWorldPos() - mat.GetTrans()).LengthSq() < kCarReach2 && TryGettingIn(v))
            return true;
        BlendToAnim(PED_IDLE_COMMANDEER_FAIL_ANI, 5);
        return false;
    };
    const bool l1Allowed = (pad & kPadL1) && a != PED_IDLE_COMMANDEER_FAIL_ANI && !Warning(a) && !Hit(a) &&
                           !Attack(a) && !Jump(a) && !CarTransition(a);

    if (Grappled(a)) {
        VictimUpdate(c);
    } else if (mode == DACEMODE_FISTS) {
        const bool busy = (overlayPlaying != -1) || Attack(a) || Warning(a) || Arrest(a) ||
                          In(a, COMBAT_BLOCK_LOW_ANI, COMBAT_BLOCK_HIGH_2_ANI) || Hit(a) || Jump(a) ||
                          a == COMBAT_IDLE_ASSUME_ANI || a == COMBAT_IDLE_KATA_ANI || a == COMBAT_IDLE_ENTER_FIGHT_ANI ||
                          a == COMBAT_IDLE_BEGIN_FIGHT_ANI;
        if (busy) {
            if (target != nullptr && facemode && !(overlayPlaying != -1) && Attack(a) &&
                !In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_ANI) &&
                !In(a, COMBAT_LYINGDOWN_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI))
                TurnToward(Flat(VectorDir(target->GetWorldPos() - mat.GetTrans())), 0.0581776f * world.playbackSpeed);
        } else if (l1Allowed) {
            if (carEntry())
                combatuntilidleloop = false;
        } else if (facemode) {
            WalkTo_Combat(c.wdir, 0.523599f);
        } else {
            WalkTo(c.wdir, 0.523599f);
        }
    } else if (Hit(a) || Attack(a)) {
        speed = 0.0f;
    } else if (Jump(a)) {
        if (Airborne(a))
            mat.SetTrans(mat.GetTrans() + Flat(VectorDir(mat.z.xyz())) * (jumpspeed * world.playbackSpeed));
        speed = 0.0f;
    } else if (l1Allowed) {
        carEntry();
    } else if ((pad & kPadTriangle) && (Idle(a) || a == PED_WALK_ANI || a == PED_RUN_ANI || a == PED_SPRINT_ANI) &&
               CanJump()) {
        jumpspeed = std::max(GetAnimVelocity()[2], 0.0f);
        if (jumpspeed < kMinJumpSpeed)
            jumpspeed = 0.0f;
        if (speed >= SprintThreshold) {
            submode = PED_JUMPING_SPRINTING;
            BlendToAnim(PED_JUMP_TAKEOFF_SPRINTING_ANI, 5);
        } else if (speed >= RunThreshold) {
            submode = PED_JUMPING_RUNNING;
            BlendToAnim(PED_JUMP_TAKEOFF_RUNNING_ANI, 3);
        } else {
            submode = PED_JUMPING_STANDING;
            BlendToAnim(PED_JUMP_TAKEOFF_STANDING_ANI, 3);
        }
    } else if (Warning(a) || Arrest(a)) {
        // Only the warning shot, which the guns' own code fires.
    } else if (!(overlayPlaying != -1) && task < Task_Defeat && (pad & kPadFaceNew) && !Jump(a) &&
               !CarTransition(a)) {
        AcquireFightTarget(true);
        BlendToAnim(COMBAT_IDLE_ANI, 10);
        SwitchToOnFootCombatMode();
        combatuntilidleloop = true;
        target = nullptr;
    } else {
        WalkTo(c.wdir, 0.0872665f);
    }

    if (!Arrest(mode2) && !Airborne(mode2) && !(Landing(mode2) && mode2 != PED_JUMP_LAND_WALKING_ANI) &&
        (mode == DACEMODE_FISTS || combatuntilidleloop))
        CombatPerformAttacks(c);

    if (speed == 0.0f && ++idle == 1 && !Warning(mode2) && !Hit(mode2) && !Attack(mode2) && !Arrest(mode2) &&
        !Jump(mode2) && !CarTransition(mode2)) {
        if (!GoIdle() && !Idle(mode2) && !CombatIdle(mode2))
            BlendToAnim(mode == DACEMODE_FISTS ? COMBAT_IDLE_ANI : PED_IDLE_ANI, 15);
        if (biproot != nullptr) {
            const VectorDir z = Flat(VectorDir(biproot->mat.z.xyz()));
            if (z.LengthSq() > 0.0f) {
                const Matrix m = LookAlong(Normalise(z));
                biproot->mat.x = m.x;
                biproot->mat.y = m.y;
                biproot->mat.z = m.z;
            }
        }
        usercam = false;
    }
}

// ---------------------------------------------------------------------------
// Ground.

void Dace::PedestrianCheckForFall()
{
    if (CarTransition(mode2) || Grappled(mode2))
        return;
    VectorPos p = mat.GetTrans();
    const float g = UpdateGroundAndLandableHeight(p, nullptr, &ghc);
    if (g >= 0.0f)
        return;
    const u32 now = u32(world.time);

    if (jumpframe != UnsetFrame && frame - jumpframe < 7.0f) {
        p[1] = g;
        mat.SetTrans(p);
        return;
    }
    if (droptime == Never) {
        if (p[1] + kStepDown >= g) {
            p[1] = g;
        } else if (!In(mode2, COMBAT_BACK_H_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI)) {
            p[1] -= kGravity;
            droptime = now;
        }
        mat.SetTrans(p);
        return;
    }
    const float fallen = float(now - droptime) * kGravity;
    if (p[1] + fallen < g) {
        p[1] += fallen;
        if (now - droptime >= kDropToFall && !Airborne(mode2) && !Landing(mode2) &&
            !In(mode2, COMBAT_BACK_H_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI)) {
            BlendToAnim(PED_JUMP_FALLING_STANDING_ANI, 2);
            submode = PED_JUMPING_STANDING;
            jumptime = droptime;
            droptime = Never;
            jumpframe = frame;
        }
    } else {
        p[1] = g;
        droptime = Never;
    }
    mat.SetTrans(p);
}

void Dace::PedestrianCheckGroundContact()
{
    const VectorPos r = GroundReference();
    const u32 now = u32(world.time);
    const u32 e = now - jumptime;
    float v = 0.0f;
    if (jumptime != Never) {
        float launch = kStandLaunch;
        if (In(mode2, PED_CHASE_TACKLE_ANI, PED_CHASE_TACKLE_LAND_ANI))
            launch = kTackleLaunch;
        else if (submode == PED_JUMPING_SPRINTING)
            launch = kSprintLaunch;
        else if (submode == PED_JUMPING_RUNNING)
            launch = kRunLaunch;
        else if (In(mode2, PED_SPRINT_JUMPCAR_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI))
            launch = 0.0f;
        v = launch - float(e) * kGravity;
    }
    VectorPos p = mat.GetTrans();
    p[1] -= v * world.playbackSpeed;
    mat.SetTrans(p);

    UpdateGroundAndLandableHeight(r, nullptr, &ghc);
    if (e < kNoLandingFrames)
        return;
    if (!(groundy <= r[1] || groundobj != nullptr))
        return;

    flags &= ~0x20000u;
    const bool tackle = mode2 == PED_CHASE_TACKLE_INAIR_ANI;
    if (v < kFatalLanding && !SuperDace()) {
        if (tackle)
            BlendToAnim(PED_CHASE_TACKLE_LAND_ANI, 7);
        else
            BlendToAnim(PED_JUMP_LAND_FALLING_HIGH_ANI, 2);
        TakeDamage(strength, 6);
        flags |= GUYF_DEAD;
        SendEvent(SMSG_EV_CHARACTER_DIED, gameeventobj);
    } else if (tackle) {
        BlendToAnim(PED_CHASE_TACKLE_LAND_ANI, 7);
    } else if (v < kHardLanding) {
        BlendToAnim(PED_JUMP_LAND_FALLING_ANI, 2);
    } else if (submode == PED_JUMPING_SPRINTING) {
        BlendToAnim(PED_JUMP_LAND_SPRINTING_ANI, 2);
    } else if (submode == PED_JUMPING_RUNNING) {
        BlendToAnim(PED_JUMP_LAND_RUNNING_ANI, 2);
    } else {
        BlendToAnim(PED_JUMP_LAND_STANDING_ANI, 7);
    }
    droptime = Never;
    jumptime = Never;
    jumpframe = UnsetFrame;
}

void Dace::CombatKnockdownCheckGroundContact()
{
    const u32 e = u32(world.time) - jumptime;
    const float v = airvelocity[1] - float(e) * kGravity;
    const VectorPos r = GroundReference();
    const float s = world.playbackSpeed;
    mat.SetTrans(mat.GetTrans() + VectorDir(0.0f, -v * s, 0.0f) + VectorDir(mat.z.xyz()) * (-airvelocity[2] * s) +
                 VectorDir(mat.x.xyz()) * (airvelocity[0] * s));

    UpdateGroundAndLandableHeight(r, nullptr, &ghc);
    if (e < kNoLandingFrames)
        return;
    if (!(groundy <= r[1] || groundobj != nullptr))
        return;
    flags &= ~0x20000u;
    const u16 next = DaceAnim::AnimTransitions[mode2];
    if (next != 0)
        BlendToAnim(next, DaceAnim::AnimTransMorphLens[mode2]);
    droptime = Never;
    jumptime = Never;
    jumpframe = UnsetFrame;
}

// ---------------------------------------------------------------------------
// Still to come: events, collisions, paired moves.

int Dace::AnimEvent_PedestrianMode(Object* obj, int type, int)
{
    auto hide = [](Object* o, bool hidden) {
        if (o == nullptr)
            return;
        if (hidden)
            o->flags |= 1u;
        else
            o->flags &= ~1u;
    };
    auto shake = [](bool vertical, bool major) {
        if (Camera* k = GetCurrentCam())
            k->Shake(vertical, major);
    };
    auto grunt = [&](int n) {
        Object* at = FindSubObject(kEyeNode);
        if (at == nullptr)
            at = FindSubObject(kHeadNode);
        PlayVOSfx(n, at != nullptr ? at->GetWorldPos() : GetWorldPos());
    };
    // A picked-up gun into a hand: its model replaces the hand's gun.
    auto takePickup = [&](GunPickup*& pickup, Object*& gun, NODE*& attach, GunArm& arm, u16 handid, bool& has) {
        if (pickup == nullptr)
            return;
        const Weapon& w = pickup->weapon;
        if (w.iGunMFIndex >= 0) {
            if (MDLFILE* mf = g_GlobalMFI.GetMF(w.iGunMFIndex, false)) {
                if (gun != nullptr) {
                    gun->Detach();
                    gun->Delete();
                    gun = nullptr;
                }
                NODE* n = mf->FindNodeById1(0, u16(w.gunmdlindex));
                gun = mf->GetHierarchy(n != nullptr ? u16(n - mf->nodes) : 0, kPropSize, GH_ANIMATE);
                NODE* node = FindNode(handid);
                Object* carrier = node != nullptr ? this : (child != nullptr ? child->FindNodeHierarchy(handid, node) : nullptr);
                attach = node;
                if (gun != nullptr) {
                    if (carrier != nullptr)
                        carrier->Attach(gun, node);
                    gun->flags &= ~1u;
                }
                arm.gun = gun;
                arm.weapon = w;
            }
        }
        arm.ArmGun();
        has = true;
        pickup->Delete();
        pickup = nullptr;
    };

    switch (type) {
    case 29: {
        OffensiveCollision* free = nullptr;
        for (OffensiveCollision& oc : offcollobjs)
            if (free == nullptr && oc.boundobj == nullptr && oc.isbindactive == 0)
                free = &oc;
        offenseactive = true;
        if (free != nullptr && obj != nullptr && obj->parent != nullptr)
            free->QueueBind(obj, fightoffensivecollmask);
        break;
    }
    case 30: {
        OffensiveCollision* bound = nullptr;
        bool any = false;
        for (OffensiveCollision& oc : offcollobjs) {
            if (bound == nullptr && oc.boundobj == obj)
                bound = &oc;
            any |= oc.boundobj != nullptr || oc.isbindactive != 0;
        }
        offenseactive = any;
        if (bound != nullptr)
            bound->QueueUnbind();
        break;
    }
    case 45: leftgunarm.FakeShot(); break;
    case 46: rightgunarm.FakeShot(); break;
    case 130:
        hide(lgun, false);
        hide(badge, true);
        leftgunarm.ArmGun();
        break;
    case 131:
        hide(rgun, false);
        rightgunarm.ArmGun();
        break;
    case 132:
        hide(lgun, true);
        leftgunarm.DisarmGun();
        break;
    case 133:
        hide(rgun, true);
        rightgunarm.DisarmGun();
        break;
    case 136: hide(badge, false); break;
    case 137: hide(badge, true); break;
    case 140: shake(true, false); break;
    case 141: shake(true, true); break;
    case 142: shake(false, false); break;
    case 143: shake(false, true); break;
    case 144:
        takePickup(pRightPUWeapon, rgun, righthandattach, rightgunarm, kRightHandLocator, bHasRightPickup);
        takePickup(pLeftPUWeapon, lgun, lefthandattach, leftgunarm, kLeftHandLocator, bHasLeftPickup);
        break;
    case 150: grappleseparation = true; break;
    case 151: TakeFightingDamage(10.0f); break;
    case 152: TakeFightingDamage(4.0f); break;
    case 153: TakeFightingDamage(6.0f); break;
    case 170: grunt(rand() >> 30); break;
    case 171: grunt(3 + (rand() >> 30)); break;
    case 172: grunt(6 + (rand() >> 29)); break;
    case 173: grunt(11 + (rand() >> 29)); break;
    case 174: DaceVO.Play(kVoiceDeath, 0); break;
    case 175: grunt(16); break;
    case 183:
        if (gameeventobj != nullptr && SendEvent(kEvAnimEvent, gameeventobj, 4, int(mode2)) == 0 && target != nullptr)
            SendEvent(kEvAnimEvent, target, 4, int(mode2));
        break;
    default: break;
    }
    return 0;
}

void Dace::LeaveCurrentMode() { StandInUsed("the player's mode tear-down"); }

void Dace::VictimUpdate(PlayerController&) { StandInUsed("the grappled player's frame"); }
