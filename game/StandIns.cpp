// Stand-ins for services of parts of the game not built yet.
#include "game/StandIns.h"

#include <algorithm>
#include <cstring>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Camera.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

StandInLog standInLog;

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

GameController* StandInController()
{
    if (g_pgcTest == nullptr)
        g_pgcTest = new GameController;
    return g_pgcTest;
}

