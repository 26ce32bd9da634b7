#include <gtest/gtest.h>

#include "ZevEngine2/PS2/Vector.h"

namespace
{
constexpr double kPiD = 3.14159265358979323846;
constexpr float kPiF = 3.1415927f;

u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}

float FromBits(u32 b)
{
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

void ExpectXYZ(const VectorStore& v, double x, double y, double z, double tol)
{
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

s32 Word(const u128& q, int i)
{
    s32 w[4];
    std::memcpy(w, &q, 16);
    return w[i];
}

// The cosine polynomial of the game, evaluated in double from its definition.
double CosPolyD(double f)
{
    double u = std::fabs(f) / (2.0 * kPiD);
    double r = u - std::trunc(u);   // u >= 0
    double t = std::fabs(r - 0.5) - 0.25;
    return 6.283185 * t - 41.341671 * std::pow(t, 3) + 81.602226 * std::pow(t, 5) - 76.574959 * std::pow(t, 7) +
           39.710659 * std::pow(t, 9);
}

double SinCoreD(double a)
{
    return a - 0.16666657 * std::pow(a, 3) + 0.0083330255 * std::pow(a, 5) - 0.00019807414 * std::pow(a, 7) +
           2.601887e-6 * std::pow(a, 9);
}
}  // namespace

// ---------------------------------------------------------------------------
// Kinds and operators.

TEST(VectorKinds, ArithmeticKeepsTheLeftOperandsKind)
{
    VectorPos p(1.0f, 2.0f, 3.0f);
    VectorDir d(0.5f, 0.5f, 0.5f);
    static_assert(std::is_same_v<decltype(p + d), VectorPos>);
    static_assert(std::is_same_v<decltype(d - p), VectorDir>);
    static_assert(std::is_same_v<decltype(d * 2.0f), VectorDir>);
    static_assert(std::is_same_v<decltype(2.0f * p), VectorPos>);
    static_assert(std::is_same_v<decltype(p ^ d), VectorXYZ>);
    static_assert(std::is_same_v<decltype(p.x() / d.y()), Qreg>);

    VectorPos q = p + d * 2.0f;
    ExpectXYZ(q, 2.0, 3.0, 4.0, 0.0);
    ExpectXYZ(p * d, 0.5, 1.0, 1.5, 0.0);
    ExpectXYZ(-(p / 2.0f), -0.5, -1.0, -1.5, 0.0);
    // A scalar lane broadcasts to every lane.
    ExpectXYZ(p * p.z(), 3.0, 6.0, 9.0, 0.0);
    Vector v(1.0f, 2.0f, 3.0f, 4.0f);
    v += Vector(VectorY(10.0f));
    EXPECT_EQ(v, Vector(11.0f, 12.0f, 13.0f, 14.0f));
}

TEST(VectorKinds, CrossProductsFollowTheRightHandRule)
{
    VectorXYZ x(1.0f, 0.0f, 0.0f), y(0.0f, 1.0f, 0.0f), z(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(x ^ y, z);
    EXPECT_EQ(y ^ z, x);
    EXPECT_EQ(z ^ x, y);
    VectorXYZ a(2.0f, -3.0f, 5.0f), b(-1.0f, 4.0f, 7.0f);
    // (a.y*b.z - a.z*b.y, a.z*b.x - a.x*b.z, a.x*b.y - a.y*b.x)
    ExpectXYZ(a ^ b, -21.0 - 20.0, -5.0 - 14.0, 8.0 - 3.0, 0.0);
    // 2-D forms.
    EXPECT_EQ(float(VectorXY(1.0f, 0.0f) ^ VectorXY(0.0f, 1.0f)), 1.0f);
    EXPECT_EQ(float(VectorXZ(1.0f, 0.0f) ^ VectorXZ(0.0f, 1.0f)), -1.0f);
}

TEST(VectorKinds, EqualityLooksOnlyAtSignificantLanes)
{
    VectorXYZ a(1.0f, 2.0f, 3.0f), b(1.0f, 2.0f, 3.0f);
    a.setw(5.0f);
    b.setw(-7.0f);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(Vector(a.v) == Vector(b.v));
    VectorXZ c(1.0f, 2.0f), e(1.0f, 2.0f);
    c.sety(9.0f);
    EXPECT_TRUE(c == e);
    e.setz(2.5f);
    EXPECT_TRUE(c != e);
}

TEST(VectorKinds, ConversionsFillTheLanesTheirKindsMean)
{
    EXPECT_EQ(Vector(VectorPos(1.0f, 2.0f, 3.0f)), Vector(1.0f, 2.0f, 3.0f, 1.0f));
    EXPECT_EQ(Vector(VectorXZ(4.0f, 5.0f)), Vector(4.0f, 0.0f, 5.0f, 0.0f));
    EXPECT_EQ(Vector(VectorXY(4.0f, 5.0f)), Vector(4.0f, 5.0f, 0.0f, 0.0f));
    EXPECT_EQ(Vector(VectorW(2.0f)), Vector(2.0f, 2.0f, 2.0f, 2.0f));
    VECTOR raw = {1.0f, 2.0f, 3.0f, 4.0f};
    EXPECT_EQ(Vector(raw), Vector(1.0f, 2.0f, 3.0f, 4.0f));
    Vector v(1.0f, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ(v.xz(), VectorXZ(1.0f, 3.0f));
    EXPECT_EQ(v.xyz(), VectorXYZ(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(float(v.w()), 4.0f);
    EXPECT_EQ(int(VectorX(-2.75f)), -2);
}

TEST(VectorKinds, LaneSettersAndArithmeticKeepTheOtherLanes)
{
    Vector v(1.0f, 2.0f, 3.0f, 4.0f);
    v.sety(20.0f);
    v.addz(1.0f);
    v.mulw(0.5f);
    v.subx(1.0f);
    EXPECT_EQ(v, Vector(0.0f, 20.0f, 4.0f, 2.0f));
    v.setxyz(VectorXYZ(7.0f, 8.0f, 9.0f));
    EXPECT_EQ(v, Vector(7.0f, 8.0f, 9.0f, 2.0f));
    v.rot3r();
    EXPECT_EQ(v, Vector(9.0f, 7.0f, 8.0f, 2.0f));
    v.rot3l();
    v.rot3l();
    EXPECT_EQ(v, Vector(8.0f, 9.0f, 7.0f, 2.0f));

    // The w word can carry an integer's bits (a spline's point count).
    v.setwcomponent(7);
    EXPECT_EQ(v.wcomponent(), 7);
    EXPECT_EQ(Bits(v[3]), 7u);
    EXPECT_EQ(v.xyz(), VectorXYZ(8.0f, 9.0f, 7.0f));
}

TEST(VectorKinds, QuotientRegisterHoldsTheLastDivide)
{
    Qreg a = VectorX(3.0f) / VectorX(4.0f);
    Qreg b = VectorX(1.0f) / VectorZ(8.0f);
    EXPECT_EQ(float(a), 0.75f);   // each result keeps its own quotient
    EXPECT_EQ(float(b), 0.125f);
    EXPECT_EQ(float(qreg), 0.125f);
    EXPECT_EQ(float(Vector::Q()), 0.125f);
    Vector v(1.0f, 2.0f, 3.0f, 4.0f);
    v.mulQ();
    EXPECT_EQ(v, Vector(0.125f, 0.25f, 0.375f, 0.5f));
    v.addQ();
    EXPECT_EQ(v, Vector(0.25f, 0.375f, 0.5f, 0.625f));
}

TEST(VectorKinds, FtoiTruncatesTowardZeroAndSaturates)
{
    Vector v(2.75f, -2.75f, 1.0e10f, -1.0e10f);
    u128 i0 = v.ftoi0();
    EXPECT_EQ(Word(i0, 0), 2);
    EXPECT_EQ(Word(i0, 1), -2);
    EXPECT_EQ(Word(i0, 2), INT32_MAX);
    EXPECT_EQ(Word(i0, 3), INT32_MIN);
    u128 i4 = Vector(1.03125f, -0.5f, 0.0f, 0.0f).ftoi4();
    EXPECT_EQ(Word(i4, 0), 16);   // 16.5 truncated
    EXPECT_EQ(Word(i4, 1), -8);
    EXPECT_EQ(Word(Vector(0.5f, 0.0f, 0.0f, 0.0f).ftoi12(), 0), 2048);
    EXPECT_EQ(Fixed12(0.5f).x, 2048);
    EXPECT_EQ(Fixed4(3).x, 48);
}

TEST(VectorKinds, NormaliseGivesUnitLengthAndZeroForZero)
{
    VectorDir d(3.0f, 0.0f, -4.0f);
    d.setw(9.0f);
    VectorDir n = Normalise(d);
    ExpectXYZ(n, 0.6, 0.0, -0.8, 1e-7);
    EXPECT_EQ(n[3], 9.0f);   // w is not a length lane
    EXPECT_NEAR(Length(n), 1.0, 1e-7);

    VectorXYZ zero(0.0f, 0.0f, 0.0f);
    VectorXYZ nz = Normalise(zero);
    EXPECT_EQ(nz[0], 0.0f);
    EXPECT_EQ(nz[1], 0.0f);
    EXPECT_EQ(nz[2], 0.0f);
    VectorXZ flat = Normalise(VectorXZ(0.0f, 0.0f));
    EXPECT_EQ(flat, VectorXZ(0.0f, 0.0f));
    EXPECT_NEAR(Length(Normalise(VectorXZ(1.0f, 1.0f))), 1.0, 1e-7);
}

TEST(VectorKinds, ThirdPowerVectorsAreSetBeforeMain)
{
    for (auto [vp, t] : {std::pair{vp1_3, 1.0 / 3.0}, std::pair{vp2_3, 2.0 / 3.0}})
    {
        ExpectXYZ(vp, t * t * t, t * t, t, 1e-7);
        EXPECT_EQ(vp[3], 0.0f);
    }
}

TEST(VectorKinds, RandomRegisterRepeatsFromASeedAndStaysInOneToTwo)
{
    Vector::randseed(VectorX(1.2345f));
    float first[8];
    for (float& f : first)
    {
        Vector r = Vector::rand();
        f = r[0];
        EXPECT_GE(f, 1.0f);
        EXPECT_LT(f, 2.0f);
        EXPECT_EQ(r[0], r[3]);
    }
    Vector::randseed(VectorX(1.2345f));
    for (float f : first)
        EXPECT_EQ(Vector::rand()[0], f);
    // Seeds with no fraction bits still generate.
    Vector::randseed(VectorX(1.0f));
    EXPECT_NE(Vector::rand()[0], Vector::rand()[0]);
}

// ---------------------------------------------------------------------------
// Scalar functions.

TEST(FixAng, WrapsIntoOneTurn)
{
    EXPECT_EQ(FixAng(kPiF), -kPiF);
    EXPECT_EQ(FixAng(-kPiF), kPiF);
    EXPECT_NEAR(FixAng(3.0f * kPiF / 2.0f), -kPiD / 2.0, 1e-6);
    EXPECT_NEAR(FixAng(2.0f * kPiF), 0.0, 1e-6);
    EXPECT_EQ(FixAng(1.0f), 1.0f);
    EXPECT_EQ(FixAng(-3.0f), -3.0f);
    for (float a = -40.0f; a <= 40.0f; a += 0.37f)
    {
        float r = FixAng(a);
        EXPECT_LE(fabsf(r), kPiF) << a;
        double turns = (double(a) - double(r)) / (2.0 * kPiD);
        EXPECT_NEAR(turns, std::round(turns), 1e-5) << a;
    }
    VectorXYZ v = FixAng(VectorXYZ(kPiF, 7.0f, -1.0f));
    ExpectXYZ(v, -kPiF, 7.0 - 2.0 * kPiD, -1.0, 2e-6);
}

TEST(FixAng, SteptoangGoesTheShortWayRound)
{
    // From 3 to -3 the short way is up through pi: 2 pi - 6.
    EXPECT_FLOAT_EQ(steptoang(3.0f, -3.0f, 1.0f), 3.0f + (6.2831855f - 6.0f));
    EXPECT_FLOAT_EQ(steptoang(-3.0f, 3.0f, 0.5f), -3.0f - 0.5f * (6.2831855f - 6.0f));
    EXPECT_FLOAT_EQ(steptoang(0.5f, 1.5f, 0.25f), 0.75f);
}

TEST(Floor, RoundsDownIncludingNegatives)
{
    EXPECT_EQ(floor(-2.5f), -3.0f);
    EXPECT_EQ(floor(-2.0f), -2.0f);
    EXPECT_EQ(floor(2.5f), 2.0f);
    EXPECT_EQ(floor(2.0f), 2.0f);
    EXPECT_EQ(floor(0.0f), 0.0f);
    EXPECT_EQ(floor(-0.25f), -1.0f);
    // Whole numbers beyond int range come back unchanged.
    EXPECT_EQ(floor(3.0e12f), 3.0e12f);
    EXPECT_EQ(floor(-3.0e12f), -3.0e12f);
    for (float f = -50.0f; f < 50.0f; f += 0.173f)
        EXPECT_EQ(floor(f), floorf(f)) << f;

    VectorXYZ v = floor(VectorXYZ(-2.5f, 2.5f, -0.5f));
    ExpectXYZ(v, -3.0, 2.0, -1.0, 0.0);
    Vector w = floor(Vector(1.5f, -1.5f, 3.0f, -3.0f));
    EXPECT_EQ(w, Vector(1.0f, -2.0f, 3.0f, -3.0f));
    VectorXY xy = floor(VectorXY(0.5f, -7.25f));
    EXPECT_EQ(xy, VectorXY(0.0f, -8.0f));
}

TEST(Trig, SinAndCosMatchTheirPolynomial)
{
    EXPECT_NEAR(Cos(0.0f), 1.0, 1e-6);
    EXPECT_NEAR(Cos(kPiF), -1.0, 1e-6);
    EXPECT_NEAR(Sin(kPiF / 2.0f), 1.0, 1e-6);
    for (float a = -20.0f; a <= 20.0f; a += 0.0913f)
    {
        EXPECT_NEAR(Cos(a), CosPolyD(a), 2e-6) << a;
        EXPECT_NEAR(Sin(a), CosPolyD(double(a - 1.5707964f)), 2e-6) << a;
        EXPECT_NEAR(Cos(a), std::cos(double(a)), 1e-5) << a;
        EXPECT_NEAR(Sin(a), std::sin(double(a)), 1e-5) << a;
    }
    // Large arguments go through the same folding.
    EXPECT_NEAR(Cos(100.0f), std::cos(100.0), 2e-5);
    EXPECT_NEAR(Sin(100.0f), std::sin(100.0), 2e-5);
}

TEST(Trig, ArcTangentsCoverEveryQuadrant)
{
    EXPECT_NEAR(ArcTan2(1.0f, 0.0f), kPiD / 2.0, 1e-6);
    EXPECT_NEAR(ArcTan2(0.0f, -1.0f), kPiD, 1e-6);
    EXPECT_NEAR(ArcTan2(-0.5f, -1.0f), -kPiD + 0.4636476, 1e-4);
    EXPECT_EQ(ArcTan2(0.0f, 0.0f), 0.0f);
    EXPECT_EQ(VU0ArcTan2(0.0f, 0.0f), 0.0f);
    for (float a = -3.1f; a <= 3.1f; a += 0.05f)
    {
        float s = 2.0f * sinf(a), c = 2.0f * cosf(a);
        EXPECT_NEAR(ArcTan2(s, c), a, 2e-4) << a;
        EXPECT_EQ(VU0ArcTan2(s, c), ArcTan2(s, c)) << a;
    }
    for (float t = -20.0f; t <= 20.0f; t += 0.31f)
    {
        EXPECT_NEAR(ArcTan(t), std::atan(double(t)), 2e-4) << t;
        EXPECT_EQ(VU0ArcTan(t), ArcTan(t));
    }
}

TEST(Trig, ArcSinIsTheTruncatedSeries)
{
    // At 1 every kept term is its coefficient: x + x³/6 + 3x⁵/40 + 5x⁷/112 + 35x⁹/1152.
    const double atOne = 1.0 + 1.0 / 6.0 + 3.0 / 40.0 + 5.0 / 112.0 + 35.0 / 1152.0;
    EXPECT_NEAR(ArcSin(1.0f), atOne, 3e-7);
    EXPECT_NEAR(ArcCos(1.0f), kPiD / 2.0 - atOne, 3e-7);   // pi/2 less the series value
    EXPECT_NEAR(ArcSin(-1.0f), -atOne, 3e-7);
    // The series leaves out terms of x¹¹ and above (about 0.022x¹¹).
    for (float x = -0.5f; x <= 0.5f; x += 0.05f)
        EXPECT_NEAR(ArcSin(x), std::asin(double(x)), 3e-5) << x;
    Vector v = VU0ArcSin(Vector(1.0f, 0.5f, -0.25f, 0.0f));
    EXPECT_EQ(v[0], ArcSin(1.0f));
    EXPECT_EQ(v[1], ArcSin(0.5f));
    EXPECT_EQ(v[2], ArcSin(-0.25f));
}

TEST(Trig, AngleIsSignedInTheXZPlane)
{
    EXPECT_NEAR(Angle(VectorXZ(1.0f, 0.0f), VectorXZ(0.0f, 1.0f)), -kPiD / 2.0, 1e-6);
    EXPECT_NEAR(Angle(VectorXZ(0.0f, 1.0f), VectorXZ(1.0f, 0.0f)), kPiD / 2.0, 1e-6);
    EXPECT_NEAR(Angle(VectorXZ(1.0f, 1.0f), VectorXZ(2.0f, 2.0f)), 0.0, 1e-6);
    EXPECT_NEAR(Tan(VectorX(0.5f)), std::tan(0.5), 1e-6);
}

// ---------------------------------------------------------------------------
// Vector unit 0 routines.

TEST(VU0Routines, SineCoreAndFoldedSineAndCosine)
{
    Vector a(-1.5f, -0.3f, 0.7f, 1.5707964f);
    Vector s0 = VU0Sin0(a);
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(s0[i], SinCoreD(a[i]), 1e-6);
    for (float x = -kPiF; x <= kPiF; x += 0.0417f)
    {
        EXPECT_NEAR(VU0Sin(Vector(x, x, x, x))[2], std::sin(double(x)), 2e-6) << x;
        EXPECT_NEAR(VU0Cos(Vector(x, x, x, x))[1], std::cos(double(x)), 2e-6) << x;
        Vector cs = VU0CosSin(x);
        EXPECT_NEAR(cs[0], std::cos(double(x)), 2e-6) << x;
        // The sine lane is the core taken at the angle itself.
        EXPECT_NEAR(cs[1], SinCoreD(x), 1e-5) << x;
    }
    EXPECT_EQ(VU0Sin(Vector(kPiF, 0, 0, 0))[0], VU0Sin0(Vector(kPiF - kPiF, 0, 0, 0))[0]);
}

TEST(VU0Routines, RsqrtGuessAndNewtonStepsAreBitExact)
{
    Vector xhalf;
    Vector g = VU0Rsqrt(Vector(1.0f, 4.0f, 2.0f, 0.5f), xhalf);
    // 0x5F400000 - bits(x)/2.
    EXPECT_EQ(Bits(g[0]), 0x3F800000u);
    EXPECT_EQ(Bits(g[1]), 0x3F000000u);
    EXPECT_EQ(Bits(g[2]), 0x5F400000u - (0x40000000u >> 1));
    EXPECT_EQ(g[2], 0.75f);
    EXPECT_EQ(g[3], 1.5f);
    EXPECT_EQ(xhalf, Vector(0.5f, 2.0f, 1.0f, 0.25f));
    // y*(1.5 - (x/2)*y²) with exactly representable steps: 0.75*(1.5 - 0.5625).
    Vector n = VU0Rsqrt_newton(g, xhalf);
    EXPECT_EQ(n[2], 0.703125f);
    EXPECT_EQ(n[0], 1.0f);
    Vector x(2.0f, 9.0f, 1.0e-4f, 12345.0f);
    Vector full = VU0RsqrtFull(x);
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(full[i] * std::sqrt(double(x[i])), 1.0, 1e-6) << x[i];
}

TEST(VU0Routines, PowerWorksOnBitPatterns)
{
    // Exact where the bit pattern is linear in the exponent: powers of two.
    Vector r = VU0Power(Vector(4.0f, 16.0f, 0.25f, 1.0f), 0.5f, 1.0f);
    EXPECT_EQ(r, Vector(2.0f, 4.0f, 0.5f, 1.0f));
    r = VU0Power(Vector(2.0f, 8.0f, 1.0f, 0.5f), 2.0f, 3.0f);
    EXPECT_EQ(r, Vector(12.0f, 192.0f, 3.0f, 0.75f));
    // VU0Power0 keeps the last exponent and scale.
    EXPECT_EQ(VU0Power0(Vector(4.0f, 0.5f, 16.0f, 1.0f)), Vector(48.0f, 0.75f, 768.0f, 3.0f));
    // Elsewhere an approximation of s*b^p.
    EXPECT_NEAR(VU0Power(Vector(3.0f, 0, 0, 0), 0.5f, 1.0f)[0], std::sqrt(3.0), 0.1);
}

TEST(VU0Routines, InitLoadsTheLibraryAndCustomCodeFollowsIt)
{
    std::fill(std::begin(VU0::micromem), std::end(VU0::micromem), 0);
    VU0::Init();
    EXPECT_EQ(VU0::micromem[0], 0x0000000056550010ull);
    EXPECT_EQ(VU0::micromem[238], (238ull << 32) | 0x56550010u);
    EXPECT_EQ(VU0::micromem[239], 0u);
    EXPECT_EQ(VU0Custom, 239u * 8u);
    // Seeded from pi: its 23 fraction bits.
    Vector::randseed(VectorX(kPiF));
    float afterPi = Vector::rand()[0];
    VU0::Init();
    EXPECT_EQ(Vector::rand()[0], afterPi);

    u64 code[3] = {0x1111, 0x2222, 0x3333};
    VU0::UploadCustomMicrocode(code, code + 3);
    EXPECT_EQ(VU0::micromem[239], 0x1111u);
    EXPECT_EQ(VU0::micromem[241], 0x3333u);
    EXPECT_EQ(VU0::micromem[242], 0u);

    // Code that would run past the end of micro memory is refused whole.
    static u64 big[300];
    std::fill(std::begin(big), std::end(big), 0xABCDu);
    VU0::UploadCustomMicrocode(big, big + 300);
    EXPECT_EQ(VU0::micromem[239], 0x1111u);
    EXPECT_EQ(VU0::micromem[511], 0u);
    VU0::UploadCustomMicrocode(big, big + 273);   // exactly fills it
    EXPECT_EQ(VU0::micromem[511], 0xABCDu);
    EXPECT_EQ(FromBits(0x40490FDB), kPiF);
}
