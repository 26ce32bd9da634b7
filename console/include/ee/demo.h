// The demo disc's launcher: start parameters for a run and the hand-back at
// its end.  Values come from --demo-language, --demo-aspect (0 = 4:3,
// non-zero = wide) and --demo-playmode.
#pragma once

#include "ee/types.h"

void sceeDemoStart(int argc, char** argv, u16* language, u16* aspect, u16* playmode, u16* inactive_timeout,
                   u16* total_timeout);

// Where a run starts: the episode and script record of --start EP,REC,
// left as they are without the option; a malformed value is reported and
// leaves them too.  The game asks at the start of every run; the launcher
// counts the runs from it.
void sceeDemoStartPoint(u16* episode, u16* record);

// Tells the launcher which script record the run has entered, for its trace
// ("--trace demo") and its run hook; the launcher takes no action.
void sceeDemoRecord(u16 episode, u16 record);

// Hands control back to the launcher.  After --exit-after-runs runs the
// process ends with status 0 once its outputs are flushed; otherwise the call
// returns and the game starts its next run.
void sceeDemoEnd();
