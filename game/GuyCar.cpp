// Car entry through the front doors: the walk to the door, hanging the
// character on the car, the door's swing, seating and the way out (see
// Guy.h).
#include "game/Guy.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

constexpr float kDeg = 3.1415927f / 180.0f;

constexpr u16 kGetInLeft = 0x8064, kGetInRight = 0x8065;
constexpr u16 kGetOnLeft = 0x806B, kGetOnRight = 0x806C;
constexpr u16 kSeatLeft = 0x8074, kSeatRight = 0x8075;

float Speed() { return world.playbackSpeed; }

// A locator of the car in the car object's frame (its origin is the centre
// of gravity); false when the model has no such node.
bool CarNode(Vehicle* car, u16 id, Matrix* out)
{
    NODE* n = car->FindNode(id);
    if (n == nullptr)
        return false;
    *out = n->GetMatrix();
    out->w = Vector(VectorXYZ(n->Pos()) - VectorXYZ(car->vdCOGOffset), 1.0f);
    return true;
}

u16 GetInNodeId(const Vehicle* car, bool left)
{
    if (car->bCycle)
        return left ? kGetOnLeft : kGetOnRight;
    return left ? kGetInLeft : kGetInRight;
}

Object* Door(Vehicle* car, bool left) { return car->FindSubObject(left ? VEHICLE_LEFT_DOOR : VEHICLE_RIGHT_DOOR); }

void SwingDoor(Vehicle* car, bool left, const DoorSwing& swing, float t)
{
    Object* door = Door(car, left);
    if (door == nullptr)
        return;
    float a = swing.Angle(t);
    Matrix r = RotY(left ? a : -a);
    door->mat.x = r.x;
    door->mat.y = r.y;
    door->mat.z = r.z;
}

// Moves p toward target by at most step; true when it arrived.
bool StepToward(VectorXYZ& p, VectorXYZ target, float step)
{
    VectorXYZ d = target - p;
    float l = d.Length();
    if (l < step || l <= 0.0f) {
        p = target;
        return true;
    }
    p += d * (step / l);
    return false;
}

// A point of the car's frame in the frame of obj's parent.
VectorXYZ CarToParent(Vehicle* car, const Object* obj, VectorXYZ p)
{
    if (obj->parent == car)
        return p;
    VectorXYZ w = car->GetWorldMatrix() * VectorPos(p);
    if (obj->parent == nullptr)
        return w;
    return obj->parent->GetWorldMatrix().Inverse() * VectorPos(w);
}

}  // namespace

const DoorSwing Guy::door_getinopen = {{12.0f, 35.0f}, {0.0f * kDeg, 60.0f * kDeg, 65.0f * kDeg, 70.0f * kDeg}};
const DoorSwing Guy::door_getinclose = {{15.0f, 45.0f}, {70.0f * kDeg, 65.0f * kDeg, 60.0f * kDeg, 0.0f * kDeg}};
const DoorSwing Guy::door_getoutopen = {{0.0f, 25.0f}, {0.0f * kDeg, 50.0f * kDeg, 65.0f * kDeg, 70.0f * kDeg}};
const DoorSwing Guy::door_getoutclose = {{15.0f, 30.0f}, {70.0f * kDeg, 65.0f * kDeg, 30.0f * kDeg, 0.0f * kDeg}};

float DoorSwing::Angle(float t) const
{
    if (t <= range[0])
        return spline[0];
    if (t >= range[1])
        return spline[3];
    float u = (t - range[0]) / (range[1] - range[0]);
    float v = 1.0f - u;
    return spline[0] * v * v * v + spline[1] * v * v * u + spline[2] * v * u * u + spline[3] * u * u * u;
}

// ---------------------------------------------------------------------------

void Guy::AttachAtDoor(Vehicle* car, bool leftside)
{
    Matrix before = GetWorldMatrix();
    Matrix node;
    if (!CarNode(car, GetInNodeId(car, leftside), &node)) {
        static bool reported = false;
        if (!reported)
            printf("Guy: the car has no get-in point on that side; nobody gets in\n");
        reported = true;
        return;
    }
    if (parent != nullptr)
        DetachW();
    mat = before;
    mat.w = node.w;
    car->Attach(this);
    // The body keeps its world heading, expressed in the car's frame.
    Matrix inv = car->GetWorldMatrix().Inverse();
    inv.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    Matrix rot = before * inv;
    mat.x = rot.x;
    mat.y = rot.y;
    mat.z = rot.z;
    u16 anim;
    if (car->bCycle)
        anim = leftside ? CARTRANS_GETON_L : CARTRANS_GETON_R;
    else if (leftside)
        anim = Door(car, true) != nullptr ? CARTRANS_OPENIN_L : CARTRANS_GETIN_L;
    else
        anim = Door(car, false) != nullptr ? CARTRANS_OPENIN_R : CARTRANS_GETIN_R;
    SetAnim(anim);
}

void Guy::OpenCarDoor(Vehicle* car, bool leftside) { AttachAtDoor(car, leftside); }

void Guy::GetInCar(Vehicle* car, bool leftside)
{
    if (car->rcoDriver != nullptr) {
        SpecialMessage m(id == -1 ? SMSG_CD_SEAT_TAKEN : SMSG_CD_LOCK, this);
        car->rcoDriver->SendMessage(OM_SPECIAL, &m);
    }
    AttachAtDoor(car, leftside);
}

// The walk to the door: true when the phase is one of the approach's.
bool Guy::Approach(Vehicle* car, bool getin)
{
    bool left;
    switch (mode2) {
    case CARTRANS_TURNENTRY_L:
    case CARTRANS_STARTMOVE_L:
    case CARTRANS_MOVE_L:
    case CARTRANS_TURNDOOR_L: left = true; break;
    case CARTRANS_TURNENTRY_R:
    case CARTRANS_STARTMOVE_R:
    case CARTRANS_MOVE_R:
    case CARTRANS_TURNDOOR_R: left = false; break;
    default: return false;
    }
    Matrix node;
    if (!CarNode(car, GetInNodeId(car, left), &node))
        return true;
    Matrix cw = car->GetWorldMatrix();
    VectorXYZ here = GetWorldPos();
    VectorXYZ T = cw * VectorPos(node.GetTrans());
    T[1] = here[1];
    VectorXYZ to = T - here;
    float speed = Speed();

    switch (mode2) {
    case CARTRANS_TURNENTRY_L:
    case CARTRANS_TURNENTRY_R: {
        u16 next = left ? CARTRANS_STARTMOVE_L : CARTRANS_STARTMOVE_R;
        if (to.LengthSq() < 0.0087890625f) {
            SetPos(parent != nullptr ? VectorPos(parent->GetWorldMatrix().Inverse() * VectorPos(T)) : VectorPos(T));
            BlendToAnim(next, 5);
        } else if (TurnToward(VectorDir(to), 1.5707964f * speed)) {
            BlendToAnim(next, 5);
        }
        return true;
    }
    case CARTRANS_STARTMOVE_L:
    case CARTRANS_STARTMOVE_R:
    case CARTRANS_MOVE_L:
    case CARTRANS_MOVE_R:
        if (to.LengthSq() > 0.01f)
            Face(VectorDir(to));
        if (to.Length() < 0.078125f)
            SetAnim(left ? CARTRANS_TURNDOOR_L : CARTRANS_TURNDOOR_R);
        else if (mode2 == CARTRANS_STARTMOVE_L || mode2 == CARTRANS_STARTMOVE_R)
            BlendToAnim(left ? CARTRANS_MOVE_L : CARTRANS_MOVE_R, 5);
        return true;
    default: {
        VectorXYZ p = here;
        StepToward(p, T, 0.15625f * speed);
        SetPos(parent != nullptr ? VectorPos(parent->GetWorldMatrix().Inverse() * VectorPos(p)) : VectorPos(p));
        Matrix seat;
        u16 seatid = car->bCycle || left ? kSeatLeft : kSeatRight;
        VectorXYZ look = to;
        if (CarNode(car, seatid, &seat)) {
            look = VectorXYZ(cw * VectorPos(seat.GetTrans())) - p;
            look[1] = 0.0f;
        }
        if (TurnToward(VectorDir(look), 0.14544411f * speed)) {
            if (getin)
                GetInCar(car, left);
            else
                OpenCarDoor(car, left);
        }
        return true;
    }
    }
}

void Guy::MoveToCarFront(Vehicle* car)
{
    if (car == nullptr || Approach(car, false))
        return;
    if (mode2 == CARTRANS_OPENIN_L || mode2 == CARTRANS_OPENIN_R)
        SwingDoor(car, mode2 == CARTRANS_OPENIN_L, door_getinopen, frame - firstanimframe);
}

bool Guy::Seating(Vehicle* car)
{
    switch (mode2) {
    case CARTRANS_SEAT_L:
    case CARTRANS_SEAT_R:
    case CARTRANS_GETON_L:
    case CARTRANS_GETON_R:
    case CARTRANS_GETIN_L:
    case CARTRANS_GETIN_R:
    case CARTRANS_SCOOT_L:
    case CARTRANS_SCOOT_R: break;
    default: return false;
    }
    bool left = mode2 == CARTRANS_GETIN_L || mode2 == CARTRANS_SCOOT_L;
    bool scoot = mode2 == CARTRANS_SCOOT_L || mode2 == CARTRANS_SCOOT_R;
    float t = frame - firstanimframe;
    float speed = Speed();

    if (t >= 20.0f && t <= 30.0f)
        car->ApplyLocalForce(VectorDir(0.0f, 0.0003f, 0.0f), Pos());

    Matrix seat;
    if (!CarNode(car, car->bCycle || left ? kSeatLeft : kSeatRight, &seat))
        return true;
    Matrix seatRot = seat;
    seatRot.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    VectorXYZ rootOff = biproot != nullptr ? VectorXYZ(biproot->mat.GetTrans()) : VectorXYZ(0.0f, 0.0f, 0.0f);
    VectorXYZ target = VectorXYZ(seat.GetTrans()) - VectorXYZ(seatRot * VectorDir(rootOff));
    target = CarToParent(car, this, target);
    float step = (scoot ? 0.009375f : 0.0140625f) * speed;
    if (car->bCycle)
        step *= 0.5f;
    VectorXYZ p = Pos();
    StepToward(p, target, step);
    SetPos(VectorPos(p));
    Matrix turned = Matrix(SLERP(Quaternion(mat), Quaternion(seatRot), 0.125f));
    mat.x = turned.x;
    mat.y = turned.y;
    mat.z = turned.z;

    bool door = !scoot && Door(car, left) != nullptr;
    bool done;
    if (car->bCycle) {
        done = (flags & OBJF_SELFANIMATING) != 0;
    } else {
        float remaining = (target - p).Length();
        done = remaining < 2.0f * step && Dot(VectorXYZ(mat.z.v), VectorXYZ(seat.z.v)) > 0.9f &&
               (!door || scoot || t >= door_getinclose.range[1]);
        if (!done && door)
            SwingDoor(car, left, door_getinclose, t);
    }
    if (!done)
        return true;

    flags &= ~OBJF_SELFANIMATING;
    if (door)
        SwingDoor(car, left, door_getinclose, door_getinclose.range[1]);
    u16 from = mode2;
    if (left || car->bCycle) {
        DetachW();
        SpecialMessage m(SMSG_PUT_IN_VEHICLE, car, 116);
        SendMessage(OM_SPECIAL, &m);
    }
    if (from == CARTRANS_SCOOT_R)
        BlendToAnim(Door(car, false) != nullptr ? CARTRANS_GETOUT_R : CARTRANS_GETOUT2_R, 5);
    else
        BlendToAnim(CARTRANS_SCOOT_L, 5);
    return true;
}

bool Guy::GettingOut(Vehicle* car)
{
    bool left;
    switch (mode2) {
    case CARTRANS_GETOUT_L:
    case CARTRANS_GETOUT2_L: left = true; break;
    case CARTRANS_GETOUT_R:
    case CARTRANS_GETOUT2_R: left = false; break;
    case CARTRANS_PULLEDOUT_1:
    case CARTRANS_PULLEDOUT_2:
    case CARTRANS_PULLEDOUT_3: left = car->bCycle; break;
    case CARTRANS_CLOSE_L:
    case CARTRANS_CLOSE_R:
        SwingDoor(car, mode2 == CARTRANS_CLOSE_L, door_getoutclose, frame - firstanimframe);
        return true;
    default: return false;
    }
    if (car->bCycle)
        left = true;
    Matrix node;
    if (!CarNode(car, GetInNodeId(car, left), &node))
        return true;
    VectorXYZ exit = node.GetTrans();
    if (car->bCycle)
        exit[1] += 0.0390625f;
    exit = CarToParent(car, this, exit);
    float speed = Speed();
    VectorXYZ p = Pos();
    StepToward(p, exit, 0.0109375f * speed);
    SetPos(VectorPos(p));
    if (car->bCycle)
        return true;
    SwingDoor(car, left, door_getoutopen, frame - firstanimframe);
    if ((exit - p).Length() < 0.021875f * speed) {
        flags &= ~OBJF_SELFANIMATING;
        SetPos(VectorPos(exit));
        BlendToAnim(left ? CARTRANS_CLOSE_L : CARTRANS_CLOSE_R, 5);
    }
    return true;
}

void Guy::UpdateCarTransitionFront(Vehicle* car)
{
    if (car == nullptr || Approach(car, true))
        return;
    if (mode2 == CARTRANS_OPENIN_L || mode2 == CARTRANS_OPENIN_R) {
        SwingDoor(car, mode2 == CARTRANS_OPENIN_L, door_getinopen, frame - firstanimframe);
        return;
    }
    if (Seating(car))
        return;
    GettingOut(car);
}
