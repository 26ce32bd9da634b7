// The graphics library's calls on the main processor.
#pragma once

#include "ee/types.h"

// Waits for the next vertical blank (field boundary) and returns the field
// then being displayed: CSR.FIELD, alternating 0 and 1 in interlaced modes
// and always 0 in progressive ones.  `mode` is 0 (the only mode the game
// uses).
int sceGsSyncV(int mode);
