#include <gtest/gtest.h>

#include "ZevEngine2/ExtentSpawn.h"
#include "ZevEngine2/Utilities.h"

namespace {

ExtentSpawn Box(const Matrix& mat, float sx, float sy, float sz)
{
    ExtentSpawn e;
    e.mat = mat;
    e.ext = Vector(sx, sy, sz, 0);
    return e;
}

TEST(ExtentSpawn, RandomPointsOfAFlatBoxStayInIt)
{
    ExtentSpawn e = Box(Matrix(true), 2, 0, 2);
    srand(12345);
    for (int i = 0; i < 1000; i++)
    {
        VectorPos p = e.Random();
        EXPECT_EQ(p[1], 0.0f);
        EXPECT_GE(p[0], -1.0f);
        EXPECT_LT(p[0], 1.0f);
        EXPECT_GE(p[2], -1.0f);
        EXPECT_LT(p[2], 1.0f);
    }
}

TEST(ExtentSpawn, RandomTakesThreeDrawsInAxisOrder)
{
    Matrix frame = RotY(0.5f);
    frame.w = Vector(10, 20, 30, 1);
    ExtentSpawn e = Box(frame, 4, 6, 8);

    srand(777);
    float a = randf(), b = randf(), c = randf(), next = randf();
    VectorXYZ local(a * 4 - 2, b * 6 - 3, c * 8 - 4);
    VectorXYZ expect = frame.w.xyz() + frame.x.xyz() * local[0] + frame.y.xyz() * local[1] + frame.z.xyz() * local[2];

    srand(777);
    VectorPos p = e.Random();
    EXPECT_NEAR(p[0], expect[0], 1e-4f);
    EXPECT_NEAR(p[1], expect[1], 1e-4f);
    EXPECT_NEAR(p[2], expect[2], 1e-4f);
    EXPECT_EQ(randf(), next);   // exactly three steps of the shared generator
    EXPECT_TRUE(e.Within(p));
}

TEST(ExtentSpawn, WithinIncludesFacesAndNeedsASetBox)
{
    Matrix frame = RotY(1.5707963f);   // local x is world -z
    frame.w = Vector(5, 0, 5, 1);
    ExtentSpawn e = Box(frame, 4, 2, 2);
    EXPECT_TRUE(e.IsValid());
    EXPECT_TRUE(e.Within(VectorPos(5, 0, 3)));      // on the local +x face, 2 along -z
    EXPECT_TRUE(e.Within(VectorPos(5, 1, 5)));      // on the +y face
    EXPECT_FALSE(e.Within(VectorPos(6.5f, 0, 5)));  // local z is only 1 deep
    EXPECT_FALSE(e.Within(VectorPos(5, 0, 2.5f)));

    ExtentSpawn unset = Box(Matrix(false), 4, 2, 2);
    EXPECT_FALSE(unset.IsValid());
    EXPECT_FALSE(unset.Within(VectorPos(0, 0, 0)));
}

TEST(ExtentSpawn, FloorIsTheBoxsBottomFace)
{
    Matrix frame = TransMatrix(0, 10, 0);
    ExtentSpawn e = Box(frame, 2, 4, 2);
    EXPECT_FLOAT_EQ(e.Floor(VectorPos(0, 10, 0)), 12.0f);
    EXPECT_FLOAT_EQ(e.Floor(VectorPos(0.3f, -50, 0.7f)), 12.0f);   // the height of pos does not matter
    // Turned about y the floor stays level.
    Matrix turned = RotY(0.8f) * frame;
    EXPECT_NEAR(Box(turned, 2, 4, 2).Floor(VectorPos(0.2f, 0, -0.4f)), 12.0f, 1e-5f);
}

TEST(ExtentSpawn, TransformMovesASetBoxOnly)
{
    ExtentSpawn e = Box(Matrix(true), 2, 2, 2);
    e.Transform(TransMatrix(10, 0, 0));
    EXPECT_TRUE(e.Within(VectorPos(10.5f, 0, 0)));
    EXPECT_FALSE(e.Within(VectorPos(0, 0, 0)));

    ExtentSpawn unset = Box(Matrix(false), 2, 2, 2);
    unset.Transform(TransMatrix(10, 0, 0));
    EXPECT_FALSE(unset.IsValid());
}

}  // namespace
