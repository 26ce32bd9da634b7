// Vectors, scalar lanes, matrices and quaternions: the value types all of the
// engine's geometry is built on, with the game's own trigonometric and
// rounding functions and the vector-unit-0 routine library.
//
// Conventions shared by every user:
//  - angles are radians; world y points down (up is (0, -1, 0));
//  - points are row vectors: p' = p.x*X + p.y*Y + p.z*Z + W for a matrix with
//    rows X, Y, Z, W (translation in W), so A*B applies A first;
//  - the quaternion of a rotation by a about the unit axis n is
//    (-n sin(a/2), cos(a/2)), and every conversion below keeps to it;
//  - normalising a zero vector gives the zero vector (no NaN, no error).
//
// Every kind is one 128-bit register (four floats, x in the lowest word),
// passed and returned by value.  Arithmetic happens lane by lane in single
// precision in the order written here and in Vector.cpp; results elsewhere in
// the game (animation keys, collision, roads) depend on it to the last bit.
#pragma once

#include "ZevEngine2/Zev.h"

// The 128-bit register as the compiler's four-float vector.
typedef float v128f __attribute__((vector_size(16)));

// Plain four floats, for float arrays and file records.
struct VECTOR
{
    float x, y, z, w;
};
static_assert(sizeof(VECTOR) == 16);

class Vector;
class VectorXYZ;
class VectorPos;
class VectorDir;
class VectorXY;
class VectorXZ;
class Matrix;
class Quaternion;

// ---------------------------------------------------------------------------
// The vector unit's quotient register (the result of a divide).  A Qreg value
// carries the quotient it was made with; the global `qreg` is the register
// itself and always holds the last quotient written.
class Qreg
{
public:
    Qreg() : value(0.0f) {}
    explicit Qreg(float q) : value(q) {}
    operator float() const { return value; }

    float value;
};
extern Qreg qreg;

// Writes the quotient register and returns its new value.
inline Qreg SetQ(float q)
{
    qreg.value = q;
    return qreg;
}

// ---------------------------------------------------------------------------
// One float held in lane N of a register.  It reads as a float (so in
// arithmetic it behaves as one) and converts to int explicitly (truncation).
// Constructing one broadcasts the value to every lane.
template <int N>
class VectorLane
{
public:
    v128f v;

    VectorLane() = default;
    VectorLane(float f) : v{f, f, f, f} {}
    VectorLane(int i) : VectorLane(static_cast<float>(i)) {}
    VectorLane(double d) : VectorLane(static_cast<float>(d)) {}
    VectorLane(const Qreg& q) : VectorLane(q.value) {}
    explicit VectorLane(v128f r) : v(r) {}

    operator float() const { return v[N]; }
    explicit operator int() const { return static_cast<int>(v[N]); }

    VectorLane& operator+=(float f) { *this = VectorLane(v[N] + f); return *this; }
    VectorLane& operator-=(float f) { *this = VectorLane(v[N] - f); return *this; }
    VectorLane& operator*=(float f) { *this = VectorLane(v[N] * f); return *this; }
    VectorLane& operator/=(float f) { *this = VectorLane(v[N] / f); return *this; }
};

class VectorX : public VectorLane<0>
{
public:
    using VectorLane<0>::VectorLane;
    VectorX() = default;
    VectorX(const VectorLane<0>& l) : VectorLane<0>(l) {}

    VectorX& operator++() { *this = VectorX(v[0] + 1.0f); return *this; }
    VectorX& operator--() { *this = VectorX(v[0] - 1.0f); return *this; }
    VectorX operator++(int) { VectorX old = *this; ++*this; return old; }
    VectorX operator--(int) { VectorX old = *this; --*this; return old; }
};

class VectorY : public VectorLane<1>
{
public:
    using VectorLane<1>::VectorLane;
    VectorY() = default;
    VectorY(const VectorLane<1>& l) : VectorLane<1>(l) {}
};

class VectorZ : public VectorLane<2>
{
public:
    using VectorLane<2>::VectorLane;
    VectorZ() = default;
    VectorZ(const VectorLane<2>& l) : VectorLane<2>(l) {}
};

class VectorW : public VectorLane<3>
{
public:
    using VectorLane<3>::VectorLane;
    VectorW() = default;
    VectorW(const VectorLane<3>& l) : VectorLane<3>(l) {}
};
static_assert(sizeof(VectorX) == 16 && alignof(VectorX) == 16);

// Dividing one scalar lane by another writes the quotient register.
template <int A, int B>
inline Qreg operator/(const VectorLane<A>& a, const VectorLane<B>& b)
{
    return SetQ(a.v[A] / b.v[B]);
}

// ---------------------------------------------------------------------------
// Fixed point with 4, 12 and 15 fraction bits (truncating conversions).
template <int Bits>
struct FixedPoint
{
    int x;

    FixedPoint() = default;
    FixedPoint(float f) : x(static_cast<int>(f * static_cast<float>(1 << Bits))) {}
    FixedPoint(int i) : x(i * (1 << Bits)) {}
    FixedPoint(double d) : FixedPoint(static_cast<float>(d)) {}
    template <int N>
    FixedPoint(const VectorLane<N>& l) : FixedPoint(static_cast<float>(l)) {}
};
typedef FixedPoint<4> Fixed4;
typedef FixedPoint<12> Fixed12;
typedef FixedPoint<15> Fixed15;

// ---------------------------------------------------------------------------
// Storage and lane access common to every vector kind.  The lane setters and
// the in-place lane arithmetic keep the other lanes as they are.
class VectorStore
{
public:
    v128f v;

    VectorStore() = default;
    explicit VectorStore(v128f r) : v(r) {}

    float operator[](int i) const { return v[i]; }
    float& operator[](int i) { return reinterpret_cast<float*>(&v)[i]; }

    VectorX x() const { return VectorX(v[0]); }
    VectorY y() const { return VectorY(v[1]); }
    VectorZ z() const { return VectorZ(v[2]); }
    VectorW w() const { return VectorW(v[3]); }
    VectorXY xy() const;
    VectorXZ xz() const;
    VectorXYZ xyz() const;

    void setx(float f) { v[0] = f; }
    void sety(float f) { v[1] = f; }
    void setz(float f) { v[2] = f; }
    void setw(float f) { v[3] = f; }
    void setxy(const VectorStore& s) { v[0] = s.v[0]; v[1] = s.v[1]; }
    void setxz(const VectorStore& s) { v[0] = s.v[0]; v[2] = s.v[2]; }
    void setxyz(const VectorStore& s) { v[0] = s.v[0]; v[1] = s.v[1]; v[2] = s.v[2]; }
    // The w lane's bits become the integer (counts stored in a w word).
    void setwcomponent(int i) { reinterpret_cast<int*>(&v)[3] = i; }
    int wcomponent() const { return reinterpret_cast<const int*>(&v)[3]; }

    void addx(float f) { v[0] += f; }
    void addy(float f) { v[1] += f; }
    void addz(float f) { v[2] += f; }
    void addw(float f) { v[3] += f; }
    void subx(float f) { v[0] -= f; }
    void suby(float f) { v[1] -= f; }
    void subz(float f) { v[2] -= f; }
    void subw(float f) { v[3] -= f; }
    void mulx(float f) { v[0] *= f; }
    void muly(float f) { v[1] *= f; }
    void mulz(float f) { v[2] *= f; }
    void mulw(float f) { v[3] *= f; }
    // Every lane combined with the quotient register.
    void addQ() { v += qreg.value; }
    void subQ() { v -= qreg.value; }
    void mulQ() { v *= qreg.value; }

    // Lanes converted to integers with 0, 4 or 12 fraction bits, truncating
    // and saturating at the int range; the result holds four s32 words.
    u128 ftoi0() const;
    u128 ftoi4() const;
    u128 ftoi12() const;

    // Rotate the x, y, z lanes: right gives (z, x, y), left (y, z, x); w kept.
    void rot3r() { v = v128f{v[2], v[0], v[1], v[3]}; }
    void rot3l() { v = v128f{v[1], v[2], v[0], v[3]}; }

    // The quotient register, and the vector unit's flag registers (the host's
    // routines set no flags, so these read 0).
    static VectorX Q() { return VectorX(qreg.value); }
    static int macflags() { return 0; }
    static int clipflags() { return 0; }
};

// The full operator set of a vector kind K whose "same kind" operand is P.
// Results keep the kind of the left operand; scalars broadcast to every lane.
#define ZEV_VECTOR_KIND_OPS(K, P)                                                          \
    K operator-() const { return K(-v); }                                                  \
    K operator+(const P& b) const { return K(v + b.v); }                                   \
    K operator-(const P& b) const { return K(v - b.v); }                                   \
    K operator*(const P& b) const { return K(v * b.v); }                                   \
    K operator+(float s) const { return K(v + s); }                                        \
    K operator-(float s) const { return K(v - s); }                                        \
    K operator*(float s) const { return K(v * s); }                                        \
    K operator/(float s) const { return K(v / s); }                                        \
    template <int N> K operator+(const VectorLane<N>& s) const { return *this + float(s); } \
    template <int N> K operator-(const VectorLane<N>& s) const { return *this - float(s); } \
    template <int N> K operator*(const VectorLane<N>& s) const { return *this * float(s); } \
    template <int N> K operator/(const VectorLane<N>& s) const { return *this / float(s); } \
    K& operator+=(const P& b) { v += b.v; return *this; }                                  \
    K& operator-=(const P& b) { v -= b.v; return *this; }                                  \
    K& operator*=(const P& b) { v *= b.v; return *this; }                                  \
    K& operator+=(float s) { v += s; return *this; }                                       \
    K& operator-=(float s) { v -= s; return *this; }                                       \
    K& operator*=(float s) { v *= s; return *this; }                                       \
    K& operator/=(float s) { v /= s; return *this; }                                       \
    friend K operator*(float s, const K& a) { return K(s * a.v); }

// ---------------------------------------------------------------------------
// Two-dimensional views: only x, y (resp. x, z) are significant.
class VectorXY : public VectorStore
{
public:
    VectorXY() = default;
    VectorXY(float x, float y) : VectorStore(v128f{x, y, 0.0f, 0.0f}) {}
    VectorXY(v128f r) : VectorStore(r) {}
    ZEV_VECTOR_KIND_OPS(VectorXY, VectorXY)

    // 2-D cross product a.x*b.y - a.y*b.x.
    VectorX operator^(const VectorXY& b) const { return VectorX(v[0] * b.v[1] - v[1] * b.v[0]); }
    friend bool operator==(const VectorXY& a, const VectorXY& b) { return a.v[0] == b.v[0] && a.v[1] == b.v[1]; }
    friend bool operator!=(const VectorXY& a, const VectorXY& b) { return !(a == b); }
};

class VectorXZ : public VectorStore
{
public:
    VectorXZ() = default;
    VectorXZ(float x, float z) : VectorStore(v128f{x, 0.0f, z, 0.0f}) {}
    VectorXZ(v128f r) : VectorStore(r) {}
    ZEV_VECTOR_KIND_OPS(VectorXZ, VectorXZ)

    // Horizontal cross product a.z*b.x - a.x*b.z (positive when b lies
    // clockwise of a seen from above, y being down).
    VectorX operator^(const VectorXZ& b) const { return VectorX(v[2] * b.v[0] - v[0] * b.v[2]); }
    friend bool operator==(const VectorXZ& a, const VectorXZ& b) { return a.v[0] == b.v[0] && a.v[2] == b.v[2]; }
    friend bool operator!=(const VectorXZ& a, const VectorXZ& b) { return !(a == b); }
};

// ---------------------------------------------------------------------------
// Three significant lanes; w carries no meaning and may hold anything.
class VectorXYZ : public VectorStore
{
public:
    VectorXYZ() = default;
    VectorXYZ(float x, float y, float z) : VectorStore(v128f{x, y, z, 0.0f}) {}
    explicit VectorXYZ(const float* f) : VectorStore(v128f{f[0], f[1], f[2], 0.0f}) {}
    VectorXYZ(const VECTOR& r) : VectorStore(v128f{r.x, r.y, r.z, r.w}) {}
    VectorXYZ(v128f r) : VectorStore(r) {}
    explicit VectorXYZ(const u128& r) { std::memcpy(&v, &r, 16); }
    template <int N>
    VectorXYZ(const VectorLane<N>& s) : VectorStore(v128f{} + float(s)) {}
    VectorXYZ(const VectorXY& s) : VectorStore(v128f{s.v[0], s.v[1], 0.0f, 0.0f}) {}
    VectorXYZ(const VectorXZ& s) : VectorStore(v128f{s.v[0], 0.0f, s.v[2], 0.0f}) {}
    ZEV_VECTOR_KIND_OPS(VectorXYZ, VectorXYZ)

    // Cross product a × b; w of the result is 0.
    VectorXYZ operator^(const VectorXYZ& b) const;
    friend bool operator==(const VectorXYZ& a, const VectorXYZ& b)
    {
        return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2];
    }
    friend bool operator!=(const VectorXYZ& a, const VectorXYZ& b) { return !(a == b); }

    // Squared length (x² + y²) + z², length, and normalising in place by the
    // reciprocal square root (xyz only, w kept; a zero vector stays zero).
    float LengthSq() const { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }
    float Length() const;
    void Normalise();

    static VectorXYZ zero() { return VectorXYZ(v128f{0.0f, 0.0f, 0.0f, 1.0f}); }
    static VectorXYZ zeroes() { return VectorXYZ(v128f{0.0f, 0.0f, 0.0f, 0.0f}); }
    static VectorXYZ null() { return VectorXYZ(v128f{0.0f, 0.0f, 0.0f, 0.0f}); }
    static VectorXYZ one() { return VectorXYZ(v128f{1.0f, 1.0f, 1.0f, 1.0f}); }
};

// A position.  Converts to a Vector with w = 1 (a homogeneous point).
class VectorPos : public VectorXYZ
{
public:
    VectorPos() = default;
    using VectorXYZ::VectorXYZ;
    VectorPos(const VectorXYZ& s) : VectorXYZ(s) {}
    ZEV_VECTOR_KIND_OPS(VectorPos, VectorXYZ)
};

// A direction, velocity or normal.
class VectorDir : public VectorXYZ
{
public:
    VectorDir() = default;
    using VectorXYZ::VectorXYZ;
    VectorDir(const VectorXYZ& s) : VectorXYZ(s) {}
    ZEV_VECTOR_KIND_OPS(VectorDir, VectorXYZ)
};

// ---------------------------------------------------------------------------
// The general four-component value; base of Quaternion, Plane and Sphere.
class Vector : public VectorStore
{
public:
    Vector() = default;
    Vector(float x, float y, float z, float w) : VectorStore(v128f{x, y, z, w}) {}
    explicit Vector(const float* f) : VectorStore(v128f{f[0], f[1], f[2], f[3]}) {}
    Vector(const VECTOR& r) : VectorStore(v128f{r.x, r.y, r.z, r.w}) {}
    Vector(v128f r) : VectorStore(r) {}
    explicit Vector(const u128& r) { std::memcpy(&v, &r, 16); }
    template <int N>
    Vector(const VectorLane<N>& s) : VectorStore(v128f{} + float(s)) {}
    Vector(const VectorXY& s) : VectorStore(v128f{s.v[0], s.v[1], 0.0f, 0.0f}) {}
    Vector(const VectorXZ& s) : VectorStore(v128f{s.v[0], 0.0f, s.v[2], 0.0f}) {}
    Vector(const VectorPos& p) : VectorStore(v128f{p.v[0], p.v[1], p.v[2], 1.0f}) {}
    // Three lanes and an explicit w (a direction as (d, 0), a plane as (n, d)).
    Vector(const VectorXYZ& s, float w) : VectorStore(v128f{s.v[0], s.v[1], s.v[2], w}) {}
    ZEV_VECTOR_KIND_OPS(Vector, Vector)

    // Cross product of the x, y, z lanes; w of the result is 0.
    Vector operator^(const Vector& b) const;
    friend bool operator==(const Vector& a, const Vector& b)
    {
        return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2] && a.v[3] == b.v[3];
    }
    friend bool operator!=(const Vector& a, const Vector& b) { return !(a == b); }

    VECTOR AsVECTOR() const { return VECTOR{v[0], v[1], v[2], v[3]}; }
    u128 AsU128() const { u128 r; std::memcpy(&r, &v, 16); return r; }

    // zero is the unit's constant register (0, 0, 0, 1); zeroes and null are
    // all zero; one is all one.
    static Vector zero() { return Vector(0.0f, 0.0f, 0.0f, 1.0f); }
    static Vector zeroes() { return Vector(0.0f, 0.0f, 0.0f, 0.0f); }
    static Vector null() { return Vector(0.0f, 0.0f, 0.0f, 0.0f); }
    static Vector one() { return Vector(1.0f, 1.0f, 1.0f, 1.0f); }
    // The unit's random generator: a 23-bit shift register; each call steps
    // it and returns the float 1.fraction (in [1, 2)) in every lane.
    static Vector rand();
    static void randseed(VectorX seed);   // keeps the seed's 23 fraction bits
};

typedef Vector Vector4;
typedef VectorXYZ Vector3;

static_assert(sizeof(Vector) == 16 && alignof(Vector) == 16);
static_assert(sizeof(VectorXYZ) == 16 && sizeof(VectorPos) == 16 && sizeof(VectorDir) == 16);
static_assert(sizeof(VectorXY) == 16 && sizeof(VectorXZ) == 16);

inline VectorXY VectorStore::xy() const { return VectorXY(v); }
inline VectorXZ VectorStore::xz() const { return VectorXZ(v); }
inline VectorXYZ VectorStore::xyz() const { return VectorXYZ(v); }

inline VectorXYZ VectorXYZ::operator^(const VectorXYZ& b) const
{
    return VectorXYZ(v128f{v[1] * b.v[2] - v[2] * b.v[1],
                           v[2] * b.v[0] - v[0] * b.v[2],
                           v[0] * b.v[1] - v[1] * b.v[0], 0.0f});
}

inline Vector Vector::operator^(const Vector& b) const
{
    return Vector(v128f{v[1] * b.v[2] - v[2] * b.v[1],
                        v[2] * b.v[0] - v[0] * b.v[2],
                        v[0] * b.v[1] - v[1] * b.v[0], 0.0f});
}

// Dot products, summed left to right: ((x + y) + z) (+ w).
inline float Dot(const VectorXYZ& a, const VectorXYZ& b)
{
    return a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2];
}
inline float Dot(const Vector& a, const Vector& b)
{
    return a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2] + a.v[3] * b.v[3];
}
inline float Dot(const VectorXY& a, const VectorXY& b) { return a.v[0] * b.v[0] + a.v[1] * b.v[1]; }
inline float Dot(const VectorXZ& a, const VectorXZ& b) { return a.v[0] * b.v[0] + a.v[2] * b.v[2]; }

// Lengths and normalised copies.  Normalising multiplies by the reciprocal of
// the square root of the squared length; a zero vector gives the zero vector.
float Length(const VectorXYZ& a);
float Length(const VectorXY& a);
float Length(const VectorXZ& a);
VectorXYZ Normalise(const VectorXYZ& a);
VectorPos Normalise(const VectorPos& a);
VectorDir Normalise(const VectorDir& a);
VectorXY Normalise(const VectorXY& a);
VectorXZ Normalise(const VectorXZ& a);

// Componentwise minimum, maximum and absolute value (all four lanes).
template <class K>
    requires std::is_base_of_v<VectorStore, K>
inline K Min(const K& a, const K& b)
{
    K r = a;
    for (int i = 0; i < 4; i++)
        r[i] = b.v[i] < a.v[i] ? b.v[i] : a.v[i];
    return r;
}
template <class K>
    requires std::is_base_of_v<VectorStore, K>
inline K Max(const K& a, const K& b)
{
    K r = a;
    for (int i = 0; i < 4; i++)
        r[i] = b.v[i] > a.v[i] ? b.v[i] : a.v[i];
    return r;
}
template <class K>
    requires std::is_base_of_v<VectorStore, K>
inline K Abs(const K& a)
{
    K r = a;
    for (int i = 0; i < 4; i++)
        r[i] = fabsf(a.v[i]);
    return r;
}

// The power vectors (t³, t², t, 0) for t = 1/3 and t = 2/3, for evaluating
// cubic curves at their thirds; set before main.
extern VectorPos vp1_3;
extern VectorPos vp2_3;

// ---------------------------------------------------------------------------
// Scalar functions (angles in radians).

// Wraps an angle into [-pi, pi] by whole turns: pi comes back as -pi and -pi
// as pi; angles strictly inside come back unchanged.
float FixAng(float ang);
VectorXYZ FixAng(VectorXYZ ang);
// curval + d*frac, with d = dest - curval corrected once by a whole turn into
// [-pi, pi] (the short way round).
float steptoang(float curval, float dest, float frac);
// Largest integer not above each significant component.
float floor(float f);
VectorXYZ floor(VectorXYZ f);
VectorXY floor(VectorXY f);
Vector floor(Vector f);
// Sine and cosine of any angle by the game's own odd polynomial.
float Sin(float f);
float Cos(float f);
// sin/cos through VU0CosSin; argument in [-pi, pi].
float Tan(VectorX a);
float ArcTan(float tan);
// atan2 of s (sine side) over c (cosine side); (0, 0) gives 0.
float ArcTan2(float s, float c);
// Arcsine by its series to x⁹ (ArcSin(1) is 1.3166915); ArcCos = pi/2 - ArcSin.
float ArcSin(VectorX x);
float ArcCos(VectorX x);
// Signed angle from a to b in the x-z plane: atan2(a.z*b.x - a.x*b.z, a.x*b.x + a.z*b.z).
float Angle(VectorXZ a, VectorXZ b);

// ---------------------------------------------------------------------------
// Matrix: rows x, y, z (the frame's axes) and w (the translation).
class alignas(16) Matrix
{
public:
    Vector x, y, z, w;

    Matrix() = default;   // contents not set
    // true: the identity; false: all zero.
    explicit Matrix(bool identity);
    Matrix(const Vector& rx, const Vector& ry, const Vector& rz, const Vector& rw) : x(rx), y(ry), z(rz), w(rw) {}
    explicit Matrix(const VECTOR* rows) : x(rows[0]), y(rows[1]), z(rows[2]), w(rows[3]) {}

    Vector& operator[](int i) { return (&x)[i]; }
    const Vector& operator[](int i) const { return (&x)[i]; }
    Vector Column(int j) const { return Vector(x[j], y[j], z[j], w[j]); }
    // The four rows as raw quadwords (for command packets).
    u128* Raw() { return reinterpret_cast<u128*>(this); }
    const u128* Raw() const { return reinterpret_cast<const u128*>(this); }

    Matrix Transpose() const;
    // The affine inverse (VU0MatrixInverseAffine).
    Matrix Inverse() const;
    // The transpose of the affine inverse (VU0MatrixInverseTransposeAffine):
    // carries a plane (n, d) given in this frame's source space to its image.
    Matrix InverseTranspose() const;

    // A*B: row i of A mapped through B, so A acts first.
    Matrix operator*(const Matrix& b) const;
    Matrix& operator*=(const Matrix& b) { *this = *this * b; return *this; }
    // A/B = A * B's affine inverse: undoes B after A, so (A*B)/B = A.
    Matrix operator/(const Matrix& b) const { return *this * b.Inverse(); }
    Matrix& operator/=(const Matrix& b) { *this = *this / b; return *this; }
    // p.x*x + p.y*y + p.z*z + p.w*w; a position adds w, a direction does not.
    Vector operator*(const Vector& p) const;
    VectorPos operator*(const VectorPos& p) const;
    VectorDir operator*(const VectorDir& d) const;

    VectorPos GetTrans() const { return VectorPos(w.v); }
    void SetTrans(const VectorXYZ& p) { w = Vector(p, 1.0f); }

    // The (x, y, z) angles that RotMatrix turns back into this matrix, and
    // each of them alone.
    VectorXYZ GetEuler() const;
    float GetXRot() const { return GetEuler()[0]; }
    float GetYRot() const { return GetEuler()[1]; }
    float GetZRot() const { return GetEuler()[2]; }
    // The axis rows become RotMatrix(ang)'s; the translation stays.
    void SetRot(const VectorXYZ& ang);
    // Re-orthonormalise keeping z and the y side (Normalise) or the x side
    // (NormaliseX); axis rows get w = 0, row w is kept.
    void Normalise();
    void NormaliseX();
    // (I + small rotation by v, in this frame) * this; not re-orthonormalised.
    void RotateBy(const VectorXYZ& v);
    // this * diag(sx, sy, sz, 1): every row, translation included.
    void Scale(const VectorXYZ& scl);
    // diag(sx, sy, sz) * this: axis rows x, y, z scaled by sx, sy, sz.
    void PreScale(const VectorXYZ& scl);
    // Each axis row (all four lanes) divided by its length and multiplied by
    // the matching scale; a zero-length row stays zero.
    void SetScale(const VectorXYZ& scl);
    // Lengths of columns x, y, z over the axis rows; and their reciprocals by
    // VU0Rsqrt with three Newton steps.
    VectorXYZ GetScale() const;
    VectorXYZ GetInvScale() const;
    // Lengths of the axis rows x, y, z (what PreScale multiplies), and their
    // reciprocals by VU0Rsqrt with three Newton steps.
    VectorXYZ GetPreScale() const;
    VectorXYZ GetInvPreScale() const;
};
static_assert(sizeof(Matrix) == 64 && alignof(Matrix) == 16);

Matrix RotX(float ang);   // angles within [-pi, pi] (VU0CosSin)
Matrix RotY(float ang);
Matrix RotZ(float ang);
Matrix RotMatrix(VectorXYZ ang);   // RotZ(ang.z) * RotX(ang.x) * RotY(ang.y)
Matrix TransMatrix(VectorXYZ pos);
Matrix TransMatrix(float px, float py, float pz);
Matrix ScaleMatrix(VectorXYZ scl);
Matrix ScaleMatrix(float sx, float sy, float sz);
// Frames whose z axis points along d; a zero d gives zero axis rows.
Matrix LookAlong(VectorDir d);
Matrix LookAlong(VectorDir d, VectorDir u);
Matrix LookatMatrix(VectorPos from, VectorPos to);
Matrix LookFromMatrix(VectorPos from, VectorDir dir);
Matrix Normalise(const Matrix& m);
Matrix NormaliseX(const Matrix& m);
// Inverse of a matrix whose axis rows are orthogonal but may be scaled.
Matrix ScaledInverse(const Matrix& m);
// The full 4x4 inverse.
Matrix FullInverse(const Matrix& mat);
// mat turned about its own y axis so that row z has no world-x component /
// so that row x follows dir's part in the frame's x-z plane.  A matrix that
// gives no direction to turn to (both components zero) comes back unchanged.
Matrix Flatten(const Matrix& mat);
Matrix FlattenWRT(const Matrix& mat, VectorXYZ dir);
Matrix ViewScreenMatrix(float scrz, float ax, float ay, float cx, float cy, float zmin, float zmax,
                        float nearz, float farz);

// ---------------------------------------------------------------------------
// Rotation quaternion (x, y, z, w), w the scalar part.
class Quaternion : public Vector
{
public:
    Quaternion() = default;
    // The identity rotation (0, 0, 0, 1) whatever the flag.
    explicit Quaternion(bool) : Vector(0.0f, 0.0f, 0.0f, 1.0f) {}
    Quaternion(const Vector& q) : Vector(q) {}
    Quaternion(v128f r) : Vector(r) {}
    explicit Quaternion(const u128& r) : Vector(r) {}
    // The rotation of mat's three axis rows.
    explicit Quaternion(const Matrix& mat);
    // The three axis rows of the rotation, row w (0, 0, 0, 1).
    operator Matrix() const;

    Quaternion operator*(float s) const { return Quaternion(v * s); }
    Quaternion operator/(float s) const { return Quaternion(v / s); }
    template <int N> Quaternion operator*(const VectorLane<N>& s) const { return *this * float(s); }
    template <int N> Quaternion operator/(const VectorLane<N>& s) const { return *this / float(s); }
    Quaternion operator-() const { return Quaternion(-v); }
    // The conjugate (-x, -y, -z, w): the opposite rotation for a unit quaternion.
    Quaternion operator~() const { return Quaternion(v128f{-v[0], -v[1], -v[2], v[3]}); }
    Quaternion operator+(const Quaternion& b) const { return Quaternion(v + b.v); }
    Quaternion operator-(const Quaternion& b) const { return Quaternion(v - b.v); }
    // Hamilton product (VU0QuaternionMultiply); Matrix(a*b) = Matrix(a) * Matrix(b).
    Quaternion operator*(const Quaternion& b) const;
    Quaternion& operator*=(float s) { v *= s; return *this; }
    Quaternion& operator/=(float s) { v /= s; return *this; }
    Quaternion& operator+=(const Quaternion& b) { v += b.v; return *this; }
    Quaternion& operator-=(const Quaternion& b) { v -= b.v; return *this; }
    Quaternion& operator*=(const Quaternion& b) { *this = *this * b; return *this; }
    friend Quaternion operator*(float s, const Quaternion& q) { return Quaternion(s * q.v); }
};
static_assert(sizeof(Quaternion) == 16);

// Quaternion of RotMatrix(x, y, z); half angles must lie within [-pi, pi].
Quaternion EulerToQuat(float x, float y, float z);
Quaternion EulerToQuat(VectorXYZ ang);
// Spherical interpolation the shorter way; linear weights (not renormalised)
// when the quaternions are within about 90 degrees of rotation (d >= 0.707).
Quaternion SLERP(Quaternion from, Quaternion to, float t);
// The rotation turning dir1 into dir2 (zero for a zero direction).
Quaternion RotateBetween(VectorDir dir1, VectorDir dir2);

// ---------------------------------------------------------------------------
// The vector-unit-0 routine library.  On the console these run on the unit;
// here each is an ordinary function with the routine's inputs and outputs and
// its arithmetic.

// x = cos a, y = sin a (z, w 0); |a| <= pi.  Sine core at pi/2 - |a| and at a.
Vector VU0CosSin(float a);
// cos of each lane: the sine core at pi/2 - |a|; |a| <= pi.
Vector VU0Cos(Vector a);
// sin of each lane in [-pi, pi]: folded into [-pi/2, pi/2], then the core.
Vector VU0Sin(Vector a);
// The sine core on four lanes in [-pi/2, pi/2].
Vector VU0Sin0(Vector a);
float VU0ArcTan(float x);
// atan2(num, den) with ArcTan2's rational and quadrant rules; (0, 0) gives 0.
float VU0ArcTan2(float num, float den);
Vector VU0ArcSin(Vector x);
// Transpose of the full 4x4 inverse (cofactors over the determinant).
Matrix VU0MatrixInverseTranspose(const Matrix& m);
// Inverse of an affine matrix: adjugate over the determinant, translation
// -(w.x*r0 + w.y*r1 + w.z*r2).
Matrix VU0MatrixInverseAffine(const Matrix& m);
// Transpose of the affine inverse, for carrying planes through a matrix.
Matrix VU0MatrixInverseTransposeAffine(const Matrix& m);
// Writes the three axis rows of q's rotation into m; row w is the caller's.
// q is not normalised first.
void VU0Quat2Mat(Matrix& m, const Quaternion& q);
Quaternion VU0QuaternionMultiply(const Quaternion& a, const Quaternion& b);
// Approximate s*b^p per lane through the float bit patterns:
// bits(result) = p*(bits(b) - bits(1.0)) + bits(s).  VU0Power0 repeats with
// the p and s of the last VU0Power.
Vector VU0Power(Vector b, float p, float s);
Vector VU0Power0(Vector b);
// First guess of 1/sqrt per lane (bits 0x5F400000 - bits(x)/2); xhalf = x/2.
Vector VU0Rsqrt(Vector x, Vector& xhalf);
// One Newton step y*(1.5 - (x/2)*y²).
Vector VU0Rsqrt_newton(Vector y, Vector xhalf);
// 1/sqrt per lane: VU0Rsqrt and three Newton steps.
Vector VU0RsqrtFull(Vector x);

// Byte address in micro memory where custom code starts (after the library).
constexpr u32 VU0Custom = 0x778;

class VU0
{
public:
    // Copies the routine library into micro memory and seeds the random
    // register from pi.  Run once at start-up.
    static void Init();
    // Appends whole 8-byte instructions at VU0Custom.  Code that would not fit
    // in micro memory is refused with a message and nothing is copied.
    static void UploadCustomMicrocode(u64* start, u64* end);
    // The routines run to completion when called, so there is never one to
    // wait for.
    static void Wait() {}
    static int statusflags() { return 0; }
    static int macflags() { return 0; }
    static int clipflags() { return 0; }

    // The unit's micro memory (4 KiB, 512 instructions).
    static constexpr int kMicroInstructions = 512;
    static constexpr int kLibraryInstructions = 239;   // 1,912 bytes
    static constexpr u32 kLibraryProgramId = 0x10;
    static u64 micromem[kMicroInstructions];
};
