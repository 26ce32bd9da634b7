#include "fuzz_vehicles.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "tools/lib/mdlgroup.h"

#include "ZevEngine2/Allocator.h"

namespace fuzz {

const VehicleGroupFiles& SampleVehicleGroupFiles()
{
    static const VehicleGroupFiles files = [] {
        VehicleGroupFiles f;
        tools::ModelGroup group;
        std::string error;
        if (!tools::SampleVehicleGroup(group, error) || !tools::WriteModelGroup(group, f.dir, f.data, error))
            throw std::runtime_error("sample vehicle group: " + error);
        return f;
    }();
    return files;
}

MdlFileGroup& SampleVehicleGroup()
{
    static MdlFileGroup* group = [] {
        const VehicleGroupFiles& f = SampleVehicleGroupFiles();
        // Kept for the process, as the game keeps its group.
        LayoutFile* file = static_cast<LayoutFile*>(malloc_align(u32(f.dir.size()) + 64, 64));
        std::memcpy(file, f.dir.data(), f.dir.size());
        file->blockCount = 6;
        if (!MdlFileGroup::Check(file, u32(f.dir.size()), u32(f.data.size()), "sample vehicle group"))
            throw std::runtime_error("sample vehicle group refused");
        return new MdlFileGroup(file, "sample vehicle group");
    }();
    return *group;
}

}  // namespace fuzz
