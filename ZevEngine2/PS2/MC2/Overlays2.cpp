// The three overlay programs loaded at VU1 address 0x3900 for special passes:
// shadow-volume extrusion (mc2ExtrudeEE), particles (PartMicrocode) and road
// generation (mcRoadGeneratorEE).  Their images are built here before main so
// that RefMpg can reference them; their routines come with the passes that
// use them (the extrusion routine is in Extrude2.cpp, the particle routines in
// PartMicrocode.cpp, the road generator in RoadGenerator2.cpp).
#include "ZevEngine2/PS2/MC2/Extrude2.h"
#include "ZevEngine2/PS2/MC2/Mc2Local.h"
#include "ZevEngine2/PS2/MC2/PartMicrocode.h"

u64 mc2ExtrudeEE[2 * MC2EXTRUDE_QWC] __attribute__((aligned(16)));
u64 PartMicrocode[2 * PARTMICROCODE_QWC] __attribute__((aligned(16)));
u64 mcRoadGeneratorEE[2 * MCROADGENERATOR_QWC] __attribute__((aligned(16)));

namespace {

static_assert(2 * MC2EXTRUDE_QWC == vu1::kExtrudeInstructions + 1);
static_assert(2 * PARTMICROCODE_QWC == vu1::kParticlesInstructions + 1);
static_assert(2 * MCROADGENERATOR_QWC == vu1::kRoadGeneratorInstructions + 1);

[[maybe_unused]] const bool g_built =
    (vu1::BuildRawImage(mc2ExtrudeEE, vu1::kProgramExtrude, vu1::kExtrudeInstructions),
     vu1::BuildRawImage(PartMicrocode, vu1::kProgramParticles, vu1::kParticlesInstructions),
     vu1::BuildRawImage(mcRoadGeneratorEE, vu1::kProgramRoadGenerator, vu1::kRoadGeneratorInstructions), true);

}  // namespace

CONSOLE_VU1_PROGRAM(vu1::kProgramExtrude, "mc2ExtrudeEE", vu1::kOverlayAddress, vu1::kExtrudeInstructions);
CONSOLE_VU1_PROGRAM(vu1::kProgramParticles, "PartMicrocode", vu1::kOverlayAddress, vu1::kParticlesInstructions);
CONSOLE_VU1_PROGRAM(vu1::kProgramRoadGenerator, "mcRoadGeneratorEE", vu1::kOverlayAddress,
                    vu1::kRoadGeneratorInstructions);
CONSOLE_VU1_ENTRY(vu1::kProgramExtrude, mc2Extrude, "mc2Extrude", mc2::Extrude);
CONSOLE_VU1_ENTRY(vu1::kProgramParticles, mc2PartFlat, "mc2PartFlat", mc2::PartFlat);
CONSOLE_VU1_ENTRY(vu1::kProgramParticles, mc2PartSprite, "mc2PartSprite", mc2::PartSprite);
CONSOLE_VU1_ENTRY(vu1::kProgramParticles, mc2PartLine, "mc2PartLine", mc2::PartLine);
