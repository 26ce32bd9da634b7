// Episode 4: the bikers and the night club: a drive to the biker hangout, a
// fight in a car workshop whose lift holds a car, a car pursuit, drives to
// the club, its infiltration, a shoot-out and fights in the club and a
// dojo, a timed night drive, and the bonus drive.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M4_G1_DriveTo;
extern EnemyGenRunner_params M4_S3_DriverParams;
extern PursuitMissionParams M4_S3_DrivingPursuitParams;
extern CarDriverParams cdpM4_G3;
extern CarDriverParams cdpM4_G4;
extern DriveToMissionParams M4_G4_DriveTo;
extern InfiltrateMissionParams M4_G5_InfiltrateParams;
extern ShootoutMissionParams M4_G6_ShootoutParams;
extern DriveToMissionParams M4G7DriveTo;

// The episode's driving set, as the bonus drives'.
int M4_Driving_Load(GameController& gc);
int M4_Driving_Destroy(GameController& gc);

// The workshop's lift object (id 4224) becomes a moving car lift carrying
// the first car of the world.  Without the object nothing is made or
// touched; without a car the lift stays empty.  0.
int CreateCarLift(GameController& gc);
