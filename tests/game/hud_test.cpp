// The HUD: screen anchors, typewriter texts, fades and flashes, gauges,
// drawing primitives, the radar's geometry and the map markers, read back
// from the 2-D packets the HUD writes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "game/hud_support.h"

#include "ZevEngine2/PS2/Bezier.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

using hudtest::Packet;
using hudtest::Prim;

namespace {

std::array<float, 2> XY(float x, float y)
{
    return {x, y};
}

// The screen, the game controller with the HUD on, the world's clock at 0.
class Hud : public ::testing::Test
{
protected:
    void SetUp() override
    {
        hudtest::SetUpScreen();
        hudtest::PinTextures(true);
        ScreenPoint::SetSafeZone(0, 0);
        gametest::Controller()->bHUDOn = true;
        g_pgcTest->bInterior = false;
        g_pgcTest->iFlags = 0;
        g_pgcTest->iTimeDisplayOutput = 0;
        world.time = 0;
    }
    void TearDown() override
    {
        hudtest::PinTextures(false);
        dace = nullptr;
        world.time = 0;
    }

    // Runs n frames of the texts at one frame a tick.
    static void Frames(MapDisplay& md, Packet& pk, int n)
    {
        for (int i = 0; i < n; i++) {
            md.ProcessText(pk.r);
            world.time++;
        }
    }
};

}  // namespace

TEST_F(Hud, AnchorsPlaceTheLayoutOnTheScreen)
{
    using namespace hudlayout;
    const Rect frame = srectMapFrame.MapRect();
    EXPECT_EQ(frame.x, 24);
    EXPECT_EQ(frame.y, 366);
    EXPECT_EQ(frame.w, 121);
    EXPECT_EQ(frame.h, 121);
    const Rect phone = srectPhonePanel.MapRect();
    EXPECT_EQ(phone.x, 46);
    EXPECT_EQ(phone.y, 487);
    EXPECT_EQ(spntTimer.MapX(), 320);
    EXPECT_EQ(spntTimer.MapY(), 482);
    EXPECT_EQ(srectEnemyHealth.MapX(), 600);   // from the right edge
    EXPECT_EQ(srectStreetNameFrame.MapX(), 224);
    EXPECT_EQ(CenterTextPos.MapY(), 232);

    // The safe margin moves every edge anchor inward; the centre stays.
    ScreenPoint::SetSafeZone(10, 8);
    EXPECT_EQ(srectMapFrame.MapX(), 34);
    EXPECT_EQ(srectMapFrame.MapY(), 358);
    EXPECT_EQ(srectEnemyHealth.MapX(), 590);
    EXPECT_EQ(srectPlayerHealth.MapY(), 32);
    EXPECT_EQ(spntTimer.MapX(), 320);
    ScreenPoint::SetSafeZone(0, 0);

    // A wide picture scales x and widths, never y or heights.
    rc.ax = 1.25f;
    const Rect wide = srectMapFrame.MapRect();
    EXPECT_EQ(wide.x, 30);
    EXPECT_EQ(wide.w, 151);
    EXPECT_EQ(wide.y, 366);
    EXPECT_EQ(wide.h, 121);
    EXPECT_EQ(srectEnemyHealth.MapX(), 590);   // 640 - 50
}

TEST_F(Hud, ABriefingTypesOutHoldsAndFadesAway)
{
    MapDisplay md;
    Packet pk;
    ASSERT_EQ(md.AddScreenText("ABCDEFGHIJ", STP_BRIEFING, 8, 300), 1);
    Frames(md, pk, 8);
    pk.Take();
    // Frame 9: no character yet and the cursor in its dark phase.
    Frames(md, pk, 1);
    EXPECT_EQ(md.screentext[0].nPrevChar, 0);
    EXPECT_TRUE(pk.Take().empty());
    Frames(md, pk, 1);   // frame 10
    EXPECT_EQ(md.screentext[0].nPrevChar, 1);
    Frames(md, pk, 17);   // frame 27
    EXPECT_EQ(md.screentext[0].nPrevChar, 9);
    EXPECT_EQ(md.screentext[0].nTimer, 27);
    Frames(md, pk, 1);   // frame 28: the last character, then the hold
    EXPECT_EQ(md.screentext[0].nPrevChar, 10);
    EXPECT_EQ(md.screentext[0].nTimer, 255);
    pk.Take();

    // Full strength until 30 frames are left, then (left) x 128 / 30.
    Frames(md, pk, 15);   // nTimer 270: 30 left
    for (const Prim& p : pk.Take()) {
        if (p.colour.r == 128) {
            EXPECT_EQ(p.colour.a, 128);
        }
    }
    Frames(md, pk, 1);    // 271: 29 left
    int grey = 0;
    for (const Prim& p : pk.Take())
        if (p.colour.r == 128) {
            EXPECT_EQ(p.colour.a, 29 * 128 / 30);
            grey++;
        }
    EXPECT_EQ(grey, 10);   // one sprite per character
    Frames(md, pk, 28);   // nTimer 299
    EXPECT_EQ(md.screentext[0].stPos, STP_BRIEFING);
    Frames(md, pk, 1);    // 45 frames after the last character
    EXPECT_EQ(md.screentext[0].stPos, STP_NONE);
}

TEST_F(Hud, TextsTakeOnePlaceEachEightSlotsAndCutLongTexts)
{
    MapDisplay md;
    EXPECT_EQ(md.AddScreenText("ONE", STP_CENTER, 8, 300), 1);
    EXPECT_EQ(md.AddScreenText("TWO", STP_CENTER, 8, 300), 0);
    EXPECT_EQ(md.AddScreenText("BRIEF", STP_BRIEFING, 8, 300), 1);
    for (int pos = 5; pos <= 10; pos++)
        EXPECT_EQ(md.AddScreenText("X", SCREEN_TEXT_POS(pos), 8, 300), 1);
    EXPECT_EQ(md.AddScreenText("NINTH", SCREEN_TEXT_POS(11), 8, 300), 0);
    EXPECT_STREQ(md.screentext[0].cText, "ONE");

    // A text longer than a slot keeps its first 255 characters.
    MapDisplay big;
    const std::string longText(300, 'A');
    ASSERT_EQ(big.AddScreenText(longText.c_str(), STP_ALT_BRIEFING, 8, 300), 1);
    EXPECT_EQ(std::strlen(big.screentext[0].cText), 255u);

    // An empty briefing holds from the first frame after its delay.
    MapDisplay empty;
    Packet pk;
    empty.AddScreenText("", STP_CENTER, 8, 300);
    Frames(empty, pk, 9);
    EXPECT_EQ(empty.screentext[0].nTimer, 255);
}

TEST_F(Hud, AnObjectiveIsGoneSixtyFramesAfterItsLastCharacter)
{
    MapDisplay md;
    Packet pk;
    ASSERT_EQ(md.AddScreenText("ABCD", STP_MISSION, 8, 3000), 1);
    EXPECT_EQ(md.screentext[0].nStartDelay, 30);
    Frames(md, pk, 37);
    EXPECT_EQ(md.screentext[0].nPrevChar, 3);
    Frames(md, pk, 1);   // nTimer 38: all four shown
    EXPECT_EQ(md.screentext[0].nPrevChar, 4);
    EXPECT_EQ(md.screentext[0].nPlayLength, 98);
    Frames(md, pk, 59);
    EXPECT_EQ(md.screentext[0].stPos, STP_MISSION);
    Frames(md, pk, 1);
    EXPECT_EQ(md.screentext[0].stPos, STP_NONE);
}

TEST_F(Hud, WithTheHudOffTextsNeitherAdvanceNorDraw)
{
    MapDisplay md;
    g_pgcTest->bHUDOn = false;
    md.AddScreenText("WAIT", STP_BRIEFING, 8, 300);
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(MapDisplay::staticmh(&md, ROM_DRAW, &rc, nullptr, nullptr), 0);
    EXPECT_EQ(md.screentext[0].nTimer, 0);
    // Every other message is ignored too.
    EXPECT_EQ(MapDisplay::staticmh(&md, ROM_DESTROY, nullptr, nullptr, nullptr), 0);
    g_pgcTest->bHUDOn = true;
}

TEST_F(Hud, FlashSpriteShowsTheOldImageUnderARisingFlashThenTheNew)
{
    const Rect scrn{10, 10, 16, 63}, start{0, 169, 16, 63}, end{16, 169, 16, 63}, flash{48, 169, 16, 63};
    FadeDispInfo fdi{FDI_RISING, 100, 0, 0};
    Packet pk;
    auto frame = [&](int t) {
        world.time = t;
        FlashSprite(pk.r, 8.0f, scrn, start, end, flash, fdi);
        return pk.Take();
    };
    std::vector<Prim> p = frame(104);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].uv[0], XY(0.0f, 169.0f));    // start, opaque
    EXPECT_EQ(p[0].colour.a, 128);
    EXPECT_EQ(p[1].uv[0], XY(48.0f, 169.0f));   // the flash at half strength
    EXPECT_EQ(p[1].colour.a, 64);
    p = frame(108);
    EXPECT_EQ(p[1].colour.a, 128);
    p = frame(109);
    EXPECT_EQ(fdi.iFadeTime, 108);
    EXPECT_EQ(fdi.flags, FDI_FALLING);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].uv[0], XY(16.0f, 169.0f));   // the end image
    EXPECT_EQ(p[1].colour.a, 112);
    p = frame(116);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1].colour.a, 0);
    p = frame(117);
    EXPECT_EQ(p.size(), 1u);
    EXPECT_EQ(fdi.flags, 0u);
    EXPECT_TRUE(frame(118).empty());
}

TEST_F(Hud, FadesRunFifteenFramesAndBlinksHalfPeriodsOfSevenAndAHalf)
{
    FadeDispInfo car{FDI_RISING, 0, 0, 0}, head{FDI_RISING, 0, 0, 0};
    const int want[6] = {0, 8, 17, 25, 34, 42};
    for (int t = 0; t < 6; t++) {
        world.time = t;
        EXPECT_EQ(FadeAlpha(car), want[t]);
        EXPECT_EQ(FadeAlphaF(head), want[t]);
    }
    world.time = 14;
    EXPECT_EQ(FadeAlpha(car), 119);
    EXPECT_EQ(car.flags, FDI_RISING);
    world.time = 15;
    EXPECT_EQ(FadeAlpha(car), 128);
    EXPECT_EQ(car.flags, FDI_STEADY);
    EXPECT_EQ(FadeAlpha(car), 128);
    car = {FDI_FALLING, 15, 0, 0};
    world.time = 20;
    EXPECT_EQ(FadeAlpha(car), 10 * 128 / 15);
    world.time = 30;
    EXPECT_EQ(FadeAlpha(car), 0);
    EXPECT_EQ(car.flags, 0u);

    FadeDispInfo blink{FDI_RISING, 0, 0, 0};
    world.time = 7;
    EXPECT_EQ(BlinkAlpha(blink), 119);
    world.time = 8;
    EXPECT_EQ(BlinkAlpha(blink), 128);
    EXPECT_EQ(blink.flags, FDI_FALLING);
    EXPECT_EQ(blink.iFadeTime, 8);
    world.time = 9;
    EXPECT_EQ(BlinkAlpha(blink), int(6.5f * 17.066668f));
    world.time = 16;
    EXPECT_EQ(BlinkAlpha(blink), 0);
    EXPECT_EQ(blink.flags, FDI_RISING);

    const Rect m = blend(Rect{80, 24, 16, 63}, Rect{96, 24, 16, 63}, 0.5f);
    EXPECT_EQ(m.x, 88);
    EXPECT_EQ(blend(Rect{0, 0, 10, 10}, Rect{-10, 0, 10, 10}, 0.25f).x, -2);
}

TEST_F(Hud, GaugesCutTheirBarAlongASlantedFillLine)
{
    const Rect d{24, 24, 16, 63}, s1{0, 169, 16, 63}, s2{16, 169, 16, 63}, s3{48, 169, 16, 63};
    Packet pk;
    pk.r.SetColour(Colour(128, 128, 128, 90));
    pk.Take();
    DrawGauge2(pk.r, true, 1.0f, d, s1, s2, s3, 0);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    // Full: from the top at the left edge to 22.5 % down at the right.
    EXPECT_EQ(p[0].type, u32(PRIM_TRISTRIP));
    EXPECT_EQ(p[0].xy[2], XY(24.0f, 24.0f));
    EXPECT_EQ(p[0].xy[3], XY(40.0f, 38.0f));
    EXPECT_EQ(p[1].xy[0], XY(24.0f, 24.0f));
    EXPECT_EQ(p[1].xy[3], XY(40.0f, 87.0f));
    EXPECT_EQ(p[1].uv[1], XY(32.0f, 183.0f));   // the texture cut on the same line
    EXPECT_EQ(pk.r.rgbaq_reg, Colour(128, 128, 128, 90).Word());

    // Empty: from the bottom at the left edge to 77.5 % down at the right;
    // the flash over the filled part.
    DrawGauge2(pk.r, true, 0.0f, d, s1, s2, s3, 64);
    p = pk.Take();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].xy[2], XY(24.0f, 87.0f));
    EXPECT_EQ(p[0].xy[3], XY(40.0f, 72.0f));
    EXPECT_EQ(p[2].colour, Colour(128, 128, 128, 64));
    EXPECT_EQ(p[2].uv[0][0], 48.0f);

    // The other side mirrors the slant; three parts with two lines.
    DrawGauge3(pk.r, false, 1.0f, 0.5f, d, s1, s2, s3, s1, 0);
    p = pk.Take();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].xy[2], XY(24.0f, 38.0f));
    EXPECT_EQ(p[0].xy[3], XY(40.0f, 24.0f));
    EXPECT_EQ(p[1].xy[2], XY(24.0f, 24.0f + float(int(63.0f * (0.225f + 0.55f * 0.5f)))));
    EXPECT_EQ(p[1].xy[3], XY(40.0f, 24.0f + float(int(63.0f * 0.5f))));
}

TEST_F(Hud, PrimitivesMirrorTurnAndFillAsTheyPromise)
{
    Packet pk;
    // Four-way mirror of a quarter over an odd-sized frame, then the phone
    // panel.
    DrawRectTopLeft(pk.r, Rect{24, 366, 121, 121}, Rect{0, 0, 61, 61});
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].type, u32(PRIM_TRIFAN));
    ASSERT_EQ(p[0].xy.size(), 10u);
    EXPECT_EQ(p[0].xy[0], XY(84.0f, 426.0f));   // 24 + 120 / 2
    EXPECT_EQ(p[0].uv[0], XY(61.0f, 61.0f));
    EXPECT_EQ(p[0].xy[3], XY(145.0f, 366.0f));
    EXPECT_EQ(p[0].uv[3], XY(0.0f, 0.0f));
    EXPECT_EQ(p[0].uv[2], XY(61.0f, 0.0f));
    EXPECT_EQ(p[0].xy[9], p[0].xy[1]);
    EXPECT_EQ(p[1].xy[0], XY(46.0f, 487.0f));
    EXPECT_EQ(p[1].xy[1], XY(126.0f, 504.0f));
    EXPECT_EQ(p[1].uv[0], XY(0.0f, 128.0f));

    DrawRectLeft(pk.r, Rect{224, 32, 192, 28}, Rect{0, 64, 95, 28});
    p = pk.Take();
    ASSERT_EQ(p[0].xy.size(), 7u);
    EXPECT_EQ(p[0].xy[0], XY(320.0f, 32.0f));
    EXPECT_EQ(p[0].uv[0], XY(95.0f, 64.0f));
    EXPECT_EQ(p[0].xy[4], XY(416.0f, 60.0f));
    EXPECT_EQ(p[0].uv[4], XY(0.0f, 92.0f));

    // A quarter turn: the destination's top-left takes the source's top-right.
    DrawSpriteRot90CCW(pk.r, Rect{80, 361, 19, 10}, Rect{112, 232, 10, 19});
    p = pk.Take();
    ASSERT_EQ(p[0].xy.size(), 4u);
    EXPECT_EQ(p[0].uv[0], XY(122.0f, 232.0f));
    EXPECT_EQ(p[0].uv[1], XY(122.0f, 251.0f));
    EXPECT_EQ(p[0].uv[2], XY(112.0f, 232.0f));
    EXPECT_EQ(p[0].uv[3], XY(112.0f, 251.0f));

    // The car arrow: axis-aligned about its centre, or turned so that its
    // top edge becomes a side.
    DrawCarArrow(pk.r, Matrix2{1, 0, 0, 1}, VectorXY(85.0f, 427.0f), Rect{0, 0, 16, 16}, Rect{96, 232, 16, 16});
    DrawCarArrow(pk.r, Matrix2{0, 1, -1, 0}, VectorXY(85.0f, 427.0f), Rect{0, 0, 16, 16}, Rect{96, 232, 16, 16});
    p = pk.Take();
    EXPECT_EQ(p[0].xy[0], XY(77.0f, 419.0f));
    EXPECT_EQ(p[0].xy[3], XY(93.0f, 435.0f));
    EXPECT_EQ(p[1].xy[0], XY(93.0f, 419.0f));
    EXPECT_EQ(p[1].xy[1], XY(93.0f, 435.0f));

    // The flat ones add their colour, untextured.
    Vector tri[3] = {Vector(0, 0, 0, 0), Vector(10, 0, 0, 0), Vector(0, 10, 0, 0)};
    DrawTri(pk.r, tri, Colour(128, 0, 0, 64));
    VectorXY outline[3] = {VectorXY(0, 0), VectorXY(10, 0), VectorXY(0, 10)};
    DrawHollowTri(pk.r, outline, Colour(0, 128, 0, 64));
    p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].type, u32(PRIM_TRI));
    EXPECT_EQ(p[0].prim & PRIM_TME, 0u);
    EXPECT_EQ(p[0].prim & PRIM_ABE, PRIM_ABE);
    EXPECT_EQ(p[0].alpha, u64(ALPHA_ADD));
    EXPECT_EQ(p[0].z[0], 0xFFFFFFu);
    EXPECT_EQ(p[1].type, u32(PRIM_LINESTRIP));
    ASSERT_EQ(p[1].xy.size(), 4u);
    EXPECT_EQ(p[1].xy[3], p[1].xy[0]);
    EXPECT_EQ(pk.r.prim_reg & 7u, 0u);
}

TEST_F(Hud, TheMapMatrixPutsTheHeadingUpAndTheRightToTheRight)
{
    const Rect r{0, 0, 200, 200};
    const Matrix m = CalcMapMatrix(r, Matrix(true), VectorDir(100.0f, 0.0f, 100.0f));
    const VectorPos ahead = m * VectorPos(0.0f, 0.0f, 50.0f);
    EXPECT_FLOAT_EQ(ahead[0], 100.0f);
    EXPECT_FLOAT_EQ(ahead[1], 50.0f);
    EXPECT_FLOAT_EQ(ahead[2], 1.0f);
    // The frame's own +x lies to the left of the screen.
    EXPECT_FLOAT_EQ((m * VectorPos(50.0f, 7.0f, 0.0f))[0], 50.0f);

    // Heading along world +x from (10, 0, 10): right is world -z.
    const Matrix f(Vector(0, 0, -1, 0), Vector(0, 1, 0, 0), Vector(1, 0, 0, 0), Vector(10, 0, 10, 1));
    const Matrix m2 = CalcMapMatrix(r, f, VectorDir(100.0f, 0.0f, 100.0f));
    const VectorPos p = m2 * VectorPos(60.0f, 3.0f, 10.0f);
    EXPECT_NEAR(p[0], 100.0f, 1e-4f);
    EXPECT_NEAR(p[1], 50.0f, 1e-4f);
    const VectorPos q = m2 * VectorPos(10.0f, 0.0f, -40.0f);   // 50 along the frame's x
    EXPECT_NEAR(q[0], 50.0f, 1e-4f);

    // The clip test: rejected only when all four points lie beyond one line.
    const Matrix id(true);
    EXPECT_FALSE(Bezier2DClip(Bezier(Vector(1.5f, 0, 0, 1), Vector(2, 5, 0, 1), Vector(3, -5, 0, 1), Vector(1.1f, 0, 0, 1)), id));
    EXPECT_TRUE(Bezier2DClip(Bezier(Vector(0.5f, 0, 0, 1), Vector(2, 0, 0, 1), Vector(3, 0, 0, 1), Vector(4, 0, 0, 1)), id));
    EXPECT_TRUE(Bezier2DClip(Bezier(Vector(-2, 0, 9, 1), Vector(2, 0, 9, 1), Vector(2, 2, 9, 1), Vector(-2, 2, 9, 1)), id));
    EXPECT_FALSE(Bezier2DClip(Bezier(Vector(0, -1.5f, 0, 1), Vector(0, -2, 0, 1), Vector(9, -3, 0, 1), Vector(-9, -1.01f, 0, 1)), id));
}

TEST_F(Hud, ThickLinesMitreTheirCornersExceptWhereTheyTurnBack)
{
    Packet pk;
    pk.r.SetTextureOff();
    ThickLine tl{1.0f, VectorXYZ(0, 0, 0), VectorXYZ(0, 0, 0), 0};
    pk.r.Begin(PRIM_TRISTRIP);
    tl.SetVertex(pk.r, VectorXYZ(0, 0, 1));
    tl.SetVertex(pk.r, VectorXYZ(10, 0, 1));
    tl.SetVertex(pk.r, VectorXYZ(10, 10, 1));
    pk.r.End();
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p[0].xy.size(), 4u);
    EXPECT_EQ(p[0].xy[0], XY(0.0f, -1.0f));   // +n of the forward direction first
    EXPECT_EQ(p[0].xy[1], XY(0.0f, 1.0f));
    EXPECT_EQ(p[0].xy[2], XY(11.0f, -1.0f));  // the mitre's outer point
    EXPECT_EQ(p[0].xy[3], XY(9.0f, 1.0f));
    EXPECT_EQ(p[0].z[0], 1u);

    // Straight back on itself: the pair at the corner, no mitre.
    tl = ThickLine{1.0f, VectorXYZ(0, 0, 0), VectorXYZ(0, 0, 0), 0};
    pk.r.Begin(PRIM_TRISTRIP);
    tl.SetVertex(pk.r, VectorXYZ(0, 0, 1));
    tl.SetVertex(pk.r, VectorXYZ(10, 0, 1));
    tl.SetVertex(pk.r, VectorXYZ(0, 0, 1));
    pk.r.End();
    p = pk.Take();
    EXPECT_EQ(p[0].xy[2], XY(10.0f, 1.0f));
    EXPECT_EQ(p[0].xy[3], XY(10.0f, -1.0f));

    // A road of type 6: a 14-vertex amber strip 6 wide; type 0 one pixel
    // in faint grey.
    EXPECT_EQ(MapRoadTypeInfos[6].colour, 0x59007880u);
    EXPECT_EQ(MapRoadTypeInfos[6].lineWidth, 6.0f);
    alignas(16) u8 kinds[2][64]{};
    RoadType* kind[2] = {reinterpret_cast<RoadType*>(kinds[0]), reinterpret_cast<RoadType*>(kinds[1])};
    kind[0]->type = 6;
    kind[1]->type = 0;
    alignas(16) RoadSeg rs[2]{};
    for (int i = 0; i < 2; i++) {
        rs[i].bezier = Bezier(Vector(0, 0, 0, 1), Vector(10, 0, 0, 1), Vector(20, 0, 0, 1), Vector(30, 0, 0, 1));
        rs[i].type = kind[i];
    }
    const Matrix flat(Vector(1, 0, 0, 0), Vector(0, 0, 1, 0), Vector(0, 1, 0, 0), Vector(100, 100, 0, 1));
    DrawThickLineRoad(pk.r, flat, rs[0]);
    DrawThickLineRoad(pk.r, flat, rs[1]);
    p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].type, u32(PRIM_TRISTRIP));
    ASSERT_EQ(p[0].xy.size(), 14u);
    EXPECT_EQ(p[0].colour.Word(), 0x59007880u);
    EXPECT_EQ(p[0].xy[0], XY(100.0f, 97.0f));
    EXPECT_EQ(p[0].xy[13], XY(130.0f, 103.0f));
    EXPECT_EQ(p[1].colour.Word(), 0x33808080u);
    EXPECT_EQ(p[1].xy[13], XY(130.0f, 100.5f));
}

TEST_F(Hud, MarkersInsideTheMapOrPinnedToItsEdge)
{
    MapDisplay md;
    Packet pk;
    // The map: (29, 370, 113, 114), centre (85, 427).
    const Colour red(128, 0, 0, 100);
    VectorPos border(85.0f + 56.0f, 427.0f, 1.0f);
    md.DrawMapTarget(pk.r, border, red, 8, 0, MapDisplay::MIT_TARGET);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].xy[0], XY(133.0f, 419.0f));   // the icon, inside
    EXPECT_EQ(p[0].uv[0], XY(96.0f, 152.0f));
    EXPECT_EQ(p[0].colour, red);

    VectorPos above(85.0f, 300.0f, 1.0f);
    md.DrawMapTarget(pk.r, above, red, 8, 0, MapDisplay::MIT_TARGET);
    p = pk.Take();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].type, u32(PRIM_TRISTRIP));   // the turned arrow
    EXPECT_EQ(p[0].xy[0], XY(80.0f, 361.0f));

    // At 45 degrees it leaves through the top.
    VectorPos diagonal(185.0f, 327.0f, 1.0f);
    md.DrawMapTarget(pk.r, diagonal, red, 8, 0, MapDisplay::MIT_TARGET);
    p = pk.Take();
    EXPECT_EQ(p[0].xy[0], XY(137.0f, 361.0f));   // 85 + 114 x 100 / 200 - 5

    // Far to the left: the side arrow; a dot is pinned to the edge.
    VectorPos left(0.0f, 427.0f, 1.0f);
    md.DrawMapTarget(pk.r, left, red, 8, 0, MapDisplay::MIT_TARGET);
    md.DrawMapTarget(pk.r, left, red, 8, 0, MapDisplay::MIT_DOT);
    md.DrawMapTarget(pk.r, left, red, 8, 0, MapDisplay::IconType(9));
    p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].xy[0], XY(19.0f, 418.0f));
    EXPECT_EQ(p[0].uv[0], XY(122.0f, 232.0f));   // mirrored
    EXPECT_EQ(p[1].xy[0], XY(25.0f, 423.0f));
    EXPECT_EQ(p[1].alpha, u64(ALPHA_ADD));
}

TEST_F(Hud, TheTimerPrintsMinutesAndSecondsThenGrowsAwayWhenTimeIsUp)
{
    MapDisplay md(nullptr, nullptr);
    md.flags = (0x01EB0000 & ~HUDF_PLAYER) | HUDF_TIMER;
    g_pgcTest->bInterior = true;   // no map: the timer alone
    g_pgcTest->iTimeDisplayOutput = 3600;
    Packet pk;
    const int k0 = g_pfontHelveticaB->GetUV(g_pfontHelveticaB->GlyphIndex('0')).k;
    auto firstX = [](const std::vector<Prim>& p, u8 r) {
        for (const Prim& q : p)
            if (q.colour.r == r)
                return q.xy[0];
        return XY(-1, -1);
    };
    md.DrawHUD(pk.r);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 10u);   // "01:00" and its shadow
    EXPECT_EQ(firstX(p, 0), XY(287.0f + float(k0), 471.0f));
    EXPECT_EQ(firstX(p, 128), XY(285.0f + float(k0), 469.0f));
    EXPECT_TRUE(md.timerDrawn);

    // Down to 0: six times the size over 60 frames, fading; then off.
    g_pgcTest->iTimeDisplayOutput = 0;
    world.time = 1000;
    md.DrawHUD(pk.r);
    EXPECT_EQ(md.fdiTimer.flags, FDI_FALLING);
    pk.Take();
    world.time = 1030;
    md.DrawHUD(pk.r);
    p = pk.Take();
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.back().colour.a, 64);
    EXPECT_EQ(firstX(p, 128)[1], 469.0f - 45.0f);   // -13 x 3.5, truncated
    world.time = 1060;
    md.DrawHUD(pk.r);
    EXPECT_EQ(md.flags & HUDF_TIMER, 0u);
    pk.Take();
    md.DrawHUD(pk.r);
    EXPECT_TRUE(pk.Take().empty());

    // A timer that starts at 0 shows 00:00 and stays.
    MapDisplay zero(nullptr, nullptr);
    zero.flags = (zero.flags & ~HUDF_PLAYER) | HUDF_TIMER;
    world.time = 2000;
    zero.DrawHUD(pk.r);
    p = pk.Take();
    EXPECT_EQ(p.size(), 10u);
    EXPECT_EQ(p.back().colour.a, 128);
    world.time = 2100;
    zero.DrawHUD(pk.r);
    EXPECT_EQ(zero.flags & HUDF_TIMER, HUDF_TIMER);
    pk.Take();

    // Blinking: hidden while world.time mod 32 is below 10.
    g_pgcTest->iFlags = 4;
    g_pgcTest->iTimeDisplayOutput = 600;
    world.time = 2 * 32 + 9;
    zero.DrawHUD(pk.r);
    EXPECT_TRUE(pk.Take().empty());
    world.time = 2 * 32 + 10;
    zero.DrawHUD(pk.r);
    EXPECT_EQ(pk.Take().size(), 10u);
}

TEST_F(Hud, TheDistanceArrowClimbsAsTheTargetNears)
{
    Dace player;
    dace = &player;
    MapDisplay md(&player, nullptr);
    md.flags = 0x01EB0000;
    g_pgcTest->bInterior = true;
    md.SetStaticTarget(VectorPos(0.0f, 0.0f, 80.0f));
    Packet pk;
    auto arrowTop = [&] {
        md.DrawHUD(pk.r);
        const std::vector<Prim> p = pk.Take();
        return p.empty() ? XY(-1, -1) : p.back().xy[0];
    };
    EXPECT_EQ(arrowTop(), XY(47.0f, 196.0f));
    EXPECT_EQ(md.initialTargetDist, 80.0f);
    player.mat.SetTrans(VectorPos(0.0f, -3.0f, 40.0f));
    EXPECT_EQ(arrowTop(), XY(47.0f, 141.0f));
    player.mat.SetTrans(VectorPos(0.0f, 0.0f, 80.0f));
    EXPECT_EQ(arrowTop(), XY(47.0f, 86.0f));
    player.mat.SetTrans(VectorPos(0.0f, 0.0f, -80.0f));
    EXPECT_EQ(arrowTop(), XY(47.0f, 196.0f));

    // The nearest of the other targets; the first distance is the last one's.
    MapDisplay other(&player, nullptr);
    other.flags = 0x01EB0000 | HUDF_OTHERTARGETS;
    player.mat.SetTrans(VectorPos(0.0f, 0.0f, 0.0f));
    other.SetOtherStaticTarget(Vector(0.0f, 0.0f, 30.0f, 1.0f), 0);
    other.SetOtherStaticTarget(Vector(0.0f, 0.0f, 60.0f, 3.0f), 2);
    other.DrawHUD(pk.r);
    EXPECT_EQ(other.initialTargetDist, 60.0f);
    EXPECT_EQ(pk.Take().back().xy[0], XY(47.0f, 86.0f + 110.0f * 0.5f));
}

TEST_F(Hud, StrengthAndAmmunitionBarsBlinkWhenLow)
{
    Packet pk;
    FadeDispInfo fdi{};
    world.time = 50;
    DispNewStrengthInfoDace(pk.r, 15.0f, fdi);
    EXPECT_EQ(fdi.flags, 0u);
    EXPECT_EQ(pk.Take().size(), 2u);
    DispNewStrengthInfoDace(pk.r, 14.9f, fdi);
    EXPECT_EQ(fdi.flags, FDI_RISING);
    world.time = 54;
    DispNewStrengthInfoDace(pk.r, 14.9f, fdi);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 5u);   // two parts, then two parts and the flash
    EXPECT_EQ(p[4].colour.a, int(4.0f * 128.0f * 0.13333334f));
    // Below 1: no blink, the filled part red.
    DispNewStrengthInfoDace(pk.r, 0.5f, fdi);
    EXPECT_EQ(fdi.flags, 0u);
    p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1].uv[3][0], 32.0f);   // the red image's right edge

    // 32 shots fill the bar, 40 overfill it.
    FadeDispInfo ammo{};
    const Point at{80, 24};
    DispAmmoInfo(pk.r, at, 1.0f, 32.0f, 32.0f, 128, ammo);
    EXPECT_EQ(ammo.flags, 0u);
    DispAmmoInfo(pk.r, at, 1.0f, 40.0f, 40.0f, 128, ammo);
    p = pk.Take();
    ASSERT_EQ(p.size(), 4u);
    // The bar is centred on its place: its top at 24 + 31 - 31.5, truncated.
    EXPECT_EQ(p[0].xy[2], XY(80.0f, 37.0f));
    EXPECT_EQ(p[0].xy[3], XY(96.0f, 23.0f));
    EXPECT_LT(p[2].xy[3][1], 23.0f);
    // A gain of shots flashes once; fewer than 5 keep blinking.
    DispAmmoInfo(pk.r, at, 1.0f, 20.0f, 12.0f, 128, ammo);
    EXPECT_EQ(ammo.flags, FDI_RISING);
    EXPECT_EQ(ammo.iFadeTime, world.time);
    ammo = FadeDispInfo{FDI_FALLING, world.time - 8, 0, 0};
    DispAmmoInfo(pk.r, at, 1.0f, 20.0f, 20.0f, 128, ammo);
    EXPECT_EQ(ammo.flags, 0u);
    ammo = FadeDispInfo{FDI_FALLING, world.time - 8, 0, 0};
    DispAmmoInfo(pk.r, at, 1.0f, 3.0f, 3.0f, 128, ammo);
    EXPECT_EQ(ammo.flags, FDI_RISING);

    // An enemy that never had full strength shows three states.
    pk.Take();
    FadeDispInfo foe{};
    DispNewStrengthInfoEnemy(pk.r, Point{600, 24}, 1.0f, 40.0f, 80.0f, 128, foe);
    EXPECT_EQ(pk.Take().size(), 3u);
    DispNewStrengthInfoEnemy(pk.r, Point{600, 24}, 1.0f, 40.0f, 100.0f, 128, foe);
    p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].xy[0], XY(600.0f, 16.0f));
}

TEST_F(Hud, CarDamageMarksGrowAndPulseWhenTheCarIsNearlyWrecked)
{
    Packet pk;
    FadeDispInfo fade{}, flash{};
    const Rect icon{40, 24, 40, 64};
    DispCarStrengthInfo(pk.r, icon, nullptr, fade, flash);
    EXPECT_TRUE(pk.Take().empty());

    Vehicle car;
    for (float& s : car.rgpartstrength)
        s = 25.0f;
    world.time = 10;
    DispCarStrengthInfo(pk.r, icon, &car, fade, flash);
    std::vector<Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 5u);
    auto size = [](const Prim& q) { return XY(q.xy[1][0] - q.xy[0][0], q.xy[1][1] - q.xy[0][1]); };
    EXPECT_EQ(size(p[1]), XY(40.0f, 6.0f));
    EXPECT_EQ(size(p[2]), XY(9.0f, 22.0f));
    EXPECT_EQ(size(p[3]), XY(9.0f, 22.0f));
    EXPECT_EQ(p[3].xy[0][0], 40.0f + 31.0f);   // the right mark keeps its right edge
    EXPECT_EQ(size(p[4]), XY(40.0f, 7.0f));
    EXPECT_EQ(p[4].xy[0][1], 24.0f + 57.0f);
    EXPECT_EQ(flash.flags, 0u);

    // Total 10.5: own strengths, no pulse; total 10: every mark at its
    // largest, pulsing (first rise 30 frames, then 15 + 1.5 x total).
    for (float& s : car.rgpartstrength)
        s = 2.625f;
    DispCarStrengthInfo(pk.r, icon, &car, fade, flash);
    EXPECT_EQ(flash.flags, 0u);
    EXPECT_EQ(size(pk.Take()[1])[1], float(int(23.0f * 0.895f + 6.0f * 0.105f)));
    for (float& s : car.rgpartstrength)
        s = 2.5f;
    DispCarStrengthInfo(pk.r, icon, &car, fade, flash);
    p = pk.Take();
    EXPECT_EQ(flash.flags, FDI_RISING);
    EXPECT_EQ(flash.iRate, 30);
    EXPECT_EQ(size(p[1]), XY(40.0f, 23.0f));
    EXPECT_EQ(size(p[2]), XY(20.0f, 22.0f));
    EXPECT_EQ(size(p[4]), XY(40.0f, 17.0f));
    EXPECT_EQ(p[1].colour.a, 0);
    world.time = 25;
    DispCarStrengthInfo(pk.r, icon, &car, fade, flash);
    EXPECT_EQ(pk.Take()[1].colour.a, 64);
    world.time = 40;
    DispCarStrengthInfo(pk.r, icon, &car, fade, flash);
    EXPECT_EQ(flash.flags, FDI_FALLING);
    EXPECT_EQ(flash.iRate, 30);   // 15 + 1.5 x 10
    pk.Take();
}
