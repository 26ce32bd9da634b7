// Whole frames drawn by the stand-in's GS for 2-D tests: the renderer's chain
// sent on VIF1, texture uploads on PATH3 from the VIF1 interrupt, GS memory
// read back through console::gs::Vram().  Textures are placed from block
// kGsFrameTexArea on; everything below is the test's own.
#pragma once

#include <gtest/gtest.h>

#include <ee/dma.h>
#include <ee/graph.h>
#include <ee/kernel.h>

#include <functional>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/render_support.h"
#include "console/dmac/dma_probe.h"
#include "gs/gs.h"

namespace gsframe {

constexpr int kGsFrameTexArea = 2048;

// The GS reset, the texture manager's interrupt installed again, the
// renderer holding nothing and the texture area [texStart, texStart +
// texCount) empty; the machine is reset by the caller.
inline void ResetGsAndRenderer(int texStart, int texCount)
{
    console::gs::ResetGs(true);
    texman.vif_handlerid = -1;   // the reset removed every handler
    TexManOn();
    render_test::ResetRenderer();
    render_test::ResetTexman(texStart, texCount);
}

// The start of every whole-frame test: the machine reset, then the GS, the
// texture manager and the renderer as ResetGsAndRenderer leaves them.
inline void ResetForFrames(int texStart, int texCount)
{
    dmatest::ResetMachine();
    ResetGsAndRenderer(texStart, texCount);
}

// A w x h 32-bit draw buffer at block 0 and its Z buffer (format zformat)
// right after it.
inline void PlaceBuffers(Surface& draw, Surface& zbuf, int w, int h, int zformat = 0x831)
{
    draw.Set(PSMCT32, w, h);
    draw.SetVRAM(0);
    zbuf.Set(zformat, w, h);
    zbuf.SetVRAM(draw.nblocks);
}

// A view filling the w x h buffer: square pixels, depth 0.25 to 100 over the
// whole Z range, perspective 1.  The camera is the caller's.
inline void SetFrameView(RenderContext& rc, int w, int h)
{
    rc.SetAspectRatio(1.0f, 1.0f);
    rc.SetViewport(2048, 2048 + w, 2048, 2048 + h, 1.0f, 16000000.0f);
    rc.SetZRange(0.25f, 100.0f);
    rc.SetPerspective(1.0f);
}

// Points 2-D drawing at draw and zbuf and clears the whole w x h buffer to
// `background` at depth 1, the Z test off.
inline void ClearBuffers(Render2D& r, Surface& draw, Surface& zbuf, int w, int h, Colour background)
{
    r.SetDrawEnvironment(draw, zbuf, false);
    r.SetZTest(ZTEST_ALWAYS);
    r.DrawRect(PixelX(0).v, PixelY(0).v, PixelX(w).v, PixelY(h).v, background, 1);
}

// Opens a 3-D frame: the w x h buffers cleared to `background` at depth 1,
// then the Z test on, greater or equal, for what is drawn next (the view's
// block, rc.Begin(), comes after).
inline void BeginDepthFrame(Surface& draw, Surface& zbuf, int w, int h, Colour background)
{
    therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    Render2D r;
    r.Open(therenderer);
    ClearBuffers(r, draw, zbuf, w, h, background);
    r.Close(therenderer);
    const u64 regs[] = {0x50000, GS_TEST_1};   // ZTE on, ZTST GEQUAL
    therenderer.Put(VIF_FLUSH);
    therenderer.AddGifRegs(regs, 1);
}

// Closes the frame, sends its chain on VIF1 and waits until it is drawn.
inline void SendFrame()
{
    therenderer.EndScene();
    therenderer.DrawScene();
    ASSERT_EQ(sceDmaSync(sceDmaGetChan(SCE_DMA_VIF1), 0, 0), 0);
    ASSERT_EQ(sceGsSyncPath(0, 0), 0);
}

class GsFrameTest : public ::testing::Test
{
protected:
    int frame = 0;

    void SetUp() override { ResetForFrames(kGsFrameTexArea, 2048); }

    void TearDown() override { TexManOff(); }

    // One frame: Open, `body`, Close, sent and drawn to the end.
    void Frame(const std::function<void(Render2D&)>& body)
    {
        therenderer.BeginScene(dmabuff[frame & 1], gifbuff[frame & 1], frame == 0);
        Render2D r;
        r.Open(therenderer);
        body(r);
        r.Close(therenderer);
        SendFrame();
        ++frame;
    }
};

}  // namespace gsframe
