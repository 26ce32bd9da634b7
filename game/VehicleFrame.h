// Carrying directions and points between the world and a vehicle's own
// frame (rows x right, y down, z forward; vectors multiply as rows).  Used
// by the vehicle's physics, collision, cinematic and motorbike steps.
#pragma once

#include "ZevEngine2/PS2/Vector.h"

// A car-frame direction in the world, and back.
inline VectorDir ToWorld(const Matrix& m, const VectorXYZ& v)
{
    return VectorDir((m.x * v[0] + m.y * v[1] + m.z * v[2]).xyz());
}

inline VectorDir ToCar(const Matrix& m, const VectorXYZ& v)
{
    return VectorDir(Dot(v, m.x.xyz()), Dot(v, m.y.xyz()), Dot(v, m.z.xyz()));
}

inline VectorPos PointToWorld(const Matrix& m, const VectorXYZ& p)
{
    return VectorPos((m.x * p[0] + m.y * p[1] + m.z * p[2] + m.w).xyz());
}

inline VectorPos PointToCar(const Matrix& m, const VectorXYZ& p)
{
    return VectorPos(ToCar(m, p - m.GetTrans()));
}
