// The game's start-up and main loop.  Until the game flow exists, a small
// loop stands in for it: start the platform, the pads and vibration, then
// frame after frame read the pads, update and animate the world and draw the
// frame (the cleared screen and the post-draw screen objects).  The run ends
// from outside: the headless options, or Escape in the window.
#pragma once

#include "ZevEngine2/Zev.h"

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

// Start-up in the console's order: the launcher's parameters, the platform,
// 640 x 512 graphics and the display, the pads and vibration.
void MainStartUp(int argc, char** argv);

// One displayed frame of the stand-in main loop; `frame` counts frames from 0.
void MainFrame(int frame);
