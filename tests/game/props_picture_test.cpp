// The sample disc's props drawn on the stand-in's GS: a traffic light
// showing each of its three lamps with its glows, and a hydrant burst by a
// hard hit, its stump and geyser; compared with golden pictures.
#include "game/explode_support.h"
#include "game/particle_support.h"

#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "game/CityLights.h"
#include "game/CityObjects.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Road.h"

using namespace parttest;
using namespace explodetest;

namespace {

// A 256 x 128 draw buffer at block 0, its Z buffer after it, textures from
// block 1024; the camera at the origin looks along +z.
constexpr int kW = 256, kH = 128;
constexpr int kSlot = 249;
const Colour kBackground(24, 28, 40, 128);

class PropPicture : public ParticleWorld
{
protected:
    Surface draw, zbuf, savedDraw, savedZ;
    RenderContext view;
    FreshResidentFiles* files = nullptr;

    void SetUp() override
    {
        ParticleWorld::SetUp();
        gGlows.Clear();
        files = new FreshResidentFiles;
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        savedDraw = Platform::GetDrawBuffer();
        savedZ = Platform::GetZBuffer();
        view.SetViewport(2048.0f, 2048.0f + kW, 2048.0f, 2048.0f + kH, 1.0f, 16000000.0f);
        view.SetPerspective(1.0f);
        view.SetCameraMatrix(Matrix(true));
        rc.SetCameraMatrix(Matrix(true));
    }
    void TearDown() override
    {
        gGlows.Clear();
        world.time = 0;
        ParticleWorld::TearDown();
        therenderer.ClearTexture();
        TexManOff();
        Platform::GetDrawBuffer() = savedDraw;
        Platform::GetZBuffer() = savedZ;
        delete files;
    }

    // A real prop of the file in kSlot at `at`, made by its handler.
    static Object* Prop(MDLFILE* mf, VectorPos at)
    {
        Object t;
        t.mdlfile = mf;
        OBJMESSAGEHANDLER h = GetGridMessageHandler(&t);
        EXPECT_NE(h, nullptr);
        Object* o = reinterpret_cast<Object*>(intptr_t(h(nullptr, OM_CREATE, nullptr)));
        mf->GetHierarchyTo(o, 0, GH_ANIMATE);
        o->mat = TransMatrix(at);
        world.AddObject(o, const_cast<ExteriorSpecific_params*>(PropParams(mf, 0)));
        return o;
    }

    // One frame: the background at depth 1, the objects, then the glows and
    // the particles.
    void Picture(std::initializer_list<Object*> objects)
    {
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, kBackground);
        view.Begin();
        for (Object* o : objects)
            Draw(view, o, o->mat);
        gGlows.DrawReal(view);
        world.partList.Draw(view);
        gsframe::SendFrame();
    }

    // The id of the lamp whose lenses stand out of the housing (half width
    // 0.12) on both faces while the other four sink inside it; 0 for any
    // other pose.
    static int LitLamps(Object* light)
    {
        int lit = 0, out = 0, in = 0;
        for (Object* o = light->child; o != nullptr; o = o->sibling) {
            if (u16(o->id) < 0x8001 || u16(o->id) > 0x8003)
                continue;
            if (std::fabs(o->mat.GetTrans()[0]) > 0.12f) {
                if (out++ > 0 && u16(o->id) != lit)
                    return 0;
                lit = u16(o->id);
            } else {
                in++;
            }
        }
        return out == 2 && in == 4 ? lit : 0;
    }

    // The brightest pixel's colour in the box (x0, y0)-(x1, y1).
    static u32 Brightest(int x0, int y0, int x1, int y1)
    {
        u32 best = 0;
        int bestSum = -1;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) {
                const u32 c = golden::FramePixel(x, y, kW);
                const int sum = int(c & 0xFF) + int(c >> 8 & 0xFF) + int(c >> 16 & 0xFF);
                if (sum > bestSum) {
                    bestSum = sum;
                    best = c;
                }
            }
        return best;
    }
};

}  // namespace

// A traffic light 4 units ahead, its lamps' face toward the camera, on a
// running signal of the first group: the time when each lamp first shows is
// found by asking the signal, then the light is shown at that time.  The
// lit lamp's glow sits at its own height on the head: red at the top, green
// at the bottom.
TEST_F(PropPicture, ATrafficLightInItsThreeStates)
{
    const tools::PropFile p = tools::MakeProp(tools::PropKind::kTrafficLight);
    SlotFile f(kSlot, p.file, p.params);
    Object* light = Prop(f.mf(), VectorPos(0.0f, 0.5f, 4.0f));
    light->mat = RotY(1.5707964f) * light->mat;   // x (the lamps' face) toward the camera
    StopLight* s = static_cast<StopLight*>(light);
    s->u16Flags = u16(2 | SIGNAL_FIRSTGROUP);
    s->u16TimeOffset = 0;
    int when[3] = {-1, -1, -1};   // green, amber, red
    for (int t = 0; t < 20000; t += 8) {
        const int lamp = GetGeneralSignalCommand(s->u16Flags, 0, t) & 0xC;
        const int k = lamp == 0 ? 0 : lamp == 12 ? 2 : 1;
        if (when[k] < 0)
            when[k] = t;
    }
    const char* names[3] = {"traffic_light_green", "traffic_light_amber", "traffic_light_red"};
    int glowRows[3];
    for (int k = 0; k < 3; k++) {
        ASSERT_GE(when[k], 0) << names[k];
        world.time = when[k];
        s->iLastCmd = -1;
        s->Timer(light);
        world.StopTimer(light);
        gGlows.Clear();
        light->SendMessage(OM_WASDRAWN, nullptr);
        Picture({light});
        // The lamp's glow: its colour's own channel strongest.
        const u32 c = Brightest(96, 0, 160, kH);
        const int r = int(c & 0xFF), g = int(c >> 8 & 0xFF);
        if (k == 0)
            EXPECT_GT(g, r) << names[k];
        else if (k == 2)
            EXPECT_GT(r, g) << names[k];
        else
            EXPECT_GT(r + g, 2 * int(kBackground.r + kBackground.g)) << names[k];
        glowRows[k] = int(s->glow[0].v0[1] * 1000.0f);
        EXPECT_EQ(LitLamps(light), (k == 0 ? 0x8003 : k == 1 ? 0x8002 : 0x8001)) << names[k];
        golden::ExpectFrameBuffer(names[k], kW, kH);
    }
    // Later in the animation clock's period the lamps follow the signal the
    // same way.
    const AnimTime saved = AnimationClock();
    AnimationClock() = AnimTime(u32(40000) << 8);
    for (int k = 0; k < 3; k++) {
        world.time = when[k];
        s->iLastCmd = -1;
        s->Timer(light);
        world.StopTimer(light);
        EXPECT_EQ(LitLamps(light), (k == 0 ? 0x8003 : k == 1 ? 0x8002 : 0x8001)) << names[k];
    }
    AnimationClock() = saved;
    // y grows downward: red highest, green lowest.
    EXPECT_LT(glowRows[2], glowRows[1]);
    EXPECT_LT(glowRows[1], glowRows[0]);
}

// The sample hydrant 3 units ahead hit with a damage of 20: it leaves its
// stump, and its geyser sprays for a second.
TEST_F(PropPicture, AHydrantBurstsIntoAGeyser)
{
    const tools::PropFile p = tools::MakeProp(tools::PropKind::kHydrant);
    SlotFile f(kSlot, p.file, p.params);
    Object* hydrant = Prop(f.mf(), VectorPos(0.0f, 0.8f, 3.0f));
    ASSERT_EQ(hydrant->messagehandler, ExteriorDamageable::_mh);
    hydrant->SendMessage(OM_DAMAGE, reinterpret_cast<void*>(intptr_t(20)));
    ASSERT_NE(hydrant->geom, nullptr);
    EXPECT_EQ(hydrant->geom->index, 1);   // the stump
    Ticks(25);
    Picture({hydrant});
    // Spray above the stump: lighter than the background.
    const u32 c = Brightest(112, 0, 144, 60);
    EXPECT_GT(int(c >> 16 & 0xFF), int(kBackground.b) + 20);
    golden::ExpectFrameBuffer("hydrant_burst", kW, kH);
}

// The sample street sign 2 units ahead, its board toward the camera, with a
// street's name written into its board just before it is drawn; a hydrant
// drawn after it, behind the board, stays hidden behind it: writing the name
// leaves the scene's depth test in force for what follows.
TEST_F(PropPicture, AStreetSignShowsItsStreetsName)
{
    const tools::PropFile p = tools::MakeProp(tools::PropKind::kStreetSign);
    SlotFile f(kSlot, p.file, p.params);
    Object* sign = Prop(f.mf(), VectorPos(0.0f, 1.6f, 2.0f));
    const tools::PropFile h = tools::MakeProp(tools::PropKind::kHydrant);
    SlotFile hf(kSlot - 1, h.file, h.params);
    Object* hydrant = Prop(hf.mf(), VectorPos(1.02f, -1.05f, 3.0f));
    // The frame's buffers, which the sign draws into again after its name.
    Platform::GetDrawBuffer() = draw;
    Platform::GetZBuffer() = zbuf;
    gsframe::BeginDepthFrame(draw, zbuf, kW, kH, kBackground);
    view.Begin();
    EXPECT_EQ(DrawSignWithText(sign, &view, "ELM ST", true), 1);
    Draw(view, hydrant, hydrant->mat);
    gsframe::SendFrame();
    // Inside the board: its green, the name's light letters, none of the
    // hydrant (unlit here: plain grey).
    int green = 0, light = 0, grey = 0;
    for (int y = 12; y < 27; y++)
        for (int x = 140; x < 205; x++) {
            const u32 c = golden::FramePixel(x, y, kW);
            const int r = int(c & 0xFF), g = int(c >> 8 & 0xFF), b = int(c >> 16 & 0xFF);
            green += g > r + 20 && g > b + 20;
            light += r > 150 && g > 150 && b > 150;
            grey += r == g && g == b && r > 90 && r < 160;
        }
    EXPECT_GT(green, 400);
    EXPECT_GT(light, 40);
    EXPECT_EQ(grey, 0);
    golden::ExpectFrameBuffer("street_sign", kW, kH);
}

// The drive-to marker (the attention glow's node 24) 8 units ahead, its
// foot a unit below the eye: a column of warm light added to the picture,
// brightest at its foot and fading upwards, the background showing through
// it and untouched beside it.
TEST_F(PropPicture, TheDriveToMarkerIsAColumnOfLightFadingUpwards)
{
    SlotFile f(kSlot, tools::AttentionGlowFile());
    Object* marker = f.mf()->GetHierarchy(24, sizeof(Object), GH_ANIMATE);
    ASSERT_NE(marker, nullptr);
    marker->mat = TransMatrix(VectorPos(0.0f, 1.0f, 8.0f)) ;
    gsframe::BeginDepthFrame(draw, zbuf, kW, kH, kBackground);
    view.Begin();
    InitTransparencies(view);
    Draw(view, marker, marker->mat);
    DrawTransparencies(view);
    gsframe::SendFrame();
    auto at = [](int x, int y) { return golden::FramePixel(x, y, kW); };
    auto red = [&](int x, int y) { return int(at(x, y) & 0xFF); };
    auto blue = [&](int x, int y) { return int(at(x, y) >> 16 & 0xFF); };
    // The foot lies 16 pixels below the centre row; the column is 5 units
    // high (80 pixels) and 1.4 wide (22 pixels).
    const int foot = 64 + 16 - 2, middle = foot - 40, top = foot - 76;
    EXPECT_GT(red(128, foot), int(kBackground.r) + 100);
    EXPECT_GT(red(128, foot), red(128, middle) + 20);
    EXPECT_GT(red(128, middle), red(128, top));
    EXPECT_LT(red(128, top), int(kBackground.r) + 20);
    // Warm: red well over blue where it is bright.
    EXPECT_GT(red(128, foot) - int(kBackground.r), 2 * (blue(128, foot) - int(kBackground.b)));
    // Beside it the background is as it was.
    EXPECT_EQ(at(100, foot) & 0xFFFFFF, kBackground.Word() & 0xFFFFFF);
    golden::ExpectFrameBuffer("drive_to_marker", kW, kH);
    marker->Delete();
}
