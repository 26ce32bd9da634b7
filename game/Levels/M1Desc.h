// Episode 1: the drive to the firing range and its shooting game, the timed
// drive to the second building, the drive to the restaurant, the fist fight
// inside it and the shoot-out outside it, then the bonus drive.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M1_G1_DriveTo;
extern DriveToMissionParams M1G3DriveTo;
extern DriveToMissionParams M1_G4_DriveTo;
extern ShootoutMissionParams M1_G6_ShootoutParams;

// The episode's driving set: the player's car in slot 0, cars 27, 38 and 37
// in slots 5..7, the ambient cars and pedestrians; ends the loading screen.
int M1_Driving_Load(GameController& gc);
int M1_Driving_Destroy(GameController& gc);
