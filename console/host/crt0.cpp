// Process entry of the game: the stand-in's options first, then the game.
#include "core/config.h"
#include "core/diag.h"
#include "ee/console_out.h"
#include "ee/crt0.h"

int main(int argc, char** argv)
{
    console::Configure(argc, argv);
    int status = ee_main(argc, argv);
    console::FlushConsole();
    console::Terminate(status);
}
