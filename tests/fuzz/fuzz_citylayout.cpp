// The city's layout file: checked and read as the world takes it (road
// kinds, ground kinds, textures, road names, the model directory, city
// numbers), then the sample city's cells loaded against it and used, and
// the tables read back.  Accepted when the world has a city.
#include "fuzz_target.h"

#include "fuzz_city.h"

FUZZ_TARGET(citylayout)
{
    const tools::CityFiles& city = fuzz::SampleCityFiles();
    fuzz::MemoryDisc disc;
    disc.files[CITY_CELLS_PATH] = city.mgd;
    disc.files[CITY_MODELS_PATH] = city.exm;
    fuzz::CityRun run(disc, city.idx.data(), city.idx.size(), data, size);
    if (!run.HasCity())
        return false;
    run.SyncTo(VectorPos(-10.0f, 0.0f, -10.0f));
    run.Use(-1, -1);
    const QuadTree* qt = world.quadtree;
    size_t sum = 0;
    for (int i = -1; i <= qt->num_roadnames; i++) {
        int len = 0;
        if (const char* name = world.GetRoadName(len, i))
            for (int k = 0; k < len; k++)
                sum += u8(name[k]);
    }
    float width = 0.0f;
    for (int i = 0; i < qt->nRoadtypes; i++)
        width += qt->roadtypes[i]->Radius() + qt->roadtypes[i]->CrossSectHeight(0.5f);
    for (int i = -1; i <= qt->nCities; i++)
        sum += size_t(CityIndex(i));
    static volatile size_t sink;
    static volatile float fsink;
    sink = sink + sum;
    fsink = fsink + width;
    return true;
}
