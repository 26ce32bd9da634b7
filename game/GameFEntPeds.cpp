// The ambient walkers: the controller that keeps a generator on every road
// segment with pavements near the camera, the generators that put walkers on
// their pavements within the cap of 10 with the pending-spawn hand-off, and
// the standing figure made when no pedestrian can be.
#include "game/GameFEnt.h"
#include "game/GameFEntAmbient.h"

#include <algorithm>
#include <cmath>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Bystander.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/cardrivr.h"

float PedGenController::f16PedGenDist = 53.125f;
float PedGen::f16PedZone1Dist = 23.4375f;
float PedGen::f16PedZone2Dist = 39.0625f;
float PedGen::f16PedMaximumDist = 62.5f;

namespace {

constexpr int kMaxPeds = 10;

// Every live walker generator, retired ones included, so that the
// controller's death takes them all (they are on no list of the world).
constexpr int kMaxGens = 64;
PedGen* allgens[kMaxGens];

bool Register(PedGen* g)
{
    for (PedGen*& s : allgens)
        if (s == nullptr) {
            s = g;
            return true;
        }
    return false;
}

void Unregister(PedGen* g)
{
    for (PedGen*& s : allgens)
        if (s == g)
            s = nullptr;
}

void After(Object* o, int frames) { AmbientAfter(o, frames); }

VectorPos CameraPos() { return rc.view_world.GetTrans(); }

VectorPos Pt(const Bezier& b, float t)
{
    const Vector v = b.Evaluate(t);
    return VectorPos(v[0], v[1], v[2]);
}

// The segment's road kind when it has one.
const RoadType* Kind(const RoadSeg* rs) { return rs != nullptr ? rs->type : nullptr; }

}  // namespace

void AmbientClearPending(PedGen* g)
{
    if (g_pgcTest != nullptr && g_pgcTest->pps.ppg == g)
        g_pgcTest->pps = {nullptr, 0};
}

// ---------------------------------------------------------------------------
// Distances and scores

float fRSClosestDist(RoadSeg* prs)
{
    const VectorPos cam = CameraPos();
    const VectorPos a(prs->bezier.c0[0], 0.0f, prs->bezier.c0[2]);
    const VectorPos b(prs->bezier.c3[0], 0.0f, prs->bezier.c3[2]);
    const VectorPos c(cam[0], 0.0f, cam[2]);
    const VectorDir ab = b - a;
    const float l2 = ab.LengthSq();
    const float t = l2 > 0.0f ? std::clamp(Dot(c - a, ab) / l2, 0.0f, 1.0f) : 0.0f;
    return (c - (a + ab * t)).Length();
}

int AmbientGenScore(const Cuboid& cub, const VectorPos* ends, float* pfDist, bool bSkipVis, bool carCorrection)
{
    int occluded = 0;
    if (!bSkipVis && bIsOccluded(cub, false))
        occluded = 0x1000;
    const VectorPos cam = CameraPos();
    const VectorDir seg = ends[1] - ends[0];
    const float l2 = ends[0][3];
    float t = l2 > 0.0f ? Dot(seg, VectorDir(cam - ends[0])) / l2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const VectorPos p = ends[0] + seg * t;
    VectorPos v = rc.world_view * p;
    if (carCorrection && dace != nullptr && dace->parent != nullptr && dace->parent->type == OBJT_VEHICLE) {
        const Vehicle* car = static_cast<const Vehicle*>(dace->parent);
        v[2] -= VectorDir(car->vel[0], car->vel[1], car->vel[2]).Length() * 60.0f;
    }
    float d = v.Length();
    if (v[2] < 0.0f)
        d += 6.25f;
    if (pfDist != nullptr)
        *pfDist = d;
    int score = std::min(int(d), 4095) | occluded;
    if (std::fabs(v[0]) < v[2])
        score += 0x2000;
    return score;
}


int PedGen::iGenScore(float* pfDist, bool bSkipVis) { return AmbientGenScore(cub, vRoadEnds, pfDist, bSkipVis, true); }

// ---------------------------------------------------------------------------
// The controller

PedGenController* CreateRSPedGens(int _iStartMFIndex, int _iMaxToSpawn, int _iMaxMDLFileIndex, int _iId)
{
    PedGenController* c = new PedGenController;
    if (c == nullptr)
        return nullptr;
    c->messagehandler = PedGenController::staticmh;
    c->mat = Matrix(true);
    c->iStartMFIndex = _iStartMFIndex;
    c->iMaxToSpawn = _iMaxToSpawn;
    c->iMaxMDLFileIndex = _iMaxMDLFileIndex;
    c->iId = _iId;
    c->i16NumPedgens = 0;
    c->bNotFirst = false;
    world.AddObject(c, nullptr);
    After(c, 1);
    return c;
}

int PedGenController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return o != nullptr ? static_cast<PedGenController*>(o)->mh(msg, data) : 0;
}

int PedGenController::GetCloseRSList(RoadSeg** pprs, int iMaxRS)
{
    if (world.quadtree == nullptr)
        return 0;
    const VectorPos cam = CameraPos();
    int n = 0;
    for (Visible2D v(Cuboid(cam, f16PedGenDist), QN_ROADSEGS); *v && n < iMaxRS; ++v) {
        QuadNode* q = *v;
        for (int i = 0; i < q->nRoadSegs && n < iMaxRS; i++) {
            RoadSeg& rs = q->roadsegs[i];
            const RoadType* t = Kind(&rs);
            if (t == nullptr || !(t->flags & 1) || fRSClosestDist(&rs) >= f16PedGenDist)
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

int PedGenController::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_TIMER: {
        PedGen* old[iMaxPedgenList];
        int nold = i16NumPedgens;
        std::copy(rgpPedGen, rgpPedGen + nold, old);
        RoadSeg* segs[iMaxPedgenList];
        const int nsegs = std::min(GetCloseRSList(segs, iMaxPedgenList), iMaxPedgenList);
        i16NumPedgens = 0;
        for (int s = 0; s < nsegs; s++) {
            PedGen* kept = nullptr;
            for (int k = 0; k < nold; k++)
                if (old[k] != nullptr && old[k]->prs == segs[s]) {
                    kept = old[k];
                    old[k] = nullptr;
                    break;
                }
            if (kept == nullptr)
                kept = CreatePedGen(*segs[s], iStartMFIndex, iMaxToSpawn, iMaxMDLFileIndex, iId, !bNotFirst);
            if (kept != nullptr)
                rgpPedGen[i16NumPedgens++] = kept;
        }
        for (int k = 0; k < nold; k++)
            if (old[k] != nullptr) {
                SpecialMessage m(SMSG_GEN_RETIRE, nullptr);
                old[k]->SendMessage(OM_SPECIAL, &m);
            }
        if (g_pgcTest != nullptr) {
            g_pgcTest->LoadFillAmbientPeds(80, -1);
            // The crowd's size, every 600 frames.
            static int lastReport = -1;
            if (world.time / 600 != lastReport) {
                lastReport = world.time / 600;
                printf("crowd: %d walkers (iNumPeds), %d cars (iNumVehs) at frame %d\n", g_pgcTest->iNumPeds,
                       g_pgcTest->iNumVehs, world.time);
            }
        }
        bNotFirst = true;
        After(this, 15);
        return 0;
    }
    case OM_DIE:
        // Every generator goes with the controller, the retired ones too.
        for (PedGen*& g : allgens)
            if (g != nullptr) {
                PedGen* d = g;
                g = nullptr;
                d->Delete();
            }
        if (g_pgcTest != nullptr && g_pgcTest->pPedGenCont == this)
            g_pgcTest->pPedGenCont = nullptr;
        world.StopTimer(this);
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Generators

PedGen* CreatePedGen(RoadSeg& rs, int iMFIndex, int iMaxToSpawn, int iMaxMDLFileIndex, int iId, bool bFirst)
{
    const RoadType* t = Kind(&rs);
    if (t == nullptr)
        return nullptr;
    const float left = t->vXSect[t->iJuncLeft][0] - t->vXSect[0][0];
    const float right = t->vXSect[t->iRightEdge][0] - t->vXSect[t->iJunc][0];
    if (std::min(left, right) < 0.625f)
        return nullptr;
    PedGen* g = ppgCreatePedGen(rs, iMFIndex, iMaxToSpawn, iMaxMDLFileIndex, iId);
    if (g == nullptr)
        return nullptr;
    After(g, 5);
    if (bFirst)
        g->i16Delay = 10;
    return g;
}

PedGen* ppgCreatePedGen(RoadSeg& rs, int iMFIndex, int iMaxToSpawn, int iMaxMDLFileIndex, int iId)
{
    PedGen* g = new PedGen;
    if (g == nullptr)
        return nullptr;
    if (!Register(g)) {
        delete g;
        return nullptr;
    }
    g->messagehandler = PedGen::staticmh;
    g->i16MaxToSpawn = s16(iMaxToSpawn);
    g->i16NumSpawned = 0;
    g->prs = &rs;
    g->iStartMFIndex = iMFIndex;
    g->iNumMFS = iMaxMDLFileIndex;
    g->iMdlIndex = 0;
    VectorPos mid = Pt(rs.bezier, 0.5f);
    mid[1] = g->GroundHeight(mid, nullptr);
    g->mat = TransMatrix(mid);
    g->cub = Cuboid(mid, 0.3125f);
    g->id = s16(iId);
    g->pedmh = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Bystander")));
    g->vRoadEnds[0] = Pt(rs.bezier, rs.bezier.c0[3]);
    g->vRoadEnds[1] = Pt(rs.bezier, 1.0f - rs.bezier.c3[3]);
    g->vRoadEnds[0][3] = (g->vRoadEnds[1] - g->vRoadEnds[0]).LengthSq();
    g->vRoadEnds[1][3] = 0.0f;
    return g;
}

int PedGen::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return o != nullptr ? static_cast<PedGen*>(o)->mh(msg, data) : 0;
}

int PedGen::CreateRandomPedIndex() { return AmbientWeightedSlot(80, 84, 85); }

Object* PedGen::CreatePedAmb(bool bSkipVis)
{
    const Bezier& bz = prs->bezier;
    const RoadType* kind = Kind(prs);
    if (kind == nullptr)
        return nullptr;
    // 1, 2.
    const float w0 = bz.c0[3], w3 = bz.c3[3];
    const float t = w0 + randf() * ((1.0f - w3) - w0);
    const int side = (rand() >> 2) & 1;
    const bool turned = (rand() & 1) != 0;
    const Matrix keep = mat;
    if (turned) {
        mat.x = -mat.x;
        mat.z = -mat.z;
    }
    Object* walker = nullptr;
    do {
        // 3.
        VectorDir normal;
        const Vector pv = bz.EvaluateWithNormal(t, normal);
        const float off = side ? (kind->vXSect[kind->iJunc][0] + kind->vXSect[kind->iRightEdge][0]) / 2.0f
                               : (kind->vXSect[0][0] + kind->vXSect[kind->iJuncLeft][0]) / 2.0f;
        VectorPos p = VectorPos(pv[0], pv[1], pv[2]) + normal * off;
        // 4.
        const VectorPos v = rc.world_view * p;
        if (4.0f * v[2] < -23.4375f)
            break;
        // 5.
        bool hidden = false;
        if (!bSkipVis && std::sqrt(v[0] * v[0] + v[2] * v[2]) <= 23.4375f) {
            hidden = bIsOccluded(Cuboid(p, 0.3125f), true);
            if (!hidden)
                break;
        }
        // 6.  A chosen slot beyond the ambient ones holds nothing: no walker.
        const int slot = CreateRandomPedIndex();
        if (slot < 80 || slot > 84)
            break;
        MDLFILE* mf = g_GlobalMFI.GetMF(slot, true);
        if (mf == nullptr)
            break;
        const int mid = g_GlobalMFI.GetMFI(slot).i16Id;
        const s16 charid = s16(mid < 0 ? mid : (mid & 0xFF));
        // 7.
        Bystander* b = nullptr;
        if (pedmh != nullptr)
            b = reinterpret_cast<Bystander*>(intptr_t(pedmh(nullptr, OM_CREATE, reinterpret_cast<void*>(intptr_t(iMdlIndex)))));
        if (b != nullptr) {
            if (mf->nodes != nullptr)
                mf->GetHierarchyTo(b, 0, 0x88);
            if (bSkipVis || hidden)
                b->fScale = 1.0f;
            walker = b;
        } else {
            PedAmb* a = new PedAmb;
            if (a == nullptr) {
                g_GlobalMFI.DecrementRef(mf);
                break;
            }
            a->messagehandler = PedAmb::staticmh;
            if (mf->nodes != nullptr)
                mf->GetHierarchyTo(a, 0, 0x88);
            a->SetAnimHierarchy(0, int(u32(Animation::Time()) >> 8));
            walker = a;
        }
        // 8.
        PedGenInitMsg init{SMSG_PED_SETUP, world.time, side, charid, prs, this};
        SpecialMessage m(SMSG_PED_SETUP, reinterpret_cast<Object*>(&init));
        walker->SendMessage(OM_SPECIAL, &m);
        // 9.
        walker->type = OBJT_CHARACTER;
        walker->id = id;
        const float g = GroundHeight(p, nullptr);
        p[1] = g;
        walker->mat = mat;
        if (b != nullptr)
            walker->mat.SetScale(VectorXYZ(b->fScale, std::min(3.0f * b->fScale, 1.0f), b->fScale));
        walker->mat.SetTrans(p);
        // 10.
        if (g_pgcTest != nullptr)
            g_pgcTest->iNumPeds++;
        i16NumSpawned++;
        // 11.
        world.StopTimer(walker);
        After(walker, 30 + (rand() & 7));
        SetTintSet(walker, rand() & 3, true);
        walker->AllocBlendAnimHierarchy(0x88);
    } while (false);
    // 12.
    mat = keep;
    return walker;
}

int PedGen::mh(OBJMESSAGE msg, void* data)
{
    GameController* gc = g_pgcTest;
    switch (msg) {
    case OM_TIMER: {
        int reply;
        if (AmbientTickStart(this, [gc]() { return gc != nullptr && gc->iNumPeds < kMaxPeds; }, f16PedZone1Dist, &reply))
            return reply;
        float d = 0.0f;
        // 4.
        const int score = iGenScore(&d, false);
        const int n = int(d);
        const int zone = d < f16PedZone1Dist ? 0 : (d < f16PedZone2Dist && (score & 0x2000)) ? 1 : 2;
        int delay = n;
        if (zone != 2 && gc != nullptr) {
            if (gc->iNumPeds < kMaxPeds) {
                SpecialMessage m(SMSG_GEN_SPAWN, nullptr);
                mh(OM_SPECIAL, &m);
            } else if (gc->pps.ppg == nullptr || score < gc->pps.iScore) {
                gc->pps = {this, score};
                delay = zone == 0 ? n + 8 : n;
            } else {
                delay = n / 4;
            }
        }
        After(this, std::max(delay, 2));
        return 0;
    }
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        AmbientSpecial(this, *m, [this](bool skipVis) {
            if (Object* w = CreatePedAmb(skipVis)) {
                w->InitialiseChildCollisions();
                world.AddObject(w, nullptr);
            }
        });
        return 0;
    }
    case OM_DIE: {
        // Nothing may keep pointing at a generator that is gone.
        AmbientClearPending(this);
        Unregister(this);
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it) {
            Object* o = *it;
            if (o == nullptr || o->IsDead())
                continue;
            // A walker left without its generator leaves the count with it.
            PedGen** back = nullptr;
            if (o->messagehandler == &Bystander::Bystander_mh)
                back = &static_cast<Bystander*>(o)->ppg;
            else if (o->messagehandler == &PedAmb::staticmh)
                back = &static_cast<PedAmb*>(o)->ppg;
            if (back != nullptr && *back == this) {
                *back = nullptr;
                if (g_pgcTest != nullptr)
                    g_pgcTest->iNumPeds--;
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

// ---------------------------------------------------------------------------
// The standing figure

int PedAmb::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    return o != nullptr ? static_cast<PedAmb*>(o)->mh(msg, data) : 0;
}

int PedAmb::mh(OBJMESSAGE msg, void* data)
{
    GameController* gc = g_pgcTest;
    switch (msg) {
    case OM_INIT:
        world.pedlist.AddTail(this);
        return 0;
    case OM_SPECIAL: {
        const SpecialMessage* m = static_cast<SpecialMessage*>(data);
        if (m != nullptr && m->submsg == SMSG_PED_SETUP && m->obj != nullptr) {
            const auto* s = reinterpret_cast<const PedGenInitMsg*>(m->obj);
            prs = s->prs;
            ppg = s->ppg;
            iLastDrawnTime = s->iTime;
        }
        return 0;
    }
    case OM_WASDRAWN:
        iLastDrawnTime = int(reinterpret_cast<intptr_t>(data));
        return 0;
    case OM_TIMER: {
        const VectorPos v = rc.world_view * mat.GetTrans();
        float d = std::sqrt(v[0] * v[0] + v[2] * v[2]);
        if (v[2] < 0.0f)
            d += 6.25f;
        const int age = world.time - iLastDrawnTime;
        const bool pending = gc != nullptr && gc->pps.ppg != nullptr;
        if ((age > 30 || d > PedGen::f16PedZone2Dist) &&
            (d > PedGen::f16PedZone1Dist || (pending && float(gc->pps.iScore & 0xFFF) < d))) {
            if (ppg != nullptr)
                ppg->i16NumSpawned--;
            if (gc != nullptr)
                gc->iNumPeds--;
            ppg = nullptr;
            world.pedlist.Remove(this);
            world.StopAnimating(this);
            Delete();
            if (gc != nullptr && gc->pps.ppg != nullptr) {
                PedGen* next = gc->pps.ppg;
                gc->pps.ppg = nullptr;
                SpecialMessage m(SMSG_GEN_SPAWN, nullptr);
                next->SendMessage(OM_SPECIAL, &m);
            }
            return -2;
        }
        After(this, 15 + (rand() & 7));
        return 0;
    }
    case OM_DIE:
        if (ppg != nullptr) {
            ppg->i16NumSpawned--;
            if (gc != nullptr)
                gc->iNumPeds--;
        }
        if (mdlfile != nullptr && g_GlobalMFI.GetIndex(mdlfile) >= 0)
            g_GlobalMFI.DecrementRef(mdlfile);
        world.pedlist.Remove(this);
        world.StopTimer(this);
        delete this;
        return -1;
    default:
        return 0;
    }
}
