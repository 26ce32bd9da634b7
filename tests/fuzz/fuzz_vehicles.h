// The sample vehicle group our writer makes, for the vehicle targets.
#pragma once

#include <vector>

#include "ZevEngine2/Zev.h"
#include "game/GameFlow.h"

namespace fuzz {

struct VehicleGroupFiles
{
    std::vector<u8> dir, data;
};

// The directory and data file, written once.
const VehicleGroupFiles& SampleVehicleGroupFiles();
// The group made of the sample directory, once: its shared textures fill
// a member's references to them.
MdlFileGroup& SampleVehicleGroup();

}  // namespace fuzz
