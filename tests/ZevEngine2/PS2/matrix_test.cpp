#include <gtest/gtest.h>

#include "ZevEngine2/PS2/Vector.h"

namespace
{
constexpr double kPiD = 3.14159265358979323846;

void ExpectVec(const Vector& v, double x, double y, double z, double w, double tol)
{
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
    EXPECT_NEAR(v[3], w, tol);
}

void ExpectMatrixNear(const Matrix& a, const Matrix& b, double tol)
{
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            EXPECT_NEAR(a[i][j], b[i][j], tol) << "row " << i << " column " << j;
}

void ExpectAxesNear(const Matrix& a, const Matrix& b, double tol)
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(a[i][j], b[i][j], tol) << "row " << i << " column " << j;
}

// Rows x, y, z orthonormal and right-handed (x × y = z).
void ExpectOrthonormal(const Matrix& m, double tol)
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(Dot(m[i].xyz(), m[j].xyz()), i == j ? 1.0 : 0.0, tol);
    VectorXYZ z = m.x.xyz() ^ m.y.xyz();
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(z[k], m.z[k], tol);
}

// q and -q are the same rotation.
void ExpectSameRotation(const Quaternion& a, const Quaternion& b, double tol)
{
    float s = Dot(a, b) < 0.0f ? -1.0f : 1.0f;
    ExpectVec(a, s * b[0], s * b[1], s * b[2], s * b[3], tol);
}

// A general affine matrix: rotation, non-uniform scale, translation.
Matrix SomeAffine()
{
    Matrix m = ScaleMatrix(2.0f, 0.5f, 3.0f) * RotMatrix(VectorXYZ(0.3f, -1.1f, 2.0f));
    m.SetTrans(VectorXYZ(4.0f, -5.0f, 6.0f));
    return m;
}

// Angles whose sines the unit's routine takes within the sine core's own
// range (|a| <= pi/2), where its rotations are orthonormal to float precision.
const VectorXYZ kAngles[] = {
    {0.3f, -1.1f, 1.5f}, {-1.2f, 1.4f, -0.4f}, {0.0f, 0.0f, 0.0f}, {1.5f, 0.1f, -1.5f}, {-0.7f, -1.5f, 1.0f},
};

// Angles up to a half turn: the sine lane of VU0CosSin is the core taken at
// the angle itself, accurate to about 0.0033 at pi.
const VectorXYZ kWideAngles[] = {
    {0.3f, -1.1f, 2.0f}, {-1.2f, 2.9f, -0.4f}, {1.5f, 0.1f, -3.0f}, {-0.7f, -2.5f, 3.14f},
};
}  // namespace

// ---------------------------------------------------------------------------
// Rows, products, builders.

TEST(Matrix, RotationsTurnTheAxesAsRows)
{
    float a = 0.6f;
    double c = std::cos(0.6), s = std::sin(0.6);
    Matrix rx = RotX(a), ry = RotY(a), rz = RotZ(a);
    ExpectVec(rx.y, 0, c, s, 0, 1e-6);
    ExpectVec(rx.z, 0, -s, c, 0, 1e-6);
    ExpectVec(ry.x, c, 0, -s, 0, 1e-6);
    ExpectVec(ry.z, s, 0, c, 0, 1e-6);
    ExpectVec(rz.x, c, s, 0, 0, 1e-6);
    ExpectVec(rz.y, -s, c, 0, 0, 1e-6);
    EXPECT_EQ(rz.w, Vector(0.0f, 0.0f, 0.0f, 1.0f));
    // RotMatrix applies z first, then x, then y.
    VectorXYZ ang(0.4f, -0.9f, 1.3f);
    VectorPos p(1.0f, 2.0f, 3.0f);
    VectorPos viaParts = RotY(ang[1]) * (RotX(ang[0]) * (RotZ(ang[2]) * p));
    VectorPos viaWhole = RotMatrix(ang) * p;
    ExpectVec(Vector(viaWhole), viaParts[0], viaParts[1], viaParts[2], 1.0, 1e-5);
}

TEST(Matrix, PositionsTakeTheTranslationAndDirectionsDoNot)
{
    Matrix m = RotZ(1.5707964f);
    m.SetTrans(VectorXYZ(10.0f, 20.0f, 30.0f));
    VectorPos p = m * VectorPos(1.0f, 0.0f, 0.0f);
    VectorDir d = m * VectorDir(1.0f, 0.0f, 0.0f);
    ExpectVec(Vector(p), 10.0, 21.0, 30.0, 1.0, 1e-5);
    ExpectVec(Vector(d, 0.0f), 0.0, 1.0, 0.0, 0.0, 1e-5);
    Vector v = m * Vector(1.0f, 0.0f, 0.0f, 2.0f);
    ExpectVec(v, 20.0, 41.0, 60.0, 2.0, 1e-5);
    EXPECT_EQ(m.GetTrans(), VectorPos(10.0f, 20.0f, 30.0f));
    EXPECT_EQ(m.Column(3), Vector(0.0f, 0.0f, 0.0f, 1.0f));
}

TEST(Matrix, ProductAppliesTheLeftMatrixFirst)
{
    Matrix a = RotX(0.7f) * TransMatrix(1.0f, 2.0f, 3.0f);
    Matrix b = RotY(-0.4f) * ScaleMatrix(2.0f, 3.0f, 4.0f);
    b.SetTrans(VectorXYZ(-1.0f, 0.5f, 7.0f));
    VectorPos p(0.3f, -2.0f, 5.0f);
    VectorPos once = (a * b) * p;
    VectorPos twice = b * (a * p);
    ExpectVec(Vector(once), twice[0], twice[1], twice[2], 1.0, 1e-5);
    ExpectMatrixNear(Matrix(true) * a, a, 0.0);
    Matrix c = a;
    c *= b;
    ExpectMatrixNear(c, a * b, 0.0);
    ExpectMatrixNear(a.Transpose().Transpose(), a, 0.0);
    EXPECT_EQ(Matrix(false).w, Vector::null());
}

TEST(Matrix, ScaleTouchesTheTranslationAndPreScaleDoesNot)
{
    Matrix m = TransMatrix(1.0f, 2.0f, 3.0f);
    Matrix s = m;
    s.Scale(VectorXYZ(2.0f, 1.0f, 1.0f));
    ExpectVec(s.w, 2.0, 2.0, 3.0, 1.0, 0.0);
    ExpectVec(s.x, 2.0, 0.0, 0.0, 0.0, 0.0);
    Matrix ps = m;
    ps.PreScale(VectorXYZ(2.0f, 1.0f, 1.0f));
    ExpectVec(ps.w, 1.0, 2.0, 3.0, 1.0, 0.0);
    ExpectVec(ps.x, 2.0, 0.0, 0.0, 0.0, 0.0);
}

TEST(Matrix, ScaleReadBackAndSet)
{
    Matrix m = RotMatrix(VectorXYZ(0.5f, 1.0f, -0.3f)) * ScaleMatrix(2.0f, 3.0f, 0.5f);
    VectorXYZ s = m.GetScale();
    EXPECT_NEAR(s[0], 2.0, 1e-5);
    EXPECT_NEAR(s[1], 3.0, 1e-5);
    EXPECT_NEAR(s[2], 0.5, 1e-5);
    VectorXYZ is = m.GetInvScale();
    EXPECT_NEAR(is[0], 0.5, 1e-6);
    EXPECT_NEAR(is[1], 1.0 / 3.0, 1e-6);
    EXPECT_NEAR(is[2], 2.0, 1e-5);

    Matrix r = RotMatrix(VectorXYZ(0.2f, -0.6f, 0.9f));
    r.PreScale(VectorXYZ(5.0f, 6.0f, 7.0f));
    r.SetScale(VectorXYZ(1.0f, 2.0f, 3.0f));
    EXPECT_NEAR(r.x.xyz().Length(), 1.0, 1e-6);
    EXPECT_NEAR(r.y.xyz().Length(), 2.0, 1e-6);
    EXPECT_NEAR(r.z.xyz().Length(), 3.0, 1e-6);
    // A collapsed axis stays collapsed rather than turning into NaNs.
    Matrix z = Matrix(true);
    z.x = Vector::null();
    z.SetScale(VectorXYZ(2.0f, 2.0f, 2.0f));
    EXPECT_EQ(z.x, Vector::null());
    EXPECT_EQ(z.y, Vector(0.0f, 2.0f, 0.0f, 0.0f));
}

TEST(Matrix, LookAlongBuildsAnOrthonormalFrame)
{
    VectorDir d(1.0f, -2.0f, 3.0f);
    Matrix m = LookAlong(d);
    ExpectOrthonormal(m, 1e-6);
    VectorXYZ nd = Normalise(static_cast<const VectorXYZ&>(d));
    ExpectVec(m.z, nd[0], nd[1], nd[2], 0.0, 1e-6);
    EXPECT_EQ(m.x[1], 0.0f);   // the x axis stays horizontal
    EXPECT_EQ(m.w, Vector(0.0f, 0.0f, 0.0f, 1.0f));

    // Vertical directions take the other branch: x from (-z.y, z.x, 0).
    Matrix v = LookAlong(VectorDir(0.0f, 1.0f, 0.0f));
    ExpectVec(v.x, -1.0, 0.0, 0.0, 0.0, 0.0);
    ExpectVec(v.y, 0.0, 0.0, 1.0, 0.0, 0.0);
    EXPECT_NE(LookAlong(VectorDir(0.1f, 0.99f, 0.0f)).x[1], 0.0f);
    EXPECT_EQ(LookAlong(VectorDir(0.2f, 0.97f, 0.0f)).x[1], 0.0f);
    ExpectOrthonormal(LookAlong(VectorDir(0.1f, 0.99f, 0.0f)), 1e-6);

    // A zero direction gives zero axes.
    Matrix zero = LookAlong(VectorDir(0.0f, 0.0f, 0.0f));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(zero[i], Vector::null());

    Matrix at = LookatMatrix(VectorPos(1.0f, 1.0f, 1.0f), VectorPos(1.0f, 1.0f, 5.0f));
    ExpectVec(at.z, 0.0, 0.0, 1.0, 0.0, 0.0);
    ExpectVec(at.w, 1.0, 1.0, 1.0, 1.0, 0.0);
    Matrix from = LookFromMatrix(VectorPos(2.0f, 3.0f, 4.0f), d);
    ExpectAxesNear(from, m, 0.0);
    ExpectVec(from.w, 2.0, 3.0, 4.0, 1.0, 0.0);

    Matrix up = LookAlong(VectorDir(1.0f, 0.0f, 1.0f), VectorDir(0.0f, -3.0f, 0.0f));
    ExpectOrthonormal(up, 1e-6);
    // x = norm(u) × z, so y = z × x lies along u.
    EXPECT_NEAR(up.y[1], -1.0, 1e-6);
}

TEST(Matrix, NormaliseKeepsZAndOneSide)
{
    Matrix m = RotMatrix(VectorXYZ(0.3f, 0.8f, -0.2f));
    Matrix skew = m;
    skew.y += m.x * 0.1f;
    skew.z *= 2.0f;
    skew.x = skew.x * 1.3f + m.z * 0.05f;
    skew.SetTrans(VectorXYZ(1.0f, 2.0f, 3.0f));
    Matrix n = Normalise(skew);
    ExpectOrthonormal(n, 1e-6);
    ExpectVec(n.z, m.z[0], m.z[1], m.z[2], 0.0, 1e-6);
    EXPECT_GT(Dot(n.y.xyz(), skew.y.xyz()), 0.0f);
    EXPECT_EQ(n.w, skew.w);

    Matrix nx = NormaliseX(skew);
    ExpectOrthonormal(nx, 1e-6);
    ExpectVec(nx.z, m.z[0], m.z[1], m.z[2], 0.0, 1e-6);
    // y = norm(z × x), so x stays in the plane of the old z and x.
    EXPECT_NEAR(Dot(nx.x.xyz(), (skew.z.xyz() ^ skew.x.xyz())), 0.0, 1e-5);
}

TEST(Matrix, RotateByIsAFirstOrderRotation)
{
    Matrix m = Matrix(true);
    m.SetTrans(VectorXYZ(5.0f, 6.0f, 7.0f));
    m.RotateBy(VectorXYZ(0.0f, 0.0f, 0.015625f));
    ExpectVec(m.x, 1.0, 0.015625, 0.0, 0.0, 0.0);
    ExpectVec(m.y, -0.015625, 1.0, 0.0, 0.0, 0.0);
    ExpectVec(m.w, 5.0, 6.0, 7.0, 1.0, 0.0);
    // Small turns agree with the exact rotation to second order.
    Matrix r = RotMatrix(VectorXYZ(0.3f, 0.2f, 0.1f));
    Matrix step = r;
    step.RotateBy(VectorXYZ(0.001f, 0.002f, -0.001f));
    Matrix exact = RotZ(-0.001f) * RotX(0.001f) * RotY(0.002f) * r;
    ExpectAxesNear(step, exact, 1e-5);
}

// ---------------------------------------------------------------------------
// Inverses.

TEST(MatrixInverse, AffineInverseUndoesTheMatrix)
{
    Matrix m = SomeAffine();
    ExpectMatrixNear(m.Inverse() * m, Matrix(true), 1e-5);
    ExpectMatrixNear(m * m.Inverse(), Matrix(true), 1e-5);
    ExpectMatrixNear(VU0MatrixInverseTransposeAffine(m), m.Inverse().Transpose(), 1e-6);
}

TEST(MatrixInverse, InverseTransposeCarriesPlanes)
{
    Matrix m = SomeAffine();
    // The plane y = 2 in the matrix's frame: (0, 1, 0, -2).
    Vector plane(0.0f, 1.0f, 0.0f, -2.0f);
    Vector world = VU0MatrixInverseTransposeAffine(m) * plane;
    for (VectorPos p : {VectorPos(0.0f, 2.0f, 0.0f), VectorPos(3.0f, 2.0f, -1.0f), VectorPos(-4.0f, 2.0f, 9.0f)})
        EXPECT_NEAR(Dot(world, Vector(m * p)), 0.0, 1e-4);
    EXPECT_NEAR(Dot(world, Vector(m * VectorPos(0.0f, 3.0f, 0.0f))), 1.0, 1e-4);
}

TEST(MatrixInverse, QuotientUndoesAProductAndInverseTransposeCarriesPlanes)
{
    Matrix a = SomeAffine();
    Matrix b = RotMatrix(VectorXYZ(-0.4f, 0.9f, 0.2f)) * TransMatrix(3.0f, -1.0f, 2.0f);
    ExpectMatrixNear((a * b) / b, a, 1e-5);
    ExpectMatrixNear(a / a, Matrix(true), 1e-5);
    Matrix c = a * b;
    c /= b;
    ExpectMatrixNear(c, a, 1e-5);

    // The plane y = 2 of a's source space lands on the image of its points.
    Vector world = a.InverseTranspose() * Vector(0.0f, 1.0f, 0.0f, -2.0f);
    for (VectorPos p : {VectorPos(0.0f, 2.0f, 0.0f), VectorPos(3.0f, 2.0f, -1.0f), VectorPos(-4.0f, 2.0f, 9.0f)})
        EXPECT_NEAR(Dot(world, Vector(a * p)), 0.0, 1e-4);
    ExpectMatrixNear(a.InverseTranspose(), a.Inverse().Transpose(), 1e-6);
}

TEST(Matrix, RotationAnglesAndRowScalesReadBackAndSet)
{
    const VectorXYZ ang(0.3f, -1.1f, 2.0f);
    Matrix m = RotMatrix(ang) * TransMatrix(1.0f, 2.0f, 3.0f);
    EXPECT_NEAR(m.GetXRot(), 0.3, 1e-4);
    EXPECT_NEAR(m.GetYRot(), -1.1, 1e-4);
    EXPECT_NEAR(m.GetZRot(), 2.0, 1e-4);

    // SetRot replaces the axes (scale included) and keeps the translation.
    Matrix n = ScaleMatrix(2.0f, 2.0f, 2.0f) * TransMatrix(4.0f, 5.0f, 6.0f);
    n.SetRot(ang);
    ExpectAxesNear(n, RotMatrix(ang), 0.0);
    ExpectVec(n.w, 4.0, 5.0, 6.0, 1.0, 0.0);
    EXPECT_EQ(n.x[3], 0.0f);

    // Row lengths are the factors PreScale applied; column lengths are not.
    Matrix p = RotMatrix(VectorXYZ(0.2f, -0.6f, 0.9f));
    p.PreScale(VectorXYZ(2.0f, 3.0f, 0.5f));
    VectorXYZ s = p.GetPreScale();
    EXPECT_NEAR(s[0], 2.0, 1e-5);
    EXPECT_NEAR(s[1], 3.0, 1e-5);
    EXPECT_NEAR(s[2], 0.5, 1e-6);
    VectorXYZ is = p.GetInvPreScale();
    EXPECT_NEAR(is[0], 0.5, 1e-6);
    EXPECT_NEAR(is[1], 1.0 / 3.0, 1e-6);
    EXPECT_NEAR(is[2], 2.0, 1e-5);
    EXPECT_GT(std::fabs(p.GetScale()[0] - 2.0f), 0.1f);
}

TEST(MatrixInverse, FullInverseOfAProjection)
{
    Matrix p = ViewScreenMatrix(512.0f, 1.0f, 0.5f, 2048.0f, 2048.0f, 16.0f, 16000000.0f, 1.0f, 10000.0f);
    p = RotY(0.3f) * p;
    Matrix inv = FullInverse(p);
    ExpectMatrixNear(inv * p, Matrix(true), 1e-4);
    ExpectMatrixNear(FullInverse(SomeAffine()), SomeAffine().Inverse(), 1e-5);
}

TEST(MatrixInverse, ScaledInverseHandlesScaledOrthogonalRows)
{
    Matrix m = ScaleMatrix(2.0f, 3.0f, 0.25f) * RotMatrix(VectorXYZ(1.0f, -0.5f, 0.25f));
    m.SetTrans(VectorXYZ(-3.0f, 8.0f, 1.0f));
    ExpectMatrixNear(ScaledInverse(m) * m, Matrix(true), 1e-5);
    Matrix rigid = RotY(0.8f) * TransMatrix(1.0f, 2.0f, 3.0f);
    ExpectMatrixNear(ScaledInverse(rigid), rigid.Inverse(), 1e-6);
}

TEST(Matrix, ViewScreenMatrixMapsNearAndFar)
{
    float nearz = 1.0f, farz = 1000.0f, zmin = 16.0f, zmax = 65000.0f;
    Matrix m = ViewScreenMatrix(2.0f, 3.0f, 4.0f, 100.0f, 200.0f, zmin, zmax, nearz, farz);
    for (float z : {nearz, farz})
    {
        Vector s = m * Vector(1.0f, 1.0f, z, 1.0f);
        EXPECT_NEAR(s[0], 2.0 * 3.0 + 100.0 * z, 1e-3);
        EXPECT_NEAR(s[1], 2.0 * 4.0 + 200.0 * z, 1e-3);
        EXPECT_EQ(s[3], z);
        EXPECT_NEAR(s[2] / s[3], z == nearz ? zmax : zmin, 0.05);
    }
}

TEST(Matrix, FlattenTurnsAboutTheOwnYAxis)
{
    Matrix m = RotMatrix(VectorXYZ(0.4f, 0.7f, 0.2f));
    m.SetTrans(VectorXYZ(1.0f, 2.0f, 3.0f));
    Matrix f = Flatten(m);
    EXPECT_NEAR(f.z[0], 0.0, 1e-6);
    EXPECT_EQ(f.y, m.y);
    EXPECT_EQ(f.w, m.w);
    ExpectOrthonormal(f, 1e-6);

    VectorXYZ dir(1.0f, -0.5f, 2.0f);
    Matrix g = FlattenWRT(m, dir);
    EXPECT_NEAR(Dot(g.z.xyz(), dir), 0.0, 1e-5);
    EXPECT_GT(Dot(g.x.xyz(), dir), 0.0f);
    EXPECT_EQ(g.y, m.y);

    // With nothing to turn toward, the matrix is left as it is.
    Matrix sideways(Vector(0.0f, 1.0f, 0.0f, 0.0f), Vector(1.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, -1.0f, 0.0f),
                    Vector(0.0f, 0.0f, 0.0f, 1.0f));
    ExpectMatrixNear(Flatten(sideways), sideways, 0.0);
}

// ---------------------------------------------------------------------------
// Quaternions.

TEST(Quaternion, RotXConvertsToTheConjugateConvention)
{
    for (float a : {0.5f, -1.2f, 1.5f})
    {
        Quaternion q(RotX(a));
        ExpectVec(q, -std::sin(a / 2.0), 0.0, 0.0, std::cos(a / 2.0), 1e-5);
        ExpectAxesNear(Matrix(q), RotX(a), 1e-5);
    }
    // Past a quarter turn the trace is negative and the x-led branch gives
    // the same rotation with the opposite sign.
    Quaternion wide(RotX(2.6f));
    ExpectSameRotation(wide, Quaternion(Vector(-std::sin(1.3), 0.0, 0.0, std::cos(1.3))), 2e-4);
    Quaternion qy(RotY(0.9f)), qz(RotZ(-0.9f));
    ExpectVec(qy, 0.0, -std::sin(0.45), 0.0, std::cos(0.45), 1e-5);
    ExpectVec(qz, 0.0, 0.0, std::sin(0.45), std::cos(0.45), 1e-5);
}

TEST(Quaternion, HalfTurnsTakeTheLargestDiagonalBranch)
{
    const Vector w(0.0f, 0.0f, 0.0f, 1.0f);
    // About y: trace -1, m[1][1] largest.
    Matrix aboutY(Vector(-1.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, 1.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, -1.0f, 0.0f), w);
    Quaternion qy(aboutY);
    EXPECT_EQ(qy, Vector(0.0f, 1.0f, 0.0f, 0.0f));
    ExpectMatrixNear(Matrix(qy), aboutY, 0.0);
    Matrix aboutX(Vector(1.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, -1.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, -1.0f, 0.0f), w);
    EXPECT_EQ(Quaternion(aboutX), Vector(1.0f, 0.0f, 0.0f, 0.0f));
    Matrix aboutZ(Vector(-1.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, -1.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, 1.0f, 0.0f), w);
    EXPECT_EQ(Quaternion(aboutZ), Vector(0.0f, 0.0f, 1.0f, 0.0f));
    // A turn of about 170 degrees about a skew axis (trace below 0).
    VectorDir axis = Normalise(VectorDir(1.0f, 2.0f, -2.0f));
    float h = 0.5f * 2.97f;
    Quaternion q(Vector(-axis[0] * sinf(h), -axis[1] * sinf(h), -axis[2] * sinf(h), cosf(h)));
    ExpectSameRotation(Quaternion(Matrix(q)), q, 1e-5);
}

TEST(Quaternion, MatrixRoundTrips)
{
    for (const VectorXYZ& a : kAngles)
    {
        Matrix m = RotMatrix(a);
        Quaternion q(m);
        EXPECT_NEAR(Dot(q, q), 1.0, 1e-5);
        ExpectAxesNear(Matrix(q), m, 1e-5);
        EXPECT_EQ(Matrix(q).w, Vector(0.0f, 0.0f, 0.0f, 1.0f));
    }
    // VU0Quat2Mat writes only the axis rows.
    Matrix keep = TransMatrix(1.0f, 2.0f, 3.0f);
    VU0Quat2Mat(keep, Quaternion(true));
    ExpectMatrixNear(keep, TransMatrix(1.0f, 2.0f, 3.0f), 0.0);
}

TEST(Quaternion, ProductMatchesTheMatrixProduct)
{
    Quaternion a(RotMatrix(kAngles[0])), b(RotMatrix(kAngles[1]));
    ExpectAxesNear(Matrix(a * b), Matrix(a) * Matrix(b), 1e-5);
    // Hamilton product of (1, 0, 0, 0) and (0, 1, 0, 0): (0, 0, 1, 0).
    EXPECT_EQ(Quaternion(Vector(1.0f, 0.0f, 0.0f, 0.0f)) * Quaternion(Vector(0.0f, 1.0f, 0.0f, 0.0f)),
              Vector(0.0f, 0.0f, 1.0f, 0.0f));
    // The conjugate undoes the rotation.
    ExpectVec(~a * a, 0.0, 0.0, 0.0, 1.0, 1e-6);
    ExpectVec(Quaternion(true), 0.0, 0.0, 0.0, 1.0, 0.0);
}

TEST(Quaternion, EulerToQuatAgreesWithRotMatrix)
{
    for (const VectorXYZ& a : kAngles)
    {
        Quaternion qf = EulerToQuat(a[0], a[1], a[2]);
        Quaternion qv = EulerToQuat(a);
        EXPECT_EQ(qf, qv);
        ExpectAxesNear(Matrix(qf), RotMatrix(a), 1e-5);
    }
}

TEST(Quaternion, GetEulerInvertsRotMatrix)
{
    for (const VectorXYZ& a : kAngles)
    {
        VectorXYZ e = RotMatrix(a).GetEuler();
        ExpectVec(Vector(e, 0.0f), a[0], a[1], a[2], 0.0, 2e-4);
    }
    for (const VectorXYZ& a : kWideAngles)
    {
        VectorXYZ e = RotMatrix(a).GetEuler();
        ExpectVec(Vector(e, 0.0f), a[0], a[1], a[2], 0.0, 4e-3);
    }
}

TEST(Matrix, WideAnglesUseTheUnfoldedSineCore)
{
    for (float a : {2.0f, 2.8f, 3.1415927f, -3.0f})
    {
        double core = a - 0.16666657 * std::pow(a, 3) + 0.0083330255 * std::pow(a, 5) -
                      0.00019807414 * std::pow(a, 7) + 2.601887e-6 * std::pow(a, 9);
        Matrix m = RotY(a);
        EXPECT_NEAR(m.z[0], core, 1e-5) << a;
        EXPECT_NEAR(m.x[0], std::cos(double(a)), 2e-6) << a;
        EXPECT_NEAR(m.z[0], std::sin(double(a)), 0.0035) << a;
    }
}

TEST(Quaternion, SlerpEndsAndShorterWay)
{
    Quaternion from(RotY(0.2f)), to(RotMatrix(VectorXYZ(1.2f, -2.0f, 0.5f)));
    ASSERT_LT(fabsf(Dot(from, to)), 0.707f);   // far apart: the spherical branch
    ExpectVec(SLERP(from, to, 0.0f), from[0], from[1], from[2], from[3], 1e-6);
    Quaternion end = SLERP(from, to, 1.0f);
    ExpectSameRotation(end, to, 1e-5);
    for (float t : {0.25f, 0.5f, 0.8f})
        EXPECT_NEAR(Dot(SLERP(from, to, t), SLERP(from, to, t)), 1.0, 1e-5);

    // Halfway between two turns about one axis is the half turn.
    Quaternion a(RotX(-1.2f)), b(RotX(1.4f));
    ExpectSameRotation(SLERP(a, b, 0.5f), Quaternion(RotX(0.1f)), 1e-5);

    // q and -q: the sign flip makes it interpolate between q and q.
    Quaternion q(RotMatrix(kAngles[1]));
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f})
        ExpectVec(SLERP(q, -q, t), q[0], q[1], q[2], q[3], 1e-6);

    // Close quaternions blend linearly, not renormalised.
    Quaternion c(RotX(0.1f)), d(RotX(0.5f));
    Quaternion lin = SLERP(c, d, 0.5f);
    ExpectVec(lin, (c[0] + d[0]) / 2, 0.0, 0.0, (c[3] + d[3]) / 2, 1e-6);
}

TEST(Quaternion, RotateBetweenTurnsOneDirectionIntoTheOther)
{
    VectorDir a(1.0f, 0.0f, 0.0f), b(0.0f, 0.5f, 0.5f);
    Matrix m = Quaternion(RotateBetween(a, b));
    VectorDir turned = m * a;
    VectorXYZ nb = Normalise(static_cast<const VectorXYZ&>(b));
    ExpectVec(Vector(turned, 0.0f), nb[0], nb[1], nb[2], 0.0, 1e-6);
    Quaternion zero = RotateBetween(VectorDir(0.0f, 0.0f, 0.0f), VectorDir(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(zero, Vector::null());
}
