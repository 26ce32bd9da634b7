// The player getting into and out of cars (player mode 6): choosing the
// door, the walk there, throwing the driver out, taking the seat, the way
// out through the left door or crawling from a car on its roof, and the
// aborts that stand him back on his feet.  The walk, the door's swing and
// the seating steps themselves are the character body's front-door entry.
#include "game/Player.h"

#include <cmath>

#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Camera.h"
#include "game/CameraMaths.h"
#include "game/GameAudio.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

constexpr u16 kGetInLeft = 0x8064, kGetInRight = 0x8065;
constexpr u16 kSeatLeft = 0x8074, kSeatRight = 0x8075;
constexpr u16 kSteeringGrip = 0x8066;
// Where the hands grip the wheel from its node, and the wheel's tilt (8
// degrees back from upright).
const VectorDir kSteerOff(-0.0703125f, 0.015625f, -0.05f);
constexpr float kWheelTilt = 0.139626f;

// A vehicle slower than this (squared, per frame) may be entered or left;
// one turning faster than this (squared) may not be entered.
constexpr float kStill2 = 0.000135528f;
constexpr float kSpinning2 = 0.0174533f;
// A car with its y row's y at or below this lies on its roof.
constexpr float kOnItsRoof = -0.7f;

// The car ids that say how the player left it.
constexpr s16 kCarIdKept = 65, kCarIdLeft = 71;

constexpr float kPi = 3.14159265f;

// The motorbike's aim sweeps and the car's (left, then right hand).
constexpr float kBikeAimRange[2][2] = {{-3.12274f, 0.529184f}, {-0.33615f, 3.0264f}};
constexpr float kCarAimRange[2][2] = {{-2.35619f, 0.436332f}, {0.0872665f, 3.05433f}};

bool In(int a, int lo, int hi) { return a >= lo && a <= hi; }

// A node of the car's model placed in the car object's frame (its origin is
// the centre of gravity); false when the model has none.
bool CarNode(Vehicle* v, u16 id, Matrix* out)
{
    NODE* n = v->FindNode(id);
    if (n == nullptr)
        return false;
    if (out != nullptr) {
        *out = n->GetMatrix();
        out->w = Vector(VectorXYZ(n->Pos()) - VectorXYZ(v->vdCOGOffset), 1.0f);
    }
    return true;
}

bool HasNode(Vehicle* v, u16 id) { return CarNode(v, id, nullptr); }

float Dist2ToNode(Vehicle* v, u16 id, VectorPos from)
{
    Matrix n;
    CarNode(v, id, &n);
    const VectorPos p = v->GetWorldMatrix() * n.GetTrans();
    return VectorDir(p - from).LengthSq();
}

int Send(Object* to, int code, Object* obj, int p0 = 0)
{
    if (to == nullptr)
        return 0;
    SpecialMessage m(code, obj, p0);
    return to->SendMessage(OM_SPECIAL, &m);
}

void ResetDoor(Vehicle* v, int door)
{
    if (Object* d = v->FindSubObject(door)) {
        const Vector w = d->mat.w;
        d->mat = Matrix(true);
        d->mat.w = w;
    }
}

// Odd numbers 55..71 are the left side's transition animations.
bool LeftSideAnim(u16 a) { return In(a, 55, 71) && (a & 1) != 0; }
bool RightSideAnim(u16 a) { return In(a, 56, 72) && (a & 1) == 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Getting in.

bool Dace::TryGettingIn(Vehicle* v)
{
    // 1. The car guns take the guns he holds.
    leftdrivinggunarm.weapon = leftgunarm.weapon;
    leftdrivinggunarm.gun = lgun;
    rightdrivinggunarm.weapon = rightgunarm.weapon;
    rightdrivinggunarm.gun = rgun;
    if (v == nullptr)
        return false;

    // 2.
    if (v->Speed2() >= kStill2)
        return false;

    // 3. The door.
    bool left = true;
    const Matrix vw = v->GetWorldMatrix();
    const VectorPos here = GetWorldPos();
    if (v->bCycle) {
        left = Dot(VectorDir(here - vw.GetTrans()), VectorDir(vw.x.xyz())) < 0.0f;
    } else {
        const bool getinL = HasNode(v, kGetInLeft), getinR = HasNode(v, kGetInRight);
        const bool seatL = HasNode(v, kSeatLeft), seatR = HasNode(v, kSeatRight);
        if (getinL && getinR) {
            const bool nearleft = Dist2ToNode(v, kGetInLeft, here) <= Dist2ToNode(v, kGetInRight, here);
            const bool nearseat = nearleft ? seatL : seatR;
            const bool farseat = nearleft ? seatR : seatL;
            if (nearseat)
                left = nearleft;
            else if (farseat)
                left = !nearleft;
            else
                return false;
        } else if (getinL && seatL) {
            left = true;
        } else if (getinR && seatR) {
            left = false;
        } else {
            return false;
        }
    }

    // 4. Tipped or spinning.
    if (vw.y[1] < 0.0f || v->angvel.xyz().LengthSq() > kSpinning2)
        return false;

    // 5. Wrecked, driverless, or the target's own car.
    if (v->strength <= 0.0f || v->rcoDriver == nullptr || (target != nullptr && v->rcoDriver.p == target.p))
        return false;

    // 6. The driver must agree to stop for him.
    if (Send(v->rcoDriver, SMSG_CD_SUSPEND, this, 1) == 0)
        return false;

    // 7.
    StartWalkingToDoor(left, v);
    ghc.Clear();
    speed = 0.0f;
    return true;
}

void Dace::StartWalkingToDoor(bool left, Vehicle* v)
{
    if (shootmode != SHOOT_NONE) {
        if (shootmode == SHOOT_PRECISION && cam != nullptr)
            cam->zoom = 1.6f;
        SetShootMode(SHOOT_NONE);
        world.playbackSpeed = 1.2f;
        target = nullptr;
        leftgunarm.ImmediateDeactivateGun();
        rightgunarm.ImmediateDeactivateGun();
    }
    car = v;
    SwitchToMode(DACEMODE_CARTRANSITION, true);
    BlendToAnim(left ? CAR_START_WALK_L_ANI : CAR_START_WALK_R_ANI, 5);
}

void Dace::PlaceCarCamera(float dist)
{
    if (cam != nullptr)
        cam->relpos = VectorPos(VectorDir(camera::Orientation(cam->relangx, cam->angygoal).z.xyz()) * -dist);
}

void Dace::Frame_TransitionMode(PlayerController& pc)
{
    // 1.
    const u16 was = mode2;
    const bool wasexit = was == CAR_EXIT_NODOOR_L_ANI || was == CAR_EXIT_NODOOR_R_ANI;
    const bool waskickout = was == CAR_OPEN_R_ANI || was == CAR_START_WALK_L_ANI;

    // 2.
    if (cam != nullptr && cam->mode == CAMMODE_INCAR)
        PlaceCarCamera(cam->distgoal);

    // 3. Walking to the door: L1 or a driver who will not wait calls it off.
    if (In(mode2, CAR_WALK_TO_DOOR_L_ANI, CAR_WAIT_AT_DOOR_R_ANI)) {
        if (pc.Hit() & BUT_TRIGGER_L) {
            CancelGetIn();
            return;
        }
        Object* driver = car != nullptr ? car->rcoDriver.p : nullptr;
        if (driver != nullptr && driver != this && Send(driver, SMSG_CD_SUSPEND, this) == 0) {
            CancelGetIn();
            return;
        }
    }

    // 4. At the car the camera is the car's.
    if (car != nullptr && cam != nullptr &&
        (In(mode2, CAR_ENTER_L_ANI, CAR_PULLOUT_DRIVER_ANI) || In(mode2, CAR_SEATSWITCH_L_ANI, CAR_CRAWLOUT_GETUP_ANI) ||
         In(mode2, BIKE_UPRIGHT_GETON_BACK_ANI, BIKE_UPRIGHT_GETON_R_ANI))) {
        if (cam->mode != CAMMODE_INCAR)
            cam->InitCarMode(car);
        cam->relpos = VectorPos(VectorDir(RotX(cam->relangx).z.xyz()) * -cam->distgoal);
    }

    // 5. The car guns go away.
    if (leftdrivinggunarm.mode >= PresetGunArm::CARRYING) {
        leftdrivinggunarm.mode = PresetGunArm::CARRYING_TO_UNARMED;
        rightdrivinggunarm.mode = PresetGunArm::UNARMED;
    } else {
        leftdrivinggunarm.mode = PresetGunArm::UNARMED;
        rightdrivinggunarm.mode = PresetGunArm::CARRYING_TO_UNARMED;
    }
    UpdateGunsDriving(false, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);

    // 6.
    UpdateCarTransitionFront(car);
    Animate();

    // 7. On the ground until he hangs on the car.
    if (parent == nullptr) {
        const float g = UpdateGroundAndLandableHeight(GetWorldPos(), nullptr, &ghc);
        if (g < 0.0f) {
            VectorPos p = mat.GetTrans();
            p[1] = g;
            mat.SetTrans(p);
        }
    }

    // 8. Crawling out keeps his feet on the ground beside the upturned car.
    if (mode2 == CAR_CRAWLOUT_ANI)
        KeepFeetOnGround();

    // 9. The driver is thrown out as the door opens.
    if (waskickout && mode2 != CAR_OPEN_R_ANI && mode2 != CAR_START_WALK_L_ANI && car != nullptr) {
        Object* out = car->KickOutDriver(Vehicle::KICKOUT_NORMAL, mode2 == CAR_ENTER_R_ANI, this);
        if (out != nullptr && car->id != kCarIdKept && DaceVO.IsStopped())
            DaceVO.Play(DaceVO_CarCommandeerStart, 0);
    }

    // 10. Out and closing the door: off the car.
    if (wasexit && (mode2 == CAR_CLOSE_L_ANI || mode2 == CAR_CLOSE_R_ANI))
        DetachFromCar();
}

int Dace::Loop_TransitionMode(Object* obj, int)
{
    if (obj != this)
        return 0;
    switch (mode2) {
    case CAR_GUNS_WARN_ANI:
        AcquirePrimaryShootTarget(false, 0);
        SetAnim(CAR_IDLE_ANI);
        return -1;
    case BIKE_GETOFF_L_ANI:
    case CAR_CLOSE_L_ANI:
    case CAR_CLOSE_R_ANI:
    case CAR_CRAWLOUT_GETUP_ANI:
        DetachFromCar();
        return -1;
    case BIKE_UPRIGHT_GETON_BACK_ANI:
    case BIKE_UPRIGHT_GETON_KICKSTAND_ANI:
    case CAR_ENTER_L_ANI:
    case CAR_ENTER_R_ANI:
    case CAR_EXIT_L_ANI:
    case CAR_EXIT_R_ANI:
        // Held at its end until the seat or the exit point is reached.
        flags |= OBJF_SELFANIMATING;
        return -1;
    case CAR_CRAWLOUT_ANI:
        BlendToAnim(CAR_CRAWLOUT_GETUP_ANI, 3);
        return 0;
    default: {
        const u16 next = AnimTransitions[mode2];
        if (next == 0)
            return 0;
        if (AnimTransMorphLens[mode2] != 0)
            BlendToAnim(next, AnimTransMorphLens[mode2]);
        else
            SetAnim(next);
        return -1;
    }
    }
}

int Dace::AnimEvent_TransitionMode(Object*, int event, int)
{
    if (parent != nullptr && parent->type == OBJT_VEHICLE) {
        auto* v = static_cast<Vehicle*>(parent);
        if (event == SMSG_PLAYER_KICKSTAND_UP || event == SMSG_PLAYER_KICKSTAND_UP_2)
            v->bKickStand = false;
        else if (event == SMSG_PLAYER_KICKSTAND_DOWN || event == SMSG_PLAYER_KICKSTAND_DOWN_2)
            v->bKickStand = true;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// In the seat.

void Dace::PutIn(Vehicle* v, int seat)
{
    if (v == nullptr)
        return;
    // 1.
    flags &= ~OnFootFlag;
    car = v;
    v->steeringratio = 2.0f;
    drivingspeedswitchtime = Never;

    // 2. On the seat node.
    if (parent != nullptr)
        Detach();
    Matrix s(true);
    if (!CarNode(v, u16((seat & 0x7FF) | 0x8000), &s))
        s.w = Vector(-VectorXYZ(v->vdCOGOffset), 1.0f);
    mat = s;
    v->Attach(this);

    // 3. The car guns' poses.
    const float(*range)[2] = v->bCycle ? kBikeAimRange : kCarAimRange;
    if (v->bCycle) {
        static const u16 blendL[6] = {BIKE_TURN_L_FIRE_L_ANI, BIKE_TURN_R_FIRE_L_ANI, BIKE_LEAN_FWD_FIRE_L_ANI,
                                      BIKE_LEAN_BACK_FIRE_L_ANI, BIKE_TUCK_FIRE_L_ANI, BIKE_WHEELIE_FIRE_L_ANI};
        static const u16 blendR[6] = {BIKE_TURN_L_FIRE_R_ANI, BIKE_TURN_R_FIRE_R_ANI, BIKE_LEAN_FWD_FIRE_R_ANI,
                                      BIKE_LEAN_BACK_FIRE_R_ANI, BIKE_TUCK_FIRE_R_ANI, BIKE_WHEELIE_FIRE_R_ANI};
        leftdrivinggunarm.root = rightdrivinggunarm.root = torso;
        leftdrivinggunarm.aimanimheader = Anims[BIKE_IDLE_FIRE_L_ANI];
        rightdrivinggunarm.aimanimheader = Anims[BIKE_IDLE_FIRE_R_ANI];
        for (int k = 0; k < 6; k++) {
            leftdrivinggunarm.blendaimanimheaders[k] = Anims[blendL[k]];
            rightdrivinggunarm.blendaimanimheaders[k] = Anims[blendR[k]];
        }
    } else {
        leftdrivinggunarm.root = rightdrivinggunarm.root = biproot;
        leftdrivinggunarm.aimanimheader = Anims[CAR_GUNS_FIRE_L_ANI];
        rightdrivinggunarm.aimanimheader = Anims[CAR_GUNS_FIRE_R_ANI];
    }
    PresetGunArm* arms[2] = {&leftdrivinggunarm, &rightdrivinggunarm};
    for (int k = 0; k < 2; k++)
        for (int e = 0; e < 2; e++)
            aimrange[k][e] = arms[k]->aimrange[e] = range[k][e];

    // 4.
    SwitchToMode(DACEMODE_DRIVING, true);

    // 5. The body's root sits level on the seat.
    if (biproot != nullptr) {
        const VectorPos root = biproot->Pos();
        mat.SetTrans(mat.GetTrans() - VectorDir(root));
        VectorDir z(biproot->mat.z.xyz());
        z[1] = 0.0f;
        if (z.LengthSq() > 0.0f) {
            const Matrix level = LookAlong(z);
            biproot->mat.x = level.x;
            biproot->mat.y = level.y;
            biproot->mat.z = level.z;
        }
        childpos = VectorPos(VectorDir(mat.x.xyz()) * root[0] + VectorDir(mat.y.xyz()) * root[1] +
                             VectorDir(mat.z.xyz()) * root[2]) +
                   VectorDir(mat.GetTrans());
    } else {
        childpos = mat.GetTrans();
    }

    // 6. The hands on the wheel.
    if (!v->bCycle) {
        Matrix grip;
        if (CarNode(v, kSteeringGrip, &grip)) {
            const VectorPos g = VectorPos(VectorXYZ(v->FindNode(kSteeringGrip)->Pos()) + VectorXYZ(kSteerOff));
            SetHandsToSteer(VectorDir(0.0f, -std::cos(kWheelTilt), std::sin(kWheelTilt)), v->GetWorldMatrix() * g);
        }
    }

    // 7.
    bgm.Event(SoundEvent_EnterCar);
    v->rcoDriver = this;
    i8SaveVehID = s8(v->i16VehType & 0xFF);
    i8SaveVehTint = v->i8Tint;
    if (cam != nullptr)
        cam->InitCarMode(v);
}

// ---------------------------------------------------------------------------
// Getting out.

// Beside a car on its roof he hangs on it upside down: his local y moves by
// the gap between the ground and his world height, which the car's turned
// frame makes a move onto the ground.
void Dace::KeepFeetOnGround()
{
    const VectorPos at = GetWorldPos();
    VectorPos p = mat.GetTrans();
    p[1] -= GroundHeight(at, nullptr) - at[1];
    mat.SetTrans(p);
}

void Dace::GetOut()
{
    if (car == nullptr)
        return;
    // 1. Onto the car's centre line.
    VectorPos at = mat.GetTrans();
    at[0] = 0.0f;
    mat.SetTrans(at);
    const Matrix cw = car->GetWorldMatrix();
    if (cw.y[1] > kOnItsRoof) {
        // 2. Always by the left door.
        if (car->bCycle)
            SetAnim(BIKE_GETOFF_L_ANI);
        else
            SetAnim(car->FindSubObject(VEHICLE_LEFT_DOOR) != nullptr ? CAR_EXIT_L_ANI : CAR_EXIT_NODOOR_L_ANI);
    } else {
        // 3. Crawling out of a car on its roof, feet on the ground.
        Matrix r = mat;
        r.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
        r = RotY(-kPi * 0.5f) * (RotZ(kPi) * r);
        r.w = mat.w;
        mat = r;
        KeepFeetOnGround();
        SetAnim(CAR_CRAWLOUT_ANI);
    }
    // 4.
    SwitchToMode(DACEMODE_CARTRANSITION, true);
    flags |= OnFootFlag;
    if (car->id != kCarIdKept)
        car->id = kCarIdLeft;
    car->fBrake = 0.01f;
    car->fEngine = 0.0f;
    car->steer = 0.0f;
    car->fAccel = 0.0f;
    car->fHandBrake = 0.01f;
    car->bHorn = false;
    Send(car, SMSG_CD_RESUME, nullptr);
    // 5.
    if (cam != nullptr) {
        cam->target = this;
        cam->distgoal = (cam->distgoal + Camera::PedestrianDistanceGoal) * 0.5f;
        cam->angxgoal *= 0.5f;
    }
}

void Dace::DetachFromCar()
{
    DetachW();
    if (cam != nullptr)
        cam->InitPedestrianMode(this, false);
    if (car != nullptr && car->rcoDriver != nullptr)
        Send(car->rcoDriver, SMSG_CD_DRIVER_LEFT, this);
    flags |= OnFootFlag;
    speed = 0.0f;
    if (car != nullptr)
        car->brakeaccel = -0.01f;
    ExitTransitionMode();
    bgm.Event(SoundEvent_ExitCar);
}

// ---------------------------------------------------------------------------
// Aborts.

bool Dace::CancelGetIn()
{
    if (!In(mode2, CAR_WALK_TO_DOOR_L_ANI, CAR_WAIT_AT_DOOR_R_ANI))
        return false;
    speed = 0.0f;
    flags |= OnFootFlag;
    if (car != nullptr) {
        if (car->rcoDriver != nullptr && car->rcoDriver.p != this)
            Send(car->rcoDriver, SMSG_CD_RESUME, this);
        ResetDoor(car, LeftSideAnim(mode2) ? VEHICLE_LEFT_DOOR : VEHICLE_RIGHT_DOOR);
    }
    ExitTransitionMode();
    return true;
}

void Dace::CancelCarTransition()
{
    speed = 0.0f;
    flags |= OnFootFlag;
    if (car == nullptr) {
        ExitTransitionMode();
        return;
    }
    if (car->rcoDriver != nullptr && car->rcoDriver.p != this)
        Send(car->rcoDriver, SMSG_CD_RESUME, this);
    if (LeftSideAnim(mode2))
        ResetDoor(car, VEHICLE_LEFT_DOOR);
    else if (RightSideAnim(mode2))
        ResetDoor(car, VEHICLE_RIGHT_DOOR);
    if (parent == car)
        DetachFromCar();
    else
        ExitTransitionMode();
}

void Dace::ExitTransitionMode()
{
    ghc.Clear();
    SwitchToMode(DACEMODE_ONFOOT, false);
    InitGunsPedestrian();
    if (strength <= 0.0f)
        BlendToAnim(GUNS_KILLED_ANI, 5);
    else
        BlendToAnim(PED_IDLE_ANI, 20);
    // On his feet he sits in no car: nothing keeps a car he has left.
    car = nullptr;
}
