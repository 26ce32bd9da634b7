// The vehicle group's directory: checked as the registry takes it beside
// the sample group's data file, the group made of it, then every member cut
// from the data file where the directory says and checked and fixed up with
// the group's shared textures, as the registry streams a member in.
// Accepted when the directory was taken.
#include "fuzz_target.h"

#include "fuzz_vehicles.h"

#include "ZevEngine2/Allocator.h"
#include "game/GameFlow.h"

FUZZ_TARGET(vehicledir)
{
    const fuzz::VehicleGroupFiles& sample = fuzz::SampleVehicleGroupFiles();
    LayoutFile* file = static_cast<LayoutFile*>(malloc_align(u32(size) + 64, 64));
    if (file == nullptr)
        return false;
    std::memcpy(file, data, size);
    if (size >= sizeof(LayoutFile))
        file->blockCount = 6;
    if (!MdlFileGroup::Check(file, u32(size), u32(sample.data.size()), "the input", "the data file")) {
        free(file);
        return false;
    }
    MdlFileGroup group(file, "the data file");
    for (int i = 0; i < group.i16NumMdlfiles; i++) {
        const MdlFileAccessInfo& m = group.rmfai[i];
        void* block = malloc_align(u32(m.iLength) + 64, 64);
        if (block == nullptr)
            continue;
        std::memcpy(block, sample.data.data() + m.iOffset, size_t(m.iLength));
        MDLFILE mf{};
        mf.SetBuffer(block);
        if (mf.Init(u32(m.iLength), group.textures, group.i16NumTextures, "a member", "it is dropped"))
            mf.FreeUser();
        free(block);
    }
    free(group.rmfai);
    free(file);
    return true;
}
