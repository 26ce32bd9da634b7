// The random-crime controller: its handler, its states and its life cycle.
#include "game/RandomCrimes.h"

#include <cstdio>

#include "game/GameAudio.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/RandomCrimesLocal.h"

// The fight sub-controller of a crime takes no figures of its own.
ControllerCombat_params DefaultControllerCombatParams = {0, 0, 0, 0};

// A crime's tail: no runner record of its own; too close within 9.375 for
// 300 frames, too far beyond 62.5 for 300 frames; being seen does not end it.
TailMissionParams DefaultTailMissionParams = {nullptr, 0, 0, 9.375f, 300.0f, 62.5f, 300.0f, false, nullptr};

// The suspects a crime adds: walking, unaware, fists only.
EnemyGenRunner_params DefaultEnemyParams = {
    .character = 0, .pad1 = {}, .id = -110, .weapon = 0, .caronly = 0, .walking = 1, .oblivious = 1,
    .shoot = 0.0f, .command = 0.0f, .fight = 1.0f, .init_strength = 100, .pad21 = {}, .badass = 1.0f,
    .handweapon = 0, .first_tint = 0, .rnd_tint = 0, .pad31 = {}};

// The officers of a police call.
EnemyGenRunner_params DefaultCopParams = {
    .character = 0, .pad1 = {}, .id = -196, .weapon = 0, .caronly = 0, .walking = 1, .oblivious = 1,
    .shoot = 0.0f, .command = 0.0f, .fight = 1.0f, .init_strength = 100, .pad21 = {}, .badass = 1.0f,
    .handweapon = 0, .first_tint = 0, .rnd_tint = 0, .pad31 = {}};

// The police car of a police call.
Vehicle_params DefaultCopCarParams = {.vehicle = 0, .tint = 0, .id = -226, .init_strength = 100};


namespace msg = rcmsg;
using namespace rcrime;

namespace {

// The player has left the crime alone when no suspect is this near (a
// squared distance) and none has been drawn for this many frames.
constexpr float kLapseDist2 = 7.8125f;
constexpr int kLapseUnseenFrames = 181;
// Checks of a crime left alone, after the first.
constexpr int kLapseRecheck = 900;
// Between asset checks while the cast streams in.
constexpr int kAssetCheck = 60;
// A getaway crime's suspects make for their car this long after engaging.
constexpr int kGetawayDelay = 600;
// The controller goes this long after its end.
constexpr int kDestroyDelay = 180;
// The police car is sent away this long after the call.
constexpr int kPoliceStay = 301;
// The world's normal playback speed, given back at the end of a crime.
constexpr float kNormalPlayback = 1.2f;

// HUD flag under which the tail-distance and spook meters are drawn.
constexpr u32 kMDFTailMeters = 0x2000000;

void Engage(RandomMissionController& c)
{
    c.mode = RCM_ENGAGED;
    c.enemyengaged = true;
}

// Once the police have stayed their time: siren off and the car away.
void SendPoliceAway(RandomMissionController& c)
{
    Vehicle* car = AsVehicle(c.lastcopcar);
    if (c.lastcop[0] == nullptr || c.lastcop[1] == nullptr || car == nullptr || car->IsDead() || !car->HasDriver())
        return;
    Send(car, msg::SMSG_CD_RESUME);
    DriveOrder(car->rcoDriver, 6, nullptr, PointAround(car->GetWorldPos(), kDriveSpread));
}

void CrimeTimer(RandomMissionController& c, int id)
{
    switch (id) {
    case RCT_LOADING: c.RCCheckLoading(); break;
    case RCT_INACTIVE: c.RCCheckInactive(); break;
    case RCT_ACTIVE: c.RCCheckActive(); break;
    case RCT_GETAWAY: {
        if (!c.getaway)
            break;
        Vehicle* v = c.GetVehicle(-200);
        if (Object* d = OrderableDriver(v)) {
            Send(d, msg::SMSG_CD_HOLD, nullptr, 1);
            v->mode = 0;
        }
        // Without the car there is nothing to get into.
        if (v != nullptr) {
            SpecialMessage m(msg::SMSG_GET_IN_CAR, v);
            c.SendMessageToRange(&m, -150, -101);
        }
        break;
    }
    case RCT_DESTROY: c.RCCheckDestroy(); break;
    default: break;
    }
}

// The player's doings, 23064..23066, told to every suspect as 104..106.
void RelayPlayerEvent(RandomMissionController& c, int code)
{
    if (c.emergent) {
        for (int k = 0; k < 16; k++)
            Send(c.emEnemy[k], code, dace);
    } else {
        for (int k = 0; k < c.i16numegi; k++) {
            if (c.regi[k].pegr != nullptr)
                Send(c.regi[k].pegr->enemy, code, dace);
        }
    }
}

void AssignEmergentEnemy(RandomMissionController& c, const SpecialMessage& m)
{
    Bystander* b = AsBystander(m.obj);
    if (c.iNumEmergentEnemies >= 16 || b == nullptr)
        return;
    b->gameeventobj = nullptr;
    Enemy* e = b->MorphIntoRunner(-1, 0.0f, 0.0f, 1.0f, -1, nullptr, false);
    if (e == nullptr)
        return;
    c.emEnemy[c.iNumEmergentEnemies++] = e;
    e->id = s16(int(m.param[0]));
    e->gameeventobj = &c;
}

void AssignEmergentBystander(RandomMissionController& c, const SpecialMessage& m)
{
    // Only a character other than the player can play the victim.
    Object* o = m.obj;
    if (c.iNumEmergentBystanders >= 16 || o == nullptr || o->type != OBJT_CHARACTER || o->id == -1)
        return;
    c.emBystander[c.iNumEmergentBystanders++] = o;
    o->id = s16(int(m.param[0]));
    static_cast<Guy*>(o)->gameeventobj = &c;
    if (Bystander* b = AsBystander(o))
        b->engagedincrime = true;
}

void AssignEmergentCar(RandomMissionController& c, const SpecialMessage& m)
{
    if (c.iNumEmergentCars >= 16 || m.obj == nullptr)
        return;
    c.emCar[c.iNumEmergentCars++] = m.obj;
    m.obj->id = s16(int(m.param[0]));
}

// A suspect got into a car: a getaway crime counts it; in the others the car
// drives off somewhere.
void EnemyInCar(RandomMissionController& c, Object* who)
{
    if (who == nullptr || who == dace)
        return;
    if (c.getaway) {
        c.iNumEnemiesInCar++;
        return;
    }
    Vehicle* v = AsVehicle(who->parent);
    if (Object* d = OrderableDriver(v))
        DriveOrder(d, 4, nullptr, PointAround(v->GetWorldPos(), kDriveSpreadWide));
}

// The tailed car arrived: it stops at the destination and the crime waits
// there for the player.
void TailArrived(RandomMissionController& c, Object* driver)
{
    printf("We're here, look around...\n");
    const VectorPos p = c.tailMatLoc.GetTrans();
    SpecialMessage m(msg::SMSG_CD_PINNED, &c, p[0], p[1], p[2]);
    if (driver != nullptr)
        driver->SendMessage(OM_SPECIAL, &m);
    c.carchase = false;
    c.mode = RCM_ACTIVE;
}

void Command(RandomMissionController& c, int entry)
{
    if (c.MissionCommander != nullptr)
        c.MissionCommander(&c, entry);
}

int CrimeSpecial(RandomMissionController& c, SpecialMessage* m)
{
    if (m == nullptr)
        return 0;
    switch (m->submsg) {
    case SMSG_EV_ENEMY_SURRENDERED:
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
        c.HandleSpecialEnemyDoneMessages(m);
        break;
    case SMSG_EV_HIT_UNBLOCKED:
        if (m->obj != nullptr && m->obj->id != -1 && dace != nullptr)
            dace->SendMessage(OM_SPECIAL, m);
        break;
    case SMSG_EV_ATTACK_STARTED:
        if (m->obj == nullptr)
            break;
        if (m->obj->id != -1) {
            if (dace != nullptr)
                dace->SendMessage(OM_SPECIAL, m);
        } else {
            for (int k = 0; k < c.i16numegi; k++) {
                if (c.regi[k].pegr != nullptr && c.regi[k].pegr->enemy != nullptr)
                    c.regi[k].pegr->enemy->SendMessage(OM_SPECIAL, m);
            }
        }
        break;
    case SMSG_EV_DRIVER_SHOT:
        if (c.pTailMissionController != nullptr && !c.tailspooked)
            Send(c.pTailMissionController, SMSG_EV_DRIVER_SHOT);
        break;
    case msg::SMSG_EV_THREATENED:
        c.iNumHostagesFreed++;
        break;
    case SMSG_EV_PLAYER_WARNING:
    case SMSG_EV_PLAYER_SHOTS_A:
    case SMSG_EV_PLAYER_SHOTS_B:
    case SMSG_EV_PLAYER_COMBAT:
    case SMSG_EV_CAR_NEAR_10:
    case SMSG_EV_CAR_NEAR_20:
    case 23061:
    case 23062:
        if (c.mode == RCM_ACTIVE_TAIL || c.mode == RCM_ACTIVE)
            c.HandleSpecialEngagedMessages(m);
        break;
    case msg::SMSG_EV_FRONT_ANIM:
        // The frames since the crime began; nothing else hears of it.
        return world.time - c.starttime;
    case SMSG_EV_ENEMY_IN_CAR:
        EnemyInCar(c, m->obj);
        break;
    case SMSG_EV_PLAYER_RESURRECTED:
        c.iNumEnemiesEscaped += c.iNumEnemiesLeft;
        c.EndMission();
        break;
    case SMSG_EV_RC_ASSIGN: AssignEmergentEnemy(c, *m); break;
    case SMSG_EV_RC_ASSIGN_B: AssignEmergentBystander(c, *m); break;
    case SMSG_EV_RC_ASSIGN_C: AssignEmergentCar(c, *m); break;
    case SMSG_EV_RUNNER_REACT:
        c.EnemyReactToDace(AsEnemy(m->obj));
        return 1;
    case SMSG_EV_ENEMY_OUT_OF_CAR:
        if (c.tail && !c.tailspooked)
            TailArrived(c, m->obj);
        else
            c.EnemyReactToStreet(AsEnemy(m->obj));
        break;
    case SMSG_EV_PLAYER_64:
    case SMSG_EV_PLAYER_65:
        if (c.mode == RCM_ENGAGED)
            RelayPlayerEvent(c, m->submsg - 23064 + 104);
        break;
    case SMSG_EV_PLAYER_66:
        RelayPlayerEvent(c, 106);
        break;
    case SMSG_EV_TAIL_ABORTED:
        printf("Lost the tail...\n");
        Command(c, 1);
        break;
    case SMSG_EV_TAIL_SPOOKED:
        printf("Tail got spooked...\n");
        Command(c, 2);
        break;
    case SMSG_EV_TAIL_FINISHED:
        printf("Followed tail to destination unspooked...\n");
        Command(c, 3);
        break;
    default:
        break;
    }
    c.DefaultSpecialMessages(m);
    if (IsGameEvent(m->submsg) && c.rcogameeventobj != nullptr)
        c.rcogameeventobj->SendMessage(OM_SPECIAL, m);
    return 0;
}

}  // namespace

RandomMissionController* NewRandomMissionController(Object* parent, RandMissParams* row)
{
    if (row == nullptr)
        return nullptr;
    auto* c = new RandomMissionController;
    if (c == nullptr)
        return nullptr;
    c->messagehandler = RandomMissionController::RandomMissionController_mh;
    c->prmp = row;
    c->i16Level = s16(row->iDifficulty);
    for (AssetLoadParams& a : c->ralp) {
        a.i16MFID = -1;
        a.pFName = nullptr;
    }
    c->rcogameeventobj = parent;
    c->pobjectlist = new ObjectList;
    c->rgi16UsedList[0] = -1;
    c->mode = RCM_INACTIVE;
    return c;
}

int RandomMissionController::RandomMissionController_mh(Object* o, OBJMESSAGE msg, void* data)
{
    return static_cast<RandomMissionController*>(o)->mh(msg, data);
}

int RandomMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_FRAME:
        RCFrame();
        return 0;
    case OM_INIT:
        RCInit();
        return 0;
    case OM_TIMER:
        CrimeTimer(*this, int(reinterpret_cast<intptr_t>(data)));
        return 0;
    case OM_DIE:
        DefaultDieHandler();
        delete this;
        return -1;
    case OM_SPECIAL:
        return CrimeSpecial(*this, static_cast<SpecialMessage*>(data));
    default:
        return 0;
    }
}

RandomMissionController::~RandomMissionController()
{
    if (pobjectlist != nullptr) {
        pobjectlist->RemoveAll();
        delete pobjectlist;
        pobjectlist = nullptr;
    }
    lastcopcar = nullptr;
    lastcop[0] = lastcop[1] = nullptr;
    for (int k = 0; k < 16; k++)
        emEnemy[k] = emBystander[k] = emCar[k] = nullptr;
    rcogameeventobj = nullptr;
}

void RandomMissionController::RCInit()
{
    const int index = prmp != nullptr ? prmp->iIndex : -1;
    const bool known = index >= 0 && index < 40;
    MissionCommander = known ? rprmchRandomMissionCommander[index] : nullptr;
    GetMissionPosition = known ? rprmchGetMissionPosition[index] : nullptr;
    if (prmp != nullptr) {
        emergent = prmp->emergent != 0;
        gunfight = prmp->gunfight != 0;
        policechase = prmp->policechase != 0;
        responsedist = prmp->responsedist;
        carchase = prmp->carchase != 0;
        getaway = prmp->getaway != 0;
        driveby = prmp->driveby != 0;
        tail = prmp->tail != 0;
    }
    tailspooked = dacepulledgun = pulldaceout = startgetaway = false;
    pFightMissionController = nullptr;
    pTailMissionController = nullptr;
    int wait = 0;
    if (!emergent && prmp != nullptr) {
        wait = prmp->minwait;
        if (prmp->minwait < prmp->maxwait)
            wait += int((s64(prmp->maxwait - prmp->minwait) * rand()) >> 31);
    }
    SetCrimeTimer(this, wait, RCT_LOADING);
    starttime = world.time;
    InitMissionParameters();
}

int RandomMissionController::InitMissionParameters()
{
    iLastTimeEnemiesInView = iCallTheCopsTime = world.time;
    lastcop[0] = lastcop[1] = nullptr;
    lastcopcar = nullptr;
    iNumEnemiesInCar = 0;
    fightstyle = -1;
    enemyengaged = false;
    onfoot = false;
    iNumEnemiesEscaped = iNumEnemiesBusted = iNumEnemiesSubdued = iNumEnemiesKilled = 0;
    iNumHostagesFreed = iNumHostagesKilled = iNumCopsKilled = 0;
    return -1;
}

int RandomMissionController::InitialiseMissionEmergentPointers()
{
    iNumEmergentEnemies = iNumEmergentBystanders = iNumEmergentCars = 0;
    for (int k = 0; k < 16; k++)
        emEnemy[k] = emBystander[k] = emCar[k] = nullptr;
    return 1;
}

void RandomMissionController::RCCheckLoading()
{
    if (emergent) {
        fightstyle = 5;
        Command(*this, 0);
        mode = RCM_ACTIVE;
        // Its cast is there already: no assets to wait for.
        SetCrimeTimer(this, 0, RCT_ACTIVE);
        return;
    }
    fightstyle = gunfight ? 5 : int((s64(rand()) * 6) >> 31);
    if (fightstyle != 5 && g_pgcTest != nullptr)
        g_pgcTest->LoadAnimGroup(fightstyle + 10);
    RequestAssets();
    SetCrimeTimer(this, kAssetCheck, RCT_ACTIVE);
}

// The crime takes the player's game events and shows itself.
static void Announce(RandomMissionController& c)
{
    c.SetNumMissionEnemies();
    Send(dace, SMSG_MODE_START, &c, 0);
    world.StartFrameCall(&c);
}

void RandomMissionController::RCCheckActive()
{
    if (emergent) {
        Announce(*this);
        AddScreenText(prmp->startmsg, STP_CENTER);
        mode = RCM_ACTIVE;
        SetCrimeTimer(this, prmp->timetodo, RCT_INACTIVE);
        return;
    }
    if (!CheckAssetsLoaded()) {
        SetCrimeTimer(this, kAssetCheck, RCT_ACTIVE);
        return;
    }
    if (GetMissionPosition != nullptr)
        GetMissionPosition(this);
    SetupInfoTables(matLoc, ralp[0].i16Index, i16Level);
    Announce(*this);
    DaceVO.PlayDispatcherVOTrack(12 + 2 * prmp->iIndex + (rand() & 1));
    AddScreenText(prmp->startmsg, STP_CENTER);
    if (tail) {
        mode = RCM_ACTIVE_TAIL;
    } else {
        mode = RCM_ACTIVE;
        SetCrimeTimer(this, prmp->timetodo, RCT_INACTIVE);
    }
    Command(*this, 0);
}

void RandomMissionController::RCCheckInactive()
{
    if (enemyengaged)
        return;
    if (enemydist2 > kLapseDist2 && world.time - iLastTimeEnemiesInView >= kLapseUnseenFrames)
        mode = RCM_INACTIVE;
    else
        SetCrimeTimer(this, kLapseRecheck, RCT_INACTIVE);
}

void RandomMissionController::RCCheckDestroy()
{
    Delete();
}

void RandomMissionController::RCFrame()
{
    if (mode != RCM_ACTIVE_TAIL)
        iNumEnemiesLeft = CheckAndUpdateEnemies(&enemydist2);
    switch (mode) {
    case RCM_INACTIVE: RCFrameInactive(); break;
    case RCM_ACTIVE_TAIL:
    case RCM_ACTIVE: RCFrameActive(); break;
    case RCM_HIBERNATE: RCFrameHibernate(); break;
    case RCM_ENGAGED: RCFrameEngaged(); break;
    case RCM_WRAPUP: RCFrameWrapup(); break;
    default: break;
    }
}

void RandomMissionController::RCFrameInactive()
{
    EndMission();
}

void RandomMissionController::RCFrameHibernate()
{
    CheckTargetVehicleStatus();
}

void RandomMissionController::RCFrameActive()
{
    float range = responsedist;
    Object* near = DaceProximityCheck(&range);
    if (carchase) {
        if (emergent) {
            Engage(*this);
            return;
        }
        Vehicle* v = near != nullptr ? AsVehicle(near->GetRoot()) : nullptr;
        if (v == nullptr) {
            CheckTargetVehicleStatus();
            return;
        }
        if (driveby) {
            world.StopTimer(this);
            if (Object* d = OrderableDriver(v))
                static_cast<CarDriver*>(d)->iCDFlags &= ~kCDFCrimeDriver;
        } else if (tail) {
            if (!tailspooked)
                return;
            printf("Tail was spooked!!!\n");
            world.StopTimer(this);
            AddScreenText("HE MADE YOU!  GET HIM!", STP_CENTER);
        } else {
            world.StopTimer(this);
            AddScreenText("PURSUE VEHICLE", STP_CENTER);
            Command(*this, 1);
        }
        Engage(*this);
        return;
    }
    if (near == nullptr)
        return;
    DrawReactionTimes(*this);
    if (getaway)
        SetCrimeTimer(this, kGetawayDelay, RCT_GETAWAY);
    Engage(*this);
}

void RandomMissionController::RCFrameEngaged()
{
    if (iNumEnemiesLeft == 0) {
        if (iNumEnemiesEscaped == iNumMissionEnemies) {
            ShowMissionStats();
            mode = RCM_INACTIVE;
        } else {
            if (!emergent && !policechase)
                CallTheCops(nullptr);
            UnlockMissionCars();
            ShowMissionStats();
            mode = RCM_WRAPUP;
        }
    }
    if (getaway && !startgetaway && iNumEnemiesLeft != 0 && iNumEnemiesInCar == iNumEnemiesLeft) {
        Vehicle* v = GetVehicle(-200);
        if (Object* d = OrderableDriver(v)) {
            DriveOrder(d, 4, nullptr, PointAround(v->GetWorldPos(), kDriveSpreadWide));
            startgetaway = true;
        }
    }
    auto each = [&](Enemy* e) {
        if (e == nullptr)
            return;
        if (!carchase && e->reactiontime != 0x7FFFFFFF && e->reactiontime < world.time)
            Send(e, msg::SMSG_REACT_TO, dace);
        if (CheckEnemyGetawayStatus(e) == 1)
            Send(e, msg::SMSG_STOP_CAR);
    };
    if (emergent) {
        for (int k = 0; k < 16; k++)
            each(AsEnemy(emEnemy[k]));
    } else {
        for (int k = 0; k < i16numegi; k++)
            each(regi[k].pegr != nullptr ? regi[k].pegr->enemy : nullptr);
    }
}

void RandomMissionController::RCFrameWrapup()
{
    if (world.time - iCallTheCopsTime >= kPoliceStay)
        SendPoliceAway(*this);
    if (enemydist2 > kLapseDist2 && world.time - iLastTimeEnemiesInView >= kLapseUnseenFrames) {
        mode = RCM_INACTIVE;
        SendPoliceAway(*this);
    }
}

void RandomMissionController::EndMission()
{
    UnlockMissionCars();
    DestroySubMissionControllers();
    UnloadFightingStyle();
    DestroyEnemies();
    LoseTheCops();
    ClearTheMapDisplay();
    world.StopTimer(this);
    world.SetPlaybackSpeed(kNormalPlayback);
    world.StopFrameCall(this);
    SetCrimeTimer(this, kDestroyDelay, RCT_DESTROY);
}

void RandomMissionController::DefaultDieHandler()
{
    UnlockMissionCars();
    DestroySubMissionControllers();
    UnloadFightingStyle();
    DestroyEnemies();
    LoseTheCops();
    ClearTheMapDisplay();

    const bool allEscaped = iNumEnemiesEscaped == iNumMissionEnemies;
    if (pobjectlist != nullptr) {
        for (ObjectLink* l = pobjectlist->Head(); !l->IsEOList(); l = l->Next()) {
            Object* o = l->data;
            if (o != nullptr && !o->IsDead() && o->parent != nullptr)
                o->Detach();
        }
        while (!pobjectlist->IsEmpty()) {
            Object* o = pobjectlist->Head()->data;
            // The link's reference may be the last one to an object already
            // destroyed; the storage stays until o is done with.
            RCptr<Object> hold(o);
            pobjectlist->Remove(o);
            if (o == nullptr || o->IsDead())
                continue;
            if (Vehicle* v = AsVehicle(o)) {
                // A car the player may have taken, or one left at the scene
                // of a crime he dealt with, stays in the street.
                if ((!allEscaped && enemyengaged) || !v->HasDriver() || v->rcoDriver->id == -1)
                    continue;
            }
            o->Delete();
        }
    }
    for (int k = 0; k < 16; k++) {
        Vehicle* v = AsVehicle(emCar[k]);
        if (v != nullptr && !v->IsDead() && (allEscaped || !enemyengaged) && OrderableDriver(v) != nullptr)
            v->Delete();
        emCar[k] = nullptr;
    }
    UnHoldLoadedAssets();
    g_GlobalMFI.DeleteMF(193, true);
    if (dace != nullptr) {
        Send(dace, SMSG_MODE_END, this);
        Send(dace, SMSG_MODE_START, rcogameeventobj, 0);
    }
    if (g_pgcTest != nullptr) {
        for (int k = 0; k < 8; k++)
            g_pgcTest->i16RCrimeCharRemap[k] = g_pgcTest->i16RCrimeVehRemap[k] = -1;
    }
}

void RandomMissionController::DestroySubMissionControllers()
{
    if (pFightMissionController != nullptr)
        pFightMissionController->Delete();
    if (pTailMissionController != nullptr)
        pTailMissionController->Delete();
    pFightMissionController = nullptr;
    pTailMissionController = nullptr;
}

void RandomMissionController::UnloadFightingStyle()
{
    if (emergent || gunfight || fightstyle == -1)
        return;
    if (fightstyle >= 0 && fightstyle <= 4 && g_pgcTest != nullptr)
        g_pgcTest->DestroyAnimGroup(fightstyle + 10);
    fightstyle = -1;
}

void RandomMissionController::ClearTheMapDisplay()
{
    if (g_pgcTest != nullptr && g_pgcTest->pmd != nullptr)
        g_pgcTest->pmd->ResetEnemies();
}

void RandomMissionController::SetFightMissionMode(ControllerCombat_params* params)
{
    auto* f = reinterpret_cast<FightMissionController*>(
        intptr_t(FightMissionController::staticmh(nullptr, OM_CREATE, nullptr)));
    fightparams = &DefaultControllerCombatParams;
    if (f == nullptr)
        return;
    f->gameeventobj = this;
    f->pfmp = params != nullptr ? params : fightparams;
    world.AddObject(f, nullptr);
    Send(f, SMSG_MODE_SET_STAGE, nullptr, 1);
    Send(f, SMSG_MODE_START, this);
    pFightMissionController = f;
}

void RandomMissionController::SetTailMissionMode(TailMissionParams* params, Enemy* enemy)
{
    auto* t = reinterpret_cast<TailMissionController*>(intptr_t(NewEntityReply<TailMissionController>()));
    tailparams = &DefaultTailMissionParams;
    if (t == nullptr)
        return;
    t->ptmp = params != nullptr ? params : tailparams;
    t->vpTailDest = tailMatLoc.GetTrans();
    t->bRandomMission = true;
    t->bStarted = true;
    t->target = enemy;
    t->gameeventobj = this;
    world.AddObject(t, nullptr);
    Send(t, SMSG_MODE_START, this);
    pTailMissionController = t;
    if (g_pgcTest != nullptr && g_pgcTest->pmd != nullptr)
        g_pgcTest->pmd->flags |= kMDFTailMeters;
}
