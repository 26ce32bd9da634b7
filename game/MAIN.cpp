// The game's entry: start-up of the platform and the main loop.
#include "ZevEngine2/Zev.h"

#include <ee/crt0.h>

int ee_main(int, char**)
{
    scePrintf("korvalis: start\n");
    return 0;
}
