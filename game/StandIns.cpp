// Stand-ins for services of parts of the game not built yet.
#include "game/StandIns.h"

#include <cstring>

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

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

Object* ShooterEnemyTarget(Object* enemy)
{
    if (enemy != nullptr)
        StandInUsed("the shooting enemies' target");
    return nullptr;
}

Object* DoTargetEffectOnObject(Object* pObj)
{
    StandInUsed("the target markers' vanishing effect");
    if (pObj != nullptr) {
        pObj->Detach();
        pObj->Delete();
    }
    return pObj;
}

void Vehicle::UnDamage(float s)
{
    StandInUsed("the car's repair");
    standInLog.nRepairs++;
    strength = s;
}

float GetPedAggression(int)
{
    StandInUsed("Bystander::GetPedAggression");
    return 0.0f;
}
