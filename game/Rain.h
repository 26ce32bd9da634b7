// Rain and its splashes.  For now the rain's ground-height caches: one per
// splash column, cleared whenever the city's visibility is.
#pragma once

#include "game/Road.h"

class RenderContext;

class Rain
{
public:
    static constexpr int NGHC = 49;

    // The rain itself comes with the weather effects; until then a frame of
    // it draws nothing.
    void Draw(RenderContext& rc);

    // Each cache forgets its surface, its result and its previous position.
    void ClearGHC();

    GHCache ghc[NGHC];
    Colour SplashColour = Colour(0x80, 0x80, 0x80, 0x80);   // the lighting's splash colour
};

// The weather's fog: how foggy it is (0 clear, 1 foggy) and the lighting's
// near, far and saturation figures for clear [0] and foggy [1] weather.
class Weather
{
public:
    float vFog = 0.0f;
    float vFogNear[2] = {0.0f, 0.0f};
    float vFogFar[2] = {0.0f, 0.0f};
    float vFogSat[2] = {0.0f, 0.0f};
};

extern Rain gRain;
extern Weather gWeather;
