// A runner and cars: getting in and out (the transition), driving and
// riding with shots out of the windows, making the car stop and its driver
// drive off, leaving it and choosing what to do on the street; and taking
// over a pedestrian's body.
#include "game/BadGuyRunnerShared.h"

#include <algorithm>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/Utilities.h"
#include "game/Bystander.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

using namespace runner;

namespace {

constexpr float kStopped2 = 5.4211e-06f;     // 0.0023283 squared
constexpr float kAtRest2 = 2.1684538e-05f;   // 0.0046567 squared

bool InRange(u16 a, int lo, int hi) { return a >= lo && a <= hi; }

void GunArmsFrame(Enemy* e)
{
    const int f = int(e->frame);
    e->leftdrivinggunarm.Frame(f, false, 0, 0, 0, 0, 0, 0);
    e->rightdrivinggunarm.Frame(f, false, 0, 0, 0, 0, 0, 0);
}

// A random point within half a square of side `size` around p.
VectorPos Around(VectorPos p, float size)
{
    const float x = randf() * size - size * 0.5f;
    const float z = randf() * size - size * 0.5f;
    return VectorPos(p[0] + x, p[1], p[2] + z);
}

}  // namespace

// ---------------------------------------------------------------------------
// The car states

void Enemy::Frame_Run_Transition()
{
    const u16 a = mode2;
    if (car != nullptr && InRange(a, 55, 62) && car->rcoDriver != nullptr) {
        if (Send(car->rcoDriver, SMSG_CD_SUSPEND, this) == 0) {
            OutOfCar();
            return;
        }
    }
    if (car != nullptr)
        UpdateCarTransitionFront(car);
    const u16 now = mode2;
    if (InRange(now, 65, 68) || now == 71 || now == 72 || InRange(now, 17, 19))
        GunArmsFrame(this);
    if (a == 61 && gameeventobj != nullptr)
        Send(gameeventobj, SMSG_EV_RUN_TRANSITION);
    if (a == 62 && (now == 64 || now == 70) && car != nullptr)
        car->KickOutDriver(Vehicle::KICKOUT_NORMAL, true, this);
    if ((a == 67 || a == 68) && (now == 71 || now == 72))
        DetachFromCar();
}

void Enemy::Frame_Run_Driving()
{
    auto* v = car;
    if (shootingchance > 0.0f && target != nullptr && !(flags & (GUYF_DYING | GUYF_DEAD))) {
        const int last = int(std::max(leftdrivinggunarm.lastshot == 0x7FFFFFFFu ? 0u : leftdrivinggunarm.lastshot,
                                      rightdrivinggunarm.lastshot == 0x7FFFFFFFu ? 0u : rightdrivinggunarm.lastshot));
        const float steer = v != nullptr ? v->steer : 0.0f;
        if (world.time - last > drivingshootperiod &&
            randf() < shootingchance * (1.0f - std::fabs(steer) * 1.7188734f)) {
            VectorDir vel(0.0f, 0.0f, 0.0f);
            if (parent != nullptr && parent->type == OBJT_VEHICLE)
                vel = VectorDir(static_cast<Vehicle*>(parent)->Vel().xyz());
            FireGunDriving(target, VectorPos(GetShootingInaccuracy(target, 0.0015f, 0.0015f, 0.15625f, 0.3125f)),
                           vel);
            Send(target, SMSG_SHOT_AT, this);
        }
    }
    GunArmsFrame(this);
    if (pursuitstarttime == -1) {
        pursuitstarttime = world.time;
        const int n = int((1.0f - aggro) * 120.0f);
        pursuitserioustime = world.time + 7200 + 60 * RandomN(n);
    }
    if (mode == 8 && !RandomCrimeRunning()) {
        if (gettingout) {
            GetOut();
        } else if (!caronly && world.time - pursuitstarttime > 300 && v != nullptr && v->Speed2() < kStopped2) {
            if (carstoppedframe == 0.0f)
                carstoppedframe = frame;
            else if (frame - carstoppedframe > 300.0f)
                GetOut();
        }
    }
    if (mode == 8 || mode == 10) {
        const VectorPos root = biproot != nullptr ? biproot->mat.GetTrans() : VectorPos(0.0f, 0.0f, 0.0f);
        const Matrix rot(mat.x, mat.y, mat.z, Vector(0.0f, 0.0f, 0.0f, 1.0f));
        mat.w = Vector(childpos - VectorDir((rot * root).xyz()), 1.0f);
    }
}

void Enemy::Frame_Run_Passenger() { Frame_Run_Driving(); }

void Enemy::Frame_Run_Stopping()
{
    GetOut();
    if (mode == 9) {
        const VectorPos root = biproot != nullptr ? biproot->mat.GetTrans() : VectorPos(0.0f, 0.0f, 0.0f);
        const Matrix rot(mat.x, mat.y, mat.z, Vector(0.0f, 0.0f, 0.0f, 1.0f));
        mat.w = Vector(childpos - VectorDir((rot * root).xyz()), 1.0f);
    }
}

void Enemy::DetachFromCar()
{
    DetachW();
    flags |= 0x80;
    Vehicle* v = car;
    if (v != nullptr) {
        Object* driver = v->rcoDriver;
        if (driver != nullptr)
            Send(driver, SMSG_CD_DRIVER_LEFT, this);
        driver = v->rcoDriver;
        if (driver != nullptr && driver->id != -1) {
            Send(driver, SMSG_CD_HOLD, nullptr, 1);
            v->mode = 0;
        }
        v->brakeaccel = -0.01f;
    }
    OutOfCar();
}

void Enemy::OutOfCar()
{
    if (RandomCrimeRunning()) {
        gotincartime = 0x7FFFFFFF;
        leavingcar = false;
        if (flags & GUYF_DYING)
            BlendToAnim(+BA::KILLED_ANI, 3);
        else if (gameeventobj != nullptr)
            Send(gameeventobj, SMSG_EV_ENEMY_OUT_OF_CAR, this);
        return;
    }
    if (flags & GUYF_DYING) {
        BlendToAnim(+BA::KILLED_ANI, 3);
        return;
    }
    if (caronly) {
        Start_Run_Surrender();
        return;
    }
    if (target != nullptr && Dist2(target->GetWorldPos(), GetWorldPos()) > 976.5625f) {
        Start_Run_Evasion();
        return;
    }
    if (carchaseonly) {
        Start_Run_Surrender();
        return;
    }
    if (pursuitserioustime != -1 && world.time < pursuitserioustime) {
        SelectStoppedStrategy();
        return;
    }
    if (randf() < aggro || randf() < fatigue)
        Start_Run_Evasion();
    else
        Start_Run_Surrender();
}

// ---------------------------------------------------------------------------
// Stopping and getting out

int Enemy::StopCar()
{
    Vehicle* v = car;
    if (v == nullptr)
        return 0;
    v->fBrake = 0.01f;
    v->fEngine = 0.0f;
    v->steer = 0.0f;
    v->fAccel = 0.0f;
    v->fHandBrake = 0.01f;
    Object* driver = v->rcoDriver;
    if (driver != nullptr && driver->type != OBJT_CHARACTER && driver->id != -1) {
        auto* cd = static_cast<CarDriver*>(driver);
        VectorPos q1 = Around(v->GetWorldPos(), 1005.84f);
        cd->iCDFlags &= ~0x80;
        // The driver copies the point inside the call.
        SpecialMessage drive(SMSG_CD_SET_DRIVE, nullptr, 6, &q1);
        driver->SendMessage(OM_SPECIAL, &drive);
        Send(driver, SMSG_CD_HOLD, nullptr, 1);
        v->mode = 0;
        VectorPos q2 = Around(v->GetWorldPos(), 502.92f);
        SpecialMessage drive2(SMSG_CD_SET_DRIVE, nullptr, 7, &q2);
        driver->SendMessage(OM_SPECIAL, &drive2);
        Send(driver, SMSG_CD_DEACTIVATE, nullptr, 0);
        cd->WakeupWithCar();
    }
    Start_Run_Stopping();
    return 1;
}

int Enemy::GetOut()
{
    Vehicle* v = car;
    if (v == nullptr || v->Speed2() > kAtRest2)
        return 0;
    if (id >= -150 && id <= -101) {
        flags |= 0x20;
        v->flags &= ~0x20u;
    }
    if (biproot != nullptr) {
        const VectorPos off = biproot->mat.GetTrans();
        mat.w = Vector(mat.GetTrans() + VectorDir(off[0], off[1] * 0.5f, off[2]), 1.0f);
    }
    SetAnim(v->FindSubObject(16) != nullptr ? CARTRANS_GETOUT_L : CARTRANS_GETOUT2_L);
    Start_Run_Transition();
    return 1;
}

// ---------------------------------------------------------------------------
// Body snatching

void Enemy::BodySnatch(Bystander* b)
{
    if (b == nullptr)
        return;
    mdlfile = b->mdlfile;
    index = b->index;
    mat = b->mat;
    if (geom != nullptr)
        DeleteGeometry(geom);
    geom = b->geom;
    b->geom = nullptr;
    collision = b->mdlfile != nullptr ? GetModelCollision(b->mdlfile, b->index) : b->collision;
    if (collision == nullptr)
        collision = b->collision;
    if (b->blendAnim != nullptr) {
        if (blendAnim != nullptr)
            DeleteBlendAnimation(blendAnim);
        blendAnim = b->blendAnim;
        b->blendAnim = nullptr;
    }
    while (Object* c = b->child) {
        c->Detach();
        Attach(c);
    }
    CalcRadius();
}

// ---------------------------------------------------------------------------
// Guns out of a car

void Enemy::InitGunsDriving()
{
    PresetGunArm* arms[2] = {&rightdrivinggunarm, &leftdrivinggunarm};
    const u16 at[2] = {0x8001, 0x8002};
    for (int i = 0; i < 2; i++)
        if (arms[i]->gun == nullptr)
            arms[i]->gun = MakeHandGun(this, kGunSlot, 1, at[i]);
    if (shootingchance > 0.0f) {
        if (leftdrivinggunarm.mode < PresetGunArm::CARRYING)
            leftdrivinggunarm.mode = PresetGunArm::CARRYING;
    } else {
        leftdrivinggunarm.mode = PresetGunArm::UNARMED;
    }
    rightdrivinggunarm.mode = PresetGunArm::UNARMED;
    if (Object* g = leftdrivinggunarm.gun) {
        if (leftdrivinggunarm.IsArmed())
            g->flags &= ~OBJF_HIDDEN;
        else
            g->flags |= OBJF_HIDDEN;
    }
    if (Object* g = rightdrivinggunarm.gun)
        g->flags |= OBJF_HIDDEN;
}

void Enemy::FireGunDriving(Object* aimobj, VectorPos aimpos, VectorDir aimvel)
{
    if (aimobj == nullptr)
        return;
    const VectorPos w = aimobj->GetWorldMatrix() * aimpos;
    const Matrix me = GetWorldMatrix();
    const VectorDir rel = Flat(w - me.GetTrans());
    const float lx = Dot(rel, FlatUnit(VectorDir(me.x.xyz())));
    const float lz = Dot(rel, FlatUnit(VectorDir(me.z.xyz())));
    const float a = std::atan2(lx, lz);
    const bool leftCan = driveaimrange[0] < a && a < driveaimrange[1];
    const bool rightCan = driveaimrange[2] < a && a < driveaimrange[3];
    PresetGunArm& L = leftdrivinggunarm;
    PresetGunArm& R = rightdrivinggunarm;
    if (leftCan)
        L.aimrangepos = (a - driveaimrange[0]) / (driveaimrange[1] - driveaimrange[0]);
    if (rightCan)
        R.aimrangepos = (a - driveaimrange[2]) / (driveaimrange[3] - driveaimrange[2]);
    L.vel = R.vel = aimvel;
    L.aimobj = R.aimobj = aimobj;
    auto request = [](PresetGunArm& arm) {
        switch (arm.mode) {
        case PresetGunArm::AIMING: arm.mode = PresetGunArm::AIMING_TO_SHOOT; break;
        case PresetGunArm::CARRYING:
        case PresetGunArm::DRAWING_TO_AIM: arm.mode = PresetGunArm::DRAWING_TO_SHOOT; break;
        case PresetGunArm::JUST_SHOT:
        case PresetGunArm::RECOIL:
        case PresetGunArm::RECOIL_TO_AIM:
        case PresetGunArm::RECOIL_TO_QUIT_AIMING: arm.mode = PresetGunArm::RECOIL_TO_SHOOT; break;
        default: break;
        }
    };
    auto refresh = [this] {
        if (anims != nullptr && anims[1] != nullptr) {
            SetAnimFileHierarchy(anims[1], int(frame), false, 1.0f, -1);
            AnimateHierarchy(1.0f);
        }
    };
    PresetGunArm* fired = nullptr;
    if (leftCan) {
        if (L.IsArmed()) {
            fired = &L;
        } else if (rightCan && R.IsArmed()) {
            fired = &R;
        } else {
            if (L.mode < PresetGunArm::CARRYING)
                L.mode = PresetGunArm::CARRYING;
            R.mode = PresetGunArm::UNARMED;
            refresh();
            fired = &L;
        }
    } else if (rightCan) {
        if (!R.IsArmed()) {
            L.mode = PresetGunArm::UNARMED;
            refresh();
            if (R.mode < PresetGunArm::CARRYING)
                R.mode = PresetGunArm::CARRYING;
        }
        fired = &R;
    }
    if (fired == nullptr)
        return;
    request(*fired);
    if (target != nullptr)
        Send(target, SMSG_SHOT_AT, fired->gun);
}
