// The player's animation groups and hand-held props (see playerfiles.h).
#include "tools/lib/playerfiles.h"

#include <algorithm>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/Model.h"
#include "game/DaceCarAnims.h"
#include "game/DaceCombatAnims.h"
#include "game/DaceDefaultAnims.h"
#include "game/DaceGunsAnims.h"
#include "game/DaceStealthAnims.h"
#include "game/NPCDefaultAnims.h"
#include "tools/lib/humanoid.h"
#include "tools/lib/npcfiles.h"
#include "tools/lib/p2b_sample.h"

namespace tools {

namespace {

// Events of the player's animation handlers.
enum : u16
{
    kEvShotLeft = 45,
    kEvShotRight = 46,
    kEvDrawLeft = 130,
    kEvDrawRight = 131,
    kEvHolsterLeft = 132,
    kEvHolsterRight = 133,
    kEvBadgeShow = 136,
    kEvBadgeHide = 137,
    kEvShakeVerticalMinor = 140,
    kEvShakeVerticalMajor = 141,
    kEvShakeHorizontalMinor = 142,
    kEvShakeHorizontalMajor = 143,
    kEvTakePickup = 144,
    kEvSeparate = 150,
    kEvHurt10 = 151,
    kEvHurt4 = 152,
    kEvHurt6 = 153,
    kEvGruntPunch = 170,
    kEvGruntKick = 171,
    kEvGruntHigh = 172,
    kEvGruntFinish = 173,
    kEvDeath = 174,
    kEvGruntJump = 175,
    kEvAttackMark = 183,
    kEvSirenShow = 190,
    kEvSirenOn = 191,
    kEvSirenOff = 192,
    kEvSirenHide = 193,
    kEvStandUp = 194,
    kEvStandUp2 = 195,
    kEvStandDown = 196,
    kEvStandDown2 = 197,
};

// Speeds of root motion, units a frame.
constexpr float kWalk = 0.02f, kRun = 0.06f, kSprint = 0.1f, kTackle = 0.12f;

const MotionParams kLeft{0.0f, 1.0f, true};
const MotionParams kRight{0.0f, 1.0f, false};

std::vector<ClipRow> NPCDefault()
{
    Catalogue c(kEvAttackMark, NPCDefaultAnims_Count);
    c.Once(Ani_NPC_Car_PullOutDriver_L, kMotionGesture, 45, {}, kLeft)
        .Once(Ani_NPC_Arrest_LyingDown_L, kMotionGesture, 30, {}, kLeft)
        .Once(Ani_NPC_Arrest_LyingDown_R, kMotionGesture, 30, {}, kRight);
    AddEnemyDefaultClips(c);
    return c.Finish();
}

std::vector<ClipRow> DaceDefault()
{
    Catalogue c(kEvAttackMark, DaceDefaultAnims_Count);
    c.Loop(Ani_Dace_Normal_Idle, kMotionIdle, 60)
        .Once(Ani_Dace_Normal_Idle_LookAround, kMotionIdle, 90, {}, {0.0f, 2.0f, false})
        .Once(Ani_Dace_Normal_Idle_Footwork, kMotionGesture, 60)
        .Once(Ani_Dace_Normal_Idle_CheckTime, kMotionGesture, 60, {}, kLeft)
        .Once(Ani_Dace_Normal_Idle_AssumeCombat, kMotionGesture, 20)
        .Once(Ani_Dace_Normal_Idle_GrabKnob, kMotionGesture, 30)
        .Once(Ani_Dace_Normal_Idle_CommandeerFail, kMotionGesture, 40)
        .Once(Ani_Dace_Normal_GetUp, kMotionHit, 30)
        .Gait(Ani_Dace_Normal_Walk, kMotionWalk, kWalk, 32)
        .Gait(Ani_Dace_Normal_Run, kMotionRun, kRun, 20)
        .Gait(Ani_Dace_Normal_Sprint, kMotionRun, kSprint, 16)
        .Once(Ani_Dace_Normal_Chase_Trip, kMotionFall, 40, {{30, kEvShakeVerticalMinor}})
        .Gait(Ani_Dace_Normal_Chase_Tackle, kMotionRun, kTackle, 12, false, {{2, kEvGruntJump}})
        .Loop(Ani_Dace_Normal_Chase_Tackle_InAir, kMotionIdle, 10)
        .Once(Ani_Dace_Normal_Chase_Tackle_Land, kMotionFall, 30, {{2, kEvShakeVerticalMinor}})
        .Blow(Ani_Dace_Normal_Chase_Shove_L, 20, true)
        .Blow(Ani_Dace_Normal_Chase_Shove_R, 20, false)
        .Once(Ani_Dace_Normal_Chase_Recoil, kMotionHit, 20)
        .Gait(Ani_Dace_Normal_Jump_Takeoff_Standing, kMotionRun, 0.01f, 8, false, {{1, kEvGruntJump}})
        .Gait(Ani_Dace_Normal_Jump_Takeoff_Running, kMotionRun, kRun, 8, false, {{1, kEvGruntJump}})
        .Gait(Ani_Dace_Normal_Jump_Takeoff_Sprinting, kMotionRun, kSprint, 8, false, {{1, kEvGruntJump}})
        .Loop(Ani_Dace_Normal_Jump_Airborne_Standing, kMotionIdle, 20)
        .Loop(Ani_Dace_Normal_Jump_Airborne_Running, kMotionIdle, 20)
        .Loop(Ani_Dace_Normal_Jump_Airborne_Sprinting, kMotionIdle, 20)
        .Loop(Ani_Dace_Normal_Falling, kMotionIdle, 20, {0.0f, 0.5f, false})
        .Once(Ani_Dace_Normal_Jump_Land_Standing, kMotionHit, 10)
        .Once(Ani_Dace_Normal_Jump_Land_Walking, kMotionHit, 10)
        .Once(Ani_Dace_Normal_Jump_Land_Running, kMotionHit, 10)
        .Once(Ani_Dace_Normal_Jump_Land_Sprinting, kMotionHit, 10)
        .Once(Ani_Dace_Normal_Jump_Land_Falling, kMotionHit, 15, {{2, kEvShakeVerticalMinor}})
        .Once(Ani_Dace_Normal_Jump_Land_Falling_High, kMotionHit, 25, {{2, kEvShakeVerticalMajor}}, {0.0f, 1.5f, false})
        .Gait(Ani_Dace_Normal_Sprint_JumpCar_L, kMotionRun, kSprint, 12, false)
        .Gait(Ani_Dace_Normal_Sprint_JumpCar_R, kMotionRun, kSprint, 12, false)
        .Once(Ani_Dace_Normal_Sprint_JumpCar_Land_L, kMotionHit, 10)
        .Once(Ani_Dace_Normal_Sprint_JumpCar_Land_R, kMotionHit, 10)
        .Gait(Ani_Dace_Normal_Sprint_JumpCar_Slide_L, kMotionRun, 0.05f, 20, false)
        .Gait(Ani_Dace_Normal_Sprint_JumpCar_Slide_R, kMotionRun, 0.05f, 20, false)
        .Gait(Ani_Dace_Normal_Sprint_JumpCar_Slide_Back_L, kMotionRun, -0.03f, 20, false)
        .Gait(Ani_Dace_Normal_Sprint_JumpCar_Slide_Back_R, kMotionRun, -0.03f, 20, false)
        .Once(Ani_Dace_Normal_Warn_Physical, kMotionGesture, 50, {{5, kEvBadgeShow}, {45, kEvBadgeHide}}, kLeft)
        .Once(Ani_Dace_Normal_Warn_Physical_Overlay, kMotionGesture, 50, {{5, kEvBadgeShow}, {45, kEvBadgeHide}}, kLeft)
        .Once(Ani_Dace_Normal_Warn_Gun_Assume, kMotionGunPose, 20,
              {{4, kEvDrawLeft}, {4, kEvDrawRight}, {12, kEvShotLeft}, {14, kEvShotRight}})
        .Loop(Ani_Dace_Normal_Warn_Gun_Idle, kMotionGunPose, 30)
        .Once(Ani_Dace_Normal_Warn_Gun_Revert, kMotionGunPose, 20, {{14, kEvHolsterLeft}, {14, kEvHolsterRight}})
        .Gait(Ani_Dace_Normal_Warn_Gun_Run, kMotionRun, kRun, 20)
        .Once(Ani_Dace_Normal_Arrest, kMotionGesture, 40, {{5, kEvBadgeShow}, {35, kEvBadgeHide}}, kLeft)
        .Once(Ani_Dace_Normal_Arrest_Fail, kMotionGesture, 30)
        .Once(Ani_Dace_Normal_Arrest_Start, kMotionGesture, 20, {{5, kEvBadgeShow}}, kLeft)
        .Once(Ani_Dace_Normal_Arrest_PadDown, kMotionGesture, 40)
        .Once(Ani_Dace_Normal_Arrest_Release, kMotionGesture, 20, {{10, kEvSeparate}, {15, kEvBadgeHide}})
        .Gait(Ani_Dace_Normal_Arrest_LyingDown_WalkOver_L, kMotionWalk, kWalk, 30, false)
        .Gait(Ani_Dace_Normal_Arrest_LyingDown_WalkOver_R, kMotionWalk, kWalk, 30, false)
        .Once(Ani_Dace_Normal_Arrest_LyingDown_L, kMotionGesture, 40, {{35, kEvSeparate}}, kLeft)
        .Once(Ani_Dace_Normal_Arrest_LyingDown_R, kMotionGesture, 40, {{35, kEvSeparate}}, kRight);
    return c.Finish();
}

std::vector<ClipRow> DaceCombat()
{
    Catalogue c(kEvAttackMark, DaceCombatAnims_Count);
    c.StrikeWithHands();
    c.Loop(Ani_Dace_Combat_Idle, kMotionIdle, 60, {0.0f, 0.6f, false})
        .Loop(Ani_Dace_Combat_Idle_Settle, kMotionIdle, 40)
        .Once(Ani_Dace_Combat_Idle_Settle_Taunt, kMotionGesture, 40)
        .Once(Ani_Dace_Combat_Idle_Assume, kMotionGesture, 20)
        .Once(Ani_Dace_Combat_Idle_Kata, kMotionGesture, 80)
        .Once(Ani_Dace_Combat_Finish_Assume, kMotionGesture, 20)
        .Once(Ani_Dace_Combat_Idle_Stretch, kMotionIdle, 60, {}, {0.0f, 2.0f, false})
        .Once(Ani_Dace_Combat_Idle_FakeAttack, kMotionGesture, 20)
        .Once(Ani_Dace_Combat_Idle_NoGuns, kMotionGesture, 40)
        .Once(Ani_Dace_Combat_Idle_Pickup, kMotionGesture, 30, {{15, kEvTakePickup}})
        .Gait(Ani_Dace_Combat_Move_Fwd, kMotionWalk, 0.015f, 24)
        .Gait(Ani_Dace_Combat_Move_Back, kMotionWalk, -0.015f, 24)
        .Loop(Ani_Dace_Combat_Move_L, kMotionWalk, 24)
        .Loop(Ani_Dace_Combat_Move_R, kMotionWalk, 24)
        .Gait(Ani_Dace_Combat_Walk_Fwd, kMotionWalk, kWalk, 32)
        .Gait(Ani_Dace_Combat_Run_Fwd, kMotionRun, kRun, 20)
        .Blow(Ani_Dace_Combat_Attack_Back_H, 24, true, {{4, kEvGruntHigh}})
        .Kick(Ani_Dace_Combat_Attack_Back_K, 24, true, {{4, kEvGruntKick}})
        .Blow(Ani_Dace_Combat_Attack_Back_P, 24, false, {{4, kEvGruntPunch}})
        .Blow(Ani_Dace_Combat_Attack_Punch_P1, 18, false, {{3, kEvGruntPunch}})
        .Blow(Ani_Dace_Combat_Attack_Punch_P2, 18, true, {{3, kEvGruntPunch}})
        .Kick(Ani_Dace_Combat_Attack_Kick_K1, 24, true, {{4, kEvGruntKick}})
        .Kick(Ani_Dace_Combat_Attack_Kick_K2, 24, false, {{4, kEvGruntKick}})
        .Blow(Ani_Dace_Combat_Attack_High_H1, 24, true, {{4, kEvGruntHigh}}, 1.3f)
        .Blow(Ani_Dace_Combat_Attack_High_H2, 24, false, {{4, kEvGruntHigh}}, 1.3f)
        .Blow(Ani_Dace_Combat_Attack_Knife_P1, 18, false)
        .Blow(Ani_Dace_Combat_Attack_Knife_P2, 18, true)
        .Blow(Ani_Dace_Combat_Attack_Knife_Throw, 30, false)
        .Blow(Ani_Dace_Combat_Attack_Running_P, 24, false, {{4, kEvGruntPunch}})
        .Kick(Ani_Dace_Combat_Attack_Running_K, 24, true, {{4, kEvGruntKick}})
        .Blow(Ani_Dace_Combat_Attack_Running_H, 24, true, {{4, kEvGruntHigh}})
        .Blow(Ani_Dace_Combat_Attack_LyingDown_P, 24, false, {{4, kEvGruntPunch}})
        .Kick(Ani_Dace_Combat_Attack_LyingDown_K, 24, true, {{4, kEvGruntKick}})
        .Blow(Ani_Dace_Combat_Attack_LyingDown_H, 24, true, {{4, kEvGruntHigh}})
        .Once(Ani_Dace_Combat_Attack_LyingDown_P_GetUp, kMotionHit, 20)
        .Once(Ani_Dace_Combat_Attack_LyingDown_K_GetUp, kMotionHit, 20)
        .Once(Ani_Dace_Combat_Attack_LyingDown_H_GetUp, kMotionHit, 20);
    const int fistFinishes[] = {Ani_Dace_Combat_Finish_DoubleFist, Ani_Dace_Combat_Finish_Punch,
                                Ani_Dace_Combat_Finish_SpinUppercut};
    for (int f : fistFinishes)
        c.Blow(f, 40, (f & 1) != 0, {{6, kEvGruntFinish}}, 1.5f);
    const int kickFinishes[] = {Ani_Dace_Combat_Finish_JumpKick, Ani_Dace_Combat_Finish_Kick,
                                Ani_Dace_Combat_Finish_LowLegSweep, Ani_Dace_Combat_Finish_SpinJumpKick,
                                Ani_Dace_Combat_Finish_WindmillKick};
    for (int f : kickFinishes)
        c.Kick(f, 40, (f & 1) != 0, {{6, kEvGruntFinish}}, 1.5f);
    c.Kick(Ani_Dace_Combat_Finish_DropKick, 40, true, {{6, kEvGruntFinish}, {20, kEvShakeHorizontalMajor}}, 1.5f);
    // Grapples: the anticipation and the starts take hold, the throws hurt
    // and let the pair separate near their end.
    const int starts[] = {Ani_Dace_Combat_Grapple_Anticipate,      Ani_Dace_Combat_Grapple_ArmBreak_Start,
                          Ani_Dace_Combat_Grapple_ArmTwist_Start,  Ani_Dace_Combat_Grapple_FiremanToss_Start,
                          Ani_Dace_Combat_Grapple_HipThrow_Start,  Ani_Dace_Combat_Grapple_KneeBash_Start,
                          Ani_Dace_Combat_Grapple_LegThrow_Start,  Ani_Dace_Combat_Grapple_Trip_Start};
    for (int s : starts)
        c.Once(s, kMotionGesture, 15);
    const int throws[] = {Ani_Dace_Combat_Grapple_ArmBreak, Ani_Dace_Combat_Grapple_ArmTwist,
                          Ani_Dace_Combat_Grapple_FiremanToss, Ani_Dace_Combat_Grapple_HipThrow,
                          Ani_Dace_Combat_Grapple_KneeBash, Ani_Dace_Combat_Grapple_LegThrow,
                          Ani_Dace_Combat_Grapple_Trip};
    for (int t : throws)
        c.Blow(t, 40, true, {{8, kEvGruntHigh}, {32, kEvSeparate}});
    c.Once(Ani_Dace_Combat_Grapple_Broken, kMotionHit, 25, {{5, kEvHurt10}})
        .Once(Ani_Dace_Combat_Grapple_Miss, kMotionGesture, 20)
        .Once(Ani_Dace_Combat_Block_High, kMotionHit, 15, {}, {0.0f, 0.5f, false})
        .Once(Ani_Dace_Combat_Block_High_2, kMotionHit, 15, {}, {0.0f, 0.5f, false})
        .Once(Ani_Dace_Combat_Block_Low, kMotionHit, 15, {}, {0.0f, 0.5f, false})
        .Once(Ani_Dace_Combat_Recoil_High, kMotionHit, 20)
        .Once(Ani_Dace_Combat_Recoil_Low, kMotionHit, 20)
        .Once(Ani_Dace_Combat_Recoil_Back_High, kMotionHit, 20, {{4, kEvHurt6}})
        .Once(Ani_Dace_Combat_Recoil_Back_Low, kMotionHit, 20, {{4, kEvHurt4}})
        .Once(Ani_Dace_Combat_Knockdown, kMotionFall, 20)
        .Loop(Ani_Dace_Combat_Knockdown_InAir, kMotionIdle, 10)
        .Once(Ani_Dace_Combat_Knockdown_Land, kMotionHit, 20, {{1, kEvShakeHorizontalMinor}})
        .Once(Ani_Dace_Combat_Knockdown_GetUp, kMotionHit, 30)
        .Once(Ani_Dace_Combat_Knockdown_GetUp_Fresh, kMotionHit, 25)
        .Once(Ani_Dace_Combat_Knockdown_GetUp_Tired, kMotionHit, 40);
    // What the grabbed character plays against the player's moves; against
    // his throws it is hurt as the throw strikes and free to part from him
    // when his throw lets go.
    for (int v = Ani_Dace_Combat_Victim_Grappled; v <= Ani_Dace_Combat_Victim_Trip; v++) {
        std::vector<ClipEvent> ev;
        switch (v) {
        case Ani_Dace_Combat_Victim_ArmBreak:
        case Ani_Dace_Combat_Victim_FiremanToss: ev = {{14, kEvHurt10}}; break;
        case Ani_Dace_Combat_Victim_ArmTwist:
        case Ani_Dace_Combat_Victim_HipThrow:
        case Ani_Dace_Combat_Victim_LegThrow: ev = {{14, kEvHurt6}}; break;
        case Ani_Dace_Combat_Victim_KneeBash: ev = {{10, kEvHurt4}, {18, kEvHurt4}}; break;
        case Ani_Dace_Combat_Victim_Trip: ev = {{14, kEvHurt4}}; break;
        default: break;
        }
        if (!ev.empty())
            ev.push_back({32, kEvSeparate});
        c.Once(v, v == Ani_Dace_Combat_Victim_Grappled || v == Ani_Dace_Combat_Victim_Anticipate ? kMotionHit : kMotionFall,
               40, ev);
    }
    return c.Finish();
}

std::vector<ClipRow> DaceGuns()
{
    Catalogue c(kEvAttackMark, DaceGunsAnims_Count);
    c.StrikeWithHands();
    c.Loop(Ani_Dace_Guns_Idle, kMotionGunPose, 30)
        .Loop(Ani_Dace_Guns_Idle_2, kMotionGunPose, 40)
        .Once(Ani_Dace_Guns_Idle_PutAway, kMotionGunPose, 20, {{10, kEvHolsterLeft}, {10, kEvHolsterRight}})
        .Once(Ani_Dace_Guns_Idle_DrawGuns, kMotionGunPose, 20, {{6, kEvDrawLeft}, {6, kEvDrawRight}})
        .Loop(Ani_Dace_Guns_Idle_Fire, kMotionGunPose, 10)
        .Once(Ani_Dace_Guns_Idle_Begin_Fire, kMotionGunPose, 6)
        .Once(Ani_Dace_Guns_Idle_Restart_Fire, kMotionGunPose, 6)
        .Once(Ani_Dace_Guns_Idle_Reload, kMotionGesture, 40)
        .Once(Ani_Dace_Guns_Idle_BlowSmoke, kMotionGesture, 40)
        .Once(Ani_Dace_Guns_Idle_Pickup, kMotionGesture, 30, {{15, kEvTakePickup}})
        .Once(Ani_Dace_Guns_Idle_Recoil, kMotionHit, 12)
        .Loop(Ani_Dace_Guns_Precision_Aim, kMotionGunPose, 20)
        .Once(Ani_Dace_Guns_Killed, kMotionFall, 40, {{5, kEvDeath}})
        .Gait(Ani_Dace_Guns_Walk, kMotionWalk, kWalk, 32)
        .Gait(Ani_Dace_Guns_Run_Interior, kMotionRun, kRun, 20)
        .Blow(Ani_Dace_Guns_Punch, 20, false, {{3, kEvGruntPunch}})
        .Kick(Ani_Dace_Guns_Kick, 24, true, {{4, kEvGruntKick}})
        .Once(Ani_Dace_Guns_Grapple_Fail, kMotionGesture, 20)
        .Once(Ani_Dace_Guns_Grapple_Start, kMotionGesture, 15)
        .Once(Ani_Dace_Guns_Grapple_Finish, kMotionGesture, 15)
        .Loop(Ani_Dace_Guns_Grapple_Idle, kMotionGunPose, 30)
        .Loop(Ani_Dace_Guns_Grapple_Idle_Fire, kMotionGunPose, 10)
        .Gait(Ani_Dace_Guns_Grapple_Walk_Back, kMotionWalk, -0.015f, 32)
        .Gait(Ani_Dace_Guns_Grapple_Walk_Fwd, kMotionWalk, 0.015f, 32)
        .Loop(Ani_Dace_Guns_Grapple_Walk_Side_L, kMotionWalk, 32)
        .Loop(Ani_Dace_Guns_Grapple_Walk_Side_R, kMotionWalk, 32)
        .Once(Ani_Dace_Guns_Grapple_Release, kMotionGesture, 20, {{10, kEvSeparate}})
        .Gait(Ani_Dace_Guns_Walk_Fwd, kMotionWalk, kWalk, 32)
        .Gait(Ani_Dace_Guns_Walk_Back, kMotionWalk, -kWalk, 32)
        .Loop(Ani_Dace_Guns_Walk_Side_L, kMotionWalk, 32)
        .Loop(Ani_Dace_Guns_Walk_Side_R, kMotionWalk, 32)
        .Gait(Ani_Dace_Guns_Run_Fwd, kMotionRun, kRun, 20)
        .Gait(Ani_Dace_Guns_Run_Back, kMotionRun, -kRun, 20)
        .Loop(Ani_Dace_Guns_Run_Side_L, kMotionRun, 20)
        .Loop(Ani_Dace_Guns_Run_Side_R, kMotionRun, 20);
    // Cover along walls, full (FWall) and half height (HWall).
    c.Loop(Ani_Dace_Guns_FWall_Idle_L, kMotionIdle, 40)
        .Loop(Ani_Dace_Guns_FWall_Idle_R, kMotionIdle, 40)
        .Once(Ani_Dace_Guns_FWall_Idle_Peek_L, kMotionGesture, 20, {}, kLeft)
        .Once(Ani_Dace_Guns_FWall_Idle_Peek_R, kMotionGesture, 20, {}, kRight)
        .Loop(Ani_Dace_Guns_FWall_Walk_L, kMotionWalk, 32)
        .Loop(Ani_Dace_Guns_FWall_Walk_R, kMotionWalk, 32)
        .Loop(Ani_Dace_Guns_FWall_FireAhead, kMotionGunPose, 10)
        .Loop(Ani_Dace_Guns_FWall_FireBack_L, kMotionGunPose, 10, kLeft)
        .Loop(Ani_Dace_Guns_FWall_FireBack_R, kMotionGunPose, 10)
        .Once(Ani_Dace_Guns_FWall_Begin_FireBack_L, kMotionGunPose, 8, {}, kLeft)
        .Once(Ani_Dace_Guns_FWall_Begin_FireBack_R, kMotionGunPose, 8)
        .Once(Ani_Dace_Guns_FWall_FireBack_Return_L, kMotionGunPose, 8, {}, kLeft)
        .Once(Ani_Dace_Guns_FWall_FireBack_Return_R, kMotionGunPose, 8)
        .Once(Ani_Dace_Guns_FWall_FireBack_Recoil_L, kMotionHit, 10)
        .Once(Ani_Dace_Guns_FWall_FireBack_Recoil_R, kMotionHit, 10)
        .Once(Ani_Dace_Guns_FWall_Recoil, kMotionHit, 10)
        .Once(Ani_Dace_Guns_FWall_Reload, kMotionGesture, 40)
        .Once(Ani_Dace_Guns_FWall_Killed, kMotionFall, 40, {{5, kEvDeath}})
        .Loop(Ani_Dace_Guns_HWall_Idle, kMotionIdle, 40)
        .Loop(Ani_Dace_Guns_HWall_Walk_L, kMotionWalk, 32)
        .Loop(Ani_Dace_Guns_HWall_Walk_R, kMotionWalk, 32)
        .Once(Ani_Dace_Guns_HWall_FireAhead_Assume, kMotionGunPose, 10)
        .Once(Ani_Dace_Guns_HWall_FireAhead_Revert, kMotionGunPose, 10)
        .Once(Ani_Dace_Guns_HWall_Begin_FireBack_L, kMotionGunPose, 8, {}, kLeft)
        .Once(Ani_Dace_Guns_HWall_Begin_FireBack_R, kMotionGunPose, 8)
        .Loop(Ani_Dace_Guns_HWall_FireBack_L, kMotionGunPose, 10, kLeft)
        .Loop(Ani_Dace_Guns_HWall_FireBack_R, kMotionGunPose, 10)
        .Once(Ani_Dace_Guns_HWall_FireBack_Return_L, kMotionGunPose, 8, {}, kLeft)
        .Once(Ani_Dace_Guns_HWall_FireBack_Return_R, kMotionGunPose, 8)
        .Once(Ani_Dace_Guns_HWall_FireBack_Recoil_L, kMotionHit, 10)
        .Once(Ani_Dace_Guns_HWall_FireBack_Recoil_R, kMotionHit, 10)
        .Once(Ani_Dace_Guns_HWall_Recoil, kMotionHit, 10)
        .Once(Ani_Dace_Guns_HWall_Reload, kMotionGesture, 40)
        .Once(Ani_Dace_Guns_HWall_Killed, kMotionFall, 40, {{5, kEvDeath}});
    // Jumps and dives: the take-off carries the body, the air holds, the
    // landing settles.
    c.Gait(Ani_Dace_Guns_Jump_Fwd, kMotionRun, 0.08f, 8, false, {{1, kEvGruntJump}})
        .Gait(Ani_Dace_Guns_Jump_Back, kMotionRun, -0.08f, 8, false, {{1, kEvGruntJump}})
        .Once(Ani_Dace_Guns_Jump_Side_L, kMotionRun, 8, {{1, kEvGruntJump}})
        .Once(Ani_Dace_Guns_Jump_Side_R, kMotionRun, 8, {{1, kEvGruntJump}})
        .Loop(Ani_Dace_Guns_Jump_Fwd_InAir, kMotionIdle, 10)
        .Loop(Ani_Dace_Guns_Jump_Back_InAir, kMotionIdle, 10)
        .Loop(Ani_Dace_Guns_Jump_Side_L_InAir, kMotionIdle, 10)
        .Loop(Ani_Dace_Guns_Jump_Side_R_InAir, kMotionIdle, 10)
        .Once(Ani_Dace_Guns_Jump_Fwd_Land, kMotionHit, 10)
        .Once(Ani_Dace_Guns_Jump_Back_Land, kMotionHit, 10)
        .Once(Ani_Dace_Guns_Jump_Side_L_Land, kMotionHit, 10)
        .Once(Ani_Dace_Guns_Jump_Side_R_Land, kMotionHit, 10)
        .Gait(Ani_Dace_Guns_Jump_Fwd_Spin, kMotionRun, 0.08f, 20, false, {{1, kEvGruntJump}})
        .Gait(Ani_Dace_Guns_Dive_Fwd, kMotionRun, kSprint, 12, false, {{1, kEvGruntJump}})
        .Gait(Ani_Dace_Guns_Dive_Back, kMotionRun, -kSprint, 12, false, {{1, kEvGruntJump}})
        .Gait(Ani_Dace_Guns_Dive_Side_L, kMotionRun, 0.05f, 12, false, {{1, kEvGruntJump}})
        .Gait(Ani_Dace_Guns_Dive_Side_R, kMotionRun, 0.05f, 12, false, {{1, kEvGruntJump}});
    // A character held as a shield.
    c.Once(Ani_Dace_Guns_Hostage_Miss, kMotionHit, 20)
        .Once(Ani_Dace_Guns_Hostage_Reach, kMotionGesture, 15)
        .Once(Ani_Dace_Guns_Hostage_Grab, kMotionHit, 20)
        .Loop(Ani_Dace_Guns_Hostage_Idle, kMotionIdle, 40)
        .Loop(Ani_Dace_Guns_Hostage_Fire, kMotionIdle, 10)
        .Once(Ani_Dace_Guns_Hostage_Release, kMotionHit, 20)
        .Gait(Ani_Dace_Guns_Hostage_Walk_Back, kMotionWalk, -0.015f, 32)
        .Gait(Ani_Dace_Guns_Hostage_Walk_Fwd, kMotionWalk, 0.015f, 32)
        .Loop(Ani_Dace_Guns_Hostage_Walk_L, kMotionWalk, 32)
        .Loop(Ani_Dace_Guns_Hostage_Walk_R, kMotionWalk, 32);
    return c.Finish();
}

std::vector<ClipRow> DaceCar()
{
    Catalogue c(kEvAttackMark, DaceCarAnims_Count);
    c.Once(Ani_Dace_Bike_CarJacked_L, kMotionFall, 40)
        .Once(Ani_Dace_Bike_CarJacked_R, kMotionFall, 40)
        .Once(Ani_Dace_Bike_GetOff_L, kMotionCarGetOut, 40, {{30, kEvStandDown}}, kLeft)
        .Once(Ani_Dace_Bike_GetOff_R, kMotionCarGetOut, 40, {{30, kEvStandDown2}}, kRight)
        .Loop(Ani_Dace_Bike_Idle, kMotionIdle, 40)
        .Loop(Ani_Dace_Bike_Idle_Stopped, kMotionIdle, 40)
        .Loop(Ani_Dace_Bike_Jump_InAir, kMotionIdle, 10)
        .Once(Ani_Dace_Bike_Upright_GetOn_Back, kMotionCarGetIn, 40, {{30, kEvStandUp2}}, kLeft)
        .Once(Ani_Dace_Bike_Upright_GetOn_Kickstand, kMotionCarGetIn, 40, {{30, kEvStandUp}}, kLeft)
        .Once(Ani_Dace_Bike_Upright_GetOn_L, kMotionCarGetIn, 40, {}, kLeft)
        .Once(Ani_Dace_Bike_Upright_GetOn_R, kMotionCarGetIn, 40, {}, kRight)
        .Gait(Ani_Dace_Bike_Walk_Back, kMotionWalk, -0.01f, 32);
    for (int k = Ani_Dace_Bike_Crash_Back; k <= Ani_Dace_Bike_Fall_R; k++)
        c.Once(k, kMotionFall, 40);
    c.Once(Ani_Dace_Bike_Knocked_Off, kMotionFall, 40);
    // The riding poses and the aiming poses the car-gun arms blend over them.
    const int poses[] = {Ani_Dace_Bike_Lean_Back, Ani_Dace_Bike_Lean_Fwd, Ani_Dace_Bike_Tuck, Ani_Dace_Bike_Turn_L,
                         Ani_Dace_Bike_Turn_R, Ani_Dace_Bike_Wheelie};
    for (int p : poses)
        c.Loop(p, kMotionIdle, 20, {0.0f, 0.3f, false});
    const int fire[][2] = {{Ani_Dace_Bike_Idle_Fire_L, Ani_Dace_Bike_Idle_Fire_R},
                           {Ani_Dace_Bike_Lean_Back_Fire_L, Ani_Dace_Bike_Lean_Back_Fire_R},
                           {Ani_Dace_Bike_Lean_Fwd_Fire_L, Ani_Dace_Bike_Lean_Fwd_Fire_R},
                           {Ani_Dace_Bike_Tuck_Fire_L, Ani_Dace_Bike_Tuck_Fire_R},
                           {Ani_Dace_Bike_Turn_L_Fire_L, Ani_Dace_Bike_Turn_L_Fire_R},
                           {Ani_Dace_Bike_Turn_R_Fire_L, Ani_Dace_Bike_Turn_R_Fire_R},
                           {Ani_Dace_Bike_Wheelie_Fire_L, Ani_Dace_Bike_Wheelie_Fire_R},
                           {Ani_Dace_Car_Guns_Fire_L, Ani_Dace_Car_Guns_Fire_R}};
    for (const auto& f : fire) {
        c.Once(f[0], kMotionGunPose, 10, {}, kLeft);
        c.Once(f[1], kMotionGunPose, 10, {}, kRight);
    }
    c.Loop(Ani_Dace_Car_Idle, kMotionIdle, 60, {0.0f, 0.3f, false})
        .Once(Ani_Dace_Car_Idle_Brake, kMotionHit, 20, {}, {0.0f, 0.5f, false})
        .Once(Ani_Dace_Car_Idle_Crash, kMotionHit, 20)
        .Once(Ani_Dace_Car_CrawlOut, kMotionCarGetOut, 45, {}, kLeft)
        .Once(Ani_Dace_Car_CrawlOut_GetUp, kMotionHit, 30)
        .Once(Ani_Dace_Car_Open_L, kMotionGesture, 30, {}, kLeft)
        .Once(Ani_Dace_Car_Open_R, kMotionGesture, 30, {}, kRight)
        .Once(Ani_Dace_Car_Enter_L, kMotionCarGetIn, 45, {}, kLeft)
        .Once(Ani_Dace_Car_Enter_R, kMotionCarGetIn, 45, {}, kRight)
        .Once(Ani_Dace_Car_Exit_L, kMotionCarGetOut, 45, {}, kLeft)
        .Once(Ani_Dace_Car_Exit_R, kMotionCarGetOut, 45, {}, kRight)
        .Once(Ani_Dace_Car_Close_L, kMotionGesture, 20, {}, kLeft)
        .Once(Ani_Dace_Car_Close_R, kMotionGesture, 20, {}, kRight)
        .Once(Ani_Dace_Car_SeatSwitch_L, kMotionGesture, 30, {}, kLeft)
        .Once(Ani_Dace_Car_SeatSwitch_R, kMotionGesture, 30, {}, kRight)
        // The hand-held siren goes on the roof and comes back in.
        .Once(Ani_Dace_Car_Idle_Siren_On, kMotionGesture, 50, {{5, kEvSirenShow}, {30, kEvSirenOn}}, kRight)
        .Once(Ani_Dace_Car_Idle_Siren_Off, kMotionGesture, 50, {{5, kEvSirenOff}, {45, kEvSirenHide}}, kRight)
        .Once(Ani_Dace_Car_Guns_Warn, kMotionGunPose, 20, {{8, kEvShotLeft}});
    return c.Finish();
}

std::vector<ClipRow> DaceStealth()
{
    Catalogue c(kEvAttackMark, DaceStealthAnims_Count);
    c.Once(Ani_Dace_Stealth_Disarm_Default, kMotionGesture, 20)
        .Loop(Ani_Dace_Stealth_Disarm_Default_Idle, kMotionGunPose, 30)
        .Gait(Ani_Dace_Stealth_Disarm_Default_Back, kMotionWalk, -0.01f, 32)
        .Once(Ani_Dace_Stealth_Disarm_Default_Drop, kMotionGesture, 20, {{15, kEvSeparate}})
        .Blow(Ani_Dace_Stealth_Disarm_Default_Reach, 30, false, {{25, kEvSeparate}})
        .Blow(Ani_Dace_Stealth_Disarm_Kick, 20, true, {{3, kEvGruntKick}})
        .Blow(Ani_Dace_Stealth_Disarm_Kick_Reach, 30, true, {{25, kEvSeparate}})
        .Blow(Ani_Dace_Stealth_Disarm_Punch, 20, false, {{3, kEvGruntPunch}})
        .Blow(Ani_Dace_Stealth_Disarm_Punch_Reach, 30, false, {{25, kEvSeparate}})
        .Loop(Ani_Dace_Stealth_FWall_Idle_L, kMotionIdle, 40)
        .Loop(Ani_Dace_Stealth_FWall_Idle_R, kMotionIdle, 40)
        .Loop(Ani_Dace_Stealth_FWall_Walk_L, kMotionWalk, 32)
        .Loop(Ani_Dace_Stealth_FWall_Walk_R, kMotionWalk, 32)
        .Loop(Ani_Dace_Stealth_HWall_Idle_L, kMotionIdle, 40)
        .Loop(Ani_Dace_Stealth_HWall_Idle_R, kMotionIdle, 40)
        .Loop(Ani_Dace_Stealth_HWall_Walk_L, kMotionWalk, 32)
        .Loop(Ani_Dace_Stealth_HWall_Walk_R, kMotionWalk, 32)
        .Loop(Ani_Dace_Stealth_Idle, kMotionIdle, 60)
        .Loop(Ani_Dace_Stealth_Idle_Crouch, kMotionIdle, 60, {0.0f, 0.5f, false})
        .Once(Ani_Dace_Stealth_Idle_LookAround, kMotionIdle, 90, {}, {0.0f, 2.0f, false})
        .Gait(Ani_Dace_Stealth_Jump, kMotionRun, kRun, 8, false, {{1, kEvGruntJump}})
        .Loop(Ani_Dace_Stealth_Jump_InAir, kMotionIdle, 10)
        .Once(Ani_Dace_Stealth_Jump_Land, kMotionHit, 10)
        .Gait(Ani_Dace_Stealth_Run, kMotionRun, 0.05f, 20)
        .Once(Ani_Dace_Stealth_Spotted, kMotionHit, 20)
        .Gait(Ani_Dace_Stealth_Walk, kMotionWalk, 0.015f, 32)
        .Once(Ani_Dace_Stealth_Fire_Assume, kMotionGunPose, 15, {{3, kEvDrawRight}})
        .Loop(Ani_Dace_Stealth_Fire_Idle, kMotionGunPose, 30)
        .Loop(Ani_Dace_Stealth_Fire_PrecisionAim, kMotionGunPose, 20)
        .Once(Ani_Dace_Stealth_Fire_Revert, kMotionGunPose, 15, {{10, kEvHolsterRight}});
    return c.Finish();
}

}  // namespace

const std::vector<PlayerGroup>& PlayerGroups()
{
    static const std::vector<PlayerGroup> groups = {
        {0, "NPCDEF", NPCDefaultAnims_Count},    {5, "DACEDEF", DaceDefaultAnims_Count},
        {6, "DACECOMB", DaceCombatAnims_Count},  {7, "DACEGUNS", DaceGunsAnims_Count},
        {8, "DACECAR", DaceCarAnims_Count},      {9, "DACESTL", DaceStealthAnims_Count},
    };
    return groups;
}

std::vector<ClipRow> PlayerGroupCatalogue(int group)
{
    switch (group) {
    case 0: return NPCDefault();
    case 5: return DaceDefault();
    case 6: return DaceCombat();
    case 7: return DaceGuns();
    case 8: return DaceCar();
    case 9: return DaceStealth();
    default: return {};
    }
}

HumanoidLook PlayerLook() { return SampleHumanoids().front().look; }

bool BuildPlayerGroup(const PlayerGroup& g, AnimGroupFiles& out, std::string& error)
{
    if (!BuildAnimGroup(PlayerGroupCatalogue(g.group), g.tableSize, PlayerLook(), out, error)) {
        error = std::string(g.base) + ".ANI: " + error;
        return false;
    }
    return true;
}

P2BFile BadgeFile()
{
    // A gold shield on a dark wallet, held flat in the palm.
    P2BFile f;
    f.models = {BoxModel(0.04f, 0.005f, 0.055f, TEXID_NONE, false, Colour(40, 30, 25, 128)),
                BoxModel(0.022f, 0.003f, 0.028f, TEXID_NONE, false, Colour(220, 180, 60, 128))};
    const int wallet = f.AddNode(-1, MakeNode(0));
    f.AddNode(wallet, MakeNode(1, VectorPos(0.0f, -0.007f, 0.01f)));
    return f;
}

}  // namespace tools
