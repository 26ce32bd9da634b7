// The game's start-up and main loop: the platform with the title picture,
// the lighting sets, the pads, the main view and the resident data
// (LoadGlobals), then play runs for ever.  A run starts the game controller's
// script at the launcher's start point (episode 2, record 5 unless told
// otherwise), runs frames until the controller's exit value is set (the
// script's end, or the player's leave request), shows the five closing
// screens, resets the world and hands back to the launcher.
#pragma once

#include <span>

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Utilities/SoundStream2.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/GameAudio.h"

// The demo disc's start parameters, read once at start-up.
struct DemoParams
{
    u16 language;
    u16 aspect;
    u16 playmode;
    u16 inactive_timeout;
    u16 total_timeout;
};

extern DemoParams demoparams;

// The still pictures held in the program, IPUBitmaps made by the picture
// encoder during the build: the title, 640 x 512, shown while the game
// starts, and the loading screen's, 640 x 448.
extern const unsigned char Title[];
extern const unsigned int TitleSize;
extern const unsigned char LoadScrn[];
extern const unsigned int LoadScrnSize;

// The main view, set up once at start-up (the whole screen, aspect, depth
// range, projection) and given its camera each frame.
extern RenderContext rc;
// The light context made current at start-up.
extern LightContext lc;
// The interface sound bank, 0xFFFF when it could not be loaded.
extern unsigned short sndbank_ui;
// The destruction sound bank (explosions, breaking props); 0xFFFF until
// loaded.  Loaded here until the game flow loads its resident banks.
extern unsigned short sndbank_dest;

// Loads the resident data, once, at start-up: the built-in textures of model
// drawing and the sound banks.  Stops after the world when the disc's archive
// is damaged.
void LoadGlobals();

// The model files LoadGlobals keeps for the program, slot and name, in their
// loading order.
struct ResidentModel
{
    int slot;
    const char* name;
};
std::span<const ResidentModel> ResidentModels();
// The animation groups the start-up keeps, by index, in loading order.
std::span<const int> ResidentAnimGroups();

// The frame counters of a run: displayed frames, ticks done, the blank count
// at the last batch of ticks and at the run's start.
extern int frame;
extern int vsyncprev;
extern int iLastUpdateVSync;
extern int vsynclastvsync;
extern int vsyncperdraw;
// A pending leave request (1 SELECT, 2 START with SELECT), one that arrived
// in a cinematic, and the ticks left before a delayed one takes effect.
extern int g_iDemoAbort;
extern int bDemoForceAbortCinematic;
extern int g_i32DemoDelayAbort;

// Resets the platform's counters and the run's frame counters.
void ResetFrameCnts();
// One frame of the loading screen, run by the loading callback.
void MainLoop_Loading();

class Font;
extern Font* g_pfont;
extern Font* g_pGUIFont;
extern Font* g_pGUIHead;
extern Font* g_pfontHelveticaB;
extern Font* g_pfontStreetSign;
extern Font* g_pfontUILarge;
extern Font* g_pfontUIMedium;
extern Font* g_pfontUISmall;
extern Font* g_pfontLicPlate;

// Lighting: the lighting sets read from the linked-in text, applied
// unblended (n 0 at level teardown) or blended by the time of day each
// drawn frame outdoors, and the wind moved each tick.
void SetGlobalLights(int n);


extern unsigned short sndbank_comb;
extern unsigned short sndbank_dest;
extern unsigned short sndbank_vo;
extern unsigned short sndbank_car;

// Start-up up to and with LoadGlobals.  False when the disc's archive is
// damaged (LoadGlobals stops after the world, whose files were refused).
bool StartUp(int argc, char** argv);
// The start of a run: counters, the default camera, the script started at
// (episode, record) unless the launcher names another start point.
void StartRun(int episode, int record);
// The end of a run: sound off, the closing screens, the world reset.
void EndRun();

// Frames until the controller's exit value is set.
void MainLoop();
// One frame of it: the ticks owed (1..4, stopping when the exit value is
// set), then unless it was set the picture.  Returns the ticks run.
int MainLoopFrame();
// Empty hook at the top of every frame.
void FrameStartLoop();
// The player's leave request on pad 0: SELECT newly pressed 1, with START
// 2; in the cinema mode it marks the cinematic for abort instead.
void LeaveRequest();

// A numbered still screen (the loading screen's picture) for `seconds` or
// until CROSS is newly pressed; the continue prompt over the loading screen
// for `seconds`.
int Demo_DisplayScreen(int screen, float seconds);
int Demo_ContinueScreen(float seconds);
// Runs the loading callbacks once a blank for up to `frames` blanks, ending
// early on a leave request or a newly pressed CROSS; the blanks waited.
int DemoScreenWait(int frames);

// Lighting sets read from the linked-in text at start-up.
void ReadLightingSets();
// This frame's lights by the time of day, the rain and the fog, outdoors.
void SetupWorldLights();
// The wind by world time, once a tick.
void WindUpdate(float t);
// The weather's fog amount, 0..1.
float WeatherFog();

// The free screenshot camera, worked from the second pad; a debug aid that
// nothing calls.  Once per frame: SELECT frees the current camera (or hands it
// back to the player), CROSS toggles whether its target keeps to the player,
// the sticks fly and turn it.
void UpdateScreenshotCamera();
// Whether a camera is free now.
bool ScreenshotCameraFree();
