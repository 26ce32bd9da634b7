// The user interface's entry points the game flow calls: the loading screen
// (a still picture kept alive while loads wait, with a pulsing "loading..."
// or the continue prompt) and the per-frame interface.
//
// The pause menu and the other screens come with the interface; Run_UI
// draws nothing until then and says so once.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Callback.h"

class IPUBitmap;

// The interface's state that the loading screen uses; `UI` is also the
// loading callback that draws a loading frame while a load waits.
class UserInterface : public Callback
{
public:
    // The loading callback: a loading frame when one is due; always 1.
    int operator()(void* p) override;
    // A loading frame when at least two blanks passed since the last.
    void Loading_UI(int unused);

    u32 last_vsync_ctr = 0;
    int LoadTimer = 0;
    bool useLoadScrnBuffer = false;
    s16 PrevBright = 0;
    IPUBitmap* pipubmOverride = nullptr;
    u32 overrideSize = 0;
    bool isLoading = false;
};

extern UserInterface UI;

// 0 "loading...", 2 the continue prompt, other values no text.
extern int iDemoLoadingScreenState;

// The replacement pictures by the controller's iDemoLoadScreenOverride,
// under "KORVALIS\DemoData\"; entry 0 none.
constexpr int NUM_DEMOLOADSCREENS = 11;
extern const char* const DemoLoadScreenNames[NUM_DEMOLOADSCREENS];

void StartUILoadScreen();
void StopUILoadScreen();
void Loading_UI(int unused);
// One loading frame, between the scene's begin and end.
void Loading_UIDraw();
void SetDemoLoadState(int state);
// The per-frame interface: nothing to draw yet.
void Run_UI();
