// The creatures' generators: the mannequin, a practice figure that shoots
// back, put up again each time the last one has gone while the player is
// where the generator waits for him; and the mutants, made one after
// another as the shooter generator makes its shooters.
#include "game/GameFEnt.h"

#include <cstdio>
#include <cstdlib>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/Mannequin.h"
#include "game/QuadTree.h"

namespace {

constexpr u32 kStaticEntity = 0x80000;
constexpr u32 kShootable = 0x20;
constexpr int kMannequinSlot = 195;
constexpr u16 kMannequinNode = 6000;
constexpr float kPlacementUnit = 0.3125f;

constexpr u32 kOutOfPlay = 0x10000000 | 0x40000000;
constexpr int kMutantSlotBase = 49;

Name nameMutantGen("EnemyGenMutant", int(reinterpret_cast<intptr_t>(&EnemyGenMutant::staticmh)));
Name nameMannequinGen("EnemyGenMannequin", int(reinterpret_cast<intptr_t>(&EnemyGenMannequin::staticmh)));

float Dist2(VectorPos a, VectorPos b)
{
    const VectorDir d = a - b;
    return Dot(d, d);
}

}  // namespace

const float EnemyGenMannequin::ActivateDist = 1.5625f;

int EnemyGenMannequin::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<EnemyGenMannequin>();
    return static_cast<EnemyGenMannequin*>(o)->mh(msg, data);
}

void EnemyGenMannequin::Report(int code, Object* o, int stage)
{
    SendSpecial(gameeventobj, code, o, stage);
}

bool EnemyGenMannequin::TriggerValid() const
{
    Object* player = PlayerObject();
    return player != nullptr && ::TriggerValid(pegsp->trigger_init, pegsp->trigger_init2, pegsp->triggermode,
                                               player->GetWorldPos(), lastdacepos);
}

void EnemyGenMannequin::GenerateMannequin(bool)
{
    auto creator = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Mannequin")));
    MDLFILE* mf = g_GlobalMFI.GetMF(kMannequinSlot, false);
    if (creator == nullptr || mf == nullptr || !mf->HasData())
        return;
    auto* m = reinterpret_cast<Mannequin*>(intptr_t(creator(reinterpret_cast<Object*>(mf), OM_CREATE, nullptr)));
    if (m == nullptr)
        return;
    numspawned++;
    const NODE* node = mf->FindNodeById1(0, kMannequinNode);
    if (node == nullptr) {
        // No figure in the model: none stands, and nothing is left over.
        static bool said = false;
        if (!said)
            printf("mannequin generator: the model has no mannequin (node %d); none is put up\n", kMannequinNode);
        said = true;
        m->SendMessage(OM_DIE, nullptr);
        return;
    }
    const MannequinShooter_params& p = *pegsp;
    mf->GetHierarchyTo(m, u16(node - mf->nodes), GH_ANIMATE);
    world.AddObject(m, nullptr);
    m->id = p.id;
    m->mat = mat;
    m->aggro = RecordAggro(p.badass);
    m->initialstrength = m->strength = float(p.init_strength);
    m->gameeventobj = this;
    m->arrivepath = pSplineArrive;
    m->fire = p.fire;
    m->FindShadows();
    enemy = m;
}

int EnemyGenMannequin::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= kStaticEntity | OBJF_NOCOLLISION | OBJF_FRAMECALL;
        enemy = nullptr;
        lastenemykilled = false;
        numspawned = 0;
        lastdacepos = TriggerInitPos;
        return 0;
    case OM_FRAME: {
        flags |= OBJF_FRAMECALL | kShootable;
        Object* player = PlayerObject();
        if (player == nullptr || pegsp == nullptr)
            return 0;
        const MannequinShooter_params& p = *pegsp;
        const VectorPos here = player->GetWorldPos();
        const float reach = p.distance_init * kPlacementUnit;
        const bool go = Dist2(here, GetWorldPos()) < ActivateDist * ActivateDist ||
                        (p.distance_init == 0.0f && !p.trigger_init.IsValid()) ||
                        (p.distance_init != 0.0f && Dist2(here, GetWorldPos()) < reach * reach) || TriggerValid();
        if (go && enemy == nullptr) {
            Report(SMSG_MODE_FOE_REMOVED, this, 0);
            GenerateMannequin(false);
            if (enemy != nullptr && gameeventobj != nullptr)
                Report(SMSG_MODE_FOE_ADDED, enemy, 0);
        }
        lastdacepos = here;
        return 0;
    }
    case OM_SPECIAL:
        break;
    case OM_DIE:
        free(pSplineArrive);
        free(pegsp);
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
        Report(SMSG_MODE_FOE_REMOVED, enemy, 1);
        break;
    case SMSG_EV_ENEMY_REMOVED:
        if (m.obj == enemy)
            enemy = nullptr;
        break;
    case SMSG_MODE_START:
        gameeventobj = m.obj;
        if (gameeventobj != nullptr)
            Report(SMSG_MODE_FOE_ADDED, this, 0);
        started = true;
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// Mutants

const float EnemyGenMutant::ActivateDist = 1.5625f;

int EnemyGenMutant::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<EnemyGenMutant>();
    return static_cast<EnemyGenMutant*>(o)->mh(msg, data);
}

void EnemyGenMutant::Report(int code, Object* o)
{
    SendSpecial(gameeventobj, code, o, int(pegmp->init_wave));
}

bool EnemyGenMutant::TriggerValid() const
{
    Object* player = PlayerObject();
    return player != nullptr && pegmp->trigger_init.IsValid() && pegmp->trigger_init.Within(player->GetWorldPos());
}

void EnemyGenMutant::GenerateMutant(bool)
{
    const EnemyGenMutant_params& p = *pegmp;
    const int slot = EnemyModelSlot(p.character, kMutantSlotBase);
    auto creator = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Mutant")));
    MDLFILE* mf = slot >= 0 ? g_GlobalMFI.GetMF(slot, false) : nullptr;
    if (slot < 0) {
        static bool said = false;
        if (!said)
            printf("mutant generator: model slot of character %d is past the registry; none is made\n", p.character);
        said = true;
    }
    if (creator == nullptr || mf == nullptr || !mf->HasData())
        return;
    auto* m = reinterpret_cast<Mutant*>(intptr_t(creator(reinterpret_cast<Object*>(mf), OM_CREATE, nullptr)));
    if (m == nullptr)
        return;
    g_GlobalMFI.GetMF(slot, true);
    // As every generator's figure: the clips move the root relative to
    // where it stands, so a placed mutant stays where it was put.
    mf->GetHierarchyTo(m, 0, GH_RELMOTION | GH_ANIMATE);
    m->FindShadows();
    m->AllocBlendAnimHierarchy(GH_RELMOTION | GH_ANIMATE);
    world.AddObject(m, nullptr);
    m->id = p.id;
    m->mat = mat;
    m->aggro = RecordAggro(p.badass);
    m->strength = float(p.init_strength);
    m->gameeventobj = this;
    m->mode = s8(p.appear);
    m->maxwander = p.diverge_m;
    m->arrivepath = pSplineArrive;
    m->movepath = pSplineMove;
    const int tint = numspawned == 0 || p.rnd_tint == 0 ? p.first_tint : (rand() >> 29);
    SetTintSet(m, tint, false);
    pObj = m;
    numspawned++;
}

int EnemyGenMutant::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= kStaticEntity | OBJF_NOCOLLISION;
        lastenemykilled = false;
        pObj = nullptr;
        numspawned = 0;
        lastdacepos = TriggerInitPos;
        if (g_pgcTest == nullptr || !g_pgcTest->bCinematicOnly)
            flags |= OBJF_FRAMECALL;
        else if (pegmp != nullptr && pegmp->first_init != 0)
            StandStillFigure(this, EnemyModelSlot(pegmp->character, kMutantSlotBase), pegmp->id, pegmp->first_tint);
        return 0;
    case OM_FRAME: {
        Object* player = PlayerObject();
        if (player == nullptr || pegmp == nullptr)
            return 0;
        const EnemyGenMutant_params& p = *pegmp;
        const VectorPos here = player->GetWorldPos();
        const float reach = p.distance_init * kPlacementUnit;
        bool go;
        if (Dist2(here, GetWorldPos()) < ActivateDist * ActivateDist && pObj != nullptr)
            go = true;
        else if (gameeventobj == nullptr || SendSpecial(gameeventobj, SMSG_MODE_GET_STAGE) < p.init_wave)
            go = false;
        else if (p.distance_init == 0.0f && !p.trigger_init.IsValid())
            go = true;
        else if (p.distance_init != 0.0f)
            go = Dist2(here, GetWorldPos()) < reach * reach;
        else
            go = TriggerValid();
        // A creature already gone counts against the number to make.
        const bool more = numspawned == 0 || numspawned < s16(p.spawn_num);
        if (go && pObj == nullptr && more && !lastenemykilled) {
            Report(SMSG_MODE_FOE_REMOVED, this);
            GenerateMutant(false);
            if (pObj != nullptr)
                Report(SMSG_MODE_FOE_ADDED, pObj);
        }
        if (pObj != nullptr && !lastenemykilled && (pObj->flags & kOutOfPlay)) {
            if (numspawned < s16(p.spawn_num)) {
                GenerateMutant(false);
                Report(SMSG_MODE_FOE_ADDED, pObj);
            } else {
                lastenemykilled = true;
            }
        }
        lastdacepos = here;
        return 0;
    }
    case OM_SPECIAL:
        break;
    case OM_DIE:
        free(pSplineArrive);
        free(pSplineMove);
        free(pegmp);
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
        if (gameeventobj != nullptr && pegmp != nullptr)
            Report(SMSG_MODE_FOE_REMOVED, pObj);
        break;
    case SMSG_EV_ENEMY_REMOVED:
        // The creature is gone: it is never read again.
        if (m.obj == pObj)
            pObj = nullptr;
        break;
    case SMSG_MODE_START:
        gameeventobj = m.obj;
        if (pegmp == nullptr)
            return 0;
        if (gameeventobj != nullptr)
            Report(SMSG_MODE_FOE_ADDED, this);
        if (pegmp->first_init != 0) {
            Report(SMSG_MODE_FOE_REMOVED, this);
            if (!started)
                GenerateMutant(false);
            if (pObj != nullptr)
                Report(SMSG_MODE_FOE_ADDED, pObj);
        }
        started = true;
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}
