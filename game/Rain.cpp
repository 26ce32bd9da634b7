// Rain and its splashes.
#include "game/Rain.h"

Rain gRain;
float gRainStrength;

void Rain::ClearGHC()
{
    for (GHCache& c : ghc)
        c.Clear();
}
