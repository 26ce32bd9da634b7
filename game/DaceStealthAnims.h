// Clips of the animation group file Char\DACESTL.ANI in file order: the
// player's stealth animations. The player's animation table and the
// characters' tables name clips by these values, so a clip keeps its place in
// the file.
#pragma once

enum DaceStealthAnims
{
    Ani_Dace_Stealth_Disarm_Default = 0,
    Ani_Dace_Stealth_Disarm_Default_Idle = 1,
    Ani_Dace_Stealth_Disarm_Default_Back = 2,
    Ani_Dace_Stealth_Disarm_Default_Drop = 3,
    Ani_Dace_Stealth_Disarm_Default_Reach = 4,
    Ani_Dace_Stealth_Disarm_Kick = 5,
    Ani_Dace_Stealth_Disarm_Kick_Reach = 6,
    Ani_Dace_Stealth_Disarm_Punch = 7,
    Ani_Dace_Stealth_Disarm_Punch_Reach = 8,
    Ani_Dace_Stealth_FWall_Idle_L = 9,
    Ani_Dace_Stealth_FWall_Idle_R = 10,
    Ani_Dace_Stealth_FWall_Walk_L = 11,
    Ani_Dace_Stealth_FWall_Walk_R = 12,
    Ani_Dace_Stealth_HWall_Idle_L = 13,
    Ani_Dace_Stealth_HWall_Idle_R = 14,
    Ani_Dace_Stealth_HWall_Walk_L = 15,
    Ani_Dace_Stealth_HWall_Walk_R = 16,
    Ani_Dace_Stealth_Idle = 17,
    Ani_Dace_Stealth_Idle_Crouch = 18,
    Ani_Dace_Stealth_Idle_LookAround = 19,
    Ani_Dace_Stealth_Jump = 20,
    Ani_Dace_Stealth_Jump_InAir = 21,
    Ani_Dace_Stealth_Jump_Land = 22,
    Ani_Dace_Stealth_Run = 23,
    Ani_Dace_Stealth_Spotted = 24,
    Ani_Dace_Stealth_Walk = 25,
    Ani_Dace_Stealth_Fire_Assume = 26,
    Ani_Dace_Stealth_Fire_Idle = 27,
    Ani_Dace_Stealth_Fire_PrecisionAim = 28,
    Ani_Dace_Stealth_Fire_Revert = 29,
    DaceStealthAnims_Count = 30,
};
