// Shared internals of the maths routines (Vector.cpp, VU0Library.cpp): the
// angle constants they are written with and the bit-pattern views of a float
// that the unit's integer tricks work on.
#pragma once

#include "ZevEngine2/Zev.h"

namespace maths_local
{
constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;

inline u32 FloatBits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}

inline float BitsFloat(u32 b)
{
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

// The lane-by-lane form of a scalar routine: f of each of the first n lanes
// of a; any lanes after them keep a's values.
template <class V, class F>
V EachLane(V a, int n, F f)
{
    V r = a;
    for (int i = 0; i < n; i++)
        r[i] = f(a[i]);
    return r;
}
}  // namespace maths_local
