// Stand-ins for services of parts of the game not built yet.
#include "game/StandIns.h"

#include <cstring>

#include "ZevEngine2/Utilities.h"
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
