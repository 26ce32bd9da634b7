// A fresh frame for renderer, texture-manager and 2-D tests: the texture
// manager reset to a known area, the renderer holding nothing, a frame opened
// on the first chain buffer.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/chain_support.h"

namespace render_test {

// The texture area of a 640 x 512 display: 3,584 blocks above the buffers.
constexpr int kTexStart = 12800;
constexpr int kTexCount = 3584;

inline void ResetTexman(int start = kTexStart, int count = kTexCount)
{
    texman.Init(-1, -1);   // forget every record, whatever the previous area
    texman.Init(start, count);
    iGIF3Fill = 0;
    iGIF3Draw = 0;
}

// Forgets what the renderer holds without touching textures of earlier tests.
inline void ResetRenderer()
{
    therenderer.texture = nullptr;
    therenderer.nmats = 0;
    therenderer.matpalette = nullptr;
    therenderer.vifdraw = nullptr;
}

// Pixel data in DMA-visible, quadword-aligned memory.
struct Pixels
{
    std::vector<u128> q;
    explicit Pixels(size_t bytes, u8 fill = 0) : q((bytes + 15) / 16)
    {
        std::memset(q.data(), fill, q.size() * 16);
    }
    void* data() { return q.data(); }
};

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetRenderer();
        ResetTexman();
        therenderer.BeginScene(dmabuff[0], gifbuff[0], true);
    }
    // Closes the frame and decodes its chain.
    chain::Walk Finish()
    {
        therenderer.EndScene();
        return chain::WalkVif(therenderer.vifstart);
    }
    // The batch list of the frame being filled.
    u_long128* const* Batches() const { return TexManBatchList(iGIF3Fill ^ 1); }
};

}  // namespace render_test
