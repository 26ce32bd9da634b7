// Rain and its splashes.
#include "game/Rain.h"

Rain gRain;

void Rain::ClearGHC()
{
    for (GHCache& c : ghc)
        c.Clear();
}
