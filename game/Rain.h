// Rain and its splashes.  For now the rain's ground-height caches: one per
// splash column, cleared whenever the city's visibility is.
#pragma once

#include "game/Road.h"

class Rain
{
public:
    static constexpr int NGHC = 49;

    // Each cache forgets its surface, its result and its previous position.
    void ClearGHC();

    GHCache ghc[NGHC];
};

extern Rain gRain;

// The rain's strength, 0..1 (the controller's EnableRain).
extern float gRainStrength;
