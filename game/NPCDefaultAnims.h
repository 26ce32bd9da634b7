// Clips of the animation group file Char\NPCDEF.ANI that the player's own
// table plays as well: the pulled-out driver and the two sides of the
// lying-down arrest.  The characters' tables add their clips of the file.
#pragma once

enum NPCDefaultAnims
{
    Ani_NPC_Car_PullOutDriver_L = 11,
    Ani_NPC_Arrest_LyingDown_L = 18,
    Ani_NPC_Arrest_LyingDown_R = 19,
    NPCDefaultAnims_Count = 20,
};
