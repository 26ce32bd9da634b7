// The city's cell index: checked as the world takes it, then the window
// moved over the cells it names in the sample city's cells file, and each
// loaded cell used.  Accepted when the world has a city.
#include "fuzz_target.h"

#include "fuzz_city.h"

FUZZ_TARGET(cityindex)
{
    const tools::CityFiles& city = fuzz::SampleCityFiles();
    fuzz::MemoryDisc disc;
    disc.files[CITY_CELLS_PATH] = city.mgd;
    disc.files[CITY_MODELS_PATH] = city.exm;
    fuzz::CityRun run(disc, data, size, city.exp.data(), city.exp.size());
    if (!run.HasCity())
        return false;
    for (int c : {-1, 0, 2}) {
        run.SyncTo(VectorPos(float(c) * 256.0f + 10.0f, 0.0f, float(-c) * 256.0f + 10.0f));
        run.Use(c, -c);
    }
    return true;
}
