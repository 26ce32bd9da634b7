// Stand-ins for services of parts of the game not built yet.
#include "game/StandIns.h"

#include "ZevEngine2/Utilities.h"
#include <cstring>

namespace {

GameControllerStandIn gcStandIn;

}  // namespace

GameControllerStandIn* g_pgcTest = &gcStandIn;

void StandInUsed(const char* what)
{
    // A handful of names at most: each is said once.
    static const char* said[16];
    static int nSaid = 0;
    for (int i = 0; i < nSaid; i++)
        if (strcmp(said[i], what) == 0)
            return;
    if (nSaid < 16)
        said[nSaid++] = what;
    printf("Stand-in: %s answered by a placeholder\n", what);
}

void GameControllerStandIn::ScreenFlash(int duration, u32 colour)
{
    StandInUsed("the game controller's screen flash");
    nScreenFlashes++;
    lastFlashDuration = duration;
    lastFlashColour = colour;
}
