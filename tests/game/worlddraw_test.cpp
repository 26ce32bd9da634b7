// One frame of the world: the steps of the draw in their order over the
// sample city, night and shadow strength by the clock and the sun, the
// vehicles' light cones at night, a frame without a city, the post-draw
// list's walks, pictures of the sample city at noon and at midnight, and the
// sea off the quay of a test city.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/modeldraw_support.h"
#include "ZevEngine2/PS2/shadowmodel_support.h"
#include "ZevEngine2/light.h"
#include "game/Backdrop.h"
#include "game/QuadTree.h"
#include "game/LightSets.h"
#include "game/Water.h"
#include "game/city_support.h"
#include "game/ocean_support.h"
#include "tools/lib/city.h"
#include "tools/lib/skyfile.h"

namespace {

constexpr int kW = 256, kH = 128;
constexpr u32 kHour = 216000;

std::vector<std::string> steps;
void Record(const char* step)
{
    steps.push_back(step);
}

class WorldFrame : public citytest::CityWorld
{
protected:
    Surface draw, zbuf;
    RenderContext rc;
    LightContext lights;
    Surface savedDraw, savedZ;

    void SetUp() override
    {
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        gsframe::SetFrameView(rc, kW, kH);
        rc.SetZRange(0.1f, 2000.0f);
        rc.SetPerspective(1.0f);
        savedDraw = Platform::GetDrawBuffer();
        savedZ = Platform::GetZBuffer();
        Platform::GetDrawBuffer() = draw;
        Platform::GetZBuffer() = zbuf;
        lights.Clear();
        SetLightContext(&lights);
        LoadSky();
        // No ocean unless a test asks for it: the game turns it on at every
        // world start and controller tear-down.
        world.oceanenable = false;
        world.lightset = LightSet{};
        world.SetColours(DaylightSet());
        world.time_of_day = KVWorld::DAY_FRAMES / 2;
        steps.clear();
    }
    void TearDown() override
    {
        KVWorld::drawtrace = nullptr;
        world.oceanenable = false;
        vehiclelights = VehicleLightCalls{};
        world.vehlist.RemoveAll();
        world.time_of_day = KVWorld::DAY_FRAMES / 2;
        therenderer.ClearTexture();
        TexManOff();
        SetLightContext(nullptr);
        Platform::GetDrawBuffer() = savedDraw;
        Platform::GetZBuffer() = savedZ;
        citytest::CityWorld::TearDown();
    }

    static void LoadSky()
    {
        std::vector<u8> bytes;
        std::string error;
        ASSERT_TRUE(tools::WriteP2B(tools::SkyModelFile(), bytes, error)) << error;
        void* block = malloc_align(bytes.size(), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        bd.InitFrom(block, u32(bytes.size()));
    }

    // One whole frame of the world from eye toward at.
    void Frame(VectorPos eye, VectorPos at, bool drawcity = true)
    {
        rc.SetCameraMatrix(LookatMatrix(eye, at));
        lights.Clear();
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
        world.Draw(rc, drawcity, true);
        gsframe::SendFrame();
    }
    void SampleCity()
    {
        Load(tools::SampleCity());
        ASSERT_TRUE(SyncTo(VectorPos(-84.0f, 0.0f, 38.5f)));
    }
};

// The steps of a noon frame over the sample city, in the draw's order (no
// vehicle lights by day, no water without the ocean).
TEST_F(WorldFrame, StepsOfANoonFrameInOrder)
{
    SampleCity();
    KVWorld::drawtrace = Record;
    Frame(VectorPos(-84.0f, -2.5f, 32.0f), VectorPos(-74.0f, -2.5f, 32.0f));
    const std::vector<std::string> want = {
        "fog",         "clear",        "lights",      "begin",    "visibility", "roads",
        "reflections", "cityobjects",  "liveobjects", "cleartexture", "shadows", "characters",
        "lightsoff",   "predraw",      "fogdraw",     "sky",      "blur",       "motionblur",
        "blurtrails",  "transparencies", "particles", "rain",     "glows",      "headlights"};
    EXPECT_EQ(steps, want);
    // The fog takes the sky's colour 20 degrees up ahead: the day set's
    // 20-degree colour (5) and a little of the sun's glow.
    const Colour fog = gFog.fogcolour;
    const LightSet day = DaylightSet();
    EXPECT_GE(fog.r, day.colours[5].r);
    EXPECT_LE(fog.r, day.colours[5].r + 8);
    EXPECT_GE(fog.b, day.colours[5].b);
    EXPECT_LE(fog.b, day.colours[5].b + 8);
}

// Night is hours 18 to 4 (an hour is 216,000 frames); the shadows' strength
// rises from 0 with the shadow light's y at -0.125 to 1 at -0.25.
TEST_F(WorldFrame, NightByTheHourAndShadowStrengthBySunHeight)
{
    const struct
    {
        u32 time;
        bool night;
    } hours[] = {{2592000, false}, {3888000, true}, {3672000, false}, {0, true},
                 {4 * kHour, true}, {5 * kHour - 1, true}, {5 * kHour, false}, {18 * kHour - 1, false}};
    for (const auto& h : hours) {
        world.time_of_day = h.time;
        EXPECT_EQ(world.IsNight(), h.night) << h.time;
    }
    world.shadowlight = Vector(0, -0.125f, 0.9f, 0);
    EXPECT_EQ(world.ShadowStrength(), 0.0f);
    world.shadowlight.sety(-0.1875f);
    EXPECT_FLOAT_EQ(world.ShadowStrength(), 0.5f);
    world.shadowlight.sety(-0.25f);
    EXPECT_EQ(world.ShadowStrength(), 1.0f);
    world.shadowlight.sety(-0.9f);
    EXPECT_EQ(world.ShadowStrength(), 1.0f);
    // The day set's sun stands high: its shadows are full.
    world.SetColours(DaylightSet());
    EXPECT_EQ(world.ShadowStrength(), 1.0f);
    EXPECT_EQ(world.shadowlight[3], 0.0f);
}

std::vector<Object*> coned;
bool EngineRunning(Object* v)
{
    return v->id == 1;
}
void Cone(Object* v, RenderContext&)
{
    coned.push_back(v);
}

// At night the light cones of vehicles with their lights on are drawn,
// with or without shadows; by day none.  Without a city the rest of the
// frame is drawn all the same.
TEST_F(WorldFrame, LightConesAtNightOnlyForVehiclesShowingLights)
{
    Object running, parked;
    running.id = 1;
    parked.id = 2;
    world.vehlist.AddTail(&running);
    world.vehlist.AddTail(&parked);
    vehiclelights.ShowsLights = EngineRunning;
    vehiclelights.DrawLightCone = Cone;
    KVWorld::drawtrace = Record;
    for (float y : {0.0f, -0.5f}) {   // no shadows, then full shadows
        coned.clear();
        steps.clear();
        world.time_of_day = 0;
        world.shadowlight.sety(y);
        Frame(VectorPos(0, -2, 0), VectorPos(0, -2, 10), false);
        ASSERT_EQ(coned.size(), 1u) << y;
        EXPECT_EQ(coned[0], &running);
        EXPECT_EQ(std::count(steps.begin(), steps.end(), "cones"), 1) << y;
        EXPECT_EQ(std::count(steps.begin(), steps.end(), "shadows"), y < 0.0f ? 1 : 0) << y;
        EXPECT_EQ(std::count(steps.begin(), steps.end(), "roads"), 0);
    }
    coned.clear();
    world.time_of_day = KVWorld::DAY_FRAMES / 2;
    Frame(VectorPos(0, -2, 0), VectorPos(0, -2, 10), false);
    EXPECT_TRUE(coned.empty());
    world.vehlist.RemoveAll();
}

std::vector<std::pair<int, int>> wasdrawn;   // (id, time)
int Drawn(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_RENDER)
        steps.push_back("draw " + std::to_string(o->id));
    if (msg == OM_WASDRAWN)
        wasdrawn.push_back({o->id, int(intptr_t(data))});
    return msg == OM_RENDER ? 1 : 0;
}

// Live objects in view are drawn and told so with the world's time;
// characters wait until after the shadows; dead objects lose their link,
// objects with a parent are drawn by it.
TEST_F(WorldFrame, LiveObjectsAndTheCharactersAfterTheShadows)
{
    Object prop(Drawn), hero(Drawn), dead(Drawn), part(Drawn), far(Drawn);
    const int ids[] = {1, 2, 3, 4, 5};
    Object* all[] = {&prop, &hero, &dead, &part, &far};
    for (int i = 0; i < 5; i++) {
        all[i]->id = s16(ids[i]);
        all[i]->flags |= OBJF_DRAWSELF;
        all[i]->radius = 1.0f;
        all[i]->mat = Matrix(true);
        all[i]->mat.SetTrans(VectorPos(float(i) - 2.0f, -2.0f, 10.0f));
        world.objectlist.AddTail(all[i]);
    }
    hero.type = OBJT_CHARACTER;
    prop.type = OBJT_STATIC;
    dead.flags |= OBJF_DEAD;
    dead.refcount++;   // the test's own: the list dropping its link frees nothing
    part.parent = &prop;
    far.mat.SetTrans(VectorPos(0.0f, -2.0f, -50.0f));   // behind the camera
    world.time = 1234;
    wasdrawn.clear();
    KVWorld::drawtrace = Record;
    Frame(VectorPos(0, -2, 0), VectorPos(0, -2, 10), false);
    const auto at = [](const char* s) { return std::find(steps.begin(), steps.end(), s) - steps.begin(); };
    ASSERT_LT(at("draw 1"), at("cleartexture"));
    EXPECT_GT(at("draw 1"), at("liveobjects"));
    EXPECT_GT(at("draw 2"), at("characters"));
    EXPECT_LT(at("draw 2"), at("lightsoff"));
    EXPECT_EQ(at("draw 3"), std::ptrdiff_t(steps.size()));
    EXPECT_EQ(at("draw 4"), std::ptrdiff_t(steps.size()));
    EXPECT_EQ(at("draw 5"), std::ptrdiff_t(steps.size()));
    EXPECT_EQ(wasdrawn, (std::vector<std::pair<int, int>>{{1, 1234}, {2, 1234}}));
    EXPECT_EQ(world.objectlist.Find(&dead), nullptr);
    EXPECT_EQ(hero.refcount, 1);   // the list's own reference only
    part.parent = nullptr;
    world.objectlist.RemoveAll();
    world.time = 0;
}

// ----------------------------------------------------------- post-draw list

struct Item
{
    RawObj raw;
    int answer = 0;
    std::vector<RAWOBJMESSAGE> got;
};
Item* Of(RawObj* r)
{
    return reinterpret_cast<Item*>(r);
}
int Handler(RawObj* r, RAWOBJMESSAGE msg, void*, void*, void*)
{
    Of(r)->got.push_back(msg);
    return msg == ROM_DESTROY ? Of(r)->answer : 0;
}

TEST_F(WorldFrame, PostDrawListWalks)
{
    Item keep, bare, go;
    keep.raw.messagehandler = Handler;
    go.raw.messagehandler = Handler;
    go.answer = 1;
    world.AddPostRawObj(&keep.raw, true);
    world.AddPostRawObj(&bare.raw, true);   // no handler: passed over
    world.AddPostRawObj(&go.raw, true);

    // Each draw walk starts with one FLUSH in the frame.
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    for (int walk = 0; walk < 2; walk++) {
        const u32* from = therenderer.p;
        if (walk == 0)
            world.DrawPreTransRaw(rc, 1);
        else
            world.DrawPostRaw(rc, 1);
        ASSERT_GT(therenderer.p, from);
        EXPECT_EQ(from[0], VIF_FLUSH);
        EXPECT_EQ(therenderer.p - from, 1);
    }
    therenderer.EndScene();
    world.UpdatePostRaw(3);
    const std::vector<RAWOBJMESSAGE> drawn = {ROM_PREDRAW, ROM_DRAW, ROM_FRAME};
    EXPECT_EQ(keep.got, drawn);
    EXPECT_EQ(go.got, drawn);

    // The item answering 0 stays; the rest are still asked.
    world.RequestDestroyPostRaw();
    EXPECT_EQ(keep.got.back(), ROM_DESTROY);
    EXPECT_EQ(go.got.back(), ROM_DESTROY);
    ASSERT_EQ(world.rawobjPostList.Count(), 2);
    EXPECT_EQ(world.rawobjPostList.Head()->data, &keep.raw);
    EXPECT_EQ(world.rawobjPostList.Head()->Next()->data, &bare.raw);
    world.RemovePostRawObj(&keep.raw);
    world.RemovePostRawObj(&bare.raw);
    EXPECT_TRUE(world.rawobjPostList.IsEmpty());
}

// ------------------------------------------------------------------ pictures

// A live post 0.8 wide and 1.8 high standing on the street (its origin 0.9
// above the ground at y -1, so that its shadow volume ends 0.1 under the
// ground), whose shadow model is a closed box just inside it.
struct Caster
{
    modeldraw::LoadedFile file;
    Object obj;

    static tools::P2BFile Make()
    {
        tools::P2BFile f = modeldraw::FileOf(tools::BoxModel(0.4f, 0.9f, 0.4f, TEXID_NONE, true));
        tools::P2BModel shadow;
        tools::P2BMaterial m;
        m.desc = 3;
        std::vector<shadowmodel::V3> corners = shadowmodel::CubeCorners(1.0f);
        for (shadowmodel::V3& c : corners)
            c = {c.x * 0.39f, c.y * 0.89f, c.z * 0.39f};
        m.data = shadowmodel::ShadowStream(corners, shadowmodel::CubeTriangles(corners));
        shadow.opaque.push_back(m);
        f.shadows.push_back(shadow);
        f.version = MDL_SHADOW_VERSION;   // older files carry no shadow models
        f.nodes[0].pos.setwcomponent((f.nodes[0].pos.wcomponent() & ~0xFFFF) | 1);
        return f;
    }
    explicit Caster(VectorPos at) : file(Make())
    {
        file.mf.GetHierarchyTo(&obj, 0, 0);
        obj.FindShadows();
        obj.mat = Matrix(true);
        obj.mat.SetTrans(at);
        obj.radius = 1.0f;
        world.objectlist.AddTail(&obj);
    }
    ~Caster() { world.objectlist.Remove(&obj); }
};

// The sample city from the stand-in drive's start at noon: the street and
// buildings under the day sky, the far end fogged toward the sky's colour,
// and a post on the street casting its shadow.
TEST_F(WorldFrame, SampleCityAtNoon)
{
    SampleCity();
    Caster box(VectorPos(-77.0f, -1.9f, 31.5f));
    ASSERT_TRUE(box.obj.flags & OBJF_SHADOW);
    Frame(VectorPos(-84.0f, -2.5f, 32.0f), VectorPos(-74.0f, -2.5f, 30.0f));
    // Blue sky along the top.
    const u32 sky = golden::FramePixel(128, 4, kW);
    EXPECT_GT(int(sky >> 16 & 0xFF), int(sky & 0xFF) + 30);
    golden::ExpectFrameBuffer("world_noon", kW, kH);
}

// The same at midnight under a night set: a dark sky with the moon and
// stars.
TEST_F(WorldFrame, SampleCityAtMidnight)
{
    SampleCity();
    LightSet night = DaylightSet();
    const Colour sky[5] = {Colour(5, 8, 25, 128), Colour(10, 14, 35, 128), Colour(15, 20, 45, 128),
                           Colour(22, 28, 55, 128), Colour(40, 40, 60, 128)};
    for (int i = 0; i < 5; i++)
        night.colours[4 + i] = sky[i];
    night.colours[0] = Colour(40, 45, 70, 128);
    night.colours[3] = Colour(25, 25, 40, 128);
    night.lightang[0] = {1.1f, 0.6f};   // the light from below the horizon: no shadows
    world.SetColours(night);
    world.time_of_day = 0;
    Frame(VectorPos(-84.0f, -2.5f, 32.0f), VectorPos(-74.0f, -8.0f, 30.0f));
    EXPECT_EQ(world.ShadowStrength(), 0.0f);
    golden::ExpectFrameBuffer("world_midnight", kW, kH);
}

// The sea off the test city's quay at five in the afternoon, looking along
// the quay toward the low sun.  The quay's wall goes down under the sea
// plane, so its cell reaches below it and the frame draws the water right
// after the sky.  Against the same frame without the ocean the sea shows
// beyond the quay's edge and leaves the street, the quay and the grass, all
// in front of it, exactly as they were, also when the pass before it left
// the depth test always passing.
TEST_F(WorldFrame, SeaOffTheQuay)
{
    Load(tools::TestCity(tools::TestCityKind::kQuay));
    ASSERT_TRUE(SyncTo(VectorPos(128.0f, 0.0f, 138.0f)));
    int below = 0;
    for (const Grid& cell : qt().grid)
        below += cell.root != nullptr && cell.root->ext.max[1] > 0.0f;
    EXPECT_EQ(below, 1);

    // The waves' first frame, whatever drew the sea before.
    oceantest::FreshOcean();
    const VectorPos eye(160.0f, -6.0f, 140.0f), at(133.0f, -3.0f, 126.5f);
    world.time_of_day = 17 * kHour;
    world.oceanenable = true;
    KVWorld::drawtrace = Record;
    Frame(eye, at);
    KVWorld::drawtrace = nullptr;
    world.oceanenable = false;
    const auto sky = std::find(steps.begin(), steps.end(), "sky");
    ASSERT_NE(sky, steps.end());
    ASSERT_NE(sky + 1, steps.end());
    EXPECT_EQ(sky[1], "water");
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "water"), 1);
    const std::vector<u32> sea = golden::FramePicture(kW, kH);
    golden::ExpectFrameBuffer("quay_sea", kW, kH);

    // The same frame without the ocean; then again with the sea drawn after
    // a 2-D pass that leaves the depth test always passing (a fog pass that
    // had no room for its palette would): the sea keeps to its own test.
    Frame(eye, at);
    const std::vector<u32> land = golden::FramePicture(kW, kH);
    rc.SetCameraMatrix(LookatMatrix(eye, at));
    lights.Clear();
    gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
    world.Draw(rc, true, true);
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetZTest(ZTEST_ALWAYS);
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.DrawRect(0, 0, 1, 1, Colour(0, 0, 0, 0), 0);   // clear: the sky's corner keeps its colour
    r2d.Close(therenderer);
    MC2TestWater(rc);
    gsframe::SendFrame();
    const std::vector<u32> after = golden::FramePicture(kW, kH);

    // Either way the sea changes all of a band below the horizon left of the
    // quay and none of the street, the quay and the grass under the camera.
    for (const std::vector<u32>* pic : {&sea, &after}) {
        int street = 0, water = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const size_t i = size_t(y * kW + x);
                const bool changed = ((*pic)[i] & 0xFFFFFF) != (land[i] & 0xFFFFFF);
                if (y >= kH - 16 && x >= kW / 4)
                    street += changed;
                if (y >= 64 && y < 80 && x < 32)
                    water += changed;
            }
        const char* which = pic == &sea ? "the frame's own sea" : "the sea after the 2-D pass";
        EXPECT_EQ(street, 0) << which;
        EXPECT_EQ(water, 16 * 32) << which;
    }
}

}  // namespace
