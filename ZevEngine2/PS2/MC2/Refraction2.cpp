// Refraction2: the refractive form of environment mapping.  The ray from the
// eye is bent into the surface by a part of its normal (k e - n, the builders
// sending k = 8.0) and looked up in a sphere map centred straight ahead, so
// the texture shows as if seen through the surface, distorted by its shape.
#include "ZevEngine2/PS2/MC2/Mc2Local.h"

namespace mc2 {
namespace {

// {matrix address, k, w}.
u32 Refraction(vu1::Machine& vu, u32 pc) { return EnvironmentStep(vu, pc, true); }

}  // namespace
}  // namespace mc2

CONSOLE_VU1_ENTRY(vu1::kProgramMicrocode2, mc2Refraction, "mc2Refraction", mc2::Refraction);
