// The lighting sets the program carries, their blend by the time of day,
// rain and fog, and the wind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ZevEngine2/particle.h"
#include "ZevEngine2/Utilities/StreamerFile.h"
#include "game/LightSets.h"
#include "game/MAIN.h"

namespace {

void ExpectColour(Colour c, int r, int g, int b, int a, const char* what)
{
    EXPECT_EQ(c.r, r) << what;
    EXPECT_EQ(c.g, g) << what;
    EXPECT_EQ(c.b, b) << what;
    EXPECT_EQ(c.a, a) << what;
}

void ReadCarried()
{
    StreamerBlock text(Korvalis_new, Korvalis_newSize);
    ASSERT_TRUE(GetPrefs(text));
}

constexpr float kDeg = 0.017453294f;

TEST(LightSets, TheCarriedTextGivesEveryTableValue)
{
    ReadCarried();
    // Per set (in the sets' order night, dawn, day, evening, the rainy ones,
    // interior): light 0, ambient, fog colour, fog near/far pairs as written,
    // saturation, splash, shadow alpha.
    struct Want
    {
        int l0[3], amb[3], fog[3];
        float nearv[2], farv[2], sat[2];
        int splash[4], shadowAlpha;
    };
    const Want want[NUM_LIGHTSETS] = {
        {{112, 97, 62}, {27, 31, 35}, {30, 40, 45}, {75, 35}, {1500, 175}, {.75f, .5f}, {128, 128, 128, 64}, 16},
        {{254, 233, 135}, {100, 100, 100}, {147, 179, 204}, {120, 35}, {600, 350}, {.75f, .8f}, {128, 128, 128, 64}, 64},
        {{223, 226, 250}, {100, 100, 100}, {158, 148, 134}, {75, 35}, {600, 350}, {.75f, .4f}, {128, 128, 128, 64}, 64},
        {{182, 179, 143}, {100, 100, 100}, {47, 59, 78}, {75, 35}, {1500, 350}, {.75f, .8f}, {47, 59, 78, 64}, 16},
        {{40, 55, 65}, {19, 24, 28}, {19, 24, 28}, {75, 35}, {1500, 175}, {.75f, 1}, {19, 24, 28, 64}, 32},
        {{93, 105, 132}, {100, 100, 100}, {104, 94, 70}, {75, 35}, {1500, 175}, {.75f, .8f}, {104, 94, 70, 64}, 16},
        {{130, 125, 120}, {100, 100, 100}, {70, 70, 70}, {75, 35}, {1500, 350}, {.75f, .6f}, {32, 32, 32, 64}, 32},
        {{85, 90, 92}, {100, 100, 100}, {47, 59, 78}, {75, 35}, {1500, 175}, {.75f, .8f}, {47, 59, 78, 64}, 16},
        {{130, 125, 120}, {80, 80, 80}, {120, 100, 70}, {75, 35}, {1500, 75}, {.75f, 1}, {128, 128, 128, 64}, 64},
    };
    for (int i = 0; i < NUM_LIGHTSETS; i++) {
        const LightSet& s = lightsets[i];
        const Want& w = want[i];
        SCOPED_TRACE(lightset_names[i]);
        // Light colours written with three numbers take alpha 0; ambient,
        // fog and the others 128 unless written.
        ExpectColour(s.colours[0], w.l0[0], w.l0[1], w.l0[2], 0, "light 0");
        ExpectColour(s.colours[LSC_AMBIENT], w.amb[0], w.amb[1], w.amb[2], 128, "ambient");
        ExpectColour(s.colours[LSC_FOG], w.fog[0], w.fog[1], w.fog[2], 128, "fog");
        EXPECT_FLOAT_EQ(s.fognear[0], w.nearv[0] * 0.3125f);
        EXPECT_FLOAT_EQ(s.fognear[1], w.nearv[1] * 0.3125f);
        EXPECT_FLOAT_EQ(s.fogfar[0], w.farv[0] * 0.3125f);
        EXPECT_FLOAT_EQ(s.fogfar[1], w.farv[1] * 0.3125f);
        EXPECT_FLOAT_EQ(s.fogsat[0], w.sat[0]);
        EXPECT_FLOAT_EQ(s.fogsat[1], w.sat[1]);
        ExpectColour(s.colours[LSC_SPLASH], w.splash[0], w.splash[1], w.splash[2], w.splash[3], "splash");
        ExpectColour(s.colours[LSC_DYNSHADOW], 0, 0, 10, w.shadowAlpha, "dynamic shadow");
        ExpectColour(s.colours[LSC_STATSHADOW], 0, 0, 10, w.shadowAlpha, "static shadow");
        EXPECT_FLOAT_EQ(s.lightang[0].a0, -90 * kDeg);
        EXPECT_FLOAT_EQ(s.lightang[0].a1, 0.0f);
    }
    // The night's fog in world units.
    EXPECT_FLOAT_EQ(lightsets[0].fognear[0], 23.4375f);
    EXPECT_FLOAT_EQ(lightsets[0].fognear[1], 10.9375f);
    EXPECT_FLOAT_EQ(lightsets[0].fogfar[0], 468.75f);
    EXPECT_FLOAT_EQ(lightsets[0].fogfar[1], 54.6875f);
    // Skies: night's five, the day's last one; the interior's second and
    // third lights.
    ExpectColour(lightsets[0].colours[4], 0, 6, 16, 128, "night sky 0");
    ExpectColour(lightsets[0].colours[8], 255, 187, 127, 128, "night sky 4");
    ExpectColour(lightsets[2].colours[8], 209, 194, 173, 128, "day sky 4");
    EXPECT_FLOAT_EQ(lightsets[8].lightang[1].a0, -45 * kDeg);
    EXPECT_FLOAT_EQ(lightsets[8].lightang[1].a1, 90 * kDeg);
}

TEST(LightSets, SixInTheMorningIsPureDawnWithTheSunFoldedIntoTheAmbient)
{
    ReadCarried();
    const LightSet ls = WorldLightSet(6 * 216000, 0.0f, 0.0f);
    EXPECT_EQ(streetLight, 0);
    ExpectColour(ls.colours[0], 0, 0, 0, 0, "light 0");
    // (100, 100, 100, 128) + (254, 233, 135, 0) x 0.5, truncated.
    ExpectColour(ls.colours[LSC_AMBIENT], 227, 216, 167, 128, "ambient");
    ExpectColour(ls.colours[LSC_FOG], 147, 179, 204, 128, "fog");
    EXPECT_NEAR(ls.lightang[0].a0, 0.0f, 1e-6f);   // -2 pi x 0.25 + pi / 2
    EXPECT_FLOAT_EQ(ls.lightang[0].a1, -1.3962634f);
    EXPECT_FLOAT_EQ(ls.fognear[0], 120 * 0.3125f);

    // Midnight: street lights on, the sun's heading on the night side.
    const LightSet night = WorldLightSet(0, 0.0f, 0.0f);
    EXPECT_EQ(streetLight, 1);
    EXPECT_NEAR(night.lightang[0].a0, -1.5707963f, 1e-6f);
    ExpectColour(night.colours[0], 112, 97, 62, 0, "night light 0 at full strength");

    // Full rain: the clear sets have no part.
    const LightSet rain = WorldLightSet(6 * 216000, 1.0f, 0.0f);
    ExpectColour(rain.colours[LSC_FOG], 104, 94, 70, 128, "rainy dawn fog");
    ExpectColour(rain.colours[1], 54, 44, 20, 0, "rainy dawn light 1");

    // Full fog at 09:00 (half way from dawn to day, three hours from dawn so
    // the sun keeps its light): the lights, ambient and sky all take the
    // blended fog colour, (147, 179, 204) and (158, 148, 134) halved and
    // truncated.
    const LightSet fog = WorldLightSet(9 * 216000, 0.0f, 1.0f);
    ExpectColour(fog.colours[LSC_FOG], 152, 163, 169, 128, "fog");
    for (int k = 0; k <= 8; k++)
        ExpectColour(fog.colours[k], 152, 163, 169, 128, "fogged");
}

TEST(LightSets, ReaderRulesAndBlendsTruncate)
{
    // Keep: a sixth sky colour lands on the fog colour; a fourth light is
    // read and dropped; a light without angles takes the last ones read.
    const char text[] = "[day]\n"
                        "light\n  colour 1,2,3\n  ang 10,20\n"
                        "light\n  colour 4,5,6,7\n"
                        "light\n  colour 8,9,10\n  ang 30,40\n"
                        "light\n  colour 99,99,99\n  ang 50,60\n"
                        "fog\n  colour 11,12,13\n"
                        "sky\n  colour 1,1,1\n  colour 2,2,2\n  colour 3,3,3\n  colour 4,4,4\n  colour 5,5,5\n"
                        "  colour 6,6,6\n"
                        "end\n"
                        "[night]\n"
                        "ambient\n  colour 9,9,9\n";
    const LightSet before = lightsets[0];
    StreamerBlock src(text, unsigned(strlen(text)));
    ASSERT_TRUE(GetPrefs(src));
    const LightSet& d = lightsets[2];
    ExpectColour(d.colours[1], 4, 5, 6, 7, "second light");
    EXPECT_FLOAT_EQ(d.lightang[1].a0, 10 * kDeg);
    EXPECT_FLOAT_EQ(d.lightang[1].a1, 20 * kDeg);
    ExpectColour(d.colours[2], 8, 9, 10, 0, "third light");
    EXPECT_FLOAT_EQ(d.lightang[2].a0, 30 * kDeg);
    ExpectColour(d.colours[LSC_FOG], 6, 6, 6, 128, "fog overwritten by the sixth sky colour");
    // Defaults written with the fog item.
    EXPECT_FLOAT_EQ(d.fogfar[0], 1500 * 0.3125f);
    EXPECT_FLOAT_EQ(d.fogsat[1], 1.0f);
    // "end" ended the reading: the night is untouched.
    EXPECT_EQ(lightsets[0].colours[LSC_AMBIENT], before.colours[LSC_AMBIENT]);

    // Keep: a blended channel is truncated, never rounded.
    LightSet a{}, b{};
    a.colours[0] = Colour(1, 0, 255, 10);
    b.colours[0] = Colour(2, 3, 0, 11);
    const LightSet h = BlendLightSets(a, b, 0.5f);
    ExpectColour(h.colours[0], 1, 1, 127, 10, "half way");

    ReadCarried();
}

TEST(LightSets, TheWindsUpDraftDiesAwayAtABoundedRate)
{
    const VectorDir before = WindGet();
    WindSet(VectorDir(0.0f, 1.0f, 0.0f));
    WindUpdate(100.0f);
    EXPECT_FLOAT_EQ(WindGet()[1], 1.0f - 0.000347137f);
    WindSet(VectorDir(0.0f, -0.0001f, 0.0f));
    WindUpdate(100.0f);
    EXPECT_EQ(WindGet()[1], 0.0f);
    // The horizontal strength is the sum of sines at the time, at most the
    // amplitude.
    const float x = WindGet()[0], z = WindGet()[2];
    EXPECT_LE(x * x + z * z, 0.026041668f * 0.026041668f * 1.0001f);
    EXPECT_NEAR(std::sqrt(x * x + z * z), std::fabs(windStr.Evaluate(100.0f)), 1e-6f);
    WindSet(before);
}

}  // namespace
