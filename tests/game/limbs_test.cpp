// Procedural limbs: arcs of joint limits, the pose functions, the solvers and
// the arms, each against answers worked out from the geometry or the rules.
#include <gtest/gtest.h>

#include <cmath>

#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/p2b.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/modelfile.h"
#include "game/Limbs.h"
#include "game/QuadTree.h"
#include "game/shots_support.h"

namespace {

constexpr float kPi = 3.1415927f;

void ExpectArc(const AngleArc& a, float start, float len, float tol = 1e-6f)
{
    EXPECT_NEAR(a.minang, start, tol);
    EXPECT_NEAR(a.arclen, len, tol);
}

void ExpectNear(VectorXYZ a, VectorXYZ b, float tol)
{
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(a[i], b[i], tol) << "component " << i;
}

// A torso (identity, the solver's frame) with a shoulder, an upper arm of
// length a and a forearm of length b, each bone's translation along its z.
struct Arm
{
    Object* torso;
    Object* upper;
    Object* lower;
    Object* hand;
    Object* gun;

    Arm(VectorPos shoulder, float a, float b)
    {
        torso = new Object;
        upper = new Object;
        lower = new Object;
        hand = new Object;
        gun = new Object;
        Object* all[5] = {torso, upper, lower, hand, gun};
        for (Object* o : all)
            o->mat = Matrix(true);
        upper->mat.SetTrans(shoulder);
        lower->mat.SetTrans(VectorPos(0.0f, 0.0f, a));
        hand->mat.SetTrans(VectorPos(0.0f, 0.0f, b));
        torso->Attach(upper);
        upper->Attach(lower);
        lower->Attach(hand);
        hand->Attach(gun);
        torso->AllocBlendAnimHierarchy(0);
    }
    ~Arm() { torso->Delete(); }

    // Where the hand joint lands in the torso's frame under the pose keys.
    VectorXYZ PosedHand() const
    {
        Matrix u = Matrix(upper->blendAnim->pose.ang);
        u.w = upper->mat.w;
        Matrix l = Matrix(lower->blendAnim->pose.ang);
        l.w = lower->mat.w;
        return u * (l * hand->mat.GetTrans());
    }
};

}  // namespace

// ---------------------------------------------------------------------------

TEST(AngleArc, ContainmentWrapsOnceAndFullCirclesHoldEverything)
{
    EXPECT_TRUE(AngleArc(3.0f, 1.0f).Contains(-3.0f));   // -3 + 2 pi = 3.283 <= 4.0
    EXPECT_FALSE(AngleArc(-3.1f, 0.5f).Contains(3.0f));
    EXPECT_TRUE(AngleArc(0.0f, 1.0f).Contains(0.0f));
    EXPECT_TRUE(AngleArc(0.0f, 1.0f).Contains(1.0f));
    EXPECT_FALSE(AngleArc(0.0f, 1.0f).Contains(1.001f));
    AngleArc full;
    for (float x = -kPi; x <= kPi; x += 0.5f)
        EXPECT_TRUE(full.Contains(x));
    // A negative length runs backward; a start pushed to -pi comes up a turn.
    ExpectArc(AngleArc(1.0f, -0.5f), 0.5f, 0.5f);
    ExpectArc(AngleArc(-3.0f, -0.5f), -3.5f + 2.0f * kPi, 0.5f, 1e-5f);
}

TEST(AngleArc, IntersectionsCountAndPieces)
{
    ExpectArc(AngleArc::Intersect(AngleArc(0.0f, 2.0f), AngleArc(1.0f, 3.0f)), 1.0f, 1.0f);
    EXPECT_EQ(AngleArc::NumIntersections(AngleArc(0.0f, 1.0f), AngleArc(2.0f, 1.0f)), 0);
    EXPECT_EQ(AngleArc::NumIntersections(AngleArc(-3.0f, 1.0f), AngleArc(3.0f, 1.0f)), 1);
    EXPECT_EQ(AngleArc::NumIntersections(AngleArc(-3.0f, 6.0f), AngleArc(2.5f, 1.0f)), 2);
    // B inside A is B.
    ExpectArc(AngleArc::Intersect(AngleArc(-1.0f, 3.0f), AngleArc(0.0f, 1.0f)), 0.0f, 1.0f);
    // Two pieces: (2.5, 0.5) to A's end at 3.0, and A's start up to B's
    // wrapped end 3.5 - 2 pi.
    AngleArc p1, p2;
    EXPECT_EQ(AngleArc::Intersect(AngleArc(-3.0f, 6.0f), AngleArc(2.5f, 1.0f), &p1, &p2), 2);
    ExpectArc(p1, 2.5f, 0.5f, 1e-6f);
    ExpectArc(p2, -3.0f, 3.5f - 2.0f * kPi + 3.0f, 1e-5f);
}

TEST(AngleArc, CommonPartAcrossThePiSeamIsKept)
{
    // B (2.5, 1.0) ends at 3.5 - 2 pi = -2.7831853, inside A (-3.0, 0.5).
    AngleArc r = AngleArc::Intersect(AngleArc(-3.0f, 0.5f), AngleArc(2.5f, 1.0f));
    ExpectArc(r, -3.0f, 2.5f + 1.0f - 2.0f * kPi + 3.0f, 1e-5f);
    EXPECT_NEAR(r.arclen, 0.2168147f, 1e-5f);
}

TEST(AngleArc, ListsNarrowInPlaceAndAppendSplitPieces)
{
    AngleArc list[16];
    int count = 0;
    EXPECT_EQ(IntersectArcList1(list, count, AngleArc(0.0f, 1.0f)), 1);
    EXPECT_EQ(count, 0);

    // (-3, 1) misses (0, 1) and goes; (-0.5, 1) keeps (0, 0.5).
    list[0] = AngleArc(-3.0f, 1.0f);
    list[1] = AngleArc(-0.5f, 1.0f);
    count = 2;
    IntersectArcList1(list, count, AngleArc(0.0f, 1.0f));
    ASSERT_EQ(count, 1);
    ExpectArc(list[0], 0.0f, 0.5f);

    // A wrapping arc splits the full-ish arc in two: the second is appended.
    list[0] = AngleArc(-3.0f, 6.0f);
    count = 1;
    IntersectArcList1(list, count, AngleArc(2.5f, 1.0f));
    ASSERT_EQ(count, 2);
    ExpectArc(list[0], 2.5f, 0.5f);
    ExpectArc(list[1], -3.0f, 3.5f - 2.0f * kPi + 3.0f, 1e-5f);

    // The union of two arcs: each list arc keeps its part of either.
    list[0] = AngleArc(-1.0f, 2.0f);
    list[1] = AngleArc(2.0f, 0.5f);
    count = 2;
    IntersectArcList2(list, count, AngleArc(-2.0f, 1.5f), AngleArc(0.5f, 0.25f));
    ASSERT_EQ(count, 2);
    ExpectArc(list[0], -1.0f, 0.5f);
    ExpectArc(list[1], 0.5f, 0.25f);
}

// ---------------------------------------------------------------------------

TEST(PoseBlend, AssumeRampsTheWeightAndSnapsOnTheFifthCall)
{
    Arm arm(VectorPos(0.0f, 0.0f, 0.0f), 0.3f, 0.3f);
    Quaternion q(EulerToQuat(0.3f, 0.0f, 0.0f));
    const float want[5] = {0.2f, 0.4f, 0.6f, 0.8f, 1.0f};
    for (int i = 0; i < 5; i++) {
        bool full = SlerpBlendAnim(arm.upper, q, 0.2f, 0.2f);
        EXPECT_EQ(full, i == 4) << "call " << i + 1;
        EXPECT_NEAR(arm.upper->blendAnim->poseBlend, want[i], 1e-6f);
        EXPECT_EQ(arm.upper->blendAnim->pose.flags, ANIMKEY_ROT);
    }
    EXPECT_FLOAT_EQ(arm.upper->blendAnim->poseBlend, 1.0f);

    arm.lower->blendAnim->poseBlend = 0.03f;
    EXPECT_FALSE(RelaxBlendAnimPose(arm.lower, 0.05f));
    EXPECT_EQ(arm.lower->blendAnim->poseBlend, 0.0f);

    SetBlendPose(arm.hand, q);
    EXPECT_EQ(arm.hand->blendAnim->poseBlend, 1.0f);
    EXPECT_FALSE(RelaxBlendAnimPose(arm.hand, 1.0f));
    EXPECT_EQ(arm.hand->blendAnim->poseBlend, 0.0f);

    // Bones without a blend animation are left alone.
    Object bare;
    EXPECT_FALSE(SlerpBlendAnim(&bare, q, 0.2f, 0.2f));
    EXPECT_FALSE(RelaxBlendAnimPose(&bare, 0.2f));
    SetBlendPose(&bare, q);
}

TEST(PoseBlend, SlerpMatrixArrivesWithinSnapAndEasesOtherwise)
{
    // Same rotation, snap 0: it has arrived, nothing divides by the angle.
    Matrix m = RotY(0.5f);
    m.w = Vector(1.0f, 2.0f, 3.0f, 1.0f);
    Quaternion q(RotY(0.5f));
    EXPECT_TRUE(SlerpMatrix(&m, q, 0.1f, 0.0f));
    EXPECT_NEAR(m.z[0], sinf(0.5f), 1e-5f);
    EXPECT_EQ(m.w[1], 2.0f);

    // Two thirds of a half turn (half-angle pi/3) at speed pi/6: half way
    // in angle, and smoothstep(0.5) = 0.5 of the way.
    Matrix n(true);
    Quaternion target(RotY(kPi * 2.0f / 3.0f));
    EXPECT_FALSE(SlerpMatrix(&n, target, kPi / 6.0f, 0.01f));
    EXPECT_NEAR(ArcTan2(n.z[0], n.z[2]), kPi / 3.0f, 2e-3f);
    // The rest (half-angle pi/6 = 0.524) is within a snap of 0.6.
    EXPECT_TRUE(SlerpMatrix(&n, target, kPi / 6.0f, 0.6f));
    EXPECT_NEAR(n.z[0], 0.8660254f, 1e-4f);
    EXPECT_NEAR(n.z[2], -0.5f, 1e-4f);
}

// ---------------------------------------------------------------------------

TEST(LimbSolvers, TwoJointReachBendsAndRefuses)
{
    Arm arm(VectorPos(0.0f, 0.0f, 0.0f), 0.25f, 0.5f);
    AngleArc free3[3];
    Matrix M(true);
    float bend = -1.0f;
    VectorDir across(1.0f, 0.0f, 0.0f);
    // Exactly at full reach: straight.
    EXPECT_TRUE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.75f), across, free3, AngleArc(), false, &M, &bend));
    EXPECT_EQ(bend, 0.0f);
    // Just beyond: out of reach, outputs untouched.
    bend = -1.0f;
    EXPECT_FALSE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.7501f), across, free3, AngleArc(), false, &M, &bend));
    EXPECT_EQ(bend, -1.0f);
    // A hint along the reach line (cos 0.9995) fails.
    EXPECT_FALSE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.5f), VectorDir(0.0316f, 0.0f, 0.9995f), free3,
                                 AngleArc(), false, nullptr, nullptr));
    // D^2 = a^2 + b^2: a right angle at the elbow.
    float D = sqrtf(0.25f * 0.25f + 0.5f * 0.5f);
    EXPECT_TRUE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, D), across, free3, AngleArc(), false, &M, &bend));
    EXPECT_NEAR(bend, kPi * 0.5f, 2e-3f);
    // Reaching 0.3 the elbow closes to acos(0.89) = 0.4556, a bend of 2.686:
    // more than the arc (0, 2.5) allows.
    EXPECT_FALSE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.3f), across, free3, AngleArc(0.0f, 2.5f), false,
                                 nullptr, nullptr));
    EXPECT_TRUE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.3f), across, free3, AngleArc(0.0f, 3.0f), false,
                                &M, &bend));
    EXPECT_NEAR(bend, kPi - acosf(0.89f), 1e-4f);
    // The posed hand lands on the target.
    SetBlendPose(arm.upper, Quaternion(M));
    SetBlendPose(arm.lower, Quaternion(RotY(bend)));
    ExpectNear(arm.PosedHand(), VectorXYZ(0.0f, 0.0f, 0.3f), 5e-4f);   // the unit's sines
}

TEST(LimbSolvers, OneJointLimitsAndTheirAbsence)
{
    AngleArc lim[3];
    // Full-circle limits are never tested, whatever the direction.
    EXPECT_TRUE(Solve1JointLimb(VectorPos(0.3f, -0.9f, -0.2f), VectorDir(1.0f, 0.0f, 0.0f), lim, nullptr));
    // Yaw of (1, 0, 1) is pi/4: inside (0, 1), outside (1, 1).
    lim[1] = AngleArc(0.0f, 1.0f);
    Matrix out(true);
    EXPECT_TRUE(Solve1JointLimb(VectorPos(1.0f, 0.0f, 1.0f), VectorDir(0.0f, 1.0f, 0.0f), lim, &out));
    EXPECT_NEAR(out.z[0], 0.70710677f, 1e-5f);
    EXPECT_NEAR(out.z[2], 0.70710677f, 1e-5f);
    lim[1] = AngleArc(1.0f, 1.0f);
    EXPECT_FALSE(Solve1JointLimb(VectorPos(1.0f, 0.0f, 1.0f), VectorDir(0.0f, 1.0f, 0.0f), lim, nullptr));
    // The clamping form always answers, at the nearer end.
    Matrix c(true);
    EXPECT_TRUE(Solve1JointLimbClosest(VectorPos(1.0f, 0.0f, 1.0f), VectorDir(0.0f, 1.0f, 0.0f), lim, &c));
    EXPECT_NEAR(ArcTan2(c.z[0], c.z[2]), 1.0f, 2e-3f);
}

TEST(LimbSolvers, CircleSearchFindsTheNearestAllowedElbow)
{
    // Folded arm reaching along z; the elbow's first try is at -x; limits on
    // the first segment's yaw allow only positive yaw, so the elbow swings
    // round the reach line to the +x side.
    Arm arm(VectorPos(0.0f, 0.0f, 0.0f), 0.3f, 0.3f);
    AngleArc lim[3];
    lim[1] = AngleArc(0.05f, 1.5f);
    Matrix M(true);
    float bend = 0.0f;
    EXPECT_FALSE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.4f), VectorDir(1.0f, 0.0f, 0.0f), lim,
                                 AngleArc(), false, &M, &bend));
    EXPECT_TRUE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.4f), VectorDir(1.0f, 0.0f, 0.0f), lim,
                                AngleArc(), true, &M, &bend));
    float yaw = ArcTan2(M.z[0], M.z[2]);
    EXPECT_TRUE(lim[1].Contains(yaw)) << yaw;
    // A yaw window the circle never reaches: no solution.
    lim[1] = AngleArc(2.0f, 0.5f);
    EXPECT_FALSE(Solve2JointLimb(arm.hand, VectorPos(0.0f, 0.0f, 0.4f), VectorDir(1.0f, 0.0f, 0.0f), lim,
                                 AngleArc(), true, &M, &bend));
}

TEST(LimbSolvers, BiaxialJointClampsOrZeroesByItsFlags)
{
    AngleArc lim[2] = {AngleArc(-0.5f, 1.0f), AngleArc(-0.5f, 1.0f)};
    // Pitch asin(0.8) = 0.927 is out; yaw 0 is in.
    VectorDir up(0.0f, 0.8f, 0.6f);
    EXPECT_FALSE(SolveBiaxialJoint(up, lim, false, false, nullptr));
    Matrix m(true);
    EXPECT_TRUE(SolveBiaxialJoint(up, lim, true, false, &m));
    EXPECT_NEAR(m.z[1], sinf(0.5f), 1e-5f);
    EXPECT_TRUE(SolveBiaxialJoint(up, lim, false, true, &m));   // pitch falls back to 0
    EXPECT_NEAR(m.z[1], 0.0f, 1e-6f);
    EXPECT_NEAR(m.z[2], 1.0f, 1e-6f);
    // Yaw out (pi/2), pitch in: with the pitch flag only, yaw becomes 0.
    EXPECT_FALSE(SolveBiaxialJoint(VectorDir(1.0f, 0.0f, 0.0f), lim, false, false, nullptr));
    EXPECT_TRUE(SolveBiaxialJoint(VectorDir(1.0f, 0.0f, 0.0f), lim, true, false, &m));
    EXPECT_NEAR(m.z[2], 1.0f, 1e-6f);
}

TEST(LimbSolvers, SimpleLimbAndJointsWriteTheirPoses)
{
    Arm leg(VectorPos(0.0f, 0.0f, 0.0f), 0.4f, 0.4f);
    SimpleLimb limb{leg.upper, leg.lower, leg.hand, {}, AngleArc(), Matrix(true)};
    // The footprint's direction is the knee hint negated.
    ASSERT_TRUE(limb.MoveEndTo(Footprint(VectorPos(0.0f, 0.0f, 0.6f), VectorDir(-1.0f, 0.0f, 0.0f))));
    ExpectNear(leg.PosedHand(), VectorXYZ(0.0f, 0.0f, 0.6f), 1e-4f);
    EXPECT_FALSE(limb.MoveEndTo(VectorPos(0.0f, 0.0f, 0.9f), VectorDir(1.0f, 0.0f, 0.0f)));

    BallAndSocket eye{leg.gun, {}, Matrix(true)};
    EXPECT_TRUE(eye.LookAlong(VectorDir(0.0f, 0.0f, 1.0f), VectorDir(0.0f, 1.0f, 0.0f)));
    EXPECT_EQ(leg.gun->blendAnim->poseBlend, 1.0f);
    BiaxialJoint neck{leg.torso, {AngleArc(-0.1f, 0.2f), AngleArc()}, Matrix(true)};
    EXPECT_FALSE(neck.LookAlong(VectorDir(0.0f, 1.0f, 1.0f), false, false));
    EXPECT_TRUE(neck.LookAlong(VectorDir(0.0f, 0.0f, 1.0f), false, false));
}

// ---------------------------------------------------------------------------

namespace {

// A wheel whose rim points at angles 0 and pi/2 each lie square to the line
// from the shoulder, so the hint toward the hub is across the reach line.
void SetUpWheel(SteerArm& s, Arm& arm)
{
    s.lowerarm = arm.lower;
    s.upperarm = arm.upper;
    s.hand = arm.hand;
    s.ikupperarmmat = Matrix(true);
    s.wheelcenter = VectorPos(-0.15f, 0.15f, 0.4f);
    s.zeroturnoff = VectorPos(0.0f, -0.15f, 0.0f);
    s.quarterturnoff = VectorPos(0.15f, 0.0f, 0.0f);
}

}  // namespace

TEST(SteerArm, HandsGoToTheRimAndStayWhenOutOfReach)
{
    SteerArms arms;
    EXPECT_EQ(arms.leftarm.ikelbowlimits.arclen, 2.0f * kPi);
    EXPECT_EQ(arms.wheelvel, 0.0f);
    Arm arm(VectorPos(0.0f, 0.0f, 0.0f), 0.3f, 0.3f);
    SteerArm& s = arms.rightarm;
    SetUpWheel(s, arm);
    ASSERT_TRUE(s.SteerTo(0.0f));
    ExpectNear(arm.PosedHand(), VectorXYZ(-0.15f, 0.0f, 0.4f), 1e-4f);
    ASSERT_TRUE(s.SteerTo(kPi * 0.5f));
    ExpectNear(arm.PosedHand(), VectorXYZ(0.0f, 0.15f, 0.4f), 1e-4f);

    Quaternion before = arm.upper->blendAnim->pose.ang;
    s.wheelcenter = VectorPos(-0.15f, 0.15f, 2.0f);
    EXPECT_FALSE(s.SteerTo(0.0f));
    EXPECT_EQ(arm.upper->blendAnim->pose.ang, before);
    // Half way along a chord the hint vanishes: refused, not solved.
    SetUpWheel(s, arm);
    EXPECT_FALSE(s.Transition(0.0f, kPi, 0.5f));
}

// ---------------------------------------------------------------------------

namespace {

class TestGunArm : public GunArm
{
public:
    using GunArm::ChangeMode;
};

// A right arm reaching forward (+z) from a shoulder, a gun in the hand, the
// arm free in every joint.
void SetUpGunArm(TestGunArm& g, Arm& arm)
{
    g.lowerarm = arm.lower;
    g.upperarm = arm.upper;
    g.hand = arm.hand;
    g.gun = arm.gun;
    g.weapon = shotstest::SeenBlank();
    g.weapon.bulletsLeft = 30;
    g.lockwrist = false;
    g.torsobox = Cuboid(VectorPos(0.0f, 0.0f, 0.0f), VectorPos(0.0f, 0.0f, 0.0f));
    g.isPreciseShot = false;
    g.twoHanded = false;
    g.lastshot = 0;
    g.recoillinearspeed = VectorDir(0.0f, 0.0f, 0.0f);
    g.recoilangspeed = VectorXYZ(0.0f, 0.0f, 0.0f);
    g.aimupperarmdir = VectorPos(0.0f, 1.0f, 0.0f);
    g.aimhanddist = 0.05f;
    g.indirectaimhanddist = 0.1f;
    g.primarywristdir = VectorDir(0.0f, -1.0f, 0.0f);
    g.alternatewristdir = VectorDir(0.0f, 0.0f, 0.0f);
    g.ikupperarmmat = Matrix(true);
    g.ikhandmat = Matrix(true);
    g.ChangeMode(GunArm::UNARMED);
}

// Runs frames from e = 0 with the arm shooting and lists the e at which
// bullets left.
std::vector<int> BurstTimes(int bullets, float frames)
{
    shotstest::ShotModels models;
    shotstest::BulletWatch watch;
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    TestGunArm g;
    SetUpGunArm(g, arm);
    g.weapon.bulletspershot = bullets;
    g.weapon.framespershot = frames;
    world.time = 1000;
    g.lastshot = 1000;
    g.ChangeMode(GunArm::SHOOTING);
    std::vector<int> fired;
    for (int e = 0; e < 40 && g.ModeIs(GunArm::SHOOTING); e++) {
        world.time = 1000 + e;
        g.Frame(VectorPos(0.2f, -0.4f, 5.0f));
        for (int k = watch.Look(); k > 0; k--)
            fired.push_back(e);
    }
    return fired;
}

}  // namespace

TEST(GunArm, BurstsFireOnTheirFrames)
{
    EXPECT_EQ(BurstTimes(3, 10.0f), (std::vector<int>{0, 10, 20, 30}));
    EXPECT_EQ(BurstTimes(3, 1.0f), (std::vector<int>{0, 0, 1, 2, 3}));
    EXPECT_EQ(BurstTimes(1, 20.0f), (std::vector<int>{0}));
}

TEST(GunArm, EmptyRowsAreMadeOneAndEmptyMagazinesRefuse)
{
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    TestGunArm g;
    SetUpGunArm(g, arm);
    g.weapon.framespershot = 0.0f;
    g.weapon.bulletspershot = 0;
    world.time = 50;
    g.lastshot = 50;
    g.ChangeMode(GunArm::SHOOTING);
    g.Frame(VectorPos(0.2f, -0.4f, 5.0f));
    EXPECT_EQ(g.weapon.framespershot, 1.0f);
    EXPECT_EQ(g.weapon.bulletspershot, 1);
    EXPECT_TRUE(g.ModeIs(GunArm::JUST_SHOT));

    // Shoot decrements without a floor (kept): a magazine already at 0 goes
    // to -1 when the owner forces a shot.
    g.weapon.bulletsLeft = 0;
    g.Shoot();
    EXPECT_EQ(g.weapon.bulletsLeft, -1);
    g.ChangeMode(GunArm::CARRYING);
    EXPECT_EQ(g.ShootGun(), 0);
    EXPECT_TRUE(g.ModeIs(GunArm::CARRYING));
    EXPECT_FALSE(g.DischargeGun());
    g.weapon.bulletsLeft = 5;
    EXPECT_EQ(g.ShootGun(), 1);
    EXPECT_TRUE(g.ModeIs(GunArm::DRAWING_TO_SHOOT));
}

TEST(GunArm, PostRecoilEndsSixtyFramesAfterTheShot)
{
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    TestGunArm g;
    SetUpGunArm(g, arm);
    g.weapon.framespershot = 10.0f;
    world.time = 200;
    g.lastshot = 200;
    g.ChangeMode(GunArm::JUST_SHOT);
    for (int e = 0; e < 60; e++) {
        world.time = 200 + e;
        g.Frame(VectorPos(0.0f, 0.0f, 5.0f));
        EXPECT_FALSE(g.ModeIs(GunArm::CARRYING)) << e;
    }
    EXPECT_TRUE(g.ModeIs(GunArm::POST_RECOIL));
    world.time = 260;
    g.Frame(VectorPos(0.0f, 0.0f, 5.0f));
    EXPECT_TRUE(g.ModeIs(GunArm::CARRYING));
    EXPECT_FLOAT_EQ(arm.upper->blendAnim->poseBlend, 0.799f);
    // Carrying relaxes from there by 0.05 a frame.
    g.Frame(VectorPos(0.0f, 0.0f, 5.0f));
    EXPECT_FLOAT_EQ(arm.upper->blendAnim->poseBlend, 0.749f);
}

TEST(GunArm, DisarmingHidesTheGunAtOnceAndRelaxesBoneByBone)
{
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    TestGunArm g;
    SetUpGunArm(g, arm);
    arm.upper->blendAnim->poseBlend = 0.1f;
    arm.lower->blendAnim->poseBlend = 0.05f;
    arm.hand->blendAnim->poseBlend = 0.05f;
    g.ChangeMode(GunArm::CARRYING);
    g.DisarmGun();
    g.Frame(VectorPos(0.0f, 0.0f, 5.0f));
    EXPECT_TRUE(arm.gun->flags & OBJF_HIDDEN);
    EXPECT_NEAR(arm.upper->blendAnim->poseBlend, 0.05f, 1e-6f);
    EXPECT_EQ(arm.lower->blendAnim->poseBlend, 0.05f);
    g.Frame(VectorPos(0.0f, 0.0f, 5.0f));   // all three reach 0 in turn
    EXPECT_TRUE(g.ModeIs(GunArm::UNARMED));
    g.ArmGun();
    g.Frame(VectorPos(0.0f, 0.0f, 5.0f));
    EXPECT_FALSE(arm.gun->flags & OBJF_HIDDEN);
}

TEST(GunArm, AimingSolvesTheHandOntoTheLineToTheTargetAndShoots)
{
    shotstest::ShotModels models;
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    TestGunArm g;
    SetUpGunArm(g, arm);
    g.weapon.bulletsLeft = 6;
    VectorPos target(0.2f, -0.4f, 5.0f);
    g.ChangeMode(GunArm::CARRYING);
    world.time = 400;
    g.lastshot = 0;
    ASSERT_EQ(g.ShootGun(), 1);
    shotstest::BulletWatch watch;
    int frames = 0;
    while (!g.ModeIs(GunArm::JUST_SHOT) && frames < 10) {
        world.time = 400 + frames++;
        g.Frame(target);
    }
    // Five frames to assume the pose (0.2 a frame), the shot in the fifth.
    EXPECT_EQ(frames, 5);
    EXPECT_EQ(watch.Look(), 1);
    EXPECT_EQ(g.weapon.bulletsLeft, 5);
    // The hand lies on the line from the shoulder to the target, 0.05 short
    // of full reach.
    ExpectNear(arm.PosedHand(), VectorXYZ(0.2f, -0.4f, 0.55f), 1e-4f);
    // The bullet leaves toward the target.
    EXPECT_GT(watch.Last().along[2], 0.99f);

    // A target behind a torso box round the hand point cannot be aimed at.
    g.torsobox = Cuboid(VectorPos(-1.0f, -1.0f, 0.5f), VectorPos(1.0f, 1.0f, 0.6f));
    EXPECT_FALSE(g.CanAimAt(target));
}

TEST(GunArm, TwoHandedAimsWithinFortyFiveDegreesOfTheFacing)
{
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    TestGunArm g;
    SetUpGunArm(g, arm);
    g.twoHanded = true;
    VectorPos shoulder = arm.upper->GetWorldPos();
    EXPECT_TRUE(g.CanAimAt(shoulder + VectorPos(0.7f, 3.0f, 0.72f)));   // dot 0.717
    EXPECT_FALSE(g.CanAimAt(shoulder + VectorPos(0.72f, 0.0f, 0.7f)));  // dot 0.697
}

// ---------------------------------------------------------------------------

namespace {

class TestPresetArm : public PresetGunArm
{
public:
    using PresetGunArm::ChangeMode;
};

}  // namespace

TEST(PresetGunArm, AimsInFiveFramesWaitsBetweenShotsAndRelaxesInSteps)
{
    shotstest::ShotModels models;
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    TestPresetArm p{};
    p.upperarm = arm.upper;
    p.hand = arm.hand;
    p.gun = arm.gun;
    p.root = arm.torso;
    p.weapon = shotstest::SeenBlank();
    p.poseblend = 0.0f;
    world.time = 1000;
    p.lastshot = 0;
    p.ChangeMode(PresetGunArm::AIMING_TO_SHOOT);
    shotstest::BulletWatch watch;
    int frame = 0;
    while (watch.Look() == 0 && frame < 10) {
        frame++;
        p.Frame(0, false, 0, 0, 0, 0, 0, 0);
    }
    EXPECT_EQ(frame, 5);
    EXPECT_EQ(p.poseblend, 1.0f);
    EXPECT_TRUE(p.ModeIs(PresetGunArm::JUST_SHOT));
    EXPECT_EQ(p.lastshot, 1000u);

    // Drawing to shoot waits while 22 <= e <= 32.
    p.ChangeMode(PresetGunArm::DRAWING_TO_SHOOT);
    const int es[4] = {21, 22, 32, 33};
    const bool waits[4] = {false, true, true, false};
    for (int k = 0; k < 4; k++) {
        p.ChangeMode(PresetGunArm::DRAWING_TO_SHOOT);
        world.time = 1000 + es[k];
        p.poseblend = 0.0f;
        p.Frame(0, false, 0, 0, 0, 0, 0, 0);
        EXPECT_EQ(p.ModeIs(PresetGunArm::DRAWING_TO_SHOOT), waits[k]) << es[k];
    }

    p.ChangeMode(PresetGunArm::CARRYING);
    p.poseblend = 0.15f;
    p.Frame(0, false, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(p.poseblend, 0.0f);

    // Kept: nothing leads out of RECOIL_TO_QUIT_AIMING but the owner.
    p.ChangeMode(PresetGunArm::RECOIL_TO_QUIT_AIMING);
    world.time += 100;
    p.Frame(0, false, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(p.ModeIs(PresetGunArm::RECOIL_TO_QUIT_AIMING));
}

TEST(GunArm, ShotsUseTheGunsPortAndMuzzleAndDischargeFiresNextFrame)
{
    // A gun model: its body with the ejection port (0x8001) and the muzzle
    // (0x8000) below it.
    tools::P2BFile f;
    f.AddNode(-1, tools::MakeNode(MDL_NOGEOM));
    f.AddNode(0, tools::MakeNode(0x8001, VectorPos(0.0f, -0.02f, 0.05f)));
    f.AddNode(0, tools::MakeNode(0x8000, VectorPos(0.0f, -0.04f, 0.1f)));
    std::vector<u8> bytes;
    std::string error;
    ASSERT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
    void* block = malloc_align(u32(bytes.size()), 64);
    std::memcpy(block, bytes.data(), bytes.size());
    MDLFILE mf{};
    mf.SetBuffer(block);
    ASSERT_TRUE(mf.Init(u32(bytes.size())));

    shotstest::ShotModels models;
    Arm arm(VectorPos(0.2f, -0.4f, 0.0f), 0.3f, 0.3f);
    Object* gun = mf.GetHierarchy(0, sizeof(Object), GH_NOCHILDREN);
    ASSERT_NE(gun, nullptr);
    gun->mat = Matrix(true);
    arm.hand->Attach(gun);
    TestGunArm g;
    SetUpGunArm(g, arm);
    g.gun = gun;
    shotstest::BulletWatch watch;
    g.Shoot();
    EXPECT_EQ(watch.Look(), 1);
    EXPECT_EQ(shotstest::Cases(), 1);
    EXPECT_EQ(shotstest::Flashes(gun), 1);
    // A fake shot: case and flash, no bullet, the magazine untouched.
    const int left = g.weapon.bulletsLeft;
    g.FakeShot();
    EXPECT_EQ(watch.Look(), 0);
    EXPECT_EQ(shotstest::Cases(), 2);
    EXPECT_EQ(shotstest::Flashes(gun), 2);
    EXPECT_EQ(g.weapon.bulletsLeft, left);
    // ShootAt stamps the shot's time and fires at the point.
    world.time = 900;
    g.ShootAt(VectorPos(5.0f, -0.4f, 0.6f));
    EXPECT_EQ(g.TimeOfLastShot(), 900u);
    EXPECT_EQ(watch.Look(), 1);
    EXPECT_GT(watch.Last().along[0], 0.99f);
    // DischargeGun: shooting from the current pose, the bullet in the next
    // frame at e = 0.
    world.time = 950;
    ASSERT_TRUE(g.DischargeGun());
    EXPECT_TRUE(g.ModeIs(GunArm::SHOOTING));
    EXPECT_EQ(arm.hand->blendAnim->poseBlend, 1.0f);
    watch.Look();
    g.Frame(VectorPos(0.2f, -0.4f, 5.0f));
    EXPECT_EQ(watch.Look(), 1);
    // One-shot weapons: JUST_SHOT in the frame of the shot, RECOIL in the next.
    EXPECT_TRUE(g.ModeIs(GunArm::JUST_SHOT));
    world.time = 951;
    g.Frame(VectorPos(0.2f, -0.4f, 5.0f));
    EXPECT_TRUE(g.ModeIs(GunArm::RECOIL));
    arm.hand->blendAnim->poseBlend = 0.0f;
    free(block);
}
