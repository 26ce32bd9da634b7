// The mode controllers' shared protocol, and the fist fight and the
// shoot-out, which run on stage lists of the enemies their generators make.
#include "game/GameFEnt.h"

#include <cmath>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/BadGuy.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

constexpr u32 kCheckTime = 3840;   // 15 frames
constexpr int kNever = 0x7FFFFFFF;
constexpr int kCleared = 63;
constexpr u32 kOutOfPlay = 0x20000000 | 0x40000000;

void* TimerData(int d) { return reinterpret_cast<void*>(intptr_t(d)); }

Name nameFight("FightMissionController", int(reinterpret_cast<intptr_t>(&FightMissionController::staticmh)));
Name nameShootout("ShootoutMissionController", int(reinterpret_cast<intptr_t>(&ShootoutMissionController::staticmh)));

bool IsPlayer(const Object* o) { return o != nullptr && o->id == -1; }

}  // namespace

// ---------------------------------------------------------------------------
// The protocol

Object* PlayerObject()
{
    if (dace != nullptr && !dace->IsDead())
        return dace;
    return world.objectlist.Find(-1);
}

int SendSpecial(Object* to, int code, Object* obj, Variant p0)
{
    if (to == nullptr)
        return 0;
    SpecialMessage m(code, obj, p0);
    return to->SendMessage(OM_SPECIAL, &m);
}

void ForwardGameEvent(Object* gameeventobj, const SpecialMessage& m)
{
    if (gameeventobj != nullptr && IsGameEvent(m.submsg))
        gameeventobj->SendMessage(OM_SPECIAL, const_cast<SpecialMessage*>(&m));
}

int ModeNow()
{
    return world.time;
}

bool ModeMayStart()
{
    return g_pgcTest == nullptr || !g_pgcTest->bCinematic;
}

void StageController::AddStageObject(Object* o, int stage)
{
    if (o == nullptr || stage < 0 || stage > 64)
        return;
    StageObjects[stage].Remove(o);
    StageObjects[stage].AddTail(o);
}

void StageController::RemoveStageObject(Object* o, int stage)
{
    if (stage >= 0 && stage <= 64)
        StageObjects[stage].Remove(o);
}

void StageController::UpdateStage()
{
    while (iStage > 0 && iStage < kCleared && StageObjects[iStage].IsEmpty())
        iStage++;
}

void StageController::ClearAllStages()
{
    for (ObjectList& l : StageObjects)
        l.RemoveAll();
}

int StageController::TotalStageObjects() const
{
    int n = 0;
    for (const ObjectList& l : StageObjects)
        n += l.Count();
    return n;
}

bool StageController::StageMessage(const SpecialMessage& m, bool lowerOnAdd, int* reply)
{
    *reply = 0;
    const int stage = m.param[0];
    switch (m.submsg) {
    case SMSG_MODE_GET_STAGE:
        *reply = iStage;
        return true;
    case SMSG_MODE_SET_STAGE:
        if (stage >= 0 && stage <= 64)
            iStage = stage;
        return true;
    case SMSG_MODE_FOE_REMOVED:
        RemoveStageObject(m.obj, stage);
        return true;
    case SMSG_MODE_FOE_ADDED:
        if (stage < 0 || stage > 64)
            return true;
        AddStageObject(m.obj, stage);
        if (lowerOnAdd && stage < iStage)
            iStage = stage;
        return true;
    default:
        return false;
    }
}

void GunMusic::Start()
{
    firstdaceaction = kNever;
    lastdaceidle = ModeNow();
}

void GunMusic::Event(int code)
{
    if (code == SMSG_EV_PLAYER_FIRED || code == SMSG_EV_PLAYER_GUN_JUMP) {
        if (firstdaceaction == kNever)
            firstdaceaction = ModeNow();
    } else if (code == SMSG_EV_PLAYER_GUN_MODE) {
        firstdaceaction = kNever;
        lastdaceidle = ModeNow();
    }
}

void GunMusic::Frame()
{
    const bool active = firstdaceaction != kNever;
    const int d = ModeNow() - (active ? firstdaceaction : lastdaceidle);
    if (d >= 60 && d % 60 == 0)
        bgm.Event(active ? SoundEvent_HeatUp : SoundEvent_CoolDown);
}

// ---------------------------------------------------------------------------
// The fist fight

int FightMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<FightMissionController>();
    return static_cast<FightMissionController*>(o)->mh(msg, data);
}

namespace {

// The fight's orders go into the foes' own fields; a foe that is not an
// enemy has none and only takes its place on the rosters.
void SetFoeAttackMode(Object* foe, Enemy::AttackMode m)
{
    if (Enemy* e = AsEnemy(foe))
        e->attackmode = m;
}

void SetFoeFightPos(Object* foe, VectorPos p)
{
    if (Enemy* e = AsEnemy(foe))
        e->fightpos = p;
}

}  // namespace

void FightMissionController::RecountActive()
{
    if (pfmp == nullptr)
        return;
    const int all = numpassivefoes + numactivefoes;
    if (pfmp->init_active == 1)
        minfoesactive = all / 2;
    else if (pfmp->init_active == 2)
        minfoesactive = all;
}

bool FightMissionController::AddPassiveFoe(Object* e)
{
    if (e == nullptr || numpassivefoes >= MAXFOES) {
        if (e != nullptr)
            printf("FightMissionController: the sideline is full; a foe is turned away\n");
        return false;
    }
    SetFoeAttackMode(e, Enemy::AM_PASSIVE);
    passivefoes[numpassivefoes++] = e;
    RecountActive();
    return true;
}

bool FightMissionController::AddActiveFoe(Object* e)
{
    if (e == nullptr || numactivefoes >= MAXFOES)
        return false;
    SetFoeAttackMode(e, numactivefoes == 0 ? Enemy::AM_FRONT : Enemy::AM_ACTIVE);
    activefoes[numactivefoes++] = e;
    RecountActive();
    return true;
}

void FightMissionController::PassivateFoe(int i)
{
    if (i < 0 || i >= numactivefoes)
        return;
    Object* e = activefoes[i];
    SetFoeAttackMode(e, Enemy::AM_PASSIVE);
    if (!AddPassiveFoe(e))
        return;
    activefoes[i] = activefoes[--numactivefoes];
}

void FightMissionController::ActivateFoe(int i)
{
    if (i < 0 || i >= numpassivefoes)
        return;
    Object* e = passivefoes[i];
    SetFoeAttackMode(e, Enemy::AM_ACTIVE);
    if (!AddActiveFoe(e))
        return;
    passivefoes[i] = passivefoes[--numpassivefoes];
    if (numactivefoes == 1) {
        lastfrontswitch = ModeNow();
        SetFoeAttackMode(activefoes[0], Enemy::AM_FRONT);
    }
}

void FightMissionController::MoveFoeToFront(int i)
{
    if (i <= 0 || i >= numactivefoes)
        return;
    Object* e = activefoes[0];
    activefoes[0] = activefoes[i];
    activefoes[i] = e;
}

namespace {

int Closest(Object* const* foes, int from, int n)
{
    Object* player = PlayerObject();
    if (player == nullptr)
        return from < n ? from : -1;
    const VectorPos p = player->GetWorldPos();
    int best = -1;
    float bestd = 0.0f;
    for (int i = from; i < n; i++) {
        const float d = Length(VectorDir(foes[i]->GetWorldPos() - p));
        if (best < 0 || d < bestd) {
            best = i;
            bestd = d;
        }
    }
    return best;
}

}  // namespace

int FightMissionController::FindClosestActiveFoe(bool includefrontactivefoe) const
{
    return Closest(activefoes, includefrontactivefoe ? 0 : 1, numactivefoes);
}

int FightMissionController::FindClosestPassiveFoe() const
{
    return Closest(passivefoes, 0, numpassivefoes);
}

void FightMissionController::Frame()
{
    UpdateStage();
    while (numactivefoes < minfoesactive && numpassivefoes > 0) {
        const int i = FindClosestPassiveFoe();
        if (i < 0)
            break;
        ActivateFoe(i);
    }
    Object* player = PlayerObject();
    if ((numactivefoes == 0 && numpassivefoes == 0) || player == nullptr)
        return;
    const Matrix pm = player->GetWorldMatrix();
    const VectorPos P = pm.GetTrans();
    VectorDir F(pm.z[0], 0.0f, pm.z[2]);
    VectorDir S(pm.x[0], 0.0f, pm.x[2]);

    // Foes dying or dead leave the rosters.
    for (int i = 0; i < numactivefoes; i++)
        if (activefoes[i]->flags & 0xF0000000)
            activefoes[i] = activefoes[--numactivefoes];
    for (int i = 0; i < numpassivefoes; i++)
        if (passivefoes[i]->flags & 0xF0000000)
            passivefoes[i] = passivefoes[--numpassivefoes];

    const int now = ModeNow();
    if (player->mode == 3 && now - lastfrontswitch > 60 && (player != dace || dace->attackidle >= 61) && numactivefoes > 0) {
        int best = -1;
        float bestd = 0.0f;
        for (int i = 0; i < numactivefoes; i++) {
            const VectorDir d = activefoes[i]->GetWorldPos() - P;
            const float d2 = Dot(d, d);
            if (best < 0 || d2 < bestd) {
                best = i;
                bestd = d2;
            }
        }
        MoveFoeToFront(best);
        lastfrontswitch = now;
    }
    if (numactivefoes > 0) {
        VectorDir D = Normalise(VectorDir(activefoes[0]->GetWorldPos() - P));
        D[1] = 0.0f;
        F = D;
        S = VectorDir(D[2], 0.0f, -D[0]);
    }
    for (int i = 1; i < numactivefoes; i++) {
        float a = float(i / 2) * EnemySpreadAngle;
        if (i & 1)
            a = -a;
        SetFoeFightPos(activefoes[i],
                       P - F * (SurroundRangeDist * std::cos(a)) + S * (SurroundRangeDist * std::sin(a)));
    }
    for (int j = 0; j < numpassivefoes; j++) {
        const int n = j + 1;
        float a = float(n / 2) * EnemySpreadAngle;
        if ((n & 1) == 0)
            a = -a;
        SetFoeFightPos(passivefoes[j], P + F * (SidelineDist * std::cos(a)) + S * (SidelineDist * std::sin(a)));
    }
}

void FightMissionController::ApplyActivationChange()
{
    switch (activationChange) {
    case ACTCHANGE_INCREASE:
        minfoesactive++;
        while (numactivefoes < minfoesactive && numpassivefoes > 0)
            ActivateFoe(FindClosestPassiveFoe());
        break;
    case ACTCHANGE_DECREASE:
        if (minfoesactive >= 2)
            minfoesactive--;
        while (numactivefoes > minfoesactive) {
            const int i = FindClosestActiveFoe(false);
            if (i < 0)
                break;
            PassivateFoe(i);
        }
        break;
    case ACTCHANGE_ONE:
        minfoesactive = 1;
        break;
    case ACTCHANGE_ALL:
        while (numpassivefoes > 0)
            ActivateFoe(FindClosestPassiveFoe());
        break;
    default:
        break;
    }
}

void FightMissionController::RemoveFoe(Object* e)
{
    for (int i = 0; i < numactivefoes; i++) {
        if (activefoes[i] != e)
            continue;
        activefoes[i] = activefoes[--numactivefoes];
        if (i == 0 && numactivefoes > 0) {
            SetFoeAttackMode(activefoes[0], Enemy::AM_FRONT);
            if (numactivefoes == 1)
                lastfrontswitch = ModeNow();
        }
        break;
    }
    for (int i = 0; i < numpassivefoes; i++)
        if (passivefoes[i] == e) {
            passivefoes[i] = passivefoes[--numpassivefoes];
            break;
        }
}

void FightMissionController::KnockdownCue(Object* c)
{
    if (c != nullptr && c->type == OBJT_CHARACTER && static_cast<Guy*>(c)->strength != 0.0f)
        bgm.Event(IsPlayer(c) ? SoundEvent_DaceKnockdown : SoundEvent_EnemyKnockdown);
}

void FightMissionController::RelayToFoes(const SpecialMessage& m)
{
    SpecialMessage copy = m;
    for (int i = 0; i < numactivefoes; i++)
        activefoes[i]->SendMessage(OM_SPECIAL, &copy);
    for (int i = 0; i < numpassivefoes; i++)
        passivefoes[i]->SendMessage(OM_SPECIAL, &copy);
}

void FightMissionController::StartMission()
{
    printf("Fight: begun\n");
    AddScreenText("FIGHT VOSK", STP_MISSION);
    world.StopTimer(this);
    DaceVO.Play(DaceVO_CombatStart, 0);
    world.SetTimer(this, AnimTime(kCheckTime), TimerData(0));
    starttime = ModeNow();
}

void FightMissionController::AbortMission()
{
    printf("Fight: lost\n");
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

void FightMissionController::FinishMission()
{
    printf("Fight: won\n");
    SendSpecial(PlayerObject(), SMSG_MODE_FINISHED, this);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
}

int FightMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        SurroundRangeDist = 1.875f;
        SidelineDist = 3.125f;
        EnemySpreadAngle = 0.6981317f;
        numactivefoes = numpassivefoes = 0;
        lastupdate = 0;
        iStage = 1;
        if (pfmp != nullptr) {
            minfoesactive = pfmp->init_active != 0 ? 0 : 1;
            activationChange = pfmp->act_change <= 3 ? int(pfmp->act_change) : int(ACTCHANGE_ALL);
        } else {
            minfoesactive = 1;
            activationChange = ACTCHANGE_NO_CHANGE;
        }
        flags |= OBJF_FRAMECALL;
        return 0;
    case OM_FRAME:
        Frame();
        if (ModeNow() - lastattackhit >= 181)
            bgm.Event(SoundEvent_CoolDown);
        lastupdate = ModeNow();
        return 0;
    case OM_TIMER:
        if (iStage >= kCleared && (g_pgcTest == nullptr || !(g_pgcTest->iFlags & GCF_PLACEMENT)))
            FinishMission();
        else
            world.SetTimer(this, AnimTime(kCheckTime), TimerData(0));
        return 0;
    case OM_DIE:
        ClearAllStages();
        delete this;
        return -1;
    case OM_SPECIAL:
        break;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    Object* obj = m.obj;
    Object* player = PlayerObject();
    int reply = 0;
    switch (m.submsg) {
    case 23003:   // a blow of the player's landed
        KnockdownCue(obj);
        break;
    case 23004:   // knocked down
        if (IsPlayer(obj)) {
            bgm.Event(SoundEvent_DaceKnockedOut);
            RelayToFoes(m);
        } else if (obj != nullptr) {
            bgm.Event(TotalStageObjects() == 1 ? SoundEvent_LastEnemyKnockedOut : SoundEvent_EnemyKnockdown);
        }
        break;
    case SMSG_EV_HIT_UNBLOCKED:
        if (obj != nullptr && !IsPlayer(obj)) {
            SpecialMessage copy = m;
            if (player != nullptr)
                player->SendMessage(OM_SPECIAL, &copy);
            reply = 1;
        }
        break;
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
    case SMSG_EV_ENEMY_REMOVED:
        if (IsPlayer(obj)) {
            AbortMission();
            KnockdownCue(obj);
            break;
        }
        if (player != nullptr) {
            SpecialMessage copy = m;
            player->SendMessage(OM_SPECIAL, &copy);
        }
        if (m.submsg == SMSG_EV_CHARACTER_DIED) {
            if (TotalStageObjects() >= 2)
                SendSpecial(obj, SMSG_MODE_BODY_TIMEOUT, this, ModeNow() + 240);
            ApplyActivationChange();
        }
        if (m.submsg != SMSG_EV_ENEMY_SUBDUED)
            RemoveFoe(obj);
        KnockdownCue(obj);
        break;
    case SMSG_EV_ATTACK_STARTED:
        if (IsPlayer(obj)) {
            RelayToFoes(m);
        } else if (player != nullptr) {
            SpecialMessage copy = m;
            player->SendMessage(OM_SPECIAL, &copy);
        }
        reply = 1;
        break;
    case 23008:   // an attack hit
    case 23009:   // an attack blocked
        if (ModeNow() - lastattackhit < 121)
            bgm.Event(SoundEvent_HeatUp);
        lastattackhit = ModeNow();
        break;
    case 23015:   // how many foes the player faces
        if (IsPlayer(obj))
            reply = numactivefoes + numpassivefoes;
        break;
    case SMSG_EV_ADD_PASSIVE_FOE:
        AddPassiveFoe(obj);
        break;
    case 23049:   // frames since the fight began
        reply = ModeNow() - starttime;
        break;
    case SMSG_MODE_START:
        if (ModeMayStart())
            StartMission();
        break;
    case SMSG_MODE_END:
        AbortMission();
        break;
    case SMSG_MODE_FINISHED:
        FinishMission();
        break;
    default:
        StageMessage(m, true, &reply);
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return reply;
}

// ---------------------------------------------------------------------------
// The shoot-out

int ShootoutMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<ShootoutMissionController>();
    return static_cast<ShootoutMissionController*>(o)->mh(msg, data);
}

void ShootoutMissionController::StartMission()
{
    AddScreenText("SHOOT SPA CREW", STP_MISSION);
    DaceVO.Play(DaceVO_GunsStart, 150);
    world.StopTimer(this);
    world.SetTimer(this, AnimTime(kCheckTime), TimerData(0));
}

void ShootoutMissionController::AbortMission()
{
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

void ShootoutMissionController::FinishMission()
{
    DaceVO.Play(DaceVO_GunsFinish, 0);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
    SendSpecial(PlayerObject(), SMSG_MODE_FINISHED, this);
}

int ShootoutMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        iStage = psmp != nullptr ? psmp->startstage : 1;
        flags |= OBJF_FRAMECALL;
        music.Start();
        return 0;
    case OM_FRAME:
        music.Frame();
        UpdateStage();
        return 0;
    case OM_TIMER: {
        Object* player = PlayerObject();
        const bool playerDown = player != nullptr && (player->flags & kOutOfPlay) != 0;
        if (iStage >= kCleared && (g_pgcTest == nullptr || !(g_pgcTest->iFlags & GCF_PLACEMENT)) && !playerDown)
            FinishMission();
        else
            world.SetTimer(this, AnimTime(kCheckTime), TimerData(0));
        return 0;
    }
    case OM_DIE:
        ClearAllStages();
        delete this;
        return -1;
    case OM_SPECIAL:
        break;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    Object* obj = m.obj;
    Object* player = PlayerObject();
    int reply = 0;
    switch (m.submsg) {
    case 23004:   // knocked down
        if (IsPlayer(obj)) {
            bgm.Event(SoundEvent_DaceShotDead);
        } else if (obj != nullptr && player != nullptr) {
            SpecialMessage copy = m;
            player->SendMessage(OM_SPECIAL, &copy);
        }
        break;
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
        if (IsPlayer(obj)) {
            AbortMission();
            break;
        }
        if (player != nullptr) {
            SpecialMessage copy = m;
            player->SendMessage(OM_SPECIAL, &copy);
        }
        if (TotalStageObjects() >= 2)
            SendSpecial(obj, SMSG_MODE_BODY_TIMEOUT, this, ModeNow());
        else
            bgm.Event(SoundEvent_LastEnemyNeutralized);
        break;
    case SMSG_EV_PLAYER_FIRED:
    case SMSG_EV_PLAYER_GUN_JUMP:
    case SMSG_EV_PLAYER_GUN_MODE:
        music.Event(m.submsg);
        break;
    case SMSG_MODE_START:
        if (ModeMayStart())
            StartMission();
        break;
    case SMSG_MODE_END:
        AbortMission();
        break;
    case SMSG_MODE_FINISHED:
        FinishMission();
        break;
    default:
        StageMessage(m, false, &reply);
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return reply;
}
