// The shooter and fighter generators: placed by a level, they make their
// enemies by kind name when the mode has started, their wave has come and
// the player is where they wait for him, and keep the controller's stage
// lists told.
#include "game/GameFEnt.h"

#include <cstdlib>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/BadGuy.h"
#include "game/GameFEntChase.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/QuadTree.h"
#include "game/Weapons.h"

namespace {

constexpr u32 kOutOfPlay = 0x10000000 | 0x40000000;   // arrested, down
constexpr u32 kKilled = 0x20000000;
constexpr u32 kStaticEntity = 0x80000;
constexpr int kTakeHostage = 60;
constexpr float kPlacementUnit = 0.3125f;

Name nameShooterGen("EnemyGenShooter", int(reinterpret_cast<intptr_t>(&EnemyGenShooter::staticmh)));
Name nameFighterGen("EnemyGenFighter", int(reinterpret_cast<intptr_t>(&EnemyGenFighter::staticmh)));
Name nameGuardGen("EnemyGenGuard", int(reinterpret_cast<intptr_t>(&EnemyGenGuard::staticmh)));

// Says once per kind of fault that a placement record asked for the
// impossible.
void ReportOnce(bool& said, const char* what, int value)
{
    if (!said)
        printf("enemy generator: %s %d; none is made\n", what, value);
    said = true;
}

float Dist2(VectorPos a, VectorPos b)
{
    const VectorDir d = a - b;
    return Dot(d, d);
}

}  // namespace

// An enemy of kind `kind` with the model of slot `slot`, built and in the
// world at the generator's place, told its id, aggro, model id and event
// object; null when the kind, the model or the memory is missing.  A
// fighter's melee weapon is given before it enters the world, where it
// takes the weapon in hand.
Enemy* MakeEnemy(const char* kind, int slot, Object* generator, s16 id, float aggro, int fightweapontype)
{
    auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find(kind)));
    if (mh == nullptr || slot < 0)
        return nullptr;
    MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    Object* o = reinterpret_cast<Object*>(intptr_t(mh(reinterpret_cast<Object*>(mf), OM_CREATE, nullptr)));
    Enemy* e = AsEnemy(o);
    if (e == nullptr) {
        if (o != nullptr)
            o->Delete();
        return nullptr;
    }
    g_GlobalMFI.GetMF(slot, true);
    e->charid = g_GlobalMFI.rgmfi[slot].i16Id;
    // The root moves by its own frame code: its clips' root motion is
    // relative.
    mf->GetHierarchyTo(e, 0, GH_RELMOTION | GH_ANIMATE);
    e->FindShadows();
    e->AllocBlendAnimHierarchy(GH_RELMOTION | GH_ANIMATE);
    e->fightweapontype = s16(fightweapontype);
    world.AddObject(e, nullptr);
    e->mat = generator->mat;
    e->id = id;
    e->aggro = RecordAggro(aggro);
    e->gameeventobj = generator;
    // An enemy without his body's parts can be neither shot nor struck: the
    // game he was made for could never be won.
    if (const char* part = e->MissingPart(); part != nullptr && g_pgcTest != nullptr)
        g_pgcTest->RefuseUnfitModel(slot, part, true);
    return e;
}

namespace {

// The hiding shooter's start on its move path: cover at an end it hides
// at, sniping elsewhere.
void StartHiding(Enemy* e)
{
    e->UpdateMovePathPos();
    const int segs = e->movepath != nullptr ? e->movepath->NumSplines() : 0;
    if ((e->hidebehavior != Enemy::NO_HIDING && e->patht < 0.1f) ||
        (e->hidebehavior == Enemy::START_END_HIDING && e->patht > float(segs)))
        e->Start_Shoot_TakeCover();
    else
        e->Start_Shoot_Sniping();
}

}  // namespace

int ShooterWeaponType(int code)
{
    switch (code) {
    case 0: return WEAP_PISTOL_RUGER;
    case 1: return WEAP_SMG_UZI;
    case 2: return WEAP_BLANK;
    case 3: return WEAP_SHOTG_M4SUPER;
    case 5: return WEAP_SNIPERRIFLE;
    default: break;
    }
    const int w = code - 2;
    if (w < 0 || w >= WEAP_TOTAL) {
        static bool said = false;
        if (!said)
            printf("enemy generator: weapon code %d is not a weapon; the pistol is given\n", code);
        said = true;
        return WEAP_PISTOL_RUGER;
    }
    return w;
}

int EnemyModelSlot(int code, int base)
{
    const int slot = code + base;
    return slot < MFI_NUMSLOTS ? slot : -1;
}

Object* StandStillFigure(const Object* generator, int slot, s16 id, int tint)
{
    if (slot < 0)
        return nullptr;
    MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    Object* o = mf->GetHierarchy(0, sizeof(Object), GH_RELMOTION | GH_ANIMATE);
    if (o == nullptr)
        return nullptr;
    g_GlobalMFI.GetMF(slot, true);
    o->messagehandler = CharDefHandler;
    o->type = OBJT_CHARACTER;
    o->mat = generator->mat;
    o->flags |= OBJF_NOCOLLISION;
    o->id = id;
    SetTintSet(o, tint, false);
    o->FindShadows();
    world.AddObject(o, nullptr);
    return o;
}

// ---------------------------------------------------------------------------
// Shooters

const float EnemyGenShooter::ActivateDist = 1.5625f;

int EnemyGenShooter::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<EnemyGenShooter>();
    return static_cast<EnemyGenShooter*>(o)->mh(msg, data);
}

void EnemyGenShooter::Report(int code, Object* o)
{
    SendSpecial(gameeventobj, code, o, int(pegsp->init_wave));
}

bool EnemyGenShooter::TriggerValid() const
{
    Object* player = PlayerObject();
    return player != nullptr && ::TriggerValid(pegsp->trigger_init, pegsp->trigger_init2, pegsp->triggermode,
                                               player->GetWorldPos(), lastdacepos);
}

// The hiding shooter's start: cover at the ends of its path it hides at,
// sniping elsewhere; others arrive.
void EnemyGenShooter::Wake()
{
    Enemy* e = AsEnemy(enemy);
    if (e == nullptr)
        return;
    if (e->behavior == Enemy::HIDING)
        StartHiding(e);
    else
        e->Start_Shoot_Arrive();
}

void EnemyGenShooter::GenerateShooter(bool dormant)
{
    const EnemyGenShooter_params& p = *pegsp;
    const int slot = EnemyModelSlot(p.character, 49);
    if (slot < 0) {
        static bool said = false;
        ReportOnce(said, "a shooter's model slot is past the registry: character", p.character);
        return;
    }
    Enemy* e = MakeEnemy("ShooterEnemy", slot, this, p.id, p.badass);
    if (e == nullptr)
        return;
    e->shootweapontype = s16(ShooterWeaponType(p.weapon));
    e->vobank = p.vo_bank;
    e->initialstrength = e->strength = float(p.init_strength);
    e->maxwander = p.diverge_m;
    e->arrivepath = pSplineArrive;
    e->movepath = pSplineMove;
    e->seenbydace = p.first_init == 2 || p.first_init == 3;
    e->bDuck_fire = p.duck_fire != 0;
    switch (p.behavior) {
    case 1: e->behavior = Enemy::MOVING; break;
    case 2:
        e->behavior = Enemy::HIDING;
        e->shootweapontype = WEAP_SNIPERRIFLE;
        e->hidebehavior = p.endpoints == 0   ? Enemy::NO_HIDING
                          : p.endpoints == 2 ? Enemy::START_HIDING
                                             : Enemy::START_END_HIDING;
        break;
    case 3: e->behavior = Enemy::SEE_MOVING; break;
    case 4: e->behavior = Enemy::MOVING; e->usefalldeath = true; break;
    case 5: e->behavior = Enemy::STATIONARY; e->usefalldeath = true; break;
    default: e->behavior = Enemy::STATIONARY; break;
    }
    enemy = e;
    if (e->behavior == Enemy::HIDING)
        StartHiding(e);
    else if (dormant)
        e->Start_Shoot_Wait();
    else
        e->Start_Shoot_Arrive();

    if (p.hostage != 0) {
        const int hslot = EnemyModelSlot(p.hostage, 48);
        if (hslot < 0) {
            static bool said = false;
            ReportOnce(said, "a hostage's model slot is past the registry: hostage", p.hostage);
        } else if (Enemy* h = MakeEnemy("ShooterEnemy", hslot, this, -176, 0.0f)) {
            h->movepath = pSplineHostage;
            h->AnimateHierarchy(1.0f);
            h->ishostage = true;
            h->strength = 5.0f;
            hostage = h;
            SendSpecial(e, kTakeHostage, h);
        }
    }
    const int tint = numspawned == 0 || p.rnd_tint == 0 ? p.first_tint : (rand() >> 29);
    SetTintSet(e, tint, false);
    numspawned++;
}

int EnemyGenShooter::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= kStaticEntity | OBJF_NOCOLLISION;
        lastenemykilled = false;
        enemy = hostage = nullptr;
        numspawned = 0;
        lastdacepos = TriggerInitPos;
        if (g_pgcTest == nullptr || !g_pgcTest->bCinematicOnly)
            flags |= OBJF_FRAMECALL;
        else if (pegsp != nullptr && (pegsp->first_init == 1 || pegsp->first_init == 3))
            StandStillFigure(this, EnemyModelSlot(pegsp->character, 49), pegsp->id, pegsp->first_tint);
        return 0;
    case OM_FRAME: {
        Object* player = PlayerObject();
        if (player == nullptr || pegsp == nullptr)
            return 0;
        const VectorPos here = player->GetWorldPos();
        const bool near = Dist2(here, GetWorldPos()) < ActivateDist * ActivateDist;
        if (lastdacepos == TriggerInitPos)
            lastdacepos = here;
        const EnemyGenShooter_params& p = *pegsp;
        bool go;
        if (near && enemy != nullptr)
            go = true;
        else if (gameeventobj == nullptr)
            go = false;
        else if (SendSpecial(gameeventobj, SMSG_MODE_GET_STAGE) < p.init_wave)
            go = false;
        else if (p.distance_init == 0.0f && !p.trigger_init.IsValid())
            go = true;
        else if (p.distance_init != 0.0f)
            go = Dist2(here, GetWorldPos()) < (p.distance_init * kPlacementUnit) * (p.distance_init * kPlacementUnit);
        else
            go = TriggerValid();
        if (go) {
            if (enemy == nullptr) {
                Report(SMSG_MODE_FOE_REMOVED, this);
                GenerateShooter(false);
                if (enemy != nullptr)
                    Report(SMSG_MODE_FOE_ADDED, enemy);
            } else if ((p.first_init == 1 || p.first_init == 3) && enemy->mode == 0) {
                Wake();
            }
        }
        if (enemy != nullptr && !lastenemykilled && (enemy->flags & kOutOfPlay)) {
            if (numspawned < s16(p.spawn_num)) {
                GenerateShooter(false);
                Report(SMSG_MODE_FOE_ADDED, enemy);
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
        free(pSplineHostage);
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
        if (gameeventobj != nullptr && pegsp != nullptr)
            Report(SMSG_MODE_FOE_REMOVED, enemy);
        break;
    case SMSG_EV_ENEMY_REMOVED:
        if (m.obj == enemy)
            enemy = nullptr;
        break;
    case SMSG_MODE_START:
        gameeventobj = m.obj;
        if (pegsp == nullptr)
            break;
        if (gameeventobj != nullptr)
            Report(SMSG_MODE_FOE_ADDED, this);
        if (pegsp->first_init == 1 || pegsp->first_init == 3) {
            Report(SMSG_MODE_FOE_REMOVED, this);
            if (!started) {
                const bool dormant =
                    gameeventobj == nullptr || SendSpecial(gameeventobj, SMSG_MODE_GET_STAGE) < pegsp->init_wave;
                GenerateShooter(dormant);
            }
            if (enemy != nullptr)
                Report(SMSG_MODE_FOE_ADDED, enemy);
        }
        started = true;
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// Fighters

const float EnemyGenFighter::ActivateDist = 1.5625f;

int EnemyGenFighter::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<EnemyGenFighter>();
    return static_cast<EnemyGenFighter*>(o)->mh(msg, data);
}

void EnemyGenFighter::Report(int code, Object* o)
{
    SendSpecial(gameeventobj, code, o, int(pegfp->init_wave));
}

// The fighter handed to the fight as a passive foe of its stage.
void EnemyGenFighter::Hand()
{
    SendSpecial(gameeventobj, SMSG_EV_ADD_PASSIVE_FOE, enemy);
    Report(SMSG_MODE_FOE_ADDED, enemy);
}

void EnemyGenFighter::GenerateFighter()
{
    const EnemyGenFighter_params& p = *pegfp;
    const int slot = EnemyModelSlot(p.character, 49);
    if (slot < 0) {
        static bool said = false;
        ReportOnce(said, "a fighter's model slot is past the registry: character", p.character);
        return;
    }
    Enemy* e = MakeEnemy("FighterEnemy", slot, this, p.id, p.badass, p.weapon);
    if (e == nullptr)
        return;
    e->SetFightingStyle(p.style);
    e->initialstrength = e->strength = float(p.init_strength);
    e->vobank = p.vo_bank;
    e->arrivepath = pSpline;
    e->isboss = p.boss == 1;
    const bool waits = gameeventobj != nullptr && p.init_wave >= SendSpecial(gameeventobj, SMSG_MODE_GET_STAGE);
    e->mode = s8(waits ? 22 : 0);
    SetTintSet(e, p.first_tint, false);
    enemy = e;
}

int EnemyGenFighter::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= kStaticEntity | OBJF_NOCOLLISION;
        enemy = nullptr;
        enemyescaped = enemybusted = enemysubdued = enemykilled = false;
        if (g_pgcTest == nullptr || !g_pgcTest->bCinematicOnly)
            flags |= OBJF_FRAMECALL;
        else if (pegfp != nullptr && pegfp->first_init != 0)
            StandStillFigure(this, EnemyModelSlot(pegfp->character, 49), pegfp->id, pegfp->first_tint);
        return 0;
    case OM_FRAME: {
        Object* player = PlayerObject();
        if (pegfp == nullptr)
            return 0;
        const bool near = player != nullptr && Dist2(player->GetWorldPos(), GetWorldPos()) < ActivateDist * ActivateDist;
        const bool go = (near && enemy != nullptr) ||
                        (gameeventobj != nullptr && SendSpecial(gameeventobj, SMSG_MODE_GET_STAGE) == pegfp->init_wave);
        if (go) {
            if (enemy == nullptr) {
                Report(SMSG_MODE_FOE_REMOVED, this);
                GenerateFighter();
                if (enemy != nullptr) {
                    if (pegfp->first_init != 0)
                        Report(SMSG_MODE_FOE_ADDED, enemy);
                    else
                        Hand();
                }
            } else if (pegfp->first_init != 0 && enemy->mode == 0) {
                if (Enemy* e = AsEnemy(enemy))
                    e->StartFighting();
            }
        }
        if (enemy != nullptr && !enemykilled && (enemy->flags & (kOutOfPlay | kKilled))) {
            enemykilled = true;
            Report(SMSG_MODE_FOE_REMOVED, this);
        }
        return 0;
    }
    case OM_SPECIAL:
        break;
    case OM_DIE:
        free(pSpline);
        free(pegfp);
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
        if (pegfp != nullptr)
            Report(SMSG_MODE_FOE_REMOVED, enemy);
        break;
    case SMSG_EV_ENEMY_REMOVED:
        if (m.obj == enemy)
            enemy = nullptr;
        break;
    case SMSG_MODE_START:
        if (pegfp == nullptr)
            return 0;
        if (gameeventobj != nullptr && started) {
            if (enemy != nullptr)
                Hand();
            return 0;
        }
        gameeventobj = m.obj;
        Report(SMSG_MODE_FOE_ADDED, this);
        if (pegfp->first_init != 0) {
            Report(SMSG_MODE_FOE_REMOVED, this);
            if (!started)
                GenerateFighter();
            if (enemy != nullptr)
                Hand();
        }
        started = true;
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// Guards

Object* RemoveEnemyTarget(Object* obj)
{
    Object* arrow = obj != nullptr ? obj->FindSubObject(1001) : nullptr;
    return arrow != nullptr ? DoTargetEffectOnObject(arrow) : nullptr;
}

int EnemyGenGuard::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<EnemyGenGuard>();
    return static_cast<EnemyGenGuard*>(o)->mh(msg, data);
}

// Every guard belongs to stage 1.
void EnemyGenGuard::Report(int code, Object* o)
{
    SendSpecial(gameeventobj, code, o, 1);
}

void EnemyGenGuard::RemoveArrow()
{
    if (pHudArrowObj == nullptr)
        return;
    pHudArrowObj->Detach();
    world.StopAnimating(pHudArrowObj);
    pHudArrowObj->Delete();
    pHudArrowObj = nullptr;
}

void EnemyGenGuard::ForgetTarget()
{
    RemoveEnemyTarget(enemy);
    if (g_pgcTest != nullptr)
        for (Object*& t : g_pgcTest->rvpSubMissionTargets)
            if (t == enemy && enemy != nullptr)
                t = nullptr;
}

void EnemyGenGuard::GenerateGuard()
{
    const EnemyGenGuard_params& p = *peggp;
    const int slot = EnemyModelSlot(p.character, 49);
    if (slot < 0) {
        static bool said = false;
        ReportOnce(said, "a guard's model slot is past the registry: character", p.character);
        return;
    }
    Enemy* e = MakeEnemy("ShooterEnemy", slot, this, p.id, p.badass);
    if (e == nullptr)
        return;
    e->shootweapontype = p.gun != 0 ? s16(WEAP_PISTOL_RUGER) : s16(-1);
    e->vobank = p.vo_bank;
    e->strength = 100.0f;
    e->startmat = mat;
    e->maxwander = 0.0f;
    e->arrivepath = nullptr;
    e->movepath = pSpline;
    e->delay = KVWorld::RecordFrames(p.delay);
    e->iscivilian = p.type == 1;
    Enemy::UseGuardIdles();
    pHudArrowObj = nullptr;
    // A guard beyond the 16 targets the map shows is still a guard.
    if (g_pgcTest != nullptr)
        for (Object*& t : g_pgcTest->rvpSubMissionTargets)
            if (t == nullptr) {
                t = e;
                break;
            }
    if (p.style == 1) {
        e->behavior = Enemy::HIDING;
        e->Start_Guard_Check();
    } else {
        e->behavior = Enemy::MOVING;
        e->patht = -1.0f;
        if (pSpline != nullptr)
            e->Start_Guard_Patrol();
        else
            e->Start_Guard();
    }
    SetTintSet(e, p.tint, false);
    enemy = e;
}

int EnemyGenGuard::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= kStaticEntity | OBJF_NOCOLLISION;
        enemy = nullptr;
        enemyhibernating = enemykilled = false;
        if (g_pgcTest == nullptr || !g_pgcTest->bCinematicOnly)
            flags |= OBJF_FRAMECALL;
        else if (peggp != nullptr && peggp->first_init != 0)
            StandStillFigure(this, EnemyModelSlot(peggp->character, 49), peggp->id, peggp->tint);
        return 0;
    case OM_FRAME: {
        Object* player = PlayerObject();
        if (peggp == nullptr || player == nullptr)
            return 0;
        const EnemyGenGuard_params& p = *peggp;
        const bool distSet = p.init_distance > 0.0f, volSet = p.init_trigger.IsValid();
        const float reach = p.init_distance * kPlacementUnit;
        const VectorPos here = player->GetWorldPos();
        const bool inDist = distSet && Dist2(here, GetWorldPos()) <= reach * reach;
        const bool inVol = volSet && p.init_trigger.Within(here);
        if (enemy == nullptr) {
            if ((!distSet && !volSet) || inDist || inVol) {
                Report(SMSG_MODE_FOE_REMOVED, this);
                GenerateGuard();
                if (enemy == nullptr)
                    return 0;
                if (distSet && volSet && !(inDist && inVol)) {
                    if (Enemy* e = AsEnemy(enemy))
                        e->Hibernate();
                    enemyhibernating = true;
                }
                Report(SMSG_MODE_FOE_ADDED, enemy);
            }
        } else if (enemyhibernating) {
            if ((!distSet || inDist) && (!volSet || inVol)) {
                if (Enemy* e = AsEnemy(enemy))
                    e->UnHibernate();
                enemyhibernating = false;
            }
        } else if (!enemykilled && (enemy->flags & kOutOfPlay)) {
            enemykilled = true;
        }
        return 0;
    }
    case OM_SPECIAL:
        break;
    case OM_DIE:
        free(pSpline);
        free(peggp);
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    const bool fromGuard = m.obj != nullptr && m.obj == enemy;
    switch (m.submsg) {
    case 23010:   // the target busted
    case SMSG_EV_TARGET_SPOTTED:
    case SMSG_EV_TARGET_LOST:
        RemoveArrow();
        if (m.submsg == SMSG_EV_TARGET_SPOTTED && enemy != nullptr)
            pHudArrowObj = AttachTargetArrow(enemy, VectorPos(0.0f, -0.625f, 0.0f), 20);
        break;
    case 23014:   // the guard is done with
        if (fromGuard) {
            ForgetTarget();
            enemy = nullptr;
        }
        break;
    case 23029:
        if (fromGuard)
            RemoveArrow();
        break;
    case SMSG_EV_CHARACTER_DIED:
        Report(SMSG_MODE_FOE_REMOVED, enemy);
        break;
    case SMSG_EV_ENEMY_SUBDUED:
        if (fromGuard)
            ForgetTarget();
        Report(SMSG_MODE_FOE_REMOVED, enemy);
        break;
    case SMSG_EV_ENEMY_REMOVED:
        if (fromGuard)
            enemy = nullptr;
        break;
    case SMSG_MODE_START:
        gameeventobj = m.obj;
        if (peggp == nullptr)
            return 0;
        if (gameeventobj != nullptr)
            Report(SMSG_MODE_FOE_ADDED, this);
        if (peggp->first_init != 0) {
            Report(SMSG_MODE_FOE_REMOVED, this);
            if (!started)
                GenerateGuard();
            if (enemy != nullptr)
                Report(SMSG_MODE_FOE_ADDED, enemy);
        }
        started = true;
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}
