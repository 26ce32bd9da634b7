// The city's lighting sets: nine sets (night, dawn, day and evening, their
// rainy variants, and the interior) read once at start-up from a text held
// in the program, blended by the time of day each drawn frame, and the wind
// that particles drift with.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"

class StreamerSource;

struct LightAng
{
    float a0, a1;   // radians: about the vertical, then the elevation
};

struct LightSet
{
    LightAng lightang[3];
    float fognear[2];   // as written x 0.3125
    float fogfar[2];    // as written x 0.3125
    float fogsat[2];
    Colour colours[13];   // 0..2 lights, 3 ambient, 4..8 sky, 9 fog, 10 dynamic shadow, 11 static shadow, 12 splash
};
static_assert(sizeof(LightSet) == 24 + 24 + 52);

enum {
    LSC_AMBIENT = 3,
    LSC_SKY = 4,
    LSC_FOG = 9,
    LSC_DYNSHADOW = 10,
    LSC_STATSHADOW = 11,
    LSC_SPLASH = 12,
};

constexpr int NUM_LIGHTSETS = 9;
extern LightSet lightsets[NUM_LIGHTSETS];
extern const char* const lightset_names[NUM_LIGHTSETS];
// 1 while it is night: the street lights are on.
extern int streetLight;

// The linked-in lighting text, made during the build.
extern const char Korvalis_new[];
extern const unsigned Korvalis_newSize;

// Reads the lighting text; false when the source cannot be opened or holds
// no root line.
bool GetPrefs(StreamerSource& source);
// The set a blend of a and b with weight w (0: a).
LightSet BlendLightSets(const LightSet& a, const LightSet& b, float w);
// This frame's set for the time of day (frames of the city clock), the
// rain density and the fog amount.
LightSet WorldLightSet(unsigned timeOfDay, float rain, float fog);

// Hands a set to the world: the ambient and three directional lights to the
// light context, the sky colours to the sky.  It stands in for the world
// frame's own SetColours, which takes the fog and shadow colours as well.
void SetColours(const LightSet& ls);

struct SinTriple
{
    float amplitude, period, offset;
    float Evaluate(float t) const;
};
extern SinTriple windStr;
extern SinTriple windAng;
