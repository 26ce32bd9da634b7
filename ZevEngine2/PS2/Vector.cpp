// Vector kinds, scalar maths and the vector unit 0 set-up.
#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MathsLocal.h"

using namespace maths_local;

Qreg qreg;

// Power vectors (t³, t², t) for the thirds of a cubic curve.
VectorPos vp1_3(1.0f / 27.0f, 1.0f / 9.0f, 1.0f / 3.0f);
VectorPos vp2_3(8.0f / 27.0f, 4.0f / 9.0f, 2.0f / 3.0f);

u64 VU0::micromem[VU0::kMicroInstructions];

namespace
{
constexpr float kTwoPi = 6.2831855f;

// Every float of magnitude 2^23 or more is a whole number; truncating it to an
// int could overflow, so the floors below hand such values back unchanged.
constexpr float kAllIntegral = 8388608.0f;

// The random register: 23 bits, stepped as a shift register with taps 23 and
// 18 (maximal length).  A zero state would stick, so it is never used.
u32 s_rreg = 1;

// Truncation to int as the unit converts: toward zero, saturating.
s32 SaturateTrunc(float f)
{
    if (f >= 2147483648.0f)
        return 0x7FFFFFFF;
    if (f <= -2147483648.0f)
        return static_cast<s32>(0x80000000u);
    if (f != f)
        return 0;
    return static_cast<s32>(f);
}

u128 Ftoi(const v128f& v, float scale)
{
    s32 w[4];
    for (int i = 0; i < 4; i++)
        w[i] = SaturateTrunc(v[i] * scale);
    u128 r;
    std::memcpy(&r, w, 16);
    return r;
}

// i + trunc(f - i - bias), with i = trunc(f): the floors below differ only
// in the bias, which decides where values just under a whole number land.
float BiasedFloor(float f, float bias)
{
    if (!(fabsf(f) < kAllIntegral))
        return f;
    int i = static_cast<int>(f);
    float frac = f - static_cast<float>(i) - bias;
    return static_cast<float>(i + static_cast<int>(frac));
}

// One lane of the vector floor: i + trunc(f - i - 0.99999994).
float FloorLane(float f)
{
    return BiasedFloor(f, 0.99999994f);
}

// x*(1 + 0.43157974x²) / (1 + 0.76443946x² + 0.058319379x⁴) for |x| <= 1.
float ArcTanCore(float x)
{
    float x2 = x * x;
    float x4 = x2 * x2;
    float num = x * (1.0f + 0.43157974f * x2);
    float den = 1.0f + 0.76443946f * x2 + 0.058319379f * x4;
    return num / den;
}

// The quadrant rules shared by ArcTan2 and VU0ArcTan2.
float ArcTan2Rational(float s, float c)
{
    if (s == 0.0f && c == 0.0f)
        return 0.0f;   // no direction: answer 0 rather than the 0/0 NaN
    if (fabsf(c) < fabsf(s))
        return (s >= 0.0f ? kHalfPi : -kHalfPi) - ArcTanCore(c / s);
    float r = ArcTanCore(s / c);
    if (c < 0.0f)
        r = s >= 0.0f ? r + kPi : r - kPi;
    return r;
}
}  // namespace

// ---------------------------------------------------------------------------
// Vector kinds.

u128 VectorStore::ftoi0() const { return Ftoi(v, 1.0f); }
u128 VectorStore::ftoi4() const { return Ftoi(v, 16.0f); }
u128 VectorStore::ftoi12() const { return Ftoi(v, 4096.0f); }

float VectorXYZ::Length() const { return sqrtf(LengthSq()); }

void VectorXYZ::Normalise()
{
    float l2 = LengthSq();
    if (l2 == 0.0f)
    {
        v[0] = v[1] = v[2] = 0.0f;
        return;
    }
    float r = 1.0f / sqrtf(l2);
    v[0] *= r;
    v[1] *= r;
    v[2] *= r;
}

float Length(const VectorXYZ& a) { return a.Length(); }
float Length(const VectorXY& a) { return sqrtf(Dot(a, a)); }
float Length(const VectorXZ& a) { return sqrtf(Dot(a, a)); }

VectorXYZ Normalise(const VectorXYZ& a)
{
    VectorXYZ r = a;
    r.Normalise();
    return r;
}

VectorPos Normalise(const VectorPos& a) { return VectorPos(Normalise(static_cast<const VectorXYZ&>(a))); }
VectorDir Normalise(const VectorDir& a) { return VectorDir(Normalise(static_cast<const VectorXYZ&>(a))); }

VectorXY Normalise(const VectorXY& a)
{
    VectorXY r = a;
    float l2 = Dot(a, a);
    if (l2 == 0.0f)
        return VectorXY(0.0f, 0.0f);
    float inv = 1.0f / sqrtf(l2);
    r[0] *= inv;
    r[1] *= inv;
    return r;
}

VectorXZ Normalise(const VectorXZ& a)
{
    VectorXZ r = a;
    float l2 = Dot(a, a);
    if (l2 == 0.0f)
        return VectorXZ(0.0f, 0.0f);
    float inv = 1.0f / sqrtf(l2);
    r[0] *= inv;
    r[2] *= inv;
    return r;
}

Vector Vector::rand()
{
    u32 bit = ((s_rreg >> 22) ^ (s_rreg >> 17)) & 1;
    s_rreg = ((s_rreg << 1) | bit) & 0x7FFFFF;
    float f = BitsFloat(0x3F800000u | s_rreg);
    return Vector(f, f, f, f);
}

void Vector::randseed(VectorX seed)
{
    s_rreg = FloatBits(seed) & 0x7FFFFF;
    if (s_rreg == 0)
        s_rreg = 1;
}

// ---------------------------------------------------------------------------
// Scalar functions.

float FixAng(float ang)
{
    // Whole half turns, rounded toward zero, then made even by moving an odd
    // count one further from zero: the result is ang less whole turns.
    float n = truncf(ang * 0.31830987f);
    if (fmodf(n, 2.0f) != 0.0f)
        n = n >= 0.0f ? n + 1.0f : n - 1.0f;
    return ang - n * kPi;
}

VectorXYZ FixAng(VectorXYZ ang)
{
    VectorXYZ r = ang;
    r[0] = FixAng(ang[0]);
    r[1] = FixAng(ang[1]);
    r[2] = FixAng(ang[2]);
    return r;
}

float steptoang(float curval, float dest, float frac)
{
    float d = dest - curval;
    if (d > kPi)
        d -= kTwoPi;
    else if (d < -kPi)
        d += kTwoPi;
    return curval + d * frac;
}

float floor(float f)
{
    return BiasedFloor(f, 0.99999988f);
}

VectorXYZ floor(VectorXYZ f) { return EachLane(f, 3, FloorLane); }
VectorXY floor(VectorXY f) { return EachLane(f, 2, FloorLane); }
Vector floor(Vector f) { return EachLane(f, 4, FloorLane); }

float Cos(float f)
{
    // The angle as a fraction of a turn, folded to t in [-0.25, 0.25] with
    // cos(f) = sin(2 pi t); then the odd polynomial, term by term.
    float u = fabsf(f) * 0.15915494f;
    float r = u - floor(u);
    float t = fabsf(r - 0.5f) - 0.25f;
    float t2 = t * t;
    float t3 = t * t2;
    float t5 = t3 * t2;
    float t7 = t5 * t2;
    float t9 = t7 * t2;
    return 6.283185f * t - 41.341671f * t3 + 81.602226f * t5 - 76.574959f * t7 + 39.710659f * t9;
}

float Sin(float f) { return Cos(f - kHalfPi); }

float Tan(VectorX a)
{
    Vector cs = VU0CosSin(a);
    return cs[1] / cs[0];
}

float ArcTan(float t)
{
    if (t > 1.0f)
        return kHalfPi - ArcTanCore(1.0f / t);
    if (t < -1.0f)
        return -kHalfPi - ArcTanCore(1.0f / t);
    return ArcTanCore(t);
}

float ArcTan2(float s, float c) { return ArcTan2Rational(s, c); }

// The unit's arctangent routines use the same rational and rules.
float VU0ArcTan(float x) { return ArcTan(x); }
float VU0ArcTan2(float num, float den) { return ArcTan2Rational(num, den); }

float ArcSin(VectorX vx)
{
    // The series to x⁹; its four coefficients are one constant quadword.
    float x = vx;
    float x2 = x * x;
    float x3 = x2 * x;
    return x + x3 * (0.16666667f + x2 * (0.075f + x2 * (0.044642858f + x2 * 0.030381944f)));
}

float ArcCos(VectorX x) { return kHalfPi - ArcSin(x); }

float Angle(VectorXZ a, VectorXZ b)
{
    float num = a[2] * b[0] - a[0] * b[2];
    float den = a[0] * b[0] + a[2] * b[2];
    return VU0ArcTan2(num, den);
}

// ---------------------------------------------------------------------------
// Vector unit 0.

void VU0::Init()
{
    // The library's instructions, placeholders tagged with its program id and
    // each instruction's index, stored from the start of micro memory.
    for (int i = 0; i < kLibraryInstructions; i++)
        micromem[i] = (static_cast<u64>(i) << 32) | 0x56550000u | kLibraryProgramId;
    Vector::randseed(VectorX(kPi));
}

void VU0::UploadCustomMicrocode(u64* start, u64* end)
{
    int first = VU0Custom / 8;
    if (start == nullptr || end == nullptr || end < start || end - start > kMicroInstructions - first)
    {
        printf("VU0::UploadCustomMicrocode: %d instructions do not fit\n",
               start && end ? static_cast<int>(end - start) : -1);
        return;
    }
    for (int i = 0; start + i < end; i++)
        micromem[first + i] = start[i];
}
