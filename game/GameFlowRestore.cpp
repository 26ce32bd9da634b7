// The player and his car rebuilt where they stood after a side trip, the
// city streamed in around the place a task begins, the small placement
// services scripts move characters with, and the two scripted interludes
// between tasks: the cinematic drive under its own exterior camera and the
// cinematic walk along a player script, both under the cinema bars.
#include <cmath>
#include <cstdlib>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Camera.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"
#include "game/userintf.h"

bool GameControllerResuming(const GameController& gc);

namespace {

constexpr int kPlayerId = -1;
constexpr int kPlayerSlot = 48;
constexpr int kRestoredCarId = 65;
constexpr int kRestoredCarDriveMode = 7;
constexpr int kDriverSeat = 116;
constexpr int kCarSlotsSearched = 16;
constexpr int kFallbackTint = 2;
// The camera's offset is swung round the player by 40 degrees so that the
// rebuilt player is seen from a little to his side.
constexpr float kRestoreCamTurn = 0.6981317f;
constexpr u32 kCineDriveFrames = 15 * 256;
constexpr u32 kCineCamShotFrames = 180 * 256;
constexpr int kLetterBoxFull = 50;

OBJMESSAGEHANDLER Creator(const char* name)
{
    return reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find(name)));
}

// A frame facing along dir at pos; a saved direction of no length (a venue
// record never filled) faces down z rather than collapsing the frame.
Matrix FacingAt(const VectorPos& pos, const VectorDir& dir)
{
    Matrix m = dir.LengthSq() > 0.0f ? LookAlong(dir) : Matrix(true);
    m.SetTrans(pos);
    return m;
}

// The city around p, blocking until the cells there are in.
void SyncCityTo(const VectorPos& p, bool drawLoading)
{
    while (!world.SyncTo(p)) {
        if (drawLoading)
            Loading_UI(0);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Grid sync and the restore after a side trip

int GameController::SyncGridPosAt(int iPlaceHolderID, bool bDisableResume)
{
    GC_SERVICE("SyncGridPosAt(%d, %s)", iPlaceHolderID, TraceBool(bDisableResume));
    if (GameControllerResuming(*this) && !bDisableResume) {
        // The replayed task made neither the player nor his car (their calls
        // are off while resuming): they come back as they were saved.
        SyncCityTo(vpCharRestorePos, false);
        if (i8VehTypeId >= 0)
            RestoreVehicle(vpVehRestorePos, vdVehRestoreDir, i8VehTypeId, i8VehTintSet);
        RestorePlayer(vpCharRestorePos, vdCharRestoreDir);
        if (bRestoreInCar)
            PutObjectInCar(kPlayerId, kRestoredCarId, kDriverSeat, true);
    } else if (Object* ph = world.placeholderlist.Find(iPlaceHolderID)) {
        SyncCityTo(ph->mat.GetTrans(), true);
    }
    ResetFrameCnts();
    return 0;
}

Vehicle* GameController::RestoreVehicle(VectorPos& vpPos, VectorDir& vdDir, int iVehTypeId, int iVehTintSet)
{
    Matrix m = FacingAt(vpPos, vdDir);
    int slot = -1;
    for (int i = 0; i < kCarSlotsSearched && slot < 0; i++)
        if (SlotModelId(i) == iVehTypeId)
            slot = i;
    int tint = iVehTintSet;
    if (slot < 0) {
        // The car's model is no longer loaded: the first car slot stands in.
        slot = 0;
        tint = kFallbackTint;
    }
    MDLFILE* pmf = g_GlobalMFI.GetMF(slot, true);
    auto* car = static_cast<Vehicle*>(GenerateVehicle(m, pmf, Creator("CarDriver"), iVehTypeId, kRestoredCarId,
                                                      kRestoredCarDriveMode, nullptr));
    if (car == nullptr)
        return nullptr;
    car->i8Tint = s8(tint);
    SetTintSet(car, tint, true);
    return car;
}

Object* GameController::RestorePlayer(VectorPos& vpCharRestorePos, VectorDir& vdDir)
{
    Matrix m = FacingAt(vpCharRestorePos, vdDir);
    MDLFILE* pmf = g_GlobalMFI.GetMF(kPlayerSlot, true);
    OBJMESSAGEHANDLER mh = Creator("Dace");
    Object* obj = GenerateCharacter(m, pmf, 0, mh, kPlayerId);
    if (obj == nullptr)
        return nullptr;
    world.AddObject(obj, nullptr);
    if (mh == nullptr || obj->messagehandler != mh)
        return obj;
    dace = static_cast<Dace*>(obj);
    Camera* c = dace->cam;
    if (c == nullptr)
        return obj;
    SetCurrentCam(c);
    // Where the camera stands, seen from the player: its height and its
    // distance across the ground; swung round him and put at its distance.
    const Matrix& p = dace->mat;
    const VectorPos local = p.Inverse() * c->mat.GetTrans();
    const float h = local[1];
    const float d = sqrtf(local[0] * local[0] + local[2] * local[2]);
    VectorDir off = RotY(kRestoreCamTurn) * VectorDir(0.0f, h, d);
    if (off.LengthSq() > 0.0f) {
        off = Normalise(off) * c->dist;
        c->relpos = VectorPos(off[0], off[1], off[2]);
    }
    c->mat.SetTrans(p * c->relpos);
    if (c->target != nullptr)
        c->target->mat = p;
    return obj;
}

// ---------------------------------------------------------------------------
// Placement

int GameController::PlaceCharacterAtExitPos(int iID, int iPlaceHolderID)
{
    GC_SERVICE("PlaceCharacterAtExitPos(%d, %d)", iID, iPlaceHolderID);
    if (GameControllerResuming(*this))
        return 0;
    Object* who = FindById(iID);
    Object* ph = world.placeholderlist.Find(iPlaceHolderID);
    if (who == nullptr || ph == nullptr)
        return 0;
    VectorPos pos;
    VectorDir dir;
    if (bGetExitBuildingPos(ph->mat.GetTrans(), &pos, &dir))
        who->mat = FacingAt(pos, dir);
    if (iID == kPlayerId && who->type == OBJT_CHARACTER && who == dace && dace->cam != nullptr) {
        // The reset puts the camera behind him as he now stands: turned the
        // way he faces.  Left at the heading it had, it would look at him
        // from wherever that points, across his car or from inside it.
        Camera* c = dace->cam;
        if (c->mode == CAMMODE_PEDESTRIAN)
            c->angy = c->angygoal = ArcTan2(dace->mat.z[0], dace->mat.z[2]);
        c->ResetCam();
    }
    return 0;
}

int GameController::PutObjectInCar(int iObjId, int iVehId, int iAttachPt, bool bForce)
{
    GC_SERVICE("PutObjectInCar(%d, %d, %d, %s)", iObjId, iVehId, iAttachPt, TraceBool(bForce));
    if (GameControllerResuming(*this) && !bForce)
        return 0;
    // FindById looks in the level's list and then in the whole world.
    Object* who = FindById(iObjId);
    Object* car = FindById(iVehId);
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
    Object* o = FindById(iID);
    if (o == nullptr)
        return 0;
    rcoTarget = o;
    if (bSetDaceTarget && dace != nullptr)
        dace->target = o;
    return 0;
}

// ---------------------------------------------------------------------------
// Cinematic drive and walk

int GameController::SetCineDriveMode(int iSrceID, int iJBVagIndex)
{
    GC_SERVICE("SetCineDriveMode(%d, %d)", iSrceID, iJBVagIndex);
    iMissionRet = 0;
    if (GameControllerResuming(*this))
        return 0;
    mode = s8(GCM_CINEDRIVE);
    Object* obj = FindById(iSrceID);
    if (obj != nullptr)
        rcoSource = obj;
    if (iJBVagIndex != 0)
        DaceVO.PlayVOTrack(iJBVagIndex);
    // The controller's timer ends the drive (or waits on for the voice).
    world.SetTimer(this, AnimTime(kCineDriveFrames), nullptr);
    if (plb != nullptr) {
        if (plb->iMode == 2) {
            plb->iMode = 1;
            plb->iOffset = 0;
        }
        world.AddPostRawObj(plb, true);
    }
    if (Camera* c = CreateCineDriveCamera(obj)) {
        pcam = GetCurrentCam();
        world.AddObject(c, nullptr);
        SetCurrentCam(c);
    }
    if (obj != nullptr) {
        SpecialMessage m(SMSG_PLAYER_GAMEPLAY_MODE, nullptr, GCM_CINEDRIVE, 0, iJBVagIndex);
        obj->SendMessage(OM_SPECIAL, &m);
    }
    return 0;
}

Camera* GameController::CreateCineDriveCamera(Object* pobjTarget)
{
    // Zero-filled like the other cameras made on the fly; the camera's own
    // tear-down frees only what its constructor would have made (nothing).
    auto* c = static_cast<Camera*>(calloc(1, sizeof(Camera)));
    if (c == nullptr)
        return nullptr;
    c->messagehandler = Camera::staticmh;
    c->type = OBJT_CAMERA;
    c->mode = CAMMODE_EXTERIORCINEINCAR;
    c->flags |= OBJF_FRAMECALL;
    c->mat = Matrix(true);
    c->target = pobjTarget;
    c->lookstep = 1.0f;
    c->absposstep = 1.0f;
    c->zoom = 1.6f;
    c->fBiasFactor = 0.5f;
    c->pvExtra = nullptr;
    c->pvExtraSpl = nullptr;
    SpecialMessage look(SMSG_CAM_LOOK_AT, c);
    c->SendMessage(OM_SPECIAL, &look);
    world.SetTimer(c, AnimTime(kCineCamShotFrames), nullptr);
    return c;
}

int GameController::SetCineWalkMode(int iSrceID, int iTime, CinePlayerScript* pScript, int nextMode, int bGrowLB)
{
    GC_SERVICE("SetCineWalkMode(%d, %d, %s, %d, %d)", iSrceID, iTime, pScript != nullptr ? "script" : "null", nextMode, bGrowLB);
    // The walk lasts until the player reports it done, whatever time the
    // script step gives.
    mode = s8(GCM_CINEWALK);
    iNextMode = nextMode;
    Object* obj = FindById(iSrceID);
    if (obj != nullptr)
        rcoSource = obj;
    world.StopTimer(this);
    if (plb != nullptr) {
        if (plb->iMode == 2) {
            if (bGrowLB != 0) {
                plb->iMode = 1;
                plb->iOffset = 0;
            } else {
                plb->iMode = 0;
                plb->iOffset = kLetterBoxFull;
            }
        }
        world.AddPostRawObj(plb, true);
    }
    if (obj != nullptr) {
        SpecialMessage m(Dace::SMSG_PLAYER_CINE_WALK, nullptr, static_cast<void*>(pScript));
        obj->SendMessage(OM_SPECIAL, &m);
    }
    return 0;
}
