// Draw threads: a large primitive is cut into interleaved bands of screen
// rows, drawn at once by a pool of workers and the calling thread, and the
// call returns only when every band is done, so local memory is at every
// moment what drawing on one thread leaves.  Each row belongs to one band,
// and a primitive whose texture or buffers could be touched by another band's
// rows is drawn on the calling thread alone (see raster.cpp), so results are
// the same for any number of threads.
#pragma once

#include <ee/types.h>

#include "gs/pipeline.h"

namespace console::gs {

// Threads that draw, counting the calling one: 0 or 1 draw on the calling
// thread only; at most 8.  The first use takes --gs-threads, or the machine's
// cores minus one.
void SetDrawThreads(int n);
int DrawThreads();

// Calls draw(bands) once for each of DrawThreads() bands, in parallel, and
// returns when all have returned.  `draw` must touch only its bands' rows.
using BandDraw = void (*)(const void* context, const RowBands& bands);
void DrawInBands(BandDraw draw, const void* context);

}  // namespace console::gs
