// Clips of the six pedestrian groups Char\NPCPDEF, NPCPFEM, NPCPHOBO (the
// homie set), NPCPHOM (the hobo set), NPCPSEN and NPCPSLUT (groups 17 to 22):
// each holds the same nine clips in this order, which the pedestrians play
// for their own angry, duck, idle, run, shock and walk.
#pragma once

enum NPCPedAnims
{
    Ani_Ped_Angry = 0,
    Ani_Ped_Duck = 1,
    Ani_Ped_Duck_Idle = 2,
    Ani_Ped_Idle = 3,
    Ani_Ped_Idle_LookAround = 4,
    Ani_Ped_Idle_Special = 5,
    Ani_Ped_Run = 6,
    Ani_Ped_Shock = 7,
    Ani_Ped_Walk = 8,
    NPCPedAnims_Count = 9,
};
