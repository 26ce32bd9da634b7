// The car races against one rival: five laps of a circuit whose start line
// is the mission spline's first point, or a run to a finish line.  The rival
// is held at the start until the launch sequence lets it go; the result is
// shown for 300 frames before it is reported.
#include "game/GameFEnt.h"

#include <cstdio>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "game/Camera.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

constexpr float kLapLineSq = 36.0f;      // 6 units round the start line
constexpr float kFinishLineSq = 144.0f;  // 12 units round the finish line
constexpr int kTotalLaps = 5;
enum { RACE_RUNNING = 0, RACE_OVER = 1 };
enum { LAUNCH_HOLD = 1, LAUNCH_FIRST = 2, LAUNCH_GO = 3, CAMERA_HOLD = 4, RESULT_LOST = 10, RESULT_WON = 11 };
enum { DRIVE_RACING = 0, DRIVE_HELD = 1, DRIVE_LAUNCH = 2 };

AnimTime Frames(u32 n) { return AnimTime(n << 8); }
void* TimerData(int d) { return reinterpret_cast<void*>(intptr_t(d)); }
int TimerKind(void* d) { return int(reinterpret_cast<intptr_t>(d)); }

Name nameRace("RaceMissionController", int(reinterpret_cast<intptr_t>(&RaceMissionController::staticmh)));
Name nameStreetRace("StreetRaceMissionController",
                    int(reinterpret_cast<intptr_t>(&StreetRaceMissionController::staticmh)));

bool IsPlayer(const Object* o) { return o != nullptr && o->id == -1; }

// Where a racer is: his car's place while he drives one.
VectorPos RacerPos(Object* o)
{
    if (o == nullptr)
        return VectorPos(0.0f, 0.0f, 0.0f);
    Object* root = o->GetRoot();
    return root != nullptr ? root->GetWorldPos() : o->GetWorldPos();
}

// The rival's car: the rival itself when it is one, else the car the racer
// sits in.
Vehicle* RivalCar(const RCptr<Object>& rc)
{
    Object* o = rc.p;
    if (o == nullptr || o->IsDead())
        return nullptr;
    if (o->type != OBJT_VEHICLE)
        o = o->GetRoot();
    return o != nullptr && !o->IsDead() && o->type == OBJT_VEHICLE ? static_cast<Vehicle*>(o) : nullptr;
}

void SetDriveSubMode(Vehicle* car, int sub)
{
    Object* d = car->rcoDriver.p;
    if (d != nullptr && !d->IsDead() && d->messagehandler == &CarDriver::CarDriver_mh)
        static_cast<CarDriver*>(d)->i16DriveSubMode = s16(sub);
}

// The launch sequence's steps on the rival's car.
void Launch(Object* controller, const RCptr<Object>& rival, int step)
{
    Vehicle* car = RivalCar(rival);
    switch (step) {
    case LAUNCH_HOLD:
        world.SetTimer(controller, Frames(120), TimerData(LAUNCH_FIRST));
        break;
    case LAUNCH_FIRST:
        if (car != nullptr) {
            car->gear = 1;
            SetDriveSubMode(car, DRIVE_LAUNCH);
        }
        world.SetTimer(controller, Frames(60), TimerData(LAUNCH_GO));
        break;
    case LAUNCH_GO:
        if (car != nullptr) {
            car->fEngine = 1.0f;
            car->gear = 2;
            car->bPeelOut = false;
            SetDriveSubMode(car, DRIVE_RACING);
        }
        break;
    default:
        break;
    }
}

void HoldRival(const RCptr<Object>& rival)
{
    if (Vehicle* car = RivalCar(rival)) {
        car->fEngine = 0.0001f;
        car->gear = 0;
        SetDriveSubMode(car, DRIVE_HELD);
    }
}

// Timer kinds both races share: the launch and the result.
void RaceTimer(Object* c, Object* gameeventobj, const RCptr<Object>& rival, int kind)
{
    if (kind == RESULT_WON)
        SendSpecial(gameeventobj, SMSG_GC_SUBGAME_WON);
    else if (kind == RESULT_LOST)
        SendSpecial(gameeventobj, SMSG_GC_SUBGAME_LOST);
    else
        Launch(c, rival, kind);
}

void ShowResultThenReport(Object* c, int result)
{
    c->mode = RACE_OVER;
    world.StopTimer(c);
    world.SetTimer(c, Frames(300), TimerData(result));
    c->flags &= ~OBJF_FRAMECALL;
}

// The special messages both races take while they run: the start, the
// player's death, the rival's escape, the end and the finish; game events go
// on.  Once the result is out, nothing changes.
template <class C>
int RaceEvent(C* c, const SpecialMessage& m)
{
    if (c->mode != RACE_RUNNING)
        return 0;
    switch (m.submsg) {
    case SMSG_MODE_START:
        if (ModeMayStart())
            c->StartMission();
        return 0;
    case SMSG_EV_CHARACTER_DIED:
        if (IsPlayer(m.obj))
            c->AbortMission();
        break;
    case SMSG_EV_TARGET_REACHED:
    case SMSG_MODE_END:
        c->AbortMission();
        break;
    case SMSG_MODE_FINISHED:
        c->FinishMission();
        break;
    default:
        break;
    }
    ForwardGameEvent(c->gameeventobj, m);
    return 0;
}

}  // namespace

int LineCrossing(VectorPos p, VectorPos q, VectorPos line, VectorDir dir, float nearSq)
{
    const VectorDir off = p - line;
    if (Dot(off, off) >= nearSq)
        return 0;
    const float a = Dot(off, dir);
    const float b = Dot(VectorDir(q - line), dir);
    if (a >= 0.0f && b < 0.0f)
        return 1;
    if (a < 0.0f && b >= 0.0f)
        return -1;
    return 0;
}

// ---------------------------------------------------------------------------
// The lap race

int RaceMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<RaceMissionController>();
    return static_cast<RaceMissionController*>(o)->mh(msg, data);
}

void RaceMissionController::StartMission()
{
    HoldRival(rcTarget);
    AddScreenText("BEAT PELL IN 5 LAPS!", STP_CENTER);
    // Nothing else lets the held rival go: the launch starts with the race.
    Launch(this, rcTarget, LAUNCH_HOLD);
}

void RaceMissionController::SwitchToFixedCamera(Object* obj)
{
    Object* fixed = g_pgcTest != nullptr ? g_pgcTest->FindFixedCamera() : nullptr;
    if (fixed != nullptr) {
        auto* cam = static_cast<Camera*>(fixed);
        cam->target = obj;
        cam->ForceCutTo();
        world.StartFrameCall(cam);
        SetCurrentCam(cam);
    }
    world.SetTimer(this, Frames(180), TimerData(CAMERA_HOLD));
}

void RaceMissionController::FinishMission()
{
    mode = RACE_OVER;
    SwitchToFixedCamera(PlayerObject());
    ShowResultThenReport(this, RESULT_WON);
}

void RaceMissionController::AbortMission()
{
    mode = RACE_OVER;
    SwitchToFixedCamera(rcTarget.p);
    ShowResultThenReport(this, RESULT_LOST);
}

int RaceMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT: {
        i16DaceMaxLap = i16TargetMaxLap = 0;
        i16DaceCurrLap = i16TargetCurrLap = -1;
        i16RaceTotalLaps = kTotalLaps;
        vpLastDacePos = RacerPos(PlayerObject());
        vpLastTargetPos = RacerPos(rcTarget.p);
        const Spline* s = g_pgcTest != nullptr ? g_pgcTest->psplMission : nullptr;
        if (s != nullptr && s->NumSplines() > 0) {
            vpStartLine = VectorPos(s->Evaluate(0.0f).v);
            VectorDir t = s->Tangent(0.0f);
            const float l = std::sqrt(Dot(t, t));
            vdStartDir = l > 0.0f ? VectorDir(t * (1.0f / l)) : t;
        }
        flags |= OBJF_FRAMECALL;
        return 0;
    }
    case OM_FRAME: {
        if (mode != RACE_RUNNING)
            return 0;
        const VectorPos p = RacerPos(PlayerObject());
        const int d = LineCrossing(p, vpLastDacePos, vpStartLine, vdStartDir, kLapLineSq);
        vpLastDacePos = p;
        if (d < 0)
            i16DaceCurrLap--;
        if (d > 0 && ++i16DaceCurrLap > i16DaceMaxLap) {
            i16DaceMaxLap = i16DaceCurrLap;
            const int left = i16RaceTotalLaps - i16DaceMaxLap;
            if (left <= 0) {
                FinishMission();
                return 0;
            }
            char text[64];
            snprintf(text, sizeof text, "%d %s TO GO...", left, left == 1 ? "LAP" : "LAPS");
            AddScreenText(text, STP_CENTER);
        }
        if (rcTarget.p == nullptr)
            return 0;
        const VectorPos r = RacerPos(rcTarget.p);
        const int t = LineCrossing(r, vpLastTargetPos, vpStartLine, vdStartDir, kLapLineSq);
        vpLastTargetPos = r;
        if (t < 0)
            i16TargetCurrLap--;
        if (t > 0 && ++i16TargetCurrLap > i16TargetMaxLap) {
            i16TargetMaxLap = i16TargetCurrLap;
            if (i16TargetMaxLap >= i16RaceTotalLaps)
                AbortMission();
        }
        return 0;
    }
    case OM_TIMER:
        RaceTimer(this, gameeventobj, rcTarget, TimerKind(data));
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        world.StopTimer(this);
        rcTarget = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
    return RaceEvent(this, *static_cast<SpecialMessage*>(data));
}

// ---------------------------------------------------------------------------
// The street race

int StreetRaceMissionController::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<StreetRaceMissionController>();
    return static_cast<StreetRaceMissionController*>(o)->mh(msg, data);
}

void StreetRaceMissionController::StartMission()
{
    // The rivals are already under way to the finish: none is held.
    AddScreenText("Street Race", STP_CENTER);
}

void StreetRaceMissionController::FinishMission()
{
    char text[64];
    snprintf(text, sizeof text, "NEW CAR %d AWARDED", (g_pgcTest != nullptr ? g_pgcTest->iChallengeValue : 0) + 2);
    AddScreenText(text, STP_CENTER);
    ShowResultThenReport(this, RESULT_WON);
}

void StreetRaceMissionController::AbortMission()
{
    AddScreenText("NO CAR AWARDED", STP_CENTER);
    ShowResultThenReport(this, RESULT_LOST);
}

int StreetRaceMissionController::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        vpLastDacePos = RacerPos(PlayerObject());
        vpLastTargetPos = RacerPos(rcTarget.p);
        flags |= OBJF_FRAMECALL;
        return 0;
    case OM_FRAME: {
        if (mode != RACE_RUNNING)
            return 0;
        const VectorPos p = RacerPos(PlayerObject());
        const bool playerCrossed = LineCrossing(p, vpLastDacePos, vpFinishLine, vdFinishDir, kFinishLineSq) != 0;
        vpLastDacePos = p;
        if (playerCrossed) {
            FinishMission();
            return 0;
        }
        if (rcTarget.p == nullptr)
            return 0;
        const VectorPos r = RacerPos(rcTarget.p);
        const bool rivalCrossed = LineCrossing(r, vpLastTargetPos, vpFinishLine, vdFinishDir, kFinishLineSq) != 0;
        vpLastTargetPos = r;
        if (rivalCrossed)
            AbortMission();
        return 0;
    }
    case OM_TIMER:
        RaceTimer(this, gameeventobj, rcTarget, TimerKind(data));
        return 0;
    case OM_SPECIAL:
        break;
    case OM_DIE:
        world.StopTimer(this);
        rcTarget = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
    return RaceEvent(this, *static_cast<SpecialMessage*>(data));
}
