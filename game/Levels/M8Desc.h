// Episode 8: a tail that turns into a pursuit, a race against the clock, a
// club fight, a drive at dawn to the airport hangar, its shoot-out, the jet
// chase on the airfield, a fist fight, the closing scenes and a night
// escape from the helicopter gunship.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern EnemyGenRunner_params M8_S1_DriverParams;
extern TailMissionParams M8_G1_A_TailParams;
extern CarDriverParams cdpM8_G1_A;
extern CarDriverParams cdpM8_G1_B;
extern PursuitMissionParams cdpM8_G1_B_PursuitParams;
extern DriveToMissionParams M8G2RaceTo;
extern CarDriverParams cdpM8_G4;
extern ShootoutMissionParams M8_G5_ShootoutParams;
extern Construct_EnemyGenShooter_params M8_G9_regsp_shooter1;
extern Construct_EnemyGenShooter_params M8_G9_regsp_shooter2;
extern BadGuyGenInfo M8_G9_rbggi[2];
extern EscapeMissionParams M8_G9_EscapeParams;

int M8_Driving_Load(GameController& gc);
int M8_Driving_Destroy(GameController& gc);
