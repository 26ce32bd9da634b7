// The interface object: the pause flow (dimming, the saved frame, the screen
// over it), the old-film look (flicker, jitter, scratches, projector
// noises), the fade-out, and the film roll.
#include "game/userintf.h"

#include <algorithm>
#include <cstdio>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/fbfx.h"

extern SoundSystem sound;

UserInterface UI;

namespace {

constexpr u32 kTopZ = 0xFFFFFF;
// The dimmed world while a pause begins, and after a screen closes.
constexpr float kPausedBrightness = 0.885f;
// The pause dims for this many frames before the screen is built.
constexpr u32 kDimFrames = 15;
// The copies of the frame are brightened slightly (135 of 128).
constexpr u8 kCopyGrey = 135;
constexpr int PSM_SAVEDFRAME = 2;   // 16-bit
// A failing alpha test that still writes the colour: the copies never touch
// the depth buffer.
constexpr u32 kTestNeverFrameOnly = 0x30000u | 0x1u | (1u << 12);

// A random integer 0..n from the program's generator.
int Random(int n)
{
    return int((s64(rand()) * s64(n + 1)) >> 31);
}

void IncrementTimer(u32& t)
{
    if (t != 0xFFFFFFFF)
        t++;
}

// A GS corner: (x + 2048) x 16, toward zero.
int Corner(float v)
{
    return int((v + 2048.0f) * 16.0f);
}

}  // namespace

UserInterface::UserInterface()
{
    nScreenRollCountDown = u32(Random(255));
    nScreenScaleCountDown = u32(Random(255));
    nTimeToSmallJump = Random(63);
    nTimeToBigJump = Random(127);
}

void Run_UI()
{
    UI.Run_UI();
}

void SetPauseScreenMode(UIPauseScreenMode mode)
{
    UI.PauseScreenMode = mode;
}

UIPauseScreenMode GetPauseScreenMode()
{
    return UI.PauseScreenMode;
}

void UI_FadeOut(float frames)
{
    UI.vFadeOutTimer = frames;
}

void UI_EnableDisableAutoBlurFade(bool enable)
{
    UI.bEnableAutoBlurFade = enable;
}

bool UIUsesVRAM()
{
    return UI.FrameBufSaved || UI.useLoadScrnBuffer;
}

void UserInterface::Run_UI()
{
    float& brightness = gMotionBlurSmoothBrighten.level;
    if (isLoading) {
        brightness = 1.0f;
        LoadingCallback::cbs.Remove(this);
        if (LoadScrnBuffer.refcount != 0)
            LoadScrnBuffer.Release();
        useLoadScrnBuffer = false;
        startLoading = false;
    }

    switch (world.mode) {
    case WORLD_MODE_PAUSED:
        if (PauseScreenMode == UI_NoScreen)
            break;
        brightness = kPausedBrightness;
        IncrementTimer(PauseTimer);
        if (PauseTimer == 2) {
            sound.PauseAll();
            PlayUISample(3);
        }
        if (PauseTimer >= kDimFrames + 1) {
            world.mode = WORLD_MODE_PAUSED_NODRAW;
            for (FilmScratch& s : aScratch)
                s.nTime = 0;
            PrevBlur = 0.0f;
            SaveFrameBuffer(false);
            CreatePauseMenu();
        }
        break;
    case WORLD_MODE_PAUSED_NODRAW:
        IncrementTimer(PauseTimer);
        if (pCurrMenu != nullptr)
            DrawPauseMenu(true, int(std::min<u32>(PauseTimer - kDimFrames, 0x7FFFFFFF)));
        break;
    case WORLD_MODE_NORMAL:
    case WORLD_MODE_CINEMA:
        PauseTimer = 0;
        if (vFadeOutTimer > 0.0f) {
            Render2D r2d;
            r2d.Open(therenderer);
            r2d.SetTextureOff();
            r2d.SetAlpha(ALPHA_BLEND);
            r2d.DrawRect(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(640.0f).v, PixelY(512.0f).v,
                         Colour(255, 255, 255, 4), kTopZ);
            r2d.Close(therenderer);
            brightness += (0.95f - brightness) / 8.0f;
            vFadeOutTimer -= 2.0f;
        } else if (bEnableAutoBlurFade) {
            brightness = std::max(0.0f, brightness - 0.02f);
        }
        break;
    default:
        break;
    }
    wasLoading = isLoading;
    isLoading = false;
}

void UserInterface::CreatePauseMenu()
{
    const UIScreenSetup* setup = nullptr;
    switch (PauseScreenMode) {
    case UI_PauseScreen: setup = &PauseMenu; break;
    case UI_MapScreen: setup = &GPSMenu; break;
    case UI_ShootingRoundScreen: setup = &ShootingRoundMenu; break;
    case UI_DojoRoundScreen: setup = &DojoRoundMenu; break;
    case UI_DojoSummaryScreen: setup = &DojoSummaryMenu; break;
    default: break;   // the world stays frozen with nothing drawn here
    }
    if (setup == nullptr)
        return;
    pCurrMenu = CreateMenuFromUISetup(setup);
    if (pCurrMenu == nullptr) {
        // No room for the screen: the game goes on as if it had closed.
        printf("interface: no memory for the screen; the game goes on\n");
        CloseScreen();
        sound.UnPauseAll();
    }
}

// The common close of every screen: the saved frame goes, the world plays
// on, slightly dimmed.
void UserInterface::CloseScreen()
{
    if (world.mode == WORLD_MODE_PAUSED_NODRAW)
        FreeSaveBuffer();
    world.mode = WORLD_MODE_NORMAL;
    PauseScreenMode = UI_None;
    gMotionBlurSmoothBrighten.level = kPausedBrightness;
}

void UserInterface::RunPauseMenu(float alpha, float offsX, float offsY)
{
    if (pCurrMenu != nullptr && pCurrMenu->Draw(alpha, offsX, offsY))
        pCurrMenu = nullptr;
}

void UserInterface::DrawPauseMenu(bool overFrame, int frames)
{
    const float top = PauseScreenMode == UI_MapScreen ? 0.75f : 0.9f;
    PrevBlur = std::clamp(PrevBlur + 0.2f - 0.4f * randf(), 0.15f, top);
    gMotionBlurSmoothBrighten.level = PrevBlur;

    const int target = 120 + Random(63);
    PrevBright = s16(target + (3 * (PrevBright - target)) / 4);

    const int candX = 4 - Random(7);
    if (Random(3) == 0)
        PrevOffsX = s16(candX);
    const int candY = 4 - Random(7);
    const int valueY = candY + (7 * (PrevOffsY - candY)) / 8;
    if (Random(1) == 0)
        PrevOffsY = s16(valueY);
    const float jx = PrevOffsX, jy = PrevOffsY;

    const int t = std::min(frames, 1000);
    const int veil = std::min(80, 2 * t);

    Surface& draw = Platform::GetDrawBuffer();
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetZTest(ZTEST_ALWAYS);
    if (overFrame && FrameBufSaved) {
        const float w = FrameSaveBuffer.width, h = FrameSaveBuffer.height;
        const u8 grey = u8(PrevBright ^ 0x2F);
        r2d.SetTexture(&FrameSaveBuffer, TEXMODE_MODULATE);
        r2d.prim_reg &= ~PRIM_ABE;
        r2d.SetColour(Colour(grey, grey, grey, 128));
        r2d.DrawSprite(PixelX(jx).v, PixelY(jy).v, PixelX(jx + w).v, PixelY(jy + h).v, 8, 8,
                       int(w) * 16 + 8, int(h) * 16 + 8, kTopZ);
        r2d.SetTextureOff();
        r2d.SetAlpha(ALPHA_BLEND);
        r2d.DrawRect(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(w).v, PixelY(h).v, Colour(255, 255, 255, u8(veil)),
                     kTopZ);
    } else {
        r2d.SetTextureOff();
        r2d.prim_reg &= ~PRIM_ABE;
        r2d.DrawRect(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(draw.width)).v, PixelY(float(draw.height)).v,
                     Colour(u8(veil), u8(veil), u8(veil), 128), kTopZ);
    }
    r2d.Close(therenderer);

    RunPauseMenu(float(std::min(128, 8 * t)) / 128.0f, jx / 16.0f, jy / 16.0f);

    Render2D scratches;
    scratches.Open(therenderer);
    DrawScratches(scratches, draw.width, 512);
    scratches.Close(therenderer);
    RandomScreenRolling();
    rd = (rd << 12) + (rd >> 12) + PauseTimer;
}

void UserInterface::SaveFrameBuffer(bool fromDisplay)
{
    if (FrameBufSaved)
        return;
    Surface& source = fromDisplay ? Platform::GetDispBuffer() : Platform::GetDrawBuffer();
    const int w = source.width, h = source.height;
    FrameSaveBuffer.Set(PSM_SAVEDFRAME, w, h);
    if (!FrameSaveBuffer.GetSurface()) {
        printf("interface: no graphics memory to keep the frame\n");
        return;
    }
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.test_reg = kTestNeverFrameOnly;
    r2d.update_flags |= u32(R2D_TEST) | u32(R2D_TEST) << R2D_CONTEXT2;
    r2d.SetTexture(&source, TEXMODE_MODULATE);
    r2d.prim_reg &= ~PRIM_ABE;
    r2d.SetColour(Colour(kCopyGrey, kCopyGrey, kCopyGrey, 128));
    r2d.DrawSprite2(FrameSaveBuffer, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(w)).v, PixelY(float(h)).v, 8, 8,
                    w * 16 + 8, h * 16 + 8, kTopZ);
    r2d.Close(therenderer);
    FrameBufSaved = true;
}

void UserInterface::FreeSaveBuffer()
{
    if (!FrameBufSaved)
        return;
    FrameSaveBuffer.FreeSurface();
    FrameBufSaved = false;
}

void UserInterface::Stop_UI()
{
    if (world.mode != WORLD_MODE_PAUSED_NODRAW || pCurrMenu == nullptr)
        return;
    pCurrMenu->Exit = true;
    RunPauseMenu(0.0f, 0.0f, 0.0f);
    pCurrMenu = nullptr;
}

void UserInterface::DrawScratches(Render2D& r2d, int, int h)
{
    r2d.SetTextureOff();
    r2d.SetAlpha(ALPHA_BLEND);
    for (FilmScratch& s : aScratch) {
        if (s.nTime == 0) {
            s.nTime = s.nStart = u8(5 + Random(4));
            s.nAlpha = u8(40 + Random(63));
            s.nWid = u8(Random(255));
            s.nXPos = s16(u16(-1536 - Random(127999)));
        }
        const float life = 2.0f * float(s.nTime) / float(s.nStart);
        const float f = life > 1.0f ? 3.0f - life : life + 1.0f;
        const float w = float(s.nWid) * f * 0.01171875f * 0.5f;
        const float x = float(s.nXPos) * 0.05f;
        float a = float(s.nAlpha) * 0.3f;
        if (Random(15) == 0)
            a *= 0.25f;
        r2d.DrawRect(PixelX(x - w).v, PixelY(0.0f).v, PixelX(x + w).v, PixelY(float(h)).v,
                     Colour(0, 0, 0, u8(a)), kTopZ);
        s.nTime--;
        s.nXPos = s16(s.nXPos + 15);
    }
}

// A projector noise at a spread pitch; silent while loading.
void UserInterface::PlayNoise(int sample)
{
    if (isLoading)
        return;
    const int chan = sound.AllocChannel(false);
    if (chan < 0)
        return;
    sound.Play(chan, sndbank_ui, u16(sample));
    const float spread = 1.25f - 0.5f * randf();
    if (sound.ChannelValid(chan))
        sound.SetPitch(chan, float(sound.GetChannel(chan)->pitch) / 256.0f * spread, 0.0f);
}

void UserInterface::RandomScreenRolling()
{
    if (vScreenScale != 0.0f) {
        vScreenScale = std::max(0.0f, vScreenScale - 0.15f * randf());
    } else if (nScreenScaleCountDown > 0) {
        nScreenScaleCountDown--;
    } else {
        vScreenScale = 0.45f - 0.45f * randf();
        nScreenScaleCountDown = u32(48 + Random(399));
        PlayNoise(7);
    }

    if (vScreenRoll != 0.0f) {
        vScreenRoll = vScreenRoll > 0.0f ? std::max(0.0f, vScreenRoll - 50.0f) : std::min(0.0f, vScreenRoll + 50.0f);
    } else if (nScreenRollCountDown > 0) {
        nScreenRollCountDown--;
    } else {
        vScreenRoll = Random(1) == 0 ? 448.0f : -448.0f;
        nScreenRollCountDown = u32(48 + Random(399));
        PlayNoise(9);
    }

    if (nTimeToSmallJump-- < 0) {
        nTimeToSmallJump = Random(49);
        PlayNoise(10);
    } else if (nTimeToBigJump-- < 0) {
        nTimeToBigJump = Random(74);
        PlayNoise(8);
    }

    chrnd();
}

u16 UserInterface::chrnd()
{
    rd = ((rd >> 8) + rd + u32(rand() & 0xFFFF)) % 65537u;
    return u16(rd);
}

float UserInterface::fchrnd()
{
    return float(chrnd()) * 1.5259022e-5f;
}

void UserInterface::ScreenRoll(float vRoll, float vScale)
{
    Surface& draw = Platform::GetDrawBuffer();
    const int W = draw.width, H = draw.height;
    Surface work;
    work.Set(PSM_SAVEDFRAME, W, H);
    if (!work.GetSurface())
        return;

    float roll = vRoll - std::trunc(vRoll / float(H)) * float(H);
    if (roll < 0.0f)
        roll += float(H);

    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetTexture(&draw, TEXMODE_MODULATE);
    r2d.prim_reg &= ~PRIM_ABE;
    r2d.SetColour(Colour(kCopyGrey, kCopyGrey, kCopyGrey, 128));
    r2d.DrawSprite2(work, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(W)).v, PixelY(float(H)).v, 8, 8,
                    W * 16 + 8, H * 16 + 8, kTopZ);

    r2d.SetAlphaTest(ALPHATEST_NEVER, 0, ALPHAFAIL_FB_ONLY);
    r2d.SetTexture(&work, TEXMODE_MODULATE);
    const float gx = std::trunc(float(W) * (1.0f - vScale) / 2.0f);
    const float gy = std::trunc(float(H) * (1.0f - vScale) / 2.0f);
    auto band = [&](float dy) {
        r2d.DrawSprite(Corner(-gx), Corner(-gy + dy), Corner(float(W) + gx), Corner(float(H) + gy + dy), 8, 8,
                       W * 16 + 8, H * 16 + 8, kTopZ);
    };
    if (roll > 0.5f && roll < float(H) - 0.5f) {
        band(roll * vScale);
        band((roll - float(H)) * vScale);
    } else {
        band(0.0f);
    }
    r2d.SetTextureOff();
    work.FreeSurface();
    r2d.Close(therenderer);
}
