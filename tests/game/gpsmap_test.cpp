// The GPS map screen over the sample city: its opening view, zoom steps,
// cursor edges, the loaded cells as the view's limit, the symbols' rules and
// a golden picture of a map frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/controller_support.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LightSets.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/city_support.h"
#include "game/hud_support.h"
#include "game/fbfx.h"
#include "game/userintf.h"
#include "tools/lib/city.h"

namespace {

constexpr int kW = 640, kH = 512;
constexpr int kDrawBlocks = kW * kH * 4 / 256, kZBlocks = kW * kH * 2 / 256;
constexpr int kTexStart = kDrawBlocks + kZBlocks;

Font* NewFont(FONTFILE& ff)
{
    return new (malloc_align(sizeof(Font), 16)) Font(ff);
}

class Gps : public citytest::CityWorld
{
protected:
    Surface draw, zbuf, savedDraw;
    Font* fonts[2] = {};
    Dace player;
    int frameNo = 0;

    void SetUp() override
    {
        gsframe::ResetForFrames(kTexStart, 16384 - kTexStart);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH, 0x832);
        savedDraw = Platform::GetDrawBuffer();
        Platform::GetDrawBuffer() = draw;
        fonts[0] = g_pGUIFont = NewFont(Font_GUI_text);
        fonts[1] = g_pGUIHead = NewFont(Font_GUI_heading);
        world.mode = WORLD_MODE_NORMAL;
        srand(1234);
        UI = UserInterface();
        controller[0].pad = 0;
        controller[0].rdata[6] = controller[0].rdata[7] = 128;
        SoundSystem::paused = false;
        vsyncperdraw = 2;
        Load(tools::SampleCity());
        ASSERT_TRUE(SyncTo(VectorPos(-84.0f, 0.0f, 38.5f)));
        player.SetPos(VectorPos(-84.0f, 0.0f, 38.5f));
        dace = &player;
        gametest::Controller();
        g_pgcTest->i16CurrMission = 0;
    }
    void TearDown() override
    {
        world.mode = WORLD_MODE_NORMAL;
        if (UI.pCurrMenu != nullptr)
            UI.pCurrMenu->Free();
        UI.pCurrMenu = nullptr;
        UI.FreeSaveBuffer();
        g_pGUIFont = g_pGUIHead = nullptr;
        for (Font* f : fonts)
            free(f);
        dace = nullptr;
        SoundSystem::paused = false;
        gMotionBlurSmoothBrighten.level = 0.0f;
        vsyncperdraw = 2;
        therenderer.ClearTexture();
        TexManOff();
        Platform::GetDrawBuffer() = savedDraw;
        citytest::CityWorld::TearDown();
    }

    void Frame(u16 held = 0, u16 pressed = 0)
    {
        controller[0].pad = u32(held | pressed);
        therenderer.BeginScene(dmabuff[frameNo & 1], gifbuff[frameNo & 1], frameNo == 0);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(30, 40, 90, 128));
        r.Close(therenderer);
        Run_UI();
        gsframe::SendFrame();
        frameNo++;
    }

    // Pauses into the map screen: 16 frames of dimming build it.
    void OpenMap()
    {
        SetPauseScreenMode(UI_MapScreen);
        world.mode = WORLD_MODE_PAUSED;
        for (int f = 0; f < 16; f++)
            Frame();
        ASSERT_NE(UI.pCurrMenu, nullptr);
        opened = UI.MapScale;
        Frame();   // the screen's first frame
    }
    float opened = 0.0f;   // the scale the screen opened with

    // The widest view the loaded cells allow (the map is 0.740741 as deep as wide).
    static float ViewLimit()
    {
        const Cuboid c = world.LoadedExtent();
        return std::min(c.max[0] - c.min[0], (c.max[2] - c.min[2]) / 0.740741f);
    }
};

}  // namespace

// Opening sets level 4 (scale 280), the cursor at (152, 96) and one blank a
// draw; the sample city's loaded cells (253 units across) then limit the
// scale.  A zoom takes trunc(|preset - scale| / 45) frames and lands exactly
// on the preset; Square at level 5 starts nothing; Select closes back to the
// game with the old blank count.
TEST_F(Gps, OpeningViewZoomStepsAndClose)
{
    OpenMap();
    EXPECT_EQ(UI.ZoomLevel, 4);
    EXPECT_EQ(opened, 280.0f);
    EXPECT_EQ(vsyncperdraw, 1);
    EXPECT_FLOAT_EQ(UI.MapCursor[0], 152.0f);
    EXPECT_FLOAT_EQ(UI.MapCursor[1], 96.0f);
    const float limit = ViewLimit();
    ASSERT_FLOAT_EQ(limit, 253.0f);
    EXPECT_FLOAT_EQ(UI.MapScale, limit);   // 280 wanted

    // In from 253: level 5 (100), trunc(153 / 45) = 3 frames of -51.
    Frame(0, UIPAD_SQUARE);
    EXPECT_EQ(UI.ZoomLevel, 5);
    EXPECT_EQ(UI.ZoomLeft, 3);
    EXPECT_FLOAT_EQ(UI.AutoZoomAdd, -51.0f);
    Frame();
    Frame();
    EXPECT_FLOAT_EQ(UI.MapScale, 253.0f - 3.0f * 51.0f + 51.0f);
    Frame();
    EXPECT_EQ(UI.ZoomLeft, 0);
    EXPECT_EQ(UI.MapScale, 100.0f);
    // Square at level 5: no step, the scale stays on its preset.
    Frame(0, UIPAD_SQUARE);
    Frame();
    EXPECT_EQ(UI.ZoomLevel, 5);
    EXPECT_EQ(UI.ZoomLeft, 0);
    EXPECT_EQ(UI.MapScale, 100.0f);

    // Out from 100: level 4 (280) in trunc(180 / 45) = 4 frames of +45; the
    // last lands on 280, which the loaded cells cut to 253.
    Frame(0, UIPAD_CIRCLE);
    EXPECT_EQ(UI.ZoomLevel, 4);
    EXPECT_EQ(UI.ZoomLeft, 4);
    EXPECT_FLOAT_EQ(UI.AutoZoomAdd, 45.0f);
    Frame();
    Frame();
    Frame();
    EXPECT_FLOAT_EQ(UI.MapScale, 235.0f);
    Frame();
    EXPECT_FLOAT_EQ(UI.MapScale, limit);

    // The level rules: out from 1000 stays at 0, in from 100 stays at 5,
    // and the neighbours of the presets in between.
    EXPECT_EQ(NextZoomLevel(1000.0f, false), 0);
    EXPECT_EQ(NextZoomLevel(100.0f, true), 5);
    EXPECT_EQ(NextZoomLevel(280.0f, false), 3);
    EXPECT_EQ(NextZoomLevel(460.0f, true), 4);
    EXPECT_EQ(NextZoomLevel(1000.0f, true), 1);
    EXPECT_EQ(NextZoomLevel(640.0f, false), 1);

    Frame(0, UIPAD_SELECT);
    Frame();
    EXPECT_EQ(UI.pCurrMenu, nullptr);
    EXPECT_EQ(world.mode, WORLD_MODE_NORMAL);
    EXPECT_EQ(GetPauseScreenMode(), UI_None);
    EXPECT_EQ(vsyncperdraw, 2);
}

// At level 5 (100 units) the cursor stays within x 24..408 and y 24..296 and
// its overshoot scrolls the map by overshoot x scale / 1120; zoomed out, the
// view never leaves the loaded cells.
TEST_F(Gps, CursorEdgesScrollAndTheViewStaysInTheLoadedCells)
{
    OpenMap();
    Frame(0, UIPAD_SQUARE);
    for (int f = 0; f < 4; f++)
        Frame();
    ASSERT_EQ(UI.MapScale, 100.0f);

    const VectorPos c0 = UI.MapCenter;
    UI.MapCursor[0] = 420.0f;   // 12 past the right edge
    UI.MapCursor[1] = 16.0f;    // 8 past the top
    Frame();
    EXPECT_FLOAT_EQ(UI.MapCursor[0], 408.0f);
    EXPECT_FLOAT_EQ(UI.MapCursor[1], 24.0f);
    EXPECT_NEAR(UI.MapCenter[0], c0[0] + 12.0f * 100.0f / 1120.0f, 1e-4f);
    EXPECT_NEAR(UI.MapCenter[2], c0[2] + 8.0f * 100.0f / 1120.0f, 1e-4f);

    // The stick 100 right of centre counts 20 of 128: the cursor follows at
    // 14 pixels a frame at full tilt; the held d-pad (no stick) pans the map
    // by 0.0125 of its width.
    controller[0].rdata[6] = 228;
    Frame();
    controller[0].rdata[6] = 128;
    EXPECT_FLOAT_EQ(UI.MapCursor[0], 408.0f);   // already at the right edge: the map scrolls
    UI.MapCursor[0] = 200.0f;
    const float cx = UI.MapCenter[0];
    controller[0].rdata[6] = 228;
    Frame();
    controller[0].rdata[6] = 128;
    EXPECT_FLOAT_EQ(UI.MapCursor[0], 200.0f + 20.0f / 128.0f * 14.0f);
    EXPECT_FLOAT_EQ(UI.MapCenter[0], cx);
    const float cz = UI.MapCenter[2];
    Frame(UIPAD_DOWN);
    EXPECT_NEAR(UI.MapCenter[2], cz - 0.0125f * 100.0f, 1e-4f);

    // Pushed hard west, the view stops at the cells and the cursor is moved
    // back by the amount the map could not go.
    UI.MapCursor[0] = 24.0f - 1120.0f;   // 100 units of scrolling wanted
    Frame();
    const Cuboid box = world.LoadedExtent();
    EXPECT_FLOAT_EQ(UI.MapCenter[0], box.min[0] + 50.0f);

    // Out as far as it goes: the view is the cells' size and inside them.
    for (int i = 0; i < 5; i++) {
        Frame(0, UIPAD_CIRCLE);
        for (int f = 0; f < 25; f++)
            Frame();
    }
    EXPECT_FLOAT_EQ(UI.MapScale, ViewLimit());
    const float hx = UI.MapScale * 0.5f, hz = UI.MapScale * 0.740741f * 0.5f;
    EXPECT_GE(UI.MapCenter[0] - hx, box.min[0] - 1e-3f);
    EXPECT_LE(UI.MapCenter[0] + hx, box.max[0] + 1e-3f);
    EXPECT_GE(UI.MapCenter[2] - hz, box.min[2] - 1e-3f);
    EXPECT_LE(UI.MapCenter[2] + hz, box.max[2] + 1e-3f);
}

// The symbols: the player's triangle is 0.7 of its size on a box wider than
// 320 / 0.7 units, full size at 320 or less; the target's colour rises by 64
// at Counter 0, 32, 64 and by 0 at 16, 48, changing by 4 a frame; the button
// letters pick their glyph rows; a turned symbol lands its centre texel on
// its position.
TEST(GpsSymbols, SizesPulseGlyphRowsAndTurnedCorners)
{
    EXPECT_FLOAT_EQ(MapSymbolScale(320.0f / 0.7f + 1.0f), 0.7f);
    EXPECT_FLOAT_EQ(MapSymbolScale(1000.0f), 0.7f);
    EXPECT_FLOAT_EQ(MapSymbolScale(400.0f), 0.8f);
    EXPECT_FLOAT_EQ(MapSymbolScale(320.0f), 1.0f);
    EXPECT_FLOAT_EQ(MapSymbolScale(100.0f), 1.0f);
    for (int c : {0, 32, 64, -32})
        EXPECT_EQ(TargetPulse(c), 64) << c;
    for (int c : {16, 48})
        EXPECT_EQ(TargetPulse(c), 0) << c;
    EXPECT_EQ(TargetPulse(17), 4);
    EXPECT_EQ(TargetPulse(15), 4);
    const char letters[] = "dscxtoa?";
    const int rows[] = {0, 31, 62, 93, 125, 62, 125, 0};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(ButtonGlyphRow(letters[i]), rows[i]) << letters[i];

    hudtest::Packet pk;
    const Rectf sq{32.0f, 0.0f, 31.0f, 31.0f};
    UI.DrawSpriteRot(pk.r, VectorXY(100.0f, 100.0f), VectorXY(1.0f, 0.0f), VectorXY(16.0f, 16.0f), sq,
                     Colour(255, 255, 64, 128));
    // Texture x up the screen: perp = (1, 0), the top points left.
    const Rectf tri{0.0f, 0.0f, 31.0f, 31.0f};
    UI.DrawSpriteRot(pk.r, VectorXY(100.0f, 100.0f), VectorXY(0.0f, -1.0f), VectorXY(16.0f, 24.0f), tri,
                     Colour(255, 255, 255, 128));
    const std::vector<hudtest::Prim> p = pk.Take();
    ASSERT_EQ(p.size(), 2u);
    using XY = std::array<float, 2>;
    EXPECT_EQ(p[0].type, u32(PRIM_TRIFAN));
    EXPECT_EQ(p[0].xy, (std::vector<XY>{{84, 84}, {115, 84}, {115, 115}, {84, 115}}));
    EXPECT_EQ(p[0].uv, (std::vector<XY>{{32, 0}, {63, 0}, {63, 31}, {32, 31}}));
    EXPECT_EQ(p[0].colour, Colour(255, 255, 64, 128));
    EXPECT_EQ(p[0].z[0], 0xFFFFFFu);
    EXPECT_EQ(p[1].xy, (std::vector<XY>{{76, 116}, {76, 85}, {107, 85}, {107, 116}}));
    EXPECT_EQ(pk.r.prim_reg & 7u, 0u);
}

// The cursor's world point, the target's distance and label: the label only
// while the target is within 16 pixels of the cursor's point and the level
// row has one; mission 2's row has none.
TEST_F(Gps, CursorPointTargetDistanceAndLabel)
{
    MapDisplay md(&player, nullptr);
    md.SetStaticTarget(VectorPos(-60.0f, 0.0f, 38.5f));
    gametest::Lend<MapDisplay> lent(g_pgcTest->pmd, &md);
    g_pgcTest->i16CurrMission = 4;
    // 320 units across 640 pixels: 2 pixels a unit.
    Cuboid box(VectorPos(-244.0f, -10.0f, -81.5f), VectorPos(76.0f, 10.0f, 158.5f));
    Rectf rect{0.0f, 0.0f, 640.0f, 480.0f};
    auto icons = [&] {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        UI.DrawMapIcons(box, rect, 0);
        gsframe::SendFrame();
    };
    UI.MapCursor = Vector(320.0f, 240.0f, 0.0f, 0.0f);
    icons();
    EXPECT_FLOAT_EQ(UI.CurseWorld[0], -84.0f);
    EXPECT_FLOAT_EQ(UI.CurseWorld[2], 38.5f);
    EXPECT_FLOAT_EQ(UI.CurseScreen[0], 320.0f);
    EXPECT_FLOAT_EQ(UI.CurseDist, 0.0f);
    EXPECT_FLOAT_EQ(UI.TargetDist, 24.0f);
    EXPECT_EQ(UI.zsTargetInfo, nullptr);   // 24 units = 48 pixels away
    // 7 units (14 pixels) from the target: the label, on the next call.
    UI.MapCursor = Vector(320.0f + 34.0f, 240.0f, 0.0f, 0.0f);
    icons();
    EXPECT_EQ(UI.zsTargetInfo, nullptr);
    icons();
    ASSERT_NE(UI.zsTargetInfo, nullptr);
    EXPECT_STREQ(UI.zsTargetInfo, "Red Lantern Bar");
    g_pgcTest->i16CurrMission = 2;
    icons();
    EXPECT_EQ(UI.zsTargetInfo, nullptr);
}

// A map frame over the sample city: the streets, the player's triangle, the
// target's square at the edge, the cursor with Cross held, and the texts.
TEST_F(Gps, MapFrameMatchesTheGoldenPicture)
{
    MapDisplay md(&player, nullptr);
    md.SetStaticTarget(VectorPos(400.0f, 0.0f, 38.5f));
    gametest::Lend<MapDisplay> lent(g_pgcTest->pmd, &md);
    g_pgcTest->i16CurrMission = 4;
    OpenMap();
    UI.MapCursor = Vector(300.0f, 245.0f, 0.0f, 0.0f);   // on the middle east-west street
    for (int f = 0; f < 20; f++)
        Frame(UIPAD_CROSS);
    EXPECT_GE(UI.LastStreetID, 0);
    golden::ExpectFrameBuffer("ui_gps_map", kW, kH);
}
