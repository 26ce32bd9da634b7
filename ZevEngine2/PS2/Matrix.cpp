// Matrices and quaternions: builders, products, inverses, re-orthonormalising,
// Euler angles and the quaternion conversions and interpolation.
#include "ZevEngine2/PS2/Vector.h"

namespace
{
const Vector kRowW(0.0f, 0.0f, 0.0f, 1.0f);

// Axis rows of a frame looking along z (already normalised); w rows 0.
Matrix FrameFromZ(VectorXYZ z)
{
    VectorXYZ x;
    if (fabsf(z[1]) < 0.99f)
        x = Normalise(VectorXYZ(z[2], 0.0f, -z[0]));
    else
        x = Normalise(VectorXYZ(-z[1], z[0], 0.0f));   // nearly vertical
    VectorXYZ y = z ^ x;
    return Matrix(Vector(x, 0.0f), Vector(y, 0.0f), Vector(z, 0.0f), kRowW);
}

// Turns mat about its own y axis by the direction (c, s) = normalise(a, b):
// x' = c*x + s*z, z' = c*z - s*x.  No direction leaves mat as it is.
Matrix TurnAboutY(const Matrix& mat, float a, float b)
{
    float l2 = a * a + b * b;
    if (l2 == 0.0f)
        return mat;
    float inv = 1.0f / sqrtf(l2);
    float c = a * inv, s = b * inv;
    Matrix r = mat;
    r.x = mat.x * c + mat.z * s;
    r.z = mat.z * c - mat.x * s;
    return r;
}
}  // namespace

// ---------------------------------------------------------------------------
// Matrix members.

Matrix::Matrix(bool identity)
{
    float d = identity ? 1.0f : 0.0f;
    x = Vector(d, 0.0f, 0.0f, 0.0f);
    y = Vector(0.0f, d, 0.0f, 0.0f);
    z = Vector(0.0f, 0.0f, d, 0.0f);
    w = Vector(0.0f, 0.0f, 0.0f, d);
}

Matrix Matrix::Transpose() const { return Matrix(Column(0), Column(1), Column(2), Column(3)); }

Matrix Matrix::Inverse() const { return VU0MatrixInverseAffine(*this); }

Matrix Matrix::InverseTranspose() const { return VU0MatrixInverseTransposeAffine(*this); }

Vector Matrix::operator*(const Vector& p) const
{
    return x * p[0] + y * p[1] + z * p[2] + w * p[3];
}

VectorPos Matrix::operator*(const VectorPos& p) const
{
    return VectorPos((x * p[0] + y * p[1] + z * p[2] + w).v);
}

VectorDir Matrix::operator*(const VectorDir& d) const
{
    return VectorDir((x * d[0] + y * d[1] + z * d[2]).v);
}

Matrix Matrix::operator*(const Matrix& b) const
{
    return Matrix(b * x, b * y, b * z, b * w);
}

VectorXYZ Matrix::GetEuler() const
{
    float ey = ArcTan2(z[0], z[2]);
    Matrix m1 = *this * RotY(-ey);
    float ex = ArcTan2(-m1.z[1], m1.z[2]);
    Matrix m2 = m1 * RotX(-ex);
    float ez = ArcTan2(m2.x[1], m2.x[0]);
    return VectorXYZ(ex, ey, ez);
}

void Matrix::Normalise()
{
    VectorXYZ nz = ::Normalise(z.xyz());
    VectorXYZ nx = ::Normalise(y.xyz() ^ nz);
    VectorXYZ ny = nz ^ nx;
    x = Vector(nx, 0.0f);
    y = Vector(ny, 0.0f);
    z = Vector(nz, 0.0f);
}

void Matrix::NormaliseX()
{
    VectorXYZ nz = ::Normalise(z.xyz());
    VectorXYZ ny = ::Normalise(nz ^ x.xyz());
    VectorXYZ nx = ny ^ nz;
    x = Vector(nx, 0.0f);
    y = Vector(ny, 0.0f);
    z = Vector(nz, 0.0f);
}

void Matrix::RotateBy(const VectorXYZ& v)
{
    Vector mx = x, my = y, mz = z;
    x = mx + my * v[2] - mz * v[1];
    y = mx * -v[2] + my + mz * v[0];
    z = mx * v[1] - my * v[0] + mz;
}

void Matrix::Scale(const VectorXYZ& scl)
{
    Vector s(scl, 1.0f);
    x *= s;
    y *= s;
    z *= s;
    w *= s;
}

void Matrix::PreScale(const VectorXYZ& scl)
{
    x *= scl[0];
    y *= scl[1];
    z *= scl[2];
}

void Matrix::SetScale(const VectorXYZ& scl)
{
    for (int i = 0; i < 3; i++)
    {
        Vector& row = (*this)[i];
        float len = row.xyz().Length();
        row = len == 0.0f ? Vector::null() : row / len * scl[i];
    }
}

VectorXYZ Matrix::GetScale() const
{
    Vector sq = x * x + y * y + z * z;
    return VectorXYZ(sqrtf(sq[0]), sqrtf(sq[1]), sqrtf(sq[2]));
}

VectorXYZ Matrix::GetInvScale() const
{
    Vector sq = x * x + y * y + z * z;
    return VU0RsqrtFull(sq).xyz();
}

// The squared lengths of the three axis rows, in x, y, z.
static Vector RowLengthsSq(const Matrix& m)
{
    return Vector(m.x.xyz().LengthSq(), m.y.xyz().LengthSq(), m.z.xyz().LengthSq(), 0.0f);
}

VectorXYZ Matrix::GetPreScale() const
{
    Vector sq = RowLengthsSq(*this);
    return VectorXYZ(sqrtf(sq[0]), sqrtf(sq[1]), sqrtf(sq[2]));
}

VectorXYZ Matrix::GetInvPreScale() const { return VU0RsqrtFull(RowLengthsSq(*this)).xyz(); }

void Matrix::SetRot(const VectorXYZ& ang)
{
    Matrix r = RotMatrix(ang);
    x = r.x;
    y = r.y;
    z = r.z;
}

// ---------------------------------------------------------------------------
// Builders.

Matrix RotX(float ang)
{
    Vector cs = VU0CosSin(ang);
    float c = cs[0], s = cs[1];
    return Matrix(Vector(1.0f, 0.0f, 0.0f, 0.0f), Vector(0.0f, c, s, 0.0f), Vector(0.0f, -s, c, 0.0f), kRowW);
}

Matrix RotY(float ang)
{
    Vector cs = VU0CosSin(ang);
    float c = cs[0], s = cs[1];
    return Matrix(Vector(c, 0.0f, -s, 0.0f), Vector(0.0f, 1.0f, 0.0f, 0.0f), Vector(s, 0.0f, c, 0.0f), kRowW);
}

Matrix RotZ(float ang)
{
    Vector cs = VU0CosSin(ang);
    float c = cs[0], s = cs[1];
    return Matrix(Vector(c, s, 0.0f, 0.0f), Vector(-s, c, 0.0f, 0.0f), Vector(0.0f, 0.0f, 1.0f, 0.0f), kRowW);
}

Matrix RotMatrix(VectorXYZ ang) { return RotZ(ang[2]) * RotX(ang[0]) * RotY(ang[1]); }

Matrix TransMatrix(VectorXYZ pos)
{
    Matrix m(true);
    m.w = Vector(pos, 1.0f);
    return m;
}

Matrix TransMatrix(float px, float py, float pz) { return TransMatrix(VectorXYZ(px, py, pz)); }

Matrix ScaleMatrix(VectorXYZ scl) { return ScaleMatrix(scl[0], scl[1], scl[2]); }

Matrix ScaleMatrix(float sx, float sy, float sz)
{
    return Matrix(Vector(sx, 0.0f, 0.0f, 0.0f), Vector(0.0f, sy, 0.0f, 0.0f), Vector(0.0f, 0.0f, sz, 0.0f), kRowW);
}

Matrix LookAlong(VectorDir d) { return FrameFromZ(Normalise(static_cast<const VectorXYZ&>(d))); }

Matrix LookAlong(VectorDir d, VectorDir u)
{
    VectorXYZ z = Normalise(static_cast<const VectorXYZ&>(d));
    VectorXYZ x = Normalise(Normalise(static_cast<const VectorXYZ&>(u)) ^ z);
    VectorXYZ y = z ^ x;
    return Matrix(Vector(x, 0.0f), Vector(y, 0.0f), Vector(z, 0.0f), kRowW);
}

Matrix LookatMatrix(VectorPos from, VectorPos to)
{
    Matrix m = LookAlong(VectorDir(to - from));
    m.w = Vector(from);
    return m;
}

Matrix LookFromMatrix(VectorPos from, VectorDir dir)
{
    Matrix m = LookAlong(dir);
    m.w = Vector(from);
    return m;
}

Matrix Normalise(const Matrix& m)
{
    Matrix r = m;
    r.Normalise();
    return r;
}

Matrix NormaliseX(const Matrix& m)
{
    Matrix r = m;
    r.NormaliseX();
    return r;
}

Matrix ScaledInverse(const Matrix& m)
{
    // The rotation's inverse is its transpose; dividing column j by the
    // squared length of row j undoes that row's scale as well.
    Matrix r;
    Vector s(1.0f / m.x.xyz().LengthSq(), 1.0f / m.y.xyz().LengthSq(), 1.0f / m.z.xyz().LengthSq(), 1.0f);
    r.x = Vector(m.x[0], m.y[0], m.z[0], 0.0f);
    r.y = Vector(m.x[1], m.y[1], m.z[1], 0.0f);
    r.z = Vector(m.x[2], m.y[2], m.z[2], 0.0f);
    Vector t = r.x * m.w[0] + r.y * m.w[1] + r.z * m.w[2];
    r.w = Vector(-t[0], -t[1], -t[2], 1.0f);
    r.x *= s;
    r.y *= s;
    r.z *= s;
    r.w *= s;
    return r;
}

Matrix FullInverse(const Matrix& mat) { return VU0MatrixInverseTranspose(mat.Transpose()); }

Matrix Flatten(const Matrix& mat) { return TurnAboutY(mat, mat.x[0], mat.z[0]); }

Matrix FlattenWRT(const Matrix& mat, VectorXYZ dir)
{
    return TurnAboutY(mat, Dot(mat.x.xyz(), dir), Dot(mat.z.xyz(), dir));
}

Matrix ViewScreenMatrix(float scrz, float ax, float ay, float cx, float cy, float zmin, float zmax, float nearz,
                        float farz)
{
    float az = farz * nearz * (zmax - zmin) / (farz - nearz);
    float cz = (zmin * farz - zmax * nearz) / (farz - nearz);
    return Matrix(Vector(scrz * ax, 0.0f, 0.0f, 0.0f), Vector(0.0f, scrz * ay, 0.0f, 0.0f), Vector(cx, cy, cz, 1.0f),
                  Vector(0.0f, 0.0f, az, 0.0f));
}

// ---------------------------------------------------------------------------
// Quaternions.

Quaternion::Quaternion(const Matrix& mat)
{
    float m[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            m[i][j] = mat[i][j];

    float t = m[0][0] + m[1][1] + m[2][2];
    if (t > 0.0f)
    {
        float s = 0.5f / sqrtf(t + 1.0f);
        v = v128f{(m[2][1] - m[1][2]) * s, (m[0][2] - m[2][0]) * s, (m[1][0] - m[0][1]) * s, (t + 1.0f) * s};
        return;
    }
    // The largest diagonal element leads; the other two axes follow it in
    // cyclic order (a, b, c).
    int a = 0;
    if (m[1][1] > m[0][0])
        a = 1;
    if (m[2][2] > m[a][a])
        a = 2;
    int b = (a + 1) % 3, c = (a + 2) % 3;
    float f = m[a][a] - m[b][b] - m[c][c] + 1.0f;
    float s = 0.5f / sqrtf(f);
    v[a] = f * s;
    v[b] = (m[a][b] + m[b][a]) * s;
    v[c] = (m[a][c] + m[c][a]) * s;
    v[3] = (m[c][b] - m[b][c]) * s;
}

Quaternion::operator Matrix() const
{
    Matrix m;
    VU0Quat2Mat(m, *this);
    m.w = kRowW;
    return m;
}

Quaternion Quaternion::operator*(const Quaternion& b) const { return VU0QuaternionMultiply(*this, b); }

Quaternion EulerToQuat(float x, float y, float z)
{
    Vector csx = VU0CosSin(x * 0.5f);
    Vector csy = VU0CosSin(y * 0.5f);
    Vector csz = VU0CosSin(z * 0.5f);
    float cx = csx[0], sx = csx[1], cy = csy[0], sy = csy[1], cz = csz[0], sz = csz[1];
    return Quaternion(Vector(-(sx * cy * cz + cx * sy * sz), sx * cy * sz - cx * sy * cz, sx * sy * cz - cx * cy * sz,
                             cx * cy * cz + sx * sy * sz));
}

Quaternion EulerToQuat(VectorXYZ ang)
{
    Vector half = Vector(ang, 0.0f) * 0.5f;
    Vector c = VU0Cos(half);
    Vector s = VU0Sin(half);
    float cx = c[0], sx = s[0], cy = c[1], sy = s[1], cz = c[2], sz = s[2];
    return Quaternion(Vector(-(sx * cy * cz + cx * sy * sz), sx * cy * sz - cx * sy * cz, sx * sy * cz - cx * cy * sz,
                             cx * cy * cz + sx * sy * sz));
}

Quaternion SLERP(Quaternion from, Quaternion to, float t)
{
    float d = Dot(from, to);
    float w0 = 1.0f - t;
    float w1 = t;
    if (d < 0.0f)
    {
        d = -d;
        w1 = -t;
    }
    if (d < 0.707f)
    {
        float theta = acosf(d);
        Vector s = VU0Sin(Vector(w0 * theta, w1 * theta, 0.0f, 0.0f));
        float root = sqrtf(1.0f - d * d);
        w0 = s[0] / root;
        w1 = s[1] / root;
    }
    return Quaternion(Vector(from) * w0 + Vector(to) * w1);
}

Quaternion RotateBetween(VectorDir dir1, VectorDir dir2)
{
    VectorXYZ a = Normalise(static_cast<const VectorXYZ&>(dir1));
    VectorXYZ b = Normalise(static_cast<const VectorXYZ&>(dir2));
    VectorXYZ h = Normalise(a + b);
    return Quaternion(Vector(b ^ h, Dot(b, h)));
}
