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

int DaceAttackIdle(Object*)
{
    StandInUsed("the player's frames since his last attack");
    return 1000;
}

float CharacterStrength(Object*)
{
    StandInUsed("a character's strength");
    return 1.0f;
}

void DaceSavedCar(Object*, s8* type, s8* tint)
{
    StandInUsed("the player's saved car");
    *type = -1;
    *tint = 0;
}

void DaceGetOut(Object* player)
{
    StandInUsed("the player's getting out of a car");
    standInLog.lastGetOut = player;
    standInLog.nGetOuts++;
    if (player != nullptr && player == dace)
        dace->GetOut();
}

void SetUpShooterRider(Object* rider, const ShooterRiderSetup&)
{
    StandInUsed("the mover's shooting rider");
    if (rider != nullptr)
        standInLog.nRiders++;
}

// ---------------------------------------------------------------------------
// The game controller's placement services and the cinematic drive, until
// the player's restore after a side trip and the drive's own camera land.

namespace {

bool Resuming(const GameController& gc)
{
    return (gc.iFlags & GCF_SIDETRIP_RUNNING) != 0;
}

Object* FindAnywhere(GameController& gc, int id)
{
    if (Object* o = gc.FindById(id))
        return o;
    return world.Find(id);
}

}  // namespace

int GameController::SyncGridPosAt(int iPlaceHolderID, bool bDisableResume)
{
    GC_SERVICE("SyncGridPosAt(%d, %s)", iPlaceHolderID, TraceBool(bDisableResume));
    if (Resuming(*this) && !bDisableResume)
        StandInUsed("the player's and car's restore after a side trip");
    else if (Object* ph = world.placeholderlist.Find(iPlaceHolderID)) {
        // The city around the spot is in before anything stands on it.
        if (world.quadtree != nullptr)
            while (!world.SyncTo(ph->GetWorldPos())) {
            }
    }
    ResetTime();
    return 0;
}

int GameController::PlaceCharacterAtExitPos(int iID, int iPlaceHolderID)
{
    GC_SERVICE("PlaceCharacterAtExitPos(%d, %d)", iID, iPlaceHolderID);
    if (Resuming(*this))
        return 0;
    Object* who = FindById(iID);
    Object* ph = world.placeholderlist.Find(iPlaceHolderID);
    if (who == nullptr || ph == nullptr)
        return 0;
    VectorPos pos;
    VectorDir dir;
    if (bGetExitBuildingPos(ph->GetWorldPos(), &pos, &dir)) {
        who->mat = LookAlong(dir);
        who->SetPos(pos);
    }
    if (iID == -1 && dace != nullptr && dace->cam != nullptr)
        dace->cam->ResetCam();
    return 0;
}

int GameController::PutObjectInCar(int iObjId, int iVehId, int iAttachPt, bool bForce)
{
    GC_SERVICE("PutObjectInCar(%d, %d, %d, %s)", iObjId, iVehId, iAttachPt, TraceBool(bForce));
    if (Resuming(*this) && !bForce)
        return 0;
    Object* who = FindAnywhere(*this, iObjId);
    Object* car = FindAnywhere(*this, iVehId);
    if (who == nullptr || car == nullptr)
        return 0;
    if (who->parent != nullptr)
        who->Detach();
    SpecialMessage m(SMSG_PUT_IN_VEHICLE, car, iAttachPt);
    who->SendMessage(OM_SPECIAL, &m);
    return 0;
}

int GameController::SetTargetObject(int iID, bool bSetDaceTarget)
{
    GC_SERVICE("SetTargetObject(%d, %s)", iID, TraceBool(bSetDaceTarget));
    StandInUsed("the game controller's target object");
    rcoTarget = FindById(iID);
    return 0;
}

int GameController::SetCineDriveMode(int iSrceID, int iJBVagIndex)
{
    GC_SERVICE("SetCineDriveMode(%d, %d)", iSrceID, iJBVagIndex);
    iMissionRet = 0;
    if (Resuming(*this))
        return 0;
    // The drive's voice line and camera come with the cinematic drive; here
    // the drive is the letterbox and the 15-frame wait the controller ends.
    StandInUsed("the cinematic drive's voice and camera");
    rcoSource = FindById(iSrceID);
    mode = s8(GCM_CINEDRIVE);
    world.SetTimer(this, AnimTime(15 * 256), nullptr);
    if (plb != nullptr && plb->iMode == 2) {
        plb->iMode = 1;
        plb->iOffset = 0;
        world.AddPostRawObj(plb, true);
    }
    return 0;
}
