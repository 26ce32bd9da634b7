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
// The destruction sound bank (explosions, breaking props); 0xFFFF until
// loaded.  Loaded here until the game flow loads its resident banks.
extern unsigned short sndbank_dest;

// Loads the resident data, once, at start-up: the built-in textures of model
// drawing and the sound banks.
void LoadGlobals();


// Start-up in the console's order: the launcher's parameters, the platform,
// 640 x 512 graphics, the title picture and the display, the pads and
// vibration, the main view and light context, LoadGlobals, then the
// stand-in scene.
void MainStartUp(int argc, char** argv);

// One displayed frame of the stand-in main loop; `frame` counts frames from 0.
void MainFrame(int frame);
