#include <gtest/gtest.h>

#include <cmath>

#include "ZevEngine2/Physics.h"

namespace {

void ExpectNear(const VectorXYZ& a, const VectorXYZ& b, float tol = 1e-5f)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

void ExpectRowsNear(const Matrix& a, const Matrix& b, float tol = 1e-5f)
{
    for (int r = 0; r < 4; r++)
        for (int k = 0; k < 4; k++)
            EXPECT_NEAR(a[r][k], b[r][k], tol) << "row " << r << " lane " << k;
}

// The angle the body's z axis has turned about y from world z.
float TurnAboutY(const Matrix& m)
{
    return std::atan2(m.z[0], m.z[2]);
}

// A body at (1, 2, 3) turned a quarter about y: body x along world -z, body
// z along world x.
void PlaceQuarterTurned(DynamicObject& d)
{
    d.mat = RotY(1.5707964f);
    d.mat.SetTrans(VectorPos(1, 2, 3));
    d.rI = Vector(0.5f, 0.25f, 2.0f, 1.0f);
}

TEST(Physics, StepWithoutSpinOnlyMoves)
{
    DynamicObject d;
    PlaceQuarterTurned(d);
    Matrix before = d.mat;
    d.vel = Vector(0.5f, -1, 2, 7);
    d.MoveDynamicObject();
    ExpectNear(d.mat.GetTrans(), VectorPos(1.5f, 1, 5));
    EXPECT_EQ(d.mat.w[3], 1.0f);
    for (int r = 0; r < 3; r++)
        ExpectNear(d.mat[r].xyz(), before[r].xyz());
    d.MoveDynamicObject(0.5f);
    ExpectNear(d.mat.GetTrans(), VectorPos(1.75f, 0.5f, 6));
    EXPECT_EQ(d.vel[3], 7.0f);
}

TEST(Physics, HalfStepTurnsHalfAsFarAndKeepsTheSpin)
{
    DynamicObject a, b;
    a.mat = b.mat = Matrix(true);
    a.angvel = b.angvel = Vector(0, 0.02f, 0, 0);
    a.MoveDynamicObject();
    b.MoveDynamicObject(0.5f);
    // A first-order step by w turns by atan(w) and stays orthonormal.
    EXPECT_NEAR(TurnAboutY(a.mat), std::atan(0.02f), 1e-6f);
    EXPECT_NEAR(TurnAboutY(b.mat), std::atan(0.01f), 1e-6f);
    EXPECT_NEAR(TurnAboutY(b.mat) * 2, TurnAboutY(a.mat), 1e-5f);
    ExpectNear(b.angvel.xyz(), VectorXYZ(0, 0.02f, 0));
    for (const Matrix* m : {&a.mat, &b.mat})
    {
        EXPECT_NEAR(Length(m->x.xyz()), 1.0f, 1e-6f);
        EXPECT_NEAR(Dot(m->x.xyz(), m->z.xyz()), 0.0f, 1e-6f);
    }
}

TEST(Physics, LocalForceAtTheOriginOnlyPushes)
{
    DynamicObject d;
    PlaceQuarterTurned(d);
    d.ApplyLocalForce(VectorDir(1, 0, 0), VectorPos(0, 0, 0));
    ExpectNear(d.vel.xyz(), VectorXYZ(0, 0, -1));   // body x is world -z
    ExpectNear(d.angvel.xyz(), VectorXYZ(0, 0, 0));

    // Off the origin it also turns: τ = p × F = (0, 0, 1) × (1, 0, 0) = (0, 1, 0).
    d.ApplyLocalForce(VectorDir(1, 0, 0), VectorPos(0, 0, 1));
    ExpectNear(d.angvel.xyz(), VectorXYZ(0, 0.25f, 0));
}

TEST(Physics, WorldForceAlongTheLeverOnlyPushes)
{
    DynamicObject d;
    PlaceQuarterTurned(d);
    d.ApplyWorldForce(VectorDir(2, 4, 6), VectorPos(2, 4, 6));   // p - T = (1, 2, 3) ∥ F
    ExpectNear(d.vel.xyz(), VectorXYZ(2, 4, 6));
    ExpectNear(d.angvel.xyz(), VectorXYZ(0, 0, 0));

    // Pushing world +y at one unit along world x (body z): the world torque
    // (1, 0, 0) × (0, 1, 0) = (0, 0, 1) is world z = body -x.
    d.ApplyWorldForce(VectorDir(0, 1, 0), VectorPos(2, 2, 3));
    ExpectNear(d.angvel.xyz(), VectorXYZ(-0.5f, 0, 0));
}

TEST(Physics, PointVelocities)
{
    DynamicObject d;
    PlaceQuarterTurned(d);
    d.vel = Vector(1, 0, 0, 0);
    EXPECT_EQ(d.LinearVelocityAtLocalPt(VectorPos(0, 0, 0)), VectorDir(1, 0, 0));

    // Spinning about body y: the body point (0, 0, 1) (world x of the
    // origin) moves along body x (world -z).
    d.angvel = Vector(0, 2, 0, 0);
    ExpectNear(d.LinearVelocityAtLocalPt(VectorPos(0, 0, 1)), VectorDir(1, 0, -2));
    ExpectNear(d.LinearVelocityAtWorldPt(VectorPos(2, 2, 3)), VectorDir(1, 0, -2));

    // The velocity matrices give the same for any point.
    VectorPos p(0.3f, -1.2f, 2.5f);
    Vector wv = d.WorldVelocityMatrix() * Vector(p, 1.0f);
    ExpectNear(wv.xyz(), d.LinearVelocityAtLocalPt(p));
    EXPECT_EQ(wv[3], 1.0f);
    Vector lv = d.LocalVelocityMatrix() * Vector(p, 1.0f);
    VectorXYZ w = d.LinearVelocityAtLocalPt(p);
    ExpectNear(lv.xyz(), VectorXYZ(Dot(w, d.mat.x.xyz()), Dot(w, d.mat.y.xyz()), Dot(w, d.mat.z.xyz())));
    ExpectRowsNear(d.LocalVelocityMatrix(), Matrix(Vector(0, 0, -2, 0), Vector(0, 0, 0, 0), Vector(2, 0, 0, 0),
                                                   Vector(0, 0, 1, 1)));
}

TEST(Physics, MassDividesTheLinearImpulseOnly)
{
    DynamicObject d;
    DynamicObject2 d2;
    PlaceQuarterTurned(d);
    PlaceQuarterTurned(d2);
    d2.rI = Vector(0.5f, 0.25f, 2.0f, 0.5f);
    EXPECT_EQ(d2.Mass(), 2.0f);

    d.ApplyWorldForce(VectorDir(0, 1, 0), VectorPos(2, 2, 3));
    d2.ApplyWorldForce(VectorDir(0, 1, 0), VectorPos(2, 2, 3));
    ExpectNear(d2.vel.xyz(), d.vel.xyz() * 0.5f);
    ExpectNear(d2.angvel.xyz(), d.angvel.xyz());
    EXPECT_EQ(d2.angvel[3], 0.0f);

    d2.vel = Vector::null();
    d2.ApplyLocalForce(VectorDir(4, 0, 0), VectorPos(0, 0, 0));
    ExpectNear(d2.vel.xyz(), VectorXYZ(0, 0, -2));

    // Immovable by impulses.
    d2.rI[3] = 0;
    d2.vel = Vector::null();
    d2.ApplyWorldForce(VectorDir(5, 5, 5), VectorPos(1, 2, 3));
    ExpectNear(d2.vel.xyz(), VectorXYZ(0, 0, 0));
}

TEST(Physics, ImpulseThenStep)
{
    DynamicObject d;
    d.mat = Matrix(true);
    d.rI = Vector(1, 1, 0.5f, 0);
    d.MoveDynamicObject2(VectorDir(1, 0, 0), VectorDir(0, 0, 0.04f));
    ExpectNear(d.vel.xyz(), VectorXYZ(1, 0, 0));
    ExpectNear(d.angvel.xyz(), VectorXYZ(0, 0, 0.02f));
    ExpectNear(d.mat.GetTrans(), VectorPos(1, 0, 0));
    // Turned about z: body x leans toward world y.
    EXPECT_NEAR(std::atan2(d.mat.x[1], d.mat.x[0]), std::atan(0.02f), 1e-6f);

    DynamicObject2 d2;
    d2.mat = Matrix(true);
    d2.rI = Vector(1, 1, 1, 0.25f);
    d2.MoveDynamicObject2(VectorDir(4, 0, 0), VectorDir(0, 0, 0), 0.5f);
    ExpectNear(d2.vel.xyz(), VectorXYZ(0.5f, 0, 0));
    ExpectNear(d2.mat.GetTrans(), VectorPos(0.25f, 0, 0));
    EXPECT_FLOAT_EQ(d2.Speed(), 0.5f);
    EXPECT_FLOAT_EQ(d2.Speed2(), 0.25f);
}

}  // namespace
