// The services mission steps build their levels with: characters, cars and
// their drivers, props, generators, interiors and exteriors, cinematics and
// markers; and the setters that start each game mode.
//
// Everything is put at a placeholder of the episode's mission file, found by
// id; a missing placeholder is not an error, the default spot is used.  While
// a side trip is being resumed (GCF_SIDETRIP_RUNNING) the calls marked
// bOffOnResume make nothing: the player and his car are rebuilt from what
// was saved, and the replayed step must not make them twice.
#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Controller.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Camera.h"
#include "game/EntParams.h"
#include "game/GameAudio.h"
#include "game/GameFEnt.h"
#include "game/HealthCart.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"
#include "game/cine.h"
#include "game/explosn.h"

namespace {

constexpr float kDefaultY = -31.25f;
constexpr float kPropDefaultY = -3.125f;
constexpr u32 kFiveFrames = 1280;
constexpr int kCarDriverMode = 7;
constexpr int kInteriorSlot = 195;

// Flags of characters and markers.
constexpr u32 OBJF_TARGETABLE = 0x20;

bool IsPlaceholderMatrix(int id, Matrix& out)
{
    if (Object* ph = world.placeholderlist.Find(id)) {
        out = ph->mat;
        return true;
    }
    return false;
}

OBJMESSAGEHANDLER FindHandler(const char* name)
{
    return reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find(name)));
}

Object* CreateWith(OBJMESSAGEHANDLER mh, MDLFILE* pmf, int index)
{
    return reinterpret_cast<Object*>(intptr_t(mh(reinterpret_cast<Object*>(pmf), OM_CREATE,
                                                  reinterpret_cast<void*>(intptr_t(index)))));
}

}  // namespace

bool GameControllerResuming(const GameController& gc)
{
    return (gc.iFlags & GCF_SIDETRIP_RUNNING) != 0;
}

namespace {

// A slot number from a script or a set-up record names a registry slot.
bool IsSlot(int slot)
{
    return slot >= 0 && slot < MFI_NUMSLOTS;
}

}  // namespace

// ---------------------------------------------------------------------------
// Characters and vehicles

Object* GameController::GenerateCharacter(Matrix& matOrig, MDLFILE* pmf, int iModelNum, OBJMESSAGEHANDLER mh,
                                          int iId)
{
    if (pmf == nullptr || !pmf->HasData())
        return nullptr;
    VectorPos at = matOrig.GetTrans();
    at[1] = -100.0f;
    const float h = GroundHeight(at, nullptr);
    Object* obj = nullptr;
    if (mh != nullptr) {
        obj = CreateWith(mh, pmf, iModelNum);
        if (obj != nullptr)
            pmf->GetHierarchyTo(obj, u16(iModelNum), GH_RELMOTION | GH_ANIMATE);
    }
    if (obj == nullptr) {
        obj = pmf->GetHierarchy(u16(iModelNum), sizeof(Object), GH_RELMOTION | GH_ANIMATE);
        if (obj == nullptr)
            return nullptr;
        obj->messagehandler = CharDefHandler;
    }
    obj->mat = matOrig;
    obj->type = OBJT_CHARACTER;
    if (h != 0.0f)
        obj->mat.w[1] = h;
    if (iId != 0) {
        obj->id = s16(iId);
        if (mh != nullptr && iId >= -150 && iId <= -101)
            obj->flags |= OBJF_TARGETABLE;
    }
    obj->flags |= OBJF_NOCOLLISION;
    if (pobjectlist != nullptr)
        pobjectlist->AddTail(obj);
    obj->AllocBlendAnimHierarchy(GH_RELMOTION | GH_ANIMATE);
    obj->FindShadows();
    return obj;
}

Object* GameController::GenerateVehicle(Matrix& matOrig, MDLFILE* pmf, OBJMESSAGEHANDLER mh, int iVehType, int iId,
                                        int iCarDriverMode, void* pvCDPath)
{
    Vehicle* veh = CreateVehicle(pmf, -1, -1, matOrig.GetTrans(), iVehType);
    if (veh == nullptr)
        return nullptr;
    veh->mat = matOrig;
    VectorPos at = matOrig.GetTrans();
    at[1] -= 0.625f;
    VectorDir n;
    const float h = GroundHeight(at, &n);
    if (h != 0.0f) {
        // Sat on the ground: its y axis along the ground's normal.
        const VectorDir y = -n;
        const VectorDir zo(matOrig.z[0], matOrig.z[1], matOrig.z[2]);
        const VectorDir x = Normalise(VectorDir(y ^ zo));
        const VectorDir z = Normalise(VectorDir(x ^ y));
        veh->mat.x = Vector(x, 0.0f);
        veh->mat.y = Vector(y, 0.0f);
        veh->mat.z = Vector(z, 0.0f);
        veh->mat.w[1] = h - (veh->CalcBodyRestOffset() + (veh->wheel[0] != nullptr ? veh->wheel[0]->radius : 0.0f));
    }
    veh->flags |= OBJF_FRAMECALL;
    veh->id = s16(iId);
    world.AddObject(veh, nullptr);
    if (pobjectlist != nullptr)
        pobjectlist->AddTail(veh);
    if (iCarDriverMode != 0 && mh != nullptr) {
        Object* driver = CreateWith(mh, pmf, 0);
        if (driver != nullptr) {
            driver->mat = Matrix(true);
            veh->Attach(driver);
            veh->rcoDriver = driver;
            SpecialMessage m(SMSG_CD_SET_DRIVE, static_cast<Object*>(pvCDPath), iCarDriverMode);
            driver->SendMessage(OM_SPECIAL, &m);
            world.SetTimer(driver, AnimTime(kFiveFrames), nullptr);
        }
    }
    return veh;
}

Object* GameController::CreateCharacterSub(Matrix& mat, int iMFIndex, int iID, char* pszObjName, bool bOffOnResume)
{
    if ((bOffOnResume && GameControllerResuming(*this)) || !IsSlot(iMFIndex))
        return nullptr;
    // A character whose model was refused (the player's, loaded at start-up,
    // as much as the record's cast) leaves the record's game unplayable.
    if (g_GlobalMFI.IsRefused(iMFIndex & 255))
        pszDataRefused = "the model of a character";
    MDLFILE* pmf = g_GlobalMFI.GetMF(iMFIndex, false);
    OBJMESSAGEHANDLER mh = pszObjName != nullptr ? FindHandler(pszObjName) : nullptr;
    Object* obj = GenerateCharacter(mat, pmf, 0, mh, iID);
    if (obj == nullptr)
        return nullptr;
    g_GlobalMFI.IncrementRef(iMFIndex);
    world.AddObject(obj, nullptr);
    if (iID == -1 && mh != nullptr && obj->messagehandler == FindHandler("Dace")) {
        dace = static_cast<Dace*>(obj);
        // Without his body's parts nothing can hit or strike the player:
        // his game could be neither won nor lost.
        if (const char* part = dace->MissingPart())
            RefuseUnfitModel(iMFIndex, part, false);
        if (Camera* c = dace->cam) {
            c->target = obj;
            c->ResetCam();
            SetCurrentCam(c);
        }
    }
    return obj;
}

void GameController::RefuseUnfitModel(int slot, const char* lacks, bool running)
{
    // A model outside the registry has no file to name.
    if (slot < 0)
        printf("GameController: a model cannot be used: it has no %s\n", lacks);
    else if (const StreamMdlFile& f = g_GlobalMFI.GetMFI(slot & 255).smf; f.RefusalToSay())
        printf("GameController: %s cannot be used: it has no %s\n", f.name, lacks);
    pszDataRefused = "a model its game needs";
    if (running && pMission != nullptr) {
        SpecialMessage lost(SMSG_GC_SUBGAME_LOST, nullptr);
        SendMessage(OM_SPECIAL, &lost);
    }
}

Object* GameController::CreateCharacter(int iMFIndex, int iID, char* pszObjName, bool bOffOnResume)
{
    Matrix m(true);
    return CreateCharacterSub(m, iMFIndex, iID, pszObjName, bOffOnResume);
}

Object* GameController::CreateCharacterAt(int iMFIndex, int iID, int iPlaceHolderID, char* pszObjName,
                                          bool bOffOnResume)
{
    GC_SERVICE("CreateCharacterAt(%d, %d, %d, %s, %s)", iMFIndex, iID, iPlaceHolderID, TraceStr(pszObjName), TraceBool(bOffOnResume));
    Matrix m = TransMatrix(0.0f, kDefaultY, 0.0f);
    IsPlaceholderMatrix(iPlaceHolderID, m);
    return CreateCharacterSub(m, iMFIndex, iID, pszObjName, bOffOnResume);
}

Object* GameController::CreateVehicleAt(Matrix& mat, int iMFIndex, int iID, bool bOffOnResume)
{
    if ((bOffOnResume && GameControllerResuming(*this)) || !IsSlot(iMFIndex))
        return nullptr;
    OBJMESSAGEHANDLER mh = FindHandler("CarDriver");
    MDLFILE* pmf = g_GlobalMFI.GetMF(iMFIndex, false);
    const int model = SlotModelId(iMFIndex & 255);
    Vehicle* veh = static_cast<Vehicle*>(GenerateVehicle(mat, pmf, mh, model, iID, kCarDriverMode, nullptr));
    if (veh == nullptr)
        return nullptr;
    g_GlobalMFI.IncrementRef(iMFIndex);
    veh->fFade = 1.0f;
    int tint = 2;
    if (model != 2)
        veh->iGetNumTintSets(&tint);
    veh->i8Tint = s8(tint);
    SetTintSet(veh, tint, true);
    return veh;
}

Object* GameController::CreateVehicleAt(int iMFIndex, int iID, int iPlaceHolderID, bool bOffOnResume)
{
    GC_SERVICE("CreateVehicleAt(%d, %d, %d, %s)", iMFIndex, iID, iPlaceHolderID, TraceBool(bOffOnResume));
    Matrix m = TransMatrix(0.0f, kDefaultY, 0.0f);
    IsPlaceholderMatrix(iPlaceHolderID, m);
    return CreateVehicleAt(m, iMFIndex, iID, bOffOnResume);
}

namespace {

// A driver's target position, owned by the driver's block so that it lives
// as long as the driver that was told where it lies.
class AIDriverTarget : public Object
{
public:
    VectorPos pos;
    static int staticmh(Object* o, OBJMESSAGE msg, void*)
    {
        if (msg == OM_DIE) {
            delete static_cast<AIDriverTarget*>(o);
            return -1;
        }
        return 0;
    }
};

}  // namespace

int GameController::CreateAICarDriver(int iId, int iVehId, int iDriveMode, CarDriverParams& cdp)
{
    GC_SERVICE("CreateAICarDriver(%d, %d, %d, {%d})", iId, iVehId, iDriveMode, cdp.iTargetId);
    if (GameControllerResuming(*this))
        return 0;
    OBJMESSAGEHANDLER mh = FindHandler("CarDriver");
    Object* veh = FindById(iVehId);
    if (veh == nullptr || mh == nullptr)
        return 0;
    Object* driver = CreateWith(mh, nullptr, 0);
    if (driver == nullptr)
        return 0;
    driver->mat = Matrix(true);
    driver->id = s16(iId);
    if (pobjectlist != nullptr)
        pobjectlist->AddTail(driver);
    world.AddObject(driver, nullptr);
    SpecialMessage put(SMSG_PUT_IN_VEHICLE, veh);
    driver->SendMessage(OM_SPECIAL, &put);
    SpecialMessage drive(SMSG_CD_SET_DRIVE, nullptr, iDriveMode);
    if (iDriveMode == 9) {
        drive.obj = world.objectlist.Find(cdp.iTargetId);
    } else if (iDriveMode != 5) {
        // The position rides on the driver as a hidden child, so it is freed
        // with the driver and not before.
        auto* t = static_cast<AIDriverTarget*>(Object::operator new(sizeof(AIDriverTarget)));
        if (t != nullptr) {
            t->messagehandler = AIDriverTarget::staticmh;
            t->flags |= OBJF_HIDDEN | OBJF_NOCOLLISION;
            Object* ph = world.placeholderlist.Find(cdp.iTargetId);
            t->pos = ph != nullptr ? ph->mat.GetTrans() : VectorPos(0.0f, 0.0f, 0.0f);
            t->mat = Matrix(true);
            driver->Attach(t);
            drive.param[1] = &t->pos;
        }
    }
    driver->SendMessage(OM_SPECIAL, &drive);
    return 0;
}

Object* GameController::CreateObjectAt(int iMFIndex, int iPlaceHolderID, OBJMESSAGEHANDLER mh)
{
    GC_SERVICE("CreateObjectAt(%d, %d)", iMFIndex, iPlaceHolderID);
    Matrix m = TransMatrix(0.0f, kPropDefaultY, 0.0f);
    IsPlaceholderMatrix(iPlaceHolderID, m);
    if (!IsSlot(iMFIndex))
        return nullptr;
    MDLFILE* pmf = g_GlobalMFI.GetMF(iMFIndex, false);
    Object* obj = nullptr;
    if (mh != nullptr) {
        obj = CreateWith(mh, pmf, 0);
        if (obj != nullptr && pmf != nullptr && pmf->HasData())
            pmf->GetHierarchyTo(obj, 0, GH_ANIMATE);
    }
    if (obj == nullptr) {
        if (pmf == nullptr || !pmf->HasData())
            return nullptr;
        obj = pmf->GetHierarchy(0, sizeof(Object), GH_ANIMATE);
        if (obj == nullptr)
            return nullptr;
    }
    obj->mat = m;
    obj->type = OBJT_DYNAMIC;
    world.AddObject(obj, nullptr);
    return obj;
}

Object* GameController::CreateEnemyRunnerGen(EnemyGenRunner_params* p)
{
    GC_SERVICE("CreateEnemyRunnerGen({%d})", p != nullptr ? int(p->id) : 0);
    if (p == nullptr)
        return nullptr;
    auto* g = reinterpret_cast<EnemyGenRunner*>(intptr_t(EnemyGenRunner::staticmh(nullptr, OM_CREATE, nullptr)));
    if (g == nullptr)
        return nullptr;
    g->pegrp = static_cast<EnemyGenRunner_params*>(malloc_align(sizeof *p, 16));
    if (g->pegrp != nullptr)
        *g->pegrp = *p;
    if (dace != nullptr)
        g->mat = dace->GetWorldMatrix();
    g->iRunnerId = p->id;
    world.AddObject(g, nullptr);
    return g;
}

Object* GameController::CreateBadGuyGenerator(BadGuyGenInfo& bggi, bool bPreStart)
{
    GC_SERVICE("CreateBadGuyGenerator({%d, %d}, %s)", int(bggi.bggtMode), bggi.iPHId, TraceBool(bPreStart));
    Object* g = nullptr;
    if (bggi.bggtMode == BGGT_SHOOTER) {
        auto* s = reinterpret_cast<EnemyGenShooter*>(intptr_t(EnemyGenShooter::staticmh(nullptr, OM_CREATE, nullptr)));
        if (s == nullptr)
            return nullptr;
        s->pegsp = static_cast<EnemyGenShooter_params*>(malloc_align(sizeof(EnemyGenShooter_params), 16));
        if (s->pegsp != nullptr && bggi.pvParams != nullptr)
            std::memcpy(static_cast<void*>(s->pegsp), bggi.pvParams, sizeof(EnemyGenShooter_params));
        g = s;
    } else if (bggi.bggtMode == BGGT_RUNNER) {
        auto* r = reinterpret_cast<EnemyGenRunner*>(intptr_t(EnemyGenRunner::staticmh(nullptr, OM_CREATE, nullptr)));
        if (r == nullptr)
            return nullptr;
        r->pegrp = static_cast<EnemyGenRunner_params*>(malloc_align(sizeof(EnemyGenRunner_params), 16));
        if (r->pegrp != nullptr && bggi.pvParams != nullptr) {
            std::memcpy(static_cast<void*>(r->pegrp), bggi.pvParams, sizeof(EnemyGenRunner_params));
            r->iRunnerId = r->pegrp->id;
        }
        g = r;
    } else {
        return nullptr;
    }
    IsPlaceholderMatrix(bggi.iPHId, g->mat);
    world.AddObject(g, nullptr);
    SpecialMessage m(bPreStart ? SMSG_MODE_EPILOGUE : SMSG_MODE_START, this);
    g->SendMessage(OM_SPECIAL, &m);
    return g;
}

int GameController::CreateMasterHealthGenerator(int iMaxToGen)
{
    auto* h = reinterpret_cast<HealthGenerator*>(intptr_t(HealthGenerator::staticmh(nullptr, OM_CREATE, nullptr)));
    if (h == nullptr)
        return 0;
    h->i16MaxGenerators = s16(iMaxToGen);
    h->i16ActiveGenerators = 0;
    h->mat = Matrix(true);
    world.AddObject(h, nullptr);
    return 0;
}

int GameController::CreateMasterPedestrianGenerator(int iMFIndex, int iID, int iNumMdlfiles, int iMaxToGen,
                                                    bool bDisableInitSpawn)
{
    GC_SERVICE("CreateMasterPedestrianGenerator(%d, %d, %d, %d, %s)", iMFIndex, iID, iNumMdlfiles, iMaxToGen, TraceBool(bDisableInitSpawn));
    iNumAmbPedMFS = iNumMdlfiles;
    if (bNoAmbientPeds) {
        pPedGenCont = nullptr;
        return 0;
    }
    pPedGenCont = CreateRSPedGens(iMFIndex, iMaxToGen, iNumMdlfiles, iID);
    if (pPedGenCont != nullptr && bDisableInitSpawn)
        pPedGenCont->bNotFirst = true;
    return 0;
}

int GameController::CreateMasterVehicleGenerator(int iMFIndex, int iID, int iNumMdlfiles, int iMaxToGen)
{
    GC_SERVICE("CreateMasterVehicleGenerator(%d, %d, %d, %d)", iMFIndex, iID, iNumMdlfiles, iMaxToGen);
    iNumAmbVehMFS = iNumMdlfiles;
    pVehGenCont = bNoAmbientVehs ? nullptr : CreateRSVehGens(iMFIndex, iMaxToGen, iNumMdlfiles, iID);
    return 0;
}

int GameController::CreateInteriorAt(char* pFName, int iPlaceHolderID, int iMFID)
{
    GC_SERVICE("CreateInteriorAt(%s, %d, %d)", TraceStr(pFName), iPlaceHolderID, iMFID);
    MDLFILE* pmf = g_GlobalMFI.LoadMF(kInteriorSlot, pFName, iMFID, 0);
    if (g_GlobalMFI.IsRefused(kInteriorSlot))
        pszDataRefused = "its set-up";
    rcoIntExtSetup = LoadIntExtSetup(iPlaceHolderID, pmf != nullptr && pmf->HasData() ? pmf : nullptr, true);
    return 0;
}

int GameController::CreateExteriorAt(char* pFName, int iPlaceHolderID, int iMFID)
{
    GC_SERVICE("CreateExteriorAt(%s, %d, %d)", TraceStr(pFName), iPlaceHolderID, iMFID);
    MDLFILE* pmf = g_GlobalMFI.LoadMF(kInteriorSlot, pFName, iMFID, 0);
    if (g_GlobalMFI.IsRefused(kInteriorSlot))
        pszDataRefused = "its set-up";
    rcoIntExtSetup = LoadIntExtSetup(iPlaceHolderID, pmf != nullptr && pmf->HasData() ? pmf : nullptr, false);
    return 0;
}

int GameController::DestroyInterior(bool bImmediate)
{
    GC_SERVICE("DestroyInterior(%s)", TraceBool(bImmediate));
    g_GlobalMFI.DeleteMF(kInteriorSlot, bImmediate);
    bInterior = false;
    return 0;
}

int GameController::CreateCinematicAt(int iCinematicIndex, int iPlaceHolderID)
{
    GC_SERVICE("CreateCinematicAt(%d, %d)", iCinematicIndex, iPlaceHolderID);
    if (g_iDemoAbort != 0 || GameControllerResuming(*this))
        return 0;
    iMissionRet = 0;
    Matrix matParon = TransMatrix(0.0f, kDefaultY, 0.0f);
    if (Object* ph = world.placeholderlist.Find(iPlaceHolderID)) {
        if (bInterior) {
            matParon = ph->mat;
        } else {
            const VectorPos at = ph->mat.GetTrans();
            matParon = TransMatrix(at[0], at[1], at[2]);
        }
    }
    bCinematic = true;
    ParseActorScript(iCinematicIndex, &matParon);
    ResetFrameCnts();
    if (pfs != nullptr)
        pfs->Enable(60, Colour(255, 255, 255, 0), 128, 0, false);
    // A scene whose file is refused has ended before this returns and taken
    // its bars down: they are not put up again over the game that follows.
    if (bCinematic && plb != nullptr && plb->iMode == 2) {
        plb->iMode = 1;
        plb->iOffset = 0;
        world.AddPostRawObj(plb, true);
    }
    if (Camera* c = GetCurrentCam())
        c->SetPos(matParon.GetTrans());
    if (!bCinematicOnly)
        for (ObjectLink* l = world.objectlist.Head(); !l->IsEOList();) {
            ObjectLink* next = l->Next();
            Object* o = l->data;
            if (o != nullptr && !o->IsDead()) {
                SpecialMessage m(SMSG_MODE_START, nullptr);
                o->SendMessage(OM_SPECIAL, &m);
            }
            l = next;
        }
    return 0;
}

int GameController::ExplodeExteriorNear(int iId, int iPlaceHolderID)
{
    GC_SERVICE("ExplodeExteriorNear(%d, %d)", iId, iPlaceHolderID);
    Object* ph = world.placeholderlist.Find(iPlaceHolderID);
    if (ph == nullptr)
        return 0;
    if (Object* o = world.FindCityObject(iId, Cuboid(ph->mat.GetTrans(), 62.5f)))
        Explode2(o);
    return 0;
}

int GameController::DestroyObject(int iId)
{
    GC_SERVICE("DestroyObject(%d)", iId);
    Object* o = FindById(iId);
    if (o == nullptr)
        return 0;
    if (pobjectlist != nullptr)
        pobjectlist->Remove(o);
    if (o->parent != nullptr)
        o->Detach();
    o->Delete();
    return 0;
}

// ---------------------------------------------------------------------------
// Free services

void SetupSceneObj(Object* obj, Object* parent, int index, MDLFILE* pmf)
{
    const NODE& node = pmf->nodes[index];
    obj->index = u16(index);
    obj->id = s16(node.extra);
    obj->mat = node.GetMatrix();
    obj->parent = parent;
    const int m = pmf->NodeGeometry(node);
    obj->geom = m >= 0 ? new GEOMETRY(pmf, m) : nullptr;
    obj->mdlfile = pmf;
    obj->type = OBJT_STATIC;
    obj->flags = 0;
    if (node.collision != 0xFFFF)
        obj->collision = pmf->GetCollision(node.collision);
}

int AnimLoopProc(Object* obj, OBJMESSAGE msg, void*)
{
    if (msg == OM_DIE) {
        delete obj;
        return -1;
    }
    return 0;
}

Object* CreateTargetObj(VectorPos& vpDest, MDLFILE* pmf, int iModelNum)
{
    if (pmf == nullptr || !pmf->HasData())
        return nullptr;
    Object* o = pmf->GetHierarchy(u16(iModelNum), sizeof(Object), GH_ANIMATE);
    if (o == nullptr)
        return nullptr;
    o->mat = TransMatrix(vpDest);
    o->flags |= OBJF_SELFANIMATING | OBJF_NOCOLLISION;
    o->id = 1001;
    o->messagehandler = AnimLoopProc;
    return o;
}

GameModeTarget* CreateGameSubModeTargetObj(VectorPos& vpDest, MDLFILE* pmf, int iModelNum, int iLevelNum,
                                           int iTableIndex)
{
    if (pmf == nullptr || !pmf->HasData())
        return nullptr;
    auto* t = static_cast<GameModeTarget*>(Object::operator new(sizeof(GameModeTarget)));
    if (t == nullptr)
        return nullptr;
    t->messagehandler = GameModeTarget::staticmh;
    t->i16SubLevelNumberTrigger = s16(iLevelNum);
    t->i16TableIndex = s16(iTableIndex);
    t->bForceOntoObject = false;
    t->mat = TransMatrix(vpDest);
    t->flags |= OBJF_SELFANIMATING | OBJF_NOCOLLISION;
    t->i16Flags |= 3;
    if (Object* fx = pmf->GetHierarchy(u16(iModelNum), sizeof(Object), GH_ANIMATE)) {
        fx->mat = TransMatrix(VectorPos(0.0f, -0.625f, 0.0f));
        t->Attach(fx);
    }
    return t;
}

// A test prop that blows up when anything touches it, or at a press of the
// pad's button bit 0x10000000.
int TestDamageable_mh(Object* o, OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_CREATE:
        return int(reinterpret_cast<intptr_t>(new Object(TestDamageable_mh)));
    case OM_INIT:
        o->flags |= OBJF_FRAMECALL;
        return 0;
    case OM_FRAME:
        if (controller[0].pad & 0x10000000) {
            Explode2(o);
            o->flags &= ~OBJF_FRAMECALL;
        }
        return 0;
    case OM_COLLISION:
    case OM_DAMAGE:
        Explode2(o);
        return 0;
    case OM_DIE:
        delete o;
        return -1;
    default:
        return 0;
    }
}

static Name nameTestDamageable("TestDamageable", int(reinterpret_cast<intptr_t>(&TestDamageable_mh)));

// ---------------------------------------------------------------------------
// Game modes

namespace {

// Start modes of the setters that take one.
enum { START_NORMAL, START_PRESTART_ONLY, START_ALREADY_PRESTARTED };

constexpr u32 MDF_OPEN_DRIVETO = 0x4000000;
constexpr u32 MDF_TAIL = 0x2000000;
constexpr u32 MDF_CLEARED_IN_FIGHTS = 0x10000;

DriveToMissionParams BonusDriveTo = {-401, 0, "Bonus Locations"};

template <class T>
T* NewController()
{
    return reinterpret_cast<T*>(intptr_t(T::staticmh(nullptr, OM_CREATE, nullptr)));
}

// The player's camera takes over from the current one, turned the way he
// faces; a tunnel camera stays unless told otherwise.
void CameraTurn(bool evenInTunnel)
{
    Camera* cur = GetCurrentCam();
    if (dace == nullptr || dace->cam == nullptr)
        return;
    if (!evenInTunnel && cur != nullptr && cur->mode == CAMMODE_TUNNEL)
        return;
    Camera* c = dace->cam;
    if (cur != nullptr)
        c->mat = cur->mat;
    // A camera's heading is measured from the z axis, the arc tangent of
    // the facing's x over its z, as the camera itself reads it back; taken
    // z over x it would turn the camera a quarter away from the player's
    // facing, mirrored.
    c->angy = c->angygoal = ArcTan2(dace->mat.z[0], dace->mat.z[2]);
    SetCurrentCam(c);
}

void MapFlags(GameController& gc, u32 set, u32 clear)
{
    if (gc.pmd != nullptr)
        gc.pmd->flags = (gc.pmd->flags | set) & ~clear;
}

}  // namespace

// The shared pattern of the setters: a new controller of class T (unless the
// one prepared earlier is started), the new mode, the controller's own
// fields (fill), and the world told.
template <class T, class F>
static T* StartMode(GameController& gc, int mode, int track, int startMode, bool atPlayer, F fill)
{
    T* c = nullptr;
    // Only a controller of this mode's own class can be taken over: any
    // other one in pMission (another mode still running, or none prepared)
    // is ended as usual and a new controller made, rather than having this
    // mode's fields written over an object of another shape.
    Object* prepared = gc.pMission;
    if (startMode == START_ALREADY_PRESTARTED && prepared != nullptr && prepared->messagehandler == &T::staticmh) {
        c = static_cast<T*>(gc.pMission);
        gc.InitNewGameMode(mode, track, true);
        if (c != nullptr)
            fill(*c, false);
    } else {
        c = NewController<T>();
        gc.InitNewGameMode(mode, track, false);
        if (c != nullptr) {
            c->gameeventobj = &gc;
            fill(*c, true);
            world.AddObject(c, nullptr);
            gc.pMission = c;
        }
    }
    if (atPlayer && c != nullptr && dace != nullptr)
        c->mat = dace->GetWorldMatrix();
    gc.EpilogueNewGameMode(startMode == START_PRESTART_ONLY);
    return c;
}

int GameController::SetCruiseMissionMode(int iBGMTrack)
{
    GC_SERVICE("SetCruiseMissionMode(%d)", iBGMTrack);
    InitNewGameMode(99, iBGMTrack, false);
    EpilogueNewGameMode(false);
    return 0;
}

int GameController::SetBonusDriveToMissionMode(int iBGMTrack, bool bDisableWalkto)
{
    GC_SERVICE("SetBonusDriveToMissionMode(%d, %s)", iBGMTrack, TraceBool(bDisableWalkto));
    iFlags |= GCF_NOTIMELIMIT;
    ReEnable24_7();
    CreateMasterHealthGenerator(1);
    DriveToMissionController* c = NewController<DriveToMissionController>();
    InitNewGameMode(9, iBGMTrack, false);
    // The reset of the mode's counters clears the low flags: the open
    // drive-to's flag is set again for the new mode.
    iFlags |= GCF_NOTIMELIMIT;
    if (c != nullptr) {
        c->bEnableWalkTo = !bDisableWalkto;
        c->pdtmp = &BonusDriveTo;
        c->bBonusDriveTo = true;
        c->gameeventobj = this;
        world.AddObject(c, nullptr);
        pMission = c;
    }
    iFlags &= ~GCF_SIDETRIP_RUNNING;
    EpilogueNewGameMode(false);
    MapFlags(*this, MDF_OPEN_DRIVETO, 0);
    return 0;
}

int GameController::SetDriveToMissionMode(DriveToMissionParams& dtmp, int iBGMTrack, bool bDisableWalkto)
{
    GC_SERVICE("SetDriveToMissionMode({%d, %d, %s}, %d, %s)", dtmp.placeholderid, dtmp.timelimit, TraceStr(dtmp.destname), iBGMTrack, TraceBool(bDisableWalkto));
    const bool timed = dtmp.timelimit != 0;
    ReEnable24_7();
    DriveToMissionController* c = NewController<DriveToMissionController>();
    InitNewGameMode(timed ? 10 : 9, iBGMTrack, false);
    if (timed)
        iTimeDisplay = dtmp.timelimit;
    else
        iFlags |= GCF_NOTIMELIMIT;
    if (c != nullptr) {
        c->pdtmp = &dtmp;
        c->bEnableWalkTo = !bDisableWalkto;
        c->bBonusDriveTo = false;
        c->gameeventobj = this;
        world.AddObject(c, nullptr);
        pMission = c;
    }
    iFlags &= ~GCF_SIDETRIP_RUNNING;
    EpilogueNewGameMode(false);
    if (!timed)
        MapFlags(*this, MDF_OPEN_DRIVETO, 0);
    return 0;
}

int GameController::SetEscapeMissionMode(EscapeMissionParams& emp, int iBGMTrack, int iStartMode)
{
    GC_SERVICE("SetEscapeMissionMode({%g, %d, %g, %g, %d}, %d, %d)", double(emp.far_escape), emp.fartime, double(emp.close), double(emp.tooclose), emp.i32NumBadGuyGens, iBGMTrack, iStartMode);
    StartMode<EscapeMissionController>(*this, 12, iBGMTrack, iStartMode, false,
                                       [&](EscapeMissionController& c, bool) { c.pemp = &emp; });
    return 0;
}

int GameController::SetFightMissionMode(ControllerCombat_params* pccp, int iBGMTrack)
{
    GC_SERVICE("SetFightMissionMode(%s, %d)", pccp != nullptr ? "record" : "null", iBGMTrack);
    FightMissionController* c = NewController<FightMissionController>();
    InitNewGameMode(4, iBGMTrack, false);
    if (c != nullptr) {
        c->pfmp = pccp != nullptr ? pccp : fightparams;
        c->gameeventobj = this;
        world.AddObject(c, nullptr);
        SpecialMessage stage(SMSG_MODE_SET_STAGE, nullptr, 1);
        c->SendMessage(OM_SPECIAL, &stage);
        pMission = c;
    }
    EpilogueNewGameMode(false);
    MapFlags(*this, 0, MDF_CLEARED_IN_FIGHTS);
    return 0;
}

int GameController::SetFootChaseMissionMode(PursuitMissionParams& pmp, int iBGMTrack)
{
    GC_SERVICE("SetFootChaseMissionMode({%d, %d, %s}, %d)", pmp.i32RunnerId, pmp.targetid, TraceStr(pmp.targetname), iBGMTrack);
    StartMode<PursuitMissionController>(*this, 5, iBGMTrack, START_NORMAL, false,
                                        [&](PursuitMissionController& c, bool) {
                                            c.bFromOtherMission = false;
                                            c.ppmp = &pmp;
                                        });
    return 0;
}

int GameController::SetPursuitMissionMode(PursuitMissionParams& pmp, int iBGMTrack, int iStartMode,
                                          bool bFromOtherMission)
{
    GC_SERVICE("SetPursuitMissionMode({%d, %d, %s}, %d, %d, %s)", pmp.i32RunnerId, pmp.targetid, TraceStr(pmp.targetname), iBGMTrack, iStartMode, TraceBool(bFromOtherMission));
    StartMode<PursuitMissionController>(*this, 2, iBGMTrack, iStartMode, true,
                                        [&](PursuitMissionController& c, bool fresh) {
                                            c.bFromOtherMission = bFromOtherMission;
                                            if (fresh)
                                                c.ppmp = &pmp;
                                        });
    return 0;
}

int GameController::SetImpoundLotMissionMode(int iBGMTrack)
{
    GC_SERVICE("SetImpoundLotMissionMode(%d)", iBGMTrack);
    StartMode<ImpoundLotMissionController>(*this, 15, iBGMTrack, START_NORMAL, false,
                                           [](ImpoundLotMissionController&, bool) {});
    world.oceanenable = false;
    return 0;
}

int GameController::SetLearJetMissionMode(int, int iBGMTrack, int iStartMode)
{
    // The target id is not used: the chase finds its jet by itself.
    StartMode<LearJetChaseMissionController>(*this, 2, iBGMTrack, iStartMode, true,
                                             [](LearJetChaseMissionController&, bool) {});
    return 0;
}

int GameController::SetRaceMissionMode(int iTargetID, int iBGMTrack, int iStartMode)
{
    Object* target = FindById(iTargetID);
    StartMode<RaceMissionController>(*this, 16, iBGMTrack, iStartMode, true,
                                     [&](RaceMissionController& c, bool fresh) {
                                         if (fresh)
                                             c.rcTarget = target;
                                     });
    return 0;
}

int GameController::SetStreetRaceMissionMode(int iTargetID, int iFinishLinePHID, int iBGMTrack, int iStartMode)
{
    GC_SERVICE("SetStreetRaceMissionMode(%d, %d, %d, %d)", iTargetID, iFinishLinePHID, iBGMTrack, iStartMode);
    Object* target = FindById(iTargetID);
    Matrix finish(true);
    finish.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    IsPlaceholderMatrix(iFinishLinePHID, finish);
    StartMode<StreetRaceMissionController>(*this, 16, iBGMTrack, iStartMode, true,
                                           [&](StreetRaceMissionController& c, bool fresh) {
                                               if (!fresh)
                                                   return;
                                               c.rcTarget = target;
                                               c.vpFinishLine = finish.GetTrans();
                                               c.vdFinishDir = VectorDir(finish.z[0], finish.z[1], finish.z[2]);
                                           });
    return 0;
}

int GameController::SetRace247MissionMode(int iBGMTrack, int iStartMode)
{
    GC_SERVICE("SetRace247MissionMode(%d, %d)", iBGMTrack, iStartMode);
    StartMode<Race247MissionController>(*this, 16, iBGMTrack, iStartMode, true,
                                        [](Race247MissionController&, bool) {});
    iTimeDisplay = 5400;
    return 0;
}

int GameController::SetShootoutMissionMode(ShootoutMissionParams& smp, int iBGMTrack)
{
    GC_SERVICE("SetShootoutMissionMode({%d}, %d)", smp.startstage, iBGMTrack);
    // Without its bullets (slot 148), the player's gun (160) or the
    // gunmen's guns (161) nobody in a shoot-out can hurt anybody: a player
    // left at the pad would never be shot, nor the gunmen ever be.
    for (int slot : {148, 160, 161})
        if (g_GlobalMFI.IsRefused(slot))
            pszDataRefused = "a gun's or the bullets' model";
    // Nor with a gun file the player's gun cannot be built from.
    if (dace != nullptr && dace->rgun == nullptr && g_GlobalMFI.HasData(160))
        RefuseUnfitModel(160, "gun to build", false);
    // Nor without the player's gun moves or the gunmen's pistol moves.
    for (int group : {AnimGroup_DaceGuns, AnimGroup_NPCPistol})
        if (g_GlobalAGI.IsRefused(group))
            pszDataRefused = "an animation group";
    StartMode<ShootoutMissionController>(*this, 6, iBGMTrack, START_NORMAL, false,
                                         [&](ShootoutMissionController& c, bool) { c.psmp = &smp; });
    MapFlags(*this, 0, MDF_CLEARED_IN_FIGHTS);
    CameraTurn(false);
    return 0;
}

int GameController::SetDojoTrainingMode(int iBGMTrack)
{
    GC_SERVICE("SetDojoTrainingMode(%d)", iBGMTrack);
    world.oceanenable = false;
    StartMode<DojoTrainingModeController>(*this, 4, iBGMTrack, START_NORMAL, false,
                                          [](DojoTrainingModeController&, bool) {});
    CameraTurn(true);
    return 0;
}

int GameController::SetFRangeMissionMode(int iBGMTrack)
{
    GC_SERVICE("SetFRangeMissionMode(%d)", iBGMTrack);
    world.oceanenable = false;
    StartMode<FRangeMissionController>(*this, 6, iBGMTrack, START_NORMAL, false,
                                       [](FRangeMissionController&, bool) {});
    CameraTurn(false);
    return 0;
}

int GameController::SetGunCourseMissionMode(int iBGMTrack)
{
    GC_SERVICE("SetGunCourseMissionMode(%d)", iBGMTrack);
    world.oceanenable = false;
    StartMode<GunCourseMissionController>(*this, 6, iBGMTrack, START_NORMAL, false,
                                          [](GunCourseMissionController&, bool) {});
    return 0;
}

int GameController::SetDragonMissionMode(int iBGMTrack)
{
    StartMode<DragonMissionController>(*this, 6, iBGMTrack, START_NORMAL, false,
                                       [](DragonMissionController&, bool) {});
    CameraTurn(false);
    return 0;
}

int GameController::SetDemonMissionMode(int iBGMTrack)
{
    StartMode<DemonMissionController>(*this, 6, iBGMTrack, START_NORMAL, false,
                                      [](DemonMissionController&, bool) {});
    CameraTurn(false);
    return 0;
}

int GameController::SetTailMissionMode(TailMissionParams& tmp, int iBGMTrack, int iStartMode)
{
    GC_SERVICE("SetTailMissionMode({%d, %d, %s}, %d, %d)", tmp.iPHId, tmp.iTargetId, TraceStr(tmp.destname), iBGMTrack, iStartMode);
    StartMode<TailMissionController>(*this, 1, iBGMTrack, iStartMode, false,
                                     [&](TailMissionController& c, bool fresh) {
                                         if (!fresh)
                                             return;
                                         c.bStarted = false;
                                         c.ptmp = &tmp;
                                     });
    MapFlags(*this, MDF_TAIL, 0);
    return 0;
}

int GameController::SetWanderMissionMode(int iBGMTrack)
{
    StartMode<WanderMissionController>(*this, 7, iBGMTrack, START_NORMAL, false,
                                       [](WanderMissionController&, bool) {});
    return 0;
}

int GameController::SetInfiltrateMissionMode(InfiltrateMissionParams& imp, int iBGMTrack)
{
    GC_SERVICE("SetInfiltrateMissionMode({%s}, %d)", TraceStr(imp.targetname), iBGMTrack);
    StartMode<InfiltrateMissionController>(*this, 13, iBGMTrack, START_NORMAL, false,
                                           [&](InfiltrateMissionController& c, bool) { c.pimp = &imp; });
    MapFlags(*this, 0, MDF_CLEARED_IN_FIGHTS);
    return 0;
}

int GameController::SetupGeneratedRandMission(int iIndex)
{
    GC_SERVICE("SetupGeneratedRandMission(%d)", iIndex);
    auto* s = static_cast<RandomMissionSpawner*>(Object::operator new(sizeof(RandomMissionSpawner)));
    if (s == nullptr)
        return 0;
    s->messagehandler = RandomMissionSpawner::RandomMissionSpawner_mh;
    s->Init();
    s->mat = Matrix(true);
    world.AddObject(s, nullptr);
    world.SetTimer(s, AnimTime(720 * 256), nullptr);
    s->SetCurrentIndex(iIndex);
    if (g_pgcTest != nullptr)
        g_pgcTest->prms = s;
    return 0;
}
