// Model drawing through the whole stand-in: model files made by the writer,
// objects built from their nodes, drawn into the renderer's chain, run by the
// VU1 microcode and drawn by the GS, read back from GS memory.
#include <gtest/gtest.h>

#include <vu/vu1.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/modeldraw_support.h"
#include "ZevEngine2/fresh_run.h"
#include "ZevEngine2/PS2/stream_disc.h"
#include "ZevEngine2/PS2/chain_support.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "game/ProgramImages.h"

using namespace modeldraw;

namespace {

u128 Q(u32 x, u32 y, u32 z, u32 w)
{
    return tools::Quad(x, y, z, w);
}

// ---------------------------------------------------------------------------
// The cube from the archive

// The streamer on a synthetic disc, and the GS for model frames.
class ArchiveScene : public streamtest::StreamerTest
{
protected:
    Scene scene;

    void SetUp() override
    {
        console::dmac::EnsureRegistered();
        StreamerTest::SetUp();
        scene.SetUp();
    }
    void TearDown() override
    {
        scene.TearDown();
        StreamerTest::TearDown();
    }
};

TEST_F(ArchiveScene, LitTexturedCubeWithTwoLevelsOfDetailMatchesTheGoldenPicture)
{
    std::vector<u8> bytes;
    std::string error;
    ASSERT_TRUE(tools::WriteP2B(tools::SampleCubeFile(), bytes, error)) << error;
    StartWith({{"models/cube.p2b", bytes, ""}});
    unsigned len = 0;
    void* block = FileLoad("MODELS\\CUBE.P2B", &len);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(len, bytes.size());
    MDLFILE mf{};
    mf.SetBuffer(block);
    ASSERT_TRUE(mf.Init(len));

    // A near cube, drawn with its textured, lit model, and a far one beyond
    // the switch depth (10 x its radius, 17.3), drawn with its plain level.
    LightContext lc;
    SetLightContext(&lc);
    ClearLights();
    World world;
    Object* cubes[2];
    const Matrix where[2] = {Placed(VectorPos(-1.2f, 0.2f, 5.0f), VectorXYZ(0.5f, 0.7f, 0.0f)),
                             Placed(VectorPos(7.0f, -1.0f, 24.0f), VectorXYZ(0.3f, 0.4f, 0.0f))};
    for (int i = 0; i < 2; ++i) {
        cubes[i] = mf.GetHierarchy(tools::kCubeRootNode, sizeof(Object), 0);
        ASSERT_NE(cubes[i], nullptr);
        ASSERT_TRUE(cubes[i]->SetLowresGeom(0.0f));
        cubes[i]->mat = where[i];
        ASSERT_TRUE(world.AddObject(cubes[i], nullptr));
    }
    // The cube's own point light (above it) and a weak light from the
    // upper left in front, with a dim ambient.
    cubes[0]->FindSubObject(tools::kCubeLightId)->SendMessage(OM_FRAME, &world);
    Light amb, sun;
    amb.SetColour(VectorXYZ(0.3f, 0.3f, 0.35f));
    amb.SetType(ZEVLIGHT_AMB);
    AddLight(amb);
    sun.SetColour(VectorXYZ(0.8f, 0.75f, 0.65f));
    sun.SetDirLight(VectorDir(0.5f, 0.6f, 0.7f));
    AddLight(sun);
    ASSERT_EQ(lc.numTempLights, 1);

    // The view's block (RenderContext::Begin) carries the ambient and
    // directional colours: they are set up before it.
    Scene& s = scene;
    SetUpLights(s.rc);
    s.Frame([&] {
        InitTransparencies(s.rc);
        FindBestLights(s.rc, cubes[0]->GetWorldPos(), cubes[0]->radius, true);
        EXPECT_EQ(s.rc.nlights, 1);
        world.objectlist.Draw(s.rc, 1 << OBJT_STATIC);
        DrawTransparencies(s.rc);
    });

    // The far cube shows its plain level's fill colour, untextured and unlit.
    EXPECT_EQ(s.Pixel(165, 59), Word(140, 115, 77));
    // The near cube is textured: both checker colours appear on it.
    bool light = false, red = false;
    for (int y = 30; y < 100; ++y)
        for (int x = 40; x < 120; ++x) {
            const u32 p = s.Pixel(x, y);
            const int r = p & 0xFF, g = (p >> 8) & 0xFF;
            light |= g > 60 && r - g < 40;
            red |= r > 60 && g < r / 3;
        }
    EXPECT_TRUE(light);
    EXPECT_TRUE(red);
    s.ExpectGolden("model_cube_lod");

    world.Clear();
    SetLightContext(nullptr);
    free(block);
}

// ---------------------------------------------------------------------------
// Fades and translucent materials

TEST_F(SceneTest, FadeZeroDrawsNothingAndOtherFadesQueueTheModel)
{
    LoadedFile f(tools::SampleCubeFile());
    MODEL* cube = f.mf.models[1];
    const Matrix at = Placed(VectorPos(0, 0, 5), VectorXYZ(0.4f, 0.5f, 0));

    rc.SetGlobalTransparency(0.0f);
    Frame([&] { Draw(rc, &f.mf, cube, at, nullptr); });
    EXPECT_EQ(theTransparencies.num, 0);
    EXPECT_EQ(scene.Covered(), 0);

    rc.SetGlobalTransparency(0.5f);
    Frame([&] {
        InitTransparencies(rc);
        Draw(rc, &f.mf, cube, at, nullptr);
        EXPECT_EQ(theTransparencies.num, 1);
        EXPECT_EQ(theTransparencies.table[0].ambient_alpha, 0.5f);
        rc.SetGlobalTransparency(1.0f);
        DrawTransparencies(rc);
    });
    // Drawn in the transparency pass, at half alpha (the frame buffer keeps
    // the vertex alpha, 0x40).
    EXPECT_GT(scene.Covered(), 500);
    EXPECT_EQ(Pixel(128, 64), 0x404D738Cu);
    EXPECT_EQ(rc.GetGlobalTransparency(), 1.0f);
}

TEST_F(SceneTest, ModelWithOnlyTranslucentMaterialsIsQueuedWhateverTheFade)
{
    tools::P2BModel glass = PlainCube(TEXID_NONE);
    glass.translucent = glass.opaque;
    glass.opaque.clear();
    LoadedFile f(FileOf({glass}));
    MODEL* m = f.mf.models[0];
    // Inside a frame: the drawer writes nothing while no chain is open.
    Frame([&] {
        for (float fade : {1.0f, 0.0f, 0.3f}) {
            InitTransparencies(rc);
            rc.SetGlobalTransparency(fade);
            Draw(rc, &f.mf, m, Placed(VectorPos(0, 0, 5)), nullptr);
            EXPECT_EQ(theTransparencies.num, 1) << fade;
        }
        rc.SetGlobalTransparency(1.0f);
        InitTransparencies(rc);
    });
}

// After a faded model the depth-only pass must not leave the alpha test
// failing every pixel: what is drawn later still shows.
TEST_F(SceneTest, FadedModelLeavesTheDepthTestForLaterDrawing)
{
    LoadedFile f(tools::SampleCubeFile());
    MODEL* cube = f.mf.models[1];
    Frame([&] {
        InitTransparencies(rc);
        rc.SetGlobalTransparency(0.5f);
        Draw(rc, &f.mf, cube, Placed(VectorPos(-2, 0, 6)), nullptr);
        rc.SetGlobalTransparency(1.0f);
        DrawTransparencies(rc);
        Draw(rc, &f.mf, cube, Placed(VectorPos(2, 0, 6)), nullptr);
    });
    EXPECT_EQ(Pixel(128 - 43, 64), 0x404D738Cu);   // the faded cube
    EXPECT_EQ(Pixel(128 + 43, 64), 0x804D738Cu);   // the one drawn after it
}

// ---------------------------------------------------------------------------
// What goes into the chain

TEST_F(SceneTest, CallListAndVertexDataAreSentByReference)
{
    LoadedFile f(tools::SampleCubeFile());
    const MATERIAL& mt = f.mf.models[0]->mtls[0];
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(0, 0, 5)), nullptr);
    therenderer.EndScene();
    const chain::Walk w = chain::WalkVif(therenderer.vifstart);
    ASSERT_TRUE(w.error.empty()) << w.error;
    int callLists = 0, data = 0;
    for (const chain::DmaTagSeen& t : w.tags) {
        if (t.id != DMA_REF)
            continue;
        if (t.next == u32(uintptr_t(mt.CallList())) && t.qwc == mt.callListNumQw)
            ++callLists;
        if (t.next == u32(uintptr_t(mt.Data())) && t.qwc == mt.dataNumQw) {
            ++data;
            EXPECT_EQ(t.p0, VIF_MSCAL);   // the call list runs as the vertex data starts
        }
    }
    EXPECT_EQ(callLists, 1);
    EXPECT_EQ(data, 1);
    // The texture is held only while the model is drawn.
    EXPECT_EQ(f.mf.textures[0].refcount, 0);
}

// ---------------------------------------------------------------------------
// Textures

class TextureChoice : public SceneTest
{
protected:
    const Colour red{200, 30, 30, 128}, green{30, 190, 40, 128}, blue{20, 40, 210, 128}, grey{90, 90, 90, 128};
    std::vector<tools::P2BTexture> four{Solid(red), Solid(green), Solid(blue), Solid(grey)};
    static u32 W(Colour c) { return c.Word(); }
};

TEST_F(TextureChoice, ObjectChoosesItsTextureThroughItsParameters)
{
    LoadedFile f(FileOf({PlainCube(TEXID_INDIRECT | 0)}, four));
    Object* obj = f.mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(obj, nullptr);
    obj->mat = Placed(VectorPos(0, 0, 5));
    obj->geom->params[2] = 2;
    Frame([&] { Draw(rc, obj, obj->mat); });
    EXPECT_EQ(Pixel(128, 64), W(blue));
    obj->geom->params[2] = 1;
    Frame([&] { Draw(rc, obj, obj->mat); });
    EXPECT_EQ(Pixel(128, 64), W(green));
    obj->Delete();
}

// A frame opened the way the game's frames are: cleared at depth 1 and the
// depth test left always passing.  A small red cube 3 ahead and a larger
// green one 8 ahead (half widths on screen 128 x 0.5 / 2.5 = 25.6 and
// 128 x 2 / 6 = 42.7 pixels): whichever is drawn first, the near one covers
// the middle and the far one shows only beside it.
TEST_F(TextureChoice, ANearModelIsNotOverdrawnByAFarOneDrawnAfterIt)
{
    LoadedFile f(FileOf({PlainCube(0, 0.5f), PlainCube(1, 2.0f)}, four));
    auto drawn = [&](bool nearFirst) {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, scene.draw, scene.zbuf, kW, kH, Colour(20, 20, 20, 128));
        r.Close(therenderer);
        rc.Begin();
        const int order[2] = {nearFirst ? 0 : 1, nearFirst ? 1 : 0};
        for (int m : order)
            Draw(rc, &f.mf, f.mf.models[m], Placed(VectorPos(0, 0, m == 0 ? 3.0f : 8.0f)), nullptr);
        gsframe::SendFrame();
        return scene.Picture();
    };
    const std::vector<u32> nearFirst = drawn(true);
    EXPECT_EQ(Pixel(128, 64), W(red));
    EXPECT_EQ(Pixel(128 + 20, 64 - 20), W(red));
    EXPECT_EQ(Pixel(128 + 35, 64), W(green));
    EXPECT_EQ(Pixel(128, 64 + 35), W(green));
    EXPECT_EQ(Pixel(128 + 50, 64), kBackground);
    EXPECT_TRUE(drawn(false) == nearFirst);
}

TEST_F(TextureChoice, MaterialWhoseTextureHasNoFormatIsSkipped)
{
    LoadedFile f(FileOf({PlainCube(1)}, four));
    f.mf.textures[1].format = 0;
    Frame([&] { Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(0, 0, 5)), nullptr); });
    EXPECT_EQ(scene.Covered(), 0);
}

// A texture list kept in the call list: the TEX0 entries of a register
// packet the material sends itself, each naming its texture in w7 and the
// next entry in w6.
tools::P2BModel ListCube(int entries)
{
    tools::P2BModel m = PlainCube(0);
    tools::P2BMaterial& mt = m.opaque[0];
    std::vector<u128> head = {Q(u32(entries + 1) | 0x8000u, 0x10000000u, GS_AD, tokGiftag)};
    for (int i = 0; i < entries; ++i) {
        const u32 next = i + 1 < entries ? u32(i + 2) : 0;
        head.push_back(Q(0, 0, GS_TEX0_1, next | u32(i) << 16));
    }
    head.push_back(Q(0, 0, GS_TEXFLUSH, 0));
    mt.callList.insert(mt.callList.begin(), head.begin(), head.end());
    mt.texvuaddr = 1;
    return m;
}

TEST_F(TextureChoice, TextureListEntriesGetTheirTexturesRegisters)
{
    // Entries for textures 0 and 1: the GS takes the last TEX0, texture 1.
    LoadedFile f(FileOf({ListCube(2)}, four));
    Frame([&] { Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(0, 0, 5)), nullptr); });
    EXPECT_EQ(Pixel(128, 64), W(green));
    EXPECT_EQ(f.mf.textures[0].refcount, 0);
    EXPECT_EQ(f.mf.textures[1].refcount, 0);
    // The call list in the file is not changed by drawing.
    EXPECT_EQ(f.mf.models[0]->mtls[0].Words(2)[0], 0);
}

TEST_F(TextureChoice, TextureListLongerThanThreeIsCutWhenDrawn)
{
    // The loader already cuts a longer list; one made longer afterwards is
    // cut by the drawer, which holds three textures per material.
    LoadedFile f(FileOf({ListCube(4)}, four));
    const MATERIAL& mt = f.mf.models[0]->mtls[0];
    ASSERT_EQ(mt.Words(3)[6], 0);
    mt.Words(3)[6] = 4;
    for (int frame = 0; frame < 2; ++frame)
        Frame([&] { Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(0, 0, 5)), nullptr); });
    EXPECT_PRINTED_IN_FRESH_RUN("texture list longer than 3 entries", 1);
    EXPECT_FALSE(texman.IsResident(f.mf.textures[3].data));
    EXPECT_TRUE(texman.IsResident(f.mf.textures[2].data));
}

TEST_F(TextureChoice, GlobalTexturesAreBuiltIn)
{
    FixProgramImages();
    const Texture specular = gtex[GTEX_SPECULAR];
    FixProgramImages();   // a second call changes nothing
    EXPECT_EQ(std::memcmp(&specular, &gtex[GTEX_SPECULAR], sizeof specular), 0);
    for (const Texture& t : gtex) {
        EXPECT_EQ(t.Psm(), PSMT8);
        EXPECT_NE(t.format, 0);   // format 0 would read as "no texture"
        EXPECT_EQ(t.clutsize, 256);
        EXPECT_NE(t.data, nullptr);
    }
    // Texel (x, y) of a global texture: its palette entry.
    auto texel = [](GTEX_ENUM which, int x, int y) {
        const Texture& t = gtex[which];
        const u32* clut = (const u32*)t.data;
        const u8* px = (const u8*)t.data + 1024;
        return clut[Render2D_raw::ClutSwizzle(px[y * t.width + x])];
    };
    // The specular spot is white and brightest in its middle.
    const int w = gtex[GTEX_SPECULAR].width;
    EXPECT_EQ(texel(GTEX_SPECULAR, 0, 0), 0x80000000u);
    EXPECT_GT(texel(GTEX_SPECULAR, w / 2, w / 2) & 0xFF, 240u);
    EXPECT_EQ(texel(GTEX_SPECULAR, w / 2, w / 2) & 0xFFFFFF, (texel(GTEX_SPECULAR, w / 2, w / 2) & 0xFF) * 0x010101u);
    EXPECT_LT(texel(GTEX_SPECULAR, w / 2, w / 4) & 0xFF, texel(GTEX_SPECULAR, w / 2, w / 2 - 2) & 0xFF);

    // A material naming the reflection texture shows it: sky at the top of
    // the cube's face toward the camera, ground at its bottom.
    LoadedFile f(FileOf({PlainCube(TEXID_INDIRECT | TEXID_GLOBAL | GTEX_REFLECTION)}));
    Frame([&] { Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(0, 0, 3)), nullptr); });
    const u32 sky = texel(GTEX_REFLECTION, 10, 0), ground = texel(GTEX_REFLECTION, 10, 63);
    EXPECT_EQ(sky & 0xFF, 70u);
    EXPECT_EQ((ground >> 16) & 0xFF, 45u);
    int skyPixels = 0, groundPixels = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            skyPixels += Pixel(x, y) == sky;
            groundPixels += Pixel(x, y) == ground;
        }
    EXPECT_GT(skyPixels, 100);
    EXPECT_GT(groundPixels, 100);
}

TEST_F(SceneTest, TintColourComesFromTheObjectsTintSet)
{
    tools::P2BModel m = tools::CubeModel(1.0f, TEXID_NONE, false);
    tools::P2BMaterial& mt = m.opaque[0];
    // The fill colour quadword (after the depth test's register packet of
    // two quadwords, mc2SetMaterial, the transform and the cull) takes the
    // tint.
    ASSERT_EQ(mt.callList[5], tools::ColourCommand(tokFillColour, 140 / 128.0f, 115 / 128.0f, 77 / 128.0f, 1.0f));
    mt.callList[5] = tools::ColourCommand(tokFillColour, 0, 0, 0, 0);
    mt.flags = MTL_TINT;
    mt.auxvuaddr = 5;
    mt.tints = {Colour(128, 0, 0, 128).Word(), Colour(16, 64, 32, 128).Word()};
    LoadedFile f(FileOf({m}));
    Object* obj = f.mf.GetHierarchy(0, sizeof(Object), 0);
    ASSERT_NE(obj, nullptr);
    obj->mat = Placed(VectorPos(0, 0, 5));
    Frame([&] { Draw(rc, obj, obj->mat); });
    EXPECT_EQ(Pixel(128, 64), Word(128, 0, 0));
    SetTintSet(obj, 1, true);
    Frame([&] { Draw(rc, obj, obj->mat); });
    EXPECT_EQ(Pixel(128, 64), Word(16, 64, 32));
    obj->Delete();
}

// ---------------------------------------------------------------------------
// Environment mapping

// A sphere seen head on, lit from above and in front, whose texture
// coordinates come from the environment through the view matrix its model
// set-up sends.
class Environment : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        FixProgramImages();
        rc.SetDirectionalLights(VectorDir(0.3f, 1.0f, 0.6f), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                                Vector(0.6f, 0.6f, 0.6f, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                                Vector(0.6f, 0.6f, 0.6f, 1));
    }
    void DrawSphere(const tools::P2BFile& file)
    {
        LoadedFile f(file);
        Frame([&] { Draw(rc, &f.mf, f.mf.models[0], Placed(VectorPos(0, 0, 3.2f)), nullptr); });
    }
    static int Blue(u32 p) { return int((p >> 16) & 0xFF); }
    static int Red(u32 p) { return int(p & 0xFF); }
};

TEST_F(Environment, ReflectiveSphereMirrorsSkyAboveAndGroundBelow)
{
    DrawSphere(FileOf({tools::EnvironmentSphere(1.0f, TEXID_INDIRECT | TEXID_GLOBAL | GTEX_REFLECTION, tokReflection)}));
    EXPECT_FALSE(ConsoleHas("not built"));
    // The sphere spans about 80 pixels about the centre.  Its upper part
    // faces the sky (blue over red), its lower part the ground (red over
    // blue); the middle mirrors the horizon back at the eye.
    const u32 top = Pixel(128, 40), bottom = Pixel(128, 90);
    EXPECT_GT(Blue(top), Red(top) + 20);
    EXPECT_GT(Red(bottom), Blue(bottom));
    EXPECT_EQ(Pixel(128, 5), kBackground);
    EXPECT_GT(scene.Covered(), 3500);
    scene.ExpectGolden("model_reflection_sphere");
}

TEST_F(Environment, RefractiveSphereShowsItsTextureBentByItsShape)
{
    tools::P2BTexture checker;
    checker.texture = tools::CheckerTexture(64, Colour(250, 250, 250, 255), Colour(30, 90, 200, 255));
    DrawSphere(FileOf({tools::EnvironmentSphere(1.0f, 0, tokRefraction)}, {checker}));
    EXPECT_FALSE(ConsoleHas("not built"));
    // The ray through the middle goes straight on: the middle of the map
    // (where four checker cells meet); both colours show across the sphere.
    int light = 0, blue = 0;
    for (int y = 30; y < 100; ++y)
        for (int x = 90; x < 166; ++x) {
            const u32 p = Pixel(x, y);
            light += Red(p) > 100;
            blue += p != kBackground && Blue(p) > 2 * Red(p);
        }
    EXPECT_GT(light, 400);
    EXPECT_GT(blue, 400);
    scene.ExpectGolden("model_refraction_sphere");
}

// ---------------------------------------------------------------------------
// Instances

TEST_F(SceneTest, InstancesDrawTheModelAtEachMatrix)
{
    LoadedFile f(tools::SampleCubeFile());
    MODEL* cube = f.mf.models[0];
    const Matrix at[3] = {Placed(VectorPos(-3, 0, 7), VectorXYZ(0.3f, 0.2f, 0)),
                          Placed(VectorPos(0, -0.5f, 6), VectorXYZ(0.1f, 0.8f, 0)),
                          Placed(VectorPos(3, 0.5f, 8), VectorXYZ(0.6f, 0.4f, 0))};
    // A plain cube drawn singly after the instanced model: instancing has
    // ended with the model, so it appears once, where it is placed.
    const Matrix last = Placed(VectorPos(-6, 3.5f, 12));
    Frame([&] {
        for (const Matrix& m : at)
            Draw(rc, &f.mf, cube, m, nullptr);
        Draw(rc, &f.mf, f.mf.models[1], last, nullptr);
    });
    const std::vector<u32> single = scene.Picture();
    Frame([&] {
        SendInstanceMatrices(at, 3);
        RenderInstances(3);
        cube->Render(&f.mf, nullptr, 0, cube->nOpaque);
        Draw(rc, &f.mf, f.mf.models[1], last, nullptr);
    });
    EXPECT_GT(scene.Covered(), 3000);
    EXPECT_TRUE(scene.Picture() == single);
}

TEST_F(SceneTest, MoreInstancesThanVectorUnitMemoryHoldsAreDropped)
{
    LoadedFile f(tools::SampleCubeFile());
    MODEL* cube = f.mf.models[1];
    Matrix at[9];
    for (int i = 0; i < 9; ++i)
        at[i] = Placed(VectorPos(-8.0f + 2.0f * float(i), 0, 12));
    Frame([&] {
        for (int k = 0; k < 2; ++k) {
            SendInstanceMatrices(at, 9);
            RenderInstances(9);
            cube->Render(&f.mf, nullptr, 0, cube->nOpaque);
        }
    });
    EXPECT_PRINTED_IN_FRESH_RUN("more instance matrices than vector unit memory holds", 1);
    // The view's clip_scale above the matrices is intact.
    EXPECT_EQ(std::memcmp(&vu1::Vu1().Q(MC2_CLIPSCALE), &rc.clip_scale, 16), 0);
    // Seven cubes from the left; the last two are not drawn.
    EXPECT_EQ(Pixel(128 + (4 * 128) / 12, 64), 0x804D738Cu);   // x = -8 + 12 = 4: the seventh
    EXPECT_EQ(Pixel(128 + (6 * 128) / 12, 64), kBackground);   // x = 6: the eighth
}

// ---------------------------------------------------------------------------
// Object trees

int g_renderAsked;
RenderContext* g_renderWith;

int DrawsItself(Object*, OBJMESSAGE msg, void* data)
{
    if (msg == OM_RENDER) {
        ++g_renderAsked;
        g_renderWith = (RenderContext*)data;
        return 1;
    }
    return 0;
}

TEST_F(SceneTest, HiddenChildrenAndThoseAfterOneThatDrawsItselfAreNotDrawn)
{
    tools::P2BFile file = tools::SampleCubeFile();
    LoadedFile f(file);
    // A root without a model carrying three plain cubes in a row.
    Object* root = new Object();
    ASSERT_NE(root, nullptr);
    root->mat = Placed(VectorPos(0, 0, 8));
    Object* kids[3];
    for (int i = 2; i >= 0; --i) {
        kids[i] = f.mf.ObjectFromNode(&f.mf.nodes[tools::kCubeRootNode], sizeof(Object));
        delete kids[i]->geom;
        kids[i]->geom = new GEOMETRY(&f.mf, 1);
        kids[i]->mat = Placed(VectorPos(-3.0f + 3.0f * float(i), 0, 0));
        root->AttachQ(kids[i]);
    }
    const int x[3] = {128 - 48, 128, 128 + 48};

    kids[1]->flags |= OBJF_HIDDEN;
    Frame([&] { Draw(rc, root, root->mat); });
    EXPECT_NE(Pixel(x[0], 64), kBackground);
    EXPECT_EQ(Pixel(x[1], 64), kBackground);
    EXPECT_NE(Pixel(x[2], 64), kBackground);

    // A child that answers OM_RENDER draws itself; the rest of its chain is
    // not drawn.
    kids[1]->flags &= ~OBJF_HIDDEN;
    kids[1]->flags |= OBJF_DRAWSELF;
    kids[1]->messagehandler = DrawsItself;
    g_renderAsked = 0;
    Frame([&] { Draw(rc, root, root->mat); });
    EXPECT_EQ(g_renderAsked, 1);
    EXPECT_EQ(g_renderWith, &rc);
    EXPECT_NE(Pixel(x[0], 64), kBackground);
    EXPECT_EQ(Pixel(x[1], 64), kBackground);
    EXPECT_EQ(Pixel(x[2], 64), kBackground);
    kids[1]->messagehandler = nullptr;
    root->Delete();
}

}  // namespace
