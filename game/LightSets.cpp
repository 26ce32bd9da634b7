// The lighting sets and the wind.
#include "game/LightSets.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/Utilities/StreamerFile.h"
#include "game/Backdrop.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Rain.h"

LightSet lightsets[NUM_LIGHTSETS];
const char* const lightset_names[NUM_LIGHTSETS] = {
    "[night]",       "[dawn]",        "[day]",         "[evening]", "[rainynight]",
    "[rainydawn]",   "[rainyday]",    "[rainyevening]", "[interior]",
};

SinTriple windStr = {0.026041668f, 300.0f, 300.0f * randf()};
SinTriple windAng = {3.14159265f, 3600.0f, 3600.0f * randf()};

namespace {

constexpr float kDegrees = 0.017453294f;
constexpr float kFogScale = 0.3125f;
constexpr float kTwoPi = 6.28318531f;

// "r,g,b[,a]": fewer than three numbers leave the colour alone.
bool ReadColour(const char* value, Colour& c, int defaultAlpha)
{
    int r, g, b, a = defaultAlpha;
    if (sscanf(value, "%i,%i,%i,%i", &r, &g, &b, &a) < 3)
        return false;
    c = Colour(u8(r), u8(g), u8(b), u8(a));
    return true;
}

bool ReadPair(const char* value, float* out)
{
    float x, y;
    if (sscanf(value, "%f,%f", &x, &y) < 2)
        return false;
    out[0] = x;
    out[1] = y;
    return true;
}

bool IsColour(const Parser& p)
{
    return strcasecmp(p.token, "colour") == 0 || strcasecmp(p.token, "color") == 0;
}

u8 Mix(u8 a, u8 b, float w)
{
    return u8(float(a) * (1.0f - w) + float(b) * w);
}

// A set's colour as a light's, 256 the full channel (the light objects'
// scale).
Vector LightColour(Colour c)
{
    return Vector(c.r / 256.0f, c.g / 256.0f, c.b / 256.0f, 0.0f);
}

float Mix(float a, float b, float w)
{
    return a * (1.0f - w) + b * w;
}

}  // namespace

bool GetPrefs(StreamerSource& source)
{
    if (!source.Exists()) {
        printf("LightSets: the lighting sets cannot be read; they are not used\n");
        return false;
    }
    Parser p(source);
    LightSet* set = nullptr;
    int light = 0;
    float ang[2] = {0.0f, 0.0f};
    bool anyRoot = false;
    bool more = p.Next();
    while (more) {
        if (!p.root || p.token[0] == 0) {
            more = p.Next();
            continue;
        }
        anyRoot = true;
        if (p.token[0] == '[') {
            for (int i = 0; i < NUM_LIGHTSETS; i++)
                if (strcasecmp(p.token, lightset_names[i]) == 0)
                    set = &lightsets[i];
            light = 0;
            more = p.Next();
            continue;
        }
        // An item: its indented lines follow.
        char item[64];
        strcpy(item, p.token);
        Colour colour(255, 255, 255, 128);
        float sat[2] = {0.75f, 1.0f}, nearv[2] = {75.0f, 0.0f}, farv[2] = {1500.0f, 100.0f};
        int sky = LSC_SKY;
        const bool isLight = strcasecmp(item, "light") == 0, isAmbient = strcasecmp(item, "ambient") == 0,
                   isFog = strcasecmp(item, "fog") == 0, isSky = strcasecmp(item, "sky") == 0;
        int single = -1;
        if (strcasecmp(item, "dynamic_shadow") == 0)
            single = LSC_DYNSHADOW;
        else if (strcasecmp(item, "static_shadow") == 0)
            single = LSC_STATSHADOW;
        else if (strcasecmp(item, "splash") == 0)
            single = LSC_SPLASH;
        if (!isLight && !isAmbient && !isFog && !isSky && single < 0)
            return true;   // the sets end here
        while ((more = p.Next()) && (!p.root || p.token[0] == 0)) {
            if (p.token[0] == 0)
                continue;
            if (IsColour(p)) {
                if (isLight) {
                    ReadColour(p.value, colour, 0);
                } else if (isSky) {
                    Colour c;
                    // A sixth sky colour lands on the fog colour's slot.
                    if (ReadColour(p.value, c, 128) && set != nullptr && sky < 13)
                        set->colours[sky++] = c;
                } else if (single >= 0) {
                    if (set != nullptr)
                        ReadColour(p.value, set->colours[single], 128);
                } else {
                    ReadColour(p.value, colour, 128);
                }
            } else if (isLight && strcasecmp(p.token, "ang") == 0) {
                ReadPair(p.value, ang);
            } else if (isFog && strcasecmp(p.token, "sat") == 0) {
                ReadPair(p.value, sat);
            } else if (isFog && strcasecmp(p.token, "near") == 0) {
                ReadPair(p.value, nearv);
            } else if (isFog && strcasecmp(p.token, "far") == 0) {
                ReadPair(p.value, farv);
            }
        }
        if (set == nullptr)
            continue;
        if (isLight) {
            // A fourth light and more are read and dropped.
            if (light < 3) {
                set->colours[light] = colour;
                set->lightang[light] = {ang[0] * kDegrees, ang[1] * kDegrees};
            }
            light++;
        } else if (isAmbient) {
            set->colours[LSC_AMBIENT] = colour;
        } else if (isFog) {
            set->colours[LSC_FOG] = colour;
            set->fogsat[0] = sat[0];
            set->fogsat[1] = sat[1];
            set->fognear[0] = nearv[0] * kFogScale;
            set->fognear[1] = nearv[1] * kFogScale;
            set->fogfar[0] = farv[0] * kFogScale;
            set->fogfar[1] = farv[1] * kFogScale;
        }
    }
    if (!anyRoot)
        printf("LightSets: the lighting sets name no set or item; they are not used\n");
    return anyRoot;
}

LightSet BlendLightSets(const LightSet& a, const LightSet& b, float w)
{
    LightSet r;
    for (int i = 0; i < 3; i++) {
        r.lightang[i].a0 = Mix(a.lightang[i].a0, b.lightang[i].a0, w);
        r.lightang[i].a1 = Mix(a.lightang[i].a1, b.lightang[i].a1, w);
    }
    for (int i = 0; i < 2; i++) {
        r.fognear[i] = Mix(a.fognear[i], b.fognear[i], w);
        r.fogfar[i] = Mix(a.fogfar[i], b.fogfar[i], w);
        r.fogsat[i] = Mix(a.fogsat[i], b.fogsat[i], w);
    }
    for (int i = 0; i < 13; i++)
        r.colours[i] = Colour(Mix(a.colours[i].r, b.colours[i].r, w), Mix(a.colours[i].g, b.colours[i].g, w),
                              Mix(a.colours[i].b, b.colours[i].b, w), Mix(a.colours[i].a, b.colours[i].a, w));
    return r;
}

LightSet WorldLightSet(unsigned timeOfDay, float rain, float fog)
{
    float f = float(timeOfDay) / float(KVWorld::DAY_FRAMES);
    f -= float(int(f));
    streetLight = f < 0.25f || f > 0.75f ? 1 : 0;
    const float s = f * 4.0f;
    const int i = std::min(int(s), 3), j = (i + 1) % 4;
    const float w = s - float(i);
    LightSet ls = BlendLightSets(lightsets[i], lightsets[j], w);
    if (rain != 0.0f)
        ls = BlendLightSets(ls, BlendLightSets(lightsets[4 + i], lightsets[4 + j], w), rain);
    const Colour fc = ls.colours[LSC_FOG];
    for (int k = 0; k <= 8; k++) {
        Colour& c = ls.colours[k];
        c = Colour(Mix(c.r, fc.r, fog), Mix(c.g, fc.g, fog), Mix(c.b, fc.b, fog), Mix(c.a, fc.a, fog));
    }
    // Around dawn and dusk the main light fades into the ambient.
    const float t = std::min(8.0f * std::min(std::fabs(f - 0.25f), std::fabs(f - 0.75f)), 1.0f);
    Colour& amb = ls.colours[LSC_AMBIENT];
    Colour& l0 = ls.colours[0];
    const float half = (1.0f - t) * 0.5f;
    amb = Colour(u8(std::min(255.0f, float(amb.r) + float(l0.r) * half)),
                 u8(std::min(255.0f, float(amb.g) + float(l0.g) * half)),
                 u8(std::min(255.0f, float(amb.b) + float(l0.b) * half)),
                 u8(std::min(255.0f, float(amb.a) + float(l0.a) * half)));
    l0 = Colour(u8(float(l0.r) * t), u8(float(l0.g) * t), u8(float(l0.b) * t), u8(float(l0.a) * t));
    ls.lightang[0].a0 = -kTwoPi * f + (streetLight ? -1.5707963f : 1.5707963f);
    ls.lightang[0].a1 = -1.3962634f;
    return ls;
}

void SetGlobalLights(int n)
{
    if (unsigned(n) < unsigned(NUM_LIGHTSETS))
        world.SetColours(lightsets[n]);
}

void SetupWorldLights()
{
    world.SetColours(WorldLightSet(world.time_of_day, gRain.GetDensity(), WeatherFog()));
}

float SinTriple::Evaluate(float t) const
{
    const float p = (t + offset) / period;
    return amplitude * (0.6f * std::sin(FixAng(p)) + 0.3f * std::sin(FixAng(3.0f * p)) +
                        0.1f * std::sin(FixAng(7.0f * p)));
}

void WindUpdate(float t)
{
    const VectorDir w = WindGet();
    constexpr float kStep = 0.000347137f;
    const float y = std::clamp(0.0f, w[1] - kStep, w[1] + kStep);
    const float strength = windStr.Evaluate(t);
    const float angle = FixAng(windAng.Evaluate(t));
    WindSet(VectorDir(std::sin(angle) * strength, y, std::cos(angle) * strength));
}

float WeatherFog()
{
    return gWeather.vFog;
}

void ReadLightingSets()
{
    StreamerBlock text(Korvalis_new, Korvalis_newSize);
    GetPrefs(text);
}
LightSet DaylightSet()
{
    LightSet ls{};
    // The sun high in the south-west, a cool fill light from the opposite
    // side and a faint one from below.
    ls.lightang[0] = {-1.1f, 0.6f};
    ls.lightang[1] = {0.5f, -2.5f};
    ls.lightang[2] = {1.2f, 2.0f};
    // Fog far out in clear weather, nearer in foggy.
    ls.fognear[0] = 120.0f;
    ls.fognear[1] = 20.0f;
    ls.fogfar[0] = 900.0f;
    ls.fogfar[1] = 200.0f;
    ls.fogsat[0] = 0.7f;
    ls.fogsat[1] = 1.0f;
    const Colour c[13] = {
        Colour(200, 190, 165, 128),   // sun
        Colour(60, 70, 90, 128),      // fill
        Colour(25, 25, 30, 128),      // from below
        Colour(80, 80, 90, 128),      // ambient
        Colour(55, 90, 170, 128),     // sky overhead
        Colour(105, 140, 195, 128),   // sky 20 degrees up
        Colour(150, 175, 205, 128),   // sky 10 degrees up
        Colour(190, 200, 210, 128),   // horizon
        Colour(255, 240, 200, 128),   // around the sun
        Colour(0, 0, 0, 0),
        Colour(30, 30, 40, 72),       // live objects' shadows
        Colour(30, 30, 40, 64),       // the city's shadows
        Colour(100, 110, 130, 128),   // rain splashes (as the rain option has them)
    };
    std::memcpy(ls.colours, c, sizeof c);
    return ls;
}
