// The city's lighting sets: nine sets (night, dawn, day and evening, their
// rainy variants, and the interior) read once at start-up from a text held
// in the program, blended by the time of day each drawn frame, and the wind
// that particles drift with.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
#include "game/QuadTree.h"   // LightSet, the world frame's record

class StreamerSource;


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

// A clear daytime set of its own, for views that have no time of day (tests,
// benchmarks).
LightSet DaylightSet();

struct SinTriple
{
    float amplitude, period, offset;
    float Evaluate(float t) const;
};
extern SinTriple windStr;
extern SinTriple windAng;
