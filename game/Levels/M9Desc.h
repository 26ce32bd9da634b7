// Episode 9: a phone call on the road and a drive to a strip club, a club
// fight, a drive to another club, two timed drives after phone calls, an
// escape from an armed car, a fist fight and a shoot-out at a factory, and
// a street race against an ally's car.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M9G1DriveTo;
extern DriveToMissionParams M9G3DriveTo;
extern DriveToMissionParams M9G4RaceTo;
extern DriveToMissionParams M9G8RaceTo;
extern CarDriverParams cdpM9_G1;
extern CarDriverParams cdpM9_G4;
extern CarDriverParams cdpM9_G5;
extern CarDriverParams cdpM9_G8;
extern CarDriverParams cdpM9_G9;
extern EnemyGenRunner_params M9_S5_regsp_driver;
extern Construct_EnemyGenShooter_params M9_S5_regsp_shooter;
extern BadGuyGenInfo M9_S5_rbggi[2];
extern EscapeMissionParams M9_S5_EscapeParams;
extern ShootoutMissionParams M9_G7_ShootoutParams;

// The episode's driving set; the player's car only when asked for.
int M9_Driving_Load(GameController& gc, bool bLoadDacesCar);
int M9_Driving_Destroy(GameController& gc);
