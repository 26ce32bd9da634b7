// The step functions of the script rgprTest.  Each not yet built is a
// link stub that says so once and finishes its record.
#include "game/Levels/Levels.h"

MISSION_STEP_STUB(Mission_Test_Main)
MISSION_STEP_STUB(TestInt_Main)
MISSION_STEP_STUB(Explosion_Test_Main)
MISSION_STEP_STUB(RaceTrack_Test_Main)
