// The ambient traffic: the controller that keeps a generator on every road
// segment with lanes near the camera, and the generators that put cars with
// their drivers into free places of their lanes within the cap (7 in the
// tail mode, else 10), with the pending-spawn hand-off of the walkers.
#include "game/GameFEnt.h"
#include "game/GameFEntAmbient.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

float VehGenController::f16VehGenDist = 62.5f;
float VehGen::f16VehZone1Dist = 32.8125f;
float VehGen::f16VehZone2Dist = 56.25f;

namespace {

constexpr int kMaxGens = 64;
VehGen* allgens[kMaxGens];

bool Register(VehGen* g)
{
    for (VehGen*& s : allgens)
        if (s == nullptr) {
            s = g;
            return true;
        }
    return false;
}

void Unregister(VehGen* g)
{
    for (VehGen*& s : allgens)
        if (s == g)
            s = nullptr;
}

void After(Object* o, int frames, void* extra = nullptr) { AmbientAfter(o, frames, extra); }

VectorPos CameraPos() { return rc.view_world.GetTrans(); }

VectorPos Pt(const Bezier& b, float t)
{
    const Vector v = b.Evaluate(t);
    return VectorPos(v[0], v[1], v[2]);
}

// A random integer in [0, n) from one draw.
int RandBelow(int n) { return int((s64(rand()) * n) >> 31); }


}  // namespace

void AmbientClearPending(VehGen* g)
{
    if (g_pgcTest != nullptr && g_pgcTest->pvs.pvg == g)
        g_pgcTest->pvs = {nullptr, 0};
}

int AmbientWeightedSlot(int first, int last, int none)
{
    int sum = 0;
    auto weight = [](int s) {
        const MdlFileInfo& m = g_GlobalMFI.GetMFI(s);
        const bool holds = m.smf.HasData() || m.i16Mirror >= 0;
        return holds && !(m.i16Flags & MFI_DELETEABLE) ? int(m.i16Extra) : -1;
    };
    auto skipped = [](int s) { return (g_GlobalMFI.GetMFI(s).i16Flags & (MFI_DELETEONZERO | MFI_RECYCLE)) != 0; };
    for (int s = first; s <= last; s++)
        if (!skipped(s))
            sum += weight(s);
    int r = int((s64(rand()) * sum) >> 31);
    for (int s = first; s <= last; s++) {
        if (skipped(s))
            continue;
        r -= weight(s);
        if (r < 0)
            return s;
    }
    return none;
}

int AmbientCarLimit() { return g_pgcTest != nullptr && g_pgcTest->mode == 1 ? 7 : 10; }

float GetLaneOffsetDist(const RoadSeg& rs, int iLaneVal, bool bAgainst)
{
    const RoadType* t = rs.type;
    if (t == nullptr || t->lanes == nullptr || t->num_lanes == 0)
        return 0.0f;
    const int nl = t->num_lanes, nr = t->num_rightlanes;
    const int n = bAgainst ? std::max(nl - nr, 1) : std::max(nr, 1);
    const int k = iLaneVal == 100 ? n - 1 : iLaneVal % n;
    const int i = bAgainst ? (nl - nr) - (k + 1) : (nl - nr) + k;
    return i >= 0 && i < nl ? t->lanes[i] : 0.0f;
}

// ---------------------------------------------------------------------------
// The controller

VehGenController* CreateRSVehGens(int _iStartMFIndex, int _iMaxToSpawn, int _iMaxMDLFileIndex, int _iId)
{
    VehGenController* c = new VehGenController;
    if (c == nullptr)
        return nullptr;
    c->messagehandler = VehGenController::staticmh;
    c->mat = Matrix(true);
    c->iStartMFIndex = _iStartMFIndex;
    c->iMaxToSpawn = _iMaxToSpawn;
    c->iMaxMDLFileIndex = _iMaxMDLFileIndex;
    c->iId = _iId;
    c->i16NumVehGens = 0;
    c->bNotFirst = false;
    world.AddObject(c, nullptr);
    After(c, 5);
    return c;
}

int VehGenController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return o != nullptr ? static_cast<VehGenController*>(o)->mh(msg, data) : 0;
}

int VehGenController::GetCloseRSList(RoadSeg** pprs, int iMaxRS)
{
    if (world.quadtree == nullptr)
        return 0;
    const VectorPos centre = CameraPos() + VectorDir(rc.view_world.z[0], rc.view_world.z[1], rc.view_world.z[2]) * 9.375f;
    int n = 0;
    for (Visible2D v(Cuboid(centre, f16VehGenDist), QN_ROADSEGS); *v && n < iMaxRS; ++v) {
        QuadNode* q = *v;
        for (int i = 0; i < q->nRoadSegs && n < iMaxRS; i++) {
            RoadSeg& rs = q->roadsegs[i];
            if (rs.type == nullptr || !(rs.type->flags & 2) || fRSClosestDist(&rs) >= f16VehGenDist)
                continue;
            const VectorDir chord = VectorPos(rs.bezier.c3[0], rs.bezier.c3[1], rs.bezier.c3[2]) -
                                    VectorPos(rs.bezier.c0[0], rs.bezier.c0[1], rs.bezier.c0[2]);
            if (!(chord.LengthSq() > 9.765625f))
                continue;
            bool dup = false;
            for (int k = 0; k < n; k++)
                dup |= pprs[k] == &rs;
            if (!dup)
                pprs[n++] = &rs;
        }
    }
    return n;
}

int VehGenController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        bNotFirst = true;
        After(this, 1800, reinterpret_cast<void*>(1));
        return 0;
    case OM_TIMER: {
        if (data != nullptr) {
            // Every 30 seconds an ambient car slot is freed for recycling.
            if (g_pgcTest != nullptr) {
                const int slot = g_pgcTest->FreeUpAmbientVehicleSlot();
                if (slot >= 0)
                    g_GlobalMFI.GetMFI(slot).i16Flags &= ~MFI_RECYCLE;
            }
            After(this, 1800, reinterpret_cast<void*>(1));
            return 0;
        }
        const float py = dace != nullptr ? dace->GetWorldPos()[1] : 0.0f;
        VehGen* old[iMaxVehGenList];
        const int nold = i16NumVehGens;
        std::copy(rgpVehGen, rgpVehGen + nold, old);
        RoadSeg* segs[iMaxVehGenList];
        const int nsegs = std::min(GetCloseRSList(segs, iMaxVehGenList), iMaxVehGenList);
        i16NumVehGens = 0;
        for (int s = 0; s < nsegs; s++) {
            const float y0 = segs[s]->bezier.c0[1], y3 = segs[s]->bezier.c3[1];
            if (py < std::min(y0, y3) - 0.9375f || py > std::max(y0, y3) + 0.9375f)
                continue;
            VehGen* kept = nullptr;
            for (int k = 0; k < nold; k++)
                if (old[k] != nullptr && old[k]->prs == segs[s]) {
                    kept = old[k];
                    old[k] = nullptr;
                    break;
                }
            if (kept == nullptr)
                kept = CreateVehGen(*segs[s], iStartMFIndex, iMaxToSpawn, iMaxMDLFileIndex, iId, !bNotFirst);
            if (kept != nullptr)
                rgpVehGen[i16NumVehGens++] = kept;
        }
        for (int k = 0; k < nold; k++)
            if (old[k] != nullptr) {
                SpecialMessage m(SMSG_GEN_RETIRE, nullptr);
                old[k]->SendMessage(OM_SPECIAL, &m);
            }
        if (g_pgcTest != nullptr)
            g_pgcTest->LoadFillAmbientCars(1, -1);
        After(this, 15);
        return 0;
    }
    case OM_DIE:
        for (VehGen*& g : allgens)
            if (g != nullptr) {
                VehGen* d = g;
                g = nullptr;
                d->Delete();
            }
        if (g_pgcTest != nullptr && g_pgcTest->pVehGenCont == this)
            g_pgcTest->pVehGenCont = nullptr;
        world.StopTimer(this);
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Generators

VehGen* CreateVehGen(RoadSeg& rs, int iMFIndex, int iMaxToSpawn, int iMaxMDLFileIndex, int iId, bool bFirst)
{
    VehGen* g = pvgCreateVehGen(rs, iMFIndex, iMaxToSpawn, iMaxMDLFileIndex, iId);
    if (g == nullptr)
        return nullptr;
    After(g, 3);
    if (bFirst)
        g->i16Delay = 5;
    return g;
}

VehGen* pvgCreateVehGen(RoadSeg& rs, int, int, int, int iId)
{
    const VectorPos e0 = Pt(rs.bezier, rs.bezier.c0[3]);
    const VectorPos e1 = Pt(rs.bezier, 1.0f - rs.bezier.c3[3]);
    const float len = (e1 - e0).Length();
    if (len <= 3.125f || rs.type == nullptr || rs.type->num_rightlanes == 0)
        return nullptr;
    VehGen* g = new VehGen;
    if (g == nullptr)
        return nullptr;
    if (!Register(g)) {
        delete g;
        return nullptr;
    }
    g->messagehandler = VehGen::staticmh;
    g->i16MaxToSpawn = s16(std::clamp(int(len * float(rs.type->num_rightlanes) / 9.375f), 4, 12));
    g->i16NumSpawned = 0;
    g->prs = &rs;
    g->iMdlIndex = 0;
    VectorPos mid = Pt(rs.bezier, 0.5f);
    mid[1] = g->GroundHeight(mid, nullptr);
    g->mat = TransMatrix(mid);
    g->cub = Cuboid(mid, 0.46875f);
    g->id = s16(iId);
    g->vRoadEnds[0] = e0;
    g->vRoadEnds[0][3] = len * len;
    g->vRoadEnds[1] = e1;
    g->vRoadEnds[1][3] = 0.0f;
    return g;
}

int VehGen::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return o != nullptr ? static_cast<VehGen*>(o)->mh(msg, data) : 0;
}

int VehGen::iGenScore(float* pfDist, bool bSkipVis) { return AmbientGenScore(cub, vRoadEnds, pfDist, bSkipVis, false); }

int VehGen::CreateRandomVehIndex() { return AmbientWeightedSlot(1, 7, 8); }

int VehGen::CreateRandomAmbDriverIndex(int* pITint)
{
    const int slot = AmbientWeightedSlot(80, 84, 85);
    if (pITint != nullptr)
        *pITint = RandBelow(4);
    return slot;
}

float VehGen::FindClosestVehs(VectorPos& vPos, RoadSeg* seg, float _fT, bool bDirection, float* pfTBefore,
                              float* pfTAfter)
{
    float tb = seg->bezier.c0[3], ta = 1.0f - seg->bezier.c3[3];
    Object* before = nullptr;
    Object* after = nullptr;
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o->type != OBJT_VEHICLE)
            continue;
        Object* d = static_cast<Vehicle*>(o)->rcoDriver.p;
        if (d == nullptr || d->id < 81 || d->messagehandler != &CarDriver::CarDriver_mh)
            continue;
        const CarDriver* cd = static_cast<CarDriver*>(d);
        if (cd->rs != seg || cd->rsdir != bDirection)
            continue;
        if (cd->fT <= _fT && cd->fT > tb) {
            tb = cd->fT;
            before = o;
        } else if (cd->fT > _fT && cd->fT < ta) {
            ta = cd->fT;
            after = o;
        }
    }
    float result = 312.5f;
    auto flat = [&vPos](Object* o) {
        const VectorPos p = o->GetWorldPos();
        return std::sqrt((p[0] - vPos[0]) * (p[0] - vPos[0]) + (p[2] - vPos[2]) * (p[2] - vPos[2]));
    };
    if (before != nullptr) {
        const float d = flat(before);
        if (d < std::fabs(result))
            result = -d;
    }
    if (after != nullptr) {
        const float d = flat(after);
        if (d < std::fabs(result))
            result = d;
    }
    if (pfTBefore != nullptr)
        *pfTBefore = tb;
    if (pfTAfter != nullptr)
        *pfTAfter = ta;
    return result;
}

bool VehGen::TryRoadSegFT(RoadSeg& rseg, float* pft, VectorPos* pvp, VectorDir* pvd, bool bAgainstRoadDir)
{
    auto eval = [&]() {
        VectorDir n;
        const Vector p = rseg.bezier.EvaluateWithNormal(*pft, n);
        *pvp = VectorPos(p[0], p[1], p[2]);
        *pvd = n;
    };
    eval();
    float tb, ta;
    const float f = FindClosestVehs(*pvp, &rseg, *pft, !bAgainstRoadDir, &tb, &ta);
    if (std::fabs(f) >= 1.5625f)
        return true;
    const float tc = f < 0.0f ? tb : ta;
    if (tc == *pft)
        return false;
    const float perT = f / (tc - *pft);
    const float gap = (ta - tb) * perT;
    if (gap > 3.125f) {
        *pft = (tb + ta) / 2.0f;
        eval();
        return true;
    }
    return false;
}

bool VehGen::CheckVehSpawnOverlap(Vehicle& veh)
{
    const VectorPos p = veh.GetWorldPos();
    for (ObjectIterator it = world.vehlist.Begin(); !it.IsEOList(); ++it) {
        Object* o = *it;
        if (o == nullptr || o->IsDead() || o == &veh || o->type != OBJT_VEHICLE)
            continue;
        const Object* d = static_cast<Vehicle*>(o)->rcoDriver.p;
        const float extra = d != nullptr && d->id < -1 ? 4.6875f : 0.0f;
        if (SphereCheck(p, veh.radius + 0.9375f, o->GetWorldPos(), o->radius + extra))
            return true;
    }
    return false;
}

CarDriver* VehGen::CreateVehAmb(bool bSkipVis)
{
    const Bezier& bz = prs->bezier;
    const RoadType* kind = prs->type;
    if (kind == nullptr)
        return nullptr;
    // 1, 2.
    const float w0 = bz.c0[3], w3 = bz.c3[3];
    float t = w0 + randf() * ((1.0f - w3) - w0);
    const int r = rand();
    const bool against = (r & 2) && kind->num_lanes - kind->num_rightlanes > 0;
    // 3, 4.
    VectorPos pos;
    VectorDir normal;
    if (!TryRoadSegFT(*prs, &t, &pos, &normal, against))
        return nullptr;
    const float lane = GetLaneOffsetDist(*prs, r & 0xFF, against);
    pos = pos + normal * lane;
    // 5.
    auto viewDist = [](VectorPos p) {
        const VectorPos v = rc.world_view * p;
        return std::sqrt(v[0] * v[0] + v[2] * v[2]);
    };
    if (!bSkipVis && !(viewDist(pos) > f16VehZone1Dist) && !bIsOccluded(Cuboid(pos, 0.3125f), true)) {
        const float z0 = (rc.world_view * Pt(bz, 0.0f))[2], z3 = (rc.world_view * Pt(bz, 1.0f))[2];
        t = z3 > z0 ? 0.5f + randf() * ((1.0f - w3) - 0.5f) : w0 + randf() * (0.5f - w0);
        if (!TryRoadSegFT(*prs, &t, &pos, &normal, against))
            return nullptr;
        pos = pos + normal * lane;
        if (!(viewDist(pos) > f16VehZone1Dist))
            return nullptr;
    }
    // 6.
    const auto drivermh = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("CarDriver")));
    const int carslot = CreateRandomVehIndex();
    int tint = 0;
    const int driverslot = CreateRandomAmbDriverIndex(&tint);
    // A pick that found no slot makes nothing.
    if (carslot < 1 || carslot > 7 || driverslot < 80 || driverslot > 84)
        return nullptr;
    MDLFILE* carmf = g_GlobalMFI.GetMF(carslot, false);
    MDLFILE* drivermf = g_GlobalMFI.GetMF(driverslot, false);
    if (carmf == nullptr || drivermf == nullptr || drivermh == nullptr)
        return nullptr;
    if ((rc.world_view * pos)[2] < 0.0f)
        return nullptr;
    // 7.
    g_GlobalMFI.IncrementRef(carslot);
    Vehicle* car = CreateVehicle(carmf, -1, -1, pos, g_GlobalMFI.GetMFI(carslot).i16Id);
    if (car == nullptr) {
        g_GlobalMFI.DecrementRef(carslot);
        return nullptr;
    }
    // 8.
    VectorPos at = pos;
    at[1] = GroundHeight(pos, nullptr) - (car->CalcBodyRestOffset() + car->wheel[0]->radius);
    VectorDir z = bz.EvaluateTangent(t);
    z[1] = 0.0f;
    z = z / std::max(z.Length(), 1e-6f);
    if (against)
        z = -z;
    VectorDir x = VectorDir(0.0f, 1.0f, 0.0f) ^ z;
    x = x / std::max(x.Length(), 1e-6f);
    const VectorDir y = z ^ x;
    car->mat = Matrix(Vector(x, 0.0f), Vector(y, 0.0f), Vector(z, 0.0f), Vector(at, 1.0f));
    car->CalcRadius();
    // 9.
    if (CheckVehSpawnOverlap(*car)) {
        car->Delete();
        return nullptr;
    }
    // 10.
    car->id = id;
    car->flags |= OBJF_FRAMECALL;
    world.AddObject(car, nullptr);
    // 11.  A car whose driver cannot be made would stay counted with nobody
    // to take it away: it goes.
    CarDriver* d = reinterpret_cast<CarDriver*>(intptr_t(drivermh(nullptr, OM_CREATE, nullptr)));
    if (d == nullptr) {
        car->Delete();
        return nullptr;
    }
    d->id = id;
    d->mat = Matrix(true);
    d->iCDFlags |= 0x18000;
    d->rsdir = !against;
    d->i16CheckTime = s16(r & 0xF);
    d->i16DefLane = s16(r & 0xFF);
    d->pvg = this;
    car->rcoDriver = d;
    car->Attach(d);
    SpecialMessage cruise(SMSG_CD_SET_DRIVE, nullptr, 5);
    d->SendMessage(OM_SPECIAL, &cruise);
    // 12.
    int first = 0;
    const int n = car->iGetNumTintSets(&first);
    const int cartint = first + int((s64(rand()) * n) >> 31);
    SetTintSet(car, cartint, true);
    // 13.  The figure holds the reference it was made with, which the car
    // gives back when it goes; a model without a seated figure keeps none.
    if (Object* figure = car->AttachDriver(g_GlobalMFI.GetMF(driverslot, true))) {
        figure->mode = s8(tint);
        SetTintSet(figure, tint, true);
        figure->CalcRadius();
    } else {
        g_GlobalMFI.DecrementRef(driverslot);
    }
    // 14.
    if (g_pgcTest != nullptr)
        g_pgcTest->iNumVehs++;
    i16NumSpawned++;
    After(d, (r / 256) & 3);
    return d;
}

int VehGen::mh(OBJMESSAGE msg, void* data)
{
    GameController* gc = g_pgcTest;
    const int limit = AmbientCarLimit();
    switch (msg) {
    case OM_TIMER: {
        int reply;
        if (AmbientTickStart(this, [gc, limit]() { return gc != nullptr && gc->iNumVehs < limit; }, f16VehZone1Dist,
                             &reply))
            return reply;
        float d = 0.0f;
        const int score = iGenScore(&d, false);
        const int zone = d < f16VehZone1Dist ? 0 : (d < f16VehZone2Dist && (score & 0x2000)) ? 1 : 2;
        if (zone != 2 && gc != nullptr) {
            if (gc->iNumVehs < limit) {
                SpecialMessage m(SMSG_GEN_SPAWN, nullptr);
                mh(OM_SPECIAL, &m);
            } else if (gc->pvs.pvg == nullptr || score < gc->pvs.iScore) {
                gc->pvs = {this, score};
            }
        }
        After(this, 6 + RandBelow(3));
        return 0;
    }
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        AmbientSpecial(this, *m, [this](bool skipVis) { CreateVehAmb(skipVis); });
        return 0;
    }
    case OM_DIE: {
        AmbientClearPending(this);
        Unregister(this);
        // Drivers keep no pointer to a generator that is gone.
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o == nullptr || o->IsDead() || o->type != OBJT_VEHICLE)
                continue;
            for (Object* c = o->child; c != nullptr; c = c->sibling)
                if (!c->IsDead() && c->messagehandler == &CarDriver::CarDriver_mh &&
                    static_cast<CarDriver*>(c)->pvg == this) {
                    // The car leaves the count with its generator.
                    CarDriver* d = static_cast<CarDriver*>(c);
                    d->pvg = nullptr;
                    if ((d->iCDFlags & CDF_COUNTED) && g_pgcTest != nullptr)
                        g_pgcTest->iNumVehs--;
                    d->iCDFlags &= ~CDF_COUNTED;
                }
        }
        world.StopTimer(this);
        delete this;
        return -1;
    }
    default:
        return 0;
    }
}
