// The random crime's cast and its place in the street: the crime's model
// files held while it runs, the character picks without repeats, the set-up
// entities and the suspects they generate, extra suspects, points on the
// pavements and carriageways near the player, cars set onto the road, and
// the target car put to sleep and woken as the player leaves and returns.
#include "game/RandomCrimes.h"

#include <cmath>

#include "ZevEngine2/PS2/Model.h"
#include "game/GameModes.h"
#include "game/LevelEntity.h"
#include "game/RandomCrimesLocal.h"

namespace msg = rcmsg;
using namespace rcrime;

namespace {

// The registry slots an asset of each kind may be found in.
struct SlotRange
{
    int first, last;
};
SlotRange AssetSlots(AssetType t)
{
    switch (t) {
    case AT_AMBCHAR: return {80, 84};
    case AT_AMBVEH: return {1, 5};
    case AT_ENVIRONMENT: return {193, 193};
    default: return {128, 132};
    }
}

// Where an asset that is not loaded yet goes; -1 for a prop, which is then
// left out.
int FallbackSlot(AssetType t)
{
    switch (t) {
    case AT_AMBCHAR: return g_pgcTest != nullptr ? g_pgcTest->FreeUpAmbientPedSlot() : -1;
    case AT_AMBVEH: return g_pgcTest != nullptr ? g_pgcTest->FreeUpAmbientVehicleSlot() : -1;
    case AT_ENVIRONMENT: return 193;
    default: return -1;
    }
}

// The crime's held model files.
constexpr s16 kMFIHeld = MFI_RECYCLE;
// A character model id with this bit names the low-detail file.
constexpr int kLowDetail = 0x100;
// The character groups and the ambient-slot picks among the model ids.
constexpr int kCharGroupFirst = 1024, kCharGroupLast = 1031;
constexpr int kAmbientVehicle = 1122, kAmbientCharacter = 1123;

// Appends slot to a -1 ended remap list of 8 (7 slots and the end).
void AppendRemap(s16* list, int& n, int slot)
{
    if (n >= 7)
        return;
    list[n++] = s16(slot);
    list[n] = -1;
}

bool InRemap(const s16* list, int slot)
{
    for (int k = 0; k < 8 && list[k] != -1; k++) {
        if (list[k] == slot)
            return true;
    }
    return false;
}

// The model a free ambient slot of first..last holds for the crime: the
// first slot the crime does not use yet; 0 when none is free, -1 when that
// slot is kept from the crimes or holds nothing.
int PickAmbientSlot(const s16* remap, int first, int last)
{
    for (int slot = first; slot <= last; slot++) {
        if (InRemap(remap, slot))
            continue;
        const MdlFileInfo& m = g_GlobalMFI.GetMFI(slot);
        if ((m.i16Flags & MFI_DELETEABLE) || (m.i16Mirror < 0 && !m.smf.HasData()))
            return -1;
        return m.i16Id;
    }
    return 0;
}

// The far limit within which the target car may wake (93.75 squared).
constexpr float kWakeDist2 = 8789.06f;
// A car stands this far inside the kerb of its carriageway.
constexpr float kKerbInset = 0.546875f;
// Crime spots are looked for this far from the player.
constexpr float kSpotDist = 62.5f;

float Clamp(float t, float lo, float hi) { return t < lo ? lo : (t > hi ? hi : t); }

// The road near p on which a car may be set down: p within reach of the
// player, the city loaded there and a road found.
RoadSeg* RoadForCarNear(VectorPos p)
{
    Object* player = PlayerObject();
    if (player == nullptr)
        return nullptr;
    const VectorDir d = p - player->GetWorldPos();
    if (Dot(d, d) >= kWakeDist2 || !world.CompleteAt(p))
        return nullptr;
    return FindNearestRoadSeg(p, nullptr, false);
}

// The car on the near carriageway of s beside p, facing along the road, its
// wheels on the ground.
void SetCarOnRoad(Vehicle& v, RoadSeg& s, VectorPos p)
{
    VectorDir chord;
    const float t = Clamp(s.bezier.CalcParams(p, chord)[2], 0.1f, 0.9f);
    VectorDir n, tangent;
    const Vector point = s.bezier.EvaluateWithNormalAndTangent(t, n, tangent);
    const RoadTypeFile& rt = *s.type;
    VectorPos at = VectorPos(point.v) + n * (0.5f * rt.vXSect[rt.iJunc][0]);
    const float wheel = v.wheel[0] != nullptr ? v.wheel[0]->rest + v.wheel[0]->radius : 0.0f;
    at[1] = v.GroundHeight(at, nullptr) - wheel;
    const VectorDir z = Normalise(tangent);
    const VectorDir x = Normalise(VectorDir(VectorDir(0.0f, 1.0f, 0.0f) ^ z));
    const VectorDir y = z ^ x;
    v.mat.x = Vector(x, 0.0f);
    v.mat.y = Vector(y, 0.0f);
    v.mat.z = Vector(z, 0.0f);
    v.mat.SetTrans(at);
}

void Wake(Object* driver)
{
    if (CarDriver* d = AsCarDriver(driver)) {
        d->iCDFlags |= kCDFCrimeDriver;
        d->WakeupWithCar();
    }
}

void Sleep(Object* driver)
{
    if (CarDriver* d = AsCarDriver(driver))
        d->SleepWithCar();
}

// A spot with an identity orientation.
Matrix SpotMatrix(VectorPos p)
{
    Matrix m(true);
    m.SetTrans(p);
    return m;
}

// A point 62.5 from the player in a random direction on the ground plane.
VectorPos AroundPlayer()
{
    Object* player = PlayerObject();
    const VectorPos p = player != nullptr ? player->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f);
    const float a = randf() * 6.28319f;
    return VectorPos(p[0] + kSpotDist * std::sin(a), p[1], p[2] + kSpotDist * std::cos(a));
}

// The two offsets of a road's pavements (side 1 left, side 0 right), or of
// the middles of its carriageways.
void SideOffsets(const RoadTypeFile& rt, bool pavement, float out[2])
{
    if (pavement) {
        out[1] = 0.5f * (rt.vXSect[rt.iJuncLeft][0] + rt.vXSect[0][0]);
        out[0] = 0.5f * (rt.vXSect[rt.iJunc][0] + rt.vXSect[rt.iRightEdge][0]);
    } else {
        out[1] = 0.5f * rt.vXSect[rt.iJuncLeft][0];
        out[0] = 0.5f * rt.vXSect[rt.iJunc][0];
    }
}

// A point at t (t < 0: somewhere between the junctions) on a random side;
// through other the same point on the other side.
VectorPos RoadSidePoint(RoadSeg& rs, float t, bool pavement, VectorPos* other)
{
    if (t < 0.0f) {
        const float a = rs.bezier.c0[3], b = rs.bezier.c3[3];
        t = a + randf() * (1.0f - b + a);
    }
    const int side = rand() & 1;
    float offsets[2];
    SideOffsets(*rs.type, pavement, offsets);
    const Vector here = RoadSegOffset(rs.bezier, offsets[side]).Evaluate(t);
    if (other != nullptr)
        *other = VectorPos(RoadSegOffset(rs.bezier, offsets[1 - side]).Evaluate(t).v);
    return VectorPos(here.v);
}

}  // namespace

namespace rcrime {

bool PlaceCarOnRoadNear(Vehicle& v, VectorPos p)
{
    RoadSeg* s = RoadForCarNear(p);
    if (s == nullptr)
        return false;
    SetCarOnRoad(v, *s, p);
    return true;
}

bool AddToSubMissionTargets(Object* o)
{
    if (g_pgcTest == nullptr)
        return false;
    for (Object*& slot : g_pgcTest->rvpSubMissionTargets) {
        if (slot == nullptr) {
            slot = o;
            return true;
        }
    }
    return false;
}

void RemoveFromSubMissionTargets(Object* o)
{
    if (g_pgcTest == nullptr || o == nullptr)
        return;
    for (Object*& slot : g_pgcTest->rvpSubMissionTargets) {
        if (slot == o) {
            slot = nullptr;
            return;
        }
    }
}

void ReleasePlayerTarget(Object* o)
{
    if (dace != nullptr && o != nullptr && dace->target == o)
        dace->target = nullptr;
}

}  // namespace rcrime

int RandomMissionController::RequestAssets()
{
    if (prmp == nullptr || prmp->palp == nullptr)
        return 0;
    int n = 0;
    while (prmp->palp[n].i16MFID >= 0)
        n++;
    InitAssets(n, prmp->palp, i16Level);
    return 0;
}

int RandomMissionController::InitAssets(int n, AssetLoadParams* list, int level)
{
    // The controller keeps 16 entries; a longer list is cut there.
    if (n > 16)
        n = 16;
    iNumAssets = n;
    GameController* gc = g_pgcTest;
    s16 spare[2][8];
    s16* chars = gc != nullptr ? gc->i16RCrimeCharRemap : spare[0];
    s16* vehs = gc != nullptr ? gc->i16RCrimeVehRemap : spare[1];
    int nchars = 0, nvehs = 0;
    chars[0] = vehs[0] = -1;
    for (int k = 0; k < n && list != nullptr; k++) {
        const AssetLoadParams& a = list[k];
        int id = -1, slot = -1;
        if (a.iLevelMask == 0 || (a.iLevelMask & (1 << level))) {
            id = a.i16MFID;
            if (id & 0x400) {
                id = PickFromGroup(id, true);
                if (a.atype == AT_AMBCHAR && id >= 0)
                    id |= kLowDetail;
            }
            if (id >= 0) {
                const SlotRange r = AssetSlots(a.atype);
                slot = g_GlobalMFI.FindById(id, r.first, r.last);
                if (slot >= 0)
                    g_GlobalMFI.GetMFI(slot).i16Flags |= kMFIHeld;
                else
                    slot = FallbackSlot(a.atype);
            }
        }
        if (a.atype == AT_AMBCHAR)
            AppendRemap(chars, nchars, slot);
        else if (a.atype == AT_AMBVEH)
            AppendRemap(vehs, nvehs, slot);
        ralp[k] = a;
        ralp[k].i16MFID = s16(id);
        ralp[k].i16Index = s16(slot);
    }
    return 1;
}

bool RandomMissionController::CheckAssetsLoaded()
{
    for (int k = 0; k < iNumAssets; k++) {
        const AssetLoadParams& a = ralp[k];
        if (a.i16Index >= 0 && !g_GlobalMFI.CheckAssetLoaded(a.i16Index, a.i16MFID, a.pFName))
            return false;
    }
    if (fightstyle == -1 || fightstyle == 5 || fightstyle == 6)
        return true;
    return fightstyle >= 0 && fightstyle + 10 < 32 && g_GlobalAGI.GetAG(fightstyle + 10) != nullptr;
}

int RandomMissionController::UnHoldLoadedAssets()
{
    for (int k = 0; k < iNumAssets && k < 16; k++) {
        const int slot = ralp[k].i16Index;
        if (slot < 0)
            continue;
        g_GlobalMFI.GetMFI(slot).i16Flags &= ~kMFIHeld;
        g_GlobalMFI.SetDeleteOnZeroFlag(slot);
    }
    return 1;
}

int RandomMissionController::UnSetCopDeleteOnZero()
{
    const int slot = g_GlobalMFI.FindById(396, 80, 127);
    if (slot < 0)
        return 0;
    MdlFileInfo& m = g_GlobalMFI.GetMFI(slot);
    m.i16Flags &= ~MFI_DELETEONZERO;
    return m.i16Flags;
}

MDLFILE* RandomMissionController::GetCharacterModelFile(int n)
{
    if (n < 0 || n >= iNumAssets || ralp[n].i16Index < 0)
        return nullptr;
    return g_GlobalMFI.GetMF(ralp[n].i16Index, true);
}

bool RandomMissionController::InUsedList(int id)
{
    for (int k = 0; k < 16 && rgi16UsedList[k] != -1; k++) {
        if (rgi16UsedList[k] == id)
            return true;
    }
    return false;
}

bool RandomMissionController::AddToUsedList(int id)
{
    if (InUsedList(id))
        return false;
    int end = 0;
    while (end < 16 && rgi16UsedList[end] != -1)
        end++;
    // 15 ids and the end mark fill the list.
    if (end >= 15)
        return false;
    rgi16UsedList[end] = s16(id);
    rgi16UsedList[end + 1] = -1;
    return true;
}

int RandomMissionController::PickFromGroup(int iGroupID, bool bUnique)
{
    if (iGroupID >= kCharGroupFirst && iGroupID <= kCharGroupLast) {
        const s16* members = rgpi16CharGroups[iGroupID - kCharGroupFirst];
        int n = 0;
        while (members != nullptr && members[n] >= 0)
            n++;
        if (n == 0)
            return -1;
        int k = int((s64(n) * rand()) >> 31);
        // With every member taken the draw stands after one round.
        for (int tries = 0; bUnique && tries < n && InUsedList(members[k]); tries++)
            k = (k + 1) % n;
        AddToUsedList(members[k]);
        return members[k];
    }
    if (g_pgcTest == nullptr)
        return -1;
    if (iGroupID == kAmbientCharacter)
        return PickAmbientSlot(g_pgcTest->i16RCrimeCharRemap, 80, 84);
    if (iGroupID == kAmbientVehicle)
        return PickAmbientSlot(g_pgcTest->i16RCrimeVehRemap, 1, 4);
    return -1;
}

int RandomMissionController::LoadPS2Setup(int slot, Matrix& mat, int level)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
    if (mf == nullptr || mf->nodes == nullptr || g_pgcTest == nullptr)
        return 0;
    const int nNodes = mf->nNodes;
    // A sibling chain longer than the node block would be a loop.
    int walked = 0;
    for (int top = 0; top != 0xFFFF && top < nNodes && walked <= nNodes; top = mf->nodes[top].sibling, walked++) {
        const NODE& group = mf->nodes[top];
        if (!(group.extra & (1u << level)))
            continue;
        int kids = 0;
        for (int c = group.child; c != 0xFFFF && c < nNodes && kids <= nNodes; c = mf->nodes[c].sibling, kids++) {
            if (mf->nodes[c].extra >= 4096)
                continue;
            Object* o = g_pgcTest->LoadEntity(mf, c, mat, true);
            if (o != nullptr && pobjectlist != nullptr)
                pobjectlist->AddTail(o);
        }
    }
    return 0;
}

int RandomMissionController::SetupInfoTables(Matrix& mat, int slot, int level)
{
    if (slot >= 0)
        LoadPS2Setup(slot, mat, level);
    if (pobjectlist == nullptr)
        return 0;
    for (ObjectLink* l = pobjectlist->Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        if (o == nullptr || o->IsDead())
            continue;
        const int kind = Send(o, msg::SMSG_Q_29001);
        if (kind == 13) {
            // regi holds 16 generators; a set-up file's further ones are
            // left to themselves.
            if (i16numegi >= 16)
                continue;
            auto* g = static_cast<EnemyGenRunner*>(o);
            regi[i16numegi++] = EnemyGenInfo{g, 0, false, false};
            g->gameeventobj = this;
            Send(g, SMSG_MODE_START, this);
            Enemy* e = g->enemy;
            if (e == nullptr)
                continue;
            if (IsSuspectId(e->id)) {
                AddToSubMissionTargets(e);
                AttachTargetArrow(e);
            } else if (IsAlliedCopId(e->id)) {
                g->iscop = true;
                Send(e, msg::SMSG_ALLY_WITH, dace);
            }
        } else if (kind == 25) {
            Vehicle* v = static_cast<Vehicle*>(o);
            if (v->HasDriver() && v->rcoDriver->type != OBJT_CHARACTER) {
                if (CarDriver* d = AsCarDriver(v->rcoDriver)) {
                    d->iCDFlags |= 0x4000;
                    d->iCDFlags &= ~0x8000;
                }
            }
        }
    }
    return 0;
}

Enemy* RandomMissionController::AddEnemy(Matrix& mat)
{
    if (i16numegi >= 16)
        return nullptr;
    EnemyGenInfo& info = regi[i16numegi++];
    info = EnemyGenInfo{nullptr, 0, false, true};
    const int slot = iNumAssets > 1 ? ralp[1].i16Index : -1;
    const EnemyGenRunner_params& p = DefaultEnemyParams;
    Enemy* e = slot >= 0 ? MakeEnemy("RunnerEnemy", slot, this, p.id, p.badass) : nullptr;
    if (e == nullptr)
        return nullptr;
    // Counted only once made, not as soon as the runner kind is asked for
    // one: the crime's end compares the suspects who got away with this
    // count (all away: no police, no wrap-up) and words its summary by it,
    // and a suspect that never was can neither get away nor be caught.
    iNumMissionEnemies++;
    SetUpRunner(e, p);
    e->mat = Matrix(true);
    e->gameeventobj = this;

    auto* g = reinterpret_cast<EnemyGenRunner*>(intptr_t(EnemyGenRunner::staticmh(nullptr, OM_CREATE, nullptr)));
    if (g != nullptr) {
        g->pegrp = static_cast<EnemyGenRunner_params*>(malloc_align(sizeof(EnemyGenRunner_params), 16));
        if (g->pegrp != nullptr) {
            *g->pegrp = p;
            g->pegrp->character = 0;
        }
        g->iRunnerId = p.id;
        g->mat = mat;
        g->gameeventobj = this;
        world.AddObject(g, nullptr);
        g->started = true;
        Send(g, SMSG_MODE_START, this);
        info.pegr = g;
        g->enemy = e;
    }
    e->mat = mat;
    if (IsAlliedCopId(e->id)) {
        if (g != nullptr)
            g->iscop = true;
        Send(e, msg::SMSG_ALLY_WITH, dace);
    }
    return e;
}

void RandomMissionController::MakeAddedEnemiesTargettable()
{
    for (int k = 0; k < i16numegi; k++) {
        const EnemyGenInfo& g = regi[k];
        if (!g.added || g.pegr == nullptr || g.pegr->enemy == nullptr || !IsSuspectId(g.pegr->enemy->id))
            continue;
        AddToSubMissionTargets(g.pegr->enemy);
        AttachTargetArrow(g.pegr->enemy);
    }
}

Object* RandomMissionController::AttachTargetArrow(Object* obj)
{
    return ::AttachTargetArrow(obj, VectorPos(0.0f, -0.625f, 0.0f), 20);
}

VectorPos RandomMissionController::GetRandCharacterSidewalkPosition(RoadSeg& rs, float t, VectorPos* across)
{
    return RoadSidePoint(rs, t, true, across);
}

VectorPos RandomMissionController::GetRandInRoadPosition(RoadSeg& rs, float t, VectorPos* across)
{
    VectorPos other;
    const VectorPos p = RoadSidePoint(rs, t, false, &other);
    if (across != nullptr)
        *across = VectorPos(VectorDir(other - p));
    return p;
}

Matrix RandomMissionController::CreateGeneratedRSInStreetPosition()
{
    const VectorPos q = AroundPlayer();
    float t = -1.0f;
    RoadSeg* s = FindNearestRoadSeg(q, &t, false);
    // Without a road near there the crime stands where it was looked for.
    return SpotMatrix(s != nullptr ? GetRandInRoadPosition(*s, t, nullptr) : q);
}

Matrix RandomMissionController::CreateGeneratedRSRandomPosition(VectorPos* across)
{
    const VectorPos q = AroundPlayer();
    float t = -1.0f;
    RoadSeg* s = FindNearestRoadSeg(q, &t, false);
    if (s == nullptr) {
        if (across != nullptr)
            *across = q;
        return SpotMatrix(q);
    }
    return SpotMatrix(GetRandCharacterSidewalkPosition(*s, t, across));
}

Matrix RandomMissionController::CreateGeneratedRSBehindPosition(float d)
{
    Object* player = PlayerObject();
    const Matrix pm = player != nullptr ? player->GetWorldMatrix() : Matrix(true);
    const VectorPos q = VectorPos(pm.w.v) - VectorDir(pm.z.v) * d;
    float t = -1.0f;
    RoadSeg* s = FindNearestRoadSeg(q, &t, false);
    return SpotMatrix(s != nullptr ? GetRandCharacterSidewalkPosition(*s, t, nullptr) : q);
}

Vehicle* RandomMissionController::GetVehicle(int id)
{
    if (pobjectlist == nullptr)
        return nullptr;
    for (ObjectLink* l = pobjectlist->Head(); !l->IsEOList(); l = l->Next()) {
        Object* o = l->data;
        if (o != nullptr && !o->IsDead() && o->type == OBJT_VEHICLE && o->id == id)
            return static_cast<Vehicle*>(o);
    }
    return nullptr;
}

int RandomMissionController::AlignVehicleToStreet(int id)
{
    return AlignVehicleToStreet2(GetVehicle(id));
}

int RandomMissionController::AlignVehicleToStreet2(Vehicle* veh)
{
    if (veh == nullptr)
        return 0;
    const VectorPos pos = veh->GetWorldPos();
    RoadSeg* s = FindNearestRoadSeg(pos, nullptr, false);
    if (s == nullptr)
        return 0;
    VectorDir chord;
    const VectorXYZ params = s->bezier.CalcParams(pos, chord);
    const float t = Clamp(params[2], 0.1f, 0.9f);
    const RoadTypeFile& rt = *s->type;
    const bool along = params[0] > 0.0f;
    const float lateral = along ? rt.vXSect[rt.iJunc][0] - kKerbInset : -rt.vXSect[rt.iJuncLeft][0] - kKerbInset;
    VectorDir n, tangent;
    const Vector point = s->bezier.EvaluateWithNormalAndTangent(t, n, tangent);
    if (!along) {
        n = -n;
        tangent = -tangent;
    }
    VectorPos at = VectorPos(point.v) + n * lateral;
    VectorDir ground;
    const float h = world.GroundHeight(at, &ground, nullptr);
    const VectorDir z = Normalise(tangent);
    const VectorDir x = Normalise(VectorDir(VectorDir(-ground) ^ z));
    const VectorDir y = z ^ x;
    veh->mat.x = Vector(x, 0.0f);
    veh->mat.y = Vector(y, 0.0f);
    veh->mat.z = Vector(z, 0.0f);
    // The body rests on its wheels on the ground, however steep the ground
    // is said to be.
    const float r = veh->CalcBodyRestOffset();
    at[1] = h - (r + (veh->wheel[0] != nullptr ? veh->wheel[0]->radius : 0.0f));
    for (int k = 0; k < 4; k++) {
        if (veh->wheel[k] != nullptr)
            veh->wheel[k]->mat.w[1] = r;
    }
    veh->mat.SetTrans(at);
    veh->maxoccupancy = 2;
    return 0;
}

int RandomMissionController::CheckTargetVehicleStatus()
{
    Vehicle* v = GetVehicle(-200);
    Vehicle* copcar = AsVehicle(lastcopcar);
    RoadSeg* s = v != nullptr ? RoadForCarNear(v->GetWorldPos()) : nullptr;
    if (s != nullptr) {
        if (mode == RCM_ACTIVE_TAIL || mode == RCM_ACTIVE || mode == RCM_ENGAGED)
            return 0;
        SetCarOnRoad(*v, *s, v->GetWorldPos());
        Wake(OrderableDriver(v));
        Wake(OrderableDriver(copcar));
        mode = RCM_ACTIVE;
        return 0;
    }
    if (mode == RCM_ACTIVE_TAIL || mode == RCM_ACTIVE) {
        mode = RCM_HIBERNATE;
        Sleep(OrderableDriver(v));
        Sleep(OrderableDriver(copcar));
    }
    return 0;
}

int RandomMissionController::PutGuyInCar(Vehicle* pVeh, Object* pObject, int iCarPos)
{
    if (pVeh == nullptr || pObject == nullptr)
        return 0;
    if (pObject->parent != nullptr)
        pObject->Detach();
    Send(pObject, msg::SMSG_PUT_IN_VEHICLE, pVeh, iCarPos);
    return 0;
}

int RandomMissionController::MoveRange(VectorDir d, int lo, int hi)
{
    for (int k = 0; k < i16numegi; k++) {
        Enemy* e = regi[k].pegr != nullptr ? regi[k].pegr->enemy : nullptr;
        if (e != nullptr && e->id >= lo && e->id <= hi)
            e->mat.SetTrans(VectorPos(e->mat.GetTrans() + d));
    }
    return 0;
}
