// The bonus drives that close nine episodes: the player in his car in the
// city in the afternoon, driving freely to a bonus location.
#pragma once

#include "game/Levels/Levels.h"

// The driving set: the player's car in slot 0, cars 27, 38 and 37 in slots
// 5..7, the ambient cars and pedestrians.  The loading screen stays up.
int MBonus_Driving_Load(GameController& gc);
// The same set; with endLoading the loading screen ends before the frame
// counters are reset (episode 1's set); without withCar the player's car is
// not loaded (slot 0 is left to the step).
int LoadDrivingSet(GameController& gc, bool endLoading, bool withCar = true);
int MBonus_Driving_Destroy(GameController& gc);
// The drive in the player's car, and on the motorcycle (model 31 in slot 0).
int BonusDriveTo_G(GameController& gc);
int BonusDriveTo_MotorCycle_G(GameController& gc);
