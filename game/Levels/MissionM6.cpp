// The step functions of the script rgprM6.  Each not yet built is a
// link stub that says so once and finishes its record.
#include "game/Levels/Levels.h"

MISSION_STEP_STUB(M6_S1a_Main)
MISSION_STEP_STUB(M6_S1b_Main)
MISSION_STEP_STUB(M6_G1_Main)
MISSION_STEP_STUB(M6_S202G2_Main)
MISSION_STEP_STUB(M6_S3G3_Main)
MISSION_STEP_STUB(M6_S4G4_Main)
MISSION_STEP_STUB(M6_S5G5_Main)
MISSION_STEP_STUB(M6_S6AG6_Main)
MISSION_STEP_STUB(M6_S7G7_Main)
MISSION_STEP_STUB(M6_S8G8_Main)
MISSION_STEP_STUB(M6_S6BG6_Main)
