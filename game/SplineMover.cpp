// The spline object mover.
#include "game/SplineMover.h"

#include <cmath>
#include <cstdlib>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/BadGuy.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"

namespace {

constexpr float kUnit = 0.3125f;          // a designer's unit of length
constexpr float kSpeedPerFrame = 192.0f;  // speed / this: world units per frame
constexpr u16 kRiderNode = 0x8000;        // where on a prop a rider stands
constexpr int kMostPropsAFrame = 16;       // a spacing far below a frame's travel makes no more
constexpr u32 kRiderGone = 0x40000000 | 0x10000000;
constexpr u16 kRiderAnim = 202;
constexpr float kQuarterTurn = 1.5707964f;

OBJMESSAGEHANDLER Kind(const char* name)
{
    return reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find(name)));
}

Object* CreateKind(const char* name)
{
    OBJMESSAGEHANDLER h = Kind(name);
    if (h == nullptr)
        return nullptr;
    return reinterpret_cast<Object*>(intptr_t(h(nullptr, OM_CREATE, nullptr)));
}

}  // namespace

int MoverRiderWeapon(int code)
{
    switch (code) {
    case 0: return WEAP_PISTOL_RUGER;
    case 1: return WEAP_SMG_UZI;
    case 2: return WEAP_BLANK;
    case 3: return WEAP_SHOTG_M4SUPER;
    case 5: return WEAP_SNIPERRIFLE;
    default: return code - 2;
    }
}

int SplineObjectMover::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<SplineObjectMover>();
    return static_cast<SplineObjectMover*>(o)->mh(msg, data);
}

float SplineObjectMover::GetObjectSplineValue(int i)
{
    float d = float(i) * zevdensity + movedist;
    const int n = pSpline != nullptr ? pSpline->NumSplines() : 0;
    for (int k = 0; k < n; k++) {
        const float len = Length(pSpline->GetBezier(k), 3);
        if (len > d)
            return float(k) + d / len;
        d -= len;
    }
    return float(n);
}

bool SplineObjectMover::PlayerInTrigger() const
{
    if (dace == nullptr)
        return false;
    const VectorPos p = dace->GetWorldPos();
    for (const Extent* e : {&psomp->trigger1, &psomp->trigger2, &psomp->trigger3, &psomp->trigger4})
        if (e->IsValid() && e->Within(p))
            return true;
    return false;
}

void SplineObjectMover::ReportGone(Object* rider)
{
    if (gameeventobj == nullptr)
        return;
    SpecialMessage m(SMSG_MODE_FOE_REMOVED, rider, 1);
    gameeventobj->SendMessage(OM_SPECIAL, &m);
}

int SplineObjectMover::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        splinelength = pSpline != nullptr ? Length(*pSpline, 3) : 0.0f;
        zevdensity = psomp != nullptr ? psomp->density * kUnit : 0.0f;
        movedist = zevdensity / 2.0f;
        shooterid = kFirstRiderId;
        return 0;
    case OM_FRAME: {
        if (psomp == nullptr || pSpline == nullptr)
            return 0;
        // A spacing of nothing would make props without end.
        if (zevdensity > 0.0f) {
            movedist += psomp->speed / kSpeedPerFrame;
            // A spacing far below a frame's travel (or a travel of no end)
            // would make props without end within one frame: the travel
            // past the most a frame makes is dropped.
            int made = 0;
            while (movedist > zevdensity) {
                if (made++ == kMostPropsAFrame) {
                    movedist = std::fmod(movedist, zevdensity);
                    break;
                }
                movedist -= zevdensity;
                bool rider = shooterlist.Count() < psomp->enemy_count && PlayerInTrigger() &&
                             1 + rand() % 100 <= psomp->enemy_chance;
                GenerateObject(GetObjectSplineValue(0), rider, true);
            }
        }
        const float end = float(pSpline->NumSplines());
        int i = 0;
        for (ObjectLink* l = objlist.Head(); !l->IsEOList();) {
            ObjectLink* next = l->Next();
            Object* prop = l->data;
            const float t = GetObjectSplineValue(i++);
            if (t < end) {
                const Vector p = pSpline->Evaluate(t);
                prop->mat.SetTrans(VectorPos(p[0], p[1], p[2]));
            } else {
                for (ObjectLink* r = shooterlist.Head(); !r->IsEOList();) {
                    ObjectLink* rn = r->Next();
                    if (r->data->parent == prop) {
                        ReportGone(r->data);
                        shooterlist.RemoveLink(r);
                    }
                    r = rn;
                }
                // The link may hold the last reference to a prop destroyed
                // meanwhile; its storage stays until the prop is let go here.
                RCptr<Object> hold(prop);
                objlist.RemoveLink(l);
                prop->Detach();
                prop->Delete();
            }
            l = next;
        }
        for (ObjectLink* r = shooterlist.Head(); !r->IsEOList();) {
            ObjectLink* rn = r->Next();
            if ((r->data->flags & kRiderGone) != 0) {
                ReportGone(r->data);
                shooterlist.RemoveLink(r);
            }
            r = rn;
        }
        return 0;
    }
    case OM_SPECIAL: {
        const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
        if (m.submsg == SMSG_MODE_START) {
            gameeventobj = m.obj;
            if (psomp != nullptr && pSpline != nullptr && psomp->init_distrib != 0 && splinelength > 0.0f &&
                psomp->density > 0.0f) {
                const float end = float(pSpline->NumSplines());
                for (int i = 0;; i++) {
                    const float t = GetObjectSplineValue(i);
                    if (t >= end)
                        break;
                    GenerateObject(t, false, false);
                }
            }
        }
        if ((m.submsg == SMSG_EV_CHARACTER_DIED || m.submsg == SMSG_EV_ENEMY_SUBDUED))
            ReportGone(m.obj);
        if (m.submsg >= 23000 && m.submsg <= 23100 && gameeventobj != nullptr) {
            SpecialMessage pass = m;
            gameeventobj->SendMessage(OM_SPECIAL, &pass);
        }
        return 0;
    }
    case OM_DIE:
        free(pSpline);
        pSpline = nullptr;
        objlist.RemoveAll();
        shooterlist.RemoveAll();
        delete this;
        return -1;
    default:
        return 0;
    }
}

void SplineObjectMover::GenerateObject(float splinepos, bool genshooter, bool athead)
{
    const int slot = kPropSlot + (genshooter ? 0 : rand() % 3);
    MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
    if (pSpline == nullptr || splinepos > float(pSpline->NumSplines()))
        return;
    auto* prop = static_cast<InteriorDamageable*>(CreateKind("InteriorDamageable"));
    if (prop == nullptr)
        return;
    if (mf != nullptr && mf->HasData()) {
        mf->GetHierarchyTo(prop, 0, GH_ANIMATE | GH_NOCHILDREN);
        prop->InitialiseChildCollisions();
    }
    prop->mat = Matrix(true);
    const Vector p = pSpline->Evaluate(splinepos);
    prop->mat.SetTrans(VectorPos(p[0], p[1], p[2]));
    prop->fStrength = 100.0f;
    prop->bSliding = false;
    if (!world.AddObject(prop, nullptr))
        return;
    prop->flags &= ~0x80000u;
    if (athead)
        objlist.AddHead(prop);
    else
        objlist.AddTail(prop);
    if (genshooter)
        GenerateShooter(prop);
}

void SplineObjectMover::GenerateShooter(Object* prop)
{
    const SplineObjectMover_params& p = *psomp;
    int character = p.enemy_char;
    if (p.enemy_char2 != 0 && p.enemy_char3 == 0) {
        if (rand() % 2 != 0)
            character = p.enemy_char2;
    } else if (p.enemy_char2 != 0 && p.enemy_char3 != 0) {
        if (rand() % 3 != 0)
            character = rand() % 2 != 0 ? p.enemy_char3 : p.enemy_char2;
    }
    const int slot = kCharacterSlotBase + character;
    if (slot >= MFI_NUMSLOTS)
        return;
    Object* rider = CreateKind("ShooterEnemy");
    if (rider == nullptr)
        return;
    g_GlobalMFI.IncrementRef(slot);
    MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
    if (mf != nullptr && mf->HasData()) {
        mf->GetHierarchyTo(rider, 0, 0x88);
        rider->FindShadows();
    }
    rider->AllocBlendAnimHierarchy(0x88);
    world.AddObject(rider, nullptr);
    if (shooterid == kRiderIdEnd)
        shooterid = kFirstRiderId;
    rider->id = s16(shooterid--);
    rider->mat = Matrix(true);

    // Only a shooting enemy takes the record's orders; a kind standing in
    // for it (the tests' riders) rides as it is.
    if (rider->messagehandler == &Enemy::ShooterEnemy_mh) {
        Enemy* e = static_cast<Enemy*>(rider);
        e->charid = s16(g_GlobalMFI.GetID(slot));
        e->shootweapontype = s16(MoverRiderWeapon(p.enemy_weapon));
        e->vobank = u8(p.enemy_vo_bank);
        e->aggro = RecordAggro(p.enemy_badass);
        e->strength = e->initialstrength = float(p.enemy_stren);
        e->gameeventobj = this;
        e->seenbydace = false;
        e->behavior = Enemy::STATIONARY_HANGING;
        e->Start_Shoot_Patrol();
        e->tintset = s8(p.enemy_rnd_tint != 0 ? rand() % 4 : (p.enemy_tint & 0xFF));
        e->SetAnim(kRiderAnim, -1, -1);
        SetTintSet(e, e->tintset, false);
    }

    if (NODE* n = prop->FindNodeById(kRiderNode))
        prop->Attach(rider, n);
    else
        prop->Attach(rider);
    rider->mat = RotY(kQuarterTurn) * rider->mat;
    prop->flags |= OBJF_CHILDCOLLISION;

    shooterlist.AddTail(rider);
    if (gameeventobj != nullptr) {
        SpecialMessage m(SMSG_MODE_FOE_ADDED, rider, 1);
        gameeventobj->SendMessage(OM_SPECIAL, &m);
    }
}
