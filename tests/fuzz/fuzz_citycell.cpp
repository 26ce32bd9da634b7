// A cell record of the city's cells file: loaded into the window as the
// only cell of its index, beside the sample city's layout and models, its
// check and fix-up run, its instances made objects, then every use a run
// makes of a loaded cell, and the window cleared.  Accepted when the cell
// was taken.
#include "fuzz_target.h"

#include "fuzz_city.h"

FUZZ_TARGET(citycell)
{
    const tools::CityFiles& city = fuzz::SampleCityFiles();
    fuzz::MemoryDisc disc;
    disc.files[CITY_CELLS_PATH] = std::vector<u8>(data, data + size);
    disc.files[CITY_MODELS_PATH] = city.exm;
    fuzz::CityRun run(disc, fuzz::OneCellIndex(u32(size)), city.exp);
    run.SyncTo(VectorPos(128.0f, 0.0f, 128.0f));
    const bool taken = world.quadtree->grid[QuadTree::Slot(0, 0)].root != nullptr;
    run.Use(0, 0);
    return taken;
}
