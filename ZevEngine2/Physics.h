// Rigid bodies: an Object with a linear velocity, an angular velocity and a
// diagonal reciprocal inertia, integrated into its matrix one small-angle
// step at a time.  Forces here are impulses that change the velocities at
// once; gravity, drag and friction are the owners' business.
//
// vel is the world velocity of the object's origin per step; angvel a
// rotation vector in the body's own frame (radians per step); rI the
// reciprocal moments of inertia about the body's x, y and z axes.  The body's
// matrix is its world matrix: rows x, y, z its orientation, row w its
// position.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Vector.h"

class DynamicObject : public Object
{
public:
    DynamicObject() : Object(), vel(Vector::null()), angvel(Vector::null()), rI(Vector::null()) {}
    explicit DynamicObject(int (*mh)(Object*, OBJMESSAGE, void*))
        : Object(mh), vel(Vector::null()), angvel(Vector::null()), rI(Vector::null())
    {
    }

    const Vector& Vel() const { return vel; }
    const Vector& AngVel() const { return angvel; }
    float Speed() const { return Length(vel.xyz()); }
    float Speed2() const { return vel.xyz().LengthSq(); }
    const Vector& rInertia() const { return rI; }

    // One step: turn by angvel (in the body's frame), move by vel, then
    // re-orthonormalise.  With dt both are scaled by dt for this step only.
    void MoveDynamicObject();
    void MoveDynamicObject(float dt);
    // Adds a linear impulse dv and an angular impulse dL (body frame), then
    // steps; with dt they act as an acceleration and a torque over dt.
    void MoveDynamicObject2(VectorDir dv, VectorDir dL);
    void MoveDynamicObject2(VectorDir dv, VectorDir dL, float dt);
    // An impulse F at the point p, both in the body's frame / both in world
    // coordinates.
    void ApplyLocalForce(VectorDir F, VectorPos p);
    void ApplyWorldForce(VectorDir F, VectorPos p);

    // World velocity of a point of the body given in its own frame / in world
    // coordinates.
    VectorDir LinearVelocityAtLocalPt(VectorPos p) const;
    VectorDir LinearVelocityAtWorldPt(VectorPos p) const;
    // (p, 1) times these gives the velocity of the body point p (body frame)
    // in world coordinates / in the body's frame.
    Matrix WorldVelocityMatrix() const;
    Matrix LocalVelocityMatrix() const;

    Vector vel;      // x, y, z; w ignored
    Vector angvel;   // x, y, z; w ignored
    Vector rI;       // x, y, z; DynamicObject2 keeps 1 / mass in w
};
static_assert(sizeof(DynamicObject) == 160);

// A rigid body whose linear impulses are divided by its mass (1 / mass in the
// w component of rI; 0 makes it immovable by impulses).
class DynamicObject2 : public DynamicObject
{
public:
    DynamicObject2() : DynamicObject() {}
    explicit DynamicObject2(int (*mh)(Object*, OBJMESSAGE, void*)) : DynamicObject(mh) {}

    float rMass() const { return rI[3]; }
    // The mass; an immovable body (rMass 0) gives infinity.
    float Mass() const { return 1.0f / rI[3]; }

    void MoveDynamicObject2(VectorDir dv, VectorDir dL);
    void MoveDynamicObject2(VectorDir dv, VectorDir dL, float dt);
    void ApplyLocalForce(VectorDir F, VectorPos p);
    void ApplyWorldForce(VectorDir F, VectorPos p);
};
static_assert(sizeof(DynamicObject2) == 160);
