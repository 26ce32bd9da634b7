// The 24/7 side activities, the fourteenth script: the impound garage, the
// 24/7 dojo, firing range and lap race, and the bonus street race, gun
// course and fight.  Each row builds its activity's set, starts its mode and,
// when the game ends, books the player's progress and releases the set.
#pragma once

#include "game/GameFEnt.h"
#include "game/Levels/Levels.h"

// The ability bits each level of an activity teaches.
extern const u32 refaList[10];        // fightAbility, the 24/7 dojo
extern const u32 regaList[7];         // gunAbility, the 24/7 firing range
extern const u32 recaList[9];         // carAbility, the 24/7 race
extern const u32 regaListBonus[3];    // gunAbility, the bonus gun course
extern const u32 refaBonusList[3];    // fightAbility, the bonus fight

// The bonus race's three rival drivers and their generators.
extern EnemyGenRunner_params M247_BonusRace_RunnerParams[3];
extern BadGuyGenInfo M247_BonusRace_rbggi[3];
// Where each rival's car stands from the start, in its own axes.
extern const VectorDir M247_BonusRace_RivalOffsets[3];

// The loads, set-ups and releases of the activities (level counts from 0).
int M247_Driving_Load(GameController& gc);
int M247_Driving_Destroy(GameController& gc);
int M247_ImpoundLot_Load(GameController& gc);
int M247_ImpoundLot(GameController& gc);
int M247_ImpoundLot_Destroy(GameController& gc);
int M247_GXDojo_Load(GameController& gc);
int M247_GXDojo(GameController& gc, int level);
int M247_GXDojo_Destroy(GameController& gc);
int M247_FRange_Load(GameController& gc);
int M247_FRange(GameController& gc, int level);
int M247_FRange_Destroy(GameController& gc);
int M247_Race(GameController& gc, int level);
int M247_Race_Destroy(GameController& gc);
int M247_BonusRace_Load(GameController& gc, int level);
int M247_BonusRace(GameController& gc);
int M247_BonusRace_Destroy(GameController& gc);
int Bonus_FRange_Load(GameController& gc, int level);
int Bonus_FRange(GameController& gc, int level);
int Bonus_FRange_Destroy(GameController& gc);
int Bonus_GXDojo_Load(GameController& gc, int level);
int Bonus_GXDojo(GameController& gc, int level);
int Bonus_GXDojo_Destroy(GameController& gc, int level);
