// Episode 10: a drive to the airport after a phone call, a pursuit of a
// truck with gunmen, a timed race to a bank, four shoot-outs (two of them
// sniper stages), a fight, the closing scenes, and a last scene and sniper
// shoot-out.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M10G1DriveTo;
extern CarDriverParams cdpM10_G1;
extern EnemyGenRunner_params M10_S2_DriverParams;
extern EnemyGenRunner_params M10_S2_RunnerParams[2];
extern PursuitMissionParams M10_S2_DrivingPursuitParams;
extern BadGuyGenInfo M10_G2_rbggi[2];
extern CarDriverParams cdpM10_G2;
extern DriveToMissionParams M10_G3_RaceTo;
extern ShootoutMissionParams M10_G4_ShootoutParams;
extern ShootoutMissionParams M10G5SniperParams;
extern ShootoutMissionParams M10G6ShootoutParams;
extern ShootoutMissionParams M10G9SniperParams;

int M10_Driving_Load(GameController& gc);
int M10_Driving_Destroy(GameController& gc);
