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

namespace {

struct FoeOrders
{
    RCptr<Object> foe;
    AttackMode mode;
    VectorPos pos;
};
FoeOrders* Orders(Object* foe, bool make)
{
    StandInUsed("the foes' fight orders");
    // Never released: the references must not outlive the game's heap.
    static FoeOrders* foeOrders = new FoeOrders[64];
    FoeOrders* free = nullptr;
    for (int i = 0; i < 64; i++) {
        FoeOrders& o = foeOrders[i];
        if (o.foe.p == foe)
            return &o;
        if (o.foe.p != nullptr && o.foe->IsDead())
            o.foe = nullptr;
        if (o.foe.p == nullptr && free == nullptr)
            free = &o;
    }
    if (!make || free == nullptr)
        return nullptr;
    free->foe = foe;
    free->mode = AM_NONE;
    free->pos = VectorPos(0.0f, 0.0f, 0.0f);
    return free;
}

}  // namespace

void SetFoeAttackMode(Object* foe, AttackMode m)
{
    if (FoeOrders* o = Orders(foe, true))
        o->mode = m;
}

AttackMode FoeAttackMode(Object* foe)
{
    const FoeOrders* o = Orders(foe, false);
    return o != nullptr ? o->mode : AM_NONE;
}

void SetFoeFightPos(Object* foe, VectorPos p)
{
    if (FoeOrders* o = Orders(foe, true))
        o->pos = p;
}

VectorPos FoeFightPos(Object* foe)
{
    const FoeOrders* o = Orders(foe, false);
    return o != nullptr ? o->pos : VectorPos(0.0f, 0.0f, 0.0f);
}

namespace {

struct KeptOrders
{
    RCptr<Object> enemy;
    EnemyOrders orders;
};

KeptOrders* Kept(Object* enemy, bool make)
{
    StandInUsed("the enemies' set-up from their generators");
    // Never released: the references must not outlive the game's heap.
    static KeptOrders* kept = new KeptOrders[64];
    KeptOrders* free = nullptr;
    for (int i = 0; i < 64; i++) {
        KeptOrders& k = kept[i];
        if (k.enemy.p == enemy)
            return &k;
        if (k.enemy.p != nullptr && k.enemy->IsDead())
            k.enemy = nullptr;
        if (k.enemy.p == nullptr && free == nullptr)
            free = &k;
    }
    if (!make || free == nullptr)
        return nullptr;
    free->enemy = enemy;
    return free;
}

}  // namespace

void GiveEnemyOrders(Object* enemy, const EnemyOrders& o)
{
    if (KeptOrders* k = Kept(enemy, true))
        k->orders = o;
}

const EnemyOrders* EnemyOrdersOf(Object* enemy)
{
    const KeptOrders* k = Kept(enemy, false);
    return k != nullptr ? &k->orders : nullptr;
}

void StartEnemy(Object* enemy, EnemyStart how)
{
    static const s8 modes[] = {0, 1, 2, 21, 22, 30, 31, 32};
    enemy->mode = modes[how];
}

void SetEnemyHibernating(Object* enemy, bool asleep)
{
    if (KeptOrders* k = Kept(enemy, true))
        k->orders.hibernating = asleep;
}

void DaceGetOut(Object* player)
{
    StandInUsed("the player's getting out of a car");
    standInLog.lastGetOut = player;
    standInLog.nGetOuts++;
    if (player != nullptr && player == dace)
        dace->GetOut();
}

void RunnerSelectStoppedStrategy(Enemy*)
{
    StandInUsed("the runner's stopped strategy");
}
