// The game's start-up and main loop.  Until the game flow exists, a small
// loop stands in for it: start the platform with the title picture, the pads
// and vibration, the main view and lights, load the resident data there is
// and the stand-in scene (game/StandInScene.h), then frame after frame read
// the pads, update and animate the world, draw it and the post-draw screen
// objects, and update the sound.  The run ends from outside: the headless
// options, or Escape in the window.
#pragma once

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

// Loads the resident data, once, at start-up: the built-in textures of model
// drawing and the sound banks.
void LoadGlobals();

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


// Start-up in the console's order: the launcher's parameters, the platform,
// 640 x 512 graphics, the title picture and the display, the pads and
// vibration, the main view and light context, LoadGlobals, then the
// stand-in scene.
void MainStartUp(int argc, char** argv);

// One displayed frame of the stand-in main loop; `frame` counts frames from 0.
void MainFrame(int frame);
