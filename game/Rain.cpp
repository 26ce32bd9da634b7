// Rain and its splashes.
#include "game/Rain.h"

Rain gRain;

void Rain::ClearGHC()
{
    for (GHCache& c : ghc)
        c.Clear();
}

Weather gWeather;

void Rain::Draw(RenderContext&)
{
    // The drops and splashes arrive with the weather effects; the demo's
    // weather is dry.
}
