// Episode 2: the dojo and the warehouse: drives to the dojo and fights
// there, the timed drive to the bar and the bar fight, a chase on foot,
// cinematic drives to the import shop, an infiltration and two shoot-outs
// in the warehouse, a car pursuit, and the rows that take the player to
// the 24/7 activities.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams DojoDriveTo;
extern DriveToMissionParams RedLanternDriveTo;
extern DriveToMissionParams DynastyImportsDriveTo;
extern EnemyGenRunner_params ThugRunnerParams;
extern PursuitMissionParams ThugPursuitParams;
extern EnemyGenRunner_params M2_S9_ThugDriverParams;
extern PursuitMissionParams M2_S9_ThugDrivingPursuitParams;
extern InfiltrateMissionParams M2_G7A_InfiltrateParams;
extern ShootoutMissionParams DynastyShootoutParams;
extern ShootoutMissionParams DynastySniperParams;
extern CarDriverParams cdpM2_G1;
extern CarDriverParams cdpM2_G6;
extern CarDriverParams cdpM2_G9;
extern CinePlayerScript M2_G5_PScript[2];

// The episode's driving set, as the bonus drives': the loading screen stays.
int M2_Driving_Load(GameController& gc);
int M2_Driving_Destroy(GameController& gc);
// The bar fight's release: at once after a lost fight, deferred otherwise.
int M2_S4_Destroy(GameController& gc);
