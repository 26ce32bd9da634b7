// The firing range and the gun course: hits, kills, innocents and exact
// shots counted in waves, and the session's result shown on the shooting
// round screen.
#include "game/GameFEnt.h"

#include <algorithm>
#include <cstdio>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "game/BadGuy.h"
#include "game/GameAudio.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

constexpr int kUpgrades = 3;
enum { COURSE_RUNNING = 0, COURSE_OVER = 1 };
enum { TIMER_WON = 10 };

AnimTime Frames(u32 n) { return AnimTime(n << 8); }
void* TimerData(int d) { return reinterpret_cast<void*>(intptr_t(d)); }

Name nameRange("FRangeMissionController", int(reinterpret_cast<intptr_t>(&FRangeMissionController::staticmh)));
Name nameCourse("GunCourseMissionController",
                int(reinterpret_cast<intptr_t>(&GunCourseMissionController::staticmh)));

bool IsPlayer(const Object* o) { return o != nullptr && o->id == -1; }

void ClearCounts(sShootingRoundStats& s)
{
    s.numBullseyes = s.wave = s.numTargetsHit = s.numBulletsShot = s.numHits = s.numFriendlies = 0;
}

// The upgrade the course awards next; the last when all are won.
const char* UpgradeName()
{
    const u32 u = g_pgcTest != nullptr ? g_pgcTest->stats.curGunUpgrade : 0;
    return rszGunBonusUpgradeNames[std::min(u, u32(kUpgrades - 1))];
}

}  // namespace

const sFrangeSession cFrangeSession[NUM_FRANGE_SESSIONS] = {
    {4, 10, "TWO-HANDED FIRING"}, {1, 10, "PRECISION AIM"}, {-1, 10, "FAST RELOAD"},
    {-1, 10, "FAST AIM SPEED"},   {16, 10, "LASER BEAM"},   {64, 10, "FLASH LIGHT"},
    {-1, 10, "SCOPE"},            {-1, 10, "HOLLOW POINT AMMO"}, {-1, 10, "TOP ACCURACY"},
};

const char* const rszGunBonusUpgradeNames[3] = {".4 REVOLVERS", ".45 PISTOLS", ".5 PISTOLS"};

// ---------------------------------------------------------------------------
// The firing range

int FRangeMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<FRangeMissionController>();
    return static_cast<FRangeMissionController*>(o)->mh(msg, data);
}

const sFrangeSession& FRangeMissionController::Session() const
{
    const int c = g_pgcTest != nullptr ? g_pgcTest->iChallengeValue : 0;
    return cFrangeSession[std::clamp(c, 0, NUM_FRANGE_SESSIONS - 1)];
}

void FRangeMissionController::StartMission()
{
    char text[96];
    snprintf(text, sizeof text, "EARN %s", Session().cChallengeName);
    AddScreenText(text, STP_CENTER);
    world.StopTimer(this);
    DaceVO.Play(DaceVO_GunsStart, 150);
    ClearCounts(stats);
}

void FRangeMissionController::FinishMission()
{
    DaceVO.Play(DaceVO_GunsFinish, 0);
    const int score = stats.numTargetsHit - (stats.numFriendlies + stats.numBullseyes);
    const sFrangeSession& s = Session();
    const bool earned = score >= int(s.numGoal);
    snprintf(stats.name, sizeof stats.name, earned ? "%s EARNED!" : "%s UNEARNED...", s.cChallengeName);
    stats.bEarned = earned ? 1 : 0;
    SetShootingRoundStats(&stats);
    SetPauseScreenMode(UI_ShootingRoundScreen);
    world.mode = WORLD_MODE_PAUSED;
    SendSpecial(gameeventobj, earned ? SMSG_GC_SUBGAME_WON : SMSG_GC_SUBGAME_LOST);
}

void FRangeMissionController::AbortMission()
{
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

int FRangeMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        waveObjects = 0;
        stats.numTargets = -1;
        flags |= OBJF_FRAMECALL;
        return 0;
    case OM_FRAME:
        if (stats.numTargets == 0 && world.mode != WORLD_MODE_PAUSED) {
            FinishMission();
            stats.numTargets = -1;
        }
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
    case SMSG_EV_PLAYER_FIRED:
        stats.numBulletsShot++;
        break;
    case SMSG_EV_TARGET_DOWN:
        stats.numHits++;
        if (int(m.param[0]) == 1)
            stats.numTargetsHit++;
        break;
    case SMSG_EV_BULLSEYE:
        stats.numBullseyes++;
        break;
    case SMSG_EV_INNOCENT_HIT:
        stats.numFriendlies++;
        break;
    case SMSG_EV_TARGET_DONE:
        stats.numTargets--;
        if (--waveObjects == 0)
            stats.wave++;
        break;
    case SMSG_EV_KNOCKED_DOWN:
        if (IsPlayer(m.obj))
            bgm.Event(SoundEvent_DaceShotDead);
        break;
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

// ---------------------------------------------------------------------------
// The gun course

int GunCourseMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<GunCourseMissionController>();
    return static_cast<GunCourseMissionController*>(o)->mh(msg, data);
}

void GunCourseMissionController::StartMission()
{
    char text[96];
    snprintf(text, sizeof text, "EARN %s UPGRADE!", UpgradeName());
    AddScreenText(text, STP_CENTER);
    world.StopTimer(this);
    DaceVO.Play(DaceVO_GunsStart, 150);
    stats.numBullseyes = stats.wave = stats.numHits = stats.numFriendlies = 0;
}

void GunCourseMissionController::AbortMission()
{
    if (mode != COURSE_RUNNING)
        return;
    mode = COURSE_OVER;
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
}

void GunCourseMissionController::FinishMission()
{
    if (mode != COURSE_RUNNING)
        return;
    mode = COURSE_OVER;
    DaceVO.Play(DaceVO_GunsFinish, 0);
    char text[96];
    snprintf(text, sizeof text, "WON %s UPGRADE!", UpgradeName());
    AddScreenText(text, STP_CENTER);
    if (g_pgcTest != nullptr && g_pgcTest->stats.curGunUpgrade < u32(kUpgrades))
        g_pgcTest->stats.curGunUpgrade++;
    world.SetTimer(this, Frames(120), TimerData(TIMER_WON));
    flags &= ~OBJF_FRAMECALL;
    if (dace != nullptr)
        dace->bCanReload = true;
}

int GunCourseMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= OBJF_FRAMECALL;
        music.Start();
        return 0;
    case OM_FRAME:
        music.Frame();
        return 0;
    case OM_TIMER:
        if (int(reinterpret_cast<intptr_t>(data)) == TIMER_WON)
            SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        world.StopTimer(this);
        delete this;
        return -1;
    default:
        return 0;
    }
    const SpecialMessage& m = *static_cast<SpecialMessage*>(data);
    if (AnswerModeProtocol(this, m))
        return 0;
    switch (m.submsg) {
    case SMSG_EV_TARGET_DOWN:
        stats.numHits++;
        break;
    case SMSG_EV_BULLSEYE:
        stats.numBullseyes++;
        break;
    case SMSG_EV_INNOCENT_HIT:
        stats.numFriendlies++;
        break;
    case SMSG_EV_TARGET_DONE:
        if (dace != nullptr) {
            dace->leftgunarm.weapon.bulletsLeft = dace->leftgunarm.weapon.magSize;
            dace->rightgunarm.weapon.bulletsLeft = dace->rightgunarm.weapon.magSize;
        }
        stats.numHits = stats.numFriendlies = stats.numBullseyes = 0;
        stats.wave++;
        break;
    case SMSG_EV_KNOCKED_DOWN:
        if (IsPlayer(m.obj))
            bgm.Event(SoundEvent_DaceShotDead);
        break;
    case SMSG_EV_CHARACTER_DIED:
        if (IsPlayer(m.obj) && mode == COURSE_RUNNING)
            AbortMission();
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
