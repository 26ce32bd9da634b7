// The lighting-sets text and its C++ form.
#include "tools/lib/lighttext.h"

#include <cstdio>

namespace tools {

namespace {

struct Rgba
{
    int r, g, b, a;   // a < 0: not written
};

struct Section
{
    const char* name;
    Rgba lights[3];
    float angles[3][2];
    Rgba ambient;
    Rgba fog;
    float fognear[2], fogfar[2], fogsat[2];
    Rgba sky[5];
    bool hasSky;
    Rgba shadow;
    Rgba splash;
};

constexpr Rgba N{0, 0, 0, -1};

const Section kSections[] = {
    {"[Night]", {{112, 97, 62, -1}, {40, 50, 60, -1}, {30, 40, 50, -1}}, {{-90, 0}, {0, 90}, {-0.0f, -90}},
     {27, 31, 35, -1}, {30, 40, 45, -1}, {75, 35}, {1500, 175}, {.75f, .5f},
     {{0, 6, 16, -1}, {11, 13, 12, -1}, {7, 25, 34, -1}, {21, 42, 56, -1}, {255, 187, 127, -1}}, true,
     {0, 0, 10, 16}, {128, 128, 128, 64}},
    {"[RainyNight]", {{40, 55, 65, -1}, {40, 55, 65, -1}, {30, 40, 50, -1}}, {{-90, 0}, {0, 90}, {-0.0f, -90}},
     {19, 24, 28, -1}, {19, 24, 28, -1}, {75, 35}, {1500, 175}, {.75f, 1},
     {{2, 2, 2, -1}, {8, 8, 8, -1}, {35, 29, 17, -1}, {15, 15, 18, -1}, {255, 187, 127, -1}}, true,
     {0, 0, 10, 32}, {19, 24, 28, 64}},
    {"[Dawn]", {{254, 233, 135, -1}, {38, 45, 46, -1}, {110, 81, 12, -1}}, {{-90, 0}, {-0.0f, 90}, {-0.0f, -90}},
     {100, 100, 100, -1}, {147, 179, 204, -1}, {120, 35}, {600, 350}, {.75f, .8f},
     {{53, 78, 115, -1}, {83, 101, 125, -1}, {201, 169, 140, -1}, {147, 179, 204, -1}, {255, 187, 127, -1}}, true,
     {0, 0, 10, 64}, {128, 128, 128, 64}},
    {"[RainyDawn]", {{93, 105, 132, -1}, {54, 44, 20, -1}, {16, 23, 23, -1}}, {{-90, 0}, {-0.0f, 90}, {-0.0f, -90}},
     {100, 100, 100, -1}, {104, 94, 70, -1}, {75, 35}, {1500, 175}, {.75f, .8f},
     {{24, 24, 24, -1}, {40, 40, 40, -1}, {70, 60, 40, -1}, {50, 56, 44, -1}, {255, 187, 127, -1}}, true,
     {0, 0, 10, 16}, {104, 94, 70, 64}},
    {"[Day]", {{223, 226, 250, -1}, {167, 137, 79, -1}, {46, 49, 43, -1}}, {{-90, 0}, {-0.0f, 90}, {-0.0f, -90}},
     {100, 100, 100, -1}, {158, 148, 134, -1}, {75, 35}, {600, 350}, {.75f, .4f},
     {{114, 123, 136, -1}, {90, 117, 139, -1}, {167, 185, 196, -1}, {199, 192, 183, -1}, {209, 194, 173, -1}}, true,
     {0, 0, 10, 64}, {128, 128, 128, 64}},
    {"[RainyDay]", {{130, 125, 120, -1}, {130, 125, 120, -1}, {90, 85, 80, -1}}, {{-90, 0}, {-0.0f, 90}, {-0.0f, -90}},
     {100, 100, 100, -1}, {70, 70, 70, -1}, {75, 35}, {1500, 350}, {.75f, .6f},
     {{35, 35, 35, -1}, {73, 72, 75, -1}, {111, 111, 117, -1}, {80, 80, 80, -1}, {0, 0, 0, -1}}, true,
     {0, 0, 10, 32}, {32, 32, 32, 64}},
    {"[Evening]", {{182, 179, 143, -1}, {145, 94, 19, -1}, {32, 45, 49, -1}}, {{-90, 0}, {-0.0f, 90}, {-0.0f, -90}},
     {100, 100, 100, -1}, {47, 59, 78, -1}, {75, 35}, {1500, 350}, {.75f, .8f},
     {{53, 78, 115, -1}, {83, 101, 125, -1}, {201, 169, 140, -1}, {255, 203, 112, -1}, {255, 187, 127, -1}}, true,
     {0, 0, 10, 16}, {47, 59, 78, 64}},
    {"[RainyEvening]", {{85, 90, 92, -1}, {92, 91, 85, -1}, {60, 62, 65, -1}}, {{-90, 0}, {-0.0f, 90}, {-0.0f, -90}},
     {100, 100, 100, -1}, {47, 59, 78, -1}, {75, 35}, {1500, 175}, {.75f, .8f},
     {{24, 24, 24, -1}, {40, 40, 40, -1}, {70, 60, 40, -1}, {50, 56, 44, -1}, {255, 187, 127, -1}}, true,
     {0, 0, 10, 16}, {47, 59, 78, 64}},
    {"[Interior]", {{130, 125, 120, -1}, {80, 85, 90, -1}, {90, 85, 80, -1}}, {{-90, 0}, {-45, 90}, {-45, -90}},
     {80, 80, 80, -1}, {120, 100, 70, -1}, {75, 35}, {1500, 75}, {.75f, 1},
     {N, N, N, N, N}, false, {0, 0, 10, 64}, {128, 128, 128, 64}},
};

std::string Colour(const Rgba& c)
{
    char buf[64];
    if (c.a >= 0)
        std::snprintf(buf, sizeof buf, "  colour %d,%d,%d,%d\n", c.r, c.g, c.b, c.a);
    else
        std::snprintf(buf, sizeof buf, "  colour %d,%d,%d\n", c.r, c.g, c.b);
    return buf;
}

std::string Pair(const char* key, const float* v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "  %s %g,%g\n", key, double(v[0]), double(v[1]));
    return buf;
}

}  // namespace

std::string LightingSetsText()
{
    std::string t = "; The city's lighting sets by the time of day, rain and interiors.\n";
    for (const Section& s : kSections) {
        t += std::string(s.name) + "\n";
        for (int i = 0; i < 3; i++)
            t += "light\n" + Colour(s.lights[i]) + Pair("ang", s.angles[i]);
        t += "ambient\n" + Colour(s.ambient);
        t += "fog\n" + Colour(s.fog) + Pair("near", s.fognear) + Pair("far", s.fogfar) + Pair("sat", s.fogsat);
        if (s.hasSky) {
            t += "sky\n";
            for (const Rgba& c : s.sky)
                t += Colour(c);
        }
        t += "dynamic_shadow\n" + Colour(s.shadow);
        t += "static_shadow\n" + Colour(s.shadow);
        t += "splash\n" + Colour(s.splash);
        t += "\n";
    }
    return t;
}

std::string LightingSetsSource()
{
    const std::string text = LightingSetsText();
    std::string out = "// The lighting sets, written by tools/lightgen during the build; do not edit.\n";
    out += "extern const char Korvalis_new[];\nextern const unsigned Korvalis_newSize;\n";
    out += "const char Korvalis_new[] = {";
    for (size_t i = 0; i < text.size(); i++) {
        if (i % 16 == 0)
            out += "\n   ";
        char buf[8];
        std::snprintf(buf, sizeof buf, " %d,", int(static_cast<unsigned char>(text[i])));
        out += buf;
    }
    out += "\n    0};\n";
    out += "const unsigned Korvalis_newSize = " + std::to_string(text.size()) + ";\n";
    return out;
}

}  // namespace tools
