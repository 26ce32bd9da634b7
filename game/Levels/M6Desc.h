// Episode 6: the house: a drive in the rain to a family's house, its
// infiltration, fights and shoot-outs room by room, the demon and the
// dragon, a shoot-out in the sewer, and the bonus drive.
#pragma once

#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/Levels/Levels.h"

extern DriveToMissionParams M6_G1_DriveTo;
extern InfiltrateMissionParams M6_G2_InfiltrateParams;
extern ShootoutMissionParams M6_G4_ShootoutParams;
extern ShootoutMissionParams M6_G8_ShootoutParams;

// The episode's driving set, as the bonus drives'.
int M6_Driving_Load(GameController& gc);
int M6_Driving_Destroy(GameController& gc);
