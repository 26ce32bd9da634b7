// The driving course's start gate, pop-up pedestrians, breakable props and
// drone cars.
#include "game/GameFEnt.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"
#include "game/cardrivr.h"
#include "game/explosn.h"

namespace {

constexpr u32 kCourseFlags = 0x90000;   // frame calls, and part of the interior collision set
constexpr u32 kStriking = 0x1000;       // the striking part of an attack
constexpr int kArmId = 1;
constexpr int kArmTurns = 15;
constexpr float kArmStep = 0.10472f;    // 6 degrees a frame
constexpr float kHalfTurn = 1.57079637f;
constexpr int kLightStepFrames = 60;
constexpr float kPedDrop = 0.9375f;     // how far below its standing place a lowered pedestrian is
constexpr float kPedRise = 0.0625f;
constexpr float kPedSink = 0.03125f;
constexpr int kPedRiseFrames = 15;
constexpr int kPedSinkFrames = 30;
constexpr int kPedBlast = 11;           // damage that breaks a pedestrian
constexpr int kPedKind = 2;             // what a pedestrian is counted as
constexpr int kExplosionRecord = 15;
constexpr int kQueryHottie = 86;
constexpr int kRaceAlongSpline = 12;

enum { TIMER_LIGHT1 = 1, TIMER_LIGHT2 = 2, TIMER_START = 3 };
enum { TIMER_PED_SINK = 1, TIMER_PED_RISE = 2 };

Name nameGate("DrvCrseGate", int(reinterpret_cast<intptr_t>(&DrvCrseGate::DrvCrseGate_mh)));
Name namePed("DrvCrsePed", int(reinterpret_cast<intptr_t>(&DrvCrsePed::DrvCrsePed_mh)));
Name nameProp("DrvCrseProp", int(reinterpret_cast<intptr_t>(&DrvCrseProp::DrvCrseProp_mh)));
Name nameDrone("DrvCrseDrone", int(reinterpret_cast<intptr_t>(&DrvCrseDrone::DrvCrseDrone_mh)));

AnimTime Frames(int n)
{
    return AnimTime(u32(n) << 8);
}
void* TimerData(int d)
{
    return reinterpret_cast<void*>(intptr_t(d));
}
int TimerKind(void* d)
{
    return int(reinterpret_cast<intptr_t>(d));
}

// The running mode controller, which hears what the course objects do.
Object* CurrentMission()
{
    return g_pgcTest != nullptr ? g_pgcTest->pMission : nullptr;
}

// The player inside a course trigger; without a player the origin is
// tested.  A trigger that is not set never holds.
bool PlayerInside(const Extent& trigger)
{
    Object* p = PlayerObject();
    return trigger.Within(p != nullptr ? p->GetWorldPos() : VectorPos(0.0f, 0.0f, 0.0f));
}

// Frame calls again after a stop: a link the world has not yet dropped is
// taken over rather than doubled.
void ResumeFrameCalls(Object* o)
{
    if (world.framecalllist.Find(o) != nullptr)
        o->flags |= OBJF_FRAMECALL;
    else
        world.StartFrameCall(o);
}

// A sound on a channel of its own at pos, full volume, no variation.
int PlayAt(int bank, int index, VectorPos pos)
{
    const int ch = sound.AllocChannel(false);
    if (ch < 0)
        return ch;
    sound.Play(ch, u16(bank), u16(index));
    sound.SetVolume(ch, 1.0f, 0.0f);
    sound.SetPosition(ch, pos);
    return ch;
}

float Speed(const Vehicle* v)
{
    const Vector& vel = v->vel;
    return std::sqrt(vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2]);
}

void SetY(Object* o, float y)
{
    o->mat.w = Vector(o->mat.w[0], y, o->mat.w[2], 1.0f);
}

}  // namespace

// ---------------------------------------------------------------------------
// The start gate

int DrvCrseGate::DrvCrseGate_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<DrvCrseGate>();
    return static_cast<DrvCrseGate*>(o)->mh(msg, data);
}

int DrvCrseGate::PlayInstantSound(int bank, int index)
{
    return PlayAt(bank, index, GetWorldPos());
}

// The lights pose the gate at one frame of its animation; the gate poses
// itself, the world does not run the animation on.
void DrvCrseGate::ShowLights(int step)
{
    iLightFrame = step;
    if (blendAnim != nullptr)
        AnimateHierarchy(this, float(int(blendAnim->animoffset) + step), 1.0f);
}

// The arm turns about its own x axis where it stands.
void DrvCrseGate::TurnArm(float angle)
{
    Object* arm = FindSubObject(kArmId);
    if (arm == nullptr)
        return;
    const Vector at = arm->mat.w;
    arm->mat = RotX(angle) * arm->mat;
    arm->mat.w = at;
}

void DrvCrseGate::StartCountdown()
{
    mode = GATE_COUNTDOWN;
    const float delay = pdcgp != nullptr ? pdcgp->delay : 0.0f;
    // Two seconds before the record's delay, a frame at least.
    const int wait = std::max(1, int(KVWorld::RecordFrames(delay)) - 120);
    world.SetTimer(this, Frames(wait), TimerData(TIMER_LIGHT1));
    world.StopFrameCall(this);
}

int DrvCrseGate::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        flags |= kCourseFlags;
        flags &= ~OBJF_SELFANIMATING;
        ModifyCollisionMaskHierarchy(0x101, 0);
        if (pdcgp == nullptr || pdcgp->init_state == 0) {
            mode = GATE_WAIT;
        } else {
            TurnArm(kHalfTurn);
            mode = GATE_WAIT_RAISED;
        }
        SetAnimHierarchy(0, int(Animation::anim_time.t >> 8));
        ShowLights(0);
        return 0;
    case OM_FRAME:
        switch (mode) {
        case GATE_WAIT:
        case GATE_WAIT_RAISED:
            if (pdcgp == nullptr || !PlayerInside(pdcgp->trigger))
                break;
            if (mode == GATE_WAIT) {
                StartCountdown();
            } else {
                iCount = kArmTurns;
                mode = GATE_LOWERING;
            }
            break;
        case GATE_LOWERING:
        case GATE_RAISING:
            if (--iCount >= 0) {
                TurnArm(mode == GATE_LOWERING ? -kArmStep : kArmStep);
            } else if (mode == GATE_LOWERING) {
                ShowLights(2);
                StartCountdown();
            } else {
                ShowLights(0);
                world.StopFrameCall(this);
            }
            break;
        default:
            break;
        }
        return 0;
    case OM_TIMER:
        switch (TimerKind(data)) {
        case TIMER_LIGHT1:
        case TIMER_LIGHT2: {
            const int kind = TimerKind(data);
            PlayInstantSound(sndbank_car, DRVCRSE_SND_STEP);
            ShowLights(kind == TIMER_LIGHT1 ? 2 : 4);
            world.SetTimer(this, Frames(kLightStepFrames), TimerData(kind + 1));
            break;
        }
        case TIMER_START:
            mode = GATE_RAISING;
            PlayInstantSound(sndbank_car, DRVCRSE_SND_START);
            ShowLights(6);
            ResumeFrameCalls(this);
            SendSpecial(CurrentMission(), SMSG_EV_GATE_PASSED);
            iCount = kArmTurns;
            break;
        default:
            break;
        }
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// The pop-up pedestrian

int DrvCrsePed::DrvCrsePed_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<DrvCrsePed>();
    return static_cast<DrvCrsePed*>(o)->mh(msg, data);
}

int DrvCrsePed::PlayInstantSound(int bank, int index)
{
    return PlayAt(bank, index, GetWorldPos());
}

void DrvCrsePed::ExplodeMe()
{
    Object* mission = CurrentMission();
    if (mission == nullptr)
        return;
    Explode2(this);
    SendSpecial(mission, SMSG_EV_INNOCENT_HIT, nullptr, kPedKind);
}

void DrvCrsePed::StopWalkSound()
{
    if (iSound >= 0)
        sound.Stop(iSound);
    iSound = -1;
}

void DrvCrsePed::Init()
{
    flags |= kCourseFlags;
    iSound = -1;
    ModifyCollisionMaskHierarchy(0x101, 0);
    // A path without a whole curve gives nowhere to walk: the pedestrian
    // only pops up and down.
    if (pSpline != nullptr && pSpline->NumSplines() == 0) {
        free(pSpline);
        pSpline = nullptr;
    }
    if (pSpline != nullptr) {
        fT = 0.0f;
        const Vector& p0 = (*pSpline)[0];
        vpUpPos = VectorPos(p0[0], p0[1], p0[2]);
        const float len = Length(pSpline->Tangent(0.0f));
        fDeltaT = len > 0.0f && pdcpp != nullptr ? pdcpp->speed * (1.0f / 192.0f) / len : 0.0f;
    } else {
        vpUpPos = mat.GetTrans();
    }
    if (pdcpp == nullptr || pdcpp->init_state == 0) {
        mode = PED_DOWN;
        mat.SetTrans(vpUpPos + VectorDir(0.0f, kPedDrop, 0.0f));
    } else {
        mode = PED_UP;
        mat.SetTrans(vpUpPos);
    }
}

void DrvCrsePed::Walk()
{
    const bool lowered = mode == PED_WALK_DOWN;
    const float drop = lowered ? kPedDrop : 0.0f;
    fT += fDeltaT;
    const int n = (pSpline->Count() - 1) / 3;
    if (fT < float(n)) {
        const Vector p = pSpline->Evaluate(fT);
        mat.SetTrans(VectorPos(p[0], p[1] + drop, p[2]));
        return;
    }
    StopWalkSound();
    PlayInstantSound(sndbank_car, DRVCRSE_SND_STEP);
    const Vector p = pSpline->Evaluate(float(n));
    mat.SetTrans(VectorPos(p[0], p[1] + drop, p[2]));
    world.StopFrameCall(this);
    if (pdcpp != nullptr && pdcpp->delay > 0.0f)
        world.SetTimer(this, Frames(int(KVWorld::RecordFrames(pdcpp->delay))), TimerData(lowered ? TIMER_PED_RISE : TIMER_PED_SINK));
}

void DrvCrsePed::Frame()
{
    const float delay = pdcpp != nullptr ? pdcpp->delay : 0.0f;
    switch (mode) {
    case PED_DOWN:
    case PED_UP:
        if (pdcpp == nullptr || !PlayerInside(pdcpp->trigger))
            return;
        iCount = mode == PED_DOWN ? kPedRiseFrames : kPedSinkFrames;
        mode = mode == PED_DOWN ? PED_RISING : PED_SINKING;
        PlayInstantSound(sndbank_car, DRVCRSE_SND_STEP);
        return;
    case PED_RISING:
    case PED_TIMED_RISING:
    case PED_SINKING:
    case PED_TIMED_SINKING: {
        const bool rising = mode == PED_RISING || mode == PED_TIMED_RISING;
        if (--iCount >= 0) {
            SetY(this, mat.w[1] + (rising ? -kPedRise : kPedSink));
            return;
        }
        SetY(this, vpUpPos[1] + (rising ? 0.0f : kPedDrop));
        if (mode == PED_TIMED_RISING || mode == PED_TIMED_SINKING) {
            world.StopFrameCall(this);
        } else if (pSpline != nullptr) {
            iSound = PlayInstantSound(sndbank_car, DRVCRSE_SND_WALK);
            mode = rising ? PED_WALK_UP : PED_WALK_DOWN;
        } else {
            world.StopFrameCall(this);
            if (delay > 0.0f)
                world.SetTimer(this, Frames(int(delay * 60.0f)), TimerData(rising ? TIMER_PED_SINK : TIMER_PED_RISE));
        }
        return;
    }
    case PED_WALK_UP:
    case PED_WALK_DOWN:
        if (pSpline != nullptr)
            Walk();
        return;
    default:
        return;
    }
}

int DrvCrsePed::Collision(CollisionRecord* rec)
{
    Object* other = rec != nullptr ? rec->HitObj() : nullptr;
    if (other == nullptr)
        return 0;
    Object* part = rec->HisPart();
    const bool fastCar = other->type == OBJT_VEHICLE && Speed(static_cast<Vehicle*>(other)) > kDrvCrseBreakSpeed;
    const bool blow = other->type == OBJT_CHARACTER && part != nullptr && (part->flags & kStriking) != 0;
    if (!fastCar && !blow)
        return 0;
    ExplodeMe();
    return -1;
}

int DrvCrsePed::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        Frame();
        return 0;
    case OM_TIMER: {
        const int kind = TimerKind(data);
        if (kind != TIMER_PED_SINK && kind != TIMER_PED_RISE)
            return 0;
        mode = kind == TIMER_PED_SINK ? PED_TIMED_SINKING : PED_TIMED_RISING;
        iCount = kind == TIMER_PED_SINK ? kPedSinkFrames : kPedRiseFrames;
        PlayInstantSound(sndbank_car, DRVCRSE_SND_STEP);
        ResumeFrameCalls(this);
        return 0;
    }
    case OM_COLLISION:
        return Collision(static_cast<CollisionRecord*>(data));
    case OM_DAMAGE:
        if (int(reinterpret_cast<intptr_t>(data)) < kPedBlast)
            return 0;
        ExplodeMe();
        return 1;
    case OM_DIE:
        StopWalkSound();
        free(pSpline);
        pSpline = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// The breakable prop

int DrvCrseProp::DrvCrseProp_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE) {
        const int r = NewEntityReply<DrvCrseProp>();
        if (auto* p = reinterpret_cast<DrvCrseProp*>(intptr_t(r)))
            p->fStrength = 10.0f;
        return r;
    }
    return static_cast<DrvCrseProp*>(o)->mh(msg, data);
}

void DrvCrseProp::ExplodeMe()
{
    Object* mission = CurrentMission();
    if (mission == nullptr)
        return;
    Explode2(this);
    SendSpecial(mission, SMSG_EV_INNOCENT_HIT, nullptr, iType);
}

void DrvCrseProp::TakeDamage(float f)
{
    if (fStrength == 0.0f)
        return;
    fStrength = std::max(fStrength - f, 0.0f);
    if (fStrength == 0.0f)
        ExplodeMe();
}

int DrvCrseProp::Collision(CollisionRecord* rec)
{
    Object* other = rec != nullptr ? rec->HitObj() : nullptr;
    if (other == nullptr)
        return 0;
    Object* part = rec->HisPart();
    if (other->type == OBJT_VEHICLE) {
        if (Speed(static_cast<Vehicle*>(other)) > kDrvCrseBreakSpeed && FindSpecialIndex(kExplosionRecord) != 0)
            TakeDamage(fStrength);
    } else if (other->type == OBJT_CHARACTER && part != nullptr && (part->flags & kStriking) != 0) {
        SpecialMessage q(SMSG_Q_COLLISION, nullptr, rec);
        TakeDamage(float(other->SendMessage(OM_SPECIAL, &q)));
    }
    return 0;
}

int DrvCrseProp::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        if (type == OBJT_PLACEHOLDER)
            return 0;
        type = OBJT_STATIC;
        flags |= 0x80000;
        ModifyCollisionMaskHierarchy(0x409, 0);
        return 0;
    case OM_SPECIAL: {
        const auto* m = static_cast<SpecialMessage*>(data);
        if (m == nullptr)
            return 0;
        if (m->submsg == SMSG_BULLET_HIT && m->obj != nullptr)
            TakeDamage(static_cast<Bullet*>(m->obj)->GetStrength());
        else if (m->submsg == SMSG_DAMAGE)
            TakeDamage(float(int(m->param[0])));
        else if (m->submsg == kQueryHottie)
            TakeDamage(10000.0f);
        return 0;
    }
    case OM_COLLISION:
        return Collision(static_cast<CollisionRecord*>(data));
    case OM_DAMAGE:
        if (int(fStrength) < int(reinterpret_cast<intptr_t>(data))) {
            ExplodeMe();
            return 1;
        }
        return 0;
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// The drone car

int DrvCrseDrone::DrvCrseDrone_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<DrvCrseDrone>();
    return static_cast<DrvCrseDrone*>(o)->mh(msg, data);
}

// Once: the car's computer driver races along the path at the drone's speed.
void DrvCrseDrone::Fire()
{
    Object* car = rcCar.p;
    Object* driver = car != nullptr && !car->IsDead() && car->type == OBJT_VEHICLE
                         ? static_cast<Vehicle*>(car)->rcoDriver.p
                         : nullptr;
    if (driver != nullptr && !driver->IsDead()) {
        // The order's position word is an int 1; a driver reads a whole
        // position there, so it lies in a position's aligned storage.
        alignas(16) static const int one[4] = {1, 0, 0, 0};
        SpecialMessage m(SMSG_CD_SET_DRIVE, nullptr, kRaceAlongSpline, one, pSpline);
        driver->SendMessage(OM_SPECIAL, &m);
        // Only a computer driver holds a race speed.
        if (driver->messagehandler == &CarDriver::CarDriver_mh)
            static_cast<CarDriver*>(driver)->fSetSpeed = fSpeed;
    }
    mode = 1;
    world.StopFrameCall(this);
}

int DrvCrseDrone::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_INIT:
        flags |= kCourseFlags | OBJF_NOCOLLISION;
        return 0;
    case OM_FRAME:
        if (mode == 0 && prcdc != nullptr && PlayerInside(prcdc->trigger))
            Fire();
        return 0;
    case OM_DIE:
        free(pSpline);
        pSpline = nullptr;
        rcCar = nullptr;
        delete this;
        return -1;
    default:
        return 0;
    }
}
