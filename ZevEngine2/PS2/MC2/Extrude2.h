// The shadow-volume overlay (mc2ExtrudeEE, loaded at 0x3900): its routine
// mc2Extrude, and the main program's kick that ends its material,
// mc2KickClipHomo.  The input layout is described in Extrude2.cpp.
#pragma once

#include "ZevEngine2/Zev.h"

#include <vu/vu1.h>

namespace mc2 {

// Overlay entry 0x3900: a batch step that extrudes the batch's vertices.
u32 Extrude(vu1::Machine& vu, u32 pc);
// Main-program routine 0x918: in a command block, the last command of a
// material (it joins the material program); in a batch, the kick.
u32 KickClipHomo(vu1::Machine& vu, u32 pc);

}  // namespace mc2
