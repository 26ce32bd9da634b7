// The vector-unit-0 routine library as host functions: sine and cosine of
// vectors, arcsine, matrix inverses, quaternion conversion and product, the
// bit-pattern power and the reciprocal square root.  Each keeps the routine's
// order of operations.
#include "ZevEngine2/PS2/Vector.h"
#include "ZevEngine2/PS2/MathsLocal.h"

using namespace maths_local;

namespace
{
// a - 0.16666657a³ + 0.0083330255a⁵ - 0.00019807414a⁷ + 2.601887e-6a⁹,
// term by term, for a in [-pi/2, pi/2].
float SinCore(float a)
{
    float a2 = a * a;
    float a3 = a * a2;
    float a5 = a3 * a2;
    float a7 = a5 * a2;
    float a9 = a7 * a2;
    return a - 0.16666657f * a3 + 0.0083330255f * a5 - 0.00019807414f * a7 + 2.601887e-6f * a9;
}

// The 3x3 determinant of rows (a, b, c) taken at columns i, j, k.
float Det3(const Vector& a, const Vector& b, const Vector& c, int i, int j, int k)
{
    return a[i] * (b[j] * c[k] - b[k] * c[j]) - a[j] * (b[i] * c[k] - b[k] * c[i]) +
           a[k] * (b[i] * c[j] - b[j] * c[i]);
}

// The exponent and scale prepared by the last VU0Power.
float s_powerP = 1.0f;
u32 s_powerS = 0x3F800000u;
}  // namespace

Vector VU0Sin0(Vector a)
{
    return EachLane(a, 4, SinCore);
}

Vector VU0CosSin(float a)
{
    return Vector(SinCore(kHalfPi - fabsf(a)), SinCore(a), 0.0f, 0.0f);
}

Vector VU0Cos(Vector a)
{
    return EachLane(a, 4, [](float x) { return SinCore(kHalfPi - fabsf(x)); });
}

Vector VU0Sin(Vector a)
{
    // Fold [-pi, pi] onto [-pi/2, pi/2] with sin(a) = sin(pi - a) = sin(-pi - a).
    return EachLane(a, 4, [](float x) {
        float f = std::min(x, kPi - x);
        f = std::max(f, -kPi - x);
        return SinCore(f);
    });
}

Vector VU0ArcSin(Vector x)
{
    return EachLane(x, 4, [](float v) { return ArcSin(VectorX(v)); });
}

Matrix VU0MatrixInverseTranspose(const Matrix& m)
{
    // Cofactor (i, j): the signed determinant of m without row i and column j.
    static const int kOther[4][3] = {{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {0, 1, 2}};
    Matrix c;
    for (int i = 0; i < 4; i++)
    {
        const int* ri = kOther[i];
        for (int j = 0; j < 4; j++)
        {
            const int* cj = kOther[j];
            float d = Det3(m[ri[0]], m[ri[1]], m[ri[2]], cj[0], cj[1], cj[2]);
            c[i][j] = ((i + j) & 1) ? -d : d;
        }
    }
    float det = m.x[0] * c.x[0] + m.x[1] * c.x[1] + m.x[2] * c.x[2] + m.x[3] * c.x[3];
    float inv = 1.0f / det;
    for (int i = 0; i < 4; i++)
        c[i] *= inv;
    return c;
}

Matrix VU0MatrixInverseAffine(const Matrix& m)
{
    VectorXYZ x = m.x.xyz(), y = m.y.xyz(), z = m.z.xyz();
    VectorXYZ yz = y ^ z, zx = z ^ x, xy = x ^ y;
    float inv = 1.0f / Dot(x, yz);
    Matrix r;
    for (int i = 0; i < 3; i++)
        r[i] = Vector(yz[i] * inv, zx[i] * inv, xy[i] * inv, 0.0f);
    Vector t = r.x * m.w[0] + r.y * m.w[1] + r.z * m.w[2];
    r.w = Vector(-t[0], -t[1], -t[2], 1.0f);
    return r;
}

Matrix VU0MatrixInverseTransposeAffine(const Matrix& m)
{
    VectorXYZ x = m.x.xyz(), y = m.y.xyz(), z = m.z.xyz(), w = m.w.xyz();
    VectorXYZ yz = y ^ z, zx = z ^ x, xy = x ^ y;
    float inv = 1.0f / Dot(x, yz);
    Matrix r;
    r.x = Vector(yz * inv, -Dot(yz, w) * inv);
    r.y = Vector(zx * inv, -Dot(zx, w) * inv);
    r.z = Vector(xy * inv, -Dot(xy, w) * inv);
    r.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    return r;
}

void VU0Quat2Mat(Matrix& m, const Quaternion& q)
{
    float x = q[0], y = q[1], z = q[2], w = q[3];
    float xx = 2.0f * (x * x), yy = 2.0f * (y * y), zz = 2.0f * (z * z);
    float xy = 2.0f * (x * y), yz = 2.0f * (y * z), zx = 2.0f * (z * x);
    float xw = 2.0f * (x * w), yw = 2.0f * (y * w), zw = 2.0f * (z * w);
    m.x = Vector(1.0f - yy - zz, xy - zw, zx + yw, 0.0f);
    m.y = Vector(xy + zw, 1.0f - xx - zz, yz - xw, 0.0f);
    m.z = Vector(zx - yw, yz + xw, 1.0f - xx - yy, 0.0f);
}

Quaternion VU0QuaternionMultiply(const Quaternion& a, const Quaternion& b)
{
    VectorXYZ av = a.xyz(), bv = b.xyz();
    VectorXYZ v = bv * a[3] + av * b[3] + (av ^ bv);
    return Quaternion(Vector(v, a[3] * b[3] - Dot(av, bv)));
}

Vector VU0Power0(Vector b)
{
    Vector r = b;
    for (int i = 0; i < 4; i++)
    {
        float d = static_cast<float>(static_cast<s32>(FloatBits(b[i]) - 0x3F800000u));
        float e = s_powerP * d;
        s32 ei = e >= 2147483648.0f ? 0x7FFFFFFF : e <= -2147483648.0f ? INT32_MIN : static_cast<s32>(e);
        r[i] = BitsFloat(static_cast<u32>(ei) + s_powerS);
    }
    return r;
}

Vector VU0Power(Vector b, float p, float s)
{
    s_powerP = p;
    s_powerS = FloatBits(s);
    return VU0Power0(b);
}

Vector VU0Rsqrt(Vector x, Vector& xhalf)
{
    Vector r = x;
    for (int i = 0; i < 4; i++)
        r[i] = BitsFloat(0x5F400000u - (FloatBits(x[i]) >> 1));
    xhalf = x * 0.5f;
    return r;
}

Vector VU0Rsqrt_newton(Vector y, Vector xhalf)
{
    return y * (Vector::one() * 1.5f - xhalf * (y * y));
}

Vector VU0RsqrtFull(Vector x)
{
    Vector xhalf;
    Vector y = VU0Rsqrt(x, xhalf);
    y = VU0Rsqrt_newton(y, xhalf);
    y = VU0Rsqrt_newton(y, xhalf);
    return VU0Rsqrt_newton(y, xhalf);
}
