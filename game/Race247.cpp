// The 24/7 lap race controller.
#include "game/GameFEnt.h"

#include <cmath>
#include <cstdio>

#include "ZevEngine2/PS2/Bezier.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/LevelEntity.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"

const char* const rszCarAbilityNames[9] = {
    "PEELOUT",         "EMERGENCY STOP",      "PIT MANEUVER",        "DOWNSHIFT BOOST", "90 DEGREE TURN",
    "FORWARD SWITCHBLADE", "REVERSE SWITCHBLADE", "TWO-WHEEL TRICK", "NITRO BOOST",
};

namespace {

constexpr float kLapLineSq = 36.0f;   // 6 units round the start line
constexpr int kWonTimerFrames = 120;
constexpr int kWonTimer = 10;

Name nameRace247("Race247MissionController",
                 int(reinterpret_cast<intptr_t>(&Race247MissionController::Race247MissionController_mh)));

// Where the player is; the origin without him.
VectorPos PlayerPos()
{
    Object* p = PlayerObject();
    return p != nullptr ? p->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f);
}

}  // namespace

int Race247MissionController::Race247MissionController_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<Race247MissionController>();
    return static_cast<Race247MissionController*>(o)->mh(msg, data);
}

void Race247MissionController::StartMission()
{
    AddScreenText("COMPLETE TRACK!", STP_CENTER);
    MapDisplay* md = g_pgcTest != nullptr ? g_pgcTest->pmd : nullptr;
    if (md == nullptr)
        return;
    md->flags |= HUDF_COMPACTMAP;
    md->vpStaticTarget = vpStartLine;
    md->flags |= HUDF_STATICTARGET;
}

void Race247MissionController::AbortMission()
{
    mode = RACE_OVER;
    AddScreenText("Lost Race...", STP_CENTER);
    SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
    world.StopFrameCall(this);
}

void Race247MissionController::FinishMission()
{
    mode = RACE_OVER;
    const int level = g_pgcTest != nullptr ? g_pgcTest->iChallengeValue : 0;
    char text[96];
    snprintf(text, sizeof text, "WON RACE\n%s ABILITY GAINED",
             level >= 0 && level < 9 ? rszCarAbilityNames[level] : "");
    AddScreenText(text, STP_CENTER);
    world.SetTimer(this, AnimTime(u32(kWonTimerFrames) << 8), reinterpret_cast<void*>(intptr_t(kWonTimer)));
    world.StopFrameCall(this);
}

// The start line is the course spline's end, crossed along its last
// tangent; without a course spline both stay zero and no lap counts.
void Race247MissionController::Init()
{
    i16DaceMaxLap = 0;
    i16DaceCurrLap = 0;
    i16RaceTotalLaps = 1;
    vpLastDacePos = PlayerPos();
    const Spline* s = g_pgcTest != nullptr ? g_pgcTest->psplMission : nullptr;
    if (s != nullptr && s->Count() > 0) {
        const Vector& last = (*s)[s->Count() - 1];
        vpStartLine = VectorPos(last[0], last[1], last[2]);
        VectorDir t = s->Tangent(float((s->Count() - 1) / 3));
        const float l = Length(t);
        vdStartDir = l > 0.0f ? VectorDir(t * (1.0f / l)) : t;
    }
    flags |= OBJF_FRAMECALL;
}

void Race247MissionController::Frame()
{
    const VectorPos p = PlayerPos();
    if ((flags & RACE247_CLOCK_RUNS) && g_pgcTest != nullptr) {
        g_pgcTest->UpdateDisplayParams(0.0f, 1, 0.0f, 1);
        if (g_pgcTest->iTimeDisplay <= 0) {
            AbortMission();
            return;
        }
    }
    const int crossing = LineCrossing(p, vpLastDacePos, vpStartLine, vdStartDir, kLapLineSq);
    if (crossing < 0)
        i16DaceCurrLap--;
    if (crossing > 0 && ++i16DaceCurrLap > i16DaceMaxLap) {
        i16DaceMaxLap = i16DaceCurrLap;
        const int left = i16RaceTotalLaps - i16DaceMaxLap;
        if (left <= 0) {
            FinishMission();
        } else {
            char text[64];
            snprintf(text, sizeof text, "%d %s TO GO...", left, left == 1 ? "LAP" : "LAPS");
            AddScreenText(text, STP_CENTER);
        }
    }
    vpLastDacePos = p;
}

int Race247MissionController::Special(const SpecialMessage& m)
{
    if (mode != RACE_RUNNING)
        return 0;
    switch (m.submsg) {
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
    case SMSG_EV_CHARACTER_DIED:
        if (m.obj != nullptr && m.obj->id == -1)
            AbortMission();
        break;
    case SMSG_EV_TARGET_REACHED:
        AbortMission();
        break;
    case SMSG_EV_GATE_PASSED:
        flags |= RACE247_CLOCK_RUNS;
        if (g_pgcTest != nullptr && g_pgcTest->pmd != nullptr)
            g_pgcTest->pmd->flags |= HUDF_TIMER;
        break;
    case SMSG_EV_INNOCENT_HIT:
        switch (int(m.param[0])) {
        case 0: iBarrelsHit++; break;
        case 1: iBarriersHit++; break;
        case 2: iPedestriansHit++; break;
        default: break;
        }
        break;
    case SMSG_EV_CAR_PINNED: {
        Object* car = m.param[0];
        if (car != nullptr && car->type == OBJT_VEHICLE) {
            Object* driver = static_cast<Vehicle*>(car)->rcoDriver.p;
            if (driver != nullptr && driver->id == -1) {
                iNumPinnings++;
                AddScreenText("CAR PINNED!", STP_CENTER);
            }
        }
        break;
    }
    default:
        break;
    }
    ForwardGameEvent(gameeventobj, m);
    return 0;
}

int Race247MissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        if (mode == RACE_RUNNING)
            Frame();
        return 0;
    case OM_TIMER:
        if (int(reinterpret_cast<intptr_t>(data)) == kWonTimer)
            SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
        return 0;
    case OM_SPECIAL:
        return data != nullptr ? Special(*static_cast<SpecialMessage*>(data)) : 0;
    case OM_DIE:
        world.StopTimer(this);
        delete this;
        return -1;
    default:
        return 0;
    }
}
