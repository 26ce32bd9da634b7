// Procedural limbs: joint limits as arcs of angle, the analytic limb
// solvers, the pose functions through which every limb writes its bones, and
// the arms built on them (gun arms, the preset gun arm of a shooting driver,
// the steering arms).
//
// Conventions: row-vector matrices (A * B applies A first), world y down.  A
// bone's local translation is the offset of its joint from its parent's, so
// segment lengths are lengths of local translations.  No limb writes a bone's
// matrix: results go into the bone's blend-animation pose key, which the
// animation pass blends over the keyframed pose.
#pragma once

#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Extent.h"
#include "game/Weapons.h"

struct AnimChar;

constexpr float kLimbPi = 3.1415927f;
constexpr float kLimbTwoPi = 6.2831855f;

// ---------------------------------------------------------------------------
// An interval of angle on the circle: [minang, minang + arclen], continuing
// from -pi when the end passes pi.  A length of 2 pi or more is no limit.

class AngleArc
{
public:
    float minang;
    float arclen;

    AngleArc() : minang(-kLimbPi), arclen(kLimbTwoPi) {}
    AngleArc(float start, float len) { Set(start, len); }

    // From a start and a signed length: a negative length runs backward, the
    // start moving to the far end (raised by a turn when it falls to -pi).
    void Set(float start, float len)
    {
        if (len >= 0.0f) {
            minang = start;
            arclen = len;
            return;
        }
        minang = start + len;
        if (minang <= -kLimbPi)
            minang += kLimbTwoPi;
        arclen = -len;
    }
    // The short way from a to b.
    void SetByCloseAngles(float a, float b) { Set(a, FixAng(b - a)); }
    float GetArcStartAngle() const { return minang; }
    float GetArcAngleLength() const { return arclen; }
    float GetArcEndAngle() const { return Wrap(minang + arclen); }
    // The rest of the circle.
    AngleArc GetInvertedArc() const
    {
        AngleArc r;
        r.minang = GetArcEndAngle();
        r.arclen = arclen >= kLimbTwoPi ? 0.0f : kLimbTwoPi - arclen;
        return r;
    }
    AngleArc GetRotatedArc(float a) const
    {
        AngleArc r = *this;
        r.Rotate(a);
        return r;
    }
    void Rotate(float a) { minang = FixAng(minang + a); }
    void Invert() { *this = GetInvertedArc(); }
    AngleArc operator~() const { return GetInvertedArc(); }
    // The mirror image: angles negated.
    AngleArc operator-() const
    {
        AngleArc r;
        r.minang = FixAng(-(minang + arclen));
        r.arclen = arclen;
        return r;
    }
    AngleArc& operator+=(float a) { Rotate(a); return *this; }
    AngleArc& operator-=(float a) { Rotate(-a); return *this; }

    // x (in [-pi, pi]) lies on the arc, ends included; the part past pi is
    // tested one turn up.
    bool Contains(float x) const
    {
        if (arclen >= kLimbTwoPi)
            return true;
        float end = minang + arclen;
        if (minang <= x && x <= end)
            return true;
        return end >= kLimbPi && minang <= x + kLimbTwoPi && x + kLimbTwoPi <= end;
    }

    // Pieces in the common part of a and b: 0, 1 or 2.
    static int NumIntersections(const AngleArc& a, const AngleArc& b);
    // The common part when it is one piece.
    static AngleArc Intersect(const AngleArc& a, const AngleArc& b);
    // Both pieces when the later arc wraps round into the earlier one's
    // start; the count of non-empty pieces.
    static int Intersect(const AngleArc& a, const AngleArc& b, AngleArc* first, AngleArc* second);

    static float Wrap(float e) { return e > kLimbPi ? e - kLimbTwoPi : e; }
};

// The list narrowed to its common part with arc (or with the union of arc1
// and arc2), in place; pieces that split off go to the end of the list, which
// must have room for them.  Both answer 1.
int IntersectArcList1(AngleArc* list, int& count, AngleArc arc);
int IntersectArcList2(AngleArc* list, int& count, AngleArc arc1, AngleArc arc2);

// ---------------------------------------------------------------------------
// Pose functions.  Bones without a blend animation are left alone.

// Pose q with the weight moving toward 1 by speed (snapping within snap);
// true once the weight is 1.
bool SlerpBlendAnim(Object* obj, Quaternion q, float speed, float snap);
// Pose q at weight 1 at once.
void SetBlendPose(Object* obj, Quaternion q);
// Weight down by speed; true while it is still above 0.
bool RelaxBlendAnimPose(Object* obj, float speed);
// Turns m's rotation toward q by at most speed (half-angle radians, eased);
// true when it arrived.  Row w is not touched.
bool SlerpMatrix(Matrix* m, Quaternion q, float speed, float snap);

// ---------------------------------------------------------------------------
// Solvers.  Outputs are optional; output matrices get rows x, y, z only.

// Reach: end's grandparent and parent as the two segments, in the frame of
// the grandparent's parent.  upper receives the first joint's frame, bend the
// angle between the two segments (0 straight).
bool Solve2JointLimb(Object* end, VectorPos target, VectorDir hint, const AngleArc* upperlimits,
                     AngleArc lowerlimit, bool circle, Matrix* upper, float* bend);
// A direction tested against pitch, yaw and twist arcs; out looks along it.
bool Solve1JointLimb(VectorPos dir, VectorDir ref, const AngleArc* limits, Matrix* out);
// The same, each angle clamped to its arc instead of failing.
bool Solve1JointLimbClosest(VectorPos dir, VectorDir ref, const AngleArc* limits, Matrix* out);
// The first segment's direction on a circle of candidate middle-joint
// positions, at the allowed point nearest the first-tried one.
bool Solve1JointLimbCircle(VectorPos centre, float radius, VectorDir ref, const AngleArc* limits, Matrix* out);
// A pitch and yaw joint; an angle out of its arc is clamped when its flag is
// set, zeroed when only the other flag is set, else the solve fails.
bool SolveBiaxialJoint(VectorDir dir, AngleArc* limits, bool clampfirst, bool clampsecond, Matrix* out);

struct Footprint
{
    VectorPos pos;
    VectorDir dir;

    Footprint() = default;
    Footprint(const VectorPos& p, const VectorDir& d) : pos(p), dir(d) {}
    Footprint(const Matrix& m) : pos(m.GetTrans()), dir(VectorDir(m.z.v)) {}
};

class SimpleLimb
{
public:
    Object* upperobj;
    Object* lowerobj;
    Object* endobj;
    AngleArc ikupperobjlimits[3];
    AngleArc iklowerobjlimits;
    Matrix ikupperobjmat;

    // The end to the footprint, the knee hinting away from its direction.
    bool MoveEndTo(const Footprint& fp);
    bool MoveEndTo(const VectorPos& pos, const VectorDir& dir);
};

class StandingLegs
{
public:
    SimpleLimb lleg, rleg;
    Footprint lfoot, rfoot;   // world space

    bool Update(const Matrix& body);
};

class WalkingLegs
{
public:
    SimpleLimb lleg, rleg;

    void Frame() {}
};

class BallAndSocket
{
public:
    Object* joint;
    AngleArc ikjointlimits[3];
    Matrix ikjointmat;

    bool LookAlong(VectorDir dir, VectorDir up);
};

class BiaxialJoint
{
public:
    Object* joint;
    AngleArc ikjointlimits[2];
    Matrix ikjointmat;

    bool LookAlong(VectorDir dir, bool clampfirst, bool clampsecond);
};

// ---------------------------------------------------------------------------
// An arm that carries, aims and fires one gun.  The owner sets the mode
// through the requests and calls Frame once per frame with its target.

class GunArm
{
public:
    enum Mode
    {
        UNARMED = 0,
        CARRYING_TO_UNARMED = 1,
        CARRYING = 2,
        AIMING = 3,
        SHOOTING = 4,
        JUST_SHOT = 5,
        DRAWING_TO_AIM = 6,
        DRAWING_TO_SHOOT = 7,
        AIMING_TO_SHOOT = 8,
        RECOIL = 9,
        POST_RECOIL = 10,
        RECOIL_TO_AIM = 11,
        RECOIL_TO_SHOOT = 12,
        RECOIL_TO_QUIT_AIMING = 13,
        QUITTING_AIMING = 14,
    };

    static const float AssumeArmSpeed, AssumeArmSnap, RelaxArmSpeed, RelaxArmSnap, HandSpeed, HandSnap;
    static const int PostShotDuration, PostShotRecoilTime, PostShotWaitTime;
    static const VectorPos GunMuzzleOffs;
    static const int BulletLifetime, CasingLifetime;

    Object* lowerarm;
    Object* upperarm;
    Object* hand;
    Object* gun;
    Weapon weapon;
    VectorPos curTargetPos;
    bool lockwrist;
    Cuboid torsobox;
    bool isPreciseShot;
    bool twoHanded;
    u32 lastshot;
    VectorPos lastshothandpos;
    VectorDir recoillinearspeed;
    VectorXYZ recoilangspeed;
    VectorPos lastaimhandpos;
    VectorPos aimupperarmdir;
    float aimhanddist;
    float indirectaimhanddist;
    VectorDir primarywristdir;
    VectorDir alternatewristdir;
    AngleArc ikupperarmlimits[3];
    AngleArc ikelbowlimits;
    AngleArc ikwristlimits[3];
    Matrix ikupperarmmat;
    Matrix ikhandmat;

    void Frame(VectorPos target);
    bool CanAimAt(VectorPos target);
    bool AimAt(VectorPos target);
    bool MoveHandTo(VectorPos pos);
    bool SolveHandPosition(VectorPos pos, VectorDir upperarmdir, Quaternion* upper, Quaternion* lower) const;
    void Shoot();
    void ShootAt(VectorPos target);
    void FakeShot();
    bool DischargeGun();
    void ImmediateDeactivateGun();
    void ImmediateRelaxArm();

    bool ModeIs(Mode m) const { return mode == m; }
    bool IsArmed() const { return mode != UNARMED && mode != CARRYING_TO_UNARMED; }
    bool IsActive() const { return mode != UNARMED && mode != CARRYING_TO_UNARMED && mode != CARRYING; }
    bool IsAwaitingAim() const { return mode == DRAWING_TO_AIM || mode == DRAWING_TO_SHOOT || mode == AIMING_TO_SHOOT; }
    bool IsPostShot() const
    {
        return mode == JUST_SHOT || mode == RECOIL || mode == POST_RECOIL || mode == RECOIL_TO_AIM ||
               mode == RECOIL_TO_SHOOT || mode == RECOIL_TO_QUIT_AIMING;
    }
    bool IsPreShot() const { return mode == DRAWING_TO_SHOOT || mode == AIMING_TO_SHOOT; }
    Mode GetMode() const { return mode; }
    bool IsLoaded() const { return weapon.bulletsLeft > 0; }
    u32 TimeOfLastShot() const { return lastshot; }
    // arm
    void ArmGun()
    {
        if (mode == UNARMED || mode == CARRYING_TO_UNARMED)
            mode = CARRYING;
    }
    // disarm
    void DisarmGun() { mode = CARRYING_TO_UNARMED; }
    // draw to aim
    void DrawGun()
    {
        if (mode == CARRYING)
            mode = DRAWING_TO_AIM;
    }
    // the shoot request: 0 with an empty magazine
    int ShootGun();
    // quit aiming
    void HolsterGun();
    void DeactivateGun() { DisarmGun(); }
    void Reload() { weapon.bulletsLeft = weapon.magSize; }

protected:
    void ChangeMode(Mode m) { mode = m; }
    bool FindAimToTarget(VectorPos target, float handdist, VectorDir upperarmdir, VectorDir wristdir,
                         Quaternion* upper, Quaternion* lower, Quaternion* handq);
    bool AimHandToTarget(VectorPos handpos, VectorPos target, VectorDir upperarmdir, VectorDir wristdir,
                         Quaternion* upper, Quaternion* lower, Quaternion* handq);
    bool AimHandToTargetTwoHanded(VectorPos handpos, VectorPos target, VectorDir upperarmdir, VectorDir wristdir,
                                  Quaternion* upper, Quaternion* lower, Quaternion* handq);

private:
    // The player sets the arm's mode directly when precision aiming takes
    // the guns over.
    friend class Dace;
    friend class Enemy;   // a runner's fire-back and hostage set the mode
    void BurstStep();
    void RecoilStep(float e);
    void SetArmPoseBlend(float w);
    void RelaxArm(float speed);
    Mode mode;
};

// The driving arm that poses the body from prepared aim animations.

class PresetGunArm
{
public:
    enum Mode
    {
        UNARMED = 0,
        CARRYING_TO_UNARMED = 1,
        CARRYING = 2,
        AIMING = 3,
        SHOOTING = 4,
        JUST_SHOT = 5,
        DRAWING_TO_AIM = 6,
        DRAWING_TO_SHOOT = 7,
        AIMING_TO_SHOOT = 8,
        RECOIL = 9,
        RECOIL_TO_AIM = 10,
        RECOIL_TO_SHOOT = 11,
        RECOIL_TO_QUIT_AIMING = 12,
        QUITTING_AIMING = 13,
    };

    static const int PostShotDuration, PostShotRecoilTime, PostShotWaitTime;
    static const VectorPos GunMuzzleOffs;
    static const int BulletLifetime, CasingLifetime;

    Object* upperarm;
    Object* hand;
    Object* gun;
    Object* root;
    Weapon weapon;
    AnimChar* aimanimheader;
    AnimChar* blendaimanimheaders[6];
    Object* aimobj;
    bool isPreciseShot;
    u32 lastshot;
    int morphframe;
    float aimrange[2];
    float shootrangepos;
    float aimrangepos;
    float poseblend;
    VectorDir vel;
    // The driving arm's state: the player's driving and car-door code draw,
    // fire and put away the car guns by setting it.
    Mode mode;

    void Frame(int, bool, float w0, float w1, float w2, float w3, float w4, float w5);
    bool Aim(int, bool, float w0, float w1, float w2, float w3, float w4, float w5);
    void Shoot();
    void ShootAt(VectorPos target);
    void FakeShot();

    bool ModeIs(Mode m) const { return mode == m; }
    bool IsArmed() const { return mode != UNARMED && mode != CARRYING_TO_UNARMED; }
    bool IsActive() const { return mode != UNARMED && mode != CARRYING_TO_UNARMED && mode != CARRYING; }
    bool IsAwaitingAim() const { return mode == DRAWING_TO_AIM || mode == DRAWING_TO_SHOOT || mode == AIMING_TO_SHOOT; }
    bool IsPostShot() const { return mode == JUST_SHOT || mode == RECOIL || mode == RECOIL_TO_AIM || mode == RECOIL_TO_SHOOT; }
    bool IsPreShot() const { return mode == DRAWING_TO_SHOOT || mode == AIMING_TO_SHOOT; }
    Mode GetMode() const { return mode; }
    bool IsLoaded() const { return weapon.bulletsLeft > 0; }
    u32 TimeOfLastShot() const { return lastshot; }
    void ArmGun()
    {
        if (mode == UNARMED || mode == CARRYING_TO_UNARMED)
            mode = CARRYING;
    }
    // now: straight to unarmed, the pose dropped
    void DisarmGun(bool now)
    {
        mode = now ? UNARMED : CARRYING_TO_UNARMED;
        if (now)
            poseblend = 0.0f;
    }
    void DrawGun()
    {
        if (mode == CARRYING)
            mode = DRAWING_TO_AIM;
    }
    bool ShootGun();
    bool DischargeGun()
    {
        if (weapon.bulletsLeft <= 0)
            return false;
        mode = SHOOTING;
        return true;
    }
    void HolsterGun();

protected:
    friend class Enemy;   // a runner shooting from a car picks its arm
    void ChangeMode(Mode m) { mode = m; }

private:
    void Relax();
    Matrix MuzzleFrame(VectorPos* p) const;
};

// One hand on the steering-wheel rim.

class SteerArm
{
public:
    Object* lowerarm;
    Object* upperarm;
    Object* hand;
    AngleArc ikupperarmlimits[3];
    AngleArc ikelbowlimits;
    Matrix ikupperarmmat;
    VectorPos wheelcenter;      // in the frame of the upper arm's parent
    VectorPos zeroturnoff;      // rim point at wheel angle 0
    VectorPos quarterturnoff;   // rim point at a quarter turn

    bool SteerTo(float angle);
    bool Transition(float from, float to, float t);

private:
    VectorPos RimPoint(float angle) const;
    bool SolveAndPose(VectorPos h, VectorDir hint);
};

class SteerArms
{
public:
    static const float ArmSpeed;

    SteerArm leftarm, rightarm;
    float leftangle, rightangle, lefttransangle, righttransangle, lefttranst, righttranst, wheelangle, wheelvel;

    SteerArms();
    void Reset()
    {
        leftangle = rightangle = lefttransangle = righttransangle = 0.0f;
        lefttranst = righttranst = wheelangle = wheelvel = 0.0f;
    }
    void Frame(float, float) {}
};
