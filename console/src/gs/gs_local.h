// Inside the GS stand-in: the one machine the entry points of gs.h drive.
#pragma once

#include "gs/clut.h"
#include "gs/drawenv.h"
#include "gs/gsmem.h"
#include "gs/regs.h"
#include "gs/transfer.h"

namespace console::gs {

struct Machine {
    LocalMemory vram;
    RegisterFile regs;
    VertexQueue queue;
    ClutBuffer clut;
    TransferUnit transfer{vram};
    // The draw state decoded at the last kick; rebuilt at the next kick after
    // any register other than vertex data has been written.
    DrawEnv env;
    bool env_valid = false;
    // Primitives change no pixels (--gs-no-pixels, taken at each reset):
    // runs that need the program's logic but not its pictures.
    bool no_pixels = false;
};

Machine& TheGs();

}  // namespace console::gs
