// Stand-ins for services of parts of the game not built yet.
#include "game/StandIns.h"

#include <cstring>

#include "ZevEngine2/Utilities.h"

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

void GameController::ScreenFlash(float frames, Colour c)
{
    StandInUsed("the game controller's screen flash");
    standInLog.nScreenFlashes++;
    standInLog.lastFlashFrames = frames;
    standInLog.lastFlashColour = c;
}

void GameController::AddPoints(int points, const Object*)
{
    StandInUsed("the game controller's points");
    standInLog.points += points;
}
