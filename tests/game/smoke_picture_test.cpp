// The smoke, fire, spark and geyser looks drawn by the world's particle
// pass on the stand-in's GS, with the images of the resident particle files,
// compared with a golden picture.
#include "game/particle_support.h"

#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/smoke.h"

using namespace parttest;

namespace {

// A 256 x 128 draw buffer at block 0, its Z buffer after it, textures from
// block 1024.  The camera at the origin looks along +z: x / z = 1 lies 128
// pixels right of the centre (128, 64), y / z = 1 128 pixels below it.
constexpr int kW = 256, kH = 128;

class SmokePicture : public ParticleWorld
{
protected:
    Surface draw, zbuf;
    RenderContext view;
    FreshResidentFiles* files = nullptr;

    void SetUp() override
    {
        ParticleWorld::SetUp();
        files = new FreshResidentFiles;
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        view.SetViewport(2048.0f, 2048.0f + kW, 2048.0f, 2048.0f + kH, 1.0f, 16000000.0f);
        view.SetPerspective(1.0f);
        view.SetCameraMatrix(Matrix(true));
    }
    void TearDown() override
    {
        ParticleWorld::TearDown();
        TexManOff();
        delete files;
    }

    // One frame: a background (dark unless given) at depth 1, then every
    // particle manager.
    void DrawParticles(Colour background = Colour(24, 28, 40, 128))
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, background);
        r.Close(therenderer);
        world.partList.Draw(view);
        gsframe::SendFrame();
    }

    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }
};

// The mean red, green and blue of the box (x0, y0)-(x1, y1).
struct Mean
{
    int r = 0, g = 0, b = 0;
};
Mean MeanIn(int x0, int y0, int x1, int y1)
{
    long r = 0, g = 0, b = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const u32 c = golden::FramePixel(x, y, kW);
            r += c & 0xFF;
            g += c >> 8 & 0xFF;
            b += c >> 16 & 0xFF;
        }
    const long n = long(x1 - x0) * (y1 - y0);
    return Mean{int(r / n), int(g / n), int(b / n)};
}

}  // namespace

// Left, a flamer whose fire turns to smoke; middle, a small geyser jet;
// right, skid smoke; and a sparkler's sparks between them; after 36 ticks.
TEST_F(SmokePicture, FireSmokeSparksAndGeyserMatchTheGoldenPicture)
{
    Flamer_Create(nullptr, VectorPos(-0.75f, 0.4f, 1.5f), 0.0f, 2.5f, true);
    Matrix jet(true);
    jet.SetTrans(VectorPos(0.0f, 0.9f, 2.0f));
    Geyser_Create(nullptr, &jet, 0.0f, 1.0f);
    Sparkler_Create(nullptr, VectorPos(0.3f, 0.1f, 1.5f), 1.0f, 0.0f, 0.0f);
    for (int t = 0; t < 36; t++) {
        world.Update();
        if (t % 6 == 0)
            SkidSmoke_Spawn(VectorPos(0.6f, 0.35f, 1.5f), VectorDir(0.004f, 0.0f, 0.0f), 0.8f);
    }
    DrawParticles();

    // The fire (above the flamer at pixel (64, 98)) adds a warm glow: red
    // and green well over the background's, blue barely; the background
    // stays where nothing is.
    const Mean fire = MeanIn(50, 20, 80, 95);
    EXPECT_GT(fire.r, 24 + 40);
    EXPECT_GT(fire.r - 24, 2 * (fire.b - 40));
    EXPECT_EQ(Pixel(250, 2) & 0xFFFFFF, Colour(24, 28, 40, 0).Word());
    // The skid smoke (pixel (179, 94)) lightens grey: all three alike.
    const Mean skid = MeanIn(172, 88, 186, 100);
    EXPECT_GT(skid.r, 24 + 5);
    EXPECT_NEAR(skid.r - 24, skid.b - 40, 4);

    golden::ExpectFrameBuffer("smoke_fire_particles", kW, kH);
}

// A wheel skidding along: a puff every other tick for a second from a
// point that moves with the car, over a road's mid grey.  The cloud lightens the road to a
// soft grey, its three channels alike: brighter than the road where it is
// thickest, yet nowhere near white and nowhere darker than the road.
TEST_F(SmokePicture, TyreSmokePiledUpIsASoftGreyOverTheRoad)
{
    constexpr int kRoad = 100;
    for (int t = 0; t < 50; t++) {
        if (t % 2 == 0)
            SkidSmoke_Spawn(VectorPos(0.2f + 0.012f * float(t), 0.35f, 1.5f), VectorDir(0.004f, 0.0f, 0.0f), 1.0f);
        world.Update();
    }
    DrawParticles(Colour(kRoad, kRoad, kRoad, 128));
    int brightest = 0, darkest = 255;
    for (int y = 60; y < 128; y++)
        for (int x = 120; x < 250; x++) {
            const u32 c = Pixel(x, y);
            for (int k = 0; k < 3; k++) {
                brightest = std::max(brightest, int(c >> (8 * k) & 0xFF));
                darkest = std::min(darkest, int(c >> (8 * k) & 0xFF));
            }
            EXPECT_NEAR(int(c & 0xFF), int(c >> 16 & 0xFF), 2) << x << ", " << y;
        }
    EXPECT_GT(brightest, kRoad + 40);
    EXPECT_LT(brightest, 215);
    EXPECT_GE(darkest, kRoad);
}
