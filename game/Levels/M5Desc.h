// Episode 5: the night: a tail that turns into a pursuit when it goes
// wrong, a fight in a house, drives to a diner and a butcher shop (one
// timed), a fight and a shoot-out in the shop, an escape from an ambush
// with two pursuing cars, and the bonus ride on the motorcycle.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern EnemyGenRunner_params M5_G1_DriverParams;
extern TailMissionParams M5_G1_A_TailParams;
extern CarDriverParams cdpM5_G1_A;
extern CarDriverParams cdpM5_G1_B;
extern PursuitMissionParams cdpM5_G1_B_PursuitParams;
extern DriveToMissionParams M5_G3_DriveTo;
extern CarDriverParams cdpM5_S3b;
extern DriveToMissionParams dtmpM5G4;
extern ShootoutMissionParams M5_G6_ShootoutParams;
extern Construct_EnemyGenShooter_params M5_G7_regsp_shooter[2];
extern EnemyGenRunner_params M5_G7_regsp_driver[2];
extern BadGuyGenInfo M5_G7_rbggi[4];
extern EscapeMissionParams M5_G7_EscapeParams;
extern CarDriverParams cdpM5_G7;
extern DriveToMissionParams M5G8DriveTo;

// The episode's driving set, as the bonus drives', with the player's car
// only when bLoadCar.
int M5_Driving_Load(GameController& gc, bool bLoadCar);
int M5_Driving_Destroy(GameController& gc);
