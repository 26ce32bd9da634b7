// Set-up files: the entities their placeholder nodes stand for, and the
// interiors and exterior set-pieces built from them.
//
// A set-up file arrives from the disc and is trusted no further than its
// model-file check: every record, spline and node it names is looked up
// against the file's size first, and an entity whose data does not lie in
// the file is not made.
#include <cmath>
#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/light.h"
#include "game/Camera.h"
#include "game/cardrivr.h"
#include "game/CityLights.h"
#include "game/EntParams.h"
#include "game/GameFEnt.h"
#include "game/SplineMover.h"
#include "game/Steam.h"
#include "game/TunnelGrate.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/ShotEffects.h"
#include "game/Vehicle.h"
#include "game/Water.h"
#include "game/Weapons.h"
#include "game/explosn.h"
#include "game/smoke.h"

namespace {

constexpr float kDegToRad = 0.0174532924f;
constexpr float kDefaultY = -31.25f;
constexpr u32 kOneFrame = 256;

// The file an entity is read from, with its size.
struct SetupData
{
    MDLFILE* mf;
    const u8* base;
    u32 size;

    // The record of node i when the whole of it lies in the file, on the
    // boundary its type needs (it is used in place); null otherwise, said.
    template <class T>
    T* Record(int i) const
    {
        const u32 at = mf->nodes[i].extra2;
        const bool outside = u64(at) + sizeof(T) > size;
        const char* fault = outside                 ? "does not lie in the file"
                            : at % alignof(T) != 0 ? "is not on its boundary"
                                                   : nullptr;
        if (fault != nullptr) {
            printf("Setup: %s: node %d's record (entity kind %u) at 0x%X %s; the entity is not made\n", Name(), i,
                   mf->nodes[i].extra, at, fault);
            // An entity not made changes the game's rules (a gunman fewer
            // ends a shoot-out early, a missing gate or trigger may keep it
            // from ever ending): the set-up counts as refused, and the
            // record's game is lost at its start.
            if (outside)
                RecordOutside(i, at);
            else if (g_pgcTest != nullptr)
                g_pgcTest->pszDataRefused = "its set-up";
            return nullptr;
        }
        return reinterpret_cast<T*>(const_cast<u8*>(base) + at);
    }
    // A record past the file's end: the file lost its tail (cut at a record
    // boundary, it still passes the model file's check).  The entities left
    // would change the game's rules (a shoot-out with fewer gunmen ends
    // early), so the set-up counts as refused: said once per load, and the
    // record's game is lost at its start.
    void RecordOutside(int i, u32 at) const;
    // The file's name for messages: the registry slot's, or "a set-up".
    const char* Name() const;
    // The spline a reference names: true with null for none (a negative
    // offset, or 0 as well where zeroIsNone), true with the spline when it
    // lies whole in the file, false when the reference points outside it.
    bool SplineAt(SplineRef r, Spline*& out, bool zeroIsNone = false) const
    {
        out = nullptr;
        if (r.offset < 0 || (zeroIsNone && r.offset == 0))
            return true;
        const u32 at = u32(r.offset);
        if (at % 16 != 0 || u64(at) + sizeof(Vector) > size)
            return false;
        Spline* s = reinterpret_cast<Spline*>(const_cast<u8*>(base) + at);
        const int n = s->Count();
        if (n < 1 || u64(at) + u64(n) * sizeof(Vector) > size)
            return false;
        out = s;
        return true;
    }
    bool NodeOk(ObjectRef r) const { return r.index < 0 || r.index < mf->nNodes; }
};

// The set-up whose cut-short tail was last said, so that it is said once
// per load (LoadIntExtSetup forgets it).
const void* g_pSetupCutSaid;

const char* SetupData::Name() const
{
    return g_GlobalMFI.GetIndex(mf) >= 0 ? static_cast<const StreamMdlFile*>(mf)->name : "a set-up";
}

void SetupData::RecordOutside(int i, u32 at) const
{
    if (g_pSetupCutSaid != base) {
        g_pSetupCutSaid = base;
        printf("Setup: %s: the record of node %d at 0x%x lies past the file's %u bytes; the set-up is cut short\n",
               Name(), i, unsigned(at), unsigned(size));
    }
    if (g_pgcTest != nullptr)
        g_pgcTest->pszDataRefused = "its set-up";
}

Matrix NodeMatrix(MDLFILE* mf, int i)
{
    return mf->nodes[i].GetMatrix();
}

// A zero-filled object of class T with its handler, as the set-up makes
// those whose handler it sets itself.
template <class T>
T* Zeroed()
{
    T* o = static_cast<T*>(Object::operator new(sizeof(T)));
    if (o != nullptr)
        o->messagehandler = T::staticmh;
    return o;
}

// An object made by its class handler's OM_CREATE (no data).
template <class T>
T* Created()
{
    return reinterpret_cast<T*>(intptr_t(T::staticmh(nullptr, OM_CREATE, nullptr)));
}

// A 16-byte aligned copy of a record.
template <class T>
T* Copy(const T* rec)
{
    T* p = static_cast<T*>(malloc_align(sizeof(T), 16));
    if (p != nullptr)
        std::memcpy(static_cast<void*>(p), rec, sizeof(T));
    return p;
}

void Added(Object* o, bool timer)
{
    world.AddObject(o, nullptr);
    if (timer)
        world.SetTimer(o, AnimTime(kOneFrame), nullptr);
}

// Builds node i's own model into o (flags 0x48); o's matrix is then the
// node's placed by P.
void OwnNode(MDLFILE* mf, Object* o, int i, const Matrix& P)
{
    mf->GetHierarchyTo(o, u16(i), GH_NODEMATRIX | GH_ANIMATE);
    o->InitialiseChildCollisions();
    o->mat = o->mat * P;
}

// A volume kept in the loaded file is moved there once: a mark in the
// record's padding says it was, so building the same file data again (a
// second set-up of it) does not move it a second time.
void MoveInFileOnce(Extent* e, u8* mark, const Matrix& P)
{
    if (*mark != 0)
        return;
    e->Transform(P);
    *mark = 1;
}

// The player-script template of a task start: the walk in, the player's
// mode for it.  Rows {token, time, data, data2}.
const CinePlayerScript InitCam_PScript[5] = {
    {0, 0, 237, 10}, {5, 1, 0, 0}, {4, 55, 0, 0}, {2, 56, 13, 0}, {6, 57, 0, 0},
};

}  // namespace

CinePlayerScript g_InitCamScript[5];

int GameController::RemapRCrimeCharIndex(int iOrigIndex)
{
    if (iOrigIndex < 0 || iOrigIndex >= 8 || i16RCrimeCharRemap[iOrigIndex] < 0)
        return iOrigIndex;
    return i16RCrimeCharRemap[iOrigIndex] - 49;
}

int GameController::RemapRCrimeVehIndex(int iOrigIndex)
{
    if (iOrigIndex < 0 || iOrigIndex >= 8 || i16RCrimeVehRemap[iOrigIndex] < 0)
        return iOrigIndex;
    return i16RCrimeVehRemap[iOrigIndex] - 1;
}

Spline* GameController::CreateSplineCopy(Matrix& mat, Spline* pspl)
{
    if (pspl == nullptr || pspl->Count() < 1)
        return nullptr;
    const int n = pspl->Count();
    Spline* s = static_cast<Spline*>(malloc_align(size_t(n) * sizeof(Vector), 16));
    if (s == nullptr)
        return nullptr;
    for (int i = 0; i < n; i++) {
        const Vector& p = (*pspl)[i];
        const VectorPos q = mat * VectorPos(p[0], p[1], p[2]);
        (*s)[i] = Vector(q[0], q[1], q[2], 1.0f);
    }
    s->SetCount(n);
    return s;
}

// ---------------------------------------------------------------------------
// Entities

namespace {

// The shared set-up of cameras: what the node says, placed by P.
Camera* NewSetupCamera(MDLFILE* mf, int i, const Matrix& P)
{
    Camera* c = Zeroed<Camera>();
    if (c == nullptr)
        return nullptr;
    c->type = OBJT_CAMERA;
    c->flags = 0;
    c->target = dace;
    c->lookstep = 1.0f;
    c->absposstep = 1.0f;
    c->fBiasFactor = 0.5f;
    c->zoom = c->fTargetZoom = mf->nodes[i].ang[3];
    c->mat = NodeMatrix(mf, i) * P;
    c->angy = ArcTan2(c->mat.z[0], c->mat.z[2]);
    c->angx = -ArcSin(VectorX(c->mat.z[1]));
    c->vpMount = c->mat.GetTrans();
    return c;
}

template <class T>
void SetCameraRanges(Camera* c, const T* p)
{
    c->fAngRangeY = p->yaw_range * kDegToRad;
    c->fAngRangeX = p->pitch_range * kDegToRad;
    c->iTrack = p->tracking;
    c->bTargetBias = p->target_bias != 0;
}

template <class T>
void MoveTriggers(T* p, const Matrix& P)
{
    p->trigger1.Transform(P);
    p->trigger2.Transform(P);
    p->trigger3.Transform(P);
    p->trigger4.Transform(P);
}


}  // namespace

Object* GameController::LoadEntity(MDLFILE* pmf, int iNodeIndex, Matrix& P, bool)
{
    if (pmf == nullptr || pmf->nodes == nullptr || iNodeIndex < 0 || iNodeIndex >= pmf->nNodes)
        return nullptr;
    const SetupData d{pmf, reinterpret_cast<const u8*>(pmf->header), ModelFileSize(pmf)};
    const int type = pmf->nodes[iNodeIndex].extra;
    if (type >= ENT_NUMBER)
        return nullptr;
    // Kinds whose record is never read need none.
    switch (type) {
    case ENT_CINEMATRIGGER:
    case ENT_GENERICCHARACTER:
    case ENT_GENERICPARTICLE:
    case ENT_INTERACTIVEOBJECT:
    case ENT_SOUNDAMBIENT:
    case ENT_FREEWAYSIGN:
    case ENT_EXTERIORINTERACTIVEOBJECT:
    case ENT_EXTCROWNVIC:
        return nullptr;
    default:
        break;
    }
    const int i = iNodeIndex;
    const Matrix placed = NodeMatrix(pmf, i) * P;

    switch (type) {
    case ENT_FIXEDCAMERA:
    case ENT_PATHCAMERA:
    case ENT_ORBITINGCAMERA:
    case ENT_GROUPCAMERA:
    case ENT_TUNNELCAMERA: {
        if (bCinematicOnly)
            return nullptr;
        Spline* path = nullptr;
        void* extra = nullptr;
        int mode = CAMMODE_FIXED;
        Camera* c = nullptr;
        // The record and its spline are checked before anything is made.
        switch (type) {
        case ENT_FIXEDCAMERA: {
            auto* p = d.Record<FixedCamera_params>(i);
            if (p == nullptr || (c = NewSetupCamera(pmf, i, P)) == nullptr)
                return nullptr;
            auto* q = Copy(p);
            if (q != nullptr)
                MoveTriggers(q, P);
            SetCameraRanges(c, p);
            extra = q;
            break;
        }
        case ENT_PATHCAMERA: {
            auto* p = d.Record<PathCamera_params>(i);
            if (p == nullptr || !d.SplineAt(p->cam_path, path) || (c = NewSetupCamera(pmf, i, P)) == nullptr)
                return nullptr;
            auto* q = Copy(p);
            if (q != nullptr) {
                MoveTriggers(q, P);
                q->mount_distance *= 0.3125f;
            }
            SetCameraRanges(c, p);
            extra = q;
            mode = CAMMODE_PATH;
            break;
        }
        case ENT_ORBITINGCAMERA: {
            // An orbit needs a curve of at least one segment to go round.
            auto* p = d.Record<OrbitingCamera_params>(i);
            if (p == nullptr || !d.SplineAt(p->cam_orbit, path) || path == nullptr || path->Count() < 4 ||
                (c = NewSetupCamera(pmf, i, P)) == nullptr)
                return nullptr;
            auto* q = Copy(p);
            if (q != nullptr)
                MoveTriggers(q, P);
            SetCameraRanges(c, p);
            extra = q;
            mode = CAMMODE_ORBITING;
            break;
        }
        case ENT_GROUPCAMERA: {
            auto* p = d.Record<GroupCamera_params>(i);
            if (p == nullptr || !d.NodeOk(p->link1) || !d.NodeOk(p->link2) || !d.NodeOk(p->link3) ||
                !d.NodeOk(p->link4) || (c = NewSetupCamera(pmf, i, P)) == nullptr)
                return nullptr;
            auto* q = Copy(p);
            if (q != nullptr)
                q->trigger1.Transform(P);
            SetCameraRanges(c, p);
            extra = q;
            mode = CAMMODE_GROUP;
            Vector* links = static_cast<Vector*>(malloc_align(4 * sizeof(Vector), 16));
            if (links != nullptr) {
                const ObjectRef refs[4] = {p->link1, p->link2, p->link3, p->link4};
                for (int k = 0; k < 4; k++) {
                    if (refs[k].index < 0) {
                        links[k] = Vector(0.0f, 0.0f, 0.0f, 0.0f);
                    } else {
                        const VectorPos at = (NodeMatrix(pmf, refs[k].index) * P).GetTrans();
                        links[k] = Vector(at[0], at[1], at[2], 1.0f);
                    }
                }
            }
            c->pvExtraSpl = links;
            break;
        }
        default: {   // tunnel
            auto* p = d.Record<TunnelCamera_params>(i);
            if (p == nullptr || !d.SplineAt(p->cam_path, path) || (c = NewSetupCamera(pmf, i, P)) == nullptr)
                return nullptr;
            auto* q = Copy(p);
            if (q != nullptr)
                q->distance_param *= 0.3125f;
            extra = q;
            mode = CAMMODE_TUNNEL;
            break;
        }
        }
        c->mode = s8(mode);
        c->pvExtra = extra;
        if (path != nullptr && type != ENT_GROUPCAMERA)
            c->pvExtraSpl = CreateSplineCopy(P, path);
        if (type == ENT_ORBITINGCAMERA) {
            // The centre is the mean of the segments' end points; the radius
            // its distance across the ground from the first point.
            const Spline* s = static_cast<Spline*>(c->pvExtraSpl);
            if (s != nullptr) {
                const int n = (s->Count() - 1) / 3;
                float cx = 0.0f, cy = 0.0f, cz = 0.0f;
                for (int k = 1; k <= n; k++) {
                    cx += (*s)[3 * k][0];
                    cy += (*s)[3 * k][1];
                    cz += (*s)[3 * k][2];
                }
                cx /= float(n);
                cy /= float(n);
                cz /= float(n);
                c->relposgoal = VectorPos(cx, cy, cz);
                const float dx = cx - (*s)[0][0], dz = cz - (*s)[0][2];
                c->fOrbRadius = sqrtf(dx * dx + dz * dz);
            }
        }
        Added(c, true);
        return c;
    }

    case ENT_TASKINITCAMERA: {
        auto* p = d.Record<TaskInitCamera_params>(i);
        Spline* arrive = nullptr;
        if (p == nullptr || !d.SplineAt(p->arrive_path, arrive, true))
            return nullptr;
        Camera* c = NewSetupCamera(pmf, i, P);
        if (c == nullptr)
            return nullptr;
        c->fTargetZoom = 0.0f;
        c->mode = CAMMODE_FIXED;
        c->pvExtra = Copy(p);
        SetCurrentCam(c);
        world.AddObject(c, nullptr);
        static const int walk[4][2] = {{90, 91}, {237, 238}, {160, 161}, {279, 280}};
        static const int playerMode[4] = {7, 13, 4, 6};
        const int m = p->mode < 4 ? p->mode : 1;
        std::memcpy(g_InitCamScript, InitCam_PScript, sizeof g_InitCamScript);
        g_InitCamScript[0].iData = walk[m][p->anim != 0 ? 1 : 0];
        g_InitCamScript[1].iData = int(reinterpret_cast<intptr_t>(arrive != nullptr ? CreateSplineCopy(P, arrive) : nullptr));
        g_InitCamScript[3].iData = p->mode < 4 ? playerMode[p->mode] : 13;
        pCamInitScript = g_InitCamScript;
        if (dace != nullptr)
            dace->cinewalkpath = nullptr;
        return c;
    }

    case ENT_WALLSPLINE: {
        auto* p = d.Record<WallSpline_params>(i);
        Spline* s = nullptr;
        if (p == nullptr || !d.SplineAt(p->spline, s) || s == nullptr || !d.NodeOk(p->connectobject))
            return nullptr;
        WallSpline* w = static_cast<WallSpline*>(malloc_align(sizeof(WallSpline), 16));
        if (w == nullptr)
            return nullptr;
        w->spline = CreateSplineCopy(P, s);
        w->objindex = u16(p->connectobject.index);
        w->crouch = p->height == 1;
        world.spllist.AddTail(w);
        return nullptr;
    }

    case ENT_AVOIDOBSTACLE: {
        auto* p = d.Record<AvoidObstacle_params>(i);
        Spline* s = nullptr;
        if (p == nullptr || !d.SplineAt(p->obstaclepath, s) || s == nullptr || !d.NodeOk(p->connectobject))
            return nullptr;
        AvoidObstacle* a = static_cast<AvoidObstacle*>(malloc_align(sizeof(AvoidObstacle), 16));
        if (a == nullptr)
            return nullptr;
        a->spline = CreateSplineCopy(P, s);
        a->objindex = u16(p->connectobject.index);
        world.obslist.AddTail(a);
        return nullptr;
    }

    case ENT_ENEMYGENSHOOTER: {
        auto* p = d.Record<EnemyGenShooter_params>(i);
        Spline *a, *m, *h;
        if (p == nullptr || !d.SplineAt(p->path_arrive, a) || !d.SplineAt(p->path_move, m) ||
            !d.SplineAt(p->hostage_path, h))
            return nullptr;
        auto* g = Created<EnemyGenShooter>();
        if (g == nullptr)
            return nullptr;
        g->pegsp = Copy(p);
        if (g->pegsp != nullptr) {
            g->pegsp->trigger_init.Transform(P);
            g->pegsp->trigger_init2.Transform(P);
        }
        g->mat = placed;
        g->gameeventobj = this;
        g->pSplineArrive = CreateSplineCopy(P, a);
        g->pSplineMove = CreateSplineCopy(P, m);
        g->pSplineHostage = CreateSplineCopy(P, h);
        Added(g, false);
        return g;
    }

    case ENT_DACEMODETRIGGER: {
        auto* p = d.Record<DaceModeTrigger_params>(i);
        if (p == nullptr || !d.NodeOk(p->teleport_to))
            return nullptr;
        auto* t = Created<DaceModeTrigger>();
        if (t == nullptr)
            return nullptr;
        t->dmtp = *p;
        t->mat = NodeMatrix(pmf, p->teleport_to.index >= 0 ? p->teleport_to.index : i) * P;
        MoveTriggers(&t->dmtp, P);
        if (p->task_exit != 0)
            iFlags |= GCF_PLACEMENT;
        Added(t, true);
        return t;
    }

    case ENT_CONTROLLERCOMBAT: {
        if (auto* p = d.Record<ControllerCombat_params>(i))
            fightparams = p;
        return nullptr;
    }

    case ENT_ENEMYGENFIGHTER: {
        auto* p = d.Record<EnemyGenFighter_params>(i);
        Spline* a;
        if (p == nullptr || !d.SplineAt(p->path_arrive, a))
            return nullptr;
        auto* g = Created<EnemyGenFighter>();
        if (g == nullptr)
            return nullptr;
        g->pegfp = Copy(p);
        g->mat = placed;
        g->gameeventobj = this;
        g->pSpline = CreateSplineCopy(P, a);
        Added(g, false);
        return g;
    }

    case ENT_ENEMYWAVETRIGGER: {
        auto* p = d.Record<EnemyWaveTrigger_params>(i);
        if (p == nullptr)
            return nullptr;
        auto* t = Created<EnemyWaveTrigger>();
        if (t == nullptr)
            return nullptr;
        t->ewtp = *p;
        t->mat = placed;
        t->ewtp.trigger1.Transform(P);
        t->ewtp.trigger2.Transform(P);
        Added(t, true);
        return t;
    }

    case ENT_ENEMYGENRUNNER: {
        auto* p = d.Record<EnemyGenRunner_params>(i);
        if (p == nullptr)
            return nullptr;
        auto* g = Created<EnemyGenRunner>();
        if (g == nullptr)
            return nullptr;
        g->pegrp = Copy(p);
        if (g->pegrp != nullptr)
            g->pegrp->character = u8(RemapRCrimeCharIndex(p->character));
        g->iRunnerId = p->id;
        g->mat = placed;
        g->gameeventobj = this;
        Added(g, false);
        return g;
    }

    case ENT_EXTERIORSPECIFIC: {
        auto* p = d.Record<ExteriorSpecific_params>(i);
        if (p == nullptr || p->exttype >= EXTTYPES || mhExteriorSpecific[p->exttype] == nullptr)
            return nullptr;
        Object* o = reinterpret_cast<Object*>(intptr_t(mhExteriorSpecific[p->exttype](nullptr, OM_CREATE, nullptr)));
        if (o == nullptr)
            return nullptr;
        OwnNode(pmf, o, i, P);
        Added(o, false);
        return nullptr;
    }

    case ENT_ENEMYGENGUARD: {
        auto* p = d.Record<EnemyGenGuard_params>(i);
        Spline* m;
        if (p == nullptr || !d.SplineAt(p->move_path, m))
            return nullptr;
        auto* g = Created<EnemyGenGuard>();
        if (g == nullptr)
            return nullptr;
        g->peggp = Copy(p);
        if (g->peggp != nullptr)
            g->peggp->init_trigger.Transform(P);
        g->mat = placed;
        g->gameeventobj = this;
        g->pSpline = CreateSplineCopy(P, m);
        Added(g, false);
        return g;
    }

    case ENT_ENEMYGENMUTANT: {
        auto* p = d.Record<EnemyGenMutant_params>(i);
        Spline *a, *m;
        if (p == nullptr || !d.SplineAt(p->path_arrive, a) || !d.SplineAt(p->path_move, m))
            return nullptr;
        auto* g = Created<EnemyGenMutant>();
        if (g == nullptr)
            return nullptr;
        g->pegmp = Copy(p);
        if (g->pegmp != nullptr)
            g->pegmp->trigger_init.Transform(P);
        g->mat = placed;
        g->gameeventobj = this;
        g->pSplineArrive = CreateSplineCopy(P, a);
        g->pSplineMove = CreateSplineCopy(P, m);
        Added(g, false);
        return g;
    }

    case ENT_STEAMGENERATOR: {
        auto* p = d.Record<SteamGenerator_params>(i);
        if (p == nullptr)
            return nullptr;
        auto* s = Created<SteamGenerator>();
        if (s == nullptr)
            return nullptr;
        s->sgp = *p;
        s->mat = placed;
        if (s->sgp.rect.IsValid())
            s->sgp.rect.Transform(P);
        Added(s, true);
        return s;
    }

    case ENT_STEAMBURST: {
        auto* p = d.Record<SteamBurst_params>(i);
        if (p == nullptr)
            return nullptr;
        auto* s = Created<SteamBurst>();
        if (s == nullptr)
            return nullptr;
        s->sbp = *p;
        s->mat = placed;
        s->id = s16(p->id);
        if (s->sbp.rect.IsValid())
            s->sbp.rect.Transform(P);
        Added(s, false);
        return s;
    }

    case ENT_OBJECTINFO: {
        auto* p = d.Record<ObjectInfo_params>(i);
        if (p == nullptr)
            return nullptr;
        // The object is a plain one: a character's or a car's type, or one
        // past the list, would have it read as what it is not.
        if (p->type == OBJT_CHARACTER || p->type == OBJT_VEHICLE || p->type >= OBJT_NUMBER_OF_TYPES) {
            printf("Setup: %s: node %d's object record gives type %u, which a plain object cannot be; the entity "
                   "is not made\n",
                   d.Name(), i, unsigned(p->type));
            return nullptr;
        }
        Object* o = pmf->GetHierarchy(u16(i), sizeof(Object), GH_NODEMATRIX | GH_ANIMATE);
        if (o == nullptr)
            return nullptr;
        o->InitialiseChildCollisions();
        o->mat = o->mat * P;
        o->id = s16(p->id);
        o->type = p->type;
        if (p->hidden == 1)
            o->flags |= OBJF_HIDDEN;
        if (p->landable == 1)
            o->flags |= 0x10;
        const u8 user[8] = {p->user1, p->user2, p->user3, p->user4, p->user5, p->user6, p->user7, p->user8};
        for (int k = 0; k < 8; k++)
            if (user[k] == 1)
                o->flags |= 0x800000u << k;
        Added(o, false);
        return o;
    }

    case ENT_TORCH: {
        if (auto* p = d.Record<Torch_params>(i))
            Flamer_Create(nullptr, placed.GetTrans(), 0.0f, p->size, p->smoke != 0);
        return nullptr;
    }

    case ENT_DACECAMTRIGGER: {
        auto* p = d.Record<DaceCamTrigger_params>(i);
        if (p == nullptr)
            return nullptr;
        auto* t = Created<DaceCamTrigger>();
        if (t == nullptr)
            return nullptr;
        t->dctp = *p;
        t->mat = placed;
        MoveTriggers(&t->dctp, P);
        Added(t, true);
        return t;
    }

    case ENT_VEHICLE: {
        auto* p = d.Record<Vehicle_params>(i);
        if (p == nullptr)
            return nullptr;
        Matrix m = placed;
        Vehicle* v = static_cast<Vehicle*>(CreateVehicleAt(m, RemapRCrimeVehIndex(p->vehicle) + 1, p->id, true));
        if (v == nullptr)
            return nullptr;
        v->i8Tint = s8(p->tint);
        SetTintSet(v, p->tint, true);
        const int strength = p->init_strength < 1 ? 1 : p->init_strength > 100 ? 100 : p->init_strength;
        v->strength = v->fBaseStrength = float(strength);
        v->mode = 1;
        if (Object* driver = v->rcoDriver.p) {
            static_cast<CarDriver*>(driver)->gameeventobj = this;
            SpecialMessage hold(SMSG_CD_HOLD, nullptr, 0);
            driver->SendMessage(OM_SPECIAL, &hold);
        }
        return v;
    }

    case ENT_SPLINEOBJECTMOVER: {
        auto* p = d.Record<SplineObjectMover_params>(i);
        Spline* m;
        if (p == nullptr || !d.SplineAt(p->move_path, m))
            return nullptr;
        auto* o = Created<SplineObjectMover>();
        if (o == nullptr)
            return nullptr;
        // The mover's props run along a copy of its path placed with P, so
        // its trigger volumes are placed with P as well, or they would stay
        // at the file's origin, away from the props.  The mover reads its
        // record where it lies in the file, which a second load of the same
        // file data shares: the volumes are moved there once, marked in the
        // record's padding.
        if (p->pad13[0] == 0) {
            MoveTriggers(p, P);
            p->pad13[0] = 1;
        }
        o->psomp = p;
        o->pSpline = CreateSplineCopy(P, m);
        Added(o, false);
        return o;
    }

    case ENT_TUNNELGRATE: {
        auto* p = d.Record<TunnelGrate_params>(i);
        Spline* m;
        if (p == nullptr || !d.SplineAt(p->move_path, m))
            return nullptr;
        auto* o = Created<TunnelGrate>();
        if (o == nullptr)
            return nullptr;
        OwnNode(pmf, o, i, P);
        o->ptgp = p;
        o->id = p->id;
        o->pSpline = CreateSplineCopy(P, m);
        Added(o, false);
        return o;
    }

    case ENT_TARGETMOVING:
    case ENT_TARGETSTATIC:
    case ENT_TARGETINNOCENT: {
        // The target's model is the file's template, not the placeholder.
        const u16 tmplId = type == ENT_TARGETINNOCENT ? 0x201 : 0x200;
        const NODE* tmpl = pmf->FindNodeById1(0, tmplId);
        void* rec = nullptr;
        Spline* m = nullptr;
        if (type == ENT_TARGETMOVING) {
            auto* p = d.Record<TargetMoving_params>(i);
            if (p == nullptr || !d.SplineAt(p->move_path, m))
                return nullptr;
            rec = p;
        } else if (type == ENT_TARGETSTATIC) {
            rec = d.Record<TargetStatic_params>(i);
        } else {
            rec = d.Record<TargetInnocent_params>(i);
        }
        if (rec == nullptr)
            return nullptr;
        if (tmpl == nullptr) {
            printf("Setup: %s: node %d's target has no model: the file holds no node 0x%X to make it from; the "
                   "entity is not made\n",
                   d.Name(), i, unsigned(tmplId));
            return nullptr;
        }
        Object* o;
        if (type == ENT_TARGETINNOCENT) {
            auto* t = Created<TargetInnocent>();
            if (t == nullptr)
                return nullptr;
            t->ptip = static_cast<TargetInnocent_params*>(rec);
            o = t;
        } else {
            auto* t = Created<TargetMoving>();
            if (t == nullptr)
                return nullptr;
            t->bIsMoving = type == ENT_TARGETMOVING;
            if (type == ENT_TARGETMOVING) {
                t->ptmp = static_cast<TargetMoving_params*>(rec);
                t->pSpline = CreateSplineCopy(P, m);
            } else {
                t->ptsp = static_cast<TargetStatic_params*>(rec);
            }
            o = t;
        }
        pmf->GetHierarchyTo(o, u16(tmpl - pmf->nodes), GH_NODEMATRIX | GH_ANIMATE);
        o->mat = placed;
        Added(o, false);
        return o;
    }

    case ENT_TIMEOFDAY: {
        if (auto* p = d.Record<TimeOfDay_params>(i))
            world.time_of_day = u32(p->hour) * 216000u + u32(p->minute) * 3600u;
        return nullptr;
    }

    case ENT_WATERPATCH: {
        auto* p = d.Record<WaterPatch_params>(i);
        Spline* b;
        if (p == nullptr || !d.SplineAt(SplineRef{s32(p->boundSpline)}, b))
            return nullptr;
        auto* w = reinterpret_cast<WaterSurface*>(intptr_t(WaterSurface::WaterSurface_mh(nullptr, OM_CREATE, nullptr)));
        if (w == nullptr)
            return nullptr;
        w->mat = placed;
        Extent bound = p->boundRect;
        w->InitWater(p->sizeX, p->sizeY, bound, CreateSplineCopy(P, b), p->width, p->waveHeight);
        Added(w, false);
        return nullptr;
    }

    case ENT_GUNPICKUP: {
        if (auto* p = d.Record<GunPickup_params>(i)) {
            Weapon w{};
            w.SetType(int(p->type) - 9);
            CreateGunPickup(placed, VectorDir(0.0f, 0.0f, 0.0f), &w, 2000);
        }
        return nullptr;
    }

    case ENT_AIRPLANE: {
        auto* p = d.Record<Airplane_params>(i);
        Spline* m;
        if (p == nullptr || !d.SplineAt(p->move_path, m))
            return nullptr;
        auto* a = Created<Airplane>();
        if (a == nullptr)
            return nullptr;
        OwnNode(pmf, a, i, P);
        a->app = *p;
        // A speed or acceleration that is no number (or no finite one)
        // counts as none.
        for (float* f : {&a->app.taxispeed, &a->app.takeoffspeed, &a->app.accel})
            if (!std::isfinite(*f))
                *f = 0.0f;
        a->id = p->id;
        a->app.trigger1.Transform(P);
        a->app.trigger2.Transform(P);
        a->app.trigger3.Transform(P);
        a->pSpline = CreateSplineCopy(P, m);
        Added(a, false);
        return a;
    }

    case ENT_MISSIONSPLINE: {
        auto* p = d.Record<MissionSpline_params>(i);
        Spline* m;
        if (p == nullptr || !d.SplineAt(p->mission_spline, m))
            return nullptr;
        free(psplMission);
        psplMission = CreateSplineCopy(P, m);
        return nullptr;
    }

    case ENT_MANNEQUINSHOOTER: {
        auto* p = d.Record<MannequinShooter_params>(i);
        Spline* a;
        if (p == nullptr || !d.SplineAt(p->path_arrive, a))
            return nullptr;
        auto* g = Created<EnemyGenMannequin>();
        if (g == nullptr)
            return nullptr;
        g->pegsp = Copy(p);
        if (g->pegsp != nullptr) {
            g->pegsp->trigger_init.Transform(P);
            g->pegsp->trigger_init2.Transform(P);
        }
        g->mat = placed;
        g->gameeventobj = this;
        g->pSplineArrive = CreateSplineCopy(P, a);
        Added(g, false);
        return g;
    }

    case ENT_DRVCRSEGATE: {
        auto* p = d.Record<DrvCrseGate_params>(i);
        if (p == nullptr)
            return nullptr;
        auto* g = Created<DrvCrseGate>();
        if (g == nullptr)
            return nullptr;
        OwnNode(pmf, g, i, P);
        g->pdcgp = p;
        MoveInFileOnce(&p->trigger, &p->pad1[0], P);
        Added(g, false);
        return g;
    }

    case ENT_DRVCRSEPED: {
        auto* p = d.Record<DrvCrsePed_params>(i);
        Spline* m;
        if (p == nullptr || !d.SplineAt(p->move_path, m))
            return nullptr;
        auto* g = Created<DrvCrsePed>();
        if (g == nullptr)
            return nullptr;
        OwnNode(pmf, g, i, P);
        g->pdcpp = p;
        MoveInFileOnce(&p->trigger, &p->pad1[0], P);
        g->pSpline = CreateSplineCopy(P, m);
        Added(g, false);
        return g;
    }

    case ENT_RADARSPLINE: {
        auto* p = d.Record<RadarSpline_params>(i);
        Spline* r;
        if (p == nullptr || !d.SplineAt(p->radar_spline, r) || r == nullptr)
            return nullptr;
        if (Spline* s = CreateSplineCopy(P, r))
            splRadarList.AddTail(s);
        return nullptr;
    }

    case ENT_RACECOURSEDESTRUCTABLE: {
        auto* p = d.Record<RaceCourseDestructable_params>(i);
        if (p == nullptr)
            return nullptr;
        auto* o = Created<DrvCrseProp>();
        if (o == nullptr)
            return nullptr;
        o->iType = p->objtype;
        o->fStrength = float(p->strength);
        OwnNode(pmf, o, i, P);
        Added(o, false);
        return nullptr;
    }

    case ENT_RACECOURSEDRONECAR: {
        auto* p = d.Record<RaceCourseDroneCar_params>(i);
        Spline* m;
        if (p == nullptr || !d.SplineAt(p->move_path, m))
            return nullptr;
        auto* o = Created<DrvCrseDrone>();
        if (o == nullptr)
            return nullptr;
        o->prcdc = p;
        o->mat = P;
        o->fSpeed = p->speed * 0.00232833298f;
        if (o->fSpeed < 0.0116416672f)
            o->fSpeed = 0.0116416672f;
        o->pSpline = CreateSplineCopy(P, m);
        MoveInFileOnce(&p->trigger, &p->pad72[0], P);
        if (o->pSpline != nullptr) {
            Matrix start = LookAlong(o->pSpline->Tangent(0.0f));
            const Vector at = o->pSpline->Evaluate(0.0f);
            start.w = Vector(at[0], at[1], at[2], 1.0f);
            if (Vehicle* v = static_cast<Vehicle*>(CreateVehicleAt(start, 7, 101, true))) {
                v->strength = v->fBaseStrength = 100.0f;
                o->rcCar = v;
                if (Object* driver = v->rcoDriver.p) {
                    SpecialMessage hold(SMSG_CD_HOLD, nullptr, 0);
                    driver->SendMessage(OM_SPECIAL, &hold);
                }
            }
        }
        Added(o, false);
        return o;
    }

    default:
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Interiors and exteriors

namespace {

constexpr u16 kPlayerStartModel = 0x8000;
constexpr u16 kMainObject = 0x8000;     // extra above: a main object (or the player start)
constexpr u16 kScenery = 0x1000;        // extra from here to 0x8000: plain scenery
constexpr u16 kEntryPoint = 0x8000;     // the entry node's id under a main object
constexpr int kBreakableType = 15;      // the special node type that makes a prop breakable

// The current camera looks at the player from behind and above him.
void SnapCameraToPlayer()
{
    Camera* c = GetCurrentCam();
    if (c == nullptr || dace == nullptr)
        return;
    c->zoom = 1.6f;
    c->mat = dace->mat;
    const VectorPos p = dace->mat.GetTrans();
    const Vector off = (dace->mat.y + dace->mat.z) * -0.625f;
    c->mat.w = Vector(p[0] + off[0], p[1] + off[1], p[2] + off[2], 1.0f);
    c->target = dace;
}

}  // namespace

Object* GameController::LoadIntExtSetup(int iPHId, MDLFILE* pmf, bool _bInterior)
{
    Matrix P = TransMatrix(0.0f, kDefaultY, 0.0f);
    bInterior = bUseDefInteriorLights = _bInterior;
    SetGlobalLights(8);
    if (Object* ph = world.placeholderlist.Find(iPHId)) {
        if (_bInterior) {
            P = ph->mat;
        } else {
            const VectorPos at = ph->mat.GetTrans();
            P = TransMatrix(at[0], at[1], at[2]);
        }
    }
    matPH = P;
    fInteriorHeight = P.w[1];
    if (pmf == nullptr || pmf->nodes == nullptr)
        return nullptr;
    g_pSetupCutSaid = nullptr;

    Object* result = nullptr;
    const int nNodes = pmf->nNodes;
    // A sibling chain longer than the node block would be a loop.
    int walked = 0;
    for (int i = 0; i != 0xFFFF && i < nNodes && walked <= nNodes; i = pmf->nodes[i].sibling, walked++) {
        const NODE& node = pmf->nodes[i];
        if (node.extra > kMainObject && node.model == kPlayerStartModel) {
            if (dace != nullptr) {
                dace->mat = node.GetMatrix() * P;
                Camera* c = GetCurrentCam();
                if (c == nullptr || c->mode != CAMMODE_FIXED)
                    SnapCameraToPlayer();
            }
        } else if (node.extra > kMainObject) {
            Object* main = pmf->GetHierarchy(u16(i), sizeof(Object), GH_NODEMATRIX | GH_ANIMATE | GH_NOCHILDREN);
            if (main == nullptr)
                continue;
            const NODE* entry = pmf->FindNodeById(&node, kEntryPoint);
            main->flags |= 0x80000 | OBJF_SELFANIMATING;
            main->mat = main->mat * P;
            if (main->geom == nullptr && node.child == 0xFFFF && main->HasCollision())
                main->flags |= OBJF_NOCOLLISION;
            if (result == nullptr)
                result = main;
            if (dace != nullptr && entry != nullptr) {
                dace->mat = entry->GetMatrix() * main->mat;
                SnapCameraToPlayer();
            }
            int kids = 0;
            for (int c = node.child; c != 0xFFFF && c < nNodes && kids <= nNodes; c = pmf->nodes[c].sibling, kids++) {
                const NODE& cn = pmf->nodes[c];
                Object* prop = nullptr;
                if (cn.extra == ENT_INTERACTIVEOBJECT) {
                    const SetupData d{pmf, reinterpret_cast<const u8*>(pmf->header), ModelFileSize(pmf)};
                    const InteractiveObject_params* p = d.Record<InteractiveObject_params>(c);
                    if (p != nullptr) {
                        if (auto* o = Created<InteriorDamageable>()) {
                            pmf->GetHierarchyTo(o, u16(c), GH_NODEMATRIX | GH_ANIMATE);
                            o->fStrength = float(p->Strength);
                            o->bSliding = p->Sliding == 1;
                            o->sound_id = p->sound_id;
                            o->min_interval = p->min_interval;
                            o->dist_heard = p->dist_heard;
                            o->id = p->id;
                            if (p->init_damaged != 0)
                                PreDamage(o);
                            prop = o;
                        }
                    }
                } else if (cn.extra >= kScenery && pmf->FindSpecialIndex(c, kBreakableType) != 0) {
                    if (auto* o = Created<InteriorDamageable>()) {
                        pmf->GetHierarchyTo(o, u16(c), GH_NODEMATRIX | GH_ANIMATE);
                        prop = o;
                    }
                }
                if (prop != nullptr) {
                    prop->flags |= 0x80000;
                    if (prop->blendAnim != nullptr)
                        prop->flags |= OBJF_SELFANIMATING;
                    prop->InitialiseChildCollisions();
                    prop->mat = prop->mat * main->mat;
                    world.AddObject(prop, nullptr);
                    continue;
                }
                Object* child = pmf->GetHierarchy(u16(c), sizeof(Object), GH_NODEMATRIX | GH_ANIMATE);
                if (child == nullptr)
                    continue;
                if (child->blendAnim != nullptr)
                    main->flags |= OBJF_SELFANIMATING;
                // Not added to the world by itself: its frame calls come
                // through a link of its own.
                if (child->flags & OBJF_FRAMECALL)
                    world.framecalllist.AddTail(child);
                main->Attach(child);
            }
            main->InitialiseChildCollisions();
            main->CalcRadius();
            world.AddObject(main, nullptr);
        } else if (node.extra < kScenery) {
            LoadEntity(pmf, i, P, false);
        } else {
            Object* o = pmf->GetHierarchy(u16(i), sizeof(Object), GH_NODEMATRIX | GH_ANIMATE);
            if (o == nullptr)
                continue;
            o->InitialiseChildCollisions();
            o->mat = o->mat * P;
            world.AddObject(o, nullptr);
        }
    }

    // The set-up's lights: an ambient one replaces the default interior
    // lights; the first directional one casts the shadows.
    bool shadowSet = false;
    for (ObjectLink* l = world.framecalllist.Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        if (o == nullptr || o->IsDead() || o->type != OBJT_LIGHT)
            continue;
        const LightObject* light = static_cast<LightObject*>(o);
        if (light->lightType == 0) {
            bUseDefInteriorLights = false;
        } else if (light->lightType == 1 && !shadowSet) {
            const Vector& z = o->mat.z;
            world.shadowlight = Vector(-z[0], -z[1], -z[2], -z[3]);
            shadowSet = true;
        }
    }
    return result;
}
