// The game's entry: start-up, the resident data, the endless sequence of
// play runs and the main loop that advances the game in whole vertical-blank
// ticks and draws one picture per frame.
#include "game/MAIN.h"

#include <ee/crt0.h>
#include <ee/demo.h>

#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/Streamer.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/IPUBitmap.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Sound.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "ZevEngine2/Utilities/SoundStream2.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/ProgramImages.h"
#include "game/HUD.h"
#include "game/QuadTree.h"
#include "game/Rain.h"
#include "game/Rumble.h"
#include "game/TestPart.h"
#include "game/cine.h"
#include "game/fbfx.h"
#include "game/userintf.h"
#include "game/Weapons.h"

// The one pool of pointer-list links, built by this module's static
// initialiser before main: every List<T> in the program takes its links here.
LinkPool<1024> linkpool;

// The one sound system, built before main: four pre-made 96 KiB stream banks,
// stereo output.
SoundSystem sound(98304, 4, true);

DemoParams demoparams;

RenderContext rc;
LightContext lc;

unsigned short sndbank_ui = 0xFFFF;
unsigned short sndbank_comb = 0xFFFF;
unsigned short sndbank_dest = 0xFFFF;
unsigned short sndbank_vo = 0xFFFF;
unsigned short sndbank_car = 0xFFFF;

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
Font* g_pfontUILarge;
Font* g_pfontUIMedium;
Font* g_pfontUISmall;
Font* g_pfontLicPlate;

namespace {

bool rainArgument = false;

// Pad bits: held in the low half, newly pressed in the high half.
constexpr u32 PAD_SELECT = 0x0100;
constexpr u32 PAD_START = 0x0800;
constexpr u32 PAD_CROSS = 0x0040;
constexpr u32 NEW(u32 b) { return b << 16; }

const ResidentModel kResidentModels[] = {
    {48, "KORVALIS\\DemoData\\Char\\DACE.P2B"},      {144, "KORVALIS\\DemoData\\Misc\\ATTNGLOW.P2B"},
    {145, "KORVALIS\\DemoData\\Misc\\BADGE.P2B"},    {146, "KORVALIS\\DemoData\\Misc\\BULLSPRK.P2B"},
    {147, "KORVALIS\\DemoData\\Misc\\BULLPUFF.P2B"}, {148, "KORVALIS\\DemoData\\Misc\\BULLETS.P2B"},
    {149, "KORVALIS\\DemoData\\Misc\\BULLHOLE.P2B"}, {150, "KORVALIS\\DemoData\\Misc\\BLOOD.P2B"},
    {151, "KORVALIS\\DemoData\\Misc\\MUZZLEFL.P2B"}, {152, "KORVALIS\\DemoData\\Misc\\LASRBEAM.P2B"},
    {153, "KORVALIS\\DemoData\\Misc\\RTCDEF.P2B"},   {154, "KORVALIS\\DemoData\\Misc\\RTCENEMY.P2B"},
    {155, "KORVALIS\\DemoData\\Misc\\RTCPR.P2B"},    {156, "KORVALIS\\DemoData\\Misc\\RTCPRON.P2B"},
    {157, "KORVALIS\\DemoData\\Misc\\RTCPROFF.P2B"}, {158, "KORVALIS\\DemoData\\Misc\\WEAPONS.P2B"},
    {159, "KORVALIS\\DemoData\\Misc\\SIREN.P2B"},    {160, "KORVALIS\\DemoData\\Misc\\DACEGUN3.P2B"},
    {161, "KORVALIS\\DemoData\\Misc\\ENEMGUNS.P2B"}, {162, "KORVALIS\\DemoData\\Misc\\LITECONE.P2B"},
    {197, "KORVALIS\\DemoData\\Misc\\EXPLSPPF.P2B"}, {198, "KORVALIS\\DemoData\\Misc\\EXPLMSHR.P2B"},
    {212, "KORVALIS\\DemoData\\Misc\\SKIDSMKE.P2B"}, {213, "KORVALIS\\DemoData\\Misc\\ENGFIRE.P2B"},
    {214, "KORVALIS\\DemoData\\Misc\\SMKPUFF.P2B"},  {215, "KORVALIS\\DemoData\\Misc\\SHROOM.P2B"},
    {216, "KORVALIS\\DemoData\\Misc\\GEYSER.P2B"},   {217, "KORVALIS\\DemoData\\Misc\\DUSTPUFF.P2B"},
    {136, "KORVALIS\\DemoData\\Misc\\SHCARTOR.P2B"}, {219, "KORVALIS\\DemoData\\Misc\\SPLASH.P2B"},
};

// The animation groups kept for the whole program, in their loading order.
const int kResidentAnimGroups[] = {
    AnimGroup_NPCDefault,     AnimGroup_NPCSprint,       AnimGroup_NPCPistol,     AnimGroup_DaceDefault,
    AnimGroup_DaceCombat,     AnimGroup_DaceGuns,        AnimGroup_DaceCar,       AnimGroup_NPCFemaleCombat,
    AnimGroup_NPCMaleCombat,  AnimGroup_NPCPedDefault,   AnimGroup_NPCPedFemale,  AnimGroup_NPCPedHobo,
    AnimGroup_NPCPedHomie,    AnimGroup_NPCPedSenior,    AnimGroup_NPCPedSlut,
};

}  // namespace

std::span<const ResidentModel> ResidentModels()
{
    return kResidentModels;
}

std::span<const int> ResidentAnimGroups()
{
    return kResidentAnimGroups;
}

namespace {

Font* MakeFont(FONTFILE& ff)
{
    void* p = malloc_align(sizeof(Font), 16);
    return p != nullptr ? new (p) Font(ff) : nullptr;
}

}  // namespace

void LoadGlobals()
{
    printf("Loading world...\n");
    world.Init();
    // The first files read tell whether the archive can be read at all.
    if (StreamerArchiveDamaged())
        return;
    g_GlobalMFI.LoadVehicleMdlFileGroup();
    printf("Done loading world.\n");

    // The controller lives for the whole program on the object heap, which
    // gives it zero-filled storage.
    g_pgcTest = new GameController(nullptr);
    g_pgcTest->iDemoLoadScreenOverride = 9;
    g_pgcTest->StartLoading();
    SetDemoLoadState(1);

    printf("Loading sound...\n");
    sndbank_ui = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_UI.SND", true);
    sndbank_comb = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_COMB.SND", true);
    sndbank_dest = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_DEST.SND", true);
    sndbank_vo = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_VO.SND", true);
    // The weapon table holds the gun bank as an int, -1 while it is missing.
    const unsigned short gun = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_GUN.SND", true);
    sndbank_gun = gun == 0xFFFF ? -1 : int(gun);
    sndbank_car = sound.LoadSoundBank("KORVALIS\\DemoData\\Vags\\SND_CAR.SND", true);
    printf("Done loading sound.\n");

    for (const ResidentModel& m : kResidentModels) {
        if (m.slot == 48)
            printf("Loading characters...\n");
        g_GlobalMFI.LoadMF(m.slot, m.name, 0, 0);
        if (m.slot == 48)
            printf("Done loading characters.\n");
    }

    g_pgcTest->EndLoading();
    g_pgcTest->iDemoLoadScreenOverride = 10;
    g_pgcTest->StartLoading();
    SetDemoLoadState(1);

    printf("Loading animations...\n");
    for (int ag : kResidentAnimGroups)
        g_GlobalAGI.LoadAG(ag, AGI_PERMANENT);
    printf("Done loading animations.\n");

    g_pfont = MakeFont(Arial);
    g_pGUIFont = MakeFont(Font_GUI_text);
    g_pGUIHead = MakeFont(Font_GUI_heading);
    g_pfontHelveticaB = MakeFont(Font_HelveticaBlack);
    g_pfontStreetSign = MakeFont(Font_StreetSign);
    g_pfontUILarge = MakeFont(Font_UI_Large);
    g_pfontUIMedium = MakeFont(Font_UI_Medium);
    g_pfontUISmall = MakeFont(Font_UI_Small);
    g_pfontLicPlate = MakeFont(Font_LicPlate);

    // The pictures linked into the program, the model drawer's highlight and
    // reflection among them; then the particle models' own files.
    FixProgramImages();
    LoadParticleFiles();

    world.StartFrameCall(g_pgcTest);
    g_pgcTest->EndLoading();
}

void ResetFrameCnts()
{
    Platform::Reset();
    frame = 0;
    vsyncprev = iLastUpdateVSync = vsynclastvsync = int(Platform::Count());
    vsyncperdraw = 2;
}

void FrameStartLoop() {}

void LeaveRequest()
{
    const u32 pad = controller[0].pad;
    const bool cinema = world.mode == WORLD_MODE_CINEMA;
    int request = 0;
    if (((pad & NEW(PAD_START)) && (pad & PAD_SELECT)) || ((pad & NEW(PAD_SELECT)) && (pad & PAD_START)))
        request = 2;
    else if (pad & NEW(PAD_SELECT))
        request = 1;
    if (request == 0)
        return;
    if (cinema)
        bDemoForceAbortCinematic = 1;
    else
        g_iDemoAbort = request;
}

int MainLoopFrame()
{
    GameController* gc = g_pgcTest;
    FrameStartLoop();

    // The ticks owed since the last batch: at most 4, and at least 1 (a
    // frame that comes within the same blank waits for the next one).
    int n = std::clamp(int(Platform::Count()) - iLastUpdateVSync, 0, 4);
    if (n == 0) {
        Platform::Sync();
        n = std::clamp(int(Platform::Count()) - iLastUpdateVSync, 1, 4);
    }
    iLastUpdateVSync = int(Platform::Count());

    for (int i = 0; i < n && gc->iMainExitVal == 0; i++) {
        Controller::Update();
        RumbleController::UpdateAll(iLastUpdateVSync + i);
        if (g_i32DemoDelayAbort > 0 && --g_i32DemoDelayAbort == 0)
            g_iDemoAbort = 2;
        LeaveRequest();
        if (g_iDemoAbort != 0)
            gc->iMainExitVal = g_iDemoAbort;
        if (world.mode == WORLD_MODE_CINEMA && ((controller[0].pad & NEW(PAD_CROSS)) || bDemoForceAbortCinematic)) {
            AbortCinematic();
            // The run ends two ticks after the cinema mode is left.
            if (bDemoForceAbortCinematic)
                g_i32DemoDelayAbort = 2;
        }
        if (world.mode != WORLD_MODE_PAUSED && world.mode != WORLD_MODE_PAUSED_NODRAW) {
            ClearLights();
            world.Update();
            WindUpdate(float(world.time));
            if (!gc->bCinematic) {
                if (gc->bInterior)
                    world.InteriorCollision();
                else
                    world.Collision();
            }
            if (cam != nullptr)
                world.CollideObject(cam);
        }
        vsyncprev += 1;
    }
    if (gc->iMainExitVal != 0)
        return n;

    if (world.mode != WORLD_MODE_PAUSED && world.mode != WORLD_MODE_PAUSED_NODRAW)
        world.Animate();
    if (!gc->bInterior)
        SetupWorldLights();

    const Camera* view = cam != nullptr ? cam : &g_DefaultCamera;
    const float nearz = view->nearz != 0.0f ? view->nearz : (WeatherFog() > 0.8f ? 0.05f : 0.1f);
    rc.SetZRange(nearz, 2000.0f);
    rc.SetPerspective(view->zoom);
    rc.SetCameraMatrix(view->GetWorldMatrix());

    Platform::BeginScene();
    if (world.mode != WORLD_MODE_PAUSED_NODRAW && world.mode != WORLD_MODE_SHELL) {
        world.Draw(rc, !gc->bInterior, !gc->bInterior || gc->bUseDefInteriorLights);
        world.DrawPostRaw(rc, n);
        gMotionBlurSmoothBrighten.Draw(false);
    }
    Run_UI();
    Platform::EndScene(2);

    // The listener is the camera object's own matrix.
    sound.Update(1, cam != nullptr ? cam->mat : Matrix(true));
    bgm.Update();
    DaceVO.Update();
    JBNPCVO.Update();
    frame += 1;
    return n;
}

void MainLoop()
{
    while (g_pgcTest->iMainExitVal == 0)
        MainLoopFrame();
}

void MainLoop_Loading()
{
    iLastUpdateVSync = vsynclastvsync = int(Platform::Count());
    iLastUpdateVSync = int(Platform::Count());
    Controller::Update();
    vsyncprev += 1;
    Platform::BeginScene();
    rc.Begin();
    Loading_UIDraw();
    rc.End();
    Platform::EndScene(2);
    frame += 1;
    if (g_iDemoAbort == 0)
        LeaveRequest();
}

int Demo_DisplayScreen(int screen, float seconds)
{
    g_pgcTest->iDemoLoadScreenOverride = screen;
    const int frames = int(seconds * 60.0f);
    g_pgcTest->StartLoading();
    SetDemoLoadState(1);
    DemoScreenWait(frames);
    for (int i = 0; i < 2; i++) {
        Platform::Sync();
        Controller::Update();
    }
    g_pgcTest->EndLoading();
    return 0;
}

int Demo_ContinueScreen(float seconds)
{
    GC_SERVICE("Demo_ContinueScreen(%g)", double(seconds));
    SetDemoLoadState(2);
    DemoScreenWait(int(seconds * 60.0f));
    return 0;
}

int DemoScreenWait(int frames)
{
    auto stop = [] { return g_iDemoAbort != 0 || (controller[0].pad & NEW(PAD_CROSS)) != 0; };
    int shown = 0;
    if (frames == 0 || stop())
        return 0;
    for (; shown < frames; ) {
        for (Callback* cb = LoadingCallback::cbs.First(); cb != nullptr; cb = cb->next)
            if ((*cb)(nullptr) != 0)
                break;
        Platform::Sync();
        shown++;
        if (stop())
            break;
    }
    return shown;
}

bool StartUp(int argc, char** argv)
{
    sceeDemoStart(argc, argv, &demoparams.language, &demoparams.aspect, &demoparams.playmode,
                  &demoparams.inactive_timeout, &demoparams.total_timeout);
    Platform::Init();
    Platform::InitGraphics(GM_PAL, 640, 512);
    // The title picture goes straight into the 16-bit display buffer, so it
    // is what the display shows until the first frame is flipped.
    reinterpret_cast<IPUBitmap*>(const_cast<unsigned char*>(Title))->Load(0, 0, PSMCT16S, TitleSize);
    Platform::DisplayOn();
    ReadLightingSets();
    // The launcher's "rain" argument starts every run in full rain.
    for (int i = 1; i < argc; i++)
        if (argv[i] != nullptr && strcmp(argv[i], "rain") == 0)
            rainArgument = true;
    Controller::Init();
    for (Controller& c : controller) {
        c.analogOn = 1;
        c.pressureOn = 1;
    }
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
    // Nothing of the demo can be read from a damaged archive (the streaming
    // module has said what is wrong with it, at the first file asked for):
    // the demo ends.  A disc without one runs on, as without a disc.
    if (StreamerArchiveDamaged()) {
        printf("Start-up: the disc's archive cannot be used; the demo ends\n");
        return false;
    }
    return true;
}

void StartRun(int episode, int record)
{
    GameController* gc = g_pgcTest;
    // A run after a returning hand-back starts clean: no exit value or
    // leave request left over (SELECT during the closing screens leaves one
    // that would end this run at its first tick), and the episode's
    // placement file read again (the world's reset took its placeholders).
    // The reset also emptied the frame-call list the controller keeps its
    // clock on.
    gc->iMainExitVal = 0;
    g_iDemoAbort = 0;
    bDemoForceAbortCinematic = 0;
    g_i32DemoDelayAbort = 0;
    // A run left in the middle of a record leaves the record's entry index
    // and result: the new run's first record would start at that entry (and
    // so end at once and jump on by the old result).
    gc->iGPREntryIndex = 0;
    gc->iMissionRet = 0;
    gc->pvScript = nullptr;
    gc->bForceLevel = false;
    gc->iFlags &= ~(GCF_SIDETRIP_REQUESTED | GCF_SIDETRIP_RUNNING | GCF_SIDETRIP_FINISHED);
    GameController::ForgetMissionFile();
    // Each run is played as by a program just loaded: the last player's
    // points, shields and progress do not carry over into the next run (a
    // shield door or a health cart would answer to them, and the HUD would
    // show them).
    gc->ResetProgress();
    if (gc->pmd != nullptr)
        gc->pmd->InitPoints(0, 0);
    if (!(gc->flags & OBJF_FRAMECALL) || world.framecalllist.Find(gc) == nullptr)
        world.StartFrameCall(gc);

    sound.StopAll();
    frame = 0;
    iLastUpdateVSync = vsyncprev = vsynclastvsync = int(Platform::Count());
    Platform::Sync();
    SetCurrentCam(nullptr);
    if (rainArgument) {
        gc->EnableRain(1.0f);
        gRain.SetSplashColour(Colour(100, 110, 130, 128));
    }
    // The launcher names where the run starts, the game's own start point
    // unless it says otherwise, once the run is set up.
    u16 ep = u16(episode), rec = u16(record);
    sceeDemoStartPoint(&ep, &rec);
    gc->SwitchToMission(ep, rec, 0);
    SpecialMessage run(SMSG_GC_RUN_SCRIPT, nullptr);
    gc->SendMessage(OM_SPECIAL, &run);
    // The HUD is not put up here: a game mode's start binds it to the player
    // and puts it at the front, and a level's clean-up takes it down, so a
    // run that starts with a scene shows none until its mode begins.
}

namespace {

bool IsResidentSlot(int slot)
{
    for (const ResidentModel& m : kResidentModels)
        if (m.slot == slot)
            return true;
    return false;
}

}  // namespace

void EndRun()
{
    sound.StopAll();
    Platform::Sync();
    Platform::Sync();
    g_iDemoAbort = 0;
    for (int screen = 4; screen <= 8; screen++)
        Demo_DisplayScreen(screen, 10.0f);
    // A run left in the middle of a step (the player leaving the demo)
    // leaves the step's level, game mode and models: they go, so that the
    // next run's game mode does not end a controller that is gone and every
    // run starts from the heap the start-up left.
    GameController* gc = g_pgcTest;
    gc->CleanupLevel();
    gc->pMission = nullptr;
    gc->prms = nullptr;
    world.Reset();
    for (int slot = 0; slot < MFI_NUMSLOTS; slot++)
        if (!IsResidentSlot(slot) && g_GlobalMFI.GetID(slot) >= 0)
            g_GlobalMFI.DeleteMF(slot, true);
    // The interior went with its model: a run left inside the bar or the spa
    // would otherwise start the next one indoors (the city neither drawn nor
    // collided, its cars out of reach).
    gc->bInterior = false;
    // The next run says each damaged model file again, once.
    StreamMdlFile::ForgetRefusals();
    // The whole free total: the free lists alone move with where a block
    // happened to be freed (a picture refused and replaced by the built-in
    // one frees its buffer next to the middle block, not on a list).
    printf("Run over: %u bytes of the heap free\n", TotalHeapFree());
}

int ee_main(int argc, char** argv)
{
    if (!StartUp(argc, argv))
        return 1;
    for (bool first = true;; first = false) {
        StartRun(2, 5);
        if (first)
            Platform::Sync();
        MainLoop();
        EndRun();
        sceeDemoEnd();
    }
}
