// The small mode controllers: the dragon and demon fights, free roaming,
// the impound lot where the player picks a car, the jet chase and the
// infiltration of a guarded place.
#include "game/GameFEnt.h"

#include <cstdio>
#include <cstdlib>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/BadGuy.h"
#include "game/Bystander.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/Mannequin.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

namespace {

constexpr char kDemonFile[] = "KORVALIS\\DemoData\\Char\\Demon.P2B";
constexpr int kDemonNodes = 136;
constexpr int kStages = 3;
constexpr int kFirstOfStage[kStages + 1] = {0, 3, 7, 12};
constexpr int kDemonId = -121;
constexpr u16 kCarNode = 0x8000;
constexpr float kCarClearance = 0.3125f;
enum { IMPOUND_OPEN = 0, IMPOUND_DONE = 10 };
enum { JET_RUNNING = 0, JET_OVER = 1 };

Name nameDragon("DragonMissionController", int(reinterpret_cast<intptr_t>(&DragonMissionController::staticmh)));
Name nameDemon("DemonMissionController", int(reinterpret_cast<intptr_t>(&DemonMissionController::staticmh)));
Name nameJet("LearJetChaseMissionController",
             int(reinterpret_cast<intptr_t>(&LearJetChaseMissionController::staticmh)));
Name nameInfiltrate("InfiltrateMissionController",
                    int(reinterpret_cast<intptr_t>(&InfiltrateMissionController::staticmh)));

bool IsPlayer(const Object* o) { return o != nullptr && o->id == -1; }

void ToPlayer(int code, Object* from)
{
    SendSpecial(PlayerObject(), code, from);
}

void GunsVoice(int line, int delay)
{
    DaceVO.Play(line, delay);
}

}  // namespace

// ---------------------------------------------------------------------------
// The dragon

int DragonMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<DragonMissionController>();
    return static_cast<DragonMissionController*>(o)->mh(msg, data);
}

void DragonMissionController::StartMission()
{
    GunsVoice(DaceVO_GunsStart, 150);
    world.StopTimer(this);
}

void DragonMissionController::FinishMission()
{
    GunsVoice(DaceVO_GunsFinish, 0);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
}

void DragonMissionController::AbortMission()
{
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

int DragonMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        music.Start();
        return 0;
    case OM_FRAME:
        music.Frame();
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    if (AnswerModeProtocol(this, m))
        return 0;
    switch (m.submsg) {
    case SMSG_EV_KNOCKED_DOWN:
        if (IsPlayer(m.obj))
            bgm.Event(SoundEvent_DaceShotDead);
        break;
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
        if (IsPlayer(m.obj)) {
            AbortMission();
        } else {
            bgm.Event(SoundEvent_LastEnemyNeutralized);
            FinishMission();
        }
        break;
    default:
        music.Event(m.submsg);
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// The demons

int DemonMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<DemonMissionController>();
    return static_cast<DemonMissionController*>(o)->mh(msg, data);
}

void DemonMissionController::FreeDemonFile()
{
    FreeLoadedModel(pmfDemon);
}

void DemonMissionController::StartStage()
{
    for (ObjectLink* l = StageObjects[iStage].Head(); !l->IsEOList(); l = l->Next())
        SendSpecial(l->data, SMSG_MODE_START, this);
}

void DemonMissionController::StartMission()
{
    AddScreenText("Watch out!", STP_CENTER);
    world.StopTimer(this);
    GunsVoice(DaceVO_GunsStart, 150);
    iStage = 0;
    FreeDemonFile();
    pmfDemon = LoadWholeModel(kDemonFile);
    auto creator = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("Demon")));
    if (pmfDemon == nullptr || creator == nullptr)
        return;
    int stage = 0;
    for (int i = 0; i < kDemons; i++) {
        while (i >= kFirstOfStage[stage + 1])
            stage++;
        Object* d = reinterpret_cast<Object*>(intptr_t(creator(reinterpret_cast<Object*>(pmfDemon), OM_CREATE, nullptr)));
        if (d == nullptr)
            break;
        pmfDemon->GetHierarchyTo(d, 0, 0);
        d->FindShadows();
        d->id = kDemonId;
        d->AllocBlendAnimHierarchy(kDemonNodes);
        world.AddObject(d, nullptr);
        StageObjects[stage].AddTail(d);
    }
    StartStage();
}

void DemonMissionController::FinishMission()
{
    GunsVoice(DaceVO_GunsFinish, 0);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
}

void DemonMissionController::AbortMission()
{
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

int DemonMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        music.Start();
        return 0;
    case OM_FRAME:
        music.Frame();
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        FreeDemonFile();
        for (ObjectList& l : StageObjects)
            l.RemoveAll();
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    if (AnswerModeProtocol(this, m))
        return 0;
    switch (m.submsg) {
    case SMSG_EV_KNOCKED_DOWN:
        if (IsPlayer(m.obj))
            bgm.Event(SoundEvent_DaceShotDead);
        break;
    case SMSG_EV_CHARACTER_DIED:
    case SMSG_EV_ENEMY_SUBDUED:
        if (IsPlayer(m.obj)) {
            AbortMission();
        } else if (iStage < kStages) {
            StageObjects[iStage].Remove(m.obj);
            while (iStage < kStages && StageObjects[iStage].IsEmpty()) {
                iStage++;
                if (iStage < kStages) {
                    StartStage();
                } else {
                    bgm.Event(SoundEvent_LastEnemyNeutralized);
                    FinishMission();
                }
            }
        }
        break;
    default:
        music.Event(m.submsg);
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// Free roaming

int WanderMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<WanderMissionController>();
    return static_cast<WanderMissionController*>(o)->mh(msg, data);
}

int WanderMissionController::mh(OBJMESSAGE msg, void* data)
{
    if (msg == OM_DIE) {
        delete this;
        return -1;
    }
    if (msg != OM_SPECIAL)
        return 0;
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_EV_PLAYER_WARNING: MessagePedestrians(56, m.obj); break;
    case SMSG_EV_PLAYER_SHOTS_A: MessagePedestrians(57, m.obj); break;
    case SMSG_EV_PLAYER_SHOTS_B: MessagePedestrians(58, m.obj); break;
    case SMSG_EV_PLAYER_COMBAT: MessagePedestrians(102, m.obj); break;
    case SMSG_EV_CHARACTER_DIED:
        if (IsPlayer(m.obj))
            SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
        break;
    case SMSG_MODE_START:
    case SMSG_MODE_END:
    case SMSG_MODE_FINISHED:
        ToPlayer(m.submsg, this);
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// The impound lot

int ImpoundLotMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<ImpoundLotMissionController>();
    return static_cast<ImpoundLotMissionController*>(o)->mh(msg, data);
}

void ImpoundLotMissionController::StartMission()
{
    GameController* gc = g_pgcTest;
    Object* setup = gc != nullptr ? gc->rcoIntExtSetup.p : nullptr;
    if (setup == nullptr || setup->IsDead()) {
        printf("impound lot: no set-up object; no cars are offered\n");
        return;
    }
    const int last = int(gc->stats.curCarUpgrade);
    for (int i = 0; i <= last; i++) {
        NODE* node = setup->FindNodeById(kCarNode + i + 1);
        if (node == nullptr) {
            printf("impound lot: no car place %d; no car there\n", i + 1);
            continue;
        }
        Matrix at = node->GetMatrix() * setup->GetWorldMatrix();
        // Made in the world.
        gc->CreateVehicleAt(at, i, i, false);
    }
}

void ImpoundLotMissionController::FinishMission()
{
    mode = IMPOUND_DONE;
    GameController* gc = g_pgcTest;
    Object* player = PlayerObject();
    Object* car = player != nullptr ? player->parent : nullptr;
    if (gc != nullptr) {
        if (car != nullptr && car->type == OBJT_VEHICLE) {
            auto* v = static_cast<Vehicle*>(car);
            gc->bRestoreInCar = true;
            gc->vpVehRestorePos = VectorPos(gc->vpCharRestorePos + gc->vdCharRestoreDir * (v->radius + kCarClearance));
            gc->i16CurrentDaceCar = v->i16VehType;
            gc->i8VehTypeId = s8(v->i16VehType);
            gc->i8VehTintSet = v->i8Tint;
        } else {
            gc->i8VehTypeId = -1;
        }
    }
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON_ALT);
}

int ImpoundLotMissionController::mh(OBJMESSAGE msg, void* data)
{
    if (msg == OM_DIE) {
        delete this;
        return -1;
    }
    if (msg != OM_SPECIAL)
        return 0;
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_MODE_START:
        if (ModeMayStart()) {
            StartMission();
            ToPlayer(SMSG_MODE_START, this);
        }
        return 0;
    case SMSG_EV_ENGINE_SFX:
    case SMSG_MODE_FINISHED:
        if (mode != IMPOUND_OPEN)
            break;
        if (m.submsg == SMSG_EV_ENGINE_SFX) {
            Object* player = PlayerObject();
            if (player != nullptr && player->parent != nullptr && player->parent->type == OBJT_VEHICLE) {
                static_cast<Vehicle*>(player->parent)->fAccel = 0.0f;
                player->parent->mode = 1;
            }
        }
        FinishMission();
        ToPlayer(SMSG_MODE_FINISHED, this);
        break;
    case SMSG_MODE_END:
        if (mode == IMPOUND_OPEN) {
            AbortMission();
            ToPlayer(SMSG_MODE_END, this);
        }
        return 0;
    case SMSG_EV_CHARACTER_DIED:
        if (IsPlayer(m.obj))
            SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
        break;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// The jet chase

int LearJetChaseMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<LearJetChaseMissionController>();
    return static_cast<LearJetChaseMissionController*>(o)->mh(msg, data);
}

void LearJetChaseMissionController::StartMission()
{
    AddScreenText("Stop The Lear Jet...", STP_CENTER);
}

void LearJetChaseMissionController::FinishMission()
{
    mode = JET_OVER;
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
}

void LearJetChaseMissionController::AbortMission()
{
    mode = JET_OVER;
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

int LearJetChaseMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        rcTarget = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
    if (mode != JET_RUNNING)
        return 0;
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_MODE_START:
        if (ModeMayStart())
            StartMission();
        return 0;
    case SMSG_EV_CHARACTER_DIED:
        if (IsPlayer(m.obj))
            AbortMission();
        break;
    case SMSG_EV_TARGET_REACHED:
        AbortMission();
        break;
    case SMSG_MODE_END:
        AbortMission();
        return 0;
    case SMSG_MODE_FINISHED:
        FinishMission();
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// Infiltration

int InfiltrateMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<InfiltrateMissionController>();
    return static_cast<InfiltrateMissionController*>(o)->mh(msg, data);
}

void InfiltrateMissionController::StartMission()
{
    mode = INF_RUNNING;
    char text[96];
    snprintf(text, sizeof text, "Infiltrate %s.", pimp != nullptr && pimp->targetname != nullptr ? pimp->targetname : "");
    AddScreenText(text, STP_CENTER);
    DaceVO.Play(DaceVO_InfiltrateStart, 150);
}

void InfiltrateMissionController::AbortMission()
{
    mode = INF_LOST;
    DaceVO.Play(DaceVO_InfiltrateAbort, 150);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

void InfiltrateMissionController::FinishMission()
{
    mode = INF_WON;
    DaceVO.Play(DaceVO_InfiltrateFinish, 150);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
    ToPlayer(SMSG_MODE_FINISHED, this);
}

int InfiltrateMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        mode = INF_SETUP;
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    const bool guarded = mode == INF_RUNNING && (g_pgcTest == nullptr || !g_pgcTest->bSuperDace);
    switch (m.submsg) {
    case SMSG_MODE_EPILOGUE:
        PreStartMission();
        return 0;
    case SMSG_MODE_START:
        if (g_pgcTest != nullptr && g_pgcTest->pmd != nullptr)
            g_pgcTest->pmd->flags &= ~0x800000u;
        if (ModeMayStart())
            StartMission();
        return 0;
    case SMSG_EV_ENEMY_SUBDUED:
        SendSpecial(m.obj, SMSG_MODE_BODY_TIMEOUT, this, ModeNow());
        break;
    case SMSG_EV_TARGET_SPOTTED:
        ToPlayer(SMSG_EV_TARGET_SPOTTED, m.obj);
        break;
    case SMSG_EV_TARGET_BUSTED:
    case SMSG_EV_CHARACTER_DIED:
        if (guarded)
            AbortMission();
        break;
    case SMSG_MODE_END:
        if (guarded)
            AbortMission();
        return 0;
    case SMSG_MODE_FINISHED:
        if (mode == INF_RUNNING)
            FinishMission();
        return 0;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}
