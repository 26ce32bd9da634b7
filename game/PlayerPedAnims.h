// The classes of player animations the on-foot code sorts by: what blocks
// steering, what counts as being in the air, what may end in a landing.
#pragma once

#include "game/PlayerAnim.h"

namespace pedanim {

inline bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

inline bool Grappled(u16 a) { return In(a, COMBAT_GRAPPLED_ANI, COMBAT_GRAPPLE_BROKEN_2_ANI); }

inline bool GunRecoil(u16 a)
{
    return In(a, GUNS_IDLE_RECOIL_L_ANI, GUNS_IDLE_RECOIL_LOW_ANI) || a == GUNS_FWALL_RECOIL_ANI ||
           a == GUNS_FWALL_FIREBACK_RECOIL_L_ANI || a == GUNS_FWALL_FIREBACK_RECOIL_R_ANI ||
           a == GUNS_HWALL_RECOIL_ANI || a == GUNS_HWALL_FIREBACK_RECOIL_L_ANI || a == GUNS_HWALL_FIREBACK_RECOIL_R_ANI;
}

// Recoils, being held, knocked down or getting up, and the gun recoils.
inline bool Hit(u16 a)
{
    return In(a, COMBAT_RECOIL_LOW_L_ANI, COMBAT_RECOIL_BACK_HIGH_ANI) || Grappled(a) ||
           In(a, COMBAT_KNOCKDOWN_ANI, COMBAT_KNOCKDOWN_GETUP_TIRED_ANI) || GunRecoil(a);
}

inline bool Attack(u16 a)
{
    return In(a, COMBAT_BACK_H_ANI, COMBAT_GRAPPLE_TRIP_ANI) || In(a, COMBAT_RUNNING_P_ANI, COMBAT_LYINGDOWN_H_GETUP_ANI) ||
           In(a, GUNS_PUNCH_ANI, GUNS_GRAPPLE_RELEASE_ANI);
}

inline bool Warning(u16 a)
{
    return a == PED_WARN_PHYSICAL_ANI || In(a, PED_WARN_GUN_ASSUME_ANI, PED_WARN_GUN_RUN_ANI) ||
           a == GUNS_IDLE_DRAWGUNS_ANI;
}

inline bool Arrest(u16 a) { return In(a, PED_ARREST_ANI, PED_ARREST_LYINGDOWN_R_ANI); }

inline bool Jump(u16 a)
{
    return (In(a, PED_JUMP_TAKEOFF_STANDING_ANI, PED_JUMP_LAND_FALLING_HIGH_ANI) && a != PED_JUMP_LAND_WALKING_ANI) ||
           In(a, PED_SPRINT_JUMPCAR_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI) ||
           In(a, PED_CHASE_TACKLE_ANI, PED_CHASE_TACKLE_LAND_ANI) || In(a, GUNS_JUMP_FWD_ANI, GUNS_DIVE_SIDE_R_ANI) ||
           In(a, STEALTH_JUMP_ANI, STEALTH_JUMP_LAND_ANI);
}

inline bool Airborne(u16 a)
{
    return In(a, PED_JUMP_AIRBORNE_STANDING_ANI, PED_JUMP_FALLING_SPRINTING_ANI) || a == GUNS_JUMP_FWD_INAIR_ANI ||
           a == GUNS_JUMP_BACK_INAIR_ANI || a == GUNS_JUMP_SIDE_L_INAIR_ANI || a == GUNS_JUMP_SIDE_R_INAIR_ANI ||
           a == PED_CHASE_TACKLE_INAIR_ANI || a == STEALTH_JUMP_INAIR_ANI ||
           In(a, PED_SPRINT_JUMPCAR_L_ANI, PED_SPRINT_JUMPCAR_SLIDE_BACK_R_ANI) || a == COMBAT_KNOCKDOWN_INAIR_ANI;
}

inline bool Landing(u16 a)
{
    return a == PED_JUMP_LAND_STANDING_ANI || In(a, PED_JUMP_LAND_RUNNING_ANI, PED_JUMP_LAND_FALLING_HIGH_ANI) ||
           a == PED_CHASE_TACKLE_LAND_ANI || a == STEALTH_JUMP_LAND_ANI || a == GUNS_JUMP_FWD_LAND_ANI ||
           a == GUNS_JUMP_BACK_LAND_ANI || a == GUNS_JUMP_SIDE_L_LAND_ANI || a == GUNS_JUMP_SIDE_R_LAND_ANI;
}

inline bool Idle(u16 a)
{
    return In(a, PED_IDLE_ANI, PED_IDLE_CHECKTIME_ANI) || a == PED_ARREST_FAIL_ANI || a == DETECTIVE_CONFUSED_ANI ||
           In(a, STEALTH_IDLE_ANI, STEALTH_IDLE_LOOKAROUND_ANI) || a == GUNS_IDLE_ANI || a == GUNS_IDLE_2_ANI;
}

inline bool CombatIdle(u16 a) { return In(a, COMBAT_IDLE_ANI, COMBAT_IDLE_VICTORY_3_ANI); }

inline bool CarTransition(u16 a) { return In(a, 17, 19) || In(a, 55, 80); }

inline bool MoveAnim(u16 a)
{
    return a == PED_WALK_ANI || a == PED_RUN_ANI || In(a, COMBAT_MOVE_FWD_ANI, COMBAT_MOVE_RIGHT_ANI) ||
           a == COMBAT_RUN_FWD_ANI;
}

}  // namespace pedanim
