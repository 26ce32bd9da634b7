// Clips of the animation group file Char\NPCSPR.ANI: running, sprinting and
// the chase reactions.  The enemies' tables and the disc writer name clips by
// these values.
#pragma once

enum NPCSprintAnims
{
    Ani_NPC_Run = 0,
    Ani_NPC_Sprint = 1,
    Ani_NPC_Sprint_Getbearings = 2,
    Ani_NPC_Sprint_Lookback = 3,
    Ani_NPC_Sprint_Fireback_L = 4,
    Ani_NPC_Sprint_Fireback_R = 5,
    Ani_NPC_Sprint_Recoil = 6,
    Ani_NPC_Sprint_Recoil_Legs = 7,
    Ani_NPC_Sprint_Shove_L = 8,
    Ani_NPC_Sprint_Shove_R = 9,
    Ani_NPC_Sprint_Tackled = 10,
    Ani_NPC_Sprint_Trip = 11,
    Ani_NPC_Sprint_Yank_L = 12,
    Ani_NPC_Sprint_Yank_R = 13,
    Ani_NPC_Sprint_Start_L = 14,
    Ani_NPC_Sprint_Start_R = 15,
    Ani_NPC_Walk = 16,
    Ani_NPC_Walk_Lookback = 17,
    NPCSprintAnims_Count = 18,
};
