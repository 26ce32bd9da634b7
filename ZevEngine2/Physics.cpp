// Rigid-body motion: first-order steps with re-orthonormalisation, and
// impulses that change the velocities directly.
#include "ZevEngine2/Physics.h"

namespace {

// v.xyz += d; v.w keeps its value.
void AddXYZ(Vector& v, const VectorXYZ& d)
{
    v[0] += d[0];
    v[1] += d[1];
    v[2] += d[2];
}

VectorXYZ Mul(const Vector& a, const VectorXYZ& b)
{
    return VectorXYZ(a[0] * b[0], a[1] * b[1], a[2] * b[2]);
}

// a · R: a direction of the body's frame carried into the world.
VectorXYZ ToWorld(const Matrix& m, const VectorXYZ& a)
{
    return (m.x * a[0] + m.y * a[1] + m.z * a[2]).xyz();
}

// a · Rᵀ: a world direction carried into the body's frame.
VectorXYZ ToBody(const Matrix& m, const VectorXYZ& a)
{
    return VectorXYZ(Dot(a, m.x.xyz()), Dot(a, m.y.xyz()), Dot(a, m.z.xyz()));
}

// The cross-product matrix W(w): rows w × x, w × y, w × z, row w zero, so
// that p · W(w) = w × p.
Matrix CrossMatrix(const VectorXYZ& w)
{
    return Matrix(Vector(0.0f, w[2], -w[1], 0.0f), Vector(-w[2], 0.0f, w[0], 0.0f), Vector(w[1], -w[0], 0.0f, 0.0f),
                  Vector(0.0f, 0.0f, 0.0f, 0.0f));
}

void Step(Matrix& mat, const VectorXYZ& turn, const VectorXYZ& move)
{
    mat.RotateBy(turn);
    AddXYZ(mat.w, move);
    mat.Normalise();
}

}  // namespace

void DynamicObject::MoveDynamicObject()
{
    Step(mat, angvel.xyz(), vel.xyz());
}

void DynamicObject::MoveDynamicObject(float dt)
{
    Step(mat, angvel.xyz() * dt, vel.xyz() * dt);
}

void DynamicObject::MoveDynamicObject2(VectorDir dv, VectorDir dL)
{
    AddXYZ(vel, dv);
    AddXYZ(angvel, Mul(rI, dL));
    MoveDynamicObject();
}

void DynamicObject::MoveDynamicObject2(VectorDir dv, VectorDir dL, float dt)
{
    AddXYZ(vel, dv * dt);
    AddXYZ(angvel, Mul(rI, dL) * dt);
    MoveDynamicObject(dt);
}

void DynamicObject::ApplyLocalForce(VectorDir F, VectorPos p)
{
    AddXYZ(vel, ToWorld(mat, F));
    AddXYZ(angvel, Mul(rI, p ^ F));
}

void DynamicObject::ApplyWorldForce(VectorDir F, VectorPos p)
{
    AddXYZ(vel, F);
    VectorXYZ r = p - mat.GetTrans();
    AddXYZ(angvel, Mul(rI, ToBody(mat, r ^ F)));
}

VectorDir DynamicObject::LinearVelocityAtLocalPt(VectorPos p) const
{
    return ToWorld(mat, angvel.xyz() ^ p) + vel.xyz();
}

VectorDir DynamicObject::LinearVelocityAtWorldPt(VectorPos p) const
{
    VectorPos q = VU0MatrixInverseAffine(mat) * p;
    return LinearVelocityAtLocalPt(q);
}

Matrix DynamicObject::WorldVelocityMatrix() const
{
    Matrix w = CrossMatrix(angvel.xyz());
    Matrix r(Vector(ToWorld(mat, w.x.xyz()), 0.0f), Vector(ToWorld(mat, w.y.xyz()), 0.0f),
             Vector(ToWorld(mat, w.z.xyz()), 0.0f), Vector(vel.xyz(), 1.0f));
    return r;
}

Matrix DynamicObject::LocalVelocityMatrix() const
{
    Matrix w = CrossMatrix(angvel.xyz());
    w.w = Vector(ToBody(mat, vel.xyz()), 1.0f);
    return w;
}

// ---------------------------------------------------------------------------
// DynamicObject2: linear changes divided by the mass.

void DynamicObject2::MoveDynamicObject2(VectorDir dv, VectorDir dL)
{
    AddXYZ(vel, dv * rMass());
    AddXYZ(angvel, Mul(rI, dL));
    MoveDynamicObject();
}

void DynamicObject2::MoveDynamicObject2(VectorDir dv, VectorDir dL, float dt)
{
    AddXYZ(vel, dv * rMass() * dt);
    AddXYZ(angvel, Mul(rI, dL) * dt);
    MoveDynamicObject(dt);
}

void DynamicObject2::ApplyLocalForce(VectorDir F, VectorPos p)
{
    AddXYZ(vel, ToWorld(mat, F) * rMass());
    AddXYZ(angvel, Mul(rI, p ^ F));
}

void DynamicObject2::ApplyWorldForce(VectorDir F, VectorPos p)
{
    AddXYZ(vel, F * rMass());
    VectorXYZ r = p - mat.GetTrans();
    AddXYZ(angvel, Mul(rI, ToBody(mat, r ^ F)));
}
