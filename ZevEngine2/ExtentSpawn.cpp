// Spawn boxes.
#include "ZevEngine2/ExtentSpawn.h"

#include "ZevEngine2/Utilities.h"

namespace
{
// The local coordinates of pos: its offset from the centre along each axis.
inline VectorXYZ LocalOf(const Matrix& mat, const VectorPos& pos)
{
    VectorXYZ d = pos - mat.w.xyz();
    return VectorXYZ(Dot(d, mat.x.xyz()), Dot(d, mat.y.xyz()), Dot(d, mat.z.xyz()));
}
}  // namespace

VectorPos ExtentSpawn::Random() const
{
    // One draw per axis, in the order x, y, z.
    float x = randf() * ext[0] - 0.5f * ext[0];
    float y = randf() * ext[1] - 0.5f * ext[1];
    float z = randf() * ext[2] - 0.5f * ext[2];
    return VectorPos((mat.w + mat.x * x + mat.y * y + mat.z * z).xyz());
}

bool ExtentSpawn::Within(VectorPos pos) const
{
    if (!IsValid())
        return false;
    VectorXYZ local = LocalOf(mat, pos);
    for (int k = 0; k < 3; k++)
        if (fabsf(local[k]) > 0.5f * ext[k])
            return false;
    return true;
}

float ExtentSpawn::Floor(VectorPos pos) const
{
    VectorXYZ local = LocalOf(mat, pos);
    local.sety(0.5f * ext[1]);
    return (mat * VectorPos(local))[1];
}

void ExtentSpawn::Transform(const Matrix& m)
{
    if (IsValid())
        mat = mat * m;
}
