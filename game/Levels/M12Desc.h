// Episode 12: a race to a mansion, its infiltration, a fight inside, two
// scenes, a drive to the impound garage, an escape from two armed cars, a
// shoot-out and a last fight outside, and the endings.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M12_G1_RaceTo;
extern InfiltrateMissionParams M12_G2_InfiltrateParams;
extern DriveToMissionParams M12_G4_DriveTo;
extern EnemyGenRunner_params M12_G5_regsp_driver1;
extern EnemyGenRunner_params M12_G5_regsp_driver2;
extern BadGuyGenInfo M12_G5_rbggi[2];
extern EscapeMissionParams M12_G5_A_EscapeParams;
extern CarDriverParams cdpM12_G5_ATemp;
extern ShootoutMissionParams M12_G6_ShootoutParams;

// The episode's driving set; its own cars (the player's and slots 5 to 7)
// only when asked for.
int M12_Driving_Load(GameController& gc, bool bLoadStaticCars);
int M12_Driving_Destroy(GameController& gc);
