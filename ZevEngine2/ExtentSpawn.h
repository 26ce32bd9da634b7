// Spawn boxes: oriented boxes from which level entities (steam generators and
// bursts) pick random points, and against which a point can be tested.
//
// Stored as placed in level records: a frame matrix (axes in rows x, y, z,
// the box's centre in row w) and the box's full size along those axes.
// Unlike an Extent, which maps world space onto the unit cube, the matrix
// here maps the box's own frame into the world.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"

class ExtentSpawn
{
public:
    Matrix mat;   // axes x, y, z (taken as orthonormal), centre in w
    Vector ext;   // full size along x, y, z

    // Set when the w component of row w is non-zero.
    bool IsValid() const { return mat.w[3] != 0.0f; }
    // A random point of the box: three randf() draws, for x, y and z in turn,
    // each giving a local coordinate in [-size/2, size/2).
    VectorPos Random() const;
    // True when the box is set and pos lies in it (faces included).
    bool Within(VectorPos pos) const;
    // The world y of the box's +y face (its floor, y being down) at pos.
    float Floor(VectorPos pos) const;
    // Moves a set box with the space it was given in: mat becomes mat * m.
    void Transform(const Matrix& m);
};
static_assert(sizeof(ExtentSpawn) == 80);
