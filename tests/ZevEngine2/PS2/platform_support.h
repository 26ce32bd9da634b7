// Helpers for tests that start the platform: a machine at power-on with the
// platform's globals as the program starts them, a watcher of every vertical
// blank, and the picture the display should show after the start-up clear.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/scheduler.h"
#include "ee/console_out.h"
#include "gs/display.h"
#include "host/host.h"

namespace platform_test {

// Everything the platform left behind goes: interrupt handlers, the flip's
// state, the texture manager's records, the sound module's server; then the
// machine is at power-on.
inline void PowerOff()
{
    TexManOff();
    SoundForgetModule();
    if (vbcallbacks.vb_handlerid >= 0)
        vbcallbacks.Off();
    platformps2 = PlatformPS2();
    vbcallbacks = VBCallbacks();
    texman.Init(-1, -1);
    iGIF3Fill = 0;
    iGIF3Draw = 0;
    therenderer.texture = nullptr;
    therenderer.nmats = 0;
    therenderer.matpalette = nullptr;
    therenderer.vifdraw = nullptr;
    console::ResetScheduler();
    console::ClearDiagLog();
    console::ClearConsoleText();
}

// One record per vertical blank, taken before the flip of that blank runs
// (a callback added after the flip runs ahead of it).
struct BlankRecord
{
    u32 count;
    int iDispBuff;
    bool anyUsed;
    console::VideoMode mode;
};

class BlankWatcher : public Callback
{
public:
    std::vector<BlankRecord> records;

    int operator()(void*) override
    {
        const VBFlip& f = platformps2.vbflip;
        records.push_back({vbcallbacks.vsynccount, f.iDispBuff, f.used[0] || f.used[1],
                           console::gs::CurrentGraphMode().mode});
        return 0;
    }

    // Blanks at which a flip happened: the flip toggles iDispBuff, which the
    // next blank's record shows.
    std::vector<u32> FlipBlanks() const
    {
        std::vector<u32> blanks;
        for (size_t i = 1; i < records.size(); i++)
            if (records[i].iDispBuff != records[i - 1].iDispBuff)
                blanks.push_back(records[i - 1].count);
        return blanks;
    }

    // The last blank at which a chain still held a frame, or 0.
    u32 LastBusyBlank() const
    {
        u32 last = 0;
        for (const BlankRecord& r : records)
            if (r.anyUsed)
                last = r.count;
        return last;
    }
};

// The copy pass's dither matrix (rows of four offsets) and what a 16-bit
// display buffer shows of an 8-bit channel value v at pixel (x, y): v plus
// the pixel's offset, clamped, cut to five bits and widened back to eight as
// the read-out does (c << 3 | c >> 2).
constexpr int kSwapDither[4][4] = {{-4, 2, -3, 3}, {0, -2, 1, -1}, {-3, 3, -4, 2}, {1, -1, 0, -2}};

inline u32 Shown16(int v, int x, int y)
{
    int d = std::clamp(v + kSwapDither[y & 3][x & 3], 0, 255);
    u32 c = u32(d) >> 3;
    return c << 3 | c >> 2;
}

// The picture of a w x h screen cleared to grey (64, 64, 64), as RGBA words.
inline console::host::RgbaImage ExpectedClearPicture(u32 w, u32 h)
{
    console::host::RgbaImage img;
    img.width = w;
    img.height = h;
    img.pixels.resize(size_t(w) * h);
    for (u32 y = 0; y < h; y++)
        for (u32 x = 0; x < w; x++) {
            u32 c = Shown16(64, int(x), int(y));
            img.pixels[size_t(y) * w + x] = c | c << 8 | c << 16 | 0xFFu << 24;
        }
    return img;
}

// Counts the pixels that differ (at most the first few are reported).
inline int PictureDifferences(const console::host::RgbaImage& got, const console::host::RgbaImage& want)
{
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    if (got.pixels.size() != want.pixels.size())
        return -1;
    int diffs = 0;
    for (size_t i = 0; i < got.pixels.size(); i++) {
        if (got.pixels[i] != want.pixels[i]) {
            if (diffs < 5)
                ADD_FAILURE() << "pixel (" << i % got.width << ", " << i / got.width << "): " << std::hex
                              << got.pixels[i] << " expected " << want.pixels[i];
            diffs++;
        }
    }
    return diffs;
}

}  // namespace platform_test
