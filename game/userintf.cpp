// The loading screen and the per-frame interface entry.
#include "game/userintf.h"

#include <algorithm>
#include <cstdlib>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/IPUBitmap.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/fbfx.h"

UserInterface UI;
int iDemoLoadingScreenState;

const char* const DemoLoadScreenNames[NUM_DEMOLOADSCREENS] = {
    nullptr,        "DEMOSCR1.IPU", "DEMOSCR2.IPU", "DEMOSCR3.IPU", "DEMOEND1.IPU", "DEMOEND2.IPU",
    "DEMOEND3.IPU", "DEMOEND4.IPU", "DEMOEND5.IPU", "ZEVWORKS.IPU", "DEMTITLE.IPU",
};

namespace {

constexpr int PSM_LOADSCREEN = 10;   // 16-bit, the picture's storage
constexpr u32 kTopZ = 0xFFFFFF;

// The picture's texture while the loading screen shows it.
Surface LoadScrnBuffer;
bool LoadScrnHeld = false;

void FreeOverride()
{
    free(UI.pipubmOverride);
    UI.pipubmOverride = nullptr;
    UI.overrideSize = 0;
}

void ReleaseLoadScrnBuffer()
{
    if (LoadScrnHeld) {
        LoadScrnBuffer.FreeSurface();
        LoadScrnHeld = false;
    }
    UI.useLoadScrnBuffer = false;
}

}  // namespace

bool UIUsesVRAM()
{
    return UI.useLoadScrnBuffer;
}

int UserInterface::operator()(void*)
{
    Loading_UI(0);
    return 1;
}

void UserInterface::Loading_UI(int)
{
    if (Platform::Count() - last_vsync_ctr < 2)
        return;
    isLoading = true;
    MainLoop_Loading();
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
    FreeOverride();
    GameController* gc = g_pgcTest;
    if (gc != nullptr && gc->iDemoLoadScreenOverride != 0) {
        const int o = gc->iDemoLoadScreenOverride;
        if (o > 0 && o < NUM_DEMOLOADSCREENS) {
            char path[64];
            sprintf(path, "KORVALIS\\DemoData\\%s", DemoLoadScreenNames[o]);
            unsigned size = 0;
            UI.pipubmOverride = static_cast<IPUBitmap*>(FileLoad(path, &size));
            UI.overrideSize = size;
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
    ReleaseLoadScrnBuffer();
    LoadingCallback::cbs.Remove(&UI);
}

void Loading_UIDraw()
{
    UserInterface& ui = UI;
    const int target = 92 + (rand() & 63);
    ui.PrevBright = s16(target + (3 * (ui.PrevBright - target)) / 4);
    ui.LoadTimer += 1;

    const IPUBitmap* picture = ui.pipubmOverride != nullptr ? ui.pipubmOverride
                                                             : reinterpret_cast<const IPUBitmap*>(LoadScrn);
    const u32 pictureSize = ui.pipubmOverride != nullptr ? ui.overrideSize : LoadScrnSize;
    bool setUpNow = false;
    if (ui.LoadTimer >= 2 && !LoadScrnHeld) {
        LoadScrnBuffer.Set(PSM_LOADSCREEN, picture->Width(), picture->Height());
        LoadScrnHeld = LoadScrnBuffer.GetSurface();
        ui.useLoadScrnBuffer = LoadScrnHeld;
        setUpNow = LoadScrnHeld;
    }
    if (LoadScrnHeld && (setUpNow || ui.LoadTimer < 6))
        const_cast<IPUBitmap*>(picture)->Load(int(LoadScrnBuffer.tex0 & 0x3FFF), 0, PSM_LOADSCREEN, pictureSize);

    Render2D r2d;
    r2d.Open(therenderer);
    if (LoadScrnHeld) {
        const int w = LoadScrnBuffer.width, h = LoadScrnBuffer.height;
        r2d.SetTexture(&LoadScrnBuffer, TEXMODE_MODULATE);
        r2d.prim_reg &= ~PRIM_ABE;
        r2d.SetColour(Colour(u8(ui.PrevBright), u8(ui.PrevBright), u8(ui.PrevBright), 128));
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
            const int a = 128 * std::abs(((ui.LoadTimer + 32) % 64) - 32) / 32;
            r2d.SetColour(Colour(32, 32, 32, u8(a)));
            g_pfontUILarge->Print(r2d, 56.0f, 464.0f, 0.0f, "loading...", -1);
        } else if (iDemoLoadingScreenState == 2) {
            r2d.SetColour(Colour(32, 32, 32, 128));
            g_pfontUILarge->Print(r2d, 144.0f, 464.0f, 0.0f, "press \xB6 to continue...", -1);
        }
    }

    // The picture comes up out of white over 16 frames.
    const float white = (1.0f - std::min(1.0f, float(ui.LoadTimer) / 16.0f)) * 128.0f;
    r2d.SetTextureOff();
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.DrawRect(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(640.0f).v, PixelY(512.0f).v,
                 Colour(255, 255, 255, u8(white)), kTopZ);
    r2d.Close(therenderer);
}

void Run_UI()
{
    // After loading frames the next normal frame clears the loading state.
    // (The film look's brightness, which would be set here, is not part of
    // this interface.)
    if (UI.isLoading) {
        UI.isLoading = false;
        ReleaseLoadScrnBuffer();
        LoadingCallback::cbs.Remove(&UI);
    }
    // The pause menu and the interface's screens replace this.
    static bool said;
    if (!said) {
        said = true;
        printf("interface: Run_UI draws nothing yet\n");
    }
}
