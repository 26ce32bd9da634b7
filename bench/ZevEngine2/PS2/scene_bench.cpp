// Frames per second of a scene of 200 models drawn through the whole path at
// 640 x 512: objects of the sample cube file (textured and lit near, their
// plain level of detail far) walked by the object list, the model drawer's
// command blocks and call lists in the renderer's chain, sent on VIF1, run by
// the VU1 microcode and drawn by the GS with the texture uploaded by the
// texture manager.
#include <benchmark/benchmark.h>

#include <ee/dma.h>
#include <ee/graph.h>

#include <string>
#include <vector>

#include "core/scheduler.h"
#include "dmac/dmac.h"
#include "gs/gs.h"
#include "tools/lib/p2b_sample.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/Transparency.h"

namespace {

constexpr int kW = 640, kH = 512;
constexpr int kModels = 200;

class Scene
{
public:
    Surface draw, zbuf;
    RenderContext rc;
    LightContext lc;
    World world;
    MDLFILE mf{};
    void* block = nullptr;
    int frame = 0;

    bool Build(std::string& error)
    {
        console::dmac::EnsureRegistered();
        console::ResetScheduler();
        console::gs::ResetGs(true);
        texman.vif_handlerid = -1;
        TexManOn();
        texman.Init(-1, -1);
        draw.Set(PSMCT32, kW, kH);
        draw.SetVRAM(0);
        zbuf.Set(0x831, kW, kH);
        zbuf.SetVRAM(draw.nblocks);
        texman.Init(draw.nblocks + zbuf.nblocks, 16384 - draw.nblocks - zbuf.nblocks);

        std::vector<u8> bytes;
        if (!tools::WriteP2B(tools::SampleCubeFile(), bytes, error))
            return false;
        block = malloc_align(bytes.size(), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        mf.SetBuffer(block);
        if (!mf.Init(u32(bytes.size()))) {
            error = "the sample cube file was refused";
            return false;
        }

        // Ten rows of twenty, from 6 to 42 units away: the farther rows
        // beyond the switch depth (17.3) use the plain level.
        for (int i = 0; i < kModels; ++i) {
            Object* obj = mf.GetHierarchy(tools::kCubeRootNode, sizeof(Object), 0);
            if (obj == nullptr) {
                error = "no memory for the objects";
                return false;
            }
            obj->SetLowresGeom(0.0f);
            const int row = i / 20, col = i % 20;
            const float z = 6.0f + 4.0f * float(row);
            Matrix m = RotMatrix(VectorXYZ(0.3f * float(col), 0.2f * float(row), 0.0f));
            m.SetTrans(VectorPos((float(col) - 9.5f) * z * 0.1f, (float(row) - 4.5f) * 0.6f, z));
            obj->mat = m;
            world.AddObject(obj, nullptr);
        }

        SetLightContext(&lc);
        ClearLights();
        Light amb, sun;
        amb.SetColour(VectorXYZ(0.3f, 0.3f, 0.35f));
        amb.SetType(ZEVLIGHT_AMB);
        AddLight(amb);
        sun.SetColour(VectorXYZ(0.8f, 0.75f, 0.65f));
        sun.SetDirLight(VectorDir(0.5f, 0.6f, 0.7f));
        AddLight(sun);

        rc.SetAspectRatio(1.0f, 1.0f);
        rc.SetViewport(2048, 2048 + kW, 2048, 2048 + kH, 1.0f, 16000000.0f);
        rc.SetZRange(0.25f, 200.0f);
        rc.SetPerspective(1.0f);
        rc.SetCameraMatrix(Matrix(true));
        SetUpLights(rc);
        return true;
    }

    void Teardown()
    {
        world.Clear();
        SetLightContext(nullptr);
        TexManOff();
        free(block);
    }

    bool Frame()
    {
        therenderer.BeginScene(dmabuff[frame & 1], gifbuff[frame & 1], frame == 0);
        Render2D r;
        r.Open(therenderer);
        r.SetDrawEnvironment(draw, zbuf, false);
        r.SetZTest(ZTEST_ALWAYS);
        r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(kW).v, PixelY(kH).v, Colour(20, 20, 20, 128), 1);
        r.Close(therenderer);
        const u64 regs[] = {0x50000, GS_TEST_1};
        therenderer.Put(VIF_FLUSH);
        therenderer.AddGifRegs(regs, 1);
        rc.Begin();
        InitTransparencies(rc);
        world.objectlist.Draw(rc, 1 << OBJT_STATIC);
        DrawTransparencies(rc);
        therenderer.EndScene();
        therenderer.DrawScene();
        ++frame;
        return sceDmaSync(sceDmaGetChan(SCE_DMA_VIF1), 0, 0) == 0 && sceGsSyncPath(0, 0) == 0;
    }
};

void BM_SceneOf200Models(benchmark::State& state)
{
    Scene scene;
    std::string error;
    if (!scene.Build(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    // The scene must show: a frame, then a look at the middle of the picture.
    if (!scene.Frame() ||
        console::gs::Vram().ReadPixel(console::gs::Psm::kCT32, 0, kW / 64, kW / 2 - 30, kH / 2) == 0x80141414u) {
        state.SkipWithError("the scene was not drawn");
        scene.Teardown();
        return;
    }
    for (auto _ : state) {
        if (!scene.Frame()) {
            state.SkipWithError("a frame did not finish");
            break;
        }
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["models"] = kModels;
    state.SetLabel("640 x 512, chain + VU1 + GS");
    scene.Teardown();
}
BENCHMARK(BM_SceneOf200Models)->Unit(benchmark::kMillisecond);

}  // namespace
