// Process entry of the game: the stand-in's options first, then the host
// front end (headless, or a window when the build has one and a display is
// there), then the game.  Every way the run ends goes through
// console::Terminate, which lets the front end flush its outputs.
#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"
#include "ee/crt0.h"
#include "headless/registry.h"

int main(int argc, char** argv)
{
    console::Configure(argc, argv);
    if (!console::host::StartFrontEnd())
        return 2;
    int status = ee_main(argc, argv);
    console::FlushConsole();
    console::Terminate(status);
}
