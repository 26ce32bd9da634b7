// The enemies' animation tables, built from the definitions below at each
// initialisation, and the one layer through which every enemy changes its
// animation: style overlays, attack bits and the release of attack volumes.
#include "game/BadGuy.h"

#include <algorithm>

#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Utilities.h"
#include "game/DaceCarAnims.h"
#include "game/DaceCombatAnims.h"
#include "game/DaceGunsAnims.h"
#include "game/GameFlow.h"
#include "game/NPCCombatAnims.h"
#include "game/NPCDefaultAnims.h"
#include "game/NPCGuardAnims.h"
#include "game/NPCPedAnims.h"
#include "game/NPCPistolAnims.h"
#include "game/NPCSprintAnims.h"
#include "game/PlayerAnim.h"

using BA = BadGuyAnims;

const Enemy::AnimDef Enemy::AnimDefs[NUM_ANIMDEFS] = {
    {+BA::IDLE_ANI, AnimGroup_NPCPedDefault, 0, 0, 0},
    {+BA::ANGRY_ANI, AnimGroup_NPCPedDefault, 1, 0, 0},
    {+BA::DUCK_ANI, AnimGroup_NPCPedDefault, 2, 0, 0},
    {+BA::WALK_ANI, AnimGroup_NPCSprint, Ani_NPC_Walk, 0, 0},
    {+BA::WALK_LOOKBACK_ANI, AnimGroup_NPCSprint, Ani_NPC_Walk_Lookback, 0, 0},
    {+BA::SHOCKED_ANI, AnimGroup_NPCPedDefault, 5, 0, 0},
    // The body's steps to and from a car door: the pedestrian set's walk,
    // run and stand, as a bystander plays them.
    {55, AnimGroup_NPCPedDefault, Ani_Ped_Walk, 0, 0},
    {56, AnimGroup_NPCPedDefault, Ani_Ped_Walk, 0, 0},
    {57, AnimGroup_NPCPedDefault, Ani_Ped_Run, 0, 0},
    {58, AnimGroup_NPCPedDefault, Ani_Ped_Run, 0, 0},
    {59, AnimGroup_NPCPedDefault, Ani_Ped_Idle, 0, 0},
    {60, AnimGroup_NPCPedDefault, Ani_Ped_Idle, 0, 0},
    {+BA::GUN_IDLE_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Idle, 0, 0},
    {+BA::GUN_IDLE_FIRE_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Idle_Fire, 0, 0},
    {+BA::GUN_IDLE_NOSHOOT_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Idle, 0, 0},
    {+BA::GUN_DUCK_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Duck, 0, 0},
    {+BA::GUN_DUCK_RECOIL_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Duck_Recoil, 0, 0},
    {+BA::GUN_DUCK_RELOAD_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Duck_Reload, 0, 0},
    {+BA::GUN_DUCK_ROLL_L_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Duck_Roll_L, 0, 0},
    {+BA::GUN_DUCK_ROLL_R_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Duck_Roll_R, 0, 0},
    {+BA::GUN_GRAPPLED_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Grappled, 0, 0},
    {+BA::GUN_GRAPPLED_IDLE_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Grappled_Idle, 0, 0},
    {+BA::GUN_GRAPPLED_WALK_BACK_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Grappled_Walk_Back, 0, 0},
    {+BA::GUN_GRAPPLED_WALK_FWD_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Grappled_Walk_Fwd, 0, 0},
    {+BA::GUN_GRAPPLED_WALK_LEFT_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Grappled_Walk_Left, 0, 0},
    {+BA::GUN_GRAPPLED_WALK_RIGHT_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Grappled_Walk_Right, 0, 0},
    {+BA::GUN_GRAPPLED_RELEASE_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Grappled_Release, 0, 0},
    {+BA::GUN_RECOIL_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Recoil, 0, 0},
    {+BA::GUN_KNOCKDOWN_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Knockdown, 0, 0},
    {+BA::GUN_GETUP_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Getup, 0, 0},
    {+BA::GUN_KILLED_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Killed, 0, 0},
    {+BA::GUN_KILLED2_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Killed2, 0, 0},
    {+BA::GUN_NEUTRALIZED_L_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Neutralized_L, 0, 0},
    {+BA::GUN_NEUTRALIZED_LEGS_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Neutralized_Legs, 0, 0},
    {+BA::GUN_NEUTRALIZED_R_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Neutralized_R, 0, 0},
    {+BA::GUN_KILLED_FALL_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Killed_Fall, 0, +BA::GUN_KILLED_FALL_INAIR_ANI},
    {+BA::GUN_KILLED_FALL_INAIR_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Killed_Fall_Inair, 3, +BA::GUN_KILLED_FALL_LAND_ANI},
    {+BA::GUN_KILLED_FALL_LAND_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Killed_Fall_Land, 0, 0},
    {+BA::GUN_RUN_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Run, 0, 0},
    {+BA::GUN_LYINGDOWN_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Lyingdown, 0, 0},
    {+BA::GUN_LYINGDOWN_RECOIL_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Lyingdown_Recoil, 0, 0},
    {+BA::GUN_LYINGDOWN_KILLED_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Lyingdown_Killed, 0, 0},
    {+BA::GUN_WALK_BACK_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Walk_Back, 0, 0},
    {+BA::GUN_WALK_FWD_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Walk_Fwd, 0, 0},
    {+BA::GUN_WALK_LEFT_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Walk_Left, 0, 0},
    {+BA::GUN_WALK_RIGHT_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Walk_Right, 0, 0},
    {+BA::GUN_RELOAD_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Reload, 0, 0},
    {+BA::GUN_CARCASS_IDLE_L_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Carcass_Idle_L, 0, 0},
    {+BA::GUN_CARCASS_RECOIL_L_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Carcass_Recoil_L, 0, 0},
    {+BA::GUN_CARCASS_IDLE_R_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Carcass_Idle_R, 0, 0},
    {+BA::GUN_CARCASS_RECOIL_R_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Carcass_Recoil_R, 0, 0},
    {+BA::GUN_CARCASS_KILLED_INAIR_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Carcass_Killed_Inair, 3, +BA::GUN_CARCASS_KILLED_LAND_ANI},
    {+BA::GUN_CARCASS_KILLED_LAND_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Carcass_Killed_Land, 0, 0},
    {+BA::GUN_COPTER_IDLE_L_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Copter_Idle_L, 0, 0},
    {+BA::GUN_COPTER_FIRE_L_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Copter_Fire_L, 0, 0},
    {+BA::GUN_COPTER_IDLE_R_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Copter_Idle_R, 0, 0},
    {+BA::GUN_COPTER_FIRE_R_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Copter_Fire_R, 0, 0},
    {+BA::GUN_SUNROOF_IDLE_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Sunroof_Idle, 0, 0},
    {+BA::GUN_SUNROOF_FIRE_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Sunroof_Fire, 0, 0},
    {+BA::GUN_SUNROOF_RECOIL_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Sunroof_Recoil, 0, 0},
    {+BA::GUN_SUNROOF_KILLED_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Sunroof_Killed, 0, 0},
    {+BA::GUN_MOVINGTRUCK_IDLE_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Gun_Movingtruck_Idle, 0, 0},
    {+BA::LYING_DOWN_KILLED_ANI, AnimGroup_NPCPistol, Ani_NPC_Pistol_Lying_Down_Killed, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_MISS_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Miss, 0, +BA::GUN_IDLE_ANI},
    {+BA::GUN_HOLDHOSTAGE_REACH_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Reach, 0, +BA::GUN_HOLDHOSTAGE_GRAB_ANI},
    {+BA::GUN_HOLDHOSTAGE_GRAB_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Grab, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_IDLE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Idle, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_FIRE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Fire, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_RELEASE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Release, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_WALK_BACK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Walk_Back, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_WALK_FWD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Walk_Fwd, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_WALK_LEFT_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Walk_L, 0, 0},
    {+BA::GUN_HOLDHOSTAGE_WALK_RIGHT_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Hostage_Walk_R, 0, 0},
    {+BA::GUARD_ALARM_PULLOUTGUN_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Alarm_Pulloutgun, 0, 0},
    {+BA::GUARD_ALARM_VOCAL_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Alarm_Vocal, 0, 0},
    {+BA::GUARD_BUMP_PULLOUTGUN_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Bump_Pulloutgun, 0, 0},
    {+BA::GUARD_BUMP_VOCAL_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Bump_Vocal, 0, 0},
    {+BA::GUARD_DISARMED_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Disarmed, 0, 0},
    {+BA::GUARD_DISARMED_IDLE_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Disarmed_Idle, 0, 0},
    {+BA::GUARD_DISARMED_BACK_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Disarmed_Back, 0, 0},
    {+BA::GUARD_DISARMED_DROP_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Disarmed_Drop, 0, 0},
    {+BA::GUARD_DISARMED_K_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Disarmed_K, 0, 0},
    {+BA::GUARD_DISARMED_P_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Disarmed_P, 0, 0},
    {+BA::GUARD_IDLE_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle, 0, 0},
    {+BA::GUARD_IDLE_SPECIAL_1_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Special_1, 0, 0},
    {+BA::GUARD_IDLE_SPECIAL_2_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Special_2, 0, 0},
    {+BA::GUARD_IDLE_SPECIAL_3_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Special_3, 0, 0},
    {+BA::GUARD_IDLE_CELLTALK_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Celltalk, 0, 0},
    {+BA::GUARD_IDLE_CELLTALK_STOP_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Celltalk_Stop, 0, 0},
    {+BA::GUARD_IDLE_DOZINGOFF_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Dozingoff, 0, 0},
    {+BA::GUARD_IDLE_DOZINGOFF_STOP_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Dozingoff_Stop, 0, 0},
    {+BA::GUARD_IDLE_LOOKAROUND_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Lookaround, 0, 0},
    {+BA::GUARD_IDLE_CHECK_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Check, 0, 0},
    {+BA::GUARD_IDLE_TURNAROUND_MARKTIME_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Idle_Turnaround_Marktime, 0, 0},
    {+BA::GUARD_WALK_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Walk, 0, 0},
    {+BA::GUARD_KILLED_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Killed, 0, 0},
    {+BA::GUARD_KILLED_SLOW_ANI, AnimGroup_NPCGuard, Ani_NPC_Guard_Killed_Slow, 0, 0},
    {+BA::COMBAT_GRAPPLED_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Grappled, 0, 0},
    {+BA::COMBAT_KNOCKDOWN_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Knockdown, 0, 0},
    {+BA::COMBAT_KNOCKDOWN_ROLL_L_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Knockdown_Roll_L, 0, 0},
    {+BA::COMBAT_KNOCKDOWN_ROLL_R_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Knockdown_Roll_R, 0, 0},
    {+BA::COMBAT_RECOIL_INAIR_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Recoil_Inair, 0, 0},
    {+BA::COMBAT_RECOIL_INAIR_FALL_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Recoil_Inair_Fall, 0, 0},
    {+BA::COMBAT_RECOIL_WALL_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Recoil_Wall, 0, 0},
    {+BA::COMBAT_RECOIL_WALL_FALL_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Recoil_Wall_Fall, 0, 0},
    {+BA::COMBAT_RECOIL_WALL_GETUP_ANI, AnimGroup_NPCDefault, Ani_NPC_Combat_Recoil_Wall_Getup, 0, 0},
    {+BA::SHOVED_L_ANI, AnimGroup_NPCDefault, Ani_NPC_Shoved_L, 0, 0},
    {+BA::SHOVED_R_ANI, AnimGroup_NPCDefault, Ani_NPC_Shoved_R, 0, 0},
    {+BA::STRUGGLE_ATTACKER_ANI, AnimGroup_NPCDefault, Ani_NPC_Struggle_Attacker, 0, 0},
    {+BA::STRUGGLE_ATTACKER_GETUP_ANI, AnimGroup_NPCDefault, Ani_NPC_Struggle_Attacker_Getup, 0, 0},
    {+BA::STRUGGLE_VICTIM_ANI, AnimGroup_NPCDefault, Ani_NPC_Struggle_Victim, 0, 0},
    {+BA::STRUGGLE_VICTIM_GETUP_ANI, AnimGroup_NPCDefault, Ani_NPC_Struggle_Victim_Getup, 0, 0},
    {+BA::HARRASS_GUN_ASSUME_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrass_Gun_Assume, 0, 0},
    {+BA::HARRASS_GUN_IDLE_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrass_Gun_Idle, 0, 0},
    {+BA::HARRASS_KNIFE_ASSUME_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrass_Knife_Assume, 0, 0},
    {+BA::HARRASS_KNIFE_IDLE_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrass_Knife_Idle, 0, 0},
    {+BA::HARRASSED_FEMALE_ASSUME_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrassed_Female_Assume, 0, 0},
    {+BA::HARRASSED_FEMALE_IDLE_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrassed_Female_Idle, 0, 0},
    {+BA::HARRASSED_MALE_ASSUME_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrassed_Male_Assume, 0, 0},
    {+BA::HARRASSED_MALE_IDLE_ANI, AnimGroup_NPCDefault, Ani_NPC_Harrassed_Male_Idle, 0, 0},
    {+BA::GIVEUP_ANI, AnimGroup_NPCDefault, Ani_NPC_Giveup, 0, 0},
    {+BA::SPRINT_TACKLED_GETUP_ANI, AnimGroup_NPCDefault, Ani_NPC_Sprint_Tackled_Getup, 0, 0},
    {+BA::SPRINT_TAKECOVER_ANI, AnimGroup_NPCDefault, Ani_NPC_Sprint_Takecover, 0, 0},
    {+BA::ARRESTED_ANI, AnimGroup_NPCDefault, Ani_NPC_Arrested, 0, 0},
    {+BA::ARRESTED_BUT_DOWN_ANI, AnimGroup_NPCDefault, Ani_NPC_Arrested_But_Down, 0, 0},
    {+BA::ARRESTED_RELEASE_ANI, AnimGroup_NPCDefault, Ani_NPC_Arrested_Release, 0, 0},
    {+BA::ARRESTED_LYINGDOWN_L_ANI, AnimGroup_NPCDefault, Ani_NPC_Arrest_LyingDown_L, 0, 0},
    {+BA::ARRESTED_LYINGDOWN_R_ANI, AnimGroup_NPCDefault, Ani_NPC_Arrest_LyingDown_R, 0, 0},
    {+BA::GETUP_ANI, AnimGroup_NPCDefault, Ani_NPC_Getup, 0, 0},
    {+BA::GETUP_HURT_ANI, AnimGroup_NPCDefault, Ani_NPC_Getup_Hurt, 0, 0},
    {+BA::ROLL_ANI, AnimGroup_NPCDefault, Ani_NPC_Roll, 0, 0},
    {+BA::ROLL_HURT_ANI, AnimGroup_NPCDefault, Ani_NPC_Roll_Hurt, 0, 0},
    {+BA::KILLED_ANI, AnimGroup_NPCDefault, Ani_NPC_Killed, 0, 0},
    {+BA::LYING_DOWN_ANI, AnimGroup_NPCDefault, Ani_NPC_Lying_Down, 0, 0},
    {+BA::LYING_DOWN_RECOIL_ANI, AnimGroup_NPCDefault, Ani_NPC_Lying_Down_Recoil, 0, 0},
    {+BA::LYING_DOWN_DEAD_ANI, AnimGroup_NPCDefault, Ani_NPC_Lying_Down_Dead, 0, 0},
    {+BA::RUN_OVER_ANI, AnimGroup_NPCDefault, Ani_NPC_Run_Over, 0, 0},
    {+BA::RUN_OVER_DEAD_ANI, AnimGroup_NPCDefault, Ani_NPC_Run_Over_Dead, 0, 0},
    {+BA::KNOCKED_AWAY_ANI, AnimGroup_NPCDefault, Ani_NPC_Knocked_Away, 0, 0},
    {+BA::KNOCKED_AWAY_HURT_ANI, AnimGroup_NPCDefault, Ani_NPC_Knocked_Away_Hurt, 0, 0},
    {+BA::KNOCKED_UP_ANI, AnimGroup_NPCDefault, Ani_NPC_Knocked_Up, 0, 0},
    {+BA::KNOCKED_UP_HURT_ANI, AnimGroup_NPCDefault, Ani_NPC_Knocked_Up_Hurt, 0, 0},
    {+BA::CARTRANS_CAR_JUMP_BACK_ANI, AnimGroup_NPCDefault, Ani_NPC_Cartrans_Car_Jump_Back, 0, 0},
    {+BA::CARTRANS_CAR_JUMP_FWD_ANI, AnimGroup_NPCDefault, Ani_NPC_Cartrans_Car_Jump_Fwd, 0, 0},
    {73, AnimGroup_NPCDefault, Ani_NPC_Idle_Stand, 0, 0},
    {+BA::COMBAT_IDLE_HIGH_ANI, AnimGroup_NPCKungFu, 0, 0, 0},
    {+BA::COMBAT_IDLE_HIGH_B_ANI, AnimGroup_NPCKungFu, 1, 0, 0},
    {+BA::COMBAT_IDLE_LOW_ANI, AnimGroup_NPCKungFu, 2, 0, 0},
    {+BA::COMBAT_IDLE_LOW_B_ANI, AnimGroup_NPCKungFu, 3, 0, 0},
    {+BA::COMBAT_IDLE_DAZED_ANI, AnimGroup_NPCKungFu, 4, 0, 0},
    {+BA::COMBAT_IDLE_TIRED_ANI, AnimGroup_NPCKungFu, 5, 0, 0},
    {+BA::COMBAT_IDLE_ASSUME_ANI, AnimGroup_NPCKungFu, 6, 0, 0},
    {+BA::COMBAT_IDLE_KATA_ANI, AnimGroup_NPCKungFu, 7, 0, 0},
    {+BA::COMBAT_IDLE_BEGIN_FIGHT_ANI, AnimGroup_NPCKungFu, 8, 0, 0},
    {+BA::COMBAT_TAUNT_ANI, AnimGroup_NPCKungFu, 9, 0, 0},
    {+BA::COMBAT_ATTACK_1A_ANI, AnimGroup_NPCKungFu, 10, 0, 0},
    {+BA::COMBAT_ATTACK_1B_ANI, AnimGroup_NPCKungFu, 11, 0, 0},
    {+BA::COMBAT_ATTACK_2A_ANI, AnimGroup_NPCKungFu, 12, 0, 0},
    {+BA::COMBAT_ATTACK_2B_ANI, AnimGroup_NPCKungFu, 13, 0, 0},
    {+BA::COMBAT_ATTACK_3A_ANI, AnimGroup_NPCKungFu, 14, 0, 0},
    {+BA::COMBAT_ATTACK_3B_ANI, AnimGroup_NPCKungFu, 15, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_1_REACH_ANI, AnimGroup_NPCKungFu, 16, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_2_REACH_ANI, AnimGroup_NPCKungFu, 17, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_3_REACH_ANI, AnimGroup_NPCKungFu, 18, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_4_REACH_ANI, AnimGroup_NPCKungFu, 19, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_5_REACH_ANI, AnimGroup_NPCKungFu, 20, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_6_REACH_ANI, AnimGroup_NPCKungFu, 21, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_1_ANI, AnimGroup_NPCKungFu, 22, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_2_ANI, AnimGroup_NPCKungFu, 23, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_3_ANI, AnimGroup_NPCKungFu, 24, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_4_ANI, AnimGroup_NPCKungFu, 25, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_5_ANI, AnimGroup_NPCKungFu, 26, 0, 0},
    {+BA::COMBAT_ATTACK_GRAPPLE_6_ANI, AnimGroup_NPCKungFu, 27, 0, 0},
    {+BA::COMBAT_ATTACK_FINISH_1_ANI, AnimGroup_NPCKungFu, 28, 0, 0},
    {+BA::COMBAT_ATTACK_FINISH_2_ANI, AnimGroup_NPCKungFu, 29, 0, 0},
    {+BA::COMBAT_ATTACK_FINISH_3_ANI, AnimGroup_NPCKungFu, 30, 0, 0},
    {+BA::COMBAT_ATTACK_SPECIAL_1_ANI, AnimGroup_NPCKungFu, 31, 0, 0},
    {+BA::COMBAT_ATTACK_SPECIAL_2_ANI, AnimGroup_NPCKungFu, 32, 0, 0},
    {+BA::COMBAT_ATTACK_SPECIAL_3_ANI, AnimGroup_NPCKungFu, 33, 0, 0},
    {+BA::COMBAT_BLOCK_HIGH_ANI, AnimGroup_NPCKungFu, 34, 0, 0},
    {+BA::COMBAT_BLOCK_MID_ANI, AnimGroup_NPCKungFu, 35, 0, 0},
    {+BA::COMBAT_BLOCK_LOW_ANI, AnimGroup_NPCKungFu, 36, 0, 0},
    {+BA::COMBAT_MOVE_WALK_HIGH_ANI, AnimGroup_NPCKungFu, 37, 0, 0},
    {+BA::COMBAT_MOVE_WALK_LOW_ANI, AnimGroup_NPCKungFu, 38, 0, 0},
    {+BA::COMBAT_MOVE_LEFT_HIGH_ANI, AnimGroup_NPCKungFu, 39, 0, 0},
    {+BA::COMBAT_MOVE_LEFT_LOW_ANI, AnimGroup_NPCKungFu, 40, 0, 0},
    {+BA::COMBAT_MOVE_RIGHT_HIGH_ANI, AnimGroup_NPCKungFu, 41, 0, 0},
    {+BA::COMBAT_MOVE_RIGHT_LOW_ANI, AnimGroup_NPCKungFu, 42, 0, 0},
    {+BA::COMBAT_MOVE_BACK_HIGH_ANI, AnimGroup_NPCKungFu, 43, 0, 0},
    {+BA::COMBAT_MOVE_BACK_LOW_ANI, AnimGroup_NPCKungFu, 44, 0, 0},
    {+BA::COMBAT_MOVE_WALK_SPECIAL_ANI, AnimGroup_NPCKungFu, 45, 0, 0},
    {+BA::COMBAT_MOVE_BACK_SPECIAL_ANI, AnimGroup_NPCKungFu, 46, 0, 0},
    {+BA::COMBAT_MOVE_RUN_ANI, AnimGroup_NPCKungFu, 47, 0, 0},
    {+BA::COMBAT_KNOCKDOWN_GETUP_ANI, AnimGroup_NPCKungFu, 48, 0, 0},
    {+BA::COMBAT_KNOCKDOWN_FAIL_TO_GETUP_ANI, AnimGroup_NPCKungFu, 49, 0, 0},
    {+BA::COMBAT_RECOIL_HIGH_ANI, AnimGroup_NPCKungFu, 50, 0, 0},
    {+BA::COMBAT_RECOIL_LOW_ANI, AnimGroup_NPCKungFu, 51, 0, 0},
    {+BA::COMBAT_IDLE_VICTORY_1_ANI, AnimGroup_NPCKungFu, 52, 0, 0},
    {+BA::COMBAT_IDLE_VICTORY_2_ANI, AnimGroup_NPCKungFu, 53, 0, 0},
    {+BA::COMBAT_IDLE_VICTORY_3_ANI, AnimGroup_NPCKungFu, 54, 0, 0},
    {+BA::COMBAT_IDLE_VICTORY_4_ANI, AnimGroup_NPCKungFu, 55, 0, 0},
    {+BA::COMBAT_SPECTATOR_IDLE_ANI, AnimGroup_NPCKungFu, 56, 0, 0},
    {+BA::COMBAT_SPECTATOR_CHEER_ANI, AnimGroup_NPCKungFu, 57, 0, 0},
    {+BA::COMBAT_GRAPPLE_BREAK_1_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Victim_Grapple_Broken, 0, 0},
    {+BA::COMBAT_LAST_ATTACK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Victim_Grapple_Broken, 0, 0},
    {+BA::RUN_ANI, AnimGroup_NPCSprint, Ani_NPC_Run, 0, 0},
    {+BA::SPRINT_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint, 0, 0},
    {+BA::SPRINT_GETBEARINGS_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Getbearings, 0, 0},
    {+BA::SPRINT_LOOKBACK_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Lookback, 0, 0},
    {+BA::SPRINT_FIREBACK_L_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Fireback_L, 0, 0},
    {+BA::SPRINT_FIREBACK_R_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Fireback_R, 0, 0},
    {+BA::SPRINT_RECOIL_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Recoil, 0, 0},
    {+BA::SPRINT_RECOIL_LEGS_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Recoil_Legs, 0, 0},
    {+BA::SPRINT_SHOVE_L_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Shove_L, 0, 0},
    {+BA::SPRINT_SHOVE_R_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Shove_R, 0, 0},
    {+BA::SPRINT_TACKLED_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Tackled, 0, 0},
    {+BA::SPRINT_TRIP_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Trip, 0, 0},
    {+BA::SPRINT_YANK_L_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Yank_L, 0, 0},
    {+BA::SPRINT_YANK_R_ANI, AnimGroup_NPCSprint, Ani_NPC_Sprint_Yank_R, 0, 0},
    {61, AnimGroup_NPCSprint, Ani_NPC_Sprint_Start_L, 0, 0},
    {62, AnimGroup_NPCSprint, Ani_NPC_Sprint_Start_R, 0, 0},
    {1, AnimGroup_DaceCar, Ani_Dace_Car_Idle, 0, 0},
    {2, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Brake, 0, 0},
    {3, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Reverse, 0, 0},
    {4, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Crash, 0, 0},
    {5, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Turn_L, 0, 0},
    {6, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Turn_R, 0, 0},
    {7, AnimGroup_DaceCar, Ani_Dace_Car_Guns_Fire_L, 0, 0},
    {8, AnimGroup_DaceCar, Ani_Dace_Car_Guns_Fire_R, 0, 0},
    {9, AnimGroup_DaceCar, Ani_Dace_Car_Guns_Warn, 0, 1},
    {10, AnimGroup_DaceCar, Ani_Dace_Bike_CarJacked_L, 0, 0},
    {11, AnimGroup_DaceCar, Ani_Dace_Bike_CarJacked_R, 0, 0},
    {12, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_Back, 0, 0},
    {13, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_Fwd, 0, 0},
    {14, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_L, 0, 0},
    {15, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_R, 0, 0},
    {16, AnimGroup_DaceCar, Ani_Dace_Bike_Fall_L, 0, 0},
    {17, AnimGroup_DaceCar, Ani_Dace_Bike_Fall_R, 0, 0},
    {18, AnimGroup_DaceCar, Ani_Dace_Bike_GetOff_L, 0, 0},
    {19, AnimGroup_DaceCar, Ani_Dace_Bike_GetOff_R, 0, 0},
    {20, AnimGroup_DaceCar, Ani_Dace_Bike_Idle, 0, 0},
    {21, AnimGroup_DaceCar, Ani_Dace_Bike_Idle, 0, 0},
    {22, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Fire_L, 0, 0},
    {23, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Fire_R, 0, 0},
    {24, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Look_L, 0, 0},
    {25, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Look_R, 0, 0},
    {26, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Stopped, 0, 0},
    {27, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Warn, 0, 0},
    {28, AnimGroup_DaceCar, Ani_Dace_Bike_Jump, 0, 0},
    {29, AnimGroup_DaceCar, Ani_Dace_Bike_Jump_InAir, 0, 0},
    {30, AnimGroup_DaceCar, Ani_Dace_Bike_Jump_Land, 0, 0},
    {31, AnimGroup_DaceCar, Ani_Dace_Bike_Knocked_Off, 0, 0},
    {32, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Back, 0, 0},
    {33, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Back_Fire_L, 0, 0},
    {34, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Back_Fire_R, 0, 0},
    {35, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Fwd, 0, 0},
    {36, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Fwd_Fire_L, 0, 0},
    {37, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Fwd_Fire_R, 0, 0},
    {38, AnimGroup_DaceCar, Ani_Dace_Bike_Tuck, 0, 0},
    {39, AnimGroup_DaceCar, Ani_Dace_Bike_Tuck_Fire_L, 0, 0},
    {40, AnimGroup_DaceCar, Ani_Dace_Bike_Tuck_Fire_R, 0, 0},
    {41, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_L, 0, 0},
    {42, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_L_Fire_L, 0, 0},
    {43, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_L_Fire_R, 0, 0},
    {44, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_R, 0, 0},
    {45, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_R_Fire_L, 0, 0},
    {46, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_R_Fire_R, 0, 0},
    {47, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_Back, 0, 0},
    {48, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_Kickstand, 0, 0},
    {49, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_L, 5, 48},
    {50, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_R, 5, 48},
    {51, AnimGroup_DaceCar, Ani_Dace_Bike_Walk_Back, 0, 0},
    {52, AnimGroup_DaceCar, Ani_Dace_Bike_Wheelie, 0, 0},
    {53, AnimGroup_DaceCar, Ani_Dace_Bike_Wheelie_Fire_L, 0, 0},
    {54, AnimGroup_DaceCar, Ani_Dace_Bike_Wheelie_Fire_R, 0, 0},
    {63, AnimGroup_DaceCar, Ani_Dace_Car_Enter_L, 0, 0},
    {64, AnimGroup_DaceCar, Ani_Dace_Car_Enter_R, 0, 0},
    {65, AnimGroup_DaceCar, Ani_Dace_Car_Exit_L, 0, 0},
    {66, AnimGroup_DaceCar, Ani_Dace_Car_Exit_R, 0, 0},
    {67, AnimGroup_DaceCar, Ani_Dace_Car_Exit_L, 0, 0},
    {68, AnimGroup_DaceCar, Ani_Dace_Car_Exit_R, 0, 0},
    {69, AnimGroup_DaceCar, Ani_Dace_Car_Open_L, 5, 63},
    {70, AnimGroup_DaceCar, Ani_Dace_Car_Open_R, 5, 64},
    {71, AnimGroup_DaceCar, Ani_Dace_Car_Close_L, 0, 0},
    {72, AnimGroup_DaceCar, Ani_Dace_Car_Close_R, 0, 0},
    {77, AnimGroup_DaceCar, Ani_Dace_Car_SeatSwitch_L, 0, 0},
    {78, AnimGroup_DaceCar, Ani_Dace_Car_SeatSwitch_R, 0, 0},
    {79, AnimGroup_DaceCar, Ani_Dace_Car_CrawlOut, 0, 0},
    {80, AnimGroup_DaceCar, Ani_Dace_Car_CrawlOut_GetUp, 0, 0},
};

const Enemy::AttackFlagDef Enemy::AttackFlagDefs[12] = {
    {+BA::COMBAT_ATTACK_1A_ANI, 0},
    {+BA::COMBAT_ATTACK_1B_ANI, 0x800000},
    {+BA::COMBAT_ATTACK_FINISH_1_ANI, 0x2000000},
    {+BA::COMBAT_ATTACK_SPECIAL_1_ANI, 0x2000000},
    {+BA::COMBAT_ATTACK_2A_ANI, 0},
    {+BA::COMBAT_ATTACK_2B_ANI, 0x800000},
    {+BA::COMBAT_ATTACK_FINISH_2_ANI, 0x2000000},
    {+BA::COMBAT_ATTACK_SPECIAL_2_ANI, 0x2000000},
    {+BA::COMBAT_ATTACK_3A_ANI, 0},
    {+BA::COMBAT_ATTACK_3B_ANI, 0},
    {+BA::COMBAT_ATTACK_FINISH_3_ANI, 0x2000000},
    {+BA::COMBAT_ATTACK_SPECIAL_3_ANI, 0x2800000},
};

const s16 Enemy::CombatOverlayReplacements[58] = {
    +BA::COMBAT_IDLE_HIGH_ANI,
    +BA::COMBAT_IDLE_HIGH_B_ANI,
    +BA::COMBAT_IDLE_LOW_ANI,
    +BA::COMBAT_IDLE_LOW_B_ANI,
    +BA::COMBAT_IDLE_DAZED_ANI,
    +BA::COMBAT_IDLE_TIRED_ANI,
    +BA::COMBAT_IDLE_ASSUME_ANI,
    +BA::COMBAT_IDLE_KATA_ANI,
    +BA::COMBAT_IDLE_BEGIN_FIGHT_ANI,
    +BA::COMBAT_TAUNT_ANI,
    +BA::COMBAT_ATTACK_1A_ANI,
    +BA::COMBAT_ATTACK_1B_ANI,
    +BA::COMBAT_ATTACK_2A_ANI,
    +BA::COMBAT_ATTACK_2B_ANI,
    +BA::COMBAT_ATTACK_3A_ANI,
    +BA::COMBAT_ATTACK_3B_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_1_REACH_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_2_REACH_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_3_REACH_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_4_REACH_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_5_REACH_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_6_REACH_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_1_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_2_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_3_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_4_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_5_ANI,
    +BA::COMBAT_ATTACK_GRAPPLE_6_ANI,
    +BA::COMBAT_ATTACK_FINISH_1_ANI,
    +BA::COMBAT_ATTACK_FINISH_2_ANI,
    +BA::COMBAT_ATTACK_FINISH_3_ANI,
    +BA::COMBAT_ATTACK_SPECIAL_1_ANI,
    +BA::COMBAT_ATTACK_SPECIAL_2_ANI,
    +BA::COMBAT_ATTACK_SPECIAL_3_ANI,
    +BA::COMBAT_BLOCK_HIGH_ANI,
    +BA::COMBAT_BLOCK_MID_ANI,
    +BA::COMBAT_BLOCK_LOW_ANI,
    +BA::COMBAT_MOVE_WALK_HIGH_ANI,
    +BA::COMBAT_MOVE_WALK_LOW_ANI,
    +BA::COMBAT_MOVE_LEFT_HIGH_ANI,
    +BA::COMBAT_MOVE_LEFT_LOW_ANI,
    +BA::COMBAT_MOVE_RIGHT_HIGH_ANI,
    +BA::COMBAT_MOVE_RIGHT_LOW_ANI,
    +BA::COMBAT_MOVE_BACK_HIGH_ANI,
    +BA::COMBAT_MOVE_BACK_LOW_ANI,
    +BA::COMBAT_MOVE_WALK_SPECIAL_ANI,
    +BA::COMBAT_MOVE_BACK_SPECIAL_ANI,
    +BA::COMBAT_MOVE_RUN_ANI,
    +BA::COMBAT_KNOCKDOWN_GETUP_ANI,
    +BA::COMBAT_KNOCKDOWN_FAIL_TO_GETUP_ANI,
    +BA::COMBAT_RECOIL_HIGH_ANI,
    +BA::COMBAT_RECOIL_LOW_ANI,
    +BA::COMBAT_IDLE_VICTORY_1_ANI,
    +BA::COMBAT_IDLE_VICTORY_2_ANI,
    +BA::COMBAT_IDLE_VICTORY_3_ANI,
    +BA::COMBAT_IDLE_VICTORY_4_ANI,
    +BA::COMBAT_SPECTATOR_IDLE_ANI,
    +BA::COMBAT_SPECTATOR_CHEER_ANI,
};

const s16 Enemy::GunOverlayReplacements[35] = {
    +BA::GUN_IDLE_ANI,
    +BA::GUN_IDLE_FIRE_ANI,
    +BA::GUN_IDLE_NOSHOOT_ANI,
    +BA::GUN_DUCK_ANI,
    +BA::GUN_DUCK_RECOIL_ANI,
    +BA::GUN_DUCK_RELOAD_ANI,
    +BA::GUN_DUCK_ROLL_L_ANI,
    +BA::GUN_DUCK_ROLL_R_ANI,
    +BA::GUN_GRAPPLED_ANI,
    +BA::GUN_GRAPPLED_IDLE_ANI,
    +BA::GUN_GRAPPLED_WALK_BACK_ANI,
    +BA::GUN_GRAPPLED_WALK_FWD_ANI,
    +BA::GUN_GRAPPLED_WALK_LEFT_ANI,
    +BA::GUN_GRAPPLED_WALK_RIGHT_ANI,
    +BA::GUN_GRAPPLED_RELEASE_ANI,
    +BA::GUN_RECOIL_ANI,
    +BA::GUN_KNOCKDOWN_ANI,
    +BA::GUN_GETUP_ANI,
    +BA::GUN_KILLED_ANI,
    +BA::GUN_KILLED2_ANI,
    +BA::GUN_NEUTRALIZED_L_ANI,
    +BA::GUN_NEUTRALIZED_LEGS_ANI,
    +BA::GUN_NEUTRALIZED_R_ANI,
    +BA::GUN_KILLED_FALL_ANI,
    +BA::GUN_KILLED_FALL_INAIR_ANI,
    +BA::GUN_KILLED_FALL_LAND_ANI,
    +BA::GUN_RUN_ANI,
    +BA::GUN_LYINGDOWN_ANI,
    +BA::GUN_LYINGDOWN_RECOIL_ANI,
    +BA::GUN_LYINGDOWN_KILLED_ANI,
    +BA::GUN_WALK_BACK_ANI,
    +BA::GUN_WALK_FWD_ANI,
    +BA::GUN_WALK_LEFT_ANI,
    +BA::GUN_WALK_RIGHT_ANI,
    +BA::GUN_RELOAD_ANI,
};

const Guy::VictimData Enemy::VictimDataTable[14] = {
    {STEALTH_GRAPPLE_DISARM_START_ANI, +BA::GUARD_DISARMED_ANI, 0.15625f, 0, false},
    {STEALTH_GRAPPLE_DISARM_K_START_ANI, +BA::GUARD_DISARMED_K_ANI, 0.15625f, 0, false},
    {STEALTH_GRAPPLE_DISARM_P_START_ANI, +BA::GUARD_DISARMED_P_ANI, 0.15625f, 0, false},
    {GUNS_GRAPPLE_START_ANI, +BA::GUN_GRAPPLED_ANI, 0.15625f, 0, false},
    {COMBAT_GRAPPLE_ARMBREAK_START_ANI, +BA::COMBAT_GRAPPLED_ANI, 0.15625f, 0, false},
    {COMBAT_GRAPPLE_ARMTWIST_START_ANI, +BA::COMBAT_GRAPPLED_ANI, 0.15625f, 0, false},
    {COMBAT_GRAPPLE_FIREMANTOSS_START_ANI, +BA::COMBAT_GRAPPLED_ANI, 0.15625f, 0, false},
    {COMBAT_GRAPPLE_HIPTHROW_START_ANI, +BA::COMBAT_GRAPPLED_ANI, 0.15625f, 0, false},
    {COMBAT_GRAPPLE_KNEEBASH_START_ANI, +BA::COMBAT_GRAPPLED_ANI, 0.15625f, 0, false},
    {COMBAT_GRAPPLE_LEGTHROW_START_ANI, +BA::COMBAT_GRAPPLED_ANI, 0.15625f, 0, false},
    {COMBAT_GRAPPLE_TRIP_START_ANI, +BA::COMBAT_GRAPPLED_ANI, 0.15625f, 0, false},
    {PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI, +BA::ARRESTED_LYINGDOWN_L_ANI, 0.9375f, 20, true},
    {PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI, +BA::ARRESTED_LYINGDOWN_R_ANI, 0.9375f, 20, true},
    {PED_ARREST_START_ANI, +BA::ARRESTED_BUT_DOWN_ANI, 0.234375f, 0, false},
};

bool Enemy::IsGrabOpener(u16 playeranim)
{
    for (const VictimData& v : VictimDataTable)
        if (v.enemyani == playeranim)
            return true;
    return false;
}

AnimChar* Enemy::Anims[TOTAL_BADGUY_ANIS];
u8 Enemy::AnimBanks[TOTAL_BADGUY_ANIS];
u16 Enemy::AnimTransMorphLens[TOTAL_BADGUY_ANIS];
u16 Enemy::AnimTransitions[TOTAL_BADGUY_ANIS];
u32 Enemy::AttackFlags[TOTAL_BADGUY_ANIS];
s16 Enemy::CombatAnimOverlayIndex[TOTAL_BADGUY_ANIS];
AnimChar* Enemy::BoxerOverlayAnims[58];
AnimChar* Enemy::BrawlerOverlayAnims[58];
AnimChar* Enemy::KarateOverlayAnims[58];
AnimChar* Enemy::KnifeOverlayAnims[58];
AnimChar* Enemy::FemaleOverlayAnims[58];
AnimChar* Enemy::MaleOverlayAnims[58];
AnimChar* Enemy::PistolOverlayAnims[35];
AnimChar* Enemy::MGunOverlayAnims[35];

namespace {

// Clip k of a loaded group, null when the group holds no such clip.
AnimChar* GroupClip(const AnimGroup* g, int k)
{
    return g != nullptr && k >= 0 && k < g->count ? g->pChars[k] : nullptr;
}

void BuildOverlay(AnimChar** table, int n, int group, const s16* defs)
{
    const AnimGroup* g = g_GlobalAGI.GetAG(group);
    for (int i = 0; i < n; i++)
        table[i] = g != nullptr && defs[i] >= 0 ? GroupClip(g, defs[i]) : nullptr;
}

bool LeavesAttackVolumes(u16 a)
{
    return (a >= 93 && a <= 118) || (a >= 135 && a <= 144) || a == 286 || a == 287 || a == 289 || a == 296 ||
           a == 297 || a == 88 || a == 123;
}

}  // namespace

void Enemy::BuildAnimTables()
{
    for (const AnimDef& d : AnimDefs) {
        if (const AnimGroup* g = g_GlobalAGI.GetAG(d.group))
            Anims[d.anim] = GroupClip(g, d.index);
        AnimBanks[d.anim] = u8(d.group);
        AnimTransMorphLens[d.anim] = d.morph;
        AnimTransitions[d.anim] = d.next;
    }
    for (const AttackFlagDef& f : AttackFlagDefs)
        AttackFlags[f.anim] = f.flags;
    for (s16& i : CombatAnimOverlayIndex)
        i = -1;
    for (int s = 0; s < 58; s++)
        CombatAnimOverlayIndex[CombatOverlayReplacements[s]] = s16(s);
    for (int s = 0; s < 35; s++)
        CombatAnimOverlayIndex[GunOverlayReplacements[s]] = s16(s);
    BuildOverlay(BoxerOverlayAnims, 58, AnimGroup_NPCBoxer, BoxerOverlayDefs);
    BuildOverlay(BrawlerOverlayAnims, 58, AnimGroup_NPCBrawler, BrawlerOverlayDefs);
    BuildOverlay(KarateOverlayAnims, 58, AnimGroup_NPCKarate, KarateOverlayDefs);
    BuildOverlay(KnifeOverlayAnims, 58, AnimGroup_NPCKnife, KnifeOverlayDefs);
    BuildOverlay(FemaleOverlayAnims, 58, AnimGroup_NPCFemaleCombat, FemaleOverlayDefs);
    BuildOverlay(MaleOverlayAnims, 58, AnimGroup_NPCMaleCombat, MaleOverlayDefs);
    BuildOverlay(PistolOverlayAnims, 35, AnimGroup_NPCPistol, GunOverlayDefs);
    BuildOverlay(MGunOverlayAnims, 35, AnimGroup_NPCMGun, GunOverlayDefs);
}

void Enemy::InitAnims()
{
    BuildAnimTables();
    anims = Anims;
    animbanks = AnimBanks;
}

void Enemy::BlendToAnim(u16 nm2, int nframes, int bankoverride, int indexoverride)
{
    if (nm2 == mode2)
        return;
    ReBlendToAnim(nm2, nframes, bankoverride, indexoverride, false);
}

namespace {

// The clip and bank of nm2 for e: an explicit group entry, else the overlay
// set's entry for the number's slot, else the base clip.  An overlay slot
// holding no clip plays the base clip with the base bank, so the body never
// receives an empty clip.
void PickClip(const Enemy* e, u16 nm2, int bankoverride, int indexoverride, AnimChar** clip, u8* bank)
{
    AnimChar* overlay = nullptr;
    if (indexoverride >= 0 && bankoverride >= 0)
        *clip = GroupClip(g_GlobalAGI.GetAG(bankoverride & 0xFF), indexoverride);
    else if (e->combatoverlayanims != nullptr && Enemy::CombatAnimOverlayIndex[nm2] != -1)
        *clip = overlay = e->combatoverlayanims[Enemy::CombatAnimOverlayIndex[nm2]];
    else
        *clip = e->anims != nullptr ? e->anims[nm2] : nullptr;
    const u8 base = e->animbanks != nullptr ? e->animbanks[nm2] : 0;
    if (bankoverride >= 0)
        *bank = u8(bankoverride);
    else if (overlay != nullptr)
        *bank = u8(base + e->style);
    else
        *bank = base;
    if (*clip == nullptr && indexoverride < 0 && e->anims != nullptr) {
        *clip = e->anims[nm2];
        if (bankoverride < 0)
            *bank = base;
    }
}

}  // namespace

void Enemy::ReBlendToAnim(u16 nm2, int nframes, int bankoverride, int indexoverride, bool noadvance)
{
    if (nm2 >= TOTAL_BADGUY_ANIS)
        return;
    flags = (flags & ~ENEMYF_ATTACKBITS) | AttackFlags[nm2];
    if (nm2 == +BA::COMBAT_RECOIL_INAIR_ANI)
        UpdateBodyColl(fightfootrootcollmask, 0x408, fightrootcollmask, 0.0625f);
    LeaveAnim();
    AnimChar* clip;
    u8 bank;
    PickClip(this, nm2, bankoverride, indexoverride, &clip, &bank);
    Guy::BlendToAnim(nm2, clip, bank, nframes, noadvance);
}

void Enemy::LeaveAnim()
{
    if (mode2 == +BA::COMBAT_RECOIL_WALL_FALL_ANI)
        flags &= ~ENEMYF_AIRBORNE;
    if (LeavesAttackVolumes(mode2)) {
        for (OffensiveCollision& o : offcollobjs)
            o.Unbind();
        offenseactive = false;
        flags &= ~ENEMYF_HOLDING;
    }
}

void Enemy::SetAnim(u16 nm2, int bankoverride, int indexoverride)
{
    if (nm2 >= TOTAL_BADGUY_ANIS)
        return;
    flags = (flags & ~ENEMYF_ATTACKBITS) | AttackFlags[nm2];
    LeaveAnim();
    AnimChar* clip;
    u8 bank;
    PickClip(this, nm2, bankoverride, indexoverride, &clip, &bank);
    Guy::SetAnim(nm2, clip, bank);
}

int Enemy::CalculateBlockAni(unsigned int attackerflags)
{
    if (attackerflags & 0x800000)
        return +BA::COMBAT_BLOCK_LOW_ANI;
    if (!(attackerflags & 0x1000000))
        return +BA::COMBAT_BLOCK_HIGH_ANI;
    return (rand() & 1) == 0 ? +BA::COMBAT_BLOCK_LOW_ANI : +BA::COMBAT_BLOCK_HIGH_ANI;
}

int Enemy::CalculateRecoilAni(unsigned int attackerflags)
{
    if (attackerflags & 0x800000)
        return +BA::COMBAT_RECOIL_LOW_ANI;
    if (!(attackerflags & 0x1000000))
        return +BA::COMBAT_RECOIL_HIGH_ANI;
    return (rand() & 1) == 0 ? +BA::COMBAT_RECOIL_HIGH_ANI : +BA::COMBAT_RECOIL_LOW_ANI;
}

int Enemy::CalculateRecoilAni(VectorPos localpt)
{
    if (localpt[1] < CombatHitHighThreshold)
        return +BA::COMBAT_RECOIL_HIGH_ANI;
    if (localpt[1] < CombatHitLowThreshold)
        return (rand() & 1) == 0 ? +BA::COMBAT_RECOIL_HIGH_ANI : +BA::COMBAT_RECOIL_LOW_ANI;
    return +BA::COMBAT_RECOIL_LOW_ANI;
}

// Without a starting strength the measure has no base: fresh.
float Enemy::GetFatigue() const
{
    if (initialstrength <= 0.0f)
        return 1.0f;
    return 1.0f - strength / initialstrength;
}
