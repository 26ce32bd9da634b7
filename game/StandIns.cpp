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

Vehicle* DaceCar(Object* player)
{
    Object* root = player != nullptr ? player->GetRoot() : nullptr;
    return root != nullptr && root->type == OBJT_VEHICLE ? static_cast<Vehicle*>(root) : nullptr;
}

const RoadSeg* DaceCurrentRS(const Dace* d)
{
    if (d == nullptr)
        return nullptr;
    StandInUsed("the player's road segment");
    GHCache cache{};
    // From just above his feet (y is down), within a kerb's step.
    world.GroundHeight(d->GetWorldPos() - VectorDir(0.0f, 0.1f, 0.0f), nullptr, &cache);
    return cache.prs;
}

Object* CreateTargetObj(VectorPos& pos, MDLFILE* mf, int node)
{
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    StandInUsed("target markers");
    Object* o = mf->GetHierarchy(u16(node), sizeof(Object), GH_ANIMATE);
    if (o == nullptr)
        return nullptr;
    o->mat = TransMatrix(pos);
    o->flags |= OBJF_SELFANIMATING | OBJF_NOCOLLISION;
    o->id = 1001;
    return o;
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

int GameModeTarget::staticmh(Object* o, OBJMESSAGE msg, void*)
{
    if (msg == OM_DIE) {
        delete static_cast<GameModeTarget*>(o);
        return -1;
    }
    return 0;
}

GameModeTarget* CreateGameSubModeTargetObj(VectorPos& vpDest, MDLFILE* pmf, int iModelNum, int iLevelNum,
                                           int iTableIndex)
{
    if (pmf == nullptr || !pmf->HasData())
        return nullptr;
    StandInUsed("side-activity markers");
    GameModeTarget* t = new GameModeTarget;
    if (t == nullptr)
        return nullptr;
    t->messagehandler = GameModeTarget::staticmh;
    t->i16SubLevelNumberTrigger = s16(iLevelNum);
    t->i16TableIndex = s16(iTableIndex);
    t->mat = TransMatrix(vpDest);
    t->flags |= OBJF_SELFANIMATING | OBJF_NOCOLLISION;
    t->i16Flags |= 3;
    if (Object* fx = pmf->GetHierarchy(u16(iModelNum), sizeof(Object), GH_ANIMATE)) {
        fx->mat = TransMatrix(VectorPos(0.0f, -0.625f, 0.0f));
        t->Attach(fx);
    }
    return t;
}

void Vehicle::UnDamage(float s)
{
    StandInUsed("the car's repair");
    standInLog.nRepairs++;
    strength = s;
}
