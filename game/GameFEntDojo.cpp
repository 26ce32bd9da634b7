// Dojo training: a 60-second session of rounds of dummies in the dojo,
// counting the blows the player lands with the session's special attack.
// The session always ends won; whether the attack is kept depends on the
// hits.
#include "game/GameFEnt.h"

#include <algorithm>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/BadGuy.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/QuadTree.h"

namespace {

constexpr int kInteriorSlot = 195;
constexpr int kSessionFrames = 3600;
constexpr u32 kMapClock = 2;
constexpr u16 kDummyNode = 512;
constexpr u16 kPlacementNode = 0x8000;
constexpr u16 kFixedNode = 0x8005;
constexpr float kLineStep = 0.625f;
constexpr float kDropHeight = 1.25f;

Name nameDojo("DojoTrainingModeController",
              int(reinterpret_cast<intptr_t>(&DojoTrainingModeController::staticmh)));

// Every session but the first trains on the same rounds.
constexpr sDojoTrainRound kFinishRounds[4] = {{0, 4, 10, 0}, {1, 1, 15, 1}, {0, 4, 20, 0}, {1, 2, 30, 0}};
#define FINISH_ROUNDS {kFinishRounds[0], kFinishRounds[1], kFinishRounds[2], kFinishRounds[3]}

void PauseFor(UIPauseScreenMode screen, sDojoRoundStats* stats)
{
    SetDojoRoundStats(stats);
    SetPauseScreenMode(screen);
    world.mode = WORLD_MODE_PAUSED;
}

int BitNumber(u16 bit)
{
    int n = 0;
    while (bit > 1) {
        bit >>= 1;
        n++;
    }
    return n;
}

}  // namespace

const sDojoTrainSession cTrainSession[NUM_TRAIN_SESSIONS] = {
    {0x1, 6, "RUNNING ATTACK", {{0, 4, 4, 0}, {1, 1, 15, 1}, {0, 4, 8, 2}, {1, 2, 30, 0}}},
    {0x10, 3, "SWEEP-KICK FINISH", FINISH_ROUNDS},
    {0x20, 3, "SPIN UPPERCUT FINISH", FINISH_ROUNDS},
    {0x40, 3, "SPIN JUMP-KICK FINISH", FINISH_ROUNDS},
    {0x80, 3, "DROP-KICK FINISH", FINISH_ROUNDS},
    {0x100, 3, "DOUBLE PUNCH FINISH", FINISH_ROUNDS},
    {0x200, 3, "WINDMILL KICK FINISH", FINISH_ROUNDS},
    {0x2, 3, "BACK ATTACK", FINISH_ROUNDS},
    {0x4, 3, "GROUND ATTACK", FINISH_ROUNDS},
};

int DojoTrainingModeController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<DojoTrainingModeController>();
    return static_cast<DojoTrainingModeController*>(o)->mh(msg, data);
}

const sDojoTrainSession& DojoTrainingModeController::Session() const
{
    // A challenge value past the table trains the nearest session there is.
    return cTrainSession[std::clamp(challenge, 0, NUM_TRAIN_SESSIONS - 1)];
}

void DojoTrainingModeController::StartMission()
{
    challenge = g_pgcTest != nullptr ? g_pgcTest->iChallengeValue : 0;
    const sDojoTrainSession& s = Session();
    stats.goalType = u16(BitNumber(s.ability));
    round = 0;
    stats.numHits = 0;
    stats.numGoal = s.numGoal;
    if (g_pgcTest != nullptr)
        g_pgcTest->stats.fightAbility |= s.ability;
    PauseFor(UI_DojoRoundScreen, &stats);
    pIntMF = g_GlobalMFI.GetMF(kInteriorSlot, false);
    InitRound();
}

void DojoTrainingModeController::InitRound()
{
    const sDojoTrainRound& rr = Session().round[std::clamp(round, 0, 3)];
    targets = rr.number;
    const char* kind = rr.type == 0 ? "BoardDummy" : rr.type == 1 ? "WoodDummy" : nullptr;
    auto creator = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find(kind)));
    if (pIntMF == nullptr || !pIntMF->HasData() || creator == nullptr)
        return;
    const NODE* model = pIntMF->FindNodeById1(0, u16(kDummyNode + rr.type));
    Object* player = PlayerObject();
    for (int i = 0; i < rr.number; i++) {
        VectorPos at;
        if (rr.setupType == 2) {
            if (player == nullptr)
                break;
            const int k = (i + 1) / 2;
            at = player->GetWorldPos();
            at[2] += (i & 1) ? k * kLineStep : -k * kLineStep;
        } else {
            const u16 id = rr.setupType == 1 ? kFixedNode : u16(kPlacementNode + i + 1);
            const NODE* spot = pIntMF->FindNodeById1(0, id);
            if (spot == nullptr)
                break;
            at = spot->Pos();
        }
        auto* d = reinterpret_cast<TrainingDummy*>(
            intptr_t(creator(reinterpret_cast<Object*>(pIntMF), OM_CREATE, nullptr)));
        if (d == nullptr)
            break;
        if (model != nullptr)
            pIntMF->GetHierarchyTo(d, u16(model - pIntMF->nodes), 0);
        d->mat = Matrix(true);
        at[1] -= kDropHeight;
        d->mat.SetTrans(at);
        d->fStrength = float(rr.strength);
        d->FindShadows();
        world.AddObject(d, nullptr);
        SendSpecial(d, SMSG_MODE_START, this);
    }
}

void DojoTrainingModeController::FinishMission()
{
    PauseFor(UI_DojoSummaryScreen, &stats);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
    if (g_pgcTest != nullptr && stats.numHits < stats.numGoal &&
        u32(challenge) >= g_pgcTest->stats.curFightChallenge)
        g_pgcTest->stats.fightAbility &= ~u32(Session().ability);
}

void DojoTrainingModeController::AbortMission()
{
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

int DojoTrainingModeController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        music.Start();
        return 0;
    case OM_FRAME:
        if (g_pgcTest != nullptr) {
            g_pgcTest->UpdateDisplayParams(0.0f, 1, 0.0f, 1);
            if (round >= 0 && g_pgcTest->iTimeDisplay == 0) {
                round = -1;
                FinishMission();
            }
        }
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
    auto& m = *static_cast<SpecialMessage*>(data);
    switch (m.submsg) {
    case SMSG_MODE_START:
        if (!ModeMayStart())
            return 0;
        StartMission();
        if (g_pgcTest != nullptr) {
            if (g_pgcTest->pmd != nullptr)
                g_pgcTest->pmd->flags |= kMapClock;
            g_pgcTest->iTimeDisplay = kSessionFrames;
        }
        return 0;
    case SMSG_MODE_END:
        AbortMission();
        return 0;
    case SMSG_MODE_FINISHED:
        FinishMission();
        return 0;
    case SMSG_EV_TARGET_DOWN:
        if (int(m.param[0]) == Session().ability) {
            stats.numHits++;
            AddScreenText(Session().cAttackName, STP_CENTER);
            return 1;
        }
        break;
    case SMSG_EV_KNOCKED_DOWN:
        if (m.obj != nullptr && m.obj->id != -1 && --targets <= 0 && round >= 0) {
            round = (round + 1) % 4;
            InitRound();
        }
        break;
    case SMSG_EV_TARGET_DONE:
        PauseFor(UI_DojoRoundScreen, &stats);
        stats.numHits = 0;
        stats.numGoal = Session().numGoal;
        break;
    case SMSG_EV_PLAYER_GUN_JUMP:
    case SMSG_EV_PLAYER_GUN_MODE:
        music.Event(m.submsg);
        break;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}
