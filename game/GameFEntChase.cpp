// The chasing modes: tailing a car at a distance to its destination,
// escaping the pursuers the mode sets loose, and pursuing a runner (on foot
// or in a car) or a car until it is caught, stopped or killed.
#include "game/GameFEnt.h"

#include <cmath>
#include <cstring>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/BadGuy.h"
#include "game/Bystander.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

Name nameTail("TailMissionController", int(reinterpret_cast<intptr_t>(&TailMissionController::staticmh)));
Name nameEscape("EscapeMissionController", int(reinterpret_cast<intptr_t>(&EscapeMissionController::staticmh)));
Name namePursuit("PursuitMissionController", int(reinterpret_cast<intptr_t>(&PursuitMissionController::staticmh)));

constexpr u32 kTailTick = 512;       // 2 frames
constexpr u32 kPursuitTick = 3840;   // 15 frames
constexpr int kGiveUp = 30;
constexpr int kBailOut = 91;
constexpr int kRelayed23001 = 23001;
constexpr u32 GCF_PURSUIT_FAR = 0x8;

VectorPos ArrowPos() { return VectorPos(0.0f, -0.78125f, 0.0f); }

float FlatDistance(VectorPos a, VectorPos b)
{
    const float dx = a[0] - b[0], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dz * dz);
}

void Track(Object* o)
{
    if (g_pgcTest != nullptr && g_pgcTest->pmd != nullptr)
        g_pgcTest->pmd->SetTarget(o);
}

// The player's warnings and shots, passed to the crowd.
bool RelayToPedestrians(int code, bool tail)
{
    static const int peds[4] = {56, 57, 58, 102};
    if (code < SMSG_EV_PLAYER_WARNING || code > SMSG_EV_PLAYER_COMBAT)
        return false;
    MessagePedestrians(tail ? 56 : peds[code - SMSG_EV_PLAYER_WARNING], nullptr);
    return true;
}

bool NamesPlayer(const SpecialMessage& m)
{
    return (m.submsg == SMSG_EV_KNOCKED_DOWN || m.submsg == SMSG_EV_CHARACTER_DIED) && m.obj != nullptr &&
           m.obj == PlayerObject();
}

// An EnemyGenRunner with a copy of the block, the enemy id and the matrix.
EnemyGenRunner* NewRunnerGen(const EnemyGenRunner_params* p, int id, const Matrix& at)
{
    auto* g = reinterpret_cast<EnemyGenRunner*>(intptr_t(EnemyGenRunner::staticmh(nullptr, OM_CREATE, nullptr)));
    if (g == nullptr)
        return nullptr;
    g->pegrp = static_cast<EnemyGenRunner_params*>(malloc_align(sizeof(EnemyGenRunner_params), 16));
    if (g->pegrp != nullptr)
        std::memcpy(static_cast<void*>(g->pegrp), p, sizeof(EnemyGenRunner_params));
    g->iRunnerId = id;
    g->mat = at;
    world.AddObject(g, nullptr);
    return g;
}

bool IsVehicleRoot(Object* o)
{
    return o != nullptr && o->GetRoot()->type == OBJT_VEHICLE;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tail

int TailMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<TailMissionController>();
    return static_cast<TailMissionController*>(o)->mh(msg, data);
}

int TailMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        return 0;
    case OM_TIMER:
        if (bTimerOn)
            Check();
        return 0;
    case OM_SPECIAL: {
        auto* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        if (RelayToPedestrians(m->submsg, true)) {
        } else if (NamesPlayer(*m)) {
            AbortMission();
        } else {
            switch (m->submsg) {
            case SMSG_MODE_START:
                if (g_pgcTest == nullptr || !g_pgcTest->bCinematic)
                    StartMission();
                break;
            case SMSG_EV_DRIVER_SHOT:
                bSkipAbort = true;
                Spooked();
                break;
            case SMSG_MODE_END:
                if (bSkipAbort)
                    RemoveEnemyTarget(target);
                else
                    AbortMission();
                break;
            case SMSG_MODE_FINISHED: FinishMission(); break;
            default: break;
            }
        }
        ForwardGameEvent(gameeventobj, *m);
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

void TailMissionController::StartMission()
{
    AddScreenText("Tail Mode...", STP_CENTER);
    bTimerOn = true;
    world.SetTimer(this, AnimTime(kTailTick), nullptr);
    DaceVO.Play(DaceVO_TailStart, 150);
    iTooCloseCounter = iTooFarCounter = 0;
    bIsClose = false;
    if (bStarted || ptmp == nullptr)
        return;
    bStarted = true;
    target = g_pgcTest != nullptr ? g_pgcTest->FindById(ptmp->iTargetId) : nullptr;
    targetmarker = target != nullptr ? AttachTargetArrow(target, ArrowPos(), 10) : nullptr;
    if (ptmp->iPHId != 0)
        if (Object* ph = world.FindPlaceholder(ptmp->iPHId))
            vpTailDest = ph->GetWorldPos();
    Track(target);
}

void TailMissionController::SwitchTargetMarker(bool close)
{
    if (target == nullptr)
        return;
    if (Object* old = target->FindSubObject(1001)) {
        old->Detach();
        old->Delete();
    }
    targetmarker = AttachTargetArrow(target, ArrowPos(), close ? 12 : 10);
    bIsClose = close;
}

void TailMissionController::Spooked()
{
    const bool random = bRandomMission;
    if (random)
        SendSpecial(gameeventobj, SMSG_EV_TAIL_SPOOKED, this);
    else
        SendSpecial(gameeventobj, SMSG_GC_RUN_SCRIPT);
    DaceVO.Play(DaceVO_TailAbort_Spotted, 0);
}

void TailMissionController::Check()
{
    Object* player = PlayerObject();
    if (target == nullptr || player == nullptr) {
        // Nothing to measure yet: look again next time.
        world.SetTimer(this, AnimTime(kTailTick), nullptr);
        return;
    }
    const float gap = Length(VectorDir(target->GetWorldPos() - player->GetWorldPos())) - target->GetRoot()->radius -
                      player->GetRoot()->radius;
    const int now = world.time;
    auto voice = [&](int type) {
        if (DaceVO.GetTimeSincePlayed(type) > 600)
            DaceVO.Play(type, 0);
        if (now - iLastVOTime >= 600)
            iLastVOTime = now;
    };
    if (gap < 3.125f) {
        const int before = iTooCloseCounter;
        iTooCloseCounter += 2;
        if (iTooCloseCounter >= 600) {
            if (ptmp != nullptr && ptmp->bAbortOnDetection) {
                AbortMission();
            } else {
                bSkipAbort = true;
                Spooked();
                bTimerOn = false;
            }
            return;
        }
        if (before == 0 || before / 300 != iTooCloseCounter / 300)
            AddScreenText("YOU ARE TOO CLOSE!", STP_CENTER);
        voice(DaceVO_TailOops_Close);
        if (!bIsClose)
            SwitchTargetMarker(true);
    } else {
        if (bIsClose)
            SwitchTargetMarker(false);
        if (gap > 46.875f) {
            const int before = iTooFarCounter;
            iTooFarCounter += 2;
            if (iTooFarCounter >= 1800) {
                AbortMission();
                return;
            }
            if (before == 0 || before / 300 != iTooFarCounter / 300)
                AddScreenText("YOU ARE FALLING BEHIND!", STP_CENTER);
            voice(DaceVO_TailOops_Far);
        } else if (ptmp != nullptr && ptmp->iPHId != 0) {
            const VectorDir d = target->GetWorldPos() - vpTailDest;
            if (Dot(d, d) < 49.4385f) {
                FinishMission();
                return;
            }
        }
    }
    if (g_pgcTest != nullptr)
        g_pgcTest->UpdateDisplayParams(gap, 2, 0.0f, 0);
    world.SetTimer(this, AnimTime(kTailTick), nullptr);
}

void TailMissionController::AbortMission()
{
    if (mode != 0)
        return;
    mode = 1;
    bTimerOn = false;
    DaceVO.Play(DaceVO_TailAbort_Failure, 0);
    RemoveEnemyTarget(target);
    AddScreenText("TAILING FAILED...", STP_CENTER);
    SendSpecial(gameeventobj, bRandomMission ? int(SMSG_EV_TAIL_ABORTED) : int(SMSG_GC_SUBGAME_LOST), this);
}

void TailMissionController::FinishMission()
{
    if (mode != 0)
        return;
    mode = 1;
    bTimerOn = false;
    DaceVO.Play(DaceVO_TailFinish, 0);
    RemoveEnemyTarget(target);
    SendSpecial(gameeventobj, bRandomMission ? int(SMSG_EV_TAIL_FINISHED) : int(SMSG_GC_SUBGAME_WON), this);
}

// ---------------------------------------------------------------------------
// Escape

int EscapeMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<EscapeMissionController>();
    return static_cast<EscapeMissionController*>(o)->mh(msg, data);
}

int EscapeMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        return 0;
    case OM_FRAME: {
        Object* player = PlayerObject();
        if (mode == 0 && pursuer != nullptr && player != nullptr) {
            const VectorDir d = pursuer->GetWorldPos() - player->GetWorldPos();
            if (Dot(d, d) > 8789.0625f) {
                FinishMission();
                flags &= ~OBJF_FRAMECALL;
            }
        }
        return 0;
    }
    case OM_SPECIAL: {
        auto* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr || mode != 0)
            return 0;
        if (RelayToPedestrians(m->submsg, false)) {
        } else if (NamesPlayer(*m)) {
            AbortMission();
        } else {
            switch (m->submsg) {
            case SMSG_MODE_EPILOGUE: PreStartMission(true); break;
            case SMSG_MODE_START: StartMission(); break;
            case SMSG_MODE_END: AbortMission(); break;
            case SMSG_MODE_FINISHED: FinishMission(); break;
            default: break;
            }
        }
        ForwardGameEvent(gameeventobj, *m);
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

void EscapeMissionController::PreStartMission(bool epilogue)
{
    if (pemp == nullptr || pemp->pbggi == nullptr)
        return;
    // Eight slots: infos past them make nothing.
    const int n = pemp->i32NumBadGuyGens < MAXGENS ? pemp->i32NumBadGuyGens : MAXGENS;
    for (int i = 0; i < n; i++) {
        if (rpvGens[i] != nullptr)
            continue;
        const BadGuyGenInfo& info = pemp->pbggi[i];
        Matrix at(true);
        if (Object* ph = world.FindPlaceholder(info.iPHId))
            at = ph->GetWorldMatrix();
        Object* g = nullptr;
        if (info.bggtMode == BGGT_SHOOTER && info.pvParams != nullptr) {
            auto* s =
                reinterpret_cast<EnemyGenShooter*>(intptr_t(EnemyGenShooter::staticmh(nullptr, OM_CREATE, nullptr)));
            if (s != nullptr) {
                s->pegsp = static_cast<EnemyGenShooter_params*>(malloc_align(sizeof(EnemyGenShooter_params), 16));
                if (s->pegsp != nullptr)
                    std::memcpy(static_cast<void*>(s->pegsp), info.pvParams, sizeof(EnemyGenShooter_params));
                s->mat = at;
                world.AddObject(s, nullptr);
                g = s;
            }
        } else if (info.bggtMode == BGGT_RUNNER && info.pvParams != nullptr) {
            const auto* p = static_cast<const EnemyGenRunner_params*>(info.pvParams);
            g = NewRunnerGen(p, p->id, at);
        }
        if (g == nullptr)
            continue;
        SendSpecial(g, epilogue ? SMSG_MODE_EPILOGUE : SMSG_MODE_START, this);
        rpvGens[i] = g;
        iNumGens++;
    }
}

void EscapeMissionController::StartMission()
{
    if (pemp == nullptr)
        return;
    PreStartMission(false);
    pursuer = dace != nullptr ? static_cast<Object*>(dace->target) : nullptr;
    Track(pursuer);
}

void EscapeMissionController::AbortMission()
{
    if (mode != 0)
        return;
    mode = 1;
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST, this);
}

void EscapeMissionController::FinishMission()
{
    if (mode != 0)
        return;
    mode = 1;
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON, this);
}

// ---------------------------------------------------------------------------
// Pursuit

int PursuitMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<PursuitMissionController>();
    return static_cast<PursuitMissionController*>(o)->mh(msg, data);
}

int PursuitMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        iLastTauntTime = iLastOopsTime = -100000;
        iLastTargetMode = -1;
        return 0;
    case OM_TIMER:
        if (mode == 0)
            Check();
        return 0;
    case OM_SPECIAL: {
        auto* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        if (!RelayToPedestrians(m->submsg, false))
            Special(*m);
        ForwardGameEvent(gameeventobj, *m);
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

// Its own handling of a special message; the handler forwards the game
// events afterwards.
void PursuitMissionController::Special(const SpecialMessage& m)
{
    Object* about = m.obj;
    if (target == nullptr && runner != nullptr && runner->enemy != nullptr)
        target = runner->enemy;
    switch (m.submsg) {
    case SMSG_MODE_EPILOGUE: PreStartMission(); break;
    case SMSG_MODE_START: StartMission(); break;
    case kRelayed23001: SendSpecial(PlayerObject(), m.submsg, about); break;
    case SMSG_EV_ENEMY_SURRENDERED:
        if (about != nullptr && about == target)
            FinishMission();
        break;
    case SMSG_EV_CHARACTER_DIED:
        if (about != nullptr && about == target) {
            if (g_pgcTest != nullptr && mode != 3) {
                if (about->messagehandler == &Enemy::RunnerEnemy_mh) {
                    g_pgcTest->AddPoints(-20, about);
                    g_pgcTest->stats.nBadDisposals++;
                } else {
                    g_pgcTest->AddPoints(10, about);
                    g_pgcTest->stats.nGoodDisposals++;
                }
            }
            FinishMission();
        } else if (NamesPlayer(m)) {
            AbortMission();
        }
        break;
    case SMSG_EV_KNOCKED_DOWN:
        if (NamesPlayer(m))
            AbortMission();
        break;
    case SMSG_EV_ENEMY_SUBDUED: FinishMission(); break;
    case SMSG_EV_ENEMY_IN_CAR:
        if (about != nullptr && about != PlayerObject())
            SendSpecial(about, kBailOut, this);
        break;
    case SMSG_MODE_END: AbortMission(); break;
    case SMSG_MODE_FINISHED: FinishMission(); break;
    default: break;
    }
}

void PursuitMissionController::MakeRunnerGen()
{
    if (runner != nullptr || ppmp == nullptr || ppmp->pegrp == nullptr)
        return;
    Matrix at = mat;
    if (Object* ph = world.FindPlaceholder(ppmp->targetid))
        at = ph->GetWorldMatrix();
    runner = NewRunnerGen(ppmp->pegrp, ppmp->i32RunnerId, at);
}

void PursuitMissionController::PreStartMission()
{
    if (ppmp == nullptr || ppmp->pegrp == nullptr)
        return;
    MakeRunnerGen();
    SendSpecial(runner, SMSG_MODE_EPILOGUE, this);
}

void PursuitMissionController::StartMission()
{
    if (ppmp == nullptr)
        return;
    if (ppmp->pegrp != nullptr) {
        MakeRunnerGen();
        SendSpecial(runner, SMSG_MODE_START, this);
        target = runner != nullptr ? runner->enemy : nullptr;
    } else {
        target = g_pgcTest != nullptr ? g_pgcTest->FindById(ppmp->targetid) : nullptr;
    }
    Track(target);
    targetmarker = target != nullptr ? AttachTargetArrow(target, ArrowPos(), 20) : nullptr;
    if (bFromOtherMission) {
        AddScreenText("SUSPECT ESCAPING - PURSUE NOW!", STP_CENTER);
    } else {
        char text[96];
        snprintf(text, sizeof text, "Capture %s.", ppmp->targetname != nullptr ? ppmp->targetname : "");
        AddScreenText(text, STP_CENTER);
        DaceVO.Play(DaceVO_PursuitStart, 150);
    }
    world.SetTimer(this, AnimTime(kPursuitTick), nullptr);
    iFailureCounter = iCarStopSuccessCounter = iCheckpointCounter = 0;
    Object* player = PlayerObject();
    fLastDistance = target != nullptr && player != nullptr ? FlatDistance(target->GetWorldPos(), player->GetWorldPos())
                                                           : 0.0f;
    bStarted = true;
}

void PursuitMissionController::Check()
{
    Object* player = PlayerObject();
    if (target == nullptr && runner != nullptr && runner->enemy != nullptr) {
        target = runner->enemy;
        if (targetmarker == nullptr)
            targetmarker = AttachTargetArrow(target, ArrowPos(), 20);
        Track(target);
    }
    if (target == nullptr || player == nullptr || ppmp == nullptr) {
        // No target yet: only look again.
        world.SetTimer(this, AnimTime(kPursuitTick), nullptr);
        return;
    }
    const float d = FlatDistance(target->GetWorldPos(), player->GetWorldPos());
    if (target->mode != iLastTargetMode) {
        iLastTargetMode = target->mode;
        printf("Pursuit: the target is in state %d, %.1f away\n", int(target->mode), double(d));
    }
    const int now = world.time;
    auto voice = [now](int type, int& last) {
        if (now - last >= 600) {
            DaceVO.Play(type, 0);
            last = now;
        }
    };
    Object* root = target->GetRoot();
    if (ppmp->pegrp != nullptr && root->type != OBJT_VEHICLE) {
        if (fLastDistance >= 7.8125f && d < 7.8125f)
            voice(DaceVO_PursuitTaunt, iLastTauntTime);
        const float oops = 0.75f * ppmp->maxfootradius;
        if (fLastDistance <= oops && d > oops)
            voice(DaceVO_PursuitOops, iLastOopsTime);
        if (d > ppmp->maxfootradius) {
            AbortMission();
            return;
        }
    } else {
        if (g_pgcTest != nullptr)
            g_pgcTest->UpdateDisplayParams(d, 15, 0.0f, 0);
        if (d < 101.5625f) {
            iFailureCounter = 0;
            if (g_pgcTest != nullptr)
                g_pgcTest->iFlags &= ~int(GCF_PURSUIT_FAR);
        } else {
            iFailureCounter += 15;
            if (g_pgcTest != nullptr)
                g_pgcTest->iFlags |= int(GCF_PURSUIT_FAR);
        }
        if (root->type == OBJT_VEHICLE) {
            auto* v = static_cast<Vehicle*>(root);
            const float along = Dot(VectorDir(v->Vel().xyz()), Normalise(VectorDir(v->GetWorldMatrix().z.xyz())));
            if (along < 0.006985f)
                iCarStopSuccessCounter += 15;
            else
                iCarStopSuccessCounter = 0;
        } else {
            iCarStopSuccessCounter = 0;
        }
        if (fLastDistance >= 15.625f && d < 15.625f)
            voice(DaceVO_PursuitTaunt, iLastTauntTime);
        if (fLastDistance <= 101.5625f && d > 101.5625f)
            voice(DaceVO_PursuitOops, iLastOopsTime);
        iCheckpointCounter += 15;
        const int need = ppmp->pegrp == nullptr || ppmp->pegrp->caronly != 0 ? 120 : 180;
        if (iCarStopSuccessCounter > need && d < 9.375f) {
            FinishMission();
            if (g_pgcTest != nullptr)
                g_pgcTest->iTimeDisplay = 0;
            return;
        }
        if (iFailureCounter > 600) {
            AbortMission();
            return;
        }
    }
    fLastDistance = d;
    world.SetTimer(this, AnimTime(kPursuitTick), nullptr);
}

void PursuitMissionController::AbortMission()
{
    if (mode == 3)
        return;
    mode = 3;
    printf("Pursuit: lost\n");
    DaceVO.Play(DaceVO_PursuitAbort, 0);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST, this);
}

void PursuitMissionController::FinishMission()
{
    if (mode == 3)
        return;
    mode = 3;
    printf("Pursuit: won\n");
    DaceVO.Play(DaceVO_PursuitFinish, 0);
    Object* e = runner != nullptr ? static_cast<Object*>(runner->enemy) : nullptr;
    if (e != nullptr) {
        Object* root = e->GetRoot();
        if (root->type == OBJT_VEHICLE) {
            Object* driver = static_cast<Vehicle*>(root)->rcoDriver;
            SendSpecial(driver, SMSG_CD_DRIVER_LEFT, this);
        }
        e->flags &= ~0x20u;
        SendSpecial(e, kGiveUp);
    }
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON, this);
}
