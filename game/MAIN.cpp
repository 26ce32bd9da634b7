// The game's entry: start-up of the platform and the main loop.
#include "game/MAIN.h"

#include <ee/crt0.h>
#include <ee/demo.h>

#include "ZevEngine2/List.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/IPUBitmap.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/Utilities/SoundStream2.h"
#include "game/QuadTree.h"
#include "game/Rumble.h"
#include "game/StandInScene.h"
#include "game/TestPart.h"
#include "game/fbfx.h"

// The one pool of pointer-list links, built by this module's static
// initialiser before main: every List<T> in the program takes its links here.
LinkPool<1024> linkpool;

// The one sound system, built before main: four pre-made 96 KiB stream banks,
// stereo output.
SoundSystem sound(98304, 4, true);

DemoParams demoparams;

// The main view and the one light context.
RenderContext rc;
LightContext lc;

// The interface sound bank; 0xFFFF until loaded (or when the load failed).
unsigned short sndbank_ui = 0xFFFF;

// The resident data that exists so far: the built-in textures of model
// drawing, the interface sound bank and the city's index and layout.
void LoadGlobals()
{
    printf("Loading sound...\n");
    sndbank_ui = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_UI.SND", true);
    printf("Done loading sound.\n");
    SetUpGlobalTextures();
    world.Init();
    LoadParticleFiles();
}

void MainStartUp(int argc, char** argv)
{
    sceeDemoStart(argc, argv, &demoparams.language, &demoparams.aspect, &demoparams.playmode,
                  &demoparams.inactive_timeout, &demoparams.total_timeout);
    Platform::Init();
    Platform::InitGraphics(GM_PAL, 640, 512);
    // The title picture goes straight into the 16-bit display buffer, so it
    // is what the display shows until the first frame is flipped.
    reinterpret_cast<IPUBitmap*>(const_cast<unsigned char*>(Title))->Load(0, 0, PSMCT16S, TitleSize);
    Platform::DisplayOn();
    Controller::Init();
    RumbleController::Init();

    // The main view: the whole screen; the launcher's aspect flag narrows
    // the picture for a wide screen.
    const float aspect = demoparams.aspect != 0 ? 0.75f : 1.0f;
    const int w = Platform::GetWidth(), h = Platform::GetHeight();
    rc.SetAspectRatio(aspect * float(w) * 0.0015625f, 1.056f);
    rc.SetViewport(2048.0f, float(2048 + w), 2048.0f, float(2048 + h), 1.0f, 16000000.0f);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspectiveInfinite(1.5555625f);
    SetLightContext(&lc);
    LoadGlobals();

    StandInOptions(argc, argv);
    StandInSceneStart(sndbank_ui);
    StandInCityStart();
}

// The screen-level objects drawn over the finished scene (HUD, fades).
static void DrawPostRawObjs()
{
    for (Link<RawObj>* l = world.rawobjPostList.Head(); !l->IsEOList();) {
        Link<RawObj>* next = l->Next();
        RawObj* ro = l->data;
        if (ro && ro->messagehandler)
            ro->messagehandler(ro, ROM_DRAW, nullptr, nullptr, nullptr);
        l = next;
    }
}

void MainFrame(int frame)
{
    Controller::Update();
    RumbleController::UpdateAll(frame);
    // The light objects add this tick's lights as the world sends them their
    // frame calls.
    ClearLights();
    world.Update();
    world.Animate();
    // The tick's collision pass: every live top-level object against the
    // later ones and the city's buildings and props.
    world.Collision();
    // The camera is complete before the view's block goes out.
    const Matrix& scenecamera = StandInSceneFrame(frame);
    rc.SetZRange(0.1f, 2000.0f);
    rc.SetPerspective(STANDIN_ZOOM);
    rc.SetCameraMatrix(scenecamera);
    // With a city the frames show it from the driving camera.
    const Matrix& drivecamera = StandInCityFrame(rc, frame);
    const Matrix& camera = StandInCityDriving() ? drivecamera : scenecamera;
    rc.SetCameraMatrix(camera);
    Platform::BeginScene();
    StandInDrawWorld(rc);
    DrawPostRawObjs();
    // The interface's blur over the finished picture (nothing at strength 0).
    gMotionBlurSmoothBrighten.Draw(false);
    Platform::EndScene(2);
    // The listener is the camera.
    sound.Update(1, camera);
    // The jukeboxes read the play addresses this update brought back.
    bgm.Update();
    DaceVO.Update();
    JBNPCVO.Update();
}

int ee_main(int argc, char** argv)
{
    MainStartUp(argc, argv);
    for (int frame = 0;; frame++)
        MainFrame(frame);
}

int frame;
int vsyncprev;
int iLastUpdateVSync;
int vsynclastvsync;
int vsyncperdraw;
int g_iDemoAbort;
int bDemoForceAbortCinematic;
int g_i32DemoDelayAbort;

Font* g_pfont;
Font* g_pGUIFont;
Font* g_pGUIHead;
Font* g_pfontHelveticaB;
Font* g_pfontStreetSign;
Font* g_pfontUILarge;
Font* g_pfontUIMedium;
Font* g_pfontUISmall;
Font* g_pfontLicPlate;

void ResetFrameCnts()
{
    Platform::Reset();
    frame = 0;
    vsyncprev = iLastUpdateVSync = vsynclastvsync = int(Platform::Count());
    vsyncperdraw = 2;
}

void MainLoop_Loading()
{
}

void SetGlobalLights(int)
{
}
