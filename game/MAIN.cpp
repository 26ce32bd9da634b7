// The game's entry: start-up of the platform and the main loop.
#include "ZevEngine2/Zev.h"

#include <ee/crt0.h>

#include "ZevEngine2/List.h"

// The one pool of pointer-list links, built by this module's static
// initialiser before main: every List<T> in the program takes its links here.
LinkPool<1024> linkpool;

int ee_main(int, char**)
{
    scePrintf("korvalis: start\n");
    return 0;
}
