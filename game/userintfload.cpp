// The loading screen: a still picture with the old-film flicker, a fade in
// from white, a pulsing "loading..." or the continue prompt, drawn from the
// loader's wait loop at most every second vertical blank.
#include "game/userintf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/IPUBitmap.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/fbfx.h"

int iDemoLoadingScreenState;

const char* const DemoLoadScreenNames[NUM_DEMOLOADSCREENS] = {
    nullptr,        "DEMOSCR1.IPU", "DEMOSCR2.IPU", "DEMOSCR3.IPU", "DEMOEND1.IPU", "DEMOEND2.IPU",
    "DEMOEND3.IPU", "DEMOEND4.IPU", "DEMOEND5.IPU", "ZEVWORKS.IPU", "DEMTITLE.IPU",
};

namespace {

constexpr int PSM_LOADSCREEN = 10;   // 16-bit, the picture's storage
constexpr u32 kTopZ = 0xFFFFFF;
// The picture is decoded again on every frame before this one: the first
// decodes may land while the texture's memory is still being handed over.
constexpr int kDecodeFrames = 6;
// The fade in from white lasts this many frames.
constexpr float kFadeInFrames = 16.0f;

void FreeOverride()
{
    free(UI.pipubmOverride);
    UI.pipubmOverride = nullptr;
    UI.overrideSize = 0;
    UI.overrideName[0] = 0;
}

}  // namespace

int UserInterface::operator()(void*)
{
    Loading_UI(0);
    return 1;
}

void UserInterface::Loading_UI(int)
{
    // Unsigned: right after the start the difference wraps and a frame is
    // drawn at once.
    if (Platform::Count() - last_vsync_ctr < 2)
        return;
    isLoading = true;
    MainLoop_Loading();
    gMotionBlurSmoothBrighten.level = 1.0f;
    last_vsync_ctr = Platform::Count();
}

void Loading_UI(int unused)
{
    UI.Loading_UI(unused);
}

void SetDemoLoadState(int state)
{
    iDemoLoadingScreenState = state;
}

void StartUILoadScreen()
{
    UI.last_vsync_ctr = Platform::Count() + 10;
    UI.LoadTimer = 0;
    SetDemoLoadState(0);
    UI.Stop_UI();
    UI.FreeSaveBuffer();
    FreeOverride();
    GameController* gc = g_pgcTest;
    if (gc != nullptr && gc->iDemoLoadScreenOverride != 0) {
        const int o = gc->iDemoLoadScreenOverride;
        if (o > 0 && o < NUM_DEMOLOADSCREENS) {
            char path[64];
            snprintf(path, sizeof path, "KORVALIS\\DemoData\\%s", DemoLoadScreenNames[o]);
            snprintf(UI.overrideName, sizeof UI.overrideName, "%s", path);
            unsigned size = 0;
            UI.pipubmOverride = static_cast<IPUBitmap*>(FileLoad(path, &size));
            UI.overrideSize = UI.pipubmOverride != nullptr ? size : 0;
            // A damaged picture is told once, here, by its file's name, and
            // the built-in one shows instead of a decode failing each frame.
            if (UI.pipubmOverride != nullptr && !UI.pipubmOverride->Check(path, size)) {
                printf("loading screen: the built-in picture shows\n");
                FreeOverride();
            }
        } else {
            printf("loading screen: there is no picture %d; the built-in one shows\n", o);
        }
        gc->iDemoLoadScreenOverride = 0;
    }
    LoadingCallback::cbs.Add(&UI);
}

void StopUILoadScreen()
{
    FreeOverride();
    if (UI.LoadScrnBuffer.refcount != 0)
        UI.LoadScrnBuffer.Release();
    UI.useLoadScrnBuffer = false;
    LoadingCallback::cbs.Remove(&UI);
}

void Loading_UIDraw()
{
    UI.Loading_UIDraw();
}

void UserInterface::Loading_UIDraw()
{
    const int target = 92 + int((s64(rand()) * 64) >> 31);
    PrevBright = s16(target + (3 * (PrevBright - target)) / 4);
    LoadTimer += 1;

    const IPUBitmap* picture =
        pipubmOverride != nullptr ? pipubmOverride : reinterpret_cast<const IPUBitmap*>(LoadScrn);
    const u32 pictureSize = pipubmOverride != nullptr ? overrideSize : LoadScrnSize;
    bool setUpNow = false;
    if (LoadTimer >= 2 && LoadScrnBuffer.refcount == 0) {
        LoadScrnBuffer.Set(PSM_LOADSCREEN, picture->Width(), picture->Height());
        setUpNow = LoadScrnBuffer.GetSurface();
        useLoadScrnBuffer = setUpNow;
    }
    bool held = LoadScrnBuffer.refcount != 0;
    const char* name = pipubmOverride != nullptr && overrideName[0] != 0 ? overrideName : nullptr;
    if (held && (setUpNow || LoadTimer < kDecodeFrames) &&
        !const_cast<IPUBitmap*>(picture)->Load(int(LoadScrnBuffer.tex0 & 0x3FFF), 0, PSM_LOADSCREEN, pictureSize,
                                               name) &&
        pipubmOverride != nullptr) {
        // A chosen picture whose stream breaks off is told once and given
        // back; the built-in one shows in a texture of its own size.
        printf("loading screen: the built-in picture shows\n");
        FreeOverride();
        picture = reinterpret_cast<const IPUBitmap*>(LoadScrn);
        LoadScrnBuffer.Release();
        LoadScrnBuffer.Set(PSM_LOADSCREEN, picture->Width(), picture->Height());
        useLoadScrnBuffer = LoadScrnBuffer.GetSurface();
        held = LoadScrnBuffer.refcount != 0;
        if (held)
            const_cast<IPUBitmap*>(picture)->Load(int(LoadScrnBuffer.tex0 & 0x3FFF), 0, PSM_LOADSCREEN, LoadScrnSize);
    }

    Render2D r2d;
    r2d.Open(therenderer);
    if (held) {
        const int w = LoadScrnBuffer.width, h = LoadScrnBuffer.height;
        r2d.SetTexture(&LoadScrnBuffer, TEXMODE_MODULATE);
        r2d.prim_reg &= ~PRIM_ABE;
        r2d.SetColour(Colour(u8(PrevBright), u8(PrevBright), u8(PrevBright), 128));
        r2d.DrawSprite(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(w)).v, PixelY(float(h)).v, 8, 8, w * 16 + 8,
                       h * 16 + 8, kTopZ);
        r2d.SetTextureOff();
    } else {
        r2d.SetTextureOff();
        r2d.prim_reg &= ~PRIM_ABE;
        r2d.DrawRect(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(640.0f).v, PixelY(512.0f).v,
                     Colour(255, 255, 255, 128), kTopZ);
    }

    if (g_pfontUILarge != nullptr) {
        if (iDemoLoadingScreenState == 0) {
            const int a = 128 * std::abs(((LoadTimer + 32) % 64) - 32) / 32;
            r2d.SetColour(Colour(32, 32, 32, u8(a)));
            g_pfontUILarge->Print(r2d, 56.0f, 464.0f, 0.0f, "loading...", -1);
        } else if (iDemoLoadingScreenState == 2) {
            r2d.SetColour(Colour(32, 32, 32, 128));
            g_pfontUILarge->Print(r2d, 144.0f, 464.0f, 0.0f, "press \xB6 to continue...", -1);
        }
    }

    const float white = (1.0f - std::min(1.0f, float(LoadTimer) / kFadeInFrames)) * 128.0f;
    r2d.SetTextureOff();
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.DrawRect(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(640.0f).v, PixelY(512.0f).v,
                 Colour(255, 255, 255, u8(white)), kTopZ);
    r2d.Close(therenderer);

    RandomScreenRolling();
}
