// Routines of Microcode2 whose work comes with the drawing that uses them
// (Bezier patches, environment mapping, two-sided light cones, the
// alpha and random-clamp steps).  Their
// entries exist so that every address of the routine table dispatches; until
// a routine is built, running it reports so once and ends the run.  Each
// entry moves to its own module when the routine is written.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

#define MC2_PENDING(address, name)                                             \
    namespace {                                                                \
    u32 Pending_##name(vu1::Machine&, u32) { return mc2::NotBuilt(#name); }    \
    }                                                                          \
    CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, address, #name, Pending_##name)

MC2_PENDING(mc2KickFlipLong, mc2KickFlipLong);
MC2_PENDING(mc2TwoSided, mc2TwoSided);
MC2_PENDING(mc2RandomClamp, mc2RandomClamp);
MC2_PENDING(mc2AlphaReg, mc2AlphaReg);
MC2_PENDING(mc2Reflection, mc2Reflection);
MC2_PENDING(mc2Refraction, mc2Refraction);
MC2_PENDING(mc2BezierPatch, mc2BezierPatch);
