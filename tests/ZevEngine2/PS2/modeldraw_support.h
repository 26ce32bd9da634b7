// Whole frames of model drawing for tests: model files made by the writer
// and fixed up on the game's heap, a 256 x 128 draw buffer with its Z buffer
// in GS memory, a render context looking along +z from the origin, frames
// sent through the renderer's chain, VU1 and the GS, and pictures compared
// with golden PNGs kept with the tests (on a mismatch the picture drawn is
// written beside the golden one).
#pragma once

#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>

#include <functional>
#include <string>
#include <vector>

#include "console/dmac/dma_probe.h"
#include "ee/console_out.h"
#include "gs/gs.h"
#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "ZevEngine2/PS2/render_support.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"

namespace modeldraw {

constexpr int kW = 256, kH = 128;
// The background the frames are cleared to (RGB 20, 20, 20; alpha 0x80).
constexpr u32 kBackground = 0x80141414u;

// A written model file placed on the game's heap (64-byte aligned, as the
// loader places files) and fixed up.
struct LoadedFile
{
    MDLFILE mf{};
    void* block = nullptr;
    u32 size = 0;
    bool ok = false;

    explicit LoadedFile(const tools::P2BFile& f)
    {
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        size = u32(bytes.size());
        block = malloc_align(size, 64);
        std::memcpy(block, bytes.data(), size);
        mf.SetBuffer(block);
        ok = mf.Init(size);
        EXPECT_TRUE(ok);
    }
    ~LoadedFile() { free(block); }
    LoadedFile(const LoadedFile&) = delete;
    LoadedFile& operator=(const LoadedFile&) = delete;
};

// GS memory, texture manager and renderer for model frames.
class Scene
{
public:
    Surface draw, zbuf;
    RenderContext rc;

    // The GS, DMA channels and VU1 are assumed reset by the caller (the
    // scheduler's reset runs their reset hooks).
    void SetUp()
    {
        gsframe::ResetGsAndRenderer(1024, 2048);
        gsframe::PlaceBuffers(draw, zbuf, kW, kH);
        gsframe::SetFrameView(rc, kW, kH);
        rc.SetCameraMatrix(Matrix(true));
        rc.SetGlobalTransparency(1.0f);
    }
    void TearDown() { TexManOff(); }

    // One frame: clear to the background at depth 1, depth test greater or
    // equal, the view's block, `body`, sent and drawn to the end.
    void Frame(const std::function<void()>& body)
    {
        gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(20, 20, 20, 128));
        rc.Begin();
        body();
        gsframe::SendFrame();
    }

    u32 Pixel(int x, int y) const { return golden::FramePixel(x, y, kW); }
    std::vector<u32> Picture() const { return golden::FramePicture(kW, kH); }
    // Pixels that are not the background.
    int Covered() const
    {
        int n = 0;
        for (u32 p : Picture())
            n += p != kBackground;
        return n;
    }

    void ExpectGolden(const std::string& name) const { golden::ExpectFrameBuffer(name, kW, kH); }
};

// A model-drawing test on a machine reset from power-on.
class SceneTest : public ::testing::Test
{
protected:
    Scene scene;
    RenderContext& rc = scene.rc;

    void SetUp() override
    {
        dmatest::ResetMachine();
        console::ClearConsoleText();
        scene.SetUp();
        InitTransparencies(rc);
    }
    void TearDown() override { scene.TearDown(); }

    void Frame(const std::function<void()>& body) { scene.Frame(body); }
    u32 Pixel(int x, int y) const { return scene.Pixel(x, y); }
};

inline bool ConsoleHas(const std::string& what)
{
    return console::ConsoleText().find(what) != std::string::npos;
}

inline size_t ConsoleCount(const std::string& what)
{
    const std::string& text = console::ConsoleText();
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A one-colour, opaque texture (an 8 x 8 checker of one colour); c's alpha
// is not used.
inline tools::P2BTexture Solid(Colour c)
{
    tools::P2BTexture t;
    const Colour opaque(c.r, c.g, c.b, 255);
    t.texture = tools::CheckerTexture(8, opaque, opaque);
    return t;
}

// The GS word of an opaque colour.
inline u32 Word(u8 r, u8 g, u8 b)
{
    return Colour(r, g, b, 0x80).Word();
}

// An unlit cube with texture texid whose texels show as they are (fill 1.0).
inline tools::P2BModel PlainCube(u16 texid, float half = 1.0f)
{
    return tools::CubeModel(half, texid, false, Colour(128, 128, 128, 128));
}

// A file of the given models and textures with one root node per model.
inline tools::P2BFile FileOf(std::vector<tools::P2BModel> models, std::vector<tools::P2BTexture> textures = {})
{
    tools::P2BFile f;
    f.models = std::move(models);
    f.textures = std::move(textures);
    for (size_t i = 0; i < f.models.size(); ++i)
        f.AddNode(-1, tools::MakeNode(u16(i), VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), u16(i + 1)));
    return f;
}
inline tools::P2BFile FileOf(tools::P2BModel model)
{
    return FileOf(std::vector<tools::P2BModel>{std::move(model)});
}

// A matrix turned by ang (RotMatrix) and placed at pos.
inline Matrix Placed(VectorPos pos, VectorXYZ ang = VectorXYZ(0, 0, 0))
{
    Matrix m = RotMatrix(ang);
    m.SetTrans(pos);
    return m;
}

}  // namespace modeldraw
