// Water: the waves the ocean rebuilds every frame (known figures), the wave
// surface, the projected grid with its fade, marks and copies, a picture of
// the sea, and the water patches' grids and drips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ZevEngine2/PS2/modeldraw_support.h"
#include "ee/console_out.h"
#include "game/Backdrop.h"
#include "game/Player.h"
#include "game/Water.h"
#include "game/ocean_support.h"

namespace {

u32 WBits(const Vector& v)
{
    const float w = v[3];
    u32 b;
    std::memcpy(&b, &w, 4);
    return b;
}

// ------------------------------------------------------------------ waves

struct WaveFigures
{
    float kx, ky, amplitude, frequency, phase, length;
};
// Worked by hand from the base table: directions turned by 45 degrees
// ((dx + dy) / sqrt 2, (dy - dx) / sqrt 2 of the unit base direction),
// K = 2 pi / (length / 2), frequency sqrt(0.7664063 K), amplitude 0.2 x
// amplitude / 2, phase / 2, length = amplitude / K.
constexpr WaveFigures kWaves[4] = {
    {2.513274f, 0.0f, 0.01f, 1.387872f, 0.5f, 0.0039789f},
    {0.596075f, -0.198692f, 0.08f, 0.693936f, 1.5f, 0.127324f},
    {1.232234f, -0.246447f, 0.03f, 0.981374f, 1.0f, 0.0238732f},
    {0.298038f, -0.099346f, 0.14f, 0.490687f, 4.5f, 0.4456338f},
};

// A view from pos along dir with the game's projection, inside an open frame,
// over an ocean not yet drawn.
class OceanGrid : public render_test::FrameTest
{
protected:
    RenderContext rc;

    void SetUp() override
    {
        render_test::FrameTest::SetUp();
        oceantest::FreshOcean();
    }

    void Look(VectorPos pos, VectorDir dir)
    {
        rc.SetAspectRatio(1.0f, 1.0f);
        rc.SetViewport(2048.0f, 2048.0f + 256.0f, 2048.0f, 2048.0f + 128.0f, 1.0f, 16000000.0f);
        rc.SetZRange(0.1f, 2000.0f);
        rc.SetPerspective(1.0f);
        rc.SetCameraMatrix(LookFromMatrix(pos, dir));
    }
};

// The first call finds the waves all zero, so its angles are 0.
TEST_F(OceanGrid, FirstCallsPhaseAnglesAreZero)
{
    Look(VectorPos(0, -5, 0), VectorDir(0, 0.2f, 1));
    MC2TestWater(rc);
    EXPECT_FLOAT_EQ(waves.vT, 0.05f);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(waves.alpha[i], 0.0f) << i;
    // Every wave at its crest over the origin: 0.3125 + 0.01 + 0.08 + 0.03 +
    // 0.14, the normal straight up.
    VectorDir n;
    EXPECT_NEAR(MakeWave(0.0f, 0.0f, &n)[1], 0.5725f, 1e-6f);
    EXPECT_NEAR(n[1], -1.0f, 1e-6f);
}

TEST_F(OceanGrid, WavesAreRebuiltToTheTableAndAnglesFollowTheWaveTime)
{
    Look(VectorPos(0, -5, 0), VectorDir(0, 0.2f, 1));
    MC2TestWater(rc);
    MC2TestWater(rc);
    const float vT = waves.vT;
    for (int i = 0; i < 4; i++) {
        const Wave& w = waves.w[i];
        const WaveFigures& f = kWaves[i];
        // The turn's cosine and sine come from the vector unit's routine,
        // whose sine core, taken past a quarter turn there, is good to
        // about 1e-3: the direction follows to that, its length exactly.
        const float K = f.amplitude / f.length;
        EXPECT_NEAR(w.k[0], f.kx, 2e-3f * K) << i;
        EXPECT_NEAR(w.k[1], f.ky, 2e-3f * K) << i;
        EXPECT_NEAR(std::hypot(w.k[0], w.k[1]), f.amplitude / f.length, 1e-3f) << i;   // K
        EXPECT_FLOAT_EQ(w.amplitude, f.amplitude) << i;
        EXPECT_NEAR(w.frequency, f.frequency, 2e-6f) << i;
        EXPECT_FLOAT_EQ(w.phase, f.phase) << i;
        EXPECT_NEAR(w.length, f.length, 1e-6f) << i;
        // The second call's angles come from the rebuilt figures.
        EXPECT_NEAR(waves.alpha[i], f.frequency * vT + f.phase, 1e-4f) << i;
        // Factors: K = (kx L, A, ky L), X and Y the tangent factors.
        // (Factors from the wave's own k, its length to the table's digits.)
        EXPECT_NEAR(waves.k[i][0], w.k[0] * f.length, 1e-3f * std::fabs(f.kx * f.length));
        EXPECT_FLOAT_EQ(waves.k[i][1], f.amplitude);
        EXPECT_NEAR(waves.k[i][2], w.k[1] * f.length, 1e-6f);
        EXPECT_NEAR(waves.kfixx[i][1], -f.amplitude * w.k[0], 1e-6f);
        EXPECT_NEAR(waves.kfixy[i][0], w.k[0] * f.length * w.k[1], 1e-6f);
        EXPECT_NEAR(waves.kfixy[i][2], w.k[1] * f.length * w.k[1], 1e-6f);
    }
    // The sea over the origin at this wave time: 0.3125 + the amplitudes
    // times the cosines of the angles.
    float h = 0.3125f;
    for (const WaveFigures& f : kWaves)
        h += f.amplitude * std::cos(f.frequency * vT + f.phase);
    VectorDir n;
    EXPECT_NEAR(MakeWave(0.0f, 0.0f, &n)[1], h, 1e-3f);
}

TEST(OceanWave, FlatWavesGiveTheRestHeightAndAnUpwardNormal)
{
    const Waves saved = waves;
    std::memset(static_cast<void*>(&waves), 0, sizeof waves);
    VectorDir n;
    const Vector p = MakeWave(12.5f, -7.0f, &n);
    waves = saved;
    EXPECT_EQ(p[0], 12.5f);
    EXPECT_EQ(p[1], 0.3125f);
    EXPECT_EQ(p[2], -7.0f);
    EXPECT_EQ(p[3], 0.0f);
    EXPECT_FLOAT_EQ(n[0], 0.0f);
    EXPECT_FLOAT_EQ(n[1], -1.0f);
    EXPECT_FLOAT_EQ(n[2], 0.0f);
}

// Every vertex of a view over the sea, checked against the rules it was
// made by: wave points lie on the surface with its normal and the distance
// fade; vertices without one keep (1, 1, 1) and mark the next two of their
// row; every row starts marked, and rows 14 to 0 are copied into the
// second slots of the block before.
TEST_F(OceanGrid, GridVerticesFollowTheSurfaceTheFadeAndTheMarks)
{
    const VectorPos cam(3.0f, -6.0f, -20.0f);
    Look(cam, VectorDir(0.3f, 0.25f, 1.0f));
    MC2TestWater(rc);
    int wavePoints = 0, faded = 0, none = 0;
    for (int y = 15; y >= -1; y--) {
        const int first = y >= 0 ? 32 * (15 - y) : 481;
        int marksDue = 0;
        for (int x = 0; x < 16; x++) {
            const int slot = first + 2 * x;
            const Vector& p = MC2Water_Pos[slot];
            const float* n = &MC2Water_Normal[3 * slot];
            const bool noWave = n[0] == 1.0f && n[1] == 1.0f && n[2] == 1.0f;
            const bool marked = (WBits(p) & 0xFFFF) == 0x8000;
            if (x == 0 || marksDue > 0 || noWave)
                EXPECT_TRUE(marked) << y << " " << x;
            else
                EXPECT_FALSE(marked) << y << " " << x;
            if (noWave) {
                none++;
                EXPECT_EQ(WBits(p), 0x3F808000u) << y << " " << x;   // 1.0 with the mark
                marksDue = 2;
            } else {
                wavePoints++;
                marksDue = std::max(0, marksDue - 1);
                VectorDir wn;
                const Vector w = MakeWave(p[0], p[2], &wn);
                EXPECT_EQ(p[1], w[1]);
                EXPECT_EQ(WBits(p) & 0xFFFF0000u, 0u);
                EXPECT_EQ(n[0], wn[0]);
                EXPECT_EQ(n[1], wn[1]);
                const float d2 = (p[0] - cam[0]) * (p[0] - cam[0]) + (p[2] - cam[2]) * (p[2] - cam[2]);
                const int alpha = std::max(0, int(96.0f - 0.01f * d2));
                EXPECT_EQ(MC2Water_Col[4 * slot + 3], alpha) << y << " " << x;
                EXPECT_EQ(MC2Water_Col[4 * slot], 128);
                if (d2 >= 9600.0f) {
                    faded++;
                    EXPECT_EQ(MC2Water_Col[4 * slot + 3], 0);
                }
            }
            if (y >= 0 && y <= 14) {
                const int copy = slot - 31;
                EXPECT_EQ(std::memcmp(&MC2Water_Pos[copy], &p, 16), 0) << y << " " << x;
                EXPECT_EQ(std::memcmp(&MC2Water_Normal[3 * copy], n, 12), 0);
                EXPECT_EQ(std::memcmp(&MC2Water_ST[2 * copy], &MC2Water_ST[2 * slot], 8), 0);
            }
        }
    }
    // The view reaches far out and its lower rows fall below the picture.
    EXPECT_GT(wavePoints, 100);
    EXPECT_GT(faded, 0);
    EXPECT_GT(none, 0);
    EXPECT_EQ(mc2water.count, 512);
    EXPECT_EQ(mc2water.stride, 4);
    EXPECT_EQ(mc2water.nstreams, 4);
}

// Looking up from below the sea: only lines going up meet the plane in front
// of the camera, and no vertex is left without its mark rule.
TEST_F(OceanGrid, CameraBelowTheSeaSeesOnlyUpwardLines)
{
    const VectorPos cam(0.0f, 4.0f, 0.0f);
    Look(cam, VectorDir(0.0f, -0.3f, 1.0f));
    MC2TestWater(rc);
    for (int slot = 0; slot < 512; slot++) {
        const float* n = &MC2Water_Normal[3 * slot];
        if (n[0] == 1.0f && n[1] == 1.0f && n[2] == 1.0f)
            continue;
        // A wave point lies on the surface, above the camera (y down).
        EXPECT_LT(MC2Water_Pos[slot][1], cam[1]) << slot;
    }
}

// The sea from 4 units up, looking out toward the horizon under an evening
// sky: both layers, the fade into the distance and the dome behind, on the
// first frame of the waves.
class OceanPicture : public modeldraw::SceneTest
{
protected:
    void SetUp() override
    {
        modeldraw::SceneTest::SetUp();
        oceantest::FreshOcean();
    }
};

TEST_F(OceanPicture, SeaUnderTheDomeMatchesTheGoldenPicture)
{
    const VectorPos cam(0.0f, -4.0f, 0.0f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(1.0f);
    rc.SetCameraMatrix(LookFromMatrix(cam, VectorDir(0.2f, 0.12f, 1.0f)));
    rc.SetDirectionalLights(VectorDir(-0.3f, 0.6f, 0.74f), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                            Vector(0.6f, 0.6f, 0.55f, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                            Vector(0.45f, 0.45f, 0.5f, 1));
    // The global sky: its dome's vertices are sent from where they lie.
    Backdrop& sky = bd;
    sky.InitFrom(nullptr, 0);
    sky.SetColours(Colour(255, 220, 160, 128), Colour(200, 170, 150, 128), Colour(150, 150, 170, 128),
                   Colour(90, 110, 160, 128), Colour(40, 60, 130, 128));
    Frame([&] {
        sky.Draw(rc);
        MC2TestWater(rc);
    });
    // Below the horizon: the sea, not the dome's horizon colour nor the clear.
    const u32 sea = Pixel(128, 120);
    EXPECT_NE(sea, modeldraw::kBackground);
    EXPECT_GT(u8(sea >> 16), u8(sea));   // bluer than red
    EXPECT_NE(Pixel(128, 4), modeldraw::kBackground);   // the dome above
    golden::ExpectFrameBuffer("ocean_evening", modeldraw::kW, modeldraw::kH);
}

// ------------------------------------------------------------- patches

// A straight spline along +z from the origin to (0, 0, 80).
struct StraightSpline
{
    alignas(16) Vector pts[4] = {Vector(0, 0, 0, 0), Vector(0, 0, 80.0f / 3, 0), Vector(0, 0, 160.0f / 3, 0),
                                 Vector(0, 0, 80, 0)};
    StraightSpline() { spline().SetCount(4); }
    Spline& spline() { return *reinterpret_cast<Spline*>(pts); }
};

class WaterPatch : public ::testing::Test
{
protected:
    StraightSpline line;
    Extent ext;
    WaterSurface* w = nullptr;

    void SetUp() override
    {
        w = (WaterSurface*)intptr_t(WaterSurface::WaterSurface_mh(nullptr, OM_CREATE, nullptr));
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(w->SendMessage(OM_INIT, nullptr), 0);
        w->InitWater(3, 7, ext, &line.spline(), 10.0f, 0.5f);
    }
    void TearDown() override
    {
        dace = nullptr;
        w->Delete();
    }

    float Cell(int x, int y) const { return w->pReadBuffer[y * 40 + x]; }
    int Set() const
    {
        int n = 0;
        for (int i = 0; i < 3200; i++)
            n += w->pReadBuffer[i] != 0.0f;
        return n;
    }
};

TEST_F(WaterPatch, InitBuildsFortyByEightyWithOneDripAtRow21Column0)
{
    EXPECT_EQ(w->sizeX, 40);
    EXPECT_EQ(w->sizeY, 80);
    EXPECT_EQ(w->flags & 0x10042u, 0x10042u);
    EXPECT_EQ(w->radius, 100.0f);
    EXPECT_FLOAT_EQ(w->fDampingFactor, 0.994f);
    EXPECT_EQ(Set(), 1);
    EXPECT_EQ(Cell(0, 21), 4.0f);
    EXPECT_EQ(w->pWriteBuffer[21 * 40], 4.0f);
    EXPECT_EQ(w->fBaseHeight, 0.0f);
}

// Width 10: s = |x| / 20.  x = 5 lies right of the spline (r = 0.5):
// column trunc(0.75 x 40 - 0.5) = 29, row trunc(0.5 x 80 - 0.5) = 39.
// x = -5 lies left (s = -0.25, r = -0.5): column trunc(0.25 x 40 + 0.5) =
// 10, row trunc(40 + 0.5) = 40.
TEST_F(WaterPatch, DripsLandInTheCellAcrossAndAlongTheSpline)
{
    w->MakeDrip(VectorPos(5.0f, 0.0f, 40.0f), 2.0f);
    EXPECT_EQ(Cell(29, 39), 2.0f);
    EXPECT_EQ(w->pWriteBuffer[39 * 40 + 29], 2.0f);
    w->MakeDrip(VectorPos(-5.0f, 0.0f, 40.0f), 3.0f);
    EXPECT_EQ(Cell(10, 40), 3.0f);
    EXPECT_EQ(Set(), 3);
}

TEST_F(WaterPatch, DripsAtTheEndsOrBeyondHalfTheWidthAreIgnored)
{
    w->MakeDrip(VectorPos(1.0f, 0.0f, 0.0f), 2.0f);     // t = 0
    w->MakeDrip(VectorPos(1.0f, 0.0f, 80.0f), 2.0f);    // t = 1
    w->MakeDrip(VectorPos(1.0f, 0.0f, -5.0f), 2.0f);    // before the start
    w->MakeDrip(VectorPos(10.0f, 0.0f, 40.0f), 2.0f);   // s = 0.5
    EXPECT_EQ(Set(), 1);
    // Just inside the end, on the left: the row rounds to 80, past the grid.
    w->MakeDrip(VectorPos(-1.0f, 0.0f, 79.99f), 2.0f);
    EXPECT_EQ(Set(), 1);
    w->MakeDripDirect(40, 0, 1.0f);
    w->MakeDripDirect(0, -1, 1.0f);
    EXPECT_EQ(Set(), 1);
    w->MakeDripDirect(39, 79, 1.0f);
    EXPECT_EQ(Cell(39, 79), 1.0f);
}

// The player walking through a patch leaves drips of height 10 where he
// stands, on about one frame in twenty, once he has moved more than
// 0.03125 (squared) from the last drip.  Width 10: x = 5.2 is column
// trunc(0.76 x 40 - 0.5) = 29, x = 5.3 column 30 and x = 5.45 column 30;
// z = 40 is row 39.
TEST_F(WaterPatch, DripsFollowThePlayer)
{
    Dace player;
    player.mat = Matrix(true);
    player.SetPos(VectorPos(5.2f, 0.0f, 40.0f));
    dace = &player;
    srand(7);
    int frames = 0;
    while (Set() == 1 && frames < 400) {
        EXPECT_EQ(w->SendMessage(OM_FRAME, nullptr), 0);
        frames++;
    }
    EXPECT_EQ(Cell(29, 39), 10.0f);
    EXPECT_EQ(w->pWriteBuffer[39 * 40 + 29], 10.0f);
    EXPECT_EQ(Set(), 2);
    // One in twenty: 400 frames make about 20 tries.
    auto tries = [&](VectorPos at) {
        player.SetPos(at);
        for (int i = 0; i < 400; i++)
            w->SendMessage(OM_FRAME, nullptr);
    };
    // 0.1 along x is 0.01 squared: too near the last drip.
    tries(VectorPos(5.3f, 0.0f, 40.0f));
    EXPECT_EQ(Cell(30, 39), 0.0f);
    EXPECT_EQ(Set(), 2);
    // 0.25 along x is 0.0625 squared: a new drip.
    tries(VectorPos(5.45f, 0.0f, 40.0f));
    EXPECT_EQ(Cell(30, 39), 10.0f);
    EXPECT_EQ(Set(), 3);
    // Without a player nobody makes drips.
    dace = nullptr;
    tries(VectorPos(-5.0f, 0.0f, 40.0f));
    EXPECT_EQ(Set(), 3);
    EXPECT_EQ(w->SendMessage(OM_SPECIAL, nullptr), -1);
}

}  // namespace
