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

Object* DoTargetEffectOnObject(Object* pObj)
{
    StandInUsed("the target markers' vanishing effect");
    if (pObj != nullptr) {
        pObj->Detach();
        pObj->Delete();
    }
    return pObj;
}

void DaceGetOut(Object* player)
{
    StandInUsed("the player's getting out of a car");
    standInLog.lastGetOut = player;
    standInLog.nGetOuts++;
    if (player != nullptr && player == dace)
        dace->GetOut();
}

const RoadSeg* FindNearestRoadSeg(VectorPos pos, float* t, bool markedOnly)
{
    StandInUsed("the nearest road segment");
    // The ground under a point a little above pos, then that surface asked
    // from just above it so that the cache remembers it.
    const float y = world.GroundHeight(pos - VectorDir(0.0f, 2.0f, 0.0f), nullptr, nullptr);
    if (!(y < 0.0f))
        return nullptr;
    GHCache cache{};
    world.GroundHeight(VectorPos(pos[0], y - 0.1f, pos[2]), nullptr, &cache);
    const RoadSeg* rs = cache.prs;
    if (rs == nullptr || (markedOnly && (rs->type == nullptr || (rs->type->flags & 1) == 0)))
        return nullptr;
    if (t != nullptr)
        *t = cache.rsres[2];
    return rs;
}

void SetUpShooterRider(Object* rider, const ShooterRiderSetup&)
{
    StandInUsed("the mover's shooting rider");
    if (rider != nullptr)
        standInLog.nRiders++;
}

int FindObjects(const Cuboid& box, RCptr<Object>* out, int capacity)
{
    StandInUsed("the level objects' box look-up");
    int n = 0;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead())
            continue;
        const Cuboid b = o->GetRawBox().GetBox(o->GetWorldMatrix());
        bool meets = true;
        for (int k = 0; k < 3; k++)
            meets = meets && b.min[k] <= box.max[k] && b.max[k] >= box.min[k];
        if (!meets)
            continue;
        if (n < capacity)
            out[n] = o;
        n++;
    }
    return n;
}

int CollisionChecker::CheckBox(const Matrix& m, const Cuboid& box, unsigned char mask, int flags)
{
    StandInUsed("the collision probe");
    (void)mask;
    (void)flags;
    numcollobjs = 0;
    const Cuboid wb = box.GetBox(m);
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList() && numcollobjs < MaxObjs; ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o->GetCollision() == nullptr)
            continue;
        const Cuboid b = o->GetRawBox().GetBox(o->GetWorldMatrix());
        bool meets = true;
        for (int k = 0; k < 3; k++)
            meets = meets && b.min[k] <= wb.max[k] && b.max[k] >= wb.min[k];
        if (meets)
            collobjs[numcollobjs++] = o;
    }
    return numcollobjs;
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
