// The frame's transparency list: depth buckets from the float bits of
// z / farz, order within a bucket, the bounds of the table and the buckets,
// and what the drawing pass draws and leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZevEngine2/PS2/modeldraw_support.h"

using namespace modeldraw;

namespace {

TEST(Transparencies, BucketsAreTwoPerOctaveOfDepthOverTheFarPlane)
{
    EXPECT_EQ(Transparencies::Bucket(1.0f, 1.0f), 254);
    EXPECT_EQ(Transparencies::Bucket(0.5f, 1.0f), 252);
    EXPECT_EQ(Transparencies::Bucket(0.75f, 1.0f), 253);
    EXPECT_EQ(Transparencies::Bucket(50.0f, 100.0f), 252);
    EXPECT_EQ(Transparencies::Bucket(0.25f, 1.0f), 250);
    EXPECT_EQ(Transparencies::Bucket(1.9f, 1.0f), 255);
    // At the eye and behind it: the nearest bucket.
    EXPECT_EQ(Transparencies::Bucket(0.0f, 1.0f), 0);
    EXPECT_EQ(Transparencies::Bucket(-3.0f, 1.0f), 0);
    // At or beyond twice the far plane the bucket would pass 255: held there.
    EXPECT_EQ(Transparencies::Bucket(2.0f, 1.0f), 255);
    EXPECT_EQ(Transparencies::Bucket(1e30f, 1.0f), 255);
}

// A translucent cube of one colour whose material switches the depth test
// to "always", so that the picture shows which cube was drawn last.
tools::P2BModel GlassCube(Colour c)
{
    tools::P2BModel m = tools::CubeModel(1.0f, TEXID_NONE, false, c);
    tools::P2BMaterial mt = m.opaque[0];
    const u32 ztestAlways = 0x30000;
    mt.callList.insert(mt.callList.begin(), {tools::Quad(1 | 0x8000u, 0x10000000u, GS_AD, tokGiftag),
                                             tools::Quad(ztestAlways, 0, GS_TEST_1, 0)});
    m.opaque.clear();
    m.translucent.push_back(mt);
    return m;
}

class TransparencyPass : public SceneTest
{
protected:
    const Colour red{200, 20, 20, 128}, blue{20, 20, 200, 128};
    tools::P2BFile file;
    void SetUp() override
    {
        SceneTest::SetUp();
        file.models = {GlassCube(red), GlassCube(blue)};
    }
};

TEST_F(TransparencyPass, EntriesOfOneBucketAreDrawnLastQueuedFirst)
{
    LoadedFile f(file);
    MODEL* a = f.mf.models[0];
    MODEL* b = f.mf.models[1];
    const Matrix at = Placed(VectorPos(0, 0, 5));
    InitTransparencies(rc);
    AddTransparency(rc, a, &f.mf, nullptr, at);
    AddTransparency(rc, b, &f.mf, nullptr, at);
    const int bucket = Transparencies::Bucket(5.0f, rc.farz);
    ASSERT_EQ(theTransparencies.buckets[bucket], &theTransparencies.table[1]);
    ASSERT_EQ(theTransparencies.table[1].next, &theTransparencies.table[0]);
    Frame([&] { DrawTransparencies(rc); });
    EXPECT_EQ(Pixel(128, 64), red.Word());   // queued first, drawn last

    Frame([&] {
        InitTransparencies(rc);
        AddTransparency(rc, b, &f.mf, nullptr, at);
        AddTransparency(rc, a, &f.mf, nullptr, at);
        DrawTransparencies(rc);
    });
    EXPECT_EQ(Pixel(128, 64), blue.Word());
}

TEST_F(TransparencyPass, FartherBucketsAreDrawnFirst)
{
    LoadedFile f(file);
    // Queued near first; the far cube is drawn first all the same, so the
    // near one is on top where they overlap although the depth test passes
    // everything.
    Frame([&] {
        InitTransparencies(rc);
        Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(-0.5f, 0, 4)), nullptr);
        Draw(rc, &f.mf, f.mf.models[1], Placed(VectorPos(1.5f, 0, 12)), nullptr);
        EXPECT_EQ(theTransparencies.num, 2);
        DrawTransparencies(rc);
    });
    EXPECT_EQ(Pixel(138, 64), red.Word());    // both cubes cover it
    EXPECT_EQ(Pixel(150, 64), blue.Word());   // the far one only
}

TEST_F(TransparencyPass, EachEntryIsDrawnWithItsOwnFadeAndTheFrameEndsUnfaded)
{
    tools::P2BModel plain = tools::CubeModel(1.0f, TEXID_NONE, false, Colour(100, 100, 100, 128));
    LoadedFile f(FileOf(plain));
    Frame([&] {
        InitTransparencies(rc);
        rc.SetGlobalTransparency(0.25f);
        Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(-2, 0, 6)), nullptr);
        rc.SetGlobalTransparency(0.75f);
        Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(2, 0, 6)), nullptr);
        rc.SetGlobalTransparency(1.0f);
        rc.fog_mode = 1;
        DrawTransparencies(rc);
        EXPECT_EQ(rc.GetGlobalTransparency(), 1.0f);
        EXPECT_EQ(rc.fog_mode, 0);
        EXPECT_EQ(rc.mode, 32);
        EXPECT_EQ(therenderer.nmats, 0);
        // Drawn after the pass: not faded.
        Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(0, 2.5f, 6)), nullptr);
    });
    EXPECT_EQ(Pixel(128 - 43, 64) >> 24, 0x20u);
    EXPECT_EQ(Pixel(128 + 43, 64) >> 24, 0x60u);
    EXPECT_EQ(Pixel(128, 64 + 53) >> 24, 0x80u);
}

// What is blended after the pass saturates rather than wraps: a red wash
// added over a near-white patch (as a hurt flash is) leaves its red at full,
// where wrapping would take it round to a dark red and the patch to cyan.
TEST_F(TransparencyPass, ColoursAddedAfterThePassSaturate)
{
    Frame([&] {
        Render2D r;
        r.Open(therenderer);
        r.SetTextureOff();
        r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(64).v, PixelY(64).v, Colour(240, 240, 240, 128), 1);
        r.Close(therenderer);
        InitTransparencies(rc);
        DrawTransparencies(rc);
        r.Open(therenderer);
        r.SetTextureOff();
        r.SetAlpha(ALPHA_ADD);
        r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(64).v, PixelY(64).v, Colour(48, 0, 0, 128), 2);
        r.Close(therenderer);
    });
    const u32 p = Pixel(32, 32);
    EXPECT_EQ(p & 0xFF, 0xFFu);
    EXPECT_EQ((p >> 8) & 0xFF, 240u);
    EXPECT_EQ((p >> 16) & 0xFF, 240u);
}

// ---------------------------------------------------------------------------
// The list itself

class TransparencyList : public SceneTest
{
protected:
    alignas(16) u8 model[sizeof(MODEL)] = {};
    const MODEL* m = reinterpret_cast<const MODEL*>(model);
    MDLFILE mf{};
};

TEST_F(TransparencyList, InitStartsTheFrameWithTheViewsFogMode)
{
    rc.fog_mode = 2;
    rc.mode = 0;
    theTransparencies.num = 5;
    theTransparencies.buckets[7] = &theTransparencies.table[0];
    InitTransparencies(rc);
    EXPECT_EQ(theTransparencies.fog_mode, 2);
    EXPECT_EQ(rc.mode, 16);
    EXPECT_EQ(theTransparencies.num, 0);
    for (Transparency* b : theTransparencies.buckets)
        EXPECT_EQ(b, nullptr);
    SetFogTransparencies(0);
    AddTransparency(rc, m, &mf, nullptr, Placed(VectorPos(0, 0, 10)));
    EXPECT_EQ(theTransparencies.table[0].fog_mode, 0);
}

TEST_F(TransparencyList, AnEntryKeepsWhatItsDrawingNeeds)
{
    InitTransparencies(rc);
    const u8 params[16] = {3};
    alignas(16) static u_long128 palette[8];
    therenderer.nmats = 2;
    therenderer.matpalette = palette;
    rc.SetGlobalTransparency(0.4f);
    const Matrix at = Placed(VectorPos(1, 2, 100), VectorXYZ(0.1f, 0.2f, 0.3f));
    AddTransparency(rc, m, &mf, params, at);
    rc.SetGlobalTransparency(1.0f);
    therenderer.nmats = 0;
    const Transparency& t = theTransparencies.table[0];
    EXPECT_EQ(t.model, m);
    EXPECT_EQ(t.mf, &mf);
    EXPECT_EQ(t.params, params);
    EXPECT_EQ(t.ambient_alpha, 0.4f);
    EXPECT_EQ(t.nmats, 2);
    EXPECT_EQ(t.matpalette, palette);
    EXPECT_EQ(std::memcmp(&t.mat, &at, sizeof at), 0);
    // z = farz (100): bucket 254.
    EXPECT_EQ(theTransparencies.buckets[254], &t);
}

TEST_F(TransparencyList, MoreThan1024InAFrameAreDroppedAndReportedOnce)
{
    for (int frame = 0; frame < 2; ++frame) {
        InitTransparencies(rc);
        for (int i = 0; i < TRANSPARENCY_MAX + 6; ++i)
            AddTransparency(rc, m, &mf, nullptr, Placed(VectorPos(0, 0, 10.0f + float(i % 50))));
        EXPECT_EQ(theTransparencies.num, TRANSPARENCY_MAX);
        EXPECT_EQ(theTransparencies.dropped, 6);
        int listed = 0;
        for (Transparency* b : theTransparencies.buckets)
            for (Transparency* t = b; t != nullptr; t = t->next)
                ++listed;
        EXPECT_EQ(listed, TRANSPARENCY_MAX);
    }
    // Reported once in the program's life, not per entry or frame.
    EXPECT_LE(ConsoleCount("Transparencies: more than 1024"), 1u);
}

TEST_F(TransparencyList, DepthAtTwiceTheFarPlaneGoesToTheFarthestBucket)
{
    InitTransparencies(rc);
    AddTransparency(rc, m, &mf, nullptr, Placed(VectorPos(0, 0, 2 * rc.farz)));
    AddTransparency(rc, m, &mf, nullptr, Placed(VectorPos(0, 0, 1e9f)));
    AddTransparency(rc, m, &mf, nullptr, Placed(VectorPos(0, 0, -5)));
    EXPECT_EQ(theTransparencies.clamped, 2);
    EXPECT_EQ(theTransparencies.buckets[255], &theTransparencies.table[1]);
    EXPECT_EQ(theTransparencies.table[1].next, &theTransparencies.table[0]);
    // Behind the eye: the nearest bucket, drawn last.
    EXPECT_EQ(theTransparencies.buckets[0], &theTransparencies.table[2]);
}

}  // namespace
