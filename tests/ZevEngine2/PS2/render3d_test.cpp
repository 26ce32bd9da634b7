// 3-D drawing through the whole stand-in: the render context's view block,
// lights and a material block in the renderer's chain, sent on VIF1, run by
// the microcode on VU1, kicked to the GS and read back from GS memory.  The
// pictures are compared with golden PNGs kept with the tests; on a mismatch
// the picture drawn is written beside the golden one.
#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>
#include <vu/vu1.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/MC2/command_support.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"
#include "ZevEngine2/PS2/render_support.h"

using namespace mc2test;
using namespace render_test;

namespace {

constexpr int kW = 256, kH = 128;

// Vertex data must lie where the DMA may read it; the chain copies it anyway.
struct Vertex {
    Vector pos, uv, normal;
};

class Render3D : public ::testing::Test
{
protected:
    Surface draw, zbuf;
    RenderContext rc;

    void SetUp() override
    {
        gsframe::ResetForFrames(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        rc.SetAspectRatio(1.0f, 1.0f);
        rc.SetViewport(2048, 2048 + kW, 2048, 2048 + kH, 1.0f, 16000000.0f);
        rc.SetZRange(0.25f, 100.0f);
        rc.SetPerspective(1.0f);
        rc.SetCameraMatrix(Matrix(true));
    }

    void TearDown() override { TexManOff(); }

    // One frame: clear to (20, 20, 20) at depth 1, then Z test GEQUAL, fog
    // colour (40, 60, 90), `body`, sent and drawn.
    void Frame(const std::function<void()>& body)
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
        Render2D r;
        r.Open(therenderer);
        gsframe::ClearBuffers(r, draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
        r.Close(therenderer);
        const u64 regs[] = {0x50000, GS_TEST_1, 40 | 60 << 8 | 90 << 16, GS_FOGCOL};
        therenderer.Put(VIF_FLUSH);
        therenderer.AddGifRegs(regs, 2);
        rc.Begin();
        body();
        gsframe::SendFrame();
    }

    // A material block (stride 3: position, texture coordinates, normal)
    // after `setup` in the same command block, then the vertices as one
    // batch.
    void Draw(const std::vector<Vertex>& v, const std::function<void()>& setup, const std::vector<u128>& program)
    {
        therenderer._BeginCommands();
        setup();
        therenderer.Put(3u);
        therenderer.Put(u32(program.size() + 1));
        therenderer.Put(0u);
        therenderer.Put(u32(mc2SetMaterial) / 8);
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

    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }

    void ExpectGolden(const std::string& name) { golden::ExpectFrameBuffer(name, kW, kH); }
};

// Gouraud-shaded triangle strip with fogging left to the microcode.
u128 KickStrip() { return Cmd(mc2KickFlip, 1, 0x30004000u | (4u | 8u) << 15, 0x412); }

}  // namespace

// A receding wavy strip lit by a weak light from above, a red and a blue
// point light, and fogged with distance.
TEST_F(Render3D, LitFoggedStripMatchesTheGoldenPicture)
{
    std::vector<Vertex> strip;
    const int n = 24;
    for (int i = 0; i <= n; ++i) {
        const float t = float(i) / n;
        const float x = -2.2f + 4.4f * t, z = 2.5f + 5.0f * t;
        VectorDir nrm(0.6f * std::sin(6.0f * t), 0, -1);
        nrm.Normalise();
        for (float y : {-0.45f, 0.45f})
            strip.push_back({Vector(x, y, z, 1), Vector(0, 0, 0, 0), Vector(nrm, 0)});
    }
    // Strip order: bottom then top, so that the first triangle faces the eye.
    for (size_t i = 0; i + 1 < strip.size(); i += 2)
        std::swap(strip[i], strip[i + 1]);
    strip[0].pos.setwcomponent(0x43808000);   // the strip's first two vertices restart it
    strip[1].pos.setwcomponent(0x43808000);

    rc.SetDirectionalLights(VectorDir(0, 1, 0.5f), VectorDir(0, 0, 0), VectorDir(0, 0, 0), Vector(0.35f, 0.35f, 0.3f, 0),
                            Vector(0, 0, 0, 0), Vector(0, 0, 0, 0), Vector(0.2f, 0.2f, 0.2f, 1));
    rc.SetNumLights(2);
    rc.lights[0].SetPos(VectorPos(-1.3f, 0, 3.1f));
    rc.lights[0].SetColour(VectorXYZ(6.0f, 1.2f, 0.6f));
    rc.lights[0].SetPointLight(3.0f, false);
    rc.lights[1].SetPos(VectorPos(1.0f, 0, 5.7f));
    rc.lights[1].SetColour(VectorXYZ(0.6f, 1.5f, 6.5f));
    rc.lights[1].SetPointLight(3.0f, false);
    const auto draw = [&] {
        Frame([&] {
            Draw(strip, [&] { rc.SetLights(Matrix(true)); },
                 {Cmd(mc2Transform), CmdF(mc2DoLighting, 0.9f, 0.9f, 0.9f, 1.0f), KickStrip()});
        });
    };
    // Without fog first.
    draw();
    const u32 nearPlain = Pixel(30, 64), farPlain = Pixel(160, 64);

    // Camera-relative fog from depth 3 to 8, at most 80 %.
    rc.SetFog(1, Colour(40, 60, 90, 128), Vector(0, 0, 0.8f / 5, -0.8f * 3 / 5), Vector(0, 0, 0, 1), 0.8f, 0.0f);
    draw();

    // Hand-worked checks.  The red light lights the left part, the blue one
    // the right; above and below the strip is clear, and it ends where its
    // far edge projects (x = 128 + 128 * 2.2 / 7.5).
    const u32 red = Pixel(75, 64), blue = Pixel(152, 64);
    EXPECT_GT(red & 0xFF, 2 * ((red >> 16) & 0xFF));
    EXPECT_GT((blue >> 16) & 0xFF, 2 * (blue & 0xFF));
    EXPECT_EQ(Pixel(128, 2), 0x80141414u);
    EXPECT_EQ(Pixel(128, 125), 0x80141414u);
    EXPECT_NE(Pixel(164, 64), 0x80141414u);
    EXPECT_EQ(Pixel(167, 64), 0x80141414u);
    // The near end (depth below 3) has no fog (F = 255 keeps 255/256 of the
    // colour); the far end has moved towards the fog colour in every channel.
    const u32 nearFog = Pixel(30, 64), farFog = Pixel(160, 64);
    const int fogc[3] = {40, 60, 90};
    for (int c = 0; c < 3; ++c) {
        const int plain = int((nearPlain >> 8 * c) & 0xFF);
        EXPECT_EQ(int((nearFog >> 8 * c) & 0xFF), plain * 255 / 256) << c;
    }
    for (int c = 0; c < 3; ++c)
        EXPECT_LT(std::abs(int((farFog >> 8 * c) & 0xFF) - fogc[c]), std::abs(int((farPlain >> 8 * c) & 0xFF) - fogc[c]))
            << c;
    ExpectGolden("mc2_lit_fogged_strip");
}

// A floor triangle from behind the camera to the distance: only its clipped
// part reaches the screen, with no spikes from the corner behind the eye.
TEST_F(Render3D, TriangleCrossingTheNearPlaneIsDrawnClipped)
{
    // The camera 1 above the floor (y down: the floor at y = 1).
    std::vector<Vertex> tri = {
        {Vector(0, 1, -4, 1), Vector(0, 0, 0, 0), Vector(0, -1, 0, 0)},
        {Vector(-6, 1, 30, 1), Vector(0, 0, 0, 0), Vector(0, -1, 0, 0)},
        {Vector(6, 1, 30, 1), Vector(0, 0, 0, 0), Vector(0, -1, 0, 0)},
    };
    Frame([&] {
        Draw(tri, [&] { therenderer.SetClipping(true); },
             {Cmd(mc2Transform), CmdF(mc2FillColour, 0.4f, 0.9f, 0.5f, 1.0f), KickStrip()});
    });
    const u32 green = 0x80000000u | u32(0.5f * 128) << 16 | u32(0.9f * 128) << 8 | u32(0.4f * 128);
    // The floor fills the bottom centre; the horizon row (y = 64) and above
    // stay clear.
    EXPECT_EQ(Pixel(128, 120), green);
    EXPECT_EQ(Pixel(128, 60), 0x80141414u);
    EXPECT_EQ(Pixel(5, 70), 0x80141414u);
    ExpectGolden("mc2_near_clipped_triangle");
}

// Three ground patches side by side below the eye, each with a bump of its
// own height, tessellated 8 x 8 on VU1 and lit from above: the renderer
// unpacks the second and third while the one before is drawn.
TEST_F(Render3D, ThreeBezierPatchesAreTessellatedAndDrawn)
{
    alignas(16) static BezierPatch patches[3];
    const float bump[3] = {0.2f, 0.8f, 1.6f};
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const bool inner = r > 0 && r < 3 && c > 0 && c < 3;
                patches[k][4 * r + c] =
                    Vector(-2.2f + 1.5f * float(k) + 0.4f * float(c), inner ? 1.0f - bump[k] : 1.0f, 2.5f + float(r), 1);
            }
    rc.SetDirectionalLights(VectorDir(0.5f, 1.0f, 0.4f), VectorDir(0, 0, 0), VectorDir(0, 0, 0),
                            Vector(0.8f, 0.8f, 0.75f, 0), Vector(0, 0, 0, 0), Vector(0, 0, 0, 0),
                            Vector(0.25f, 0.25f, 0.3f, 1));
    // The patch pass set-up: Gouraud strips, no texture, colour (112, 96, 64).
    const u32 setup[4] = {0x30004000u | (4u | 8u) << 15, 0x412, 0x80406070u, 0};
    Frame([&] {
        therenderer.BeginCommands();
        rc.SetLights(Matrix(true));
        therenderer.SetGlobals(MC2_PATCHSETUP, 1, reinterpret_cast<const u64*>(setup));
        therenderer.EndCommands();
        therenderer.SendBezierPatches(patches, 3, 8);
        therenderer.Put(VIF_FLUSH);
    });
    // The last patch went to 0x40 and the one before it to 0x50.
    EXPECT_EQ(std::memcmp(&vu1::Vu1().Q(MC2_PATCHSLOT0), &patches[2], 256), 0);
    EXPECT_EQ(std::memcmp(&vu1::Vu1().Q(MC2_PATCHSLOT1), &patches[1], 256), 0);
    // Row 112 sees the floor (y = 1) at depth 128 / 48 (screen y = 64 + 128 y
    // / z, x = 128 + 128 x / z): each patch covers its own columns there, with
    // gaps between them; the horizon and above stay clear.
    const u32 bg = 0x80141414u;
    const float z = 128.0f / 48.0f;
    for (float x : {-1.6f, -0.1f, 1.4f})
        EXPECT_NE(Pixel(int(128 + 128 * x / z), 112), bg) << x;
    for (float x : {-0.85f, 0.65f})
        EXPECT_EQ(Pixel(int(128 + 128 * x / z), 112), bg) << x;
    EXPECT_EQ(Pixel(128, 40), bg);
    ExpectGolden("mc2_bezier_patches");
}
