// The rain: its drop packets, the drops' motion and wrap, the splashes and
// their particle class, and a rainy frame drawn by the particle overlay on
// the stand-in's GS against a golden picture.
#include "game/particle_support.h"

#include <cmath>
#include <cstring>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/Rain.h"

using namespace parttest;

namespace {

constexpr int kW = 256, kH = 128;

// The camera 1.5 above the empty world's ground (y = 0; y points down),
// looking along +z.
Matrix RainCamera()
{
    return LookatMatrix(VectorPos(0.0f, -1.5f, 0.0f), VectorPos(0.0f, -1.5f, 10.0f));
}

class RainTest : public ParticleWorld
{
protected:
    RenderContext view;
    Rain saved;
    WindGenerator savedWind;

    void SetUp() override
    {
        ParticleWorld::SetUp();
        std::memcpy(static_cast<void*>(&saved), static_cast<const void*>(&gRain), sizeof(Rain));
        savedWind = windgenerator;
        // The same drops and wind whatever ran before.
        gRain = Rain();
        windgenerator = WindGenerator{};
        gsframe::SetFrameView(view, kW, kH);
        view.SetViewport(2048.0f, 2048.0f + kW, 2048.0f, 2048.0f + kH, 1.0f, 16000000.0f);
        view.SetCameraMatrix(RainCamera());
        gRain.SetSplashColour(Colour(100, 110, 130, 128));
        gsframe::ResetForFrames(1024, 2048);
    }
    void TearDown() override
    {
        TexManOff();
        std::memcpy(static_cast<void*>(&gRain), static_cast<const void*>(&saved), sizeof(Rain));
        windgenerator = savedWind;
        ParticleWorld::TearDown();
    }

    // One frame of rain into a chain that is not sent.
    void DrawUnsent()
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], false);
        gRain.Draw(view);
    }
};

// The 64-bit words of a packet quadword.
u32 Word(const u64* buffer, int qw, int w)
{
    return u32(buffer[2 * qw + w / 2] >> (32 * (w & 1)));
}

float Lane(const u64* buffer, int qw, int w)
{
    const u32 v = Word(buffer, qw, w);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

}  // namespace

// At full strength the packet holds all 128 drops in blocks of 37, 37, 37
// and 17, each an unpack code, two quadwords a drop (its two ends) and the
// batch start: 264 quadwords, inside the 266 of a buffer.  Without rain no
// drop is drawn and no splash made.
TEST_F(RainTest, FullRainPacksAll128DropsInBlocksOf37AndNoRainDrawsNothing)
{
    gRain.SetDensity(1.0f);
    DrawUnsent();
    EXPECT_EQ(gRain.dropsDrawn, 128);
    ASSERT_EQ(gRain.packetQwc, 264u);
    const u64* b = gRain.aData[gRain.nFlip];
    int qw = 0;
    for (int count : {37, 37, 37, 17}) {
        EXPECT_EQ(Word(b, qw, 2), 0x01000404u);
        EXPECT_EQ(Word(b, qw, 3), 0x6C008000u | u32(2 * count) << 16);
        qw += 1 + 2 * count;
        EXPECT_EQ(Word(b, qw, 0), 0x04000000u | u32(count));
        EXPECT_EQ(Word(b, qw, 1), 0x17000000u);
        qw++;
    }
    // The cubes in view each draw the one packet: some of the 343, not all
    // (those behind the camera are culled).
    EXPECT_GT(gRain.cubesDrawn, 20);
    EXPECT_LT(gRain.cubesDrawn, 343);

    world.Clear();
    gRain.SetDensity(0.0f);
    for (int i = 0; i < 20; i++)
        DrawUnsent();
    EXPECT_EQ(gRain.dropsDrawn, 0);
    EXPECT_EQ(gRain.packetQwc, 0u);
    EXPECT_EQ(gRain.cubesDrawn, 0);
    EXPECT_EQ(Splash::manager, nullptr);

    // Half strength: 64 drops, blocks of 37 and 27.
    gRain.SetDensity(0.5f);
    DrawUnsent();
    EXPECT_EQ(gRain.dropsDrawn, 64);
    EXPECT_EQ(gRain.packetQwc, 4u + 128u);
}

// Frame by frame the packets go to the two buffers in turn, each holding the
// drops as they were when it was filled.
TEST_F(RainTest, ConsecutiveFramesFillTheTwoBuffersAlternately)
{
    gRain.SetDensity(1.0f);
    VectorPos before[2];
    int flips[2];
    for (int f = 0; f < 2; f++) {
        before[f] = gRain.aPos[5];
        DrawUnsent();
        flips[f] = gRain.nFlip;
    }
    EXPECT_NE(flips[0], flips[1]);
    for (int f = 0; f < 2; f++) {
        // Drop 5: its start is quadword 1 + 2 x 5 of the first block.
        const u64* b = gRain.aData[flips[f]];
        EXPECT_EQ(Lane(b, 11, 0), before[f][0]) << f;
        EXPECT_EQ(Lane(b, 11, 1), before[f][1]) << f;
        EXPECT_EQ(Lane(b, 11, 2), before[f][2]) << f;
    }
}

// A drop moved past the cube's side comes back in on the other: 1.75 wraps
// to 0.05.  The far end trails by one and a half steps and the camera's move.
TEST_F(RainTest, ADropMovedToX175WrapsTo005AndItsStreakTrails)
{
    gRain.aPos[0] = VectorPos(1.7f, 0.5f, 0.5f);
    gRain.aPos[1] = VectorPos(0.02f, 0.5f, 1.69f);
    gRain.MoveDrops(VectorDir(0.05f, 0.1f, 0.02f), VectorPos(0.0f, 0.0f, 0.0f), VectorPos(1.0f, 0.0f, 0.0f));
    EXPECT_NEAR(gRain.aPos[0][0], 0.05f, 1e-5f);
    EXPECT_NEAR(gRain.aPos[0][1], 0.6f, 1e-6f);
    EXPECT_NEAR(gRain.aPos[1][2], 0.01f, 1e-5f);
    // The end: the new start + (0.075, 0.15, 0.03) + (-1, 0, 0).
    EXPECT_NEAR(gRain.aPos2[0][0], 0.05f + 0.075f - 1.0f, 1e-5f);
    EXPECT_NEAR(gRain.aPos2[0][1], 0.6f + 0.15f, 1e-5f);
    // Every drop stays inside the cube.
    for (int f = 0; f < 200; f++)
        gRain.MoveDrops(VectorDir(-0.37f, 0.1f, 0.91f), VectorPos(0.0f, 0.0f, 0.0f), VectorPos(0.0f, 0.0f, 0.0f));
    for (const VectorPos& p : gRain.aPos)
        for (int k = 0; k < 3; k++) {
            EXPECT_GE(p[k], 0.0f);
            EXPECT_LE(p[k], Rain::CUBE);
        }
}

// A splash needs a size above 0.1.  It is a flat particle of the splash
// file's node, in the rain's splash colour, whose alpha rises 32/15 of its
// factor a tick to 23 at 11.25 ticks and falls again, growing 1/64 a tick
// and rising 1/5760 a tick faster.
TEST_F(RainTest, ASplashNeedsASizeAbove01AndFadesInAndOutOver225Ticks)
{
    Rain::Splash_Spawn(VectorPos(1.0f, 0.0f, 4.0f), 0.1f, 1.0f);
    EXPECT_EQ(Splash::manager, nullptr);
    EXPECT_TRUE(world.partList.IsEmpty());

    Rain::Splash_Spawn(VectorPos(1.0f, 0.0f, 4.0f), 0.2f, 1.0f);
    ASSERT_NE(Splash::manager, nullptr);
    ASSERT_EQ(Count(Splash::manager), 1);
    EXPECT_EQ(Splash::manager->mdlfile, g_GlobalMFI.GetMF(PARTFILE_SPLASH_SLOT, false));
    EXPECT_EQ(Splash::manager->partRef.index, 0);
    EXPECT_EQ(Splash::manager->partType, PART_TYPE_FLAT);
    EXPECT_EQ(Splash::manager->alpha, ALPHA_ADD);
    EXPECT_EQ(LinksTo(world.partList, Splash::manager), 1);
    Particle* p = Splash::manager->list.Head();
    EXPECT_EQ(p->scale, 0.2f);
    EXPECT_EQ(p->colour.r, 100);
    EXPECT_EQ(p->colour.b, 130);
    EXPECT_GE(p->w, 0.015625f);
    EXPECT_LT(p->w, 0.046875f);
    EXPECT_EQ(p->pos[0], 1.0f);
    EXPECT_EQ(p->pos[2], 4.0f);

    const float w0 = p->w;
    // The drag shortens the velocity by 1/5760, then it rises by as much.
    const VectorDir v0 = p->vel;
    const float len = std::sqrt(v0[0] * v0[0] + v0[1] * v0[1] + v0[2] * v0[2]);
    const float vy1 = v0[1] * (len - 1.0f / 5760.0f) / len - 1.0f / 5760.0f;
    // The update at age t sets the alpha from t.
    Ticks(1);
    EXPECT_EQ(p->colour.a, 0);
    EXPECT_FLOAT_EQ(p->w, w0 + 0.015625f);
    EXPECT_NEAR(p->vel[1], vy1, 1e-7f);
    Ticks(5);   // the update at age 5: 5 x 32 / 15 = 10.67
    EXPECT_EQ(p->colour.a, 10);
    Ticks(6);   // age 11: 23.47
    EXPECT_EQ(p->colour.a, 23);
    Ticks(6);   // age 17: (22.5 - 17) x 32 / 15 = 11.73
    EXPECT_EQ(p->colour.a, 11);
    Ticks(6);   // past its 22.5 ticks
    EXPECT_EQ(Count(Splash::manager), 0);

    // A factor of one half halves the peak.
    Rain::Splash_Spawn(VectorPos(1.0f, 0.0f, 4.0f), 0.5f, 0.5f);
    Ticks(12);
    EXPECT_EQ(Splash::manager->list.Head()->colour.a, 11);
}

// At full strength each column in view makes a splash in 10 of 49 frames,
// on the ground under a point the camera sees at its own height.
TEST_F(RainTest, FullRainSplashesOnTheGroundInAboutTenOf49ColumnFrames)
{
    gRain.SetDensity(1.0f);
    int splashes = 0;
    for (int f = 0; f < 100; f++) {
        const int before = Count(Splash::manager);
        DrawUnsent();
        splashes += Count(Splash::manager) - before;
    }
    ASSERT_NE(Splash::manager, nullptr);
    for (Particle* p = Splash::manager->list.Head(); !p->IsEOList(); p = p->Next()) {
        EXPECT_EQ(p->pos[1], 0.0f);
        // Chosen where the camera sees it at its own height.
        EXPECT_EQ(view.TestCull(VectorPos(p->pos[0], -1.5f, p->pos[2])), 0);
    }
    // The columns whose splash point can be on screen: those ahead of the
    // camera.  Of 49 columns about 20 lie in view here; each gives 10/49 of
    // a splash a frame, less the points off screen.
    EXPECT_GT(splashes, 100);
    EXPECT_LT(splashes, 100 * 49 * 10 / 49);
}

// Rain at full strength after a dozen frames, over a dark ground: grey
// streaks slanting with the wind, and the splashes on the ground.
TEST_F(RainTest, FullRainMatchesTheGoldenPicture)
{
    FreshResidentFiles files;
    Surface draw, zbuf;
    gsframe::PlaceBuffers(draw, zbuf, kW, kH);
    gRain.SetDensity(1.0f);
    for (int f = 0; f < 12; f++) {
        world.Update();
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 24, 32, 128));
        view.Begin();
        gRain.Draw(view);
        world.partList.Draw(view);
        gsframe::SendFrame();
    }
    // Streaks lighten the sky above the horizon (row 64) in places, the
    // splashes the ground below it.
    int lit = 0;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            lit += (golden::FramePixel(x, y, kW) & 0xFF) > 20;
    EXPECT_GT(lit, 200);
    EXPECT_LT(lit, kW * kH / 2);
    golden::ExpectFrameBuffer("rain_full", kW, kH);
}
