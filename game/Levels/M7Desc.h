// Episode 7: a drive to a bar and a bar fight, two tails that turn into
// pursuits, an escape from two armed chase cars, the infiltration of a
// warehouse, a shoot-out in a gang garage and a last fist fight outside,
// and the bonus drive.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M7_G1_DriveTo;
extern EnemyGenRunner_params M7_S3_DriverParams;
extern EnemyGenRunner_params M7_S5_DriverParams;
extern TailMissionParams M7_G3_A_TailParams;
extern TailMissionParams M7_G5_A_TailParams;
extern CarDriverParams cdpM7_G3_A;
extern CarDriverParams cdpM7_G3_B;
extern CarDriverParams cdpM7_G5_A;
extern CarDriverParams cdpM7_G5_B;
extern CarDriverParams cdpM7_G4_ATemp;
extern PursuitMissionParams cdpM7_G3_B_PursuitParams;
extern PursuitMissionParams cdpM7_G5_B_PursuitParams;
extern EnemyGenRunner_params M7_G4_regsp_driver1;
extern EnemyGenRunner_params M7_G4_regsp_driver2;
extern BadGuyGenInfo M7_G4_rbggi[2];
extern EscapeMissionParams M7_G4_A_EscapeParams;
extern InfiltrateMissionParams M7_G6_InfiltrateParams;
extern ShootoutMissionParams M7_G7_ShootoutParams;

// The episode's driving set; the loading screen stays up (the step loads
// end it).
int M7_Driving_Load(GameController& gc);
int M7_Driving_Destroy(GameController& gc);
