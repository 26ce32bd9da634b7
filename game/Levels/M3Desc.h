// Episode 3: the suspect followed: a drive to his residence, a tail that
// turns into a pursuit, an escape from an ambush, cinematic drives to the
// spa, its infiltration, two fist fights and a shoot-out inside, and the
// bonus drive.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams VurekDriveTo;
extern EnemyGenRunner_params M3_S2_DriverParams;
extern TailMissionParams M3_G2_A_TailParams;
extern CarDriverParams cdpM3_G2_A;
extern CarDriverParams cdpM3_G2_B;
extern PursuitMissionParams cdpM3_G2_B_PursuitParams;
extern Construct_EnemyGenShooter_params M3_G3_regsp_shooter;
extern EnemyGenRunner_params M3_G3_regsp_driver;
extern BadGuyGenInfo M3_G3_rbggi[2];
extern EscapeMissionParams M3_G3_A_EscapeParams;
extern CarDriverParams cdpM3_G2_ATemp;
extern CarDriverParams cdpM3_S4;
extern DriveToMissionParams M3_G4_DriveTo;
extern InfiltrateMissionParams M3_G5_InfiltrateParams;
extern ShootoutMissionParams M3_G7_ShootoutParams;

// The episode's driving set, as the bonus drives'.
int M3_Driving_Load(GameController& gc);
int M3_Driving_Destroy(GameController& gc);
