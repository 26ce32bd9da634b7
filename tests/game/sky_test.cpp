// The sky: the dome's strips and graded colours (known answers from the
// heights of its four colours), the sun and the moon over the day, the stars
// and the flare by the time of day, a sky without its model, the sky model
// on the disc, and pictures of a morning and a night sky.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ZevEngine2/PS2/modeldraw_support.h"
#include "ZevEngine2/PS2/Platform.h"
#include "game/Backdrop.h"
#include "game/QuadTree.h"
#include "tools/lib/skyfile.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr u32 kDay = 5184000;

u32 WBits(const Vector& v)
{
    const float w = v[3];
    u32 b;
    std::memcpy(&b, &w, 4);
    return b;
}

// ------------------------------------------------------------------ dome

TEST(SkyDome, SixteenRingsOfThirtyFourPointsFromTheZenithToTheHorizon)
{
    Backdrop::SkyDome& d = bd.skydome;
    d.Init(16, 16, -kPi / 2, 0.0f);
    ASSERT_EQ(d.count, 544);
    for (int r = 0; r < 16; r++) {
        const float a = -kPi / 2 + float(r) * (kPi / 2) / 16, b = -kPi / 2 + float(r + 1) * (kPi / 2) / 16;
        for (int i = 0; i < 34; i++) {
            const Vector& p = d.pts[34 * r + i];
            EXPECT_EQ(WBits(p), i < 2 ? 0x8000u : 0u) << r << " " << i;
            // Even points on the ring's lower latitude b, odd ones on a (to the
            // vector unit's sines, whose core is good to 4e-3 at a half turn);
            // division i / 2 turned by (i / 2) x 22.5 degrees about y.
            const float lat = (i & 1) ? a : b;
            const float turn = float((i / 2) % 16) * 2 * kPi / 16;
            EXPECT_NEAR(p[1], std::sin(lat), 2e-3f) << r << " " << i;
            EXPECT_NEAR(p[0], std::cos(lat) * std::cos(turn), 4e-3f) << r << " " << i;
            EXPECT_NEAR(p[2], -std::cos(lat) * std::sin(turn), 4e-3f) << r << " " << i;
        }
    }
    // The strip closes on its first two points; the first ring starts at
    // the zenith (y points down), the last reaches the horizon.
    EXPECT_EQ(std::memcmp(&d.pts[32], &d.pts[0], 12), 0);
    EXPECT_EQ(std::memcmp(&d.pts[33], &d.pts[1], 12), 0);
    EXPECT_NEAR(d.pts[1][1], -1.0f, 1e-6f);
    EXPECT_NEAR(d.pts[34 * 15][1], 0.0f, 1e-6f);
}

TEST(SkyDome, ADomeLargerThanItsPointsIsRefused)
{
    Backdrop::SkyDome d;
    d.Init(16, 17, -kPi / 2, 0.0f);
    EXPECT_EQ(d.count, 0);
    d.Init(16, 16, -kPi / 2, 0.0f);
    EXPECT_EQ(d.count, 544);
}

const Colour sun(250, 240, 200, 255), c0(200, 170, 150, 128), c1(150, 150, 170, 128), c2(90, 110, 160, 128),
    c3(40, 60, 130, 128);

Colour At(VectorDir dir, VectorDir s = VectorDir(0, 0, 0))
{
    return Backdrop::SkyDome::GetColour(dir, s, sun, c0, c1, c2, c3);
}

// The four colours sit at heights 0, sin 10, sin 20 and 1; between them the
// dome blends linearly in the height.  Toward the sun it takes the sun's
// colour, its alpha held to 128.
TEST(SkyDome, ColoursByHeightAndTowardTheSun)
{
    EXPECT_EQ(At(VectorDir(0, -1, 0)), c3);
    EXPECT_EQ(At(VectorDir(1, 0, 0)), c0);
    EXPECT_EQ(At(VectorDir(0, 0, -1)), c0);
    const float s10 = std::sin(10 * kPi / 180), s20 = std::sin(20 * kPi / 180);
    const Colour at10 = At(VectorDir(std::sqrt(1 - s10 * s10), -s10, 0));
    const Colour at20 = At(VectorDir(0, -s20, std::sqrt(1 - s20 * s20)));
    EXPECT_NEAR(at10.b, c1.b, 1);
    EXPECT_NEAR(at20.b, c2.b, 1);
    // Half way up from 20 degrees: (c2 + c3) / 2.
    const float h = (s20 + 1) / 2;
    const Colour mid = At(VectorDir(std::sqrt(1 - h * h), -h, 0));
    EXPECT_NEAR(mid.r, (c2.r + c3.r) / 2, 1);
    EXPECT_NEAR(mid.g, (c2.g + c3.g) / 2, 1);
    // Straight at the sun: g = 1.
    EXPECT_EQ(At(VectorDir(0, -1, 0), VectorDir(0, -1, 0)), Colour(250, 240, 200, 128));
    // 60 degrees off it: g = 0.5^8, almost nothing of the sun.
    const Colour off = At(VectorDir(0, -1, 0), VectorDir(std::sin(kPi / 3), -0.5f, 0));
    EXPECT_NEAR(off.r, 40 + (250 - 40) / 256.0f, 1);
    // Facing away from the sun gives no glow at all.
    EXPECT_EQ(At(VectorDir(0, -1, 0), VectorDir(0, 1, 0)), c3);
    // Straight down extrapolates the lowest blend: (col1 x -1 + col0 x
    // 1.17) x 5.76, which for a dark horizon under a bright col1 is below 0
    // and held there, not wrapped (alpha: (-128 + 128 x 1.17) x 5.76 = 127).
    const Colour dark(10, 10, 10, 128), bright(200, 200, 200, 128);
    EXPECT_EQ(Backdrop::SkyDome::GetColour(VectorDir(0, 1, 0), VectorDir(0, 0, 0), sun, dark, bright, c2, c3),
              Colour(0, 0, 0, 127));
}

// Away from the sun, straight up is col3 and a horizontal direction col0,
// whatever their values: every byte comes back as given (alpha held to 128),
// none one below it.
TEST(SkyDome, TheZenithAndTheHorizonTakeTheirColoursExactly)
{
    const VectorDir none(0, 0, 0);
    int zenithLow = 0, horizonLow = 0;
    for (int v = 0; v < 256; v++) {
        const u8 b = u8(v);
        const Colour given(b, b, b, b), shown(b, b, b, u8(v < 128 ? v : 128));
        const Colour zenith = Backdrop::SkyDome::GetColour(VectorDir(0, -1, 0), none, sun, c0, c1, c2, given);
        const Colour horizon = Backdrop::SkyDome::GetColour(VectorDir(0, 0, 1), none, sun, given, c1, c2, c3);
        zenithLow += zenith != shown;
        horizonLow += horizon != shown;
        EXPECT_EQ(zenith, shown) << v;
        EXPECT_EQ(horizon, shown) << v;
    }
    EXPECT_EQ(zenithLow, 0);
    EXPECT_EQ(horizonLow, 0);
    // The dome's own first and last rings: its zenith points and its
    // horizon points.
    Backdrop::SkyDome d;
    d.Init(16, 16, -kPi / 2, 0.0f);
    d.SetColours(none, sun, c0, c1, c2, c3);
    EXPECT_EQ(d.cols[1], c3);   // the first ring's second point: the zenith
    EXPECT_EQ(d.cols[34 * 15], c0);   // the last ring's first point: the horizon
}

// ------------------------------------------------------------- the sky

// The sky model from the disc's writer, loaded into the global sky, drawn in
// whole frames with the game's projection.
class Sky : public modeldraw::SceneTest
{
protected:
    tools::P2BFile file = tools::SkyModelFile();

    void SetUp() override
    {
        SceneTest::SetUp();
        Load(file);
        Platform::GetDrawBuffer() = scene.draw;
        rc.SetZRange(0.1f, 2000.0f);
        rc.SetPerspective(1.0f);
        bd.SetColours(Colour(255, 230, 180, 128), c0, c1, c2, c3);
    }
    void TearDown() override
    {
        world.time_of_day = 0;
        SceneTest::TearDown();
    }

    void Load(const tools::P2BFile& f)
    {
        std::vector<u8> bytes;
        std::string error;
        ASSERT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        void* block = malloc_align(bytes.size(), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        bd.InitFrom(block, u32(bytes.size()));
    }

    // One frame of the sky at `time` seen from `from` along `dir`.
    void DrawAt(u32 time, VectorPos from, VectorDir dir)
    {
        world.time_of_day = time;
        rc.SetCameraMatrix(LookFromMatrix(from, dir));
        Frame([&] {
            InitTransparencies(rc);
            bd.Draw(rc);
            DrawTransparencies(rc);
        });
    }

    static void ExpectNear(const Vector& got, float x, float y, float z, float tol)
    {
        EXPECT_NEAR(got[0], x, tol);
        EXPECT_NEAR(got[1], y, tol);
        EXPECT_NEAR(got[2], z, tol);
    }

    // The entry the stars left in the frame's transparencies, or null.
    const Transparency* StarsEntry() const
    {
        const MODEL* stars = bd.mdlfile.GetModel(2);
        for (int i = 0; i < theTransparencies.num; i++)
            if (theTransparencies.table[i].model == stars)
                return &theTransparencies.table[i];
        return nullptr;
    }
};

// Sun and moon 750 out, opposite each other, turning once a day: the sun
// rises in +x at a quarter of the day, stands overhead (leaning ten degrees
// toward -z) at noon and sets in -x; the moon is overhead at midnight.  The
// sky follows the camera across the ground, not in height.
TEST_F(Sky, SunAndMoonTurnOnceADayAroundTheCamera)
{
    const float t10 = 10 * kPi / 180, tol = 3.0f;   // the vector unit's sines: to 4e-3 of 750
    struct Case
    {
        u32 time;
        float sun[3], moon[3];
    };
    const Case cases[] = {
        {kDay / 2, {0, -750 * std::cos(t10), -750 * std::sin(t10)}, {0, 750, 0}},
        {kDay / 4, {750, 0, 0}, {-750, 0, 0}},
        {3 * kDay / 4, {-750, 0, 0}, {750, 0, 0}},
        {0, {0, 750 * std::cos(t10), 750 * std::sin(t10)}, {0, -750, 0}},
        {kDay + kDay / 4, {750, 0, 0}, {-750, 0, 0}},   // past a day: wraps
    };
    for (const Case& c : cases) {
        DrawAt(c.time, VectorPos(10, -3, 20), VectorDir(0, 0, 1));
        ExpectNear(bd.sun->mat.w, c.sun[0], c.sun[1], c.sun[2], tol);
        ExpectNear(bd.moon->mat.w, c.moon[0], c.moon[1], c.moon[2], tol);
        EXPECT_NEAR(bd.SunDirection()[0] * 750, c.sun[0], tol);
        ExpectNear(bd.sky->mat.w, 10, 0, 20, 0);
    }
    // Three hours after noon: the sun 45 degrees down toward -x.
    DrawAt(kDay / 2 + kDay / 8, VectorPos(0, 0, 0), VectorDir(0, 0, 1));
    const float s = 750 * std::sin(kPi / 4);
    ExpectNear(bd.sun->mat.w, -s, -s * std::cos(t10), -s * std::sin(t10), tol);
}

// Stars only strictly outside [0.125, 0.875] of the day, fully opaque at
// midnight and fading to nothing at 0.125 and 0.875; the fade is put back
// to 1 after them.
TEST_F(Sky, StarsShowOnlyDeepInTheNight)
{
    const VectorPos eye(0, 0, 0);
    const VectorDir up(0, -1, 0.01f);
    DrawAt(0, eye, up);   // the entries stay until the next frame's Init
    const Transparency* e = StarsEntry();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ambient_alpha, 1.0f);
    EXPECT_EQ(rc.GetGlobalTransparency(), 1.0f);
    DrawAt(kDay / 16, eye, up);   // 0.0625: |day - 0.5| x 8 - 3 = 0.5
    ASSERT_NE(StarsEntry(), nullptr);
    EXPECT_FLOAT_EQ(StarsEntry()->ambient_alpha, 0.5f);
    for (u32 t : {kDay / 8, 7 * kDay / 8, kDay / 4, kDay / 2}) {
        DrawAt(t, eye, up);
        EXPECT_EQ(StarsEntry(), nullptr) << t;
    }
    DrawAt(7 * kDay / 8 + 1, eye, up);
    EXPECT_NE(StarsEntry(), nullptr);
}

// The flare from the sun in daytime only, at 0.25 and 0.75 of the day too:
// seen by whether its shapes were needed in graphics memory.
TEST_F(Sky, FlareShowsFromSunriseToSunsetInclusive)
{
    struct Case
    {
        u32 time;
        float look;   // +1 east, -1 west
        bool flare;
    };
    const Case cases[] = {
        {kDay / 4, 1, true},     {kDay / 4 - 1, 1, false}, {3 * kDay / 4, -1, true},
        {3 * kDay / 4 + 1, -1, false}, {kDay / 2, 0, true},
    };
    for (const Case& c : cases) {
        gsframe::ResetGsAndRenderer(1024, 2048);
        const VectorDir dir = c.look != 0 ? VectorDir(c.look, -0.1f, 0.02f) : VectorDir(0, -1, -0.05f);
        DrawAt(c.time, VectorPos(0, -2, 0), dir);
        EXPECT_EQ(texman.IsResident(LensFlare.data), c.flare) << c.time;
    }
}

TEST_F(Sky, ASkyWithoutItsModelStillDrawsTheDome)
{
    console::ClearConsoleText();
    bd.InitFrom(nullptr, 0);
    EXPECT_TRUE(modeldraw::ConsoleHas("Sky: there is no sky model; the sky has no sun, moon or stars"));
    EXPECT_EQ(bd.sun, nullptr);
    EXPECT_EQ(bd.moon, nullptr);
    EXPECT_EQ(bd.stars, nullptr);
    EXPECT_EQ(bd.skydome.count, 544);
    DrawAt(kDay / 2, VectorPos(0, -2, 0), VectorDir(0, -0.3f, 1));
    EXPECT_NE(Pixel(128, 10), modeldraw::kBackground);
    EXPECT_EQ(Pixel(128, 120), modeldraw::kBackground);   // nothing below the horizon
    EXPECT_FALSE(texman.IsResident(LensFlare.data));
    // A file the loader refuses is the same.
    void* junk = malloc_align(64, 64);
    std::memset(junk, 0xA5, 64);
    bd.InitFrom(junk, 64);
    EXPECT_EQ(bd.sun, nullptr);
    EXPECT_EQ(bd.skydome.count, 544);
}

// Until the lighting sets exist a sky never given its colours takes a
// daytime set of its own at its first draw, saying so: blue overhead.
TEST_F(Sky, ASkyNeverColouredTakesADaytimeSkyOfItsOwn)
{
    bd.coloured = false;
    std::memset(bd.skydome.cols, 0, sizeof bd.skydome.cols);
    console::ClearConsoleText();
    DrawAt(kDay / 2, VectorPos(0, -2, 0), VectorDir(0, -1, 0.3f));
    EXPECT_EQ(modeldraw::ConsoleCount("it takes a daytime sky of its own"), 1u);
    EXPECT_TRUE(bd.coloured);
    const Colour top = bd.skydome.cols[1];   // the zenith
    EXPECT_GT(top.b, top.r);
    DrawAt(kDay / 2, VectorPos(0, -2, 0), VectorDir(0, -1, 0.3f));
    EXPECT_EQ(modeldraw::ConsoleCount("it takes a daytime sky of its own"), 1u);
}

TEST_F(Sky, AModelWithoutAThirdSubObjectHasNoStars)
{
    tools::P2BFile f = tools::SkyModelFile();
    f.nodes.pop_back();   // the star layer, the root's last child
    f.nodes[2].sibling = 0xFFFF;
    Load(f);
    ASSERT_NE(bd.sun, nullptr);
    ASSERT_NE(bd.moon, nullptr);
    EXPECT_EQ(bd.stars, nullptr);
    DrawAt(0, VectorPos(0, 0, 0), VectorDir(0, -1, 0.01f));
    EXPECT_EQ(StarsEntry(), nullptr);
}

// The disc's sky model: a root of its own id, sun, moon and stars below it
// with ids 0, 1 and 2 (no other node has them), 300 star quads.
TEST(SkyModel, RootCarriesSunMoonAndThreeHundredStars)
{
    const tools::P2BFile f = tools::SkyModelFile();
    ASSERT_EQ(f.nodes.size(), 4u);
    EXPECT_EQ(f.nodes[0].child, 1);
    for (int id = 0; id < 3; id++) {
        int n = 0;
        for (const NODE& node : f.nodes)
            n += node.extra == id;
        EXPECT_EQ(n, 1) << id;
    }
    // Stars: one translucent material of 300 quads, each a strip of four
    // positions whose first two complete nothing, in batches of 96 vertices,
    // each batch with a head and a tail quadword.
    ASSERT_EQ(f.models.size(), 3u);
    ASSERT_EQ(f.models[2].translucent.size(), 1u);
    const std::vector<u128>& stars = f.models[2].translucent[0].data;
    const size_t verts = 300 * 4, batches = (verts + 95) / 96;
    ASSERT_EQ(stars.size(), verts + 2 * batches);
    int noKick = 0;
    for (size_t b = 0; b < batches; b++)
        for (size_t i = 0; i < std::min<size_t>(96, verts - 96 * b); i++) {
            u32 w[4];
            std::memcpy(w, &stars[b * 98 + 1 + i], 16);
            EXPECT_EQ(w[3], i % 4 < 2 ? 0x43808000u : 0x43800000u) << b << " " << i;
            noKick += (w[3] >> 15) & 1;
        }
    EXPECT_EQ(noKick, 600);
    EXPECT_EQ(f.models[0].translucent.size(), 1u);   // the additive sun
    EXPECT_EQ(f.models[1].opaque.size(), 1u);        // the textured moon
    EXPECT_EQ(f.models[1].opaque[0].texid, 0);
}

// A morning sky looking east: the sun low over the horizon with its flare
// across the picture, the dome graded from the horizon up.
TEST_F(Sky, MorningSkyMatchesTheGoldenPicture)
{
    DrawAt(kDay * 3 / 10, VectorPos(0, -2, 0), VectorDir(1, -0.25f, 0.1f));
    EXPECT_GT(u8(Pixel(128, 10) >> 16), u8(Pixel(128, 10)));   // blue overhead
    golden::ExpectFrameBuffer("sky_morning", modeldraw::kW, modeldraw::kH);
}

// Midnight looking up: the moon overhead among the stars, no flare.
TEST_F(Sky, MidnightSkyMatchesTheGoldenPicture)
{
    bd.SetColours(Colour(40, 40, 60, 128), Colour(20, 25, 45, 128), Colour(12, 16, 35, 128),
                  Colour(6, 10, 28, 128), Colour(2, 4, 16, 128));
    DrawAt(0, VectorPos(0, -2, 0), VectorDir(0.2f, -1, 0.1f));
    golden::ExpectFrameBuffer("sky_midnight", modeldraw::kW, modeldraw::kH);
}

}  // namespace

namespace {

// The world's start-up builds the sky after the city (its fourth step):
// without a disc there is no city and no sky model, and the dome is built
// all the same.
TEST(SkyStartUp, WorldInitBuildsTheSkyEvenWithoutItsModel)
{
    bd.Free();
    bd.skydome.count = 0;
    console::ClearConsoleText();
    world.Init();
    EXPECT_TRUE(modeldraw::ConsoleHas("Sky: there is no sky model")) << console::ConsoleText();
    EXPECT_EQ(bd.skydome.count, 544);
    EXPECT_EQ(world.time_of_day, kDay / 2);
    EXPECT_TRUE(world.oceanenable);
    world.FreeCity();
}

}  // namespace
