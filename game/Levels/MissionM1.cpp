// The step functions of the script rgprM1.  Each not yet built is a
// link stub that says so once and finishes its record.
#include "game/Levels/Levels.h"

MISSION_STEP_STUB(M1_S1G1_Main)
MISSION_STEP_STUB(M1_S2G2_Main)
MISSION_STEP_STUB(M1_S3a_Main)
MISSION_STEP_STUB(M1_S3b_Main)
MISSION_STEP_STUB(M1_G3_Main)
MISSION_STEP_STUB(M1_S4a_Main)
MISSION_STEP_STUB(M1_S4b_Main)
MISSION_STEP_STUB(M1_S4a2G4_Main)
MISSION_STEP_STUB(M1_S5G5_Main)
MISSION_STEP_STUB(M1_S6a_Main)
MISSION_STEP_STUB(M1_S6a2G6_Main)
MISSION_STEP_STUB(M1_S6bG6_Main)
MISSION_STEP_STUB(BDriveToM1_Main)
