// The player on foot and in fists mode: the frame, the pad turned into
// steering and actions, and his feet on the ground (drops, falls, jumps and
// knock-down flights).  The animation loop is in PlayerPedLoop.cpp.
#include "game/Player.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/World.h"

#include "game/Camera.h"
#include "game/BadGuy.h"
#include "game/GameAudio.h"
#include "game/MAIN.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameFlow.h"
#include "game/PlayerPedAnims.h"
#include "game/QuadTree.h"
#include "game/ShotEffects.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
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
constexpr u32 kPadR2 = u32(BUT_TRIGGER_R2) << 16;
// The questioned character's face.
constexpr int kQuestionNode = 15;
// Voice lines and game events of the pad's actions.
constexpr int kVoiceCopWarning = 1;
constexpr int kVoiceGunWarning = 2;
constexpr int kVoiceCombatNoGuns = 24;
constexpr int kEvWarning = 23044;
constexpr int kEvShotsA = 23045;
constexpr int kEvArrest = 23017;
constexpr int kReleased = 32;
// The grappler's hold on the player, asked when he struggles.
constexpr int kQueryHold = 100;
constexpr int kGrabNode = 31;
constexpr int kQueryFemale = 85;
constexpr int kQueryHottie = 86;
constexpr int kQueryShabby = 87;
constexpr int kVoiceRandomFemale = 3;
constexpr int kVoiceRandomMale = 4;
constexpr int kVoiceReleaseFemale = 7;
constexpr int kVoiceReleaseMale = 8;
constexpr int kVoiceArrestFemale = 9;
constexpr int kVoiceArrestMale = 10;
// The upper arms' resting aim, in their own frames.
const VectorPos InAirShootTarget(0.625f, 0.0f, 0.025f);

bool SuperDace() { return g_pgcTest != nullptr && g_pgcTest->bSuperDace; }

VectorDir Flat(VectorDir v) { return VectorDir(v[0], 0.0f, v[2]); }

// The world position of a node of an object, or of the object itself.
VectorPos NodePos(Object* o, int id)
{
    Object* n = o->FindSubObject(id);
    return n != nullptr ? n->GetWorldPos() : o->GetWorldPos();
}

}  // namespace

// The point landings are measured at: the grab point (sub-object 31), which
// the figure keeps on the ground in front of his feet however the body tips;
// his own position when he has none.
VectorPos Dace::GroundReference() { return NodePos(this, 31); }

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

    PairedMoveStep();
    PasserByRemarks();

    // The verdict on the arrestee, once the voice is free.
    if (mode2 == PED_ARREST_PAD_DOWN_ANI && arrestguy != nullptr && DaceVO.IsStopped() &&
        DaceVO.GetTimeSinceLastStop() >= 61) {
        const bool arrested = SendEvent(kEvArrest, arrestguy, static_cast<Object*>(arrestguy)) != 0;
        const bool female = SendEvent(kQueryFemale, arrestguy) != 0;
        DaceVO.Play(arrested ? (female ? kVoiceArrestFemale : kVoiceArrestMale)
                             : (female ? kVoiceReleaseFemale : kVoiceReleaseMale),
                    0);
    }

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

    AimGunArms();
    lastrelativecontrollerdir = c.ldir;
}

void Dace::AimGunArms()
{
    auto resting = [](GunArm& arm, float z) {
        const VectorPos rest(InAirShootTarget[0], InAirShootTarget[1], z);
        arm.Frame(arm.upperarm != nullptr ? arm.upperarm->GetWorldMatrix() * rest : rest);
    };
    auto drawn = [](const GunArm& arm) {
        return !arm.ModeIs(GunArm::UNARMED) && !arm.ModeIs(GunArm::CARRYING_TO_UNARMED) && !arm.ModeIs(GunArm::CARRYING);
    };
    if (target != nullptr && (drawn(leftgunarm) || drawn(rightgunarm))) {
        Object* left = target2 != nullptr && shootatsecondary ? static_cast<Object*>(target2) : static_cast<Object*>(target);
        leftgunarm.Frame(NodePos(left, kHeadNode));
        rightgunarm.Frame(NodePos(target, kHeadNode));
    } else {
        resting(leftgunarm, InAirShootTarget[2]);
        resting(rightgunarm, -InAirShootTarget[2]);
    }
}

void Dace::PairedMoveStep()
{
    const u16 a = mode2;
    if ((a == PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI || a == PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI) && arrestguy != nullptr) {
        // Walked over to his place at the arrestee's side, in step with the
        // arrestee's own turn onto his front.
        const Matrix g = lyingdownarrestmat * arrestguy->GetWorldMatrix();
        const Guy::VictimData* vd = arrestguy->victimdata;
        const float left = vd != nullptr ? float(int(arrestguy->firstanimframe + float(vd->morphlen) - arrestguy->frame)) : 0.0f;
        if (vd == nullptr || left <= 0.0f) {
            mat = g;
            BlendToAnim(a == PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI ? PED_ARREST_LYINGDOWN_L_ANI : PED_ARREST_LYINGDOWN_R_ANI, 20);
            flags &= ~0x100u;
        } else {
            const Matrix r = Matrix(SLERP(Quaternion(mat), Quaternion(g), left / float(vd->morphlen)));
            const VectorPos p = mat.GetTrans();
            mat.x = r.x;
            mat.y = r.y;
            mat.z = r.z;
            mat.SetTrans(p + VectorDir(g.GetTrans() - p) * (1.0f / left));
        }
    } else if (a == PED_ARREST_START_ANI && arrestguy != nullptr) {
        TurnToward(Flat(VectorDir(arrestguy->GetWorldPos() - mat.GetTrans())), 0.523599f * world.playbackSpeed);
    } else if (In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_START_ANI) && target != nullptr &&
               attackbuffer != ATTACK_NONE && curattack != nullptr) {
        // The buffered button picks the hold; some holds must be earned.
        const u32 earned = g_pgcTest != nullptr ? g_pgcTest->stats.fightAbility : 0;
        AttackInfo* next = nullptr;
        u16 gated = 0;
        u32 need = 0;
        switch (attackbuffer) {
        case ATTACK_PUNCH: next = curattack->nextpunchattack; gated = COMBAT_GRAPPLE_KNEEBASH_START_ANI; need = 0x1000; break;
        case ATTACK_KICK: next = curattack->nextkickattack; gated = COMBAT_GRAPPLE_ARMBREAK_START_ANI; need = 0x800; break;
        case ATTACK_HIGHATTACK: next = curattack->nexthighattack; gated = COMBAT_GRAPPLE_ARMTWIST_START_ANI; need = 0x400; break;
        case ATTACK_GRAPPLE: next = curattack->nextgrappleattack; break;
        default: break;
        }
        if (next != nullptr && (need == 0 || next->anim != gated || (earned & need)))
            curattack = next;
    }
}

void Dace::PasserByRemarks()
{
    const int now = world.time;
    const u16 a = mode2;
    if (now <= nextsightingtime || task != Task_None ||
        !(Idle(a) || a == PED_WALK_ANI || a == PED_RUN_ANI || a == PED_SPRINT_ANI))
        return;
    const float kNear2 = 9.765625f;
    Object* shabby = nullptr;
    Object* hottie = nullptr;
    const VectorPos me = GetWorldPos();
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList() && (shabby == nullptr || hottie == nullptr); ++it) {
        Object* p = *it;
        if (p == nullptr || p == this)
            continue;
        const bool nearby = VectorDir(p->GetWorldPos() - me).LengthSq() < kNear2;
        if (shabby == nullptr && SendEvent(kQueryShabby, p) != 0 && nearby)
            shabby = p;
        if (hottie == nullptr && SendEvent(kQueryHottie, p) != 0 && nearby)
            hottie = p;
    }
    auto remark = [&](Object* p, int& last, int voice) {
        if (p == nullptr)
            return;
        const Matrix pw = p->GetWorldMatrix();
        const VectorDir to(p->GetWorldPos() - me);
        const VectorDir pz(pw.z.xyz()), mz(GetWorldMatrix().z.xyz());
        if (int(10.0 * double(rand()) / 2147483648.0) == 0 && now - last >= 121 && Dot(to, pz) < 0.0f &&
            Dot(pz, mz) < 0.0f && to.LengthSq() > 0.625f * 0.625f)
            DaceVO.Play(voice, 0);
        last = now;
    };
    remark(shabby, lastshabbysighting, kVoiceRandomMale);
    remark(hottie, lasthottiesighting, kVoiceRandomFemale);
    nextsightingtime = now + 12 + int(6.0 * double(rand()) / 2147483648.0);
}

void Dace::Frame_CineWalkMode(PlayerController& c)
{
    // One script token a frame, none while a path walk runs.
    auto* token = static_cast<CinePlayerScript*>(pCineScript);
    if (token != nullptr && cinewalkpath == nullptr && float(token->iTime) <= frame - float(iCineScriptTime)) {
        pCineScript = token + 1;
        auto walkDone = [] {
            if (g_pgcTest != nullptr) {
                SpecialMessage m(SMSG_GC_CINE_WALK_DONE, nullptr, 0, 0, 0, 0, 0, 0);
                g_pgcTest->SendMessage(OM_SPECIAL, &m);
            }
        };
        switch (token->iToken) {
        case 0: BlendToAnim(u16(token->iData & 0xFFFF), token->iData2); break;
        case 1:
            cineWalkFlags = CINEWALK_TOTARGET;
            iCineScriptData = s8(token->iData & 0xFF);
            break;
        case 2:
            SwitchGameplayMode(token->iData, true);
            walkDone();
            break;
        case 3: flags |= 0x100; break;
        case 4:
            if (Camera* now = GetCurrentCam(); now != nullptr && cam != nullptr) {
                cam->mat = now->mat;
                cam->angy = ArcTan2(now->mat.z[0], now->mat.z[2]);
                const VectorDir fwd(now->mat.z.xyz());
                const VectorDir off(GetWorldPos() - now->mat.GetTrans());
                const float along = fwd.LengthSq() > 0.0f ? Dot(off, fwd) / fwd.LengthSq() : 0.0f;
                cam->vpLastTargetPos = now->mat.GetTrans() + fwd * along;
                cam->fAccel = 0.02f;
                SetCurrentCam(cam);
            }
            break;
        case 5:
            // The path rides in the data word of the 32-bit build.
            cinewalkpath = reinterpret_cast<Spline*>(static_cast<intptr_t>(token->iData));
            if (cinewalkpath != nullptr) {
                cineWalkFlags = CINEWALK_PATH;
                mat.SetTrans(VectorPos(cinewalkpath->Evaluate(0.0f).xyz()));
                slideframe = 0.0f;
            }
            break;
        case 6: walkDone(); break;
        default: break;
        }
    }

    if (cineWalkFlags == CINEWALK_TOTARGET && target != nullptr && iCineScriptData != 0) {
        const Matrix tw = target->GetWorldMatrix();
        const VectorDir tz(tw.z.xyz());
        VectorPos goal = tw.GetTrans() + tz * 0.2f;
        goal[1] = mat.GetTrans()[1];
        const VectorDir step = VectorDir(goal - mat.GetTrans()) * (1.0f / float(iCineScriptData));
        mat.SetTrans(mat.GetTrans() + step);
        // The turn still wanted to face the way the target faces, shared out
        // over the frames left.
        const VectorDir mz(mat.z.xyz());
        const float cosang = std::clamp(Dot(Normalise(tz), Normalise(mz)), -1.0f, 1.0f);
        const float cross = tz[2] * mz[0] - tz[0] * mz[2];
        const float share = std::acos(cosang) * (cross < 0.0f ? -1.0f : 1.0f) / float(iCineScriptData);
        const bool turning = std::fabs(share) > 0.00174533f;
        if (turning) {
            const Matrix r = RotY(share) * mat;
            mat.x = r.x;
            mat.y = r.y;
            mat.z = r.z;
        }
        if (step.LengthSq() < 0.003125f * 0.003125f) {
            if (mode2 == PED_WALK_ANI)
                BlendToAnim(PED_IDLE_ANI, 10);
            if (!turning)
                cineWalkFlags = CINEWALK_FREE;
        }
    } else if (cineWalkFlags == CINEWALK_PATH && cinewalkpath != nullptr) {
        float t = 0.0f;
        cinewalkpath->ClosestPoint(GetWorldPos(), &t);
        if (t >= 1.0f) {
            cineWalkFlags = CINEWALK_FREE;
            cinewalkpath = nullptr;
        } else {
            TurnToward(cinewalkpath->Tangent(t), 0.1f);
        }
    }

    AnimateHierarchy(1.0f);
    PedestrianMoveCamera(c);
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
    const bool overlay = overlayPlaying != -1;
    auto carEntry = [&]() -> bool {
        Vehicle* v = FindCar(true);
        if (v != nullptr && VectorDir(v->GetWorldPos() - mat.GetTrans()).LengthSq() < kCarReach2 && TryGettingIn(v))
            return true;
        BlendToAnim(PED_IDLE_COMMANDEER_FAIL_ANI, 5);
        return false;
    };
    auto nearestGuy = [&](u32 exclude) { return static_cast<Guy*>(FindNearestObject(mat.GetTrans(), 1, exclude)); };
    // Circle: the nearest one lying down, else the nearest one standing.
    auto arrest = [&](bool failgesture, bool needlying) -> bool {
        arrestguy = nearestGuy(0x10000000);
        if (arrestguy == nullptr && needlying)
            return false;
        if (TryLyingDownArrest(arrestguy))
            return true;
        arrestguy = nearestGuy(0xD0000000);
        if (TryStandingUpArrest(arrestguy, failgesture))
            return true;
        arrestguy = nullptr;
        return false;
    };
    auto tackle = [&]() { return (pad & (kPadCross | kPadSquare)) && TryTackle(nearestGuy(0xD0000000)); };
    auto gunWarning = [&](bool fromidle) {
        if (fromidle) {
            BlendToAnim(PED_WARN_GUN_ASSUME_ANI, 3);
        } else if (anims != nullptr) {
            armOverlay.PlayAnim(anims[PED_WARN_GUN_ASSUME_ANI], frame);
            overlayPlaying = PED_WARN_GUN_ASSUME_ANI;
        }
        if (DaceVO.GetTimeSincePlayed(kVoiceGunWarning) >= 301)
            DaceVO.Play(kVoiceGunWarning, 0);
    };
    const bool l1Allowed = (pad & kPadL1) && a != PED_IDLE_COMMANDEER_FAIL_ANI && !Warning(a) && !Hit(a) &&
                           !Attack(a) && !Jump(a) && !CarTransition(a);

    if (Grappled(a)) {
        VictimUpdate(c);
    } else if (mode == DACEMODE_FISTS) {
        const bool busy = overlay || Attack(a) || Warning(a) || Arrest(a) ||
                          In(a, COMBAT_BLOCK_LOW_ANI, COMBAT_BLOCK_HIGH_2_ANI) || Hit(a) || Jump(a) ||
                          a == COMBAT_IDLE_ASSUME_ANI || a == COMBAT_IDLE_KATA_ANI || a == COMBAT_IDLE_ENTER_FIGHT_ANI ||
                          a == COMBAT_IDLE_BEGIN_FIGHT_ANI;
        if (busy) {
            if (target != nullptr && facemode && !overlay && Attack(a) &&
                !In(a, COMBAT_GRAPPLE_ANTICIPATE_ANI, COMBAT_GRAPPLE_TRIP_ANI) &&
                !In(a, COMBAT_LYINGDOWN_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI))
                TurnToward(Flat(VectorDir(target->GetWorldPos() - mat.GetTrans())), 0.0581776f * world.playbackSpeed);
        } else if (pad & kPadR1) {
            if (task == Task_Defeat) {
                if (CombatIdle(a) && a != COMBAT_IDLE_NOGUNS_ANI)
                    BlendToAnim(COMBAT_IDLE_NOGUNS_ANI, 3);
                if (DaceVO.IsStopped())
                    DaceVO.Play(kVoiceCombatNoGuns, 0);
            } else {
                if (c.pad & BUT_TRIGGER_R2) {
                    gunWarning(CombatIdle(a));
                    facemode = false;
                    target = nullptr;
                } else {
                    BlendToAnim(GUNS_IDLE_DRAWGUNS_ANI, 10);
                }
                SendEvent(kEvShotsA, gameeventobj);
            }
        } else if ((pad & kPadCircle) && a != PED_ARREST_FAIL_ANI && !Warning(a)) {
            if (arrest(false, false))
                speed = 0.0f;
        } else if (tackle()) {
            // Down he goes.
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
    } else if (In(a, PED_SPRINT_JUMPCAR_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI) && car != nullptr) {
        HoodJumpFrame();
    } else if (Jump(a)) {
        if (Airborne(a))
            mat.SetTrans(mat.GetTrans() + Flat(VectorDir(mat.z.xyz())) * (jumpspeed * world.playbackSpeed));
        speed = 0.0f;
    } else if (l1Allowed) {
        carEntry();
    } else if (a == DETECTIVE_QUESTION_ANI) {
        if (npcsubject != nullptr) {
            TurnToward(Flat(VectorDir(npcsubject->GetWorldPos() - mat.GetTrans())), 0.0872665f * world.playbackSpeed);
            headpointguy = npcsubject->type == OBJT_CHARACTER ? static_cast<Guy*>(npcsubject) : nullptr;
            headpointloc = NodePos(npcsubject, kQuestionNode);
        }
    } else if ((pad & kPadTriangle) && (Idle(a) || a == PED_WALK_ANI || a == PED_RUN_ANI || a == PED_SPRINT_ANI) &&
               CanJump()) {
        jumpspeed = std::max(GetAnimVelocity()[2], 0.0f);
        if (jumpspeed < kMinJumpSpeed)
            jumpspeed = 0.0f;
        Vehicle* hood = g_pgcTest != nullptr && g_pgcTest->bInterior ? nullptr : FindCar(false);
        if (hood != nullptr && TryJumpingHood(hood)) {
            car = hood;
        } else if (speed >= SprintThreshold) {
            submode = PED_JUMPING_SPRINTING;
            BlendToAnim(PED_JUMP_TAKEOFF_SPRINTING_ANI, 5);
        } else if (speed >= RunThreshold) {
            submode = PED_JUMPING_RUNNING;
            BlendToAnim(PED_JUMP_TAKEOFF_RUNNING_ANI, 3);
        } else {
            submode = PED_JUMPING_STANDING;
            BlendToAnim(PED_JUMP_TAKEOFF_STANDING_ANI, 3);
        }
    } else if (tackle()) {
        // Down he goes.
    } else if (Warning(a) || Arrest(a)) {
        WarningShot(c);
    } else if (overlay) {
        WarningShot(c);
        WalkTo(c.wdir, 0.0872665f);
    } else if ((pad & kPadR1) && task <= Task_Defeat) {
        if (c.pad & BUT_TRIGGER_R2) {
            gunWarning(Idle(a));
        } else {
            BlendToAnim(GUNS_IDLE_DRAWGUNS_ANI, 10);
            shootingframe = frame;
            SetShootMode(SHOOT_NORMAL);
        }
        SendEvent(kEvShotsA, gameeventobj);
    } else if ((pad & kPadCircle) && task <= Task_Defeat && a != PED_ARREST_FAIL_ANI && !Warning(a) &&
               !ArrestHeldOff()) {
        arrest(true, true);
    } else if (task <= Task_Defeat && (c.pad & BUT_TRIGGER_R2) && (c.pad & BUT_SQUARE) &&
               (pad & (kPadR2 | kPadSquare)) && !Hit(a) && !Attack(a) && !Jump(a) && !CarTransition(a)) {
        if (Idle(a)) {
            BlendToAnim(PED_WARN_PHYSICAL_ANI, 3);
        } else if (anims != nullptr) {
            armOverlay.PlayAnim(anims[PED_WARN_PHYSICAL_OVERLAY_ANI], frame);
            overlayPlaying = PED_WARN_PHYSICAL_OVERLAY_ANI;
        }
        SendEvent(kEvWarning, gameeventobj);
        DaceVO.Play(kVoiceCopWarning, 0);
    } else if (task < Task_Defeat && (pad & kPadFaceNew) && !Hit(a) && !Attack(a) && !Jump(a) && !CarTransition(a)) {
        AcquireFightTarget(true);
        BlendToAnim(COMBAT_IDLE_ANI, 10);
        SwitchToOnFootCombatMode();
        combatuntilidleloop = true;
        target = nullptr;
    } else {
        WarningShot(c);
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

void Dace::WarningShot(const PlayerController& c)
{
    if ((mode2 != PED_WARN_GUN_IDLE_ANI && overlayPlaying != PED_WARN_GUN_IDLE_ANI) || !(c.pad & kPadR1))
        return;
    GunArm& r = rightgunarm;
    if (r.ModeIs(GunArm::DRAWING_TO_SHOOT) || r.ModeIs(GunArm::AIMING_TO_SHOOT) || r.ModeIs(GunArm::RECOIL_TO_SHOOT))
        return;
    ShotIntoTheAir();
    SendEvent(SMSG_EV_PLAYER_SHOTS_B, gameeventobj);
}

void Dace::ShotIntoTheAir()
{
    GunArm& r = rightgunarm;
    r.DrawGun();
    if (!r.ModeIs(GunArm::JUST_SHOT) && !r.ModeIs(GunArm::RECOIL) && !r.ModeIs(GunArm::RECOIL_TO_AIM) &&
        !r.ModeIs(GunArm::RECOIL_TO_SHOOT) && !r.ModeIs(GunArm::RECOIL_TO_QUIT_AIMING))
        r.DischargeGun();
}

bool Dace::ArrestHeldOff()
{
    Object* t = target;
    return t != nullptr && t->id >= -150 && t->id <= -101 && t->messagehandler == &Enemy::FighterEnemy_mh &&
           FighterBusyInFight(t) && VectorDir(t->GetWorldPos() - mat.GetTrans()).LengthSq() > 0.2197265625f;
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
// Events, collisions, paired moves.

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


void Dace::VictimUpdate(PlayerController& c)
{
    if (victimdata == nullptr)
        return;
    // Until the hold has a start the morph means nothing: he waits where
    // he was taken.
    if (grappledframe == UnsetFrame) {
        mat.SetTrans(grappledstartpos);
        return;
    }
    Object* grappler = target;
    const bool moved = !victimdata->morphgrappler && grappler != nullptr;
    Matrix n = Matrix(true);
    if (grappler != nullptr) {
        Object* hand = grappler->FindSubObject(kGrabNode);
        n = hand != nullptr ? hand->GetWorldMatrix() : grappler->GetWorldMatrix();
    }
    const float e = frame - grappledframe;
    if (e <= float(grapplemorphlen)) {
        if (moved) {
            const float r = (grappledframe + float(grapplemorphlen) - frame) / float(grapplemorphlen + 1);
            VectorPos p = n.GetTrans() + VectorDir(grappledstartpos - n.GetTrans()) * r;
            p[1] = grappledstartpos[1];
            mat.SetTrans(p);
            const VectorDir want = Flat(VectorDir(n.z.xyz()));
            const float diff = Heading(want) - Heading(Flat(VectorDir(mat.z.xyz())));
            const float wrapped = std::fabs(std::remainder(diff, 6.2831853f));
            TurnToward(want, wrapped * world.playbackSpeed / float(std::max<int>(1, grapplemorphlen)));
        }
        return;
    }
    if (moved) {
        mat = n;
        VectorPos p = mat.GetTrans();
        p[1] = grappledstartpos[1];
        mat.SetTrans(p);
    }
    if (e >= float(grapplewaitlen)) {
        flags &= ~(0x100u | 0x20000u);
        SetAnim(victimdata->victimani, grapplebankoverride, grappleindexoverride);
        victimdata = nullptr;
        return;
    }
    flags |= 0x20000u;
    if (mode2 == COMBAT_GRAPPLE_BROKEN_1_ANI || mode2 == COMBAT_GRAPPLE_BROKEN_2_ANI)
        return;
    if (!(c.pad & kPadFaceNew) || (flags & 0x20000000u))
        return;

    // A press to break free: the odds are his health against the hold's.
    int hold = 0;
    if (grappler != nullptr) {
        SpecialMessage m(kQueryHold, nullptr, 0, 0, 0, 0, 0, 0);
        hold = grappler->SendMessage(OM_SPECIAL, &m);
    }
    const float chance = 1.0f - ((1.0f - 0.01f * strength) + 0.01f * float(hold)) * 0.5f;
    if (randf() < chance) {
        if (npcgrapplesoundchannel != -1)
            sound.Stop(npcgrapplesoundchannel);
        else
            npcgrapplesoundchannel = sound.AllocChannel(true);
        if (npcgrapplesoundchannel != -1)
            sound.Play(npcgrapplesoundchannel, sndbank_comb, 3);
        SendEvent(kReleased, grappler);
        flags &= ~(0x100u | 0x20000u);
        BlendToAnim(COMBAT_RECOIL_HIGH_ANI, 5);
        victimdata = nullptr;
        return;
    }
    const int ch = sound.AllocChannel(false);
    if (ch != -1) {
        sound.Play(ch, sndbank_comb, (npcgrapplebreakattempts & 1) ? 5 : 4);
        const int n2 = npcgrapplebreakattempts;
        if (n2 >= 2)
            sound.SetPitch(ch, n2 >= 6 ? 1.29738f : n2 >= 4 ? 1.18921f : 1.09096f, 0.0f);
    }
    npcgrapplebreakattempts++;
}
