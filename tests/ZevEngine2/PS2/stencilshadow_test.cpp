// Stencil shadows through the whole stand-in: a floor and a floating cube are
// drawn by the microcode, then a shadow pass extrudes the cube's shadow model
// on VU1 (the mc2ExtrudeEE overlay) into the stencil and darkens the frame.
// Which pixels lie in shadow is worked out here by casting rays through the
// scene; the rest of the picture and the depth buffer must come out as they
// were without the pass.
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/StencilShadow.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/chain_support.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"
#include "ZevEngine2/PS2/shadowmodel_support.h"
#include "console/dmac/dma_probe.h"
#include "ee/console_out.h"
#include "gs/gs.h"

using namespace render_test;
using namespace shadowmodel;
using console::gs::Psm;

namespace {

constexpr int kW = 256, kH = 128;
// The cube the scene shows, and the slightly smaller one its shadow model
// is (so that the volume's near cap lies just inside the cube's faces).
constexpr float kCubeZ = 4.0f, kCubeHalf = 0.5f, kShadowHalf = 0.49f;
constexpr float kFloorY = 1.0f;

// A shadow model with its materials and vertex data where the DMA reads them.
struct ShadowModel
{
    static constexpr int kMaxMaterials = 5;
    alignas(16) u8 bytes[sizeof(MODEL) + kMaxMaterials * sizeof(MATERIAL)];
    alignas(16) u128 data[kMaxMaterials][2048];

    MODEL* Model() { return reinterpret_cast<MODEL*>(bytes); }

    // One opaque material per entry of `streams`, with the given vertex
    // descriptors and flags.
    void Set(const std::vector<std::vector<u128>>& streams, const std::vector<u16>& descs = {},
             const std::vector<u16>& flags = {})
    {
        std::memset(bytes, 0, sizeof bytes);
        MODEL* m = Model();
        m->sphere = Sphere(VectorPos(0, 0, 0), 0.9f);
        m->compressionOffset = Vector(0, 0, 0, 0);
        m->nOpaque = u8(streams.size());
        for (size_t i = 0; i < streams.size(); i++)
        {
            std::copy(streams[i].begin(), streams[i].end(), data[i]);
            MATERIAL& mt = m->mtls[i];
            mt.desc = i < descs.size() ? descs[i] : 3;
            mt.flags = i < flags.size() ? flags[i] : 0;
            mt.dataNumQw = u16(streams[i].size());
            mt.data = u32(uintptr_t(data[i]));
        }
    }
};
ShadowModel gShadow;

// A vertex of the visible scene: position, texture coordinates, normal.
struct Vertex
{
    Vector pos, uv, normal;
};

class Shadows : public ::testing::Test
{
protected:
    Surface draw, zbuf;
    RenderContext rc;
    Vector light{0.4f, 1, 0.5f, 0};             // down (y is down), right and away
    Plane ground{0, -1, 0, kFloorY};            // the floor, its upper side positive
    Matrix cubeAt = TransMatrix(0, 0, kCubeZ);
    std::vector<float> casterShift{0.0f};
    // Above the floor, looking down at the cube by 20 degrees.
    Matrix camera{Vector(1, 0, 0, 0), Vector(0, 0.9396926f, -0.3420201f, 0), Vector(0, 0.3420201f, 0.9396926f, 0),
                  Vector(0, -1.2f, 0.5f, 1)};

    void SetUp() override
    {
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH, STENCIL_ZFORMAT);
        gsframe::SetFrameView(rc, kW, kH);
        rc.SetCameraMatrix(camera);
        gShadow.Set({ShadowStream(CubeCorners(kShadowHalf), CubeTriangles(CubeCorners(kShadowHalf)))});
        console::ClearConsoleText();
    }

    void TearDown() override
    {
        TexManOff();
        // Nothing the microcode met was unknown or unbuilt.
        EXPECT_EQ(console::ConsoleText().find("VU1:"), std::string::npos) << console::ConsoleText();
    }

    // A material block (stride 3) after `setup`, then the vertices as one
    // batch.
    void DrawVerts(const std::vector<Vertex>& v, const std::function<void()>& setup, Colour c)
    {
        const std::vector<u128> program = {Cmd(mc2Transform),
                                           ColourCmd(mc2FillColour, c.r / 128.0f, c.g / 128.0f, c.b / 128.0f, 1.0f),
                                           Cmd(mc2KickFlip, 1, 0x30004000u | (4u | 8u) << 15, 0x412)};
        therenderer._BeginCommands();
        setup();
        therenderer.call(mc2SetMaterial, 3, int(program.size() + 1));
        therenderer.AddN(program.data(), int(program.size()));
        therenderer._EndCommands();
        therenderer.Align(2, 2);
        therenderer.Put(RENDER_STCYCL);
        therenderer.OpenUnpack(RENDER_UNPACK_BLOCK);
        therenderer.AddN(reinterpret_cast<const u128*>(v.data()), int(3 * v.size()));
        therenderer.CloseUnpack();
        therenderer.Put(VIF_ITOP(u32(v.size())));
        therenderer.Put(VIF_MSCNT);
    }

    // Quads as strips of four, their first two vertices restarting.
    static std::vector<Vertex> Quads(const std::vector<std::array<V3, 4>>& quads)
    {
        std::vector<Vertex> v;
        for (const auto& q : quads)
            for (int k : {0, 1, 3, 2})
            {
                Vector pos(q[size_t(k)].x, q[size_t(k)].y, q[size_t(k)].z, 1);
                pos.setwcomponent(v.size() % 4 < 2 ? 0x43808000 : 0x43800000);
                v.push_back({pos, Vector(0, 0, 0, 0), Vector(0, -1, 0, 0)});
            }
        return v;
    }

    void DrawScene()
    {
        DrawVerts(Quads({{{{-3, kFloorY, 1.5f}, {3, kFloorY, 1.5f}, {3, kFloorY, 12}, {-3, kFloorY, 12}}}}),
                  [] { therenderer.SetLocal(Matrix(true), Sphere(VectorPos(0, kFloorY, 6.75f), 7.0f)); },
                  Colour(100, 160, 100, 128));
        const float h = kCubeHalf;
        std::vector<std::array<V3, 4>> faces;
        for (int axis = 0; axis < 3; axis++)
            for (float s : {-h, h})
            {
                std::array<V3, 4> f;
                for (int k = 0; k < 4; k++)
                {
                    const float u = (k == 1 || k == 2) ? h : -h, w = k >= 2 ? h : -h;
                    f[size_t(k)] = axis == 0 ? V3{s, u, w} : axis == 1 ? V3{u, s, w} : V3{u, w, s};
                }
                faces.push_back(f);
            }
        DrawVerts(Quads(faces), [&] { therenderer.SetLocal(cubeAt, Sphere(VectorPos(0, 0, 0), 0.9f)); },
                  Colour(150, 60, 40, 128));
    }

    // One frame: clear to (20, 20, 20) at depth 1, the scene with Z test
    // GEQUAL, then `pass`; sent and drawn.
    void Frame(const std::function<void()>& pass)
    {
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
        rc.Begin();
        DrawScene();
        pass();
        gsframe::SendFrame();
    }

    // A whole shadow pass casting the cube with a stencil of w x h.
    void Pass(int w, int h, Colour colour)
    {
        StencilShadows ss(rc, draw, zbuf, w, h);
        ss.InitRender();
        ss.Extrude(gShadow.Model(), cubeAt, light, ground);
        ss.ExitRender(colour);
    }

    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }
    u32 Depth(int x, int y) const
    {
        return console::gs::Vram().ReadPixel(Psm::kZ24, u32(zbuf.GetVRAM()), kW / 64, u32(x), u32(y)) & 0xFFFFFF;
    }
    std::vector<u32> Picture() const { return golden::FramePicture(kW, kH); }
    std::vector<u32> DepthPicture() const
    {
        std::vector<u32> p;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
                p.push_back(Depth(x, y));
        return p;
    }

    // Where the ray from o along d meets the box lo..hi at or after t = t0:
    // its entry, or its exit when it starts inside (a box cut open by the
    // near plane shows its inside); negative when it misses.
    static float Hit(V3 o, V3 d, V3 lo, V3 hi, float t0 = 0.0f)
    {
        float tnear = -1e30f, tfar = 1e30f;
        const float oo[3] = {o.x, o.y, o.z}, dd[3] = {d.x, d.y, d.z}, l[3] = {lo.x, lo.y, lo.z}, h[3] = {hi.x, hi.y, hi.z};
        for (int k = 0; k < 3; k++)
        {
            if (dd[k] == 0.0f)
            {
                if (oo[k] < l[k] || oo[k] > h[k])
                    return -1.0f;
                continue;
            }
            float a = (l[k] - oo[k]) / dd[k], b = (h[k] - oo[k]) / dd[k];
            if (a > b)
                std::swap(a, b);
            tnear = std::max(tnear, a);
            tfar = std::min(tfar, b);
        }
        if (tnear > tfar || tfar < t0)
            return -1.0f;
        return tnear >= t0 ? tnear : tfar;
    }

    // Where the camera's ray through screen point (sx, sy) meets the scene:
    // 0 nothing, 1 the cube, 3 the floor, or 100 + n when the point it meets
    // lies in the shadow of n of the shadow models (at casterShift from the
    // cube's place along x).  In the camera's frame the ray runs along
    // ((sx - 128) / 128, (sy - 64) / 128, 1): screen x = 128 + 128 X/Z, y =
    // 64 + 128 Y/Z.  t along it is the view depth; nothing nearer than the
    // near plane is drawn.
    int What(float sx, float sy) const
    {
        const float vx = (sx - 128.0f) / 128.0f, vy = (sy - 64.0f) / 128.0f;
        const V3 eye{camera.w[0], camera.w[1], camera.w[2]};
        const V3 d{vx * camera.x[0] + vy * camera.y[0] + camera.z[0], vx * camera.x[1] + vy * camera.y[1] + camera.z[1],
                   vx * camera.x[2] + vy * camera.y[2] + camera.z[2]};
        const float c = kCubeHalf, s = kShadowHalf, near = rc.nearz;
        const float tcube = Hit(eye, d, {-c, -c, kCubeZ - c}, {c, c, kCubeZ + c}, near);
        const float tfloor = d.y > 0.0f ? (kFloorY - eye.y) / d.y : -1.0f;
        // A point is in a shadow when the way back towards the light meets
        // that shadow model.
        const V3 back{-light[0], -light[1], -light[2]};
        auto shadows = [&](V3 p, int what) {
            int n = 0;
            for (float dx : casterShift)
                n += Hit(p, back, {dx - s, -s, kCubeZ - s}, {dx + s, s, kCubeZ + s}) >= 0.0f;
            return n ? 100 + n : what;
        };
        if (tcube >= 0.0f && (tfloor < near || tcube < tfloor))
            return shadows({eye.x + tcube * d.x, eye.y + tcube * d.y, eye.z + tcube * d.z}, 1);
        if (tfloor < near)
            return 0;
        const V3 p{eye.x + tfloor * d.x, kFloorY, eye.z + tfloor * d.z};
        if (std::fabs(p.x) > 3.0f || p.z < 1.5f || p.z > 12.0f)
            return 0;
        return shadows(p, 3);
    }
    // What, when it is the same within `margin` pixels all round; -1 when the
    // pixel lies near a border.
    int Clear(int x, int y, float margin) const
    {
        const int w = What(float(x), float(y));
        for (float dx = -margin; dx <= margin; dx += margin / 3)
            for (float dy = -margin; dy <= margin; dy += margin / 3)
                if (What(float(x) + dx, float(y) + dy) != w)
                    return -1;
        return w;
    }

    static u32 Blend(u32 dest, Colour c)
    {
        u32 out = dest & 0xFF000000u;
        const int src[3] = {c.r, c.g, c.b};
        for (int k = 0; k < 3; k++)
        {
            const int d = int(dest >> (8 * k) & 0xFF);
            out |= u32((((src[k] - d) * c.a) >> 7) + d) << (8 * k);
        }
        return out;
    }

    // Checks the picture against the scene without shadows: pixels whose
    // scene point is in the cube's shadow blended towards the colour, all
    // others unchanged.  Returns how many shadowed pixels were checked.
    int ExpectShadow(const std::vector<u32>& plain, Colour c, float margin)
    {
        int shadowed = 0, failures = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
            {
                const int w = Clear(x, y, margin);
                if (w < 0)
                    continue;
                const u32 before = plain[size_t(y * kW + x)];
                const u32 want = w >= 100 ? Blend(before, c) : before;
                shadowed += w >= 100;
                if (Pixel(x, y) != want && ++failures <= 5)
                    ADD_FAILURE() << "pixel " << x << ", " << y << " (" << w << "): " << std::hex << Pixel(x, y)
                                  << " want " << want;
            }
        EXPECT_EQ(failures, 0);
        return shadowed;
    }

    // Checks a full-size stencil as the volumes left it: 15 (its clear value
    // in 5-bit channels) plus one for every volume a pixel's scene point lies
    // in.  Returns how many pixels lie in two or more.
    int ExpectCounts(int tbp, float margin)
    {
        int overlaps = 0, failures = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
            {
                const int w = Clear(x, y, margin);
                if (w < 0)
                    continue;
                const u32 texel = console::gs::Vram().ReadPixel(Psm::kCT16S, u32(tbp), kW / 64, u32(x), u32(y));
                const int want = STENCIL_CLEAR / 8 + (w >= 100 ? w - 100 : 0);
                overlaps += w >= 102;
                for (int k = 0; k < 3; k++)
                    if (int(texel >> (5 * k) & 31) != want && ++failures <= 5)
                        ADD_FAILURE() << "stencil " << x << ", " << y << ": " << std::hex << texel << " want " << want;
            }
        EXPECT_EQ(failures, 0);
        return overlaps;
    }

    void ExpectGolden(const std::string& name) { golden::ExpectFrameBuffer(name, kW, kH); }
};

const Colour kShade(0, 0, 16, 0x40);

TEST_F(Shadows, CubeShadowFallsOnTheFloorBelowIt)
{
    Frame([] {});
    const std::vector<u32> plain = Picture(), plainDepth = DepthPicture();
    // A stencil as wide as the Z buffer works on the scene's depth itself.
    Frame([&] { Pass(kW, kH, kShade); });
    EXPECT_GT(ExpectShadow(plain, kShade, 1.5f), 150);
    EXPECT_EQ(DepthPicture(), plainDepth);
    ExpectGolden("stencil_shadow_cube");
}

TEST_F(Shadows, HalfSizeStencilGivesTheSameShadow)
{
    Frame([] {});
    const std::vector<u32> plain = Picture(), plainDepth = DepthPicture();
    // A smaller stencil works on a reduced, reversed copy of the depth.
    Frame([&] { Pass(kW / 2, kH / 2, kShade); });
    EXPECT_GT(ExpectShadow(plain, kShade, 4.5f), 20);
    EXPECT_EQ(DepthPicture(), plainDepth);
}

TEST_F(Shadows, DoubleSizeStencilClearsTheDepthAndBringsItBackExactly)
{
    Frame([] {});
    const std::vector<u32> plain = Picture(), plainDepth = DepthPicture();
    // A stencil twice the size (with a texture area to hold it): the scene's
    // depth is moved into the larger copy, zbuf cleared, and copied back
    // unchanged by the destructor.
    ResetTexman(1024, 6144);
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, 2 * kW, 2 * kH);
        ASSERT_TRUE(ss.Active());
        ss.InitRender();
        ss.Extrude(gShadow.Model(), cubeAt, light, ground);
        ss.ExitRender(kShade);
    });
    EXPECT_GT(ExpectShadow(plain, kShade, 1.5f), 150);
    EXPECT_EQ(DepthPicture(), plainDepth);
    // A pass whose frame ends before it does: zbuf holds the clear value
    // until the pass is destroyed in a chain of its own.
    StencilShadows* open = nullptr;
    Frame([&] { open = new StencilShadows(rc, draw, zbuf, 2 * kW, 2 * kH); });
    EXPECT_EQ(DepthPicture(), std::vector<u32>(plainDepth.size(), 0xFFFFFFu));
    therenderer.BeginScene(dmabuff[0], gifbuff[0], false);
    delete open;
    therenderer.EndScene();
    therenderer.DrawScene();
    ASSERT_EQ(sceDmaSync(sceDmaGetChan(SCE_DMA_VIF1), 0, 0), 0);
    ASSERT_EQ(sceGsSyncPath(0, 0), 0);
    EXPECT_EQ(DepthPicture(), plainDepth);
}

TEST_F(Shadows, CameraInsideTheVolumeStillSeesTheShadowOnlyBelowTheCube)
{
    // The camera under the cube, level with it, looking along +z: it stands
    // inside the volume, which the near plane cuts open.
    light = Vector(0, 1, 0, 0);
    camera = TransMatrix(0.0f, 0.6f, 3.7f);
    rc.SetCameraMatrix(camera);
    Frame([] {});
    const std::vector<u32> plain = Picture();
    Frame([&] { Pass(kW / 2, kH / 2, kShade); });
    EXPECT_GT(ExpectShadow(plain, kShade, 4.5f), 300);
}

TEST_F(Shadows, SecondSequenceStartsFromAClearedStencil)
{
    Frame([] {});
    const std::vector<u32> plain = Picture();
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, kW, kH);
        ss.InitRender();
        ss.Extrude(gShadow.Model(), cubeAt, light, ground);
        ss.ExitRender(kShade);
        // Nothing cast the second time: nothing more is darkened.
        ss.InitRender();
        ss.ExitRender(Colour(128, 0, 0, 128));
    });
    ExpectShadow(plain, kShade, 1.5f);
}

TEST_F(Shadows, StencilCountsOnceForEveryVolumeAPixelLiesIn)
{
    // Two shadow models side by side, their shadows overlapping.
    casterShift = {0.0f, 0.45f};
    int tbp = 0;
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, kW, kH);
        ss.InitRender();
        for (float dx : casterShift)
            ss.Extrude(gShadow.Model(), TransMatrix(dx, 0, kCubeZ), light, ground);
        tbp = ss.stencil.GetVRAM();
    });
    EXPECT_GT(ExpectCounts(tbp, 1.5f), 100);
}

TEST_F(Shadows, TwoSidedMaterialSkipsItsStreamsSecondPass)
{
    // The shadow data as an interleaved two-pass stream: the extra MSCNT
    // runs must only end, or each volume would be counted twice.
    gShadow.Set({ShadowStream(CubeCorners(kShadowHalf), CubeTriangles(CubeCorners(kShadowHalf)), true)}, {3}, {1});
    int tbp = 0;
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, kW, kH);
        ss.InitRender();
        ss.Extrude(gShadow.Model(), cubeAt, light, ground);
        tbp = ss.stencil.GetVRAM();
    });
    ExpectCounts(tbp, 1.5f);
}

TEST_F(Shadows, PassWithoutRoomForItsSurfacesDrawsNothing)
{
    // A texture area too small for the stencil.
    Frame([] {});
    const std::vector<u32> plain = Picture(), plainDepth = DepthPicture();
    ResetTexman(1024, 256 + 64);
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, kW, kH);
        EXPECT_FALSE(ss.Active());
        ss.InitRender();
        ss.Extrude(gShadow.Model(), cubeAt, light, ground);
        ss.ExitRender(kShade);
    });
    EXPECT_EQ(Picture(), plain);
    EXPECT_EQ(DepthPicture(), plainDepth);
    // Nothing stays locked.
    EXPECT_EQ(texman.locked.next, &texman.locked);
}

TEST_F(Shadows, ObjectHierarchyCastsTheShadowsOfItsFlaggedNodes)
{
    // A model file with a one-entry shadow table and four nodes: the root
    // (no shadow model of its own), a child with shadow model 1, a child
    // naming model 5 (beyond the table), and an unflagged child with model 1.
    struct File
    {
        alignas(16) u32 header[3];
        NODE nodes[4];
        MODEL* shadows[1];
        MDLFILE mf;
    };
    static File file;
    std::memset(&file, 0, sizeof file);
    file.shadows[0] = gShadow.Model();
    file.header[0] = 1;
    const HeaderBlock block{EX5_BLOCK_SHADOW, 1, u32(uintptr_t(file.shadows))};
    std::memcpy(&file.header[1], &block, sizeof block);
    file.mf.header = reinterpret_cast<ModelHeader*>(file.header);
    file.mf.nodes = file.nodes;
    file.mf.nNodes = 4;
    file.mf.shadows = file.shadows;
    const int shadow[4] = {0, 1, 5, 1};
    for (int i = 0; i < 4; i++)
        file.nodes[i].pos.setwcomponent(shadow[i]);

    Object* root = new Object();
    ASSERT_NE(root, nullptr);
    root->mat = TransMatrix(0, 0.25f, kCubeZ);
    for (int i = 1; i < 4; i++)
    {
        Object* o = new Object();
        ASSERT_NE(o, nullptr);
        o->index = u16(i);
        o->mat = TransMatrix(0, -0.25f, 0);
        root->Attach(o);
    }
    for (Object* o = root; o != nullptr; o = o == root ? root->child : o->sibling)
    {
        o->mdlfile = &file.mf;
        o->flags |= OBJF_SHADOW;
    }
    root->child->sibling->sibling->flags &= ~OBJF_SHADOW;

    // Exactly one volume, where the cube stands.
    Frame([] {});
    const std::vector<u32> plain = Picture();
    int tbp = 0;
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, kW, kH);
        ss.InitRender();
        ss.Extrude(root, light, ground);
        tbp = ss.stencil.GetVRAM();
    });
    EXPECT_EQ(ExpectCounts(tbp, 1.5f), 0);
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, kW, kH);
        ss.InitRender();
        ss.Extrude(root, light, ground);
        ss.ExitRender(kShade);
    });
    EXPECT_GT(ExpectShadow(plain, kShade, 1.5f), 150);

    // The same through a parent placed elsewhere: mat stands for the
    // parent's world matrix.
    Frame([&] {
        StencilShadows ss(rc, draw, zbuf, kW, kH);
        ss.InitRender();
        ss.Extrude(root->child, root->mat, light, ground);
        ss.ExitRender(kShade);
    });
    EXPECT_GT(ExpectShadow(plain, kShade, 1.5f), 150);
    root->Delete();
}

TEST_F(Shadows, MaterialsOfOneFormatShareOneBlock)
{
    // Materials: stride 3, the same again, the same but two-sided, stride 4,
    // and one of stride 2 that extrusion cannot read.
    const std::vector<u128> stream = ShadowStream(CubeCorners(kShadowHalf), CubeTriangles(CubeCorners(kShadowHalf)));
    gShadow.Set({stream, stream, stream, stream, stream}, {3, 3, 3, 4, 2}, {0, 0, 1, 0, 0});
    MODEL* m = gShadow.Model();
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    therenderer._BeginCommands();
    Extrude(m, light, ground);
    therenderer.EndScene();
    const chain::Walk w = chain::WalkVif(therenderer.vifstart);
    ASSERT_TRUE(w.error.empty()) << w.error;
    std::vector<const chain::DmaTagSeen*> refs;
    for (const chain::DmaTagSeen& t : w.tags)
        for (int i = 0; i < ShadowModel::kMaxMaterials; i++)
            if ((t.id & 0x70) == DMA_REF && t.next == u32(uintptr_t(EE_PHYS(gShadow.data[i]))))
                refs.push_back(&t);
    ASSERT_EQ(refs.size(), 4u);
    // A new block (and MSCAL) for the first, the two-sided and the stride-4
    // material; the second only sends its data.
    EXPECT_EQ(refs[0]->p0, VIF_MSCAL);
    EXPECT_EQ(refs[1]->p0, VIF_NOP);
    EXPECT_EQ(refs[2]->p0, VIF_MSCAL);
    EXPECT_EQ(refs[3]->p0, VIF_MSCAL);
    // Three blocks: each a material {stride, 4}, the extrusion step with the
    // model's offset, the light, the plane, and the kick {1 or 2, tag, regs}.
    std::vector<std::array<u32, 4>> quads;
    for (const chain::VifCode* c : chain::Codes(w, 0x6C))
        for (size_t i = 0; i + 3 < c->data.size(); i += 4)
            quads.push_back({c->data[i], c->data[i + 1], c->data[i + 2], c->data[i + 3]});
    std::vector<std::array<u32, 4>> kicks, materials;
    for (size_t i = 0; i < quads.size(); i++)
    {
        if ((quads[i][3] & 0xFFFF) == mc2SetMaterial / 8)
        {
            materials.push_back(quads[i]);
            ASSERT_LT(i + 4, quads.size());
            EXPECT_EQ(quads[i + 1][3], (Bits(-65536.0f) & 0xFFFF0000u) | mc2Extrude / 8);
            EXPECT_EQ(quads[i + 2][1], Bits(light[1]));
            EXPECT_EQ(quads[i + 3][3], Bits(ground[3]));
            kicks.push_back(quads[i + 4]);
        }
    }
    ASSERT_EQ(materials.size(), 3u);
    EXPECT_EQ(materials[0][0], 3u);
    EXPECT_EQ(materials[0][1], 4u);
    EXPECT_EQ(materials[2][0], 4u);
    ASSERT_EQ(kicks.size(), 3u);
    for (const auto& k : kicks)
    {
        EXPECT_EQ(k[3], mc2KickClipHomo / 8);
        EXPECT_EQ(k[1], 0x30224000u);
        EXPECT_EQ(k[2], 0x412u);
    }
    EXPECT_EQ(kicks[0][0], 1u);
    EXPECT_EQ(kicks[1][0], 2u);
    EXPECT_EQ(kicks[2][0], 1u);
}

TEST_F(Shadows, FlipZBufferReversesTheDepthExactlyAndBack)
{
    Frame([] {});
    const std::vector<u32> depth = DepthPicture();
    Surface other;
    std::memset(&other, 0, sizeof other);
    other.Set(STENCIL_ZFORMAT, kW, kH);
    other.SetVRAM(3072);
    auto read = [&](const Surface& s) {
        std::vector<u32> p;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
                p.push_back(console::gs::Vram().ReadPixel(Psm::kZ24, u32(s.GetVRAM()), kW / 64, u32(x), u32(y)) &
                            0xFFFFFF);
        return p;
    };
    auto flip = [&](Surface& a, Surface& b) {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], false);
        FlipZBuffer(rc, a, b);
        therenderer.EndScene();
        therenderer.DrawScene();
        ASSERT_EQ(sceDmaSync(sceDmaGetChan(SCE_DMA_VIF1), 0, 0), 0);
        ASSERT_EQ(sceGsSyncPath(0, 0), 0);
    };
    flip(zbuf, other);
    const std::vector<u32> reversed = read(other), cleared = read(zbuf);
    for (size_t i = 0; i < depth.size(); i++)
    {
        ASSERT_EQ(reversed[i], 0xFFFFFFu - depth[i]) << i;
        ASSERT_EQ(cleared[i], 0xFFFFFFu) << i;
    }
    flip(other, zbuf);
    EXPECT_EQ(read(zbuf), depth);
    // The same buffer twice: nothing happens.
    flip(zbuf, zbuf);
    EXPECT_EQ(read(zbuf), depth);
}

TEST(ShadowExtent, EnclosesTheViewAndBothLightOffsetsWithAMargin)
{
    // 256 x 128 at zoom 1: at depth d the view is d wide either side and d/2
    // high either side of its centre.
    RenderContext rc;
    rc.SetAspectRatio(1.0f, 1.0f);
    rc.SetViewport(2048, 2048 + kW, 2048, 2048 + kH, 1.0f, 16000000.0f);
    rc.SetZRange(0.25f, 100.0f);
    rc.SetPerspective(1.0f);
    rc.SetCameraMatrix(TransMatrix(100, 0, 50));
    auto expect = [](const Cuboid& b, VectorPos lo, VectorPos hi) {
        for (int k = 0; k < 3; k++)
        {
            EXPECT_NEAR(b.min[k], lo[k], 1e-3f) << k;
            EXPECT_NEAR(b.max[k], hi[k], 1e-3f) << k;
        }
    };
    // Light straight down, 5 long: the far corners (100 +- 10, +-5, 60) and
    // everything moved 5 up and down, plus the camera; then 10 more all
    // round.
    expect(ShadowExtent(rc, VectorDir(0, 1, 0), 10, 5), VectorPos(80, -20, 40), VectorPos(120, 20, 70));
    // Sideways light widens x instead.
    expect(ShadowExtent(rc, VectorDir(1, 0, 0), 10, 5), VectorPos(75, -15, 40), VectorPos(125, 15, 70));
    // A parallel view (zoom 0.5: 2 wide, 1 high either side at any depth).
    rc.SetParallel(0.5f);
    expect(ShadowExtent(rc, VectorDir(0, 1, 0), 10, 5), VectorPos(88, -16, 40), VectorPos(112, 16, 70));
}

}  // namespace
