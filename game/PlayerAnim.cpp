// The player's animation table and fist-fighting move graph (see PlayerAnim.h).
#include "game/PlayerAnim.h"

#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Utilities.h"
#include "game/DaceCarAnims.h"
#include "game/DaceCombatAnims.h"
#include "game/DaceDefaultAnims.h"
#include "game/DaceGunsAnims.h"
#include "game/DaceStealthAnims.h"
#include "game/GameFlow.h"
#include "game/NPCDefaultAnims.h"

// ---------------------------------------------------------------------------
// The animation table.  Numbers without a row (74..76, 88, 138..140, 207,
// 211, 214..222, 321, 322) keep a null record; 199 has two equal rows.

const DaceAnim::AnimDef DaceAnim::AnimDefs[NUM_ANIMDEFS] = {
    {CAR_IDLE_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle, 0, 0},
    {CAR_IDLE_BRAKE_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Brake, 0, 0},
    {CAR_IDLE_REVERSE_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Reverse, 0, 0},
    {CAR_IDLE_CRASH_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Crash, 0, 0},
    {CAR_IDLE_TURN_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Turn_L, 0, 0},
    {CAR_IDLE_TURN_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Turn_R, 0, 0},
    {CAR_GUNS_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Guns_Fire_L, 0, 0},
    {CAR_GUNS_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Guns_Fire_R, 0, 0},
    {CAR_GUNS_WARN_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Guns_Warn, 0, CAR_IDLE_ANI},
    {BIKE_CARJACKED_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_CarJacked_L, 0, 0},
    {BIKE_CARJACKED_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_CarJacked_R, 0, 0},
    {BIKE_CRASH_BACK_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_Back, 0, 0},
    {BIKE_CRASH_FWD_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_Fwd, 0, 0},
    {BIKE_CRASH_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_L, 0, 0},
    {BIKE_CRASH_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Crash_R, 0, 0},
    {BIKE_FALL_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Fall_L, 0, 0},
    {BIKE_FALL_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Fall_R, 0, 0},
    {BIKE_GETOFF_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_GetOff_L, 0, 0},
    {BIKE_GETOFF_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_GetOff_R, 0, 0},
    {BIKE_IDLE_BRAKE_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle, 0, 0},
    {BIKE_IDLE_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle, 0, 0},
    {BIKE_IDLE_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Fire_L, 0, 0},
    {BIKE_IDLE_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Fire_R, 0, 0},
    {BIKE_IDLE_LOOK_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Look_L, 0, 0},
    {BIKE_IDLE_LOOK_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Look_R, 0, 0},
    {BIKE_IDLE_STOPPED_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Stopped, 0, 0},
    {BIKE_IDLE_WARN_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Idle_Warn, 0, 0},
    {BIKE_JUMP_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Jump, 0, 0},
    {BIKE_JUMP_INAIR_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Jump_InAir, 0, 0},
    {BIKE_JUMP_LAND_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Jump_Land, 0, 0},
    {BIKE_KNOCKED_OFF_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Knocked_Off, 0, 0},
    {BIKE_LEAN_BACK_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Back, 0, 0},
    {BIKE_LEAN_BACK_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Back_Fire_L, 0, 0},
    {BIKE_LEAN_BACK_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Back_Fire_R, 0, 0},
    {BIKE_LEAN_FWD_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Fwd, 0, 0},
    {BIKE_LEAN_FWD_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Fwd_Fire_L, 0, 0},
    {BIKE_LEAN_FWD_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Lean_Fwd_Fire_R, 0, 0},
    {BIKE_TUCK_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Tuck, 0, 0},
    {BIKE_TUCK_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Tuck_Fire_L, 0, 0},
    {BIKE_TUCK_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Tuck_Fire_R, 0, 0},
    {BIKE_TURN_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_L, 0, 0},
    {BIKE_TURN_L_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_L_Fire_L, 0, 0},
    {BIKE_TURN_L_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_L_Fire_R, 0, 0},
    {BIKE_TURN_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_R, 0, 0},
    {BIKE_TURN_R_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_R_Fire_L, 0, 0},
    {BIKE_TURN_R_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Turn_R_Fire_R, 0, 0},
    {BIKE_UPRIGHT_GETON_BACK_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_Back, 0, 0},
    {BIKE_UPRIGHT_GETON_KICKSTAND_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_Kickstand, 0, 0},
    {BIKE_UPRIGHT_GETON_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_L, 5, BIKE_UPRIGHT_GETON_KICKSTAND_ANI},
    {BIKE_UPRIGHT_GETON_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Upright_GetOn_R, 5, BIKE_UPRIGHT_GETON_KICKSTAND_ANI},
    {BIKE_WALK_BACK_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Walk_Back, 0, 0},
    {BIKE_WHEELIE_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Wheelie, 0, 0},
    {BIKE_WHEELIE_FIRE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Wheelie_Fire_L, 0, 0},
    {BIKE_WHEELIE_FIRE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Bike_Wheelie_Fire_R, 0, 0},
    {CAR_WALK_TO_DOOR_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Walk, 0, 0},
    {CAR_WALK_TO_DOOR_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Walk, 0, 0},
    {CAR_RUN_TO_DOOR_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint, 0, 0},
    {CAR_RUN_TO_DOOR_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint, 0, 0},
    {CAR_START_WALK_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle, 0, 0},
    {CAR_START_WALK_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle, 0, 0},
    {CAR_WAIT_AT_DOOR_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle, 0, 0},
    {CAR_WAIT_AT_DOOR_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle, 0, 0},
    {CAR_ENTER_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Enter_L, 0, 0},
    {CAR_ENTER_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Enter_R, 0, 0},
    {CAR_EXIT_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Exit_L, 0, 0},
    {CAR_EXIT_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Exit_R, 0, 0},
    {CAR_EXIT_NODOOR_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Exit_L, 0, 0},
    {CAR_EXIT_NODOOR_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Exit_R, 0, 0},
    {CAR_OPEN_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Open_L, 5, CAR_ENTER_L_ANI},
    {CAR_OPEN_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Open_R, 5, CAR_ENTER_R_ANI},
    {CAR_CLOSE_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Close_L, 0, 0},
    {CAR_CLOSE_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Close_R, 0, 0},
    {CAR_PULLOUT_DRIVER_ANI, AnimGroup_NPCDefault, Ani_NPC_Car_PullOutDriver_L, 5, CAR_ENTER_L_ANI},
    {CAR_SEATSWITCH_L_ANI, AnimGroup_DaceCar, Ani_Dace_Car_SeatSwitch_L, 0, 0},
    {CAR_SEATSWITCH_R_ANI, AnimGroup_DaceCar, Ani_Dace_Car_SeatSwitch_R, 0, 0},
    {CAR_CRAWLOUT_ANI, AnimGroup_DaceCar, Ani_Dace_Car_CrawlOut, 0, 0},
    {CAR_CRAWLOUT_GETUP_ANI, AnimGroup_DaceCar, Ani_Dace_Car_CrawlOut_GetUp, 0, 0},
    {PED_IDLE_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle, 10, 0},
    {PED_IDLE_LOOKAROUND_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle_LookAround, 0, 0},
    {PED_IDLE_FOOTWORK_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle_Footwork, 0, 0},
    {PED_IDLE_CHECKTIME_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle_CheckTime, 0, 0},
    {PED_IDLE_ASSUME_COMBAT_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle_AssumeCombat, 0, 0},
    {PED_IDLE_GRABKNOB_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle_GrabKnob, 0, 0},
    {PED_IDLE_COMMANDEER_FAIL_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Idle_CommandeerFail, 5, PED_IDLE_ANI},
    {PED_GETUP_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_GetUp, 0, PED_IDLE_ANI},
    {PED_WALK_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Walk, 0, 0},
    {PED_RUN_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Run, 0, 0},
    {PED_SPRINT_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint, 0, 0},
    {PED_CHASE_TRIP_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Chase_Trip, 5, 0},
    {PED_CHASE_TACKLE_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Chase_Tackle, 3, PED_CHASE_TACKLE_INAIR_ANI},
    {PED_CHASE_TACKLE_INAIR_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Chase_Tackle_InAir, 0, 0},
    {PED_CHASE_TACKLE_LAND_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Chase_Tackle_Land, 5, 0},
    {PED_CHASE_SHOVE_LEFT_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Chase_Shove_L, 5, 0},
    {PED_CHASE_SHOVE_RIGHT_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Chase_Shove_R, 5, 0},
    {PED_CHASE_RECOIL_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Chase_Recoil, 0, 0},
    {PED_JUMP_TAKEOFF_STANDING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Takeoff_Standing, 0, PED_JUMP_AIRBORNE_STANDING_ANI},
    {PED_JUMP_TAKEOFF_RUNNING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Takeoff_Running, 0, PED_JUMP_AIRBORNE_RUNNING_ANI},
    {PED_JUMP_TAKEOFF_SPRINTING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Takeoff_Sprinting, 0, PED_JUMP_AIRBORNE_SPRINTING_ANI},
    {PED_JUMP_AIRBORNE_STANDING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Airborne_Standing, 45, 0},
    {PED_JUMP_AIRBORNE_RUNNING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Airborne_Running, 45, 0},
    {PED_JUMP_AIRBORNE_SPRINTING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Airborne_Sprinting, 45, 0},
    {PED_JUMP_FALLING_STANDING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Falling, 0, 0},
    {PED_JUMP_FALLING_RUNNING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Falling, 0, 0},
    {PED_JUMP_FALLING_SPRINTING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Falling, 0, 0},
    {PED_JUMP_LAND_STANDING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Land_Standing, 15, 0},
    {PED_JUMP_LAND_WALKING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Land_Walking, 0, 0},
    {PED_JUMP_LAND_RUNNING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Land_Running, 0, PED_RUN_ANI},
    {PED_JUMP_LAND_SPRINTING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Land_Sprinting, 0, PED_SPRINT_ANI},
    {PED_JUMP_LAND_FALLING_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Land_Falling, 0, 0},
    {PED_JUMP_LAND_FALLING_HIGH_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Jump_Land_Falling_High, 0, 0},
    {PED_SPRINT_JUMPCAR_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_L, 3, PED_SPRINT_JUMPCAR_SLIDE_L_ANI},
    {PED_SPRINT_JUMPCAR_LAND_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_Land_L, 0, 0},
    {PED_SPRINT_JUMPCAR_SLIDE_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_Slide_L, 0, 0},
    {PED_SPRINT_JUMPCAR_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_R, 3, PED_SPRINT_JUMPCAR_SLIDE_R_ANI},
    {PED_SPRINT_JUMPCAR_LAND_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_Land_R, 0, 0},
    {PED_SPRINT_JUMPCAR_SLIDE_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_Slide_R, 0, 0},
    {PED_SPRINT_JUMPCAR_SLIDE_BACK_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_Slide_Back_L, 0, 0},
    {PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint_JumpCar_Slide_Back_R, 0, 0},
    {PED_WARN_PHYSICAL_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Warn_Physical, 10, 0},
    {PED_WARN_PHYSICAL_OVERLAY_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Warn_Physical_Overlay, 10, 0},
    {PED_WARN_GUN_ASSUME_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Warn_Gun_Assume, 8, 0},
    {PED_WARN_GUN_IDLE_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Warn_Gun_Idle, 0, 0},
    {PED_WARN_GUN_REVERT_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Warn_Gun_Revert, 0, 0},
    {PED_WARN_GUN_RUN_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Warn_Gun_Run, 0, 0},
    {PED_ARREST_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest, 0, 0},
    {PED_ARREST_FAIL_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_Fail, 5, PED_IDLE_ANI},
    {PED_ARREST_START_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_Start, 0, PED_ARREST_PAD_DOWN_ANI},
    {PED_ARREST_PAD_DOWN_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_PadDown, 0, 0},
    {PED_ARREST_RELEASE_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_Release, 0, 0},
    {PED_ARREST_LYINGDOWN_WALK_OVER_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_LyingDown_WalkOver_L, 0, 0},
    {PED_ARREST_LYINGDOWN_WALK_OVER_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_LyingDown_WalkOver_R, 0, 0},
    {PED_ARREST_LYINGDOWN_L_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_LyingDown_L, 10, 0},
    {PED_ARREST_LYINGDOWN_R_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Arrest_LyingDown_R, 10, 0},
    {COMBAT_IDLE_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle, 10, 0},
    {COMBAT_IDLE_SETTLE_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Settle, 15, 0},
    {COMBAT_IDLE_SETTLE_TAUNT_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Settle_Taunt, 10, COMBAT_IDLE_SETTLE_ANI},
    {COMBAT_IDLE_ASSUME_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Assume, 10, COMBAT_IDLE_ANI},
    {COMBAT_IDLE_KATA_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Kata, 10, COMBAT_IDLE_ANI},
    {COMBAT_IDLE_ENTER_FIGHT_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Kata, 0, 0},
    {COMBAT_IDLE_BEGIN_FIGHT_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Kata, 0, 0},
    {COMBAT_IDLE_FINISH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_Assume, 0, 0},
    {COMBAT_IDLE_STRETCH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Stretch, 10, COMBAT_IDLE_ANI},
    {COMBAT_IDLE_FAKEATTACK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_FakeAttack, 10, COMBAT_IDLE_ANI},
    {COMBAT_IDLE_NOGUNS_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_NoGuns, 10, COMBAT_IDLE_ANI},
    {COMBAT_IDLE_PICKUP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Pickup, 0, 0},
    {COMBAT_IDLE_VICTORY_1_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle, 0, 0},
    {COMBAT_IDLE_VICTORY_2_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle_Kata, 0, 0},
    {COMBAT_IDLE_VICTORY_3_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Idle, 0, 0},
    {COMBAT_MOVE_FWD_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Move_Fwd, 0, 0},
    {COMBAT_MOVE_BACK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Move_Back, 0, 0},
    {COMBAT_MOVE_LEFT_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Move_L, 0, 0},
    {COMBAT_MOVE_RIGHT_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Move_R, 0, 0},
    {COMBAT_WALK_FWD_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Walk_Fwd, 0, 0},
    {COMBAT_RUN_FWD_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Run_Fwd, 0, 0},
    {COMBAT_BACK_H_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Back_H, 0, 0},
    {COMBAT_BACK_K_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Back_K, 0, 0},
    {COMBAT_BACK_P_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Back_P, 0, 0},
    {COMBAT_P_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Punch_P1, 0, 0},
    {COMBAT_K_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Kick_K1, 0, 0},
    {COMBAT_H_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_High_H1, 0, 0},
    {COMBAT_P_KNIFE_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Knife_P1, 0, 0},
    {COMBAT_PP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Punch_P2, 0, 0},
    {COMBAT_KK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Kick_K2, 0, 0},
    {COMBAT_HH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_High_H2, 0, 0},
    {COMBAT_PP_KNIFE_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Knife_P2, 0, 0},
    {COMBAT_KNIFE_THROW_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Knife_Throw, 0, 0},
    {COMBAT_FINISH_PUNCH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_Punch, 0, 0},
    {COMBAT_FINISH_WINDMILLKICK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_WindmillKick, 0, 0},
    {COMBAT_FINISH_SPINJUMPKICK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_SpinJumpKick, 0, 0},
    {COMBAT_FINISH_DOUBLEFIST_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_DoubleFist, 0, 0},
    {COMBAT_FINISH_KICK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_Kick, 0, 0},
    {COMBAT_FINISH_DROPKICK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_DropKick, 0, 0},
    {COMBAT_FINISH_SPINUPPERCUT_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_SpinUppercut, 0, 0},
    {COMBAT_FINISH_LOWLEGSWEEP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_LowLegSweep, 0, 0},
    {COMBAT_FINISH_JUMPKICK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Finish_JumpKick, 0, 0},
    {COMBAT_GRAPPLE_ANTICIPATE_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_Anticipate, 0, COMBAT_GRAPPLE_HIPTHROW_START_ANI},
    {COMBAT_GRAPPLE_ARMBREAK_START_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_ArmBreak_Start, 0, COMBAT_GRAPPLE_ARMBREAK_ANI},
    {COMBAT_GRAPPLE_ARMTWIST_START_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_ArmTwist_Start, 0, COMBAT_GRAPPLE_ARMTWIST_ANI},
    {COMBAT_GRAPPLE_FIREMANTOSS_START_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_FiremanToss_Start, 0, COMBAT_GRAPPLE_FIREMANTOSS_ANI},
    {COMBAT_GRAPPLE_HIPTHROW_START_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_HipThrow_Start, 0, COMBAT_GRAPPLE_HIPTHROW_ANI},
    {COMBAT_GRAPPLE_KNEEBASH_START_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_KneeBash_Start, 0, COMBAT_GRAPPLE_KNEEBASH_ANI},
    {COMBAT_GRAPPLE_LEGTHROW_START_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_LegThrow_Start, 0, COMBAT_GRAPPLE_LEGTHROW_ANI},
    {COMBAT_GRAPPLE_TRIP_START_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_Trip_Start, 0, COMBAT_GRAPPLE_TRIP_ANI},
    {COMBAT_GRAPPLE_ARMBREAK_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_ArmBreak, 0, 0},
    {COMBAT_GRAPPLE_ARMTWIST_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_ArmTwist, 0, 0},
    {COMBAT_GRAPPLE_FIREMANTOSS_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_FiremanToss, 0, 0},
    {COMBAT_GRAPPLE_HIPTHROW_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_HipThrow, 0, 0},
    {COMBAT_GRAPPLE_KNEEBASH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_KneeBash, 0, 0},
    {COMBAT_GRAPPLE_LEGTHROW_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_LegThrow, 0, 0},
    {COMBAT_GRAPPLE_TRIP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_Trip, 0, 0},
    {COMBAT_RUNNING_P_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Running_P, 0, 0},
    {COMBAT_RUNNING_K_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Running_K, 0, 0},
    {COMBAT_RUNNING_K_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Running_K, 0, 0},
    {COMBAT_RUNNING_H_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_Running_H, 0, 0},
    {COMBAT_LYINGDOWN_P_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_LyingDown_P, 0, COMBAT_LYINGDOWN_P_GETUP_ANI},
    {COMBAT_LYINGDOWN_K_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_LyingDown_K, 0, COMBAT_LYINGDOWN_K_GETUP_ANI},
    {COMBAT_LYINGDOWN_H_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_LyingDown_H, 0, COMBAT_LYINGDOWN_H_GETUP_ANI},
    {COMBAT_LYINGDOWN_P_GETUP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_LyingDown_P_GetUp, 0, 0},
    {COMBAT_LYINGDOWN_K_GETUP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_LyingDown_K_GetUp, 0, 0},
    {COMBAT_LYINGDOWN_H_GETUP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Attack_LyingDown_H_GetUp, 0, 0},
    {COMBAT_GRAPPLE_BROKEN_1_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_Broken, 0, 0},
    {COMBAT_GRAPPLE_BROKEN_2_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_Broken, 0, 0},
    {COMBAT_BLOCK_LOW_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Block_Low, 0, 0},
    {COMBAT_BLOCK_HIGH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Block_High, 0, 0},
    {COMBAT_BLOCK_HIGH_2_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Block_High_2, 0, 0},
    {COMBAT_GRAPPLE_MISS_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Grapple_Miss, 5, COMBAT_IDLE_ANI},
    {COMBAT_RECOIL_LOW_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Recoil_Low, 0, 0},
    {COMBAT_RECOIL_HIGH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Recoil_High, 0, 0},
    {COMBAT_RECOIL_BACK_LOW_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Recoil_Back_Low, 0, 0},
    {COMBAT_RECOIL_BACK_HIGH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Recoil_Back_High, 0, 0},
    {COMBAT_KNOCKDOWN_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Knockdown, 0, COMBAT_KNOCKDOWN_INAIR_ANI},
    {COMBAT_KNOCKDOWN_INAIR_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Knockdown_InAir, 10, COMBAT_KNOCKDOWN_LAND_ANI},
    {COMBAT_KNOCKDOWN_LAND_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Knockdown_Land, 10, 0},
    {COMBAT_KNOCKDOWN_GETUP_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Knockdown_GetUp, 10, COMBAT_IDLE_ANI},
    {COMBAT_KNOCKDOWN_GETUP_FRESH_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Knockdown_GetUp_Fresh, 10, COMBAT_IDLE_ANI},
    {COMBAT_KNOCKDOWN_GETUP_TIRED_ANI, AnimGroup_DaceCombat, Ani_Dace_Combat_Knockdown_GetUp_Tired, 10, COMBAT_IDLE_ANI},
    {STEALTH_IDLE_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Idle, 10, 0},
    {STEALTH_IDLE_CROUCH_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Idle_Crouch, 10, 0},
    {STEALTH_IDLE_LOOKAROUND_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Idle_LookAround, 10, 0},
    {STEALTH_WALK_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Walk, 0, 0},
    {STEALTH_RUN_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Run, 0, 0},
    {STEALTH_GRAPPLE_DISARM_START_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Default, 15, STEALTH_GRAPPLE_DISARM_FINISH_ANI},
    {STEALTH_GRAPPLE_DISARM_IDLE_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Default_Idle, 0, 0},
    {STEALTH_GRAPPLE_DISARM_BACK_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Default_Back, 0, 0},
    {STEALTH_GRAPPLE_DISARM_DROP_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Default_Drop, 0, 0},
    {STEALTH_GRAPPLE_DISARM_FINISH_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Default_Reach, 0, 0},
    {STEALTH_GRAPPLE_DISARM_K_START_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Kick, 15, STEALTH_GRAPPLE_DISARM_K_FINISH_ANI},
    {STEALTH_GRAPPLE_DISARM_K_FINISH_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Kick_Reach, 0, 0},
    {STEALTH_GRAPPLE_DISARM_P_START_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Punch, 15, STEALTH_GRAPPLE_DISARM_P_FINISH_ANI},
    {STEALTH_GRAPPLE_DISARM_P_FINISH_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Disarm_Punch_Reach, 0, 0},
    {STEALTH_FWALL_IDLE_L_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_FWall_Idle_L, 0, 0},
    {STEALTH_FWALL_IDLE_R_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_FWall_Idle_R, 0, 0},
    {STEALTH_FWALL_WALK_L_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_FWall_Walk_L, 0, 0},
    {STEALTH_FWALL_WALK_R_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_FWall_Walk_R, 0, 0},
    {STEALTH_HWALL_IDLE_L_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_HWall_Idle_L, 0, 0},
    {STEALTH_HWALL_IDLE_R_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_HWall_Idle_R, 0, 0},
    {STEALTH_HWALL_WALK_L_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_HWall_Walk_L, 0, 0},
    {STEALTH_HWALL_WALK_R_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_HWall_Walk_R, 0, 0},
    {STEALTH_JUMP_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Jump, 3, STEALTH_JUMP_INAIR_ANI},
    {STEALTH_JUMP_INAIR_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Jump_InAir, 0, 0},
    {STEALTH_JUMP_LAND_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Jump_Land, 5, 0},
    {STEALTH_FIRE_ASSUME_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Fire_Assume, 0, 0},
    {STEALTH_FIRE_IDLE_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Fire_Idle, 0, 0},
    {STEALTH_FIRE_PRECISION_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Fire_PrecisionAim, 0, 0},
    {STEALTH_FIRE_REVERT_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Fire_Revert, 0, 0},
    {STEALTH_SPOTTED_ANI, AnimGroup_DaceStealth, Ani_Dace_Stealth_Spotted, 0, 0},
    {GUNS_IDLE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle, 10, 0},
    {GUNS_IDLE_2_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_2, 0, 0},
    {GUNS_IDLE_PUTAWAY_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_PutAway, 0, 0},
    {GUNS_IDLE_DRAWGUNS_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_DrawGuns, 0, GUNS_IDLE_ANI},
    {GUNS_IDLE_FIRE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Fire, 15, 0},
    {GUNS_IDLE_BEGIN_FIRE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Begin_Fire, 5, 0},
    {GUNS_IDLE_RESTART_FIRE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Restart_Fire, 5, 0},
    {GUNS_IDLE_RELOAD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Reload, 5, 0},
    {GUNS_IDLE_BLOWSMOKE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_BlowSmoke, 5, 0},
    {GUNS_IDLE_PICKUP_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Pickup, 0, GUNS_IDLE_ANI},
    {GUNS_IDLE_RECOIL_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Recoil, 0, 0},
    {GUNS_IDLE_RECOIL_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Recoil, 0, 0},
    {GUNS_IDLE_RECOIL_LOW_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Idle_Recoil, 0, 0},
    {GUNS_PRECISION_AIM_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Precision_Aim, 5, 0},
    {GUNS_KILLED_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Killed, 0, 0},
    {GUNS_WALK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Walk, 0, 0},
    {GUNS_RUN_INTERIOR_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Run_Interior, 0, 0},
    {GUNS_RUN_EXTERIOR_ANI, AnimGroup_DaceDefault, Ani_Dace_Normal_Sprint, 0, 0},
    {GUNS_PUNCH_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Punch, 5, 0},
    {GUNS_KICK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Kick, 5, 0},
    {GUNS_GRAPPLE_FAIL_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Fail, 0, GUNS_IDLE_ANI},
    {GUNS_GRAPPLE_START_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Start, 0, GUNS_GRAPPLE_FINISH_ANI},
    {GUNS_GRAPPLE_FINISH_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Finish, 5, 0},
    {GUNS_GRAPPLE_IDLE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Idle, 5, 0},
    {GUNS_GRAPPLE_IDLE_FIRE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Idle_Fire, 5, 0},
    {GUNS_GRAPPLE_WALK_BACK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Walk_Back, 5, 0},
    {GUNS_GRAPPLE_WALK_FWD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Walk_Fwd, 5, 0},
    {GUNS_GRAPPLE_WALK_SIDE_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Walk_Side_L, 5, 0},
    {GUNS_GRAPPLE_WALK_SIDE_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Walk_Side_R, 5, 0},
    {GUNS_GRAPPLE_RELEASE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Grapple_Release, 5, 0},
    {GUNS_WALK_FWD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Walk_Fwd, 0, 0},
    {GUNS_WALK_SIDE_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Walk_Side_L, 0, 0},
    {GUNS_WALK_SIDE_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Walk_Side_R, 0, 0},
    {GUNS_WALK_BACK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Walk_Back, 0, 0},
    {GUNS_RUN_FWD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Run_Fwd, 0, 0},
    {GUNS_RUN_BACK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Run_Back, 0, 0},
    {GUNS_RUN_SIDE_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Run_Side_L, 0, 0},
    {GUNS_RUN_SIDE_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Run_Side_R, 0, 0},
    {GUNS_FWALL_IDLE_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Idle_L, 0, 0},
    {GUNS_FWALL_IDLE_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Idle_R, 0, 0},
    {GUNS_FWALL_IDLE_PEEK_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Idle_Peek_L, 3, GUNS_FWALL_IDLE_L_ANI},
    {GUNS_FWALL_IDLE_PEEK_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Idle_Peek_R, 3, GUNS_FWALL_IDLE_R_ANI},
    {GUNS_FWALL_WALK_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Walk_L, 0, 0},
    {GUNS_FWALL_WALK_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Walk_R, 0, 0},
    {GUNS_FWALL_FIREAHEAD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_FireAhead, 15, 0},
    {GUNS_FWALL_FIREBACK_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_FireBack_L, 15, 0},
    {GUNS_FWALL_FIREBACK_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_FireBack_R, 15, 0},
    {GUNS_FWALL_BEGIN_FIREBACK_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Begin_FireBack_L, 0, 0},
    {GUNS_FWALL_BEGIN_FIREBACK_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Begin_FireBack_R, 0, 0},
    {GUNS_FWALL_FIREBACK_RETURN_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_FireBack_Return_L, 0, 0},
    {GUNS_FWALL_FIREBACK_RETURN_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_FireBack_Return_R, 0, 0},
    {GUNS_FWALL_FIREBACK_RECOIL_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_FireBack_Recoil_L, 0, 0},
    {GUNS_FWALL_FIREBACK_RECOIL_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_FireBack_Recoil_R, 0, 0},
    {GUNS_FWALL_RECOIL_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Recoil, 10, 0},
    {GUNS_FWALL_RELOAD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Reload, 0, 0},
    {GUNS_FWALL_KILLED_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_FWall_Killed, 0, 0},
    {GUNS_HWALL_IDLE_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Idle, 0, 0},
    {GUNS_HWALL_WALK_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Walk_L, 0, 0},
    {GUNS_HWALL_WALK_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Walk_R, 0, 0},
    {GUNS_HWALL_FIREAHEAD_ASSUME_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireAhead_Assume, 15, 0},
    {GUNS_HWALL_FIREAHEAD_REVERT_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireAhead_Revert, 15, 0},
    {GUNS_HWALL_BEGIN_FIREBACK_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Begin_FireBack_L, 0, 0},
    {GUNS_HWALL_BEGIN_FIREBACK_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Begin_FireBack_R, 0, 0},
    {GUNS_HWALL_FIREBACK_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireBack_L, 15, 0},
    {GUNS_HWALL_FIREBACK_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireBack_R, 15, 0},
    {GUNS_HWALL_FIREBACK_RETURN_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireBack_Return_L, 0, 0},
    {GUNS_HWALL_FIREBACK_RETURN_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireBack_Return_R, 0, 0},
    {GUNS_HWALL_FIREBACK_RECOIL_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireBack_Recoil_L, 0, 0},
    {GUNS_HWALL_FIREBACK_RECOIL_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_FireBack_Recoil_R, 0, 0},
    {GUNS_HWALL_RECOIL_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Recoil, 10, 0},
    {GUNS_HWALL_RELOAD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Reload, 0, 0},
    {GUNS_HWALL_KILLED_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_HWall_Killed, 0, 0},
    {GUNS_JUMP_FWD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Fwd, 3, GUNS_JUMP_FWD_INAIR_ANI},
    {GUNS_JUMP_FWD_INAIR_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Fwd_InAir, 0, 0},
    {GUNS_JUMP_FWD_LAND_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Fwd_Land, 10, 0},
    {GUNS_JUMP_BACK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Back, 3, GUNS_JUMP_BACK_INAIR_ANI},
    {GUNS_JUMP_BACK_INAIR_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Back_InAir, 0, 0},
    {GUNS_JUMP_BACK_LAND_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Back_Land, 10, 0},
    {GUNS_JUMP_SIDE_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Side_L, 3, GUNS_JUMP_SIDE_L_INAIR_ANI},
    {GUNS_JUMP_SIDE_L_INAIR_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Side_L_InAir, 0, 0},
    {GUNS_JUMP_SIDE_L_LAND_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Side_L_Land, 10, 0},
    {GUNS_JUMP_SIDE_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Side_R, 3, GUNS_JUMP_SIDE_R_INAIR_ANI},
    {GUNS_JUMP_SIDE_R_INAIR_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Side_R_InAir, 0, 0},
    {GUNS_JUMP_SIDE_R_LAND_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Side_R_Land, 10, 0},
    {GUNS_JUMP_FWD_SPIN_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Jump_Fwd_Spin, 0, 0},
    {GUNS_DIVE_BACK_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Dive_Back, 3, GUNS_JUMP_BACK_LAND_ANI},
    {GUNS_DIVE_FWD_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Dive_Fwd, 3, GUNS_JUMP_FWD_LAND_ANI},
    {GUNS_DIVE_SIDE_L_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Dive_Side_L, 3, GUNS_JUMP_SIDE_L_LAND_ANI},
    {GUNS_DIVE_SIDE_R_ANI, AnimGroup_DaceGuns, Ani_Dace_Guns_Dive_Side_R, 3, GUNS_JUMP_SIDE_R_INAIR_ANI},
    {DRIVING_BRAKE_BACKWARDS_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle, 0, 0},
    {DRIVING_BRAKE_RECOIL_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle, 0, 0},
    {DRIVING_IDLE_SIREN_OFF_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Siren_Off, 0, CAR_IDLE_ANI},
    {DRIVING_IDLE_SIREN_ON_ANI, AnimGroup_DaceCar, Ani_Dace_Car_Idle_Siren_On, 0, CAR_IDLE_ANI},
};

AnimChar* DaceAnim::Anims[TOTAL_NUM_ANIS];
u8 DaceAnim::AnimBanks[TOTAL_NUM_ANIS];
u16 DaceAnim::AnimTransitions[TOTAL_NUM_ANIS];
u16 DaceAnim::AnimTransMorphLens[TOTAL_NUM_ANIS];

// ---------------------------------------------------------------------------
// The move graph.

using AI = DaceAnim::AttackInfo;

namespace {

constexpr AI::Height LOW = AI::HEIGHT_LOW, MID = AI::HEIGHT_MID, HIGH = AI::HEIGHT_HIGH, NOHEIGHT = AI::HEIGHT_UNKNOWN;
constexpr AI::Side LEFT = AI::SIDE_LEFT, RIGHT = AI::SIDE_RIGHT, STRAIGHT = AI::SIDE_STRAIGHT, NOSIDE = AI::SIDE_UNKNOWN;
constexpr AI::Type PUNCH = AI::TYPE_PUNCH, KICK = AI::TYPE_KICK, HIGHBLOW = AI::TYPE_HIGH, GRAPPLE = AI::TYPE_GRAPPLE,
                   NOTYPE = AI::TYPE_UNKNOWN;
constexpr AI::Style NORMAL = AI::STYLE_NORMAL, GROUND = AI::STYLE_GROUND, FINISHING = AI::STYLE_FINISHING;

}  // namespace

// Standing attacks: the same button twice gives its second-level move, any
// other press the first-level move of that button.  Grapples start only
// from the stance.
AI DaceAnim::attackbase = {COMBAT_IDLE_ANI, 0, NOHEIGHT, NOSIDE, NOTYPE, NORMAL,
                           &level1attacks[0], &level1attacks[1], &level1attacks[2], &combatgrapples[0]};
AI DaceAnim::level1attacks[3] = {
    {COMBAT_P_ANI, 1, MID, STRAIGHT, PUNCH, NORMAL, &level2attacks[0], &level1attacks[1], &level1attacks[2], nullptr},
    {COMBAT_K_ANI, 2, LOW, LEFT, KICK, NORMAL, &level1attacks[0], &level2attacks[1], &level1attacks[2], nullptr},
    {COMBAT_H_ANI, 3, HIGH, LEFT, HIGHBLOW, NORMAL, &level1attacks[0], &level1attacks[1], &level2attacks[2], nullptr},
};
AI DaceAnim::level2attacks[3] = {
    {COMBAT_PP_ANI, 1, MID, STRAIGHT, PUNCH, NORMAL, &level1attacks[0], &level1attacks[1], &level1attacks[2], nullptr},
    {COMBAT_KK_ANI, 2, LOW, RIGHT, KICK, NORMAL, &level1attacks[0], &level1attacks[1], &level1attacks[2], nullptr},
    {COMBAT_HH_ANI, 3, HIGH, RIGHT, HIGHBLOW, NORMAL, &level1attacks[0], &level1attacks[1], &level1attacks[2], nullptr},
};

AI DaceAnim::finishingattacks[9] = {
    {COMBAT_FINISH_KICK_ANI, 8, LOW, LEFT, HIGHBLOW, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_PUNCH_ANI, 8, HIGH, LEFT, PUNCH, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_JUMPKICK_ANI, 8, LOW, LEFT, HIGHBLOW, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_LOWLEGSWEEP_ANI, 10, LOW, LEFT, HIGHBLOW, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_SPINUPPERCUT_ANI, 10, HIGH, LEFT, HIGHBLOW, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_SPINJUMPKICK_ANI, 10, HIGH, LEFT, HIGHBLOW, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_DROPKICK_ANI, 12, HIGH, LEFT, HIGHBLOW, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_DOUBLEFIST_ANI, 12, LOW, LEFT, HIGHBLOW, FINISHING, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_FINISH_WINDMILLKICK_ANI, 12, HIGH, LEFT, KICK, FINISHING, nullptr, nullptr, nullptr, nullptr},
};

// From the stance a grapple anticipates; any button throws from the hip,
// and from the hip throw a kick breaks the arm, a high attack twists it.
// The leg throw, fireman's toss and trip records have no way in.
AI DaceAnim::combatgrapples[8] = {
    {COMBAT_GRAPPLE_ANTICIPATE_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL,
     &combatgrapples[1], &combatgrapples[1], &combatgrapples[1], &combatgrapples[1]},
    {COMBAT_GRAPPLE_HIPTHROW_START_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL,
     nullptr, &combatgrapples[6], &combatgrapples[5], nullptr},
    {COMBAT_GRAPPLE_LEGTHROW_START_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL, &combatgrapples[7], nullptr, nullptr, nullptr},
    {COMBAT_GRAPPLE_FIREMANTOSS_START_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_GRAPPLE_TRIP_START_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_GRAPPLE_ARMTWIST_START_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_GRAPPLE_ARMBREAK_START_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_GRAPPLE_KNEEBASH_START_ANI, 5, HIGH, LEFT, HIGHBLOW, NORMAL, nullptr, nullptr, nullptr, nullptr},
};

// Single-blow tables: a base whose punch, kick and high links lead to blows
// that lead nowhere.
AI DaceAnim::backattackbase = {COMBAT_IDLE_ANI, 0, NOHEIGHT, NOSIDE, NOTYPE, NORMAL,
                               &backattacks[0], &backattacks[1], &backattacks[2], nullptr};
AI DaceAnim::backattacks[3] = {
    {COMBAT_BACK_P_ANI, 3, HIGH, STRAIGHT, PUNCH, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_BACK_K_ANI, 3, LOW, LEFT, KICK, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_BACK_H_ANI, 3, HIGH, LEFT, HIGHBLOW, NORMAL, nullptr, nullptr, nullptr, nullptr},
};
AI DaceAnim::runningattackbase = {COMBAT_RUN_FWD_ANI, 0, NOHEIGHT, NOSIDE, NOTYPE, NORMAL,
                                  &runningattacks[0], &runningattacks[1], &runningattacks[2], nullptr};
AI DaceAnim::runningattacks[3] = {
    {COMBAT_RUNNING_P_ANI, 4, HIGH, STRAIGHT, PUNCH, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_RUNNING_K_ANI, 4, HIGH, LEFT, KICK, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_RUNNING_H_ANI, 4, HIGH, LEFT, HIGHBLOW, NORMAL, nullptr, nullptr, nullptr, nullptr},
};
AI DaceAnim::lyingdownattackbase = {COMBAT_IDLE_ANI, 0, NOHEIGHT, NOSIDE, NOTYPE, NORMAL,
                                    &lyingdownattacks[0], &lyingdownattacks[1], &lyingdownattacks[2], nullptr};
AI DaceAnim::lyingdownattacks[3] = {
    {COMBAT_LYINGDOWN_P_ANI, 2, LOW, STRAIGHT, PUNCH, GROUND, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_LYINGDOWN_K_ANI, 3, LOW, LEFT, KICK, GROUND, nullptr, nullptr, nullptr, nullptr},
    {COMBAT_LYINGDOWN_H_ANI, 4, LOW, LEFT, HIGHBLOW, GROUND, nullptr, nullptr, nullptr, nullptr},
};
AI DaceAnim::gunattackbase = {COMBAT_IDLE_ANI, 0, NOHEIGHT, NOSIDE, NOTYPE, NORMAL,
                              &gunattacks[0], &gunattacks[1], nullptr, nullptr};
AI DaceAnim::gunattacks[2] = {
    {GUNS_PUNCH_ANI, 3, HIGH, STRAIGHT, PUNCH, NORMAL, nullptr, nullptr, nullptr, nullptr},
    {GUNS_KICK_ANI, 3, LOW, LEFT, KICK, NORMAL, nullptr, nullptr, nullptr, nullptr},
};
// Seizing someone in gun mode or stealth.
AI DaceAnim::gungrapple = {GUNS_GRAPPLE_START_ANI, 4, HIGH, STRAIGHT, GRAPPLE, NORMAL,
                           nullptr, nullptr, nullptr, nullptr};

// ---------------------------------------------------------------------------

DaceAnim::DaceAnim() : DaceAnim(nullptr) {}

DaceAnim::DaceAnim(OBJMESSAGEHANDLER mh) : Guy(mh)
{
    curattack = &attackbase;
    curattackhit = curattackblock = -1;
}

void DaceAnim::Init()
{
    // A row past the end of its group's file is a file of another version:
    // the row is left out rather than read beyond the clip table, and said
    // once for the program's life.
    static bool reported[NUM_ANIMDEFS];
    for (int r = 0; r < NUM_ANIMDEFS; r++) {
        const AnimDef& d = AnimDefs[r];
        const AnimGroup* group = g_GlobalAGI.GetAG(d.group);
        if (group == nullptr)
            continue;
        if (int(d.index) >= group->count) {
            if (!reported[r])
                printf("DaceAnim: animation %d wants clip %d of group %d, which has %d; left out\n", d.anim, d.index,
                       d.group, group->count);
            reported[r] = true;
            continue;
        }
        Anims[d.anim] = group->pChars[d.index];
        AnimBanks[d.anim] = u8(d.group);
        AnimTransMorphLens[d.anim] = d.morph;
        AnimTransitions[d.anim] = d.next;
    }
    anims = Anims;
    animbanks = AnimBanks;
}

// The single-blow bases have no grapple link and the gun blows no high
// one, so those buttons leave curattack where it is.
void DaceAnim::FollowLink(const AttackInfo& base, AttackType type)
{
    AttackInfo* next = nullptr;
    switch (type) {
    case ATTACK_PUNCH: next = base.nextpunchattack; break;
    case ATTACK_KICK: next = base.nextkickattack; break;
    case ATTACK_HIGHATTACK: next = base.nexthighattack; break;
    case ATTACK_GRAPPLE: next = base.nextgrappleattack; break;
    default: break;
    }
    if (next != nullptr)
        curattack = next;
}

void DaceAnim::StartAttack(AttackType type) { FollowLink(attackbase, type); }
void DaceAnim::StartBackAttack(AttackType type) { FollowLink(backattackbase, type); }
void DaceAnim::StartRunningAttack(AttackType type) { FollowLink(runningattackbase, type); }
void DaceAnim::StartLyingDownAttack(AttackType type) { FollowLink(lyingdownattackbase, type); }
void DaceAnim::StartGunAttack(AttackType type) { FollowLink(gunattackbase, type); }
