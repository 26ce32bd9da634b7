// Episode 11: a timed race at night, a pursuit of a limousine, a fight
// outside a restaurant, the drive to the restaurant (three ways), a
// shoot-out in a house, a drive to the airport, an escape from an armed
// convoy and a club fight.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M11_G1_RaceTo;
extern EnemyGenRunner_params M11_S2_RunnerParams;
extern EnemyGenRunner_params M11_S2_DriverParams;
extern PursuitMissionParams M11_S2_DrivingPursuitParams;
extern CarDriverParams cdpM11_G2;
extern DriveToMissionParams M11_G4_DriveTo;
extern CarDriverParams cdpM11_G4;
extern ShootoutMissionParams M11_G5_ShootoutParams;
extern DriveToMissionParams M11G6DriveTo;
extern Construct_EnemyGenShooter_params M11_G7_regsp_shooter;
extern Construct_EnemyGenShooter_params M11_G7_regsp_shooter2;
extern EnemyGenRunner_params M11_G7_regsp_driver;
extern BadGuyGenInfo M11_G7_rbggi[3];
extern EscapeMissionParams M11_G7_A_EscapeParams;
extern CarDriverParams cdpM11_G7_ATemp;

// The episode's driving set; the player's car only when asked for.
int M11_Driving_Load(GameController& gc, bool bLoadDacesCar);
int M11_Driving_Destroy(GameController& gc);
