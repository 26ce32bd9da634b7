// The game's entry: start-up of the platform and the main loop.
#include "game/MAIN.h"

#include <ee/crt0.h>
#include <ee/demo.h>

#include "ZevEngine2/List.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/QuadTree.h"
#include "game/Rumble.h"

// The one pool of pointer-list links, built by this module's static
// initialiser before main: every List<T> in the program takes its links here.
LinkPool<1024> linkpool;

// The one sound system, built before main: four pre-made 96 KiB stream banks,
// stereo output.
SoundSystem sound(98304, 4, true);

DemoParams demoparams;

void MainStartUp(int argc, char** argv)
{
    sceeDemoStart(argc, argv, &demoparams.language, &demoparams.aspect, &demoparams.playmode,
                  &demoparams.inactive_timeout, &demoparams.total_timeout);
    Platform::Init();
    Platform::InitGraphics(GM_PAL, 640, 512);
    Platform::DisplayOn();
    Controller::Init();
    RumbleController::Init();
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
    world.Update();
    world.Animate();
    Platform::BeginScene();
    DrawPostRawObjs();
    Platform::EndScene(2);
    // No camera yet: the listener stands at the origin.
    sound.Update(1, Matrix(true));
}

int ee_main(int argc, char** argv)
{
    MainStartUp(argc, argv);
    for (int frame = 0;; frame++)
        MainFrame(frame);
}
