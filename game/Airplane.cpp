// Placed aircraft on their paths.
#include "game/Airplane.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/Camera.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/LevelEntity.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/explosn.h"

namespace {

constexpr u32 kFrameCalls = 0x10000;
constexpr u32 kOnGround = 0x20;
constexpr u32 kCollisionMask = 0x500;
constexpr float kBulletDamage = 5.0f;
constexpr u32 kExplodeDelay = 15;
constexpr u32 kReportDelay = 180;
constexpr u16 kJetSample = 31;
constexpr u16 kFollowerSample = 32;
const VectorPos kReticle(0.0f, -0.78125f, 0.0f);

AnimTime Frames(u32 n) { return AnimTime(n << 8); }
void* TimerData(int d) { return reinterpret_cast<void*>(intptr_t(d)); }

// Tells the running mode how the chase went; without one nobody hears.
void Report(int code, Object* obj)
{
    GameController* gc = g_pgcTest;
    if (gc == nullptr || gc->pMission == nullptr || gc->pMission->messagehandler == nullptr)
        return;
    SpecialMessage m(code, obj);
    gc->pMission->messagehandler(gc->pMission, OM_SPECIAL, &m);
}

void Wake(int id)
{
    if (Object* o = world.Find(id))
        o->mode = Airplane::AM_ROLLING;
}

float Len(const VectorDir& d) { return std::sqrt(d.LengthSq()); }

}  // namespace

int Airplane::staticmh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return NewEntityReply<Airplane>();
    return static_cast<Airplane*>(o)->mh(msg, data);
}

int Airplane_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return Airplane::staticmh(obj, msg, data);
}

int Airplane::mh(OBJMESSAGE msg, void* data)
{
    switch (msg) {
    case OM_INIT:
        Init();
        return 0;
    case OM_FRAME:
        return Frame();
    case OM_TIMER:
        return Timer(int(reinterpret_cast<intptr_t>(data)));
    case OM_COLLISION:
        return Collide(*static_cast<CollisionRecord*>(data));
    case OM_SPECIAL:
        return Special(static_cast<SpecialMessage*>(data));
    case OM_DIE:
        free(pSpline);
        pSpline = nullptr;
        if (iSound >= 0) {
            sound.Stop(iSound);
            sound.FreeChannel(iSound);
            iSound = -1;
        }
        delete this;
        return -1;
    default:
        return 0;
    }
}

void Airplane::Init()
{
    fLastVel = app.taxispeed * kSpeedUnit;
    fLastT = -1.0f;
    fStrength = float(app.init_strength);
    fLastTVel = 0.0f;
    iTriggeredFlags = 0;
    fGroundLevel = 0.0f;
    iSound = -1;
    flags |= kFrameCalls;
    type = OBJT_DYNAMIC;
    if (Jet()) {
        mode = AM_TAXIING;
        flags |= kOnGround;
    } else {
        mode = AM_FOLLOWER_NEW;
    }
    ModifyCollisionMaskHierarchy(kCollisionMask, 0);
}

void Airplane::PutOnPath()
{
    pSpline->ClosestPoint(mat.GetTrans(), &fLastT);
    const float d = Len(pSpline->Tangent(fLastT));
    fLastTVel = d > 0.0f ? app.taxispeed * kSpeedUnit / d : 0.0f;
}

void Airplane::Advance(float speed)
{
    fLastT += fLastTVel * world.playbackSpeed;
    const VectorDir d = pSpline->Tangent(fLastT);
    const float l = Len(d);
    if (l <= 0.0f)
        return;
    fLastTVel = speed / l;
    const Matrix r = LookAlong(VectorDir(d[0] / l, d[1] / l, d[2] / l));
    mat.x = r.x;
    mat.y = r.y;
    mat.z = r.z;
    mat.SetTrans(VectorPos(pSpline->Evaluate(fLastT).xyz()));
}

// Airborne: beyond harm, watched by the fixed camera, and the game is lost
// a little later.
void Airplane::LiftOff()
{
    mode = AM_AIRBORNE;
    flags &= ~kOnGround;
    fStrength = kInvulnerable;
    if (g_pgcTest != nullptr)
        if (Object* o = g_pgcTest->FindFixedCamera()) {
            auto* cam = static_cast<Camera*>(o);
            cam->target = this;
            cam->ForceCutTo();
            world.StopFrameCall(cam);
            world.StartFrameCall(cam);
            SetCurrentCam(cam);
        }
    world.SetTimer(this, Frames(kReportDelay), TimerData(TIMER_ESCAPED));
}

int Airplane::Frame()
{
    // Without a path there is nowhere to go and nothing to trigger.
    if (pSpline == nullptr)
        return 0;
    const float top = app.takeoffspeed * kSpeedUnit;
    switch (mode) {
    case AM_FOLLOWER_NEW:
        PutOnPath();
        mode = AM_FOLLOWER_WAITING;
        break;
    case AM_TAXIING:
        if (fLastT < 0.0f)
            PutOnPath();
        UpdateEngineSound();
        Advance(app.taxispeed * kSpeedUnit);
        break;
    case AM_ROLLING:
    case AM_AIRBORNE:
        UpdateEngineSound();
        fLastVel = std::min(fLastVel + app.accel * kAccelUnit, top);
        Advance(fLastVel);
        if (mode == AM_ROLLING && Jet() && mat.GetTrans()[1] < fGroundLevel)
            LiftOff();
        break;
    case AM_SHOT_DOWN:
        UpdateEngineSound();
        fLastVel = std::max(0.0f, fLastVel - app.accel * kBrakeUnit);
        Advance(fLastVel);
        break;
    default:
        break;
    }

    if (fLastT >= float(pSpline->NumSplines())) {
        if (Jet())
            Report(SMSG_EV_TARGET_REACHED, nullptr);
        Delete();
        return -1;
    }
    if (!Jet())
        return 0;
    const VectorPos pos = mat.GetTrans();
    const bool inTrigger2 = app.trigger2.Within(pos);
    if (mode == AM_TAXIING && inTrigger2) {
        mode = AM_ROLLING;
        fGroundLevel = pos[1] - kLiftOff;
    }
    if (!(iTriggeredFlags & 1) && inTrigger2 && world.Find(kWokenByTrigger2) != nullptr) {
        Wake(kWokenByTrigger2);
        iTriggeredFlags |= 1;
    }
    if (!(iTriggeredFlags & 2) && app.trigger3.Within(pos) && world.Find(kWokenByTrigger3) != nullptr) {
        Wake(kWokenByTrigger3);
        iTriggeredFlags |= 2;
    }
    return 0;
}

int Airplane::Timer(int kind)
{
    switch (kind) {
    case TIMER_EXPLODE:
        Explode2(this);
        world.SetTimer(this, Frames(kReportDelay), TimerData(TIMER_DOWNED));
        break;
    case TIMER_DOWNED:
        Report(SMSG_MODE_FINISHED, this);
        break;
    case TIMER_ESCAPED:
        Report(SMSG_EV_TARGET_REACHED, nullptr);
        break;
    default:
        break;
    }
    return 0;
}

int Airplane::Special(SpecialMessage* m)
{
    switch (m->submsg) {
    case SMSG_BULLET_HIT:
        if (fStrength == 0.0f || fStrength >= kInvulnerable)
            return 0;
        fStrength = std::max(0.0f, fStrength - kBulletDamage);
        if (fStrength == 0.0f) {
            mode = AM_SHOT_DOWN;
            world.SetTimer(this, Frames(kExplodeDelay), TimerData(TIMER_EXPLODE));
        }
        return -1;
    case SMSG_Q_RETICLE_POS: {
        VectorPos* out = m->param[0];
        if (out != nullptr)
            *out = kReticle;
        return 1;
    }
    default:
        return 0;
    }
}

void Airplane::UpdateEngineSound()
{
    if (iSound < 0) {
        iSound = sound.AllocChannel(false);
        if (iSound < 0)
            return;
        sound.Play(iSound, sndbank_car, Jet() ? kJetSample : kFollowerSample);
        sound.SetDoppler(iSound, true);
    }
    // The engine's note rises from half its pitch at rest to one and a half
    // at take-off speed; a plane with no take-off speed keeps the lowest.
    const float top = app.takeoffspeed * kSpeedUnit;
    sound.SetPitch(iSound, top > 0.0f ? fLastVel / top + 0.5f : 0.5f, 0.0f);
    sound.SetPosition(iSound, mat.GetTrans());
}

// A car it runs into is pushed off and damaged, the more so with someone
// at the wheel.
int Airplane::Collide(CollisionRecord& cr)
{
    Object* other = cr.HitObj();
    if (other == nullptr || other->type != OBJT_VEHICLE || !cr.GetInfo())
        return 0;
    auto* car = static_cast<Vehicle*>(other);
    const VectorDir v = VectorDir(mat.z.xyz()) * fLastVel;
    const VectorDir n = cr.Normal();
    const VectorDir r = VectorDir(cr.Point() - car->mat.GetTrans());
    // Along the car's own axes: the transpose of its rotation.
    auto local = [&](const VectorDir& w) {
        return VectorDir(Dot(w, VectorDir(car->mat.x.xyz())), Dot(w, VectorDir(car->mat.y.xyz())),
                         Dot(w, VectorDir(car->mat.z.xyz())));
    };
    const VectorDir rl = local(r);
    const VectorDir nl = local(n);
    car->iLastCollTime = world.time;
    const VectorDir cv(car->vel[0], car->vel[1], car->vel[2]);
    const float a = -Dot(v - cv, n);
    const float b = Dot(v * 2.0f - cv * car->fMass, n);
    float e = cr.Dist() * 0.125f;
    if (a >= 0.0f)
        e = std::min(0.0f, a + e);
    const float k = e + std::min(0.0f, b) / (4.0f * car->fMass);
    const VectorDir j = nl * k;
    car->ApplyLocalForce(j * 0.5f, VectorPos(rl));
    car->ApplyLocalForce(j * 1.5f, VectorPos(0.0f, 0.0f, 0.0f));
    float damage = Len(j) * 50.0f;
    if (car->HasDriver() && car->rcoDriver->id >= 0)
        damage *= 4.0f;
    if (damage > 0.15f) {
        VectorPos at(rl);
        car->DamageVehicleAt(at, damage);
    }
    if (car->HasDriver()) {
        cr.ToggleFlip();
        Object* driver = car->rcoDriver.p;
        if (driver->messagehandler != nullptr)
            driver->messagehandler(driver, OM_PASSEDCOLL, &cr);
        cr.ToggleFlip();
    }
    return 0;
}
