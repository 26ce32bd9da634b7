// Clips of the animation group file Char\NPCGUARD.ANI: the guards' idles,
// alarms and disarms.  The enemies' tables and the disc writer name clips by
// these values.
#pragma once

enum NPCGuardAnims
{
    Ani_NPC_Guard_Alarm_Pulloutgun = 0,
    Ani_NPC_Guard_Alarm_Vocal = 1,
    Ani_NPC_Guard_Bump_Pulloutgun = 2,
    Ani_NPC_Guard_Bump_Vocal = 3,
    Ani_NPC_Guard_Disarmed = 4,
    Ani_NPC_Guard_Disarmed_Idle = 5,
    Ani_NPC_Guard_Disarmed_Back = 6,
    Ani_NPC_Guard_Disarmed_Drop = 7,
    Ani_NPC_Guard_Disarmed_K = 8,
    Ani_NPC_Guard_Disarmed_P = 9,
    Ani_NPC_Guard_Idle = 10,
    Ani_NPC_Guard_Idle_Special_1 = 11,
    Ani_NPC_Guard_Idle_Special_2 = 12,
    Ani_NPC_Guard_Idle_Special_3 = 13,
    Ani_NPC_Guard_Idle_Celltalk = 14,
    Ani_NPC_Guard_Idle_Celltalk_Stop = 15,
    Ani_NPC_Guard_Idle_Dozingoff = 16,
    Ani_NPC_Guard_Idle_Dozingoff_Stop = 17,
    Ani_NPC_Guard_Idle_Lookaround = 18,
    Ani_NPC_Guard_Idle_Check = 19,
    Ani_NPC_Guard_Idle_Turnaround_Marktime = 20,
    Ani_NPC_Guard_Walk = 21,
    Ani_NPC_Guard_Killed = 22,
    Ani_NPC_Guard_Killed_Slow = 23,
    NPCGuardAnims_Count = 24,
};
