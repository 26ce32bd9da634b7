// Small geometry the camera files share: angles of a facing, the view
// orientation from two angles, frames and the ground.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"

namespace camera {

constexpr float kPi = 3.14159265f;
// Marks a smoothed look point that has not been set yet.
constexpr float kNoLookPoint = -200000.0f;

// RotX(pitch) × RotY(yaw), each angle wrapped first.
inline Matrix Orientation(float pitch, float yaw)
{
    return RotX(FixAng(pitch)) * RotY(FixAng(yaw));
}

// The heading of a facing measured from the z axis.
inline float Yaw(const VectorXYZ& z)
{
    return ArcTan2(z[0], z[2]);
}

// The pitch of a facing in the level cameras' convention (positive: up).
inline float Pitch(const VectorXYZ& z)
{
    return -ArcSin(VectorX(z[1]));
}

// d expressed in the frame whose rotation rows are m's: d × transpose.
inline VectorDir IntoRotation(const Matrix& m, const VectorXYZ& d)
{
    return VectorDir(Dot(d, m.x.xyz()), Dot(d, m.y.xyz()), Dot(d, m.z.xyz()));
}

// The point of the line through `from` along the unit direction z nearest to p.
inline VectorPos NearestOnLine(const VectorPos& from, const VectorDir& z, const VectorPos& p)
{
    return from + z * Dot(VectorDir(p - from), z);
}

inline float Clamp(float v, float lo, float hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace camera
