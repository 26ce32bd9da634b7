// The HUD drawn by the stand-in's GS over a flat background: the radar over
// a test city with named streets of road types 0, 2 and 6, its markers, the
// street names, the timer, the distance meter and the screen texts; and the
// gauges.  Golden pictures, and the radar's streets kept inside the map.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "game/city_support.h"
#include "game/hud_support.h"

#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/Player.h"

namespace {

constexpr int kW = 640, kH = 512;
constexpr float kM = 128.0f;   // the crossing, in cell (0, 0)

// The crossing of Mill Street (type 0) and Elm, whose north arm is an
// avenue (type 2) and whose south arm an alley of type 6 (no name on the
// radar's panel); gas stations about it.
tools::CityDescription HudCity()
{
    tools::CityDescription c = tools::TestCity(tools::TestCityKind::kCrossing);
    c.roadtypes[tools::kRoadStreet].type = 0;
    c.roadtypes[tools::kRoadAvenue].type = 2;
    c.roadtypes[tools::kRoadAlley].type = 6;
    for (tools::CitySegment& s : c.segments) {
        const VectorPos a = c.junctions[size_t(s.jtn[0])].pos, b = c.junctions[size_t(s.jtn[1])].pos;
        if (a[0] == b[0])   // an Elm arm
            s.type = (a[2] + b[2]) * 0.5f < kM ? tools::kRoadAvenue : tools::kRoadAlley;
    }
    for (VectorPos p : {VectorPos(kM + 20, -1.05f, kM - 30), VectorPos(kM - 12 + 70, -1.05f, kM + 55)}) {
        tools::CityInstance gas;
        gas.pos = p;
        gas.id = 258;
        c.instances.push_back(gas);
    }
    return c;
}

class HudPicture : public citytest::CityWorld
{
protected:
    Surface draw, zbuf;
    Dace player;
    MapDisplay md;
    std::optional<gametest::Lend<MapDisplay>> lentMap;
    Object subTarget;

    void SetUp() override
    {
        gsframe::ResetForFrames(10240, 6144);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        hudtest::SetUpScreen();
        ScreenPoint::SetSafeZone(0, 0);
        gametest::Controller()->bHUDOn = true;
        g_pgcTest->bInterior = false;
        g_pgcTest->iFlags = 0;
        lentMap.emplace(g_pgcTest->pmd, &md);
        world.time = 100;
    }
    void TearDown() override
    {
        TexManOff();
        for (Object*& o : g_pgcTest->rvpSubMissionTargets)
            o = nullptr;
        for (Vector& h : g_pgcTest->rvHealthLocations)
            h = Vector(0.0f, 0.0f, 0.0f, 0.0f);
        lentMap.reset();
        g_pgcTest->iTimeDisplayOutput = 0;
        dace = nullptr;
        world.time = 0;
        CityWorld::TearDown();
    }

    // The player on Mill Street 16 units west of the crossing, heading
    // along `heading` (x, z).
    void PlacePlayer(float hx, float hz)
    {
        Load(HudCity());
        ASSERT_TRUE(SyncTo(VectorPos(kM, -1.0f, kM)));
        player.mat = LookAlongMatrix(hx, hz);
        player.mat.SetTrans(VectorPos(kM - 16.0f, -1.0f, kM));
        dace = &player;
        // The player knows his street from his own ground cache, filled
        // as his ground is found at his feet.
        player.ghc.Clear();
        world.GroundHeight(player.GetWorldPos() - VectorDir(0.0f, 0.1f, 0.0f), nullptr, &player.ghc);
        md.Reset(&player, nullptr);
    }
    static Matrix LookAlongMatrix(float hx, float hz)
    {
        // Rows as the game's look-along gives them: x = (z.z, 0, -z.x).
        return Matrix(Vector(hz, 0, -hx, 0), Vector(0, 1, 0, 0), Vector(hx, 0, hz, 0), Vector(0, 0, 0, 1));
    }

    // One frame of the HUD over a flat background; the picture.
    std::vector<u32> Frame()
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(40, 52, 60, 128));
        r.Close(therenderer);
        MapDisplay::staticmh(&md, ROM_DRAW, &rc, nullptr, nullptr);
        gsframe::SendFrame();
        return golden::FramePicture(kW, kH);
    }
};

}  // namespace

TEST_F(HudPicture, RadarNamesTimerMeterAndTexts)
{
    PlacePlayer(1.0f, 0.0f);
    md.flags |= HUDF_STATICTARGET | HUDF_TIMER | HUDF_OTHERTARGETS | HUDF_SUBTARGETS;
    md.SetStaticTarget(VectorPos(kM + 200.0f, -1.0f, kM + 40.0f));   // far ahead: the edge arrow
    md.SetOtherStaticTarget(Vector(kM + 20.0f, -1.0f, kM + 20.0f, 1.0f), 0);   // a car
    md.SetOtherStaticTarget(Vector(kM - 30.0f, -1.0f, kM - 10.0f, 2.0f), 1);   // a crosshair
    subTarget.mat.SetTrans(VectorPos(kM - 20.0f, -1.0f, kM + 25.0f));
    g_pgcTest->rvpSubMissionTargets[0] = &subTarget;
    g_pgcTest->rvHealthLocations[0] = Vector(kM + 10.0f, -1.0f, kM - 12.0f, 1.0f);
    g_pgcTest->iTimeDisplayOutput = 3600;
    md.AddScreenText("MEET YOUR PARTNER AT THE DOCKS", STP_BRIEFING, 8, 300);
    md.screentext[0].nTimer = 30;
    md.AddScreenText("FOLLOW THE VAN", STP_MISSION, 8, 300);
    md.screentext[1].nTimer = 60;
    // The names fade in over 15 frames: the first frame finds them.
    Frame();
    world.time += 15;
    Frame();
    world.time += 1;
    golden::ExpectPicture("hud_radar_texts", kW, kH, Frame());
    EXPECT_EQ(md.riCurr.id, 1);    // Mill
    EXPECT_EQ(md.riCross.id, 4);   // Elm
}

TEST_F(HudPicture, TheRadarsStreetsStayInsideTheMap)
{
    PlacePlayer(0.6f, 0.8f);
    dace = nullptr;   // no names: only the streets differ
    const std::vector<u32> with = Frame();
    QuadTree* qt = world.quadtree;
    world.quadtree = nullptr;
    const std::vector<u32> without = Frame();
    world.quadtree = qt;
    // The map rectangle: (29, 370, 113, 114).
    int changed = 0, outside = 0;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            if (with[size_t(y * kW + x)] != without[size_t(y * kW + x)]) {
                changed++;
                outside += x < 29 || x >= 142 || y < 370 || y >= 484;
            }
    EXPECT_GT(changed, 300);
    EXPECT_EQ(outside, 0);
}

TEST_F(HudPicture, AGasStationInTheBoxButBeyondTheMapIsPinnedToItsEdge)
{
    // Heading north-east, the box is the bound of the turned square: the
    // station 70 east and 55 south lies in the box but off the map.
    PlacePlayer(0.70710677f, 0.70710677f);
    md.flags |= HUDF_SUBTARGETS;
    hudtest::Packet pk;
    hudtest::PinTextures(true);
    md.DrawHUD(pk.r);
    hudtest::PinTextures(false);
    // Yellow gas icons: one inside, one pinned to the edge.
    int inside = 0, pinned = 0;
    for (const hudtest::Prim& p : pk.Take())
        if (p.uv.size() == 2 && p.uv[0] == std::array<float, 2>{16.0f, 152.0f}) {
            const float cx = p.xy[0][0] + 8.0f, cy = p.xy[0][1] + 8.0f;
            const bool onEdge = cx == 29.0f || cx == 142.0f || cy == 370.0f || cy == 484.0f;
            (onEdge ? pinned : inside)++;
            EXPECT_EQ(p.colour, Colour(128, 128, 0, 128));
        }
    EXPECT_EQ(inside, 1);
    EXPECT_EQ(pinned, 1);
}

// The radar turns with the player as the 3-D view does: a point that the
// view from behind the player (looking along his heading, his own frame)
// shows right of the picture's middle, the radar shows right of its
// centre, and one the view shows left, left.  The radar's marker is found
// in the drawn picture, the view's side from its projection.
TEST_F(HudPicture, TheRadarTurnsWithTheViewsHandedness)
{
    RenderContext view;
    gsframe::SetFrameView(view, kW, kH);
    view.SetZRange(0.1f, 2000.0f);
    view.SetPerspective(1.6f);
    const float headings[3][2] = {{1.0f, 0.0f}, {0.0f, 1.0f}, {-0.6f, 0.8f}};
    for (const auto& h : headings) {
        PlacePlayer(h[0], h[1]);
        dace = nullptr;   // no street names: only the marker differs
        const VectorPos at = player.GetWorldPos();
        Matrix eye = player.mat;
        eye.SetTrans(VectorPos(at[0] - 3.0f * h[0], at[1] - 1.0f, at[2] - 3.0f * h[1]));
        view.SetCameraMatrix(eye);
        const std::vector<u32> plain = Frame();
        // Ten ahead and six to either side across the heading.
        for (float side : {1.0f, -1.0f}) {
            const VectorPos p(at[0] + 10.0f * h[0] + 6.0f * side * h[1], at[1], at[2] + 10.0f * h[1] - 6.0f * side * h[0]);
            const Vector s = view.world_screen * Vector(p, 1.0f);
            const bool viewRight = s[0] / s[3] > 2048.0f + kW / 2;
            md.flags |= HUDF_STATICTARGET;
            md.SetStaticTarget(p);
            const std::vector<u32> marked = Frame();
            md.flags &= ~HUDF_STATICTARGET;
            // The marker's pixels in the map (29, 370, 113, 114), about its
            // centre column 85.
            int n = 0, sumx = 0;
            for (int y = 370; y < 484; y++)
                for (int x = 29; x < 142; x++)
                    if (marked[size_t(y * kW + x)] != plain[size_t(y * kW + x)]) {
                        n++;
                        sumx += x;
                    }
            ASSERT_GT(n, 0) << h[0] << ", " << h[1] << " side " << side;
            const bool radarRight = float(sumx) / float(n) > 85.0f;
            EXPECT_EQ(radarRight, viewRight) << h[0] << ", " << h[1] << " side " << side;
        }
    }
}

TEST_F(HudPicture, Gauges)
{
    Load(HudCity());
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    Render2D r;
    r.Open(therenderer);
    gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(40, 52, 60, 128));
    SetHUDSpriteState(r, HUDNewTexture(), 128);
    const Rect grey{0, 169, 16, 63}, red{16, 169, 16, 63}, white{32, 169, 16, 63}, flash{48, 169, 16, 63};
    DrawGauge2(r, true, 0.6f, hudlayout::srectPlayerHealth.MapRect(), grey, red, flash, 0);
    DrawGauge2(r, false, 0.3f, hudlayout::srectEnemyHealth.MapRect(), grey, red, flash, 96);
    DrawGauge3(r, true, 0.8f, 0.4f, hudlayout::srectAmmo.MapRect(), grey, white, red, flash, 0);
    // The old image under a rising flash, half-way.
    FadeDispInfo fdi{FDI_RISING, 96, 0, 0};
    FlashSprite(r, 8.0f, Rect{120, 24, 16, 63}, grey, white, flash, fdi);
    r.Close(therenderer);
    gsframe::SendFrame();
    golden::ExpectFrameBuffer("hud_gauges", kW, kH);
}

TEST_F(HudPicture, TheCompactMapShowsOnlyTheRouteOverHalfTheAreaWithoutNames)
{
    PlacePlayer(1.0f, 0.0f);
    // A route from the player 10 ahead, then round to 20 ahead, 20 right.
    alignas(16) Vector pts[4] = {Vector(kM - 16.0f, -1.0f, kM, 0.0f), Vector(kM - 6.0f, -1.0f, kM, 0.0f),
                                 Vector(kM + 4.0f, -1.0f, kM, 0.0f), Vector(kM + 4.0f, -1.0f, kM - 20.0f, 0.0f)};
    Spline* route = reinterpret_cast<Spline*>(pts);
    route->SetCount(4);
    g_pgcTest->splRadarList.AddTail(route);
    md.flags |= HUDF_COMPACTMAP;
    hudtest::Packet pk;
    hudtest::PinTextures(true);
    md.DrawHUD(pk.r);
    hudtest::PinTextures(false);
    g_pgcTest->splRadarList.RemoveTail();
    int strips = 0, panels = 0;
    for (const hudtest::Prim& p : pk.Take()) {
        if (p.uv.empty() && (p.type == PRIM_TRISTRIP || p.type == PRIM_TRI)) {
            strips++;
            EXPECT_EQ(p.colour.Word(), 0x66808080u);
            ASSERT_EQ(p.xy.size(), 14u);
            // 6 wide about the map's centre, at 57 / 25 pixels a unit.
            EXPECT_EQ(p.xy[0], (std::array<float, 2>{82.0f, 427.0f}));
            EXPECT_EQ(p.xy[1], (std::array<float, 2>{88.0f, 427.0f}));
            // The end, 20 ahead and 20 right, crossed by the last piece.
            EXPECT_NEAR(p.xy[13][0], 85.0f + 20.0f * 56.5f / 25.0f, 0.1f);
            EXPECT_NEAR(p.xy[13][1], 427.0f - 20.0f * 57.0f / 25.0f + 3.0f, 0.1f);
        }
        panels += p.type == PRIM_TRIFAN && p.xy.size() == 7;
    }
    EXPECT_EQ(strips, 1);   // the streets are hidden
    EXPECT_EQ(panels, 0);   // no street-name panel
    EXPECT_EQ(md.riCurr.id, -1);
}
