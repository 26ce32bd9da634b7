// The light flash: a fading point light riding on an object.
#include <gtest/gtest.h>

#include "ZevEngine2/light.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/explosn.h"

namespace {

class Flash : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        SetLightContext(&lc);
        ClearLights();
        target = new Object;
        target->mat = TransMatrix(VectorPos(1.0f, -2.0f, 3.0f));
        world.AddObject(target, nullptr);
    }
    void TearDown() override
    {
        world.Clear();
        ClearLights();
    }

    // One frame's lights: cleared, then the world's tick adds them.
    static void Tick()
    {
        ClearLights();
        world.Update();
    }

    Object* target = nullptr;
};

// A colour word as the game writes it: red in the low byte.
Colour FromWord(u32 w)
{
    return Colour(u8(w), u8(w >> 8), u8(w >> 16), u8(w >> 24));
}

}  // namespace

TEST_F(Flash, FadesFrom119Of120OfItsColourAndIsGoneOnThe120thUpdate)
{
    Object* f = LightFlash_Create(FromWord(0x000080F0), 0.78125f, target, 120.0f);
    ASSERT_NE(f, nullptr);
    Tick();
    ASSERT_EQ(lc.numTempLights, 1);
    const Light& l = lc.tempLights[0];
    // 0xF0 / 64 = 3.75, 0x80 / 64 = 2, at (120 - 1) / 120.
    EXPECT_FLOAT_EQ(l.GetColour()[0], 3.75f * 119.0f / 120.0f);
    EXPECT_FLOAT_EQ(l.GetColour()[1], 2.0f * 119.0f / 120.0f);
    EXPECT_EQ(l.GetColour()[2], 0.0f);
    EXPECT_EQ(l.Kind(), ZEVLIGHT_POS);
    EXPECT_EQ(l.Range(), 0.78125f);
    EXPECT_EQ(l.GetPos()[0], 1.0f);
    EXPECT_EQ(l.GetPos()[1], -2.0f);
    EXPECT_EQ(l.GetPos()[2], 3.0f);
    for (int i = 2; i < 120; i++)
        Tick();
    ASSERT_EQ(lc.numTempLights, 1);
    EXPECT_FLOAT_EQ(lc.tempLights[0].GetColour()[1], 2.0f / 120.0f);
    EXPECT_FALSE(f->IsDead());
    Tick();
    EXPECT_EQ(lc.numTempLights, 0);
    EXPECT_TRUE(f->IsDead());
}

TEST_F(Flash, WithoutATimeOutItNeverFades)
{
    LightFlash_Create(FromWord(0x00404040), 2.0f, target, 0.0f);
    for (int i = 0; i < 300; i++)
        Tick();
    ASSERT_EQ(lc.numTempLights, 1);
    EXPECT_EQ(lc.tempLights[0].GetColour()[0], 1.0f);
}

TEST_F(Flash, EndsOnTheFrameAfterItsObjectDies)
{
    Object* f = LightFlash_Create(FromWord(0x000080F0), 1.0f, target, 120.0f);
    Tick();
    target->Delete();
    Tick();
    EXPECT_EQ(lc.numTempLights, 0);
    EXPECT_TRUE(f->IsDead());
}

TEST_F(Flash, WithNothingToFollowItNeverLights)
{
    Object* f = LightFlash_Create(FromWord(0x000080F0), 1.0f, nullptr, 120.0f);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->flags & OBJF_FRAMECALL, 0u);
    Tick();
    EXPECT_EQ(lc.numTempLights, 0);
}
