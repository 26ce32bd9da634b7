// The lighting sets' text: read as the game reads it at start-up, then the
// world lit from it at every hour of the day, dry and in rain and fog, as
// the frames light it.  Accepted when the reader took the text.
#include "fuzz_target.h"

#include "ZevEngine2/Utilities/StreamerFile.h"
#include "game/LightSets.h"

FUZZ_TARGET(lighting)
{
    for (LightSet& s : lightsets)
        s = LightSet{};
    fuzz::Copy file(data, size, 16);
    StreamerBlock block(reinterpret_cast<const char*>(file.Bytes()), file.Size());
    const bool taken = GetPrefs(block);
    float sum = 0.0f;
    for (u32 hour = 0; hour < 24; hour++)
        for (const float rain : {0.0f, 0.6f})
            for (const float fog : {0.0f, 1.0f}) {
                const LightSet ls = WorldLightSet(hour * KVWorld::HOUR_FRAMES, rain, fog);
                world.SetColours(ls);
                sum += ls.fognear[0] + ls.lightang[2].a1 + float(ls.colours[12].a);
            }
    static volatile float sink;
    sink = sink + sum;
    return taken;
}
