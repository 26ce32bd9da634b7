// Lamp glows: the sprite and the near flare by view depth, the reflection's
// place under the lamp and its distance limit, the list emptied without
// freeing, and a picture of a near lamp's glow with its flare.
#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/modeldraw_support.h"
#include "game/Backdrop.h"
#include "game/QuadTree.h"
#include "game/fbfx.h"

namespace {

const Colour kLamp(120, 100, 60, 128);

class Glows : public modeldraw::SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        savedDraw = Platform::GetDrawBuffer();
        Platform::GetDrawBuffer() = scene.draw;
        gGlows.Clear();
    }
    void TearDown() override
    {
        gGlows.Clear();
        Platform::GetDrawBuffer() = savedDraw;
        SceneTest::TearDown();
    }

    Surface savedDraw;   // the platform's draw buffer as the test found it

    // The RGBAQ words written while `body` ran (A+D quadwords of register 1).
    std::vector<u32> Colours(const std::function<void()>& body)
    {
        std::vector<u32> words;
        Frame([&] {
            const u32* from = therenderer.p;
            body();
            const u32* to = therenderer.p;
            const u64* q = reinterpret_cast<const u64*>((reinterpret_cast<uintptr_t>(from) + 15) & ~uintptr_t(15));
            for (; reinterpret_cast<const u32*>(q + 2) <= to; q += 2)
                if (q[1] == 0x01)
                    words.push_back(u32(q[0]));
        });
        return words;
    }
    static bool Has(const std::vector<u32>& words, Colour c)
    {
        for (u32 w : words)
            if (w == c.Word())
                return true;
        return false;
    }
};

// A glow placed by hand: at pos over ground `height` below it with normal n.
Glow At(VectorPos pos, VectorDir n, float height, Colour col = kLamp)
{
    Glow g;
    g.v0 = Vector(pos[0], pos[1], pos[2], 0.0f);
    g.v0.setwcomponent(int(col.Word()));
    g.v1 = Vector(n[0], n[1], n[2], height);
    return g;
}

// The flare's alpha runs from 0 at view depth 15.625 to 128 at the eye:
// at 15.625 the sprite alone, at 7.8125 the flare parts at 64 (the third
// part, opacity 1) and 32 (the first two, opacity 0.5).
TEST_F(Glows, ANearLampFlaresWithAlphaByItsDistance)
{
    Glow far = At(VectorPos(0, 0, 15.625f), VectorDir(0, -1, 0), 2);
    gGlows.AddTail(&far);
    std::vector<u32> words = Colours([&] { gGlows.DrawReal(rc); });
    EXPECT_TRUE(Has(words, kLamp));
    EXPECT_FALSE(texman.IsResident(LensFlare.data));
    EXPECT_GT(scene.Covered(), 0);

    gGlows.Clear();
    Glow nearer = At(VectorPos(0, 0, 7.8125f), VectorDir(0, -1, 0), 2);
    gGlows.AddTail(&nearer);
    words = Colours([&] { gGlows.DrawReal(rc); });
    EXPECT_TRUE(Has(words, kLamp));
    EXPECT_TRUE(Has(words, Colour(kLamp.r, kLamp.g, kLamp.b, 64)));
    EXPECT_TRUE(Has(words, Colour(kLamp.r, kLamp.g, kLamp.b, 32)));

    // Behind the eye nothing at all.
    gGlows.Clear();
    Glow behind = At(VectorPos(0, 0, -5), VectorDir(0, -1, 0), 2);
    gGlows.AddTail(&behind);
    Colours([&] { gGlows.DrawReal(rc); });
    EXPECT_EQ(scene.Covered(), 0);
}

// Placed over the city's ground (none loaded: level ground at 0, normal
// up), a lamp 3 above it is 3 high and its reflection lies straight below
// it at twice that, 3 under the ground.
TEST_F(Glows, TheReflectionLiesStraightBelowAtTwiceTheHeight)
{
    Glow g;
    g.Set(VectorPos(1, -3, 10), kLamp);
    EXPECT_EQ(g.v1[0], 0.0f);
    EXPECT_EQ(g.v1[1], -1.0f);
    EXPECT_EQ(g.v1[2], 0.0f);
    EXPECT_FLOAT_EQ(g.v1[3], 3.0f);
    EXPECT_EQ(g.GetColour(), kLamp);
    EXPECT_EQ(g.Position(), VectorPos(1, -3, 10));

    // The reflection of a lamp at the eye's height 4 above the ground is
    // drawn 8 below it: wholly under the screen's centre row (its sprite
    // reaches 10 x 0.3125 x 64 / 20 = 10 pixels either side of 25.6).
    Glow level = At(VectorPos(0, 0, 20), VectorDir(0, -1, 0), 4);
    gGlows.AddTail(&level);
    Colours([&] { gGlows.DrawRefl(rc); });
    int above = 0, below = 0;
    for (int y = 0; y < modeldraw::kH; y++)
        for (int x = 0; x < modeldraw::kW; x++)
            (y < modeldraw::kH / 2 ? above : below) += Pixel(x, y) != modeldraw::kBackground;
    EXPECT_GT(below, 0);
    EXPECT_EQ(above, 0);
}

// Reflections 31.25 away are drawn, farther ones not.
TEST_F(Glows, ReflectionsEndAtThirtyOneAndAQuarter)
{
    Glow g = At(VectorPos(0, -0.5f, 31.25f), VectorDir(0, -1, 0), 0.25f);
    gGlows.AddTail(&g);
    EXPECT_TRUE(Has(Colours([&] { gGlows.DrawRefl(rc); }), kLamp));
    EXPECT_GT(scene.Covered(), 0);
    g.v0.setz(31.3f);
    EXPECT_FALSE(Has(Colours([&] { gGlows.DrawRefl(rc); }), kLamp));
    EXPECT_EQ(scene.Covered(), 0);
}

// The lamps own their glows: emptying the list leaves them whole and free
// to be listed again.
TEST_F(Glows, ClearEmptiesTheListAndFreesNothing)
{
    EXPECT_EQ(gGlows.refl_scale[0], 8.0f);
    EXPECT_EQ(gGlows.refl_scale[1], 10.0f);
    Glow a = At(VectorPos(0, 0, 5), VectorDir(0, -1, 0), 1), b = At(VectorPos(1, 0, 5), VectorDir(0, -1, 0), 1);
    gGlows.AddTail(&a);
    gGlows.AddTail(&b);
    EXPECT_EQ(gGlows.Count(), 2);
    gGlows.Clear();
    EXPECT_TRUE(gGlows.IsEmpty());
    EXPECT_EQ(a.GetColour(), kLamp);
    gGlows.AddTail(&b);
    EXPECT_EQ(gGlows.Head(), &b);
}

TEST_F(Glows, NearLampPicture)
{
    Glow g = At(VectorPos(-1.5f, -0.8f, 6), VectorDir(0, -1, 0), 1.2f);
    gGlows.AddTail(&g);
    Frame([&] {
        gGlows.DrawRefl(rc);
        gGlows.DrawReal(rc);
    });
    scene.ExpectGolden("lamp_glow_flare");
}

}  // namespace
