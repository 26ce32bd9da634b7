// The step functions of the script rgprM247.  Each not yet built is a
// link stub that says so once and finishes its record.
#include "game/Levels/Levels.h"

MISSION_STEP_STUB(M247_ImpoundLot_Main)
MISSION_STEP_STUB(M247_GXDojo_Main)
MISSION_STEP_STUB(M247_FRange_Main)
MISSION_STEP_STUB(M247_Race_Main)
MISSION_STEP_STUB(M247_BonusRace_Main)
MISSION_STEP_STUB(M247_BonusFRange_Main)
MISSION_STEP_STUB(M247_BonusGXDojo_Main)
