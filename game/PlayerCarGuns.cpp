// The player's guns out of the car window and his hands on the wheel (see
// PlayerBody.h): the hand chosen by where the target lies, drawing, firing,
// reloading by holstering, precise shots, the warning to the target, the
// aiming pose laid over the seated animation, and the wheel geometry the
// steering arms turn on.
#include "game/PlayerBody.h"

#include "ZevEngine2/World.h"
#include "game/GameFlow.h"
#include "game/Player.h"
#include "game/QuadTree.h"

namespace {

constexpr float kDeg = 3.14159265f / 180.0f;

// The hand sectors measured from straight ahead, positive to the right; they
// overlap from 5 to 25 degrees.
constexpr float kLeftFrom = -135.0f * kDeg, kLeftTo = 25.0f * kDeg;
constexpr float kRightFrom = 5.0f * kDeg, kRightTo = 175.0f * kDeg;

// A precise shot without a live aim object goes straight out of the gun.
const VectorPos kStraightOut(0.01f, 0.06f, 0.9375f);

// The warning a target hears when a gun is fired at it.
constexpr int kShotAt = 25;

using Arm = PresetGunArm;

bool Out(const Arm& a) { return a.mode != Arm::UNARMED && a.mode != Arm::CARRYING_TO_UNARMED; }

// The holster-and-redraw of an empty gun: the magazine is full again.
void Reload(Arm& a)
{
    a.mode = Arm::CARRYING_TO_UNARMED;
    a.weapon.bulletsLeft = a.weapon.magSize;
}

void Draw(Arm& a)
{
    if (unsigned(a.mode) < unsigned(Arm::CARRYING))
        a.mode = Arm::CARRYING;
}

void Warn(Object* targetobj, Object* gun)
{
    if (targetobj == nullptr)
        return;
    SpecialMessage m(kShotAt, gun);
    targetobj->SendMessage(OM_SPECIAL, &m);
}

// The inverse of an object's world matrix: world points into its frame.
Matrix WorldToLocal(const Object* o) { return o->GetWorldMatrix().Inverse(); }

}  // namespace

void DaceBody::InitGunsDriving()
{
    Draw(leftdrivinggunarm);
    rightdrivinggunarm.mode = Arm::UNARMED;
    SetHidden(lgun, !leftgunarm.IsArmed());
    SetHidden(rgun, true);
}

void DaceBody::FireGunDriving(Object* aimobj, VectorPos offset, VectorDir vel, Object* targetobj, int isPrecise)
{
    // 1. Where the aim point lies around him, on the flat.
    float angle = 0.0f;
    if (aimobj != nullptr) {
        VectorPos p = aimobj->GetWorldMatrix() * offset;
        const Matrix me = GetWorldMatrix();
        VectorPos here = me.GetTrans();
        p[1] = 0.0f;
        here[1] = 0.0f;
        const VectorDir d(p - here);
        angle = ArcTan2(Dot(d, VectorDir(me.x.xyz())), Dot(d, VectorDir(me.z.xyz())));
    }

    // 2. Which hands reach it, and where in each hand's sweep it lies.
    const bool canshootleft = angle > kLeftFrom && angle < kLeftTo;
    const bool canshootright = angle > kRightFrom && angle < kRightTo;
    Arm& left = leftdrivinggunarm;
    Arm& right = rightdrivinggunarm;
    if (canshootleft)
        left.aimrangepos = (angle - aimrange[0][0]) / (aimrange[0][1] - aimrange[0][0]);
    if (canshootright)
        right.aimrangepos = (angle - aimrange[1][0]) / (aimrange[1][1] - aimrange[1][0]);

    // 3.
    left.vel = right.vel = vel;
    left.aimobj = right.aimobj = aimobj;

    // 4. A precise shot is the left hand's, at once.
    if (isPrecise != 0 && left.weapon.bulletsLeft > 0) {
        if (g_pgcTest != nullptr)
            g_pgcTest->stats.nPrecisionShots++;
        left.isPreciseShot = true;
        if (targetobj != nullptr && aimobj != nullptr && !(aimobj->flags & OBJF_DEAD)) {
            left.ShootAt(aimobj->GetWorldPos());
        } else if (left.gun != nullptr) {
            const VectorPos ahead = RotY(90.0f * kDeg) * kStraightOut;
            left.ShootAt(left.gun->GetWorldMatrix() * ahead);
        }
        left.isPreciseShot = false;
        return;
    }

    // 5. An ordinary shot: the arm's state machine fires when it gets there.
    if (canshootleft) {
        if (Out(left)) {
            if (left.weapon.bulletsLeft <= 0) {
                Reload(left);
            } else {
                left.ShootGun();
                Warn(targetobj, lgun);
            }
        } else if (canshootright && Out(right)) {
            if (right.weapon.bulletsLeft <= 0)
                Reload(right);
            else
                right.ShootGun();
        } else if (left.weapon.bulletsLeft <= 0) {
            Reload(left);
        } else {
            Draw(left);
            right.mode = Arm::UNARMED;
            left.ShootGun();
            Warn(targetobj, lgun);
        }
    } else if (canshootright) {
        if (right.weapon.bulletsLeft <= 0) {
            Reload(right);
        } else if (Out(right)) {
            right.ShootGun();
            Warn(targetobj, rgun);
        } else {
            left.mode = Arm::UNARMED;
            Draw(right);
            right.ShootGun();
            Warn(targetobj, rgun);
        }
    }
}

void DaceBody::UpdateGunsDriving(bool blendpose, float extrablend1, float extrablend2, float extrablend3,
                                 float extrablend4, float extrablend5, float extrablend6)
{
    const int f = int(frame);
    leftdrivinggunarm.Frame(f, blendpose, extrablend1, extrablend2, extrablend3, extrablend4, extrablend5,
                            extrablend6);
    rightdrivinggunarm.Frame(f, blendpose, extrablend1, extrablend2, extrablend3, extrablend4, extrablend5,
                             extrablend6);
    if (!blendpose && biproot != nullptr)
        biproot->SetPoseBlendHierarchy(std::max(leftdrivinggunarm.poseblend, rightdrivinggunarm.poseblend), false);
}

void DaceBody::SetHandsToSteer(VectorDir wheelup, VectorPos wheelcenter)
{
    if (larm == nullptr || rarm == nullptr || lhand == nullptr || rhand == nullptr || larm->parent == nullptr ||
        rarm->parent == nullptr)
        return;
    // 2. The hands in the player's frame; the rim runs through both.
    const VectorPos leftpos = lhand->GetRelativePos(this);
    const VectorPos rightpos = rhand->GetRelativePos(this);
    const float radius = 0.5f * Length(VectorDir(rightpos - leftpos));
    struct Side
    {
        SteerArm& arm;
        Object* shoulder;
        VectorPos hand;
    };
    const Side sides[2] = {{ten, larm->parent, leftpos}, {two, rarm->parent, rightpos}};
    for (const Side& s : sides) {
        // 1. Player to shoulder.
        const Matrix toshoulder = s.shoulder->GetRelativeMatrix(this).Inverse();
        // 3.
        s.arm.wheelcenter = WorldToLocal(s.shoulder) * wheelcenter;
        s.arm.zeroturnoff = VectorPos(VectorDir(toshoulder * s.hand - s.arm.wheelcenter));
        s.arm.quarterturnoff = VectorPos(toshoulder * VectorDir(wheelup * radius));
    }
}

void DaceBody::UpdateDrivingArms(float steer, VectorPos wheelcenter)
{
    struct Side
    {
        SteerArm& arm;
        const PresetGunArm& gun;
        Object* upper;
        float angle;
    };
    const Side sides[2] = {{ten, leftdrivinggunarm, larm, steer}, {two, rightdrivinggunarm, rarm, -steer}};
    for (const Side& s : sides) {
        if (Out(s.gun) || s.upper == nullptr || s.arm.upperarm == nullptr)
            continue;
        s.arm.upperarm->SetPoseBlendHierarchy(1.0f, false);
        if (s.upper->parent != nullptr)
            s.arm.wheelcenter = WorldToLocal(s.upper->parent) * wheelcenter;
        s.arm.SteerTo(s.angle);
    }
}
