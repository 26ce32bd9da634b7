// The routines of the particle overlay (PartMicrocode, loaded at 0x3900):
// mc2PartFlat 0x3900, mc2PartSprite 0x3A88, mc2PartLine 0x3BB8.  Their input
// layout is described in PartMicrocode.cpp.
#pragma once

#include "ZevEngine2/Zev.h"

#include <vu/vu1.h>

namespace mc2 {

u32 PartFlat(vu1::Machine& vu, u32 pc);
u32 PartSprite(vu1::Machine& vu, u32 pc);
u32 PartLine(vu1::Machine& vu, u32 pc);

}  // namespace mc2
